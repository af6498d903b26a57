#include <gtest/gtest.h>

#include <set>
#include <string>

#include "character/voxa_character.h"
#include "character/voxa_character_link.h"
#include "character/voxa_control_set.h"

TEST(character_Catalogue, RoundTripsAndGroups) {
    std::set<int> ids;
    int total = 0;
    const int counts[12] = {15, 7, 9, 8, 1, 30, 30, 5, 12, 9, 30, 30};
    for (int g = 0; g < 12; ++g) {
        ASSERT_EQ(VOxaCharacter::GetCharacterGroupCount(g), counts[g]);
        for (int i = 0; i < counts[g]; ++i) {
            int id = VOxaCharacter::GetCharacterGroupElementByIndex(g, i);
            const char* name = VOxaCharacter::GetCharacterGroupNameByIndex(g, i);
            ASSERT_NE(name, nullptr);
            ids.insert(id);
            ++total;
            int back = -1, group = -1, index = -1;
            EXPECT_TRUE(VOxaCharacter::GetCharacterNodeIdFromNodeName(name, back));
            EXPECT_EQ(back, id);
            const char* again = nullptr;
            EXPECT_TRUE(VOxaCharacter::GetCharacterNodeNameFromNodeId(id, again));
            EXPECT_STREQ(again, name);
            EXPECT_TRUE(VOxaCharacter::FindCharacterGroupIndexByElement(id, group, index));
            EXPECT_EQ(group, g);
            EXPECT_EQ(index, i);
            EXPECT_TRUE(VOxaCharacter::FindCharacterGroupIndexByName(name, false, group, index));
            EXPECT_EQ(group, g);
            EXPECT_EQ(index, i);
            int version = 0;
            EXPECT_TRUE(VOxaCharacter::GetCharacterNodeVersionFromNodeId(id, version));
            EXPECT_EQ(version, VOxaCharacter::GetCharacterGroupVersionByIndex(g, i));
        }
    }
    EXPECT_EQ(total, 186);
    EXPECT_EQ(ids.size(), 186u);
    for (int missing : {67, 68, 69, 88, 89})
        EXPECT_EQ(ids.count(missing), 0u);
    EXPECT_STREQ(VOxaCharacter::GetCharacterGroupBlockName(0), "BASE");
    EXPECT_STREQ(VOxaCharacter::GetCharacterGroupBlockName(8), "GAMEMODEPARENT");
    EXPECT_STREQ(VOxaCharacter::GetCharacterGroupBlockName(11), "RIGHTFOOT");

    int version = 0, id = -1;
    EXPECT_TRUE(VOxaCharacter::GetCharacterNodeVersionFromNodeId(90, version));
    EXPECT_EQ(version, 4500);
    EXPECT_TRUE(VOxaCharacter::GetCharacterNodeVersionFromNodeId(67, version));
    EXPECT_EQ(version, 4000);
    EXPECT_TRUE(VOxaCharacter::GetCharacterNodeIdFromNodeName("Reference", id));
    EXPECT_EQ(id, 67);
    EXPECT_FALSE(VOxaCharacter::GetCharacterNodeIdFromNodeName("reference", id));
    EXPECT_FALSE(VOxaCharacter::GetCharacterNodeIdFromNodeName(nullptr, id));
    const char* name = nullptr;
    EXPECT_FALSE(VOxaCharacter::GetCharacterNodeNameFromNodeId(68, name));
    EXPECT_FALSE(VOxaCharacter::GetCharacterNodeNameFromNodeId(191, name));
    EXPECT_FALSE(VOxaCharacter::GetCharacterNodeNameFromNodeId(-1, name));
    EXPECT_TRUE(VOxaCharacter::GetCharacterNodeNameFromNodeId(0, name));
    EXPECT_STREQ(name, "Hips");
}

