// The layer container and the geometry base.
#include "attributes/voxa_geometry_base.h"

#include <algorithm>
#include <new>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "objects/vclass_info.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_same_manager_internal.h"
#include "objects/vplug.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"

namespace {

// The material or texture side of a layer, so that both share one implementation.
struct MaterialKind {
    using Object = VOxaMaterial;
    using Element = VOxaLayerElementMaterial;
    static Element* Get(const VOxaLayer* layer) { return layer->GetMaterials(); }
    static int ClassId() { return VOxaMaterial::GetClassId(); }
    static int BlockClassId() { return VOxaMaterialProperties::ClassId; }
    static const char* Prefix() { return "Material::"; }
};

struct TextureKind {
    using Object = VOxaTexture;
    using Element = VOxaLayerElementTexture;
    static Element* Get(const VOxaLayer* layer) { return layer->GetTextures(); }
    static int ClassId() { return VOxaTexture::GetClassId(); }
    static int BlockClassId() { return VOxaTextureProperties::ClassId; }
    static const char* Prefix() { return "Texture::"; }
};

// True when the element's direct array holds the objects (direct or index-to-direct).
bool HoldsObjects(const VOxaLayerElement* element) {
    return element->GetReferenceMode() == eDIRECT || element->GetReferenceMode() == eINDEX_TO_DIRECT;
}

// The view of the node block's sources that passes the class filter of `classId` (every
// connected object while the class has no id); null without node or block.
VFilteredPlug* ConnectedView(const VOxaNode* node, int classId) {
    if (node == nullptr) return nullptr;
    VOxaPropertyHandler* block = node->GetPropertyHandler();
    if (block == nullptr) return nullptr;
    return block->GetFilteredPlug(GetClassFilter(classId));
}

template <typename Kind>
int CountOf(const VOxaLayerContainer& container, int layerIndex) {
    const VOxaLayer* layer = container.GetLayer(layerIndex);
    const typename Kind::Element* element = layer ? Kind::Get(layer) : nullptr;
    if (element == nullptr) return 0;
    if (element->GetReferenceMode() != eINDEX) return element->GetDirectArray().GetCount();

    // Index reference: the indices point at the objects connected to the node. Only the number
    // of distinct indices matters, so sort a copy.
    const VArrayTemplate<int>& indices = element->GetIndexArray();
    int distinct = 0;
    try {
        std::vector<int> values(indices.GetArray(), indices.GetArray() + indices.GetCount());
        std::sort(values.begin(), values.end());
        distinct = (int)(std::unique(values.begin(), values.end()) - values.begin());
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return 0;
    }
    const VFilteredPlug* view = ConnectedView(container.GetNode(), Kind::ClassId());
    const int connected = view ? view->GetSrcCount() : 0;
    return std::min(distinct, connected);
}

template <typename Kind>
typename Kind::Object* ObjectAt(const VOxaLayerContainer& container, int index, int layerIndex) {
    const VOxaLayer* layer = container.GetLayer(layerIndex);
    const typename Kind::Element* element = layer ? Kind::Get(layer) : nullptr;
    if (element == nullptr) return nullptr;
    if (element->GetReferenceMode() != eINDEX) return element->GetDirectArray().GetAt(index);

    const VFilteredPlug* view = ConnectedView(container.GetNode(), Kind::ClassId());
    if (view == nullptr || index < 0 || index >= view->GetSrcCount()) return nullptr;
    VPlug* plug = view->GetSrc(index);
    // Only a block of the right class has an owner of the right class.
    if (plug == nullptr || !plug->IsA(Kind::BlockClassId())) return nullptr;
    return static_cast<typename Kind::Object*>(static_cast<VOxaPropertyHandler*>(plug)->GetOwner());
}

template <typename Kind>
int IndexOfName(const VOxaLayerContainer& container, const char* name, int layerIndex) {
    if (name == nullptr) return -1;
    const VOxaLayer* layer = container.GetLayer(layerIndex);
    const typename Kind::Element* element = layer ? Kind::Get(layer) : nullptr;
    if (element == nullptr) return -1;
    VString fullName(Kind::Prefix());
    fullName += name;
    const VArrayTemplate<typename Kind::Object*>& objects = element->GetDirectArray();
    for (int i = 0; i < objects.GetCount(); ++i) {
        if (objects[i] != nullptr && fullName.Compare(objects[i]->GetName()) == 0) return i;
    }
    return -1;
}

}  // namespace

