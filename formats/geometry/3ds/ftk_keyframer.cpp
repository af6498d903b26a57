// The keyframer section: track and key headers, node headers, ids, tracks and target nodes, and
// the node list that converts parent numbers to parent names after a read and back before a write.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "formats/geometry/3ds/ftk_keyframer.h"

namespace Ftk {

const uint32_t kNodeTags[6] = {CAMERA_TARGET_NODE, OBJECT_NODE,       CAMERA_NODE,
                               LIGHT_NODE,         LIGHT_TARGET_NODE, SPOTLIGHT_NODE};

bool IsNodeTag(uint32_t tag) {
    for (uint32_t nodeTag : kNodeTags)
        if (nodeTag == tag) return true;
    return false;
}

// ---- Track and key headers at the current file position -----------------------------------------

void ReadTrackHeader(TrackData* track) {
    if (!track) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    track->mTrack.mKeyCount = 1;
    track->mTrack.mReserved[0] = 0;
    track->mTrack.mReserved[1] = 0;
    track->mTrack.mFlags = ReadShort();
    if (Stopped()) return;
    track->mTrack.mReserved[0] = ReadLong();
    if (Stopped()) return;
    track->mTrack.mReserved[1] = ReadLong();
    if (Stopped()) return;
    uint32_t count = ReadLong();
    if (Stopped()) return;
    track->mTrack.mKeyCount = count;
}

void WriteTrackHeader(const TrackData* track) {
    if (!track) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    WriteShort(track->mTrack.mFlags);
    WriteLong(track->mTrack.mReserved[0]);
    WriteLong(track->mTrack.mReserved[1]);
    WriteLong(track->mTrack.mKeyCount);
}

void ReadKeyHeader(KeyHeader* key) {
    if (!key) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *key = KeyHeader();
    key->mFrame = (int32_t)ReadLong();
    if (Stopped()) return;
    key->mSplineFlags = ReadShort();
    if (Stopped()) return;
    float* splines[5] = {&key->mTension, &key->mContinuity, &key->mBias, &key->mEaseTo, &key->mEaseFrom};
    for (int bit = 0; bit < 5; ++bit) {
        if (!(key->mSplineFlags & (1u << bit))) continue;
        *splines[bit] = ReadFloat();
        if (Stopped()) return;
    }
}

void WriteKeyHeader(const KeyHeader* key) {
    if (!key) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    WriteLong((uint32_t)key->mFrame);
    WriteShort(key->mSplineFlags);
    const float splines[5] = {key->mTension, key->mContinuity, key->mBias, key->mEaseTo, key->mEaseFrom};
    for (int bit = 0; bit < 5; ++bit)
        if (key->mSplineFlags & (1u << bit)) WriteFloat(splines[bit]);
}

// ---- Building node chunks -----------------------------------------------------------------------

Chunk* GetKeyframerData(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    if (Chunk* keyframer = FindChild(chunk, KEYFRAMER_DATA)) return keyframer;
    return AddChild(KEYFRAMER_DATA, chunk);
}

void AddNodeId(Chunk* node) {
    if (!node) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (ShortData* id = MakeData<ShortData>(AddChild(NODE_ID, node))) id->mValue = -1;
}

void AddParentName(Chunk* header, const char* name) {
    if (!header) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!name) return;
    if (StringData* data = MakeData<StringData>(AddChild(NODE_PARENT_NAME, header))) data->mText = name;
}

void AddNodeHeader(const char* name, uint16_t flags1, uint16_t flags2, const char* parentName, Chunk* node) {
    if (!name || !node) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* header = AddChild(NODE_HEADER, node);
    NodeHeaderData* data = MakeData<NodeHeaderData>(header);
    if (!data) {
        PushError(ERR_PUT_FAILED);
        return;
    }
    data->mName = name;
    data->mFlags1 = flags1;
    data->mFlags2 = flags2;
    data->mParent = -1;
    if (parentName) AddParentName(header, parentName);
}

void GetParentName(Chunk* node, char* buffer, size_t size) {
    if (!buffer || size == 0) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    buffer[0] = '\0';
    if (!node) return;
    Chunk* parent = nullptr;
    FindChunk(node, NODE_PARENT_NAME, &parent);
    if (StringData* data = GetData<StringData>(parent)) CopyName(buffer, size, data->mText.c_str());
}

