// Hands OBJ files that our writer made to an independent reader: the face count of its raw import
// ("assimp info -r") must be ours, and so must the vertex count once its per-corner vertices are
// joined again, which its OBJ exporter does ("assimp export": one "v" line per distinct vertex).
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_scene_util.h"
#include "tests/support/corpus.h"

using namespace objtest;

namespace {

int Count(const std::string& output, const std::string& label) {
    std::smatch m;
    if (!std::regex_search(output, m, std::regex(label + ":\\s+(\\d+)"))) return -1;
    return std::stoi(m[1]);
}

TEST(obj_interop, AssimpReadsOurFacesAndVertices) {
    std::string missing = corpustest::MissingReader(corpustest::kAssimpInfo);
    if (!missing.empty()) GTEST_SKIP() << missing;
    ScratchDir dir("interop");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    SampleScene counts = BuildSampleScene(manager, scene);
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    const std::string path = dir / "sample.obj";
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    ASSERT_TRUE(writer.Write(scene, options.get()));
    ASSERT_TRUE(writer.FileClose());

    corpustest::RunResult raw = corpustest::RunProgram({"assimp", "info", path, "-r"});
    ASSERT_EQ(raw.status, 0) << raw.output;
    EXPECT_EQ(Count(raw.output, "Faces"), counts.polygons) << raw.output;
    EXPECT_NE(raw.output.find("'Red'"), std::string::npos) << raw.output;
    const std::string again = dir / "again.obj";
    corpustest::RunResult exported = corpustest::RunProgram({"assimp", "export", path, again});
    ASSERT_EQ(exported.status, 0) << exported.output;
    EXPECT_EQ((int)Lines(ReadText(again), "v ").size(), counts.points) << exported.output;
}

}  // namespace
