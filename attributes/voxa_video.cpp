#include "attributes/voxa_video.h"

#include <cstring>

#include "attributes/voxa_light.h"
#include "attributes/voxa_texture.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaVideoProperties, VOxaPropertyHandler);

namespace {

const char* const kVideoErrors[] = {"Error"};
const char* const kInterlaceModeNames[] = {"Disk", "Memory", "Disk Async"};
const char* const kAccessModeNames[] = {"None",
                                        "Fields",
                                        "Half Frame Even",
                                        "Half Frame Odd",
                                        "Full Frame Even",
                                        "Full Frame Odd",
                                        "Full Frame Even/Odd",
                                        "Full Frame Odd/Even"};

// The owner of `plug` when it is a property block; null for any other plug.
VOxaObject* BlockOwner(VPlug* plug) {
    if (!plug || !plug->IsA(VOxaPropertyHandler::ClassId)) return nullptr;
    return static_cast<VOxaPropertyHandler*>(plug)->GetOwner();
}

// The texture that owns `plug`, null for anything else.
VOxaTexture* TextureOf(VPlug* plug) {
    VOxaObject* owner = BlockOwner(plug);
    return owner && owner->GetTypeCode() == 2 ? static_cast<VOxaTexture*>(owner) : nullptr;
}

bool SameText(const char* a, const char* b) {
    return a && b && strcmp(a, b) == 0;
}

}  // namespace

const char* GetVideoInterlaceModeName(int value) {
    return value >= 0 && value < 3 ? kInterlaceModeNames[value] : nullptr;
}

const char* GetVideoAccessModeName(int value) {
    return value >= 0 && value < 8 ? kAccessModeNames[value] : nullptr;
}

// ---- Property block -----------------------------------------------------------------------------

VOxaVideoProperties::VOxaVideoProperties(VOxaVideo* owner) : mOwner(owner) {
    mFrameRate.Declare("FrameRate", this);
    AddProperty(&mFrameRate);
    mLastFrame.Declare("LastFrame", this);
    AddProperty(&mLastFrame);
    mWidth.Declare("Width", this);
    AddProperty(&mWidth);
    mHeight.Declare("Height", this);
    AddProperty(&mHeight);
    // "Path" reads and writes the block's file-name field; it is a text of value type 5.
    mPathProperty.Declare(
        "Path", this,
        [](VObject* block) -> VString {
            const char* path = static_cast<VOxaVideoProperties*>(block)->GetPath();
            return VString(path ? path : "");
        },
        [](VObject* block, VString value) {
            static_cast<VOxaVideoProperties*>(block)->SetPath(value.Buffer());
        });
    mPathProperty.SetValueType(5);
    AddProperty(&mPathProperty);
    mStartFrame.Declare("StartFrame", this);
    AddProperty(&mStartFrame);
    mStopFrame.Declare("StopFrame", this);
    AddProperty(&mStopFrame);
    mPlaySpeed.Declare("PlaySpeed", this);
    AddProperty(&mPlaySpeed);
    mOffset.Declare("Offset", this);
    AddProperty(&mOffset);
    mInterlaceMode.Declare("InterlaceMode", this);
    mInterlaceMode.GetInfo().SetEnumNameCallback(&GetVideoInterlaceModeName);
    AddProperty(&mInterlaceMode);
    mFreeRunning.Declare("FreeRunning", this);
    AddProperty(&mFreeRunning);
    mLoop.Declare("Loop", this);
    AddProperty(&mLoop);
    mAccessMode.Declare("AccessMode", this);
    mAccessMode.GetInfo().SetEnumNameCallback(&GetVideoAccessModeName);
    AddProperty(&mAccessMode);

    mPlaySpeed.SetValue(1.0);
}

VOxaObject* VOxaVideoProperties::GetOwner() const {
    return mOwner;
}

void VOxaVideoProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

void VOxaVideoProperties::SetPath(const char* path) {
    mPath = path ? path : "";
}

