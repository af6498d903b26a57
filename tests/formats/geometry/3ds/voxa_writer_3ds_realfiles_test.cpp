// Every 3DS file of the model collection, read by the 3DS reader, written by the 3DS writer and
// read again, gives the same meshes in order (face counts, material counts) and the same global
// transforms of its mesh nodes frame by frame. Names may differ by the 3DS renaming.
#include <gtest/gtest.h>

#include <vector>

#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"
#include "tests/support/corpus.h"

using namespace writer3ds;

namespace {

bool ReadInto(VOxaSdkManager& manager, VOxaScene* scene, const std::string& path, std::string& error) {
    VOxaReader3DS reader(&manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    const bool ok = reader.FileOpen(path.c_str()) && reader.Read(scene, options.get());
    if (!ok) error = reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    return ok;
}

// Mesh nodes with faces the writer can hold, each before its children.
std::vector<VOxaNode*> MeshNodes(VOxaScene* scene) {
    std::vector<VOxaNode*> out;
    std::vector<VOxaNode*> stack{scene->GetRootNode()};
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        VOxaMesh* mesh = node->GetMesh();
        if (mesh && mesh->GetPolygonCount() > 0 && mesh->GetControlPointsCount() > 0 &&
            mesh->GetControlPointsCount() <= 65535)
            out.push_back(node);
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            stack.push_back(node->GetChild(i));
    }
    return out;
}

}  // namespace

TEST(writer3ds_realfiles, ReadWriteReadKeepsMeshesAndTransforms) {
    corpustest::Corpus corpus = corpustest::FindCorpus("3ds");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    ScratchDir dir("real");
    corpustest::CorpusReport report;
    int compared = 0;
    for (const auto& path : corpus.files) {
        VOxaSdkManager first;
        VOxaScene* a = first.CreateScene();
        std::string error;
        if (!ReadInto(first, a, path.string(), error)) {
            report.Refused("3ds", path, error);
            continue;
        }
        VOxaWriter3DS writer(&first);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        const std::string out = dir / "out.3ds";
        ASSERT_TRUE(writer.FileCreate(out.c_str()) && writer.Write(a, options.get())) << path;
        VOxaSdkManager second;
        VOxaScene* b = second.CreateScene();
        ASSERT_TRUE(ReadInto(second, b, out, error)) << path << ": " << error;
        report.Read("3ds");

        std::vector<VOxaNode*> before = MeshNodes(a), after = MeshNodes(b);
        ASSERT_EQ(before.size(), after.size()) << path;
        VTime start(0), stop(0);
        a->GetRootNode()->GetAnimationInterval(start, stop);
        const int64_t frames = std::min<int64_t>(stop.GetFrame(true, 6), 30);
        for (size_t i = 0; i < before.size(); ++i) {
            VOxaMesh* ma = before[i]->GetMesh();
            VOxaMesh* mb = after[i]->GetMesh();
            EXPECT_EQ(ma->GetPolygonCount(), mb->GetPolygonCount()) << path << " " << before[i]->GetName();
            EXPECT_EQ(ma->GetMaterialCount(0) > 0, mb->GetMaterialCount(0) > 0) << path;
            for (int64_t f = 0; f <= frames; ++f) {
                const VgeAMatrix ga = before[i]->EvaluateGlobalTransform(Frame30((int)f));
                const VgeAMatrix gb = after[i]->EvaluateGlobalTransform(Frame30((int)f));
                VgeTVector ta = ga.GetT(), tb = gb.GetT();
                const double scale = 1e-3 * (1.0 + std::fabs(ta[0]) + std::fabs(ta[1]) + std::fabs(ta[2]));
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(ta[j], tb[j], scale) << path << " " << before[i]->GetName() << " frame " << f;
            }
        }
        ++compared;
    }
    report.Print();
    EXPECT_GT(compared, 0);
}
