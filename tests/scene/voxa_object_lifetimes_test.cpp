// Objects that hold other objects let them go when those are destroyed or move out of a scene,
// whatever the order of the calls. Each case is a sequence that once left a pointer to a freed
// object behind (the build's address sanitizer reports any use of one) and checks what the
// holders list afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_texture.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_camera_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace {

// Options are released with Destroy, as their owner must.
struct DestroyOptions {
    void operator()(VStreamOptions* options) const {
        if (options) options->Destroy();
    }
};
using OptionsPtr = std::unique_ptr<VStreamOptions, DestroyOptions>;

class scene_ObjectLifetimes : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        ASSERT_NE(mManager, nullptr);
        mScene = mManager->CreateScene();
        mContents = mScene->GetContents();
        mRoot = mScene->GetRootNode();
    }
    void TearDown() override { delete mManager; }

    // A node below the root carrying a quad mesh.
    VOxaMesh* AddMeshNode(const char* name, VOxaNode* parent = nullptr) {
        VOxaNode* node = mManager->CreateNode(name);
        VOxaMesh* mesh = mManager->CreateMesh();
        mesh->InitControlPoints(4);
        mesh->BeginPolygon();
        for (int i = 0; i < 4; ++i)
            mesh->AddPolygonVertex(i);
        mesh->EndPolygon();
        node->SetNodeAttribute(mesh);
        (parent ? parent : mRoot)->AddChild(node);
        return mesh;
    }

    // Writes the scene in the format of `extension`; true when the writer succeeded.
    bool Write(const char* extension) {
        static const std::string folder = oxa_test::MakeProcessTempFolder("lifetimes");
        const std::string path = folder + "scene." + extension;
        VOxaExporter* exporter = mManager->CreateExporter();
        bool ok =
            exporter->Initialize(path.c_str()) && exporter->SetFileFormat(VOxaFindWriterFormat(extension));
        OptionsPtr options(ok ? exporter->GetWriteOptions() : nullptr);
        ok = ok && exporter->Export(mScene, options.get());
        mManager->DestroyExporter(exporter);
        return ok;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
    VOxaSceneContents* mContents = nullptr;
    VOxaNode* mRoot = nullptr;
};

TEST_F(scene_ObjectLifetimes, MeshFollowsItsNodeOutOfAndIntoTheScene) {
    VOxaMesh* mesh = AddMeshNode("Box");
    VOxaNode* node = mesh->GetNode();
    VOxaMaterial* material = mManager->CreateMaterial("Red");
    VOxaTexture* texture = mManager->CreateTexture("Wood");
    mesh->AddMaterial(material, 0);
    mesh->AddTexture(texture, 0);
    ASSERT_EQ(mContents->GetMaterialCount(), 1);
    ASSERT_EQ(mContents->GetTextureCount(), 1);

    mRoot->RemoveChild(node);
    EXPECT_EQ(mesh->GetSceneContents(), nullptr);
    EXPECT_EQ(mContents->GetMaterialCount(), 0) << "the material left with the node";
    EXPECT_EQ(mContents->GetTextureCount(), 0);

    // Back below the root, the mesh's materials are listed again.
    mRoot->AddChild(node);
    EXPECT_EQ(mesh->GetSceneContents(), mContents);
    EXPECT_EQ(mContents->GetMaterialCount(), 1);
    mRoot->RemoveChild(node);

    // The scene goes while the node is out of it; the mesh keeps nothing of it.
    EXPECT_TRUE(mManager->DestroyScene(mScene));
    mScene = nullptr;
    EXPECT_GE(mesh->AddMaterial(mManager->CreateMaterial("Blue"), 0), 0);
}

