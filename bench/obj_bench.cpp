// OBJ reading and writing at size: a seeded generator writes a ~100 MB OBJ file (positions, UVs,
// normals, triangles in eight groups, one MTL library) into the temporary folder; it is removed at
// the end. Measured:
//   - our reader on the file, and assimp's importer on the same file (no post-processing), when
//     assimp's development package was found at configure time;
//   - the memory our read adds at its peak, the built scene included, against the file's size
//     (peak resident size, reset through /proc/self/clear_refs before the read);
//   - our writer on the scene read, and assimp's OBJ exporter on the scene it imported.
// The program prints assimp's time over ours for reading and writing (wall and CPU time), and the
// peak memory over the file size. No figure is asserted.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path Folder() {
    static fs::path folder = fs::temp_directory_path() / ("oxa_obj_bench_" + std::to_string(::getpid()));
    return folder;
}
fs::path InputPath() {
    return Folder() / "big.obj";
}

// Eight groups, each a grid of `side` x `side` points with UVs and normals, two triangles per
// cell; the coordinates carry seeded noise so the numbers are not all alike.
size_t GenerateFile(int side) {
    fs::create_directories(Folder());
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    std::string out;
    out.reserve(1 << 24);
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    std::FILE* mtl = std::fopen((Folder() / "big.mtl").c_str(), "wb");
    std::fputs("newmtl grey\nKd 0.5 0.5 0.5\nillum 2\nNs 20\n", mtl);
    std::fclose(mtl);
    out += "# generated\nmtllib big.mtl\n";
    size_t total = 0;
    long long base = 0;
    for (int g = 0; g < 8; ++g) {
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                out += "v ";
                voxa_obj::AppendFixed(out, x + noise(random));
                out += ' ';
                voxa_obj::AppendFixed(out, y + noise(random));
                out += ' ';
                voxa_obj::AppendFixed(out, g * 2.0 + noise(random));
                out += "\nvt ";
                voxa_obj::AppendFixed(out, x / (double)side);
                out += ' ';
                voxa_obj::AppendFixed(out, y / (double)side);
                out += "\nvn ";
                voxa_obj::AppendFixed(out, noise(random));
                out += ' ';
                voxa_obj::AppendFixed(out, noise(random));
                out += " 1.0\n";
            }
            if (out.size() > (1 << 23)) {
                total += std::fwrite(out.data(), 1, out.size(), file);
                out.clear();
            }
        }
        out += "g part" + std::to_string(g) + "\nusemtl grey\n";
        for (int y = 0; y + 1 < side; ++y) {
            for (int x = 0; x + 1 < side; ++x) {
                long long a = base + (long long)y * side + x + 1, b = a + 1, c = a + side, d = c + 1;
                const long long tri[2][3] = {{a, b, d}, {a, d, c}};
                for (const auto& t : tri) {
                    out += 'f';
                    for (long long i : t) {
                        out += ' ';
                        for (int r = 0; r < 3; ++r) {
                            if (r) out += '/';
                            voxa_obj::AppendInt(out, i);
                        }
                    }
                    out += '\n';
                }
            }
            if (out.size() > (1 << 23)) {
                total += std::fwrite(out.data(), 1, out.size(), file);
                out.clear();
            }
        }
        base += (long long)side * side;
    }
    total += std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return total;
}

size_t gFileSize = 0;
double gPeakBytes = 0.0;

void BM_OurRead(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        {
            std::ofstream("/proc/self/clear_refs") << "5";  // reset the peak resident size
        }
        const long before = oxa_bench::StatusKb("VmRSS:");
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        bool ok = reader.FileOpen(InputPath().c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
        const long peak = oxa_bench::StatusKb("VmHWM:");
        if (!ok) state.SkipWithError("read failed");
        gPeakBytes = (double)(peak - before) * 1024.0;
    }
}

void BM_OurWrite(benchmark::State& state) {
    std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
    VOxaScene* scene = manager->CreateScene();
    VOxaReaderObj reader(manager.get());
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    if (!reader.FileOpen(InputPath().c_str()) || !reader.Read(scene, options.get())) {
        state.SkipWithError("read failed");
        return;
    }
    for (auto _ : state) {
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
        bool ok = writer.FileCreate((Folder() / "ours_out.obj").c_str()) && writer.Write(scene, wopt.get()) &&
                  writer.FileClose();
        if (!ok) state.SkipWithError("write failed");
    }
}

#ifdef OXA_HAVE_ASSIMP
void BM_AssimpRead(benchmark::State& state) {
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(InputPath().string(), 0);
        if (scene == nullptr) state.SkipWithError("assimp read failed");
    }
}

void BM_AssimpWrite(benchmark::State& state) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(InputPath().string(), 0);
    if (scene == nullptr) {
        state.SkipWithError("assimp read failed");
        return;
    }
    for (auto _ : state) {
        Assimp::Exporter exporter;
        if (exporter.Export(scene, "obj", (Folder() / "assimp_out.obj").string()) != AI_SUCCESS)
            state.SkipWithError("assimp export failed");
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
    // 8 groups of 245 x 245 points give a file of about 100 MB.
    gFileSize = GenerateFile(245);
    std::printf("generated %s: %.1f MB\n", InputPath().c_str(), gFileSize / 1e6);

    benchmark::RegisterBenchmark("obj_read_ours", BM_OurRead)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_write_ours", BM_OurWrite)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
#ifdef OXA_HAVE_ASSIMP
    benchmark::RegisterBenchmark("obj_read_assimp", BM_AssimpRead)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_write_assimp", BM_AssimpWrite)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
#endif
    benchmark::Initialize(&argc, argv);
    oxa_bench::CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\npeak memory added by the read: %.1f MB for a %.1f MB file (%.2f x)\n", gPeakBytes / 1e6,
                gFileSize / 1e6, gPeakBytes / (double)gFileSize);
#ifdef OXA_HAVE_ASSIMP
    reporter.PrintComparison("read: ", "assimp", "obj_read_assimp", "obj_read_ours");
    reporter.PrintComparison("write:", "assimp", "obj_write_assimp", "obj_write_ours");
#else
    std::printf("assimp not found at configure time: no comparison rows\n");
#endif
    std::error_code error;
    fs::remove_all(Folder(), error);
    return 0;
}
