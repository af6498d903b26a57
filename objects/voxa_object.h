#ifndef OXA_OBJECTS_VOXA_OBJECT_H
#define OXA_OBJECTS_VOXA_OBJECT_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>
#include <oxa/objects/vindex.h>

class VOxaSdkManager;
class VOxaPropertyHandler;
class VOxaUserProperty;
class VProperty;

// The base of the scene objects. The manager calls Destroying on an object right before it
// deletes it.
class OXA_API VOxaPlug {
public:
    virtual ~VOxaPlug() = default;
    // Pre-deletion notification; nothing in the base.
    virtual void Destroying() {}
};

// The two names of a scene object: the name it was made with (initial) and the name it has
// now (current).
class OXA_API VOxaObjectName {
public:
    VOxaObjectName() = default;
    // A new pair changes no listed name, so it leaves the rename stamp alone.
    explicit VOxaObjectName(const char* name) : mInitial(name ? name : ""), mCurrent(mInitial) {}

    VOxaObjectName(const VOxaObjectName&) = default;
    // Takes both names of `other` (a rename, as far as indexes of names are concerned).
    VOxaObjectName& operator=(const VOxaObjectName& other) {
        mInitial = other.mInitial;
        mCurrent = other.mCurrent;
        ++sRenameStamp;
        return *this;
    }

    // Sets both names.
    void Set(const char* name) {
        mInitial = name ? name : "";
        mCurrent = mInitial;
        ++sRenameStamp;
    }
    void SetCurrent(const char* name) {
        mCurrent = name ? name : "";
        ++sRenameStamp;
    }
    void SetInitial(const char* name) { mInitial = name ? name : ""; }
    const char* GetCurrent() const { return mCurrent.Buffer(); }
    const char* GetInitial() const { return mInitial.Buffer(); }

    // Changes whenever any current name is set, so that indexes of names know to rebuild.
    static unsigned GetRenameStamp() { return sRenameStamp; }

private:
    inline static unsigned sRenameStamp = 0;
    VString mInitial;
    VString mCurrent;
};

// The full name of an object: `prefix` followed by `name` without whatever stands up to and
// including its first "::"; "Name" when that leaves nothing. A null or empty prefix adds
// nothing; a null name counts as empty.
OXA_API VString VOxaMakeObjectName(const char* prefix, const char* name);

// A named scene object with a type code. Its name carries the prefix of its type code
// ("Model::" for nodes, 1; "Texture::" 2; "Material::" 3; "Video::" 5; "Constraint::" 8 and
// 13; "Pose::" 9 and 11; "ControlSetPlug::" 12; for 10, "Deformer::" or "SubDeformer::" when the
// object is a deformer, nothing for a generic node). It lists the user-property handles of its
// properties (not owned: the manager owns them).
//
// An object may leave the handles of its own properties to be made when first asked for (see
// VOxaTakeNodeContainer::CreatePropertyHandles): every operation on the list below makes them
// first, so that the list always reads as if they had been made with the object.
class OXA_API VOxaObject : public VOxaPlug {
public:
    // `owner` is the manager that made the object; `name` is taken as it is, prefix included.
    VOxaObject(VOxaSdkManager* owner, const char* name);
    VOxaObject(const VOxaObject&) = delete;
    ~VOxaObject() override;

    VOxaSdkManager* GetSdkManager() const { return mOwner; }

    // Copies both names when both objects have the same type code; otherwise nothing.
    VOxaObject& operator=(const VOxaObject& other);

    // The current name, with its prefix.
    const char* GetName() const { return mName.GetCurrent(); }
    // Sets the current name: the text after a first "::" (the whole text without one), "Name"
    // when that is empty, behind the prefix of the object's type code.
    void SetName(const char* name);
    const char* GetInitialName() const { return mName.GetInitial(); }
    // Sets the initial name as given.
    void SetInitialName(const char* name) { mName.SetInitial(name); }
    // The current name without the type prefix; when the name does not begin with it but holds
    // "::", what follows the first "::"; else the whole name. Points into the current name.
    const char* GetNameWithoutPrefix() const;
    // The prefix of the object's type code ("" for none).
    const char* GetNamePrefix() const;
    // The name pair itself (for renaming strategies; give the result back with SetName).
    VOxaObjectName& GetObjectName() { return mName; }
    // Changes whenever any object's current name changes.
    static unsigned GetRenameStamp() { return VOxaObjectName::GetRenameStamp(); }
    const VOxaObjectName& GetObjectName() const { return mName; }

