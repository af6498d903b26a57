// The chunk layer: own-data skips, tree reads of hostile files, canonical order, writing with
// length fix-ups, extended-data entries, lazy loading and string limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_test_util.h"

namespace {

using namespace ftktest;

class ftk_chunk : public FtkTest {};

std::vector<uint32_t> ChildTags(Ftk::Chunk* parent) {
    std::vector<uint32_t> tags;
    for (Ftk::Chunk* c = parent ? parent->mChildren : nullptr; c; c = c->mNext)
        tags.push_back(c->mTag);
    return tags;
}

const Bytes kLeaf = ChunkBytes(0x7777, {1, 2, 3});

TEST_F(ftk_chunk, OwnDataSkipPerTagKind) {
    Bytes faces = Cat({Shorts({1}), Shorts({0, 1, 2, 0})});
    Bytes header = Cat({Text("Box"), Shorts({1, 2, 0xFFFF})});
    Bytes kfHeader = Cat({Shorts({5}), Text("scene"), Bytes{30, 0, 0, 0}});
    Bytes file = ChunkBytes(
        Ftk::FILE_MAIN, {},
        {ChunkBytes(Ftk::EDITOR_DATA, {},                                  // container
                    {ChunkBytes(Ftk::LIGHT, Floats({1, 2, 3}), {kLeaf}),   // fixed, 12 bytes
                     ChunkBytes(Ftk::MESH_FACES, faces, {kLeaf}),          // counted
                     ChunkBytes(Ftk::OBJECT_BLOCK, Text("Obj"), {kLeaf}),  // string
                     ChunkBytes(0x6666, kLeaf)}),                          // leaf: no sub-chunks
         ChunkBytes(Ftk::KEYFRAMER_DATA, {},
                    {ChunkBytes(Ftk::KEYFRAMER_HEADER, kfHeader, {kLeaf}),  // short, string, long
                     ChunkBytes(Ftk::OBJECT_NODE, {}, {ChunkBytes(Ftk::NODE_HEADER, header, {kLeaf})})})});
    Ftk::Database* db = LoadBytes(file, "skip.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    Ftk::Chunk* editor = Ftk::FindChild(db->mTop, Ftk::EDITOR_DATA);
    EXPECT_EQ(ChildTags(editor),
              (std::vector<uint32_t>{Ftk::LIGHT, Ftk::MESH_FACES, Ftk::OBJECT_BLOCK, 0x6666}));
    for (Ftk::Chunk* c = editor->mChildren; c; c = c->mNext) {
        if (c->mTag == 0x6666) {
            EXPECT_EQ(c->mChildren, nullptr);
            EXPECT_EQ(c->mDataSize, 9u);
        } else {
            EXPECT_EQ(ChildTags(c), std::vector<uint32_t>{0x7777}) << std::hex << c->mTag;
        }
    }
    EXPECT_EQ(Ftk::FindChild(editor, Ftk::LIGHT)->mDataSize, 12u);
    EXPECT_EQ(Ftk::FindChild(editor, Ftk::MESH_FACES)->mDataSize, 10u);
    EXPECT_EQ(Ftk::FindChild(editor, Ftk::OBJECT_BLOCK)->mDataSize, 4u);
    Ftk::Chunk* kf = Ftk::FindChild(db->mTop, Ftk::KEYFRAMER_DATA);
    EXPECT_EQ(ChildTags(Ftk::FindChild(kf, Ftk::KEYFRAMER_HEADER)), std::vector<uint32_t>{0x7777});
    Ftk::Chunk* node = Ftk::FindChild(kf, Ftk::OBJECT_NODE);
    EXPECT_EQ(ChildTags(Ftk::FindChild(node, Ftk::NODE_HEADER)), std::vector<uint32_t>{0x7777});
    // Records read from the own data only.
    Ftk::StringData* name = Ftk::GetData<Ftk::StringData>(Ftk::FindChild(editor, Ftk::OBJECT_BLOCK));
    EXPECT_EQ(name->mText, "Obj");
    Ftk::RawData* raw = Ftk::GetData<Ftk::RawData>(Ftk::FindChild(editor, 0x6666));
    EXPECT_EQ(raw->mBytes, kLeaf);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, HostileLengthsEndTheParentsList) {
    // A child shorter than its header: the list stops there (4), the first child stays.
    Bytes bad = {0x11, 0x11, 3, 0, 0, 0};
    Bytes file = ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(Ftk::EDITOR_DATA, {}, {kLeaf, bad, kLeaf})});
    Ftk::Database* db = LoadBytes(file, "short.3ds");
    EXPECT_TRUE(Has(Ftk::ERR_INVALID_CHUNK));
    EXPECT_TRUE(Has(Ftk::ERR_READING_DATABASE));
    EXPECT_TRUE(Has(Ftk::ERR_CREATING_DATABASE));
    EXPECT_EQ(ChildTags(Ftk::FindChild(db->mTop, Ftk::EDITOR_DATA)), std::vector<uint32_t>{0x7777});
    Ftk::ReleaseDatabase(&db);

