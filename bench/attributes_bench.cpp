// Node attributes with channels, at size: 10,000 and then 100,000 nodes, each with four takes
// ("Default" and three more), get an attribute each; the attach, the detach and, for markers,
// a round of kind switches while attached (standard, optical, IK effector, FK effector, back to
// standard: every switch takes the old kind's channels out of each take and puts the new
// kind's in) are timed on their own. Each run makes its nodes and attributes untimed, then
// returns the heap's free pages to the system, so that every run's channels land on fresh
// memory whatever ran before.
//
// Lights add four channels (six curves) per take and cameras eight channels (ten curves); the
// baseline is the same nodes with nulls, which have no channels, so the difference is what the
// channels cost. The program prints, per size, each phase in nanoseconds per node take and its
// excess over the nulls, then the ratio of every measure between the two sizes: a cost that
// grows like n gives a ratio near 10, a quadratic walk near 100. Each phase is measured as
// wall-clock time and as user-mode processor time (_user_ms), which leaves out the kernel's
// clearing of fresh pages: at 100,000 nodes that share follows the machine's memory pressure.
// The 100,000-node runs hold several gigabytes (about 13 GB with cameras). Nothing is asserted.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_null.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

constexpr int kTakes = 4;

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<VOxaNode*> MakeNodes(VOxaSdkManager& manager, int count) {
    std::vector<VOxaNode*> nodes;
    nodes.reserve(count);
    for (int i = 0; i < count; ++i) {
        VOxaNode* node = manager.CreateNode(("Node" + std::to_string(i)).c_str());
        node->AddTakeNode("Walk");
        node->AddTakeNode("Run");
        node->AddTakeNode("Jump");
        nodes.push_back(node);
    }
    return nodes;
}

// Hands the free memory of the heap back to the system, so that every run starts from the
// same state: without it a run that follows a larger one finds its memory already mapped and
// skips the page clearing that the others pay.
void ReleaseFreeMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

enum EKind { eNulls, eLights, eCameras, eMarkers };

VOxaNodeAttribute* MakeAttribute(VOxaSdkManager& manager, EKind kind) {
    switch (kind) {
        case eLights:
            return manager.CreateLight();
        case eCameras:
            return manager.CreateCamera();
        case eMarkers:
            return manager.CreateMarker();
        default:
            return manager.CreateNull();
    }
}

// Wall-clock and user-mode processor time. The user time leaves out the kernel's work, mostly
// clearing the pages that fresh allocations touch first, whose cost at this size depends on the
// machine's memory pressure more than on the code.
struct Stamp {
    Clock::time_point mWall = Clock::now();
    double mUser = UserMilliseconds();

    static double UserMilliseconds() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec * 1e-3;
    }
};

// Adds the time since `start` to one phase's wall and user totals.
void AddSince(const Stamp& start, double* totals) {
    totals[0] += MillisecondsSince(start.mWall);
    totals[1] += Stamp::UserMilliseconds() - start.mUser;
}

// Attaches an attribute of `kind` to every node, switches marker kinds (markers only), detaches
// every attribute. The nodes and the attributes are made outside the timing.
void RunAttributes(benchmark::State& state, EKind kind) {
    const int count = (int)state.range(0);
    double attach[2] = {0, 0}, change[2] = {0, 0}, detach[2] = {0, 0};
    for (auto _ : state) {
        VOxaSdkManager manager;
        std::vector<VOxaNode*> nodes = MakeNodes(manager, count);
        std::vector<VOxaNodeAttribute*> attributes;
        attributes.reserve(count);
        for (int i = 0; i < count; ++i)
            attributes.push_back(MakeAttribute(manager, kind));
        ReleaseFreeMemory();

        Stamp start;
        for (int i = 0; i < count; ++i)
            nodes[i]->SetNodeAttribute(attributes[i]);
        AddSince(start, attach);

        if (kind == eMarkers) {
            start = Stamp();
            for (int type : {VOxaMarker::eOPTICAL, VOxaMarker::eIK_EFFECTOR, VOxaMarker::eFK_EFFECTOR,
                             VOxaMarker::eSTANDARD}) {
                for (int i = 0; i < count; ++i)
                    static_cast<VOxaMarker*>(attributes[i])->SetType(type);
            }
            AddSince(start, change);
        }

        start = Stamp();
        for (int i = 0; i < count; ++i)
            nodes[i]->SetNodeAttribute(nullptr);
        AddSince(start, detach);
        if (nodes[count - 1]->GetNodeAttribute()) state.SkipWithError("an attribute stayed attached");
    }
    auto average = [](double value) { return benchmark::Counter(value, benchmark::Counter::kAvgIterations); };
    state.counters["attach_ms"] = average(attach[0]);
    state.counters["attach_user_ms"] = average(attach[1]);
    state.counters["detach_ms"] = average(detach[0]);
    state.counters["detach_user_ms"] = average(detach[1]);
    if (kind == eMarkers) {
        state.counters["switch_ms"] = average(change[0]);
        state.counters["switch_user_ms"] = average(change[1]);
    }
}

void BM_Nulls(benchmark::State& state) {
    RunAttributes(state, eNulls);
}
void BM_Lights(benchmark::State& state) {
    RunAttributes(state, eLights);
}
void BM_Cameras(benchmark::State& state) {
    RunAttributes(state, eCameras);
}
void BM_Markers(benchmark::State& state) {
    RunAttributes(state, eMarkers);
}
BENCHMARK(BM_Nulls)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lights)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Cameras)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Markers)->Arg(10000)->Arg(100000)->Iterations(2)->Unit(benchmark::kMillisecond);

// One line per size: `kind`'s `phase` in ns per node take (divided by `rounds`) and, when a
// baseline is named, its excess over the baseline's.
void PrintPerTake(const oxa_bench::Measures& values, const char* kind, const char* phase,
                  const std::string& baseline, int rounds) {
    auto measured = values.find(std::string(kind) + " " + phase);
    if (measured == values.end()) return;
    auto base = baseline.empty() ? values.end() : values.find(baseline);
    for (const auto& sized : measured->second) {
        double takes = (double)sized.first * kTakes * rounds;
        double ns = sized.second * 1e6 / takes;
        std::string label = std::string(kind + 3) + " " + std::string(phase, std::string(phase).size() - 3);
        if (base != values.end() && base->second.count(sized.first)) {
            double baseNs = base->second.at(sized.first) * 1e6 / takes;
            std::printf("%-30s %8d %14.1f %16.1f\n", label.c_str(), sized.first, ns, ns - baseNs);
        } else {
            std::printf("%-30s %8d %14.1f %16s\n", label.c_str(), sized.first, ns, "-");
        }
    }
}

// Prints the cost per node take against the nulls.
void PrintPerTakeTable(const oxa_bench::Measures& values) {
    std::printf("\n%-30s %8s %14s %16s\n", "phase (per node take)", "nodes", "ns", "ns over nulls");
    for (const char* phase : {"attach_ms", "attach_user_ms", "detach_ms", "detach_user_ms"}) {
        for (const char* kind : {"BM_Lights", "BM_Cameras", "BM_Markers"})
            PrintPerTake(values, kind, phase, std::string("BM_Nulls ") + phase, 1);
    }
    // Four switches, each removing and adding channels in every take.
    PrintPerTake(values, "BM_Markers", "switch_ms", "", 4);
    PrintPerTake(values, "BM_Markers", "switch_user_ms", "", 4);
}

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    PrintPerTakeTable(reporter.measures());
    reporter.PrintRatios("measure (ms)", 34);
    return 0;
}
