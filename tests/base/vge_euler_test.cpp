#include "base/vge_euler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "base/vge_matrix.h"
#include "tests/base/vge_test_helpers.h"

using vgetest::AxisRotation;
using vgetest::Mat;
using vgetest::Mul;
using vgetest::Near3;

namespace {

// Axis triples of the order codes, written out independently of the library.
const int kAxes[12][3] = {{0, 1, 2}, {0, 1, 0}, {0, 2, 1}, {0, 2, 0}, {1, 2, 0}, {1, 2, 1},
                          {1, 0, 2}, {1, 0, 1}, {2, 0, 1}, {2, 0, 2}, {2, 1, 0}, {2, 1, 2}};

Mat Reference(int code, double a0, double a1, double a2) {
    const int* ax = kAxes[code];
    return Mul(Mul(AxisRotation(ax[0], a0), AxisRotation(ax[1], a1)), AxisRotation(ax[2], a2));
}

Mat Garbage() {
    Mat m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = 100.0 + i * 4 + j;
    return m;
}

// Difference of two angles in degrees, folded into [-180, 180].
double AngleDiff(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d;
}

}  // namespace

TEST(VgeEuler, XYZMatrixIsXThenYThenZ) {
    // A quarter turn about X carries Y onto Z, about Y carries Z onto X, about Z carries X onto Y.
    Mat m = Garbage();
    VgeEulerXYZToMatrix(m.m, 90, 0, 0);
    EXPECT_NEAR(m.m[1][2], 1.0, 1e-15);
    VgeEulerXYZToMatrix(m.m, 0, 90, 0);
    EXPECT_NEAR(m.m[2][0], 1.0, 1e-15);
    VgeEulerXYZToMatrix(m.m, 0, 0, 90);
    EXPECT_NEAR(m.m[0][1], 1.0, 1e-15);
    // Only the 3x3 part is written.
    EXPECT_EQ(m.m[0][3], 103.0);
    EXPECT_EQ(m.m[3][0], 112.0);
    EXPECT_EQ(m.m[3][3], 115.0);

    for (double x = -180; x <= 180; x += 30)
        for (double y = -180; y <= 180; y += 30)
            for (double z = -180; z <= 180; z += 30) {
                Mat got = vgetest::Identity();
                VgeEulerXYZToMatrix(got.m, x, y, z);
                Mat want = Reference(0, x, y, z);
                ASSERT_TRUE(Near3(got.m, want.m, 1e-14)) << x << " " << y << " " << z;
                double v[3] = {x, y, z};
                Mat got2 = vgetest::Identity();
                VgeEulerVectorToMatrix(got2.m, v);
                ASSERT_TRUE(Near3(got2.m, got.m, 0.0));
            }
}

TEST(VgeEuler, XYZRoundTripOverGrid) {
    for (double x = -175; x <= 175; x += 17.5)
        for (double y = -85; y <= 85; y += 8.5)
            for (double z = -175; z <= 175; z += 17.5) {
                Mat m = vgetest::Identity();
                VgeEulerXYZToMatrix(m.m, x, y, z);
                double a[3];
                VgeMatrixToEulerXYZ(a, m.m);
                ASSERT_NEAR(a[0], x, 1e-9) << x << " " << y << " " << z;
                ASSERT_NEAR(a[1], y, 1e-9) << x << " " << y << " " << z;
                ASSERT_NEAR(a[2], z, 1e-9) << x << " " << y << " " << z;
            }
}

TEST(VgeEuler, XYZPoles) {
    for (double pole : {-90.0, 90.0})
        for (double x = -150; x <= 150; x += 50)
            for (double z = -150; z <= 150; z += 50) {
                Mat m = vgetest::Identity();
                VgeEulerXYZToMatrix(m.m, x, pole, z);
                double a[3];
                VgeMatrixToEulerXYZ(a, m.m);
                EXPECT_EQ(a[1], pole);
                EXPECT_EQ(a[2], 0.0);
                // Only x + z (y = -90) or x - z (y = 90) is defined; it all goes to the first angle.
                EXPECT_NEAR(AngleDiff(a[0], pole < 0 ? x + z : x - z), 0.0, 1e-9) << x << " " << z;
                Mat back = vgetest::Identity();
                VgeEulerXYZToMatrix(back.m, a[0], a[1], a[2]);
                EXPECT_TRUE(Near3(back.m, m.m, 1e-12));
            }

    // Within 1e-6 of a pole the extraction snaps to it; the rebuilt matrix stays close.
    for (double y : {-89.95, 89.95}) {
        Mat m = vgetest::Identity();
        VgeEulerXYZToMatrix(m.m, 20, y, 30);
        double a[3];
        VgeMatrixToEulerXYZ(a, m.m);
        EXPECT_EQ(std::fabs(a[1]), 90.0);
        Mat back = vgetest::Identity();
        VgeEulerXYZToMatrix(back.m, a[0], a[1], a[2]);
        EXPECT_TRUE(Near3(back.m, m.m, 2e-3));
    }
    // Just outside the snapping band the angles are kept.
    Mat m = vgetest::Identity();
    VgeEulerXYZToMatrix(m.m, 20, 89.9, 30);
    double a[3];
    VgeMatrixToEulerXYZ(a, m.m);
    EXPECT_NEAR(a[0], 20, 1e-6);
    EXPECT_NEAR(a[1], 89.9, 1e-6);
    EXPECT_NEAR(a[2], 30, 1e-6);
}

