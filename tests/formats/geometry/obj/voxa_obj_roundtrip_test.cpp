// A written file read back gives the same positions, normals, UVs and materials.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_scene_util.h"

using namespace objtest;

namespace {

// Per polygon corner: position, normal and UV, in polygon order.
struct CornerData {
    double p[3], n[3], uv[2];
};

std::vector<CornerData> Corners(VOxaMesh* mesh) {
    std::vector<CornerData> out;
    const VgeVector2* uvs = mesh->GetTextureUV();
    for (int p = 0; p < mesh->GetPolygonCount(); ++p) {
        for (int k = 0; k < mesh->GetPolygonSize(p); ++k) {
            int c = mesh->GetPolygonVertex(p, k);
            CornerData d{};
            for (int i = 0; i < 3; ++i) {
                d.p[i] = mesh->GetControlPoints()[c][i];
                d.n[i] = mesh->GetNormals() ? mesh->GetNormals()[c][i] : 0.0;
            }
            int uv = mesh->GetTextureUVMappingMode() == 1 ? c : mesh->GetTextureUVIndex(p, k);
            if (uvs && uv >= 0) d.uv[0] = uvs[uv][0], d.uv[1] = uvs[uv][1];
            out.push_back(d);
        }
    }
    return out;
}

TEST(obj_roundtrip, PositionsNormalsUVsAndMaterialsSurvive) {
    ScratchDir dir("roundtrip");
    VOxaSdkManager source;
    VOxaScene* scene = source.CreateScene();
    BuildSampleScene(source, scene);
    VOxaWriterObj writer(&source);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    const std::string path = dir / "round.obj";
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    ASSERT_TRUE(writer.Write(scene, wopt.get()));
    ASSERT_TRUE(writer.FileClose());

    VOxaSdkManager target;
    VOxaScene* back = target.CreateScene();
    VOxaReaderObj reader(&target);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    static_cast<VStreamOptionsObj*>(ropt.get())->SetOptionValue(1, 0);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    ASSERT_TRUE(reader.Read(back, ropt.get())) << reader.GetMessageText().Buffer();
    EXPECT_STREQ(reader.GetMessageText().Buffer(), "");

    // Groups come back sorted by name: Box, Fan.
    ASSERT_EQ(back->GetRootNode()->GetChildCount(), 2);
    const char* names[] = {"Box", "Fan"};
    for (int i = 0; i < 2; ++i) {
        VOxaNode* original = source.GetNode(names[i], 0);
        VOxaNode* read = back->GetRootNode()->GetChild(i);
        ASSERT_STREQ(read->GetNameWithoutPrefix(), names[i]);
        std::vector<CornerData> a = Corners(static_cast<VOxaMesh*>(original->GetNodeAttribute()));
        std::vector<CornerData> b = Corners(static_cast<VOxaMesh*>(read->GetNodeAttribute()));
        ASSERT_EQ(a.size(), b.size());
        for (size_t c = 0; c < a.size(); ++c) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(a[c].p[j], b[c].p[j], 1e-6) << names[i] << " corner " << c;
                EXPECT_NEAR(a[c].n[j], b[c].n[j], 1e-6) << names[i] << " corner " << c;
            }
            // The box's UVs travel; the fan has none on either side.
            EXPECT_NEAR(a[c].uv[0], b[c].uv[0], 1e-6);
            EXPECT_NEAR(a[c].uv[1], b[c].uv[1], 1e-6);
        }
    }
    VOxaMaterial* red = target.GetMaterial("Red", 0);
    ASSERT_NE(red, nullptr);
    EXPECT_NEAR(red->GetDiffuse().mRed, 0.75, 1e-6);
    EXPECT_NEAR(red->GetDiffuse().mBlue, 0.25, 1e-6);
    EXPECT_NEAR(red->GetAmbient().mRed, 0.5, 1e-6);
    EXPECT_NEAR(red->GetOpacity(), 0.5, 1e-6);
    VOxaMesh* box = static_cast<VOxaMesh*>(back->GetRootNode()->GetChild(0)->GetNodeAttribute());
    EXPECT_EQ(box->GetMaterial(0, 0), red);
}

// ---- OBJ to OBJ, judged by the text ------------------------------------------------------------

