#include <gtest/gtest.h>
#include <algorithm>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// ---- A plain reference evaluator over user-tangent keys ------------------------------------------
// Keys carry explicit slopes, so the reference needs no tangent rules: it evaluates the Bezier in
// its power form, and solves the weighted time parameter by bisection.
struct RefKey {
    double t, v;
    int interpolation;  // 2, 4, 8
    bool constantNext;
    double right, nextLeft;  // slopes per second
    double rightWeight, nextLeftWeight;
    bool weighted;
};

double RefBezier(double p0, double p1, double p2, double p3, double s) {
    double r = 1.0 - s;
    return r * r * r * p0 + 3 * r * r * s * p1 + 3 * r * s * s * p2 + s * s * s * p3;
}

double RefSegment(const std::vector<RefKey>& keys, double t) {
    if (t <= keys.front().t) return keys.front().v;
    if (t >= keys.back().t) return keys.back().v;
    size_t k = 0;
    while (keys[k + 1].t <= t)
        ++k;
    const RefKey& a = keys[k];
    const RefKey& b = keys[k + 1];
    if (t == a.t) return a.v;
    double dt = b.t - a.t, u = (t - a.t) / dt;
    switch (a.interpolation) {
        case 2:
            return a.constantNext ? b.v : a.v;
        case 4:
            return a.v + (b.v - a.v) * u;
        default: {
            double wR = a.weighted ? a.rightWeight : 1.0 / 3.0;
            double wL = a.weighted ? a.nextLeftWeight : 1.0 / 3.0;
            double s = u;
            if (a.weighted) {
                double lo = 0, hi = 1;
                for (int i = 0; i < 100; ++i) {
                    double mid = 0.5 * (lo + hi);
                    (RefBezier(0, wR, 1 - wL, 1, mid) < u ? lo : hi) = mid;
                }
                s = 0.5 * (lo + hi);
            }
            return RefBezier(a.v, a.v + a.right * dt * wR, b.v - a.nextLeft * dt * wL, b.v, s);
        }
    }
}

// Three auto keys at 0, 1 and 2 s with values 0, 2 and 6: segment slopes 2 and 4 per second.
void ThreeAutoKeys(VFCurve& curve) {
    curve.KeyAdd(Sec(0));
    curve.KeyAdd(Sec(1));
    curve.KeyAdd(Sec(2));
    curve.KeySetValue(1, 2.0f);
    curve.KeySetValue(2, 6.0f);
}

// Extrapolation by reflection and repetition, written directly in seconds.
double RefEvaluate(const std::vector<RefKey>& keys, int preMode, int preCount, int postMode, int postCount,
                   double t) {
    double t0 = keys.front().t, tN = keys.back().t, span = tN - t0;
    if (t < t0 && preMode != 1) {
        double reps = preCount == -1 ? 1e300 : preCount;
        double cycles = (t0 - t) / span;
        if (preMode == 4) {
            double slope = keys[0].right;
            return keys[0].v - std::min(t0 - t, reps * span) * slope;
        }
        if (cycles >= reps) return keys.front().v;
        double c = std::floor(cycles);
        double r = (t0 - t) - c * span;  // distance into the copy, from its end
        bool mirrored = preMode == 3 && ((long long)c % 2 == 0);
        t = mirrored ? t0 + r : tN - r;
    } else if (t > tN && postMode != 1) {
        double reps = postCount == -1 ? 1e300 : postCount;
        double cycles = (t - tN) / span;
        if (postMode == 4)
            return keys.back().v + std::min(t - tN, reps * span) * keys[keys.size() - 2].nextLeft;
        if (cycles >= reps) return keys.back().v;
        double c = std::floor(cycles);
        double r = (t - tN) - c * span;
        bool mirrored = postMode == 3 && ((long long)c % 2 == 0);
        t = mirrored ? tN - r : t0 + r;
    }
    return RefSegment(keys, t);
}

// Builds the curve and its reference from random keys; `weighted` draws weights as well. The
// reference takes the values back from the curve, so that both see the same stored numbers.
void BuildRandom(std::mt19937& rng, int count, bool weighted, VFCurve& curve, std::vector<RefKey>& ref) {
    std::uniform_real_distribution<double> value(-10, 10), gap(0.05, 2.0), slope(-30, 30), weight(0.05, 0.9);
    std::uniform_int_distribution<int> kind(0, 9);
    double t = -3.0;
    curve.ResizeKeyBuffer(count);
    ref.clear();
    for (int i = 0; i < count; ++i) {
        t += gap(rng);
        int k = kind(rng);
        unsigned interpolation = k == 0 ? 2 : (k < 3 ? 4 : 8);
        unsigned weightMode = weighted ? (unsigned)VFCurveKey::eWeightedAll : 0u;
        curve.KeySet(i, Sec(t), (float)value(rng), interpolation, VFCurveKey::eTangentUserBreak,
                     (float)slope(rng), (float)slope(rng), weightMode, (float)weight(rng),
                     (float)weight(rng));
        if (k == 1) curve.KeySetConstantMode(i, VFCurveKey::eConstantNext), curve.KeySetInterpolation(i, 2);
    }
    for (int i = 0; i < count; ++i) {
        const VFCurveKey* key = curve.KeyGetPtr(i);
        RefKey r;
        r.t = key->GetTime().GetSecondDouble();
        r.v = key->GetValue();
        r.interpolation = (int)key->GetInterpolation();
        r.constantNext = key->GetConstantMode() == VFCurveKey::eConstantNext;
        r.right = key->GetDataFloat(0);
        r.nextLeft = key->GetDataFloat(1);
        r.weighted = weighted && i + 1 < count;
        r.rightWeight = key->GetDataFloat(2);
        r.nextLeftWeight = key->GetDataFloat(3);
        ref.push_back(r);
    }
    // Linear keys' slopes as the curve sees them, for keep-slope extrapolation.
    if (ref[0].interpolation == 4) ref[0].right = (ref[1].v - ref[0].v) / (ref[1].t - ref[0].t);
    if (ref[0].interpolation == 2) ref[0].right = 0;
    size_t n = ref.size();
    if (ref[n - 2].interpolation == 4)
        ref[n - 2].nextLeft = (ref[n - 1].v - ref[n - 2].v) / (ref[n - 1].t - ref[n - 2].t);
    if (ref[n - 2].interpolation == 2) ref[n - 2].nextLeft = 0;
}

