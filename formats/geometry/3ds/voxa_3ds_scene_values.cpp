#include "formats/geometry/3ds/voxa_3ds_scene_values.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <utility>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_mesh.h"
#include "base/vstring.h"
#include "formats/geometry/3ds/ftk_core.h"
#include "formats/geometry/voxa_material_extras.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"

namespace {

// Light values: the switches and ranges of every light, then the spot's own.
constexpr const char* kOffProperty = "3DS Off";
constexpr const char* kAttenuatedProperty = "3DS Attenuated";
constexpr const char* kInnerRangeProperty = "3DS Inner Range";
constexpr const char* kOuterRangeProperty = "3DS Outer Range";
constexpr const char* kExcludeProperty = "3DS Exclude";  // one name a line
constexpr const char* kSpotRollProperty = "3DS Spot Roll";
constexpr const char* kAspectProperty = "3DS Aspect";
constexpr const char* kShadowedProperty = "3DS Shadowed";
constexpr const char* kRayTracedProperty = "3DS Ray Traced Shadows";
constexpr const char* kLocalShadowProperty = "3DS Local Shadow";
constexpr const char* kShadowBiasProperty = "3DS Shadow Bias";
constexpr const char* kShadowFilterProperty = "3DS Shadow Filter";
constexpr const char* kShadowSizeProperty = "3DS Shadow Map Size";
constexpr const char* kRayBiasProperty = "3DS Ray Bias";
constexpr const char* kRectangularProperty = "3DS Rectangular";
constexpr const char* kShowConeProperty = "3DS Show Cone";
constexpr const char* kOvershootProperty = "3DS Overshoot";
// A camera's ranges as the file held them (in scene units), for the ones its planes cannot hold.
constexpr const char* kNearRangeProperty = "3DS Near Range";
constexpr const char* kFarRangeProperty = "3DS Far Range";

// Root-node values. "3DS Solid Background" (the solid background in use) is the reader's own.
constexpr const char* kSolidBackgroundProperty = "3DS Solid Background";
constexpr const char* kBitmapNameProperty = "3DS Background Bitmap";
constexpr const char* kBitmapInUseProperty = "3DS Bitmap Background";
constexpr const char* kGradientInUseProperty = "3DS Gradient Background";
constexpr const char* kGradientMidProperty = "3DS Gradient Mid";
constexpr const char* kGradientColorProperties[3] = {"3DS Gradient Top", "3DS Gradient Middle",
                                                     "3DS Gradient Bottom"};
constexpr const char* kLayerFogProperty = "3DS Layer Fog";  // in use
constexpr const char* kLayerFogNearProperty = "3DS Layer Fog Bottom";
constexpr const char* kLayerFogFarProperty = "3DS Layer Fog Top";
constexpr const char* kLayerFogDensityProperty = "3DS Layer Fog Density";
constexpr const char* kLayerFogFlagsProperty = "3DS Layer Fog Flags";
constexpr const char* kLayerFogColorProperty = "3DS Layer Fog Color";
constexpr const char* kCueProperty = "3DS Distance Cue";  // in use
constexpr const char* kCueNearProperty = "3DS Distance Cue Near";
constexpr const char* kCueNearDimmingProperty = "3DS Distance Cue Near Dimming";
constexpr const char* kCueFarProperty = "3DS Distance Cue Far";
constexpr const char* kCueFarDimmingProperty = "3DS Distance Cue Far Dimming";
constexpr const char* kCueBackgroundProperty = "3DS Distance Cue Background";
constexpr const char* kLowBiasProperty = "3DS Shadow Low Bias";
constexpr const char* kHighBiasProperty = "3DS Shadow High Bias";
constexpr const char* kSamplesProperty = "3DS Shadow Samples";
constexpr const char* kRangeProperty = "3DS Shadow Range";
constexpr const char* kGlobalFilterProperty = "3DS Shadow Filter";
constexpr const char* kGlobalRayBiasProperty = "3DS Ray Bias";
constexpr const char* kFileUnitProperty = "3DS File Unit";
constexpr const char* kMasterScaleProperty = "3DS Master Scale";
constexpr const char* kKeyframerNameProperty = "3DS Keyframer Name";
// On an object's node: its axes, placement, pivot and the mark of its points (Stored3dsMesh).
constexpr const char* kStoredMeshProperty = "3DS Stored Mesh";

VProperty* Make(VObject* block, const char* name, int type) {
    if (!block) return nullptr;
    VProperty* property = block->FindProperty(name);
    if (!property) property = block->CreateDynamicProperty(name, type, nullptr);
    return property;
}

void Keep(VObject* block, const char* name, int type, double value) {
    if (VProperty* property = Make(block, name, type)) property->SetDouble(value);
}

void KeepPoint(VObject* block, const char* name, const float values[3]) {
    const double v[4] = {values[0], values[1], values[2], 1.0};
    if (VProperty* property = Make(block, name, eValueVector4)) property->SetValue(v);
}

void KeepText(VObject* block, const char* name, const std::string& text) {
    if (auto* property = dynamic_cast<VPropertyTemplate<VString>*>(Make(block, name, eValueString)))
        property->SetValue(VString(text.c_str()));
}

// The kept value, when the block has a finite one.
bool Kept(const VObject* block, const char* name, double& value) {
    const VProperty* property = block ? block->FindProperty(name) : nullptr;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    if (!property || property->GetValue(v) < 1 || !std::isfinite(v[0])) return false;
    value = v[0];
    return true;
}

template <class T>
void Restore(const VObject* block, const char* name, T& field) {
    double value;
    if (!Kept(block, name, value)) return;
    // Values beyond the field's range saturate.
    const double high = (double)std::numeric_limits<T>::max();
    const double low = std::is_integral<T>::value ? (double)std::numeric_limits<T>::min() : -high;
    value = value < low ? low : value > high ? high : value;
    field = static_cast<T>(value);
}

void RestoreFlag(const VObject* block, const char* name, bool& field) {
    double value;
    if (Kept(block, name, value)) field = value != 0.0;
}

bool KeptPoint(const VObject* block, const char* name, float out[3]) {
    const VProperty* property = block ? block->FindProperty(name) : nullptr;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    if (!property || property->GetValue(v) < 3) return false;
    const double high = std::numeric_limits<float>::max();
    for (int i = 0; i < 3; ++i)
        if (std::isfinite(v[i])) out[i] = (float)(v[i] < -high ? -high : v[i] > high ? high : v[i]);
    return true;
}

bool KeptText(const VObject* block, const char* name, std::string& text) {
    auto* property =
        dynamic_cast<const VPropertyTemplate<VString>*>(block ? block->FindProperty(name) : nullptr);
    if (!property) return false;
    text = property->GetValue().Buffer();
    return true;
}

}  // namespace

