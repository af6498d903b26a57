#include "formats/geometry/obj/voxa_reader_obj.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>

#include "formats/geometry/obj/voxa_obj_text.h"

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_texture.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;

namespace {

struct ReaderRig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader{&manager};
    std::unique_ptr<VStreamOptions> options{reader.GetReadOptions()};
    ScratchDir dir;

    explicit ReaderRig(const std::string& tag, bool referenceNode = false) : dir(tag) {
        static_cast<VStreamOptionsObj*>(options.get())->SetOptionValue(1, referenceNode ? 1 : 0);
    }
    // Writes `text` as <name> in the scratch folder and reads it.
    bool Read(const std::string& text, const std::string& name = "model.obj") {
        WriteText(dir / name, text);
        return reader.FileOpen((dir / name).c_str()) && reader.Read(scene, options.get());
    }
    VOxaNode* Child(int i) { return scene->GetRootNode()->GetChild(i); }
    VOxaMesh* MeshOf(int i) {
        VOxaNode* node = Child(i);
        return node ? dynamic_cast<VOxaMesh*>(node->GetNodeAttribute()) : nullptr;
    }
    std::string Messages() const { return reader.GetMessageText().Buffer(); }
};

const char* kSquare = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";

TEST(obj_text, NumbersParseAndPrintAsTheCLibraryDoes) {
    const char* inputs[] = {
        "+1.5", "-0.25", "12.345678", ".5",    "5.",    "1e3", "2.5E-2", "0x1p3", "123456789012345678901234",
        "0.1",  "7",     "-inf",      "1e400", "1e-400"};
    for (const char* text : inputs) {
        double ours = -1.0, theirs = -2.0;
        ASSERT_NE(voxa_obj::ParseDouble(text, text + std::strlen(text), ours), nullptr) << text;
        ASSERT_EQ(std::sscanf(text, "%lf", &theirs), 1);
        EXPECT_EQ(ours, theirs) << text;
        char expected[512];
        std::snprintf(expected, sizeof expected, "%lf", theirs);
        std::string printed;
        voxa_obj::AppendFixed(printed, theirs);
        EXPECT_EQ(printed, expected) << text;
    }
    double v;
    const char* bad = "abc";
    EXPECT_EQ(voxa_obj::ParseDouble(bad, bad + 3, v), nullptr);
    int i;
    const char* big = "2147483648";
    EXPECT_EQ(voxa_obj::ParseInt(big, big + 10, i), nullptr);
    const char* low = "-2147483648";
    ASSERT_NE(voxa_obj::ParseInt(low, low + 11, i), nullptr);
    EXPECT_EQ(i, -2147483647 - 1);
}

TEST(obj_reader, IndexResolutionAndCorners) {
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(1, 3), 0);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(3, 3), 2);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(-1, 3), 2);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(-3, 3), 0);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(0, 3), -1);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(4, 3), -1);
    EXPECT_EQ(VOxaReaderObj::ResolveIndex(-4, 3), -1);
    int v, t, n;
    ASSERT_TRUE(VOxaReaderObj::ParseFaceCorner("4//2", v, t, n));
    EXPECT_EQ(v, 4);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(n, 2);
    ASSERT_TRUE(VOxaReaderObj::ParseFaceCorner("4/7", v, t, n));
    EXPECT_EQ(t, 7);
    EXPECT_EQ(n, 0);
    ASSERT_TRUE(VOxaReaderObj::ParseFaceCorner("+4/-1/3", v, t, n));
    EXPECT_EQ(v, 4);
    EXPECT_EQ(t, -1);
    EXPECT_EQ(n, 3);
    EXPECT_FALSE(VOxaReaderObj::ParseFaceCorner("0/1/1", v, t, n));
    // An index too large for an int makes the corner invalid rather than wrapping.
    EXPECT_FALSE(VOxaReaderObj::ParseFaceCorner("4294967297", v, t, n));
    EXPECT_FALSE(VOxaReaderObj::ParseFaceCorner("1/99999999999", v, t, n));
    EXPECT_FALSE(VOxaReaderObj::ParseFaceCorner("1/-99999999999", v, t, n));
    EXPECT_FALSE(VOxaReaderObj::ParseFaceCorner("1//+99999999999", v, t, n));
}

TEST(obj_reader, NegativeIndicesDefaultGroupAndShortFacesDropped) {
    ReaderRig rig("r1");
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "f -3 -2 -1\nf 1 2\n"));
    ASSERT_EQ(rig.scene->GetRootNode()->GetChildCount(), 1);
    EXPECT_STREQ(rig.Child(0)->GetName(), "Model::default");
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    // Only the first face survives: the second has two corners, and the reader says where.
    ASSERT_EQ(mesh->GetPolygonCount(), 1);
    EXPECT_NE(rig.Messages().find("line 6: a face (f) with 2 corners was dropped"), std::string::npos)
        << rig.Messages();
    EXPECT_EQ(mesh->GetControlPoints()[0][0], 1.0);  // vertex 2 of 4
    EXPECT_EQ(mesh->GetControlPoints()[2][1], 1.0);
    EXPECT_EQ(mesh->GetControlPoints()[0][3], 1.0);  // w defaults to 1

    // Numbers after x, y, z and w (vertex colours some tools append) are ignored.
    ReaderRig extra("r1b");
    ASSERT_TRUE(extra.Read("v 1 2 3 0.5 0.25 0.125 7\nv 4 5 6 2 1\nv 7 8 9\nf 1 2 3\n"));
    VOxaMesh* coloured = extra.MeshOf(0);
    ASSERT_NE(coloured, nullptr);
    ASSERT_EQ(coloured->GetControlPointsCount(), 3);
    EXPECT_EQ(coloured->GetControlPoints()[0][2], 3.0);
    EXPECT_EQ(coloured->GetControlPoints()[0][3], 0.5);
    EXPECT_EQ(coloured->GetControlPoints()[1][3], 2.0);
    EXPECT_EQ(coloured->GetControlPoints()[2][0], 7.0);
}

