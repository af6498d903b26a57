// The conversions a scene goes through around the own file format: before writing, the
// relations kept inside geometries (layer materials and textures, skin links) and the media
// named by textures and gobos become objects and connections; after reading, the connections
// become those relations again. Everything here may run on a scene just read, so every pointer,
// index and connection is checked before use and malformed entries are skipped.

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "attributes/voxa_deformer.h"
#include "attributes/voxa_geometry.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/vdelivery_internal.h"
#include "base/vpath.h"
#include "objects/vobject_list.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// Object type codes of the connected objects looked for here.
constexpr int kTextureTypeCode = 2;
constexpr int kMaterialTypeCode = 3;
constexpr int kVideoTypeCode = 5;

// The scene object of type `T` (type code `typeCode`) that owns `plug`, null when the plug is not
// a property handler or its owner is of another type.
template <typename T>
T* OwnerOfType(const VPlug* plug, int typeCode) {
    VOxaObject* owner = VObjectList::GetOwnerObject(plug);
    if (!owner || owner->GetTypeCode() != typeCode) return nullptr;
    return dynamic_cast<T*>(owner);
}

// The node whose property block `plug` is, null for anything else.
VOxaNode* NodeOfPlug(const VPlug* plug) {
    if (!plug || !plug->IsA(VOxaNodeProperties::ClassInfo.GetId())) return nullptr;
    return static_cast<const VOxaNodeProperties*>(plug)->GetOwnerNode();
}

// The geometry of `node` when its attribute is a mesh, NURBS or patch, null otherwise.
VOxaGeometry* GeometryOf(const VOxaNode* node) {
    if (!node) return nullptr;
    VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute || !VOxaNodeAttribute::IsGeometryType(attribute->GetAttributeType())) return nullptr;
    return dynamic_cast<VOxaGeometry*>(attribute);
}

// `name` without everything up to and including its first "::" (the whole name without one).
const char* StripFirstScope(const char* name) {
    if (!name) return "";
    const char* scope = std::strstr(name, "::");
    return scope ? scope + 2 : name;
}

// The layer element of a material or texture kind, typed.
VOxaLayerElementMaterial* ElementOf(VOxaLayer* layer, VOxaMaterial*) {
    return layer ? layer->GetMaterials() : nullptr;
}
VOxaLayerElementTexture* ElementOf(VOxaLayer* layer, VOxaTexture*) {
    return layer ? layer->GetTextures() : nullptr;
}

// Connects to each geometry node of `contents` the objects of type `T` named by its layers'
// elements in "Direct" or "IndexToDirect" mode; in "IndexToDirect" mode, index entries past the
// direct array are cleared to -1.
template <typename T>
void ConnectLayerObjects(VOxaSceneContents* contents) {
    if (!contents) return;
    for (int n = 0, nodeCount = contents->GetNodeCount(); n < nodeCount; ++n) {
        VOxaNode* node = contents->GetNode(n);
        VOxaGeometry* geometry = GeometryOf(node);
        VOxaPropertyHandler* nodeHandler = node ? node->GetPropertyHandler() : nullptr;
        if (!geometry || !nodeHandler) continue;
        for (int l = 0, layerCount = geometry->GetLayerCount(); l < layerCount; ++l) {
            auto* element = ElementOf(geometry->GetLayer(l), static_cast<T*>(nullptr));
            if (!element) continue;
            const int mode = element->GetReferenceMode();
            if (mode != eDIRECT && mode != eINDEX_TO_DIRECT) continue;
            auto& direct = element->GetDirectArray();
            const int directCount = direct.GetCount();
            for (int i = 0; i < directCount; ++i) {
                T* object = direct.GetAt(i);
                VOxaPropertyHandler* handler = object ? object->GetPropertyHandler() : nullptr;
                // Connected already: the membership test of the connection list answers what a
                // backward search over the node's sources would.
                if (!handler || nodeHandler->IsConnectedSrc(handler)) continue;
                nodeHandler->ConnectSrc(handler);
            }
            if (mode == eINDEX_TO_DIRECT) {
                VArrayTemplate<int>& indices = element->GetIndexArray();
                int* entries = indices.GetArray();
                for (int i = 0, count = indices.GetCount(); i < count; ++i) {
                    if (entries[i] >= directCount) entries[i] = -1;
                }
            }
        }
    }
}

