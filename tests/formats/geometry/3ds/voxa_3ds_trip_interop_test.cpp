// Scenes on trips through 3DS, checked as an independent program sees them: lib3ds evaluates each
// file frame by frame (every node's world matrix, the cameras' field of view and roll, the
// targets), before and after the trip. Positions are compared in the file's master-scale units,
// so the unit factor of a trip does not count, and names by their first seven characters, the
// length the writer keeps. Without lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"
#include "tests/support/corpus.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#endif

using namespace interop3ds;
using namespace writer3ds;

namespace {

#ifndef OXA_HAVE_LIB3DS
const char* const kNoLib3ds = "lib3ds is not installed (Debian package lib3ds-dev)";
#endif

// ---- The toolkit's side: reading and writing files ----------------------------------------------

// Reads `path` and writes it again as `out`, `trips` times over (each trip from the file the last
// one wrote).
void Trips(const std::string& path, const std::string& stem, int trips, std::vector<std::string>& files) {
    std::string from = path;
    for (int i = 1; i <= trips; ++i) {
        Session session;
        ASSERT_TRUE(session.Read(from)) << from;
        const std::string to = stem + std::to_string(i) + ".3ds";
        ASSERT_TRUE(session.Write<VOxaWriter3DS>(to)) << to;
        files.push_back(to);
        from = to;
    }
}

// A scene with a target camera (with a mesh below it), a target spotlight and an animated mesh.
void WriteTestScene(const std::string& path) {
    Rig rig;
    VOxaNode* cam = AddNode(rig.manager, rig.Root(), "Cam");
    VOxaCamera* camera = rig.manager.CreateCamera();
    cam->SetNodeAttribute(camera);
    VOxaTakeNode* take = cam->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 40, 200);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), 50, 60, 180);
    VFCurveKey fov;
    fov.Set(VTime(0), 40.0f, VFCurveKey::eInterpolationLinear);
    take->GetCameraFieldOfView()->KeyAdd(VTime(0), fov);
    fov.Set(Frame30(20), 60.0f, VFCurveKey::eInterpolationLinear);
    take->GetCameraFieldOfView()->KeyAdd(Frame30(20), fov);
    VOxaNode* aim = AddNode(rig.manager, rig.Root(), "CamAim");
    aim->SetNodeAttribute(rig.manager.CreateMarker());
    take = aim->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 10, -20, 60);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), -30, 0, 20);
    cam->SetTarget(aim);

    VOxaNode* kid = nullptr;
    AddMesh(rig.manager, cam, "Kid", Square(), {{0, 1, 2, 3}}, &kid);
    kid->SetLclTranslation(VgeTVector(5, -10, -30, 0));

    VOxaNode* spot = AddNode(rig.manager, rig.Root(), "Spot");
    VOxaLight* light = rig.manager.CreateLight();
    light->SetLightType(VOxaLight::eSPOT);
    spot->SetNodeAttribute(light);
    spot->SetLclTranslation(VgeTVector(-80, 120, 40, 0));
    VOxaNode* spotAim = AddNode(rig.manager, rig.Root(), "SpotAim");
    spotAim->SetNodeAttribute(rig.manager.CreateMarker());
    take = spotAim->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), 20, 0, -20);
    spot->SetTarget(spotAim);

    VOxaNode* box = nullptr;
    AddMesh(rig.manager, rig.Root(), "Box", Square(), {{0, 1, 2, 3}}, &box);
    take = box->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 30, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), 30, 40, -10);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), VTime(0), 10, 20,
         0);
    Key3(take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(), Frame30(20), 10,
         120, 30);
    Key3(take->GetScaleX(), take->GetScaleY(), take->GetScaleZ(), VTime(0), 1, 1, 1);
    Key3(take->GetScaleX(), take->GetScaleY(), take->GetScaleZ(), Frame30(20), 2, 1, 0.5);
    ASSERT_TRUE(rig.WriteTo(path));
}

#ifdef OXA_HAVE_LIB3DS

// ---- lib3ds's side ------------------------------------------------------------------------------

struct Pose {
    double m[4][4];
    double fov = 0.0, roll = 0.0;
};

// One file as lib3ds sees it: per node (by kind and name) the pose at every frame.
struct Evaluation {
    int frames = 0, segmentFrom = 0, segmentTo = 0;
    double size = 0.0;  // the largest distance of a node from the origin
    std::map<std::string, std::vector<Pose>> poses;
    std::map<std::string, std::string> parents;
};

