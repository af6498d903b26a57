// The database indexes: kept current by the puts without rebuilding, rebuilt when stale, and the
// copy and delete operations between databases that go through them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

using namespace ftktest;

class ftk_index : public FtkTest {
protected:
    void SetUp() override {
        FtkTest::SetUp();
        for (Ftk::Database** db : {&mA, &mB}) {
            Ftk::NewDatabase(db);
            Ftk::CreateDatabase(*db, Ftk::kSceneFile);
        }
    }
    void TearDown() override {
        Ftk::ReleaseDatabase(&mA);
        Ftk::ReleaseDatabase(&mB);
        FtkTest::TearDown();
    }
    void PutMesh(Ftk::Database* db, const char* name, float x) {
        Ftk::Mesh* mesh = nullptr;
        Ftk::InitMesh(&mesh, 1, 0, 0);
        std::strcpy(mesh->mName, name);
        mesh->mVertices[0].x = x;
        Ftk::WriteMesh(db, mesh);
        Ftk::ReleaseMesh(&mesh);
    }
    static std::vector<std::string> Names(Ftk::Database* db) {
        Ftk::StringList* list = nullptr;
        Ftk::ListMeshNames(db, &list);
        std::vector<std::string> names = list ? list->mStrings : std::vector<std::string>();
        Ftk::ReleaseStringList(&list);
        return names;
    }
    Ftk::Database* mA = nullptr;
    Ftk::Database* mB = nullptr;
};