// --- VOxaLayerContainer ------------------------------------------------------------------------

VOxaLayerContainer::~VOxaLayerContainer() {
    DeleteLayers();
}

void VOxaLayerContainer::DeleteLayers() {
    for (int i = mLayers.GetCount() - 1; i >= 0; --i)
        delete mLayers[i];
    mLayers.Clear();
}

void VOxaLayerContainer::ClearLayers() {
    VOxaSceneContents* contents = mSceneContents;
    DisconnectContents();
    DeleteLayers();
    mSceneContents = contents;
}

int VOxaLayerContainer::CreateLayer() {
    VOxaLayer* layer = oxa_alloc::Counted(new (std::nothrow) VOxaLayer());
    if (layer == nullptr) return -1;
    const int index = mLayers.Add(layer);
    if (index < 0) delete layer;
    return index;
}

VOxaLayer* VOxaLayerContainer::GetOrCreateLayer0() {
    if (mLayers.GetCount() == 0) CreateLayer();
    return GetLayer(0);
}

int VOxaLayerContainer::GetLayerCountOfType(int type) const {
    int count = 0;
    for (int i = 0; i < mLayers.GetCount(); ++i) {
        if (mLayers[i]->GetLayerElement(type) != nullptr) ++count;
    }
    return count;
}

int VOxaLayerContainer::GetLayerIndexOfType(int index, int type) const {
    if (index < 0) return -1;
    for (int i = 0; i < mLayers.GetCount(); ++i) {
        if (mLayers[i]->GetLayerElement(type) != nullptr && index-- == 0) return i;
    }
    return -1;
}

VOxaLayer* VOxaLayerContainer::GetLayerOfType(int index, int type) const {
    return GetLayer(GetLayerIndexOfType(index, type));
}

int VOxaLayerContainer::GetLayerTypedIndex(int layer, int type) const {
    if (layer < 0 || layer >= mLayers.GetCount()) return -1;
    int count = 0;
    for (int i = 0; i <= layer; ++i) {
        if (mLayers[i]->GetLayerElement(type) != nullptr) ++count;
    }
    return count - 1;
}

int VOxaLayerContainer::GetMaterialCount(int layer) const {
    return CountOf<MaterialKind>(*this, layer);
}

VOxaMaterial* VOxaLayerContainer::GetMaterial(int index, int layer) const {
    return ObjectAt<MaterialKind>(*this, index, layer);
}

int VOxaLayerContainer::GetMaterialIndex(const char* name, int layer) const {
    return IndexOfName<MaterialKind>(*this, name, layer);
}

int VOxaLayerContainer::GetTextureCount(int layer) const {
    return CountOf<TextureKind>(*this, layer);
}

VOxaTexture* VOxaLayerContainer::GetTexture(int index, int layer) const {
    return ObjectAt<TextureKind>(*this, index, layer);
}

int VOxaLayerContainer::GetTextureIndex(const char* name, int layer) const {
    return IndexOfName<TextureKind>(*this, name, layer);
}

VOxaLayer* VOxaLayerContainer::MakeLayer(int layer) {
    if (layer < 0) return nullptr;
    while (mLayers.GetCount() <= layer) {
        if (CreateLayer() < 0) return nullptr;
    }
    return mLayers[layer];
}

int VOxaLayerContainer::AddMaterial(VOxaMaterial* material, int layerIndex) {
    // A null entry would only be a hole in the array that every user must step around.
    if (material == nullptr || !VOxaSameManager(GetSdkManager(), material->GetSdkManager())) return -1;
    VOxaLayer* layer = MakeLayer(layerIndex);
    if (layer == nullptr) return -1;
    VOxaLayerElementMaterial* element = layer->GetMaterials();
    if (element == nullptr) {
        element = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementMaterial());
        if (element == nullptr) return -1;
        layer->SetMaterials(element);
    }
    VArrayTemplate<VOxaMaterial*>& materials = element->GetDirectArray();
    if (materials.Find(material) >= 0) return -1;
    const int index = materials.Add(material);
    if (index >= 0 && mSceneContents != nullptr) mSceneContents->AddMaterial(material);
    return index;
}

