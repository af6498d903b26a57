// The 3DS reader on a generated scene of about 100 MB (45 meshes of 65,535 vertices and faces with
// mapping coordinates, smoothing groups and a material each, keyframed motions, a camera): the
// whole read into a fresh scene. Beside it, when found at configure time, lib3ds loads the same
// file into its own structures and assimp's importer reads it (no post-processing). The program
// prints each time and the other library's time over ours.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_3ds_scene.h"
#include "bench_ratio.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif
#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

const std::string& ScenePath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / "reader_3ds_bench.3ds").string();
    return path;
}

// Writes the scene once; false on any error.
bool MakeFile() {
    static const bool made = oxa_bench::WriteBench3dsScene(ScenePath());
    return made;
}

void BM_Reader3dsRead(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(ScenePath().c_str()) || !reader.Read(scene, options.get()))
            state.SkipWithError("the reader failed");
    }
}
BENCHMARK(BM_Reader3dsRead)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef OXA_HAVE_LIB3DS
void BM_Lib3dsLoad(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        Lib3dsFile* file = lib3ds_file_load(ScenePath().c_str());
        if (!file) state.SkipWithError("lib3ds could not load the file");
        if (file) lib3ds_file_free(file);
    }
}
BENCHMARK(BM_Lib3dsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

#ifdef OXA_HAVE_ASSIMP
void BM_AssimpRead(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        Assimp::Importer importer;
        if (!importer.ReadFile(ScenePath(), 0)) state.SkipWithError("assimp could not read the file");
    }
}
BENCHMARK(BM_AssimpRead)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    std::error_code error;
    const double megabytes = (double)std::filesystem::file_size(ScenePath(), error) / 1e6;
    std::printf("\nfile: %.1f MB\n%-8s %14s %14s %14s\n", megabytes, "", "ours (ms)", "theirs (ms)",
                "theirs / ours");
    const double* ours = reporter.Find("BM_Reader3dsRead", 0);
    const struct {
        const char* label;
        const char* theirs;
        const char* missing;
    } rows[] = {{"lib3ds", "BM_Lib3dsLoad", "(lib3ds-dev not found at configure time)"},
                {"assimp", "BM_AssimpRead", "(libassimp-dev not found at configure time)"}};
    for (const auto& row : rows) {
        const double* theirs = reporter.Find(row.theirs, 0);
        if (!ours) break;
        if (!theirs) {
            std::printf("%-8s %14.1f %14s %s\n", row.label, *ours, "-", row.missing);
            continue;
        }
        std::printf("%-8s %14.1f %14.1f %14.2f\n", row.label, *ours, *theirs,
                    *ours > 0 ? *theirs / *ours : 0.0);
    }
    std::remove(ScenePath().c_str());
    return 0;
}
