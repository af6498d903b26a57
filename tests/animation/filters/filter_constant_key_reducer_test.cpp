#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

std::vector<VTime> KeyTimes(const VFCurve& curve) {
    std::vector<VTime> times;
    for (int i = 0; i < curve.KeyGetCount(); ++i)
        times.push_back(curve.KeyGetTime(i));
    return times;
}

// The reduction written the plain way: every finished run is removed at once
// with KeyRemoveRange, and the tests read the curve as it is after each
// removal.
void ReferenceReduce(VFCurve& curve, int first, int last, double tolerance) {
    int i = last;
    while (i >= first) {
        double v = curve.KeyGetValue(i);
        float lo = (float)(v - tolerance), hi = (float)(v + tolerance);
        auto ok = [&](int j) {
            for (int k = j - 2; k <= j + 2; ++k) {
                if (k < first || k > last) continue;
                float value = curve.KeyGetValue(k);
                if (value < lo || value > hi) return false;
                if ((curve.KeyGetInterpolation(k) & 8) && !curve.KeyIsDefaultAuto(k)) return false;
            }
            return true;
        };
        int run = 0, runStart = -1;
        while (i >= first) {
            if (ok(i)) {
                runStart = i;
                ++run;
                --i;
            } else {
                --i;
                break;
            }
        }
        if (run > 0) {
            if (run != curve.KeyGetCount()) {
                curve.KeyRemoveRange(runStart, runStart + run - 1);
            } else {
                float value = curve.KeyGetValue(0);
                curve.KeyClear();
                curve.SetDefaultValue(value);
            }
            last -= run;
        }
    }
}

}  // namespace

