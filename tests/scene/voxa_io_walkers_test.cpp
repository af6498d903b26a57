// The node walks of the file reader and writer bases.

#include <gtest/gtest.h>

#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

class NullReader : public VOxaReader {
public:
    explicit NullReader(VOxaSdkManager* manager) : VOxaReader(manager) {}
    bool Read(VOxaScene*, VStreamOptions*) override { return false; }
};

class NullWriter : public VOxaWriter {
public:
    explicit NullWriter(VOxaSdkManager* manager) : VOxaWriter(manager) {}
    bool Write(VOxaScene*, VStreamOptions*) override { return false; }
};

class scene_IoWalkers : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }
    VOxaNode* Make(const char* name, VOxaNode* parent) {
        VOxaNode* node = mManager->CreateNode(name);
        parent->AddChild(node);
        return node;
    }

    VOxaSdkManager* mManager = nullptr;
};

TEST_F(scene_IoWalkers, DuplicateNodeNamesAreReported) {
    NullReader reader(mManager);
    VOxaNode* top = mManager->CreateNode("Markers");
    Make("LFHD", top);
    Make("RFHD", top);
    VString report("Duplicate names found in take.trc:");
    EXPECT_TRUE(reader.CheckDuplicateNodeNames(top, report));
    Make("LFHD", top);
    EXPECT_FALSE(reader.CheckDuplicateNodeNames(top, report));
    EXPECT_STREQ(report.Buffer(), "Duplicate names found in take.trc:\n    Model::LFHD");
}

TEST_F(scene_IoWalkers, MotionRootFollowsOnlyChildren) {
    NullWriter writer(mManager);
    VOxaScene* scene = mManager->CreateScene();
    VOxaNode* root = scene->GetRootNode();
    VOxaNode* hips = Make("Hips", root);
    VOxaNode* spine = Make("Spine", hips);
    EXPECT_EQ(writer.FindMotionRootNode(scene), nullptr);
    spine->SetMarked(1);
    EXPECT_EQ(writer.FindMotionRootNode(scene), spine);
    hips->SetMarked(1);
    EXPECT_EQ(writer.FindMotionRootNode(scene), hips);
    hips->SetMarked(0);
    Make("Prop", root);
    EXPECT_EQ(writer.FindMotionRootNode(scene), nullptr) << "a fork ends the chain";
    EXPECT_EQ(writer.FindMotionRootNode(nullptr), nullptr);
}

TEST_F(scene_IoWalkers, BlanksInNodeNames) {
    NullWriter writer(mManager);
    VOxaNode* top = mManager->CreateNode("Top");
    VOxaNode* arm = Make("Left Arm", top);
    Make("Hand", arm);
    VString report("");
    EXPECT_FALSE(writer.CheckSpaceInNodeNameRecursive(top, report));
    EXPECT_STREQ(report.Buffer(), "\n    Model::Left Arm");
    VString clean("");
    EXPECT_TRUE(writer.CheckSpaceInNodeNameRecursive(arm->GetChild(0), clean));
    EXPECT_STREQ(clean.Buffer(), "");
}

}  // namespace
