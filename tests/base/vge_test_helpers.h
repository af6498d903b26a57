// Plain reference maths for the geometry tests: axis rotations and products written out the
// long way, independent of the library's formulas.
#ifndef OXA_TESTS_BASE_VGE_TEST_HELPERS_H
#define OXA_TESTS_BASE_VGE_TEST_HELPERS_H

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vgetest {

const double kPi = 3.14159265358979323846;

struct Mat {
    double m[4][4];
};

inline Mat Identity() {
    Mat r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = i == j ? 1.0 : 0.0;
    return r;
}

// Row-vector rotation about one axis (0 X, 1 Y, 2 Z) by degrees, turning the right-handed way:
// the next axis in cyclic order turns towards the one after it.
inline Mat AxisRotation(int axis, double degrees) {
    Mat r = Identity();
    double t = degrees * kPi / 180.0;
    int b = (axis + 1) % 3, c = (axis + 2) % 3;
    r.m[b][b] = std::cos(t);
    r.m[b][c] = std::sin(t);
    r.m[c][b] = -std::sin(t);
    r.m[c][c] = std::cos(t);
    return r;
}

// a x b over all 16 elements: a then b for row vectors.
inline Mat Mul(const Mat& a, const Mat& b) {
    Mat r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k)
                s += a.m[i][k] * b.m[k][j];
            r.m[i][j] = s;
        }
    return r;
}

// Deterministic pseudo-random doubles in [lo, hi).
struct Rng {
    unsigned long long state = 0x9E3779B97F4A7C15ull;
    double Next(double lo, double hi) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return lo + (hi - lo) * ((state >> 11) * (1.0 / 9007199254740992.0));
    }
};

inline Mat RandomAffine(Rng& rng, double scaleLo = 0.5, double scaleHi = 2.0) {
    Mat r = Mul(Mul(AxisRotation(0, rng.Next(-180, 180)), AxisRotation(1, rng.Next(-180, 180))),
                AxisRotation(2, rng.Next(-180, 180)));
    for (int i = 0; i < 3; ++i) {
        double s = rng.Next(scaleLo, scaleHi);
        for (int j = 0; j < 3; ++j)
            r.m[i][j] *= s;
        r.m[3][i] = rng.Next(-10, 10);
    }
    return r;
}

// Compares the 3x3 parts (rows x cols) of two matrices.
inline ::testing::AssertionResult Near3(const double a[4][4], const double b[4][4], double tol,
                                        int rows = 3) {
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < 3; ++j)
            if (!(std::fabs(a[i][j] - b[i][j]) <= tol))
                return ::testing::AssertionFailure()
                       << "element [" << i << "][" << j << "]: " << a[i][j] << " vs " << b[i][j];
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult Near4(const double a[4][4], const double b[4][4], double tol) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(a[i][j] - b[i][j]) <= tol))
                return ::testing::AssertionFailure()
                       << "element [" << i << "][" << j << "]: " << a[i][j] << " vs " << b[i][j];
    return ::testing::AssertionSuccess();
}

}  // namespace vgetest

#endif  // OXA_TESTS_BASE_VGE_TEST_HELPERS_H