    // A child running past its parent, and with the continue flag on the reading goes on with the
    // parent's next sibling.
    Reset();
    Ftk::SetContinueFlag(true);
    Bytes longChild = ChunkBytes(0x2222, Bytes(4, 0));
    longChild[2] = 200;  // claims 200 bytes
    file = ChunkBytes(Ftk::FILE_MAIN, {},
                      {ChunkBytes(Ftk::EDITOR_DATA, {}, {longChild}), ChunkBytes(Ftk::KEYFRAMER_DATA, {})});
    db = LoadBytes(file, "long.3ds");
    EXPECT_TRUE(Has(Ftk::ERR_INVALID_CHUNK));
    EXPECT_EQ(ChildTags(db->mTop), (std::vector<uint32_t>{Ftk::EDITOR_DATA, Ftk::KEYFRAMER_DATA}));
    EXPECT_EQ(Ftk::FindChild(db->mTop, Ftk::EDITOR_DATA)->mChildren, nullptr);
    Ftk::ReleaseDatabase(&db);

    // A root that claims more than the file holds: children are bounded by the file's end.
    Reset();
    file = ChunkBytes(Ftk::FILE_MAIN, {}, {kLeaf});
    file[2] = 0xFF;
    file[3] = 0xFF;
    file.resize(file.size() - 2);  // the leaf is cut short
    db = LoadBytes(file, "cut.3ds");
    EXPECT_TRUE(Has(Ftk::ERR_INVALID_CHUNK));
    EXPECT_EQ(db->mTop->mChildren, nullptr);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, NestingIsCappedAt64) {
    Bytes nested = kLeaf;
    for (int i = 0; i < 70; ++i)
        nested = ChunkBytes(Ftk::EDITOR_DATA, {}, {nested});
    Ftk::Database* db = LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {}, {nested}), "deep.3ds");
    EXPECT_TRUE(Has(Ftk::ERR_INVALID_CHUNK));
    int depth = 0;
    for (Ftk::Chunk* c = db->mTop; c; c = c->mChildren)
        ++depth;
    EXPECT_EQ(depth, Ftk::kMaxChunkDepth);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, CountsAreCheckedAgainstTheChunk) {
    // Vertices claiming 1000 points in 12 bytes: 4, the record is absent.
    Bytes vertices = ChunkBytes(Ftk::MESH_VERTICES, Cat({Shorts({1000}), Floats({1, 2, 3})}));
    // Faces claiming 5000 faces: the own-data skip refuses the count.
    Bytes faces = ChunkBytes(Ftk::MESH_FACES, Cat({Shorts({5000}), Shorts({0, 1, 2, 0})}));
    // A track claiming 0x7FFFFFFF keys: a chunk the file reads without, left out and noted.
    Bytes track =
        ChunkBytes(Ftk::TRACK_POSITION, Cat({Shorts({0}), Bytes(8, 0), Bytes{0xFF, 0xFF, 0xFF, 0x7F}}));
    Ftk::SetContinueFlag(true);
    Ftk::Database* db = LoadBytes(
        ChunkBytes(Ftk::FILE_MAIN, {},
                   {ChunkBytes(Ftk::EDITOR_DATA, {}, {vertices, faces}),
                    ChunkBytes(Ftk::KEYFRAMER_DATA, {}, {ChunkBytes(Ftk::OBJECT_NODE, {}, {track})})}),
        "counts.3ds");
    EXPECT_EQ(Codes(), std::vector<int>(
                           {Ftk::ERR_INVALID_CHUNK, Ftk::ERR_READING_DATABASE, Ftk::ERR_CREATING_DATABASE}));
    Ftk::ClearErrors();
    Ftk::Chunk* editor = Ftk::FindChild(db->mTop, Ftk::EDITOR_DATA);
    EXPECT_EQ(Ftk::ReadChunkData(Ftk::FindChild(editor, Ftk::MESH_VERTICES)), nullptr);
    EXPECT_EQ(Codes(), std::vector<int>{Ftk::ERR_INVALID_CHUNK});
    Ftk::ClearErrors();
    Ftk::Chunk* node = Ftk::FindChild(Ftk::FindChild(db->mTop, Ftk::KEYFRAMER_DATA), Ftk::OBJECT_NODE);
    EXPECT_EQ(Ftk::ReadChunkData(Ftk::FindChild(node, Ftk::TRACK_POSITION)), nullptr);
    EXPECT_TRUE(Codes().empty());
    size_t kept = 0;
    uint64_t total = 0;
    const Ftk::SkippedChunk* skipped = Ftk::GetSkippedChunks(&kept, &total);
    ASSERT_EQ(total, 1u);
    EXPECT_EQ(skipped[0].mTag, Ftk::TRACK_POSITION);
    EXPECT_EQ(skipped[0].mDataSize, 14u);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, StringLimits) {
    // Object names are kept whole up to 64 characters, as other readers take them.
    const std::string longest(64, 'n');
    Ftk::Database* db = LoadBytes(
        ChunkBytes(
            Ftk::FILE_MAIN, {},
            {ChunkBytes(Ftk::EDITOR_DATA, {}, {ChunkBytes(Ftk::OBJECT_BLOCK, Text(longest.c_str()))})}),
        "sixty-four.3ds");
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::ReleaseDatabase(&db);
    // Longer names are read and cut apart: two that differ only past the cut stay two, and the
    // same name cuts the same way wherever it stands.
    Ftk::TakeCutNames();
    const std::string longA = std::string(70, 'n') + "A", longB = std::string(70, 'n') + "B";
    Bytes header = Text(longA.c_str());
    header.insert(header.end(), {0, 0, 0, 0, 0xFF, 0xFF});
    db = LoadBytes(
        ChunkBytes(Ftk::FILE_MAIN, {},
                   {ChunkBytes(Ftk::EDITOR_DATA, {},
                               {ChunkBytes(Ftk::OBJECT_BLOCK, Text(longA.c_str())),
                                ChunkBytes(Ftk::OBJECT_BLOCK, Text(longB.c_str()))}),
                    ChunkBytes(Ftk::KEYFRAMER_DATA, {},
                               {ChunkBytes(Ftk::OBJECT_NODE, {}, {ChunkBytes(Ftk::NODE_HEADER, header)})})}),
        "seventy-one.3ds");
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::Chunk* editor = Ftk::FindChild(db->mTop, Ftk::EDITOR_DATA);
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(editor->mChildren, nullptr);
    ASSERT_NE(editor->mChildren->mNext, nullptr);
    const std::string keptA = Ftk::GetData<Ftk::StringData>(editor->mChildren)->mText;
    const std::string keptB = Ftk::GetData<Ftk::StringData>(editor->mChildren->mNext)->mText;
    EXPECT_EQ(keptA.size(), Ftk::kNameCapacity);
    EXPECT_EQ(keptB.size(), Ftk::kNameCapacity);
    EXPECT_EQ(keptA.substr(0, 55), longA.substr(0, 55));
    EXPECT_NE(keptA, keptB);
    Ftk::Chunk* node = Ftk::FindChild(db->mTop, Ftk::KEYFRAMER_DATA)->mChildren;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(Ftk::GetData<Ftk::NodeHeaderData>(Ftk::FindChild(node, Ftk::NODE_HEADER))->mName, keptA);
    const auto cut = Ftk::TakeCutNames();
    ASSERT_EQ(cut.size(), 2u);  // the object and its node name one object: noted once
    EXPECT_EQ(cut[0], std::make_pair(longA, keptA));
    EXPECT_EQ(cut[1], std::make_pair(longB, keptB));
    EXPECT_TRUE(Ftk::TakeCutNames().empty());
    Ftk::ReleaseDatabase(&db);

    // A string without its NUL leaves its chunk out; an extended-data string is bounded by its
    // chunk.
    Reset();
    Bytes exclude = ChunkBytes(Ftk::LIGHT_EXCLUDE, Bytes(66, 'x'));
    Bytes name = ChunkBytes(Ftk::EXTENDED_DATA_NAME, Bytes{'a', 'b'});
    db = LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {}, {exclude, name}), "strings.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    EXPECT_EQ(Ftk::GetData<Ftk::StringData>(Ftk::FindChild(db->mTop, Ftk::LIGHT_EXCLUDE)), nullptr);
    EXPECT_TRUE(Codes().empty());
    uint64_t skipped = 0;
    EXPECT_EQ(Ftk::GetSkippedChunks(nullptr, &skipped)->mTag, Ftk::LIGHT_EXCLUDE);
    EXPECT_EQ(skipped, 1u);
    EXPECT_EQ(Ftk::GetData<Ftk::StringData>(Ftk::FindChild(db->mTop, Ftk::EXTENDED_DATA_NAME)), nullptr);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, EmptyRecordsReadSafely) {
    // A cut header whose tag names a string chunk: the bare root is saved with the continue flag
    // on, reading its empty string from no bytes at all (a fuzzer find).
    Ftk::SetContinueFlag(true);
    Ftk::Database* db = LoadBytes(Bytes{0x53, 0x46, 0xD6}, "cut_header.3ds");
    EXPECT_EQ(db->mTop->mTag, Ftk::SPOT_PROJECTOR);
    SaveTo(db, TempPath("cut_header_out.3ds"));
    EXPECT_TRUE(Has(Ftk::ERR_READING_FILE));
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, RankInsertion) {
    Ftk::Chunk* parent = nullptr;
    Ftk::NewChunkWithTag(&parent, Ftk::OBJECT_BLOCK);
    Ftk::Chunk* first = Ftk::AddChild(Ftk::TRIANGLE_MESH, parent);  // rank 2
    Ftk::AddChild(Ftk::OBJECT_BLOCK, parent);                       // rank 7
    Ftk::Chunk* second = Ftk::AddChild(Ftk::CAMERA, parent);        // rank 2
    Ftk::AddChild(0x1234, parent);                                  // rank 0: last
    Ftk::AddChild(Ftk::OBJECT_HIDDEN, parent);                      // rank 1: before the rank-0 one
    EXPECT_EQ(ChildTags(parent), (std::vector<uint32_t>{Ftk::OBJECT_BLOCK, Ftk::TRIANGLE_MESH, Ftk::CAMERA,
                                                        Ftk::OBJECT_HIDDEN, 0x1234}));
    EXPECT_EQ(first->mNext, second);
    // Appending after an insertion in the middle still lands at the end.
    Ftk::AddChild(0x5678, parent);
    EXPECT_EQ(ChildTags(parent).back(), 0x5678u);
    Ftk::Chunk* found = nullptr;
    Ftk::FindChunk(parent, Ftk::OBJECT_BLOCK, &found);
    EXPECT_EQ(found, parent);  // the start chunk itself first
    Ftk::ReleaseChunk(&parent);
    EXPECT_EQ(parent, nullptr);
}

