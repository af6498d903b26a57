// The 3DS writer on the scene of the 3DS reader's benchmark (45 meshes of 65,535 vertices and
// faces with mapping coordinates, smoothing groups and a material each, keyframed motions, a
// camera): the file is made with the toolkit, read once into a scene, and the scene is written.
// Beside it, when lib3ds (lib3ds-dev) was found at configure time, lib3ds loads the same file once
// and saves it. The program prints each time and lib3ds's time over ours. A second pair writes
// many one-triangle meshes with 10 shared materials and without materials, and prints the two as a
// ratio: meshes that share materials cost no more for it. Last, the memory a write adds: for
// 100,000 one-triangle meshes per object, and for one mesh of 64,082 faces per face, each beside
// what the scene itself takes (the peak resident size reset before the write; printed, not
// asserted).
#include <malloc.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "bench_3ds_scene.h"
#include "bench_ratio.h"
#include "bench_support.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif

namespace {

const std::string& ScenePath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / "writer_3ds_bench_in.3ds").string();
    return path;
}

// Writes the scene once; false on any error.
bool MakeFile() {
    static const bool made = oxa_bench::WriteBench3dsScene(ScenePath());
    return made;
}

std::string OutPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

void BM_Writer3dsWrite(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    {
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(ScenePath().c_str()) || !reader.Read(scene, options.get())) {
            state.SkipWithError("the reader failed");
            return;
        }
    }
    const std::string out = OutPath("writer_3ds_bench_ours.3ds");
    for (auto _ : state) {
        VOxaWriter3DS writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, options.get()))
            state.SkipWithError("the writer failed");
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_Writer3dsWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

// Many one-triangle meshes, each with one of 10 shared materials (argument 1) or none (0):
// writing them should take about as long either way, however many meshes there are.
constexpr int kManyMeshes = 20000;

// `count` one-triangle meshes, each a node of its own below the root, with one of 10 shared
// materials or none.
void AddManyMeshes(VOxaSdkManager& manager, VOxaScene* scene, int count, bool withMaterials) {
    std::vector<VOxaMaterial*> materials;
    if (withMaterials)
        for (int i = 0; i < 10; ++i)
            materials.push_back(manager.CreateMaterial(("Mat" + std::to_string(i)).c_str()));
    for (int i = 0; i < count; ++i) {
        VOxaNode* node = manager.CreateNode(("M" + std::to_string(i)).c_str());
        scene->GetRootNode()->AddChild(node);
        VOxaMesh* mesh = manager.CreateMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(3);
        mesh->GetControlPoints()[0] = VgeTVector(i, 0, 0, 1);
        mesh->GetControlPoints()[1] = VgeTVector(i + 1, 0, 0, 1);
        mesh->GetControlPoints()[2] = VgeTVector(i, 1, 0, 1);
        if (withMaterials) {
            mesh->AddMaterial(materials[(size_t)(i % 10)], 0);
            mesh->InitMaterialIndices(eBY_POLYGON);
        }
        mesh->BeginPolygon(withMaterials ? 0 : -1, -1, -1);
        for (int k = 0; k < 3; ++k)
            mesh->AddPolygonVertex(k, -1);
        mesh->EndPolygon();
    }
}

void BM_Writer3dsManyMeshes(benchmark::State& state) {
    const bool withMaterials = state.range(0) != 0;
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    AddManyMeshes(manager, scene, kManyMeshes, withMaterials);
    const std::string out = OutPath("writer_3ds_bench_many.3ds");
    for (auto _ : state) {
        VOxaWriter3DS writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, options.get()))
            state.SkipWithError("the writer failed");
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_Writer3dsManyMeshes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

#ifdef OXA_HAVE_LIB3DS
void BM_Lib3dsSave(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    Lib3dsFile* file = lib3ds_file_load(ScenePath().c_str());
    if (!file) {
        state.SkipWithError("lib3ds could not load the file");
        return;
    }
    const std::string out = OutPath("writer_3ds_bench_lib3ds.3ds");
    for (auto _ : state)
        if (!lib3ds_file_save(file, out.c_str())) state.SkipWithError("lib3ds could not save");
    lib3ds_file_free(file);
    std::remove(out.c_str());
}
BENCHMARK(BM_Lib3dsSave)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

