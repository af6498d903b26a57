// Reads every OBJ file of the model collection (its OBJ folder and the OBJ files among the
// deliberately broken models): each gives a scene or a clear error, never a crash.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

TEST(obj_realfiles, EveryCorpusFileGivesASceneOrAClearError) {
    std::vector<corpustest::CorpusFolder> folders = corpustest::CorpusFolders("obj");
    folders.push_back({"assimp-testmodels", "/usr/share/assimp/models/invalid"});
    corpustest::Corpus corpus = corpustest::FindCorpus("obj", folders);
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();

    corpustest::CorpusReport report;
    int withGeometry = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(file.string().c_str())) {
            report.Refused("obj", file, reader.GetError().GetLastErrorString().Buffer());
            continue;
        }
        if (reader.Read(scene, options.get())) {
            report.Read("obj");
            if (scene->GetRootNode()->GetChildCount(true) > 1) ++withGeometry;
        } else {
            std::string why = reader.GetError().GetLastErrorID() >= 0
                                  ? reader.GetError().GetLastErrorString().Buffer()
                                  : "";
            report.Refused("obj", file, why.empty() ? "malformed vertex data" : why);
        }
    }
    report.Print();
    // The OBJ folder is mostly well-formed: most files must give geometry.
    EXPECT_GE(withGeometry, (int)corpus.files.size() / 2);
}

// The (x, y, z) of every "v" line of an OBJ text, as strtod reads them.
std::set<std::array<double, 3>> PointsOf(const std::string& path) {
    std::set<std::array<double, 3>> points;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 2, "v ") != 0) continue;
        std::array<double, 3> p{};
        const char* at = line.c_str() + 2;
        bool complete = true;
        for (double& value : p) {
            char* end = nullptr;
            value = std::strtod(at, &end);
            complete = complete && end != at;
            at = end;
        }
        if (complete) points.insert(p);
    }
    return points;
}

TEST(obj_realfiles, EveryWrittenPointIsExactlyAPointOfTheFileRead) {
    corpustest::Corpus corpus = corpustest::FindCorpus("obj");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    oxa_test::ScratchDir dir("oxa_obj_", "exact_real");
    int compared = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        static_cast<VStreamOptionsObj*>(options.get())->SetOptionValue(1, 0);
        if (!reader.FileOpen(file.string().c_str()) || !reader.Read(scene, options.get())) continue;
        if (scene->GetRootNode()->GetChildCount() == 0) continue;
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
        const std::string out = (dir.path / "out.obj").string();
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, wopt.get()) || !writer.FileClose())
            continue;
        // A group's node sits at the origin: each point is written as the very number read.
        const std::set<std::array<double, 3>> read = PointsOf(file.string());
        for (const std::array<double, 3>& p : PointsOf(out))
            EXPECT_TRUE(read.count(p)) << file << ": " << p[0] << " " << p[1] << " " << p[2];
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

}  // namespace