TEST(obj_reader, LargeGroupsKeepEveryCornerAcrossStorageBlocks) {
    // A grid of 150 x 150 quads (90,000 corners, more than one storage block) with UVs, read in
    // file order and, with smoothing groups out of order and no normals, in the order of the
    // groups; each polygon's corners must name the file's positions and UVs in the file's order.
    const int n = 150;
    for (bool shuffled : {false, true}) {
        std::string text = "s 1\n";
        for (int y = 0; y <= n; ++y)
            for (int x = 0; x <= n; ++x)
                text += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\nvt " + std::to_string(x) +
                        " " + std::to_string(y) + "\n";
        auto id = [&](int x, int y) { return y * (n + 1) + x + 1; };
        std::vector<std::array<int, 4>> faces;
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                faces.push_back({id(x, y), id(x + 1, y), id(x + 1, y + 1), id(x, y + 1)});
                if (shuffled) text += (x + y) % 2 ? "s 2\n" : "s 1\n";
                text += "f";
                for (int c : faces.back())
                    text += " " + std::to_string(c) + "/" + std::to_string(c);
                text += "\n";
            }
        ReaderRig rig(shuffled ? "big2" : "big1");
        ASSERT_TRUE(rig.Read(text));
        VOxaMesh* mesh = rig.MeshOf(0);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetPolygonCount(), n * n);
        const VgeVector2* uvs = mesh->GetTextureUV();
        ASSERT_NE(uvs, nullptr);
        // The polygons of smoothing group 1 come first when the groups are out of order.
        std::vector<int> order;
        for (int pass = 0; pass < (shuffled ? 2 : 1); ++pass)
            for (int f = 0; f < n * n; ++f)
                if (!shuffled || ((f % n + f / n) % 2) == pass) order.push_back(f);
        int wrong = 0;
        for (int p = 0; p < n * n && wrong < 5; ++p) {
            const std::array<int, 4>& face = faces[(size_t)order[(size_t)p]];
            for (int k = 0; k < 4; ++k) {
                const int v = face[(size_t)k] - 1;
                const VgeTVector& at = mesh->GetControlPoints()[mesh->GetPolygonVertex(p, k)];
                const VgeVector2& uv = uvs[mesh->GetTextureUVIndex(p, k)];
                const double x = v % (n + 1), y = v / (n + 1);
                if (at[0] != x || at[1] != y || uv[0] != x || uv[1] != y) {
                    ADD_FAILURE() << "polygon " << p << " corner " << k << (shuffled ? " (by groups)" : "");
                    ++wrong;
                }
            }
        }
        // One control point per vertex, however many smoothing groups meet at it.
        EXPECT_EQ(mesh->GetControlPointsCount(), (n + 1) * (n + 1));
    }
}

TEST(obj_reader, PolygonsComeInSmoothingGroupOrderWhenOnlyTheFirstIsOutOfIt) {
    ReaderRig rig("sorder");
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "vn 0 0 1\ns 2\nf 1//1 2//1 3//1\ns 1\nf 1//1 3//1 4//1\n"));
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    // The face of group 1 comes first: its third corner is vertex 4, (0, 1, 0).
    const VgeTVector& third = mesh->GetControlPoints()[mesh->GetPolygonVertex(0, 2)];
    EXPECT_EQ(third[0], 0.0);
    EXPECT_EQ(third[1], 1.0);
}

TEST(obj_reader, ManyShortFacesNameTheFirstFewAndCountTheRest) {
    ReaderRig rig("r1many");
    std::string text = std::string(kSquare) + "f 1 2 3\nf 4\n";
    for (int i = 0; i < 30; ++i)
        text += "f 1 2\n";
    ASSERT_TRUE(rig.Read(text));
    ASSERT_NE(rig.MeshOf(0), nullptr);
    EXPECT_EQ(rig.MeshOf(0)->GetPolygonCount(), 1);
    const std::string messages = rig.Messages();
    EXPECT_NE(messages.find("line 6: a face (f) with 1 corner was dropped"), std::string::npos) << messages;
    EXPECT_NE(messages.find("line 15: a face (f) with 2 corners"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("line 16:"), std::string::npos) << messages;
    EXPECT_NE(messages.find("31 faces (f) of fewer than three corners were dropped in all"),
              std::string::npos)
        << messages;
}

TEST(obj_reader, GroupsMergeOnlyByTheirExactNameAndSortByName) {
    ReaderRig rig("r2", true);
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "g Body\nf 1 2 3\ng arm left\nf 1 2 3\ng BODY\nf 1 3 4\n"
                                                "g arm_left\nf 2 3 4\ng Body\nf 1 2 4\n",
                         "Figure.obj"));
    VOxaNode* reference = rig.Child(0);
    ASSERT_NE(reference, nullptr);
    EXPECT_STREQ(reference->GetName(), "Model::Figure_root");
    // Body and BODY, "arm left" and arm_left are four groups; the later spelling is numbered.
    std::vector<std::pair<std::string, int>> nodes;
    for (int i = 0; i < reference->GetChildCount(); ++i)
        nodes.emplace_back(
            reference->GetChild(i)->GetNameWithoutPrefix(),
            dynamic_cast<VOxaMesh*>(reference->GetChild(i)->GetNodeAttribute())->GetPolygonCount());
    EXPECT_EQ(nodes, (std::vector<std::pair<std::string, int>>{
                         {"arm_left", 1}, {"arm_left1", 1}, {"Body", 2}, {"BODY1", 1}}));
    EXPECT_NE(rig.Messages().find("Group \"BODY\" is named \"BODY1\""), std::string::npos) << rig.Messages();
    EXPECT_NE(rig.Messages().find("Group \"arm_left\" is named \"arm_left1\""), std::string::npos);
    EXPECT_EQ(rig.Messages().find("Group \"Body\""), std::string::npos);
}