TEST_F(ftk_chunk, WritingFixesLengthsAndSkipsInMemoryChunks) {
    Ftk::Database* db = nullptr;
    Ftk::NewDatabase(&db);
    Ftk::CreateDatabase(db, Ftk::kSceneFile);
    Ftk::Chunk* editor = Ftk::GetEditorChunk(db, true);
    Ftk::Chunk* object = Ftk::AddChild(Ftk::OBJECT_BLOCK, editor);
    Ftk::MakeData<Ftk::StringData>(object)->mText = "Thing";
    Ftk::Chunk* hidden = Ftk::AddChild(Ftk::OBJECT_HIDDEN, object);
    Ftk::AddParentName(object, "never written");
    Ftk::Chunk* dropped = Ftk::AddChild(Ftk::OBJECT_BLOCK, editor);
    Ftk::ResetChunk(dropped);
    EXPECT_EQ(object->mLength, 0u);
    std::string path = TempPath("lengths.3ds");
    ASSERT_TRUE(SaveTo(db, path));
    EXPECT_EQ(hidden->mLength, 6u);
    EXPECT_EQ(object->mLength, 6u + 6u + 6u);

    // Every length in the file is the bytes written for the chunk.
    Bytes bytes = ReadFile(path);
    EXPECT_EQ(bytes[2] | bytes[3] << 8 | bytes[4] << 16 | bytes[5] << 24, (int)bytes.size());
    Ftk::Database* again = LoadBytes(bytes, "lengths2.3ds");
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::Chunk* reread = Ftk::FindChild(Ftk::GetEditorChunk(again, false), Ftk::OBJECT_BLOCK);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(ChildTags(reread), std::vector<uint32_t>{Ftk::OBJECT_HIDDEN});
    EXPECT_EQ(ChildTags(Ftk::GetEditorChunk(again, false)),
              (std::vector<uint32_t>{Ftk::EDITOR_VERSION, Ftk::OBJECT_BLOCK}));
    Ftk::ReleaseDatabase(&again);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, UnknownChunksSurviveByteForByte) {
    Bytes unknown = ChunkBytes(0x5A5A, Bytes{0, 1, 2, 0xFF, 0x4D, 0x4D, 9});
    Bytes flag = ChunkBytes(Ftk::OBJECT_HIDDEN, {});
    Bytes file = ChunkBytes(
        Ftk::FILE_MAIN, {},
        {ChunkBytes(Ftk::EDITOR_DATA, {}, {ChunkBytes(Ftk::OBJECT_BLOCK, Text("Obj"), {unknown, flag})})});
    Ftk::Database* db = LoadBytes(file, "unknown.3ds");
    std::string path = TempPath("unknown_out.3ds");
    ASSERT_TRUE(SaveTo(db, path));
    Bytes saved = ReadFile(path);
    Bytes object = ChunkBytes(Ftk::OBJECT_BLOCK, Text("Obj"), {unknown, flag});
    EXPECT_NE(std::search(saved.begin(), saved.end(), object.begin(), object.end()), saved.end());
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, ExtendedDataEntries) {
    Bytes good = ChunkBytes(Ftk::EXTENDED_DATA_NAME, Text("app"));
    Bytes foreign = ChunkBytes(0x7000, Bytes{1, 2});
    Bytes after = ChunkBytes(Ftk::EXTENDED_DATA_STRING, Text("lost"));
    Bytes entryA = ChunkBytes(Ftk::EXTENDED_DATA_ENTRY, {}, {good, foreign, after});
    // A sub-chunk running past the entry's end: dropped, reading goes on behind its header.
    Bytes inner = ChunkBytes(Ftk::EXTENDED_DATA_STRING, Text("in"));
    Bytes runaway = Cat({Shorts({Ftk::EXTENDED_DATA_STRING}), Bytes{60, 0, 0, 0}, inner});
    Bytes entryB = ChunkBytes(Ftk::EXTENDED_DATA_ENTRY, {}, {runaway});
    Ftk::Database* db = LoadBytes(
        ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(Ftk::EXTENDED_DATA, {}, {entryA, entryB})}), "xdata.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());
    Ftk::Chunk* extended = Ftk::FindChild(db->mTop, Ftk::EXTENDED_DATA);
    Ftk::Chunk* a = extended->mChildren;
    Ftk::Chunk* b = a->mNext;
    EXPECT_EQ(ChildTags(a), std::vector<uint32_t>{Ftk::EXTENDED_DATA_NAME});
    EXPECT_EQ(ChildTags(b), std::vector<uint32_t>{Ftk::EXTENDED_DATA_STRING});
    EXPECT_EQ(Ftk::GetData<Ftk::StringData>(b->mChildren)->mText, "in");
    // The entry's own data is empty: its sub-chunks are not written twice.
    EXPECT_EQ(Ftk::ReadChunkData(a), nullptr);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, LazyLoadAndUnload) {
    Ftk::File* file = nullptr;
    Ftk::Database* db = LoadBytes(
        ChunkBytes(
            Ftk::FILE_MAIN, {},
            {ChunkBytes(Ftk::EDITOR_DATA, {}, {ChunkBytes(Ftk::MASTER_SCALE, Floats({7.0f})), kLeaf})}),
        "lazy.3ds", &file);
    Ftk::Chunk* scale = nullptr;
    Ftk::FindChunk(db->mTop, Ftk::MASTER_SCALE, &scale);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->mData, nullptr);  // only the skeleton was read
    EXPECT_EQ(scale->mSourceFile, file->mSlot);
    EXPECT_EQ(Ftk::GetData<Ftk::FloatsData>(scale)->mValues[0], 7.0f);
    Ftk::UnloadChunkData(scale);
    EXPECT_EQ(scale->mData, nullptr);
    EXPECT_EQ(Ftk::GetData<Ftk::FloatsData>(scale)->mValues[0], 7.0f);
    EXPECT_NE(Ftk::ChunkChecksum(scale), 0u);

    // With the source closed the data cannot be reloaded, so it is kept.
    Ftk::CloseFile(file);
    Ftk::UnloadChunkData(scale);
    EXPECT_NE(scale->mData, nullptr);
    Ftk::LoadChunkTree(db->mTop);
    EXPECT_TRUE(Has(Ftk::ERR_READING_FILE));  // the leaf's data was never read
    EXPECT_EQ(scale->mSourceFile, Ftk::kNoFile);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, ChecksumReadsOnlyWhatTheFileHolds) {
    Bytes bytes = ChunkBytes(Ftk::FILE_MAIN, {}, {ChunkBytes(0x0101, Bytes{1, 0, 2})});
    bytes[2] = 0xF0;  // the root claims 240 bytes
    Ftk::Database* db = LoadBytes(bytes, "sum.3ds");
    Ftk::ClearErrors();
    uint32_t expected = 0;
    Bytes padded = bytes;
    padded.push_back(0);
    for (size_t i = 0; i + 1 < padded.size(); i += 2)
        expected += padded[i] | padded[i + 1] << 8;
    EXPECT_EQ(Ftk::ChunkChecksum(db->mTop), expected);
    Ftk::ReleaseDatabase(&db);
}

