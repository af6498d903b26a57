#include "base/vge_polygon.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace {

std::vector<int> Split(int n) {
    std::vector<int> out(3 * (n - 2) + 3, -7);  // one spare triple to catch overruns
    VgeTriangulatePolygon(out.data(), n);
    for (int i = 3 * (n - 2); i < static_cast<int>(out.size()); ++i)
        EXPECT_EQ(out[i], -7) << "overrun, n " << n;
    out.resize(3 * (n - 2));
    return out;
}

double SignedArea(const double (*p)[2], int a, int b, int c) {
    return 0.5 * ((p[b][0] - p[a][0]) * (p[c][1] - p[a][1]) - (p[c][0] - p[a][0]) * (p[b][1] - p[a][1]));
}

double PolygonArea(const double (*p)[2], int n) {
    double s = 0;
    for (int i = 0; i < n; ++i)
        s += p[i][0] * p[(i + 1) % n][1] - p[(i + 1) % n][0] * p[i][1];
    return 0.5 * s;
}

}  // namespace

TEST(VgeTriangulatePolygon, KnownSplits) {
    EXPECT_EQ(Split(3), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Split(4), (std::vector<int>{0, 1, 2, 2, 3, 0}));
    EXPECT_EQ(Split(5), (std::vector<int>{0, 1, 2, 2, 3, 0, 0, 3, 4}));
    EXPECT_EQ(Split(6), (std::vector<int>{0, 1, 2, 2, 3, 0, 0, 3, 5, 3, 4, 5}));
    EXPECT_EQ(Split(7), (std::vector<int>{0, 1, 2, 2, 3, 0, 0, 3, 6, 3, 4, 6, 6, 4, 5}));
    // Fewer than three corners: nothing written.
    int untouched[3] = {-1, -1, -1};
    VgeTriangulatePolygon(untouched, 2);
    VgeTriangulatePolygon(untouched, 0);
    VgeTriangulatePolygon(untouched, -5);
    EXPECT_EQ(untouched[0], -1);
}

TEST(VgeTriangulatePolygon, SplitIsAValidTriangulationOfTheCorners) {
    for (int n = 3; n <= 40; ++n) {
        std::vector<int> t = Split(n);
        // Each polygon edge is used once in the polygon's direction; each inner diagonal once in
        // each direction, so every triangle keeps the polygon's winding and nothing overlaps.
        std::map<std::pair<int, int>, int> edges;
        for (int k = 0; k < n - 2; ++k) {
            for (int e = 0; e < 3; ++e) {
                int a = t[3 * k + e], b = t[3 * k + (e + 1) % 3];
                ASSERT_TRUE(a >= 0 && a < n && a != b) << "n " << n;
                ++edges[{a, b}];
            }
        }
        for (const auto& e : edges) {
            int a = e.first.first, b = e.first.second;
            bool boundary = b == (a + 1) % n;
            ASSERT_EQ(e.second, 1) << "n " << n << " edge " << a << "-" << b;
            ASSERT_TRUE(boundary || edges.count({b, a})) << "n " << n << " edge " << a << "-" << b;
        }
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(edges.count({i, (i + 1) % n})) << "n " << n << " edge " << i;
    }
}

TEST(VgeTriangulatePolygon, ConvexAndConcavePolygons) {
    // Regular convex polygons of 3 to 8 corners: every triangle has positive area and together
    // they cover the polygon exactly.
    for (int n = 3; n <= 8; ++n) {
        double p[8][2];
        for (int i = 0; i < n; ++i) {
            p[i][0] = std::cos(2 * M_PI * i / n);
            p[i][1] = std::sin(2 * M_PI * i / n);
        }
        std::vector<int> t = Split(n);
        double sum = 0;
        for (int k = 0; k < n - 2; ++k) {
            double a = SignedArea(p, t[3 * k], t[3 * k + 1], t[3 * k + 2]);
            EXPECT_GT(a, 1e-9) << "n " << n << " triangle " << k;
            sum += a;
        }
        EXPECT_NEAR(sum, PolygonArea(p, n), 1e-12) << "n " << n;
    }

    // Concave polygons: the split looks at positions only. The signed areas still add up to the
    // polygon's, and a reflex corner on a split diagonal's end keeps every triangle inside...
    const double arrow[4][2] = {{0, 0.5}, {1, -1}, {0, 2}, {-1, -1}};  // reflex corner 0
    std::vector<int> t = Split(4);
    EXPECT_GT(SignedArea(arrow, t[0], t[1], t[2]), 0);
    EXPECT_GT(SignedArea(arrow, t[3], t[4], t[5]), 0);
    // ...while a reflex corner elsewhere gives an inverted triangle, as no convexity test is made.
    const double dart[4][2] = {{-1, -1}, {0, 0.5}, {1, -1}, {0, 2}};  // reflex corner 1
    double a0 = SignedArea(dart, t[0], t[1], t[2]), a1 = SignedArea(dart, t[3], t[4], t[5]);
    EXPECT_LT(a0, 0);
    EXPECT_NEAR(a0 + a1, PolygonArea(dart, 4), 1e-12);

    // Concave polygons of 5 to 8 corners (a star-like outline): signed areas add up.
    for (int n = 5; n <= 8; ++n) {
        double p[8][2];
        for (int i = 0; i < n; ++i) {
            double r = i % 2 ? 0.4 : 1.0;
            p[i][0] = r * std::cos(2 * M_PI * i / n);
            p[i][1] = r * std::sin(2 * M_PI * i / n);
        }
        std::vector<int> tr = Split(n);
        double sum = 0;
        for (int k = 0; k < n - 2; ++k)
            sum += SignedArea(p, tr[3 * k], tr[3 * k + 1], tr[3 * k + 2]);
        EXPECT_NEAR(sum, PolygonArea(p, n), 1e-12) << "n " << n;
    }
}
