#include "formats/geometry/dxf/voxa_reader_dxf.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>

#include "attributes/voxa_face_flags.h"
#include "dxf_test_util.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "scene/voxa_global_light_settings.h"

using namespace dxftest;

namespace {

using Points = std::vector<std::vector<double>>;

const Points kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

VOxaMesh* MeshOf(VOxaNode* node) {
    return node ? node->GetMesh() : nullptr;
}

}  // namespace

TEST(dxf_reader, ErrorsWithoutFileOrOptions) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderDxf reader(&manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    EXPECT_FALSE(reader.Read(scene, options.get()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_FALSE(reader.FileOpen("/nonexistent/dir/file.dxf"));
    EXPECT_EQ(reader.GetError().GetLastErrorString(), "File not opened");

    std::string text = File({});
    reader.OpenMemory(text.data(), text.size());
    EXPECT_FALSE(reader.Read(scene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    std::unique_ptr<VStreamOptions> foreign(VStreamOptionsObj::Create());
    EXPECT_FALSE(reader.Read(scene, foreign.get()));
    EXPECT_EQ(reader.GetError().GetLastErrorString(), "Stream options not set");
    EXPECT_TRUE(reader.Read(scene, options.get()));       // an empty ENTITIES section
    ASSERT_EQ(scene->GetRootNode()->GetChildCount(), 1);  // the reference node, by default
    EXPECT_STREQ(scene->GetRootNode()->GetChild(0)->GetName(), "Model::memory_root");
    EXPECT_EQ(scene->GetRootNode()->GetChild(0)->GetChildCount(), 0);
}

TEST(dxf_reader, GroupingModesFollowTheOption) {
    const std::string text = File(Join({Face("A", kSquare), Line("A", {0, 0, 0}, {1, 1, 1})}));
    {
        Reading r;
        ASSERT_TRUE(r.Read(text, kLayer));
        EXPECT_EQ(r.reader.GetGroupingMode(), 0);
        ASSERT_EQ(r.Root()->GetChildCount(), 1);
        EXPECT_EQ(r.Name(r.Child(0)), "Model::A");
    }
    {
        Reading r;
        ASSERT_TRUE(r.Read(text, kBlock));
        EXPECT_EQ(r.reader.GetGroupingMode(), 2);
        ASSERT_EQ(r.Root()->GetChildCount(), 1);
        EXPECT_EQ(r.Name(r.Child(0)), "Model::ENTITIES");
        EXPECT_EQ(MeshOf(r.Child(0))->GetPolygonCount(), 2);
    }
    {
        Reading r;
        ASSERT_TRUE(r.Read(text, kEntity));
        EXPECT_EQ(r.reader.GetGroupingMode(), 1);
        ASSERT_EQ(r.Root()->GetChildCount(), 2);
        EXPECT_EQ(r.Name(r.Child(0)), "Model::3DFACE");
        EXPECT_EQ(r.Name(r.Child(1)), "Model::LINE");
        EXPECT_EQ(r.Child(1)->GetShadingMode(), 1);  // lines show as wire frame
        EXPECT_EQ(Polygon(MeshOf(r.Child(1)), 0), (std::vector<int>{0, 1, 0}));
    }
}

TEST(dxf_reader, LayersInCaselessOrderAndRenamedAcrossReads) {
    Reading r;
    const std::string text =
        File(Join({Face("b", kSquare), Face("A", kSquare), Face("B", kSquare), Face("Wall 1", kSquare)}));
    ASSERT_TRUE(r.Read(text));
    ASSERT_EQ(r.Root()->GetChildCount(), 3);
    EXPECT_EQ(r.Name(r.Child(0)), "Model::A");
    EXPECT_EQ(r.Name(r.Child(1)), "Model::b");  // first spelling; "B" joins it
    EXPECT_EQ(MeshOf(r.Child(1))->GetPolygonCount(), 2);
    EXPECT_EQ(r.Name(r.Child(2)), "Model::Wall 1");  // the whole value line
    // The same reader counts on: a second read of the same file numbers the names.
    ASSERT_TRUE(r.Read(text));
    ASSERT_EQ(r.Root()->GetChildCount(), 6);
    EXPECT_EQ(r.Name(r.Child(3)), "Model::A1");
    EXPECT_EQ(r.Name(r.Child(4)), "Model::b1");
    // Entity mode numbers per keyword.
    ASSERT_TRUE(r.Read(File(Join({Polyface("L", kSquare, {{1, 2, 3, 4}}), Polyface("L", kSquare, {{1, 2, 3}}),
                                  Face("L", kSquare), Line("L", {0, 0, 0}, {1, 0, 0})})),
                       kEntity));
    ASSERT_EQ(r.Root()->GetChildCount(), 10);
    EXPECT_EQ(r.Name(r.Child(6)), "Model::POLYLINE");
    EXPECT_EQ(r.Name(r.Child(7)), "Model::POLYLINE1");
    EXPECT_EQ(r.Name(r.Child(8)), "Model::3DFACE");
    EXPECT_EQ(r.Name(r.Child(9)), "Model::LINE");
}

TEST(dxf_reader, FacesTrianglesAndDegenerates) {
    const Points triangle = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}};
    const Points point = {{2, 2, 2}, {2, 2, 2.0000005}, {2, 2, 2}, {3, 3, 3}};
    const Points samePoint = {{2, 2, 2}, {2, 2, 2}, {2, 2, 2}, {3, 3, 3}};
    {
        Reading r;
        ASSERT_TRUE(r.Read(
            File(Join({Face("A", triangle), Face("A", point), Face("A", samePoint), Face("A", kSquare)})),
            kLayer, false));
        VOxaMesh* mesh = MeshOf(r.Child(0));
        ASSERT_EQ(mesh->GetPolygonCount(), 2);  // the point-like faces are dropped, with a word
        EXPECT_NE(
            r.reader.GetMessageText().Find("2 faces (3DFACE, SOLID or TRACE) whose first three corners"), -1)
            << r.reader.GetMessageText().Buffer();
        EXPECT_EQ(mesh->GetPolygonSize(0), 3);
        EXPECT_EQ(mesh->GetPolygonSize(1), 4);
        // The corners come in file order and the scene is Y-up: (x, z, -y).
        EXPECT_EQ(PolygonPoints(mesh, 0), (Points{{0, 0, 0}, {1, 0, 0}, {1, 0, -1}}));
        EXPECT_EQ(mesh->GetControlPointsCount(), 7);
    }
    {
        Reading r;
        ASSERT_TRUE(r.Read(File(Face("A", point)), kEntity));
        ASSERT_EQ(r.Root()->GetChildCount(), 1);  // kept in entity mode
        EXPECT_EQ(MeshOf(r.Child(0))->GetPolygonSize(0), 4);
    }
    // Both modes: a repeated fourth corner makes a triangle only when x, y and z all repeat, and
    // the corners come in file order.
    const Points tilted = {{0, 0, 0}, {1, 0, 2}, {3, 1, 5}, {3, 1, 5}};
    const Points quad = {{0, 0, 0}, {1, 0, 2}, {3, 1, 5}, {3, 1, 3}};
    for (int mode : {kLayer, kEntity}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Join({Face("A", tilted), Face("A", quad)})), mode, false)) << mode;
        VOxaMesh* first = MeshOf(r.Child(0));
        VOxaMesh* second = mode == kLayer ? first : MeshOf(r.Child(1));
        const int k = mode == kLayer ? 1 : 0;
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(PolygonPoints(first, 0), (Points{{0, 0, 0}, {1, 2, 0}, {3, 5, -1}})) << mode;
        EXPECT_EQ(PolygonPoints(second, k), (Points{{0, 0, 0}, {1, 2, 0}, {3, 5, -1}, {3, 3, -1}})) << mode;
        EXPECT_EQ(first->GetControlPointsCount(), mode == kLayer ? 7 : 3) << mode;
    }
}

