#include "scene/voxa_node.h"

#include <gtest/gtest.h>

#include <string>

#include <cmath>

#include "scene/voxa_node_limits.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

class scene_Node : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        ASSERT_NE(mManager, nullptr);
    }
    void TearDown() override { delete mManager; }
    VOxaNode* Make(const char* name) { return mManager->CreateNode(name); }

    VOxaSdkManager* mManager = nullptr;
};

TEST_F(scene_Node, NewNodeState) {
    VOxaNode* node = Make("Cube");
    EXPECT_STREQ(node->GetName(), "Model::Cube");
    EXPECT_EQ(node->GetTypeCode(), 1);
    EXPECT_TRUE(node->GetVisibility());
    EXPECT_EQ(node->GetVisibilityValue(), 1.0);
    EXPECT_EQ(node->GetShadingMode(), 3);
    EXPECT_EQ(node->GetMultiTake(), 1);
    EXPECT_EQ(node->GetCullingMode(), VOxaNode::eCULLING_OFF);
    int state = 0;
    node->GetPivotState(0, state);
    EXPECT_EQ(state, 1);
    node->GetPivotState(1, state);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(node->GetTakeNodeCount(), 1);
    EXPECT_STREQ(node->GetCurrentTakeNodeName(), "Default");

    node->SetVisibility(false);
    EXPECT_FALSE(node->GetVisibility());
    EXPECT_FALSE(node->GetNodeProperties()->GetShow());
    node->GetNodeProperties()->FindProperty("Visibility")->SetDouble(std::nan(""));
    EXPECT_TRUE(node->GetVisibility()) << "NaN counts as visible";

    node->SetLclTranslation(VgeTVector(1, 2, 3, 9));
    VgeTVector t(7, 7, 7, 7);
    node->GetLclTranslation(t);
    EXPECT_EQ(t[0], 1.0);
    EXPECT_EQ(t[2], 3.0);
    EXPECT_EQ(t[3], 7.0) << "w of the caller's vector is left alone";
}

TEST_F(scene_Node, HierarchyOrderCountsAndLookups) {
    VOxaNode* parent = Make("Parent");
    VOxaNode* a = Make("A");
    VOxaNode* b = Make("B");
    VOxaNode* c = Make("C");
    EXPECT_FALSE(parent->AddChild(nullptr));
    ASSERT_TRUE(parent->AddChild(a));
    ASSERT_TRUE(parent->AddChild(b));
    ASSERT_TRUE(a->AddChild(c));
    EXPECT_EQ(c->GetParent(), a);
    EXPECT_EQ(parent->GetChildCount(), 2);
    EXPECT_EQ(parent->GetChildCount(true), 3);
    EXPECT_EQ(parent->GetChild(2), nullptr);

    // Adding a child again moves it to the end.
    ASSERT_TRUE(parent->AddChild(a));
    EXPECT_EQ(parent->GetChild(0), b);
    EXPECT_EQ(parent->GetChild(1), a);

    // Moving to another parent leaves the first one.
    ASSERT_TRUE(b->AddChild(c));
    EXPECT_EQ(a->GetChildCount(), 0);
    EXPECT_EQ(c->GetParent(), b);

    EXPECT_EQ(parent->FindChild("C"), c);
    EXPECT_EQ(parent->FindChild("Model::C"), c) << "a prefixed name is not prefixed twice";
    EXPECT_EQ(parent->FindChild("C", false), nullptr) << "C is a grandchild";
    c->SetName("Renamed");
    EXPECT_EQ(parent->FindChild("C"), nullptr);
    EXPECT_EQ(parent->FindChild("C", true, true), c) << "found by its initial name";

    EXPECT_EQ(parent->RemoveChild(b), b);
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(parent->RemoveChild(b), b) << "not a child: nothing happens";
    EXPECT_EQ(parent->GetChildCount(true), 1);
}

TEST_F(scene_Node, NoHierarchyBecomesCyclic) {
    VOxaNode* a = Make("A");
    VOxaNode* b = Make("B");
    VOxaNode* c = Make("C");
    VOxaNode* top = Make("Top");
    ASSERT_TRUE(top->AddChild(a));
    ASSERT_TRUE(a->AddChild(b));
    ASSERT_TRUE(b->AddChild(c));

    EXPECT_FALSE(a->AddChild(a));
    EXPECT_EQ(a->GetLastErrorID(), VOxaNode::eCyclicGraph);
    EXPECT_FALSE(c->AddChild(a)) << "an ancestor cannot become a child";
    EXPECT_EQ(c->GetLastErrorID(), VOxaNode::eCyclicGraph);
    EXPECT_EQ(a->GetParent(), top) << "nothing was detached";
    EXPECT_FALSE(c->GetNodeProperties()->ConnectSrc(b->GetNodeProperties()))
        << "the plug model refuses the cycle too";
    EXPECT_EQ(b->GetParent(), a);
    EXPECT_EQ(top->GetChildCount(true), 3);
}

