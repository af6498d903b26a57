#include <gtest/gtest.h>

#include <cmath>

#include "animation/fcurve.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

// Keys at 0, 1, 2 ... seconds with the given values and user slopes.
void FillUser(VFCurve& curve, std::initializer_list<float> values) {
    curve.ResizeKeyBuffer((int)values.size());
    int i = 0;
    for (float v : values) {
        curve.KeySet(i, Sec(i), v, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak,
                     1.5f * i - 2.0f, 3.0f - i);
        ++i;
    }
}

bool SameKeys(const VFCurve& a, const VFCurve& b) {
    if (a.KeyGetCount() != b.KeyGetCount()) return false;
    for (int i = 0; i < a.KeyGetCount(); ++i) {
        const VFCurveKey *x = a.KeyGetPtr(i), *y = b.KeyGetPtr(i);
        if (x->GetTime() != y->GetTime() || x->GetValue() != y->GetValue() || x->GetFlags() != y->GetFlags())
            return false;
        for (int d = 0; d < 6; ++d)
            if (x->GetDataFloat(d) != y->GetDataFloat(d)) return false;
    }
    return true;
}

TEST(FCurveCandidate, EvaluateSetAndClear) {
    VFCurve curve;
    FillUser(curve, {0, 4, 2});
    EXPECT_FALSE(curve.IsCandidate());
    int last = -1;
    EXPECT_FALSE(curve.CandidateKey(&last));  // nothing to key
    float v = curve.CandidateEvaluate(Sec(0.5));
    EXPECT_EQ(v, curve.Evaluate(Sec(0.5)));
    EXPECT_TRUE(curve.IsCandidate());
    EXPECT_EQ(curve.CandidateGetTime(), Sec(0.5));
    // A stored candidate answers for its time even when the curve says otherwise.
    curve.CandidateSet(Sec(0.5), 42.0);
    EXPECT_EQ(curve.CandidateEvaluate(Sec(0.5)), 42.0f);
    // Changing a key empties it.
    curve.KeySetValue(1, 5.0f);
    EXPECT_FALSE(curve.IsCandidate());
    EXPECT_EQ(curve.CandidateGet(), 0.0f);
    curve.CandidateSet(Sec(1.5), 1.0);
    curve.KeyModifyBegin();
    curve.KeyModifyEnd();  // so does the end of a bracket
    EXPECT_FALSE(curve.IsCandidate());

    // Without keys the default is the value: evaluating again after a change sees the change.
    VFCurve flat;
    flat.SetDefaultValue(1.0f);
    EXPECT_EQ(flat.CandidateEvaluate(Sec(2)), 1.0f);
    flat.SetDefaultValue(3.0f);
    EXPECT_EQ(flat.CandidateEvaluate(Sec(2)), 3.0f);
    // With keys the default does not shape the curve, and a candidate stays.
    curve.CandidateSet(Sec(0.5), 9.0);
    curve.SetDefaultValue(-1.0f);
    EXPECT_EQ(curve.CandidateEvaluate(Sec(0.5)), 9.0f);
}

TEST(FCurveCandidate, KeyingBetweenUserKeysKeepsTheShape) {
    VFCurve curve;
    FillUser(curve, {0, 4, -2, 3});
    float before[41];
    for (int i = 0; i <= 40; ++i)
        before[i] = curve.Evaluate(Sec(i * 0.075));
    VFCurveTangentInfo outerLeft = curve.KeyGetLeftTangentInfo(1),
                       outerRight = curve.KeyGetRightTangentInfo(2);
    curve.CandidateEvaluate(Sec(1.3));
    int index = -1;
    ASSERT_TRUE(curve.CandidateKey(&index, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(curve.KeyGetCount(), 5);
    // A split Bezier is the same curve: every value stays.
    for (int i = 0; i <= 40; ++i)
        EXPECT_NEAR(curve.Evaluate(Sec(i * 0.075)), before[i], 1e-4) << i;
    EXPECT_EQ(curve.KeyGetLeftTangentInfo(1).mDerivative, outerLeft.mDerivative);
    EXPECT_EQ(curve.KeyGetRightTangentInfo(3).mDerivative, outerRight.mDerivative);
    EXPECT_FALSE(curve.IsCandidate());
}

TEST(FCurveCandidate, ToleranceSnapsOntoAKey) {
    VFCurve curve;
    FillUser(curve, {0, 4, -2, 3});
    curve.CandidateSet(Sec(2.02), 9.0);
    int index = -1;
    ASSERT_TRUE(curve.CandidateKey(&index, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak,
                                   false, false, VTIME_INFINITE, 0.05));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(curve.KeyGetCount(), 4);
    EXPECT_EQ(curve.KeyGetValue(2), 9.0f);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2.02));
    EXPECT_EQ(curve.KeyGetTangentMode(2), VFCurveKey::eTangentUserBreak);
    // With set-key-type the key is made anew: a TCB key here.
    ASSERT_TRUE(curve.CandidateKey(&index, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentTCB, false,
                                   true, Sec(2.0), 0.05));
    EXPECT_EQ(curve.KeyGetCount(), 4);
    EXPECT_EQ(curve.KeyGetTangentMode(2), VFCurveKey::eTangentTCB);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2.0));
}

