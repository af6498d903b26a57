// Materials and maps over trips between 3DS and OBJ, judged by independent readers: lib3ds for
// the values of our 3DS files (two-sided flag, highlight colour and strength, map percentages,
// flags, blur and placement) and assimp for our MTL files, plus the warnings for values the target
// format cannot hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/support/test_files.h"

#ifdef OXA_HAVE_ASSIMP
#include <assimp/material.h>
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
    static const std::string folder = oxa_test::MakeProcessTempFolder("mattrip_");
    return folder;
}

bool IsObj(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".obj") == 0;
}

// One trip through our reader of `from`'s format and our writer of `to`'s, in a manager of its
// own; `messages` gets the reader's and the writer's message text.
bool Trip(const std::string& from, const std::string& to, std::string* messages = nullptr) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj objReader(&manager);
    VOxaReader3DS tdsReader(&manager);
    VOxaReader& reader = IsObj(from) ? static_cast<VOxaReader&>(objReader) : tdsReader;
    VStreamOptions* readOptions = reader.GetReadOptions();
    bool ok = reader.FileOpen(from.c_str()) && reader.Read(scene, readOptions);
    reader.FileClose();
    readOptions->Destroy();
    EXPECT_TRUE(ok) << "our reader: " << from;
    if (!ok) return false;
    VOxaWriterObj objWriter(&manager);
    VOxaWriter3DS tdsWriter(&manager);
    VOxaWriter& writer = IsObj(to) ? static_cast<VOxaWriter&>(objWriter) : tdsWriter;
    VStreamOptions* writeOptions = writer.GetWriteOptions();
    ok = writer.FileCreate(to.c_str()) && writer.Write(scene, writeOptions) && writer.FileClose();
    writeOptions->Destroy();
    if (messages)
        *messages = std::string(reader.GetMessageText().Buffer()) + writer.GetMessageText().Buffer();
    EXPECT_TRUE(ok) << "our writer: " << to;
    return ok;
}

// How many lines of `text` hold `part`.
int LinesWith(const std::string& text, const std::string& part) {
    int count = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.substr(at, end - at).find(part) != std::string::npos) ++count;
        at = end + 1;
    }
    return count;
}

#ifdef OXA_HAVE_LIB3DS

struct Lib3dsOwner {
    Lib3dsFile* file;
    explicit Lib3dsOwner(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~Lib3dsOwner() {
        if (file) lib3ds_file_free(file);
    }
};

// A quad named `name` with UVs, its faces in `material`, at height `z`.
Lib3dsMesh* Quad(const char* name, const char* material, float z) {
    Lib3dsMesh* mesh = lib3ds_mesh_new(name);
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    const float points[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 2; ++j)
            mesh->pointL[i].pos[j] = points[i][j];
        mesh->pointL[i].pos[2] = z;
        mesh->texelL[i][0] = points[i][0];
        mesh->texelL[i][1] = points[i][1];
    }
    lib3ds_mesh_new_face_list(mesh, 2);
    const Lib3dsWord corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int f = 0; f < 2; ++f) {
        std::strcpy(mesh->faceL[f].material, material);
        for (int i = 0; i < 3; ++i)
            mesh->faceL[f].points[i] = corners[f][i];
    }
    return mesh;
}

// The material of the faces of mesh `mesh` in a file lib3ds has read, or null.
Lib3dsMaterial* MaterialOfMesh(Lib3dsFile* file, const char* mesh) {
    Lib3dsMesh* found = lib3ds_file_mesh_by_name(file, mesh);
    if (!found || found->faces == 0) return nullptr;
    return lib3ds_file_material_by_name(file, found->faceL[0].material);
}

void ExpectSameMap(const Lib3dsTextureMap& source, const Lib3dsTextureMap& trip, const char* what) {
    EXPECT_STREQ(trip.name, source.name) << what;
    EXPECT_NEAR(trip.percent, source.percent, 0.005) << what;
    EXPECT_EQ(trip.flags, source.flags) << what;
    EXPECT_NEAR(trip.blur, source.blur, 1e-6) << what;
    for (int i = 0; i < 2; ++i) {
        EXPECT_NEAR(trip.scale[i], source.scale[i], 1e-5) << what;
        EXPECT_NEAR(trip.offset[i], source.offset[i], 1e-5) << what;
    }
    EXPECT_NEAR(trip.rotation, source.rotation, 1e-4) << what;
}

