// The three name indexes of a database: named objects, materials and keyframer nodes. Each is
// rebuilt lazily when stale; the puts keep it current without a rebuild when they add at the end.
#include <cstring>
#include <new>
#include <string>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_database.h"
#include "formats/geometry/3ds/ftk_keyframer.h"

namespace Ftk {

namespace {

// Lookup key of a name within a tag (objects and materials use tag 0).
std::string Key(uint32_t tag, const std::string& name) {
    std::string key(4, '\0');
    std::memcpy(&key[0], &tag, 4);
    return key + name;
}

NameIndex* FreshIndex(NameIndex** index) {
    ReleaseNameIndex(index);
    NewNameIndex(index, 0);
    return *index;
}

void AddEntry(NameIndex* index, uint32_t tag, const std::string& name, Chunk* chunk) {
    uint32_t position = (uint32_t)index->mEntries.size();
    index->mEntries.push_back(NameIndexEntry{name, chunk});
    index->mFirstByName.emplace(Key(tag, name), position);
}

std::string ChunkString(Chunk* chunk) {
    StringData* data = GetData<StringData>(chunk);
    std::string text = data ? data->mText : std::string();
    UnloadChunkData(chunk);
    return text;
}

// Adds an object's entry with its kinds.
void AddObjectEntry(NameIndex* index, Chunk* object) {
    uint32_t position = index->Count();
    AddEntry(index, 0, ChunkString(object), object);
    if (FindChild(object, TRIANGLE_MESH)) index->mKinds[kMeshObjects].push_back(position);
    if (Chunk* light = FindChild(object, LIGHT)) {
        index->mKinds[kLightObjects].push_back(position);
        index->mKinds[FindChild(light, SPOTLIGHT) ? kSpotObjects : kOmniObjects].push_back(position);
    }
    if (FindChild(object, CAMERA)) index->mKinds[kCameraObjects].push_back(position);
}

// True when no sibling after `chunk` has the tag: an entry for it goes at the end of its index.
bool IsLastOfTag(Chunk* chunk, uint32_t tag) {
    for (Chunk* node = chunk->mNext; node; node = node->mNext)
        if (node->mTag == tag) return false;
    return true;
}

Chunk* MaterialParent(Database* database, bool create) {
    if (GetDatabaseKind(database) == kMaterialLibrary) return database->mTop;
    return GetEditorChunk(database, create);
}

std::string MaterialName(Chunk* block) {
    return ChunkString(FindChild(block, MATERIAL_NAME));
}

// The node's index name: the header name, for an object node with an instance "name.instance".
std::string NodeIndexName(Chunk* node, std::string* headerName) {
    Chunk* header = FindChild(node, NODE_HEADER);
    NodeHeaderData* data = GetData<NodeHeaderData>(header);
    std::string name = data ? data->mName : std::string();
    UnloadChunkData(header);
    if (headerName) *headerName = name;
    if (node->mTag == OBJECT_NODE) {
        if (Chunk* instance = FindChild(node, NODE_INSTANCE_NAME)) {
            StringData* text = GetData<StringData>(instance);
            if (text) name += "." + text->mText;
            UnloadChunkData(instance);
        }
    }
    return name;
}

void AddNodeIndexEntry(NameIndex* index, Chunk* node) {
    std::string header;
    std::string name = NodeIndexName(node, &header);
    uint32_t position = index->Count();
    AddEntry(index, node->mTag, name, node);
    index->mKinds[NodeKindSlot(node->mTag)].push_back(position);
    index->mNodeByHeaderName.emplace(Key(node->mTag, header), node);
}

Chunk* KeyframerOf(Database* database) {
    Chunk* keyframer = nullptr;
    if (database && database->mTop) FindChunk(database->mTop, KEYFRAMER_DATA, &keyframer);
    return keyframer;
}

}  // namespace

void NewNameIndex(NameIndex** index, uint32_t count) {
    if (!index) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *index = oxa_alloc::Counted(new (std::nothrow) NameIndex);
    if (!*index) {
        Fail(ERR_NO_MEM);
        return;
    }
    (*index)->mEntries.resize(count);
}

void ReleaseNameIndex(NameIndex** index) {
    if (!index) return;
    delete *index;
    *index = nullptr;
}

// ---- Objects ------------------------------------------------------------------------------------

void UpdateObjectIndex(Database* database) {
    if (!database || !database->mObjectsStale) return;
    database->mObjectsStale = 0;
    NameIndex* index = FreshIndex(&database->mObjectIndex);
    if (!index) return;
    Chunk* editor = GetEditorChunk(database, false);
    if (!editor) return;
    for (Chunk* node = editor->mChildren; node; node = node->mNext)
        if (node->mTag == OBJECT_BLOCK) AddObjectEntry(index, node);
}

void MarkObjectsStale(Database* database) {
    if (database) database->mObjectsStale = 1;
}

void NoteObjectAdded(Database* database, Chunk* object) {
    if (!database || !object || database->mObjectsStale || !database->mObjectIndex) return;
    if (!IsLastOfTag(object, OBJECT_BLOCK)) {
        database->mObjectsStale = 1;
        return;
    }
    AddObjectEntry(database->mObjectIndex, object);
}

Chunk* FindObjectByName(Database* database, const char* name) {
    if (!database || !name) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    UpdateObjectIndex(database);
    if (!database->mObjectIndex) return nullptr;
    auto found = database->mObjectIndex->mFirstByName.find(Key(0, name));
    if (found == database->mObjectIndex->mFirstByName.end()) return nullptr;
    return database->mObjectIndex->mEntries[found->second].mChunk;
}

uint32_t CountObjectsOfKind(Database* database, int slot) {
    if (!database || slot < 0 || slot > kCameraObjects) return 0;
    UpdateObjectIndex(database);
    return database->mObjectIndex ? (uint32_t)database->mObjectIndex->mKinds[slot].size() : 0;
}

Chunk* GetObjectOfKind(Database* database, int slot, uint32_t index) {
    if (!database || slot < 0 || slot > kCameraObjects) return nullptr;
    UpdateObjectIndex(database);
    NameIndex* objects = database->mObjectIndex;
    if (!objects || index >= objects->mKinds[slot].size()) return nullptr;
    return objects->mEntries[objects->mKinds[slot][index]].mChunk;
}

Chunk* FindObjectByKind(Database* database, uint32_t tag, uint32_t index) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    switch (tag) {
        case TRIANGLE_MESH:
            return GetObjectOfKind(database, kMeshObjects, index);
        case LIGHT:
            return GetObjectOfKind(database, kLightObjects, index);
        case SPOTLIGHT:
            return GetObjectOfKind(database, kSpotObjects, index);
        case CAMERA:
            return GetObjectOfKind(database, kCameraObjects, index);
        default:
            break;
    }
    UpdateObjectIndex(database);
    if (!database->mObjectIndex) return nullptr;
    for (const NameIndexEntry& entry : database->mObjectIndex->mEntries) {
        if (!FindChild(entry.mChunk, tag)) continue;
        if (index == 0) return entry.mChunk;
        --index;
    }
    return nullptr;
}

