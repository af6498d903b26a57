// Curve-node evaluation against evaluating the same curves directly.
//
// A transform tree of three nodes ("T", "R", "S", three curves of 1,000 keys each, two layers on
// the rotation) is evaluated at 1,000,000 increasing times. Beside it: the nine base curves
// evaluated directly, and the fifteen curves the tree really reads (base and layers). The
// tree's own work (walk, candidates bookkeeping, layer composition) is the difference between
// the tree and the fifteen curves; the printed ratios make that share visible on any machine.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"

#include "bench_ratio.h"

namespace {

constexpr int kKeys = 1000;
constexpr int kSamples = 1000000;  // increasing times across the keys, about 30 per key
const VTime kStep(VTime::kOneSecond / 30);

void FillCurve(VFCurve* curve, double phase, double amplitude) {
    curve->KeyModifyBegin(kKeys);
    for (int i = 0; i < kKeys; ++i) {
        double v = amplitude * std::sin(phase + i * 0.05);
        curve->KeyAppendFast(kStep * (int64_t)i, (float)v);
    }
    curve->KeyModifyEnd();
}

struct Scene {
    VFCurveNode* channels[3];
    std::vector<VFCurve*> baseCurves;
    std::vector<VFCurve*> allCurves;

    Scene() {
        const char* types[3] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling"};
        const char* names[3] = {"T", "R", "S"};
        for (int c = 0; c < 3; ++c) {
            VFCurveNode* node = VFCurveNode::CreateForDataType(VDataType::Find(types[c]), names[c]);
            node->CreateFCurves();
            for (int a = 0; a < 3; ++a) {
                VFCurve* curve = node->Get(a)->FCurveGet();
                FillCurve(curve, c + a * 0.7, c == 2 ? 0.5 : 40.0);
                if (c == 2) curve->KeyOffset(false, VTime(0), 1.0f);
                baseCurves.push_back(curve);
                allCurves.push_back(curve);
            }
            channels[c] = node;
        }
        VFCurveNode* rotation = channels[1];
        for (int id = 1; id <= 2; ++id) {
            rotation->CreateLayerAt(id);
            VFCurveNode* layer = rotation->GetLayer(id);
            for (int a = 0; a < 3; ++a) {
                VFCurve* curve = layer->Get(a)->FCurveGet();
                FillCurve(curve, id + a, 10.0);
                allCurves.push_back(curve);
            }
        }
    }
    ~Scene() {
        for (VFCurveNode* node : channels)
            delete node;
    }
};

Scene& GetScene() {
    static Scene scene;
    return scene;
}

void BM_TreeEvaluate(benchmark::State& state) {
    Scene& scene = GetScene();
    double values[9];
    for (auto _ : state) {
        int hints[3] = {0, 0, 0};
        double sum = 0.0;
        for (int i = 0; i < kSamples; ++i) {
            VTime t((int64_t)((double)kStep.Get() * kKeys * i / kSamples));
            for (int c = 0; c < 3; ++c)
                scene.channels[c]->Evaluate(values + 3 * c, t, &hints[c]);
            sum += values[0] + values[4] + values[8];
        }
        benchmark::DoNotOptimize(sum);
    }
}

template <bool kAll>
void BM_CurvesDirect(benchmark::State& state) {
    Scene& scene = GetScene();
    const std::vector<VFCurve*>& curves = kAll ? scene.allCurves : scene.baseCurves;
    std::vector<int> hints(curves.size(), 0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kSamples; ++i) {
            VTime t((int64_t)((double)kStep.Get() * kKeys * i / kSamples));
            for (size_t k = 0; k < curves.size(); ++k)
                sum += curves[k]->Evaluate(t, &hints[k]);
        }
        benchmark::DoNotOptimize(sum);
    }
}

void BM_NineCurvesDirect(benchmark::State& state) {
    BM_CurvesDirect<false>(state);
}
void BM_FifteenCurvesDirect(benchmark::State& state) {
    BM_CurvesDirect<true>(state);
}

BENCHMARK(BM_TreeEvaluate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NineCurvesDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FifteenCurvesDirect)->Unit(benchmark::kMillisecond);

// Prints the tree's time against the curves evaluated directly.
void PrintTreeShare(const oxa_bench::RatioReporter& reporter) {
    auto time = [&reporter](const char* name) {
        const double* t = reporter.Find(name, 0);
        return t ? *t : 0.0;
    };
    const double tree = time("BM_TreeEvaluate");
    const double base = time("BM_NineCurvesDirect");
    const double all = time("BM_FifteenCurvesDirect");
    if (tree > 0 && base > 0 && all > 0) {
        std::printf("tree / nine base curves: %.2f\n", tree / base);
        std::printf("tree / fifteen curves read (base and layers): %.2f\n", tree / all);
        std::printf("tree's own share of its time: %.0f%%\n", 100.0 * (tree - all) / tree);
    }
}

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    PrintTreeShare(reporter);
    return 0;
}
