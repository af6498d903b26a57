// oxa-make-examples DIR: writes the sample files that the README's main job converts, each built
// here as a scene and written through the exporter:
//   scene.3ds    a cube and a pyramid with materials, moving and turning, a camera and a light
//   walk.bvh     a small skeleton swinging its limbs
//   markers.c3d  four markers circling
// The files are committed under examples/; run this again to remake them.
#include <cmath>
#include <cstdio>
#include <string>

#include "animation/fcurve.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_vector.h"
#include "base/vtime.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr const char* kTake = "Take 001";
constexpr int kFrames = 61;  // two seconds at 30 frames per second

VTime Frame(int frame) {
    VTime time;
    time.SetSecondDouble(frame / 30.0);
    return time;
}

// Keys `value(frame)` on every frame of one curve of the node's current take.
template <typename F>
void Animate(VFCurve* curve, F value) {
    if (!curve) return;
    curve->KeyModifyBegin();
    for (int f = 0; f < kFrames; ++f)
        curve->KeyAppendFast(Frame(f), (float)value(f));
    curve->KeyModifyEnd();
}

VOxaNode* AddNode(VOxaSdkManager* manager, VOxaNode* parent, const char* name, VOxaNodeAttribute* attribute) {
    VOxaNode* node = manager->CreateNode(name);
    if (attribute) node->SetNodeAttribute(attribute);
    parent->AddChild(node);
    // The scene made its take before this node existed: the node gets its own take node.
    node->AddTakeNode(kTake);
    node->SetCurrentTakeNode(kTake);
    return node;
}

bool Write(VOxaSdkManager* manager, VOxaScene* scene, const std::string& path) {
    VOxaExporter* exporter = manager->CreateExporter();
    const int format = VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()));
    bool ok = format >= 0 && exporter->Initialize(path.c_str()) && exporter->SetFileFormat(format);
    VStreamOptions* options = ok ? exporter->GetWriteOptions() : nullptr;
    if (options && options->IsA(VStreamOptionsMotion::ClassId)) {
        // The motion writers take the frames to write from their options.
        auto* motion = static_cast<VStreamOptionsMotion*>(options);
        motion->SetTimeMode(VTime::eFRAMES30);
        motion->SetStartTime(Frame(0));
        motion->SetFrameCount(kFrames);
    }
    ok = ok && exporter->Export(scene, options);
    if (options) options->Destroy();
    if (!ok) {
        std::fprintf(
            stderr, "oxa-make-examples: %s: %s\n", path.c_str(),
            format < 0 ? "no writer for this extension" : exporter->GetError().GetLastErrorString().Buffer());
        return false;
    }
    std::printf("wrote %s\n", path.c_str());
    return true;
}

VOxaScene* NewScene(VOxaSdkManager* manager) {
    VOxaScene* scene = manager->CreateScene();
    scene->CreateTake(kTake);
    scene->SetCurrentTake(kTake);
    VOxaTakeInfo info;
    info.mName = kTake;
    info.mLocalTimeSpan = VTimeSpan(Frame(0), Frame(kFrames - 1));
    info.mReferenceTimeSpan = info.mLocalTimeSpan;
    scene->SetTakeInfo(info);
    return scene;
}

VOxaMaterial* Material(VOxaSdkManager* manager, const char* name, double r, double g, double b) {
    VOxaMaterial* material = manager->CreateMaterial(name);
    material->SetDefaultDiffuse(VgeTVector(r, g, b, 1.0));
    material->SetDefaultAmbient(VgeTVector(r * 0.2, g * 0.2, b * 0.2, 1.0));
    return material;
}

