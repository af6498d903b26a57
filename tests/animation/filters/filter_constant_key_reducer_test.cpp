#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// The runs of the reduction written the plain way on a copy of the curve: every finished run is
// removed at once with KeyRemoveRange, and the scan reads the copy as it is after each removal.
// The answer: for each key, whether a run took it and the band of that run; an empty answer when
// every key qualified (the curve is cleared). A key's band is its run's band narrowed to the
// tolerance around the key's own value.
struct Band {
    bool removed = false;
    float lo = 0.0f, hi = 0.0f;
};
std::vector<Band> ReferenceRuns(const VFCurve& curve, int first, int last, double tolerance) {
    const int count = curve.KeyGetCount();
    CurvePtr work(curve.Copy());
    std::vector<int> original(count);  // the original index of each key of `work`
    for (int k = 0; k < count; ++k)
        original[(size_t)k] = k;
    std::vector<Band> bands((size_t)count);
    int i = last;
    while (i >= first) {
        double v = work->KeyGetValue(i);
        float lo = (float)(v - tolerance), hi = (float)(v + tolerance);
        auto ok = [&](int j) {
            for (int k = j - 2; k <= j + 2; ++k) {
                if (k < first || k > last) continue;
                float value = work->KeyGetValue(k);
                if (value < lo || value > hi) return false;
                if ((work->KeyGetInterpolation(k) & 8) && !work->KeyIsDefaultAuto(k)) return false;
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
            if (run == work->KeyGetCount()) return {};
            for (int k = runStart; k < runStart + run; ++k) {
                const double own = work->KeyGetValue(k);
                bands[(size_t)original[(size_t)k]] = {true, std::max(lo, (float)(own - tolerance)),
                                                      std::min(hi, (float)(own + tolerance))};
            }
            work->KeyRemoveRange(runStart, runStart + run - 1);
            original.erase(original.begin() + runStart, original.begin() + runStart + run);
            last -= run;
        }
    }
    return bands;
}

// The whole reduction the plain way: the runs above; then, on fresh copies, the keys of the runs
// are taken out one by one, and each whose time finds that curve outside its band stays, until every key
// taken out is inside its band.
void ReferenceReduce(VFCurve& curve, int first, int last, double tolerance) {
    std::vector<Band> bands = ReferenceRuns(curve, first, last, tolerance);
    if (bands.empty()) {
        float value = curve.KeyGetValue(0);
        curve.KeyClear();
        curve.SetDefaultValue(value);
        return;
    }
    CurvePtr work;
    for (bool back = true; back;) {
        work.reset(curve.Copy());
        for (int k = (int)bands.size() - 1; k >= 0; --k)
            if (bands[(size_t)k].removed) work->KeyRemoveRange(k, k);
        back = false;
        for (size_t k = 0; k < bands.size(); ++k) {
            if (!bands[k].removed) continue;
            const float value = work->Evaluate(curve.KeyGetTime((int)k));
            if (value < bands[k].lo || value > bands[k].hi) bands[k].removed = false, back = true;
        }
    }
    curve.CopyFrom(work.get(), true);
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

    // A slow drift and back, every value within 0.009 of the last: the whole curve is one flat
    // stretch, but its first value lies 0.0174 from the highest. The value it keeps must be within
    // the tolerance of every key's.
    const std::vector<float> drift = {0.0f, 0.0f, 0.004f, 0.008f, 0.012f, 0.0174f, 0.0174f, 0.012f, 0.0087f};
    const std::vector<float> single = {3.0f};
    for (const std::vector<float>* values : {&drift, &single}) {
        CurvePtr curve = FrameCurve(*values);
        EXPECT_TRUE(filter.Apply(*curve));
        EXPECT_EQ(curve->KeyGetCount(), 0);
        for (size_t i = 0; i < values->size(); ++i)
            EXPECT_NEAR(curve->Evaluate(Frames((double)i)), (*values)[i], 0.009) << "frame " << i;
    }
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

// Channels that move slowly, less than the band from key to key, so that long runs qualify: a
// noisy wander (which the reduction used to leave four times the tolerance away), slow sines and a
// drift. At the time of every key the reducer drops, the curve through the keys it keeps is
// inside the band of the run that took the key and within the tolerance of the key's value; the
// kept keys are the channel's own.
TEST(filters_ConstantKeyReducer, CurveThroughKeptKeysStaysInTheBandOfDroppedKeys) {
    const double kTwoPi = 6.283185307179586;
    std::vector<std::pair<const char*, std::vector<float>>> channels;
    std::mt19937 random(2940);
    std::vector<float> wander;
    double x = 0.0;
    for (int i = 0; i < 200; ++i) {
        x += ((double)(random() % 1000) / 1000.0 - 0.5) * 0.008;
        wander.push_back((float)x);
    }
    channels.push_back({"wander", wander});
    const double sines[][2] = {{0.05, 0.0}, {0.02, 0.0}, {0.0, 0.0015}, {0.03, 0.0006}};
    for (const auto& sine : sines) {
        std::vector<float> values;
        for (int i = 0; i < 240; ++i)
            values.push_back((float)(sine[0] * std::sin(kTwoPi * i / 240.0) + sine[1] * i));
        channels.push_back({"sine", values});
    }
    for (const auto& channel : channels) {
        SCOPED_TRACE(channel.first);
        const std::vector<float>& values = channel.second;
        CurvePtr curve = FrameCurve(values);
        VFCurveFilterConstantKeyReducer filter;
        const std::vector<Band> bands =
            ReferenceRuns(*curve, 0, curve->KeyGetCount() - 1, filter.GetValueTolerance());
        ASSERT_EQ(bands.size(), values.size());
        EXPECT_TRUE(filter.Apply(*curve));
        EXPECT_LT(curve->KeyGetCount(), (int)values.size()) << "some keys go";
        int kept = 0;
        for (int i = 0; i < (int)values.size(); ++i) {
            if (kept < curve->KeyGetCount() && curve->KeyGetTime(kept) == Frames(i)) {
                EXPECT_EQ(curve->KeyGetValue(kept), values[(size_t)i]) << "kept key at frame " << i;
                ++kept;
                continue;
            }
            const Band& band = bands[(size_t)i];
            ASSERT_TRUE(band.removed) << "frame " << i << " was in no run";
            const float at = curve->Evaluate(Frames(i));
            EXPECT_TRUE(at >= band.lo && at <= band.hi)
                << "frame " << i << ": " << at << " outside [" << band.lo << ", " << band.hi << "]";
        }
        EXPECT_EQ(kept, curve->KeyGetCount()) << "every key at a frame of the channel";
    }
}

// A slowly drifting, noisy position channel taken from a motion capture take at 120 frames per
// second. Dropped keys near the top of their run's band used to be checked only against that band,
// and the curve through the kept keys passed 0.016 away from the value at one frame. The curve at
// every frame must be within the tolerance of the frame's value.
TEST(filters_ConstantKeyReducer, SlowDriftStaysWithinTheToleranceOfEveryFrame) {
    const std::vector<float> values = {
        8.8213f, 8.8026f, 8.7818f, 8.7591f, 8.7338f, 8.717f,  8.6967f, 8.6655f, 8.6461f, 8.635f,  8.6226f,
        8.6087f, 8.5936f, 8.58f,   8.5638f, 8.5488f, 8.5373f, 8.5199f, 8.5026f, 8.4909f, 8.4775f, 8.4648f,
        8.4591f, 8.4618f, 8.4664f, 8.4639f, 8.4579f, 8.4559f, 8.457f,  8.4535f, 8.4493f, 8.4485f, 8.4449f,
        8.4459f, 8.4538f, 8.4601f, 8.4558f, 8.4465f, 8.4442f, 8.4404f, 8.4341f, 8.4227f, 8.4025f, 8.4003f,
        8.3957f, 8.3877f, 8.3777f, 8.3399f, 8.3141f, 8.3032f, 8.2959f, 8.2912f, 8.2895f, 8.2783f, 8.2858f,
        8.2794f, 8.2717f, 8.2659f, 8.2586f, 8.2583f, 8.2639f};
    for (double tolerance : {0.009, 0.02}) {
        SCOPED_TRACE(tolerance);
        CurvePtr curve = FrameCurve(values);
        VFCurveFilterConstantKeyReducer filter;
        filter.SetValueTolerance(tolerance);
        EXPECT_TRUE(filter.Apply(*curve));
        EXPECT_LT(curve->KeyGetCount(), (int)values.size()) << "some keys go";
        for (size_t i = 0; i < values.size(); ++i) {
            const double at = curve->Evaluate(Frames((double)i));
            // The bounds are rounded to float as the band is.
            EXPECT_GE(at, (float)(values[i] - tolerance)) << "frame " << i;
            EXPECT_LE(at, (float)(values[i] + tolerance)) << "frame " << i;
        }
    }
}
