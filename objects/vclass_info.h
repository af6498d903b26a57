#ifndef OXA_OBJECTS_VCLASS_INFO_H
#define OXA_OBJECTS_VCLASS_INFO_H

#include <oxa/base/oxa_export.h>

class VPlug;

// The identity record of one class of the object model: where the class keeps its id, the
// record of its parent class, its name, a flag word and a user value. Every class has one
// static record, registered from a static initialiser in the class's own source file; the id
// is handed out at registration and nothing may rely on its numeric value.
class OXA_API VClassInfo {
public:
    constexpr VClassInfo(int* idVariable, const VClassInfo* parent, const char* name, int flags = 0,
                         const char* userValue = "")
        : mIdVariable(idVariable), mParent(parent), mName(name), mFlags(flags), mUserValue(userValue) {}

    // The class id; a record asked before its registration ran is registered on the spot, so
    // the answer never depends on the order of the static initialisers.
    int GetId() const;
    const VClassInfo* GetParent() const { return mParent; }
    const char* GetName() const { return mName; }
    int GetFlags() const { return mFlags; }
    const char* GetUserValue() const { return mUserValue; }

    // True when `classId` is this class's id or the id of one of its ancestors.
    bool IsA(int classId) const;

private:
    friend int RegisterClassId(VClassInfo* info, int id);
    int* mIdVariable;
    const VClassInfo* mParent;
    const char* mName;
    int mFlags;
    const char* mUserValue;
};

// Registers `info` and stores its id in the record's id variable. With id -1 the next free id
// is taken; a wanted id that is taken already also gets the next free one. A record that is
// registered already keeps its id. Answers the id, -1 for a null record.
OXA_API int RegisterClassId(VClassInfo* info, int id = -1);

// The record registered under `classId`, null when there is none.
OXA_API const VClassInfo* FindClassInfo(int classId);

// A class filter: accepts the plugs whose class is the filter's class or derives from it. The
// filter of class id -1 accepts every plug.
class OXA_API VClassFilter {
public:
    explicit VClassFilter(int classId) : mClassId(classId) {}
    int GetClassId() const { return mClassId; }
    // False for a null plug.
    bool Accepts(const VPlug* plug) const;

private:
    int mClassId;
};

// The filter of a class id: accept-all for -1; for an id that no class carries, a filter that
// accepts nothing. The answer stays valid until the last VPlugTerm.
OXA_API const VClassFilter* GetClassFilter(int classId);

// Start and stop of the class registry, counted: the class filters made on request are freed by
// the VPlugTerm that brings the count back to 0 (last record first). The records themselves are
// static and keep their ids, so a later start finds every class again.
OXA_API bool VPlugInit();
OXA_API void VPlugTerm();

// Declares the class identity of an object-model class: its static record and id, and the
// virtual that answers the record (from which VPlug derives IsA, GetClassId and GetClassName).
// Put it first in the class body; it leaves the access at private. Pair it with
// VOBJECT_IMPLEMENT_CLASS in the class's own source file.
#define VOBJECT_DECLARE_CLASS()                       \
public:                                               \
    static VClassInfo ClassInfo;                      \
    static int ClassId;                               \
    const VClassInfo* GetClassInfo() const override { \
        return &ClassInfo;                            \
    }                                                 \
                                                      \
private:

// Defines the record of `Class` with `Parent`'s record as parent and registers it at load time.
#define VOBJECT_IMPLEMENT_CLASS(Class, Parent)                                \
    int Class::ClassId = -1;                                                  \
    VClassInfo Class::ClassInfo(&Class::ClassId, &Parent::ClassInfo, #Class); \
    [[maybe_unused]] static const int Class##_ClassRegistered = RegisterClassId(&Class::ClassInfo)

#endif  // OXA_OBJECTS_VCLASS_INFO_H
