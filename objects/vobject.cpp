#include "objects/vobject.h"

#include <cstring>
#include <memory>
#include <new>

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "objects/vproperty_object_list.h"

VOBJECT_IMPLEMENT_CLASS(VObject, VPlug);

VObject::~VObject() {
    for (size_t i = mProperties.size(); i-- > 0;) {
        VProperty* p = mProperties[i];
        if (!p || IsDeferredSlot(p)) continue;
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

void VObject::AddDeferredProperty(const VDeferredProperty* declaration) {
    if (!declaration) return;
    const size_t slot = mProperties.size();
    mProperties.push_back(reinterpret_cast<VProperty*>(reinterpret_cast<uintptr_t>(declaration) | 1u));
    ++mPropertyCount;
    ++mValueStamp;
    if (mNameIndex.IsBuilt()) {
        mNameIndex.Insert(declaration->mInfo->GetName(), (int)slot,
                          [this](int s) { return SlotName(mProperties[s]); });
    }
}

const char* VObject::SlotName(const VProperty* slot) {
    return IsDeferredSlot(slot) ? DeferredOf(slot)->mInfo->GetName() : slot->GetName();
}

VProperty* VObject::MakeDeferred(size_t slot) const {
    const VDeferredProperty* declaration = DeferredOf(mProperties[slot]);
    VObject* self = const_cast<VObject*>(this);
    VProperty* property = declaration->mMake(self, declaration->mInfo);
    if (!property) return nullptr;
    property->mListObject = self;
    property->mListSlot = (int)slot;
    property->mOwnedByObject = true;
    property->mState = declaration->mState;
    mProperties[slot] = property;
    return property;
}

const VPropertyInfo* VObject::GetPropertyInfo(int index) const {
    if (index < 0 || index >= mPropertyCount) return nullptr;
    if ((int)mProperties.size() != mPropertyCount) Compact();
    const VProperty* slot = mProperties[(size_t)index];
    return IsDeferredSlot(slot) ? DeferredOf(slot)->mInfo : &slot->GetInfo();
}

VProperty* VObject::GetDeclaredProperty(const VDeferredProperty* declaration) const {
    if (!declaration) return nullptr;
    Compact();
    for (size_t i = 0; i < mProperties.size(); ++i) {
        VProperty* p = mProperties[i];
        if (IsDeferredSlot(p)) {
            if (DeferredOf(p) == declaration) return MakeDeferred(i);
        } else if (&static_cast<const VProperty*>(p)->GetInfo() == declaration->mInfo) {
            return p;
        }
    }
    // A made property whose description became its own (a flag set, say) is known by its name.
    const char* name = declaration->mInfo->GetName();
    for (VProperty* p : mProperties) {
        if (!IsDeferredSlot(p) && p->mOwnedByObject && p->mOwnsInfo && std::strcmp(p->GetName(), name) == 0)
            return p;
    }
    return nullptr;
}

void VObject::ListProperty(VProperty* property) {
    // The slot first: a property without one is not listed at all. The name index is only a way
    // to find names faster, made again when there is room.
    mProperties.push_back(property);
    property->mListObject = this;
    property->mListSlot = (int)mProperties.size() - 1;
    ++mPropertyCount;
    ++mValueStamp;
    if (mNameIndex.IsBuilt()) {
        try {
            mNameIndex.Insert(property->GetName(), property->mListSlot,
                              [this](int slot) { return SlotName(mProperties[slot]); });
        } catch (const std::bad_alloc&) {
            DropNameIndex();
        }
    }
}

void VObject::Compact() const {
    if ((int)mProperties.size() == mPropertyCount) return;
    size_t out = 0;
    for (size_t i = 0; i < mProperties.size(); ++i) {
        VProperty* p = mProperties[i];
        if (!p) continue;
        if (!IsDeferredSlot(p)) p->mListSlot = (int)out;
        mProperties[out++] = p;
    }
    mProperties.resize(out);
    mNameIndex.Clear();
}

void VObject::BuildNameIndex() const {
    Compact();
    auto nameAt = [this](int slot) { return SlotName(mProperties[slot]); };
    for (size_t i = 0; i < mProperties.size(); ++i) {
        mNameIndex.Insert(SlotName(mProperties[i]), (int)i, nameAt);
    }
}

VProperty* VObject::FindProperty(const char* name) const {
    if (!name) return nullptr;
    if (!mNameIndex.IsBuilt() && (mPropertyCount < kIndexThreshold || mWalkedLookups < kWalkedLookups)) {
        if (mPropertyCount >= kIndexThreshold) ++mWalkedLookups;
        // The first byte settles most mismatches without a call.
        for (size_t i = 0; i < mProperties.size(); ++i) {
            VProperty* p = mProperties[i];
            if (!p) continue;
            const char* own = SlotName(p);
            if (own[0] == name[0] && std::strcmp(own, name) == 0)
                return IsDeferredSlot(p) ? MakeDeferred(i) : p;
        }
        return nullptr;
    }
    if ((int)mProperties.size() != mPropertyCount) Compact();
    if (!mNameIndex.IsBuilt()) BuildNameIndex();
    int slot = mNameIndex.Find(name, [this](int s) { return SlotName(mProperties[s]); });
    if (slot < 0) return nullptr;
    return IsDeferredSlot(mProperties[(size_t)slot]) ? MakeDeferred((size_t)slot) : mProperties[(size_t)slot];
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

// A new property of the class that holds `valueType`, null for a value type without one.
VProperty* NewPropertyOfType(int valueType) {
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
    return p;
}

}  // namespace

VProperty* VObject::CreateDynamicProperty(const char* name, int valueType, const VDataType* dataType) {
    if (!name) return nullptr;
    std::unique_ptr<VProperty> p(NewPropertyOfType(valueType));
    if (!p) return nullptr;
    p->Declare(name, this);
    p->SetDataType(dataType);
    p->mOwnedByObject = true;
    // Memory that runs out on the way lets the property go, listed or not (it unlists itself).
    if (!AddProperty(p.get())) return nullptr;
    return p.release();
}

VProperty* VObject::CreateSharedProperty(const VPropertyInfo* shared) {
    if (!shared) return nullptr;
    std::unique_ptr<VProperty> p(NewPropertyOfType(shared->GetValueType()));
    if (!p) return nullptr;
    p->Declare(shared, this);
    p->mOwnedByObject = true;
    // Memory that runs out on the way lets the property go, listed or not (it unlists itself).
    if (!AddProperty(p.get())) return nullptr;
    return p.release();
}

bool VObject::ConnectNotify(int event, VPlug* plug, VPlug* /*other*/) {
    if (event == ePropertyValueChanged && plug && plug != this && plug->IsA(VProperty::ClassId)) {
        VProperty* property = static_cast<VProperty*>(plug);
        if (property->mListObject == this) OwnerPropertyChanged(property);
    }
    return true;
}

void VObject::OwnerPropertyChanged(VProperty* /*property*/) {}

namespace {

// Copies `list` into `copy`; false when there was no room for it.
bool CopyList(const std::vector<VProperty*>& list, std::vector<VProperty*>& copy) {
    try {
        copy = list;
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

void VObject::Destroying() {
    DisconnectAll();
    // Properties never made have no connection to drop and nothing to delete.
    for (VProperty*& p : mProperties) {
        if (p && IsDeferredSlot(p)) {
            p = nullptr;
            --mPropertyCount;
            ++mValueStamp;
        }
    }
    mNameIndex.Clear();
    Compact();
    // Work on copies: listeners may change the list while they hear of the disconnections.
    // Without room for a copy (an object being destroyed must still let go) the list is walked
    // from its end as it stands.
    std::vector<VProperty*> properties;
    bool copied = CopyList(mProperties, properties);
    if (copied) {
        for (VProperty* p : properties)
            p->DisconnectAll();
    } else {
        for (size_t i = mProperties.size(); i-- > 0;) {
            if (i < mProperties.size() && mProperties[i]) mProperties[i]->DisconnectAll();
        }
    }
    // Listeners may have changed the list while they heard of the disconnections.
    Compact();
    if (copied && CopyList(mProperties, properties)) {
        for (VProperty* p : properties)
            RemoveProperty(p);
        return;
    }
    // The last one goes first; removing it takes it off the end.
    while (!mProperties.empty()) {
        if (!RemoveProperty(mProperties.back())) {
            if (mProperties.back()) --mPropertyCount;
            mProperties.pop_back();
        }
    }
}

void VObject::Destroy() {
    Destroying();
    delete this;
}
