#include "character/voxa_control_set.h"

#include <gtest/gtest.h>

#include <vector>

#include "character/voxa_character.h"
#include "character/voxa_control_set_plug.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

struct Fixture : ::testing::Test {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaCharacter* character = manager.CreateCharacter("C");
    VOxaControlSet& set = *character->GetControlSet();

    int LinksOf(VOxaNode* node, int kind, int index, int extra) {
        return node->FindCharacterLink(character, kind, index, extra);
    }
};

using character_ControlSet = Fixture;
using character_ControlSetPlug = Fixture;

}  // namespace

TEST_F(character_ControlSet, EffectorDefaultsAgainstResetFlags) {
    auto flags = [&](int id) {
        const VOxaEffector* e = set.GetEffectorRecord(id);
        return std::vector<bool>{e->mShow, e->mTActive, e->mRActive, e->mCandidateTActive,
                                 e->mCandidateRActive};
    };
    using F = std::vector<bool>;
    // A new set: no node, yet the default flags.
    EXPECT_FALSE(set.GetEffector(0, nullptr));
    EXPECT_EQ(flags(0), (F{true, true, true, false, false}));
    EXPECT_EQ(flags(1), (F{true, true, true, true, true}));
    EXPECT_EQ(flags(2), (F{true, true, true, true, true}));
    EXPECT_EQ(flags(3), (F{true, true, false, true, false}));
    EXPECT_EQ(flags(4), (F{true, true, false, true, false}));
    EXPECT_EQ(flags(5), (F{true, false, false, false, false}));
    EXPECT_EQ(set.GetEffectorRecord(44), nullptr);

    VOxaNode* node = manager.CreateNode("N");
    EXPECT_TRUE(set.SetEffector(0, node, false, false, false, false, false));
    VOxaEffector effector;
    ASSERT_TRUE(set.GetEffector(0, &effector));
    EXPECT_FALSE(effector.mShow);
    EXPECT_GE(LinksOf(node, 2, 0, 0), 0);
    EXPECT_TRUE(set.SetEffector(0, nullptr, false, true, true, true, true));
    EXPECT_EQ(LinksOf(node, 2, 0, 0), -1);
    // The reset flags, not the defaults of a new set.
    EXPECT_EQ(flags(0), (F{true, false, false, false, false}));
    set.Clear();
    EXPECT_EQ(flags(0), (F{true, true, true, false, false})) << "Clear restores the defaults";

    EXPECT_FALSE(set.SetEffector(44, node, true, true, true, true, true));
    EXPECT_FALSE(set.SetEffector(-1, node, true, true, true, true, true));
    EXPECT_FALSE(set.GetEffector(44, &effector));
    EXPECT_EQ(node->GetCharacterLinkCount(), 0);
}

TEST_F(character_ControlSet, LinksAuxiliaryEffectorsAndClear) {
    VOxaNode* a = manager.CreateNode("A");
    VOxaNode* b = manager.CreateNode("B");
    VOxaControlSetLink link;
    link.mNode = a;
    link.mTemplateName = "T";
    EXPECT_TRUE(set.SetControlSetLink(5, link));
    EXPECT_GE(LinksOf(a, 1, 5, 0), 0);
    EXPECT_FALSE(set.SetControlSetLink(191, link));
    VOxaControlSetLink out;
    ASSERT_TRUE(set.GetControlSetLink(5, &out));
    EXPECT_EQ(out.mNode, a);
    EXPECT_TRUE(set.SetControlSetLink(5, VOxaControlSetLink()));
    EXPECT_EQ(LinksOf(a, 1, 5, 0), -1) << "an empty link empties the slot";
    EXPECT_FALSE(set.GetControlSetLink(5, &out));

    EXPECT_FALSE(set.SetEffectorAux(3, a, 0));
    EXPECT_FALSE(set.SetEffectorAux(3, a, 15));
    EXPECT_TRUE(set.SetEffectorAux(3, a, 14));
    EXPECT_GE(LinksOf(a, 3, 3, 13), 0) << "extra is the auxiliary index - 1";
    EXPECT_TRUE(set.SetEffectorAux(3, b, 14));
    EXPECT_EQ(LinksOf(a, 3, 3, 13), -1);
    VOxaNode* got = nullptr;
    EXPECT_TRUE(set.GetEffectorAux(3, &got, 14));
    EXPECT_EQ(got, b);
    EXPECT_FALSE(set.GetEffectorAux(3, &got, 1));

    set.SetUseAxis(false);
    set.SetLockXform(true);
    set.SetType(4);
    set.Clear();
    EXPECT_FALSE(set.GetUseAxis()) << "Clear keeps the use-axis flag";
    EXPECT_FALSE(set.GetLockXform());
    EXPECT_EQ(set.GetType(), 0);
    EXPECT_EQ(b->GetCharacterLinkCount(), 0);
}

