#include "formats/geometry/dxf/voxa_reader_dxf.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "dxf_test_util.h"
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
    {
        Reading r;
        ASSERT_TRUE(
            r.Read(File(Join({Face("A", triangle), Face("A", point), Face("A", kSquare)})), kLayer, false));
        VOxaMesh* mesh = MeshOf(r.Child(0));
        ASSERT_EQ(mesh->GetPolygonCount(), 2);  // the point-like face is dropped
        EXPECT_EQ(mesh->GetPolygonSize(0), 3);
        EXPECT_EQ(mesh->GetPolygonSize(1), 4);
        // The corners come reversed from the file and the scene is Y-up: (x, z, -y).
        EXPECT_EQ(PolygonPoints(mesh, 0), (Points{{1, 0, -1}, {1, 0, 0}, {0, 0, 0}}));
        EXPECT_EQ(mesh->GetControlPointsCount(), 7);
    }
    {
        Reading r;
        ASSERT_TRUE(r.Read(File(Face("A", point)), kEntity));
        ASSERT_EQ(r.Root()->GetChildCount(), 1);  // kept in entity mode
        EXPECT_EQ(MeshOf(r.Child(0))->GetPolygonSize(0), 4);
    }
    // Both modes: a repeated fourth corner makes a triangle only when x, y and z all repeat, and
    // the corners come reversed.
    const Points tilted = {{0, 0, 0}, {1, 0, 2}, {3, 1, 5}, {3, 1, 5}};
    const Points quad = {{0, 0, 0}, {1, 0, 2}, {3, 1, 5}, {3, 1, 3}};
    for (int mode : {kLayer, kEntity}) {
        Reading r;
        ASSERT_TRUE(r.Read(File(Join({Face("A", tilted), Face("A", quad)})), mode, false)) << mode;
        VOxaMesh* first = MeshOf(r.Child(0));
        VOxaMesh* second = mode == kLayer ? first : MeshOf(r.Child(1));
        const int k = mode == kLayer ? 1 : 0;
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(PolygonPoints(first, 0), (Points{{3, 5, -1}, {1, 2, 0}, {0, 0, 0}})) << mode;
        EXPECT_EQ(PolygonPoints(second, k), (Points{{3, 3, -1}, {3, 5, -1}, {1, 2, 0}, {0, 0, 0}})) << mode;
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
    EXPECT_EQ(Polygon(faces, 1), (std::vector<int>{4, 3, 2}));
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
    EXPECT_EQ(PolygonPoints(MeshOf(up), 0), (Points{{1, 0, -1}, {1, 0, 0}, {0, 0, 0}}));
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
        EXPECT_EQ(PolygonPoints(MeshOf(inner), 0), (Points{{1, 0, -1}, {1, 0, 0}, {0, 0, 0}}));
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
        // Corners last to first, in scene axes (x, z, -y).
        EXPECT_EQ(PolygonPoints(mesh, 0),
                  (std::vector<std::vector<double>>{{0, 0, -1}, {1, 0, -1}, {1, 0, 0}, {0, 0, 0}}))
            << mode;
        EXPECT_EQ(PolygonMaterial(mesh, 0)->GetDiffuse(), VOxaColor(0, 1, 0, 1)) << mode;
    }
}

TEST(dxf_reader, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
    // The first group opens the ENTITIES section: with the mark taken for part of its code line,
    // the section would not be found.
    const std::string text = Text(Join({Section("ENTITIES", Face("A", kSquare)), {{0, "EOF"}}}));
    const std::string marked = "\xEF\xBB\xBF" + text;
    const std::vector<std::vector<double>> corners = {{0, 0, -1}, {1, 0, -1}, {1, 0, 0}, {0, 0, 0}};
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
