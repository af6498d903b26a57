// Tangent arithmetic: auto values and slopes, the derivative of a curve at any time and the
// extrema of a cubic segment.

#include <algorithm>
#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_internal.h"
#include "animation/fcurve_node.h"

using namespace fcurve_detail;

// ---- Auto values --------------------------------------------------------------------------------------

void VFCurveGetKeySlopes(double& p, double& q, const VFCurve* curve, int index) {
    p = 0.0;
    q = 0.0;
    const int n = curve ? curve->KeyGetCount() : 0;
    if (n < 2 || index < 0 || index >= n) return;
    const VFCurveKey* key = curve->KeyGetPtr(index);
    if (index > 0) {
        const VFCurveKey* prev = curve->KeyGetPtr(index - 1);
        double dt = SecondsBetween(key->GetTime().Get(), prev->GetTime().Get());
        if (dt != 0.0) p = ((double)key->GetValue() - prev->GetValue()) / dt;
    }
    if (index < n - 1) {
        const VFCurveKey* next = curve->KeyGetPtr(index + 1);
        double dt = SecondsBetween(next->GetTime().Get(), key->GetTime().Get());
        if (dt != 0.0) q = ((double)next->GetValue() - key->GetValue()) / dt;
    }
    if (index == 0) p = q;
    if (index == n - 1) q = p;
}

double AutoValueBlend(double autoValue, double a, double c) {
    return ((autoValue + 100.0) * 0.01 * a + (100.0 - autoValue) * 0.01 * c) * 0.5;
}

double SignedSquare(double x, double s) {
    return x * x * s;
}

double AutoValueOvershootUp(double autoValue, double a, double c) {
    double s = a <= c ? -1000.0 : 1000.0;
    return AutoValueBlend(autoValue, a, c) + SignedSquare((autoValue - 500.0) * 0.002, s);
}

double AutoValueOvershootUpStrict(double autoValue, double a, double c) {
    double s = a < c ? -1000.0 : 1000.0;
    return AutoValueBlend(autoValue, a, c) + SignedSquare((autoValue - 500.0) * 0.002, s);
}

double AutoValueOvershootDown(double autoValue, double a, double c) {
    double s = a <= c ? 1000.0 : -1000.0;
    return AutoValueBlend(autoValue, a, c) + SignedSquare((autoValue + 500.0) * -0.002, s);
}

double AutoValueOvershootDownStrict(double autoValue, double a, double c) {
    double s = a < c ? 1000.0 : -1000.0;
    return AutoValueBlend(autoValue, a, c) + SignedSquare((autoValue + 500.0) * -0.002, s);
}

void AutoValueToLeftDerivative(double& derivative, double b, double p, double q) {
    if (std::fabs(b - 100.0) < 1e-5)
        derivative = p;
    else if (std::fabs(b + 100.0) < 1e-5)
        derivative = q;
    else if (b > 500.0)
        derivative = AutoValueOvershootUp(b, p, q);
    else if (b < -500.0)
        derivative = AutoValueOvershootDown(b, p, q);
    else
        derivative = AutoValueBlend(b, p, q);
}

void AutoValueToRightDerivative(double& derivative, double b, double p, double q) {
    if (b > 500.0)
        derivative =
            std::fabs(p - q) < 1e-5 ? AutoValueOvershootUpStrict(b, q, p) : AutoValueOvershootUp(b, q, p);
    else if (b < -500.0)
        derivative =
            std::fabs(p - q) < 1e-5 ? AutoValueOvershootDownStrict(b, q, p) : AutoValueOvershootDown(b, q, p);
    else
        derivative = AutoValueBlend(b, q, p);
}

namespace {

// The roots of a b^2 + k b + c = 0 (a never 0 here); a negative discriminant from rounding is
// taken as 0.
void QuadraticRoots(double a, double k, double c, double& r1, double& r2) {
    double discriminant = k * k - 4.0 * a * c;
    double root = discriminant > 0.0 ? std::sqrt(discriminant) : 0.0;
    r1 = (-k - root) / (2.0 * a);
    r2 = (root - k) / (2.0 * a);
}

double SnapZero(double x) {
    return std::fabs(x) < 1e-5 ? 0.0 : x;
}

}  // namespace

void LeftDerivativeToAutoValue(double& autoValue, double& t, double p, double q) {
    double lo = SnapZero(3.0 * p - 2.0 * q);
    double hi = SnapZero(3.0 * q - 2.0 * p);
    t = SnapZero(t);
    bool above, below;
    if (p <= q) {
        above = t < lo;
        below = t > hi;
    } else {
        above = t > lo;
        below = t < hi;
    }
    double r1, r2;
    if (above) {
        double s = q < p ? 1000.0 : -1000.0;
        QuadraticRoots(s * 4e-6, s * -0.004 + (p - q) * 0.005, (p + q) * 0.5 + s - t, r1, r2);
        autoValue = std::max(r1, r2);
    } else if (below) {
        double s = q < p ? -1000.0 : 1000.0;
        QuadraticRoots(s * 4e-6, s * 0.004 + (p - q) * 0.005, (p + q) * 0.5 + s - t, r1, r2);
        autoValue = std::min(r1, r2);
    } else if (std::fabs(p - q) < 1e-5) {
        autoValue = 0.0;
    } else {
        autoValue = (t * 200.0 - p * 100.0 - q * 100.0) / (p - q);
    }
}

