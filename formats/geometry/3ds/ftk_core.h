// The 3DS chunk toolkit, core layer: the error stack, the table of open files, the in-memory chunk
// tree with its data records, the typed value reads and writes, and the release stamps.
//
// The toolkit is procedural and its state is process-wide: one file table with a current file,
// one error stack with its error-pending flag, one continue flag. It is not re-entrant; one
// database conversion runs at a time, but a conversion started while another waits (from a
// program's callback) runs in a Session of its own, on files of its own.
//
// Reporting: nothing is thrown and nothing is returned as an error code. A fault pushes a numbered
// error (ErrorText gives its message) and sets the error-pending flag. Right after a push a call
// reads the continue flag: off (the default) it returns at once with 0, null or nothing; on it goes
// on with what it has. After calling another toolkit function a call checks the error-pending flag
// and stops the same way. The pending flag is cleared only by ClearErrors, so once anything was
// pushed every later call stops at its first check until the stack is cleared.
//
// Untrusted files: every count, length and string read from a file is checked against the bytes
// its chunk holds before anything is allocated or read; a chunk tree read from a file stops a
// parent's children at the first child that does not fit (error 4) and nests at most 64 levels.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_CORE_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_CORE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_tags.h>

class VSafeOutputFile;

namespace Ftk {

// ---- Errors -------------------------------------------------------------------------------------

// Error codes; the messages are those of ErrorText.
enum ErrorCode : int32_t {
    NO_FTK_ERRORS = 0,
    ERR_NO_MEM = 1,
    ERR_INVALID_ARG = 2,
    ERR_INVALID_DATA = 3,
    ERR_INVALID_CHUNK = 4,
    ERR_INVALID_DATABASE = 5,
    ERR_WRONG_DATABASE = 6,
    ERR_UNFOUND_CHUNK = 7,
    ERR_WRONG_OBJECT = 8,
    ERR_NO_SUCH_FILE = 9,
    ERR_INIT_FAILED = 10,
    ERR_OPENING_FILE = 11,
    ERR_CLOSING_FILE = 12,
    ERR_READING_FILE = 13,
    ERR_CREATING_DATABASE = 14,
    ERR_READING_DATABASE = 15,
    ERR_WRITING_DATABASE = 16,
    ERR_WRITING_FILE = 17,
    ERR_STRING_TOO_LONG = 18,
    ERR_TOO_MANY_FILES = 19,
    // A chunk or its data could not be made while a structure was put (no message of its own).
    ERR_PUT_FAILED = 21,
    N_ERRORS = 22,
};

// One entry of the error stack; code 0 marks a free entry.
struct ErrorEntry {
    int32_t mCode;
    const char* mText;
};

// 19 entries, the terminator, then the overflow entry.
constexpr int kErrorStackSize = 19;
constexpr int kErrorOverflowEntry = kErrorStackSize + 1;
constexpr int kErrorListSize = kErrorStackSize + 2;

// Code 0 does nothing. Sets the error-pending flag and records the code with its text in the first
// free of the 19 entries (clearing the code of the entry behind it). When all 19 are used the
// overflow entry takes the code when free; when it is used already it becomes code 22.
void PushError(int32_t code);
// Clears the error-pending flag and every entry, the overflow entry included.
void ClearErrors();
// Writes every recorded message, "%s\n", from the last entry (the overflow entry) to the first.
void DumpErrors(std::FILE* stream);
// The kErrorListSize entries, for callers that walk them.
const ErrorEntry* GetErrorList();
// The message of a code; "Unknown error code was encountered" for codes without one.
const char* ErrorText(int32_t code);
// True when anything was pushed since the last ClearErrors.
bool IsErrorPending();
// The caller's choice between stopping at the first fault (false, the default) and collecting
// them all (true).
void SetContinueFlag(bool on);
bool GetContinueFlag();
// The number of entries in use (the overflow entry counts as one).
int GetErrorCount();

// A chunk left out of a tree read from a file because its own data had a length its tag does
// not hold: its tag, its place in the file and the bytes of data it had and needed.
struct SkippedChunk {
    uint32_t mTag;
    uint32_t mPosition;
    uint32_t mDataSize;
    uint32_t mExpected;
};
// The first kSkippedChunkNotes chunks skipped since the last ClearErrors, and how many in all.
constexpr size_t kSkippedChunkNotes = 16;
void NoteSkippedChunk(const SkippedChunk& chunk);
const SkippedChunk* GetSkippedChunks(size_t* kept, uint64_t* total);

// ---- Files --------------------------------------------------------------------------------------

constexpr int kMaxFiles = 252;
// The longest object or node name kept whole (other readers take up to 64 characters); a file's
// longer names are cut (FitName). The writer keeps to the format's 10.
constexpr size_t kNameCapacity = 64;
// The longest material name read whole from a file (other programs write names as long as the
// strings of their own scenes hold, 1023 bytes); face groups name their material the same way.
// A longer name is cut by FitName. The writer keeps to the format's 15.
constexpr size_t kMaterialNameCapacity = 1023;
// A parent or target field: a name, a point and an instance name ("$$$DUMMY." and an instance
// name among them).
constexpr size_t kParentNameCapacity = 2 * kNameCapacity + 1;
constexpr uint8_t kNoFile = 255;
constexpr int32_t kFileBufferSize = 8192;

enum FileMode : uint8_t { kFileRead = 1, kFileWrite = 2, kFileReadWrite = 3 };

// One open file, owned by the file table. Files opened for writing go to a temporary file beside
// the target that only CloseFile moves into place, and only when every write succeeded.
struct File {
    std::FILE* mStream = nullptr;
    std::string mName;
    uint8_t mMode = 0;
    uint8_t mSlot = kNoFile;
    std::vector<char> mBuffer;
    int32_t mBufferSize = kFileBufferSize;
    // Set when the file was moved aside: it is deleted when closed.
    uint8_t mRemoveOnClose = 0;
    // The name the file had before it was moved aside.
    std::string mOriginalName;
    // The safe output of a file open for writing; null otherwise.
    VSafeOutputFile* mOutput = nullptr;
    // Set when a write to this file failed: closing it keeps the old target.
    bool mWriteFailed = false;
    // The file's size when opened for reading (the limit of every chunk read from it).
    uint64_t mSize = 0;
};

void InitFileTable();
// Frees the table; open files are not closed.
void ReleaseFileTable();
// Opens `name`; the first 'r' or 'w' of `mode` decides (read or write). Opening a name that is
// open already: with the same mode the open record is returned; a reader is moved aside when the
// name is opened for writing; a writer is closed when the name is opened for reading.
File* OpenFile(const char* name, const char* mode);
// Opens `name` as OpenFile does, but always as a record of its own: a name open already (by
// another read or write) is neither shared, moved aside nor closed. A file written goes to a
// temporary beside its target until closed, so a reader of the target reads it as it was.
File* OpenOwnFile(const char* name, const char* mode);
// Closes and frees the record (null does nothing). A file open for writing is put in place of its
// target only when every write to it succeeded. A failing close pushes 12.
void CloseFile(File* file);
void CloseAllFiles();
void RegisterFile(File* file);
void UnregisterFile(File* file);
File* FindFileByName(const char* name);
File* GetFileByIndex(uint32_t index);
bool IsValidFileIndex(uint32_t index);
// Makes the record current; returns its slot.
uint8_t SelectFile(File* file);
void SelectFileByIndex(uint32_t index);
File* GetCurrentFile();
uint8_t GetCurrentFileIndex();
std::FILE* GetCurrentStream();
const char* GetCurrentFileName();
void SetCurrentFileName(const char* name);
void SetCurrentFileStream(std::FILE* stream);
int32_t Tell();
void Seek(int32_t offset);

// ---- Sessions -----------------------------------------------------------------------------------

// One 3DS read or write step (opening, reading or writing, closing). The toolkit's error stack
// and flags, its skipped-chunk notes and its current file are process-wide: a session that starts
// while another runs (a read that a program's callback starts during a read) puts that state
// aside, starts clean and gives it back when it ends, so neither sees the other's errors. Each
// session opens its files with OpenOwnFile, so that no other session closes them.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    bool mNested;
    ErrorEntry mErrors[kErrorListSize];
    bool mPending;
    bool mContinue;
    SkippedChunk mSkipped[kSkippedChunkNotes];
    uint64_t mSkippedTotal;
    File* mCurrent;
    uint8_t mCurrentSlot;
};

