// Databases: creation, loading, saving, copying and release; release stamps by database kind; the
// mesh settings and keyframer settings blocks.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_database.h"
#include "formats/geometry/3ds/ftk_keyframer.h"

namespace Ftk {

namespace {

void ResetIndexes(Database* database) {
    ReleaseNameIndex(&database->mObjectIndex);
    ReleaseNameIndex(&database->mMaterialIndex);
    ReleaseNameIndex(&database->mNodeIndex);
    database->mObjectsStale = 1;
    database->mMaterialsStale = 1;
    database->mNodesStale = 1;
}

}  // namespace

void PutChunkCopy(Chunk* parent, Chunk* source) {
    if (!parent || !source) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* copy = nullptr;
    CopyChunkTree(source, &copy);
    if (!copy) return;
    Chunk* existing = FindChild(parent, source->mTag);
    if (!existing) {
        InsertChildByRank(parent, copy);
        return;
    }
    ResetChunk(existing);
    existing->mTag = copy->mTag;
    existing->mLength = copy->mLength;
    existing->mPosition = copy->mPosition;
    existing->mSourceFile = copy->mSourceFile;
    existing->mDataSize = copy->mDataSize;
    existing->mData = copy->mData;
    existing->mChildren = copy->mChildren;
    existing->mLastChild = copy->mLastChild;
    existing->mMinChildRank = copy->mMinChildRank;
    copy->mData = nullptr;
    copy->mChildren = nullptr;
    ReleaseChunk(&copy);
}

// ---- Databases ----------------------------------------------------------------------------------

void NewDatabase(Database** database) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*database) {
        *database = oxa_alloc::Counted(new (std::nothrow) Database);
        if (!*database) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    ReleaseChunk(&(*database)->mTop);
    ResetIndexes(*database);
}

void CreateDatabase(Database* database, int kind) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* top = nullptr;
    NewChunk(&top);
    if (!top) {
        Fail(ERR_CREATING_DATABASE);
        return;
    }
    switch (kind) {
        case kSceneFile:
            top->mTag = FILE_MAIN;
            break;
        case kProjectFile:
            top->mTag = FILE_PROJECT;
            break;
        case kMaterialLibrary:
            top->mTag = FILE_MATLIB;
            break;
        default:
            break;
    }
    ReleaseChunk(&database->mTop);
    ResetIndexes(database);
    database->mTop = top;
    SetDatabaseRelease(database, 2);
}

int GetDatabaseKind(Database* database) {
    if (!database || !database->mTop) return kNoDatabase;
    switch (database->mTop->mTag) {
        case FILE_MAIN:
            return kSceneFile;
        case FILE_PROJECT:
            return kProjectFile;
        case FILE_MATLIB:
            return kMaterialLibrary;
        default:
            return kNoDatabase;
    }
}

bool CheckDatabase(Database* database, bool allKinds) {
    if (!database) return !Fail(ERR_INVALID_ARG);
    if (!database->mTop) return !Fail(ERR_INVALID_DATABASE);
    int kind = GetDatabaseKind(database);
    if (kind == kSceneFile || kind == kProjectFile || (allKinds && kind == kMaterialLibrary)) return true;
    return !Fail(ERR_WRONG_DATABASE);
}

Chunk* GetEditorChunk(Database* database, bool create) {
    if (!database || !database->mTop) return nullptr;
    Chunk* editor = FindChild(database->mTop, EDITOR_DATA);
    if (!editor) FindChunk(database->mTop, EDITOR_DATA, &editor);
    if (!editor && create) editor = AddChild(EDITOR_DATA, database->mTop);
    return editor;
}

