// OBJ reading memory on one large group: a seeded generator writes a ~95 MB OBJ file of a single
// group (a grid of 640 x 720 = 460,800 points with UVs and normals, two triangles per cell) into
// the temporary folder; it is removed at the end. Measured against a plain read of the same file
// in 1 MB pieces (the least any reader must do):
//   - the time of our reader (the built scene included) over the time of the plain read;
//   - the peak resident memory our read adds (reset through /proc/self/clear_refs before it)
//     over the file's size.
// The figures are printed as ratios; none is asserted.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

namespace fs = std::filesystem;

fs::path Folder() {
    static fs::path folder =
        fs::temp_directory_path() / ("oxa_obj_memory_bench_" + std::to_string(::getpid()));
    return folder;
}
fs::path InputPath() {
    return Folder() / "one_group.obj";
}

size_t GenerateFile(int width, int height) {
    fs::create_directories(Folder());
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    std::FILE* file = std::fopen(InputPath().c_str(), "wb");
    if (file == nullptr) return 0;
    std::string out;
    size_t total = 0;
    auto flush = [&](bool always) {
        if (!always && out.size() < (1u << 23)) return;
        total += std::fwrite(out.data(), 1, out.size(), file);
        out.clear();
    };
    out += "# generated\ng part\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out += "v ";
            voxa_obj::AppendFixed(out, x + noise(random));
            out += ' ';
            voxa_obj::AppendFixed(out, y + noise(random));
            out += ' ';
            voxa_obj::AppendFixed(out, noise(random));
            out += "\nvt ";
            voxa_obj::AppendFixed(out, x / (double)width);
            out += ' ';
            voxa_obj::AppendFixed(out, y / (double)height);
            out += "\nvn ";
            voxa_obj::AppendFixed(out, noise(random));
            out += ' ';
            voxa_obj::AppendFixed(out, noise(random));
            out += " 1.0\n";
        }
        flush(false);
    }
    for (int y = 0; y + 1 < height; ++y) {
        for (int x = 0; x + 1 < width; ++x) {
            const long long a = (long long)y * width + x + 1, b = a + 1, c = a + width, d = c + 1;
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
        flush(false);
    }
    flush(true);
    std::fclose(file);
    return total;
}

size_t gFileSize = 0;
double gPeakBytes = 0.0;

void BM_PlainRead(benchmark::State& state) {
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::FILE* file = std::fopen(InputPath().c_str(), "rb");
        size_t bytes = 0, n = 0;
        while (file != nullptr && (n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
            bytes += n;
        if (file != nullptr) std::fclose(file);
        benchmark::DoNotOptimize(bytes);
    }
}

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
        const bool ok = reader.FileOpen(InputPath().c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
        const long peak = oxa_bench::StatusKb("VmHWM:");
        if (!ok) state.SkipWithError("read failed");
        gPeakBytes = (double)(peak - before) * 1024.0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    gFileSize = GenerateFile(640, 720);
    std::printf("generated %s: %.1f MB, one group of 460,800 points\n", InputPath().c_str(), gFileSize / 1e6);

    benchmark::RegisterBenchmark("obj_plain_read", BM_PlainRead)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_one_group_read", BM_OurRead)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    oxa_bench::CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\npeak memory added by the read: %.1f MB for a %.1f MB file (%.2f x)\n", gPeakBytes / 1e6,
                gFileSize / 1e6, gFileSize ? gPeakBytes / (double)gFileSize : 0.0);
    const double* plain = reporter.Cpu("obj_plain_read");
    const double* ours = reporter.Cpu("obj_one_group_read");
    if (plain && ours && *plain > 0.0)
        std::printf("read: our reader / a plain read of the file (CPU time) = %.2f\n", *ours / *plain);
    std::error_code error;
    fs::remove_all(Folder(), error);
    return 0;
}