// ---- Values -------------------------------------------------------------------------------------

struct Point3 {
    float x, y, z;
};
struct TexVert {
    float u, v;
};
struct Face {
    uint16_t a, b, c, flags;
};

// A key's header: frame, spline flags and the five spline floats (0 where the flag bit is clear).
struct KeyHeader {
    int32_t mFrame = 0;
    uint16_t mSplineFlags = 0;
    float mTension = 0.0f;
    float mContinuity = 0.0f;
    float mBias = 0.0f;
    float mEaseTo = 0.0f;
    float mEaseFrom = 0.0f;
};

// The 13-byte slot of a morph key: the morph target's name.
struct MorphName {
    char mName[13] = {};
};

// An animated channel: keys and their values. The values are `ValueWidth` floats per key (three
// for a position, four for a rotation: angle then axis); a morph track keeps names instead and a
// hide track keeps keys only.
struct Track {
    uint32_t mKeyCount = 0;
    uint16_t mFlags = 0;
    // The header's two words after the flags, which no reader is known to use: kept as read.
    uint32_t mReserved[2] = {0, 0};
    std::vector<KeyHeader> mKeys;
    std::vector<float> mValues;
    std::vector<MorphName> mMorphNames;
};

// Floats per key of a track tag (0 for morph and hide tracks and for other tags).
int TrackValueWidth(uint32_t tag);

