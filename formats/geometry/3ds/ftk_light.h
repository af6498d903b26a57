// 3DS lights (omni and spot), cameras and backgrounds, and the calls that move them in and out of
// scene and project databases. Lights and cameras are named objects holding a LIGHT or CAMERA
// chunk; the background is a group of chunks directly under the editor chunk.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_LIGHT_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_LIGHT_H

#include <cstdint>
#include <string>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_database.h>

namespace Ftk {

struct OXA_API Spotlight {
    Point3 mTarget{1.0f, 1.0f, 1.0f};
    float mHotspot = 44.0f;
    float mFalloff = 45.0f;
    float mRoll = 0.0f;
    float mAspect = 1.0f;
    uint8_t mShadowed = 0;
    uint32_t mRayTraced = 0;
    uint8_t mLocalShadow = 0;
    float mShadowBias = 1.0f;
    float mShadowFilter = 3.0f;
    int16_t mShadowMapSize = 512;
    float mRayBias = 1.0f;
    uint32_t mRectangular = 0;
    uint8_t mShowCone = 0;
    uint8_t mOvershoot = 0;
    uint8_t mProjectorInUse = 0;
    std::string mProjector;
};

// The default light colour component (the float whose bits are 0x3F357753).
extern OXA_API const float kDefaultLightColor;

struct OXA_API Light {
    char mName[kNameCapacity + 1] = {};
    Point3 mPosition{0.0f, 0.0f, 0.0f};
    float mColor[3] = {};
    float mMultiplier = 1.0f;
    uint8_t mOff = 0;
    uint8_t mAttenuated = 0;
    float mInnerRange = 10.0f;
    float mOuterRange = 100.0f;
    StringList* mExclude = nullptr;  // owned
    Spotlight* mSpot = nullptr;      // owned; null for an omni light
};

struct OXA_API Camera {
    char mName[kNameCapacity + 1] = {};
    Point3 mPosition{0.0f, 0.0f, 0.0f};
    Point3 mTarget{1.0f, 1.0f, 1.0f};
    float mRoll = 0.0f;
    float mFieldOfView = 45.0f;  // degrees; stored as focal length 2400 / field of view
    uint8_t mShowCone = 0;
    float mNearRange = 10.0f;
    float mFarRange = 1000.0f;
};

enum BackgroundKind : int32_t {
    kNoBackground = 0,
    kSolidBackground = 1,
    kGradientBackground = 2,
    kBitmapBackground = 3
};

struct OXA_API Background {
    std::string mBitmap;
    bool mHasBitmap = false;  // a null bitmap name
    float mSolid[3] = {};
    float mGradientMid = 0.5f;
    float mGradientTop[3] = {};
    float mGradientMiddle[3] = {};
    float mGradientBottom[3] = {};
    int32_t mActive = kNoBackground;
};

// The fog of the editor section: its planes and densities (percent), colour, whether it fogs the
// background and whether it is in use.
struct OXA_API Fog {
    float mNearPlane = 0.0f;
    float mNearDensity = 0.0f;
    float mFarPlane = 1000.0f;
    float mFarDensity = 100.0f;
    float mColor[3] = {};
    bool mBackground = false;  // FOG_BACKGROUND
    bool mInUse = false;       // USE_FOG
};

// The layer fog of the editor section: the heights it lies between, its density (percent), its
// flags (bottom and top falloff, background), colour and whether it is in use.
struct OXA_API LayerFog {
    float mNearY = 0.0f;
    float mFarY = 0.0f;
    float mDensity = 0.0f;
    uint32_t mFlags = 0;
    float mColor[3] = {};
    bool mInUse = false;  // USE_LAYER_FOG
};

// The distance cue of the editor section: its planes and dimming (percent), whether it dims the
// background and whether it is in use.
struct OXA_API DistanceCue {
    float mNearPlane = 0.0f;
    float mNearDimming = 0.0f;
    float mFarPlane = 0.0f;
    float mFarDimming = 0.0f;
    bool mBackground = false;  // DISTANCE_CUE_BACKGROUND
    bool mInUse = false;       // USE_DISTANCE_CUE
};

OXA_API void InitLight(Light** light);
OXA_API void InitSpotlight(Light** light);
OXA_API void ReleaseLight(Light** light);
OXA_API uint32_t CountOmniLights(Database* database);
OXA_API uint32_t CountSpotlights(Database* database);
OXA_API void ListOmniLightNames(Database* database, StringList** list);
OXA_API void ListSpotlightNames(Database* database, StringList** list);
OXA_API void GetOmniLightByIndex(Database* database, uint32_t index, Light** light);
OXA_API void GetSpotlightByIndex(Database* database, uint32_t index, Light** light);
OXA_API void GetOmniLightByName(Database* database, const char* name, Light** light);
OXA_API void GetSpotlightByName(Database* database, const char* name, Light** light);
OXA_API void ReadLight(Chunk* object, Light** light);
OXA_API void WriteLight(Database* database, Light* light);
OXA_API void PutOmniLight(Database* database, Light* light);
OXA_API void PutSpotlight(Database* database, Light* light);
OXA_API void DeleteLightByName(Database* database, const char* name);
OXA_API void CopyLightByName(Database* destination, Database* source, const char* name);
OXA_API void CopySpotlightByName(Database* destination, Database* source, const char* name);
OXA_API void DeleteOmniLightByIndex(Database* database, uint32_t index);
OXA_API void CopyOmniLightByIndex(Database* destination, Database* source, uint32_t index);
OXA_API void DeleteSpotlightByIndex(Database* database, uint32_t index);
OXA_API void CopySpotlightByIndex(Database* destination, Database* source, uint32_t index);

OXA_API void InitCamera(Camera** camera);
OXA_API void ReleaseCamera(Camera** camera);
OXA_API uint32_t CountCameras(Database* database);
OXA_API void ListCameraNames(Database* database, StringList** list);
OXA_API void GetCameraByIndex(Database* database, uint32_t index, Camera** camera);
OXA_API void GetCameraByName(Database* database, const char* name, Camera** camera);
OXA_API void ReadCamera(Chunk* object, Camera** camera);
OXA_API void WriteCamera(Database* database, Camera* camera);
OXA_API void DeleteCameraByIndex(Database* database, uint32_t index);
OXA_API void DeleteCameraByName(Database* database, const char* name);
OXA_API void CopyCameraByIndex(Database* destination, Database* source, uint32_t index);
OXA_API void CopyCameraByName(Database* destination, Database* source, const char* name);

OXA_API void InitBackground(Background** background);
OXA_API void ReleaseBackground(Background** background);
OXA_API void GetBackground(Database* database, Background** background);
OXA_API void PutBackground(Database* database, Background* background);
OXA_API void CopyBackground(Database* destination, Database* source);
// The database's fog: true when the editor section holds a FOG chunk (its values in `fog`; a
// chunk too short for its four values keeps the defaults); false, `fog` untouched, otherwise.
OXA_API bool GetFog(Database* database, Fog* fog);
// Puts the fog into the database, replacing its FOG chunk and use flag.
OXA_API void PutFog(Database* database, const Fog& fog);

// The database's layer fog, resp. distance cue: true when the editor section holds its chunk (a
// chunk too short for its values keeps the defaults); false, the structure untouched, otherwise.
OXA_API bool GetLayerFog(Database* database, LayerFog* fog);
OXA_API bool GetDistanceCue(Database* database, DistanceCue* cue);
// Put them into the database, replacing the chunk and its use flag.
OXA_API void PutLayerFog(Database* database, const LayerFog& fog);
OXA_API void PutDistanceCue(Database* database, const DistanceCue& cue);
// The shadow value of the editor section's chunk `tag`: SHADOW_LOW_BIAS, SHADOW_HIGH_BIAS,
// SHADOW_FILTER and SHADOW_RAY_BIAS a float, SHADOW_SAMPLES a 16-bit and SHADOW_RANGE a 32-bit
// integer; false when the chunk is missing or too short.
OXA_API bool GetShadowValue(Database* database, uint32_t tag, double* value);
// Puts SHADOW_HIGH_BIAS, SHADOW_SAMPLES or SHADOW_RANGE, replacing the chunk of that tag (other
// tags push 2; the settings block puts the others).
OXA_API void PutShadowValue(Database* database, uint32_t tag, double value);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_LIGHT_H
