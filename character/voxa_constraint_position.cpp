#include "character/voxa_constraint_position.h"

#include "objects/voxa_user_property.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintPositionProperties, VOxaConstraintProperty);

namespace {
const char* const kSourceWeightSuffix = ".Weight";
}

// ---- Property block ---------------------------------------------------------------------------

VOxaConstraintOffsetProperties::VOxaConstraintOffsetProperties(VOxaConstraintOffsetFamily* owner,
                                                               const char* offsetName)
    : mOwner(owner) {
    using Self = VOxaConstraintOffsetProperties;
    mActive.Declare<&Self::GetActive, &Self::SetActive>("Active", this);
    AddProperty(&mActive);
    mLock.Declare<&Self::GetLock, &Self::SetLock>("Lock", this);
    AddProperty(&mLock);

    mConstrainedObject.Declare("Constrained Object", this);
    AddProperty(&mConstrainedObject);
    mConstrainedObject.SetNameAndType("Constrained Object", eValueObjectList);
    mConstrainedObject.SetConnectionRule(1, -1);
    mConstrainedObject.SetConnectionKind(kPlugIsSrc);

    mSource.Declare("Source", this);
    AddProperty(&mSource);
    mSource.SetNameAndType("Source", eValueObjectList);
    mSource.SetConnectionRule(-1, -1);
    mSource.SetConnectionKind(kPlugAcceptsSrc);

    mAffectX.Declare<&Self::GetAffectX, &Self::SetAffectX>("AffectX", this);
    AddProperty(&mAffectX);
    mAffectY.Declare<&Self::GetAffectY, &Self::SetAffectY>("AffectY", this);
    AddProperty(&mAffectY);
    mAffectZ.Declare<&Self::GetAffectZ, &Self::SetAffectZ>("AffectZ", this);
    AddProperty(&mAffectZ);

    VProperty* offset = CreateProperty(offsetName, "Vector", true);
    VProperty* weight = CreateProperty("Weight", "Weight", true);
    if (offset) {
        offset->SetStateFlag(kPropertyAnimated, true);
        const double zero[4] = {0.0, 0.0, 0.0, 1.0};
        offset->SetValue(zero);
    }
    if (weight) {
        weight->SetStateFlag(kPropertyAnimated, true);
        weight->SetDouble(100.0);
    }
}

VOxaConstraintOffsetProperties::~VOxaConstraintOffsetProperties() = default;

VOxaObject* VOxaConstraintOffsetProperties::GetOwner() const {
    return mOwner;
}

void VOxaConstraintOffsetProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

// ---- Family ---------------------------------------------------------------------------------

VOxaConstraintOffsetFamily::VOxaConstraintOffsetFamily(VOxaSdkManager* manager, const char* name,
                                                       const char* offsetName)
    : VOxaConstraint(manager, name), mOffsetName(offsetName) {}

void VOxaConstraintOffsetFamily::Initialize(VOxaConstraintOffsetProperties* properties) {
    mProperties = properties;
    AdoptPropertyBlock(properties);
    AddDefaultTakeNode();
    mProperties->SetName(GetName());
    CreatePropertyHandles();
}

VOxaConstraintOffsetFamily::~VOxaConstraintOffsetFamily() {
    DestroyPropertyBlock();
    mProperties = nullptr;
}

void VOxaConstraintOffsetFamily::SetActive(bool active) {
    if (mProperties) mProperties->SetActive(active);
}
bool VOxaConstraintOffsetFamily::GetActive() const {
    return mProperties && mProperties->GetActiveProperty().GetValue();
}
void VOxaConstraintOffsetFamily::SetLock(bool lock) {
    if (mProperties) mProperties->SetLock(lock);
}
bool VOxaConstraintOffsetFamily::GetLock() const {
    return mProperties && mProperties->GetLockProperty().GetValue();
}
void VOxaConstraintOffsetFamily::SetAffectX(bool affect) {
    if (mProperties) mProperties->SetAffectX(affect);
}
bool VOxaConstraintOffsetFamily::GetAffectX() const {
    return mProperties && mProperties->GetAffectXProperty().GetValue();
}
void VOxaConstraintOffsetFamily::SetAffectY(bool affect) {
    if (mProperties) mProperties->SetAffectY(affect);
}
bool VOxaConstraintOffsetFamily::GetAffectY() const {
    return mProperties && mProperties->GetAffectYProperty().GetValue();
}
void VOxaConstraintOffsetFamily::SetAffectZ(bool affect) {
    if (mProperties) mProperties->SetAffectZ(affect);
}
bool VOxaConstraintOffsetFamily::GetAffectZ() const {
    return mProperties && mProperties->GetAffectZProperty().GetValue();
}

void VOxaConstraintOffsetFamily::SetWeight(double weight) {
    SetAndPublish("Weight", weight);
}

void VOxaConstraintOffsetFamily::SetOffset(VgeTVector offset) {
    SetVectorAndPublish(mOffsetName, offset);
}

VgeTVector VOxaConstraintOffsetFamily::GetOffset() const {
    return GetVector(mOffsetName, VgeTVector(0.0, 0.0, 0.0, 1.0));
}

void VOxaConstraintOffsetFamily::AddSource(VOxaObject* object, double weight) {
    if (!mProperties) return;
    AddSourceWithProperty(&mProperties->GetSourceList(), object, kSourceWeightSuffix, "Number", &weight);
}

int VOxaConstraintOffsetFamily::GetSourceCount() const {
    return mProperties ? mProperties->GetSourceList().GetCount() : 0;
}

VOxaObject* VOxaConstraintOffsetFamily::GetSource(int index) const {
    return mProperties ? GetListObject(&mProperties->GetSourceList(), index) : nullptr;
}

double VOxaConstraintOffsetFamily::GetSourceWeight(const VOxaObject* object) const {
    VProperty* property = FindSourceProperty(object, kSourceWeightSuffix);
    // A block read from a file may hold a vector under this name: room for four values.
    double values[4] = {100.0, 0.0, 0.0, 0.0};
    if (!property || property->GetValue(values) < 1) return 100.0;
    return values[0];
}

void VOxaConstraintOffsetFamily::SetConstrainedObject(VOxaObject* object) {
    if (mProperties && AcceptsObject(object))
        SetListObject0(&mProperties->GetConstrainedObjectList(), object);
}

VOxaObject* VOxaConstraintOffsetFamily::GetConstrainedObject() const {
    return mProperties ? GetListObject(&mProperties->GetConstrainedObjectList(), 0) : nullptr;
}

// ---- Position ---------------------------------------------------------------------------------

VOxaConstraintPosition::VOxaConstraintPosition(VOxaSdkManager* manager, const char* name)
    : VOxaConstraintOffsetFamily(manager, name, "Translation") {
    Initialize(new VOxaConstraintPositionProperties(this));
}

VString VOxaConstraintPosition::GetTypeName() const {
    return VString("Position From Positions");
}

bool VOxaConstraintPosition::RemoveSource(VOxaObject* object) {
    if (!object) return false;
    VOxaPropertyHandler* block = object->GetPropertyHandler();
    if (block && mProperties) mProperties->GetSourceList().Remove(block);
    return true;
}

bool VOxaConstraintPosition::RemoveSource(int index) {
    VOxaObject* source = GetSource(index);
    if (!source || !mProperties) return false;
    // The entry itself is removed (its owner might list another block).
    mProperties->GetSourceList().Remove(mProperties->GetSourceList().GetAt(index));
    return true;
}
