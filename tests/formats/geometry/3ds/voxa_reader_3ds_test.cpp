#include "formats/geometry/3ds/voxa_reader_3ds.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_key.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

namespace fs = std::filesystem;

fs::path Scratch(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("reader3ds_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return dir / name;
}

struct ScratchCleaner {
    ~ScratchCleaner() {
        std::error_code error;
        fs::remove_all(fs::temp_directory_path() / ("reader3ds_" + std::to_string(::getpid())), error);
    }
} gCleaner;

// A 3DS file built through the toolkit: `fill` puts records into a fresh scene database.
std::string BuildFile(const std::string& name, const std::function<void(Ftk::Database*)>& fill,
                      float masterScale = 1.0f) {
    const std::string path = Scratch(name).string();
    EXPECT_TRUE(ftkscene::WriteSceneFile(path,
                                         [&](Ftk::Database* db) {
                                             ftkscene::PutMeshSettings(db, [&](Ftk::MeshSettings* settings) {
                                                 settings->mMasterScale = masterScale;
                                                 settings->mAmbient[0] = 0.25f;
                                                 settings->mAmbient[1] = 0.5f;
                                                 settings->mAmbient[2] = 0.75f;
                                             });
                                             fill(db);
                                         }))
        << "building " << name;
    // Seeds for the fuzz target, when asked for.
    if (const char* seeds = std::getenv("OXA_READER3DS_SEEDS"))
        fs::copy_file(path, fs::path(seeds) / name, fs::copy_options::overwrite_existing);
    return path;
}

// A mesh record with the vertices given, faces (a, b, c) and optional smoothing masks.
Ftk::Mesh* MakeMesh(const char* name, std::initializer_list<Ftk::Point3> vertices,
                    std::initializer_list<Ftk::Face> faces, std::initializer_list<uint32_t> masks = {}) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, (uint16_t)vertices.size(), (uint16_t)faces.size(),
                  masks.size() ? (uint32_t)Ftk::kMeshSmoothing : 0u);
    std::strcpy(mesh->mName, name);
    std::copy(vertices.begin(), vertices.end(), mesh->mVertices.begin());
    std::copy(faces.begin(), faces.end(), mesh->mFaces.begin());
    if (masks.size()) std::copy(masks.begin(), masks.end(), mesh->mSmoothing.begin());
    const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
    return mesh;
}

void PutMesh(Ftk::Database* db, Ftk::Mesh* mesh) {
    Ftk::WriteMesh(db, mesh);
    Ftk::ReleaseMesh(&mesh);
}

// A spotlight and a camera with nothing but their names.
void PutPlainSpotlight(Ftk::Database* db, const char* name) {
    Ftk::Light* spot = nullptr;
    Ftk::InitSpotlight(&spot);
    std::strcpy(spot->mName, name);
    Ftk::PutSpotlight(db, spot);
    Ftk::ReleaseLight(&spot);
}

void PutPlainCamera(Ftk::Database* db, const char* name) {
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, name);
    Ftk::WriteCamera(db, camera);
    Ftk::ReleaseCamera(&camera);
}

Ftk::KeyHeader Key(int frame, uint16_t flags = 0, float t = 0, float c = 0, float b = 0) {
    Ftk::KeyHeader key;
    key.mFrame = frame;
    key.mSplineFlags = flags;
    key.mTension = t;
    key.mContinuity = c;
    key.mBias = b;
    return key;
}

// Fills a track with keys and values (`width` floats per key).
void SetTrack(Ftk::Track& track, std::initializer_list<Ftk::KeyHeader> keys,
              std::initializer_list<float> values) {
    track.mKeyCount = (uint32_t)keys.size();
    track.mKeys.assign(keys.begin(), keys.end());
    track.mValues.assign(values.begin(), values.end());
}

struct Rig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReader3DS reader{&manager};
    std::unique_ptr<VStreamOptions3ds> options{static_cast<VStreamOptions3ds*>(reader.GetReadOptions())};

    void Set(int option, int value) { options->SetOptionValue(option, value); }
    bool Read(const std::string& path) {
        return reader.FileOpen(path.c_str()) && reader.Read(scene, options.get());
    }
    VOxaNode* Node(const char* name) { return manager.GetNode(name, 0); }
    std::string Messages() const { return reader.GetMessageText().Buffer(); }
};

VgeTVector Point(VOxaMesh* mesh, int i) {
    return mesh->GetControlPoints()[i];
}

void ExpectVector(const VgeTVector& v, double x, double y, double z, double tolerance = 1e-5) {
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

VTime FrameTimeForTest(int frame) {
    VTime time;
    time.SetTime(0, 0, 0, frame, 0, VTime::eFRAMES30);
    return time;
}

std::vector<int> KeyFrames(VFCurve* curve) {
    std::vector<int> frames;
    for (int i = 0; curve && i < curve->KeyGetCount(); ++i)
        frames.push_back((int)curve->KeyGetTime(i).GetFrame(true, VTime::eFRAMES30));
    return frames;
}

class reader3ds : public ::testing::Test {
protected:
    void SetUp() override {
        Ftk::ClearErrors();
        Ftk::SetContinueFlag(false);
    }
};

// ---- Units, geometry and smoothing -------------------------------------------------------------

TEST_F(reader3ds, NoKeyframerGivesOneNodePerMeshWithUnitFactor) {
    const std::string path = BuildFile(
        "plain.3ds",
        [](Ftk::Database* db) {
            PutMesh(db, MakeMesh("Tri", {{1, 2, 3}, {4, 0, 0}, {0, 5, 0}}, {{0, 1, 2, 0}}));
        },
        0.1f);
    Rig rig;
    ASSERT_TRUE(rig.Read(path)) << rig.reader.GetError().GetLastErrorString().Buffer();
    EXPECT_NEAR(rig.reader.GetUnitFactor(), 0.254, 1e-7);
    VOxaNode* node = rig.Node("Tri");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->GetParent(), rig.scene->GetRootNode());
    VOxaMesh* mesh = node->GetMesh();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetPolygonCount(), 1);
    // (x, y, z) becomes (x, z, -y), times 2.54 x 0.1.
    ExpectVector(Point(mesh, 0), 0.254, 0.762, -0.508);
    // The ambient colour of the file, and the default take spanning the file's keyframer header:
    // 0 to frame 30, the length the toolkit gives a new file.
    EXPECT_NEAR(rig.scene->GetGlobalLightSettings().GetAmbientColor().mGreen, 0.5, 1e-6);
    const VOxaTakeInfo* info = rig.scene->GetTakeInfo("default take");
    ASSERT_NE(info, nullptr);
    VTime stop;
    stop.SetTime(0, 0, 0, 30, 0, VTime::eFRAMES30);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop(), stop);
    EXPECT_STREQ(rig.scene->GetCurrentTakeName(), "default take");

    Rig referenced;
    referenced.Set(VStreamOptions3ds::eCREATE_REFERENCE_NODE, 1);
    referenced.Set(VStreamOptions3ds::eAMBIENT_LIGHT, 0);
    ASSERT_TRUE(referenced.Read(path));
    VOxaNode* root = referenced.reader.GetReferenceNode();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetNameWithoutPrefix(), "Oxa_Root");
    VgeTVector scaling;
    ExpectVector(root->GetLclScaling(scaling), 0.254, 0.254, 0.254);
    EXPECT_EQ(referenced.Node("Tri")->GetParent(), root);
    ExpectVector(Point(referenced.Node("Tri")->GetMesh(), 0), 1, 3, -2);
    EXPECT_EQ(referenced.scene->GetGlobalLightSettings().GetAmbientColor().mGreen, 0.0);
}

