#include "character/voxa_character.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/fcurve_node.h"
#include "character/voxa_character_pose.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_control_set_plug.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

struct character_Character : ::testing::Test {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaCharacter* character = scene->GetCharacter(scene->CreateCharacter("Hero"));
    VOxaCharacterProperties* block = character->GetProperties();
    VOxaCharacterParameterStore* store = character->GetParameterStore();

    VProperty* P(const char* name) { return block->FindProperty(name); }
    int Param(const char* name) { return VOxaCharacterParameterStore::FindParameter(name); }
    VOxaCharacterLink LinkTo(VOxaNode* node) {
        VOxaCharacterLink link;
        link.mNode = node;
        return link;
    }
    bool HasLink(VOxaNode* node, int id) { return node->FindCharacterLink(character, 0, id, 0) >= 0; }
};

// The store entries of the property table, written out independently: property name,
// parameter name, mode (true) or value.
struct Entry {
    const char* property;
    const char* parameter;
    bool mode;
};

}  // namespace

TEST_F(character_Character, IdentityAndScene) {
    EXPECT_STREQ(character->GetName(), "Constraint::Hero");
    EXPECT_EQ(character->GetTypeCode(), 8);
    EXPECT_EQ(character->GetConstraintType(), 7);
    EXPECT_STREQ(character->GetTypeName().Buffer(), "Character");
    ASSERT_EQ(character->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(character->GetTypeFlags()[0], "Character");
    EXPECT_EQ(VOxaConstraint::GetClassIdOfType(7), VOxaCharacterProperties::ClassId);
    EXPECT_TRUE(block->IsA(VOxaConstraintProperty::ClassId));
    EXPECT_EQ(block->GetOwner(), character);
    EXPECT_EQ(character->GetSceneContents(), scene->GetContents());
    EXPECT_EQ(character->GetTakeNodeCount(), 1);

    // Constraints and characters are counted together.
    VOxaConstraint* aim = manager.CreateConstraint("Aim", 6);
    EXPECT_TRUE(scene->AddConstraint(aim));
    EXPECT_EQ(aim->GetSceneContents(), scene->GetContents()) << "the scene's add sets the association";
    EXPECT_EQ(scene->GetConstraintCount(), 2);
    EXPECT_EQ(scene->GetConstraintCount(7), 1);
    EXPECT_EQ(scene->GetCharacterCount(), 1);
    EXPECT_FALSE(aim->GetPropertyHandler()->IsA(VOxaCharacterProperties::ClassId));
    EXPECT_EQ(scene->GetConstraint(0), character);
    EXPECT_EQ(scene->GetConstraint(1), aim);
    EXPECT_EQ(manager.GetConstraintCountByType(7), 1);
    EXPECT_EQ(scene->GetCharacter(1), nullptr);

    EXPECT_TRUE(scene->DestroyCharacter(0));
    EXPECT_EQ(scene->GetCharacterCount(), 0);
    EXPECT_EQ(scene->GetConstraintCount(), 1);
    EXPECT_FALSE(scene->DestroyCharacter(0));
    EXPECT_FALSE(manager.DestroyObject(character)) << "gone already";
    // A character made by the manager is destroyed by it.
    VOxaCharacter* loose = manager.CreateCharacter("Loose");
    EXPECT_TRUE(manager.DestroyObject(loose));
}

TEST_F(character_Character, PropertyListAndDefaults) {
    ASSERT_EQ(block->GetPropertyCount(), 191 + 187 + 5);
    const char* first[] = {"Active", "Lock", "Weight", "PullIterationCount", "Posture"};
    for (int i = 0; i < 5; ++i)
        EXPECT_STREQ(block->GetProperty(i)->GetName(), first[i]);
    EXPECT_STREQ(block->GetProperty(190)->GetName(), "ContactBehaviour");
    EXPECT_STREQ(block->GetProperty(191)->GetName(), "HipsLink");
    EXPECT_EQ(static_cast<VPropertyObjectList*>(block->GetProperty(191))->GetUserValue(), 0);
    VProperty* reference = P("ReferenceLink");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(static_cast<VPropertyObjectList*>(reference)->GetUserValue(), 67);
    const char* lists[] = {"SourceObject", "DestinationObject", "Actor", "Character", "ControlSet"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(block->GetProperty(191 + 187 + i)->GetName(), lists[i]);
        EXPECT_EQ(block->GetProperty(191 + 187 + i)->GetValueType(), 9);
    }

    int animatable = 0, readOnly = 0;
    for (int i = 0; i < 191; ++i) {
        VProperty* p = block->GetProperty(i);
        EXPECT_EQ(p, block->GetValueProperty(i));
        if (p->IsAnimatable()) {
            ++animatable;
            EXPECT_TRUE(p->HasStateFlag(kPropertyAnimated));
            EXPECT_TRUE(p->GetValueType() == 4 || p->GetValueType() == 13) << p->GetName();
        }
        if (p->IsReadOnly()) ++readOnly;
    }
    EXPECT_EQ(animatable, 100);
    EXPECT_EQ(readOnly, 75);
    EXPECT_TRUE(P("SyncMode")->HasStateFlag(kPropertyState1));
    EXPECT_FALSE(P("FingerSolving")->HasStateFlag(kPropertyState1));

    EXPECT_TRUE(block->GetActive());
    EXPECT_EQ(block->GetWeight(), 100.0);
    EXPECT_EQ(block->GetPullIterationCount(), 10.0);
    EXPECT_EQ(block->GetScaleCompensation(), 100.0);
    EXPECT_EQ(block->GetScaleCompensationMode(), kCharacterAuto);
    EXPECT_EQ(block->GetLeftUpLegRoll(), (double)(0.6f * 100.0f));
    EXPECT_FALSE(block->GetLeftUpLegRollMode());
    EXPECT_TRUE(block->GetSyncMode());
    EXPECT_TRUE(block->GetFingerSolving());
    EXPECT_EQ(block->GetFootFingerContactMode(), kCharacterFingerSpread);
    EXPECT_EQ(block->GetAnkleStabilizationDampingMode(), kCharacterOff);
    EXPECT_EQ(block->GetCtrlResistLeftKnee(), 50.0);
    VgeTVector offset = block->GetHipsTOffset();
    EXPECT_EQ(offset[0], 0.0);
    EXPECT_EQ(offset[3], 1.0);
    EXPECT_EQ(block->GetFootBottomToAnkle(), 7.5);
    EXPECT_EQ(block->GetLeftHandThumbTip(), 0.5);

    // Enumeration names per property.
    EXPECT_STREQ(P("HandFloorPivot")->GetInfo().GetEnumName(2), "Fingers");
    EXPECT_STREQ(P("FootFloorPivot")->GetInfo().GetEnumName(2), "Toes");
    EXPECT_EQ(P("FootFloorPivot")->GetInfo().GetEnumName(3), nullptr);
    EXPECT_STREQ(P("FootFingerContactMode")->GetInfo().GetEnumName(2), "Sticky & Spread");
    EXPECT_STREQ(P("HandContactType")->GetInfo().GetEnumName(1), "Wrist");
    EXPECT_STREQ(P("ContactBehaviour")->GetInfo().GetEnumName(1), "Sync On Key");
    EXPECT_EQ(P("Posture")->GetValueType(), 6);

    // The take "Default" has a channel per animatable property.
    VFCurveNode* root = character->GetDefaultTakeNode()->GetVFCurveNode();
    EXPECT_NE(root->FindChild("Weight"), nullptr);
    EXPECT_NE(root->FindChild("HipsTOffset"), nullptr);
    EXPECT_EQ(root->FindChild("PullIterationCount"), nullptr);
}

TEST_F(character_Character, StoreBindingMatchesTheTable) {
    const Entry entries[] = {
        {"PullIterationCount", "PullIterationCount", false},
        {"Posture", "Posture", false},
        {"ForceActorSpace", "ForceActorSpace", true},
        {"ScaleCompensationMode", "ScaleCompensation", true},
        {"MassCenterCompensation", "MassCenterCompensation", false},
        {"ReachActorLeftAnkleRotation", "ReachActorLeftAnkleRotationRotation", false},
        {"RollExtractionMode", "RollExtractionMode", false},
        {"FootFloorContact", "FloorContact", true},
        {"FootFloorPivot", "FloorPivot", false},
        {"FootContactSize", "ContactSize", false},
        {"FootContactStiffness", "ParamFootContactStiffness", false},
        {"HandFingerContactRollStiffness", "ParamHandFingerContactRollStiffness", false},
        {"CtrlSpineStiffness", "ParamCtrlSpineStiffness", false},
        {"MirrorMode", "Mirror", true},
        {"ShoulderCorrection", "ShoulderCorrection", false},
        {"WriteReference", "WriteReference", true},
        {"SyncMode", "SyncMode", true},
        {"OrientationDamping", "Orientation", false},
        {"DisplacementMemoryMode", "DisplacementMemory", true},
        {"AnkleStabilizationRecoveryTimeMode", "AnkleStabilizationRecoveryTime", true},
        {"FingerSolving", "FingerSolving", true},
        {"FootContactType", "FootContactType", false},
        {"ContactBehaviour", "ContactBehaviour", false},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.property);
        int index = -1;
        for (int i = 0; i < 191; ++i)
            if (std::string(block->GetProperty(i)->GetName()) == e.property) index = i;
        ASSERT_GE(index, 0);
        bool isMode = !e.mode;
        EXPECT_EQ(VOxaCharacterProperties::GetBoundParameter(index, 0, &isMode), Param(e.parameter));
        EXPECT_EQ(isMode, e.mode);
    }
    EXPECT_EQ(VOxaCharacterProperties::GetBoundParameter(0, 0, nullptr), -1) << "Active";
    EXPECT_EQ(VOxaCharacterProperties::GetBoundParameter(45, 2, nullptr), Param("HipsTOffsetZ"));
    EXPECT_EQ(VOxaCharacterProperties::GetBoundParameter(46, 1, nullptr), Param("ChestTOffsetY"));
    // 188 bound properties, and every parameter but nine is bound by exactly one of them.
    int bound = 0;
    std::vector<int> uses(177, 0);
    for (int i = 0; i < 191; ++i) {
        if (VOxaCharacterProperties::GetBoundParameter(i, 0, nullptr) >= 0) ++bound;
        for (int c = 0; c < 3; ++c) {
            int p = VOxaCharacterProperties::GetBoundParameter(i, c, nullptr);
            if (p >= 0) ++uses[p];
        }
    }
    EXPECT_EQ(bound, 188);
    int unbound = 0;
    for (int p = 0; p < 177; ++p) {
        if (uses[p] == 0) ++unbound;
        EXPECT_LE(uses[p], 2) << VOxaCharacterParameterStore::GetParameterName(p);
    }
    EXPECT_EQ(unbound, 9);
}

