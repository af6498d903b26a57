#include "attributes/voxa_material.h"

#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaMaterialProperties, VOxaPropertyHandler);

namespace {
const char* const kMaterialErrors[] = {"Take node error"};
}

VOxaObject* VOxaMaterialProperties::GetOwner() const {
    return mOwner;
}

void VOxaMaterialProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

VOxaMaterial::VOxaMaterial(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kMaterialErrors, 1) {
    mProperties = new VOxaMaterialProperties(this);
    AddDefaultTakeNode();
}

VOxaMaterial::~VOxaMaterial() {
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaMaterial::Destroying() {
    if (mProperties) mProperties->Destroying();
}

void VOxaMaterial::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaMaterial::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}
