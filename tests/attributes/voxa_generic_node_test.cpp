#include "attributes/voxa_generic_node.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(attributes_GenericNode, NewNodeAndItsUserProperties) {
    VOxaSdkManager manager;
    VOxaGenericNode* node = manager.CreateGenericNode("Rig");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetTypeCode(), 10);
    EXPECT_STREQ(node->GetTypeName().Buffer(), "GenericNode");
    EXPECT_EQ(node->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(node->GetNamePrefix(), "") << "not taken for a deformer";
    ASSERT_EQ(node->GetTakeNodeCount(), 1);
    EXPECT_STREQ(node->GetTakeNodeName(0), "Default");
    EXPECT_EQ(node->GetCurrentTakeNodeIndex(), 0);
    ASSERT_NE(node->GetPropertyHandler(), nullptr);
    EXPECT_EQ(node->GetPropertyHandler()->GetPropertyCount(), 0);
    EXPECT_EQ(node->GetPropertyHandler()->GetOwner(), node);
    EXPECT_TRUE(node->GetPropertyHandler()->IsA(VOxaGenericNode::GetClassId()));
    EXPECT_TRUE(node->GetPropertyHandler()->IsA(VOxaPropertyHandler::ClassId));
    EXPECT_EQ(node->GetSceneContents(), nullptr);

    // An animatable user property gets its channel, and its value changes reach the default take.
    VOxaUserProperty* handle = manager.CreateUserProperty(&manager, "Weight", "Real");
    handle->SetFlag(VOxaUserProperty::eAnimatable, true);
    node->AddUserProperty(handle);
    ASSERT_TRUE(handle->IsBound());
    VFCurveNode* channel = node->GetDefaultTakeNode()->GetVFCurveNode()->FindChild("Weight");
    ASSERT_NE(channel, nullptr);
    ASSERT_NE(channel->FCurveGet(), nullptr);
    handle->GetProperty()->SetDouble(2.5);
    EXPECT_FLOAT_EQ(channel->FCurveGet()->GetDefaultValue(), 2.5f);

    // A later take copies the default one.
    ASSERT_NE(node->AddTakeNode("Walk"), nullptr);
    EXPECT_NE(node->GetTakeNode(1)->GetVFCurveNode()->FindChild("Weight"), nullptr);

    int handles = manager.GetUserPropertyCount();
    EXPECT_TRUE(manager.DestroyGenericNode(node));
    EXPECT_EQ(manager.GetUserPropertyCount(), handles - 1) << "its handle goes with it";
}

TEST(attributes_GenericNode, MovesBetweenSceneContents) {
    VOxaSdkManager manager;
    VOxaSceneContents a(&manager), b(&manager);
    VOxaGenericNode* node = manager.CreateGenericNode("Rig");
    EXPECT_TRUE(node->SetSceneContents(&a));
    EXPECT_EQ(a.GetGenericNodeCount(), 1);
    EXPECT_TRUE(node->SetSceneContents(&b));
    EXPECT_EQ(a.GetGenericNodeCount(), 0) << "left A";
    EXPECT_EQ(b.GetGenericNodeCount(), 1);
    EXPECT_EQ(b.GetGenericNode(0), node);
    EXPECT_TRUE(node->SetSceneContents(&b));
    EXPECT_EQ(b.GetGenericNodeCount(), 1);
    // Setting B again did not count a second use: one removal takes it out.
    EXPECT_TRUE(node->SetSceneContents(nullptr));
    EXPECT_EQ(b.GetGenericNodeCount(), 0);
    EXPECT_EQ(node->GetSceneContents(), nullptr);

    // A destroyed node leaves the contents that list it, however often it was added.
    node->SetSceneContents(&a);
    a.AddGenericNode(node);
    ASSERT_EQ(a.GetGenericNodeCount(), 1);
    EXPECT_TRUE(manager.DestroyGenericNode(node));
    EXPECT_EQ(a.GetGenericNodeCount(), 0);
}
