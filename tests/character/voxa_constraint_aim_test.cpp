#include "character/voxa_constraint_aim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "constraint_test_util.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

using namespace constraint_test;

TEST(character_ConstraintAim, PropertyListDefaultsAndStartingChannels) {
    VOxaSdkManager manager;
    VOxaConstraintAim c(&manager, "Constraint::Look");
    EXPECT_EQ(c.GetConstraintType(), 6);
    EXPECT_STREQ(c.GetTypeName().Buffer(), "Aim");
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    EXPECT_EQ(block->GetOwner(), &c);
    EXPECT_STREQ(block->GetClassName(), "VOxaConstraintAimProperties");
    EXPECT_TRUE(block->IsA(VOxaConstraintProperty::GetConstraintPropertyClassId()));

    const int L = eValueObjectList, B = eValueBool, V = eValueVector;
    ExpectProperties(block, {{"Active", B, nullptr, false},
                             {"Lock", B, nullptr, false},
                             {"Constrained Object", L, nullptr, false},
                             {"Aim At Object", L, nullptr, false},
                             {"World Up Object", L, nullptr, false},
                             {"WorldUpType", eValueEnum, nullptr, false},
                             {"AffectX", B, nullptr, false},
                             {"AffectY", B, nullptr, false},
                             {"AffectZ", B, nullptr, false},
                             {"WorldUpVector", V, "Vector", true},
                             {"UpVector", V, "Vector", true},
                             {"AimVector", V, "Vector", true},
                             {"RotationOffset", V, "Vector", true},
                             {"Weight", eValueNumber, "Weight", true}});
    const int flags[3] = {0x2, 0x1, 0x1}, maxima[3] = {1, -1, 1};
    for (int i = 0; i < 3; ++i) {
        auto* list = static_cast<VPropertyObjectList*>(block->GetProperty(2 + i));
        EXPECT_EQ(list->GetFlags() & 0x7, flags[i]) << list->GetName();
        EXPECT_EQ(list->GetMaxCount(), maxima[i]) << list->GetName();
    }
    const VPropertyInfo& upType = block->FindProperty("WorldUpType")->GetInfo();
    const char* texts[5] = {"Scene Up", "Object Up", "Object Rotation Up", "Vector", "None"};
    for (int i = 0; i < 5; ++i)
        EXPECT_STREQ(upType.GetEnumName(i), texts[i]);
    EXPECT_EQ(upType.GetEnumName(5), nullptr);

    EXPECT_EQ(c.GetWorldUpType(), VOxaConstraintAim::eAimAtSceneUp);
    ExpectVector(c.GetWorldUpVector(), 0, 1, 0, 1);
    ExpectVector(c.GetUpVector(), 0, 1, 0, 1);
    ExpectVector(c.GetAimVector(), 1, 0, 0, 1);
    ExpectVector(c.GetOffset(), 0, 0, 0, 1);

    // Starting channels: the five created properties, with their defaults.
    VFCurveNode* root = c.GetDefaultTakeNode()->GetVFCurveNode();
    const char* channels[5] = {"WorldUpVector", "UpVector", "AimVector", "RotationOffset", "Weight"};
    ASSERT_EQ(root->GetCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_STREQ(root->Get(i)->GetName(), channels[i]);
    EXPECT_EQ(Curve(c.GetDefaultTakeNode(), "AimVector", "X")->GetDefaultValue(), 1.0f);
    EXPECT_EQ(Curve(c.GetDefaultTakeNode(), "UpVector", "Y")->GetDefaultValue(), 1.0f);
    EXPECT_EQ(Curve(c.GetDefaultTakeNode(), "Weight")->GetDefaultValue(), 100.0f);

    c.SetWorldUpType(static_cast<VOxaConstraintAim::EAimConstraintWoldUpType>(9));
    EXPECT_EQ(c.GetWorldUpType(), 9) << "no range check";
}

TEST(character_ConstraintAim, OffsetNotifiesVectorsDoNot) {
    VOxaSdkManager manager;
    VOxaConstraintAim c(&manager, "Constraint::Look");
    ASSERT_NE(c.AddTakeNode("Walk"), nullptr);
    ASSERT_NE(c.AddTakeNode("Run"), nullptr);
    ASSERT_TRUE(c.SetCurrentTakeNode("Walk"));
    VOxaTakeNode* def = c.GetTakeNode(0);
    VOxaTakeNode* walk = c.GetTakeNode(1);
    VOxaTakeNode* run = c.GetTakeNode(2);

    c.SetOffset(VgeTVector(0.1, 90.3, -7.7, 0.0));
    ExpectVector(c.GetOffset(), 0.1, 90.3, -7.7, 1.0);
    const double o[3] = {0.1, 90.3, -7.7};
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(Curve(def, "RotationOffset", axes[a])->GetDefaultValue(), (float)o[a]);
        EXPECT_EQ(Curve(walk, "RotationOffset", axes[a])->GetDefaultValue(), (float)o[a]);
        EXPECT_EQ(Curve(run, "RotationOffset", axes[a])->GetDefaultValue(), 0.0f);
    }

    // The vector setters change the property only; the world-up vector keeps its w.
    c.SetAimVector(VgeTVector(0, 0, 1, 5));
    c.SetUpVector(VgeTVector(0, 0, 2, 5));
    c.SetWorldUpVector(VgeTVector(3, 0, 0, 5));
    ExpectVector(c.GetAimVector(), 0, 0, 1, 1);
    double stored[4];
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    block->FindProperty("UpVector")->GetValue(stored);
    EXPECT_EQ(stored[3], 1.0);
    block->FindProperty("WorldUpVector")->GetValue(stored);
    EXPECT_EQ(stored[0], 3.0);
    EXPECT_EQ(stored[3], 5.0) << "kept as given";
    ExpectVector(c.GetWorldUpVector(), 3, 0, 0, 1);
    for (VOxaTakeNode* take : {def, walk}) {
        EXPECT_EQ(Curve(take, "AimVector", "X")->GetDefaultValue(), 1.0f);
        EXPECT_EQ(Curve(take, "AimVector", "Z")->GetDefaultValue(), 0.0f);
        EXPECT_EQ(Curve(take, "UpVector", "Z")->GetDefaultValue(), 0.0f);
        EXPECT_EQ(Curve(take, "WorldUpVector", "X")->GetDefaultValue(), 0.0f);
    }

    // Aim-at objects: every take's channel holds the weight given; renamed ones are found.
    VOxaNode* target = manager.CreateNode("Target");
    c.AddAimAtObject(target, 25.0);
    ASSERT_EQ(c.GetAimAtObjectCount(), 1);
    EXPECT_EQ(c.GetAimAtObject(0), target);
    EXPECT_EQ(c.GetAimAtObject(-1), nullptr);
    EXPECT_DOUBLE_EQ(c.GetAimAtObjectWeight(target), 25.0);
    for (VOxaTakeNode* take : {def, walk, run}) {
        ASSERT_NE(Curve(take, "Target.Weight"), nullptr) << take->GetName();
        EXPECT_EQ(Curve(take, "Target.Weight")->GetDefaultValue(), 25.0f) << take->GetName();
    }
    target->SetName("Goal");
    EXPECT_DOUBLE_EQ(c.GetAimAtObjectWeight(target), 25.0);
    VOxaNode* eye = manager.CreateNode("Eye");
    eye->SetName("Iris");
    c.AddAimAtObject(eye, 5.0);
    EXPECT_DOUBLE_EQ(c.GetAimAtObjectWeight(eye), 5.0);
    EXPECT_NE(block->FindProperty("Iris.Weight"), nullptr);

    c.SetWorldUpObject(eye);
    c.SetWorldUpObject(target);
    EXPECT_EQ(static_cast<VPropertyObjectList*>(block->FindProperty("World Up Object"))->GetCount(), 1);
    EXPECT_EQ(c.GetWorldUpObject(), target);
}