std::string NodeKey(const Lib3dsNode* node) {
    std::string key = std::to_string((int)node->type) + ":" + std::string(node->name).substr(0, 7);
    if (node->type == LIB3DS_OBJECT_NODE && node->data.object.instance[0])
        key += "." + std::string(node->data.object.instance).substr(0, 7);
    return key;
}

void Collect(Lib3dsNode* node, double scale, Evaluation& out, const std::string& parent) {
    for (; node; node = node->next) {
        const std::string key = NodeKey(node);
        Pose pose;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                pose.m[r][c] = node->matrix[r][c] * (r == 3 && c < 3 ? scale : 1.0);
        if (node->type == LIB3DS_CAMERA_NODE) {
            pose.fov = node->data.camera.fov;
            pose.roll = node->data.camera.roll;
        }
        out.size = std::max(out.size, std::sqrt(pose.m[3][0] * pose.m[3][0] + pose.m[3][1] * pose.m[3][1] +
                                                pose.m[3][2] * pose.m[3][2]));
        out.poses[key].push_back(pose);
        out.parents[key] = parent;
        Collect(node->childs, scale, out, key);
    }
}

// lib3ds's evaluation of frames 0 to `last`; `last` below 0 takes the file's own range.
Evaluation Evaluate(const std::string& path, int last = -1) {
    Evaluation out;
    Lib3dsFile* file = lib3ds_file_load(path.c_str());
    EXPECT_NE(file, nullptr) << path;
    if (!file) return out;
    out.frames = file->frames;
    out.segmentFrom = file->segment_from;
    out.segmentTo = file->segment_to;
    if (last < 0) last = std::max(file->frames, file->segment_to);
    const double scale = file->master_scale > 0.0f ? file->master_scale : 1.0;
    for (int frame = 0; frame <= last; ++frame) {
        lib3ds_file_eval(file, (Lib3dsFloat)frame);
        Collect(file->nodes, scale, out, "");
    }
    lib3ds_file_free(file);
    return out;
}

// Every node of `a` is in `b` under the same parent, at the same world matrix (positions within
// `tolerance`) and, for cameras, with the same field of view and roll, at every frame.
void ExpectSamePoses(const Evaluation& a, const Evaluation& b, double tolerance, const std::string& what) {
    ASSERT_EQ(a.poses.size(), b.poses.size()) << what;
    for (const auto& [key, poses] : a.poses) {
        auto found = b.poses.find(key);
        ASSERT_NE(found, b.poses.end()) << what << ": " << key;
        EXPECT_EQ(a.parents.at(key), b.parents.at(key)) << what << ": " << key;
        ASSERT_EQ(poses.size(), found->second.size()) << what << ": " << key;
        int reported = 0;
        for (size_t f = 0; f < poses.size() && reported < 3; ++f) {
            const Pose& p = poses[f];
            const Pose& q = found->second[f];
            bool same = std::fabs(p.fov - q.fov) <= 0.01 && std::fabs(p.roll - q.roll) <= 0.01;
            for (int c = 0; c < 3; ++c) {
                same = same && std::fabs(p.m[3][c] - q.m[3][c]) <= tolerance;
                for (int r = 0; r < 3; ++r)
                    same = same && std::fabs(p.m[r][c] - q.m[r][c]) <= 1e-4;
            }
            if (same) continue;
            ++reported;
            ADD_FAILURE() << what << ": " << key << " at frame " << f << ": (" << p.m[3][0] << ", "
                          << p.m[3][1] << ", " << p.m[3][2] << ") fov " << p.fov << " roll " << p.roll
                          << " became (" << q.m[3][0] << ", " << q.m[3][1] << ", " << q.m[3][2] << ") fov "
                          << q.fov << " roll " << q.roll;
        }
    }
}

#endif  // OXA_HAVE_LIB3DS

const char* const kDebianFiles[] = {"CameraRollAnim.3ds", "CameraRollAnimWithChildObject.3ds",
                                    "TargetCameraAnim.3ds", "RotatingCube.3DS"};
const char* const kModels = "/usr/share/assimp/models/3DS/";

}  // namespace

