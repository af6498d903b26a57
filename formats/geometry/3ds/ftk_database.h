// The 3DS toolkit's databases: a chunk tree with indexes of its named objects, materials and
// keyframer nodes; the mesh settings and keyframer settings blocks; loading, saving, copying.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_DATABASE_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_DATABASE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_core.h>

namespace Ftk {

// ---- Name indexes -------------------------------------------------------------------------------

struct NameIndexEntry {
    std::string mName;
    Chunk* mChunk = nullptr;
};

// A list of (name, chunk) pairs in tree order, with what makes lookups and get-by-index calls
// constant-time: the first entry of each name and, per kind, the entries of that kind in order.
struct NameIndex {
    std::vector<NameIndexEntry> mEntries;
    std::unordered_map<std::string, uint32_t> mFirstByName;
    // Objects: the positions in mEntries of meshes, lights (omni and spot), spotlights, cameras.
    // Nodes: per node tag, the positions of the nodes of that tag (see NodeKindSlot).
    std::vector<uint32_t> mKinds[8];
    // Nodes only: the first node of each (tag, header name).
    std::unordered_map<std::string, Chunk*> mNodeByHeaderName;
    uint32_t Count() const { return (uint32_t)mEntries.size(); }
};

void NewNameIndex(NameIndex** index, uint32_t count);
void ReleaseNameIndex(NameIndex** index);

// ---- Settings -----------------------------------------------------------------------------------

// The scene-wide values of the editor section.
struct MeshSettings {
    float mMasterScale = 1.0f;
    float mReserved = 0.0f;  // neither read nor written
    float mShadowLowBias = 1.0f;
    float mRayTraceBias = 1.0f;
    int16_t mShadowMapSize = 512;
    float mShadowFilter = 3.0f;
    float mAmbient[3] = {0.39216f, 0.39216f, 0.39216f};
    Point3 mConstructionOrigin{0.0f, 0.0f, 0.0f};
    // Set by GetSettings when the file has an ambient colour (mAmbient is then the file's).
    bool mAmbientInFile = false;
};

struct KeyframerSettings {
    int32_t mAnimationLength = 30;
    // Set by GetKeyframerSettings when the file's keyframer has a header (its length read).
    bool mHeaderInFile = false;
    int32_t mCurrentFrame = 0;
    bool mSegmentInUse = false;
    int32_t mSegmentFirst = 0;
    int32_t mSegmentLast = 30;
    // The scene name of the keyframer header (at most kKeyframerNameCapacity bytes are written).
    std::string mSceneName;
};
constexpr size_t kKeyframerNameCapacity = 512;

void InitSettingsBlock(MeshSettings** block);
void ReleaseSettings(MeshSettings** block);
struct Database;
void GetSettings(Database* database, MeshSettings** block);
void PutSettings(Database* database, MeshSettings* block);
void CopySettings(Database* destination, Database* source);
void InitKeyframerSettings(KeyframerSettings** block);
void ReleaseKeyframerSettings(KeyframerSettings** block);
void GetKeyframerSettings(Database* database, KeyframerSettings* block);
void PutKeyframerSettings(Database* database, KeyframerSettings* block);
void CopyKeyframerSettings(Database* destination, Database* source);

// ---- Databases ----------------------------------------------------------------------------------

enum DatabaseKind : int { kNoDatabase = 0, kSceneFile = 1, kProjectFile = 2, kMaterialLibrary = 3 };

struct Database {
    Chunk* mTop = nullptr;
    uint8_t mObjectsStale = 1;
    uint8_t mMaterialsStale = 1;
    uint8_t mNodesStale = 1;
    NameIndex* mObjectIndex = nullptr;
    NameIndex* mMaterialIndex = nullptr;
    NameIndex* mNodeIndex = nullptr;
};

void NewDatabase(Database** database);
void CreateDatabase(Database* database, int kind);
int GetDatabaseKind(Database* database);
// Reads the chunk skeleton of a file open for reading; chunk data is read when first asked for,
// so the file must stay open until the database is released or detached.
void LoadDatabase(File* file, Database* database);
// Writes the tree into a file open for writing.
void SaveDatabase(File* file, Database* database);
void CopyDatabase(Database* database, Database** copy);
void DetachDatabase(Database* database);
void ReleaseDatabase(Database** database);

int GetDatabaseRelease(Database* database);
void SetDatabaseRelease(Database* database, int release);

// Checks shared by the structure calls: null database (2), no top chunk (5), a top of another kind
// than the accepted ones (6). `allKinds` accepts material libraries too. True when all is well.
bool CheckDatabase(Database* database, bool allKinds);
// The editor chunk below the top; created and inserted when `create` is set and there is none.
Chunk* GetEditorChunk(Database* database, bool create);

// Puts a deep copy of `source` under `parent` in place of the parent's chunk of the same tag
// (keeping that chunk's place), or inserts it by rank when the parent has none.
void PutChunkCopy(Chunk* parent, Chunk* source);

// ---- Object index -------------------------------------------------------------------------------

enum ObjectKindSlot : int { kMeshObjects = 0, kLightObjects, kOmniObjects, kSpotObjects, kCameraObjects };

void UpdateObjectIndex(Database* database);
Chunk* FindObjectByName(Database* database, const char* name);
// The index-th object that has a child of the tag (TRIANGLE_MESH, LIGHT, CAMERA; SPOTLIGHT is
// looked for inside the object's LIGHT chunk).
Chunk* FindObjectByKind(Database* database, uint32_t tag, uint32_t index);
// Objects of a kind slot (omni lights: lights without a spot part).
uint32_t CountObjectsOfKind(Database* database, int slot);
Chunk* GetObjectOfKind(Database* database, int slot, uint32_t index);
void DeleteObjectByIndex(Database* database, uint32_t tag, uint32_t index);
void DeleteObjectByName(Database* database, const char* name);
void CopyObjectByIndex(Database* destination, Database* source, uint32_t tag, uint32_t index);
void CopyObjectByName(Database* destination, Database* source, const char* name);
void MarkObjectsStale(Database* database);
// Called by the puts after they added a new object chunk: keeps the index current without a
// rebuild when the object is the last of its list, marks it stale otherwise.
void NoteObjectAdded(Database* database, Chunk* object);
// The object chunk of `name` for a put: an existing one reset in place (its extended data set
// aside in *extended), or a new one inserted into the editor chunk. Null on failure.
Chunk* PrepareObject(Database* database, const char* name, Chunk** extended, bool keepPlace);

// ---- Material index -----------------------------------------------------------------------------

void UpdateMaterialIndex(Database* database);
Chunk* FindMaterialByName(Database* database, const char* name);
Chunk* FindMaterialByIndex(Database* database, uint32_t index);
void MarkMaterialsStale(Database* database);
void NoteMaterialAdded(Database* database, Chunk* block, const char* name);

// ---- Keyframer-node index -----------------------------------------------------------------------

// The kind slot of a node tag in NameIndex::mKinds (-1 for other tags).
int NodeKindSlot(uint32_t tag);
void UpdateNodeIndex(Database* database);
// By index name: the header name, or for an object node with an instance "name.instance".
Chunk* FindNodeByName(Database* database, const char* name, uint32_t tag);
Chunk* FindNodeByKind(Database* database, uint32_t tag, uint32_t index);
// The first node of the tag whose header name is `name`.
Chunk* FindNodeByHeaderName(Database* database, const char* name, uint32_t tag);
void DeleteNodeByIndex(Database* database, uint32_t tag, uint32_t index);
void DeleteNodeByName(Database* database, const char* name, uint32_t tag);
void CopyNodeByIndex(Database* destination, Database* source, uint32_t tag, uint32_t index);
void CopyNodeByName(Database* destination, Database* source, const char* name, uint32_t tag);
void MarkNodesStale(Database* database);
void NoteNodeAdded(Database* database, Chunk* node);
// Entries of the node index whose chunk has the tag; their names in index order.
uint32_t CountObjectsOfTag(Database* database, uint32_t tag);
void ListObjectsOfTag(Database* database, uint32_t tag, StringList** list);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_DATABASE_H
