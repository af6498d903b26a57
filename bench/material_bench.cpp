// Surface objects at size.
//
// Video feeding textures: one video feeds 10,000 and then 100,000 textures (each texture's
// block has the video's block as its source). Each iteration gives the video a new file name,
// which it passes to every texture; a texture compares the name with its video's and stops, so
// the cost is one visit per texture and no echo back to the video. The program prints the
// nanoseconds per texture at each size and the ratio between the sizes (near 10 for linear,
// near 100 for a walk per texture), and checks, untimed, that every texture took the name.
// The walk visits each texture's block, the texture and its name text once; at 100,000 the
// textures' objects no longer sit in the processor's caches, so the cost per texture rises
// somewhat (memory latency) while the number of visits stays one per texture. The baseline,
// reading every texture's file name once, shows that share of the rise on its own.
//
// Skin conversions: links to deformers and back on 2,000 skinned meshes of 20 bones each, once
// with bones of their own (the baseline) and once all sharing the same 20 bones, where every
// cluster name is taken 2,000 times over and has to be numbered. The program prints the time
// per round at both and the ratio (near 1 when numbering costs nothing per repeat), and checks,
// untimed, that the numbering reached its last number.
//
// Each section registers its own benchmarks and adds its own lines to the summary printed by
// main. Nothing is asserted about times.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "attributes/voxa_geometry.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

// ---- Video feeding textures ---------------------------------------------------------------------

// One video feeding `count` textures, made untimed.
struct VideoFeed {
    explicit VideoFeed(int count) {
        video = manager.CreateVideo("Clip");
        video->SetFileName("start.avi");
        textures.reserve((size_t)count);
        for (int i = 0; i < count; ++i) {
            VOxaTexture* texture = manager.CreateTexture(("Tex" + std::to_string(i)).c_str());
            texture->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler());
            textures.push_back(texture);
        }
    }
    VOxaSdkManager manager;
    VOxaVideo* video = nullptr;
    std::vector<VOxaTexture*> textures;
};

// Baseline: reading every texture's file name, the least a walk over the textures touches.
void BM_TextureNameRead(benchmark::State& state) {
    const int count = (int)state.range(0);
    VideoFeed feed(count);
    size_t total = 0;
    double elapsedNs = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (VOxaTexture* texture : feed.textures) {
            const char* name = texture->GetFileName();
            total += name ? (size_t)name[0] : 0;
        }
        elapsedNs +=
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(total);
    }
    const double visits = (double)count * (double)(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["ns_per_texture"] = elapsedNs / visits;
}
BENCHMARK(BM_TextureNameRead)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_VideoFileNameToTextures(benchmark::State& state) {
    const int count = (int)state.range(0);
    VideoFeed feed(count);
    VOxaVideo* video = feed.video;
    const std::vector<VOxaTexture*>& textures = feed.textures;

    const char* const names[2] = {"first.avi", "second.avi"};
    int round = 0;
    double elapsedNs = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        bool ok = video->SetFileName(names[round & 1]);
        elapsedNs +=
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(ok);
        ++round;
    }

    // Untimed: every texture holds the last name.
    const char* last = video->GetFileName();
    int behind = 0;
    for (VOxaTexture* texture : textures) {
        const char* name = texture->GetFileName();
        if (!name || !last || std::strcmp(name, last) != 0) ++behind;
    }
    const double visits = (double)count * (double)(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["ns_per_texture"] = elapsedNs / visits;
    state.counters["textures_behind"] = behind;
}
BENCHMARK(BM_VideoFileNameToTextures)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void PrintVideoSummary(const oxa_bench::RatioReporter& reporter) {
    std::printf("\n%-34s %14s %14s %12s\n", "per texture (ns)", "10,000", "100,000", "time ratio");
    for (const char* name : {"BM_VideoFileNameToTextures", "BM_TextureNameRead"}) {
        const double* small = reporter.Find(std::string(name) + " ns_per_texture", 10000);
        const double* large = reporter.Find(std::string(name) + " ns_per_texture", 100000);
        if (!small || !large) continue;
        // The runs differ tenfold in size: a ratio near 10 is linear.
        std::printf("%-34s %14.1f %14.1f %12.2f\n", name, *small, *large,
                    *small > 0.0 ? 10.0 * *large / *small : 0.0);
    }
}

