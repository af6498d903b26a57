// Shared helpers of the 3DS writer tests: a scratch folder, small scenes, keys, and a toolkit
// database loaded from a written file.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_TEST_UTIL_H

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_mesh.h"
#include "formats/geometry/3ds/ftk.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace writer3ds {

namespace fs = std::filesystem;

// A fresh folder, removed with the object.
struct ScratchDir : oxa_test::ScratchDir {
    explicit ScratchDir(const std::string& tag) : oxa_test::ScratchDir("oxa_w3ds_", tag) {}
};

inline std::string ReadBytes(const std::string& path) {
    return oxa_test::ReadFile(path);
}

inline void WriteBytes(const std::string& path, const std::string& text) {
    oxa_test::WriteFile(path, text);
}

inline VOxaNode* AddNode(VOxaSdkManager& manager, VOxaNode* parent, const char* name) {
    VOxaNode* node = manager.CreateNode(name);
    parent->AddChild(node);
    return node;
}

// A mesh node below `parent` with the points and polygons given.
inline VOxaMesh* AddMesh(VOxaSdkManager& manager, VOxaNode* parent, const char* name,
                         const std::vector<VgeTVector>& points, const std::vector<std::vector<int>>& polygons,
                         VOxaNode** nodeOut = nullptr) {
    VOxaNode* node = AddNode(manager, parent, name);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    mesh->InitControlPoints((int)points.size());
    for (size_t i = 0; i < points.size(); ++i)
        mesh->GetControlPoints()[i] = points[i];
    for (const std::vector<int>& polygon : polygons) {
        mesh->BeginPolygon(-1, -1, -1);
        for (int v : polygon)
            mesh->AddPolygonVertex(v, -1);
        mesh->EndPolygon();
    }
    if (nodeOut) *nodeOut = node;
    return mesh;
}

inline std::vector<VgeTVector> Square() {
    return {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(1, 1, 0, 1), VgeTVector(0, 1, 0, 1)};
}

// A linear key on each of three curves.
inline void Key3(VFCurve* x, VFCurve* y, VFCurve* z, VTime time, double a, double b, double c) {
    VFCurve* curves[3] = {x, y, z};
    const double values[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        VFCurveKey key;
        key.Set(time, (float)values[i], VFCurveKey::eInterpolationLinear);
        curves[i]->KeyAdd(time, key);
    }
}

inline VTime Frame30(int frame) {
    return VTime::GetOneFrameValue(6) * (int64_t)frame;
}

struct Rig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaWriter3DS writer{&manager};
    std::unique_ptr<VStreamOptionsBase> options{static_cast<VStreamOptionsBase*>(writer.GetWriteOptions())};

    VOxaNode* Root() { return scene->GetRootNode(); }
    bool WriteTo(const std::string& path) {
        return writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    }
};

// A written file loaded into a toolkit database (released with the object).
struct Loaded {
    Ftk::File* file = nullptr;
    Ftk::Database* db = nullptr;
    explicit Loaded(const std::string& path) {
        Ftk::ClearErrors();
        file = Ftk::OpenFile(path.c_str(), "rb");
        Ftk::NewDatabase(&db);
        if (file) Ftk::LoadDatabase(file, db);
    }
    ~Loaded() {
        Ftk::ReleaseDatabase(&db);
        Ftk::CloseFile(file);
        Ftk::ClearErrors();
    }
    bool Ok() const { return file != nullptr && !Ftk::IsErrorPending(); }
    std::unique_ptr<Ftk::Mesh, void (*)(Ftk::Mesh*)> Mesh(const char* name) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::GetMeshByName(db, name, &mesh);
        return {mesh, [](Ftk::Mesh* m) { Ftk::ReleaseMesh(&m); }};
    }
    std::unique_ptr<Ftk::Material, void (*)(Ftk::Material*)> Material(const char* name) {
        Ftk::Material* material = nullptr;
        Ftk::GetMaterialByName(db, name, &material);
        return {material, [](Ftk::Material* m) { Ftk::ReleaseMaterial(&m); }};
    }
    std::unique_ptr<Ftk::ObjectMotion, void (*)(Ftk::ObjectMotion*)> Motion(const char* name) {
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::GetObjectMotionByName(db, name, &motion);
        return {motion, [](Ftk::ObjectMotion* m) { Ftk::ReleaseObjectMotion(&m); }};
    }
    std::vector<std::string> MaterialNames() {
        Ftk::StringList* list = nullptr;
        Ftk::ListMaterialNames(db, &list);
        std::vector<std::string> out = list ? list->mStrings : std::vector<std::string>();
        Ftk::ReleaseStringList(&list);
        return out;
    }
    std::vector<std::string> MeshNames() {
        Ftk::StringList* list = nullptr;
        Ftk::ListMeshNames(db, &list);
        std::vector<std::string> out = list ? list->mStrings : std::vector<std::string>();
        Ftk::ReleaseStringList(&list);
        return out;
    }
};

}  // namespace writer3ds

#endif  // OXA_TESTS_FORMATS_GEOMETRY_3DS_VOXA_WRITER_3DS_TEST_UTIL_H
