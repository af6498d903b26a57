// C3D on large files: a float-data file of about 100 MB (100 markers x 65000 frames) is written
// through the file object (DEC, as the writer makes it) and converted to an Intel copy, both in a
// temporary folder. Measured:
// - every frame read through ReadFrame, beside a plain fread of the same bytes (ratio);
// - the full Read into curves at half and all of the frames (time ratio: linear when about 2),
//   each in a child process, with the growth of its peak resident set beside the curves' size;
// - writing: the file object's WriteFrame throughput, and the whole writer from a read scene.
// Nothing is asserted.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "formats/motion/c3d/voxa_file_vicon.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kMarkers = 100;
constexpr int kFrames = 65000;

std::string Folder() {
    static const std::string folder = oxa_bench::MakeTempFolder("oxa_c3d_");
    return folder;
}

std::string DecPath(int frames) {
    return Folder() + "/dec_" + std::to_string(frames) + ".c3d";
}
std::string IntelPath(int frames) {
    return Folder() + "/intel_" + std::to_string(frames) + ".c3d";
}

struct Figures {
    double writeSeconds = 0, writtenMb = 0;
    double readFrameSeconds[2] = {0, 0}, freadSeconds[2] = {0, 0};
    double readSeconds[2] = {0, 0}, peakMb[2] = {0, 0}, curvesMb[2] = {0, 0};
    double writerSeconds = 0, writerMb = 0;
};
Figures gFigures;

double FileMb(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::fseek(f, 0, SEEK_END);
    const double mb = std::ftell(f) / (1024.0 * 1024.0);
    std::fclose(f);
    return mb;
}