bool VOxaVideoProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    if (event == ePlugConnectedDst && plug == this && mOwner && other) {
        VOxaObject* owner = BlockOwner(other);
        if (owner && owner->GetTypeCode() == 2) {
            VOxaTexture* texture = static_cast<VOxaTexture*>(owner);
            // A video without a file name passes none on (the texture would refuse it anyway).
            if (const char* path = GetPath()) texture->SetFileName(path);
            if (!mRelativeFileName.IsEmpty()) texture->SetRelativeFileName(mRelativeFileName.Buffer());
            texture->SetMediaName(mOwner->GetName());
        } else if (owner && owner->GetTypeCode() == 1) {
            if (VOxaLight* light = static_cast<VOxaNode*>(owner)->GetLight())
                light->SetGoboFileName(GetPath());
        }

        // The first user of the destination block that has an owner decides the scene; only a
        // node has one.
        for (int i = 0, n = other->GetDstCount(); i < n; ++i) {
            VOxaObject* user = BlockOwner(other->GetDst(i));
            if (!user) continue;
            if (user->GetTypeCode() == 1) {
                VOxaSceneContents* contents = static_cast<VOxaNode*>(user)->GetSceneContents();
                if (contents && !contents->GetVideoByName(mOwner->GetName())) contents->AddVideo(mOwner);
            }
            break;
        }
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

// ---- Video --------------------------------------------------------------------------------------

// One error object for all videos, built on first use and kept until exit.
VError& VOxaVideo::SharedError() {
    static VError error(kVideoErrors, 1);
    return error;
}

VOxaVideo::VOxaVideo(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &SharedError()) {
    mProperties = new VOxaVideoProperties(this);
    BuildOrRelease(mProperties, [this] {
        AddDefaultTakeNode();
        Reset();
    });
}

VOxaVideo::~VOxaVideo() {
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaVideo::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaVideo::GetTypeName() const {
    return VString("Clip");
}

VStringList VOxaVideo::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Clip");
    return flags;
}

void VOxaVideo::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaVideo::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

void VOxaVideo::Reset() {
    mProperties->mUseMipMap = false;
    mProperties->mOriginalFormat = true;
    mProperties->mOriginalFileName = "";
}

void VOxaVideo::ResetAll() {
    ResetTakeNodes();
    Reset();
}

bool VOxaVideo::SetFileName(const char* name) {
    if (!name || !*name) return false;
    if (SameText(mProperties->GetPath(), name)) return true;
    mProperties->mPathProperty.SetValue(VString(name));
    // The textures compare with this name when it comes back to them, so nothing echoes. Each
    // texture gets the stored copy: `name` may be a texture's own buffer, which it replaces.
    const VPlug* block = mProperties;
    for (int i = 0, n = block->GetDstCount(); i < n; ++i) {
        if (VOxaTexture* texture = TextureOf(block->GetDst(i))) texture->SetFileName(mProperties->GetPath());
    }
    return true;
}

const char* VOxaVideo::GetFileName() const {
    return mProperties->GetPath();
}

bool VOxaVideo::SetRelativeFileName(const char* name) {
    if (!name || !*name) return false;
    if (mProperties->mRelativeFileName.Compare(name) == 0) return true;
    mProperties->mRelativeFileName = name;
    const VPlug* block = mProperties;
    for (int i = 0, n = block->GetDstCount(); i < n; ++i) {
        if (VOxaTexture* texture = TextureOf(block->GetDst(i)))
            texture->SetRelativeFileName(mProperties->mRelativeFileName.Buffer());
    }
    return true;
}

const char* VOxaVideo::GetRelativeFileName() const {
    return mProperties->mRelativeFileName.Buffer();
}

void VOxaVideo::SetUseMipMap(bool on) {
    mProperties->mUseMipMap = on;
}
bool VOxaVideo::GetUseMipMap() const {
    return mProperties->mUseMipMap;
}
void VOxaVideo::SetOriginalFormat(bool on) {
    mProperties->mOriginalFormat = on;
}
bool VOxaVideo::GetOriginalFormat() const {
    return mProperties->mOriginalFormat;
}
void VOxaVideo::SetOriginalFilename(const char* name) {
    mProperties->mOriginalFileName = name ? name : "";
}
const char* VOxaVideo::GetOriginalFilename() const {
    return mProperties->mOriginalFileName.Buffer();
}

double VOxaVideo::GetFrameRate() const {
    return mProperties->mFrameRate.GetValue();
}
int VOxaVideo::GetLastFrame() const {
    return mProperties->mLastFrame.GetValue();
}
int VOxaVideo::GetWidth() const {
    return mProperties->mWidth.GetValue();
}
int VOxaVideo::GetHeight() const {
    return mProperties->mHeight.GetValue();
}
void VOxaVideo::SetStartFrame(int frame) {
    mProperties->mStartFrame.SetValue(frame);
}
int VOxaVideo::GetStartFrame() const {
    return mProperties->mStartFrame.GetValue();
}
void VOxaVideo::SetStopFrame(int frame) {
    mProperties->mStopFrame.SetValue(frame);
}
int VOxaVideo::GetStopFrame() const {
    return mProperties->mStopFrame.GetValue();
}
void VOxaVideo::SetPlaySpeed(double speed) {
    mProperties->mPlaySpeed.SetValue(speed);
}
double VOxaVideo::GetPlaySpeed() const {
    return mProperties->mPlaySpeed.GetValue();
}
void VOxaVideo::SetOffset(const VTime& offset) {
    mProperties->mOffset.SetValue(offset);
}
VTime VOxaVideo::GetOffset() const {
    return mProperties->mOffset.GetValue();
}
void VOxaVideo::SetFreeRunning(bool on) {
    mProperties->mFreeRunning.SetValue(on);
}
bool VOxaVideo::GetFreeRunning() const {
    return mProperties->mFreeRunning.GetValue();
}
void VOxaVideo::SetLoop(bool on) {
    mProperties->mLoop.SetValue(on);
}
bool VOxaVideo::GetLoop() const {
    return mProperties->mLoop.GetValue();
}
void VOxaVideo::SetInterlaceMode(int mode) {
    mProperties->mInterlaceMode.SetValue(static_cast<EGenericEnum>(mode));
}
int VOxaVideo::GetInterlaceMode() const {
    return mProperties->mInterlaceMode.GetValue();
}
void VOxaVideo::SetAccessMode(int mode) {
    mProperties->mAccessMode.SetValue(static_cast<EGenericEnum>(mode));
}
int VOxaVideo::GetAccessMode() const {
    return mProperties->mAccessMode.GetValue();
}
