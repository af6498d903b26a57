#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"

namespace {

class scene_Scene : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        ASSERT_NE(mManager, nullptr);
        mScene = mManager->CreateScene();
        ASSERT_NE(mScene, nullptr);
    }
    void TearDown() override { delete mManager; }

    VOxaNode* Child(VOxaNode* parent, const char* name) {
        VOxaNode* node = mManager->CreateNode(name);
        EXPECT_TRUE(parent->AddChild(node));
        return node;
    }

    static std::vector<std::string> TakeNames(const VOxaScene* scene) {
        VStringList names;
        names.Add("stale");  // emptied first
        scene->FillTakeNameArray(names);
        std::vector<std::string> out;
        for (int i = 0; i < names.GetCount(); ++i)
            out.push_back(names[i]);
        return out;
    }

    static std::vector<std::string> TakesOf(const VOxaTakeNodeContainer* container) {
        std::vector<std::string> out;
        for (int i = 0; i < container->GetTakeNodeCount(); ++i)
            out.push_back(container->GetTakeNodeName(i));
        return out;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(scene_Scene, NewScene) {
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");
    EXPECT_EQ(mScene->GetSceneInfo(), nullptr);
    EXPECT_EQ(mScene->GetTakeInfo("Default"), nullptr);
    EXPECT_EQ(mScene->GetSdkManager(), mManager);

    VOxaNode* root = mScene->GetRootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Model::RootNode");
    EXPECT_EQ(root->GetSceneContents(), mScene->GetContents());
    VOxaNode* switcher = mScene->GetCameraSwitcher();
    ASSERT_NE(switcher, nullptr);
    EXPECT_STREQ(switcher->GetName(), "Model::Camera Switcher");
    EXPECT_FALSE(switcher->GetVisibility());
    EXPECT_EQ(switcher->GetShadingMode(), 1);
    EXPECT_FALSE(mScene->GetContents()->ContainsNode(switcher)) << "the switcher is not in the hierarchy";
    EXPECT_EQ(mManager->GetNodeCount(), 9) << "root, switcher and the seven producer cameras";

    EXPECT_DOUBLE_EQ(mScene->GetGlobalLightSettings().GetFogEnd(), 1000.0);
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 6);
    EXPECT_EQ(TakeNames(mScene), (Names{"Default"}));
    EXPECT_EQ(mScene->GetGenericNodeCount(), 0);
    EXPECT_EQ(mScene->GetGenericNode(0), nullptr);
}

TEST_F(scene_Scene, CreateTakeTriesEveryObject) {
    VOxaNode* a = Child(mScene->GetRootNode(), "a");
    VOxaNode* b = Child(a, "b");
    VOxaMaterial* m = mManager->CreateMaterial("m");
    VOxaTexture* t = mManager->CreateTexture("t");
    mScene->GetContents()->AddMaterial(m);
    mScene->GetContents()->AddTexture(t);

    EXPECT_TRUE(mScene->CreateTake("Walk"));
    for (VOxaTakeNodeContainer* c :
         std::vector<VOxaTakeNodeContainer*>{mScene->GetCameraSwitcher(), mScene->GetRootNode(), a, b, m, t})
        EXPECT_EQ(TakesOf(c), (Names{"Default", "Walk"})) << c->GetName();

    // The switcher has "Run" already: the others still get it, and the call fails.
    ASSERT_NE(mScene->GetCameraSwitcher()->AddTakeNode("Run"), nullptr);
    EXPECT_FALSE(mScene->CreateTake("Run"));
    EXPECT_EQ(mScene->GetLastErrorID(), VOxaScene::eTakeError);
    EXPECT_STREQ(mScene->GetLastErrorString(),
                 "At least one node, texture or material already has a take called Run");
    for (VOxaTakeNodeContainer* c : std::vector<VOxaTakeNodeContainer*>{mScene->GetRootNode(), a, b, m, t})
        EXPECT_EQ(TakesOf(c), (Names{"Default", "Walk", "Run"})) << c->GetName();

    EXPECT_TRUE(mScene->CreateTake("walk")) << "take names are byte-exact";
    EXPECT_EQ(TakeNames(mScene), (Names{"Default", "Walk", "Run", "walk"}));

    EXPECT_TRUE(mScene->RemoveTake("Run"));
    EXPECT_EQ(TakesOf(b), (Names{"Default", "Walk", "walk"}));
    b->AddTakeNode("Run");
    EXPECT_FALSE(mScene->RemoveTake("Run"));
    EXPECT_STREQ(mScene->GetLastErrorString(),
                 "Not all nodes, textures and materials have a take called Run");
    EXPECT_EQ(TakesOf(b), (Names{"Default", "Walk", "walk"})) << "removed where it was found";
    EXPECT_FALSE(mScene->RemoveTake("Default")) << "the default take stays";
    EXPECT_EQ(TakesOf(m), (Names{"Default", "Walk", "walk"}));
}

