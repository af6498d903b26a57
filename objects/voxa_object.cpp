#include "objects/voxa_object.h"

#include <algorithm>
#include <cstring>

#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"

VString VOxaMakeObjectName(const char* prefix, const char* name) {
    VString rest(name ? name : "");
    int separator = rest.Find("::");
    if (separator >= 0) rest = rest.Mid(separator + 2);
    if (rest.IsEmpty()) rest = "Name";
    if (!prefix || !*prefix) return rest;
    return VString(prefix) + rest;
}

VOxaObject::VOxaObject(VOxaSdkManager* owner, const char* name) : mOwner(owner), mName(name) {}

VOxaObject::~VOxaObject() {
    // Handles that outlive the object (another manager's) are free to be listed again.
    for (VOxaUserProperty* handle : mUserProperties) {
        if (handle->mHolder == this) handle->mHolder = nullptr;
    }
}

VOxaObject& VOxaObject::operator=(const VOxaObject& other) {
    if (this != &other && GetTypeCode() == other.GetTypeCode()) mName = other.mName;
    return *this;
}

void VOxaObject::SetName(const char* name) {
    mName.SetCurrent(VOxaMakeObjectName(GetNamePrefix(), name).Buffer());
}

const char* VOxaObject::GetNamePrefix() const {
    switch (GetTypeCode()) {
        case 1:
            return "Model::";
        case 2:
            return "Texture::";
        case 3:
            return "Material::";
        case 5:
            return "Video::";
        case 8:
        case 13:
            return "Constraint::";
        case 10: {
            // Deformers and generic nodes share the code; deformers say so in their type flags.
            if (GetTypeFlags().Find("Deformer") < 0) return "";
            return GetTypeName().CompareNoCase("Cluster") == 0 ? "SubDeformer::" : "Deformer::";
        }
        case 9:
        case 11:
            return "Pose::";
        case 12:
            return "ControlSetPlug::";
        default:
            return "";
    }
}

const char* VOxaObject::GetNameWithoutPrefix() const {
    const char* name = GetName();
    const char* prefix = GetNamePrefix();
    size_t length = std::strlen(prefix);
    if (length > 0 && std::strncmp(name, prefix, length) == 0) return name + length;
    const char* separator = std::strstr(name, "::");
    return separator ? separator + 2 : name;
}

void VOxaObject::FillPropertyArray(VArrayTemplate<VProperty*>& properties) const {
    VOxaPropertyHandler* handler = GetPropertyHandler();
    if (!handler) return;
    for (int i = 0, n = handler->GetPropertyCount(); i < n; ++i)
        properties.Add(handler->GetProperty(i));
}

void VOxaObject::PropertyAdded(VOxaUserProperty* /*userProperty*/) {}

void VOxaObject::PropertyRemoved(VOxaUserProperty* /*userProperty*/) {}

void VOxaObject::AddUserProperty(VOxaUserProperty* userProperty) {
    MakePendingUserProperties();
    if (!userProperty || userProperty->mHolder || IsListed(userProperty)) return;
    AddNewUserProperty(userProperty);
}

void VOxaObject::AddNewUserProperty(VOxaUserProperty* userProperty) {
    MakePendingUserProperties();
    if (!userProperty) return;
    AppendUserProperty(userProperty);
    PropertyAdded(userProperty);
}

void VOxaObject::AppendUserProperty(VOxaUserProperty* userProperty) {
    mUserProperties.push_back(userProperty);
    userProperty->mHolder = this;
    if (mHandleIndex.IsBuilt()) mHandleIndex.Set(userProperty, (int)mUserProperties.size() - 1);
    if (mUserIndex.IsBuilt() && userProperty->GetProperty()) {
        mUserIndex.Insert(userProperty->GetProperty(), (int)mUserProperties.size() - 1);
    }
}

void VOxaObject::ReserveUserProperties(int count) {
    MakePendingUserProperties();
    if (count > 0) mUserProperties.reserve(mUserProperties.size() + (size_t)count);
}

