// Function-curve figures, each beside a baseline where one makes sense:
//  - Evaluate on a 10,000-key cubic curve at 1,000,000 increasing times (the search hint at
//    work) and at 1,000,000 random times, next to a minimal evaluator of the same keys over flat
//    arrays (binary search and the same Bezier segment). Every row reports items per second, so
//    rows compare directly: sequential evaluation is meant to stay within 2x of its baseline,
//    random within 3x.
//  - Building a 1,000,000-key curve with KeyAppendFast and with KeyAdd in time order (both
//    linear in the key count).
//  - OxaStore and OxaRetrieve of a 100,000-key curve in the binary and the text form.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "animation/fcurve.h"
#include "oxa_codec/voxa.h"

namespace {

constexpr int kEvalKeys = 10000;
constexpr int kEvaluations = 1000000;
constexpr int kBuildKeys = 1000000;
constexpr int kStoreKeys = 100000;
constexpr int64_t kStep = VTime::kOneSecond / 30;

// The keys both evaluators see: cubic user tangents at every frame.
struct FlatKeys {
    std::vector<int64_t> time;
    std::vector<float> value, right, nextLeft;
};

const FlatKeys& Flat() {
    static const FlatKeys keys = [] {
        FlatKeys k;
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> value(-50, 50), slope(-100, 100);
        for (int i = 0; i < kEvalKeys; ++i) {
            k.time.push_back(i * kStep + (i % 3));  // slightly uneven spacing
            k.value.push_back(value(rng));
            k.right.push_back(slope(rng));
            k.nextLeft.push_back(slope(rng));
        }
        return k;
    }();
    return keys;
}

VFCurve* MakeCurve() {
    const FlatKeys& k = Flat();
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(kEvalKeys);
    curve->KeyModifyBegin();
    for (int i = 0; i < kEvalKeys; ++i)
        curve->KeySet(i, VTime(k.time[i]), k.value[i], VFCurveKey::eInterpolationCubic,
                      VFCurveKey::eTangentUserBreak, k.right[i], k.nextLeft[i]);
    curve->KeyModifyEnd();
    return curve;
}

// The baseline: binary search over the key times, then the segment's Bezier.
float FlatEvaluate(const FlatKeys& k, int64_t t) {
    if (t <= k.time.front()) return k.value.front();
    if (t >= k.time.back()) return k.value.back();
    size_t j = (size_t)(std::upper_bound(k.time.begin(), k.time.end(), t) - k.time.begin());
    size_t i = j - 1;
    double dt = (double)(k.time[j] - k.time[i]) / (double)VTime::kOneSecond;
    double u = (double)(t - k.time[i]) / (double)(k.time[j] - k.time[i]);
    double p0 = k.value[i], p3 = k.value[j];
    double p1 = p0 + k.right[i] * dt / 3.0, p2 = p3 - k.nextLeft[i] * dt / 3.0;
    double p01 = p0 + (p1 - p0) * u, p12 = p1 + (p2 - p1) * u, p23 = p2 + (p3 - p2) * u;
    double p012 = p01 + (p12 - p01) * u, p123 = p12 + (p23 - p12) * u;
    return (float)(p012 + (p123 - p012) * u);
}

std::vector<int64_t> SequentialTimes() {
    std::vector<int64_t> times(kEvaluations);
    int64_t span = Flat().time.back() - Flat().time.front();
    for (int i = 0; i < kEvaluations; ++i)
        times[(size_t)i] = Flat().time.front() + span * i / kEvaluations;
    return times;
}

std::vector<int64_t> RandomTimes() {
    std::vector<int64_t> times(kEvaluations);
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int64_t> when(Flat().time.front(), Flat().time.back());
    for (auto& t : times)
        t = when(rng);
    return times;
}

void RunCurve(benchmark::State& state, const std::vector<int64_t>& times) {
    VFCurve* curve = MakeCurve();
    for (auto _ : state) {
        int hint = 0;
        float sum = 0;
        for (int64_t t : times)
            sum += curve->Evaluate(VTime(t), &hint);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)times.size());
    delete curve;
}

void RunFlat(benchmark::State& state, const std::vector<int64_t>& times) {
    const FlatKeys& k = Flat();
    for (auto _ : state) {
        float sum = 0;
        for (int64_t t : times)
            sum += FlatEvaluate(k, t);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)times.size());
}

