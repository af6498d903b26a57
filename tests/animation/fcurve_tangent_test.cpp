#include <gtest/gtest.h>

#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"

namespace {

VTime Sec(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

double Left(double b, double p, double q) {
    double d;
    AutoValueToLeftDerivative(d, b, p, q);
    return d;
}

double Right(double b, double p, double q) {
    double d;
    AutoValueToRightDerivative(d, b, p, q);
    return d;
}

TEST(FCurveTangent, AutoValuesToDerivatives) {
    const double p = 2.0, q = 5.0;
    EXPECT_DOUBLE_EQ(Left(0, p, q), 3.5);
    EXPECT_DOUBLE_EQ(Right(0, p, q), 3.5);
    EXPECT_EQ(Left(100, p, q), p);
    EXPECT_DOUBLE_EQ(Right(100, p, q), q);
    EXPECT_EQ(Left(-100, p, q), q);
    EXPECT_DOUBLE_EQ(Right(-100, p, q), p);
    EXPECT_DOUBLE_EQ(Left(300, p, q), 2 * p - q);  // linear extrapolation of the blend
    EXPECT_DOUBLE_EQ(Left(600, 0, 1), -42.5);      // blend -2.5 plus the overshoot 0.04 x -1000
    // With equal slopes the two sides overshoot in opposite directions.
    EXPECT_LT(Left(600, 1, 1), 1.0);
    EXPECT_GT(Right(600, 1, 1), 1.0);
    EXPECT_EQ(SignedSquare(-3, 2), 18);
    double l, r;
    AutoValuesToDerivatives(l, r, 100, 100, p, q);
    EXPECT_EQ(l, p);
    EXPECT_DOUBLE_EQ(r, q);
}

TEST(FCurveTangent, DerivativeToAutoValueInvertsInAllRanges) {
    const double slopes[][2] = {{2, 5}, {5, 2}, {-1, 3}, {0, 1}, {4, 4}, {-3, -3.5}};
    for (const auto& s : slopes) {
        double p = s[0], q = s[1];
        for (double b = -900; b <= 900; b += 37.5) {
            if (std::fabs(p - q) < 1e-5 && std::fabs(b) <= 500) continue;  // flat blend: every b gives p
            double t = Left(b, p, q), back, wanted = t;
            LeftDerivativeToAutoValue(back, wanted, p, q);
            EXPECT_NEAR(Left(back, p, q), t, 1e-6 * (1 + std::fabs(t)))
                << "left p " << p << " q " << q << " b " << b;
            t = Right(b, p, q);
            wanted = t;
            RightDerivativeToAutoValue(back, wanted, p, q);
            EXPECT_NEAR(Right(back, p, q), t, 1e-6 * (1 + std::fabs(t)))
                << "right p " << p << " q " << q << " b " << b;
        }
    }
    double b, tiny = 5e-6;
    LeftDerivativeToAutoValue(b, tiny, 1, 3);
    EXPECT_EQ(tiny, 0.0);  // snapped in the caller's variable
    double left, right;
    DerivativesToAutoValues(left, right, 2.0, 5.0, 2.0, 5.0);
    EXPECT_NEAR(left, 100.0, 1e-9);
    EXPECT_NEAR(right, 100.0, 1e-9);
}

TEST(FCurveTangent, CurveWrappersUseTheKeySlopes) {
    VFCurve curve;
    double d = 7, b = 7;
    VFCurveAutoValueToLeftDerivative(d, 100, &curve, 0);
    VFCurveLeftDerivativeToAutoValue(b, 1.0, &curve, 0);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(b, 0.0);
    curve.ResizeKeyBuffer(3);
    curve.KeySet(0, Sec(0), 0.0f);
    curve.KeySet(1, Sec(1), 2.0f);
    curve.KeySet(2, Sec(3), 10.0f);
    double p, q;
    VFCurveGetKeySlopes(p, q, &curve, 1);
    EXPECT_DOUBLE_EQ(p, 2.0);
    EXPECT_DOUBLE_EQ(q, 4.0);
    VFCurveGetKeySlopes(p, q, &curve, 0);
    EXPECT_DOUBLE_EQ(p, 2.0);  // the first key copies its outgoing slope
    VFCurveGetKeySlopes(p, q, &curve, 2);
    EXPECT_DOUBLE_EQ(q, 4.0);
    VFCurveAutoValueToRightDerivative(d, 100, &curve, 1);
    EXPECT_DOUBLE_EQ(d, 4.0);
    double l, r;
    VFCurveAutoValuesToDerivatives(l, r, 0, 0, &curve, 1);
    EXPECT_DOUBLE_EQ(l, 3.0);
    VFCurveDerivativesToAutoValues(l, r, 2.0, 4.0, &curve, 1);
    EXPECT_NEAR(l, 100, 1e-9);
    EXPECT_NEAR(r, 100, 1e-9);
}

TEST(FCurveTangent, DerivativeAtAnyTime) {
    VFCurve curve;
    EXPECT_EQ(curve.EvaluateLeftDerivative(Sec(0)), 0.0f);
    curve.ResizeKeyBuffer(4);
    curve.KeySet(0, Sec(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, 6.0f,
                 -2.0f);
    curve.KeySet(1, Sec(2), 3.0f, VFCurveKey::eInterpolationConstant, 0);
    curve.KeySet(2, Sec(3), 1.0f, VFCurveKey::eInterpolationLinear, 0);
    curve.KeySet(3, Sec(5), 5.0f, VFCurveKey::eInterpolationLinear, 0);
    curve.SetPostExtrapolation(VFCurve::eExtrapolationKeepSlope);
    curve.SetPostExtrapolationCount(-1);
    // Inside the cubic segment the slope matches a centred difference of the values.
    for (double t = 0.1; t < 1.95; t += 0.2) {
        double h = 1e-4;
        double numeric = (curve.Evaluate(Sec(t + h)) - curve.Evaluate(Sec(t - h))) / (2 * h);
        EXPECT_NEAR(curve.EvaluateRightDerivative(Sec(t)), numeric, 2e-2) << t;
        EXPECT_EQ(curve.EvaluateLeftDerivative(Sec(t)), curve.EvaluateRightDerivative(Sec(t)));
    }
    // At keys: the key's own sides; in a constant segment 0; linear its slope.
    EXPECT_EQ(curve.EvaluateRightDerivative(Sec(0)), 6.0f);
    EXPECT_EQ(curve.EvaluateLeftDerivative(Sec(2)), -2.0f);
    EXPECT_EQ(curve.EvaluateRightDerivative(Sec(2.5)), 0.0f);
    EXPECT_EQ(curve.EvaluateRightDerivative(Sec(4)), 2.0f);
    // Outside the keys 0, whatever the extrapolation.
    EXPECT_EQ(curve.EvaluateRightDerivative(Sec(6)), 0.0f);
    EXPECT_EQ(curve.EvaluateLeftDerivative(Sec(-1)), 0.0f);
    // Weights change values, not these slopes.
    float before = curve.EvaluateRightDerivative(Sec(0.7));
    float valueBefore = curve.Evaluate(Sec(0.7));
    curve.KeySetRightWeight(0, 0.8f);
    EXPECT_EQ(curve.EvaluateRightDerivative(Sec(0.7)), before);
    EXPECT_NE(curve.Evaluate(Sec(0.7)), valueBefore);
}

TEST(FCurveTangent, SegmentExtrema) {
    VFCurve curve;
    curve.ResizeKeyBuffer(2);
    // A symmetric hump: the derivative's quadratic term vanishes (one root at the middle).
    curve.KeySet(0, Sec(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, 3.0f,
                 -3.0f);
    curve.KeySet(1, Sec(1), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak);
    VTime t1, t2;
    float v1, v2;
    ASSERT_EQ(curve.FindSegmentExtrema(0, t1, v1, t2, v2), 1);
    EXPECT_NEAR(t1.GetSecondDouble(), 0.5, 1e-6);
    EXPECT_NEAR(v1, 0.75f, 1e-5);
    // An S: two extrema, in time order, each a local extremum of the sampled curve.
    curve.KeySetRightDerivative(0, 6.0f);
    curve.KeySetLeftDerivative(1, 6.0f);
    ASSERT_EQ(curve.FindSegmentExtremaTimes(0, t1, t2), 2);
    EXPECT_LT(t1, t2);
    for (VTime t : {t1, t2}) {
        float here = curve.Evaluate(t);
        float before = curve.Evaluate(t - Sec(1e-3)), after = curve.Evaluate(t + Sec(1e-3));
        EXPECT_TRUE((here >= before && here >= after) || (here <= before && here <= after));
    }
    ASSERT_EQ(curve.FindSegmentExtremaValues(0, v1, v2), 2);
    EXPECT_GT(v1, 0.0f);
    EXPECT_LT(v2, 0.0f);
    // Rising monotonically: none. A straight cubic (evenly spaced control values): none.
    curve.KeySetValue(1, 5.0f);
    curve.KeySetRightDerivative(0, 1.0f);
    curve.KeySetLeftDerivative(1, 1.0f);
    EXPECT_EQ(curve.FindSegmentExtremaTimes(0, t1, t2), 0);
    curve.KeySetRightDerivative(0, 5.0f);
    curve.KeySetLeftDerivative(1, 5.0f);
    EXPECT_EQ(curve.FindSegmentExtremaTimes(0, t1, t2), 0);
    EXPECT_EQ(curve.FindSegmentExtremaTimes(1, t1, t2), 0);  // no segment after the last key
}

TEST(FCurveTangent, TreeInterpolationTest) {
    VFCurveNode* root = VFCurveNode::CreateFromName("T");
    EXPECT_FALSE(VFCurveNodeHasOnlyInterpolation(root, VFCurveKey::eInterpolationConstant, true));  // no keys
    VFCurveNode* x = VFCurveNode::CreateFromName("X");
    root->Add(x);
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(2);
    curve->KeySet(0, Sec(0), 1.0f, VFCurveKey::eInterpolationConstant, 0);
    curve->KeySet(1, Sec(1), 2.0f, VFCurveKey::eInterpolationConstant, 0);
    x->FCurveSet(curve);
    EXPECT_TRUE(VFCurveNodeHasOnlyInterpolation(root, VFCurveKey::eInterpolationConstant, true));
    EXPECT_FALSE(VFCurveNodeHasOnlyInterpolation(root, VFCurveKey::eInterpolationLinear, true));
    // A layer with a linear key counts only when layers are included.
    VFCurveNode* layer = VFCurveNode::CreateFromName("T", nullptr, 1, 1);
    VFCurve* layerCurve = VFCurve::Create();
    layerCurve->KeyAppendFast(Sec(0), 0.0f);
    layerCurve->KeySetInterpolation(0, VFCurveKey::eInterpolationLinear);
    layer->FCurveSet(layerCurve);
    root->SetNextLayer(layer);
    EXPECT_FALSE(VFCurveNodeHasOnlyInterpolation(root, VFCurveKey::eInterpolationConstant, true));
    EXPECT_TRUE(VFCurveNodeHasOnlyInterpolation(root, VFCurveKey::eInterpolationConstant, false));
    EXPECT_FALSE(VFCurveNodeHasOnlyInterpolation(nullptr, VFCurveKey::eInterpolationConstant, false));
    delete root;
}

}  // namespace