TEST_F(scene_ObjectLifetimes, SubtreeWithSharedNamesLeavesWhole) {
    // Two copies of one file's nodes, the second grouped under the first.
    auto branch = [this](VOxaNode* parent) {
        VOxaNode* top = mManager->CreateNode("Markers");
        parent->AddChild(top);
        top->AddChild(mManager->CreateNode("LFHD"));
        top->AddChild(mManager->CreateNode("RFHD"));
        return top;
    };
    VOxaNode* first = branch(mRoot);
    VOxaNode* second = branch(mRoot);
    mRoot->RemoveChild(second);
    EXPECT_TRUE(first->AddChild(second));
    ASSERT_EQ(mContents->GetNodeCount(), 7);

    mRoot->RemoveChild(first);
    EXPECT_EQ(mContents->GetNodeCount(), 1) << "only the root is left";
    EXPECT_EQ(second->GetChild(1)->GetSceneContents(), nullptr);
    EXPECT_TRUE(mManager->DestroyNode(first, true));
    EXPECT_TRUE(mScene->CreateTake("Walk"));
    EXPECT_TRUE(mScene->SetCurrentTake("Walk"));
    EXPECT_TRUE(mScene->RemoveTake("Walk"));

    // Clear meets the same subtree below the root.
    first = branch(mRoot);
    second = branch(mRoot);
    mRoot->RemoveChild(second);
    first->AddChild(second);
    mScene->Clear();
    EXPECT_EQ(mContents->GetNodeCount(), 1);
    EXPECT_EQ(mManager->GetNodeCount(), 1 + 1 + 7) << "root, camera switcher, producer nodes";
    EXPECT_TRUE(mScene->SetCurrentTake("Default"));
}

TEST_F(scene_ObjectLifetimes, SkinLinksLetGoOfADestroyedBone) {
    VOxaMesh* mesh = AddMeshNode("Body");
    VOxaNode* hips = mManager->CreateNode("Hips");
    VOxaNode* spine = mManager->CreateNode("Spine");
    mRoot->AddChild(hips);
    hips->AddChild(spine);
    VOxaLink* toHips = mManager->CreateLink();
    toHips->SetLink(hips);
    toHips->SetAssociateModel(spine);
    VOxaLink* toSpine = mManager->CreateLink();
    toSpine->SetLink(spine);
    mesh->AddLink(toHips);
    mesh->AddLink(toSpine);

    EXPECT_TRUE(mManager->DestroyNode(spine));
    EXPECT_EQ(toSpine->GetLink(), nullptr);
    EXPECT_EQ(toHips->GetAssociateModel(), nullptr);
    EXPECT_STREQ(toSpine->GetLinkName().Buffer(), "Model::Spine") << "the name stays";
    EXPECT_EQ(toHips->GetLink(), hips);
    mManager->CreateBindPoses(mScene);
    VOxaNode* copy = mManager->CreateNode("Copy");
    copy->Copy(*mesh->GetNode());
    EXPECT_TRUE(Write("obj"));

    // Clear destroys the bones of the scene (and the mesh with its links); the copy, out of the
    // scene, keeps links of its own.
    ASSERT_EQ(copy->GetMesh()->GetLink(0)->GetLink(), hips);
    mScene->Clear();
    EXPECT_EQ(copy->GetMesh()->GetLink(0)->GetLink(), nullptr);
    mManager->CreateBindPoses(mScene);
}

TEST_F(scene_ObjectLifetimes, DestroyedMaterialAndTextureLeaveListsLayersAndMaps) {
    VOxaMesh* mesh = AddMeshNode("Box");
    VOxaMaterial* red = mManager->CreateMaterial("Red");
    VOxaMaterial* blue = mManager->CreateMaterial("Blue");
    VOxaTexture* wood = mManager->CreateTexture("Wood");
    mesh->AddMaterial(red, 0);
    mesh->AddMaterial(blue, 0);
    mesh->AddTexture(wood, 0);
    mesh->InitMaterialIndices(eBY_POLYGON);
    red->SetMap(VOxaMaterial::eMAP_OPACITY, wood);
    mContents->AddMaterial(red);  // a second use

    EXPECT_TRUE(mManager->DestroyMaterial(red));
    EXPECT_EQ(mContents->GetMaterialCount(), 1);
    EXPECT_EQ(mContents->GetMaterial(0), blue);
    EXPECT_EQ(mContents->GetMaterialByName("Material::Red"), nullptr);
    // The other entries keep their places, so the polygons' indices stay right.
    EXPECT_EQ(mesh->GetMaterial(0, 0), nullptr);
    EXPECT_EQ(mesh->GetMaterial(1, 0), blue);

    blue->SetMap(VOxaMaterial::eMAP_OPACITY, wood);
    EXPECT_TRUE(mManager->DestroyTexture(wood));
    EXPECT_EQ(mContents->GetTextureCount(), 0);
    EXPECT_EQ(mesh->GetTexture(0, 0), nullptr);
    EXPECT_EQ(blue->GetMap(VOxaMaterial::eMAP_OPACITY), nullptr);

    EXPECT_TRUE(mScene->CreateTake("Walk"));
    EXPECT_TRUE(mScene->SetCurrentTake("Walk"));
    mScene->ConnectLayerMaterials();
    mScene->ConnectLayerTextures();
    mScene->CreateVideos();
    EXPECT_TRUE(Write("3ds"));
    EXPECT_TRUE(Write("dxf"));
    EXPECT_TRUE(Write("obj"));
}