TEST(FCurveEval, MatchesReferenceEvaluatorWithExtrapolation) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 24; ++round) {
        bool weighted = round % 3 == 2;
        VFCurve curve;
        std::vector<RefKey> ref;
        BuildRandom(rng, 2 + round * 3, weighted, curve, ref);
        int preMode = 1 + round % 4, postMode = 1 + (round / 4) % 4;
        int preCount = round % 5 == 0 ? -1 : round % 3, postCount = round % 7 == 0 ? -1 : (round + 1) % 3;
        curve.SetPreExtrapolation(preMode);
        curve.SetPreExtrapolationCount(preCount);
        curve.SetPostExtrapolation(postMode);
        curve.SetPostExtrapolationCount(postCount);
        double t0 = ref.front().t, tN = ref.back().t, span = tN - t0;
        int hint = 0;
        for (int i = 0; i <= 4000; ++i) {
            double t = t0 - 3.3 * span + i * (7.6 * span / 4000);
            VTime time = Sec(t);
            double expected =
                RefEvaluate(ref, preMode, preCount, postMode, postCount, time.GetSecondDouble());
            // Weighted segments solve their parameter to 1e-6, in single precision.
            double tolerance = weighted ? 2e-3 * (1 + std::fabs(expected)) : 1e-4 * (1 + std::fabs(expected));
            ASSERT_NEAR(curve.Evaluate(time, &hint), expected, tolerance)
                << "round " << round << " t " << t << " modes " << preMode << "/" << postMode << " counts "
                << preCount << "/" << postCount;
        }
    }
}

TEST(FCurveEval, SegmentsFollowTheKeySlopesForEveryTangentMix) {
    // Whatever tangent modes meet, a cubic segment is the Bezier of the slopes the keys report.
    std::mt19937 rng(77);
    const unsigned modes[] = {VFCurveKey::eTangentAuto, VFCurveKey::eTangentAutoBreak,
                              VFCurveKey::eTangentUser, VFCurveKey::eTangentUserBreak,
                              VFCurveKey::eTangentTCB};
    std::uniform_real_distribution<float> value(-5, 5), autoValue(-700, 700), unit(-0.9f, 0.9f);
    for (int round = 0; round < 20; ++round) {
        VFCurve curve;
        const int n = 12;
        curve.ResizeKeyBuffer(n);
        for (int i = 0; i < n; ++i) {
            unsigned mode = modes[rng() % 5];
            VTime t = Sec(i + 0.3 * (rng() % 3));
            if (mode == VFCurveKey::eTangentTCB)
                curve.KeySetTCB(i, t, value(rng), unit(rng), unit(rng), unit(rng));
            else
                curve.KeySet(
                    i, t, value(rng),
                    rng() % 6 == 0 ? VFCurveKey::eInterpolationLinear : VFCurveKey::eInterpolationCubic, mode,
                    autoValue(rng), autoValue(rng));
        }
        for (int i = 0; i + 1 < n; ++i) {
            if (curve.KeyGetInterpolation(i) != VFCurveKey::eInterpolationCubic) continue;
            double t0 = curve.KeyGetTime(i).GetSecondDouble(), t1 = curve.KeyGetTime(i + 1).GetSecondDouble();
            double dt = t1 - t0, v0 = curve.KeyGetValue(i), v1 = curve.KeyGetValue(i + 1);
            double p1 = v0 + curve.KeyGetRightDerivative(i) * dt / 3,
                   p2 = v1 - curve.KeyGetLeftDerivative(i + 1) * dt / 3;
            for (double u = 0.1; u < 1; u += 0.2) {
                double expected = RefBezier(v0, p1, p2, v1, u);
                ASSERT_NEAR(curve.Evaluate(Sec(t0 + u * dt)), expected, 1e-4 * (1 + std::fabs(expected)))
                    << "round " << round << " key " << i << " modes " << curve.KeyGetTangentMode(i) << "/"
                    << curve.KeyGetTangentMode(i + 1);
            }
        }
    }
}

TEST(FCurveEval, SequentialRandomAndHintedSearchesAgree) {
    std::mt19937 rng(99);
    VFCurve curve;
    std::vector<RefKey> ref;
    BuildRandom(rng, 300, false, curve, ref);
    std::uniform_real_distribution<double> when(ref.front().t - 1, ref.back().t + 1);
    int hint = 0;
    for (int i = 0; i < 3000; ++i) {
        VTime t = Sec(when(rng));
        int fresh = 150;
        // The hint lands before or after the time depending on the walk; the index agrees.
        ASSERT_EQ(curve.KeyFind(t, &hint), curve.KeyFind(t, &fresh));
        ASSERT_EQ(curve.Evaluate(t), curve.Evaluate(t, &hint));
    }
}

// Two floats with the same bits.
bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every pre- and post-extrapolation mode over the seeds.
void ExtrapolateBySeed(VFCurve& curve, unsigned seed) {
    curve.SetPreExtrapolation((int)(seed % 4) + 1);
    curve.SetPostExtrapolation((int)((seed / 4) % 4) + 1);
}

// A sampler (end key times read once) and EvaluateInside give Evaluate's values bit for bit:
// forward at a steady rate (at keys, between them, several per segment), with steps back and
// jumps, beyond both ends under every extrapolation mode, and on keys left out of order by raw
// time setters, where the search hint decides which segment answers.
TEST(FCurveEval, SamplerAndInsideAgreeWithEvaluate) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        VFCurve curve;
        std::vector<RefKey> ref;
        BuildRandom(rng, 5 + (int)(rng() % 80), seed % 3 == 0, curve, ref);
        ExtrapolateBySeed(curve, seed);
        if (seed % 5 == 0) curve.KeySetTime(2, Sec(ref.back().t + 0.5));  // out of order
        VFCurveSampler sampler(&curve);
        VFCurve copy;
        copy.CopyFrom(&curve);
        int hint = 0;
        const double t0 = ref.front().t, tN = ref.back().t;
        const double step = (tN - t0) / (37.0 + seed);
        for (int i = -20; i < 80; ++i) {
            const double seconds = i % 9 == 8 ? t0 + step * (i - 12) : t0 + step * i;
            const VTime t = Sec(seconds);
            const float expected = copy.Evaluate(t, &hint);
            ASSERT_TRUE(SameBits(sampler.Evaluate(t), expected)) << seed << " at " << seconds;
            if (seed % 5 == 0) continue;
            // Keys in order: a search from scratch (no usable hint) finds the same value.
            int cold = -1;
            ASSERT_TRUE(SameBits(copy.Evaluate(t, &cold), expected)) << seed << " at " << seconds;
            if (seconds >= t0 && seconds <= tN) {
                int inside = i % 2 ? 0 : hint;
                ASSERT_TRUE(SameBits(curve.EvaluateInside(t, &inside), expected))
                    << seed << " at " << seconds;
            }
        }
    }
    // No curve, no keys, one key.
    VFCurveSampler none;
    EXPECT_EQ(none.Evaluate(Sec(1)), 0.0f);
    VFCurve empty;
    empty.SetDefaultValue(3.5f);
    VFCurveSampler onEmpty(&empty);
    EXPECT_EQ(onEmpty.Evaluate(Sec(1)), 3.5f);
    VFCurveKey key;
    key.Set(Sec(2), 4.25f, VFCurveKey::eInterpolationLinear);
    empty.KeyAdd(Sec(2), key);
    onEmpty.Reset(&empty);
    EXPECT_EQ(onEmpty.Evaluate(Sec(-9)), 4.25f);
}

