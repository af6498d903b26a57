// 3DS tracks between their keys, as lib3ds plays them: files built here with chosen keys are
// evaluated by lib3ds frame by frame, then read and written by the toolkit (once and three
// times over) and evaluated again. Rotation keys turn relative to the key before and are played
// as quaternion splines; position and scale keys as splines whose tangents follow the spacing of
// the keys. Without lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "attributes/voxa_camera.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "scene/voxa_take_info.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#include <lib3ds/node.h>
#endif

using namespace writer3ds;

namespace {

Ftk::KeyHeader Key(int frame, float tension = 0, float continuity = 0, float bias = 0) {
    Ftk::KeyHeader key;
    key.mFrame = frame;
    key.mSplineFlags = 0x7;
    key.mTension = tension;
    key.mContinuity = continuity;
    key.mBias = bias;
    return key;
}

void SetTrack(Ftk::Track& track, const std::vector<Ftk::KeyHeader>& keys, const std::vector<float>& values) {
    track.mKeyCount = (uint32_t)keys.size();
    track.mKeys = keys;
    track.mValues = values;
}

// A file of one triangle mesh "Ball" whose keyframer motion `fill` sets, frames 0 to `last`.
void BuildFile(const std::string& path, int last, const std::function<void(Ftk::ObjectMotion*)>& fill,
               uint8_t hidden = 0) {
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
        mesh->mHidden = hidden;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
        Ftk::KeyframerSettings settings;
        settings.mAnimationLength = last;
        settings.mSegmentLast = last;
        Ftk::PutKeyframerSettings(db, &settings);
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "Ball");
        fill(motion);
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    })) << path;
}

// A scene read from a 3DS file, with the translation and rotation curves of its nodes at hand.
struct Session : interop3ds::Session {
    VFCurve* Curve(const char* node, int which) {
        VOxaTakeNode* take = manager.GetNode(node, 0)->GetCurrentTakeNode();
        VFCurve* curves[] = {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                             take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
        return curves[which];
    }
};

// `trips` trips from `path`, each from the file the last one wrote; the files written.
std::vector<std::string> Trips(const std::string& path, int trips) {
    std::vector<std::string> files;
    std::string from = path;
    for (int i = 1; i <= trips; ++i) {
        Session session;
        EXPECT_TRUE(session.Read(from)) << from;
        const std::string to = path + "." + std::to_string(i) + ".3ds";
        EXPECT_TRUE(session.Write(to)) << to;
        files.push_back(to);
        from = to;
    }
    return files;
}

#ifdef OXA_HAVE_LIB3DS

// lib3ds's world matrix of the node "Ball" at frames 0 to `last`, translations in the file's
// master-scale units.
std::vector<std::array<double, 16>> Play(const std::string& path, int last) {
    std::vector<std::array<double, 16>> out;
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    EXPECT_NE(file, nullptr) << path;
    if (!file) return out;
    const double scale = file->master_scale > 0.0f ? file->master_scale : 1.0;
    for (int frame = 0; frame <= last; ++frame) {
        lib3ds_file_eval(file, (Lib3dsFloat)frame);
        Lib3dsNode* node = lib3ds_file_node_by_name(file, "Ball", LIB3DS_OBJECT_NODE);
        EXPECT_NE(node, nullptr) << path;
        if (!node) break;
        std::array<double, 16> m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m[r * 4 + c] = node->matrix[r][c] * (r == 3 && c < 3 ? scale : 1.0);
        out.push_back(m);
    }
    lib3ds_file_free(file);
    return out;
}

// The angle (degrees) of the turn from one rotation matrix to another.
double TurnBetween(const std::array<double, 16>& a, const std::array<double, 16>& b) {
    double trace = 0.0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            trace += a[r * 4 + c] * b[r * 4 + c];
    return std::acos(std::max(-1.0, std::min(1.0, (trace - 1.0) * 0.5))) * 57.29577951308232;
}

// Every frame of `b` turned within `degrees` of `a`, its 3x3 part (rotation and scale) within
// `linear` of `a`'s and its position within `distance`.
void ExpectSamePlay(const std::vector<std::array<double, 16>>& a,
                    const std::vector<std::array<double, 16>>& b, double degrees, double linear,
                    double distance, const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    int reported = 0;
    for (size_t f = 0; f < a.size() && reported < 4; ++f) {
        double worst = 0.0, moved = 0.0;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::fabs(a[f][r * 4 + c] - b[f][r * 4 + c]));
        for (int c = 0; c < 3; ++c)
            moved = std::max(moved, std::fabs(a[f][12 + c] - b[f][12 + c]));
        const double turn = TurnBetween(a[f], b[f]);
        if (turn <= degrees && worst <= linear && moved <= distance) continue;
        ++reported;
        ADD_FAILURE() << what << " frame " << f << ": turned " << turn << " degrees, matrix off by " << worst
                      << ", moved " << moved << " (at " << a[f][12] << ", " << a[f][13] << ", " << a[f][14]
                      << " became " << b[f][12] << ", " << b[f][13] << ", " << b[f][14] << ")";
    }
}

