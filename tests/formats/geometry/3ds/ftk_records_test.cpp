// Mesh, material, light, camera and background records: the put rules, the get rules, and a
// database built from them that saves and reloads equal to itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

using namespace ftktest;

std::vector<uint32_t> ChildTags(Ftk::Chunk* parent) {
    std::vector<uint32_t> tags;
    for (Ftk::Chunk* c = parent ? parent->mChildren : nullptr; c; c = c->mNext)
        tags.push_back(c->mTag);
    return tags;
}

class RecordTest : public FtkTest {
protected:
    void SetUp() override {
        FtkTest::SetUp();
        Ftk::NewDatabase(&mDb);
        Ftk::CreateDatabase(mDb, Ftk::kSceneFile);
    }
    void TearDown() override {
        Ftk::ReleaseDatabase(&mDb);
        FtkTest::TearDown();
    }
    // Saves and loads the database back; the caller releases it.
    Ftk::Database* Reload(const std::string& name) {
        std::string path = TempPath(name);
        EXPECT_TRUE(SaveTo(mDb, path));
        Ftk::Database* again = LoadBytes(ReadFile(path), name + ".in");
        EXPECT_FALSE(Ftk::IsErrorPending());
        return again;
    }
    Ftk::Database* mDb = nullptr;
};

class ftk_mesh : public RecordTest {};

TEST_F(ftk_mesh, InitAndArrays) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 4, 2, Ftk::kMeshMapping | Ftk::kMeshSmoothing);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->mVertices.size(), 4u);
    EXPECT_EQ(mesh->mFaces.size(), 2u);
    EXPECT_EQ(mesh->mFaces[1].b, 1);
    EXPECT_EQ(mesh->mFaces[1].c, 2);
    EXPECT_EQ(mesh->mMappingCount, 4);
    EXPECT_EQ(mesh->mMapping.size(), 4u);
    EXPECT_EQ(mesh->mSmoothing.size(), 2u);
    EXPECT_TRUE(mesh->mVertexFlags.empty());
    EXPECT_EQ(mesh->mMappingMatrix[0], 1.0f);
    EXPECT_EQ(mesh->mMappingMatrix[4], 1.0f);
    EXPECT_EQ(mesh->mMappingMatrix[8], 0.0f);

    mesh->mMaterialGroupCount = 1;
    Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
    Ftk::AllocMaterialGroupFaces(mesh, 1, 2);  // index equal to the count
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_DATA});
    Ftk::ClearErrors();
    Ftk::AllocMaterialGroupFaces(mesh, 0, 2);
    EXPECT_EQ(mesh->mMaterialGroups[0].mFaces.size(), 2u);
    Ftk::FreeMeshArrays(mesh, Ftk::kMeshVertices | Ftk::kMeshMaterialGroups);
    EXPECT_TRUE(mesh->mVertices.empty());
    EXPECT_TRUE(mesh->mMaterialGroups.empty());
    Ftk::ReleaseMesh(&mesh);
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(ftk_mesh, ChildOrderAndRoundTrip) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 3, 1, Ftk::kMeshMapping | Ftk::kMeshSmoothing | Ftk::kMeshVertexFlags);
    std::strcpy(mesh->mName, "Box");
    mesh->mVertices[2] = Ftk::Point3{1.0f, 2.0f, 3.0f};
    mesh->mSmoothing[0] = 0x5;
    mesh->mMappingInfoPresent = 1;
    mesh->mBoxMapInUse = 1;
    std::strcpy(mesh->mBoxMap[3], "side");
    mesh->mMaterialGroupCount = 2;
    Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
    mesh->mMaterialGroups[0].mName = "Red";
    Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
    mesh->mMaterialGroups[1].mName = "Empty";  // no faces: none written
    mesh->mProcedureData = {1, 2, 3};
    mesh->mProcedureDataSize = 3;
    mesh->mProcedural = 1;
    mesh->mHidden = 1;
    mesh->mFrozen = 1;
    Ftk::WriteMesh(mDb, mesh);
    ASSERT_FALSE(Ftk::IsErrorPending());

    Ftk::Chunk* object = Ftk::FindObjectByName(mDb, "Box");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(ChildTags(object), (std::vector<uint32_t>{Ftk::TRIANGLE_MESH, Ftk::OBJECT_HIDDEN,
                                                        Ftk::OBJECT_FROZEN, Ftk::OBJECT_PROCEDURAL}));
    Ftk::Chunk* triangles = Ftk::FindChild(object, Ftk::TRIANGLE_MESH);
    EXPECT_EQ(ChildTags(triangles),
              (std::vector<uint32_t>{Ftk::MESH_VERTICES, Ftk::MESH_MAPPING_COORDS, Ftk::MESH_MAPPING_INFO,
                                     Ftk::MESH_VERTEX_FLAGS, Ftk::MESH_LOCAL_AXES, Ftk::MESH_COLOR,
                                     Ftk::MESH_FACES, Ftk::MESH_PROCEDURE_NAME, Ftk::MESH_PROCEDURE_DATA}));
    Ftk::Chunk* faces = Ftk::FindChild(triangles, Ftk::MESH_FACES);
    EXPECT_EQ(ChildTags(faces), (std::vector<uint32_t>{Ftk::FACE_MATERIAL, Ftk::FACE_MATERIAL,
                                                       Ftk::FACE_SMOOTHING, Ftk::MESH_BOX_MAP}));
    EXPECT_TRUE(Ftk::GetData<Ftk::FaceMaterialData>(faces->mChildren->mNext)->mFaces.empty());

    Ftk::Database* again = Reload("mesh.3ds");
    Ftk::Mesh* back = nullptr;
    Ftk::GetMeshByName(again, "Box", &back);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->mVertexCount, 3);
    EXPECT_EQ(back->mVertices[2].z, 3.0f);
    EXPECT_EQ(back->mSmoothing, std::vector<uint32_t>{5});
    EXPECT_EQ(back->mMaterialGroupCount, 2);
    EXPECT_EQ(back->mMaterialGroups[0].mName, std::string("Red"));
    EXPECT_EQ(back->mMaterialGroups[1].mFaceCount, 0);
    EXPECT_STREQ(back->mBoxMap[3], "side");
    EXPECT_EQ(back->mProcedureData, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(back->mHidden, 1);
    EXPECT_EQ(back->mFrozen, 1);
    EXPECT_EQ(back->mMatte, 0);
    EXPECT_EQ(back->mProcedural, 1);
    EXPECT_EQ(back->mMappingInfoPresent, 1);
    EXPECT_EQ(back->mTileU, 1.0f);
    Ftk::ReleaseMesh(&back);
    Ftk::ReleaseDatabase(&again);
    Ftk::ReleaseMesh(&mesh);
}