TEST(obj_reader, EachObjectIsANodeAndItsGroupsStayWithinIt) {
    ReaderRig rig("objects");
    ASSERT_TRUE(rig.Read(std::string(kSquare) +
                         "o Left side\nf 1 2 3\ng part\nf 1 3 4\n"
                         "o Right\nv 9 9 9\nf 2 3 4\ng part\nf 1 2 4\ng PART\nf 4 3 2\n"));
    // Sorted by name: Left_side, part, part1 (the second object's), PART2, Right (with the vertex
    // no face names that stands in it).
    std::vector<std::tuple<std::string, int, int>> nodes;
    for (int i = 0; i < rig.scene->GetRootNode()->GetChildCount(); ++i)
        nodes.emplace_back(rig.Child(i)->GetNameWithoutPrefix(), rig.MeshOf(i)->GetPolygonCount(),
                           rig.MeshOf(i)->GetControlPointsCount());
    EXPECT_EQ(nodes,
              (std::vector<std::tuple<std::string, int, int>>{
                  {"Left_side", 1, 3}, {"part", 1, 3}, {"part1", 1, 3}, {"PART2", 1, 3}, {"Right", 1, 4}}));
    EXPECT_EQ(rig.Messages().find("Object not supported"), std::string::npos);
    // Only the name that differs in case is reported; the same name in another object is not.
    EXPECT_NE(rig.Messages().find("Group \"PART\" is named \"PART2\""), std::string::npos) << rig.Messages();
    EXPECT_EQ(rig.Messages().find("Group \"part\""), std::string::npos) << rig.Messages();
}

TEST(obj_reader, FaceIndicesOfZeroOrPastWhatWasReadRefuseTheFile) {
    const std::string three = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
    // Line 6 in every case, after the five lines above.
    const std::pair<const char*, const char*> cases[] = {
        {"f 1 2 12\n", "vertex 12 of 3"},
        {"f 0 1 2\n", "vertex 0"},
        {"f -4 1 2\n", "vertex -4 of 3"},
        {"f 1/2 2/1 3/1\n", "texture coordinate 2 of 1"},
        {"f 1/0 2/1 3/1\n", "texture coordinate 0"},
        {"f 1//1 2//1 3//2\n", "normal 2 of 1"},
        {"f 1 a 2\n", "without a vertex index"},
    };
    for (const auto& [face, why] : cases) {
        ReaderRig rig("badindex");
        EXPECT_FALSE(rig.Read(three + face)) << face;
        const std::string error = rig.reader.GetError().GetLastErrorString().Buffer();
        EXPECT_EQ(rig.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED) << face;
        EXPECT_NE(error.find("line 6"), std::string::npos) << face << ": " << error;
        EXPECT_NE(error.find(why), std::string::npos) << face << ": " << error;
        EXPECT_EQ(rig.scene->GetRootNode()->GetChildCount(), 0) << face;
    }
    // The same indices within range are taken, the last ones counted back from the end.
    ReaderRig rig("goodindex");
    ASSERT_TRUE(rig.Read(three + "f 1/1/1 2/-1/-1 -1/1/1\n"));
    EXPECT_EQ(rig.MeshOf(0)->GetPolygonCount(), 1);
}

