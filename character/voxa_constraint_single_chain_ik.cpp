#include "character/voxa_constraint_single_chain_ik.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintSingleChainIKProperties, VOxaConstraintProperty);

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
}  // namespace

const char* GetSolverTypeName(int value) {
    static const char* const kNames[] = {"ikRPSolver", "ikSCSolver"};
    return value >= 0 && value < 2 ? kNames[value] : nullptr;
}

const char* GetPoleVectorTypeName(int value) {
    static const char* const kNames[] = {"Vector", "Object"};
    return value >= 0 && value < 2 ? kNames[value] : nullptr;
}

const char* GetEvaluateTSAnimName(int value) {
    static const char* const kNames[] = {"Never", "Auto", "Always"};
    return value >= 0 && value < 3 ? kNames[value] : nullptr;
}

// ---- VOxaConstraintSingleChainIKProperties ---------------------------------------------------

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_IK_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaConstraintSingleChainIKProperties, Name)

VOxaConstraintSingleChainIKProperties::VOxaConstraintSingleChainIKProperties(
    VOxaConstraintSingleChainIK* owner)
    : mOwner(owner) {
    // Declaration order is the order of the property list and of files.
    OXA_DECLARE_IK_PROPERTY(Active);
    OXA_DECLARE_IK_PROPERTY(Lock);
    DeclareList(mFirstJoint, this, "FirstJoint", "First Joint", 1, kPlugIsSrc);
    DeclareList(mEndJoint, this, "EndJoint", "End Joint", 1, kPlugIsSrc);
    DeclareList(mEffector, this, "Effector", "Effector", 1, kPlugAcceptsSrc);
    DeclareList(mPoleVectorObject, this, "PoleVectorObject", "Pole Vector Object", -1, kPlugAcceptsSrc);
    OXA_DECLARE_IK_PROPERTY(SolverType);
    mSolverType.SetValueType(eValueEnum);
    mSolverType.GetInfo().SetEnumNameCallback(&GetSolverTypeName);
    OXA_DECLARE_IK_PROPERTY(PoleVectorType);
    mPoleVectorType.SetValueType(eValueEnum);
    mPoleVectorType.GetInfo().SetEnumNameCallback(&GetPoleVectorTypeName);
    OXA_DECLARE_IK_PROPERTY(EvaluateTSAnim);
    mEvaluateTSAnim.SetValueType(eValueEnum);
    mEvaluateTSAnim.GetInfo().SetEnumNameCallback(&GetEvaluateTSAnimName);

    VProperty* pole = CreateAnimated(this, "PoleVector", "Vector");
    VProperty* twist = CreateAnimated(this, "Twist", "Number");
    VProperty* weight = CreateAnimated(this, "Weight", "Weight");

    mSolverType.SetStoredValue(VOxaConstraintSingleChainIK::eSingleChain);
    mPoleVectorType.SetStoredValue(VOxaConstraintSingleChainIK::ePoleVectorTypeVector);
    mEvaluateTSAnim.SetStoredValue(VOxaConstraintSingleChainIK::eNever);
    const double origin[4] = {0.0, 0.0, 0.0, 1.0};
    if (pole) pole->SetValue(origin);
    if (weight) weight->SetDouble(100.0);
    if (twist) twist->SetDouble(0.0);
}

#undef OXA_DECLARE_IK_PROPERTY

VOxaConstraintSingleChainIKProperties::~VOxaConstraintSingleChainIKProperties() = default;

VOxaObject* VOxaConstraintSingleChainIKProperties::GetOwner() const {
    return mOwner;
}

void VOxaConstraintSingleChainIKProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

#define OXA_IK_ACCESSORS(Type, Name)                                    \
    Type VOxaConstraintSingleChainIKProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);                                  \
        return value;                                                   \
    }                                                                   \
    Type VOxaConstraintSingleChainIKProperties::Get##Name() const {     \
        return m##Name.GetStoredValue();                                \
    }

OXA_IK_ACCESSORS(VOxaConstraintSingleChainIK::ESolverType, SolverType)
OXA_IK_ACCESSORS(VOxaConstraintSingleChainIK::EPoleVectorType, PoleVectorType)
OXA_IK_ACCESSORS(VOxaConstraintSingleChainIK::EEvalTS, EvaluateTSAnim)
OXA_IK_ACCESSORS(bool, Active)
OXA_IK_ACCESSORS(bool, Lock)

#undef OXA_IK_ACCESSORS

// ---- VOxaConstraintSingleChainIK ------------------------------------------------------------

VOxaConstraintSingleChainIK::VOxaConstraintSingleChainIK(VOxaSdkManager* manager, const char* name)
    : VOxaConstraint(manager, name) {
    mProperties = new VOxaConstraintSingleChainIKProperties(this);
    AdoptPropertyBlock(mProperties);
    AddDefaultTakeNode();
    mProperties->SetName(name);
    CreatePropertyHandles();
}

