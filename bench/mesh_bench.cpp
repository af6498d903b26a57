// Meshes at size: a grid of 100,000 and then of 1,000,000 quads is built polygon by polygon
// (per-polygon materials, per-polygon-vertex UV indices), then its vertex normals are computed
// and their winding checked. Each phase is timed on its own and the program prints, per phase,
// both times and their ratio: a cost that grows like n gives a ratio near 10, a quadratic one
// near 100.
//
// The baseline fills plain vectors with the same records (points, polygon records, polygon
// vertices, material and UV indices, UVs) without reserving, and the program prints the mesh
// build time over the baseline's at each size.
//
// The C library hands blocks above a size that it raises as blocks are freed straight to the
// system, capped at 32 MB: the larger mesh's arrays would then be fresh pages on every pass while
// the smaller one reuses its memory, and the ratios would measure page faults. The program fixes
// the threshold so that both sizes allocate alike.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A grid of `quads` quads: 100 rows of quads / 100 columns, so 100,000 quads are 100 x 1,000
// and 1,000,000 are 1,000 x 1,000.
void GridSize(int quads, int& rows, int& columns) {
    rows = quads >= 1000000 ? 1000 : 100;
    columns = quads / rows;
}

VgeTVector GridPoint(int row, int column) {
    return VgeTVector(column, row, 0.001 * ((row * 7 + column * 3) % 11), 1.0);
}

void BuildMesh(VOxaMesh& mesh, int rows, int columns) {
    const int stride = columns + 1;
    mesh.InitControlPoints((rows + 1) * stride);
    VgeTVector* points = mesh.GetControlPoints();
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            points[r * stride + c] = GridPoint(r, c);
    mesh.InitMaterialIndices(3);
    mesh.InitTextureUVIndices(2);
    for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= columns; ++c)
            mesh.AddTextureUV(VgeVector2((double)c / columns, (double)r / rows));
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int p = r * stride + c;
            mesh.BeginPolygon((r + c) & 3, -1, 0);
            mesh.AddPolygonVertex(p, p);
            mesh.AddPolygonVertex(p + 1, p + 1);
            mesh.AddPolygonVertex(p + stride + 1, p + stride + 1);
            mesh.AddPolygonVertex(p + stride, p + stride);
            mesh.EndPolygon();
        }
    }
}

void BM_MeshGrid(benchmark::State& state) {
    int rows, columns;
    GridSize((int)state.range(0), rows, columns);
    double build = 0, normals = 0, winding = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaMesh* mesh = manager.CreateMesh();

        Clock::time_point start = Clock::now();
        BuildMesh(*mesh, rows, columns);
        build += MillisecondsSince(start);

        start = Clock::now();
        mesh->ComputeVertexNormals(false);
        normals += MillisecondsSince(start);

        start = Clock::now();
        const bool counterClockwise = mesh->CheckVertexNormalsWinding();
        winding += MillisecondsSince(start);
        if (!counterClockwise) state.SkipWithError("the grid's normals should match their winding");
        benchmark::DoNotOptimize(mesh->GetNormals());
    }
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
    state.counters["normals_ms"] = benchmark::Counter(normals, benchmark::Counter::kAvgIterations);
    state.counters["winding_ms"] = benchmark::Counter(winding, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_MeshGrid)->Arg(100000)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// The same records in plain vectors.
struct PlainPolygon {
    int first, size, group;
};

void BM_PlainGridBaseline(benchmark::State& state) {
    int rows, columns;
    GridSize((int)state.range(0), rows, columns);
    const int stride = columns + 1;
    double build = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        std::vector<VgeTVector> points;
        std::vector<VgeVector2> uvs;
        std::vector<PlainPolygon> polygons;
        std::vector<int> vertices, materials, uvIndices;
        for (int r = 0; r <= rows; ++r)
            for (int c = 0; c <= columns; ++c)
                points.push_back(GridPoint(r, c));
        for (int r = 0; r <= rows; ++r)
            for (int c = 0; c <= columns; ++c)
                uvs.push_back(VgeVector2((double)c / columns, (double)r / rows));
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
                const int p = r * stride + c;
                polygons.push_back({(int)vertices.size(), 4, 0});
                materials.push_back((r + c) & 3);
                for (int q : {p, p + 1, p + stride + 1, p + stride}) {
                    vertices.push_back(q);
                    uvIndices.push_back(q);
                }
            }
        }
        build += MillisecondsSince(start);
        benchmark::DoNotOptimize(points.data());
        benchmark::DoNotOptimize(uvs.data());
        benchmark::DoNotOptimize(polygons.data());
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(materials.data());
        benchmark::DoNotOptimize(uvIndices.data());
    }
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlainGridBaseline)->Arg(100000)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// Prints, per size, the mesh build time over the plain vectors' build time.
void PrintBuildAgainstPlain(const oxa_bench::Measures& values) {
    auto mesh = values.find("BM_MeshGrid build_ms");
    auto plain = values.find("BM_PlainGridBaseline build_ms");
    if (mesh == values.end() || plain == values.end()) return;
    std::printf("\n%-36s %12s %12s %8s\n", "build against plain vectors", "mesh", "plain", "ratio");
    for (const auto& size : mesh->second) {
        auto other = plain->second.find(size.first);
        if (other == plain->second.end()) continue;
        std::printf("%-36d %12.3f %12.3f %8.2f\n", size.first, size.second, other->second,
                    other->second > 0.0 ? size.second / other->second : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 512 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure", 36);
    PrintBuildAgainstPlain(reporter.measures());
    return 0;
}
