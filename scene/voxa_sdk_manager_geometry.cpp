// The manager's part for geometry: meshes, optical references, links, shapes, poses and
// deformers.
#include <new>

#include "attributes/voxa_deformer.h"
#include "attributes/voxa_geometry.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_shape.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "scene/voxa_make_listed_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

VMatrix ToMatrix(const VgeAMatrix& m) {
    VMatrix out;
    VgeMatrixCopy(out.mData, m.mData);
    return out;
}

const char* const kBindPoseName = "OxaSDKBindPose";

}  // namespace

// --- Factory operations -------------------------------------------------------------------------

VOxaMesh* VOxaSdkManager::NewMesh() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaMesh(this));
}

VOxaOpticalReference* VOxaSdkManager::NewOpticalReference() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaOpticalReference(this));
}

VOxaLink* VOxaSdkManager::NewLink() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaLink());
}

VOxaShape* VOxaSdkManager::NewShape() {
    return oxa_alloc::Counted(new (std::nothrow) VOxaShape(this));
}

VOxaPose* VOxaSdkManager::NewPose(const char* name, int kind) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaPose(this, name, kind != 0));
}

VOxaDeformer* VOxaSdkManager::NewDeformer(const char* name, const char* typeName) {
    if (!name || !typeName) return nullptr;
    return oxa_alloc::Counted(new (std::nothrow) VOxaDeformer(this, name, typeName));
}

// --- Destroy operations -------------------------------------------------------------------------

bool VOxaSdkManager::DestroyLink(VOxaLink* link) {
    if (!mLinks.Contains(link)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferLink, link, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mLinks.Remove(link);
    oxa_delivery::Forget(link);
    ReleaseLink(link);
    delete link;
    return true;
}

bool VOxaSdkManager::DestroyShape(VOxaShape* shape) {
    if (!mShapes.Contains(shape)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferShape, shape, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mShapes.Remove(shape);
    oxa_delivery::Forget(shape);
    ReleaseShape(shape);
    delete shape;
    return true;
}

bool VOxaSdkManager::DestroyPose(VOxaPose* pose) {
    if (!mPoses.Contains(pose)) return NotFound();
    bool deferred = false;
    if (Deferred(eDeferPose, pose, false, deferred)) return deferred;
    oxa_delivery::Scope scope;
    mPoses.Remove(pose);
    oxa_delivery::Forget(pose);
    // The scenes only list their poses: none may keep a pointer to a deleted one.
    for (int i = 0, n = mScenes.GetCount(); i < n; ++i) {
        if (VOxaScene* scene = mScenes.Get(i)) {
            while (scene->RemovePose(pose)) {
            }
        }
    }
    DeleteTakeObject(pose, false);
    return true;
}

bool VOxaSdkManager::DestroyDeformer(VOxaDeformer* deformer) {
    if (!deformer) return false;
    return DestroyObject(deformer);
}

void VOxaSdkManager::DestroyAllLinks() {
    DrainRegistry(mLinks, [](VOxaLink* link) { delete link; });
}

void VOxaSdkManager::DestroyAllShapes() {
    // The nodes are gone by now: a shape's node link is not followed.
    DrainRegistry(mShapes, [](VOxaShape* shape) { delete shape; });
}

void VOxaSdkManager::DestroyAllPoses() {
    DrainRegistry(mPoses, [this](VOxaPose* pose) { DeleteTakeObject(pose, false); });
}

// --- Lookups ------------------------------------------------------------------------------------

VOxaPose* VOxaSdkManager::GetPose(const char* fullName) {
    VOxaPose* pose = mPoses.FindByName(fullName);
    if (!pose) NotFound();
    return pose;
}

// --- Create operations --------------------------------------------------------------------------

VOxaMesh* VOxaSdkManager::CreateMesh() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewMesh(); });
}

