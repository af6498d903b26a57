// 3DS scene files built record by record with the chunk toolkit, for tests that need a file as a
// modelling program writes it.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_SCENE_FILE_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_SCENE_FILE_TEST_UTIL_H

#include <functional>
#include <string>

#include "formats/geometry/3ds/ftk.h"

namespace ftkscene {

// Writes the 3DS scene file `path` from a fresh scene database into which `fill` puts its
// records; true when the toolkit reported no error.
inline bool WriteSceneFile(const std::string& path, const std::function<void(Ftk::Database*)>& fill) {
    Ftk::ClearErrors();
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    fill(db);
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "wb");
    Ftk::SaveDatabase(file, db);
    Ftk::CloseFile(file);
    Ftk::ReleaseDatabase(&db);
    return !Ftk::IsErrorPending();
}

// Puts a mesh settings block into `db`: the toolkit's defaults, changed first by `adjust` if given.
inline void PutMeshSettings(Ftk::Database* db, const std::function<void(Ftk::MeshSettings*)>& adjust = {}) {
    Ftk::MeshSettings* settings = nullptr;
    Ftk::InitSettingsBlock(&settings);
    if (adjust) adjust(settings);
    Ftk::PutSettings(db, settings);
    Ftk::ReleaseSettings(&settings);
}

}  // namespace ftkscene

#endif  // OXA_TESTS_FORMATS_GEOMETRY_3DS_FTK_SCENE_FILE_TEST_UTIL_H
