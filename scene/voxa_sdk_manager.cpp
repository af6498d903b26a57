#include "scene/voxa_sdk_manager.h"

#include <new>
#include <type_traits>
#include <unordered_set>
#include <utility>

#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "base/vimage_converter.h"
#include "character/voxa_character_pose.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "oxa_codec/voxa_builtins_internal.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "scene/voxa_make_listed_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_links_internal.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_take_info.h"

namespace {

const char* const kManagerErrors[] = {"Object not found", "Object in use"};

// The `index`-th entry whose full name is `prefix` + `name` (VOxaMakeObjectName), null when none.
template <typename T>
T* FindPrefixed(const VOxaRegistry<T>& registry, const char* prefix, const char* name, int index) {
    return registry.FindByName(VOxaMakeObjectName(prefix, name).Buffer(), index);
}

}  // namespace

const char* VOxaGetDeformerNamePrefix(const char* typeName) {
    if (typeName && VString(typeName).CompareNoCase("Cluster") == 0) return "SubDeformer::";
    return "Deformer::";
}

VOxaSdkManager* VOxaSdkManager::Create() {
    // A manager whose making runs out of memory (its object list, say) is null, as promised.
    try {
        VOxaSdkRegisterBuiltins();
        return oxa_alloc::Counted(new (std::nothrow) VOxaSdkManager());
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return nullptr;
    }
}

// The list is made last, so that no member left to make can fail after it.
VOxaSdkManager::VOxaSdkManager() : mObjects(nullptr), mError(kManagerErrors, eErrorCount) {
    mObjects = new VObjectList();
}

VOxaSdkManager::~VOxaSdkManager() {
    // Destructions a callback asked of this manager are not carried out: everything goes now.
    oxa_delivery::ForgetOwner(this);
    {
        oxa_delivery::Scope scope;
        DestroyEverything();
        oxa_delivery::ForgetOwner(this);
    }
    delete mObjects;
    mObjects = nullptr;
}

bool VOxaSdkManager::NotFound() {
    mError.SetLastErrorID(eObjectNotFound);
    return false;
}

bool VOxaSdkManager::InUse() {
    mError.SetLastErrorID(eObjectInUse);
    return false;
}

void VOxaSdkManager::RunDeferred(void* owner, int kind, void* object, bool flag) {
    auto* manager = static_cast<VOxaSdkManager*>(owner);
    switch (kind) {
        case eDeferScene:
            manager->DestroyScene(static_cast<VOxaScene*>(object), flag);
            break;
        case eDeferNode:
            manager->DestroyNode(static_cast<VOxaNode*>(object), flag);
            break;
        case eDeferNodeAttribute:
            manager->DestroyNodeAttribute(static_cast<VOxaNodeAttribute*>(object));
            break;
        case eDeferMaterial:
            manager->DestroyMaterial(static_cast<VOxaMaterial*>(object));
            break;
        case eDeferTexture:
            manager->DestroyTexture(static_cast<VOxaTexture*>(object));
            break;
        case eDeferVideo:
            manager->DestroyVideo(static_cast<VOxaVideo*>(object));
            break;
        case eDeferUserProperty:
            manager->DestroyUserProperty(static_cast<VOxaUserProperty*>(object));
            break;
        case eDeferGenericNode:
            manager->DestroyGenericNode(static_cast<VOxaGenericNode*>(object));
            break;
        case eDeferObject:
            manager->DestroyObject(static_cast<VOxaObject*>(object));
            break;
        case eDeferThumbnail:
            manager->DestroyThumbnail(static_cast<VOxaThumbnail*>(object));
            break;
        case eDeferSceneInfo:
            manager->DestroySceneInfo(static_cast<VOxaSceneInfo*>(object));
            break;
        case eDeferLink:
            manager->DestroyLink(static_cast<VOxaLink*>(object));
            break;
        case eDeferShape:
            manager->DestroyShape(static_cast<VOxaShape*>(object));
            break;
        case eDeferPose:
            manager->DestroyPose(static_cast<VOxaPose*>(object));
            break;
        case eDeferGeometryConverter:
            manager->DestroyGeometryConverter(static_cast<VOxaGeometryConverter*>(object));
            break;
        case eDeferImageConverter:
            manager->DestroyImageConverter(static_cast<VImageConverter*>(object));
            break;
        case eDeferExporter:
            manager->DestroyExporter(static_cast<VOxaExporter*>(object));
            break;
        case eDeferImporter:
            manager->DestroyImporter(static_cast<VOxaImporter*>(object));
            break;
        default:
            manager->DestroyAllObjects();
            break;
    }
}

