#include "formats/geometry/voxa_material_extras.h"

#include <algorithm>

#include "base/vge_vector.h"
#include "base/vprintable_text.h"
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

void UnheldValues::Note(const std::string& material, const std::string& what) {
    auto found = mIndex.find(material);
    if (found == mIndex.end()) {
        found = mIndex.emplace(material, mNotes.size()).first;
        mNotes.emplace_back(material, std::vector<std::string>());
    }
    std::vector<std::string>& values = mNotes[found->second].second;
    if (std::find(values.begin(), values.end(), what) == values.end()) values.push_back(what);
}

std::string UnheldValues::TakeText(const char* format) {
    std::string text;
    for (const auto& note : mNotes) {
        text += "Material \"";
        text += VPrintableText(note.first.c_str()).c_str();
        text += "\": the ";
        text += format;
        text += " file cannot hold ";
        for (size_t i = 0; i < note.second.size(); ++i) {
            if (i > 0) text += i + 1 == note.second.size() ? " and " : ", ";
            text += note.second[i];
        }
        text += ".\n";
    }
    mNotes.clear();
    mIndex.clear();
    return text;
}

}  // namespace voxa_extras