bool VOxaObject::RemoveUserProperty(VOxaUserProperty* userProperty) {
    MakePendingUserProperties();
    auto it = std::find(mUserProperties.begin(), mUserProperties.end(), userProperty);
    if (!userProperty || it == mUserProperties.end()) return false;
    // The handles made for the object's own properties have its property handler as listener;
    // the object keeps using those properties.
    VOxaPropertyHandler* handler = GetPropertyHandler();
    if (handler && userProperty->GetChangeListener() == handler) return false;
    // A property that another handle of the list is bound to stays with its channels.
    VProperty* property = userProperty->GetProperty();
    bool shared = false;
    for (const VOxaUserProperty* other : mUserProperties)
        shared = shared || (property && other != userProperty && other->GetProperty() == property);
    if (!shared) PropertyRemoved(userProperty);
    // PropertyRemoved may have changed the list.
    ForgetUserProperty(userProperty);
    return true;
}

void VOxaObject::ForgetUserProperty(VOxaUserProperty* userProperty) {
    auto it = std::find(mUserProperties.begin(), mUserProperties.end(), userProperty);
    if (it != mUserProperties.end()) mUserProperties.erase(it);
    if (userProperty && userProperty->mHolder == this) userProperty->mHolder = nullptr;
    mUserIndex.Clear();
    mHandleIndex.Clear();
}

bool VOxaObject::IsListed(const VOxaUserProperty* userProperty) const {
    MakePendingUserProperties();
    if (mUserProperties.size() < 16) {
        return std::find(mUserProperties.begin(), mUserProperties.end(), userProperty) !=
               mUserProperties.end();
    }
    if (!mHandleIndex.IsBuilt()) {
        // Room for the list as far as it was reserved, so that appending rehashes little.
        mHandleIndex.Reserve(mUserProperties.capacity());
        for (size_t i = 0; i < mUserProperties.size(); ++i)
            mHandleIndex.Set(mUserProperties[i], (int)i);
    }
    return mHandleIndex.Find(userProperty) >= 0;
}

VOxaUserProperty* VOxaObject::GetUserProperty(int index) const {
    MakePendingUserProperties();
    return (index >= 0 && index < (int)mUserProperties.size()) ? mUserProperties[index] : nullptr;
}

void VOxaObject::RebuildUserIndex() const {
    mUserIndex.Clear();
    mUserIndex.Reserve(mUserProperties.capacity());
    for (size_t i = 0; i < mUserProperties.size(); ++i) {
        if (mUserProperties[i]->GetProperty()) mUserIndex.Insert(mUserProperties[i]->GetProperty(), (int)i);
    }
    mUserIndexStamp = VOxaUserProperty::GetBindingStamp();
}

VOxaUserProperty* VOxaObject::FindUserPropertyByProperty(const VProperty* property) const {
    if (!property) return nullptr;
    MakePendingUserProperties();
    const bool indexCurrent = mUserIndex.IsBuilt() && mUserIndexStamp == VOxaUserProperty::GetBindingStamp();
    if (mUserProperties.size() < 16 || (!indexCurrent && mWalkedUserLookups < kWalkedUserLookups)) {
        if (mUserProperties.size() >= 16) ++mWalkedUserLookups;
        for (VOxaUserProperty* u : mUserProperties) {
            if (u->GetProperty() == property) return u;
        }
        return nullptr;
    }
    if (!indexCurrent) RebuildUserIndex();
    int position = mUserIndex.Find(property);
    return position >= 0 ? mUserProperties[position] : nullptr;
}

VOxaUserProperty* VOxaObject::FindUserPropertyByName(const char* name) const {
    if (!name) return nullptr;
    MakePendingUserProperties();
    // The first byte settles most mismatches without a call (nodes hold a hundred handles).
    for (VOxaUserProperty* u : mUserProperties) {
        const char* own = u->GetName();
        if (own[0] == name[0] && std::strcmp(own, name) == 0) return u;
    }
    return nullptr;
}

VProperty* VOxaObject::FindUserPropertyTargetByName(const char* name) const {
    if (!name) return nullptr;
    if (mPendingHandleSlot >= 0) {
        // The handles to be made follow the handler's properties one for one and in order, and a
        // handle made for a property bears its name.
        VOxaPropertyHandler* handler = GetPropertyHandler();
        return handler ? handler->FindProperty(name) : nullptr;
    }
    VOxaUserProperty* handle = FindUserPropertyByName(name);
    return handle ? handle->GetProperty() : nullptr;
}