void ExpectSameMaterial(const Lib3dsMaterial& source, const Lib3dsMaterial& trip, const char* what) {
    EXPECT_EQ(trip.two_sided, source.two_sided) << what;
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(trip.specular[i], source.specular[i], 1e-6) << what << " specular " << i;
    EXPECT_NEAR(trip.shin_strength, source.shin_strength, 1e-6) << what;
    EXPECT_NEAR(trip.shininess, source.shininess, 1e-6) << what;
    ExpectSameMap(source.texture1_map, trip.texture1_map, what);
    ExpectSameMap(source.bump_map, trip.bump_map, what);
    ExpectSameMap(source.reflection_map, trip.reflection_map, what);
}

#endif

}  // namespace

TEST(material_trip_interop, A3dsTripKeepsMaterialsAsLib3dsReadsTheSource) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string source = Folder() + "same_src/", target = Folder() + "same_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    for (const char* image : {"wall.png", "sky.png", "bump.png"})
        oxa_test::WriteFile(source + image, image);
    Lib3dsFile* file = lib3ds_file_new();
    // One-sided, a white highlight of strength 0, a diffuse map at 90% that is mirrored and not
    // tiled, blurred, turned and scaled unevenly; a bump map at 75%; a reflection map whose flag
    // word is 0.
    Lib3dsMaterial* plain = lib3ds_material_new();
    std::strcpy(plain->name, "OneSided");
    plain->two_sided = 0;
    plain->specular[0] = plain->specular[1] = plain->specular[2] = 1.0f;
    plain->shin_strength = 0.0f;
    plain->shininess = 0.3f;
    std::strcpy(plain->texture1_map.name, "wall.png");
    plain->texture1_map.percent = 0.9f;
    plain->texture1_map.flags = LIB3DS_MIRROR | LIB3DS_NO_TILE;
    plain->texture1_map.blur = 0.25f;
    plain->texture1_map.rotation = 30.0f;
    plain->texture1_map.scale[0] = 2.0f;
    plain->texture1_map.scale[1] = 3.0f;
    plain->texture1_map.offset[0] = 0.25f;
    plain->texture1_map.offset[1] = 0.5f;
    std::strcpy(plain->bump_map.name, "bump.png");
    plain->bump_map.percent = 0.75f;
    plain->bump_map.flags = LIB3DS_NEGATE;
    std::strcpy(plain->reflection_map.name, "sky.png");
    plain->reflection_map.percent = 0.2f;
    plain->reflection_map.flags = 0;
    lib3ds_file_insert_material(file, plain);
    // Two-sided, a highlight colour whose strength is not the one a refactoring would choose.
    Lib3dsMaterial* shiny = lib3ds_material_new();
    std::strcpy(shiny->name, "TwoSided");
    shiny->two_sided = 1;
    shiny->specular[0] = 0.9f;
    shiny->specular[1] = 0.6f;
    shiny->specular[2] = 0.3f;
    shiny->shin_strength = 0.37f;
    shiny->shininess = 0.05f;
    lib3ds_file_insert_material(file, shiny);
    lib3ds_file_insert_mesh(file, Quad("A", "OneSided", 0.0f));
    lib3ds_file_insert_mesh(file, Quad("B", "TwoSided", 2.0f));
    const std::string start = source + "same.3ds", once = target + "once.3ds", twice = target + "twice.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);
    ASSERT_TRUE(Trip(start, once));
    ASSERT_TRUE(Trip(once, twice));

    Lib3dsOwner before(start);
    ASSERT_NE(before.file, nullptr);
    for (const std::string& path : {once, twice}) {
        Lib3dsOwner after(path);
        ASSERT_NE(after.file, nullptr) << path;
        for (const char* mesh : {"A", "B"}) {
            Lib3dsMaterial* expected = MaterialOfMesh(before.file, mesh);
            Lib3dsMaterial* actual = MaterialOfMesh(after.file, mesh);
            ASSERT_NE(expected, nullptr) << mesh;
            ASSERT_NE(actual, nullptr) << path << " " << mesh;
            ExpectSameMaterial(*expected, *actual, (path + " " + mesh).c_str());
        }
    }
