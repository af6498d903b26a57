#include "objects/vobject.h"

#include <cstring>

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "objects/vproperty_object_list.h"

VOBJECT_IMPLEMENT_CLASS(VObject, VPlug);

VObject::~VObject() {
    for (size_t i = mProperties.size(); i-- > 0;) {
        VProperty* p = mProperties[i];
        if (!p) continue;
        p->mListObject = nullptr;
        p->mListSlot = -1;
        if (p->mOwnedByObject) delete p;
    }
    mProperties.clear();
    mPropertyCount = 0;
}

bool VObject::AddProperty(VProperty* property) {
    if (!property || property->mListObject) return false;
    ConnectNotify(eObjectPropertyAdding, property, nullptr);
    if (property->mListObject) return false;  // a listener listed it meanwhile
    ListProperty(property);
    ConnectNotify(eObjectPropertyAdded, property, nullptr);
    return true;
}

bool VObject::AddDeclaredProperty(VProperty* property) {
    if (!property || property->mListObject) return false;
    ListProperty(property);
    return true;
}

void VObject::ListProperty(VProperty* property) {
    property->mListObject = this;
    property->mListSlot = (int)mProperties.size();
    mProperties.push_back(property);
    ++mPropertyCount;
    ++mValueStamp;
    if (mNameIndex.IsBuilt()) {
        mNameIndex.Insert(property->GetName(), property->mListSlot,
                          [this](int slot) { return mProperties[slot]->GetName(); });
    }
}

void VObject::Compact() const {
    if ((int)mProperties.size() == mPropertyCount) return;
    size_t out = 0;
    for (size_t i = 0; i < mProperties.size(); ++i) {
        VProperty* p = mProperties[i];
        if (!p) continue;
        p->mListSlot = (int)out;
        mProperties[out++] = p;
    }
    mProperties.resize(out);
    mNameIndex.Clear();
}

void VObject::BuildNameIndex() const {
    Compact();
    auto nameAt = [this](int slot) { return mProperties[slot]->GetName(); };
    for (size_t i = 0; i < mProperties.size(); ++i) {
        mNameIndex.Insert(mProperties[i]->GetName(), (int)i, nameAt);
    }
}

VProperty* VObject::FindProperty(const char* name) const {
    if (!name) return nullptr;
    if (!mNameIndex.IsBuilt() && (mPropertyCount < kIndexThreshold || mWalkedLookups < kWalkedLookups)) {
        if (mPropertyCount >= kIndexThreshold) ++mWalkedLookups;
        // The first byte settles most mismatches without a call.
        for (VProperty* p : mProperties) {
            if (!p) continue;
            const char* own = p->GetName();
            if (own[0] == name[0] && std::strcmp(own, name) == 0) return p;
        }
        return nullptr;
    }
    if ((int)mProperties.size() != mPropertyCount) Compact();
    if (!mNameIndex.IsBuilt()) BuildNameIndex();
    int slot = mNameIndex.Find(name, [this](int s) { return mProperties[s]->GetName(); });
    return slot >= 0 ? mProperties[slot] : nullptr;
}

void VObject::DetachProperty(VProperty* property) {
    int slot = property->mListSlot;
    if (slot >= 0 && slot < (int)mProperties.size() && mProperties[slot] == property) {
        mProperties[slot] = nullptr;
        --mPropertyCount;
        while (!mProperties.empty() && !mProperties.back())
            mProperties.pop_back();
    }
    property->mListObject = nullptr;
    property->mListSlot = -1;
    mNameIndex.Clear();
    ++mValueStamp;
}

bool VObject::RemoveProperty(VProperty* property) {
    if (!property || property->mListObject != this) return false;
    DetachProperty(property);
    if (property->mOwnedByObject) delete property;
    return true;
}

bool VObject::DestroyProperty(VOxaUserProperty* userProperty) {
    if (!userProperty) return false;
    VProperty* property = userProperty->GetProperty();
    if (!property || property->mListObject != this) return false;
    userProperty->Unbind();
    return RemoveProperty(property);
}

namespace {

template <typename T>
VProperty* NewTemplate(int valueType) {
    auto* p = new VPropertyTemplate<T>();
    p->SetValueType(valueType);
    return p;
}

}  // namespace

VProperty* VObject::CreateDynamicProperty(const char* name, int valueType, const VDataType* dataType) {
    if (!name) return nullptr;
    VProperty* p = nullptr;
    switch (valueType) {
        case eValueInteger:
            p = NewTemplate<int>(valueType);
            break;
        case eValueBool:
            p = NewTemplate<bool>(valueType);
            break;
        case eValueReal:
        case eValueNumber:
            p = NewTemplate<double>(valueType);
            break;
        case eValueText:
        case eValueString:
            p = NewTemplate<VString>(valueType);
            break;
        case eValueEnum:
            p = NewTemplate<EGenericEnum>(valueType);
            break;
        case eValueTime:
            p = NewTemplate<VTime>(valueType);
            break;
        case eValueObjectList:
            p = new VPropertyObjectList();
            break;
        case eValueVector4:
        case eValueVector:
        case eValueColor:
        case eValueColorAndAlpha:
            p = NewTemplate<VgeTVector>(valueType);
            break;
        default:
            return nullptr;
    }
    p->Declare(name, this);
    p->SetDataType(dataType);
    p->mOwnedByObject = true;
    if (!AddProperty(p)) {
        delete p;
        return nullptr;
    }
    return p;
}

bool VObject::ConnectNotify(int event, VPlug* plug, VPlug* /*other*/) {
    if (event == ePropertyValueChanged && plug && plug != this && plug->IsA(VProperty::ClassId)) {
        VProperty* property = static_cast<VProperty*>(plug);
        if (property->mListObject == this) OwnerPropertyChanged(property);
    }
    return true;
}

void VObject::OwnerPropertyChanged(VProperty* /*property*/) {}

void VObject::Destroying() {
    DisconnectAll();
    Compact();
    std::vector<VProperty*> properties = mProperties;
    for (VProperty* p : properties)
        p->DisconnectAll();
    // Listeners may have changed the list while they heard of the disconnections.
    Compact();
    properties = mProperties;
    for (VProperty* p : properties)
        RemoveProperty(p);
}

void VObject::Destroy() {
    Destroying();
    delete this;
}
