#include "scene/voxa_scene_contents.h"

#include <cstring>
#include <new>
#include <vector>

#include "attributes/voxa_deformer.h"
#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_geometry.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "character/voxa_constraint.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const char* const kContentsErrors[VOxaSceneContents::eErrorCount] = {
    "Node is null.",
    "Node is already owned by the entity.",
    "Node does not belong to the entity.",
    "Parameter is out of range.",
    "Material still in use.",
    "Material not found.",
    "Texture still in use.",
    "Texture not found.",
    "Video still in use.",
    "Video not found.",
    "Video name clash.",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
};

}  // namespace

VOxaSceneContents::VOxaSceneContents(VOxaSdkManager* manager)
    : mManager(manager), mObjects(nullptr), mError(kContentsErrors, eErrorCount) {
    // The destructor does not run for contents whose making throws: what was made goes here.
    mObjects = new VObjectList();
    if (!mManager) return;
    // Attaching as root lists the node and makes it the root. Contents without their root are
    // no scene: memory that runs out for it ends the making.
    VOxaNode* root = mManager->CreateNode("RootNode");
    if (!root || !root->SetSceneContents(this, true)) {
        if (root) mManager->DestroyNode(root);
        delete mObjects;
        throw std::bad_alloc();
    }
    mRootNode = root;
}

VOxaSceneContents::~VOxaSceneContents() {
    // The objects belong to the manager: only the links back to these contents are cut.
    int count = mNodes.GetCount();
    for (int i = 0; i < count; ++i) {
        VOxaNode* node = mNodes.Get(i);
        if (node->mSceneContents == this) node->mSceneContents = nullptr;
        // A geometry and its shapes keep these contents too (for their materials and
        // textures); the lists go with the contents, so only the links are cut.
        if (VOxaGeometry* geometry = node->GetGeometry()) {
            if (geometry->GetSceneContents() == this) geometry->ForgetSceneContents();
            for (int s = 0, shapes = geometry->GetShapeCount(); s < shapes; ++s) {
                VOxaShape* shape = geometry->GetShape(s);
                if (shape && shape->GetSceneContents() == this) shape->ForgetSceneContents();
            }
        }
    }
    // A generic node keeps its contents too; left set, it would reach these contents after
    // they are gone the next time it moves.
    for (VOxaGenericNode* node : mGenericNodes.mItems.Take()) {
        if (node->GetSceneContents() == this) node->SetSceneContents(nullptr);
    }
    mRootNode = nullptr;
    mNodes.Clear();
    mMaterials.mItems.Clear();
    mMaterials.mCounts.Clear();
    mTextures.mItems.Clear();
    mTextures.mCounts.Clear();
    mVideos.mItems.Clear();
    mVideos.mCounts.Clear();
    mGenericNodes.mItems.Clear();
    mGenericNodes.mCounts.Clear();
    mObjects->Clear();
    delete mObjects;
}

// --- Nodes -------------------------------------------------------------------------------------

bool VOxaSceneContents::AddNode(VOxaNode* node) {
    if (!node) {
        mError.SetLastErrorID(eNodeIsNull);
        return false;
    }
    if (mNodes.Contains(node)) {
        mError.SetLastErrorID(eNodeAlreadyOwned);
        return false;
    }
    // Another manager's objects are refused here as in the scene: that manager would destroy
    // them while these contents still listed them.
    if (!VOxaSameManager(mManager, node->GetSdkManager())) {
        mError.SetLastErrorID(eNodeNotOwned);
        return false;
    }
    mNodes.Append(node);
    return true;
}

bool VOxaSceneContents::RemoveNode(VOxaNode* node) {
    if (!node) {
        mError.SetLastErrorID(eNodeIsNull);
        return false;
    }
    if (!mNodes.Remove(node)) {
        mError.SetLastErrorID(eNodeNotOwned);
        return false;
    }
    if (node == mRootNode) mRootNode = nullptr;
    return true;
}

VOxaNode* VOxaSceneContents::FindNodeByName(const char* name) const {
    return mNodes.FindByName(name);
}

void VOxaSceneContents::ClearNodes() {
    mNodes.Clear();
}