// For reference: the same keys with auto tangents (auto value 0), whose slopes come from the
// neighbouring keys at every evaluation.
void BM_EvaluateSequentialAuto(benchmark::State& state) {
    VFCurve* curve = MakeCurve();
    curve->KeySetTangentModeAll(false, VFCurveKey::eTangentAuto);
    for (int i = 0; i < curve->KeyGetCount(); ++i) {
        curve->KeySetDataFloat(i, 0, 0.0f);
        curve->KeySetDataFloat(i, 1, 0.0f);
    }
    std::vector<int64_t> times = SequentialTimes();
    for (auto _ : state) {
        int hint = 0;
        float sum = 0;
        for (int64_t t : times)
            sum += curve->Evaluate(VTime(t), &hint);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)times.size());
    delete curve;
}

void BM_EvaluateSequential(benchmark::State& state) {
    RunCurve(state, SequentialTimes());
}
void BM_BaselineSequential(benchmark::State& state) {
    RunFlat(state, SequentialTimes());
}
void BM_EvaluateRandom(benchmark::State& state) {
    RunCurve(state, RandomTimes());
}
void BM_BaselineRandom(benchmark::State& state) {
    RunFlat(state, RandomTimes());
}
BENCHMARK(BM_EvaluateSequential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineSequential)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EvaluateSequentialAuto)->Unit(benchmark::kMillisecond);

// Building: the key count is the argument, so the rows show the growth is linear.
void BM_BuildAppendFast(benchmark::State& state) {
    const int count = (int)state.range(0);
    for (auto _ : state) {
        VFCurve curve;
        curve.KeyModifyBegin();
        for (int i = 0; i < count; ++i)
            curve.KeyAppendFast(VTime(i * kStep), (float)i);
        curve.KeyModifyEnd();
        benchmark::DoNotOptimize(curve.KeyGetCount());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_BuildKeyAdd(benchmark::State& state) {
    const int count = (int)state.range(0);
    VFCurveKey key;
    key.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto);
    for (auto _ : state) {
        VFCurve curve;
        int hint = 0;
        curve.KeyModifyBegin();
        for (int i = 0; i < count; ++i) {
            key.SetValue((float)i);
            curve.KeyAdd(VTime(i * kStep), key, &hint);
        }
        curve.KeyModifyEnd();
        benchmark::DoNotOptimize(curve.KeyGetCount());
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_BuildAppendFast)
    ->Arg(kBuildKeys / 4)
    ->Arg(kBuildKeys)
    ->Arg(kBuildKeys * 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildKeyAdd)
    ->Arg(kBuildKeys / 4)
    ->Arg(kBuildKeys)
    ->Arg(kBuildKeys * 4)
    ->Unit(benchmark::kMillisecond);

// Store and retrieve: argument 1 for the binary form, 0 for the text form.
VFCurve* MakeStoreCurve() {
    VFCurve* curve = VFCurve::Create();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(-50, 50);
    for (int i = 0; i < kStoreKeys; ++i)
        curve->KeyAppendFast(VTime(i * kStep), value(rng));
    for (int i = 0; i < kStoreKeys; i += 3)
        curve->KeySetRightAuto(i, 25.0f);  // some "p" keys
    return curve;
}

std::vector<uint8_t> StoreBytes(const VFCurve* curve, bool binary) {
    VOxa oxa;
    oxa.MemoryCreate(binary);
    oxa.SectionWriteBegin("Curves", 5000);
    curve->OxaStore(&oxa);
    oxa.SectionWriteEnd();
    oxa.FileClose();
    return std::vector<uint8_t>(oxa.GetMemoryData(), oxa.GetMemoryData() + oxa.GetMemorySize());
}

void BM_OxaStore(benchmark::State& state) {
    VFCurve* curve = MakeStoreCurve();
    for (auto _ : state)
        benchmark::DoNotOptimize(StoreBytes(curve, state.range(0) != 0).size());
    state.SetItemsProcessed(state.iterations() * kStoreKeys);
    delete curve;
}

void BM_OxaRetrieve(benchmark::State& state) {
    VFCurve* source = MakeStoreCurve();
    std::vector<uint8_t> bytes = StoreBytes(source, state.range(0) != 0);
    delete source;
    for (auto _ : state) {
        VOxa oxa;
        oxa.MemoryOpen(bytes.data(), bytes.size());
        oxa.SectionReadBegin(0);
        VFCurve curve;
        if (!curve.Retrieve(&oxa)) state.SkipWithError("retrieve failed");
        benchmark::DoNotOptimize(curve.KeyGetCount());
    }
    state.SetItemsProcessed(state.iterations() * kStoreKeys);
}
BENCHMARK(BM_OxaStore)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OxaRetrieve)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
