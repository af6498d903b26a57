// Values of our 3DS files as lib3ds reads them, after trips through our readers and writers: UVs
// of untextured meshes, every map of a material with its image, the ambient light, colours,
// specular levels, material names and the keyframer segment. Without lib3ds's development
// package the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"
#include "tests/support/test_files.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#endif

namespace {

std::string Folder() {
    static const std::string folder = oxa_test::MakeProcessTempFolder("values3ds_");
    return folder;
}

bool EndsWith(const std::string& text, const char* end) {
    const size_t n = std::strlen(end);
    return text.size() >= n && text.compare(text.size() - n, n, end) == 0;
}

// One trip: our reader of the source's format, then our 3DS writer, in a manager of its own.
// `messages` gets the writer's message text.
bool Trip(const std::string& from, const std::string& to, std::string* messages = nullptr) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj objReader(&manager);
    VOxaReader3DS tdsReader(&manager);
    VOxaReader& reader = EndsWith(from, ".obj") ? static_cast<VOxaReader&>(objReader) : tdsReader;
    VStreamOptions* readOptions = reader.GetReadOptions();
    bool ok = reader.FileOpen(from.c_str()) && reader.Read(scene, readOptions);
    reader.FileClose();
    readOptions->Destroy();
    EXPECT_TRUE(ok) << "our reader: " << from;
    if (!ok) return false;
    VOxaWriter3DS writer(&manager);
    VStreamOptions* writeOptions = writer.GetWriteOptions();
    ok = writer.FileCreate(to.c_str()) && writer.Write(scene, writeOptions) && writer.FileClose();
    writeOptions->Destroy();
    if (messages) *messages = writer.GetMessageText().Buffer();
    EXPECT_TRUE(ok) << "our writer: " << to;
    return ok;
}

// Our 3DS reader, then our OBJ writer.
bool TripToObj(const std::string& from, const std::string& to) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReader3DS reader(&manager);
    VStreamOptions* readOptions = reader.GetReadOptions();
    bool ok = reader.FileOpen(from.c_str()) && reader.Read(scene, readOptions);
    reader.FileClose();
    readOptions->Destroy();
    EXPECT_TRUE(ok) << "our reader: " << from;
    if (!ok) return false;
    VOxaWriterObj writer(&manager);
    VStreamOptions* writeOptions = writer.GetWriteOptions();
    ok = writer.FileCreate(to.c_str()) && writer.Write(scene, writeOptions) && writer.FileClose();
    writeOptions->Destroy();
    EXPECT_TRUE(ok) << "our OBJ writer: " << to;
    return ok;
}

// The lines of `text` that start with `keyword` and a space.
std::vector<std::string> LinesOf(const std::string& text, const std::string& keyword) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, keyword.size() + 1, keyword + " ") == 0) out.push_back(line);
        at = end + 1;
    }
    return out;
}

#ifdef OXA_HAVE_LIB3DS

