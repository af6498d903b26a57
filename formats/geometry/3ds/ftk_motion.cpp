// Keyframer motion records: built from node chunks and put back as node chunks.
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_motion.h"

namespace Ftk {

namespace {

const float kZero3[3] = {0.0f, 0.0f, 0.0f};
const float kOne3[3] = {1.0f, 1.0f, 1.0f};
const float kFov[1] = {60.0f};
const float kZero1[1] = {0.0f};
const float kNinety[1] = {90.0f};
const float kRotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};

void ClearTrack(Track* track) {
    *track = Track();
}

// The track of `chunk` copied (or moved, with `take`) into `track`; a missing one is cleared.
void TrackFrom(Chunk* chunk, Track* track, bool take) {
    TrackData* data = GetData<TrackData>(chunk);
    if (!data) {
        ClearTrack(track);
        return;
    }
    if (take)
        *track = std::move(data->mTrack);
    else
        *track = data->mTrack;
    UnloadChunkData(chunk);
}

uint32_t KeyCountOf(Chunk* chunk) {
    TrackData* data = GetData<TrackData>(chunk);
    return data ? data->mTrack.mKeyCount : 0;
}

// Name, flags and parent name of a node into the node part.
void NodePartFrom(Chunk* node, NodePart* part) {
    Chunk* header = FindChild(node, NODE_HEADER);
    if (NodeHeaderData* data = GetData<NodeHeaderData>(header)) {
        CopyName(part->mName, sizeof part->mName, data->mName.c_str());
        part->mFlags1 = data->mFlags1;
        part->mFlags2 = data->mFlags2;
    }
    GetParentName(node, part->mParentName, sizeof part->mParentName);
    UnloadChunkData(header);
}

void TargetFrom(Chunk* target, char* parentName, size_t size, Track* position, uint16_t* flags1,
                uint16_t* flags2) {
    if (!target) {
        parentName[0] = '\0';
        ClearTrack(position);
        return;
    }
    Chunk* header = FindChild(target, NODE_HEADER);
    if (NodeHeaderData* data = GetData<NodeHeaderData>(header)) {
        *flags1 = data->mFlags1;
        *flags2 = data->mFlags2;
    }
    UnloadChunkData(header);
    GetParentName(target, parentName, size);
    TrackFrom(FindChild(target, TRACK_POSITION), position, false);
}

// Puts are refused for databases other than scene and project files.
bool CheckMotionDatabase(Database* database) {
    return CheckDatabase(database, false);
}

const char* NameOrNull(const char* name) {
    return name && name[0] ? name : nullptr;
}

// A new node chunk with its id and header, or null.
Chunk* NewNode(Database* database, Chunk* keyframer, uint32_t tag, const NodePart& part) {
    Chunk* node = AddChild(tag, keyframer);
    if (!node) {
        PushError(ERR_PUT_FAILED);
        return nullptr;
    }
    char name[sizeof part.mName];
    char parent[sizeof part.mParentName];
    CopyName(name, sizeof name, part.mName);
    CopyName(parent, sizeof parent, part.mParentName);
    AddNodeId(node);
    AddNodeHeader(name, part.mFlags1, part.mFlags2, NameOrNull(parent), node);
    (void)database;
    return node;
}

Chunk* NewTarget(Chunk* keyframer, const NodePart& part, const char* targetParent, const Track& position,
                 uint16_t flags1, uint16_t flags2, bool camera) {
    if (position.mKeyCount == 0 || position.mKeys.size() < position.mKeyCount ||
        position.mValues.size() / 3 < position.mKeyCount)
        return nullptr;
    char name[sizeof part.mName];
    char parent[sizeof NodePart::mParentName];
    CopyName(name, sizeof name, part.mName);
    CopyName(parent, sizeof parent, targetParent);
    return AddTargetNode(NameOrNull(parent), position.mKeyCount, position.mFlags, position.mKeys.data(),
                         position.mValues.data(), name, flags1, flags2, camera, keyframer);
}

// The node (and target node) of a motion by name: the index name first, then the header name.
Chunk* FindMotionNode(Database* database, const char* name, uint32_t tag) {
    Chunk* node = FindNodeByName(database, name, tag);
    if (!node) FindKeyframerNode(database, name, tag, &node);
    return node;
}

Chunk* FindTargetOf(Database* database, Chunk* node, uint32_t targetTag) {
    Chunk* header = FindChild(node, NODE_HEADER);
    NodeHeaderData* data = GetData<NodeHeaderData>(header);
    if (!data) return nullptr;
    std::string name = data->mName;
    UnloadChunkData(header);
    Chunk* target = nullptr;
    FindKeyframerNode(database, name.c_str(), targetTag, &target);
    return target;
}

bool GetChecks(Database* database, const char* name, const void* motion) {
    if (!database || !name || !motion) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    return CheckMotionDatabase(database);
}

}  // namespace