    // The type code (0 in the base: no type).
    virtual int GetTypeCode() const { return 0; }
    // The object's properties object, null for an object without one.
    virtual VOxaPropertyHandler* GetPropertyHandler() const { return nullptr; }
    // Appends every property of the property handler, in its order, to `properties`.
    virtual void FillPropertyArray(VArrayTemplate<VProperty*>& properties) const;
    // The type name ("" in the base) and type flags (none in the base).
    virtual VString GetTypeName() const { return VString(""); }
    virtual VStringList GetTypeFlags() const { return VStringList(); }
    // Called after a user property was added to, or before it is removed from, the object.
    // Nothing in the base.
    virtual void PropertyAdded(VOxaUserProperty* userProperty);
    virtual void PropertyRemoved(VOxaUserProperty* userProperty);

    // Appends `userProperty` unless an object lists it (null is ignored), then calls
    // PropertyAdded. A handle is listed by one object at a time.
    void AddUserProperty(VOxaUserProperty* userProperty);
    // AddUserProperty for a handle the caller has just made, so that no list can hold it:
    // appended without the look-up.
    void AddNewUserProperty(VOxaUserProperty* userProperty);
    // Makes room for `count` more user properties, in the list and its lookup tables.
    void ReserveUserProperties(int count);
    // Calls PropertyRemoved, then takes `userProperty` out of the list. False when not listed,
    // and for a handle of the object's own property (one made with the object, which keeps
    // using the property). A property that another listed handle is bound to stays.
    bool RemoveUserProperty(VOxaUserProperty* userProperty);
    // Takes `userProperty` out of the list without PropertyRemoved: its manager is deleting it.
    void ForgetUserProperty(VOxaUserProperty* userProperty);
    int GetUserPropertyCount() const {
        MakePendingUserProperties();
        return (int)mUserProperties.size();
    }
    // The user property at `index`, null out of range.
    VOxaUserProperty* GetUserProperty(int index) const;
    // The first user property bound to `property`; null when none or for null.
    VOxaUserProperty* FindUserPropertyByProperty(const VProperty* property) const;
    // The first user property whose name equals `name` byte for byte; null when none.
    VOxaUserProperty* FindUserPropertyByName(const char* name) const;
    // The property FindUserPropertyByName(name) is bound to, null when none: for reading a
    // value. Handles still to be made are not made for it: the first of them named `name` would
    // be bound to the first property of that name of the property handler.
    VProperty* FindUserPropertyTargetByName(const char* name) const;

    // True while the handles of the object's own properties are still to be made.
    bool HasPendingUserProperties() const { return mPendingHandleSlot >= 0; }
    // Makes them now when they are still to be made (the operations on the list do).
    void MakePendingUserProperties() const {
        if (mPendingHandleSlot >= 0) MakePendingHandles();
    }

protected:
    // Makes the handles left to be made (mPendingHandleSlot is set); nothing in the base.
    virtual void MakePendingHandles() const {}
    // Appends `userProperty` (not null, not listed) to the list without calling PropertyAdded.
    void AppendUserProperty(VOxaUserProperty* userProperty);

    // While the handles of the object's own properties are still to be made, the object's
    // place in its manager's list of such objects; -1 otherwise.
    int mPendingHandleSlot = -1;

private:
    void RebuildUserIndex() const;
    bool IsListed(const VOxaUserProperty* userProperty) const;

    VOxaSdkManager* mOwner;
    VOxaObjectName mName;
    std::vector<VOxaUserProperty*> mUserProperties;
    // property -> position of the first user property bound to it, for long lists; rebuilt
    // when any handle's binding changed since it was built.
    mutable VPointerIndex mUserIndex;
    mutable unsigned mUserIndexStamp = 0;
    // Look-ups by property a long list answers by walking before it makes mUserIndex (a node
    // being made hears of a few value changes only).
    static constexpr int kWalkedUserLookups = 8;
    mutable int mWalkedUserLookups = 0;
    mutable VPointerIndex mHandleIndex;  // handle -> position, for long lists
};

#endif  // OXA_OBJECTS_VOXA_OBJECT_H
