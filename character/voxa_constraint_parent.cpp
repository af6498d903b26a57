#include "character/voxa_constraint_parent.h"

#include "objects/voxa_user_property.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintParentProperties, VOxaConstraintProperty);

namespace {
const char kWeightSuffix[] = ".Weight";
const char kOffsetTSuffix[] = ".Offset T";
const char kOffsetRSuffix[] = ".Offset R";
}  // namespace

// ---- VOxaConstraintParentProperties ---------------------------------------------------------

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_PARENT_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaConstraintParentProperties, Name)

VOxaConstraintParentProperties::VOxaConstraintParentProperties(VOxaConstraintParent* owner) : mOwner(owner) {
    // Declaration order is the order of the property list and of files.
    OXA_DECLARE_PARENT_PROPERTY(Active);
    OXA_DECLARE_PARENT_PROPERTY(Lock);

    mChild.Declare("Destination", this);
    AddProperty(&mChild);
    mChild.SetNameAndType("Constrained object (Child)", eValueObjectList);
    mChild.SetConnectionRule(1, -1);
    mChild.SetConnectionKind(kPlugIsSrc);

    mParents.Declare("Source", this);
    AddProperty(&mParents);
    mParents.SetNameAndType("Source (Parent)", eValueObjectList);
    mParents.SetConnectionRule(-1, -1);
    mParents.SetConnectionKind(kPlugAcceptsSrc);

    OXA_DECLARE_PARENT_PROPERTY(AffectTranslationX);
    OXA_DECLARE_PARENT_PROPERTY(AffectTranslationY);
    OXA_DECLARE_PARENT_PROPERTY(AffectTranslationZ);
    OXA_DECLARE_PARENT_PROPERTY(AffectRotationX);
    OXA_DECLARE_PARENT_PROPERTY(AffectRotationY);
    OXA_DECLARE_PARENT_PROPERTY(AffectRotationZ);
    OXA_DECLARE_PARENT_PROPERTY(AffectScalingX);
    OXA_DECLARE_PARENT_PROPERTY(AffectScalingY);
    OXA_DECLARE_PARENT_PROPERTY(AffectScalingZ);

    if (VProperty* weight = CreateProperty("Weight", "Weight", true)) {
        weight->SetStateFlag(kPropertyAnimated, true);
        weight->SetDouble(100.0);
    }
}

#undef OXA_DECLARE_PARENT_PROPERTY

VOxaConstraintParentProperties::~VOxaConstraintParentProperties() = default;

VOxaObject* VOxaConstraintParentProperties::GetOwner() const {
    return mOwner;
}

void VOxaConstraintParentProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

#define OXA_PARENT_ACCESSORS(Name)                               \
    bool VOxaConstraintParentProperties::Set##Name(bool value) { \
        m##Name.SetStoredValue(value);                           \
        return value;                                            \
    }                                                            \
    bool VOxaConstraintParentProperties::Get##Name() const {     \
        return m##Name.GetStoredValue();                         \
    }

OXA_PARENT_ACCESSORS(AffectTranslationX)
OXA_PARENT_ACCESSORS(AffectTranslationY)
OXA_PARENT_ACCESSORS(AffectTranslationZ)
OXA_PARENT_ACCESSORS(AffectRotationX)
OXA_PARENT_ACCESSORS(AffectRotationY)
OXA_PARENT_ACCESSORS(AffectRotationZ)
OXA_PARENT_ACCESSORS(AffectScalingX)
OXA_PARENT_ACCESSORS(AffectScalingY)
OXA_PARENT_ACCESSORS(AffectScalingZ)
OXA_PARENT_ACCESSORS(Active)
OXA_PARENT_ACCESSORS(Lock)

#undef OXA_PARENT_ACCESSORS

// ---- VOxaConstraintParent -------------------------------------------------------------------

VOxaConstraintParent::VOxaConstraintParent(VOxaSdkManager* manager, const char* name)
    : VOxaConstraint(manager, name) {
    mProperties = new VOxaConstraintParentProperties(this);
    AdoptPropertyBlock(mProperties);
    AddDefaultTakeNode();
    mProperties->SetName(name);
    CreatePropertyHandles();
}

VOxaConstraintParent::~VOxaConstraintParent() {
    DestroyPropertyBlock();
    mProperties = nullptr;
}

VString VOxaConstraintParent::GetTypeName() const {
    return VString("Parent-Child");
}

void VOxaConstraintParent::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VOxaConstraint::CreateTakeNodeChannels(takeNode);
}

