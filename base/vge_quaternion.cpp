#include "base/vge_quaternion.h"

#include <cmath>

#include "base/vge_euler.h"
#include "base/vge_vector.h"

double VgeQuaternionLength(const double* q) {
    return std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
}

void VgeQuaternionScale(double* out, const double* q, double s) {
    for (int i = 0; i < 4; ++i)
        out[i] = q[i] * s;
}

void VgeQuaternionConjugate(double* out, const double* q) {
    VgeQuaternionSet(out, -q[0], -q[1], -q[2], q[3]);
}

void VgeQuaternionProduct(double* out, const double* a, const double* b) {
    double x = a[3] * b[0] + a[0] * b[3] + a[1] * b[2] - a[2] * b[1];
    double y = a[3] * b[1] + a[1] * b[3] + a[2] * b[0] - a[0] * b[2];
    double z = a[3] * b[2] + a[2] * b[3] + a[0] * b[1] - a[1] * b[0];
    double w = a[3] * b[3] - a[0] * b[0] - a[1] * b[1] - a[2] * b[2];
    VgeQuaternionSet(out, x, y, z, w);
}

// Row-vector form: the transpose of the usual column-vector rotation matrix.
void VgeQuaternionToMatrix(double out[4][4], const double* q) {
    double x = q[0], y = q[1], z = q[2], w = q[3];
    double n2 = x * x + y * y + z * z + w * w;
    double s = n2 != 0.0 ? 2.0 / n2 : 0.0;
    double xs = x * s, ys = y * s, zs = z * s;
    double wx = w * xs, wy = w * ys, wz = w * zs;
    double xx = x * xs, xy = x * ys, xz = x * zs;
    double yy = y * ys, yz = y * zs, zz = z * zs;
    out[0][0] = 1.0 - (yy + zz);
    out[0][1] = xy + wz;
    out[0][2] = xz - wy;
    out[1][0] = xy - wz;
    out[1][1] = 1.0 - (xx + zz);
    out[1][2] = yz + wx;
    out[2][0] = xz + wy;
    out[2][1] = yz - wx;
    out[2][2] = 1.0 - (xx + yy);
}

void VgeMatrixToQuaternion(double* out, const double m[4][4]) {
    double t = 1.0 + m[0][0] + m[1][1] + m[2][2];
    if (t > 1e-10) {
        double s = 2.0 * std::sqrt(t);  // 4w
        VgeQuaternionSet(out, (m[1][2] - m[2][1]) / s, (m[2][0] - m[0][2]) / s, (m[0][1] - m[1][0]) / s,
                         0.25 * s);
    } else if (m[0][0] > m[1][1] && m[0][0] > m[2][2]) {
        double s = 2.0 * std::sqrt(1.0 + m[0][0] - m[1][1] - m[2][2]);  // 4x
        VgeQuaternionSet(out, 0.25 * s, (m[0][1] + m[1][0]) / s, (m[2][0] + m[0][2]) / s,
                         (m[1][2] - m[2][1]) / s);
    } else if (m[1][1] > m[2][2]) {
        double s = 2.0 * std::sqrt(1.0 + m[1][1] - m[0][0] - m[2][2]);  // 4y
        VgeQuaternionSet(out, (m[0][1] + m[1][0]) / s, 0.25 * s, (m[1][2] + m[2][1]) / s,
                         (m[2][0] - m[0][2]) / s);
    } else {
        // With 1 + trace <= 1e-10 the largest diagonal element keeps the root above 1, so s
        // is never 0 here.
        double s = 2.0 * std::sqrt(1.0 + m[2][2] - m[0][0] - m[1][1]);  // 4z
        VgeQuaternionSet(out, (m[2][0] + m[0][2]) / s, (m[1][2] + m[2][1]) / s, 0.25 * s,
                         (m[0][1] - m[1][0]) / s);
    }
}

namespace {
// The share of |a| |b| below which |a| |b| + a . b marks directions as nearly opposite (within
// about 0.08 degree of it).
const double kNearlyOpposite = 1e-6;
}  // namespace

void VgeQuaternionFromTwoVectors(double* out, const double* a, const double* b) {
    double la = std::sqrt(VgeDot3(a, a)), lb = std::sqrt(VgeDot3(b, b));
    double scale = la * lb;
    double c[3];
    VgeCrossProduct3(c, a, b);
    double w = scale + VgeDot3(a, b);
    // For (nearly) opposite directions both parts cancel to rounding noise and the direction of
    // the cross product means nothing: turn half way round an axis perpendicular to a instead.
    double tiny = 1e-12 * scale;
    if (scale > 0.0 && std::fabs(w) <= tiny && std::sqrt(VgeDot3(c, c)) <= tiny) {
        // The coordinate axis least aligned with a gives a well-conditioned perpendicular.
        double e[3] = {0.0, 0.0, 0.0};
        double ax = std::fabs(a[0]), ay = std::fabs(a[1]), az = std::fabs(a[2]);
        e[ax <= ay && ax <= az ? 0 : (ay <= az ? 1 : 2)] = 1.0;
        double p[3];
        VgeCrossProduct3(p, a, e);
        double lp = std::sqrt(VgeDot3(p, p));
        if (lp == 0.0) lp = 1.0;  // only for vectors so short that the product underflows
        VgeQuaternionSet(out, p[0] / lp * scale, p[1] / lp * scale, p[2] / lp * scale, 0.0);
        return;
    }
    if (w < kNearlyOpposite * scale) {
        // Nearly opposite: |a| |b| + a . b cancels to a few rounding errors and a x b is small, so
        // the rotation they give misses b by about the rounding error over the angle from
        // opposite. The same two parts from the small sum m of the unit directions lose nothing
        // to cancellation: a x b = |a| |b| (ua x m) and |a| |b| + a . b = |a| |b| |m|^2 / 2.
        double ua[3], ub[3], m[3], um[3];
        VgeScaleVector(ua, a, 1.0 / la);
        VgeScaleVector(ub, b, 1.0 / lb);
        VgeVector3Add(m, ua, ub);
        VgeCrossProduct3(um, ua, m);
        VgeQuaternionSet(out, um[0] * scale, um[1] * scale, um[2] * scale, 0.5 * VgeDot3(m, m) * scale);
        return;
    }
    VgeQuaternionSet(out, c[0], c[1], c[2], w);
}

void VgeRotationBetweenDirections(const double* a, const double* b, const double* c, double* out) {
    double d1[3], d2[3];
    VgeVector3Subtract(d1, b, a);
    VgeVector3Subtract(d2, c, a);
    double l1 = std::sqrt(VgeDot3(d1, d1)), l2 = std::sqrt(VgeDot3(d2, d2));
    if (l1 != 0.0) VgeScaleVector(d1, d1, 1.0 / l1);
    if (l2 != 0.0) VgeScaleVector(d2, d2, 1.0 / l2);
    if (std::fabs(d1[0] - d2[0]) <= 0.001 && std::fabs(d1[1] - d2[1]) <= 0.001 &&
        std::fabs(d1[2] - d2[2]) <= 0.001) {
        out[0] = out[1] = out[2] = 0.0;
        return;
    }
    double q[4];
    VgeQuaternionFromTwoVectors(q, d1, d2);
    double m[4][4];
    VgeQuaternionToMatrix(m, q);
    VgeMatrixToEulerXYZ(out, m);
}
