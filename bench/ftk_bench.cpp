// The 3DS chunk toolkit on a generated ~100 MB scene file: 45 meshes of 65,535 vertices and
// faces (with mapping coordinates, smoothing groups and a material group each), 200 materials,
// and keyframer nodes with position, rotation and scale tracks of 100 keys.
//
// Load: open the file, read it as a database and get every record (settings, meshes, materials,
// cameras, motions). Save: build a new database from those records with the puts and save it.
// Beside them, when lib3ds was found at configure time, lib3ds loads the same file into its own
// structures and saves them. The program prints each time and lib3ds's time over the toolkit's
// (above 1: the toolkit is faster). Nothing is asserted about times.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"

#include "bench_3ds_scene.h"
#include "bench_ratio.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/file.h>
#endif

namespace {

constexpr int kMeshes = 45;
constexpr int kVertices = 65535;
constexpr int kMaterials = 200;
constexpr int kKeys = 100;

std::string BenchPath(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Everything a scene holds, as the toolkit's records.
struct Scene {
    Ftk::MeshSettings* mSettings = nullptr;
    std::vector<Ftk::Mesh*> mMeshes;
    std::vector<Ftk::Material*> mMaterials;
    std::vector<Ftk::Camera*> mCameras;
    std::vector<Ftk::ObjectMotion*> mObjectMotions;
    std::vector<Ftk::CameraMotion*> mCameraMotions;

    ~Scene() {
        Ftk::ReleaseSettings(&mSettings);
        for (Ftk::Mesh*& mesh : mMeshes)
            Ftk::ReleaseMesh(&mesh);
        for (Ftk::Material*& material : mMaterials)
            Ftk::ReleaseMaterial(&material);
        for (Ftk::Camera*& camera : mCameras)
            Ftk::ReleaseCamera(&camera);
        for (Ftk::ObjectMotion*& motion : mObjectMotions)
            Ftk::ReleaseObjectMotion(&motion);
        for (Ftk::CameraMotion*& motion : mCameraMotions)
            Ftk::ReleaseCameraMotion(&motion);
    }
};

Scene MakeScene() {
    Scene scene;
    Ftk::InitSettingsBlock(&scene.mSettings);
    for (int m = 0; m < kMaterials; ++m) {
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::snprintf(material->mName, sizeof material->mName, "Mat%d", m);
        material->mDiffuse[0] = (float)(m % 7) / 7.0f;
        material->mShininess = 0.25f;
        std::snprintf(material->mMaps[Ftk::kTextureMap1].mFileName, 16, "tex%d.png", m);
        material->mMaps[Ftk::kTextureMap1].mStrength = 1.0f;
        scene.mMaterials.push_back(material);
    }
    for (int i = 0; i < kMeshes; ++i) {
        scene.mMeshes.push_back(oxa_bench::MakeBench3dsMesh(i, kVertices, kMaterials, 32));
        scene.mObjectMotions.push_back(oxa_bench::MakeBench3dsMotion(i, kKeys, false));
    }
    Ftk::Camera* camera = nullptr;
    Ftk::InitCamera(&camera);
    std::strcpy(camera->mName, "Camera01");
    scene.mCameras.push_back(camera);
    Ftk::CameraMotion* cameraMotion = nullptr;
    Ftk::InitCameraMotion(&cameraMotion, kKeys, 1, 1, kKeys);
    std::strcpy(cameraMotion->mName, "Camera01");
    scene.mCameraMotions.push_back(cameraMotion);
    return scene;
}

// Builds a database from the records and saves it; false on any error.
bool BuildAndSave(const Scene& scene, const std::string& path) {
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    Ftk::PutSettings(db, scene.mSettings);
    for (Ftk::Material* material : scene.mMaterials)
        Ftk::WriteMaterial(db, material);
    for (Ftk::Mesh* mesh : scene.mMeshes)
        Ftk::WriteMesh(db, mesh);
    for (Ftk::Camera* camera : scene.mCameras)
        Ftk::WriteCamera(db, camera);
    for (Ftk::ObjectMotion* motion : scene.mObjectMotions)
        Ftk::PutObjectMotion(db, motion);
    for (Ftk::CameraMotion* motion : scene.mCameraMotions)
        Ftk::PutCameraMotion(db, motion);
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "wb");
    if (file) {
        Ftk::SaveDatabase(file, db);
        Ftk::CloseFile(file);
    }
    Ftk::ReleaseDatabase(&db);
    bool ok = file && !Ftk::IsErrorPending();
    Ftk::ClearErrors();
    return ok;
}

// Loads the file and gets every record into `scene`; false on any error.
bool LoadAndGetAll(const std::string& path, Scene& scene) {
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "rb");
    if (!file) return false;
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::LoadDatabase(file, db);
    Ftk::GetSettings(db, &scene.mSettings);
    for (uint32_t i = 0, n = Ftk::CountMaterials(db); i < n; ++i) {
        scene.mMaterials.push_back(nullptr);
        Ftk::GetMaterialByIndex(db, i, &scene.mMaterials.back());
    }
    for (uint32_t i = 0, n = Ftk::CountMeshes(db); i < n; ++i) {
        scene.mMeshes.push_back(nullptr);
        Ftk::GetMeshByIndex(db, i, &scene.mMeshes.back());
    }
    for (uint32_t i = 0, n = Ftk::CountCameras(db); i < n; ++i) {
        scene.mCameras.push_back(nullptr);
        Ftk::GetCameraByIndex(db, i, &scene.mCameras.back());
    }
    for (uint32_t i = 0, n = Ftk::CountObjectMotions(db); i < n; ++i) {
        scene.mObjectMotions.push_back(nullptr);
        Ftk::GetObjectMotionByIndex(db, i, &scene.mObjectMotions.back());
    }
    for (uint32_t i = 0, n = Ftk::CountCameraMotions(db); i < n; ++i) {
        scene.mCameraMotions.push_back(nullptr);
        Ftk::GetCameraMotionByIndex(db, i, &scene.mCameraMotions.back());
    }
    Ftk::ReleaseDatabase(&db);
    Ftk::CloseFile(file);
    bool ok = !Ftk::IsErrorPending();
    Ftk::ClearErrors();
    return ok;
}

