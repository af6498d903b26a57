#include "character/voxa_constraint_parent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

struct Row {
    const char* name;
    int valueType;
    const char* dataType;  // null: not checked
    bool animatable;
};

void ExpectProperties(const VOxaPropertyHandler* block, const std::vector<Row>& rows) {
    ASSERT_EQ(block->GetPropertyCount(), (int)rows.size());
    for (int i = 0; i < (int)rows.size(); ++i) {
        const VProperty* p = block->GetProperty(i);
        SCOPED_TRACE(std::string("property ") + std::to_string(i) + " " + rows[i].name);
        EXPECT_STREQ(p->GetName(), rows[i].name);
        EXPECT_EQ(p->GetValueType(), rows[i].valueType);
        if (rows[i].dataType) {
            ASSERT_NE(p->GetDataType(), nullptr);
            EXPECT_STREQ(p->GetDataType()->GetName(), rows[i].dataType);
        }
        EXPECT_EQ(p->IsAnimatable(), rows[i].animatable);
        EXPECT_EQ(p->HasStateFlag(kPropertyAnimated), rows[i].animatable);
    }
}

// The curve of `channel` (or of its `component`) in `take`; null when missing.
VFCurve* Curve(VOxaTakeNode* take, const char* channel, const char* component = nullptr) {
    VFCurveNode* node = take->GetVFCurveNode()->FindChild(channel);
    if (node && component) node = node->FindChild(component);
    return node ? node->FCurveGet() : nullptr;
}

void ExpectVector(const VgeTVector& v, double x, double y, double z, double w) {
    EXPECT_DOUBLE_EQ(v[0], x);
    EXPECT_DOUBLE_EQ(v[1], y);
    EXPECT_DOUBLE_EQ(v[2], z);
    EXPECT_DOUBLE_EQ(v[3], w);
}

}  // namespace

TEST(character_ConstraintParent, PropertyListAndStartingChannels) {
    VOxaSdkManager manager;
    VOxaConstraintParent c(&manager, "Constraint::Rig");
    EXPECT_EQ(c.GetConstraintType(), 4);
    EXPECT_STREQ(c.GetTypeName().Buffer(), "Parent-Child");
    EXPECT_EQ(c.GetTypeCode(), 13);
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), &c);
    EXPECT_STREQ(block->GetClassName(), "VOxaConstraintParentProperties");
    EXPECT_TRUE(block->IsA(VOxaConstraintParentProperties::GetClassId()));
    EXPECT_TRUE(block->IsA(VOxaConstraintProperty::GetConstraintPropertyClassId()));

    const int B = eValueBool;
    ExpectProperties(block, {{"Active", B, nullptr, false},
                             {"Lock", B, nullptr, false},
                             {"Constrained object (Child)", eValueObjectList, nullptr, false},
                             {"Source (Parent)", eValueObjectList, nullptr, false},
                             {"AffectTranslationX", B, nullptr, false},
                             {"AffectTranslationY", B, nullptr, false},
                             {"AffectTranslationZ", B, nullptr, false},
                             {"AffectRotationX", B, nullptr, false},
                             {"AffectRotationY", B, nullptr, false},
                             {"AffectRotationZ", B, nullptr, false},
                             {"AffectScalingX", B, nullptr, false},
                             {"AffectScalingY", B, nullptr, false},
                             {"AffectScalingZ", B, nullptr, false},
                             {"Weight", eValueNumber, "Weight", true}});
    auto* child = static_cast<VPropertyObjectList*>(block->GetProperty(2));
    auto* parents = static_cast<VPropertyObjectList*>(block->GetProperty(3));
    EXPECT_EQ(child->GetFlags() & 0x7, 0x2);
    EXPECT_EQ(child->GetMaxCount(), 1);
    EXPECT_EQ(parents->GetFlags() & 0x7, 0x1);
    EXPECT_EQ(parents->GetMaxCount(), -1);
    EXPECT_DOUBLE_EQ(block->GetProperty(13)->GetDouble(), 100.0);

    // The default take holds the one channel "Weight" at 100.
    ASSERT_EQ(c.GetTakeNodeCount(), 1);
    VFCurveNode* root = c.GetDefaultTakeNode()->GetVFCurveNode();
    ASSERT_EQ(root->GetCount(), 1);
    EXPECT_STREQ(root->Get(0)->GetName(), "Weight");
    ASSERT_NE(Curve(c.GetDefaultTakeNode(), "Weight"), nullptr);
    EXPECT_EQ(Curve(c.GetDefaultTakeNode(), "Weight")->GetDefaultValue(), 100.0f);

    EXPECT_EQ(c.GetSourceCount(), 0);
    EXPECT_EQ(c.GetSource(0), nullptr);
    EXPECT_EQ(c.GetConstrainedObject(), nullptr);
    EXPECT_FALSE(c.GetActive());
    c.SetAffectRotationY(true);
    EXPECT_TRUE(c.GetAffectRotationY());
    EXPECT_TRUE(block->GetProperty(8)->GetInt()) << "the property reads the stored switch";
}