// ---- Skin conversions on shared bones ------------------------------------------------------------

// 2,000 skinned meshes, each bound to 20 bones. Shared (argument 1): every mesh uses the same 20
// bones, so each cluster base name comes 2,000 times and the clusters are numbered up to 1,999.
// Distinct (argument 0, the baseline): every mesh has bones of its own, so no name repeats.
constexpr int kSkinnedMeshes = 2000;
constexpr int kBonesPerMesh = 20;

void BM_SkinConversionRoundTrip(benchmark::State& state) {
    const bool shared = state.range(0) != 0;
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* root = scene->GetRootNode();
    std::vector<VOxaNode*> bones;
    auto addBone = [&](const std::string& name) {
        VOxaNode* bone = manager.CreateNode(name.c_str());
        root->AddChild(bone);
        bones.push_back(bone);
    };
    if (shared) {
        for (int b = 0; b < kBonesPerMesh; ++b)
            addBone("Bone" + std::to_string(b));
    }
    std::vector<VOxaGeometry*> geometries;
    for (int m = 0; m < kSkinnedMeshes; ++m) {
        VOxaNode* node = manager.CreateNode(("Mesh" + std::to_string(m)).c_str());
        root->AddChild(node);
        node->SetNodeAttribute(manager.CreateMesh());
        VOxaGeometry* geometry = node->GetGeometry();
        geometries.push_back(geometry);
        for (int b = 0; b < kBonesPerMesh; ++b) {
            if (!shared) addBone("Bone" + std::to_string(m) + "_" + std::to_string(b));
            VOxaLink* link = manager.CreateLink();
            link->SetLink(bones[shared ? b : (size_t)m * kBonesPerMesh + b]);
            for (int p = 0; p < 4; ++p)
                link->AddControlPointIndex(4 * b + p, 0.25);
            geometry->AddLink(link);
        }
    }

    double elapsedMs = 0.0;
    int clusters = 0;
    bool lastNameFound = false;
    for (auto _ : state) {
        // The links read back replace the ones written out; those are dropped untimed.
        std::vector<VOxaLink*> written;
        for (VOxaGeometry* geometry : geometries) {
            for (int i = 0; i < geometry->GetLinkCount(); ++i)
                written.push_back(geometry->GetLink(i));
        }
        auto start = std::chrono::steady_clock::now();
        scene->ConvertLinksToDeformers();
        clusters = scene->GetDeformerCount(2);
        for (VOxaGeometry* geometry : geometries)
            geometry->ClearLinks();
        scene->ConvertDeformersToLinks();
        elapsedMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

        // Untimed: the last number given to a shared base name is the count of meshes less one.
        lastNameFound =
            !shared ||
            scene->GetDeformer(
                ("SubDeformer::Cluster Bone0 " + std::to_string(kSkinnedMeshes - 1)).c_str()) != nullptr;
        scene->DestroyAllDeformers();
        for (VOxaLink* link : written)
            manager.DestroyLink(link);
    }
    state.counters["ms_per_round"] = elapsedMs / (double)(state.iterations() > 0 ? state.iterations() : 1);
    state.counters["clusters"] = clusters;
    state.counters["numbering_ok"] = lastNameFound ? 1 : 0;
}
BENCHMARK(BM_SkinConversionRoundTrip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void PrintSkinSummary(const oxa_bench::RatioReporter& reporter) {
    const double* distinct = reporter.Find("BM_SkinConversionRoundTrip ms_per_round", 0);
    const double* shared = reporter.Find("BM_SkinConversionRoundTrip ms_per_round", 1);
    if (!distinct || !shared) return;
    std::printf(
        "\nlinks to deformers and back, %d meshes x %d bones: %.1f ms with distinct bones, "
        "%.1f ms with shared bones; shared over distinct %.2f (aim: at most 2)\n",
        kSkinnedMeshes, kBonesPerMesh, *distinct, *shared, *distinct > 0.0 ? *shared / *distinct : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    PrintVideoSummary(reporter);
    PrintSkinSummary(reporter);
    reporter.PrintRatios("measure", 44);
    return 0;
}
