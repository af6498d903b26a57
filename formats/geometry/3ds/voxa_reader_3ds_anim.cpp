// The keyframer part of the 3DS reader: tracks of the file's motions become curves of the take
// "default take" (30 frames per second), or default values when a track holds one key or less.
//
// The curves follow the path that 3DS players give the keys. Between keys a 3DS track is a
// Kochanek-Bartels spline whose tangents are scaled by the spacing of the keys around each key;
// rotations are quaternion splines through keys that each turn relative to the one before. The
// file's keys are kept as TCB keys where the toolkit's evaluation of them gives that path, as
// keys with their 3DS slopes where a spline needs other tangents, and a rotation that Euler
// curves through its keys cannot follow is given a key at every frame of its path.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "animation/euler_continuity.h"
#include "animation/fcurve.h"
#include "animation/filters/fcurve_filter_key_reducer.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_quaternion.h"
#include "base/vtime.h"
#include "formats/geometry/3ds/ftk_spline.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "objects/vproperty.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_take_node.h"

namespace {

// The light property that holds a spotlight's falloff angle (the 3DS writer reads it).
constexpr const char* kFalloffProperty = "Falloff";

// Where a file's static section puts a light, camera or target when its keyframer puts it
// elsewhere at frame 0 (scene axes and units, the world), and the camera's roll there: kept for a
// 3DS writer, whose static section would otherwise show the keyframer's frame 0.
constexpr const char* kStaticPositionProperty = "3DS Static Position";
constexpr const char* kStaticTargetProperty = "3DS Static Target";
constexpr const char* kStaticRollProperty = "3DS Static Roll";
constexpr const char* kStaticFieldOfViewProperty = "3DS Static Field Of View";  // 2400 / lens

// The property `name` of a property block, made as a dynamic one of `type` when missing.
template <class Block>
VProperty* DynamicProperty(Block* block, const char* name, int type) {
    if (!block) return nullptr;
    VProperty* property = block->FindProperty(name);
    if (!property) property = block->CreateDynamicProperty(name, type, nullptr);
    return property;
}

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

// The keys the curves take: the first of the track, then every key whose frame lies after the
// frame of the last one taken. `index` holds their places in the file's track.
struct TakenKeys {
    std::vector<Ftk::SplineKey> keys;
    std::vector<uint32_t> index;

