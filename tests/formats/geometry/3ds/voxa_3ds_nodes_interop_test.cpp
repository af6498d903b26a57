// Node and scene values of 3DS files through the toolkit, judged with lib3ds: mesh matrices of
// nodes turned near a gimbal pole, nodes without tracks over scaled mesh matrices (as other
// programs write them), rotation keys kept as a file holds them, spots without a hotspot track,
// hidden objects and hide tracks, fog, the solid background and the shadow-map size. Without
// lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#endif

using namespace interop3ds;
using namespace writer3ds;

namespace {

#ifdef OXA_HAVE_LIB3DS

// A lopsided solid: no turn of it equals another.
const float kSolid[6][3] = {{1, 0, 0}, {3, 0, 0}, {1, 1, 0}, {1, 0, 2}, {4, 0.5f, 1}, {2, 3, 0.5f}};

void Build(const std::string& path, const std::function<void(Ftk::Database*)>& fill,
           const std::function<void(Ftk::MeshSettings*)>& settings = {}) {
    EXPECT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
        ftkscene::PutMeshSettings(db, [&](Ftk::MeshSettings* s) {
            s->mMasterScale = 1.0f;
            if (settings) settings(s);
        });
        fill(db);
    })) << path;
    Ftk::ClearErrors();
}

// The solid's points carried through the mesh matrix `axes` (three rows, then the origin).
void PutSolid(Ftk::Database* db, const char* name, const float axes[12], uint8_t hidden = 0) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 6, 4, 0);
    Ftk::CopyName(mesh->mName, sizeof mesh->mName, name);
    for (int i = 0; i < 6; ++i) {
        float p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = kSolid[i][0] * axes[c] + kSolid[i][1] * axes[3 + c] + kSolid[i][2] * axes[6 + c] +
                   axes[9 + c];
        mesh->mVertices[(size_t)i] = Ftk::Point3{p[0], p[1], p[2]};
    }
    const Ftk::Face faces[4] = {{0, 1, 2, 7}, {0, 3, 1, 7}, {1, 4, 2, 7}, {2, 5, 3, 7}};
    std::copy(faces, faces + 4, mesh->mFaces.begin());
    std::memcpy(mesh->mLocalAxes, axes, sizeof mesh->mLocalAxes);
    mesh->mHidden = hidden;
    Ftk::WriteMesh(db, mesh);
    Ftk::ReleaseMesh(&mesh);
}

// A scene read from `path` and written to `out`; false when either fails.
bool Trip(const std::string& path, const std::string& out, std::string* messages = nullptr) {
    Session session;
    VOxaReader3DS reader(&session.manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    if (!reader.FileOpen(path.c_str()) || !reader.Read(session.scene, options.get())) return false;
    reader.FileClose();
    if (messages) *messages = reader.GetMessageText().Buffer();
    return session.Write(out);
}

// The rotation track of the first object node of a file, as the toolkit holds it.
bool RotationTrack(const std::string& path, const char* name, Ftk::Track& track) {
    Loaded file(path);
    auto motion = file.Motion(name);
    if (!file.Ok() || !motion) return false;
    track = motion->mRotation;
    return true;
}

#endif  // OXA_HAVE_LIB3DS

#ifndef OXA_HAVE_LIB3DS
const char* const kNoLib3ds = "lib3ds is not installed (Debian package lib3ds-dev)";
#endif

}  // namespace