// Runs of ascending times (the keys' own times, times between them, repeats, runs that start
// before the first key or end past the last) give Evaluate's values and search position, one
// time after another, whatever position a run starts from.
TEST(FCurveEval, AscendingRunsAgreeWithEvaluate) {
    for (unsigned seed = 1; seed <= 16; ++seed) {
        std::mt19937 rng(seed);
        VFCurve curve;
        std::vector<RefKey> ref;
        BuildRandom(rng, 2 + (int)(rng() % 90), seed % 3 == 0, curve, ref);
        if (seed == 16) {
            // One key: no segment to walk.
            curve.KeyClear();
            VFCurveKey key;
            key.Set(Sec(ref.front().t), 2.5f, VFCurveKey::eInterpolationLinear);
            curve.KeyAdd(Sec(ref.front().t), key);
            ref.resize(1);
        }
        ExtrapolateBySeed(curve, seed);
        std::vector<int64_t> times;
        for (size_t k = 0; k < ref.size(); ++k) {
            const int64_t at = curve.KeyGetTime((int)k).Get();
            if (rng() % 4 != 0) times.push_back(at);
            if (rng() % 3 == 0) times.push_back(at + 1 + (int64_t)(rng() % 1000000000));
            if (rng() % 5 == 0) times.push_back(at);
        }
        times.push_back(curve.KeyGetTime(0).Get() - 12345);
        times.push_back(curve.KeyGetTime((int)ref.size() - 1).Get() + 12345);
        std::sort(times.begin(), times.end());
        size_t from = 0;
        while (from < times.size()) {
            const int count = std::min<int>(1 + (int)(rng() % 40), (int)(times.size() - from));
            int start = (int)(rng() % (ref.size() + 2)) - 1;
            int expectedHint = start, hint = start;
            std::vector<float> got((size_t)count * 3, -1.0f);
            curve.EvaluateAscending(&times[from], count, got.data(), 3, &hint);
            for (int k = 0; k < count; ++k) {
                const float expected = curve.Evaluate(VTime(times[from + (size_t)k]), &expectedHint);
                ASSERT_TRUE(SameBits(got[(size_t)k * 3], expected))
                    << seed << " at " << times[from + (size_t)k];
                ASSERT_EQ(got[(size_t)k * 3 + 1], -1.0f);  // only every stride-th value is written
            }
            ASSERT_EQ(hint, expectedHint) << seed;
            from += (size_t)count;
        }
    }
}

TEST(FCurveEval, KeyFindFractionsAndHints) {
    VFCurve curve;
    EXPECT_EQ(curve.KeyFind(Sec(1)), -1.0);
    curve.ResizeKeyBuffer(5);
    for (int i = 0; i < 5; ++i)
        curve.KeySet(i, Sec(i), (float)i, VFCurveKey::eInterpolationLinear);
    int hint = 2;
    EXPECT_EQ(curve.KeyFind(Sec(3), &hint), 3.0);
    EXPECT_EQ(hint, 3);
    EXPECT_EQ(curve.KeyFind(Sec(-1), &hint), -0.5);
    EXPECT_EQ(hint, 0);
    EXPECT_EQ(curve.KeyFind(Sec(7), &hint), 4.5);
    EXPECT_EQ(hint, 5);  // may point past the last key; the next search clamps it
    // Walking down the hint ends on the key before the time ...
    EXPECT_DOUBLE_EQ(curve.KeyFind(Sec(1.25), &hint), 1.25);
    EXPECT_EQ(hint, 1);
    // ... walking up on the key after it.
    EXPECT_DOUBLE_EQ(curve.KeyFind(Sec(2.5), &hint), 2.5);
    EXPECT_EQ(hint, 3);
    // An exact key time reached by walking up reports that key as a whole number.
    hint = 0;
    EXPECT_EQ(curve.KeyFind(Sec(4), &hint), 4.0);
    EXPECT_EQ(hint, 4);
    hint = -7;
    EXPECT_EQ(curve.KeyFind(Sec(0), &hint), 0.0);
}

