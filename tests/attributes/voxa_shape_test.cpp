#include "attributes/voxa_shape.h"

#include <gtest/gtest.h>

#include "attributes/voxa_layer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

TEST(attributes_Shape, NewShapeAndCopy) {
    VOxaSdkManager manager;
    VOxaShape* shape = manager.CreateShape();
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->GetAttributeType(), 0);
    EXPECT_EQ(shape->GetControlPointsCount(), 0);
    EXPECT_EQ(shape->GetLayerCount(), 0);

    shape->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        shape->GetControlPoints()[i] = VgeTVector(i, 2.0 * i, -i, 1);
    shape->InitNormals();
    ASSERT_NE(shape->GetNormals(), nullptr);
    shape->GetNormals()[3] = VgeTVector(0, 0, 1, 0);

    VOxaShape* copy = manager.CreateShape();
    *copy = *shape;
    ASSERT_EQ(copy->GetControlPointsCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(copy->GetControlPoints()[i] == shape->GetControlPoints()[i]) << "point " << i;
    ASSERT_EQ(copy->GetLayerCount(), 1);
    ASSERT_NE(copy->GetNormals(), nullptr);
    EXPECT_NE(copy->GetNormals(), shape->GetNormals()) << "a deep copy";
    EXPECT_TRUE(copy->GetNormals()[3] == VgeTVector(0, 0, 1, 0));
    EXPECT_TRUE(manager.DestroyShape(shape));
    EXPECT_FALSE(manager.DestroyShape(shape));
}

TEST(attributes_OpticalReference, TypeNamesAndNode) {
    VOxaSdkManager manager;
    VOxaOpticalReference* reference = manager.CreateOpticalReference();
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->GetAttributeType(), 10);
    EXPECT_STREQ(reference->GetTypeName().Buffer(), "Optical");
    VStringList flags = reference->GetTypeFlags();
    ASSERT_EQ(flags.GetCount(), 1);
    EXPECT_STREQ(flags[0], "Marker");

    VOxaNode* node = manager.CreateNode("Ref");
    EXPECT_EQ(node->GetOpticalReference(), nullptr);
    node->SetNodeAttribute(reference);
    EXPECT_EQ(node->GetOpticalReference(), reference);
    node->SetNodeAttribute(manager.CreateShape());
    EXPECT_EQ(node->GetOpticalReference(), nullptr) << "another type of attribute";
    node->SetNodeAttribute(nullptr);
    EXPECT_TRUE(manager.DestroyNodeAttribute(reference));
}