TEST(character_Catalogue, LimitFlagAndBadGroups) {
    int group = 1, index = -1;
    // "Spine1" is in group 2: beyond a limit of group 1.
    EXPECT_FALSE(VOxaCharacter::FindCharacterGroupIndexByName("Spine1", true, group, index));
    group = 2;
    EXPECT_TRUE(VOxaCharacter::FindCharacterGroupIndexByName("Spine1", true, group, index));
    EXPECT_EQ(group, 2);
    EXPECT_EQ(index, 0);
    // A limit past the table searches up to group 11 and no further.
    group = 500;
    EXPECT_TRUE(VOxaCharacter::FindCharacterGroupIndexByName("RightFootExtraFinger4", true, group, index));
    EXPECT_EQ(group, 11);
    group = -1;
    EXPECT_FALSE(VOxaCharacter::FindCharacterGroupIndexByName("Hips", true, group, index));
    EXPECT_EQ(group, -1);
    EXPECT_FALSE(VOxaCharacter::FindCharacterGroupIndexByName("Reference", false, group, index));
    EXPECT_FALSE(VOxaCharacter::FindCharacterGroupIndexByName("hips", false, group, index));

    EXPECT_EQ(VOxaCharacter::GetCharacterGroupCount(12), 0);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupCount(-1), 0);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupElementByIndex(4, 1), -1);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupNameByIndex(12, 0), nullptr);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupNameByIndex(0, -1), nullptr);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupVersionByIndex(0, 15), 0);
    EXPECT_EQ(VOxaCharacter::GetCharacterGroupBlockName(12), nullptr);
}

TEST(character_Catalogue, EffectorNames) {
    EXPECT_EQ(VOxaControlSet::GetEffectorIdFromName("HipsEffector"), 0);
    EXPECT_EQ(VOxaControlSet::GetEffectorIdFromName("RightFootExtraFingerEffector"), 43);
    EXPECT_EQ(VOxaControlSet::GetEffectorIdFromName("hipsEffector"), -1);
    EXPECT_EQ(VOxaControlSet::GetEffectorIdFromName(nullptr), -1);
    EXPECT_EQ(VOxaControlSet::GetEffectorNodeName(44), nullptr);
    EXPECT_EQ(VOxaControlSet::GetEffectorNodeName(-1), nullptr);
    for (int i = 0; i < 44; ++i)
        EXPECT_EQ(VOxaControlSet::GetEffectorIdFromName(VOxaControlSet::GetEffectorNodeName(i)), i);
}

TEST(character_LinkRecord, DefaultsCopyAndEmptiness) {
    VOxaCharacterLink link;
    EXPECT_TRUE(link.IsEmpty());
    EXPECT_EQ(link.mOffsetS[0], 1.0);
    EXPECT_EQ(link.mOffsetS[3], 1.0);
    EXPECT_EQ(link.mOffsetT[0], 0.0);
    EXPECT_EQ(link.mOffsetT[3], 1.0);
    EXPECT_EQ(link.mParentROffset[3], 1.0);
    EXPECT_EQ(link.mRLimits.mMax[3], 1.0);
    EXPECT_EQ(link.mRotOrder, 0);
    EXPECT_EQ(link.mAxisLen, 1.0);
    EXPECT_FALSE(link.mHasRotSpace);
    for (int a = 0; a < 3; ++a) {
        EXPECT_FALSE(link.mRLimits.mMinActive[a]) << "reset flags are off";
        EXPECT_FALSE(link.mRLimits.mMaxActive[a]);
    }

    VOxaCharacterLink source;
    source.mTemplateName = "Slot";
    source.mRotOrder = 3;
    source.mRLimits.SetLimitMaxActive(true, false, true);
    source.mProperty = reinterpret_cast<VPropertyObjectList*>(&source);
    EXPECT_FALSE(source.IsEmpty()) << "a template name alone makes a link";
    VOxaCharacterLink target;
    auto* mine = reinterpret_cast<VPropertyObjectList*>(&target);
    target.mProperty = mine;
    target = source;
    EXPECT_EQ(target.mProperty, mine) << "the property belongs to the slot";
    EXPECT_STREQ(target.mTemplateName.Buffer(), "Slot");
    EXPECT_EQ(target.mRotOrder, 3);
    EXPECT_TRUE(target.mRLimits.mMaxActive[2]);
    VOxaCharacterLink copy(source);
    EXPECT_EQ(copy.mProperty, nullptr);
    EXPECT_EQ(copy.mRotOrder, 3);
    target.Reset();
    EXPECT_TRUE(target.IsEmpty());
    EXPECT_EQ(target.mProperty, nullptr);
}
