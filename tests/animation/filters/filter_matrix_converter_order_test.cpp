#include <gtest/gtest.h>

#include <cmath>

#include "animation/filters/fcurve_filter_matrix_converter.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

// Rotations built here from axis turns (row vectors, p' = p M), independent of the library's
// Euler code.
struct M3 {
    double m[3][3];
};

M3 Mul(const M3& a, const M3& b) {
    M3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

M3 Turn(int axis, double degrees) {
    double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    int u = (axis + 1) % 3, v = (axis + 2) % 3;
    M3 r{};
    r.m[axis][axis] = 1.0;
    r.m[u][u] = r.m[v][v] = c;
    r.m[u][v] = s;
    r.m[v][u] = -s;
    return r;
}

// Order code 0..10: the first-named axis turns first; 12: the quaternion of the half angles
// (sx cy cz, cx sy + sx sz, cx sz - sx sy, cx cy cz), normalised and written out by hand.
M3 ByCode(const double r[3], int code) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    if (code != 12) {
        const int* a = kAxes[code / 2];
        return Mul(Mul(Turn(a[0], r[a[0]]), Turn(a[1], r[a[1]])), Turn(a[2], r[a[2]]));
    }
    double c[3], s[3];
    for (int i = 0; i < 3; ++i) {
        c[i] = std::cos(r[i] * M_PI / 360.0);
        s[i] = std::sin(r[i] * M_PI / 360.0);
    }
    double x = s[0] * c[1] * c[2], y = c[0] * s[1] + s[0] * s[2], z = c[0] * s[2] - s[0] * s[1],
           w = c[0] * c[1] * c[2];
    double n = std::sqrt(x * x + y * y + z * z + w * w);
    x /= n, y /= n, z /= n, w /= n;
    return M3{{{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
               {2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
               {2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}}};
}

const double kKeys[3][3] = {{10, 20, 30}, {-35, 50, 100}, {120, -70, -160}};
const double kDefaults[3] = {15, -25, 40};

// A transform node whose rotation is keyed at frames 0..2, with the defaults above.
VFCurveNode* MakeRotated() {
    VFCurveNode* root = VFCurveNode::Create("Transform", "Transform", nullptr);
    root->Add(MakeChannel("T", 1));
    root->Add(MakeChannel("R", 2));
    root->Add(MakeChannel("S", 3));
    for (int c = 0; c < 3; ++c) {
        Axis(root->Get(2), c)->SetDefaultValue(1.0f);
        Axis(root->Get(1), c)->SetDefaultValue((float)kDefaults[c]);
        SetKeys(*Axis(root->Get(1), c),
                {{Frames(0), (float)kKeys[0][c]},
                 {Frames(1), (float)kKeys[1][c]},
                 {Frames(2), (float)kKeys[2][c]}},
                VFCurveKey::eInterpolationLinear);
    }
    return root;
}

// Converts a fresh node from `source` to `destination` order and checks that every sample (and
// the defaults, sample -1) gives the same rotation on both sides.
void CheckConversion(int source, int destination) {
    VFCurveFilterMatrixConverter filter;
    filter.SetResamplingPeriod(Frames(1));
    filter.SetApplyUnroll(false);
    filter.SetApplyConstantKeyReducer(false);
    filter.SetSourceRotationOrder(source);
    filter.SetDestinationRotationOrder(destination);
    NodePtr root(MakeRotated());
    ASSERT_TRUE(filter.Apply(*root, true)) << source << " to " << destination;
    for (int k = -1; k < 3; ++k) {
        double r[3];
        for (int c = 0; c < 3; ++c) {
            VFCurve* curve = Axis(root->Get(1), c);
            r[c] = k < 0 ? curve->GetDefaultValue() : curve->KeyGetValue(k);
        }
        M3 got = ByCode(r, destination), want = ByCode(k < 0 ? kDefaults : kKeys[k], source);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(got.m[i][j], want.m[i][j], 2e-5)
                    << source << " to " << destination << ", sample " << k << ", element " << i << j;
    }
}

}  // namespace

TEST(filters_MatrixConverterOrder, EveryOrderBothWays) {
    for (int code = 2; code <= 12; code += 2) {
        CheckConversion(code, 0);
        CheckConversion(0, code);
    }
    CheckConversion(10, 12);
}

TEST(filters_MatrixConverterOrder, CodesAndEqualOrders) {
    VFCurveFilterMatrixConverter filter;
    EXPECT_EQ(filter.GetSourceRotationOrder(), 0);
    filter.SetDestinationRotationOrder(12);
    EXPECT_EQ(filter.GetDestinationRotationOrder(), 12);
    // Odd, negative and out-of-range codes are stored as XYZ; Reset returns to XYZ.
    for (int bad : {-2, 3, 13, 14, 1 << 30}) {
        filter.SetSourceRotationOrder(bad);
        EXPECT_EQ(filter.GetSourceRotationOrder(), 0) << bad;
    }
    filter.Reset();
    EXPECT_EQ(filter.GetDestinationRotationOrder(), 0);

    // Equal orders over equal sets change nothing.
    filter.SetResamplingPeriod(Frames(1));
    filter.SetApplyUnroll(false);
    filter.SetSourceRotationOrder(8);
    filter.SetDestinationRotationOrder(8);
    NodePtr root(MakeRotated());
    EXPECT_FALSE(filter.Apply(*root, true));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_FLOAT_EQ(Axis(root->Get(1), 2)->KeyGetValue(1), 100.0f);
}
