// MTL values, normals and materials of scenes built in code, through OBJ (and the exporter).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;

namespace {

// Reads `obj` (with `mtl` beside it as m.mtl) and writes it again as out.obj.
struct Trip {
    ScratchDir dir;
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    std::string readMessages, writeMessages;

    Trip(const std::string& tag, const std::string& obj, const std::string& mtl) : dir(tag) {
        WriteText(dir / "m.mtl", mtl);
        WriteText(dir / "in.obj", obj);
        VOxaReaderObj reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        static_cast<VStreamOptionsObj*>(options.get())->SetOptionValue(1, 0);
        EXPECT_TRUE(reader.FileOpen((dir / "in.obj").c_str()) && reader.Read(scene, options.get()));
        readMessages = reader.GetMessageText().Buffer();
        reader.FileClose();
        VOxaWriterObj writer(&manager);
        std::unique_ptr<VStreamOptions> writeOptions(writer.GetWriteOptions());
        EXPECT_TRUE(writer.FileCreate((dir / "out.obj").c_str()) && writer.Write(scene, writeOptions.get()) &&
                    writer.FileClose());
        writeMessages = writer.GetMessageText().Buffer();
    }
};

std::vector<double> Numbers(const std::string& line) {
    std::istringstream in(line.substr(line.find(' ')));
    std::vector<double> out;
    double x;
    while (in >> x)
        out.push_back(x);
    return out;
}

}  // namespace

// A colour of one value is a grey; a value that is not a finite number is dropped with a warning
// naming its line and is never written.
TEST(ObjValues, MtlOneValueGreyAndNonFiniteValues) {
    Trip trip("mtl_values", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n",
              "newmtl a\nKd 0.5\nKa 0.25\nKs 0.75\nd nan\nNs nan\nTr inf\nKe 1 nan 0\n");
    VOxaMaterial* a = trip.manager.GetMaterial("a", 0);
    ASSERT_NE(a, nullptr);
    const VOxaColor diffuse = a->GetDiffuse(), ambient = a->GetAmbient();
    EXPECT_EQ(diffuse.mRed, 0.5);
    EXPECT_EQ(diffuse.mGreen, 0.5);
    EXPECT_EQ(diffuse.mBlue, 0.5);
    EXPECT_EQ(ambient.mGreen, 0.25);
    EXPECT_EQ(ambient.mBlue, 0.25);
    VgeTVector specular;
    a->GetDefaultSpecular(specular);
    EXPECT_EQ(specular[1], 0.75);
    EXPECT_TRUE(std::isfinite(a->GetOpacity()));
    EXPECT_TRUE(std::isfinite(a->GetShininess()));
    EXPECT_NE(trip.readMessages.find("line 5: \"d\" is not a finite number"), std::string::npos)
        << trip.readMessages;
    EXPECT_NE(trip.readMessages.find("line 6: \"Ns\""), std::string::npos) << trip.readMessages;
    EXPECT_NE(trip.readMessages.find("line 7: \"Tr\""), std::string::npos) << trip.readMessages;
    EXPECT_NE(trip.readMessages.find("line 8: \"Ke\""), std::string::npos) << trip.readMessages;

    const std::string mtl = ReadText(trip.dir / "out.mtl");
    EXPECT_EQ(Lines(mtl, "Kd "), std::vector<std::string>{"Kd 0.5 0.5 0.5"});
    EXPECT_EQ(Lines(mtl, "Ka "), std::vector<std::string>{"Ka 0.25 0.25 0.25"});
    EXPECT_EQ(Lines(mtl, "Ks "), std::vector<std::string>{"Ks 0.75 0.75 0.75"});
    EXPECT_EQ(mtl.find("nan"), std::string::npos) << mtl;
    EXPECT_EQ(mtl.find("inf"), std::string::npos) << mtl;
}

// A material built in code with values that are not numbers: their lines are left out, and the
// material is named in the writer's message.
TEST(ObjValues, WriterLeavesOutNonFiniteMaterialValues) {
    ScratchDir dir("mtl_nan_write");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaMesh* mesh =
        AddMesh(manager, scene, "m", {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(0, 1, 0, 1)},
                {{0, 1, 2}});
    VOxaMaterial* odd = manager.CreateMaterial("Odd");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    odd->SetOpacity(nan);
    odd->SetShininess(nan);
    mesh->AddMaterial(odd, 0);
    mesh->InitMaterialIndices(eALL_SAME);
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    ASSERT_TRUE(writer.FileCreate((dir / "o.obj").c_str()) && writer.Write(scene, options.get()) &&
                writer.FileClose());
    const std::string mtl = ReadText(dir / "o.mtl");
    EXPECT_EQ(mtl.find("nan"), std::string::npos) << mtl;
    EXPECT_TRUE(Lines(mtl, "d ").empty());
    EXPECT_TRUE(Lines(mtl, "Ns ").empty());
    const std::string message = writer.GetMessageText().Buffer();
    EXPECT_NE(message.find("Odd"), std::string::npos) << message;
    EXPECT_NE(message.find("\"d\" value"), std::string::npos) << message;
}

