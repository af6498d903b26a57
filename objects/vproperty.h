#ifndef OXA_OBJECTS_VPROPERTY_H
#define OXA_OBJECTS_VPROPERTY_H

#include <climits>
#include <cstdint>
#include <new>
#include <type_traits>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vallocation_count.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vdatatype.h>
#include <oxa/objects/vplug.h>

class VObject;

// Value-type codes of properties.
enum EValueType {
    eValueUndefined = 0,
    eValueInteger = 1,
    eValueBool = 2,
    eValueReal = 3,
    eValueNumber = 4,
    eValueText = 5,  // a C string copied into the property
    eValueEnum = 6,
    eValueTime = 7,
    eValueString = 8,  // a VString
    eValueObjectList = 9,
    eValueVector4 = 12,
    eValueVector = 13,
    eValueColor = 14,
    eValueColorAndAlpha = 15,
};

// Events a property sends to its owner object about itself (the other plug is null).
enum EPropertyEvent {
    ePropertyValueChanging = 20,
    ePropertyValueChanged = 21,
    ePropertyStateChanged = 31,
};

// Info flags of a property.
enum EPropertyInfoFlag {
    kPropertyInfo1 = 0x1,
    kPropertyAnimatable = 0x2,  // written "A" in property blocks
    kPropertyInfo4 = 0x4,
    kPropertyInfo8 = 0x8,
    kPropertyEnumNames = 0x200,  // an enumeration-name callback is installed
};

// State flags of a property.
enum EPropertyStateFlag {
    kPropertyState1 = 0x1,
    kPropertyAnimated = 0x8,   // written "+" in property blocks
    kPropertyNotSaved = 0x10,  // never written to files
    kPropertyReadOnly = 0x20,
};

// The enumeration type of properties created at run time for value type 6.
enum EGenericEnum : int {};

// Names an enumeration value; null for a value without a name.
using VEnumNameCallback = const char* (*)(int value);

// A value callback of a property template as its description keeps it; the template casts it
// back to its own getter or setter type.
using VPropertyCallback = void (*)();

// A property name with static storage (a string literal), kept by its address instead of
// copied. The member properties a class declares are named this way: an object of the scene
// declares some seventy, and copying their names was a tenth of making one.
struct OXA_API VLiteralName {
    const char* mText;
};

// The description of a property: name, value type, data type, info flags, the
// enumeration-name callback and a property template's value callbacks. A name declared as a literal is kept
// by its address; any other is copied onto the heap, so that the description of a property stays a few words.
//
// A class shares one description among all its objects for each member property it declares
// (OXA_DECLARE_MEMBER_PROPERTY): a property points to its description, and gets a copy of its
// own only when something in it is changed (GetInfo, SetValueType, SetDataType, a new name).
class OXA_API VPropertyInfo {
public:
    VPropertyInfo() = default;
    // A description named by a literal, of value type `valueType`, without flags.
    VPropertyInfo(VLiteralName name, int valueType) : mName(name.mText), mValueType(valueType) {}
    VPropertyInfo(const VPropertyInfo& other);
    VPropertyInfo& operator=(const VPropertyInfo& other);
    ~VPropertyInfo();

    const char* GetName() const { return mName ? mName : ""; }
    int GetValueType() const { return mValueType; }
    const VDataType* GetDataType() const { return mDataType; }
    void SetDataType(const VDataType* dataType) { mDataType = dataType; }
    int GetFlags() const { return mFlags; }
    bool HasFlag(int bits) const { return (mFlags & bits) == bits; }
    void SetFlag(int bits, bool on) { mFlags = on ? (mFlags | bits) : (mFlags & ~bits); }
    // Installs the callback that names enumeration values; sets flag 0x200 when it is not
    // null, clears it otherwise.
    void SetEnumNameCallback(VEnumNameCallback callback) {
        mEnumName = callback;
        SetFlag(kPropertyEnumNames, callback != nullptr);
    }
    VEnumNameCallback GetEnumNameCallback() const { return mEnumName; }
    // The name of enumeration value `value`, null without a callback or a name.
    const char* GetEnumName(int value) const { return mEnumName ? mEnumName(value) : nullptr; }