// Keys in each track of the motion of "Ball" in a written file.
std::vector<uint32_t> KeyCounts(const std::string& path) {
    Loaded loaded(path);
    EXPECT_TRUE(loaded.Ok()) << path;
    auto motion = loaded.Motion("Ball");
    if (!motion) return {};
    return {motion->mPosition.mKeyCount, motion->mRotation.mKeyCount, motion->mScale.mKeyCount};
}

#endif  // OXA_HAVE_LIB3DS

}  // namespace

// Rotation keys, each an angle about an axis relative to the key before (radians, file axes).
struct RotationCase {
    const char* name;
    std::vector<Ftk::KeyHeader> keys;
    std::vector<float> values;
};

TEST(anim3ds_interop, RotationsTurnBetweenKeysAsLib3dsTurnsThem) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_rotation");
    const float a = 108.7f * 0.017453292f, pi = 3.14159265f;
    const std::vector<RotationCase> cases = {
        // Equal turns of 108.7 degrees every 10 frames, about a tilted axis and about the file's Z.
        {"steady",
         {Key(0), Key(10), Key(20), Key(30), Key(40)},
         {0, 0, 0, 1, a, 0.3f, 0.5f, 0.8f, a, 0.3f, 0.5f, 0.8f, a, 0.3f, 0.5f, 0.8f, a, 0.3f, 0.5f, 0.8f}},
        {"upright", {Key(0), Key(10), Key(20), Key(30)}, {0, 0, 0, 1, a, 0, 0, 1, a, 0, 0, 1, a, 0, 0, 1}},
        // Half turns, each the same way round: either way would reach the keys.
        {"half", {Key(0), Key(15), Key(30)}, {0.4f, 1, 0, 0, pi, 0.2f, 1, 0.4f, pi, 0.2f, 1, 0.4f}},
        {"halfUpright", {Key(0), Key(20)}, {0, 0, 0, 1, pi, 0, 0, 1}},
        // Three quarters of a turn in one step, and keys with tension, continuity and bias at
        // uneven spacing.
        {"long", {Key(0), Key(12)}, {0, 0, 0, 1, 1.5f * pi, 0.6f, -0.3f, 1}},
        {"spline",
         {Key(0), Key(4, 0.3f, -0.4f, 0.2f), Key(10, -0.2f, 0.5f, -0.3f), Key(12)},
         {0.3f, 1, 0, 0, 1.9f, 0.3f, 0.5f, 0.8f, 2.5f, 0, 1, 0.2f, 1.0f, 0.6f, -0.5f, 0.2f}},
    };
    for (const RotationCase& c : cases) {
        const std::string path = dir / (std::string(c.name) + ".3ds");
        const int last = c.keys.back().mFrame;
        BuildFile(path, last, [&](Ftk::ObjectMotion* m) { SetTrack(m->mRotation, c.keys, c.values); });
        const std::vector<std::string> files = Trips(path, 3);
        ASSERT_EQ(files.size(), 3u);
        const auto source = Play(path, last);
        ExpectSamePlay(source, Play(files[0], last), 0.5, 1.0, 1e-3, std::string(c.name) + " after one trip");
        ExpectSamePlay(source, Play(files[2], last), 0.5, 1.0, 1e-3,
                       std::string(c.name) + " after three trips");
        // A key a frame at most, trip after trip; a steady turn about the up axis keeps its keys.
        for (const std::string& file : files) {
            const std::vector<uint32_t> counts = KeyCounts(file);
            ASSERT_EQ(counts.size(), 3u) << file;
            EXPECT_LE(counts[1], (uint32_t)last + 1) << c.name << " " << file;
            if (std::string(c.name) == "upright") EXPECT_EQ(counts[1], 4u) << file;
        }
    }
    // A steady turn about the scene's up axis is one Euler angle moving evenly: the keys as they
    // are follow it, and no key is added.
    Session upright;
    ASSERT_TRUE(upright.Read(dir / "upright.3ds"));
    for (int axis = 3; axis < 6; ++axis)
        EXPECT_EQ(upright.Curve("Ball", axis)->KeyGetCount(), 4) << axis;
    // A steady turn about a tilted axis is not: every frame is a key.
    Session steady;
    ASSERT_TRUE(steady.Read(dir / "steady.3ds"));
    EXPECT_EQ(steady.Curve("Ball", 3)->KeyGetCount(), 41);