void InitTrack(Track* track, uint32_t count, uint32_t tag, const float* defaultValue) {
    if (!track) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *track = Track();
    const uint32_t width = (uint32_t)TrackValueWidth(tag);
    try {
        track->mKeys.assign(count, KeyHeader());
        if (width) {
            track->mValues.resize((size_t)count * width);
            for (uint32_t k = 0; k < count; ++k)
                for (uint32_t v = 0; v < width; ++v)
                    track->mValues[(size_t)k * width + v] = defaultValue ? defaultValue[v] : 0.0f;
        }
        if (tag == TRACK_MORPH) track->mMorphNames.assign(count, MorphName());
    } catch (const std::bad_alloc&) {
        *track = Track();
        Fail(ERR_NO_MEM);
        return;
    }
    track->mKeyCount = count;
}

namespace {

// One track of a motion to initialise: its key count, its tag and the value of new keys.
struct TrackInit {
    uint32_t count;
    Track* track;
    uint32_t tag;
    const float* value;
};

// *motion, made (with `fresh` set) when it is null; null with the toolkit error when `motion` is
// null or memory is short.
template <class Motion>
Motion* MotionToInit(Motion** motion, bool& fresh) {
    fresh = false;
    if (!motion) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    if (!*motion) {
        *motion = oxa_alloc::Counted(new (std::nothrow) Motion);
        if (!*motion) {
            Fail(ERR_NO_MEM);
            return nullptr;
        }
        fresh = true;
    }
    return *motion;
}

// A new motion's tracks take their key counts; then every track with keys gets them, in order,
// until the toolkit stops.
template <size_t N>
void InitTracks(const TrackInit (&tracks)[N], bool fresh) {
    if (fresh)
        for (const TrackInit& entry : tracks)
            entry.track->mKeyCount = entry.count;
    for (const TrackInit& entry : tracks) {
        if (entry.count) InitTrack(entry.track, entry.count, entry.tag, entry.value);
        if (Stopped()) return;
    }
}

}  // namespace

// ---- Cameras ------------------------------------------------------------------------------------

void InitCameraMotion(CameraMotion** motion, uint32_t positionKeys, uint32_t fovKeys, uint32_t rollKeys,
                      uint32_t targetKeys) {
    bool fresh;
    CameraMotion* m = MotionToInit(motion, fresh);
    if (!m) return;
    const TrackInit tracks[] = {{positionKeys, &m->mPosition, TRACK_POSITION, kZero3},
                                {fovKeys, &m->mFieldOfView, TRACK_FOV, kFov},
                                {rollKeys, &m->mRoll, TRACK_ROLL, kZero1},
                                {targetKeys, &m->mTargetPosition, TRACK_POSITION, kZero3}};
    InitTracks(tracks, fresh);
}

void ReleaseCameraMotion(CameraMotion** motion) {
    if (!motion) return;
    delete *motion;
    *motion = nullptr;
}

uint32_t CountCameraMotions(Database* database) {
    return CountObjectsOfTag(database, CAMERA_NODE);
}