TEST_F(scene_Node, MembershipFollowsParenting) {
    VOxaScene* scene = mManager->CreateScene();
    VOxaSceneContents* contents = scene->GetContents();
    VOxaNode* root = scene->GetRootNode();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetSceneContents(), contents);

    VOxaNode* a = Make("A");
    VOxaNode* b = Make("B");
    ASSERT_TRUE(a->AddChild(b));
    EXPECT_EQ(b->GetSceneContents(), nullptr);
    ASSERT_TRUE(root->AddChild(a));
    EXPECT_EQ(a->GetSceneContents(), contents);
    EXPECT_EQ(b->GetSceneContents(), contents) << "the whole subtree joins";
    EXPECT_TRUE(contents->ContainsNode(b));

    // Re-parenting inside the scene keeps the nodes in it.
    VOxaNode* c = Make("C");
    ASSERT_TRUE(root->AddChild(c));
    ASSERT_TRUE(c->AddChild(b));
    EXPECT_EQ(b->GetSceneContents(), contents);

    // Two nodes already in one scene are not connected: the same-scene rule.
    VOxaNode* loose = Make("Loose");
    ASSERT_TRUE(loose->SetSceneContents(contents, false));
    EXPECT_TRUE(loose->AddChild(a)) << "a is detached first, so the rule does not apply";
    EXPECT_EQ(loose->GetLastErrorID(), -1);
    EXPECT_EQ(a->GetParent(), loose);
    VOxaNode* other = Make("Other");
    ASSERT_TRUE(other->SetSceneContents(contents, false));
    EXPECT_FALSE(loose->GetNodeProperties()->ConnectSrc(other->GetNodeProperties()));
    EXPECT_EQ(loose->GetLastErrorID(), VOxaNode::eCyclicGraph);

    // Leaving the parent takes the subtree out.
    c->RemoveChild(b);
    EXPECT_EQ(b->GetSceneContents(), nullptr);
    EXPECT_FALSE(contents->ContainsNode(b));

    // A new root moves the old one out, and with it every node the list held.
    VOxaNode* newRoot = Make("NewRoot");
    ASSERT_TRUE(newRoot->SetSceneContents(contents, true));
    EXPECT_EQ(contents->GetRootNode(), newRoot);
    EXPECT_EQ(contents->GetNodeCount(), 1);
    EXPECT_EQ(root->GetSceneContents(), nullptr);
    EXPECT_EQ(c->GetSceneContents(), nullptr);
    EXPECT_EQ(other->GetSceneContents(), nullptr) << "a node listed without parent leaves too";
}

TEST_F(scene_Node, NameClashKeepsBothContents) {
    VOxaScene* scene = mManager->CreateScene();
    VOxaSceneContents* contents = scene->GetContents();
    VOxaNode* root = scene->GetRootNode();
    ASSERT_TRUE(root->AddChild(Make("Arm")));
    int listed = contents->GetNodeCount();

    VOxaNode* top = Make("Top");
    VOxaNode* arm = Make("Arm");
    top->AddChild(arm);
    EXPECT_FALSE(top->SetSceneContents(contents, true));
    EXPECT_EQ(top->GetLastErrorID(), VOxaNode::eNodeNameClash);
    EXPECT_STREQ(top->GetLastErrorString(), "Node name clash");
    EXPECT_EQ(contents->GetNodeCount(), listed);
    EXPECT_EQ(contents->GetRootNode(), root);
    EXPECT_EQ(arm->GetSceneContents(), nullptr);

    // Below a node of the scene, names are not compared: a subtree whose nodes share a name
    // joins whole (as its nodes could have, one by one) and leaves whole.
    VOxaNode* twin = Make("Twin");
    top->AddChild(twin);
    twin->AddChild(Make("Twin"));
    EXPECT_TRUE(top->SetSceneContents(contents, false));
    EXPECT_EQ(twin->GetChild(0)->GetSceneContents(), contents);
    EXPECT_EQ(contents->GetNodeCount(), listed + 4);
    EXPECT_TRUE(top->SetSceneContents(nullptr, false));
    EXPECT_EQ(twin->GetChild(0)->GetSceneContents(), nullptr);
    EXPECT_EQ(contents->GetNodeCount(), listed);
}