#endif
}

namespace {

#ifdef OXA_HAVE_ASSIMP
// The values assimp reads of one material of an OBJ file.
struct AssimpMaterial {
    bool found = false;
    aiColor3D specular, emissive;
    float shininess = -1.0f, bumpMultiplier = -1.0f;
    int diffuseWrap = -1;
};

AssimpMaterial ReadWithAssimp(const std::string& path, const std::string& name) {
    AssimpMaterial out;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    EXPECT_NE(scene, nullptr) << path << ": " << importer.GetErrorString();
    if (!scene) return out;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* m = scene->mMaterials[i];
        aiString n;
        m->Get(AI_MATKEY_NAME, n);
        if (name != n.C_Str()) continue;
        out.found = true;
        m->Get(AI_MATKEY_COLOR_SPECULAR, out.specular);
        m->Get(AI_MATKEY_COLOR_EMISSIVE, out.emissive);
        m->Get(AI_MATKEY_SHININESS, out.shininess);
        m->Get(AI_MATKEY_MAPPINGMODE_U(aiTextureType_DIFFUSE, 0), out.diffuseWrap);
        aiGetMaterialFloat(m, "$tex.bumpmult", aiTextureType_HEIGHT, 0, &out.bumpMultiplier);
    }
    return out;
}
#endif

}  // namespace

TEST(material_trip_interop, ObjValuesHoldThroughObjAnd3dsOrAreNamed) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "not installed: libassimp-dev (the assimp library and its headers)";
#else
    const std::string source = Folder() + "obj_src/", target = Folder() + "obj_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    for (const char* image : {"wall.png", "bump.png", "amb.png"})
        oxa_test::WriteFile(source + image, image);
    oxa_test::WriteFile(
        source + "m.mtl",
        "newmtl Glow\nKa 0.1 0.1 0.1\nKd 0.5 0.25 0.125\nKs 1.5 1.5 1.5\nKe 0.2 0.4 0.6\nNs 5\n"
        "map_Kd -clamp on wall.png\nmap_bump -bm 0.75 bump.png\nmap_Ka amb.png\n\n"
        "newmtl Hard\nKd 1 1 1\nKs 0.5 0.5 0.5\nNs 500\n");
    oxa_test::WriteFile(source + "m.obj",
                        "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                        "usemtl Glow\nf 1/1 2/2 3/3\nusemtl Hard\nf 1/1 3/3 4/4\n");
    // OBJ to OBJ: every value as it was, and nothing to warn of.
    std::string messages;
    ASSERT_TRUE(Trip(source + "m.obj", target + "same.obj", &messages));
    EXPECT_EQ(LinesWith(messages, "cannot hold"), 0) << messages;
    AssimpMaterial glow = ReadWithAssimp(target + "same.obj", "Glow");
    ASSERT_TRUE(glow.found);
    EXPECT_FLOAT_EQ(glow.specular.r, 1.5f);
    EXPECT_FLOAT_EQ(glow.emissive.r, 0.2f);
    EXPECT_FLOAT_EQ(glow.emissive.g, 0.4f);
    EXPECT_FLOAT_EQ(glow.emissive.b, 0.6f);
    EXPECT_FLOAT_EQ(glow.shininess, 5.0f);
    EXPECT_EQ(glow.diffuseWrap, (int)aiTextureMapMode_Clamp);
    EXPECT_FLOAT_EQ(glow.bumpMultiplier, 0.75f);
    EXPECT_FLOAT_EQ(ReadWithAssimp(target + "same.obj", "Hard").shininess, 500.0f);

    // Through 3DS: the bump strength, the clamping and the shininess between whole percents come
    // back; the glow's own hue, the ambient map and a shininess above 100% are named, once per
    // material.
    ASSERT_TRUE(Trip(source + "m.obj", target + "m.3ds", &messages));
    EXPECT_EQ(LinesWith(messages, "Material \"Glow\""), 1) << messages;
    EXPECT_EQ(LinesWith(messages, "ambient map"), 1) << messages;
    EXPECT_EQ(LinesWith(messages, "glow colour"), 1) << messages;
    EXPECT_EQ(LinesWith(messages, "Material \"Hard\": the 3DS file cannot hold its shininess"), 1)
        << messages;
#ifdef OXA_HAVE_LIB3DS
    {
        Lib3dsOwner tds(target + "m.3ds");
        ASSERT_NE(tds.file, nullptr);
        Lib3dsMaterial* written = MaterialOfMesh(tds.file, tds.file->meshes ? tds.file->meshes->name : "");
        ASSERT_NE(written, nullptr);
        EXPECT_NEAR(written->bump_map.percent, 0.75f, 1e-6);
        EXPECT_EQ(written->texture1_map.flags, LIB3DS_NO_TILE);
    }
#endif
    ASSERT_TRUE(Trip(target + "m.3ds", target + "back.obj", &messages));
    glow = ReadWithAssimp(target + "back.obj", "Glow");
    ASSERT_TRUE(glow.found);
    EXPECT_NEAR(glow.specular.r, 1.5f, 0.006f);
    EXPECT_FLOAT_EQ(glow.shininess, 5.0f);
    EXPECT_EQ(glow.diffuseWrap, (int)aiTextureMapMode_Clamp);
    EXPECT_FLOAT_EQ(glow.bumpMultiplier, 0.75f);
#endif
}