TEST_F(reader3ds, SmoothingGroupsSplitNormalsNotVertices) {
    // Vertex 0 is shared by faces of masks 1 and 2 (split), vertex 1 by masks 1 and 3 (merged
    // into mask 3); the last two faces have mask 0 and give their shared corners normals of
    // their own. The vertices stay the file's: a writer joins the corners it joins.
    const std::string path = BuildFile("smooth.3ds", [](Ftk::Database* db) {
        PutMesh(db, MakeMesh("S", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                             {{0, 1, 2, 0}, {0, 3, 4, 0}, {1, 5, 4, 0}, {2, 3, 5, 0}, {2, 5, 3, 0}},
                             {1, 2, 3, 0, 0}));
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaMesh* mesh = rig.Node("S")->GetMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetControlPointsCount(), 6);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 0), 0);
    EXPECT_EQ(mesh->GetPolygonVertex(3, 0), 2);
    // One normal per vertex and run of faces that share a bit there: 6 vertices + vertex 0
    // again (mask 2 shares no bit with 1); vertex 4 (masks 2 and 3) and vertex 1 (masks 1 and
    // 3) are not split; the six mask-0 corners all name vertices used before, so each gets a
    // normal of its own.
    const VOxaLayerElementNormal* normals = mesh->GetLayer(0)->GetNormals();
    ASSERT_NE(normals, nullptr);
    EXPECT_EQ(normals->GetMappingMode(), eBY_POLYGON_VERTEX);
    EXPECT_EQ(normals->GetReferenceMode(), eINDEX_TO_DIRECT);
    EXPECT_EQ(normals->GetDirectArray().GetCount(), 13);
    const VArrayTemplate<int>& index = normals->GetIndexArray();
    ASSERT_EQ(index.GetCount(), 15);
    EXPECT_EQ(index[0], 0);
    EXPECT_EQ(index[3], 6);  // vertex 0 in mask 2
    EXPECT_EQ(index[6], 1);  // masks 1 and 3 share vertex 1
    EXPECT_EQ(index[8], 4);  // masks 2 and 3 share vertex 4
    EXPECT_EQ(index[9], 7);  // mask 0: a normal of its own
    // Every normal is some corner's.
    std::vector<int> uses(13, 0);
    for (int i = 0; i < index.GetCount(); ++i)
        uses[(size_t)index[i]]++;
    for (int i = 0; i < 13; ++i)
        EXPECT_GT(uses[(size_t)i], 0) << i;
    // The faces of masks 1 and 2 at vertex 0 face the same way here (one plane): each of the
    // two normals is the plane's.
    VgeTVector a, b;
    ASSERT_TRUE(mesh->GetPolygonVertexNormal(0, 0, a));
    ASSERT_TRUE(mesh->GetPolygonVertexNormal(1, 0, b));
    EXPECT_NEAR(std::fabs(a[1]), 1.0, 1e-9);
    EXPECT_NEAR(std::fabs(b[1]), 1.0, 1e-9);

    Rig flat;
    flat.Set(VStreamOptions3ds::eSMOOTH_GROUP, 0);
    ASSERT_TRUE(flat.Read(path));
    VOxaMesh* smooth = flat.Node("S")->GetMesh();
    EXPECT_EQ(smooth->GetControlPointsCount(), 6);
    EXPECT_EQ(smooth->GetLayer(0)->GetNormals()->GetMappingMode(), eBY_CONTROL_POINT);
}

