// Tessellation of an order-4 open NURBS surface and of a bicubic B-spline patch through the
// geometry converter at 50 x 50 and 100 x 100 control points, 10 steps per span; the NURBS
// evaluator alone against a direct de Boor evaluation of the same vertex grid.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "attributes/voxa_surface_evaluator.h"
#include "bench/bench_ratio.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const int kStep = 10;
const int kOrder = 4;

double Height(int i, int j) {
    return 0.1 * ((i * 7 + j * 13) % 17);
}

std::vector<double> ClampedKnots(int n) {
    std::vector<double> k(n + kOrder);
    for (int i = 0; i < n + kOrder; ++i)
        k[i] = i < kOrder ? 0 : (i >= n ? n - kOrder + 1 : i - kOrder + 1);
    return k;
}

VOxaNurb* MakeNurb(VOxaSdkManager& manager, int n) {
    VOxaNurb* nurb = manager.CreateNurb();
    nurb->SetOrder(kOrder, kOrder);
    nurb->InitControlPoints(n, eOPEN, n, eOPEN);
    nurb->SetStep(kStep, kStep);
    std::vector<double> k = ClampedKnots(n);
    for (size_t i = 0; i < k.size(); ++i)
        nurb->GetUKnotVector()[i] = nurb->GetVKnotVector()[i] = k[i];
    VgeTVector* p = nurb->GetControlPoints();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            p[j * n + i] = VgeTVector(i, j, Height(i, j), 1.0 + 0.25 * ((i + j) % 3));
    return nurb;
}

VOxaPatch* MakePatch(VOxaSdkManager& manager, int n) {
    VOxaPatch* patch = manager.CreatePatch();
    patch->InitControlPoints(n, eBSPLINE, n, eBSPLINE);
    patch->SetStep(kStep, kStep);
    VgeTVector* p = patch->GetControlPoints();
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            p[j * n + i] = VgeTVector(i, j, Height(i, j), 1.0);
    return patch;
}

typedef std::chrono::steady_clock Clock;

double NanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// The timed nanoseconds of all iterations over the vertices they made.
void SetVertexCounter(benchmark::State& state, double nanoseconds, long long vertices) {
    if (vertices > 0 && state.iterations() > 0)
        state.counters["ns per vertex"] = nanoseconds / ((double)vertices * state.iterations());
}

void BM_TriangulateNurb(benchmark::State& state) {
    const int n = (int)state.range(0);
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaNurb* nurb = MakeNurb(manager, n);
    long long vertices = 0;
    double ns = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        VOxaMesh* mesh = converter.TriangulateNurb(nurb);
        ns += NanosecondsSince(start);
        if (!mesh) {
            state.SkipWithError("refused");
            return;
        }
        vertices = mesh->GetControlPointsCount();
        state.PauseTiming();
        manager.DestroyNodeAttribute(mesh);
        state.ResumeTiming();
    }
    SetVertexCounter(state, ns, vertices);
}
BENCHMARK(BM_TriangulateNurb)->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_TriangulatePatch(benchmark::State& state) {
    const int n = (int)state.range(0);
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaPatch* patch = MakePatch(manager, n);
    long long vertices = 0;
    double ns = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        VOxaMesh* mesh = converter.TriangulatePatch(patch);
        ns += NanosecondsSince(start);
        if (!mesh) {
            state.SkipWithError("refused");
            return;
        }
        vertices = mesh->GetControlPointsCount();
        state.PauseTiming();
        manager.DestroyNodeAttribute(mesh);
        state.ResumeTiming();
    }
    SetVertexCounter(state, ns, vertices);
}
BENCHMARK(BM_TriangulatePatch)->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);

// The NURBS evaluator alone (tables, positions and normals) over the surface's vertex grid.
void BM_NurbEvaluator(benchmark::State& state) {
    const int n = (int)state.range(0);
    VOxaSdkManager manager;
    VOxaNurb* nurb = MakeNurb(manager, n);
    std::vector<double> weights(n * n), buffer(n * n * 3);
    for (int i = 0; i < n * n; ++i)
        weights[i] = nurb->GetControlPoints()[i][3];
    long long vertices = 0;
    double ns = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        VOXANURBSurfaceEvaluator* e = VOXANURBSurfaceEvaluator::Create(kOrder, kOrder);
        e->SetUClosed(0);
        e->SetVClosed(0);
        e->SetUStep(kStep);
        e->SetVStep(kStep);
        e->SetControlPoints(nurb->GetControlPoints(), n, n);
        e->SetData(1, nurb->GetUKnotVector());
        e->SetData(2, nurb->GetVKnotVector());
        e->SetData(0, weights.data());
        e->SetData(5, buffer.data());
        vertices = (long long)e->GetUVertexCount() * e->GetVVertexCount();
        ns += NanosecondsSince(start);
        state.PauseTiming();
        std::vector<VgeTVector> points(vertices), normals(vertices);
        state.ResumeTiming();
        start = Clock::now();
        e->SetPointOutput(points.data());
        e->SetNormalOutput(normals.data());
        e->Evaluate(nullptr);
        benchmark::DoNotOptimize(points.data());
        VOXASurfaceEvaluator::Destroy(e);
        ns += NanosecondsSince(start);
    }
    SetVertexCounter(state, ns, vertices);
}
BENCHMARK(BM_NurbEvaluator)->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);

