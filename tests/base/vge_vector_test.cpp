#include "base/vge_vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <type_traits>

// Arrays of these types are grown and moved bytewise.
static_assert(std::is_trivially_copyable<VgeTVector>::value, "VgeTVector must copy bytewise");
static_assert(std::is_trivially_copyable<VgeVector2>::value, "VgeVector2 must copy bytewise");
static_assert(std::is_trivially_copyable<VgeVector4>::value, "VgeVector4 must copy bytewise");
static_assert(std::is_trivially_copyable<VgeRGBVector>::value, "VgeRGBVector must copy bytewise");
static_assert(sizeof(VgeTVector) == 4 * sizeof(double), "VgeTVector holds exactly four doubles");

TEST(VgeTVector, EqualityLooksAtXYZWithinTolerance) {
    VgeTVector a(1, 2, 3, 4);
    EXPECT_TRUE(a == VgeTVector(1 + 1e-6, 2 - 1e-6, 3, -100));  // w ignored
    EXPECT_TRUE(a != VgeTVector(1, 2, 3 + 2e-6, 4));
    EXPECT_FALSE(a == VgeTVector(1, NAN, 3, 4));
    VgeTVector z;
    double bytes[4];
    std::memcpy(bytes, &z, sizeof(bytes));
    for (double b : bytes)
        EXPECT_EQ(b, 0.0);
}

TEST(VgeTVector, GeometryUsesXYZOnly) {
    VgeTVector v(3, 0, 4, 7);
    EXPECT_EQ(v.Length(), 5.0);
    v.Normalize();
    EXPECT_TRUE(v == VgeTVector(0.6, 0, 0.8, 0));
    EXPECT_EQ(v[3], 7.0);
    // A zero vector is left as it is instead of turning into NaNs.
    VgeTVector z(0, 0, 0, 2);
    z.Normalize();
    EXPECT_EQ(z[0], 0.0);
    EXPECT_EQ(z[3], 2.0);

    VgeTVector x(1, 0, 0, 5), y(0, 1, 0, 5);
    VgeTVector c = x.CrossProduct(y);
    EXPECT_TRUE(c == VgeTVector(0, 0, 1, 0));
    EXPECT_EQ(c[3], 1.0);
    EXPECT_EQ(VgeTVector(1, 2, 3, 100).DotProduct(VgeTVector(4, 5, 6, 100)), 32.0);
}

TEST(VgeVector3Helpers, CrossProductInPlace) {
    double a[3] = {1, 0, 0}, b[3] = {0, 1, 0};
    VgeCrossProduct3(a, a, b);
    EXPECT_EQ(a[0], 0.0);
    EXPECT_EQ(a[1], 0.0);
    EXPECT_EQ(a[2], 1.0);
}