TEST_F(scene_Scene, SetCurrentTake) {
    VOxaNode* a = Child(mScene->GetRootNode(), "a");
    VOxaGenericNode* g = mManager->CreateGenericNode("gen");
    ASSERT_TRUE(mScene->AddGenericNode(g));
    EXPECT_EQ(mScene->GetGenericNodeCount(), 1);
    EXPECT_EQ(mScene->GetGenericNode(0), g);
    ASSERT_TRUE(mScene->CreateTake("Walk"));
    EXPECT_EQ(TakesOf(g), (Names{"Default"})) << "CreateTake leaves generic nodes alone";

    EXPECT_FALSE(mScene->SetCurrentTake("Walk")) << "the generic node lacks the take";
    EXPECT_STREQ(mScene->GetLastErrorString(), "Not all nodes have a take node called Walk");
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "Walk") << "stored even on failure";
    EXPECT_STREQ(a->GetCurrentTakeNodeName(), "Walk");
    EXPECT_STREQ(mScene->GetCameraSwitcher()->GetCurrentTakeNodeName(), "Walk");

    g->AddTakeNode("Walk");
    g->AddTakeNode("GenOnly");
    EXPECT_TRUE(mScene->SetCurrentTake("Walk"));
    EXPECT_STREQ(g->GetCurrentTakeNodeName(), "Walk");
    EXPECT_EQ(TakeNames(mScene), (Names{"Default", "Walk", "GenOnly"}));

    EXPECT_FALSE(mScene->SetCurrentTake("WALK"));
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "WALK");
    EXPECT_FALSE(mScene->SetCurrentTake(nullptr));
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");

    // A generic node of another scene is not this scene's to remove.
    VOxaScene* other = mManager->CreateScene();
    EXPECT_FALSE(other->RemoveGenericNode(g));
    EXPECT_EQ(mScene->GetGenericNodeCount(), 1);
    EXPECT_FALSE(mScene->AddGenericNode(nullptr));
    EXPECT_FALSE(mScene->RemoveGenericNode(nullptr));
    EXPECT_TRUE(mScene->RemoveGenericNode(g));
    EXPECT_EQ(mScene->GetGenericNodeCount(), 0);
}

TEST_F(scene_Scene, TakeNamesOfManyNodes) {
    // Each node brings the same takes; the gathered names stay unique and in first-seen order.
    VOxaNode* parent = mScene->GetRootNode();
    for (int i = 0; i < 3000; ++i)
        parent = Child(i % 50 == 0 ? mScene->GetRootNode() : parent, ("n" + std::to_string(i)).c_str());
    ASSERT_TRUE(mScene->CreateTake("B"));
    ASSERT_TRUE(mScene->CreateTake("A"));
    parent->AddTakeNode("Last");
    EXPECT_EQ(TakeNames(mScene), (Names{"Default", "B", "A", "Last"}));
}