void AddTrack(uint32_t tag, const Track& track, Chunk* node) {
    if (!node) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    const uint32_t width = (uint32_t)TrackValueWidth(tag);
    uint32_t count = track.mKeyCount;
    if (count == 0 || track.mKeys.size() < count) return;
    if (width && track.mValues.size() / width < count) return;
    if (tag == TRACK_MORPH && track.mMorphNames.size() < count) return;
    TrackData* data = MakeData<TrackData>(AddChild(tag, node));
    if (!data) {
        PushError(ERR_PUT_FAILED);
        return;
    }
    data->mTrack.mKeyCount = count;
    data->mTrack.mFlags = track.mFlags;
    data->mTrack.mReserved[0] = track.mReserved[0];
    data->mTrack.mReserved[1] = track.mReserved[1];
    data->mTrack.mKeys.assign(track.mKeys.begin(), track.mKeys.begin() + count);
    if (width)
        data->mTrack.mValues.assign(track.mValues.begin(), track.mValues.begin() + (size_t)count * width);
    if (tag == TRACK_MORPH)
        data->mTrack.mMorphNames.assign(track.mMorphNames.begin(), track.mMorphNames.begin() + count);
}

namespace {

void AddFloatTrack(uint32_t tag, uint32_t keyCount, uint16_t flags, const KeyHeader* keys,
                   const float* values, Chunk* node) {
    if (!node) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (keyCount == 0 || !keys || !values) return;
    const uint32_t width = (uint32_t)TrackValueWidth(tag);
    TrackData* data = MakeData<TrackData>(AddChild(tag, node));
    if (!data) {
        PushError(ERR_PUT_FAILED);
        return;
    }
    data->mTrack.mKeyCount = keyCount;
    data->mTrack.mFlags = flags;
    data->mTrack.mKeys.assign(keys, keys + keyCount);
    data->mTrack.mValues.assign(values, values + (size_t)keyCount * width);
}

}  // namespace

void AddPositionTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                      Chunk* node) {
    AddFloatTrack(TRACK_POSITION, keyCount, flags, keys, values, node);
}

void AddColorTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                   Chunk* node) {
    AddFloatTrack(TRACK_COLOR, keyCount, flags, keys, values, node);
}

void AddRollTrack(uint32_t keyCount, uint16_t flags, const KeyHeader* keys, const float* values,
                  Chunk* node) {
    AddFloatTrack(TRACK_ROLL, keyCount, flags, keys, values, node);
}

Chunk* AddTargetNode(const char* parentName, uint32_t keyCount, uint16_t flags, const KeyHeader* keys,
                     const float* positions, const char* name, uint16_t flags1, uint16_t flags2, bool camera,
                     Chunk* keyframer) {
    if (!name || !keyframer) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    Chunk* node = AddChild(camera ? CAMERA_TARGET_NODE : LIGHT_TARGET_NODE, keyframer);
    if (!node) {
        PushError(ERR_PUT_FAILED);
        return nullptr;
    }
    AddNodeId(node);
    AddNodeHeader(name, flags1, flags2, parentName, node);
    AddPositionTrack(keyCount, flags, keys, positions, node);
    return node;
}

