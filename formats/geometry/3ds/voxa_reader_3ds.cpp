#include "formats/geometry/3ds/voxa_reader_3ds.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <unordered_set>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vpath.h"
#include "base/vprintable_text.h"
#include "base/vtime.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "formats/geometry/3ds/voxa_3ds_scene_values.h"
#include "formats/geometry/voxa_material_extras.h"
#include "objects/vproperty.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_camera_settings.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"

VOxaReader* VOxaCreateReader3DS(VOxaSdkManager* manager) {
    return new VOxaReader3DS(manager);
}

namespace {

// Root-node properties that keep the file's scene values for a 3DS writer: the shadow-map size,
// the solid background being in use (made only then), and the fog values the scene's own fog does not hold
// (the near density as a fraction, whether the fog covers the background).
constexpr const char* kShadowMapSizeProperty = "3DS Shadow Map Size";
constexpr const char* kSolidBackgroundProperty = "3DS Solid Background";
constexpr const char* kFogNearDensityProperty = "3DS Fog Near Density";
constexpr const char* kFogBackgroundProperty = "3DS Fog Background";

// A name field of a toolkit record, which may fill its array without a terminating NUL.
template <size_t N>
std::string FieldName(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = (char)std::tolower((unsigned char)c);
    return text;
}

template <class Map>
void AddFirst(Map& map, const std::string& key, typename Map::mapped_type value) {
    map.emplace(key, value);  // an existing key keeps its first value
}

// Fetches the database's records of one kind (`countOf` counts them, `get` fetches one) into
// `entries`, indexing each name's first record; false when the toolkit stopped.
template <class Entry, class Record>
bool CollectEntries(Ftk::Database* database, uint32_t (*countOf)(Ftk::Database*),
                    void (*get)(Ftk::Database*, uint32_t, Record**), std::vector<Entry>& entries,
                    std::unordered_map<std::string, uint32_t>& byName) {
    const uint32_t count = countOf(database);
    if (Ftk::Stopped()) return false;
    entries.reserve(entries.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        // Listed before it is filled: a record that a fetch running out of memory made is
        // released with the others.
        entries.emplace_back();
        get(database, i, &entries.back().mRecord);
        const Record* record = entries.back().mRecord;
        if (!record) entries.pop_back();
        if (Ftk::Stopped()) return false;
        if (record) AddFirst(byName, FieldName(record->mName), (uint32_t)entries.size() - 1);
    }
    return true;
}

// The file's keyframer motions of one kind, appended to `motions`; `count` receives how many the
// file lists. False when the toolkit stopped.
template <class Entry, class Record>
bool CollectMotions(Ftk::Database* database, uint32_t (*countOf)(Ftk::Database*),
                    void (*get)(Ftk::Database*, uint32_t, Record**), std::vector<Entry>& motions,
                    uint32_t& count) {
    count = countOf(database);
    if (Ftk::Stopped()) return false;
    motions.reserve(motions.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        motions.emplace_back();  // listed before it is filled, as above
        get(database, i, &motions.back().mRecord);
        if (!motions.back().mRecord) motions.pop_back();
        if (Ftk::Stopped()) return false;
    }
    return true;
}

// The matrix from the record's stored points to the object's local points: the affine inverse of
// its local axes (three axis rows, then the origin row), mirrored in x when the axes are, or the
// identity (and false) when the axes are (nearly) singular. Singular is judged against the lengths of the
// axes, not their size: axes that scale by 0.01 (as other programs write centimetre models) are
// as sound as unit ones.
bool InverseLocalMatrix(const float* axes, double out[4][4]) {
    VgeMatrixIdentity(out);
    double m[3][3];
    double lengths = 1.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            m[r][c] = axes[r * 3 + c];
        lengths *= std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
    }
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    // NaN and infinite axes land here too.
    if (!std::isfinite(det) || !std::isfinite(lengths) || !(std::fabs(det) > 1e-6 * lengths)) return false;
    const double inv = 1.0 / det;
    double r[3][3];
    r[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
    r[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
    r[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
    r[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
    r[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
    r[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
    r[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
    r[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
    r[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
    // Row vectors: p' = p R + o, so p = (p' - o) R^-1 and the translation row is -o R^-1.
    for (int j = 0; j < 3; ++j)
        out[3][j] = -(axes[9] * r[0][j] + axes[10] * r[1][j] + axes[11] * r[2][j]);
    // A mirrored matrix holds a mirrored object: its points are stored mirrored across the
    // object's own x axis, so the local points are those of the inverse with x negated.
    if (det < 0.0)
        for (int i = 0; i < 4; ++i)
            out[i][0] = -out[i][0];
    return true;
}

// The first texture map of a material has a file name.
bool HasMap(const Ftk::Material* material, int slot) {
    return material && material->mMaps[slot].mFileName[0] != '\0';
}

}  // namespace

VOxaReader3DS::VOxaReader3DS(VOxaSdkManager* manager) : VOxaReader(manager) {}

VOxaReader3DS::~VOxaReader3DS() {
    Ftk::Session session;
    ReleaseAll();
}

bool VOxaReader3DS::FileOpen(const char* path) {
    // The toolkit's error flag is process-wide: a failure of an earlier file must not stop
    // this one. The session keeps a read started from a callback of another apart from it.
    Ftk::Session session;
    Ftk::ClearErrors();
    if (mFile) FileClose();
    if (!path || !*path) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    Ftk::File* file = Ftk::OpenOwnFile(path, "rb");
    if (!file || !file->mStream || Ftk::IsErrorPending()) {
        if (file) Ftk::CloseFile(file);
        Ftk::ClearErrors();
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFile = file;
    const VString folder = GetDirectoryName(path);
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(folder.IsEmpty() ? "." : folder.Buffer(), error);
    mSourceFolder = error ? std::string() : absolute.lexically_normal().string();
    return true;
}

bool VOxaReader3DS::FileClose() {
    Ftk::Session session;
    ReleaseAll();
    return true;
}

bool VOxaReader3DS::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaReader3DS::GetReadOptions() {
    return VStreamOptions3ds::Create();
}

void VOxaReader3DS::Warn(const std::string& line) {
    // One warning, one line: names from the file show their control bytes as escapes.
    mMessageText += VPrintableText(line.c_str()).c_str();
    mMessageText += "\n";
}

void VOxaReader3DS::WarnSkippedChunks() {
    size_t kept = 0;
    uint64_t total = 0;
    const Ftk::SkippedChunk* skipped = Ftk::GetSkippedChunks(&kept, &total);
    char line[160];
    for (size_t i = 0; i < kept; ++i) {
        std::snprintf(line, sizeof line,
                      "Chunk 0x%04X at byte %u skipped: %u bytes of data where its layout takes %u",
                      (unsigned)skipped[i].mTag, (unsigned)skipped[i].mPosition,
                      (unsigned)skipped[i].mDataSize, (unsigned)skipped[i].mExpected);
        Warn(line);
    }
    if (total > kept) Warn(std::to_string(total - kept) + " more chunk(s) of unexpected length skipped");
}

bool VOxaReader3DS::ToolkitFailure() {
    VString text(mError.GetErrorString(eFILE_CORRUPTED));
    const Ftk::ErrorEntry* list = Ftk::GetErrorList();
    if (list && list[0].mCode != 0 && list[0].mText) {
        text += ": ";
        text += list[0].mText;
    }
    mError.SetLastError(eFILE_CORRUPTED, text.Buffer());
    return false;
}

void VOxaReader3DS::ReleaseRecords() {
    for (MeshEntry& entry : mMeshes)
        Ftk::ReleaseMesh(&entry.mRecord);
    for (Ftk::Material*& material : mMaterialRecords)
        Ftk::ReleaseMaterial(&material);
    for (LightEntry& entry : mOmniLights)
        Ftk::ReleaseLight(&entry.mRecord);
    for (LightEntry& entry : mSpotlights)
        Ftk::ReleaseLight(&entry.mRecord);
    for (CameraEntry& entry : mCameras)
        Ftk::ReleaseCamera(&entry.mRecord);
    for (auto& entry : mObjectMotions)
        Ftk::ReleaseObjectMotion(&entry.mRecord);
    for (auto& entry : mOmniMotions)
        Ftk::ReleaseOmniLightMotion(&entry.mRecord);
    for (auto& entry : mSpotMotions)
        Ftk::ReleaseSpotlightMotion(&entry.mRecord);
    for (auto& entry : mCameraMotions)
        Ftk::ReleaseCameraMotion(&entry.mRecord);
    mMeshes.clear();
    mMaterialRecords.clear();
    mMaterialTextures.clear();
    mOmniLights.clear();
    mSpotlights.clear();
    mCameras.clear();
    mObjectMotions.clear();
    mOmniMotions.clear();
    mSpotMotions.clear();
    mCameraMotions.clear();
    mMeshByName.clear();
    mOmniByName.clear();
    mSpotByName.clear();
    mCameraByName.clear();
    mMaterialRecordByName.clear();
    mTextureMap.clear();
    mCreatedMaterials.clear();
    mCreatedNodes.clear();
    mMadeMaterials.clear();
    mMadeTextures.clear();
}

void VOxaReader3DS::ReleaseAll() {
    // The release calls check nothing but their argument, so they run whatever is pending.
    ReleaseRecords();
    if (mBackground) Ftk::ReleaseBackground(&mBackground);
    if (mSettings) Ftk::ReleaseSettings(&mSettings);
    // The database reads its chunks from the file: it goes first.
    if (mDatabase) Ftk::ReleaseDatabase(&mDatabase);
    if (mFile) {
        Ftk::CloseFile(mFile);
        mFile = nullptr;
    }
    mScene = nullptr;
    mTopParent = nullptr;
    mFileHasMotions = false;
}

bool VOxaReader3DS::Read(VOxaScene* scene, VStreamOptions* options) {
    Ftk::Session session;
    if (options && options->IsA(VStreamOptions3ds::ClassId)) {
        const VStreamOptions3ds* o = static_cast<const VStreamOptions3ds*>(options);
        mCreateReferenceNode = o->GetOptionValue(VStreamOptions3ds::eCREATE_REFERENCE_NODE) == 1;
        mMaterials = o->GetOptionValue(VStreamOptions3ds::eMATERIALS) == 1;
        mTextureMapping = o->GetOptionValue(VStreamOptions3ds::eTEXTURE_MAPPING) == 1;
        mAnim = o->GetOptionValue(VStreamOptions3ds::eANIM) == 1;
        mGeometries = o->GetOptionValue(VStreamOptions3ds::eGEOMETRIES) == 1;
        mLights = o->GetOptionValue(VStreamOptions3ds::eLIGHTS) == 1;
        mCamera = o->GetOptionValue(VStreamOptions3ds::eCAMERA) == 1;
        mAmbientLight = o->GetOptionValue(VStreamOptions3ds::eAMBIENT_LIGHT) == 1;
        mRescale = o->GetOptionValue(VStreamOptions3ds::eRESCALE) == 1;
        mReduceKeys = o->GetOptionValue(VStreamOptions3ds::eREDUCE_KEYS) == 1;
        mSmoothGroup = o->GetOptionValue(VStreamOptions3ds::eSMOOTH_GROUP) == 1;
    } else {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
    }
    mReferenceNode = nullptr;
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (!scene || !mManager || !scene->GetRootNode()) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        ReleaseAll();
        return false;
    }
    mScene = scene;
    Ftk::TakeCutNames();  // none of an earlier file's
    bool ok = FillTables() && BuildScene(scene);
    // Chunks are left out while the tree is read and while their records are.
    if (ok) WarnSkippedChunks();
    for (const auto& cut : Ftk::TakeCutNames())
        Warn("Name \"" + cut.first + "\" is longer than " + std::to_string(Ftk::kNameCapacity) +
             " bytes and is read as \"" + cut.second + "\"");
    if (ok && Ftk::Stopped()) ok = ToolkitFailure();
    // Success or not, nothing of this file stays with the toolkit.
    ReleaseAll();
    return ok;
}

bool VOxaReader3DS::FillTables() {
    mUnitFactor = mRescale ? 2.54 : 1.0;
    ReleaseRecords();
    Ftk::NewDatabase(&mDatabase);
    if (Ftk::Stopped() || !mDatabase) return ToolkitFailure();
    Ftk::LoadDatabase(mFile, mDatabase);
    if (Ftk::Stopped()) return ToolkitFailure();
    Ftk::InitSettingsBlock(&mSettings);
    if (Ftk::Stopped() || !mSettings) return ToolkitFailure();
    const int kind = Ftk::GetDatabaseKind(mDatabase);
    if (kind != Ftk::kSceneFile && kind != Ftk::kProjectFile) {
        // Not a scene or project file (an empty file among them): nothing the structure calls
        // would accept.
        mError.SetLastError(eFILE_CORRUPTED, "File is corrupted: not a 3DS scene file");
        return false;
    }
    Ftk::GetSettings(mDatabase, &mSettings);
    if (Ftk::Stopped()) return ToolkitFailure();
    if (mSettings->mMasterScale > 0.0f) mUnitFactor *= mSettings->mMasterScale;
    // A file without an ambient colour has no ambient light.
    if (mSettings->mAmbientInFile) std::memcpy(mAmbient, mSettings->mAmbient, sizeof mAmbient);
    mAmbientInFile = mSettings->mAmbientInFile;
    Ftk::GetBackground(mDatabase, &mBackground);
    if (Ftk::Stopped()) return ToolkitFailure();

    if (!CollectEntries(mDatabase, Ftk::CountMeshes, Ftk::GetMeshByIndex, mMeshes, mMeshByName))
        return ToolkitFailure();
    if (mLights) {
        if (!CollectEntries(mDatabase, Ftk::CountOmniLights, Ftk::GetOmniLightByIndex, mOmniLights,
                            mOmniByName) ||
            !CollectEntries(mDatabase, Ftk::CountSpotlights, Ftk::GetSpotlightByIndex, mSpotlights,
                            mSpotByName))
            return ToolkitFailure();
    }
    if (mCamera &&
        !CollectEntries(mDatabase, Ftk::CountCameras, Ftk::GetCameraByIndex, mCameras, mCameraByName))
        return ToolkitFailure();
    const uint32_t materialCount = Ftk::CountMaterials(mDatabase);
    if (Ftk::Stopped()) return ToolkitFailure();
    for (uint32_t i = 0; i < materialCount; ++i) {
        mMaterialRecords.push_back(nullptr);  // listed before it is filled, as above
        Ftk::GetMaterialByIndex(mDatabase, i, &mMaterialRecords.back());
        Ftk::Material* material = mMaterialRecords.back();
        if (!material) mMaterialRecords.pop_back();
        if (Ftk::Stopped()) return ToolkitFailure();
        if (material)
            AddFirst(mMaterialRecordByName, FieldName(material->mName),
                     (uint32_t)mMaterialRecords.size() - 1);
    }

    // Keyframer motions; without any, one motion per object named as the object. The default
    // motions of lights and cameras carry the record's own placement as single keys, so that a
    // file without keyframer data keeps its lights and cameras where the editor put them.
    uint32_t objectMotions = 0;
    if (!CollectMotions(mDatabase, Ftk::CountObjectMotions, Ftk::GetObjectMotionByIndex, mObjectMotions,
                        objectMotions))
        return ToolkitFailure();
    if (objectMotions > 0) mFileHasMotions = true;
    if (mLights) {
        uint32_t omniMotions = 0;
        if (!CollectMotions(mDatabase, Ftk::CountOmniLightMotions, Ftk::GetOmniLightMotionByIndex,
                            mOmniMotions, omniMotions))
            return ToolkitFailure();
        if (omniMotions > 0) mFileHasMotions = true;
        if (omniMotions == 0) {
            for (const LightEntry& light : mOmniLights) {
                // Listed before it is made: a record that memory ran out in goes with the others.
                mOmniMotions.emplace_back();
                Ftk::InitOmniLightMotion(&mOmniMotions.back().mRecord, 1, 1);
                const MotionEntry<Ftk::OmniLightMotion> entry = mOmniMotions.back();
                if (!entry.mRecord) mOmniMotions.pop_back();
                if (Ftk::Stopped() || !entry.mRecord) return ToolkitFailure();
                Ftk::OmniLightMotion* m = entry.mRecord;
                Ftk::CopyName(m->mName, sizeof m->mName, light.mRecord->mName);
                if (m->mPosition.mValues.size() >= 3)
                    std::memcpy(m->mPosition.mValues.data(), &light.mRecord->mPosition, 12);
                if (m->mColor.mValues.size() >= 3)
                    std::memcpy(m->mColor.mValues.data(), light.mRecord->mColor, 12);
            }
        }
        uint32_t spotMotions = 0;
        if (!CollectMotions(mDatabase, Ftk::CountSpotlightMotions, Ftk::GetSpotlightMotionByIndex,
                            mSpotMotions, spotMotions))
            return ToolkitFailure();
        if (spotMotions > 0) mFileHasMotions = true;
        if (spotMotions == 0) {
            for (const LightEntry& light : mSpotlights) {
                // Listed before it is made: a record that memory ran out in goes with the others.
                mSpotMotions.emplace_back();
                Ftk::InitSpotlightMotion(&mSpotMotions.back().mRecord, 1, 1, 1, 0, 0, 1);
                const MotionEntry<Ftk::SpotlightMotion> entry = mSpotMotions.back();
                if (!entry.mRecord) mSpotMotions.pop_back();
                if (Ftk::Stopped() || !entry.mRecord) return ToolkitFailure();
                Ftk::SpotlightMotion* m = entry.mRecord;
                const Ftk::Light* l = light.mRecord;
                Ftk::CopyName(m->mName, sizeof m->mName, l->mName);
                if (m->mPosition.mValues.size() >= 3)
                    std::memcpy(m->mPosition.mValues.data(), &l->mPosition, 12);
                if (m->mColor.mValues.size() >= 3) std::memcpy(m->mColor.mValues.data(), l->mColor, 12);
                if (l->mSpot && !m->mHotspot.mValues.empty()) m->mHotspot.mValues[0] = l->mSpot->mHotspot;
                if (l->mSpot && m->mTargetPosition.mValues.size() >= 3)
                    std::memcpy(m->mTargetPosition.mValues.data(), &l->mSpot->mTarget, 12);
            }
        }
    }
    if (mCamera) {
        uint32_t cameraMotions = 0;
        if (!CollectMotions(mDatabase, Ftk::CountCameraMotions, Ftk::GetCameraMotionByIndex, mCameraMotions,
                            cameraMotions))
            return ToolkitFailure();
        if (cameraMotions > 0) mFileHasMotions = true;
        if (cameraMotions == 0) {
            for (const CameraEntry& camera : mCameras) {
                // Listed before it is made: a record that memory ran out in goes with the others.
                mCameraMotions.emplace_back();
                Ftk::InitCameraMotion(&mCameraMotions.back().mRecord, 1, 1, 1, 1);
                const MotionEntry<Ftk::CameraMotion> entry = mCameraMotions.back();
                if (!entry.mRecord) mCameraMotions.pop_back();
                if (Ftk::Stopped() || !entry.mRecord) return ToolkitFailure();
                Ftk::CameraMotion* m = entry.mRecord;
                const Ftk::Camera* c = camera.mRecord;
                Ftk::CopyName(m->mName, sizeof m->mName, c->mName);
                if (m->mPosition.mValues.size() >= 3)
                    std::memcpy(m->mPosition.mValues.data(), &c->mPosition, 12);
                if (m->mTargetPosition.mValues.size() >= 3)
                    std::memcpy(m->mTargetPosition.mValues.data(), &c->mTarget, 12);
                if (!m->mFieldOfView.mValues.empty()) m->mFieldOfView.mValues[0] = c->mFieldOfView;
                if (!m->mRoll.mValues.empty()) m->mRoll.mValues[0] = c->mRoll;
            }
        }
    }
    // Objects without a keyframer node get a still one: every object of a file without keyframer
    // data, and in a file with nodes each object that no node names (a morph target), which
    // players leave out of the animation but the file keeps. Those are marked, so that a 3DS
    // writer gives them no node either.
    std::unordered_set<std::string> named;
    if (objectMotions > 0)
        for (const auto& entry : mObjectMotions)
            named.insert(FieldName(entry.mRecord->mName));
    for (MeshEntry& mesh : mMeshes) {
        if (objectMotions > 0 && !named.insert(FieldName(mesh.mRecord->mName)).second) continue;
        mesh.mStill = true;
        // Listed before it is made: a record that memory ran out in goes with the others.
        mObjectMotions.emplace_back();
        Ftk::InitObjectMotion(&mObjectMotions.back().mRecord, 0, 0, 0, 0, 0);
        const MotionEntry<Ftk::ObjectMotion> entry = mObjectMotions.back();
        if (!entry.mRecord) mObjectMotions.pop_back();
        if (Ftk::Stopped() || !entry.mRecord) return ToolkitFailure();
        Ftk::CopyName(entry.mRecord->mName, sizeof entry.mRecord->mName, mesh.mRecord->mName);
        mObjectMotions.back().mWithoutNode = mFileHasMotions;
    }
    return true;
}

void VOxaReader3DS::KeepSceneValues(VOxaScene* scene) {
    // Values of the file that the scene has no place for go to its root node, for a 3DS writer.
    VOxaNodeProperties* root = scene->GetRootNode()->GetNodeProperties();
    auto keep = [&](const char* name, int type, double value) {
        if (!root) return;
        VProperty* property = root->FindProperty(name);
        if (!property) property = root->CreateDynamicProperty(name, type, nullptr);
        if (property) property->SetDouble(value);
    };
    keep(kShadowMapSizeProperty, eValueInteger, mSettings ? mSettings->mShadowMapSize : 512);
    // Lengths in the reference node's scaling are in the file's units already.
    if (mSettings && !mCreateReferenceNode)
        Keep3dsFileUnits(scene->GetRootNode(), mUnitFactor, mSettings->mMasterScale);
    if (mBackground && mBackground->mActive == Ftk::kSolidBackground)
        keep(kSolidBackgroundProperty, eValueBool, 1.0);
    Ftk::Fog fog;
    if (mDatabase && Ftk::GetFog(mDatabase, &fog)) {
        VOxaGlobalLightSettings& lights = scene->GetGlobalLightSettings();
        const double scale = mCreateReferenceNode ? 1.0 : mUnitFactor;
        lights.SetFogEnable(fog.mInUse);
        lights.SetFogColor(VOxaColor(fog.mColor[0], fog.mColor[1], fog.mColor[2], 1.0));
        // The end first: the start is kept within [0, end].
        lights.SetFogEnd(fog.mFarPlane * scale);
        lights.SetFogStart(fog.mNearPlane * scale);
        lights.SetFogDensity(fog.mFarDensity * 0.01);
        keep(kFogNearDensityProperty, eValueNumber, fog.mNearDensity * 0.01);
        keep(kFogBackgroundProperty, eValueBool, fog.mBackground);
    }
    Keep3dsSceneValues(scene->GetRootNode(), mDatabase, mBackground,
                       mCreateReferenceNode ? 1.0 : mUnitFactor);
}

bool VOxaReader3DS::BuildScene(VOxaScene* scene) {
    if (!scene || !mManager || !scene->GetRootNode()) return false;
    mScene = scene;
    VOxaGlobalLightSettings& lights = scene->GetGlobalLightSettings();
    // An ambient colour the file holds is marked by alpha 1, so that writers tell it from a
    // scene's default one.
    const double alpha = mAmbientLight && mAmbientInFile ? 1.0 : lights.GetAmbientColor().mAlpha;
    if (mAmbientLight)
        lights.SetAmbientColor(VOxaColor(mAmbient[0], mAmbient[1], mAmbient[2], alpha));
    else
        lights.SetAmbientColor(VOxaColor(0.0, 0.0, 0.0, alpha));

    if (mBackground) {
        const VOxaColor background(mBackground->mSolid[0], mBackground->mSolid[1], mBackground->mSolid[2],
                                   1.0);
        VOxaGlobalCameraSettings& cameras = scene->GetGlobalCameraSettings();
        VOxaCamera* producers[] = {cameras.GetProducerPerspectiveCamera(), cameras.GetProducerTopCamera(),
                                   cameras.GetProducerBottomCamera(),      cameras.GetProducerFrontCamera(),
                                   cameras.GetProducerBackCamera(),        cameras.GetProducerRightCamera(),
                                   cameras.GetProducerLeftCamera()};
        for (VOxaCamera* camera : producers)
            if (camera) camera->SetDefaultBackgroundColor(background);
    }
    KeepSceneValues(scene);

    mMaterialTextures.assign(mMaterialRecords.size(), TexturePair());
    if (mMaterials && !CreateMaterials()) return false;
    if (!CreateAttributes() || !CreateNodes()) return false;

    mReferenceNode = nullptr;
    mTopParent = scene->GetRootNode();
    if (mCreateReferenceNode) {
        mReferenceNode = mManager->CreateNode("Oxa_Root");
        if (!mReferenceNode) return false;
        scene->GetRootNode()->AddChild(mReferenceNode);
        mReferenceNode->SetLclScaling(VgeTVector(mUnitFactor, mUnitFactor, mUnitFactor, 0.0));
        mTopParent = mReferenceNode;
    }
    if (!AttachNodes(scene)) return false;
    if (!AnimateObjects() || !AnimateLights() || !AnimateSpots() || !AnimateCameras()) return false;
    if (!KeepAmbientNode(scene)) return ToolkitFailure();
    ListUnusedMaterials(scene);
    return CreateTake(scene);
}

bool VOxaReader3DS::CreateTake(VOxaScene* scene) {
    VTime start = VTIME_INFINITE, stop = VTIME_MINUS_INFINITE;
    scene->GetRootNode()->GetAnimationIntervalRecursive(start, stop);
    // The file's own range: its segment (else frame 0 to its length) is the take's span and
    // frame 0 to its length the reference span, so that a written file keeps both. Only a file
    // without a keyframer section takes the keys' range.
    VTime referenceStop = VTIME_MINUS_INFINITE;
    Ftk::KeyframerSettings* settings = nullptr;
    // Released however this ends, also when memory runs out (thrown).
    struct Release {
        Ftk::KeyframerSettings** mSettings;
        ~Release() { Ftk::ReleaseKeyframerSettings(mSettings); }
    } release{&settings};
    Ftk::InitKeyframerSettings(&settings);
    if (settings) {
        Ftk::GetKeyframerSettings(mDatabase, settings);
        if (!settings->mSceneName.empty()) Keep3dsKeyframerName(scene->GetRootNode(), settings->mSceneName);
        // Frames are signed: a length below 0 is the file's too (a range wholly before 0).
        const bool header = settings->mHeaderInFile;
        const bool segment = settings->mSegmentInUse;
        // A keyframer without a header is 100 frames long, as readers take it.
        const bool ranged = header || segment || mFileHasMotions;
        const int32_t length = header ? settings->mAnimationLength : 100;
        int32_t first = 0, last = length;
        if (settings->mSegmentInUse) {
            first = settings->mSegmentFirst;
            last = settings->mSegmentLast;
        }
        // A file without a segment of its own keeps none (readers give such a file ranges of
        // their own): marked for a 3DS writer while the span is still the whole animation.
        if (ranged && !segment)
            if (VOxaNodeProperties* root = scene->GetRootNode()->GetNodeProperties())
                if (VProperty* mark = root->CreateDynamicProperty(kNoSegmentProperty, eValueBool, nullptr))
                    mark->SetDouble(1.0);
        if (header && length < 0)
            if (VOxaNodeProperties* root = scene->GetRootNode()->GetNodeProperties())
                if (VProperty* kept =
                        root->CreateDynamicProperty(kNegativeLengthProperty, eValueNumber, nullptr))
                    kept->SetDouble((double)length);
        if (header && settings->mCurrentFrame != 0)
            if (VOxaNodeProperties* root = scene->GetRootNode()->GetNodeProperties())
                if (VProperty* current =
                        root->CreateDynamicProperty(kCurrentFrameProperty, eValueNumber, nullptr))
                    current->SetDouble((double)settings->mCurrentFrame);
        Ftk::ReleaseKeyframerSettings(&settings);
        if (Ftk::Stopped()) return ToolkitFailure();
        // A segment may lie before frame 0: frames are signed.
        if (ranged && last >= first) {
            start.SetTime(0, 0, 0, first, 0, VTime::eFRAMES30);
            stop.SetTime(0, 0, 0, last, 0, VTime::eFRAMES30);
            referenceStop.SetTime(0, 0, 0, std::max(length, last), 0, VTime::eFRAMES30);
        }
    }
    if ((start == VTIME_INFINITE && stop == VTIME_MINUS_INFINITE) ||
        (referenceStop == VTIME_MINUS_INFINITE && !mFileHasMotions)) {
        // Neither keyframer settings nor keys, or no keyframer data at all (the still keys of
        // its lights and cameras are no range): the range readers give such a file, frames 0 to
        // 100.
        start = VTime(0);
        stop.SetTime(0, 0, 0, 100, 0, VTime::eFRAMES30);
    }
    VOxaTakeInfo info;
    info.mName = kTakeName;
    info.mLocalTimeSpan.Set(start, stop);
    if (referenceStop == VTIME_MINUS_INFINITE)
        info.mReferenceTimeSpan.Set(start, stop);
    else
        info.mReferenceTimeSpan.Set(std::min(VTime(0), start), std::max(stop, referenceStop));
    scene->SetTakeInfo(info);
    // Objects outside this file have no such take; the nodes of the file take it.
    scene->SetCurrentTake(kTakeName);
    return true;
}

// ---- Materials and textures -------------------------------------------------------------------

namespace {

// The material maps other than the two colour textures, with the role each takes in a material
// and the suffix that tells its texture from another of the same image.
struct RoleMap {
    int mSlot;
    VOxaMaterial::EMapRole mRole;
    const char* mSuffix;
};
constexpr RoleMap kRoleMaps[] = {
    {Ftk::kOpacityMap, VOxaMaterial::eMAP_OPACITY, ".opacity"},
    {Ftk::kBumpMap, VOxaMaterial::eMAP_BUMP, ".bump"},
    {Ftk::kSpecularMap, VOxaMaterial::eMAP_SPECULAR, ".specular"},
    {Ftk::kShininessMap, VOxaMaterial::eMAP_SHININESS, ".shininess"},
    {Ftk::kSelfIllumMap, VOxaMaterial::eMAP_EMISSIVE, ".selfillum"},
    {Ftk::kReflectionMap, VOxaMaterial::eMAP_REFLECTION, ".reflection"},
};

// Strength, offsets, scales, rotation and tiling of a map, given to its texture.
void ApplyMapParameters(VOxaTexture* texture, const Ftk::MaterialMap& map) {
    texture->SetDefaultAlpha(map.mStrength);
    texture->SetBlendMode(0);
    const double us = map.mUScale, vs = map.mVScale;
    const double uo = map.mUOffset, vo = map.mVOffset;
    if (map.mRotation == 0.0f) {
        // A zero scale has no reciprocal: its centring term is left out.
        const double cu = us != 0.0 ? (1.0 - 1.0 / us) * 0.5 : 0.0;
        const double cv = vs != 0.0 ? (1.0 - 1.0 / vs) * 0.5 : 0.0;
        texture->SetTranslation(-us * (cu + uo), -vs * (cv - vo));
    } else {
        double m[4][4];
        VgeMatrixIdentity(m);
        VgeEulerXYZToMatrix(m, 0.0, 0.0, -map.mRotation);
        const double p[3] = {-us * (uo + 0.5), -vs * (0.5 - vo), 0.0};
        double q[3];
        VgeMatrixMultVector3(q, m, p);
        texture->SetTranslation(q[0] + 0.5, q[1] + 0.5);
        texture->SetRotation(0.0, 0.0, -map.mRotation);
    }
    texture->SetScale(us, vs);
    // Clamped only where the map is not tiled; a decal that is also tiled repeats.
    const int wrap = map.mTiling == Ftk::kMapDecal || map.mTiling == Ftk::kMapNoTile ? 1 : 0;
    texture->SetWrapMode(wrap, wrap);
    // The flags and blur the scene has no field for, for a 3DS writer to put back.
    voxa_extras::SetNumber(texture, voxa_extras::kMapFlags3ds, map.mFlagsStated ? Ftk::MapFlags(map) : -1.0);
    voxa_extras::SetNumber(texture, voxa_extras::kMapBlur3ds, map.mBlur);
}

}  // namespace

VOxaTexture* VOxaReader3DS::CreateMapTexture(const Ftk::MaterialMap& map, size_t material,
                                             const char* suffix) {
    const std::string fileName = FieldName(map.mFileName);
    std::string textureName = fileName;
    if (mManager->GetTexture(fileName.c_str(), 0)) textureName += "-" + std::to_string(material) + suffix;
    VOxaTexture* texture = mManager->CreateTexture(textureName.c_str());
    if (texture && !texture->SetFileName(fileName.c_str())) texture = nullptr;
    if (!texture) {
        mMessageText += "Unable to load texture file: ";
        mMessageText += VPrintableText(fileName.c_str()).c_str();
        mMessageText += " .\n";
        return nullptr;
    }
    texture->SetSourceFolder(mSourceFolder.c_str());
    ApplyMapParameters(texture, map);
    mMadeTextures.push_back(texture);
    return texture;
}

void VOxaReader3DS::ListUnusedMaterials(VOxaScene* scene) {
    VOxaSceneContents* contents = scene ? scene->GetContents() : nullptr;
    if (!contents) return;
    // Only what no mesh listed yet: a second use would make the contents count one too many.
    std::unordered_set<const void*> listed;
    for (int i = 0, n = contents->GetMaterialCount(); i < n; ++i)
        listed.insert(contents->GetMaterial(i));
    for (int i = 0, n = contents->GetTextureCount(); i < n; ++i)
        listed.insert(contents->GetTexture(i));
    for (VOxaMaterial* material : mMadeMaterials)
        if (listed.insert(material).second) contents->AddMaterial(material);
    for (VOxaTexture* texture : mMadeTextures)
        if (listed.insert(texture).second) contents->AddTexture(texture);
}

namespace {

// What the scene's material has no field for, each only where it is not the file's default.
void KeepOtherMaterialValues(VOxaMaterial* material, const Ftk::Material& record) {
    if (record.mShading != 3) voxa_extras::SetNumber(material, voxa_extras::kShading3ds, record.mShading);
    if (record.mReflectionBlur != 0.0f)
        voxa_extras::SetNumber(material, voxa_extras::kReflectionBlur3ds, record.mReflectionBlur);
    if (record.mWireSize != 1.0f)
        voxa_extras::SetNumber(material, voxa_extras::kWireSize3ds, record.mWireSize);
    const uint8_t flags[] = {record.mUseReflectionBlur, record.mSelfIlluminated, record.mWire,
                             record.mFlagA08E,          record.mFlagA088,        record.mFlagA08C,
                             record.mFlagA082};
    int bits = 0;
    for (size_t i = 0; i < sizeof flags; ++i)
        bits |= flags[i] ? 1 << i : 0;
    if (bits != 0) voxa_extras::SetNumber(material, voxa_extras::kMaterialFlags3ds, bits);
    if (record.mAutoReflectionInUse) {
        const double reflection[3] = {
            (double)(record.mAutoReflectionFlags >= 0
                         ? record.mAutoReflectionFlags
                         : (record.mAutoReflectionFirstFrameOnly ? 0x0009 : 0x0001) |
                               (record.mAutoReflectionFlatMirror ? 0x0011 : 0)),
            (double)record.mAutoReflectionMapSize, (double)record.mAutoReflectionFrameStep};
        voxa_extras::SetVector(material, voxa_extras::kAutoReflection3ds, reflection);
    }
}

}  // namespace

bool VOxaReader3DS::CreateMaterials() {
    for (size_t i = 0; i < mMaterialRecords.size(); ++i) {
        const Ftk::Material* record = mMaterialRecords[i];
        const std::string name = FieldName(record->mName);
        if (record->mNameCut) {
            mMessageText += "Material \"";
            mMessageText += VPrintableText(name.c_str()).c_str();
            mMessageText +=
                "\" has a longer name in the file: names are read up to 1023 bytes, a longer one is cut and "
                "ends in a hash of the whole name, which keeps it apart from the others.\n";
        }
        VOxaMaterial* material = mManager->CreateMaterial(name.c_str());
        if (!material) {
            mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
            return false;
        }
        AddFirst(mCreatedMaterials, name, material);
        mMadeMaterials.push_back(material);

        TexturePair pair;
        if (mTextureMapping) {
            if (HasMap(record, Ftk::kTextureMap1)) {
                pair.mFirst = CreateMapTexture(record->mMaps[Ftk::kTextureMap1], i, "");
                if (pair.mFirst)
                    pair.mFirst->SetMaterialUse(record->mMaps[Ftk::kTextureMap1].mStrength >= 1.0f ? 1 : 0);
            }
            if (HasMap(record, Ftk::kTextureMap2))
                pair.mSecond = CreateMapTexture(record->mMaps[Ftk::kTextureMap2], i, ".2");
            for (const RoleMap& role : kRoleMaps) {
                if (!HasMap(record, role.mSlot)) continue;
                const Ftk::MaterialMap& map = record->mMaps[role.mSlot];
                VOxaTexture* texture = CreateMapTexture(map, i, role.mSuffix);
                material->SetMap(role.mRole, texture);
                if (role.mSlot == Ftk::kBumpMap && texture && map.mBumpAmount >= 0)
                    voxa_extras::SetNumber(texture, voxa_extras::kBumpAmount3ds, map.mBumpAmount);
            }
        }
        mMaterialTextures[i] = pair;
        AddFirst(mTextureMap, Lower(name), pair);

        // Colours: specular scaled by the shine strength, emissive as self-illuminated diffuse.
        const float* a = record->mAmbient;
        const float* d = record->mDiffuse;
        const float* s = record->mSpecular;
        const double k = record->mShineStrength * 4.0 / 3.0;
        const double e = record->mSelfIllumination;
        VOxaColor color;
        color.Set(a[0], a[1], a[2], 1.0);
        material->SetAmbient(color);
        color.Set(d[0], d[1], d[2], 1.0);
        material->SetDiffuse(color);
        // Not clamped per channel: a strong highlight keeps the colour's hue, and the writer finds
        // the colour and strength again.
        VgeTVector specular;
        for (int c = 0; c < 3; ++c)
            specular[c] = std::isfinite(s[c] * k) ? std::max(0.0, s[c] * k) : 0.0;
        material->SetDefaultSpecular(specular);
        // The colour and strength apart, so that a strength of 0 does not lose the colour.
        const double fileSpecular[3] = {s[0], s[1], s[2]};
        voxa_extras::SetColor(material, voxa_extras::kSpecularColor3ds, fileSpecular);
        voxa_extras::SetNumber(material, voxa_extras::kShineStrength3ds, record->mShineStrength);
        voxa_extras::SetNumber(material, voxa_extras::kTwoSided3ds, record->mTwoSided ? 1.0 : 0.0);
        // Transparency values the scene has no field for.
        if (record->mFlagA083) voxa_extras::SetNumber(material, voxa_extras::kAdditive3ds, 1.0);
        // An inward falloff of 0 (-0) too: most files that turn the falloff inward hold it so.
        if (record->mTransparencyFalloff != 0.0f || std::signbit(record->mTransparencyFalloff))
            voxa_extras::SetNumber(material, voxa_extras::kFalloff3ds, record->mTransparencyFalloff);
        if (record->mUseFalloff) voxa_extras::SetNumber(material, voxa_extras::kUseFalloff3ds, 1.0);
        KeepOtherMaterialValues(material, *record);
        // Twice the file's value, 100% being 2: the material holds it whole.
        material->SetShininess(2.0 * record->mShininess);
        if (record->mShininessStated != 1)
            voxa_extras::SetNumber(material, voxa_extras::kShininessForm3ds, record->mShininessStated);
        if (!record->mAmbientStated) voxa_extras::SetNumber(material, voxa_extras::kNoAmbient3ds, 1.0);
        if (!record->mSpecularStated) voxa_extras::SetNumber(material, voxa_extras::kNoSpecular3ds, 1.0);
        const int floats = (record->mColorFloats[0] & 3) | (record->mColorFloats[1] & 3) << 2 |
                           (record->mColorFloats[2] & 3) << 4;
        if (floats != 0) voxa_extras::SetNumber(material, voxa_extras::kColorFloats3ds, floats);
        const float* read[3] = {record->mAmbient, record->mDiffuse, record->mSpecular};
        for (int c = 0; c < 3; ++c) {
            if (!((record->mPlainColorsApart >> c) & 1)) continue;
            const double plain[3] = {record->mPlainColors[c][0], record->mPlainColors[c][1],
                                     record->mPlainColors[c][2]};
            const double paired[3] = {read[c][0], read[c][1], read[c][2]};
            voxa_extras::SetColor(material, voxa_extras::kPlainColors3ds[c], plain);
            voxa_extras::SetColor(material, voxa_extras::kPairedColors3ds[c], paired);
        }
        color.Set(d[0] * e, d[1] * e, d[2] * e, 1.0);
        material->SetEmissive(color);
        material->SetOpacity(1.0 - record->mTransparency);
    }
    return true;
}

// ---- Attributes -------------------------------------------------------------------------------

// Faces or points: an object of points alone (a line or point object some files hold) keeps them.
static bool HasMeshData(const Ftk::Mesh& record) {
    return (record.mFaceCount > 0 && !record.mFaces.empty()) ||
           (record.mVertexCount > 0 && !record.mVertices.empty());
}

bool VOxaReader3DS::CreateAttributes() {
    for (MeshEntry& entry : mMeshes) {
        entry.mMesh = mManager->CreateMesh();
        if (!entry.mMesh) return false;
        if (HasMeshData(*entry.mRecord) && !ImportMesh(*entry.mRecord, entry.mMesh, entry.mStill))
            return false;
    }
    for (LightEntry& entry : mOmniLights) {
        entry.mLight = mManager->CreateLight();
        if (!entry.mLight) return false;
        entry.mLight->SetLightType(VOxaLight::ePOINT);
        Keep3dsLightValues(entry.mLight, *entry.mRecord, mCreateReferenceNode ? 1.0 : mUnitFactor);
    }
    for (LightEntry& entry : mSpotlights) {
        entry.mLight = mManager->CreateLight();
        entry.mTarget = mManager->CreateMarker();
        if (!entry.mLight || !entry.mTarget) return false;
        entry.mLight->SetLightType(VOxaLight::eSPOT);
        const Ftk::Spotlight* spot = entry.mRecord->mSpot;
        if (spot && spot->mProjectorInUse) entry.mLight->SetGoboFileName(spot->mProjector.c_str());
        Keep3dsLightValues(entry.mLight, *entry.mRecord, mCreateReferenceNode ? 1.0 : mUnitFactor);
    }
    for (CameraEntry& entry : mCameras) {
        entry.mCamera = mManager->CreateCamera();
        entry.mTarget = mManager->CreateMarker();
        if (!entry.mCamera || !entry.mTarget) return false;
        const Ftk::Camera* record = entry.mRecord;
        entry.mCamera->SetNearPlane(record->mNearRange * mUnitFactor);
        entry.mCamera->SetFarPlane(record->mFarRange * mUnitFactor * 10.0);
        entry.mCamera->SetApertureMode(VOxaCameraTypes::eHORIZONTAL);
        Keep3dsCameraValues(entry.mCamera, *record, mUnitFactor);
        // The record holds the horizontal angle (2400 / lens). The focal length is the one that
        // gives that angle on the camera's film, so that the camera sees what the file's camera
        // saw and a writer that derives the angle from the focal length writes the same angle
        // back. Taken as the lens itself, each trip would narrow the view. Angles no lens can
        // give keep the lens.
        const double angle = record->mFieldOfView;
        if (angle > 0.0 && angle < 180.0) {
            entry.mCamera->SetFocalLengthFromFieldOfView(angle);
        } else if (angle != 0.0 && std::isfinite(angle)) {
            entry.mCamera->SetFocalLength(2400.0 / angle);
        }
        if (mBackground)
            entry.mCamera->SetDefaultBackgroundColor(
                VOxaColor(mBackground->mSolid[0], mBackground->mSolid[1], mBackground->mSolid[2], 1.0));
    }
    return true;
}

bool VOxaReader3DS::ImportMesh(const Ftk::Mesh& record, VOxaMesh* mesh, bool stored) {
    if (!mesh) return false;
    const std::string meshName = FieldName(record.mName);
    const uint32_t vertexCount = (uint32_t)std::min<size_t>(record.mVertexCount, record.mVertices.size());
    const uint32_t faceCount = (uint32_t)std::min<size_t>(record.mFaceCount, record.mFaces.size());
    const uint32_t uvCount = (uint32_t)std::min<size_t>(record.mMappingCount, record.mMapping.size());
    const std::vector<Ftk::Face>& faces = record.mFaces;

    // Faces whose corners all name a vertex; the others are left out.
    std::vector<uint8_t> faceValid(faceCount, 1);
    uint32_t skipped = 0;
    for (uint32_t f = 0; f < faceCount; ++f) {
        const Ftk::Face& face = faces[f];
        if (face.a >= vertexCount || face.b >= vertexCount || face.c >= vertexCount) {
            faceValid[f] = 0;
            ++skipped;
        }
    }
    if (skipped > 0)
        Warn("Mesh " + meshName + ": " + std::to_string(skipped) +
             " face(s) skipped: a corner names a vertex beyond the vertex count");

    // 1. Control points: one per file vertex, so that the corners the file joins stay joined
    // (a writer gives each control point and UV one vertex again). The smoothing groups split
    // the normals: one entry per vertex and run of faces that share a smoothing bit there. Each
    // vertex keeps a chain of its entries with a non-zero mask in creation order (mask-0 entries
    // never share a bit, so they are not searched), and each corner remembers the entry it got.
    struct Entry {
        uint32_t mMask;
        int32_t mNext;  // next entry of the same source with a non-zero mask, -1 at the end
        bool mSet;
    };
    std::vector<Entry> entries(vertexCount);
    std::vector<int32_t> head(vertexCount, -1), tail(vertexCount, -1);
    for (uint32_t v = 0; v < vertexCount; ++v)
        entries[v] = Entry{0u, -1, false};
    std::vector<int32_t> cornerEntry((size_t)faceCount * 3);
    // A mesh without masks has its faces in no group: flat, as any 3DS program shades it.
    const bool smoothing = mSmoothGroup;
    auto faceMask = [&](uint32_t f) -> uint32_t {
        return f < record.mSmoothing.size() ? record.mSmoothing[f] : 0u;  // faces beyond the masks: 0
    };
    auto link = [&](uint32_t v, int32_t e) {
        if (tail[v] < 0)
            head[v] = e;
        else
            entries[(size_t)tail[v]].mNext = e;
        tail[v] = e;
    };
    for (uint32_t f = 0; f < faceCount; ++f) {
        if (!faceValid[f]) continue;
        const uint32_t corners[3] = {faces[f].a, faces[f].b, faces[f].c};
        const uint32_t m = smoothing ? faceMask(f) : 0u;
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = corners[k];
            int32_t chosen = (int32_t)v;
            if (smoothing) {
                Entry& own = entries[v];
                if (!own.mSet) {
                    own.mSet = true;
                    own.mMask = m;
                    if (m != 0) link(v, (int32_t)v);
                } else {
                    chosen = -1;
                    if (m != 0) {
                        for (int32_t e = head[v]; e >= 0; e = entries[(size_t)e].mNext) {
                            if (entries[(size_t)e].mMask & m) {
                                entries[(size_t)e].mMask |= m;
                                chosen = e;
                                break;
                            }
                        }
                    }
                    if (chosen < 0) {
                        chosen = (int32_t)entries.size();
                        entries.push_back(Entry{m, -1, true});
                        if (m != 0) link(v, chosen);
                    }
                }
            }
            cornerEntry[(size_t)f * 3 + k] = chosen;
        }
    }
    const int pointCount = (int)vertexCount;
    // Normals by corner only where a vertex holds faces that do not smooth together.
    const int entryCount = (int)entries.size();
    const bool cornerNormals = entryCount > pointCount;

    // 2. The inverse of the local axes (vertices are placed with it in step 6).
    double inverse[4][4];
    InverseLocalMatrix(record.mLocalAxes, inverse);
    bool identity = true;
    if (stored) VgeMatrixIdentity(inverse);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (inverse[r][c] != (r == c ? 1.0 : 0.0)) identity = false;
    const double scale = mCreateReferenceNode ? 1.0 : mUnitFactor;

    // 3. Layer 0.
    mesh->InitControlPoints(pointCount);
    mesh->InitNormals();
    VOxaLayerElementNormal* normalElement = mesh->GetLayer(0) ? mesh->GetLayer(0)->GetNormals() : nullptr;
    if (cornerNormals && normalElement != nullptr) {
        // One normal per entry; each corner names its entry's.
        normalElement->SetMappingMode(eBY_POLYGON_VERTEX);
        normalElement->SetReferenceMode(eINDEX_TO_DIRECT);
        if (!normalElement->GetDirectArray().SetCount(entryCount)) return false;
        normalElement->GetIndexArray().Clear();
    }
    mesh->InitMaterialIndices(eBY_POLYGON);
    mesh->InitTextureIndices(eBY_POLYGON);
    mesh->InitTextureUVIndices(eBY_POLYGON_VERTEX);
    VOxaLayer* layer0 = mesh->GetLayer(0);
    VOxaLayerElementUV* uvs = layer0 ? layer0->GetUVs() : nullptr;
    if (!layer0 || !uvs || mesh->GetControlPointsCount() != pointCount) return false;
    // The UV of vertex v sits at index v; a vertex beyond the mapping coordinates gets (0, 0).
    // A mesh without mapping coordinates has no UVs (its corners name none).
    if (!uvs->GetDirectArray().SetCount(uvCount > 0 ? (int)vertexCount : 0)) return false;
    VgeVector2* uvArray = uvs->GetDirectArray().GetArray();
    for (uint32_t v = 0; v < vertexCount && v < uvCount; ++v)
        uvArray[v] = VgeVector2(record.mMapping[v].u, record.mMapping[v].v);
    // Each face's smoothing mask, one per polygon (0 for a mesh without masks), for a writer to
    // put back: points split for their mapping coordinates do not tell the masks again.
    VOxaLayerElementPolygonGroup* masks = layer0->GetPolygonGroups();
    if (!masks) {
        masks = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementPolygonGroup);
        if (!masks) return false;
        layer0->SetPolygonGroups(masks);
    }
    masks->SetMappingMode(eBY_POLYGON);
    masks->SetReferenceMode(eDIRECT);
    masks->GetDirectArray().Clear();
    masks->GetIndexArray().Clear();

    // 4. Face-material groups: per face, its material and two texture indices.
    // A face keeps the material and texture of its own group, or none (-1): a face that no group
    // lists has no material, and it never borrows another's.
    std::vector<int32_t> faceMaterial(faceCount, -1), faceTexture1(faceCount, -1),
        faceTexture2(faceCount, -1);
    bool twoTextured = false;
    const size_t groupCount = std::min<size_t>(record.mMaterialGroupCount, record.mMaterialGroups.size());
    for (size_t g = 0; g < groupCount; ++g) {
        const Ftk::MeshMaterialGroup& group = record.mMaterialGroups[g];
        const std::string& name = group.mName;
        VOxaMaterial* material = nullptr;
        auto created = mCreatedMaterials.find(name);
        if (created != mCreatedMaterials.end())
            material = created->second;
        else if (mMaterials)
            material = mManager->GetMaterial(name.c_str(), 0);
        int32_t materialIndex = -1, texture1 = -1, texture2 = -1;
        if (material && mMaterials) {
            materialIndex = mesh->AddMaterial(material, 0);
            if (materialIndex < 0)
                materialIndex = mesh->GetMaterialIndex(material->GetNameWithoutPrefix(), 0);
            auto fileMaterial = mMaterialRecordByName.find(name);
            const Ftk::Material* materialRecord = fileMaterial != mMaterialRecordByName.end()
                                                      ? mMaterialRecords[fileMaterial->second]
                                                      : nullptr;
            if (HasMap(materialRecord, Ftk::kTextureMap1) && mTextureMapping) {
                auto pair = mTextureMap.find(Lower(name));
                if (pair != mTextureMap.end()) {
                    if (pair->second.mFirst) texture1 = mesh->AddTexture(pair->second.mFirst, 0);
                    if (pair->second.mSecond) {
                        texture2 = mesh->AddTexture(pair->second.mSecond, 0);
                        twoTextured = true;
                    }
                }
            }
        }
        const size_t listed = std::min<size_t>(group.mFaceCount, group.mFaces.size());
        for (size_t i = 0; i < listed; ++i) {
            const uint32_t f = group.mFaces[i];
            if (f >= faceCount) continue;  // a face index beyond the faces names nothing
            faceMaterial[f] = materialIndex;
            faceTexture1[f] = texture1;
            faceTexture2[f] = texture2;
        }
    }

    // 5. The second texture layer, indexed like layer 0's lists.
    VOxaLayer* layer1 = nullptr;
    if (twoTextured) {
        while (mesh->GetLayerCount() < 2)
            if (mesh->CreateLayer() < 0) return false;
        layer1 = mesh->GetLayer(1);
        if (!layer1) return false;
        if (!layer1->GetMaterials()) layer1->SetMaterials(new VOxaLayerElementMaterial);
        if (!layer1->GetUVs()) layer1->SetUVs(new VOxaLayerElementUV);
        if (!layer1->GetTextures()) layer1->SetTextures(new VOxaLayerElementTexture);
        VOxaLayerElementMaterial* materials = layer1->GetMaterials();
        materials->SetMappingMode(eBY_POLYGON);
        materials->SetReferenceMode(eINDEX_TO_DIRECT);
        if (layer0->GetMaterials()) materials->GetDirectArray() = layer0->GetMaterials()->GetDirectArray();
        materials->GetIndexArray().Clear();
        VOxaLayerElementTexture* textures = layer1->GetTextures();
        textures->SetMappingMode(eBY_POLYGON);
        textures->SetReferenceMode(eINDEX_TO_DIRECT);
        textures->SetBlendMode(eADD);
        if (layer0->GetTextures()) textures->GetDirectArray() = layer0->GetTextures()->GetDirectArray();
        textures->GetIndexArray().Clear();
    }

    // 6. Polygons. Positions: through the inverse local matrix, to scene units, Y-up.
    VgeTVector* points = mesh->GetControlPoints();
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const Ftk::Point3& p = record.mVertices[v];
        double out[3] = {p.x, p.y, p.z};
        if (!identity) {
            const double in[3] = {p.x, p.y, p.z};
            VgeMatrixMultPoint(out, inverse, in);
        }
        points[v].Set(out[0] * scale, out[2] * scale, -out[1] * scale, 0.0);
    }
    for (uint32_t f = 0; f < faceCount; ++f) {
        if (!faceValid[f]) continue;
        const int material = mMaterials ? faceMaterial[f] : -1;
        // Layer 0 holds the second map where the face has one, else the first; layer 1 then holds
        // the first map. -1: none.
        int texture = -1;
        if (mTextureMapping) texture = faceTexture2[f] >= 0 ? faceTexture2[f] : faceTexture1[f];
        mesh->BeginPolygon(material, texture, voxa_extras::FaceFlagsGroup3ds(faces[f].flags));
        masks->GetDirectArray().Add((int)faceMask(f));
        if (layer1) {
            layer1->GetMaterials()->GetIndexArray().Add(material);
            layer1->GetTextures()->GetIndexArray().Add(faceTexture2[f] >= 0 ? faceTexture1[f] : -1);
        }
        const uint32_t corners[3] = {faces[f].a, faces[f].b, faces[f].c};
        for (int k = 0; k < 3; ++k) {
            mesh->AddPolygonVertex((int)corners[k], uvCount > 0 ? (int)corners[k] : -1);
            if (cornerNormals && normalElement != nullptr)
                normalElement->GetIndexArray().Add(cornerEntry[(size_t)f * 3 + k]);
        }
        mesh->EndPolygon();
    }
    if (layer1) {
        VOxaLayerElementUV* copy = layer1->GetUVs();
        copy->SetMappingMode(uvs->GetMappingMode());
        copy->SetReferenceMode(uvs->GetReferenceMode());
        copy->GetDirectArray() = uvs->GetDirectArray();
        copy->GetIndexArray() = uvs->GetIndexArray();
    }

    // 7. Normals: the unnormalised face normals (larger faces weigh more), summed per entry, then
    // made unit length (a zero sum stays zero).
    VgeTVector* normals = mesh->GetNormals();
    const int normalCount = cornerNormals ? entryCount : pointCount;
    if (normals && normalElement && normalElement->GetDirectArray().GetCount() == normalCount) {
        for (uint32_t f = 0; f < faceCount; ++f) {
            if (!faceValid[f]) continue;
            const int32_t* c = &cornerEntry[(size_t)f * 3];
            const VgeTVector& p0 = points[faces[f].a];
            const VgeTVector& p1 = points[faces[f].b];
            const VgeTVector& p2 = points[faces[f].c];
            const double ax = p2[0] - p1[0], ay = p2[1] - p1[1], az = p2[2] - p1[2];
            const double bx = p0[0] - p1[0], by = p0[1] - p1[1], bz = p0[2] - p1[2];
            const double nx = ay * bz - az * by, ny = az * bx - ax * bz, nz = ax * by - ay * bx;
            for (int k = 0; k < 3; ++k) {
                VgeTVector& n = normals[c[k]];
                n[0] += nx;
                n[1] += ny;
                n[2] += nz;
            }
        }
        for (int i = 0; i < normalCount; ++i) {
            VgeTVector& n = normals[i];
            const double length2 = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
            if (length2 > 0.0) {
                const double inverse = 1.0 / std::sqrt(length2);
                n[0] *= inverse;
                n[1] *= inverse;
                n[2] *= inverse;
            }
            n[3] = 0.0;
        }
    }
    return true;
}

// ---- Nodes and hierarchy ----------------------------------------------------------------------

VOxaNode* VOxaReader3DS::CreateNamedNode(const std::string& name) {
    VOxaNode* node = mManager->CreateNode(name.c_str());
    if (node) AddFirst(mCreatedNodes, name, node);
    return node;
}

VOxaNode* VOxaReader3DS::FindCreatedNode(const char* name) const {
    auto it = mCreatedNodes.find(name);
    return it != mCreatedNodes.end() ? it->second : nullptr;
}

void VOxaReader3DS::ToScene(const float* in, double out[3]) const {
    const double scale = mCreateReferenceNode ? 1.0 : mUnitFactor;
    out[0] = in[0] * scale;
    out[1] = in[2] * scale;
    out[2] = -in[1] * scale;
}

bool VOxaReader3DS::CreateNodes() {
    for (auto& entry : mObjectMotions) {
        const Ftk::ObjectMotion* motion = entry.mRecord;
        std::string name = FieldName(motion->mName);
        if (motion->mInstanceName[0]) name += "." + FieldName(motion->mInstanceName);
        VOxaNode* node = CreateNamedNode(name);
        if (!node) return false;
        entry.mNode = node;
        if (entry.mWithoutNode)
            if (VProperty* mark = node->GetNodeProperties()
                                      ? node->GetNodeProperties()->CreateDynamicProperty(kWithoutNodeProperty,
                                                                                         eValueBool, nullptr)
                                      : nullptr)
                mark->SetDouble(1.0);
        if (!mGeometries) continue;
        auto found = mMeshByName.find(FieldName(motion->mName));
        if (found == mMeshByName.end()) continue;
        MeshEntry& mesh = mMeshes[found->second];
        if (!mesh.mMesh) continue;
        VOxaMesh* attribute = mesh.mMesh;
        if (mesh.mUsed) {
            // Another instance of the same object: a mesh of its own, shifted by its own pivot.
            attribute = mManager->CreateMesh();
            if (!attribute) return false;
            if (HasMeshData(*mesh.mRecord) && !ImportMesh(*mesh.mRecord, attribute, mesh.mStill))
                return false;
        }
        mesh.mUsed = true;
        // The object's flags and mesh colour, which the scene has no field for.
        Keep3dsObjectValues(node, *mesh.mRecord);
        double pivot[3];
        ToScene(&motion->mPivot.x, pivot);
        VgeTVector* points = attribute->GetControlPoints();
        const int count =
            pivot[0] != 0.0 || pivot[1] != 0.0 || pivot[2] != 0.0 ? attribute->GetControlPointsCount() : 0;
        for (int i = 0; i < count; ++i) {
            points[i][0] -= pivot[0];
            points[i][1] -= pivot[1];
            points[i][2] -= pivot[2];
        }
        node->SetNodeAttribute(attribute);
        if (attribute->GetTextureCount(0) > 0) node->SetShadingMode(4);
        // Where the file stored the object, so that a 3DS writer stores it there again while
        // the points are these.
        Stored3dsMesh stored;
        std::copy(mesh.mRecord->mLocalAxes, mesh.mRecord->mLocalAxes + 12, stored.mAxes);
        double inverse[4][4];
        stored.mPlaced = !mesh.mStill && InverseLocalMatrix(stored.mAxes, inverse);
        std::copy(pivot, pivot + 3, stored.mPivot);
        const Ftk::Mesh& record = *mesh.mRecord;
        const size_t stores = std::min<size_t>(record.mVertexCount, record.mVertices.size());
        if (stores > 0 && stores == (size_t)attribute->GetControlPointsCount()) {
            stored.mPoints.reserve(stores * 3);
            for (size_t i = 0; i < stores; ++i)
                stored.mPoints.insert(stored.mPoints.end(),
                                      {record.mVertices[i].x, record.mVertices[i].y, record.mVertices[i].z});
            // Their flags (the first points' only, when the file gave fewer), where not all are 0.
            const size_t flagged = std::min<size_t>(record.mVertexFlagCount, record.mVertexFlags.size());
            if (flagged <= stores &&
                std::any_of(record.mVertexFlags.begin(), record.mVertexFlags.begin() + flagged,
                            [](uint16_t flags) { return flags != 0; }))
                stored.mPointFlags.assign(record.mVertexFlags.begin(), record.mVertexFlags.begin() + flagged);
        }
        Keep3dsStoredMesh(node, stored, attribute);
    }
    for (auto& entry : mOmniMotions) {
        const std::string name = FieldName(entry.mRecord->mName);
        VOxaNode* node = CreateNamedNode(name);
        if (!node) return false;
        entry.mNode = node;
        if (!mLights) continue;
        auto found = mOmniByName.find(name);
        if (found != mOmniByName.end() && mOmniLights[found->second].mLight)
            node->SetNodeAttribute(mOmniLights[found->second].mLight);
    }
    for (auto& entry : mSpotMotions) {
        const std::string name = FieldName(entry.mRecord->mName);
        VOxaNode* node = CreateNamedNode(name);
        VOxaNode* target = CreateNamedNode(name + ".Target");
        if (!node || !target) return false;
        entry.mNode = node;
        entry.mTargetNode = target;
        if (!mLights) continue;
        auto found = mSpotByName.find(name);
        if (found == mSpotByName.end()) continue;
        LightEntry& light = mSpotlights[found->second];
        if (light.mLight) node->SetNodeAttribute(light.mLight);
        if (light.mTarget) target->SetNodeAttribute(light.mTarget);
    }
    for (auto& entry : mCameraMotions) {
        const std::string name = FieldName(entry.mRecord->mName);
        VOxaNode* node = CreateNamedNode(name);
        VOxaNode* target = CreateNamedNode(name + ".Target");
        if (!node || !target) return false;
        entry.mNode = node;
        entry.mTargetNode = target;
        if (!mCamera) continue;
        auto found = mCameraByName.find(name);
        if (found == mCameraByName.end()) continue;
        CameraEntry& camera = mCameras[found->second];
        if (camera.mCamera) node->SetNodeAttribute(camera.mCamera);
        if (camera.mTarget) target->SetNodeAttribute(camera.mTarget);
    }
    return true;
}

void VOxaReader3DS::AttachNode(VOxaNode* child, const char* parentName, const char* label) {
    if (!child) return;
    VOxaNode* parent = parentName && *parentName ? FindCreatedNode(parentName) : nullptr;
    if (parent) {
        // AddChild refuses the node itself and its descendants: such a parent would close a loop.
        if (parent != child && parent->AddChild(child)) return;
        Warn(std::string("Node ") + label + ": parent " + parentName +
             " would make a cycle; attached to the top of the hierarchy");
    }
    mTopParent->AddChild(child);
}

bool VOxaReader3DS::AttachNodes(VOxaScene* scene) {
    (void)scene;
    char parent[sizeof(Ftk::NodePart::mParentName) + 1];
    auto parentOf = [&](const char(&field)[sizeof(Ftk::NodePart::mParentName)]) -> const char* {
        const size_t n = strnlen(field, sizeof field);
        std::memcpy(parent, field, n);
        parent[n] = '\0';
        return parent;
    };
    for (auto& entry : mObjectMotions) {
        const std::string label = entry.mNode->GetNameWithoutPrefix();
        AttachNode(entry.mNode, parentOf(entry.mRecord->mParentName), label.c_str());
    }
    for (auto& entry : mOmniMotions) {
        const std::string label = entry.mNode->GetNameWithoutPrefix();
        AttachNode(entry.mNode, parentOf(entry.mRecord->mParentName), label.c_str());
    }
    for (auto& entry : mSpotMotions) {
        std::string label = entry.mNode->GetNameWithoutPrefix();
        AttachNode(entry.mNode, parentOf(entry.mRecord->mParentName), label.c_str());
        label = entry.mTargetNode->GetNameWithoutPrefix();
        AttachNode(entry.mTargetNode, parentOf(entry.mRecord->mTargetParentName), label.c_str());
        entry.mNode->SetTarget(entry.mTargetNode);
        entry.mNode->SetPostTargetRotation(VgeTVector(0.0, 0.0, 90.0, 0.0));
    }
    for (auto& entry : mCameraMotions) {
        std::string label = entry.mNode->GetNameWithoutPrefix();
        AttachNode(entry.mNode, parentOf(entry.mRecord->mParentName), label.c_str());
        label = entry.mTargetNode->GetNameWithoutPrefix();
        AttachNode(entry.mTargetNode, parentOf(entry.mRecord->mTargetParentName), label.c_str());
        entry.mNode->SetTarget(entry.mTargetNode);
    }
    return true;
}