TEST(dxf_reader, WeldingFindsTheFirstPointWithinTolerance) {
    // Two quads sharing an edge, the second's corners a little off.
    const Points second = {{1, 0, 0.0000009}, {2, 0, 0}, {2, 1, 0}, {1, 1.0000004, 0}};
    Reading r;
    ASSERT_TRUE(r.Read(File(Join({Face("A", kSquare), Face("A", second)}))));
    VOxaMesh* mesh = MeshOf(r.Child(0));
    EXPECT_EQ(mesh->GetControlPointsCount(), 6);
    EXPECT_EQ(Polygon(mesh, 0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(Polygon(mesh, 1), (std::vector<int>{1, 4, 5, 2}));
    // Without welding every corner is a point of its own.
    ASSERT_TRUE(r.Read(File(Join({Face("B", kSquare), Face("B", second)})), kLayer, false));
    EXPECT_EQ(MeshOf(r.Child(1))->GetControlPointsCount(), 8);
    // Two points both within 1e-6 of a corner: the first (smallest index) wins, also when a
    // polyline put its points in the group unwelded.
    ASSERT_TRUE(r.Read(File(Join({Polyline3D("C", {{5, 5, 5}, {5.0000008, 5, 5}, {5.0000002, 5, 5}}, false),
                                  Line("C", {5.0000009, 5, 5}, {5.0000016, 5, 5})}))));
    VOxaMesh* lines = MeshOf(r.Child(2));
    EXPECT_EQ(lines->GetControlPointsCount(), 3);
    EXPECT_EQ(Polygon(lines, 2), (std::vector<int>{0, 1, 0}));  // not the nearest, the first
    // Points that differ only in z (by more than the tolerance) are both kept: an end near the
    // second only welds to the second.
    ASSERT_TRUE(r.Read(File(Join({Polyline3D("E", {{5, -1.0000009, 5}, {5, -1, 5}}, false),
                                  Line("E", {5, -0.9999991, 5}, {6, 6, 6})}))));
    VOxaMesh* near = MeshOf(r.Child(3));
    EXPECT_EQ(near->GetControlPointsCount(), 3);
    EXPECT_EQ(Polygon(near, 1), (std::vector<int>{1, 2, 1}));
    // A LINE whose ends coincide but are new gets two points (both are looked up first).
    ASSERT_TRUE(r.Read(File(Line("D", {7, 7, 7}, {7, 7, 7}))));
    EXPECT_EQ(MeshOf(r.Child(4))->GetControlPointsCount(), 2);
}

TEST(dxf_reader, ColoursMaterialsAndHiddenLayers) {
    Reading r;
    const std::string text =
        File(Join({Face("Off", kSquare), Face("On", kSquare, 1), Face("On", kSquare, 256),
                   Face("On", kSquare, 300), Face("Off", kSquare, 1)}),
             Layers({{"OFF", -3}, {"On", 0}}));
    ASSERT_TRUE(r.Read(text));
    ASSERT_EQ(r.Root()->GetChildCount(), 2);
    VOxaNode* off = r.Child(0);
    VOxaNode* on = r.Child(1);
    EXPECT_EQ(r.Name(off), "Model::Off");
    EXPECT_FALSE(off->GetVisibility());
    EXPECT_TRUE(on->GetVisibility());
    // The layer's colour number, made positive, for faces without their own.
    VOxaMaterial* green = PolygonMaterial(MeshOf(off), 0);
    ASSERT_NE(green, nullptr);
    EXPECT_EQ(green->GetDiffuse(), VOxaColor(0, 1, 0, 1));
    // Colour 1 gives the reader's first material; both meshes share it.
    VOxaMaterial* red = r.reader.GetCachedMaterial(1);
    ASSERT_NE(red, nullptr);
    EXPECT_STREQ(red->GetName(), "Material::Material1");  // the layer colour 3 came first
    EXPECT_EQ(PolygonMaterial(MeshOf(off), 1), red);
    EXPECT_EQ(PolygonMaterial(MeshOf(on), 0), red);
    // 256 (the layer's) takes the layer colour 0 here: no material; 300 is outside the palette.
    VOxaMesh* mesh = MeshOf(on);
    ASSERT_EQ(mesh->GetPolygonCount(), 3);
    EXPECT_EQ(mesh->GetMaterialCount(0), 1);
    EXPECT_EQ(r.reader.GetMaterialCounter(), 2);
    // A second read reuses the materials for equal colour numbers.
    ASSERT_TRUE(r.Read(File(Face("X", kSquare, 1))));
    EXPECT_EQ(PolygonMaterial(MeshOf(r.Child(2)), 0), red);
    EXPECT_EQ(r.reader.GetMaterialCounter(), 2);
}

TEST(dxf_reader, ColoursBeyondTheTableAreSafe) {
    Reading r;
    const std::string text =
        File(Join({Face("Min", kSquare), Face("Big", kSquare), Polyface("P", kSquare, {{1, 2, 3}}, 256)}),
             Layers({{"Min", INT_MIN}, {"Big", 99999}, {"P", -5}}));
    ASSERT_TRUE(r.Read(text));
    ASSERT_EQ(r.Root()->GetChildCount(), 3);
    EXPECT_EQ(MeshOf(r.Child(0))->GetMaterialCount(0), 0);
    EXPECT_EQ(MeshOf(r.Child(1))->GetMaterialCount(0), 0);
    VOxaMaterial* m = PolygonMaterial(MeshOf(r.Child(2)), 0);
    ASSERT_NE(m, nullptr);  // BYLAYER on a layer that is off: colour 5
    EXPECT_EQ(m->GetDiffuse(), VOxaColor(0, 0, 1, 1));
    // A face record's own 256 takes the polyline's colour; codes and integers beyond int are
    // passed over.
    Groups groups = Polyface("Q", kSquare, {{1, 2, 3}}, 2);
    groups.insert(groups.end() - 1, {62, "256"});
    groups.insert(groups.begin() + 1, {70, "99999999999"});
    std::string text2 = File(groups);
    text2.insert(text2.find("POLYLINE\n") + 9, "99999999999\nx\n-99999999999\ny\n");
    ASSERT_TRUE(r.Read(text2));
    EXPECT_EQ(PolygonMaterial(MeshOf(r.Child(3)), 0)->GetDiffuse(), VOxaColor(1, 1, 0, 1));
}

TEST(dxf_reader, PolylinesClosedAndNegativeIndexes) {
    Reading r;
    ASSERT_TRUE(r.Read(File(Polyline3D("A", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, true))));
    VOxaMesh* mesh = MeshOf(r.Child(0));
    ASSERT_EQ(mesh->GetPolygonCount(), 4);  // three segments and the closing one
    EXPECT_EQ(Polygon(mesh, 0), (std::vector<int>{1, 0, 1}));
    EXPECT_EQ(Polygon(mesh, 2), (std::vector<int>{3, 2, 3}));
    EXPECT_EQ(Polygon(mesh, 3), (std::vector<int>{0, 3, 0}));
    // A closed polyline of fewer than two vertices has nothing to close.
    ASSERT_TRUE(r.Read(File(Join({Polyline3D("B", {{0, 0, 0}}, true), Polyline3D("B", {}, true)}))));
    EXPECT_EQ(MeshOf(r.Child(1))->GetPolygonCount(), 0);
    // 71 = -1, 72 = 2, 73 = 3 after two points of an earlier polyline (base 2).
    ASSERT_TRUE(r.Read(
        File(Join({Polyline3D("C", {{9, 9, 9}, {8, 8, 8}}, false),
                   Polyface("C", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{-1, 2, 3}, {1, 2, 4}, {1, 2}})}))));
    VOxaMesh* faces = MeshOf(r.Child(2));
    ASSERT_EQ(faces->GetPolygonCount(), 3);  // the record naming a fourth point is dropped
    EXPECT_EQ(Polygon(faces, 1), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(Polygon(faces, 2), (std::vector<int>{2, 3, 2}));  // a two-index record: a line
    // Two vertices are enough to close: the closing segment runs back over the only one.
    for (int mode : {kLayer, kEntity}) {
        Reading two;
        ASSERT_TRUE(two.Read(File(Polyline3D("D", {{0, 0, 0}, {1, 0, 0}}, true)), mode)) << mode;
        VOxaMesh* pair = MeshOf(two.Child(0));
        ASSERT_EQ(pair->GetPolygonCount(), 2) << mode;
        EXPECT_EQ(Polygon(pair, 1), (std::vector<int>{0, 1, 0})) << mode;
    }
}

TEST(dxf_reader, ReferenceNodeNamedAfterTheFile) {
    Reading r;
    ASSERT_TRUE(r.Read(File(Face("A", kSquare)), kLayer, true, true, "C:\\models\\part.dxf"));
    ASSERT_EQ(r.Root()->GetChildCount(), 1);
    VOxaNode* reference = r.Child(0);
    EXPECT_EQ(r.Name(reference), "Model::part_root");
    ASSERT_EQ(reference->GetChildCount(), 1);
    EXPECT_EQ(r.Name(reference->GetChild(0)), "Model::A");
}

TEST(dxf_reader, BlocksNamedAndPlaced) {
    const Groups blocks = Join({Block("B", Face("0", kSquare)), Block("Empty", {})});
    Reading r;
    ASSERT_TRUE(r.Read(File(Join({Face("A", kSquare), Insert("B", {1, 2, 3}, {2, 3, 4}, 90), Insert("B"),
                                  Insert("Missing"), Insert("Empty"), Face("A", kSquare)}),
                            {}, blocks)));
    // Layer A (both faces, read on after the missing block) and the two instances of B.
    ASSERT_EQ(r.Root()->GetChildCount(), 3);
    VOxaNode* b = r.Child(0);
    VOxaNode* b1 = r.Child(1);
    EXPECT_EQ(r.Name(b), "Model::B");
    EXPECT_EQ(r.Name(b1), "Model::B1");
    EXPECT_EQ(r.Name(r.Child(2)), "Model::A");
    EXPECT_EQ(MeshOf(r.Child(2))->GetPolygonCount(), 2);
    ASSERT_NE(MeshOf(b), nullptr);
    ASSERT_NE(MeshOf(b1), nullptr);
    EXPECT_NE(MeshOf(b), MeshOf(b1));
    VgeTVector v;
    b->GetLclScaling(v);
    EXPECT_EQ(v, VgeTVector(2, 4, 3, 0));
    b->GetLclRotation(v);
    EXPECT_EQ(v, VgeTVector(0, 90, 0, 0));
    b->GetLclTranslation(v);
    EXPECT_EQ(v, VgeTVector(1, 3, -2, 0));
    b1->GetLclScaling(v);
    EXPECT_EQ(v, VgeTVector(1, 1, 1, 0));
    b1->GetLclTranslation(v);
    EXPECT_EQ(v, VgeTVector(0, 0, 0, 0));
    // A base point on the z axis alone still moves the block's points; the same reader, having
    // found no BLOCKS section in the file above, looks again in a new file.
    ASSERT_TRUE(r.Read(File(Insert("Nowhere"))));
    ASSERT_EQ(r.Root()->GetChildCount(), 3);
    const Groups raised = Block("Up", Face("0", {{0, 0, 2}, {1, 0, 2}, {1, 1, 2}, {1, 1, 2}}), {0, 0, 2});
    ASSERT_TRUE(r.Read(File(
        Join({Face("A", kSquare), Face("A", kSquare), Face("A", kSquare), Face("A", kSquare), Insert("Up")}),
        {}, raised, true)));
    ASSERT_EQ(r.Root()->GetChildCount(), 5);
    VOxaNode* up = r.Child(3);
    EXPECT_EQ(r.Name(up), "Model::Up");
    ASSERT_NE(MeshOf(up), nullptr);
    EXPECT_EQ(PolygonPoints(MeshOf(up), 0), (Points{{0, 0, 0}, {1, 0, 0}, {1, 0, -1}}));
}

TEST(dxf_reader, BlockModeNestedBlocksAndBasePoints) {
    // Outer holds only a reference to Inner; Inner's base point is (1, 1, 0).
    const Groups blocks =
        Join({Block("Outer", Insert("Inner", {5, 0, 0})),
              Block("Inner", Face("0", {{1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {2, 2, 0}}), {1, 1, 0})});
    for (bool after : {false, true}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Join({Face("A", kSquare), Insert("Outer", {0, 0, 7}), Face("A", kSquare)}),
                                {}, blocks, after),
                           kBlock))
            << after;
        ASSERT_EQ(r.Root()->GetChildCount(), 2) << after;
        VOxaNode* outer = r.Child(0);
        VOxaNode* entities = r.Child(1);
        EXPECT_EQ(r.Name(entities), "Model::ENTITIES");
        EXPECT_EQ(MeshOf(entities)->GetPolygonCount(), 2);
        EXPECT_EQ(r.Name(outer), "Model::Outer");
        EXPECT_EQ(outer->GetNodeAttribute(), nullptr);
        ASSERT_EQ(outer->GetChildCount(), 1) << after;
        VOxaNode* inner = outer->GetChild(0);
        EXPECT_EQ(r.Name(inner), "Model::Inner");
        // The block's points are relative to its base point; the insertion point is the
        // translation.
        EXPECT_EQ(PolygonPoints(MeshOf(inner), 0), (Points{{0, 0, 0}, {1, 0, 0}, {1, 0, -1}}));
        VgeTVector v;
        inner->GetLclTranslation(v);
        EXPECT_EQ(v, VgeTVector(5, 0, 0, 0));
        outer->GetLclTranslation(v);
        EXPECT_EQ(v, VgeTVector(0, 7, 0, 0));
    }
}