void FindKeyframerNode(Database* database, const char* name, uint32_t tag, Chunk** out) {
    if (!database || !name || !out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *out = FindNodeByHeaderName(database, name, tag);
}

// ---- The node list ------------------------------------------------------------------------------

namespace {

NodeEntry* gHead = nullptr;
NodeEntry* gTail = nullptr;
// Lookups by id and by name, rebuilt when the list changed.
bool gLookupsStale = true;
std::unordered_map<uint16_t, NodeEntry*> gById;
std::unordered_map<std::string, NodeEntry*> gByName;  // "name" (no instance) or "name\ninstance"

bool IsTargetEntry(const NodeEntry* entry) {
    return entry->mTag == CAMERA_TARGET_NODE || entry->mTag == LIGHT_TARGET_NODE;
}

void BuildLookups() {
    if (!gLookupsStale) return;
    gById.clear();
    gByName.clear();
    for (NodeEntry* entry = gHead; entry; entry = entry->mNext) {
        gById.emplace(entry->mId, entry);
        if (!entry->mHasName) continue;
        const std::string key = entry->mHasInstance && !entry->mInstance.empty()
                                    ? entry->mName + '\n' + entry->mInstance
                                    : entry->mName;
        // A target node carries its camera's or spotlight's name: that name stands for the
        // camera or spotlight itself, whichever of the two comes first.
        auto [found, added] = gByName.emplace(key, entry);
        if (!added && IsTargetEntry(found->second) && !IsTargetEntry(entry)) found->second = entry;
    }
    gLookupsStale = false;
}

}  // namespace

NodeEntry* GetNodeList() {
    return gHead;
}

void ReleaseNodeList() {
    NodeEntry* entry = gHead;
    while (entry) {
        NodeEntry* next = entry->mNext;
        delete entry;
        entry = next;
    }
    gHead = gTail = nullptr;
    gById.clear();
    gByName.clear();
    gLookupsStale = true;
}

void ClearNodeList() {
    if (gHead) ReleaseNodeList();
}

NodeEntry* NewNodeEntry() {
    NodeEntry* entry = new NodeEntry;
    if (gTail)
        gTail->mNext = entry;
    else
        gHead = entry;
    gTail = entry;
    gLookupsStale = true;
    return entry;
}

int32_t GetNodeId(Chunk* node) {
    Chunk* chunk = FindChild(node, NODE_ID);
    ShortData* id = GetData<ShortData>(chunk);
    int32_t value = id ? (int32_t)(uint16_t)id->mValue : -1;
    UnloadChunkData(chunk);
    return value;
}

void SetNodeId(Chunk* node, uint16_t id) {
    Chunk* chunk = FindChild(node, NODE_ID);
    if (!chunk) return;
    ShortData* data = GetData<ShortData>(chunk);
    if (data && (uint16_t)data->mValue == id) return;
    data = KeepDataAs<ShortData>(chunk);
    if (!data) data = MakeData<ShortData>(chunk);
    if (data) data->mValue = (int16_t)id;
}

void AddNodeEntry(Chunk* node) {
    if (!node) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    NodeEntry* entry = NewNodeEntry();
    entry->mChunk = node;
    Chunk* header = nullptr;
    FindChunk(node, NODE_HEADER, &header);
    NodeHeaderData* data = GetData<NodeHeaderData>(header);
    if (!data) return;
    entry->mName = data->mName;
    entry->mHasName = true;
    int32_t id = GetNodeId(node);
    entry->mId = (uint16_t)id;
    entry->mTag = node->mTag;
    entry->mParent = data->mParent;
    if (node->mTag == OBJECT_NODE) {
        Chunk* instance = FindChild(node, NODE_INSTANCE_NAME);
        if (StringData* text = GetData<StringData>(instance)) {
            entry->mInstance = text->mText;
            entry->mHasInstance = true;
        }
        UnloadChunkData(instance);
    }
    UnloadChunkData(header);
}

void CollectNodes(Chunk* keyframer) {
    if (!keyframer) return;
    for (Chunk* node = keyframer->mChildren; node; node = node->mNext) {
        if (!IsNodeTag(node->mTag)) continue;
        AddNodeEntry(node);
        if (Stopped()) return;
    }
}

void NumberNodeEntries() {
    bool unnumbered = false;
    for (NodeEntry* entry = gHead; entry; entry = entry->mNext)
        if (entry->mId == kNoNodeId) unnumbered = true;
    if (!unnumbered) return;
    uint16_t id = 0;
    for (NodeEntry* entry = gHead; entry; entry = entry->mNext)
        entry->mId = id++;
    gLookupsStale = true;
}

NodeEntry* FindNodeEntryById(uint16_t id) {
    BuildLookups();
    auto found = gById.find(id);
    return found == gById.end() ? nullptr : found->second;
}

NodeEntry* FindNodeEntryByName(const char* name) {
    if (!name) return nullptr;
    BuildLookups();
    std::string key(name);
    size_t point = key.find('.');
    if (point != std::string::npos) key[point] = '\n';
    auto found = gByName.find(key);
    return found == gByName.end() ? nullptr : found->second;
}

void SetParentNames(Chunk* keyframer) {
    if (!keyframer) return;
    // Through the entries, which number nodes without an id chunk by their place in the list (as
    // other programs write them, parents named by that place).
    for (uint32_t tag : kNodeTags) {
        for (NodeEntry* entry = gHead; entry; entry = entry->mNext) {
            if (entry->mTag != tag || !entry->mChunk) continue;
            Chunk* header = FindChild(entry->mChunk, NODE_HEADER);
            if (!header || entry->mParent == -1) continue;
            NodeEntry* parent = FindNodeEntryById((uint16_t)entry->mParent);
            if (!parent || !parent->mHasName) continue;
            std::string name = parent->mName;
            if (parent->mHasInstance && !parent->mInstance.empty()) name += "." + parent->mInstance;
            Chunk* existing = FindChild(header, NODE_PARENT_NAME);
            if (!existing) existing = AddChild(NODE_PARENT_NAME, header);
            if (StringData* text = MakeData<StringData>(existing)) text->mText = name;
        }
    }
}

void SetParentNumbers(Chunk* keyframer) {
    if (!keyframer) return;
    for (Chunk* node = keyframer->mChildren; node; node = node->mNext) {
        if (!IsNodeTag(node->mTag)) continue;
        Chunk* header = FindChild(node, NODE_HEADER);
        NodeHeaderData* data = GetData<NodeHeaderData>(header);
        if (!data) continue;
        int16_t parent = -1;
        if (StringData* name = GetData<StringData>(FindChild(header, NODE_PARENT_NAME))) {
            NodeEntry* entry = FindNodeEntryByName(name->mText.c_str());
            parent = entry ? (int16_t)entry->mId : (int16_t)-1;
        }
        if (data->mParent != parent) {
            // The record stays in memory, so the write puts the new number in the file.
            data = KeepDataAs<NodeHeaderData>(header);
            if (data) data->mParent = parent;
        }
    }
}

void NodeListFromFile(Database* database) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    ClearNodeList();
    Chunk* keyframer = nullptr;
    if (database->mTop) FindChunk(database->mTop, KEYFRAMER_DATA, &keyframer);
    if (!keyframer) return;
    // The list points into this file's chunks: it goes with the call, also when memory runs out.
    try {
        CollectNodes(keyframer);
        NumberNodeEntries();
        SetParentNames(keyframer);
    } catch (const std::bad_alloc&) {
        ReleaseNodeList();
        throw;
    }
    ReleaseNodeList();
}

