#include <gtest/gtest.h>

#include <cmath>

#include "animation/fcurve.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

void FillUser(VFCurve& curve, std::initializer_list<float> values) {
    curve.ResizeKeyBuffer((int)values.size());
    int i = 0;
    for (float v : values) {
        curve.KeySet(i, Sec(i), v, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, 2.0f - i,
                     0.5f * i);
        ++i;
    }
}

TEST(FCurveEdit, KeyMoveWithinAndAcrossNeighbours) {
    VFCurve curve;
    FillUser(curve, {0, 1, 2, 3, 4});
    // Room enough: the time is simply set.
    EXPECT_EQ(curve.KeyMove(2, Sec(2.5)), 2);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2.5));
    // Onto another key's exact time: both stay, the moved one a tolerance later.
    VTime tolerance = VFCurve::GetTimeTolerance();
    int index = curve.KeyMove(1, Sec(3));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(curve.KeyGetCount(), 5);
    EXPECT_EQ(curve.KeyGetTime(1), Sec(2.5));
    EXPECT_EQ(curve.KeyGetTime(2), Sec(3));
    EXPECT_EQ(curve.KeyGetTime(3), Sec(3) + tolerance);
    EXPECT_EQ(curve.KeyGetValue(3), 1.0f);
    for (int i = 0; i + 1 < curve.KeyGetCount(); ++i)
        EXPECT_LT(curve.KeyGetTime(i), curve.KeyGetTime(i + 1));
}

TEST(FCurveEdit, KeyMoveRestoresTheLeftTangents) {
    VFCurve curve;
    FillUser(curve, {0, 1, 2, 3, 4});
    float ownLeft = curve.KeyGetLeftDerivative(1);
    float followerLeft = curve.KeyGetLeftDerivative(2);
    float newFollowerLeft = curve.KeyGetLeftDerivative(4);
    int index = curve.KeyMove(1, Sec(3.5));
    ASSERT_EQ(index, 3);
    EXPECT_EQ(curve.KeyGetLeftDerivative(3), ownLeft);
    EXPECT_EQ(curve.KeyGetLeftDerivative(1), followerLeft);  // the key that followed it at its old place
    EXPECT_EQ(curve.KeyGetLeftDerivative(4), newFollowerLeft);
}

TEST(FCurveEdit, KeyOffsetSelectedAndAll) {
    VFCurve curve;
    FillUser(curve, {0, 1, 2, 3});
    curve.KeySetSelected(2, true);
    EXPECT_EQ(curve.KeyGetSelectionCount(), 1);
    // The selected key passes its unselected predecessor.
    EXPECT_TRUE(curve.KeyOffset(true, Sec(-1.5), 10.0f));
    ASSERT_EQ(curve.KeyGetCount(), 4);
    EXPECT_EQ(curve.KeyGetTime(1), Sec(0.5));
    EXPECT_EQ(curve.KeyGetValue(1), 12.0f);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(1));
    EXPECT_TRUE(curve.KeyGetSelected(1));
    // Everything moves together.
    curve.KeyOffset(false, Sec(2), 1.0f);
    EXPECT_EQ(curve.KeyGetTime(0), Sec(2));
    EXPECT_EQ(curve.KeyGetValue(3), 4.0f);
    // Without keys the default value moves.
    VFCurve empty;
    empty.KeyOffset(false, Sec(1), 2.5f);
    EXPECT_EQ(empty.GetDefaultValue(), 2.5f);
    empty.KeyOffset(true, Sec(1), 2.5f);
    EXPECT_EQ(empty.GetDefaultValue(), 2.5f);
}

TEST(FCurveEdit, KeyInsertKeepsTheShape) {
    VFCurve curve;
    EXPECT_EQ(curve.KeyInsert(Sec(1)), 0);
    curve.KeyClear();
    FillUser(curve, {0, 3, -1, 2});
    float before[31];
    for (int i = 0; i <= 30; ++i)
        before[i] = curve.Evaluate(Sec(i * 0.1));
    EXPECT_EQ(curve.KeyInsert(Sec(1.7)), 2);
    EXPECT_EQ(curve.KeyGetCount(), 5);
    EXPECT_EQ(curve.KeyInsert(Sec(2)), 3);  // a key is already there
    EXPECT_EQ(curve.KeyGetCount(), 5);
    for (int i = 0; i <= 30; ++i)
        EXPECT_NEAR(curve.Evaluate(Sec(i * 0.1)), before[i], 1e-4) << i;
}