// Byte order between the file (little-endian) and the host.
uint16_t OrderShortIn(uint16_t value);
uint16_t OrderShortOut(uint16_t value);
uint32_t OrderLongIn(uint32_t value);
uint32_t OrderLongOut(uint32_t value);
float OrderFloatIn(float value);
float OrderFloatOut(float value);
double OrderDoubleIn(double value);
double OrderDoubleOut(double value);

// Typed reads and writes at the current position of the current file. A failed read pushes 13 and
// yields the starting value (0; a point 0, 0, 0; a face 0, 1, 2, 0); a failed write pushes 17.
uint8_t ReadByte();
void WriteByte(uint8_t value);
uint16_t ReadShort();
void WriteShort(uint16_t value);
uint32_t ReadLong();
void WriteLong(uint32_t value);
float ReadFloat();
void WriteFloat(float value);
double ReadDouble();
void WriteDouble(double value);
void ReadBytes(void* out, uint32_t count);
void WriteBytes(const void* data, uint32_t count);
void SkipBytes(uint32_t count);
Point3 ReadPoint();
void WritePoint(const Point3& point);
TexVert ReadTexVert();
void WriteTexVert(const TexVert& vert);
Face ReadFace();
void WriteFace(const Face& face);
// A NUL-terminated string of at most `limit` characters; one without its NUL within limit + 1
// bytes pushes 13 and yields "" (`ok` false).
std::string ReadString(uint32_t limit, bool* ok = nullptr);
// The characters and one NUL.
void WriteString(const char* text);
// A string of at most `limit` characters in a field of limit + 1 bytes; the rest is skipped.
std::string ReadFixedString(uint32_t limit, bool* ok = nullptr);
// The characters, then NUL bytes up to `width` bytes in all (the text is cut to width - 1).
void WriteFixedString(const char* text, uint32_t width);
void ReadHeader(uint32_t* tag, uint32_t* length);
void WriteHeader(uint32_t tag, uint32_t length);
// The string's length when a NUL occurs within its first limit + 1 bytes; otherwise pushes 18 and
// returns 0 (with the continue flag on, the count reached). Null pushes 2.
uint32_t BoundedLength(const char* text, uint32_t limit);
// A heap copy (new[]) of the text; null for null.
char* DuplicateString(const char* text);
// Copies `text` into a field of `size` bytes, cut to size - 1 characters, NUL-terminated.
void CopyName(char* field, size_t size, const char* text);
// An object or node name of a file as the toolkit keeps it: whole up to kNameCapacity bytes;
// a longer one cut to that length, ending in "~" and eight hex digits made from the whole name,
// so that names that differ only past the cut stay apart and every chunk naming the same object
// cuts it the same way. Each cut name is noted for TakeCutNames.
std::string FitName(const std::string& name);
// The names cut since the last call (whole name, kept name), each once, in the order first cut
// (the first 1024 of them); empties the list.
std::vector<std::pair<std::string, std::string>> TakeCutNames();
// A name that other records refer to (a material's, named by face groups) in at most `capacity`
// bytes (at least 32). A longer name is cut before a whole UTF-8 character and ends in "~" and 16
// hexadecimal digits of a hash of the whole name, so that two names that differ only past the cut
// stay apart and every reference cut the same way still finds its name. True when cut.
bool FitName(std::string& out, const std::string& text, size_t capacity);
// The same into a field of `size` bytes (capacity size - 1), NUL-terminated.
bool FitName(char* field, size_t size, const std::string& text);