TEST_F(ftk_chunk, ReadWriteFileBecomesTheSource) {
    Ftk::Chunk* root = nullptr;
    Ftk::NewChunkWithTag(&root, Ftk::FILE_MAIN);
    Ftk::AddChild(0x0101, root);
    Ftk::Chunk* scale = Ftk::AddChild(Ftk::MASTER_SCALE, root);
    Ftk::MakeData<Ftk::FloatsData>(scale)->mValues[0] = 3.5f;
    std::string path = TempPath("rw.3ds");
    Ftk::File* file = new Ftk::File;
    file->mStream = std::fopen(path.c_str(), "w+b");
    file->mMode = Ftk::kFileReadWrite;
    file->mName = path;
    Ftk::RegisterFile(file);
    Ftk::WriteChunkTree(root, file->mSlot);
    std::fflush(file->mStream);
    file->mSize = 6 + 10 + 6;
    EXPECT_EQ(scale->mSourceFile, file->mSlot);
    EXPECT_EQ(scale->mPosition, 6u);  // where it was written (first, by rank)
    Ftk::FreeChunkData(scale);
    EXPECT_EQ(Ftk::GetData<Ftk::FloatsData>(scale)->mValues[0], 3.5f);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::ReleaseChunk(&root);
    Ftk::CloseFile(file);
}

