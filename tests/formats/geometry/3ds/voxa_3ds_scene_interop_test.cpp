// 3DS scenes built record by record with the toolkit, as a modelling program writes them, put
// through the toolkit (3DS -> 3DS, 3DS -> OBJ and DXF) and judged with lib3ds: world vertices of
// mirrored, instanced and unevenly scaled nodes, the keyframer range, spotlight cones, camera roll,
// names and meshes too large for one 3DS object. Without lib3ds's development package the tests
// skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#endif

using namespace interop3ds;
using namespace writer3ds;

namespace {

#ifdef OXA_HAVE_LIB3DS

constexpr float kPi = 3.14159265358979f;

// ---- Source files, record by record -------------------------------------------------------------

void Build(const std::string& path, const std::function<void(Ftk::Database*)>& fill) {
    EXPECT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db, [](Ftk::MeshSettings* settings) { settings->mMasterScale = 1.0f; });
        fill(db);
    })) << path;
    Ftk::ClearErrors();
}

// A lopsided solid (no mirror image of it equals it): its points carried through the mesh matrix
// `axes` (three rows, then the origin), as a modelling program stores them.
void PutSolid(Ftk::Database* db, const char* name, const float axes[12]) {
    const float local[6][3] = {{1, 0, 0}, {3, 0, 0}, {1, 1, 0}, {1, 0, 2}, {4, 0.5f, 1}, {2, 3, 0.5f}};
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 6, 4, 0);
    Ftk::CopyName(mesh->mName, sizeof mesh->mName, name);
    for (int i = 0; i < 6; ++i) {
        float p[3];
        for (int c = 0; c < 3; ++c)
            p[c] =
                local[i][0] * axes[c] + local[i][1] * axes[3 + c] + local[i][2] * axes[6 + c] + axes[9 + c];
        mesh->mVertices[(size_t)i] = Ftk::Point3{p[0], p[1], p[2]};
    }
    const Ftk::Face faces[4] = {{0, 1, 2, 7}, {0, 3, 1, 7}, {1, 4, 2, 7}, {2, 5, 3, 7}};
    std::copy(faces, faces + 4, mesh->mFaces.begin());
    std::memcpy(mesh->mLocalAxes, axes, sizeof mesh->mLocalAxes);
    Ftk::WriteMesh(db, mesh);
    Ftk::ReleaseMesh(&mesh);
}

// A closed box of 12 triangles under the mesh matrix `axes`, its corners facing out over the
// points as stored, as the one public scene of objects whose axes mirror stores them.
void PutBox(Ftk::Database* db, const char* name, const float axes[12]) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 8, 12, 0);
    Ftk::CopyName(mesh->mName, sizeof mesh->mName, name);
    for (int i = 0; i < 8; ++i) {
        const float local[3] = {(float)(i & 1), (float)(i >> 1 & 1) * 2.0f, (float)(i >> 2) * 3.0f};
        float p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = local[0] * axes[c] + local[1] * axes[3 + c] + local[2] * axes[6 + c] + axes[9 + c];
        mesh->mVertices[(size_t)i] = Ftk::Point3{p[0], p[1], p[2]};
    }
    const float det = axes[0] * (axes[4] * axes[8] - axes[5] * axes[7]) -
                      axes[1] * (axes[3] * axes[8] - axes[5] * axes[6]) +
                      axes[2] * (axes[3] * axes[7] - axes[4] * axes[6]);
    const uint16_t out[12][3] = {{0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}, {0, 1, 5}, {0, 5, 4},
                                 {2, 6, 7}, {2, 7, 3}, {0, 4, 6}, {0, 6, 2}, {1, 3, 7}, {1, 7, 5}};
    for (int f = 0; f < 12; ++f)
        mesh->mFaces[(size_t)f] = det < 0 ? Ftk::Face{out[f][0], out[f][2], out[f][1], 7}
                                          : Ftk::Face{out[f][0], out[f][1], out[f][2], 7};
    std::memcpy(mesh->mLocalAxes, axes, sizeof mesh->mLocalAxes);
    Ftk::WriteMesh(db, mesh);
    Ftk::ReleaseMesh(&mesh);
}

