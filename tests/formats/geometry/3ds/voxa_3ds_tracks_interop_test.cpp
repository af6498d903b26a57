// 3DS tracks written as their keys: files built here with a few keys over long segments go
// through the toolkit and back, and lib3ds counts the keys of the output and plays them against
// the source. Without lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "objects/vproperty.h"
#include "scene/voxa_take_node.h"
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

// A key with every spline value set: tension, continuity, bias, ease to and ease from.
Ftk::KeyHeader FullKey(int32_t frame, float tension, float continuity, float bias, float easeTo,
                       float easeFrom) {
    Ftk::KeyHeader key;
    key.mFrame = frame;
    key.mSplineFlags = 0x1F;
    key.mTension = tension;
    key.mContinuity = continuity;
    key.mBias = bias;
    key.mEaseTo = easeTo;
    key.mEaseFrom = easeFrom;
    return key;
}

void SetTrack(Ftk::Track& track, const std::vector<Ftk::KeyHeader>& keys, const std::vector<float>& values);

// A one-triangle object `name` with its keyframer node (one key a track).
void PutStillTriangle(Ftk::Database* db, const char* name) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, 3, 1, 0);
    std::strcpy(mesh->mName, name);
    mesh->mVertices[1] = Ftk::Point3{10, 0, 0};
    mesh->mVertices[2] = Ftk::Point3{0, 10, 0};
    mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
    mesh->mLocalAxes[0] = mesh->mLocalAxes[4] = mesh->mLocalAxes[8] = 1.0f;
    Ftk::WriteMesh(db, mesh);
    Ftk::ReleaseMesh(&mesh);
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
    std::strcpy(motion->mName, name);
    SetTrack(motion->mPosition, {Key(0)}, {0, 0, 0});
    SetTrack(motion->mRotation, {Key(0)}, {0, 0, 0, -1});
    SetTrack(motion->mScale, {Key(0)}, {1, 1, 1});
    Ftk::PutObjectMotion(db, motion);
    Ftk::ReleaseObjectMotion(&motion);
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
               const std::function<void(Ftk::SpotlightMotion*)>& spot = {},
               const std::function<void(Ftk::Database*)>& extra = {}) {
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
        if (extra) extra(db);
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

// The bytes of every track chunk of the file's keyframer nodes but position tracks, sorted.
std::vector<std::string> TrackChunks(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    auto children = [&](size_t begin, size_t end,
                        const std::function<void(uint16_t, size_t, size_t)>& visit) {
        while (begin + 6 <= end) {
            const uint16_t tag = (uint16_t)((uint8_t)bytes[begin] | (uint8_t)bytes[begin + 1] << 8);
            uint32_t length = 0;
            std::memcpy(&length, &bytes[begin + 2], 4);
            if (length < 6 || length > end - begin) return;
            visit(tag, begin, begin + length);
            begin += length;
        }
    };
    children(6, bytes.size(), [&](uint16_t tag, size_t begin, size_t end) {
        if (tag != 0xB000) return;
        children(begin + 6, end, [&](uint16_t, size_t node, size_t nodeEnd) {
            children(node + 6, nodeEnd, [&](uint16_t track, size_t from, size_t to) {
                if (track > 0xB020 && track <= 0xB029) out.push_back(bytes.substr(from, to - from));
            });
        });
    });
    std::sort(out.begin(), out.end());
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

// Two key lists the same in lib3ds: count, spline values and, through `same`, each key's value.
template <class K, class Same>
void ExpectSameKeys(K* written, K* source, const std::string& what, Same same) {
    EXPECT_EQ(Count(written), Count(source)) << what;
    for (int k = 0; written != nullptr && source != nullptr;
         ++k, written = written->next, source = source->next) {
        const std::string where = what + " key " + std::to_string(k);
        const Lib3dsTcb &a = written->tcb, &b = source->tcb;
        EXPECT_TRUE(a.frame == b.frame && a.flags == b.flags && a.tens == b.tens && a.cont == b.cont &&
                    a.bias == b.bias && a.ease_to == b.ease_to && a.ease_from == b.ease_from)
            << where << ": frame " << a.frame << " flags " << a.flags << " (source " << b.frame << ", "
            << b.flags << ")";
        same(*written, *source, where);
    }
}

// Key values alike to float precision, `scale` times the written file's over the source's.
auto SameValues(double scale = 1.0) {
    return [scale](const auto& a, const auto& b, const std::string& where) {
        const float* x = reinterpret_cast<const float*>(&a.value);
        const float* y = reinterpret_cast<const float*>(&b.value);
        for (size_t i = 0; i < sizeof a.value / sizeof(float); ++i)
            EXPECT_NEAR(x[i] * scale, y[i], 1e-5 * (1.0 + std::fabs(y[i]))) << where << " value " << i;
    };
}

// Every kind of track a file keys comes back as the same keys in lib3ds, spline values and ease
// included: position, rotation, scale, hide and morph (its names following an object the writer
// renames), camera field of view and roll, spot colour, hotspot, falloff and roll, an omni
// light's colour and the ambient node's colour; they play alike. OBJ names the morph and ambient
// tracks it leaves out.
TEST(Voxa3dsTracksInterop, EveryTrackKindKeepsItsKeys) {
    const std::string path = Scratch("kinds.3ds");
    BuildFile(
        path, 60,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition,
                     {FullKey(0, 0.25f, 0, 0, 0, 0.5f), FullKey(20, 0, 0.5f, -0.25f, 0.5f, 0), Key(40)},
                     {0, 0, 0, 10, 5, 0, 20, -5, 3});
            SetTrack(m->mRotation, {FullKey(0, 0, 0, 0, 0, 0), FullKey(30, 0.5f, 0, 0, 0.25f, 0.25f)},
                     {0, 0, 0, -1, 0.75f, 0, 0, -1});
            SetTrack(m->mScale, {Key(0), FullKey(15, 0, 0, 0.5f, 0, 0), Key(45)},
                     {1, 1, 1, 2, 1, 1, 1, 3, 1});
            Ftk::KeyHeader hide5 = Key(5), hide12 = Key(12), hide30 = Key(30);
            hide5.mSplineFlags = hide30.mSplineFlags = 0;
            hide12.mSplineFlags = 0x8;  // an ease to of 0.5
            hide12.mEaseTo = 0.5f;
            m->mHide.mKeyCount = 3;
            m->mHide.mKeys = {hide5, hide12, hide30};
            SetTrack(m->mMorph, {FullKey(0, 0.5f, 0, 0, 0, 0), FullKey(10, 0, 0.25f, 0, 0, 1), Key(25)}, {});
            m->mMorph.mMorphNames.resize(3);
            std::strcpy(m->mMorph.mMorphNames[0].mName, "Ball Two");
            std::strcpy(m->mMorph.mMorphNames[1].mName, "Ball3");
            std::strcpy(m->mMorph.mMorphNames[2].mName, "Ball\t4");  // a name the writer changes
            m->mFlags2 |= 0x0001;
            m->mMorphSmooth = 30.0f;
        },
        [](Ftk::CameraMotion* c) {
            SetTrack(c->mFieldOfView, {Key(0), FullKey(30, 0, 0, 0, 0.5f, 0.5f)}, {40, 60});
            SetTrack(c->mRoll, {Key(0), Key(10), Key(50)}, {0, 15, -30});
        },
        [](Ftk::SpotlightMotion* s) {
            SetTrack(s->mColor, {Key(0), FullKey(20, 0.5f, 0, 0, 0, 0)}, {1, 1, 1, 0.5f, 0.25f, 0});
            SetTrack(s->mHotspot, {Key(0), Key(20), Key(40)}, {20, 25, 15});
            SetTrack(s->mFalloff, {Key(0), FullKey(40, 0, 0, 0, 1, 0)}, {40, 30});
            SetTrack(s->mRoll, {Key(0), Key(20)}, {0, 45});
        },
        [](Ftk::Database* db) {
            for (const char* name : {"Ball Two", "Ball3", "Ball\t4"})
                PutStillTriangle(db, name);
            Ftk::Light* light = nullptr;
            Ftk::InitLight(&light);
            std::strcpy(light->mName, "Omni");
            Ftk::PutOmniLight(db, light);
            Ftk::ReleaseLight(&light);
            Ftk::OmniLightMotion* om = nullptr;
            Ftk::InitOmniLightMotion(&om, 0, 0);
            std::strcpy(om->mName, "Omni");
            SetTrack(om->mPosition, {Key(0)}, {0, 0, 0});
            SetTrack(om->mColor, {Key(0), Key(10), FullKey(35, 0, 0, 0, 0.5f, 0)},
                     {1, 1, 1, 0, 1, 0, 1, 0, 1});
            Ftk::PutOmniLightMotion(db, om);
            Ftk::ReleaseOmniLightMotion(&om);
            // The ambient node, as a modelling program writes it.
            Ftk::Chunk* ambient = Ftk::AddChild(Ftk::AMBIENT_NODE, Ftk::GetKeyframerData(db->mTop));
            Ftk::AddNodeHeader("$AMBIENT$", 0x0004, 0x0002, nullptr, ambient);
            const Ftk::KeyHeader keys[3] = {FullKey(0, 0.25f, -0.5f, 0.75f, 0.5f, 0.125f),
                                            FullKey(10, 0, 0, 0, 1, 0),
                                            FullKey(30, -0.5f, 0.25f, -0.25f, 0, 0.75f)};
            const float colors[9] = {0.1f, 0.2f, 0.3f, 0.9f, 0.5f, 0.0f, 0.2f, 0.8f, 0.4f};
            Ftk::AddColorTrack(3, 0, keys, colors, ambient);
        });
    const std::string out = Trip(path);
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    auto nodes = [&](const char* name, Lib3dsNodeTypes type) {
        return std::make_pair(source.Node(name, type), written.Node(name, type));
    };
    const auto [ball0, ball] = nodes("Ball", LIB3DS_OBJECT_NODE);
    const auto [cam0, cam] = nodes("Cam", LIB3DS_CAMERA_NODE);
    const auto [spot0, spot] = nodes("Spot", LIB3DS_LIGHT_NODE);
    const auto [omni0, omni] = nodes("Omni", LIB3DS_LIGHT_NODE);
    const auto [ambient0, ambient] = nodes("$AMBIENT$", LIB3DS_AMBIENT_NODE);
    ASSERT_TRUE(ball0 && ball && cam0 && cam && spot0 && spot && omni0 && omni && ambient0 && ambient);
    const double ratio = written.file->master_scale / source.file->master_scale;
    const Lib3dsObjectData &o = ball->data.object, &o0 = ball0->data.object;
    ExpectSameKeys(o.pos_track.keyL, o0.pos_track.keyL, "position", SameValues(ratio));
    ExpectSameKeys(o.rot_track.keyL, o0.rot_track.keyL, "rotation",
                   [](const Lib3dsQuatKey& a, const Lib3dsQuatKey& b, const std::string& where) {
                       EXPECT_NEAR(a.angle, b.angle, 1e-5) << where;
                       for (int i = 0; i < 3; ++i)
                           EXPECT_NEAR(a.axis[i], b.axis[i], 1e-5) << where << " axis " << i;
                   });
    ExpectSameKeys(o.scl_track.keyL, o0.scl_track.keyL, "scale", SameValues());
    ExpectSameKeys(o.hide_track.keyL, o0.hide_track.keyL, "hide", [](auto&, auto&, auto&) {});
    // Morph names as the source's, but for the renamed object: each names an object written.
    ExpectSameKeys(o.morph_track.keyL, o0.morph_track.keyL, "morph",
                   [&](const Lib3dsMorphKey& a, const Lib3dsMorphKey& b, const std::string& where) {
                       if (std::strchr(b.name, '\t') == nullptr) EXPECT_STREQ(a.name, b.name) << where;
                       EXPECT_NE(written.Node(a.name, LIB3DS_OBJECT_NODE), nullptr)
                           << where << ": " << a.name;
                   });
    EXPECT_FLOAT_EQ(o.morph_smooth, 30.0f);
    ExpectSameKeys(cam->data.camera.fov_track.keyL, cam0->data.camera.fov_track.keyL, "fov", SameValues());
    ExpectSameKeys(cam->data.camera.roll_track.keyL, cam0->data.camera.roll_track.keyL, "roll", SameValues());
    const Lib3dsLightData &s = spot->data.light, &s0 = spot0->data.light;
    ExpectSameKeys(s.col_track.keyL, s0.col_track.keyL, "spot colour", SameValues());
    ExpectSameKeys(s.hotspot_track.keyL, s0.hotspot_track.keyL, "hotspot", SameValues());
    ExpectSameKeys(s.falloff_track.keyL, s0.falloff_track.keyL, "falloff", SameValues());
    ExpectSameKeys(s.roll_track.keyL, s0.roll_track.keyL, "spot roll", SameValues());
    ExpectSameKeys(omni->data.light.col_track.keyL, omni0->data.light.col_track.keyL, "omni", SameValues());
    ExpectSameKeys(ambient->data.ambient.col_track.keyL, ambient0->data.ambient.col_track.keyL, "ambient",
                   SameValues());
    EXPECT_EQ(ambient->flags1, 0x0004);
    EXPECT_EQ(ambient->flags2, 0x0002);
    for (int frame : {0, 3, 10, 17, 24, 33, 44, 60}) {
        lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
        lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
        const std::string at = "frame " + std::to_string(frame);
        ExpectSameMatrix(source, ball0, written, ball, frame);
        if (frame < 25) EXPECT_STREQ(o.morph, o0.morph) << at;  // up to the renamed object's key
        const float pairs[][2] = {{cam->data.camera.fov, cam0->data.camera.fov},
                                  {cam->data.camera.roll, cam0->data.camera.roll},
                                  {s.hotspot, s0.hotspot},
                                  {s.falloff, s0.falloff},
                                  {s.col[1], s0.col[1]},
                                  {omni->data.light.col[0], omni0->data.light.col[0]},
                                  {ambient->data.ambient.col[0], ambient0->data.ambient.col[0]},
                                  {ambient->data.ambient.col[2], ambient0->data.ambient.col[2]}};
        for (const auto& pair : pairs)
            EXPECT_NEAR(pair[0], pair[1], 1e-3) << at << " value " << (&pair - pairs);
    }
    interop3ds::Session session;
    ASSERT_TRUE(session.Read(path));
    ASSERT_TRUE(session.Write<VOxaWriterObj>(path + ".obj"));
    EXPECT_NE(session.messages.find("morph track (\"Ball\")"), std::string::npos) << session.messages;
    EXPECT_NE(session.messages.find("ambient light track"), std::string::npos) << session.messages;
}

