// Reads the DXF files of other programs (assimp's test models and LibreCAD's part library) in all
// three grouping modes: each gives a scene or a clear error.
#include <gtest/gtest.h>

#include <memory>

#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"

TEST(dxf_realfiles, EveryFileGivesASceneOrAClearError) {
    corpustest::Corpus corpus = corpustest::FindCorpus("dxf");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    if (!corpus.missing.empty()) std::cout << "partly skipped: " << corpus.SkipReason() << "\n";
    corpustest::CorpusReport report;
    int withGeometry = 0;
    for (const auto& file : corpus.files) {
        for (int mode : {0, 1, 2}) {
            const std::string format = std::string("dxf mode ") + "LBE"[mode];
            VOxaSdkManager manager;
            VOxaScene* scene = manager.CreateScene();
            VOxaReaderDxf reader(&manager);
            if (!reader.FileOpen(file.string().c_str())) {
                report.Refused(format, file, reader.GetError().GetLastErrorString().Buffer());
                continue;
            }
            std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
            static_cast<VStreamOptionsDxf*>(options.get())
                ->SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, mode);
            if (reader.Read(scene, options.get())) {
                report.Read(format);
                if (mode == 0 && scene->GetRootNode()->GetChildCount(true) > 1) ++withGeometry;
            } else {
                const std::string error = reader.GetError().GetLastErrorString().Buffer();
                EXPECT_FALSE(error.empty()) << file;
                report.Refused(format, file, error);
            }
            EXPECT_TRUE(reader.FileClose());
        }
    }
    report.Print();
    std::cout << withGeometry << " files gave nodes in layer mode\n";
    EXPECT_GT(withGeometry, 0);
}