TEST_F(character_ControlSet, DestroyedNodeLeavesEverySlot) {
    VOxaNode* a = manager.CreateNode("A");
    VOxaControlSetLink link;
    link.mNode = a;
    set.SetControlSetLink(7, link);
    set.SetEffector(2, a, true, true, false, false, false);
    set.SetEffectorAux(2, a, 1);
    VOxaCharacterLink characterLink;
    characterLink.mNode = a;
    character->SetCharacterLink(0, characterLink, false);
    ASSERT_EQ(a->GetCharacterLinkCount(), 4);
    manager.DestroyNode(a);
    EXPECT_FALSE(set.GetControlSetLink(7, nullptr));
    EXPECT_FALSE(set.GetEffector(2, nullptr));
    EXPECT_FALSE(set.GetEffectorAux(2, nullptr, 1));
    EXPECT_FALSE(character->GetCharacterLink(0, nullptr));
}

TEST_F(character_ControlSetPlug, BlockLayout) {
    int index = scene->CreateControlSetPlug("P");
    ASSERT_EQ(index, 0);
    VOxaControlSetPlug* plug = scene->GetControlSetPlug(0);
    EXPECT_STREQ(plug->GetName(), "ControlSetPlug::P");
    EXPECT_EQ(plug->GetTypeCode(), 12);
    EXPECT_STREQ(plug->GetTypeName().Buffer(), "ControlSetPlug");
    VOxaControlSetPlugProperties* block = plug->GetProperties();
    EXPECT_TRUE(block->GetUseAxis());
    EXPECT_EQ(block->GetControlSetType(), 0);
    EXPECT_EQ(block->GetLinkPropertyCount(), 187);
    EXPECT_EQ(block->GetEffectorPropertyCount(), 44);
    EXPECT_EQ(block->GetPropertyCount(), 2 + 187 + 44);
    EXPECT_STREQ(block->GetProperty(0)->GetName(), "UseAxis");
    EXPECT_STREQ(block->GetProperty(1)->GetName(), "ControlSetType");
    EXPECT_EQ(block->GetProperty(1)->GetValueType(), 6);
    EXPECT_STREQ(block->GetProperty(2)->GetName(), "Hips");
    EXPECT_STREQ(block->FindLinkProperty(67)->GetName(), "Reference");
    for (int missing : {68, 69, 88, 89})
        EXPECT_EQ(block->FindLinkProperty(missing), nullptr);
    EXPECT_STREQ(block->GetProperty(2 + 187)->GetName(), "HipsEffector");
    EXPECT_EQ(block->GetEffectorProperty(43)->GetUserValue(), 43);

    // An effector property takes 15 connections and refuses the 16th.
    VPropertyObjectList* effector = block->GetEffectorProperty(5);
    for (int i = 0; i < 16; ++i) {
        VOxaNode* node = manager.CreateNode("E");
        EXPECT_EQ(effector->Add(node->GetPropertyHandler()), i < 15) << i;
    }
    EXPECT_EQ(effector->GetCount(), 15);
    // The limit is on the effector's own sources only: full, it may still be the source of
    // another plug.
    VPlug far;
    EXPECT_TRUE(far.ConnectSrc(effector));
    EXPECT_TRUE(far.IsConnectedSrc(effector));
    EXPECT_EQ(effector->GetCount(), 15);
    EXPECT_FALSE(effector->Add(manager.CreateNode("F")->GetPropertyHandler()));
    EXPECT_TRUE(scene->DestroyControlSetPlug(0));
    EXPECT_EQ(far.GetSrcCount(), 0) << "the destroyed plug left the far end";
    EXPECT_FALSE(scene->DestroyControlSetPlug(0));
}