VOxaMesh* Cube(VOxaSdkManager* manager, VOxaMaterial* material, double half) {
    VOxaMesh* mesh = manager->CreateMesh();
    mesh->InitControlPoints(8);
    // Points are positions (w 1); the meshes carry no normals.
    VgeTVector* points = mesh->GetControlPoints();
    for (int k = 0; k < 8; ++k)
        points[k] = VgeTVector(k & 1 ? half : -half, k & 2 ? half : -half, k & 4 ? half : -half, 1);
    static const int kFaces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                     {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    mesh->AddMaterial(material, 0);
    mesh->InitMaterialIndices(4);  // one material for the whole mesh
    for (const auto& face : kFaces) {
        mesh->BeginPolygon();
        for (int corner : face)
            mesh->AddPolygonVertex(corner);
        mesh->EndPolygon();
    }
    return mesh;
}

VOxaMesh* Pyramid(VOxaSdkManager* manager, VOxaMaterial* material, double size) {
    VOxaMesh* mesh = manager->CreateMesh();
    mesh->InitControlPoints(5);
    const VgeTVector points[5] = {{-size, 0, -size, 1},
                                  {size, 0, -size, 1},
                                  {size, 0, size, 1},
                                  {-size, 0, size, 1},
                                  {0, size * 1.5, 0, 1}};
    for (int k = 0; k < 5; ++k)
        mesh->GetControlPoints()[k] = points[k];
    static const int kTriangles[6][3] = {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}, {0, 2, 1}, {0, 3, 2}};
    mesh->AddMaterial(material, 0);
    mesh->InitMaterialIndices(4);
    for (const auto& face : kTriangles) {
        mesh->BeginPolygon();
        for (int corner : face)
            mesh->AddPolygonVertex(corner);
        mesh->EndPolygon();
    }
    return mesh;
}

bool MakeScene(const std::string& path) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = NewScene(manager);
    VOxaNode* root = scene->GetRootNode();

    VOxaNode* cube =
        AddNode(manager, root, "Cube", Cube(manager, Material(manager, "Red", 0.8, 0.1, 0.1), 10.0));
    VOxaTakeNode* take = cube->GetCurrentTakeNode();
    Animate(take->GetTranslationX(), [](int f) { return 30.0 * std::sin(f * M_PI / 30.0); });
    Animate(take->GetTranslationY(), [](int) { return 10.0; });
    Animate(take->GetTranslationZ(), [](int) { return 0.0; });
    Animate(take->GetEulerRotationX(), [](int) { return 0.0; });
    Animate(take->GetEulerRotationY(), [](int f) { return f * 6.0; });
    Animate(take->GetEulerRotationZ(), [](int) { return 0.0; });

    VOxaNode* pyramid =
        AddNode(manager, root, "Pyramid", Pyramid(manager, Material(manager, "Blue", 0.1, 0.2, 0.8), 8.0));
    pyramid->SetLclTranslation(VgeTVector(0, 0, -40, 0));
    take = pyramid->GetCurrentTakeNode();
    Animate(take->GetTranslationX(), [](int) { return 0.0; });
    Animate(take->GetTranslationY(), [](int f) { return 5.0 * std::fabs(std::sin(f * M_PI / 20.0)); });
    Animate(take->GetTranslationZ(), [](int) { return -40.0; });

    VOxaCamera* camera = manager->CreateCamera();
    VOxaNode* cameraNode = AddNode(manager, root, "Camera", camera);
    cameraNode->SetLclTranslation(VgeTVector(0, 60, 120, 0));
    cameraNode->SetLclRotation(VgeTVector(-25, 0, 0, 0));

    VOxaLight* light = manager->CreateLight();
    light->SetLightType(VOxaLight::eSPOT);
    VOxaNode* lightNode = AddNode(manager, root, "Spot", light);
    lightNode->SetLclTranslation(VgeTVector(50, 100, 50, 0));
    lightNode->SetLclRotation(VgeTVector(-60, 45, 0, 0));

    const bool ok = Write(manager, scene, path);
    delete manager;
    return ok;
}