struct Lib3dsOwner {
    Lib3dsFile* file;
    explicit Lib3dsOwner(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~Lib3dsOwner() {
        if (file) lib3ds_file_free(file);
    }
};

// A quad of two triangles with a UV per point, its faces in `material` (none when empty).
Lib3dsMesh* Quad(const char* material) {
    Lib3dsMesh* mesh = lib3ds_mesh_new("Quad");
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    const float points[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            mesh->pointL[i].pos[j] = points[i][j];
        // UVs that differ from the points, so that each corner shows where its own UV went.
        mesh->texelL[i][0] = 0.25f + 0.5f * points[i][0];
        mesh->texelL[i][1] = 0.125f + 0.75f * points[i][1];
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

// The UV lib3ds finds at each face corner, as "x,y:u,v" with the corner's point (x, y) given as a
// share of the mesh's extent (so that a unit scale does not matter).
std::vector<std::string> CornerUVs(const std::string& path) {
    std::vector<std::string> out;
    Lib3dsOwner read(path);
    EXPECT_NE(read.file, nullptr) << path;
    if (!read.file) return out;
    for (Lib3dsMesh* mesh = read.file->meshes; mesh; mesh = mesh->next) {
        float extent = 0.0f;
        for (Lib3dsDword v = 0; v < mesh->points; ++v)
            for (int a = 0; a < 3; ++a)
                extent = std::max(extent, std::fabs(mesh->pointL[v].pos[a]));
        if (extent == 0.0f) extent = 1.0f;
        for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
            for (int k = 0; k < 3; ++k) {
                const Lib3dsWord v = mesh->faceL[f].points[k];
                char text[96];
                const float u = v < mesh->texels ? mesh->texelL[v][0] : -1.0f;
                const float w = v < mesh->texels ? mesh->texelL[v][1] : -1.0f;
                // Adding 0 turns a negative zero into zero.
                std::snprintf(text, sizeof text, "%.3f,%.3f:%.4f,%.4f",
                              mesh->pointL[v].pos[0] / extent + 0.0f, mesh->pointL[v].pos[1] / extent + 0.0f,
                              u, w);
                out.push_back(text);
            }
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

#endif

}  // namespace

TEST(values3ds_interop, UntexturedMeshesKeepTheirUVs) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // From OBJ: a material without image and UVs on every corner.
    const std::string obj = Folder() + "uv.obj", fromObj = Folder() + "uv_obj.3ds";
    oxa_test::WriteFile(Folder() + "uv.mtl", "newmtl plain\nKd 1 0 0\n");
    oxa_test::WriteFile(obj,
                        "mtllib uv.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                        "vt 0.25 0.5\nvt 0.75 0.5\nvt 0.25 0.875\nusemtl plain\nf 1/1 2/2 3/3\n");
    ASSERT_TRUE(Trip(obj, fromObj));
    // The OBJ's Y is up, 3DS's Z: the OBJ point (x, y, 0) lies at (x, 0) in the file's X-Y plane.
    EXPECT_EQ(CornerUVs(fromObj),
              (std::vector<std::string>{"0.000,0.000:0.2500,0.5000", "0.000,0.000:0.2500,0.8750",
                                        "1.000,0.000:0.7500,0.5000"}))
        << "lib3ds's UVs of the OBJ's triangle";

    // From 3DS (made by lib3ds): an untextured material and texture vertices.
    Lib3dsFile* file = lib3ds_file_new();
    ASSERT_NE(file, nullptr);
    Lib3dsMaterial* plain = lib3ds_material_new();
    std::strcpy(plain->name, "Plain");
    lib3ds_file_insert_material(file, plain);
    lib3ds_file_insert_mesh(file, Quad("Plain"));
    const std::string start = Folder() + "uv0.3ds", trip = Folder() + "uv1.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);
    ASSERT_TRUE(Trip(start, trip));
    const std::vector<std::string> before = CornerUVs(start), after = CornerUVs(trip);
    ASSERT_EQ(before.size(), 4u);
    EXPECT_EQ(after, before);
#endif
}

TEST(values3ds_interop, EveryMapOfAMaterialTravelsWithItsImage) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    namespace fs = std::filesystem;
    const std::string source = Folder() + "maps_src/", target = Folder() + "maps_out/";
    fs::create_directories(source);
    fs::create_directories(target);
    struct Expected {
        Lib3dsTextureMap Lib3dsMaterial::*slot;
        const char* what;
        const char* image;
        float percent, uScale, vScale, uOffset, vOffset, rotation;
    };
    // Every map with parameters of its own.
    const Expected maps[] = {
        {&Lib3dsMaterial::texture1_map, "texture 1", "wall.png", 1.0f, 1, 1, 0, 0, 0},
        {&Lib3dsMaterial::texture2_map, "texture 2", "dirt.png", 0.5f, 1, 1, 0, 0, 0},
        {&Lib3dsMaterial::opacity_map, "opacity", "cut.png", 0.75f, 2, 2, 0.25f, 0.5f, 0},
        {&Lib3dsMaterial::bump_map, "bump", "bump.png", 0.3f, 1, 4, 0, 0, 0},
        {&Lib3dsMaterial::specular_map, "specular", "spec.png", 0.6f, 1, 1, 0, 0, 30},
        {&Lib3dsMaterial::shininess_map, "shininess", "gloss.png", 0.4f, 3, 1, 0.5f, 0, 0},
        {&Lib3dsMaterial::self_illum_map, "self-illumination", "glow.png", 0.9f, 1, 1, 0, 0, 0},
        {&Lib3dsMaterial::reflection_map, "reflection", "sky.png", 0.2f, 1, 1, 0, 0, 0},
    };
    Lib3dsFile* file = lib3ds_file_new();
    ASSERT_NE(file, nullptr);
    Lib3dsMaterial* material = lib3ds_material_new();
    std::strcpy(material->name, "Many");
    for (const Expected& e : maps) {
        Lib3dsTextureMap& map = material->*e.slot;
        std::strcpy(map.name, e.image);
        map.percent = e.percent;
        map.scale[0] = e.uScale;
        map.scale[1] = e.vScale;
        map.offset[0] = e.uOffset;
        map.offset[1] = e.vOffset;
        map.rotation = e.rotation;
        oxa_test::WriteFile(source + e.image, std::string("image ") + e.image);
    }
    lib3ds_file_insert_material(file, material);
    lib3ds_file_insert_mesh(file, Quad("Many"));
    const std::string start = source + "maps.3ds", trip = target + "maps.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);
    ASSERT_TRUE(Trip(start, trip));

    Lib3dsOwner read(trip);
    ASSERT_NE(read.file, nullptr);
    ASSERT_NE(read.file->meshes, nullptr);
    Lib3dsMaterial* written = lib3ds_file_material_by_name(read.file, read.file->meshes->faceL[0].material);
    ASSERT_NE(written, nullptr);
    for (const Expected& e : maps) {
        const Lib3dsTextureMap& map = written->*e.slot;
        const std::string name = map.name;
        ASSERT_FALSE(name.empty()) << e.what << " map lost";
        EXPECT_EQ(name, e.image) << e.what;
        // The image is beside the written file under the map's name.
        EXPECT_EQ(oxa_test::ReadFile(target + name), std::string("image ") + e.image)
            << e.what << ": " << name;
        EXPECT_NEAR(map.percent, e.percent, 0.006) << e.what;
        // The reflection map carries its strength and image only.
        if (e.slot == &Lib3dsMaterial::reflection_map) continue;
        EXPECT_NEAR(map.scale[0], e.uScale, 1e-4) << e.what;
        EXPECT_NEAR(map.scale[1], e.vScale, 1e-4) << e.what;
        EXPECT_NEAR(map.offset[0], e.uOffset, 1e-4) << e.what;
        EXPECT_NEAR(map.offset[1], e.vOffset, 1e-4) << e.what;
        EXPECT_NEAR(map.rotation, e.rotation, 1e-3) << e.what;
    }
#endif
}

TEST(values3ds_interop, AMapImageWithALongNameGetsAShortOneBesideTheFile) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string source = Folder() + "long_src/", target = Folder() + "long_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    oxa_test::WriteFile(source + "bumpy_surface.png", "bumpy");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Tri");
    scene->GetRootNode()->AddChild(node);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[1] = VgeTVector(1, 0, 0, 1);
    mesh->GetControlPoints()[2] = VgeTVector(0, 1, 0, 1);
    mesh->BeginPolygon(-1, -1, -1);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i, -1);
    mesh->EndPolygon();
    VOxaMaterial* material = manager.CreateMaterial("Rough");
    VOxaTexture* bump = manager.CreateTexture("bumpy");
    bump->SetFileName("bumpy_surface.png");
    bump->SetSourceFolder(source.c_str());
    bump->SetDefaultAlpha(0.4);
    material->SetMap(VOxaMaterial::eMAP_BUMP, bump);
    mesh->AddMaterial(material, 0);
    mesh->InitMaterialIndices(4);
    VOxaWriter3DS writer(&manager);
    VStreamOptions* options = writer.GetWriteOptions();
    const std::string path = target + "long.3ds";
    ASSERT_TRUE(writer.FileCreate(path.c_str()) && writer.Write(scene, options) && writer.FileClose());
    options->Destroy();

    Lib3dsOwner read(path);
    ASSERT_NE(read.file, nullptr);
    Lib3dsMaterial* written = lib3ds_file_material_by_name(read.file, "Rough");
    ASSERT_NE(written, nullptr);
    const std::string name = written->bump_map.name;
    ASSERT_FALSE(name.empty()) << "bump map lost";
    EXPECT_LE(name.size(), 12u) << name;
    EXPECT_NEAR(written->bump_map.percent, 0.4, 0.006);
    EXPECT_EQ(oxa_test::ReadFile(target + name), "bumpy") << name;
#endif
}

