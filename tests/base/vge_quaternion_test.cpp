#include "base/vge_quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "tests/base/vge_test_helpers.h"

using vgetest::AxisRotation;
using vgetest::Mat;
using vgetest::Mul;
using vgetest::Near3;

namespace {

// The quaternion of a turn by degrees about a (not necessarily unit) axis.
void AxisAngle(double* q, double ax, double ay, double az, double degrees) {
    double len = std::sqrt(ax * ax + ay * ay + az * az);
    double h = degrees * vgetest::kPi / 360.0;
    VgeQuaternionSet(q, ax / len * std::sin(h), ay / len * std::sin(h), az / len * std::sin(h), std::cos(h));
}

Mat ToMatrix(const double* q) {
    Mat m = vgetest::Identity();
    VgeQuaternionToMatrix(m.m, q);
    return m;
}

// Checks that the rotation of q carries the direction of a onto the direction of b.
::testing::AssertionResult TurnsOnto(const double* q, const double* a, const double* b, double tol) {
    Mat m = ToMatrix(q);
    double r[3];
    VgeMatrixMultVector3(r, m.m, a);
    double la = std::sqrt(VgeDot3(a, a)), lb = std::sqrt(VgeDot3(b, b));
    for (int i = 0; i < 3; ++i)
        if (!(std::fabs(r[i] / la - b[i] / lb) <= tol))
            return ::testing::AssertionFailure()
                   << "component " << i << ": " << r[i] / la << " vs " << b[i] / lb;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(VgeQuaternion, ZeroAndUnnormalisedQuaternions) {
    // The zero quaternion is the identity rather than a division by zero.
    double zero[4] = {0, 0, 0, 0};
    Mat m = ToMatrix(zero);
    Mat id = vgetest::Identity();
    EXPECT_TRUE(Near3(m.m, id.m, 0.0));

    // A scaled quaternion gives the rotation of its direction; the identity for any scale of w.
    double q[4], big[4];
    AxisAngle(q, 1, 2, -3, 70);
    VgeQuaternionScale(big, q, 37.5);
    EXPECT_NEAR(VgeQuaternionLength(big), 37.5, 1e-12);
    EXPECT_TRUE(Near3(ToMatrix(big).m, ToMatrix(q).m, 1e-14));
    double w[4] = {0, 0, 0, -4};
    EXPECT_TRUE(Near3(ToMatrix(w).m, id.m, 1e-15));

    // Only the 3x3 part is written.
    Mat g;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            g.m[i][j] = 9;
    VgeQuaternionToMatrix(g.m, q);
    EXPECT_EQ(g.m[3][0], 9);
    EXPECT_EQ(g.m[0][3], 9);
    EXPECT_EQ(g.m[3][3], 9);
}

TEST(VgeQuaternion, MatrixMatchesAxisRotations) {
    for (int axis = 0; axis < 3; ++axis)
        for (double deg = -180; deg <= 180; deg += 15) {
            double q[4];
            AxisAngle(q, axis == 0, axis == 1, axis == 2, deg);
            Mat want = AxisRotation(axis, deg);
            ASSERT_TRUE(Near3(ToMatrix(q).m, want.m, 1e-15)) << axis << " " << deg;
        }
}

TEST(VgeQuaternion, MatrixToQuaternionRoundTripsThroughEveryBranch) {
    vgetest::Rng rng;
    // Random rotations, plus half turns about each axis and near them, which take the branches of
    // the largest diagonal element.
    for (int n = 0; n < 400; ++n) {
        Mat m = vgetest::Identity();
        if (n < 300) {
            VgeEulerXYZToMatrix(m.m, rng.Next(-180, 180), rng.Next(-90, 90), rng.Next(-180, 180));
        } else {
            double axis[3] = {rng.Next(-0.2, 0.2), rng.Next(-0.2, 0.2), rng.Next(-0.2, 0.2)};
            axis[n % 3] = 1.0;
            double q[4];
            AxisAngle(q, axis[0], axis[1], axis[2], n % 2 ? 180.0 : rng.Next(179.9, 180));
            m = ToMatrix(q);
        }
        double q[4];
        VgeMatrixToQuaternion(q, m.m);
        // The w branch is kept down to 1 + trace = 1e-10, where the length of the result is only
        // good to about 1e-6; its direction, and so the rotation, stays exact.
        ASSERT_NEAR(VgeQuaternionLength(q), 1.0, 1e-5) << n;
        ASSERT_TRUE(Near3(ToMatrix(q).m, m.m, 1e-9)) << n;
    }
    // The identity is (0, 0, 0, 1).
    Mat id = vgetest::Identity();
    double q[4];
    VgeMatrixToQuaternion(q, id.m);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[1], 0.0);
    EXPECT_EQ(q[2], 0.0);
    EXPECT_EQ(q[3], 1.0);
    // Non-rotations give finite numbers.
    Mat neg = vgetest::Identity();
    neg.m[0][0] = neg.m[1][1] = neg.m[2][2] = -1;
    VgeMatrixToQuaternion(q, neg.m);
    for (double v : q)
        EXPECT_TRUE(std::isfinite(v));
}

TEST(VgeQuaternion, ProductComposesRotations) {
    vgetest::Rng rng;
    for (int n = 0; n < 50; ++n) {
        double a[4], b[4], ab[4];
        AxisAngle(a, rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-180, 180));
        AxisAngle(b, rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-180, 180));
        VgeQuaternionProduct(ab, a, b);
        // a (x) b turns by b first: its matrix is b's then a's.
        Mat want = Mul(ToMatrix(b), ToMatrix(a));
        ASSERT_TRUE(Near3(ToMatrix(ab).m, want.m, 1e-14));
        // In place on either operand.
        double a2[4] = {a[0], a[1], a[2], a[3]}, b2[4] = {b[0], b[1], b[2], b[3]};
        VgeQuaternionProduct(a2, a2, b);
        VgeQuaternionProduct(b2, a, b2);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(a2[i], ab[i]);
            EXPECT_EQ(b2[i], ab[i]);
        }
        // q (x) conj(q) = |q|^2 (0, 0, 0, 1).
        double c[4], p[4];
        VgeQuaternionScale(a2, a, 3.0);
        VgeQuaternionConjugate(c, a2);
        VgeQuaternionProduct(p, a2, c);
        EXPECT_NEAR(p[0], 0, 1e-14);
        EXPECT_NEAR(p[1], 0, 1e-14);
        EXPECT_NEAR(p[2], 0, 1e-14);
        EXPECT_NEAR(p[3], 9, 1e-13);
    }
}

