// Reads every OBJ file of the model collection (its OBJ folder and the OBJ files among the
// deliberately broken models): each gives a scene or a clear error, never a crash.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>

#ifdef OXA_HAVE_ASSIMP
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <algorithm>
#include <assimp/Importer.hpp>
#include <cmath>
#include <cstring>
#endif

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

TEST(obj_realfiles, EveryCorpusFileGivesASceneOrAClearError) {
    std::vector<corpustest::CorpusFolder> folders = corpustest::CorpusFolders("obj");
    folders.push_back({"assimp-testmodels", "/usr/share/assimp/models/invalid"});
    corpustest::Corpus corpus = corpustest::FindCorpus("obj", folders);
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();

    corpustest::CorpusReport report;
    int withGeometry = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(file.string().c_str())) {
            report.Refused("obj", file, reader.GetError().GetLastErrorString().Buffer());
            continue;
        }
        if (reader.Read(scene, options.get())) {
            report.Read("obj");
            if (scene->GetRootNode()->GetChildCount(true) > 1) ++withGeometry;
        } else {
            std::string why = reader.GetError().GetLastErrorID() >= 0
                                  ? reader.GetError().GetLastErrorString().Buffer()
                                  : "";
            report.Refused("obj", file, why.empty() ? "malformed vertex data" : why);
        }
    }
    report.Print();
    // The OBJ folder is mostly well-formed: most files must give geometry.
    EXPECT_GE(withGeometry, (int)corpus.files.size() / 2);
}

// The (x, y, z) of every "v" line of an OBJ text, as strtod reads them.
std::set<std::array<double, 3>> PointsOf(const std::string& path) {
    std::set<std::array<double, 3>> points;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 2, "v ") != 0) continue;
        std::array<double, 3> p{};
        const char* at = line.c_str() + 2;
        bool complete = true;
        for (double& value : p) {
            char* end = nullptr;
            value = std::strtod(at, &end);
            complete = complete && end != at;
            at = end;
        }
        if (complete) points.insert(p);
    }
    return points;
}

TEST(obj_realfiles, EveryWrittenPointIsExactlyAPointOfTheFileRead) {
    corpustest::Corpus corpus = corpustest::FindCorpus("obj");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    oxa_test::ScratchDir dir("oxa_obj_", "exact_real");
    int compared = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        static_cast<VStreamOptionsObj*>(options.get())->SetOptionValue(1, 0);
        if (!reader.FileOpen(file.string().c_str()) || !reader.Read(scene, options.get())) continue;
        if (scene->GetRootNode()->GetChildCount() == 0) continue;
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
        const std::string out = (dir.path / "out.obj").string();
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, wopt.get()) || !writer.FileClose())
            continue;
        // A group's node sits at the origin: each point is written as the very number read.
        const std::set<std::array<double, 3>> read = PointsOf(file.string());
        for (const std::array<double, 3>& p : PointsOf(out))
            EXPECT_TRUE(read.count(p)) << file << ": " << p[0] << " " << p[1] << " " << p[2];
        ++compared;
    }
    EXPECT_GT(compared, 0);
}

#ifdef OXA_HAVE_ASSIMP
// The corners of every triangle assimp reads, in world space, sorted.
std::vector<std::array<float, 3>> AssimpCorners(const aiScene* scene) {
    std::vector<std::array<float, 3>> corners;
    for (unsigned m = 0; scene != nullptr && m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3) continue;
            for (unsigned k = 0; k < 3; ++k) {
                const aiVector3D& v = mesh->mVertices[face.mIndices[k]];
                corners.push_back({v.x, v.y, v.z});
            }
        }
    }
    std::sort(corners.begin(), corners.end());
    return corners;
}

// The material of `scene` named `name`, null when none.
const aiMaterial* AssimpMaterialNamed(const aiScene* scene, const std::string& name) {
    for (unsigned i = 0; scene != nullptr && i < scene->mNumMaterials; ++i) {
        aiString found;
        scene->mMaterials[i]->Get(AI_MATKEY_NAME, found);
        if (name == found.C_Str()) return scene->mMaterials[i];
    }
    return nullptr;
}
#endif

