// Our OBJ and MTL files read by an independent reader, the assimp library (libassimp-dev): every
// map of a material under its own kind, and a normal for every corner of a face with area.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#ifdef OXA_HAVE_ASSIMP
#include <assimp/material.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#endif

#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;

namespace {

#ifdef OXA_HAVE_ASSIMP
// The file of the first texture of `type`, "" when the material has none.
std::string TextureOf(const aiMaterial* material, aiTextureType type) {
    aiString path;
    if (material->GetTextureCount(type) == 0 || material->GetTexture(type, 0, &path) != AI_SUCCESS) return "";
    return path.C_Str();
}
#endif

TEST(obj_maps_interop, AssimpFindsEveryMapOfAMaterialWeReadAndWrote) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "the assimp library is not installed (Debian package libassimp-dev)";
#else
    ScratchDir dir("maps_interop");
    fs::create_directories(dir.path / "in");
    fs::create_directories(dir.path / "out");
    WriteText(dir.path / "in" / "m.mtl",
              "newmtl m\nKd 1 1 1\nmap_Kd -s 2 2 1 -o 0.5 0.25 0 wood.png\nmap_Ks spec.png\n"
              "map_Ns shine.png\nmap_d alpha.png\nmap_bump -bm 0.5 bumps.png\nrefl -type sphere sky.png\n"
              "map_Ka amb.png\nmap_Ke glow.png\n");
    for (const char* image :
         {"wood.png", "spec.png", "shine.png", "alpha.png", "bumps.png", "sky.png", "amb.png", "glow.png"})
        WriteText(dir.path / "in" / image, "image");
    WriteText(dir.path / "in" / "in.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl m\nf 1/1 2/2 3/3\n");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir.path / "in" / "in.obj").c_str()) && reader.Read(scene, ropt.get()));
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    const std::string out = (dir.path / "out" / "out.obj").string();
    ASSERT_TRUE(writer.FileCreate(out.c_str()) && writer.Write(scene, wopt.get()) && writer.FileClose());

    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(out, 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    const aiMaterial* material = nullptr;
    for (unsigned i = 0; i < read->mNumMaterials; ++i) {
        aiString name;
        read->mMaterials[i]->Get(AI_MATKEY_NAME, name);
        if (std::string(name.C_Str()) == "m") material = read->mMaterials[i];
    }
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(TextureOf(material, aiTextureType_DIFFUSE), "wood.png");
    EXPECT_EQ(TextureOf(material, aiTextureType_SPECULAR), "spec.png");
    EXPECT_EQ(TextureOf(material, aiTextureType_SHININESS), "shine.png");
    EXPECT_EQ(TextureOf(material, aiTextureType_OPACITY), "alpha.png");
    EXPECT_EQ(TextureOf(material, aiTextureType_HEIGHT), "bumps.png");
    // (The library keeps no reflection map of an MTL file: "refl" is judged by the trip tests.)
    EXPECT_EQ(TextureOf(material, aiTextureType_AMBIENT), "amb.png");
    EXPECT_EQ(TextureOf(material, aiTextureType_EMISSIVE), "glow.png");
#endif
}

#ifdef OXA_HAVE_ASSIMP
// The material named `name` of a file as assimp reads it; null when the file or the material is
// not there.
const aiMaterial* AssimpMaterial(Assimp::Importer& importer, const std::string& path, const char* name) {
    const aiScene* read = importer.ReadFile(path, 0);
    for (unsigned i = 0; read != nullptr && i < read->mNumMaterials; ++i) {
        aiString found;
        read->mMaterials[i]->Get(AI_MATKEY_NAME, found);
        if (std::string(found.C_Str()) == name) return read->mMaterials[i];
    }
    return nullptr;
}
#endif