// The sources of `handler` owned by objects of type `T` (type code `typeCode`), in connection
// order.
template <typename T>
void CollectSources(const VOxaPropertyHandler* handler, int typeCode, std::vector<T*>& out) {
    out.clear();
    for (int i = 0, count = handler->GetSrcCount(); i < count; ++i) {
        if (T* object = OwnerOfType<T>(handler->GetSrc(i), typeCode)) out.push_back(object);
    }
}

// Rebuilds the direct arrays of the `T` elements of each geometry node of `contents` from the
// node's `T` sources.
template <typename T>
void FillLayerObjects(VOxaSceneContents* contents, int typeCode) {
    if (!contents) return;
    std::vector<T*> sources;
    std::vector<int> remap;
    for (int n = 0, nodeCount = contents->GetNodeCount(); n < nodeCount; ++n) {
        VOxaNode* node = contents->GetNode(n);
        VOxaGeometry* geometry = GeometryOf(node);
        VOxaPropertyHandler* nodeHandler = node ? node->GetPropertyHandler() : nullptr;
        if (!geometry || !nodeHandler) continue;
        bool collected = false;
        for (int l = 0, layerCount = geometry->GetLayerCount(); l < layerCount; ++l) {
            auto* element = ElementOf(geometry->GetLayer(l), static_cast<T*>(nullptr));
            if (!element) continue;
            const int mode = element->GetReferenceMode();
            if (mode != eDIRECT && mode != eINDEX_TO_DIRECT) continue;
            if (!collected) {
                CollectSources<T>(nodeHandler, typeCode, sources);
                collected = true;
            }
            const int sourceCount = (int)sources.size();
            auto& direct = element->GetDirectArray();
            if (mode == eDIRECT) {
                while (direct.GetCount() < sourceCount) {
                    if (direct.Add(sources[direct.GetCount()]) < 0) break;  // out of memory
                }
                continue;
            }
            // "IndexToDirect": each source j that the index array uses is appended, at position
            // k, and the entries j then read k. The renumbering is gathered first and applied in
            // one pass, so an entry rewritten to k is never taken for source k later on.
            VArrayTemplate<int>& indices = element->GetIndexArray();
            int* entries = indices.GetArray();
            const int indexCount = indices.GetCount();
            remap.assign(sourceCount, -1);
            for (int i = 0; i < indexCount; ++i) {
                const int j = entries[i];
                if (j >= 0 && j < sourceCount) remap[j] = j;  // used; its new position follows
            }
            bool moved = false;
            for (int j = 0; j < sourceCount; ++j) {
                if (remap[j] < 0) continue;
                const int k = direct.Add(sources[j]);
                if (k < 0) {  // out of memory: the entries of j stay as they are
                    remap[j] = j;
                    continue;
                }
                remap[j] = k;
                moved = moved || k != j;
            }
            if (!moved) continue;
            for (int i = 0; i < indexCount; ++i) {
                const int j = entries[i];
                if (j >= 0 && j < sourceCount && remap[j] >= 0) entries[i] = remap[j];
            }
        }
    }
}

}  // namespace

// --- To connections -------------------------------------------------------------------------------

void VOxaScene::ConnectLayerMaterials() {
    ConnectLayerObjects<VOxaMaterial>(mContents);
}

void VOxaScene::ConnectLayerTextures() {
    ConnectLayerObjects<VOxaTexture>(mContents);
}

void VOxaScene::CreateVideos() {
    if (!mContents || !mManager) return;
    for (int i = 0, count = mContents->GetTextureCount(); i < count; ++i) {
        VOxaTexture* texture = mContents->GetTexture(i);
        if (!texture) continue;
        AttachVideo(texture, texture->GetFileName(), texture->GetRelativeFileName(),
                    texture->GetMediaName().Buffer(), texture->GetNameWithoutPrefix());
    }
    for (int i = 0, count = mManager->GetNodeCount(); i < count; ++i) {
        VOxaNode* node = mManager->GetNode(i);
        VOxaLight* light = node ? node->GetLight() : nullptr;
        const char* gobo = light ? light->GetGoboFileName() : nullptr;
        if (!gobo || !*gobo) continue;
        // An absolute path (a drive or a share) is also given relative to the current
        // directory; a relative one has no second form.
        const bool absolute = std::strchr(gobo, ':') || (gobo[0] == '\\' && gobo[1] == '\\');
        VString relative = absolute ? GetRelativeFilePath(gobo) : VString();
        VString fallback = GetFileName(gobo, true);
        AttachVideo(node, gobo, absolute ? relative.Buffer() : nullptr, "", fallback.Buffer());
    }
}

