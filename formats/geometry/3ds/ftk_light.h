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

struct Spotlight {
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
extern const float kDefaultLightColor;

struct Light {
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

struct Camera {
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

struct Background {
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
struct Fog {
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
struct LayerFog {
    float mNearY = 0.0f;
    float mFarY = 0.0f;
    float mDensity = 0.0f;
    uint32_t mFlags = 0;
    float mColor[3] = {};
    bool mInUse = false;  // USE_LAYER_FOG
};

// The distance cue of the editor section: its planes and dimming (percent), whether it dims the
// background and whether it is in use.
struct DistanceCue {
    float mNearPlane = 0.0f;
    float mNearDimming = 0.0f;
    float mFarPlane = 0.0f;
    float mFarDimming = 0.0f;
    bool mBackground = false;  // DISTANCE_CUE_BACKGROUND
    bool mInUse = false;       // USE_DISTANCE_CUE
};

void InitLight(Light** light);
void InitSpotlight(Light** light);
void ReleaseLight(Light** light);
uint32_t CountOmniLights(Database* database);
uint32_t CountSpotlights(Database* database);
void ListOmniLightNames(Database* database, StringList** list);
void ListSpotlightNames(Database* database, StringList** list);
void GetOmniLightByIndex(Database* database, uint32_t index, Light** light);
void GetSpotlightByIndex(Database* database, uint32_t index, Light** light);
void GetOmniLightByName(Database* database, const char* name, Light** light);
void GetSpotlightByName(Database* database, const char* name, Light** light);
void ReadLight(Chunk* object, Light** light);
void WriteLight(Database* database, Light* light);
void PutOmniLight(Database* database, Light* light);
void PutSpotlight(Database* database, Light* light);
void DeleteLightByName(Database* database, const char* name);
void CopyLightByName(Database* destination, Database* source, const char* name);
void CopySpotlightByName(Database* destination, Database* source, const char* name);
void DeleteOmniLightByIndex(Database* database, uint32_t index);
void CopyOmniLightByIndex(Database* destination, Database* source, uint32_t index);
void DeleteSpotlightByIndex(Database* database, uint32_t index);
void CopySpotlightByIndex(Database* destination, Database* source, uint32_t index);

void InitCamera(Camera** camera);
void ReleaseCamera(Camera** camera);
uint32_t CountCameras(Database* database);
void ListCameraNames(Database* database, StringList** list);
void GetCameraByIndex(Database* database, uint32_t index, Camera** camera);
void GetCameraByName(Database* database, const char* name, Camera** camera);
void ReadCamera(Chunk* object, Camera** camera);
void WriteCamera(Database* database, Camera* camera);
void DeleteCameraByIndex(Database* database, uint32_t index);
void DeleteCameraByName(Database* database, const char* name);
void CopyCameraByIndex(Database* destination, Database* source, uint32_t index);
void CopyCameraByName(Database* destination, Database* source, const char* name);

void InitBackground(Background** background);
void ReleaseBackground(Background** background);
void GetBackground(Database* database, Background** background);
void PutBackground(Database* database, Background* background);
void CopyBackground(Database* destination, Database* source);
// The database's fog: true when the editor section holds a FOG chunk (its values in `fog`; a
// chunk too short for its four values keeps the defaults); false, `fog` untouched, otherwise.
bool GetFog(Database* database, Fog* fog);
// Puts the fog into the database, replacing its FOG chunk and use flag.
void PutFog(Database* database, const Fog& fog);

// The database's layer fog, resp. distance cue: true when the editor section holds its chunk (a
// chunk too short for its values keeps the defaults); false, the structure untouched, otherwise.
bool GetLayerFog(Database* database, LayerFog* fog);
bool GetDistanceCue(Database* database, DistanceCue* cue);
// Put them into the database, replacing the chunk and its use flag.
void PutLayerFog(Database* database, const LayerFog& fog);
void PutDistanceCue(Database* database, const DistanceCue& cue);
// The shadow value of the editor section's chunk `tag`: SHADOW_LOW_BIAS, SHADOW_HIGH_BIAS,
// SHADOW_FILTER and SHADOW_RAY_BIAS a float, SHADOW_SAMPLES a 16-bit and SHADOW_RANGE a 32-bit
// integer; false when the chunk is missing or too short.
bool GetShadowValue(Database* database, uint32_t tag, double* value);
// Puts SHADOW_HIGH_BIAS, SHADOW_SAMPLES or SHADOW_RANGE, replacing the chunk of that tag (other
// tags push 2; the settings block puts the others).
void PutShadowValue(Database* database, uint32_t tag, double value);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_LIGHT_H