TEST(nodes3ds_interop, MeshMatricesOfNodesTurnedNearAPoleAreTheNodesOwn) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    // Turns whose Euler angles in the file's axes sit within a tenth of a degree of the gimbal
    // pole (the scene's Z is the file's -Y), where a trip through angles again would snap them to
    // 90 degrees.
    const double turns[][3] = {{0, 0, 90.076}, {0, 0, -89.95}, {30, 0, 90.03}, {0, 90.076, 0}};
    ScratchDir dir("pole");
    Rig rig;
    std::vector<VgeTVector> expected;
    int index = 0;
    for (const auto& turn : turns) {
        VOxaNode* node = nullptr;
        std::vector<VgeTVector> points;
        for (const auto& p : kSolid)
            points.emplace_back(p[0], p[1], p[2], 1.0);
        const std::string name = "Pole" + std::to_string(index++);
        AddMesh(rig.manager, rig.Root(), name.c_str(), points, {{0, 1, 2}, {0, 3, 1}, {1, 4, 2}, {2, 5, 3}},
                &node);
        const VgeTVector t(1.0 + index, 2.0, -3.0, 0.0);
        node->SetLclTranslation(t);
        node->SetLclRotation(VgeTVector(turn[0], turn[1], turn[2], 0.0));
        double m[4][4];
        VgeMatrixIdentity(m);
        VgeEulerXYZToMatrix(m, turn[0], turn[1], turn[2]);
        // World points in the file's axes: (x, y, z) of the scene is (x, -z, y).
        for (const VgeTVector& p : points) {
            double q[3];
            for (int j = 0; j < 3; ++j)
                q[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + t[j];
            expected.emplace_back(q[0], -q[2], q[1], 0.0);
        }
    }
    const std::string path = dir / "pole.3ds";
    ASSERT_TRUE(rig.WriteTo(path));
    // lib3ds places the stored points through the node's matrix and the mesh matrix's inverse:
    // they stay where they are only when the mesh matrix is the node's transform.
    ExpectSamePoints(expected, WorldVertices(path, false, 2.54), 2e-5, "turned near the pole");
#endif
}

TEST(nodes3ds_interop, NodesWithoutTracksOverScaledMeshMatricesKeepTheirSize) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    // As other programs write centimetre models: a mesh matrix that scales by 0.01 and moves,
    // points stored through it, a keyframer node with no keys at all below a node without a mesh,
    // and no node ids (parents named by their place in the list). "Mapped" has UVs and is turned
    // by 13 degrees, its stored zeros turned into rounding errors when placed again.
    ScratchDir dir("trackless");
    const float c13 = 0.97437006f, s13 = 0.22495105f;
    const float mapped[4][3] = {{0, 0.3f, 0.7f}, {0.1f, 0, 0.9f}, {0.7f, 0.2f, 0}, {0.3f, 0, 0}};
    const std::string source = dir / "trackless.3ds";
    Build(source, [&](Ftk::Database* db) {
        const float small[12] = {0.01f, 0, 0, 0, 0.01f, 0, 0, 0, 0.01f, 5, 6, 7};
        PutSolid(db, "Shape", small);
        const float skewed[12] = {0, 0.02f, 0, -0.02f, 0, 0, 0, 0, 0.02f, -1, 0, 2};
        PutSolid(db, "Skewed", skewed);
        // Turned about z and moved so that the first point is stored at (0, 0, 7).
        const float turned[12] = {0.87758255f, 0.47942555f, 0, -0.47942555f, 0.87758255f,  0,
                                  0,           0,           1, -0.87758255f, -0.47942555f, 7};
        PutSolid(db, "Turned", turned);
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 4, 2, Ftk::kMeshMapping);
        std::strcpy(mesh->mName, "Mapped");
        for (int i = 0; i < 4; ++i) {
            mesh->mVertices[(size_t)i] = Ftk::Point3{mapped[i][0], mapped[i][1], mapped[i][2]};
            mesh->mMapping[(size_t)i] = Ftk::TexVert{mapped[i][0], mapped[i][1]};
        }
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        mesh->mFaces[1] = Ftk::Face{0, 2, 3, 7};
        const float axes[12] = {c13, s13, 0, -s13, c13, 0, 0, 0, 1, 0, 0, 0};
        std::memcpy(mesh->mLocalAxes, axes, sizeof axes);
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    });
    {
        // Keyframer nodes the way such files hold them: a header and nothing else.
        using namespace ftktest;
        Bytes bytes = ReadFile(source);
        auto header = [](const char* name, int16_t parent) {
            Bytes data = Text(name);
            Put16(data, 0);
            Put16(data, 0);
            Put16(data, (uint16_t)parent);
            return ChunkBytes(Ftk::OBJECT_NODE, {}, {ChunkBytes(Ftk::NODE_HEADER, data)});
        };
        const Bytes nodes = Cat({header("Group", -1), header("Shape", 0), header("Skewed", 0),
                                 header("Turned", 0), header("Mapped", 0)});
        // Into the file's keyframer chunk (made when missing), its length and the file's grown.
        size_t at = 6;
        uint32_t length = 0;
        while (at + 6 <= bytes.size()) {
            std::memcpy(&length, &bytes[at + 2], 4);
            if ((bytes[at] | bytes[at + 1] << 8) == Ftk::KEYFRAMER_DATA) break;
            at += length;
        }
        if (at + 6 > bytes.size()) {
            const Bytes keyframer = ChunkBytes(Ftk::KEYFRAMER_DATA, {});
            bytes.insert(bytes.end(), keyframer.begin(), keyframer.end());
            length = 6;
        }
        bytes.insert(bytes.begin() + (long)(at + length), nodes.begin(), nodes.end());
        length += (uint32_t)nodes.size();
        std::memcpy(&bytes[at + 2], &length, 4);
        const uint32_t total = (uint32_t)bytes.size();
        std::memcpy(&bytes[2], &total, 4);
        WriteFile(source, bytes);
    }
    // lib3ds: nodes without keys stand still, so the points are the meshes' own, in the mesh
    // matrices' units (not 100 times smaller).
    const std::vector<VgeTVector> wanted = WorldVertices(source, false, 1.0);
    std::vector<VgeTVector> local;
    for (int copy = 0; copy < 3; ++copy)
        for (const auto& p : kSolid)
            local.emplace_back(p[0], p[1], p[2], 0.0);
    for (const auto& p : mapped)
        local.emplace_back(p[0] * c13 + p[1] * s13, p[1] * c13 - p[0] * s13, p[2], 0.0);
    ExpectSamePoints(local, wanted, 1e-4, "lib3ds's view of the source");

    Session session;
    ASSERT_TRUE(session.Read(source));
    VOxaNode* shape = session.Node("Shape");
    ASSERT_NE(shape, nullptr);
    ASSERT_NE(session.Node("Group"), nullptr);
    EXPECT_EQ(shape->GetParent(), session.Node("Group"));
    EXPECT_EQ(session.Node("Skewed")->GetParent(), session.Node("Group"));
    const std::string trip = dir / "trip.3ds";
    ASSERT_TRUE(session.Write(trip));
    ExpectSamePoints(wanted, WorldVertices(trip, false, 1.0), 1e-4, "trackless nodes after a trip");
    // And stored as the file stored them, bit for bit, under matrices that turn and scale.
    File3ds src(source), out(trip);
    ASSERT_TRUE(src.file && out.file);
    for (Lib3dsMesh* m = src.file->meshes; m; m = m->next) {
        Lib3dsMesh* o = lib3ds_file_mesh_by_name(out.file, m->name);
        ASSERT_TRUE(o && o->points == m->points) << m->name;
        EXPECT_EQ(std::memcmp(o->pointL, m->pointL, m->points * sizeof *m->pointL), 0) << m->name;
    }