void SetKey(Ftk::Track& track, std::initializer_list<float> values) {
    track.mKeyCount = 1;
    track.mKeys.assign(1, Ftk::KeyHeader());
    track.mValues.assign(values.begin(), values.end());
}

// An object node with one key per track: position, rotation (angle, axis) and scale.
void PutNode(Ftk::Database* db, const char* name, const char* instance, const char* parent,
             std::initializer_list<float> position, std::initializer_list<float> rotation,
             std::initializer_list<float> scale, Ftk::Point3 pivot = {0, 0, 0}) {
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::InitObjectMotion(&motion, 1, 1, 1, 0, 0);
    Ftk::CopyName(motion->mName, sizeof motion->mName, name);
    Ftk::CopyName(motion->mInstanceName, sizeof motion->mInstanceName, instance);
    Ftk::CopyName(motion->mParentName, sizeof motion->mParentName, parent);
    motion->mPivot = pivot;
    SetKey(motion->mPosition, position);
    SetKey(motion->mRotation, rotation);
    SetKey(motion->mScale, scale);
    Ftk::PutObjectMotion(db, motion);
    Ftk::ReleaseObjectMotion(&motion);
}

// A dummy below which a mirrored mesh hangs, an instance of it turned by one 180-degree key, and
// a dummy scaled (1, 1, 2.2) whose turned children are sheared; one mesh has a mirrored matrix.
// Master scale 0.1.
void BuildTransformScene(const std::string& path) {
    Build(path, [](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db, [](Ftk::MeshSettings* settings) { settings->mMasterScale = 0.1f; });
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        const float mirrored[12] = {-1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 0, 1};
        PutSolid(db, "Solid", identity);
        PutSolid(db, "Flipped", mirrored);
        PutNode(db, "$$$DUMMY", "Group", "", {10, 5, 0}, {kPi / 6, 0, 0, 1}, {1, 1, 1});
        PutNode(db, "Solid", "", "$$$DUMMY.Group", {1, 2, 3}, {0, 0, 0, 1}, {-1, -1, -1}, {0.5f, 0, 0});
        PutNode(db, "Solid", "Turned", "", {-5, 0, 0}, {kPi, 0, 0.6f, 0.8f}, {1, 1, 1});
        PutNode(db, "Solid", "TurnX", "", {0, -6, 0}, {kPi, 1, 0, 0}, {1, 1, 1}, {1, 1, 0});
        PutNode(db, "Solid", "TurnY", "", {0, 6, 0}, {kPi, 0, 1, 0}, {1, 1, 1}, {0, 2, 1});
        PutNode(db, "Solid", "TurnZ", "$$$DUMMY.Group", {3, 0, -4}, {kPi, 0, 0, 1}, {2, 2, 2}, {1, 0, 0});
        PutNode(db, "$$$DUMMY", "Stretch", "", {0, 0, 5}, {0, 0, 0, 1}, {1, 1, 2.2f});
        PutNode(db, "Flipped", "", "$$$DUMMY.Stretch", {1, 0, 0}, {0.7f, 1, 0, 0}, {1, 1, 1});
        PutNode(db, "Solid", "Below", "$$$DUMMY.Stretch", {0, 2, 0}, {0.9f, 0.6f, 0, 0.8f}, {1, 0.5f, 1});
        // A box whose axes mirror, placed by a node that mirrors too and by one that does not.
        PutBox(db, "Crate", mirrored);
        PutNode(db, "Crate", "", "", {2, 0, 1}, {0.4f, 0, 0, 1}, {-1, 1, 1});
        PutNode(db, "Crate", "Plain", "", {-8, 3, 0}, {0, 0, 0, 1}, {1, 1, 1});
    });
}