TEST(dxf_reader, SelfInsertingBlocksStopWithAWarning) {
    const Groups blocks =
        Join({Block("Loop", Join({Face("0", kSquare), Insert("Loop")})),
              Block("P", Join({Insert("Q"), Face("0", kSquare)})), Block("Q", Insert("P"))});
    Reading r;
    ASSERT_TRUE(r.Read(File(Join({Insert("Loop"), Insert("P")}), {}, blocks)));
    ASSERT_EQ(r.Root()->GetChildCount(), 2);
    EXPECT_EQ(r.Child(0)->GetChildCount(), 0);
    ASSERT_EQ(r.Child(1)->GetChildCount(), 1);  // P holds Q, whose reference back to P is skipped
    EXPECT_EQ(r.Child(1)->GetChild(0)->GetChildCount(), 0);
    EXPECT_NE(std::string(r.reader.GetMessageText().Buffer()).find("\"Loop\" refers to itself"),
              std::string::npos);
    // A chain deeper than the cap stops at the cap.
    Groups chain;
    for (int i = 0; i < 40; ++i)
        chain = Join({chain, Block("C" + std::to_string(i), Insert("C" + std::to_string(i + 1)))});
    chain = Join({chain, Block("C40", Face("0", kSquare))});
    Reading deep;
    ASSERT_TRUE(deep.Read(File(Insert("C0"), {}, chain)));
    int depth = 0;
    for (VOxaNode* n = deep.Child(0); n && n->GetChildCount(); n = n->GetChild(0))
        ++depth;
    EXPECT_EQ(depth, VOxaReaderDxf::kMaxBlockDepth - 1);
    EXPECT_NE(std::string(deep.reader.GetMessageText().Buffer()).find("nested too deeply"),
              std::string::npos);
}

TEST(dxf_reader, TruncatedAndOddFilesNeverCrash) {
    const std::string full =
        File(Join({Polyface("A", kSquare, {{1, 2, 3, 4}}), Face("A", kSquare), Insert("B")}),
             Layers({{"A", 1}}), Block("B", Polyline3D("0", kSquare, true)));
    for (size_t cut = 0; cut < full.size(); cut += 7) {
        Reading r;
        r.Read(full.substr(0, cut));
        Reading e;
        e.Read(full.substr(0, cut), kEntity);
    }
    Reading r;
    EXPECT_TRUE(r.Read("  0\nEOF\n"));
    EXPECT_FALSE(r.Read(""));
    EXPECT_EQ(r.reader.GetError().GetLastErrorString(), "File is corrupted: line 1: the file is empty");
    EXPECT_FALSE(r.Read(std::string("AutoCAD Binary DXF\r\n\x1a\0\x00\x01", 25)));
    // The last group without a line end is lost: a file ending "EOF" without it fails.
    EXPECT_FALSE(r.Read("  0\nEOF"));
}

TEST(dxf_reader, CorruptedFilesSayWhereTheyEnd) {
    auto error = [](const std::string& text, int mode = kLayer) {
        Reading r;
        if (r.Read(text, mode)) return std::string("(read)");
        EXPECT_EQ(r.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
        return std::string(r.reader.GetError().GetLastErrorString().Buffer());
    };
    EXPECT_EQ(error(""), "File is corrupted: line 1: the file is empty");
    // A header cut short, after a value line and after a code line.
    const std::string header = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n";
    EXPECT_EQ(error(header), "File is corrupted: line 8: the file ends inside its HEADER section");
    EXPECT_EQ(error(header + "  9\n"), "File is corrupted: line 9: the file ends inside its HEADER section");
    // A last line without its line end is still the last line; CR LF ends count as one.
    EXPECT_EQ(error("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  0\r\nENDSEC\r\n  0\r\nEO"),
              "File is corrupted: line 8: the file ends before its ENTITIES section");
    EXPECT_EQ(error("999\ncomment only\n"),
              "File is corrupted: line 2: the file ends before its ENTITIES section");
    // Cut inside the tables, the blocks and the entities, in every grouping mode.
    const std::string full = File(Join({Polyface("A", kSquare, {{1, 2, 3, 4}}), Face("A", kSquare)}),
                                  Layers({{"A", 1}}), Block("B", Face("0", kSquare)));
    auto cutAfter = [&](const char* marker) {
        const size_t at = full.find(marker);
        EXPECT_NE(at, std::string::npos) << marker;
        return full.substr(0, at + std::strlen(marker));
    };
    const std::string tables = cutAfter("ENDTAB\n");
    EXPECT_EQ(error(tables), "File is corrupted: line " +
                                 std::to_string(std::count(tables.begin(), tables.end(), '\n')) +
                                 ": the file ends inside its TABLES section");
    EXPECT_NE(error(cutAfter("ENDBLK\n")).find(": the file ends inside its BLOCKS section"),
              std::string::npos);
    const std::string entities = cutAfter("SEQEND\n");
    const std::string line = std::to_string(std::count(entities.begin(), entities.end(), '\n'));
    for (int mode : {kLayer, kBlock, kEntity})
        EXPECT_EQ(error(entities, mode),
                  "File is corrupted: line " + line + ": the file ends inside its ENTITIES section")
            << mode;
    // A file read from disk names the same line, and the count does not disturb the reading.
    const std::string path = ::testing::TempDir() + "dxf_cut_" + std::to_string(getpid()) + ".dxf";
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(entities.data(), 1, entities.size(), f);
        std::fclose(f);
    }
    VOxaSdkManager manager;
    VOxaReaderDxf reader(&manager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    EXPECT_FALSE(reader.Read(manager.CreateScene(), options.get()));
    EXPECT_EQ(std::string(reader.GetError().GetLastErrorString().Buffer()),
              "File is corrupted: line " + line + ": the file ends inside its ENTITIES section");
    reader.FileClose();
    std::remove(path.c_str());
}

TEST(dxf_reader, FaceGroupsBesideTheCornersLeaveThemAlone) {
    // Invisible-edge flags (70), thickness (39) and extrusion (210, 220, 230) are passed over.
    Groups face = Face("A", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 3);
    face.insert(face.end(),
                {{70, "15"}, {39, "2.5"}, {210, "0"}, {220, "0"}, {230, "1"}, {14, "9"}, {40, "7"}});
    for (int mode : {kLayer, kEntity}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(face), mode)) << mode;
        VOxaMesh* mesh = MeshOf(r.Child(0));
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetPolygonCount(), 1);
        // Corners in file order, in scene axes (x, z, -y).
        EXPECT_EQ(PolygonPoints(mesh, 0),
                  (std::vector<std::vector<double>>{{0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}}))
            << mode;
        EXPECT_EQ(PolygonMaterial(mesh, 0)->GetDiffuse(), VOxaColor(0, 1, 0, 1)) << mode;
    }
}

TEST(dxf_reader, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
    // The first group opens the ENTITIES section: with the mark taken for part of its code line,
    // the section would not be found.
    const std::string text = Text(Join({Section("ENTITIES", Face("A", kSquare)), {{0, "EOF"}}}));
    const std::string marked = "\xEF\xBB\xBF" + text;
    const std::vector<std::vector<double>> corners = {{0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1}};
    {
        Reading r;
        ASSERT_TRUE(r.Read(marked));
        ASSERT_EQ(r.Root()->GetChildCount(), 1);
        EXPECT_EQ(r.Name(r.Child(0)), "Model::A");
        ASSERT_NE(MeshOf(r.Child(0)), nullptr);
        EXPECT_EQ(PolygonPoints(MeshOf(r.Child(0)), 0), corners);
    }
    // From a file, whose first block is read when it is opened.
    const std::string path = ::testing::TempDir() + "dxf_bom_" + std::to_string(getpid()) + ".dxf";
    for (const std::string& content : {marked, text}) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReaderDxf reader(&manager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        static_cast<VStreamOptionsDxf*>(options.get())
            ->SetOptionValue(VStreamOptionsDxf::eCREATE_REFERENCE_NODE, 0);
        ASSERT_TRUE(reader.Read(scene, options.get())) << reader.GetError().GetLastErrorString().Buffer();
        ASSERT_EQ(scene->GetRootNode()->GetChildCount(), 1);
        ASSERT_NE(MeshOf(scene->GetRootNode()->GetChild(0)), nullptr);
        EXPECT_EQ(PolygonPoints(MeshOf(scene->GetRootNode()->GetChild(0)), 0), corners);
        reader.FileClose();
    }
    std::remove(path.c_str());
}

