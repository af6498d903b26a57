// The chunk tree: nodes, searches, canonical insertion, copies, reading a file's chunk skeleton,
// writing a tree with its lengths fixed up, checksums and release stamps.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_core.h"

namespace Ftk {

namespace {

// The last sub-chunk of `parent`, from its link when that is current, else by walking.
Chunk* LastChild(Chunk* parent) {
    if (!parent->mChildren) return nullptr;
    Chunk* last = parent->mLastChild;
    if (!last || last->mNext) {
        last = parent->mChildren;
        while (last->mNext)
            last = last->mNext;
        parent->mLastChild = last;
    }
    return last;
}

void FreeNode(Chunk* chunk) {
    delete chunk->mData;
    delete chunk;
}

}  // namespace

void NewChunk(Chunk** out) {
    if (!out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *out = oxa_alloc::Counted(new (std::nothrow) Chunk);
    if (!*out) Fail(ERR_NO_MEM);
}

void NewChunkWithTag(Chunk** out, uint32_t tag) {
    NewChunk(out);
    if (out && *out) (*out)->mTag = tag;
}

ChunkData* NewChunkWithData(Chunk** out, uint32_t tag) {
    NewChunkWithTag(out, tag);
    if (!out || !*out) return nullptr;
    return AllocChunkData(*out);
}

void ReleaseChunk(Chunk** chunk) {
    if (!chunk || !*chunk) return;
    // Iterative, so that neither deep trees nor long sibling lists grow the call stack, and
    // without allocating: a release is what runs when memory has run out, and one cut off part
    // way would leave the caller's link pointing at freed nodes. Each node's sub-chunks are put
    // in front of its siblings before it is freed; every list is walked once.
    Chunk* node = *chunk;
    *chunk = nullptr;
    while (node) {
        Chunk* next = node->mNext;
        if (Chunk* children = node->mChildren) {
            Chunk* last = children;
            while (last->mNext)
                last = last->mNext;
            last->mNext = next;
            next = children;
        }
        FreeNode(node);
        node = next;
    }
}

void ReleaseChunkChain(Chunk** chunk) {
    ReleaseChunk(chunk);
}

void ResetChunk(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    ReleaseChunk(&chunk->mChildren);
    chunk->mLastChild = nullptr;
    chunk->mMinChildRank = 255;
    FreeChunkData(chunk);
    chunk->mTag = 0;
    chunk->mLength = 0;
    chunk->mPosition = 0;
    chunk->mDataSize = 0;
    chunk->mSourceFile = kNoFile;
    chunk->mWrittenFile = kNoFile;
}

void FindChunk(Chunk* start, uint32_t tag, Chunk** out) {
    if (!out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *out = nullptr;
    if (!start) return;
    if (start->mTag == tag) {
        *out = start;
        return;
    }
    // Pre-order: each level keeps the next sibling still to visit.
    std::vector<Chunk*> stack;
    if (start->mChildren) stack.push_back(start->mChildren);
    while (!stack.empty()) {
        Chunk* node = stack.back();
        stack.back() = node->mNext;
        if (node->mTag == tag) {
            *out = node;
            return;
        }
        if (node->mChildren) stack.push_back(node->mChildren);
        while (!stack.empty() && !stack.back())
            stack.pop_back();
    }
}

void FindNextChunk(Chunk* first, uint32_t tag, Chunk** out) {
    if (!out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *out = nullptr;
    for (Chunk* node = first; node; node = node->mNext) {
        if (node->mTag == tag) {
            *out = node;
            return;
        }
    }
}

// Lowers the parent's rank floor for a new sub-chunk. Dropped chunks (tag 0) are never written,
// so where a chunk stands relative to them does not matter: they do not count.
static void NoteChildRank(Chunk* parent, const Chunk* child) {
    if (child->mTag == 0) return;
    int rank = ChunkRank(child->mTag);
    if (rank < parent->mMinChildRank) parent->mMinChildRank = (uint8_t)rank;
}

void AppendChild(Chunk* parent, Chunk* child) {
    if (!parent || !child) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* last = LastChild(parent);
    if (last)
        last->mNext = child;
    else
        parent->mChildren = child;
    Chunk* tail = child;
    NoteChildRank(parent, tail);
    while (tail->mNext) {
        tail = tail->mNext;
        NoteChildRank(parent, tail);
    }
    parent->mLastChild = tail;
}

int ChunkRank(uint32_t tag) {
    switch (tag) {
        case CHUNK_2D2D:
            return 34;
        case CHUNK_2D3D:
            return 33;
        case FILE_MAIN:
            return 32;
        case FILE_VERSION:
            return 31;
        case EDITOR_DATA:
            return 30;
        case KEYFRAMER_DATA:
            return 29;
        case COLOR_BYTE:
            return 28;
        case COLOR_BYTE_GAMMA:
            return 27;
        case EDITOR_VERSION:
            return 26;
        case MATERIAL_BLOCK:
            return 25;
        case KEYFRAMER_HEADER:
            return 24;
        case MASTER_SCALE:
            return 23;
        case VIEWPORT_LAYOUT:
            return 22;
        case SHADOW_LOW_BIAS:
        case SHADOW_HIGH_BIAS:
            return 21;
        case SHADOW_MAP_SIZE:
        case SHADOW_SAMPLES:
        case SHADOW_RANGE:
            return 20;
        case SHADOW_FILTER:
            return 19;
        case SHADOW_RAY_BIAS:
            return 18;
        case CONSTRUCTION_ORIGIN:
            return 17;
        case AMBIENT_COLOR:
            return 16;
        case BACKGROUND_SOLID:
            return 15;
        case BACKGROUND_BITMAP:
            return 14;
        case BACKGROUND_GRADIENT:
            return 13;
        case USE_BACKGROUND_BITMAP:
        case USE_BACKGROUND_SOLID:
        case USE_BACKGROUND_GRADIENT:
            return 12;
        case FOG:
        case USE_FOG:
            return 11;
        case LAYER_FOG:
        case USE_LAYER_FOG:
            return 10;
        case DISTANCE_CUE:
        case USE_DISTANCE_CUE:
            return 9;
        case VIEW_DEFAULT:
            return 8;
        case OBJECT_BLOCK:
            return 7;
        case KEYFRAMER_SEGMENT:
            return 6;
        case KEYFRAMER_CURRENT_FRAME:
            return 5;
        case OBJECT_NODE:
        case CAMERA_NODE:
        case CAMERA_TARGET_NODE:
        case LIGHT_NODE:
        case LIGHT_TARGET_NODE:
        case SPOTLIGHT_NODE:
            return 4;
        case AMBIENT_NODE:
            return 3;
        case TRIANGLE_MESH:
        case LIGHT:
        case CAMERA:
            return 2;
        case OBJECT_HIDDEN:
            return 1;
        default:
            return 0;
    }
}

void InsertChildByRank(Chunk* parent, Chunk* child) {
    if (!parent || !child) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    child->mNext = nullptr;
    const int rank = ChunkRank(child->mTag);
    // Most insertions land at the end (puts add in descending rank): no walk for those.
    if (parent->mMinChildRank >= rank || !parent->mChildren) {
        AppendChild(parent, child);
        return;
    }
    Chunk* previous = nullptr;
    Chunk* node = parent->mChildren;
    while (node && (node->mTag == 0 || ChunkRank(node->mTag) >= rank)) {
        previous = node;
        node = node->mNext;
    }
    if (!node) {
        AppendChild(parent, child);
        return;
    }
    child->mNext = node;
    if (previous)
        previous->mNext = child;
    else
        parent->mChildren = child;
    NoteChildRank(parent, child);
}

Chunk* AddChild(uint32_t tag, Chunk* parent) {
    if (!parent) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    Chunk* child = nullptr;
    NewChunkWithTag(&child, tag);
    if (!child) return nullptr;
    InsertChildByRank(parent, child);
    return child;
}

void ReplaceOrAddChild(Chunk* parent, uint32_t tag, Chunk** out) {
    if (!parent || !out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    FindNextChunk(parent->mChildren, tag, out);
    if (*out) {
        ResetChunk(*out);
        (*out)->mTag = tag;
        return;
    }
    *out = AddChild(tag, parent);
}

namespace {

Chunk* CopyNode(Chunk* source) {
    // Held until whole: a record copy that runs out of memory frees the node.
    std::unique_ptr<Chunk> copy(oxa_alloc::Counted(new (std::nothrow) Chunk));
    if (!copy) {
        Fail(ERR_NO_MEM);
        return nullptr;
    }
    copy->mTag = source->mTag;
    copy->mLength = source->mLength;
    copy->mPosition = source->mPosition;
    copy->mSourceFile = source->mSourceFile;
    copy->mWrittenFile = source->mWrittenFile;
    copy->mDataSize = source->mDataSize;
    if (source->mSourceFile != kNoFile) {
        // The source can read its data again from the file: the loaded record moves over.
        copy->mData = source->mData;
        source->mData = nullptr;
    } else {
        copy->mData = CloneRecord(source->mData);
    }
    return copy.release();
}

}  // namespace

void CopyChunkTree(Chunk* source, Chunk** out) {
    if (!source || !out) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *out = CopyNode(source);
    if (!*out) return;
    // Each stack entry: the next source child to copy and the copy to hang it under.
    std::vector<std::pair<Chunk*, Chunk*>> stack;
    if (source->mChildren) stack.emplace_back(source->mChildren, *out);
    while (!stack.empty()) {
        auto& top = stack.back();
        Chunk* node = top.first;
        Chunk* parent = top.second;
        top.first = node->mNext;
        Chunk* copy = CopyNode(node);
        if (!copy) return;
        AppendChild(parent, copy);
        if (!stack.back().first) stack.pop_back();
        if (node->mChildren) stack.emplace_back(node->mChildren, copy);
    }
}

void LoadChunkTree(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    std::vector<Chunk*> stack{chunk};
    bool first = true;
    while (!stack.empty()) {
        Chunk* node = stack.back();
        stack.pop_back();
        // The start chunk's siblings are not part of its tree.
        if (!first && node->mNext) stack.push_back(node->mNext);
        first = false;
        if (node->mChildren) stack.push_back(node->mChildren);
        ReadChunkData(node);
        if (Stopped()) return;
        node->mSourceFile = kNoFile;
        node->mWrittenFile = kNoFile;
    }
}

uint32_t ChunkChecksum(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return 0;
    }
    File* file = GetFileByIndex(chunk->mSourceFile);
    if (!file || !file->mStream) return 0;
    SelectFile(file);
    // Only the bytes the file holds.
    uint64_t length = chunk->mLength;
    if (file->mMode & kFileRead) {
        uint64_t held = file->mSize > chunk->mPosition ? file->mSize - chunk->mPosition : 0;
        if (length > held) length = held;
    }
    if (std::fseek(file->mStream, (long)chunk->mPosition, SEEK_SET) != 0) return 0;
    uint32_t sum = 0;
    uint8_t buffer[4096];
    bool odd = false;
    uint8_t low = 0;
    while (length > 0) {
        size_t step = length < sizeof buffer ? (size_t)length : sizeof buffer;
        size_t got = std::fread(buffer, 1, step, file->mStream);
        for (size_t i = 0; i < got; ++i) {
            if (!odd) {
                low = buffer[i];
            } else {
                sum += (uint32_t)low | ((uint32_t)buffer[i] << 8);
            }
            odd = !odd;
        }
        if (got < step) break;
        length -= step;
    }
    if (odd) sum += low;  // padded with one zero byte
    return sum;
}

ChunkData* KeepData(Chunk* chunk) {
    if (!chunk) return nullptr;
    ChunkData* data = ReadChunkData(chunk);
    if (data) chunk->mSourceFile = kNoFile;
    return data;
}

void RemoveChild(Chunk* parent, Chunk* child) {
    if (!parent || !child) return;
    Chunk* previous = nullptr;
    for (Chunk* node = parent->mChildren; node; previous = node, node = node->mNext) {
        if (node != child) continue;
        if (previous)
            previous->mNext = node->mNext;
        else
            parent->mChildren = node->mNext;
        if (parent->mLastChild == node) parent->mLastChild = previous;
        node->mNext = nullptr;
        ReleaseChunk(&node);
        return;
    }
}

Chunk* FindChild(Chunk* parent, uint32_t tag) {
    if (!parent) return nullptr;
    for (Chunk* node = parent->mChildren; node; node = node->mNext)
        if (node->mTag == tag) return node;
    return nullptr;
}

// ---- Reading the skeleton ---------------------------------------------------------------------

namespace {

// Reads a NUL-terminated string of at most `limit` characters within `available` bytes; its size
// with the NUL, or 0 when the NUL is not in reach (13 pushed for a tag the file needs).
uint32_t SkipString(uint32_t tag, uint32_t limit, uint32_t available) {
    std::FILE* stream = GetCurrentStream();
    uint64_t reach = (uint64_t)limit + 1;
    if (reach > available) reach = available;
    for (uint64_t i = 0; stream && i < reach; ++i) {
        int c = std::getc(stream);
        if (c == EOF) break;
        if (c == 0) return (uint32_t)(i + 1);
    }
    if (IsRequiredTag(tag)) PushError(ERR_READING_FILE);
    return 0;
}

uint32_t FixedSkip(uint32_t tag) {
    switch (tag) {
        case COLOR_BYTE:
            return 3;
        case PERCENT_INT:
        case SHADOW_MAP_SIZE:
        case SHADOW_SAMPLES:
        case NODE_ID:
            return 2;
        case FILE_VERSION:
        case PERCENT_FLOAT:
        case MASTER_SCALE:
        case BACKGROUND_GRADIENT:
        case SHADOW_LOW_BIAS:
        case SHADOW_HIGH_BIAS:
        case EDITOR_VERSION:
        case KEYFRAMER_CURRENT_FRAME:
        case NODE_MORPH_SMOOTH:
        case CHUNK_D000:
            return 4;
        case KEYFRAMER_SEGMENT:
            return 8;
        case SPOT_SHADOW_PARAMS:
            return 10;
        case COLOR_FLOAT:
        case CONSTRUCTION_ORIGIN:
        case LIGHT:
        case MATERIAL_AUTO_REFLECTION:
        case NODE_PIVOT:
            return 12;
        case VIEWPORT_LAYOUT:
            return 14;
        case FOG:
        case DISTANCE_CUE:
        case LAYER_FOG:
        case VIEW_TOP:
        case VIEW_BOTTOM:
        case VIEW_3030:
        case VIEW_3040:
        case VIEW_3050:
        case VIEW_3060:
            return 16;
        case SPOTLIGHT:
            return 20;
        case NODE_BOUNDING_BOX:
            return 24;
        case VIEW_USER:
            return 28;
        case CAMERA:
            return 32;
        case MESH_LOCAL_AXES:
            return 48;
        default:
            return 0;
    }
}

// Tags of a fixed data size that hold no sub-chunks: their data is all they hold.
bool IsFixedLeaf(uint32_t tag) {
    switch (tag) {
        case COLOR_BYTE:
        case PERCENT_INT:
        case SHADOW_MAP_SIZE:
        case SHADOW_SAMPLES:
        case NODE_ID:
        case FILE_VERSION:
        case PERCENT_FLOAT:
        case MASTER_SCALE:
        case SHADOW_LOW_BIAS:
        case SHADOW_HIGH_BIAS:
        case EDITOR_VERSION:
        case KEYFRAMER_CURRENT_FRAME:
        case NODE_MORPH_SMOOTH:
        case KEYFRAMER_SEGMENT:
        case SPOT_SHADOW_PARAMS:
        case COLOR_FLOAT:
        case CONSTRUCTION_ORIGIN:
        case MATERIAL_AUTO_REFLECTION:
        case NODE_PIVOT:
        case NODE_BOUNDING_BOX:
        case MESH_LOCAL_AXES:
            return true;
        default:
            return false;
    }
}

}  // namespace

uint32_t SkipToChildren(uint32_t tag, uint32_t available) {
    if (DataKindOfTag(tag) == kDataNone || tag == EXTENDED_DATA_ENTRY) return 0;
    if (uint32_t fixed = FixedSkip(tag)) return fixed < available ? fixed : available;
    switch (tag) {
        case MESH_FACES: {
            if (available < 2) {
                PushError(ERR_INVALID_CHUNK);
                return available;
            }
            uint16_t count = ReadShort();
            if (IsErrorPending() && !GetContinueFlag()) return 0;
            uint64_t size = 2 + 8ull * count;
            if (size > available) {
                PushError(ERR_INVALID_CHUNK);
                return available;
            }
            return (uint32_t)size;
        }
        case VIEW_CAMERA:
        case OBJECT_BLOCK:
        case NODE_INSTANCE_NAME:
        case BACKGROUND_BITMAP:
        case MATERIAL_NAME:
        case MAP_FILE_NAME:
        case MESH_PROCEDURE_NAME: {
            // Object and node names of any length are read (and cut when kept, FitName). Other
            // programs write material, map and background image names longer than this toolkit
            // does: the chunk holds the string. A string without its NUL in a chunk the file
            // reads without is all data: reading it leaves the chunk out.
            const uint32_t name = SkipString(tag, tag == MESH_PROCEDURE_NAME ? 12 : available, available);
            return name || IsRequiredTag(tag) ? name : available;
        }
        case NODE_HEADER: {
            uint32_t name = SkipString(tag, available, available);
            if (!name) return 0;
            return name + 6 < available ? name + 6 : available;
        }
        case KEYFRAMER_HEADER: {
            // Its revision, name and length: any of them missing leaves the chunk out when read.
            if (available < 2) return available;
            SkipBytes(2);
            uint32_t name = SkipString(tag, 512, available - 2);
            if (!name) return available;
            uint64_t size = 2ull + name + 4;
            return size < available ? (uint32_t)size : available;
        }
        default:
            return available;  // a leaf: the whole content is own data
    }
}

namespace {

bool IsExtendedChildTag(uint32_t tag) {
    return tag >= EXTENDED_DATA_NAME && tag <= 0x800F;
}

// Reads the sub-chunks of `chunk` up to `end` (a bound within the parent and the file).
void ReadChildrenOf(Chunk* chunk, uint64_t end, int depth, File* file) {
    const bool extended = chunk->mTag == EXTENDED_DATA_ENTRY;
    uint64_t position = (uint64_t)chunk->mPosition + 6 + chunk->mDataSize;
    while (position < end) {
        if (end - position < 6) {
            if (!extended) PushError(ERR_INVALID_CHUNK);
            return;
        }
        SelectFile(file);
        if (std::fseek(file->mStream, (long)position, SEEK_SET) != 0) {
            PushError(ERR_READING_FILE);
            return;
        }
        uint32_t tag = 0, length = 0;
        ReadHeader(&tag, &length);
        if (IsErrorPending() && !GetContinueFlag()) return;
        if (extended) {
            // Only 0x8002 to 0x800F belong to an entry: another tag ends it.
            if (!IsExtendedChildTag(tag) || length < 6) return;
            if (position + length > end) {
                position += 6;  // dropped; reading goes on behind its header
                continue;
            }
        } else if (length < 6 || position + length > end) {
            // A child that does not fit its parent or the file: the parent's list ends here.
            PushError(ERR_INVALID_CHUNK);
            return;
        }
        if (depth >= kMaxChunkDepth) {
            PushError(ERR_INVALID_CHUNK);
            return;
        }
        // A chunk of a fixed data size whose data is shorter, or, for one that holds nothing
        // else, longer, has a layout of its own: it is left out, noted, and reading goes on
        // behind it.
        uint32_t fixed = extended ? 0 : FixedSkip(tag);
        // An empty background image name (not even its NUL), solid background or ambient light
        // (no colour in it) says nothing: it is left out the same way.
        if (!extended && length == 6 &&
            (tag == BACKGROUND_BITMAP || tag == BACKGROUND_SOLID || tag == AMBIENT_COLOR))
            fixed = tag == BACKGROUND_BITMAP ? 1 : 9;
        if (fixed != 0 && (length - 6 < fixed || (length - 6 > fixed && IsFixedLeaf(tag)))) {
            NoteSkippedChunk(SkippedChunk{tag, (uint32_t)position, length - 6, fixed});
            position += length;
            continue;
        }
        Chunk* child = oxa_alloc::Counted(new (std::nothrow) Chunk);
        if (!child) {
            PushError(ERR_NO_MEM);
            return;
        }
        child->mTag = tag;
        child->mLength = length;
        child->mPosition = (uint32_t)position;
        child->mSourceFile = file->mSlot;
        child->mDataSize = SkipToChildren(tag, length - 6);
        AppendChild(chunk, child);
        if (IsErrorPending() && !GetContinueFlag()) return;
        ReadChildrenOf(child, position + length, depth + 1, file);
        if (IsErrorPending() && !GetContinueFlag()) return;
        position += length;
    }
}

}  // namespace

void ReadChildren(Chunk* chunk, uint64_t limit) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    File* file = GetFileByIndex(chunk->mSourceFile);
    if (!file || !file->mStream) {
        Fail(ERR_READING_DATABASE);
        return;
    }
    uint64_t end = (uint64_t)chunk->mPosition + chunk->mLength;
    if (end > limit) end = limit;
    bool pendingBefore = IsErrorPending();
    ReadChildrenOf(chunk, end, 1, file);
    if (IsErrorPending() && !pendingBefore) PushError(ERR_READING_DATABASE);
}

// ---- Writing a tree -----------------------------------------------------------------------------

void FixChunkLength(Chunk* chunk, int64_t start, int64_t end) {
    std::FILE* stream = GetCurrentStream();
    if (!chunk || !stream) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (std::fseek(stream, (long)(start + 2), SEEK_SET) != 0) {
        if (File* file = GetCurrentFile()) file->mWriteFailed = true;
        Fail(ERR_WRITING_FILE);
        return;
    }
    WriteLong((uint32_t)(end - start));
    std::fseek(stream, (long)end, SEEK_SET);
    chunk->mLength = (uint32_t)(end - start);
}

namespace {

bool Writable(const Chunk* chunk) {
    return chunk->mTag != 0 && chunk->mTag != NODE_PARENT_NAME;
}

struct WriteFrame {
    Chunk* chunk;
    int64_t start;
    uint32_t dataSize;
    Chunk* nextChild;
};

// Writes the header and own data of `chunk` at the target's position; false to stop.
bool EnterChunk(Chunk* chunk, File* target, std::vector<uint8_t>& bytes, WriteFrame* frame) {
    SelectFile(target);
    chunk->mWrittenFile = target->mSlot;
    int64_t start = std::ftell(target->mStream);
    // The data may come from another file (or from this one, when it is read and written).
    ReadChunkData(chunk);
    if (Stopped()) return false;
    SelectFile(target);
    if (chunk->mSourceFile == target->mSlot) std::fseek(target->mStream, (long)start, SEEK_SET);
    SerializeRecord(chunk->mTag, chunk->mData, bytes);
    // A chunk without sub-chunks gets its length before its header is written, which spares the
    // patch; the others are patched when they differ.
    if (!chunk->mChildren) chunk->mLength = (uint32_t)(6 + bytes.size());
    WriteHeader(chunk->mTag, chunk->mLength);
    if (!bytes.empty()) WriteBytes(bytes.data(), (uint32_t)bytes.size());
    if (Stopped()) return false;
    *frame = WriteFrame{chunk, start, (uint32_t)bytes.size(), chunk->mChildren};
    return true;
}

void LeaveChunk(const WriteFrame& frame, File* target) {
    Chunk* chunk = frame.chunk;
    SelectFile(target);
    int64_t end = std::ftell(target->mStream);
    if (end - frame.start != (int64_t)chunk->mLength) FixChunkLength(chunk, frame.start, end);
    if (target->mMode == kFileReadWrite) {
        // The written copy becomes the chunk's source: where it now stands in that file.
        chunk->mSourceFile = target->mSlot;
        chunk->mPosition = (uint32_t)frame.start;
        chunk->mDataSize = frame.dataSize;
    }
    UnloadChunkData(chunk);
}

}  // namespace

void WriteChunkTree(Chunk* chunk, uint8_t slot) {
    File* target = GetFileByIndex(slot);
    if (!chunk || !target || !target->mStream) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!Writable(chunk)) return;
    std::vector<uint8_t> bytes;
    std::vector<WriteFrame> stack;
    WriteFrame frame;
    if (!EnterChunk(chunk, target, bytes, &frame)) return;
    stack.push_back(frame);
    while (!stack.empty()) {
        WriteFrame& top = stack.back();
        Chunk* child = top.nextChild;
        if (!child) {
            WriteFrame done = top;
            stack.pop_back();
            LeaveChunk(done, target);
            if (Stopped()) return;
            continue;
        }
        top.nextChild = child->mNext;
        if (!Writable(child)) continue;
        if (!EnterChunk(child, target, bytes, &frame)) return;
        stack.push_back(frame);
    }
}

// ---- Release stamps -----------------------------------------------------------------------------

namespace {

int ReleaseFromVersion(int32_t version) {
    switch (version) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 3:
            return 2;
        default:
            return 3;
    }
}

int32_t VersionFromRelease(int release) {
    return release >= 0 && release <= 3 ? release + 1 : 4;
}

}  // namespace

int GetFileVersion(Chunk* root) {
    if (!root) {
        Fail(ERR_INVALID_DATABASE);
        return 3;
    }
    if (root->mTag != FILE_MAIN) return 3;
    Chunk* version = nullptr;
    FindNextChunk(root->mChildren, FILE_VERSION, &version);
    LongData* data = GetData<LongData>(version);
    return data ? ReleaseFromVersion(data->mValue) : 3;
}

void SetFileVersion(Chunk* root, int release) {
    if (!root) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    if (root->mTag != FILE_MAIN) return;
    Chunk* version = nullptr;
    ReplaceOrAddChild(root, FILE_VERSION, &version);
    if (LongData* data = MakeData<LongData>(version)) data->mValue = VersionFromRelease(release);
}

int GetMeshVersion(Chunk* root) {
    if (!root) {
        Fail(ERR_INVALID_DATABASE);
        return 3;
    }
    if (root->mTag != FILE_MAIN && root->mTag != FILE_PROJECT) return 3;
    Chunk* version = nullptr;
    FindChunk(root, EDITOR_VERSION, &version);
    LongData* data = GetData<LongData>(version);
    return data ? ReleaseFromVersion(data->mValue) : 3;
}

void SetMeshVersion(Chunk* root, int release) {
    if (!root) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    Chunk* editor = nullptr;
    FindNextChunk(root->mChildren, EDITOR_DATA, &editor);
    if (!editor) editor = AddChild(EDITOR_DATA, root);
    if (!editor) return;
    Chunk* version = nullptr;
    ReplaceOrAddChild(editor, EDITOR_VERSION, &version);
    if (LongData* data = MakeData<LongData>(version)) data->mValue = VersionFromRelease(release);
}

int GetKeyframerVersion(Chunk* root) {
    if (!root) {
        Fail(ERR_INVALID_DATABASE);
        return 3;
    }
    Chunk* keyframer = nullptr;
    FindNextChunk(root->mChildren, KEYFRAMER_DATA, &keyframer);
    Chunk* header = nullptr;
    if (keyframer) FindNextChunk(keyframer->mChildren, KEYFRAMER_HEADER, &header);
    KeyframerHeaderData* data = GetData<KeyframerHeaderData>(header);
    if (!data) return 3;
    switch (data->mRevision) {
        case 1:
            return 0;
        case 2:
            return 1;
        case 5:
            return 2;
        default:
            return 3;
    }
}

void SetKeyframerVersion(Chunk* root, int release) {
    if (!root) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    Chunk* keyframer = nullptr;
    FindNextChunk(root->mChildren, KEYFRAMER_DATA, &keyframer);
    if (!keyframer) keyframer = AddChild(KEYFRAMER_DATA, root);
    if (!keyframer) return;
    Chunk* header = nullptr;
    FindNextChunk(keyframer->mChildren, KEYFRAMER_HEADER, &header);
    KeyframerHeaderData* data = nullptr;
    if (header) {
        data = KeepDataAs<KeyframerHeaderData>(header);
        if (!data) data = MakeData<KeyframerHeaderData>(header);
    } else {
        header = AddChild(KEYFRAMER_HEADER, keyframer);
        data = MakeData<KeyframerHeaderData>(header);
        if (data) data->mAnimationLength = 30;
    }
    if (!data) return;
    static const int16_t kRevisions[] = {1, 2, 5, 6};
    data->mRevision = release >= 0 && release <= 3 ? kRevisions[release] : 6;
}

}  // namespace Ftk