TEST(obj_reader, TriplesBecomeControlPointsWithFlatOrAveragedNormals) {
    // A cube with per-face normals: its 8 vertices stay shared, its normals go by corner.
    std::string cube =
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
        "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
        "f 1//1 4//1 3//1 2//1\nf 5//2 6//2 7//2 8//2\nf 1//3 2//3 6//3 5//3\n"
        "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n";
    ReaderRig rig("r3");
    ASSERT_TRUE(rig.Read(cube));
    EXPECT_EQ(rig.MeshOf(0)->GetControlPointsCount(), 8);
    EXPECT_EQ(rig.MeshOf(0)->GetLayer(0)->GetNormals()->GetDirectArray().GetCount(), 6);

    // Two triangles sharing an edge, without normals: flat in group 0, averaged in group 1.
    std::string faces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3\nf 1 4 2\n";
    ReaderRig flat("r3a");
    ASSERT_TRUE(flat.Read("s off\n" + faces));
    ASSERT_EQ(flat.MeshOf(0)->GetControlPointsCount(), 4);
    // Computed normals are directions like the "vn" ones: w is 0.
    for (int k = 0; k < 3; ++k) {
        VgeTVector first, second;
        ASSERT_TRUE(flat.MeshOf(0)->GetPolygonVertexNormal(0, k, first));
        ASSERT_TRUE(flat.MeshOf(0)->GetPolygonVertexNormal(1, k, second));
        EXPECT_EQ(first[2], 1.0);  // face 1 2 3 lies in z = 0, wound counter-clockwise
        EXPECT_EQ(first[3], 0.0);
        EXPECT_EQ(second[1], 1.0);  // face 1 4 2 lies in y = 0
        EXPECT_EQ(second[3], 0.0);
    }
    ReaderRig smooth("r3b");
    ASSERT_TRUE(smooth.Read("s 1\n" + faces));
    VOxaMesh* mesh = smooth.MeshOf(0);
    ASSERT_EQ(mesh->GetControlPointsCount(), 4);
    const VgeTVector& shared = mesh->GetNormals()[0];  // vertex 1: both faces
    EXPECT_NEAR(shared[2], std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(shared[1], std::sqrt(0.5), 1e-9);  // (0, 0, 1) and (0, 1, 0) averaged
    EXPECT_EQ(shared[3], 0.0);
}

TEST(obj_reader, MaterialsFromTwoLibrariesAndUVsWithAnyMaterial) {
    ReaderRig rig("r4");
    WriteText(rig.dir / "a.mtl", "newmtl plain\nKd 0.5 0.25 2\nNs 50\nTr 0.4\nillum 2\n");
    WriteText(rig.dir / "b.mtl",
              "# second\nnewmtl wood\nKa 0.1 0.2 0.3\nmap_Kd   wood.png  \nillum 1\nNs 80\nd 0.5\n");
    ASSERT_TRUE(
        rig.Read(std::string(kSquare) +
                 "vt 0 0\nvt 1 0\nvt 1 1\nmtllib a.mtl b.mtl\n"
                 "f 1/1 2/2 3/3\nusemtl plain\nf 1/1 2/2 3/3\nusemtl wood\nf 1/1 2/2 4/3\nusemtl nothere\n"));
    VOxaMaterial* plain = rig.manager.GetMaterial("plain", 0);
    ASSERT_NE(plain, nullptr);
    EXPECT_DOUBLE_EQ(plain->GetDiffuse().mGreen, 0.25);
    EXPECT_DOUBLE_EQ(plain->GetDiffuse().mBlue, 1.0);  // clamped
    EXPECT_NEAR(plain->GetShininess(), 0.5, 1e-6);
    EXPECT_NEAR(plain->GetOpacity(), 0.6, 1e-6);  // "Tr" is the transparency
    VOxaMaterial* wood = rig.manager.GetMaterial("wood", 0);
    ASSERT_NE(wood, nullptr);
    EXPECT_EQ(wood->GetShininess(), 0.0);  // illum below 2
    EXPECT_NEAR(wood->GetOpacity(), 0.5, 1e-6);
    VOxaTexture* texture = rig.manager.GetTexture("wood", 0);
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(texture->GetFileName(), "wood.png");
    // The image counts from the folder of the MTL file that names it.
    EXPECT_EQ(std::string(texture->GetSourceFolder()), std::filesystem::absolute(rig.dir.path).string());
    EXPECT_FALSE(texture->GetUVSwap());  // only NURBS textures are swapped
    EXPECT_NE(rig.Messages().find("Unable to read material \"nothere\" in .mtl file\n"), std::string::npos);
    EXPECT_EQ(rig.Messages().find("Unable to load material library"), std::string::npos);

    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_EQ(mesh->GetPolygonCount(), 3);
    // Every face keeps its UVs, textured material or not.
    ASSERT_EQ(mesh->GetTextureUVCount(), 3);  // each "vt" the group uses, once
    EXPECT_EQ(mesh->GetTextureUV()[mesh->GetTextureUVIndex(0, 1)][0], 1.0);
    EXPECT_EQ(mesh->GetTextureUV()[mesh->GetTextureUVIndex(1, 2)][1], 1.0);
    EXPECT_EQ(mesh->GetTextureUV()[mesh->GetTextureUVIndex(2, 2)][1], 1.0);
    // The face without material gets index 0; the others their materials; only the textured
    // material's face has a texture.
    VArrayTemplate<int>* materials = mesh->GetMaterialIndices();
    ASSERT_NE(materials, nullptr);
    EXPECT_EQ((*materials)[0], 0);
    EXPECT_EQ(mesh->GetMaterial((*materials)[1], 0), plain);
    EXPECT_EQ(mesh->GetMaterial((*materials)[2], 0), wood);
    ASSERT_EQ(mesh->GetTextureCount(0), 1);
    VArrayTemplate<int>* textures = mesh->GetTextureIndices();
    ASSERT_NE(textures, nullptr);
    EXPECT_EQ((*textures)[0], -1);
    EXPECT_EQ((*textures)[1], -1);
    EXPECT_EQ((*textures)[2], 0);
}

TEST(obj_reader, KnownTripleReusesItsUVPosition) {
    ReaderRig rig("r5");
    WriteText(rig.dir / "m.mtl", "newmtl t\nmap_Kd t.png\n");
    ASSERT_TRUE(rig.Read(std::string(kSquare) +
                         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nmtllib m.mtl\nusemtl t\ns 1\n"
                         "f 1/1 2/2 3/3\nf 1/1 3/3 4/4\n"));
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_EQ(mesh->GetControlPointsCount(), 4);
    ASSERT_EQ(mesh->GetTextureUVCount(), 4);
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 1), 2);  // triple (3, 3) was met first with UV slot 2
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 2), 3);
    EXPECT_EQ(rig.Child(0)->GetShadingMode(), 5);
}

