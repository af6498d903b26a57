// BVH reading and writing on a generated ~100 MB file (60 joints x 60,000 frames), made at run
// time in a temporary folder and deleted at the end:
// - the full Read (hierarchy, frames, continuity and the curve filters) beside a plain from_chars
//   loop over the same numbers, and beside assimp's BVH importer when libassimp-dev is installed;
// - the peak memory the first read adds (ru_maxrss) beside the size of the curves it builds;
// - the full Write of the read scene in GB/s.
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "bench/bench_support.h"
#include "formats/motion/bvh/voxa_reader_biovision.h"
#include "formats/motion/bvh/voxa_writer_biovision.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

constexpr int kJoints = 60;
constexpr int kFrames = 60000;

std::string gFolder;
std::string gPath;
double gFileBytes = 0.0;
double gPeakMb = -1.0;
double gCurvesMb = 0.0;

// A branching skeleton (every fifth joint starts a new limb from the spine) with smooth motion
// that turns some joints past +-180 degrees, values printed with six decimals as capture tools do.
void Generate() {
    char folder[] = "/tmp/bvh_bench_XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    gFolder = folder;
    gPath = gFolder + "/motion.bvh";
    FILE* out = std::fopen(gPath.c_str(), "wb");
    if (!out) std::abort();
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::string text =
        "HIERARCHY\nROOT Joint0\n{\n  OFFSET 0 0 0\n"
        "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    int open = 1;
    for (int j = 1; j < kJoints; ++j) {
        if (j % 5 == 0) {
            // Back to the root for a new limb.
            text += "End Site\n{\n  OFFSET 0 5 0\n}\n";
            while (open > 1) {
                text += "}\n";
                --open;
            }
        }
        char line[256];
        std::snprintf(line, sizeof line, "JOINT Joint%d\n{\n  OFFSET %.6f %.6f %.6f\n  CHANNELS 3 %s\n", j,
                      5 * unit(random), 10 + 5 * unit(random), 5 * unit(random),
                      j % 2 ? "Zrotation Xrotation Yrotation" : "Zrotation Yrotation Xrotation");
        text += line;
        ++open;
    }
    text += "End Site\n{\n  OFFSET 0 5 0\n}\n";
    while (open > 0) {
        text += "}\n";
        --open;
    }
    char header[128];
    std::snprintf(header, sizeof header, "MOTION\nFrames: %d\nFrame Time: 0.008333\n", kFrames);
    text += header;
    std::fwrite(text.data(), 1, text.size(), out);

    std::vector<double> phase(3 * kJoints + 3), speed(3 * kJoints + 3);
    for (size_t k = 0; k < phase.size(); ++k) {
        phase[k] = 3 * unit(random);
        speed[k] = 0.002 + 0.01 * std::fabs(unit(random));
    }
    std::string lineText;
    char number[64];
    for (int f = 0; f < kFrames; ++f) {
        lineText.clear();
        for (size_t k = 0; k < phase.size(); ++k) {
            double v =
                k < 3 ? 50 * std::sin(speed[k] * f + phase[k]) : 170 * std::sin(speed[k] * f + phase[k]);
            // Some channels spin and wrap into -180..180, as captured data does.
            if (k % 7 == 3) v = std::remainder(0.5 * f + phase[k] * 50, 360.0);
            int n = std::snprintf(number, sizeof number, "%.6f ", v);
            lineText.append(number, (size_t)n);
        }
        lineText += '\n';
        std::fwrite(lineText.data(), 1, lineText.size(), out);
    }
    gFileBytes = (double)std::ftell(out);
    if (std::fclose(out) != 0) std::abort();
}

struct ReadScene {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    ~ReadScene() { delete manager; }
    bool Read() {
        VOxaReaderBiovision reader(manager);
        if (!reader.FileOpen(gPath.c_str())) return false;
        VStreamOptions* options = reader.GetReadOptions();
        if (!options) return false;
        bool ok = reader.Read(scene, options);
        delete options;
        return ok;
    }
};

