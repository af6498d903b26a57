#include "attributes/voxa_null.h"

#include "scene/voxa_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaNullProperties, VObject);

VOxaNullProperties::VOxaNullProperties() {
    mSize.Declare<&VOxaNullProperties::GetSize, &VOxaNullProperties::SetSize>("Size", this);
    AddProperty(&mSize);
}

VOxaNullProperties::~VOxaNullProperties() = default;

void VOxaNullProperties::SetSize(double size) {
    mSize.SetStoredValue(size);
}

double VOxaNullProperties::GetSize() const {
    return mSize.GetStoredValue();
}

VOxaNull::VOxaNull(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {
    mProperties = new VOxaNullProperties();
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        Reset();
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaNull::~VOxaNull() {
    if (VOxaNode* node = GetNode()) node->SetNodeAttribute(nullptr);
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaNull::Reset() {
    mProperties->SetSize(GetDefaultSize());
    mSizeSet = false;
}

VOxaNull& VOxaNull::operator=(const VOxaNull& other) {
    if (&other == this) return *this;
    Reset();
    SetSize(other.GetSize());
    mSizeSet = other.mSizeSet;
    return *this;
}

void VOxaNull::CollectChannels(VArrayTemplate<VProperty*>& properties) {
    if (!mProperties) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i)
        properties.Add(mProperties->GetProperty(i));
}

VString VOxaNull::GetTypeName() const {
    return VString("Null");
}

VStringList VOxaNull::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Null");
    return flags;
}

void VOxaNull::SetSize(double size) {
    mProperties->SetSize(size);
    mSizeSet = true;
}

double VOxaNull::GetSize() const {
    return mProperties->GetSize();
}

VOxaNull* VOxaNode::GetNull() const {
    return GetNodeAttributeType() == VOxaNodeAttribute::eNull ? dynamic_cast<VOxaNull*>(mAttribute) : nullptr;
}
