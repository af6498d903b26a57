#include "character/voxa_constraint_single_chain_ik.h"

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

TEST(character_ConstraintSingleChainIK, PropertyListDefaultsAndStartingChannels) {
    VOxaSdkManager manager;
    VOxaConstraintSingleChainIK c(&manager, "Constraint::Arm");
    EXPECT_EQ(c.GetConstraintType(), 5);
    EXPECT_STREQ(c.GetTypeName().Buffer(), "Single Chain IK");
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    EXPECT_EQ(block->GetOwner(), &c);
    EXPECT_STREQ(block->GetClassName(), "VOxaConstraintSingleChainIKProperties");
    EXPECT_TRUE(block->IsA(VOxaConstraintProperty::GetConstraintPropertyClassId()));

    const int L = eValueObjectList, E = eValueEnum;
    ExpectProperties(block, {{"Active", eValueBool, nullptr, false},
                             {"Lock", eValueBool, nullptr, false},
                             {"First Joint", L, nullptr, false},
                             {"End Joint", L, nullptr, false},
                             {"Effector", L, nullptr, false},
                             {"Pole Vector Object", L, nullptr, false},
                             {"SolverType", E, nullptr, false},
                             {"PoleVectorType", E, nullptr, false},
                             {"EvaluateTSAnim", E, nullptr, false},
                             {"PoleVector", eValueVector, "Vector", true},
                             {"Twist", eValueNumber, "Number", true},
                             {"Weight", eValueNumber, "Weight", true}});
    // Lists: direction in the low plug flags, declared maximum.
    const int flags[4] = {0x2, 0x2, 0x1, 0x1}, maxima[4] = {1, 1, 1, -1};
    for (int i = 0; i < 4; ++i) {
        auto* list = static_cast<VPropertyObjectList*>(block->GetProperty(2 + i));
        EXPECT_EQ(list->GetFlags() & 0x7, flags[i]) << list->GetName();
        EXPECT_EQ(list->GetMaxCount(), maxima[i]) << list->GetName();
    }
    // Enumeration texts, out-of-range values answer none.
    const VPropertyInfo& eval = block->FindProperty("EvaluateTSAnim")->GetInfo();
    EXPECT_STREQ(eval.GetEnumName(0), "Never");
    EXPECT_STREQ(eval.GetEnumName(1), "Auto");
    EXPECT_STREQ(eval.GetEnumName(2), "Always");
    EXPECT_EQ(eval.GetEnumName(3), nullptr);
    EXPECT_STREQ(block->FindProperty("SolverType")->GetInfo().GetEnumName(0), "ikRPSolver");
    EXPECT_STREQ(block->FindProperty("SolverType")->GetInfo().GetEnumName(1), "ikSCSolver");
    EXPECT_STREQ(block->FindProperty("PoleVectorType")->GetInfo().GetEnumName(1), "Object");
    EXPECT_EQ(block->FindProperty("PoleVectorType")->GetInfo().GetEnumName(-1), nullptr);

    EXPECT_EQ(c.GetSolverType(), 1);
    EXPECT_EQ(block->FindProperty("SolverType")->GetInt(), 1);
    EXPECT_EQ(c.GetPoleVectorType(), 0);
    EXPECT_EQ(c.GetEvaluateTSAnim(), 0);
    EXPECT_DOUBLE_EQ(c.GetTwist(), 0.0);
    EXPECT_DOUBLE_EQ(c.GetWeight(), 100.0);
    ExpectVector(c.GetPoleVector(), 0, 0, 0, 1);

    VFCurveNode* root = c.GetDefaultTakeNode()->GetVFCurveNode();
    ASSERT_EQ(root->GetCount(), 3);
    EXPECT_STREQ(root->Get(0)->GetName(), "PoleVector");
    EXPECT_STREQ(root->Get(1)->GetName(), "Twist");
    EXPECT_STREQ(root->Get(2)->GetName(), "Weight");
    for (const char* axis : {"X", "Y", "Z"})
        ASSERT_NE(Curve(c.GetDefaultTakeNode(), "PoleVector", axis), nullptr);
    EXPECT_EQ(Curve(c.GetDefaultTakeNode(), "Weight")->GetDefaultValue(), 100.0f);

    // Enumeration setters store any value unchecked.
    c.SetSolverType(static_cast<VOxaConstraintSingleChainIK::ESolverType>(7));
    EXPECT_EQ(c.GetSolverType(), 7);
    c.SetEvaluateTSAnim(VOxaConstraintSingleChainIK::eAlways);
    EXPECT_EQ(block->FindProperty("EvaluateTSAnim")->GetInt(), 2);
}