#endif
}

TEST(anim3ds_interop, PositionsAndScalesBetweenUnevenKeysFollowLib3ds) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_position");
    const std::string path = dir / "uneven.3ds";
    BuildFile(path, 64, [](Ftk::ObjectMotion* m) {
        SetTrack(m->mPosition, {Key(0), Key(63), Key(64)}, {10, 61.9f, 5, 12, 114.6f, 7, 20, 99.1f, -3});
        SetTrack(m->mScale, {Key(0, 0.4f), Key(5, 0, 0.6f, -0.3f), Key(40, -0.5f, 0.2f, 0.5f), Key(44, 0.3f)},
                 {1, 1, 1, 2, 0.5f, 1, 1.5f, 1.5f, 3, 1, 1, 1});
    });
    const std::vector<std::string> files = Trips(path, 3);
    ASSERT_EQ(files.size(), 3u);
    const auto source = Play(path, 64);
    ASSERT_EQ(source.size(), 65u);
    // lib3ds's own path stays within the keys: 101.9 at frame 45.
    EXPECT_NEAR(source[45][13], 101.89, 0.01);
    double extent = 0.0;
    for (const auto& m : source)
        for (int c = 0; c < 3; ++c)
            extent = std::max(extent, std::fabs(m[12 + c]));
    ExpectSamePlay(source, Play(files[0], 64), 0.5, 1e-3, 1e-3 * extent, "after one trip");
    ExpectSamePlay(source, Play(files[2], 64), 0.5, 1e-3, 1e-3 * extent, "after three trips");
    // The position keeps its three keys trip after trip; the scale, whose keys carry tension,
    // continuity and bias, keeps its four as the file had them; the rotation, which has no keys,
    // one key.
    for (const std::string& file : files)
        EXPECT_EQ(KeyCounts(file), (std::vector<uint32_t>{3, 1, 4})) << file;

    // The reader keeps the file's keys: their slopes carry the spacing.
    Session read;
    ASSERT_TRUE(read.Read(path));
    EXPECT_EQ(read.Curve("Ball", 1)->KeyGetCount(), 3);
#endif
}

TEST(anim3ds_interop, OverlongRotationTracksKeepTheirKeysOnly) {
    // Keys a million frames apart: the path is not walked frame by frame (that would take a key a
    // frame), and the curves hold the file's keys, each turning on from the one before: 100
    // degrees about the file's Z axis a key is -100 degrees about the scene's Y axis a key.
    ScratchDir dir("anim_long");
    const std::string path = dir / "long.3ds";
    const float turn = 100.0f * 0.017453292f;
    BuildFile(path, 100, [&](Ftk::ObjectMotion* m) {
        SetTrack(m->mRotation, {Key(0), Key(1000000), Key(2000000)},
                 {0, 0, 0, 1, turn, 0, 0, 1, turn, 0, 0, 1});
    });
    Session read;
    ASSERT_TRUE(read.Read(path));
    const float expected[3][3] = {{0, 0, 0}, {0, -100, 0}, {0, -200, 0}};
    for (int axis = 0; axis < 3; ++axis) {
        VFCurve* curve = read.Curve("Ball", axis + 3);
        ASSERT_EQ(curve->KeyGetCount(), 3) << axis;
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(curve->KeyGetValue(k), expected[k][axis], 1e-3) << axis << " " << k;
    }
}

