#include "attributes/voxa_null.h"

#include <gtest/gtest.h>

#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

TEST(attributes_Null, SizeFlagCopiesAndTheNode) {
    VOxaSdkManager manager;
    VOxaNull* null = manager.CreateNull();
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(null->GetAttributeType(), VOxaNodeAttribute::eNull);
    EXPECT_STREQ(null->GetTypeName().Buffer(), "Null");
    ASSERT_EQ(null->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(null->GetTypeFlags()[0], "Null");
    EXPECT_EQ(null->GetSize(), 100.0);
    EXPECT_EQ(VOxaNull::GetDefaultSize(), 100.0);
    EXPECT_FALSE(null->IsSizeSet());

    VOxaNullProperties* block = null->GetProperties();
    EXPECT_TRUE(block->IsA(VOxaNullProperties::ClassId));
    ASSERT_EQ(block->GetPropertyCount(), 1);
    EXPECT_STREQ(block->GetProperty(0)->GetName(), "Size");
    EXPECT_EQ(block->GetProperty(0)->GetValueType(), eValueNumber);

    // Assigning a null whose size was never set gives a null whose size is not set either.
    VOxaNull* copy = manager.CreateNull();
    copy->SetSize(3.0);
    *copy = *null;
    EXPECT_EQ(copy->GetSize(), 100.0);
    EXPECT_FALSE(copy->IsSizeSet());

    // The same value still counts as set, and the flag travels with an assignment.
    null->SetSize(100.0);
    EXPECT_TRUE(null->IsSizeSet());
    *copy = *null;
    EXPECT_TRUE(copy->IsSizeSet());

    // The property model reaches the same value.
    block->GetProperty(0)->SetDouble(25.0);
    EXPECT_EQ(null->GetSize(), 25.0);

    VOxaNode* node = manager.CreateNode("Empty");
    node->SetNodeAttribute(null);
    EXPECT_EQ(node->GetNull(), null);
    EXPECT_EQ(node->GetMarker(), nullptr);
    EXPECT_EQ(node->GetLight(), nullptr);
    EXPECT_EQ(node->GetSkeleton(), nullptr);
    VArrayTemplate<VProperty*> properties;
    node->FillPropertyArray(properties);
    EXPECT_EQ(properties[properties.GetCount() - 1], block->GetProperty(0));

    EXPECT_TRUE(manager.DestroyNodeAttribute(null));
    EXPECT_EQ(node->GetNodeAttribute(), nullptr);
    EXPECT_EQ(node->GetNull(), nullptr);
}

}  // namespace