TEST_F(character_Character, StoreFlows) {
    // Clamps of the setter, written through to the store.
    P("PullIterationCount")->SetDouble(45.0);
    EXPECT_EQ(block->GetPullIterationCount(), 30.0);
    EXPECT_EQ(store->GetValue(Param("PullIterationCount")), 30.0);
    P("PullIterationCount")->SetDouble(-1.0);
    EXPECT_EQ(store->GetValue(Param("PullIterationCount")), 0.0);
    P("FootBottomToAnkle")->SetDouble(0.0);
    EXPECT_EQ(store->GetValue(Param("FootBottomToAnkle")), 0.01);
    P("FootBottomToAnkle")->SetDouble(5000.0);
    EXPECT_EQ(block->GetFootBottomToAnkle(), 1000.0);
    EXPECT_EQ(store->GetValue(Param("FootBottomToAnkle")), 1000.0);
    P("RightFootPinkyTip")->SetDouble(2000.0);
    EXPECT_EQ(store->GetValue(Param("RightFootPinkyTip")), 1000.0);
    // Animatable ones keep their value.
    P("ScaleCompensation")->SetDouble(50.0);
    EXPECT_EQ(block->GetScaleCompensation(), 50.0);
    EXPECT_EQ(store->GetValue(Param("ScaleCompensation")), 100.0);
    // Modes: accepted ones go through, refused ones stay in the property only.
    P("ScaleCompensationMode")->SetInt(2);
    EXPECT_EQ(store->GetMode(Param("ScaleCompensation")), 2);
    P("ScaleCompensationMode")->SetInt(5);
    EXPECT_EQ(P("ScaleCompensationMode")->GetInt(), 5);
    EXPECT_EQ(store->GetMode(Param("ScaleCompensation")), 2);
    P("MirrorMode")->SetInt(1);
    EXPECT_EQ(store->GetMode(Param("Mirror")), 1);
    P("Posture")->SetInt(1);
    EXPECT_EQ(store->GetValue(Param("Posture")), 1.0);
    block->SetHandFloorPivot(kCharacterFloorPivot2);
    EXPECT_EQ(store->GetValue(Param("HandFloorPivot")), 2.0);
    // "keeps" without a store: nothing written anywhere else.
    P("Weight")->SetDouble(-7.0);
    EXPECT_EQ(block->GetWeight(), -7.0);

    // The initial load: a store changed beforehand shows in a reloaded block, each offset
    // component from its own parameter.
    const char* offsets[] = {"HipsTOffsetX",  "HipsTOffsetY",  "HipsTOffsetZ",
                             "ChestTOffsetX", "ChestTOffsetY", "ChestTOffsetZ"};
    for (int k = 0; k < 6; ++k)
        store->SetValue(Param(offsets[k]), 3.0 + k);
    store->SetValue(Param("Damping"), 33.0);
    store->SetMode(Param("Orientation"), 2);
    store->SetValue(Param("FloorPivot"), 2.9);
    block->LoadFromParameterStore();
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(block->GetHipsTOffset()[c], 3.0 + c) << c;
        EXPECT_EQ(block->GetChestTOffset()[c], 6.0 + c) << c;
    }
    EXPECT_EQ(block->GetChestTOffset()[3], 1.0);
    EXPECT_EQ(block->GetDamping(), 33.0);
    EXPECT_EQ(block->GetOrientationDampingMode(), kCharacterUser);
    EXPECT_EQ(block->GetFootFloorPivot(), 2) << "values truncate toward zero";
}

