// The toolkit frame: error stack and flags, file table, settings blocks, databases and stamps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

using namespace ftktest;

class ftk_errors : public FtkTest {};

TEST_F(ftk_errors, StackOverflowAndTexts) {
    for (int i = 1; i <= 19; ++i)
        Ftk::PushError(i % 19 + 1);
    EXPECT_EQ(Ftk::GetErrorCount(), 19);
    EXPECT_EQ(Ftk::GetErrorList()[Ftk::kErrorOverflowEntry].mCode, 0);
    Ftk::PushError(Ftk::ERR_NO_MEM);  // the 20th goes into the overflow entry
    EXPECT_EQ(Ftk::GetErrorList()[Ftk::kErrorOverflowEntry].mCode, Ftk::ERR_NO_MEM);
    Ftk::PushError(Ftk::ERR_INVALID_ARG);  // the 21st turns it into code 22
    EXPECT_EQ(Ftk::GetErrorList()[Ftk::kErrorOverflowEntry].mCode, Ftk::N_ERRORS);
    EXPECT_STREQ(Ftk::GetErrorList()[Ftk::kErrorOverflowEntry].mText,
                 "N_ERRORS: More errors were reported then could be recorded.");

    EXPECT_STREQ(Ftk::ErrorText(0), "NO_FTK_ERRORS: No errors are pending");
    EXPECT_STREQ(Ftk::ErrorText(19),
                 "ERR_TOO_MANY_FILES: The toolkit has reached its maximum open file limit of 252 files.");
    EXPECT_STREQ(Ftk::ErrorText(20), "Unknown error code was encountered");
    EXPECT_STREQ(Ftk::ErrorText(21), "Unknown error code was encountered");
    EXPECT_STREQ(Ftk::ErrorText(-1), "Unknown error code was encountered");

    // Clearing frees the overflow entry too: the next run records 19 again before it overflows.
    Ftk::ClearErrors();
    EXPECT_FALSE(Ftk::IsErrorPending());
    EXPECT_EQ(Ftk::GetErrorCount(), 0);
    Ftk::PushError(0);  // code 0 is no error
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_errors, DumpGoesFromLastToFirst) {
    Ftk::PushError(Ftk::ERR_NO_MEM);
    Ftk::PushError(Ftk::ERR_READING_FILE);
    std::string path = TempPath("dump.txt");
    std::FILE* out = std::fopen(path.c_str(), "w");
    Ftk::DumpErrors(out);
    std::fclose(out);
    Bytes text = ReadFile(path);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "ERR_READING_FILE: Error occurred while reading file\n"
              "ERR_NO_MEM: Not enough memory to complete operation\n");
}

TEST_F(ftk_errors, PendingFlagStopsLaterCallsUntilCleared) {
    Ftk::PushError(Ftk::ERR_INVALID_DATA);
    std::string path = TempPath("pending.3ds");
    WriteFile(path, ChunkBytes(Ftk::FILE_MAIN, {}));
    // Any pending fault fails the open (10) while the continue flag is off ...
    EXPECT_EQ(Ftk::OpenFile(path.c_str(), "rb"), nullptr);
    EXPECT_TRUE(Has(Ftk::ERR_INIT_FAILED));
    // ... and the open goes on when it is on.
    Ftk::SetContinueFlag(true);
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "rb");
    EXPECT_NE(file, nullptr);
    Ftk::CloseFile(file);
    Ftk::SetContinueFlag(false);
    Ftk::ClearErrors();
    file = Ftk::OpenFile(path.c_str(), "rb");
    EXPECT_NE(file, nullptr);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

class ftk_files : public FtkTest {};