void RightDerivativeToAutoValue(double& autoValue, double& t, double p, double q) {
    double lo = SnapZero(3.0 * q - 2.0 * p);
    double hi = SnapZero(3.0 * p - 2.0 * q);
    t = SnapZero(t);
    bool above, below;
    if (q < p) {
        above = t < lo;
        below = t > hi;
    } else {
        above = t > lo;
        below = t < hi;
    }
    double r1, r2;
    if (above) {
        double s = p <= q ? 1000.0 : -1000.0;
        QuadraticRoots(s * 4e-6, s * -0.004 + (q - p) * 0.005, (p + q) * 0.5 + s - t, r1, r2);
        autoValue = std::max(r1, r2);
    } else if (below) {
        double s = p <= q ? -1000.0 : 1000.0;
        QuadraticRoots(s * 4e-6, s * 0.004 + (q - p) * 0.005, (p + q) * 0.5 + s - t, r1, r2);
        autoValue = std::min(r1, r2);
    } else if (std::fabs(p - q) < 1e-5) {
        autoValue = 0.0;
    } else {
        autoValue = (t * 200.0 - p * 100.0 - q * 100.0) / (q - p);
    }
}

void AutoValuesToDerivatives(double& leftDerivative, double& rightDerivative, double leftAuto,
                             double rightAuto, double p, double q) {
    AutoValueToLeftDerivative(leftDerivative, leftAuto, p, q);
    AutoValueToRightDerivative(rightDerivative, rightAuto, p, q);
}

void DerivativesToAutoValues(double& leftAuto, double& rightAuto, double leftDerivative,
                             double rightDerivative, double p, double q) {
    LeftDerivativeToAutoValue(leftAuto, leftDerivative, p, q);
    RightDerivativeToAutoValue(rightAuto, rightDerivative, p, q);
}

void VFCurveAutoValueToLeftDerivative(double& derivative, double autoValue, const VFCurve* curve, int index) {
    derivative = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    AutoValueToLeftDerivative(derivative, autoValue, p, q);
}

void VFCurveAutoValueToRightDerivative(double& derivative, double autoValue, const VFCurve* curve,
                                       int index) {
    derivative = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    AutoValueToRightDerivative(derivative, autoValue, p, q);
}

void VFCurveLeftDerivativeToAutoValue(double& autoValue, double derivative, const VFCurve* curve, int index) {
    autoValue = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    LeftDerivativeToAutoValue(autoValue, derivative, p, q);
}

void VFCurveRightDerivativeToAutoValue(double& autoValue, double derivative, const VFCurve* curve,
                                       int index) {
    autoValue = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    RightDerivativeToAutoValue(autoValue, derivative, p, q);
}

void VFCurveAutoValuesToDerivatives(double& leftDerivative, double& rightDerivative, double leftAuto,
                                    double rightAuto, const VFCurve* curve, int index) {
    leftDerivative = 0.0;
    rightDerivative = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    AutoValuesToDerivatives(leftDerivative, rightDerivative, leftAuto, rightAuto, p, q);
}

void VFCurveDerivativesToAutoValues(double& leftAuto, double& rightAuto, double leftDerivative,
                                    double rightDerivative, const VFCurve* curve, int index) {
    leftAuto = 0.0;
    rightAuto = 0.0;
    if (!curve || curve->KeyGetCount() == 0) return;
    double p, q;
    VFCurveGetKeySlopes(p, q, curve, index);
    DerivativesToAutoValues(leftAuto, rightAuto, leftDerivative, rightDerivative, p, q);
}

// ---- Derivative at any time ---------------------------------------------------------------------------

namespace {

// The slope inside the segment after key k at parameter u (0 < u < 1), weights left out.
float SegmentSlope(const VFCurve* curve, int k, double u) {
    const VFCurveKey* a = curve->KeyGetPtr(k);
    const VFCurveKey* b = curve->KeyGetPtr(k + 1);
    double dt = SecondsBetween(b->GetTime().Get(), a->GetTime().Get());
    if (dt == 0.0) return 0.0f;
    double y0 = a->GetValue(), y1 = b->GetValue();
    switch (a->GetInterpolation()) {
        case VFCurveKey::eInterpolationLinear:
            return (float)((y1 - y0) / dt);
        case VFCurveKey::eInterpolationCubic: {
            double p1 = y0 + curve->KeyGetRightDerivative(k) * dt / 3.0;
            double p2 = y1 - curve->KeyGetLeftDerivative(k + 1) * dt / 3.0;
            double d0 = p1 - y0, d1 = p2 - p1, d2 = y1 - p2;
            double e0 = d0 + (d1 - d0) * u, e1 = d1 + (d2 - d1) * u;
            return (float)(3.0 * (e0 + (e1 - e0) * u) / dt);
        }
        default:
            return 0.0f;
    }
}

float DerivativeAt(const VFCurve* curve, VTime time, int* lastIndex, bool left) {
    const int n = curve->KeyGetCount();
    if (n < 2) return 0.0f;
    double x = curve->KeyFind(time, lastIndex);
    if (x < 0.0 || x > n - 1) return 0.0f;
    double k = std::floor(x);
    if (k == x) return left ? curve->KeyGetLeftDerivative((int)k) : curve->KeyGetRightDerivative((int)k);
    return SegmentSlope(curve, (int)k, x - k);
}

}  // namespace