TEST(VgeQuaternion, FromTwoVectors) {
    vgetest::Rng rng;
    for (int n = 0; n < 200; ++n) {
        double a[3] = {rng.Next(-5, 5), rng.Next(-5, 5), rng.Next(-5, 5)};
        double b[3] = {rng.Next(-5, 5), rng.Next(-5, 5), rng.Next(-5, 5)};
        double q[4];
        VgeQuaternionFromTwoVectors(q, a, b);
        // The unnormalised form: xyz = a x b, w = |a| |b| + a . b.
        double c[3];
        VgeCrossProduct3(c, a, b);
        EXPECT_EQ(q[0], c[0]);
        EXPECT_EQ(q[3], std::sqrt(VgeDot3(a, a)) * std::sqrt(VgeDot3(b, b)) + VgeDot3(a, b));
        ASSERT_TRUE(TurnsOnto(q, a, b, 1e-12)) << n;
    }
    // Parallel vectors: the identity.
    double x[3] = {2, 0, 0}, x3[3] = {3, 0, 0};
    double q[4];
    VgeQuaternionFromTwoVectors(q, x, x3);
    EXPECT_TRUE(Near3(ToMatrix(q).m, vgetest::Identity().m, 0.0));

    // Opposite vectors: a half turn, never the zero quaternion.
    const double opposite[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, -2}, {1, 2, 3}, {-0.3, 0.3, 1e-9}};
    for (const auto& a : opposite) {
        double b[3] = {-a[0] * 2, -a[1] * 2, -a[2] * 2};
        VgeQuaternionFromTwoVectors(q, a, b);
        EXPECT_GT(VgeQuaternionLength(q), 0.0);
        EXPECT_NEAR(q[3], 0.0, 1e-12);
        EXPECT_TRUE(TurnsOnto(q, a, b, 1e-12)) << a[0] << " " << a[1] << " " << a[2];
    }
    // Nearly opposite vectors still turn onto each other.
    double a[3] = {1, 0, 0}, b[3] = {-1, 1e-7, 0};
    VgeQuaternionFromTwoVectors(q, a, b);
    EXPECT_TRUE(TurnsOnto(q, a, b, 1e-14));

    // A zero vector gives the zero quaternion.
    double z[3] = {0, 0, 0};
    VgeQuaternionFromTwoVectors(q, z, x);
    EXPECT_EQ(VgeQuaternionLength(q), 0.0);
    VgeQuaternionFromTwoVectors(q, x, z);
    EXPECT_EQ(VgeQuaternionLength(q), 0.0);
}

