#include "attributes/voxa_video.h"

#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaVideoProperties, VOxaPropertyHandler);

namespace {
const char* const kVideoErrors[] = {"Error"};
}

VOxaObject* VOxaVideoProperties::GetOwner() const {
    return mOwner;
}

void VOxaVideoProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

// One error object for all videos, built on first use and kept until exit.
VError& VOxaVideo::SharedError() {
    static VError error(kVideoErrors, 1);
    return error;
}

VOxaVideo::VOxaVideo(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &SharedError()) {
    mProperties = new VOxaVideoProperties(this);
    AddDefaultTakeNode();
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
