// The 3DS reader on a generated scene of about 100 MB (45 meshes of 65,535 vertices and faces with
// mapping coordinates, smoothing groups and a material each, keyframed motions, a camera): the
// whole read into a fresh scene. Beside it, when found at configure time, lib3ds loads the same
// file into its own structures and assimp's importer reads it (no post-processing). The program
// prints each time and the other library's time over ours.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_ratio.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif
#ifdef OXA_HAVE_ASSIMP
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

namespace {

constexpr int kMeshes = 45;
constexpr int kVertices = 65535;
constexpr int kMaterials = 45;
constexpr int kKeys = 100;

const std::string& ScenePath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / "reader_3ds_bench.3ds").string();
    return path;
}

// Writes the scene through the toolkit once; false on any error.
bool MakeFile() {
    static int made = -1;
    if (made >= 0) return made == 1;
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
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, kVertices, kVertices, Ftk::kMeshMapping | Ftk::kMeshSmoothing);
        std::snprintf(mesh->mName, sizeof mesh->mName, "Mesh%d", i);
        for (int v = 0; v < kVertices; ++v) {
            mesh->mVertices[v] = Ftk::Point3{(float)v, (float)(v % 256), (float)i};
            mesh->mMapping[v] = Ftk::TexVert{(float)(v % 100) / 100.0f, (float)(v % 37) / 37.0f};
            mesh->mFaces[v] =
                Ftk::Face{(uint16_t)v, (uint16_t)((v + 1) % kVertices), (uint16_t)((v + 2) % kVertices), 7};
            mesh->mSmoothing[v] = 1u << (v % 4);
        }
        mesh->mMaterialGroupCount = 1;
        Ftk::AllocMeshArrays(mesh, Ftk::kMeshMaterialGroups);
        std::snprintf(mesh->mMaterialGroups[0].mName, 17, "Mat%d", i % kMaterials);
        Ftk::AllocMaterialGroupFaces(mesh, 0, kVertices);
        for (int f = 0; f < kVertices; ++f)
            mesh->mMaterialGroups[0].mFaces[f] = (uint16_t)f;
        mesh->mLocalAxes[0] = mesh->mLocalAxes[4] = mesh->mLocalAxes[8] = 1.0f;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);

        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, kKeys, kKeys, kKeys, 0, 0);
        std::snprintf(motion->mName, sizeof motion->mName, "Mesh%d", i);
        for (int k = 0; k < kKeys; ++k) {
            motion->mPosition.mKeys[k].mFrame = motion->mRotation.mKeys[k].mFrame =
                motion->mScale.mKeys[k].mFrame = k;
            motion->mPosition.mValues[3 * k] = (float)k;
            motion->mRotation.mValues[4 * k] = 0.01f;
        }
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
    Ftk::File* file = Ftk::OpenFile(ScenePath().c_str(), "wb");
    if (file) {
        Ftk::SaveDatabase(file, db);
        Ftk::CloseFile(file);
    }
    Ftk::ReleaseDatabase(&db);
    made = file && !Ftk::IsErrorPending() ? 1 : 0;
    Ftk::ClearErrors();
    return made == 1;
}

void BM_Reader3dsRead(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(ScenePath().c_str()) || !reader.Read(scene, options.get()))
            state.SkipWithError("the reader failed");
    }
}
BENCHMARK(BM_Reader3dsRead)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef OXA_HAVE_LIB3DS
void BM_Lib3dsLoad(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        Lib3dsFile* file = lib3ds_file_load(ScenePath().c_str());
        if (!file) state.SkipWithError("lib3ds could not load the file");
        if (file) lib3ds_file_free(file);
    }
}
BENCHMARK(BM_Lib3dsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

#ifdef OXA_HAVE_ASSIMP
void BM_AssimpRead(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    for (auto _ : state) {
        Assimp::Importer importer;
        if (!importer.ReadFile(ScenePath(), 0)) state.SkipWithError("assimp could not read the file");
    }
}
BENCHMARK(BM_AssimpRead)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    std::error_code error;
    const double megabytes = (double)std::filesystem::file_size(ScenePath(), error) / 1e6;
    std::printf("\nfile: %.1f MB\n%-8s %14s %14s %14s\n", megabytes, "", "ours (ms)", "theirs (ms)",
                "theirs / ours");
    const double* ours = reporter.Find("BM_Reader3dsRead", 0);
    const struct {
        const char* label;
        const char* theirs;
        const char* missing;
    } rows[] = {{"lib3ds", "BM_Lib3dsLoad", "(lib3ds-dev not found at configure time)"},
                {"assimp", "BM_AssimpRead", "(libassimp-dev not found at configure time)"}};
    for (const auto& row : rows) {
        const double* theirs = reporter.Find(row.theirs, 0);
        if (!ours) break;
        if (!theirs) {
            std::printf("%-8s %14.1f %14s %s\n", row.label, *ours, "-", row.missing);
            continue;
        }
        std::printf("%-8s %14.1f %14.1f %14.2f\n", row.label, *ours, *theirs,
                    *ours > 0 ? *theirs / *ours : 0.0);
    }
    std::remove(ScenePath().c_str());
    return 0;
}