TEST(values3ds_interop, MapNamesOtherProgramsWriteLongAreRead) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string source = Folder() + "wide_src/", target = Folder() + "wide_out/";
    std::filesystem::create_directories(source);
    std::filesystem::create_directories(target);
    // lib3ds keeps map names of up to 63 bytes and writes them whole.
    const std::string image = "a_rather_long_texture_image_name_40b.png";
    ASSERT_EQ(image.size(), 40u);
    oxa_test::WriteFile(source + image, "wide");
    Lib3dsFile* file = lib3ds_file_new();
    Lib3dsMaterial* material = lib3ds_material_new();
    std::strcpy(material->name, "Wide");
    std::strcpy(material->texture1_map.name, image.c_str());
    material->texture1_map.percent = 1.0f;
    std::strcpy(material->bump_map.name, image.c_str());
    material->bump_map.percent = 0.5f;
    lib3ds_file_insert_material(file, material);
    lib3ds_file_insert_mesh(file, Quad("Wide"));
    const std::string start = source + "wide.3ds", trip = target + "wide.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReader3DS reader(&manager);
    VStreamOptions* options = reader.GetReadOptions();
    ASSERT_TRUE(reader.FileOpen(start.c_str()) && reader.Read(scene, options))
        << reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    options->Destroy();
    VOxaMaterial* read = nullptr;
    for (int k = 0; k < manager.GetMaterialCount() && !read; ++k)
        if (std::string(manager.GetMaterial(k)->GetNameWithoutPrefix()) == "Wide")
            read = manager.GetMaterial(k);
    ASSERT_NE(read, nullptr);
    ASSERT_NE(read->GetMap(VOxaMaterial::eMAP_BUMP), nullptr);
    EXPECT_STREQ(read->GetMap(VOxaMaterial::eMAP_BUMP)->GetFileName(), image.c_str());

    // Written again, the image goes beside the file under a short name of its own.
    ASSERT_TRUE(Trip(start, trip));
    Lib3dsOwner again(trip);
    ASSERT_NE(again.file, nullptr);
    ASSERT_NE(again.file->meshes, nullptr);
    Lib3dsMaterial* written = lib3ds_file_material_by_name(again.file, again.file->meshes->faceL[0].material);
    ASSERT_NE(written, nullptr);
    const std::string name = written->bump_map.name;
    ASSERT_FALSE(name.empty());
    EXPECT_LE(name.size(), 12u) << name;
    EXPECT_EQ(oxa_test::ReadFile(target + name), "wide") << name;
#endif
}

TEST(values3ds_interop, MaterialNamesOtherProgramsWriteLongAreRead) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // Other programs name materials past 16 bytes ("DefaultMaterial_0"); lib3ds keeps up to 63.
    const std::string names[] = {"DefaultMaterial_0", std::string(40, 'm') + "_long_material_name"};
    const std::string path = Folder() + "long_material.3ds";
    Lib3dsFile* file = lib3ds_file_new();
    for (const std::string& name : names) {
        Lib3dsMaterial* material = lib3ds_material_new();
        std::strcpy(material->name, name.c_str());
        material->diffuse[0] = 0.25f;
        lib3ds_file_insert_material(file, material);
        Lib3dsMesh* mesh = Quad(name.c_str());
        std::snprintf(mesh->name, sizeof mesh->name, "M%zu", name.size());
        lib3ds_file_insert_mesh(file, mesh);
    }
    ASSERT_TRUE(lib3ds_file_save(file, path.c_str()));
    lib3ds_file_free(file);

    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReader3DS reader(&manager);
    VStreamOptions* options = reader.GetReadOptions();
    ASSERT_TRUE(reader.FileOpen(path.c_str()) && reader.Read(scene, options))
        << reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    options->Destroy();
    for (const std::string& name : names) {
        const std::string mesh = "M" + std::to_string(name.size());
        VOxaNode* node = scene->GetRootNode()->FindChild(("Model::" + mesh).c_str(), true);
        ASSERT_NE(node, nullptr) << mesh;
        auto* geometry = static_cast<VOxaMesh*>(node->GetNodeAttribute());
        ASSERT_NE(geometry, nullptr) << mesh;
        ASSERT_EQ(geometry->GetMaterialCount(0), 1) << mesh;
        EXPECT_EQ(std::string(geometry->GetMaterial(0, 0)->GetNameWithoutPrefix()), name)
            << "the faces keep the material their group names";
    }
#endif
}

TEST(values3ds_interop, ColoursSpecularLevelsAndNamesKeepTheirValues) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // A third is 85 of 255 steps when rounded, 84 (0.3294) when cut.
    const std::string obj = Folder() + "third.obj", fromObj = Folder() + "third.3ds";
    oxa_test::WriteFile(Folder() + "third.mtl",
                        "newmtl third\nKa 0.3333 0.6667 0.3333\nKd 0.3333 0.3333 0.6667\n");
    oxa_test::WriteFile(obj, "mtllib third.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl third\nf 1 2 3\n");
    ASSERT_TRUE(Trip(obj, fromObj));
    {
        Lib3dsOwner read(fromObj);
        ASSERT_NE(read.file, nullptr);
        Lib3dsMaterial* m = lib3ds_file_material_by_name(read.file, "third");
        ASSERT_NE(m, nullptr);
        const float ambient[3] = {0.3333f, 0.6667f, 0.3333f}, diffuse[3] = {0.3333f, 0.3333f, 0.6667f};
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(m->ambient[i], ambient[i], 0.5 / 255) << "ambient " << i;
            EXPECT_NEAR(m->diffuse[i], diffuse[i], 0.5 / 255) << "diffuse " << i;
        }
    }

    // A specular level of 351% and a 15-character untextured name (made with the toolkit: lib3ds
    // keeps only the low byte of a percentage above 255 when it writes one).
    const std::string start = Folder() + "level0.3ds";
    ASSERT_TRUE(ftkscene::WriteSceneFile(start, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Color 4 - White");
        for (int i = 0; i < 3; ++i) {
            material->mDiffuse[i] = 1.0f;
            material->mSpecular[i] = 0.9f;
        }
        material->mShineStrength = 3.51f;
        material->mShininess = 0.25f;
        Ftk::WriteMaterial(db, material);
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Inward");
        material->mTransparencyFalloff = -0.0f;
        material->mShading = 1;
        material->mReflectionBlur = 0.3f;
        material->mUseReflectionBlur = material->mFlagA082 = 1;
        material->mAutoReflectionInUse = 1;
        material->mAutoReflectionFlags = 0;
        Ftk::WriteMaterial(db, material);
        Ftk::ReleaseMaterial(&material);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Tri");
        mesh->mVertices[1] = Ftk::Point3{1, 0, 0};
        mesh->mVertices[2] = Ftk::Point3{0, 1, 0};
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        mesh->mMaterialGroupCount = 1;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        mesh->mMaterialGroups[0].mName = "Color 4 - White";
        Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
        mesh->mMaterialGroups[0].mFaces[0] = 0;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    }));
    std::string from = start;
    for (int trip = 1; trip <= 2; ++trip) {
        const std::string to = Folder() + "level" + std::to_string(trip) + ".3ds";
        std::string messages;
        ASSERT_TRUE(Trip(from, to, &messages));
        from = to;
        EXPECT_EQ(messages.find("Color 4"), std::string::npos) << "no name was cut: " << messages;
        Lib3dsOwner read(to);
        ASSERT_NE(read.file, nullptr);
        ASSERT_NE(read.file->meshes, nullptr);
        EXPECT_STREQ(read.file->meshes->faceL[0].material, "Color 4 - White") << "trip " << trip;
        Lib3dsMaterial* m = lib3ds_file_material_by_name(read.file, "Color 4 - White");
        ASSERT_NE(m, nullptr) << "trip " << trip;
        // What a reader makes of the highlight: colour times level.
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(m->specular[i] * m->shin_strength, 0.9 * 3.51, 0.02) << "trip " << trip;
        EXPECT_GT(m->shin_strength, 1.0f) << "trip " << trip;
    }
#endif
}

