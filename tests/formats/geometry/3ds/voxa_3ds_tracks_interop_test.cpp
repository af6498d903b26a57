// 3DS tracks written as their keys: files built here with a few keys over long segments go
// through the toolkit and back, and lib3ds counts the keys of the output and plays them against
// the source. Without lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "objects/vproperty.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/node.h>
#endif

namespace {

Ftk::KeyHeader Key(int32_t frame) {
    Ftk::KeyHeader key;
    key.mFrame = frame;
    key.mSplineFlags = 0x7;
    return key;
}

void SetTrack(Ftk::Track& track, const std::vector<Ftk::KeyHeader>& keys, const std::vector<float>& values) {
    track.mKeyCount = (uint32_t)keys.size();
    track.mKeys = keys;
    track.mValues = values;
}

// A file of one triangle "Ball" (motion set by `ball`) and a camera "Cam" with its target
// (motion set by `camera`), segment 0 to `last`.
void BuildFile(const std::string& path, int32_t last, const std::function<void(Ftk::ObjectMotion*)>& ball,
               const std::function<void(Ftk::CameraMotion*)>& camera,
               const std::function<void(Ftk::SpotlightMotion*)>& spot = {}) {
    ASSERT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Ball");
        mesh->mVertices[0] = Ftk::Point3{0, 0, 0};
        mesh->mVertices[1] = Ftk::Point3{10, 0, 0};
        mesh->mVertices[2] = Ftk::Point3{0, 10, 0};
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        const float identity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
        std::memcpy(mesh->mLocalAxes, identity, sizeof identity);
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
        Ftk::Camera* cam = nullptr;
        Ftk::InitCamera(&cam);
        std::strcpy(cam->mName, "Cam");
        cam->mPosition = Ftk::Point3{0, -100, 0};
        cam->mTarget = Ftk::Point3{0, 0, 0};
        Ftk::WriteCamera(db, cam);
        Ftk::ReleaseCamera(&cam);
        Ftk::KeyframerSettings settings;
        settings.mAnimationLength = last;
        settings.mSegmentLast = last;
        Ftk::PutKeyframerSettings(db, &settings);
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Ball");
        ball(motion);
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
        Ftk::CameraMotion* view = nullptr;
        Ftk::InitCameraMotion(&view, 0, 0, 0, 0);
        std::strcpy(view->mName, "Cam");
        SetTrack(view->mPosition, {Key(0)}, {0, -100, 0});
        SetTrack(view->mFieldOfView, {Key(0)}, {45});
        SetTrack(view->mRoll, {Key(0)}, {0});
        SetTrack(view->mTargetPosition, {Key(0)}, {0, 0, 0});
        camera(view);
        Ftk::PutCameraMotion(db, view);
        Ftk::ReleaseCameraMotion(&view);
        if (!spot) return;
        Ftk::Light* light = nullptr;
        Ftk::InitSpotlight(&light);
        std::strcpy(light->mName, "Spot");
        light->mPosition = Ftk::Point3{0, 0, 100};
        light->mSpot->mTarget = Ftk::Point3{0, 0, 0};
        light->mSpot->mHotspot = 20;
        light->mSpot->mFalloff = 40;
        Ftk::PutSpotlight(db, light);
        Ftk::ReleaseLight(&light);
        Ftk::SpotlightMotion* sm = nullptr;
        Ftk::InitSpotlightMotion(&sm, 0, 0, 0, 0, 0, 0);
        std::strcpy(sm->mName, "Spot");
        SetTrack(sm->mPosition, {Key(0)}, {0, 0, 100});
        SetTrack(sm->mColor, {Key(0)}, {1, 1, 1});
        SetTrack(sm->mHotspot, {Key(0)}, {20});
        SetTrack(sm->mFalloff, {Key(0)}, {40});
        SetTrack(sm->mRoll, {Key(0)}, {0});
        SetTrack(sm->mTargetPosition, {Key(0)}, {0, 0, 0});
        spot(sm);
        Ftk::PutSpotlightMotion(db, sm);
        Ftk::ReleaseSpotlightMotion(&sm);
    })) << path;
}