// The parameter rows against the properties bound to them: a mode shown as a bool is an on/off
// switch, one shown with three names a three-state mode, one with two names a two-state mode;
// a value shown as an enumeration is a choice whose bounds run over its names; and each
// property starts at its parameter's default (unit-1 rows as percentages).
TEST_F(character_Character, BoundRowsAgreeWithTheirProperties) {
    using Store = VOxaCharacterParameterStore;
    int modes = 0, choices = 0, percentages = 0;
    for (int i = 0; i < 191; ++i) {
        bool isMode = false;
        int p = VOxaCharacterProperties::GetBoundParameter(i, 0, &isMode);
        if (p < 0) continue;
        VProperty* property = block->GetValueProperty(i);
        SCOPED_TRACE(property->GetName());
        int names = 0;
        while (names < 8 && property->GetInfo().GetEnumName(names))
            ++names;
        int type = Store::GetParameterModeType(p);
        int unit = Store::GetParameterUnit(p);
        if (isMode) {
            ++modes;
            if (property->GetValueType() == eValueBool) {
                EXPECT_EQ(type, 1);
                EXPECT_EQ(property->GetInt() != 0, store->GetMode(p) != 0);
            } else {
                ASSERT_EQ(property->GetValueType(), eValueEnum);
                EXPECT_EQ(type, names == 3 ? 2 : names == 2 ? 3 : -1);
                EXPECT_EQ(property->GetInt(), store->GetMode(p));
            }
            continue;
        }
        EXPECT_NE(unit, 0) << "a switch has no value to show";
        if (property->GetValueType() == eValueEnum) {
            ++choices;
            EXPECT_EQ(unit, 5);
            EXPECT_EQ(Store::GetParameterMin(p), 0.0);
            EXPECT_EQ(Store::GetParameterMax(p), (double)names);
            continue;
        }
        EXPECT_NE(unit, 5);
        if (property->GetValueType() != eValueNumber) continue;  // the offset vectors
        EXPECT_EQ(property->GetDouble(), store->GetValue(p));
        EXPECT_EQ(property->GetDouble(), Store::GetParameterDefaultValue(p));
        if (unit == 1) ++percentages;
    }
    EXPECT_EQ(modes, 40);
    EXPECT_EQ(choices, 10);
    EXPECT_EQ(percentages, 78);
    // A few percentages as the property table gives them.
    EXPECT_EQ(block->GetCtrlPullLeftFoot(), 100.0);
    EXPECT_EQ(block->GetCtrlEnforceGravity(), (double)(0.6f * 100.0f));
    EXPECT_EQ(block->GetCtrlResistRightKnee(), 50.0);
    EXPECT_EQ(block->GetCtrlResistChestPosition(), 0.0);
    EXPECT_EQ(block->GetReachActorLeftAnkleRotation(), 100.0);
    EXPECT_FALSE(block->GetHandAutomaticFingers());
}