// Every file of the collection written by us and read by assimp: the same triangles at the same
// corners as assimp reads from the file itself, and every value assimp reads of a material the
// file names (stated or not) the same in our MTL file. Materials our writer renames ("default",
// a name with a blank) and libraries our reader does not find are not compared by value.
TEST(obj_realfiles, AssimpReadsTheSameTrianglesAndMaterialValuesFromOurFiles) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "the assimp library is not installed (Debian package libassimp-dev)";
#else
    corpustest::Corpus corpus = corpustest::FindCorpus("obj");
    if (corpus.files.empty()) GTEST_SKIP() << corpus.SkipReason();
    oxa_test::ScratchDir dir("oxa_obj_", "assimp_real");
    int soups = 0, materials = 0;
    for (const corpustest::fs::path& file : corpus.files) {
        Assimp::Importer sourceImporter;
        const unsigned flags = aiProcess_Triangulate | aiProcess_PreTransformVertices;
        const aiScene* source = sourceImporter.ReadFile(file.string(), flags);
        if (source == nullptr) continue;
        std::unique_ptr<VOxaSdkManager> manager(VOxaSdkManager::Create());
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderObj reader(manager.get());
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!reader.FileOpen(file.string().c_str()) || !reader.Read(scene, options.get())) continue;
        VOxaWriterObj writer(manager.get());
        std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
        const std::string out = (dir.path / "out.obj").string();
        if (!writer.FileCreate(out.c_str()) || !writer.Write(scene, wopt.get()) || !writer.FileClose())
            continue;
        Assimp::Importer ourImporter;
        const aiScene* ours = ourImporter.ReadFile(out, flags);
        ASSERT_NE(ours, nullptr) << file << ": " << ourImporter.GetErrorString();
        const auto want = AssimpCorners(source), got = AssimpCorners(ours);
        if (!want.empty()) {
            ++soups;
            ASSERT_EQ(got.size(), want.size()) << file;
            for (size_t i = 0; i < want.size(); ++i)
                for (int k = 0; k < 3; ++k)
                    ASSERT_NEAR(got[i][k], want[i][k], 1e-5 * (1.0 + std::fabs(want[i][k])))
                        << file << " corner " << i;
        }
        // A library our reader did not find (assimp tries the file's own name with ".mtl") leaves
        // nothing to compare.
        const bool unloaded =
            std::strstr(reader.GetMessageText().Buffer(), "Unable to load material") != nullptr;
        for (unsigned m = 0; !unloaded && m < source->mNumMaterials; ++m) {
            aiString name;
            source->mMaterials[m]->Get(AI_MATKEY_NAME, name);
            const aiMaterial* mine = AssimpMaterialNamed(ours, name.C_Str());
            // A material no library describes has assimp's own values (a grey diffuse colour).
            const std::string undescribed = std::string("Unable to read material \"") + name.C_Str() + "\"";
            if (mine == nullptr || std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME ||
                std::strstr(reader.GetMessageText().Buffer(), undescribed.c_str()) != nullptr)
                continue;
            ++materials;
            const aiMaterial* theirs = source->mMaterials[m];
            for (unsigned p = 0; p < theirs->mNumProperties; ++p) {
                const aiMaterialProperty* a = theirs->mProperties[p];
                if (std::strcmp(a->mKey.C_Str(), "$tex.file") == 0) continue;  // folders differ
                const aiMaterialProperty* b = nullptr;
                for (unsigned q = 0; q < mine->mNumProperties; ++q)
                    if (mine->mProperties[q]->mKey == a->mKey &&
                        mine->mProperties[q]->mSemantic == a->mSemantic &&
                        mine->mProperties[q]->mIndex == a->mIndex)
                        b = mine->mProperties[q];
                const std::string what = file.string() + " " + name.C_Str() + " " + a->mKey.C_Str();
                ASSERT_NE(b, nullptr) << what;
                ASSERT_EQ(b->mDataLength, a->mDataLength) << what;
                if (a->mType != aiPTI_Float) {
                    EXPECT_EQ(std::memcmp(a->mData, b->mData, a->mDataLength), 0) << what;
                    continue;
                }
                for (unsigned k = 0; k < a->mDataLength / sizeof(float); ++k) {
                    float x, y;
                    std::memcpy(&x, a->mData + k * sizeof(float), sizeof(float));
                    std::memcpy(&y, b->mData + k * sizeof(float), sizeof(float));
                    EXPECT_NEAR(y, x, 1e-5 * (1.0 + std::fabs(x))) << what;
                }
            }
        }
    }
    EXPECT_GT(soups, 0);
    EXPECT_GT(materials, 0);
#endif
}

}  // namespace