TEST(character_ConstraintParent, AddSourceAndOffsetsAcrossTakes) {
    VOxaSdkManager manager;
    VOxaConstraintParent c(&manager, "Constraint::Rig");
    ASSERT_NE(c.AddTakeNode("Walk"), nullptr);
    ASSERT_NE(c.AddTakeNode("Run"), nullptr);
    ASSERT_TRUE(c.SetCurrentTakeNode("Walk"));
    VOxaNode* hips = manager.CreateNode("Hips");

    c.AddSource(hips, 50.0);
    ASSERT_EQ(c.GetSourceCount(), 1);
    EXPECT_EQ(c.GetSource(0), hips);
    EXPECT_EQ(c.GetSource(-1), nullptr);
    EXPECT_EQ(c.GetSource(1), nullptr);
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(hips), 50.0);
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    ASSERT_EQ(block->GetPropertyCount(), 17);
    EXPECT_STREQ(block->GetProperty(14)->GetName(), "Hips.Weight");
    EXPECT_STREQ(block->GetProperty(15)->GetName(), "Hips.Offset T");
    EXPECT_STREQ(block->GetProperty(16)->GetName(), "Hips.Offset R");
    EXPECT_STREQ(block->GetProperty(14)->GetDataType()->GetName(), "Number");
    EXPECT_STREQ(block->GetProperty(16)->GetDataType()->GetName(), "Translation") << "not Rotation";
    for (int i = 14; i < 17; ++i) {
        EXPECT_TRUE(block->GetProperty(i)->IsAnimatable());
        EXPECT_TRUE(block->GetProperty(i)->HasStateFlag(kPropertyAnimated));
    }
    ExpectVector(c.GetTranslationOffset(hips), 0, 0, 0, 1);

    // Every take holds the new channels, and every weight channel the weight given.
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(c.GetTakeNodeName(t));
        VOxaTakeNode* take = c.GetTakeNode(t);
        ASSERT_NE(Curve(take, "Hips.Weight"), nullptr);
        EXPECT_EQ(Curve(take, "Hips.Weight")->GetDefaultValue(), 50.0f);
        for (const char* axis : {"X", "Y", "Z"}) {
            ASSERT_NE(Curve(take, "Hips.Offset T", axis), nullptr);
            ASSERT_NE(Curve(take, "Hips.Offset R", axis), nullptr);
            EXPECT_EQ(Curve(take, "Hips.Offset R", axis)->GetDefaultValue(), 0.0f);
        }
    }

    // Offsets: the property as doubles with w 1, the current and "Default" channels as floats,
    // "Run" untouched.
    c.SetTranslationOffset(hips, VgeTVector(1.1, -2.2, 3.3, 9.0));
    c.SetRotationOffset(hips, VgeTVector(10.7, 20.3, 30.1, 5.0));
    ExpectVector(c.GetTranslationOffset(hips), 1.1, -2.2, 3.3, 1.0);
    ExpectVector(c.GetRotationOffset(hips), 10.7, 20.3, 30.1, 1.0);
    double stored[4];
    ASSERT_EQ(block->FindProperty("Hips.Offset T")->GetValue(stored), 4);
    EXPECT_EQ(stored[3], 1.0);
    const double t[3] = {1.1, -2.2, 3.3}, r[3] = {10.7, 20.3, 30.1};
    const char* axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        for (VOxaTakeNode* take : {c.GetTakeNode(0), c.GetTakeNode(1)}) {
            EXPECT_EQ(Curve(take, "Hips.Offset T", axes[a])->GetDefaultValue(), (float)t[a]);
            EXPECT_EQ(Curve(take, "Hips.Offset R", axes[a])->GetDefaultValue(), (float)r[a]);
        }
        EXPECT_EQ(Curve(c.GetTakeNode(2), "Hips.Offset T", axes[a])->GetDefaultValue(), 0.0f);
        EXPECT_EQ(Curve(c.GetTakeNode(2), "Hips.Offset R", axes[a])->GetDefaultValue(), 0.0f);
    }
    c.SetWeight(42.5);
    EXPECT_EQ(Curve(c.GetTakeNode(1), "Weight")->GetDefaultValue(), 42.5f);
    EXPECT_EQ(Curve(c.GetTakeNode(2), "Weight")->GetDefaultValue(), 100.0f);

    // A re-added source gets numbered duplicates; the plain-named properties keep their values.
    c.AddSource(hips, 70.0);
    EXPECT_EQ(block->GetPropertyCount(), 20);
    EXPECT_STREQ(block->GetProperty(17)->GetName(), "Hips.Weight 1");
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(hips), 70.0) << "the weight goes to the plain name";
}