TEST(FCurveCandidate, KeyMakingOnEmptyCurvesAndBreaks) {
    VFCurve curve;
    curve.CandidateSet(Sec(1), 2.0);
    ASSERT_TRUE(curve.CandidateKey(nullptr, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, true));
    ASSERT_EQ(curve.KeyGetCount(), 1);
    EXPECT_EQ(curve.KeyGetTangentMode(0), VFCurveKey::eTangentAutoBreak);
    EXPECT_EQ(curve.KeyGetDataFloat(0, 0), 100.0f);
    EXPECT_EQ(curve.KeyGetDataFloat(0, 1), 100.0f);
    VFCurve tcb;
    tcb.CandidateSet(Sec(1), 2.0);
    ASSERT_TRUE(tcb.CandidateKey(nullptr, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentTCB, true));
    EXPECT_EQ(tcb.KeyGetTangentMode(0), VFCurveKey::eTangentTCB);
    EXPECT_EQ(tcb.KeyGetDataRaw(0, 1), 0.0f);
    // A broken auto key between two keys follows each straight segment.
    VFCurve linear;
    linear.ResizeKeyBuffer(2);
    linear.KeySet(0, Sec(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto);
    linear.KeySet(1, Sec(2), 4.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto);
    linear.CandidateSet(Sec(1), 3.0);
    int index;
    ASSERT_TRUE(linear.CandidateKey(&index, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, true));
    EXPECT_EQ(linear.KeyGetTangentMode(1), VFCurveKey::eTangentAutoBreak);
    EXPECT_FLOAT_EQ(linear.KeyGetLeftDerivative(1), 3.0f);
    EXPECT_FLOAT_EQ(linear.KeyGetRightDerivative(1), 1.0f);
}

TEST(FCurveCandidate, CopiesAndRanges) {
    VFCurve curve;
    FillUser(curve, {1, 4, -2, 3, 8, 5, 7});
    curve.SetColor(0.5f, 0.25f, 0.125f);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationMirrorRepetition);
    curve.SetPostExtrapolationCount(3);
    curve.SetOwnerTag(9);
    VFCurve* whole = curve.Copy();
    VFCurve other;
    other.CopyFrom(&curve);
    EXPECT_TRUE(SameKeys(*whole, curve));
    EXPECT_TRUE(SameKeys(other, curve));
    EXPECT_EQ(whole->GetPostExtrapolationCount(), 3);
    EXPECT_EQ(other.GetColor()[2], 0.125f);
    EXPECT_EQ(other.GetOwnerTag(), 9u);
    delete whole;
    VFCurve* part = curve.Copy(Sec(1), Sec(3));
    EXPECT_EQ(part->KeyGetCount(), 0);
    delete part;
    other.CopyFrom(&curve, false);
    EXPECT_EQ(other.KeyGetCount(), 0);

    // Keys exactly at start and stop stay; those strictly between go.
    EXPECT_TRUE(curve.KeyRemoveTimeRange(Sec(2), Sec(5)));
    ASSERT_EQ(curve.KeyGetCount(), 5);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2));
    EXPECT_EQ(curve.KeyGetTime(3), Sec(5));
    // The key after a removed range keeps its left slope.
    EXPECT_EQ(curve.KeyGetLeftDerivative(3), -1.0f);  // data 1 of the former key 4
    // Removing every key leaves the first key's value as the default.
    EXPECT_TRUE(curve.KeyRemoveRange(0, curve.KeyGetCount() - 1));
    EXPECT_EQ(curve.KeyGetCount(), 0);
    EXPECT_EQ(curve.GetDefaultValue(), 1.0f);
    EXPECT_FALSE(curve.KeyRemoveRange(0, 0));
    EXPECT_FALSE(curve.KeyRemoveTimeRange(Sec(0), Sec(1)));
}