void DeleteObjectByIndex(Database* database, uint32_t tag, uint32_t index) {
    if (!CheckDatabase(database, false)) return;
    Chunk* object = FindObjectByKind(database, tag, index);
    if (!object) return;
    ResetChunk(object);
    MarkObjectsStale(database);
}

void DeleteObjectByName(Database* database, const char* name) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* object = FindObjectByName(database, name);
    if (!object) return;
    ResetChunk(object);
    MarkObjectsStale(database);
}

namespace {

void CopyObject(Database* destination, Chunk* object) {
    if (!object) return;
    std::string name = ChunkString(object);
    Chunk* editor = GetEditorChunk(destination, true);
    if (!editor) return;
    if (Chunk* existing = FindObjectByName(destination, name.c_str())) ResetChunk(existing);
    Chunk* copy = nullptr;
    CopyChunkTree(object, &copy);
    if (!copy) return;
    AppendChild(editor, copy);
    MarkObjectsStale(destination);
}

}  // namespace

void CopyObjectByIndex(Database* destination, Database* source, uint32_t tag, uint32_t index) {
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    CopyObject(destination, FindObjectByKind(source, tag, index));
}

void CopyObjectByName(Database* destination, Database* source, const char* name) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    CopyObject(destination, FindObjectByName(source, name));
}

