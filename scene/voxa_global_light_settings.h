#ifndef OXA_SCENE_VOXA_GLOBAL_LIGHT_SETTINGS_H
#define OXA_SCENE_VOXA_GLOBAL_LIGHT_SETTINGS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>

// An RGBA colour of four doubles. Every way of setting it except the default constructor
// clamps each component into [0, 1]: below 0 or not a number gives 0, above 1 gives 1. The
// components are public, so a colour written directly may hold anything; IsValid tells.
class OXA_API VOxaColor {
public:
    // White, opaque: (1, 1, 1, 1).
    VOxaColor() = default;
    VOxaColor(double red, double green, double blue, double alpha);
    VOxaColor(const VOxaColor& other);
    VOxaColor& operator=(const VOxaColor& other);

    // Stores the four components, clamped.
    void Set(double red, double green, double blue, double alpha);
    // True when every component lies in [0, 1] (a NaN component makes it false).
    bool IsValid() const;

    bool operator==(const VOxaColor& other) const;
    bool operator!=(const VOxaColor& other) const { return !(*this == other); }

    double mRed = 1.0;
    double mGreen = 1.0;
    double mBlue = 1.0;
    double mAlpha = 1.0;
};

// A plane shadows fall on: enabled by default, through the origin with normal (0, 1, 0).
struct OXA_API VOxaShadowPlane {
    bool mEnable = true;
    VgeTVector mOrigin{0.0, 0.0, 0.0, 0.0};
    VgeTVector mNormal{0.0, 1.0, 0.0, 0.0};
};

// The scene-wide lighting values no light node carries: the ambient colour, the fog, the shadow
// switch and intensity, and the shadow planes.
//
// Colours are clamped as VOxaColor does; the fog start stays within [0, fog end], the fog end
// not below the fog start, the shadow intensity within [0, 300] (NaN gives 0). The only failure
// is GetShadowPlane with an index out of range: error 0 "Index out of range.", null.
class OXA_API VOxaGlobalLightSettings {
public:
    enum EError : int { eIndexOutOfRange = 0, eErrorCount };

    // Settings with the defaults of RestoreDefaultSettings.
    VOxaGlobalLightSettings();
    VOxaGlobalLightSettings(const VOxaGlobalLightSettings&) = delete;
    // Copies every value and the shadow planes (the error state stays).
    VOxaGlobalLightSettings& operator=(const VOxaGlobalLightSettings& other);
    ~VOxaGlobalLightSettings() = default;

    // Ambient (0.4, 0.4, 0.4, 0), fog off, fog colour (1, 1, 1, 0), fog mode 0, fog start 0.3,
    // fog end 1000, fog density 0.002, shadows off with intensity 0, no shadow plane.
    void RestoreDefaultSettings();

    void SetAmbientColor(VOxaColor color);
    VOxaColor GetAmbientColor() const { return mAmbientColor; }
    void SetFogEnable(bool enable) { mFogEnable = enable; }
    bool GetFogEnable() const { return mFogEnable; }
    void SetFogColor(VOxaColor color);
    VOxaColor GetFogColor() const { return mFogColor; }
    void SetFogMode(int mode) { mFogMode = mode; }
    int GetFogMode() const { return mFogMode; }
    // Stored unchanged.
    void SetFogDensity(double density) { mFogDensity = density; }
    double GetFogDensity() const { return mFogDensity; }
    // Above the fog end gives the fog end; below 0 or NaN gives 0.
    void SetFogStart(double start);
    double GetFogStart() const { return mFogStart; }
    // Below the fog start (or NaN) gives the fog start.
    void SetFogEnd(double end);
    double GetFogEnd() const { return mFogEnd; }
    void SetUseShadow(bool use) { mUseShadow = use; }
    bool GetUseShadow() const { return mUseShadow; }
    // Clamped to [0, 300]; NaN gives 0.
    void SetShadowIntensity(double intensity);
    double GetShadowIntensity() const { return mShadowIntensity; }

    int GetShadowPlaneCount() const { return mShadowPlanes.GetCount(); }
    // The plane in place; out of range: error 0, null.
    VOxaShadowPlane* GetShadowPlane(int index);
    // Appends a copy of `plane`.
    void AddShadowPlane(const VOxaShadowPlane& plane);
    void RemoveAllShadowPlanes();

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    VOxaColor mAmbientColor;
    bool mFogEnable = false;
    VOxaColor mFogColor;
    int mFogMode = 0;
    double mFogStart = 0.0;
    double mFogEnd = 0.0;
    double mFogDensity = 0.0;
    bool mUseShadow = false;
    double mShadowIntensity = 0.0;
    VArrayTemplate<VOxaShadowPlane> mShadowPlanes{16};
    VError mError;
};

#endif  // OXA_SCENE_VOXA_GLOBAL_LIGHT_SETTINGS_H
