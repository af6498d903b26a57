#ifndef OXA_OBJECTS_VOXA_USER_PROPERTY_H
#define OXA_OBJECTS_VOXA_USER_PROPERTY_H

#include <cstddef>
#include <new>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

class VOxaObject;
class VOxaSdkManager;
class VOxaPropertyHandler;
class VProperty;
struct VOxaUserPropertyStorage;

// The handle of a user property of a scene object. A bound handle stands for an existing
// property; an unbound one is a record of a name and a type that a property handler turns into
// a property (VOxaPropertyHandler::CreateProperty), binding the handle to it.
//
// Types: 1 Bool, 2 real, 3 Color, 4 Integer, 5 Vector, 6 Enum (0 unknown).
class OXA_API VOxaUserProperty {
public:
    enum EType { eUnknown = 0, eBool = 1, eReal = 2, eColor = 3, eInteger = 4, eVector = 5, eEnum = 6 };
    // GetFlag / SetFlag bit.
    enum EFlag { eAnimatable = 1 };

    // A handle bound to `property`.
    VOxaUserProperty(VOxaSdkManager* owner, VProperty* property);
    // An unbound record. Type names: "Bool", "Real" or "Number", "Color", "Integer", "Vector",
    // "Enum", without regard to case; any other gives type 0.
    VOxaUserProperty(VOxaSdkManager* owner, const char* name, const char* typeName);
    VOxaUserProperty(const VOxaUserProperty&) = delete;
    VOxaUserProperty& operator=(const VOxaUserProperty&) = delete;
    ~VOxaUserProperty();

    VOxaSdkManager* GetOwner() const { return mOwner; }
    VProperty* GetProperty() const { return mProperty; }
    bool IsBound() const { return mProperty != nullptr; }
    // Binds an unbound handle; false when it is bound already or `property` is null.
    bool Bind(VProperty* property);
    // Leaves the handle without property (its property is being destroyed).
    void Unbind();

    // The bound property's name, else the record's.
    const char* GetName() const;
    // The type, from the bound property's value type or from the record.
    int GetType() const;
    // eAnimatable: the bound property's animatable flag, else the record's.
    bool GetFlag(int flag) const;
    // Sets or clears a flag of the record (a bound handle's flag follows its property).
    void SetFlag(int flag, bool on);

    // The bound property's number; false, with `value` untouched, when unbound.
    bool GetDouble(double& value) const;
    // The bound property's x, y, z; false, with the outputs untouched, when unbound or when the
    // property has fewer than three components.
    bool GetVector(double& x, double& y, double& z) const;
    // Sets (x, y, z, 1) through the property's set-value operation, which tells its owner; false
    // when unbound.
    bool SetVector(double x, double y, double z);

    // The property handler that listens to this handle's changes.
    VOxaPropertyHandler* GetChangeListener() const { return mListener; }
    void SetChangeListener(VOxaPropertyHandler* listener) { mListener = listener; }

    // Changes whenever any handle is bound or unbound; lookups by property keyed on it.
    static unsigned GetBindingStamp();

    // While a scope is open on a thread, the handles the manager makes are an object's own, which
    // the object lists and which go with it; any other bound handle is unbound when its property
    // is destroyed (PropertyGone), whoever destroys it.
    class OwnHandleScope {
    public:
        OwnHandleScope();
        ~OwnHandleScope();
        OwnHandleScope(const OwnHandleScope&) = delete;
        OwnHandleScope& operator=(const OwnHandleScope&) = delete;
    };
    static bool InOwnHandleScope();
    // Unbinds every tracked handle bound to `property`, which is being destroyed.
    static void PropertyGone(const VProperty* property);

    // While a Block is open on a thread, the handles made there share one allocation of room
    // for `count` handles instead of one allocation each (an object makes a handle for each of
    // its properties at once); once the room is used up they come from the heap again. Handles
    // are deleted as always, one by one; the allocation goes when its last handle has gone and
    // the block is closed. A deleted handle's room is not used again, and under
    // AddressSanitizer it is poisoned, so a use after deletion is still reported.
    class Block {
    public:
        explicit Block(int count);
        ~Block();
        Block(const Block&) = delete;
        Block& operator=(const Block&) = delete;

    private:
        VOxaUserPropertyStorage* mStorage;
        Block* mOuter;
    };

    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;

private:
    friend class VOxaObject;
    friend class VOxaSdkManager;

    // The name, type and flags of an unbound record, on the heap with the name's characters.
    struct Record;
    // A record named `name` of type `type` without flags; null when memory ran out.
    static Record* MakeRecord(const char* name, int type);

    VOxaSdkManager* mOwner;
    VProperty* mProperty = nullptr;
    VOxaPropertyHandler* mListener = nullptr;
    // Null for a handle made bound whose flags were never set, which has its property's name and
    // type: an object makes one of those for each of its properties.
    Record* mRecord = nullptr;
    // Registers the bound handle to be unbound when its property goes (a handle made outside an
    // OwnHandleScope, or bound later).
    void Track();
    void Untrack();

    // The one object that lists the handle, null when none does.
    VOxaObject* mHolder = nullptr;
    bool mTracked = false;
};

#endif  // OXA_OBJECTS_VOXA_USER_PROPERTY_H
