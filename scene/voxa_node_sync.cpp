// The node's synchronisation of properties with pivots and limits, its scene membership and its
// remaining object slots.

#include <cmath>
#include <new>
#include <vector>

#include "attributes/voxa_geometry.h"
#include "base/vallocation_hook.h"
#include "objects/voxa_user_property.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_finder.h"
#include "scene/voxa_node_limits.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const double kNeutralTolerance = 1e-6;

bool IsNear(const VgeTVector& v, double x, double y, double z) {
    return std::fabs(v[0] - x) <= kNeutralTolerance && std::fabs(v[1] - y) <= kNeutralTolerance &&
           std::fabs(v[2] - z) <= kNeutralTolerance;
}

bool IsNear(const VgeTVector& a, const VgeTVector& b) {
    return IsNear(a, b[0], b[1], b[2]);
}

// One limit kind as the properties hold it.
struct LimitValues {
    bool mActive;
    bool mMin[3];
    bool mMax[3];
    VgeTVector mMinValue;
    VgeTVector mMaxValue;
};

bool LimitsEqual(const LimitValues& values, bool active, const VOxaLimits& limits) {
    if (values.mActive != active) return false;
    for (int i = 0; i < 3; ++i) {
        if (values.mMin[i] != limits.mMinActive[i] || values.mMax[i] != limits.mMaxActive[i]) return false;
    }
    return IsNear(values.mMinValue, limits.mMin) && IsNear(values.mMaxValue, limits.mMax);
}

int EvaluationFlags(const LimitValues& values) {
    int flags = values.mActive ? 0x1 : 0;
    for (int i = 0; i < 3; ++i) {
        if (values.mMin[i]) flags |= 0x2 << i;
        if (values.mMax[i]) flags |= 0x10 << i;
    }
    return flags;
}

bool EvaluationEqual(const LimitValues& values, const VOxaEvaluationLimit& entry) {
    return entry.mFlags == EvaluationFlags(values) && IsNear(values.mMinValue, entry.mMin) &&
           IsNear(values.mMaxValue, entry.mMax);
}

void StoreLimit(const LimitValues& values, VOxaLimits& limits, VOxaEvaluationLimit& entry) {
    limits.SetLimitMinActive(values.mMin[0], values.mMin[1], values.mMin[2]);
    limits.SetLimitMaxActive(values.mMax[0], values.mMax[1], values.mMax[2]);
    limits.SetLimitMin(values.mMinValue);
    limits.SetLimitMax(values.mMaxValue);
    entry.mFlags = EvaluationFlags(values);
    entry.mMin = values.mMinValue;
    entry.mMax = values.mMaxValue;
}

}  // namespace

// ---- Object slots -------------------------------------------------------------------------------

void VOxaNode::Destroying() {
    // The block is about to drop its properties: handles still to be made are made for the
    // properties the node had (the manager's DeleteTakeObject takes the node out of its list
    // first, so that a node being destroyed makes none).
    MakePendingUserProperties();
    // The default take's curves are linked to properties that the block is about to drop.
    RemoveAllChannelLinks();
    if (mProperties) mProperties->Destroying();
}

VOxaPropertyHandler* VOxaNode::GetPropertyHandler() const {
    return mProperties;
}

void VOxaNode::FillPropertyArray(VArrayTemplate<VProperty*>& properties) const {
    if (mProperties) {
        int count = mProperties->GetPropertyCount();
        for (int i = 0; i < count; ++i)
            properties.Add(mProperties->GetProperty(i));
    }
    if (mAttribute) mAttribute->CollectChannels(properties);
}

VString VOxaNode::GetTypeName() const {
    return mAttribute ? mAttribute->GetTypeName() : VString("Null");
}

VStringList VOxaNode::GetTypeFlags() const {
    if (mAttribute) return mAttribute->GetTypeFlags();
    VStringList flags;
    flags.Add("Null");
    return flags;
}

VOxaUserProperty* VOxaNode::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

// ---- Child names ----------------------------------------------------------------------------------

void VOxaNode::AddChildName(const char* name) {
    mChildNames.emplace_back(name ? name : "");
}

// ---- Synchronisation ------------------------------------------------------------------------------

