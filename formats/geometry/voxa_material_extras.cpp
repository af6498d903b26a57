#include "formats/geometry/voxa_material_extras.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vge_vector.h"
#include "base/vprintable_text.h"
#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"
#include "objects/voxa_object.h"
#include "objects/voxa_property_handler.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"

namespace voxa_extras {

const char kTwoSided3ds[] = "3DS Two Sided";
const char kSpecularColor3ds[] = "3DS Specular Color";
const char kShineStrength3ds[] = "3DS Shine Strength";
const char kMapFlags3ds[] = "3DS Map Flags";
const char kMapBlur3ds[] = "3DS Map Blur";
const char kAdditive3ds[] = "3DS Additive";
const char kFalloff3ds[] = "3DS Transparency Falloff";
const char kUseFalloff3ds[] = "3DS Use Falloff";
const char kShininessForm3ds[] = "3DS Shininess Form";
const char kNoAmbient3ds[] = "3DS No Ambient";
const char kNoSpecular3ds[] = "3DS No Specular";
const char kColorFloats3ds[] = "3DS Colour Floats";
const char* const kPlainColors3ds[3] = {"3DS Plain Ambient", "3DS Plain Diffuse", "3DS Plain Specular"};
const char* const kPairedColors3ds[3] = {"3DS Paired Ambient", "3DS Paired Diffuse", "3DS Paired Specular"};
const char kBumpAmount3ds[] = "3DS Bump Amount";
const char kShading3ds[] = "3DS Shading";
const char kReflectionBlur3ds[] = "3DS Reflection Blur";
const char kWireSize3ds[] = "3DS Wire Size";
const char kMaterialFlags3ds[] = "3DS Material Flags";
const char kAutoReflection3ds[] = "3DS Auto Reflection";
const char kObjectFlags3ds[] = "3DS Object Flags";
const char kMeshColor3ds[] = "3DS Mesh Color";

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

namespace {

void SetTriple(VOxaObject* object, const char* name, const double value[3], int valueType) {
    if (VPropertyTemplate<VgeTVector>* property = Make<VgeTVector>(object, name, valueType))
        property->SetValue(VgeTVector(value[0], value[1], value[2], 0.0));
}

bool GetTriple(const VOxaObject* object, const char* name, double value[3]) {
    VPropertyTemplate<VgeTVector>* property = Find<VgeTVector>(object, name);
    if (property == nullptr) return false;
    const VgeTVector color = property->GetValue();
    for (int i = 0; i < 3; ++i)
        value[i] = color[i];
    return true;
}

}  // namespace

void SetColor(VOxaObject* object, const char* name, const double value[3]) {
    SetTriple(object, name, value, eValueColor);
}

bool GetColor(const VOxaObject* object, const char* name, double value[3]) {
    return GetTriple(object, name, value);
}

void SetVector(VOxaObject* object, const char* name, const double value[3]) {
    SetTriple(object, name, value, eValueVector);
}

bool GetVector(const VOxaObject* object, const char* name, double value[3]) {
    return GetTriple(object, name, value);
}

std::string Unheld3dsValues(VOxaNode* root, const char* format) {
    // What is found, each once, in the order of the list, with the first object that has it.
    enum { kAdditive, kFalloff, kShading, kMaterialValues, kBump, kFlags, kColor, kMorph, kAmbient, kCount };
    static const char* const kWhat[kCount] = {
        "additive transparency", "transparency falloff",
        "shading type",          "material flags and reflection settings",
        "bump amount",           "object flags",
        "mesh colour",           "morph track",
        "ambient light track"};
    std::string first[kCount];
    auto note = [&](int what, const char* owner) {
        if (first[what].empty()) first[what] = owner && *owner ? owner : "?";
    };
    std::set<const VOxaObject*> seen;
    std::vector<VOxaNode*> stack;
    if (root != nullptr) stack.push_back(root);
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            stack.push_back(node->GetChild(i));
        double value = 0.0;
        // Fast display (0x4014) is set by nearly every file and changes nothing drawn.
        if (GetNumber(node, kObjectFlags3ds, value) && ((int)value & ~(1 << 4)) != 0)
            note(kFlags, node->GetNameWithoutPrefix());
        if (GetNumber(node, kMeshColor3ds, value) && value != 0.0) note(kColor, node->GetNameWithoutPrefix());
        if (VOxaNodeProperties* block = node->GetNodeProperties()) {
            if (block->FindProperty(kKeptMorphKeysProperty) != nullptr)
                note(kMorph, node->GetNameWithoutPrefix());
            if (block->FindProperty(kKeptAmbientKeysProperty) != nullptr) note(kAmbient, "$AMBIENT$");
        }
        const VOxaMesh* mesh = node->GetMesh();
        if (mesh == nullptr) continue;
        for (int m = 0; m < mesh->GetMaterialCount(0); ++m) {
            const VOxaMaterial* material = mesh->GetMaterial(m, 0);
            if (material == nullptr || !seen.insert(material).second) continue;
            const char* name = material->GetNameWithoutPrefix();
            if (GetNumber(material, kAdditive3ds, value) && value != 0.0) note(kAdditive, name);
            // An inward falloff of 0 is still turned inward.
            if ((GetNumber(material, kFalloff3ds, value) && (value != 0.0 || std::signbit(value))) ||
                (GetNumber(material, kUseFalloff3ds, value) && value != 0.0))
                note(kFalloff, name);
            if (GetNumber(material, kShading3ds, value)) note(kShading, name);
            double triple[3];
            if (GetNumber(material, kReflectionBlur3ds, value) || GetNumber(material, kWireSize3ds, value) ||
                GetNumber(material, kMaterialFlags3ds, value) ||
                GetVector(material, kAutoReflection3ds, triple))
                note(kMaterialValues, name);
            const VOxaTexture* bump = material->GetMap(VOxaMaterial::eMAP_BUMP);
            if (bump != nullptr && GetNumber(bump, kBumpAmount3ds, value) &&
                std::fabs(value - bump->GetDefaultAlpha() * 100.0) > 0.5)
                note(kBump, name);
        }
    }
    std::string text;
    for (int what = 0; what < kCount; ++what) {
        if (first[what].empty()) continue;
        text += text.empty() ? "" : ", ";
        text += kWhat[what];
        text += " (\"";
        text += VPrintableText(first[what].c_str()).c_str();
        text += "\")";
    }
    if (text.empty()) return text;
    return std::string("3DS values that the ") + format + " file cannot hold are left out: " + text + ".\n";
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
