#include "character/voxa_constraint.h"

#include <gtest/gtest.h>

#include <set>

#include "attributes/voxa_deformer.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

TEST(character_Constraint, TypesAndClassIds) {
    EXPECT_EQ(VOxaConstraint::GetClassIdOfType(0), -1);
    EXPECT_EQ(VOxaConstraint::GetClassIdOfType(8), -1);
    EXPECT_EQ(VOxaConstraint::GetClassIdOfType(-5), -1);
    EXPECT_GE(VOxaConstraint::GetClassIdOfType(7), 0);
    EXPECT_TRUE(VOxaConstraint::IsValidConstraintType(7));
    EXPECT_FALSE(VOxaConstraint::IsValidConstraintType(0));
    EXPECT_FALSE(VOxaConstraint::IsValidConstraintType(8));

    VOxaSdkManager manager;
    std::set<int> ids;
    const char* typeNames[] = {"Position From Positions", "Rotation From Rotations",
                               "Scale From Scales",       "Parent-Child",
                               "Single Chain IK",         "Aim"};
    for (int type = 1; type <= 6; ++type) {
        SCOPED_TRACE(type);
        int id = VOxaConstraint::GetClassIdOfType(type);
        EXPECT_GE(id, 0);
        ids.insert(id);
        VOxaConstraint* constraint = manager.CreateConstraint("C", type);
        ASSERT_NE(constraint, nullptr);
        EXPECT_EQ(constraint->GetConstraintType(), type);
        EXPECT_EQ(constraint->GetTypeCode(), 13);
        EXPECT_STREQ(constraint->GetTypeName().Buffer(), typeNames[type - 1]);
        VStringList flags = constraint->GetTypeFlags();
        ASSERT_EQ(flags.GetCount(), 1);
        EXPECT_STREQ(flags[0], "");
        VOxaPropertyHandler* block = constraint->GetPropertyHandler();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->GetClassId(), id);
        EXPECT_TRUE(block->IsA(id));
        EXPECT_TRUE(block->IsA(VOxaConstraintProperty::ClassId));
        EXPECT_TRUE(block->IsA(VOxaPropertyHandler::ClassId));
        EXPECT_TRUE(block->IsA(VObject::ClassId));
        EXPECT_TRUE(block->IsA(VPlug::ClassId));
        EXPECT_FALSE(block->IsA(VOxaConstraint::GetClassIdOfType(type % 6 + 1)));
        EXPECT_EQ(block->GetOwner(), constraint);
    }
    EXPECT_EQ(ids.size(), 6u) << "six distinct ids";
    EXPECT_STREQ(VOxaConstraintProperty::ClassInfo.GetName(), "VOxaConstraintProperty");

    // No constraint for a null name, types 0, 7 or 8.
    EXPECT_EQ(manager.CreateConstraint(nullptr, 1), nullptr);
    EXPECT_EQ(manager.CreateConstraint("X", 0), nullptr);
    EXPECT_EQ(manager.CreateConstraint("X", 7), nullptr);
    EXPECT_EQ(manager.CreateConstraint("X", 8), nullptr);
}

TEST(character_Constraint, ManagerListsConstraints) {
    VOxaSdkManager manager;
    VOxaConstraint* p = manager.CreateConstraint("P", 1);
    VOxaConstraint* a1 = manager.CreateConstraint("A1", 6);
    VOxaConstraint* a2 = manager.CreateConstraint("A2", 6);
    manager.CreateDeformer("Skin", "Skin");  // listed too, but no constraint
    EXPECT_EQ(manager.GetConstraintCount(), 3);
    EXPECT_EQ(manager.GetConstraintCountByType(6), 2);
    EXPECT_EQ(manager.GetConstraintCountByType(1), 1);
    EXPECT_EQ(manager.GetConstraintCountByType(3), 0);
    EXPECT_EQ(manager.GetConstraintCountByType(0), 0);
    EXPECT_EQ(manager.GetConstraintCountByType(7), 0);
    EXPECT_EQ(manager.GetConstraint(0, 1), p);
    EXPECT_EQ(manager.GetConstraint(0, 6), a1);
    EXPECT_EQ(manager.GetConstraint(1, 6), a2);
    EXPECT_EQ(manager.GetConstraint(2, 6), nullptr);
    EXPECT_EQ(manager.GetConstraint(-1, 6), nullptr);
    EXPECT_EQ(manager.GetConstraint(0, 9), nullptr);
    EXPECT_TRUE(manager.DestroyObject(a1));
    EXPECT_EQ(manager.GetConstraintCountByType(6), 1);
    EXPECT_EQ(manager.GetConstraint(0, 6), a2);
    EXPECT_FALSE(manager.DestroyObject(a1)) << "destroyed already";
}