TEST_F(scene_Node, TargetsKeepTheFirst) {
    VOxaNode* node = Make("Camera");
    VOxaNode* first = Make("First");
    VOxaNode* second = Make("Second");
    node->SetTarget(first);
    node->SetTarget(second);
    EXPECT_EQ(node->GetTarget(), first);
    EXPECT_EQ(node->GetTargetUp(), nullptr);
    node->SetTargetUp(second);
    EXPECT_EQ(node->GetTargetUp(), second);
    EXPECT_EQ(node->GetParent(), nullptr) << "targets are not parents";
    EXPECT_EQ(first->GetChildCount(), 0);
}

// A node that other nodes aim at before it gets a parent finds its parent behind those links,
// whether it is aimed at by a few of them or by many.
TEST_F(scene_Node, ParentFoundBehindTargetLinks) {
    for (int aimers : {3, 12}) {
        VOxaNode* target = Make("Target");
        for (int i = 0; i < aimers; ++i)
            Make("Camera")->SetTarget(target);
        EXPECT_EQ(target->GetParent(), nullptr);
        VOxaNode* parent = Make("Parent");
        ASSERT_TRUE(parent->AddChild(target));
        EXPECT_EQ(target->GetParent(), parent) << aimers;
        VOxaNode* other = Make("Other");
        ASSERT_TRUE(other->AddChild(target));
        EXPECT_EQ(target->GetParent(), other) << aimers;
        EXPECT_EQ(parent->GetChildCount(), 0);
    }
}

TEST_F(scene_Node, PivotSetZeroDrivesTheMirror) {
    VOxaNode* node = Make("Pivot");
    VOxaTransformSettings& mirror = node->GetNodeProperties()->GetTransformSettings();
    node->SetRotationOffset(0, VgeTVector(1, 0, 0, 0));
    EXPECT_EQ(mirror.mPivotFlags & 0x1, 0x1);
    EXPECT_EQ(mirror.mRotationOffset[0], 1.0);
    node->SetRotationOffset(1, VgeTVector(0, 0, 0, 0));
    EXPECT_EQ(mirror.mPivotFlags & 0x1, 0x1) << "set 1 never reaches the mirror";
    node->SetRotationOffset(0, VgeTVector(0, 0, 0, 0));
    EXPECT_EQ(mirror.mPivotFlags & 0x1, 0) << "an exact zero clears the bit";

    node->SetPreRotation(0, VgeTVector(0, 0, 90, 0));
    EXPECT_EQ(mirror.mRotation.mFlags & 0x1, 0x1);
    EXPECT_NEAR(mirror.mRotation.mPreRotation[0][1], 1.0, 1e-12) << "row 0 is (cy cz, cy sz, -sy)";
    EXPECT_NEAR(mirror.mRotation.mPreRotation[1][0], -1.0, 1e-12);
    node->SetRotationOrder(0, eEULER_ZXY);
    EXPECT_EQ(mirror.mRotation.mOrderCode, 8);
    node->SetTransformInheritType(eINHERIT_Rrs);
    EXPECT_EQ(mirror.mInheritType, 2);
    EXPECT_EQ(node->GetNodeProperties()->GetInheritType(), eINHERIT_Rrs);

    // Writes through the answered reference reach the set but not the mirror.
    node->GetScalingPivot(0)[1] = 4.0;
    EXPECT_EQ(node->GetNodeProperties()->GetPivotSet(0).mScalingPivot[1], 4.0);
    EXPECT_EQ(mirror.mPivotFlags & 0x8, 0);
}

