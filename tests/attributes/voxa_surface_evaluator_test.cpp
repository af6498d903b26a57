#include "attributes/voxa_surface_evaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "attributes/voxa_weight_table.h"

namespace {

typedef std::vector<double> V4;  // x, y, z, w

// Reference curve evaluators, independent of the evaluator's tables.
V4 DeCasteljau(std::vector<V4> p, double t) {
    for (size_t r = 1; r < p.size(); ++r)
        for (size_t i = 0; i + r < p.size(); ++i)
            for (int x = 0; x < 4; ++x)
                p[i][x] = (1 - t) * p[i][x] + t * p[i + 1][x];
    return p[0];
}

// De Boor at x in span [knots[j], knots[j + 1]) of degree p over homogeneous points.
V4 DeBoor(const std::vector<V4>& points, const std::vector<double>& knots, int p, int j, double x) {
    std::vector<V4> d(p + 1);
    for (int i = 0; i <= p; ++i)
        d[i] = points[(j - p + i) % points.size()];
    for (int r = 1; r <= p; ++r)
        for (int i = p; i >= r; --i) {
            double a = (x - knots[i + j - p]) / (knots[i + 1 + j - r] - knots[i + j - p]);
            for (int c = 0; c < 4; ++c)
                d[i][c] = (1 - a) * d[i - 1][c] + a * d[i][c];
        }
    return d[p];
}

struct Grid {
    int nu, nv;
    std::vector<VgeTVector> points;
};

Grid RandomGrid(std::mt19937& rng, int nu, int nv, bool randomWeights) {
    std::uniform_real_distribution<double> pos(-5, 5), w(0.5, 2.0);
    Grid g{nu, nv, {}};
    for (int i = 0; i < nu * nv; ++i)
        g.points.emplace_back(pos(rng), pos(rng), pos(rng), randomWeights ? w(rng) : 1.0);
    return g;
}

// A tensor surface from a curve evaluator: `curve` maps a row of homogeneous points to a point.
template <typename Curve>
V4 Tensor(const Grid& g, Curve curveU, Curve curveV) {
    std::vector<V4> column;
    for (int j = 0; j < g.nv; ++j) {
        std::vector<V4> row;
        for (int i = 0; i < g.nu; ++i) {
            const VgeTVector& p = g.points[j * g.nu + i];
            row.push_back({p[0] * p[3], p[1] * p[3], p[2] * p[3], p[3]});
        }
        column.push_back(curveU(row));
    }
    return curveV(column);
}

std::vector<double> Cross(const std::vector<double>& a, const std::vector<double>& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// Checks a position and that the normal points along Tv x Tu of the reference surface, whose
// tangents come from central differences of `at` (a function of (u, v) giving x, y, z).
template <typename At>
void CheckVertex(const VgeTVector& point, const VgeTVector& normal, At at, double u, double v,
                 const char* what) {
    std::vector<double> p = at(u, v);
    for (int x = 0; x < 3; ++x)
        ASSERT_NEAR(point[x], p[x], 1e-9) << what << " u " << u << " v " << v;
    const double h = 1e-6;
    std::vector<double> pu1 = at(u + h, v), pu0 = at(u - h, v), pv1 = at(u, v + h), pv0 = at(u, v - h);
    std::vector<double> tu(3), tv(3);
    for (int x = 0; x < 3; ++x) {
        tu[x] = pu1[x] - pu0[x];
        tv[x] = pv1[x] - pv0[x];
    }
    std::vector<double> ref = Cross(tv, tu);
    double dot = 0, nn = 0, rr = 0;
    for (int x = 0; x < 3; ++x) {
        dot += ref[x] * normal[x];
        nn += normal[x] * normal[x];
        rr += ref[x] * ref[x];
    }
    ASSERT_GT(dot / std::sqrt(nn * rr), 1 - 1e-6) << what << " normal direction at u " << u << " v " << v;
}

std::vector<double> Divide(const V4& p) {
    return {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
}

}  // namespace

TEST(attributes_SurfaceEvaluator, CountsBasesAndCollapsedEdges) {
    std::unique_ptr<VOXASurfaceEvaluator> e(VOXASurfaceEvaluator::CreatePatchEvaluator(0, 0));
    std::vector<VgeTVector> cp(16), out(169), normals(169);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            cp[j * 4 + i] = VgeTVector(i, j, (i * j) % 3, 1.0);
    e->SetControlPoints(cp.data(), 4, 4);
    ASSERT_EQ(e->GetUVertexCount(), 13);
    ASSERT_EQ(e->GetVVertexCount(), 13);
    e->SetPointOutput(out.data());
    e->SetNormalOutput(normals.data());
    e->Evaluate(nullptr);
    EXPECT_NEAR(out[0][0], 0, 1e-12);
    EXPECT_NEAR(out[12][0], 3, 1e-12) << "corner (12, 0) is control point (3, 0)";
    EXPECT_NEAR(out[168][1], 3, 1e-12);

    // Cubic B-spline: 6 points, step 4: 13 open, 24 closed.
    std::unique_ptr<VOXASurfaceEvaluator> b(VOXASurfaceEvaluator::CreatePatchEvaluator(3, 3));
    std::vector<VgeTVector> six(36);
    b->SetControlPoints(six.data(), 6, 6);
    EXPECT_EQ(b->GetUVertexCount(), 13);
    b->SetUClosed(1);
    EXPECT_EQ(b->GetUVertexCount(), 24);
    // Closed Bezier: one segment per 3 points, 12 points step 2 -> 4 segments of 6.
    std::unique_ptr<VOXASurfaceEvaluator> z(VOXASurfaceEvaluator::CreatePatchEvaluator(0, 0));
    std::vector<VgeTVector> twelve(48);
    z->SetControlPoints(twelve.data(), 12, 4);
    z->SetUClosed(1);
    z->SetUStep(2);
    EXPECT_EQ(z->GetUVertexCount(), 24);
    // Bad set-ups have no vertices.
    z->SetVStep(0);
    EXPECT_EQ(z->GetVVertexCount(), 0);
    z->SetVStep(4);
    z->SetControlPoints(twelve.data(), 12, 3);
    EXPECT_EQ(z->GetVVertexCount(), 0) << "fewer points than the order";
    z->SetVStep(2000000000);
    z->SetControlPoints(twelve.data(), 2, 24);
    EXPECT_EQ(z->GetVVertexCount(), 0) << "count past the int range";

    // Linear 2 x 2, step 1: vertices at the points, normal (P01 - P00) x (P10 - P00) / 4.
    std::unique_ptr<VOXASurfaceEvaluator> l(VOXASurfaceEvaluator::CreatePatchEvaluator(4, 4));
    std::vector<VgeTVector> quad = {{0, 0, 0, 1}, {2, 0, 1, 1}, {0, 3, 0, 1}, {1, 1, 1, 1}};
    std::vector<VgeTVector> lo(4), ln(4);
    l->SetUStep(1);
    l->SetVStep(1);
    l->SetControlPoints(quad.data(), 2, 2);
    l->SetPointOutput(lo.data());
    l->SetNormalOutput(ln.data());
    l->Evaluate(nullptr);
    ASSERT_EQ(l->GetUVertexCount(), 2);
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(lo[i][0], quad[i][0], 1e-12);
    // (0,3,0) x (2,0,1) = (3, 0, -6), / 4
    EXPECT_NEAR(ln[0][0], 0.75, 1e-12);
    EXPECT_NEAR(ln[0][2], -1.5, 1e-12);
    EXPECT_EQ(ln[0][3], 0.0) << "w left as it was";

    // Basis codes: cardinal equals tension 1; an unknown code changes nothing.
    std::unique_ptr<VOXASurfaceEvaluator> c(VOXASurfaceEvaluator::CreatePatchEvaluator(2, 2));
    std::vector<double> before(c->GetUBasisMatrix(), c->GetUBasisMatrix() + 16);
    c->SetUTension(1.0);
    c->SetUBasis(7);
    EXPECT_EQ(std::vector<double>(c->GetUBasisMatrix(), c->GetUBasisMatrix() + 16), before);

    // A pole at v = 0: the whole first row shares one normal.
    std::vector<VgeTVector> pole(16);
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            pole[j * 4 + i] = j == 0 ? VgeTVector(0, 0, 1, 1)
                                     : VgeTVector(std::cos(i * 1.5) * j, std::sin(i * 1.5) * j, 1 - j, 1);
    e->SetControlPoints(pole.data(), 4, 4);
    EXPECT_TRUE(e->IsVStartCollapsed());
    EXPECT_FALSE(e->IsVEndCollapsed());
    e->Evaluate(nullptr);
    for (int i = 1; i < 13; ++i)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(normals[i][x], normals[0][x]) << "pole normal " << i;
}

TEST(attributes_SurfaceEvaluator, PatchBasesMatchClosedForms) {
    std::mt19937 rng(7);
    const int step = 3;
    // Cubic Bezier, 7 x 4 points: two u segments, one v segment.
    Grid g = RandomGrid(rng, 7, 4, false);
    std::unique_ptr<VOXASurfaceEvaluator> e(VOXASurfaceEvaluator::CreatePatchEvaluator(0, 0));
    e->SetUStep(step);
    e->SetVStep(step);
    e->SetControlPoints(g.points.data(), g.nu, g.nv);
    const int U = e->GetUVertexCount(), V = e->GetVVertexCount();
    ASSERT_EQ(U, 2 * 9 + 1);
    ASSERT_EQ(V, 10);
    std::vector<VgeTVector> out(U * V), normals(U * V);
    e->SetPointOutput(out.data());
    e->SetNormalOutput(normals.data());
    e->Evaluate(nullptr);
    // Global parameter: u in [0, 2] (segment + local t), v in [0, 1].
    auto bezier = [&](double u, double v) {
        auto cu = [u](const std::vector<V4>& row) {
            int s = std::min(1, (int)std::floor(u));
            return DeCasteljau(std::vector<V4>(row.begin() + 3 * s, row.begin() + 3 * s + 4), u - s);
        };
        auto cv = [v](const std::vector<V4>& col) { return DeCasteljau(col, v); };
        return Divide(Tensor(g, std::function<V4(const std::vector<V4>&)>(cu),
                             std::function<V4(const std::vector<V4>&)>(cv)));
    };
    for (int j = 1; j + 1 < V; ++j)
        for (int i = 1; i + 1 < U; ++i) {
            if (i % 9 == 0) continue;  // segment joints: the difference quotient straddles two segments
            CheckVertex(out[j * U + i], normals[j * U + i], bezier, i / 9.0, j / 9.0, "bezier");
        }

    // Uniform cubic B-spline, 6 x 5 points: de Boor over knots 0, 1, 2, ...
    Grid s = RandomGrid(rng, 6, 5, false);
    std::unique_ptr<VOXASurfaceEvaluator> b(VOXASurfaceEvaluator::CreatePatchEvaluator(3, 3));
    b->SetUStep(step);
    b->SetVStep(step);
    b->SetControlPoints(s.points.data(), s.nu, s.nv);
    const int BU = b->GetUVertexCount(), BV = b->GetVVertexCount();
    ASSERT_EQ(BU, 3 * step + 1);
    std::vector<VgeTVector> bo(BU * BV), bn(BU * BV);
    b->SetPointOutput(bo.data());
    b->SetNormalOutput(bn.data());
    b->Evaluate(nullptr);
    std::vector<double> knots(20);
    for (int i = 0; i < 20; ++i)
        knots[i] = i;
    auto bspline = [&](double u, double v) {
        auto curve = [&](double x, int n) {
            return std::function<V4(const std::vector<V4>&)>([x, n, &knots](const std::vector<V4>& pts) {
                int j = std::min(n - 1, std::max(3, (int)std::floor(x)));
                return DeBoor(pts, knots, 3, j, x);
            });
        };
        return Divide(Tensor(s, curve(u + 3, 6), curve(v + 3, 5)));
    };
    for (int j = 1; j + 1 < BV; ++j)
        for (int i = 1; i + 1 < BU; ++i)
            CheckVertex(bo[j * BU + i], bn[j * BU + i], bspline, i / 3.0, j / 3.0, "b-spline");
}

TEST(attributes_NURBSurfaceEvaluator, SpansAndOffsets) {
    const double k1[] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2};
    EXPECT_EQ(VOXANURBSurfaceEvaluator::CountSpans(k1, 10, 4), 2);
    const double k2[] = {0, 0, 1e-8, 1, 1};
    EXPECT_EQ(VOXANURBSurfaceEvaluator::CountSpans(k2, 5, 2), 1)
        << "an interval of exactly 1e-8 is not a span";
    EXPECT_EQ(VOXANURBSurfaceEvaluator::CountSpans(k2, 3, 2), 0);

    std::vector<VgeTVector> cp(6 * 4, VgeTVector(1, 1, 1, 1));
    std::vector<double> weights(24, 1.0), weighted(72);
    std::vector<double> vk = {0, 0, 0, 0, 1, 1, 1, 1};
    std::unique_ptr<VOXANURBSurfaceEvaluator> e(VOXANURBSurfaceEvaluator::Create(4, 4));
    e->SetControlPoints(cp.data(), 6, 4);
    e->SetData(0, weights.data());
    e->SetData(1, (void*)k1);
    e->SetData(2, vk.data());
    e->SetData(5, weighted.data());
    e->SetUStep(2);
    e->SetVStep(2);
    ASSERT_EQ(e->GetUVertexCount(), 5);
    ASSERT_EQ(e->GetVVertexCount(), 3);
    std::vector<VgeTVector> out(15), normals(15);
    e->SetPointOutput(out.data());
    e->SetNormalOutput(normals.data());
    VOXAWeightTable table(24, 15);
    e->Evaluate(&table);
    EXPECT_EQ(e->GetUSpanOffsets(), std::vector<int>({0, 2})) << "the zero-length interval is skipped";
    // Vertex 2 of row 0 starts the second span: control points 2 .. 5.
    ASSERT_GT(table.GetEntryCount(1, 2), 0);
    for (int n = 0; n < table.GetEntryCount(1, 2); ++n)
        EXPECT_GE(table.GetEntry(1, 2, n).index % 6, 2);

    // Closed direction, uniform knots, 5 points, step 3: 15 vertices, the last segment on 4, 0, 1, 2.
    std::vector<double> uk(5 + 7);
    for (size_t i = 0; i < uk.size(); ++i)
        uk[i] = i;
    std::vector<VgeTVector> ring(5 * 4, VgeTVector(0, 0, 0, 1));
    std::vector<double> rw(20, 1.0), rb(60);
    std::unique_ptr<VOXANURBSurfaceEvaluator> c(VOXANURBSurfaceEvaluator::Create(4, 4));
    c->SetUClosed(1);
    c->SetUStep(3);
    c->SetVStep(1);
    c->SetControlPoints(ring.data(), 5, 4);
    c->SetData(0, rw.data());
    c->SetData(1, uk.data());
    c->SetData(2, vk.data());
    c->SetData(5, rb.data());
    ASSERT_EQ(c->GetUVertexCount(), 15);
    std::vector<VgeTVector> ro(15 * 2), rn(15 * 2);
    c->SetPointOutput(ro.data());
    c->SetNormalOutput(rn.data());
    VOXAWeightTable ct(20, 30);
    c->Evaluate(&ct);
    std::vector<int> used;
    for (int n = 0; n < ct.GetEntryCount(1, 14); ++n)
        used.push_back(ct.GetEntry(1, 14, n).index % 5);
    std::sort(used.begin(), used.end());
    used.erase(std::unique(used.begin(), used.end()), used.end());
    EXPECT_EQ(used, std::vector<int>({0, 1, 2, 4}));
}

TEST(attributes_NURBSurfaceEvaluator, RationalPositionsMatchDeBoor) {
    std::mt19937 rng(11);
    for (int order = 2; order <= 4; ++order)
        for (int clamped = 0; clamped < 2; ++clamped)
            for (int rational = 0; rational < 2; ++rational) {
                const int nu = 6, nv = 5, p = order - 1, step = 3;
                Grid g = RandomGrid(rng, nu, nv, rational != 0);
                auto makeKnots = [&](int n) {
                    std::vector<double> k(n + order);
                    for (int i = 0; i < n + order; ++i)
                        k[i] = clamped ? std::min(std::max(i - p, 0), n - p) : i;
                    return k;
                };
                std::vector<double> ku = makeKnots(nu), kv = makeKnots(nv);
                std::vector<double> weights, buffer(nu * nv * 3);
                for (auto& pt : g.points)
                    weights.push_back(pt[3]);
                std::unique_ptr<VOXANURBSurfaceEvaluator> e(VOXANURBSurfaceEvaluator::Create(order, order));
                e->SetUStep(step);
                e->SetVStep(step);
                e->SetControlPoints(g.points.data(), nu, nv);
                e->SetData(1, ku.data());
                e->SetData(2, kv.data());
                e->SetData(0, weights.data());
                e->SetData(5, buffer.data());
                const int U = e->GetUVertexCount(), V = e->GetVVertexCount();
                ASSERT_EQ(U, (nu - p) * step + 1);
                std::vector<VgeTVector> out(U * V), normals(U * V);
                e->SetPointOutput(out.data());
                e->SetNormalOutput(normals.data());
                VOXAWeightTable table(nu * nv, U * V);
                e->Evaluate(&table);
                // Parameters of vertex i: span i / step, sample i % step.
                auto param = [&](const std::vector<double>& k, int i, int n) {
                    int span = std::min(i / step, n - p - 1);
                    int sample = i - span * step;
                    double t0 = k[p + span], t1 = k[p + span + 1];
                    return std::make_pair(p + span, t0 + sample * ((t1 - t0) / (step + 1e-8)));
                };
                auto at = [&](int i, int j, double du, double dv) {
                    auto pu = param(ku, i, nu), pv = param(kv, j, nv);
                    auto cu = std::function<V4(const std::vector<V4>&)>(
                        [&](const std::vector<V4>& r) { return DeBoor(r, ku, p, pu.first, pu.second + du); });
                    auto cv = std::function<V4(const std::vector<V4>&)>(
                        [&](const std::vector<V4>& c) { return DeBoor(c, kv, p, pv.first, pv.second + dv); });
                    return Divide(Tensor(g, cu, cv));
                };
                const char* what = rational ? "rational" : "weights 1";
                for (int j = 0; j < V; ++j)
                    for (int i = 0; i < U; ++i) {
                        auto f = [&](double du, double dv) { return at(i, j, du, dv); };
                        auto local = [&](double u, double v) { return f(u, v); };
                        const VgeTVector& pt = out[j * U + i];
                        std::vector<double> ref = local(0, 0);
                        for (int x = 0; x < 3; ++x)
                            ASSERT_NEAR(pt[x], ref[x], 1e-9)
                                << what << " order " << order << " clamped " << clamped;
                        // Normals inside the grid, away from span ends (orders 2 have kinks).
                        if (order > 2 && i > 0 && j > 0 && i + 1 < U && j + 1 < V && i % step && j % step)
                            CheckVertex(pt, normals[j * U + i], local, 0, 0, what);
                        // The table's destination row sums to the vertex's w.
                        auto hw = [&]() {
                            auto pu = param(ku, i, nu), pv = param(kv, j, nv);
                            std::vector<V4> col;
                            for (int jj = 0; jj < nv; ++jj) {
                                std::vector<V4> row;
                                for (int ii = 0; ii < nu; ++ii)
                                    row.push_back({0, 0, 0, weights[jj * nu + ii]});
                                col.push_back(DeBoor(row, ku, p, pu.first, pu.second));
                            }
                            return DeBoor(col, kv, p, pv.first, pv.second)[3];
                        };
                        ASSERT_NEAR(table.GetWeightSum(1, j * U + i, false), hw(), 1e-9);
                    }
            }
}

TEST(attributes_NURBSurfaceEvaluator, BadInputStaysInsideArrays) {
    std::vector<VgeTVector> cp(16, VgeTVector(1, 2, 3, 1));
    std::vector<double> zero(16, 0.0), buffer(48);
    std::vector<double> decreasing = {5, 4, 3, 2, 1, 0, -1, -2};
    std::vector<double> ok = {0, 0, 0, 0, 1, 1, 1, 1};
    for (int order : {0, -1, 5}) {
        std::unique_ptr<VOXANURBSurfaceEvaluator> e(VOXANURBSurfaceEvaluator::Create(order, 4));
        e->SetControlPoints(cp.data(), 4, 4);
        e->SetData(1, ok.data());
        e->SetData(2, ok.data());
        EXPECT_EQ(e->GetUVertexCount(), 0) << "order " << order;
        e->Evaluate(nullptr);
    }
    std::unique_ptr<VOXANURBSurfaceEvaluator> e(VOXANURBSurfaceEvaluator::Create(4, 4));
    e->SetControlPoints(cp.data(), 4, 4);
    e->SetData(1, decreasing.data());
    e->SetData(2, ok.data());
    EXPECT_EQ(e->GetUVertexCount(), 0) << "decreasing knots have no span";
    e->SetData(1, ok.data());
    e->SetData(0, zero.data());
    e->SetData(5, buffer.data());
    std::vector<VgeTVector> out(25), normals(25);
    e->SetPointOutput(out.data());
    e->SetNormalOutput(normals.data());
    ASSERT_EQ(e->GetUVertexCount(), 5);
    e->Evaluate(nullptr);
    EXPECT_FALSE(std::isfinite(out[6][0])) << "a zero weight sum gives non-finite positions";
    // Knots with a short tail: counted spans the walk cannot reach are left zero-weighted.
    std::vector<double> ragged = {0, 1, 2, 3, 3, 3, 3, 2};
    e->SetData(0, nullptr);
    e->SetData(1, ragged.data());
    const int U = e->GetUVertexCount();
    std::vector<VgeTVector> o2((size_t)U * 5 + 1), n2((size_t)U * 5 + 1);
    e->SetPointOutput(o2.data());
    e->SetNormalOutput(n2.data());
    e->Evaluate(nullptr);
}
