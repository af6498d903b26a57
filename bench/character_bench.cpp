// Characters at size. Each pair of runs takes one measure at two sizes, and the program prints
// both figures and their ratio; comparisons against baselines follow.
//
// - 100 and 1,000 characters made in one scene, then destroyed; per character, against a
//   baseline block that declares as many properties (191 values, 187 object lists made at run
//   time, 5 member lists) on a plain property block.
// - The name lookups FindParameter, FindParameterForProperty, GetCharacterNodeIdFromNodeName
//   and GetEffectorIdFromName, each over every name it knows, against a std::unordered_map of
//   the same names.
// - A pose assignment from a pose with a 1,000-node and a 10,000-node tree whose character has
//   every link, control-set link, effector and first auxiliary effector set.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "character/voxa_character.h"
#include "character/voxa_character_pose.h"
#include "objects/voxa_property_handler.h"
#include "objects/vproperty_object_list.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#include "bench_ratio.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// ---- Creation and destruction -------------------------------------------------------------------

void BM_Characters(benchmark::State& state) {
    const int count = (int)state.range(0);
    double create = 0, destroy = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i)
            scene->CreateCharacter(("C" + std::to_string(i)).c_str());
        create += MillisecondsSince(start);
        if (scene->GetCharacterCount() != count) state.SkipWithError("a character is missing");
        start = Clock::now();
        for (int i = count; i-- > 0;)
            scene->DestroyCharacter(i);
        destroy += MillisecondsSince(start);
        if (scene->GetCharacterCount() != 0) state.SkipWithError("a character was not destroyed");
    }
    state.counters["create_ms"] = benchmark::Counter(create, benchmark::Counter::kAvgIterations);
    state.counters["destroy_ms"] = benchmark::Counter(destroy, benchmark::Counter::kAvgIterations);
    state.counters["us_per_character"] =
        benchmark::Counter((create + destroy) * 1000.0 / count, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Characters)->Arg(100)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

// The baseline: a plain block with as many properties as a character's block.
class PlainBlock : public VOxaPropertyHandler {
public:
    PlainBlock() {
        for (int i = 0; i < 191; ++i) {
            mValues[i].Declare(kNames[i % 4], this);
            AddProperty(&mValues[i]);
        }
        char name[32];
        for (int i = 0; i < 187; ++i) {
            std::snprintf(name, sizeof(name), "Link%d", i);
            CreatePropertyObjectList(this, name, 0, -1, 1, 3, i);
        }
        for (VPropertyObjectList& list : mLists) {
            list.Declare("List", this);
            AddProperty(&list);
        }
    }
    VOxaObject* GetOwner() const override { return nullptr; }
    void PropertyValueChanged(VOxaUserProperty*) override {}

private:
    static constexpr const char* kNames[4] = {"A", "B", "C", "D"};
    VPropertyTemplate<double> mValues[191];
    VPropertyObjectList mLists[5];
};

void BM_PlainBlocks(benchmark::State& state) {
    const int count = (int)state.range(0);
    double total = 0;
    for (auto _ : state) {
        std::vector<PlainBlock*> blocks;
        blocks.reserve(count);
        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i)
            blocks.push_back(new PlainBlock());
        for (int i = count; i-- > 0;)
            blocks[i]->Destroy();
        total += MillisecondsSince(start);
    }
    state.counters["us_per_block"] =
        benchmark::Counter(total * 1000.0 / count, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PlainBlocks)->Arg(100)->Arg(1000)->Iterations(3)->Unit(benchmark::kMillisecond);

// ---- Name lookups ---------------------------------------------------------------------------------

std::vector<const char*> ParameterNames() {
    std::vector<const char*> names;
    for (int i = 0; i < VOxaCharacterParameterStore::eParameterCount; ++i)
        names.push_back(VOxaCharacterParameterStore::GetParameterName(i));
    return names;
}

std::vector<const char*> PropertyNames() {
    VOxaSdkManager manager;
    VOxaCharacter* character = manager.CreateCharacter("C");
    std::vector<const char*> names;
    static std::vector<std::string> kept;
    for (int i = 0; i < VOxaCharacterProperties::eValuePropertyCount; ++i)
        kept.push_back(character->GetProperties()->GetProperty(i)->GetName());
    for (const std::string& name : kept)
        names.push_back(name.c_str());
    return names;
}

