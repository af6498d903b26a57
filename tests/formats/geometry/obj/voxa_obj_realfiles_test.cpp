// Reads every OBJ file of the model collection (its OBJ folder and the OBJ files among the
// deliberately broken models): each gives a scene or a clear error, never a crash.
#include <gtest/gtest.h>

#include <memory>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"

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

}  // namespace