TEST_F(reader3ds, ABoxOfSharedVerticesIsFacetedOrSmoothByItsGroups) {
    // Eight shared vertices, two faces a side (outward); each side a group of its own, or all in
    // group 1.
    const std::initializer_list<Ftk::Point3> corners = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const std::initializer_list<Ftk::Face> faces = {
        {0, 2, 1, 0}, {0, 3, 2, 0}, {4, 5, 6, 0}, {4, 6, 7, 0}, {0, 1, 5, 0}, {0, 5, 4, 0},
        {2, 3, 7, 0}, {2, 7, 6, 0}, {1, 2, 6, 0}, {1, 6, 5, 0}, {3, 0, 4, 0}, {3, 4, 7, 0}};
    const std::string path = BuildFile("box.3ds", [&](Ftk::Database* db) {
        PutMesh(db, MakeMesh("Sides", corners, faces, {1, 1, 2, 2, 4, 4, 8, 8, 16, 16, 32, 32}));
        PutMesh(db, MakeMesh("Round", corners, faces, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaMesh* sides = rig.Node("Sides")->GetMesh();
    VOxaMesh* round = rig.Node("Round")->GetMesh();
    ASSERT_TRUE(sides && round);
    EXPECT_EQ(sides->GetControlPointsCount(), 8);
    EXPECT_EQ(round->GetControlPointsCount(), 8);
    VgeTVector centre(0, 0, 0, 0);
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 3; ++j)
            centre[j] += round->GetControlPoints()[i][j] / 8.0;
    for (int p = 0; p < 12; ++p) {
        // The side's own normal, from its corners in the scene.
        const VgeTVector a = sides->GetControlPoints()[sides->GetPolygonVertex(p, 0)];
        const VgeTVector b = sides->GetControlPoints()[sides->GetPolygonVertex(p, 1)];
        const VgeTVector c = sides->GetControlPoints()[sides->GetPolygonVertex(p, 2)];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        double own[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double length = std::sqrt(own[0] * own[0] + own[1] * own[1] + own[2] * own[2]);
        for (double& x : own)
            x /= length;
        for (int k = 0; k < 3; ++k) {
            VgeTVector n;
            ASSERT_TRUE(sides->GetPolygonVertexNormal(p, k, n));
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(n[j], own[j], 1e-9) << "face " << p << " corner " << k;
            // Smooth: each corner's normal leans out of the box along all three axes.
            ASSERT_TRUE(round->GetPolygonVertexNormal(p, k, n));
            const VgeTVector at = round->GetControlPoints()[round->GetPolygonVertex(p, k)];
            EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-9);
            for (int j = 0; j < 3; ++j)
                EXPECT_GT(n[j] * (at[j] - centre[j]), 0.1) << "face " << p << " corner " << k << " axis " << j;
        }
    }
}

TEST_F(reader3ds, LocalAxesPivotAndAreaWeightedNormals) {
    const std::string path = BuildFile("axes.3ds", [](Ftk::Database* db) {
        // Axes rotated 90 degrees about Z and moved to (10, 0, 0): the file vertex (10, 1, 0)
        // lies at local (1, 0, 0).
        Ftk::Mesh* turned = MakeMesh("Turned", {{10, 1, 0}, {10, 0, 0}, {9, 0, 0}}, {{0, 1, 2, 0}});
        const float axes[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 10, 0, 0};
        std::memcpy(turned->mLocalAxes, axes, sizeof axes);
        PutMesh(db, turned);
        // Axes: X = (1, 0, 0), Y = (0, 0, 1), Z = (0, -1, 0), origin (5, 6, 7); the local points
        // (1, 2, 3) and (-1, -4, 2) lie at the file points below.
        Ftk::Mesh* tilted = MakeMesh("Tilted", {{6, 3, 9}, {4, 4, 3}, {5, 6, 7}}, {{0, 1, 2, 0}});
        const float tilt[12] = {1, 0, 0, 0, 0, 1, 0, -1, 0, 5, 6, 7};
        std::memcpy(tilted->mLocalAxes, tilt, sizeof tilt);
        PutMesh(db, tilted);
        Ftk::Mesh* flat = MakeMesh("Flat", {{3, 0, 0}, {0, 0, 0}, {0, 3, 0}}, {{0, 1, 2, 0}});
        std::memset(flat->mLocalAxes, 0, sizeof flat->mLocalAxes);  // singular: identity
        PutMesh(db, flat);
        // Two faces at vertex 0 (one smoothing group): a large one facing +Z in the file and a
        // small one facing +X.
        PutMesh(db, MakeMesh("Corner", {{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 1, 0}, {0, 0, 1}},
                             {{0, 1, 2, 0}, {0, 3, 4, 0}}, {1, 1}));
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Flat");
        motion->mPivot = Ftk::Point3{1, 2, 3};
        Ftk::PutObjectMotion(db, motion);
        std::strcpy(motion->mName, "Turned");
        motion->mPivot = Ftk::Point3{0, 0, 0};
        Ftk::PutObjectMotion(db, motion);
        std::strcpy(motion->mName, "Corner");
        Ftk::PutObjectMotion(db, motion);
        std::strcpy(motion->mName, "Tilted");
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    });
    Rig rig;
    rig.Set(VStreamOptions3ds::eRESCALE, 0);
    ASSERT_TRUE(rig.Read(path));
    ExpectVector(Point(rig.Node("Turned")->GetMesh(), 0), 1, 0, 0);
    // Axes turned about X and moved: every file vertex returns to its local place (Y-up).
    ExpectVector(Point(rig.Node("Tilted")->GetMesh(), 0), 1, 3, -2);
    ExpectVector(Point(rig.Node("Tilted")->GetMesh(), 1), -1, 2, 4);
    // Identity, then minus the pivot turned Y-up: (3, 0, 0) - (1, 3, -2).
    ExpectVector(Point(rig.Node("Flat")->GetMesh(), 0), 2, -3, 2);
    VOxaMesh* corner = rig.Node("Corner")->GetMesh();
    const VgeTVector n = corner->GetNormals()[0];
    // Face normals (0, 16, 0) Y-up and (1, 0, 0), each twice its face's area: their sum
    // normalised.
    const double length = std::sqrt(16.0 * 16.0 + 1.0);
    ExpectVector(n, 1.0 / length, 16.0 / length, 0.0);
}

// ---- Materials and textures --------------------------------------------------------------------

TEST_F(reader3ds, MaterialColoursAndTexturePlacement) {
    const std::string path = BuildFile("materials.3ds", [](Ftk::Database* db) {
        Ftk::Material* m = nullptr;
        Ftk::InitMaterial(&m);
        std::strcpy(m->mName, "Red");
        m->mAmbient[0] = 0.1f;
        m->mDiffuse[0] = 0.8f;
        m->mDiffuse[1] = 0.4f;
        m->mDiffuse[2] = 0.2f;
        m->mSpecular[0] = 0.6f;
        m->mShineStrength = 0.75f;
        m->mShininess = 0.3f;
        m->mSelfIllumination = 0.5f;
        m->mTransparency = 0.25f;
        Ftk::MaterialMap& map = m->mMaps[Ftk::kTextureMap1];
        std::strcpy(map.mFileName, "wall.jpg");
        map.mStrength = 1.0f;
        map.mUScale = 2.0f;
        map.mVScale = 4.0f;
        map.mUOffset = 0.1f;
        map.mVOffset = 0.2f;
        map.mTiling = Ftk::kMapTiled;
        Ftk::MaterialMap& second = m->mMaps[Ftk::kTextureMap2];
        std::strcpy(second.mFileName, "dirt.jpg");
        second.mStrength = 0.5f;
        second.mRotation = 90.0f;
        second.mTiling = Ftk::kMapDecal;
        Ftk::WriteMaterial(db, m);
        // A second material naming the same bitmap, at half strength.
        std::strcpy(m->mName, "Blue");
        m->mMaps[Ftk::kTextureMap1].mStrength = 0.5f;
        m->mMaps[Ftk::kTextureMap2].mFileName[0] = '\0';
        m->mShininess = 0.9f;
        Ftk::WriteMaterial(db, m);
        Ftk::ReleaseMaterial(&m);

        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 4, 2, Ftk::kMeshMapping);
        std::strcpy(mesh->mName, "Quad");
        mesh->mVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
        mesh->mFaces = {{0, 1, 2, 0}, {0, 2, 3, 0}};
        mesh->mMapping = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        mesh->mMaterialGroupCount = 2;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        mesh->mMaterialGroups[0].mName = "Red";
        Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
        mesh->mMaterialGroups[0].mFaces[0] = 1;
        mesh->mMaterialGroups[1].mName = "Blue";
        Ftk::AllocMaterialGroupFaces(mesh, 1, 1);
        mesh->mMaterialGroups[1].mFaces[0] = 0;
        PutMesh(db, mesh);
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaMaterial* red = rig.manager.GetMaterial("Red", 0);
    ASSERT_NE(red, nullptr);
    // Colours pass through the file as bytes.
    const double byte = 1.0 / 255.0;
    EXPECT_NEAR(red->GetAmbient().mRed, 0.1, byte);
    EXPECT_NEAR(red->GetDiffuse().mGreen, 0.4, byte);
    EXPECT_NEAR(red->GetDiffuse().mBlue, 0.2, byte);
    EXPECT_NEAR(red->GetSpecular().mRed, 0.6 * 0.75 * 4.0 / 3.0, 2 * byte);
    EXPECT_NEAR(red->GetShininess(), 0.6, 1e-6);
    EXPECT_NEAR(red->GetEmissive().mRed, 0.4, byte);
    EXPECT_NEAR(red->GetOpacity(), 0.75, 1e-6);
    EXPECT_NEAR(rig.manager.GetMaterial("Blue", 0)->GetShininess(), 1.8, 1e-6);  // 2 x 0.9, whole

    VOxaTexture* wall = rig.manager.GetTexture("wall.jpg", 0);
    VOxaTexture* wallBlue = rig.manager.GetTexture("wall.jpg-1", 0);
    VOxaTexture* dirt = rig.manager.GetTexture("dirt.jpg", 0);
    ASSERT_NE(wall, nullptr);
    ASSERT_NE(wallBlue, nullptr);
    ASSERT_NE(dirt, nullptr);
    // The images count from the folder of the file.
    const std::string folder = std::filesystem::absolute(path).parent_path().string();
    EXPECT_EQ(std::string(wall->GetSourceFolder()), folder);
    EXPECT_EQ(std::string(dirt->GetSourceFolder()), folder);
    EXPECT_STREQ(wall->GetFileName(), "wall.jpg");
    EXPECT_EQ(wall->GetMaterialUse(), 1);      // full strength: the material colour is not used
    EXPECT_EQ(wallBlue->GetMaterialUse(), 0);  // half strength: it is
    EXPECT_NEAR(wallBlue->GetDefaultAlpha(), 0.5, 1e-6);
    EXPECT_NEAR(wall->GetTranslationU(), -2.0 * (0.25 + 0.1), 1e-6);
    EXPECT_NEAR(wall->GetTranslationV(), -4.0 * (0.375 - 0.2), 1e-6);
    EXPECT_NEAR(wall->GetScaleU(), 2.0, 1e-6);
    EXPECT_EQ(wall->GetWrapModeU(), 0);
    // Rotated: (-0.5, -0.5) turned by -90 degrees is (-0.5, 0.5), plus 0.5.
    EXPECT_NEAR(dirt->GetTranslationU(), 0.0, 1e-6);
    EXPECT_NEAR(dirt->GetTranslationV(), 1.0, 1e-6);
    EXPECT_NEAR(dirt->GetRotationW(), -90.0, 1e-6);
    EXPECT_EQ(dirt->GetWrapModeU(), 1);

    VOxaNode* node = rig.Node("Quad");
    VOxaMesh* mesh = node->GetMesh();
    EXPECT_EQ(node->GetShadingMode(), 4);
    ASSERT_EQ(mesh->GetMaterialCount(0), 2);
    EXPECT_EQ(mesh->GetMaterial(0, 0), red);  // the group order decides
    EXPECT_EQ((*mesh->GetMaterialIndices())[1], 0);
    EXPECT_EQ((*mesh->GetMaterialIndices())[0], 1);
    // The second layer (and no more): Red's faces use dirt.jpg on layer 0 and wall.jpg on layer 1.
    ASSERT_EQ(mesh->GetLayerCount(), 2);
    VOxaLayer* layer1 = mesh->GetLayer(1);
    ASSERT_NE(layer1->GetTextures(), nullptr);
    EXPECT_EQ(layer1->GetTextures()->GetBlendMode(), eADD);
    EXPECT_EQ(mesh->GetTexture((*mesh->GetTextureIndices())[1], 0), dirt);
    EXPECT_EQ(layer1->GetTextures()->GetDirectArray()[layer1->GetTextures()->GetIndexArray()[1]], wall);
    ASSERT_NE(layer1->GetUVs(), nullptr);
    EXPECT_EQ(layer1->GetUVs()->GetIndexArray().GetCount(), 6);

    Rig plain;
    plain.Set(VStreamOptions3ds::eMATERIALS, 0);
    ASSERT_TRUE(plain.Read(path));
    EXPECT_EQ(plain.manager.GetMaterialCount(), 0);
}

// A mesh without mapping coordinates keeps its material's texture maps: they were dropped, so a
// trip lost the diffuse map and its settings without a word.
TEST_F(reader3ds, AMeshWithoutMappingKeepsItsMaterialsTextures) {
    const std::string path = BuildFile("unmapped.3ds", [](Ftk::Database* db) {
        Ftk::Material* m = nullptr;
        Ftk::InitMaterial(&m);
        std::strcpy(m->mName, "Red");
        Ftk::MaterialMap& map = m->mMaps[Ftk::kTextureMap1];
        std::strcpy(map.mFileName, "wall.jpg");
        map.mStrength = 0.9f;
        Ftk::WriteMaterial(db, m);
        Ftk::ReleaseMaterial(&m);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Bare");
        mesh->mVertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
        mesh->mFaces = {{0, 1, 2, 0}};
        mesh->mMaterialGroupCount = 1;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        mesh->mMaterialGroups[0].mName = "Red";
        Ftk::AllocMaterialGroupFaces(mesh, 0, 1);
        mesh->mMaterialGroups[0].mFaces[0] = 0;
        PutMesh(db, mesh);
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaMesh* mesh = rig.Node("Bare")->GetMesh();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetTextureCount(0), 1);
    EXPECT_STREQ(mesh->GetTexture(0, 0)->GetFileName(), "wall.jpg");
    EXPECT_NEAR(mesh->GetTexture(0, 0)->GetDefaultAlpha(), 0.9, 1e-6);
}

// ---- Lights, cameras, names and hierarchy ------------------------------------------------------

TEST_F(reader3ds, InstancesTargetsAndCycles) {
    const std::string path = BuildFile("nodes.3ds", [](Ftk::Database* db) {
        PutMesh(db, MakeMesh("Box", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}}));
        Ftk::Camera* camera = nullptr;
        Ftk::InitCamera(&camera);
        std::strcpy(camera->mName, "Cam");
        camera->mFieldOfView = 2400.0f / 50.0f;
        camera->mNearRange = 2.0f;
        Ftk::WriteCamera(db, camera);
        Ftk::ReleaseCamera(&camera);
        Ftk::Light* spot = nullptr;
        Ftk::InitSpotlight(&spot);
        std::strcpy(spot->mName, "Spot");
        spot->mMultiplier = 0.5f;
        Ftk::PutSpotlight(db, spot);
        Ftk::ReleaseLight(&spot);

        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Box");
        std::strcpy(motion->mInstanceName, "A");
        std::strcpy(motion->mParentName, "Box.B");  // A below B and B below A: a loop
        Ftk::PutObjectMotion(db, motion);
        std::strcpy(motion->mInstanceName, "B");
        std::strcpy(motion->mParentName, "Box.A");
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
        Ftk::CameraMotion* cm = nullptr;
        Ftk::InitCameraMotion(&cm, 1, 0, 0, 1);
        std::strcpy(cm->mName, "Cam");
        Ftk::PutCameraMotion(db, cm);
        Ftk::ReleaseCameraMotion(&cm);
        Ftk::SpotlightMotion* sm = nullptr;
        Ftk::InitSpotlightMotion(&sm, 1, 0, 0, 0, 0, 1);
        std::strcpy(sm->mName, "Spot");
        Ftk::PutSpotlightMotion(db, sm);
        Ftk::ReleaseSpotlightMotion(&sm);
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaNode* a = rig.Node("Box.A");
    VOxaNode* b = rig.Node("Box.B");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->GetParent(), b);
    EXPECT_EQ(b->GetParent(), rig.scene->GetRootNode());
    EXPECT_NE(rig.Messages().find("cycle"), std::string::npos);
    // Each instance has a mesh of its own.
    ASSERT_NE(a->GetMesh(), nullptr);
    ASSERT_NE(b->GetMesh(), nullptr);
    EXPECT_NE(a->GetMesh(), b->GetMesh());

    VOxaNode* cam = rig.Node("Cam");
    ASSERT_NE(cam->GetCamera(), nullptr);
    // A 50 mm lens is the 48 degree view the file's camera had.
    EXPECT_NEAR(cam->GetCamera()->ComputeFieldOfViewFromFocalLength(), 48.0, 1e-4);
    EXPECT_NEAR(cam->GetCamera()->GetNearPlane(), 2.0 * 2.54, 1e-6);
    EXPECT_EQ(cam->GetTarget(), rig.Node("Cam.Target"));
    EXPECT_NE(rig.Node("Cam.Target")->GetMarker(), nullptr);
    VOxaNode* spot = rig.Node("Spot");
    ASSERT_NE(spot->GetLight(), nullptr);
    EXPECT_EQ(spot->GetLight()->GetLightType(), VOxaLight::eSPOT);
    EXPECT_EQ(spot->GetTarget(), rig.Node("Spot.Target"));
    ExpectVector(spot->GetPostTargetRotation(), 0, 0, 90);
    EXPECT_NEAR(spot->GetLight()->GetDefaultIntensity(), 50.0, 1e-6);
    // One-key colour, cone and field of view: a key at time 0 and the default.
    VOxaTakeNode* spotTake = spot->GetCurrentTakeNode();
    EXPECT_STREQ(spotTake->GetName(), "default take");
    ASSERT_NE(spotTake->GetColorR(), nullptr);
    EXPECT_EQ(spotTake->GetColorR()->KeyGetCount(), 1);
    EXPECT_EQ(spotTake->GetLightConeAngle()->KeyGetCount(), 1);
    EXPECT_NEAR(spot->GetLight()->GetDefaultConeAngle(), 44.0, 1e-6);  // no hotspot track: the light's own
    EXPECT_EQ(cam->GetCurrentTakeNode()->GetCameraFieldOfView()->KeyGetCount(), 1);
    EXPECT_EQ(cam->GetCurrentTakeNode()->GetCameraRoll()->KeyGetCount(), 1);

    Rig noLights;
    noLights.Set(VStreamOptions3ds::eLIGHTS, 0);
    noLights.Set(VStreamOptions3ds::eCAMERA, 0);
    noLights.Set(VStreamOptions3ds::eGEOMETRIES, 0);
    ASSERT_TRUE(noLights.Read(path));
    EXPECT_EQ(noLights.Node("Spot"), nullptr);
    EXPECT_EQ(noLights.Node("Cam"), nullptr);
    EXPECT_EQ(noLights.Node("Box.A")->GetNodeAttribute(), nullptr);
}

TEST_F(reader3ds, LightsAndCamerasWithoutKeyframerKeepTheirPlace) {
    const std::string path = BuildFile("static.3ds", [](Ftk::Database* db) {
        Ftk::Light* omni = nullptr;
        Ftk::InitLight(&omni);
        std::strcpy(omni->mName, "Omni");
        omni->mPosition = Ftk::Point3{1, 2, 3};
        omni->mColor[0] = 0.5f;
        Ftk::PutOmniLight(db, omni);
        Ftk::ReleaseLight(&omni);
        Ftk::Camera* camera = nullptr;
        Ftk::InitCamera(&camera);
        std::strcpy(camera->mName, "Cam");
        camera->mPosition = Ftk::Point3{0, -10, 0};
        camera->mFieldOfView = 30.0f;
        Ftk::WriteCamera(db, camera);
        Ftk::ReleaseCamera(&camera);
    });
    Rig rig;
    rig.Set(VStreamOptions3ds::eRESCALE, 0);
    ASSERT_TRUE(rig.Read(path));
    VgeTVector t;
    ExpectVector(rig.Node("Omni")->GetLclTranslation(t), 1, 3, -2);
    double r, g, b;
    rig.Node("Omni")->GetLight()->GetDefaultColor(r, g, b);
    EXPECT_NEAR(r, 0.5, 1e-6);
    ExpectVector(rig.Node("Cam")->GetLclTranslation(t), 0, 0, 10);
    // The file's horizontal angle, turned back by the film's aspect and squeeze.
    VOxaCamera* camera = rig.Node("Cam")->GetCamera();
    const double ratio = camera->GetFilmWidth() / camera->GetFilmHeight() * camera->GetFilmSqueezeRatio();
    EXPECT_NEAR(camera->GetDefaultFieldOfView(), 2.0 * std::atan(std::tan(M_PI / 12) / ratio) * 180.0 / M_PI,
                1e-4);
}

// ---- Animation ---------------------------------------------------------------------------------

std::string AnimatedFile() {
    return BuildFile("anim.3ds", [](Ftk::Database* db) {
        PutMesh(db, MakeMesh("Box", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}}));
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Box");
        SetTrack(motion->mPosition, {Key(0), Key(10, 0x05, 0.5f, 0.7f, -0.25f), Key(10), Key(5), Key(20)},
                 {0, 0, 0, 1, 2, 3, 9, 9, 9, 8, 8, 8, 4, 5, 6});
        const float quarter = (float)(M_PI / 4);
        // Two keys of a quarter turn each about the file's Z axis: relative, so 45 then 90.
        SetTrack(motion->mRotation, {Key(0), Key(10), Key(20)},
                 {0, 0, 0, 1, quarter, 0, 0, 1, quarter, 0, 0, 1});
        SetTrack(motion->mScale, {Key(0)}, {2, 3, 4});
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    });
}

TEST_F(reader3ds, KeysAreSkippedWithoutHolesAndCarryTcb) {
    const std::string path = AnimatedFile();
    Rig rig;
    ASSERT_TRUE(rig.Read(path));
    VOxaNode* box = rig.Node("Box");
    VOxaTakeNode* take = box->GetCurrentTakeNode();
    ASSERT_STREQ(take->GetName(), "default take");
    VFCurve* tx = take->GetTranslationX();
    EXPECT_EQ(KeyFrames(tx), (std::vector<int>{0, 10, 20}));
    EXPECT_NEAR(tx->KeyGetValue(1), 2.54, 1e-5);
    EXPECT_NEAR(take->GetTranslationY()->KeyGetValue(2), 6 * 2.54, 1e-4);
    EXPECT_NEAR(take->GetTranslationZ()->KeyGetValue(2), -5 * 2.54, 1e-4);
    EXPECT_EQ(tx->KeyGetInterpolation(1), (unsigned)VFCurveKey::eInterpolationCubic);
    EXPECT_FLOAT_EQ(tx->KeyGetDataRaw(1, VFCurveKey::eTCBTension), 0.5f);
    EXPECT_FLOAT_EQ(tx->KeyGetDataRaw(1, VFCurveKey::eTCBContinuity), 0.0f);  // bit 1 clear
    EXPECT_FLOAT_EQ(tx->KeyGetDataRaw(1, VFCurveKey::eTCBBias), -0.25f);
    // Relative rotations about the file's Z are turns of -45 and -90 degrees about Y.
    VFCurve* ry = take->GetEulerRotationY();
    ASSERT_EQ(ry->KeyGetCount(), 3);
    EXPECT_NEAR(ry->KeyGetValue(1), -45.0, 1e-3);
    EXPECT_NEAR(ry->KeyGetValue(2), -90.0, 1e-3);
    // One scale key: only the default, exchanged as (x, z, y).
    EXPECT_EQ(take->GetScaleX()->KeyGetCount(), 0);
    VgeTVector s;
    ExpectVector(box->GetLclScaling(s), 2, 4, 3);
    // The take spans the file's range (the toolkit's default length of 30 frames) and the keys.
    const VOxaTakeInfo* info = rig.scene->GetTakeInfo("default take");
    EXPECT_EQ(info->mLocalTimeSpan.GetStop().GetFrame(true, VTime::eFRAMES30), 30);

    Rig still;
    still.Set(VStreamOptions3ds::eANIM, 0);
    ASSERT_TRUE(still.Read(path));
    VOxaTakeNode* stillTake = still.Node("Box")->GetCurrentTakeNode();
    EXPECT_EQ(stillTake->GetTranslationX()->KeyGetCount(), 0);
    EXPECT_EQ(stillTake->GetEulerRotationY()->KeyGetCount(), 0);
    VgeTVector r;
    ExpectVector(still.Node("Box")->GetLclRotation(r), 0, 0, 0, 1e-4);  // the first key: angle 0

    Rig reduced;
    reduced.Set(VStreamOptions3ds::eREDUCE_KEYS, 1);
    ASSERT_TRUE(reduced.Read(path));
    VFCurve* reducedY = reduced.Node("Box")->GetCurrentTakeNode()->GetEulerRotationY();
    EXPECT_LE(reducedY->KeyGetCount(), 3);
    EXPECT_NEAR(reducedY->Evaluate(FrameTimeForTest(20), nullptr), -90.0, 1.0);
}

TEST_F(reader3ds, KeyedTracksGiveTheirFrameZeroValueToTheDefaults) {
    const std::string path = BuildFile("frame0.3ds", [](Ftk::Database* db) {
        PutMesh(db, MakeMesh("Box", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}}));
        PutPlainSpotlight(db, "Spot");
        PutPlainCamera(db, "Cam");

        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Box");
        // The first keys lie after frame 0: frame 0 holds the first key's value.
        SetTrack(motion->mPosition, {Key(5), Key(15)}, {1, 2, 3, 7, 8, 9});
        const float quarter = (float)(M_PI / 4);
        SetTrack(motion->mRotation, {Key(0), Key(10)}, {quarter, 0, 0, 1, quarter, 0, 0, 1});
        SetTrack(motion->mScale, {Key(0), Key(10)}, {2, 3, 4, 1, 1, 1});
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
        Ftk::SpotlightMotion* sm = nullptr;
        Ftk::InitSpotlightMotion(&sm, 1, 0, 0, 1, 1, 1);
        std::strcpy(sm->mName, "Spot");
        SetTrack(sm->mColor, {Key(0), Key(10)}, {0.5f, 0.25f, 1, 1, 1, 1});
        SetTrack(sm->mHotspot, {Key(0), Key(10)}, {30, 50});
        Ftk::PutSpotlightMotion(db, sm);
        Ftk::ReleaseSpotlightMotion(&sm);
        Ftk::CameraMotion* cm = nullptr;
        Ftk::InitCameraMotion(&cm, 1, 0, 0, 1);
        std::strcpy(cm->mName, "Cam");
        SetTrack(cm->mFieldOfView, {Key(0), Key(10)}, {50, 70});
        SetTrack(cm->mRoll, {Key(0), Key(10)}, {12, 20});
        Ftk::PutCameraMotion(db, cm);
        Ftk::ReleaseCameraMotion(&cm);
        // The file's range: frames 0 to 40, no segment.
        Ftk::KeyframerSettings* range = nullptr;
        Ftk::InitKeyframerSettings(&range);
        range->mAnimationLength = 40;
        Ftk::PutKeyframerSettings(db, range);
        Ftk::ReleaseKeyframerSettings(&range);
    });
    Rig rig;
    rig.Set(VStreamOptions3ds::eRESCALE, 0);
    ASSERT_TRUE(rig.Read(path)) << rig.reader.GetError().GetLastErrorString().Buffer();
    VOxaNode* box = rig.Node("Box");
    VgeTVector v;
    ExpectVector(box->GetLclTranslation(v), 1, 3, -2);
    ExpectVector(box->GetLclRotation(v), 0, -45, 0, 1e-3);
    ExpectVector(box->GetLclScaling(v), 2, 4, 3);
    VOxaTakeNode* take = box->GetCurrentTakeNode();
    EXPECT_NEAR(take->GetTranslationY()->GetDefaultValue(), 3, 1e-5);
    EXPECT_NEAR(take->GetEulerRotationY()->GetDefaultValue(), -45, 1e-3);
    EXPECT_NEAR(take->GetScaleZ()->GetDefaultValue(), 3, 1e-5);
    EXPECT_EQ(take->GetTranslationX()->KeyGetCount(), 2);

    VOxaLight* light = rig.Node("Spot")->GetLight();
    double r, g, b;
    light->GetDefaultColor(r, g, b);
    EXPECT_NEAR(r, 0.5, 1e-6);
    EXPECT_NEAR(g, 0.25, 1e-6);
    EXPECT_NEAR(light->GetDefaultConeAngle(), 30, 1e-5);

    // The file's horizontal angle of 50 at frame 0, turned back by the film's aspect and squeeze.
    VOxaCamera* camera = rig.Node("Cam")->GetCamera();
    const double ratio = camera->GetFilmWidth() / camera->GetFilmHeight() * camera->GetFilmSqueezeRatio();
    const double angle = 2.0 * std::atan(std::tan(25.0 * M_PI / 180) / ratio) * 180.0 / M_PI;
    EXPECT_NEAR(camera->GetDefaultFieldOfView(), angle, 1e-3);
    VFCurve* fov = rig.Node("Cam")->GetCurrentTakeNode()->GetCameraFieldOfView();
    ASSERT_EQ(fov->KeyGetCount(), 2);
    EXPECT_NEAR(fov->KeyGetValue(0), angle, 1e-3);
    EXPECT_NEAR(camera->GetRoll(), 12, 1e-5);

    // The take spans the file's length, past the last key.
    const VOxaTakeInfo* info = rig.scene->GetTakeInfo("default take");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStart().GetFrame(true, VTime::eFRAMES30), 0);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop().GetFrame(true, VTime::eFRAMES30), 40);
}

