#include "formats/geometry/3ds/voxa_writer_3ds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_polygon.h"
#include "base/vge_quaternion.h"
#include "base/vpath.h"
#include "base/vprintable_text.h"
#include "formats/geometry/3ds/ftk_spline.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "formats/geometry/3ds/voxa_3ds_scene_values.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "objects/vproperty.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_camera_settings.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_renaming_strategy.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

// The records this writer makes, each held from its Init call on (see Ftk::Owned).
using OwnedMesh = Ftk::Owned<Ftk::Mesh, Ftk::ReleaseMesh>;
using OwnedLight = Ftk::Owned<Ftk::Light, Ftk::ReleaseLight>;
using OwnedCamera = Ftk::Owned<Ftk::Camera, Ftk::ReleaseCamera>;
using OwnedObjectMotion = Ftk::Owned<Ftk::ObjectMotion, Ftk::ReleaseObjectMotion>;
using OwnedOmniLightMotion = Ftk::Owned<Ftk::OmniLightMotion, Ftk::ReleaseOmniLightMotion>;
using OwnedSpotlightMotion = Ftk::Owned<Ftk::SpotlightMotion, Ftk::ReleaseSpotlightMotion>;
using OwnedCameraMotion = Ftk::Owned<Ftk::CameraMotion, Ftk::ReleaseCameraMotion>;

constexpr double kInchesPerUnit = 0.3937007874015748;  // 1 / 2.54
constexpr double kRadToDegRoll = 57.29564553093965;
constexpr int kTimeMode30 = 6;
constexpr const char* kDummyName = "$$$DUMMY";
constexpr const char* kDummyPrefix = "$$$DUMMY.";
constexpr const char* kReferenceRoot = "Oxa_Roo";
// The light property that holds a spotlight's falloff angle (the 3DS reader makes it).
constexpr const char* kFalloffProperty = "Falloff";

// Whether a node keeps a read file's position, rotation, scale or hide track of more than one key.
bool KeepsFileKeys(VOxaSdkManager* manager) {
    std::vector<Ftk::KeyHeader> keys;
    std::vector<float> values;
    const std::pair<const char*, int> tracks[] = {{kKeptPositionKeysProperty, 3},
                                                  {kKeptRotationKeysProperty, 4},
                                                  {kKeptScaleKeysProperty, 3},
                                                  {kKeptHideKeysProperty, 0}};
    for (int i = 0; i < manager->GetNodeCount(); ++i)
        for (const auto& track : tracks)
            if (KeptTrackKeys(manager->GetNode(i), track.first, track.second, keys, values) &&
                keys.size() > 1)
                return true;
    return false;
}
// A read file's static section where it differs from its keyframer's frame 0 (scene axes and
// units, the world; the roll in degrees).
constexpr const char* kStaticPositionProperty = "3DS Static Position";
constexpr const char* kStaticTargetProperty = "3DS Static Target";
constexpr const char* kStaticRollProperty = "3DS Static Roll";
constexpr const char* kStaticFieldOfViewProperty = "3DS Static Field Of View";
// Root-node properties of a read file's scene values (the 3DS reader makes them): the shadow-map
// size, whether the solid background is in use, the fog's near density (a fraction) and whether
// the fog covers the background.
constexpr const char* kShadowMapSizeProperty = "3DS Shadow Map Size";
constexpr const char* kSolidBackgroundProperty = "3DS Solid Background";
constexpr const char* kFogNearDensityProperty = "3DS Fog Near Density";
constexpr const char* kFogBackgroundProperty = "3DS Fog Background";
// A root-node property, or null.
const VProperty* RootProperty(VOxaNode* root, const char* name) {
    VOxaNodeProperties* block = root ? root->GetNodeProperties() : nullptr;
    return block ? block->FindProperty(name) : nullptr;
}
// The shadow-map size of a scene that names none.
constexpr int kDefaultShadowMapSize = 500;

VTime FrameTime(int64_t frame) {
    return VTime::GetOneFrameValue(kTimeMode30) * frame;
}

bool StartsWith(const char* text, const char* prefix) {
    return text != nullptr && std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The first `limit` bytes of `text` at most, without cutting a character in two (VCutText).
std::string Cut(const std::string& text, size_t limit) {
    return VCutText(text, limit);
}

std::string Cut(const char* text, size_t limit) {
    return Cut(std::string(text ? text : ""), limit);
}

// A name without control characters and marks that turn the direction of text. In a name that is
// no UTF-8 (another code page's) only the ASCII controls are: a byte pair that would read as a
// UTF-8 control there is a character of that code page.
std::string NameText(const std::string& name) {
    return VLegacyNameText(name);
}

float Finite(double value) {
    return std::isfinite(value) ? (float)value : 0.0f;
}

Ftk::KeyHeader KeyAt(int32_t frame) {
    Ftk::KeyHeader key;
    key.mFrame = (int32_t)frame;
    key.mSplineFlags = 7;
    return key;
}

// Sizes a track for `count` keys of `width` floats.
void SizeTrack(Ftk::Track& track, uint32_t count, int width) {
    track.mKeyCount = count;
    track.mKeys.resize(count);
    track.mValues.resize((size_t)count * (size_t)width);
}

// Row-vector rotation matrix of XYZ Euler degrees.
void EulerMatrix(double m[4][4], double x, double y, double z) {
    VgeMatrixIdentity(m);
    VgeEulerXYZToMatrix(m, x, y, z);
}

// p (row vector) times the 3x3 part of m.
VgeTVector RowTimes(const VgeTVector& p, const double m[4][4]) {
    VgeTVector out;
    for (int j = 0; j < 3; ++j)
        out[j] = p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j];
    return out;
}

double Dot3(const VgeTVector& a, const VgeTVector& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

VgeTVector Cross3(const VgeTVector& a, const VgeTVector& b) {
    return VgeTVector(a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0], 0.0);
}

double Length3(const VgeTVector& a) {
    return std::sqrt(Dot3(a, a));
}

double ClampUnit(double v) {
    return v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v);
}

// A node read from a dummy object is named "$$$DUMMY." and its instance name; it is written as a
// dummy with that instance name.
bool IsDummyNodeName(const std::string& name) {
    return name.size() > std::strlen(kDummyPrefix) &&
           name.compare(0, std::strlen(kDummyPrefix), kDummyPrefix) == 0;
}

std::string DummyInstance(const std::string& name) {
    return IsDummyNodeName(name) ? name.substr(std::strlen(kDummyPrefix)) : name;
}

// The frame-0 matrix from `parent`'s space to the file's world (the reference root and what lies
// above it are the file's units, not part of its world), in scene axes.
VgeAMatrix ParentWorldAtZero(VOxaNode* parent) {
    VgeAMatrix world;
    for (VOxaNode* node = parent; node != nullptr; node = node->GetParent()) {
        if (StartsWith(node->GetNameWithoutPrefix(), kReferenceRoot)) break;
        const VgeAMatrix local = node->EvaluateLocalTransform(VTime(0));
        world = local * world;
    }
    return world;
}

// A keyframer point (file axes) given in `parent`'s space, in the file's world at frame 0.
Ftk::Point3 WorldPoint(VOxaNode* parent, const Ftk::Point3& point) {
    const VgeTVector scene(point.x, point.z, -point.y, 0.0);
    const VgeTVector world = ParentWorldAtZero(parent).MultT(scene);
    return Ftk::Point3{Finite(world[0]), Finite(-world[2]), Finite(world[1])};
}

// The first point of a position track in the file's world, when the track has one.
void FirstWorldPoint(const Ftk::Track& track, VOxaNode* parent, Ftk::Point3& point) {
    if (track.mKeyCount == 0 || track.mValues.size() < 3) return;
    point = WorldPoint(parent, Ftk::Point3{track.mValues[0], track.mValues[1], track.mValues[2]});
}

// The static point kept in the property `name` of an attribute's property block, in file axes;
// false when there is none.
template <class Block>
bool StaticPoint(Block* block, const char* name, Ftk::Point3& point) {
    const VProperty* property = block ? block->FindProperty(name) : nullptr;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    if (property == nullptr || property->GetValue(v) < 3) return false;
    if (!std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) return false;
    point = Ftk::Point3{(float)v[0], (float)-v[2], (float)v[1]};
    return true;
}

// The first value of a one-float track, when it has one.
void FirstValue(const Ftk::Track& track, float& value) {
    if (track.mKeyCount > 0 && !track.mValues.empty() && std::isfinite(track.mValues[0]))
        value = track.mValues[0];
}

bool IsWrittenKind(int type) {
    return type == VOxaNodeAttribute::eMesh || type == VOxaNodeAttribute::eNurb ||
           type == VOxaNodeAttribute::ePatch || type == VOxaNodeAttribute::eLight ||
           type == VOxaNodeAttribute::eCamera;
}

// The node's current take where it holds curves; none where the take's channels were never made
// (a node made without animation): asking for a curve would make every channel of the node, for
// no key.
VOxaTakeNode* TakeWithCurves(VOxaNode* node) {
    VOxaTakeNode* take = node != nullptr ? node->GetCurrentTakeNode() : nullptr;
    return take != nullptr && !take->HasDeferredChannels() ? take : nullptr;
}

// The node's local translation, rotation and scaling: the current take's curves at time 0 where
// all three of a triple exist, else the default values.
void LocalTRS(VOxaNode* node, VgeTVector& t, VgeTVector& r, VgeTVector& s) {
    node->GetLclTranslation(t);
    node->GetLclRotation(r);
    node->GetLclScaling(s);
    VOxaTakeNode* take = TakeWithCurves(node);
    if (take == nullptr) return;
    VFCurve* curves[3][3] = {
        {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()},
        {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()},
        {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()}};
    VgeTVector* out[3] = {&t, &r, &s};
    for (int i = 0; i < 3; ++i) {
        if (!curves[i][0] || !curves[i][1] || !curves[i][2]) continue;
        for (int j = 0; j < 3; ++j)
            (*out[i])[j] = curves[i][j]->Evaluate(VTime(0));
    }
}

// An object's hidden flag: with its visibility keyed (and written as a hide track), the flag a
// read file gave it beside its hide track; else its visibility.
bool HiddenFlag(VOxaNode* node, bool animated) {
    VOxaTakeNode* take = animated ? TakeWithCurves(node) : nullptr;
    VFCurve* curve = take ? take->GetVisibility() : nullptr;
    VOxaNodeProperties* block = node->GetNodeProperties();
    const VProperty* kept = block ? block->FindProperty(kKeptHiddenProperty) : nullptr;
    if (curve != nullptr && curve->KeyGetCount() > 0 && kept != nullptr) return kept->GetDouble() != 0.0;
    return !node->GetVisibility();
}

// Whether the scene holds nothing for a 3DS file, as it holds no geometry for OBJ and DXF: meshes
// of no point and no face (a file whose geometry was lost on reading) and nothing else: no other
// attribute (light, camera, skeleton, ...), no motion, no material. Bare nodes beside such meshes
// are no content of their own (a reader's reference node); bare nodes alone are dummies written
// on purpose, and a scene of no node still writes its settings (background, fog, ambient light).
bool HoldsNothing(VOxaScene* scene) {
    VOxaSceneContents* contents = scene->GetContents();
    if (contents != nullptr && contents->GetMaterialCount() > 0) return false;
    VOxaNode* root = scene->GetRootNode();
    bool content = false, emptyMesh = false;
    VOxaWalkPreOrder(root, [&](VOxaNode* node) {
        if (content || node == root) return;
        const VOxaMesh* mesh = node->GetMesh();
        if (mesh != nullptr && mesh->GetControlPointsCount() == 0 && mesh->GetPolygonCount() == 0)
            emptyMesh = true;
        else if (node->GetNodeAttribute() != nullptr)
            content = true;
        VTime start = VTime::kInfinite, stop = VTime::kMinusInfinite;
        content = content || node->GetAnimationInterval(start, stop);
    });
    return !content && emptyMesh;
}

VOxaWriter3DS::Channel MakeChannel(VFCurve* curve, double value, bool animated) {
    VOxaWriter3DS::Channel channel;
    channel.mValue = value;
    if (animated && curve != nullptr && curve->KeyGetCount() > 0) channel.mCurve = curve;
    return channel;
}

// Translation, rotation and scaling channels of a node.
struct TRSChannels {
    VOxaWriter3DS::Channel t[3], r[3], s[3];
};

TRSChannels NodeChannels(VOxaNode* node, bool animated) {
    TRSChannels c;
    VgeTVector t, r, s;
    node->GetLclTranslation(t);
    node->GetLclRotation(r);
    node->GetLclScaling(s);
    VOxaTakeNode* take = animated ? TakeWithCurves(node) : nullptr;
    VFCurve* tc[3] = {nullptr, nullptr, nullptr};
    VFCurve* rc[3] = {nullptr, nullptr, nullptr};
    VFCurve* sc[3] = {nullptr, nullptr, nullptr};
    if (take != nullptr) {
        tc[0] = take->GetTranslationX(), tc[1] = take->GetTranslationY(), tc[2] = take->GetTranslationZ();
        rc[0] = take->GetEulerRotationX(), rc[1] = take->GetEulerRotationY(),
        rc[2] = take->GetEulerRotationZ();
        sc[0] = take->GetScaleX(), sc[1] = take->GetScaleY(), sc[2] = take->GetScaleZ();
    }
    for (int i = 0; i < 3; ++i) {
        c.t[i] = MakeChannel(tc[i], t[i], animated);
        c.r[i] = MakeChannel(rc[i], r[i], animated);
        c.s[i] = MakeChannel(sc[i], s[i], animated);
    }
    return c;
}

}  // namespace

VOxaWriter* CreateWriter3DS(VOxaSdkManager* manager) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaWriter3DS(manager));
}

VOxaWriter3DS::VOxaWriter3DS(VOxaSdkManager* manager) : VOxaWriter(manager) {}

VOxaWriter3DS::~VOxaWriter3DS() {
    Ftk::Session session;
    Abandon();
}