TEST_F(ftk_mesh, NoFacesAndReplaceInPlace) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 2, 0, Ftk::kMeshSmoothing);
    std::strcpy(mesh->mName, "First");
    Ftk::WriteMesh(mDb, mesh);
    std::strcpy(mesh->mName, "Second");
    Ftk::WriteMesh(mDb, mesh);
    Ftk::Chunk* first = Ftk::FindObjectByName(mDb, "First");
    Ftk::Chunk* triangles = Ftk::FindChild(first, Ftk::TRIANGLE_MESH);
    // Vertices but no faces: no face chunk; axes and colour always.
    EXPECT_EQ(ChildTags(triangles),
              (std::vector<uint32_t>{Ftk::MESH_VERTICES, Ftk::MESH_LOCAL_AXES, Ftk::MESH_COLOR}));

    // Extended data of the object that is replaced goes along, and the object keeps its place.
    Ftk::Chunk* extended = Ftk::AddChild(Ftk::EXTENDED_DATA, first);
    Ftk::Chunk* entry = Ftk::AddChild(Ftk::EXTENDED_DATA_ENTRY, extended);
    Ftk::MakeData<Ftk::StringData>(Ftk::AddChild(Ftk::EXTENDED_DATA_NAME, entry))->mText = "app";
    std::strcpy(mesh->mName, "First");
    mesh->mVertices[0].x = 9.0f;
    Ftk::WriteMesh(mDb, mesh);
    Ftk::Chunk* editor = Ftk::GetEditorChunk(mDb, false);
    Ftk::Chunk* objects[2] = {nullptr, nullptr};
    int n = 0;
    for (Ftk::Chunk* c = editor->mChildren; c; c = c->mNext)
        if (c->mTag == Ftk::OBJECT_BLOCK && n < 2) objects[n++] = c;
    EXPECT_EQ(objects[0], first);
    EXPECT_EQ(Ftk::GetData<Ftk::StringData>(objects[0])->mText, "First");
    Ftk::Chunk* moved = nullptr;
    Ftk::FindChunk(Ftk::FindChild(first, Ftk::TRIANGLE_MESH), Ftk::EXTENDED_DATA_NAME, &moved);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(Ftk::GetData<Ftk::StringData>(moved)->mText, "app");
    EXPECT_EQ(Ftk::CountMeshes(mDb), 2u);
    Ftk::Mesh* back = nullptr;
    Ftk::GetMeshByIndex(mDb, 0, &back);
    EXPECT_EQ(back->mVertices[0].x, 9.0f);

    // Reading an object without a mesh: 8.
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, "Cam");
    Ftk::WriteCamera(mDb, camera);
    Ftk::ReadMesh(Ftk::FindObjectByName(mDb, "Cam"), &back);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_WRONG_OBJECT});
    Ftk::ReleaseCamera(&camera);
    Ftk::ReleaseMesh(&back);
    Ftk::ReleaseMesh(&mesh);
}