TEST_F(reader3ds, TheTakeSpansTheFileSegmentAndTheKeys) {
    auto build = [](const char* name, int first, int last, int length) {
        return BuildFile(name, [=](Ftk::Database* db) {
            PutMesh(db, MakeMesh("Box", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}}));
            Ftk::ObjectMotion* motion = nullptr;
            Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
            std::strcpy(motion->mName, "Box");
            SetTrack(motion->mPosition, {Key(20), Key(30)}, {1, 2, 3, 7, 8, 9});
            Ftk::PutObjectMotion(db, motion);
            Ftk::ReleaseObjectMotion(&motion);
            Ftk::KeyframerSettings* range = nullptr;
            Ftk::InitKeyframerSettings(&range);
            range->mAnimationLength = length;
            range->mSegmentInUse = true;
            range->mSegmentFirst = first;
            range->mSegmentLast = last;
            Ftk::PutKeyframerSettings(db, range);
            Ftk::ReleaseKeyframerSettings(&range);
        });
    };
    auto span = [](const std::string& path) {
        Rig rig;
        EXPECT_TRUE(rig.Read(path));
        const VOxaTakeInfo* info = rig.scene->GetTakeInfo("default take");
        if (!info) return std::make_pair(-1, -1);
        return std::make_pair((int)info->mLocalTimeSpan.GetStart().GetFrame(true, VTime::eFRAMES30),
                              (int)info->mLocalTimeSpan.GetStop().GetFrame(true, VTime::eFRAMES30));
    };
    // The segment as it is, not the length, also where keys (20 to 30) lie outside it.
    EXPECT_EQ(span(build("seg1.3ds", 10, 50, 80)), std::make_pair(10, 50));
    EXPECT_EQ(span(build("seg2.3ds", 25, 28, 80)), std::make_pair(25, 28));
    // A segment may start before 0 (frames are signed); one that ends before it starts is not a
    // range: the keys' span.
    EXPECT_EQ(span(build("seg3.3ds", -5, 50, 80)), std::make_pair(-5, 50));
    EXPECT_EQ(span(build("seg5.3ds", 40, 39, 80)), std::make_pair(20, 30));
    // A segment and length wholly before 0 are the file's too.
    EXPECT_EQ(span(build("seg6.3ds", -10, -2, -2)), std::make_pair(-10, -2));
    // A one-frame segment stays one frame.
    EXPECT_EQ(span(build("seg4.3ds", 40, 40, 80)), std::make_pair(40, 40));
}