void Keep3dsLightValues(VOxaLight* light, const Ftk::Light& record, double scale) {
    VObject* block = light ? light->GetProperties() : nullptr;
    if (!block) return;
    Keep(block, kOffProperty, eValueBool, record.mOff);
    Keep(block, kAttenuatedProperty, eValueBool, record.mAttenuated);
    Keep(block, kInnerRangeProperty, eValueNumber, record.mInnerRange * scale);
    Keep(block, kOuterRangeProperty, eValueNumber, record.mOuterRange * scale);
    if (record.mExclude && !record.mExclude->mStrings.empty()) {
        std::string names;
        for (const std::string& name : record.mExclude->mStrings)
            names += name + "\n";
        KeepText(block, kExcludeProperty, names);
    }
    const Ftk::Spotlight* spot = record.mSpot;
    if (!spot) return;
    Keep(block, kSpotRollProperty, eValueNumber, spot->mRoll);
    Keep(block, kAspectProperty, eValueNumber, spot->mAspect);
    Keep(block, kShadowedProperty, eValueBool, spot->mShadowed);
    Keep(block, kRayTracedProperty, eValueBool, spot->mRayTraced);
    Keep(block, kLocalShadowProperty, eValueBool, spot->mLocalShadow);
    Keep(block, kShadowBiasProperty, eValueNumber, spot->mShadowBias);
    Keep(block, kShadowFilterProperty, eValueNumber, spot->mShadowFilter);
    Keep(block, kShadowSizeProperty, eValueInteger, spot->mShadowMapSize);
    Keep(block, kRayBiasProperty, eValueNumber, spot->mRayBias);
    Keep(block, kRectangularProperty, eValueBool, spot->mRectangular);
    Keep(block, kShowConeProperty, eValueBool, spot->mShowCone);
    Keep(block, kOvershootProperty, eValueBool, spot->mOvershoot);
}