void VOxaScene::AttachVideo(VOxaObject* object, const char* fileName, const char* relativeFileName,
                            const char* mediaName, const char* fallbackName) {
    if (!object || !mManager || !fileName || !*fileName ||
        !VOxaSameManager(mManager, object->GetSdkManager()))
        return;
    VOxaPropertyHandler* handler = object->GetPropertyHandler();
    if (!handler) return;
    // A video among the sources is attached already. Every source is looked at, not only the
    // first: a node may have other sources (a material, a skin) before its video.
    for (int i = 0, count = handler->GetSrcCount(); i < count; ++i) {
        if (OwnerOfType<VOxaVideo>(handler->GetSrc(i), kVideoTypeCode)) return;
    }
    const char* name = mediaName && *mediaName ? mediaName : fallbackName;
    VOxaVideo* video = mManager->CreateVideo(name ? name : "");
    VOxaPropertyHandler* videoHandler = video ? video->GetPropertyHandler() : nullptr;
    if (!videoHandler) return;
    video->SetFileName(fileName);
    if (relativeFileName && *relativeFileName) video->SetRelativeFileName(relativeFileName);
    handler->ConnectSrc(videoHandler);
}

void VOxaScene::ConvertLinksToDeformers() {
    if (!mContents || !mManager) return;
    // The full names of the listed deformers, and per cluster base name the last number given,
    // so that finding a free name does not search the deformer list once per candidate. Names
    // only ever join the set here, so every number up to the remembered one is still taken and
    // the search may resume after it: the names chosen are those of counting from 1.
    std::unordered_set<std::string> taken;
    for (int i = 0, count = mContents->GetDeformerCount(0); i < count; ++i) {
        if (VOxaDeformer* deformer = mContents->GetDeformer(i, 0)) taken.insert(deformer->GetName());
    }
    std::unordered_map<std::string, int> lastNumber;
    std::string base, candidate;
    char number[16];

    for (int n = 0, nodeCount = mContents->GetNodeCount(); n < nodeCount; ++n) {
        VOxaNode* node = mContents->GetNode(n);
        VOxaGeometry* geometry = GeometryOf(node);
        VOxaPropertyHandler* nodeHandler = node ? node->GetPropertyHandler() : nullptr;
        if (!geometry || !nodeHandler || geometry->GetLinkCount() <= 0) continue;

        // The full name is given so that a "::" inside the node's own name survives.
        std::string skinName = "Deformer::Skin ";
        skinName += StripFirstScope(node->GetName());
        VOxaDeformer* skin = mManager->CreateDeformer(skinName.c_str(), "Skin");
        VOxaPropertyHandler* skinHandler = skin ? skin->GetPropertyHandler() : nullptr;
        if (!skinHandler) continue;
        mContents->AddDeformer(skin);
        taken.insert(skin->GetName());
        nodeHandler->ConnectSrc(skinHandler);

        for (int l = 0, linkCount = geometry->GetLinkCount(); l < linkCount; ++l) {
            VOxaLink* link = geometry->GetLink(l);
            VOxaNode* linkNode = link ? link->GetLink() : nullptr;
            VOxaPropertyHandler* linkHandler = linkNode ? linkNode->GetPropertyHandler() : nullptr;
            if (!linkHandler) continue;

            base = "SubDeformer::Cluster ";
            base += StripFirstScope(linkNode->GetName());
            candidate = base;
            if (taken.count(candidate)) {
                int& last = lastNumber[base];
                do {
                    std::snprintf(number, sizeof number, " %d", ++last);
                    candidate = base;
                    candidate += number;
                } while (taken.count(candidate));
            }
            VOxaDeformer* cluster = mManager->CreateDeformer(candidate.c_str(), "Cluster");
            VOxaPropertyHandler* clusterHandler = cluster ? cluster->GetPropertyHandler() : nullptr;
            if (!clusterHandler) continue;
            mContents->AddDeformer(cluster);
            taken.insert(cluster->GetName());
            cluster->CopyFromLink(link);
            clusterHandler->ConnectSrc(linkHandler);
            if (VOxaNode* associate = link->GetAssociateModel()) {
                auto* block = static_cast<VOxaClusterDeformerProperties*>(clusterHandler);
                if (block->GetSrcModelReference() && associate->GetPropertyHandler())
                    block->GetSrcModelReference()->Add(associate->GetPropertyHandler());
            }
            skinHandler->ConnectSrc(clusterHandler);
        }
    }
}

// --- From connections -----------------------------------------------------------------------------

void VOxaScene::FillLayerMaterials() {
    FillLayerObjects<VOxaMaterial>(mContents, kMaterialTypeCode);
}