TEST_F(character_Character, LinksNodesAndLinkPropertiesInStep) {
    for (int id = 0; id < 191; ++id)
        EXPECT_FALSE(character->GetCharacterLink(id, nullptr));
    VOxaCharacterLink named;
    named.mTemplateName = "OnlyAName";
    EXPECT_TRUE(character->SetCharacterLink(3, named));
    EXPECT_TRUE(character->GetCharacterLink(3, nullptr));
    EXPECT_FALSE(character->SetCharacterLink(191, named));
    EXPECT_FALSE(character->SetCharacterLink(-1, named));
    EXPECT_FALSE(character->GetCharacterLink(191, nullptr));

    VOxaNode* a = manager.CreateNode("A");
    VOxaNode* b = manager.CreateNode("B");
    auto* hipsLink = static_cast<VPropertyObjectList*>(P("HipsLink"));
    // By SetCharacterLink: slot, node list and property.
    character->SetCharacterLink(0, LinkTo(a), true);
    EXPECT_TRUE(HasLink(a, 0));
    ASSERT_EQ(hipsLink->GetCount(), 1);
    EXPECT_EQ(hipsLink->GetAt(0), a->GetPropertyHandler());
    // A move from A to B.
    character->SetCharacterLink(0, LinkTo(b), true);
    EXPECT_FALSE(HasLink(a, 0));
    EXPECT_TRUE(HasLink(b, 0));
    EXPECT_EQ(a->GetCharacterLinkCount(), 0);
    EXPECT_EQ(b->GetCharacterLinkCount(), 1);
    ASSERT_EQ(hipsLink->GetCount(), 1);
    EXPECT_EQ(hipsLink->GetAt(0), b->GetPropertyHandler());
    VOxaCharacterLink out;
    ASSERT_TRUE(character->GetCharacterLink(0, &out));
    EXPECT_EQ(out.mNode, b);
    character->SetCharacterLink(0, VOxaCharacterLink(), true);
    EXPECT_EQ(hipsLink->GetCount(), 0);
    EXPECT_EQ(b->GetCharacterLinkCount(), 0);

    // By connecting: the property's notification sets the slot and the node's list.
    auto* leftUpLeg = static_cast<VPropertyObjectList*>(P("LeftUpLegLink"));
    leftUpLeg->Add(a->GetPropertyHandler());
    ASSERT_TRUE(character->GetCharacterLink(1, &out));
    EXPECT_EQ(out.mNode, a);
    EXPECT_TRUE(HasLink(a, 1));
    // Another block arriving and leaving again does not take A's place away for good.
    leftUpLeg->Add(b->GetPropertyHandler());
    leftUpLeg->Remove(a->GetPropertyHandler());
    ASSERT_TRUE(character->GetCharacterLink(1, &out));
    EXPECT_EQ(out.mNode, b);
    leftUpLeg->Remove(b->GetPropertyHandler());
    EXPECT_FALSE(character->GetCharacterLink(1, nullptr));
    EXPECT_EQ(b->GetCharacterLinkCount(), 0);
    // Something that is not a node gives the link no node.
    VOxaConstraint* aim = manager.CreateConstraint("Aim", 6);
    leftUpLeg->Add(aim->GetPropertyHandler());
    EXPECT_FALSE(character->GetCharacterLink(1, nullptr));

    // Destroying a linked node leaves the slot, the list and the property empty.
    character->SetCharacterLink(2, LinkTo(a), true);
    manager.DestroyNode(a);
    EXPECT_FALSE(character->GetCharacterLink(2, nullptr));
    EXPECT_EQ(static_cast<VPropertyObjectList*>(P("LeftLegLink"))->GetCount(), 0);
    // Destroying the character: the nodes forget it.
    character->SetCharacterLink(4, LinkTo(b), false);
    character->GetControlSet()->SetEffector(1, b, true, false, false, false, false);
    EXPECT_EQ(b->GetCharacterLinkCount(), 2);
    EXPECT_TRUE(scene->DestroyCharacter(0));
    EXPECT_EQ(b->GetCharacterLinkCount(), 0);
}