TEST(material_trip_interop, A3dsToObjTripKeepsWhatMtlHoldsAndNamesTheRest) {
#if !defined(OXA_HAVE_LIB3DS) || !defined(OXA_HAVE_ASSIMP)
    GTEST_SKIP() << "not installed: lib3ds-dev and libassimp-dev";
#else
    const std::string source = Folder() + "to_obj_src/", target = Folder() + "to_obj_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    for (const char* image : {"wall.png", "dirt.png", "bump.png"})
        oxa_test::WriteFile(source + image, image);
    Lib3dsFile* file = lib3ds_file_new();
    Lib3dsMaterial* material = lib3ds_material_new();
    std::strcpy(material->name, "Strong");
    // A highlight at 150%: the specular colour is 1.5 times 4/3.
    material->specular[0] = material->specular[1] = material->specular[2] = 1.0f;
    material->shin_strength = 1.5f;
    std::strcpy(material->texture1_map.name, "wall.png");
    material->texture1_map.percent = 0.9f;
    material->texture1_map.rotation = 30.0f;
    std::strcpy(material->texture2_map.name, "dirt.png");
    material->texture2_map.percent = 0.5f;
    std::strcpy(material->bump_map.name, "bump.png");
    material->bump_map.percent = 0.3f;
    lib3ds_file_insert_material(file, material);
    lib3ds_file_insert_mesh(file, Quad("Q", "Strong", 0.0f));
    const std::string start = source + "strong.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    std::string messages;
    ASSERT_TRUE(Trip(start, target + "strong.obj", &messages));
    AssimpMaterial read;
    for (const char* name : {"Strong", "1.Mat0T0T1", "1.Mat0Tex0"})
        if (!read.found) read = ReadWithAssimp(target + "strong.obj", name);
    ASSERT_TRUE(read.found);
    EXPECT_NEAR(read.specular.r, 2.0f, 1e-5);
    EXPECT_NEAR(read.bumpMultiplier, 0.3f, 1e-6);
    ASSERT_EQ(LinesWith(messages, "the OBJ file cannot hold"), 1) << messages;
    for (const char* what : {"map rotation", "map percentages", "second texture map"})
        EXPECT_EQ(LinesWith(messages, what), 1) << what << ": " << messages;
#endif
}

