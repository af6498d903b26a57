#include "formats/geometry/dxf/voxa_writer_dxf.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "animation/fcurve.h"
#include "dxf_test_util.h"
#include "formats/geometry/voxa_material_extras.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_take_node.h"

using namespace dxftest;

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Scene {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();

    VOxaMaterial* Material(const char* name, double r, double g, double b) {
        VOxaMaterial* m = manager.CreateMaterial(name);
        m->SetDiffuse(VOxaColor(r, g, b, 1));
        return m;
    }
    // A mesh node below `parent` (the root when null) with the points and polygons given.
    VOxaNode* Mesh(const char* name, const std::vector<std::vector<double>>& points,
                   const std::vector<std::vector<int>>& polygons, VOxaNode* parent = nullptr,
                   std::vector<VOxaMaterial*> materials = {}, std::vector<int> polygonMaterials = {}) {
        VOxaNode* node = manager.CreateNode(name);
        VOxaMesh* mesh = manager.CreateMesh();
        mesh->InitControlPoints((int)points.size());
        for (size_t i = 0; i < points.size(); ++i)
            mesh->GetControlPoints()[i] = VgeTVector(points[i][0], points[i][1], points[i][2], 1);
        for (VOxaMaterial* m : materials)
            mesh->AddMaterial(m, 0);
        if (!polygonMaterials.empty()) mesh->InitMaterialIndices(3);
        for (size_t k = 0; k < polygons.size(); ++k) {
            mesh->BeginPolygon(polygonMaterials.empty() ? -1 : polygonMaterials[k]);
            for (int i : polygons[k])
                mesh->AddPolygonVertex(i);
            mesh->EndPolygon();
        }
        node->SetNodeAttribute(mesh);
        (parent ? parent : scene->GetRootNode())->AddChild(node);
        return node;
    }

    // Writes with the options given; the file's text, or "" when writing failed.
    std::string Write(bool triangulate = false, bool evaluate = true, VOxaWriterDxf* use = nullptr) {
        fs::path path =
            fs::temp_directory_path() / ("dxf_writer_test_" + std::to_string(::getpid()) + ".dxf");
        VOxaWriterDxf own(&manager);
        VOxaWriterDxf& writer = use ? *use : own;
        EXPECT_TRUE(writer.FileCreate(path.string().c_str()));
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        auto* dxf = static_cast<VStreamOptionsDxf*>(options.get());
        dxf->SetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION, triangulate ? 1 : 0);
        dxf->SetOptionValue(VStreamOptionsDxf::eEVALUATE_DEFORMATIONS, evaluate ? 1 : 0);
        bool ok = writer.Write(scene, options.get());
        ok = writer.FileClose() && ok;
        std::string text = ok ? Slurp(path) : "";
        fs::remove(path);
        return text;
    }
};

const std::vector<std::vector<double>> kCube = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const std::vector<std::vector<int>> kCubeFaces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                  {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

const char kHeader[] =
    "999\nMorvane Dxf writer for OXA\n  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1008\n"
    "  9\n$DWGCODEPAGE\n  3\nANSI_1252\n"
    // The extents of the points written, (0, 0, 0) to (1, 1, 0) in the scene: in DXF axes
    // (x, -z, y) from (0, 0, 0) to (1, 0, 1).
    "  9\n$EXTMIN\n 10\n0\n 20\n0\n 30\n0\n  9\n$EXTMAX\n 10\n1\n 20\n0\n 30\n1\n"
    "  9\n$UCSORG\n 10\n0.0\n 20\n0.0\n 30\n0.0\n  9\n$UCSXDIR\n 10\n1.0\n 20\n0.0\n 30\n0.0\n"
    "  9\n$TILEMODE\n 70\n   1\n  9\n$UCSYDIR\n 10\n0.0\n 20\n1.0\n 30\n0.0\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nTABLES\n";

}  // namespace

