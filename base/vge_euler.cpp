#include "base/vge_euler.h"

#include <cmath>

#include "base/vge_matrix.h"

namespace {

const double kRadiansPerDegree = 0.017453292519943295;
const double kDegreesPerRadian = 57.29577951308232;
// The cosine (or, for the repeated-axis orders, sine) of the middle angle at or below which the
// first and third axes coincide and only their sum is defined.
const double kSingular = 1.6e-9;
// |m[0][2]| at or above which the XYZ extraction treats the middle angle as a pole.
const double kPole = 0.999999;

// Axis triples of the order codes, indexed by code >> 1; the third axis of the repeated-axis form
// is the first one again, k only names the remaining axis.
struct AxisOrder {
    int i, j, k;
};
const AxisOrder kAxisOrders[6] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

// The cosine and sine of `a` (radians). Zero angles, common in rest poses and unrotated nodes,
// skip the library: cos(+-0) is 1 and sin(+-0) is +-0 exactly, as the library answers.
inline void CosSin(double a, double& c, double& s) {
    if (a == 0.0) {
        c = 1.0;
        s = a;
        return;
    }
#if defined(__GLIBC__)
    // One range reduction for both; the C library answers as its sin and cos do.
    ::sincos(a, &s, &c);
#else
    c = std::cos(a);
    s = std::sin(a);
#endif
}

int ValidCode(int code) {
    return code >= 0 && code <= 11 ? code : 0;
}

}  // namespace

void VgeEulerXYZToMatrix(double out[4][4], double x, double y, double z) {
    x *= kRadiansPerDegree;
    y *= kRadiansPerDegree;
    z *= kRadiansPerDegree;
    double cx, sx, cy, sy, cz, sz;
    CosSin(x, cx, sx);
    CosSin(y, cy, sy);
    CosSin(z, cz, sz);
    out[0][0] = cy * cz;
    out[0][1] = cy * sz;
    out[0][2] = -sy;
    out[1][0] = sx * sy * cz - cx * sz;
    out[1][1] = sx * sy * sz + cx * cz;
    out[1][2] = sx * cy;
    out[2][0] = cx * sy * cz + sx * sz;
    out[2][1] = cx * sy * sz - sx * cz;
    out[2][2] = cx * cy;
}

void VgeEulerVectorToMatrix(double out[4][4], const double* angles) {
    VgeEulerXYZToMatrix(out, angles[0], angles[1], angles[2]);
}

void VgeMatrixToEulerXYZ(double* out, const double m[4][4]) {
    double x, y, z;
    if (m[0][2] >= kPole) {
        x = std::atan2(-m[2][1], -m[2][0]);
        y = -90.0;
        z = 0.0;
    } else if (m[0][2] <= -kPole) {
        x = std::atan2(m[1][0], m[1][1]);
        y = 90.0;
        z = 0.0;
    } else {
        x = std::atan2(m[1][2], m[2][2]);
        y = -std::asin(m[0][2]) * kDegreesPerRadian;
        z = std::atan2(m[0][1], m[0][0]) * kDegreesPerRadian;
    }
    out[0] = x * kDegreesPerRadian;
    out[1] = y;
    out[2] = z;
}