TEST(anim3ds_interop, SceneCurvesAreWrittenAsKeysWhereLib3dsPlaysThemSo) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_written");
    Rig rig;
    VOxaNode* node = nullptr;
    AddMesh(rig.manager, rig.Root(), "Ball", Square(), {{0, 1, 2, 3}}, &node);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    // Straight lines between unevenly spaced keys, and a turn about the up axis.
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(5), 10, 20, -5);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), 40, 0, 10);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), Frame30(10), 0, 90,
         0);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), Frame30(20), 0, 100,
         0);
    // Cubic keys with automatic tangents, which 3DS keys cannot give: a key a frame.
    VFCurve* scales[3] = {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()};
    for (VFCurve* curve : scales) {
        VFCurveKey key;
        key.Set(VTime(0), 1.0f);
        curve->KeyAdd(VTime(0), key);
        key.Set(Frame30(3), 2.0f);
        curve->KeyAdd(Frame30(3), key);
        key.Set(Frame30(20), 1.5f);
        curve->KeyAdd(Frame30(20), key);
    }
    const std::string path = dir / "scene.3ds";
    ASSERT_TRUE(rig.WriteTo(path));
    EXPECT_EQ(KeyCounts(path), (std::vector<uint32_t>{3, 3, 21}));

    const auto played = Play(path, 20);
    ASSERT_EQ(played.size(), 21u);
    for (int f = 0; f <= 20; ++f) {
        // The scene's own world matrix, in the file's axes (x, -z, y) and units (inches).
        const VgeAMatrix m = node->EvaluateGlobalTransform(Frame30(f));
        const int axis[3] = {0, 2, 1};
        const double sign[3] = {1, -1, 1};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(played[f][12 + c], sign[c] * m.mData[3][axis[c]] / 2.54, 1e-3) << "frame " << f;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(played[f][r * 4 + c], sign[r] * sign[c] * m.mData[axis[r]][axis[c]], 1e-4)
                    << "frame " << f << " " << r << c;
    }
#endif
}

TEST(anim3ds_interop, CameraRollIsWrittenAKeyAFrameOnlyWithoutATarget) {
    // Without a target each frame's roll takes the correction of that frame's view: a key a
    // frame, though the roll curve itself is a straight line. With a target the line's keys do.
    for (bool targeted : {false, true}) {
        ScratchDir dir(targeted ? "roll_target" : "roll_free");
        Rig rig;
        VOxaNode* node = AddNode(rig.manager, rig.Root(), "Cam");
        node->SetNodeAttribute(rig.manager.CreateCamera());
        if (targeted) node->SetTarget(AddNode(rig.manager, rig.Root(), "Aim"));
        VOxaTakeNode* take = node->GetCurrentTakeNode();
        for (int frame : {0, 10}) {
            VFCurveKey key;
            key.Set(Frame30(frame), frame * 3.0f, VFCurveKey::eInterpolationLinear);
            take->GetCameraRoll()->KeyAdd(Frame30(frame), key);
        }
        Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), VTime(0), 0, 0,
             0);
        Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), Frame30(10), 20,
             40, 0);
        ASSERT_TRUE(rig.WriteTo(dir / "c.3ds"));
        Loaded file(dir / "c.3ds");
        ASSERT_TRUE(file.Ok());
        Ftk::CameraMotion* motion = nullptr;
        Ftk::GetCameraMotionByName(file.db, "Cam", &motion);
        ASSERT_NE(motion, nullptr);
        EXPECT_EQ(motion->mRoll.mKeyCount, targeted ? 2u : 11u) << targeted;
        Ftk::ReleaseCameraMotion(&motion);
    }
}

