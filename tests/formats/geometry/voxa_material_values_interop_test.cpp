// Material values as independent readers see them: the opacity and names of our MTL files in
// assimp, and the transparency, specular, shine strength, shininess, self-illumination, names and
// texture maps of our 3DS files in lib3ds and assimp, over repeated trips through our readers and
// writers.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
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

    std::vector<std::map<std::string, Lib3dsValues>> trips;
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
    std::vector<std::vector<std::string>> names;
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
    std::vector<std::vector<std::string>> real;
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

// ---- Values and textures that must not change on any number of trips --------------------------

namespace {

#ifdef OXA_HAVE_LIB3DS
// Writes a 3DS file with the chunk layer: one triangle of material `material`.
void Write3dsWithMaterial(const std::string& path, Ftk::Material* material) {
    EXPECT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::WriteMaterial(db, material);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Tri");
        mesh->mVertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        mesh->mFaces = {{0, 1, 2, 7}};
        mesh->mMaterialGroupCount = 1;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        mesh->mMaterialGroups[0].mName = material->mName;
        Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
        mesh->mMaterialGroups[0].mFaces[0] = 0;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    })) << path;
}
#endif

#ifdef OXA_HAVE_ASSIMP
// The emissive colour of each material of a file as assimp reads it, by name (a 3DS file's
// self-illumination percentage is its grey level).
std::map<std::string, aiColor3D> AssimpEmissive(const std::string& path) {
    std::map<std::string, aiColor3D> out;
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(path, 0);
    EXPECT_NE(read, nullptr) << importer.GetErrorString();
    for (unsigned i = 0; read != nullptr && i < read->mNumMaterials; ++i) {
        aiString name;
        aiColor3D emissive(-1, -1, -1);
        read->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        read->mMaterials[i]->Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
        out[name.C_Str()] = emissive;
    }
    return out;
}
#endif

// Per polygon of the first mesh under the scene's root: its material's name and its texture's
// file name ("" when the polygon has none).
std::vector<std::pair<std::string, std::string>> PolygonLooks(VOxaScene* scene) {
    std::vector<std::pair<std::string, std::string>> out;
    VOxaMesh* mesh = nullptr;
    std::vector<VOxaNode*> stack = {scene->GetRootNode()};
    while (!stack.empty() && mesh == nullptr) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        mesh = node->GetMesh();
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            stack.push_back(node->GetChild(i));
    }
    EXPECT_NE(mesh, nullptr);
    if (mesh == nullptr) return out;
    VArrayTemplate<int>* materials = mesh->GetMaterialIndices();
    VArrayTemplate<int>* textures = mesh->GetTextureIndices();
    for (int p = 0; p < mesh->GetPolygonCount(); ++p) {
        VOxaMaterial* material =
            materials && p < materials->GetCount() ? mesh->GetMaterial((*materials)[p], 0) : nullptr;
        VOxaTexture* texture =
            textures && p < textures->GetCount() ? mesh->GetTexture((*textures)[p], 0) : nullptr;
        out.emplace_back(material ? material->GetNameWithoutPrefix() : "(none)",
                         texture ? texture->GetFileName() : "");
    }
    return out;
}

}  // namespace

TEST(material_values_interop, SelfIlluminationShininessAndSpecularHueHoldOverThreeTrips) {
#if !defined(OXA_HAVE_LIB3DS) || !defined(OXA_HAVE_ASSIMP)
    GTEST_SKIP() << "not installed: lib3ds-dev and libassimp-dev (the libraries and their headers)";
#else
    // A fully self-illuminated material, shininess 70% and a warm specular at full strength: a
    // strong highlight whose colour times strength times 4/3 passes 1 in red.
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    std::strcpy(material->mName, "Fighter");
    const float diffuse[3] = {0.6f, 0.45f, 0.3f}, specular[3] = {0.88f, 0.71f, 0.29f};
    for (int i = 0; i < 3; ++i) {
        material->mDiffuse[i] = diffuse[i];
        material->mSpecular[i] = specular[i];
    }
    material->mShineStrength = 1.0f;
    material->mShininess = 0.7f;
    material->mSelfIllumination = 1.0f;
    const std::string start = Folder() + "fighter0.3ds";
    Write3dsWithMaterial(start, material);
    Ftk::ReleaseMaterial(&material);

    // What the independent readers see in the first file is what every trip must keep.
    const Lib3dsValues first = Lib3dsMaterials(start)["Fighter"];
    ASSERT_NEAR(first.shininess, 0.7, 1e-6);
    ASSERT_NEAR(first.shinStrength, 1.0, 1e-6);
    ASSERT_NEAR(AssimpEmissive(start)["Fighter"].r, 1.0, 1e-6);
    std::string from = start;
    for (int trip = 1; trip <= 3; ++trip) {
        const std::string to = Folder() + "fighter" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to)) << "trip " << trip;
        from = to;
        std::map<std::string, Lib3dsValues> materials = Lib3dsMaterials(to);
        ASSERT_EQ(materials.count("Fighter"), 1u) << "trip " << trip;
        const Lib3dsValues& now = materials["Fighter"];
        EXPECT_NEAR(now.shininess, 0.7, 1e-6) << "trip " << trip;
        // Colour times strength: the highlight itself, within a byte of the colour and a percent
        // of the strength; its hue (green and blue against red) within rounding.
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(now.specular[i] * now.shinStrength, first.specular[i] * first.shinStrength, 0.006)
                << "trip " << trip << " channel " << i;
        EXPECT_NEAR(now.specular[1] / now.specular[0], first.specular[1] / first.specular[0], 0.01) << trip;
        EXPECT_NEAR(now.specular[2] / now.specular[0], first.specular[2] / first.specular[0], 0.01) << trip;
        const aiColor3D emissive = AssimpEmissive(to)["Fighter"];
        EXPECT_NEAR(emissive.r, 1.0, 1e-6) << "self-illumination, trip " << trip;
    }
