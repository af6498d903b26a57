// Files the 3DS writer makes, read by independent programs: the chunk dumper must walk the whole
// chunk tree, and the asset viewer must find our face total, at least one mesh per written mesh
// (it splits meshes by material), and our camera and light counts. Vertex counts are not compared:
// the viewer splits and joins vertices on its own terms.
#include <gtest/gtest.h>

#include <regex>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_material.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"
#include "tests/support/corpus.h"

using namespace writer3ds;

namespace {

// A scene of two meshes (one with two materials), a camera and a spot light, animated.
std::string WriteSample(const ScratchDir& dir) {
    Rig rig;
    VOxaNode* group = AddNode(rig.manager, rig.Root(), "Group");
    VOxaNode* node = nullptr;
    std::vector<VgeTVector> points = Square();
    for (const VgeTVector& p : Square())
        points.push_back(VgeTVector(p[0] + 3, p[1], 1, 1));
    VOxaMesh* a = AddMesh(rig.manager, group, "Quads", points, {}, &node);
    a->AddMaterial(rig.manager.CreateMaterial("Red"), 0);
    VOxaMaterial* green = rig.manager.CreateMaterial("Green");
    green->SetDiffuse(VOxaColor(0, 1, 0, 1));
    a->AddMaterial(green, 0);
    a->InitMaterialIndices(3);
    for (int p = 0; p < 2; ++p) {
        a->BeginPolygon(p, -1, -1);
        for (int v : {0, 1, 2, 3})
            a->AddPolygonVertex(v + 4 * p);
        a->EndPolygon();
    }
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(5), 3, 2, 1);
    AddMesh(rig.manager, rig.Root(), "Tri", Square(), {{0, 1, 2}});
    VOxaNode* cam = AddNode(rig.manager, rig.Root(), "Cam");
    cam->SetNodeAttribute(rig.manager.CreateCamera());
    VOxaNode* spot = AddNode(rig.manager, rig.Root(), "Spot");
    VOxaLight* light = rig.manager.CreateLight();
    spot->SetNodeAttribute(light);
    light->SetLightType(VOxaLight::eSPOT);
    const std::string path = dir / "sample.3ds";
    EXPECT_TRUE(rig.WriteTo(path));
    return path;
}

int Count(const std::string& text, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(label + ":\\s+([0-9]+)"))) return -1;
    return std::stoi(match[1]);
}

}  // namespace

TEST(writer3ds_interop, ChunkDumperReadsTheWholeTree) {
    const std::string missing = corpustest::MissingReader(corpustest::k3dsDump);
    if (!missing.empty()) GTEST_SKIP() << missing;
    ScratchDir dir("dump");
    const std::string path = WriteSample(dir);
    corpustest::RunResult run = corpustest::RunProgram({"3dsdump", "-s", path});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("MDATA"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("KFDATA"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("rror"), std::string::npos) << run.output;
}

TEST(writer3ds_interop, AssetViewerFindsOurCounts) {
    const std::string missing = corpustest::MissingReader(corpustest::kAssimpInfo);
    if (!missing.empty()) GTEST_SKIP() << missing;
    ScratchDir dir("info");
    const std::string path = WriteSample(dir);
    corpustest::RunResult run = corpustest::RunProgram({"assimp", "info", path});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Count(run.output, "Faces"), 5) << run.output;
    EXPECT_GE(Count(run.output, "Meshes"), 2) << run.output;
    EXPECT_EQ(Count(run.output, "Cameras"), 1) << run.output;
    EXPECT_EQ(Count(run.output, "Lights"), 1) << run.output;
}