void Put3dsLightValues(const VOxaLight* light, Ftk::Light& record) {
    const VObject* block = light ? light->GetProperties() : nullptr;
    if (!block) return;
    Restore(block, kOffProperty, record.mOff);
    Restore(block, kAttenuatedProperty, record.mAttenuated);
    Restore(block, kInnerRangeProperty, record.mInnerRange);
    Restore(block, kOuterRangeProperty, record.mOuterRange);
    std::string names;
    if (KeptText(block, kExcludeProperty, names) && record.mExclude) {
        size_t at = 0;
        while (at < names.size()) {
            size_t end = names.find('\n', at);
            if (end == std::string::npos) end = names.size();
            if (end > at) Ftk::AddToStringList(record.mExclude, names.substr(at, end - at).c_str());
            at = end + 1;
        }
    }
    Ftk::Spotlight* spot = record.mSpot;
    if (!spot) return;
    Restore(block, kSpotRollProperty, spot->mRoll);
    Restore(block, kAspectProperty, spot->mAspect);
    Restore(block, kShadowedProperty, spot->mShadowed);
    Restore(block, kRayTracedProperty, spot->mRayTraced);
    Restore(block, kLocalShadowProperty, spot->mLocalShadow);
    Restore(block, kShadowBiasProperty, spot->mShadowBias);
    Restore(block, kShadowFilterProperty, spot->mShadowFilter);
    Restore(block, kShadowSizeProperty, spot->mShadowMapSize);
    Restore(block, kRayBiasProperty, spot->mRayBias);
    Restore(block, kRectangularProperty, spot->mRectangular);
    Restore(block, kShowConeProperty, spot->mShowCone);
    Restore(block, kOvershootProperty, spot->mOvershoot);
    // The gobo is the spot's projector.
    if (const char* gobo = light->GetGoboFileName()) {
        spot->mProjectorInUse = 1;
        spot->mProjector = gobo;
    }
}

void Keep3dsCameraValues(VOxaCamera* camera, const Ftk::Camera& record, double scale) {
    if (!camera) return;
    Keep(camera->GetProperties(), kShowConeProperty, eValueBool, record.mShowCone);
    Keep(camera->GetProperties(), kNearRangeProperty, eValueNumber, record.mNearRange * scale);
    Keep(camera->GetProperties(), kFarRangeProperty, eValueNumber, record.mFarRange * scale);
}

void Put3dsCameraValues(const VOxaCamera* camera, Ftk::Camera& record) {
    if (!camera) return;
    const VObject* block = camera->GetProperties();
    Restore(block, kShowConeProperty, record.mShowCone);
    const double nearPlane = camera->GetNearPlane(), farPlane = camera->GetFarPlane();
    // The planes, unless they are still the ones the file's ranges gave (a camera keeps its planes
    // within limits that a file's ranges, a near range of 0 among them, may lie beyond).
    auto same = [](double plane, double kept) {
        const double held = kept < 0.001 ? 0.001 : kept > 600000.0 ? 600000.0 : kept;
        return std::fabs(plane - held) <= 1e-6 * std::fabs(held);
    };
    double nearRange = 0.0, farRange = 0.0;
    const bool keptNear = Kept(block, kNearRangeProperty, nearRange) && same(nearPlane, nearRange);
    const bool keptFar = Kept(block, kFarRangeProperty, farRange) && same(farPlane, farRange * 10.0);
    if (!keptNear) nearRange = nearPlane;
    if (!keptFar) farRange = farPlane * 0.1;
    if (std::isfinite(nearRange)) record.mNearRange = (float)nearRange;
    if (std::isfinite(farRange)) record.mFarRange = (float)farRange;
}