TEST_F(character_Character, InputAndControlSetProperty) {
    EXPECT_EQ(character->GetInputType(), VOxaCharacter::eInputNone);
    EXPECT_EQ(character->GetInputObject(), nullptr);
    VOxaCharacter* other = scene->GetCharacter(scene->CreateCharacter("Other"));
    VOxaNode* node = manager.CreateNode("N");
    character->SetInput(2, other);  // a character is no control-set plug
    EXPECT_EQ(character->GetInputType(), 4);
    character->SetInput(0, node);
    character->SetInput(7, other);
    character->SetInput(1, nullptr);
    EXPECT_EQ(character->GetInputType(), 4);
    character->SetInput(1, other);
    EXPECT_EQ(character->GetInputType(), 1);
    EXPECT_EQ(character->GetInputObject(), other);
    EXPECT_EQ(character->GetProperties()->GetCharacterProperty().GetAt(0), other->GetPropertyHandler());

    VOxaControlSetPlug* plug = scene->GetControlSetPlug(scene->CreateControlSetPlug("Rig"));
    plug->GetProperties()->SetControlSetType((VOxaControlSet::EType)2);
    plug->GetProperties()->GetEffectorProperty(0)->Add(node->GetPropertyHandler());
    character->SetInput(2, plug);
    EXPECT_EQ(character->GetInputType(), 2);
    EXPECT_EQ(character->GetInputObject(), plug);
    // Connected to "ControlSet": the control set is filled from the plug.
    EXPECT_EQ(character->GetControlSet()->GetType(), 2);
    VOxaEffector effector;
    ASSERT_TRUE(character->GetControlSet()->GetEffector(0, &effector));
    EXPECT_EQ(effector.mNode, node);
    // Removing the connection changes nothing in the control set.
    character->GetProperties()->GetControlSetProperty().Clear();
    EXPECT_TRUE(character->GetControlSet()->GetEffector(0, nullptr));
    // Anything but a plug on "ControlSet" changes nothing.
    character->GetProperties()->GetControlSetProperty().Add(other->GetPropertyHandler());
    EXPECT_EQ(character->GetControlSet()->GetType(), 2);
    // Destroying the plug leaves no connection behind.
    EXPECT_TRUE(scene->DestroyControlSetPlug(0));
    EXPECT_EQ(character->GetInputType(), 4);
}