TEST(FCurveEval, ExtrapolationModesOnTwoLinearKeys) {
    VFCurve curve;
    curve.ResizeKeyBuffer(2);
    curve.KeySet(0, Sec(0), 0.0f, VFCurveKey::eInterpolationLinear);
    curve.KeySet(1, Sec(1), 10.0f, VFCurveKey::eInterpolationLinear);
    EXPECT_FLOAT_EQ(curve.Evaluate(Sec(0.25)), 2.5f);
    EXPECT_EQ(curve.Evaluate(Sec(5)), 10.0f);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationRepetition);
    EXPECT_EQ(curve.Evaluate(Sec(1.25)), 10.0f);  // count 0 holds like constant
    curve.SetPostExtrapolationCount(-1);
    EXPECT_NEAR(curve.Evaluate(Sec(1.25)), 2.5f, 1e-5);
    EXPECT_NEAR(curve.Evaluate(Sec(1000.75)), 7.5f, 1e-4);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationMirrorRepetition);
    EXPECT_NEAR(curve.Evaluate(Sec(1.25)), 7.5f, 1e-5);
    EXPECT_NEAR(curve.Evaluate(Sec(2.25)), 2.5f, 1e-5);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationKeepSlope);
    curve.SetPostExtrapolationCount(2);
    EXPECT_NEAR(curve.Evaluate(Sec(2)), 20.0f, 1e-4);
    EXPECT_NEAR(curve.Evaluate(Sec(10)), 30.0f, 1e-4);
    curve.SetPostExtrapolationCount(-1);
    EXPECT_NEAR(curve.Evaluate(Sec(10)), 100.0f, 1e-3);
    // Repetition with count 1 holds the first key beyond one span.
    curve.SetPreExtrapolation(VFCurve::eExtrapolationRepetition);
    curve.SetPreExtrapolationCount(1);
    EXPECT_EQ(curve.Evaluate(Sec(-1.5)), 0.0f);
    EXPECT_NEAR(curve.Evaluate(Sec(-0.5)), 5.0f, 1e-5);
    // An unknown mode holds the end key.
    curve.SetPreExtrapolation(9);
    EXPECT_EQ(curve.Evaluate(Sec(-0.5)), 0.0f);
    EXPECT_EQ(curve.KeyFindAll(Sec(-0.5)), -0.5);
    // Times at the ends of the time line do not overflow.
    curve.SetPreExtrapolation(VFCurve::eExtrapolationMirrorRepetition);
    curve.SetPreExtrapolationCount(-1);
    float far = curve.Evaluate(VTime(-INT64_MAX));
    EXPECT_TRUE(far >= 0.0f && far <= 10.0f);
    curve.SetPreExtrapolation(VFCurve::eExtrapolationKeepSlope);
    EXPECT_TRUE(std::isfinite(curve.Evaluate(VTime(-INT64_MAX))));
}

TEST(FCurveEval, KeysAtTheEndsOfTheTimeLine) {
    // Keys further apart than the signed 64-bit range: every mode, at every far time, stays
    // between the key values (and, under the sanitizers, free of overflow).
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    curve.KeySet(0, VTime(-INT64_MAX + 5), -1.0f, VFCurveKey::eInterpolationLinear);
    curve.KeySet(1, VTime(0), 0.5f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto);
    curve.KeySet(2, VTime(INT64_MAX - 5), 1.0f, VFCurveKey::eInterpolationLinear);
    for (int mode = 0; mode <= 4; ++mode) {
        for (int count : {0, 1, -1}) {
            curve.SetPreExtrapolation(mode);
            curve.SetPreExtrapolationCount(count);
            curve.SetPostExtrapolation(mode);
            curve.SetPostExtrapolationCount(count);
            for (int64_t t : {-INT64_MAX, -INT64_MAX + 4, (int64_t)0, INT64_MAX - 4, INT64_MAX}) {
                float v = curve.Evaluate(VTime(t));
                EXPECT_TRUE(std::isfinite(v)) << mode << " " << count << " " << t;
                if (mode != 4) {
                    EXPECT_TRUE(v >= -1.0f && v <= 1.0f) << mode << " " << count << " " << t;
                }
                curve.KeyFindAll(VTime(t));
                curve.EvaluateLeftDerivative(VTime(t));
            }
            VTime average, smallest, largest;
            curve.KeyGetSpacing(average, smallest, largest);
            curve.KeyGetTimeAll(2);
        }
    }
}

TEST(FCurveEval, RepetitionEndsExactlyAtItsLimit) {
    // Keys at 1 s (value 1) and 3 s (value 5), repeated twice before the first key: the
    // repetitions reach back to 1 - 2 x 2 = -3 s, where the first key's value holds again.
    VFCurve curve;
    curve.ResizeKeyBuffer(2);
    curve.KeySet(0, Sec(1), 1.0f, VFCurveKey::eInterpolationLinear);
    curve.KeySet(1, Sec(3), 5.0f, VFCurveKey::eInterpolationLinear);
    curve.SetPreExtrapolation(VFCurve::eExtrapolationRepetition);
    curve.SetPreExtrapolationCount(2);
    const VTime limit = Sec(1) - (Sec(3) - Sec(1)) * 2;
    const VTime tick(1);
    EXPECT_EQ(curve.Evaluate(limit), 1.0f) << "at the limit: the first key, not the last";
    EXPECT_EQ(curve.Evaluate(limit - tick), 1.0f) << "beyond the limit";
    // One tick inside: the start of the earliest copy.
    EXPECT_EQ(curve.Evaluate(limit + tick), curve.Evaluate(Sec(1) + tick));
    EXPECT_NEAR(curve.Evaluate(limit + tick), 1.0f, 1e-6);
    EXPECT_EQ(curve.KeyFindAll(limit), 0.0);
    // The end keys themselves are no repetition.
    curve.SetPostExtrapolation(VFCurve::eExtrapolationRepetition);
    curve.SetPostExtrapolationCount(2);
    EXPECT_EQ(curve.KeyFindAll(Sec(1)), 0.0);
    EXPECT_EQ(curve.KeyFindAll(Sec(3)), 1.0);
    // Half way into the earliest copy.
    EXPECT_NEAR(curve.Evaluate(limit + Sec(1)), 3.0f, 1e-5);
    // The same rule after the last key.
    const VTime end = Sec(3) + (Sec(3) - Sec(1)) * 2;
    EXPECT_EQ(curve.Evaluate(end), 5.0f);
    EXPECT_EQ(curve.Evaluate(end + tick), 5.0f);
    EXPECT_EQ(curve.Evaluate(end - tick), curve.Evaluate(Sec(3) - tick));
}

TEST(FCurveEval, NoKeysAndOneKey) {
    VFCurve curve;
    curve.SetDefaultValue(4.0f);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationKeepSlope);
    EXPECT_EQ(curve.Evaluate(Sec(-3)), 4.0f);
    EXPECT_EQ(curve.EvaluateIndex(0.5), 4.0f);
    curve.KeyAdd(Sec(1));
    curve.KeySetValue(0, 7.0f);
    for (double t : {-100.0, 1.0, 2.0, 1e6})
        EXPECT_EQ(curve.Evaluate(Sec(t)), 7.0f);
}