// Keys kept from a file give way to curves changed after reading: the written file plays the
// changed curve, not the file's keys.
TEST(Voxa3dsTracksInterop, KeptKeysGiveWayToChangedCurves) {
    const std::string path = Scratch("changed.3ds");
    BuildFile(
        path, 40,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {FullKey(0, 0.25f, 0, 0, 0.5f, 0), Key(20), Key(40)},
                     {0, 0, 0, 10, 5, 0, 20, -5, 3});
            SetTrack(m->mRotation, {Key(0)}, {0, 0, 0, -1});
            SetTrack(m->mScale, {FullKey(0, 0.5f, 0, 0, 0.25f, 0), Key(40)}, {1, 1, 1, 2, 2, 2});
        },
        [](Ftk::CameraMotion* c) {
            SetTrack(c->mFieldOfView, {Key(0), FullKey(40, 0, 0, 0, 0.5f, 0)}, {40, 60});
        });
    interop3ds::Session session;
    ASSERT_TRUE(session.Read(path));
    VOxaNode* node = session.Node("Ball");
    VOxaNode* cam = session.Node("Cam");
    ASSERT_TRUE(node && cam);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    ASSERT_TRUE(take && take->GetTranslationX() && take->GetTranslationX()->KeyGetCount() == 3);
    take->GetTranslationX()->KeySetValue(1, take->GetTranslationX()->KeyGetValue(1) + 50.0f);
    VFCurve* fov = cam->GetCurrentTakeNode()->GetCameraFieldOfView();
    ASSERT_TRUE(fov && fov->KeyGetCount() == 2);
    fov->KeySetValue(1, fov->KeyGetValue(1) - 10.0f);
    const std::string out = path + ".out.3ds";
    ASSERT_TRUE(session.Write(out));
    Played source(path), written(out);
    ASSERT_TRUE(source.file && written.file);
    const double sa = source.file->master_scale > 0.0f ? source.file->master_scale : 1.0;
    const double sb = written.file->master_scale > 0.0f ? written.file->master_scale : 1.0;
    lib3ds_file_eval(source.file, 20.0f);
    lib3ds_file_eval(written.file, 20.0f);
    Lib3dsNode* from = source.Node("Ball", LIB3DS_OBJECT_NODE);
    Lib3dsNode* ball = written.Node("Ball", LIB3DS_OBJECT_NODE);
    ASSERT_TRUE(from && ball);
    // 50 centimetres (50 / 2.54 inches of master scale 1) further along X at frame 20; Y as the
    // source's.
    EXPECT_NEAR(ball->matrix[3][0] * sb, from->matrix[3][0] * sa + 50.0 / 2.54, 1e-3);
    EXPECT_NEAR(ball->matrix[3][1] * sb, from->matrix[3][1] * sa, 1e-3);
    // The scale was not changed: its keys are the file's, spline values and all.
    ExpectSameKeys(ball->data.object.scl_track.keyL, from->data.object.scl_track.keyL, "scale", SameValues());
    // The field of view ends 10 degrees narrower in the camera's own measure: no longer 60.
    lib3ds_file_eval(written.file, 40.0f);
    Lib3dsNode* view = written.Node("Cam", LIB3DS_CAMERA_NODE);
    ASSERT_NE(view, nullptr);
    EXPECT_LT(view->data.camera.fov, 59.0f);
}