TEST_F(ftk_mesh, ArrayShorterThanItsCountIsRefused) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 2, 1, 0);
    mesh->mVertexCount = 50;  // the array holds 2
    Ftk::WriteMesh(mDb, mesh);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_DATA});
    EXPECT_EQ(Ftk::CountMeshes(mDb), 0u);
    Ftk::ReleaseMesh(&mesh);
}

class ftk_material : public RecordTest {};

TEST_F(ftk_material, PercentagesFalloffAndColors) {
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    std::strcpy(material->mName, "Mat");
    material->mShininess = 0.994f;
    material->mShineStrength = 0.15f;  // 14.99999... percent
    material->mTransparencyFalloff = -0.25f;
    material->mDiffuse[0] = 1.0f;
    material->mDiffuse[1] = 0.3333f;  // 84.99 bytes: the nearest byte is 85
    material->mDiffuse[2] = 1.5f;     // saturates
    material->mMaps[Ftk::kTextureMap1].mStrength = 0.999f;
    std::strcpy(material->mMaps[Ftk::kTextureMap1].mFileName, "wood.png");
    material->mMaps[Ftk::kTextureMap1].mParameters = {7, 7};
    material->mMaps[Ftk::kTextureMap1].mParameterSize = 2;
    material->mMaps[Ftk::kOpacityMap].mStrength = 0.5f;  // empty name: nothing written
    material->mMaps[Ftk::kOpacityMap].mParameters = {1};
    material->mMaps[Ftk::kOpacityMap].mParameterSize = 1;
    Ftk::WriteMaterial(mDb, material);
    ASSERT_FALSE(Ftk::IsErrorPending());

    Ftk::Chunk* block = Ftk::FindMaterialByName(mDb, "Mat");
    ASSERT_NE(block, nullptr);
    auto percentOf = [&](uint32_t tag) {
        Ftk::Chunk* chunk = Ftk::FindChild(block, tag);
        return chunk ? (int)Ftk::GetData<Ftk::ShortData>(Ftk::FindChild(chunk, Ftk::PERCENT_INT))->mValue
                     : -1;
    };
    EXPECT_EQ(percentOf(Ftk::MATERIAL_SHININESS), 99);  // rounded to the nearest
    EXPECT_EQ(percentOf(Ftk::MATERIAL_SHINE_STRENGTH), 15);
    EXPECT_EQ(percentOf(Ftk::MATERIAL_FALLOFF), 25);
    EXPECT_EQ(percentOf(Ftk::MAP_TEXTURE_1), 100);  // rounded
    EXPECT_NE(Ftk::FindChild(block, Ftk::MATERIAL_FALLOFF_IN), nullptr);
    EXPECT_NE(Ftk::FindChild(block, Ftk::MAP_PARAMS_TEXTURE_1), nullptr);
    EXPECT_EQ(Ftk::FindChild(block, Ftk::MAP_OPACITY), nullptr);
    EXPECT_EQ(Ftk::FindChild(block, Ftk::MAP_PARAMS_OPACITY), nullptr);
    Ftk::Chunk* diffuse = Ftk::FindChild(block, Ftk::MATERIAL_DIFFUSE);
    EXPECT_EQ(ChildTags(diffuse), (std::vector<uint32_t>{Ftk::COLOR_BYTE, Ftk::COLOR_BYTE_GAMMA}));
    Ftk::BytesData* bytes = Ftk::GetData<Ftk::BytesData>(diffuse->mChildren);
    EXPECT_EQ(bytes->mValues[0], 255);
    EXPECT_EQ(bytes->mValues[1], 85);
    EXPECT_EQ(bytes->mValues[2], 255);

    Ftk::Material* back = nullptr;
    Ftk::GetMaterialByName(mDb, "Mat", &back);
    ASSERT_NE(back, nullptr);
    EXPECT_FLOAT_EQ(back->mTransparencyFalloff, -0.25f);
    // Between whole percents: the rounded integer and the exact float beside it, read first.
    EXPECT_FLOAT_EQ(back->mShininess, 0.994f);
    EXPECT_FLOAT_EQ(back->mDiffuse[1], 85.0f / 255.0f);  // material bytes count 255 steps
    EXPECT_STREQ(back->mMaps[Ftk::kTextureMap1].mFileName, "wood.png");
    EXPECT_EQ(back->mMaps[Ftk::kTextureMap1].mParameters, (std::vector<uint8_t>{7, 7}));
    Ftk::ReleaseMaterial(&back);
    Ftk::ReleaseMaterial(&material);
}

