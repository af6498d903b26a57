// OBJ reading memory in two shapes of file, written into the temporary folder and removed at the
// end:
//   - many small groups: 100,000 groups of one triangle each (~6 MB);
//   - one large group: a seeded generator writes a ~95 MB OBJ file of a single group (a grid of
//     640 x 720 = 460,800 points with UVs and normals, two triangles per cell).
// Each is measured against a plain read of the same file in 1 MB pieces (the least any reader
// must do):
//   - the time of our reader (the built scene included) over the time of the plain read;
//   - the peak resident memory our read adds (reset through /proc/self/clear_refs before it)
//     over the file's size, and for the many groups per group;
//   - for the many groups (read first, so the process's address-space peak is theirs), the
//     address space the read adds at its peak, per group.
// Then the growth with the number of groups: 10,000 and 100,000 groups of one triangle each, read
// and written as OBJ and as DXF, each round in a new process of this program as a user's
// conversion runs, with the time of each step, the time of the whole round (manager made, file
// read, written, everything destroyed), the peak resident memory of the writes, and the ratio of
// the larger file's figures to the smaller's (ten times the groups: a ratio near 10 is linear
// growth).
// The figures are printed as ratios; none is asserted.
//
// Against the reader before its mesh build numbered a group's indices through flat maps (three
// hash tables then, UV and normal indices gathered in blocks and copied, and arrays zeroed by
// hand): a 96.8 MB UV sphere (566 x 821 points with UVs and normals, one group) read by
// `oxa-convert --info`, Release build, medians of five runs taken in turn on a loaded machine:
// CPU time 3.94 s -> 2.58 s (0.65x), peak resident memory 145.4 MiB -> 108.5 MiB (0.75x).
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
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

// One file read by the benchmarks and what its read took.
struct Shape {
    fs::path mPath;
    size_t mSize = 0;
    long long mGroups = 1;
    double mPeakBytes = 0.0;
    double mAddressBytes = 0.0;
};
Shape gOneGroup, gManyGroups;

// `groups` groups of one triangle each, its three points given before it.
size_t GenerateManyGroups(const fs::path& path, long long groups) {
    fs::create_directories(Folder());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    std::string out;
    size_t total = 0;
    for (long long g = 0; g < groups; ++g) {
        out += "g part";
        voxa_obj::AppendInt(out, g);
        out += "\nv ";
        voxa_obj::AppendInt(out, g);
        out += " 0 0\nv ";
        voxa_obj::AppendInt(out, g + 1);
        out += " 0 0\nv ";
        voxa_obj::AppendInt(out, g);
        out += " 1 0\nf -3 -2 -1\n";
        if (out.size() >= (1u << 23)) {
            total += std::fwrite(out.data(), 1, out.size(), file);
            out.clear();
        }
    }
    total += std::fwrite(out.data(), 1, out.size(), file);
    std::fclose(file);
    return total;
}

