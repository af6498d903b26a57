#include "scene/voxa_global_light_settings.h"

#include <cmath>

namespace {

const char* const kLightErrors[] = {"Index out of range."};

// Into [0, 1]; NaN gives 0.
double ClampUnit(double value) {
    if (!(value >= 0.0)) return 0.0;
    return value > 1.0 ? 1.0 : value;
}

}  // namespace

// --- VOxaColor -----------------------------------------------------------------------------

VOxaColor::VOxaColor(double red, double green, double blue, double alpha) {
    Set(red, green, blue, alpha);
}

VOxaColor::VOxaColor(const VOxaColor& other) {
    Set(other.mRed, other.mGreen, other.mBlue, other.mAlpha);
}

VOxaColor& VOxaColor::operator=(const VOxaColor& other) {
    Set(other.mRed, other.mGreen, other.mBlue, other.mAlpha);
    return *this;
}

void VOxaColor::Set(double red, double green, double blue, double alpha) {
    mRed = ClampUnit(red);
    mGreen = ClampUnit(green);
    mBlue = ClampUnit(blue);
    mAlpha = ClampUnit(alpha);
}

bool VOxaColor::IsValid() const {
    auto unit = [](double v) { return v >= 0.0 && v <= 1.0; };
    return unit(mRed) && unit(mGreen) && unit(mBlue) && unit(mAlpha);
}

bool VOxaColor::operator==(const VOxaColor& other) const {
    return mRed == other.mRed && mGreen == other.mGreen && mBlue == other.mBlue && mAlpha == other.mAlpha;
}

// --- VOxaGlobalLightSettings -----------------------------------------------------------------

VOxaGlobalLightSettings::VOxaGlobalLightSettings() : mError(kLightErrors, eErrorCount) {
    RestoreDefaultSettings();
}

VOxaGlobalLightSettings& VOxaGlobalLightSettings::operator=(const VOxaGlobalLightSettings& other) {
    if (this == &other) return *this;
    mAmbientColor = other.mAmbientColor;
    mFogEnable = other.mFogEnable;
    mFogColor = other.mFogColor;
    mFogMode = other.mFogMode;
    mFogStart = other.mFogStart;
    mFogEnd = other.mFogEnd;
    mFogDensity = other.mFogDensity;
    mUseShadow = other.mUseShadow;
    mShadowIntensity = other.mShadowIntensity;
    mShadowPlanes = other.mShadowPlanes;
    return *this;
}

void VOxaGlobalLightSettings::RestoreDefaultSettings() {
    mAmbientColor.Set(0.4, 0.4, 0.4, 0.0);
    mFogEnable = false;
    mFogColor.Set(1.0, 1.0, 1.0, 0.0);
    mFogMode = 0;
    mFogStart = 0.3;
    mFogEnd = 1000.0;
    mFogDensity = 0.002;
    mUseShadow = false;
    mShadowIntensity = 0.0;
    mShadowPlanes.Clear();
}

void VOxaGlobalLightSettings::SetAmbientColor(VOxaColor color) {
    mAmbientColor = color;
}

void VOxaGlobalLightSettings::SetFogColor(VOxaColor color) {
    mFogColor = color;
}

void VOxaGlobalLightSettings::SetFogStart(double start) {
    if (start > mFogEnd)
        mFogStart = mFogEnd;
    else if (!(start >= 0.0))
        mFogStart = 0.0;
    else
        mFogStart = start;
}

void VOxaGlobalLightSettings::SetFogEnd(double end) {
    // A NaN end would make every later start test fail; it takes the start as well.
    mFogEnd = (end >= mFogStart) ? end : mFogStart;
}

void VOxaGlobalLightSettings::SetShadowIntensity(double intensity) {
    if (!(intensity >= 0.0))
        mShadowIntensity = 0.0;
    else
        mShadowIntensity = intensity > 300.0 ? 300.0 : intensity;
}

VOxaShadowPlane* VOxaGlobalLightSettings::GetShadowPlane(int index) {
    if (index < 0 || index >= mShadowPlanes.GetCount()) {
        mError.SetLastErrorID(eIndexOutOfRange);
        return nullptr;
    }
    return &mShadowPlanes[index];
}

void VOxaGlobalLightSettings::AddShadowPlane(const VOxaShadowPlane& plane) {
    mShadowPlanes.Add(plane);
}

void VOxaGlobalLightSettings::RemoveAllShadowPlanes() {
    mShadowPlanes.Clear();
}