void LoadDatabase(File* file, Database* database) {
    if (!file || !database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!(file->mMode & kFileRead) || !file->mStream) return;
    Chunk* top = nullptr;
    NewChunk(&top);
    if (!top) {
        Fail(ERR_CREATING_DATABASE);
        return;
    }
    ReleaseChunk(&database->mTop);
    ResetIndexes(database);
    database->mTop = top;
    top->mSourceFile = file->mSlot;
    SelectFile(file);
    if (std::fseek(file->mStream, 0, SEEK_SET) != 0) {
        Fail(ERR_CREATING_DATABASE);
        return;
    }
    uint32_t tag = 0, length = 0;
    ReadHeader(&tag, &length);
    if (IsErrorPending() && Fail(ERR_CREATING_DATABASE)) return;
    top->mTag = tag;
    top->mLength = length;
    if (tag != FILE_MAIN && tag != FILE_PROJECT && tag != FILE_MATLIB) return;
    const bool pendingBefore = IsErrorPending();
    ReadChildren(top, file->mSize);
    const bool readFailed = IsErrorPending() && !pendingBefore;
    if (readFailed && Fail(ERR_CREATING_DATABASE)) return;
    NodeListFromFile(database);
    if (!readFailed && IsErrorPending() && !pendingBefore) PushError(ERR_CREATING_DATABASE);
}

void SaveDatabase(File* file, Database* database) {
    if (!file || !database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    const int errorsBefore = GetErrorCount();
    bool written = false;
    do {
        if (!database->mTop) {
            Fail(ERR_INVALID_DATABASE);
            break;
        }
        SetDatabaseRelease(database, 2);
        if (Stopped()) break;
        if (!(file->mMode & kFileWrite) || !file->mStream) return;
        NodeListForWrite(database);
        if (Stopped()) break;
        SelectFile(file);
        if (std::fseek(file->mStream, 0, SEEK_SET) != 0) break;
        database->mTop->mWrittenFile = file->mSlot;
        WriteChunkTree(database->mTop, file->mSlot);
        written = !Stopped() && GetErrorCount() == errorsBefore;
    } while (false);
    if (!written) {
        // The target keeps its old content: the partial file is not put in its place.
        if (file->mMode & kFileWrite) file->mWriteFailed = true;
        PushError(ERR_WRITING_DATABASE);
    }
}

void CopyDatabase(Database* database, Database** copy) {
    if (!database || !copy) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    NewDatabase(copy);
    if (!*copy) return;
    if (database->mTop) CopyChunkTree(database->mTop, &(*copy)->mTop);
}

void DetachDatabase(Database* database) {
    if (!database) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!database->mTop) {
        Fail(ERR_INVALID_DATABASE);
        return;
    }
    LoadChunkTree(database->mTop);
}

void ReleaseDatabase(Database** database) {
    if (!database || !*database) return;
    ReleaseChunk(&(*database)->mTop);
    ResetIndexes(*database);
    delete *database;
    *database = nullptr;
}

int GetDatabaseRelease(Database* database) {
    if (!database || !database->mTop) {
        Fail(ERR_INVALID_DATABASE);
        return 3;
    }
    switch (GetDatabaseKind(database)) {
        case kSceneFile:
            return GetFileVersion(database->mTop);
        case kProjectFile:
            return GetMeshVersion(database->mTop);
        case kMaterialLibrary:
            return 2;
        default:
            return 3;
    }
}

void SetDatabaseRelease(Database* database, int release) {
    if (!database || !database->mTop) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    switch (GetDatabaseKind(database)) {
        case kSceneFile:
            SetFileVersion(database->mTop, release);
            if (Stopped()) return;
            SetMeshVersion(database->mTop, release);
            if (Stopped()) return;
            SetKeyframerVersion(database->mTop, release);
            break;
        case kProjectFile:
            SetMeshVersion(database->mTop, release);
            if (Stopped()) return;
            SetKeyframerVersion(database->mTop, release);
            break;
        default:
            break;
    }
}

// ---- Mesh settings ------------------------------------------------------------------------------

void InitSettingsBlock(MeshSettings** block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*block) {
        *block = oxa_alloc::Counted(new (std::nothrow) MeshSettings);
        if (!*block) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    **block = MeshSettings();
}

void ReleaseSettings(MeshSettings** block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    delete *block;
    *block = nullptr;
}