TEST(values3ds_interop, NoAmbientLightIsAddedAndAFilesAmbientStays) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // OBJ holds no ambient light.
    const std::string obj = Folder() + "amb.obj", fromObj = Folder() + "amb_obj.3ds";
    oxa_test::WriteFile(obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ASSERT_TRUE(Trip(obj, fromObj));
    {
        Lib3dsOwner read(fromObj);
        ASSERT_NE(read.file, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(read.file->ambient[i], 0.0f) << "OBJ -> 3DS, channel " << i;
    }
    // A 3DS file without an ambient colour, and one with (0.25, 0.5, 0.4).
    auto build = [](const std::string& path, bool ambient) {
        EXPECT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
            if (ambient) {
                ftkscene::PutMeshSettings(db, [](Ftk::MeshSettings* settings) {
                    settings->mAmbient[0] = 0.25f;
                    settings->mAmbient[1] = 0.5f;
                    settings->mAmbient[2] = 0.4f;
                });
            }
            Ftk::Mesh* mesh = nullptr;
            Ftk::InitMesh(&mesh, 3, 1, 0);
            std::strcpy(mesh->mName, "Tri");
            mesh->mVertices[1] = Ftk::Point3{1, 0, 0};
            mesh->mVertices[2] = Ftk::Point3{0, 1, 0};
            mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
            Ftk::WriteMesh(db, mesh);
            Ftk::ReleaseMesh(&mesh);
        }));
        Ftk::ClearErrors();
    };
    const std::string none = Folder() + "amb_none.3ds", with = Folder() + "amb_with.3ds";
    build(none, false);
    build(with, true);
    const float expected[2][3] = {{0, 0, 0}, {0.25f, 0.5f, 0.4f}};
    const std::string sources[2] = {none, with};
    for (int k = 0; k < 2; ++k) {
        const std::string to = Folder() + "amb_trip" + std::to_string(k) + ".3ds";
        ASSERT_TRUE(Trip(sources[k], to));
        Lib3dsOwner read(to);
        ASSERT_NE(read.file, nullptr);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(read.file->ambient[i], expected[k][i], 1e-6) << sources[k] << " channel " << i;
    }
#endif
}

TEST(values3ds_interop, AOneFrameSegmentStaysOneFrame) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string start = Folder() + "seg0.3ds", trip = Folder() + "seg1.3ds";
    ASSERT_TRUE(ftkscene::WriteSceneFile(start, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Tri");
        mesh->mVertices[1] = Ftk::Point3{1, 0, 0};
        mesh->mVertices[2] = Ftk::Point3{0, 1, 0};
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
        Ftk::KeyframerSettings* range = nullptr;
        Ftk::InitKeyframerSettings(&range);
        range->mAnimationLength = 1;
        range->mSegmentInUse = true;
        range->mSegmentFirst = 0;
        range->mSegmentLast = 0;
        range->mSceneName = "MAXSCENE";
        Ftk::PutKeyframerSettings(db, range);
        Ftk::ReleaseKeyframerSettings(&range);
    }));
    ASSERT_TRUE(Trip(start, trip));
    Lib3dsOwner before(start), after(trip);
    ASSERT_NE(before.file, nullptr);
    ASSERT_NE(after.file, nullptr);
    EXPECT_EQ(before.file->segment_from, 0);
    EXPECT_EQ(before.file->segment_to, 0);
    EXPECT_EQ(after.file->segment_from, 0);
    EXPECT_EQ(after.file->segment_to, 0);
    EXPECT_EQ(after.file->frames, before.file->frames);
    EXPECT_STREQ(after.file->name, "MAXSCENE");
#endif
}

TEST(values3ds_interop, StaticCameraAndLightSectionsKeepTheirOwnValues) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // The static sections place the camera (and its lens), the spot and the omni light apart
    // from where the keyframer (one key each) has them; a reader that skips the keyframer sees
    // the former.
    auto one = [](Ftk::Track& track, std::initializer_list<float> values) {
        track.mKeyCount = 1;
        track.mKeys.assign(1, Ftk::KeyHeader());
        track.mValues.assign(values.begin(), values.end());
    };
    for (int fovKeys : {1, 2}) {
        SCOPED_TRACE(std::to_string(fovKeys) + " field-of-view keys");
        const std::string start = Folder() + "static0_" + std::to_string(fovKeys) + ".3ds";
        ASSERT_TRUE(ftkscene::WriteSceneFile(start, [&](Ftk::Database* db) {
            ftkscene::PutMeshSettings(db);
            Ftk::Camera* camera = nullptr;
            Ftk::InitCamera(&camera);
            std::strcpy(camera->mName, "Cam");
            camera->mPosition = Ftk::Point3{0, -300, 50};
            camera->mTarget = Ftk::Point3{5, 6, 7};
            camera->mRoll = 61;
            camera->mFieldOfView = 2400.0f / 35.0f;  // a 35 mm lens
            Ftk::WriteCamera(db, camera);
            Ftk::ReleaseCamera(&camera);
            Ftk::CameraMotion* cm = nullptr;
            Ftk::InitCameraMotion(&cm, 1, 1, 1, 1);
            std::strcpy(cm->mName, "Cam");
            one(cm->mPosition, {0, -90, 20});
            // The lens: 45 degrees at frame 0, with a second key 50 at frame 10.
            one(cm->mFieldOfView, {45});
            if (fovKeys == 2) {
                cm->mFieldOfView.mKeyCount = 2;
                cm->mFieldOfView.mKeys.resize(2);
                cm->mFieldOfView.mKeys[1].mFrame = 10;
                cm->mFieldOfView.mValues.push_back(50);
            }
            one(cm->mRoll, {0});
            one(cm->mTargetPosition, {0, 0, 0});
            Ftk::PutCameraMotion(db, cm);
            Ftk::ReleaseCameraMotion(&cm);

            Ftk::Light* spot = nullptr;
            Ftk::InitSpotlight(&spot);
            std::strcpy(spot->mName, "Spot");
            spot->mPosition = Ftk::Point3{40, 50, 60};
            spot->mSpot->mTarget = Ftk::Point3{1, 2, 3};
            spot->mSpot->mHotspot = 30;
            spot->mSpot->mFalloff = 45;
            Ftk::PutSpotlight(db, spot);
            Ftk::ReleaseLight(&spot);
            Ftk::SpotlightMotion* sm = nullptr;
            Ftk::InitSpotlightMotion(&sm, 1, 1, 1, 1, 1, 1);
            std::strcpy(sm->mName, "Spot");
            one(sm->mPosition, {10, 20, 30});
            one(sm->mHotspot, {30});
            one(sm->mFalloff, {45});
            one(sm->mTargetPosition, {0, 0, 0});
            Ftk::PutSpotlightMotion(db, sm);
            Ftk::ReleaseSpotlightMotion(&sm);

            Ftk::Light* omni = nullptr;
            Ftk::InitLight(&omni);
            std::strcpy(omni->mName, "Omni");
            omni->mPosition = Ftk::Point3{-7, 8, 9};
            Ftk::PutOmniLight(db, omni);
            Ftk::ReleaseLight(&omni);
            Ftk::OmniLightMotion* om = nullptr;
            Ftk::InitOmniLightMotion(&om, 1, 1);
            std::strcpy(om->mName, "Omni");
            one(om->mPosition, {1, 1, 1});
            one(om->mColor, {1, 1, 1});
            Ftk::PutOmniLightMotion(db, om);
            Ftk::ReleaseOmniLightMotion(&om);
        }));
        const std::string trip1 = Folder() + "static1_" + std::to_string(fovKeys) + ".3ds",
                          trip2 = Folder() + "static2_" + std::to_string(fovKeys) + ".3ds";
        ASSERT_TRUE(Trip(start, trip1));
        ASSERT_TRUE(Trip(trip1, trip2));
        Lib3dsOwner source(start), written(trip2);
        ASSERT_NE(source.file, nullptr);
        ASSERT_NE(written.file, nullptr);
        // The files' scale: ours are written in their master scale's units.
        const float scale = written.file->master_scale / source.file->master_scale;
        auto near3 = [&](const Lib3dsVector a, const Lib3dsVector b, const char* what) {
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(b[i] * scale, a[i], 1e-3) << what << " " << i;
        };
        Lib3dsCamera* c0 = lib3ds_file_camera_by_name(source.file, "Cam");
        Lib3dsCamera* c2 = lib3ds_file_camera_by_name(written.file, "Cam");
        ASSERT_NE(c0, nullptr);
        ASSERT_NE(c2, nullptr);
        near3(c0->position, c2->position, "camera position");
        near3(c0->target, c2->target, "camera target");
        EXPECT_NEAR(c2->roll, c0->roll, 1e-3);
        EXPECT_NEAR(c2->fov, c0->fov, 1e-3);
        Lib3dsLight* s0 = lib3ds_file_light_by_name(source.file, "Spot");
        Lib3dsLight* s2 = lib3ds_file_light_by_name(written.file, "Spot");
        ASSERT_NE(s0, nullptr);
        ASSERT_NE(s2, nullptr);
        near3(s0->position, s2->position, "spot position");
        near3(s0->spot, s2->spot, "spot target");
        Lib3dsLight* o0 = lib3ds_file_light_by_name(source.file, "Omni");
        Lib3dsLight* o2 = lib3ds_file_light_by_name(written.file, "Omni");
        ASSERT_NE(o0, nullptr);
        ASSERT_NE(o2, nullptr);
        near3(o0->position, o2->position, "omni position");
        // The keyframer still places the camera where it did.
        Lib3dsNode* node = lib3ds_file_node_by_name(written.file, "Cam", LIB3DS_CAMERA_NODE);
        ASSERT_NE(node, nullptr);
        lib3ds_file_eval(written.file, 0);
        const float keyed[3] = {0, -90, 20};
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(node->data.camera.pos[i] * scale, keyed[i], 1e-3) << "keyframer camera " << i;
        EXPECT_NEAR(node->data.camera.roll, 0.0f, 1e-3);
        EXPECT_NEAR(node->data.camera.fov, 45.0f, 1e-3);
    }
