// The keyframer section: node numbering and parent names, the node list dumps, and the motion
// records' get and put rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

using namespace ftktest;

class ftk_keyframer : public FtkTest {};

Bytes Node(uint16_t tag, const std::string& name, int id, int16_t parent,
           std::initializer_list<Bytes> more = {}) {
    Bytes children;
    if (id >= 0) children = Cat({children, ChunkBytes(Ftk::NODE_ID, Shorts({(uint16_t)id}))});
    children =
        Cat({children, ChunkBytes(Ftk::NODE_HEADER, Cat({Text(name), Shorts({0, 0, (uint16_t)parent})}))});
    for (const Bytes& b : more)
        children = Cat({children, b});
    return ChunkBytes(tag, children);
}

Bytes Scene(std::initializer_list<Bytes> nodes) {
    return ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(Ftk::KEYFRAMER_DATA, {}, nodes)});
}

std::string ParentOf(Ftk::Database* db, const char* name, uint32_t tag) {
    Ftk::Chunk* node = nullptr;
    Ftk::FindKeyframerNode(db, name, tag, &node);
    char buffer[64];
    Ftk::GetParentName(node, buffer, sizeof buffer);
    return buffer;
}

int16_t ParentNumberInFile(const Bytes& file, const std::string& name) {
    // The header's name, then flags 1, flags 2 and the parent number.
    Bytes needle(name.begin(), name.end());
    needle.push_back(0);
    auto at = std::search(file.begin(), file.end(), needle.begin(), needle.end());
    if (at == file.end()) return 0x7777;
    size_t offset = (size_t)(at - file.begin()) + needle.size() + 4;
    return (int16_t)(file[offset] | file[offset + 1] << 8);
}

