#include "base/vge_polygon.h"

#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// The cut of a polygon by the position-aware split, checked: n - 2 triangles over the corners
// whose edges pair up (each outline edge once in the outline's direction, each inner edge once
// each way), each facing the polygon's way (`normal`) with an area above zero, adding up to the
// polygon's area. Answers the triangles.
std::vector<int> CheckedCut(const std::vector<VgeTVector>& points, const double normal[3], const char* what) {
    const int n = static_cast<int>(points.size());
    std::vector<int> index(n);
    for (int i = 0; i < n; ++i)
        index[i] = n - 1 - i;  // the corners name the points backwards: the split must follow them
    std::vector<VgeTVector> stored(points.rbegin(), points.rend());
    std::vector<int> t(3 * (n - 2) + 3, -7);
    VgeTriangulatePolygon(t.data(), n, stored.data(), n, index.data());
    EXPECT_EQ(t[3 * (n - 2)], -7) << what << ": overrun";
    t.resize(3 * (n - 2));
    std::map<std::pair<int, int>, int> edges;
    double sum = 0.0, polygon = 0.0;
    for (int k = 0; k < n - 2; ++k) {
        const VgeTVector& a = points[t[3 * k]];
        const VgeTVector& b = points[t[3 * k + 1]];
        const VgeTVector& c = points[t[3 * k + 2]];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const double cross[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                 u[0] * v[1] - u[1] * v[0]};
        const double facing = 0.5 * (cross[0] * normal[0] + cross[1] * normal[1] + cross[2] * normal[2]);
        EXPECT_GT(facing, 1e-12) << what << ": triangle " << k << " folds or is empty";
        sum += facing;
        for (int e = 0; e < 3; ++e)
            ++edges[{t[3 * k + e], t[3 * k + (e + 1) % 3]}];
    }
    for (int i = 0; i < n; ++i) {
        const VgeTVector& a = points[i];
        const VgeTVector& b = points[(i + 1) % n];
        const double cross[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                                 a[0] * b[1] - a[1] * b[0]};
        polygon += 0.5 * (cross[0] * normal[0] + cross[1] * normal[1] + cross[2] * normal[2]);
        EXPECT_EQ(edges[std::make_pair(i, (i + 1) % n)], 1) << what << ": outline edge " << i;
    }
    for (const auto& e : edges) {
        const bool outline = e.first.second == (e.first.first + 1) % n;
        EXPECT_EQ(e.second, 1) << what;
        if (!outline) {
            EXPECT_EQ(edges.count({e.first.second, e.first.first}), 1u) << what << ": lone inner edge";
        }
    }
    EXPECT_NEAR(sum, polygon, 1e-9 * std::fabs(polygon)) << what;
    return t;
}

std::vector<VgeTVector> Flat(const std::vector<std::pair<double, double>>& xy) {
    std::vector<VgeTVector> out;
    for (const auto& p : xy)
        out.emplace_back(p.first, p.second, 0.0, 1.0);
    return out;
}

}  // namespace