// One mesh of a grid of `side` x `side` points, two triangles a cell, UVs by point.
void AddGridMesh(VOxaSdkManager& manager, VOxaScene* scene, int side) {
    VOxaNode* node = manager.CreateNode("Grid");
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(side * side);
    mesh->InitTextureUV(side * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            mesh->GetControlPoints()[y * side + x] = VgeTVector(x, 0.01 * ((x * 7 + y * 3) % 11), y, 1);
            mesh->GetTextureUV()[y * side + x] = VgeVector2((double)x / side, (double)y / side);
        }
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const int a = y * side + x;
            // The triangles held by value: pointers into temporaries would dangle in the loop.
            const std::array<std::array<int, 3>, 2> cell = {
                {{a, a + side, a + 1}, {a + 1, a + side, a + side + 1}}};
            for (const std::array<int, 3>& corners : cell) {
                mesh->BeginPolygon(-1, -1, -1);
                for (int k = 0; k < 3; ++k)
                    mesh->AddPolygonVertex(corners[k], -1);
                mesh->EndPolygon();
            }
        }
}

// What a scene takes while it is made and what writing it adds at its peak, in KB.
struct WriteMemory {
    double mSceneKb = 0.0;
    double mWriteKb = 0.0;
};

WriteMemory MeasureWrite(const std::function<void(VOxaSdkManager&, VOxaScene*)>& build) {
    WriteMemory memory;
    malloc_trim(0);  // what an earlier measure freed is given back, so that growth shows
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    const long before = oxa_bench::CurrentRssKb();
    build(manager, scene);
    const long built = oxa_bench::CurrentRssKb();
    std::ofstream("/proc/self/clear_refs") << "5";  // reset the peak resident size
    const std::string out = OutPath("writer_3ds_bench_memory.3ds");
    {
        VOxaWriter3DS writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, options.get())) {
            std::printf("the write failed: %s\n", writer.GetError().GetLastErrorString().Buffer());
            return memory;
        }
    }
    const long peak = oxa_bench::StatusKb("VmHWM:");
    std::remove(out.c_str());
    memory.mSceneKb = (double)(built - before);
    memory.mWriteKb = (double)(peak - built);
    return memory;
}

void PrintWriteMemory() {
    constexpr int kObjects = 100000;
    const WriteMemory many = MeasureWrite(
        [](VOxaSdkManager& manager, VOxaScene* scene) { AddManyMeshes(manager, scene, kObjects, true); });
    std::printf("\nmemory of a write (peak over the scene):\n");
    std::printf(
        "%d one-triangle meshes: the scene %.2f KB an object, the write adds %.2f KB an object "
        "(%.0f MB), write / scene %.2f\n",
        kObjects, many.mSceneKb / kObjects, many.mWriteKb / kObjects, many.mWriteKb / 1024.0,
        many.mSceneKb > 0 ? many.mWriteKb / many.mSceneKb : 0.0);
    constexpr int kSide = 180;
    constexpr double kFaces = 2.0 * (kSide - 1) * (kSide - 1);
    const WriteMemory large =
        MeasureWrite([](VOxaSdkManager& manager, VOxaScene* scene) { AddGridMesh(manager, scene, kSide); });
    std::printf(
        "one mesh of %.0f faces: the scene %.0f bytes a face, the write adds %.0f bytes a face, "
        "write / scene %.2f\n",
        kFaces, large.mSceneKb * 1024.0 / kFaces, large.mWriteKb * 1024.0 / kFaces,
        large.mSceneKb > 0 ? large.mWriteKb / large.mSceneKb : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    // First, while the process's peak is still the scenes' own.
    PrintWriteMemory();
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    const double* ours = reporter.Find("BM_Writer3dsWrite", 0);
    const double* theirs = reporter.Find("BM_Lib3dsSave", 0);
    std::printf("\n%-8s %14s %14s %14s\n", "", "ours (ms)", "lib3ds (ms)", "lib3ds / ours");
    if (ours && theirs)
        std::printf("%-8s %14.1f %14.1f %14.2f\n", "save", *ours, *theirs, *ours > 0 ? *theirs / *ours : 0.0);
    else if (ours)
        std::printf("%-8s %14.1f %14s %s\n", "save", *ours, "-", "(lib3ds-dev not found at configure time)");
    const double* plain = reporter.Find("BM_Writer3dsManyMeshes", 0);
    const double* shared = reporter.Find("BM_Writer3dsManyMeshes", 1);
    if (plain && shared)
        std::printf("%d one-triangle meshes: with 10 shared materials %.1f ms, without %.1f ms, ratio %.2f\n",
                    kManyMeshes, *shared, *plain, *plain > 0 ? *shared / *plain : 0.0);
    std::remove(ScenePath().c_str());
    return 0;
}