TEST_F(scene_ObjectLifetimes, DestroyedLinkAndShapeLeaveEveryGeometry) {
    VOxaMesh* first = AddMeshNode("First");
    VOxaMesh* second = AddMeshNode("Second");
    VOxaLink* shared = mManager->CreateLink();
    shared->SetLink(mRoot);
    VOxaLink* own = mManager->CreateLink();
    first->AddLink(shared);
    first->AddLink(own);
    first->AddLink(shared);
    second->AddLink(shared);
    EXPECT_TRUE(mManager->DestroyLink(shared));
    ASSERT_EQ(first->GetLinkCount(), 1);
    EXPECT_EQ(first->GetLink(0), own);
    EXPECT_EQ(second->GetLinkCount(), 0);

    VOxaShape* shape = mManager->CreateShape();
    shape->InitControlPoints(4);
    shape->AddMaterial(mManager->CreateMaterial("Red"), 0);
    ASSERT_EQ(first->AddShape(shape, "Smile"), 0);
    ASSERT_EQ(mContents->GetMaterialCount(), 1);
    EXPECT_TRUE(mManager->DestroyShape(shape));
    EXPECT_EQ(first->GetShapeCount(), 0);
    EXPECT_EQ(mContents->GetMaterialCount(), 0) << "the shape's material use went with it";

    // A copy re-makes its links; destroying a geometry destroys the links it held.
    *second = *first;
    ASSERT_EQ(second->GetLinkCount(), 1);
    EXPECT_NE(second->GetLink(0), own);
    const int links = mManager->GetLinkCount();
    EXPECT_TRUE(mManager->DestroyNodeAttribute(first));
    EXPECT_EQ(mManager->GetLinkCount(), links - 1);
    mManager->CreateBindPoses(mScene);
}

TEST_F(scene_ObjectLifetimes, SceneLetsGoOfItsDestroyedNodes) {
    VOxaGlobalCameraSettings& cameras = mScene->GetGlobalCameraSettings();
    EXPECT_TRUE(mManager->DestroyNode(mScene->GetCameraSwitcher(), true));
    EXPECT_EQ(mScene->GetCameraSwitcher(), nullptr);
    EXPECT_TRUE(mManager->DestroyNode(cameras.GetProducerTopNode(), true));
    EXPECT_EQ(cameras.GetProducerTopNode(), nullptr);
    EXPECT_EQ(cameras.GetProducerTopCamera(), nullptr) << "the camera went with its node";
    EXPECT_TRUE(mManager->DestroyNodeAttribute(cameras.GetProducerFrontCamera()));
    EXPECT_EQ(cameras.GetProducerFrontCamera(), nullptr);
    EXPECT_NE(cameras.GetProducerFrontNode(), nullptr);
    cameras.RestoreDefaultSettings();
    EXPECT_TRUE(mScene->SetCurrentTake("Default"));

    // The root: the scene is left without one.
    AddMeshNode("Box");
    EXPECT_TRUE(mManager->DestroyNode(mRoot, false));
    EXPECT_EQ(mScene->GetRootNode(), nullptr);
    EXPECT_EQ(mContents->GetNodeCount(), 0) << "the orphaned child left too";
    EXPECT_TRUE(mScene->CreateTake("Walk"));
    EXPECT_TRUE(mManager->DestroyScene(mScene));
    mScene = nullptr;
}

