// The 3DS toolkit against real files: the model collection's 3DS folder and its empty .3ds. Each
// file gives a database or a clear error; every record can be fetched; a save reloads to the same
// chunk tree (release stamps and parent numbers aside); and the independent dumper sees the same
// structure in the saved file as in the original.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"
#include "tests/support/corpus.h"

namespace {

using ftktest::FtkTest;

std::string ErrorsText() {
    std::string text;
    const Ftk::ErrorEntry* list = Ftk::GetErrorList();
    for (int i = 0; i < Ftk::kErrorListSize; ++i)
        if (list[i].mCode) text += std::string(list[i].mText) + "; ";
    return text;
}

// Gets every record of every kind; the number of records fetched.
int FetchEverything(Ftk::Database* db) {
    int fetched = 0;
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
    for (uint32_t i = 0, n = Ftk::CountMeshes(db); i < n; ++i, ++fetched) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::GetMeshByIndex(db, i, &mesh);
        EXPECT_NE(mesh, nullptr);
        Ftk::ReleaseMesh(&mesh);
    }
    for (uint32_t i = 0, n = Ftk::CountMaterials(db); i < n; ++i, ++fetched) {
        Ftk::Material* material = nullptr;
        Ftk::GetMaterialByIndex(db, i, &material);
        Ftk::ReleaseMaterial(&material);
    }
    for (uint32_t i = 0, n = Ftk::CountOmniLights(db); i < n; ++i, ++fetched) {
        Ftk::Light* light = nullptr;
        Ftk::GetOmniLightByIndex(db, i, &light);
        if (light) Ftk::ReleaseLight(&light);
    }
    for (uint32_t i = 0, n = Ftk::CountSpotlights(db); i < n; ++i, ++fetched) {
        Ftk::Light* light = nullptr;
        Ftk::GetSpotlightByIndex(db, i, &light);
        if (light) Ftk::ReleaseLight(&light);
    }
    for (uint32_t i = 0, n = Ftk::CountCameras(db); i < n; ++i, ++fetched) {
        Ftk::Camera* camera = nullptr;
        Ftk::GetCameraByIndex(db, i, &camera);
        Ftk::ReleaseCamera(&camera);
    }
    for (uint32_t i = 0, n = Ftk::CountCameraMotions(db); i < n; ++i, ++fetched) {
        Ftk::CameraMotion* motion = nullptr;
        Ftk::GetCameraMotionByIndex(db, i, &motion);
        Ftk::ReleaseCameraMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountOmniLightMotions(db); i < n; ++i, ++fetched) {
        Ftk::OmniLightMotion* motion = nullptr;
        Ftk::GetOmniLightMotionByIndex(db, i, &motion);
        Ftk::ReleaseOmniLightMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountSpotlightMotions(db); i < n; ++i, ++fetched) {
        Ftk::SpotlightMotion* motion = nullptr;
        Ftk::GetSpotlightMotionByIndex(db, i, &motion);
        Ftk::ReleaseSpotlightMotion(&motion);
    }
    for (uint32_t i = 0, n = Ftk::CountObjectMotions(db); i < n; ++i, ++fetched) {
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::GetObjectMotionByIndex(db, i, &motion);
        Ftk::ReleaseObjectMotion(&motion);
    }
    return fetched;
}

// The dumper's structure listing without sizes, release stamps, node numbers and parent numbers.
std::string DumperStructure(const std::string& output) {
    std::istringstream in(output);
    std::ostringstream out;
    std::string line;
    const std::regex size(" size=[0-9]+");
    while (std::getline(in, line)) {
        if (line.find("M3D_VERSION") != std::string::npos || line.find("MESH_VERSION") != std::string::npos ||
            line.find("KFHDR") != std::string::npos || line.find("PARENT=") != std::string::npos ||
            line.find("ID = ") != std::string::npos)
            continue;
        out << std::regex_replace(line, size, "") << "\n";
    }
    return out.str();
}

class ftk_realfiles : public FtkTest {};

TEST_F(ftk_realfiles, LoadFetchSaveReload) {
    corpustest::Corpus corpus = corpustest::FindCorpus("3ds");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    std::vector<std::filesystem::path> files = corpus.files;
    const std::filesystem::path empty = "/usr/share/assimp/models/invalid/empty.3ds";
    if (std::filesystem::exists(empty)) files.push_back(empty);
    const bool haveDumper = corpustest::MissingReader(corpustest::k3dsDump).empty();
    if (!haveDumper) std::cout << corpustest::MissingReader(corpustest::k3dsDump) << "\n";

    corpustest::CorpusReport report;
    int compared = 0;
    for (const std::filesystem::path& path : files) {
        SCOPED_TRACE(path.string());
        Reset();
        Ftk::File* file = Ftk::OpenFile(path.string().c_str(), "rb");
        ASSERT_NE(file, nullptr);
        Ftk::Database* db = nullptr;
        Ftk::NewDatabase(&db);
        Ftk::LoadDatabase(file, db);
        if (Ftk::IsErrorPending() || Ftk::GetDatabaseKind(db) == Ftk::kNoDatabase) {
            // A clear error, or a file that is no 3DS database at all.
            std::string why = Ftk::IsErrorPending() ? ErrorsText() : "not a 3DS database (top tag)";
            report.Refused("3ds", path, why);
            Ftk::ReleaseDatabase(&db);
            continue;
        }
        int fetched = FetchEverything(db);
        if (Ftk::IsErrorPending()) {
            report.Refused("3ds", path, "fetching records: " + ErrorsText());
            Ftk::ReleaseDatabase(&db);
            continue;
        }
        EXPECT_GT(fetched, 0);

        std::string saved = ftktest::TempPath("real_" + path.filename().string());
        ASSERT_TRUE(ftktest::SaveTo(db, saved)) << ErrorsText();
        std::string original = ftktest::DumpTree(db->mTop);

        Ftk::File* again = Ftk::OpenFile(saved.c_str(), "rb");
        ASSERT_NE(again, nullptr);
        Ftk::Database* reloaded = nullptr;
        Ftk::NewDatabase(&reloaded);
        Ftk::LoadDatabase(again, reloaded);
        ASSERT_FALSE(Ftk::IsErrorPending()) << ErrorsText();
        EXPECT_EQ(ftktest::DumpTree(reloaded->mTop), original);
        FetchEverything(reloaded);
        EXPECT_FALSE(Ftk::IsErrorPending()) << ErrorsText();
        Ftk::ReleaseDatabase(&reloaded);
        Ftk::ReleaseDatabase(&db);
        report.Read("3ds");

        if (haveDumper) {
            corpustest::RunResult before = corpustest::RunProgram({"3dsdump", "-s", path.string()});
            corpustest::RunResult after = corpustest::RunProgram({"3dsdump", "-s", saved});
            EXPECT_EQ(before.status, 0);
            EXPECT_EQ(after.status, 0);
            std::string wanted = DumperStructure(before.output);
            std::string got = DumperStructure(after.output);
            // The release stamps give a file without a keyframer section an empty one.
            if (wanted.find("KFDATA") == std::string::npos) {
                size_t at = got.find("  LIB3DS_KFDATA (0xB000)\n");
                if (at != std::string::npos) got.erase(at, std::string("  LIB3DS_KFDATA (0xB000)\n").size());
            }
            EXPECT_EQ(got, wanted);
            ++compared;
        }
        std::remove(saved.c_str());
    }
    report.Print();
    std::cout << compared << " files compared with 3dsdump -s\n";
}

}  // namespace