const std::string& SceneFile() {
    static std::string path;
    if (path.empty()) {
        path = BenchPath("ftk_bench_scene.3ds");
        Scene scene = MakeScene();
        if (!BuildAndSave(scene, path)) std::fprintf(stderr, "could not write %s\n", path.c_str());
        std::error_code error;
        std::printf("scene file: %s, %.1f MB\n", path.c_str(),
                    (double)std::filesystem::file_size(path, error) / 1e6);
    }
    return path;
}

void BM_FtkLoadGetAll(benchmark::State& state) {
    const std::string& path = SceneFile();
    for (auto _ : state) {
        Scene scene;
        if (!LoadAndGetAll(path, scene) || scene.mMeshes.size() != (size_t)kMeshes)
            state.SkipWithError("load failed");
    }
}
BENCHMARK(BM_FtkLoadGetAll)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FtkBuildSave(benchmark::State& state) {
    Scene scene;
    if (!LoadAndGetAll(SceneFile(), scene)) state.SkipWithError("load failed");
    const std::string out = BenchPath("ftk_bench_saved.3ds");
    for (auto _ : state) {
        if (!BuildAndSave(scene, out)) state.SkipWithError("save failed");
    }
    std::remove(out.c_str());
}
BENCHMARK(BM_FtkBuildSave)->Unit(benchmark::kMillisecond)->Iterations(3);

#ifdef OXA_HAVE_LIB3DS
void BM_Lib3dsLoad(benchmark::State& state) {
    const std::string& path = SceneFile();
    for (auto _ : state) {
        Lib3dsFile* file = lib3ds_file_load(path.c_str());
        if (!file) state.SkipWithError("lib3ds could not load the file");
        if (file) lib3ds_file_free(file);
    }
}
BENCHMARK(BM_Lib3dsLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Lib3dsSave(benchmark::State& state) {
    Lib3dsFile* file = lib3ds_file_load(SceneFile().c_str());
    if (!file) {
        state.SkipWithError("lib3ds could not load the file");
        for (auto _ : state) {
        }
        return;
    }
    const std::string out = BenchPath("ftk_bench_lib3ds.3ds");
    for (auto _ : state) {
        if (!lib3ds_file_save(file, out.c_str())) state.SkipWithError("lib3ds could not save");
    }
    lib3ds_file_free(file);
    std::remove(out.c_str());
}
BENCHMARK(BM_Lib3dsSave)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

}  // namespace

int main(int argc, char** argv) {
    oxa_bench::RatioReporter reporter;
    oxa_bench::RunBenchmarks(argc, argv, reporter);
    std::printf("\n%-10s %14s %14s %22s\n", "", "toolkit (ms)", "lib3ds (ms)", "lib3ds / toolkit");
    const struct {
        const char* label;
        const char* ours;
        const char* theirs;
    } rows[] = {{"load", "BM_FtkLoadGetAll", "BM_Lib3dsLoad"}, {"save", "BM_FtkBuildSave", "BM_Lib3dsSave"}};
    for (const auto& row : rows) {
        const double* ours = reporter.Find(row.ours, 0);
        const double* theirs = reporter.Find(row.theirs, 0);
        if (!ours) continue;
        if (!theirs) {
            std::printf("%-10s %14.1f %14s %22s\n", row.label, *ours, "-", "(lib3ds not built in)");
            continue;
        }
        std::printf("%-10s %14.1f %14.1f %22.2f\n", row.label, *ours, *theirs,
                    *ours > 0 ? *theirs / *ours : 0.0);
    }
    std::remove(SceneFile().c_str());
    return 0;
}