// The switches are written straight into the stored value: no event, no channel.
#define OXA_PARENT_SWITCH(Name)                                      \
    void VOxaConstraintParent::Set##Name(bool value) {               \
        if (mProperties) mProperties->m##Name.SetStoredValue(value); \
    }                                                                \
    bool VOxaConstraintParent::Get##Name() const {                   \
        return mProperties && mProperties->m##Name.GetValue();       \
    }

OXA_PARENT_SWITCH(Active)
OXA_PARENT_SWITCH(Lock)
OXA_PARENT_SWITCH(AffectTranslationX)
OXA_PARENT_SWITCH(AffectTranslationY)
OXA_PARENT_SWITCH(AffectTranslationZ)
OXA_PARENT_SWITCH(AffectRotationX)
OXA_PARENT_SWITCH(AffectRotationY)
OXA_PARENT_SWITCH(AffectRotationZ)

#undef OXA_PARENT_SWITCH

void VOxaConstraintParent::SetWeight(double weight) {
    SetAndPublish("Weight", weight);
}

void VOxaConstraintParent::AddSource(VOxaObject* object, double weight) {
    if (!mProperties) return;
    SourceAdded added{false, nullptr};
    if (!AddSourceWithProperty(&mProperties->mParents, object, kWeightSuffix, "Number", &weight, &added))
        return;

    // The two offsets follow the weight in the block; like it they get their channel in every
    // take and their handle, one property at a time (no walk over the earlier properties).
    // Memory that runs out for one takes the source out again.
    VString base(object->GetNameWithoutPrefix());
    VProperty* offsets[2] = {nullptr, nullptr};
    const double origin[4] = {0.0, 0.0, 0.0, 1.0};
    for (int i = 0; i < 2; ++i) {
        VString name(base);
        name += i == 0 ? kOffsetTSuffix : kOffsetRSuffix;
        if (MakeSourceProperty(name.Buffer(), "Translation", origin, offsets[i])) continue;
        if (offsets[0]) DropSourceProperty(offsets[0]);
        DropSourceProperty(added.mProperty);
        if (added.mListed) mProperties->mParents.Remove(object->GetPropertyHandler());
        RanOutOfMemory();
        return;
    }
    const VgeTVector zero(0.0, 0.0, 0.0, 1.0);
    SetTranslationOffset(object, zero);
    SetRotationOffset(object, zero);
}

int VOxaConstraintParent::GetSourceCount() const {
    return mProperties ? mProperties->mParents.GetCount() : 0;
}

VOxaObject* VOxaConstraintParent::GetSource(int index) const {
    return mProperties ? GetListObject(&mProperties->mParents, index) : nullptr;
}

double VOxaConstraintParent::GetSourceWeight(const VOxaObject* object) const {
    VProperty* property = FindSourceProperty(object, kWeightSuffix);
    double values[4] = {100.0, 0.0, 0.0, 0.0};  // room for any value a file may have given it
    if (!property || property->GetValue(values) < 1) return 100.0;
    return values[0];
}

void VOxaConstraintParent::SetOffsetProperty(VOxaObject* object, const char* suffix,
                                             const VgeTVector& offset) {
    if (!object) return;
    // Setters use the current name only: a parent renamed after it was added no longer
    // reaches its properties.
    VString name(object->GetNameWithoutPrefix());
    name += suffix;
    VProperty* property = FindBlockProperty(name.Buffer());
    if (!property) return;
    const double values[4] = {offset[0], offset[1], offset[2], 1.0};
    SetAndPublish(property, values);
}

void VOxaConstraintParent::SetTranslationOffset(VOxaObject* object, VgeTVector offset) {
    SetOffsetProperty(object, kOffsetTSuffix, offset);
}

void VOxaConstraintParent::SetRotationOffset(VOxaObject* object, VgeTVector offset) {
    SetOffsetProperty(object, kOffsetRSuffix, offset);
}

VgeTVector VOxaConstraintParent::GetOffsetProperty(const VOxaObject* object, const char* suffix) const {
    VProperty* property = FindSourceProperty(object, suffix);
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    if (!property || property->GetValue(values) < 3) return VgeTVector(0.0, 0.0, 0.0, 1.0);
    return VgeTVector(values[0], values[1], values[2], 1.0);
}

VgeTVector VOxaConstraintParent::GetTranslationOffset(const VOxaObject* object) const {
    return GetOffsetProperty(object, kOffsetTSuffix);
}

VgeTVector VOxaConstraintParent::GetRotationOffset(const VOxaObject* object) const {
    return GetOffsetProperty(object, kOffsetRSuffix);
}

VOxaObject* VOxaConstraintParent::GetConstrainedObject() const {
    return mProperties ? GetListObject(&mProperties->mChild, 0) : nullptr;
}