namespace {

// Where DXF puts a block point p of an instance: its scale, then its rotation about Z, then the
// insertion point (the block's base point at the origin).
std::vector<double> Placed(std::vector<double> p, std::vector<double> at, std::vector<double> scale,
                           double angle) {
    const double a = angle * M_PI / 180.0;
    const double x = p[0] * scale[0], y = p[1] * scale[1], z = p[2] * scale[2];
    return {x * std::cos(a) - y * std::sin(a) + at[0], x * std::sin(a) + y * std::cos(a) + at[1], z + at[2]};
}

// The world positions of a node's mesh points, and whether its world matrix can be inverted.
Points WorldPoints(VOxaNode* node, bool& invertible) {
    const VgeAMatrix m = VOxaGeometryWorldMatrix(node);
    invertible = std::fabs(VgeMatrixDeterminant3(m.mData)) > 1e-9;
    Points out;
    VOxaMesh* mesh = node->GetMesh();
    for (int i = 0; mesh && i < mesh->GetControlPointsCount(); ++i) {
        const VgeTVector q = m.MultT(mesh->GetControlPoints()[i]);
        out.push_back({q[0], q[1], q[2]});
    }
    return out;
}

void ExpectNear(const Points& expected, const Points& actual, const std::string& what) {
    ASSERT_EQ(expected.size(), actual.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(expected[i][k], actual[i][k], 1e-9) << what << " point " << i << " axis " << k;
}

}  // namespace

TEST(dxf_reader, InstancesThatFlattenTheirBlockPutItIntoThePoints) {
    // A raised square, placed by an instance of z scale 0 (a 2D drawing's habit), of scale
    // (2, 3, 0) turned by 90 degrees, and inside a block whose instance flattens it, beside an
    // inner instance of its own placement.
    const Points square = {{100, 200, 5}, {101, 200, 5}, {101, 201, 5}, {100, 201, 5}};
    const Groups blocks = Join({Block("Door", Face("0", square)),
                                Block("Frame", Insert("Door", {1, 2, 0}, {1, 2, 3}, 30), {0, 0, 0})});
    struct Case {
        std::vector<double> at, scale;
        double angle;
    };
    const std::vector<Case> cases = {{{0, 0, 0}, {1, 1, 0}, 0}, {{10, 20, 30}, {2, 3, 0}, 90}};
    for (const Case& c : cases) {
        const std::string what =
            "scale " + Num(c.scale[0]) + " " + Num(c.scale[1]) + " angle " + Num(c.angle);
        for (int mode : {kLayer, kBlock}) {
            Reading r;
            ASSERT_TRUE(r.Read(
                File(Join({Insert("Door", c.at, c.scale, c.angle), Insert("Frame", c.at, c.scale, c.angle)}),
                     {}, blocks),
                mode))
                << what;
            VOxaNode* door = nullptr;
            VOxaNode* inner = nullptr;
            for (int i = 0; i < r.Root()->GetChildCount(); ++i) {
                if (r.Name(r.Child(i)) == "Model::Door") door = r.Child(i);
                if (r.Name(r.Child(i)) == "Model::Frame" && r.Child(i)->GetChildCount() == 1)
                    inner = r.Child(i)->GetChild(0);
            }
            ASSERT_NE(door, nullptr) << what;
            ASSERT_NE(inner, nullptr) << what;
            Points expectDoor, expectInner;
            for (const auto& p : square) {
                const auto d = Placed(p, c.at, c.scale, c.angle);
                expectDoor.push_back({d[0], d[2], -d[1]});
                const auto i = Placed(Placed(p, {1, 2, 0}, {1, 2, 3}, 30), c.at, c.scale, c.angle);
                expectInner.push_back({i[0], i[2], -i[1]});
            }
            bool invertible = false;
            ExpectNear(expectDoor, WorldPoints(door, invertible), what + " door");
            EXPECT_TRUE(invertible) << what << " door";
            ExpectNear(expectInner, WorldPoints(inner, invertible), what + " inner");
            EXPECT_TRUE(invertible) << what << " inner";
            VgeTVector scale;
            door->GetLclScaling(scale);
            EXPECT_EQ(scale, VgeTVector(1, 1, 1, 0)) << what;
        }
    }
    // An instance that does not flatten keeps its placement on its node.
    Reading r;
    ASSERT_TRUE(r.Read(File(Insert("Door", {1, 2, 3}, {2, 3, 4}, 90), {}, blocks)));
    VgeTVector scale;
    r.Child(0)->GetLclScaling(scale);
    EXPECT_EQ(scale, VgeTVector(2, 4, 3, 0));
}

TEST(dxf_reader, BlockNamesAreTheWholeLine) {
    // Two blocks whose names share their first word: the instance of the second is its triangle,
    // not the first one's two squares.
    const Points triangle = {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}, {0, 3, 0}};
    const Groups blocks =
        Join({Block("BOX BLOCK",
                    Join({Face("0", kSquare), Face("0", {{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}})})),
              Block("BOX BASE", Face("0", triangle))});
    for (int mode : {kLayer, kBlock, kEntity}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Insert("BOX BASE"), {}, blocks), mode)) << mode;
        ASSERT_EQ(r.Root()->GetChildCount(), 1) << mode;
        EXPECT_EQ(r.Name(r.Child(0)), "Model::BOX BASE") << mode;
        VOxaMesh* mesh = MeshOf(r.Child(0));
        ASSERT_NE(mesh, nullptr) << mode;
        ASSERT_EQ(mesh->GetPolygonCount(), 1) << mode;
        EXPECT_EQ(PolygonPoints(mesh, 0), (Points{{0, 0, 0}, {4, 0, 0}, {0, 0, -3}})) << mode;
    }
}

TEST(dxf_reader, ACubeKeepsItsFacing) {
    // A unit cube of 3DFACEs and of a polyface mesh, each face counter-clockwise seen from
    // outside in DXF's axes: its signed volume there is +1, and the axis change is a rotation.
    const Points v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::vector<std::vector<int>> faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    auto volume = [](const std::vector<Points>& polygons) {
        double sum = 0;
        for (const Points& p : polygons)
            for (size_t j = 1; j + 1 < p.size(); ++j)
                sum += (p[0][0] * (p[j][1] * p[j + 1][2] - p[j][2] * p[j + 1][1]) -
                        p[0][1] * (p[j][0] * p[j + 1][2] - p[j][2] * p[j + 1][0]) +
                        p[0][2] * (p[j][0] * p[j + 1][1] - p[j][1] * p[j + 1][0])) /
                       6.0;
        return sum;
    };
    std::vector<Points> source;
    Groups entities;
    std::vector<std::vector<int>> records;
    for (const auto& f : faces) {
        Points corners;
        for (int i : f)
            corners.push_back(v[(size_t)i]);
        source.push_back(corners);
        entities = Join({entities, Face("A", corners)});
        records.push_back({f[0] + 1, f[1] + 1, f[2] + 1, f[3] + 1});
    }
    ASSERT_NEAR(volume(source), 1.0, 1e-12);
    for (const Groups& cube : {entities, Polyface("A", v, records)}) {
        for (int mode : {kLayer, kEntity}) {
            Reading r;
            ASSERT_TRUE(r.Read(File(cube), mode));
            std::vector<Points> read;
            for (int c = 0; c < r.Root()->GetChildCount(); ++c) {
                VOxaMesh* mesh = MeshOf(r.Child(c));
                for (int k = 0; mesh && k < mesh->GetPolygonCount(); ++k)
                    read.push_back(PolygonPoints(mesh, k));
            }
            ASSERT_EQ(read.size(), 6u) << mode;
            EXPECT_NEAR(volume(read), 1.0, 1e-12) << mode;
        }
    }
}

