// ASF and AMC reading and writing on a generated skeleton of 30 bones and an AMC file of about
// 100 MB (70,000 frames), made at run time in a temporary folder and deleted at the end:
// - the full Reads (ASF, the AMC header scan and frames, curve filters) beside a plain from_chars
//   loop over the same numbers;
// - the peak memory the first read adds (ru_maxrss) beside the size of the curves it builds;
// - the full Writes of the read take (ASF and AMC), in GB/s.
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "bench/bench_support.h"
#include "formats/motion/amc/voxa_reader_acclaim_amc.h"
#include "formats/motion/amc/voxa_writer_acclaim_amc.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

constexpr int kFrames = 70000;

std::string gFolder;
std::string gAsfPath;
std::string gAmcPath;
double gFileBytes = 0.0;
double gPeakMb = -1.0;
double gCurvesMb = 0.0;

struct Bone {
    const char* name;
    const char* parent;
    const char* dofs;
};

// The bones of a common motion-capture skeleton (29 below the root).
const Bone kBones[] = {
    {"lhipjoint", "root", ""},
    {"lfemur", "lhipjoint", "rx ry rz"},
    {"ltibia", "lfemur", "rx"},
    {"lfoot", "ltibia", "rx rz"},
    {"ltoes", "lfoot", "rx"},
    {"rhipjoint", "root", ""},
    {"rfemur", "rhipjoint", "rx ry rz"},
    {"rtibia", "rfemur", "rx"},
    {"rfoot", "rtibia", "rx rz"},
    {"rtoes", "rfoot", "rx"},
    {"lowerback", "root", "rx ry rz"},
    {"upperback", "lowerback", "rx ry rz"},
    {"thorax", "upperback", "rx ry rz"},
    {"lowerneck", "thorax", "rx ry rz"},
    {"upperneck", "lowerneck", "rx ry rz"},
    {"head", "upperneck", "rx ry rz"},
    {"lclavicle", "thorax", "ry rz"},
    {"lhumerus", "lclavicle", "rx ry rz"},
    {"lradius", "lhumerus", "rx"},
    {"lwrist", "lradius", "ry"},
    {"lhand", "lwrist", "rx rz"},
    {"lfingers", "lhand", "rx"},
    {"lthumb", "lhand", "rx rz"},
    {"rclavicle", "thorax", "ry rz"},
    {"rhumerus", "rclavicle", "rx ry rz"},
    {"rradius", "rhumerus", "rx"},
    {"rwrist", "rradius", "ry"},
    {"rhand", "rwrist", "rx rz"},
    {"rfingers", "rhand", "rx"},
};
constexpr int kBoneCount = (int)(sizeof kBones / sizeof kBones[0]);

int DofCount(const char* dofs) {
    return *dofs ? (int)(std::strlen(dofs) + 1) / 3 : 0;
}

void Generate() {
    char folder[] = "/tmp/asf_amc_bench_XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    gFolder = folder;
    gAsfPath = gFolder + "/skeleton.asf";
    gAmcPath = gFolder + "/motion.amc";
    std::mt19937 random(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);

    std::string asf =
        ":version 1.10\n:name VICON\n:units\n  mass 1.0\n  length 0.45\n  angle deg\n:documentation\n"
        "  generated\n:root\n   order TX TY TZ RX RY RZ\n   axis XYZ\n   position 0 0 0\n   orientation 0 0 "
        "0\n"
        ":bonedata\n";
    char line[256];
    for (int b = 0; b < kBoneCount; ++b) {
        double d[3] = {unit(random), -1.0 + 0.3 * unit(random), 0.2 * unit(random)};
        const double n = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        std::snprintf(line, sizeof line,
                      "  begin\n     id %d\n     name %s\n     direction %f %f %f\n     length %f\n"
                      "     axis %f %f %f  XYZ\n",
                      b + 1, kBones[b].name, d[0] / n, d[1] / n, d[2] / n,
                      2.0 + 5.0 * std::fabs(unit(random)), 10 * unit(random), 10 * unit(random),
                      20 * unit(random));
        asf += line;
        if (*kBones[b].dofs) {
            asf += std::string("    dof ") + kBones[b].dofs + "\n    limits";
            for (int k = 0; k < DofCount(kBones[b].dofs); ++k)
                asf += k ? "           (-160.0 20.0)\n" : " (-160.0 20.0)\n";
        }
        asf += "  end\n";
    }
    asf += ":hierarchy\n  begin\n";
    for (const char* parent :
         {"root",    "lhipjoint", "lfemur",    "ltibia",    "lfoot",     "rhipjoint", "rfemur",    "rtibia",
          "rfoot",   "lowerback", "upperback", "thorax",    "lowerneck", "upperneck", "lclavicle", "lhumerus",
          "lradius", "lwrist",    "lhand",     "rclavicle", "rhumerus",  "rradius",   "rwrist",    "rhand"}) {
        std::string children;
        for (int b = 0; b < kBoneCount; ++b)
            if (std::strcmp(kBones[b].parent, parent) == 0) children += std::string(" ") + kBones[b].name;
        if (!children.empty()) asf += std::string("    ") + parent + children + "\n";
    }
    asf += "  end\n";
    FILE* out = std::fopen(gAsfPath.c_str(), "wb");
    std::fwrite(asf.data(), 1, asf.size(), out);
    std::fclose(out);

    out = std::fopen(gAmcPath.c_str(), "wb");
    std::fputs("#!OML:ASF\n:FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND 120\n", out);
    std::string frame;
    for (int f = 1; f <= kFrames; ++f) {
        frame.clear();
        const double a = 0.01 * f;
        std::snprintf(line, sizeof line, "%d\nroot %.6f %.6f %.6f %.6f %.6f %.6f\n", f, 9.37 * std::sin(a),
                      17.2 + std::cos(a), -20.5 * std::sin(0.3 * a), 5 * std::sin(a), 90 * std::sin(0.1 * a),
                      3 * std::cos(a));
        frame += line;
        for (int b = 0; b < kBoneCount; ++b) {
            const int n = DofCount(kBones[b].dofs);
            if (n == 0) continue;
            int used = std::snprintf(line, sizeof line, "%s", kBones[b].name);
            for (int k = 0; k < n; ++k)
                used += std::snprintf(line + used, sizeof line - (size_t)used, " %.6f",
                                      (10 + b) * std::sin(a * (1 + 0.1 * k) + b));
            frame += line;
            frame += '\n';
        }
        std::fwrite(frame.data(), 1, frame.size(), out);
    }
    std::fclose(out);
    FILE* in = std::fopen(gAmcPath.c_str(), "rb");
    std::fseek(in, 0, SEEK_END);
    gFileBytes = (double)std::ftell(in);
    std::fclose(in);
}