TEST_F(scene_Scene, TakeInformations) {
    ASSERT_TRUE(mScene->CreateTake("Walk"));
    VOxaTakeInfo info;
    info.mName = "Run";
    mScene->GetError().ClearError();
    EXPECT_FALSE(mScene->SetTakeInfo(info)) << "no object has a take called Run";
    EXPECT_EQ(mScene->GetTakeInfo("Run"), nullptr);
    EXPECT_EQ(mScene->GetLastErrorID(), -1) << "no error is reported";
    info.mName = "walk";
    EXPECT_FALSE(mScene->SetTakeInfo(info)) << "take names compare case-sensitively";

    info.mName = "Walk";
    info.mComments = "first";
    EXPECT_TRUE(mScene->SetTakeInfo(info));
    info.mComments = "changed";
    VOxaTakeInfo* stored = mScene->GetTakeInfo("Walk");
    ASSERT_NE(stored, nullptr);
    EXPECT_STREQ(stored->mComments.Buffer(), "first") << "the scene keeps a copy";
    EXPECT_EQ(mScene->GetTakeInfo("walk"), nullptr);
    EXPECT_EQ(mScene->GetTakeInfo(nullptr), nullptr);

    EXPECT_TRUE(mScene->SetTakeInfo(info));
    EXPECT_EQ(mScene->GetTakeInfo("Walk"), stored) << "a second call replaces the first copy";
    EXPECT_STREQ(stored->mComments.Buffer(), "changed");

    info.mName = "Default";
    EXPECT_TRUE(mScene->SetTakeInfo(info));
    EXPECT_NE(mScene->GetTakeInfo("Default"), nullptr);
    EXPECT_EQ(mScene->GetTakeInfo("Walk"), stored);
}

TEST_F(scene_Scene, Poses) {
    // The scene lists the manager's poses.
    VOxaPose* p = mManager->CreatePose("P", 0);
    VOxaPose* q = mManager->CreatePose("Q", 0);
    EXPECT_TRUE(mScene->AddPose(p));
    EXPECT_FALSE(mScene->AddPose(p));
    EXPECT_FALSE(mScene->AddPose(nullptr));
    EXPECT_EQ(mScene->GetPoseCount(), 1);
    EXPECT_TRUE(mScene->AddPose(q));
    EXPECT_FALSE(mScene->RemovePose(2));
    EXPECT_TRUE(mScene->RemovePose(p));
    EXPECT_FALSE(mScene->RemovePose(p));
    EXPECT_EQ(mScene->GetPose(0), q);
    EXPECT_TRUE(mScene->RemovePose(0));
    EXPECT_EQ(mScene->GetPoseCount(), 0);
}

TEST_F(scene_Scene, SetCameraSwitcher) {
    VOxaNode* switcher = mScene->GetCameraSwitcher();
    mScene->SetCameraSwitcher(switcher);
    EXPECT_EQ(mScene->GetCameraSwitcher(), switcher) << "setting the current switcher changes nothing";
    int nodes = mManager->GetNodeCount();
    EXPECT_STREQ(switcher->GetName(), "Model::Camera Switcher");

    VOxaNode* other = mManager->CreateNode("Other Switcher");
    mScene->SetCameraSwitcher(other);
    EXPECT_EQ(mScene->GetCameraSwitcher(), other);
    EXPECT_EQ(mManager->GetNodeCount(), nodes) << "the former switcher was destroyed";
    EXPECT_EQ(mManager->GetNode(nodes - 1), other);
    EXPECT_EQ(mManager->GetNode("Camera Switcher", 0), nullptr);
}

