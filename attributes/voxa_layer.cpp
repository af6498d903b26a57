// Layers and their elements.
#include "attributes/voxa_layer.h"
#include "base/vallocation_hook.h"

#include <new>

const char* VOxaGetMappingModeName(int mode) {
    static const char* const kNames[] = {"NoMappingInformation", "ByVertice", "ByPolygonVertex", "ByPolygon",
                                         "AllSame"};
    return (mode >= 0 && mode < 5) ? kNames[mode] : kNames[0];
}

const char* VOxaGetReferenceModeName(int mode) {
    static const char* const kNames[] = {"Direct", "Index", "IndexToDirect"};
    return (mode >= 0 && mode < 3) ? kNames[mode] : kNames[0];
}

const char* VOxaGetBlendModeName(int mode) {
    static const char* const kNames[] = {"Translucent", "Add", "Modulate", "Modulate2", "MaxBlend"};
    return (mode >= 0 && mode < 5) ? kNames[mode] : kNames[0];
}

VOxaLayer::~VOxaLayer() {
    Clear();
}

VOxaLayerElement* VOxaLayer::GetLayerElement(int type) const {
    switch (type) {
        case VOxaLayerElement::eNORMAL:
            return mNormals;
        case VOxaLayerElement::eMATERIAL:
            return mMaterials;
        case VOxaLayerElement::eTEXTURE:
            return mTextures;
        case VOxaLayerElement::ePOLYGON_GROUP:
            return mPolygonGroups;
        case VOxaLayerElement::eUV:
            return mUVs;
        case VOxaLayerElement::eVERTEX_COLOR:
            return mVertexColors;
        default:
            return nullptr;
    }
}

void VOxaLayer::Clear() {
    delete mNormals;
    delete mMaterials;
    delete mTextures;
    delete mPolygonGroups;
    delete mUVs;
    delete mVertexColors;
    mNormals = nullptr;
    mMaterials = nullptr;
    mTextures = nullptr;
    mPolygonGroups = nullptr;
    mUVs = nullptr;
    mVertexColors = nullptr;
}

namespace {

// A new element of the same kind as `source` holding a copy of it; null when there is none.
template <typename Element>
Element* CopyOf(const Element* source) {
    if (source == nullptr) return nullptr;
    Element* copy = oxa_alloc::Counted(new (std::nothrow) Element());
    if (copy == nullptr) return nullptr;
    copy->CopyElement(*source);
    return copy;
}

}  // namespace

void VOxaLayer::CopyFrom(const VOxaLayer& other) {
    if (&other == this) return;
    Clear();
    mNormals = CopyOf(other.mNormals);
    mMaterials = CopyOf(other.mMaterials);
    mTextures = CopyOf(other.mTextures);
    if (mTextures != nullptr) {
        mTextures->SetBlendMode(other.mTextures->GetBlendMode());
        mTextures->SetAlpha(other.mTextures->GetAlpha());
    }
    mPolygonGroups = CopyOf(other.mPolygonGroups);
    mUVs = CopyOf(other.mUVs);
    mVertexColors = CopyOf(other.mVertexColors);
}
