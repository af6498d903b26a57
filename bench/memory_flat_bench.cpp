// Memory held over repeated use, in the shapes a host that runs all day gives it:
//   - a million rounds of making and destroying a node under one name (the name index keeps
//     no entry for a name that left);
//   - a thousand reads of each input format into a new scene, which is then destroyed with the
//     materials, textures, videos and poses it lists.
// Each prints the bytes held after the rounds over those held after a short warm-up, per round
// (the C library's count of bytes in use; its caches of freed chunks move it by a few kilobytes
// from one moment to another, which is well under a byte a round here). Nothing is asserted.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "oxa_codec/voxa_importer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

long long LiveBytes() {
    return (long long)mallinfo2().uordblks;
}

void DestroySceneWithWhatItLists(VOxaSdkManager* manager, VOxaScene* scene) {
    VOxaSceneContents* contents = scene->GetContents();
    std::vector<VOxaPose*> poses;
    for (int i = 0; i < scene->GetPoseCount(); ++i)
        poses.push_back(scene->GetPose(i));
    std::vector<VOxaMaterial*> materials;
    for (int i = 0; i < contents->GetMaterialCount(); ++i)
        materials.push_back(contents->GetMaterial(i));
    std::vector<VOxaTexture*> textures;
    for (int i = 0; i < contents->GetTextureCount(); ++i)
        textures.push_back(contents->GetTexture(i));
    std::vector<VOxaVideo*> videos;
    for (int i = 0; i < contents->GetVideoCount(); ++i)
        videos.push_back(contents->GetVideo(i));
    manager->DestroyScene(scene);
    for (VOxaMaterial* material : materials)
        manager->DestroyMaterial(material);
    for (VOxaTexture* texture : textures)
        manager->DestroyTexture(texture);
    for (VOxaVideo* video : videos)
        manager->DestroyVideo(video);
    for (VOxaPose* pose : poses)
        manager->DestroyPose(pose);
}

// Runs `round` `warm` times, then `rounds` times, and sets the bytes held per round of the second
// run, with the total, as the benchmark's counters.
template <typename F>
void Measure(benchmark::State& state, int warm, long long rounds, F round) {
    for (auto _ : state) {
        for (int i = 0; i < warm; ++i)
            round();
        const long long before = LiveBytes();
        for (long long i = 0; i < rounds; ++i)
            round();
        const long long held = LiveBytes() - before;
        state.counters["rounds"] = (double)rounds;
        state.counters["bytes_held"] = (double)held;
        state.counters["bytes_per_round"] = (double)held / (double)rounds;
    }
}

void BM_NodeUnderOneName(benchmark::State& state) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    manager->CreateScene();
    Measure(state, 1000, 1000000, [&] { manager->DestroyNode(manager->CreateNode("Walker")); });
    delete manager;
}

void BM_ReadsIntoDestroyedScenes(benchmark::State& state, const std::string& file) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    bool read = true;
    Measure(state, 20, (long long)state.range(0), [&] {
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = manager->CreateImporter();
        read = read && importer->Initialize(file.c_str()) && importer->Import(scene);
        manager->DestroyImporter(importer);
        DestroySceneWithWhatItLists(manager, scene);
    });
    if (!read) state.SkipWithError(("not read: " + file).c_str());
    state.counters["materials_left"] = (double)manager->GetMaterialCount();
    delete manager;
}

const std::string kExamples = OXA_EXAMPLES_DIR;
const std::string kCorpus = kExamples + "/../fuzz/corpus/";

}  // namespace

BENCHMARK(BM_NodeUnderOneName)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, 3ds, kExamples + "/scene.3ds")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, obj, kCorpus + "obj/mtl_pair.obj")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, dxf, kCorpus + "dxf/layers_polylines.dxf")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, bvh, kExamples + "/walk.bvh")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, c3d, kExamples + "/markers.c3d")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, htr, kCorpus + "htr/sample.htr")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, trc, kCorpus + "trc/type4.trc")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadsIntoDestroyedScenes, asf, kCorpus + "asf/public_form.asf")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