// Rotation keys at one frame or back in frame (a whole turn as two keys at a frame, a key before
// the one it follows): lib3ds orders them by frame and turns by every one; the trip plays the
// same.
TEST(Voxa3dsTracksInterop, RotationKeysAtOneFrameAllTurn) {
    const std::vector<std::pair<const char*, std::function<void(Ftk::ObjectMotion*)>>> cases = {
        {"samefr.3ds",
         [](Ftk::ObjectMotion* m) {
             SetTrack(m->mRotation, {Key(0), Key(10), Key(10), Key(10), Key(20)},
                      {0, 0, 0, -1, 1.5708f, 0, 0, 1, 3.14159f, 1, 0, 0, 3.14159f, 1, 0, 0, 0.8f, 0, 1, 0});
         }},
        {"before0.3ds",
         [](Ftk::ObjectMotion* m) {
             SetTrack(m->mRotation, {Key(-10), Key(6), Key(6), Key(12)},
                      {0, 0, 0, -1, 0.9f, 0, 0, 1, 6.28318f, 0, 1, 0, 0.6f, 1, 0, 0});
         }},
        {"back.3ds",
         [](Ftk::ObjectMotion* m) {
             SetTrack(m->mRotation, {Key(0), Key(20), Key(10), Key(30)},
                      {0, 0, 0, -1, 1.0f, 0, 0, 1, 0.7f, 1, 0, 0, 0.5f, 0, 1, 0});
         }},
    };
    for (const auto& c : cases) {
        const std::string path = Scratch(c.first);
        BuildFile(
            path, 30,
            [&](Ftk::ObjectMotion* m) {
                SetTrack(m->mPosition, {Key(0)}, {0, 0, 0});
                SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
                c.second(m);
            },
            [](Ftk::CameraMotion*) {});
        const std::string once = Trip(path);
        const std::string twice = Trip(once);
        // The scene's curves alone, written without the kept keys, play the same.
        const std::string curves = path + ".curves.3ds";
        {
            interop3ds::Session session;
            ASSERT_TRUE(session.Read(path));
            VOxaNode* node = session.Node("Ball");
            ASSERT_NE(node, nullptr);
            auto* text = dynamic_cast<VPropertyTemplate<VString>*>(
                node->GetNodeProperties()->FindProperty(kKeptRotationKeysProperty));
            ASSERT_NE(text, nullptr);
            text->SetValue(VString(""));
            ASSERT_TRUE(session.Write(curves));
        }
        Played source(path), written(once), again(twice), sampled(curves);
        ASSERT_TRUE(source.file && written.file && again.file && sampled.file) << c.first;
        // The keys themselves come back.
        const int keys = Count(source.Node("Ball", LIB3DS_OBJECT_NODE)->data.object.rot_track.keyL);
        EXPECT_EQ(Count(written.Node("Ball", LIB3DS_OBJECT_NODE)->data.object.rot_track.keyL), keys);
        EXPECT_EQ(Count(again.Node("Ball", LIB3DS_OBJECT_NODE)->data.object.rot_track.keyL), keys);
        for (int frame : {0, 3, 9, 10, 11, 14, 17, 20, 26, 30}) {
            SCOPED_TRACE(std::string(c.first) + " frame " + std::to_string(frame));
            lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(again.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(sampled.file, (Lib3dsFloat)frame);
            Lib3dsNode* ball = source.Node("Ball", LIB3DS_OBJECT_NODE);
            ExpectSameMatrix(source, ball, sampled, sampled.Node("Ball", LIB3DS_OBJECT_NODE), frame);
            ExpectSameMatrix(source, ball, written, written.Node("Ball", LIB3DS_OBJECT_NODE), frame);
            ExpectSameMatrix(source, ball, again, again.Node("Ball", LIB3DS_OBJECT_NODE), frame);
        }
    }
}

// An object without a keyframer node (a morph target) in a file with nodes: lib3ds keeps it in
// the mesh list, unplayed. The trip keeps it so, with its points, and the nodes play as they
// did; an OBJ holds it as the mesh it is.
TEST(Voxa3dsTracksInterop, ObjectWithoutNodeKept) {
    const std::string path = Scratch("nonode.3ds");
    BuildFile(
        path, 30,
        [](Ftk::ObjectMotion* m) {
            SetTrack(m->mPosition, {Key(0), Key(30)}, {0, 0, 0, 20, 5, 0});
            SetTrack(m->mRotation, {Key(0), Key(30)}, {0, 0, 0, -1, 1.0f, 0, 0, 1});
            SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
        },
        [](Ftk::CameraMotion*) {}, {},
        [](Ftk::Database* db) {
            Ftk::Mesh* mesh = nullptr;
            Ftk::InitMesh(&mesh, 3, 1, 0);
            std::strcpy(mesh->mName, "Shape 2");
            mesh->mVertices[0] = Ftk::Point3{50, 0, 7};
            mesh->mVertices[1] = Ftk::Point3{60, 0, 7};
            mesh->mVertices[2] = Ftk::Point3{50, 12, 7};
            mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
            mesh->mLocalAxes[0] = mesh->mLocalAxes[4] = mesh->mLocalAxes[8] = 1.0f;
            mesh->mLocalAxes[9] = 50;
            Ftk::WriteMesh(db, mesh);
            Ftk::ReleaseMesh(&mesh);
        });
    const std::string once = Trip(path);
    const std::string twice = Trip(once);
    Played source(path), written(once), again(twice);
    ASSERT_TRUE(source.file && written.file && again.file);
    ASSERT_NE(lib3ds_file_mesh_by_name(source.file, "Shape 2"), nullptr);
    ASSERT_EQ(source.Node("Shape 2", LIB3DS_OBJECT_NODE), nullptr);
    for (Played* out : {&written, &again}) {
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(out->file, "Shape 2");
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(out->Node("Shape 2", LIB3DS_OBJECT_NODE), nullptr);
        ASSERT_EQ(mesh->points, 3u);
        ASSERT_EQ(mesh->faces, 1u);
        // In master-scale units.
        const double scale = out->file->master_scale / source.file->master_scale;
        const float want[3][3] = {{50, 0, 7}, {60, 0, 7}, {50, 12, 7}};
        for (int i = 0; i < 3; ++i)
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(mesh->pointL[mesh->faceL[0].points[i]].pos[a] * scale, want[i][a], 1e-4);
        int nodes = 0;
        for (Lib3dsNode* node = out->file->nodes; node != nullptr; node = node->next)
            ++nodes;
        EXPECT_EQ(nodes, 3);  // the ball, the camera and its target
        for (int frame : {0, 12, 30}) {
            lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(out->file, (Lib3dsFloat)frame);
            ExpectSameMatrix(source, source.Node("Ball", LIB3DS_OBJECT_NODE), *out,
                             out->Node("Ball", LIB3DS_OBJECT_NODE), frame);
        }
    }
    // In OBJ the object is where the file's points put it.
    interop3ds::Session session;
    ASSERT_TRUE(session.Read(path));
    ASSERT_TRUE(session.Write<VOxaWriterObj>(path + ".obj"));
    // The OBJ's unit from the ball's corner at x = 10 (Y up: a file point (x, y, z) is (x, z, -y)).
    std::vector<VgeTVector> points = interop3ds::ObjVertices(path + ".obj");
    double unit = 0.0;
    for (const VgeTVector& p : points)
        if (p[1] == 0.0 && p[2] == 0.0) unit = std::max(unit, p[0] / 10.0);
    ASSERT_GT(unit, 0.0);
    int found = 0;
    for (const VgeTVector& p : points)
        for (const VgeTVector& want :
             {VgeTVector(50, 7, 0, 0), VgeTVector(60, 7, 0, 0), VgeTVector(50, 7, -12, 0)})
            if (std::fabs(p[0] - want[0] * unit) < 1e-3 && std::fabs(p[1] - want[1] * unit) < 1e-3 &&
                std::fabs(p[2] - want[2] * unit) < 1e-3)
                ++found;
    EXPECT_EQ(found, 3);
}

// A file without keyframer data: lib3ds shows each object at its stored points, whatever its
// local axes; so does the trip.
TEST(Voxa3dsTracksInterop, ObjectsOfAFileWithoutKeyframerStayPut) {
    const std::string path = Scratch("nokf.3ds");
    ASSERT_TRUE(ftkscene::WriteSceneFile(path, [](Ftk::Database* db) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 3, 1, 0);
        std::strcpy(mesh->mName, "Apart");
        mesh->mVertices[0] = Ftk::Point3{50, 0, 7};
        mesh->mVertices[1] = Ftk::Point3{60, 0, 7};
        mesh->mVertices[2] = Ftk::Point3{50, 12, 7};
        mesh->mFaces[0] = Ftk::Face{0, 1, 2, 7};
        const float axes[12] = {0, 1, 0, -1, 0, 0, 0, 0, 1, 50, 0, 7};
        std::memcpy(mesh->mLocalAxes, axes, sizeof axes);
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    }));
    const std::string out = Trip(path);
    Played written(out);
    ASSERT_NE(written.file, nullptr);
    const double scale = written.file->master_scale > 0.0f ? written.file->master_scale : 1.0;
    std::vector<VgeTVector> points;
    if (written.file->nodes != nullptr) {
        points = interop3ds::WorldVertices(out, false, 1.0);
    } else {
        for (Lib3dsMesh* mesh = written.file->meshes; mesh != nullptr; mesh = mesh->next)
            for (Lib3dsDword i = 0; i < mesh->points; ++i)
                points.emplace_back(mesh->pointL[i].pos[0] * scale, mesh->pointL[i].pos[1] * scale,
                                    mesh->pointL[i].pos[2] * scale, 0.0);
    }
    interop3ds::ExpectSamePoints({VgeTVector(50, 0, 7, 0), VgeTVector(60, 0, 7, 0), VgeTVector(50, 12, 7, 0)},
                                 points, 1e-4, "points");
}