size_t GenerateFile(const fs::path& path, int width, int height) {
    fs::create_directories(Folder());
    std::mt19937 random(12345);
    std::uniform_real_distribution<double> noise(-0.01, 0.01);
    std::FILE* file = std::fopen(path.c_str(), "wb");
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

void BM_PlainRead(benchmark::State& state, const Shape* shape) {
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::FILE* file = std::fopen(shape->mPath.c_str(), "rb");
        size_t bytes = 0, n = 0;
        while (file != nullptr && (n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
            bytes += n;
        if (file != nullptr) std::fclose(file);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_OurRead(benchmark::State& state, Shape* shape) {
    for (auto _ : state) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        // What earlier runs freed goes back to the system, so it is not counted as resident
        // before the read and reused by it unseen.
        ::malloc_trim(0);
        {
            std::ofstream("/proc/self/clear_refs") << "5";  // reset the peak resident size
        }
        const long before = oxa_bench::StatusKb("VmRSS:");
        const long addressBefore = oxa_bench::StatusKb("VmSize:");
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        const bool ok = reader.FileOpen(shape->mPath.c_str()) && reader.Read(scene, options.get());
        reader.FileClose();
        const long peak = oxa_bench::StatusKb("VmHWM:");
        const long addressPeak = oxa_bench::StatusKb("VmPeak:");
        if (!ok) state.SkipWithError("read failed");
        shape->mPeakBytes = (double)(peak - before) * 1024.0;
        // Only the first read's: later ones find the address space of earlier ones still held.
        if (shape->mAddressBytes == 0.0)
            shape->mAddressBytes = (double)std::max(0L, addressPeak - addressBefore) * 1024.0;
    }
}

// Seconds since `start`.
double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One round as a user meets it, in this process: a manager made, the file at `path` read, written
// as OBJ (`target` 1) or DXF (2) or not at all (0), and everything destroyed. Prints the seconds
// of the read, the write, the teardown and the whole round, and the peak resident memory in MB.
int RunRound(const char* path, int target) {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
    VOxaScene* scene = manager->CreateScene();
    bool ok = true;
    {
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ok = reader.FileOpen(path) && reader.Read(scene, options.get());
        reader.FileClose();
    }
    const double read = Since(start);
    const auto writeStart = std::chrono::steady_clock::now();
    const std::string out =
        (fs::path(path).parent_path() / (target == 1 ? "round_out.obj" : "round_out.dxf")).string();
    if (ok && target == 1) {
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ok = writer.FileCreate(out.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    } else if (ok && target == 2) {
        VOxaWriterDxf writer(manager.get());
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        ok = writer.FileCreate(out.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    }
    const double write = Since(writeStart);
    const auto teardownStart = std::chrono::steady_clock::now();
    manager.reset();
    const double teardown = Since(teardownStart);
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpu = (double)usage.ru_utime.tv_sec + (double)usage.ru_stime.tv_sec +
                       ((double)usage.ru_utime.tv_usec + (double)usage.ru_stime.tv_usec) / 1e6;
    std::printf("%d %.6f %.6f %.6f %.6f %.3f %.6f\n", ok ? 1 : 0, read, write, teardown, Since(start),
                oxa_bench::StatusKb("VmHWM:") / 1024.0, cpu);
    return ok ? 0 : 1;
}

// The figures of one round run in a new process of this program (as a user's conversion runs:
// a heap of its own, not one that earlier rounds left warm); false when it failed.
bool RoundInNewProcess(const fs::path& path, int target, double figures[6]) {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return false;
    const std::string command =
        "'" + self.string() + "' --round '" + path.string() + "' " + std::to_string(target);
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return false;
    int ok = 0;
    const int read = std::fscanf(pipe, "%d %lf %lf %lf %lf %lf %lf", &ok, &figures[0], &figures[1],
                                 &figures[2], &figures[3], &figures[4], &figures[5]);
    return ::pclose(pipe) == 0 && read == 7 && ok == 1;
}

// The file of `groups` one-triangle groups (state.range(0)) read, then written as OBJ and as DXF,
// each round in a new process; the least of three rounds of each figure is the run's counter (the
// machine may be busy with other work for one of them).
void BM_GroupsGrowth(benchmark::State& state) {
    const long long groups = state.range(0);
    const fs::path path = Folder() / ("groups_" + std::to_string(groups) + ".obj");
    if (!fs::exists(path)) GenerateManyGroups(path, groups);
    // By target (read only, OBJ, DXF): read, write, teardown, whole round, peak memory, and the
    // processor time of the whole process (the program's start included).
    double best[3][6] = {};
    for (auto _ : state) {
        for (int rep = 0; rep < 3; ++rep) {
            for (int target = 0; target < 3; ++target) {
                double figures[6];
                if (!RoundInNewProcess(path, target, figures)) {
                    state.SkipWithError("round failed");
                    return;
                }
                for (int k = 0; k < 6; ++k) {
                    if (rep == 0 || figures[k] < best[target][k]) best[target][k] = figures[k];
                }
            }
        }
    }
    state.counters["read_s"] = best[0][0];
    state.counters["teardown_s"] = best[0][2];
    state.counters["write_obj_s"] = best[1][1];
    state.counters["write_dxf_s"] = best[2][1];
    state.counters["round_read_s"] = best[0][3];
    state.counters["round_obj_s"] = best[1][3];
    state.counters["round_dxf_s"] = best[2][3];
    state.counters["round_read_cpu_s"] = best[0][5];
    state.counters["round_obj_cpu_s"] = best[1][5];
    state.counters["round_dxf_cpu_s"] = best[2][5];
    state.counters["obj_trip_peak_mb"] = best[1][4];
    state.counters["dxf_trip_peak_mb"] = best[2][4];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--round") == 0) return RunRound(argv[2], std::atoi(argv[3]));
    gManyGroups.mPath = Folder() / "many_groups.obj";
    gManyGroups.mGroups = 100000;
    gManyGroups.mSize = GenerateManyGroups(gManyGroups.mPath, gManyGroups.mGroups);
    gOneGroup.mPath = Folder() / "one_group.obj";
    gOneGroup.mSize = GenerateFile(gOneGroup.mPath, 640, 720);
    std::printf("generated %s: %.1f MB, 100,000 groups of one triangle\n", gManyGroups.mPath.c_str(),
                gManyGroups.mSize / 1e6);
    std::printf("generated %s: %.1f MB, one group of 460,800 points\n", gOneGroup.mPath.c_str(),
                gOneGroup.mSize / 1e6);

    // The many groups first: the address-space peak is the process's since its start.
    benchmark::RegisterBenchmark("obj_many_groups_plain_read", BM_PlainRead, &gManyGroups)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_many_groups_read", BM_OurRead, &gManyGroups)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_plain_read", BM_PlainRead, &gOneGroup)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_one_group_read", BM_OurRead, &gOneGroup)
        ->Iterations(1)
        ->Repetitions(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("obj_groups", BM_GroupsGrowth)
        ->Arg(10000)
        ->Arg(100000)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    oxa_bench::CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios("growth with the groups (10,000 -> 100,000)", 44);

    const Shape& many = gManyGroups;
    std::printf(
        "\nmany groups: peak memory added by the read: %.1f MB for a %.1f MB file (%.2f x), %.2f KB a "
        "group\n",
        many.mPeakBytes / 1e6, many.mSize / 1e6, many.mSize ? many.mPeakBytes / (double)many.mSize : 0.0,
        many.mPeakBytes / 1024.0 / (double)many.mGroups);
    std::printf("many groups: address space added at the peak: %.1f MB, %.2f KB a group\n",
                many.mAddressBytes / 1e6, many.mAddressBytes / 1024.0 / (double)many.mGroups);
    const Shape& one = gOneGroup;
    std::printf("one group: peak memory added by the read: %.1f MB for a %.1f MB file (%.2f x)\n",
                one.mPeakBytes / 1e6, one.mSize / 1e6, one.mSize ? one.mPeakBytes / (double)one.mSize : 0.0);
    const char* names[2][3] = {{"many groups", "obj_many_groups_plain_read", "obj_many_groups_read"},
                               {"one group", "obj_plain_read", "obj_one_group_read"}};
    for (const auto& name : names) {
        const double* plain = reporter.Cpu(name[1]);
        const double* ours = reporter.Cpu(name[2]);
        if (plain && ours && *plain > 0.0)
            std::printf("%s: our reader / a plain read of the file (CPU time) = %.2f\n", name[0],
                        *ours / *plain);
    }
    std::error_code error;
    fs::remove_all(Folder(), error);
    return 0;
}
