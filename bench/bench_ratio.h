// The reporter shared by the benchmark programs that compare runs between sizes: it prints the
// usual console table, keeps every run's figures by measure and by the run's size argument, and
// prints each measure at its two sizes with the ratio between them. The programs print their own
// comparisons (against a baseline, between shapes) from the same figures after the runs.
#ifndef OXA_BENCH_BENCH_RATIO_H
#define OXA_BENCH_BENCH_RATIO_H

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace oxa_bench {

// Figures by measure, then by the run's first argument (0 for a run without arguments).
using Measures = std::map<std::string, std::map<int, double>>;

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // A run with counters gives one measure per counter, named "<benchmark> <counter>"; a run
    // without counters gives its time per iteration, named "<benchmark><timeSuffix>".
    explicit RatioReporter(std::string timeSuffix = "") : mTimeSuffix(std::move(timeSuffix)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // Plain runs, or the median when repetitions are asked for.
            if (!run.aggregate_name.empty() && run.aggregate_name != "median") continue;
            const std::string& base = run.run_name.function_name;
            const int size = std::atoi(run.run_name.args.c_str());
            if (run.counters.empty()) mMeasures[base + mTimeSuffix][size] = run.GetAdjustedRealTime();
            for (const auto& counter : run.counters)
                mMeasures[base + " " + counter.first][size] = counter.second.value;
        }
    }

    const Measures& measures() const { return mMeasures; }

    // The figure of `measure` at `size`, or null when that run did not happen.
    const double* Find(const std::string& measure, int size) const {
        auto sized = mMeasures.find(measure);
        if (sized == mMeasures.end()) return nullptr;
        auto value = sized->second.find(size);
        return value == sized->second.end() ? nullptr : &value->second;
    }

    // Prints every measure taken at exactly two sizes: both figures and the larger size's over
    // the smaller's. `heading` names the first column, `width` characters wide.
    void PrintRatios(const char* heading, int width) const {
        std::printf("\n%-*s %12s %12s %8s\n", width, heading, "smaller", "larger", "ratio");
        for (const auto& entry : mMeasures) {
            if (entry.second.size() != 2) continue;
            double small = entry.second.begin()->second;
            double large = entry.second.rbegin()->second;
            std::printf("%-*s %12.3f %12.3f %8.2f   (%d -> %d)\n", width, entry.first.c_str(), small, large,
                        small > 0.0 ? large / small : 0.0, entry.second.begin()->first,
                        entry.second.rbegin()->first);
        }
    }

private:
    std::string mTimeSuffix;
    Measures mMeasures;
};

// Runs the benchmarks chosen on the command line, printing through `reporter`; the caller then
// prints its summary from the reporter's figures.
inline void RunBenchmarks(int argc, char** argv, RatioReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}

}  // namespace oxa_bench

#endif  // OXA_BENCH_BENCH_RATIO_H