void VOxaNode::UpdatePivotsFromProperties() {
    VOxaNodeProperties* p = mProperties;
    if (!p) return;

    // Pivot set 0 takes the properties over only when one of them is not neutral. Pre- and
    // post-rotation and the limit-space flag are part of the test, so that a node whose only
    // pivot value is a pre-rotation keeps it.
    bool neutral = IsNear(p->GetRotationOffset(), 0, 0, 0) && IsNear(p->GetRotationPivot(), 0, 0, 0) &&
                   IsNear(p->GetRotationPivotUpdateOffset(), 0, 0, 0) &&
                   IsNear(p->GetScalingOffset(), 0, 0, 0) && IsNear(p->GetScalingPivot(), 0, 0, 0) &&
                   IsNear(p->GetScalingPivotUpdateOffset(), 0, 0, 0) &&
                   IsNear(p->GetGeometricTranslation(), 0, 0, 0) &&
                   IsNear(p->GetGeometricRotation(), 0, 0, 0) && IsNear(p->GetGeometricScaling(), 1, 1, 1) &&
                   p->GetRotationOrder() == eEULER_XYZ && IsNear(p->GetPreRotation(), 0, 0, 0) &&
                   IsNear(p->GetPostRotation(), 0, 0, 0) && !p->GetRotationSpaceForLimitOnly();
    if (!neutral) {
        SetRotationOrder(0, p->GetRotationOrder());
        SetRotationOffset(0, p->GetRotationOffset());
        SetRotationPivot(0, p->GetRotationPivot());
        SetRotationPivotUpdateOffset(0, p->GetRotationPivotUpdateOffset());
        SetPreRotation(0, p->GetPreRotation());
        SetPostRotation(0, p->GetPostRotation());
        SetScalingOffset(0, p->GetScalingOffset());
        SetScalingPivot(0, p->GetScalingPivot());
        SetScalingPivotUpdateOffset(0, p->GetScalingPivotUpdateOffset());
        SetGeometricTranslation(0, p->GetGeometricTranslation());
        SetGeometricRotation(0, p->GetGeometricRotation());
        SetGeometricScaling(0, p->GetGeometricScaling());
        SetUseRotationSpaceForLimitOnly(0, p->GetRotationSpaceForLimitOnly());
        VOxaPivotSet& source = p->GetPivotSet(0);
        source.mPivotState = 0;
        source.mPivotMatrixValid = false;
        p->ResetPivotSet(1);
    }

    if (!mLimits) return;
    VOxaTransformSettings& settings = p->GetTransformSettings();
    const LimitValues translation = {
        p->GetTranslationActive(),
        {p->GetTranslationMinX(), p->GetTranslationMinY(), p->GetTranslationMinZ()},
        {p->GetTranslationMaxX(), p->GetTranslationMaxY(), p->GetTranslationMaxZ()},
        p->GetTranslationMin(),
        p->GetTranslationMax()};
    const LimitValues rotation = {p->GetRotationActive(),
                                  {p->GetRotationMinX(), p->GetRotationMinY(), p->GetRotationMinZ()},
                                  {p->GetRotationMaxX(), p->GetRotationMaxY(), p->GetRotationMaxZ()},
                                  p->GetRotationMin(),
                                  p->GetRotationMax()};
    const LimitValues scaling = {p->GetScalingActive(),
                                 {p->GetScalingMinX(), p->GetScalingMinY(), p->GetScalingMinZ()},
                                 {p->GetScalingMaxX(), p->GetScalingMaxY(), p->GetScalingMaxZ()},
                                 p->GetScalingMin(),
                                 p->GetScalingMax()};
    // Nothing is written when the limits and the evaluation entries hold the values already.
    if (LimitsEqual(translation, mLimits->GetTranslationLimitsActive(), mLimits->mTranslationLimits) &&
        LimitsEqual(rotation, mLimits->GetRotationLimitsActive(), mLimits->mRotationLimits) &&
        LimitsEqual(scaling, mLimits->GetScalingLimitsActive(), mLimits->mScalingLimits) &&
        EvaluationEqual(translation, settings.mTranslationLimit) &&
        EvaluationEqual(rotation, settings.mRotationLimit) &&
        EvaluationEqual(scaling, settings.mScalingLimit)) {
        return;
    }
    mLimits->SetTranslationLimitsActive(translation.mActive);
    StoreLimit(translation, mLimits->mTranslationLimits, settings.mTranslationLimit);
    mLimits->SetRotationLimitsActive(rotation.mActive);
    StoreLimit(rotation, mLimits->mRotationLimits, settings.mRotationLimit);
    mLimits->SetScalingLimitsActive(scaling.mActive);
    StoreLimit(scaling, mLimits->mScalingLimits, settings.mScalingLimit);
}