TEST_F(ftk_material, MapSubChunksOnlyWhenNeeded) {
    Ftk::MaterialMap map;
    std::strcpy(map.mFileName, "a.tga");
    Ftk::Chunk* container = nullptr;
    Ftk::NewChunkWithTag(&container, Ftk::MAP_TEXTURE_1);
    Ftk::WriteMaterialMap(container, &map);
    EXPECT_EQ(ChildTags(container),
              (std::vector<uint32_t>{Ftk::PERCENT_INT, Ftk::MAP_FILE_NAME, Ftk::MAP_TILING}));
    Ftk::ReleaseChunk(&container);

    map.mVOffset = 0.5f;
    map.mBlur = 0.1f;
    map.mTintMode = 4;
    map.mTiling = Ftk::kMapDecal;
    Ftk::NewChunkWithTag(&container, Ftk::MAP_TEXTURE_1);
    Ftk::WriteMaterialMap(container, &map);
    EXPECT_EQ(ChildTags(container),
              (std::vector<uint32_t>{Ftk::PERCENT_INT, Ftk::MAP_FILE_NAME, Ftk::MAP_TILING, Ftk::MAP_U_OFFSET,
                                     Ftk::MAP_V_OFFSET, Ftk::MAP_BLUR, Ftk::MAP_TINT_R, Ftk::MAP_TINT_G,
                                     Ftk::MAP_TINT_B}));
    EXPECT_EQ(Ftk::GetData<Ftk::ShortData>(Ftk::FindChild(container, Ftk::MAP_TILING))->mValue, 0x0211);
    Ftk::MaterialMap back;
    Ftk::ReadMaterialMap(container, &back);
    EXPECT_EQ(back.mTiling, Ftk::kMapDecal);
    EXPECT_EQ(back.mTintMode, 4);
    EXPECT_EQ(back.mVOffset, 0.5f);
    EXPECT_EQ(back.mGreenTint[1], 1.0f);
    Ftk::ReleaseChunk(&container);

    // A 16-character map name, as other programs write them, is read whole; past 64 it is cut.
    Bytes block = ChunkBytes(
        Ftk::MATERIAL_BLOCK, {},
        {ChunkBytes(Ftk::MATERIAL_NAME, Text("Long")),
         ChunkBytes(Ftk::MAP_TEXTURE_1, {}, {ChunkBytes(Ftk::MAP_FILE_NAME, Text("0123456789abcdef"))})});
    Ftk::Database* db = LoadBytes(ChunkBytes(Ftk::FILE_MATLIB, {}, {block}), "lib.mli");
    Ftk::Material* material = nullptr;
    Ftk::GetMaterialByIndex(db, 0, &material);
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->mMaps[Ftk::kTextureMap1].mFileName, "0123456789abcdef");
    Ftk::ReleaseMaterial(&material);
    Ftk::ReleaseDatabase(&db);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_material, FloatColoursAsOtherProgramsWriteThem) {
    // Material colours given as floats only (no byte colour), a gamma float colour over one of them.
    Bytes block = ChunkBytes(
        Ftk::MATERIAL_BLOCK, {},
        {ChunkBytes(Ftk::MATERIAL_NAME, Text("DefaultMaterial_0")),
         ChunkBytes(Ftk::MATERIAL_AMBIENT, {}, {ChunkBytes(Ftk::COLOR_FLOAT, Floats({0.1f, 0.2f, 0.3f}))}),
         ChunkBytes(Ftk::MATERIAL_DIFFUSE, {},
                    {ChunkBytes(Ftk::COLOR_FLOAT, Floats({0.6f, 0.6f, 0.6f})),
                     ChunkBytes(Ftk::COLOR_FLOAT_GAMMA, Floats({0.5f, 0.25f, 0.125f}))})});
    Ftk::Database* db = LoadBytes(ChunkBytes(Ftk::FILE_MATLIB, {}, {block}), "float.mli");
    Ftk::Material* material = nullptr;
    Ftk::GetMaterialByIndex(db, 0, &material);
    ASSERT_NE(material, nullptr);
    EXPECT_FALSE(Ftk::IsErrorPending());
    EXPECT_STREQ(material->mName, "DefaultMaterial_0") << "names past 16 bytes are read whole";
    EXPECT_FLOAT_EQ(material->mAmbient[1], 0.2f);
    EXPECT_FLOAT_EQ(material->mDiffuse[0], 0.5f);
    EXPECT_FLOAT_EQ(material->mDiffuse[2], 0.125f);
    Ftk::ReleaseMaterial(&material);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_material, ReflectionAndForeignChildren) {
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    std::strcpy(material->mName, "Mirror");
    material->mAutoReflectionInUse = 1;
    material->mAutoReflectionFlatMirror = 1;
    material->mWire = 1;
    Ftk::WriteMaterial(mDb, material);
    Ftk::Chunk* block = Ftk::FindMaterialByName(mDb, "Mirror");
    Ftk::Chunk* reflection = Ftk::FindChild(block, Ftk::MAP_REFLECTION);
    ASSERT_NE(reflection, nullptr);
    EXPECT_EQ(ChildTags(reflection), (std::vector<uint32_t>{Ftk::PERCENT_INT, Ftk::MAP_FILE_NAME}));
    EXPECT_EQ(
        Ftk::GetData<Ftk::AutoReflectionData>(Ftk::FindChild(block, Ftk::MATERIAL_AUTO_REFLECTION))->mFlags,
        0x0011);

    // 0xA042 is ignored, extended data skipped, a foreign child pushes 4 and ends the read
    // unless the continue flag is on.
    Ftk::AddChild(Ftk::MATERIAL_SHINE_3, block);
    Ftk::AddChild(Ftk::EXTENDED_DATA_ENTRY, block);
    Ftk::AddChild(0x1234, block);
    Ftk::AddChild(Ftk::MATERIAL_TWO_SIDED, block);
    Ftk::Material* back = nullptr;
    Ftk::ReadMaterial(block, &back);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_CHUNK});
    EXPECT_EQ(back->mShading, 0);  // the wire flag chunk
    EXPECT_EQ(back->mWire, 1);
    EXPECT_EQ(back->mTwoSided, 0);
    Ftk::ClearErrors();
    Ftk::SetContinueFlag(true);
    Ftk::ReadMaterial(block, &back);
    EXPECT_EQ(back->mTwoSided, 1);
    EXPECT_EQ(back->mAutoReflectionFlatMirror, 1);
    Ftk::ReleaseMaterial(&back);
    Ftk::ReleaseMaterial(&material);
}

