#include "objects/vproperty_object_list.h"

#include "objects/vobject.h"

VOBJECT_IMPLEMENT_CLASS(VPropertyObjectList, VProperty);

VPropertyObjectList::VPropertyObjectList() {
    SetValueType(eValueObjectList);
}

const std::vector<VPlug*>& VPropertyObjectList::Entries() const {
    int filter = GetFilterClassId();
    if (mEntriesStamp == GetConnectionStamp() && mEntriesFlags == GetFlags() && mEntriesFilter == filter) {
        return mEntries;
    }
    mEntries.clear();
    VClassFilter plugFilter(filter);
    VClassFilter listFilter(mFilterKind == 1 ? mFilterClassIdOfList : -1);
    bool sources = ListsSources();
    int n = sources ? GetSrcCount() : GetDstCount();
    for (int i = 0; i < n; ++i) {
        VPlug* p = sources ? GetSrc(i) : GetDst(i);
        if (plugFilter.Accepts(p) && listFilter.Accepts(p)) mEntries.push_back(p);
    }
    mEntriesStamp = GetConnectionStamp();
    mEntriesFlags = GetFlags();
    mEntriesFilter = filter;
    return mEntries;
}

int VPropertyObjectList::GetCount() const {
    return (int)Entries().size();
}

VObject* VPropertyObjectList::GetAt(int index) const {
    const std::vector<VPlug*>& entries = Entries();
    if (index < 0 || index >= (int)entries.size()) return nullptr;
    VPlug* p = entries[index];
    return p->IsA(VObject::ClassId) ? static_cast<VObject*>(p) : nullptr;
}

bool VPropertyObjectList::Add(VObject* object) {
    if (!object) return false;
    return ListsSources() ? ConnectSrc(object) : object->ConnectSrc(this);
}

bool VPropertyObjectList::SetAt(int index, VObject* object) {
    if (index < 0 || !object) return false;
    const std::vector<VPlug*>& entries = Entries();
    if (index >= (int)entries.size()) return Add(object);
    VPlug* old = entries[index];
    if (old == object) return true;
    if (ListsSources()) {
        DisconnectSrc(old);
    } else {
        old->DisconnectSrc(this);
    }
    return Add(object);
}

bool VPropertyObjectList::Remove(VObject* object) {
    if (!object) return false;
    return ListsSources() ? DisconnectSrc(object) : object->DisconnectSrc(this);
}

void VPropertyObjectList::Clear() {
    if (ListsSources()) {
        while (GetSrcCount() > 0)
            DisconnectSrc(GetSrc(GetSrcCount() - 1));
    } else {
        while (GetDstCount() > 0)
            GetDst(GetDstCount() - 1)->DisconnectSrc(this);
    }
}

void VPropertyObjectList::SetConnectionRule(int maxCount, int classId) {
    mMaxCount = maxCount;
    SetFilter(GetClassFilter(classId), GetFlags() & kPlugFilteredChild);
}

void VPropertyObjectList::SetObjectFilter(int kind, int classId) {
    mFilterKind = kind;
    mFilterClassIdOfList = classId;
    mEntriesStamp = ~0u;
}

void VPropertyObjectList::SetConnectionKind(int kind) {
    SetFlag(kPlugAcceptsSrc, (kind & kPlugAcceptsSrc) != 0);
    SetFlag(kPlugIsSrc, (kind & kPlugIsSrc) != 0);
    SetFlag(kPlugFlag4, false);
}

VPropertyObjectList* CreatePropertyObjectList(VObject* owner, const char* name, int registrationFlag,
                                              int classId, int maxCount, int connectionKind, int userValue) {
    if (!owner || !name) return nullptr;
    auto* list = new VPropertyObjectList();
    // Until the owner holds it, a list whose set-up runs out of memory is released here.
    try {
        list->Declare(name, owner);
        list->SetFilter(GetClassFilter(classId), registrationFlag);
        list->SetConnectionRule(maxCount, classId);
        list->SetConnectionKind(connectionKind);
        list->GetInfo().SetFlag(kPropertyInfo1 | kPropertyInfo4 | kPropertyInfo8, true);
        list->SetUserValue(userValue);
        list->mOwnedByObject = true;
    } catch (...) {
        delete list;
        throw;
    }
    if (!owner->AddProperty(list)) {
        delete list;
        return nullptr;
    }
    return list;
}