void VOxaNode::UpdatePropertiesFromPivots() {
    VOxaNodeProperties* p = mProperties;
    if (!p) return;
    const VOxaPivotSet& source = p->GetPivotSet(0);
    p->SetRotationOffset(source.mRotationOffset);
    p->SetRotationPivot(source.mRotationPivot);
    p->SetRotationPivotUpdateOffset(source.mRotationPivotUpdateOffset);
    p->SetPreRotation(source.mPreRotation);
    p->SetPostRotation(source.mPostRotation);
    p->SetScalingOffset(source.mScalingOffset);
    p->SetScalingPivot(source.mScalingPivot);
    p->SetScalingPivotUpdateOffset(source.mScalingPivotUpdateOffset);
    p->SetGeometricTranslation(source.mGeometricTranslation);
    p->SetGeometricRotation(source.mGeometricRotation);
    p->SetGeometricScaling(source.mGeometricScaling);
    p->SetRotationOrder((ERotationOrder)source.mRotationOrder);
    p->SetRotationSpaceForLimitOnly(source.mRotationSpaceForLimitOnly);

    if (!mLimits) return;
    const VOxaLimits& t = mLimits->mTranslationLimits;
    p->SetTranslationActive(mLimits->GetTranslationLimitsActive());
    p->SetTranslationMinX(t.mMinActive[0]);
    p->SetTranslationMinY(t.mMinActive[1]);
    p->SetTranslationMinZ(t.mMinActive[2]);
    p->SetTranslationMaxX(t.mMaxActive[0]);
    p->SetTranslationMaxY(t.mMaxActive[1]);
    p->SetTranslationMaxZ(t.mMaxActive[2]);
    p->SetTranslationMin(t.mMin);
    p->SetTranslationMax(t.mMax);
    const VOxaLimits& r = mLimits->mRotationLimits;
    p->SetRotationActive(mLimits->GetRotationLimitsActive());
    p->SetRotationMinX(r.mMinActive[0]);
    p->SetRotationMinY(r.mMinActive[1]);
    p->SetRotationMinZ(r.mMinActive[2]);
    p->SetRotationMaxX(r.mMaxActive[0]);
    p->SetRotationMaxY(r.mMaxActive[1]);
    p->SetRotationMaxZ(r.mMaxActive[2]);
    p->SetRotationMin(r.mMin);
    p->SetRotationMax(r.mMax);
    const VOxaLimits& s = mLimits->mScalingLimits;
    p->SetScalingActive(mLimits->GetScalingLimitsActive());
    p->SetScalingMinX(s.mMinActive[0]);
    p->SetScalingMinY(s.mMinActive[1]);
    p->SetScalingMinZ(s.mMinActive[2]);
    p->SetScalingMaxX(s.mMaxActive[0]);
    p->SetScalingMaxY(s.mMaxActive[1]);
    p->SetScalingMaxZ(s.mMaxActive[2]);
    p->SetScalingMin(s.mMin);
    p->SetScalingMax(s.mMax);
}

// ---- Scene membership -----------------------------------------------------------------------------

namespace {

// The node's geometry (and its shapes) register their materials and textures with the contents
// the node is in, and with no other.
void FollowSceneContents(VOxaNode* node) {
    if (VOxaGeometry* geometry = node->GetGeometry()) {
        if (geometry->GetSceneContents() != node->GetSceneContents())
            geometry->SetSceneContents(node->GetSceneContents());
    }
}

}  // namespace

bool VOxaNode::SetSceneContents(VOxaSceneContents* contents, bool asRoot) {
    try {
        return MoveToSceneContents(contents, asRoot);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        mError.SetLastErrorID(eNotEnoughMemory);
        return false;
    }
}