#ifdef OXA_HAVE_LIB3DS
namespace {

// The largest difference between the 3x3 parts of two plays, frame by frame, and its frame.
double WorstTurn(const std::vector<std::array<double, 16>>& a, const std::vector<std::array<double, 16>>& b,
                 int* frame) {
    double worst = a.size() == b.size() ? 0.0 : 1e300;
    for (size_t f = 0; f < a.size() && f < b.size(); ++f)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (std::fabs(a[f][r * 4 + c] - b[f][r * 4 + c]) > worst) {
                    worst = std::fabs(a[f][r * 4 + c] - b[f][r * 4 + c]);
                    *frame = (int)f;
                }
    return worst;
}

// The rotation track of "Ball" as a file holds it.
Ftk::Track BallRotation(const std::string& path) {
    Loaded loaded(path);
    EXPECT_TRUE(loaded.Ok()) << path;
    auto motion = loaded.Motion("Ball");
    return motion ? motion->mRotation : Ftk::Track();
}

void ExpectSameKeys(const Ftk::Track& a, const Ftk::Track& b, const std::string& what) {
    ASSERT_EQ(b.mKeyCount, a.mKeyCount) << what;
    ASSERT_EQ(b.mKeys.size(), a.mKeys.size()) << what;
    for (size_t k = 0; k < a.mKeys.size(); ++k) {
        EXPECT_EQ(b.mKeys[k].mFrame, a.mKeys[k].mFrame) << what << " key " << k;
        EXPECT_EQ(b.mKeys[k].mSplineFlags, a.mKeys[k].mSplineFlags) << what << " key " << k;
    }
    EXPECT_EQ(b.mValues, a.mValues) << what;
}

}  // namespace
#endif

TEST(anim3ds_interop, TurnsNearAQuarterAboutTheUpAxisAndKeptKeysSurviveTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_pole");
    // About the file's up axis: 0, then nearly half a turn twice; at frame 75 the node stands
    // 1.68e-4 rad short of three quarters of a turn, where Euler angles about X, Y, Z meet a pole.
    const std::string upright = dir / "upright.3ds";
    BuildFile(upright, 100, [](Ftk::ObjectMotion* m) {
        SetTrack(m->mRotation, {Key(0), Key(50), Key(100)},
                 {0, 0, 0, 1, 3.14158f, 0, 0, 1, 3.14124f, 0, 0, 1});
    });
    // A node whose first key is a cyclic swap of the axes (a pole itself), then a turn about -X
    // of a whole turn less 3e-5 rad, then small steps: the steps of frames 1 to 5 are smaller
    // than any rounding toward the pole.
    const std::string steps = dir / "steps.3ds";
    std::vector<Ftk::KeyHeader> keys = {Key(0), Key(5)};
    std::vector<float> values = {4.18879f, 0.57735f, -0.57735f, -0.57735f, 6.283153f, -1, 0, 0};
    for (int k = 2; k < 29; ++k) {
        keys.push_back(Key(k + 4));
        values.insert(values.end(), {1e-4f * (1 + k % 3), 0.3f, 0.5f - 0.1f * (k % 4), 0.8f});
    }
    BuildFile(steps, 32, [&](Ftk::ObjectMotion* m) { SetTrack(m->mRotation, keys, values); });
    // One key, as most still objects have it.
    const std::string still = dir / "still.3ds";
    BuildFile(still, 10, [](Ftk::ObjectMotion* m) {
        SetTrack(m->mRotation, {Key(0)}, {4.18879f, 0.57735f, 0.57735f, 0.57735f});
    });
    for (const auto& [path, last] :
         {std::make_pair(upright, 100), std::make_pair(steps, 32), std::make_pair(still, 10)}) {
        const std::vector<std::string> files = Trips(path, 2);
        ASSERT_EQ(files.size(), 2u);
        const auto source = Play(path, last);
        ASSERT_EQ(source.size(), (size_t)last + 1);
        for (const std::string& file : files) {
            // lib3ds turns the node as the source within 1e-7 of a turn at every frame.
            int frame = -1;
            EXPECT_LE(WorstTurn(source, Play(file, last), &frame), 6e-7) << file << " frame " << frame;
            // The rotation keys come back as the file held them.
            ExpectSameKeys(BallRotation(path), BallRotation(file), file);
        }
    }
#endif
}