bool VOxaWriter3DS::FileCreate(const char* path) {
    // Errors left by earlier toolkit users would stop every step of this file. The session keeps
    // a write started from a callback of another read or write apart from it.
    Ftk::Session session;
    Ftk::ClearErrors();
    if (path == nullptr || *path == '\0') return false;
    if (mOutputFile != nullptr) {
        mOutputFile->mWriteFailed = true;
        Ftk::CloseFile(mOutputFile);
        mOutputFile = nullptr;
    }
    mOutputPath = path;
    mOutputFile = Ftk::OpenOwnFile(path, "wb");
    return true;
}

bool VOxaWriter3DS::FileClose() {
    return true;
}

bool VOxaWriter3DS::IsFileOpen() {
    return true;
}

VStreamOptions* VOxaWriter3DS::GetWriteOptions() {
    VStreamOptions3ds* options = VStreamOptions3ds::Create();
    if (options != nullptr) options->Reset();
    return options;
}

void VOxaWriter3DS::Abandon() {
    if (mOutputFile != nullptr) {
        // Nothing of a failed write reaches the target.
        mOutputFile->mWriteFailed = true;
        Ftk::File* file = mOutputFile;
        mOutputFile = nullptr;
        Ftk::CloseFile(file);
    }
    if (mSettings != nullptr) Ftk::ReleaseSettings(&mSettings);
    if (mDatabase != nullptr) Ftk::ReleaseDatabase(&mDatabase);
    mSettings = nullptr;
    mDatabase = nullptr;
}

bool VOxaWriter3DS::Write(VOxaScene* scene, VStreamOptions* options) {
    Ftk::Session session;
    if (!VOxaCheckSceneMeshes(scene, "3DS", mError)) return false;
    mRenamed.clear();
    mMorphNames.clear();
    // The names the file needed are the file's: the caller's scene keeps its own, also when
    // memory ran out part way. The grey material went only to the file's copies of meshes: the
    // manager does not keep it.
    auto giveBack = [this] {
        for (auto it = mRenamed.rbegin(); it != mRenamed.rend(); ++it)
            it->first->SetName(it->second.Buffer());
        mRenamed.clear();
        mRenamedObjects.clear();
        mMorphNames.clear();
        if (mDefaultMaterial != nullptr && mManager != nullptr) mManager->DestroyMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    };
    bool written = false;
    try {
        written = WriteScene(scene, options);
    } catch (...) {
        giveBack();
        throw;
    }
    giveBack();
    return written;
}

void VOxaWriter3DS::Rename(VOxaObject* object, const char* name) {
    if (mRenamedObjects.insert(object).second) mRenamed.emplace_back(object, VString(object->GetName()));
    object->SetName(name);
}

bool VOxaWriter3DS::WriteScene(VOxaScene* scene, VStreamOptions* options) {
    mScene = scene;
    if (scene == nullptr || scene->GetRootNode() == nullptr) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        Abandon();
        return false;
    }
    if (HoldsNothing(scene)) {
        // As the OBJ and DXF writers refuse a scene without geometry: no empty file.
        mError.SetLastError(eFILE_NOT_CREATED, kVOxaNoGeometry);
        Abandon();
        return false;
    }
    if (!Prepare(options)) {
        mError.SetLastErrorID(mOutputFile ? eUNIDENTIFIED_ERROR : eFILE_NOT_CREATED);
        Abandon();
        return false;
    }
    if (mAnimationExported && mSpanFirst > INT32_MAX) {
        // Frame numbers are 32-bit: a take that starts later has no frame to start at.
        const std::string text = "The take starts at frame " + std::to_string(mSpanFirst) +
                                 " (30 frames per second), past the last frame a 3DS file numbers (" +
                                 std::to_string(INT32_MAX) + "); its motion cannot be written";
        mError.SetLastError(eUNIDENTIFIED_ERROR, text.c_str());
        Abandon();
        return false;
    }
    if (mAnimationExported && mSpanFirst < INT32_MIN)
        mMessageText +=
            "The take starts before frame -2147483648 (30 frames per second), the first a 3DS file "
            "numbers: its motion before that frame is not written.\n";
    WriteNode(mRootNode);
    PutUnusedMaterials(scene);
    if (mRefused) {
        mUnheld.TakeText("3DS");
        Abandon();
        return false;
    }
    mMessageText += mUnheld.TakeText("3DS").c_str();
    if (mNodesLeftOut > 0)
        mMessageText += (std::to_string(mNodesLeftOut) +
                         " objects are written without a keyframer node: a 3DS file numbers at most 65,535 "
                         "nodes; they keep their place but not their animation or parent.\n")
                            .c_str();

    // The scene's ambient light, unless it is the one every new scene has (which no file gave
    // it): that is written black, so that no reader lights the materials with it.
    const VOxaColor ambient = scene->GetGlobalLightSettings().GetAmbientColor();
    const VOxaColor untouched = VOxaGlobalLightSettings().GetAmbientColor();
    const bool heldAmbient = ambient.mRed != untouched.mRed || ambient.mGreen != untouched.mGreen ||
                             ambient.mBlue != untouched.mBlue || ambient.mAlpha != untouched.mAlpha;
    if (mAmbientLight && heldAmbient) {
        mSettings->mAmbient[0] = (float)ambient.mRed;
        mSettings->mAmbient[1] = (float)ambient.mGreen;
        mSettings->mAmbient[2] = (float)ambient.mBlue;
    } else {
        mSettings->mAmbient[0] = mSettings->mAmbient[1] = mSettings->mAmbient[2] = 0.0f;
    }
    mSettings->mMasterScale = mFileUnits ? mFileMasterScale : mRescale ? Finite(mUnitFactor) : 1.0f;
    VOxaNode* root = scene->GetRootNode();
    // A read file's ambient node and its colour track.
    if (mAnimation && mAmbientLight) PutKeptAmbientNode(root);
    const VProperty* mapSize = RootProperty(root, kShadowMapSizeProperty);
    const double size = mapSize ? mapSize->GetDouble() : kDefaultShadowMapSize;
    mSettings->mShadowMapSize =
        size >= 1.0 && size <= 32767.0 ? (int16_t)size : (int16_t)kDefaultShadowMapSize;
    mSettings->mRayTraceBias = 3.0f;
    mSettings->mShadowFilter = 3.0f;
    Put3dsShadowSettings(root, *mSettings);
    mSettings->mReserved = 0.0f;
    Ftk::PutSettings(mDatabase, mSettings);
    PutSceneValues(scene);
    if (Ftk::Stopped()) {
        mError.SetLastErrorID(mOutputFile ? eUNIDENTIFIED_ERROR : eFILE_NOT_CREATED);
        Abandon();
        return false;
    }

    Ftk::Owned<Ftk::KeyframerSettings, Ftk::ReleaseKeyframerSettings> keyframer;
    Ftk::InitKeyframerSettings(keyframer.Slot());
    if (keyframer) {
        // The range: the current take's span is the segment and its reference span reaches the
        // animation's length, so that a file's range comes back as it was (a one-frame span
        // stays one frame); without a take span, the keys' interval.
        VTime first = mAnimationStart, last = mAnimationStop, length = mAnimationStop;
        const VOxaTakeInfo* info = scene->GetTakeInfo(scene->GetCurrentTakeName());
        if (info != nullptr && info->mLocalTimeSpan.GetStop() >= info->mLocalTimeSpan.GetStart()) {
            first = info->mLocalTimeSpan.GetStart();
            last = info->mLocalTimeSpan.GetStop();
            length = std::max(last, info->mReferenceTimeSpan.GetStop());
        }
        // Frames are signed: a segment may start (or lie) before frame 0.
        auto frame = [](VTime time) {
            return (int32_t)std::max<int64_t>(INT32_MIN,
                                              std::min<int64_t>(time.GetFrame(true, 0), INT32_MAX));
        };
        keyframer->mAnimationLength = std::max(0, frame(length));
        // A file's length below 0 (its range wholly before frame 0) while the span still ends there.
        double negative = 0.0;
        if (const VProperty* kept = RootProperty(scene->GetRootNode(), kNegativeLengthProperty))
            if (kept->GetValue(&negative) >= 1 && negative < 0.0 && negative >= INT32_MIN &&
                (double)frame(length) == std::max(negative, (double)frame(last)))
                keyframer->mAnimationLength = (int32_t)negative;
        keyframer->mSegmentInUse = true;
        keyframer->mSegmentFirst = frame(first);
        keyframer->mSegmentLast = frame(last);
        const VProperty* none = RootProperty(scene->GetRootNode(), kNoSegmentProperty);
        if (none != nullptr && none->GetDouble() != 0.0 && keyframer->mSegmentFirst == 0 &&
            keyframer->mSegmentLast == keyframer->mAnimationLength)
            keyframer->mSegmentInUse = false;
        double current = 0.0;
        if (const VProperty* kept = RootProperty(scene->GetRootNode(), kCurrentFrameProperty))
            if (kept->GetValue(&current) >= 1 && current >= INT32_MIN && current <= INT32_MAX)
                keyframer->mCurrentFrame = (int32_t)current;
        Kept3dsKeyframerName(scene->GetRootNode(), keyframer->mSceneName);
        Ftk::PutKeyframerSettings(mDatabase, keyframer.Get());
        keyframer.Reset();
    }
    if (!Save()) {
        mError.SetLastErrorID(eFILE_NOT_CREATED);
        return false;
    }
    return true;
}

void VOxaWriter3DS::GiveMaterialName(VOxaMaterial* material) {
    constexpr size_t kLimit = kMaxMaterialNameLength;
    const std::string original = material->GetNameWithoutPrefix();
    // Control characters and marks that turn the direction of text never reach a name.
    std::string name = NameText(original);
    if (name != original && !name.empty() && name.size() <= kLimit && mMaterialNames.count(name) == 0) {
        Rename(material, name.c_str());
        name = material->GetNameWithoutPrefix();
    }
    if (name.empty() || name.size() > kLimit || mMaterialNames.count(name) != 0) {
        // A name too long is cut; one that comes out empty or taken gets a counter that fits.
        std::string stem;
        for (char c : name)
            if (c != ':') stem += c;
        if (stem.empty()) stem = "Material";
        name = Cut(stem, kLimit);
        for (uint32_t counter = 1; mMaterialNames.count(name) != 0; ++counter) {
            const std::string digits = std::to_string(counter);
            name = Cut(stem, kLimit - std::min(kLimit, digits.size())) + digits;
            if (name.size() > kLimit) name.resize(kLimit);
        }
        if (!original.empty()) {
            mMessageText += "Material \"";
            mMessageText += VPrintableText(original.c_str()).c_str();
            mMessageText += "\" is written as \"";
            mMessageText += VPrintableText(name.c_str()).c_str();
            mMessageText += "\": 3DS material names hold 16 characters and must differ.\n";
        }
        Rename(material, name.c_str());
        name = material->GetNameWithoutPrefix();
    }
    mMaterialNames.insert(name);
}

std::string VOxaWriter3DS::UniqueMaterialName(const std::string& wanted) {
    if (!wanted.empty() && wanted.size() <= kMaxMaterialNameLength && mMaterialNames.count(wanted) == 0) {
        mMaterialNames.insert(wanted);
        return wanted;
    }
    for (;;) {
        std::string candidate = "Mat" + std::to_string(++mFallbackCounter);
        if (mMaterialNames.count(candidate) == 0) {
            mMaterialNames.insert(candidate);
            return candidate;
        }
    }
}

namespace {

// A node's name as the file would have it before it is fitted: no type prefix ("Type::Name"),
// no control characters or marks that turn the direction of text. `shown` gets the name as the
// scene has it, for warnings.
std::string CleanNodeName(const std::string& own, std::string& shown) {
    std::string name = own;
    const size_t separator = name.find("::");
    if (separator != std::string::npos) name = name.substr(separator + 2);
    shown = name;
    return NameText(name);
}

// Whether two object records say the same apart from where their points are (their vertices and
// local axes follow their own nodes): the same faces, mapping, smoothing, materials and flags.
bool SameObject(const Ftk::Mesh& a, const Ftk::Mesh& b) {
    if (a.mHidden != b.mHidden || a.mFlag4011 != b.mFlag4011 || a.mMatte != b.mMatte ||
        a.mNoCastShadow != b.mNoCastShadow || a.mFlag4014 != b.mFlag4014 ||
        a.mNoReceiveShadow != b.mNoReceiveShadow || a.mFrozen != b.mFrozen || a.mMeshColor != b.mMeshColor ||
        a.mVertexCount != b.mVertexCount || a.mMappingCount != b.mMappingCount ||
        a.mFaceCount != b.mFaceCount || a.mMapping.size() != b.mMapping.size() ||
        a.mFaces.size() != b.mFaces.size() || a.mSmoothing != b.mSmoothing ||
        a.mMaterialGroupCount != b.mMaterialGroupCount ||
        a.mMaterialGroups.size() != b.mMaterialGroups.size())
        return false;
    for (size_t i = 0; i < a.mMapping.size(); ++i)
        if (a.mMapping[i].u != b.mMapping[i].u || a.mMapping[i].v != b.mMapping[i].v) return false;
    for (size_t i = 0; i < a.mFaces.size(); ++i) {
        const Ftk::Face& x = a.mFaces[i];
        const Ftk::Face& y = b.mFaces[i];
        if (x.a != y.a || x.b != y.b || x.c != y.c || x.flags != y.flags) return false;
    }
    for (size_t g = 0; g < a.mMaterialGroups.size(); ++g)
        if (a.mMaterialGroups[g].mName != b.mMaterialGroups[g].mName ||
            a.mMaterialGroups[g].mFaces != b.mMaterialGroups[g].mFaces)
            return false;
    return true;
}

// Whether the local axes of an object record can be undone: a reader places an instance by its
// own node and the inverse of its object's axes.
bool InvertibleAxes(const float* a) {
    const double determinant = (double)a[0] * ((double)a[4] * a[8] - (double)a[5] * a[7]) -
                               (double)a[1] * ((double)a[3] * a[8] - (double)a[5] * a[6]) +
                               (double)a[2] * ((double)a[3] * a[7] - (double)a[4] * a[6]);
    return std::isfinite(determinant) && std::fabs(determinant) > 1e-30;
}

// `stem` cut so that "_" and `counter` follow it within a 3DS name.
std::string NumberedName(const std::string& stem, size_t counter) {
    constexpr size_t kMaxNameLength = VOxaWriter3DS::kMaxNameLength;
    const std::string digits = "_" + std::to_string(counter);
    return Cut(Cut(stem, kMaxNameLength - std::min(digits.size(), kMaxNameLength)) + digits, kMaxNameLength);
}

}  // namespace