TEST_F(ftk_material, ReplaceKeepsPlaceAndExtendedData) {
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    for (const char* name : {"A", "B"}) {
        std::strcpy(material->mName, name);
        Ftk::WriteMaterial(mDb, material);
    }
    Ftk::Chunk* a = Ftk::FindMaterialByName(mDb, "A");
    Ftk::AddChild(Ftk::EXTENDED_DATA, a);
    std::strcpy(material->mName, "A");
    material->mTwoSided = 1;
    Ftk::WriteMaterial(mDb, material);
    EXPECT_EQ(Ftk::FindMaterialByIndex(mDb, 0), a);
    EXPECT_NE(Ftk::FindChild(a, Ftk::EXTENDED_DATA), nullptr);
    EXPECT_NE(Ftk::FindChild(a, Ftk::MATERIAL_TWO_SIDED), nullptr);
    EXPECT_EQ(Ftk::CountMaterials(mDb), 2u);
    Ftk::ReleaseMaterial(&material);
}

class ftk_light : public RecordTest {};

TEST_F(ftk_light, SpotRulesAndCounts) {
    Ftk::Light* light = nullptr;
    Ftk::InitSpotlight(&light);
    std::strcpy(light->mName, "Spot");
    light->mSpot->mLocalShadow = 1;  // shadowed stays off
    AddToStringList(light->mExclude, "Box");
    Ftk::PutSpotlight(mDb, light);
    Ftk::Chunk* spot = nullptr;
    Ftk::FindChunk(Ftk::FindObjectByName(mDb, "Spot"), Ftk::SPOTLIGHT, &spot);
    ASSERT_NE(spot, nullptr);
    EXPECT_EQ(ChildTags(spot), (std::vector<uint32_t>{Ftk::SPOT_ROLL, Ftk::SPOT_RAY_BIAS,
                                                      Ftk::SPOT_LOCAL_SHADOW, Ftk::SPOT_SHADOW_PARAMS}));
    Ftk::Light* omni = nullptr;
    Ftk::InitLight(&omni);
    std::strcpy(omni->mName, "Omni");
    Ftk::PutOmniLight(mDb, omni);
    EXPECT_EQ(Ftk::CountOmniLights(mDb), 1u);
    EXPECT_EQ(Ftk::CountSpotlights(mDb), 1u);

    Ftk::Light* back = nullptr;
    Ftk::GetSpotlightByName(mDb, "Spot", &back);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(back->mSpot, nullptr);
    EXPECT_EQ(back->mSpot->mShadowed, 1);  // 0x4640 sets it
    EXPECT_EQ(back->mExclude->mStrings, std::vector<std::string>{"Box"});
    uint32_t bits;
    std::memcpy(&bits, &back->mColor[0], 4);
    EXPECT_EQ(bits, 0x3F357753u);
    Ftk::ReleaseLight(&back);
    Ftk::GetOmniLightByName(mDb, "Spot", &back);  // a spotlight is no omni light
    EXPECT_EQ(back, nullptr);

    // The omni-light index counts every light: index 0 is the spotlight.
    Ftk::DeleteOmniLightByIndex(mDb, 0);
    EXPECT_EQ(Ftk::CountSpotlights(mDb), 0u);
    EXPECT_EQ(Ftk::CountOmniLights(mDb), 1u);
    Ftk::ReleaseLight(&light);
    Ftk::ReleaseLight(&omni);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_light, CameraLensAndProjectDatabases) {
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, "Cam");
    camera->mShowCone = 1;
    Ftk::WriteCamera(mDb, camera);
    Ftk::Chunk* part = Ftk::FindChild(Ftk::FindObjectByName(mDb, "Cam"), Ftk::CAMERA);
    EXPECT_NEAR(Ftk::GetData<Ftk::FloatsData>(part)->mValues[7], 53.3333f, 1e-4);
    EXPECT_EQ(ChildTags(part), (std::vector<uint32_t>{Ftk::CAMERA_SHOW_CONE, Ftk::CAMERA_RANGES}));
    Ftk::Camera* back = nullptr;
    Ftk::GetCameraByIndex(mDb, 0, &back);
    EXPECT_FLOAT_EQ(back->mFieldOfView, 45.0f);
    EXPECT_EQ(back->mShowCone, 1);
    EXPECT_EQ(back->mFarRange, 1000.0f);

    Ftk::Database* project = nullptr;
    Ftk::NewDatabase(&project);
    Ftk::CreateDatabase(project, Ftk::kProjectFile);
    Ftk::WriteCamera(project, camera);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_WRONG_DATABASE});
    Ftk::ClearErrors();
    Ftk::Light* light = nullptr;
    Ftk::InitLight(&light);
    Ftk::PutOmniLight(project, light);
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 1, 0, 0);
    Ftk::WriteMesh(project, mesh);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::GetCameraByName(mDb, "Nope", &back);  // absent: nothing
    Ftk::GetCameraByName(project, "", &back);  // a light, not a camera
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_WRONG_OBJECT});
    Ftk::ReleaseMesh(&mesh);
    Ftk::ReleaseLight(&light);
    Ftk::ReleaseDatabase(&project);
    Ftk::ReleaseCamera(&back);
    Ftk::ReleaseCamera(&camera);
}