TEST(FCurveEval, ConstantAndCubicSegments) {
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    curve.KeySet(0, Sec(0), 1.0f, VFCurveKey::eInterpolationConstant, 0);
    curve.KeySet(1, Sec(1), 5.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 0.0f, 0.0f);
    curve.KeySet(2, Sec(3), 9.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 0.0f, 0.0f);
    EXPECT_EQ(curve.Evaluate(Sec(0.5)), 1.0f);
    curve.KeySetConstantMode(0, VFCurveKey::eConstantNext);
    EXPECT_EQ(curve.Evaluate(Sec(0.5)), 5.0f);
    EXPECT_EQ(curve.Evaluate(Sec(0)), 1.0f);
    // Flat tangents: the midpoint is the mean of the two values.
    EXPECT_FLOAT_EQ(curve.Evaluate(Sec(2)), 7.0f);
    // Default weights give the same curve through the weighted path.
    float plain[9];
    for (int i = 0; i < 9; ++i)
        plain[i] = curve.Evaluate(Sec(1 + 0.25 * i));
    curve.KeySetRightDerivative(1, 3.0f);
    curve.KeySetLeftDerivative(2, -2.0f);
    for (int i = 0; i < 9; ++i)
        plain[i] = curve.Evaluate(Sec(1 + 0.25 * i));
    curve.KeySetTangentWeightMode(1, VFCurveKey::eWeightedAll);
    curve.KeySetDataFloat(1, 2, kFCurveDefaultWeight);
    curve.KeySetDataFloat(1, 3, kFCurveDefaultWeight);
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(curve.Evaluate(Sec(1 + 0.25 * i)), plain[i], 2e-5);
    // Fractional indexes at and past the last key give the last key's value.
    EXPECT_EQ(curve.EvaluateIndex(2.0), 9.0f);
    EXPECT_EQ(curve.EvaluateIndex(2.5), 9.0f);
    EXPECT_EQ(curve.EvaluateIndex(-0.5), 1.0f);
    // An interpolation outside the three evaluates to 0, and a key of such an interpolation
    // after a cubic key has no left slope.
    curve.KeySetInterpolation(0, 0);
    EXPECT_EQ(curve.Evaluate(Sec(0.5)), 0.0f);
    curve.KeySetInterpolation(2, 0);
    EXPECT_EQ(curve.KeyGetLeftDerivative(2), 0.0f);
}

TEST(FCurveEval, TcbSlopes) {
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    curve.KeySetTCB(0, Sec(0), 0.0f);
    curve.KeySetTCB(1, Sec(1), 2.0f);  // incoming slope 2
    curve.KeySetTCB(2, Sec(2), 6.0f);  // outgoing slope 4
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), 3.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), 3.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(0), 2.0f);  // (1-T)(1-B)(1-C) s_out at the first key
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), 4.0f);
    curve.KeySetDataRaw(1, 0, 1.0f);  // tension 1
    EXPECT_EQ(curve.KeyGetLeftDerivative(1), 0.0f);
    EXPECT_EQ(curve.KeyGetRightDerivative(1), 0.0f);
    // Continuity and bias act differently on the two sides ...
    curve.KeySetDataRaw(1, 0, 0.0f);
    curve.KeySetDataRaw(1, 1, 0.5f);
    curve.KeySetDataRaw(1, 2, 0.25f);
    double left = 0.5 * (1.25 * 0.5 * 2 + 0.75 * 1.5 * 4), right = 0.5 * (1.25 * 1.5 * 2 + 0.75 * 0.5 * 4);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), (float)left);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), (float)right);
    // ... until the left side follows the right one.
    EXPECT_FALSE(VFCurveGetTcbLeftFromRight());
    VFCurveSetTcbLeftFromRight(true);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), (float)right);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), 4.0f);  // the last key has no right side of its own
    VFCurveSetTcbLeftFromRight(false);

    // The end keys with their own tension, continuity and bias: one segment each.
    const double T2 = 0.3, C2 = 0.2, B2 = -0.4, T0 = -0.5, C0 = 0.25, B0 = 0.5;
    curve.KeySetDataRaw(2, 0, (float)T2);
    curve.KeySetDataRaw(2, 1, (float)C2);
    curve.KeySetDataRaw(2, 2, (float)B2);
    curve.KeySetDataRaw(0, 0, (float)T0);
    curve.KeySetDataRaw(0, 1, (float)C0);
    curve.KeySetDataRaw(0, 2, (float)B0);
    const double in = 4.0, out = 2.0;  // the slopes of the last and of the first segment
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), (float)((1 - (double)(float)T2) * (1 + (double)(float)B2) *
                                                           (1 - (double)(float)C2) * in));
    EXPECT_FLOAT_EQ(
        curve.KeyGetRightDerivative(0),
        (float)((1 - (double)(float)T0) * (1 - (double)(float)B0) * (1 - (double)(float)C0) * out));
    // The last key's right slope is its left one.
    EXPECT_EQ(curve.KeyGetRightDerivative(2), curve.KeyGetLeftDerivative(2));
}