TEST(FCurveEdit, KeyInsertCurve) {
    VFCurve source;
    FillUser(source, {5, 6, 7});
    VFCurve curve;
    FillUser(curve, {0, 1});
    VFCurveTangentInfo left;
    left.mDerivative = 1.25f;
    curve.KeyInsertCurve(&source, Sec(10), left);  // after the last key: appended
    ASSERT_EQ(curve.KeyGetCount(), 5);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(10));
    EXPECT_EQ(curve.KeyGetTime(4), Sec(12));
    EXPECT_EQ(curve.KeyGetValue(4), 7.0f);
    EXPECT_EQ(curve.KeyGetLeftDerivative(2), 1.25f);
    EXPECT_EQ(curve.KeyGetLeftDerivative(4), source.KeyGetLeftDerivative(2));
    // Into the middle: each key lands at its shifted time, keeping the source's left slopes.
    curve.KeyInsertCurve(&source, Sec(0.25), 0.75f);
    ASSERT_EQ(curve.KeyGetCount(), 8);
    EXPECT_EQ(curve.KeyGetTime(1), Sec(0.25));
    EXPECT_EQ(curve.KeyGetLeftDerivative(1), 0.75f);
    EXPECT_EQ(curve.KeyGetLeftDerivative(2), source.KeyGetLeftDerivative(1));
    EXPECT_FALSE(curve.IsCandidate());
}

TEST(FCurveEdit, ValuesAndDerivativesOfManyKeys) {
    VFCurve curve;
    FillUser(curve, {1, 2, 3});
    curve.SetDefaultValue(2.0f);
    curve.KeyMultDerivativeAll(false, 2.0f);
    EXPECT_EQ(curve.GetDefaultValue(), 2.0f);
    EXPECT_EQ(curve.KeyGetRightDerivative(0), 4.0f);
    curve.KeyMultValueAndDerivativeAll(false, 0.5f);
    EXPECT_EQ(curve.KeyGetValue(2), 1.5f);
    EXPECT_EQ(curve.KeyGetRightDerivative(0), 2.0f);
    EXPECT_EQ(curve.GetDefaultValue(), 1.0f);
    curve.KeySetSelected(1, true);
    curve.KeySetValueAll(true, 9.0f);
    EXPECT_EQ(curve.KeyGetValue(0), 0.5f);
    EXPECT_EQ(curve.KeyGetValue(1), 9.0f);
    curve.KeySelectAll();
    EXPECT_EQ(curve.KeyGetSelectionCount(), 3);
    curve.KeyUnselectAll();
    EXPECT_EQ(curve.KeyGetSelectionCount(), 0);
    curve.KeySetEditState(2, 0x100000);
    curve.KeyClearEditStateAll();
    EXPECT_EQ(curve.KeyGetEditState(2), 0u);
    VFCurve empty;
    empty.SetDefaultValue(3.0f);
    empty.KeyMultValueAll(false, 2.0f);
    EXPECT_EQ(empty.GetDefaultValue(), 6.0f);
    empty.KeySetValueAll(false, 1.0f);
    EXPECT_EQ(empty.GetDefaultValue(), 1.0f);
}

TEST(FCurveEdit, ModeChangesKeepTheSlopes) {
    VFCurve curve;
    FillUser(curve, {0, 2, 1, 4});
    float right[4], left[4];
    for (int i = 0; i < 4; ++i)
        right[i] = curve.KeyGetRightDerivative(i), left[i] = curve.KeyGetLeftDerivative(i);
    // User (broken) to auto (broken): the slopes become auto values that give them back.
    curve.KeySetTangentModeAll(false, VFCurveKey::eTangentAutoBreak);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(curve.KeyGetTangentMode(i), VFCurveKey::eTangentAutoBreak);
        EXPECT_NEAR(curve.KeyGetRightDerivative(i), right[i], 1e-4) << i;
        if (i > 0) {
            EXPECT_NEAR(curve.KeyGetLeftDerivative(i), left[i], 1e-4) << i;
        }
    }
    curve.KeySetTangentModeAll(false, VFCurveKey::eTangentUserBreak);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(curve.KeyGetRightDerivative(i), right[i], 1e-4) << i;
    curve.KeySetSelected(0, true);
    curve.KeySetInterpolationAll(true, VFCurveKey::eInterpolationLinear);
    EXPECT_EQ(curve.KeyGetInterpolation(0), VFCurveKey::eInterpolationLinear);
    EXPECT_EQ(curve.KeyGetInterpolation(1), VFCurveKey::eInterpolationCubic);
}