TEST_F(ftk_light, BackgroundActiveCode) {
    Ftk::Background* background = nullptr;
    Ftk::InitBackground(&background);
    background->mActive = Ftk::kGradientBackground;
    background->mGradientTop[0] = 0.25f;
    background->mGradientBottom[2] = 0.75f;
    Ftk::PutBackground(mDb, background);
    Ftk::Background* back = nullptr;
    Ftk::GetBackground(mDb, &back);
    EXPECT_EQ(back->mActive, Ftk::kGradientBackground);
    EXPECT_EQ(back->mGradientTop[0], 0.25f);
    EXPECT_EQ(back->mGradientBottom[2], 0.75f);
    background->mActive = Ftk::kNoBackground;
    Ftk::PutBackground(mDb, background);
    Ftk::GetBackground(mDb, &back);
    EXPECT_EQ(back->mActive, Ftk::kNoBackground);
    Ftk::Chunk* editor = Ftk::GetEditorChunk(mDb, false);
    EXPECT_EQ(Ftk::FindChild(editor, Ftk::USE_BACKGROUND_GRADIENT), nullptr);

    // Bitmap wins over solid; a gradient without gamma colours keeps its plain ones.
    Bytes gradient = ChunkBytes(
        Ftk::BACKGROUND_GRADIENT, Floats({0.3f}),
        {ChunkBytes(Ftk::COLOR_FLOAT, Floats({1, 0, 0})), ChunkBytes(Ftk::COLOR_FLOAT, Floats({0, 1, 0})),
         ChunkBytes(Ftk::COLOR_FLOAT, Floats({0, 0, 1}))});
    Ftk::Database* db = LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {},
                                             {ChunkBytes(Ftk::EDITOR_DATA, {},
                                                         {gradient, ChunkBytes(Ftk::USE_BACKGROUND_SOLID, {}),
                                                          ChunkBytes(Ftk::USE_BACKGROUND_BITMAP, {})})}),
                                  "background.3ds");
    Ftk::GetBackground(db, &back);
    EXPECT_EQ(back->mActive, Ftk::kBitmapBackground);
    EXPECT_FLOAT_EQ(back->mGradientMid, 0.3f);
    EXPECT_EQ(back->mGradientMiddle[1], 1.0f);
    EXPECT_EQ(back->mGradientBottom[2], 1.0f);
    Ftk::ReleaseDatabase(&db);
    Ftk::ReleaseBackground(&back);
    Ftk::ReleaseBackground(&background);
}

