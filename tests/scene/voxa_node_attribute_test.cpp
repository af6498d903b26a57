#include "scene/voxa_node_attribute.h"

#include <gtest/gtest.h>

#include "animation/fcurve_node.h"
#include "attributes/voxa_marker.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// An attribute with one animated channel "Intensity" of its own, and a type code chosen by the
// test.
class ChannelAttribute : public VOxaNodeAttribute {
public:
    ChannelAttribute(VOxaSdkManager* manager, int type) : VOxaNodeAttribute(manager), mType(type) {}
    int GetAttributeType() const override { return mType; }
    void AddChannels(VOxaTakeNode* take) override {
        take->GetVFCurveNode()->Add(VFCurveNode::CreateFromName("Intensity", nullptr, 1, 0));
    }
    void RemoveChannels(VOxaTakeNode* take) override {
        VFCurveNode* root = take->GetVFCurveNode();
        int index = root->Find("Intensity");
        if (index >= 0) root->Delete(index);
    }
    VString GetTypeName() const override { return VString("Light"); }

private:
    int mType;
};

bool HasChannel(VOxaNode* node, int take) {
    return node->GetTakeNode(take)->GetVFCurveNode()->Find("Intensity") >= 0;
}

class scene_NodeAttribute : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        mNode = mManager->CreateNode("Lamp");
        mNode->AddTakeNode("Walk");
        mNode->AddTakeNode("Run");
    }
    void TearDown() override { delete mManager; }

    VOxaSdkManager* mManager = nullptr;
    VOxaNode* mNode = nullptr;
};

TEST_F(scene_NodeAttribute, ChannelsFollowTheAttributeInEveryTake) {
    ChannelAttribute attribute(mManager, VOxaNodeAttribute::eNull);
    attribute.UnsetNode();  // detached: nothing to do
    EXPECT_EQ(attribute.GetNode(), nullptr);

    EXPECT_EQ(mNode->SetNodeAttribute(&attribute), nullptr);
    EXPECT_EQ(attribute.GetNode(), mNode);
    ASSERT_EQ(mNode->GetTakeNodeCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(HasChannel(mNode, i)) << "take " << i;
    EXPECT_EQ(mNode->SetNodeAttribute(&attribute), nullptr) << "the current attribute changes nothing";
    EXPECT_STREQ(mNode->GetTypeName().Buffer(), "Light");

    // A take made now is a copy of the default take, channel included.
    mNode->AddTakeNode("Jump");
    EXPECT_TRUE(HasChannel(mNode, 3));

    EXPECT_EQ(mNode->SetNodeAttribute(nullptr), &attribute);
    EXPECT_EQ(attribute.GetNode(), nullptr);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(HasChannel(mNode, i)) << "take " << i;
    EXPECT_STREQ(mNode->GetTypeName().Buffer(), "Null");
    EXPECT_EQ(mNode->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(mNode->GetTypeFlags()[0], "Null");
    EXPECT_EQ(mNode->GetNodeAttributeType(), -1);
}

TEST_F(scene_NodeAttribute, AnAttributeMovesFromItsFormerNode) {
    VOxaNode* other = mManager->CreateNode("Other");
    ChannelAttribute attribute(mManager, VOxaNodeAttribute::eNull);
    other->SetNodeAttribute(&attribute);
    ASSERT_TRUE(HasChannel(other, 0));

    mNode->SetNodeAttribute(&attribute);
    EXPECT_EQ(other->GetNodeAttribute(), nullptr);
    EXPECT_FALSE(HasChannel(other, 0)) << "the former node's takes lose the channel";
    EXPECT_EQ(mNode->GetNodeAttribute(), &attribute);
    EXPECT_TRUE(HasChannel(mNode, 2));
    mNode->SetNodeAttribute(nullptr);
}

TEST_F(scene_NodeAttribute, MultiTakeAndMultiLayerFollowTheKind) {
    const struct {
        int mType;
        int mMultiTake;
    } cases[] = {{VOxaNodeAttribute::eLight, 0},
                 {VOxaNodeAttribute::eCamera, 0},
                 {VOxaNodeAttribute::eMesh, 1},
                 {VOxaNodeAttribute::eSkeleton, 1},
                 {VOxaNodeAttribute::eNull, 1}};
    for (const auto& c : cases) {
        ChannelAttribute attribute(mManager, c.mType);
        mNode->SetNodeAttribute(&attribute);
        EXPECT_EQ(mNode->GetMultiTake(), c.mMultiTake) << "type " << c.mType;
        EXPECT_FALSE(mNode->GetMultiLayer()) << "type " << c.mType;
        EXPECT_EQ(mNode->GetNodeAttributeType(), c.mType);
        mNode->SetNodeAttribute(nullptr);
        EXPECT_EQ(mNode->GetMultiTake(), 1);
    }
    // Markers by kind: an optical marker is not per take; the two effector kinds are layered.
    const struct {
        int mKind;
        int mMultiTake;
        bool mMultiLayer;
    } markers[] = {{VOxaMarker::eSTANDARD, 1, false},
                   {VOxaMarker::eOPTICAL, 0, false},
                   {VOxaMarker::eIK_EFFECTOR, 1, true},
                   {VOxaMarker::eFK_EFFECTOR, 1, true}};
    for (const auto& m : markers) {
        VOxaMarker* marker = mManager->CreateMarker();
        ASSERT_NE(marker, nullptr);
        marker->SetType(m.mKind);
        mNode->SetNodeAttribute(marker);
        EXPECT_EQ(mNode->GetMultiTake(), m.mMultiTake) << "kind " << m.mKind;
        EXPECT_EQ(mNode->GetMultiLayer(), m.mMultiLayer) << "kind " << m.mKind;
        EXPECT_EQ(mNode->GetMarker(), marker);
        mNode->SetNodeAttribute(nullptr);
        EXPECT_FALSE(mNode->GetMultiLayer());
    }
}

}  // namespace