// ---- Chunk data records -------------------------------------------------------------------------

enum DataKind : int {
    kDataNone = 0,         // containers: the data is only sub-chunks
    kDataRaw,              // bytes carried through unchanged
    kDataFloats,           // a fixed number of floats (colours, points, single values, camera ...)
    kDataBytes,            // a fixed number of bytes (byte colours, tints, mesh colour)
    kDataShort,            // one 16-bit value
    kDataLong,             // one 32-bit value
    kDataString,           // one NUL-terminated string
    kDataShadowParams,     // 0x4641
    kDataMappingInfo,      // 0x4170
    kDataAutoReflection,   // 0xA310
    kDataPoints,           // 0x4110
    kDataVertexFlags,      // 0x4111
    kDataFaces,            // 0x4120
    kDataFaceMaterial,     // 0x4130
    kDataTexVerts,         // 0x4140
    kDataSmoothing,        // 0x4150
    kDataBoxMap,           // 0x4190
    kDataKeyframerHeader,  // 0xB00A
    kDataSegment,          // 0xB008
    kDataNodeHeader,       // 0xB010
    kDataTrack,            // 0xB020 to 0xB029
};

// The record kind of a tag (kDataRaw for every tag the toolkit does not know).
DataKind DataKindOfTag(uint32_t tag);

struct ChunkData {
    explicit ChunkData(DataKind kind) : mKind(kind) {}
    virtual ~ChunkData() = default;
    const DataKind mKind;
};

