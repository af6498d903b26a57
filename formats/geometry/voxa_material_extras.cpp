#include "formats/geometry/voxa_material_extras.h"

#include "base/vge_vector.h"
#include "objects/voxa_object.h"
#include "objects/voxa_property_handler.h"
#include "objects/vproperty.h"

namespace voxa_extras {

const char kTwoSided3ds[] = "3DS Two Sided";
const char kSpecularColor3ds[] = "3DS Specular Color";
const char kShineStrength3ds[] = "3DS Shine Strength";
const char kMapFlags3ds[] = "3DS Map Flags";
const char kMapBlur3ds[] = "3DS Map Blur";

namespace {

template <class T>
VPropertyTemplate<T>* Find(const VOxaObject* object, const char* name) {
    VOxaPropertyHandler* block = object ? object->GetPropertyHandler() : nullptr;
    return block ? dynamic_cast<VPropertyTemplate<T>*>(block->FindProperty(name)) : nullptr;
}

template <class T>
VPropertyTemplate<T>* Make(VOxaObject* object, const char* name, int valueType) {
    if (VPropertyTemplate<T>* found = Find<T>(object, name)) return found;
    VOxaPropertyHandler* block = object ? object->GetPropertyHandler() : nullptr;
    if (block == nullptr || block->FindProperty(name) != nullptr) return nullptr;
    return dynamic_cast<VPropertyTemplate<T>*>(block->CreateProperty(name, valueType, nullptr));
}

}  // namespace

void SetNumber(VOxaObject* object, const char* name, double value) {
    if (VPropertyTemplate<double>* property = Make<double>(object, name, eValueNumber))
        property->SetValue(value);
}

bool GetNumber(const VOxaObject* object, const char* name, double& value) {
    VPropertyTemplate<double>* property = Find<double>(object, name);
    if (property == nullptr) return false;
    value = property->GetValue();
    return true;
}

void SetColor(VOxaObject* object, const char* name, const double value[3]) {
    if (VPropertyTemplate<VgeTVector>* property = Make<VgeTVector>(object, name, eValueColor))
        property->SetValue(VgeTVector(value[0], value[1], value[2], 0.0));
}

bool GetColor(const VOxaObject* object, const char* name, double value[3]) {
    VPropertyTemplate<VgeTVector>* property = Find<VgeTVector>(object, name);
    if (property == nullptr) return false;
    const VgeTVector color = property->GetValue();
    for (int i = 0; i < 3; ++i)
        value[i] = color[i];
    return true;
}

}  // namespace voxa_extras