int VOxaLayerContainer::AddTexture(VOxaTexture* texture, int layerIndex) {
    if (texture == nullptr || !VOxaSameManager(GetSdkManager(), texture->GetSdkManager())) return -1;
    VOxaLayer* layer = MakeLayer(layerIndex);
    if (layer == nullptr) return -1;
    VOxaLayerElementTexture* element = layer->GetTextures();
    if (element == nullptr) {
        element = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementTexture());
        if (element == nullptr) return -1;
        layer->SetTextures(element);
    }
    VArrayTemplate<VOxaTexture*>& textures = element->GetDirectArray();
    const int present = textures.Find(texture);
    if (present >= 0) return present;
    const int index = textures.Add(texture);
    if (index >= 0 && mSceneContents != nullptr) mSceneContents->AddTexture(texture);
    return index;
}

// The empty slots at the end of a material or texture element that no polygon refers to go:
// a mesh given objects that are destroyed afterwards keeps no slot for each of them. A slot that
// an index still names stays empty, so that a later addition does not take its polygons.
template <typename Element>
static void DropFreeTrailingSlots(Element* element) {
    auto& items = element->GetDirectArray();
    int count = items.GetCount();
    if (count == 0 || items[count - 1] != nullptr) return;
    int highest = -1;
    const VArrayTemplate<int>& indices = element->GetIndexArray();
    for (int k = 0; k < indices.GetCount(); ++k)
        highest = std::max(highest, indices[k]);
    // One value for the whole geometry is the first slot.
    if (element->GetMappingMode() == eALL_SAME) highest = std::max(highest, 0);
    while (count > 0 && count - 1 > highest && items[count - 1] == nullptr)
        --count;
    if (count < items.GetCount()) items.SetCount(count);
}

void VOxaLayerContainer::ReleaseMaterial(const VOxaMaterial* material) {
    if (material == nullptr) return;
    for (int i = 0; i < mLayers.GetCount(); ++i) {
        VOxaLayerElementMaterial* element = mLayers[i]->GetMaterials();
        if (element == nullptr) continue;
        VArrayTemplate<VOxaMaterial*>& items = element->GetDirectArray();
        for (int k = 0; k < items.GetCount(); ++k)
            if (items[k] == material) items[k] = nullptr;
        DropFreeTrailingSlots(element);
    }
}

void VOxaLayerContainer::ReleaseTexture(const VOxaTexture* texture) {
    if (texture == nullptr) return;
    for (int i = 0; i < mLayers.GetCount(); ++i) {
        VOxaLayerElementTexture* element = mLayers[i]->GetTextures();
        if (element == nullptr) continue;
        VArrayTemplate<VOxaTexture*>& items = element->GetDirectArray();
        for (int k = 0; k < items.GetCount(); ++k)
            if (items[k] == texture) items[k] = nullptr;
        DropFreeTrailingSlots(element);
    }
}

void VOxaLayerContainer::CopyLayers(const VOxaLayerContainer& other) {
    if (&other == this) return;
    // The materials and textures of the old layers give back their uses and those of the new
    // ones take theirs, so the contents' use counts stay right.
    VOxaSceneContents* contents = mSceneContents;
    DisconnectContents();
    DeleteLayers();
    for (int i = 0; i < other.mLayers.GetCount(); ++i) {
        const int index = CreateLayer();
        if (index < 0) break;
        mLayers[index]->CopyFrom(*other.mLayers[i]);
    }
    ConnectContents(contents);
}

