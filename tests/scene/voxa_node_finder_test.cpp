#include "scene/voxa_node_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// Picks the nodes whose name ends in "!".
class BangFinder : public VOxaNodeFinder {
public:
    void Reset() override { VOxaNodeFinder::Reset(); }
    bool CheckNode(VOxaNode* node) override {
        std::string name = node->GetName();
        return !name.empty() && name.back() == '!';
    }
};

class scene_NodeFinder : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }
    VOxaNode* Make(const char* name, VOxaNode* parent = nullptr) {
        VOxaNode* node = mManager->CreateNode(name);
        if (parent) parent->AddChild(node);
        return node;
    }

    VOxaSdkManager* mManager = nullptr;
};

TEST_F(scene_NodeFinder, WalkIsDepthFirstAndAccumulatesUntilReset) {
    VOxaNode* root = Make("Root!");
    VOxaNode* a = Make("A!", root);
    Make("A1", a);
    VOxaNode* a2 = Make("A2!", a);
    VOxaNode* b = Make("B!", root);
    BangFinder finder;
    VArrayTemplate<VOxaNode*>& found = finder.Find(root);
    ASSERT_EQ(found.GetCount(), 4);
    EXPECT_EQ(found[0], root);
    EXPECT_EQ(found[1], a);
    EXPECT_EQ(found[2], a2);
    EXPECT_EQ(found[3], b);
    EXPECT_EQ(finder.GetRootNode(), root);
    finder.Find(a);
    EXPECT_EQ(finder.GetResult().GetCount(), 6) << "a second walk adds to the first";
    finder.Reset();
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
}

TEST_F(scene_NodeFinder, DuplicateNamesInTheSubtree) {
    VOxaNode* root = Make("Root");
    VOxaNode* first = Make("A", root);
    VOxaNode* second = Make("A", first);
    VOxaNode* third = Make("A", root);
    Make("B", root);
    VOxaNodeFinderDuplicateName finder(nullptr);
    EXPECT_TRUE(finder.GetOption(VOxaNodeFinderDuplicateName::eNodeNames));
    EXPECT_FALSE(finder.GetOption(VOxaNodeFinderDuplicateName::eMaterialNames));
    EXPECT_TRUE(finder.GetOption(VOxaNodeFinderDuplicateName::eGenericNodeNames));
    EXPECT_FALSE(finder.GetOption(5));

    finder.Find(root);
    EXPECT_EQ(finder.GetNodes().GetCount(), 5);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 2);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], second) << "the first holder of a name is not reported";
    EXPECT_EQ(finder.GetDuplicateNodes()[1], third);

    // A second walk over the same nodes keeps them once; each clashes with its namesakes only.
    finder.Find(first);
    EXPECT_EQ(finder.GetNodes().GetCount(), 5);
    EXPECT_EQ(finder.GetDuplicateNodes().GetCount(), 4);

    // With the node option off, nodes are collected only.
    VOxaNodeFinderDuplicateName collector(nullptr);
    collector.SetOption(VOxaNodeFinderDuplicateName::eNodeNames, false);
    collector.Find(root);
    EXPECT_EQ(collector.GetNodes().GetCount(), 5);
    EXPECT_EQ(collector.GetDuplicateNodes().GetCount(), 0);

    // A renamed node is seen under its new name.
    third->SetName("C");
    finder.Reset();
    finder.Find(root);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], second);
    EXPECT_FALSE(finder.CheckGenericNodeName("Nothing"));
    EXPECT_FALSE(finder.CheckGenericNodeName(nullptr));
}

TEST_F(scene_NodeFinder, NamesAreComparedWithTheScene) {
    VOxaScene* scene = mManager->CreateScene();
    VOxaNode* root = scene->GetRootNode();
    Make("Arm", root);
    VOxaNode* top = Make("Top");
    VOxaNode* arm = Make("Arm", top);
    VOxaNodeFinderDuplicateName finder(scene->GetContents());
    finder.Find(top);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], arm);

    // The scene's root does not count.
    VOxaNode* rootName = mManager->CreateNode(root->GetName());
    finder.Reset();
    finder.Find(rootName);
    EXPECT_EQ(finder.GetDuplicateNodes().GetCount(), 0);
}

TEST_F(scene_NodeFinder, WideAndDeepSubtreesJoinAndLeaveAScene) {
    // 5,000 nodes with fan-out 10, and a chain 5,000 deep: the walks are neither quadratic
    // nor recursive.
    VOxaScene* scene = mManager->CreateScene();
    VOxaNode* wide = Make("Wide");
    std::vector<VOxaNode*> level{wide};
    int made = 1;
    while (made < 5000) {
        std::vector<VOxaNode*> next;
        for (VOxaNode* parent : level) {
            for (int k = 0; k < 10 && made < 5000; ++k, ++made)
                next.push_back(Make(("W" + std::to_string(made)).c_str(), parent));
        }
        level.swap(next);
    }
    VOxaNode* deep = Make("Deep");
    VOxaNode* tip = deep;
    for (int i = 1; i < 5000; ++i)
        tip = Make(("D" + std::to_string(i)).c_str(), tip);

    VOxaNode* root = scene->GetRootNode();
    ASSERT_TRUE(root->AddChild(wide));
    ASSERT_TRUE(root->AddChild(deep));
    EXPECT_EQ(scene->GetContents()->GetNodeCount(), 10001);
    EXPECT_EQ(level.back()->GetSceneContents(), scene->GetContents());
    EXPECT_EQ(tip->GetSceneContents(), scene->GetContents());
    EXPECT_EQ(root->GetChildCount(true), 10000);
    EXPECT_FALSE(tip->AddChild(deep)) << "the chain's top is the tip's ancestor";
    root->RemoveChild(wide);
    root->RemoveChild(deep);
    EXPECT_EQ(scene->GetContents()->GetNodeCount(), 1);
}

}  // namespace