void VOxaSceneContents::FillNodeArrayByAttributeType(VArrayTemplate<VOxaNode*>& nodes, int type,
                                                     bool recursive) const {
    nodes.Clear();
    auto matches = [type](const VOxaNode* node) {
        const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
        return attribute && attribute->GetAttributeType() == type;
    };
    if (!recursive) {
        int count = mNodes.GetCount();
        for (int i = 0; i < count; ++i) {
            VOxaNode* node = mNodes.Get(i);
            if (matches(node)) nodes.Add(node);
        }
        return;
    }
    if (!mRootNode) return;
    // Depth first, a node before its children, children in order; an explicit stack, so deep
    // chains do not exhaust the call stack.
    std::vector<VOxaNode*> stack{mRootNode};
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        if (matches(node)) nodes.Add(node);
        for (int i = node->GetChildCount() - 1; i >= 0; --i) {
            if (VOxaNode* child = node->GetChild(i)) stack.push_back(child);
        }
    }
}

// --- Use-counted lists -------------------------------------------------------------------------

template <typename T>
void VOxaSceneContents::AddUse(UseList<T>& list, T* object) {
    int count = list.mCounts.Find(object);
    if (count > 0) {
        list.mCounts.Set(object, count + 1);
        return;
    }
    list.mItems.Append(object);
    // Listed and counted, or neither: an entry without its count would never leave the list.
    try {
        list.mCounts.Set(object, 1);
    } catch (const std::bad_alloc&) {
        list.mItems.Remove(object);
        throw;
    }
}

template <typename T>
int VOxaSceneContents::RemoveUse(UseList<T>& list, T* object) {
    int count = list.mCounts.Find(object);
    if (count <= 0) return -1;
    if (--count > 0) {
        list.mCounts.Set(object, count);
        return count;
    }
    list.mCounts.Erase(object);
    list.mItems.Remove(object);
    return 0;
}

template <typename T>
void VOxaSceneContents::ReleaseUse(UseList<T>& list, T* object) {
    if (list.mCounts.Find(object) <= 0) return;
    list.mCounts.Erase(object);
    list.mItems.Remove(object);
}

void VOxaSceneContents::ReleaseMaterial(VOxaMaterial* material) {
    ReleaseUse(mMaterials, material);
}

void VOxaSceneContents::ReleaseTexture(VOxaTexture* texture) {
    ReleaseUse(mTextures, texture);
}

void VOxaSceneContents::ReleaseVideo(VOxaVideo* video) {
    ReleaseUse(mVideos, video);
}

bool VOxaSceneContents::AddMaterial(VOxaMaterial* material) {
    // A null material is not listed: it would only be found by index, as a hole.
    if (!material || !VOxaSameManager(mManager, material->GetSdkManager())) return false;
    AddUse(mMaterials, material);
    return true;
}

bool VOxaSceneContents::RemoveMaterial(VOxaMaterial* material) {
    int left = RemoveUse(mMaterials, material);
    if (left != 0) {
        mError.SetLastErrorID(left < 0 ? eMaterialNotFound : eMaterialInUse);
        return false;
    }
    return true;
}

int VOxaSceneContents::GetMaterialCount() const {
    return mMaterials.mItems.GetCount();
}

VOxaMaterial* VOxaSceneContents::GetMaterial(int index) {
    VOxaMaterial* material = mMaterials.mItems.Get(index);
    if (!material) mError.SetLastErrorID(eOutOfRange);
    return material;
}

VOxaMaterial* VOxaSceneContents::GetMaterialByName(const char* name) {
    VOxaMaterial* material = mMaterials.mItems.FindByName(name);
    if (!material) mError.SetLastErrorID(eMaterialNotFound);
    return material;
}

int VOxaSceneContents::GetMaterialIndex(const char* name) {
    VOxaMaterial* material = GetMaterialByName(name);
    return material ? mMaterials.mItems.IndexOf(material) : -1;
}

bool VOxaSceneContents::AddTexture(VOxaTexture* texture) {
    if (!texture || !VOxaSameManager(mManager, texture->GetSdkManager())) return false;
    AddUse(mTextures, texture);
    return true;
}