TEST(trip3ds_interop, ThreeTripsKeepTargetsFieldOfViewAndChildrenOfCameras) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("trips");
    const std::string first = dir / "scene.3ds";
    WriteTestScene(first);
    std::vector<std::string> files;
    Trips(first, dir / "trip", 3, files);
    ASSERT_EQ(files.size(), 3u);

    const Evaluation a = Evaluate(first);
    const Evaluation c = Evaluate(files[2]);
    EXPECT_EQ(a.segmentTo, 20);
    EXPECT_EQ(c.frames, a.frames);
    EXPECT_EQ(c.segmentFrom, a.segmentFrom);
    EXPECT_EQ(c.segmentTo, a.segmentTo);
    ExpectSamePoses(a, c, 1e-4 * a.size, "third trip");
    // The targets are where the scene put them: (10, -20, 60) Y-up is (10, -60, -20) in the file,
    // in inches; the mesh below the camera moves with it.
    const Pose& target = a.poses.at(std::to_string((int)LIB3DS_TARGET_NODE) + ":Cam").front();
    EXPECT_NEAR(target.m[3][0], 10 / 2.54, 1e-4);
    EXPECT_NEAR(target.m[3][1], -60 / 2.54, 1e-4);
    EXPECT_NEAR(target.m[3][2], -20 / 2.54, 1e-4);
    EXPECT_EQ(c.parents.at(std::to_string((int)LIB3DS_OBJECT_NODE) + ":Kid"),
              std::to_string((int)LIB3DS_CAMERA_NODE) + ":Cam");

    // The mesh section agrees with the keyframer at frame 0.
    Lib3dsFile* file = lib3ds_file_load(files[2].c_str());
    ASSERT_NE(file, nullptr);
    Lib3dsCamera* camera = lib3ds_file_camera_by_name(file, "Cam");
    ASSERT_NE(camera, nullptr);
    EXPECT_NEAR(camera->target[0], 10, 1e-3);
    EXPECT_NEAR(camera->target[1], -60, 1e-3);
    EXPECT_NEAR(camera->target[2], -20, 1e-3);
    EXPECT_NEAR(camera->fov, a.poses.at(std::to_string((int)LIB3DS_CAMERA_NODE) + ":Cam").front().fov, 0.01);
    Lib3dsLight* spot = lib3ds_file_light_by_name(file, "Spot");
    ASSERT_NE(spot, nullptr);
    EXPECT_NEAR(spot->spot[0], 0, 1e-3);
    EXPECT_NEAR(spot->spot[1], 0, 1e-3);
    EXPECT_NEAR(spot->spot[2], 0, 1e-3);
    lib3ds_file_free(file);

    // Our own reading of the third file equals that of the first, frame by frame.
    Session one, three;
    ASSERT_TRUE(one.Read(first));
    ASSERT_TRUE(three.Read(files[2]));
    for (const char* name : {"Cam", "Cam.Target", "Kid", "Spot", "Spot.Target", "Box"}) {
        VOxaNode* p = one.Node(name);
        VOxaNode* q = three.Node(name);
        ASSERT_NE(p, nullptr) << name;
        ASSERT_NE(q, nullptr) << name;
        EXPECT_STREQ(p->GetParent()->GetNameWithoutPrefix(), q->GetParent()->GetNameWithoutPrefix()) << name;
        for (int frame = 0; frame <= 20; frame += 5) {
            const VgeAMatrix mp = p->EvaluateGlobalTransform(Frame30(frame));
            const VgeAMatrix mq = q->EvaluateGlobalTransform(Frame30(frame));
            for (int r = 0; r < 4; ++r)
                for (int col = 0; col < 3; ++col)
                    EXPECT_NEAR(mp.mData[r][col], mq.mData[r][col], 1e-3) << name << " frame " << frame;
        }
    }
    VFCurve* fovOne = one.Node("Cam")->GetCurrentTakeNode()->GetCameraFieldOfView();
    VFCurve* fovThree = three.Node("Cam")->GetCurrentTakeNode()->GetCameraFieldOfView();
    for (int frame = 0; frame <= 20; ++frame)
        EXPECT_NEAR(fovOne->Evaluate(Frame30(frame)), fovThree->Evaluate(Frame30(frame)), 0.01) << frame;
    // The scene's own angle: 40 at frame 0, as the first scene had it.
    EXPECT_NEAR(fovOne->Evaluate(VTime(0)), 40.0, 0.01);
#endif
}