TEST(dxf_reader, NamesInTheHeadersCodePageAndEscapes) {
    const std::string utf8 =
        "Gr\xC3\xBC\xC3\x9F"
        "e";  // Grüße
    const std::string cp1252 =
        "Gr\xFC\xDF"
        "e";
    struct Case {
        std::string version, page, name, expected;
    };
    // The bytes of each page are the characters' places in its published table (日 is 0x93FA in
    // Shift-JIS, 中 0xD6D0 in GBK and 0xA4A4 in Big5, 한 0xC7D1 in Wansung).
    const std::vector<Case> cases = {
        {"AC1009", "ANSI_1252", cp1252, utf8},
        {"AC1009", "ANSI_1252", "\x80 \x81", "\xE2\x82\xAC _"},   // the euro sign; an undefined byte
        {"AC1009", "", cp1252, utf8},                             // no code page, not UTF-8
        {"AC1009", "", utf8, utf8},                               // no code page, UTF-8
        {"AC1009", "ANSI_1251", "\xC0\xFF", "\xD0\x90\xD1\x8F"},  // Cyrillic А я
        {"AC1009", "ANSI_1250", "\x8A", "\xC5\xA0"},              // Š
        {"AC1009", "ANSI_1253", "\xD9", "\xCE\xA9"},              // Ω
        {"AC1009", "ANSI_874", "\xA1", "\xE0\xB8\x81"},           // Thai ko kai
        {"AC1009", "ANSI_932", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},  // 日本
        {"AC1009", "ANSI_932", "\xB1", "\xEF\xBD\xB1"},                          // a half-width katakana byte
        {"AC1009", "ANSI_936", "\xD6\xD0", "\xE4\xB8\xAD"},                      // 中
        {"AC1009", "ANSI_949", "\xC7\xD1", "\xED\x95\x9C"},                      // 한
        {"AC1009", "ANSI_950", "\xA4\xA4", "\xE4\xB8\xAD"},                      // 中
        {"AC1009", "ANSI_932", "\x93", "_"},  // a lead byte without its trail
        {"AC1009", "ANSI_1252", "\\U+03A9 \\u+03a9", "\xCE\xA9 \xCE\xA9"},
        {"AC1009", "", "\\U+D83D\\U+DE00", "\xF0\x9F\x98\x80"},    // a pair of surrogates
        {"AC1009", "", "\\U+D83D x \\U+12", "\\U+D83D x \\U+12"},  // no character: kept as text
        {"AC1009", "", "a\\b", "a\\b"},
        // Version AC1021 and later hold UTF-8 whatever page the header names.
        {"AC1021", "ANSI_1252", utf8, utf8},
        {"AC1024", "ANSI_932", "\xE6\x97\xA5", "\xE6\x97\xA5"},
        {"AC1021", "ANSI_1252", cp1252, "Gr__e"},  // bytes that are no UTF-8
        // Characters no name holds: controls, C1 controls, a mark that turns the text around.
        {"AC1009", "ANSI_1252", "a\tb\x7F", "a_b_"},
        {"AC1021", "",
         "a\xC2\x85"
         "b\xE2\x80\xAE"
         "c",
         "a_b_c"},
        {"AC1009", "ANSI_1252", "a\\U+202Eb\\U+0085", "a_b_"},
    };
    for (const Case& c : cases) {
        Groups header = {{9, "$ACADVER"}, {1, c.version}};
        if (!c.page.empty()) header.insert(header.end(), {{9, "$DWGCODEPAGE"}, {3, c.page}});
        const std::string text = Text(Join({Section("HEADER", header),
                                            Section("TABLES", Layers({{c.name, -3}})),
                                            Section("ENTITIES", Face(c.name, kSquare)),
                                            {{0, "EOF"}}}));
        Reading r;
        ASSERT_TRUE(r.Read(text)) << c.name;
        ASSERT_EQ(r.Root()->GetChildCount(), 1) << c.name;
        EXPECT_EQ(r.Name(r.Child(0)), "Model::" + c.expected) << c.version << " " << c.page << " " << c.name;
        // The layer's table entry is found under the same name: the layer is off.
        EXPECT_FALSE(r.Child(0)->GetVisibility()) << c.name;
    }
    // A name that grows past the room of a value is cut before the character that does not fit.
    const std::string longName(1100, '\xFC');
    char out[kDxfLineSize];
    DxfNameToUtf8(longName.c_str(), 1252, out);
    EXPECT_EQ(std::strlen(out), (size_t)(kDxfLineSize - 2));
    EXPECT_EQ(std::string(out, 2), "\xC3\xBC");
}

namespace {

// A polygon mesh of M x N vertices (rows of N) with its POLYLINE flags (16, with 1 or 32 closed).
Groups PolygonMesh(const std::string& layer, int m, int n, int flags, const Points& points) {
    Groups g{
        {0, "POLYLINE"},        {8, layer}, {66, "1"}, {70, std::to_string(flags)}, {71, std::to_string(m)},
        {72, std::to_string(n)}};
    for (const auto& p : points)
        g.insert(g.end(),
                 {{0, "VERTEX"}, {8, layer}, {10, Num(p[0])}, {20, Num(p[1])}, {30, Num(p[2])}, {70, "64"}});
    g.push_back({0, "SEQEND"});
    return g;
}

Groups Solid(const std::string& kind, const Points& corners) {
    Groups g{{0, kind}, {8, "S"}};
    for (size_t k = 0; k < corners.size(); ++k)
        g.insert(g.end(), {{10 + (int)k, Num(corners[k][0])},
                           {20 + (int)k, Num(corners[k][1])},
                           {30 + (int)k, Num(corners[k][2])}});
    return g;
}

std::vector<double> ToScene(const std::vector<double>& p) {
    return {p[0], p[2], -p[1]};
}

}  // namespace

TEST(dxf_reader, PolygonMeshesSolidsAndTraces) {
    // A 3 x 3 grid of points (x = column, y = row, z = row * column).
    Points grid;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            grid.push_back({(double)j, (double)i, (double)(i * j)});
    // Quadrangle (i, j): vertices (i, j), (i, j + 1), (i + 1, j + 1), (i + 1, j), wrapping round
    // in a closed direction.
    auto quad = [&](int i, int j) {
        Points q;
        for (auto [a, b] : std::vector<std::pair<int, int>>{{i, j}, {i, j + 1}, {i + 1, j + 1}, {i + 1, j}})
            q.push_back(ToScene(grid[(size_t)((a % 3) * 3 + b % 3)]));
        return q;
    };
    struct Case {
        int flags, rows, columns;
    };
    for (const Case& c : {Case{16, 2, 2}, Case{16 | 32, 2, 3}, Case{16 | 1, 3, 2}, Case{16 | 1 | 32, 3, 3}}) {
        for (int mode : {kLayer, kEntity, kBlock}) {
            Reading r;
            ASSERT_TRUE(r.Read(File(PolygonMesh("M", 3, 3, c.flags, grid)), mode, false));
            VOxaMesh* mesh = MeshOf(r.Child(0));
            ASSERT_NE(mesh, nullptr);
            ASSERT_EQ(mesh->GetPolygonCount(), c.rows * c.columns) << c.flags << " mode " << mode;
            int k = 0;
            for (int i = 0; i < c.rows; ++i)
                for (int j = 0; j < c.columns; ++j, ++k)
                    EXPECT_EQ(PolygonPoints(mesh, k), quad(i, j)) << c.flags << " quad " << i << " " << j;
        }
    }
    // Without a colour the mesh has no materials; with one, its faces take it.
    {
        Reading r;
        Groups coloured = PolygonMesh("C", 3, 3, 16, grid);
        coloured.insert(coloured.begin() + 2, {62, "1"});
        ASSERT_TRUE(r.Read(File(Join({PolygonMesh("M", 3, 3, 16, grid), coloured})), kEntity));
        EXPECT_EQ(MeshOf(r.Child(0))->GetMaterialCount(0), 0);
        EXPECT_EQ(MeshOf(r.Child(0))->GetMaterialMappingMode(), 0);  // no material element
        ASSERT_EQ(MeshOf(r.Child(1))->GetMaterialCount(0), 1);
        EXPECT_EQ(PolygonMaterial(MeshOf(r.Child(1)), 3)->GetDiffuse(), VOxaColor(1, 0, 0, 1));
    }
    // A mesh that names more vertices than it has is not read, and says so.
    {
        Reading r;
        ASSERT_TRUE(r.Read(File(PolygonMesh("M", 4, 3, 16, grid))));
        EXPECT_EQ(MeshOf(r.Child(0))->GetPolygonCount(), 0);
        EXPECT_NE(r.reader.GetMessageText().Find("A polygon mesh of 4 x 3 vertices has 9"), -1)
            << r.reader.GetMessageText().Buffer();
    }
    // A SOLID (and a TRACE) goes round its corners 1, 2, 4, 3; a triangle repeats its third.
    const Points corners = {{0, 0, 1}, {2, 0, 1}, {0, 1, 1}, {2, 1, 1}};
    const Points triangle = {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}, {5, 1, 0}};
    for (int mode : {kLayer, kEntity}) {
        Reading r;
        ASSERT_TRUE(
            r.Read(File(Join({Solid("SOLID", corners), Solid("TRACE", corners), Solid("SOLID", triangle)})),
                   mode, false));
        std::vector<Points> faces;
        for (int c = 0; c < r.Root()->GetChildCount(); ++c)
            for (int k = 0; k < MeshOf(r.Child(c))->GetPolygonCount(); ++k)
                faces.push_back(PolygonPoints(MeshOf(r.Child(c)), k));
        const Points outline = {ToScene(corners[0]), ToScene(corners[1]), ToScene(corners[3]),
                                ToScene(corners[2])};
        ASSERT_EQ(faces.size(), 3u) << mode;
        EXPECT_EQ(faces[0], outline) << mode;
        EXPECT_EQ(faces[1], outline) << mode;
        EXPECT_EQ(faces[2], (Points{ToScene(triangle[0]), ToScene(triangle[1]), ToScene(triangle[2])}))
            << mode;
    }
}

TEST(dxf_reader, EntitiesNotReadAreNamedOncePerKind) {
    const Groups circle = {{0, "CIRCLE"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"}, {40, "1"}};
    const Groups text = {{0, "TEXT"}, {8, "0"}, {1, "hello"}};
    const Groups flat = {{0, "POLYLINE"}, {8, "0"},  {66, "1"}, {70, "1"},    {0, "VERTEX"},
                         {10, "0"},       {20, "0"}, {70, "0"}, {0, "SEQEND"}};
    for (int mode : {kLayer, kEntity, kBlock}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Join({circle, text, Face("A", kSquare), circle, flat})), mode));
        const std::string message = r.reader.GetMessageText().Buffer();
        EXPECT_NE(message.find("2 CIRCLE entities were not read"), std::string::npos) << message;
        EXPECT_NE(message.find("1 TEXT entity was not read"), std::string::npos) << message;
        EXPECT_NE(message.find("1 POLYLINE (2D) entity was not read"), std::string::npos) << message;
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 2) << message;
        EXPECT_EQ(message.find("SEQEND"), std::string::npos) << message;
    }
}