    // A description named by a literal, of value type `valueType`, with the value callbacks
    // of a property template (see VPropertyTemplate::MakeMemberInfo).
    VPropertyInfo(VLiteralName name, int valueType, VPropertyCallback getter, VPropertyCallback setter)
        : mName(name.mText), mGetter(getter), mSetter(setter), mValueType(valueType) {}

private:
    friend class VProperty;
    // Keeps a copy of `name` (null: the empty name).
    void SetCopiedName(const char* name);
    // Keeps `name` itself, which has static storage.
    void SetLiteralName(const char* name);

    const char* mName = nullptr;  // null reads as ""
    const VDataType* mDataType = nullptr;
    VEnumNameCallback mEnumName = nullptr;
    // The value callbacks of a property template (its getter and setter, of the template's own
    // types): a class's member properties share them with their description.
    VPropertyCallback mGetter = nullptr;
    VPropertyCallback mSetter = nullptr;
    int mValueType = eValueUndefined;
    int mFlags = 0;
    bool mOwnsName = false;  // mName is a heap copy this description frees
};

// A named, typed value of an object. A property is a child plug of its owner object; the
// object lists it in its property list (AddProperty). Every change of its value sends
// ePropertyValueChanging and ePropertyValueChanged, every change of its state word
// ePropertyStateChanged, to the owner's ConnectNotify.
//
// The value access here is generic: doubles for numbers and the components of vectors and
// colours. VPropertyTemplate<T> adds the typed access.
class OXA_API VProperty : public VPlug {
    VOBJECT_DECLARE_CLASS()
public:
    VProperty();
    ~VProperty() override;

    // Names the property and makes it a child plug of `owner` (which may be null). The owner
    // lists it only once it is added with VObject::AddProperty.
    void Declare(const char* name, VObject* owner);
    void Declare(VLiteralName name, VObject* owner);
    // Overwrites the name and the value-type code.
    void SetNameAndType(const char* name, int valueType);

    // Names the property with a shared description (which must outlive the property and match
    // its value type) and makes it a child plug of `owner`.
    void Declare(const VPropertyInfo* shared, VObject* owner);

    const char* GetName() const { return mInfo->GetName(); }
    // The description, made the property's own first when it was shared.
    VPropertyInfo& GetInfo() { return OwnInfo(); }
    const VPropertyInfo& GetInfo() const { return *mInfo; }
    int GetValueType() const { return mInfo->mValueType; }
    void SetValueType(int valueType);
    // The property's own data type, else the default data type of its value type (null for
    // value types without one).
    const VDataType* GetDataType() const;
    void SetDataType(const VDataType* dataType);
    bool IsAnimatable() const { return mInfo->HasFlag(kPropertyAnimatable); }
    // True while the property uses a shared description (for tests of the sharing).
    bool SharesInfo() const { return !mOwnsInfo; }

    int GetStateFlags() const { return mState; }
    bool HasStateFlag(int bits) const { return (mState & bits) == bits; }
    // Sets or clears bits of the state word, then sends ePropertyStateChanged.
    void SetStateFlag(int bits, bool on);
    // State flag kPropertyReadOnly. It only marks the property; the value can still be set.
    void SetReadOnly(bool on) { SetStateFlag(kPropertyReadOnly, on); }
    bool IsReadOnly() const { return HasStateFlag(kPropertyReadOnly); }