// Keys that go back from the only frame the curves hold (position and hide keys at 0, then at
// -2^31) are written in their order, and a range wholly before frame 0 stays there: lib3ds
// plays and spans both files alike.
TEST(Voxa3dsTracksInterop, KeysGoingBackAndRangesBeforeZeroKept) {
    for (const bool before : {false, true}) {
        const std::string path = Scratch(before ? "before.3ds" : "back.3ds");
        BuildFile(
            path, 30,
            [&](Ftk::ObjectMotion* m) {
                if (before) {
                    SetTrack(m->mPosition, {Key(-10), Key(-2)}, {0, 0, 0, 20, 5, 0});
                } else {
                    SetTrack(m->mPosition, {Key(0), Key(INT32_MIN)}, {0, 0, 0, 20, 5, 0});
                    m->mHide.mKeyCount = 2;
                    m->mHide.mKeys = {Key(0), Key(INT32_MIN)};
                }
                SetTrack(m->mRotation, {Key(0)}, {0, 0, 0, -1});
                SetTrack(m->mScale, {Key(0)}, {1, 1, 1});
            },
            [](Ftk::CameraMotion*) {}, {},
            [&](Ftk::Database* db) {
                Ftk::KeyframerSettings settings;
                settings.mAnimationLength = before ? -2 : 30;
                settings.mSegmentInUse = before;
                settings.mSegmentFirst = -10;
                settings.mSegmentLast = -2;
                Ftk::PutKeyframerSettings(db, &settings);
            });
        const std::string out = Trip(path);
        Played source(path), written(out);
        ASSERT_TRUE(source.file && written.file);
        EXPECT_EQ(written.file->frames, source.file->frames) << path;
        EXPECT_EQ(written.file->segment_from, source.file->segment_from) << path;
        EXPECT_EQ(written.file->segment_to, source.file->segment_to) << path;
        Lib3dsNode* ball = written.Node("Ball", LIB3DS_OBJECT_NODE);
        ASSERT_TRUE(ball);
        EXPECT_EQ(Count(ball->data.object.pos_track.keyL), 2) << path;
        EXPECT_EQ(TrackChunks(out), TrackChunks(path)) << path;
        for (int frame : {-10, -5, 0, 10}) {
            lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(written.file, (Lib3dsFloat)frame);
            ExpectSameMatrix(source, source.Node("Ball", LIB3DS_OBJECT_NODE), written, ball, frame);
        }
    }
}