bool VOxaSceneContents::RemoveTexture(VOxaTexture* texture) {
    int left = RemoveUse(mTextures, texture);
    if (left != 0) {
        mError.SetLastErrorID(left < 0 ? eTextureNotFound : eTextureInUse);
        return false;
    }
    return true;
}

int VOxaSceneContents::GetTextureCount() const {
    return mTextures.mItems.GetCount();
}

VOxaTexture* VOxaSceneContents::GetTexture(int index) {
    VOxaTexture* texture = mTextures.mItems.Get(index);
    if (!texture) mError.SetLastErrorID(eOutOfRange);
    return texture;
}

VOxaTexture* VOxaSceneContents::GetTextureByName(const char* name) {
    VOxaTexture* texture = mTextures.mItems.FindByName(name);
    if (!texture) mError.SetLastErrorID(eTextureNotFound);
    return texture;
}

bool VOxaSceneContents::AddVideo(VOxaVideo* video) {
    if (!video || !VOxaSameManager(mManager, video->GetSdkManager())) return false;
    // Walking the list in order, the first video of that name decides: the video itself counts
    // one use more, another one is a clash.
    VOxaVideo* first = mVideos.mItems.FindByName(video->GetName());
    if (first && first != video) {
        mError.SetLastErrorID(eVideoNameClash);
        return false;
    }
    AddUse(mVideos, video);
    return true;
}

bool VOxaSceneContents::RemoveVideo(VOxaVideo* video) {
    int left = RemoveUse(mVideos, video);
    if (left != 0) {
        mError.SetLastErrorID(left < 0 ? eVideoNotFound : eVideoInUse);
        return false;
    }
    return true;
}

int VOxaSceneContents::GetVideoCount() const {
    return mVideos.mItems.GetCount();
}

VOxaVideo* VOxaSceneContents::GetVideo(int index) {
    VOxaVideo* video = mVideos.mItems.Get(index);
    if (!video) mError.SetLastErrorID(eOutOfRange);
    return video;
}

VOxaVideo* VOxaSceneContents::GetVideoByName(const char* name) {
    VOxaVideo* video = mVideos.mItems.FindByName(name);
    if (!video) mError.SetLastErrorID(eVideoNotFound);
    return video;
}

bool VOxaSceneContents::AddGenericNode(VOxaGenericNode* node) {
    if (!node || !VOxaSameManager(mManager, node->GetSdkManager())) return false;
    AddUse(mGenericNodes, node);
    return true;
}

bool VOxaSceneContents::RemoveGenericNode(VOxaGenericNode* node) {
    int left = RemoveUse(mGenericNodes, node);
    if (left != 0) {
        mError.SetLastErrorID(left < 0 ? eGenericNodeNotFound : eGenericNodeInUse);
        return false;
    }
    return true;
}

int VOxaSceneContents::GetGenericNodeCount() const {
    return mGenericNodes.mItems.GetCount();
}

VOxaGenericNode* VOxaSceneContents::GetGenericNode(int index) {
    VOxaGenericNode* node = mGenericNodes.mItems.Get(index);
    if (!node) mError.SetLastErrorID(eOutOfRange);
    return node;
}

VOxaGenericNode* VOxaSceneContents::GetGenericNodeByName(const char* name) const {
    return mGenericNodes.mItems.FindByName(name);
}

// --- Object list -------------------------------------------------------------------------------

bool VOxaSceneContents::AddConstraint(VOxaObject* constraint) {
    VOxaPropertyHandler* handler = constraint ? constraint->GetPropertyHandler() : nullptr;
    if (!handler || mObjects->Find(handler) >= 0 || !VOxaSameManager(mManager, constraint->GetSdkManager()))
        return false;
    return mObjects->Add(handler);
}

bool VOxaSceneContents::RemoveConstraint(VOxaObject* constraint) {
    if (!constraint) return true;
    VOxaPropertyHandler* handler = constraint->GetPropertyHandler();
    if (!handler || !mObjects->Remove(handler)) {
        mError.SetLastErrorID(eConstraintNotFound);
        return false;
    }
    return true;
}