TEST_F(reader3ds, LightColourCameraRollAndEverySpotlightAreAnimated) {
    const std::string path = BuildFile("lights_anim.3ds", [](Ftk::Database* db) {
        Ftk::Light* omni = nullptr;
        Ftk::InitLight(&omni);
        std::strcpy(omni->mName, "Omni");
        Ftk::PutOmniLight(db, omni);
        Ftk::ReleaseLight(&omni);
        for (const char* name : {"SpotA", "SpotB"})
            PutPlainSpotlight(db, name);
        PutPlainCamera(db, "Cam");

        Ftk::OmniLightMotion* om = nullptr;
        Ftk::InitOmniLightMotion(&om, 1, 0);
        std::strcpy(om->mName, "Omni");
        SetTrack(om->mColor, {Key(0), Key(10), Key(20)}, {1, 0, 0, 0, 1, 0, 0.25f, 0.5f, 0.75f});
        Ftk::PutOmniLightMotion(db, om);
        Ftk::ReleaseOmniLightMotion(&om);
        for (const char* name : {"SpotA", "SpotB"}) {
            Ftk::SpotlightMotion* sm = nullptr;
            Ftk::InitSpotlightMotion(&sm, 1, 1, 1, 1, 1, 1);
            std::strcpy(sm->mName, name);
            Ftk::PutSpotlightMotion(db, sm);
            Ftk::ReleaseSpotlightMotion(&sm);
        }
        Ftk::CameraMotion* cm = nullptr;
        Ftk::InitCameraMotion(&cm, 1, 1, 0, 1);
        std::strcpy(cm->mName, "Cam");
        SetTrack(cm->mRoll, {Key(0), Key(5), Key(15)}, {0, 10, 30});
        Ftk::PutCameraMotion(db, cm);
        Ftk::ReleaseCameraMotion(&cm);
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path)) << rig.reader.GetError().GetLastErrorString().Buffer();
    // Three colour keys on each channel.
    VOxaTakeNode* omni = rig.Node("Omni")->GetCurrentTakeNode();
    EXPECT_EQ(KeyFrames(omni->GetColorR()), (std::vector<int>{0, 10, 20}));
    EXPECT_EQ(KeyFrames(omni->GetColorB()), (std::vector<int>{0, 10, 20}));
    EXPECT_NEAR(omni->GetColorG()->KeyGetValue(1), 1.0, 1e-6);
    EXPECT_NEAR(omni->GetColorB()->KeyGetValue(2), 0.75, 1e-6);
    // Every spotlight motion gives a light node and its target.
    for (const char* name : {"SpotA", "SpotB"}) {
        VOxaNode* spot = rig.Node(name);
        ASSERT_NE(spot, nullptr) << name;
        ASSERT_NE(spot->GetLight(), nullptr) << name;
        EXPECT_EQ(spot->GetTarget(), rig.Node((std::string(name) + ".Target").c_str())) << name;
    }
    // One float a roll key: all three keys are used.
    VFCurve* roll = rig.Node("Cam")->GetCurrentTakeNode()->GetCameraRoll();
    EXPECT_EQ(KeyFrames(roll), (std::vector<int>{0, 5, 15}));
    ASSERT_EQ(roll->KeyGetCount(), 3);
    EXPECT_NEAR(roll->KeyGetValue(2), 30.0, 1e-6);
}