TEST(VgeQuaternion, FromTwoNearlyOppositeVectors) {
    // b is -a turned by a small angle about an axis n perpendicular to a (Rodrigues' formula with
    // n . a = 0); the rotation from a to b must land on b and turn by pi minus that angle.
    const double directions[][3] = {{0.3, -0.7, 0.2}, {1, 0, 0}, {0, 0, -2}, {-4, 1e-3, 2.5}};
    for (const auto& a : directions) {
        double la = std::sqrt(VgeDot3(a, a)), ua[3];
        VgeScaleVector(ua, a, 1.0 / la);
        // Two axes perpendicular to a.
        double e[3] = {std::fabs(ua[0]) < 0.6 ? 1.0 : 0.0, std::fabs(ua[0]) < 0.6 ? 0.0 : 1.0, 0.0};
        double n1[3], n2[3];
        VgeCrossProduct3(n1, ua, e);
        VgeScaleVector(n1, n1, 1.0 / std::sqrt(VgeDot3(n1, n1)));
        VgeCrossProduct3(n2, ua, n1);
        for (const double* n : {(const double*)n1, (const double*)n2}) {
            for (double angle = 1e-14; angle < 2e-3; angle *= std::sqrt(10.0)) {
                double side[3];
                VgeCrossProduct3(side, n, ua);  // n x (-ua) = -(n x ua), negated below
                double b[3];
                for (int i = 0; i < 3; ++i)
                    b[i] = 2.5 * (-ua[i] * std::cos(angle) - side[i] * std::sin(angle));
                double q[4];
                VgeQuaternionFromTwoVectors(q, a, b);
                EXPECT_TRUE(TurnsOnto(q, a, b, 2e-12)) << "angle " << angle << " from opposite";
                double v = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
                EXPECT_NEAR(2.0 * std::atan2(v, q[3]), vgetest::kPi - angle, 2e-12)
                    << "angle " << angle << " from opposite";
            }
        }
    }
    // The directions of the half-degree turn that once missed by 9e-5.
    double a[3] = {0.3, -0.7, 0.2}, b[3] = {-0.3, 0.7, -0.2 + 3e-12}, q[4];
    VgeQuaternionFromTwoVectors(q, a, b);
    EXPECT_TRUE(TurnsOnto(q, a, b, 1e-15));
    // The Euler form of the same rotation.
    const double origin[3] = {1, 2, 3};
    double to[3], away[3], angles[3];
    VgeVector3Add(to, origin, a);
    VgeVector3Add(away, origin, b);
    VgeRotationBetweenDirections(origin, to, away, angles);
    Mat m = vgetest::Identity();
    VgeEulerXYZToMatrix(m.m, angles[0], angles[1], angles[2]);
    double r[3];
    VgeMatrixMultVector3(r, m.m, a);
    double lb = std::sqrt(VgeDot3(b, b)), la = std::sqrt(VgeDot3(a, a));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(r[i] / la, b[i] / lb, 1e-13) << i;
}

TEST(VgeQuaternion, FromXAxis) {
    vgetest::Rng rng;
    const double xAxis[3] = {1, 0, 0};
    for (int n = 0; n < 100; ++n) {
        double v[3] = {rng.Next(-1, 1), rng.Next(-1, 1), rng.Next(-1, 1)};
        double len = std::sqrt(VgeDot3(v, v));
        VgeScaleVector(v, v, 1.0 / len);
        double q[4];
        VgeQuaternionFromXAxis(q, v);
        EXPECT_EQ(q[0], 0.0);
        EXPECT_EQ(q[1], -v[2]);
        EXPECT_EQ(q[2], v[1]);
        EXPECT_EQ(q[3], 1.0 + v[0]);
        ASSERT_TRUE(TurnsOnto(q, xAxis, v, 1e-12));
    }
}

TEST(VgeQuaternion, RotationBetweenDirections) {
    vgetest::Rng rng;
    const double origin[3] = {3, -2, 5};
    for (int n = 0; n < 100; ++n) {
        double b[3], c[3];
        for (int i = 0; i < 3; ++i) {
            b[i] = origin[i] + rng.Next(-4, 4);
            c[i] = origin[i] + rng.Next(-4, 4);
        }
        double e[3];
        VgeRotationBetweenDirections(origin, b, c, e);
        Mat m = vgetest::Identity();
        VgeEulerXYZToMatrix(m.m, e[0], e[1], e[2]);
        double d1[3], d2[3], r[3];
        VgeVector3Subtract(d1, b, origin);
        VgeVector3Subtract(d2, c, origin);
        VgeMatrixMultVector3(r, m.m, d1);
        double l1 = std::sqrt(VgeDot3(d1, d1)), l2 = std::sqrt(VgeDot3(d2, d2));
        for (int i = 0; i < 3; ++i)
            ASSERT_NEAR(r[i] / l1, d2[i] / l2, 1e-9) << n;
    }
    // Directions equal within 0.001 per component: no rotation, whatever the lengths.
    double e[3];
    const double b[3] = {4, -2, 5}, c[3] = {3 + 10, -2 + 0.005, 5};
    VgeRotationBetweenDirections(origin, b, c, e);
    EXPECT_EQ(e[0], 0.0);
    EXPECT_EQ(e[1], 0.0);
    EXPECT_EQ(e[2], 0.0);
    // Opposite directions: a half turn.
    const double opp[3] = {3 - 7, -2, 5};
    VgeRotationBetweenDirections(origin, b, opp, e);
    Mat m = vgetest::Identity();
    VgeEulerXYZToMatrix(m.m, e[0], e[1], e[2]);
    double d[3] = {1, 0, 0}, r[3];
    VgeMatrixMultVector3(r, m.m, d);
    EXPECT_NEAR(r[0], -1.0, 1e-12);
    // A zero-length direction gives no rotation.
    VgeRotationBetweenDirections(origin, origin, c, e);
    EXPECT_EQ(e[0], 0.0);
    EXPECT_EQ(e[1], 0.0);
    EXPECT_EQ(e[2], 0.0);
}