    // Generic value access. GetValue writes up to four doubles (numbers: 1; vectors and
    // colours: their components) and answers how many; SetValue reads as many and sets the
    // value with its events; false (nothing changed) for values without doubles (texts,
    // object lists). The scalar forms convert to the property's type (a double to an integer
    // truncates toward zero, saturating); on vectors and texts they do nothing and answer false.
    virtual int GetValue(double* out) const;
    virtual bool SetValue(const double* in);
    virtual double GetDouble() const;
    virtual bool SetDouble(double value);
    virtual int GetInt() const;
    virtual bool SetInt(int value);

    // The object whose property list holds this property, null while in none.
    VObject* GetListObject() const { return mListObject; }
    // True for a property that its list object created and deletes.
    bool IsOwnedByObject() const { return mOwnedByObject; }

protected:
    // The value callbacks of a property template, kept in the description (a description that
    // is shared is copied first when they differ from its own).
    VPropertyCallback GetGetterCallback() const { return mInfo->mGetter; }
    VPropertyCallback GetSetterCallback() const { return mInfo->mSetter; }
    void SetCallbacks(VPropertyCallback getter, VPropertyCallback setter);

    // Sends the value events around a change.
    void NotifyValueChanging() { Notify(ePropertyValueChanging, nullptr); }
    void NotifyValueChanged() { Notify(ePropertyValueChanged, nullptr); }
    // Moves the value stamp of the object that declared the property and of the one that lists
    // it (VObject::GetValueStamp): called for every write of the value.
    void ValueWritten();

private:
    friend class VObject;
    friend class VOxaUserProperty;
    friend class VPropertyObjectList* CreatePropertyObjectList(VObject*, const char*, int, int, int, int,
                                                               int);
    // The description the property's own copy, made from the shared one it had.
    VPropertyInfo& OwnInfo();

    // Shared (a class's, or the nameless one of a value type) until changed, then owned.
    const VPropertyInfo* mInfo;
    VObject* mListObject = nullptr;
    int mState = 0;
    // The slot and the two marks share one word, so that a value of up to four bytes follows
    // without padding (a property is one of some seventy in every node).
    int mListSlot : 29;
    bool mOwnedByObject : 1;
    bool mOwnsInfo : 1;
    // Some handle a program bound to the property is to be unbound when the property goes.
    bool mHasTrackedHandles : 1;
};

namespace vproperty_detail {

inline int DoubleToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= (double)INT_MAX) return INT_MAX;
    if (v <= (double)INT_MIN) return INT_MIN;
    return (int)v;
}

inline int64_t DoubleToInt64(double v) {
    if (!(v == v)) return 0;
    if (v >= 9.2233720368547748e18) return INT64_MAX;
    if (v <= -9.2233720368547758e18) return INT64_MIN;
    return (int64_t)v;
}

template <typename F>
struct MemberFn;
template <typename R, typename C>
struct OXA_TEMPLATE_API MemberFn<R (C::*)()> {
    using Class = C;
};
template <typename R, typename C>
struct OXA_TEMPLATE_API MemberFn<R (C::*)() const> {
    using Class = C;
};
template <typename R, typename C, typename A>
struct OXA_TEMPLATE_API MemberFn<R (C::*)(A)> {
    using Class = C;
    using Arg = A;
};
template <typename R, typename C, typename A>
struct OXA_TEMPLATE_API MemberFn<R (C::*)(A) const> {
    using Class = C;
    using Arg = A;
};

}  // namespace vproperty_detail

// How a property template stores and converts a value of T. Specialised for bool, int, double,
// VgeTVector, VgeRGBVector, VTime, VString and every enumeration (stored as a 32-bit int, so
// a value outside the enumerators is kept as given). Other value types (a scene colour, say)
// add their own specialisation next to their type, with the same members.
template <typename T, typename Enable = void>
struct VPropertyValueTraits;