// Every value assimp reads from a material library, stated or not (a missing "Ka", "Ks" or "Ns"
// is 0 to it), is the value it reads from the library we write, after one trip and after two.
// ("aniso" and "anisor" are left out: the library fails on the whole file when it meets them.)
TEST(obj_maps_interop, AssimpReadsTheSameMaterialValuesFromOurMtlFileAsFromTheSource) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "the assimp library is not installed (Debian package libassimp-dev)";
#else
    ScratchDir dir("mtl_values_interop");
    for (const char* sub : {"in", "one", "two"})
        fs::create_directories(dir.path / sub);
    WriteText(dir.path / "in" / "m.mtl",
              "newmtl glass\nKd 0.5 0.6 0.7\nNi 1.45\nillum 7\nTf 0.9 0.8 0.7\nd 0.5\n"
              "newmtl metal\nKa 0.1 0.1 0.1\nKd 0.8 0.8 0.8\nKs 0.3 0.3 0.3\nNs 40\nPr 0.25\nPm 1\n"
              "Ps 0.5\nPc 0.2\nPcr 0.1\nillum 3\nd 0.8\nTr 0.8\nnewmtl plain\nKd 0.2 0.3 0.4\n"
              "newmtl tinted\nKd 0.1 0.2 0.3\nd 0.6\nTr 0.2\n");  // a "Tr" that disagrees with "d"
    WriteText(dir.path / "in" / "in.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nusemtl glass\nf 1 2 3\nusemtl metal\n"
              "f 2 4 3\nusemtl plain\nf 1 4 3\nusemtl tinted\nf 1 2 4\n");
    const std::string in = (dir.path / "in" / "in.obj").string();
    std::string from = in;
    for (const char* sub : {"one", "two"}) {
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReaderObj reader(&manager);
        std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen(from.c_str()) && reader.Read(scene, ropt.get()));
        VOxaWriterObj writer(&manager);
        std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
        const std::string out = (dir.path / sub / "out.obj").string();
        ASSERT_TRUE(writer.FileCreate(out.c_str()) && writer.Write(scene, wopt.get()) && writer.FileClose());
        from = out;
        for (const char* name : {"glass", "metal", "plain", "tinted"}) {
            Assimp::Importer sourceImporter, outImporter;
            const aiMaterial* source = AssimpMaterial(sourceImporter, in, name);
            const aiMaterial* ours = AssimpMaterial(outImporter, out, name);
            ASSERT_NE(source, nullptr);
            ASSERT_NE(ours, nullptr) << sub << " " << name;
            for (unsigned p = 0; p < source->mNumProperties; ++p) {
                const aiMaterialProperty* want = source->mProperties[p];
                const aiMaterialProperty* got = nullptr;
                for (unsigned q = 0; q < ours->mNumProperties; ++q)
                    if (ours->mProperties[q]->mKey == want->mKey &&
                        ours->mProperties[q]->mSemantic == want->mSemantic &&
                        ours->mProperties[q]->mIndex == want->mIndex)
                        got = ours->mProperties[q];
                const std::string what = std::string(sub) + " " + name + " " + want->mKey.C_Str();
                ASSERT_NE(got, nullptr) << what;
                ASSERT_EQ(got->mType, want->mType) << what;
                ASSERT_EQ(got->mDataLength, want->mDataLength) << what;
                if (want->mType == aiPTI_Float) {
                    for (unsigned k = 0; k < want->mDataLength / sizeof(float); ++k) {
                        float a, b;
                        std::memcpy(&a, want->mData + k * sizeof(float), sizeof(float));
                        std::memcpy(&b, got->mData + k * sizeof(float), sizeof(float));
                        EXPECT_NEAR(b, a, 1e-5) << what << "[" << k << "]";
                    }
                } else {
                    EXPECT_EQ(std::memcmp(got->mData, want->mData, want->mDataLength), 0) << what;
                }
            }
        }
    }
#endif
}

// A statement our reader does not know is named once in the read's warning, whatever the number
// of its lines, and the statements it keeps are not named.
TEST(obj_maps_interop, AnUnknownMtlStatementIsNamedOnceAndKeptOnesNotAtAll) {
    ScratchDir dir("mtl_unknown");
    WriteText(dir.path / "m.mtl", "newmtl a\nKd 1 0 0\nNi 1.3\nfoo 1\nfoo 2\nnewmtl b\nfoo 3\nPr 0.5\n");
    WriteText(dir.path / "in.obj", "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\n");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir.path / "in.obj").c_str()) && reader.Read(scene, ropt.get()));
    const std::string text = reader.GetMessageText().Buffer();
    size_t count = 0;
    for (size_t at = text.find("\"foo\""); at != std::string::npos; at = text.find("\"foo\"", at + 1))
        ++count;
    EXPECT_EQ(count, 1u) << text;
    EXPECT_EQ(text.find("Ni"), std::string::npos) << text;
    EXPECT_EQ(text.find("Pr"), std::string::npos) << text;
}