void VgeMatrixToEulerXYZScaled(double* out, const double m[4][4]) {
    // (row0 x row1) . row2 decides the sign of the scaling.
    double det = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * m[2][0] +
                 (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * m[2][1] +
                 (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * m[2][2];
    double sign = det < 0.0 ? -1.0 : 1.0;
    double n[4][4];
    for (int r = 0; r < 3; ++r) {
        double len = std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
        double f = len != 0.0 ? sign / len : 0.0;
        for (int c = 0; c < 3; ++c)
            n[r][c] = m[r][c] * f;
    }
    VgeMatrixToEulerXYZ(out, n);
}

void VgeMatrixToEulerXYZAndScaling(double* angles, double* scaling, const double m[4][4]) {
    // The two results as VgeMatrixToEulerXYZScaled and VgeMatrixToScaling give them, with the
    // row lengths and the determinant taken once; each keeps its own rule for the sign (they
    // differ for a NaN determinant).
    const double det = VgeMatrixDeterminant3(m);
    const double angleSign = det < 0.0 ? -1.0 : 1.0;
    const double scaleSign = det >= 0.0 ? 1.0 : -1.0;
    double n[4][4];
    for (int r = 0; r < 3; ++r) {
        const double len = std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
        scaling[r] = scaleSign * len;
        const double f = len != 0.0 ? angleSign / len : 0.0;
        for (int c = 0; c < 3; ++c)
            n[r][c] = m[r][c] * f;
    }
    VgeMatrixToEulerXYZ(angles, n);
}

// Static-axis Euler construction, written for row vectors: element [a][b] here is element [b][a]
// of the column-vector form.
void VgeEulerToMatrix(double out[4][4], double a0, double a1, double a2, int orderCode) {
    int code = ValidCode(orderCode);
    const AxisOrder& ax = kAxisOrders[code >> 1];
    const int i = ax.i, j = ax.j, k = ax.k;
    double ti = a0 * kRadiansPerDegree, tj = a1 * kRadiansPerDegree, th = a2 * kRadiansPerDegree;
    if (code & 2) {
        ti = -ti;
        tj = -tj;
        th = -th;
    }
    double ci = std::cos(ti), cj = std::cos(tj), ch = std::cos(th);
    double si = std::sin(ti), sj = std::sin(tj), sh = std::sin(th);
    double cc = ci * ch, cs = ci * sh, sc = si * ch, ss = si * sh;
    if (code & 1) {
        out[i][i] = cj;
        out[j][i] = sj * si;
        out[k][i] = sj * ci;
        out[i][j] = sj * sh;
        out[j][j] = cc - cj * ss;
        out[k][j] = -cj * cs - sc;
        out[i][k] = -sj * ch;
        out[j][k] = cj * sc + cs;
        out[k][k] = cj * cc - ss;
    } else {
        out[i][i] = cj * ch;
        out[j][i] = sj * sc - cs;
        out[k][i] = sj * cc + ss;
        out[i][j] = cj * sh;
        out[j][j] = sj * ss + cc;
        out[k][j] = sj * cs - sc;
        out[i][k] = -sj;
        out[j][k] = cj * si;
        out[k][k] = cj * ci;
    }
}

void VgeRMatrixFromEuler(double out[4][4], const double* angles, int orderCode) {
    VgeEulerToMatrix(out, angles[0], angles[1], angles[2], orderCode);
}

void VgeMatrixToEuler(double* out, const double m[4][4], int orderCode) {
    int code = ValidCode(orderCode);
    const AxisOrder& ax = kAxisOrders[code >> 1];
    const int i = ax.i, j = ax.j, k = ax.k;
    double x, y, z;
    if (code & 1) {
        double sy = std::sqrt(m[j][i] * m[j][i] + m[k][i] * m[k][i]);
        if (sy > kSingular) {
            x = std::atan2(m[j][i], m[k][i]);
            y = std::atan2(sy, m[i][i]);
            z = std::atan2(m[i][j], -m[i][k]);
        } else {
            x = std::atan2(-m[k][j], m[j][j]);
            y = std::atan2(sy, m[i][i]);
            z = 0.0;
        }
    } else {
        double cy = std::sqrt(m[i][i] * m[i][i] + m[i][j] * m[i][j]);
        if (cy > kSingular) {
            x = std::atan2(m[j][k], m[k][k]);
            y = std::atan2(-m[i][k], cy);
            z = std::atan2(m[i][j], m[i][i]);
        } else {
            x = std::atan2(-m[k][j], m[j][j]);
            y = std::atan2(-m[i][k], cy);
            z = 0.0;
        }
    }
    double f = (code & 2) ? -kDegreesPerRadian : kDegreesPerRadian;
    out[0] = x * f;
    out[1] = y * f;
    out[2] = z * f;
}
