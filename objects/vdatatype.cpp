#include "objects/vdatatype.h"

#include <cstring>

#include "objects/vproperty.h"

namespace {

// Registry indexes of the general types that others refer to as their base.
enum { kNumber = 14, kVector = 24 };

// Sorted by name, byte order (Find relies on it). Sizes: bool 1, double 8, four doubles 32.
constexpr VDataType kTypes[] = {
    {"Action", eValueBool, 1, 1, -1},
    {"Color", eValueColor, 3, 32, -1},
    {"ColorAndAlpha", eValueColorAndAlpha, 4, 32, -1},
    {"Cone angle", eValueNumber, 1, 8, kNumber},
    {"FieldOfView", eValueNumber, 1, 8, kNumber},
    {"Fog", eValueNumber, 1, 8, kNumber},
    {"IK Reach Rotation", eValueNumber, 1, 8, kNumber},
    {"IK Reach Translation", eValueNumber, 1, 8, kNumber},
    {"Intensity", eValueNumber, 1, 8, kNumber},
    {"Lcl Rotation", eValueVector, 3, 32, kVector},
    {"Lcl Scaling", eValueVector, 3, 32, kVector},
    {"Lcl Translation", eValueVector, 3, 32, kVector},
    {"Matrix Rotation", eValueVector, 3, 32, kVector},
    {"Matrix Scaling", eValueVector, 3, 32, kVector},
    {"Number", eValueNumber, 1, 8, -1},
    {"Occlusion", eValueNumber, 1, 8, kNumber},
    {"Real", eValueReal, 1, 8, -1},
    {"Roll", eValueNumber, 1, 8, kNumber},
    {"Rotation", eValueVector, 3, 32, kVector},
    {"Scaling", eValueVector, 3, 32, kVector},
    {"Scaling UV", eValueVector, 3, 32, kVector},
    {"Shape", eValueNumber, 1, 8, kNumber},
    {"TimeWarp", eValueNumber, 1, 8, kNumber},
    {"Translation", eValueVector, 3, 32, kVector},
    {"Vector", eValueVector, 3, 32, -1},
    {"Vector4", eValueVector4, 4, 32, -1},
    {"Visibility", eValueNumber, 1, 8, kNumber},
    {"Weight", eValueNumber, 1, 8, kNumber},
};
constexpr int kTypeCount = (int)(sizeof(kTypes) / sizeof(kTypes[0]));

constexpr bool NameIs(const char* a, const char* b) {
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}
static_assert(NameIs(kTypes[kNumber].GetName(), "Number"), "kNumber must index \"Number\"");
static_assert(NameIs(kTypes[kVector].GetName(), "Vector"), "kVector must index \"Vector\"");

}  // namespace

const VDataType* VDataType::GetBaseType() const {
    return mBaseIndex >= 0 ? &kTypes[mBaseIndex] : nullptr;
}

const VDataType* VDataType::Find(const char* name) {
    if (!name) return nullptr;
    int lo = 0;
    int hi = kTypeCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = std::strcmp(name, kTypes[mid].mName);
        if (c == 0) return &kTypes[mid];
        if (c < 0) {
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
    }
    if (std::strcmp(name, "Trigger") == 0) return &kTypes[0];
    return nullptr;
}

const VDataType* VDataType::GetDefault(int valueType) {
    switch (valueType) {
        case eValueNumber:
            return &kTypes[kNumber];
        case eValueVector4:
            return Find("Vector4");
        case eValueVector:
            return &kTypes[kVector];
        case eValueColor:
            return Find("Color");
        case eValueColorAndAlpha:
            return Find("ColorAndAlpha");
        default:
            return nullptr;
    }
}

int VDataType::GetCount() {
    return kTypeCount;
}

const VDataType* VDataType::GetAt(int index) {
    return (index >= 0 && index < kTypeCount) ? &kTypes[index] : nullptr;
}

int GetValueTypeOfDataType(const VDataType* dataType) {
    return dataType ? dataType->GetValueType() : 0;
}
