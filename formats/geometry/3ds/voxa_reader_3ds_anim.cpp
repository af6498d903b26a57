// The keyframer part of the 3DS reader: tracks of the file's motions become TCB curves of the take
// "default take" (30 frames per second), or default values when a track holds one key or less.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/filters/fcurve_filter_key_reducer.h"
#include "animation/filters/fcurve_filter_unroll.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_quaternion.h"
#include "base/vtime.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "objects/vproperty.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"

namespace {

// The light property that holds a spotlight's falloff angle (the 3DS writer reads it).
constexpr const char* kFalloffProperty = "Falloff";

// The usable keys of a track: no more than its key headers and its values (`width` floats a key)
// hold.
uint32_t UsableKeys(const Ftk::Track& track, int width) {
    size_t n = std::min<size_t>(track.mKeyCount, track.mKeys.size());
    if (width > 0) n = std::min<size_t>(n, track.mValues.size() / (size_t)width);
    return (uint32_t)n;
}

VTime FrameTime(int32_t frame) {
    VTime time;
    time.SetTime(0, 0, 0, frame, 0, VTime::eFRAMES30);
    return time;
}

// The spline parameters a key carries: each only when its flag bit is set.
void TcbOf(const Ftk::KeyHeader& key, float& tension, float& continuity, float& bias) {
    tension = (key.mSplineFlags & 0x1) ? key.mTension : 0.0f;
    continuity = (key.mSplineFlags & 0x2) ? key.mContinuity : 0.0f;
    bias = (key.mSplineFlags & 0x4) ? key.mBias : 0.0f;
}

// Walks the keys in file order and calls `take(index, key)` for each key taken: the first, then
// every key whose frame lies after the frame of the last one taken. Answers the number taken,
// so that the curves hold those keys only, in order.
template <class Take>
int ForEachTakenKey(uint32_t keyCount, const Ftk::KeyHeader* keys, Take take) {
    int taken = 0;
    int32_t lastFrame = 0;
    for (uint32_t i = 0; i < keyCount; ++i) {
        if (taken > 0 && keys[i].mFrame <= lastFrame) continue;
        lastFrame = keys[i].mFrame;
        take(taken, i);
        ++taken;
    }
    return taken;
}

void OpenCurves(VFCurve** curves, int count, uint32_t keyCount) {
    for (int c = 0; c < count; ++c) {
        if (!curves[c]) continue;
        curves[c]->ResizeKeyBuffer((int)keyCount);
        curves[c]->KeyModifyBegin();
    }
}

void CloseCurves(VFCurve** curves, int count) {
    for (int c = 0; c < count; ++c)
        if (curves[c]) curves[c]->KeyModifyEnd();
}

void ReduceKeys(VFCurve** curves, int count) {
    // The filter works on complete sets: curves a channel lacks are left out.
    VFCurve* present[3];
    int n = 0;
    for (int c = 0; c < count; ++c)
        if (curves[c]) present[n++] = curves[c];
    if (n == 0) return;
    VFCurveFilterKeyReducer reducer;
    reducer.SetPrecision(1.0);
    reducer.Apply(present, n);
}

// The unit quaternion of a 3DS angle-axis value, turned Y-up: axis (x, z, -y), angle negated.
void KeyQuaternion(const float* value, double q[4]) {
    double axis[3] = {value[1], value[3], -(double)value[2]};
    const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
    if (length > 0.0) {
        axis[0] /= length;
        axis[1] /= length;
        axis[2] /= length;
    }
    const double angle = -(double)value[0];
    const double s = std::sin(angle * 0.5);
    VgeQuaternionSet(q, axis[0] * s, axis[1] * s, axis[2] * s, std::cos(angle * 0.5));
}

// The value of a keyed track at frame 0, which the geometry formats and every other reader of
// the defaults take as the node's pose. Each curve's default takes it too.
bool FrameZero(VFCurve** curves, double out[3]) {
    if (!curves[0] || !curves[1] || !curves[2]) return false;
    for (int a = 0; a < 3; ++a) {
        out[a] = curves[a]->Evaluate(VTime(0));
        curves[a]->SetDefaultValue((float)out[a]);
    }
    return true;
}

void QuaternionToEuler(const double q[4], double angles[3]) {
    double m[4][4];
    VgeMatrixIdentity(m);
    VgeQuaternionToMatrix(m, q);
    VgeMatrixToEulerXYZ(angles, m);
}

}  // namespace

