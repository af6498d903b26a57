#include "oxa_codec/vstream_options.h"

#include <cmath>

#include "base/vdelivery_internal.h"

VOBJECT_IMPLEMENT_CLASS(VStreamOptions, VPlug);
VOBJECT_IMPLEMENT_CLASS(VStreamOptionsBase, VStreamOptions);
VOBJECT_IMPLEMENT_CLASS(VStreamOptions3ds, VStreamOptionsBase);
VOBJECT_IMPLEMENT_CLASS(VStreamOptionsObj, VStreamOptionsBase);
VOBJECT_IMPLEMENT_CLASS(VStreamOptionsDxf, VStreamOptionsBase);
VOBJECT_IMPLEMENT_CLASS(VStreamOptionsMotion, VStreamOptions);

namespace {

void NoProgress(void*, const char*, float) {}
int NoDialog(const char*, const char*, const char*, const char*, const char*, void*) {
    return 0;
}

const char* const kMotionOptionNames[VStreamOptionsMotion::eOPTION_COUNT] = {
    "Translation",
    "Rotation",
    "Scaling",
    "UnusedSegments",
    "ImportAsOpticalSegments",
    "ImportExactZeroAsOccluded",
    "ImportSetOccludedToLastValidPosition",
    "ImportActorPrefix",
    "ImportCreateReferenceNode",
    "ImportDummyNodes",
    "ImportLimits",
    "ExportGapsAsValidData",
    "ExportC3DRealFormat",
    "ExportFromGlobalPosition",
    "ExportRequireSingleRootNode",
    "ExportFrameRate",
    "ExportFrameRange",
    "RenameDuplicateNames",
};

}  // namespace

// ---- VStreamOptions ----

VStreamOptions::VStreamOptions() {
    ResetCallbacks();
}

VStreamOptions::~VStreamOptions() = default;

void VStreamOptions::ResetCallbacks() {
    mProgress = NoProgress;
    mDialog = NoDialog;
    mMessage = NoDialog;
}

void VStreamOptions::SetProgressCallback(ProgressCallback callback) {
    mProgress = callback ? callback : NoProgress;
}
void VStreamOptions::SetDialogCallback(DialogCallback callback) {
    mDialog = callback ? callback : NoDialog;
}
void VStreamOptions::SetMessageCallback(DialogCallback callback) {
    mMessage = callback ? callback : NoDialog;
}

void VStreamOptions::Progress(const char* text, float percent) const {
    oxa_delivery::Call([&] { mProgress(nullptr, text, percent); });
}

int VStreamOptions::Dialog(const char* title, const char* text, const char* answer1,
                           const char* answer2) const {
    int answer = 0;
    if (!oxa_delivery::Call([&] { answer = mDialog(title, text, answer1, answer2, nullptr, nullptr); }))
        answer = 0;
    return answer;
}

void VStreamOptions::Message(const char* title, const char* text, const char* button) const {
    oxa_delivery::Call([&] { mMessage(title, text, button, nullptr, nullptr, nullptr); });
}

// ---- VStreamOptionsBase ----

VStreamOptionsBase::VStreamOptionsBase() {
    ClearOptions();
}

void VStreamOptionsBase::ClearOptions() {
    for (VStreamOption& option : mOptions)
        option = VStreamOption();
}

void VStreamOptionsBase::Reset() {
    ClearOptions();
}

int VStreamOptionsBase::GetOptionValue(int index) const {
    return index >= 1 && index <= kOptionCount ? mOptions[index].mValue : 0;
}

void VStreamOptionsBase::SetOptionValue(int index, int value) {
    if (index >= 1 && index <= kOptionCount) mOptions[index].mValue = value;
}

const char* VStreamOptionsBase::GetOptionName(int index) const {
    return index >= 1 && index <= kOptionCount ? mOptions[index].mName.Buffer() : "";
}

const VStreamOption* VStreamOptionsBase::GetOption(int index) const {
    return index >= 1 && index <= kOptionCount ? &mOptions[index] : nullptr;
}

void VStreamOptionsBase::AddTextureFolder(const char* folder) {
    if (folder != nullptr && *folder != '\0') mTextureFolders.emplace_back(folder);
}

void VStreamOptionsBase::SetOption(int index, const char* name, int value, unsigned char flag,
                                   unsigned short kind, int second) {
    if (index < 1 || index > kOptionCount) return;
    VStreamOption& option = mOptions[index];
    option.mName = name ? name : "";
    option.mValue = value;
    option.mFlag = flag;
    option.mKind = kind;
    option.mSecond = second;
}

// ---- VStreamOptions3ds ----

VStreamOptions3ds* VStreamOptions3ds::Create() {
    return new VStreamOptions3ds();
}

VStreamOptions3ds::VStreamOptions3ds() {
    Reset();
}