TEST(anim3ds_interop, HiddenFlagsBesideHideTracksSurviveATrip) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_hidden");
    // Hidden in the editor and shown from frame 10 to 20; shown in the editor and hidden by the
    // keyframer from frame 0 to 5.
    struct Case {
        const char* name;
        uint8_t hidden;
        std::vector<int> turns;
    };
    for (const Case& c : {Case{"hidden", 1, {10, 20}}, Case{"shown", 0, {0, 5}}}) {
        const std::string path = dir / (std::string(c.name) + ".3ds");
        BuildFile(
            path, 30,
            [&](Ftk::ObjectMotion* m) {
                m->mHide.mKeyCount = (uint32_t)c.turns.size();
                m->mHide.mKeys.clear();
                for (int frame : c.turns) {
                    Ftk::KeyHeader key;
                    key.mFrame = frame;
                    m->mHide.mKeys.push_back(key);
                }
            },
            c.hidden);
        const std::vector<std::string> files = Trips(path, 1);
        ASSERT_EQ(files.size(), 1u);
        interop3ds::File3ds a(path), b(files[0]);
        ASSERT_NE(a.file, nullptr);
        ASSERT_NE(b.file, nullptr);
        Lib3dsMesh* ma = lib3ds_file_mesh_by_name(a.file, "Ball");
        Lib3dsMesh* mb = lib3ds_file_mesh_by_name(b.file, "Ball");
        ASSERT_NE(ma, nullptr);
        ASSERT_NE(mb, nullptr);
        EXPECT_EQ(ma->object_flags & LIB3DS_OBJECT_HIDDEN, c.hidden ? LIB3DS_OBJECT_HIDDEN : 0u) << c.name;
        EXPECT_EQ(mb->object_flags & LIB3DS_OBJECT_HIDDEN, ma->object_flags & LIB3DS_OBJECT_HIDDEN) << c.name;
        for (int frame = 0; frame <= 30; ++frame) {
            lib3ds_file_eval(a.file, (float)frame);
            lib3ds_file_eval(b.file, (float)frame);
            Lib3dsNode* na = lib3ds_file_node_by_name(a.file, "Ball", LIB3DS_OBJECT_NODE);
            Lib3dsNode* nb = lib3ds_file_node_by_name(b.file, "Ball", LIB3DS_OBJECT_NODE);
            ASSERT_NE(na, nullptr);
            ASSERT_NE(nb, nullptr);
            EXPECT_EQ(nb->data.object.hide != 0, na->data.object.hide != 0) << c.name << " frame " << frame;
        }
    }
#endif
}