    TakenKeys(uint32_t keyCount, const Ftk::KeyHeader* file) {
        keys.reserve(keyCount);
        index.reserve(keyCount);
        for (uint32_t i = 0; i < keyCount; ++i) {
            if (!keys.empty() && file[i].mFrame <= keys.back().frame) continue;
            Ftk::SplineKey key;
            key.frame = file[i].mFrame;
            TcbOf(file[i], key.tension, key.continuity, key.bias);
            keys.push_back(key);
            index.push_back(i);
        }
    }
    size_t size() const { return keys.size(); }
};

constexpr double kFramesPerSecond = 30.0;

void OpenCurves(VFCurve** curves, int count, uint32_t keyCount) {
    for (int c = 0; c < count; ++c) {
        if (!curves[c]) continue;
        if (!curves[c]->ResizeKeyBuffer((int)keyCount)) throw std::bad_alloc();
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
    RotationToEulerXYZ(m, angles);
}

// Keys of a track on its curves (`width` values a key in `values`, curves that are null are left
// out): TCB keys with the file's parameters where the toolkit's slopes at the keys are the 3DS
// ones, otherwise keys that hold the 3DS slopes themselves (cubic, user tangents, broken), so
// that the curve follows the file's spline either way.
void SetSplineKeys(VFCurve** curves, int width, const TakenKeys& taken, const std::vector<float>& values) {
    const std::vector<Ftk::SplineKey>& keys = taken.keys;
    const size_t n = keys.size();
    OpenCurves(curves, width, (uint32_t)n);
    for (size_t k = 0; k < n; ++k) {
        const VTime time = FrameTime(keys[k].frame);
        for (int a = 0; a < width; ++a)
            if (curves[a])
                curves[a]->KeySetTCB((int)k, time, values[k * width + a], keys[k].tension, keys[k].continuity,
                                     keys[k].bias);
    }
    CloseCurves(curves, width);
    std::vector<double> in(n, 0.0), out(n, 0.0);
    for (int a = 0; a < width; ++a) {
        VFCurve* curve = curves[a];
        if (!curve) continue;
        bool same = true;
        for (size_t k = 0; k < n; ++k) {
            Ftk::SplineSlopes(keys.data(), values.data(), n, width, a, k, in[k], out[k]);
            // Per frame to per second.
            in[k] *= kFramesPerSecond;
            out[k] *= kFramesPerSecond;
            auto differs = [](double have, double want) {
                return !(std::fabs(have - want) <= 1e-5 * (1.0 + std::fabs(want)));
            };
            if ((k > 0 && differs(curve->KeyGetLeftDerivative((int)k), in[k])) ||
                (k + 1 < n && differs(curve->KeyGetRightDerivative((int)k), out[k])))
                same = false;
        }
        if (same) continue;
        curve->KeyModifyBegin();
        for (size_t k = 0; k < n; ++k) {
            // A key holds its right slope and the left slope of the key after it.
            const double right = k + 1 < n ? out[k] : in[k];
            const double nextLeft = k + 1 < n ? in[k + 1] : in[k];
            curve->KeySet((int)k, FrameTime(keys[k].frame), values[k * width + a],
                          VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, (float)right,
                          (float)nextLeft);
        }
        curve->KeyModifyEnd();
    }
}

// Euler angles (degrees, the scene's axes) of a file orientation: the file's Z-up axes turned
// Y-up with the angle's sense turned, as KeyQuaternion does for one key.
void FileOrientationToEuler(const Ftk::Quat& q, double angles[3]) {
    double scene[4];
    VgeQuaternionSet(scene, -q.x, -q.z, q.y, q.w);
    QuaternionToEuler(scene, angles);
}

// Whether two sets of Euler angles give the same orientation (to about 0.001 degree).
bool SameOrientation(const double a[3], const double b[3]) {
    double ma[4][4], mb[4][4];
    VgeMatrixIdentity(ma);
    VgeMatrixIdentity(mb);
    VgeEulerXYZToMatrix(ma, a[0], a[1], a[2]);
    VgeEulerXYZToMatrix(mb, b[0], b[1], b[2]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (!(std::fabs(ma[r][c] - mb[r][c]) <= 2e-5)) return false;
    return true;
}

// The most frames of rotation paths one read walks; longer tracks keep their keys only.
constexpr int64_t kRotationFrameBudget = 200000;

}  // namespace

void VOxaReader3DS::PrepareTake(VOxaNode* node) {
    if (!node) return;
    node->AddTakeNode(kTakeName);
    node->SetCurrentTakeNode(kTakeName);
}

bool VOxaReader3DS::AnimateObjects() {
    mRotationFrames = 0;
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
        auto mesh = mMeshByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        const bool hidden = mesh != mMeshByName.end() && mMeshes[mesh->second].mRecord &&
                            mMeshes[mesh->second].mRecord->mHidden != 0;
        ImportHideTrack(node, hidden, UsableKeys(m->mHide, 0), m->mHide.mKeys.data());
        if (mAnim) {
            KeepTrackFlags(node, kKeptPositionKeysProperty, m->mPosition);
            KeepTrackFlags(node, kKeptRotationKeysProperty, m->mRotation);
            KeepTrackFlags(node, kKeptScaleKeysProperty, m->mScale);
            KeepTrackFlags(node, kKeptHideKeysProperty, m->mHide);
            KeepTrackFlags(node, kKeptMorphKeysProperty, m->mMorph);
            for (int i = 0; i < Ftk::kObjectOtherTrackCount; ++i) {
                const Ftk::Track& other = m->mOtherTracks[i];
                const int width = Ftk::TrackValueWidth(Ftk::kObjectOtherTrackTags[i]);
                KeepTrackKeys(node, kKeptObjectOtherKeysProperties[i], other.mKeys.data(),
                              other.mValues.data(), UsableKeys(other, width), width);
                KeepTrackFlags(node, kKeptObjectOtherKeysProperties[i], other);
            }
        }
        // The morph track as the file keys it, with its smoothing angle, for a 3DS writer: its
        // keys name other objects whose shapes the scene's mesh does not hold.
        const uint32_t morphs =
            std::min<uint32_t>(UsableKeys(m->mMorph, 0), (uint32_t)m->mMorph.mMorphNames.size());
        KeepMorphKeys(node, m->mMorph.mKeys.data(), m->mMorph.mMorphNames.data(), morphs);
        KeepNodeFlags(node, m->mFlags1, m->mFlags2);
        if ((m->mFlags2 & 0x0001) && std::isfinite(m->mMorphSmooth))
            if (VProperty* smooth =
                    DynamicProperty(node->GetNodeProperties(), kKeptMorphSmoothProperty, eValueNumber))
                smooth->SetDouble(m->mMorphSmooth);
    }
    return true;
}

bool VOxaReader3DS::KeepAmbientNode(VOxaScene* scene) {
    VOxaNode* root = scene ? scene->GetRootNode() : nullptr;
    if (!root || !mDatabase || !mAmbientLight) return true;
    Ftk::AmbientMotion motion;
    const bool found = Ftk::GetAmbientMotion(mDatabase, &motion);
    if (Ftk::Stopped()) return false;
    if (!found) return true;
    // The scene holds one ambient light: a file's further ambient nodes are named, not kept.
    if (const uint32_t nodes = Ftk::CountObjectsOfTag(mDatabase, Ftk::AMBIENT_NODE); nodes > 1)
        mMessageText +=
            ("The file has " + std::to_string(nodes) +
             " ambient light nodes (\"$AMBIENT$\"); only the first is read, the others are left out.\n")
                .c_str();
    // The scene's ambient colour is the file's static one; the ambient node's colour track,
    // which the scene has no curve for, is kept for a 3DS writer with the node's flags.
    const uint32_t count = UsableKeys(motion.mColor, 3);
    if (count == 0) return true;
    KeepTrackKeys(root, kKeptAmbientKeysProperty, motion.mColor.mKeys.data(), motion.mColor.mValues.data(),
                  count, 3);
    KeepTrackFlags(root, kKeptAmbientKeysProperty, motion.mColor);
    if (VProperty* flags =
            DynamicProperty(root->GetNodeProperties(), kKeptAmbientFlagsProperty, eValueNumber))
        flags->SetDouble((double)motion.mFlags1 + 65536.0 * motion.mFlags2);
    return true;
}

void VOxaReader3DS::ImportHideTrack(VOxaNode* node, bool hidden, uint32_t keyCount,
                                    const Ftk::KeyHeader* keys) {
    node->SetVisibility(!hidden);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curve = take ? take->GetVisibility() : nullptr;
    if (!mAnim || !curve || keyCount == 0 || !keys) return;
    KeepTrackKeys(node, kKeptHideKeysProperty, keys, nullptr, keyCount, 0);
    // Each key turns the object's hiding over; before the first it is shown. The curve steps
    // between 1 (shown) and 0 (hidden); a key at frame 0 shows the object up to a later first turn.
    const TakenKeys taken(keyCount, keys);
    const bool leading = taken.keys.front().frame > 0;
    OpenCurves(&curve, 1, (uint32_t)(taken.size() + (leading ? 1 : 0)));
    int index = 0;
    // Constant keys hold their own value up to the next (the mode word's default would be the
    // tangent mode's auto bit, which for a constant key means holding the next key's value).
    if (leading)
        curve->KeySet(index++, FrameTime(0), 1.0f, VFCurveKey::eInterpolationConstant,
                      VFCurveKey::eConstantStandard);
    bool hiddenNow = false;
    for (size_t k = 0; k < taken.size(); ++k) {
        hiddenNow = !hiddenNow;
        curve->KeySet(index++, FrameTime(taken.keys[k].frame), hiddenNow ? 0.0f : 1.0f,
                      VFCurveKey::eInterpolationConstant, VFCurveKey::eConstantStandard);
    }
    CloseCurves(&curve, 1);
    curve->SetDefaultValue(curve->Evaluate(VTime(0)));
    node->SetVisibility(curve->Evaluate(VTime(0)) >= 0.5f);
    // The object's own hidden flag, which the visibility no longer tells.
    if (VProperty* flag = DynamicProperty(node->GetNodeProperties(), kKeptHiddenProperty, eValueBool))
        flag->SetDouble(hidden ? 1.0 : 0.0);
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
        if (mAnim) {
            KeepTrackFlags(node, kKeptPositionKeysProperty, m->mPosition);
            KeepTrackFlags(node, kKeptColorKeysProperty, m->mColor);
        }
        KeepNodeFlags(node, m->mFlags1, m->mFlags2);
        auto found = mOmniByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        if (VOxaLight* light = node->GetLight())
            if (found != mOmniByName.end()) {
                const Ftk::Light* record = mOmniLights[found->second].mRecord;
                light->SetDefaultIntensity(record->mMultiplier * 100.0);
                KeepStaticPoint(light->GetProperties(), kStaticPositionProperty, m->mPosition,
                                record->mPosition);
            }
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
        if (mAnim) {
            KeepTrackFlags(node, kKeptPositionKeysProperty, m->mPosition);
            KeepTrackFlags(node, kKeptColorKeysProperty, m->mColor);
            KeepTrackFlags(node, kKeptHotspotKeysProperty, m->mHotspot);
            KeepTrackFlags(node, kKeptFalloffKeysProperty, m->mFalloff);
            KeepTrackFlags(node, kKeptSpotRollKeysProperty, m->mRoll);
        }
        KeepNodeFlags(node, m->mFlags1, m->mFlags2);
        KeepNodeFlags(entry.mTargetNode, m->mTargetFlags1, m->mTargetFlags2);
        auto found = mSpotByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        const Ftk::Light* record = found != mSpotByName.end() ? mSpotlights[found->second].mRecord : nullptr;
        if (UsableKeys(m->mHotspot, 1) == 0 && record && record->mSpot) {
            // No hotspot track: the light's own hotspot holds.
            const Ftk::KeyHeader key;
            ImportConeAngleTrack(node, 1, &key, &record->mSpot->mHotspot);
        } else {
            ImportConeAngleTrack(node, UsableKeys(m->mHotspot, 1), m->mHotspot.mKeys.data(),
                                 m->mHotspot.mValues.data());
        }
        if (VOxaLight* light = node->GetLight()) {
            if (record) light->SetDefaultIntensity(record->mMultiplier * 100.0);
            if (record)
                KeepStaticPoint(light->GetProperties(), kStaticPositionProperty, m->mPosition,
                                record->mPosition);
            if (record && record->mSpot)
                KeepStaticPoint(light->GetProperties(), kStaticTargetProperty, m->mTargetPosition,
                                record->mSpot->mTarget);
            // The falloff: the keyframer's at its first key, else the light record's. The scene's
            // cone angle is the hotspot; the light keeps the falloff for a 3DS writer.
            double falloff = std::nan("");
            if (UsableKeys(m->mFalloff, 1) > 0)
                falloff = m->mFalloff.mValues[0];
            else if (record && record->mSpot)
                falloff = record->mSpot->mFalloff;
            // The falloff and roll tracks as the file keys them, for a 3DS writer: the scene's
            // light has no place for either.
            KeepTrackKeys(node, kKeptFalloffKeysProperty, m->mFalloff.mKeys.data(),
                          m->mFalloff.mValues.data(), UsableKeys(m->mFalloff, 1), 1);
            KeepTrackKeys(node, kKeptSpotRollKeysProperty, m->mRoll.mKeys.data(), m->mRoll.mValues.data(),
                          UsableKeys(m->mRoll, 1), 1);
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
            if (mAnim) KeepTrackFlags(target, kKeptPositionKeysProperty, m->mTargetPosition);
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
        if (mAnim) {
            KeepTrackFlags(node, kKeptPositionKeysProperty, m->mPosition);
            KeepTrackFlags(node, kKeptFieldOfViewKeysProperty, m->mFieldOfView);
            KeepTrackFlags(node, kKeptCameraRollKeysProperty, m->mRoll);
        }
        KeepNodeFlags(node, m->mFlags1, m->mFlags2);
        KeepNodeFlags(entry.mTargetNode, m->mTargetFlags1, m->mTargetFlags2);
        if (VOxaNode* target = entry.mTargetNode) {
            PrepareTake(target);
            ImportPositionTrack(target, UsableKeys(m->mTargetPosition, 3), m->mTargetPosition.mKeys.data(),
                                m->mTargetPosition.mValues.data());
            if (mAnim) KeepTrackFlags(target, kKeptPositionKeysProperty, m->mTargetPosition);
        }
        auto found = mCameraByName.find(std::string(m->mName, strnlen(m->mName, sizeof m->mName)));
        VOxaCamera* camera = node->GetCamera();
        if (found == mCameraByName.end() || !camera) continue;
        const Ftk::Camera* record = mCameras[found->second].mRecord;
        KeepStaticPoint(camera->GetProperties(), kStaticPositionProperty, m->mPosition, record->mPosition);
        KeepStaticPoint(camera->GetProperties(), kStaticTargetProperty, m->mTargetPosition, record->mTarget);
        if (UsableKeys(m->mRoll, 1) > 0 && m->mRoll.mValues[0] != record->mRoll &&
            std::isfinite(record->mRoll))
            if (VProperty* roll = DynamicProperty(camera->GetProperties(), kStaticRollProperty, eValueNumber))
                roll->SetDouble(record->mRoll);
        if (UsableKeys(m->mFieldOfView, 1) > 0 && m->mFieldOfView.mValues[0] != record->mFieldOfView &&
            std::isfinite(record->mFieldOfView))
            if (VProperty* angle =
                    DynamicProperty(camera->GetProperties(), kStaticFieldOfViewProperty, eValueNumber))
                angle->SetDouble(record->mFieldOfView);
    }
    return true;
}

bool VOxaReader3DS::ImportPositionTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                        const float* values) {
    if (!node) return true;
    if (mAnim && keyCount > 0 && keys && values) {
        // The file's keys in its axes, in scene units, as a 3DS writer puts positions.
        const double scale = mCreateReferenceNode ? 1.0 : mUnitFactor;
        std::vector<float> scaled((size_t)keyCount * 3);
        for (size_t i = 0; i < scaled.size(); ++i)
            scaled[i] = (float)(values[i] * scale);
        KeepTrackKeys(node, kKeptPositionKeysProperty, keys, scaled.data(), keyCount, 3);
    }
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetTranslationX();
        curves[1] = take->GetTranslationY();
        curves[2] = take->GetTranslationZ();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        const TakenKeys taken(keyCount, keys);
        std::vector<float> points(taken.size() * 3);
        for (size_t k = 0; k < taken.size(); ++k) {
            double p[3];
            ToScene(values + (size_t)taken.index[k] * 3, p);
            for (int a = 0; a < 3; ++a)
                points[k * 3 + a] = (float)p[a];
        }
        SetSplineKeys(curves, 3, taken, points);
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
    if (mAnim && keys && values) KeepTrackKeys(node, kKeptScaleKeysProperty, keys, values, keyCount, 3);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetScaleX();
        curves[1] = take->GetScaleY();
        curves[2] = take->GetScaleZ();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        const TakenKeys taken(keyCount, keys);
        std::vector<float> scales(taken.size() * 3);
        for (size_t k = 0; k < taken.size(); ++k) {
            const float* v = values + (size_t)taken.index[k] * 3;
            scales[k * 3] = v[0];
            scales[k * 3 + 1] = v[2];
            scales[k * 3 + 2] = v[1];
        }
        SetSplineKeys(curves, 3, taken, scales);
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
        // Every key turns, in frame order (keys at one frame, or going back in frame, are taken
        // in frame order and, at one frame, in the file's order), as 3DS players take them: the
        // orientation at a frame is that of its last key. The curves key the frames the track
        // keys, each with the spline values of its last key there.
        std::vector<uint32_t> order(keyCount);
        for (uint32_t i = 0; i < keyCount; ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [keys](uint32_t a, uint32_t b) { return keys[a].mFrame < keys[b].mFrame; });
        std::vector<Ftk::SplineKey> all(keyCount);
        std::vector<float> turns((size_t)keyCount * 4);
        std::vector<size_t> last;
        for (uint32_t i = 0; i < keyCount; ++i) {
            all[i].frame = keys[order[i]].mFrame;
            TcbOf(keys[order[i]], all[i].tension, all[i].continuity, all[i].bias);
            std::memcpy(&turns[(size_t)i * 4], values + (size_t)order[i] * 4, 4 * sizeof(float));
        }
        for (uint32_t i = 0; i < keyCount; ++i)
            if (i + 1 == keyCount || all[i + 1].frame != all[i].frame) last.push_back(i);
        std::vector<Ftk::SplineKey> frames(last.size());
        for (size_t k = 0; k < last.size(); ++k)
            frames[k] = all[last[k]];
        const size_t n = frames.size();
        const Ftk::RotationPath path(all.data(), turns.data(), keyCount);
        const int32_t first = frames.front().frame;
        const int64_t span = (int64_t)frames.back().frame - first + 1;
        // The path is walked frame by frame, so that the angles stay continuous along it however
        // far it turns between two keys; past the budget only the keys are looked at.
        const bool walk = span <= kRotationFrameBudget - mRotationFrames;
        std::vector<double> angles(walk ? (size_t)span * 3 : n * 3);
        if (walk) {
            mRotationFrames += span;
            for (int64_t f = 0; f < span; ++f) {
                FileOrientationToEuler(path.At((double)(first + f)), &angles[(size_t)f * 3]);
                if (f > 0)
                    MakeEulerContinuous(&angles[(size_t)f * 3], &angles[(size_t)f * 3],
                                        &angles[(size_t)(f - 1) * 3]);
            }
        } else {
            for (size_t k = 0; k < n; ++k) {
                FileOrientationToEuler(path.AtKey(last[k]), &angles[k * 3]);
                if (k > 0) MakeEulerContinuous(&angles[k * 3], &angles[k * 3], &angles[(k - 1) * 3]);
            }
        }
        auto keyAngles = [&](size_t k) {
            return &angles[(walk ? (size_t)(frames[k].frame - first) : k) * 3];
        };
        OpenCurves(curves, 3, (uint32_t)n);
        for (size_t k = 0; k < n; ++k) {
            const VTime time = FrameTime(frames[k].frame);
            for (int a = 0; a < 3; ++a)
                if (curves[a])
                    curves[a]->KeySetTCB((int)k, time, (float)keyAngles(k)[a], frames[k].tension,
                                         frames[k].continuity, frames[k].bias);
        }
        CloseCurves(curves, 3);
        // Euler curves through the keys follow the path when it turns about one of their axes,
        // or not at all: checked at every frame, and where they part from it every frame of the
        // path becomes a key.
        if (walk && curves[0] && curves[1] && curves[2]) {
            bool follows = true;
            int hints[3] = {0, 0, 0};
            for (int64_t f = 0; f < span && follows; ++f) {
                const VTime time = FrameTime((int32_t)(first + f));
                double curve[3];
                for (int a = 0; a < 3; ++a)
                    curve[a] = curves[a]->Evaluate(time, &hints[a]);
                follows = SameOrientation(curve, &angles[(size_t)f * 3]);
            }
            if (!follows) {
                for (int a = 0; a < 3; ++a)
                    curves[a]->KeyClear();
                OpenCurves(curves, 3, (uint32_t)span);
                for (int64_t f = 0; f < span; ++f) {
                    const VTime time = FrameTime((int32_t)(first + f));
                    for (int a = 0; a < 3; ++a)
                        curves[a]->KeySetTCB((int)f, time, (float)angles[(size_t)f * 3 + a]);
                }
                CloseCurves(curves, 3);
            }
        }
        if (mReduceKeys) ReduceKeys(curves, 3);
        double zero[3];
        if (FrameZero(curves, zero)) node->SetLclRotation(VgeTVector(zero[0], zero[1], zero[2], 0.0));
        // The file's own keys, for a 3DS writer to put back while the curves are these or turn as
        // the keys do.
        KeepRotationKeys(node, keys, values, keyCount);
        KeepRotationCurves(node);
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
    if (keyCount == 1 && keys && values) {
        KeepRotationKeys(node, keys, values, 1);
        KeepRotationCurves(node);
    }
    return true;
}

