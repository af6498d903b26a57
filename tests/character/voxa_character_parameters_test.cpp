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

namespace {

// Every descriptor field but the name (bounds and default value as used, after scaling).
struct Row {
    int parent, modeType, unit;
    double min, max;
    int defaultMode;
    double defaultValue;
    bool invert;
};

Row RowOf(int i) {
    return {Store::GetParameterParent(i),       Store::GetParameterModeType(i),
            Store::GetParameterUnit(i),         Store::GetParameterMin(i),
            Store::GetParameterMax(i),          Store::GetParameterDefaultMode(i),
            Store::GetParameterDefaultValue(i), Store::GetParameterInvert(i)};
}

// Two rows alike in every field; `parentShift` is what the second row's parent index adds to
// the first's (rows of two mirrored groups point into their own group).
void ExpectSameRow(int a, int b, int parentShift) {
    SCOPED_TRACE(std::string(Store::GetParameterName(a)) + " / " + Store::GetParameterName(b));
    Row x = RowOf(a), y = RowOf(b);
    EXPECT_EQ(y.parent, x.parent == -1 ? -1 : x.parent + parentShift);
    EXPECT_EQ(y.modeType, x.modeType);
    EXPECT_EQ(y.unit, x.unit);
    EXPECT_EQ(y.min, x.min);
    EXPECT_EQ(y.max, x.max);
    EXPECT_EQ(y.defaultMode, x.defaultMode);
    EXPECT_EQ(y.defaultValue, x.defaultValue);
    EXPECT_EQ(y.invert, x.invert);
}

}  // namespace

// The row table is kept exactly as spelled; its columns change behaviour only in some rows, so
// these are the rules every row obeys, the mirrored groups, and a few rows checked outright.
TEST(character_Parameters, RowTableInvariants) {
    for (int i = 0; i < 177; ++i) {
        SCOPED_TRACE(Store::GetParameterName(i));
        Row row = RowOf(i);
        EXPECT_GE(row.modeType, 0);
        EXPECT_LE(row.modeType, 3);
        EXPECT_GE(row.unit, 0);
        EXPECT_LE(row.unit, 6);
        EXPECT_LE(row.min, row.max);
        // A mode word a row starts with is one its SetMode accepts.
        if (row.modeType == 2) {
            EXPECT_LE(row.defaultMode, 2);
        } else if (row.modeType == 1 || row.modeType == 3) {
            EXPECT_LE(row.defaultMode, 1);
        }
        // A two-state row starts out following its parent, so it has one.
        if (row.modeType == 3) {
            EXPECT_NE(row.parent, -1);
        }
        // Parents form a tree: each comes before its children (UpdateFollowingValues walks in
        // index order, so a child sees its parent's updated value), and chains are short.
        EXPECT_GE(row.parent, -1);
        EXPECT_LT(row.parent, i);
        int depth = 0;
        for (int p = i; p >= 0 && depth <= 4; p = Store::GetParameterParent(p))
            ++depth;
        EXPECT_LE(depth, 3);
        // Fractions shown as percentages: 0..100 as used, never following a parent.
        if (row.unit == 1) {
            EXPECT_EQ(row.min, 0.0);
            EXPECT_EQ(row.max, 100.0);
            EXPECT_GE(row.defaultValue, 0.0);
            EXPECT_LE(row.defaultValue, 100.0);
            EXPECT_LE(row.modeType, 1);
        }
        if (row.unit == 0) {
            EXPECT_EQ(row.modeType, 1) << "unit 0 rows are switches";
        }
        // The reach, pull and resist strengths are all plain percentages at the top level.
        std::string name = Store::GetParameterName(i);
        if (name.rfind("Ctrl", 0) == 0 || name.rfind("Reach", 0) == 0) {
            EXPECT_EQ(row.parent, -1);
            EXPECT_EQ(row.modeType, 0);
            EXPECT_EQ(row.unit, 1);
        }
    }

    // Left and right rows are alike.
    int pairs = 0, rights = 0;
    for (int i = 0; i < 177; ++i) {
        std::string name = Store::GetParameterName(i);
        if (name.find("Right") != std::string::npos) ++rights;
        size_t at = name.find("Left");
        if (at == std::string::npos) continue;
        std::string right = name == "ReachActorLeftAnkleRotationRotation"
                                ? "ReachActorRightAnkleRotation"
                                : name.substr(0, at) + "Right" + name.substr(at + 4);
        int j = Index(right.c_str());
        if (j < 0) continue;
        ExpectSameRow(i, j, 0);
        ++pairs;
    }
    EXPECT_EQ(pairs, 46);
    EXPECT_EQ(rights, pairs);

    // The hand contact rows mirror the foot contact rows (switch, six distances, contact size,
    // automatic toes/fingers, pivot, stiffness), and the finger contact rows of both.
    int foot = Index("FloorContact"), hand = Index("HandFloorContact");
    ASSERT_EQ(Store::GetParameterName(hand + 10), std::string("ParamHandContactStiffness"));
    for (int k = 0; k <= 10; ++k)
        ExpectSameRow(foot + k, hand + k, hand - foot);
    int footFinger = Index("FootContactType"), handFinger = Index("HandContactType");
    for (int k = 0; k < 4; ++k)
        ExpectSameRow(handFinger + k, footFinger + k, footFinger - handFinger);

    // A few rows as the table gives them.
    struct Expected {
        const char* name;
        const char* parent;
        Row row;
    };
    const Expected expected[] = {
        {"ScaleCompensation", nullptr, {-1, 2, 6, 1.0, 1000.0, 1, 100.0, false}},
        {"MassCenterCompensation", nullptr, {-1, 1, 6, 0.0, 120.0, 1, 80.0, false}},
        {"FootInToAnkle", "FloorContact", {0, 0, 3, 0.0, 10000.0, 1, 5.0, false}},
        {"AutomaticFingers", nullptr, {-1, 1, 0, 0.0, 0.0, 0, 0.0, false}},
        {"DisplacementMemory", "Displacement", {0, 3, 2, 0.0, (double)0.25f, 0, 0.0, false}},
        {"AnkleStabilizationTime", "Stabilization", {0, 3, 2, 0.0, 1.0, 0, 0.0, true}},
        {"CtrlResistChestPosition", nullptr, {-1, 0, 1, 0.0, 100.0, 0, 0.0, false}},
        {"CtrlResistRightKnee", nullptr, {-1, 0, 1, 0.0, 100.0, 0, 50.0, false}},
    };
    for (const Expected& e : expected) {
        int i = Index(e.name);
        Row want = e.row;
        if (e.parent) want.parent = Index(e.parent);
        SCOPED_TRACE(e.name);
        Row got = RowOf(i);
        EXPECT_EQ(got.parent, want.parent);
        EXPECT_EQ(got.modeType, want.modeType);
        EXPECT_EQ(got.unit, want.unit);
        EXPECT_EQ(got.min, want.min);
        EXPECT_EQ(got.max, want.max);
        EXPECT_EQ(got.defaultMode, want.defaultMode);
        EXPECT_EQ(got.defaultValue, want.defaultValue);
        EXPECT_EQ(got.invert, want.invert);
    }
}