std::string VOxaWriter3DS::PartName(const std::string& name, size_t number) {
    for (size_t counter = number;; ++counter) {
        std::string candidate = NumberedName(name, counter);
        if (mNodeNames.insert(candidate).second) return candidate;
    }
}

void VOxaWriter3DS::GiveNodeNames() {
    // A node read from a dummy object is named "$$$DUMMY." and its instance name: the instance
    // name takes the 3DS name, the node keeps the dummy form so that it is written as a dummy
    // again. Look-at targets that travel in their camera's or spotlight's track are not written
    // and keep their names.
    struct Entry {
        VOxaNode* mNode;
        std::string mName;
        bool mDummy;
        bool mKeep;
        std::string mShown;  // the name as the scene has it, for the warning
    };
    std::vector<Entry> entries;
    std::unordered_set<std::string> used;
    // The nodes of the scene, parents first: nodes outside it are not written.
    VOxaWalkPreOrder(mRootNode, [&](VOxaNode* node) {
        if (mTargetNodes.count(node) != 0) return;
        std::string name = node->GetNameWithoutPrefix();
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        const bool dummy =
            IsDummyNodeName(name) && (attribute == nullptr || !IsWrittenKind(attribute->GetAttributeType()));
        if (dummy) name = DummyInstance(name);
        // A type prefix ("Type::Name") is no part of the 3DS name; control characters and marks
        // that turn the direction of text never reach a name.
        std::string shown;
        name = CleanNodeName(name, shown);
        // Names that fit and come first keep their form; every one of them is taken before any
        // other name is made, so that no made name is another node's own.
        const bool keep = !name.empty() && name.size() <= kMaxNameLength && used.insert(name).second;
        entries.push_back(Entry{node, name, dummy, keep, shown});
    });
    // Mesh nodes named X and "X.instance" (as the 3DS reader names the nodes of one object) may
    // share X's object: the instance nodes keep their names, which the file holds as the object's
    // name and the instance name. Their names for the file are given once the walk has compared
    // their meshes with X's (NameNodeLate), when they are not instances.
    mInstanceGroups.clear();
    mInstanceGroupOf.clear();
    mInstanceOf.clear();
    mObjectPut.clear();
    auto meshNode = [&](const Entry& entry) {
        const VOxaNodeAttribute* attribute = entry.mNode->GetNodeAttribute();
        return mGeometries && !entry.mDummy && attribute != nullptr &&
               attribute->GetAttributeType() == VOxaNodeAttribute::eMesh;
    };
    std::unordered_map<std::string, VOxaNode*> owners;
    for (const Entry& entry : entries)
        if (entry.mKeep && meshNode(entry) && entry.mName.find('.') == std::string::npos)
            owners.emplace(entry.mName, entry.mNode);
    std::unordered_set<VOxaNode*> held;
    std::unordered_set<std::string> instances;
    for (const Entry& entry : entries) {
        const size_t point = entry.mName.find('.');
        if (owners.empty() || point == std::string::npos || !meshNode(entry)) continue;
        const std::string rest = entry.mName.substr(point + 1);
        auto owner = owners.find(entry.mName.substr(0, point));
        if (owner == owners.end() || rest.empty() || rest.size() > kMaxNameLength ||
            !instances.insert(entry.mName).second)
            continue;
        auto [group, added] = mInstanceGroupOf.emplace(owner->second, mInstanceGroups.size());
        if (added) {
            mInstanceGroups.emplace_back();
            mInstanceGroups.back().mOwner = owner->second;
        }
        mInstanceGroups[group->second].mMembers.push_back(
            InstanceGroup::Member{entry.mNode, rest, !entry.mKeep});
        mInstanceGroupOf.emplace(entry.mNode, group->second);
        if (!entry.mKeep) held.insert(entry.mNode);
    }
    for (Entry& entry : entries) {
        std::string name = entry.mName;
        if (held.count(entry.mNode) != 0) {
            // Named for the file now in the form it would have as an instance.
            if (name != entry.mNode->GetNameWithoutPrefix()) Rename(entry.mNode, name.c_str());
            continue;
        }
        if (!entry.mKeep) {
            std::string stem = name.empty() ? std::string("Node") : name;
            std::string candidate = Cut(stem, kMaxNameLength);
            for (size_t counter = 2; used.count(candidate) != 0; ++counter)
                candidate = NumberedName(stem, counter);
            used.insert(candidate);
            SayRenamed(entry.mNode, entry.mShown, candidate);
            name = candidate;
        }
        if (entry.mDummy) name = kDummyPrefix + name;
        if (name != entry.mNode->GetNameWithoutPrefix()) Rename(entry.mNode, name.c_str());
    }
    mNodeNames = std::move(used);
}

void VOxaWriter3DS::SayRenamed(VOxaNode* node, const std::string& shown, const std::string& written) {
    // A mesh, camera or light is written under its node's name: it takes the new name too.
    const char* object = node == nullptr     ? nullptr
                         : node->GetMesh()   ? "mesh"
                         : node->GetCamera() ? "camera"
                         : node->GetLight()  ? "light"
                                             : nullptr;
    mMessageText += "Node \"";
    mMessageText += VPrintableText(shown.c_str()).c_str();
    mMessageText += "\" is written as \"";
    mMessageText += VPrintableText(written.c_str()).c_str();
    mMessageText += "\"";
    if (object != nullptr) {
        mMessageText += ", its ";
        mMessageText += object;
        mMessageText += " too";
    }
    mMessageText += ": 3DS names hold 10 characters and must differ.\n";
}

void VOxaWriter3DS::NameNodeLate(VOxaNode* node) {
    std::string shown;
    const std::string name = CleanNodeName(node->GetNameWithoutPrefix(), shown);
    const std::string stem = name.empty() ? std::string("Node") : name;
    std::string candidate = Cut(stem, kMaxNameLength);
    for (size_t counter = 2; mNodeNames.count(candidate) != 0; ++counter)
        candidate = NumberedName(stem, counter);
    mNodeNames.insert(candidate);
    SayRenamed(node, shown, candidate);
    if (candidate != node->GetNameWithoutPrefix()) Rename(node, candidate.c_str());
}

Ftk::Mesh* VOxaWriter3DS::BuildNodeRecord(VOxaNode* node, std::vector<double>* localPoints) {
    VgeTVector t, r, s;
    LocalTRS(node, t, r, s);
    VOxaWriteMeshes meshes(mManager, false);
    VOxaMesh* whole = meshes.Get(node);
    if (whole &&
        ((WritesUVs(whole) && whole->GetTextureUVMappingMode() == eBY_POLYGON_VERTEX && mUVPerPolygon) ||
         (whole->GetMaterialCount(0) == 0 && whole->GetTextureCount(0) > 0)))
        whole = meshes.GetWritable(node);
    if (whole == nullptr) return nullptr;
    VOxaMadeMeshes parts(mManager);
    parts.Hold(SplitMesh(whole));
    if (!parts.Meshes().empty()) return nullptr;
    Stored3dsMesh stored;
    if (StoredPlacement(node, node->GetMesh(), false, stored)) mStoredMesh = &stored;
    mStoredPoints = &stored.mPoints;
    mStoredFlags = &stored.mPointFlags;
    mLocalPoints = localPoints;
    OwnedMesh record(BuildMeshObject(whole, t, r, s, node->GetNameWithoutPrefix()));
    mLocalPoints = nullptr;
    mStoredMesh = nullptr;
    mStoredPoints = nullptr;
    mStoredFlags = nullptr;
    if (record) {
        record->mHidden = HiddenFlag(node, mAnimationExported) ? 1 : 0;
        Put3dsObjectValues(node, *record);
    }
    return record.Take();
}

void VOxaWriter3DS::DecideInstances(size_t index) {
    InstanceGroup& group = mInstanceGroups[index];
    if (group.mDecided) return;
    group.mDecided = true;
    // The owner's object, and each member's mesh as it would be written: a member whose object
    // says the same of the same points in its own space is an instance; a reader places it by its
    // own node through the inverse of the object's axes.
    std::vector<double> ownerPoints, points;
    OwnedMesh object(BuildNodeRecord(group.mOwner, &ownerPoints));
    const bool usable = object && !mRefused && InvertibleAxes(object->mLocalAxes);
    bool shared = false;
    for (const InstanceGroup::Member& member : group.mMembers) {
        bool same = false;
        if (usable && !mRefused) {
            OwnedMesh record(BuildNodeRecord(member.mNode, &points));
            same = record && points == ownerPoints && SameObject(*object, *record);
        }
        if (same) {
            mInstanceOf.emplace(member.mNode, member.mInstance);
            shared = true;
        } else if (member.mHeld) {
            NameNodeLate(member.mNode);
        }
    }
    if (shared && !mRefused) {
        Ftk::WriteMesh(mDatabase, object.Get());
        mObjectPut.insert(group.mOwner);
    }
}

bool VOxaWriter3DS::Prepare(VStreamOptions* options) {
    mRootNode = mScene ? mScene->GetRootNode() : nullptr;
    if (options != nullptr && options->IsA(VStreamOptions3ds::ClassId)) {
        const VStreamOptions3ds* o = static_cast<const VStreamOptions3ds*>(options);
        mCreateReferenceNode = o->GetOptionValue(VStreamOptions3ds::eCREATE_REFERENCE_NODE) == 1;
        mMaterials = o->GetOptionValue(VStreamOptions3ds::eMATERIALS) == 1;
        mTextureMapping = o->GetOptionValue(VStreamOptions3ds::eTEXTURE_MAPPING) == 1;
        mAnimation = o->GetOptionValue(VStreamOptions3ds::eANIM) == 1;
        mGeometries = o->GetOptionValue(VStreamOptions3ds::eGEOMETRIES) == 1;
        mLights = o->GetOptionValue(VStreamOptions3ds::eLIGHTS) == 1;
        mCameras = o->GetOptionValue(VStreamOptions3ds::eCAMERA) == 1;
        mAmbientLight = o->GetOptionValue(VStreamOptions3ds::eAMBIENT_LIGHT) == 1;
        mRescale = o->GetOptionValue(VStreamOptions3ds::eRESCALE) == 1;
        mUVPerPolygon = o->GetOptionValue(VStreamOptions3ds::eUV_PER_POLYGON) == 1;
    } else {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
    }
    mUnitFactor = mRescale ? kInchesPerUnit : 1.0;
    // A scene read from a 3DS file goes back in that file's units and master scale, whatever
    // Rescale says: a trip gives every program the model as it was.
    double unit = 1.0;
    mFileUnits = Kept3dsFileUnits(mRootNode, unit, mFileMasterScale);
    mFileScale = mFileUnits ? 1.0 / unit : 1.0;
    mStoredPivots.clear();
    mTextureCopier.Begin(options);
    // A map names its image in at most 12 characters: a longer image name is copied short.
    mTextureCopier.SetNameLimit(12);
    mRecords.clear();
    mUncopiedMapNames.clear();
    mMapNames.clear();
    mRefused = false;
    mNodeRecords = 0;
    mNodesLeftOut = 0;
    mCameraBackground = false;

    Ftk::NewDatabase(&mDatabase);
    if (Ftk::Stopped()) return false;
    Ftk::CreateDatabase(mDatabase, Ftk::kSceneFile);
    if (Ftk::Stopped()) return false;
    Ftk::InitSettingsBlock(&mSettings);
    if (Ftk::Stopped()) return false;

    mDefaultMaterial = nullptr;
    mMaterialNames.clear();
    mRecordNames.clear();
    mFallbackCounter = 0;
    CollectTargetNodes();
    if (mManager != nullptr) {
        GiveNodeNames();
        const int materialCount = mManager->GetMaterialCount();
        for (int i = 0; i < materialCount; ++i)
            if (VOxaMaterial* material = mManager->GetMaterial(i)) GiveMaterialName(material);
    }

    mAnimationExported = mAnimation;
    mAnimationStart = VTime(0);
    mAnimationStop = VTime(0);
    if (mRootNode != nullptr) mRootNode->GetAnimationInterval(mAnimationStart, mAnimationStop);
    if (mAnimationStart == mAnimationStop) {
        // Curves of one key each move nothing, unless a read file's tracks hold more keys than
        // they show (at that one frame, or going back from it): those are written as held.
        mAnimationExported = mAnimationExported && mManager != nullptr && KeepsFileKeys(mManager);
        mAnimationStart = VTime(0);
        mAnimationStop = VTime::GetOneFrameValue(0) * 100;
    }
    // The frames of the current take's span, its reference span included.
    mSpanFirst = 0;
    mSpanLast = INT64_MAX;
    const VOxaTakeInfo* info = mScene ? mScene->GetTakeInfo(mScene->GetCurrentTakeName()) : nullptr;
    if (info != nullptr && info->mLocalTimeSpan.GetStop() >= info->mLocalTimeSpan.GetStart()) {
        VTime start = info->mLocalTimeSpan.GetStart(), stop = info->mLocalTimeSpan.GetStop();
        const VTimeSpan& reference = info->mReferenceTimeSpan;
        if (reference.GetStop() >= reference.GetStart()) {
            start = std::min(start, reference.GetStart());
            stop = std::max(stop, reference.GetStop());
        }
        mSpanFirst = start.GetFrame(true, kTimeMode30);
        mSpanLast = stop.GetFrame(true, kTimeMode30);
    }
    return true;
}

VOxaMaterial* VOxaWriter3DS::GetDefaultMaterial() {
    if (mDefaultMaterial != nullptr || mManager == nullptr) return mDefaultMaterial;
    mDefaultMaterial = mManager->CreateMaterial("Default");
    if (mDefaultMaterial == nullptr) return nullptr;
    mDefaultMaterial->SetAmbient(VOxaColor(0.588, 0.588, 0.588, 1.0));
    mDefaultMaterial->SetDiffuse(VOxaColor(0.588, 0.588, 0.588, 1.0));
    mDefaultMaterial->SetSpecular(VOxaColor(0.0, 0.0, 0.0, 1.0));
    GiveMaterialName(mDefaultMaterial);
    return mDefaultMaterial;
}