void VStreamOptions3ds::Reset() {
    ClearOptions();
    SetOption(eCREATE_REFERENCE_NODE, "Create Reference Node", 0);
    SetOption(eMATERIALS, "Materials", 1);
    SetOption(eTEXTURE_MAPPING, "Texture Mapping", 1);
    SetOption(eANIM, "Anim", 1);
    SetOption(eGEOMETRIES, "Geometries", 1);
    SetOption(eLIGHTS, "Lights", 1);
    SetOption(eCAMERA, "Camera", 1);
    SetOption(eAMBIENT_LIGHT, "Ambient Light", 1);
    SetOption(eRESCALE, "Rescale", 1);
    SetOption(eREDUCE_KEYS, "Reduce Keys", 0);
    SetOption(eSMOOTH_GROUP, "Smooth Group", 1);
    SetOption(eUV_PER_POLYGON, "UV per polygon", 1);
}

// ---- VStreamOptionsObj ----

VStreamOptionsObj* VStreamOptionsObj::Create() {
    return new VStreamOptionsObj();
}

VStreamOptionsObj::VStreamOptionsObj() {
    Reset();
}

void VStreamOptionsObj::Reset() {
    ClearOptions();
    SetOption(eCREATE_REFERENCE_NODE, "Create Reference Node", 1);
    SetOption(eFORCE_TRIANGULATION, "Force Triangulation", 0);
    SetOption(eEVALUATE_DEFORMATIONS, "Evaluate Link/Shape deformations", 1);
}

// ---- VStreamOptionsDxf ----

VStreamOptionsDxf* VStreamOptionsDxf::Create() {
    return new VStreamOptionsDxf();
}

VStreamOptionsDxf::VStreamOptionsDxf() {
    Reset();
}

void VStreamOptionsDxf::Reset() {
    ClearOptions();
    SetOption(eCREATE_REFERENCE_NODE, "Create Reference Node", 1, 1, 0, 1);
    SetOption(eFORCE_TRIANGULATION, "Force Triangulation", 1, 1, 1, 1);
    SetOption(eEVALUATE_DEFORMATIONS, "Evaluate Link/Shape deformations", 1, 1, 1, 1);
    SetOption(eWELD_VERTICES, "Weld Vertices", 1, 1, 0, 1);
    SetOption(eOBJECT_DERIVATION, "Object Derivation", 0, 1, 0, 0);
    SetOption(eLAYER_BLOCK_ENTITY, "Layer~Block~Entity", 0, 1, 0, 2);
}

int VStreamOptionsDxf::GetLayerBlockEntityMode() {
    switch (GetOptionValue(eLAYER_BLOCK_ENTITY)) {
        case 0:
            mGroupingMode = eBY_LAYER;
            break;
        case 1:
            mGroupingMode = eBY_BLOCK;
            break;
        case 2:
            mGroupingMode = eBY_ENTITY;
            break;
        default:
            break;
    }
    return mGroupingMode;
}

// ---- VStreamOptionsMotion ----

VStreamOptionsMotion* VStreamOptionsMotion::Create() {
    return new VStreamOptionsMotion();
}

VStreamOptionsMotion::VStreamOptionsMotion() {
    ResetOptions();
    SetTimeMode(0, 0.0);
}

VStreamOptionsMotion::~VStreamOptionsMotion() {
    DropAttached();
}

void VStreamOptionsMotion::ResetOptions() {
    for (int& option : mOptions)
        option = -1;
}

void VStreamOptionsMotion::SetOption(int index, int value) {
    if (index >= 0 && index < eOPTION_COUNT) mOptions[index] = value;
}

int VStreamOptionsMotion::GetOption(int index) const {
    return index >= 0 && index < eOPTION_COUNT ? mOptions[index] : -1;
}

const char* VStreamOptionsMotion::GetOptionName(int index) {
    return index >= 0 && index < eOPTION_COUNT ? kMotionOptionNames[index] : "";
}

void VStreamOptionsMotion::SetTimeMode(int timeMode, double frameRate) {
    if (timeMode == 0 && std::isfinite(frameRate) && frameRate > 0.0) {
        int matching = VTime::GetTimeModeFromFrameRate(frameRate);
        mTimeMode = matching < 0 ? 0 : matching;
        mFrameRate = frameRate;
        mCustomRate = true;
        return;
    }
    // Mode 0 without a usable rate: a negative, infinite or NaN rate would give a period that
    // runs backwards or never ends, so it counts as no rate.
    mTimeMode = timeMode == 0 ? VTime::GetGlobalTimeMode() : timeMode;
    mFrameRate = VTime::GetFrameRate(mTimeMode);
    mCustomRate = false;
}

VTime VStreamOptionsMotion::GetFramePeriod() const {
    if (!mCustomRate) return VTime::GetOneFrameValue(mTimeMode);
    VTime period;
    period.SetSecondDouble(1.0 / mFrameRate);
    return period;
}

void VStreamOptionsMotion::DropAttached() {
    if (mAttached && mAttachedOwned) mAttached->Destroy();
    mAttached = nullptr;
    mAttachedOwned = false;
}

void VStreamOptionsMotion::SetAttachedObject(VPlug* object, bool owned) {
    if (object != mAttached) DropAttached();
    mAttached = object;
    mAttachedOwned = object != nullptr && owned;
}