// Enumerations and integers share their storage (a 32-bit int) and conversions; only the value
// type code differs.
template <int ValueType>
struct OXA_TEMPLATE_API VPropertyIntTraits {
    using Storage = int;
    static constexpr int kValueType = ValueType;
    static Storage Zero() { return 0; }
    static int ToDoubles(Storage v, double* out) {
        out[0] = v;
        return 1;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v = vproperty_detail::DoubleToInt(in[0]);
        return true;
    }
    static bool FromDouble(Storage& v, double d) { return FromDoubles(v, &d); }
    static bool FromInt(Storage& v, int i) {
        v = i;
        return true;
    }
    static double ToDouble(Storage v) { return v; }
    static int ToInt(Storage v) { return v; }
};

template <typename T>
struct OXA_TEMPLATE_API VPropertyValueTraits<T, std::enable_if_t<std::is_enum<T>::value>>
    : VPropertyIntTraits<eValueEnum> {};

template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<bool> {
    using Storage = bool;
    static constexpr int kValueType = eValueBool;
    static Storage Zero() { return false; }
    static int ToDoubles(Storage v, double* out) {
        out[0] = v ? 1.0 : 0.0;
        return 1;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v = vproperty_detail::DoubleToInt(in[0]) != 0;
        return true;
    }
    static bool FromDouble(Storage& v, double d) { return FromDoubles(v, &d); }
    static bool FromInt(Storage& v, int i) {
        v = i != 0;
        return true;
    }
    static double ToDouble(Storage v) { return v ? 1.0 : 0.0; }
    static int ToInt(Storage v) { return v ? 1 : 0; }
};

template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<int> : VPropertyIntTraits<eValueInteger> {};

template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<double> {
    using Storage = double;
    static constexpr int kValueType = eValueNumber;
    static Storage Zero() { return 0.0; }
    static int ToDoubles(Storage v, double* out) {
        out[0] = v;
        return 1;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v = in[0];
        return true;
    }
    static bool FromDouble(Storage& v, double d) {
        v = d;
        return true;
    }
    static bool FromInt(Storage& v, int i) {
        v = i;
        return true;
    }
    static double ToDouble(Storage v) { return v; }
    static int ToInt(Storage v) { return vproperty_detail::DoubleToInt(v); }
};

// Four doubles x, y, z, w; a new vector property holds (0, 0, 0, 1). The scalar forms read x
// and change nothing.
template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<VgeTVector> {
    using Storage = VgeTVector;
    static constexpr int kValueType = eValueVector;
    static Storage Zero() { return VgeTVector(0.0, 0.0, 0.0, 1.0); }
    static int ToDoubles(const Storage& v, double* out) {
        for (int i = 0; i < 4; ++i)
            out[i] = v[i];
        return 4;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v.Set(in[0], in[1], in[2], in[3]);
        return true;
    }
    static bool FromDouble(Storage&, double) { return false; }
    static bool FromInt(Storage&, int) { return false; }
    static double ToDouble(const Storage& v) { return v[0]; }
    static int ToInt(const Storage& v) { return vproperty_detail::DoubleToInt(v[0]); }
};

// Three doubles red, green, blue.
template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<VgeRGBVector> {
    using Storage = VgeRGBVector;
    static constexpr int kValueType = eValueColor;
    static Storage Zero() { return VgeRGBVector(0.0, 0.0, 0.0); }
    static int ToDoubles(const Storage& v, double* out) {
        for (int i = 0; i < 3; ++i)
            out[i] = v[i];
        return 3;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v = VgeRGBVector(in[0], in[1], in[2]);
        return true;
    }
    static bool FromDouble(Storage&, double) { return false; }
    static bool FromInt(Storage&, int) { return false; }
    static double ToDouble(const Storage& v) { return v[0]; }
    static int ToInt(const Storage& v) { return vproperty_detail::DoubleToInt(v[0]); }
};