// Reads `text` (with `mtl` as m.mtl beside it) and writes it again; the written OBJ and MTL text.
std::pair<std::string, std::string> Trip(const ScratchDir& dir, const std::string& text,
                                         const std::string& mtl) {
    WriteText(dir / "in.obj", text);
    WriteText(dir / "m.mtl", mtl);
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    EXPECT_TRUE(reader.FileOpen((dir / "in.obj").c_str()) && reader.Read(scene, ropt.get()))
        << reader.GetError().GetLastErrorString().Buffer();
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    EXPECT_TRUE(writer.FileCreate((dir / "out.obj").c_str()) && writer.Write(scene, wopt.get()) &&
                writer.FileClose());
    return {ReadText(dir / "out.obj"), ReadText(dir / "out.mtl")};
}

// Per face corner of an OBJ text, in file order: "x y z / u v" as the v and vt lines it names
// give them ("x y z / -" without a UV).
std::vector<std::string> CornerText(const std::string& text) {
    std::vector<std::string> vs, vts, out;
    for (const std::string& line : Lines(text, "v "))
        vs.push_back(line.substr(2));
    for (const std::string& line : Lines(text, "vt "))
        vts.push_back(line.substr(3));
    for (const std::string& line : Lines(text, "f ")) {
        std::istringstream corners(line.substr(2));
        std::string corner;
        while (corners >> corner) {
            const size_t slash = corner.find('/');
            const int v = std::stoi(corner.substr(0, slash));
            const std::string rest = slash == std::string::npos ? "" : corner.substr(slash + 1);
            const int t = rest.empty() || rest[0] == '/' ? 0 : std::stoi(rest);
            out.push_back(vs.at((size_t)v - 1) + " / " + (t > 0 ? vts.at((size_t)t - 1) : "-"));
        }
    }
    return out;
}

TEST(obj_roundtrip, UntexturedUVsObjectsAndHighNsSurviveATrip) {
    ScratchDir dir("texttrip");
    // Two objects; the material has no texture, a shininess above 100 and the faces have UVs.
    const std::string in =
        "mtllib m.mtl\n"
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
        "vt 0.25 0.5\nvt 0.75 0.5\nvt 0.5 1\n"
        "o First\nusemtl shiny\nf 1/1 2/2 3/3\no Second\nf 1/3 3/2 4/1\n";
    const auto [obj, mtl] = Trip(dir, in, "newmtl shiny\nKd 1 0 0\nillum 2\nNs 400\n");
    EXPECT_EQ(Lines(obj, "g "), (std::vector<std::string>{"g First", "g Second"}));
    EXPECT_EQ(CornerText(obj), CornerText(in));
    EXPECT_EQ(Lines(mtl, "Ns "), std::vector<std::string>{"Ns 400"});
    // The most an MTL file is known to hold comes back too.
    const auto [obj2, mtl2] = Trip(dir, in, "newmtl shiny\nNs 1000\n");
    EXPECT_EQ(Lines(mtl2, "Ns "), std::vector<std::string>{"Ns 1000"});
}

TEST(obj_roundtrip, AThirdTextureCoordinateComesBackWhereItWasGiven) {
    ScratchDir dir("uvw");
    // Some "vt" lines give w, others not; the second object's material has a texture, which
    // writes one "vt" line per corner, and a quad to triangulate.
    const std::string in =
        "mtllib m.mtl\n"
        "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
        "vt 0.25 0.5 0.75\nvt 0.75 0.5\nvt 0.5 1 -2\nvt 1 1\n"
        "o First\nf 1/1 2/2 3/3\no Second\nusemtl tex\nf 1/4 2/3 3/2 4/1\n";
    WriteText(dir / "t.png", "not an image");
    const std::string mtl = "newmtl tex\nmap_Kd t.png\n";
    const auto [obj, ignored] = Trip(dir, in, mtl);
    EXPECT_EQ(CornerText(obj), CornerText(in)) << obj;
    EXPECT_NE(obj.find("\nvt 0.5 1 -2\n"), std::string::npos) << obj;
    EXPECT_NE(obj.find("\nvt 0.75 0.5\n"), std::string::npos) << obj;
    // Triangulated copies keep them too.
    WriteText(dir / "in.obj", in);
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir / "in.obj").c_str()) && reader.Read(scene, ropt.get()));
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    static_cast<VStreamOptionsObj*>(wopt.get())->SetOptionValue(VStreamOptionsObj::eFORCE_TRIANGULATION, 1);
    ASSERT_TRUE(writer.FileCreate((dir / "tri.obj").c_str()) && writer.Write(scene, wopt.get()) &&
                writer.FileClose());
    std::vector<std::string> triangles = CornerText(ReadText(dir / "tri.obj"));
    std::vector<std::string> expected = CornerText(in);
    std::sort(triangles.begin(), triangles.end());
    triangles.erase(std::unique(triangles.begin(), triangles.end()), triangles.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(triangles, expected);
}

