// The scene graph at size: a tree of 10,000 and then of 100,000 nodes (fan-out 10) is built
// under a scene's root, every node is looked up by name through the manager, and the tree is
// destroyed with one recursive DestroyNode. Each phase is timed on its own and the program
// prints, per phase, both times and their ratio: a cost that grows like n gives a ratio near
// 10, a quadratic walk near 100. The same holds for a flat scene of 5,000 and of 50,000
// nodes made under the root and emptied with the scene's Clear. A second pair of runs times
// one name lookup among 1,000 and among 100,000 nodes, whose ratio stays near 1 for an indexed
// registry.
//
// The baseline is the same tree of plain structs with a hash map of names, so that the figures
// also read against the cheapest possible structure on the machine at hand.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <unordered_map>
#include <vector>

#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

constexpr int kFanOut = 10;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<std::string> NodeNames(int count) {
    std::vector<std::string> names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names.push_back("Node" + std::to_string(i));
    return names;
}

// Node i hangs under node (i - 1) / kFanOut; node 0 hangs under the scene's root.
std::vector<VOxaNode*> BuildTree(VOxaSdkManager& manager, VOxaScene& scene,
                                 const std::vector<std::string>& names) {
    std::vector<VOxaNode*> nodes;
    nodes.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        VOxaNode* node = manager.CreateNode(names[i].c_str());
        VOxaNode* parent = i == 0 ? scene.GetRootNode() : nodes[(i - 1) / kFanOut];
        parent->AddChild(node);
        nodes.push_back(node);
    }
    return nodes;
}

void AddPhaseCounters(benchmark::State& state, double build, double lookup, double destroy) {
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
    state.counters["lookup_ms"] = benchmark::Counter(lookup, benchmark::Counter::kAvgIterations);
    state.counters["destroy_ms"] = benchmark::Counter(destroy, benchmark::Counter::kAvgIterations);
}

// Build, look up every node, destroy recursively.
void BM_SceneTree(benchmark::State& state) {
    const int count = (int)state.range(0);
    std::vector<std::string> names = NodeNames(count);
    double build = 0, lookup = 0, destroy = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();

        Clock::time_point start = Clock::now();
        std::vector<VOxaNode*> nodes = BuildTree(manager, *scene, names);
        build += MillisecondsSince(start);

        start = Clock::now();
        int found = 0;
        for (int i = 0; i < count; ++i)
            found += manager.GetNode(names[i].c_str(), 0) == nodes[i];
        lookup += MillisecondsSince(start);
        if (found != count) state.SkipWithError("a lookup missed");

        int before = manager.GetNodeCount();
        start = Clock::now();
        manager.DestroyNode(nodes[0], true);
        destroy += MillisecondsSince(start);
        if (before - manager.GetNodeCount() != count) state.SkipWithError("the tree was not destroyed");
    }
    AddPhaseCounters(state, build, lookup, destroy);
}
BENCHMARK(BM_SceneTree)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);

// A flat scene, every node a child of the root (the shape the marker readers build), emptied with
// VOxaScene::Clear, which takes the root's children from the last one.
void BM_FlatSceneClear(benchmark::State& state) {
    const int count = (int)state.range(0);
    std::vector<std::string> names = NodeNames(count);
    double build = 0, destroy = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        const int empty = manager.GetNodeCount();
        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i)
            scene->GetRootNode()->AddChild(manager.CreateNode(names[i].c_str()));
        build += MillisecondsSince(start);

        start = Clock::now();
        scene->Clear();
        destroy += MillisecondsSince(start);
        if (scene->GetRootNode()->GetChildCount() != 0 || manager.GetNodeCount() != empty)
            state.SkipWithError("the scene was not emptied");
    }
    state.counters["build_ms"] = benchmark::Counter(build, benchmark::Counter::kAvgIterations);
    state.counters["clear_ms"] = benchmark::Counter(destroy, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_FlatSceneClear)->Arg(5000)->Arg(50000)->Iterations(2)->Unit(benchmark::kMillisecond);

// Baseline: plain nodes with child vectors and a name map.
struct PlainNode {
    std::string name;
    PlainNode* parent = nullptr;
    std::vector<PlainNode*> children;
};

void DestroyPlainTree(PlainNode* top, std::unordered_map<std::string, PlainNode*>& byName) {
    std::vector<PlainNode*> stack{top};
    while (!stack.empty()) {
        PlainNode* node = stack.back();
        stack.pop_back();
        for (PlainNode* child : node->children)
            stack.push_back(child);
        byName.erase(node->name);
        delete node;
    }
}

void BM_PlainTreeBaseline(benchmark::State& state) {
    const int count = (int)state.range(0);
    std::vector<std::string> names = NodeNames(count);
    double build = 0, lookup = 0, destroy = 0;
    for (auto _ : state) {
        std::unordered_map<std::string, PlainNode*> byName;
        PlainNode root;

        Clock::time_point start = Clock::now();
        std::vector<PlainNode*> nodes;
        nodes.reserve(count);
        for (int i = 0; i < count; ++i) {
            PlainNode* node = new PlainNode{"Model::" + names[i], nullptr, {}};
            node->parent = i == 0 ? &root : nodes[(i - 1) / kFanOut];
            node->parent->children.push_back(node);
            byName.emplace(node->name, node);
            nodes.push_back(node);
        }
        build += MillisecondsSince(start);

        start = Clock::now();
        int found = 0;
        for (int i = 0; i < count; ++i) {
            auto it = byName.find("Model::" + names[i]);
            found += it != byName.end() && it->second == nodes[i];
        }
        lookup += MillisecondsSince(start);
        if (found != count) state.SkipWithError("a lookup missed");

        start = Clock::now();
        root.children.clear();
        DestroyPlainTree(nodes[0], byName);
        destroy += MillisecondsSince(start);
    }
    AddPhaseCounters(state, build, lookup, destroy);
}
BENCHMARK(BM_PlainTreeBaseline)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);

// One lookup by name among `count` nodes, the names taken in turn.
void BM_NodeLookup(benchmark::State& state) {
    const int count = (int)state.range(0);
    std::vector<std::string> names = NodeNames(count);
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    BuildTree(manager, *scene, names);
    manager.GetNode(names[0].c_str(), 0);  // the name index is built here, outside the timing
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.GetNode(names[i].c_str(), 0));
        if (++i == count) i = 0;
    }
}
BENCHMARK(BM_NodeLookup)->Arg(1000)->Arg(100000);

void BM_PlainLookupBaseline(benchmark::State& state) {
    const int count = (int)state.range(0);
    std::vector<std::string> names = NodeNames(count);
    std::vector<PlainNode> nodes(count);
    std::unordered_map<std::string, PlainNode*> byName;
    for (int i = 0; i < count; ++i) {
        nodes[i].name = "Model::" + names[i];
        byName.emplace(nodes[i].name, &nodes[i]);
    }
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(byName.find("Model::" + names[i]));
        if (++i == count) i = 0;
    }
}
BENCHMARK(BM_PlainLookupBaseline)->Arg(1000)->Arg(100000);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter(" (ns per lookup)");
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure", 44);
    return 0;
}
