// Helpers shared by the file-format benchmark programs: process memory figures, a from_chars
// baseline loop over a text file's numbers, a reporter that also keeps CPU times, and the
// comparison lines the programs print after their runs.
#ifndef OXA_BENCH_BENCH_SUPPORT_H
#define OXA_BENCH_BENCH_SUPPORT_H

#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "bench_ratio.h"

namespace oxa_bench {

// The process's peak resident size so far, in KB.
inline long MaxRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The process's resident size now, in KB (0 when /proc is not readable).
inline long CurrentRssKb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A new folder "<$TMPDIR or /tmp>/<stem>XXXXXX" made with mkdtemp; "/tmp" when that fails.
inline std::string MakeTempFolder(const char* stem) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    return mkdtemp(buffer.data()) ? buffer.data() : "/tmp";
}

// The value of the "<key>" line of /proc/self/status (KB for the memory lines), 0 when absent.
inline long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(key), key) == 0) return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

// The memory a first read adds: made before the read, Take() after it gives the growth of the
// peak resident size and of the curve keys, in MB.
class MemoryProbe {
public:
    MemoryProbe() : mRssKb(MaxRssKb()), mKeyBytes(VFCurve::GetKeyMemoryTotal()) {}

    void Take(double& peakMb, double& curvesMb) const {
        peakMb = (double)(MaxRssKb() - mRssKb) / 1024.0;
        curvesMb = (double)(VFCurve::GetKeyMemoryTotal() - mKeyBytes) / (1024.0 * 1024.0);
    }

private:
    long mRssKb;
    int64_t mKeyBytes;
};

// The baseline a text reader is measured against: every number of the file at `path` through
// std::from_chars, read in blocks of whole lines as the readers do. A token that is not a number
// is skipped up to the end of its line, or with `wordByWord` up to the next space. Returns the sum.
inline double SumNumbersFromChars(const std::string& path, std::vector<char>& block, bool wordByWord) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return 0.0;
    double sum = 0.0;
    size_t carry = 0;
    for (;;) {
        const size_t got = std::fread(block.data() + carry, 1, block.size() - carry, in);
        const size_t length = carry + got;
        if (length == 0) break;
        // Up to the last complete line.
        size_t end = length;
        while (end > 0 && block[end - 1] != '\n')
            --end;
        if (end == 0) end = length;
        const char* p = block.data();
        const char* stop = block.data() + end;
        while (p < stop) {
            while (p < stop && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
                ++p;
            double value = 0.0;
            auto result = std::from_chars(p, stop, value);
            if (result.ec == std::errc()) {
                sum += value;
                p = result.ptr;
            } else {
                while (p < stop && *p != '\n' && !(wordByWord && *p == ' '))
                    ++p;
            }
        }
        carry = length - end;
        std::memmove(block.data(), block.data() + end, carry);
        if (got == 0) break;
    }
    std::fclose(in);
    return sum;
}

// The body of a BM_FromChars benchmark over `path` (`fileBytes` long), reported in MB/s.
inline void RunFromChars(benchmark::State& state, const std::string& path, double fileBytes,
                         bool wordByWord = false) {
    std::vector<char> block(1 << 16);
    for (auto _ : state)
        benchmark::DoNotOptimize(SumNumbersFromChars(path, block, wordByWord));
    state.counters["MB/s"] =
        benchmark::Counter(fileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Prints the read's time over the from_chars loop's, from the "BM_Read MB/s" and
// "BM_FromChars MB/s" measures, when both runs happened.
inline void PrintReadBaseline(const RatioReporter& reporter) {
    const double* read = reporter.Find("BM_Read MB/s", 0);
    const double* loop = reporter.Find("BM_FromChars MB/s", 0);
    if (read && loop && *read > 0.0)
        std::printf("read time / from_chars loop time: %.2f (target <= 3)\n", *loop / *read);
}

// Prints the memory the first read added (see MemoryProbe), when it was measured (peakMb >= 0).
inline void PrintFirstReadMemory(double peakMb, double curvesMb) {
    if (peakMb >= 0.0)
        std::printf(
            "peak memory added by the first read: %.1f MB; curves: %.1f MB; ratio %.2f (target <= 1.5)\n",
            peakMb, curvesMb, curvesMb > 0.0 ? peakMb / curvesMb : 0.0);
}

// The ratio reporter that also keeps each run's median CPU time: on a shared machine the wall
// times swing with the load, the CPU times much less.
class CpuRatioReporter : public RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        RatioReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.aggregate_name.empty() || run.aggregate_name == "median")
                mCpu[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
    const double* Cpu(const std::string& name) const {
        auto it = mCpu.find(name);
        return it == mCpu.end() ? nullptr : &it->second;
    }

    // Prints "<label> <who> / ours = r" for the wall times of runs `theirs` and `ours`, then the
    // same for their CPU times, each when both runs happened.
    void PrintComparison(const char* label, const char* who, const std::string& theirs,
                         const std::string& ours) const {
        const double* theirTime = Find(theirs, 0);
        const double* ourTime = Find(ours, 0);
        if (ourTime && theirTime) std::printf("%s %s / ours = %.2f\n", label, who, *theirTime / *ourTime);
        if (Cpu(theirs) && Cpu(ours))
            std::printf("%s %s / ours (CPU time) = %.2f\n", label, who, *Cpu(theirs) / *Cpu(ours));
    }

private:
    std::map<std::string, double> mCpu;
};

}  // namespace oxa_bench

#endif  // OXA_BENCH_BENCH_SUPPORT_H