bool MakeSkeleton(const std::string& path) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = NewScene(manager);
    struct Joint {
        const char* name;
        int parent;
        double x, y, z;
        double swing;  // degrees about X, in phase with the step
    } joints[] = {
        {"Hips", -1, 0, 90, 0, 0},          {"Spine", 0, 0, 15, 0, 5},       {"Head", 1, 0, 40, 0, -5},
        {"LeftUpLeg", 0, 10, -5, 0, 30},    {"LeftLeg", 3, 0, -40, 0, 20},   {"LeftFoot", 4, 0, -40, 5, 0},
        {"RightUpLeg", 0, -10, -5, 0, -30}, {"RightLeg", 6, 0, -40, 0, -20}, {"RightFoot", 7, 0, -40, 5, 0},
        {"HeadTop", 2, 0, 15, 0, 0},        {"LeftToe", 5, 0, -5, 12, 0},    {"RightToe", 8, 0, -5, 12, 0}};
    VOxaNode* nodes[sizeof joints / sizeof joints[0]] = {};
    for (size_t k = 0; k < sizeof joints / sizeof joints[0]; ++k) {
        const Joint& j = joints[k];
        VOxaSkeleton* skeleton = manager->CreateSkeleton();
        skeleton->SetSkeletonType(j.parent < 0 ? VOxaSkeleton::eROOT : VOxaSkeleton::eLIMB_NODE);
        nodes[k] = AddNode(manager, j.parent < 0 ? scene->GetRootNode() : nodes[j.parent], j.name, skeleton);
        // The motion writers start from the marked node below the scene root.
        if (j.parent < 0) nodes[k]->SetMarked(1);
        nodes[k]->SetLclTranslation(VgeTVector(j.x, j.y, j.z, 0));
        // The last three are unanimated leaves: the end sites.
        if (k >= sizeof joints / sizeof joints[0] - 3) continue;
        VOxaTakeNode* take = nodes[k]->GetCurrentTakeNode();
        const double swing = j.swing;
        Animate(take->GetEulerRotationX(), [swing](int f) { return swing * std::sin(f * M_PI / 15.0); });
        Animate(take->GetEulerRotationY(), [](int) { return 0.0; });
        Animate(take->GetEulerRotationZ(), [](int) { return 0.0; });
        if (j.parent < 0) {
            Animate(take->GetTranslationX(), [](int) { return 0.0; });
            Animate(take->GetTranslationY(), [](int f) { return 90.0 + 2.0 * std::sin(f * M_PI / 7.5); });
            Animate(take->GetTranslationZ(), [](int f) { return f * 2.0; });
        }
    }
    const bool ok = Write(manager, scene, path);
    delete manager;
    return ok;
}

bool MakeMarkers(const std::string& path) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = NewScene(manager);
    const char* names[] = {"Head", "LeftHand", "RightHand", "Pelvis"};
    VOxaNode* markers = AddNode(manager, scene->GetRootNode(), "Markers", manager->CreateNull());
    for (int m = 0; m < 4; ++m) {
        VOxaNode* node = AddNode(manager, markers, names[m], manager->CreateMarker());
        node->SetMarked(1);  // the marker writers write the marked nodes
        VOxaTakeNode* take = node->GetCurrentTakeNode();
        const double phase = m * M_PI / 2.0, radius = 20.0 + 5.0 * m;
        Animate(take->GetTranslationX(), [=](int f) { return radius * std::cos(f * M_PI / 30.0 + phase); });
        Animate(take->GetTranslationY(),
                [=](int f) { return 100.0 + 10.0 * m + 3.0 * std::sin(f * M_PI / 10.0); });
        Animate(take->GetTranslationZ(), [=](int f) { return radius * std::sin(f * M_PI / 30.0 + phase); });
    }
    const bool ok = Write(manager, scene, path);
    delete manager;
    return ok;
}

const char kUsage[] = "usage: oxa-make-examples DIR\n";
const char kHelp[] =
    "Writes the sample files into the folder DIR, which must exist:\n"
    "  scene.3ds    a cube and a pyramid with materials, moving and turning, a camera and a light\n"
    "  walk.bvh     a small skeleton swinging its limbs\n"
    "  markers.c3d  four markers circling\n"
    "Files of those names in DIR are replaced.\n"
    "\n"
    "  -h, --help  print this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string first = argc > 1 ? argv[1] : "";
    if (argc == 2 && (first == "--help" || first == "-h")) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    // A folder whose name starts with '-' is given as ./-name.
    if (argc != 2 || first.empty() || first[0] == '-') {
        if (argc == 2 && !first.empty() && first[0] == '-')
            std::fprintf(stderr, "oxa-make-examples: unknown option '%s'\n", first.c_str());
        else
            std::fputs(kUsage, stderr);
        std::fputs("Try 'oxa-make-examples --help' for more information.\n", stderr);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    bool ok = MakeScene(dir + "scene.3ds");
    ok = MakeSkeleton(dir + "walk.bvh") && ok;
    ok = MakeMarkers(dir + "markers.c3d") && ok;
    return ok ? 0 : 1;
}