TEST_F(scene_Scene, ClearKeepsRootSwitcherAndFirstTakes) {
    VOxaNode* root = mScene->GetRootNode();
    VOxaNode* switcher = mScene->GetCameraSwitcher();
    VOxaNode* a = Child(root, "a");
    Child(a, "a1");
    Child(root, "b");
    ASSERT_TRUE(mScene->CreateTake("Walk"));
    ASSERT_TRUE(mScene->CreateTake("Run"));
    ASSERT_TRUE(mScene->SetCurrentTake("Run"));
    switcher->SetName("Renamed");
    switcher->SetVisibility(true);
    switcher->SetShadingMode(3);

    VOxaSceneInfo* info = mManager->CreateSceneInfo();
    mScene->SetSceneInfo(info);
    VOxaGenericNode* g = mManager->CreateGenericNode("gen");
    VOxaGenericNode* h = mManager->CreateGenericNode("gen2");
    ASSERT_TRUE(mScene->AddGenericNode(g));
    ASSERT_TRUE(mScene->AddGenericNode(h));
    mScene->GetContents()->AddGenericNode(h);  // counted twice
    mScene->AddPose(mManager->CreatePose("P", 0));
    VOxaTakeInfo takeInfo;
    takeInfo.mName = "Walk";
    ASSERT_TRUE(mScene->SetTakeInfo(takeInfo));
    mScene->GetGlobalLightSettings().SetShadowIntensity(50);
    mScene->GetGlobalTimeSettings().SetTimeMode(11);

    mScene->Clear();

    EXPECT_EQ(mScene->GetRootNode(), root);
    EXPECT_EQ(root->GetChildCount(), 0);
    EXPECT_EQ(TakesOf(root), (Names{"Default"}));
    EXPECT_EQ(mScene->GetCameraSwitcher(), switcher);
    EXPECT_STREQ(switcher->GetName(), "Model::Camera Switcher");
    EXPECT_FALSE(switcher->GetVisibility());
    EXPECT_EQ(switcher->GetShadingMode(), 1);
    EXPECT_EQ(TakesOf(switcher), (Names{"Default"}));
    EXPECT_EQ(mManager->GetNodeCount(), 9) << "the root's subtree was destroyed";
    EXPECT_EQ(mScene->GetContents()->GetNodeCount(), 1);

    EXPECT_EQ(mScene->GetSceneInfo(), nullptr);
    EXPECT_EQ(mManager->GetSceneInfoCount(), 0);
    EXPECT_EQ(mScene->GetGenericNodeCount(), 0);
    EXPECT_EQ(mManager->GetGenericNodeCount(), 0);
    EXPECT_EQ(mScene->GetPoseCount(), 0);
    EXPECT_DOUBLE_EQ(mScene->GetGlobalLightSettings().GetShadowIntensity(), 0.0);
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 6);
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "");
    EXPECT_EQ(mScene->GetTakeInfo("Walk"), nullptr);
    EXPECT_EQ(TakeNames(mScene), (Names{"Default"}));

    // The cleared scene works as a new one.
    VOxaNode* c = Child(root, "c");
    EXPECT_TRUE(mScene->CreateTake("Again"));
    EXPECT_EQ(TakesOf(c), (Names{"Default", "Again"}));
}

TEST_F(scene_Scene, DestroySceneWithItsNodes) {
    VOxaNode* a = Child(mScene->GetRootNode(), "a");
    Child(a, "a1");
    VOxaSceneInfo* info = mManager->CreateSceneInfo();
    mScene->SetSceneInfo(info);
    VOxaGenericNode* g = mManager->CreateGenericNode("gen");
    ASSERT_TRUE(mScene->AddGenericNode(g));
    EXPECT_TRUE(mManager->DestroyScene(mScene, true));
    EXPECT_EQ(mManager->GetSceneCount(), 0);
    EXPECT_EQ(mManager->GetNodeCount(), 0) << "root, subtree and camera switcher are gone";
    EXPECT_EQ(mManager->GetSceneInfoCount(), 0);
    EXPECT_EQ(g->GetSceneContents(), nullptr) << "the generic node outlives the scene, unlinked";
}

}  // namespace