TEST(obj_reader, ContinuationLongLinesLineEndsAndLastLine) {
    ReaderRig rig("r6");
    std::string longComment = "# " + std::string(100000, 'x') + "\n";
    // "\r" and "\r\n" line ends, a continued face, and a last line without a line end.
    ASSERT_TRUE(
        rig.Read(longComment + "v 0 0 0\r\nv 1 0 0\rv 1 1 0\nv 0 1 0\ng a\nf 1 2 \\\n 3\ng b\nf 1 3 4"));
    ASSERT_EQ(rig.scene->GetRootNode()->GetChildCount(), 2);
    EXPECT_EQ(rig.MeshOf(0)->GetPolygonCount(), 1);
    EXPECT_EQ(rig.MeshOf(0)->GetPolygonSize(0), 3);
    EXPECT_EQ(rig.MeshOf(1)->GetPolygonCount(), 1);  // the unterminated last line counts
}

TEST(obj_reader, MalformedVerticesUnsupportedKeywordsAndState) {
    ReaderRig rig("r7");
    EXPECT_FALSE(rig.Read("v 1 2\nf 1 1 1\n"));
    EXPECT_EQ(rig.scene->GetRootNode()->GetChildCount(), 0);
    rig.reader.FileClose();
    EXPECT_FALSE(rig.Read("vt\n"));
    rig.reader.FileClose();
    EXPECT_FALSE(rig.Read("vn 1 2\n"));
    rig.reader.FileClose();
    // A second Read starts empty: the earlier vertices are gone.
    ASSERT_TRUE(rig.Read("vp 0.5\nl 1 2\ncurv 0 1 1 2\nparm u 0 1\nend\nv 1 2 3\nf 1 1 1\n", "ok.obj"));
    EXPECT_EQ(rig.reader.GetVertexCount(), 1);
    EXPECT_NE(rig.Messages().find("Object not supported : l\n"), std::string::npos);
    EXPECT_EQ(rig.Messages().find("parm"), std::string::npos);  // skipped with the curve
    EXPECT_FALSE(rig.reader.Read(rig.scene, nullptr));
    EXPECT_EQ(rig.reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
}

TEST(obj_reader, RationalBSplineSurfaceAndRefusedSurfaces) {
    std::string points;
    for (int i = 0; i < 8; ++i)
        points += "v " + std::to_string(i) + " 0 0 " + std::to_string(1 + i) + "\n";
    const std::string surface =
        "cstype rat bspline\ndeg 3 1\nsurf 0 1 0 1 1 2 3 4 5 6 7 8\n"
        "parm u 0 0 0 0 1 1 1 1\nparm v 0 0 2.5 2.5\nend\n";
    ReaderRig rig("r8");
    ASSERT_TRUE(rig.Read(points + "g patch\n" + surface));
    VOxaNurb* nurb = dynamic_cast<VOxaNurb*>(rig.Child(0)->GetNodeAttribute());
    ASSERT_NE(nurb, nullptr);
    // File u: degree 3, 8 parameters -> 4 points, stored as the surface's v count.
    EXPECT_EQ(nurb->GetVCount(), 4);
    EXPECT_EQ(nurb->GetUCount(), 2);
    EXPECT_EQ(nurb->GetUOrder(), 2);
    EXPECT_EQ(nurb->GetVOrder(), 4);
    // File point i sits at (i mod 4) * 2 + i / 4.
    EXPECT_EQ(nurb->GetControlPoints()[1][0], 4.0);
    EXPECT_EQ(nurb->GetControlPoints()[2][0], 1.0);
    EXPECT_EQ(nurb->GetControlPoints()[2][3], 2.0);
    // The knot vectors are exchanged with the directions: u knots from "parm v", v knots from "parm u".
    ASSERT_EQ(nurb->GetUKnotCount(), 4);
    ASSERT_EQ(nurb->GetVKnotCount(), 8);
    EXPECT_EQ(nurb->GetUKnotVector()[0], 0.0);
    EXPECT_EQ(nurb->GetUKnotVector()[2], 2.5);
    EXPECT_EQ(nurb->GetUKnotVector()[3], 2.5);
    EXPECT_EQ(nurb->GetVKnotVector()[3], 0.0);
    EXPECT_EQ(nurb->GetVKnotVector()[4], 1.0);

    // Wrong point count, zero degree, or not rational: skipped with a line.
    ReaderRig bad("r8b");
    ASSERT_TRUE(bad.Read(
        points +
        "cstype rat bspline\ndeg 3 1\nsurf 0 1 0 1 1 2 3\nparm u 0 0 0 0 1 1 1 1\nparm v 0 0 1 1\nend\n"
        "deg 0 0\nsurf 0 1 0 1 1\nparm u 0 1\nparm v 0 1\nend\n"));
    // The five vertices no surface names stay, as a mesh of points alone.
    ASSERT_EQ(bad.scene->GetRootNode()->GetChildCount(), 1);
    EXPECT_EQ(bad.MeshOf(0)->GetControlPointsCount(), 5);
    EXPECT_EQ(bad.MeshOf(0)->GetPolygonCount(), 0);
    EXPECT_NE(bad.Messages().find("Object not supported : surf\n"), std::string::npos);
    ReaderRig none("r8c");
    EXPECT_FALSE(none.Read(points + "surf 0 1 0 1 1 2\nend\n"));  // no cstype
}

// A "parm" statement without a direction or without values inside a surface is passed over: the
// surface keeps the knots of its whole statements.
TEST(obj_reader, ParmStatementsWithoutValuesArePassedOver) {
    std::string points;
    for (int i = 0; i < 8; ++i)
        points += "v " + std::to_string(i) + " 0 0 1\n";
    ReaderRig rig("r8d");
    ASSERT_TRUE(rig.Read(points +
                         "g patch\ncstype rat bspline\ndeg 3 1\nsurf 0 1 0 1 1 2 3 4 5 6 7 8\n"
                         "parm\nparm u\nparm u 0 0 0 0 1 1 1 1\nparm v\nparm v 0 0 2.5 2.5\nparm\nend\n"));
    VOxaNurb* nurb = dynamic_cast<VOxaNurb*>(rig.Child(0)->GetNodeAttribute());
    ASSERT_NE(nurb, nullptr);
    ASSERT_EQ(nurb->GetUKnotCount(), 4);
    ASSERT_EQ(nurb->GetVKnotCount(), 8);
    EXPECT_EQ(nurb->GetUKnotVector()[2], 2.5);
}

TEST(obj_reader, Utf16IsRefusedWithAClearError) {
    ReaderRig rig("r9");
    EXPECT_FALSE(rig.Read(std::string("\xFF\xFEv\0 \0", 6)));
    EXPECT_EQ(rig.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    rig.reader.FileClose();
    EXPECT_FALSE(rig.Read(std::string("\xFE\xFF\0v\0 ", 6), "big.obj"));  // big-endian mark
    EXPECT_EQ(rig.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    rig.reader.FileClose();
    // A first byte 0xFE without 0xFF after it is no byte-order mark: the text is read.
    ReaderRig latin("r9b");
    ASSERT_TRUE(latin.Read("\xFE\xFD\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"));
    EXPECT_EQ(latin.MeshOf(0)->GetPolygonCount(), 1);
    EXPECT_NE(latin.Messages().find("Object not supported : \xFE\xFD\n"), std::string::npos);
    EXPECT_FALSE(rig.reader.FileOpen((rig.dir / "absent.obj").c_str()));
    EXPECT_EQ(rig.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
}

TEST(obj_reader, AByteOrderMarkBeforeTheObjOrMtlTextIsSkipped) {
    ReaderRig rig("r10");
    const std::string mark = "\xEF\xBB\xBF";
    WriteText(rig.dir / "a.mtl", mark + "newmtl red\nKd 1 0 0\n");
    ASSERT_TRUE(rig.Read(mark + "mtllib a.mtl\n" + kSquare + "usemtl red\nf 1 2 3\n"));
    VOxaMaterial* red = rig.manager.GetMaterial("red", 0);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->GetDiffuse(), VOxaColor(1, 0, 0, 1));
    EXPECT_EQ(rig.Messages().find("Unable to read material"), std::string::npos) << rig.Messages();
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_EQ(mesh->GetPolygonCount(), 1);
    EXPECT_EQ(mesh->GetMaterial((*mesh->GetMaterialIndices())[0], 0), red);
}

}  // namespace

TEST(obj_reader, AMissingMaterialLibraryIsReportedBesideOneThatLoads) {
    ReaderRig rig("r4b");
    WriteText(rig.dir / "here.mtl", "newmtl red\nKd 1 0 0\n");
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "mtllib here.mtl gone.mtl\nusemtl red\nf 1 2 3\n"));
    EXPECT_NE(rig.manager.GetMaterial("red", 0), nullptr);
    EXPECT_NEAR(rig.manager.GetMaterial("red", 0)->GetDiffuse().mGreen, 0.0, 1e-9);
    // The message names the library that is missing, and only that one.
    EXPECT_NE(rig.Messages().find("Unable to load material library \"gone.mtl\"\n"), std::string::npos)
        << rig.Messages();
    EXPECT_EQ(rig.Messages().find("here.mtl"), std::string::npos) << rig.Messages();
}