TEST_F(ftk_light, DuplicateNamesUseTheFirst) {
    Bytes objectA = ChunkBytes(Ftk::OBJECT_BLOCK, Text("Twin"), {ChunkBytes(Ftk::LIGHT, Floats({1, 0, 0}))});
    Bytes objectB = ChunkBytes(Ftk::OBJECT_BLOCK, Text("Twin"), {ChunkBytes(Ftk::LIGHT, Floats({2, 0, 0}))});
    Ftk::Database* db = LoadBytes(
        ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(Ftk::EDITOR_DATA, {}, {objectA, objectB})}), "twins.3ds");
    EXPECT_EQ(Ftk::CountOmniLights(db), 2u);
    Ftk::Light* light = nullptr;
    Ftk::GetOmniLightByName(db, "Twin", &light);
    EXPECT_EQ(light->mPosition.x, 1.0f);
    Ftk::GetOmniLightByIndex(db, 1, &light);
    EXPECT_EQ(light->mPosition.x, 2.0f);
    Ftk::ReleaseLight(&light);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_light, BuiltDatabaseReloadsEqualToItself) {
    Ftk::MeshSettings* settings = nullptr;
    Ftk::InitSettingsBlock(&settings);
    Ftk::PutSettings(mDb, settings);
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 3, 1, Ftk::kMeshMapping);
    std::strcpy(mesh->mName, "M");
    Ftk::WriteMesh(mDb, mesh);
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    std::strcpy(material->mName, "Mat");
    std::strcpy(material->mMaps[Ftk::kBumpMap].mFileName, "bump.tga");
    Ftk::WriteMaterial(mDb, material);
    Ftk::Light* light = nullptr;
    Ftk::InitSpotlight(&light);
    std::strcpy(light->mName, "L");
    Ftk::PutSpotlight(mDb, light);
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, "C");
    Ftk::WriteCamera(mDb, camera);
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::InitObjectMotion(&motion, 2, 1, 1, 0, 1);
    std::strcpy(motion->mName, "M");
    Ftk::PutObjectMotion(mDb, motion);
    ASSERT_FALSE(Ftk::IsErrorPending());

    std::string path = TempPath("built.3ds");
    ASSERT_TRUE(SaveTo(mDb, path));
    Ftk::Database* again = LoadBytes(ReadFile(path), "built2.3ds");
    EXPECT_EQ(DumpTree(again->mTop, true), DumpTree(mDb->mTop, true));
    std::string path2 = TempPath("built3.3ds");
    ASSERT_TRUE(SaveTo(again, path2));
    EXPECT_EQ(ReadFile(path2), ReadFile(path));
    Ftk::ReleaseDatabase(&again);
    Ftk::ReleaseObjectMotion(&motion);
    Ftk::ReleaseCamera(&camera);
    Ftk::ReleaseLight(&light);
    Ftk::ReleaseMaterial(&material);
    Ftk::ReleaseMesh(&mesh);
    Ftk::ReleaseSettings(&settings);
}

}  // namespace

