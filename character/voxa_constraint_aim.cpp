#include "character/voxa_constraint_aim.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintAimProperties, VOxaConstraintProperty);

namespace {
const char kWeightSuffix[] = ".Weight";

// Declares a member list under `identifier`, then gives it its final name, the value type of
// object lists, the declared maximum (any class) and its direction.
void DeclareList(VPropertyObjectList& list, VObject* owner, const char* identifier, const char* name,
                 int maxCount, int connectionKind) {
    list.Declare(identifier, owner);
    owner->AddProperty(&list);
    list.SetNameAndType(name, eValueObjectList);
    list.SetConnectionRule(maxCount, -1);
    list.SetConnectionKind(connectionKind);
}

// Creates an animatable property of the block (info flag 0x2, state flag 0x8).
VProperty* CreateAnimated(VOxaPropertyHandler* block, const char* name, const char* dataTypeName) {
    VProperty* property = block->CreateProperty(name, dataTypeName, true);
    if (property) property->SetStateFlag(kPropertyAnimated, true);
    return property;
}

void SetVector(VProperty* property, double x, double y, double z) {
    const double values[4] = {x, y, z, 1.0};
    if (property) property->SetValue(values);
}
}  // namespace

const char* GetAimWorldUpTypeName(int value) {
    static const char* const kNames[] = {"Scene Up", "Object Up", "Object Rotation Up", "Vector", "None"};
    return value >= 0 && value < 5 ? kNames[value] : nullptr;
}

// ---- VOxaConstraintAimProperties ------------------------------------------------------------

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_AIM_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaConstraintAimProperties, Name)

VOxaConstraintAimProperties::VOxaConstraintAimProperties(VOxaConstraintAim* owner) : mOwner(owner) {
    // Declaration order is the order of the property list and of files.
    OXA_DECLARE_AIM_PROPERTY(Active);
    OXA_DECLARE_AIM_PROPERTY(Lock);
    DeclareList(mConstrainedObject, this, "ConstrainedObject", "Constrained Object", 1, kPlugIsSrc);
    DeclareList(mAimAtObjects, this, "AimAtObjects", "Aim At Object", -1, kPlugAcceptsSrc);
    DeclareList(mWorldUpObject, this, "WorldUpObject", "World Up Object", 1, kPlugAcceptsSrc);
    OXA_DECLARE_AIM_PROPERTY(WorldUpType);
    mWorldUpType.SetValueType(eValueEnum);
    mWorldUpType.GetInfo().SetEnumNameCallback(&GetAimWorldUpTypeName);
    OXA_DECLARE_AIM_PROPERTY(AffectX);
    OXA_DECLARE_AIM_PROPERTY(AffectY);
    OXA_DECLARE_AIM_PROPERTY(AffectZ);

    VProperty* worldUp = CreateAnimated(this, "WorldUpVector", "Vector");
    VProperty* up = CreateAnimated(this, "UpVector", "Vector");
    VProperty* aim = CreateAnimated(this, "AimVector", "Vector");
    VProperty* offset = CreateAnimated(this, "RotationOffset", "Vector");
    VProperty* weight = CreateAnimated(this, "Weight", "Weight");

    mWorldUpType.SetStoredValue(VOxaConstraintAim::eAimAtSceneUp);
    SetVector(worldUp, 0.0, 1.0, 0.0);
    SetVector(up, 0.0, 1.0, 0.0);
    SetVector(offset, 0.0, 0.0, 0.0);
    SetVector(aim, 1.0, 0.0, 0.0);
    if (weight) weight->SetDouble(100.0);
}

#undef OXA_DECLARE_AIM_PROPERTY

VOxaConstraintAimProperties::~VOxaConstraintAimProperties() = default;

VOxaObject* VOxaConstraintAimProperties::GetOwner() const {
    return mOwner;
}

void VOxaConstraintAimProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

#define OXA_AIM_ACCESSORS(Type, Name)                         \
    Type VOxaConstraintAimProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);                        \
        return value;                                         \
    }                                                         \
    Type VOxaConstraintAimProperties::Get##Name() const {     \
        return m##Name.GetStoredValue();                      \
    }

OXA_AIM_ACCESSORS(VOxaConstraintAim::EAimConstraintWoldUpType, WorldUpType)
OXA_AIM_ACCESSORS(bool, Active)
OXA_AIM_ACCESSORS(bool, Lock)
OXA_AIM_ACCESSORS(bool, AffectX)
OXA_AIM_ACCESSORS(bool, AffectY)
OXA_AIM_ACCESSORS(bool, AffectZ)

#undef OXA_AIM_ACCESSORS

// ---- VOxaConstraintAim ----------------------------------------------------------------------