void VOxaReader3DS::PrepareTake(VOxaNode* node) {
    if (!node) return;
    node->AddTakeNode(kTakeName);
    node->SetCurrentTakeNode(kTakeName);
}

bool VOxaReader3DS::AnimateObjects() {
    for (auto& entry : mObjectMotions) {
        VOxaNode* node = entry.mNode;
        const Ftk::ObjectMotion* m = entry.mRecord;
        if (!node || !m) continue;
        PrepareTake(node);
        if (!ImportPositionTrack(node, UsableKeys(m->mPosition, 3), m->mPosition.mKeys.data(),
                                 m->mPosition.mValues.data()) ||
            !ImportRotationTrack(node, UsableKeys(m->mRotation, 4), m->mRotation.mKeys.data(),
                                 m->mRotation.mValues.data()) ||
            !ImportScaleTrack(node, UsableKeys(m->mScale, 3), m->mScale.mKeys.data(),
                              m->mScale.mValues.data()))
            return false;
    }
    return true;
}

bool VOxaReader3DS::AnimateLights() {
    for (auto& entry : mOmniMotions) {
        VOxaNode* node = entry.mNode;
        const Ftk::OmniLightMotion* m = entry.mRecord;
        if (!node || !m) continue;
        PrepareTake(node);
        ImportPositionTrack(node, UsableKeys(m->mPosition, 3), m->mPosition.mKeys.data(),
                            m->mPosition.mValues.data());
        ImportColorTrack(node, UsableKeys(m->mColor, 3), m->mColor.mKeys.data(), m->mColor.mValues.data());
        auto found = mOmniByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        if (VOxaLight* light = node->GetLight())
            if (found != mOmniByName.end())
                light->SetDefaultIntensity(mOmniLights[found->second].mRecord->mMultiplier * 100.0);
    }
    return true;
}

bool VOxaReader3DS::AnimateSpots() {
    for (auto& entry : mSpotMotions) {
        VOxaNode* node = entry.mNode;
        const Ftk::SpotlightMotion* m = entry.mRecord;
        if (!node || !m) continue;
        PrepareTake(node);
        ImportPositionTrack(node, UsableKeys(m->mPosition, 3), m->mPosition.mKeys.data(),
                            m->mPosition.mValues.data());
        ImportColorTrack(node, UsableKeys(m->mColor, 3), m->mColor.mKeys.data(), m->mColor.mValues.data());
        ImportConeAngleTrack(node, UsableKeys(m->mHotspot, 1), m->mHotspot.mKeys.data(),
                             m->mHotspot.mValues.data());
        auto found = mSpotByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        if (VOxaLight* light = node->GetLight()) {
            const Ftk::Light* record =
                found != mSpotByName.end() ? mSpotlights[found->second].mRecord : nullptr;
            if (record) light->SetDefaultIntensity(record->mMultiplier * 100.0);
            // The falloff: the keyframer's at its first key, else the light record's. The scene's
            // cone angle is the hotspot; the light keeps the falloff for a 3DS writer.
            double falloff = std::nan("");
            if (UsableKeys(m->mFalloff, 1) > 0)
                falloff = m->mFalloff.mValues[0];
            else if (record && record->mSpot)
                falloff = record->mSpot->mFalloff;
            if (std::isfinite(falloff)) {
                VOxaLightProperties* block = light->GetProperties();
                VProperty* property = block ? block->FindProperty(kFalloffProperty) : nullptr;
                if (!property && block)
                    property = block->CreateDynamicProperty(kFalloffProperty, eValueNumber, nullptr);
                if (property) property->SetDouble(falloff);
            }
        }
        if (VOxaNode* target = entry.mTargetNode) {
            PrepareTake(target);
            ImportPositionTrack(target, UsableKeys(m->mTargetPosition, 3), m->mTargetPosition.mKeys.data(),
                                m->mTargetPosition.mValues.data());
        }
    }
    return true;
}

