#include "character/voxa_constraint_scale.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(character_ConstraintScale, PropertiesOffsetAndSources) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintScale*>(manager.CreateConstraint("C", 3));
    ASSERT_NE(constraint, nullptr);
    EXPECT_EQ(constraint->GetConstraintType(), 3);
    EXPECT_STREQ(constraint->GetTypeName().Buffer(), "Scale From Scales");
    VOxaPropertyHandler* block = constraint->GetPropertyHandler();
    EXPECT_TRUE(block->IsA(VOxaConstraintScaleProperties::ClassId));
    const char* names[] = {"Active",  "Lock",    "Constrained Object",
                           "Source",  "AffectX", "AffectY",
                           "AffectZ", "Scaling", "Weight"};
    ASSERT_EQ(block->GetPropertyCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_STREQ(block->GetProperty(i)->GetName(), names[i]);
    EXPECT_TRUE(block->GetProperty(7)->IsAnimatable());
    EXPECT_STREQ(block->GetProperty(7)->GetDataType()->GetName(), "Vector");

    VFCurveNode* root = constraint->GetDefaultTakeNode()->GetVFCurveNode();
    ASSERT_NE(root->FindChild("Scaling"), nullptr);
    EXPECT_EQ(constraint->GetOffset(), VgeTVector(0, 0, 0, 1)) << "default (0, 0, 0), w 1";

    constraint->AddTakeNode("Other");
    const double v[3] = {10.25, -20.0 / 3.0, 30.0};
    constraint->SetOffset(VgeTVector(v[0], v[1], v[2], 0.0));
    EXPECT_EQ(constraint->GetOffset(), VgeTVector(v[0], v[1], v[2], 1.0));
    const char* axes[] = {"X", "Y", "Z"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(root->FindChild("Scaling")->FindChild(axes[k])->FCurveGet()->GetDefaultValue(),
                  (float)v[k]);
        VFCurveNode* other =
            constraint->GetTakeNode(1)->GetVFCurveNode()->FindChild("Scaling")->FindChild(axes[k]);
        EXPECT_EQ(other->FCurveGet()->GetDefaultValue(), 0.0f) << "the other take keeps its value";
    }

    VOxaNode* node = manager.CreateNode("Hand");
    constraint->AddSource(node, 25.0);
    EXPECT_EQ(constraint->GetSource(0), node);
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(node), 25.0);
    for (int t = 0; t < 2; ++t) {
        VFCurveNode* channel = constraint->GetTakeNode(t)->GetVFCurveNode()->FindChild("Hand.Weight");
        ASSERT_NE(channel, nullptr);
        EXPECT_EQ(channel->FCurveGet()->GetDefaultValue(), 25.0f);
    }
    constraint->SetConstrainedObject(node);
    EXPECT_EQ(constraint->GetConstrainedObject(), node);
}
