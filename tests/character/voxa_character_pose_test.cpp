#include "character/voxa_character_pose.h"

#include <gtest/gtest.h>

#include "character/voxa_character.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

struct character_Pose : ::testing::Test {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();

    VOxaCharacterPose* NewPose(const char* name) {
        return scene->GetCharacterPose(scene->CreateCharacterPose(name));
    }
    VOxaNode* Child(VOxaNode* parent, const char* name) {
        VOxaNode* node = manager.CreateNode(name);
        parent->AddChild(node);
        return node;
    }
    VOxaCharacterLink LinkTo(VOxaNode* node) {
        VOxaCharacterLink link;
        link.mNode = node;
        return link;
    }
};

}  // namespace

TEST_F(character_Pose, NewPose) {
    VOxaCharacterPose* pose = NewPose("P");
    EXPECT_STREQ(pose->GetName(), "Pose::P");
    EXPECT_EQ(pose->GetTypeCode(), 9);
    EXPECT_STREQ(pose->GetNamePrefix(), "Pose::");
    ASSERT_NE(pose->GetCharacter(), nullptr);
    EXPECT_STREQ(pose->GetCharacter()->GetName(), "Constraint::PoseCharacter");
    for (int id = 0; id < 191; ++id)
        EXPECT_FALSE(pose->GetCharacter()->GetCharacterLink(id, nullptr));
    ASSERT_NE(pose->GetRootNode(), nullptr);
    EXPECT_EQ(pose->GetRootNode()->GetChildCount(false), 0);
    EXPECT_EQ(scene->GetCharacterCount(), 0) << "the pose's character lives in its own scene";
}

TEST_F(character_Pose, AssignmentRemapsIntoTheDestinationTree) {
    VOxaCharacterPose* source = NewPose("Source");
    VOxaNode* a = Child(source->GetRootNode(), "A");
    VOxaNode* b = Child(a, "B");
    VOxaNode* c = Child(source->GetRootNode(), "C");
    VOxaCharacter* character = source->GetCharacter();
    character->SetCharacterLink(0, LinkTo(a), true);
    VOxaCharacterLink withOffset = LinkTo(b);
    withOffset.mOffsetT = VgeTVector(1, 2, 3, 1);
    character->SetCharacterLink(1, withOffset, true);
    VOxaCharacterLink nameOnly;
    nameOnly.mTemplateName = "T";
    character->SetCharacterLink(2, nameOnly, true);
    character->GetParameterStore()->SetValue(VOxaCharacterParameterStore::FindParameter("Damping"), 40.0);
    VOxaControlSet* set = character->GetControlSet();
    set->SetLockPick(true);
    set->SetType(2);
    set->SetEffector(6, c, true, true, true, false, false);
    set->SetEffectorAux(6, b, 1);
    set->SetEffectorAux(6, a, 2);
    VOxaControlSetLink controlLink;
    controlLink.mNode = a;
    controlLink.mTemplateName = "CL";
    set->SetControlSetLink(8, controlLink);

    VOxaCharacterPose* target = NewPose("Target");
    // A link whose node has no namesake below the destination root stays as it was.
    VOxaNode* outside = manager.CreateNode("Elsewhere");
    target->GetCharacter()->SetCharacterLink(3, LinkTo(outside), true);
    character->SetCharacterLink(3, LinkTo(manager.CreateNode("Orphan")), true);

    *target = *source;
    EXPECT_STREQ(target->GetName(), "Pose::Source");
    VOxaNode* root = target->GetRootNode();
    ASSERT_EQ(root->GetChildCount(false), 2);
    VOxaNode* a2 = root->FindChild("A");
    VOxaNode* b2 = root->FindChild("B");
    VOxaNode* c2 = root->FindChild("C");
    ASSERT_NE(a2, nullptr);
    ASSERT_NE(b2, nullptr);
    ASSERT_NE(c2, nullptr);
    EXPECT_NE(a2, a);
    EXPECT_EQ(b2->GetParent(), a2);

    VOxaCharacter* copy = target->GetCharacter();
    VOxaCharacterLink out;
    ASSERT_TRUE(copy->GetCharacterLink(0, &out));
    EXPECT_EQ(out.mNode, a2);
    EXPECT_GE(a2->FindCharacterLink(copy, 0, 0, 0), 0);
    EXPECT_EQ(a->FindCharacterLink(copy, 0, 0, 0), -1);
    ASSERT_TRUE(copy->GetCharacterLink(1, &out));
    EXPECT_EQ(out.mNode, b2);
    EXPECT_EQ(out.mOffsetT[1], 2.0);
    EXPECT_FALSE(copy->GetCharacterLink(2, nullptr)) << "links without a node are skipped";
    ASSERT_TRUE(copy->GetCharacterLink(3, &out));
    EXPECT_EQ(out.mNode, outside);
    EXPECT_EQ(copy->GetParameterStore()->GetValue(VOxaCharacterParameterStore::FindParameter("Damping")),
              40.0);
    VOxaControlSet* copySet = copy->GetControlSet();
    EXPECT_TRUE(copySet->GetLockPick()) << "the pose copies the lock flags";
    EXPECT_EQ(copySet->GetType(), 2);
    VOxaEffector effector;
    ASSERT_TRUE(copySet->GetEffector(6, &effector));
    EXPECT_EQ(effector.mNode, c2);
    EXPECT_TRUE(effector.mRActive);
    VOxaNode* aux = nullptr;
    ASSERT_TRUE(copySet->GetEffectorAux(6, &aux, 1));
    EXPECT_EQ(aux, b2);
    EXPECT_FALSE(copySet->GetEffectorAux(6, &aux, 2));
    ASSERT_TRUE(copySet->GetControlSetLink(8, &controlLink));
    EXPECT_EQ(controlLink.mNode, a2);
    EXPECT_STREQ(controlLink.mTemplateName.Buffer(), "CL");

    // Self-assignment returns at once.
    *target = *target;
    EXPECT_EQ(target->GetRootNode()->GetChildCount(true), 3);

    // Destroying the source pose leaves the copy whole.
    EXPECT_TRUE(scene->DestroyCharacterPose(0));
    ASSERT_TRUE(copy->GetCharacterLink(0, &out));
    EXPECT_EQ(out.mNode, a2);
    EXPECT_FALSE(scene->DestroyCharacterPose(5));
}