TEST(dxf_reader, BlockReferencesPastTheBoundsAreRefusedBeforeAnythingIsBuilt) {
    // B0 holds a face; each further block inserts the one before ten times, so an instance of
    // Bk makes 1 + 10 + ... + 10^k block instances.
    Groups blocks = Block("B0", Face("0", kSquare));
    for (int k = 1; k <= 5; ++k) {
        Groups inserts;
        for (int i = 0; i < 10; ++i)
            inserts = Join({inserts, Insert("B" + std::to_string(k - 1), {(double)i, 0, 0})});
        blocks = Join({blocks, Block("B" + std::to_string(k), inserts)});
    }
    auto descendants = [](VOxaNode* node) {
        int n = 0;
        VOxaWalkPreOrder(node, [&](VOxaNode*) { ++n; });
        return n - 1;
    };
    // The instances a file may make grow with its size: a quarter of its bytes, at least 1,024,
    // at most 65,536. Nine instances of B2 make 999, under the 1,024 of a small file; ten make
    // 1,110, past it; one of B5 makes 111,111, past the 65,536 of any file (its blocks come after
    // the entities: the section is found by looking ahead).
    struct Case {
        Groups entities;
        bool refused;
    };
    Groups nine, ten;
    for (int i = 0; i < 10; ++i) {
        ten = Join({ten, Insert("B2")});
        if (i < 9) nine = Join({nine, Insert("B2")});
    }
    for (const Case& c : {Case{Insert("B5"), true}, Case{ten, true}, Case{nine, false}}) {
        for (bool reference : {false, true}) {
            Reading r;
            const std::string text = File(Join({Face("A", kSquare), c.entities}), {}, blocks, !c.refused);
            ASSERT_LT(text.size(), 4096u);  // a small file: the least bounds hold
            const bool read = r.Read(text, kLayer, true, reference);
            EXPECT_EQ(read, !c.refused) << c.entities.size();
            if (c.refused) {
                EXPECT_EQ(std::string(r.reader.GetError().GetLastErrorString().Buffer()),
                          "Too many block references: the file's INSERTs would make more than 1024 block "
                          "instances or read more than 65536 groups through them (bounds in proportion to "
                          "the file's " +
                              std::to_string(text.size()) + " bytes); nothing was read");
                EXPECT_EQ(r.Root()->GetChildCount(), 0);
            } else {
                EXPECT_EQ(descendants(r.Root()), 999 + 1 + (reference ? 1 : 0));
                EXPECT_EQ(r.reader.GetMessageText().Find("Too many"), -1);
            }
        }
    }
    // A grid of 60 x 60 instances from a file of a few hundred bytes is refused at once; the same
    // grid in a file of 14,400 bytes or more (here comments) is read.
    Groups grid = Insert("B0");
    grid.insert(grid.end(), {{70, "60"}, {71, "60"}, {44, "1"}, {45, "1"}});
    for (bool large : {false, true}) {
        Reading r;
        std::string text = File(grid, {}, Block("B0", Face("0", kSquare)));
        for (int i = 0; large && i < 10; ++i)
            text = "999\n" + std::string(1600, 'x') + "\n" + text;
        EXPECT_EQ(r.Read(text), large) << r.reader.GetError().GetLastErrorString().Buffer();
        EXPECT_EQ(descendants(r.Root()), large ? 3600 : 0);
    }
    // A few instances of a block that is large: the groups they would read are bounded too.
    Groups big;
    for (int i = 0; i < 25000; ++i) {
        const Groups face =
            Face("0", {{(double)i, 0, 0}, {i + 1.0, 0, 0}, {i + 1.0, 1, 0}, {(double)i, 1, 0}});
        big.insert(big.end(), face.begin(), face.end());
    }
    Groups thirteen;
    for (int i = 0; i < 13; ++i)
        thirteen = Join({thirteen, Insert("Big")});
    Reading r;
    EXPECT_FALSE(r.Read(File(thirteen, {}, Block("Big", big))));
    EXPECT_EQ(r.Root()->GetChildCount(), 0);
    // A block that refers to itself is read once, the reference skipped, as before.
    Reading self;
    ASSERT_TRUE(
        self.Read(File(Insert("S"), {}, Block("S", Join({Face("0", kSquare), Insert("S"), Insert("S")})))));
    EXPECT_EQ(descendants(self.Root()), 1);
    EXPECT_NE(self.reader.GetMessageText().Find("refers to itself"), -1);
}

TEST(dxf_reader, InstancesInsideABlockAreMovedByItsBasePoint) {
    // Outer's base point is (2, 3, 4): its instance of Inner at (3, 5, 7) lies at (1, 2, 3) in
    // Outer's own coordinates, which is (1, 3, -2) in the scene's.
    const Groups blocks =
        Join({Block("Inner", Face("0", kSquare)), Block("Outer", Insert("Inner", {3, 5, 7}), {2, 3, 4})});
    Reading r;
    ASSERT_TRUE(r.Read(File(Insert("Outer"), {}, blocks)));
    ASSERT_EQ(r.Root()->GetChildCount(), 1);
    ASSERT_EQ(r.Child(0)->GetChildCount(), 1);
    VgeTVector at;
    r.Child(0)->GetChild(0)->GetLclTranslation(at);
    EXPECT_EQ(at, VgeTVector(1, 3, -2, 0));
}

TEST(dxf_reader, FaceRecordsNamingAnotherPolylinesVertexAreDropped) {
    // Two polyfaces on one layer: the first has three vertices and a record naming vertex 5,
    // which only the second polyline has. In every grouping mode the record is dropped with a
    // warning that counts it, and the valid records stay.
    const Points tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const Points far = {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}};
    const std::string text = File(
        Join({Polyface("L", tri, {{1, 2, 5}, {1, 2, 3}, {-1, 2, -4}}), Polyface("L", far, {{1, 2, 3}})}));
    for (int mode : {kLayer, kEntity, kBlock}) {
        Reading r;
        ASSERT_TRUE(r.Read(text, mode)) << mode;
        int polygons = 0;
        for (int i = 0; i < r.Root()->GetChildCount(); ++i) {
            VOxaMesh* mesh = MeshOf(r.Child(i));
            for (int k = 0; mesh && k < mesh->GetPolygonCount(); ++k) {
                ++polygons;
                // Every face lies within its own polyline: all corners near one of the two.
                const auto points = PolygonPoints(mesh, k);
                const bool first = points[0][0] < 2.0;
                for (const auto& p : points)
                    EXPECT_EQ(p[0] < 2.0, first) << mode;
            }
        }
        EXPECT_EQ(polygons, 2) << mode;
        const std::string warnings = r.reader.GetMessageText().Buffer();
        EXPECT_NE(warnings.find("2 polyface face records name a vertex"), std::string::npos) << warnings;
    }
    // Vertices flagged as a polygon mesh's (64, not 192) give the polyface nothing: said, with the
    // first record's line (its VERTEX line, after the 14 lines that open the file and the
    // polyline's 8).
    Groups wrong = Polyface("W", tri, {{1, 2, 3}});
    for (auto& g : wrong)
        if (g.first == 70 && g.second == "192") g.second = "64";
    Reading r;
    ASSERT_TRUE(r.Read(File(wrong)));
    const std::string warnings = r.reader.GetMessageText().Buffer();
    EXPECT_NE(warnings.find("3 VERTEX records were not read"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("the first, at line 24, has 64 in a polyface mesh."), std::string::npos)
        << warnings;
}

TEST(dxf_reader, LongValueLinesAreOneValueAndLongerOnesAreRefused) {
    // A TEXT whose value is 2049 bytes long, holding "0" where a reader taking the line in pieces
    // of 1239 bytes would cut it, is one value: the file gives the one 3DFACE after it.
    std::string value = std::string(1239, 'x') + "  0";
    value += std::string((size_t)kDxfMaxLine - value.size(), 'y');
    ASSERT_EQ(value.size(), (size_t)kDxfMaxLine);
    const Groups text = {{0, "TEXT"}, {8, "T"}, {1, value}, {10, "0"}, {20, "0"}, {30, "0"}};
    for (int mode : {kLayer, kEntity, kBlock}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Join({text, Face("A", kSquare), text})), mode)) << mode;
        int polygons = 0;
        for (int i = 0; i < r.Root()->GetChildCount(); ++i)
            if (VOxaMesh* mesh = MeshOf(r.Child(i))) polygons += mesh->GetPolygonCount();
        EXPECT_EQ(polygons, 1) << mode;
    }
    // One byte more: the file is refused, naming the line.
    Groups longer = text;
    longer[2].second += "z";
    const std::string file = File(Join({Face("A", kSquare), longer, Face("A", kSquare)}));
    Reading r;
    EXPECT_FALSE(r.Read(file));
    const size_t at = file.find(longer[2].second);
    const long line = 1 + std::count(file.begin(), file.begin() + (long)at, '\n');
    const std::string error = r.reader.GetError().GetLastErrorString().Buffer();
    EXPECT_NE(error.find("line " + std::to_string(line) + " is longer than 2049 bytes"), std::string::npos)
        << error;
}

TEST(dxf_reader, ExtrusionDirectionsPlaceSolidsAndInstances) {
    // A SOLID at (6, 0, 2) in the system of the direction (0, 0, -1), whose X axis is the world's
    // -X and whose Y axis the world's Y: its first corner is at (-6, 0, -2), and it faces down.
    const Groups solid = {{0, "SOLID"}, {8, "S"},  {10, "6"},  {20, "0"},  {30, "2"},  {11, "8"},
                          {21, "0"},    {31, "2"}, {12, "6"},  {22, "1"},  {32, "2"},  {13, "8"},
                          {23, "1"},    {33, "2"}, {210, "0"}, {220, "0"}, {230, "-2"}};
    Reading r;
    ASSERT_TRUE(r.Read(File(solid), kEntity));
    VOxaMesh* mesh = r.Child(0)->GetMesh();
    ASSERT_NE(mesh, nullptr);
    const auto points = PolygonPoints(mesh, 0);
    ASSERT_EQ(points.size(), 4u);
    // Scene axes: (x, z, -y) of DXF.
    const double expected[4][3] = {{-6, -2, 0}, {-8, -2, 0}, {-8, -2, -1}, {-6, -2, -1}};
    for (int k = 0; k < 4; ++k)
        for (int a = 0; a < 3; ++a)
            EXPECT_DOUBLE_EQ(points[(size_t)k][(size_t)a], expected[k][a]) << k << " " << a;
    // Facing: the corners turn clockwise seen from above (+Y in the scene), so the face looks down.
    double turn = 0;
    for (int k = 0; k < 4; ++k) {
        const auto& p = points[(size_t)k];
        const auto& q = points[(size_t)(k + 1) % 4];
        turn += p[2] * q[0] - p[0] * q[2];
    }
    EXPECT_LT(turn, 0.0);

    // The same direction on an INSERT: the instance is turned half round about the world's Y axis
    // (scene Z) and placed at the mirrored point.
    Reading i;
    Groups insert = Insert("B", {1, 2, 3});
    insert.insert(insert.end(), {{210, "0"}, {220, "0"}, {230, "-1"}});
    ASSERT_TRUE(i.Read(File(insert, {}, Block("B", Face("0", kSquare)))));
    VOxaNode* node = i.Child(0);
    ASSERT_NE(node, nullptr);
    const VgeAMatrix m = VOxaGeometryWorldMatrix(node);
    const VgeTVector at = m.MultT(VgeTVector(1, 0, 0, 1));  // DXF (1, 0, 0) of the block
    EXPECT_NEAR(at[0], -1 - 1, 1e-12);
    EXPECT_NEAR(at[1], -3, 1e-12);
    EXPECT_NEAR(at[2], -2, 1e-12);
}