void VOxaWriter3DS::WriteNode(VOxaNode* node) {
    CollectTargetNodes();
    VOxaWalkPreOrder(node, [this](VOxaNode* n) { WriteOneNode(n); });
}

void VOxaWriter3DS::CollectTargetNodes() {
    mTargetNodes.clear();
    if (mManager == nullptr) return;
    const int nodeCount = mManager->GetNodeCount();
    for (int i = 0; i < nodeCount; ++i) {
        VOxaNode* node = mManager->GetNode(i);
        VOxaNode* target = node ? node->GetTarget() : nullptr;
        if (target == nullptr) continue;
        const bool camera = mCameras && node->GetCamera() != nullptr;
        const bool spot =
            mLights && node->GetLight() != nullptr && node->GetLight()->GetLightType() == VOxaLight::eSPOT;
        if (!camera && !spot) continue;
        // A target that is itself a written object keeps its own record.
        const VOxaNodeAttribute* attribute = target->GetNodeAttribute();
        if (attribute != nullptr && IsWrittenKind(attribute->GetAttributeType())) continue;
        mTargetNodes.insert(target);
    }
}

bool VOxaWriter3DS::TakeNodeRecords(int records) {
    constexpr int kMaxNodeRecords = 65535;  // node numbers 0 to 65,534
    // Once one is left out every later one is too: a node must not name a parent that has none.
    if (mNodesLeftOut > 0 || mNodeRecords + records > kMaxNodeRecords) {
        ++mNodesLeftOut;
        return false;
    }
    mNodeRecords += records;
    return true;
}

void VOxaWriter3DS::WriteOneNode(VOxaNode* node) {
    if (mRefused) return;
    VgeTVector t, r, s;
    LocalTRS(node, t, r, s);
    VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    const int type = attribute ? attribute->GetAttributeType() : -1;
    const std::string name = node->GetNameWithoutPrefix();

    if (type == VOxaNodeAttribute::eMesh || type == VOxaNodeAttribute::eNurb ||
        type == VOxaNodeAttribute::ePatch) {
        if (!mGeometries) return;
        auto group = mInstanceGroupOf.find(node);
        if (group != mInstanceGroupOf.end()) DecideInstances(group->second);
        if (mRefused) return;
        // An instance node names its object (its group's owner) and itself; an owner whose object
        // was put with its group's decision has its node to write.
        auto instance = mInstanceOf.find(node);
        if (instance != mInstanceOf.end() || mObjectPut.count(node) != 0) {
            OwnedObjectMotion motion(TakeNodeRecords(1) ? MakeObjectMotion(node) : nullptr);
            if (motion) {
                if (instance != mInstanceOf.end()) {
                    VOxaNode* owner = mInstanceGroups[group->second].mOwner;
                    Ftk::CopyName(motion->mName, sizeof motion->mName, owner->GetNameWithoutPrefix());
                    Ftk::CopyName(motion->mInstanceName, sizeof motion->mInstanceName,
                                  instance->second.c_str());
                }
                ToFileUnits(*motion, node);
                Ftk::PutObjectMotion(mDatabase, motion.Get());
            }
            return;
        }
        const bool textureMapping = mTextureMapping;
        if (type != VOxaNodeAttribute::eMesh) mTextureMapping = false;
        // NURBS surfaces and patches are written from triangulated copies; a mesh that must be
        // unwelded or given a material is copied first: the scene keeps its own.
        VOxaWriteMeshes meshes(mManager, false);
        VOxaMesh* whole = meshes.Get(node);
        if (whole &&
            ((WritesUVs(whole) && whole->GetTextureUVMappingMode() == eBY_POLYGON_VERTEX && mUVPerPolygon) ||
             (whole->GetMaterialCount(0) == 0 && whole->GetTextureCount(0) > 0)))
            whole = meshes.GetWritable(node);
        // A mesh beyond the format's limits goes out as several objects, "Name", "Name_2", ...,
        // each with the node's animation; children hang below the first.
        VOxaMadeMeshes made(mManager);
        made.Hold(SplitMesh(whole));
        const std::vector<VOxaMesh*>& parts = made.Meshes();
        // An object a read file gave no keyframer node (a morph target) goes without one while
        // nothing hangs below it.
        const VProperty* mark = node->GetNodeProperties()
                                    ? node->GetNodeProperties()->FindProperty(kWithoutNodeProperty)
                                    : nullptr;
        const bool withoutNode = mark != nullptr && mark->GetDouble() != 0.0 && node->GetChildCount() == 0;
        const size_t count = parts.empty() ? 1 : parts.size();
        Stored3dsMesh stored;
        const bool storedPlacement =
            parts.empty() && StoredPlacement(node, node->GetMesh(), withoutNode, stored);
        for (size_t i = 0; i < count; ++i) {
            const std::string partName = i == 0 ? name : PartName(name, i + 1);
            VOxaMesh* mesh = parts.empty() ? whole : parts[i];
            mStoredMesh = storedPlacement ? &stored : nullptr;
            mStoredPoints = parts.empty() ? &stored.mPoints : nullptr;
            mStoredFlags = parts.empty() ? &stored.mPointFlags : nullptr;
            OwnedMesh record(BuildMeshObject(mesh, t, r, s, partName.c_str()));
            mStoredMesh = nullptr;
            mStoredPoints = nullptr;
            mStoredFlags = nullptr;
            if (record) {
                record->mHidden = HiddenFlag(node, mAnimationExported) ? 1 : 0;
                Put3dsObjectValues(node, *record);
                Ftk::WriteMesh(mDatabase, record.Get());
                record.Reset();
            }
            if (withoutNode) continue;
            OwnedObjectMotion motion(TakeNodeRecords(1) ? MakeObjectMotion(node) : nullptr);
            if (motion) {
                Ftk::CopyName(motion->mName, sizeof motion->mName, partName.c_str());
                ToFileUnits(*motion, node);
                Ftk::PutObjectMotion(mDatabase, motion.Get());
            }
        }
        if (parts.size() > 1) {
            mMessageText += "Mesh \"";
            mMessageText += VPrintableText(name.c_str()).c_str();
            mMessageText += "\" has more than 65535 points or faces and is written as ";
            mMessageText += std::to_string(parts.size()).c_str();
            mMessageText += " objects.\n";
        }
        mTextureMapping = textureMapping;
        return;
    }
    if (type == VOxaNodeAttribute::eLight) {
        if (!mLights) return;
        VOxaLight* light = node->GetLight();
        if (light == nullptr) return;
        if (light->GetLightType() == VOxaLight::ePOINT) {
            OwnedOmniLightMotion motion(MakeOmniLightMotion(node));
            if (OwnedLight record{BuildOmniLight(name.c_str(), t, light)}) {
                // The mesh section holds the light where the keyframer puts it at frame 0, or
                // where a read file's static section had it.
                if (motion) FirstWorldPoint(motion->mPosition, node->GetParent(), record->mPosition);
                StaticPoint(light->GetProperties(), kStaticPositionProperty, record->mPosition);
                LightToFileUnits(*record);
                Ftk::PutOmniLight(mDatabase, record.Get());
            }
            if (motion && TakeNodeRecords(1)) {
                ToFileUnits(motion->mPosition);
                Ftk::PutOmniLightMotion(mDatabase, motion.Get());
            }
        } else if (light->GetLightType() == VOxaLight::eSPOT) {
            OwnedSpotlightMotion motion(MakeSpotLightMotion(node));
            if (OwnedLight record{BuildSpotLight(name.c_str(), t, r, light)}) {
                // Programs that read only the mesh section see the spot as the keyframer shows
                // it at frame 0: place, target, hotspot and falloff.
                if (motion && record->mSpot != nullptr) {
                    VOxaNode* target = node->GetTarget();
                    FirstWorldPoint(motion->mPosition, node->GetParent(), record->mPosition);
                    FirstWorldPoint(motion->mTargetPosition, target ? target->GetParent() : node->GetParent(),
                                    record->mSpot->mTarget);
                    FirstValue(motion->mHotspot, record->mSpot->mHotspot);
                    FirstValue(motion->mFalloff, record->mSpot->mFalloff);
                }
                // Or where a read file's static section had them.
                StaticPoint(light->GetProperties(), kStaticPositionProperty, record->mPosition);
                if (record->mSpot != nullptr)
                    StaticPoint(light->GetProperties(), kStaticTargetProperty, record->mSpot->mTarget);
                LightToFileUnits(*record);
                Ftk::PutSpotlight(mDatabase, record.Get());
            }
            if (motion && TakeNodeRecords(2)) {
                ToFileUnits(motion->mPosition);
                ToFileUnits(motion->mTargetPosition);
                Ftk::PutSpotlightMotion(mDatabase, motion.Get());
            }
        }
        return;
    }
    if (type == VOxaNodeAttribute::eCamera) {
        if (!mCameras) return;
        VOxaCamera* camera = node->GetCamera();
        if (camera == nullptr) return;
        OwnedCameraMotion motion(MakeCameraMotion(node));
        if (OwnedCamera record{BuildCamera(name.c_str(), t, camera)}) {
            // The record agrees with the keyframer at frame 0: place, target, lens and roll.
            if (motion) {
                VOxaNode* target = node->GetTarget();
                FirstWorldPoint(motion->mPosition, node->GetParent(), record->mPosition);
                FirstWorldPoint(motion->mTargetPosition, target ? target->GetParent() : node->GetParent(),
                                record->mTarget);
                FirstValue(motion->mRoll, record->mRoll);
                if (motion->mFieldOfView.mKeyCount > 0 && !motion->mFieldOfView.mValues.empty() &&
                    motion->mFieldOfView.mValues[0] > 0.0f)
                    record->mFieldOfView = motion->mFieldOfView.mValues[0];
            }
            // Or, where a read file's static section showed the camera elsewhere, that.
            StaticPoint(camera->GetProperties(), kStaticPositionProperty, record->mPosition);
            StaticPoint(camera->GetProperties(), kStaticTargetProperty, record->mTarget);
            if (const VProperty* roll = camera->GetProperties()->FindProperty(kStaticRollProperty)) {
                double value = 0.0;
                if (roll->GetValue(&value) >= 1 && std::isfinite(value)) record->mRoll = (float)value;
            }
            // And its lens there, when the keyframer's frame 0 has another.
            if (const VProperty* angle = camera->GetProperties()->FindProperty(kStaticFieldOfViewProperty)) {
                double value = 0.0;
                if (angle->GetValue(&value) >= 1 && value > 0.0 && value < 3.0e38)
                    record->mFieldOfView = (float)value;
            }
            ToFileUnits(record->mPosition);
            ToFileUnits(record->mTarget);
            ToFileUnits(record->mNearRange);
            ToFileUnits(record->mFarRange);
            Ftk::WriteCamera(mDatabase, record.Get());
        }
        if (motion && TakeNodeRecords(2)) {
            ToFileUnits(motion->mPosition);
            ToFileUnits(motion->mTargetPosition);
            Ftk::PutCameraMotion(mDatabase, motion.Get());
        }
        return;
    }

    const bool referenceRoot = StartsWith(name.c_str(), kReferenceRoot);
    if (referenceRoot) {
        VgeTVector scaling;
        node->GetLclScaling(scaling);
        mUnitFactor = scaling[0] * kInchesPerUnit;
    }
    // A camera's or spotlight's target travels in that node's target track only: a dummy of its
    // own would carry its translation a second time.
    if (mTargetNodes.count(node) != 0) return;
    if ((node->GetParent() != nullptr || mCreateReferenceNode) && !referenceRoot) {
        OwnedObjectMotion motion(TakeNodeRecords(1) ? MakeObjectMotion(node) : nullptr);
        if (motion) {
            Ftk::CopyName(motion->mName, sizeof motion->mName, kDummyName);
            Ftk::CopyName(motion->mInstanceName, sizeof motion->mInstanceName, DummyInstance(name).c_str());
            motion->mBoundMin = Ftk::Point3{-0.5f, -0.5f, -0.5f};
            motion->mBoundMax = Ftk::Point3{0.5f, 0.5f, 0.5f};
            ToFileUnits(*motion, node);
            Ftk::PutObjectMotion(mDatabase, motion.Get());
        }
    }
}

bool VOxaWriter3DS::StoredPlacement(VOxaNode* node, const VOxaMesh* mesh, bool withoutNode,
                                    Stored3dsMesh& stored) {
    if (!Kept3dsStoredMesh(node, mesh, stored)) return false;
    if (stored.mPlaced) {
        if (!InvertibleAxes(stored.mAxes)) return false;
        mStoredPivots[node] =
            Ftk::Point3{Finite(stored.mPivot[0] * mFileScale), Finite(-stored.mPivot[2] * mFileScale),
                        Finite(stored.mPivot[1] * mFileScale)};
        return true;
    }
    // Points the file stored where they are shown (no keyframer node places them): stored so
    // again only while that still holds.
    VgeTVector t, r, s;
    LocalTRS(node, t, r, s);
    return withoutNode && t[0] == 0.0 && t[1] == 0.0 && t[2] == 0.0 && r[0] == 0.0 && r[1] == 0.0 &&
           r[2] == 0.0 && s[0] == 1.0 && s[1] == 1.0 && s[2] == 1.0;
}

void VOxaWriter3DS::ToFileUnits(float& length) {
    if (mFileScale == 1.0) return;
    // A length past a float's range (a scene's unit made up, not read) is the largest one.
    const double value = length * mFileScale, high = std::numeric_limits<float>::max();
    length = std::isfinite(value) ? (float)std::max(-high, std::min(high, value)) : 0.0f;
}

void VOxaWriter3DS::ToFileUnits(Ftk::Point3& point) {
    ToFileUnits(point.x);
    ToFileUnits(point.y);
    ToFileUnits(point.z);
}

void VOxaWriter3DS::LightToFileUnits(Ftk::Light& record) {
    ToFileUnits(record.mPosition);
    if (record.mSpot != nullptr) ToFileUnits(record.mSpot->mTarget);
    ToFileUnits(record.mInnerRange);
    ToFileUnits(record.mOuterRange);
}

void VOxaWriter3DS::ToFileUnits(Ftk::Track& positions) {
    for (float& value : positions.mValues)
        ToFileUnits(value);
}