bool VOxaNode::MoveToSceneContents(VOxaSceneContents* contents, bool asRoot) {
    if (contents == mSceneContents) return true;

    // The subtree's nodes, each met once. Only a node that becomes the root of other contents
    // has names to compare: a subtree leaving its contents, or joining them below a node, never
    // fails, so that the contents always list what hangs below their root and a detached
    // subtree takes all of its nodes along, whatever their names.
    VOxaNode* const single[1] = {this};
    VOxaNode* const* nodes = single;
    int count = 1;
    std::vector<VOxaNode*> subtree;
    VOxaNodeFinderDuplicateName finder(contents);
    if (asRoot && contents) {
        finder.Find(this);
        if (finder.GetDuplicateNodes().GetCount() > 0) {
            mError.SetLastErrorID(eNodeNameClash);
            return false;
        }
        if (finder.GetDuplicateTextures().GetCount() > 0) {
            mError.SetLastErrorID(eTextureNameClash);
            return false;
        }
        if (finder.GetDuplicateVideos().GetCount() > 0) {
            mError.SetLastErrorID(eVideoNameClash);
            return false;
        }
        if (finder.GetDuplicateMaterials().GetCount() > 0) {
            mError.SetLastErrorID(eMaterialNameClash);
            return false;
        }
        nodes = finder.GetNodes().GetArray();
        count = finder.GetNodes().GetCount();
    } else {
        try {
            if (GetChildCount() > 0) {
                // Depth first with an explicit stack: a chain may be as long as the node list.
                std::vector<VOxaNode*> stack{this};
                while (!stack.empty()) {
                    VOxaNode* node = stack.back();
                    stack.pop_back();
                    subtree.push_back(node);
                    for (int i = node->GetChildCount() - 1; i >= 0; --i) {
                        if (VOxaNode* child = node->GetChild(i)) stack.push_back(child);
                    }
                }
                nodes = subtree.data();
                count = (int)subtree.size();
            }
        } catch (const std::bad_alloc&) {
            if (contents) throw;  // nothing has moved
            LeaveSceneContentsInPlace();
            return true;
        }
    }

    // Out of the present contents (each node leaves the contents it is listed in).
    for (int i = 0; i < count; ++i) {
        VOxaNode* node = nodes[i];
        VOxaSceneContents* from = node->mSceneContents;
        if (from && from->ContainsNode(node)) from->RemoveNode(node);
        node->mSceneContents = nullptr;
        FollowSceneContents(node);
    }

    if (!contents) return true;
    if (asRoot) {
        VOxaNode* oldRoot = contents->GetRootNode();
        if (oldRoot && oldRoot != this) oldRoot->SetSceneContents(nullptr, true);
        // Nodes still listed outside the old root's subtree leave with the list: their link
        // must not outlive it.
        for (int i = 0, n = contents->GetNodeCount(); i < n; ++i) {
            VOxaNode* node = contents->GetNode(i);
            if (node->mSceneContents == contents) {
                node->mSceneContents = nullptr;
                FollowSceneContents(node);
            }
        }
        contents->ClearNodes();
    }
    int joined = 0;
    try {
        for (; joined < count; ++joined) {
            VOxaNode* node = nodes[joined];
            if (!contents->ContainsNode(node)) contents->AddNode(node);
            node->mSceneContents = contents;
            FollowSceneContents(node);
        }
    } catch (const std::bad_alloc&) {
        // Memory ran out part way: the nodes that joined leave again (leaving needs no memory),
        // so that the subtree is in no contents rather than half in these.
        for (int i = 0; i <= joined && i < count; ++i) {
            VOxaNode* node = nodes[i];
            if (contents->ContainsNode(node)) contents->RemoveNode(node);
            node->mSceneContents = nullptr;
            FollowSceneContents(node);
        }
        throw;
    }
    if (asRoot) contents->SetRootNode(this);
    return true;
}

void VOxaNode::LeaveSceneContentsInPlace() {
    // Without room to list the subtree, the contents' own list is walked from its end: every
    // node whose parents lead to this node (detached already, or the top of what leaves) goes.
    // Each node's answer is kept on it, so that a walk up stops at the first node answered
    // already: parents mostly come before their children in the list, and a deep chain is then
    // sorted in one pass rather than one walk to its top per node.
    VOxaSceneContents* from = mSceneContents;
    if (!from) return;
    int sorted = 0;
    try {
        for (const int n = from->GetNodeCount(); sorted < n; ++sorted) {
            VOxaNode* node = from->GetNode(sorted);
            VOxaNode* up = node;
            while (up && up != this && !up->mLeaving)
                up = up->GetParent();
            node->mLeaving = up && (up == this || up->mLeaving == 1) ? 1 : 2;
        }
    } catch (...) {
        // A parent looked up through a view that could not be made: nothing has left yet.
        for (int i = 0; i < sorted; ++i)
            from->GetNode(i)->mLeaving = 0;
        throw;
    }
    for (int i = from->GetNodeCount(); i-- > 0;) {
        VOxaNode* node = from->GetNode(i);
        const bool leaves = node->mLeaving == 1;
        node->mLeaving = 0;
        if (!leaves) continue;
        from->RemoveNode(node);
        if (node->mSceneContents == from) node->mSceneContents = nullptr;
        FollowSceneContents(node);
    }
}