TEST_F(ftk_files, SameNameOpens) {
    std::string path = TempPath("same.3ds");
    WriteFile(path, Bytes{1, 2, 3, 4, 5, 6, 7, 8});

    // Twice with the same mode: the first record, one table entry.
    Ftk::File* reader = Ftk::OpenFile(path.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(Ftk::OpenFile(path.c_str(), "r"), reader);
    EXPECT_EQ(Ftk::GetFileByIndex(1), nullptr);
    Ftk::SelectFile(reader);
    EXPECT_EQ(Ftk::ReadShort(), 0x0201);

    // Writing a name open for reading moves the reader aside; it reads on where it was.
    Ftk::File* writer = Ftk::OpenFile(path.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    ASSERT_NE(reader->mName, path);
    EXPECT_EQ(std::filesystem::path(reader->mName).parent_path(), std::filesystem::path(path).parent_path());
    EXPECT_TRUE(reader->mRemoveOnClose);
    Ftk::SelectFile(reader);
    EXPECT_EQ(Ftk::ReadShort(), 0x0403);
    Ftk::SelectFile(writer);
    Ftk::WriteShort(0xBEEF);
    std::string moved = reader->mName;

    // Reading a name open for writing closes (and puts in place) the writer first.
    Ftk::File* again = Ftk::OpenFile(path.c_str(), "rb");
    ASSERT_NE(again, nullptr);
    Ftk::SelectFile(again);
    EXPECT_EQ(Ftk::ReadShort(), 0xBEEF);
    Ftk::CloseFile(reader);
    EXPECT_FALSE(std::filesystem::exists(moved));
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_files, ModeTexts) {
    std::string path = TempPath("modes.3ds");
    WriteFile(path, Bytes{0, 0});
    EXPECT_EQ(Ftk::OpenFile(path.c_str(), "xyz"), nullptr);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INIT_FAILED});
    Ftk::ClearErrors();
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "rw");  // only the 'r' counts
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->mMode, Ftk::kFileRead);
    EXPECT_EQ(Ftk::OpenFile(nullptr, "r"), nullptr);
    EXPECT_TRUE(Has(Ftk::ERR_INVALID_ARG));
}

TEST_F(ftk_files, TableHolds252Files) {
    std::vector<Ftk::File*> records;
    for (int i = 0; i < Ftk::kMaxFiles; ++i) {
        records.push_back(new Ftk::File);
        Ftk::RegisterFile(records.back());
    }
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::File extra;
    Ftk::RegisterFile(&extra);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_TOO_MANY_FILES});
    // A freed slot is reused, lowest first.
    Ftk::UnregisterFile(records[7]);
    Ftk::ClearErrors();
    Ftk::RegisterFile(&extra);
    EXPECT_EQ(extra.mSlot, 7);
    Ftk::UnregisterFile(&extra);
    for (Ftk::File* record : records) {
        Ftk::UnregisterFile(record);
        delete record;
    }
    EXPECT_FALSE(Ftk::IsValidFileIndex(255));
}

TEST_F(ftk_files, MovingAsideTakesAnyPathLength) {
    // A folder path far beyond 512 characters.
    std::filesystem::path dir = TempPath("long");
    for (int i = 0; i < 12; ++i)
        dir /= std::string(60, 'd');
    std::filesystem::create_directories(dir);
    std::string path = (dir / "scene.3ds").string();
    ASSERT_GT(path.size(), 700u);
    WriteFile(path, Bytes{9, 9});
    Ftk::File* reader = Ftk::OpenFile(path.c_str(), "rb");
    ASSERT_NE(reader, nullptr);
    Ftk::File* writer = Ftk::OpenFile(path.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(std::filesystem::path(reader->mName).parent_path(), dir);
    Ftk::SelectFile(reader);
    EXPECT_EQ(Ftk::ReadShort(), 0x0909);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_files, FailedSaveKeepsTheOldFile) {
    std::string path = TempPath("keep.3ds");
    WriteFile(path, Bytes{'o', 'l', 'd'});
    Ftk::File* writer = Ftk::OpenFile(path.c_str(), "wb");
    ASSERT_NE(writer, nullptr);
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);  // no top chunk: the save fails
    Ftk::SaveDatabase(writer, db);
    EXPECT_TRUE(Has(Ftk::ERR_WRITING_DATABASE));
    Ftk::CloseFile(writer);
    EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    Ftk::ReleaseDatabase(&db);

    // A writer given up before it wrote anything gives the moved-aside reader its name back.
    Ftk::ClearErrors();
    Ftk::File* reader = Ftk::OpenFile(path.c_str(), "rb");
    writer = Ftk::OpenFile(path.c_str(), "wb");
    writer->mWriteFailed = true;
    Ftk::CloseFile(writer);
    Ftk::CloseFile(reader);
    EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
}

TEST_F(ftk_files, TypedReadsKeepStartingValuesWhenCut) {
    std::string path = TempPath("cut.bin");
    WriteFile(path, Floats({1.0f, 2.0f}));
    Ftk::File* file = Ftk::OpenFile(path.c_str(), "rb");
    Ftk::SelectFile(file);
    Ftk::Point3 point = Ftk::ReadPoint();
    EXPECT_EQ(point.x, 1.0f);
    EXPECT_EQ(point.y, 2.0f);
    EXPECT_EQ(point.z, 0.0f);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_READING_FILE});
    Ftk::Seek(6);
    Ftk::Face face = Ftk::ReadFace();  // one short left of eight bytes
    EXPECT_EQ(face.a, 0x4000);
    EXPECT_EQ(face.b, 1);
    EXPECT_EQ(face.c, 2);
}