void VOxaWriter3DS::ToFileUnits(Ftk::ObjectMotion& motion, const VOxaNode* node) {
    ToFileUnits(motion.mPosition);
    // The pivot of an object stored where the file stored it: the file's, which its points hold.
    auto pivot = mStoredPivots.find(node);
    if (pivot != mStoredPivots.end()) motion.mPivot = pivot->second;
}

bool VOxaWriter3DS::Save() {
    Ftk::SaveDatabase(mOutputFile, mDatabase);
    if (Ftk::Stopped()) {
        Abandon();
        return false;
    }
    Ftk::ReleaseSettings(&mSettings);
    mSettings = nullptr;
    if (Ftk::Stopped()) {
        Abandon();
        return false;
    }
    Ftk::ReleaseDatabase(&mDatabase);
    mDatabase = nullptr;
    if (Ftk::Stopped()) {
        Abandon();
        return false;
    }
    // Only the writer's own file: files other users of the toolkit hold open stay open.
    Ftk::File* file = mOutputFile;
    mOutputFile = nullptr;
    Ftk::CloseFile(file);
    return !Ftk::Stopped();
}

// ---- Axis conversions --------------------------------------------------------------------------

VgeTVector VOxaWriter3DS::ConvertPosition(const VgeTVector& p) {
    return VgeTVector(p[0], -p[2], p[1], p[3]);
}

VgeTVector VOxaWriter3DS::ConvertScaling(const VgeTVector& s) {
    return VgeTVector(s[0], s[2], s[1], s[3]);
}

void VOxaWriter3DS::MatrixToQuaternion(const double m[4][4], double q[4]) {
    double w, x, y, z;
    const double t = (m[0][0] + m[1][1] + m[2][2] + 1.0) * 0.25;
    if (t > 1e-10) {
        w = std::sqrt(t);
        const double f = 0.25 / w;
        x = (m[1][2] - m[2][1]) * f;
        y = (m[2][0] - m[0][2]) * f;
        z = (m[0][1] - m[1][0]) * f;
    } else {
        w = 0.0;
        const double u = -0.5 * (m[1][1] + m[2][2]);
        if (u > 1e-10) {
            x = std::sqrt(u);
            y = m[0][1] * 0.5 / x;
            z = m[0][2] * 0.5 / x;
        } else {
            x = 0.0;
            const double v = 0.5 * (1.0 - m[2][2]);
            if (v > 1e-10) {
                y = std::sqrt(v);
                z = m[1][2] * 0.5 / y;
            } else {
                y = 0.0;
                z = 1.0;
            }
        }
    }
    q[0] = w;
    q[1] = x;
    q[2] = y;
    q[3] = z;
}

VgeTVector VOxaWriter3DS::ConvertRotation(const VgeTVector& r) {
    double m[4][4];
    EulerMatrix(m, r[0], r[1], r[2]);
    double q[4];
    MatrixToQuaternion(m, q);
    // The vector part moves like a position.
    const double w = q[0], x = q[1], y = -q[3], z = q[2];
    const double n = w * w + x * x + y * y + z * z;
    const double s = n > 0.0 ? 2.0 / n : 0.0;
    double c[4][4];
    VgeMatrixIdentity(c);
    c[0][0] = 1.0 - s * (y * y + z * z);
    c[0][1] = s * (x * y + w * z);
    c[0][2] = s * (x * z - w * y);
    c[1][0] = s * (x * y - w * z);
    c[1][1] = 1.0 - s * (x * x + z * z);
    c[1][2] = s * (y * z + w * x);
    c[2][0] = s * (x * z + w * y);
    c[2][1] = s * (y * z - w * x);
    c[2][2] = 1.0 - s * (x * x + y * y);
    double angles[3];
    RotationToEulerXYZ(c, angles);
    return VgeTVector(angles[0], angles[1], angles[2], 0.0);
}

// ---- Track samplers ----------------------------------------------------------------------------

double VOxaWriter3DS::Channel::At(VTime time) {
    return mCurve != nullptr ? (double)mCurve->Evaluate(time, &mLastIndex) : mValue;
}

namespace {

using Channel = VOxaWriter3DS::Channel;

// The frames at which the channels' curves hold the keys that shape `frames` (those within and
// the nearest on either side), each with the spline parameters of the first curve keyed there:
// true when there are such keys, each lies on a frame and there are fewer of them than frames.
bool KeyFrames(Channel* const* channels, int width, const VOxaWriter3DS::Frames& frames,
               std::vector<Ftk::SplineKey>& keys) {
    keys.clear();
    const int64_t first = frames.first, last = first + (int64_t)frames.count - 1;
    std::vector<std::pair<Ftk::SplineKey, int>> found;
    std::vector<int64_t> at;
    for (int c = 0; c < width; ++c) {
        const VFCurve* curve = channels[c]->mCurve;
        if (curve == nullptr) continue;
        const int n = curve->KeyGetCount();
        at.resize((size_t)n);
        for (int i = 0; i < n; ++i)
            at[(size_t)i] = curve->KeyGetTime(i).GetFrame(true, kTimeMode30);
        int from = 0, to = n - 1;
        while (from < n && at[(size_t)from] < first)
            ++from;
        while (to >= 0 && at[(size_t)to] > last)
            --to;
        from = std::max(from - 1, 0);
        to = std::min(to + 1, n - 1);
        for (int i = from; i <= to; ++i) {
            const int64_t frame = at[(size_t)i];
            if (frame < INT32_MIN || frame > INT32_MAX || FrameTime(frame) != curve->KeyGetTime(i))
                return false;
            Ftk::SplineKey key;
            key.frame = (int32_t)frame;
            const unsigned interpolation = curve->KeyGetInterpolation(i);
            if (interpolation == VFCurveKey::eInterpolationLinear) {
                key.continuity = -1.0f;  // tangents along the segments on either side: straight lines
            } else if (interpolation == VFCurveKey::eInterpolationCubic &&
                       curve->KeyGetTangentMode(i) == VFCurveKey::eTangentTCB) {
                key.tension = curve->KeyGetDataRaw(i, VFCurveKey::eTCBTension);
                key.continuity = curve->KeyGetDataRaw(i, VFCurveKey::eTCBContinuity);
                key.bias = curve->KeyGetDataRaw(i, VFCurveKey::eTCBBias);
            }
            found.emplace_back(key, c);
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first.frame < b.first.frame; });
    for (const auto& entry : found)
        if (keys.empty() || keys.back().frame != entry.first.frame) keys.push_back(entry.first);
    // Channels without curves hold one value: one key says it.
    if (keys.empty()) {
        for (int c = 0; c < width; ++c)
            if (channels[c]->mCurve != nullptr) return false;
        keys.push_back(Ftk::SplineKey());
        keys.back().frame = frames.first;
        return true;
    }
    return keys.size() < frames.count || keys.size() == 1;
}

// The frames of `frames` at which keys at `keys` are checked against the scene's curves: every
// frame of a segment of up to 16 frames, else 16 spread over it, and the ends of `frames`. Cubic
// pieces that agree at that many points agree all along; the work stays in proportion to the keys
// however long the segments are.
void CheckFrames(const std::vector<Ftk::SplineKey>& keys, const VOxaWriter3DS::Frames& frames,
                 std::vector<int64_t>& out) {
    out.clear();
    const int64_t first = frames.first, last = first + (int64_t)frames.count - 1;
    auto add = [&](int64_t frame) {
        if (frame >= first && frame <= last && (out.empty() || frame > out.back())) out.push_back(frame);
    };
    add(first);
    for (size_t k = 0; k < keys.size(); ++k) {
        const int64_t from = keys[k].frame;
        add(from);
        if (k + 1 == keys.size()) break;
        const int64_t to = keys[k + 1].frame, span = to - from;
        constexpr int64_t kSteps = 16;
        if (span <= kSteps) {
            for (int64_t f = from + 1; f < to; ++f)
                add(f);
        } else {
            for (int64_t i = 1; i < kSteps; ++i)
                add(from + span * i / kSteps);
        }
    }
    add(last);
}

VTime TimeOfFrame(int64_t frame) {
    return VTime::GetOneFrameValue(6) * frame;
}

// Whether two values agree to float precision (relative to their size).
bool Agree(double written, double wanted) {
    return std::fabs(written - wanted) <= 1e-5 * (1.0 + std::fabs(wanted));
}

// Fills the track with `keys` and their values (`width` floats a key).
void PutKeys(Ftk::Track& track, const std::vector<Ftk::SplineKey>& keys, const std::vector<float>& values,
             int width) {
    SizeTrack(track, (uint32_t)keys.size(), width);
    for (size_t k = 0; k < keys.size(); ++k) {
        track.mKeys[k] = KeyAt(keys[k].frame);
        track.mKeys[k].mTension = keys[k].tension;
        track.mKeys[k].mContinuity = keys[k].continuity;
        track.mKeys[k].mBias = keys[k].bias;
    }
    std::copy(values.begin(), values.end(), track.mValues.begin());
}

// Whether the 3DS spline through `keys` and `values` (`width` floats a key, at most 3) gives
// `convert`'s values at the frames CheckFrames picks.
template <class Convert>
bool SplinePlays(const std::vector<Ftk::SplineKey>& keys, const std::vector<float>& values, int width,
                 const VOxaWriter3DS::Frames& frames, Convert convert) {
    float wanted[3];
    double played[3];
    std::vector<int64_t> checked;
    CheckFrames(keys, frames, checked);
    for (const int64_t frame : checked) {
        convert(TimeOfFrame(frame), wanted);
        Ftk::EvaluateSpline(keys.data(), values.data(), keys.size(), width, (double)frame, played);
        for (int a = 0; a < width; ++a)
            if (!Agree(played[a], wanted[a])) return false;
    }
    return true;
}

// Writes the channels' own keys when their 3DS spline gives the channels' values at every frame;
// `convert` turns the channels' values at a time into the track's `width` floats. False (the
// track untouched) otherwise.
template <class Convert>
bool PutExactKeys(Ftk::Track& track, Channel* const* channels, int width, const VOxaWriter3DS::Frames& frames,
                  Convert convert) {
    std::vector<Ftk::SplineKey> keys;
    if (!KeyFrames(channels, width, frames, keys)) return false;
    std::vector<float> values(keys.size() * (size_t)width);
    for (size_t k = 0; k < keys.size(); ++k)
        convert(FrameTime(keys[k].frame), &values[k * width]);
    if (!SplinePlays(keys, values, width, frames, convert)) return false;
    PutKeys(track, keys, values, width);
    return true;
}

// Whether a key's spline values are all numbers.
bool FiniteSpline(const Ftk::KeyHeader& key) {
    return std::isfinite(key.mTension) && std::isfinite(key.mContinuity) && std::isfinite(key.mBias) &&
           std::isfinite(key.mEaseTo) && std::isfinite(key.mEaseFrom);
}

// The keys a read file held for the track (kept on the node under the property `kept` names),
// whole, when they rise and the 3DS spline through them gives `convert`'s values at the frames
// CheckFrames picks; false (the track untouched) otherwise. `unmap` turns a kept value into the
// one the spline is checked with (the reader's curves may hold another measure of it).
template <class Convert, class Unmap>
bool PutKeptKeys(Ftk::Track& track, const VOxaWriter3DS::KeptTrack& kept, int width,
                 const VOxaWriter3DS::Frames& frames, Convert convert, Unmap unmap) {
    if (kept.node == nullptr || kept.property == nullptr) return false;
    std::vector<Ftk::KeyHeader> held;
    std::vector<float> values;
    if (!KeptTrackKeys(kept.node, kept.property, width, held, values)) return false;
    if (!kept.animated && held.size() != 1) return false;
    // Keys that play no number are put as they are, for the writer to refuse them by name.
    const bool finite = std::all_of(held.begin(), held.end(), FiniteSpline);
    // The spline is the one through the keys players take (the first, then each after the last
    // taken), as the reader made the curves; keys at a taken frame or going back from it are
    // written in their place all the same.
    std::vector<Ftk::SplineKey> keys;
    std::vector<float> measured;
    keys.reserve(held.size());
    measured.reserve(values.size());
    for (size_t k = 0; k < held.size(); ++k) {
        if (!keys.empty() && held[k].mFrame <= keys.back().frame) continue;
        Ftk::SplineKey key;
        key.frame = held[k].mFrame;
        key.tension = (held[k].mSplineFlags & 0x1) ? held[k].mTension : 0.0f;
        key.continuity = (held[k].mSplineFlags & 0x2) ? held[k].mContinuity : 0.0f;
        key.bias = (held[k].mSplineFlags & 0x4) ? held[k].mBias : 0.0f;
        keys.push_back(key);
        for (int i = 0; i < width; ++i)
            measured.push_back(unmap(values[k * (size_t)width + (size_t)i]));
    }
    if (finite && !SplinePlays(keys, measured, width, frames, convert)) return false;
    track.mKeyCount = (uint32_t)held.size();
    track.mKeys = std::move(held);
    track.mValues = std::move(values);
    KeptTrackHeader(kept.node, kept.property, track);
    return true;
}

template <class Convert>
bool PutKeptKeys(Ftk::Track& track, const VOxaWriter3DS::KeptTrack& kept, int width,
                 const VOxaWriter3DS::Frames& frames, Convert convert) {
    return PutKeptKeys(track, kept, width, frames, convert, [](float value) { return value; });
}

// The channels' own keys when they replay exactly (PutExactKeys), else a key at every frame.
// False, the track untouched, when that would take more than kMaxFrames keys.
template <class Convert>
bool PutKeysOrFrames(Ftk::Track& track, Channel* const* channels, int width,
                     const VOxaWriter3DS::Frames& frames, Convert convert) {
    if (PutExactKeys(track, channels, width, frames, convert)) return true;
    if (frames.count > VOxaWriter3DS::kMaxFrames) return false;
    SizeTrack(track, frames.count, width);
    for (uint32_t k = 0; k < frames.count; ++k) {
        track.mKeys[k] = KeyAt(frames.Frame(k));
        convert(frames.Time(k), &track.mValues[(size_t)k * width]);
    }
    return true;
}

// The key values of the turn from orientation `previous` to `c` (row-vector rotation matrices):
// angle -2 acos(w) and the axis in the file's axes; a turn of (nearly) nothing as angle 0 about
// (-1, 0, 0).
void RelativeRotation(const double previous[4][4], const double c[4][4], float values[4]) {
    // inverse(previous) x c: the rotation from the previous key's orientation to this one.
    double inverse[3][3];
    for (int i = 0; i < 3; ++i) {
        const double length2 = previous[i][0] * previous[i][0] + previous[i][1] * previous[i][1] +
                               previous[i][2] * previous[i][2];
        for (int j = 0; j < 3; ++j)
            inverse[j][i] = length2 > 0.0 ? previous[i][j] / length2 : 0.0;
    }
    double relative[4][4];
    VgeMatrixIdentity(relative);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            relative[i][j] = inverse[i][0] * c[0][j] + inverse[i][1] * c[1][j] + inverse[i][2] * c[2][j];
    double q[4];
    VOxaWriter3DS::MatrixToQuaternion(relative, q);
    const double length = std::sqrt(q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    double axis[3] = {0.0, 0.0, 0.0};
    if (length > 0.0)
        for (int i = 0; i < 3; ++i)
            axis[i] = q[i + 1] / length;
    // Rounding can carry w a little past 1, where acos has no value.
    values[0] = (float)(-2.0 * std::acos(ClampUnit(q[0])));
    values[1] = (float)axis[0];
    values[2] = (float)-axis[2];
    values[3] = (float)axis[1];
    bool finite = true;
    for (int i = 0; i < 4; ++i)
        finite = finite && std::isfinite(values[i]);
    if (!finite || (std::fabs(values[0]) < 1e-5f && std::fabs(values[1]) < 1e-5f &&
                    std::fabs(values[2]) < 1e-5f && std::fabs(values[3]) < 1e-5f)) {
        values[0] = 0.0f;
        values[1] = -1.0f;
        if (!finite) values[2] = values[3] = 0.0f;
    }
}

// Whether a file orientation is the rotation of row-vector matrix m (to about 0.001 degree).
bool SameTurn(const Ftk::Quat& file, const double m[4][4]) {
    double q[4], r[4][4];
    // File axes to the scene's, the angle's sense turned (as the reader reads a key).
    VgeQuaternionSet(q, -file.x, -file.z, file.y, file.w);
    VgeMatrixIdentity(r);
    VgeQuaternionToMatrix(r, q);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (!(std::fabs(r[i][j] - m[i][j]) <= 2e-5)) return false;
    return true;
}

}  // namespace

bool VOxaWriter3DS::SamplePositionTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z,
                                        const Frames& frames, const KeptTrack& kept) {
    Channel* channels[3] = {&x, &y, &z};
    auto convert = [&](VTime time, float* v) {
        const double px = x.At(time), py = y.At(time), pz = z.At(time);
        v[0] = (float)px;
        v[1] = (float)-pz;
        v[2] = (float)py;
    };
    if (PutKeptKeys(track, kept, 3, frames, convert)) return true;
    return PutKeysOrFrames(track, channels, 3, frames, convert);
}