TEST(dxf_writer, ErrorsWithoutFileOrOptions) {
    Scene s;
    VOxaWriterDxf writer(&s.manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    EXPECT_FALSE(writer.Write(s.scene, options.get()));
    EXPECT_EQ(writer.GetError().GetLastErrorString(), "File not opened");
    EXPECT_FALSE(writer.FileCreate("/nonexistent/dir/out.dxf"));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    fs::path path = fs::temp_directory_path() / "dxf_writer_test_options.dxf";
    ASSERT_TRUE(writer.FileCreate(path.string().c_str()));
    std::unique_ptr<VStreamOptions> foreign(VStreamOptionsObj::Create());
    EXPECT_FALSE(writer.Write(s.scene, foreign.get()));
    EXPECT_EQ(writer.GetError().GetLastErrorString(), "Stream options not set");
    EXPECT_FALSE(writer.Write(s.scene, nullptr));
    EXPECT_TRUE(writer.FileClose());
    fs::remove(path);
}

TEST(dxf_writer, FailedOutputIsReportedAndLeavesTheTarget) {
    Scene s;
    std::vector<std::vector<double>> points;
    std::vector<std::vector<int>> polygons;
    for (int i = 0; i < 3000; ++i) {
        points.push_back({(double)i, 0, 0});
        polygons.push_back({i, (i + 1) % 3000, (i + 2) % 3000});
    }
    s.Mesh("Big", points, polygons);
    fs::path path = fs::temp_directory_path() / "dxf_writer_test_full.dxf";
    { std::ofstream(path) << "old"; }
    // A file-size limit makes the writes fail as a full disk would.
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    VOxaWriterDxf writer(&s.manager);
    ASSERT_TRUE(writer.FileCreate(path.string().c_str()));
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    const bool written = writer.Write(s.scene, options.get());
    const int error = writer.GetError().GetLastErrorID();
    const bool closed = writer.FileClose();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_FALSE(closed);
    EXPECT_EQ(Slurp(path), "old");
    fs::remove(path);
}

TEST(dxf_writer, TablesLayersAndColours) {
    Scene s;
    VOxaMaterial* blue = s.Material("blue", 0, 0, 1);
    VOxaMaterial* red = s.Material("red", 1, 0, 0);
    VOxaNode* group = s.manager.CreateNode("Group");  // no attribute: no layer, children visited
    s.scene->GetRootNode()->AddChild(group);
    VOxaNode* hidden = s.Mesh("Hidden", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, group, {red});
    hidden->SetVisibility(false);
    s.Mesh("Two", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, group, {red, blue});
    s.Mesh("Plain", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    const std::string text = s.Write();
    const std::string tables =
        "  0\nTABLE\n  2\nLTYPE\n 70\n   1\n  0\nLTYPE\n  2\nCONTINUOUS\n 70\n   64\n"
        "  3\nSolid line\n 72\n   65\n 73\n   0\n 40\n0.0\n  0\nENDTAB\n"
        "  0\nTABLE\n  2\nLAYER\n 70\n   4\n"  // every node below the root
        "  0\nLAYER\n  2\nHidden\n 70\n   0\n 62\n   -1\n  6\nCONTINUOUS\n"
        "  0\nLAYER\n  2\nTwo\n 70\n   0\n 62\n   5\n  6\nCONTINUOUS\n"
        "  0\nLAYER\n  2\nPlain\n 70\n   0\n 62\n   7\n  6\nCONTINUOUS\n"  // white without material
        "  0\nENDTAB\n  0\nENDSEC\n";
    ASSERT_EQ(text.substr(0, sizeof kHeader - 1), kHeader);
    EXPECT_EQ(text.substr(sizeof kHeader - 1, tables.size()), tables);
    // The last material's colour on the polyline and its faces; none without material.
    EXPECT_NE(text.find("  0\nPOLYLINE\n  8\nTwo\n 62\n   5\n 66\n   1\n"), std::string::npos);
    EXPECT_NE(text.find("  0\nPOLYLINE\n  8\nPlain\n 66\n   1\n"), std::string::npos);
    const std::string plain = text.substr(text.find("Plain\n 66"));
    EXPECT_EQ(plain.find(" 62\n"), std::string::npos);
}

TEST(dxf_writer, PolyfaceRecords) {
    Scene s;
    s.Mesh("Cube", kCube, kCubeFaces);
    std::string text = s.Write();
    EXPECT_NE(text.find(" 70\n   64\n 71\n   8\n 72\n   6\n"), std::string::npos);
    EXPECT_EQ(Count(text, " 70\n   192\n"), 8u);
    EXPECT_EQ(Count(text, " 70\n   128\n"), 6u);
    EXPECT_EQ(Count(text, " 74\n"), 6u);
    EXPECT_NE(text.find("  0\nSEQEND\n  0\nENDSEC\n"), std::string::npos);

    Scene t;
    t.Mesh("Tri", {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{0, 1, 2}});
    text = t.Write();
    // (x, y, z) is written as X = x, Y = -z, Z = y; indices in polygon order and 1-based.
    EXPECT_NE(text.find(" 10\n1\n 20\n-3\n 30\n2\n 70\n   192\n"), std::string::npos);
    EXPECT_NE(text.find(" 70\n   128\n 71\n   1\n 72\n   2\n 73\n   3\n  0\nSEQEND"), std::string::npos);
}

TEST(dxf_writer, LargePolygonsBecomeAFan) {
    Scene s;
    VOxaMaterial* red = s.Material("red", 1, 0, 0);
    s.Mesh("Hex", {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 2, 0}, {-1, 1, 0}}, {{0, 1, 2, 3, 4, 5}},
           nullptr, {red});
    const std::string text = s.Write();
    EXPECT_NE(text.find(" 71\n   6\n 72\n   4\n"), std::string::npos);  // four face records
    EXPECT_EQ(Count(text, " 70\n   128\n"), 4u);
    // The first triangle, then (i0, i(j+1), i(j+2)) with the one-blank colour line.
    EXPECT_NE(text.find(" 71\n   1\n 72\n   2\n 73\n   3\n"), std::string::npos);
    EXPECT_NE(
        text.find(" 62\n 1\n 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   128\n 71\n   1\n 72\n   3\n 73\n   4\n"),
        std::string::npos);
    EXPECT_NE(text.find(" 71\n   1\n 72\n   5\n 73\n   6\n"), std::string::npos);
    // Read back, the fan covers the hexagon with triangles of the polygon's orientation.
    Reading r;
    ASSERT_TRUE(r.Read(text, kEntity));
    VOxaMesh* mesh = r.Child(0)->GetMesh();
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    EXPECT_EQ(Polygon(mesh, 0), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(Polygon(mesh, 1), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(Polygon(mesh, 3), (std::vector<int>{0, 4, 5}));

    // An L, which the fan would fold (its reflex corner is 2), is cut into triangles that cover
    // its area of 3, each facing +Y in the scene as the L does.
    Scene l;
    l.Mesh("L", {{2, 0, 0}, {2, 0, -1}, {1, 0, -1}, {1, 0, -2}, {0, 0, -2}, {0, 0, 0}}, {{0, 1, 2, 3, 4, 5}});
    Reading back;
    ASSERT_TRUE(back.Read(l.Write(), kEntity));
    mesh = back.Child(0)->GetMesh();
    ASSERT_EQ(mesh->GetPolygonCount(), 4);
    double area = 0;
    for (int k = 0; k < 4; ++k) {
        const std::vector<std::vector<double>> t = PolygonPoints(mesh, k);
        // The Y component of (b - a) x (c - a): (dz1 dx2 - dx1 dz2).
        const double facing =
            0.5 * ((t[1][2] - t[0][2]) * (t[2][0] - t[0][0]) - (t[1][0] - t[0][0]) * (t[2][2] - t[0][2]));
        EXPECT_GT(facing, 0.0) << "triangle " << k;
        area += facing;
    }
    EXPECT_NEAR(area, 3.0, 1e-9);
}

TEST(dxf_writer, ForcedTriangulationAndTransforms) {
    Scene s;
    VOxaNode* node = s.Mesh("Quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    node->SetLclTranslation(VgeTVector(10, 0, 0, 0));
    VOxaMesh* mesh = node->GetMesh();
    const std::string text = s.Write(true);
    EXPECT_EQ(Count(text, " 70\n   128\n"), 2u);
    // The file has triangles; the scene keeps its own quad mesh, and writes it so again.
    EXPECT_EQ(node->GetMesh(), mesh);
    ASSERT_EQ(mesh->GetPolygonCount(), 1);
    EXPECT_EQ(mesh->GetPolygonSize(0), 4);
    EXPECT_EQ(Count(s.Write(false), " 70\n   128\n"), 1u);
    EXPECT_NE(text.find(" 10\n11\n 20\n-0\n 30\n1\n"), std::string::npos);

    // A mesh the current take moves is placed where the take has it at its start: the take's
    // X translation track starts at frame 10 (at 20) and the take at frame 0.
    ASSERT_TRUE(s.scene->CreateTake("move"));
    ASSERT_TRUE(s.scene->SetCurrentTake("move"));
    VFCurveKey key;
    const VTime frame = VTime::GetOneFrameValue(6);
    key.Set(frame * 10, 20.0f, VFCurveKey::eInterpolationLinear);
    node->GetCurrentTakeNode()->GetTranslationX()->KeyAdd(frame * 10, key);
    key.Set(frame * 20, 30.0f, VFCurveKey::eInterpolationLinear);
    node->GetCurrentTakeNode()->GetTranslationX()->KeyAdd(frame * 20, key);
    const std::string moved = s.Write(true);
    EXPECT_NE(moved.find(" 10\n21\n 20\n-0\n 30\n1\n"), std::string::npos);
}

TEST(dxf_writer, DrawingUnitsAreReadIntoTheSceneAndWrittenBack) {
    // Millimetres (4), inches (1) and US survey feet (21) come back as they were; a drawing
    // without a unit, or with one of no known code, leaves the scene's unit unstated.
    for (int code : {4, 1, 21, 0, 99}) {
        const std::string text =
            "  0\nSECTION\n  2\nHEADER\n  9\n$INSUNITS\n 70\n" + std::to_string(code) +
            "\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\n3DFACE\n  8\nA\n 10\n0\n 20\n0\n"
            " 30\n0\n 11\n1\n 21\n0\n 31\n0\n 12\n0\n 22\n1\n 32\n0\n 13\n0\n 23\n1\n 33\n0\n"
            "  0\nENDSEC\n  0\nEOF\n";
        dxftest::Reading r;
        ASSERT_TRUE(r.Read(text)) << code;
        const double expected[] = {0.0, 2.54, 0.1, 1200.0 / 3937.0 * 100.0, 0.0};
        const int which = code == 4 ? 2 : code == 1 ? 1 : code == 21 ? 3 : code == 0 ? 0 : 4;
        EXPECT_NEAR(r.scene->GetSystemUnit(), expected[which], 1e-12) << code;
        Scene s;
        s.Mesh("Quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
        s.scene->SetSystemUnit(r.scene->GetSystemUnit());
        const std::string written = s.Write();
        const bool stated = code == 4 || code == 1 || code == 21;
        EXPECT_EQ(written.find("$INSUNITS\n 70\n   " + std::to_string(code) + "\n") != std::string::npos,
                  stated)
            << code;
        EXPECT_EQ(written.find("$INSUNITS") != std::string::npos, stated) << code;
    }
    // A unit no code has is written without one, and said so (on a line of its own).
    Scene s;
    VOxaNode* quad = s.Mesh("Quad", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    voxa_extras::SetNumber(quad, voxa_extras::kObjectFlags3ds, 1);
    s.scene->SetSystemUnit(3.0);
    VOxaWriterDxf writer(&s.manager);
    EXPECT_EQ(s.Write(false, true, &writer).find("$INSUNITS"), std::string::npos);
    EXPECT_NE(std::string(writer.GetMessageText().Buffer()).find("without a unit.\n3DS values"),
              std::string::npos)
        << writer.GetMessageText().Buffer();
}

TEST(dxf_writer, RoundTripKeepsPointsAndPolygons) {
    Scene s;
    VOxaMaterial* red = s.Material("red", 1, 0, 0);
    VOxaMaterial* grey = s.Material("grey", 0.5, 0.5, 0.5);
    s.Mesh("Cube", kCube, kCubeFaces, nullptr, {red, grey}, {0, 1, 0, 1, 0, 1});
    s.Mesh("Tris", {{0.125, -2.5, 3}, {4, 5, 6}, {7, 8, 9}, {1, 1, 1}}, {{0, 1, 2}, {3, 2, 1}});
    const std::string text = s.Write();
    Reading r;
    ASSERT_TRUE(r.Read(text, kEntity));
    ASSERT_EQ(r.Root()->GetChildCount(), 2);
    for (int n = 0; n < 2; ++n) {
        VOxaMesh* original = s.scene->GetRootNode()->GetChild(n)->GetMesh();
        VOxaMesh* read = r.Child(n)->GetMesh();
        ASSERT_EQ(read->GetControlPointsCount(), original->GetControlPointsCount());
        for (int i = 0; i < read->GetControlPointsCount(); ++i)
            EXPECT_EQ(read->GetControlPoints()[i], original->GetControlPoints()[i]) << n << " " << i;
        ASSERT_EQ(read->GetPolygonCount(), original->GetPolygonCount());
        for (int k = 0; k < read->GetPolygonCount(); ++k)
            EXPECT_EQ(Polygon(read, k), Polygon(original, k));
    }
    // Per-polygon colours come back as materials of those colours: red by its colour number, the
    // grey no number holds by its 24-bit colour (128 of 255 a channel).
    VOxaMesh* cube = r.Child(0)->GetMesh();
    EXPECT_EQ(PolygonMaterial(cube, 0)->GetDiffuse(), VOxaColor(1, 0, 0, 1));
    EXPECT_NEAR(PolygonMaterial(cube, 1)->GetDiffuse().mRed, 128 / 255.0, 1e-6);  // kept in single precision
    EXPECT_NE(text.find("420\n   8421504\n"), std::string::npos);
    // Layer mode gives the same, with the layer named after the node.
    Reading layers;
    ASSERT_TRUE(layers.Read(text, kLayer, false));
    EXPECT_EQ(layers.Name(layers.Child(0)), "Model::Cube");
    EXPECT_EQ(layers.Child(0)->GetMesh()->GetControlPointsCount(), 8);
}

TEST(dxf_writer, LayerNamesAreValidAndUnique) {
    Scene s;
    const std::vector<std::vector<double>> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (const char* name : {"Cube", "cube", "Cube", "Cube1", "Wall 1", "a<b>c/d\\e\"f:g;h?i*j|k=l'm`n",
                             "Tab\tEnd\x7f", "Model::", " edge "})
        s.Mesh(name, tri, {{0, 1, 2}});
    const std::string text = s.Write();
    // Without "Model::", the characters table names may not hold and blanks at either end (which
    // readers trim) as "_", names that clash without regard to case numbered.
    const std::vector<std::string> layers = {"Cube",     "cube1",  "Cube2",
                                             "Cube11",   "Wall 1", "a_b_c_d_e_f_g_h_i_j_k_l_m_n",
                                             "Tab_End_", "Name",   "_edge_"};
    std::string table;
    for (const std::string& layer : layers)
        table += "  0\nLAYER\n  2\n" + layer + "\n 70\n   0\n 62\n   7\n  6\nCONTINUOUS\n";
    EXPECT_NE(text.find(table), std::string::npos) << text.substr(0, 1500);
    // Each polyline and its vertices are on their node's layer.
    for (const std::string& layer : layers) {
        EXPECT_EQ(Count(text, "POLYLINE\n  8\n" + layer + "\n"), 1u) << layer;
        EXPECT_EQ(Count(text, "VERTEX\n  8\n" + layer + "\n"), 4u) << layer;
    }
    EXPECT_EQ(Count(text, "::"), 0u);
    // Read back by layer, every node comes back under the name written, and a node name the
    // format allows survives the round trip as it was.
    Reading r;
    ASSERT_TRUE(r.Read(text, kLayer));
    std::vector<std::string> names;
    for (int i = 0; i < r.Root()->GetChildCount(); ++i)
        names.push_back(r.Name(r.Child(i)));
    EXPECT_EQ(names.size(), layers.size());
    for (const std::string& layer : layers)
        EXPECT_NE(std::find(names.begin(), names.end(), "Model::" + layer), names.end()) << layer;

    // Every Write names afresh: the same scene written twice gives the same text.
    VOxaWriterDxf writer(&s.manager);
    EXPECT_EQ(s.Write(false, true, &writer), s.Write(false, true, &writer));
}

TEST(dxf_writer, PointsThatAreNotNumbersAreKeptOrRefused) {
    const double nan = std::nan("");
    {
        // An unused point that is not a number is written as one and read back so; a large point
        // that is a number is written as one.
        // The user is told, as some DXF readers refuse such a number; each warning on a line
        // of its own.
        Scene s;
        VOxaNode* node = s.Mesh("a", {{1, 0, 0}, {nan, nan, nan}, {2, 0, 0}, {0, 1e300, 0}, {3, 0, 0}},
                                {{0, 2, 4}, {4, 3, 0}});
        voxa_extras::SetNumber(node, voxa_extras::kObjectFlags3ds, 1);
        VOxaWriterDxf writer(&s.manager);
        const std::string text = s.Write(false, true, &writer);
        ASSERT_FALSE(text.empty());
        EXPECT_NE(std::string(writer.GetMessageText().Buffer())
                      .find("1 point no face uses is not a number and is written as such (\"nan\"); a DXF "
                            "reader that takes only numbers refuses the file.\n3DS values"),
                  std::string::npos)
            << writer.GetMessageText().Buffer();
        EXPECT_NE(text.find(" 10\nnan\n 20\nnan\n 30\nnan\n"), std::string::npos);
        EXPECT_NE(text.find(" 70\n   64\n 71\n   5\n 72\n   2\n"), std::string::npos);  // 5 points
        EXPECT_EQ(Count(text, "   192\n"), 5u);
        EXPECT_NE(text.find(" 10\n2\n"), std::string::npos);
        EXPECT_NE(text.find(" 71\n   1\n 72\n   3\n 73\n   5\n"), std::string::npos);
        EXPECT_NE(text.find(" 71\n   5\n 72\n   4\n 73\n   1\n"), std::string::npos);
        Reading r;
        ASSERT_TRUE(r.Read(text));
        VOxaMesh* mesh = r.Child(0)->GetMesh();
        ASSERT_EQ(mesh->GetControlPointsCount(), 5);
        EXPECT_TRUE(std::isnan(mesh->GetControlPoints()[1][0]));
        EXPECT_EQ(mesh->GetControlPoints()[3][1], 1e300);
    }
    {
        // A face on such a point cannot be written: the Write fails naming the mesh and leaves no
        // file.
        Scene s;
        s.Mesh("fine", kCube, kCubeFaces);
        s.Mesh("broken", {{0, 0, 0}, {1, 0, 0}, {nan, 1, 0}}, {{0, 1, 2}});
        const fs::path path =
            fs::temp_directory_path() / ("dxf_writer_nan_" + std::to_string(::getpid()) + ".dxf");
        VOxaWriterDxf writer(&s.manager);
        ASSERT_TRUE(writer.FileCreate(path.string().c_str()));
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        EXPECT_FALSE(writer.Write(s.scene, options.get()));
        writer.FileClose();
        const std::string error = writer.GetError().GetLastErrorString().Buffer();
        EXPECT_NE(error.find("\"broken\""), std::string::npos) << error;
        EXPECT_NE(error.find("control point 2"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST(dxf_writer, LayerNamesInACodePageThatHoldsThem) {
    // The header names the one code page the names are written in: Windows-1252 when it holds
    // them all, else a page that does; the bytes are the characters' places in the published
    // tables (Ω 0xD9 in 1253, 日 0x93FA and 本 0x967B in Shift-JIS). The reader gives back the
    // names the scene had.
    // Names that are no UTF-8 (Shift-JIS or Windows-1252 bytes of a 3DS file) keep their bytes
    // in a page that reads them, and read back as its characters.
    struct Case {
        std::vector<std::string> names, layers;
        std::string page;
        std::vector<std::string> read = {};
    };
    const std::vector<Case> cases = {
        {{"Gr\xC3\xBC\xC3\x9F"
          "e",
          "\xE2\x82\xAC"
          "5"},
         {"Gr\xFC\xDF"
          "e",
          "\x80"
          "5"},
         "ANSI_1252"},
        {{"\xCE\xA9mega", "plain"}, {"\xD9mega", "plain"}, "ANSI_1253"},
        {{"a\xE9\x96\x89"
          "b",
          "\xE6\x97\xA5\xE6\x9C\xAC"},
         {"a\x95\xC2"
          "b",
          "\x93\xFA\x96\x7B"},
         "ANSI_932"},
        {{"\x83|\x83\x8a\x8c`", "\x8b\x85"},
         {"\x83|\x83\x8a\x8c`", "\x8b\x85"},
         "ANSI_932",
         {"\xE3\x83\x9D\xE3\x83\xAA\xE5\xBD\xA2", "\xE7\x90\x83"}},
        {{"Barri\xE8re"}, {"Barri\xE8re"}, "ANSI_1252", {"Barri\xC3\xA8re"}},
    };
    const std::vector<std::vector<double>> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (const Case& c : cases) {
        Scene s;
        for (const std::string& name : c.names)
            s.Mesh(name.c_str(), tri, {{0, 1, 2}});
        const std::string text = s.Write();
        EXPECT_NE(text.find("  9\n$DWGCODEPAGE\n  3\n" + c.page + "\n"), std::string::npos) << c.page;
        EXPECT_EQ(text.find('\\'), std::string::npos) << c.page;
        for (const std::string& layer : c.layers) {
            EXPECT_NE(text.find("  0\nLAYER\n  2\n" + layer + "\n"), std::string::npos) << layer;
            EXPECT_NE(text.find("  0\nPOLYLINE\n  8\n" + layer + "\n"), std::string::npos) << layer;
        }
        Reading r;
        ASSERT_TRUE(r.Read(text));
        ASSERT_EQ(r.Root()->GetChildCount(), (int)c.names.size());
        const std::vector<std::string>& read = c.read.empty() ? c.names : c.read;
        for (int i = 0; i < r.Root()->GetChildCount(); ++i)
            EXPECT_NE(std::find(read.begin(), read.end(), r.Name(r.Child(i)).substr(7)), read.end())
                << r.Name(r.Child(i));
    }
}

// Case is folded at the ends of the letter ranges too: A and a, Я and я meet.
TEST(dxf_writer, NamesMeetingAtTheEndsOfTheLetterRangesAreNumberedApart) {
    Scene s;
    for (const char* name : {"A", "a", "\xD0\xAF", "\xD1\x8F"})
        s.Mesh(name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    VOxaWriterDxf writer(&s.manager);
    const std::string text = s.Write(false, true, &writer);
    EXPECT_NE(text.find("$DWGCODEPAGE\n  3\nANSI_1251\n"), std::string::npos);
    for (const char* layer : {"\n  2\nA\n", "\n  2\na1\n", "\n  2\n\xDF\n",
                              "\n  2\n\xFF"
                              "1\n"})
        EXPECT_NE(text.find(layer), std::string::npos) << layer;
    // Letters outside the folded pairs stay themselves: é and ê do not meet.
    Scene accents;
    for (const char* name : {"\xC3\xA9", "\xC3\xAA"})
        accents.Mesh(name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    const std::string latin = accents.Write();
    for (const char* layer : {"\n  2\n\xE9\n", "\n  2\n\xEA\n"})
        EXPECT_NE(latin.find(layer), std::string::npos) << layer;
}

TEST(dxf_writer, CharactersNoPageHoldsBecomeUnderscoresKeptApart) {
    // No page holds an emoji beside Greek and Japanese: such characters become "_" with a
    // warning, and names that then meet are numbered apart. Controls, C1 controls and the marks
    // that turn text around never reach a name. Layer names that differ only in case, as readers
    // compare table names (also beyond ASCII), are numbered apart too.
    Scene s;
    const std::vector<std::vector<double>> tri = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (const char* name : {"\xCE\xA9\xF0\x9F\x98\x80", "\xCE\xA9\xF0\x9F\x98\x81", "\xE6\x97\xA5", "a\tb",
                             "a\xC2\x85"
                             "b",
                             "c\xE2\x80\xAE"
                             "d",
                             "bad\xC3("})
        s.Mesh(name, tri, {{0, 1, 2}});
    VOxaWriterDxf writer(&s.manager);
    const std::string text = s.Write(false, true, &writer);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("$DWGCODEPAGE\n  3\nANSI_932\n"), std::string::npos);
    std::vector<std::string> layers;
    for (size_t at = text.find("  0\nLAYER\n  2\n"); at != std::string::npos;
         at = text.find("  0\nLAYER\n  2\n", at + 1)) {
        const size_t start = at + 14;
        layers.push_back(text.substr(start, text.find('\n', start) - start));
    }
    // Ω is 0x83B6 in Shift-JIS.
    const std::vector<std::string> expected = {"\x83\xB6_", "\x83\xB6_1", "\x93\xFA", "a_b",
                                               "a_b1",      "c_d",        "bad_("};
    EXPECT_EQ(layers, expected);
    const std::string warnings = writer.GetMessageText().Buffer();
    EXPECT_NE(warnings.find("cannot hold is written as \"_\""), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("ANSI_932"), std::string::npos) << warnings;
    // Only the characters the page lacks are warned about, not those no name may hold.
    EXPECT_EQ(warnings.find("a_b"), std::string::npos) << warnings;

    // Each character a page cannot hold is counted, also those of a name that is no UTF-8: the
    // five of a Shift-JIS name (five katakana) beside a Thai one, which needs page 874.
    Scene legacy;
    for (const char* name : {"\x83|\x83\x8a\x83S\x83\x93\x83\x81",
                             "\xE0\xB8\x81\xE0\xB8\x82\xE0\xB8\x84\xE0\xB8\x86\xE0\xB8\x87\xE0\xB8\x88"})
        legacy.Mesh(name, tri, {{0, 1, 2}});
    VOxaWriterDxf legacyWriter(&legacy.manager);
    EXPECT_NE(legacy.Write(false, true, &legacyWriter).find("\n  2\n_____\n"), std::string::npos);
    EXPECT_NE(std::string(legacyWriter.GetMessageText().Buffer())
                  .find(": 5 characters that code page ANSI_874 cannot hold are written as \"_\"."),
              std::string::npos)
        << legacyWriter.GetMessageText().Buffer();

    Scene cased;
    for (const char* name : {"\xC3\x84x", "\xC3\xA4x", "\xC5\x81", "\xC5\x82"})  // Äx äx Ł ł
        cased.Mesh(name, tri, {{0, 1, 2}});
    const std::string casedText = cased.Write();
    EXPECT_NE(casedText.find("$DWGCODEPAGE\n  3\nANSI_1250\n"), std::string::npos);
    for (const char* layer : {"\n\xC4x\n", "\n\xE4x1\n", "\n\xA3\n",
                              "\n\xB3"
                              "1\n"})
        EXPECT_NE(casedText.find(layer), std::string::npos) << layer;
    // The first letter of the Latin-1 capitals clashes with its small letter too.
    Scene grave;
    for (const char* name : {"\xC3\x80x", "\xC3\xA0x"})  // Àx àx
        grave.Mesh(name, tri, {{0, 1, 2}});
    const std::string graveText = grave.Write();
    EXPECT_NE(graveText.find("\n\xC0x\n"), std::string::npos);
    EXPECT_NE(graveText.find("\n\xE0x1\n"), std::string::npos);
}
