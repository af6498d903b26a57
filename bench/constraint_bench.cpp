// Constraints at size. Each pair of runs takes one measure at two sizes, and the program prints
// both figures and their ratio: a cost that grows like n gives a ratio near the size ratio, a
// walk over every earlier item per step a ratio near its square.
//
// - A scene of 1,000 and of 10,000 constraints of the six types, three takes each, every one
//   with three weighted sources (position, rotation, scale, parent: sources; single-chain IK:
//   pole objects; aim: aim-at objects), built, then destroyed through the manager.
// - 1,000 and 10,000 AddSource calls on one position constraint, and 300 and 3,000 on one
//   parent constraint (three channels per addition: the larger size would run for minutes while
//   an addition still costs in proportion to the channels present).
// - GetConstraint(index) over every constraint of a scene of 1,000 and of 10,000.
// - The per-source getters GetSourceWeight (position), GetTranslationOffset (parent) and
//   GetAimAtObjectWeight (aim) over every source of a constraint with 1,000 sources, against a
//   baseline of std::unordered_map<std::string, double> queried by the same names.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "character/voxa_constraint.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<VOxaNode*> MakeNodes(VOxaSdkManager& manager, int count, const char* stem) {
    std::vector<VOxaNode*> nodes;
    nodes.reserve(count);
    for (int i = 0; i < count; ++i)
        nodes.push_back(manager.CreateNode((stem + std::to_string(i)).c_str()));
    return nodes;
}

// Adds `object` with `weight` through the weighted addition of the constraint's type.
void AddWeighted(VOxaConstraint* c, VOxaObject* object, double weight) {
    switch (c->GetConstraintType()) {
        case VOxaConstraint::ePosition:
            static_cast<VOxaConstraintPosition*>(c)->AddSource(object, weight);
            break;
        case VOxaConstraint::eRotation:
            static_cast<VOxaConstraintRotation*>(c)->AddSource(object, weight);
            break;
        case VOxaConstraint::eScale:
            static_cast<VOxaConstraintScale*>(c)->AddSource(object, weight);
            break;
        case VOxaConstraint::eParent:
            static_cast<VOxaConstraintParent*>(c)->AddSource(object, weight);
            break;
        case VOxaConstraint::eSingleChainIK:
            static_cast<VOxaConstraintSingleChainIK*>(c)->AddPoleVectorObject(object, weight);
            break;
        case VOxaConstraint::eAim:
            static_cast<VOxaConstraintAim*>(c)->AddAimAtObject(object, weight);
            break;
        default:
            break;
    }
}

// Builds `count` constraints of the six types in turn into `scene`, three takes and three
// weighted sources each (distinct source nodes, made beforehand).
std::vector<VOxaConstraint*> BuildConstraints(VOxaSdkManager& manager, VOxaScene& scene,
                                              const std::vector<VOxaNode*>& sources, int count) {
    std::vector<VOxaConstraint*> constraints;
    constraints.reserve(count);
    for (int i = 0; i < count; ++i) {
        VOxaConstraint* c = manager.CreateConstraint(("C" + std::to_string(i)).c_str(), 1 + i % 6);
        if (!c) break;
        c->AddTakeNode("Walk");
        c->AddTakeNode("Run");
        for (int s = 0; s < 3; ++s)
            AddWeighted(c, sources[3 * i + s], 10.0 * (s + 1));
        scene.AddConstraint(c);
        constraints.push_back(c);
    }
    return constraints;
}

void BM_ConstraintScene(benchmark::State& state) {
    const int count = (int)state.range(0);
    double build = 0, destroy = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        std::vector<VOxaNode*> sources = MakeNodes(manager, 3 * count, "Source");

        Clock::time_point start = Clock::now();
        std::vector<VOxaConstraint*> constraints = BuildConstraints(manager, *scene, sources, count);
        build += MillisecondsSince(start);
        if ((int)constraints.size() != count || scene->GetConstraintCount() != count)
            state.SkipWithError("the scene does not hold every constraint");

        start = Clock::now();
        int destroyed = 0;
        for (VOxaConstraint* c : constraints)
            destroyed += manager.DestroyObject(c);
        destroy += MillisecondsSince(start);
        if (destroyed != count) state.SkipWithError("a constraint was not destroyed");
    }
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
    state.counters["destroy_ms"] = benchmark::Counter(destroy, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ConstraintScene)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// `count` additions to one constraint of `type`.
void AddManySources(benchmark::State& state, int type) {
    const int count = (int)state.range(0);
    double add = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        std::vector<VOxaNode*> sources = MakeNodes(manager, count, "Source");
        VOxaConstraint* c = manager.CreateConstraint("Many", type);
        c->AddTakeNode("Walk");
        c->AddTakeNode("Run");
        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i)
            AddWeighted(c, sources[i], 1.0 + i);
        add += MillisecondsSince(start);
        manager.DestroyObject(c);
    }
    state.counters["add_ms"] = benchmark::Counter(add, benchmark::Counter::kAvgIterations);
}