bool VOxaSdkManager::Deferred(int kind, void* object, bool flag, bool& answer) {
    if (!oxa_delivery::InCallback()) return false;
    answer = oxa_delivery::Defer(&VOxaSdkManager::RunDeferred, this, kind, object, flag) || InUse();
    return true;
}

void VOxaSdkManager::DeferPropertyHandles(VOxaTakeNodeContainer* object, int count) {
    // The slot is named only once it exists: a list that cannot grow leaves none to drop.
    mPendingHandles.push_back(PendingHandles{object, count});
    object->mPendingHandleSlot = (int)mPendingHandles.size() - 1;
    ++mPendingObjects;
    mPendingHandleCount += count;
}

void VOxaSdkManager::MakePendingHandles(int slot) {
    ++mMakingHandles;
    while (mPendingFront < mPendingHandles.size() && (int)mPendingFront <= slot) {
        const size_t at = mPendingFront;
        PendingHandles entry = mPendingHandles[mPendingFront++];
        mPendingHandles[at].mObject = nullptr;
        if (!entry.mObject) continue;
        entry.mObject->mPendingHandleSlot = -1;
        --mPendingObjects;
        mPendingHandleCount -= entry.mCount;
        const int had = entry.mObject->GetUserPropertyCount();
        try {
            entry.mObject->MakeDeferredHandles();
        } catch (const std::bad_alloc&) {
            // Memory ran out (the getters and create operations that come here throw nothing):
            // when no handle was made yet the object waits for the next call that needs them,
            // in its place; the walk ends either way.
            if (entry.mObject->GetUserPropertyCount() == had) {
                mPendingHandles[at] = entry;
                entry.mObject->mPendingHandleSlot = (int)at;
                ++mPendingObjects;
                mPendingHandleCount += entry.mCount;
                mPendingFront = at;
            }
            break;
        }
    }
    --mMakingHandles;
    CompactPendingHandles();
}

void VOxaSdkManager::MakeAllPendingHandles() {
    if (mPendingObjects > 0 && mMakingHandles == 0) MakePendingHandles((int)mPendingHandles.size() - 1);
}

void VOxaSdkManager::DropPendingHandles(VOxaTakeNodeContainer* object, bool keepCount) {
    const int slot = object->mPendingHandleSlot;
    if (slot < 0) return;
    object->mPendingHandleSlot = -1;
    PendingHandles& entry = mPendingHandles[(size_t)slot];
    --mPendingObjects;
    mPendingHandleCount -= entry.mCount;
    if (keepCount) mReleasedHandleCount += entry.mCount;
    entry.mObject = nullptr;
    CompactPendingHandles();
}

void VOxaSdkManager::CompactPendingHandles() {
    // Slots are renumbered only outside MakePendingHandles, which walks them.
    if (mMakingHandles > 0) return;
    if (mPendingObjects == 0) {
        mPendingHandles.clear();
        mPendingFront = 0;
        return;
    }
    const size_t unused = mPendingHandles.size() - (size_t)mPendingObjects;
    if (unused < 64 || unused < (size_t)mPendingObjects) return;
    size_t out = 0;
    for (size_t i = mPendingFront; i < mPendingHandles.size(); ++i) {
        PendingHandles entry = mPendingHandles[i];
        if (!entry.mObject) continue;
        entry.mObject->mPendingHandleSlot = (int)out;
        mPendingHandles[out++] = entry;
    }
    mPendingHandles.resize(out);
    mPendingFront = 0;
}

void VOxaSdkManager::DeleteTakeObject(VOxaObject* object, bool destroying) {
    // Handles still to be made are not made for an object that goes: it leaves the list of the
    // manager that made it. Another manager's would have kept listing them.
    if (object->HasPendingUserProperties()) {
        if (VOxaSdkManager* owner = object->GetSdkManager())
            owner->DropPendingHandles(static_cast<VOxaTakeNodeContainer*>(object), owner != this);
    }
    // The scratch list is taken over for the duration, so that a destruction that destroys
    // further objects through this manager gets a list of its own.
    std::vector<VOxaUserProperty*> handles;
    handles.swap(mHandleScratch);
    handles.clear();
    // They leave the manager's list before the object goes: a callback told of its destruction
    // may look handles up, and these are bound to properties that die with it.
    const int count = object->GetUserPropertyCount();
    bool noted = true;
    try {
        handles.reserve((size_t)count);
    } catch (const std::bad_alloc&) {
        noted = false;
    }
    for (int i = noted ? 0 : count; i < count; ++i) {
        VOxaUserProperty* handle = object->GetUserProperty(i);
        if (mUserProperties.Remove(handle)) handles.push_back(handle);
    }
    // Without room to note them they go first, each leaving the object's list as it goes.
    for (int i = noted ? 0 : count; i-- > 0;) {
        VOxaUserProperty* handle = object->GetUserProperty(i);
        if (!mUserProperties.Remove(handle)) continue;
        oxa_delivery::Forget(handle);
        delete handle;
    }
    oxa_delivery::Forget(object);
    if (destroying) object->Destroying();
    delete object;
    for (VOxaUserProperty* handle : handles) {
        oxa_delivery::Forget(handle);
        delete handle;
    }
    handles.clear();
    if (handles.capacity() > mHandleScratch.capacity()) handles.swap(mHandleScratch);
}

