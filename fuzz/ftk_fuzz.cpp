// Fuzzes the 3DS chunk toolkit: the input is loaded as a database (from memory), every record of
// every kind is fetched, and the database is saved (to memory) and the result loaded again. Odd
// sizes run with the continue flag on, so that the paths that go on after a fault are walked too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "formats/geometry/3ds/ftk.h"

namespace {

Ftk::File* MemoryFile(std::FILE* stream, uint8_t mode, uint64_t size) {
    if (!stream) return nullptr;
    Ftk::File* file = new Ftk::File;
    file->mStream = stream;
    file->mMode = mode;
    file->mSize = size;
    file->mName = mode == Ftk::kFileRead ? "input" : "output";
    Ftk::RegisterFile(file);
    return file;
}

void FetchEverything(Ftk::Database* db) {
    Ftk::MeshSettings* settings = nullptr;
    Ftk::GetSettings(db, &settings);
    Ftk::ReleaseSettings(&settings);
    Ftk::KeyframerSettings* keyframer = nullptr;
    Ftk::InitKeyframerSettings(&keyframer);
    Ftk::GetKeyframerSettings(db, keyframer);
    Ftk::ReleaseKeyframerSettings(&keyframer);
    Ftk::Background* background = nullptr;
    Ftk::GetBackground(db, &background);
    Ftk::ReleaseBackground(&background);
    for (uint32_t i = 0, n = Ftk::CountMeshes(db); i < n; ++i) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::GetMeshByIndex(db, i, &mesh);
        Ftk::ReleaseMesh(&mesh);
    }
    for (uint32_t i = 0, n = Ftk::CountMaterials(db); i < n; ++i) {
        Ftk::Material* material = nullptr;
        Ftk::GetMaterialByIndex(db, i, &material);
        Ftk::ReleaseMaterial(&material);
    }
    for (uint32_t i = 0, n = Ftk::CountOmniLights(db); i < n; ++i) {
        Ftk::Light* light = nullptr;
        Ftk::GetOmniLightByIndex(db, i, &light);
        if (light) Ftk::ReleaseLight(&light);
    }
    for (uint32_t i = 0, n = Ftk::CountSpotlights(db); i < n; ++i) {
        Ftk::Light* light = nullptr;
        Ftk::GetSpotlightByIndex(db, i, &light);
        if (light) Ftk::ReleaseLight(&light);
    }
    for (uint32_t i = 0, n = Ftk::CountCameras(db); i < n; ++i) {
        Ftk::Camera* camera = nullptr;
        Ftk::GetCameraByIndex(db, i, &camera);
        Ftk::ReleaseCamera(&camera);
    }
    for (uint32_t i = 0, n = Ftk::CountCameraMotions(db); i < n; ++i) {
        Ftk::CameraMotion* motion = nullptr;
        Ftk::GetCameraMotionByIndex(db, i, &motion);
        Ftk::ReleaseCameraMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountOmniLightMotions(db); i < n; ++i) {
        Ftk::OmniLightMotion* motion = nullptr;
        Ftk::GetOmniLightMotionByIndex(db, i, &motion);
        Ftk::ReleaseOmniLightMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountSpotlightMotions(db); i < n; ++i) {
        Ftk::SpotlightMotion* motion = nullptr;
        Ftk::GetSpotlightMotionByIndex(db, i, &motion);
        Ftk::ReleaseSpotlightMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountObjectMotions(db); i < n; ++i) {
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::GetObjectMotionByIndex(db, i, &motion);
        Ftk::ReleaseObjectMotion(&motion);
    }
}

// Loads `size` bytes as a database, fetches everything, saves; the saved bytes (malloc'd) or null.
char* RoundTrip(const uint8_t* data, size_t size, size_t* savedSize) {
    *savedSize = 0;
    Ftk::File* input = MemoryFile(fmemopen((void*)data, size, "rb"), Ftk::kFileRead, size);
    if (!input) return nullptr;
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::LoadDatabase(input, db);
    FetchEverything(db);
    // The save is tried whatever the load met.
    Ftk::ClearErrors();
    char* saved = nullptr;
    Ftk::File* output = MemoryFile(open_memstream(&saved, savedSize), Ftk::kFileWrite, 0);
    if (output) {
        Ftk::SaveDatabase(output, db);
        Ftk::CloseFile(output);
    }
    Ftk::ReleaseDatabase(&db);
    Ftk::CloseFile(input);
    return saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Ftk::ClearErrors();
    Ftk::SetContinueFlag(size & 1);
    size_t savedSize = 0;
    char* saved = RoundTrip(data, size, &savedSize);
    if (saved && savedSize) {
        Ftk::ClearErrors();
        size_t againSize = 0;
        std::free(RoundTrip((const uint8_t*)saved, savedSize, &againSize));
    }
    std::free(saved);
    Ftk::CloseAllFiles();
    Ftk::ClearErrors();
    return 0;
}
