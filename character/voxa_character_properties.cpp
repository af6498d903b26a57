#include "character/voxa_character_properties.h"

#include <cstdio>

#include "character/voxa_character.h"
#include "character/voxa_control_set_plug.h"
#include "scene/voxa_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaCharacterProperties, VOxaConstraintProperty);

namespace {

// What a value property's setter does (see voxa_character_property_table.h).
enum ESetKind : int { kSetNONE, kSetKEEP, kSetMODE, kSetVALUE, kSetCLAMP30, kSetCLAMP1000 };

// ---- Enumeration value names ------------------------------------------------------------------

template <int N>
const char* NameOf(const char* const (&names)[N], int value) {
    return (value >= 0 && value < N) ? names[value] : nullptr;
}

const char* PostureNames(int v) {
    static const char* const names[] = {"Biped", "Quadruped"};
    return NameOf(names, v);
}
const char* OffAutoUserNames(int v) {
    static const char* const names[] = {"Off", "Auto", "User"};
    return NameOf(names, v);
}
const char* AutoUserNames(int v) {
    static const char* const names[] = {"Auto", "User"};
    return NameOf(names, v);
}
const char* RollExtractionNames(int v) {
    static const char* const names[] = {"Relative", "Absolute"};
    return NameOf(names, v);
}
const char* FootFloorPivotNames(int v) {
    static const char* const names[] = {"Auto", "Ankle", "Toes"};
    return NameOf(names, v);
}
const char* HandFloorPivotNames(int v) {
    static const char* const names[] = {"Auto", "Wrist", "Fingers"};
    return NameOf(names, v);
}
const char* FootContactTypeNames(int v) {
    static const char* const names[] = {"Normal", "Ankle", "ToeBase", "Hoof"};
    return NameOf(names, v);
}
const char* HandContactTypeNames(int v) {
    static const char* const names[] = {"Normal", "Wrist", "FingerBase", "Hoof"};
    return NameOf(names, v);
}
const char* FingerContactModeNames(int v) {
    static const char* const names[] = {"Sticky", "Spread", "Sticky & Spread"};
    return NameOf(names, v);
}
const char* HipsTranslationNames(int v) {
    static const char* const names[] = {"World Rigid", "Body Rigid"};
    return NameOf(names, v);
}
const char* ContactBehaviourNames(int v) {
    static const char* const names[] = {"Never Sync", "Sync On Key", "Always Sync"};
    return NameOf(names, v);
}
constexpr VEnumNameCallback None = nullptr;

// An enumeration property gets value type 6 and its names; other properties nothing.
template <typename T>
void SetEnumNames(VPropertyTemplate<T>& property, VEnumNameCallback names) {
    if (!names) return;
    property.SetValueType(eValueEnum);
    property.GetInfo().SetEnumNameCallback(names);
}

// ---- The parameter binding, derived once from the parameter-to-property map -------------------

const char* const kValueNames[VOxaCharacterProperties::eValuePropertyCount] = {
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) #Name,
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY
};

struct Binding {
    short mParameter[3];  // per vector component; -1 none
    bool mIsMode;
};

const Binding* Bindings() {
    static const struct Table {
        Binding mRows[VOxaCharacterProperties::eValuePropertyCount];
        Table() {
            for (int i = 0; i < VOxaCharacterProperties::eValuePropertyCount; ++i) {
                Binding& row = mRows[i];
                row.mIsMode = false;
                for (int c = 0; c < 3; ++c) {
                    bool isMode = false;
                    int parameter = VOxaCharacterParameterStore::FindParameterIndexForProperty(kValueNames[i],
                                                                                               c, &isMode);
                    row.mParameter[c] = (short)parameter;
                    if (c == 0 && parameter >= 0) row.mIsMode = isMode;
                }
            }
        }
    } table;
    return table.mRows;
}

// ---- The initial copy from the store ------------------------------------------------------------

template <typename T>
void Put(VPropertyTemplate<T>& property, const T& value, bool throughSet) {
    if (throughSet) {
        property.SetValue(value);
    } else {
        property.SetStoredValue(value);
    }
}