TEST(anim3ds_interop, TracksCoverTheTakeAndKeepItsStart) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds is not installed (Debian package lib3ds-dev)";
#else
    ScratchDir dir("anim_span");
    // Keys of a 0 to 100 segment with a last key two million frames on: the tracks keep their
    // keys and lib3ds plays the segment as the source.
    const std::string far = dir / "far.3ds";
    BuildFile(far, 100, [](Ftk::ObjectMotion* m) {
        SetTrack(m->mPosition, {Key(0), Key(2000000)}, {0, 0, 0, 4e5f, -2e5f, 1e5f});
        SetTrack(m->mRotation, {Key(0), Key(10), Key(2000000)},
                 {0.2f, 0.3f, 0.5f, 0.8f, 0.7f, -0.6f, 0.1f, 0.4f, 2.5f, 0, 1, 0});
    });
    const std::vector<std::string> files = Trips(far, 2);
    ASSERT_EQ(files.size(), 2u);
    const auto source = Play(far, 100);
    for (const std::string& file : files) {
        EXPECT_LT(std::filesystem::file_size(file), 20000u) << file;
        ExpectSamePlay(source, Play(file, 100), 0.1, 1e-5, 1e-3, file);
        ExpectSameKeys(BallRotation(far), BallRotation(file), file);
    }

    // A take 230,401 s on (frame 6,912,030): the segment and every key keep their frames, and
    // lib3ds plays the motion there.
    const int64_t start = 6912030;
    auto build = [](Rig& rig, VTime from, VTime to, VOxaNode** out) {
        rig.scene->CreateTake("late");
        rig.scene->SetCurrentTake("late");
        VOxaTakeInfo info;
        info.mName = "late";
        info.mLocalTimeSpan = VTimeSpan(from, to);
        info.mReferenceTimeSpan = info.mLocalTimeSpan;
        rig.scene->SetTakeInfo(info);
        AddMesh(rig.manager, rig.Root(), "Ball", Square(), {{0, 1, 2, 3}}, out);
        VOxaTakeNode* take = (*out)->GetCurrentTakeNode();
        for (int f = 0; f <= 60; f += 2) {
            const VTime time = from + Frame30(f);
            Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), time,
                 f * f * 0.01, f, -f * 0.5);
            // Cubic keys with automatic tangents: written a key a frame.
            VFCurve* angles[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(),
                                  take->GetEulerRotationZ()};
            for (int a = 0; a < 3; ++a) {
                VFCurveKey key;
                key.Set(time, (float)(f * (a + 1)));
                angles[a]->KeyAdd(time, key);
            }
        }
    };
    {
        Rig rig;
        VOxaNode* node = nullptr;
        build(rig, Frame30((int)start), Frame30((int)start + 60), &node);
        const std::string path = dir / "late.3ds";
        ASSERT_TRUE(rig.WriteTo(path));
        EXPECT_LT(std::filesystem::file_size(path), 20000u);
        interop3ds::File3ds file(path);
        ASSERT_NE(file.file, nullptr);
        EXPECT_EQ(file.file->segment_from, start);
        EXPECT_EQ(file.file->segment_to, start + 60);
        Lib3dsNode* ball = lib3ds_file_node_by_name(file.file, "Ball", LIB3DS_OBJECT_NODE);
        ASSERT_NE(ball, nullptr);
        EXPECT_EQ(ball->data.object.rot_track.keyL->tcb.frame, start);
        for (int f = 0; f <= 60; ++f) {
            lib3ds_file_eval(file.file, (float)(start + f));
            const VgeAMatrix m = node->EvaluateGlobalTransform(Frame30((int)start + f));
            const int axis[3] = {0, 2, 1};
            const double sign[3] = {1, -1, 1};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(ball->matrix[3][c] * file.file->master_scale,
                            sign[c] * m.mData[3][axis[c]] / 2.54, 1e-3)
                    << "frame " << f;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(ball->matrix[r][c], sign[r] * sign[c] * m.mData[axis[r]][axis[c]], 1e-4)
                        << "frame " << f;
        }
    }
    // A take past the last frame 3DS numbers is refused with the reason, and so is a key whose
    // tension is no number (it plays no number anywhere), with the node and frame; a take that
    // starts before 0 s keeps its start, 3DS frames being signed.
    {
        Rig rig;
        VOxaNode* node = nullptr;
        VTime late;
        late.SetSecondDouble(8e7);
        build(rig, late, late + Frame30(60), &node);
        EXPECT_FALSE(rig.WriteTo(dir / "past.3ds"));
        EXPECT_NE(
            std::string(rig.writer.GetError().GetLastErrorString().Buffer()).find("past the last frame"),
            std::string::npos);
    }
    {
        const std::string nan = dir / "nan.3ds";
        BuildFile(nan, 20, [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0), Key(20)}, {0, 0, 0, 10, 0, 0});
            m->mPosition.mKeys[1].mTension = std::nanf("");
        });
        Rig rig;
        VOxaReader3DS reader(&rig.manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(nan.c_str()) && reader.Read(rig.scene, options.get()));
        EXPECT_FALSE(rig.WriteTo(nan + ".out.3ds"));
        EXPECT_FALSE(std::filesystem::exists(nan + ".out.3ds"));
        EXPECT_NE(std::string(rig.writer.GetError().GetLastErrorString().Buffer())
                      .find("\"Ball\" is no number at frame"),
                  std::string::npos);
    }
    {
        Rig rig;
        VOxaNode* node = nullptr;
        build(rig, Frame30(-30), Frame30(30), &node);
        const std::string early = dir / "early.3ds";
        ASSERT_TRUE(rig.WriteTo(early));
        interop3ds::File3ds file(early);
        ASSERT_NE(file.file, nullptr);
        EXPECT_EQ(file.file->segment_from, -30);
        Lib3dsNode* ball = lib3ds_file_node_by_name(file.file, "Ball", LIB3DS_OBJECT_NODE);
        ASSERT_NE(ball, nullptr);
        EXPECT_EQ(ball->data.object.rot_track.keyL->tcb.frame, -30);
    }
#endif
}
