#include "character/voxa_character_parameters.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using Store = VOxaCharacterParameterStore;

namespace {

int Index(const char* name) {
    int index = Store::FindParameter(name);
    EXPECT_GE(index, 0) << name;
    return index;
}

// The rules written out again from the descriptors, recursively, to check the store against.
bool RefFollows(const Store& s, int i) {
    int type = Store::GetParameterModeType(i);
    return (type == 2 && s.GetMode(i) == 1) || (type == 3 && s.GetMode(i) == 0);
}

double RefRatio(const Store& s, int i) {
    int parent = Store::GetParameterParent(i);
    if (RefFollows(s, i) && parent != -1) {
        double r = RefRatio(s, parent);
        return Store::GetParameterInvert(i) ? 1.0 - r : r;
    }
    int unit = Store::GetParameterUnit(i);
    if (!RefFollows(s, i) && (unit == 1 || unit == 6)) return s.GetValue(i) * 0.01;
    return -1.0;
}

bool RefEnabled(const Store& s, int i) {
    if (i == -1) return true;
    int type = Store::GetParameterModeType(i);
    if (type == 0 || type > 3) return true;
    if ((type == 1 || type == 2) && s.GetMode(i) == 0) return false;
    return RefEnabled(s, Store::GetParameterParent(i));
}

}  // namespace

TEST(character_Parameters, DescriptorsAndDefaults) {
    EXPECT_EQ(Store::GetParameterCount(), 177);
    Store store;
    EXPECT_EQ(store.GetMode(Index("ScaleCompensation")), 1);
    EXPECT_DOUBLE_EQ(store.GetValue(Index("ScaleCompensation")), 100.0);
    EXPECT_EQ(store.GetMode(Index("PullIterationCount")), 0);
    EXPECT_DOUBLE_EQ(store.GetValue(Index("PullIterationCount")), 10.0);
    // Unit-1 rows scale by 100 in single precision.
    EXPECT_EQ(store.GetValue(Index("LeftUpLegRoll")), (double)(0.6f * 100.0f));
    EXPECT_NEAR(store.GetValue(Index("LeftUpLegRoll")), 60.000004, 1e-6);
    EXPECT_EQ(Store::GetParameterMax(Index("CtrlEnforceGravity")), 100.0);
    EXPECT_EQ(Store::GetParameterMin(Index("CtrlEnforceGravity")), 0.0);
    EXPECT_DOUBLE_EQ(store.GetValue(Index("CtrlResistLeftCollar")), 50.0);
    // Unit 6 and others are not scaled.
    EXPECT_EQ(Store::GetParameterMax(Index("MassCenterCompensation")), 120.0);
    EXPECT_EQ(Store::GetParameterMax(Index("Orientation")), 0.25);
    for (const char* angle : {"LeftShoulderFrontAngle", "RightShoulderDownAngle"})
        EXPECT_DOUBLE_EQ(store.GetValue(Index(angle)), 150.0);
    EXPECT_STREQ(Store::GetParameterName(31), "ReachActorLeftAnkleRotationRotation");
    EXPECT_STREQ(Store::GetParameterName(176), "SyncMode");
    EXPECT_EQ(Store::FindParameter("reachActorLeftAnkle"), -1);
    EXPECT_EQ(Store::FindParameter("ReachActorLeftAnkle"), 13);
    for (int i = 0; i < 177; ++i) {
        EXPECT_EQ(Store::FindParameter(Store::GetParameterName(i)), i);
        EXPECT_EQ(Store::GetParameterComponentFlag(i), 0);
    }
}

TEST(character_Parameters, ModesValuesAndBadIndexes) {
    Store store;
    int orientation = Index("Orientation");
    store.SetMode(orientation, 2);
    EXPECT_EQ(store.GetMode(orientation), 2);
    store.SetMode(orientation, 3);
    EXPECT_EQ(store.GetMode(orientation), 2);
    int foot = Index("FootBottomToAnkle");
    store.SetMode(foot, 0);
    EXPECT_EQ(store.GetMode(foot), 1) << "mode type 0 takes no mode";
    int mirror = Index("Mirror");
    store.SetMode(mirror, 2);
    EXPECT_EQ(store.GetMode(mirror), 0);
    store.SetMode(mirror, 1);
    EXPECT_EQ(store.GetMode(mirror), 1);
    store.SetValue(foot, 12345.0, 2);
    EXPECT_EQ(store.GetValue(foot, 0), 12345.0) << "one value, unclamped";
    store.Reset();
    EXPECT_EQ(store.GetValue(foot), 7.5);

    // Indexes from files: outside the table nothing is written and getters answer neutral values.
    for (int bad : {-1, 177, 1000, -1000}) {
        store.SetMode(bad, 1);
        store.SetValue(bad, 5.0);
        EXPECT_EQ(store.GetMode(bad), 0);
        EXPECT_EQ(store.GetValue(bad), 0.0);
        EXPECT_EQ(Store::GetParameterName(bad), nullptr);
        EXPECT_EQ(Store::GetParameterModeType(bad), -1);
        EXPECT_EQ(Store::GetParameterUnit(bad), -1);
        EXPECT_EQ(Store::GetParameterParent(bad), -1);
        EXPECT_EQ(Store::GetParameterDefaultMode(bad), -1);
        EXPECT_EQ(Store::GetParameterMax(bad), 0.0);
        EXPECT_EQ(store.EvaluateParentRatio(bad), -1.0);
        EXPECT_FALSE(store.IsFollowingParent(bad));
    }
    EXPECT_TRUE(store.IsEnabled(-1));
    EXPECT_FALSE(store.IsEnabled(177));
    EXPECT_FALSE(store.IsEnabled(-2));
    EXPECT_EQ(Store::FindParameter(nullptr), -1);
    const char* name = "x";
    EXPECT_FALSE(Store::FindParameterForProperty(&name, nullptr, 0));
    EXPECT_EQ(name, nullptr);
}

