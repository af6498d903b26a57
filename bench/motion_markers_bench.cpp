// The marker and transform formats on large files: for each of TRC, AOA, BRD, MOV and VPM a file
// of about 100 MB is generated into a temporary folder, read through the format's reader (file
// open, options, Read into a fresh scene), compared with a plain from_chars loop over the same
// numbers, and the scene read is written back through the format's writer.
//
// Each read runs in a child process so that its peak memory can be measured on its own: the
// child reports the growth of its resident set over the read beside the bytes the curves' keys
// hold. The program prints per format: read time, baseline time and their ratio; peak memory
// over the curves' size; write throughput. Nothing is asserted.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "formats/motion/brd/voxa_ascension.h"
#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "formats/motion/vpm/voxa_puppeteer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Folder() {
    static const std::string folder = oxa_bench::MakeTempFolder("oxa_markers_");
    return folder;
}

// A smooth trajectory value with a few decimals, as capture data looks.
double Value(int marker, int frame, int axis) {
    return ((marker * 37 + frame * 3 + axis * 101) % 20000) * 0.01 - 100.0;
}

struct Output {
    std::FILE* f;
    std::vector<char> buffer;
    explicit Output(const std::string& path) : f(std::fopen(path.c_str(), "wb")) { buffer.reserve(1 << 20); }
    ~Output() {
        Flush();
        std::fclose(f);
    }
    void Flush() {
        std::fwrite(buffer.data(), 1, buffer.size(), f);
        buffer.clear();
    }
    void Text(const char* text) {
        buffer.insert(buffer.end(), text, text + std::strlen(text));
        if (buffer.size() > (1 << 20) - 4096) Flush();
    }
    void Number(double v) {
        char text[32];
        auto result = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 2);
        *result.ptr = 0;
        Text(text);
    }
};

const int kMarkers = 100;

void MakeAoa(const std::string& path, int frames) {
    Output out(path);
    out.Text(("frames = " + std::to_string(frames) + " markers = 100 Hz = 120\n").c_str());
    for (int f = 0; f < frames; ++f)
        for (int m = 0; m < kMarkers; ++m) {
            for (int a = 0; a < 3; ++a) {
                out.Number(Value(m, f, a));
                out.Text(a < 2 ? " " : "\n");
            }
        }
}

void MakeTrc(const std::string& path, int frames) {
    Output out(path);
    out.Text("PathFileType\t4\t(X/Y/Z)\tbench.trc\n");
    out.Text(
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames"
        "\n");
    out.Text(("120\t120\t" + std::to_string(frames) + "\t100\tmm\t120\t1\t" + std::to_string(frames) + "\n")
                 .c_str());
    out.Text("Frame#\tTime");
    for (int m = 0; m < kMarkers; ++m)
        out.Text(("\tM" + std::to_string(m) + "\t\t").c_str());
    out.Text("\n\t");
    for (int m = 1; m <= kMarkers; ++m)
        out.Text(("\tX" + std::to_string(m) + "\tY" + std::to_string(m) + "\tZ" + std::to_string(m)).c_str());
    out.Text("\n\n");
    for (int f = 0; f < frames; ++f) {
        out.Text(std::to_string(f + 1).c_str());
        out.Text("\t");
        out.Number(f / 120.0);
        for (int m = 0; m < kMarkers; ++m)
            for (int a = 0; a < 3; ++a) {
                out.Text("\t");
                out.Number(Value(m, f, a));
            }
        out.Text("\n");
    }
}

void MakeBrd(const std::string& path, int frames) {
    Output out(path);
    const int sensors = 10;
    for (int f = 0; f < frames; ++f)
        for (int s = 0; s < sensors; ++s) {
            out.Text((std::to_string(f) + "\t" + std::to_string(s) + "\tP").c_str());
            for (int a = 0; a < 3; ++a) {
                out.Text("\t");
                out.Number(Value(s, f, a));
            }
            out.Text("\tQ\t0.00\t0.00\t0.38\t0.92\t");
            out.Text((std::to_string(f / 100) + "\t" + std::to_string((f % 100) * 10000) + "\n").c_str());
        }
}

