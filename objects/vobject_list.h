#ifndef OXA_OBJECTS_VOBJECT_LIST_H
#define OXA_OBJECTS_VOBJECT_LIST_H

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vplug.h>

class VOxaObject;

// A list of object handles: a plug whose source connections are the entries, in the order
// they were added. Scene objects are listed through their property handlers, so an entry leads
// back to its scene object as the handler's owner.
class OXA_API VObjectList : public VPlug {
    VOBJECT_DECLARE_CLASS()
public:
    VObjectList();

    // Adds `entry` (connects it as a source); false when it is null, listed or refused.
    bool Add(VPlug* entry) { return ConnectSrc(entry); }
    // Removes `entry`; false when it is not listed.
    bool Remove(VPlug* entry) { return DisconnectSrc(entry); }
    // Removes every entry, last first.
    void Clear();

    int GetCount() const { return GetSrcCount(); }
    // The entry at `index`, null out of range.
    VPlug* Get(int index) const { return GetSrc(index); }
    // The position of `entry`, -1 when absent.
    int Find(const VPlug* entry) const { return FindSrc(entry); }
    // The first entry that is an object whose name equals `name` byte for byte; null when none.
    VPlug* FindByName(const char* name) const;

    // The entries of class `classId` and its derived classes, in order; -1 or the root class
    // id (VPlug's) means no filter. Out of range gives null.
    int GetFilteredCount(int classId) const;
    VPlug* GetFiltered(int classId, int index) const;

    // True when `entry` is an object of the object model.
    static bool IsObject(const VPlug* entry);
    // The scene object that owns `entry` when it is a property handler; null otherwise.
    static VOxaObject* GetOwnerObject(const VPlug* entry);
};

#endif  // OXA_OBJECTS_VOBJECT_LIST_H