TEST(FCurveEval, AutoKeysAndSideAccessors) {
    VFCurve curve;
    ThreeAutoKeys(curve);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), 3.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), 3.0f);
    curve.KeySetTangentMode(1, VFCurveKey::eTangentAutoBreak);
    curve.KeySetLeftAuto(1, 100.0f);
    curve.KeySetRightAuto(1, 100.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), 2.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), 4.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftAuto(1), 100.0f);
    // Setting a slope on an auto side stores the auto value that gives it.
    curve.KeySetRightDerivative(1, 3.5f);
    EXPECT_NEAR(curve.KeyGetRightDerivative(1), 3.5f, 1e-5);
    EXPECT_NEAR(curve.KeyGetRightAuto(1), 50.0f, 1e-4);
    // Bezier control values one third of the segment away.
    EXPECT_NEAR(curve.KeyGetRightBezierTangent(1), 2.0f + 3.5f / 3.0f, 1e-5);
    curve.KeySetLeftBezierTangent(1, 2.0f - 1.0f);  // a left slope of 3
    EXPECT_NEAR(curve.KeyGetLeftDerivative(1), 3.0f, 1e-4);
    curve.KeySetValue(0, 0.5f);
    EXPECT_EQ(curve.KeyGetLeftBezierTangent(0), 0.5f);  // the first key has no left side
    curve.KeySetValue(0, 0.0f);
    // Weights and velocities by side.
    EXPECT_FALSE(curve.KeyIsRightWeighted(1));
    EXPECT_EQ(curve.KeyGetRightWeight(1), kFCurveDefaultWeight);
    curve.KeySetRightWeight(1, 0.5f);
    curve.KeySetLeftWeight(2, 0.25f);
    EXPECT_TRUE(curve.KeyIsRightWeighted(1));
    EXPECT_TRUE(curve.KeyIsLeftWeighted(2));
    EXPECT_NEAR(curve.KeyGetRightWeight(1), 0.5f, 1e-4);
    EXPECT_NEAR(curve.KeyGetLeftWeight(2), 0.25f, 1e-4);
    EXPECT_FALSE(curve.KeyIsRightWeighted(2));  // the last key has no right side
    // Not even with the flag set on it directly, nor before the first key.
    curve.KeyGetPtr(2)->SetTangentWeightMode(VFCurveKey::eWeightedRight, VFCurveKey::eWeightedRight);
    EXPECT_FALSE(curve.KeyIsRightWeighted(2));
    EXPECT_FALSE(curve.KeyIsRightWeighted(-1));
    curve.KeySetRightWeighted(1, false);
    EXPECT_FALSE(curve.KeyIsRightWeighted(1));
    curve.KeySetRightVelocity(0, 0.5f);
    curve.KeySetLeftVelocity(1, -0.25f);
    EXPECT_NEAR(curve.KeyGetRightVelocity(0), 0.5f, 1e-4);
    EXPECT_NEAR(curve.KeyGetLeftVelocity(1), -0.25f, 1e-4);
    curve.KeySetLeftVelocityFlag(1, false);
    EXPECT_EQ(curve.KeyGetLeftVelocity(1), 0.0f);
    // Only user tangents take derivative increments and scaling.
    curve.KeyIncRightDerivative(1, 1.0f);
    EXPECT_NEAR(curve.KeyGetRightDerivative(1), 3.5f, 1e-5);
    curve.KeySetTangentMode(1, VFCurveKey::eTangentUserBreak);
    curve.KeySetRightDerivative(1, 1.0f);
    curve.KeySetLeftDerivative(1, -1.0f);
    curve.KeyIncRightDerivative(1, 1.0f);
    curve.KeyMultTangents(1, 3.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), 6.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), -3.0f);
    // A key of unknown interpolation after an auto key has no left slope; its left auto value
    // is the one of that zero slope, not the auto value kept in the slot before it.
    VFCurve odd;
    ThreeAutoKeys(odd);
    odd.KeySetLeftAuto(1, 50.0f);
    odd.KeySetInterpolation(1, 0);
    EXPECT_EQ(odd.KeyGetLeftDerivative(1), 0.0f);
    double slope;
    VFCurveAutoValueToLeftDerivative(slope, odd.KeyGetLeftAuto(1), &odd, 1);
    EXPECT_NEAR(slope, 0.0, 1e-4);
    // A user key (not broken) takes its left slope on both sides.
    curve.KeySetTangentMode(1, VFCurveKey::eTangentUser);
    curve.KeySetLeftDerivative(1, 5.0f);
    EXPECT_EQ(curve.KeyGetRightDerivative(1), 5.0f);
}

// Keys unevenly spaced (0, 1, 3 s): a left side reads the segment before its key only, and a
// side setter leaves the other side of an auto-break key as it was.
TEST(FCurveEval, SidesReadAndSetOnlyTheirOwnSegment) {
    VFCurve curve;
    curve.KeyAdd(Sec(0));
    curve.KeyAdd(Sec(1));
    curve.KeyAdd(Sec(3));
    curve.KeySetValue(1, 2.0f);
    curve.KeySetValue(2, 8.0f);
    // The left control value of the last key, one third of the 2 s segment before it.
    EXPECT_NEAR(curve.KeyGetLeftBezierTangent(2), 8.0f - curve.KeyGetLeftDerivative(2) * 2.0f / 3.0f, 1e-5);
    curve.KeySetTangentMode(1, VFCurveKey::eTangentAutoBreak);
    const float right = curve.KeyGetRightDerivative(1);
    curve.KeySetLeftAuto(1, 100.0f);
    EXPECT_NE(curve.KeyGetLeftDerivative(1), right);
    EXPECT_EQ(curve.KeyGetRightDerivative(1), right);
    // On a user-break key a left auto value lands as the slope it gives (that of the segment).
    curve.KeySetTangentMode(1, VFCurveKey::eTangentUserBreak);
    curve.KeySetLeftDerivative(1, -1.0f);
    curve.KeySetLeftAuto(1, 100.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(1), 2.0f);
    // The last key has no right side: a velocity flag set on it directly gives none.
    curve.KeyGetPtr(2)->SetDataFloat(4, 0.75f);
    curve.KeyGetPtr(2)->SetTangentVelocityMode(VFCurveKey::eVelocityRight, VFCurveKey::eVelocityRight);
    EXPECT_FALSE(curve.KeyIsRightVelocity(2));
    EXPECT_EQ(curve.KeyGetRightVelocity(2), 0.0f);
}

TEST(FCurveEval, TangentInfoRoundTripAndFirstKey) {
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        curve.KeySet(i, Sec(i), (float)i, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak,
                     1.0f, 2.0f);
    VFCurveTangentInfo info;
    info.mDerivative = -4.0f;
    info.mWeight = 0.6f;
    info.mWeighted = true;
    info.mVelocity = 0.2f;
    info.mHasVelocity = true;
    curve.KeySetLeftTangentInfo(2, info);
    VFCurveTangentInfo back = curve.KeyGetLeftTangentInfo(2);
    EXPECT_EQ(back.mDerivative, -4.0f);
    EXPECT_NEAR(back.mWeight, 0.6f, 1e-4);
    EXPECT_TRUE(back.mWeighted);
    EXPECT_NEAR(back.mVelocity, 0.2f, 1e-4);
    EXPECT_TRUE(back.mHasVelocity);
    // The first key has no left side: writing it changes nothing.
    VFCurveKey before = curve.KeyGet(0);
    curve.KeySetLeftTangentInfo(0, info);
    EXPECT_EQ(curve.KeyGetPtr(0)->GetFlags(), before.GetFlags());
    for (int d = 0; d < 6; ++d)
        EXPECT_EQ(curve.KeyGetDataFloat(0, d), before.GetDataFloat(d));
}

}  // namespace