bool VOxaWriter3DS::SampleRotationTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z,
                                        const Frames& frames) {
    // The channels' own keys, each turning from the key before, when their quaternion path is the
    // curves' orientation at every frame.
    Channel* channels[3] = {&x, &y, &z};
    std::vector<Ftk::SplineKey> keys;
    if (KeyFrames(channels, 3, frames, keys)) {
        std::vector<float> values(keys.size() * 4);
        double previous[4][4], c[4][4];
        VgeMatrixIdentity(previous);
        for (size_t k = 0; k < keys.size(); ++k) {
            const VTime time = FrameTime(keys[k].frame);
            EulerMatrix(c, x.At(time), y.At(time), z.At(time));
            RelativeRotation(previous, c, &values[k * 4]);
            VgeMatrixCopy(previous, c);
        }
        const Ftk::RotationPath path(keys.data(), values.data(), keys.size());
        bool exact = true;
        std::vector<int64_t> checked;
        CheckFrames(keys, frames, checked);
        for (size_t f = 0; f < checked.size() && exact; ++f) {
            const VTime time = TimeOfFrame(checked[f]);
            EulerMatrix(c, x.At(time), y.At(time), z.At(time));
            exact = SameTurn(path.At((double)checked[f]), c);
        }
        if (exact) {
            PutKeys(track, keys, values, 4);
            return true;
        }
    }
    if (frames.count > kMaxFrames) return false;
    SizeTrack(track, frames.count, 4);
    double previous[4][4];
    VgeMatrixIdentity(previous);
    for (uint32_t k = 0; k < frames.count; ++k) {
        const VTime time = frames.Time(k);
        double c[4][4];
        EulerMatrix(c, x.At(time), y.At(time), z.At(time));
        track.mKeys[k] = KeyAt(frames.Frame(k));
        RelativeRotation(previous, c, &track.mValues[(size_t)k * 4]);
        VgeMatrixCopy(previous, c);
    }
    return true;
}

bool VOxaWriter3DS::SampleScaleTrack(Ftk::Track& track, Channel& x, Channel& y, Channel& z,
                                     const Frames& frames, const KeptTrack& kept) {
    Channel* channels[3] = {&x, &y, &z};
    auto convert = [&](VTime time, float* v) {
        const double sx = x.At(time), sy = y.At(time), sz = z.At(time);
        v[0] = (float)sx;
        v[1] = (float)sz;
        v[2] = (float)sy;
    };
    if (PutKeptKeys(track, kept, 3, frames, convert)) return true;
    return PutKeysOrFrames(track, channels, 3, frames, convert);
}

bool VOxaWriter3DS::SampleVectorTrack(Ftk::Track& track, Channel& a, Channel& b, Channel& c,
                                      const Frames& frames, const KeptTrack& kept) {
    Channel* channels[3] = {&a, &b, &c};
    auto convert = [&](VTime time, float* v) {
        v[0] = (float)a.At(time);
        v[1] = (float)b.At(time);
        v[2] = (float)c.At(time);
    };
    if (PutKeptKeys(track, kept, 3, frames, convert)) return true;
    return PutKeysOrFrames(track, channels, 3, frames, convert);
}

bool VOxaWriter3DS::SampleScalarTrack(Ftk::Track& track, Channel& a, const Frames& frames, bool everyFrame,
                                      const KeptTrack& kept) {
    Channel* channels[1] = {&a};
    auto convert = [&](VTime time, float* v) { v[0] = (float)a.At(time); };
    if (!everyFrame && PutKeptKeys(track, kept, 1, frames, convert)) return true;
    if (!everyFrame && PutExactKeys(track, channels, 1, frames, convert)) return true;
    if (frames.count > kMaxFrames) return false;
    SizeTrack(track, frames.count, 1);
    for (uint32_t k = 0; k < frames.count; ++k) {
        track.mKeys[k] = KeyAt(frames.Frame(k));
        convert(frames.Time(k), &track.mValues[k]);
    }
    return true;
}

// ---- Keyframer ---------------------------------------------------------------------------------

VOxaWriter3DS::Frames VOxaWriter3DS::GetFrames(VOxaNode* node, bool animated) {
    Frames frames;
    if (!animated || node == nullptr) return frames;
    // Where the node's curves have keys within the span: outside its keys a curve holds the end
    // key's value, which one key at either end of the written frames holds as well.
    int64_t first = std::max<int64_t>(mSpanFirst, INT32_MIN), last = std::min<int64_t>(mSpanLast, INT32_MAX);
    VTime start(INT64_MAX), stop(INT64_MIN + 1);
    VOxaTakeNode* take = TakeWithCurves(node);
    if (take != nullptr && take->GetAnimationInterval(start, stop) && start <= stop) {
        // The first frame at or after the last key.
        const int64_t end = stop.GetFrame(true, kTimeMode30);
        first = std::max(first, start.GetFrame(true, kTimeMode30));
        last = std::min(last, FrameTime(end) < stop ? end + 1 : end);
    } else {
        last = first;
    }
    if (last < first) last = first = std::max<int64_t>(mSpanFirst, INT32_MIN);
    frames.first = (int32_t)std::min<int64_t>(first, INT32_MAX);
    frames.count = (uint32_t)std::min<int64_t>(last - first + 1, UINT32_MAX);
    return frames;
}

bool VOxaWriter3DS::FramesFit(const Frames& frames) {
    if (frames.count <= kMaxFrames) return true;
    RefuseFrames(frames);
    return false;
}

void VOxaWriter3DS::RefuseFrames(const Frames& frames) {
    if (mRefused) return;
    const std::string text = "A curve over frames " + std::to_string(frames.first) + " to " +
                             std::to_string((int64_t)frames.first + frames.count - 1) +
                             " cannot be said in 3DS keys and would take a key at each of its " +
                             std::to_string(frames.count) + " frames (at most " + std::to_string(kMaxFrames) +
                             "); its motion cannot be written in proportion";
    mError.SetLastError(eUNIDENTIFIED_ERROR, text.c_str());
    mRefused = true;
}

void VOxaWriter3DS::RefuseNonFinite(VOxaNode* node, std::initializer_list<const Ftk::Track*> tracks) {
    for (const Ftk::Track* track : tracks) {
        const size_t count = std::min<size_t>(track->mKeyCount, track->mKeys.size());
        const size_t width = count > 0 ? track->mValues.size() / track->mKeys.size() : 0;
        for (size_t k = 0; k < count && !mRefused; ++k) {
            const Ftk::KeyHeader& key = track->mKeys[k];
            bool finite = FiniteSpline(key);
            for (size_t v = 0; v < width && finite; ++v)
                finite = std::isfinite(track->mValues[k * width + v]);
            if (finite) continue;
            const std::string text =
                "The motion of \"" + std::string(VPrintableText(node->GetNameWithoutPrefix()).c_str()) +
                "\" is no number at frame " + std::to_string(key.mFrame) +
                " (a key's value, tension, continuity, bias or ease is not finite); it cannot be "
                "written";
            mError.SetLastError(eUNIDENTIFIED_ERROR, text.c_str());
            mRefused = true;
        }
    }
}

std::string VOxaWriter3DS::ParentField(VOxaNode* parent, bool objectRecord) {
    if (parent == nullptr) return std::string();
    const char* name = parent->GetNameWithoutPrefix();
    VOxaNodeAttribute* attribute = parent->GetNodeAttribute();
    // An object's name, or an instance node's object name and instance name ("Box.Box01").
    if (attribute != nullptr && IsWrittenKind(attribute->GetAttributeType()))
        return Cut(name, 2 * kMaxNameLength + 1);
    if (objectRecord && StartsWith(name, kReferenceRoot))
        return mCreateReferenceNode && mRootNode != nullptr
                   ? std::string(kDummyPrefix) + mRootNode->GetNameWithoutPrefix()
                   : std::string();
    // The scene's root node has a dummy only with "Create Reference Node"; without one its
    // children are top-level nodes.
    if (parent == mRootNode && !mCreateReferenceNode) return std::string();
    return Cut((std::string(kDummyPrefix) + DummyInstance(name)).c_str(), 20);
}

Ftk::ObjectMotion* VOxaWriter3DS::MakeObjectMotion(VOxaNode* node) {
    if (node == nullptr) return nullptr;
    const bool animated = mAnimationExported;
    const Frames n = GetFrames(node, animated);
    TRSChannels c = NodeChannels(node, animated);
    OwnedObjectMotion motion;
    Ftk::InitObjectMotion(motion.Slot(), 1, 1, 1, 0, 0);
    if (!motion) return nullptr;
    // A read file's node flags, its morph smoothing among them (flag 0x0001 of the second word
    // says a smoothing angle follows).
    KeptNodeFlags(node, motion->mFlags1, motion->mFlags2);
    motion->mFlags2 &= ~0x0001;
    const VOxaNodeProperties* block = node->GetNodeProperties();
    const VProperty* smooth = block != nullptr ? block->FindProperty(kKeptMorphSmoothProperty) : nullptr;
    if (smooth != nullptr && std::isfinite(smooth->GetDouble()) &&
        std::fabs(smooth->GetDouble()) <= (double)std::numeric_limits<float>::max()) {
        motion->mFlags2 |= 0x0001;
        motion->mMorphSmooth = (float)smooth->GetDouble();
    }
    Ftk::CopyName(motion->mName, sizeof motion->mName, Cut(node->GetNameWithoutPrefix(), 10).c_str());
    Ftk::CopyName(motion->mParentName, sizeof motion->mParentName,
                  ParentField(node->GetParent(), true).c_str());
    if (!SamplePositionTrack(motion->mPosition, c.t[0], c.t[1], c.t[2], n,
                             KeptTrack{node, kKeptPositionKeysProperty, animated}))
        RefuseFrames(n);
    if (!PutKeptRotationKeys(motion->mRotation, node, c.r[0], c.r[1], c.r[2], n, animated))
        if (!SampleRotationTrack(motion->mRotation, c.r[0], c.r[1], c.r[2], n)) RefuseFrames(n);
    if (!SampleScaleTrack(motion->mScale, c.s[0], c.s[1], c.s[2], n,
                          KeptTrack{node, kKeptScaleKeysProperty, animated}))
        RefuseFrames(n);
    if (animated) SampleHideTrack(motion->mHide, node, n);
    if (mAnimation) PutKeptMorphKeys(*motion, node);
    for (int i = 0; i < Ftk::kObjectOtherTrackCount && mAnimation; ++i) {
        Ftk::Track& other = motion->mOtherTracks[i];
        if (!KeptTrackKeys(node, kKeptObjectOtherKeysProperties[i],
                           Ftk::TrackValueWidth(Ftk::kObjectOtherTrackTags[i]), other.mKeys, other.mValues))
            continue;
        other.mKeyCount = (uint32_t)other.mKeys.size();
        KeptTrackHeader(node, kKeptObjectOtherKeysProperties[i], other);
    }
    RefuseNonFinite(
        node, {&motion->mPosition, &motion->mRotation, &motion->mScale, &motion->mHide, &motion->mMorph});
    return motion.Take();
}