void BM_Read(benchmark::State& state) {
    for (auto _ : state) {
        ReadScene read;
        if (!read.Read()) state.SkipWithError("read failed");
    }
    state.counters["MB/s"] =
        benchmark::Counter(gFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The same with the import filters chosen by the arguments (rotation filter mode, constant key
// reducer): 0, 0 is the reader's own part.
void BM_ReadWithFilters(benchmark::State& state) {
    const int mode = VFCurveGetRotationFilterMode();
    const bool reduce = VFCurveGetApplyConstantKeyReducer();
    VFCurveSetRotationFilterMode((int)state.range(0));
    VFCurveSetApplyConstantKeyReducer(state.range(1) != 0);
    for (auto _ : state) {
        ReadScene read;
        if (!read.Read()) state.SkipWithError("read failed");
    }
    VFCurveSetRotationFilterMode(mode);
    VFCurveSetApplyConstantKeyReducer(reduce);
    state.counters["MB/s"] =
        benchmark::Counter(gFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Every number of the file through std::from_chars, read in blocks.
void BM_FromChars(benchmark::State& state) {
    oxa_bench::RunFromChars(state, gPath, gFileBytes);
}

#ifdef OXA_HAVE_ASSIMP
void BM_AssimpRead(benchmark::State& state) {
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(gPath, 0);
        if (!scene || scene->mNumAnimations != 1) state.SkipWithError(importer.GetErrorString());
    }
    state.counters["MB/s"] =
        benchmark::Counter(gFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AssimpRead)->Unit(benchmark::kMillisecond)->Iterations(1);
#endif

void BM_Write(benchmark::State& state) {
    ReadScene read;
    if (!read.Read()) {
        state.SkipWithError("read failed");
        return;
    }
    read.scene->GetRootNode()->FindChild("Joint0", true)->SetMarked(1);
    std::string out = gFolder + "/written.bvh";
    double bytes = 0.0;
    for (auto _ : state) {
        VOxaWriterBiovision writer(read.manager);
        writer.FileCreate(out.c_str());
        auto* options = static_cast<VStreamOptionsMotion*>(writer.GetWriteOptions());
        options->SetFrameCount(kFrames);
        options->SetTimeMode(0, 120.0);
        if (!writer.Write(read.scene, options) || !writer.FileClose()) state.SkipWithError("write failed");
        delete options;
        FILE* in = std::fopen(out.c_str(), "rb");
        std::fseek(in, 0, SEEK_END);
        bytes = (double)std::ftell(in);
        std::fclose(in);
    }
    state.counters["GB/s"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(out.c_str());
}

BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadWithFilters)
    ->Args({0, 0})
    ->Args({2, 0})
    ->Args({0, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(BM_FromChars)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->Iterations(2);

// The memory the first read adds, measured before anything else has grown the process.
void MeasureMemory() {
    const oxa_bench::MemoryProbe probe;
    ReadScene read;
    if (!read.Read()) return;
    probe.Take(gPeakMb, gCurvesMb);
}

}  // namespace

int main(int argc, char** argv) {
    Generate();
    MeasureMemory();
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    const double* read = reporter.Find("BM_Read MB/s", 0);
    const double* assimp = reporter.Find("BM_AssimpRead MB/s", 0);
    std::printf("\nfile: %.1f MB, %d joints x %d frames\n", gFileBytes / 1e6, kJoints, kFrames);
    oxa_bench::PrintReadBaseline(reporter);
    if (read && assimp && *assimp > 0.0)
        std::printf("assimp read time / read time: %.2f (target >= 5)\n", *read / *assimp);
    else
        std::printf("assimp: not measured (libassimp-dev not installed)\n");
    oxa_bench::PrintFirstReadMemory(gPeakMb, gCurvesMb);
    if (const double* write = reporter.Find("BM_Write GB/s", 0))
        std::printf("full write: %.3f GB/s (target >= 0.3)\n", *write);
    std::remove(gPath.c_str());
    rmdir(gFolder.c_str());
    return 0;
}