TEST(character_Constraint, SceneContentsAndSceneGetters) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaSceneContents* contents = scene->GetContents();
    VOxaSceneContents other(&manager);
    auto* pos = static_cast<VOxaConstraintPosition*>(manager.CreateConstraint("Pos", 1));
    auto* rot = static_cast<VOxaConstraintRotation*>(manager.CreateConstraint("Rot", 2));
    auto* scl = static_cast<VOxaConstraintScale*>(manager.CreateConstraint("Scl", 3));
    VOxaConstraint* ik = manager.CreateConstraint("Ik", 5);
    VOxaConstraint* aim = manager.CreateConstraint("Aim", 6);
    VOxaConstraint* parent = manager.CreateConstraint("Par", 4);
    for (VOxaConstraint* c :
         {(VOxaConstraint*)pos, (VOxaConstraint*)rot, (VOxaConstraint*)scl, ik, aim, parent})
        EXPECT_TRUE(c->SetSceneContents(contents));
    EXPECT_TRUE(pos->SetSceneContents(contents)) << "same contents: nothing happens";
    contents->AddDeformer(manager.CreateDeformer("Skin", "Skin"));

    EXPECT_EQ(contents->GetConstraintCount(), 6);
    EXPECT_EQ(scene->GetConstraintCount(), 6);
    EXPECT_EQ(scene->GetConstraintCount(2), 1);
    EXPECT_EQ(scene->GetConstraintCount(7), 0);
    EXPECT_EQ(scene->GetConstraintCount(42), 0);
    EXPECT_EQ(scene->GetConstraint(0), pos);
    EXPECT_EQ(scene->GetConstraint(5), parent);
    EXPECT_EQ(scene->GetConstraint(6), nullptr);
    EXPECT_EQ(scene->GetConstraint(-1), nullptr);
    EXPECT_EQ(scene->GetPositionConstraint(0), pos);
    EXPECT_EQ(scene->GetRotationConstraint(0), rot);
    EXPECT_EQ(scene->GetScaleConstraint(0), scl);
    EXPECT_EQ((VOxaConstraint*)scene->GetSingleChainIKConstraint(0), ik);
    EXPECT_EQ((VOxaConstraint*)scene->GetAimConstraint(0), aim);
    EXPECT_EQ(scene->GetAimConstraint(1), nullptr);
    EXPECT_EQ(contents->GetConstraintByType(0, 4), parent);
    EXPECT_EQ(contents->GetConstraintByType(0, 0), nullptr);
    EXPECT_EQ(contents->GetConstraintByName("Constraint::Rot"), rot);
    EXPECT_EQ(contents->GetConstraintByName("Rot"), nullptr);
    EXPECT_EQ(contents->GetConstraintByName("Skin"), nullptr) << "a deformer is no constraint";
    EXPECT_EQ(contents->GetConstraintByName(nullptr), nullptr);

    // Moving to other contents, then to none.
    EXPECT_TRUE(rot->SetSceneContents(&other));
    EXPECT_EQ(rot->GetSceneContents(), &other);
    EXPECT_EQ(contents->GetConstraintCount(), 5);
    EXPECT_EQ(other.GetConstraint(0), rot);
    EXPECT_TRUE(rot->SetSceneContents(nullptr));
    EXPECT_EQ(rot->GetSceneContents(), nullptr);
    EXPECT_EQ(other.GetConstraintCount(), 0);

    // Contents that drop the block on their own end the association (no dangling contents).
    EXPECT_TRUE(contents->RemoveConstraint(scl));
    EXPECT_EQ(scl->GetSceneContents(), nullptr);
    EXPECT_TRUE(scl->SetSceneContents(&other));
    EXPECT_EQ(other.GetConstraintCount(), 1);

    // A destroyed constraint leaves its contents.
    EXPECT_TRUE(manager.DestroyObject(pos));
    EXPECT_EQ(contents->GetConstraintCount(), 3);
    EXPECT_EQ(scene->GetPositionConstraint(0), nullptr);
}

TEST(character_Constraint, ContentsDestroyedFirstLeaveNoAssociation) {
    VOxaSdkManager manager;
    VOxaConstraint* c = manager.CreateConstraint("C", 1);
    {
        VOxaSceneContents contents(&manager);
        c->SetSceneContents(&contents);
        EXPECT_EQ(c->GetSceneContents(), &contents);
    }
    EXPECT_EQ(c->GetSceneContents(), nullptr);
    EXPECT_TRUE(manager.DestroyObject(c));
}