void VOxaWriter3DS::PutKeptMorphKeys(Ftk::ObjectMotion& motion, VOxaNode* node) {
    std::vector<Ftk::KeyHeader> keys;
    std::vector<Ftk::MorphName> names;
    if (!KeptMorphKeys(node, keys, names)) return;
    // A key names the object by the name the file had; an object this file names otherwise is
    // named as written.
    if (!mRenamed.empty() && mMorphNames.empty()) {
        for (const auto& renamed : mRenamed) {
            const VOxaNode* target = dynamic_cast<const VOxaNode*>(renamed.first);
            if (target == nullptr) continue;
            std::string before = renamed.second.Buffer() ? renamed.second.Buffer() : "";
            const size_t separator = before.find("::");
            if (separator != std::string::npos) before = before.substr(separator + 2);
            mMorphNames.emplace(before, target->GetNameWithoutPrefix());
        }
    }
    for (Ftk::MorphName& name : names) {
        auto found = mMorphNames.find(std::string(name.mName, strnlen(name.mName, sizeof name.mName)));
        if (found != mMorphNames.end())
            Ftk::CopyName(name.mName, sizeof name.mName, Cut(found->second, 10).c_str());
    }
    motion.mMorph.mKeyCount = (uint32_t)keys.size();
    motion.mMorph.mKeys = std::move(keys);
    motion.mMorph.mMorphNames = std::move(names);
    KeptTrackHeader(node, kKeptMorphKeysProperty, motion.mMorph);
}

void VOxaWriter3DS::PutKeptAmbientNode(VOxaNode* root) {
    std::vector<Ftk::KeyHeader> keys;
    std::vector<float> values;
    if (!KeptTrackKeys(root, kKeptAmbientKeysProperty, 3, keys, values)) return;
    Ftk::AmbientMotion motion;
    const VProperty* flags = RootProperty(root, kKeptAmbientFlagsProperty);
    const double word = flags != nullptr ? flags->GetDouble() : 0.0;
    if (word >= 0.0 && word <= 4294967295.0) {
        motion.mFlags1 = (uint16_t)((uint32_t)word & 0xFFFF);
        motion.mFlags2 = (uint16_t)((uint32_t)word >> 16);
    }
    motion.mColor.mKeyCount = (uint32_t)keys.size();
    motion.mColor.mKeys = std::move(keys);
    motion.mColor.mValues = std::move(values);
    KeptTrackHeader(root, kKeptAmbientKeysProperty, motion.mColor);
    Ftk::PutAmbientMotion(mDatabase, &motion);
}

bool VOxaWriter3DS::PutKeptRotationKeys(Ftk::Track& track, VOxaNode* node, Channel& x, Channel& y, Channel& z,
                                        const Frames& frames, bool animated) {
    std::vector<Ftk::KeyHeader> kept;
    std::vector<float> values;
    if (!KeptRotationKeys(node, kept, values)) {
        const VOxaNodeProperties* block = node->GetNodeProperties();
        const auto* text = block != nullptr ? dynamic_cast<const VPropertyTemplate<VString>*>(
                                                  block->FindProperty(kKeptRotationKeysProperty))
                                            : nullptr;
        const std::string written =
            text != nullptr && text->GetValue().Buffer() ? text->GetValue().Buffer() : "";
        if (written.find_first_not_of(" \n") != std::string::npos) {
            mMessageText += "The rotation keys kept on \"";
            mMessageText += VPrintableText(node->GetNameWithoutPrefix()).c_str();
            mMessageText +=
                "\" do not read as keys whose values fit a 3DS float; its rotation is written from its "
                "curves.\n";
        }
        return false;
    }
    if (!animated && kept.size() != 1) return false;
    // The keys as players take them: in frame order, keys at one frame in the file's order (the
    // file's order is written back).
    std::vector<size_t> order(kept.size());
    for (size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&kept](size_t a, size_t b) { return kept[a].mFrame < kept[b].mFrame; });
    std::vector<Ftk::SplineKey> keys(kept.size());
    std::vector<float> turns(values.size());
    for (size_t k = 0; k < kept.size(); ++k) {
        const Ftk::KeyHeader& key = kept[order[k]];
        keys[k].frame = key.mFrame;
        keys[k].tension = (key.mSplineFlags & 0x1) ? key.mTension : 0.0f;
        keys[k].continuity = (key.mSplineFlags & 0x2) ? key.mContinuity : 0.0f;
        keys[k].bias = (key.mSplineFlags & 0x4) ? key.mBias : 0.0f;
        std::copy(&values[order[k] * 4], &values[order[k] * 4] + 4, &turns[k * 4]);
    }
    // Written back while the curves are those the reader made from the keys, or turn as the
    // keys do at every frame.
    if ((!animated || !RotationCurvesKept(node)) && std::all_of(kept.begin(), kept.end(), FiniteSpline)) {
        const Ftk::RotationPath path(keys.data(), turns.data(), keys.size());
        double c[4][4];
        std::vector<int64_t> checked;
        CheckFrames(keys, frames, checked);
        for (const int64_t frame : checked) {
            const VTime time = TimeOfFrame(frame);
            EulerMatrix(c, x.At(time), y.At(time), z.At(time));
            if (!SameTurn(path.At((double)frame), c)) return false;
        }
    }
    track.mKeyCount = (uint32_t)kept.size();
    track.mKeys = kept;
    track.mValues = values;
    KeptTrackHeader(node, kKeptRotationKeysProperty, track);
    return true;
}

void VOxaWriter3DS::SampleHideTrack(Ftk::Track& track, VOxaNode* node, const Frames& frames) {
    // Each key of a hide track turns the object's hiding over; it starts shown.
    VOxaTakeNode* take = TakeWithCurves(node);
    VFCurve* curve = take ? take->GetVisibility() : nullptr;
    const int n = curve != nullptr ? curve->KeyGetCount() : 0;
    if (n == 0) return;
    std::vector<int32_t> turns;
    bool hidden = false;
    int hint = 0;
    int64_t visited = INT64_MIN;
    auto visit = [&](int64_t frame) {
        if (frame <= visited || frame < INT32_MIN || frame > INT32_MAX) return;
        visited = frame;
        const bool hiddenHere = !(curve->Evaluate(FrameTime(frame), &hint) >= 0.5f);
        if (hiddenHere != hidden) turns.push_back((int32_t)frame);
        hidden = hiddenHere;
    };
    bool steps = true;
    for (int i = 0; i + 1 < n && steps; ++i)
        steps = curve->KeyGetInterpolation(i) == VFCurveKey::eInterpolationConstant;
    if (steps) {
        // A curve of steps turns only at its keys: the first frame at or after each.
        int64_t frame = curve->KeyGetTime(0).GetFrame(true, kTimeMode30);
        visit(std::max<int64_t>(INT32_MIN, std::min<int64_t>(frames.first, frame)));
        for (int i = 0; i < n; ++i) {
            const VTime time = curve->KeyGetTime(i);
            frame = time.GetFrame(true, kTimeMode30);
            visit(FrameTime(frame) < time ? frame + 1 : frame);
        }
    } else {
        if (!FramesFit(frames)) return;
        for (uint32_t f = 0; f < frames.count; ++f)
            visit(frames.Frame(f));
    }
    // A read file's keys, spline values and all, while the visibility turns at their frames: those
    // of the keys that players take (each after the last taken), the others kept in their place.
    std::vector<Ftk::KeyHeader> kept;
    std::vector<float> none;
    bool same = KeptTrackKeys(node, kKeptHideKeysProperty, 0, kept, none);
    size_t taken = 0;
    int64_t last = INT64_MIN;
    for (size_t k = 0; same && k < kept.size(); ++k) {
        if (kept[k].mFrame <= last) continue;
        last = kept[k].mFrame;
        same = taken < turns.size() && turns[taken++] == kept[k].mFrame;
    }
    if (same && taken == turns.size()) {
        track.mKeyCount = (uint32_t)kept.size();
        track.mKeys = std::move(kept);
        track.mValues.clear();
        KeptTrackHeader(node, kKeptHideKeysProperty, track);
        return;
    }
    SizeTrack(track, (uint32_t)turns.size(), 0);
    for (size_t k = 0; k < turns.size(); ++k) {
        track.mKeys[k] = KeyAt(turns[k]);
        track.mKeys[k].mSplineFlags = 0;
    }
}

Ftk::OmniLightMotion* VOxaWriter3DS::MakeOmniLightMotion(VOxaNode* node) {
    if (node == nullptr) return nullptr;
    const bool animated = mAnimationExported;
    const Frames n = GetFrames(node, animated);
    TRSChannels c = NodeChannels(node, animated);
    double color[3] = {1.0, 1.0, 1.0};
    if (VOxaLight* light = node->GetLight()) light->GetDefaultColor(color[0], color[1], color[2]);
    VOxaTakeNode* take = animated ? TakeWithCurves(node) : nullptr;
    Channel red = MakeChannel(take ? take->GetColorR() : nullptr, color[0], animated);
    Channel green = MakeChannel(take ? take->GetColorG() : nullptr, color[1], animated);
    Channel blue = MakeChannel(take ? take->GetColorB() : nullptr, color[2], animated);
    OwnedOmniLightMotion motion;
    Ftk::InitOmniLightMotion(motion.Slot(), 1, 1);
    if (!motion) return nullptr;
    KeptNodeFlags(node, motion->mFlags1, motion->mFlags2);
    Ftk::CopyName(motion->mName, sizeof motion->mName, Cut(node->GetNameWithoutPrefix(), 10).c_str());
    Ftk::CopyName(motion->mParentName, sizeof motion->mParentName,
                  ParentField(node->GetParent(), false).c_str());
    if (!SamplePositionTrack(motion->mPosition, c.t[0], c.t[1], c.t[2], n,
                             KeptTrack{node, kKeptPositionKeysProperty, animated}))
        RefuseFrames(n);
    if (!SampleVectorTrack(motion->mColor, red, green, blue, n,
                           KeptTrack{node, kKeptColorKeysProperty, animated}))
        RefuseFrames(n);
    RefuseNonFinite(node, {&motion->mPosition, &motion->mColor});
    return motion.Take();
}

Ftk::SpotlightMotion* VOxaWriter3DS::MakeSpotLightMotion(VOxaNode* node) {
    if (node == nullptr) return nullptr;
    const bool animated = mAnimationExported;
    const Frames n = GetFrames(node, animated);
    TRSChannels c = NodeChannels(node, animated);
    VOxaLight* light = node->GetLight();
    double color[3] = {1.0, 1.0, 1.0};
    double cone = 45.0;
    if (light != nullptr) {
        light->GetDefaultColor(color[0], color[1], color[2]);
        cone = light->GetDefaultConeAngle();
    }
    VOxaTakeNode* take = animated ? TakeWithCurves(node) : nullptr;
    Channel red = MakeChannel(take ? take->GetColorR() : nullptr, color[0], animated);
    Channel green = MakeChannel(take ? take->GetColorG() : nullptr, color[1], animated);
    Channel blue = MakeChannel(take ? take->GetColorB() : nullptr, color[2], animated);
    Channel coneAngle = MakeChannel(take ? take->GetLightConeAngle() : nullptr, cone, animated);
    Channel roll;

    VOxaNode* target = node->GetTarget();
    const Frames targetCount = target ? GetFrames(target, true) : n;
    OwnedSpotlightMotion motion;
    Ftk::InitSpotlightMotion(motion.Slot(), 1, 1, 1, 1, 1, 1);
    if (!motion) return nullptr;
    KeptNodeFlags(node, motion->mFlags1, motion->mFlags2);
    KeptNodeFlags(target, motion->mTargetFlags1, motion->mTargetFlags2);
    Ftk::CopyName(motion->mName, sizeof motion->mName, Cut(node->GetNameWithoutPrefix(), 10).c_str());
    Ftk::CopyName(motion->mParentName, sizeof motion->mParentName,
                  ParentField(node->GetParent(), false).c_str());
    // A spot without a target node aims at a point in its own parent's space.
    Ftk::CopyName(motion->mTargetParentName, sizeof motion->mTargetParentName,
                  ParentField(target ? target->GetParent() : node->GetParent(), false).c_str());

    if (!SamplePositionTrack(motion->mPosition, c.t[0], c.t[1], c.t[2], n,
                             KeptTrack{node, kKeptPositionKeysProperty, animated}))
        RefuseFrames(n);
    if (!SampleVectorTrack(motion->mColor, red, green, blue, n,
                           KeptTrack{node, kKeptColorKeysProperty, animated}))
        RefuseFrames(n);
    // The falloff the file gave the light, else the cone angle.
    Channel falloff = coneAngle;
    if (VProperty* stored = light ? light->GetProperties()->FindProperty(kFalloffProperty) : nullptr) {
        falloff = Channel();
        falloff.mValue = stored->GetDouble();
    }
    if (!SampleScalarTrack(motion->mHotspot, coneAngle, n, false,
                           KeptTrack{node, kKeptHotspotKeysProperty, animated}))
        RefuseFrames(n);
    if (!SampleScalarTrack(motion->mFalloff, falloff, n)) RefuseFrames(n);
    if (!SampleScalarTrack(motion->mRoll, roll, Frames{n.first, 1})) RefuseFrames(n);
    // A read file's falloff and roll tracks, while the falloff starts where the light's stands.
    std::vector<Ftk::KeyHeader> keptKeys;
    std::vector<float> keptValues;
    if (mAnimation && KeptTrackKeys(node, kKeptFalloffKeysProperty, 1, keptKeys, keptValues) &&
        (float)falloff.mValue == keptValues[0]) {
        motion->mFalloff.mKeyCount = (uint32_t)keptKeys.size();
        motion->mFalloff.mKeys = keptKeys;
        motion->mFalloff.mValues = keptValues;
        KeptTrackHeader(node, kKeptFalloffKeysProperty, motion->mFalloff);
    }
    if (mAnimation && KeptTrackKeys(node, kKeptSpotRollKeysProperty, 1, keptKeys, keptValues)) {
        motion->mRoll.mKeyCount = (uint32_t)keptKeys.size();
        motion->mRoll.mKeys = keptKeys;
        motion->mRoll.mValues = keptValues;
        KeptTrackHeader(node, kKeptSpotRollKeysProperty, motion->mRoll);
    }
    if (target != nullptr) {
        TRSChannels tc = NodeChannels(target, animated);
        if (!SamplePositionTrack(motion->mTargetPosition, tc.t[0], tc.t[1], tc.t[2], targetCount,
                                 KeptTrack{target, kKeptPositionKeysProperty, animated}))
            RefuseFrames(targetCount);
    } else {
        // The light looks down its local -Y axis; the target sits 10 units along it.
        TRSChannels lc = NodeChannels(node, animated);
        if (!FramesFit(targetCount)) return motion.Take();
        SizeTrack(motion->mTargetPosition, targetCount.count, 3);
        for (uint32_t k = 0; k < targetCount.count; ++k) {
            const VTime time = targetCount.Time(k);
            double m[4][4];
            EulerMatrix(m, lc.r[0].At(time), lc.r[1].At(time), lc.r[2].At(time));
            VgeTVector p(lc.t[0].At(time), lc.t[1].At(time), lc.t[2].At(time), 0.0);
            VgeTVector d = RowTimes(VgeTVector(0.0, -10.0, 0.0, 0.0), m);
            VgeTVector at = ConvertPosition(p + d);
            motion->mTargetPosition.mKeys[k] = KeyAt(targetCount.Frame(k));
            float* v = &motion->mTargetPosition.mValues[(size_t)k * 3];
            v[0] = (float)at[0];
            v[1] = (float)at[1];
            v[2] = (float)at[2];
        }
    }
    RefuseNonFinite(node, {&motion->mPosition, &motion->mColor, &motion->mHotspot, &motion->mFalloff,
                           &motion->mRoll, &motion->mTargetPosition});
    return motion.Take();
}