// The numbers after `keyword` on every line that starts with it, as strtod reads them.
std::vector<double> Numbers(const std::string& text, const std::string& keyword) {
    std::vector<double> out;
    for (const std::string& line : Lines(text, keyword + " ")) {
        const char* p = line.c_str() + keyword.size();
        for (;;) {
            char* end = nullptr;
            const double value = std::strtod(p, &end);
            if (end == p) break;
            out.push_back(value);
            p = end;
        }
    }
    return out;
}

TEST(obj_roundtrip, ASmallModelsNumbersComeBackExactly) {
    ScratchDir dir("exact");
    // A model 0.008 units across, given to seventeen digits; colours of many digits.
    const std::string in =
        "mtllib m.mtl\n"
        "v 0.0012345678901234567 -0.0031415926535897932 0.0079999999999999999\n"
        "v 0.0000012345678901234 0.0050000000000000001 -0.0027182818284590452\n"
        "v -0.0009876543210987654 0.0011111111111111111 0.0022222222222222222\n"
        "vt 0.33333333333333331 0.66666666666666663\nvt 0.1 0.2\nvt 1e-7 0.99999999999999989\n"
        "vn 0.57735026918962573 0.57735026918962573 0.57735026918962573\n"
        "usemtl fine\nf 1/1/1 2/2/1 3/3/1\n";
    const auto [obj, mtl] = Trip(dir, in, "newmtl fine\nKd 0.123456789012345678 0.2 0.3\n");
    // Each value written reads back as the very double read.
    EXPECT_EQ(Numbers(obj, "v"), Numbers(in, "v"));
    EXPECT_EQ(Numbers(obj, "vt"), Numbers(in, "vt"));
    EXPECT_EQ(Numbers(obj, "vn"), Numbers(in, "vn"));
    // Colours are held in single precision: the float's shortest text reads back as that float.
    std::vector<float> kd;
    for (double value : Numbers(mtl, "Kd"))
        kd.push_back((float)value);
    EXPECT_EQ(kd, (std::vector<float>{0.123456789012345678f, 0.2f, 0.3f}));
    EXPECT_NE(mtl.find("\nKd 0.12345679 0.2 0.3\n"), std::string::npos) << mtl;
    // In the fewest digits: "0.1", not "0.100000" or seventeen digits.
    EXPECT_NE(obj.find("\nvt 0.1 0.2\n"), std::string::npos) << obj;
}