TEST(trip3ds_interop, DebianFilesKeepTheirAnimationAfterOneTrip) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("debian");
    int compared = 0;
    for (const char* name : kDebianFiles) {
        const std::string path = std::string(kModels) + name;
        if (!corpustest::fs::exists(path)) continue;
        std::vector<std::string> files;
        Trips(path, dir / (std::string(name) + "."), 1, files);
        ASSERT_EQ(files.size(), 1u);
        const Evaluation a = Evaluate(path);
        const Evaluation b = Evaluate(files[0], std::max(a.frames, a.segmentTo));
        EXPECT_EQ(b.frames, a.frames) << name;
        EXPECT_EQ(b.segmentFrom, a.segmentFrom) << name;
        EXPECT_EQ(b.segmentTo, a.segmentTo) << name;
        ExpectSamePoses(a, b, 1e-4 * a.size, name);
        ++compared;
    }
    if (compared == 0)
        GTEST_SKIP() << "the model collection is not installed (Debian package assimp-testmodels)";
    const std::string child = dir / "CameraRollAnimWithChildObject.3ds.1.3ds";
    if (corpustest::fs::exists(child)) {
        const Evaluation b = Evaluate(child, 0);
        EXPECT_EQ(b.parents.at(std::to_string((int)LIB3DS_OBJECT_NODE) + ":Box02"),
                  std::to_string((int)LIB3DS_CAMERA_NODE) + ":Camera0");
    }
#endif
}

TEST(trip3ds_interop, DummyHierarchyKeepsItsInstanceNamesThroughTwoTrips) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("dummies");
    Rig rig;
    VOxaNode* hips = AddNode(rig.manager, rig.Root(), "Hips");
    hips->SetLclTranslation(VgeTVector(0, 90, 0, 0));
    VOxaNode* leg = AddNode(rig.manager, hips, "LeftUpLeg");
    leg->SetLclTranslation(VgeTVector(10, -5, 0, 0));
    VOxaNode* foot = AddNode(rig.manager, leg, "Foot");
    foot->SetLclTranslation(VgeTVector(0, -40, 5, 0));
    AddMesh(rig.manager, foot, "Toe", Square(), {{0, 1, 2}});
    const std::string first = dir / "joints.3ds";
    ASSERT_TRUE(rig.WriteTo(first));
    std::vector<std::string> files;
    Trips(first, dir / "joints", 2, files);
    ASSERT_EQ(files.size(), 2u);

    const Evaluation a = Evaluate(first, 0);
    const Evaluation c = Evaluate(files[1], 0);
    const std::string dummy = std::to_string((int)LIB3DS_OBJECT_NODE) + ":$$$DUMM.";
    for (const char* instance : {"Hips", "LeftUpL", "Foot"})
        EXPECT_EQ(c.poses.count(dummy + instance), 1u) << instance;
    EXPECT_EQ(c.parents.at(dummy + "Foot"), dummy + "LeftUpL");
    ExpectSamePoses(a, c, 1e-4 * a.size, "second trip");

    Session read;
    ASSERT_TRUE(read.Read(files[1]));
    VOxaNode* node = read.Node("$$$DUMMY.LeftUpLeg");
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->GetParent()->GetNameWithoutPrefix(), "$$$DUMMY.Hips");
#endif
}

TEST(trip3ds_interop, StaticFormatsShowTheFrameZeroPose) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << kNoLib3ds;
#else
    ScratchDir dir("static");
    std::vector<std::string> paths = {std::string(OXA_EXAMPLES_DIR) + "/scene.3ds"};
    if (corpustest::fs::exists(std::string(kModels) + "RotatingCube.3DS"))
        paths.push_back(std::string(kModels) + "RotatingCube.3DS");
    for (const std::string& path : paths) {
        Session session;
        ASSERT_TRUE(session.Read(path)) << path;
        ASSERT_TRUE(session.Write<VOxaWriterObj>(dir / "out.obj")) << path;
        const std::vector<VgeTVector> expected = WorldVertices(path, true, 2.54);
        ExpectSamePoints(expected, ObjVertices(dir / "out.obj"), 1e-4 * Extent(expected), path + " as OBJ");

        Session again;
        ASSERT_TRUE(again.Read(path)) << path;
        ASSERT_TRUE(again.Write<VOxaWriterDxf>(dir / "out.dxf")) << path;
        const std::vector<VgeTVector> zUp = WorldVertices(path, false, 2.54);
        ExpectSamePoints(zUp, DxfVertices(dir / "out.dxf"), 1e-4 * Extent(zUp), path + " as DXF");
    }
