// Euler continuity from one sample to the next.

#include "animation/euler_continuity.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/vge_euler.h"
#include "base/vge_matrix.h"

namespace {

void ExpectTriple(const double* got, double x, double y, double z) {
    EXPECT_NEAR(got[0], x, 1e-9);
    EXPECT_NEAR(got[1], y, 1e-9);
    EXPECT_NEAR(got[2], z, 1e-9);
}

double MatrixDistance(const double* a, const double* b) {
    double ma[4][4], mb[4][4], d = 0;
    VgeMatrixIdentity(ma);
    VgeMatrixIdentity(mb);
    VgeEulerXYZToMatrix(ma, a[0], a[1], a[2]);
    VgeEulerXYZToMatrix(mb, b[0], b[1], b[2]);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            d = std::fmax(d, std::fabs(ma[i][j] - mb[i][j]));
    return d;
}

}  // namespace

TEST(bvh_EulerContinuity, WholeTurnsTowardThePreviousFrame) {
    double out[3];
    const double previous[3] = {179, -10, 700};
    const double current[3] = {-179, -10, -19};
    MakeEulerContinuous(current, out, previous);
    ExpectTriple(out, 181, -10, 701);
    // In place.
    double inPlace[3] = {-179, -10, -19};
    MakeEulerContinuous(inPlace, inPlace, previous);
    ExpectTriple(inPlace, 181, -10, 701);
}

TEST(bvh_EulerContinuity, TheOtherSetWhenNearer) {
    // (0, 85, 0) decomposed from a turn past the pole comes back as (180, 85, 180); its other
    // set (360, 95, 360), turned back by whole turns to (0, 95, 0), lies next to the previous
    // (0, 89, 0).
    const double previous[3] = {0, 89, 0};
    const double current[3] = {180, 85, 180};
    double out[3];
    MakeEulerContinuous(current, out, previous);
    ExpectTriple(out, 0, 95, 0);
    EXPECT_LT(MatrixDistance(out, current), 1e-12);
    // Equal distance keeps the set itself.
    const double zero[3] = {0, 0, 0};
    const double tie[3] = {90, 90, 90};
    MakeEulerContinuous(tie, out, zero);
    ExpectTriple(out, 90, 90, 90);
}

TEST(bvh_EulerContinuity, AxisTripleAndNonFiniteAngles) {
    // With the axes Z, Y, X the middle angle is still index 1, the outer ones 2 and 0.
    const int zyx[3] = {2, 1, 0};
    const double previous[3] = {0, 89, 0};
    const double current[3] = {180, 85, 180};
    double out[3];
    MakeEulerContinuous(current, out, previous, zyx);
    ExpectTriple(out, 0, 95, 0);
    const double bad[3] = {NAN, 1, 2};
    MakeEulerContinuous(bad, out, previous);
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_EQ(out[1], 1);
}