namespace {
// The constraint a list entry stands for: the owner of a constraint block (type code 13, or 8
// for a character); null for anything else.
VOxaConstraint* ConstraintOfEntry(const VPlug* entry) {
    if (!VObjectList::IsObject(entry)) return nullptr;
    VOxaObject* owner = VObjectList::GetOwnerObject(entry);
    if (!owner || (owner->GetTypeCode() != 13 && owner->GetTypeCode() != 8)) return nullptr;
    return static_cast<VOxaConstraint*>(owner);
}
}  // namespace

int VOxaSceneContents::GetConstraintCount() const {
    return mObjects->GetFilteredCount(VOxaConstraintProperty::ClassInfo.GetId());
}

VOxaConstraint* VOxaSceneContents::GetConstraint(int index) const {
    int classId = VOxaConstraintProperty::ClassInfo.GetId();
    if (index < 0 || index >= mObjects->GetFilteredCount(classId)) return nullptr;
    return ConstraintOfEntry(mObjects->GetFiltered(classId, index));
}

int VOxaSceneContents::GetConstraintCountByType(int type) const {
    // A class id of -1 would mean "no filter" to the list: a type without a class has none.
    int classId = VOxaConstraint::GetClassIdOfType(type);
    return classId < 0 ? 0 : mObjects->GetFilteredCount(classId);
}

VOxaConstraint* VOxaSceneContents::GetConstraintByType(int index, int type) const {
    int classId = VOxaConstraint::GetClassIdOfType(type);
    if (classId < 0 || index < 0 || index >= mObjects->GetFilteredCount(classId)) return nullptr;
    return ConstraintOfEntry(mObjects->GetFiltered(classId, index));
}

VOxaConstraint* VOxaSceneContents::GetConstraintByName(const char* name) const {
    if (!name) return nullptr;
    VPlug* entry = mObjects->FindByName(name);
    if (!entry || !entry->IsA(VOxaConstraintProperty::ClassInfo.GetId())) return nullptr;
    return ConstraintOfEntry(entry);
}

bool VOxaSceneContents::AddDeformer(VOxaObject* deformer) {
    return AddConstraint(deformer);
}

bool VOxaSceneContents::RemoveDeformer(VOxaObject* deformer) {
    if (!deformer) return true;
    VOxaPropertyHandler* handler = deformer->GetPropertyHandler();
    if (!handler || !mObjects->Remove(handler)) {
        mError.SetLastErrorID(eDeformerNotFound);
        return false;
    }
    return true;
}

namespace {

// The class whose blocks are the deformers of `kind` (0 any, 1 skins, 2 clusters); -1 for any
// other kind.
int DeformerClassOfKind(int kind) {
    switch (kind) {
        case 0:
            return VOxaDeformerProperties::ClassInfo.GetId();
        case VOxaDeformer::eSkin:
            return VOxaSkinDeformerProperties::ClassInfo.GetId();
        case VOxaDeformer::eCluster:
            return VOxaClusterDeformerProperties::ClassInfo.GetId();
        default:
            return -1;
    }
}

}  // namespace

int VOxaSceneContents::GetDeformerCount(int kind) const {
    int classId = DeformerClassOfKind(kind);
    return classId < 0 ? 0 : mObjects->GetFilteredCount(classId);
}

VOxaDeformer* VOxaSceneContents::GetDeformer(int index, int kind) const {
    int classId = DeformerClassOfKind(kind);
    if (classId < 0 || index < 0 || index >= mObjects->GetFilteredCount(classId)) return nullptr;
    // A deformer's kind follows from the class of its block, so the class filter selects it.
    VOxaObject* owner = VObjectList::GetOwnerObject(mObjects->GetFiltered(classId, index));
    return static_cast<VOxaDeformer*>(owner);
}

VOxaDeformer* VOxaSceneContents::GetDeformer(const char* name) const {
    if (!name) return nullptr;
    int classId = DeformerClassOfKind(0);
    for (int i = 0, n = mObjects->GetFilteredCount(classId); i < n; ++i) {
        VOxaObject* owner = VObjectList::GetOwnerObject(mObjects->GetFiltered(classId, i));
        if (owner && std::strcmp(owner->GetName(), name) == 0) return static_cast<VOxaDeformer*>(owner);
    }
    return nullptr;
}