VOxaConstraintSingleChainIK::~VOxaConstraintSingleChainIK() {
    DestroyPropertyBlock();
    mProperties = nullptr;
}

VString VOxaConstraintSingleChainIK::GetTypeName() const {
    return VString("Single Chain IK");
}

void VOxaConstraintSingleChainIK::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VOxaConstraint::CreateTakeNodeChannels(takeNode);
}

// Setters write the stored value (no event, no range check); getters read the property.
#define OXA_IK_MEMBER(Type, Name, Fallback)                              \
    void VOxaConstraintSingleChainIK::Set##Name(Type value) {            \
        if (mProperties) mProperties->m##Name.SetStoredValue(value);     \
    }                                                                    \
    Type VOxaConstraintSingleChainIK::Get##Name() const {                \
        return mProperties ? mProperties->m##Name.GetValue() : Fallback; \
    }

OXA_IK_MEMBER(bool, Active, false)
OXA_IK_MEMBER(bool, Lock, false)
OXA_IK_MEMBER(VOxaConstraintSingleChainIK::ESolverType, SolverType, eSingleChain)
OXA_IK_MEMBER(VOxaConstraintSingleChainIK::EPoleVectorType, PoleVectorType, ePoleVectorTypeVector)
OXA_IK_MEMBER(VOxaConstraintSingleChainIK::EEvalTS, EvaluateTSAnim, eNever)

#undef OXA_IK_MEMBER

void VOxaConstraintSingleChainIK::SetWeight(double weight) {
    SetAndPublish("Weight", weight);
}

namespace {
// The first component of `property`, or `fallback` when it is missing or holds no number. The
// buffer has room for the four components a property read from a file may hold.
double FirstValue(const VProperty* property, double fallback) {
    double values[4] = {fallback, 0.0, 0.0, 0.0};
    if (!property || property->GetValue(values) < 1) return fallback;
    return values[0];
}
}  // namespace

double VOxaConstraintSingleChainIK::GetWeight() const {
    return FirstValue(FindBlockProperty("Weight"), 100.0);
}

void VOxaConstraintSingleChainIK::SetTwist(double twist) {
    SetAndPublish("Twist", twist);
}

double VOxaConstraintSingleChainIK::GetTwist() const {
    return FirstValue(FindBlockProperty("Twist"), 0.0);
}

void VOxaConstraintSingleChainIK::SetPoleVector(VgeTVector pole) {
    SetVectorAndPublish("PoleVector", pole);
}

VgeTVector VOxaConstraintSingleChainIK::GetPoleVector() const {
    return GetVector("PoleVector", VgeTVector(0.0, 0.0, 0.0, 1.0));
}

void VOxaConstraintSingleChainIK::SetFirstJoint(VOxaObject* object) {
    if (mProperties && AcceptsObject(object)) SetListObject0(&mProperties->mFirstJoint, object);
}

VOxaObject* VOxaConstraintSingleChainIK::GetFirstJoint() const {
    return mProperties ? GetListObject(&mProperties->mFirstJoint, 0) : nullptr;
}

void VOxaConstraintSingleChainIK::SetEndJoint(VOxaObject* object) {
    if (mProperties && AcceptsObject(object)) SetListObject0(&mProperties->mEndJoint, object);
}

VOxaObject* VOxaConstraintSingleChainIK::GetEndJoint() const {
    return mProperties ? GetListObject(&mProperties->mEndJoint, 0) : nullptr;
}

void VOxaConstraintSingleChainIK::SetEffector(VOxaObject* object) {
    if (mProperties && AcceptsObject(object)) SetListObject0(&mProperties->mEffector, object);
}

VOxaObject* VOxaConstraintSingleChainIK::GetEffector() const {
    return mProperties ? GetListObject(&mProperties->mEffector, 0) : nullptr;
}

void VOxaConstraintSingleChainIK::AddPoleVectorObject(VOxaObject* object, double weight) {
    if (mProperties)
        AddSourceWithProperty(&mProperties->mPoleVectorObject, object, kWeightSuffix, "Number", &weight);
}

int VOxaConstraintSingleChainIK::GetPoleVectorObjectCount() const {
    return mProperties ? mProperties->mPoleVectorObject.GetCount() : 0;
}

VOxaObject* VOxaConstraintSingleChainIK::GetPoleVectorObject(int index) const {
    return mProperties ? GetListObject(&mProperties->mPoleVectorObject, index) : nullptr;
}

double VOxaConstraintSingleChainIK::GetPoleVectorObjectWeight(const VOxaObject* object) const {
    return FirstValue(FindSourceProperty(object, kWeightSuffix), 100.0);
}