VOxaConstraintAim::VOxaConstraintAim(VOxaSdkManager* manager, const char* name)
    : VOxaConstraint(manager, name) {
    mProperties = new VOxaConstraintAimProperties(this);
    AdoptPropertyBlock(mProperties);
    AddDefaultTakeNode();
    mProperties->SetName(name);
    CreatePropertyHandles();
}

VOxaConstraintAim::~VOxaConstraintAim() {
    DestroyPropertyBlock();
    mProperties = nullptr;
}

VString VOxaConstraintAim::GetTypeName() const {
    return VString("Aim");
}

void VOxaConstraintAim::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VOxaConstraint::CreateTakeNodeChannels(takeNode);
}

void VOxaConstraintAim::SetOffset(VgeTVector offset) {
    SetVectorAndPublish("RotationOffset", offset);
}

VgeTVector VOxaConstraintAim::GetOffset() const {
    return GetVector("RotationOffset", VgeTVector(0.0, 0.0, 0.0, 1.0));
}

// Setters write the stored value (no event, no range check); getters read the property.
#define OXA_AIM_MEMBER(Type, Name, Fallback)                             \
    void VOxaConstraintAim::Set##Name(Type value) {                      \
        if (mProperties) mProperties->m##Name.SetStoredValue(value);     \
    }                                                                    \
    Type VOxaConstraintAim::Get##Name() const {                          \
        return mProperties ? mProperties->m##Name.GetValue() : Fallback; \
    }

OXA_AIM_MEMBER(bool, Active, false)
OXA_AIM_MEMBER(bool, Lock, false)
OXA_AIM_MEMBER(bool, AffectX, false)
OXA_AIM_MEMBER(bool, AffectY, false)
OXA_AIM_MEMBER(bool, AffectZ, false)
OXA_AIM_MEMBER(VOxaConstraintAim::EAimConstraintWoldUpType, WorldUpType, eAimAtSceneUp)

#undef OXA_AIM_MEMBER

void VOxaConstraintAim::SetWeight(double weight) {
    SetAndPublish("Weight", weight);
}

void VOxaConstraintAim::StoreVector(const char* name, const VgeTVector& value) {
    // The stored value is written directly, so no value event reaches the take channels.
    // A property of another class (possible after reading a file) is left alone.
    auto* property = dynamic_cast<VPropertyTemplate<VgeTVector>*>(FindBlockProperty(name));
    if (property) property->SetStoredValue(value);
}

void VOxaConstraintAim::SetWorldUpVector(VgeTVector vector) {
    StoreVector("WorldUpVector", vector);
}

void VOxaConstraintAim::SetUpVector(VgeTVector vector) {
    StoreVector("UpVector", VgeTVector(vector[0], vector[1], vector[2], 1.0));
}

void VOxaConstraintAim::SetAimVector(VgeTVector vector) {
    StoreVector("AimVector", VgeTVector(vector[0], vector[1], vector[2], 1.0));
}

VgeTVector VOxaConstraintAim::GetWorldUpVector() const {
    return GetVector("WorldUpVector", VgeTVector(0.0, 1.0, 0.0, 1.0));
}

VgeTVector VOxaConstraintAim::GetUpVector() const {
    return GetVector("UpVector", VgeTVector(0.0, 1.0, 0.0, 1.0));
}

VgeTVector VOxaConstraintAim::GetAimVector() const {
    return GetVector("AimVector", VgeTVector(1.0, 0.0, 0.0, 1.0));
}

void VOxaConstraintAim::AddAimAtObject(VOxaObject* object, double weight) {
    if (mProperties)
        AddSourceWithProperty(&mProperties->mAimAtObjects, object, kWeightSuffix, "Number", &weight);
}

int VOxaConstraintAim::GetAimAtObjectCount() const {
    return mProperties ? mProperties->mAimAtObjects.GetCount() : 0;
}

VOxaObject* VOxaConstraintAim::GetAimAtObject(int index) const {
    return mProperties ? GetListObject(&mProperties->mAimAtObjects, index) : nullptr;
}

double VOxaConstraintAim::GetAimAtObjectWeight(const VOxaObject* object) const {
    VProperty* property = FindSourceProperty(object, kWeightSuffix);
    double values[4] = {100.0, 0.0, 0.0, 0.0};  // room for any value a file may have given it
    if (!property || property->GetValue(values) < 1) return 100.0;
    return values[0];
}

VOxaObject* VOxaConstraintAim::GetConstrainedObject() const {
    return mProperties ? GetListObject(&mProperties->mConstrainedObject, 0) : nullptr;
}

void VOxaConstraintAim::SetWorldUpObject(VOxaObject* object) {
    if (mProperties && AcceptsObject(object)) SetListObject0(&mProperties->mWorldUpObject, object);
}

VOxaObject* VOxaConstraintAim::GetWorldUpObject() const {
    return mProperties ? GetListObject(&mProperties->mWorldUpObject, 0) : nullptr;
}