TEST_F(character_ControlSetPlug, FromPlugAndToPlug) {
    VOxaControlSetPlug* plug = scene->GetControlSetPlug(scene->CreateControlSetPlug("P"));
    VOxaControlSetPlugProperties* block = plug->GetProperties();
    block->SetControlSetType((VOxaControlSet::EType)3);
    block->SetUseAxis(false);
    VOxaNode* hips = manager.CreateNode("Hips");
    VOxaNode* e0 = manager.CreateNode("E0");
    VOxaNode* e1 = manager.CreateNode("E1");
    VOxaNode* e2 = manager.CreateNode("E2");
    block->FindLinkProperty(0)->Add(hips->GetPropertyHandler());
    block->GetEffectorProperty(5)->Add(e0->GetPropertyHandler());
    block->GetEffectorProperty(5)->Add(e1->GetPropertyHandler());
    block->GetEffectorProperty(5)->Add(e2->GetPropertyHandler());
    // Something that is no node gives no node.
    VOxaControlSetPlug* other = scene->GetControlSetPlug(scene->CreateControlSetPlug("Q"));
    block->FindLinkProperty(1)->Add(other->GetPropertyHandler());

    set.SetLockPick(true);
    set.FromPlug(plug);
    EXPECT_EQ(set.GetType(), 3);
    EXPECT_FALSE(set.GetUseAxis());
    EXPECT_FALSE(set.GetLockPick());
    VOxaControlSetLink link;
    ASSERT_TRUE(set.GetControlSetLink(0, &link));
    EXPECT_EQ(link.mNode, hips);
    EXPECT_FALSE(set.GetControlSetLink(1, &link));
    VOxaEffector effector;
    ASSERT_TRUE(set.GetEffector(5, &effector));
    EXPECT_EQ(effector.mNode, e0);
    EXPECT_TRUE(effector.mShow);
    EXPECT_FALSE(effector.mTActive);
    VOxaNode* aux = nullptr;
    EXPECT_TRUE(set.GetEffectorAux(5, &aux, 1));
    EXPECT_EQ(aux, e1);
    EXPECT_TRUE(set.GetEffectorAux(5, &aux, 2));
    EXPECT_EQ(aux, e2);
    EXPECT_FALSE(set.GetEffectorAux(5, &aux, 3));

    // Back into a fresh plug: the same connections in the same order.
    VOxaControlSetPlug* copy = scene->GetControlSetPlug(scene->CreateControlSetPlug("R"));
    set.ToPlug(copy);
    VOxaControlSetPlugProperties* written = copy->GetProperties();
    EXPECT_EQ(written->GetControlSetType(), 3);
    EXPECT_FALSE(written->GetUseAxis());
    EXPECT_EQ(written->FindLinkProperty(0)->GetAt(0), hips->GetPropertyHandler());
    VPropertyObjectList* effectors = written->GetEffectorProperty(5);
    ASSERT_EQ(effectors->GetCount(), 3);
    EXPECT_EQ(effectors->GetAt(0), e0->GetPropertyHandler());
    EXPECT_EQ(effectors->GetAt(2), e2->GetPropertyHandler());
    VOxaControlSet again(nullptr);
    again.FromPlug(copy);
    ASSERT_TRUE(again.GetEffector(5, &effector));
    EXPECT_EQ(effector.mNode, e0);
    again.Clear();
}