void Keep3dsSceneValues(VOxaNode* root, Ftk::Database* database, const Ftk::Background* background,
                        double scale) {
    VObject* block = root ? root->GetNodeProperties() : nullptr;
    if (!block || !database) return;
    if (background) {
        // The solid colour is kept (through the cameras) also while another background is in use.
        const bool solidColor =
            background->mSolid[0] != 0.0f || background->mSolid[1] != 0.0f || background->mSolid[2] != 0.0f;
        if (solidColor && !block->FindProperty(kSolidBackgroundProperty))
            Keep(block, kSolidBackgroundProperty, eValueBool, background->mActive == Ftk::kSolidBackground);
        if (background->mHasBitmap) {
            KeepText(block, kBitmapNameProperty, background->mBitmap);
            Keep(block, kBitmapInUseProperty, eValueBool, background->mActive == Ftk::kBitmapBackground);
        }
        const Ftk::Background plain;
        bool gradient =
            background->mGradientMid != plain.mGradientMid || background->mActive == Ftk::kGradientBackground;
        const float* colors[3] = {background->mGradientTop, background->mGradientMiddle,
                                  background->mGradientBottom};
        for (const float* color : colors)
            gradient = gradient || color[0] != 0.0f || color[1] != 0.0f || color[2] != 0.0f;
        if (gradient) {
            Keep(block, kGradientInUseProperty, eValueBool, background->mActive == Ftk::kGradientBackground);
            Keep(block, kGradientMidProperty, eValueNumber, background->mGradientMid);
            for (int i = 0; i < 3; ++i)
                KeepPoint(block, kGradientColorProperties[i], colors[i]);
        }
    }
    Ftk::LayerFog fog;
    if (Ftk::GetLayerFog(database, &fog)) {
        Keep(block, kLayerFogProperty, eValueBool, fog.mInUse);
        Keep(block, kLayerFogNearProperty, eValueNumber, fog.mNearY * scale);
        Keep(block, kLayerFogFarProperty, eValueNumber, fog.mFarY * scale);
        Keep(block, kLayerFogDensityProperty, eValueNumber, fog.mDensity);
        Keep(block, kLayerFogFlagsProperty, eValueNumber, fog.mFlags);
        KeepPoint(block, kLayerFogColorProperty, fog.mColor);
    }
    Ftk::DistanceCue cue;
    if (Ftk::GetDistanceCue(database, &cue)) {
        Keep(block, kCueProperty, eValueBool, cue.mInUse);
        Keep(block, kCueNearProperty, eValueNumber, cue.mNearPlane * scale);
        Keep(block, kCueNearDimmingProperty, eValueNumber, cue.mNearDimming);
        Keep(block, kCueFarProperty, eValueNumber, cue.mFarPlane * scale);
        Keep(block, kCueFarDimmingProperty, eValueNumber, cue.mFarDimming);
        Keep(block, kCueBackgroundProperty, eValueBool, cue.mBackground);
    }
    // The shadow settings the file holds (the writer writes its own defaults for the others).
    const struct {
        uint32_t tag;
        const char* name;
    } shadows[6] = {
        {Ftk::SHADOW_LOW_BIAS, kLowBiasProperty},       {Ftk::SHADOW_FILTER, kGlobalFilterProperty},
        {Ftk::SHADOW_RAY_BIAS, kGlobalRayBiasProperty}, {Ftk::SHADOW_HIGH_BIAS, kHighBiasProperty},
        {Ftk::SHADOW_SAMPLES, kSamplesProperty},        {Ftk::SHADOW_RANGE, kRangeProperty}};
    for (const auto& shadow : shadows) {
        double value = 0.0;
        if (Ftk::GetShadowValue(database, shadow.tag, &value)) Keep(block, shadow.name, eValueNumber, value);
    }
}