void NodeListForWrite(Database* database) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    ClearNodeList();
    Chunk* keyframer = nullptr;
    if (database->mTop) FindChunk(database->mTop, KEYFRAMER_DATA, &keyframer);
    if (!keyframer) return;
    // As for a read: the list points into the chunks being saved, and goes with the call.
    try {
        uint16_t counter = 0;
        for (Chunk* node = keyframer->mChildren; node; node = node->mNext) {
            if (node->mTag == AMBIENT_NODE) {
                SetNodeId(node, kNoNodeId);
            } else if (IsNodeTag(node->mTag)) {
                SetNodeId(node, counter);
                AddNodeEntry(node);
                gTail->mId = counter;
                ++counter;
            }
        }
        gLookupsStale = true;
        SetParentNumbers(keyframer);
    } catch (const std::bad_alloc&) {
        ReleaseNodeList();
        throw;
    }
    ReleaseNodeList();
}

void DumpNodeList(std::FILE* stream) {
    if (!stream) return;
    for (NodeEntry* entry = gHead; entry; entry = entry->mNext) {
        if (entry->mHasInstance)
            std::fprintf(stream, "ID:%d\tName:%s.%s\tParent:%d\n", entry->mId, entry->mName.c_str(),
                         entry->mInstance.c_str(), entry->mParent);
        else
            std::fprintf(stream, "ID:%d\tName:%s\tParent:%d\n", entry->mId, entry->mName.c_str(),
                         entry->mParent);
    }
}

void DumpNodeTree(std::FILE* stream) {
    if (!stream) return;
    // Children by parent number, in list order; each entry is printed at most once, whatever
    // repeats or loops the numbers hold.
    std::unordered_map<int, std::vector<NodeEntry*>> children;
    for (NodeEntry* entry = gHead; entry; entry = entry->mNext)
        if (entry->mParent != -1) children[(int)entry->mParent].push_back(entry);
    std::unordered_set<NodeEntry*> visited;
    for (NodeEntry* root = gHead; root; root = root->mNext) {
        if (root->mParent != -1 || !visited.insert(root).second) continue;
        std::vector<std::pair<NodeEntry*, int>> stack{{root, 0}};
        while (!stack.empty()) {
            auto [entry, depth] = stack.back();
            stack.pop_back();
            std::fprintf(stream, "%s%s\n", std::string((size_t)depth, '-').c_str(), entry->mName.c_str());
            auto found = children.find((int)entry->mId);
            if (found == children.end()) continue;
            // Pushed in reverse so that they come out in list order.
            for (auto it = found->second.rbegin(); it != found->second.rend(); ++it)
                if (visited.insert(*it).second) stack.emplace_back(*it, depth + 1);
        }
    }
}

}  // namespace Ftk
