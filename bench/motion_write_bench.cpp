// Every motion writer beside its own reader: a generated take of 60 markers or joints x 20,000
// frames is written with each writer (C3D, TRC, AOA, MCD, BRD, MOV, VPM from a marker scene; BVH,
// HTR and ASF + AMC from a skeleton), then read back with the reader of the same format. The
// program prints, per format, the write and the read (the fastest CPU time of the runs: on a shared
// machine other work only ever adds to a run's time) and the write
// over the read; then the text writers' number formatting over std::to_chars alone.
//
// The skeleton writers run twice: from the skeleton built in code, and from that skeleton read
// back from a BVH file (rows "bvh>FORMAT"), as a conversion hands it to them.
//
// Usage: bench_motion_write [runs] [--keep <folder>] [--frames <n>] [--only <format>]. With --keep the files
// of the last run stay in that folder (to compare a writer's output between two builds byte for byte);
// without it they go with the temporary folder. --frames changes the take's length, --only runs
// one format's pair.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_skeleton.h"
#include "bench/bench_support.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_motion_export.h"
#include "formats/motion/vtext_file.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr int kNodes = 60;
int gFrames = 20000;
constexpr double kRate = 120.0;
const char* const kTake = "Take001";

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return (double)now.tv_sec + 1e-9 * (double)now.tv_nsec;
}

VTime FrameTime(int frame) {
    return VTime((int64_t)((double)VTime::kOneSecond * frame / kRate));
}

// Smooth motion with a little noise, so that no key reducer removes much.
float Wave(int node, int channel, int frame) {
    const double a = 0.013 * frame + 0.7 * node + 1.3 * channel;
    const double noise = (double)(((node * 131 + channel * 17 + frame * 7919) % 1000) - 500) * 1e-4;
    return (float)(std::sin(a) * (5.0 + node % 7) + noise);
}

void KeyCurve(VFCurve* curve, int node, int channel, double offset, double amplitude) {
    curve->ResizeKeyBuffer(gFrames);
    curve->KeyModifyBegin();
    for (int f = 0; f < gFrames; ++f)
        VOxaMotionSupport::SetCubicKey(curve, f, FrameTime(f), offset + amplitude * Wave(node, channel, f));
    curve->KeyModifyEnd();
}

void FinishScene(VOxaScene* scene) {
    VOxaMotionSupport::FinishTake(scene, kTake, VTime(0), FrameTime(gFrames - 1), 0);
}