TEST(filters_ConstantKeyReducer, FlatCurves) {
    VFCurveFilterConstantKeyReducer filter;
    CurvePtr empty(VFCurve::Create());
    EXPECT_FALSE(filter.Apply(*empty));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    EXPECT_STREQ(filter.GetLastErrorString(), "ConstantKeyReducer, No key to be filtered.");

    std::vector<float> fives(10, 5.0f);
    CurvePtr flat = FrameCurve(fives);
    EXPECT_TRUE(filter.Apply(*flat));
    EXPECT_EQ(flat->KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(flat->GetDefaultValue(), 5.0f);

    CurvePtr kept = FrameCurve(fives);
    filter.SetKeepOneKey(true);
    EXPECT_TRUE(filter.Apply(*kept));
    ASSERT_EQ(kept->KeyGetCount(), 1);
    EXPECT_EQ(kept->KeyGetTime(0), Frames(0));
    filter.Reset();
    EXPECT_FALSE(filter.GetKeepOneKey());
    EXPECT_DOUBLE_EQ(filter.GetScalingTolerance(), 0.004);
}

TEST(filters_ConstantKeyReducer, RunsKeepTheirEndsAndUserTangentsBreakThem) {
    VFCurveFilterConstantKeyReducer filter;
    CurvePtr curve = FrameCurve({0, 1, 5, 5, 5, 5, 5, 5, 2, 3});
    EXPECT_TRUE(filter.Apply(*curve));
    std::vector<VTime> expected = {Frames(0), Frames(1), Frames(2), Frames(3),
                                   Frames(6), Frames(7), Frames(8), Frames(9)};
    EXPECT_EQ(KeyTimes(*curve), expected);

    std::vector<float> fives(10, 5.0f);
    CurvePtr user = FrameCurve(fives);
    user->KeySetTangentMode(5, VFCurveKey::eTangentUser);
    EXPECT_TRUE(filter.Apply(*user));
    expected = {Frames(3), Frames(4), Frames(5), Frames(6), Frames(7)};
    EXPECT_EQ(KeyTimes(*user), expected);
}

TEST(filters_ConstantKeyReducer, ToleranceFollowsTheNodeKind) {
    auto alternating = [] { return FrameCurve({1.0f, 1.005f, 1.0f, 1.005f, 1.0f, 1.005f, 1.0f, 1.005f}); };

    // Scaling keeps the usual 0.009: the 0.005 wobble goes.
    NodePtr scaling(MakeChannel("S", 3));
    scaling->Get(0)->FCurveReplace(alternating().release());
    VFCurveFilterConstantKeyReducer filter;
    EXPECT_TRUE(filter.Apply(*scaling, true));
    EXPECT_EQ(Axis(scaling.get(), 0)->KeyGetCount(), 0);

    // A value tolerance of exactly 0.004 takes the scaling tolerance on scaling
    // nodes.
    scaling->Get(0)->FCurveReplace(alternating().release());
    filter.SetValueTolerance(0.004);
    filter.SetScalingTolerance(0.001);
    EXPECT_TRUE(filter.Apply(*scaling, true));
    EXPECT_EQ(Axis(scaling.get(), 0)->KeyGetCount(), 8);
    EXPECT_DOUBLE_EQ(filter.GetValueTolerance(),
                     0.004);  // restored after the walk

    // On translation a value tolerance still at 0.009 takes the translation
    // tolerance.
    NodePtr translation(MakeChannel("Lcl Translation", 1));
    translation->Get(0)->FCurveReplace(alternating().release());
    filter.Reset();
    filter.SetTranslationTolerance(0.001);
    EXPECT_TRUE(filter.Apply(*translation, true));
    EXPECT_EQ(Axis(translation.get(), 0)->KeyGetCount(), 8);
    filter.SetTranslationTolerance(0.01);
    EXPECT_TRUE(filter.Apply(*translation, true));
    EXPECT_EQ(Axis(translation.get(), 0)->KeyGetCount(), 0);

    // A tree of constant keys only is left alone.
    NodePtr constant(MakeChannel("T", 1));
    constant->Get(0)->FCurveReplace(
        FrameCurve({2, 2, 2, 2, 2}, VFCurveKey::eInterpolationConstant).release());
    EXPECT_FALSE(filter.Apply(*constant, true));
    EXPECT_EQ(Axis(constant.get(), 0)->KeyGetCount(), 5);
}

TEST(filters_ConstantKeyReducer, MatchesRemovingRunByRun) {
    std::mt19937 random(7);
    const float levels[4] = {0.0f, 0.004f, 1.0f, 2.0f};
    for (int round = 0; round < 200; ++round) {
        int count = 1 + (int)(random() % 40);
        std::vector<float> values;
        for (int i = 0; i < count; ++i)
            values.push_back(levels[random() % 4]);
        CurvePtr curve = FrameCurve(values);
        for (int i = 0; i < count; ++i) {
            if (random() % 8 == 0) curve->KeySetInterpolation(i, VFCurveKey::eInterpolationLinear);
            if (random() % 10 == 0) curve->KeySetTangentMode(i, VFCurveKey::eTangentUser);
        }
        VFCurveFilterConstantKeyReducer filter;
        if (round % 3 == 1) filter.SetStartTime(Frames(random() % 10));
        if (round % 3 == 2) filter.SetStopTime(Frames(count - (int)(random() % 10)));
        CurvePtr reference(curve->Copy());
        ReferenceReduce(*reference, filter.GetStartKeyIndex(*reference), filter.GetStopKeyIndex(*reference),
                        filter.GetValueTolerance());
        EXPECT_TRUE(filter.Apply(*curve));
        ASSERT_EQ(KeyTimes(*curve), KeyTimes(*reference)) << "round " << round;
        EXPECT_FLOAT_EQ(curve->GetDefaultValue(), reference->GetDefaultValue());
        for (double f = 0; f < count; f += 0.5) {
            EXPECT_NEAR(curve->Evaluate(Frames(f)), reference->Evaluate(Frames(f)), 1e-4)
                << round << " " << f;
        }
    }
}
