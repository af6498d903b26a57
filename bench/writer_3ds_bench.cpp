// The 3DS writer on the scene of the 3DS reader's benchmark (45 meshes of 65,535 vertices and
// faces with mapping coordinates, smoothing groups and a material each, keyframed motions, a
// camera): the file is made with the toolkit, read once into a scene, and the scene is written.
// Beside it, when lib3ds (lib3ds-dev) was found at configure time, lib3ds loads the same file once
// and saves it. The program prints each time and lib3ds's time over ours.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_ratio.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif

namespace {

constexpr int kMeshes = 45;
constexpr int kVertices = 65535;
constexpr int kMaterials = 45;
constexpr int kKeys = 100;

const std::string& ScenePath() {
    static const std::string path =
        (std::filesystem::temp_directory_path() / "writer_3ds_bench_in.3ds").string();
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

std::string OutPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

void BM_Writer3dsWrite(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    {
        VOxaReader3DS reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(ScenePath().c_str()) || !reader.Read(scene, options.get())) {
            state.SkipWithError("the reader failed");
            return;
        }
    }
    const std::string out = OutPath("writer_3ds_bench_ours.3ds");
    for (auto _ : state) {
        VOxaWriter3DS writer(&manager);
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, options.get()))
            state.SkipWithError("the writer failed");
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_Writer3dsWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef OXA_HAVE_LIB3DS
void BM_Lib3dsSave(benchmark::State& state) {
    if (!MakeFile()) {
        state.SkipWithError("the scene file could not be written");
        return;
    }
    Lib3dsFile* file = lib3ds_file_load(ScenePath().c_str());
    if (!file) {
        state.SkipWithError("lib3ds could not load the file");
        return;
    }
    const std::string out = OutPath("writer_3ds_bench_lib3ds.3ds");
    for (auto _ : state)
        if (!lib3ds_file_save(file, out.c_str())) state.SkipWithError("lib3ds could not save");
    lib3ds_file_free(file);
    std::remove(out.c_str());
}
BENCHMARK(BM_Lib3dsSave)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    const double* ours = reporter.Find("BM_Writer3dsWrite", 0);
    const double* theirs = reporter.Find("BM_Lib3dsSave", 0);
    std::printf("\n%-8s %14s %14s %14s\n", "", "ours (ms)", "lib3ds (ms)", "lib3ds / ours");
    if (ours && theirs)
        std::printf("%-8s %14.1f %14.1f %14.2f\n", "save", *ours, *theirs, *ours > 0 ? *theirs / *ours : 0.0);
    else if (ours)
        std::printf("%-8s %14.1f %14s %s\n", "save", *ours, "-", "(lib3ds-dev not found at configure time)");
    std::remove(ScenePath().c_str());
    return 0;
}