#endif
}

TEST(nodes3ds_interop, RotationKeysComeBackAsTheFileHeldThem) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    // 31 keys of random turns at uneven frames, with and without spline parameters: keys the
    // scene's Euler curves cannot pass through without keys between them.
    ScratchDir dir("rotkeys");
    const std::string source = dir / "keys.3ds";
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const int kKeys = 31;
    int lastFrame = 0;
    Build(source, [&](Ftk::Database* db) {
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        PutSolid(db, "Box02", identity);
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 1, kKeys, 1, 0, 0);
        Ftk::CopyName(motion->mName, sizeof motion->mName, "Box02");
        int frame = 0;
        const uint16_t flags[] = {0, 1, 3, 7, 0x1F};
        for (int k = 0; k < kKeys; ++k) {
            Ftk::KeyHeader& key = motion->mRotation.mKeys[(size_t)k];
            key.mFrame = frame;
            key.mSplineFlags = flags[k % 5];
            key.mTension = 0.3f * unit(random);
            key.mContinuity = 0.3f * unit(random);
            key.mBias = 0.3f * unit(random);
            key.mEaseTo = key.mSplineFlags & 0x8 ? 0.5f : 0.0f;
            float* v = &motion->mRotation.mValues[(size_t)k * 4];
            v[0] = 1.4f * unit(random);
            for (int a = 1; a < 4; ++a)
                v[a] = unit(random);
            lastFrame = frame;
            frame += 1 + (k % 4);
        }
        motion->mPosition.mValues = {0, 0, 0};
        motion->mScale.mValues = {1, 1, 1};
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    });
    Ftk::Track original;
    ASSERT_TRUE(RotationTrack(source, "Box02", original));
    ASSERT_EQ(original.mKeyCount, (uint32_t)kKeys);

    const std::string first = dir / "first.3ds", second = dir / "second.3ds";
    ASSERT_TRUE(Trip(source, first));
    ASSERT_TRUE(Trip(first, second));
    for (const std::string& path : {first, second}) {
        Ftk::Track track;
        ASSERT_TRUE(RotationTrack(path, "Box02", track)) << path;
        ASSERT_EQ(track.mKeyCount, original.mKeyCount) << path;
        for (uint32_t k = 0; k < track.mKeyCount; ++k) {
            const Ftk::KeyHeader &a = original.mKeys[k], &b = track.mKeys[k];
            EXPECT_EQ(b.mFrame, a.mFrame) << path << " key " << k;
            EXPECT_EQ(b.mSplineFlags, a.mSplineFlags) << path << " key " << k;
            EXPECT_EQ(b.mTension, a.mTension) << path << " key " << k;
            EXPECT_EQ(b.mEaseTo, a.mEaseTo) << path << " key " << k;
            for (int v = 0; v < 4; ++v)
                EXPECT_EQ(track.mValues[k * 4 + v], original.mValues[k * 4 + v]) << path << " key " << k;
        }
    }
    // lib3ds plays the written file as the source at every frame.
    for (int frame = 0; frame <= lastFrame; frame += 3)
        ExpectSamePoints(WorldVertices(source, false, 1.0, (float)frame),
                         WorldVertices(first, false, 1.0, (float)frame), 1e-4,
                         "frame " + std::to_string(frame));

    // Curves changed in the scene are written from the curves, not from the file's keys.
    Session edited;
    ASSERT_TRUE(edited.Read(source));
    VOxaNode* box = edited.Node("Box02");
    ASSERT_NE(box, nullptr);
    VFCurve* y = box->GetCurrentTakeNode()->GetEulerRotationY();
    ASSERT_GT(y->KeyGetCount(), 0);
    y->KeyModifyBegin();
    y->KeySetValue(0, y->KeyGetValue(0) + 30.0f);
    y->KeyModifyEnd();
    const std::string changed = dir / "changed.3ds";
    ASSERT_TRUE(edited.Write(changed));
    Ftk::Track track;
    ASSERT_TRUE(RotationTrack(changed, "Box02", track));
    ASSERT_GT(track.mKeyCount, 0u);
    EXPECT_FALSE(track.mKeyCount == original.mKeyCount && track.mValues == original.mValues);