#endif
}

TEST(values3ds_interop, TheFirstTextureMapIsTheObjDiffuseMap) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    namespace fs = std::filesystem;
    const std::string source = Folder() + "two_src/", target = Folder() + "two_out/";
    fs::create_directories(source);
    fs::create_directories(target);
    // Texture 1 is the base image at full strength; texture 2 is laid over it at half.
    Lib3dsFile* file = lib3ds_file_new();
    ASSERT_NE(file, nullptr);
    Lib3dsMaterial* material = lib3ds_material_new();
    std::strcpy(material->name, "Two");
    std::strcpy(material->texture1_map.name, "t1.png");
    material->texture1_map.percent = 1.0f;
    material->texture1_map.flags = 0;  // tiled: no -clamp
    std::strcpy(material->texture2_map.name, "t2.png");
    material->texture2_map.percent = 0.5f;
    lib3ds_file_insert_material(file, material);
    lib3ds_file_insert_mesh(file, Quad("Two"));
    oxa_test::WriteFile(source + "t1.png", "image t1");
    oxa_test::WriteFile(source + "t2.png", "image t2");
    const std::string start = source + "two.3ds";
    ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
    lib3ds_file_free(file);

    ASSERT_TRUE(TripToObj(start, target + "two.obj"));
    const std::string mtl = oxa_test::ReadFile(target + "two.mtl");
    const std::vector<std::string> diffuse = LinesOf(mtl, "map_Kd");
    ASSERT_EQ(diffuse.size(), 1u) << mtl;
    EXPECT_EQ(diffuse[0], "map_Kd t1.png") << mtl;
    EXPECT_EQ(mtl.find("t2.png"), std::string::npos) << "texture 2 has no place in OBJ:\n" << mtl;
    EXPECT_EQ(oxa_test::ReadFile(target + "t1.png"), "image t1");
    EXPECT_FALSE(fs::exists(target + "t2.png"));

    // A 3DS trip still keeps both maps in their slots.
    const std::string trip = target + "two.3ds";
    ASSERT_TRUE(Trip(start, trip));
    Lib3dsOwner read(trip);
    ASSERT_NE(read.file, nullptr);
    ASSERT_NE(read.file->meshes, nullptr);
    Lib3dsMaterial* written = lib3ds_file_material_by_name(read.file, read.file->meshes->faceL[0].material);
    ASSERT_NE(written, nullptr);
    EXPECT_STREQ(written->texture1_map.name, "t1.png");
    EXPECT_STREQ(written->texture2_map.name, "t2.png");
#endif
}

TEST(values3ds_interop, MeshesWithoutUVsGetNoMappingCoordinates) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // From OBJ: a box corner without "vt" lines; then once more from our own 3DS file.
    const std::string obj = Folder() + "nouv.obj", fromObj = Folder() + "nouv_obj.3ds";
    oxa_test::WriteFile(obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\n");
    ASSERT_TRUE(Trip(obj, fromObj));
    {
        Lib3dsOwner read(fromObj);
        ASSERT_NE(read.file, nullptr);
        ASSERT_NE(read.file->meshes, nullptr);
        EXPECT_EQ(read.file->meshes->faces, 3u);
        EXPECT_EQ(read.file->meshes->texels, 0u) << "texels made up for a mesh from OBJ without UVs";
    }
    ASSERT_TRUE(TripToObj(fromObj, Folder() + "nouv_back.obj"));
    const std::string back = oxa_test::ReadFile(Folder() + "nouv_back.obj");
    EXPECT_TRUE(LinesOf(back, "vt").empty()) << back;

    // From 3DS (made by lib3ds): a mesh without texels, untextured and textured.
    for (const char* image : {"", "wood.png"}) {
        Lib3dsFile* file = lib3ds_file_new();
        ASSERT_NE(file, nullptr);
        Lib3dsMaterial* material = lib3ds_material_new();
        std::strcpy(material->name, "Mat");
        std::strcpy(material->texture1_map.name, image);
        lib3ds_file_insert_material(file, material);
        Lib3dsMesh* mesh = Quad("Mat");
        lib3ds_mesh_free_texel_list(mesh);
        lib3ds_file_insert_mesh(file, mesh);
        const std::string start = Folder() + "nouv0.3ds", trip = Folder() + "nouv1.3ds";
        ASSERT_TRUE(lib3ds_file_save(file, start.c_str()));
        lib3ds_file_free(file);
        ASSERT_TRUE(Trip(start, trip));
        Lib3dsOwner read(trip);
        ASSERT_NE(read.file, nullptr);
        ASSERT_NE(read.file->meshes, nullptr);
        EXPECT_EQ(read.file->meshes->faces, 2u) << image;
        EXPECT_EQ(read.file->meshes->texels, 0u) << "map image \"" << image << "\"";
    }
#endif
}

