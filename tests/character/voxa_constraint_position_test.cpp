#include "character/voxa_constraint_position.h"

#include <gtest/gtest.h>

#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/voxa_user_property.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

VFCurve* Channel(VOxaTakeNode* take, const char* name, const char* component = nullptr) {
    VFCurveNode* node = take ? take->GetVFCurveNode()->FindChild(name) : nullptr;
    if (node && component) node = node->FindChild(component);
    return node ? node->FCurveGet() : nullptr;
}

float DefaultOf(VOxaTakeNode* take, const char* name, const char* component = nullptr) {
    VFCurve* curve = Channel(take, name, component);
    return curve ? curve->GetDefaultValue() : -12345.0f;
}

}  // namespace

TEST(character_ConstraintPosition, PropertyListAndStartingChannels) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    ASSERT_NE(constraint, nullptr);
    EXPECT_STREQ(constraint->GetName(), "Constraint::Pin");
    EXPECT_STREQ(constraint->GetTypeName().Buffer(), "Position From Positions");
    EXPECT_EQ(constraint->GetConstraintType(), 1);
    VOxaPropertyHandler* block = constraint->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), constraint);
    EXPECT_TRUE(block->IsA(VOxaConstraintPositionProperties::ClassId));
    EXPECT_TRUE(block->IsA(VOxaConstraintProperty::ClassId));

    struct Row {
        const char* name;
        int valueType;
        bool animatable;
        int plugFlags;  // -1: not a list
        int maxCount;
    };
    const Row table[] = {
        {"Active", 2, false, -1, 0},
        {"Lock", 2, false, -1, 0},
        {"Constrained Object", 9, false, 0x2, 1},
        {"Source", 9, false, 0x1, -1},
        {"AffectX", 2, false, -1, 0},
        {"AffectY", 2, false, -1, 0},
        {"AffectZ", 2, false, -1, 0},
        {"Translation", 13, true, -1, 0},
        {"Weight", 4, true, -1, 0},
    };
    ASSERT_EQ(block->GetPropertyCount(), 9);
    for (int i = 0; i < 9; ++i) {
        VProperty* p = block->GetProperty(i);
        SCOPED_TRACE(table[i].name);
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p->GetName(), table[i].name);
        EXPECT_EQ(p->GetValueType(), table[i].valueType);
        EXPECT_EQ(p->IsAnimatable(), table[i].animatable);
        EXPECT_EQ(p->HasStateFlag(0x8), table[i].animatable);
        if (table[i].plugFlags >= 0) {
            auto* list = static_cast<VPropertyObjectList*>(p);
            EXPECT_EQ(p->GetFlags() & 0x7, table[i].plugFlags);
            EXPECT_EQ(list->GetMaxCount(), table[i].maxCount);
        }
    }
    EXPECT_STREQ(block->GetProperty(7)->GetDataType()->GetName(), "Vector");
    EXPECT_STREQ(block->GetProperty(8)->GetDataType()->GetName(), "Weight");

    // One "Default" take with the offset and weight channels, linked to the properties.
    ASSERT_EQ(constraint->GetTakeNodeCount(), 1);
    VOxaTakeNode* take = constraint->GetDefaultTakeNode();
    EXPECT_EQ(take->GetVFCurveNode()->GetCount(), 2);
    EXPECT_FLOAT_EQ(DefaultOf(take, "Weight"), 100.0f);
    for (const char* c : {"X", "Y", "Z"})
        EXPECT_FLOAT_EQ(DefaultOf(take, "Translation", c), 0.0f);
    EXPECT_EQ(Channel(take, "Active"), nullptr) << "switches are not animated";

    // Starting state and fallbacks.
    EXPECT_EQ(constraint->GetSourceCount(), 0);
    EXPECT_EQ(constraint->GetSource(0), nullptr);
    EXPECT_EQ(constraint->GetSource(-1), nullptr);
    EXPECT_EQ(constraint->GetConstrainedObject(), nullptr);
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(nullptr), 100.0);
    VgeTVector offset = constraint->GetOffset();
    EXPECT_EQ(offset, VgeTVector(0, 0, 0, 1));
    EXPECT_FALSE(constraint->GetActive());
}