#endif
}

TEST(nodes3ds_interop, SpotHiddenObjectsFogBackgroundAndShadowMapSurviveATrip) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("scenevalues");
    const std::string source = dir / "scene.3ds";
    Build(
        source,
        [](Ftk::Database* db) {
            const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
            PutSolid(db, "Hidden", identity, 1);
            PutSolid(db, "Blinks", identity);
            Ftk::Light* spot = nullptr;
            Ftk::InitSpotlight(&spot);
            Ftk::CopyName(spot->mName, sizeof spot->mName, "Spot");
            spot->mPosition = Ftk::Point3{0, -10, 10};
            spot->mColor[0] = spot->mColor[1] = spot->mColor[2] = 1.0f;
            spot->mSpot->mTarget = Ftk::Point3{0, 0, 0};
            spot->mSpot->mHotspot = 20.0f;
            spot->mSpot->mFalloff = 40.0f;
            Ftk::PutSpotlight(db, spot);
            Ftk::ReleaseLight(&spot);
            Ftk::Background* background = nullptr;
            Ftk::InitBackground(&background);
            background->mSolid[0] = 0.25f;
            background->mSolid[1] = 0.5f;
            background->mSolid[2] = 0.75f;
            background->mActive = Ftk::kSolidBackground;
            Ftk::PutBackground(db, background);
            Ftk::ReleaseBackground(&background);
            Ftk::Fog fog;
            fog.mNearPlane = 5.0f;
            fog.mNearDensity = 10.0f;
            fog.mFarPlane = 500.0f;
            fog.mFarDensity = 80.0f;
            fog.mColor[0] = 0.5f;
            fog.mColor[1] = 0.6f;
            fog.mColor[2] = 0.7f;
            fog.mBackground = true;
            fog.mInUse = true;
            Ftk::PutFog(db, fog);
            // Nodes: the hidden one without keys; one hidden from frame 10 to 20 and from 30 on;
            // the spot with no hotspot or falloff track.
            for (const char* name : {"Hidden", "Blinks"}) {
                const bool blinks = std::strcmp(name, "Blinks") == 0;
                Ftk::ObjectMotion* motion = nullptr;
                Ftk::InitObjectMotion(&motion, 1, 1, 1, 0, blinks ? 3 : 0);
                Ftk::CopyName(motion->mName, sizeof motion->mName, name);
                motion->mPosition.mValues = {0, 0, 0};
                motion->mRotation.mValues = {0, 0, 0, 1};
                motion->mScale.mValues = {1, 1, 1};
                if (blinks) {
                    const int frames[3] = {10, 20, 30};
                    for (int k = 0; k < 3; ++k)
                        motion->mHide.mKeys[(size_t)k].mFrame = frames[k];
                }
                Ftk::PutObjectMotion(db, motion);
                Ftk::ReleaseObjectMotion(&motion);
            }
            Ftk::SpotlightMotion* motion = nullptr;
            Ftk::InitSpotlightMotion(&motion, 1, 1, 0, 0, 0, 1);
            Ftk::CopyName(motion->mName, sizeof motion->mName, "Spot");
            motion->mPosition.mValues = {0, -10, 10};
            motion->mColor.mValues = {1, 1, 1};
            motion->mTargetPosition.mValues = {0, 0, 0};
            Ftk::PutSpotlightMotion(db, motion);
            Ftk::ReleaseSpotlightMotion(&motion);
            Ftk::KeyframerSettings* settings = nullptr;
            Ftk::InitKeyframerSettings(&settings);
            settings->mAnimationLength = 40;
            settings->mSegmentLast = 40;
            Ftk::PutKeyframerSettings(db, settings);
            Ftk::ReleaseKeyframerSettings(&settings);
        },
        [](Ftk::MeshSettings* settings) { settings->mShadowMapSize = 512; });

    File3ds src(source);
    ASSERT_NE(src.file, nullptr);
    ASSERT_TRUE(src.file->atmosphere.fog.use);  // lib3ds reads the source as built
    const std::string trip = dir / "trip.3ds";
    ASSERT_TRUE(Trip(source, trip));
    File3ds out(trip);
    ASSERT_NE(out.file, nullptr);
    Lib3dsFile* a = src.file;
    Lib3dsFile* b = out.file;

    EXPECT_EQ(b->shadow.map_size, 512);
    EXPECT_TRUE(b->background.solid.use);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(b->background.solid.col[i], a->background.solid.col[i]) << i;
    const Lib3dsFog &fa = a->atmosphere.fog, &fb = b->atmosphere.fog;
    EXPECT_TRUE(fb.use);
    EXPECT_TRUE(fb.fog_background);
    // Planes are lengths: written in the scene's units under the master scale.
    const float unit = b->master_scale / a->master_scale;
    EXPECT_NEAR(fb.near_plane * unit, fa.near_plane, 1e-4);
    EXPECT_NEAR(fb.far_plane * unit, fa.far_plane, 1e-3);
    EXPECT_NEAR(fb.near_density, fa.near_density, 1e-4);
    EXPECT_NEAR(fb.far_density, fa.far_density, 1e-4);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(fb.col[i], fa.col[i]) << i;

    Lib3dsLight* spot = lib3ds_file_light_by_name(b, "Spot");
    ASSERT_NE(spot, nullptr);
    EXPECT_NEAR(spot->hot_spot, 20.0f, 1e-4);
    EXPECT_NEAR(spot->fall_off, 40.0f, 1e-4);

    // The hidden flag is the object's own chunk; the hide track as lib3ds plays it, frame by frame.
    {
        Loaded file(trip);
        ASSERT_TRUE(file.Ok());
        ASSERT_TRUE(file.Mesh("Hidden"));
        EXPECT_EQ(file.Mesh("Hidden")->mHidden, 1);
        EXPECT_EQ(file.Mesh("Blinks")->mHidden, 0);
        // The hide keys stay at their frames (each turns the hiding over).
        auto blinks = file.Motion("Blinks");
        ASSERT_TRUE(blinks);
        ASSERT_EQ(blinks->mHide.mKeys.size(), 3u);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(blinks->mHide.mKeys[(size_t)k].mFrame, 10 * (k + 1)) << k;
    }
    for (int frame = 0; frame <= 40; ++frame) {
        lib3ds_file_eval(a, (float)frame);
        lib3ds_file_eval(b, (float)frame);
        Lib3dsNode* na = lib3ds_file_node_by_name(a, "Blinks", LIB3DS_OBJECT_NODE);
        Lib3dsNode* nb = lib3ds_file_node_by_name(b, "Blinks", LIB3DS_OBJECT_NODE);
        ASSERT_NE(na, nullptr);
        ASSERT_NE(nb, nullptr);
        EXPECT_EQ(nb->data.object.hide != 0, na->data.object.hide != 0) << "frame " << frame;
    }