TEST_F(ftk_chunk, KeyHeaderWidths) {
    Ftk::Chunk* node = nullptr;
    Ftk::NewChunkWithTag(&node, Ftk::OBJECT_NODE);
    Ftk::KeyHeader key;
    key.mFrame = 7;
    key.mSplineFlags = 0x05;
    key.mTension = 0.5f;
    key.mBias = 0.25f;
    const float value[1] = {2.0f};
    Ftk::AddRollTrack(1, 0, &key, value, node);
    std::vector<uint8_t> bytes;
    Ftk::SerializeRecord(Ftk::TRACK_ROLL, node->mChildren->mData, bytes);
    // Track header (14), then frame, flags, tension, bias: 14 bytes before the value.
    ASSERT_EQ(bytes.size(), 14u + 14u + 4u);
    float tension, bias, roll;
    std::memcpy(&tension, &bytes[20], 4);
    std::memcpy(&bias, &bytes[24], 4);
    std::memcpy(&roll, &bytes[28], 4);
    EXPECT_EQ(tension, 0.5f);
    EXPECT_EQ(bias, 0.25f);
    EXPECT_EQ(roll, 2.0f);
    EXPECT_EQ(Ftk::KeyHeaderSize(0x1F), 26u);
    Ftk::ReleaseChunk(&node);
}