void ListCameraMotionNames(Database* database, StringList** list) {
    ListObjectsOfTag(database, CAMERA_NODE, list);
}

void BuildCameraMotion(Chunk* node, Chunk* target, CameraMotion** motion) {
    if (!node || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* position = FindChild(node, TRACK_POSITION);
    Chunk* fov = FindChild(node, TRACK_FOV);
    Chunk* roll = FindChild(node, TRACK_ROLL);
    Chunk* targetPosition = target ? FindChild(target, TRACK_POSITION) : nullptr;
    InitCameraMotion(motion, KeyCountOf(position), KeyCountOf(fov), KeyCountOf(roll),
                     KeyCountOf(targetPosition));
    if (Stopped() || !*motion) return;
    CameraMotion* m = *motion;
    NodePartFrom(node, m);
    TargetFrom(target, m->mTargetParentName, sizeof m->mTargetParentName, &m->mTargetPosition,
               &m->mTargetFlags1, &m->mTargetFlags2);
    TrackFrom(position, &m->mPosition, false);
    TrackFrom(fov, &m->mFieldOfView, false);
    TrackFrom(roll, &m->mRoll, false);
}

void GetCameraMotionByName(Database* database, const char* name, CameraMotion** motion) {
    if (!GetChecks(database, name, motion)) return;
    Chunk* node = FindMotionNode(database, name, CAMERA_NODE);
    if (!node) return;
    BuildCameraMotion(node, FindTargetOf(database, node, CAMERA_TARGET_NODE), motion);
}

void GetCameraMotionByIndex(Database* database, uint32_t index, CameraMotion** motion) {
    if (!GetChecks(database, "", motion)) return;
    Chunk* node = FindNodeByKind(database, CAMERA_NODE, index);
    if (!node) return;
    BuildCameraMotion(node, FindTargetOf(database, node, CAMERA_TARGET_NODE), motion);
}

void PutCameraMotion(Database* database, CameraMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!database->mTop || database->mTop->mTag != FILE_MAIN) {
        Fail(ERR_INVALID_DATA);
        return;
    }
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    if (Chunk* target = NewTarget(keyframer, *motion, motion->mTargetParentName, motion->mTargetPosition,
                                  motion->mTargetFlags1, motion->mTargetFlags2, true))
        NoteNodeAdded(database, target);
    Chunk* node = NewNode(database, keyframer, CAMERA_NODE, *motion);
    if (!node) return;
    AddTrack(TRACK_POSITION, motion->mPosition, node);
    AddTrack(TRACK_FOV, motion->mFieldOfView, node);
    AddTrack(TRACK_ROLL, motion->mRoll, node);
    NoteNodeAdded(database, node);
}

void DeleteCameraMotionByIndex(Database* database, uint32_t index) {
    DeleteNodeByIndex(database, CAMERA_NODE, index);
}

void DeleteCameraMotionByName(Database* database, const char* name) {
    DeleteNodeByName(database, name, CAMERA_NODE);
}

void CopyCameraMotionByIndex(Database* destination, Database* source, uint32_t index) {
    CopyNodeByIndex(destination, source, CAMERA_NODE, index);
}

void CopyCameraMotionByName(Database* destination, Database* source, const char* name) {
    CopyNodeByName(destination, source, name, CAMERA_NODE);
}

// ---- Omni lights --------------------------------------------------------------------------------

void InitOmniLightMotion(OmniLightMotion** motion, uint32_t positionKeys, uint32_t colorKeys) {
    bool fresh;
    OmniLightMotion* m = MotionToInit(motion, fresh);
    if (!m) return;
    const TrackInit tracks[] = {{positionKeys, &m->mPosition, TRACK_POSITION, kZero3},
                                {colorKeys, &m->mColor, TRACK_COLOR, kOne3}};
    InitTracks(tracks, fresh);
}