#endif  // OXA_HAVE_LIB3DS

#ifndef OXA_HAVE_LIB3DS
const char* const kNoLib3ds = "lib3ds is not installed (Debian package lib3ds-dev)";
#endif

}  // namespace

TEST(scene3ds_interop, MirroredInstancedAndScaledNodesKeepTheirWorldVertices) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("transforms");
    const std::string source = dir / "source.3ds";
    BuildTransformScene(source);
    // lib3ds's own picture: the mirrored solid below the dummy turned inside out, and so on.
    const std::vector<VgeTVector> zUp = WorldVertices(source, false, 1.0);
    ASSERT_EQ(zUp.size(), 58u);

    Session trip;
    ASSERT_TRUE(trip.Read(source));
    ASSERT_TRUE(trip.Write<VOxaWriter3DS>(dir / "trip.3ds"));
    ExpectSamePoints(zUp, WorldVertices(dir / "trip.3ds", false, 1.0), 1e-3 * Extent(zUp), "3DS -> 3DS");
    // Where the source stores its objects, under its mesh matrices and master scale: so a
    // reader without keyframer or master scale sees them, and lib3ds smooths them, as it did.
    {
        File3ds a(source), b(dir / "trip.3ds");
        ASSERT_TRUE(a.file && b.file);
        EXPECT_EQ(b.file->master_scale, a.file->master_scale);
        for (Lib3dsMesh* m = a.file->meshes; m; m = m->next) {
            Lib3dsMesh* w = lib3ds_file_mesh_by_name(b.file, m->name);
            ASSERT_TRUE(w && w->points == m->points) << m->name;
            for (Lib3dsDword i = 0; i < m->points; ++i)
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(w->pointL[i].pos[j], m->pointL[i].pos[j], 1e-5) << m->name << " " << i;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_EQ(w->matrix[r][c], m->matrix[r][c]) << m->name;
        }
    }
    // Twice over: the written file reads back as it was written.
    Session again;
    ASSERT_TRUE(again.Read(dir / "trip.3ds"));
    ASSERT_TRUE(again.Write<VOxaWriter3DS>(dir / "trip2.3ds"));
    ExpectSamePoints(zUp, WorldVertices(dir / "trip2.3ds", false, 1.0), 1e-3 * Extent(zUp),
                     "3DS -> 3DS -> 3DS");

    // OBJ: Y-up centimetres; DXF: Z-up centimetres.
    Session obj;
    ASSERT_TRUE(obj.Read(source));
    ASSERT_TRUE(obj.Write<VOxaWriterObj>(dir / "out.obj"));
    const std::vector<VgeTVector> yUpCm = WorldVertices(source, true, 2.54);
    ExpectSamePoints(yUpCm, ObjVertices(dir / "out.obj"), 1e-3 * Extent(yUpCm), "3DS -> OBJ");
    Session dxf;
    ASSERT_TRUE(dxf.Read(source));
    ASSERT_TRUE(dxf.Write<VOxaWriterDxf>(dir / "out.dxf"));
    const std::vector<VgeTVector> zUpCm = WorldVertices(source, false, 2.54);
    ExpectSamePoints(zUpCm, DxfVertices(dir / "out.dxf"), 1e-3 * Extent(zUpCm), "3DS -> DXF");

    // The box faces out through OBJ and DXF, both placements: back in 3DS, each copy bounds a
    // positive volume with the faces as lib3ds places them.
    for (const std::string through : {"out.obj", "out.dxf"}) {
        Session back;
        std::unique_ptr<VOxaReader> reader;
        if (through == "out.obj")
            reader.reset(new VOxaReaderObj(&back.manager));
        else
            reader.reset(new VOxaReaderDxf(&back.manager));
        std::unique_ptr<VStreamOptions> options(reader->GetReadOptions());
        ASSERT_TRUE(reader->FileOpen((dir / through).c_str()) && reader->Read(back.scene, options.get()));
        reader->FileClose();
        ASSERT_TRUE(back.Write<VOxaWriter3DS>(dir / "back.3ds")) << through;
        File3ds file(dir / "back.3ds");
        ASSERT_NE(file.file, nullptr) << through;
        std::vector<double> volumes;
        lib3ds_file_eval(file.file, 0.0f);
        Walk(file.file->nodes, [&](Lib3dsNode* node) {
            Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file.file, node->name);
            if (node->type != LIB3DS_OBJECT_NODE || !mesh || std::strncmp(mesh->name, "Crate", 5) != 0)
                return;
            Lib3dsMatrix m;
            PlacingMatrix(node, mesh, m);
            double volume = 0.0;
            for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
                Lib3dsVector p[3];
                for (int k = 0; k < 3; ++k)
                    lib3ds_vector_transform(p[k], m,
                                            mesh->pointL[mesh->faceL[f].points[k] % mesh->points].pos);
                volume += (p[0][0] * (p[1][1] * p[2][2] - p[1][2] * p[2][1]) -
                           p[0][1] * (p[1][0] * p[2][2] - p[1][2] * p[2][0]) +
                           p[0][2] * (p[1][0] * p[2][1] - p[1][1] * p[2][0])) /
                          6.0;
            }
            volumes.push_back(volume);
        });
        // Outward, and both copies alike (the trip's unit aside).
        ASSERT_EQ(volumes.size(), 2u) << through;
        EXPECT_GT(volumes[0], 0.0) << through;
        EXPECT_NEAR(volumes[1], volumes[0], 1e-4 * std::fabs(volumes[0])) << through;
    }