// A track's own data: flags, two reserved words, the key count, then per key its frame and spline
// flags, one float per known spline bit, the values or a morph name.
Bytes TrackHeader(uint32_t keys) {
    Bytes out;
    Put16(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, keys);
    return out;
}

// Spline flag bits past the five known ones carry no float, in and out; morph names of the full
// twelve characters survive, and longer ones are cut to twelve.
TEST_F(ftk_chunk, TrackKeysRoundTripByteForByte) {
    Bytes roll = TrackHeader(1);
    Put32(roll, 3);
    Put16(roll, 0x21);  // tension and an unknown bit
    PutFloat(roll, 0.5f);
    PutFloat(roll, 2.0f);
    Bytes morph = TrackHeader(2);
    Put32(morph, 0);
    Put16(morph, 0);
    PutString(morph, "twelve_chars");
    Put32(morph, 5);
    Put16(morph, 0);
    PutString(morph, "thirteen_char");
    Ftk::Database* db =
        LoadBytes(ChunkBytes(Ftk::FILE_MAIN, {},
                             {ChunkBytes(Ftk::TRACK_ROLL, roll), ChunkBytes(Ftk::TRACK_MORPH, morph)}),
                  "tracks.3ds");
    ASSERT_FALSE(Ftk::IsErrorPending());

    const Ftk::TrackData* rollData = Ftk::GetData<Ftk::TrackData>(Ftk::FindChild(db->mTop, Ftk::TRACK_ROLL));
    ASSERT_NE(rollData, nullptr);
    ASSERT_EQ(rollData->mTrack.mKeys.size(), 1u);
    EXPECT_EQ(rollData->mTrack.mKeys[0].mFrame, 3);
    EXPECT_EQ(rollData->mTrack.mKeys[0].mSplineFlags, 0x21);
    EXPECT_EQ(rollData->mTrack.mKeys[0].mTension, 0.5f);
    ASSERT_EQ(rollData->mTrack.mValues.size(), 1u);
    EXPECT_EQ(rollData->mTrack.mValues[0], 2.0f);
    std::vector<uint8_t> out;
    Ftk::SerializeRecord(Ftk::TRACK_ROLL, rollData, out);
    EXPECT_EQ(out, roll);

    const Ftk::TrackData* morphData =
        Ftk::GetData<Ftk::TrackData>(Ftk::FindChild(db->mTop, Ftk::TRACK_MORPH));
    ASSERT_NE(morphData, nullptr);
    ASSERT_EQ(morphData->mTrack.mMorphNames.size(), 2u);
    EXPECT_STREQ(morphData->mTrack.mMorphNames[0].mName, "twelve_chars");
    EXPECT_STREQ(morphData->mTrack.mMorphNames[1].mName, "thirteen_cha");
    out.clear();
    Ftk::SerializeRecord(Ftk::TRACK_MORPH, morphData, out);
    Bytes cut = TrackHeader(2);
    Put32(cut, 0);
    Put16(cut, 0);
    PutString(cut, "twelve_chars");
    Put32(cut, 5);
    Put16(cut, 0);
    PutString(cut, "thirteen_cha");
    EXPECT_EQ(out, cut);
    EXPECT_FALSE(Ftk::IsErrorPending());
    Ftk::ReleaseDatabase(&db);
}

}  // namespace