void VOxaLayerContainer::RegisterObjects(bool add) {
    // Calls `visit` with each material and texture the layers hold (the other one null), in
    // layer order, while it answers true.
    auto each = [this](auto visit) {
        for (int i = 0; i < mLayers.GetCount(); ++i) {
            const VOxaLayerElementMaterial* materials = mLayers[i]->GetMaterials();
            if (materials != nullptr && HoldsObjects(materials)) {
                const VArrayTemplate<VOxaMaterial*>& items = materials->GetDirectArray();
                for (int k = 0; k < items.GetCount(); ++k) {
                    if (items[k] != nullptr && !visit(items[k], nullptr)) return;
                }
            }
            const VOxaLayerElementTexture* textures = mLayers[i]->GetTextures();
            if (textures != nullptr && HoldsObjects(textures)) {
                const VArrayTemplate<VOxaTexture*>& items = textures->GetDirectArray();
                for (int k = 0; k < items.GetCount(); ++k) {
                    if (items[k] != nullptr && !visit(nullptr, items[k])) return;
                }
            }
        }
    };
    auto remove = [this](VOxaMaterial* material, VOxaTexture* texture) {
        material ? mSceneContents->RemoveMaterial(material) : mSceneContents->RemoveTexture(texture);
    };
    if (!add) {
        each([&](VOxaMaterial* material, VOxaTexture* texture) { return remove(material, texture), true; });
        return;
    }
    int added = 0;
    try {
        each([&](VOxaMaterial* material, VOxaTexture* texture) {
            material ? mSceneContents->AddMaterial(material) : mSceneContents->AddTexture(texture);
            return ++added, true;
        });
    } catch (const std::bad_alloc&) {
        // Memory ran out part way: the uses taken give way again, and the contents are as they were.
        each([&](VOxaMaterial* material, VOxaTexture* texture) {
            if (added == 0) return false;
            remove(material, texture);
            return --added, true;
        });
        throw;
    }
}

void VOxaLayerContainer::ConnectContents(VOxaSceneContents* contents) {
    if (contents == mSceneContents) return;
    DisconnectContents();
    if (contents == nullptr) return;
    mSceneContents = contents;
    try {
        RegisterObjects(true);
    } catch (const std::bad_alloc&) {
        mSceneContents = nullptr;
        throw;
    }
}

void VOxaLayerContainer::DisconnectContents() {
    if (mSceneContents == nullptr) return;
    RegisterObjects(false);
    mSceneContents = nullptr;
}

// --- VOxaGeometryBase --------------------------------------------------------------------------

void VOxaGeometryBase::InitControlPoints(int count) {
    mControlPoints.Clear();
    if (count > 0) mControlPoints.SetCount(count);
}

VOxaLayerElementNormal* VOxaGeometryBase::GetNormalElement() const {
    const VOxaLayer* layer = GetLayer(0);
    return layer ? layer->GetNormals() : nullptr;
}

void VOxaGeometryBase::SetControlPointAt(const VgeTVector& point, const VgeTVector& normal, int index) {
    if (index < 0 || index == 0x7fffffff) return;
    if (index >= mControlPoints.GetCount() && !mControlPoints.SetCount(index + 1)) return;
    mControlPoints[index] = point;
    // A geometry without normals stays without: the normal has nowhere to go.
    VOxaLayerElementNormal* element = GetNormalElement();
    if (element == nullptr) return;
    VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    if (index >= normals.GetCount() && !normals.SetCount(index + 1)) return;
    normals[index] = normal;
}

void VOxaGeometryBase::InitNormals(int count) {
    VOxaLayer* layer = GetOrCreateLayer0();
    if (layer == nullptr) return;
    VOxaLayerElementNormal* element = layer->GetNormals();
    if (element == nullptr) {
        element = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementNormal());
        if (element == nullptr) return;
        layer->SetNormals(element);
    }
    const int pointCount = mControlPoints.GetCount();
    const bool ownCount = count >= 1 && count != pointCount;
    element->SetMappingMode(ownCount ? eBY_POLYGON_VERTEX : eBY_CONTROL_POINT);
    element->SetReferenceMode(eDIRECT);
    VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    normals.Clear();
    normals.SetCount(ownCount ? count : pointCount);
}

VgeTVector* VOxaGeometryBase::GetNormals() const {
    VOxaLayerElementNormal* element = GetNormalElement();
    return element ? element->GetDirectArray().GetArray() : nullptr;
}

VOxaGeometryBase& VOxaGeometryBase::operator=(const VOxaGeometryBase& other) {
    if (&other == this) return *this;
    CopyLayers(other);
    mControlPoints = other.mControlPoints;
    return *this;
}