struct RawData : ChunkData {
    static constexpr DataKind kKind = kDataRaw;
    RawData() : ChunkData(kKind) {}
    std::vector<uint8_t> mBytes;
};
// Up to 12 floats; the count is fixed by the tag (FloatCountOfTag).
struct FloatsData : ChunkData {
    static constexpr DataKind kKind = kDataFloats;
    FloatsData() : ChunkData(kKind) {}
    float mValues[12] = {};
    uint32_t mCount = 0;
};
struct BytesData : ChunkData {
    static constexpr DataKind kKind = kDataBytes;
    BytesData() : ChunkData(kKind) {}
    uint8_t mValues[3] = {};
    uint32_t mCount = 0;
};
struct ShortData : ChunkData {
    static constexpr DataKind kKind = kDataShort;
    ShortData() : ChunkData(kKind) {}
    int16_t mValue = 0;
};
struct LongData : ChunkData {
    static constexpr DataKind kKind = kDataLong;
    LongData() : ChunkData(kKind) {}
    int32_t mValue = 0;
};
struct StringData : ChunkData {
    static constexpr DataKind kKind = kDataString;
    StringData() : ChunkData(kKind) {}
    std::string mText;
};
struct ShadowParamsData : ChunkData {
    static constexpr DataKind kKind = kDataShadowParams;
    ShadowParamsData() : ChunkData(kKind) {}
    float mBias = 0.0f;
    float mFilter = 0.0f;
    int16_t mMapSize = 0;
};
struct MappingInfoData : ChunkData {
    static constexpr DataKind kKind = kDataMappingInfo;
    MappingInfoData() : ChunkData(kKind) {}
    uint16_t mMapType = 0;
    float mTileU = 0.0f, mTileV = 0.0f;
    Point3 mIconPosition{0.0f, 0.0f, 0.0f};
    float mIconScale = 0.0f;
    float mMatrix[12] = {};
    float mPlanarWidth = 0.0f, mPlanarHeight = 0.0f, mCylinderHeight = 0.0f;
};
struct AutoReflectionData : ChunkData {
    static constexpr DataKind kKind = kDataAutoReflection;
    AutoReflectionData() : ChunkData(kKind) {}
    uint8_t mValue1 = 0, mValue2 = 0;
    int16_t mFlags = 0;
    uint32_t mMapSize = 0;
    uint32_t mFrameStep = 0;
};
struct PointArrayData : ChunkData {
    static constexpr DataKind kKind = kDataPoints;
    PointArrayData() : ChunkData(kKind) {}
    std::vector<Point3> mPoints;
};
struct VertexFlagsData : ChunkData {
    static constexpr DataKind kKind = kDataVertexFlags;
    VertexFlagsData() : ChunkData(kKind) {}
    std::vector<uint16_t> mFlags;
};
struct FaceArrayData : ChunkData {
    static constexpr DataKind kKind = kDataFaces;
    FaceArrayData() : ChunkData(kKind) {}
    std::vector<Face> mFaces;
};
struct FaceMaterialData : ChunkData {
    static constexpr DataKind kKind = kDataFaceMaterial;
    FaceMaterialData() : ChunkData(kKind) {}
    std::string mName;
    std::vector<uint16_t> mFaces;
};
struct TexVertArrayData : ChunkData {
    static constexpr DataKind kKind = kDataTexVerts;
    TexVertArrayData() : ChunkData(kKind) {}
    std::vector<TexVert> mTexVerts;
};
struct SmoothingData : ChunkData {
    static constexpr DataKind kKind = kDataSmoothing;
    SmoothingData() : ChunkData(kKind) {}
    std::vector<uint32_t> mGroups;
};
struct BoxMapData : ChunkData {
    static constexpr DataKind kKind = kDataBoxMap;
    BoxMapData() : ChunkData(kKind) {}
    std::string mNames[6];
};
struct KeyframerHeaderData : ChunkData {
    static constexpr DataKind kKind = kDataKeyframerHeader;
    KeyframerHeaderData() : ChunkData(kKind) {}
    int16_t mRevision = 0;
    std::string mSceneName;
    int32_t mAnimationLength = 0;
};
struct SegmentData : ChunkData {
    static constexpr DataKind kKind = kDataSegment;
    SegmentData() : ChunkData(kKind) {}
    int32_t mFirst = 0;
    int32_t mLast = 0;
};
struct NodeHeaderData : ChunkData {
    static constexpr DataKind kKind = kDataNodeHeader;
    NodeHeaderData() : ChunkData(kKind) {}
    std::string mName;
    uint16_t mFlags1 = 0;
    uint16_t mFlags2 = 0;
    int16_t mParent = -1;
};
struct TrackData : ChunkData {
    static constexpr DataKind kKind = kDataTrack;
    TrackData() : ChunkData(kKind) {}
    Track mTrack;
};

// The number of floats of a kDataFloats tag, of bytes of a kDataBytes tag (0 for other tags).
uint32_t FloatCountOfTag(uint32_t tag);
uint32_t ByteCountOfTag(uint32_t tag);
// The longest string a kDataString tag takes from a file (0: as long as the chunk's data).
uint32_t StringLimitOfTag(uint32_t tag);
// Tags a file cannot be read without: an object's or material's name, a mesh's points and faces,
// a node's header. Any other chunk whose data is shorter than its layout is left out and noted
// (NoteSkippedChunk), and the rest of the file is read.
bool IsRequiredTag(uint32_t tag);