// Background and fog colours given as 24-bit colours (other programs write them so) are read as
// such; they were read as black when no float colour stood beside them.
TEST_F(ftk_chunk, BackgroundAndFogTakeByteColours) {
    const Bytes file = ChunkBytes(
        Ftk::FILE_MAIN, {},
        {ChunkBytes(
            Ftk::EDITOR_DATA, {},
            {ChunkBytes(Ftk::BACKGROUND_SOLID, {}, {ChunkBytes(Ftk::COLOR_BYTE, Bytes{255, 51, 0})}),
             ChunkBytes(Ftk::USE_BACKGROUND_SOLID, {}),
             ChunkBytes(Ftk::FOG, Floats({1, 2, 300, 40}), {ChunkBytes(Ftk::COLOR_BYTE, Bytes{0, 102, 255})}),
             ChunkBytes(Ftk::USE_FOG, {})})});
    Ftk::Database* db = LoadBytes(file, "byte_colours.3ds");
    ASSERT_NE(db, nullptr);
    Ftk::Background* background = nullptr;
    Ftk::GetBackground(db, &background);
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->mActive, Ftk::kSolidBackground);
    EXPECT_FLOAT_EQ(background->mSolid[0], 1.0f);
    EXPECT_FLOAT_EQ(background->mSolid[1], 0.2f);
    EXPECT_FLOAT_EQ(background->mSolid[2], 0.0f);
    Ftk::Fog fog;
    ASSERT_TRUE(Ftk::GetFog(db, &fog));
    EXPECT_TRUE(fog.mInUse);
    EXPECT_FLOAT_EQ(fog.mFarPlane, 300.0f);
    EXPECT_FLOAT_EQ(fog.mColor[0], 0.0f);
    EXPECT_FLOAT_EQ(fog.mColor[1], 0.4f);
    EXPECT_FLOAT_EQ(fog.mColor[2], 1.0f);
    Ftk::ReleaseBackground(&background);
    Ftk::ReleaseDatabase(&db);
}