bool VOxaReader3DS::AnimateCameras() {
    for (auto& entry : mCameraMotions) {
        VOxaNode* node = entry.mNode;
        const Ftk::CameraMotion* m = entry.mRecord;
        if (!node || !m) continue;
        PrepareTake(node);
        ImportPositionTrack(node, UsableKeys(m->mPosition, 3), m->mPosition.mKeys.data(),
                            m->mPosition.mValues.data());
        ImportFieldOfViewTrack(node, UsableKeys(m->mFieldOfView, 1), m->mFieldOfView.mKeys.data(),
                               m->mFieldOfView.mValues.data());
        ImportRollTrack(node, UsableKeys(m->mRoll, 1), m->mRoll.mKeys.data(), m->mRoll.mValues.data());
        if (VOxaNode* target = entry.mTargetNode) {
            PrepareTake(target);
            ImportPositionTrack(target, UsableKeys(m->mTargetPosition, 3), m->mTargetPosition.mKeys.data(),
                                m->mTargetPosition.mValues.data());
        }
    }
    return true;
}

bool VOxaReader3DS::ImportPositionTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                        const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetTranslationX();
        curves[1] = take->GetTranslationY();
        curves[2] = take->GetTranslationZ();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        OpenCurves(curves, 3, keyCount);
        ForEachTakenKey(keyCount, keys, [&](int index, uint32_t i) {
            double p[3];
            ToScene(values + (size_t)i * 3, p);
            float t, c, b;
            TcbOf(keys[i], t, c, b);
            const VTime time = FrameTime(keys[i].mFrame);
            for (int a = 0; a < 3; ++a)
                if (curves[a]) curves[a]->KeySetTCB(index, time, (float)p[a], t, c, b);
        });
        CloseCurves(curves, 3);
        if (mReduceKeys) ReduceKeys(curves, 3);
        double p[3];
        if (FrameZero(curves, p)) node->SetLclTranslation(VgeTVector(p[0], p[1], p[2], 0.0));
        return true;
    }
    double p[3] = {0.0, 0.0, 0.0};
    if (keyCount > 0 && values) ToScene(values, p);
    for (int a = 0; a < 3; ++a)
        if (curves[a]) curves[a]->SetDefaultValue((float)p[a]);
    node->SetLclTranslation(VgeTVector(p[0], p[1], p[2], 0.0));
    return true;
}

bool VOxaReader3DS::ImportScaleTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                     const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetScaleX();
        curves[1] = take->GetScaleY();
        curves[2] = take->GetScaleZ();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        OpenCurves(curves, 3, keyCount);
        ForEachTakenKey(keyCount, keys, [&](int index, uint32_t i) {
            const float* v = values + (size_t)i * 3;
            const float s[3] = {v[0], v[2], v[1]};
            float t, c, b;
            TcbOf(keys[i], t, c, b);
            const VTime time = FrameTime(keys[i].mFrame);
            for (int a = 0; a < 3; ++a)
                if (curves[a]) curves[a]->KeySetTCB(index, time, s[a], t, c, b);
        });
        CloseCurves(curves, 3);
        if (mReduceKeys) ReduceKeys(curves, 3);
        double s[3];
        if (FrameZero(curves, s)) node->SetLclScaling(VgeTVector(s[0], s[1], s[2], 0.0));
        return true;
    }
    double s[3] = {1.0, 1.0, 1.0};
    if (keyCount > 0 && values) {
        s[0] = values[0];
        s[1] = values[2];
        s[2] = values[1];
    }
    for (int a = 0; a < 3; ++a)
        if (curves[a]) curves[a]->SetDefaultValue((float)s[a]);
    node->SetLclScaling(VgeTVector(s[0], s[1], s[2], 0.0));
    return true;
}