void MakeMov(const std::string& path, int frames) {
    Output out(path);
    for (int f = 0; f < frames; ++f) {
        out.Number(f / 30.0);
        for (int m = 0; m < kMarkers; ++m)
            for (int v = 0; v < 9; ++v) {
                out.Text("\t");
                out.Number(v >= 6 ? 1.0 : Value(m, f, v));
            }
        out.Text("\n");
    }
}

void MakeVpm(const std::string& path, int frames) {
    Output out(path);
    for (int m = 0; m < kMarkers; ++m) {
        out.Text(("Segment:\tS" + std::to_string(m) + "\nFrames:\t" + std::to_string(frames) +
                  "\nFrame Time:\t0.0333333\nXTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n"
                  "INCHES\tINCHES\tINCHES\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n")
                     .c_str());
        for (int f = 0; f < frames; ++f)
            for (int v = 0; v < 9; ++v) {
                out.Number(v >= 6 ? 100.0 : Value(m, f, v));
                out.Text(v < 8 ? "\t" : "\n");
            }
    }
}

// The baseline: the file read in blocks and every number in it parsed with from_chars.
double ParseNumbers(const std::string& path, double& sum) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<char> block(1 << 20);
    size_t keep = 0;
    sum = 0.0;
    long long count = 0;
    while (true) {
        const size_t got = std::fread(block.data() + keep, 1, block.size() - keep, f);
        const size_t length = keep + got;
        const char* p = block.data();
        const char* end = p + length;
        const char* safe = got ? end - 64 : end;  // a number is never cut at a block's end
        while (p < safe || (!got && p < end)) {
            if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.') {
                double v;
                auto r = std::from_chars(p, end, v);
                if (r.ec == std::errc()) {
                    sum += v;
                    ++count;
                    p = r.ptr;
                    continue;
                }
            }
            ++p;
        }
        keep = (size_t)(end - p);
        std::memmove(block.data(), p, keep);
        if (!got) break;
    }
    std::fclose(f);
    return (double)count;
}

struct Format {
    const char* name;
    const char* extension;
    int frames;
    void (*make)(const std::string&, int);
    std::function<VOxaReader*(VOxaSdkManager*)> reader;
    std::function<VOxaWriter*(VOxaSdkManager*)> writer;
};

struct Result {
    double fileMb = 0, readSeconds = 0, baselineSeconds = 0, peakMb = 0, curvesMb = 0, writeSeconds = 0,
           writtenMb = 0;
};

// In a child process: the read, its memory, then the write of what was read.
Result Measure(const Format& format, const std::string& path) {
    int pipeFds[2];
    Result result;
    if (pipe(pipeFds) != 0) return result;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        Result r;
        VFCurveSetApplyConstantKeyReducer(false);
        VFCurveSetRotationFilterMode(0);
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        const long before = oxa_bench::CurrentRssKb();
        const int64_t keysBefore = VFCurve::GetKeyMemoryTotal();
        std::unique_ptr<VOxaReader> reader(format.reader(manager));
        auto start = Clock::now();
        bool ok = reader->FileOpen(path.c_str());
        std::unique_ptr<VStreamOptions> options(ok ? reader->GetReadOptions() : nullptr);
        ok = options && reader->Read(scene, options.get());
        reader->FileClose();
        r.readSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        r.peakMb = ok ? (usage.ru_maxrss - before) / 1024.0 : -1.0;
        r.curvesMb = (VFCurve::GetKeyMemoryTotal() - keysBefore) / (1024.0 * 1024.0);

        for (int i = 0; i < scene->GetRootNode()->GetChildCount(); ++i)
            scene->GetRootNode()->GetChild(i)->SetMarked(1, true);
        const std::string out = path + ".out";
        std::unique_ptr<VOxaWriter> writer(format.writer(manager));
        start = Clock::now();
        if (writer->FileCreate(out.c_str())) {
            std::unique_ptr<VStreamOptions> writeOptions(writer->GetWriteOptions());
            auto* motion = static_cast<VStreamOptionsMotion*>(writeOptions.get());
            motion->SetFrameCount(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameCount());
            motion->SetTimeMode(0, static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate());
            motion->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
            writer->Write(scene, writeOptions.get());
            writer->FileClose();
        }
        r.writeSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (std::FILE* f = std::fopen(out.c_str(), "rb")) {
            std::fseek(f, 0, SEEK_END);
            r.writtenMb = std::ftell(f) / (1024.0 * 1024.0);
            std::fclose(f);
        }
        std::remove(out.c_str());
        if (write(pipeFds[1], &r, sizeof r) != (ssize_t)sizeof r) _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    if (read(pipeFds[0], &result, sizeof result) != (ssize_t)sizeof result) result = Result();
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return result;
}