void Load(VPropertyTemplate<bool>& property, const Binding& binding, const VOxaCharacterParameterStore& store,
          bool throughSet) {
    int parameter = binding.mParameter[0];
    bool value = binding.mIsMode ? store.GetMode(parameter) != 0 : store.GetValue(parameter) != 0.0;
    Put(property, value, throughSet);
}

void Load(VPropertyTemplate<double>& property, const Binding& binding,
          const VOxaCharacterParameterStore& store, bool throughSet) {
    int parameter = binding.mParameter[0];
    double value = binding.mIsMode ? (double)store.GetMode(parameter) : store.GetValue(parameter);
    Put(property, value, throughSet);
}

void Load(VPropertyTemplate<VgeTVector>& property, const Binding& binding,
          const VOxaCharacterParameterStore& store, bool throughSet) {
    VgeTVector value(store.GetValue(binding.mParameter[0]), store.GetValue(binding.mParameter[1]),
                     store.GetValue(binding.mParameter[2]), 1.0);
    Put(property, value, throughSet);
}

template <typename E>
void Load(VPropertyTemplate<E>& property, const Binding& binding, const VOxaCharacterParameterStore& store,
          bool throughSet) {
    static_assert(std::is_enum<E>::value, "enumerations only");
    int parameter = binding.mParameter[0];
    // A value is truncated toward zero (saturating, so that a value from a file stays defined).
    int value =
        binding.mIsMode ? store.GetMode(parameter) : vproperty_detail::DoubleToInt(store.GetValue(parameter));
    Put(property, static_cast<E>(value), throughSet);
}

double ClampTo(double value, double low, double high) {
    // Not-a-number takes the lower limit.
    if (!(value >= low)) return low;
    return value > high ? high : value;
}

}  // namespace

// ---- Construction -----------------------------------------------------------------------------