TEST(VgeTriangulatePolygon, ConcavePolygonsAreCutIntoEarsThatCoverThem) {
    const double up[3] = {0, 0, 1};
    // An L: the split without positions folds at the reflex corner 3.
    const std::vector<VgeTVector> l = Flat({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
    CheckedCut(l, up, "L");
    // The L turned the other way round (clockwise seen from +Z) faces -Z, and its triangles too.
    const double down[3] = {0, 0, -1};
    CheckedCut(std::vector<VgeTVector>(l.rbegin(), l.rend()), down, "L backwards");
    // The L standing in a tilted plane (x, y, z) -> (x, y * 0.6, y * 0.8).
    std::vector<VgeTVector> tilted;
    for (const VgeTVector& p : l)
        tilted.emplace_back(p[0], p[1] * 0.6, p[1] * 0.8, 1.0);
    const double slope[3] = {0, -0.8, 0.6};
    CheckedCut(tilted, slope, "tilted L");
    // Darts with the reflex corner at each place, and a comb of many teeth.
    for (int r = 0; r < 4; ++r) {
        std::vector<std::pair<double, double>> dart = {{-1, -1}, {0, 0.5}, {1, -1}, {0, 2}};
        std::rotate(dart.begin(), dart.begin() + r, dart.end());
        CheckedCut(Flat(dart), up, "dart");
    }
    std::vector<std::pair<double, double>> comb = {{0, 0}};
    for (int tooth = 0; tooth < 40; ++tooth) {
        comb.push_back({2.0 * tooth, 3.0});
        comb.push_back({2.0 * tooth + 1, 3.0});
        comb.push_back({2.0 * tooth + 1, 1.0});
        comb.push_back({2.0 * tooth + 2, 1.0});
    }
    comb.push_back({80, 0});
    CheckedCut(Flat(comb), down, "comb");  // clockwise seen from +Z
    // A star of 33 points (66 corners).
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 66; ++i) {
        const double r = i % 2 ? 0.3 : 1.0;
        star.push_back({r * std::cos(2 * M_PI * i / 66), r * std::sin(2 * M_PI * i / 66)});
    }
    CheckedCut(Flat(star), up, "star");
    // A spiral of 2,000 corners: every ear is found without a full search per cut.
    std::vector<std::pair<double, double>> spiral;
    for (int i = 0; i < 1000; ++i)
        spiral.push_back({(10 + 0.01 * i) * std::cos(0.02 * i), (10 + 0.01 * i) * std::sin(0.02 * i)});
    for (int i = 999; i >= 0; --i)
        spiral.push_back({(10.5 + 0.01 * i) * std::cos(0.02 * i), (10.5 + 0.01 * i) * std::sin(0.02 * i)});
    CheckedCut(Flat(spiral), down, "spiral");
}

TEST(VgeTriangulatePolygon, ConvexAndUnusablePolygonsKeepThePlainSplit) {
    auto cut = [](const std::vector<VgeTVector>& points, std::vector<int> index = {}) {
        const int n = static_cast<int>(points.size());
        if (index.empty())
            for (int i = 0; i < n; ++i)
                index.push_back(i);
        std::vector<int> t(3 * (n - 2));
        VgeTriangulatePolygon(t.data(), n, points.data(), n, index.data());
        return t;
    };
    // Convex, also with corners on a line and with a corner bent by rounding only.
    EXPECT_EQ(cut(Flat({{0, 0}, {1, 0}, {2, 0}, {2, 1}, {0, 1}})), Split(5));
    EXPECT_EQ(cut(Flat({{0, 0}, {1, 1e-17}, {2, 0}, {2, 1}, {1, 1}, {0, 1}})), Split(6));
    EXPECT_EQ(cut(Flat({{0, 0}, {1, -1e-17}, {2, 0}, {2, 1}, {1, 1}, {0, 1}})), Split(6));
    // No plane, a point that is not a number, a corner naming no point.
    const std::vector<VgeTVector> line = Flat({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
    EXPECT_EQ(cut(line), Split(5));
    std::vector<VgeTVector> l = Flat({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}});
    EXPECT_NE(cut(l), Split(6));
    l[4][0] = std::nan("");
    EXPECT_EQ(cut(l), Split(6));
    l[4][0] = 1;
    EXPECT_EQ(cut(l, {0, 1, 2, 3, 6, 5}), Split(6));
    EXPECT_EQ(cut(l, {0, 1, 2, 3, -1, 5}), Split(6));
    int untouched = -3;
    EXPECT_FALSE(VgeTriangulateConcavePolygon(&untouched, 6, nullptr, 6, nullptr));
    EXPECT_EQ(untouched, -3);
    // A triangle is its own split, whatever its positions.
    EXPECT_EQ(cut(Flat({{0, 0}, {0, 1}, {1, 0}})), Split(3));
}

TEST(VgeTriangulatePolygon, OutlinesThatCrossThemselvesStillGiveTriangles) {
    // A bow tie of six corners and a hexagram walked in one line: no ear may be left at some
    // point, yet every call ends with n - 2 triangles of distinct corners.
    const std::vector<std::vector<std::pair<double, double>>> shapes = {
        {{0, 0}, {2, 2}, {2, 0}, {1, 0.2}, {0, 2}, {-0.5, 1}},
        {{0, 3}, {1, -1}, {-2, 1}, {2, 1}, {-1, -1}, {0.2, 0}, {0, 0.5}},
        {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0.5, 2}}};
    for (const auto& shape : shapes) {
        const std::vector<VgeTVector> points = Flat(shape);
        const int n = static_cast<int>(points.size());
        std::vector<int> index(n);
        for (int i = 0; i < n; ++i)
            index[i] = i;
        std::vector<int> t(3 * (n - 2) + 1, -7);
        VgeTriangulatePolygon(t.data(), n, points.data(), n, index.data());
        EXPECT_EQ(t.back(), -7);
        for (int k = 0; k < n - 2; ++k) {
            for (int e = 0; e < 3; ++e) {
                EXPECT_GE(t[3 * k + e], 0);
                EXPECT_LT(t[3 * k + e], n);
            }
            EXPECT_NE(t[3 * k], t[3 * k + 1]);
            EXPECT_NE(t[3 * k + 1], t[3 * k + 2]);
            EXPECT_NE(t[3 * k], t[3 * k + 2]);
        }
    }
}

TEST(VgeTriangulatePolygon, LargeOutlinesAreCutIntoShortTriangles) {
    const double up[3] = {0, 0, 1};
    auto longestEdge = [](const std::vector<VgeTVector>& points, const std::vector<int>& t) {
        double longest = 0.0;
        for (size_t k = 0; k < t.size(); k += 3)
            for (int e = 0; e < 3; ++e) {
                const VgeTVector& a = points[t[k + e]];
                const VgeTVector& b = points[t[k + (e + 1) % 3]];
                longest = std::max(longest, std::hypot(a[0] - b[0], a[1] - b[1]));
            }
        return longest;
    };
    // A band of 2,000 corners with saw-toothed long sides 1 apart and 5 across: cut as a ladder
    // from side to side, never fanning out from one end along a side.
    std::vector<std::pair<double, double>> band;
    for (int i = 0; i < 1000; ++i)
        band.push_back({(double)i, i % 2 ? 1.0 : 0.0});
    for (int i = 999; i >= 0; --i)
        band.push_back({(double)i, i % 2 ? 6.0 : 5.0});
    std::vector<VgeTVector> points = Flat(band);
    std::vector<int> t = CheckedCut(points, up, "band");
    // CheckedCut numbers the corners as given.
    EXPECT_LT(longestEdge(points, t), 8.0);

    // A star of 4,000 corners whose inner corners all meet at its centre every 50 corners (it
    // touches itself there): the n - 2 triangles add up to its area.
    std::vector<std::pair<double, double>> star;
    for (int i = 0; i < 4000; ++i) {
        const double r = i % 50 == 25 ? 0.0 : (i % 2 ? 0.5 : 1.0);
        star.push_back({r * std::cos(2 * M_PI * i / 4000), r * std::sin(2 * M_PI * i / 4000)});
    }
    points = Flat(star);
    std::vector<int> index(points.size());
    for (size_t i = 0; i < index.size(); ++i)
        index[i] = (int)i;
    t.assign(3 * (points.size() - 2), -1);
    VgeTriangulatePolygon(t.data(), (int)points.size(), points.data(), (int)points.size(), index.data());
    double sum = 0.0, area = 0.0;
    for (size_t k = 0; k < t.size(); k += 3) {
        const VgeTVector &a = points[t[k]], &b = points[t[k + 1]], &c = points[t[k + 2]];
        sum += 0.5 * ((b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]));
    }
    for (size_t i = 0; i < points.size(); ++i) {
        const VgeTVector &a = points[i], &b = points[(i + 1) % points.size()];
        area += 0.5 * (a[0] * b[1] - b[0] * a[1]);
    }
    EXPECT_NEAR(sum, area, 1e-9);
    EXPECT_LT(longestEdge(points, t), 1.01);

    // 600 corners thrown at random into a square, an outline crossing itself everywhere: corners
    // with no ear left are cut by their turn, and every call still ends with n - 2 triangles of
    // three distinct corners.
    std::vector<std::pair<double, double>> scattered;
    unsigned seed = 12345;
    auto next = [&]() {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 8) & 0xffff) / 65536.0;
    };
    for (int i = 0; i < 600; ++i)
        scattered.push_back({next(), next()});
    points = Flat(scattered);
    index.resize(points.size());
    for (size_t i = 0; i < index.size(); ++i)
        index[i] = (int)i;
    t.assign(3 * (points.size() - 2) + 1, -7);
    VgeTriangulatePolygon(t.data(), (int)points.size(), points.data(), (int)points.size(), index.data());
    EXPECT_EQ(t.back(), -7);
    std::vector<int> used(points.size(), 0);
    for (size_t k = 0; k + 3 <= t.size(); k += 3) {
        ASSERT_TRUE(t[k] >= 0 && t[k + 1] >= 0 && t[k + 2] >= 0 && t[k] < 600 && t[k + 1] < 600 &&
                    t[k + 2] < 600);
        EXPECT_TRUE(t[k] != t[k + 1] && t[k + 1] != t[k + 2] && t[k] != t[k + 2]);
        ++used[t[k + 1]];
    }
    // Each corner is cut off once at most: the middle corners of the triangles differ.
    EXPECT_EQ(*std::max_element(used.begin(), used.end()), 1);
}
