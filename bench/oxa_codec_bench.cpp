// Throughput of the field file against a plain fwrite/fread of the same doubles: 1,000,000
// doubles in 1,000 occurrences of one field, written to a file and read back, in the binary and
// the text form. Every row reports bytes per second over the 8,000,000 bytes of raw doubles, so
// the rows compare directly (the binary form is meant to stay within 3x of the plain copy).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "oxa_codec/voxa.h"

namespace {

constexpr int kFields = 1000;
constexpr int kValuesPerField = 1000;
constexpr size_t kValueCount = (size_t)kFields * kValuesPerField;
constexpr int64_t kRawBytes = (int64_t)kValueCount * sizeof(double);

const std::vector<double>& Values() {
    static const std::vector<double> values = [] {
        std::vector<double> v(kValueCount);
        // Curve-like values: no short decimal form, so the text form does its full work.
        for (size_t k = 0; k < v.size(); ++k)
            v[k] = (double)k / 7.0 + 0.1;
        return v;
    }();
    return values;
}

std::string TempPath(const char* name) {
    return std::string("/tmp/oxa_codec_bench_") + name;
}

void PlainWrite(const std::string& path, const std::vector<double>& values) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fwrite(values.data(), sizeof(double), values.size(), file);
    std::fclose(file);
}

void BM_PlainWrite(benchmark::State& state) {
    const auto& values = Values();
    const std::string path = TempPath("plain");
    for (auto _ : state)
        PlainWrite(path, values);
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    std::remove(path.c_str());
}

void BM_PlainRead(benchmark::State& state) {
    const std::string path = TempPath("plain");
    PlainWrite(path, Values());
    std::vector<double> back(kValueCount);
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            state.SkipWithError("cannot open the plain file");
            break;
        }
        benchmark::DoNotOptimize(std::fread(back.data(), sizeof(double), back.size(), file));
        std::fclose(file);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    std::remove(path.c_str());
}

bool OxaWrite(const std::string& path, bool binary, const std::vector<double>& values) {
    VOxa oxa;
    if (!oxa.FileCreate(path.c_str(), binary)) return false;
    oxa.SectionWriteBegin("Bench", 4000);
    const double* next = values.data();
    for (int f = 0; f < kFields; ++f) {
        oxa.FieldWriteBegin("Key");
        for (int k = 0; k < kValuesPerField; ++k)
            oxa.FieldWriteD(*next++);
        oxa.FieldWriteEnd();
    }
    oxa.SectionWriteEnd();
    return oxa.FileClose();
}

void BM_OxaWrite(benchmark::State& state) {
    const bool binary = state.range(0) != 0;
    const auto& values = Values();
    const std::string path = TempPath(binary ? "binary" : "text");
    for (auto _ : state) {
        if (!OxaWrite(path, binary, values)) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    state.SetLabel(binary ? "binary" : "text");
    std::remove(path.c_str());
}

void BM_OxaRead(benchmark::State& state) {
    const bool binary = state.range(0) != 0;
    const std::string path = TempPath(binary ? "binary" : "text");
    if (!OxaWrite(path, binary, Values())) {
        state.SkipWithError("write failed");
        return;
    }
    std::vector<double> back(kValueCount);
    for (auto _ : state) {
        VOxa oxa;
        if (!oxa.FileOpen(path.c_str()) || !oxa.SectionReadBegin(0)) {
            state.SkipWithError("read failed");
            break;
        }
        double* next = back.data();
        while (oxa.FieldReadBegin("Key")) {
            for (int n = oxa.FieldReadRemaining(); n > 0; --n)
                *next++ = oxa.FieldReadD();
            oxa.FieldReadEnd();
        }
        benchmark::DoNotOptimize(back.data());
        if (next != back.data() + back.size()) {
            state.SkipWithError("values did not read back");
            break;
        }
    }
    if (back != Values()) state.SkipWithError("values did not read back");
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    state.SetLabel(binary ? "binary" : "text");
    std::remove(path.c_str());
}

// The whole trip, write then read back, which is what the 3x aim is about.
void BM_PlainRoundTrip(benchmark::State& state) {
    const auto& values = Values();
    const std::string path = TempPath("plain_trip");
    std::vector<double> back(kValueCount);
    for (auto _ : state) {
        PlainWrite(path, values);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file) {
            state.SkipWithError("cannot open the plain file");
            break;
        }
        benchmark::DoNotOptimize(std::fread(back.data(), sizeof(double), back.size(), file));
        std::fclose(file);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    std::remove(path.c_str());
}

void BM_OxaRoundTrip(benchmark::State& state) {
    const bool binary = state.range(0) != 0;
    const auto& values = Values();
    const std::string path = TempPath(binary ? "binary_trip" : "text_trip");
    std::vector<double> back(kValueCount);
    for (auto _ : state) {
        VOxa oxa;
        if (!OxaWrite(path, binary, values) || !oxa.FileOpen(path.c_str()) || !oxa.SectionReadBegin(0)) {
            state.SkipWithError("write or read failed");
            break;
        }
        double* next = back.data();
        while (oxa.FieldReadBegin("Key")) {
            for (int n = oxa.FieldReadRemaining(); n > 0; --n)
                *next++ = oxa.FieldReadD();
            oxa.FieldReadEnd();
        }
        benchmark::DoNotOptimize(back.data());
    }
    if (back != values) state.SkipWithError("values did not read back");
    state.SetBytesProcessed(state.iterations() * kRawBytes);
    state.SetLabel(binary ? "binary" : "text");
    std::remove(path.c_str());
}

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OxaWrite)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OxaRead)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRoundTrip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OxaRoundTrip)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