// A DEC float file through the file object, then an Intel copy with the same values.
double Generate(int frames) {
    VOxaFileVicon file;
    const auto start = Clock::now();
    file.Open(DecPath(frames).c_str(), "wb");
    file.WriteHeader(kMarkers, VTime(0), frames, 120.0, -1.0);
    VStringList names;
    for (int m = 0; m < kMarkers; ++m)
        names.Add(("M" + std::to_string(m)).c_str());
    file.WriteMarkerNames(names);
    VOxaMarkerFrame points(kMarkers);
    points.AddMultiple(kMarkers);
    VgeTVector* p = points.GetArray();
    for (int f = 0; f < frames; ++f) {
        for (int m = 0; m < kMarkers; ++m)
            p[m].Set(m + f * 0.01, 100.0 - m, f * 0.001, (f + m) % 97 == 0 ? 1.0 : 0.0);
        file.WriteFrame(points, kMarkers, VTime(0), f + 1);
    }
    file.WriteEnd();
    file.Close();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    std::FILE* in = std::fopen(DecPath(frames).c_str(), "rb");
    std::vector<uint8_t> bytes;
    bytes.resize((size_t)(FileMb(DecPath(frames)) * 1024 * 1024 + 0.5));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    auto toIntel = [&](size_t offset) { VViconNumbers::ConvertFloat(&bytes[offset], 2, 1); };
    toIntel(12);
    toIntel(20);
    bytes[512 + 3] = 84;
    const size_t data = (size_t)((bytes[16] | bytes[17] << 8) - 1) * 512;
    for (size_t k = data; k + 4 <= bytes.size(); k += 4)
        toIntel(k);
    std::FILE* out = std::fopen(IntelPath(frames).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return seconds;
}

void BM_Write(benchmark::State& state) {
    for (auto _ : state) {
        gFigures.writeSeconds = Generate(kFrames);
        Generate(kFrames / 2);
    }
    gFigures.writtenMb = FileMb(DecPath(kFrames));
    state.counters["GB/s"] = gFigures.writtenMb / 1024.0 / gFigures.writeSeconds;
}
BENCHMARK(BM_Write)->Iterations(1)->Unit(benchmark::kMillisecond);

// Every frame through ReadFrame (0 Intel, 1 DEC), then a plain fread of the same bytes.
void BM_ReadFrame(benchmark::State& state) {
    const int which = (int)state.range(0);
    const std::string path = which == 0 ? IntelPath(kFrames) : DecPath(kFrames);
    double checksum = 0;
    gFigures.readFrameSeconds[which] = gFigures.freadSeconds[which] = 1e9;
    // The best of three runs of each, both on a warm page cache.
    for (auto _ : state) {
        for (int run = 0; run < 3; ++run) {
            auto start = Clock::now();
            VOxaFileVicon file;
            int64_t markers = 0, frames = 0;
            VTime time;
            double rate, scale;
            file.Open(path.c_str(), "rb");
            file.ReadHeader(markers, time, frames, rate, scale);
            VStringList names;
            for (int m = 0; m < markers; ++m)
                names.Add("");
            file.ReadMarkerNames(names, false);
            VOxaMarkerFrame points((int)markers);
            int counter = 0;
            const VTime period(VTime::kOneSecond / 120);
            for (int64_t f = 0; f < frames; ++f) {
                points.SetCount(0);
                if (!file.ReadFrame(points, (int)markers, time, counter, period, false)) break;
                checksum += points.GetArray()[0][0];
            }
            file.Close();
            gFigures.readFrameSeconds[which] =
                std::min(gFigures.readFrameSeconds[which],
                         std::chrono::duration<double>(Clock::now() - start).count());

            start = Clock::now();
            std::FILE* f = std::fopen(path.c_str(), "rb");
            std::vector<char> block(1 << 20);
            size_t total = 0;
            while (size_t got = std::fread(block.data(), 1, block.size(), f)) {
                total += got;
                checksum += block[got / 2];
            }
            std::fclose(f);
            gFigures.freadSeconds[which] = std::min(
                gFigures.freadSeconds[which], std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["ratio"] = gFigures.readFrameSeconds[which] / gFigures.freadSeconds[which];
    state.SetLabel(which == 0 ? "Intel" : "DEC");
}
BENCHMARK(BM_ReadFrame)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The full Read into curves in a child process (0 half the frames, 1 all), then the whole writer
// from the scene read (all frames only).
void BM_Read(benchmark::State& state) {
    const int which = (int)state.range(0);
    const int frames = which == 0 ? kFrames / 2 : kFrames;
    const std::string path = DecPath(frames);
    struct Result {
        double seconds, peakMb, curvesMb, writerSeconds, writerMb;
    } result{};
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) break;
        const pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            Result r{};
            VFCurveSetApplyConstantKeyReducer(false);
            VFCurveSetRotationFilterMode(0);
            VOxaSdkManager* manager = VOxaSdkManager::Create();
            VOxaScene* scene = manager->CreateScene();
            const long before = oxa_bench::CurrentRssKb();
            const int64_t keysBefore = VFCurve::GetKeyMemoryTotal();
            auto start = Clock::now();
            VOxaReaderVicon reader(manager);
            bool ok = reader.FileOpen(path.c_str());
            std::unique_ptr<VStreamOptions> options(ok ? reader.GetReadOptions() : nullptr);
            ok = options && reader.Read(scene, options.get());
            reader.FileClose();
            r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            r.peakMb = ok ? (usage.ru_maxrss - before) / 1024.0 : -1.0;
            r.curvesMb = (VFCurve::GetKeyMemoryTotal() - keysBefore) / (1024.0 * 1024.0);
            if (which == 1) {
                for (int i = 0; i < scene->GetRootNode()->GetChildCount(); ++i)
                    scene->GetRootNode()->GetChild(i)->SetMarked(1, true);
                const std::string out = path + ".out";
                VOxaWriterVicon writer(manager);
                start = Clock::now();
                if (writer.FileCreate(out.c_str())) {
                    std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
                    auto* motion = static_cast<VStreamOptionsMotion*>(writeOptions.get());
                    motion->SetFrameCount(frames);
                    motion->SetTimeMode(0, 120.0);
                    motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
                    writer.Write(scene, writeOptions.get());
                    writer.FileClose();
                }
                r.writerSeconds = std::chrono::duration<double>(Clock::now() - start).count();
                r.writerMb = FileMb(out);
                std::remove(out.c_str());
            }
            if (write(fds[1], &r, sizeof r) != (ssize_t)sizeof r) _exit(1);
            _exit(0);
        }
        close(fds[1]);
        if (read(fds[0], &result, sizeof result) != (ssize_t)sizeof result) result = Result{};
        close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
    }
    gFigures.readSeconds[which] = result.seconds;
    gFigures.peakMb[which] = result.peakMb;
    gFigures.curvesMb[which] = result.curvesMb;
    if (which == 1) {
        gFigures.writerSeconds = result.writerSeconds;
        gFigures.writerMb = result.writerMb;
    }
    state.counters["peak/curves"] = result.curvesMb > 0 ? result.peakMb / result.curvesMb : 0;
}
BENCHMARK(BM_Read)->DenseRange(0, 1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    const Figures& g = gFigures;
    std::printf("\nfile %.1f MB (%d markers x %d frames, float data)\n", g.writtenMb, kMarkers, kFrames);
    std::printf("write through WriteFrame: %.3f s, %.2f GB/s\n", g.writeSeconds,
                g.writeSeconds > 0 ? g.writtenMb / 1024.0 / g.writeSeconds : 0);
    const char* names[2] = {"Intel", "DEC"};
    for (int k = 0; k < 2; ++k)
        std::printf("ReadFrame %-5s: %.3f s, fread %.3f s, ratio %.2f\n", names[k], g.readFrameSeconds[k],
                    g.freadSeconds[k], g.freadSeconds[k] > 0 ? g.readFrameSeconds[k] / g.freadSeconds[k] : 0);
    for (int k = 0; k < 2; ++k)
        std::printf("Read %5d frames: %.3f s, peak %.1f MB, curves %.1f MB, peak/curves %.2f\n",
                    k == 0 ? kFrames / 2 : kFrames, g.readSeconds[k], g.peakMb[k], g.curvesMb[k],
                    g.curvesMb[k] > 0 ? g.peakMb[k] / g.curvesMb[k] : 0);
    std::printf("Read time ratio (all / half frames): %.2f\n",
                g.readSeconds[0] > 0 ? g.readSeconds[1] / g.readSeconds[0] : 0);
    std::printf("whole writer from the scene: %.3f s, %.2f GB/s\n", g.writerSeconds,
                g.writerSeconds > 0 ? g.writerMb / 1024.0 / g.writerSeconds : 0);
    for (int frames : {kFrames, kFrames / 2}) {
        std::remove(DecPath(frames).c_str());
        std::remove(IntelPath(frames).c_str());
    }
    rmdir(Folder().c_str());
    return 0;
}