void ReleaseOmniLightMotion(OmniLightMotion** motion) {
    if (!motion) return;
    delete *motion;
    *motion = nullptr;
}

uint32_t CountOmniLightMotions(Database* database) {
    return CountObjectsOfTag(database, LIGHT_NODE);
}

void ListOmniLightMotionNames(Database* database, StringList** list) {
    ListObjectsOfTag(database, LIGHT_NODE, list);
}

void BuildOmniLightMotion(Chunk* node, OmniLightMotion** motion) {
    if (!node || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* position = FindChild(node, TRACK_POSITION);
    Chunk* color = FindChild(node, TRACK_COLOR);
    InitOmniLightMotion(motion, KeyCountOf(position), KeyCountOf(color));
    if (Stopped() || !*motion) return;
    NodePartFrom(node, *motion);
    TrackFrom(position, &(*motion)->mPosition, false);
    TrackFrom(color, &(*motion)->mColor, false);
}

void GetOmniLightMotionByName(Database* database, const char* name, OmniLightMotion** motion) {
    if (!GetChecks(database, name, motion)) return;
    if (Chunk* node = FindMotionNode(database, name, LIGHT_NODE)) BuildOmniLightMotion(node, motion);
}

void GetOmniLightMotionByIndex(Database* database, uint32_t index, OmniLightMotion** motion) {
    if (!GetChecks(database, "", motion)) return;
    if (Chunk* node = FindNodeByKind(database, LIGHT_NODE, index)) BuildOmniLightMotion(node, motion);
}

void PutOmniLightMotion(Database* database, OmniLightMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMotionDatabase(database)) return;
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    Chunk* node = NewNode(database, keyframer, LIGHT_NODE, *motion);
    if (!node) return;
    AddTrack(TRACK_POSITION, motion->mPosition, node);
    AddTrack(TRACK_COLOR, motion->mColor, node);
    NoteNodeAdded(database, node);
}

void DeleteOmniLightMotionByIndex(Database* database, uint32_t index) {
    DeleteNodeByIndex(database, LIGHT_NODE, index);
}

void DeleteOmniLightMotionByName(Database* database, const char* name) {
    DeleteNodeByName(database, name, LIGHT_NODE);
}

void CopyOmniLightMotionByIndex(Database* destination, Database* source, uint32_t index) {
    CopyNodeByIndex(destination, source, LIGHT_NODE, index);
}

void CopyOmniLightMotionByName(Database* destination, Database* source, const char* name) {
    CopyNodeByName(destination, source, name, LIGHT_NODE);
}

// ---- Spotlights ---------------------------------------------------------------------------------

void InitSpotlightMotion(SpotlightMotion** motion, uint32_t positionKeys, uint32_t colorKeys,
                         uint32_t hotspotKeys, uint32_t falloffKeys, uint32_t rollKeys, uint32_t targetKeys) {
    bool fresh;
    SpotlightMotion* m = MotionToInit(motion, fresh);
    if (!m) return;
    const TrackInit tracks[] = {{positionKeys, &m->mPosition, TRACK_POSITION, kZero3},
                                {colorKeys, &m->mColor, TRACK_COLOR, kOne3},
                                {hotspotKeys, &m->mHotspot, TRACK_HOTSPOT, kNinety},
                                {falloffKeys, &m->mFalloff, TRACK_FALLOFF, kNinety},
                                {rollKeys, &m->mRoll, TRACK_ROLL, kZero1},
                                {targetKeys, &m->mTargetPosition, TRACK_POSITION, kZero3}};
    InitTracks(tracks, fresh);
}

void ReleaseSpotlightMotion(SpotlightMotion** motion) {
    if (!motion) return;
    delete *motion;
    *motion = nullptr;
}

uint32_t CountSpotlightMotions(Database* database) {
    return CountObjectsOfTag(database, SPOTLIGHT_NODE);
}

void ListSpotlightMotionNames(Database* database, StringList** list) {
    ListObjectsOfTag(database, SPOTLIGHT_NODE, list);
}

