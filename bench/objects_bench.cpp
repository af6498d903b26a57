// Property lookup by name and connection churn on one plug, each beside a plain baseline so
// that the figures read as ratios.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "objects/vobject.h"
#include "objects/vproperty.h"

namespace {

constexpr int kPropertyCount = 500;
constexpr int kPlugCount = 100000;

std::vector<std::string> PropertyNames() {
    std::vector<std::string> names;
    for (int i = 0; i < kPropertyCount; ++i)
        names.push_back("Property Name " + std::to_string(i));
    return names;
}

// FindProperty on a 500-property object, every name in turn.
void BM_FindProperty500(benchmark::State& state) {
    std::vector<std::string> names = PropertyNames();
    VObject object;
    for (const std::string& n : names)
        object.CreateDynamicProperty(n.c_str(), eValueNumber, nullptr);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(object.FindProperty(names[i].c_str()));
        if (++i == names.size()) i = 0;
    }
}
BENCHMARK(BM_FindProperty500);

// Baseline: a linear walk comparing names, as a list without index would do.
void BM_FindPropertyLinearBaseline500(benchmark::State& state) {
    std::vector<std::string> names = PropertyNames();
    VObject object;
    std::vector<VProperty*> list;
    for (const std::string& n : names)
        list.push_back(object.CreateDynamicProperty(n.c_str(), eValueNumber, nullptr));
    size_t i = 0;
    for (auto _ : state) {
        const char* wanted = names[i].c_str();
        VProperty* found = nullptr;
        for (VProperty* p : list) {
            if (std::strcmp(p->GetName(), wanted) == 0) {
                found = p;
                break;
            }
        }
        benchmark::DoNotOptimize(found);
        if (++i == names.size()) i = 0;
    }
}
BENCHMARK(BM_FindPropertyLinearBaseline500);

// 100,000 plugs connected as sources of one plug, then disconnected in connection order.
void BM_ConnectDisconnect100k(benchmark::State& state) {
    std::vector<VPlug> plugs(kPlugCount);
    VPlug hub;
    for (auto _ : state) {
        for (VPlug& p : plugs)
            hub.ConnectSrc(&p);
        for (VPlug& p : plugs)
            hub.DisconnectSrc(&p);
    }
    state.SetItemsProcessed(state.iterations() * kPlugCount);
}
BENCHMARK(BM_ConnectDisconnect100k)->Unit(benchmark::kMillisecond);

// The same, disconnecting from the middle outwards in a scattered order.
void BM_ConnectDisconnectScattered100k(benchmark::State& state) {
    std::vector<VPlug> plugs(kPlugCount);
    VPlug hub;
    for (auto _ : state) {
        for (VPlug& p : plugs)
            hub.ConnectSrc(&p);
        for (int i = 0; i < kPlugCount; ++i)
            hub.DisconnectSrc(&plugs[(size_t)i * 7919 % kPlugCount]);
    }
    state.SetItemsProcessed(state.iterations() * kPlugCount);
}
BENCHMARK(BM_ConnectDisconnectScattered100k)->Unit(benchmark::kMillisecond);

// Baseline: appending and erasing the same pointers in a plain vector from the back.
void BM_VectorPushPopBaseline100k(benchmark::State& state) {
    std::vector<VPlug*> plugs(kPlugCount, nullptr);
    std::vector<VPlug*> list;
    for (auto _ : state) {
        for (VPlug* p : plugs)
            list.push_back(p);
        while (!list.empty())
            list.pop_back();
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * kPlugCount);
}
BENCHMARK(BM_VectorPushPopBaseline100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