class ftk_settings : public FtkTest {};

TEST_F(ftk_settings, DefaultsAndAmbientRule) {
    Ftk::Database* db =
        LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(Ftk::EDITOR_DATA, {})}), "s1.3ds");
    Ftk::MeshSettings* settings = nullptr;
    Ftk::GetSettings(db, &settings);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->mMasterScale, 1.0f);
    EXPECT_EQ(settings->mShadowMapSize, 512);
    EXPECT_EQ(settings->mShadowFilter, 3.0f);
    uint32_t bits;
    std::memcpy(&bits, &settings->mAmbient[0], 4);
    EXPECT_EQ(bits, 0x3EC8C932u);
    Ftk::ReleaseDatabase(&db);

    // Ambient children in the order 0x0010, 0x0011, 0x0013, 0x0012: the last found wins; bytes
    // count 256 steps (materials count 255).
    Bytes ambient = ChunkBytes(Ftk::AMBIENT_COLOR, {},
                               {ChunkBytes(Ftk::COLOR_BYTE, {255, 128, 0}),
                                ChunkBytes(Ftk::COLOR_FLOAT, Floats({0.1f, 0.2f, 0.3f}))});
    db = LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {},
                              {ChunkBytes(Ftk::EDITOR_DATA, {},
                                          {ambient, ChunkBytes(Ftk::MASTER_SCALE, Floats({2.5f}))})}),
                   "s2.3ds");
    Ftk::GetSettings(db, &settings);
    EXPECT_EQ(settings->mAmbient[0], 0.99609375f);
    EXPECT_EQ(settings->mAmbient[1], 0.5f);
    EXPECT_EQ(settings->mMasterScale, 2.5f);
    Ftk::ReleaseSettings(&settings);
    Ftk::ReleaseDatabase(&db);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

TEST_F(ftk_settings, PutOrderAndKeyframerSegment) {
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    Ftk::MeshSettings* settings = nullptr;
    Ftk::InitSettingsBlock(&settings);
    settings->mAmbient[2] = 0.5f;
    Ftk::PutSettings(db, settings);
    Ftk::Chunk* editor = Ftk::GetEditorChunk(db, false);
    std::vector<uint32_t> tags;
    for (Ftk::Chunk* c = editor->mChildren; c; c = c->mNext)
        tags.push_back(c->mTag);
    // Added in the order of the settings, kept in rank order: the origin (rank 17) goes before the
    // ambient colour (rank 16) that was added before it.
    EXPECT_EQ(tags, (std::vector<uint32_t>{Ftk::EDITOR_VERSION, Ftk::MASTER_SCALE, Ftk::SHADOW_LOW_BIAS,
                                           Ftk::SHADOW_MAP_SIZE, Ftk::SHADOW_FILTER, Ftk::SHADOW_RAY_BIAS,
                                           Ftk::CONSTRUCTION_ORIGIN, Ftk::AMBIENT_COLOR}));
    Ftk::Chunk* ambient = Ftk::FindChild(editor, Ftk::AMBIENT_COLOR);
    ASSERT_NE(ambient->mChildren, nullptr);
    EXPECT_EQ(ambient->mChildren->mTag, Ftk::COLOR_FLOAT);
    EXPECT_EQ(ambient->mChildren->mNext->mTag, Ftk::COLOR_FLOAT_GAMMA);

    Ftk::KeyframerSettings* keys = nullptr;
    Ftk::InitKeyframerSettings(&keys);
    keys->mSegmentInUse = true;
    keys->mSegmentFirst = 5;
    keys->mSegmentLast = 25;
    keys->mAnimationLength = 100;
    Ftk::PutKeyframerSettings(db, keys);
    Ftk::KeyframerSettings* back = nullptr;
    Ftk::InitKeyframerSettings(&back);
    Ftk::GetKeyframerSettings(db, back);
    EXPECT_TRUE(back->mSegmentInUse);
    EXPECT_EQ(back->mSegmentFirst, 5);
    EXPECT_EQ(back->mAnimationLength, 100);
    keys->mSegmentInUse = false;
    Ftk::PutKeyframerSettings(db, keys);
    Ftk::Chunk* keyframer = Ftk::FindChild(db->mTop, Ftk::KEYFRAMER_DATA);
    EXPECT_EQ(Ftk::FindChild(keyframer, Ftk::KEYFRAMER_SEGMENT), nullptr);
    Ftk::ReleaseKeyframerSettings(&keys);
    Ftk::ReleaseKeyframerSettings(&back);
    Ftk::ReleaseSettings(&settings);
    Ftk::ReleaseDatabase(&db);
    EXPECT_FALSE(Ftk::IsErrorPending());
}