TEST(obj_reader, MaterialNamesAreTheRestOfTheirLine) {
    ReaderRig rig("r4c");
    WriteText(rig.dir / "m.mtl", "newmtl red mat one\nKd 1 0 0\nnewmtl \t red mat two  \nKd 0 0 1\n");
    ASSERT_TRUE(rig.Read(std::string(kSquare) +
                         "mtllib m.mtl\nusemtl red mat one\nf 1 2 3\nusemtl  red mat two \t\nf 1 3 4\n"));
    VOxaMaterial* one = rig.manager.GetMaterial("red mat one", 0);
    VOxaMaterial* two = rig.manager.GetMaterial("red mat two", 0);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(one->GetDiffuse().mRed, 1.0);
    EXPECT_EQ(two->GetDiffuse().mBlue, 1.0);
    EXPECT_EQ(two->GetDiffuse().mRed, 0.0);
    EXPECT_EQ(rig.Messages().find("Unable to read material"), std::string::npos) << rig.Messages();
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_EQ(mesh->GetPolygonCount(), 2);
    VArrayTemplate<int>* materials = mesh->GetMaterialIndices();
    ASSERT_NE(materials, nullptr);
    EXPECT_EQ(mesh->GetMaterial((*materials)[0], 0), one);
    EXPECT_EQ(mesh->GetMaterial((*materials)[1], 0), two);
}

TEST(obj_text, NumbersAreWrittenInTheFewestDigitsThatReadBackTheSameValue) {
    auto shortest = [](double value) {
        std::string out;
        voxa_obj::AppendShortest(out, value);
        return out;
    };
    auto single = [](double value) {
        std::string out;
        voxa_obj::AppendShortestSingle(out, value);
        return out;
    };
    // Doubles: exact, however many digits that takes; a double that a float can hold too
    // (612.70703125) keeps its digits.
    for (double value : {0.0012345678901234567, 612.70703125, 1.0 / 3.0, -2.5e-300, 1e21, 0.1, -0.0, 7.0}) {
        const std::string text = shortest(value);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    }
    EXPECT_EQ(shortest(612.70703125), "612.70703125");
    EXPECT_EQ(shortest(0.1), "0.1");
    EXPECT_EQ(shortest(5.0), "5");
    // Values held in single precision read back as that float, in its own shortest form.
    EXPECT_EQ(single((double)0.1f), "0.1");
    EXPECT_EQ(std::strtof(single((double)0.123456789f).c_str(), nullptr), 0.123456789f);
    // A value that is no float is written as the double it is.
    EXPECT_EQ(single(0.1), "0.1");
    EXPECT_EQ(single(1.0 / 3.0), shortest(1.0 / 3.0));
    EXPECT_EQ(single(1e300), "1e+300");
}