#endif
}

TEST(scene3ds_interop, RangeSpotConesCameraRollAndNamesSurviveATrip) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("range");
    const std::string source = dir / "source.3ds";
    Build(source, [](Ftk::Database* db) {
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        for (const char* name : {"GeoSphere0", "Object01", "Object02"}) {
            PutSolid(db, name, identity);
            PutNode(db, name, "", "", {0, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        }
        // A rig dummy carrying a spotlight: the mesh section holds the light in the world.
        PutNode(db, "$$$DUMMY", "Rig", "", {100, 0, 0}, {0, 0, 0, 1}, {1, 1, 1});
        Ftk::Light* spot = nullptr;
        Ftk::InitSpotlight(&spot);
        Ftk::CopyName(spot->mName, sizeof spot->mName, "Spotlight1");
        spot->mPosition = Ftk::Point3{110, 20, 30};
        spot->mSpot->mTarget = Ftk::Point3{0, 0, 0};
        spot->mSpot->mHotspot = 30;
        spot->mSpot->mFalloff = 60;
        Ftk::PutSpotlight(db, spot);
        Ftk::ReleaseLight(&spot);
        Ftk::SpotlightMotion* sm = nullptr;
        Ftk::InitSpotlightMotion(&sm, 1, 1, 1, 1, 1, 1);
        Ftk::CopyName(sm->mName, sizeof sm->mName, "Spotlight1");
        Ftk::CopyName(sm->mParentName, sizeof sm->mParentName, "$$$DUMMY.Rig");
        SetKey(sm->mPosition, {10, 20, 30});
        SetKey(sm->mHotspot, {30});
        SetKey(sm->mFalloff, {60});
        SetKey(sm->mTargetPosition, {0, 0, 0});
        Ftk::PutSpotlightMotion(db, sm);
        Ftk::ReleaseSpotlightMotion(&sm);

        Ftk::Camera* camera = nullptr;
        Ftk::InitCamera(&camera);
        Ftk::CopyName(camera->mName, sizeof camera->mName, "Camera0001");
        camera->mPosition = Ftk::Point3{0, -100, 20};
        camera->mTarget = Ftk::Point3{0, 0, 0};
        camera->mRoll = -25;
        camera->mFieldOfView = 50;
        Ftk::WriteCamera(db, camera);
        Ftk::ReleaseCamera(&camera);
        Ftk::CameraMotion* cm = nullptr;
        Ftk::InitCameraMotion(&cm, 1, 1, 1, 1);
        Ftk::CopyName(cm->mName, sizeof cm->mName, "Camera0001");
        SetKey(cm->mPosition, {0, -100, 20});
        SetKey(cm->mFieldOfView, {50});
        SetKey(cm->mRoll, {-25});
        SetKey(cm->mTargetPosition, {0, 0, 0});
        Ftk::PutCameraMotion(db, cm);
        Ftk::ReleaseCameraMotion(&cm);

        Ftk::KeyframerSettings* range = nullptr;
        Ftk::InitKeyframerSettings(&range);
        range->mAnimationLength = 64;
        range->mSegmentInUse = true;
        range->mSegmentFirst = 5;
        range->mSegmentLast = 40;
        Ftk::PutKeyframerSettings(db, range);
        Ftk::ReleaseKeyframerSettings(&range);
    });
    Session session;
    ASSERT_TRUE(session.Read(source));
    ASSERT_TRUE(session.Write<VOxaWriter3DS>(dir / "trip.3ds"));
    // No name needed a change: no warning.
    EXPECT_EQ(session.messages.find("is written as"), std::string::npos) << session.messages;

    File3ds trip(dir / "trip.3ds");
    ASSERT_NE(trip.file, nullptr);
    Lib3dsFile* file = trip.file;
    EXPECT_EQ(file->frames, 64);
    EXPECT_EQ(file->segment_from, 5);
    EXPECT_EQ(file->segment_to, 40);
    std::set<std::string> meshes;
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next)
        meshes.insert(mesh->name);
    EXPECT_EQ(meshes, (std::set<std::string>{"GeoSphere0", "Object01", "Object02"}));

    Lib3dsLight* light = lib3ds_file_light_by_name(file, "Spotlight1");
    ASSERT_NE(light, nullptr);
    EXPECT_NEAR(light->hot_spot, 30, 1e-3);
    EXPECT_NEAR(light->fall_off, 60, 1e-3);
    // Positions in the file's master-scale units (the trip writes centimetres).
    const double unit = file->master_scale;
    EXPECT_NEAR(light->position[0] * unit, 110, 1e-3);
    EXPECT_NEAR(light->position[1] * unit, 20, 1e-3);
    EXPECT_NEAR(light->position[2] * unit, 30, 1e-3);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(light->spot[c], 0, 1e-3) << c;
    Lib3dsCamera* camera = lib3ds_file_camera_by_name(file, "Camera0001");
    ASSERT_NE(camera, nullptr);
    EXPECT_NEAR(camera->roll, -25, 1e-3);

    // The keyframer agrees: falloff and roll at frame 0, and every node under its own name.
    lib3ds_file_eval(file, 0.0f);
    Lib3dsNode* spotNode = lib3ds_file_node_by_name(file, "Spotlight1", LIB3DS_LIGHT_NODE);
    ASSERT_NE(spotNode, nullptr);
    EXPECT_NEAR(spotNode->data.light.hotspot, 30, 1e-3);
    EXPECT_NEAR(spotNode->data.light.falloff, 60, 1e-3);
    EXPECT_NEAR(spotNode->matrix[3][0] * unit, 110, 1e-3);
    Lib3dsNode* cameraNode = lib3ds_file_node_by_name(file, "Camera0001", LIB3DS_CAMERA_NODE);
    ASSERT_NE(cameraNode, nullptr);
    EXPECT_NEAR(cameraNode->data.camera.roll, -25, 1e-3);
    for (const char* name : {"GeoSphere0", "Object01", "Object02"})
        EXPECT_NE(lib3ds_file_node_by_name(file, name, LIB3DS_OBJECT_NODE), nullptr) << name;
#endif
}