class ftk_database : public FtkTest {};

TEST_F(ftk_database, ReleaseStamps) {
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    Ftk::LongData* file = Ftk::GetData<Ftk::LongData>(Ftk::FindChild(db->mTop, Ftk::FILE_VERSION));
    Ftk::Chunk* editorVersion = nullptr;
    Ftk::FindChunk(db->mTop, Ftk::EDITOR_VERSION, &editorVersion);
    Ftk::Chunk* header = nullptr;
    Ftk::FindChunk(db->mTop, Ftk::KEYFRAMER_HEADER, &header);
    ASSERT_TRUE(file && editorVersion && header);
    EXPECT_EQ(file->mValue, 3);
    EXPECT_EQ(Ftk::GetData<Ftk::LongData>(editorVersion)->mValue, 3);
    EXPECT_EQ(Ftk::GetData<Ftk::KeyframerHeaderData>(header)->mRevision, 5);
    EXPECT_EQ(Ftk::GetData<Ftk::KeyframerHeaderData>(header)->mAnimationLength, 30);
    EXPECT_EQ(Ftk::GetDatabaseRelease(db), 2);
    Ftk::SetDatabaseRelease(db, 0);
    EXPECT_EQ(file = Ftk::GetData<Ftk::LongData>(Ftk::FindChild(db->mTop, Ftk::FILE_VERSION)), file);
    EXPECT_EQ(Ftk::GetFileVersion(db->mTop), 0);
    EXPECT_EQ(Ftk::GetKeyframerVersion(db->mTop), 0);
    Ftk::SetDatabaseRelease(db, 3);
    EXPECT_EQ(Ftk::GetMeshVersion(db->mTop), 3);  // version 4 reads as "anything else"
    Ftk::ReleaseDatabase(&db);

    // A material library is always release 2; a database without a root answers 3 with 5.
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kMaterialLibrary);
    EXPECT_EQ(Ftk::GetDatabaseRelease(db), 2);
    EXPECT_EQ(db->mTop->mChildren, nullptr);
    Ftk::ReleaseChunk(&db->mTop);
    EXPECT_EQ(Ftk::GetDatabaseRelease(db), 3);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_DATABASE});
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_database, ForeignTopGivesBareRoot) {
    Ftk::Database* db = LoadBytes(ChunkBytes(0x1234, {}, {ChunkBytes(Ftk::EDITOR_DATA, {})}), "foreign.3ds");
    ASSERT_NE(db->mTop, nullptr);
    EXPECT_EQ(db->mTop->mTag, 0x1234u);
    EXPECT_EQ(db->mTop->mChildren, nullptr);
    EXPECT_EQ(Ftk::GetDatabaseKind(db), Ftk::kNoDatabase);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::CountMeshes(db);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_WRONG_DATABASE});
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_database, DetachLetsTheSourceGo) {
    Ftk::File* file = nullptr;
    Bytes bytes =
        ChunkBytes(Ftk::FILE_MAIN, {},
                   {ChunkBytes(Ftk::EDITOR_DATA, {}, {ChunkBytes(Ftk::MASTER_SCALE, Floats({4.0f}))})});
    std::string path = TempPath("detach.3ds");
    Ftk::Database* db = LoadBytes(bytes, "detach.3ds", &file);
    Ftk::DetachDatabase(db);
    Ftk::CloseFile(file);
    // Written over its own source: nothing is read from the old file any more.
    ASSERT_TRUE(SaveTo(db, path));
    Ftk::Database* again = LoadBytes(ReadFile(path), "detach2.3ds");
    Ftk::MeshSettings* settings = nullptr;
    Ftk::GetSettings(again, &settings);
    EXPECT_EQ(settings->mMasterScale, 4.0f);
    Ftk::ReleaseSettings(&settings);
    Ftk::ReleaseDatabase(&again);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_database, FloatsSaturateIntoIntegerFields) {
    EXPECT_EQ(Ftk::SaturateByte(1.5 * 255.0), 255);
    EXPECT_EQ(Ftk::SaturateByte(-3.0), 0);
    EXPECT_EQ(Ftk::SaturateByte(254.9), 254);  // in range: truncated as before
    EXPECT_EQ(Ftk::SaturateShort(1e9), 32767);
    EXPECT_EQ(Ftk::SaturateShort(-1e9), -32768);
    EXPECT_EQ(Ftk::SaturateShort(std::nan("")), 0);
    EXPECT_EQ(Ftk::SaturateLong(-7.9), -7);
}

}  // namespace