std::vector<const char*> NodeNames() {
    std::vector<const char*> names;
    for (int id = 0; id < VOxaCharacter::eNodeIdCount; ++id) {
        const char* name = nullptr;
        if (VOxaCharacter::GetCharacterNodeNameFromNodeId(id, name)) names.push_back(name);
    }
    return names;
}

std::vector<const char*> EffectorNames() {
    std::vector<const char*> names;
    for (int id = 0; id < VOxaControlSet::eEffectorCount; ++id)
        names.push_back(VOxaControlSet::GetEffectorNodeName(id));
    return names;
}

// One call per name, the names taken in turn; ns per call.
template <typename Lookup>
void LookupEveryName(benchmark::State& state, const std::vector<const char*>& names, Lookup lookup) {
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lookup(names[i]));
        if (++i == names.size()) i = 0;
    }
}

// The same names in a hash map, queried with the same C strings.
void HashMapBaseline(benchmark::State& state, const std::vector<const char*>& names) {
    std::unordered_map<std::string_view, int> map;
    for (size_t i = 0; i < names.size(); ++i)
        map.emplace(names[i], (int)i);
    LookupEveryName(state, names, [&](const char* name) {
        auto it = map.find(std::string_view(name));
        return it == map.end() ? -1 : it->second;
    });
}

void BM_FindParameter(benchmark::State& state) {
    LookupEveryName(state, ParameterNames(),
                    [](const char* n) { return VOxaCharacterParameterStore::FindParameter(n); });
}
BENCHMARK(BM_FindParameter);
void BM_FindParameter_Baseline(benchmark::State& state) {
    HashMapBaseline(state, ParameterNames());
}
BENCHMARK(BM_FindParameter_Baseline);

void BM_FindParameterForProperty(benchmark::State& state) {
    LookupEveryName(state, PropertyNames(), [](const char* n) {
        const char* parameter = nullptr;
        return VOxaCharacterParameterStore::FindParameterForProperty(&parameter, n, 0) ? parameter : nullptr;
    });
}
BENCHMARK(BM_FindParameterForProperty);
void BM_FindParameterForProperty_Baseline(benchmark::State& state) {
    HashMapBaseline(state, PropertyNames());
}
BENCHMARK(BM_FindParameterForProperty_Baseline);

void BM_GetCharacterNodeIdFromNodeName(benchmark::State& state) {
    LookupEveryName(state, NodeNames(), [](const char* n) {
        int id = -1;
        VOxaCharacter::GetCharacterNodeIdFromNodeName(n, id);
        return id;
    });
}
BENCHMARK(BM_GetCharacterNodeIdFromNodeName);
void BM_GetCharacterNodeIdFromNodeName_Baseline(benchmark::State& state) {
    HashMapBaseline(state, NodeNames());
}
BENCHMARK(BM_GetCharacterNodeIdFromNodeName_Baseline);

void BM_GetEffectorIdFromName(benchmark::State& state) {
    LookupEveryName(state, EffectorNames(),
                    [](const char* n) { return VOxaControlSet::GetEffectorIdFromName(n); });
}
BENCHMARK(BM_GetEffectorIdFromName);
void BM_GetEffectorIdFromName_Baseline(benchmark::State& state) {
    HashMapBaseline(state, EffectorNames());
}
BENCHMARK(BM_GetEffectorIdFromName_Baseline);

// ---- Pose assignment ----------------------------------------------------------------------------

// A tree of `count` nodes below the pose's root, ten children per node, breadth first; the
// character links every node id, control-set link, effector and first auxiliary effector to
// nodes of the tree.
void FillPose(VOxaSdkManager& manager, VOxaCharacterPose& pose, int count) {
    std::vector<VOxaNode*> nodes;
    nodes.reserve(count);
    for (int i = 0; i < count; ++i) {
        VOxaNode* node = manager.CreateNode(("N" + std::to_string(i)).c_str());
        VOxaNode* parent = i == 0 ? pose.GetRootNode() : nodes[(i - 1) / 10];
        parent->AddChild(node);
        nodes.push_back(node);
    }
    VOxaCharacter* character = pose.GetCharacter();
    VOxaControlSet* set = character->GetControlSet();
    for (int id = 0; id < VOxaCharacter::eNodeIdCount; ++id) {
        VOxaCharacterLink link;
        link.mNode = nodes[(id * 37) % count];
        character->SetCharacterLink(id, link, true);
        VOxaControlSetLink controlLink;
        controlLink.mNode = nodes[(id * 53 + 1) % count];
        set->SetControlSetLink(id, controlLink);
    }
    for (int id = 0; id < VOxaControlSet::eEffectorCount; ++id) {
        set->SetEffector(id, nodes[(id * 71 + 2) % count], true, true, true, false, false);
        set->SetEffectorAux(id, nodes[(id * 89 + 3) % count], 1);
    }
}

