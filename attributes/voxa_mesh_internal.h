#ifndef OXA_ATTRIBUTES_VOXA_MESH_INTERNAL_H
#define OXA_ATTRIBUTES_VOXA_MESH_INTERNAL_H

// What the two source files of the mesh share.
#include <new>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "base/vallocation_hook.h"

namespace voxa_mesh_detail {

// How a layer gives and takes an element of each class.
template <typename Element>
struct ElementType;
template <>
struct ElementType<VOxaLayerElementNormal> {
    static VOxaLayerElementNormal* Get(const VOxaLayer* layer) { return layer->GetNormals(); }
    static void Set(VOxaLayer* layer, VOxaLayerElementNormal* element) { layer->SetNormals(element); }
};
template <>
struct ElementType<VOxaLayerElementMaterial> {
    static VOxaLayerElementMaterial* Get(const VOxaLayer* layer) { return layer->GetMaterials(); }
    static void Set(VOxaLayer* layer, VOxaLayerElementMaterial* element) { layer->SetMaterials(element); }
};
template <>
struct ElementType<VOxaLayerElementTexture> {
    static VOxaLayerElementTexture* Get(const VOxaLayer* layer) { return layer->GetTextures(); }
    static void Set(VOxaLayer* layer, VOxaLayerElementTexture* element) { layer->SetTextures(element); }
};
template <>
struct ElementType<VOxaLayerElementUV> {
    static VOxaLayerElementUV* Get(const VOxaLayer* layer) { return layer->GetUVs(); }
    static void Set(VOxaLayer* layer, VOxaLayerElementUV* element) { layer->SetUVs(element); }
};

// The normal at `item` of the element's mapped items, through its reference (direct or
// index-to-direct); false, `normal` unchanged, when it is out of range or the reference is
// another one.
bool ReadNormal(const VOxaLayerElementNormal* element, int item, VgeTVector& normal);

// The sum of the corner normals divided by the number of corners (its w), then x, y, z
// normalised; (0, 0, 0, 1) when there are no corners.
VgeTVector AverageNormal(const VgeTVector& sum);

}  // namespace voxa_mesh_detail

template <typename Element>
Element* VOxaMesh::Layer0Element() const {
    const VOxaLayer* layer = GetLayer(0);
    return layer ? voxa_mesh_detail::ElementType<Element>::Get(layer) : nullptr;
}

template <typename Element>
Element* VOxaMesh::MakeLayer0Element() {
    VOxaLayer* layer = GetOrCreateLayer0();
    if (layer == nullptr) return nullptr;
    Element* element = voxa_mesh_detail::ElementType<Element>::Get(layer);
    if (element == nullptr) {
        element = oxa_alloc::Counted(new (std::nothrow) Element());
        if (element != nullptr) voxa_mesh_detail::ElementType<Element>::Set(layer, element);
    }
    return element;
}

#endif  // OXA_ATTRIBUTES_VOXA_MESH_INTERNAL_H