Ftk::CameraMotion* VOxaWriter3DS::MakeCameraMotion(VOxaNode* node) {
    if (node == nullptr) return nullptr;
    const bool animated = mAnimationExported;
    const Frames n = GetFrames(node, animated);
    TRSChannels c = NodeChannels(node, animated);
    VOxaCamera* camera = node->GetCamera();
    VOxaTakeNode* take = animated ? TakeWithCurves(node) : nullptr;

    // Field of view: the horizontal angle. A zero film height gives no ratio: angles stay as
    // they are.
    double ratio = 1.0, squeeze = 1.0;
    bool convert = false;
    if (camera != nullptr) {
        const double height = camera->GetFilmHeight();
        squeeze = camera->GetFilmSqueezeRatio();
        if (height != 0.0 && std::isfinite(height)) {
            ratio = camera->GetFilmWidth() / height;
            convert = std::isfinite(ratio) && std::isfinite(squeeze);
        }
    }
    auto horizontal = [&](double v) {
        if (!convert) return v;
        const double out =
            std::atan(std::tan(v * 0.008726646259971648) * ratio * squeeze) * 114.59155902616465;
        return std::isfinite(out) ? out : v;
    };
    VFCurve* fovCurve = take ? take->GetCameraFieldOfView() : nullptr;
    double fovDefault = 45.0;
    if (camera != nullptr) {
        const int mode = camera->GetApertureMode();
        // A read file's static lens kept apart from its keyframer: the focal length is the static
        // lens, the field of view the keyframer's (a single key, or a still scene, plays that).
        if (mode == 1 && camera->GetProperties()->FindProperty(kStaticFieldOfViewProperty) != nullptr)
            fovDefault = horizontal(camera->GetDefaultFieldOfView());
        else if (mode == 1)
            fovDefault = camera->ComputeFieldOfViewFromFocalLength();
        else if (mode == 0)
            fovDefault = camera->GetDefaultFieldOfViewX();
        else
            fovDefault = horizontal(camera->GetDefaultFieldOfView());
    }
    Channel fov = MakeChannel(fovCurve, fovDefault, animated);
    Channel roll =
        MakeChannel(take ? take->GetCameraRoll() : nullptr, camera ? camera->GetRoll() : 0.0, animated);

    VOxaNode* target = node->GetTarget();
    const Frames targetCount = target ? GetFrames(target, true) : n;
    OwnedCameraMotion motion;
    Ftk::InitCameraMotion(motion.Slot(), 1, 1, 1, 1);
    if (!motion) return nullptr;
    KeptNodeFlags(node, motion->mFlags1, motion->mFlags2);
    KeptNodeFlags(target, motion->mTargetFlags1, motion->mTargetFlags2);
    Ftk::CopyName(motion->mName, sizeof motion->mName, Cut(node->GetNameWithoutPrefix(), 10).c_str());
    const std::string parent = ParentField(node->GetParent(), false);
    Ftk::CopyName(motion->mParentName, sizeof motion->mParentName, parent.c_str());
    Ftk::CopyName(motion->mTargetParentName, sizeof motion->mTargetParentName,
                  target ? ParentField(target->GetParent(), false).c_str() : parent.c_str());

    if (!SamplePositionTrack(motion->mPosition, c.t[0], c.t[1], c.t[2], n,
                             KeptTrack{node, kKeptPositionKeysProperty, animated}))
        RefuseFrames(n);
    // The curve holds the angle of the camera's own aperture; the file wants the horizontal one:
    // the file's keys while they play the curve (as the reader turned them), else the curve's
    // keys, each turned to the horizontal angle.
    // (A constant channel holds the horizontal angle already.)
    const bool keptFov = PutKeptKeys(
        motion->mFieldOfView, KeptTrack{node, kKeptFieldOfViewKeysProperty, animated}, 1, n,
        [&](VTime time, float* v) { v[0] = (float)fov.At(time); },
        [&](float h) {
            // The angle the reader gave the curve for the file's horizontal angle h.
            if (!convert || fov.mCurve == nullptr) return h;
            const double v =
                std::atan(std::tan(h * 0.008726646259971648) / (ratio * squeeze)) * 114.59155902616465;
            return std::isfinite(v) ? (float)v : h;
        });
    if (!keptFov) {
        if (!SampleScalarTrack(motion->mFieldOfView, fov, n)) RefuseFrames(n);
        if (fov.mCurve != nullptr)
            for (float& value : motion->mFieldOfView.mValues)
                value = (float)horizontal(value);
    }
    // Without a target each frame's roll gets its own correction below: a key a frame.
    if (!SampleScalarTrack(motion->mRoll, roll, n, target == nullptr,
                           KeptTrack{node, kKeptCameraRollKeysProperty, animated}))
        RefuseFrames(n);
    if (target != nullptr) {
        TRSChannels tc = NodeChannels(target, animated);
        if (!SamplePositionTrack(motion->mTargetPosition, tc.t[0], tc.t[1], tc.t[2], targetCount,
                                 KeptTrack{target, kKeptPositionKeysProperty, animated}))
            RefuseFrames(targetCount);
        return motion.Take();
    }
    // No target: the camera looks down its local X axis; the target sits 10 units along it and
    // the roll takes the angle between the camera's up axis and the up direction it would have
    // unrolled (world Y made perpendicular to the view).
    if (!FramesFit(targetCount)) return motion.Take();
    SizeTrack(motion->mTargetPosition, targetCount.count, 3);
    for (uint32_t k = 0; k < targetCount.count; ++k) {
        const VTime time = targetCount.Time(k);
        double m[4][4];
        EulerMatrix(m, c.r[0].At(time), c.r[1].At(time), c.r[2].At(time));
        VgeTVector p(c.t[0].At(time), c.t[1].At(time), c.t[2].At(time), 0.0);
        VgeTVector view = RowTimes(VgeTVector(1.0, 0.0, 0.0, 0.0), m);
        VgeTVector up = RowTimes(VgeTVector(0.0, 1.0, 0.0, 0.0), m);
        VgeTVector at = ConvertPosition(p + view * 10.0);
        motion->mTargetPosition.mKeys[k] = KeyAt(targetCount.Frame(k));
        float* v = &motion->mTargetPosition.mValues[(size_t)k * 3];
        v[0] = (float)at[0];
        v[1] = (float)at[1];
        v[2] = (float)at[2];

        double correction = 0.0;
        const VgeTVector worldUp(0.0, 1.0, 0.0, 0.0);
        VgeTVector right = Cross3(view, worldUp);
        const double rightLength = Length3(right);
        if (rightLength > 1e-12 && std::isfinite(rightLength)) {
            right = right * (1.0 / rightLength);
            // 90 minus the angle between the unrolled right direction and the up axis: the
            // roll for turns up to 90 degrees either way.
            correction = 90.0 - std::acos(ClampUnit(Dot3(right, up))) * kRadToDegRoll;
            // Past 90 degrees the up axis points away from the unrolled up direction.
            VgeTVector unrolledUp = Cross3(right, view);
            if (Length3(up - unrolledUp) > Length3(up + unrolledUp))
                correction = (correction >= 0.0 ? 180.0 : -180.0) - correction;
            if (!std::isfinite(correction)) correction = 0.0;
        }
        if (k < n.count) motion->mRoll.mValues[k] = Finite(motion->mRoll.mValues[k] + correction);
    }
    RefuseNonFinite(node,
                    {&motion->mPosition, &motion->mFieldOfView, &motion->mRoll, &motion->mTargetPosition});
    return motion.Take();
}

// ---- Lights, cameras and texture files ---------------------------------------------------------

namespace {

// Makes `record` with `init`, named `name` (cut to 10 characters) at `position` (file axes); it
// stays null when it cannot be made.
template <class Record, void (*Release)(Record**)>
void PlaceNewRecord(Ftk::Owned<Record, Release>& record, void (*init)(Record**), const char* name,
                    const VgeTVector& position) {
    init(record.Slot());
    if (!record) return;
    Ftk::CopyName(record->mName, sizeof record->mName, Cut(name, 10).c_str());
    record->mPosition = Ftk::Point3{(float)position[0], (float)position[1], (float)position[2]};
}

// Makes `record` as a light of `init`'s kind with the light's colour and intensity (white at full
// strength without a light).
void PlaceNewLight(OwnedLight& record, void (*init)(Ftk::Light**), const char* name,
                   const VgeTVector& position, VOxaLight* light) {
    PlaceNewRecord(record, init, name, position);
    if (record && light != nullptr) {
        double red = 1.0, green = 1.0, blue = 1.0;
        light->GetDefaultColor(red, green, blue);
        record->mColor[0] = (float)red;
        record->mColor[1] = (float)green;
        record->mColor[2] = (float)blue;
        record->mMultiplier = (float)(light->GetDefaultIntensity() * 0.01);
    }
}

}  // namespace

Ftk::Light* VOxaWriter3DS::BuildOmniLight(const char* name, const VgeTVector& translation, VOxaLight* light) {
    OwnedLight record;
    PlaceNewLight(record, Ftk::InitLight, name, ConvertPosition(translation), light);
    if (record) Put3dsLightValues(light, *record);
    return record.Take();
}

Ftk::Light* VOxaWriter3DS::BuildSpotLight(const char* name, const VgeTVector& translation,
                                          const VgeTVector& /*rotation*/, VOxaLight* light) {
    OwnedLight record;
    PlaceNewLight(record, Ftk::InitSpotlight, name, ConvertPosition(translation), light);
    if (record && light != nullptr && record->mSpot != nullptr)
        record->mSpot->mHotspot = (float)light->GetDefaultConeAngle();
    if (record) Put3dsLightValues(light, *record);
    return record.Take();
}

Ftk::Camera* VOxaWriter3DS::BuildCamera(const char* name, const VgeTVector& translation, VOxaCamera* camera) {
    OwnedCamera record;
    PlaceNewRecord(record, Ftk::InitCamera, name, ConvertPosition(translation));
    if (!record) return nullptr;
    if (camera != nullptr) {
        // The last camera written gives the file's solid background (PutSceneValues puts it).
        mBackgroundColor = camera->GetDefaultBackgroundColor();
        mCameraBackground = true;
        Put3dsCameraValues(camera, *record);
    }
    return record.Take();
}

void VOxaWriter3DS::PutSceneValues(VOxaScene* scene) {
    VOxaNode* root = scene->GetRootNode();
    // The solid background: a written camera's colour, else the scene's (its perspective
    // camera's) when a read file had one; in use when the file had it in use.
    const VProperty* inUse = RootProperty(root, kSolidBackgroundProperty);
    VOxaCamera* producer = scene->GetGlobalCameraSettings().GetProducerPerspectiveCamera();
    // A read file's bitmap and gradient backgrounds and which background is in use.
    Ftk::Background kept;
    const bool keptBackground = Kept3dsBackground(root, kept);
    if (mCameraBackground || (inUse && producer) || keptBackground) {
        const VOxaColor color = mCameraBackground ? mBackgroundColor
                                : producer        ? producer->GetDefaultBackgroundColor()
                                                  : VOxaColor(0.0, 0.0, 0.0, 1.0);
        Ftk::Owned<Ftk::Background, Ftk::ReleaseBackground> background;
        Ftk::InitBackground(background.Slot());
        if (background) {
            *background = kept;
            background->mSolid[0] = (float)color.mRed;
            background->mSolid[1] = (float)color.mGreen;
            background->mSolid[2] = (float)color.mBlue;
            Ftk::PutBackground(mDatabase, background.Get());
        }
    }
    // The fog, when the scene's is on or a read file had one.
    const VOxaGlobalLightSettings& lights = scene->GetGlobalLightSettings();
    const VProperty* nearDensity = RootProperty(root, kFogNearDensityProperty);
    if (lights.GetFogEnable() || nearDensity) {
        Ftk::Fog fog;
        const VOxaColor color = lights.GetFogColor();
        fog.mColor[0] = (float)color.mRed;
        fog.mColor[1] = (float)color.mGreen;
        fog.mColor[2] = (float)color.mBlue;
        fog.mNearPlane = Finite(lights.GetFogStart() * mFileScale);
        fog.mFarPlane = Finite(lights.GetFogEnd() * mFileScale);
        fog.mNearDensity = nearDensity ? Finite(nearDensity->GetDouble() * 100.0) : 0.0f;
        fog.mFarDensity = Finite(lights.GetFogDensity() * 100.0);
        const VProperty* background = RootProperty(root, kFogBackgroundProperty);
        fog.mBackground = background && background->GetDouble() != 0.0;
        fog.mInUse = lights.GetFogEnable();
        Ftk::PutFog(mDatabase, fog);
    }
    Put3dsSceneValues(root, mDatabase, mFileScale);
}

bool VOxaWriter3DS::CopyTextureFile(const char* path, const char* sourceFolder, VString* givenName) {
    return mTextureCopier.Copy(path, sourceFolder, mOutputPath.Buffer(), mMessageText, givenName);
}
