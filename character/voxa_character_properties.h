#ifndef OXA_CHARACTER_VOXA_CHARACTER_PROPERTIES_H
#define OXA_CHARACTER_VOXA_CHARACTER_PROPERTIES_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/character/voxa_constraint_property.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaCharacter;

// The enumerations of the character's properties (value type 6); each property names its
// values through its own callback, so two properties of one enumeration may differ.
enum kCharacterPosture : int { kCharacterPostureBiped = 0, kCharacterPostureQuadruped = 1 };
enum kCharacterOffAutoUser : int { kCharacterOff = 0, kCharacterAuto = 1, kCharacterUser = 2 };
enum kCharacterAutoUser : int { kCharacterAutoUserAuto = 0, kCharacterAutoUserUser = 1 };
enum kCharacterRollExtractionMode : int { kCharacterRollRelative = 0, kCharacterRollAbsolute = 1 };
enum kCharacterFloorPivot : int {
    kCharacterFloorPivotAuto = 0,
    kCharacterFloorPivot1 = 1,
    kCharacterFloorPivot2 = 2
};
enum kCharacterFloorContactType : int {
    kCharacterContactNormal = 0,
    kCharacterContact1 = 1,
    kCharacterContact2 = 2,
    kCharacterContactHoof = 3
};
enum kCharacterFingerContactMode : int {
    kCharacterFingerSticky = 0,
    kCharacterFingerSpread = 1,
    kCharacterFingerStickyAndSpread = 2
};
enum kCharacterHipsTranslationMode : int { kCharacterHipsWorldRigid = 0, kCharacterHipsBodyRigid = 1 };
enum kCharacterContactBehaviour : int {
    kCharacterNeverSync = 0,
    kCharacterSyncOnKey = 1,
    kCharacterAlwaysSync = 2
};

// The property block of a character: its 191 value properties (solver settings), then one
// link property "<node>Link" per named character node id in id order (187), then the object
// lists "SourceObject", "DestinationObject", "Actor", "Character" and "ControlSet".
//
// Most value properties mirror the mode or the value of one parameter of the character's
// parameter store, and take it at construction. Afterwards a settable property that is not
// animatable writes the store at once (some after clamping to their own limits); an animatable
// one keeps its value to itself; read-only ones have no setter. A mode that the store refuses
// stays in the property. "Active", "Lock" and "Weight" live in the block alone.
//
// Connecting a node's block to a link property sets the character's link of that id (and
// disconnecting it clears it); connecting a control-set plug's block to "ControlSet" fills the
// character's control set from the plug.
class OXA_API VOxaCharacterProperties : public VOxaConstraintProperty {
    VOBJECT_DECLARE_CLASS()
public:
    enum { eValuePropertyCount = 191, eLinkPropertyCount = 187 };

    // The character's parameter store must exist already.
    explicit VOxaCharacterProperties(VOxaCharacter* character);
    ~VOxaCharacterProperties() override;

    VOxaObject* GetOwner() const override;
    VOxaCharacter* GetCharacter() const { return mCharacter; }
    // Forwarded to the character's take-node PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // Link properties and "ControlSet" as described above; everything else as the base.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    // Copies the store's modes and values into the properties they mirror.
    void LoadFromParameterStore();

    // The typed accessors, one pair per value property (no setter for read-only ones).
#define OXA_CP_SETTER_NONE(Name, Type)
#define OXA_CP_SETTER_KEEP(Name, Type) virtual void Set##Name(Type value);
#define OXA_CP_SETTER_MODE OXA_CP_SETTER_KEEP
#define OXA_CP_SETTER_VALUE OXA_CP_SETTER_KEEP
#define OXA_CP_SETTER_CLAMP30 OXA_CP_SETTER_KEEP
#define OXA_CP_SETTER_CLAMP1000 OXA_CP_SETTER_KEEP
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) \
    virtual Type Get##Name() const;                                          \
    OXA_CP_SETTER_##Set(Name, Type)
#include <oxa/character/voxa_character_property_table.h>
#undef OXA_CHARACTER_PROPERTY

    // The value property at registration index `index` (0..190), null outside.
    VProperty* GetValueProperty(int index) const;
    // The parameter that value property `index` mirrors for vector component `component`
    // (0 for plain properties), -1 when none; `isMode` tells mode from value.
    static int GetBoundParameter(int index, int component, bool* isMode);

    VPropertyObjectList& GetSourceObjectProperty() {
        return mSourceObject;
    }
    VPropertyObjectList& GetDestinationObjectProperty() {
        return mDestinationObject;
    }
    VPropertyObjectList& GetActorProperty() {
        return mActor;
    }
    VPropertyObjectList& GetCharacterProperty() {
        return mCharacterList;
    }
    VPropertyObjectList& GetControlSetProperty() {
        return mControlSet;
    }

private:
    enum EIndex : int {
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) eIndex##Name,
#include <oxa/character/voxa_character_property_table.h>
#undef OXA_CHARACTER_PROPERTY
    };

    template <typename T>
    void WriteMode(int index, T value);
    void WriteValue(int index, double value);
    void CreateLinkProperties();
    void DeclareObjectList(VPropertyObjectList& list, const char* name, bool filtered, int kind);
    bool HandleLinkEvent(int event, VPropertyObjectList* link, VPlug* other);

#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) VPropertyTemplate<Type> m##Name;
#include <oxa/character/voxa_character_property_table.h>
#undef OXA_CHARACTER_PROPERTY

    VPropertyObjectList mSourceObject;
    VPropertyObjectList mDestinationObject;
    VPropertyObjectList mActor;
    VPropertyObjectList mCharacterList;
    VPropertyObjectList mControlSet;
    VOxaCharacter* mCharacter;
};

#undef OXA_CP_SETTER_NONE
#undef OXA_CP_SETTER_KEEP
#undef OXA_CP_SETTER_MODE
#undef OXA_CP_SETTER_VALUE
#undef OXA_CP_SETTER_CLAMP30
#undef OXA_CP_SETTER_CLAMP1000

#endif  // OXA_CHARACTER_VOXA_CHARACTER_PROPERTIES_H