VOxaOpticalReference* VOxaSdkManager::CreateOpticalReference() {
    return VOxaMakeListed(mNodeAttributes, [&] { return NewOpticalReference(); });
}

VOxaLink* VOxaSdkManager::CreateLink() {
    VOxaLink* link = VOxaMakeListed(mLinks, [&] { return NewLink(); });
    if (link) link->mManager = this;
    return link;
}

VOxaShape* VOxaSdkManager::CreateShape() {
    return VOxaMakeListed(mShapes, [&] { return oxa_alloc::Counted(new (std::nothrow) VOxaShape(this)); });
}

VOxaPose* VOxaSdkManager::CreatePose(const char* name, int kind) {
    return VOxaMakeListed(mPoses, [&] { return NewPose(VOxaMakeObjectName("Pose::", name).Buffer(), kind); });
}

VOxaDeformer* VOxaSdkManager::CreateDeformer(const char* name, const char* typeName) {
    return MakeObjectListed([&] {
        return NewDeformer(VOxaMakeObjectName(VOxaGetDeformerNamePrefix(typeName), name).Buffer(), typeName);
    });
}

// --- Bind poses ---------------------------------------------------------------------------------

void VOxaSdkManager::CreateBindPoses(VOxaScene* scene) {
    if (!scene) return;
    VOxaPose* bindPose = nullptr;
    VArrayTemplate<VOxaPose*> poses(16);
    VArrayTemplate<int> indices(16);
    const VMatrix identity;

    for (VOxaNode* node : mNodes.Snapshot()) {
        VOxaGeometry* geometry = node->GetGeometry();
        const int linkCount = geometry ? geometry->GetLinkCount() : 0;
        if (linkCount <= 0) continue;

        // A node that another bind pose holds keeps that pose. The node is looked up by the name
        // it was made with and by that name without its prefix (the form poses record).
        bool inOtherPose = false;
        const char* initialName = node->GetInitialName();
        VString shortName = VOxaMakeObjectName("", initialName);
        for (const char* name : {initialName, (const char*)shortName.Buffer()}) {
            poses.Clear();
            indices.Clear();
            VOxaPose::GetBindPosesContaining(this, name, poses, indices);
            for (int i = 0, n = poses.GetCount(); i < n && !inOtherPose; ++i)
                inOtherPose = poses[i] != bindPose;
        }
        if (inOtherPose) continue;

        // Links bound at the identity while the geometry transforms disagree carry no usable
        // binding: the whole operation stops.
        bool linksAtIdentity = true;
        bool transformsDiffer = false;
        VOxaLink* first = nullptr;
        VgeAMatrix firstTransform, matrix;
        for (int i = 0; i < linkCount; ++i) {
            VOxaLink* link = geometry->GetLink(i);
            if (!link) continue;
            link->GetTransformLinkMatrix(matrix);
            if (VgeMatrixCompareAffine(matrix.mData, identity.mData, 0.5) != 0) linksAtIdentity = false;
            link->GetTransformMatrix(matrix);
            if (!first) {
                first = link;
                firstTransform = matrix;
            } else if (VgeMatrixCompareAffine(matrix.mData, firstTransform.mData, 0.5) != 0) {
                transformsDiffer = true;
            }
        }
        if (!first) continue;
        if (linksAtIdentity && transformsDiffer) return;

        if (!bindPose) {
            bindPose = CreatePose(kBindPoseName, 1);
            if (!bindPose) return;
            scene->AddPose(bindPose);
        }
        bindPose->Add(node->GetNameWithoutPrefix(), ToMatrix(firstTransform), false);
        for (int i = 0; i < linkCount; ++i) {
            VOxaLink* link = geometry->GetLink(i);
            VOxaNode* linkNode = link ? link->GetLink() : nullptr;
            if (!linkNode) continue;
            bindPose->Add(linkNode->GetNameWithoutPrefix(), ToMatrix(link->GetTransformLinkMatrix(matrix)),
                          false);
        }
    }
}