float VFCurve::EvaluateLeftDerivative(VTime time, int* lastIndex) const {
    return DerivativeAt(this, time, lastIndex, true);
}

float VFCurve::EvaluateRightDerivative(VTime time, int* lastIndex) const {
    return DerivativeAt(this, time, lastIndex, false);
}

// ---- Segment extrema ----------------------------------------------------------------------------------

int VFCurve::FindSegmentExtrema(int index, VTime& time1, float& value1, VTime& time2, float& value2) const {
    if (index < 0 || index >= mKeyCount - 1) return 0;
    const VFCurveKey* a = KeyGetPtr(index);
    const VFCurveKey* b = KeyGetPtr(index + 1);
    int64_t ta = a->GetTime().Get(), tb = b->GetTime().Get();
    double dtTicks = TickDelta(tb, ta);
    double dt = dtTicks / (double)VTime::kOneSecond;
    float P0 = a->GetValue();
    float P3 = b->GetValue();
    float P1 = (float)(P0 + KeyGetRightDerivative(index) * dt / 3.0);
    float P2 = (float)(P3 - KeyGetLeftDerivative(index + 1) * dt / 3.0);
    // The derivative of the value Bezier: qa u^2 + qb u + qc.
    float qa = 9.0f * P1 + 3.0f * P3 - 9.0f * P2 - 3.0f * P0;
    float qb = 6.0f * P0 - 12.0f * P1 + 6.0f * P2;
    float qc = 3.0f * P1 - 3.0f * P0;
    double candidates[2];
    int count = 0;
    if (qa == 0.0f) {
        // A straight derivative: one root, or none when it is constant.
        if (qb != 0.0f) candidates[count++] = -(double)qc / qb;
    } else {
        float discriminant = qb * qb - 4.0f * qa * qc;
        if (discriminant == 0.0f) {
            candidates[count++] = -qb / (2.0 * qa);
        } else if (discriminant > 0.0f) {
            double root = std::sqrt((double)discriminant);
            double r1 = (-qb - root) / (2.0 * qa), r2 = (-qb + root) / (2.0 * qa);
            candidates[count++] = std::min(r1, r2);
            candidates[count++] = std::max(r1, r2);
        }
    }
    int found = 0;
    for (int i = 0; i < count; ++i) {
        double u = candidates[i];
        if (!std::isfinite(u) || !(u > 0.0 && u < 1.0)) continue;
        double offset = u * dtTicks;
        if (!(offset >= 1.0 && offset < dtTicks)) continue;
        VTime t((int64_t)((uint64_t)ta + (uint64_t)offset));
        if (t.Get() <= ta || t.Get() >= tb) continue;
        if (found == 0) {
            time1 = t;
            value1 = Evaluate(t);
        } else {
            time2 = t;
            value2 = Evaluate(t);
        }
        ++found;
    }
    return found;
}

int VFCurve::FindSegmentExtremaTimes(int index, VTime& time1, VTime& time2) const {
    float value1, value2;
    return FindSegmentExtrema(index, time1, value1, time2, value2);
}

int VFCurve::FindSegmentExtremaValues(int index, float& value1, float& value2) const {
    VTime time1, time2;
    return FindSegmentExtrema(index, time1, value1, time2, value2);
}

// ---- Interpolation test over a curve-node tree ----------------------------------------------------

namespace {

void WalkInterpolations(VFCurveNode* node, unsigned mask, bool includeLayers, bool& anyKey, bool& allMatch) {
    if (includeLayers && node->GetNextLayer())
        WalkInterpolations(node->GetNextLayer(), mask, includeLayers, anyKey, allMatch);
    for (int i = 0; i < node->GetCount(); ++i) {
        if (VFCurveNode* child = node->Get(i))
            WalkInterpolations(child, mask, includeLayers, anyKey, allMatch);
    }
    if (const VFCurve* curve = node->FCurveGet()) {
        for (int k = 0; k < curve->KeyGetCount(); ++k) {
            anyKey = true;
            if ((curve->KeyGetInterpolation(k) & mask) == 0) allMatch = false;
        }
    }
}

}  // namespace

bool VFCurveNodeHasOnlyInterpolation(VFCurveNode* node, unsigned interpolationMask, bool includeLayers) {
    if (!node) return false;
    bool anyKey = false, allMatch = true;
    WalkInterpolations(node, interpolationMask, includeLayers, anyKey, allMatch);
    return anyKey && allMatch;
}