TEST(FCurveEdit, ExpandedKeysFollowTheExtrapolation) {
    VFCurve curve;
    curve.ResizeKeyBuffer(4);
    // Equal end values: a repetition's boundary then has one value whichever copy it counts with.
    const float values[] = {0, 3, 1, 0};
    const double times[] = {0, 0.5, 1.75, 2};
    for (int i = 0; i < 4; ++i)
        curve.KeySet(i, Sec(times[i]), values[i], VFCurveKey::eInterpolationLinear);
    for (int pre = 2; pre <= 3; ++pre) {
        for (int post = 2; post <= 3; ++post) {
            curve.SetPreExtrapolation(pre);
            curve.SetPreExtrapolationCount(2);
            curve.SetPostExtrapolation(post);
            curve.SetPostExtrapolationCount(3);
            ASSERT_EQ(curve.KeyGetCountAll(), 4 + 5 * 3);
            VTime previous = VTIME_MINUS_INFINITE;
            for (int e = 0; e < curve.KeyGetCountAll(); ++e) {
                int zone;
                int index = curve.KeyGetIndexAll(e, &zone);
                VTime t = curve.KeyGetTimeAll(e);
                // Each expanded key stands where the extrapolated curve takes its value.
                EXPECT_NEAR(curve.Evaluate(t), curve.KeyGetPtrAll(e)->GetValue(), 1e-5)
                    << "modes " << pre << "/" << post << " e " << e;
                EXPECT_EQ(curve.KeyGetPtrAll(e)->GetValue(), values[index]);
                EXPECT_LT(previous, t) << e;
                EXPECT_EQ(zone, e < 6 ? 1 : (e < 10 ? 2 : 3));
                previous = t;
            }
            int zone;
            EXPECT_EQ(curve.KeyGetIndexAll(-1, &zone), 0);
            EXPECT_EQ(zone, 0);
            EXPECT_EQ(curve.KeyGetIndexAll(100, &zone), 3);
            EXPECT_EQ(zone, 4);
        }
    }
}

TEST(FCurveEdit, SpacingPeriodAndInspection) {
    VFCurve curve;
    VTime average, smallest, largest, first, period;
    curve.KeyGetSpacing(average, smallest, largest);
    EXPECT_EQ(smallest, VTIME_INFINITE);
    EXPECT_EQ(largest, VTime(0));
    EXPECT_FALSE(curve.KeyGetPeriod(first, period));
    for (int i = 0; i < 6; ++i)
        curve.KeyAppendFast(VTime(1000 + 500 * i + (i >= 3 ? 1 : 0)), (float)i);
    EXPECT_TRUE(curve.KeyIsRegular(average, smallest, largest));
    EXPECT_EQ(smallest, VTime(500));
    EXPECT_EQ(largest, VTime(501));
    EXPECT_EQ(average, VTime(500));
    EXPECT_TRUE(curve.KeyGetPeriod(first, period));
    EXPECT_EQ(first, VTime(1000));
    EXPECT_EQ(period, VTime(500));
    EXPECT_TRUE(curve.HasFlatAutoKey());
    EXPECT_TRUE(curve.KeyIsDefaultAuto(2));
    curve.KeySetRightAuto(2, 10.0f);
    EXPECT_FALSE(curve.KeyIsDefaultAuto(2));
    curve.KeySetTime(5, VTime(1000 + 500 * 5 + 3));  // 501 then 502: two ticks apart
    EXPECT_FALSE(curve.KeyGetPeriod(first, period));
    EXPECT_EQ(period, VTime(0));
    curve.KeySetTangentModeAll(false, VFCurveKey::eTangentUser);
    EXPECT_FALSE(curve.HasFlatAutoKey());
}

}  // namespace