struct ReadScene {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VStreamOptionsMotion* asfOptions = nullptr;
    int frames = 0;
    ~ReadScene() {
        if (asfOptions) asfOptions->Destroy();
        delete manager;
    }
    bool Read() {
        VOxaReaderAcclaimAsf asfReader(manager);
        if (!asfReader.FileOpen(gAsfPath.c_str())) return false;
        asfOptions = static_cast<VStreamOptionsMotion*>(asfReader.GetReadOptions());
        if (!asfOptions || !asfReader.Read(scene, asfOptions)) return false;
        VOxaReaderAcclaimAmc reader(manager);
        if (!reader.FileOpen(gAmcPath.c_str())) return false;
        auto* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
        if (!options) return false;
        options->SetAttachedObject(asfOptions->GetAttachedObject(), false);
        const bool ok = reader.Read(scene, options);
        frames = options->GetFrameCount();
        options->Destroy();
        return ok;
    }
};

void BM_Read(benchmark::State& state) {
    for (auto _ : state) {
        const oxa_bench::MemoryProbe probe;
        ReadScene read;
        if (!read.Read() || read.frames != kFrames) state.SkipWithError("read failed");
        if (gPeakMb < 0.0) probe.Take(gPeakMb, gCurvesMb);
    }
    state.counters["MB/s"] =
        benchmark::Counter(gFileBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// Every number of the AMC file through std::from_chars, read in blocks as the reader does.
void BM_FromChars(benchmark::State& state) {
    oxa_bench::RunFromChars(state, gAmcPath, gFileBytes, true);
}

void BM_Write(benchmark::State& state) {
    ReadScene read;
    if (!read.Read()) {
        state.SkipWithError("read failed");
        return;
    }
    VOxaNode* reference = read.scene->GetRootNode()->GetChild(0);
    reference->GetChild(0)->SetMarked(1);
    const std::string asfOut = gFolder + "/out.asf";
    const std::string amcOut = gFolder + "/out.amc";
    double bytes = 0.0;
    for (auto _ : state) {
        VOxaWriterAcclaimAsf asfWriter(read.manager);
        asfWriter.FileCreate(asfOut.c_str());
        auto* options = static_cast<VStreamOptionsMotion*>(asfWriter.GetWriteOptions());
        bool ok = asfWriter.Write(read.scene, options) && asfWriter.FileClose();
        VOxaWriterAcclaimAmc writer(read.manager);
        writer.FileCreate(amcOut.c_str());
        options->SetFrameCount(kFrames);
        options->SetTimeMode(0, 120.0);
        ok = ok && writer.Write(read.scene, options) && writer.FileClose();
        if (!ok) state.SkipWithError("write failed");
        options->Destroy();
        FILE* in = std::fopen(amcOut.c_str(), "rb");
        std::fseek(in, 0, SEEK_END);
        bytes = (double)std::ftell(in);
        std::fclose(in);
    }
    state.counters["GB/s"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsIterationInvariantRate);
    std::remove(asfOut.c_str());
    std::remove(amcOut.c_str());
}

BENCHMARK(BM_Read)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_FromChars)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    Generate();
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    std::printf("\nAMC file: %.1f MB, %d bones x %d frames\n", gFileBytes / 1e6, kBoneCount + 1, kFrames);
    oxa_bench::PrintReadBaseline(reporter);
    oxa_bench::PrintFirstReadMemory(gPeakMb, gCurvesMb);
    if (const double* write = reporter.Find("BM_Write GB/s", 0))
        std::printf("full write (ASF and AMC): %.3f GB/s (target >= 0.3)\n", *write);
    std::remove(gAsfPath.c_str());
    std::remove(gAmcPath.c_str());
    rmdir(gFolder.c_str());
    return 0;
}