TEST(obj_roundtrip, VerticesNormalsAndSmoothingGroupsAreSharedAsRead) {
    const std::string box = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n";
    const std::string flat =
        "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
        "f 1//1 4//1 3//1 2//1\nf 5//2 6//2 7//2 8//2\nf 1//3 2//3 6//3 5//3\n"
        "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n";
    const std::string faces = "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n";
    // Each face in a group ("g") of its own, as the lines of `text` name them.
    auto grouped = [](const std::string& text) {
        std::string out;
        int g = 0;
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            out += (text.compare(at, 2, "f ") == 0 ? "g " + std::to_string(++g) + "\n" : "") +
                   text.substr(at, end + 1 - at);
        return out;
    };
    // A strip of 300 points, its faces twice: in group a and in group b.
    std::string strip;
    for (int i = 0; i < 150; ++i)
        strip += "v " + std::to_string(i) + " 0 0\nv " + std::to_string(i) + " 1 0\n";
    std::string stripFaces;
    for (int i = 1; i + 3 <= 300; i += 2)
        stripFaces +=
            "f " + std::to_string(i) + " " + std::to_string(i + 2) + " " + std::to_string(i + 1) + "\n";
    struct Case {
        const char* name;
        std::string in;
        size_t vertices, normals, uvs;
        std::vector<std::string> groups;  // the "s" lines written
    };
    const Case cases[] = {
        {"flat normals", box + flat, 8, 6, 0, {}},
        {"one group without normals", box + "s 1\n" + faces, 8, 8, 0, {"s 1"}},
        // Groups are meshes of their own that share the file's lines: the lines stay shared, but
        // two points of one group stay two, wherever they lie.
        {"a group per face", box + grouped(flat), 8, 6, 0, {}},
        {"groups sharing UVs and a normal",
         box + "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 -1\n" + grouped("f 1/1/1 4/2/1 3/3/1\nf 1/1/1 3/3/1 2/2/1\n"),
         8,
         1,
         3,
         {}},
        {"a large group shared whole", strip + "g a\n" + stripFaces + "g b\n" + stripFaces, 300, 1, 0, {}},
        {"two points at one place", box + "v 0 0 0\ng a\nf 1 4 3\ng b\nf 9 3 2\nf 1 2 6\n", 9, 2, 0, {}},
        // A point no face uses is kept where it stands, also when it is not a number.
        {"a point that is not a number", box + "v nan nan nan\n" + flat, 9, 6, 0, {}},
        // A 3DS mask of the top bit is kept as an unsigned number (the faces come in the order
        // of their groups as signed numbers).
        {"two groups and none",
         box + "s 2147483648\nf 1 4 3 2\ns 1\nf 5 6 7 8\ns off\nf 1 2 6 5\n",
         8,
         3,
         0,
         {"s 2147483648", "s off", "s 1"}},
    };
    for (const Case& c : cases) {
        ScratchDir dir("shared");
        const std::string out = Trip(dir, c.in, "").first;
        EXPECT_EQ(Lines(out, "v ").size(), c.vertices) << c.name;
        EXPECT_EQ(Lines(out, "vn ").size(), c.normals) << c.name;
        EXPECT_EQ(Lines(out, "vt ").size(), c.uvs) << c.name;
        EXPECT_EQ(Lines(out, "s "), c.groups) << c.name;
    }
}

TEST(obj_roundtrip, EveryMapAndItsOptionsSurviveAndTheImagesAreCopied) {
    ScratchDir dir("maps_trip");
    fs::create_directories(dir.path / "in");
    fs::create_directories(dir.path / "out");
    const char* images[] = {"wood grain.png", "spec.png", "shine.png", "alpha.png",
                            "bumps.png",      "sky.png",  "amb.png",   "glow.png"};
    for (const char* image : images)
        WriteText(dir.path / "in" / image, std::string("image ") + image);
    WriteText(dir.path / "in" / "m.mtl",
              "newmtl m\nKd 1 1 1\nmap_Kd -s 2 2 1 -o 0.5 0.25 0 -clamp on wood grain.png\n"
              "map_Ks -imfchan r spec.png\nmap_Ns shine.png\nmap_d alpha.png\nbump -bm 0.5 bumps.png\n"
              "refl -type sphere sky.png\nmap_Ka amb.png\nmap_Ke glow.png\n");
    WriteText(dir.path / "in" / "in.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl m\nf 1/1 2/2 3/3\n");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir.path / "in" / "in.obj").c_str()) && reader.Read(scene, ropt.get()));
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    ASSERT_TRUE(writer.FileCreate((dir.path / "out" / "out.obj").c_str()) &&
                writer.Write(scene, wopt.get()) && writer.FileClose());
    const std::string mtl = ReadText(dir.path / "out" / "out.mtl");
    const char* lines[] = {"map_Kd -o 0.5 0.25 0 -s 2 2 1 -clamp on wood grain.png",
                           "map_Ks -imfchan r spec.png",
                           "map_Ns shine.png",
                           "map_d alpha.png",
                           "map_bump -bm 0.5 bumps.png",
                           "map_Ke glow.png",
                           "refl -type sphere sky.png",
                           "map_Ka amb.png"};
    for (const char* line : lines)
        EXPECT_NE(mtl.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n" << mtl;
    // Each image is copied beside the written file, whole.
    for (const char* image : images)
        EXPECT_EQ(ReadText(dir.path / "out" / image), std::string("image ") + image) << image;
}

}  // namespace