TEST(obj_mtl_map, OptionsAreTakenByTheirCountAndTheFileIsTheRest) {
    voxa_obj::MapLine map;
    ASSERT_TRUE(voxa_obj::ParseMapLine("-s 2 2 1 -o 0.5 0.25 0 -clamp on wood grain.png", map));
    EXPECT_EQ(map.mFile, "wood grain.png");
    EXPECT_TRUE(map.mHasScale && map.mHasOffset);
    EXPECT_EQ(map.mScale[0], 2.0);
    EXPECT_EQ(map.mScale[1], 2.0);
    EXPECT_EQ(map.mOffset[0], 0.5);
    EXPECT_EQ(map.mOffset[1], 0.25);
    EXPECT_EQ(map.mOptions, "-clamp on");
    // One value: v and w keep their defaults (1 for a scale, 0 for an offset).
    ASSERT_TRUE(voxa_obj::ParseMapLine("-s 3 -o 0.5 t.png", map));
    EXPECT_EQ(map.mScale[1], 1.0);
    EXPECT_EQ(map.mOffset[1], 0.0);
    EXPECT_EQ(map.mOptions, "");
    // A w that is not its default stays among the kept options.
    ASSERT_TRUE(voxa_obj::ParseMapLine("-s 1 1 2 t.png", map));
    EXPECT_EQ(map.mOptions, "-s 1 1 2");
    // Fixed counts: "-mm" two words, "-imfchan" and "-type" one, whatever they look like.
    ASSERT_TRUE(voxa_obj::ParseMapLine("-mm 0 1  -imfchan  l -type sphere -bm 0.5 b.png", map));
    EXPECT_EQ(map.mFile, "b.png");
    EXPECT_EQ(map.mOptions, "-mm 0 1 -imfchan l -type sphere -bm 0.5");
    // At most three numbers; the last word is always the file, even a number or an option.
    ASSERT_TRUE(voxa_obj::ParseMapLine("-o 1 2 3 4 five.png", map));
    EXPECT_EQ(map.mFile, "4 five.png");
    ASSERT_TRUE(voxa_obj::ParseMapLine("-s 2 3", map));
    EXPECT_EQ(map.mFile, "3");
    EXPECT_EQ(map.mScale[0], 2.0);
    ASSERT_TRUE(voxa_obj::ParseMapLine("-clamp", map));
    EXPECT_EQ(map.mFile, "-clamp");
    // A word that is no known option starts the file.
    ASSERT_TRUE(voxa_obj::ParseMapLine("-x 1 a.png", map));
    EXPECT_EQ(map.mFile, "-x 1 a.png");
    EXPECT_FALSE(voxa_obj::ParseMapLine("   ", map));
    EXPECT_TRUE(voxa_obj::HasMapOption("-mm 0 1 -s 1 1 2", "-s"));
    EXPECT_FALSE(voxa_obj::HasMapOption("-mm 0 1", "-s"));
}

TEST(obj_reader, EveryMapOfAMaterialIsReadWithItsOptions) {
    ReaderRig rig("maps");
    WriteText(rig.dir / "m.mtl",
              "newmtl m\nKd 1 1 1\nmap_Kd -s 2 2 1 -o 0.5 0.25 0 -clamp on wood grain.png\n"
              "map_Ks -imfchan r spec.png\nmap_Ns shine.png\nmap_d alpha.png\nmap_bump -bm 0.5 bumps.png\n"
              "refl -type sphere sky.png\nmap_Ka amb.png\nmap_Ke glow.png\n"
              "newmtl n\nbump -bm 2 alt bump.png\nmap_Kd -s 3 tex.png\n");
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "mtllib m.mtl\nusemtl m\nf 1 2 3\nusemtl n\nf 1 3 4\n"));
    VOxaMaterial* m = rig.manager.GetMaterial("m", 0);
    VOxaMaterial* n = rig.manager.GetMaterial("n", 0);
    ASSERT_TRUE(m != nullptr && n != nullptr);
    const std::string folder = std::filesystem::absolute(rig.dir.path).lexically_normal().string();
    struct Expected {
        VOxaMaterial::EMapRole role;
        const char* file;
        const char* options;
    };
    const Expected expected[] = {{VOxaMaterial::eMAP_SPECULAR, "spec.png", "-imfchan r"},
                                 {VOxaMaterial::eMAP_SHININESS, "shine.png", ""},
                                 {VOxaMaterial::eMAP_OPACITY, "alpha.png", ""},
                                 {VOxaMaterial::eMAP_BUMP, "bumps.png", ""},
                                 {VOxaMaterial::eMAP_EMISSIVE, "glow.png", ""},
                                 {VOxaMaterial::eMAP_REFLECTION, "sky.png", "-type sphere"},
                                 {VOxaMaterial::eMAP_AMBIENT, "amb.png", ""}};
    for (const Expected& e : expected) {
        VOxaTexture* map = m->GetMap(e.role);
        ASSERT_NE(map, nullptr) << e.file;
        EXPECT_STREQ(map->GetFileName(), e.file);
        EXPECT_EQ(voxa_obj::GetMapOptions(map), e.options) << e.file;
        // Found from the MTL file's folder, as the colour map is.
        EXPECT_EQ(std::string(map->GetSourceFolder()), folder);
    }
    // A bump map's -bm is its strength; -clamp is a wrap mode.
    EXPECT_EQ(m->GetMap(VOxaMaterial::eMAP_BUMP)->GetDefaultAlpha(), 0.5);
    EXPECT_EQ(m->GetMap(VOxaMaterial::eMAP_SPECULAR)->GetDefaultAlpha(), 1.0);
    ASSERT_NE(n->GetMap(VOxaMaterial::eMAP_BUMP), nullptr);
    EXPECT_EQ(n->GetMap(VOxaMaterial::eMAP_BUMP)->GetDefaultAlpha(), 2.0);
    EXPECT_STREQ(n->GetMap(VOxaMaterial::eMAP_BUMP)->GetFileName(), "alt bump.png");
    EXPECT_EQ(n->GetMap(VOxaMaterial::eMAP_SPECULAR), nullptr);
    // The colour map stays on the mesh, its -s and -o in the texture's scale and translation.
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetTextureCount(0), 2);
    VOxaTexture* wood = mesh->GetTexture(0, 0);
    EXPECT_STREQ(wood->GetFileName(), "wood grain.png");
    EXPECT_EQ(wood->GetScaleU(), 2.0);
    EXPECT_EQ(wood->GetScaleV(), 2.0);
    EXPECT_EQ(wood->GetTranslationU(), 0.5);
    EXPECT_EQ(wood->GetTranslationV(), 0.25);
    EXPECT_EQ(voxa_obj::GetMapOptions(wood), "");
    EXPECT_EQ(wood->GetWrapModeU(), 1);
    EXPECT_EQ(wood->GetWrapModeV(), 1);
    VOxaTexture* tex = mesh->GetTexture(1, 0);
    EXPECT_EQ(tex->GetWrapModeU(), 0);
    EXPECT_STREQ(tex->GetFileName(), "tex.png");
    EXPECT_EQ(tex->GetScaleU(), 3.0);
    EXPECT_EQ(tex->GetScaleV(), 1.0);
}