TEST(character_Parameters, EvaluationAgainstReferenceForEveryRow) {
    std::mt19937 random(20);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        Store store;
        for (int i = 0; i < 177; ++i) {
            store.SetMode(i, (int)(random() % 4) - (round == 0 ? 0 : 0));
            store.SetValue(i, (double)(random() % 200) - 20.0);
        }
        for (int i = 0; i < 177; ++i) {
            SCOPED_TRACE(Store::GetParameterName(i));
            EXPECT_EQ(store.IsFollowingParent(i), RefFollows(store, i));
            EXPECT_DOUBLE_EQ(store.EvaluateParentRatio(i), RefRatio(store, i));
            EXPECT_EQ(store.IsEnabled(i), RefEnabled(store, i));
        }
        // The reference update, row by row in index order over a copy.
        Store expected = store;
        for (int i = 0; i < 177; ++i) {
            if (Store::GetParameterUnit(i) == 0 || !RefFollows(expected, i)) continue;
            double r = RefRatio(expected, i);
            double min = Store::GetParameterMin(i), max = Store::GetParameterMax(i);
            expected.SetValue(i, r >= 0.0 ? (max - min) * r + min : Store::GetParameterDefaultValue(i));
        }
        store.UpdateFollowingValues();
        for (int i = 0; i < 177; ++i)
            EXPECT_DOUBLE_EQ(store.GetValue(i), expected.GetValue(i)) << Store::GetParameterName(i);
    }
}

TEST(character_Parameters, EvaluationCases) {
    Store store;
    store.SetValue(Index("Damping"), 50.0);
    store.SetMode(Index("Orientation"), 1);
    store.UpdateFollowingValues();
    EXPECT_DOUBLE_EQ(store.GetValue(Index("Orientation")), 0.125);

    // Inverted: the stabilisation time follows 1 - ratio.
    store.SetValue(Index("Stabilization"), 30.0);
    store.SetMode(Index("AnkleStabilizationTime"), 0);
    EXPECT_DOUBLE_EQ(store.EvaluateParentRatio(Index("AnkleStabilizationTime")), 0.7);
    // Three deep: DisplacementMemory follows Displacement, which follows Damping.
    store.SetMode(Index("Displacement"), 1);
    store.SetMode(Index("DisplacementMemory"), 0);
    EXPECT_DOUBLE_EQ(store.EvaluateParentRatio(Index("DisplacementMemory")), 0.5);
    // A chain ending in a parameter without a percentage unit gives -1 and restores defaults.
    int bottom = Index("FootBottomToAnkle");
    EXPECT_EQ(store.EvaluateParentRatio(bottom), -1.0);
    // Mode type 3 row whose parent is switched off.
    store.SetMode(Index("Displacement"), 0);
    EXPECT_FALSE(store.IsEnabled(Index("Displacement")));
    EXPECT_FALSE(store.IsEnabled(Index("DisplacementMemory")));
    EXPECT_TRUE(store.IsEnabled(Index("Damping")));
}

TEST(character_Parameters, PropertyMap) {
    const char* name = nullptr;
    ASSERT_TRUE(Store::FindParameterForProperty(&name, "HipsTOffset", 1));
    EXPECT_STREQ(name, "HipsTOffsetY");
    ASSERT_TRUE(Store::FindParameterForProperty(&name, "ScaleCompensationMode", 0));
    EXPECT_STREQ(name, "ScaleCompensation");
    ASSERT_TRUE(Store::FindParameterForProperty(&name, "FootContactSize", 0));
    EXPECT_STREQ(name, "ContactSize");
    EXPECT_FALSE(Store::FindParameterForProperty(&name, "HipsTOffset", 3));
    EXPECT_FALSE(Store::FindParameterForProperty(&name, "GameMode", 0));
    EXPECT_FALSE(Store::FindParameterForProperty(&name, "LeftShoulderUpAngle", 0));
    EXPECT_FALSE(Store::FindParameterForProperty(&name, "scaleCompensation", 0));
    bool isMode = false;
    EXPECT_EQ(Store::FindParameterIndexForProperty("MirrorMode", 0, &isMode), Index("Mirror"));
    EXPECT_TRUE(isMode);
    EXPECT_EQ(Store::FindParameterIndexForProperty("LeftUpLegRoll", 0, &isMode), Index("LeftUpLegRoll"));
    EXPECT_FALSE(isMode);
    // 168 rows: every parameter but "GameMode" and the eight shoulder angles is reachable.
    int mapped = 0;
    for (int i = 0; i < 177; ++i) {
        std::string p = Store::GetParameterName(i);
        bool found = false;
        // Its value name, mode name or special name: at least one lookup under some property.
        for (const char* suffix : {"", "Mode"}) {
            const char* back = nullptr;
            if (Store::FindParameterForProperty(&back, (p + suffix).c_str(), 0) &&
                back == Store::GetParameterName(i))
                found = true;
        }
        if (found) ++mapped;
    }
    // The special rows (renamed properties, vectors) are checked through the character's
    // properties; here the plain ones: 113 value rows plus the same-name mode rows.
    EXPECT_GE(mapped, 113);
}