// A time; as a double it is the tick count.
template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<VTime> {
    using Storage = VTime;
    static constexpr int kValueType = eValueTime;
    static Storage Zero() { return VTime(0); }
    static int ToDoubles(const Storage& v, double* out) {
        out[0] = (double)v.Get();
        return 1;
    }
    static bool FromDoubles(Storage& v, const double* in) {
        v.Set(vproperty_detail::DoubleToInt64(in[0]));
        return true;
    }
    static bool FromDouble(Storage& v, double d) { return FromDoubles(v, &d); }
    static bool FromInt(Storage& v, int i) {
        v.Set(i);
        return true;
    }
    static double ToDouble(const Storage& v) { return (double)v.Get(); }
    static int ToInt(const Storage& v) {
        return v.Get() > INT_MAX ? INT_MAX : v.Get() < INT_MIN ? INT_MIN : (int)v.Get();
    }
};

// Text (value type 8; a property created for value type 5 holds its text the same way).
template <>
struct OXA_TEMPLATE_API VPropertyValueTraits<VString> {
    using Storage = VString;
    static constexpr int kValueType = eValueString;
    static Storage Zero() { return VString(""); }
    static int ToDoubles(const Storage&, double*) { return 0; }
    static bool FromDoubles(Storage&, const double*) { return false; }
    static bool FromDouble(Storage&, double) { return false; }
    static bool FromInt(Storage&, int) { return false; }
    static double ToDouble(const Storage&) { return 0.0; }
    static int ToInt(const Storage&) { return 0; }
};

// The value-type code of a property of T (GetValueType<bool>() is 2).
template <typename T>
constexpr int GetValueType() {
    return VPropertyValueTraits<T>::kValueType;
}

// A property holding one value of T, constructed with 0, false, "" or (0, 0, 0, 1).
//
// The value may live in the property or in its owner: Declare can install a getter and a
// setter, called with the owner. GetValue then calls the getter and keeps what it answers;
// SetValue sends ePropertyValueChanging, calls the setter (or stores the value when there is
// none) and sends ePropertyValueChanged. Callbacks work on the stored form (an int for
// enumerations). The member form takes member functions of the owner's class:
//
//     mShow.Declare<&VOxaNodeProperties::GetShow, &VOxaNodeProperties::SetShow>("Show", this);
//
// Class identity: that of VProperty.
template <typename T>
class OXA_TEMPLATE_API VPropertyTemplate : public VProperty {
public:
    using Traits = VPropertyValueTraits<T>;
    using Storage = typename Traits::Storage;
    using Getter = Storage (*)(VObject* owner);
    using Setter = void (*)(VObject* owner, Storage value);

    VPropertyTemplate() : mValue(Traits::Zero()) { SetValueType(Traits::kValueType); }

    // Names the property, makes it a child plug of `owner` and installs the callbacks (either
    // may be null: a null setter leaves the value to the property).
    // `name` is a text or a VLiteralName.
    template <typename Name>
    void Declare(Name name, VObject* owner, Getter getter = nullptr, Setter setter = nullptr) {
        VProperty::Declare(name, owner);
        SetCallbacks(reinterpret_cast<VPropertyCallback>(getter),
                     reinterpret_cast<VPropertyCallback>(setter));
    }
    // The same with member functions of the owner's class: the getter takes no argument, the
    // setter one (its result is ignored); values convert to and from the stored form.
    // `Setter` nullptr declares a property without setter.
    template <auto MemberGetter, auto MemberSetter = nullptr, typename Name, typename Owner>
    void Declare(Name name, Owner* owner) {
        Declare(name, owner, MakeGetter<MemberGetter>(), MakeSetter<MemberSetter>());
    }
    // The description a class shares among its objects for a member property of this type named
    // `name`, with the member accessors of the member form of Declare.
    template <auto MemberGetter, auto MemberSetter = nullptr>
    static VPropertyInfo MakeMemberInfo(VLiteralName name) {
        return VPropertyInfo(name, Traits::kValueType,
                             reinterpret_cast<VPropertyCallback>(MakeGetter<MemberGetter>()),
                             reinterpret_cast<VPropertyCallback>(MakeSetter<MemberSetter>()));
    }