TEST_F(character_Character, AssignmentCopies) {
    VOxaCharacter* source = scene->GetCharacter(scene->CreateCharacter("Source"));
    VOxaNode* a = manager.CreateNode("A");
    VOxaNode* b = manager.CreateNode("B");
    VOxaCharacterLink link = LinkTo(a);
    link.mRotOrder = 2;
    source->SetCharacterLink(5, link, true);
    source->GetParameterStore()->SetMode(Param("Orientation"), 2);
    source->GetParameterStore()->SetValue(Param("Damping"), 12.0);
    VOxaControlSet* set = source->GetControlSet();
    set->SetType(3);
    set->SetLockXform(true);
    set->SetUseAxis(false);
    set->SetEffector(4, a, false, true, false, true, false);
    set->SetEffectorAux(4, b, 1);
    set->SetEffectorAux(4, b, 2);
    VOxaControlSetLink controlLink;
    controlLink.mNode = b;
    set->SetControlSetLink(9, controlLink);

    *character = *source;
    EXPECT_STREQ(character->GetName(), "Constraint::Source");
    VOxaCharacterLink out;
    ASSERT_TRUE(character->GetCharacterLink(5, &out));
    EXPECT_EQ(out.mNode, a);
    EXPECT_EQ(out.mRotOrder, 2);
    EXPECT_TRUE(HasLink(a, 5));
    EXPECT_EQ(static_cast<VPropertyObjectList*>(P("RightUpLegLink"))->GetAt(0), a->GetPropertyHandler());
    EXPECT_EQ(store->GetMode(Param("Orientation")), 2);
    EXPECT_EQ(store->GetValue(Param("Damping")), 12.0);
    VOxaControlSet* copy = character->GetControlSet();
    EXPECT_EQ(copy->GetType(), 3);
    EXPECT_FALSE(copy->GetLockXform()) << "lock flags are not copied";
    EXPECT_TRUE(copy->GetUseAxis()) << "nor the use-axis flag";
    VOxaEffector effector;
    ASSERT_TRUE(copy->GetEffector(4, &effector));
    EXPECT_EQ(effector.mNode, a);
    EXPECT_FALSE(effector.mShow);
    EXPECT_TRUE(effector.mCandidateTActive);
    EXPECT_TRUE(copy->GetEffectorAux(4, nullptr, 1));
    EXPECT_FALSE(copy->GetEffectorAux(4, nullptr, 2)) << "auxiliary effector 1 only";
    ASSERT_TRUE(copy->GetControlSetLink(9, &controlLink));
    EXPECT_EQ(controlLink.mNode, b);
    *character = *character;
    EXPECT_TRUE(character->GetCharacterLink(5, nullptr));
}

TEST_F(character_Character, SceneClearAndManagerEndLeaveNothing) {
    VOxaNode* a = manager.CreateNode("A");
    scene->GetRootNode()->AddChild(a);
    character->SetCharacterLink(0, LinkTo(a), true);
    scene->CreateControlSetPlug("P");
    scene->CreateCharacterPose("Pose");
    EXPECT_STREQ(scene->GetCharacterPose(0)->GetName(), "Pose::Pose");
    scene->Clear();
    EXPECT_EQ(scene->GetControlSetPlugCount(), 0);
    EXPECT_EQ(scene->GetCharacterPoseCount(), 0);
    EXPECT_FALSE(character->GetCharacterLink(0, nullptr)) << "the node went with the root's subtree";
    scene->CreateCharacterPose("Again");
    scene->CreateControlSetPlug("Again");
    // The manager's end destroys the rest (ASan checks nothing dangles).
}
