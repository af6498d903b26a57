#include "attributes/voxa_texture.h"

#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaTextureProperties, VOxaPropertyHandler);

namespace {
const char* const kTextureErrors[] = {"Take node error"};
}

VOxaObject* VOxaTextureProperties::GetOwner() const {
    return mOwner;
}

void VOxaTextureProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

// One error object for all textures, built on first use and kept until exit.
VError& VOxaTexture::SharedError() {
    static VError error(kTextureErrors, 1);
    return error;
}

VOxaTexture::VOxaTexture(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &SharedError()) {
    mProperties = new VOxaTextureProperties(this);
    AddDefaultTakeNode();
}

VOxaTexture::~VOxaTexture() {
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaTexture::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaTexture::GetTypeName() const {
    return VString("TextureVideoClip");
}

void VOxaTexture::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaTexture::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}