void BuildSpotlightMotion(Chunk* node, Chunk* target, SpotlightMotion** motion) {
    if (!node || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* position = FindChild(node, TRACK_POSITION);
    Chunk* color = FindChild(node, TRACK_COLOR);
    Chunk* hotspot = FindChild(node, TRACK_HOTSPOT);
    Chunk* falloff = FindChild(node, TRACK_FALLOFF);
    Chunk* roll = FindChild(node, TRACK_ROLL);
    Chunk* targetPosition = target ? FindChild(target, TRACK_POSITION) : nullptr;
    InitSpotlightMotion(motion, KeyCountOf(position), KeyCountOf(color), KeyCountOf(hotspot),
                        KeyCountOf(falloff), KeyCountOf(roll), KeyCountOf(targetPosition));
    if (Stopped() || !*motion) return;
    SpotlightMotion* m = *motion;
    NodePartFrom(node, m);
    TargetFrom(target, m->mTargetParentName, sizeof m->mTargetParentName, &m->mTargetPosition,
               &m->mTargetFlags1, &m->mTargetFlags2);
    TrackFrom(position, &m->mPosition, false);
    TrackFrom(color, &m->mColor, false);
    TrackFrom(hotspot, &m->mHotspot, false);
    TrackFrom(falloff, &m->mFalloff, false);
    TrackFrom(roll, &m->mRoll, false);
}

void GetSpotlightMotionByName(Database* database, const char* name, SpotlightMotion** motion) {
    if (!GetChecks(database, name, motion)) return;
    Chunk* node = FindMotionNode(database, name, SPOTLIGHT_NODE);
    if (!node) return;
    BuildSpotlightMotion(node, FindTargetOf(database, node, LIGHT_TARGET_NODE), motion);
}

void GetSpotlightMotionByIndex(Database* database, uint32_t index, SpotlightMotion** motion) {
    if (!GetChecks(database, "", motion)) return;
    Chunk* node = FindNodeByKind(database, SPOTLIGHT_NODE, index);
    if (!node) return;
    BuildSpotlightMotion(node, FindTargetOf(database, node, LIGHT_TARGET_NODE), motion);
}

void PutSpotlightMotion(Database* database, SpotlightMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMotionDatabase(database)) return;
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    if (Chunk* target = NewTarget(keyframer, *motion, motion->mTargetParentName, motion->mTargetPosition,
                                  motion->mTargetFlags1, motion->mTargetFlags2, false))
        NoteNodeAdded(database, target);
    Chunk* node = NewNode(database, keyframer, SPOTLIGHT_NODE, *motion);
    if (!node) return;
    AddTrack(TRACK_POSITION, motion->mPosition, node);
    AddTrack(TRACK_COLOR, motion->mColor, node);
    AddTrack(TRACK_HOTSPOT, motion->mHotspot, node);
    AddTrack(TRACK_FALLOFF, motion->mFalloff, node);
    AddTrack(TRACK_ROLL, motion->mRoll, node);
    NoteNodeAdded(database, node);
}

void DeleteSpotlightMotionByIndex(Database* database, uint32_t index) {
    DeleteNodeByIndex(database, SPOTLIGHT_NODE, index);
}

void DeleteSpotlightMotionByName(Database* database, const char* name) {
    DeleteNodeByName(database, name, SPOTLIGHT_NODE);
}

void CopySpotlightMotionByIndex(Database* destination, Database* source, uint32_t index) {
    CopyNodeByIndex(destination, source, SPOTLIGHT_NODE, index);
}

void CopySpotlightMotionByName(Database* destination, Database* source, const char* name) {
    CopyNodeByName(destination, source, name, SPOTLIGHT_NODE);
}

// ---- Objects ------------------------------------------------------------------------------------