namespace {

// The data of the chunk found by following `path` (tags, from the top chunk) through a 3DS
// file's bytes, each step the first child of that tag; "" when there is none. Only the chunks
// that hold children before any data of their own are walked, and the named object (0x4000),
// whose children follow its name.
bool FindChunk(const std::string& bytes, const std::vector<uint16_t>& path, std::string& data) {
    size_t begin = 0, end = bytes.size();
    for (size_t step = 0; step < path.size(); ++step) {
        bool found = false;
        for (size_t at = begin; at + 6 <= end;) {
            const uint16_t tag = (uint16_t)((uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8);
            uint32_t length = 0;
            for (int i = 0; i < 4; ++i)
                length |= (uint32_t)(uint8_t)bytes[at + 2 + (size_t)i] << (8 * i);
            if (length < 6 || at + length > end) return false;
            if (tag == path[step]) {
                begin = at + 6;
                end = at + length;
                if (tag == 0x4000) begin = bytes.find('\0', begin) + 1;  // the object's name
                found = true;
                break;
            }
            at += length;
        }
        if (!found) return false;
    }
    data = bytes.substr(begin, end - begin);
    return true;
}

}  // namespace

// Values a 3DS material and object hold beyond the scene's fields come back through 3DS -> 3DS
// (additive transparency, a falloff inward and in use, a bump amount apart from the bump map's
// percentage, the object flags and the mesh colour; an inward falloff of 0, flat and metal
// shading, reflection blur, decal, an automatic reflection's own flag word, a material no face
// uses) and are named once when the scene goes to OBJ or DXF.
TEST(values3ds_interop, MaterialAndObjectValuesOfTheFileAreKept) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    const std::string start = Folder() + "kept0.3ds";
    ASSERT_TRUE(ftkscene::WriteSceneFile(start, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db);
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Glass");
        material->mDiffuse[0] = 0.5f;
        material->mTransparency = 0.4f;
        material->mFlagA083 = 1;
        material->mTransparencyFalloff = -0.25f;
        material->mUseFalloff = 1;
        Ftk::MaterialMap& bump = material->mMaps[Ftk::kBumpMap];
        std::strcpy(bump.mFileName, "bumps.tga");
        bump.mStrength = 0.0f;
        bump.mBumpAmount = 2;
        Ftk::WriteMaterial(db, material);
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Inward");
        material->mTransparencyFalloff = -0.0f;
        material->mShading = 1;
        material->mReflectionBlur = 0.3f;
        material->mUseReflectionBlur = material->mFlagA082 = 1;
        material->mAutoReflectionInUse = 1;
        material->mAutoReflectionFlags = 0;
        Ftk::WriteMaterial(db, material);
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, "Spare");
        material->mShading = 4;
        Ftk::WriteMaterial(db, material);
        Ftk::ReleaseMaterial(&material);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 2, 0);
        std::strcpy(mesh->mName, "Tri");
        mesh->mVertices[1] = Ftk::Point3{1, 0, 0};
        mesh->mVertices[2] = Ftk::Point3{0, 1, 0};
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        mesh->mFaces[1] = Ftk::Face{0, 2, 1, 7};
        mesh->mMaterialGroupCount = 2;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        for (uint32_t g = 0; g < 2; ++g) {
            mesh->mMaterialGroups[g].mName = g == 0 ? "Inward" : "Glass";
            Ftk::AllocMaterialGroupFaces(mesh, g, 1);
            mesh->mMaterialGroups[g].mFaces[0] = g;
        }
        // Matte, no cast shadow, frozen, no receive shadow, 0x4011; no fast display (0x4014).
        mesh->mMatte = mesh->mNoCastShadow = mesh->mFrozen = mesh->mNoReceiveShadow = mesh->mFlag4011 = 1;
        mesh->mMeshColor = 5;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    }));
    std::string from = start;
    for (int trip = 1; trip <= 2; ++trip) {
        const std::string to = Folder() + "kept" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to));
        from = to;
        Lib3dsOwner read(to);
        ASSERT_NE(read.file, nullptr);
        Lib3dsMaterial* m = lib3ds_file_material_by_name(read.file, "Glass");
        ASSERT_NE(m, nullptr) << "trip " << trip;
        EXPECT_TRUE(m->additive) << "trip " << trip;
        EXPECT_TRUE(m->use_falloff) << "trip " << trip;
        EXPECT_NEAR(m->falloff, 0.25f, 1e-6) << "trip " << trip;
        EXPECT_STREQ(m->bump_map.name, "bumps.tga") << "trip " << trip;
        EXPECT_EQ(m->bump_map.percent, 0.0f) << "trip " << trip;
        m = lib3ds_file_material_by_name(read.file, "Inward");
        ASSERT_NE(m, nullptr) << "trip " << trip;
        EXPECT_EQ(m->shading, 1) << "trip " << trip;
        EXPECT_TRUE(m->use_blur && m->map_decal) << "trip " << trip;
        EXPECT_NEAR(m->blur, 0.3f, 1e-6) << "trip " << trip;
        EXPECT_EQ(m->autorefl_map.flags, 0u) << "trip " << trip;
        m = lib3ds_file_material_by_name(read.file, "Spare");
        ASSERT_NE(m, nullptr) << "unused, trip " << trip;
        EXPECT_EQ(m->shading, 4) << "trip " << trip;
        ASSERT_NE(read.file->meshes, nullptr);
        EXPECT_EQ(read.file->meshes->color, 5) << "trip " << trip;
        // What lib3ds does not read, from the chunks themselves.
        const std::string bytes = oxa_test::ReadFile(to);
        std::string data;
        const std::string inward("\x8A\xA0\x06\0\0\0", 6);
        EXPECT_NE(bytes.find(inward, bytes.find(inward) + 1), std::string::npos)
            << "falloffs inward, trip " << trip;
        const size_t amount = bytes.find(std::string("\x52\xA2\x08\0\0\0\x02\0", 8));
        EXPECT_NE(amount, std::string::npos) << "bump amount, trip " << trip;
        for (uint16_t flag : {0x4011, 0x4012, 0x4013, 0x4016, 0x4017})
            EXPECT_TRUE(FindChunk(bytes, {0x4D4D, 0x3D3D, 0x4000, flag}, data))
                << std::hex << flag << " trip " << trip;
        EXPECT_FALSE(FindChunk(bytes, {0x4D4D, 0x3D3D, 0x4000, 0x4014}, data)) << "trip " << trip;
    }

    // To OBJ and DXF: the values are left out and named once.
    for (const char* extension : {".obj", ".dxf"}) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> readOptions(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(start.c_str()) && reader.Read(scene, readOptions.get()));
        reader.FileClose();
        std::unique_ptr<VOxaWriter> writer;
        if (std::string(extension) == ".obj")
            writer.reset(new VOxaWriterObj(&manager));
        else
            writer.reset(new VOxaWriterDxf(&manager));
        std::unique_ptr<VStreamOptions> options(writer->GetWriteOptions());
        const std::string out = Folder() + "kept" + extension;
        ASSERT_TRUE(writer->FileCreate(out.c_str()) && writer->Write(scene, options.get()) &&
                    writer->FileClose());
        const std::string messages = writer->GetMessageText().Buffer();
        const size_t at = messages.find("3DS values that the ");
        ASSERT_NE(at, std::string::npos) << extension << ": " << messages;
        EXPECT_EQ(messages.find("3DS values that the ", at + 1), std::string::npos) << messages;
        for (const char* what : {"additive transparency (\"Glass\")", "transparency falloff (\"Inward\")",
                                 "shading type (\"Inward\")", "bump amount (\"Glass\")",
                                 "object flags (\"Tri\")", "mesh colour (\"Tri\")"})
            EXPECT_NE(messages.find(what), std::string::npos)
                << extension << ": " << what << " in " << messages;
    }