bool VOxaReader3DS::ImportRotationTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                        const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetEulerRotationX();
        curves[1] = take->GetEulerRotationY();
        curves[2] = take->GetEulerRotationZ();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        // Each key turns relative to the previous one: the orientations accumulate.
        double orientation[4] = {0.0, 0.0, 0.0, 1.0};
        OpenCurves(curves, 3, keyCount);
        ForEachTakenKey(keyCount, keys, [&](int index, uint32_t i) {
            double q[4];
            KeyQuaternion(values + (size_t)i * 4, q);
            const double* Q = orientation;
            double r[4];
            r[0] = q[3] * Q[0] + q[0] * Q[3] + q[1] * Q[2] - q[2] * Q[1];
            r[1] = q[3] * Q[1] - q[0] * Q[2] + q[1] * Q[3] + q[2] * Q[0];
            r[2] = q[3] * Q[2] + q[0] * Q[1] - q[1] * Q[0] + q[2] * Q[3];
            r[3] = q[3] * Q[3] - q[0] * Q[0] - q[1] * Q[1] - q[2] * Q[2];
            const double length = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
            if (length > 0.0 && std::isfinite(length))
                for (int k = 0; k < 4; ++k)
                    orientation[k] = r[k] / length;
            double angles[3];
            QuaternionToEuler(orientation, angles);
            float t, c, b;
            TcbOf(keys[i], t, c, b);
            const VTime time = FrameTime(keys[i].mFrame);
            for (int a = 0; a < 3; ++a)
                if (curves[a]) curves[a]->KeySetTCB(index, time, (float)angles[a], t, c, b);
        });
        CloseCurves(curves, 3);
        if (curves[0] && curves[1] && curves[2]) {
            VFCurveFilterUnroll unroll;
            unroll.SetQualityThreshold(0.25);
            unroll.SetQualityCheck(true);
            unroll.Apply(curves, 3);
        }
        if (mReduceKeys) ReduceKeys(curves, 3);
        double angles[3];
        if (FrameZero(curves, angles)) node->SetLclRotation(VgeTVector(angles[0], angles[1], angles[2], 0.0));
        return true;
    }
    double q[4];
    if (keyCount > 0 && values) {
        KeyQuaternion(values, q);
    } else {
        const float none[4] = {0.0f, 0.0f, 1.0f, 0.0f};  // angle 0 about the file's Y axis
        KeyQuaternion(none, q);
    }
    double angles[3];
    QuaternionToEuler(q, angles);
    for (int a = 0; a < 3; ++a)
        if (curves[a]) curves[a]->SetDefaultValue((float)angles[a]);
    node->SetLclRotation(VgeTVector(angles[0], angles[1], angles[2], 0.0));
    return true;
}

bool VOxaReader3DS::ImportColorTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                     const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetColorR();
        curves[1] = take->GetColorG();
        curves[2] = take->GetColorB();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        OpenCurves(curves, 3, keyCount);
        ForEachTakenKey(keyCount, keys, [&](int index, uint32_t i) {
            const float* v = values + (size_t)i * 3;
            float t, c, b;
            TcbOf(keys[i], t, c, b);
            const VTime time = FrameTime(keys[i].mFrame);
            for (int a = 0; a < 3; ++a)
                if (curves[a]) curves[a]->KeySetTCB(index, time, v[a], t, c, b);
        });
        CloseCurves(curves, 3);
        if (mReduceKeys) ReduceKeys(curves, 3);
        double color[3];
        if (FrameZero(curves, color))
            if (VOxaLight* light = node->GetLight()) {
                VOxaColor value;
                value.Set(color[0], color[1], color[2], 1.0);
                light->SetDefaultColor(value);
            }
        return true;
    }
    float color[3] = {1.0f, 1.0f, 1.0f};
    if (keyCount > 0 && values) std::memcpy(color, values, sizeof color);
    OpenCurves(curves, 3, 1);
    for (int a = 0; a < 3; ++a)
        if (curves[a]) curves[a]->KeySetTCB(0, VTime(0), color[a]);
    CloseCurves(curves, 3);
    VOxaColor value;
    value.Set(color[0], color[1], color[2], 1.0);
    if (VOxaLight* light = node->GetLight())
        light->SetDefaultColor(value);
    else if (VOxaMarker* marker = node->GetMarker())
        marker->SetColor(value.mRed, value.mGreen, value.mBlue);
    return true;
}

