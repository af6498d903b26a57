// The manager's part that keeps every holder of an object from outliving it: before an object is
// deleted, each scene, geometry, shape, material and link that holds it lets it go.
#include <algorithm>

#include "attributes/voxa_geometry.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

VOxaGeometry* AsGeometry(VOxaNodeAttribute* attribute) {
    if (!attribute || !VOxaNodeAttribute::IsGeometryType(attribute->GetAttributeType())) return nullptr;
    return static_cast<VOxaGeometry*>(attribute);
}

// Calls `visit` with every layer container the manager holds: the geometries among the
// attributes, and the shapes.
template <typename Visit>
void ForEachLayerContainer(const VOxaRegistry<VOxaNodeAttribute>& attributes,
                           const VOxaRegistry<VOxaShape>& shapes, Visit visit) {
    for (int i = 0, n = attributes.GetCount(); i < n; ++i) {
        if (VOxaGeometry* geometry = AsGeometry(attributes.Get(i))) visit(geometry);
    }
    for (int i = 0, n = shapes.GetCount(); i < n; ++i) {
        if (VOxaShape* shape = shapes.Get(i)) visit(shape);
    }
}

}  // namespace

void VOxaSdkManager::ReleaseNode(VOxaNode* node) {
    // A node without parent that a scene lists (its root) leaves it here; any other node left
    // with its parent link already. Its subtree, if it still has one, is no longer the scene's.
    if (node->GetSceneContents()) node->SetSceneContents(nullptr, false);
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
        mScenes.Get(i)->ReleaseNode(node);
}

void VOxaSdkManager::ReleaseNodesFromLinks(std::vector<VOxaNode*>& nodes) {
    if (nodes.empty() || mLinks.IsEmpty()) return;
    std::sort(nodes.begin(), nodes.end());
    auto doomed = [&nodes](const VOxaNode* node) {
        return node && std::binary_search(nodes.begin(), nodes.end(), node);
    };
    for (int i = 0, n = mLinks.GetCount(); i < n; ++i) {
        VOxaLink* link = mLinks.Get(i);
        if (doomed(link->GetLink())) link->ReleaseNode(link->GetLink());
        if (doomed(link->GetAssociateModel())) link->ReleaseNode(link->GetAssociateModel());
    }
}

void VOxaSdkManager::ReleaseNodeAttribute(VOxaNodeAttribute* attribute) {
    if (VOxaNode* node = attribute->GetNode()) node->SetNodeAttribute(nullptr);
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
        mScenes.Get(i)->ReleaseNodeAttribute(attribute);
}

void VOxaSdkManager::ReleaseMaterial(VOxaMaterial* material) {
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
        mScenes.Get(i)->GetContents()->ReleaseMaterial(material);
    ForEachLayerContainer(mNodeAttributes, mShapes, [material](VOxaLayerContainer* container) {
        container->ReleaseMaterial(material);
    });
}

void VOxaSdkManager::ReleaseTexture(VOxaTexture* texture) {
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
        mScenes.Get(i)->GetContents()->ReleaseTexture(texture);
    ForEachLayerContainer(mNodeAttributes, mShapes,
                          [texture](VOxaLayerContainer* container) { container->ReleaseTexture(texture); });
    for (int i = 0, n = mMaterials.GetCount(); i < n; ++i)
        mMaterials.Get(i)->ReleaseTexture(texture);
}

void VOxaSdkManager::ReleaseVideo(VOxaVideo* video) {
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
        mScenes.Get(i)->GetContents()->ReleaseVideo(video);
}

void VOxaSdkManager::ReleaseLink(VOxaLink* link) {
    if (link->mHolderCount <= 0) return;
    for (int i = 0, n = mNodeAttributes.GetCount(); i < n && link->mHolderCount > 0; ++i) {
        if (VOxaGeometry* geometry = AsGeometry(mNodeAttributes.Get(i))) geometry->ReleaseLink(link);
    }
}

void VOxaSdkManager::ReleaseShape(VOxaShape* shape) {
    if (VOxaNode* node = shape->GetNode()) node->SetNodeAttribute(nullptr);
    for (int i = 0, n = mNodeAttributes.GetCount(); i < n && shape->mHolderCount > 0; ++i) {
        if (VOxaGeometry* geometry = AsGeometry(mNodeAttributes.Get(i))) geometry->ReleaseShape(shape);
    }
    // Its materials and textures are no longer used through it.
    shape->DisconnectContents();
}