// Faces without area read without normals get no zero normal when written: "vn 0 0 0" is no
// direction. Each written normal has unit length, and every face names its normals or none.
TEST(ObjValues, FacesWithoutAreaGetNoZeroNormal) {
    Trip trip("zero_area",
              "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 2 0 0\n"
              "f 1 2 3\nf 1 2 4\nf 2 2 2\n",
              "");
    const std::string text = ReadText(trip.dir / "out.obj");
    const std::vector<std::string> normals = Lines(text, "vn ");
    ASSERT_FALSE(normals.empty());
    for (const std::string& line : normals) {
        const std::vector<double> n = Numbers(line);
        ASSERT_EQ(n.size(), 3u);
        EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-9) << line;
    }
    const std::vector<std::string> faces = Lines(text, "f ");
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_NE(faces[0].find("//"), std::string::npos);  // the first face keeps its normal
    for (const std::string& face : faces)
        for (size_t at = face.find("//"); at != std::string::npos; at = face.find("//", at + 2)) {
            const int index = std::atoi(face.c_str() + at + 2);
            EXPECT_TRUE(index >= 1 && index <= (int)normals.size()) << face;
        }
}

// Scenes built in code: points set with SetControlPointAt on a mesh without normals, and a
// material added with AddMaterial alone (no mapping), are written; the exporter picks its writer
// from the file name, and each failure says what it is.
TEST(ObjValues, SceneBuiltInCodeAndExporterChoice) {
    ScratchDir dir("in_code");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaMesh* mesh = AddMesh(manager, scene, "m", {}, {});
    const VgeTVector points[3] = {VgeTVector(1, 2, 3, 1), VgeTVector(4, 5, 6, 1), VgeTVector(7, 8, 10, 1)};
    for (int i = 0; i < 3; ++i)
        mesh->SetControlPointAt(points[i], VgeTVector(0, 0, 1, 0), i);
    mesh->BeginPolygon(-1, -1, -1);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i, -1);
    mesh->EndPolygon();
    mesh->AddMaterial(manager.CreateMaterial("Paint"), 0);

    VOxaExporter exporter(&manager);
    ASSERT_TRUE(exporter.Initialize((dir / "Model.obj").c_str()));
    EXPECT_EQ(exporter.GetFileFormat(), VOxaFindWriterFormat("obj"));
    ASSERT_TRUE(exporter.Export(scene)) << exporter.GetError().GetLastErrorString().Buffer();
    const std::string text = ReadText(dir / "Model.obj");
    const std::vector<std::string> v = Lines(text, "v ");
    ASSERT_EQ(v.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Numbers(v[(size_t)i]), (std::vector<double>{points[i][0], points[i][1], points[i][2]}));
    EXPECT_EQ(Lines(text, "usemtl"), std::vector<std::string>{"usemtl Paint"});
    EXPECT_EQ(Lines(ReadText(dir / "Model.mtl"), "newmtl"), std::vector<std::string>{"newmtl Paint"});

    // The material reaches the 3DS file too: its name in the material block and in the mesh's
    // face-material list.
    ASSERT_TRUE(exporter.Initialize((dir / "model.3ds").c_str()));
    ASSERT_TRUE(exporter.Export(scene)) << exporter.GetError().GetLastErrorString().Buffer();
    const std::string bytes = ReadText(dir / "model.3ds");
    size_t names = 0;
    for (size_t at = bytes.find("Paint"); at != std::string::npos; at = bytes.find("Paint", at + 1))
        ++names;
    EXPECT_GE(names, 2u);

    // Each failure has its own text.
    std::vector<std::string> texts;
    EXPECT_FALSE(exporter.SetFileFormat(999));
    texts.push_back(exporter.GetError().GetLastErrorString().Buffer());
    EXPECT_NE(texts.back().find("999"), std::string::npos) << texts.back();
    VOxaExporter byName(&manager);
    ASSERT_TRUE(byName.Initialize((dir / "x.obj").c_str()));
    EXPECT_FALSE(byName.Export(nullptr));
    texts.push_back(byName.GetError().GetLastErrorString().Buffer());
    EXPECT_FALSE(fs::exists(dir / "x.obj"));
    VOxaExporter unknown(&manager);
    ASSERT_TRUE(unknown.Initialize((dir / "x.unknown").c_str()));
    EXPECT_FALSE(unknown.Export(scene));
    texts.push_back(unknown.GetError().GetLastErrorString().Buffer());
    EXPECT_NE(texts.back().find("x.unknown"), std::string::npos) << texts.back();
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_NE(texts[i], "Unidentified error");
        for (size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_NE(texts[i], texts[j]);
    }
}