// A program's callback on every channel of an object's takes, and listener on every curve, that
// acts once: on the first destroy event, or on the first event of any kind.
struct Watcher {
    std::function<void()> act;
    bool onDestroyOnly = true;
    bool done = false;
    void Fire(bool destroy) {
        if (done || (onDestroyOnly && !destroy)) return;
        done = true;
        act();
    }
    static void OnNode(VFCurveNode*, VFCurveNodeCallbacks* record, void* self) {
        static_cast<Watcher*>(self)->Fire(record->mEvents & eFCURVENODE_EVENT_DESTROY);
    }
    static void OnCurve(VFCurve*, VFCurveEvent* event, void* self) {
        static_cast<Watcher*>(self)->Fire(event->mEventType & VFCurve::eEventDestroy);
    }
    void Watch(VFCurveNode* node) {
        node->CallbackAdd(&OnNode, this);
        if (VFCurve* curve = node->FCurveGet()) curve->CallbackRegister(&OnCurve, this);
        for (int i = 0; i < node->GetCount(); ++i)
            Watch(node->Get(i));
    }
    void Watch(VOxaTakeNodeContainer* object) {
        for (int i = 0; i < object->GetTakeNodeCount(); ++i)
            Watch(object->GetTakeNode(i)->GetVFCurveNode());
    }
};

TEST_F(scene_ObjectLifetimes, CallbacksMayDestroyWhatIsBeingTakenApart) {
    // Each row builds a node, lets a callback act when the row's operation delivers, and runs
    // the operation; nothing freed may be touched and nothing is left half-destroyed.
    struct Row {
        const char* what;
        std::function<void(VOxaNode*, Watcher&)> run;
    };
    auto destroyNode = [this](VOxaNode* node) { return [this, node] { mManager->DestroyNode(node, true); }; };
    const Row rows[] = {
        {"camera removed, its node destroyed",
         [&](VOxaNode* node, Watcher& w) {
             VOxaCamera* camera = mManager->CreateCamera();
             node->SetNodeAttribute(camera);
             w.Watch(node);
             w.act = destroyNode(node);
             EXPECT_TRUE(mManager->DestroyNodeAttribute(camera));
         }},
        {"light detached, the light destroyed",
         [&](VOxaNode* node, Watcher& w) {
             VOxaLight* light = mManager->CreateLight();
             node->SetNodeAttribute(light);
             w.Watch(node);
             w.act = [this, light, node] {
                 mManager->DestroyNodeAttribute(light);
                 mManager->DestroyNode(node);
             };
             node->SetNodeAttribute(nullptr);
         }},
        {"marker detached, its node destroyed",
         [&](VOxaNode* node, Watcher& w) {
             VOxaMarker* marker = mManager->CreateMarker();
             marker->SetType(VOxaMarker::eIK_EFFECTOR);
             node->SetNodeAttribute(marker);
             w.Watch(node);
             w.act = destroyNode(node);
             node->SetNodeAttribute(nullptr);
         }},
        {"camera destroyed, a take of its node removed",
         [&](VOxaNode* node, Watcher& w) {
             mRoot->AddChild(node);
             ASSERT_TRUE(mScene->CreateTake("Walk"));
             VOxaCamera* camera = mManager->CreateCamera();
             node->SetNodeAttribute(camera);
             w.Watch(node);
             w.act = [this, node] {
                 mScene->RemoveTake("Walk");
                 mManager->DestroyNode(node);
             };
             EXPECT_TRUE(mManager->DestroyNodeAttribute(camera));
         }},
        {"light detached, another attribute attached meanwhile",
         [&](VOxaNode* node, Watcher& w) {
             VOxaLight* light = mManager->CreateLight();
             VOxaCamera* camera = mManager->CreateCamera();
             node->SetNodeAttribute(light);
             w.Watch(node);
             w.act = [node, camera] { EXPECT_EQ(node->SetNodeAttribute(camera), nullptr) << "refused"; };
             node->SetNodeAttribute(nullptr);
             EXPECT_EQ(node->GetNodeAttribute(), nullptr);
             EXPECT_EQ(camera->GetNode(), nullptr);
             EXPECT_EQ(light->GetNode(), nullptr);
             mManager->DestroyNode(node);
         }},
        {"copied over, the copy destroyed",
         [&](VOxaNode* node, Watcher& w) {
             VOxaNode* source = mManager->CreateNode("Source");
             source->SetNodeAttribute(mManager->CreateCamera());
             node->SetNodeAttribute(mManager->CreateLight());
             w.Watch(node);
             w.act = destroyNode(node);
             node->Copy(*source);
         }},
        {"scene cleared, the scene destroyed",
         [&](VOxaNode* node, Watcher& w) {
             mRoot->AddChild(node);
             w.Watch(node);
             VOxaScene* scene = mScene;
             w.act = [this, scene] { mManager->DestroyScene(scene); };
             scene->Clear();
             EXPECT_EQ(mManager->GetSceneCount(), 0);
             mScene = nullptr;
         }},
        {"take removed, a take removed and set and the node destroyed",
         [&](VOxaNode* node, Watcher& w) {
             mRoot->AddChild(node);
             mRoot->AddChild(mManager->CreateNode("Other"));
             ASSERT_TRUE(mScene->CreateTake("Walk"));
             ASSERT_TRUE(mScene->CreateTake("Run"));
             w.Watch(node);
             VOxaScene* scene = mScene;
             w.act = [this, scene, node] {
                 scene->RemoveTake("Run");
                 scene->SetCurrentTake("Walk");
                 mManager->DestroyNode(node, true);
             };
             scene->RemoveTake("Walk");
             scene->SetCurrentTake("Default");
         }},
        {"everything destroyed, a handle looked up by name",
         [&](VOxaNode* node, Watcher& w) {
             node->GetUserPropertyCount();
             w.Watch(node);
             w.act = [this] { mManager->GetUserProperty("Model::Watched.Lcl Translation"); };
             mManager->DestroyAllObjects();
             mScene = nullptr;
         }},
        {"everything destroyed, a scene made meanwhile",
         [&](VOxaNode* node, Watcher& w) {
             w.Watch(node);
             w.act = [this] { mManager->CreateScene(); };
             mManager->DestroyAllObjects();
             EXPECT_EQ(mManager->GetSceneCount(), 0);
             mScene = nullptr;
         }},
    };
    // Watchers stay registered on what lives on; they outlive the manager.
    std::vector<std::unique_ptr<Watcher>> watchers;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        VOxaNode* node = mManager->CreateNode("Watched");
        watchers.emplace_back(new Watcher);
        row.run(node, *watchers.back());
        EXPECT_TRUE(watchers.back()->done);
        for (int i = 0; i < mManager->GetNodeCount(); ++i)
            EXPECT_NE(mManager->GetNode(i), node) << "the node went";
        if (!mScene) {
            mScene = mManager->CreateScene();
            mContents = mScene->GetContents();
            mRoot = mScene->GetRootNode();
        }
    }
    delete mManager;
    mManager = nullptr;
}