TEST(dxf_reader, InsertGridsMakeEveryPlaceOnce) {
    const Groups block = Block("B", Face("0", kSquare));
    auto grid = [](Groups more) {
        Groups g = Insert("B", {10, 0, 0});
        g.insert(g.end(), more.begin(), more.end());
        return g;
    };
    struct Case {
        Groups groups;
        int instances;
    };
    const Case cases[] = {
        {grid({{70, "3"}, {71, "2"}, {44, "4"}, {45, "5"}}), 6},
        {grid({{70, "3"}, {71, "2"}, {45, "5"}}), 2},              // no column spacing: one per row
        {grid({{70, "3"}, {71, "2"}, {44, "4"}}), 3},              // no row spacing: one per column
        {grid({{44, "4"}, {45, "5"}}), 1},                         // spacings without counts
        {grid({{70, "0"}, {71, "-3"}, {44, "4"}, {45, "5"}}), 1},  // counts below 1: a plain insert
        {grid({{70, "0"}, {71, "2"}, {44, "4"}, {45, "5"}}), 1},   // as ezdxf reads it
        {grid({{70, "-3"}, {71, "2"}, {44, "4"}, {45, "5"}}), 1},
    };
    for (const Case& c : cases) {
        Reading r;
        ASSERT_TRUE(r.Read(File(c.groups, {}, block)));
        EXPECT_EQ(r.Root()->GetChildCount(), c.instances) << c.groups.size();
    }
    // Turned by 90 degrees, the grid's columns run along DXF Y: the third column's second row is
    // at (10 - 5, 2 * 4) = (5, 8), scene (5, 0, -8).
    Reading turned;
    Groups g = grid({{70, "3"}, {71, "2"}, {44, "4"}, {45, "5"}, {50, "90"}});
    ASSERT_TRUE(turned.Read(File(g, {}, block)));
    ASSERT_EQ(turned.Root()->GetChildCount(), 6);
    VgeTVector t;
    turned.Child(5)->GetLclTranslation(t);
    EXPECT_NEAR(t[0], 5, 1e-12);
    EXPECT_NEAR(t[1], 0, 1e-12);
    EXPECT_NEAR(t[2], -8, 1e-12);
    // A grid past the bound of instances is refused before anything is read.
    Reading big;
    EXPECT_FALSE(big.Read(File(grid({{70, "300"}, {71, "300"}, {44, "1"}, {45, "1"}}), {}, block)));
    EXPECT_EQ(big.Root()->GetChildCount(), 0);
    EXPECT_NE(std::string(big.reader.GetError().GetLastErrorString()).find("Too many block references"),
              std::string::npos);
}

TEST(dxf_reader, UnitsAndExtrusionsOutOfRangeAreWarnedWithTheirLine) {
    using dxftest::Groups;
    // $INSUNITS values that are no unit code: warned with the value and its line (line 8 of the
    // header below), the scene's unit left as it was.
    for (const char* units : {"1e308", "-1", "nan", "2147483648", "99999", "4.5"}) {
        const std::string text = "  0\nSECTION\n  2\nHEADER\n  9\n$INSUNITS\n 70\n" + std::string(units) +
                                 "\n  0\nENDSEC\n  0\nEOF\n";
        dxftest::Reading r;
        const double before = r.scene->GetSystemUnit();
        ASSERT_TRUE(r.Read(text));
        EXPECT_EQ(r.scene->GetSystemUnit(), before) << units;
        const std::string message = r.reader.GetMessageText().Buffer();
        EXPECT_NE(message.find("\"" + std::string(units) + "\" ($INSUNITS, line 8)"), std::string::npos)
            << units << ": " << message;
    }
    // Smoothing masks (group 1071 of the shading data) that are no 32-bit whole number likewise,
    // at the line of their group: the face is shaded by angle. "-7" and " +7 " are masks.
    for (const char* mask : {"99999999999999999999", "2147483648", "nan", "", "1.5", "-7", " +7 "}) {
        Groups faces = Polyface("P", kSquare, {{1, 2, 3, 4}});
        faces.insert(faces.end() - 1, {{1001, "OXA_SHADING"}, {1071, mask}});
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(dxftest::File(faces)));
        ASSERT_EQ(r.Child(0)->GetMesh()->GetPolygonCount(), 1);
        const std::string message = r.reader.GetMessageText().Buffer();
        const bool taken = mask[0] == '-' || mask[0] == ' ';
        EXPECT_EQ(message.find("\"" + std::string(mask) +
                               "\" (group 1071 of OXA_SHADING) at line 77 is no 32-bit") != std::string::npos,
                  !taken)
            << mask << ": " << message;
    }
    // Past the first five, the rest are counted in one line.
    Groups seven = Polyface("P", kSquare, std::vector<std::vector<int>>(7, {1, 2, 3, 4}));
    for (size_t at = seven.size(); at-- > 0;)
        if (seven[at].first == 74)
            seven.insert(seven.begin() + at + 1, {{1001, "OXA_SHADING"}, {1071, "nan"}});
    dxftest::Reading many;
    ASSERT_TRUE(many.Read(dxftest::File(seven)));
    EXPECT_NE(std::string(many.reader.GetMessageText().Buffer()).find("2 more smoothing masks (group 1071"),
              std::string::npos)
        << many.reader.GetMessageText().Buffer();
    // A unit code is still taken: 6 is metres, 100 cm.
    dxftest::Reading metres;
    ASSERT_TRUE(
        metres.Read("  0\nSECTION\n  2\nHEADER\n  9\n$INSUNITS\n 70\n     6\n  0\nENDSEC\n  0\nEOF\n"));
    EXPECT_EQ(metres.scene->GetSystemUnit(), 100.0);
    EXPECT_TRUE(metres.reader.GetMessageText().IsEmpty());

    // SOLIDs whose extrusion direction is no direction: read in world axes, each warned with its
    // value and the line of its first extrusion group.
    const char* bad[][3] = {{"nan", "0", "1"}, {"inf", "0", "1"}, {"1e308", "0", "0"}, {"0", "0", "0"}};
    Groups entities;
    for (auto& e : bad)
        entities = dxftest::Join({entities,
                                  {{0, "SOLID"},
                                   {8, "S"},
                                   {10, "0"},
                                   {20, "0"},
                                   {30, "0"},
                                   {11, "1"},
                                   {21, "0"},
                                   {31, "0"},
                                   {12, "0"},
                                   {22, "1"},
                                   {32, "0"},
                                   {13, "0"},
                                   {23, "1"},
                                   {33, "0"},
                                   {210, e[0]},
                                   {220, e[1]},
                                   {230, e[2]}}});
    entities = dxftest::Join({entities, dxftest::Insert("NONE", {0, 0, 0})});
    entities.insert(entities.end(), {{210, "0"}, {220, "0"}, {230, "0"}});
    const std::string text = dxftest::File(entities);
    dxftest::Reading r;
    ASSERT_TRUE(r.Read(text, dxftest::kLayer, false));
    const std::string message = r.reader.GetMessageText().Buffer();
    // The line of each SOLID's 210 group, counted in the text.
    std::vector<int> lines;
    std::istringstream in(text);
    int line = 0;
    for (std::string l; std::getline(in, l);)
        if (++line % 2 == 1 && l == "210") lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u);
    const char* shown[] = {"(nan, 0, 1) of a SOLID or TRACE at line ",
                           "(inf, 0, 1) of a SOLID or TRACE at line ",
                           "(1e+308, 0, 0) of a SOLID or TRACE at line ",
                           "(0, 0, 0) of a SOLID or TRACE at line ", "(0, 0, 0) of an INSERT at line "};
    for (int k = 0; k < 5; ++k)
        EXPECT_NE(message.find(shown[k] + std::to_string(lines[k]) + " is not a direction"),
                  std::string::npos)
            << k << ": " << message;
    VOxaMesh* mesh = r.Child(0)->GetMesh();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    for (int k = 0; k < 4; ++k)
        for (const auto& p : dxftest::PolygonPoints(mesh, k))
            EXPECT_EQ(p[1], 0.0);  // in the world's ground plane (scene y is DXF z)
}