VOxaCharacterProperties::VOxaCharacterProperties(VOxaCharacter* character) : mCharacter(character) {
    using Self = VOxaCharacterProperties;
#define OXA_CP_DECLARE_NONE(Name) m##Name.Declare<&Self::Get##Name>(#Name, this)
#define OXA_CP_DECLARE_KEEP(Name) m##Name.Declare<&Self::Get##Name, &Self::Set##Name>(#Name, this)
#define OXA_CP_DECLARE_MODE OXA_CP_DECLARE_KEEP
#define OXA_CP_DECLARE_VALUE OXA_CP_DECLARE_KEEP
#define OXA_CP_DECLARE_CLAMP30 OXA_CP_DECLARE_KEEP
#define OXA_CP_DECLARE_CLAMP1000 OXA_CP_DECLARE_KEEP
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) \
    OXA_CP_DECLARE_##Set(Name);                                              \
    AddProperty(&m##Name);                                                   \
    if (kSet##Set == kSetNONE) m##Name.SetReadOnly(true);                    \
    SetEnumNames(m##Name, EnumNames);
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY
#undef OXA_CP_DECLARE_NONE
#undef OXA_CP_DECLARE_KEEP
#undef OXA_CP_DECLARE_MODE
#undef OXA_CP_DECLARE_VALUE
#undef OXA_CP_DECLARE_CLAMP30
#undef OXA_CP_DECLARE_CLAMP1000

    mSyncMode.SetStateFlag(kPropertyState1, true);
    mActive.SetValue(true);
    mLock.SetValue(false);
    mWeight.SetValue(100.0);

#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) \
    if (Animatable) {                                                        \
        m##Name.GetInfo().SetFlag(kPropertyAnimatable, true);                \
        m##Name.SetStateFlag(kPropertyAnimated, true);                       \
    }
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY

    LoadFromParameterStore();
    CreateLinkProperties();
    DeclareObjectList(mSourceObject, "SourceObject", true, kPlugAcceptsSrc);
    DeclareObjectList(mDestinationObject, "DestinationObject", true, kPlugIsSrc);
    DeclareObjectList(mActor, "Actor", false, kPlugAcceptsSrc);
    DeclareObjectList(mCharacterList, "Character", false, kPlugAcceptsSrc);
    DeclareObjectList(mControlSet, "ControlSet", false, kPlugAcceptsSrc);
}

VOxaCharacterProperties::~VOxaCharacterProperties() = default;

void VOxaCharacterProperties::CreateLinkProperties() {
    char name[64];
    for (int id = 0; id < VOxaCharacter::eNodeIdCount; ++id) {
        VOxaCharacterLink* slot = mCharacter ? &mCharacter->mLinks[id] : nullptr;
        if (slot) slot->mProperty = nullptr;
        const char* nodeName = nullptr;
        if (!VOxaCharacter::GetCharacterNodeNameFromNodeId(id, nodeName)) continue;
        std::snprintf(name, sizeof(name), "%sLink", nodeName);
        VPropertyObjectList* list =
            CreatePropertyObjectList(this, name, 0, -1, 1, kPlugAcceptsSrc | kPlugIsSrc, 0);
        if (!list) continue;
        list->SetUserValue(id);
        if (slot) slot->mProperty = list;
    }
}

void VOxaCharacterProperties::DeclareObjectList(VPropertyObjectList& list, const char* name, bool filtered,
                                                int kind) {
    list.Declare(name, this);
    AddProperty(&list);
    list.SetFilter(GetClassFilter(-1), filtered ? kPlugFilteredChild : 0);
    list.SetValueType(eValueObjectList);
    list.SetConnectionRule(1, -1);
    list.SetConnectionKind(kind);
}

void VOxaCharacterProperties::LoadFromParameterStore() {
    const VOxaCharacterParameterStore* store = mCharacter ? mCharacter->GetParameterStore() : nullptr;
    if (!store) return;
    const Binding* bindings = Bindings();
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, LoadThroughSet, EnumNames) \
    if (bindings[eIndex##Name].mParameter[0] >= 0)                                     \
        Load(m##Name, bindings[eIndex##Name], *store, kSet##Set == kSetNONE || LoadThroughSet);
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY
}

// ---- Accessors ----------------------------------------------------------------------------------

template <typename T>
void VOxaCharacterProperties::WriteMode(int index, T value) {
    VOxaCharacterParameterStore* store = mCharacter ? mCharacter->GetParameterStore() : nullptr;
    const Binding& binding = Bindings()[index];
    if (store && binding.mParameter[0] >= 0) store->SetMode(binding.mParameter[0], static_cast<int>(value));
}

void VOxaCharacterProperties::WriteValue(int index, double value) {
    VOxaCharacterParameterStore* store = mCharacter ? mCharacter->GetParameterStore() : nullptr;
    const Binding& binding = Bindings()[index];
    if (store && binding.mParameter[0] >= 0) store->SetValue(binding.mParameter[0], value, 0);
}

#define OXA_CP_SETTER_NONE(Name, Type)
#define OXA_CP_SETTER_KEEP(Name, Type)                    \
    void VOxaCharacterProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);                    \
    }
#define OXA_CP_SETTER_MODE(Name, Type)                    \
    void VOxaCharacterProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);                    \
        WriteMode(eIndex##Name, value);                   \
    }
#define OXA_CP_SETTER_VALUE(Name, Type)                       \
    void VOxaCharacterProperties::Set##Name(Type value) {     \
        m##Name.SetStoredValue(value);                        \
        WriteValue(eIndex##Name, static_cast<double>(value)); \
    }
#define OXA_CP_SETTER_CLAMP30(Name, Type)                 \
    void VOxaCharacterProperties::Set##Name(Type value) { \
        value = ClampTo(value, 0.0, 30.0);                \
        m##Name.SetStoredValue(value);                    \
        WriteValue(eIndex##Name, value);                  \
    }
#define OXA_CP_SETTER_CLAMP1000(Name, Type)               \
    void VOxaCharacterProperties::Set##Name(Type value) { \
        value = ClampTo(value, 0.01, 1000.0);             \
        m##Name.SetStoredValue(value);                    \
        WriteValue(eIndex##Name, value);                  \
    }
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) \
    Type VOxaCharacterProperties::Get##Name() const {                        \
        return m##Name.GetStoredValue();                                     \
    }                                                                        \
    OXA_CP_SETTER_##Set(Name, Type)
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY
#undef OXA_CP_SETTER_NONE
#undef OXA_CP_SETTER_KEEP
#undef OXA_CP_SETTER_MODE
#undef OXA_CP_SETTER_VALUE
#undef OXA_CP_SETTER_CLAMP30
#undef OXA_CP_SETTER_CLAMP1000

