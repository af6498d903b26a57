#include "attributes/voxa_generic_node.h"

#include "objects/voxa_same_manager_internal.h"
#include "objects/vproperty.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaGenericNodeProperties, VOxaPropertyHandler);

namespace {
const char* const kGenericNodeErrors[] = {"Error"};
}

VOxaObject* VOxaGenericNodeProperties::GetOwner() const {
    return mOwner;
}

void VOxaGenericNodeProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

VOxaGenericNode::VOxaGenericNode(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kGenericNodeErrors, 1) {
    mProperties = new VOxaGenericNodeProperties(this);
    BuildOrRelease(mProperties, [this] { AddDefaultTakeNode(); });
}

VOxaGenericNode::~VOxaGenericNode() {
    // Contents that still list the node must not keep a pointer to it; every use it was
    // counted for is given back.
    if (mSceneContents) {
        while (!mSceneContents->RemoveGenericNode(this) &&
               mSceneContents->GetLastErrorID() == VOxaSceneContents::eGenericNodeInUse) {
        }
        mSceneContents = nullptr;
    }
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaGenericNode::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaGenericNode::GetTypeName() const {
    return VString("GenericNode");
}

VStringList VOxaGenericNode::GetTypeFlags() const {
    VStringList flags;
    flags.Add("GenericNode");
    return flags;
}

void VOxaGenericNode::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaGenericNode::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

bool VOxaGenericNode::SetSceneContents(VOxaSceneContents* contents) {
    if (contents == mSceneContents) return true;
    if (contents && !VOxaSameManager(GetSdkManager(), contents->GetSdkManager())) return false;
    if (mSceneContents) mSceneContents->RemoveGenericNode(this);
    mSceneContents = contents;
    if (mSceneContents) mSceneContents->AddGenericNode(this);
    return true;
}