// ---- Faults --------------------------------------------------------------------------------------

TEST_F(reader3ds, BadIndexesAreScreened) {
    const std::string path = BuildFile("bad_indexes.3ds", [](Ftk::Database* db) {
        Ftk::Material* m = nullptr;
        Ftk::InitMaterial(&m);
        std::strcpy(m->mName, "Mat");
        Ftk::WriteMaterial(db, m);
        Ftk::ReleaseMaterial(&m);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 4, 3, Ftk::kMeshSmoothing);
        std::strcpy(mesh->mName, "Bad");
        mesh->mVertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
        mesh->mFaces = {{0, 1, 2, 0}, {0, 1, 9, 0}, {1, 3, 2, 0}};  // face 1 names vertex 9
        mesh->mSmoothing = {1};                                     // masks for face 0 only
        mesh->mMappingCount = 2;                                    // UVs for vertices 0 and 1
        mesh->mMapping = {{0.5f, 0.5f}, {1, 1}};
        mesh->mMaterialGroupCount = 1;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        mesh->mMaterialGroups[0].mName = "Mat";
        Ftk::AllocMaterialGroupFaces(mesh, 0, 2);
        mesh->mMaterialGroups[0].mFaces = {2, 700};  // 700 names no face
        PutMesh(db, mesh);
    });
    Rig rig;
    ASSERT_TRUE(rig.Read(path)) << rig.reader.GetError().GetLastErrorString().Buffer();
    VOxaMesh* mesh = rig.Node("Bad")->GetMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetPolygonCount(), 2);
    // Face 2 lies beyond the smoothing masks: mask 0, so its corners 1 and 2, used before by
    // face 0, get normals of their own; the vertices stay the file's.
    EXPECT_EQ(mesh->GetControlPointsCount(), 4);
    EXPECT_EQ(mesh->GetLayer(0)->GetNormals()->GetDirectArray().GetCount(), 6);
    // The group's face 2 takes the material; its index 700 is ignored.
    EXPECT_EQ(mesh->GetMaterialCount(0), 1);
    EXPECT_EQ((*mesh->GetMaterialIndices())[1], 0);
    EXPECT_NE(rig.Messages().find("Mesh Bad: 1 face(s) skipped"), std::string::npos);
    const VgeVector2* uv = mesh->GetTextureUV();
    ASSERT_NE(uv, nullptr);
    EXPECT_EQ(uv[3][0], 0.0);  // beyond the mapping coordinates
    EXPECT_EQ(uv[0][0], 0.5);
}

