// Memory stays flat over repeated use: a host that makes and destroys objects under the same
// names, or reads file after file into scenes it then destroys, holds no more after a thousand
// rounds than after a few. The bytes are counted by the address sanitizer's allocator when the
// build has it, else by the C library's.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "objects/vobject_list.h"
#include "oxa_codec/voxa_importer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OXA_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OXA_TEST_ASAN 1
#endif

#ifdef OXA_TEST_ASAN
#include <sanitizer/allocator_interface.h>
static long long LiveBytes() {
    return (long long)__sanitizer_get_current_allocated_bytes();
}
#else
#include <malloc.h>
static long long LiveBytes() {
    return (long long)mallinfo2().uordblks;
}
#endif

namespace {

// Runs `round` `warm` times, then `rounds` times, and answers the bytes gained over the second
// run. Containers that grow in steps (an index rebuilt when half its entries are dead) may hold
// a few kilobytes more at one moment than at another: what leaks a few dozen bytes a round shows
// as tens of kilobytes.
template <typename F>
long long Growth(int warm, int rounds, F round) {
    for (int i = 0; i < warm; ++i)
        round();
    const long long before = LiveBytes();
    for (int i = 0; i < rounds; ++i)
        round();
    return LiveBytes() - before;
}

#ifdef OXA_TEST_ASAN
constexpr long long kSteps = 4096;
#else
// The C library's count also holds what its caches of freed chunks keep, which varies by tens of
// kilobytes from one moment to the next: only a gross leak shows there.
constexpr long long kSteps = 65536;
#endif

}  // namespace

TEST(scene_MemoryFlat, ObjectsMadeAndDestroyedUnderOneName) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    // A node under a name used before: the name index drops the entries of names that left.
    long long node = Growth(200, 20000, [&] {
        VOxaNode* n = manager->CreateNode("Walker");
        manager->DestroyNode(n);
    });
    EXPECT_LT(node, kSteps);
    // A node that lives in the scene while its name comes and goes.
    long long child = Growth(200, 5000, [&] {
        VOxaNode* n = manager->CreateNode("Child");
        scene->GetRootNode()->AddChild(n);
        manager->DestroyNode(n);
    });
    EXPECT_LT(child, kSteps);

    // A mesh given materials that are destroyed afterwards keeps no slot for them.
    VOxaNode* holder = manager->CreateNode("Holder");
    VOxaMesh* mesh = manager->CreateMesh();
    holder->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    long long material = Growth(50, 2000, [&] {
        VOxaMaterial* m = manager->CreateMaterial("M");
        mesh->AddMaterial(m, 0);
        manager->DestroyMaterial(m);
    });
    EXPECT_EQ(mesh->GetMaterialCount(0), 0);
    EXPECT_LT(material, kSteps);
    delete manager;
}

TEST(scene_MemoryFlat, FilesReadIntoScenesThatAreDestroyed) {
    const std::string examples = OXA_EXAMPLES_DIR;
    const std::string corpus = examples + "/../fuzz/corpus/";
    const std::vector<std::string> files = {
        examples + "/scene.3ds",
        // A material no mesh uses, and bump and specular maps: listed in the scene all the same.
        corpus + "reader_3ds/built.3ds",
        corpus + "reader_3ds/kept_values.3ds",
        examples + "/walk.bvh",
        examples + "/markers.c3d",
        corpus + "obj/mtl_pair.obj",
        corpus + "dxf/layers_polylines.dxf",
        corpus + "htr/sample.htr",
        corpus + "trc/type4.trc",
        corpus + "asf/public_form.asf",
        corpus + "aoa/two_frames.aoa",
        corpus + "brd/two_sensors.brd",
        corpus + "mcd/three_frames.mcd",
        corpus + "mov/one_object.mov",
        corpus + "vpm/two_segments.vpm",
    };
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    for (const std::string& file : files) {
        bool read = true;
        long long growth = Growth(20, 300, [&] {
            VOxaScene* scene = manager->CreateScene();
            VOxaImporter* importer = manager->CreateImporter();
            read = read && importer->Initialize(file.c_str()) && importer->Import(scene);
            manager->DestroyImporter(importer);
            // As the README's program lets go of a scene: its materials, textures and poses go
            // with it.
            manager->DestroyScene(scene);
        });
        EXPECT_TRUE(read) << file;
        EXPECT_LT(growth, kSteps) << file;
        EXPECT_EQ(manager->GetSceneCount(), 0) << file;
        EXPECT_EQ(manager->GetNodeCount(), 0) << file;
        EXPECT_EQ(manager->GetMaterialCount(), 0) << file;
        EXPECT_EQ(manager->GetTextureCount(), 0) << file;
        EXPECT_EQ(manager->GetNodeAttributeCount(), 0) << file;
        EXPECT_EQ(manager->GetUserPropertyCount(), 0) << file;
        EXPECT_EQ(manager->GetPoseCount(), 0) << file;
        EXPECT_EQ(manager->GetLinkCount(), 0) << file;
        EXPECT_EQ(manager->GetGenericNodeCount(), 0) << file;
        EXPECT_EQ(manager->GetObjectList().GetCount(), 0) << file;
    }
    // What another scene still uses stays: a material the meshes of two scenes hold, with the
    // texture it shows, goes with the second scene.
    VOxaScene* scenes[2] = {manager->CreateScene(), manager->CreateScene()};
    VOxaMaterial* shared = manager->CreateMaterial("Shared");
    VOxaTexture* shown = manager->CreateTexture("Shown");
    shared->SetMap(VOxaMaterial::eMAP_BUMP, shown);
    scenes[0]->GetContents()->AddTexture(shown);
    for (VOxaScene* scene : scenes) {
        VOxaNode* node = manager->CreateNode("Holder");
        VOxaMesh* mesh = manager->CreateMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(3);
        scene->GetRootNode()->AddChild(node);
        mesh->AddMaterial(shared, 0);
    }
    manager->DestroyScene(scenes[0]);
    EXPECT_EQ(manager->GetMaterialCount(), 1);
    EXPECT_EQ(shared->GetMap(VOxaMaterial::eMAP_BUMP), shown);
    EXPECT_EQ(manager->GetTextureCount(), 1);
    manager->DestroyScene(scenes[1]);
    EXPECT_EQ(manager->GetMaterialCount() + manager->GetTextureCount(), 0);
    delete manager;
}
