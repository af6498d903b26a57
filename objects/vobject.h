#ifndef OXA_OBJECTS_VOBJECT_H
#define OXA_OBJECTS_VOBJECT_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/vindex.h>
#include <oxa/objects/vplug.h>

class VProperty;
class VPropertyInfo;
class VDataType;
struct VDeferredProperty;
class VOxaUserProperty;

// Events an object sends to itself around a change of its property list (the plug is the
// property, the other plug null).
enum EObjectEvent {
    eObjectPropertyAdding = 8,
    eObjectPropertyAdded = 11,
};

// An object of the object model: a plug with a name and an ordered list of named, typed
// properties. The list keeps the order in which properties were added; that order is the
// order of index access, of property blocks in files and of animation channels.
//
// The list holds member properties (declared by a derived class, destroyed with it), member
// properties listed to be made when first asked for (AddDeferredProperty) and properties the
// object created (CreateDynamicProperty); the object owns and deletes those it made or created.
//
// Every event of the object's own plug and of its properties' plugs reaches ConnectNotify.
class OXA_API VObject : public VPlug {
    VOBJECT_DECLARE_CLASS()
public:
    VObject() = default;
    // Deletes the properties it created; member properties are gone already.
    ~VObject() override;

    const char* GetName() const { return mName.Buffer(); }
    void SetName(const char* name) { mName = name ? name : ""; }

    // The object's type code; -1 for objects of the model that are not scene objects.
    virtual int GetTypeCode() const { return -1; }

    // Appends `property` to the list, sending eObjectPropertyAdding before and
    // eObjectPropertyAdded after. False (nothing sent) for null or a property that is in a
    // list already.
    bool AddProperty(VProperty* property);
    // The first property whose name equals `name` byte for byte; null when none (or for null).
    VProperty* FindProperty(const char* name) const;
    int GetPropertyCount() const { return mPropertyCount; }
    // Makes room for `count` more properties in the list, so that an object that declares many
    // at once does not regrow it again and again.
    void ReserveProperties(int count) {
        if (count > 0) mProperties.reserve(mProperties.size() + (size_t)count);
    }
    // The property at `index` in list order (made now when it was listed to be made when first
    // asked for), null when out of range.
    VProperty* GetProperty(int index) const {
        if (index < 0 || index >= mPropertyCount) return nullptr;
        if ((int)mProperties.size() != mPropertyCount) Compact();
        VProperty* property = mProperties[(size_t)index];
        return IsDeferredSlot(property) ? MakeDeferred((size_t)index) : property;
    }
    // The description of the property at `index` (its name, type and flags), null out of range.
    // Unlike GetProperty it does not make a member property that was not made yet.
    const VPropertyInfo* GetPropertyInfo(int index) const;
    // Takes `property` out of the list (a created one is deleted). False when not listed here.
    bool RemoveProperty(VProperty* property);
    // Destroys the property that `userProperty` stands for: removes it from the list, deletes
    // it when this object created it, and leaves the handle unbound. False when the handle is
    // null, unbound or its property is not listed here.
    bool DestroyProperty(VOxaUserProperty* userProperty);

    // Creates a property for `valueType` (a bool, int, double, enumeration, time, text, vector
    // or colour property, or an object list for 9), names it, gives it `dataType` and appends
    // it; the object owns it. Null (nothing created) for a null name or a value type that has
    // no property class.
    virtual VProperty* CreateDynamicProperty(const char* name, int valueType, const VDataType* dataType);

    // Receives the events of this object's plug and of its properties: the connection events
    // of EPlugEvent (a false answer to 0 or 1 refuses the connection), the value and state
    // events of EPropertyEvent and the list events of EObjectEvent. `plug` is the plug the
    // event is about, `other` the plug at the far end (null for value, state and list events).
    // The base accepts everything and, after a value change of one of its own properties,
    // calls OwnerPropertyChanged. Overrides end by passing what they do not handle here.
    virtual bool ConnectNotify(int event, VPlug* plug, VPlug* other);
    // Called after one of this object's properties changed its value. Nothing in the base.
    virtual void OwnerPropertyChanged(VProperty* property);

    // A count that moves whenever a property of this object is given a value (through its
    // setter or stored as it is) and whenever the list gains or loses a property: equal stamps
    // of one object mean that none of its property values was written in between.
    uint64_t GetValueStamp() const { return mValueStamp; }