TEST_F(reader3ds, FailedReadDoesNotStopTheNextOne) {
    const std::string good = BuildFile("good.3ds", [](Ftk::Database* db) {
        PutMesh(db, MakeMesh("Tri", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 1, 2, 0}}));
    });
    // A scene chunk whose first child claims more bytes than there are.
    const std::string bad = Scratch("bad.3ds").string();
    {
        const unsigned char bytes[] = {0x4D, 0x4D, 0x20, 0, 0, 0, 0x3D, 0x3D, 0xFF, 0xFF, 0, 0, 1, 2, 3, 4};
        FILE* f = std::fopen(bad.c_str(), "wb");
        std::fwrite(bytes, 1, sizeof bytes, f);
        std::fclose(f);
    }
    Rig first;
    EXPECT_FALSE(first.Read(bad));
    EXPECT_EQ(first.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    EXPECT_FALSE(first.reader.IsFileOpen());  // released on the failure path
    Rig second;
    ASSERT_TRUE(second.Read(good)) << second.reader.GetError().GetLastErrorString().Buffer();
    EXPECT_NE(second.Node("Tri"), nullptr);

    Rig missing;
    EXPECT_FALSE(missing.reader.FileOpen(Scratch("none.3ds").c_str()));
    EXPECT_EQ(missing.reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    Rig again;
    EXPECT_TRUE(again.Read(good));

    // Foreign options: error 6, the read goes on with the defaults.
    Rig foreign;
    VStreamOptionsObj obj;
    ASSERT_TRUE(foreign.reader.FileOpen(good.c_str()));
    EXPECT_TRUE(foreign.reader.Read(foreign.scene, &obj));
    EXPECT_EQ(foreign.reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    // A reader made without a manager has nowhere to create objects: it refuses the read.
    VOxaSdkManager manager;
    VOxaReader3DS orphan(nullptr);
    ASSERT_TRUE(orphan.FileOpen(good.c_str()));
    EXPECT_FALSE(orphan.Read(manager.CreateScene(), nullptr));
    EXPECT_EQ(orphan.GetError().GetLastErrorID(), VOxaReader::eUNIDENTIFIED_ERROR);
    EXPECT_FALSE(orphan.IsFileOpen());
    EXPECT_EQ(VOxaFindReaderFormat("3DS"), VOxaFindReaderFormat("3ds"));
    ASSERT_GE(VOxaFindReaderFormat("3ds"), 0);
}

}  // namespace

TEST_F(reader3ds, ObjectNamesLongerThanOtherReadersTakeAreCutApartWithAWarning) {
    // Two objects whose 70-byte names differ only in their last byte and one of 65 bytes, each
    // with a keyframer node of its name: none refuses the file, and none takes another's mesh.
    using namespace ftktest;
    const std::string longA = std::string(69, 'L') + "A", longB = std::string(69, 'L') + "B";
    const std::string just = std::string(64, 'J') + "x";
    auto object = [](const std::string& name, int triangles) {
        Bytes points;
        Put16(points, (uint16_t)(triangles + 2));
        for (int i = 0; i < triangles + 2; ++i)
            for (float v : {(float)i, (float)(i % 2), 0.0f})
                PutFloat(points, v);
        Bytes faces;
        Put16(faces, (uint16_t)triangles);
        for (int i = 0; i < triangles; ++i)
            for (int v : {i, i + 1, i + 2, 7})
                Put16(faces, (uint16_t)v);
        return ChunkBytes(
            Ftk::OBJECT_BLOCK, Text(name),
            {ChunkBytes(Ftk::TRIANGLE_MESH, {},
                        {ChunkBytes(Ftk::MESH_VERTICES, points), ChunkBytes(Ftk::MESH_FACES, faces)})});
    };
    auto node = [](const std::string& name, uint16_t id) {
        Bytes header = Text(name);
        for (uint16_t v : {0, 0, 0xFFFF})
            Put16(header, v);
        return ChunkBytes(Ftk::OBJECT_NODE, {},
                          {ChunkBytes(Ftk::NODE_ID, Shorts({id})), ChunkBytes(Ftk::NODE_HEADER, header)});
    };
    const std::string path = Scratch("long_names.3ds").string();
    WriteFile(
        path,
        ChunkBytes(Ftk::FILE_MAIN, {},
                   {ChunkBytes(Ftk::EDITOR_DATA, {}, {object(longA, 1), object(longB, 2), object(just, 3)}),
                    ChunkBytes(Ftk::KEYFRAMER_DATA, {}, {node(longA, 0), node(longB, 1), node(just, 2)})}));
    Rig rig;
    ASSERT_TRUE(rig.Read(path)) << rig.reader.GetError().GetLastErrorString().Buffer();
    std::vector<int> counts;
    std::vector<std::string> names;
    for (int i = 0; i < rig.manager.GetNodeCount(); ++i) {
        VOxaNode* n = rig.manager.GetNode(i);
        if (!n->GetMesh()) continue;
        counts.push_back(n->GetMesh()->GetControlPointsCount());
        names.push_back(n->GetNameWithoutPrefix());
    }
    EXPECT_EQ(counts, (std::vector<int>{3, 4, 5}));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_NE(names[0], names[1]);
    for (const std::string& name : names)
        EXPECT_EQ(name.size(), 64u) << name;
    EXPECT_EQ(names[0].substr(0, 55), longA.substr(0, 55));
    EXPECT_EQ(names[2].substr(0, 55), just.substr(0, 55));
    const std::string messages = rig.Messages();
    for (const std::string& name : {longA, longB, just})
        EXPECT_NE(messages.find("Name \"" + name + "\" is longer than 64 bytes"), std::string::npos)
            << messages;
}