TEST(obj_reader, AMaterialNamedBeforeItsLibraryTakesItsValues) {
    ReaderRig rig("late_mtllib");
    WriteText(rig.dir / "m.mtl", "newmtl red\nKd 1 0 0\nmap_Kd r.png\nnewmtl blue\nKd 0 0 1\n");
    ASSERT_TRUE(rig.Read(std::string(kSquare) + "usemtl red\nf 1 2 3\nmtllib m.mtl\nusemtl blue\nf 1 3 4\n"
                                                "usemtl nowhere\nf 2 3 4\n"));
    VOxaMaterial* red = rig.manager.GetMaterial("red", 0);
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->GetDiffuse(), VOxaColor(1, 0, 0, 1));
    EXPECT_EQ(rig.manager.GetMaterial("blue", 0)->GetDiffuse(), VOxaColor(0, 0, 1, 1));
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 3);
    EXPECT_EQ(mesh->GetMaterial((*mesh->GetMaterialIndices())[0], 0), red);
    // The red faces carry its colour map; the others none.
    ASSERT_NE(mesh->GetTextureIndices(), nullptr);
    ASSERT_GE((*mesh->GetTextureIndices())[0], 0);
    EXPECT_STREQ(mesh->GetTexture((*mesh->GetTextureIndices())[0], 0)->GetFileName(), "r.png");
    EXPECT_EQ((*mesh->GetTextureIndices())[1], -1);
    // Only the material that no library defines is reported.
    EXPECT_EQ(rig.Messages().find("\"red\""), std::string::npos) << rig.Messages();
    EXPECT_NE(rig.Messages().find("Unable to read material \"nowhere\""), std::string::npos)
        << rig.Messages();
}

TEST(obj_reader, NoFaceWithAreaGetsAZeroNormal) {
    // A face and its back in one smoothing group: their normals cancel at every point, so each
    // corner takes its own face's normal.
    ReaderRig rig("cancel");
    ASSERT_TRUE(rig.Read("v 0 0 0\nv 2 0 0\nv 0 2 0\ns 1\nf 1 2 3\nf 1 3 2\n"));
    VOxaMesh* mesh = rig.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    for (int p = 0; p < 2; ++p)
        for (int k = 0; k < 3; ++k) {
            VgeTVector n;
            ASSERT_TRUE(mesh->GetPolygonVertexNormal(p, k, n));
            EXPECT_EQ(n[0], 0.0);
            EXPECT_EQ(n[1], 0.0);
            EXPECT_EQ(n[2], p == 0 ? 1.0 : -1.0) << "polygon " << p << " corner " << k;
        }
    // A polygon whose first three corners lie on a line: its normal is from all its corners.
    ReaderRig line("line");
    ASSERT_TRUE(line.Read("v 0 0 0\nv 1 0 0\nv 2 0 0\nv 2 0 1\nv 0 0 1\nf 1 2 3 4 5\n"));
    mesh = line.MeshOf(0);
    ASSERT_NE(mesh, nullptr);
    for (int k = 0; k < 5; ++k) {
        VgeTVector n;
        ASSERT_TRUE(mesh->GetPolygonVertexNormal(0, k, n));
        // Counter-clockwise seen from -y: the normal is -y.
        EXPECT_NEAR(n[0], 0.0, 1e-15);
        EXPECT_NEAR(n[1], -1.0, 1e-15);
        EXPECT_NEAR(n[2], 0.0, 1e-15);
    }
}