namespace {

// Sets key `index`'s left slope on a five-key curve whose key before it has tangent mode
// `prevMode` and which is itself of `interpolation` and `mode`; checks that the slope reads back
// and that the segment ending at the key is the Bezier of that slope.
void CheckLeftDerivativeSetter(int index, unsigned prevMode, unsigned interpolation, unsigned mode) {
    const double times[5] = {0, 1, 2.5, 3, 4.5};
    const float values[5] = {0, 2, 1, 4, 3};
    VFCurve curve;
    curve.ResizeKeyBuffer(5);
    for (int i = 0; i < 5; ++i)
        curve.KeySet(i, Sec(times[i]), values[i], VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto,
                     0.0f, 0.0f);
    if (index > 0) curve.KeySetTangentMode(index - 1, prevMode);
    curve.KeySetInterpolation(index, interpolation);
    curve.KeySetTangentMode(index, mode);
    const std::string what = "key " + std::to_string(index) + " after mode " + std::to_string(prevMode) +
                             ", itself " + std::to_string(interpolation) + "/" + std::to_string(mode);
    if (index == 0) {
        // The first key has no left side: nothing changes.
        float left = curve.KeyGetLeftDerivative(0), at = curve.Evaluate(Sec(0.5));
        curve.KeySetLeftDerivative(0, 5.0f);
        EXPECT_EQ(curve.KeyGetLeftDerivative(0), left) << what;
        EXPECT_EQ(curve.Evaluate(Sec(0.5)), at) << what;
        return;
    }
    const float d = 5.0f;
    float prevRight = curve.KeyGetRightDerivative(index - 1);
    curve.KeySetLeftDerivative(index, d);
    EXPECT_NEAR(curve.KeyGetLeftDerivative(index), d, 1e-4) << what;
    EXPECT_NEAR(curve.KeyGetRightDerivative(index - 1), prevRight, 1e-4) << what;
    if (interpolation == VFCurveKey::eInterpolationCubic && mode == VFCurveKey::eTangentUser && index < 4) {
        EXPECT_NEAR(curve.KeyGetRightDerivative(index), d, 1e-4) << what << ": an unbroken user key";
    }
    double t0 = times[index - 1], t1 = times[index], dt = t1 - t0;
    double p0 = values[index - 1], p3 = values[index];
    for (double u = 0.125; u < 1; u += 0.25) {
        double expected = RefBezier(p0, p0 + prevRight * dt / 3, p3 - d * dt / 3, p3, u);
        EXPECT_NEAR(curve.Evaluate(Sec(t0 + u * dt)), expected, 1e-4) << what << " at " << u;
    }
    // The auto value of the side agrees with the slope, and setting it reads back too.
    if (index == 4 && (prevMode == VFCurveKey::eTangentAuto || prevMode == VFCurveKey::eTangentAutoBreak) &&
        (mode == VFCurveKey::eTangentAuto || mode == VFCurveKey::eTangentAutoBreak)) {
        curve.KeySetLeftAuto(index, 50.0f);
        EXPECT_NEAR(curve.KeyGetLeftAuto(index), 50.0f, 1e-4) << what;
    }
}

}  // namespace

TEST(FCurveEval, LeftDerivativeSetterAgreesWithTheGetter) {
    const unsigned cubicModes[] = {VFCurveKey::eTangentAuto, VFCurveKey::eTangentAutoBreak,
                                   VFCurveKey::eTangentUser, VFCurveKey::eTangentUserBreak};
    for (int index : {0, 2, 4}) {
        for (unsigned prevMode : cubicModes) {
            for (unsigned mode : cubicModes)
                CheckLeftDerivativeSetter(index, prevMode, VFCurveKey::eInterpolationCubic, mode);
            // A linear or constant key takes its left side from the cubic key before it.
            CheckLeftDerivativeSetter(index, prevMode, VFCurveKey::eInterpolationLinear,
                                      VFCurveKey::eTangentAuto);
            CheckLeftDerivativeSetter(index, prevMode, VFCurveKey::eInterpolationConstant, 0);
        }
    }
    // The three-key case: the last key's left slope, set to 5, reads back as 5.
    VFCurve curve;
    ThreeAutoKeys(curve);
    curve.KeySetLeftDerivative(2, 5.0f);
    EXPECT_NEAR(curve.KeyGetLeftDerivative(2), 5.0f, 1e-4);
    EXPECT_NEAR(curve.Evaluate(Sec(1.5)), RefBezier(2, 2 + 3.0 / 3, 6 - 5.0 / 3, 6, 0.5), 1e-4);
}

// The key walk over whole blocks of keys (25 each), as the writers sample them: linear keys at
// frames 0, 1, ... holding 10 x the frame, so that every value is worked out from the frame. The
// walk from any hint reaches the first and the last key and stops at them, a time past the last
// key holds the last value and leaves the hint past the end, and one key answers its value.
TEST(FCurveEval, BlockWalkStopsAtTheEndKeys) {
    const int64_t frame = 1539538600;  // 1/30 s
    for (int n : {1, 2, 24, 25, 26, 50}) {
        SCOPED_TRACE(n);
        VFCurve curve;
        ASSERT_TRUE(curve.ResizeKeyBuffer(n));
        for (int i = 0; i < n; ++i)
            curve.KeySet(i, VTime(i * frame), 10.0f * (float)i, VFCurveKey::eInterpolationLinear);
        const int64_t last = (n - 1) * frame;
        const float lastValue = 10.0f * (float)(n - 1);
        for (int start : {-1, 0, n / 2, n - 3, n - 2, n - 1, n, n + 5}) {
            SCOPED_TRACE(start);
            int hint = start;
            EXPECT_EQ(curve.Evaluate(VTime(last + 1), &hint), lastValue);
            hint = start;
            EXPECT_EQ(curve.Evaluate(VTime(last), &hint), lastValue);
            hint = start;
            EXPECT_EQ(curve.Evaluate(VTime(-1), &hint), 0.0f);
            hint = start;
            EXPECT_EQ(curve.Evaluate(VTime(0), &hint), 0.0f);
            hint = start;
            if (n > 1) EXPECT_EQ(curve.KeyFind(VTime(last - frame / 2), &hint), n - 1.5);
            hint = start;
            EXPECT_EQ(curve.KeyFind(VTime(last + 1), &hint), n - 0.5) << "past the last key";
            hint = start;
            EXPECT_EQ(curve.KeyFind(VTime(-1), &hint), -0.5) << "before the first key";
            // A walk in steps of a third of a frame from before the first key to past the last.
            std::vector<int64_t> times;
            for (int64_t t = -frame; t <= last + 2 * frame; t += frame / 3)
                times.push_back(t);
            std::vector<float> values(times.size(), -1.0f);
            hint = start;
            curve.EvaluateAscending(times.data(), (int)times.size(), values.data(), 1, &hint);
            for (size_t k = 0; k < times.size(); ++k) {
                const double at = std::min(std::max((double)times[k], 0.0), (double)last);
                EXPECT_NEAR(values[k], 10.0 * at / (double)frame, 1e-4) << "at " << times[k];
            }
        }
    }
}

