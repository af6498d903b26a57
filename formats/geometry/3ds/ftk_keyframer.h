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
struct NodeEntry {
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
extern const uint32_t kNodeTags[6];
bool IsNodeTag(uint32_t tag);

// Track header (flags, two reserved longs, key count) and key header at the current file
// position. The track header read starts from key count 1.
void ReadTrackHeader(TrackData* track);
void WriteTrackHeader(const TrackData* track);
void ReadKeyHeader(KeyHeader* key);
void WriteKeyHeader(const KeyHeader* key);
// Bytes of a key header in a file (6 plus 4 per spline flag bit 0 to 4).
uint32_t KeyHeaderSize(uint16_t splineFlags);

// The first KEYFRAMER_DATA among the chunk's direct sub-chunks, inserted when there is none.
Chunk* GetKeyframerData(Chunk* chunk);
void AddNodeId(Chunk* node);
void AddNodeHeader(const char* name, uint16_t flags1, uint16_t flags2, const char* parentName, Chunk* node);
void AddParentName(Chunk* header, const char* name);
// The string of the first NODE_PARENT_NAME below the node ("" when none), into `buffer` of
// `size` bytes (cut to fit).
void GetParentName(Chunk* node, char* buffer, size_t size);
void AddPositionTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                      Chunk* node);
void AddColorTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                   Chunk* node);
void AddRollTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values, Chunk* node);
// Adds a track chunk of any track tag with copies of the keys and values (morph names for a morph
// track, none for a hide track); nothing when the key count is 0 or a needed array is null.
void AddTrack(uint32_t tag, const Track& track, Chunk* node);
Chunk* AddTargetNode(const char* parentName, uint32_t keyCount, uint16_t flags, const KeyHeader* keys,
                     const float* positions, const char* name, uint16_t flags1, uint16_t flags2, bool camera,
                     Chunk* keyframer);
void FindKeyframerNode(Database* database, const char* name, uint32_t tag, Chunk** out);
void NodeListFromFile(Database* database);
void NodeListForWrite(Database* database);
void DumpNodeList(std::FILE* stream);
void DumpNodeTree(std::FILE* stream);

// Inner operations of the node list.
void ClearNodeList();
void ReleaseNodeList();
NodeEntry* NewNodeEntry();
NodeEntry* GetNodeList();
void AddNodeEntry(Chunk* node);
void CollectNodes(Chunk* keyframer);
void NumberNodeEntries();
NodeEntry* FindNodeEntryById(uint16_t id);
NodeEntry* FindNodeEntryByName(const char* name);
// The node's NODE_ID number; -1 when it has none.
int32_t GetNodeId(Chunk* node);
void SetNodeId(Chunk* node, uint16_t id);
void SetParentNames(Chunk* keyframer);
void SetParentNumbers(Chunk* keyframer);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_KEYFRAMER_H