#endif
}

TEST(values3ds_interop, AMapWithoutFlagsAndAMaterialWithoutShininessStaySo) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // A file as other programs write it, chunk by chunk: "Plain" has no shininess and its map no
    // flag word; "Stated" states both (a map that does not tile, shininess 40%); "Fraction" holds
    // its shininess as a fraction alone, which lib3ds does not read.
    using ftktest::Bytes;
    using ftktest::ChunkBytes;
    using ftktest::Floats;
    using ftktest::Shorts;
    using ftktest::Text;
    auto colour = [](uint8_t r, uint8_t g, uint8_t b) { return ChunkBytes(0x0011, Bytes{r, g, b}); };
    auto material = [&](const char* name, const Bytes& shininess, bool flags, const char* image) {
        Bytes map = ftktest::Cat({ChunkBytes(0x0030, Shorts({100})), ChunkBytes(0xA300, Text(image))});
        if (flags) map = ftktest::Cat({map, ChunkBytes(0xA351, Shorts({0x0010}))});
        Bytes block = ftktest::Cat(
            {ChunkBytes(0xA000, Text(name)), ChunkBytes(0xA010, {}, {colour(40, 0, 0)}),
             ChunkBytes(0xA020, {}, {colour(200, 0, 0)}), ChunkBytes(0xA030, {}, {colour(255, 255, 255)})});
        if (!shininess.empty()) block = ftktest::Cat({block, ChunkBytes(0xA040, {}, {shininess})});
        return ChunkBytes(0xAFFF, ftktest::Cat({block, ChunkBytes(0xA200, map)}));
    };
    auto object = [&](const char* name, const char* materialName, float x) {
        Bytes points = Shorts({3});
        for (const float v : {x, 0.0f, 0.0f, x + 1.0f, 0.0f, 0.0f, x, 1.0f, 0.0f})
            points = ftktest::Cat({points, Floats({v})});
        Bytes uvs = ftktest::Cat({Shorts({3}), Floats({0, 0, 1, 0, 0, 1})});
        Bytes faces = ChunkBytes(0x4120, Shorts({1, 0, 1, 2, 7}),
                                 {ChunkBytes(0x4130, ftktest::Cat({Text(materialName), Shorts({1, 0})}))});
        return ChunkBytes(
            0x4000, Text(name),
            {ChunkBytes(0x4100, {}, {ChunkBytes(0x4110, points), ChunkBytes(0x4140, uvs), faces})});
    };
    const Bytes file =
        ChunkBytes(0x4D4D, {},
                   {ChunkBytes(0x0002, {3, 0, 0, 0}),
                    ChunkBytes(0x3D3D, {},
                               {ChunkBytes(0x3D3E, {3, 0, 0, 0}), material("Plain", {}, false, "wall.png"),
                                material("Stated", ChunkBytes(0x0030, Shorts({40})), true, "tiles.png"),
                                material("Fraction", ChunkBytes(0x0031, Floats({0.0f})), true, "tiles.png"),
                                object("Tri", "Plain", 0.0f), object("Tri2", "Stated", 3.0f),
                                object("Tri3", "Fraction", 6.0f)})});
    const std::string start = Folder() + "unstated0.3ds";
    ftktest::WriteFile(start, file);
    Lib3dsOwner source(start);
    ASSERT_NE(source.file, nullptr);
    Lib3dsMaterial* plain = lib3ds_file_material_by_name(source.file, "Plain");
    Lib3dsMaterial* stated = lib3ds_file_material_by_name(source.file, "Stated");
    Lib3dsMaterial* fraction = lib3ds_file_material_by_name(source.file, "Fraction");
    ASSERT_TRUE(plain && stated && fraction);
    std::string from = start;
    for (int trip = 1; trip <= 2; ++trip) {
        const std::string to = Folder() + "unstated" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to));
        from = to;
        Lib3dsOwner read(to);
        ASSERT_NE(read.file, nullptr);
        for (Lib3dsMaterial* wanted : {plain, stated, fraction}) {
            Lib3dsMaterial* m = lib3ds_file_material_by_name(read.file, wanted->name);
            ASSERT_NE(m, nullptr) << wanted->name << " trip " << trip;
            // What lib3ds shows of the source, the stated values and those it gives absent chunks.
            EXPECT_EQ(m->shininess, wanted->shininess) << wanted->name << " trip " << trip;
            EXPECT_EQ(m->texture1_map.flags, wanted->texture1_map.flags) << wanted->name << " trip " << trip;
        }
    }
    // A scene that does not come from such a file states both, as before: a material of
    // shininess 0 and a map that tiles, read from OBJ.
    const std::string obj = Folder() + "unstated.obj";
    {
        std::FILE* out = std::fopen(obj.c_str(), "w");
        ASSERT_NE(out, nullptr);
        std::fputs(
            "mtllib unstated.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl Red\n"
            "f 1/1 2/2 3/3\n",
            out);
        std::fclose(out);
        out = std::fopen((Folder() + "unstated.mtl").c_str(), "w");
        ASSERT_NE(out, nullptr);
        std::fputs("newmtl Red\nKd 1 0 0\nNs 0\nmap_Kd wall.png\n", out);
        std::fclose(out);
    }
    const std::string fromObj = Folder() + "unstated_obj.3ds";
    ASSERT_TRUE(Trip(obj, fromObj));
    const std::string bytes = oxa_test::ReadFile(fromObj);
    std::string data;
    EXPECT_TRUE(FindChunk(bytes, {0x4D4D, 0x3D3D, 0xAFFF, 0xA040}, data));
    EXPECT_TRUE(FindChunk(bytes, {0x4D4D, 0x3D3D, 0xAFFF, 0xA200, 0xA351}, data));