namespace {

float ChildFloat(Chunk* parent, uint32_t tag, float fallback) {
    FloatsData* data = GetData<FloatsData>(FindChild(parent, tag));
    return data && data->mCount ? data->mValues[0] : fallback;
}

// The colour of a colour chunk (floats as they are, bytes times `byteScale`); false when absent.
bool ColorOf(Chunk* chunk, float byteScale, float out[3]) {
    if (!chunk) return false;
    ChunkData* data = ReadChunkData(chunk);
    if (!data) return false;
    if (data->mKind == kDataFloats) {
        FloatsData* floats = static_cast<FloatsData*>(data);
        for (int i = 0; i < 3; ++i)
            out[i] = floats->mCount > (uint32_t)i ? floats->mValues[i] : 0.0f;
        return true;
    }
    if (data->mKind == kDataBytes) {
        BytesData* bytes = static_cast<BytesData*>(data);
        for (int i = 0; i < 3; ++i)
            out[i] = (float)bytes->mValues[i] * byteScale;
        return true;
    }
    return false;
}

}  // namespace

void GetSettings(Database* database, MeshSettings** block) {
    if (!database || !block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    InitSettingsBlock(block);
    if (Stopped() || !*block) return;
    Chunk* editor = GetEditorChunk(database, false);
    if (!editor) return;
    MeshSettings* settings = *block;
    settings->mMasterScale = ChildFloat(editor, MASTER_SCALE, settings->mMasterScale);
    settings->mShadowLowBias = ChildFloat(editor, SHADOW_LOW_BIAS, settings->mShadowLowBias);
    settings->mRayTraceBias = ChildFloat(editor, SHADOW_RAY_BIAS, settings->mRayTraceBias);
    settings->mShadowFilter = ChildFloat(editor, SHADOW_FILTER, settings->mShadowFilter);
    if (ShortData* size = GetData<ShortData>(FindChild(editor, SHADOW_MAP_SIZE)))
        settings->mShadowMapSize = size->mValue;
    if (Chunk* ambient = FindChild(editor, AMBIENT_COLOR)) {
        settings->mAmbientInFile = true;
        // Each colour found replaces the one before; the byte colours count 256 steps.
        const uint32_t order[4] = {COLOR_FLOAT, COLOR_BYTE, COLOR_FLOAT_GAMMA, COLOR_BYTE_GAMMA};
        for (uint32_t tag : order)
            ColorOf(FindChild(ambient, tag), 0.00390625f, settings->mAmbient);
    }
    if (FloatsData* origin = GetData<FloatsData>(FindChild(editor, CONSTRUCTION_ORIGIN))) {
        settings->mConstructionOrigin = Point3{origin->mValues[0], origin->mValues[1], origin->mValues[2]};
    }
}

void PutSettings(Database* database, MeshSettings* block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return;
    Chunk* chunk = nullptr;
    auto putFloats = [&](uint32_t tag, std::initializer_list<float> values) {
        ReplaceOrAddChild(editor, tag, &chunk);
        if (FloatsData* data = MakeData<FloatsData>(chunk)) {
            uint32_t i = 0;
            for (float value : values)
                data->mValues[i++] = value;
        }
    };
    ReplaceOrAddChild(editor, EDITOR_VERSION, &chunk);
    if (LongData* version = MakeData<LongData>(chunk)) version->mValue = 3;
    putFloats(MASTER_SCALE, {block->mMasterScale});
    putFloats(SHADOW_LOW_BIAS, {block->mShadowLowBias});
    ReplaceOrAddChild(editor, SHADOW_MAP_SIZE, &chunk);
    if (ShortData* size = MakeData<ShortData>(chunk)) size->mValue = block->mShadowMapSize;
    putFloats(SHADOW_FILTER, {block->mShadowFilter});
    putFloats(SHADOW_RAY_BIAS, {block->mRayTraceBias});
    Chunk* ambient = nullptr;
    ReplaceOrAddChild(editor, AMBIENT_COLOR, &ambient);
    if (ambient) {
        for (uint32_t tag : {COLOR_FLOAT, COLOR_FLOAT_GAMMA}) {
            if (FloatsData* color = MakeData<FloatsData>(AddChild(tag, ambient)))
                for (int i = 0; i < 3; ++i)
                    color->mValues[i] = block->mAmbient[i];
        }
    }
    putFloats(CONSTRUCTION_ORIGIN,
              {block->mConstructionOrigin.x, block->mConstructionOrigin.y, block->mConstructionOrigin.z});
}

void CopySettings(Database* destination, Database* source) {
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    Chunk* from = GetEditorChunk(source, false);
    if (!from) return;
    Chunk* to = GetEditorChunk(destination, true);
    if (!to) return;
    for (uint32_t tag : {MASTER_SCALE, SHADOW_LOW_BIAS, SHADOW_MAP_SIZE, SHADOW_FILTER, SHADOW_RAY_BIAS,
                         CONSTRUCTION_ORIGIN, EDITOR_VERSION}) {
        if (Chunk* chunk = FindChild(from, tag)) PutChunkCopy(to, chunk);
        if (Stopped()) return;
    }
}

// ---- Keyframer settings -------------------------------------------------------------------------

void InitKeyframerSettings(KeyframerSettings** block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*block) {
        *block = oxa_alloc::Counted(new (std::nothrow) KeyframerSettings);
        if (!*block) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    **block = KeyframerSettings();
}

void ReleaseKeyframerSettings(KeyframerSettings** block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    delete *block;
    *block = nullptr;
}

void GetKeyframerSettings(Database* database, KeyframerSettings* block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* keyframer = nullptr;
    FindChunk(database->mTop, KEYFRAMER_DATA, &keyframer);
    if (!keyframer) return;
    if (KeyframerHeaderData* header = GetData<KeyframerHeaderData>(FindChild(keyframer, KEYFRAMER_HEADER))) {
        block->mAnimationLength = header->mAnimationLength;
        block->mHeaderInFile = true;
        block->mSceneName = header->mSceneName;
    }
    if (LongData* frame = GetData<LongData>(FindChild(keyframer, KEYFRAMER_CURRENT_FRAME)))
        block->mCurrentFrame = frame->mValue;
    if (SegmentData* segment = GetData<SegmentData>(FindChild(keyframer, KEYFRAMER_SEGMENT))) {
        block->mSegmentInUse = true;
        block->mSegmentFirst = segment->mFirst;
        block->mSegmentLast = segment->mLast;
    }
}

void PutKeyframerSettings(Database* database, KeyframerSettings* block) {
    if (!block) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    // A longer name is cut between characters: never inside a UTF-8 sequence.
    std::string name = block->mSceneName;
    if (name.size() > kKeyframerNameCapacity) {
        size_t end = kKeyframerNameCapacity;
        while (end > 0 && ((uint8_t)name[end] & 0xC0) == 0x80)
            --end;
        name.resize(end);
    }
    Chunk* header = FindChild(keyframer, KEYFRAMER_HEADER);
    if (KeyframerHeaderData* data = KeepDataAs<KeyframerHeaderData>(header)) {
        data->mAnimationLength = block->mAnimationLength;
        if (!name.empty()) data->mSceneName = name;
    } else {
        if (header) RemoveChild(keyframer, header);
        if (KeyframerHeaderData* made =
                MakeData<KeyframerHeaderData>(AddChild(KEYFRAMER_HEADER, keyframer))) {
            made->mRevision = 5;
            made->mSceneName = name;
            made->mAnimationLength = block->mAnimationLength;
        }
    }
    Chunk* chunk = nullptr;
    ReplaceOrAddChild(keyframer, KEYFRAMER_CURRENT_FRAME, &chunk);
    if (LongData* frame = MakeData<LongData>(chunk)) frame->mValue = block->mCurrentFrame;
    if (block->mSegmentInUse) {
        ReplaceOrAddChild(keyframer, KEYFRAMER_SEGMENT, &chunk);
        if (SegmentData* segment = MakeData<SegmentData>(chunk)) {
            segment->mFirst = block->mSegmentFirst;
            segment->mLast = block->mSegmentLast;
        }
    } else if (Chunk* segment = FindChild(keyframer, KEYFRAMER_SEGMENT)) {
        RemoveChild(keyframer, segment);
    }
}

void CopyKeyframerSettings(Database* destination, Database* source) {
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    Chunk* from = nullptr;
    FindChunk(source->mTop, KEYFRAMER_DATA, &from);
    if (!from) return;
    Chunk* to = GetKeyframerData(destination->mTop);
    if (!to) return;
    for (uint32_t tag : {KEYFRAMER_HEADER, KEYFRAMER_CURRENT_FRAME, KEYFRAMER_SEGMENT}) {
        if (Chunk* chunk = FindChild(from, tag)) PutChunkCopy(to, chunk);
        if (Stopped()) return;
    }
}

}  // namespace Ftk