    // Prepares the object for deletion: drops every connection of the object and of its
    // properties (with events), then empties the property list.
    virtual void Destroying();
    // Destroying, then deletion.
    void Destroy() override;

protected:
    bool Notify(int event, VPlug* other) override { return ConnectNotify(event, this, other); }
    // AddProperty for the member properties a constructor declares, without the two events:
    // nothing can listen to an object that is being made, and no class of the model handles
    // them in its own ConnectNotify.
    bool AddDeclaredProperty(VProperty* property);
    // CreateDynamicProperty for a property described by `shared` (which must outlive the
    // object): the property uses that description until something in it changes, instead of a
    // copy of its own. Null (nothing created) for null or a value type without property class.
    VProperty* CreateSharedProperty(const VPropertyInfo* shared);
    // Lists a member property that is made when first asked for (GetProperty, FindProperty,
    // GetDeclaredProperty): a slot with its shared description until then. No events, as for
    // AddDeclaredProperty. The object keeps the value and moves its value stamp itself
    // (NoteValueWritten); the property made is the object's to delete.
    void AddDeferredProperty(const VDeferredProperty* declaration);
    // The property listed for `declaration`, made now when it was not yet (once made, with a
    // description of its own, it is known by its name); null when it is no longer listed (or
    // memory ran out).
    VProperty* GetDeclaredProperty(const VDeferredProperty* declaration) const;
    // Moves the value stamp, for a value the object keeps itself.
    void NoteValueWritten() { ++mValueStamp; }

private:
    friend class VProperty;
    static constexpr int kIndexThreshold = 16;
    // Look-ups a long list answers by walking before it makes its name index: an object that is
    // asked for a few names only (a node being made) does not pay for an index.
    static constexpr int kWalkedLookups = 8;

    // Appends `property`, which is in no list, and keeps the name index.
    void ListProperty(VProperty* property);
    // Called by a property leaving the list (destroyed or removed).
    void DetachProperty(VProperty* property);
    // Called when a listed property is renamed.
    void DropNameIndex() { mNameIndex.Clear(); }
    void Compact() const;
    void BuildNameIndex() const;

    // A slot of a property not made yet holds its declaration's address with the lowest bit
    // set (declarations are aligned, properties too).
    static bool IsDeferredSlot(const VProperty* slot) {
        return (reinterpret_cast<uintptr_t>(slot) & 1u) != 0;
    }
    static const VDeferredProperty* DeferredOf(const VProperty* slot) {
        return reinterpret_cast<const VDeferredProperty*>(reinterpret_cast<uintptr_t>(slot) & ~uintptr_t(1));
    }
    // The name of the property in `slot`, made or not.
    static const char* SlotName(const VProperty* slot);
    // Makes the property of the deferred slot `slot` and puts it in its place.
    VProperty* MakeDeferred(size_t slot) const;

    VString mName;
    // List slots; a removed property leaves a hole until the next index access squeezes them
    // out, so that tearing down a long list is not quadratic.
    mutable std::vector<VProperty*> mProperties;
    int mPropertyCount = 0;
    uint64_t mValueStamp = 0;
    mutable VNameIndex mNameIndex;   // name -> slot, built on demand for long lists
    mutable int mWalkedLookups = 0;  // look-ups of a long list answered by walking
};

// For the constructor of a VObject class: declares its member property m<Name> under the literal
// name "<Name>", with the accessors Get<Name> and Set<Name> of `Class`, and lists it without
// events (AddDeclaredProperty). Every object of the class shares the property's description
// (one per expansion of this macro), accessors included, until it changes something in it.
#define OXA_DECLARE_MEMBER_PROPERTY(Class, Name)                                                    \
    m##Name.Declare<&Class::Get##Name, &Class::Set##Name>(                                          \
        [] {                                                                                        \
            static const VPropertyInfo info =                                                       \
                std::decay_t<decltype(Class::m##Name)>::template MakeMemberInfo<&Class::Get##Name,  \
                                                                                &Class::Set##Name>( \
                    VLiteralName{#Name});                                                           \
            return &info;                                                                           \
        }(),                                                                                        \
        this);                                                                                      \
    AddDeclaredProperty(&m##Name)

#endif  // OXA_OBJECTS_VOBJECT_H