void Put3dsShadowSettings(const VOxaNode* root, Ftk::MeshSettings& settings) {
    const VObject* block = root ? root->GetNodeProperties() : nullptr;
    Restore(block, kLowBiasProperty, settings.mShadowLowBias);
    Restore(block, kGlobalFilterProperty, settings.mShadowFilter);
    Restore(block, kGlobalRayBiasProperty, settings.mRayTraceBias);
}

bool Kept3dsBackground(const VOxaNode* root, Ftk::Background& background) {
    const VObject* block = root ? root->GetNodeProperties() : nullptr;
    if (!block) return false;
    bool kept = false;
    bool bitmapInUse = false, solidInUse = false, gradientInUse = false;
    if (KeptText(block, kBitmapNameProperty, background.mBitmap)) {
        background.mHasBitmap = true;
        kept = true;
    }
    RestoreFlag(block, kBitmapInUseProperty, bitmapInUse);
    RestoreFlag(block, kSolidBackgroundProperty, solidInUse);
    if (block->FindProperty(kGradientInUseProperty)) {
        kept = true;
        RestoreFlag(block, kGradientInUseProperty, gradientInUse);
        Restore(block, kGradientMidProperty, background.mGradientMid);
        float* colors[3] = {background.mGradientTop, background.mGradientMiddle, background.mGradientBottom};
        for (int i = 0; i < 3; ++i)
            KeptPoint(block, kGradientColorProperties[i], colors[i]);
    }
    // One background is in use; a file read gives the bitmap first, then the solid colour.
    background.mActive = bitmapInUse     ? Ftk::kBitmapBackground
                         : solidInUse    ? Ftk::kSolidBackground
                         : gradientInUse ? Ftk::kGradientBackground
                                         : Ftk::kNoBackground;
    return kept;
}

void Put3dsSceneValues(const VOxaNode* root, Ftk::Database* database, double scale) {
    const VObject* block = root ? root->GetNodeProperties() : nullptr;
    if (!block || !database) return;
    if (block->FindProperty(kLayerFogProperty)) {
        Ftk::LayerFog fog;
        RestoreFlag(block, kLayerFogProperty, fog.mInUse);
        Restore(block, kLayerFogNearProperty, fog.mNearY);
        Restore(block, kLayerFogFarProperty, fog.mFarY);
        Restore(block, kLayerFogDensityProperty, fog.mDensity);
        double flags = 0.0;
        if (Kept(block, kLayerFogFlagsProperty, flags) && flags >= 0.0 && flags <= 4294967295.0)
            fog.mFlags = (uint32_t)flags;
        KeptPoint(block, kLayerFogColorProperty, fog.mColor);
        fog.mNearY = (float)(fog.mNearY * scale);
        fog.mFarY = (float)(fog.mFarY * scale);
        Ftk::PutLayerFog(database, fog);
    }
    if (block->FindProperty(kCueProperty)) {
        Ftk::DistanceCue cue;
        RestoreFlag(block, kCueProperty, cue.mInUse);
        Restore(block, kCueNearProperty, cue.mNearPlane);
        Restore(block, kCueNearDimmingProperty, cue.mNearDimming);
        Restore(block, kCueFarProperty, cue.mFarPlane);
        Restore(block, kCueFarDimmingProperty, cue.mFarDimming);
        RestoreFlag(block, kCueBackgroundProperty, cue.mBackground);
        cue.mNearPlane = (float)(cue.mNearPlane * scale);
        cue.mFarPlane = (float)(cue.mFarPlane * scale);
        Ftk::PutDistanceCue(database, cue);
    }
    const struct {
        uint32_t tag;
        const char* name;
    } shadows[3] = {{Ftk::SHADOW_HIGH_BIAS, kHighBiasProperty},
                    {Ftk::SHADOW_SAMPLES, kSamplesProperty},
                    {Ftk::SHADOW_RANGE, kRangeProperty}};
    for (const auto& shadow : shadows) {
        double value = 0.0;
        if (Kept(block, shadow.name, value)) Ftk::PutShadowValue(database, shadow.tag, value);
    }
}

