// 3DS keyframer motion: one record per kind of keyframer node (camera with its target, omni light,
// spotlight with its target, mesh object), built from a database's keyframer section and put back.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_MOTION_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_MOTION_H

#include <cstdint>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_keyframer.h>

namespace Ftk {

// Fields every motion starts with. The parent name is a name or "name.instance".
struct NodePart {
    char mName[kNameCapacity + 1] = {};
    char mParentName[kParentNameCapacity + 1] = {};
    uint16_t mFlags1 = 0;
    uint16_t mFlags2 = 0;
};

struct CameraMotion : NodePart {
    Track mPosition;     // 3 floats per key, new values (0, 0, 0)
    Track mFieldOfView;  // 1 float, 60
    Track mRoll;         // 1 float, 0
    char mTargetParentName[kParentNameCapacity + 1] = {};
    Track mTargetPosition;
    uint16_t mTargetFlags1 = 0;
    uint16_t mTargetFlags2 = 0;
};

struct OmniLightMotion : NodePart {
    Track mPosition;  // (0, 0, 0)
    Track mColor;     // (1, 1, 1)
};

struct SpotlightMotion : NodePart {
    Track mPosition;
    Track mColor;
    Track mHotspot;  // 90
    Track mFalloff;  // 90
    Track mRoll;     // 0
    char mTargetParentName[kParentNameCapacity + 1] = {};
    Track mTargetPosition;
    uint16_t mTargetFlags1 = 0;
    uint16_t mTargetFlags2 = 0;
};

// Tracks an object node may hold that no object uses: field of view, roll, colour, hotspot and
// falloff (ObjectMotion::mOtherTracks, in this order).
inline constexpr uint32_t kObjectOtherTrackTags[] = {0xB023, 0xB024, 0xB025, 0xB027, 0xB028};
constexpr int kObjectOtherTrackCount = 5;

struct ObjectMotion : NodePart {
    Point3 mPivot{0.0f, 0.0f, 0.0f};
    char mInstanceName[kNameCapacity + 1] = {};
    Point3 mBoundMin{0.0f, 0.0f, 0.0f};
    Point3 mBoundMax{0.0f, 0.0f, 0.0f};
    Track mPosition;  // (0, 0, 0)
    Track mRotation;  // angle 0 about (0, 0, 1)
    Track mScale;     // (1, 1, 1)
    Track mMorph;     // names, empty
    Track mHide;      // keys only
    float mMorphSmooth = 24.0f;
    // Kept as the node holds them, so that a put writes them back.
    Track mOtherTracks[kObjectOtherTrackCount];
};

// The ambient light's node ("$AMBIENT$"): its colour track.
struct AmbientMotion : NodePart {
    Track mColor;  // (0, 0, 0)
};

// Sizes one track: frees its arrays, sets the count, zero keys and `count` copies of the default
// value (`width` floats; morph and hide tracks get names or nothing).
void InitTrack(Track* track, uint32_t count, uint32_t tag, const float* defaultValue);

void InitCameraMotion(CameraMotion** motion, uint32_t positionKeys, uint32_t fovKeys, uint32_t rollKeys,
                      uint32_t targetKeys);
void ReleaseCameraMotion(CameraMotion** motion);
uint32_t CountCameraMotions(Database* database);
void ListCameraMotionNames(Database* database, StringList** list);
void GetCameraMotionByName(Database* database, const char* name, CameraMotion** motion);
void GetCameraMotionByIndex(Database* database, uint32_t index, CameraMotion** motion);
void BuildCameraMotion(Chunk* node, Chunk* target, CameraMotion** motion);
void PutCameraMotion(Database* database, CameraMotion* motion);
void DeleteCameraMotionByIndex(Database* database, uint32_t index);
void DeleteCameraMotionByName(Database* database, const char* name);
void CopyCameraMotionByIndex(Database* destination, Database* source, uint32_t index);
void CopyCameraMotionByName(Database* destination, Database* source, const char* name);

void InitOmniLightMotion(OmniLightMotion** motion, uint32_t positionKeys, uint32_t colorKeys);
void ReleaseOmniLightMotion(OmniLightMotion** motion);
uint32_t CountOmniLightMotions(Database* database);
void ListOmniLightMotionNames(Database* database, StringList** list);
void GetOmniLightMotionByName(Database* database, const char* name, OmniLightMotion** motion);
void GetOmniLightMotionByIndex(Database* database, uint32_t index, OmniLightMotion** motion);
void BuildOmniLightMotion(Chunk* node, OmniLightMotion** motion);
void PutOmniLightMotion(Database* database, OmniLightMotion* motion);
void DeleteOmniLightMotionByIndex(Database* database, uint32_t index);
void DeleteOmniLightMotionByName(Database* database, const char* name);
void CopyOmniLightMotionByIndex(Database* destination, Database* source, uint32_t index);
void CopyOmniLightMotionByName(Database* destination, Database* source, const char* name);

void InitSpotlightMotion(SpotlightMotion** motion, uint32_t positionKeys, uint32_t colorKeys,
                         uint32_t hotspotKeys, uint32_t falloffKeys, uint32_t rollKeys, uint32_t targetKeys);
void ReleaseSpotlightMotion(SpotlightMotion** motion);
uint32_t CountSpotlightMotions(Database* database);
void ListSpotlightMotionNames(Database* database, StringList** list);
void GetSpotlightMotionByName(Database* database, const char* name, SpotlightMotion** motion);
void GetSpotlightMotionByIndex(Database* database, uint32_t index, SpotlightMotion** motion);
void BuildSpotlightMotion(Chunk* node, Chunk* target, SpotlightMotion** motion);
void PutSpotlightMotion(Database* database, SpotlightMotion* motion);
void DeleteSpotlightMotionByIndex(Database* database, uint32_t index);
void DeleteSpotlightMotionByName(Database* database, const char* name);
void CopySpotlightMotionByIndex(Database* destination, Database* source, uint32_t index);
void CopySpotlightMotionByName(Database* destination, Database* source, const char* name);

void InitObjectMotion(ObjectMotion** motion, uint32_t positionKeys, uint32_t rotationKeys, uint32_t scaleKeys,
                      uint32_t morphKeys, uint32_t hideKeys);
void ReleaseObjectMotion(ObjectMotion** motion);
uint32_t CountObjectMotions(Database* database);
void ListObjectMotionNames(Database* database, StringList** list);
void GetObjectMotionByName(Database* database, const char* name, ObjectMotion** motion);
void GetObjectMotionByIndex(Database* database, uint32_t index, ObjectMotion** motion);
void BuildObjectMotion(Chunk* node, ObjectMotion** motion);
void PutObjectMotion(Database* database, ObjectMotion* motion);
void DeleteObjectMotionByIndex(Database* database, uint32_t index);
void DeleteObjectMotionByName(Database* database, const char* name);
void CopyObjectMotionByIndex(Database* destination, Database* source, uint32_t index);
void CopyObjectMotionByName(Database* destination, Database* source, const char* name);

// The first ambient node of the database into `motion`: false (the record cleared) when there
// is none. Put adds an ambient node with the record's name (or "$AMBIENT$"), flags and colour
// track; it is never numbered nor a parent.
bool GetAmbientMotion(Database* database, AmbientMotion* motion);
void PutAmbientMotion(Database* database, const AmbientMotion* motion);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_MOTION_H