#endif
}

TEST(values3ds_interop, UnstatedColoursAndAMissingKeyframerStaySo) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "not installed: lib3ds-dev (the lib3ds library and its headers)";
#else
    // "Bare" has neither an ambient nor a specular colour, "Lit" both (a gamma one of another
    // value beside its ambient), "Floats" float ones (a linear one of another value too for its
    // ambient); the file has an omni light and no keyframer data: lib3ds gives the absent colours
    // and range its own values. "Tri2" holds a NaN point no face uses and point flags.
    using ftktest::Bytes;
    using ftktest::ChunkBytes;
    using ftktest::Floats;
    using ftktest::Shorts;
    using ftktest::Text;
    auto colour = [](uint8_t r, uint8_t g, uint8_t b) { return ChunkBytes(0x0011, Bytes{r, g, b}); };
    auto material = [&](const char* name, bool stated) {
        Bytes block =
            ftktest::Cat({ChunkBytes(0xA000, Text(name)), ChunkBytes(0xA020, {}, {colour(200, 0, 0)})});
        if (std::string(name) == "Floats")
            block = ftktest::Cat({ChunkBytes(0xA000, Text(name)),
                                  ChunkBytes(0xA010, {},
                                             {ChunkBytes(0x0010, Floats({.3f, .2f, .1f})),
                                              ChunkBytes(0x0013, Floats({.2f, .1f, .1f}))}),
                                  ChunkBytes(0xA020, {}, {ChunkBytes(0x0010, Floats({.8f, .1f, .1f}))})});
        if (stated)
            block = ftktest::Cat({block,
                                  ChunkBytes(0xA010, {}, {colour(40, 0, 0), ChunkBytes(0x0012, {50, 0, 0})}),
                                  ChunkBytes(0xA030, {}, {colour(0, 90, 255)})});
        return ChunkBytes(0xAFFF, block);
    };
    auto object = [&](const char* name, const char* materialName, float x) {
        Bytes points = Shorts({uint16_t(x == 3.0f ? 4 : 3)});
        for (const float v : {x, 0.0f, 0.0f, x + 1.0f, 0.0f, 0.0f, x, 1.0f, 0.0f, NAN, 1.0f, 2.0f})
            points = ftktest::Cat({points, Floats({v})});
        points.resize(x == 3.0f ? points.size() : points.size() - 12);
        Bytes faces = ChunkBytes(0x4120, Shorts({1, 0, 1, 2, 7}),
                                 {ChunkBytes(0x4130, ftktest::Cat({Text(materialName), Shorts({1, 0})}))});
        const Bytes flags = x == 3.0f ? ChunkBytes(0x4111, Shorts({4, 1, 0x100, 0, 0xFFFF})) : Bytes();
        return ChunkBytes(0x4000, Text(name),
                          {ChunkBytes(0x4100, {}, {ChunkBytes(0x4110, points), flags, faces})});
    };
    const Bytes lamp =
        ChunkBytes(0x4000, Text("Lamp"),
                   {ChunkBytes(0x4600, Floats({5, 5, 20}), {ChunkBytes(0x0010, Floats({1, 1, 1}))})});
    const Bytes file =
        ChunkBytes(0x4D4D, {},
                   {ChunkBytes(0x0002, {3, 0, 0, 0}),
                    ChunkBytes(0x3D3D, {},
                               {ChunkBytes(0x3D3E, {3, 0, 0, 0}), material("Bare", false),
                                material("Lit", true), material("Floats", false), object("Tri", "Bare", 0.0f),
                                object("Tri2", "Lit", 3.0f), object("Tri3", "Floats", 6.0f), lamp})});
    const std::string start = Folder() + "uncoloured0.3ds";
    ftktest::WriteFile(start, file);
    Lib3dsOwner source(start);
    ASSERT_NE(source.file, nullptr);
    Lib3dsMaterial* bare = lib3ds_file_material_by_name(source.file, "Bare");
    Lib3dsMaterial* lit = lib3ds_file_material_by_name(source.file, "Lit");
    Lib3dsMaterial* floats = lib3ds_file_material_by_name(source.file, "Floats");
    ASSERT_TRUE(bare && lit && floats);
    std::string from = start;
    for (int trip = 1; trip <= 2; ++trip) {
        const std::string to = Folder() + "uncoloured" + std::to_string(trip) + ".3ds";
        ASSERT_TRUE(Trip(from, to));
        from = to;
        Lib3dsOwner read(to);
        ASSERT_NE(read.file, nullptr);
        for (Lib3dsMaterial* wanted : {bare, lit, floats}) {
            Lib3dsMaterial* m = lib3ds_file_material_by_name(read.file, wanted->name);
            ASSERT_NE(m, nullptr) << wanted->name << " trip " << trip;
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(m->ambient[c], wanted->ambient[c], 1e-6) << wanted->name << " trip " << trip;
                EXPECT_NEAR(m->diffuse[c], wanted->diffuse[c], 1e-6) << wanted->name << " trip " << trip;
                EXPECT_NEAR(m->specular[c], wanted->specular[c], 1e-6) << wanted->name << " trip " << trip;
            }
        }
        EXPECT_EQ(read.file->frames, source.file->frames) << "trip " << trip;
        EXPECT_EQ(read.file->segment_from, source.file->segment_from) << "trip " << trip;
        EXPECT_EQ(read.file->segment_to, source.file->segment_to) << "trip " << trip;
        // The stored points bit for bit: a zero's sign, the NaN.
        for (Lib3dsMesh* m = source.file->meshes; m; m = m->next) {
            Lib3dsMesh* o = lib3ds_file_mesh_by_name(read.file, m->name);
            ASSERT_TRUE(o && o->points == m->points) << m->name << " trip " << trip;
            EXPECT_EQ(std::memcmp(o->pointL, m->pointL, m->points * sizeof *m->pointL), 0) << m->name;
            if (m->flags == 0) continue;
            ASSERT_EQ(o->flags, m->flags) << m->name << " trip " << trip;
            EXPECT_EQ(std::memcmp(o->flagL, m->flagL, m->flags * sizeof *m->flagL), 0) << m->name;
        }
        // A plain colour held apart from its gamma one keeps its own value beside it.
        const Bytes written = ftktest::ReadFile(to);
        for (const Bytes& plain :
             {ChunkBytes(0x0010, Floats({.3f, .2f, .1f})), ChunkBytes(0x0011, {40, 0, 0})})
            EXPECT_NE(std::search(written.begin(), written.end(), plain.begin(), plain.end()), written.end())
                << "trip " << trip;
    }
#endif
}