std::vector<Format>& Formats() {
    static std::vector<Format> formats = {
        {"TRC", ".trc", 30000, &MakeTrc, [](VOxaSdkManager* m) { return new VOxaReaderMotionAnalysisTrc(m); },
         [](VOxaSdkManager* m) { return new VOxaWriterMotionAnalysisTrc(m); }},
        {"AOA", ".aoa", 30000, &MakeAoa,
         [](VOxaSdkManager* m) { return new VOxaReaderAdaptiveOptics(m, false); },
         [](VOxaSdkManager* m) { return new VOxaWriterAdaptiveOptics(m, false); }},
        {"BRD", ".brd", 100000, &MakeBrd, [](VOxaSdkManager* m) { return new VOxaReaderAscension(m); },
         [](VOxaSdkManager* m) { return new VOxaWriterAscension(m); }},
        {"MOV", ".mov", 14000, &MakeMov, [](VOxaSdkManager* m) { return new VOxaReaderCorvelundMov(m); },
         [](VOxaSdkManager* m) { return new VOxaWriterCorvelundMov(m); }},
        {"VPM", ".vpm", 15000, &MakeVpm, [](VOxaSdkManager* m) { return new VOxaReaderPuppeteer(m); },
         [](VOxaSdkManager* m) { return new VOxaWriterPuppeteer(m); }},
    };
    return formats;
}

std::vector<Result>& Results() {
    static std::vector<Result> results(5);
    return results;
}

void BM_Format(benchmark::State& state) {
    const size_t index = (size_t)state.range(0);
    const Format& format = Formats()[index];
    const std::string path = Folder() + "/bench" + format.extension;
    format.make(path, format.frames);
    Result& result = Results()[index];
    for (auto _ : state) {
        double sum = 0.0;
        auto start = Clock::now();
        const double numbers = ParseNumbers(path, sum);
        result.baselineSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(sum);
        const Result measured = Measure(format, path);
        result.readSeconds = measured.readSeconds;
        result.peakMb = measured.peakMb;
        result.curvesMb = measured.curvesMb;
        result.writeSeconds = measured.writeSeconds;
        result.writtenMb = measured.writtenMb;
        state.counters["numbers"] = numbers;
    }
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        result.fileMb = std::ftell(f) / (1024.0 * 1024.0);
        std::fclose(f);
    }
    std::remove(path.c_str());
    state.SetLabel(format.name);
}
BENCHMARK(BM_Format)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    oxa_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-5s %8s %10s %10s %7s %10s %10s %7s %10s\n", "fmt", "file MB", "read s", "from_chars",
                "ratio", "peak MB", "curves MB", "ratio", "write GB/s");
    for (size_t i = 0; i < Formats().size(); ++i) {
        const Result& r = Results()[i];
        if (r.fileMb == 0) continue;
        std::printf("%-5s %8.1f %10.3f %10.3f %7.2f %10.1f %10.1f %7.2f %10.3f\n", Formats()[i].name,
                    r.fileMb, r.readSeconds, r.baselineSeconds,
                    r.baselineSeconds > 0 ? r.readSeconds / r.baselineSeconds : 0, r.peakMb, r.curvesMb,
                    r.curvesMb > 0 ? r.peakMb / r.curvesMb : 0,
                    r.writeSeconds > 0 ? r.writtenMb / 1024.0 / r.writeSeconds : 0);
    }
    rmdir(Folder().c_str());
    benchmark::Shutdown();
    return 0;
}
