// What our OBJ and 3DS writers make of names with blanks and of concave polygons, as independent
// readers see it: materials named with blanks stay apart through OBJ and 3DS (assimp), an OBJ
// written to a name with a blank keeps its materials (assimp and our reader), and a concave
// polygon written to 3DS is cut into triangles that cover it and face its way (lib3ds).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

bool EndsWith(const std::string& text, const char* end) {
    const size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// Reads a file with our reader of its format (OBJ or 3DS) into a fresh scene of `manager`.
VOxaScene* ReadWithOurs(VOxaSdkManager& manager, const std::string& path) {
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj objReader(&manager);
    VOxaReader3DS tdsReader(&manager);
    VOxaReader& reader = EndsWith(path, ".obj") ? static_cast<VOxaReader&>(objReader) : tdsReader;
    VStreamOptions* options = reader.GetReadOptions();
    const bool ok = reader.FileOpen(path.c_str()) && reader.Read(scene, options);
    reader.FileClose();
    options->Destroy();
    EXPECT_TRUE(ok) << "our reader: " << path;
    return ok ? scene : nullptr;
}

// One trip through our reader and writer.
bool Trip(const std::string& from, const std::string& to) {
    VOxaSdkManager manager;
    VOxaScene* scene = ReadWithOurs(manager, from);
    if (scene == nullptr) return false;
    VOxaWriterObj objWriter(&manager);
    VOxaWriter3DS tdsWriter(&manager);
    VOxaWriter& writer = EndsWith(to, ".obj") ? static_cast<VOxaWriter&>(objWriter) : tdsWriter;
    VStreamOptions* options = writer.GetWriteOptions();
    const bool ok = writer.FileCreate(to.c_str()) && writer.Write(scene, options) && writer.FileClose();
    options->Destroy();
    EXPECT_TRUE(ok) << "our writer: " << to << " " << writer.GetError().GetLastErrorString().Buffer();
    return ok;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// Per face of an OBJ that assimp read and wrote again ("assimp export"): the sum of its corners'
// x + y, and the diffuse colour of its material ("r g b" as assimp prints it).
std::multimap<double, std::string> AssimpFaceColours(const std::string& path, const std::string& folder) {
    std::multimap<double, std::string> faces;
    const std::string again = folder + "/assimp_again.obj";
    corpustest::RunResult r = corpustest::RunProgram({"assimp", "export", path, again});
    EXPECT_EQ(r.status, 0) << r.output;
    std::map<std::string, std::string> diffuse;
    std::string material;
    for (const std::string& line : Lines(oxa_test::ReadFile(folder + "/assimp_again.mtl"))) {
        if (line.rfind("newmtl ", 0) == 0) material = line.substr(7);
        if (line.rfind("Kd ", 0) == 0) diffuse[material] = line.substr(3);
    }
    std::vector<double> sums;
    for (const std::string& line : Lines(oxa_test::ReadFile(again))) {
        std::istringstream in(line);
        std::string keyword;
        in >> keyword;
        if (keyword == "v") {
            double x = 0, y = 0;
            in >> x >> y;
            sums.push_back(x + y);
        } else if (keyword == "usemtl") {
            std::getline(in >> std::ws, material);
        } else if (keyword == "f") {
            double sum = 0;
            for (std::string corner; in >> corner;) {
                const int v = std::atoi(corner.c_str());
                if (v >= 1 && v <= (int)sums.size()) sum += sums[(size_t)v - 1];
            }
            faces.emplace(sum, diffuse[material]);
        }
    }
    return faces;
}

// Two triangles, the one nearer the origin in "red mat one" (red), the other in "red mat two"
// (blue).
void WriteTwoMaterials(const std::string& folder) {
    oxa_test::WriteFile(folder + "/two.mtl",
                        "newmtl red mat one\nKd 1 0 0\nnewmtl  red mat two \nKd 0 0 1\n");
    oxa_test::WriteFile(folder + "/two.obj",
                        "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
                        "usemtl red mat one\nf 1 2 3\nusemtl red mat two\nf 2 4 3\n");
}

TEST(geometry_trip_interop, MaterialsNamedWithBlanksStayTwo) {
    const std::string missing = corpustest::MissingReader(corpustest::kAssimpInfo);
    if (!missing.empty()) GTEST_SKIP() << missing;
    oxa_test::ScratchDir dir("trip_", "names");
    const std::string folder = dir.path.string();
    WriteTwoMaterials(folder);
    // To an OBJ named with a blank: the library is named so that "mtllib" holds one word.
    ASSERT_TRUE(Trip(folder + "/two.obj", folder + "/my scene.obj"));
    const std::string text = oxa_test::ReadFile(folder + "/my scene.obj");
    EXPECT_NE(text.find("\nmtllib my_scene.mtl\n"), std::string::npos) << text;
    EXPECT_TRUE(fs::exists(dir / "my_scene.mtl"));
    const std::multimap<double, std::string> expected = {{2.0, "1 0 0"}, {4.0, "0 0 1"}};
    EXPECT_EQ(AssimpFaceColours(folder + "/my scene.obj", folder), expected);
    // Our reader finds both materials in it, with their colours.
    {
        VOxaSdkManager manager;
        ASSERT_NE(ReadWithOurs(manager, folder + "/my scene.obj"), nullptr);
        VOxaMaterial* one = manager.GetMaterial("red_mat_one", 0);
        VOxaMaterial* two = manager.GetMaterial("red_mat_two", 0);
        ASSERT_NE(one, nullptr);
        ASSERT_NE(two, nullptr);
        EXPECT_EQ(one->GetDiffuse().mRed, 1.0);
        EXPECT_EQ(two->GetDiffuse().mBlue, 1.0);
        EXPECT_EQ(two->GetDiffuse().mRed, 0.0);
    }
    // Through 3DS and back.
    ASSERT_TRUE(Trip(folder + "/two.obj", folder + "/two.3ds"));
    ASSERT_TRUE(Trip(folder + "/two.3ds", folder + "/back.obj"));
    const std::multimap<double, std::string> back = AssimpFaceColours(folder + "/back.obj", folder);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back.begin()->second, "1 0 0");
    EXPECT_EQ(back.rbegin()->second, "0 0 1");
}

// The faces of the meshes of a 3DS file as lib3ds dumps them, each as its three corners.
std::vector<std::vector<std::vector<double>>> Lib3dsFaces(const std::string& path) {
    std::vector<std::vector<std::vector<double>>> faces;
    corpustest::RunResult r = corpustest::RunProgram({"3dsdump", "-t", path});
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::vector<double>> points;
    enum { kNone, kPoints, kFaces } part = kNone;
    for (const std::string& line : Lines(r.output)) {
        if (line.find("point list:") != std::string::npos) {
            part = kPoints;
            points.clear();
            continue;
        }
        if (line.find("facelist:") != std::string::npos) {
            part = kFaces;
            continue;
        }
        std::istringstream in(line);
        if (part == kPoints) {
            std::vector<double> p(3);
            if (in >> p[0] >> p[1] >> p[2])
                points.push_back(p);
            else
                part = kNone;
        } else if (part == kFaces) {
            int a, b, c;
            if (!(in >> a >> b >> c)) {
                part = kNone;
                continue;
            }
            const int n = (int)points.size();
            EXPECT_TRUE(a >= 0 && a < n && b >= 0 && b < n && c >= 0 && c < n) << line;
            if (a < n && b < n && c < n && a >= 0 && b >= 0 && c >= 0)
                faces.push_back({points[(size_t)a], points[(size_t)b], points[(size_t)c]});
        }
    }
    return faces;
}

// The area vector (half the cross product) of a triangle.
std::vector<double> AreaVector(const std::vector<std::vector<double>>& t) {
    const double u[3] = {t[1][0] - t[0][0], t[1][1] - t[0][1], t[1][2] - t[0][2]};
    const double v[3] = {t[2][0] - t[0][0], t[2][1] - t[0][1], t[2][2] - t[0][2]};
    return {0.5 * (u[1] * v[2] - u[2] * v[1]), 0.5 * (u[2] * v[0] - u[0] * v[2]),
            0.5 * (u[0] * v[1] - u[1] * v[0])};
}

TEST(geometry_trip_interop, ConcavePolygonsTo3dsCoverThemFacingTheirWay) {
    const std::string missing = corpustest::MissingReader(corpustest::k3dsDump);
    if (!missing.empty()) GTEST_SKIP() << missing;
    oxa_test::ScratchDir dir("trip_", "concave");
    const std::string folder = dir.path.string();
    // An L of area 3 (counter-clockwise seen from +Z), and a small triangle of the same facing
    // beside it that any cut leaves as it is.
    oxa_test::WriteFile(folder + "/l.obj",
                        "v 0 0 0\nv 2 0 0\nv 2 1 0\nv 1 1 0\nv 1 2 0\nv 0 2 0\nv 5 0 0\nv 6 0 0\nv 5 1 0\n"
                        "f 1 2 3 4 5 6\nf 7 8 9\n");
    ASSERT_TRUE(Trip(folder + "/l.obj", folder + "/l.3ds"));
    auto faces = Lib3dsFaces(folder + "/l.3ds");
    ASSERT_EQ(faces.size(), 5u);
    // The reference triangle: the one whose corners lie furthest out along the file's X.
    size_t reference = 0;
    for (size_t f = 0; f < faces.size(); ++f)
        if (faces[f][0][0] + faces[f][1][0] + faces[f][2][0] >
            faces[reference][0][0] + faces[reference][1][0] + faces[reference][2][0])
            reference = f;
    const std::vector<double> facing = AreaVector(faces[reference]);
    const double referenceArea =
        std::sqrt(facing[0] * facing[0] + facing[1] * facing[1] + facing[2] * facing[2]);
    ASSERT_GT(referenceArea, 0.0);
    double sum = 0.0;
    for (size_t f = 0; f < faces.size(); ++f) {
        if (f == reference) continue;
        const std::vector<double> a = AreaVector(faces[f]);
        const double along = (a[0] * facing[0] + a[1] * facing[1] + a[2] * facing[2]) / referenceArea;
        EXPECT_GT(along, 1e-9) << "triangle " << f << " faces against the polygon";
        sum += along;
    }
    // The file's units are the scene's: the L's triangles cover its area, 3, in the same units
    // as the reference triangle's 0.5.
    EXPECT_NEAR(sum / referenceArea, 3.0 / 0.5, 1e-4);

    // The concave polygon of the model collection: 66 corners, area 0.2455, one facing.
    const fs::path real = "/usr/share/assimp/models/OBJ/concave_polygon.obj";
    if (!fs::exists(real)) GTEST_SKIP() << "the model collection is not installed";
    ASSERT_TRUE(Trip(real.string(), folder + "/concave.3ds"));
    faces = Lib3dsFaces(folder + "/concave.3ds");
    ASSERT_EQ(faces.size(), 64u);
    std::vector<double> total = {0, 0, 0};
    double magnitudes = 0.0;
    for (const auto& face : faces) {
        const std::vector<double> a = AreaVector(face);
        for (int i = 0; i < 3; ++i)
            total[(size_t)i] += a[(size_t)i];
        magnitudes += std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    }
    const double area = std::sqrt(total[0] * total[0] + total[1] * total[1] + total[2] * total[2]);
    // All facing one way: the areas add up without cancelling, to the polygon's.
    EXPECT_NEAR(magnitudes, area, 1e-6 * area);
    EXPECT_NEAR(area, 0.2455, 0.0005);
}

}  // namespace
