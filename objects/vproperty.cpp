#include "objects/vproperty.h"

#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/vallocation_hook.h"
#include "objects/vobject.h"
#include "objects/voxa_user_property.h"

VOBJECT_IMPLEMENT_CLASS(VProperty, VPlug);

namespace {

// The nameless descriptions of the value types up to kTypeInfoCount - 1, which every new
// property starts with.
constexpr int kTypeInfoCount = 16;

const VPropertyInfo* TypeInfos() {
    static const VPropertyInfo* infos = [] {
        static VPropertyInfo table[kTypeInfoCount];
        for (int t = 0; t < kTypeInfoCount; ++t)
            table[t] = VPropertyInfo(VLiteralName{nullptr}, t);
        return table;
    }();
    return infos;
}

bool IsTypeInfo(const VPropertyInfo* info) {
    const VPropertyInfo* table = TypeInfos();
    return std::less_equal<const VPropertyInfo*>()(table, info) &&
           std::less<const VPropertyInfo*>()(info, table + kTypeInfoCount);
}

}  // namespace

VProperty::VProperty()
    : mInfo(TypeInfos()), mListSlot(-1), mOwnedByObject(false), mOwnsInfo(false), mHasTrackedHandles(false) {}

VProperty::~VProperty() {
    if (mHasTrackedHandles) VOxaUserProperty::PropertyGone(this);
    if (mListObject) mListObject->DetachProperty(this);
    if (mOwnsInfo) delete mInfo;
}

VPropertyInfo& VProperty::OwnInfo() {
    if (!mOwnsInfo) {
        mInfo = new VPropertyInfo(*mInfo);
        mOwnsInfo = true;
    }
    return *const_cast<VPropertyInfo*>(mInfo);
}

void VProperty::SetValueType(int valueType) {
    if (mInfo->mValueType == valueType) return;
    // A nameless description of one type is exchanged for that of the other.
    if (!mOwnsInfo && IsTypeInfo(mInfo) && valueType >= 0 && valueType < kTypeInfoCount) {
        mInfo = TypeInfos() + valueType;
        return;
    }
    OwnInfo().mValueType = valueType;
}

void VProperty::SetDataType(const VDataType* dataType) {
    if (mInfo->mDataType != dataType) OwnInfo().mDataType = dataType;
}

void VProperty::Declare(const VPropertyInfo* shared, VObject* owner) {
    if (!shared) {
        Declare(static_cast<const char*>(nullptr), owner);
        return;
    }
    // Value callbacks the property has are kept; one without takes those of the description
    // (which only a property template's member declaration gives callbacks).
    const VPropertyCallback getter = mInfo->mGetter;
    const VPropertyCallback setter = mInfo->mSetter;
    if (mOwnsInfo) delete mInfo;
    mInfo = shared;
    mOwnsInfo = false;
    if (getter || setter) SetCallbacks(getter, setter);
    SetParentObject(owner);
    if (mListObject) mListObject->DropNameIndex();
}

void VProperty::SetCallbacks(VPropertyCallback getter, VPropertyCallback setter) {
    if (mInfo->mGetter == getter && mInfo->mSetter == setter) return;
    VPropertyInfo& info = OwnInfo();
    info.mGetter = getter;
    info.mSetter = setter;
}

VPropertyInfo::VPropertyInfo(const VPropertyInfo& other)
    : mDataType(other.mDataType),
      mEnumName(other.mEnumName),
      mGetter(other.mGetter),
      mSetter(other.mSetter),
      mValueType(other.mValueType),
      mFlags(other.mFlags) {
    if (other.mOwnsName) {
        SetCopiedName(other.mName);
    } else {
        mName = other.mName;
    }
}

VPropertyInfo& VPropertyInfo::operator=(const VPropertyInfo& other) {
    if (this == &other) return *this;
    if (other.mOwnsName) {
        SetCopiedName(other.mName);
    } else {
        SetLiteralName(other.mName);
    }
    mDataType = other.mDataType;
    mEnumName = other.mEnumName;
    mGetter = other.mGetter;
    mSetter = other.mSetter;
    mValueType = other.mValueType;
    mFlags = other.mFlags;
    return *this;
}

VPropertyInfo::~VPropertyInfo() {
    if (mOwnsName) std::free(const_cast<char*>(mName));
}

void VPropertyInfo::SetCopiedName(const char* name) {
    // Copied before the old name goes: `name` may be the old name itself.
    const size_t length = name ? std::strlen(name) : 0;
    char* copy = oxa_alloc::Counted(static_cast<char*>(std::malloc(length + 1)));
    if (copy) {
        if (length > 0) std::memcpy(copy, name, length);
        copy[length] = '\0';
    }
    if (mOwnsName) std::free(const_cast<char*>(mName));
    mName = copy;  // null (read as "") only when memory ran out
    mOwnsName = copy != nullptr;
}

void VPropertyInfo::SetLiteralName(const char* name) {
    if (mOwnsName) std::free(const_cast<char*>(mName));
    mName = name;
    mOwnsName = false;
}

void VProperty::Declare(const char* name, VObject* owner) {
    OwnInfo().SetCopiedName(name);
    SetParentObject(owner);
    if (mListObject) mListObject->DropNameIndex();
}

void VProperty::Declare(VLiteralName name, VObject* owner) {
    if (!name.mText) {
        Declare(static_cast<const char*>(nullptr), owner);
        return;
    }
    OwnInfo().SetLiteralName(name.mText);
    SetParentObject(owner);
    if (mListObject) mListObject->DropNameIndex();
}

void VProperty::SetNameAndType(const char* name, int valueType) {
    VPropertyInfo& info = OwnInfo();
    info.SetCopiedName(name);
    info.mValueType = valueType;
    if (mListObject) mListObject->DropNameIndex();
}

const VDataType* VProperty::GetDataType() const {
    return mInfo->mDataType ? mInfo->mDataType : VDataType::GetDefault(mInfo->mValueType);
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