namespace {

// Renames, in every material-name and face-group chunk below `chunk`, the names `renames` lists.
void RenameMaterials(Ftk::Chunk* chunk, const std::map<std::string, std::string>& renames) {
    for (; chunk; chunk = chunk->mNext) {
        if (auto* text = Ftk::GetData<Ftk::StringData>(chunk); text && chunk->mTag == Ftk::MATERIAL_NAME) {
            auto found = renames.find(text->mText);
            if (found != renames.end()) text->mText = found->second;
        }
        if (auto* group = Ftk::GetData<Ftk::FaceMaterialData>(chunk)) {
            auto found = renames.find(group->mName);
            if (found != renames.end()) group->mName = found->second;
        }
        RenameMaterials(chunk->mChildren, renames);
    }
}

}  // namespace

TEST(material_trip_interop, LongMaterialNamesThatDifferLateStayApart) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // Pairs of names that differ only in their last byte, a red and a blue material: 80 bytes are
    // read whole, 1100 bytes are cut (with a warning each) and still kept apart.
    for (const size_t length : {80u, 1100u}) {
        SCOPED_TRACE(length);
        const std::string stem(length - 1, 'n');
        const std::map<std::string, std::string> renames = {{"Red", stem + "R"}, {"Blue", stem + "B"}};
        const std::string start = Folder() + "long_names" + std::to_string(length) + ".3ds";
        const std::string trip = Folder() + "long_names" + std::to_string(length) + "_out.3ds";
        ASSERT_TRUE(ftkscene::WriteSceneFile(start, [&](Ftk::Database* db) {
            ftkscene::PutMeshSettings(db);
            const std::pair<const char*, float> looks[] = {{"Red", 0.0f}, {"Blue", 1.0f}};
            for (const auto& look : looks) {
                Ftk::Material* material = nullptr;
                Ftk::InitMaterial(&material);
                std::strcpy(material->mName, look.first);
                material->mDiffuse[0] = 1.0f - look.second;
                material->mDiffuse[2] = look.second;
                Ftk::WriteMaterial(db, material);
                Ftk::ReleaseMaterial(&material);
                Ftk::Mesh* mesh = nullptr;
                Ftk::InitMesh(&mesh, 3, 1, 0);
                std::strcpy(mesh->mName, look.first);
                mesh->mVertices = {{0, 0, look.second}, {1, 0, look.second}, {0, 1, look.second}};
                mesh->mFaces = {{0, 1, 2, 7}};
                mesh->mMaterialGroupCount = 1;
                Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
                mesh->mMaterialGroups[0].mName = look.first;
                Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
                mesh->mMaterialGroups[0].mFaces[0] = 0;
                Ftk::WriteMesh(db, mesh);
                Ftk::ReleaseMesh(&mesh);
            }
            RenameMaterials(db->mTop, renames);
        }));
        std::string messages;
        ASSERT_TRUE(Trip(start, trip, &messages));
        EXPECT_EQ(LinesWith(messages, "a longer name in the file"), length > 1023 ? 2 : 0) << messages;

        Lib3dsOwner read(trip);
        ASSERT_NE(read.file, nullptr);
        Lib3dsMaterial* red = MaterialOfMesh(read.file, "Red");
        Lib3dsMaterial* blue = MaterialOfMesh(read.file, "Blue");
        ASSERT_TRUE(red != nullptr && blue != nullptr);
        EXPECT_STRNE(red->name, blue->name);
        EXPECT_NEAR(red->diffuse[0], 1.0f, 1e-6);
        EXPECT_NEAR(blue->diffuse[0], 0.0f, 1e-6);
        EXPECT_NEAR(blue->diffuse[2], 1.0f, 1e-6);
    }
#endif
}