// Callbacks of a read: the options' progress callback and listeners on the scene's curves. What
// they throw stops at them, what they destroy goes when the read has ended, a read they start
// works on files of its own, and their own importer refuses them.
TEST_F(scene_ObjectLifetimes, CallbacksOfAReadMayThrowDestroyAndRead) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("lifetimes_read");
    const std::string bvh = folder + "walk.bvh";
    oxa_test::WriteFile(
        bvh,
        "HIERARCHY\nROOT Hips\n{\n OFFSET 0 0 0\n CHANNELS 6 Xposition Yposition Zposition "
        "Zrotation Xrotation Yrotation\n End Site\n {\n  OFFSET 0 1 0\n }\n}\nMOTION\nFrames: "
        "4\nFrame Time: 0.033333\n0 0 0 0 0 0\n1 0 0 0 0 0\n2 0 0 0 0 0\n3 0 0 0 0 0\n");
    // A 3DS file with keys: a node moving over three frames.
    VOxaNode* moving = mManager->CreateNode("Moving");
    mRoot->AddChild(moving);
    VFCurve* x = moving->GetDefaultTakeNode()->GetTranslationX();
    for (int frame = 0; frame < 3; ++frame) {
        VTime time;
        time.SetTime(0, 0, 0, frame * 10, 0, VTime::eFRAMES30);
        x->KeySet(x->KeyAdd(time), time, frame * 5.0f);
    }
    ASSERT_TRUE(Write("3ds"));
    const std::string threeDs = oxa_test::MakeProcessTempFolder("lifetimes") + "scene.3ds";

    static std::function<void()> act;
    struct Row {
        const char* what;
        std::string file;
        std::function<void(VOxaImporter*)> arm;
        bool ok;
    };
    VOxaImporter* importer = nullptr;
    auto readOther = [this](const std::string& path) {
        VOxaImporter* inner = mManager->CreateImporter();
        VOxaScene* scene = mManager->CreateScene();
        EXPECT_TRUE(inner->Initialize(path.c_str()) && inner->Import(scene))
            << inner->GetError().GetLastErrorString();
        EXPECT_GT(scene->GetRootNode()->GetChildCount(), 0);
        mManager->DestroyImporter(inner);
        mManager->DestroyScene(scene, true);
    };
    Watcher watcher;
    const Row rows[] = {
        {"progress callback throws", bvh, [](VOxaImporter*) { act = [] { throw 1; }; }, true},
        {"progress callback destroys the scene", bvh,
         [this](VOxaImporter*) {
             VOxaScene* scene = mScene;
             act = [this, scene] { mManager->DestroyScene(scene, true); };
         },
         true},
        {"progress callback destroys everything", bvh,
         [this](VOxaImporter*) { act = [this] { mManager->DestroyAllObjects(); }; }, true},
        {"progress callback asks its own importer to read", bvh,
         [&importer, bvh](VOxaImporter*) {
             act = [&importer, bvh] { EXPECT_FALSE(importer->Initialize(bvh.c_str())); };
         },
         true},
        {"listener reads the 3DS file being read", threeDs,
         [&](VOxaImporter*) {
             act = nullptr;
             watcher.onDestroyOnly = false;
             watcher.act = [&] { readOther(threeDs); };
             for (int i = 0; i < mManager->GetNodeCount(); ++i)
                 watcher.Watch(mManager->GetNode(i));
         },
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!mScene) {
            mScene = mManager->CreateScene();
            mRoot = mScene->GetRootNode();
        }
        importer = mManager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(row.file.c_str()));
        OptionsPtr options(importer->GetReadOptions());
        ASSERT_NE(options, nullptr);
        options->SetProgressCallback([](void*, const char*, float) {
            if (auto run = std::exchange(act, nullptr)) run();
        });
        row.arm(importer);
        EXPECT_EQ(importer->Import(mScene, options.get()), row.ok)
            << importer->GetError().GetLastErrorString();
        EXPECT_EQ(act, nullptr) << "the callback ran";
        bool listed = false;
        for (int i = 0; i < mManager->GetSceneCount(); ++i)
            listed = listed || mManager->GetScene(i) == mScene;
        if (!listed) mScene = nullptr;
    }
    EXPECT_TRUE(watcher.done);
    // The watcher stays registered on what lives on: the manager goes first.
    delete mManager;
    mManager = nullptr;
}