TEST(VgeEuler, XYZScaledHandlesScalingAndMirroring) {
    const double scales[][3] = {{2, 3, 0.5}, {-2, 3, 0.5}, {-1, -1, -1}, {1e-3, 1e3, 7}};
    for (const auto& s : scales) {
        Mat m = vgetest::Identity();
        VgeEulerXYZToMatrix(m.m, 30, -40, 120);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m.m[r][c] *= s[r];
        double a[3];
        VgeMatrixToEulerXYZScaled(a, m.m);
        // Rebuild with the row lengths, all negated for a mirrored matrix.
        double det = s[0] * s[1] * s[2];
        Mat back = vgetest::Identity();
        VgeEulerXYZToMatrix(back.m, a[0], a[1], a[2]);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                back.m[r][c] *= (det < 0 ? -1 : 1) * std::fabs(s[r]);
        EXPECT_TRUE(Near3(back.m, m.m, 1e-9)) << s[0] << " " << s[1] << " " << s[2];
    }
    // A zero row gives finite angles rather than a division by zero.
    Mat z = vgetest::Identity();
    z.m[1][0] = z.m[1][1] = z.m[1][2] = 0.0;
    double a[3];
    VgeMatrixToEulerXYZScaled(a, z.m);
    for (double v : a)
        EXPECT_TRUE(std::isfinite(v));
}

// The one-pass angles and scaling are those of VgeMatrixToEulerXYZScaled and VgeMatrixToScaling,
// bit for bit: scaled, mirrored, with a zero row, and with a NaN determinant (where the two keep
// different signs; a NaN's own sign is not compared).
TEST(VgeEuler, AnglesAndScalingInOnePassMatchTheTwoCalls) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 300; ++i) {
        Mat m = vgetest::Identity();
        VgeEulerXYZToMatrix(m.m, 180 * unit(random), 90 * unit(random), 180 * unit(random));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m.m[r][c] *= i % 3 == 0 ? 1.0 : 3.0 * unit(random);
        if (i % 50 == 7) m.m[1][0] = m.m[1][1] = m.m[1][2] = 0.0;
        if (i % 50 == 9) m.m[2][2] = std::nan("");
        double angles[3], scaling[3], expectedAngles[3], expectedScaling[3];
        VgeMatrixToEulerXYZAndScaling(angles, scaling, m.m);
        VgeMatrixToEulerXYZScaled(expectedAngles, m.m);
        VgeMatrixToScaling(expectedScaling, m.m);
        // A NaN's sign is the compiler's to choose (x * -1 may become a negation): NaN matches NaN.
        auto same = [](double a, double b) {
            return std::isnan(a) ? std::isnan(b) : std::memcmp(&a, &b, sizeof a) == 0;
        };
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(same(angles[k], expectedAngles[k])) << i << " angle " << k;
            EXPECT_TRUE(same(scaling[k], expectedScaling[k])) << i << " scaling " << k;
        }
    }
}

