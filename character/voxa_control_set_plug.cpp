#include "character/voxa_control_set_plug.h"

#include "character/voxa_character.h"
#include "scene/voxa_sdk_manager.h"

VOBJECT_IMPLEMENT_CLASS(VOxaControlSetPlugProperties, VOxaPropertyHandler);

namespace {
const char* const kPlugErrors[] = {"Error"};
}

// ---- Property block -------------------------------------------------------------------------

VOxaControlSetPlugProperties::VOxaControlSetPlugProperties(VOxaControlSetPlug* owner) : mOwner(owner) {
    mUseAxis.Declare("UseAxis", this);
    AddProperty(&mUseAxis);
    mControlSetType.Declare("ControlSetType", this);
    AddProperty(&mControlSetType);
    // The type has no value names: it is stored and written as a number.
    mUseAxis.SetStoredValue(true);
    mControlSetType.SetStoredValue(VOxaControlSet::eTypeDefault);

    for (short& slot : mLinkOfNodeId)
        slot = -1;
    mLinks.reserve(eLinkPropertyCount);
    for (int id = 0; id < VOxaControlSet::eNodeIdCount; ++id) {
        const char* name = nullptr;
        if (!VOxaCharacter::GetCharacterNodeNameFromNodeId(id, name)) continue;
        VPropertyObjectList* list =
            CreatePropertyObjectList(this, name, 0, -1, 1, kPlugAcceptsSrc | kPlugIsSrc, id);
        if (!list) continue;
        mLinkOfNodeId[id] = (short)mLinks.size();
        mLinks.push_back(list);
    }
    mEffectors.reserve(VOxaControlSet::eEffectorCount);
    for (int id = 0; id < VOxaControlSet::eEffectorCount; ++id) {
        VPropertyObjectList* list =
            CreatePropertyObjectList(this, VOxaControlSet::GetEffectorNodeName(id), 0, -1,
                                     eMaxEffectorConnections, kPlugAcceptsSrc | kPlugIsSrc, id);
        if (list) mEffectors.push_back(list);
    }
}

VOxaControlSetPlugProperties::~VOxaControlSetPlugProperties() = default;

VOxaObject* VOxaControlSetPlugProperties::GetOwner() const {
    return mOwner;
}

void VOxaControlSetPlugProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

bool VOxaControlSetPlugProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    if (event == ePlugAcceptSrc && plug && plug->GetParentObject() == this &&
        plug->IsA(VPropertyObjectList::ClassInfo.GetId())) {
        auto* list = static_cast<VPropertyObjectList*>(plug);
        int id = list->GetUserValue();
        // An effector and its 14 auxiliary effectors: nothing beyond.
        if (id >= 0 && id < (int)mEffectors.size() && mEffectors[id] == list &&
            list->GetSrcCount() >= eMaxEffectorConnections)
            return false;
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

VPropertyObjectList* VOxaControlSetPlugProperties::GetLinkProperty(int index) const {
    return (index >= 0 && index < (int)mLinks.size()) ? mLinks[index] : nullptr;
}

VPropertyObjectList* VOxaControlSetPlugProperties::GetEffectorProperty(int index) const {
    return (index >= 0 && index < (int)mEffectors.size()) ? mEffectors[index] : nullptr;
}

VPropertyObjectList* VOxaControlSetPlugProperties::FindLinkProperty(int nodeId) const {
    if (nodeId < 0 || nodeId >= VOxaControlSet::eNodeIdCount || mLinkOfNodeId[nodeId] < 0) return nullptr;
    return mLinks[mLinkOfNodeId[nodeId]];
}

VPropertyObjectList* VOxaControlSetPlugProperties::FindEffectorProperty(int effectorId) const {
    return GetEffectorProperty(effectorId);
}

// ---- Plug -----------------------------------------------------------------------------------

VOxaControlSetPlug::VOxaControlSetPlug(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kPlugErrors, 1) {
    mProperties = new VOxaControlSetPlugProperties(this);
    AddDefaultTakeNode();
    mProperties->SetName(GetName());
}

VOxaControlSetPlug::~VOxaControlSetPlug() {
    // The block's connections go with it, so no character, node or list keeps one.
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaControlSetPlug::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaControlSetPlug::GetTypeName() const {
    return VString("ControlSetPlug");
}

VStringList VOxaControlSetPlug::GetTypeFlags() const {
    VStringList flags;
    flags.Add("ControlSetPlug");
    return flags;
}

void VOxaControlSetPlug::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!mProperties || !takeNode) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i) {
        VProperty* property = mProperties->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaControlSetPlug::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}