std::string Trip(const std::string& path) {
    interop3ds::Session session;
    EXPECT_TRUE(session.Read(path)) << path;
    const std::string out = path + ".out.3ds";
    EXPECT_TRUE(session.Write(out)) << out << ": " << session.manager.GetNodeCount();
    return out;
}

std::string Scratch(const char* name) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "oxa_3ds_tracks_test";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

#ifdef OXA_HAVE_LIB3DS

template <class K>
int Count(K* key) {
    int n = 0;
    for (; key != nullptr; key = key->next)
        ++n;
    return n;
}

struct Played {
    Lib3dsFile* file;
    explicit Played(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~Played() {
        if (file) lib3ds_file_free(file);
    }
    Lib3dsNode* Node(const char* name, Lib3dsNodeTypes type) {
        return lib3ds_file_node_by_name(file, name, type);
    }
};

// The node's world matrices in both files, translations in each file's master-scale units.
void ExpectSameMatrix(const Played& a, Lib3dsNode* source, const Played& b, Lib3dsNode* written,
                      int32_t frame) {
    ASSERT_TRUE(source && written);
    const double sa = a.file->master_scale > 0.0f ? a.file->master_scale : 1.0;
    const double sb = b.file->master_scale > 0.0f ? b.file->master_scale : 1.0;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            const double want = source->matrix[r][c] * (r == 3 ? sa : 1.0);
            EXPECT_NEAR(written->matrix[r][c] * (r == 3 ? sb : 1.0), want, 1e-4 * (1.0 + std::fabs(want)))
                << "frame " << frame << " row " << r << " column " << c;
        }
}

// One-key tracks stay one key over a long segment; a camera's field of view keeps its keys and
// plays between them as the source does.
TEST(Voxa3dsTracksInterop, TracksKeepTheirKeys) {
    const std::string path = Scratch("keys.3ds");
    BuildFile(
        path, 360,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0)}, {5, 6, 7});
            SetTrack(m->mRotation, {Key(0)}, {0, 0, 0, -1});
            SetTrack(m->mScale, {Key(0)}, {2, 2, 2});
        },
        [](Ftk::CameraMotion* c) {
            SetTrack(c->mFieldOfView, {Key(0), Key(20), Key(40)}, {30, 35, 60});
        });
    const std::string out = Trip(path);
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    Lib3dsNode* ball = written.Node("Ball", LIB3DS_OBJECT_NODE);
    Lib3dsNode* cam = written.Node("Cam", LIB3DS_CAMERA_NODE);
    ASSERT_TRUE(ball && cam);
    EXPECT_EQ(Count(ball->data.object.pos_track.keyL), 1);
    EXPECT_EQ(Count(ball->data.object.rot_track.keyL), 1);
    EXPECT_EQ(Count(ball->data.object.scl_track.keyL), 1);
    EXPECT_EQ(Count(cam->data.camera.fov_track.keyL), 3);
    EXPECT_EQ(Count(cam->data.camera.roll_track.keyL), 1);
    EXPECT_EQ(Count(cam->data.camera.pos_track.keyL), 1);
    for (int frame : {0, 5, 10, 20, 30, 40, 200}) {
        lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
        lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
        const double want = source.Node("Cam", LIB3DS_CAMERA_NODE)->data.camera.fov;
        EXPECT_NEAR(cam->data.camera.fov, want, 1e-3) << "frame " << frame;
        ExpectSameMatrix(source, source.Node("Ball", LIB3DS_OBJECT_NODE), written, ball, frame);
    }
    EXPECT_LT(std::filesystem::file_size(out), std::filesystem::file_size(path) * 3 / 2);
}