// --- Factory operations -----------------------------------------------------------------------

VOxaScene* VOxaSdkManager::NewScene() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaScene(this));
}

VOxaNode* VOxaSdkManager::NewNode(const char* name) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaNode(this, name));
}

VOxaMaterial* VOxaSdkManager::NewMaterial(const char* name) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaMaterial(this, name));
}

VOxaTexture* VOxaSdkManager::NewTexture(const char* name) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaTexture(this, name));
}

VOxaVideo* VOxaSdkManager::NewVideo(const char* name) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaVideo(this, name));
}

VOxaUserProperty* VOxaSdkManager::NewUserProperty(VProperty* property) {
    if (!property) return nullptr;
    return oxa_alloc::Counted(new (std::nothrow) VOxaUserProperty(this, property));
}

VOxaUserProperty* VOxaSdkManager::NewUserProperty(VOxaSdkManager* owner, const char* name,
                                                  const char* typeName) {
    if (!owner || !typeName) return nullptr;
    return oxa_alloc::Counted(new (std::nothrow) VOxaUserProperty(owner, name, typeName));
}

VOxaGenericNode* VOxaSdkManager::NewGenericNode(const char* name) {
    if (!name) return nullptr;
    return oxa_alloc::Counted(new (std::nothrow) VOxaGenericNode(this, name));
}

VOxaThumbnail* VOxaSdkManager::NewThumbnail() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaThumbnail());
}

VOxaSceneInfo* VOxaSdkManager::NewSceneInfo() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaSceneInfo());
}

VImageConverter* VOxaSdkManager::NewImageConverter() {
    return oxa_alloc::Counted(new (std::nothrow) VImageConverter(this));
}

VOxaExporter* VOxaSdkManager::NewExporter() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaExporter(this));
}

VOxaImporter* VOxaSdkManager::NewImporter() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaImporter(this));
}

// --- Destroy operations -----------------------------------------------------------------------

