// Node transform evaluation at size: 10,000 nodes whose "T", "R" and "S" curves carry keys, once
// as a wide tree (fan-out 22, depth 4) and once as a chain (depth 10,000). At each of 1,000
// increasing times every node's global matrix is asked for (EvaluateGlobalTransform, nodes in
// creation order), then asked for again at the same time; a third measure runs the stamp-driven
// pass (UpdateLocalTRS and UpdateGlobalTransform over the whole hierarchy).
//
// The baseline evaluates the same curves into plain arrays and composes the matrices parent
// first with VgeMatrixFromTRS, the cheapest form of the same work.
//
// The program prints the usual table and then the ratios worth watching: chain against tree per
// node (near 1 when each parent is computed once per time), the repeat against the first pass
// (small when the cache answers), and the tree against the baseline. A second pair measures the
// local transform alone (EvaluateLocalTransform, the take's channels looked up by name or held)
// against its nine curves evaluated directly and composed with VgeMatrixFromTRS.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

#include "bench_ratio.h"

namespace {

constexpr int kNodeCount = 10000;
constexpr int kTimeCount = 1000;
constexpr int kKeyCount = 12;
constexpr int kFanOut = 22;
// The local-transform pair samples every fifth time only: it measures a ratio, not a total.
constexpr int kLocalStep = 5;

using Clock = std::chrono::steady_clock;

double NanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

VTime TimeAt(int step) {
    return VTime(VTime::kOneSecond * 10 * step / kTimeCount);
}

// Parent index of node i (-1 for the top): the wide tree or the chain.
int ParentOf(int i, bool chain) {
    if (i == 0) return -1;
    return chain ? i - 1 : (i - 1) / kFanOut;
}

// The nine curves of a take in T, R, S and X, Y, Z order.
void TakeCurves(VOxaTakeNode* take, VFCurve* curves[9]) {
    VFCurve* c[9] = {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                     take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                     take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
    for (int k = 0; k < 9; ++k)
        curves[k] = c[k];
}

void KeyCurves(VFCurve* curves[9], int node) {
    for (int k = 0; k < 9; ++k) {
        for (int j = 0; j < kKeyCount; ++j) {
            VTime time(VTime::kOneSecond * 10 * j / (kKeyCount - 1));
            float value = k < 3   ? (float)((node + j * k) % 7) * 0.5f
                          : k < 6 ? (float)((node * 7 + j * 13 * k) % 90)
                                  : 1.0f + 0.01f * (float)((node + j + k) % 5);
            curves[k]->KeyAppendFast(time, value);
        }
    }
}

// The hierarchy under a manager, keyed, with a second take "Take1" current.
struct Scene {
    VOxaSdkManager* manager = nullptr;
    std::vector<VOxaNode*> nodes;

    explicit Scene(bool chain) {
        manager = VOxaSdkManager::Create();
        nodes.reserve(kNodeCount);
        for (int i = 0; i < kNodeCount; ++i) {
            VOxaNode* node = manager->CreateNode(("Node" + std::to_string(i)).c_str());
            int parent = ParentOf(i, chain);
            if (parent >= 0) nodes[(size_t)parent]->AddChild(node);
            VFCurve* curves[9];
            TakeCurves(node->GetDefaultTakeNode(), curves);
            KeyCurves(curves, i);
            node->AddTakeNode("Take1");
            node->SetCurrentTakeNode("Take1");
            nodes.push_back(node);
        }
    }
    ~Scene() { delete manager; }
};

// The nine curves of node i at `time`, each with its own search position.
void EvaluateNine(const std::vector<VFCurve*>& curves, std::vector<int>& hints, int i, VTime time,
                  double v[9]) {
    for (int k = 0; k < 9; ++k)
        v[k] = curves[(size_t)i * 9 + k]->Evaluate(time, &hints[(size_t)i * 9 + k]);
}

// Every node at every time, then again at the same time; and the stamped pass.
void BM_NodeEval(benchmark::State& state) {
    const bool chain = state.range(0) != 0;
    Scene scene(chain);
    double first = 0, repeat = 0, stamped = 0;
    int stamp = 0;
    for (auto _ : state) {
        for (int step = 0; step < kTimeCount; ++step) {
            const VTime time = TimeAt(step);
            Clock::time_point start = Clock::now();
            for (VOxaNode* node : scene.nodes)
                benchmark::DoNotOptimize(node->EvaluateGlobalTransform(time)[3][0]);
            first += NanosecondsSince(start);
            start = Clock::now();
            for (VOxaNode* node : scene.nodes)
                benchmark::DoNotOptimize(node->EvaluateGlobalTransform(time)[3][0]);
            repeat += NanosecondsSince(start);
        }
        for (int step = 0; step < kTimeCount; ++step) {
            Clock::time_point start = Clock::now();
            scene.nodes[0]->UpdateLocalTRS(TimeAt(step), true);
            scene.nodes[0]->UpdateGlobalTransform(++stamp, true);
            stamped += NanosecondsSince(start);
            benchmark::DoNotOptimize(scene.nodes.back()->GetGlobalTransform()[3][0]);
        }
    }
    const double perNode = 1.0 / ((double)kNodeCount * kTimeCount);
    state.counters["first_ns_per_node"] =
        benchmark::Counter(first * perNode, benchmark::Counter::kAvgIterations);
    state.counters["repeat_ns_per_node"] =
        benchmark::Counter(repeat * perNode, benchmark::Counter::kAvgIterations);
    state.counters["stamped_ns_per_node"] =
        benchmark::Counter(stamped * perNode, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_NodeEval)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The same curves evaluated into arrays and composed parent first.
void BM_PlainBaseline(benchmark::State& state) {
    const bool chain = state.range(0) != 0;
    Scene scene(chain);
    std::vector<VFCurve*> curves((size_t)kNodeCount * 9);
    std::vector<int> parents(kNodeCount), hints((size_t)kNodeCount * 9, 0);
    for (int i = 0; i < kNodeCount; ++i) {
        TakeCurves(scene.nodes[(size_t)i]->GetCurrentTakeNode(), &curves[(size_t)i * 9]);
        parents[(size_t)i] = ParentOf(i, chain);
    }
    std::vector<VgeAMatrix> global(kNodeCount);
    double first = 0;
    for (auto _ : state) {
        for (int step = 0; step < kTimeCount; ++step) {
            const VTime time = TimeAt(step);
            Clock::time_point start = Clock::now();
            for (int i = 0; i < kNodeCount; ++i) {
                double v[9];
                EvaluateNine(curves, hints, i, time, v);
                double local[4][4];
                VgeMatrixFromTRS(local, v, v + 3, v + 6);
                const int p = parents[(size_t)i];
                if (p < 0)
                    VgeMatrixCopy(global[(size_t)i].mData, local);
                else
                    VgeMatrixMultAffine(global[(size_t)i].mData, global[(size_t)p].mData, local);
            }
            first += NanosecondsSince(start);
            benchmark::DoNotOptimize(global.back()[3][0]);
        }
    }
    state.counters["first_ns_per_node"] =
        benchmark::Counter(first / ((double)kNodeCount * kTimeCount), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlainBaseline)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// The local transform alone, per node and time: EvaluateLocalTransform with the take's channels
// held as a writer holds them (argument 1) or looked up by name at each call (argument 0).
void BM_LocalEval(benchmark::State& state) {
    const bool held = state.range(0) != 0;
    Scene scene(false);
    if (held)
        for (VOxaNode* node : scene.nodes)
            node->HoldTakeChannels();
    double total = 0;
    for (auto _ : state) {
        for (int step = 0; step < kTimeCount; step += kLocalStep) {
            const VTime time = TimeAt(step);
            Clock::time_point start = Clock::now();
            for (VOxaNode* node : scene.nodes)
                benchmark::DoNotOptimize(node->EvaluateLocalTransform(time)[3][0]);
            total += NanosecondsSince(start);
        }
    }
    state.counters["ns_per_node"] = benchmark::Counter(
        total / ((double)kNodeCount * (kTimeCount / kLocalStep)), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LocalEval)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

// Its baseline: the nine curves evaluated directly, each with its own search position, and the
// matrix composed in plain code.
void BM_PlainLocal(benchmark::State& state) {
    Scene scene(false);
    std::vector<VFCurve*> curves((size_t)kNodeCount * 9);
    std::vector<int> hints((size_t)kNodeCount * 9, 0);
    for (int i = 0; i < kNodeCount; ++i)
        TakeCurves(scene.nodes[(size_t)i]->GetCurrentTakeNode(), &curves[(size_t)i * 9]);
    std::vector<VgeAMatrix> local(kNodeCount);
    double total = 0;
    for (auto _ : state) {
        for (int step = 0; step < kTimeCount; step += kLocalStep) {
            const VTime time = TimeAt(step);
            Clock::time_point start = Clock::now();
            for (int i = 0; i < kNodeCount; ++i) {
                double v[9];
                EvaluateNine(curves, hints, i, time, v);
                VgeMatrixFromTRS(local[(size_t)i].mData, v, v + 3, v + 6);
            }
            total += NanosecondsSince(start);
            benchmark::DoNotOptimize(local.back()[3][0]);
        }
    }
    state.counters["ns_per_node"] = benchmark::Counter(
        total / ((double)kNodeCount * (kTimeCount / kLocalStep)), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlainLocal)->Iterations(1)->Unit(benchmark::kMillisecond);

// The argument of BM_NodeEval and BM_PlainBaseline: the wide tree or the chain.
constexpr int kTree = 0;
constexpr int kChain = 1;

// Prints the ratios named in the header comment, one line each: a measure in one shape over a
// measure in another, skipped when either run did not happen.
void PrintShapeRatios(const oxa_bench::RatioReporter& reporter) {
    const char* first = "BM_NodeEval first_ns_per_node";
    const char* repeat = "BM_NodeEval repeat_ns_per_node";
    const char* stamped = "BM_NodeEval stamped_ns_per_node";
    const char* baseline = "BM_PlainBaseline first_ns_per_node";
    struct Ratio {
        const char* label;
        const char* numerator;
        int numeratorShape;
        const char* denominator;
        int denominatorShape;
    };
    const Ratio ratios[] = {
        {"chain / tree, first pass per node", first, kChain, first, kTree},
        {"chain / tree, stamped pass per node", stamped, kChain, stamped, kTree},
        {"repeat / first, tree", repeat, kTree, first, kTree},
        {"repeat / first, chain", repeat, kChain, first, kChain},
        {"tree / baseline, first pass", first, kTree, baseline, kTree},
        {"tree stamped / baseline", stamped, kTree, baseline, kTree},
        {"chain / baseline chain, first pass", first, kChain, baseline, kChain},
        {"local, channels looked up / plain local (target <= 2)", "BM_LocalEval ns_per_node", 0,
         "BM_PlainLocal ns_per_node", 0},
        {"local, channels held / plain local (target <= 2)", "BM_LocalEval ns_per_node", 1,
         "BM_PlainLocal ns_per_node", 0},
    };
    std::printf("\n%-58s %10s %10s %8s\n", "ratio", "numerator", "denominator", "value");
    for (const Ratio& ratio : ratios) {
        const double* n = reporter.Find(ratio.numerator, ratio.numeratorShape);
        const double* d = reporter.Find(ratio.denominator, ratio.denominatorShape);
        if (!n || !d) continue;
        std::printf("%-58s %10.1f %10.1f %8.2f\n", ratio.label, *n, *d, *d > 0.0 ? *n / *d : 0.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    PrintShapeRatios(reporter);
    return 0;
}