#endif
}

TEST(material_values_interop, TexturedAndUntexturedMaterialsKeepTheirOwnTexturesThrough3dsAndObj) {
#if !defined(OXA_HAVE_LIB3DS) || !defined(OXA_HAVE_ASSIMP)
    GTEST_SKIP() << "not installed: lib3ds-dev and libassimp-dev (the libraries and their headers)";
#else
    // Four triangles: a textured material on the first and last, two plain colours between.
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Cube");
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(6);
    for (int i = 0; i < 6; ++i)
        mesh->GetControlPoints()[i] = VgeTVector(i % 3, i / 3, 0, 1);
    mesh->InitTextureUVIndices(1);
    for (int i = 0; i < 6; ++i)
        mesh->AddTextureUV(VgeVector2((i % 3) * 0.5, i / 3));
    VOxaMaterial* painted = manager.CreateMaterial("Painted");
    VOxaMaterial* red = manager.CreateMaterial("Red");
    VOxaMaterial* blue = manager.CreateMaterial("Blue");
    red->SetDiffuse(VOxaColor(1, 0, 0, 1));
    blue->SetDiffuse(VOxaColor(0, 0, 1, 1));
    VOxaTexture* image = manager.CreateTexture("cube");
    image->SetFileName("cube.tga");
    mesh->InitMaterialIndices(3);
    mesh->InitTextureIndices(3);
    mesh->AddMaterial(painted, 0);
    mesh->AddMaterial(red, 0);
    mesh->AddMaterial(blue, 0);
    mesh->AddTexture(image, 0);
    const int faces[4][3] = {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}};
    const int materialOf[4] = {0, 1, 2, 0}, textureOf[4] = {0, -1, -1, 0};
    for (int f = 0; f < 4; ++f) {
        mesh->BeginPolygon(materialOf[f], textureOf[f], -1);
        for (int v : faces[f])
            mesh->AddPolygonVertex(v, -1);
        mesh->EndPolygon();
    }
    const std::vector<std::pair<std::string, std::string>> looks = PolygonLooks(scene);
    ASSERT_EQ(looks[1], std::make_pair(std::string("Red"), std::string()));

    // 3DS, twice: lib3ds finds the texture on the textured material only, and the plain ones
    // under their own names; our reader gives each polygon its material and texture back.
    const std::string once = Folder() + "looks1.3ds", twice = Folder() + "looks2.3ds",
                      obj = Folder() + "looks.obj";
    ASSERT_TRUE(WriteWithOurs(manager, scene, obj));
    ASSERT_TRUE(WriteWithOurs(manager, scene, once));
    ASSERT_TRUE(Trip(once, twice));
    for (const std::string& path : {once, twice}) {
        Lib3dsFile* file = lib3ds_file_load(path.c_str());
        ASSERT_NE(file, nullptr) << path;
        std::map<std::string, std::string> maps;
        for (Lib3dsMaterial* m = file->materials; m != nullptr; m = m->next)
            maps[m->name] = m->texture1_map.name;
        EXPECT_EQ(maps,
                  (std::map<std::string, std::string>{{"Painted", "cube.tga"}, {"Red", ""}, {"Blue", ""}}))
            << path;
        ASSERT_NE(file->meshes, nullptr);
        ASSERT_EQ(file->meshes->faces, 4u);
        const char* expected[4] = {"Painted", "Red", "Blue", "Painted"};
        for (int f = 0; f < 4; ++f)
            EXPECT_STREQ(file->meshes->faceL[f].material, expected[f]) << path << " face " << f;
        lib3ds_file_free(file);

        VOxaSdkManager readManager;
        VOxaScene* read = ReadWithOurs(readManager, path);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(PolygonLooks(read), looks) << path;
    }

    // OBJ: assimp finds the diffuse map on the textured material only; our reader gives each
    // polygon its own material and texture, under the materials' own names.
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(obj, 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    std::map<std::string, std::string> maps;
    for (unsigned i = 0; i < read->mNumMaterials; ++i) {
        aiString name, map;
        read->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        read->mMaterials[i]->GetTexture(aiTextureType_DIFFUSE, 0, &map);
        if (std::string(name.C_Str()) != AI_DEFAULT_MATERIAL_NAME) maps[name.C_Str()] = map.C_Str();
    }
    EXPECT_EQ(maps, (std::map<std::string, std::string>{{"Painted", "cube.tga"}, {"Red", ""}, {"Blue", ""}}));
    VOxaSdkManager objManager;
    VOxaScene* back = ReadWithOurs(objManager, obj);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(PolygonLooks(back), looks);
#endif
}