void InitObjectMotion(ObjectMotion** motion, uint32_t positionKeys, uint32_t rotationKeys, uint32_t scaleKeys,
                      uint32_t morphKeys, uint32_t hideKeys) {
    bool fresh;
    ObjectMotion* m = MotionToInit(motion, fresh);
    if (!m) return;
    const TrackInit tracks[] = {{positionKeys, &m->mPosition, TRACK_POSITION, kZero3},
                                {rotationKeys, &m->mRotation, TRACK_ROTATION, kRotation},
                                {scaleKeys, &m->mScale, TRACK_SCALE, kOne3},
                                {morphKeys, &m->mMorph, TRACK_MORPH, nullptr},
                                {hideKeys, &m->mHide, TRACK_HIDE, nullptr}};
    InitTracks(tracks, fresh);
}

void ReleaseObjectMotion(ObjectMotion** motion) {
    if (!motion) return;
    delete *motion;
    *motion = nullptr;
}

uint32_t CountObjectMotions(Database* database) {
    return CountObjectsOfTag(database, OBJECT_NODE);
}

void ListObjectMotionNames(Database* database, StringList** list) {
    ListObjectsOfTag(database, OBJECT_NODE, list);
}

void BuildObjectMotion(Chunk* node, ObjectMotion** motion) {
    if (!node || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (node->mTag != OBJECT_NODE) {
        Fail(ERR_WRONG_OBJECT);
        return;
    }
    if (!*motion) {
        *motion = oxa_alloc::Counted(new (std::nothrow) ObjectMotion);
        if (!*motion) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    ObjectMotion* m = *motion;
    // The arrays are taken over from a temporary copy of the node.
    Chunk* copy = nullptr;
    HeldChunk heldCopy(&copy);
    CopyChunkTree(node, &copy);
    if (!copy) return;
    NodePartFrom(copy, m);
    TrackFrom(FindChild(copy, TRACK_POSITION), &m->mPosition, true);
    TrackFrom(FindChild(copy, TRACK_ROTATION), &m->mRotation, true);
    TrackFrom(FindChild(copy, TRACK_SCALE), &m->mScale, true);
    TrackFrom(FindChild(copy, TRACK_MORPH), &m->mMorph, true);
    TrackFrom(FindChild(copy, TRACK_HIDE), &m->mHide, true);
    for (int i = 0; i < kObjectOtherTrackCount; ++i)
        TrackFrom(FindChild(copy, kObjectOtherTrackTags[i]), &m->mOtherTracks[i], true);
    StringData* instance = GetData<StringData>(FindChild(copy, NODE_INSTANCE_NAME));
    CopyName(m->mInstanceName, sizeof m->mInstanceName, instance ? instance->mText.c_str() : "");
    FloatsData* pivot = GetData<FloatsData>(FindChild(copy, NODE_PIVOT));
    m->mPivot =
        pivot ? Point3{pivot->mValues[0], pivot->mValues[1], pivot->mValues[2]} : Point3{0.0f, 0.0f, 0.0f};
    FloatsData* box = GetData<FloatsData>(FindChild(copy, NODE_BOUNDING_BOX));
    m->mBoundMin = box ? Point3{box->mValues[0], box->mValues[1], box->mValues[2]} : Point3{0.0f, 0.0f, 0.0f};
    m->mBoundMax = box ? Point3{box->mValues[3], box->mValues[4], box->mValues[5]} : Point3{0.0f, 0.0f, 0.0f};
    FloatsData* smooth = GetData<FloatsData>(FindChild(copy, NODE_MORPH_SMOOTH));
    m->mMorphSmooth = smooth ? smooth->mValues[0] : 0.0f;
    ReleaseChunk(&copy);
}

void GetObjectMotionByName(Database* database, const char* name, ObjectMotion** motion) {
    if (!GetChecks(database, name, motion)) return;
    if (Chunk* node = FindMotionNode(database, name, OBJECT_NODE)) BuildObjectMotion(node, motion);
}

void GetObjectMotionByIndex(Database* database, uint32_t index, ObjectMotion** motion) {
    if (!GetChecks(database, "", motion)) return;
    if (Chunk* node = FindNodeByKind(database, OBJECT_NODE, index)) BuildObjectMotion(node, motion);
}

void PutObjectMotion(Database* database, ObjectMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMotionDatabase(database)) return;
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    Chunk* node = NewNode(database, keyframer, OBJECT_NODE, *motion);
    if (!node) return;
    char name[sizeof motion->mName];
    CopyName(name, sizeof name, motion->mName);
    if (motion->mInstanceName[0]) {
        if (StringData* data = MakeData<StringData>(AddChild(NODE_INSTANCE_NAME, node)))
            data->mText.assign(motion->mInstanceName,
                               strnlen(motion->mInstanceName, sizeof motion->mInstanceName));
    }
    if (std::strcmp(name, "$$$DUMMY") == 0) {
        if (FloatsData* data = MakeData<FloatsData>(AddChild(NODE_BOUNDING_BOX, node))) {
            const float values[6] = {motion->mBoundMin.x, motion->mBoundMin.y, motion->mBoundMin.z,
                                     motion->mBoundMax.x, motion->mBoundMax.y, motion->mBoundMax.z};
            std::memcpy(data->mValues, values, sizeof values);
        }
    }
    if (motion->mFlags2 & 0x0001) {
        if (FloatsData* data = MakeData<FloatsData>(AddChild(NODE_MORPH_SMOOTH, node)))
            data->mValues[0] = motion->mMorphSmooth;
    }
    if (FloatsData* data = MakeData<FloatsData>(AddChild(NODE_PIVOT, node))) {
        data->mValues[0] = motion->mPivot.x;
        data->mValues[1] = motion->mPivot.y;
        data->mValues[2] = motion->mPivot.z;
    }
    AddTrack(TRACK_POSITION, motion->mPosition, node);
    AddTrack(TRACK_ROTATION, motion->mRotation, node);
    AddTrack(TRACK_SCALE, motion->mScale, node);
    AddTrack(TRACK_MORPH, motion->mMorph, node);
    AddTrack(TRACK_HIDE, motion->mHide, node);
    for (int i = 0; i < kObjectOtherTrackCount; ++i)
        AddTrack(kObjectOtherTrackTags[i], motion->mOtherTracks[i], node);
    NoteNodeAdded(database, node);
}

void DeleteObjectMotionByIndex(Database* database, uint32_t index) {
    DeleteNodeByIndex(database, OBJECT_NODE, index);
}

void DeleteObjectMotionByName(Database* database, const char* name) {
    DeleteNodeByName(database, name, OBJECT_NODE);
}

void CopyObjectMotionByIndex(Database* destination, Database* source, uint32_t index) {
    CopyNodeByIndex(destination, source, OBJECT_NODE, index);
}

void CopyObjectMotionByName(Database* destination, Database* source, const char* name) {
    CopyNodeByName(destination, source, name, OBJECT_NODE);
}

bool GetAmbientMotion(Database* database, AmbientMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    *motion = AmbientMotion();
    if (!CheckMotionDatabase(database)) return false;
    Chunk* node = FindNodeByKind(database, AMBIENT_NODE, 0);
    if (!node) return false;
    NodePartFrom(node, motion);
    TrackFrom(FindChild(node, TRACK_COLOR), &motion->mColor, false);
    return true;
}

void PutAmbientMotion(Database* database, const AmbientMotion* motion) {
    if (!database || !motion) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMotionDatabase(database)) return;
    Chunk* keyframer = GetKeyframerData(database->mTop);
    if (!keyframer) return;
    NodePart part = *motion;
    if (!part.mName[0]) CopyName(part.mName, sizeof part.mName, "$AMBIENT$");
    part.mParentName[0] = '\0';
    Chunk* node = NewNode(database, keyframer, AMBIENT_NODE, part);
    if (!node) return;
    AddTrack(TRACK_COLOR, motion->mColor, node);
    NoteNodeAdded(database, node);
}

}  // namespace Ftk