// A 3DS file holds none of the kept statements but the plain illumination models: the 3DS writer
// names the others in the material's warning.
TEST(obj_maps_interop, The3dsWriterNamesTheMtlStatementsItCannotHold) {
    ScratchDir dir("mtl_to_3ds");
    WriteText(dir.path / "m.mtl",
              "newmtl a\nKd 1 0 0\nNi 1.3\nPm 0.5\nillum 2\nnewmtl b\nKd 0 1 0\nillum 5\n");
    WriteText(dir.path / "in.obj",
              "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl a\nf 1 2 3\ng two\nusemtl b\nf 1 2 3\n");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir.path / "in.obj").c_str()) && reader.Read(scene, ropt.get()));
    VOxaWriter3DS writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    const std::string out = (dir.path / "out.3ds").string();
    ASSERT_TRUE(writer.FileCreate(out.c_str()) && writer.Write(scene, wopt.get()) && writer.FileClose());
    const std::string text = writer.GetMessageText().Buffer();
    EXPECT_NE(
        text.find("Material \"a\": the 3DS file cannot hold its OBJ \"Ni\" statement and its OBJ \"Pm\" "
                  "statement"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("Material \"b\": the 3DS file cannot hold its OBJ \"illum\" statement"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Material \"a\": the 3DS file cannot hold its OBJ \"illum\""), std::string::npos)
        << text;
}

TEST(obj_maps_interop, AssimpReadsANonZeroNormalAtEveryCornerOfFacesWhosePointNormalsCancel) {
#ifndef OXA_HAVE_ASSIMP
    GTEST_SKIP() << "the assimp library is not installed (Debian package libassimp-dev)";
#else
    ScratchDir dir("normals_interop");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    // A sheet and its back sharing points, their point normals zero (smoothed together).
    VOxaMesh* mesh = AddMesh(manager, scene, "sheet",
                             {VgeTVector(0, 0, 0, 1), VgeTVector(2, 0, 0, 1), VgeTVector(0, 3, 0, 1)},
                             {{0, 1, 2}, {0, 2, 1}});
    mesh->InitNormals(3);
    VOxaWriterObj writer(&manager);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    const std::string out = dir / "sheet.obj";
    ASSERT_TRUE(writer.FileCreate(out.c_str()) && writer.Write(scene, wopt.get()) && writer.FileClose());
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile(out, 0);
    ASSERT_NE(read, nullptr) << importer.GetErrorString();
    int faces = 0;
    for (unsigned m = 0; m < read->mNumMeshes; ++m) {
        const aiMesh* part = read->mMeshes[m];
        ASSERT_TRUE(part->HasNormals());
        for (unsigned f = 0; f < part->mNumFaces; ++f, ++faces) {
            const aiFace& face = part->mFaces[f];
            ASSERT_EQ(face.mNumIndices, 3u);
            const aiVector3D a = part->mVertices[face.mIndices[1]] - part->mVertices[face.mIndices[0]];
            const aiVector3D b = part->mVertices[face.mIndices[2]] - part->mVertices[face.mIndices[0]];
            const aiVector3D own = (a ^ b).Normalize();
            for (unsigned k = 0; k < 3; ++k) {
                const aiVector3D& n = part->mNormals[face.mIndices[k]];
                EXPECT_NEAR(n.x, own.x, 1e-6);
                EXPECT_NEAR(n.y, own.y, 1e-6);
                EXPECT_NEAR(n.z, own.z, 1e-6);
            }
        }
    }
    EXPECT_EQ(faces, 2);
#endif
}

}  // namespace