// ---- Chunks -------------------------------------------------------------------------------------

// One node of the chunk tree. Sub-chunks form a singly linked list in file order (when read) or
// in rank order (when inserted). The tree owns every node and record below its root. Change the
// lists through the operations below only: they keep each parent's last-child link.
struct Chunk {
    uint32_t mTag = 0;
    uint32_t mLength = 0;
    uint32_t mPosition = 0;
    ChunkData* mData = nullptr;
    Chunk* mNext = nullptr;
    Chunk* mChildren = nullptr;
    uint8_t mSourceFile = kNoFile;
    uint8_t mWrittenFile = kNoFile;
    // Bytes of own data in the source file, between the header and the first sub-chunk.
    uint32_t mDataSize = 0;
    // The last sub-chunk, so that appending does not walk the list.
    Chunk* mLastChild = nullptr;
    // No sub-chunk with a real tag ranks below this (255: none): an insertion of this rank or
    // lower goes at the end without a walk.
    uint8_t mMinChildRank = 255;
};

// Deepest nesting accepted when a tree is read from a file.
constexpr int kMaxChunkDepth = 64;

void NewChunk(Chunk** out);
void NewChunkWithTag(Chunk** out, uint32_t tag);
ChunkData* NewChunkWithData(Chunk** out, uint32_t tag);
// Frees the node's data, its children and its following siblings, then the node; nulls *chunk.
void ReleaseChunk(Chunk** chunk);
// Releases the chunk tree a local holds however the scope is left, memory that runs out part way
// (thrown) included. A release before that leaves the local null, and this one does nothing.
class HeldChunk {
public:
    explicit HeldChunk(Chunk** chunk) : mChunk(chunk) {}
    HeldChunk(const HeldChunk&) = delete;
    HeldChunk& operator=(const HeldChunk&) = delete;
    ~HeldChunk() { ReleaseChunk(mChunk); }

private:
    Chunk** mChunk;
};
void ReleaseChunkChain(Chunk** chunk);
// Releases children and data, zeroes tag, length and position, both slots 255.
void ResetChunk(Chunk* chunk);
// Depth-first pre-order search of `start` and its descendants (start first).
void FindChunk(Chunk* start, uint32_t tag, Chunk** out);
// The first chunk of the sibling list from `first` (included) with the tag; no descent.
void FindNextChunk(Chunk* first, uint32_t tag, Chunk** out);
void AppendChild(Chunk* parent, Chunk* child);
// Canonical order: before the first sub-chunk of strictly lower rank.
void InsertChildByRank(Chunk* parent, Chunk* child);
Chunk* AddChild(uint32_t tag, Chunk* parent);
void ReplaceOrAddChild(Chunk* parent, uint32_t tag, Chunk** out);
void CopyChunkTree(Chunk* source, Chunk** out);
void LoadChunkTree(Chunk* chunk);
// Sum of the chunk's bytes in its source file, as little-endian 16-bit words.
uint32_t ChunkChecksum(Chunk* chunk);
int ChunkRank(uint32_t tag);

// The number of own-data bytes a tag has before its sub-chunks, read at the current position of
// the current file (the file positioned behind the header). Pushes 4 when the data would pass
// `available` bytes (0x4120's count) and 13 when a string is cut.
uint32_t SkipToChildren(uint32_t tag, uint32_t available);
// Reads the sub-chunk skeleton of `chunk` from its source file (see LoadDatabase).
void ReadChildren(Chunk* chunk, uint64_t limit);
// Writes the tree at the current position of the file in `slot`.
void WriteChunkTree(Chunk* chunk, uint8_t slot);
void FixChunkLength(Chunk* chunk, int64_t start, int64_t end);

