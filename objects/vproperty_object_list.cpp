#include "objects/vproperty_object_list.h"

#include <new>

#include "base/vallocation_hook.h"
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
    for (int i = 0, n = ConnectionCount(); i < n; ++i) {
        VPlug* p = Listed(i);
        if (p) mEntries.push_back(p);
    }
    mEntriesStamp = GetConnectionStamp();
    mEntriesFlags = GetFlags();
    mEntriesFilter = filter;
    return mEntries;
}

int VPropertyObjectList::ConnectionCount() const {
    return ListsSources() ? GetSrcCount() : GetDstCount();
}

VPlug* VPropertyObjectList::Listed(int i) const {
    VPlug* p = ListsSources() ? GetSrc(i) : GetDst(i);
    const VClassFilter plugFilter(GetFilterClassId());
    const VClassFilter listFilter(mFilterKind == 1 ? mFilterClassIdOfList : -1);
    return plugFilter.Accepts(p) && listFilter.Accepts(p) ? p : nullptr;
}

// Without room for the list of entries they are looked at one by one.
int VPropertyObjectList::GetCount() const {
    try {
        return (int)Entries().size();
    } catch (const std::bad_alloc&) {
        int count = 0;
        for (int i = 0, n = ConnectionCount(); i < n; ++i)
            count += Listed(i) != nullptr;
        return count;
    }
}

VObject* VPropertyObjectList::GetAt(int index) const {
    VPlug* p = nullptr;
    try {
        const std::vector<VPlug*>& entries = Entries();
        if (index < 0 || index >= (int)entries.size()) return nullptr;
        p = entries[index];
    } catch (const std::bad_alloc&) {
        for (int i = 0, n = ConnectionCount(); i < n && !p && index >= 0; ++i)
            if (Listed(i) && index-- == 0) p = Listed(i);
        if (!p) return nullptr;
    }
    return p->IsA(VObject::ClassId) ? static_cast<VObject*>(p) : nullptr;
}

bool VPropertyObjectList::Add(VObject* object) {
    if (!object) return false;
    return ListsSources() ? ConnectSrc(object) : object->ConnectSrc(this);
}

bool VPropertyObjectList::SetAt(int index, VObject* object) {
    if (index < 0 || !object) return false;
    VPlug* old = nullptr;
    try {
        const std::vector<VPlug*>& entries = Entries();
        if (index >= (int)entries.size()) return Add(object);
        old = entries[index];
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return false;
    }
    if (old == object) return true;
    if (ListsSources()) {
        DisconnectSrc(old);
    } else {
        old->DisconnectSrc(this);
    }
    // Memory that runs out for the new entry brings the former one back (last in order).
    const unsigned long long failures = oxa_alloc::FailureCount();
    try {
        if (Add(object)) return true;
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
    }
    if (oxa_alloc::FailureCount() != failures) ListsSources() ? ConnectSrc(old) : old->ConnectSrc(this);
    return false;
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
    bool added = false;
    try {
        added = owner->AddProperty(list);
    } catch (...) {
        // Once listed the owner holds it.
        if (!list->mListObject) delete list;
        throw;
    }
    if (!added) {
        delete list;
        return nullptr;
    }
    return list;
}