TEST(character_ConstraintSingleChainIK, TwistPoleVectorAndPoleObjectsAcrossTakes) {
    VOxaSdkManager manager;
    VOxaConstraintSingleChainIK c(&manager, "Constraint::Arm");
    ASSERT_NE(c.AddTakeNode("Walk"), nullptr);
    ASSERT_NE(c.AddTakeNode("Run"), nullptr);
    ASSERT_TRUE(c.SetCurrentTakeNode("Run"));
    VOxaTakeNode* def = c.GetTakeNode(0);
    VOxaTakeNode* walk = c.GetTakeNode(1);
    VOxaTakeNode* run = c.GetTakeNode(2);

    c.SetTwist(12.345678901);
    EXPECT_DOUBLE_EQ(c.GetTwist(), 12.345678901) << "the property keeps the double";
    EXPECT_EQ(Curve(def, "Twist")->GetDefaultValue(), (float)12.345678901);
    EXPECT_EQ(Curve(run, "Twist")->GetDefaultValue(), (float)12.345678901);
    EXPECT_EQ(Curve(walk, "Twist")->GetDefaultValue(), 0.0f);

    c.SetPoleVector(VgeTVector(1.1, 2.2, 3.3, 9.0));
    ExpectVector(c.GetPoleVector(), 1.1, 2.2, 3.3, 1.0);
    double stored[4];
    ASSERT_EQ(c.GetPropertyHandler()->FindProperty("PoleVector")->GetValue(stored), 4);
    EXPECT_EQ(stored[3], 1.0) << "w forced to 1";
    const double p[3] = {1.1, 2.2, 3.3};
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(Curve(def, "PoleVector", axes[a])->GetDefaultValue(), (float)p[a]);
        EXPECT_EQ(Curve(run, "PoleVector", axes[a])->GetDefaultValue(), (float)p[a]);
        EXPECT_EQ(Curve(walk, "PoleVector", axes[a])->GetDefaultValue(), 0.0f);
    }
    c.SetWeight(55.5);
    EXPECT_DOUBLE_EQ(c.GetWeight(), 55.5);
    EXPECT_EQ(Curve(walk, "Weight")->GetDefaultValue(), 100.0f);

    // Pole objects: every take's channel holds the weight given.
    VOxaNode* elbow = manager.CreateNode("Elbow");
    c.AddPoleVectorObject(elbow, 30.0);
    ASSERT_EQ(c.GetPoleVectorObjectCount(), 1);
    EXPECT_EQ(c.GetPoleVectorObject(0), elbow);
    EXPECT_EQ(c.GetPoleVectorObject(1), nullptr);
    EXPECT_DOUBLE_EQ(c.GetPoleVectorObjectWeight(elbow), 30.0);
    for (VOxaTakeNode* take : {def, walk, run}) {
        ASSERT_NE(Curve(take, "Elbow.Weight"), nullptr) << take->GetName();
        EXPECT_EQ(Curve(take, "Elbow.Weight")->GetDefaultValue(), 30.0f) << take->GetName();
    }
    // Renamed before and after adding.
    VOxaNode* knee = manager.CreateNode("Knee");
    knee->SetName("Shin");
    c.AddPoleVectorObject(knee, 10.0);
    EXPECT_NE(c.GetPropertyHandler()->FindProperty("Shin.Weight"), nullptr);
    EXPECT_DOUBLE_EQ(c.GetPoleVectorObjectWeight(knee), 10.0);
    elbow->SetName("Wrist");
    EXPECT_DOUBLE_EQ(c.GetPoleVectorObjectWeight(elbow), 30.0);
    EXPECT_DOUBLE_EQ(c.GetPoleVectorObjectWeight(nullptr), 100.0);
}

TEST(character_ConstraintSingleChainIK, JointsEffectorBadInputAndMissingProperties) {
    VOxaSdkManager manager;
    VOxaConstraintSingleChainIK c(&manager, "Constraint::Arm");
    VOxaNode* a = manager.CreateNode("A");
    VOxaNode* b = manager.CreateNode("B");
    VOxaObject blockless(&manager, "Thing");
    c.SetFirstJoint(a);
    c.SetFirstJoint(b);
    auto* first = static_cast<VPropertyObjectList*>(c.GetPropertyHandler()->FindProperty("First Joint"));
    EXPECT_EQ(first->GetCount(), 1) << "set at 0 replaces the entry";
    EXPECT_EQ(c.GetFirstJoint(), b);
    c.SetEndJoint(a);
    EXPECT_EQ(c.GetEndJoint(), a);
    c.SetEffector(a);
    c.SetEffector(&blockless);
    c.SetEffector(nullptr);
    EXPECT_EQ(c.GetEffector(), a);
    c.AddPoleVectorObject(&blockless, 5.0);
    c.AddPoleVectorObject(nullptr, 5.0);
    EXPECT_EQ(c.GetPoleVectorObjectCount(), 0);

    VObject plain;
    auto* poles =
        static_cast<VPropertyObjectList*>(c.GetPropertyHandler()->FindProperty("Pole Vector Object"));
    ASSERT_TRUE(poles->Add(&plain));
    EXPECT_EQ(c.GetPoleVectorObject(0), nullptr) << "not a property block";
    poles->Remove(&plain);

    // A block without its created properties: fallbacks, and setters change nothing.
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    for (const char* name : {"PoleVector", "Twist", "Weight"})
        ASSERT_TRUE(block->RemoveProperty(block->FindProperty(name))) << name;
    EXPECT_DOUBLE_EQ(c.GetTwist(), 0.0);
    EXPECT_DOUBLE_EQ(c.GetWeight(), 100.0);
    ExpectVector(c.GetPoleVector(), 0, 0, 0, 1);
    c.SetTwist(4.0);
    c.SetWeight(4.0);
    c.SetPoleVector(VgeTVector(4, 4, 4, 1));
    EXPECT_EQ(block->FindProperty("Twist"), nullptr);
    EXPECT_DOUBLE_EQ(c.GetTwist(), 0.0);

    // A file may give "Twist" another type: its first component is read, nothing overruns.
    VProperty* odd = block->CreateProperty("Twist", "Vector");
    ASSERT_NE(odd, nullptr);
    const double v[4] = {7.0, 8.0, 9.0, 1.0};
    odd->SetValue(v);
    EXPECT_DOUBLE_EQ(c.GetTwist(), 7.0);
}