TEST(character_ConstraintPosition, AddSourceReachesEveryTake) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    ASSERT_NE(constraint->AddTakeNode("Walk"), nullptr);
    ASSERT_NE(constraint->AddTakeNode("Run"), nullptr);
    ASSERT_TRUE(constraint->SetCurrentTakeNode("Walk"));
    VOxaNode* hips = manager.CreateNode("Hips");
    constraint->AddSource(hips, 50.0);
    EXPECT_EQ(constraint->GetSourceCount(), 1);
    EXPECT_EQ(constraint->GetSource(0), hips);
    VProperty* weight = constraint->GetPropertyHandler()->GetProperty(9);
    ASSERT_NE(weight, nullptr) << "placed after \"Weight\"";
    EXPECT_STREQ(weight->GetName(), "Hips.Weight");
    EXPECT_STREQ(weight->GetDataType()->GetName(), "Number");
    EXPECT_TRUE(weight->IsAnimatable());
    EXPECT_DOUBLE_EQ(weight->GetDouble(), 50.0);
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(hips), 50.0);
    for (int t = 0; t < 3; ++t) {
        EXPECT_FLOAT_EQ(DefaultOf(constraint->GetTakeNode(t), "Hips.Weight"), 50.0f)
            << "every take's new channel holds the weight, take " << t;
    }
    // The "Default" channel is linked to the property; the other takes' are not.
    Channel(constraint->GetTakeNode(1), "Hips.Weight")->SetDefaultValue(7.0f);
    EXPECT_DOUBLE_EQ(weight->GetDouble(), 50.0);
    Channel(constraint->GetTakeNode(0), "Hips.Weight")->SetDefaultValue(75.0f);
    EXPECT_DOUBLE_EQ(weight->GetDouble(), 75.0);
    // A later take copies the default one.
    ASSERT_NE(constraint->AddTakeNode("Late"), nullptr);
    EXPECT_FLOAT_EQ(DefaultOf(constraint->GetTakeNode(3), "Hips.Weight"), 75.0f);

    // Null and block-less objects change nothing.
    int count = constraint->GetPropertyHandler()->GetPropertyCount();
    constraint->AddSource(nullptr, 1.0);
    constraint->AddSource(constraint, 1.0);  // a constraint is a block owner: accepted as a source
    EXPECT_EQ(constraint->GetPropertyHandler()->GetPropertyCount(), count + 1);
}

TEST(character_ConstraintPosition, SettersWriteCurrentAndDefaultTakesOnly) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    constraint->AddTakeNode("Walk");
    constraint->AddTakeNode("Run");
    ASSERT_TRUE(constraint->SetCurrentTakeNode("Walk"));
    VOxaTakeNode* def = constraint->GetTakeNode(0);
    VOxaTakeNode* walk = constraint->GetTakeNode(1);
    VOxaTakeNode* run = constraint->GetTakeNode(2);

    const double w = 33.3333333333;
    constraint->SetWeight(w);
    EXPECT_DOUBLE_EQ(constraint->GetPropertyHandler()->FindProperty("Weight")->GetDouble(), w);
    EXPECT_EQ(DefaultOf(def, "Weight"), (float)w);
    EXPECT_EQ(DefaultOf(walk, "Weight"), (float)w);
    EXPECT_EQ(DefaultOf(run, "Weight"), 100.0f) << "other takes unchanged";

    const double x = 0.1, y = -2.7182818, z = 1e7 + 0.3;
    constraint->SetOffset(VgeTVector(x, y, z, 7.0));
    double stored[4] = {0, 0, 0, 0};
    constraint->GetPropertyHandler()->FindProperty("Translation")->GetValue(stored);
    EXPECT_EQ(stored[0], x);
    EXPECT_EQ(stored[1], y);
    EXPECT_EQ(stored[2], z);
    EXPECT_EQ(stored[3], 1.0) << "w forced to 1";
    EXPECT_EQ(constraint->GetOffset(), VgeTVector(x, y, z, 1.0));
    const char* axes[] = {"X", "Y", "Z"};
    const double values[] = {x, y, z};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(DefaultOf(def, "Translation", axes[k]), (float)values[k]);
        EXPECT_EQ(DefaultOf(walk, "Translation", axes[k]), (float)values[k]);
        EXPECT_EQ(DefaultOf(run, "Translation", axes[k]), 0.0f);
    }

    // The switches store without notification: no channel, no handle traffic; read back.
    int handles = manager.GetUserPropertyCount();
    constraint->SetActive(true);
    constraint->SetLock(true);
    constraint->SetAffectY(true);
    EXPECT_TRUE(constraint->GetActive());
    EXPECT_TRUE(constraint->GetLock());
    EXPECT_FALSE(constraint->GetAffectX());
    EXPECT_TRUE(constraint->GetAffectY());
    EXPECT_DOUBLE_EQ(constraint->GetPropertyHandler()->FindProperty("Active")->GetDouble(), 1.0);
    EXPECT_EQ(manager.GetUserPropertyCount(), handles);
}

