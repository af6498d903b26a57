#include "objects/voxa_user_property.h"

#include "objects/vproperty.h"

namespace {

unsigned gBindingStamp = 0;

int TypeOfName(const char* typeName) {
    if (!typeName) return VOxaUserProperty::eUnknown;
    VString name(typeName);
    if (name.CompareNoCase("Bool") == 0) return VOxaUserProperty::eBool;
    if (name.CompareNoCase("Real") == 0 || name.CompareNoCase("Number") == 0) return VOxaUserProperty::eReal;
    if (name.CompareNoCase("Color") == 0) return VOxaUserProperty::eColor;
    if (name.CompareNoCase("Integer") == 0) return VOxaUserProperty::eInteger;
    if (name.CompareNoCase("Vector") == 0) return VOxaUserProperty::eVector;
    if (name.CompareNoCase("Enum") == 0) return VOxaUserProperty::eEnum;
    return VOxaUserProperty::eUnknown;
}

int TypeOfValueType(int valueType) {
    switch (valueType) {
        case eValueBool:
            return VOxaUserProperty::eBool;
        case eValueReal:
        case eValueNumber:
            return VOxaUserProperty::eReal;
        case eValueColor:
        case eValueColorAndAlpha:
            return VOxaUserProperty::eColor;
        case eValueInteger:
            return VOxaUserProperty::eInteger;
        case eValueVector:
        case eValueVector4:
            return VOxaUserProperty::eVector;
        case eValueEnum:
            return VOxaUserProperty::eEnum;
        default:
            return VOxaUserProperty::eUnknown;
    }
}

}  // namespace

VOxaUserProperty::VOxaUserProperty(VOxaSdkManager* owner, VProperty* property)
    : mOwner(owner), mProperty(property) {}

VOxaUserProperty::VOxaUserProperty(VOxaSdkManager* owner, const char* name, const char* typeName)
    : mOwner(owner), mName(name ? name : ""), mType(TypeOfName(typeName)) {}

unsigned VOxaUserProperty::GetBindingStamp() {
    return gBindingStamp;
}

bool VOxaUserProperty::Bind(VProperty* property) {
    if (mProperty || !property) return false;
    mProperty = property;
    ++gBindingStamp;
    return true;
}

void VOxaUserProperty::Unbind() {
    if (!mProperty) return;
    mProperty = nullptr;
    ++gBindingStamp;
}

const char* VOxaUserProperty::GetName() const {
    return mProperty ? mProperty->GetName() : mName.Buffer();
}

int VOxaUserProperty::GetType() const {
    return mProperty ? TypeOfValueType(mProperty->GetValueType()) : mType;
}

bool VOxaUserProperty::GetFlag(int flag) const {
    if (flag != eAnimatable) return false;
    return mProperty ? mProperty->IsAnimatable() : (mFlags & eAnimatable) != 0;
}

void VOxaUserProperty::SetFlag(int flag, bool on) {
    mFlags = on ? (mFlags | flag) : (mFlags & ~flag);
}

bool VOxaUserProperty::GetDouble(double& value) const {
    if (!mProperty) return false;
    value = mProperty->GetDouble();
    return true;
}

bool VOxaUserProperty::GetVector(double& x, double& y, double& z) const {
    if (!mProperty) return false;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    if (mProperty->GetValue(v) < 3) return false;
    x = v[0];
    y = v[1];
    z = v[2];
    return true;
}

bool VOxaUserProperty::SetVector(double x, double y, double z) {
    if (!mProperty) return false;
    const double v[4] = {x, y, z, 1.0};
    return mProperty->SetValue(v);
}
