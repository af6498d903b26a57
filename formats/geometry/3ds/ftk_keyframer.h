// The keyframer section of a 3DS database: track and key encodings, node headers and ids, target
// nodes and tracks, and the node list that turns the file's parent numbers into parent names
// after a read and back before a write.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_KEYFRAMER_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_KEYFRAMER_H

#include <cstdint>
#include <cstdio>
#include <string>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_database.h>

namespace Ftk {

// Node numbers above this are "none" (0xFFFF).
constexpr uint16_t kNoNodeId = 0xFFFF;

// One entry of the process-wide node list.
struct OXA_API NodeEntry {
    uint16_t mId = kNoNodeId;
    uint32_t mTag = 0;
    std::string mName;
    bool mHasName = false;
    std::string mInstance;
    bool mHasInstance = false;
    int16_t mParent = -1;
    Chunk* mChunk = nullptr;  // the node's chunk (CollectNodes)
    NodeEntry* mNext = nullptr;
};

// The node tags in their set order: 0xB004, 0xB002, 0xB003, 0xB005, 0xB006, 0xB007.
extern OXA_API const uint32_t kNodeTags[6];
OXA_API bool IsNodeTag(uint32_t tag);

// Track header (flags, two reserved longs, key count) and key header at the current file
// position. The track header read starts from key count 1.
OXA_API void ReadTrackHeader(TrackData* track);
OXA_API void WriteTrackHeader(const TrackData* track);
OXA_API void ReadKeyHeader(KeyHeader* key);
OXA_API void WriteKeyHeader(const KeyHeader* key);
// Bytes of a key header in a file (6 plus 4 per spline flag bit 0 to 4).
OXA_API uint32_t KeyHeaderSize(uint16_t splineFlags);

// The first KEYFRAMER_DATA among the chunk's direct sub-chunks, inserted when there is none.
OXA_API Chunk* GetKeyframerData(Chunk* chunk);
OXA_API void AddNodeId(Chunk* node);
OXA_API void AddNodeHeader(const char* name, uint16_t flags1, uint16_t flags2, const char* parentName,
                           Chunk* node);
OXA_API void AddParentName(Chunk* header, const char* name);
// The string of the first NODE_PARENT_NAME below the node ("" when none), into `buffer` of
// `size` bytes (cut to fit).
OXA_API void GetParentName(Chunk* node, char* buffer, size_t size);
OXA_API void AddPositionTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                              Chunk* node);
OXA_API void AddColorTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                           Chunk* node);
OXA_API void AddRollTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                          Chunk* node);
// Adds a track chunk of any track tag with copies of the keys and values (morph names for a morph
// track, none for a hide track); nothing when the key count is 0 or a needed array is null.
OXA_API void AddTrack(uint32_t tag, const Track& track, Chunk* node);
OXA_API Chunk* AddTargetNode(const char* parentName, uint32_t keyCount, uint16_t flags, const KeyHeader* keys,
                             const float* positions, const char* name, uint16_t flags1, uint16_t flags2,
                             bool camera, Chunk* keyframer);
OXA_API void FindKeyframerNode(Database* database, const char* name, uint32_t tag, Chunk** out);
OXA_API void NodeListFromFile(Database* database);
OXA_API void NodeListForWrite(Database* database);
OXA_API void DumpNodeList(std::FILE* stream);
OXA_API void DumpNodeTree(std::FILE* stream);

// Inner operations of the node list.
OXA_API void ClearNodeList();
OXA_API void ReleaseNodeList();
OXA_API NodeEntry* NewNodeEntry();
OXA_API NodeEntry* GetNodeList();
OXA_API void AddNodeEntry(Chunk* node);
OXA_API void CollectNodes(Chunk* keyframer);
OXA_API void NumberNodeEntries();
OXA_API NodeEntry* FindNodeEntryById(uint16_t id);
OXA_API NodeEntry* FindNodeEntryByName(const char* name);
// The node's NODE_ID number; -1 when it has none.
OXA_API int32_t GetNodeId(Chunk* node);
OXA_API void SetNodeId(Chunk* node, uint16_t id);
OXA_API void SetParentNames(Chunk* keyframer);
OXA_API void SetParentNumbers(Chunk* keyframer);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_KEYFRAMER_H