TEST_F(ftk_index, PutsKeepTheIndexInTreeOrder) {
    PutMesh(mA, "One", 1);
    Ftk::CountMeshes(mA);  // the index is current from here on
    PutMesh(mA, "Two", 2);
    EXPECT_EQ(mA->mObjectsStale, 0);  // appended at the end: no rebuild needed
    // A rank-0 chunk and an object behind it: the next put goes in front of the rank-0 chunk, so
    // not at the end of the objects; the index goes stale and comes back in tree order.
    Ftk::Chunk* editor = Ftk::GetEditorChunk(mA, false);
    Ftk::AddChild(0x7777, editor);
    Ftk::Chunk* late = nullptr;
    Ftk::NewChunkWithTag(&late, Ftk::OBJECT_BLOCK);
    Ftk::AppendChild(editor, late);
    Ftk::MakeData<Ftk::StringData>(late)->mText = "Late";
    Ftk::AddChild(Ftk::TRIANGLE_MESH, late);
    Ftk::MarkObjectsStale(mA);
    EXPECT_EQ(Ftk::CountMeshes(mA), 3u);
    PutMesh(mA, "Three", 3);
    EXPECT_EQ(mA->mObjectsStale, 1);
    EXPECT_EQ(Names(mA), (std::vector<std::string>{"One", "Two", "Three", "Late"}));
    Ftk::Mesh* mesh = nullptr;
    Ftk::GetMeshByIndex(mA, 2, &mesh);
    EXPECT_STREQ(mesh->mName, "Three");
    Ftk::ReleaseMesh(&mesh);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_index, MaterialPutsAmongObjectsKeepTheIndex) {
    auto putMaterial = [&](const char* name, float red) {
        Ftk::Material* material = nullptr;
        Ftk::InitMaterial(&material);
        std::strcpy(material->mName, name);
        material->mDiffuse[0] = red;
        Ftk::WriteMaterial(mA, material);
        Ftk::ReleaseMaterial(&material);
    };
    PutMesh(mA, "One", 1);
    putMaterial("Red", 1.0f);
    PutMesh(mA, "Two", 2);
    putMaterial("Blue", 0.0f);
    // A new material goes in before the objects, after the materials: still the index's last.
    EXPECT_EQ(mA->mMaterialsStale, 0);
    // Put again under its name: replaced in place, the index holds.
    putMaterial("Red", 0.5f);
    EXPECT_EQ(mA->mMaterialsStale, 0);
    ASSERT_EQ(Ftk::CountMaterials(mA), 2u);
    const char* order[2] = {"Red", "Blue"};
    for (uint32_t i = 0; i < 2; ++i) {
        Ftk::Material* material = nullptr;
        Ftk::GetMaterialByIndex(mA, i, &material);
        ASSERT_NE(material, nullptr);
        EXPECT_STREQ(material->mName, order[i]);
        if (i == 0) EXPECT_NEAR(material->mDiffuse[0], 0.5f, 1.0f / 255);
        Ftk::ReleaseMaterial(&material);
    }
    // A material block out of place (after an object) makes the next put rebuild the index, which
    // then lists the blocks in tree order.
    Ftk::Chunk* stray = nullptr;
    Ftk::NewChunkWithTag(&stray, Ftk::MATERIAL_BLOCK);
    Ftk::AppendChild(Ftk::GetEditorChunk(mA, false), stray);
    Ftk::MakeData<Ftk::StringData>(Ftk::AddChild(Ftk::MATERIAL_NAME, stray))->mText = "Stray";
    Ftk::MarkMaterialsStale(mA);
    EXPECT_EQ(Ftk::CountMaterials(mA), 3u);
    putMaterial("Green", 0.0f);
    EXPECT_EQ(mA->mMaterialsStale, 1);
    Ftk::Material* material = nullptr;
    Ftk::GetMaterialByIndex(mA, 3, &material);
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->mName, "Stray");
    Ftk::ReleaseMaterial(&material);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_index, DeleteAndCopyObjects) {
    PutMesh(mA, "One", 1);
    PutMesh(mA, "Two", 2);
    PutMesh(mB, "Two", 20);
    Ftk::CopyMeshByName(mB, mA, "Two");  // replaces B's "Two"
    Ftk::CopyMeshByIndex(mB, mA, 0);
    EXPECT_EQ(Names(mB), (std::vector<std::string>{"Two", "One"}));
    Ftk::Mesh* mesh = nullptr;
    Ftk::GetMeshByName(mB, "Two", &mesh);
    EXPECT_EQ(mesh->mVertices[0].x, 2.0f);
    Ftk::DeleteMeshByName(mB, "Two");
    EXPECT_EQ(Names(mB), std::vector<std::string>{"One"});
    Ftk::DeleteMeshByIndex(mB, 0);
    EXPECT_EQ(Ftk::CountMeshes(mB), 0u);
    // Dropped chunks stay in the list as tag 0 and are never written.
    std::string path = TempPath("dropped.3ds");
    ASSERT_TRUE(SaveTo(mB, path));
    Ftk::Database* again = LoadBytes(ReadFile(path), "dropped2.3ds");
    Ftk::Chunk* editor = Ftk::GetEditorChunk(again, false);
    for (Ftk::Chunk* c = editor->mChildren; c; c = c->mNext)
        EXPECT_NE(c->mTag, Ftk::OBJECT_BLOCK);
    Ftk::ReleaseDatabase(&again);
    Ftk::ReleaseMesh(&mesh);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_index, CopyMaterialsNodesAndSettings) {
    Ftk::Material* material = nullptr;
    Ftk::InitMaterial(&material);
    std::strcpy(material->mName, "Gold");
    material->mTwoSided = 1;
    Ftk::WriteMaterial(mA, material);
    Ftk::CopyMaterialByName(mB, mA, "Gold");
    Ftk::CopyMaterialByIndex(mB, mA, 0);  // the same name again: replaced, not doubled
    EXPECT_EQ(Ftk::CountMaterials(mB), 1u);
    Ftk::Material* back = nullptr;
    Ftk::GetMaterialByIndex(mB, 0, &back);
    EXPECT_EQ(back->mTwoSided, 1);

    Ftk::SpotlightMotion* motion = nullptr;
    Ftk::InitSpotlightMotion(&motion, 1, 0, 0, 0, 0, 1);
    std::strcpy(motion->mName, "Spot");
    Ftk::PutSpotlightMotion(mA, motion);
    Ftk::CopySpotlightMotionByName(mB, mA, "Spot");
    EXPECT_EQ(Ftk::CountSpotlightMotions(mB), 1u);
    EXPECT_EQ(Ftk::CountObjectsOfTag(mB, Ftk::LIGHT_TARGET_NODE), 1u);  // the target came along
    Ftk::DeleteSpotlightMotionByIndex(mB, 0);
    EXPECT_EQ(Ftk::CountObjectsOfTag(mB, Ftk::LIGHT_TARGET_NODE), 0u);

    Ftk::MeshSettings* settings = nullptr;
    Ftk::InitSettingsBlock(&settings);
    settings->mMasterScale = 12.0f;
    settings->mAmbient[0] = 0.75f;
    Ftk::PutSettings(mA, settings);
    Ftk::CopySettings(mB, mA);
    Ftk::MeshSettings* copied = nullptr;
    Ftk::GetSettings(mB, &copied);
    EXPECT_EQ(copied->mMasterScale, 12.0f);
    EXPECT_NE(copied->mAmbient[0], 0.75f);  // the ambient colour is not copied

    Ftk::Background* background = nullptr;
    Ftk::InitBackground(&background);
    background->mActive = Ftk::kSolidBackground;
    background->mSolid[1] = 0.5f;
    Ftk::PutBackground(mA, background);
    Ftk::CopyBackground(mB, mA);
    Ftk::GetBackground(mB, &background);
    EXPECT_EQ(background->mActive, Ftk::kSolidBackground);
    EXPECT_EQ(background->mSolid[1], 0.5f);

    Ftk::ReleaseBackground(&background);
    Ftk::ReleaseSettings(&copied);
    Ftk::ReleaseSettings(&settings);
    Ftk::ReleaseSpotlightMotion(&motion);
    Ftk::ReleaseMaterial(&back);
    Ftk::ReleaseMaterial(&material);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_index, CopyDatabaseIsDeep) {
    PutMesh(mA, "One", 1);
    Ftk::Database* copy = nullptr;
    Ftk::CopyDatabase(mA, &copy);
    Ftk::DeleteMeshByName(mA, "One");
    EXPECT_EQ(Ftk::CountMeshes(mA), 0u);
    EXPECT_EQ(Ftk::CountMeshes(copy), 1u);
    EXPECT_EQ(DumpTree(copy->mTop).find("4110") != std::string::npos, true);
    Ftk::ReleaseDatabase(&copy);
}

}  // namespace