// Threads that take turns with a manager: a destruction a listener asked for on a second thread,
// outside any work of the library, goes with the manager when the first thread deletes it, and
// is carried out when the second thread ends.
TEST_F(scene_ObjectLifetimes, WhatAThreadDeferredGoesWithItsManager) {
    for (bool threadEnds : {false, true}) {
        SCOPED_TRACE(threadEnds ? "the thread ends" : "the thread goes on with a new manager");
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaNode* node = manager->CreateNode("Watched");
        VFCurve* curve = node->GetDefaultTakeNode()->GetTranslationX();
        Watcher watcher;
        watcher.onDestroyOnly = false;
        watcher.act = [manager, node] { manager->DestroyNode(node); };
        watcher.Watch(node);
        std::promise<void> keyAdded, managerGone;
        std::thread second([&] {
            curve->KeyAdd(VTime(0));
            keyAdded.set_value();
            if (threadEnds) return;
            managerGone.get_future().wait();
            VOxaSdkManager* other = VOxaSdkManager::Create();
            other->DestroyScene(other->CreateScene());
            delete other;
        });
        keyAdded.get_future().wait();
        if (threadEnds) {
            second.join();
            EXPECT_EQ(manager->GetNodeCount(), 0) << "destroyed when the thread ended";
        }
        EXPECT_TRUE(watcher.done);
        delete manager;
        managerGone.set_value();
        if (!threadEnds) second.join();
    }
}

}  // namespace
