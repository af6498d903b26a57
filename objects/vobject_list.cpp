#include "objects/vobject_list.h"

#include <cstring>
#include <new>

#include "objects/vobject.h"
#include "objects/voxa_property_handler.h"

VOBJECT_IMPLEMENT_CLASS(VObjectList, VPlug);

VObjectList::VObjectList() {
    // A list only gathers sources; it is never the source of anything.
    SetFlags(kPlugAcceptsSrc);
}

void VObjectList::Clear() {
    while (GetSrcCount() > 0)
        DisconnectSrc(GetSrc(GetSrcCount() - 1));
}

VPlug* VObjectList::FindByName(const char* name) const {
    if (!name) return nullptr;
    for (int i = 0, n = GetSrcCount(); i < n; ++i) {
        VPlug* entry = GetSrc(i);
        if (IsObject(entry) && std::strcmp(static_cast<VObject*>(entry)->GetName(), name) == 0) return entry;
    }
    return nullptr;
}

namespace {

// The filtered view of a class; null when memory ran out for it or for the class's filter.
VFilteredPlug* ViewOf(const VObjectList* list, int classId) {
    try {
        return list->GetFilteredPlug(GetClassFilter(classId));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

// Without room for the filtered view of a class the entries are looked at one by one.
int VObjectList::GetFilteredCount(int classId) const {
    if (VFilteredPlug* view = ViewOf(this, classId)) return view->GetSrcCount();
    const VClassFilter filter(classId);
    int count = 0;
    for (int i = 0, n = GetSrcCount(); i < n; ++i)
        count += filter.Accepts(GetSrc(i));
    return count;
}

VPlug* VObjectList::GetFiltered(int classId, int index) const {
    if (VFilteredPlug* view = ViewOf(this, classId)) return view->GetSrc(index);
    const VClassFilter filter(classId);
    for (int i = 0, n = GetSrcCount(); i < n && index >= 0; ++i)
        if (filter.Accepts(GetSrc(i)) && index-- == 0) return GetSrc(i);
    return nullptr;
}

bool VObjectList::IsObject(const VPlug* entry) {
    return entry && entry->IsA(VObject::ClassId);
}

VOxaObject* VObjectList::GetOwnerObject(const VPlug* entry) {
    if (!entry || !entry->IsA(VOxaPropertyHandler::ClassId)) return nullptr;
    return static_cast<const VOxaPropertyHandler*>(entry)->GetOwner();
}
