#include "objects/vproperty.h"

#include "objects/vobject.h"

VOBJECT_IMPLEMENT_CLASS(VProperty, VPlug);

VProperty::~VProperty() {
    if (mListObject) mListObject->DetachProperty(this);
}

void VProperty::Declare(const char* name, VObject* owner) {
    mInfo.mLiteralName = nullptr;
    mInfo.mName = name ? name : "";
    SetParentObject(owner);
    if (mListObject) mListObject->DropNameIndex();
}

void VProperty::Declare(VLiteralName name, VObject* owner) {
    if (!name.mText) {
        Declare(static_cast<const char*>(nullptr), owner);
        return;
    }
    mInfo.mLiteralName = name.mText;
    if (!mInfo.mName.IsEmpty()) mInfo.mName = "";
    SetParentObject(owner);
    if (mListObject) mListObject->DropNameIndex();
}

void VProperty::SetNameAndType(const char* name, int valueType) {
    mInfo.mLiteralName = nullptr;
    mInfo.mName = name ? name : "";
    mInfo.mValueType = valueType;
    if (mListObject) mListObject->DropNameIndex();
}

const VDataType* VProperty::GetDataType() const {
    return mInfo.mDataType ? mInfo.mDataType : VDataType::GetDefault(mInfo.mValueType);
}

void VProperty::ValueWritten() {
    VObject* owner = GetParentObject();
    if (owner) ++owner->mValueStamp;
    if (mListObject && mListObject != owner) ++mListObject->mValueStamp;
}

void VProperty::SetStateFlag(int bits, bool on) {
    mState = on ? (mState | bits) : (mState & ~bits);
    Notify(ePropertyStateChanged, nullptr);
}

int VProperty::GetValue(double* /*out*/) const {
    return 0;
}

bool VProperty::SetValue(const double* /*in*/) {
    return false;
}

double VProperty::GetDouble() const {
    return 0.0;
}

bool VProperty::SetDouble(double /*value*/) {
    return false;
}

int VProperty::GetInt() const {
    return 0;
}

bool VProperty::SetInt(int /*value*/) {
    return false;
}