TEST(character_ConstraintAim, BadInputAndMissingProperties) {
    VOxaSdkManager manager;
    VOxaConstraintAim c(&manager, "Constraint::Look");
    VOxaObject blockless(&manager, "Thing");
    c.AddAimAtObject(nullptr, 1.0);
    c.AddAimAtObject(&blockless, 1.0);
    c.SetWorldUpObject(&blockless);
    EXPECT_EQ(c.GetAimAtObjectCount(), 0);
    EXPECT_EQ(c.GetWorldUpObject(), nullptr);
    EXPECT_EQ(c.GetConstrainedObject(), nullptr);
    EXPECT_DOUBLE_EQ(c.GetAimAtObjectWeight(&blockless), 100.0);

    VOxaPropertyHandler* block = c.GetPropertyHandler();
    for (const char* name : {"WorldUpVector", "UpVector", "AimVector", "RotationOffset", "Weight"})
        ASSERT_TRUE(block->RemoveProperty(block->FindProperty(name))) << name;
    ExpectVector(c.GetWorldUpVector(), 0, 1, 0, 1);
    ExpectVector(c.GetUpVector(), 0, 1, 0, 1);
    ExpectVector(c.GetAimVector(), 1, 0, 0, 1);
    ExpectVector(c.GetOffset(), 0, 0, 0, 1);
    c.SetOffset(VgeTVector(1, 2, 3, 1));
    c.SetAimVector(VgeTVector(1, 2, 3, 1));
    c.SetWeight(2.0);
    EXPECT_EQ(block->GetPropertyCount(), 9) << "setters create nothing";
}
