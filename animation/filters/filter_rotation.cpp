#include "animation/filters/filter_rotation.h"

#include <cmath>

#include "base/vge_euler.h"
#include "base/vge_quaternion.h"

namespace oxa_filter {

namespace {

constexpr double kHalfRadiansPerDegree = 0.008726646259971648;
constexpr double kTwiceDegreesPerRadian = 114.59155902616465;

// The axes (i, j, k) of an order code, the first-applied axis first.
void OrderAxes(int order, int axes[3]) {
    static const int kTable[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    int row = (order >= 0 && order < 12) ? order / 2 : 0;
    axes[0] = kTable[row][0];
    axes[1] = kTable[row][1];
    axes[2] = kTable[row][2];
}

}  // namespace

void RotationFromTriple(double out[4][4], const double triple[3], int order) {
    if (order == kSphericOrder) {
        double x = triple[0] * kHalfRadiansPerDegree;
        double y = triple[1] * kHalfRadiansPerDegree;
        double z = triple[2] * kHalfRadiansPerDegree;
        double half = std::sqrt(x * x + y * y + z * z);
        double q[4] = {0.0, 0.0, 0.0, 1.0};
        if (half > 0.0) {
            double s = std::sin(half) / half;
            q[0] = x * s;
            q[1] = y * s;
            q[2] = z * s;
            q[3] = std::cos(half);
        }
        VgeQuaternionToMatrix(out, q);
        return;
    }
    if (order <= 0 || order >= 12) {
        VgeEulerXYZToMatrix(out, triple[0], triple[1], triple[2]);
        return;
    }
    int axes[3];
    OrderAxes(order, axes);
    VgeEulerToMatrix(out, triple[axes[0]], triple[axes[1]], triple[axes[2]], order);
}

void TripleFromRotation(double triple[3], const double m[4][4], int order) {
    if (order == kSphericOrder) {
        double q[4];
        VgeMatrixToQuaternion(q, m);
        if (q[3] < 0.0) {
            for (double& c : q)
                c = -c;
        }
        double s = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
        if (s <= 0.0) {
            triple[0] = triple[1] = triple[2] = 0.0;
            return;
        }
        double angle = std::atan2(s, q[3]) * kTwiceDegreesPerRadian;
        for (int a = 0; a < 3; ++a)
            triple[a] = q[a] / s * angle;
        return;
    }
    if (order <= 0 || order >= 12) {
        VgeMatrixToEulerXYZ(triple, m);
        return;
    }
    int axes[3];
    OrderAxes(order, axes);
    double angles[3];
    VgeMatrixToEuler(angles, m, order);
    for (int a = 0; a < 3; ++a)
        triple[axes[a]] = angles[a];
}

double AngleNearest(double angle, double reference) {
    double turns = (reference - angle) * 0.002777777777777778;
    double whole = std::trunc(turns);
    double fraction = turns - whole;
    if (fraction > 0.5) whole += 1.0;
    if (fraction < -0.5) whole -= 1.0;
    return angle + whole * 360.0;
}

void EulerClosest(double out[3], const double in[3], const double reference[3], int order) {
    if (order == kSphericOrder) {
        for (int a = 0; a < 3; ++a)
            out[a] = in[a];
        return;
    }
    int axes[3];
    OrderAxes(order, axes);
    double plain[3], flipped[3], ref[3];
    for (int a = 0; a < 3; ++a) {
        plain[a] = in[axes[a]];
        ref[a] = reference[axes[a]];
    }
    flipped[0] = plain[0] + 180.0;
    flipped[1] = 180.0 - plain[1];
    flipped[2] = plain[2] + 180.0;
    double dPlain = 0.0, dFlipped = 0.0;
    for (int a = 0; a < 3; ++a) {
        plain[a] = AngleNearest(plain[a], ref[a]);
        flipped[a] = AngleNearest(flipped[a], ref[a]);
        dPlain += (plain[a] - ref[a]) * (plain[a] - ref[a]);
        dFlipped += (flipped[a] - ref[a]) * (flipped[a] - ref[a]);
    }
    double* best = dFlipped <= dPlain ? flipped : plain;

    // At gimbal lock only one combination of the outer angles is fixed by the
    // rotation (their difference or their sum, depending on the pole and the
    // order's parity); moving both so that they lie equally far from the
    // reference keeps the rotation and avoids a swing.
    double middle = std::fmod(best[1], 360.0);
    if (middle < 0.0) middle += 360.0;
    bool north = std::fabs(middle - 90.0) < 1e-6;
    bool south = std::fabs(middle - 270.0) < 1e-6;
    if (north || south) {
        bool oddParity = order > 0 && order < 12 && (order & 2) != 0;
        double d0 = ref[0] - best[0];
        double d2 = ref[2] - best[2];
        if (north != oddParity) {
            double shift = (d0 + d2) * 0.5;
            best[0] += shift;
            best[2] += shift;
        } else {
            double shift = (d0 - d2) * 0.5;
            best[0] += shift;
            best[2] -= shift;
        }
    }
    for (int a = 0; a < 3; ++a)
        out[axes[a]] = best[a];
}

double UnrollQuality(const double next[3], const double previous[3]) {
    double d2 = 0.0;
    for (int a = 0; a < 3; ++a)
        d2 += (next[a] - previous[a]) * (next[a] - previous[a]);
    if (d2 <= 2.220446049250313e-16) return 100.0;
    double ra[4][4], rb[4][4];
    VgeEulerXYZToMatrix(ra, next[0], next[1], next[2]);
    VgeEulerXYZToMatrix(rb, previous[0], previous[1], previous[2]);
    // Trace of Rb x transpose(Ra): the cosine of the angle between the two
    // orientations.
    double trace = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k)
            trace += rb[i][k] * ra[i][k];
    }
    double quarter = (trace + 1.0) / 4.0;
    double w = quarter > 1e-10 ? std::sqrt(quarter) : 0.0;
    if (w > 1.0) w = 1.0;
    double angle = std::acos(w) * kTwiceDegreesPerRadian;
    return angle * angle / d2;
}

void RotationProduct(double out[4][4], const double a[4][4], const double b[4][4]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
        }
    }
}

}  // namespace oxa_filter