ChunkData* AllocChunkData(Chunk* chunk);
// The chunk's record, read from its source file when not in memory yet; null when it has none.
ChunkData* ReadChunkData(Chunk* chunk);
void WriteChunkData(Chunk* chunk);
void CopyChunkData(Chunk* source, Chunk* target);
void FreeChunkData(Chunk* chunk);
void UnloadChunkData(Chunk* chunk);

// The chunk's record when it is of type T (loaded on demand); null otherwise.
template <class T>
T* GetData(Chunk* chunk) {
    ChunkData* data = chunk ? ReadChunkData(chunk) : nullptr;
    return data && data->mKind == T::kKind ? static_cast<T*>(data) : nullptr;
}
// The chunk's record of type T, made when the chunk has none.
template <class T>
T* MakeData(Chunk* chunk) {
    if (!chunk) return nullptr;
    if (!chunk->mData) AllocChunkData(chunk);
    return chunk->mData && chunk->mData->mKind == T::kKind ? static_cast<T*>(chunk->mData) : nullptr;
}

// Loads the chunk's record and ties it to memory for good (source slot 255), so that changes made
// to the record in place are what later reads and writes see. Null when the chunk has no record.
ChunkData* KeepData(Chunk* chunk);
template <class T>
T* KeepDataAs(Chunk* chunk) {
    ChunkData* data = KeepData(chunk);
    return data && data->mKind == T::kKind ? static_cast<T*>(data) : nullptr;
}
// Unlinks `child` from `parent`'s list and releases it with its subtree.
void RemoveChild(Chunk* parent, Chunk* child);
// The first direct sub-chunk of `parent` with the tag, or null.
Chunk* FindChild(Chunk* parent, uint32_t tag);

// ---- Records held by their maker ---------------------------------------------------------------

// A record of an Init and Release pair (a mesh, a material, a motion, ...), held until it is handed
// on. The Init call fills `Slot`, so the record is owned from the moment it is made: whatever ends
// the holder's scope, memory that runs out part way among them, releases it once.
template <class T, void (*Release)(T**)>
class Owned {
public:
    Owned() = default;
    // Takes a record a builder made and handed on.
    explicit Owned(T* record) : mRecord(record) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Reset(); }
    T** Slot() { return &mRecord; }
    T* Get() const { return mRecord; }
    T* operator->() const { return mRecord; }
    T& operator*() const { return *mRecord; }
    explicit operator bool() const { return mRecord != nullptr; }
    // Hands the record on: the holder lets go of it without releasing it.
    T* Take() {
        T* record = mRecord;
        mRecord = nullptr;
        return record;
    }
    void Reset() {
        if (mRecord) Release(&mRecord);
        mRecord = nullptr;
    }

private:
    T* mRecord = nullptr;
};

// ---- String lists -------------------------------------------------------------------------------

struct StringList {
    std::vector<std::string> mStrings;
    uint32_t Count() const { return (uint32_t)mStrings.size(); }
};
// A new list (capacity 5 when 0 is asked).
void NewStringList(StringList** list, uint32_t capacity);
void AddToStringList(StringList* list, const char* text);
void ReleaseStringList(StringList** list);

// ---- Release stamps -----------------------------------------------------------------------------

int GetFileVersion(Chunk* root);
void SetFileVersion(Chunk* root, int release);
int GetMeshVersion(Chunk* root);
void SetMeshVersion(Chunk* root, int release);
int GetKeyframerVersion(Chunk* root);
void SetKeyframerVersion(Chunk* root, int release);

// ---- Internal helpers shared by the toolkit's files ---------------------------------------------

// Pushes `code`; true when the caller must stop (the continue flag is off).
bool Fail(int32_t code);
// True when an error is pending and the continue flag is off.
bool Stopped();
// The record's bytes as a file holds them; a deep copy of a record.
void SerializeRecord(uint32_t tag, const ChunkData* data, std::vector<uint8_t>& out);
ChunkData* CloneRecord(const ChunkData* data);
// Saturating conversions of a float into an integer field (NaN gives 0).
int16_t SaturateShort(double value);
uint16_t SaturateUShort(double value);
int32_t SaturateLong(double value);
uint8_t SaturateByte(double value);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_CORE_H