TEST_F(ftk_keyframer, InstanceParentsAndRenumbering) {
    Bytes instance = ChunkBytes(Ftk::NODE_INSTANCE_NAME, Text("inst"));
    Bytes file =
        Scene({Node(Ftk::AMBIENT_NODE, "$AMBIENT$", 9, -1), Node(Ftk::OBJECT_NODE, "Child", 5, 3),
               Node(Ftk::OBJECT_NODE, "Box", 3, -1, {instance}), Node(Ftk::OBJECT_NODE, "Orphan", 4, 77)});
    Ftk::Database* db = LoadBytes(file, "parents.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    EXPECT_EQ(ParentOf(db, "Child", Ftk::OBJECT_NODE), "Box.inst");
    EXPECT_EQ(ParentOf(db, "Orphan", Ftk::OBJECT_NODE), "");
    EXPECT_EQ(ParentOf(db, "Box", Ftk::OBJECT_NODE), "");
    // The index names the instanced node "Box.inst".
    EXPECT_NE(Ftk::FindNodeByName(db, "Box.inst", Ftk::OBJECT_NODE), nullptr);
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::GetObjectMotionByIndex(db, 1, &motion);
    ASSERT_NE(motion, nullptr);
    EXPECT_STREQ(motion->mName, "Box");
    EXPECT_STREQ(motion->mInstanceName, "inst");
    Ftk::GetObjectMotionByName(db, "Child", &motion);
    EXPECT_STREQ(motion->mParentName, "Box.inst");
    Ftk::ReleaseObjectMotion(&motion);

    // Written back: numbered in order, the ambient node skipped; the parent found by both parts.
    std::string path = TempPath("parents_out.3ds");
    ASSERT_TRUE(SaveTo(db, path));
    Bytes saved = ReadFile(path);
    EXPECT_EQ(ParentNumberInFile(saved, "Child"), 1);
    EXPECT_EQ(ParentNumberInFile(saved, "Box"), -1);
    EXPECT_EQ(Ftk::GetNodeId(Ftk::FindNodeByName(db, "Child", Ftk::OBJECT_NODE)), 0);
    EXPECT_EQ(Ftk::GetNodeId(Ftk::FindNodeByName(db, "Box.inst", Ftk::OBJECT_NODE)), 1);
    Ftk::Chunk* ambient = Ftk::FindNodeByKind(db, Ftk::AMBIENT_NODE, 0);
    EXPECT_EQ(Ftk::GetNodeId(ambient), 0xFFFF);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_keyframer, NodesWithoutIdsAndUnknownParents) {
    Ftk::Database* db = LoadBytes(
        Scene({Node(Ftk::OBJECT_NODE, "A", -1, -1), Node(Ftk::OBJECT_NODE, "B", -1, 0)}), "noids.3ds");
    // Numbered by their places, as other programs write them: B's parent number 0 is A.
    EXPECT_EQ(ParentOf(db, "B", Ftk::OBJECT_NODE), "A");
    // A parent name that names no node is written as 0xFFFF.
    Ftk::Chunk* b = Ftk::FindNodeByName(db, "B", Ftk::OBJECT_NODE);
    Ftk::StringData* parent =
        Ftk::GetData<Ftk::StringData>(Ftk::FindChild(Ftk::FindChild(b, Ftk::NODE_HEADER), Ftk::NODE_PARENT_NAME));
    ASSERT_NE(parent, nullptr);
    parent->mText = "Ghost";
    std::string path = TempPath("ghost.3ds");
    ASSERT_TRUE(SaveTo(db, path));
    EXPECT_EQ(ParentNumberInFile(ReadFile(path), "B"), -1);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_keyframer, ParentNamedLikeATargetIsTheCameraOrSpotlight) {
    // A target node carries the name of its camera or spotlight; before or after it in the file,
    // the name stands for the camera or spotlight.
    Ftk::Database* db =
        LoadBytes(Scene({Node(Ftk::CAMERA_TARGET_NODE, "Cam", 0, -1), Node(Ftk::CAMERA_NODE, "Cam", 1, -1),
                         Node(Ftk::LIGHT_TARGET_NODE, "Lamp", 2, -1),
                         Node(Ftk::SPOTLIGHT_NODE, "Lamp", 3, -1), Node(Ftk::CAMERA_NODE, "Eye", 4, -1),
                         Node(Ftk::CAMERA_TARGET_NODE, "Eye", 5, -1), Node(Ftk::OBJECT_NODE, "Kid", 6, 1),
                         Node(Ftk::OBJECT_NODE, "Kid2", 7, 3), Node(Ftk::OBJECT_NODE, "Kid3", 8, 4)}),
                  "targets.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    EXPECT_EQ(ParentOf(db, "Kid", Ftk::OBJECT_NODE), "Cam");
    std::string path = TempPath("targets_out.3ds");
    ASSERT_TRUE(SaveTo(db, path));
    Bytes saved = ReadFile(path);
    EXPECT_EQ(ParentNumberInFile(saved, "Kid"), 1);
    EXPECT_EQ(ParentNumberInFile(saved, "Kid2"), 3);
    EXPECT_EQ(ParentNumberInFile(saved, "Kid3"), 4);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_keyframer, DumpsVisitEachEntryOnce) {
    // Numbers that repeat and loop: 0 -> 1 -> 0, and two entries numbered 2.
    Ftk::Database* db =
        LoadBytes(Scene({Node(Ftk::OBJECT_NODE, "Root", 7, -1), Node(Ftk::OBJECT_NODE, "Mid", 2, 7),
                         Node(Ftk::OBJECT_NODE, "Leaf", 8, 2), Node(Ftk::OBJECT_NODE, "Twin", 2, 7),
                         Node(Ftk::OBJECT_NODE, "LoopA", 0, 1), Node(Ftk::OBJECT_NODE, "LoopB", 1, 0)}),
                  "loops.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    Ftk::ClearNodeList();
    Ftk::CollectNodes(Ftk::FindChild(db->mTop, Ftk::KEYFRAMER_DATA));
    std::string path = TempPath("tree.txt");
    std::FILE* out = std::fopen(path.c_str(), "w");
    Ftk::DumpNodeTree(out);
    Ftk::DumpNodeList(out);
    std::fclose(out);
    Bytes text = ReadFile(path);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "Root\n-Mid\n--Leaf\n-Twin\n"
              "ID:7\tName:Root\tParent:-1\nID:2\tName:Mid\tParent:7\nID:8\tName:Leaf\tParent:2\n"
              "ID:2\tName:Twin\tParent:7\nID:0\tName:LoopA\tParent:1\nID:1\tName:LoopB\tParent:0\n");
    Ftk::ReleaseNodeList();
    EXPECT_EQ(Ftk::GetNodeList(), nullptr);
    Ftk::ReleaseDatabase(&db);
}

class ftk_motion : public FtkTest {
protected:
    void SetUp() override {
        FtkTest::SetUp();
        Ftk::NewDatabase(&mDb);
        Ftk::CreateDatabase(mDb, Ftk::kSceneFile);
    }
    void TearDown() override {
        Ftk::ReleaseDatabase(&mDb);
        FtkTest::TearDown();
    }
    std::vector<uint32_t> NodeTags() {
        std::vector<uint32_t> tags;
        for (Ftk::Chunk* c = Ftk::FindChild(mDb->mTop, Ftk::KEYFRAMER_DATA)->mChildren; c; c = c->mNext)
            tags.push_back(c->mTag);
        return tags;
    }
    Ftk::Database* mDb = nullptr;
};

TEST_F(ftk_motion, ObjectPutRules) {
    Ftk::ObjectMotion* motion = nullptr;
    Ftk::InitObjectMotion(&motion, 2, 1, 0, 0, 0);
    EXPECT_EQ(motion->mRotation.mValues, (std::vector<float>{0, 0, 0, 1}));
    EXPECT_EQ(motion->mMorphSmooth, 24.0f);
    std::strcpy(motion->mName, "$$$DUMMY");
    motion->mFlags2 = 1;
    motion->mScale.mKeyCount = 3;  // a count without arrays is not written
    Ftk::PutObjectMotion(mDb, motion);
    Ftk::PutObjectMotion(mDb, motion);  // twice: two nodes of the same name
    EXPECT_EQ(Ftk::CountObjectMotions(mDb), 2u);
    Ftk::Chunk* node = Ftk::FindNodeByKind(mDb, Ftk::OBJECT_NODE, 0);
    std::vector<uint32_t> tags;
    for (Ftk::Chunk* c = node->mChildren; c; c = c->mNext)
        tags.push_back(c->mTag);
    EXPECT_EQ(tags, (std::vector<uint32_t>{Ftk::NODE_ID, Ftk::NODE_HEADER, Ftk::NODE_BOUNDING_BOX,
                                           Ftk::NODE_MORPH_SMOOTH, Ftk::NODE_PIVOT, Ftk::TRACK_POSITION,
                                           Ftk::TRACK_ROTATION}));

    std::strcpy(motion->mName, "Plain");
    motion->mFlags2 = 0;
    Ftk::PutObjectMotion(mDb, motion);
    Ftk::Chunk* plain = Ftk::FindNodeByName(mDb, "Plain", Ftk::OBJECT_NODE);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(Ftk::FindChild(plain, Ftk::NODE_BOUNDING_BOX), nullptr);
    EXPECT_EQ(Ftk::FindChild(plain, Ftk::NODE_MORPH_SMOOTH), nullptr);
    Ftk::ReleaseObjectMotion(&motion);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_motion, CameraTargetsAndDatabases) {
    Ftk::CameraMotion* motion = nullptr;
    Ftk::GetCameraMotionByIndex(mDb, 0, &motion);  // no camera nodes: nothing
    EXPECT_EQ(motion, nullptr);
    Ftk::InitCameraMotion(&motion, 1, 1, 0, 0);
    EXPECT_EQ(motion->mFieldOfView.mValues, std::vector<float>{60.0f});
    std::strcpy(motion->mName, "Cam");
    Ftk::PutCameraMotion(mDb, motion);  // no target keys: no target node
    EXPECT_EQ(NodeTags(), (std::vector<uint32_t>{Ftk::KEYFRAMER_HEADER, Ftk::CAMERA_NODE}));

    Ftk::InitCameraMotion(&motion, 0, 0, 0, 2);
    motion->mTargetPosition.mValues[3] = 5.0f;
    std::strcpy(motion->mName, "Cam2");
    std::strcpy(motion->mTargetParentName, "Cam");
    Ftk::PutCameraMotion(mDb, motion);
    EXPECT_EQ(NodeTags(), (std::vector<uint32_t>{Ftk::KEYFRAMER_HEADER, Ftk::CAMERA_NODE,
                                                 Ftk::CAMERA_TARGET_NODE, Ftk::CAMERA_NODE}));
    Ftk::CameraMotion* back = nullptr;
    Ftk::GetCameraMotionByName(mDb, "Cam2", &back);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->mTargetPosition.mKeyCount, 2u);
    EXPECT_EQ(back->mTargetPosition.mValues[3], 5.0f);
    EXPECT_STREQ(back->mTargetParentName, "Cam");
    EXPECT_EQ(back->mPosition.mKeyCount, 1u);  // a count argument of 0 left the earlier track in place
    Ftk::GetCameraMotionByName(mDb, "Cam", &back);
    EXPECT_EQ(back->mFieldOfView.mValues, std::vector<float>{60.0f});

    // Deleting a camera node takes its target along.
    Ftk::DeleteCameraMotionByName(mDb, "Cam2");
    EXPECT_EQ(Ftk::CountObjectsOfTag(mDb, Ftk::CAMERA_TARGET_NODE), 0u);
    EXPECT_EQ(Ftk::CountCameraMotions(mDb), 1u);

    // Project databases: cameras push 3, the other kinds 6.
    Ftk::Database* project = nullptr;
    Ftk::NewDatabase(&project);
    Ftk::CreateDatabase(project, Ftk::kProjectFile);
    Ftk::PutCameraMotion(project, motion);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_DATA});
    Ftk::ClearErrors();
    Ftk::Database* library = nullptr;
    Ftk::NewDatabase(&library);
    Ftk::CreateDatabase(library, Ftk::kMaterialLibrary);
    Ftk::OmniLightMotion* omni = nullptr;
    Ftk::InitOmniLightMotion(&omni, 1, 1);
    Ftk::PutOmniLightMotion(library, omni);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_WRONG_DATABASE});
    Ftk::ReleaseOmniLightMotion(&omni);
    Ftk::ReleaseDatabase(&library);
    Ftk::ReleaseDatabase(&project);
    Ftk::ReleaseCameraMotion(&back);
    Ftk::ReleaseCameraMotion(&motion);
}