Chunk* PrepareObject(Database* database, const char* name, Chunk** extended, bool keepPlace) {
    if (extended) *extended = nullptr;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return nullptr;
    Chunk* object = FindObjectByName(database, name);
    if (object) {
        // The extended data of the object it replaces goes along.
        Chunk* found = nullptr;
        FindChunk(object, EXTENDED_DATA, &found);
        if (found && extended) CopyChunkTree(found, extended);
        ResetChunk(object);
        if (keepPlace) {
            object->mTag = OBJECT_BLOCK;
        } else {
            object = AddChild(OBJECT_BLOCK, editor);
        }
        // A replaced object may change its kind: the index is rebuilt.
        MarkObjectsStale(database);
    } else {
        object = AddChild(OBJECT_BLOCK, editor);
    }
    if (!object) {
        PushError(ERR_PUT_FAILED);
        return nullptr;
    }
    if (StringData* data = MakeData<StringData>(object)) data->mText = name;
    return object;
}

// ---- Materials ----------------------------------------------------------------------------------

void UpdateMaterialIndex(Database* database) {
    if (!database || !database->mMaterialsStale) return;
    database->mMaterialsStale = 0;
    NameIndex* index = FreshIndex(&database->mMaterialIndex);
    if (!index) return;
    Chunk* parent = MaterialParent(database, false);
    if (!parent) return;
    for (Chunk* node = parent->mChildren; node; node = node->mNext)
        if (node->mTag == MATERIAL_BLOCK) AddEntry(index, 0, MaterialName(node), node);
}

void MarkMaterialsStale(Database* database) {
    if (database) database->mMaterialsStale = 1;
}

void NoteMaterialAdded(Database* database, Chunk* block, const char* name) {
    if (!database || !block || database->mMaterialsStale || !database->mMaterialIndex) return;
    // The block goes at the end of the index when no material block follows it. Materials stand
    // before the objects, so the walk starts at the last block the index holds: it meets the new
    // block after the few chunks between them, not after every object of the file.
    const std::vector<NameIndexEntry>& entries = database->mMaterialIndex->mEntries;
    bool last = false;
    if (entries.empty()) {
        last = true;  // the index is current and holds no block: there is no other
    } else {
        for (Chunk* node = entries.back().mChunk->mNext; node; node = node->mNext) {
            if (node == block) {
                last = true;  // every block the index holds stands before it
                break;
            }
        }
    }
    if (!last) {
        database->mMaterialsStale = 1;
        return;
    }
    AddEntry(database->mMaterialIndex, 0, name ? name : "", block);
}

Chunk* FindMaterialByName(Database* database, const char* name) {
    if (!database || !name) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    UpdateMaterialIndex(database);
    if (!database->mMaterialIndex) return nullptr;
    auto found = database->mMaterialIndex->mFirstByName.find(Key(0, name));
    if (found == database->mMaterialIndex->mFirstByName.end()) return nullptr;
    return database->mMaterialIndex->mEntries[found->second].mChunk;
}

Chunk* FindMaterialByIndex(Database* database, uint32_t index) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    UpdateMaterialIndex(database);
    if (!database->mMaterialIndex || index >= database->mMaterialIndex->Count()) return nullptr;
    return database->mMaterialIndex->mEntries[index].mChunk;
}

// ---- Keyframer nodes ----------------------------------------------------------------------------

int NodeKindSlot(uint32_t tag) {
    return tag >= AMBIENT_NODE && tag <= SPOTLIGHT_NODE ? (int)(tag - AMBIENT_NODE) : -1;
}

void UpdateNodeIndex(Database* database) {
    if (!database || !database->mNodesStale) return;
    database->mNodesStale = 0;
    NameIndex* index = FreshIndex(&database->mNodeIndex);
    if (!index) return;
    Chunk* keyframer = KeyframerOf(database);
    if (!keyframer) return;
    for (Chunk* node = keyframer->mChildren; node; node = node->mNext)
        if (NodeKindSlot(node->mTag) >= 0) AddNodeIndexEntry(index, node);
}

void MarkNodesStale(Database* database) {
    if (database) database->mNodesStale = 1;
}

void NoteNodeAdded(Database* database, Chunk* node) {
    if (!database || !node || database->mNodesStale || !database->mNodeIndex) return;
    for (Chunk* next = node->mNext; next; next = next->mNext) {
        if (NodeKindSlot(next->mTag) >= 0) {
            database->mNodesStale = 1;
            return;
        }
    }
    AddNodeIndexEntry(database->mNodeIndex, node);
}