namespace {

// The object flags as bits: bit n for chunk 0x4010 + n.
struct ObjectFlag {
    uint8_t Ftk::Mesh::*mField;
    int mBit;
};
constexpr ObjectFlag kObjectFlags[] = {{&Ftk::Mesh::mFlag4011, 1}, {&Ftk::Mesh::mNoCastShadow, 2},
                                       {&Ftk::Mesh::mMatte, 3},    {&Ftk::Mesh::mFlag4014, 4},
                                       {&Ftk::Mesh::mFrozen, 6},   {&Ftk::Mesh::mNoReceiveShadow, 7}};

}  // namespace

void Keep3dsObjectValues(VOxaNode* node, const Ftk::Mesh& record) {
    int flags = 0;
    for (const ObjectFlag& flag : kObjectFlags)
        if (record.*flag.mField) flags |= 1 << flag.mBit;
    voxa_extras::SetNumber(node, voxa_extras::kObjectFlags3ds, flags);
    voxa_extras::SetNumber(node, voxa_extras::kMeshColor3ds, record.mMeshColor);
}

void Put3dsObjectValues(const VOxaNode* node, Ftk::Mesh& record) {
    double value = 0.0;
    if (voxa_extras::GetNumber(node, voxa_extras::kObjectFlags3ds, value) && value >= 0.0 && value < 256.0) {
        const int flags = (int)value;
        for (const ObjectFlag& flag : kObjectFlags)
            record.*flag.mField = (uint8_t)((flags >> flag.mBit) & 1);
    }
    if (voxa_extras::GetNumber(node, voxa_extras::kMeshColor3ds, value) && value >= 0.0 && value <= 255.0)
        record.mMeshColor = (uint8_t)value;
}

void Keep3dsFileUnits(VOxaNode* root, double unit, float masterScale) {
    VObject* block = root ? root->GetNodeProperties() : nullptr;
    Keep(block, kFileUnitProperty, eValueNumber, unit);
    Keep(block, kMasterScaleProperty, eValueNumber, masterScale);
}

bool Kept3dsFileUnits(const VOxaNode* root, double& unit, float& masterScale) {
    const VObject* block = root ? root->GetNodeProperties() : nullptr;
    double scale = 0.0;
    // A unit a master scale gave (2.54 times a float, or the float itself).
    if (!Kept(block, kFileUnitProperty, unit) || !(unit > 1e-38 && unit < 1e39) ||
        !Kept(block, kMasterScaleProperty, scale) ||
        std::fabs(scale) > (double)std::numeric_limits<float>::max())
        return false;
    masterScale = (float)scale;
    return true;
}

void Keep3dsKeyframerName(VOxaNode* root, const std::string& name) {
    KeepText(root ? root->GetNodeProperties() : nullptr, kKeyframerNameProperty, name);
}

bool Kept3dsKeyframerName(const VOxaNode* root, std::string& name) {
    return KeptText(root ? root->GetNodeProperties() : nullptr, kKeyframerNameProperty, name);
}

namespace {

// The control points' bits: what tells the points the reader made from any others. A word at a
// time (a byte at a time took a tenth of a large read).
std::string PointsMark(const VOxaMesh* mesh) {
    uint64_t hash = 14695981039346656037ull;
    auto add = [&](uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 29;
    };
    const int count = mesh ? mesh->GetControlPointsCount() : 0;
    const VgeTVector* points = mesh ? mesh->GetControlPoints() : nullptr;
    add((uint64_t)count);
    for (int i = 0; points && i < count; ++i)
        for (int j = 0; j < 3; ++j) {
            uint64_t bits;
            std::memcpy(&bits, &points[i][j], sizeof bits);
            add(bits);
        }
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", (unsigned long long)hash);
    return text;
}

}  // namespace