TEST(material_values_interop, MaterialNamesWithBlanksStayTwoMaterialsInAssimp) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "not installed: libassimp-dev (the assimp library and its headers)";
#else
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaMaterial* one = manager.CreateMaterial("red mat one");
    VOxaMaterial* two = manager.CreateMaterial("red mat two");
    one->SetDiffuse(VOxaColor(1, 0, 0, 1));
    two->SetDiffuse(VOxaColor(0, 0, 1, 1));
    AddTriangle(manager, scene, "Left", one);
    AddTriangle(manager, scene, "Right", two);
    const std::string path = Folder() + "blanks.obj";
    ASSERT_TRUE(WriteWithOurs(manager, scene, path));

    // Each mesh assimp makes keeps the diffuse colour of its own material.
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(path, 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    std::map<std::string, aiColor3D> diffuse;
    for (unsigned i = 0; i < read->mNumMeshes; ++i) {
        const aiMaterial* material = read->mMaterials[read->mMeshes[i]->mMaterialIndex];
        aiString name;
        aiColor3D colour;
        material->Get(AI_MATKEY_NAME, name);
        material->Get(AI_MATKEY_COLOR_DIFFUSE, colour);
        diffuse[name.C_Str()] = colour;
    }
    ASSERT_EQ(diffuse.size(), 2u);
    ASSERT_EQ(diffuse.count("red_mat_one"), 1u);
    ASSERT_EQ(diffuse.count("red_mat_two"), 1u);
    EXPECT_EQ(diffuse["red_mat_one"].r, 1.0f);
    EXPECT_EQ(diffuse["red_mat_two"].b, 1.0f);
    EXPECT_EQ(diffuse["red_mat_two"].r, 0.0f);
#endif
}

TEST(material_values_interop, ASecondMapStaysWithItsMaterialOverTwoTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // Made by lib3ds: a material with two maps on the first face, a plain one on the second.
    Lib3dsFile* file = lib3ds_file_new();
    ASSERT_NE(file, nullptr);
    Lib3dsMaterial* duo = lib3ds_material_new();
    std::strcpy(duo->name, "Duo");
    std::strcpy(duo->texture1_map.name, "wall.jpg");
    duo->texture1_map.percent = 1.0f;
    std::strcpy(duo->texture2_map.name, "dirt.jpg");
    duo->texture2_map.percent = 0.5f;
    lib3ds_file_insert_material(file, duo);
    Lib3dsMaterial* plain = lib3ds_material_new();
    std::strcpy(plain->name, "Plain");
    lib3ds_file_insert_material(file, plain);
    Lib3dsMesh* mesh = lib3ds_mesh_new("Quad");
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    const float points[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            mesh->pointL[i].pos[j] = points[i][j];
        mesh->texelL[i][0] = points[i][0];
        mesh->texelL[i][1] = points[i][1];
    }
    lib3ds_mesh_new_face_list(mesh, 2);
    const Lib3dsWord corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int f = 0; f < 2; ++f) {
        std::strcpy(mesh->faceL[f].material, f == 0 ? "Duo" : "Plain");
        for (int i = 0; i < 3; ++i)
            mesh->faceL[f].points[i] = corners[f][i];
    }
    lib3ds_file_insert_mesh(file, mesh);
    const std::string start = Folder() + "duo0.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    std::string from = start;
    for (int trip = 1; trip <= 2; ++trip) {
        const std::string to = Folder() + "duo" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to)) << "trip " << trip;
        from = to;
        Lib3dsFile* read = lib3ds_file_load(to.c_str());
        ASSERT_NE(read, nullptr) << to;
        ASSERT_NE(read->meshes, nullptr);
        ASSERT_EQ(read->meshes->faces, 2u);
        // Each face's material, with its two map names.
        std::vector<std::string> looks;
        for (int f = 0; f < 2; ++f) {
            Lib3dsMaterial* m = lib3ds_file_material_by_name(read, read->meshes->faceL[f].material);
            ASSERT_NE(m, nullptr) << "trip " << trip << " face " << f;
            looks.push_back(std::string(m->texture1_map.name) + "|" + m->texture2_map.name);
        }
        EXPECT_EQ(looks, (std::vector<std::string>{"wall.jpg|dirt.jpg", "|"})) << "trip " << trip;
        EXPECT_STREQ(read->meshes->faceL[1].material, "Plain") << "trip " << trip;
        lib3ds_file_free(read);
    }
#endif
}