TEST_F(scene_Node, PivotsFromPropertiesNeutralRuleAndRoundTrip) {
    VOxaNode* node = Make("Sync");
    VOxaNodeProperties* p = node->GetNodeProperties();
    // Neutral pivots: set 0 stays as it was, the limits are still loaded.
    node->SetRotationPivot(0, VgeTVector(5, 5, 5, 0));
    p->SetRotationActive(true);
    p->SetRotationMaxZ(true);
    p->SetRotationMax(VgeTVector(0, 0, 45, 0));
    node->UpdatePivotsFromProperties();
    EXPECT_EQ(node->GetRotationPivot(0)[0], 5.0);
    int state = -1;
    node->GetPivotState(0, state);
    EXPECT_EQ(state, 1);
    EXPECT_TRUE(node->GetLimits()->GetRotationLimitsActive());
    EXPECT_TRUE(node->GetLimits()->mRotationLimits.mMaxActive[2]);
    EXPECT_EQ(node->GetLimits()->mRotationLimits.mMax[2], 45.0);
    EXPECT_EQ(p->GetTransformSettings().mRotationLimit.mFlags, 0x1 | 0x40);

    // A pre-rotation alone is not neutral: it is taken over, with every other field.
    p->SetPreRotation(VgeTVector(10, 0, 0, 0));
    node->UpdatePivotsFromProperties();
    EXPECT_EQ(node->GetPreRotation(0)[0], 10.0);
    EXPECT_EQ(node->GetRotationPivot(0)[0], 0.0);
    VOxaNode* other = Make("Sync2");
    other->GetNodeProperties()->SetRotationSpaceForLimitOnly(true);
    other->UpdatePivotsFromProperties();
    EXPECT_TRUE(other->GetUseRotationSpaceForLimitOnly(0));

    // A scaling just past the tolerance is not neutral: every field is loaded.
    p->SetGeometricScaling(VgeTVector(1, 1, 1.000002, 1));
    node->SetRotationPivot(1, VgeTVector(3, 3, 3, 0));
    node->UpdatePivotsFromProperties();
    EXPECT_EQ(node->GetRotationPivot(0)[0], 0.0);
    EXPECT_EQ(node->GetPreRotation(0)[0], 10.0);
    EXPECT_EQ(p->GetTransformSettings().mRotation.mFlags & 0x1, 0x1);
    node->GetPivotState(0, state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(node->GetRotationPivot(1)[0], 0.0) << "set 1 is made neutral";
    node->GetPivotState(1, state);
    EXPECT_EQ(state, 1);

    // Properties, pivots, properties again: the same values.
    node->SetScalingOffset(0, VgeTVector(1, 2, 3, 0));
    node->GetLimits()->mTranslationLimits.SetLimitMin(VgeTVector(-1, -1, -1, 0));
    node->UpdatePropertiesFromPivots();
    EXPECT_EQ(p->GetScalingOffset()[1], 2.0);
    EXPECT_EQ(p->GetTranslationMin()[0], -1.0);
    node->UpdatePivotsFromProperties();
    node->UpdatePropertiesFromPivots();
    EXPECT_EQ(p->GetScalingOffset()[2], 3.0);
    EXPECT_EQ(p->GetGeometricScaling()[2], 1.000002);
    EXPECT_EQ(p->GetPreRotation()[0], 10.0);
    EXPECT_TRUE(p->GetRotationMaxZ());
}

TEST_F(scene_Node, PivotsFromPropertiesLookAtEveryAxis) {
    // One axis off neutral, in any position, makes the pivot fields load; each per-axis limit
    // flag reaches its own axis.
    for (int axis = 0; axis < 3; ++axis) {
        VOxaNode* node = Make(("Axis" + std::to_string(axis)).c_str());
        VOxaNodeProperties* p = node->GetNodeProperties();
        VgeTVector offset(0, 0, 0, 0);
        offset[axis] = 2.0;
        p->SetScalingOffset(offset);
        node->UpdatePivotsFromProperties();
        EXPECT_EQ(node->GetScalingOffset(0)[axis], 2.0) << "axis " << axis;
        int state = -1;
        node->GetPivotState(0, state);
        EXPECT_EQ(state, 0) << "axis " << axis;

        bool flags[3] = {axis == 0, axis == 1, axis == 2};
        p->SetTranslationMinX(flags[0]);
        p->SetTranslationMinY(flags[1]);
        p->SetTranslationMinZ(flags[2]);
        p->SetScalingMaxX(flags[0]);
        p->SetScalingMaxY(flags[1]);
        p->SetScalingMaxZ(flags[2]);
        node->UpdatePivotsFromProperties();
        bool x, y, z;
        node->GetLimits()->mTranslationLimits.GetLimitMinActive(x, y, z);
        EXPECT_EQ(x, flags[0]);
        EXPECT_EQ(y, flags[1]);
        EXPECT_EQ(z, flags[2]);
        node->GetLimits()->mScalingLimits.GetLimitMaxActive(x, y, z);
        EXPECT_EQ(x, flags[0]);
        EXPECT_EQ(y, flags[1]);
        EXPECT_EQ(z, flags[2]);
        EXPECT_EQ(p->GetTransformSettings().mTranslationLimit.mFlags, 0x2 << axis);
        EXPECT_EQ(p->GetTransformSettings().mScalingLimit.mFlags, 0x10 << axis);
    }
}

}  // namespace