// Moving a key's derivative by a step changes the slope its segment holds and names, in the
// change record, the key that starts that segment: the key itself for its right side, the key
// before it for its left side.
TEST(FCurveEval, DerivativeStepsNameTheSegmentsKey) {
    struct Log {
        std::vector<VFCurveEvent> events;
        static void Callback(VFCurve*, VFCurveEvent* event, void* data) {
            static_cast<Log*>(data)->events.push_back(*event);
        }
    } log;  // outlives the curve, which reports its end
    VFCurve curve;
    curve.ResizeKeyBuffer(4);
    for (int i = 0; i < 4; ++i)
        curve.KeySet(i, Sec(i), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser);
    curve.CallbackRegister(&Log::Callback, &log);
    const float left = curve.KeyGetLeftDerivative(2), right = curve.KeyGetRightDerivative(1);
    curve.KeyIncLeftDerivative(2, 1.5f);
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), left + 1.5f);
    curve.KeyIncRightDerivative(1, -2.0f);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(1), right - 2.0f);
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0].mKeyIndexStart, 1) << "the left side of key 2 is held by key 1";
    EXPECT_EQ(log.events[0].mKeyIndexStop, 1);
    EXPECT_EQ(log.events[1].mKeyIndexStart, 1);
    // Out of range, nothing changes and nothing is recorded.
    curve.KeyIncLeftDerivative(0, 1.0f);
    curve.KeyIncRightDerivative(3, 1.0f);
    EXPECT_EQ(log.events.size(), 2u);
}

TEST(FCurveEval, HintedSearchesOverKeysAwayFromTimeZero) {
    // Keys at 10, 20 and 30 s: a search that walks down from the hint measures the fraction from
    // the key before the time, not from time 0.
    VFCurve curve;
    curve.ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        curve.KeySet(i, Sec(10.0 * (i + 1)), 100.0f * (float)i, VFCurveKey::eInterpolationLinear);
    int hint = 1;
    EXPECT_DOUBLE_EQ(curve.KeyFind(Sec(15), &hint), 0.5);
    hint = 1;
    EXPECT_FLOAT_EQ(curve.Evaluate(Sec(12.5), &hint), 25.0f);
    // A key added at an existing key's time, with the hint on that key, replaces it.
    VFCurveKey key;
    key.Set(Sec(20), 7.0f, VFCurveKey::eInterpolationLinear);
    hint = 1;
    EXPECT_EQ(curve.KeyAdd(Sec(20), key, &hint), 1);
    EXPECT_EQ(curve.KeyGetCount(), 3);
    EXPECT_EQ(curve.KeyGetValue(1), 7.0f);
    // A constant segment holds its key's value up to the next key, which answers at its own time
    // whichever key the hint names.
    VFCurve steps;
    steps.ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        steps.KeySet(i, Sec(i + 1), 10.0f * (float)(i + 1), VFCurveKey::eInterpolationConstant);
    for (int start : {0, 1, 2}) {
        hint = start;
        EXPECT_EQ(steps.Evaluate(Sec(2), &hint), 20.0f) << "hint " << start;
        EXPECT_EQ(steps.Evaluate(Sec(2), &hint), 20.0f) << "again, hint " << hint;
    }
}

TEST(FCurveEval, SearchesPastTheLastKeyOfAFullBlock) {
    // Curves whose keys fill their last block exactly: a search past the last key, from a hint
    // near the end, stops at the key count.
    for (int n : {25, 50}) {
        VFCurve curve;
        for (int i = 0; i < n; ++i) {
            VFCurveKey key;
            key.Set(Sec(i), (float)i, VFCurveKey::eInterpolationLinear);
            curve.KeyAdd(Sec(i), key);
        }
        ASSERT_EQ(curve.KeyGetCount(), n);
        for (int start = n - 4; start < n; ++start) {
            int hint = start;
            EXPECT_EQ(curve.KeyFind(Sec(n + 5.0), &hint), n - 0.5) << n << " keys, hint " << start;
            EXPECT_EQ(hint, n);
            hint = start;
            EXPECT_EQ(curve.Evaluate(Sec(n + 5.0), &hint), (float)(n - 1));
        }
    }
}

TEST(FCurveEval, WeightSettersKeepToTheSidesThatExist) {
    // Keys 0, 1, 2 s, cubic with user slopes.
    auto make = [](VFCurve& curve) {
        curve.ResizeKeyBuffer(3);
        for (int i = 0; i < 3; ++i)
            curve.KeySet(i, Sec(i), (float)(i * i), VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser,
                         1.0f, 1.0f);
    };
    // The second key's left side is the first segment's: weighting it takes effect.
    VFCurve curve;
    make(curve);
    curve.KeySetLeftWeighted(1, true);
    EXPECT_TRUE(curve.KeyIsLeftWeighted(1));
    curve.KeySetLeftWeighted(1, false);
    EXPECT_FALSE(curve.KeyIsLeftWeighted(1));

    // The last key has no right side: a weight given to it is dropped, and a key appended after
    // it later starts an unweighted segment.
    VFCurve plain, weighted;
    make(plain);
    make(weighted);
    weighted.KeySetRightWeight(2, 0.05f);
    weighted.KeySetRightWeight(-1, 0.05f);
    EXPECT_FALSE(weighted.KeyIsRightWeighted(2));
    for (VFCurve* c : {&plain, &weighted}) {
        VFCurveKey key;
        key.Set(Sec(3), 2.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 1.0f, 1.0f);
        c->KeyAdd(Sec(3), key);
    }
    EXPECT_FALSE(weighted.KeyIsRightWeighted(2));
    for (double t = 2.1; t < 3.0; t += 0.2)
        EXPECT_EQ(weighted.Evaluate(Sec(t)), plain.Evaluate(Sec(t))) << t;
}