TEST(VgeEuler, EveryOrderCodeIsTheProductOfItsAxisRotations) {
    for (int code = 0; code < 12; ++code)
        for (double a0 = -160; a0 <= 160; a0 += 40)
            for (double a1 = -160; a1 <= 160; a1 += 40)
                for (double a2 = -160; a2 <= 160; a2 += 40) {
                    Mat got = vgetest::Identity();
                    VgeEulerToMatrix(got.m, a0, a1, a2, code);
                    Mat want = Reference(code, a0, a1, a2);
                    ASSERT_TRUE(Near3(got.m, want.m, 1e-14))
                        << "code " << code << " angles " << a0 << " " << a1 << " " << a2;
                    double v[3] = {a0, a1, a2};
                    Mat got2 = vgetest::Identity();
                    VgeRMatrixFromEuler(got2.m, v, code);
                    ASSERT_TRUE(Near3(got2.m, got.m, 0.0));
                }
    // Code 0 is the XYZ matrix exactly; only the 3x3 part is written.
    Mat a = Garbage(), b = Garbage();
    VgeEulerToMatrix(a.m, 10, 20, 30, 0);
    VgeEulerXYZToMatrix(b.m, 10, 20, 30);
    EXPECT_TRUE(vgetest::Near4(a.m, b.m, 0.0));
    // Out-of-range codes are read as XYZ.
    for (int bad : {-1, 12, 13, 1000}) {
        Mat c = Garbage();
        VgeEulerToMatrix(c.m, 10, 20, 30, bad);
        EXPECT_TRUE(vgetest::Near4(c.m, b.m, 0.0)) << bad;
    }
}

TEST(VgeEuler, EveryOrderCodeRoundTrips) {
    for (int code = 0; code < 12; ++code) {
        bool repeated = code & 1, odd = code & 2;
        for (double a0 = -170; a0 <= 170; a0 += 34)
            for (double a1 = -170; a1 <= 170; a1 += 17)
                for (double a2 = -170; a2 <= 170; a2 += 34) {
                    Mat m = vgetest::Identity();
                    VgeEulerToMatrix(m.m, a0, a1, a2, code);
                    double a[3];
                    VgeMatrixToEuler(a, m.m, code);
                    Mat back = vgetest::Identity();
                    VgeEulerToMatrix(back.m, a[0], a[1], a[2], code);
                    ASSERT_TRUE(Near3(back.m, m.m, 1e-12))
                        << "code " << code << " angles " << a0 << " " << a1 << " " << a2;
                    // Inside the principal range the angles themselves come back: middle angle
                    // in (-90, 90), or for the repeated-axis codes in (0, 180), mirrored for the
                    // odd-parity codes.
                    bool principal = repeated ? (odd ? a1 < 0 : a1 > 0) : std::fabs(a1) < 90;
                    if (principal) {
                        ASSERT_NEAR(a[0], a0, 1e-9) << "code " << code;
                        ASSERT_NEAR(a[1], a1, 1e-9) << "code " << code;
                        ASSERT_NEAR(a[2], a2, 1e-9) << "code " << code;
                    }
                }
    }
}

TEST(VgeEuler, SingularMatricesForEveryOrderCode) {
    for (int code = 0; code < 12; ++code) {
        bool repeated = code & 1;
        const double middles[2] = {repeated ? 0.0 : -90.0, repeated ? 180.0 : 90.0};
        for (double middle : middles)
            for (double a0 = -120; a0 <= 120; a0 += 60)
                for (double a2 = -120; a2 <= 120; a2 += 60) {
                    Mat m = vgetest::Identity();
                    VgeEulerToMatrix(m.m, a0, middle, a2, code);
                    double a[3];
                    VgeMatrixToEuler(a, m.m, code);
                    EXPECT_EQ(a[2], 0.0) << "code " << code;
                    EXPECT_NEAR(std::fabs(AngleDiff(a[1], middle)), 0.0, 1e-6) << "code " << code;
                    Mat back = vgetest::Identity();
                    VgeEulerToMatrix(back.m, a[0], a[1], a[2], code);
                    EXPECT_TRUE(Near3(back.m, m.m, 1e-9)) << "code " << code << " " << a0 << " " << a2;
                }
    }
}

TEST(VgeEuler, NaNGivesNaNNotACrash) {
    Mat m = vgetest::Identity();
    m.m[0][0] = m.m[0][2] = m.m[1][1] = NAN;
    double a[3];
    VgeMatrixToEulerXYZ(a, m.m);
    EXPECT_TRUE(std::isnan(a[0]) || std::isnan(a[1]) || std::isnan(a[2]));
    for (int code = 0; code < 12; ++code)
        VgeMatrixToEuler(a, m.m, code);
    Mat r = vgetest::Identity();
    VgeEulerToMatrix(r.m, NAN, 0, 0, 4);
    EXPECT_TRUE(std::isnan(r.m[1][1]) || std::isnan(r.m[2][2]) || std::isnan(r.m[0][0]));
}