bool VOxaReader3DS::ImportColorTrack(VOxaNode* node, uint32_t keyCount, const Ftk::KeyHeader* keys,
                                     const float* values) {
    if (!node) return true;
    if (mAnim && keys && values) KeepTrackKeys(node, kKeptColorKeysProperty, keys, values, keyCount, 3);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* curves[3] = {nullptr, nullptr, nullptr};
    if (take) {
        curves[0] = take->GetColorR();
        curves[1] = take->GetColorG();
        curves[2] = take->GetColorB();
    }
    if (keyCount > 1 && mAnim && keys && values) {
        const TakenKeys taken(keyCount, keys);
        std::vector<float> colors(taken.size() * 3);
        for (size_t k = 0; k < taken.size(); ++k)
            std::memcpy(&colors[k * 3], values + (size_t)taken.index[k] * 3, 3 * sizeof(float));
        SetSplineKeys(curves, 3, taken, colors);
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
        const TakenKeys taken(keyCount, keys);
        std::vector<float> numbers(taken.size());
        for (size_t k = 0; k < taken.size(); ++k)
            numbers[k] = values[taken.index[k]];
        SetSplineKeys(curves, 1, taken, numbers);
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
    if (mAnim && keys && values) KeepTrackKeys(node, kKeptHotspotKeysProperty, keys, values, keyCount, 1);
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
    if (mAnim && keys && values) KeepTrackKeys(node, kKeptFieldOfViewKeysProperty, keys, values, keyCount, 1);
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
    if (mAnim && keys && values) KeepTrackKeys(node, kKeptCameraRollKeysProperty, keys, values, keyCount, 1);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    double value;
    ImportScalarTrack(take ? take->GetCameraRoll() : nullptr, keyCount, keys, values, 0.0, value);
    if (!std::isnan(value))
        if (VOxaCamera* camera = node->GetCamera()) camera->SetDefaultRoll(value);
    return true;
}

template <class Block>
void VOxaReader3DS::KeepStaticPoint(Block* block, const char* name, const Ftk::Track& track,
                                    const Ftk::Point3& where) {
    if (UsableKeys(track, 3) == 0) return;
    const float file[3] = {where.x, where.y, where.z};
    if (std::memcmp(file, track.mValues.data(), sizeof file) == 0) return;
    if (!std::isfinite(file[0]) || !std::isfinite(file[1]) || !std::isfinite(file[2])) return;
    double p[3];
    ToScene(file, p);
    if (VProperty* property = DynamicProperty(block, name, eValueVector)) {
        const double values[4] = {p[0], p[1], p[2], 1.0};
        property->SetValue(values);
    }
}