// Baseline: de Boor's algorithm at every vertex of the same grid, rows first, no tables.
void DeBoor(const double (*points)[4], const double* knots, int span, double x, double* out) {
    double d[kOrder][4];
    const int p = kOrder - 1;
    for (int i = 0; i <= p; ++i)
        for (int c = 0; c < 4; ++c)
            d[i][c] = points[span - p + i][c];
    for (int r = 1; r <= p; ++r)
        for (int i = p; i >= r; --i) {
            const double a = (x - knots[i + span - p]) / (knots[i + 1 + span - r] - knots[i + span - p]);
            for (int c = 0; c < 4; ++c)
                d[i][c] = (1 - a) * d[i - 1][c] + a * d[i][c];
        }
    for (int c = 0; c < 4; ++c)
        out[c] = d[p][c];
}

void BM_DeBoorBaseline(benchmark::State& state) {
    const int n = (int)state.range(0);
    std::vector<double> knots = ClampedKnots(n);
    std::vector<double> homogeneous((size_t)n * n * 4);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double w = 1.0 + 0.25 * ((i + j) % 3);
            double* h = &homogeneous[((size_t)j * n + i) * 4];
            h[0] = i * w;
            h[1] = j * w;
            h[2] = Height(i, j) * w;
            h[3] = w;
        }
    // Vertex parameters: each span sampled kStep times (kStep + 1 on the last).
    struct Param {
        int span;
        double t;
    };
    std::vector<Param> params;
    const int spans = n - kOrder + 1;
    for (int s = 0; s < spans; ++s) {
        const double t0 = knots[kOrder - 1 + s], t1 = knots[kOrder + s];
        for (int k = 0; k < kStep + (s == spans - 1 ? 1 : 0); ++k)
            params.push_back({kOrder - 1 + s, t0 + k * (t1 - t0) / (kStep + 1e-8)});
    }
    const long long vertices = (long long)params.size() * params.size();
    std::vector<VgeTVector> out(vertices);
    double ns = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        size_t v = 0;
        double column[kOrder][4], result[4];
        for (const Param& pv : params)
            for (const Param& pu : params) {
                for (int a = 0; a < kOrder; ++a) {
                    const int row = pv.span - (kOrder - 1) + a;
                    DeBoor(reinterpret_cast<const double(*)[4]>(&homogeneous[(size_t)row * n * 4]),
                           knots.data(), pu.span, pu.t, column[a]);
                }
                // The column holds rows span - 3 .. span: de Boor over it as points 0..3.
                double d[kOrder][4];
                for (int a = 0; a < kOrder; ++a)
                    for (int c = 0; c < 4; ++c)
                        d[a][c] = column[a][c];
                const int p = kOrder - 1, span = pv.span;
                for (int r = 1; r <= p; ++r)
                    for (int i = p; i >= r; --i) {
                        const double al =
                            (pv.t - knots[i + span - p]) / (knots[i + 1 + span - r] - knots[i + span - p]);
                        for (int c = 0; c < 4; ++c)
                            d[i][c] = (1 - al) * d[i - 1][c] + al * d[i][c];
                    }
                for (int c = 0; c < 4; ++c)
                    result[c] = d[p][c];
                out[v++] =
                    VgeTVector(result[0] / result[3], result[1] / result[3], result[2] / result[3], 1.0);
            }
        benchmark::DoNotOptimize(out.data());
        ns += NanosecondsSince(start);
    }
    SetVertexCounter(state, ns, vertices);
}
BENCHMARK(BM_DeBoorBaseline)->Arg(50)->Arg(100)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter(" (ms)");
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure", 40);
    const double* small = reporter.Find("BM_TriangulateNurb ns per vertex", 50);
    const double* large = reporter.Find("BM_TriangulateNurb ns per vertex", 100);
    if (small && large && *small > 0)
        std::printf("\nTriangulateNurb 100 x 100 over 50 x 50, per vertex: %.2f (at most 1.3 asked for)\n",
                    *large / *small);
    small = reporter.Find("BM_TriangulatePatch ns per vertex", 50);
    large = reporter.Find("BM_TriangulatePatch ns per vertex", 100);
    if (small && large && *small > 0)
        std::printf("TriangulatePatch 100 x 100 over 50 x 50, per vertex: %.2f (at most 1.3 asked for)\n",
                    *large / *small);
    // Per-vertex cost: growing with the output means a ratio near 1 (at most 1.3 asked for).
    const double* evaluator = reporter.Find("BM_NurbEvaluator ns per vertex", 100);
    const double* baseline = reporter.Find("BM_DeBoorBaseline ns per vertex", 100);
    if (evaluator && baseline && *baseline > 0)
        std::printf("evaluator / de Boor baseline at 100 x 100: %.2f (at most 2 asked for)\n",
                    *evaluator / *baseline);
    return 0;
}