#endif
}

#ifdef OXA_HAVE_LIB3DS
namespace {

// An owner flattened at frame 0 (part of the instances test below).
void ExpectFlattenedOwnersCopyInPlace() {
    // The node that owns the object is flattened at frame 0: its object's axes cannot be undone,
    // so a copy placed through them would be lost. The copy keeps an object of its own.
    ScratchDir dir("flat");
    const std::string source = dir / "source.3ds", out = dir / "out.3ds";
    Build(source, [&](Ftk::Database* db) {
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        PutSolid(db, "Flat", identity);
        for (const char* instance : {"", "Copy"}) {
            Ftk::ObjectMotion* motion = nullptr;
            Ftk::InitObjectMotion(&motion, 1, 1, 1, 0, 0);
            Ftk::CopyName(motion->mName, sizeof motion->mName, "Flat");
            Ftk::CopyName(motion->mInstanceName, sizeof motion->mInstanceName, instance);
            motion->mPosition.mValues = {instance[0] ? 6.0f : 0.0f, 0, 0};
            motion->mRotation.mValues = {0, 0, 0, 1};
            motion->mScale.mValues = {1, 1, instance[0] ? 1.0f : 0.0f};
            Ftk::PutObjectMotion(db, motion);
            Ftk::ReleaseObjectMotion(&motion);
        }
    });
    ASSERT_TRUE(Trip(source, out));
    // The copy's points as lib3ds places them.
    auto copy = [](const std::string& path) {
        std::vector<VgeTVector> points;
        File3ds loaded(path);
        EXPECT_NE(loaded.file, nullptr) << path;
        if (!loaded.file) return points;
        lib3ds_file_eval(loaded.file, 0.0f);
        const double scale = loaded.file->master_scale > 0.0f ? loaded.file->master_scale : 1.0;
        Walk(loaded.file->nodes, [&](Lib3dsNode* node) {
            if (node->type != LIB3DS_OBJECT_NODE || node->matrix[0][3] != 0.0f) return;
            Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(loaded.file, node->name);
            if (mesh == nullptr || node->matrix[2][2] == 0.0f) return;  // the flattened owner
            Lib3dsMatrix m, inverse;
            lib3ds_matrix_copy(m, node->matrix);
            lib3ds_matrix_copy(inverse, mesh->matrix);
            lib3ds_matrix_inv(inverse);
            lib3ds_matrix_mult(m, inverse);
            for (Lib3dsDword i = 0; i < mesh->points; ++i) {
                Lib3dsVector p;
                lib3ds_vector_transform(p, m, mesh->pointL[i].pos);
                points.emplace_back(p[0] * scale, p[1] * scale, p[2] * scale, 0.0);
            }
        });
        return points;
    };
    const std::vector<VgeTVector> expected = copy(source);
    ASSERT_EQ(expected.size(), 6u);
    ExpectSamePoints(expected, copy(out), 1e-4, "the copy");
}

}  // namespace
#endif