// Track header flags (a track that loops past its keys, axis locks) come back as the file set
// them, and lib3ds plays the loop past the last key as in the source. A keyframer without a
// segment stays without one.
// Every track and node flag bit, a key at frame -2^31 (with the hide and morph tracks that hold
// one), a scale of 0, hide keys that repeat or go back, and the field-of-view and colour tracks
// an object node may hold come back as the file holds them.
TEST(Voxa3dsTracksInterop, TrackFlagsKept) {
    const std::string path = Scratch("flags.3ds");
    BuildFile(
        path, 40,
        [](Ftk::ObjectMotion* m) {
            m->mFlags1 = m->mFlags2 = 0xFFFF;
            SetTrack(m->mPosition, {Key(INT32_MIN), Key(0), Key(10)}, {0, 0, 0, 0, 0, 0, 20, 5, 0});
            m->mPosition.mFlags = 0x0003;
            SetTrack(m->mRotation, {Key(0), Key(10)}, {0, 0, 0, -1, 1.0f, 0, 0, 1});
            m->mRotation.mFlags = 0xFFFF;
            SetTrack(m->mScale, {Key(0), Key(20)}, {0, 0, 0, 2, 2, 2});
            m->mScale.mFlags = 0xFFFF;
            m->mHide.mKeyCount = 5;
            m->mHide.mKeys = {Key(0), Key(5), Key(5), Key(3), Key(INT32_MAX)};
            m->mHide.mFlags = 0xFFFF;
            SetTrack(m->mMorph, {Key(INT32_MIN), Key(10)}, {});
            m->mMorph.mMorphNames.resize(2);
            std::strcpy(m->mMorph.mMorphNames[0].mName, "Ball");
            std::strcpy(m->mMorph.mMorphNames[1].mName, "Ball");
            SetTrack(m->mOtherTracks[0], {Key(3)}, {40});
            m->mOtherTracks[0].mFlags = 0xFFFF;
            SetTrack(m->mOtherTracks[2], {Key(0), Key(5)}, {1, 0, 0, 0, 1, 0});
        },
        [](Ftk::CameraMotion* view) {
            view->mFieldOfView.mFlags = 0xFFFF;
            view->mFlags1 = view->mFlags2 = view->mTargetFlags1 = view->mTargetFlags2 = 0xFFFF;
        });
    const std::string once = Trip(path);
    const std::string twice = Trip(once);
    Played source(path), written(once), again(twice);
    ASSERT_TRUE(source.file && written.file && again.file);
    Lib3dsNode* ball = source.Node("Ball", LIB3DS_OBJECT_NODE);
    Lib3dsNode* cam = source.Node("Cam", LIB3DS_CAMERA_NODE);
    Lib3dsNode* aim = source.Node("Cam", LIB3DS_TARGET_NODE);
    ASSERT_TRUE(ball && cam && aim);
    for (Played* out : {&written, &again}) {
        Lib3dsNode* b = out->Node("Ball", LIB3DS_OBJECT_NODE);
        Lib3dsNode* c = out->Node("Cam", LIB3DS_CAMERA_NODE);
        Lib3dsNode* a = out->Node("Cam", LIB3DS_TARGET_NODE);
        ASSERT_TRUE(b && c && a);
        for (auto [n, n0] : {std::make_pair(b, ball), std::make_pair(c, cam), std::make_pair(a, aim)})
            EXPECT_TRUE(n->flags1 == n0->flags1 && n->flags2 == n0->flags2) << n->name << " " << n->flags1;
        EXPECT_EQ(b->data.object.pos_track.flags, ball->data.object.pos_track.flags);
        EXPECT_EQ(b->data.object.rot_track.flags, ball->data.object.rot_track.flags);
        EXPECT_EQ(b->data.object.scl_track.flags, ball->data.object.scl_track.flags);
        EXPECT_EQ(c->data.camera.fov_track.flags, cam->data.camera.fov_track.flags);
        // The file has a length and no segment of its own: none is written, and lib3ds gives
        // both files the same range.
        EXPECT_EQ(out->file->frames, source.file->frames);
        EXPECT_EQ(out->file->segment_from, source.file->segment_from);
        EXPECT_EQ(out->file->segment_to, source.file->segment_to);
        for (int frame : {0, 5, 15, 25, 40}) {
            lib3ds_file_eval(source.file, (Lib3dsFloat)frame);
            lib3ds_file_eval(out->file, (Lib3dsFloat)frame);
            ExpectSameMatrix(source, ball, *out, b, frame);
        }
    }
    // What lib3ds does not hold, chunk by chunk: every track but the positions (whose unit the
    // writer may change) has the source's bytes.
    const std::vector<std::string> chunks = TrackChunks(path);
    EXPECT_EQ(chunks.size(), 8u);
    EXPECT_EQ(TrackChunks(once), chunks);
}

#else
TEST(Voxa3dsTracksInterop, NeedsLib3ds) {
    GTEST_SKIP() << "lib3ds development package not installed";
}
#endif

}  // namespace