TEST(scene3ds_interop, LongObjectNamesAreReadWhole) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("long");
    const std::string source = dir / "long.3ds";
    const char* const name = "SeventeenCharName";
    Build(source, [&](Ftk::Database* db) {
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        PutSolid(db, name, identity);
        PutNode(db, name, "", "", {1, 2, 3}, {0, 0, 0, 1}, {1, 1, 1});
    });
    File3ds check(source);
    ASSERT_NE(check.file, nullptr);
    ASSERT_NE(lib3ds_file_mesh_by_name(check.file, name), nullptr);

    Session session;
    VOxaReader3DS reader(&session.manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen(source.c_str()));
    ASSERT_TRUE(reader.Read(session.scene, options.get())) << reader.GetError().GetLastErrorString().Buffer();
    reader.FileClose();
    VOxaNode* node = session.scene->GetRootNode()->FindChild(name);
    ASSERT_NE(node, nullptr);
    ASSERT_NE(node->GetMesh(), nullptr);
    EXPECT_EQ(node->GetMesh()->GetControlPointsCount(), 6);
    // Written again, it takes a 3DS name, and says so.
    ASSERT_TRUE(session.Write<VOxaWriter3DS>(dir / "trip.3ds"));
    EXPECT_NE(session.messages.find("\"SeventeenCharName\" is written as \"SeventeenC\""), std::string::npos)
        << session.messages;
    File3ds trip(dir / "trip.3ds");
    ASSERT_NE(trip.file, nullptr);
    EXPECT_NE(lib3ds_file_mesh_by_name(trip.file, "SeventeenC"), nullptr);

    // A name cut at 10 bytes keeps whole UTF-8 characters: the "é" whose first byte is the 10th
    // goes whole.
    const char* const wide =
        "\xC3\x9Cn\xC3\xAF"
        "c\xC3\xB8"
        "d\xC3\xA9 na\xC3\xAFve";
    const std::string utf8Source = dir / "utf8.3ds";
    Build(utf8Source, [&](Ftk::Database* db) {
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        PutSolid(db, wide, identity);
        PutNode(db, wide, "", "", {1, 2, 3}, {0, 0, 0, 1}, {1, 1, 1});
    });
    Session utf8;
    VOxaReader3DS utf8Reader(&utf8.manager);
    std::unique_ptr<VStreamOptions> utf8Options(utf8Reader.GetReadOptions());
    ASSERT_TRUE(utf8Reader.FileOpen(utf8Source.c_str()));
    ASSERT_TRUE(utf8Reader.Read(utf8.scene, utf8Options.get()));
    utf8Reader.FileClose();
    ASSERT_TRUE(utf8.Write<VOxaWriter3DS>(dir / "utf8_trip.3ds"));
    File3ds utf8Trip(dir / "utf8_trip.3ds");
    ASSERT_NE(utf8Trip.file, nullptr);
    EXPECT_NE(lib3ds_file_mesh_by_name(utf8Trip.file,
                                       "\xC3\x9Cn\xC3\xAF"
                                       "c\xC3\xB8"
                                       "d"),
              nullptr)
        << utf8.messages;
