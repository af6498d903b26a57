// The curve filters on long captures: each filter runs on curves of 10,000 and of 100,000 keys
// (one key per frame at 30 frames per second), and the program prints, per filter, both times and
// their ratio. A cost that grows like n gives a ratio near 10, n log n a little above; a ratio
// near 100 would mean a quadratic walk.
//
// The curves are built once per size; every iteration works on fresh copies made outside the
// timed part.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "animation/filters/fcurve_filter_gimble_killer.h"
#include "animation/filters/fcurve_filter_key_reducer.h"
#include "animation/filters/fcurve_filter_key_sync.h"
#include "animation/filters/fcurve_filter_resample.h"
#include "animation/filters/fcurve_filter_unroll.h"
#include "animation/layer_merge.h"

#include "bench_ratio.h"

namespace {

const VTime kFrame(VTime::kOneSecond / 30);

// A captured-looking channel: a slow motion with a little noise; `flat` holds still over a
// quarter of each 400-frame stretch (where the constant key reducer has work); `wrap` folds the
// angle into -180..180 as rotation data from files often is.
void Fill(VFCurve* curve, int n, double phase, bool flat, bool wrap) {
    curve->KeyModifyBegin(n);
    unsigned noise = 12345u + (unsigned)(phase * 1000);
    double value = 0.0;
    for (int i = 0; i < n; ++i) {
        noise = noise * 1103515245u + 12345u;
        bool still = flat && (i % 400) < 100;
        if (!still)
            value = 120.0 * std::sin(phase + i * 0.01) + i * 0.05 + (double)(noise >> 16) / 65536.0 * 0.3;
        double v = value;
        if (wrap) v = std::remainder(v, 360.0);
        curve->KeyAppendFast(kFrame * (int64_t)i, (float)v);
    }
    curve->KeyModifyEnd();
}

VFCurveNode* MakeRotation(int n, bool wrap) {
    VFCurveNode* node = VFCurveNode::Create("R", "R", nullptr, 0, 0);
    const char* axes[3] = {"X", "Y", "Z"};
    for (int c = 0; c < 3; ++c) {
        VFCurveNode* child = VFCurveNode::CreateFromName(axes[c]);
        child->FCurveSet(VFCurve::Create());
        Fill(child->FCurveGet(), n, c * 0.9, false, wrap);
        node->Add(child);
    }
    node->SetLayerType(eFCURVENODE_LAYER_EULER_ROTATION);
    return node;
}

// Prepared inputs per size, built on first use.
struct Inputs {
    VFCurve* smooth = nullptr;  // key reducer, resample
    VFCurve* flat = nullptr;    // constant key reducer
    VFCurveNode* rotation = nullptr;
    VFCurveNode* layered = nullptr;
    VFCurve* halves[2] = {nullptr, nullptr};  // keys on even and on odd frames
};

Inputs& Get(int n) {
    static std::map<int, Inputs> cache;
    Inputs& in = cache[n];
    if (!in.smooth) {
        in.smooth = VFCurve::Create();
        Fill(in.smooth, n, 0.3, false, false);
        in.flat = VFCurve::Create();
        Fill(in.flat, n, 0.7, true, false);
        in.rotation = MakeRotation(n, true);
        in.layered = MakeRotation(n, false);
        in.layered->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
        in.layered->CreateLayerAt(1);
        for (int c = 0; c < 3; ++c)
            Fill(in.layered->GetLayer(1)->Get(c)->FCurveGet(), n, 2.0 + c, false, false);
        for (int h = 0; h < 2; ++h) {
            in.halves[h] = VFCurve::Create();
            in.halves[h]->KeyModifyBegin(n / 2);
            for (int i = h; i < n; i += 2)
                in.halves[h]->KeyAppendFast(kFrame * (int64_t)i, (float)std::sin(i * 0.01));
            in.halves[h]->KeyModifyEnd();
        }
    }
    return in;
}

template <typename Run>
void CurveLoop(benchmark::State& state, VFCurve* source, Run run) {
    VFCurve* work = VFCurve::Create();
    for (auto _ : state) {
        state.PauseTiming();
        work->CopyFrom(source, true);
        state.ResumeTiming();
        run(*work);
    }
    delete work;
}

template <typename Run>
void NodeLoop(benchmark::State& state, VFCurveNode* source, Run run) {
    for (auto _ : state) {
        state.PauseTiming();
        VFCurveNode* work = source->Clone();
        state.ResumeTiming();
        run(*work);
        state.PauseTiming();
        delete work;
        state.ResumeTiming();
    }
}

void BM_KeyReducer(benchmark::State& state) {
    CurveLoop(state, Get((int)state.range(0)).smooth, [](VFCurve& curve) {
        VFCurveFilterKeyReducer filter;
        filter.SetPrecision(0.5);
        filter.Apply(curve);
    });
}

void BM_ConstantKeyReducer(benchmark::State& state) {
    CurveLoop(state, Get((int)state.range(0)).flat, [](VFCurve& curve) {
        VFCurveFilterConstantKeyReducer filter;
        filter.Apply(curve);
    });
}

void BM_Resample(benchmark::State& state) {
    CurveLoop(state, Get((int)state.range(0)).smooth, [](VFCurve& curve) {
        VFCurveFilterResample filter;
        filter.SetPeriod(VTime(VTime::kOneSecond / 24));
        filter.Apply(curve);
    });
}

void BM_Unroll(benchmark::State& state) {
    NodeLoop(state, Get((int)state.range(0)).rotation, [](VFCurveNode& node) {
        VFCurveFilterUnroll filter;
        filter.Apply(node, true);
    });
}

void BM_GimbleKiller(benchmark::State& state) {
    NodeLoop(state, Get((int)state.range(0)).rotation, [](VFCurveNode& node) {
        VFCurveFilterGimbleKiller filter;
        filter.Apply(node, true);
    });
}

void BM_LayerMerge(benchmark::State& state) {
    int n = (int)state.range(0);
    NodeLoop(state, Get(n).layered, [n](VFCurveNode& node) {
        VFCurveNodeMergeLayers(&node, nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, VTime(0),
                               kFrame * (int64_t)(n - 1), kFrame);
    });
}

// Two curves keyed on alternate frames: every key of one becomes a key of the other.
void BM_KeySync(benchmark::State& state) {
    Inputs& in = Get((int)state.range(0));
    VFCurve* work[2] = {VFCurve::Create(), VFCurve::Create()};
    for (auto _ : state) {
        state.PauseTiming();
        for (int h = 0; h < 2; ++h)
            work[h]->CopyFrom(in.halves[h], true);
        state.ResumeTiming();
        VFCurveFilterKeySync filter;
        filter.Apply(work, 2);
    }
    delete work[0];
    delete work[1];
}

BENCHMARK(BM_KeyReducer)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConstantKeyReducer)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unroll)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GimbleKiller)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerMerge)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeySync)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Prints, per filter, the time per iteration at both sizes and their ratio.
void PrintFilterRatios(const oxa_bench::Measures& times) {
    std::printf("\n%-24s %14s %14s %8s\n", "filter", "10,000 keys", "100,000 keys", "ratio");
    for (const auto& entry : times) {
        auto small = entry.second.find(10000);
        auto large = entry.second.find(100000);
        if (small == entry.second.end() || large == entry.second.end()) continue;
        std::printf("%-24s %11.3f ms %11.3f ms %8.1f\n", entry.first.c_str(), small->second, large->second,
                    small->second > 0.0 ? large->second / small->second : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    PrintFilterRatios(reporter.measures());
    return 0;
}