TEST(dxf_reader, MeshCountsAreNotTrustedBeyondTheirGroups) {
    using dxftest::Groups;
    auto mesh = [](Groups body, bool marker = true) {
        Groups g{{0, "MESH"}, {100, "AcDbEntity"}, {8, "M"}, {92, "7"}};
        if (marker) g.push_back({100, "AcDbSubDMesh"});
        g.insert(g.end(), {{71, "2"}, {91, "3"}});
        g.insert(g.end(), body.begin(), body.end());
        return g;
    };
    auto vertices = [](int count, int given) {
        Groups g{{92, std::to_string(count)}};
        for (int i = 0; i < given; ++i)
            g.insert(g.end(), {{10, dxftest::Num(i)}, {20, dxftest::Num(i * i)}, {30, "1"}});
        return g;
    };
    auto list = [](int size, std::vector<int> items) {
        Groups g{{93, std::to_string(size)}};
        for (int i : items)
            g.push_back({90, std::to_string(i)});
        return g;
    };
    struct Case {
        Groups entity;
        std::vector<std::vector<int>> faces;  // expected polygons (indices into the points read)
        int points;
        const char* warning;  // expected in the messages, or ""
    };
    const std::vector<Case> cases = {
        // Counts far beyond what follows: what the groups hold is read, and said.
        {mesh(dxftest::Join({vertices(2000000000, 3), list(2000000000, {3, 0, 1, 2})})),
         {{0, 1, 2}},
         3,
         "names 2000000000 vertices and a face list of 2000000000 items but holds 3 and 4"},
        // More vertices than counted: the extra ones are passed over; a face naming one of them
        // and a face longer than the list are dropped (a face of two corners is a line), as is
        // a negative count.
        {mesh(dxftest::Join({vertices(3, 5), list(12, {3, 0, 1, 2, 3, 0, 1, 4, 2, 1, 2, 9})})),
         {{0, 1, 2}, {1, 2, 1}},
         3,
         "2 MESH faces name a vertex"},
        {mesh(dxftest::Join({vertices(4, 4), list(5, {-1, 0, 1, 2, 3})})), {}, 4, "1 MESH face names"},
        // Groups 90 after the list (edges, overridden properties) are not faces.
        {mesh(dxftest::Join({vertices(3, 3),
                             list(4, {3, 2, 1, 0}),
                             {{94, "1"}, {90, "0"}, {90, "1"}},
                             {{90, "3"}, {90, "0"}, {90, "1"}, {90, "2"}}})),
         {{2, 1, 0}},
         3,
         ""},
        // Without its subclass marker the entity's own 92 group is no vertex count: nothing read.
        {mesh(dxftest::Join({vertices(3, 3), list(4, {3, 0, 1, 2})}), false), {}, 0, ""},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        for (int mode : {dxftest::kLayer, dxftest::kEntity}) {
            dxftest::Reading r;
            ASSERT_TRUE(r.Read(dxftest::File(cases[c].entity), mode, false)) << c;
            const std::string message = r.reader.GetMessageText().Buffer();
            if (*cases[c].warning)
                EXPECT_NE(message.find(cases[c].warning), std::string::npos) << c << ": " << message;
            if (cases[c].faces.empty()) {
                EXPECT_EQ(r.Root()->GetChildCount(), 0) << c;
                continue;
            }
            ASSERT_EQ(r.Root()->GetChildCount(), 1) << c;
            if (mode == dxftest::kEntity) EXPECT_NE(r.Name(r.Child(0)).find("MESH"), std::string::npos);
            VOxaMesh* m = r.Child(0)->GetMesh();
            ASSERT_NE(m, nullptr);
            EXPECT_EQ(m->GetControlPointsCount(), cases[c].points) << c;
            ASSERT_EQ(m->GetPolygonCount(), (int)cases[c].faces.size()) << c;
            for (int k = 0; k < m->GetPolygonCount(); ++k)
                EXPECT_EQ(dxftest::Polygon(m, k), cases[c].faces[k]) << c;
            // Vertex i is DXF (i, i * i, 1): in the scene (x, z, -y).
            for (int i = 0; i < cases[c].points; ++i) {
                const VgeTVector& p = m->GetControlPoints()[i];
                EXPECT_EQ(p[0], i);
                EXPECT_EQ(p[1], 1.0);
                EXPECT_EQ(p[2], -(double)(i * i));
            }
        }
    }
}

// A 24-bit colour (group 420) is the colour of whatever carries it, above its colour number: a
// polyface's own, and a face record's own over the polyface's. Two faces of one colour share
// one material.
TEST(dxf_reader, TrueColoursOverrideColourNumbers) {
    using dxftest::Groups;
    Groups mesh = dxftest::Polyface("A", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}},
                                    {{1, 2, 3}, {1, 3, 4}, {2, 3, 4}}, 1);
    mesh.insert(mesh.begin() + 3, {420, std::to_string(0x102030)});
    // The second face record has a colour number and a 24-bit colour of its own.
    int records = 0;
    for (size_t i = 0; i < mesh.size(); ++i) {
        if (mesh[i] == dxftest::Groups::value_type{70, "128"} && ++records == 2) {
            mesh.insert(mesh.begin() + (std::ptrdiff_t)i + 1, {{62, "5"}, {420, std::to_string(0xFF8000)}});
            break;
        }
    }
    for (int mode : {dxftest::kLayer, dxftest::kEntity}) {
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(dxftest::File(mesh), mode));
        ASSERT_EQ(r.Root()->GetChildCount(), 1);
        auto* m = static_cast<VOxaMesh*>(r.Child(0)->GetNodeAttribute());
        ASSERT_EQ(m->GetPolygonCount(), 3);
        EXPECT_EQ(m->GetMaterialCount(0), 2);
        const double want[3][3] = {{16 / 255.0, 32 / 255.0, 48 / 255.0},
                                   {1.0, 128 / 255.0, 0.0},
                                   {16 / 255.0, 32 / 255.0, 48 / 255.0}};
        for (int k = 0; k < 3; ++k) {
            VOxaMaterial* material = dxftest::PolygonMaterial(m, k);
            ASSERT_NE(material, nullptr) << k;
            EXPECT_NEAR(material->GetDiffuse().mRed, want[k][0], 1e-6) << k;
            EXPECT_NEAR(material->GetDiffuse().mGreen, want[k][1], 1e-6) << k;
            EXPECT_NEAR(material->GetDiffuse().mBlue, want[k][2], 1e-6) << k;
        }
    }
}

// A 3DFACE that repeats any corner at the next (the first at the second, ..., the fourth at the
// first) is the triangle of its three other corners in their turning, as ezdxf's outline of it
// is; an edge hidden by the flags stays hidden between the same two points, and the edge of no
// length goes. A polyface record naming a vertex twice in a row is read the same way.
TEST(dxf_reader, AFaceRepeatingACornerIsTheTriangleOfTheOthers) {
    const Points distinct = {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}};
    auto scene = [](const std::vector<double>& p) { return std::vector<double>{p[0], p[2], -p[1]}; };
    for (int twin = 0; twin < 4; ++twin) {
        // The corners: the twin repeats the corner before it.
        Points corners(4);
        for (int k = 0, n = 0; k < 4; ++k)
            if (k != twin) corners[(size_t)k] = distinct[(size_t)n++];
        corners[(size_t)twin] = corners[(size_t)(twin + 3) % 4];
        Points want;  // the distinct corners in the face's turning, the twin left out
        for (int k = 0; k < 4; ++k)
            if (k != twin) want.push_back(scene(corners[(size_t)k]));
        for (int edge = -1; edge < 4; ++edge) {
            SCOPED_TRACE("twin " + std::to_string(twin) + ", hidden edge " + std::to_string(edge));
            Groups face = Face("A", corners);
            if (edge >= 0) face.push_back({70, std::to_string(1 << edge)});
            // The ends of the hidden edge by the format's numbering (the edge from corner j to the
            // next), none for the edge of no length.
            std::vector<Points> hiddenWant;
            if (edge >= 0 && corners[(size_t)edge] != corners[(size_t)(edge + 1) % 4]) {
                Points ends = {scene(corners[(size_t)edge]), scene(corners[(size_t)(edge + 1) % 4])};
                std::sort(ends.begin(), ends.end());
                hiddenWant.push_back(ends);
            }
            // The same face as a polyface record naming a vertex twice in a row, the edge hidden by
            // the sign of the index that begins it.
            std::vector<int> record;
            for (int k = 0; k < 4; ++k) {
                const int index = (int)(std::find(distinct.begin(), distinct.end(), corners[(size_t)k]) -
                                        distinct.begin()) +
                                  1;
                record.push_back(k == edge ? -index : index);
            }
            for (int mode : {(int)kLayer, (int)kEntity, kLayer + 10, kEntity + 10}) {
                Reading r;
                ASSERT_TRUE(r.Read(File(mode < 10 ? face : Polyface("A", distinct, {record})), mode % 10));
                VOxaMesh* mesh = MeshOf(r.Child(0));
                ASSERT_NE(mesh, nullptr);
                ASSERT_EQ(mesh->GetPolygonCount(), 1);
                EXPECT_EQ(PolygonPoints(mesh, 0), want) << mode;
                unsigned hidden = 0;
                voxa_extras::HiddenEdgesOfGroup3ds(mesh->GetPolygonGroup(0), 3, hidden);
                std::vector<Points> hiddenGot;
                const Points got = PolygonPoints(mesh, 0);
                for (int j = 0; j < 3; ++j) {
                    if (!(hidden & (1u << j))) continue;
                    Points ends = {got[(size_t)j], got[(size_t)(j + 1) % 3]};
                    std::sort(ends.begin(), ends.end());
                    hiddenGot.push_back(ends);
                }
                EXPECT_EQ(hiddenGot, hiddenWant) << mode;
            }
        }
    }
}

// Extrusion directions that are none are warned of one by one up to five; more are taken as
// (0, 0, 1) without a further line each.
TEST(dxf_reader, BadExtrusionsAreWarnedOfAtMostFiveTimes) {
    Groups entities;
    for (int i = 0; i < 7; ++i)
        entities = Join({entities,
                         {{0, "SOLID"},
                          {8, "S"},
                          {10, "0"},
                          {20, "0"},
                          {30, "0"},
                          {11, "1"},
                          {21, "0"},
                          {31, "0"},
                          {12, "0"},
                          {22, "1"},
                          {32, "0"},
                          {13, "0"},
                          {23, "1"},
                          {33, "0"},
                          {210, "0"},
                          {220, "0"},
                          {230, "0"}}});
    Reading r;
    ASSERT_TRUE(r.Read(File(entities)));
    const std::string message = r.reader.GetMessageText().Buffer();
    size_t count = 0;
    for (size_t at = message.find("is not a direction"); at != std::string::npos;
         at = message.find("is not a direction", at + 1))
        ++count;
    EXPECT_EQ(count, 5u) << message;
    VOxaMesh* mesh = MeshOf(r.Child(0));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetPolygonCount(), 7);
}