bool VOxaSdkManager::DestroyScene(VOxaScene* scene, bool destroyNodes) {
    if (!mScenes.Contains(scene)) return NotFound();
    // A character pose's scene goes with its pose, which keeps using it until then.
    if (scene->mOwnerPose) return InUse();
    bool deferred = false;
    if (Deferred(eDeferScene, scene, destroyNodes, deferred)) return deferred;
    oxa_delivery::Scope scope;
    // With its nodes the scene lets go of the materials, textures, videos and poses it lists
    // that nothing else uses once the nodes are gone (no other scene lists them, no node or
    // texture still uses them): what a read made goes with the scene it read into. The lists
    // are taken from the scene as they are (the scene lets go of them anyway), so that this
    // needs no memory.
    std::vector<VOxaMaterial*> materials;
    std::vector<VOxaTexture*> textures;
    std::vector<VOxaVideo*> videos;
    std::vector<VOxaPose*> poses;
    if (destroyNodes) {
        VOxaSceneContents* contents = scene->GetContents();
        materials = contents->mMaterials.mItems.Take();
        textures = contents->mTextures.mItems.Take();
        videos = contents->mVideos.mItems.Take();
        poses.swap(scene->mPoses);
    }
    mScenes.Remove(scene);
    oxa_delivery::Forget(scene);
    VOxaNode* root = destroyNodes ? scene->GetRootNode() : nullptr;
    delete scene;
    // A scene whose root was taken out of its contents leaves no node to destroy.
    const bool destroyed = root ? DestroyNode(root, true) : true;

    auto listedElsewhere = [this](auto member, const auto* object) {
        for (int i = 0, n = mScenes.GetCount(); i < n; ++i)
            if ((mScenes.Get(i)->GetContents()->*member).mItems.Contains(object)) return true;
        return false;
    };
    // A material or video whose property block still feeds another object (a node, a texture).
    auto feeds = [](VOxaObject* object) {
        const VPlug* handler = object->GetPropertyHandler();
        return handler && handler->GetDstCount() > 0;
    };
    // The maps a material shows are the scene's too, listed or not (one noted twice goes once);
    // without room to note them, those the scene does not list stay.
    bool mapsNoted = true;
    try {
        textures.reserve(textures.size() + materials.size() * VOxaMaterial::eMAP_ROLE_COUNT);
    } catch (const std::bad_alloc&) {
        mapsNoted = false;
    }
    for (VOxaMaterial* material : materials) {
        if (!mMaterials.Contains(material) || feeds(material) ||
            listedElsewhere(&VOxaSceneContents::mMaterials, material))
            continue;
        for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT && mapsNoted; ++role) {
            if (VOxaTexture* map = material->GetMap((VOxaMaterial::EMapRole)role)) textures.push_back(map);
        }
        DestroyMaterial(material);
    }
    // The materials left may still show a texture: noted once, or without room for that looked
    // up for each texture.
    std::unordered_set<const VOxaTexture*> shown;
    bool shownNoted = true;
    try {
        for (int i = 0, n = textures.empty() ? 0 : mMaterials.GetCount(); i < n; ++i)
            for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT; ++role)
                if (const VOxaTexture* map = mMaterials.Get(i)->GetMap((VOxaMaterial::EMapRole)role))
                    shown.insert(map);
    } catch (const std::bad_alloc&) {
        shownNoted = false;
    }
    auto isShown = [&](const VOxaTexture* texture) {
        if (shownNoted) return shown.count(texture) > 0;
        for (int i = 0, n = mMaterials.GetCount(); i < n; ++i)
            for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT; ++role)
                if (mMaterials.Get(i)->GetMap((VOxaMaterial::EMapRole)role) == texture) return true;
        return false;
    };
    for (VOxaTexture* texture : textures) {
        if (mTextures.Contains(texture) && !isShown(texture) &&
            !listedElsewhere(&VOxaSceneContents::mTextures, texture))
            DestroyTexture(texture);
    }
    for (VOxaVideo* video : videos) {
        if (mVideos.Contains(video) && !feeds(video) && !listedElsewhere(&VOxaSceneContents::mVideos, video))
            DestroyVideo(video);
    }
    for (VOxaPose* pose : poses) {
        bool listed = false;
        for (int i = 0, n = mScenes.GetCount(); i < n && !listed; ++i)
            for (int k = 0, m = mScenes.Get(i)->GetPoseCount(); k < m && !listed; ++k)
                listed = mScenes.Get(i)->GetPose(k) == pose;
        if (!listed && mPoses.Contains(pose)) DestroyPose(pose);
    }
    return destroyed;
}