// 60 marked markers under an optical reference node, keyed in translation and occlusion.
void BuildMarkers(VOxaSdkManager* manager, VOxaScene* scene) {
    VOxaNode* reference = VOxaMotionSupport::CreateReferenceNode(manager, "Bench", true);
    scene->GetRootNode()->AddChild(reference);
    for (int i = 0; i < kNodes; ++i) {
        VOxaNode* node = VOxaMotionSupport::CreateMarkerNode(manager, ("M" + std::to_string(i)).c_str());
        reference->AddChild(node);
        node->SetMarked(1);
        VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(node, kTake);
        VFCurve* t[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
        for (int a = 0; a < 3; ++a)
            KeyCurve(t[a], i, a, 100.0 * a, 10.0);
        VFCurve* occlusion = take->GetOcclusion();
        occlusion->ResizeKeyBuffer(gFrames);
        occlusion->KeyModifyBegin();
        for (int f = 0; f < gFrames; ++f)
            VOxaMotionSupport::SetConstantKey(occlusion, f, FrameTime(f), (f + i) % 97 == 0 ? 1.0 : 0.0);
        occlusion->KeyModifyEnd();
    }
    FinishScene(scene);
}

// A skeleton of 60 joints (a spine of 8, then branches) below the scene's root, every joint keyed
// in rotation and the top one in translation too; all joints marked.
void BuildSkeleton(VOxaSdkManager* manager, VOxaScene* scene) {
    std::vector<VOxaNode*> joints;
    for (int i = 0; i < kNodes; ++i) {
        VOxaNode* node = manager->CreateNode(("Joint" + std::to_string(i)).c_str());
        VOxaSkeleton* skeleton = manager->CreateSkeleton();
        skeleton->SetSkeletonType(i == 0 ? VOxaSkeleton::eROOT : VOxaSkeleton::eLIMB_NODE);
        node->SetNodeAttribute(skeleton);
        VOxaNode* parent = i == 0 ? scene->GetRootNode() : joints[(size_t)(i < 8 ? i - 1 : i / 2)];
        parent->AddChild(node);
        joints.push_back(node);
        node->SetMarked(1);
        node->SetLclTranslation(VgeTVector(1.0 + i % 3, 5.0 + i % 5, 0.5 * (i % 2), 0.0));
        VOxaTakeNode* take = VOxaMotionSupport::AddCurrentTake(node, kTake);
        VFCurve* r[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
        for (int a = 0; a < 3; ++a)
            KeyCurve(r[a], i, 3 + a, 0.0, 4.0);
        if (i == 0) {
            VFCurve* t[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
            for (int a = 0; a < 3; ++a)
                KeyCurve(t[a], i, a, 20.0 * a, 3.0);
        }
    }
    FinishScene(scene);
}

VStreamOptionsMotion* Motion(VStreamOptions* options) {
    return VOxaMotionSupport::AsMotionOptions(options);
}

VOxaWriter* MakeWriter(VOxaSdkManager* manager, const char* extension) {
    const VOxaWriterFormat* format = VOxaGetWriterFormat(VOxaFindWriterFormat(extension));
    return format ? format->mCreate(manager) : nullptr;
}

VOxaReader* MakeReader(VOxaSdkManager* manager, const char* extension) {
    const VOxaReaderFormat* format = VOxaGetReaderFormat(VOxaFindReaderFormat(extension));
    return format ? format->mCreate(manager) : nullptr;
}

// The scene read back from a BVH file: a reader marks no node to write, so its writes mark them as
// a conversion does.
VOxaScene* gReadScene = nullptr;

// Writes the scene to `path` with the writer of its extension: every frame of the take at the
// bench's rate. `attached` (may be null) is handed to the options first; `keep` receives the
// options' attached object afterwards (the ASF writer's skeleton).
bool WriteFile(VOxaSdkManager* manager, VOxaScene* scene, const std::string& path, VPlug* attached = nullptr,
               VStreamOptionsMotion** keep = nullptr) {
    VOxaWriter* writer = MakeWriter(manager, VOxaGetFileExtension(path.c_str()));
    if (!writer || !writer->FileCreate(path.c_str())) {
        delete writer;
        return false;
    }
    VStreamOptionsMotion* options = Motion(writer->GetWriteOptions());
    bool ok = options != nullptr;
    if (ok) {
        options->SetTimeMode(0, kRate);
        options->SetStartTime(VTime(0));
        options->SetFrameCount(gFrames);
        if (attached) options->SetAttachedObject(attached, false);
        if (scene == gReadScene)
            VOxaMarkMotionToWrite(scene, VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str())), options);
        ok = writer->Write(scene, options);
    }
    ok = writer->FileClose() && ok;
    if (keep)
        *keep = options;
    else if (options)
        options->Destroy();
    delete writer;
    return ok;
}

// Reads `path` into `scene` with the reader of its extension; see WriteFile for the two options.
bool ReadFile(VOxaSdkManager* manager, VOxaScene* scene, const std::string& path, VPlug* attached = nullptr,
              VStreamOptionsMotion** keep = nullptr) {
    VOxaReader* reader = MakeReader(manager, VOxaGetFileExtension(path.c_str()));
    if (!reader || !reader->FileOpen(path.c_str())) {
        delete reader;
        return false;
    }
    VStreamOptionsMotion* options = Motion(reader->GetReadOptions());
    bool ok = options != nullptr;
    if (ok) {
        if (attached) options->SetAttachedObject(attached, false);
        ok = reader->Read(scene, options);
    }
    reader->FileClose();
    if (keep)
        *keep = options;
    else if (options)
        options->Destroy();
    delete reader;
    return ok;
}

struct Pair {
    std::string name;
    std::vector<double> writes, reads;
};

// The median of each run's write over the same run's read. A run's write and read come one right
// after the other, so on a machine whose speed drifts (other guests, clock changes) their ratio
// varies less than the ratio of the fastest write to the fastest read.
double MedianRunRatio(const Pair& pair) {
    std::vector<double> ratios;
    for (size_t i = 0; i < pair.writes.size() && i < pair.reads.size(); ++i)
        if (pair.reads[i] > 0.0) ratios.push_back(pair.writes[i] / pair.reads[i]);
    if (ratios.empty()) return 0.0;
    std::sort(ratios.begin(), ratios.end());
    const size_t n = ratios.size();
    return n % 2 ? ratios[n / 2] : 0.5 * (ratios[n / 2 - 1] + ratios[n / 2]);
}

double Fastest(const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

// One write and one read of `extension` from the source scene; false when either failed.
bool RunSingle(VOxaSdkManager* manager, VOxaScene* source, const std::string& folder, const char* extension,
               Pair& pair) {
    const std::string path = folder + "/take." + extension;
    double start = CpuSeconds();
    if (!WriteFile(manager, source, path)) return false;
    pair.writes.push_back(CpuSeconds() - start);
    VOxaScene* target = manager->CreateScene();
    start = CpuSeconds();
    const bool ok = ReadFile(manager, target, path);
    pair.reads.push_back(CpuSeconds() - start);
    manager->DestroyScene(target);
    return ok;
}

// The ASF skeleton and the AMC motion, written and read as one pair.
bool RunAcclaim(VOxaSdkManager* manager, VOxaScene* source, const std::string& folder, Pair& pair) {
    const std::string asf = folder + "/take.asf", amc = folder + "/take.amc";
    double start = CpuSeconds();
    VStreamOptionsMotion* asfOptions = nullptr;
    bool ok = WriteFile(manager, source, asf, nullptr, &asfOptions);
    ok = ok && asfOptions && WriteFile(manager, source, amc, asfOptions->GetAttachedObject());
    pair.writes.push_back(CpuSeconds() - start);
    if (asfOptions) asfOptions->Destroy();
    if (!ok) return false;
    VOxaScene* target = manager->CreateScene();
    start = CpuSeconds();
    VStreamOptionsMotion* readOptions = nullptr;
    ok = ReadFile(manager, target, asf, nullptr, &readOptions);
    ok = ok && readOptions && ReadFile(manager, target, amc, readOptions->GetAttachedObject());
    pair.reads.push_back(CpuSeconds() - start);
    if (readOptions) readOptions->Destroy();
    manager->DestroyScene(target);
    return ok;
}

// The formatting of the text writers beside std::to_chars alone over the same values: a block of
// positions written with VTextFile::WriteFixed (5 decimals, as TRC) and WriteG (as MOV, BVH),
// separated by tabs, against to_chars of each value into a buffer of the same size. Answers
// the two ratios (writer time over to_chars time).
void FormattingRatios(const std::string& folder, double& fixedRatio, double& generalRatio) {
    std::vector<double> values((size_t)4000000);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = 10.0 * Wave((int)(i % kNodes), (int)(i % 3), (int)(i / 180));
    std::vector<char> out((size_t)1 << 16);
    auto toChars = [&](bool fixed) {
        const double start = CpuSeconds();
        size_t used = 0, total = 0;
        for (double v : values) {
            if (used + 400 > out.size()) {
                total += used;
                used = 0;
            }
            auto r = fixed ? std::to_chars(out.data() + used, out.data() + out.size(), v,
                                           std::chars_format::fixed, 5)
                           : std::to_chars(out.data() + used, out.data() + out.size(), v,
                                           std::chars_format::general, 6);
            used = (size_t)(r.ptr - out.data());
            out[used++] = '\t';
        }
        if (total + used == 0) std::abort();
        return CpuSeconds() - start;
    };
    auto writer = [&](bool fixed) {
        VTextFile file("numbers", " \t", "", true, false);
        const std::string path = folder + "/numbers.txt";
        if (!file.Open(path.c_str(), "w")) std::abort();
        const double start = CpuSeconds();
        for (double v : values) {
            if (fixed)
                file.WriteFixed(v, 5);
            else
                file.WriteG(v);
            file.WriteChar('\t');
        }
        const double seconds = CpuSeconds() - start;
        file.Discard();
        return seconds;
    };
    fixedRatio = writer(true) / toChars(true);
    generalRatio = writer(false) / toChars(false);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    std::string keep, only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc)
            keep = argv[++i];
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            gFrames = std::max(2, std::atoi(argv[++i]));
        else
            runs = std::max(1, std::atoi(argv[i]));
    }
    const std::string folder = keep.empty() ? oxa_bench::MakeTempFolder("motion_write_bench_") : keep;
    std::filesystem::create_directories(folder);

    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* markers = manager->CreateScene();
    VOxaScene* skeleton = manager->CreateScene();
    BuildMarkers(manager, markers);
    BuildSkeleton(manager, skeleton);

    const char* const kMarkerFormats[] = {"c3d", "trc", "aoa", "mcd", "brd", "mov", "vpm"};
    const char* const kSkeletonFormats[] = {"bvh", "htr"};
    std::vector<Pair> pairs;
    for (const char* e : kMarkerFormats)
        pairs.push_back({e, {}, {}});
    for (const char* e : kSkeletonFormats)
        pairs.push_back({e, {}, {}});
    pairs.push_back({"asf+amc", {}, {}});
    // The skeleton as a conversion holds it: read from a BVH file of the take, then written by
    // each skeleton writer (which converts the pivots of a scene a reader made).
    VOxaScene* converted = manager->CreateScene();
    const bool wantConverted = only.empty() || only.compare(0, 4, "bvh>") == 0;
    if (wantConverted && !(WriteFile(manager, skeleton, folder + "/source.bvh") &&
                           ReadFile(manager, converted, folder + "/source.bvh"))) {
        std::fprintf(stderr, "bench_motion_write: the BVH source failed\n");
        delete manager;
        return 1;
    }
    gReadScene = converted;
    for (const char* e : {"bvh>bvh", "bvh>htr", "bvh>asf+amc"})
        pairs.push_back({e, {}, {}});

    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
        for (Pair& pair : pairs) {
            if (!only.empty() && pair.name != only) continue;
            const bool isMarker =
                std::find_if(std::begin(kMarkerFormats), std::end(kMarkerFormats),
                             [&](const char* e) { return pair.name == e; }) != std::end(kMarkerFormats);
            const bool fromBvh = pair.name.compare(0, 4, "bvh>") == 0;
            const std::string format = fromBvh ? pair.name.substr(4) : pair.name;
            VOxaScene* source = isMarker ? markers : fromBvh ? converted : skeleton;
            bool done = format == "asf+amc" ? RunAcclaim(manager, source, folder, pair)
                                            : RunSingle(manager, source, folder, format.c_str(), pair);
            if (!done) {
                std::fprintf(stderr, "bench_motion_write: %s failed\n", pair.name.c_str());
                ok = false;
                break;
            }
        }
    }

    std::printf("%d nodes x %d frames, fastest CPU time of %d runs\n", kNodes, gFrames, runs);
    std::printf("%-10s %10s %10s %12s %14s\n", "format", "write s", "read s", "write/read", "median of runs");
    double worst = 0.0;
    for (const Pair& pair : pairs) {
        if (pair.writes.empty() || pair.reads.empty()) continue;
        const double w = Fastest(pair.writes), r = Fastest(pair.reads);
        const double ratio = r > 0.0 ? w / r : 0.0;
        worst = std::max(worst, ratio);
        std::printf("%-10s %10.3f %10.3f %12.2f %14.2f\n", pair.name.c_str(), w, r, ratio,
                    MedianRunRatio(pair));
    }
    std::printf("largest write/read: %.2f (target <= 1.0)\n", worst);
    if (only.empty()) {
        double fixedRatio = 0.0, generalRatio = 0.0;
        FormattingRatios(folder, fixedRatio, generalRatio);
        std::printf("formatting / to_chars alone: %%.5f %.2f, %%g %.2f (target <= 1.5)\n", fixedRatio,
                    generalRatio);
    }

    delete manager;
    if (keep.empty()) std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