void VOxaScene::FillLayerTextures() {
    FillLayerObjects<VOxaTexture>(mContents, kTextureTypeCode);
}

void VOxaScene::ConvertDeformersToLinks() {
    if (!mContents || !mManager) return;
    const int clusterClass = VOxaClusterDeformerProperties::ClassInfo.GetId();
    for (int s = 0, skinCount = mContents->GetDeformerCount(VOxaDeformer::eSkin); s < skinCount; ++s) {
        VOxaDeformer* skin = mContents->GetDeformer(s, VOxaDeformer::eSkin);
        VOxaPropertyHandler* skinHandler = skin ? skin->GetPropertyHandler() : nullptr;
        if (!skinHandler) continue;
        for (int d = 0, dstCount = skinHandler->GetDstCount(); d < dstCount; ++d) {
            VOxaGeometry* geometry = GeometryOf(NodeOfPlug(skinHandler->GetDst(d)));
            if (!geometry) continue;
            for (int c = 0, srcCount = skinHandler->GetSrcCount(); c < srcCount; ++c) {
                VPlug* src = skinHandler->GetSrc(c);
                if (!src || !src->IsA(clusterClass)) continue;
                auto* block = static_cast<VOxaClusterDeformerProperties*>(src);
                auto* cluster = dynamic_cast<VOxaDeformer*>(block->GetOwner());
                if (!cluster) continue;
                VOxaLink* link = mManager->CreateLink();
                if (!link) continue;
                link->CopyFromDeformer(cluster);
                for (int i = 0, count = block->GetSrcCount(); i < count; ++i) {
                    if (VOxaNode* linkNode = NodeOfPlug(block->GetSrc(i))) {
                        link->SetLink(linkNode);
                        break;
                    }
                }
                if (VPropertyObjectList* reference = block->GetSrcModelReference()) {
                    for (int i = 0, count = reference->GetCount(); i < count; ++i) {
                        if (VOxaNode* associate = NodeOfPlug(reference->GetAt(i))) {
                            link->SetAssociateModel(associate);
                            break;
                        }
                    }
                }
                geometry->AddLink(link);
            }
        }
    }
}

void VOxaScene::ConvertSkeletonRootInheritType(VOxaNode* node) {
    if (!node) return;
    // Depth first without recursion, so that a deep hierarchy read from a file cannot exhaust
    // the stack; children are visited in order, each before its own children.
    std::vector<VOxaNode*> pending;
    pending.push_back(node);
    while (!pending.empty()) {
        VOxaNode* parent = pending.back();
        pending.pop_back();
        const bool parentIsSkeleton = parent->GetNodeAttributeType() == VOxaNodeAttribute::eSkeleton;
        const int childCount = parent->GetChildCount();
        for (int i = 0; i < childCount; ++i) {
            VOxaNode* child = parent->GetChild(i);
            if (!child || parentIsSkeleton || !child->GetConversionFlag()) continue;
            if (child->GetNodeAttributeType() != VOxaNodeAttribute::eSkeleton) continue;
            ETransformInheritType type = eINHERIT_RrSs;
            child->GetTransformInheritType(type);
            if (type == eINHERIT_Rrs) child->SetTransformInheritType(eINHERIT_RrSs_ALT);
        }
        for (int i = childCount - 1; i >= 0; --i) {
            if (VOxaNode* child = parent->GetChild(i)) pending.push_back(child);
        }
    }
}

// --- Either direction -----------------------------------------------------------------------------

void VOxaScene::DestroyAllDeformers() {
    oxa_delivery::Scope scope;
    if (!mContents || !mManager) return;
    // Clusters first, then whatever deformers remain, each in list order. The deformers of a
    // kind are taken in one snapshot: asking for the first one again after every removal would
    // filter the whole object list each time. The outer loop repeats while a pass made progress,
    // in case destroying one deformer listed another.
    std::vector<VOxaDeformer*> doomed;
    for (int kind : {(int)VOxaDeformer::eCluster, 0}) {
        for (;;) {
            const int count = mContents->GetDeformerCount(kind);
            if (count <= 0) break;
            doomed.clear();
            for (int i = 0; i < count; ++i) {
                if (VOxaDeformer* deformer = mContents->GetDeformer(i, kind)) doomed.push_back(deformer);
            }
            bool removed = false;
            for (VOxaDeformer* deformer : doomed) {
                if (!mContents->RemoveDeformer(deformer)) continue;
                removed = true;
                mManager->DestroyObject(deformer);
            }
            if (!removed) break;
        }
    }
}
