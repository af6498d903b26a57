// HTR reading and writing on a generated ~100 MB file (40 segments x 40,000 frames), made at run
// time in a temporary folder and deleted at the end:
// - the full Read (structure, keys, the rotation-offset pass and the curve filters) beside a plain
//   from_chars loop over the same numbers;
// - the peak memory the first read adds (ru_maxrss) beside the size of the curves it builds;
// - the full Write of the read scene, and the frame-line writers alone, in GB/s.
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

#include "animation/fcurve.h"
#include "base/platform.h"
#include "bench/bench_support.h"
#include "formats/motion/htr/voxa_reader_htr.h"
#include "formats/motion/htr/voxa_writer_htr.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

constexpr int kSegments = 40;
constexpr int kFrames = 40000;

std::string gFolder;
std::string gPath;
double gFileBytes = 0.0;
double gPeakMb = -1.0;
double gCurvesMb = 0.0;

// A chain-and-branch skeleton with smooth random motion, written with the file's own writers.
void Generate() {
    char folder[] = "/tmp/htr_bench_XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    gFolder = folder;
    gPath = gFolder + "/motion.htr";
    // The settings of the default: the rotation-offset pass on.
    VPlatformSetSettingsDirectory(gFolder.c_str());
    VOxaFileMotionAnalysisHtr file;
    if (!file.Open(gPath.c_str(), "w")) std::abort();
    file.WriteHeader(kSegments, kFrames, 120);
    file.WriteHierarchyTitle();
    std::vector<std::string> names;
    for (int s = 0; s < kSegments; ++s) {
        names.push_back("Segment" + std::to_string(s));
        file.WriteHierarchyLine(names[s].c_str(), s == 0 ? nullptr : names[s < 8 ? s - 1 : s / 2].c_str());
    }
    file.WriteBasePositionTitle();
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int s = 0; s < kSegments; ++s) {
        const double t[3] = {10 * unit(random), 100 + 50 * unit(random), 10 * unit(random)};
        const double r[3] = {20 * unit(random), 20 * unit(random), 20 * unit(random)};
        file.WriteBasePositionLine(names[s].c_str(), t, r, 200 + 50 * unit(random));
    }
    for (int s = 0; s < kSegments; ++s) {
        file.WriteSegmentTitle(names[s].c_str());
        double phase = unit(random);
        for (int f = 0; f < kFrames; ++f) {
            double a = 0.01 * f + phase;
            const double t[3] = {12.345 * std::sin(a), 3.21 * std::cos(a), 1.5 * std::sin(2 * a)};
            const double r[3] = {30 * std::sin(a), 25 * std::cos(0.7 * a), 40 * std::sin(0.3 * a)};
            file.WriteFrameLine(f + 1, t, r);
        }
    }
    file.WriteEndOfFile();
    if (!file.Close()) std::abort();
    FILE* in = std::fopen(gPath.c_str(), "rb");
    std::fseek(in, 0, SEEK_END);
    gFileBytes = (double)std::ftell(in);
    std::fclose(in);
}

struct ReadScene {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    ~ReadScene() { delete manager; }
    bool Read() {
        VOxaReaderMotionAnalysisHtr reader(manager);
        if (!reader.FileOpen(gPath.c_str())) return false;
        auto* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
        if (!options) return false;
        bool ok = reader.Read(scene, options);
        options->Destroy();
        return ok;
    }
};

void BM_Read(benchmark::State& state) {
    for (auto _ : state) {
        const oxa_bench::MemoryProbe probe;
        auto* read = new ReadScene;
        if (!read->Read()) state.SkipWithError("read failed");
        if (gPeakMb < 0.0) probe.Take(gPeakMb, gCurvesMb);
        // Tearing the scene down is not part of the read.
        state.PauseTiming();
        delete read;
        state.ResumeTiming();
    }
    state.counters["MB/s"] =
        benchmark::Counter(gFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Every number of the file through std::from_chars, read in blocks as the reader does.
void BM_FromChars(benchmark::State& state) {
    oxa_bench::RunFromChars(state, gPath, gFileBytes);
}

void BM_Write(benchmark::State& state) {
    ReadScene read;
    if (!read.Read()) {
        state.SkipWithError("read failed");
        return;
    }
    read.scene->GetRootNode()->FindChild("Segment0", true)->SetMarked(1);
    std::string out = gFolder + "/written.htr";
    double bytes = 0.0;
    for (auto _ : state) {
        VOxaWriterMotionAnalysisHtr writer(read.manager);
        writer.FileCreate(out.c_str());
        auto* options = static_cast<VStreamOptionsMotion*>(writer.GetWriteOptions());
        options->SetFrameCount(kFrames);
        options->SetTimeMode(0, 120.0);
        if (!writer.Write(read.scene, options)) state.SkipWithError("write failed");
        options->Destroy();
        FILE* in = std::fopen(out.c_str(), "rb");
        std::fseek(in, 0, SEEK_END);
        bytes = (double)std::ftell(in);
        std::fclose(in);
    }
    state.counters["GB/s"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(out.c_str());
}

// The frame-line writer alone, on the same amount of text.
void BM_WriteLines(benchmark::State& state) {
    std::string out = gFolder + "/lines.htr";
    for (auto _ : state) {
        VOxaFileMotionAnalysisHtr file;
        file.Open(out.c_str(), "w");
        for (int s = 0; s < kSegments; ++s)
            for (int f = 0; f < kFrames; ++f) {
                double a = 0.01 * f;
                const double t[3] = {12.345 + a, 3.21 - a, 1.5 * a};
                const double r[3] = {30.5 + a, 25.25 - a, 40.125 * a};
                file.WriteFrameLine(f + 1, t, r);
            }
        file.Close();
    }
    state.counters["GB/s"] =
        benchmark::Counter(gFileBytes / 1e9, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(out.c_str());
}

BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FromChars)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WriteLines)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    Generate();
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    std::printf("\nfile: %.1f MB, %d segments x %d frames\n", gFileBytes / 1e6, kSegments, kFrames);
    oxa_bench::PrintReadBaseline(reporter);
    oxa_bench::PrintFirstReadMemory(gPeakMb, gCurvesMb);
    if (const double* write = reporter.Find("BM_Write GB/s", 0))
        std::printf("full write: %.3f GB/s (target >= 0.3)\n", *write);
    if (const double* lines = reporter.Find("BM_WriteLines GB/s", 0))
        std::printf("frame lines alone: %.3f GB/s\n", *lines);
    std::remove(gPath.c_str());
    rmdir(gFolder.c_str());
    return 0;
}
