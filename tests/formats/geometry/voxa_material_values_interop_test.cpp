// Material values as independent readers see them: the opacity of our MTL files in assimp, and the
// transparency, specular, shine strength, shininess and names of our 3DS files in lib3ds, over
// repeated trips through our readers and writers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
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

#ifdef OXA_HAVE_ASSIMP
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#endif
#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#endif

namespace {

std::string Folder() {
    static const std::string folder = oxa_test::MakeProcessTempFolder("matvalues_");
    return folder;
}

// Reads a file with our reader of its format into a fresh scene of `manager`.
VOxaScene* ReadWithOurs(VOxaSdkManager& manager, const std::string& path) {
    VOxaScene* scene = manager.CreateScene();
    const bool obj = path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
    VOxaReaderObj objReader(&manager);
    VOxaReader3DS tdsReader(&manager);
    VOxaReader& reader = obj ? static_cast<VOxaReader&>(objReader) : tdsReader;
    VStreamOptions* options = reader.GetReadOptions();
    const bool ok = reader.FileOpen(path.c_str()) && reader.Read(scene, options);
    reader.FileClose();
    options->Destroy();
    EXPECT_TRUE(ok) << "our reader: " << path;
    return ok ? scene : nullptr;
}

bool WriteWithOurs(VOxaSdkManager& manager, VOxaScene* scene, const std::string& path) {
    const bool obj = path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
    VOxaWriterObj objWriter(&manager);
    VOxaWriter3DS tdsWriter(&manager);
    VOxaWriter& writer = obj ? static_cast<VOxaWriter&>(objWriter) : tdsWriter;
    VStreamOptions* options = writer.GetWriteOptions();
    const bool ok = writer.FileCreate(path.c_str()) && writer.Write(scene, options) && writer.FileClose();
    options->Destroy();
    EXPECT_TRUE(ok) << "our writer: " << path;
    return ok;
}

// One trip: our reader, then our writer, in a manager of its own.
bool Trip(const std::string& from, const std::string& to) {
    VOxaSdkManager manager;
    VOxaScene* scene = ReadWithOurs(manager, from);
    return scene != nullptr && WriteWithOurs(manager, scene, to);
}

// A triangle node with one material of the given opacity.
void AddTriangle(VOxaSdkManager& manager, VOxaScene* scene, const char* name, VOxaMaterial* material) {
    VOxaNode* node = manager.CreateNode(name);
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[0] = VgeTVector(0, 0, 0, 1);
    mesh->GetControlPoints()[1] = VgeTVector(1, 0, 0, 1);
    mesh->GetControlPoints()[2] = VgeTVector(0, 1, 0, 1);
    mesh->BeginPolygon(-1, -1, -1);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i, -1);
    mesh->EndPolygon();
    mesh->AddMaterial(material, 0);
    mesh->InitMaterialIndices(4);
}

#ifdef OXA_HAVE_LIB3DS
struct Lib3dsValues {
    float specular[3];
    float shinStrength, shininess, transparency;
};

// The materials of a 3DS file as lib3ds reads them, by name.
std::map<std::string, Lib3dsValues> Lib3dsMaterials(const std::string& path) {
    std::map<std::string, Lib3dsValues> out;
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    EXPECT_NE(file, nullptr) << "lib3ds cannot load " << path;
    if (file == nullptr) return out;
    for (Lib3dsMaterial* m = file->materials; m != nullptr; m = m->next)
        out[m->name] = {{m->specular[0], m->specular[1], m->specular[2]},
                        m->shin_strength,
                        m->shininess,
                        m->transparency};
    lib3ds_file_free(file);
    return out;
}
#endif

}  // namespace