TEST(material_trip_interop, TexturedMaterialsKeepTheirNamesThrough3dsAndFromObj) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string source = Folder() + "names_src/", target = Folder() + "names_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    for (const char* image : {"red.png", "long.png"})
        oxa_test::WriteFile(source + image, image);
    // "Red" with a map on two meshes, and a name that fills the 16 bytes of a 3DS name.
    Lib3dsFile* file = lib3ds_file_new();
    Lib3dsMaterial* red = lib3ds_material_new();
    std::strcpy(red->name, "Red");
    red->diffuse[0] = 1.0f;
    red->diffuse[1] = red->diffuse[2] = 0.0f;
    std::strcpy(red->texture1_map.name, "red.png");
    red->texture1_map.percent = 0.8f;
    red->texture1_map.scale[0] = 2.0f;
    lib3ds_file_insert_material(file, red);
    Lib3dsMaterial* full = lib3ds_material_new();
    std::strcpy(full->name, "Fifteen_chars_x");
    std::strcpy(full->texture1_map.name, "long.png");
    full->texture1_map.percent = 1.0f;
    lib3ds_file_insert_material(file, full);
    lib3ds_file_insert_mesh(file, Quad("A", "Red", 0.0f));
    lib3ds_file_insert_mesh(file, Quad("B", "Red", 2.0f));
    lib3ds_file_insert_mesh(file, Quad("C", "Fifteen_chars_x", 4.0f));
    const std::string start = source + "red.3ds", once = target + "once.3ds", twice = target + "twice.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    std::string messages;
    ASSERT_TRUE(Trip(start, once, &messages));
    EXPECT_EQ(LinesWith(messages, "is written also as"), 0) << messages;
    ASSERT_TRUE(Trip(once, twice));
    Lib3dsOwner before(start);
    ASSERT_NE(before.file, nullptr);
    for (const std::string& path : {once, twice}) {
        Lib3dsOwner after(path);
        ASSERT_NE(after.file, nullptr) << path;
        std::vector<std::string> names;
        for (Lib3dsMaterial* m = after.file->materials; m != nullptr; m = m->next)
            names.push_back(m->name);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"Fifteen_chars_x", "Red"})) << path;
        for (const char* mesh : {"A", "B", "C"}) {
            Lib3dsMesh* found = lib3ds_file_mesh_by_name(after.file, mesh);
            ASSERT_NE(found, nullptr) << path << " " << mesh;
            const char* expected = *mesh == 'C' ? "Fifteen_chars_x" : "Red";
            for (unsigned f = 0; f < found->faces; ++f)
                EXPECT_STREQ(found->faceL[f].material, expected) << path << " " << mesh << " face " << f;
        }
        for (const char* name : {"Red", "Fifteen_chars_x"}) {
            Lib3dsMaterial* expected = lib3ds_file_material_by_name(before.file, name);
            Lib3dsMaterial* actual = lib3ds_file_material_by_name(after.file, name);
            ASSERT_TRUE(expected && actual) << path << " " << name;
            ExpectSameMap(expected->texture1_map, actual->texture1_map, name);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(actual->diffuse[i], expected->diffuse[i], 1e-6) << path << " " << name;
        }
    }

    // From OBJ: the MTL material with a diffuse map keeps its name and its map.
    oxa_test::WriteFile(source + "red.mtl", "newmtl Red\nKd 1 0 0\nmap_Kd red.png\n");
    oxa_test::WriteFile(source + "red.obj",
                        "mtllib red.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\n"
                        "o Tri\nusemtl Red\nf 1/1 2/2 3/3\n");
    ASSERT_TRUE(Trip(source + "red.obj", target + "obj.3ds"));
    Lib3dsOwner fromObj(target + "obj.3ds");
    ASSERT_NE(fromObj.file, nullptr);
    ASSERT_NE(fromObj.file->materials, nullptr);
    EXPECT_STREQ(fromObj.file->materials->name, "Red");
    EXPECT_EQ(fromObj.file->materials->next, nullptr);
    EXPECT_STREQ(fromObj.file->materials->texture1_map.name, "red.png");
    ASSERT_NE(fromObj.file->meshes, nullptr);
    ASSERT_EQ(fromObj.file->meshes->faces, 1u);
    EXPECT_STREQ(fromObj.file->meshes->faceL[0].material, "Red");
#endif
}