TEST(character_ConstraintParent, SourcesRenamedBeforeAndAfterAdding) {
    VOxaSdkManager manager;
    VOxaConstraintParent c(&manager, "Constraint::Rig");
    VOxaNode* leg = manager.CreateNode("Leg");
    leg->SetName("Thigh");
    c.AddSource(leg, 20.0);
    EXPECT_NE(c.GetPropertyHandler()->FindProperty("Thigh.Weight"), nullptr);
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(leg), 20.0) << "found under the current name";
    c.SetTranslationOffset(leg, VgeTVector(1, 2, 3, 1));
    ExpectVector(c.GetTranslationOffset(leg), 1, 2, 3, 1);

    VOxaNode* arm = manager.CreateNode("Arm");
    c.AddSource(arm, 30.0);
    c.SetRotationOffset(arm, VgeTVector(4, 5, 6, 1));
    arm->SetName("Wing");
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(arm), 30.0) << "found under the initial name";
    c.SetRotationOffset(arm, VgeTVector(7, 8, 9, 1));
    ExpectVector(c.GetRotationOffset(arm), 4, 5, 6, 1);  // the setter no longer reaches it

    VOxaNode* stranger = manager.CreateNode("Stranger");
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(stranger), 100.0);
    ExpectVector(c.GetTranslationOffset(stranger), 0, 0, 0, 1);
}

TEST(character_ConstraintParent, BadInputAndMissingProperties) {
    VOxaSdkManager manager;
    VOxaConstraintParent c(&manager, "Constraint::Rig");
    VOxaPropertyHandler* block = c.GetPropertyHandler();
    const int count = block->GetPropertyCount();
    VOxaObject blockless(&manager, "Thing");
    c.AddSource(nullptr, 1.0);
    c.AddSource(&blockless, 1.0);
    EXPECT_EQ(c.GetSourceCount(), 0);
    EXPECT_EQ(block->GetPropertyCount(), count);
    c.SetTranslationOffset(nullptr, VgeTVector(1, 1, 1, 1));
    ExpectVector(c.GetRotationOffset(nullptr), 0, 0, 0, 1);
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(nullptr), 100.0);

    // An entry that is not a property block answers null.
    VObject plain;
    auto* parents = static_cast<VPropertyObjectList*>(block->FindProperty("Source (Parent)"));
    ASSERT_TRUE(parents->Add(&plain));
    EXPECT_EQ(c.GetSourceCount(), 1);
    EXPECT_EQ(c.GetSource(0), nullptr);
    parents->Remove(&plain);

    // A block that lacks the per-source properties (as read from a file).
    VOxaNode* hips = manager.CreateNode("Hips");
    c.AddSource(hips, 50.0);
    c.SetTranslationOffset(hips, VgeTVector(1, 2, 3, 1));
    c.GetPropertyHandler()->RemoveProperty(block->FindProperty("Hips.Weight"));
    c.GetPropertyHandler()->RemoveProperty(block->FindProperty("Hips.Offset T"));
    c.GetPropertyHandler()->RemoveProperty(block->FindProperty("Weight"));
    EXPECT_DOUBLE_EQ(c.GetSourceWeight(hips), 100.0);
    ExpectVector(c.GetTranslationOffset(hips), 0, 0, 0, 1);
    c.SetTranslationOffset(hips, VgeTVector(5, 5, 5, 1));
    c.SetWeight(3.0);
    EXPECT_EQ(block->FindProperty("Hips.Offset T"), nullptr) << "setters create nothing";
    EXPECT_EQ(block->FindProperty("Weight"), nullptr);
}