void Keep3dsStoredMesh(VOxaNode* node, const Stored3dsMesh& stored, const VOxaMesh* mesh) {
    std::string text;
    char number[40];
    for (float a : stored.mAxes) {
        std::snprintf(number, sizeof number, "%.9g ", a);
        text += number;
    }
    text += stored.mPlaced ? "1 " : "0 ";
    for (double p : stored.mPivot) {
        std::snprintf(number, sizeof number, "%.17g ", p);
        text += number;
    }
    text += PointsMark(mesh);
    // The file's points, each word's bits: reading them placed turns a zero into a rounding
    // error, a NaN's sign or a denormal into another, which only these give back.
    static const char kHex[] = "0123456789abcdef";
    if (!stored.mPoints.empty()) {
        text += ' ';
        size_t at = text.size();
        text.resize(at + stored.mPoints.size() * 8);
        char* out = &text[at];
        for (float value : stored.mPoints) {
            uint32_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            for (int shift = 28; shift >= 0; shift -= 4)
                *out++ = kHex[(bits >> shift) & 15u];
        }
        // Their flags, four digits each, after them.
        if (!stored.mPointFlags.empty() && stored.mPointFlags.size() * 3 <= stored.mPoints.size()) {
            text += ' ';
            at = text.size();
            text.resize(at + stored.mPointFlags.size() * 4);
            out = &text[at];
            for (uint16_t flags : stored.mPointFlags)
                for (int shift = 12; shift >= 0; shift -= 4)
                    *out++ = kHex[(flags >> shift) & 15u];
        }
    }
    KeepText(node ? node->GetNodeProperties() : nullptr, kStoredMeshProperty, text);
}

bool Kept3dsStoredMesh(const VOxaNode* node, const VOxaMesh* mesh, Stored3dsMesh& stored) {
    std::string text;
    if (!mesh || !KeptText(node ? node->GetNodeProperties() : nullptr, kStoredMeshProperty, text))
        return false;
    const char* p = text.c_str();
    auto number = [&](double& value) {
        char* end = nullptr;
        value = std::strtod(p, &end);
        if (end == p || !std::isfinite(value)) return false;
        p = end;
        return true;
    };
    Stored3dsMesh read;
    double value = 0.0;
    for (float& a : read.mAxes) {
        if (!number(value) || std::fabs(value) > (double)std::numeric_limits<float>::max()) return false;
        a = (float)value;
    }
    if (!number(value) || (value != 0.0 && value != 1.0)) return false;
    read.mPlaced = value == 1.0;
    for (double& pivot : read.mPivot)
        if (!number(pivot)) return false;
    while (*p == ' ')
        ++p;
    const std::string mark = PointsMark(mesh);
    if (std::strncmp(p, mark.c_str(), mark.size()) != 0) return false;
    p += mark.size();
    // Hexadecimal digits up to the next space, `width` to a value; false when they are not.
    auto hex = [&](size_t width, uint32_t& value) {
        value = 0;
        for (size_t k = 0; k < width; ++k, ++p) {
            const char c = *p;
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value << 4 | (uint32_t)digit;
        }
        return true;
    };
    if (*p == ' ') {
        // Points of another count than the mesh's are not its own: none kept.
        const size_t count = (size_t)mesh->GetControlPointsCount();
        const char* end = std::strchr(++p, ' ');
        const size_t digits = end ? (size_t)(end - p) : std::strlen(p);
        if (digits == count * 24) {
            read.mPoints.resize(count * 3);
            for (float& value : read.mPoints) {
                uint32_t bits = 0;
                if (!hex(8, bits)) return false;
                std::memcpy(&value, &bits, sizeof value);
            }
            const size_t flagDigits = *p == ' ' ? std::strlen(p + 1) : 0;
            if (flagDigits > 0 && flagDigits % 4 == 0 && flagDigits <= count * 4) {
                ++p;
                read.mPointFlags.resize(flagDigits / 4);
                for (uint16_t& flags : read.mPointFlags) {
                    uint32_t value = 0;
                    if (!hex(4, value)) return false;
                    flags = (uint16_t)value;
                }
            }
        }
    } else if (*p != '\0') {
        return false;
    }
    stored = std::move(read);
    return true;
}
