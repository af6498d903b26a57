// Foundation containers against the standard library: each pair runs the same work, so the
// figures read as ratios.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "base/varray.h"
#include "base/vstring.h"
#include "base/vstring_pair_list.h"

namespace {

void BM_ArrayAppend(benchmark::State& state) {
    for (auto _ : state) {
        VArrayTemplate<double> a(16);
        for (int i = 0; i < state.range(0); ++i)
            a.Add(i * 0.5);
        benchmark::DoNotOptimize(a.GetArray());
    }
}
BENCHMARK(BM_ArrayAppend)->Arg(1 << 16);

void BM_VectorAppend(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<double> a;
        for (int i = 0; i < state.range(0); ++i)
            a.push_back(i * 0.5);
        benchmark::DoNotOptimize(a.data());
    }
}
BENCHMARK(BM_VectorAppend)->Arg(1 << 16);

std::vector<std::string> Names(int n) {
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back("Layer" + std::to_string((i * 7919) % n));
    return names;
}

// The readers' pattern: look a name up, add it when missing.
void BM_PairListFindOrAdd(benchmark::State& state) {
    std::vector<std::string> names = Names((int)state.range(0));
    for (auto _ : state) {
        VStringPairList list(20);
        for (size_t i = 0; i < names.size(); ++i) {
            if (!list.Find(names[i].c_str())) list.Add(names[i].c_str(), (intptr_t)i + 1);
        }
        benchmark::DoNotOptimize(list.GetCount());
    }
}
BENCHMARK(BM_PairListFindOrAdd)->Arg(4096);

void BM_MapFindOrAdd(benchmark::State& state) {
    std::vector<std::string> names = Names((int)state.range(0));
    for (auto _ : state) {
        std::map<std::string, intptr_t> map;
        for (size_t i = 0; i < names.size(); ++i)
            map.emplace(names[i], (intptr_t)i + 1);
        benchmark::DoNotOptimize(map.size());
    }
}
BENCHMARK(BM_MapFindOrAdd)->Arg(4096);

void BM_StringFind(benchmark::State& state) {
    std::string text(4000, 'a');
    text += "needle";
    VString s(text.c_str());
    for (auto _ : state)
        benchmark::DoNotOptimize(s.Find("needle"));
}
BENCHMARK(BM_StringFind);

void BM_StdStringFind(benchmark::State& state) {
    std::string text(4000, 'a');
    text += "needle";
    for (auto _ : state)
        benchmark::DoNotOptimize(text.find("needle"));
}
BENCHMARK(BM_StdStringFind);

}  // namespace

BENCHMARK_MAIN();