    // The value: through the getter when there is one (the answer is kept as the stored value).
    T GetValue() const { return static_cast<T>(GetStorage()); }
    // Sets the value through the setter (or stores it) between the two value events.
    void SetValue(const T& value) { SetStorage(static_cast<Storage>(value)); }

    // The value member itself, without callbacks or events.
    T GetStoredValue() const { return static_cast<T>(mValue); }
    void SetStoredValue(const T& value) {
        mValue = static_cast<Storage>(value);
        ValueWritten();
    }

    int GetValue(double* out) const override { return out ? Traits::ToDoubles(GetStorage(), out) : 0; }
    bool SetValue(const double* in) override {
        Storage v = GetStorage();
        if (!in || !Traits::FromDoubles(v, in)) return false;
        SetStorage(v);
        return true;
    }
    double GetDouble() const override { return Traits::ToDouble(GetStorage()); }
    bool SetDouble(double value) override {
        Storage v = GetStorage();
        if (!Traits::FromDouble(v, value)) return false;
        SetStorage(v);
        return true;
    }
    int GetInt() const override { return Traits::ToInt(GetStorage()); }
    bool SetInt(int value) override {
        Storage v = GetStorage();
        if (!Traits::FromInt(v, value)) return false;
        SetStorage(v);
        return true;
    }

private:
    const Storage& GetStorage() const {
        if (VPropertyCallback getter = GetGetterCallback()) {
            if (GetParentObject()) mValue = reinterpret_cast<Getter>(getter)(GetParentObject());
        }
        return mValue;
    }
    void SetStorage(const Storage& value) {
        NotifyValueChanging();
        VPropertyCallback setter = GetSetterCallback();
        if (setter && GetParentObject()) {
            reinterpret_cast<Setter>(setter)(GetParentObject(), value);
        } else {
            mValue = value;
        }
        ValueWritten();
        NotifyValueChanged();
    }

    template <auto G>
    static Getter MakeGetter() {
        if constexpr (std::is_null_pointer<decltype(G)>::value) {
            return nullptr;
        } else {
            return [](VObject* owner) -> Storage {
                using C = typename vproperty_detail::MemberFn<decltype(G)>::Class;
                return static_cast<Storage>((static_cast<C*>(owner)->*G)());
            };
        }
    }
    template <auto S>
    static Setter MakeSetter() {
        if constexpr (std::is_null_pointer<decltype(S)>::value) {
            return nullptr;
        } else {
            return [](VObject* owner, Storage value) {
                using F = vproperty_detail::MemberFn<decltype(S)>;
                using C = typename F::Class;
                using A = std::decay_t<typename F::Arg>;
                (static_cast<C*>(owner)->*S)(static_cast<A>(value));
            };
        }
    }

    // Refreshed by reads through the getter. The callbacks live in the description, so that a
    // member property is its plug, its description pointer and its value.
    mutable Storage mValue;
};

// A member property a class lists without making it: the description every object of the
// class shares, the function that makes the property of one object when it is first asked
// for, and the state flags it starts with. An object of the scene lists some seventy member
// properties and most are never touched one by one: until then each costs a slot of the
// list, and the value lives in the object (reached through the description's accessors).
struct OXA_API VDeferredProperty {
    const VPropertyInfo* mInfo;
    VProperty* (*mMake)(VObject* owner, const VPropertyInfo* info);
    int mState;
};

// VDeferredProperty::mMake for a property template of T: the property, declared with the
// shared description `info` (which holds the accessors); null when memory ran out.
template <typename T>
VProperty* MakeDeferredPropertyTemplate(VObject* owner, const VPropertyInfo* info) {
    auto* property = new (std::nothrow) VPropertyTemplate<T>();
    if (!property) {
        oxa_alloc::NoteFailure();
        return nullptr;
    }
    property->VProperty::Declare(info, owner);
    return property;
}

#endif  // OXA_OBJECTS_VPROPERTY_H