Chunk* FindNodeByName(Database* database, const char* name, uint32_t tag) {
    if (!database || !name) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    UpdateNodeIndex(database);
    if (!database->mNodeIndex) return nullptr;
    auto found = database->mNodeIndex->mFirstByName.find(Key(tag, name));
    if (found == database->mNodeIndex->mFirstByName.end()) return nullptr;
    return database->mNodeIndex->mEntries[found->second].mChunk;
}

Chunk* FindNodeByHeaderName(Database* database, const char* name, uint32_t tag) {
    if (!database || !name) return nullptr;
    UpdateNodeIndex(database);
    if (!database->mNodeIndex) return nullptr;
    auto found = database->mNodeIndex->mNodeByHeaderName.find(Key(tag, name));
    return found == database->mNodeIndex->mNodeByHeaderName.end() ? nullptr : found->second;
}

Chunk* FindNodeByKind(Database* database, uint32_t tag, uint32_t index) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    int slot = NodeKindSlot(tag);
    if (slot < 0) return nullptr;
    UpdateNodeIndex(database);
    NameIndex* nodes = database->mNodeIndex;
    if (!nodes || index >= nodes->mKinds[slot].size()) return nullptr;
    return nodes->mEntries[nodes->mKinds[slot][index]].mChunk;
}

namespace {

uint32_t TargetTagOf(uint32_t tag) {
    if (tag == CAMERA_NODE) return CAMERA_TARGET_NODE;
    if (tag == SPOTLIGHT_NODE) return LIGHT_TARGET_NODE;
    return 0;
}

void DropNode(Database* database, Chunk* node) {
    if (!node) return;
    uint32_t targetTag = TargetTagOf(node->mTag);
    if (targetTag) {
        std::string header;
        NodeIndexName(node, &header);
        if (Chunk* target = FindNodeByHeaderName(database, header.c_str(), targetTag)) ResetChunk(target);
    }
    ResetChunk(node);
    MarkNodesStale(database);
}

void CopyNodeInto(Database* destination, Database* source, Chunk* node) {
    if (!node) return;
    Chunk* keyframer = GetKeyframerData(destination->mTop);
    if (!keyframer) return;
    std::string header;
    std::string name = NodeIndexName(node, &header);
    // A node of the same name and tag is replaced, with its target.
    DropNode(destination, FindNodeByName(destination, name.c_str(), node->mTag));
    uint32_t targetTag = TargetTagOf(node->mTag);
    if (targetTag) {
        if (Chunk* target = FindNodeByHeaderName(source, header.c_str(), targetTag)) {
            Chunk* copy = nullptr;
            CopyChunkTree(target, &copy);
            if (copy) InsertChildByRank(keyframer, copy);
        }
    }
    Chunk* copy = nullptr;
    CopyChunkTree(node, &copy);
    if (copy) InsertChildByRank(keyframer, copy);
    MarkNodesStale(destination);
}

}  // namespace

void DeleteNodeByIndex(Database* database, uint32_t tag, uint32_t index) {
    if (!CheckDatabase(database, false)) return;
    DropNode(database, FindNodeByKind(database, tag, index));
}

void DeleteNodeByName(Database* database, const char* name, uint32_t tag) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    DropNode(database, FindNodeByName(database, name, tag));
}

void CopyNodeByIndex(Database* destination, Database* source, uint32_t tag, uint32_t index) {
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    CopyNodeInto(destination, source, FindNodeByKind(source, tag, index));
}

void CopyNodeByName(Database* destination, Database* source, const char* name, uint32_t tag) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    CopyNodeInto(destination, source, FindNodeByName(source, name, tag));
}

uint32_t CountObjectsOfTag(Database* database, uint32_t tag) {
    int slot = NodeKindSlot(tag);
    if (!database || slot < 0) return 0;
    UpdateNodeIndex(database);
    return database->mNodeIndex ? (uint32_t)database->mNodeIndex->mKinds[slot].size() : 0;
}

void ListObjectsOfTag(Database* database, uint32_t tag, StringList** list) {
    if (!database || !list) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*list) NewStringList(list, 0);
    if (!*list) return;
    (*list)->mStrings.clear();
    int slot = NodeKindSlot(tag);
    if (slot < 0) return;
    UpdateNodeIndex(database);
    if (!database->mNodeIndex) return;
    for (uint32_t position : database->mNodeIndex->mKinds[slot])
        AddToStringList(*list, database->mNodeIndex->mEntries[position].mName.c_str());
}

}  // namespace Ftk
