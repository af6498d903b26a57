// Large polygons: one outline of 10,000 and then of 70,000 corners is cut into triangles, and a
// scene holding it as one face is written to DXF (which triangulates it). The outlines are stars,
// every other corner drawn in, so that half the corners are reflex and every cut needs the search
// for corners inside an ear; a second shape is a band whose long sides are saw-toothed, which a
// search from the last cut would fan out along. The program prints, per measure, both times and
// their ratio: a cost that grows like n gives a ratio near 7, a quadratic one near 49. No figure
// is asserted.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "base/vge_polygon.h"
#include "bench_ratio.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

namespace fs = std::filesystem;

std::vector<VgeTVector> Star(int n) {
    std::vector<VgeTVector> points((size_t)n);
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * i / n, r = i % 2 ? 0.9 : 1.0;
        points[(size_t)i] = VgeTVector(r * std::cos(a), 0.0, -r * std::sin(a), 1.0);
    }
    return points;
}

std::vector<VgeTVector> Band(int n) {
    std::vector<VgeTVector> points;
    const int side = n / 2;
    for (int i = 0; i < side; ++i)
        points.emplace_back((double)i, 0.0, -(i % 2 ? 1.0 : 0.0), 1.0);
    for (int i = side - 1; i >= 0; --i)
        points.emplace_back((double)i, 0.0, -(i % 2 ? 6.0 : 5.0), 1.0);
    return points;
}

void Triangulate(benchmark::State& state, const std::vector<VgeTVector>& points) {
    const int n = (int)points.size();
    std::vector<int> index((size_t)n), triangles(3 * (size_t)(n - 2));
    for (int i = 0; i < n; ++i)
        index[(size_t)i] = i;
    for (auto _ : state) {
        VgeTriangulatePolygon(triangles.data(), n, points.data(), n, index.data());
        benchmark::DoNotOptimize(triangles.data());
    }
}

void BM_TriangulateStar(benchmark::State& state) {
    Triangulate(state, Star((int)state.range(0)));
}
BENCHMARK(BM_TriangulateStar)->Arg(10000)->Arg(70000)->Unit(benchmark::kMillisecond);

void BM_TriangulateBand(benchmark::State& state) {
    Triangulate(state, Band((int)state.range(0)));
}
BENCHMARK(BM_TriangulateBand)->Arg(10000)->Arg(70000)->Unit(benchmark::kMillisecond);

// The star as the one face of a mesh, written to DXF with the writer's default options.
void BM_DxfWriteStarFace(benchmark::State& state) {
    const int n = (int)state.range(0);
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Star");
    VOxaMesh* mesh = manager.CreateMesh();
    const std::vector<VgeTVector> points = Star(n);
    mesh->InitControlPoints(n);
    for (int i = 0; i < n; ++i)
        mesh->GetControlPoints()[i] = points[(size_t)i];
    mesh->BeginPolygon();
    for (int i = 0; i < n; ++i)
        mesh->AddPolygonVertex(i);
    mesh->EndPolygon();
    node->SetNodeAttribute(mesh);
    scene->GetRootNode()->AddChild(node);
    const fs::path path =
        fs::temp_directory_path() / ("oxa_polygon_bench_" + std::to_string(::getpid()) + ".dxf");
    for (auto _ : state) {
        VOxaWriterDxf writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(path.string().c_str()) || !writer.Write(scene, options.get()) ||
            !writer.FileClose())
            state.SkipWithError("the DXF file could not be written");
    }
    fs::remove(path);
}
BENCHMARK(BM_DxfWriteStarFace)->Arg(10000)->Arg(70000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure (ms; 10,000 -> 70,000 corners)", 40);
    return 0;
}
