#ifndef OXA_OBJECTS_VPROPERTY_OBJECT_LIST_H
#define OXA_OBJECTS_VPROPERTY_OBJECT_LIST_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vproperty.h>

// A property whose value is a list of connected objects (value type 9). Its plug flags decide
// the direction: with kPlugAcceptsSrc the list is the property's source connections, without
// it its destination connections. The list shows the connections, in connection order, that
// pass the plug's class filter (SetFilter) and the list's object filter; an entry that is not
// an object of the model reads as null.
//
// Connecting and disconnecting go through the plugs, so the owner's ConnectNotify hears of
// every change (4 after a connection, 6 before a removal, and the rest).
class OXA_API VPropertyObjectList : public VProperty {
    VOBJECT_DECLARE_CLASS()
public:
    VPropertyObjectList();

    int GetCount() const;
    // The object at `index`, null when the index is out of range or the plug there is not an
    // object.
    VObject* GetAt(int index) const;
    // Connects `object` as a source of the property (sources list) or the property as a source
    // of `object` (destinations list). False when the connection is refused.
    bool Add(VObject* object);
    // Replaces the entry at `index` by `object` (the new connection comes last in connection
    // order); an index at or past the count adds. False for a negative index or a refusal.
    bool SetAt(int index, VObject* object);
    // Removes the connection to `object`; false when there is none.
    bool Remove(VObject* object);
    // Removes every connection of the list's direction.
    void Clear();

    // Stores the maximum count (kept, not enforced) and installs the class filter of `classId`
    // (any class for -1), keeping the filtered-child mark.
    void SetConnectionRule(int maxCount, int classId);
    int GetMaxCount() const { return mMaxCount; }
    // The list's object filter: kind 0 none, kind 1 objects of class `classId` and its derived
    // classes.
    void SetObjectFilter(int kind, int classId);
    int GetObjectFilterKind() const { return mFilterKind; }
    int GetObjectFilterClassId() const { return mFilterClassIdOfList; }
    // Sets the plug flags from the connection kind: bit 0x1 accepts sources (and lists them),
    // bit 0x2 may be a source; flag 0x4 is cleared.
    void SetConnectionKind(int kind);
    // True when the list shows source connections.
    bool ListsSources() const { return (GetFlags() & kPlugAcceptsSrc) != 0; }

    // A number the creator keeps with the list (a node id or an effector id).
    int GetUserValue() const { return mUserValue; }
    void SetUserValue(int value) { mUserValue = value; }

private:
    const std::vector<VPlug*>& Entries() const;
    // The connections of the list's direction, and the one at `i` when it passes the filters
    // (null when not).
    int ConnectionCount() const;
    VPlug* Listed(int i) const;

    int mMaxCount = -1;
    int mFilterKind = 0;
    int mFilterClassIdOfList = -1;
    int mUserValue = 0;
    mutable std::vector<VPlug*> mEntries;
    mutable unsigned mEntriesStamp = ~0u;
    mutable int mEntriesFlags = -1;
    mutable int mEntriesFilter = -2;
};

// Creates an object-list property on `owner`: declared without getter and setter under
// `name`, with the class filter of `classId` (registration flag 8 marks it a filtered child),
// the connection rule (maxCount, classId), the connection kind, value type 9, info flags 0x1,
// 0x4 and 0x8 and `userValue`, then appended to the owner's list, which owns it. Null
// (nothing created) for a null owner or name.
OXA_API VPropertyObjectList* CreatePropertyObjectList(VObject* owner, const char* name, int registrationFlag,
                                                      int classId, int maxCount, int connectionKind,
                                                      int userValue);

#endif  // OXA_OBJECTS_VPROPERTY_OBJECT_LIST_H