void BM_PoseAssignment(benchmark::State& state) {
    const int count = (int)state.range(0);
    double assign = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaCharacterPose* source = scene->GetCharacterPose(scene->CreateCharacterPose("Source"));
        VOxaCharacterPose* target = scene->GetCharacterPose(scene->CreateCharacterPose("Target"));
        FillPose(manager, *source, count);
        Clock::time_point start = Clock::now();
        *target = *source;
        assign += MillisecondsSince(start);
        if (target->GetRootNode()->GetChildCount(true) != count)
            state.SkipWithError("the tree was not cloned");
        if (!target->GetCharacter()->GetCharacterLink(190, nullptr)) state.SkipWithError("a link is missing");
    }
    state.counters["assign_ms"] = benchmark::Counter(assign, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PoseAssignment)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PoseAssignment)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// What the assignment cannot avoid: making as many nodes through the manager (after as many
// made for the source) and hanging them into the same tree shape.
void BM_PoseNodeCreation(benchmark::State& state) {
    const int count = (int)state.range(0);
    double create = 0;
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaCharacterPose* source = scene->GetCharacterPose(scene->CreateCharacterPose("Source"));
        VOxaCharacterPose* target = scene->GetCharacterPose(scene->CreateCharacterPose("Target"));
        FillPose(manager, *source, count);
        std::vector<VOxaNode*> nodes;
        nodes.reserve(count);
        Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            VOxaNode* node = manager.CreateNode(("N" + std::to_string(i)).c_str());
            (i == 0 ? target->GetRootNode() : nodes[(i - 1) / 10])->AddChild(node);
            nodes.push_back(node);
        }
        create += MillisecondsSince(start);
    }
    state.counters["create_ms"] = benchmark::Counter(create, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_PoseNodeCreation)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PoseNodeCreation)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter(" (ns per call)");
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    reporter.PrintRatios("measure", 44);

    const double* perCharacter = reporter.Find("BM_Characters us_per_character", 1000);
    const double* perBlock = reporter.Find("BM_PlainBlocks us_per_block", 1000);
    if (perCharacter && perBlock && *perBlock > 0.0)
        std::printf("\n%-44s %12.1f us %12.1f us %8.2f\n", "character against a plain block (1,000)",
                    *perCharacter, *perBlock, *perCharacter / *perBlock);

    const double* assign1 = reporter.Find("BM_PoseAssignment assign_ms", 1000);
    const double* assign10 = reporter.Find("BM_PoseAssignment assign_ms", 10000);
    const double* create1 = reporter.Find("BM_PoseNodeCreation create_ms", 1000);
    const double* create10 = reporter.Find("BM_PoseNodeCreation create_ms", 10000);
    if (assign1 && assign10 && create1 && create10 && *assign1 > *create1)
        std::printf("\n%-44s %12.3f %12.3f %8.2f\n", "pose assignment less its node creation (ms)",
                    *assign1 - *create1, *assign10 - *create10,
                    (*assign10 - *create10) / (*assign1 - *create1));
    std::printf("\n%-44s %12s %12s %8s\n", "lookup against the hash-map baseline", "ns per call", "baseline",
                "ratio");
    for (const char* name : {"BM_FindParameter", "BM_FindParameterForProperty",
                             "BM_GetCharacterNodeIdFromNodeName", "BM_GetEffectorIdFromName"}) {
        const double* figure = reporter.Find(std::string(name) + " (ns per call)", 0);
        const double* base = reporter.Find(std::string(name) + "_Baseline (ns per call)", 0);
        if (figure && base && *base > 0.0)
            std::printf("%-44s %12.1f %12.1f %8.2f\n", name, *figure, *base, *figure / *base);
    }
    return 0;
}
