#include "attributes/voxa_skeleton.h"

#include "scene/voxa_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaSkeletonProperties, VObject);

namespace {

// Type 3 is accepted as well and behaves as a root.
bool IsRootType(int type) {
    return type == VOxaSkeleton::eROOT || type == 3;
}

bool IsLimbType(int type) {
    return type == VOxaSkeleton::eLIMB || type == VOxaSkeleton::eLIMB_NODE;
}

}  // namespace

// ---- Property block -----------------------------------------------------------------------------

#define OXA_DECLARE_SKELETON_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaSkeletonProperties, Name)

VOxaSkeletonProperties::VOxaSkeletonProperties() {
    OXA_DECLARE_SKELETON_PROPERTY(Size);
    OXA_DECLARE_SKELETON_PROPERTY(LimbLength);
    mLimbLength.SetStateFlag(kPropertyState1, true);
    OXA_DECLARE_SKELETON_PROPERTY(Color);
}

#undef OXA_DECLARE_SKELETON_PROPERTY

VOxaSkeletonProperties::~VOxaSkeletonProperties() = default;

void VOxaSkeletonProperties::SetSize(double size) {
    mSize.SetStoredValue(size);
}
double VOxaSkeletonProperties::GetSize() const {
    return mSize.GetStoredValue();
}
void VOxaSkeletonProperties::SetLimbLength(double length) {
    mLimbLength.SetStoredValue(length);
}
double VOxaSkeletonProperties::GetLimbLength() const {
    return mLimbLength.GetStoredValue();
}
void VOxaSkeletonProperties::SetColor(const VgeRGBVector& color) {
    mColor.SetStoredValue(color);
}
VgeRGBVector VOxaSkeletonProperties::GetColor() const {
    return mColor.GetStoredValue();
}

// ---- Skeleton -----------------------------------------------------------------------------------

VOxaSkeleton::VOxaSkeleton(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {
    mProperties = new VOxaSkeletonProperties();
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        Reset();
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaSkeleton::~VOxaSkeleton() {
    if (VOxaNode* node = GetNode()) node->SetNodeAttribute(nullptr);
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaSkeleton::Reset() {
    mSkeletonType = eROOT;
    const VOxaColor color = GetColorDefaultValue();
    mProperties->SetColor(VgeRGBVector(color.mRed, color.mGreen, color.mBlue));
    UpdateColorSaving();
    mProperties->SetSize(GetSizeDefaultValue());
    mProperties->SetLimbLength(GetLimbLengthDefaultValue());
    mLimbLengthSet = false;
    mSizeSet = false;
    mColorSet = false;
    mTypeSet = false;
}

VOxaSkeleton& VOxaSkeleton::operator=(const VOxaSkeleton& other) {
    if (&other == this) return *this;
    Reset();
    SetSkeletonType(other.GetSkeletonType());
    SetSize(other.GetSize());
    if (other.GetSkeletonType() == eLIMB) SetLimbLength(other.GetLimbLength());
    if (IsLimbType(other.GetSkeletonType())) SetColor(other.GetColor());
    mLimbLengthSet = other.mLimbLengthSet;
    mSizeSet = other.mSizeSet;
    mColorSet = other.mColorSet;
    mTypeSet = other.mTypeSet;
    return *this;
}

void VOxaSkeleton::CollectChannels(VArrayTemplate<VProperty*>& properties) {
    if (!mProperties) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i)
        properties.Add(mProperties->GetProperty(i));
}

VString VOxaSkeleton::GetTypeName() const {
    if (IsRootType(mSkeletonType)) return VString("Root");
    if (mSkeletonType == eLIMB) return VString("Limb");
    if (mSkeletonType == eLIMB_NODE) return VString("LimbNode");
    return VString("");
}

VStringList VOxaSkeleton::GetTypeFlags() const {
    VStringList flags;
    if (IsRootType(mSkeletonType)) {
        flags.Add("Null");
        flags.Add("Skeleton");
        flags.Add("Root");
    } else if (IsLimbType(mSkeletonType)) {
        flags.Add("Skeleton");
    }
    return flags;
}

void VOxaSkeleton::UpdateColorSaving() {
    mProperties->GetColorProperty()->SetStateFlag(kPropertyNotSaved, !IsLimbType(mSkeletonType));
}

void VOxaSkeleton::SetSkeletonType(int type) {
    mTypeSet = true;
    mSkeletonType = type;
    UpdateColorSaving();
}

bool VOxaSkeleton::SetLimbLength(double length) {
    if (mSkeletonType != eLIMB) return false;
    mProperties->SetLimbLength(length);
    mLimbLengthSet = true;
    return true;
}

double VOxaSkeleton::GetLimbLength() const {
    return mProperties->GetLimbLength();
}

void VOxaSkeleton::SetSize(double size) {
    mProperties->SetSize(size);
    mSizeSet = true;
}

double VOxaSkeleton::GetSize() const {
    return mProperties->GetSize();
}

bool VOxaSkeleton::SetColor(const VOxaColor& color) {
    if (!IsLimbType(mSkeletonType)) return false;
    mProperties->SetColor(VgeRGBVector(color.mRed, color.mGreen, color.mBlue));
    mColorSet = true;
    return true;
}

VOxaColor VOxaSkeleton::GetColor() const {
    VgeRGBVector rgb = mProperties->GetColor();
    return VOxaColor(rgb[0], rgb[1], rgb[2], 1.0);
}

VOxaSkeleton* VOxaNode::GetSkeleton() const {
    return GetNodeAttributeType() == VOxaNodeAttribute::eSkeleton ? dynamic_cast<VOxaSkeleton*>(mAttribute)
                                                                  : nullptr;
}