TEST(material_values_interop, OurReaderTakesDAsOpacityAndTrAsItsComplement) {
    const std::string mtl = Folder() + "opacity.mtl", obj = Folder() + "opacity.obj";
    oxa_test::WriteFile(mtl,
                        "newmtl dOnly\nd 0.25\n"
                        "newmtl trOnly\nTr 0.75\n"
                        "newmtl bothAgree\nTr 0.75\nd 0.25\n"
                        "newmtl dWinsAfter\nTr 0.1\nd 0.25\n"
                        "newmtl dWinsBefore\nd 0.25\nTr 0.1\n"
                        "newmtl neither\nKd 1 0 0\n");
    std::string text = "mtllib opacity.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (const char* name : {"dOnly", "trOnly", "bothAgree", "dWinsAfter", "dWinsBefore", "neither"})
        text += std::string("usemtl ") + name + "\nf 1 2 3\n";
    oxa_test::WriteFile(obj, text);
    VOxaSdkManager manager;
    ASSERT_NE(ReadWithOurs(manager, obj), nullptr);
    for (const char* name : {"dOnly", "trOnly", "bothAgree", "dWinsAfter", "dWinsBefore"}) {
        VOxaMaterial* material = manager.GetMaterial(name, 0);
        ASSERT_NE(material, nullptr) << name;
        EXPECT_NEAR(material->GetOpacity(), 0.25, 1e-6) << name;
    }
    ASSERT_NE(manager.GetMaterial("neither", 0), nullptr);
    EXPECT_NEAR(manager.GetMaterial("neither", 0)->GetOpacity(), 1.0, 1e-6);
}

TEST(material_values_interop, AssimpReadsTheOpacityOfOurMtlFiles) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "not installed: libassimp-dev (the assimp library and its headers)";
#else
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    const std::map<std::string, double> opacities = {{"Opaque", 1.0}, {"Half", 0.5}, {"Clear", 0.0}};
    for (const auto& [name, opacity] : opacities) {
        VOxaMaterial* material = manager.CreateMaterial(name.c_str());
        material->SetOpacity(opacity);
        AddTriangle(manager, scene, name.c_str(), material);
    }
    const std::string path = Folder() + "ours.obj";
    ASSERT_TRUE(WriteWithOurs(manager, scene, path));

    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(path, 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    std::map<std::string, double> seen;
    for (unsigned i = 0; i < read->mNumMaterials; ++i) {
        aiString name;
        float opacity = -1.0f;
        read->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        if (read->mMaterials[i]->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS) seen[name.C_Str()] = opacity;
    }
    for (const auto& [name, opacity] : opacities) {
        ASSERT_EQ(seen.count(name), 1u) << name;
        EXPECT_NEAR(seen[name], opacity, 1e-6) << name;
    }
#endif
}

TEST(material_values_interop, MtlTrZeroIsOpaqueIn3dsForLib3ds) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string obj = Folder() + "tr.obj", tds = Folder() + "tr.3ds";
    oxa_test::WriteFile(Folder() + "tr.mtl",
                        "newmtl solid\nKd 1 0 0\nTr 0.0\nnewmtl glass\nKd 0 0 1\nTr 0.8\n");
    oxa_test::WriteFile(
        obj, "mtllib tr.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl solid\nf 1 2 3\nusemtl glass\nf 3 2 1\n");
    ASSERT_TRUE(Trip(obj, tds));
    std::map<std::string, Lib3dsValues> materials = Lib3dsMaterials(tds);
    ASSERT_EQ(materials.count("solid"), 1u);
    ASSERT_EQ(materials.count("glass"), 1u);
    EXPECT_NEAR(materials["solid"].transparency, 0.0, 1e-6);
    EXPECT_NEAR(materials["glass"].transparency, 0.8, 0.005);
#endif
}