#endif
}

// Small OBJ meshes written as 3DS: lib3ds shades every corner as the OBJ's normals (or smoothing
// groups) say, over the vertices the OBJ shares.
TEST(trip3ds_interop, ObjShadingReachesLib3dsOverSharedVertices) {
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    const std::string box = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n";
    const std::string boxFaces = "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 4 8 7 3\nf 1 5 8 4\nf 2 3 7 6\n";
    const std::string flatNormals =
        "vn 0 0 -1\nvn 0 0 1\nvn 0 -1 0\nvn 0 1 0\nvn -1 0 0\nvn 1 0 0\n"
        "f 1//1 4//1 3//1 2//1\nf 5//2 6//2 7//2 8//2\nf 1//3 2//3 6//3 5//3\n"
        "f 4//4 8//4 7//4 3//4\nf 1//5 5//5 8//5 4//5\nf 2//6 3//6 7//6 6//6\n";
    // A cylinder of 8 sides, open, whose side is one smoothing group with its seam at x = 1.
    std::string cylinder;
    for (int i = 0; i < 8; ++i) {
        const double a = i * 3.14159265358979323846 / 4;
        cylinder += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
        cylinder += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 1\n";
    }
    cylinder += "s 1\n";
    for (int i = 0; i < 8; ++i) {
        const int a = 2 * i + 1, b = 2 * ((i + 1) % 8) + 1;
        cylinder += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(b + 1) + " " +
                    std::to_string(a + 1) + "\n";
    }
    // A fan of four triangles around one vertex, folded at right angles, without smoothing.
    const std::string fan =
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nv -1 0 0\nv 0 0 1\nf 1 2 3\nf 1 3 4\nf 1 4 5\nf 1 5 2\n";
    struct Case {
        const char* name;
        std::string obj;
        int points;
        double smoothCorners;  // corners whose normal is not their face's: lib3ds smooths them
    };
    const Case cases[] = {
        {"box flat", box + boxFaces, 8, 0},
        {"box in one group", box + "s 1\n" + boxFaces, 8, 36},
        {"box with flat normals in one group", box + "s 1\n" + flatNormals, 8, 0},
        {"box with inward flat normals in one group",
         box + "s 1\nvn 0 0 1\nvn 0 0 -1\nvn 0 1 0\nvn 0 -1 0\nvn 1 0 0\nvn -1 0 0\n" +
             flatNormals.substr(flatNormals.find('f')),
         8, 0},
        {"cylinder", cylinder, 16, 48},
        {"fan", fan, 5, 0},
    };
    for (const Case& c : cases) {
        oxa_test::ScratchDir dir("oxa_objshade_", "t");
        const std::string obj = dir / "in.obj", out = dir / "out.3ds";
        std::ofstream(obj) << c.obj;
        Session session;
        VOxaReaderObj reader(&session.manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(obj.c_str()) && reader.Read(session.scene, options.get()) &&
                    reader.FileClose())
            << c.name;
        ASSERT_TRUE(session.Write(out)) << c.name;
        File3ds written(out);
        ASSERT_NE(written.file, nullptr) << c.name;
        Lib3dsMesh* mesh = written.file->meshes;
        ASSERT_NE(mesh, nullptr) << c.name;
        EXPECT_EQ((int)mesh->points, c.points) << c.name;
        std::vector<Lib3dsVector> normals((size_t)mesh->faces * 3 + 3);
        lib3ds_mesh_calculate_normals(mesh, normals.data());
        int smooth = 0;
        for (Lib3dsDword f = 0; f < mesh->faces; ++f)
            for (int k = 0; k < 3; ++k)
                if (lib3ds_vector_dot(normals[f * 3 + (size_t)k], mesh->faceL[f].normal) < 0.999f) ++smooth;
        EXPECT_EQ(smooth, c.smoothCorners) << c.name;
        // Shaded flat at every corner: faceted, every mask 0.
        for (Lib3dsDword f = 0; f < mesh->faces && c.smoothCorners == 0; ++f)
            EXPECT_EQ(mesh->faceL[f].smoothing, 0u) << c.name << " face " << f;
    }
#endif
}