VProperty* VOxaCharacterProperties::GetValueProperty(int index) const {
    auto* self = const_cast<VOxaCharacterProperties*>(this);
    switch (index) {
#define OXA_CHARACTER_PROPERTY(Name, Type, Set, Animatable, Load, EnumNames) \
    case eIndex##Name:                                                       \
        return &self->m##Name;
#include "character/voxa_character_property_table.h"
#undef OXA_CHARACTER_PROPERTY
        default:
            return nullptr;
    }
}

int VOxaCharacterProperties::GetBoundParameter(int index, int component, bool* isMode) {
    if (index < 0 || index >= eValuePropertyCount || component < 0 || component > 2) return -1;
    const Binding& binding = Bindings()[index];
    if (isMode) *isMode = binding.mIsMode;
    return binding.mParameter[component];
}

// ---- Owner and events ---------------------------------------------------------------------------

VOxaObject* VOxaCharacterProperties::GetOwner() const {
    return mCharacter;
}

void VOxaCharacterProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mCharacter) mCharacter->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

namespace {
// The scene object behind a connected plug: the owner of a property block; null otherwise.
VOxaObject* OwnerOfPlug(VPlug* plug) {
    if (!plug || !plug->IsA(VOxaPropertyHandler::ClassInfo.GetId())) return nullptr;
    return static_cast<VOxaPropertyHandler*>(plug)->GetOwner();
}
}  // namespace

bool VOxaCharacterProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    if (mCharacter && plug && plug != this && plug->GetParentObject() == this &&
        plug->IsA(VPropertyObjectList::ClassInfo.GetId())) {
        if (plug == &mControlSet) {
            if (event == ePlugConnectedSrc) {
                // Only a control-set plug fills the control set.
                VOxaObject* owner = OwnerOfPlug(other);
                if (owner && owner->GetTypeCode() == 12)
                    mCharacter->GetControlSet()->FromPlug(static_cast<VOxaControlSetPlug*>(owner));
                return false;
            }
        } else if (plug != &mSourceObject && plug != &mDestinationObject && plug != &mActor &&
                   plug != &mCharacterList) {
            auto* list = static_cast<VPropertyObjectList*>(plug);
            if ((event == ePlugConnectedSrc || event == ePlugDisconnectingSrc) &&
                HandleLinkEvent(event, list, other))
                return false;
        }
    }
    return VOxaConstraintProperty::ConnectNotify(event, plug, other);
}

bool VOxaCharacterProperties::HandleLinkEvent(int event, VPropertyObjectList* list, VPlug* other) {
    int id = list->GetUserValue();
    // Only the character's own link properties; an id from anywhere else changes nothing.
    if (id < 0 || id >= VOxaCharacter::eNodeIdCount || mCharacter->mLinks[id].mProperty != list) return false;
    VOxaCharacterLink record(mCharacter->mLinks[id]);
    VOxaObject* owner = OwnerOfPlug(other);
    VOxaNode* node = (owner && owner->GetTypeCode() == 1) ? static_cast<VOxaNode*>(owner) : nullptr;
    if (event == ePlugConnectedSrc) {
        record.mNode = node;
    } else {
        // Only the departure of the slot's own node empties it: another block leaving the
        // list must not take the slot's node away.
        if (record.mNode != node) return true;
        record.mNode = nullptr;
    }
    // Without the update flag: the property's own connections are changing already.
    mCharacter->SetCharacterLink(id, record, false);
    return true;
}