void BM_AddSourcePosition(benchmark::State& state) {
    AddManySources(state, VOxaConstraint::ePosition);
}
BENCHMARK(BM_AddSourcePosition)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_AddSourceParent(benchmark::State& state) {
    AddManySources(state, VOxaConstraint::eParent);
}
BENCHMARK(BM_AddSourceParent)->Arg(300)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond);

// GetConstraint(index) over every constraint of the scene.
void BM_GetConstraintByIndex(benchmark::State& state) {
    const int count = (int)state.range(0);
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    for (int i = 0; i < count; ++i) {
        VOxaConstraint* c = manager.CreateConstraint(("C" + std::to_string(i)).c_str(), 1 + i % 6);
        if (c) scene->AddConstraint(c);
    }
    scene->GetConstraint(0);  // any index the scene builds on demand is built here
    double walk = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        int found = 0;
        for (int i = 0; i < count; ++i)
            found += scene->GetConstraint(i) != nullptr;
        walk += MillisecondsSince(start);
        if (found != count) state.SkipWithError("a constraint is missing");
    }
    state.counters["walk_ms"] = benchmark::Counter(walk, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_GetConstraintByIndex)->Arg(1000)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

// ---- Per-source getters against a hash map ----------------------------------------------------

constexpr int kLookupSources = 1000;

// One getter call per source, the sources taken in turn; ns per call.
template <typename Constraint, typename Getter>
void LookupEverySource(benchmark::State& state, int type, Getter getter) {
    VOxaSdkManager manager;
    std::vector<VOxaNode*> sources = MakeNodes(manager, kLookupSources, "Source");
    auto* c = static_cast<Constraint*>(manager.CreateConstraint("Lookup", type));
    for (int i = 0; i < kLookupSources; ++i)
        AddWeighted(c, sources[i], 1.0 + i);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(getter(c, sources[i]));
        if (++i == kLookupSources) i = 0;
    }
}

void BM_GetSourceWeight(benchmark::State& state) {
    LookupEverySource<VOxaConstraintPosition>(
        state, VOxaConstraint::ePosition,
        [](VOxaConstraintPosition* c, VOxaNode* n) { return c->GetSourceWeight(n); });
}
BENCHMARK(BM_GetSourceWeight);

void BM_GetTranslationOffset(benchmark::State& state) {
    LookupEverySource<VOxaConstraintParent>(
        state, VOxaConstraint::eParent,
        [](VOxaConstraintParent* c, VOxaNode* n) { return c->GetTranslationOffset(n)[0]; });
}
BENCHMARK(BM_GetTranslationOffset);

void BM_GetAimAtObjectWeight(benchmark::State& state) {
    LookupEverySource<VOxaConstraintAim>(state, VOxaConstraint::eAim, [](VOxaConstraintAim* c, VOxaNode* n) {
        return c->GetAimAtObjectWeight(n);
    });
}
BENCHMARK(BM_GetAimAtObjectWeight);

// Baseline: the same names ("<source name without prefix>.Weight"), composed per query from the
// node's name as the getters must, looked up in a hash map.
void BM_HashMapBaseline(benchmark::State& state) {
    VOxaSdkManager manager;
    std::vector<VOxaNode*> sources = MakeNodes(manager, kLookupSources, "Source");
    std::unordered_map<std::string, double> weights;
    for (int i = 0; i < kLookupSources; ++i)
        weights.emplace(std::string(sources[i]->GetNameWithoutPrefix()) + ".Weight", 1.0 + i);
    int i = 0;
    for (auto _ : state) {
        auto it = weights.find(std::string(sources[i]->GetNameWithoutPrefix()) + ".Weight");
        benchmark::DoNotOptimize(it == weights.end() ? 100.0 : it->second);
        if (++i == kLookupSources) i = 0;
    }
}
BENCHMARK(BM_HashMapBaseline);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter(" (ns per call)");
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure", 44);

    const double* base = reporter.Find("BM_HashMapBaseline (ns per call)", 0);
    if (base && *base > 0.0) {
        std::printf("\n%-44s %12s %8s\n", "getter against the hash-map baseline", "ns per call", "ratio");
        for (const char* name :
             {"BM_GetSourceWeight", "BM_GetTranslationOffset", "BM_GetAimAtObjectWeight"}) {
            const double* figure = reporter.Find(std::string(name) + " (ns per call)", 0);
            if (figure) std::printf("%-44s %12.1f %8.2f\n", name, *figure, *figure / *base);
        }
        std::printf("%-44s %12.1f %8.2f\n", "BM_HashMapBaseline", *base, 1.0);
    }
    return 0;
}