bool VOxaSdkManager::DestroyNode(VOxaNode* node, bool recursive) {
    if (!mNodes.Contains(node)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferNode, node, recursive, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mNodes.Remove(node);
    if (!recursive) {
        // A free attribute must not keep pointing at the deleted node.
        if (node->GetNodeAttribute()) node->SetNodeAttribute(nullptr);
        ReleaseNode(node);
        DeleteTakeObject(node, true);
        // The links that point at it let go of it, without a list: letting go needs no memory.
        for (int i = 0, n = mLinks.GetCount(); i < n; ++i) {
            VOxaLink* link = mLinks.Get(i);
            if (link->GetLink() == node) link->ReleaseNode(node);
            if (link->GetAssociateModel() == node) link->ReleaseNode(node);
        }
        return true;
    }

    // Depth first without recursion (a chain of nodes may be as long as the node list) and
    // without a side stack, so that letting go needs no memory: down through the last child, up
    // through the parent link. The subtree goes leaves first, each parent once it has no child
    // left, and the children of a parent from the last one, so that every list a node leaves
    // (its parent's children, the manager's registries) loses its newest entries first.
    // `skipped` counts the last children of the current node that could not be detached, so
    // the walk does not take them again while it stays there.
    bool ok = true;
    // The nodes that went, for the links that point at them.
    std::vector<VOxaNode*> released;
    bool noting = true;
    VOxaNode* current = node;
    int skipped = 0;
    while (current) {
        if (VOxaNode* child = VOxaLastChildOf(current, skipped)) {
            if (mNodes.Remove(child)) {
                current = child;
                skipped = 0;
                continue;
            }
            // A child this manager does not hold: it stays alive, detached from the doomed
            // parent.
            ok = false;
            NotFound();
            const int before = current->GetNodeProperties()->GetSrcCount();
            current->RemoveChild(child);
            if (current->GetNodeProperties()->GetSrcCount() >= before) ++skipped;
            continue;
        }
        VOxaNode* doomed = current;
        VOxaNode* parent = doomed == node ? nullptr : VOxaParentOf(doomed);
        current = parent;
        skipped = 0;
        if (VOxaNodeAttribute* attribute = doomed->GetNodeAttribute()) {
            doomed->SetNodeAttribute(nullptr);
            if (!DestroyNodeAttribute(attribute)) ok = false;
        }
        const int siblings = parent ? parent->GetNodeProperties()->GetSrcCount() : 0;
        if (!parent) ReleaseNode(doomed);
        for (int i = 0, n = mScenes.GetCount(); parent && i < n; ++i)
            mScenes.Get(i)->ReleaseNode(doomed);
        if (noting) {
            try {
                released.push_back(doomed);
            } catch (const std::bad_alloc&) {
                // No room to note the rest: the links let go of the nodes that went, and now
                // of every node of the subtree that is still to go.
                ReleaseNodesFromLinks(released);
                std::vector<VOxaNode*>().swap(released);
                ReleaseSubtreeFromLinks(node);
                noting = false;
            }
        }
        // Its handles still to be made are not made for a node that goes.
        if (doomed->HasPendingUserProperties()) DropPendingHandles(doomed, false);
        doomed->Destroying();
        // Destroying drops the link to the parent; make sure the parent never keeps a
        // pointer to a deleted child.
        if (parent && parent->GetNodeProperties()->GetSrcCount() == siblings) parent->RemoveChild(doomed);
        DeleteTakeObject(doomed, false);
    }
    ReleaseNodesFromLinks(released);
    return ok;
}

void VOxaSdkManager::ReleaseSubtreeFromLinks(VOxaNode* top) {
    const auto within = [top](VOxaNode* node) {
        for (; node; node = node == top ? nullptr : VOxaParentOf(node))
            if (node == top) return true;
        return false;
    };
    for (int i = 0, n = mLinks.GetCount(); i < n; ++i) {
        VOxaLink* link = mLinks.Get(i);
        if (within(link->GetLink())) link->ReleaseNode(link->GetLink());
        if (within(link->GetAssociateModel())) link->ReleaseNode(link->GetAssociateModel());
    }
}

bool VOxaSdkManager::DestroyNodeAttribute(VOxaNodeAttribute* attribute) {
    if (!mNodeAttributes.Contains(attribute)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferNodeAttribute, attribute, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mNodeAttributes.Remove(attribute);
    oxa_delivery::Forget(attribute);
    ReleaseNodeAttribute(attribute);
    delete attribute;
    return true;
}

bool VOxaSdkManager::DestroyMaterial(VOxaMaterial* material) {
    if (!mMaterials.Contains(material)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferMaterial, material, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mMaterials.Remove(material);
    oxa_delivery::Forget(material);
    ReleaseMaterial(material);
    DeleteTakeObject(material, true);
    return true;
}

bool VOxaSdkManager::DestroyTexture(VOxaTexture* texture) {
    if (!mTextures.Contains(texture)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferTexture, texture, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mTextures.Remove(texture);
    oxa_delivery::Forget(texture);
    ReleaseTexture(texture);
    DeleteTakeObject(texture, true);
    return true;
}

bool VOxaSdkManager::DestroyVideo(VOxaVideo* video) {
    if (!mVideos.Contains(video)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferVideo, video, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mVideos.Remove(video);
    oxa_delivery::Forget(video);
    ReleaseVideo(video);
    DeleteTakeObject(video, true);
    return true;
}

bool VOxaSdkManager::DestroyUserProperty(VOxaUserProperty* userProperty) {
    MakeAllPendingHandles();
    if (!mUserProperties.Contains(userProperty)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferUserProperty, userProperty, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    // A handle of an object's own property goes with the object; one the program added leaves
    // its object first, as RemoveUserProperty takes it out.
    if (VOxaObject* holder = userProperty->mHolder) {
        if (!holder->RemoveUserProperty(userProperty)) return InUse();
    }
    mUserProperties.Remove(userProperty);
    oxa_delivery::Forget(userProperty);
    delete userProperty;
    return true;
}

bool VOxaSdkManager::DestroyGenericNode(VOxaGenericNode* node) {
    if (!mGenericNodes.Contains(node)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferGenericNode, node, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mGenericNodes.Remove(node);
    oxa_delivery::Forget(node);
    DeleteTakeObject(node, false);
    return true;
}

bool VOxaSdkManager::DestroyObject(VOxaObject* object) {
    auto it = mListedObjects.find(object);
    if (it == mListedObjects.end()) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferObject, object, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    VPlug* handler = it->second;
    mListedObjects.erase(it);
    if (!mObjects->Remove(handler)) return NotFound();
    DeleteTakeObject(object, false);
    return true;
}

bool VOxaSdkManager::DestroyThumbnail(VOxaThumbnail* thumbnail) {
    if (!mThumbnails.Contains(thumbnail)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferThumbnail, thumbnail, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mThumbnails.Remove(thumbnail);
    oxa_delivery::Forget(thumbnail);
    // The scene and take informations that show it let it go.
    for (int i = 0, n = mSceneInfos.GetCount(); i < n; ++i) {
        VOxaSceneInfo* info = mSceneInfos.Get(i);
        if (info->GetSceneThumbnail() == thumbnail) info->SetSceneThumbnail(nullptr);
    }
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i) {
        for (VOxaTakeInfo* info : mScenes.Get(i)->mTakeInfos) {
            if (info->GetTakeThumbnail() == thumbnail) info->SetTakeThumbnail(nullptr);
        }
    }
    delete thumbnail;
    return true;
}

bool VOxaSdkManager::DestroySceneInfo(VOxaSceneInfo* sceneInfo) {
    if (!mSceneInfos.Contains(sceneInfo)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferSceneInfo, sceneInfo, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mSceneInfos.Remove(sceneInfo);
    oxa_delivery::Forget(sceneInfo);
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i) {
        VOxaScene* scene = mScenes.Get(i);
        if (scene->mSceneInfo == sceneInfo) scene->mSceneInfo = nullptr;
    }
    delete sceneInfo;
    return true;
}

bool VOxaSdkManager::DestroyImageConverter(VImageConverter* converter) {
    if (!mImageConverters.Contains(converter)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferImageConverter, converter, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mImageConverters.Remove(converter);
    oxa_delivery::Forget(converter);
    delete converter;
    return true;
}

bool VOxaSdkManager::DestroyExporter(VOxaExporter* exporter) {
    if (!mExporters.Contains(exporter)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferExporter, exporter, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mExporters.Remove(exporter);
    oxa_delivery::Forget(exporter);
    delete exporter;
    return true;
}

bool VOxaSdkManager::DestroyImporter(VOxaImporter* importer) {
    if (!mImporters.Contains(importer)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferImporter, importer, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mImporters.Remove(importer);
    oxa_delivery::Forget(importer);
    delete importer;
    return true;
}

// --- Lookups ----------------------------------------------------------------------------------

VOxaNode* VOxaSdkManager::GetNode(const char* name, int index) {
    VOxaNode* node = FindPrefixed(mNodes, "Model::", name, index);
    if (!node) NotFound();
    return node;
}

VOxaMaterial* VOxaSdkManager::GetMaterial(const char* name, int index) {
    VOxaMaterial* material = FindPrefixed(mMaterials, "Material::", name, index);
    if (!material) NotFound();
    return material;
}

VOxaTexture* VOxaSdkManager::GetTexture(const char* name, int index) {
    VOxaTexture* texture = FindPrefixed(mTextures, "Texture::", name, index);
    if (!texture) NotFound();
    return texture;
}

VOxaVideo* VOxaSdkManager::GetVideo(const char* name, int index) {
    VOxaVideo* video = FindPrefixed(mVideos, "Video::", name, index);
    if (!video) NotFound();
    return video;
}

VOxaUserProperty* VOxaSdkManager::GetUserProperty(const char* name) {
    MakeAllPendingHandles();
    return mUserProperties.FindByName(name);
}

VOxaGenericNode* VOxaSdkManager::GetGenericNode(const char* fullName) {
    VOxaGenericNode* node = mGenericNodes.FindByName(fullName);
    if (!node) NotFound();
    return node;
}

void VOxaSdkManager::DestroyAllObjects() {
    bool deferred = false;
    if (Deferred(eDeferAll, this, false, deferred)) return;
    oxa_delivery::Scope scope;
    DestroyEverything();
}

void VOxaSdkManager::DestroyEverything() {
    // A callback told of a destruction may make objects meanwhile, a scene among them: what it
    // makes goes in a further round, and while a scene is left the objects let go of it as a
    // destroy would have them (only then: it costs a walk per object).
    do {
        DestroyEverythingOnce();
    } while (!mScenes.IsEmpty() || !mNodeAttributes.IsEmpty() || !mNodes.IsEmpty() || !mLinks.IsEmpty() ||
             !mMaterials.IsEmpty() || !mShapes.IsEmpty() || !mTextures.IsEmpty() || !mVideos.IsEmpty() ||
             !mPoses.IsEmpty() || !mUserProperties.IsEmpty() || !mGenericNodes.IsEmpty() ||
             !mThumbnails.IsEmpty() || !mSceneInfos.IsEmpty() || !mGeometryConverters.IsEmpty() ||
             !mImageConverters.IsEmpty() || !mExporters.IsEmpty() || !mImporters.IsEmpty() ||
             mObjects->GetCount() > 0);
}

void VOxaSdkManager::DestroyEverythingOnce() {
    // Handles still to be made are let go first, for every object: everything goes, and an
    // object's destruction that touched a later object's properties would otherwise make the
    // handles of every object before that one only to destroy them again.
    for (size_t i = mPendingFront; i < mPendingHandles.size(); ++i) {
        if (VOxaTakeNodeContainer* object = mPendingHandles[i].mObject) object->mPendingHandleSlot = -1;
    }
    mPendingHandles.clear();
    mPendingFront = 0;
    mPendingObjects = 0;
    mPendingHandleCount = 0;
    mReleasedHandleCount = 0;
    DestroyAllScenes();
    const auto held = [this] {
        return !mScenes.IsEmpty() || !mNodeAttributes.IsEmpty() || !mShapes.IsEmpty();
    };
    DrainRegistry(mNodeAttributes, [this](VOxaNodeAttribute* attribute) {
        ReleaseNodeAttribute(attribute);
        delete attribute;
    });
    DrainRegistry(mNodes, [this](VOxaNode* node) {
        // An attribute made by a callback during this drain (a scene's cameras) outlives its
        // node here and goes in the next pass: it must not point at the deleted node.
        if (node->GetNodeAttribute()) node->SetNodeAttribute(nullptr);
        if (!mScenes.IsEmpty()) ReleaseNode(node);
        DeleteTakeObject(node, true);
    });
    DestroyAllLinks();
    DrainRegistry(mMaterials, [&](VOxaMaterial* material) {
        if (held()) ReleaseMaterial(material);
        DeleteTakeObject(material, true);
    });
    DestroyAllShapes();
    DrainRegistry(mTextures, [&](VOxaTexture* texture) {
        if (held() || !mMaterials.IsEmpty()) ReleaseTexture(texture);
        DeleteTakeObject(texture, true);
    });
    DrainRegistry(mVideos, [&](VOxaVideo* video) {
        if (held() || !mTextures.IsEmpty()) ReleaseVideo(video);
        DeleteTakeObject(video, true);
    });
    DestroyAllPoses();
    // A handle leaves the list of the object that lists it as it is deleted.
    DrainRegistry(mUserProperties, [](VOxaUserProperty* userProperty) { delete userProperty; });
    DrainRegistry(mGenericNodes, [this](VOxaGenericNode* node) { DeleteTakeObject(node, false); });
    DrainRegistry(mThumbnails, [](VOxaThumbnail* thumbnail) { delete thumbnail; });
    DrainRegistry(mSceneInfos, [](VOxaSceneInfo* sceneInfo) { delete sceneInfo; });
    DestroyAllGeometryConverters();
    DrainRegistry(mImageConverters, [](VImageConverter* converter) { delete converter; });
    DrainRegistry(mExporters, [](VOxaExporter* exporter) { delete exporter; });
    DrainRegistry(mImporters, [](VOxaImporter* importer) { delete importer; });
    // The constraints, characters and deformers, last listed first.
    for (int i = mObjects->GetCount(); i-- > 0;) {
        VPlug* entry = mObjects->Get(i);
        if (!entry) continue;
        VOxaObject* object = VObjectList::IsObject(entry) ? VObjectList::GetOwnerObject(entry) : nullptr;
        mObjects->Remove(entry);
        if (!object) continue;
        mListedObjects.erase(object);
        DeleteTakeObject(object, false);
    }
    mListedObjects.clear();
}

void VOxaSdkManager::DestroyAllScenes() {
    // A character pose's scene goes with its pose, which goes with the scene that holds it.
    while (!mScenes.IsEmpty()) {
        std::vector<VOxaScene*> scenes;
        try {
            scenes = mScenes.Snapshot();
        } catch (const std::bad_alloc&) {
            // Without room for a copy: the last scene no pose holds, else the last scene.
            VOxaScene* scene = mScenes.Last();
            for (int i = mScenes.GetCount(); i-- > 0;) {
                if (!mScenes.Get(i)->mOwnerPose) {
                    scene = mScenes.Get(i);
                    break;
                }
            }
            mScenes.Remove(scene);
            if (scene->mOwnerPose) {
                scene->mOwnerPose->ForgetScene();
                scene->mOwnerPose = nullptr;
            }
            delete scene;
            continue;
        }
        bool destroyed = false;
        for (VOxaScene* scene : scenes) {
            // A pose's scene destroyed meanwhile has left the registry.
            if (!mScenes.Contains(scene) || scene->mOwnerPose) continue;
            mScenes.Remove(scene);
            oxa_delivery::Forget(scene);
            delete scene;
            destroyed = true;
        }
        if (destroyed) continue;
        // Only scenes of poses no scene holds: they go, and their poses forget them. (Nothing
        // went, so the copy still lists every scene.)
        for (VOxaScene* scene : scenes) {
            if (!mScenes.Remove(scene)) continue;
            scene->mOwnerPose->ForgetScene();
            scene->mOwnerPose = nullptr;
            oxa_delivery::Forget(scene);
            delete scene;
        }
    }
    mScenes.Clear();
}

// --- Create operations ------------------------------------------------------------------------

VOxaScene* VOxaSdkManager::CreateScene() {
    return VOxaMakeListed(mScenes, [&] { return NewScene(); });
}

VOxaNode* VOxaSdkManager::CreateNode(const char* name) {
    return VOxaMakeListed(
        mNodes, [&] { return NewNode(VOxaMakeObjectName("Model::", name).Buffer()); },
        [this](VOxaNode* made) { DeleteTakeObject(made, true); });
}

VOxaMaterial* VOxaSdkManager::CreateMaterial(const char* name) {
    return VOxaMakeListed(
        mMaterials, [&] { return NewMaterial(VOxaMakeObjectName("Material::", name).Buffer()); },
        [this](VOxaMaterial* made) { DeleteTakeObject(made, true); });
}

VOxaTexture* VOxaSdkManager::CreateTexture(const char* name) {
    return VOxaMakeListed(
        mTextures, [&] { return NewTexture(VOxaMakeObjectName("Texture::", name).Buffer()); },
        [this](VOxaTexture* made) { DeleteTakeObject(made, true); });
}

VOxaVideo* VOxaSdkManager::CreateVideo(const char* name) {
    return VOxaMakeListed(
        mVideos, [&] { return NewVideo(VOxaMakeObjectName("Video::", name).Buffer()); },
        [this](VOxaVideo* made) { DeleteTakeObject(made, true); });
}

VOxaUserProperty* VOxaSdkManager::CreateUserProperty(VProperty* property) {
    MakeAllPendingHandles();
    VOxaUserProperty* userProperty =
        VOxaMakeListed(mUserProperties, [&] { return NewUserProperty(property); });
    // A handle a program binds may outlive the property (it goes with its object).
    if (userProperty && !VOxaUserProperty::InOwnHandleScope()) userProperty->Track();
    return userProperty;
}

VOxaUserProperty* VOxaSdkManager::CreateUserProperty(VOxaSdkManager* owner, const char* name,
                                                     const char* typeName) {
    MakeAllPendingHandles();
    return VOxaMakeListed(mUserProperties, [&] { return NewUserProperty(owner, name, typeName); });
}

VOxaGenericNode* VOxaSdkManager::CreateGenericNode(const char* name) {
    return VOxaMakeListed(
        mGenericNodes, [&] { return NewGenericNode(name); },
        [this](VOxaGenericNode* made) { DeleteTakeObject(made, false); });
}

VOxaThumbnail* VOxaSdkManager::CreateThumbnail() {
    VOxaThumbnail* thumbnail = VOxaMakeListed(mThumbnails, [&] { return NewThumbnail(); });
    if (thumbnail) thumbnail->mManager = this;
    return thumbnail;
}

VOxaSceneInfo* VOxaSdkManager::CreateSceneInfo() {
    VOxaSceneInfo* sceneInfo = VOxaMakeListed(mSceneInfos, [&] { return NewSceneInfo(); });
    if (sceneInfo) sceneInfo->mManager = this;
    return sceneInfo;
}

VImageConverter* VOxaSdkManager::CreateImageConverter() {
    return VOxaMakeListed(mImageConverters, [&] { return NewImageConverter(); });
}

VOxaExporter* VOxaSdkManager::CreateExporter() {
    return VOxaMakeListed(mExporters, [&] { return NewExporter(); });
}

VOxaImporter* VOxaSdkManager::CreateImporter() {
    return VOxaMakeListed(mImporters, [&] { return NewImporter(); });
}

bool VOxaSdkManager::RegisterNodeAttribute(VOxaNodeAttribute* attribute) {
    if (!attribute || mNodeAttributes.Contains(attribute)) return false;
    try {
        mNodeAttributes.Append(attribute);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return false;
    }
    return true;
}

bool VOxaSdkManager::RegisterObject(VOxaObject* object) {
    if (!object || mListedObjects.count(object)) return false;
    VOxaPropertyHandler* handler = object->GetPropertyHandler();
    if (!handler || !mObjects->Add(handler)) return false;
    try {
        mListedObjects.emplace(object, handler);
    } catch (const std::bad_alloc&) {
        mObjects->Remove(handler);
        oxa_alloc::NoteFailure();
        return false;
    }
    return true;
}
