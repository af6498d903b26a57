// The generated 3DS scene shared by the 3DS benchmarks: meshes of up to 65,535 vertices and faces
// with mapping coordinates, smoothing groups and one material group each, keyframed motions, and
// a camera, built with the 3DS chunk toolkit.
#ifndef OXA_BENCH_BENCH_3DS_SCENE_H
#define OXA_BENCH_BENCH_3DS_SCENE_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/geometry/3ds/ftk.h"

namespace oxa_bench {

// Mesh `index` of `vertices` vertices and as many faces, mapped, with smoothing groups cycling
// through the first `smoothingGroups` bits and one group of every face on material
// "Mat<index % materials>".
inline Ftk::Mesh* MakeBench3dsMesh(int index, int vertices, int materials, int smoothingGroups) {
    Ftk::Mesh* mesh = nullptr;
    Ftk::InitMesh(&mesh, vertices, vertices, Ftk::kMeshMapping | Ftk::kMeshSmoothing);
    std::snprintf(mesh->mName, sizeof mesh->mName, "Mesh%d", index);
    for (int v = 0; v < vertices; ++v) {
        mesh->mVertices[v] = Ftk::Point3{(float)v, (float)(v % 256), (float)index};
        mesh->mMapping[v] = Ftk::TexVert{(float)(v % 100) / 100.0f, (float)(v % 37) / 37.0f};
        mesh->mFaces[v] =
            Ftk::Face{(uint16_t)v, (uint16_t)((v + 1) % vertices), (uint16_t)((v + 2) % vertices), 7};
        mesh->mSmoothing[v] = 1u << (v % smoothingGroups);
    }
    mesh->mMaterialGroupCount = 1;
    Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
    mesh->mMaterialGroups[0].mName = "Mat" + std::to_string(index % materials);
    Ftk::AllocMaterialGroupFaces(mesh, 0, vertices);
    for (int f = 0; f < vertices; ++f)
        mesh->mMaterialGroups[0].mFaces[f] = (uint16_t)f;
    mesh->mLocalAxes[0] = mesh->mLocalAxes[4] = mesh->mLocalAxes[8] = 1.0f;
    return mesh;
}

// The motion of mesh `index`: position, rotation and scale tracks of `keys` keys at frames
// 0, 1, ...; the position moves along x, and with `turning` every rotation key gets angle 0.01.
inline Ftk::ObjectMotion* MakeBench3dsMotion(int index, int keys, bool turning) {
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::InitObjectMotion(&motion, keys, keys, keys, 0, 0);
    std::snprintf(motion->mName, sizeof motion->mName, "Mesh%d", index);
    for (int k = 0; k < keys; ++k) {
        motion->mPosition.mKeys[k].mFrame = motion->mRotation.mKeys[k].mFrame =
            motion->mScale.mKeys[k].mFrame = k;
        motion->mPosition.mValues[3 * k] = (float)k;
        if (turning) motion->mRotation.mValues[4 * k] = 0.01f;
    }
    return motion;
}

// Writes the scene of the 3DS reader and writer benchmarks to `path` (about 100 MB: 45 meshes of
// 65,535 vertices, 45 textured materials, 100-key motions, a camera); false on any error.
inline bool WriteBench3dsScene(const std::string& path) {
    constexpr int kMeshes = 45;
    constexpr int kVertices = 65535;
    constexpr int kMaterials = 45;
    constexpr int kKeys = 100;
    Ftk::ClearErrors();
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    Ftk::MeshSettings* settings = nullptr;
    Ftk::InitSettingsBlock(&settings);
    Ftk::PutSettings(db, settings);
    Ftk::ReleaseSettings(&settings);
    for (int m = 0; m < kMaterials; ++m) {
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::snprintf(material->mName, sizeof material->mName, "Mat%d", m);
        material->mDiffuse[0] = (float)(m % 7) / 7.0f;
        std::snprintf(material->mMaps[Ftk::kTextureMap1].mFileName, 16, "tex%d.png", m);
        material->mMaps[Ftk::kTextureMap1].mStrength = 1.0f;
        Ftk::WriteMaterial(db, material);
        Ftk::ReleaseMaterial(&material);
    }
    for (int i = 0; i < kMeshes; ++i) {
        Ftk::Mesh* mesh = MakeBench3dsMesh(i, kVertices, kMaterials, 4);
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
        Ftk::ObjectMotion* motion = MakeBench3dsMotion(i, kKeys, true);
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    }
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, "Camera01");
    Ftk::WriteCamera(db, camera);
    Ftk::ReleaseCamera(&camera);
    Ftk::CameraMotion* cameraMotion = nullptr;
    Ftk::InitCameraMotion(&cameraMotion, kKeys, 1, 1, kKeys);
    std::strcpy(cameraMotion->mName, "Camera01");
    for (int k = 0; k < kKeys; ++k)
        cameraMotion->mPosition.mKeys[k].mFrame = cameraMotion->mTargetPosition.mKeys[k].mFrame = k;
    Ftk::PutCameraMotion(db, cameraMotion);
    Ftk::ReleaseCameraMotion(&cameraMotion);
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "wb");
    if (file) {
        Ftk::SaveDatabase(file, db);
        Ftk::CloseFile(file);
    }
    Ftk::ReleaseDatabase(&db);
    const bool made = file && !Ftk::IsErrorPending();
    Ftk::ClearErrors();
    return made;
}

}  // namespace oxa_bench

#endif  // OXA_BENCH_BENCH_3DS_SCENE_H