// A segment of 2^31 frames with two position keys comes out in proportion, its last key kept.
TEST(Voxa3dsTracksInterop, LongSegmentInProportion) {
    const std::string path = Scratch("long.3ds");
    const int32_t last = 2147483647;
    BuildFile(
        path, last,
        [&](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0), Key(last)}, {0, 0, 0, 100, 0, 0});
            SetTrack(m->mRotation, {Key(0)}, {0, 0, 0, -1});
            SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
        },
        [](Ftk::CameraMotion*) {});
    const std::string out = Trip(path);
    EXPECT_LT(std::filesystem::file_size(out), 4096u);
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    Lib3dsNode* ball = written.Node("Ball", LIB3DS_OBJECT_NODE);
    ASSERT_TRUE(ball);
    EXPECT_EQ(Count(ball->data.object.pos_track.keyL), 2);
    for (int32_t frame : {0, 1 << 30, last}) {
        lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
        lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
        ExpectSameMatrix(source, source.Node("Ball", LIB3DS_OBJECT_NODE), written, ball, frame);
    }
}

// Kept rotation keys whose angle does not fit a float are not written: the rotation comes from
// the curves, finite, with a warning.
TEST(Voxa3dsTracksInterop, KeptRotationKeysMustFitAFloat) {
    const std::string path = Scratch("huge.3ds");
    BuildFile(
        path, 30,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0)}, {0, 0, 0});
            SetTrack(m->mRotation, {Key(0), Key(30)}, {0, 0, 0, -1, 1.5f, 0, 0, -1});
            SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
        },
        [](Ftk::CameraMotion*) {});
    interop3ds::Session session;
    ASSERT_TRUE(session.Read(path));
    VOxaNode* node = session.Node("Ball");
    ASSERT_NE(node, nullptr);
    auto* text = dynamic_cast<VPropertyTemplate<VString>*>(
        node->GetNodeProperties()->FindProperty(kKeptRotationKeysProperty));
    ASSERT_NE(text, nullptr);
    text->SetValue(VString("0 0 1e300 0 0 1\n30 0 1.5 0 0 1\n"));
    const std::string out = path + ".out.3ds";
    ASSERT_TRUE(session.Write(out));
    EXPECT_NE(session.messages.find("float"), std::string::npos) << session.messages;
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    Lib3dsNode* ball = written.Node("Ball", LIB3DS_OBJECT_NODE);
    ASSERT_NE(ball, nullptr);
    for (Lib3dsQuatKey* key = ball->data.object.rot_track.keyL; key != nullptr; key = key->next)
        EXPECT_TRUE(std::isfinite(key->angle));
    for (int frame : {0, 15, 30}) {
        lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
        lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
        ExpectSameMatrix(source, source.Node("Ball", LIB3DS_OBJECT_NODE), written, ball, frame);
    }
}

// A spot's falloff and roll tracks come back with their keys and play as the source's.
TEST(Voxa3dsTracksInterop, SpotFalloffAndRollTracksKept) {
    const std::string path = Scratch("spot.3ds");
    BuildFile(
        path, 20,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0)}, {0, 0, 0});
            SetTrack(m->mRotation, {Key(0)}, {0, 0, 0, -1});
            SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
        },
        [](Ftk::CameraMotion*) {},
        [](Ftk::SpotlightMotion* s) {
            SetTrack(s->mFalloff, {Key(0), Key(20)}, {40, 30});
            SetTrack(s->mRoll, {Key(0), Key(20)}, {0, 45});
        });
    const std::string out = Trip(path);
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    Lib3dsNode* from = source.Node("Spot", LIB3DS_LIGHT_NODE);
    Lib3dsNode* spot = written.Node("Spot", LIB3DS_LIGHT_NODE);
    ASSERT_TRUE(from && spot);
    EXPECT_EQ(Count(spot->data.light.falloff_track.keyL), 2);
    EXPECT_EQ(Count(spot->data.light.roll_track.keyL), 2);
    for (int frame : {0, 5, 10, 20}) {
        lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
        lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
        EXPECT_NEAR(spot->data.light.falloff, from->data.light.falloff, 1e-4) << "frame " << frame;
        EXPECT_NEAR(spot->data.light.roll, from->data.light.roll, 1e-4) << "frame " << frame;
    }
}

#else
TEST(Voxa3dsTracksInterop, NeedsLib3ds) {
    GTEST_SKIP() << "lib3ds development package not installed";
}
#endif

}  // namespace