TEST(FCurveCandidate, ReplaceSpans) {
    VFCurve source;
    FillUser(source, {10, 11, 12, 13, 14, 15, 16, 17});
    VFCurve curve;
    FillUser(curve, {0, 1, 2, 3, 4, 5, 6, 7});
    // The span [2, 5] is replaced, its edge keys included.
    curve.Replace(&source, Sec(2), Sec(5));
    ASSERT_EQ(curve.KeyGetCount(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(curve.KeyGetValue(i), (i >= 2 && i <= 5) ? 10.0f + i : (float)i) << i;
    // An empty source removes the span's keys and adds none, unless asked to key it.
    VFCurve empty;
    empty.SetDefaultValue(-5.0f);
    curve.Replace(&empty, Sec(2), Sec(5), true, false);
    EXPECT_EQ(curve.KeyGetCount(), 4);
    curve.Replace(&empty, Sec(2), Sec(5), true, true);
    ASSERT_EQ(curve.KeyGetCount(), 8);
    EXPECT_EQ(curve.Evaluate(Sec(2)), -5.0f);
    EXPECT_EQ(curve.Evaluate(Sec(5)), -5.0f);
    EXPECT_EQ(curve.KeyGetTime(2), Sec(2) - VTime(1));
    EXPECT_EQ(curve.KeyGetTime(5), Sec(5) + VTime(1));
    // The whole time line stands for the source's key span.
    VFCurve fresh;
    fresh.Replace(&source, VTIME_MINUS_INFINITE, VTIME_INFINITE);
    EXPECT_TRUE(SameKeys(fresh, source));
}

TEST(FCurveCandidate, PastingACurveIntoItself) {
    VFCurve curve;
    FillUser(curve, {0, 1, 2, 3, 4});
    curve.Replace(&curve, Sec(1), Sec(3));
    ASSERT_EQ(curve.KeyGetCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(curve.KeyGetValue(i), (float)i);
    curve.KeyInsertCurve(&curve, Sec(10), 0.0f);
    ASSERT_EQ(curve.KeyGetCount(), 10);
    EXPECT_EQ(curve.KeyGetTime(9), Sec(14));
    // A key of the curve itself added earlier in time lands whole.
    curve.KeyAdd(Sec(0.5), &curve, 4);
    EXPECT_EQ(curve.KeyGetValue(1), 4.0f);
    EXPECT_EQ(curve.KeyGetValue(5), 4.0f);
}

TEST(FCurveCandidate, ReplaceWithOffsetsAndScale) {
    VFCurve source;
    source.ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        source.KeySet(i, Sec(100 * i), 2.0f, VFCurveKey::eInterpolationLinear);
    VFCurve curve;
    curve.ResizeKeyBuffer(5);
    for (int i = 0; i < 5; ++i)
        curve.KeySet(i, Sec(100 * i), 1.0f, VFCurveKey::eInterpolationLinear);
    // A long span fades from the start factor to the end factor.
    curve.ReplaceWithScale(&source, Sec(0), Sec(200), 1.0f, 0.0f);
    EXPECT_EQ(curve.KeyGetValue(0), 2.0f);
    EXPECT_EQ(curve.KeyGetValue(1), 1.0f);
    EXPECT_EQ(curve.KeyGetValue(2), 0.0f);
    EXPECT_EQ(curve.KeyGetValue(3), 1.0f);
    // Offsets: pasted values move (or mirror), and so do the keys after the span.
    curve.ReplaceWithOffsets(&source, Sec(0), Sec(200), 3.0f, 10.0f, true, false);
    EXPECT_EQ(curve.KeyGetValue(0), 1.0f);  // 3 - 2
    EXPECT_EQ(curve.KeyGetValue(2), 1.0f);
    EXPECT_EQ(curve.KeyGetValue(3), 11.0f);
    EXPECT_EQ(curve.KeyGetValue(4), 11.0f);
    // An offset of 1e-7 or less does nothing, mirror or not.
    curve.ReplaceWithOffsets(&source, Sec(0), Sec(200), 1e-8f, 0.0f, true, true);
    EXPECT_EQ(curve.KeyGetValue(1), 2.0f);
    EXPECT_EQ(curve.KeyGetValue(4), 11.0f);
}

TEST(FCurveCandidate, ReplaceKeepsTheSlopesAtTheEdges) {
    VFCurve curve;
    FillUser(curve, {0, 1, 5, 3, 2, 6});
    float left = curve.EvaluateLeftDerivative(Sec(1.5));
    float right = curve.EvaluateRightDerivative(Sec(3.5));
    VFCurve source;
    source.ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i)
        source.KeySet(i, Sec(1.5 + i), 9.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak);
    curve.Replace(&source, Sec(1.5), Sec(3.5), true);
    ASSERT_EQ(curve.KeyGetTime(2), Sec(1.5));
    EXPECT_FLOAT_EQ(curve.KeyGetLeftDerivative(2), left);
    EXPECT_FLOAT_EQ(curve.KeyGetRightDerivative(4), right);
}

}  // namespace