TEST(nodes3ds_interop, NodesSharingOneMeshAreWrittenAsInstancesOfOneObject) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    // One mesh shown by four nodes: itself, a moving copy with a child of its own, a turned copy
    // and a mirrored one. All name it as instances, as the source does: the object is stored
    // where the source stored it, and each node places it.
    ScratchDir dir("instances");
    const std::string source = dir / "source.3ds";
    Build(source, [&](Ftk::Database* db) {
        const float axes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 1, 0};
        PutSolid(db, "SolidBlock", axes);
        PutSolid(db, "Kid", axes);
        struct Node {
            const char* name;
            const char* instance;
            const char* parent;
            float from[3], to[3], angle, scale[3];
        };
        const Node nodes[] = {{"SolidBlock", "", "", {2, 1, 0}, {2, 1, 0}, 0.0f, {1, 1, 1}},
                              {"SolidBlock", "CopyNumber", "", {5, 0, 0}, {9, 4, 2}, 0.0f, {1, 1, 1}},
                              {"Kid", "", "SolidBlock.CopyNumber", {0, 3, 0}, {0, 3, 0}, 0.0f, {1, 1, 1}},
                              {"SolidBlock", "Turned", "", {-4, 0, 1}, {-4, 0, 1}, 0.7f, {1, 1, 1}},
                              {"SolidBlock", "Mirrored", "", {0, -6, 0}, {0, -6, 0}, 0.0f, {-1, 1, 1}}};
        for (const Node& n : nodes) {
            Ftk::ObjectMotion* motion = nullptr;
            Ftk::InitObjectMotion(&motion, 2, 1, 1, 0, 0);
            Ftk::CopyName(motion->mName, sizeof motion->mName, n.name);
            Ftk::CopyName(motion->mInstanceName, sizeof motion->mInstanceName, n.instance);
            Ftk::CopyName(motion->mParentName, sizeof motion->mParentName, n.parent);
            motion->mPivot = Ftk::Point3{2, 1, 0};
            motion->mPosition.mKeys[1].mFrame = 10;
            motion->mPosition.mValues = {n.from[0], n.from[1], n.from[2], n.to[0], n.to[1], n.to[2]};
            motion->mRotation.mValues = {n.angle, 0, 0.6f, 0.8f};
            motion->mScale.mValues = {n.scale[0], n.scale[1], n.scale[2]};
            Ftk::PutObjectMotion(db, motion);
            Ftk::ReleaseObjectMotion(&motion);
        }
        Ftk::KeyframerSettings* settings = nullptr;
        Ftk::InitKeyframerSettings(&settings);
        settings->mAnimationLength = 10;
        settings->mSegmentLast = 10;
        Ftk::PutKeyframerSettings(db, settings);
        Ftk::ReleaseKeyframerSettings(&settings);
    });
    const std::string first = dir / "first.3ds", second = dir / "second.3ds";
    std::string messages;
    ASSERT_TRUE(Trip(source, first, &messages)) << messages;
    ASSERT_TRUE(Trip(first, second));
    for (const std::string& out : {first, second}) {
        // Every node shows the mesh where lib3ds shows the source's, while the copy moves.
        for (float frame : {0.0f, 4.0f, 10.0f})
            ExpectSamePoints(WorldVertices(source, false, 1.0, frame), WorldVertices(out, false, 1.0, frame),
                             1e-4, out + " at frame " + std::to_string(frame));
        File3ds src(source), written(out);
        ASSERT_NE(written.file, nullptr);
        int meshes = 0;
        for (Lib3dsMesh* mesh = written.file->meshes; mesh; mesh = mesh->next)
            ++meshes;
        EXPECT_EQ(meshes, 2) << out << ": the block and the kid";
        std::vector<std::string> instances;
        std::string kidParent;
        Walk(written.file->nodes, [&](Lib3dsNode* node) {
            if (node->type != LIB3DS_OBJECT_NODE) return;
            if (std::string(node->name) == "SolidBlock") instances.push_back(node->data.object.instance);
            if (std::string(node->name) == "Kid" && node->parent != nullptr)
                kidParent =
                    std::string(node->parent->name) + "." +
                    (node->parent->type == LIB3DS_OBJECT_NODE ? node->parent->data.object.instance : "");
        });
        std::sort(instances.begin(), instances.end());
        EXPECT_EQ(instances, (std::vector<std::string>{"", "CopyNumber", "Mirrored", "Turned"})) << out;
        EXPECT_EQ(kidParent, "SolidBlock.CopyNumber") << out;
    }
    // The two instances take no object of their own: the file is near the source's size.
    EXPECT_LT(std::filesystem::file_size(first), std::filesystem::file_size(source) * 3 / 2);
    ExpectFlattenedOwnersCopyInPlace();
#endif
}