#endif
}

TEST(scene3ds_interop, MeshBeyondSixteenBitsIsSplitIntoObjectsThatKeepEverything) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("split");
    Rig rig;
    // A grid of 300 x 230 points (69,000) and 136,942 triangles, with a material, UVs by point
    // and a moving node; a small mesh hangs below it.
    const int columns = 300, rows = 230;
    std::vector<VgeTVector> points;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            points.emplace_back(c, r * 0.5, (c * 7 + r * 3) % 11, 1);
    std::vector<std::vector<int> > triangles;
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < columns; ++c) {
            const int a = r * columns + c;
            triangles.push_back({a, a + 1, a + columns + 1});
            triangles.push_back({a, a + columns + 1, a + columns});
        }
    // A polygon that makes no face: too few corners. (One naming a point beyond the points makes
    // the writer refuse the scene.)
    std::vector<std::vector<int> > polygons = triangles;
    polygons.insert(polygons.begin() + 70000, {{5, 6}});
    VOxaNode* node = nullptr;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "Terrain", points, polygons, &node);
    VOxaMaterial* material = rig.manager.CreateMaterial("Grass");
    mesh->AddMaterial(material, 0);
    VOxaTexture* texture = rig.manager.CreateTexture("grass");
    texture->SetFileName("grass.png");
    mesh->AddTexture(texture, 0);
    mesh->InitTextureIndices(4);
    mesh->InitTextureUVIndices(1);
    for (int i = 0; i < (int)points.size(); ++i)
        mesh->AddTextureUV(VgeVector2(points[(size_t)i][0] / columns, points[(size_t)i][1] / rows));
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(10), 50, 0, 0);
    AddMesh(rig.manager, node, "Rock", Square(), {{0, 1, 2}});
    ASSERT_TRUE(rig.WriteTo(dir / "split.3ds"));

    File3ds loaded(dir / "split.3ds");
    ASSERT_NE(loaded.file, nullptr);
    Lib3dsFile* file = loaded.file;
    std::map<std::string, Lib3dsMesh*> parts;
    for (Lib3dsMesh* m = file->meshes; m; m = m->next)
        if (std::string(m->name).rfind("Terrain", 0) == 0) parts[m->name] = m;
    ASSERT_EQ(parts.size(), 3u) << rig.writer.GetMessageText().Buffer();
    ASSERT_TRUE(parts.count("Terrain") && parts.count("Terrain_2") && parts.count("Terrain_3"));
    size_t faces = 0;
    std::set<std::pair<long, long> > seen;
    for (const auto& [name, part] : parts) {
        EXPECT_LE(part->points, 65535u) << name;
        EXPECT_LE(part->faces, 65535u) << name;
        EXPECT_EQ(part->texels, part->points) << name;
        faces += part->faces;
        // Every face keeps the textured grass material.
        for (Lib3dsDword f = 0; f < part->faces; ++f) {
            Lib3dsMaterial* faceMaterial = lib3ds_file_material_by_name(file, part->faceL[f].material);
            ASSERT_NE(faceMaterial, nullptr) << name << " " << f;
            ASSERT_STREQ(faceMaterial->texture1_map.name, "grass.png") << name << " " << f;
        }
        for (Lib3dsDword i = 0; i < part->points; ++i) {
            // Each point keeps its UV: u and v follow from its place in the grid.
            const Lib3dsVector& p = part->pointL[i].pos;
            ASSERT_NEAR(part->texelL[i][0], p[0] / columns, 1e-5) << name;
            ASSERT_NEAR(part->texelL[i][1], p[2] / rows, 1e-5) << name;
            seen.insert({std::lround(p[0]), std::lround(p[2] * 2)});
        }
    }
    EXPECT_EQ(faces, triangles.size());
    EXPECT_EQ(seen.size(), points.size());
    // Every part moves with the node; the small mesh hangs below the first.
    lib3ds_file_eval(file, 10.0f);
    for (const auto& [name, part] : parts) {
        Lib3dsNode* partNode = lib3ds_file_node_by_name(file, name.c_str(), LIB3DS_OBJECT_NODE);
        ASSERT_NE(partNode, nullptr) << name;
        EXPECT_NEAR(partNode->matrix[3][0], 50, 1e-3) << name;
    }
    Lib3dsNode* rock = lib3ds_file_node_by_name(file, "Rock", LIB3DS_OBJECT_NODE);
    ASSERT_NE(rock, nullptr);
    ASSERT_NE(rock->parent, nullptr);
    EXPECT_STREQ(rock->parent->name, "Terrain");
#endif
}
