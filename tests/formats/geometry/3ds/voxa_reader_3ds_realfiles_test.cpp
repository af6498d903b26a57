// Reads every 3DS file of Debian's model collection (and its empty .3ds) under the sanitizers:
// each gives a scene or a clear error. When assimp's command-line tool is there, the triangle
// totals agree with what it reports without its post-processing (-r), which would join meshes.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <set>
#include <string>

#include "attributes/voxa_mesh.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"

namespace {

// The triangles of the meshes the scene's nodes hold, each mesh once.
int CountTriangles(VOxaSdkManager& manager) {
    std::set<VOxaMesh*> meshes;
    int total = 0;
    for (int i = 0; i < manager.GetNodeCount(); ++i) {
        VOxaMesh* mesh = manager.GetNode(i)->GetMesh();
        if (mesh && meshes.insert(mesh).second) total += mesh->GetPolygonCount();
    }
    return total;
}

TEST(reader3ds_realfiles, EveryFileGivesASceneOrAClearError) {
    corpustest::Corpus corpus = corpustest::FindCorpus("3ds");
    const corpustest::fs::path empty = "/usr/share/assimp/models/invalid/empty.3ds";
    if (corpustest::fs::exists(empty)) corpus.files.push_back(empty);
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    const bool haveAssimp = corpustest::MissingReader(corpustest::kAssimpInfo).empty();
    corpustest::CorpusReport report;
    int compared = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        const bool ok = reader.FileOpen(file.c_str()) && reader.Read(scene, options.get());
        if (!ok) {
            const std::string error = reader.GetError().GetLastErrorString().Buffer();
            EXPECT_FALSE(error.empty()) << file;
            report.Refused("3ds", file, error);
            continue;
        }
        report.Read("3ds");
        EXPECT_GT(scene->GetRootNode()->GetChildCount(true), 0) << file;
        if (!haveAssimp) continue;
        corpustest::RunResult run = corpustest::RunProgram({"assimp", "info", file.string(), "-r"});
        std::smatch match;
        static const std::regex faces(R"(Faces:\s+(\d+))");
        if (run.status != 0 || !std::regex_search(run.output, match, faces)) continue;
        EXPECT_EQ(CountTriangles(manager), std::stoi(match[1].str())) << file;
        ++compared;
    }
    report.Print();
    std::cout << "triangle totals compared with assimp: " << compared
              << (haveAssimp ? "" : (" (" + corpustest::MissingReader(corpustest::kAssimpInfo) + ")"))
              << "\n";
    // The empty file is refused, everything else of the collection is read.
    EXPECT_GE(compared, haveAssimp ? 1 : 0);
}

}  // namespace