TEST_F(ftk_motion, SpotlightRoundTrip) {
    Ftk::SpotlightMotion* motion = nullptr;
    Ftk::InitSpotlightMotion(&motion, 1, 1, 2, 1, 1, 1);
    std::strcpy(motion->mName, "Spot");
    motion->mHotspot.mKeys[1].mFrame = 10;
    motion->mHotspot.mKeys[1].mSplineFlags = 0x1F;
    motion->mHotspot.mKeys[1].mEaseFrom = 0.5f;
    Ftk::PutSpotlightMotion(mDb, motion);
    std::string path = TempPath("spot.3ds");
    ASSERT_TRUE(SaveTo(mDb, path));
    Ftk::Database* again = LoadBytes(ReadFile(path), "spot2.3ds");
    Ftk::SpotlightMotion* back = nullptr;
    Ftk::GetSpotlightMotionByIndex(again, 0, &back);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->mHotspot.mValues, (std::vector<float>{90.0f, 90.0f}));
    EXPECT_EQ(back->mHotspot.mKeys[1].mFrame, 10);
    EXPECT_EQ(back->mHotspot.mKeys[1].mEaseFrom, 0.5f);
    EXPECT_EQ(back->mColor.mValues, (std::vector<float>{1, 1, 1}));
    EXPECT_EQ(back->mTargetPosition.mKeyCount, 1u);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::ReleaseSpotlightMotion(&back);
    Ftk::ReleaseSpotlightMotion(&motion);
    Ftk::ReleaseDatabase(&again);
}

}  // namespace