TEST(character_ConstraintPosition, SourceAndDestinationLists) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    auto* block = static_cast<VOxaConstraintPositionProperties*>(constraint->GetPropertyHandler());
    VOxaNode* a = manager.CreateNode("A");
    VOxaNode* b = manager.CreateNode("B");
    VOxaNode* c = manager.CreateNode("C");

    constraint->SetConstrainedObject(a);
    constraint->SetConstrainedObject(b);
    EXPECT_EQ(constraint->GetConstrainedObject(), b) << "set at 0 replaces the entry";
    EXPECT_EQ(block->GetConstrainedObjectList().GetCount(), 1);
    // The constrained object's block is a destination of the list; the sources' blocks are
    // sources of the source list.
    EXPECT_EQ(block->GetConstrainedObjectList().GetDstCount(), 1);
    EXPECT_EQ(block->GetConstrainedObjectList().GetSrcCount(), 0);
    constraint->SetConstrainedObject(nullptr);
    EXPECT_EQ(constraint->GetConstrainedObject(), b);

    constraint->AddSource(a, 10);
    constraint->AddSource(c, 20);
    EXPECT_EQ(block->GetSourceList().GetSrcCount(), 2);
    EXPECT_EQ(block->GetSourceList().GetDstCount(), 0);
    EXPECT_EQ(constraint->GetSource(1), c);

    EXPECT_FALSE(constraint->RemoveSource(nullptr));
    EXPECT_TRUE(constraint->RemoveSource(b)) << "not a source: true, nothing changes";
    EXPECT_EQ(constraint->GetSourceCount(), 2);
    EXPECT_FALSE(constraint->RemoveSource(2));
    EXPECT_FALSE(constraint->RemoveSource(-1));
    EXPECT_TRUE(constraint->RemoveSource(0));
    EXPECT_EQ(constraint->GetSourceCount(), 1);
    EXPECT_EQ(constraint->GetSource(0), c);
    EXPECT_NE(block->FindProperty("A.Weight"), nullptr) << "the weight property stays";

    // Re-adding gives a numbered duplicate; the weight goes to the plain name.
    int count = block->GetPropertyCount();
    constraint->AddSource(a, 70);
    EXPECT_EQ(block->GetPropertyCount(), count + 1);
    EXPECT_STRNE(block->GetProperty(count)->GetName(), "A.Weight");
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(a), 70.0);
}

TEST(character_ConstraintPosition, SourcesRenamedBeforeAndAfterAdding) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    VOxaNode* before = manager.CreateNode("Old");
    before->SetName("New");
    constraint->AddSource(before, 40);
    EXPECT_NE(constraint->GetPropertyHandler()->FindProperty("New.Weight"), nullptr);
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(before), 40.0);

    VOxaNode* after = manager.CreateNode("Arm");
    constraint->AddSource(after, 60);
    after->SetName("Leg");
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(after), 60.0) << "found under the initial name";
    VOxaNode* stranger = manager.CreateNode("Stranger");
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(stranger), 100.0);
}

TEST(character_ConstraintPosition, MissingPropertiesFallBack) {
    VOxaSdkManager manager;
    auto* constraint = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pin", 1));
    VOxaPropertyHandler* block = constraint->GetPropertyHandler();
    // A block read from a file may lack its created properties.
    for (const char* name : {"Translation", "Weight"}) {
        VOxaUserProperty* handle = constraint->FindUserPropertyByProperty(block->FindProperty(name));
        ASSERT_NE(handle, nullptr) << name;
        // Its own handle stays; the property goes from the block.
        ASSERT_FALSE(constraint->RemoveUserProperty(handle)) << name;
        ASSERT_TRUE(block->DestroyProperty(handle)) << name;
        ASSERT_EQ(block->FindProperty(name), nullptr) << name;
    }
    EXPECT_EQ(constraint->GetOffset(), VgeTVector(0, 0, 0, 1));
    constraint->SetOffset(VgeTVector(1, 2, 3, 4));
    constraint->SetWeight(5);
    EXPECT_EQ(constraint->GetOffset(), VgeTVector(0, 0, 0, 1));
    EXPECT_EQ(block->FindProperty("Weight"), nullptr);

    // A file may give a source weight a vector type: its first component is read, nothing
    // overruns.
    VOxaNode* hand = manager.CreateNode("Hand");
    VProperty* odd = block->CreateProperty("Hand.Weight", "Vector");
    ASSERT_NE(odd, nullptr);
    const double v[4] = {7.0, 8.0, 9.0, 1.0};
    odd->SetValue(v);
    EXPECT_DOUBLE_EQ(constraint->GetSourceWeight(hand), 7.0);
}