TEST(material_values_interop, SpecularShineStrengthAndShininessHoldOverTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // The starting file, made by lib3ds: one triangle with a material of specular (1, 1, 1),
    // shine strength 0.2 and shininess 0.15, and one of a dim specular (0.5, 0.25, 0.1).
    Lib3dsFile* file = lib3ds_file_new();
    ASSERT_NE(file, nullptr);
    const char* names[2] = {"Shiny", "Dim"};
    for (int k = 0; k < 2; ++k) {
        Lib3dsMaterial* material = lib3ds_material_new();
        std::strcpy(material->name, names[k]);
        const float specular[2][3] = {{1.0f, 1.0f, 1.0f}, {0.5f, 0.25f, 0.1f}};
        for (int i = 0; i < 3; ++i)
            material->specular[i] = specular[k][i];
        material->shin_strength = k == 0 ? 0.2f : 0.37f;
        material->shininess = k == 0 ? 0.15f : 0.33f;
        lib3ds_file_insert_material(file, material);
    }
    Lib3dsMesh* mesh = lib3ds_mesh_new("Tri");
    lib3ds_mesh_new_point_list(mesh, 3);
    const float points[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            mesh->pointL[i].pos[j] = points[i][j];
    lib3ds_mesh_new_face_list(mesh, 2);
    for (int f = 0; f < 2; ++f) {
        std::strcpy(mesh->faceL[f].material, names[f]);
        for (int i = 0; i < 3; ++i)
            mesh->faceL[f].points[i] = (Lib3dsWord)(f == 0 ? i : 2 - i);
    }
    lib3ds_file_insert_mesh(file, mesh);
    const std::string start = Folder() + "trip0.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    std::vector<std::map<std::string, Lib3dsValues> > trips;
    std::string from = start;
    for (int trip = 1; trip <= 5; ++trip) {
        const std::string to = Folder() + "trip" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to)) << "trip " << trip;
        trips.push_back(Lib3dsMaterials(to));
        from = to;
    }
    for (const char* name : names) {
        for (int trip : {2, 5}) {
            ASSERT_EQ(trips[(size_t)trip - 1].count(name), 1u) << name << " trip " << trip;
        }
        const Lib3dsValues& second = trips[1][name];
        const Lib3dsValues& fifth = trips[4][name];
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(second.specular[i], fifth.specular[i]) << name << " specular " << i;
        EXPECT_EQ(second.shinStrength, fifth.shinStrength) << name;
        EXPECT_EQ(second.shininess, fifth.shininess) << name;
        // What the reader makes of them is still the first file's specular.
        const Lib3dsValues& first = trips[0][name];
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(fifth.specular[i] * fifth.shinStrength, first.specular[i] * first.shinStrength, 0.003)
                << name << " specular " << i;
    }
    // The white specular keeps its very numbers from the first trip on.
    const Lib3dsValues& shiny = trips[4]["Shiny"];
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(shiny.specular[i], 1.0, 1e-6) << i;
    EXPECT_NEAR(shiny.shinStrength, 0.2, 1e-6);
    EXPECT_NEAR(shiny.shininess, 0.15, 1e-6);
#endif
}

TEST(material_values_interop, MaterialNamesWrittenOnceHoldOverTwoMoreTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // A scene of two textured meshes and an untextured one, written once.
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    const char* meshes[3] = {"Wall", "Floor", "Roof"};
    for (int k = 0; k < 3; ++k) {
        VOxaMaterial* material = manager.CreateMaterial(k == 2 ? "Slate" : "Paint");
        AddTriangle(manager, scene, meshes[k], material);
        if (k == 2) continue;
        VOxaMesh* mesh = scene->GetRootNode()->GetChild(k)->GetMesh();
        VOxaTexture* texture = manager.CreateTexture(k == 0 ? "brick" : "tile");
        texture->SetFileName(k == 0 ? "brick.png" : "tile.png");
        mesh->AddTexture(texture, 0);
        mesh->InitTextureIndices(4);
    }
    std::vector<std::string> paths = {Folder() + "names1.3ds"};
    ASSERT_TRUE(WriteWithOurs(manager, scene, paths[0]));
    for (int trip = 2; trip <= 3; ++trip) {
        paths.push_back(Folder() + "names" + std::to_string(trip) + ".3ds");
        ASSERT_TRUE(Trip(paths[paths.size() - 2], paths.back()));
    }
    std::vector<std::vector<std::string> > names;
    for (const std::string& path : paths) {
        names.emplace_back();
        for (const auto& entry : Lib3dsMaterials(path))
            names.back().push_back(entry.first);
    }
    EXPECT_EQ(names[0].size(), 3u);
    EXPECT_EQ(names[1], names[0]);
    EXPECT_EQ(names[2], names[0]);

    // So do those of a real file.
    const std::string test1 = "/usr/share/assimp/models/3DS/test1.3ds";
    if (!std::filesystem::is_regular_file(test1)) return;
    std::vector<std::vector<std::string> > real;
    std::string from = test1;
    for (int trip = 1; trip <= 3; ++trip) {
        const std::string to = Folder() + "test1_" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to));
        real.emplace_back();
        for (const auto& entry : Lib3dsMaterials(to))
            real.back().push_back(entry.first);
        from = to;
    }
    EXPECT_FALSE(real[0].empty());
    EXPECT_EQ(real[1], real[0]);
    EXPECT_EQ(real[2], real[0]);
#endif
}
