// The fuzz targets' shared scene: after Reset, nothing an input made or changed is left, so every
// input meets the same scene.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/voxa_camera.h"
#include "base/vstring_list.h"
#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "formats/motion/bvh/voxa_reader_biovision.h"
#include "fuzz/fuzz_scene.h"
#include "fuzz/motion_fuzz_harness.h"
#include "oxa_codec/voxa_importer.h"
#include "scene/voxa_global_camera_settings.h"
#include "scene/voxa_global_time_settings.h"
#include "scene/voxa_scene_contents.h"

namespace {

// What a read leaves: the node tree by names, the takes, the time mode and the manager's counts.
std::string Describe(VOxaSdkManager* manager, VOxaScene* scene) {
    std::string text;
    std::vector<std::pair<VOxaNode*, int>> stack{{scene->GetRootNode(), 0}};
    while (!stack.empty()) {
        auto [node, depth] = stack.back();
        stack.pop_back();
        text += std::string((size_t)depth, ' ') + node->GetName() + "\n";
        for (int k = node->GetChildCount() - 1; k >= 0; --k)
            stack.push_back({node->GetChild(k), depth + 1});
    }
    VStringList takes;
    scene->FillTakeNameArray(takes);
    for (int k = 0; k < takes.GetCount(); ++k)
        text += std::string("take ") + takes[k] + "\n";
    text += "current " + std::string(scene->GetCurrentTakeName()) + "\n";
    text += "mode " + std::to_string(scene->GetGlobalTimeSettings().GetTimeMode()) + "\n";
    // Every node the manager holds (the scene's own cameras among them) with its takes and
    // children: a read must not leave takes or children on them.
    for (int k = 0; k < manager->GetNodeCount(); ++k) {
        const VOxaNode* node = manager->GetNode(k);
        text += std::string("held ") + node->GetName() + " takes " +
                std::to_string(node->GetTakeNodeCount()) + " children " +
                std::to_string(node->GetChildCount()) + "\n";
    }
    // The producer cameras' background colours: a 3DS read sets them, and the scene's own
    // restore leaves the default take's colour curves alone.
    const VOxaGlobalCameraSettings& cameras = scene->GetGlobalCameraSettings();
    for (VOxaCamera* camera : {cameras.GetProducerPerspectiveCamera(), cameras.GetProducerTopCamera(),
                               cameras.GetProducerBottomCamera(), cameras.GetProducerFrontCamera(),
                               cameras.GetProducerBackCamera(), cameras.GetProducerRightCamera(),
                               cameras.GetProducerLeftCamera()}) {
        const VOxaColor color = camera->GetDefaultBackgroundColor();
        text += "background " + std::to_string(color.mRed) + " " + std::to_string(color.mGreen) + " " +
                std::to_string(color.mBlue) + "\n";
    }
    text += "nodes " + std::to_string(manager->GetNodeCount()) + " attributes " +
            std::to_string(manager->GetNodeAttributeCount()) + " materials " +
            std::to_string(manager->GetMaterialCount()) + " user properties " +
            std::to_string(manager->GetUserPropertyCount()) + "\n";
    return text;
}

// The shared scene lives to the end of the program; it is freed when the tests are done, so that
// a leak checker run over this program finds nothing left.
class FreeFuzzScene : public ::testing::Environment {
public:
    void TearDown() override { VFuzzScene::Release(); }
};
::testing::Environment* const kFreeFuzzScene = ::testing::AddGlobalTestEnvironment(new FreeFuzzScene);

bool Import(VOxaSdkManager* manager, VOxaScene* scene, const char* path) {
    VOxaImporter* importer = manager->CreateImporter();
    const bool ok = importer && importer->Initialize(path) && importer->Import(scene);
    manager->DestroyImporter(importer);
    return ok;
}

TEST(VFuzzScene, AReadAfterResetMeetsTheFreshScene) {
    VFuzzScene& world = VFuzzScene::Get();
    world.Reset();
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    const int rebuilds = world.GetRebuildCount();
    const std::string fresh = Describe(manager, scene);

    // The seed sets a black background on the producer cameras.
    for (const char* sample :
         {"walk.bvh", "scene.3ds", "markers.c3d", "../fuzz/corpus/reader_3ds/plain.3ds"}) {
        const std::string path = std::string(OXA_EXAMPLES_DIR) + "/" + sample;
        ASSERT_TRUE(Import(manager, scene, path.c_str())) << sample;
        const std::string first = Describe(manager, scene);
        EXPECT_NE(first, fresh) << sample;
        world.Reset();
        EXPECT_EQ(Describe(manager, scene), fresh) << sample;
        // The same file read again gives the same names: nothing of the first read is in the way.
        ASSERT_TRUE(Import(manager, scene, path.c_str())) << sample;
        EXPECT_EQ(Describe(manager, scene), first) << sample;
        world.Reset();
    }
    EXPECT_EQ(world.GetManager(), manager);
    EXPECT_EQ(world.GetScene(), scene);
    EXPECT_EQ(world.GetRebuildCount(), rebuilds);
}

TEST(VFuzzScene, AProducerBackgroundOffInOneChannelComesBack) {
    VFuzzScene& world = VFuzzScene::Get();
    world.Reset();
    const std::string fresh = Describe(world.GetManager(), world.GetScene());
    VOxaCamera* camera = world.GetScene()->GetGlobalCameraSettings().GetProducerFrontCamera();
    const VOxaColor gray = camera->GetDefaultBackgroundColor();
    for (int channel = 0; channel < 3; ++channel) {
        VOxaColor color = gray;
        (channel == 0 ? color.mRed : channel == 1 ? color.mGreen : color.mBlue) = 0.25;
        camera->SetDefaultBackgroundColor(color);
        ASSERT_NE(Describe(world.GetManager(), world.GetScene()), fresh) << channel;
        world.Reset();
        EXPECT_EQ(Describe(world.GetManager(), world.GetScene()), fresh) << channel;
    }
}

TEST(VFuzzScene, ObjectsOutsideTheSceneGoToo) {
    VFuzzScene& world = VFuzzScene::Get();
    world.Reset();
    VOxaSdkManager* manager = world.GetManager();
    VOxaScene* scene = world.GetScene();
    const int rebuilds = world.GetRebuildCount();
    const std::string fresh = Describe(manager, scene);
    const int nodes = manager->GetNodeCount();

    // A loose subtree, a node hung under one of the scene's own nodes, a free attribute and
    // a material, as a failed read may leave them.
    VOxaNode* loose = manager->CreateNode("loose");
    ASSERT_TRUE(loose->AddChild(manager->CreateNode("loose child")));
    VOxaNode* own = manager->GetNode(nodes - 1);
    const int ownChildren = own->GetChildCount();
    ASSERT_TRUE(own->AddChild(manager->CreateNode("hung")));
    ASSERT_NE(manager->CreateCamera(), nullptr);
    ASSERT_NE(manager->CreateMaterial("material"), nullptr);

    world.Reset();
    EXPECT_EQ(world.GetRebuildCount(), rebuilds);
    EXPECT_EQ(manager->GetNodeCount(), nodes);
    EXPECT_EQ(own->GetChildCount(), ownChildren);
    EXPECT_EQ(Describe(manager, scene), fresh);
}

TEST(VFuzzScene, WhatResetCannotTakeBackMakesAllAnew) {
    VFuzzScene& world = VFuzzScene::Get();
    world.Reset();
    const int rebuilds = world.GetRebuildCount();
    const std::string fresh = Describe(world.GetManager(), world.GetScene());
    // A thumbnail, which Reset does not destroy one by one: the counts differ from the fresh
    // ones, so manager and scene are made anew.
    ASSERT_NE(world.GetManager()->CreateThumbnail(), nullptr);

    world.Reset();
    EXPECT_EQ(world.GetRebuildCount(), rebuilds + 1);
    EXPECT_EQ(Describe(world.GetManager(), world.GetScene()), fresh);
    const std::string path = std::string(OXA_EXAMPLES_DIR) + "/walk.bvh";
    EXPECT_TRUE(Import(world.GetManager(), world.GetScene(), path.c_str()));
    world.Reset();
}

// A released scene is freed with everything in it; the next Get makes a fresh one that reads as
// the first did.
TEST(VFuzzScene, ReleaseLeavesTheNextGetAFreshScene) {
    VFuzzScene& world = VFuzzScene::Get();
    world.Reset();
    const std::string fresh = Describe(world.GetManager(), world.GetScene());
    const std::string path = std::string(OXA_EXAMPLES_DIR) + "/walk.bvh";
    ASSERT_TRUE(Import(world.GetManager(), world.GetScene(), path.c_str()));
    VFuzzScene::Release();

    VFuzzScene& again = VFuzzScene::Get();
    EXPECT_EQ(again.GetRebuildCount(), 0);
    EXPECT_EQ(Describe(again.GetManager(), again.GetScene()), fresh);
    EXPECT_TRUE(Import(again.GetManager(), again.GetScene(), path.c_str()));
    again.Reset();
    EXPECT_EQ(Describe(again.GetManager(), again.GetScene()), fresh);
}

// Marker files announcing more than the limit are not read; the check leaves the reader able to
// read the file from its start, and readers of other files are never held back.
TEST(VFuzzScene, MarkerFilesAnnouncingTooManyMarkersAreSkipped) {
    VFuzzScene& world = VFuzzScene::Get();
    const std::string path = FuzzScratchPath("limit.aoa");
    auto announce = [&](int64_t markers) {
        const std::string text =
            "frames = 1 markers = " + std::to_string(markers) + " Hz = 60\n" + std::string(2000, '\n');
        EXPECT_TRUE(WriteFuzzInput(path, reinterpret_cast<const uint8_t*>(text.data()), text.size()));
        VOxaReaderAdaptiveOptics reader(world.GetManager(), false);
        EXPECT_TRUE(reader.FileOpen(path.c_str()));
        const bool skipped = FuzzAnnouncesTooManyMarkers(reader);
        // The reader still finds its header.
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        EXPECT_NE(options, nullptr);
        reader.FileClose();
        return skipped;
    };
    EXPECT_FALSE(announce(kFuzzMarkerLimit));
    EXPECT_TRUE(announce(kFuzzMarkerLimit + 1));

    VOxaReaderBiovision other(world.GetManager());
    const std::string bvh = std::string(OXA_EXAMPLES_DIR) + "/walk.bvh";
    ASSERT_TRUE(other.FileOpen(bvh.c_str()));
    EXPECT_FALSE(FuzzAnnouncesTooManyMarkers(other));
    other.FileClose();
    std::remove(path.c_str());
    world.Reset();
}

}  // namespace