void VOxaReader3DS::ImportScalarTrack(VFCurve* curve, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                      const float* values, double fallback, double& defaultValue) {
    VFCurve* curves[1] = {curve};
    if (keyCount > 1 && mAnim && keys && values) {
        OpenCurves(curves, 1, keyCount);
        ForEachTakenKey(keyCount, keys, [&](int index, uint32_t i) {
            float t, c, b;
            TcbOf(keys[i], t, c, b);
            if (curve) curve->KeySetTCB(index, FrameTime(keys[i].mFrame), values[i], t, c, b);
        });
        CloseCurves(curves, 1);
        if (mReduceKeys) ReduceKeys(curves, 1);
        defaultValue = std::nan("");
        if (curve) {
            defaultValue = curve->Evaluate(VTime(0));
            curve->SetDefaultValue((float)defaultValue);
        }
        return;
    }
    defaultValue = keyCount > 0 && values ? (double)values[0] : fallback;
    OpenCurves(curves, 1, 1);
    if (curve) curve->KeySetTCB(0, VTime(0), (float)defaultValue);
    CloseCurves(curves, 1);
}

bool VOxaReader3DS::ImportConeAngleTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                         const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    double value;
    ImportScalarTrack(take ? take->GetLightConeAngle() : nullptr, keyCount, keys, values, 45.0, value);
    if (!std::isnan(value))
        if (VOxaLight* light = node->GetLight()) light->SetDefaultConeAngle(value);
    return true;
}

bool VOxaReader3DS::ImportFieldOfViewTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                           const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    // The file holds the horizontal angle; "FieldOfView" holds the angle before the film's aspect
    // and squeeze, as the writer reads it. Turned back with the same ratio, a trip keeps it.
    std::vector<float> angles;
    double fallback = 45.0;
    if (VOxaCamera* camera = node->GetCamera()) {
        const double height = camera->GetFilmHeight();
        const double ratio =
            height != 0.0 ? camera->GetFilmWidth() / height * camera->GetFilmSqueezeRatio() : 0.0;
        if (std::isfinite(ratio) && ratio > 0.0) {
            auto unsqueeze = [ratio](double h) {
                const double v = std::atan(std::tan(h * 0.008726646259971648) / ratio) * 114.59155902616465;
                return std::isfinite(v) ? v : h;
            };
            if (values) {
                angles.assign(values, values + keyCount);
                for (float& angle : angles)
                    angle = (float)unsqueeze(angle);
                values = angles.data();
            }
            fallback = unsqueeze(fallback);
        }
    }
    double value;
    ImportScalarTrack(take ? take->GetCameraFieldOfView() : nullptr, keyCount, keys, values, fallback, value);
    if (!std::isnan(value))
        if (VOxaCamera* camera = node->GetCamera()) camera->SetDefaultFieldOfView(value);
    return true;
}

bool VOxaReader3DS::ImportRollTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                    const float* values) {
    if (!node) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    double value;
    ImportScalarTrack(take ? take->GetCameraRoll() : nullptr, keyCount, keys, values, 0.0, value);
    if (!std::isnan(value))
        if (VOxaCamera* camera = node->GetCamera()) camera->SetDefaultRoll(value);
    return true;
}