TEST(ftk_names, LongNamesAreCutOnWholeCharactersAndKeptApart) {
    std::string out;
    EXPECT_FALSE(Ftk::FitName(out, std::string(1023, 'a'), 1023));
    EXPECT_EQ(out, std::string(1023, 'a'));
    // Two names that differ past the cut: cut to the capacity, the same start, apart at the end.
    const std::string a = std::string(1100, 'x') + "1", b = std::string(1100, 'x') + "2";
    std::string cutA, cutB, again;
    EXPECT_TRUE(Ftk::FitName(cutA, a, 1023));
    EXPECT_TRUE(Ftk::FitName(cutB, b, 1023));
    EXPECT_TRUE(Ftk::FitName(again, a, 1023));
    EXPECT_EQ(cutA.size(), 1023u);
    EXPECT_EQ(cutA.substr(0, 1006), a.substr(0, 1006));
    EXPECT_EQ(cutA[1006], '~');
    EXPECT_NE(cutA, cutB);
    EXPECT_EQ(cutA, again) << "a reference cut the same way finds its name";
    // A two-byte character across the cut is left out whole.
    const std::string accented = std::string(1005, 'y') + "\xC3\xA9" + std::string(100, 'z');
    EXPECT_TRUE(Ftk::FitName(out, accented, 1023));
    EXPECT_EQ(out.size(), 1022u);
    EXPECT_EQ(out[1005], '~');
    // A field of fixed size takes the same cut; one too small for the hash is cut plainly.
    char field[1024];
    EXPECT_TRUE(Ftk::FitName(field, sizeof field, a));
    EXPECT_EQ(std::string(field), cutA);
    char tiny[8];
    EXPECT_TRUE(Ftk::FitName(tiny, sizeof tiny, a));
    EXPECT_EQ(std::strlen(tiny), 7u);
}
