// The node's take channels, animation interval and take switch, copying, character links and
// marks.

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_camera_switcher.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_null.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "attributes/voxa_skeleton.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "objects/vdatatype.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_limits.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

// ---- Take channels --------------------------------------------------------------------------------

using voxa_take_node_detail::Adopt;

namespace {

struct TransformChannel {
    const char* mName;
    const char* mProperty;
    int mLayerType;
    double mFallback;
};
const TransformChannel kTransformChannels[3] = {
    {"T", "Lcl Translation", 1, 0.0}, {"R", "Lcl Rotation", 2, 0.0}, {"S", "Lcl Scaling", 3, 1.0}};
// The index of the visibility default after the nine transform ones.
constexpr int kVisibilityDefault = 9;

// The properties of the three transform channels and of visibility (null for a missing one), in
// one walk over the block's properties: the first of each name, as FindProperty answers. A new
// node has no name index yet, and four lookups would walk the list four times.
void FindChannelProperties(const VOxaNodeProperties* properties, VProperty* found[4]) {
    static const char* const kNames[4] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};
    for (int c = 0; c < 4; ++c)
        found[c] = nullptr;
    if (!properties) return;
    int missing = 4;
    // Names are read from the descriptions, so that member properties not made yet stay so.
    for (int i = 0, n = properties->GetPropertyCount(); i < n && missing > 0; ++i) {
        const VPropertyInfo* info = properties->GetPropertyInfo(i);
        const char* name = info ? info->GetName() : nullptr;
        if (!name || (name[0] != 'L' && name[0] != 'V')) continue;
        for (int c = 0; c < 4; ++c) {
            if (!found[c] && std::strcmp(name, kNames[c]) == 0) {
                found[c] = properties->GetProperty(i);
                --missing;
                break;
            }
        }
    }
}

// The defaults of the nine transform curves and the visibility curve from the values of
// `properties` (as FindChannelProperties gives them), a missing one's fallback otherwise.
void ReadChannelDefaults(VProperty* const properties[4], float defaults[10]) {
    for (int c = 0; c < 3; ++c) {
        const TransformChannel& channel = kTransformChannels[c];
        double value[4] = {channel.mFallback, channel.mFallback, channel.mFallback, 1.0};
        if (properties[c]) properties[c]->GetValue(value);
        for (int k = 0; k < 3; ++k)
            defaults[3 * c + k] = (float)value[k];
    }
    defaults[kVisibilityDefault] = (float)(properties[3] ? properties[3]->GetDouble() : 1.0);
}

// A changed value reaches a curve's default as SetDefaultWithoutEcho writes it: an equal value
// (0 against -0) leaves the default as it is.
void FollowDefault(float& stored, double value) {
    if (stored != (float)value) stored = (float)value;
}

}  // namespace

void VOxaNode::StartDeferredDefaults() {
    if (!HasDeferredDefaultChannels()) return;
    VProperty* properties[4];
    FindChannelProperties(mProperties, properties);
    ReadChannelDefaults(properties, mDeferredDefaults);
    mDeferredDefaultsLive = true;
}

void VOxaNode::TrackDeferredDefaults(VOxaUserProperty* userProperty) {
    // As the channel of a made default take would follow the property (PropertyValueChanged).
    if (!mDeferredDefaultsLive || !userProperty || !userProperty->GetFlag(VOxaUserProperty::eAnimatable))
        return;
    const char* name = userProperty->GetName();
    if (std::strcmp(name, "Visibility") == 0) {
        double value = 0.0;
        if (!userProperty->GetDouble(value)) return;
        FollowDefault(mDeferredDefaults[kVisibilityDefault], value);
        return;
    }
    for (int c = 0; c < 3; ++c) {
        if (std::strcmp(name, kTransformChannels[c].mProperty) != 0) continue;
        double values[4] = {0.0, 0.0, 0.0, 0.0};
        VProperty* property = userProperty->GetProperty();
        if (!property || property->GetValue(values) < 3) return;
        for (int k = 0; k < 3; ++k)
            FollowDefault(mDeferredDefaults[3 * c + k], values[k]);
        return;
    }
}

void VOxaNode::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    if (!takeNode || !takeNode->GetVFCurveNode()) return;
    VFCurveNode* root = takeNode->GetVFCurveNode();
    const bool isDefault = VString(takeNode->GetName()).CompareNoCase("Default") == 0;
    static const float kComponentColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    static const char* const kComponents[3] = {"X", "Y", "Z"};
    // While the default take's channels are deferred, every take made (the default one when it
    // is filled, a new take that would have copied it) takes the defaults it would hold.
    const bool deferred = mDeferredDefaultsLive;
    if (deferred && takeNode == GetDefaultTakeNode()) mDeferredDefaultsLive = false;

    // A curve node or curve that cannot be made (counted as memory run out, or thrown) ends the
    // channels here: the take keeps those handed to it so far, and what was being made goes.
    std::unique_ptr<VFCurveNode> transform(VFCurveNode::CreateFromName("Transform", nullptr, 0, 0));
    if (!transform) return;
    VProperty* properties[4];
    FindChannelProperties(mProperties, properties);
    float defaults[10];
    if (deferred) {
        std::memcpy(defaults, mDeferredDefaults, sizeof defaults);
    } else {
        ReadChannelDefaults(properties, defaults);
    }
    for (int c = 0; c < 3; ++c) {
        const TransformChannel& t = kTransformChannels[c];
        VProperty* property = properties[c];
        std::unique_ptr<VFCurveNode> channel(
            VFCurveNode::CreateFromName(t.mName, VDataType::Find(t.mProperty), t.mLayerType, 0));
        if (!channel) return;
        for (int k = 0; k < 3; ++k) {
            std::unique_ptr<VFCurveNode> component(
                VFCurveNode::CreateFromName(kComponents[k], nullptr, 0, 0));
            if (!component) return;
            VFCurve* curve = VFCurve::Create();
            component->FCurveSet(curve);
            curve->SetDefaultValue(defaults[3 * c + k]);
            curve->SetColor(kComponentColors[k]);
            if (isDefault) AddChannelLink(property, k, curve);
            if (!Adopt(channel.get(), component)) return;
        }
        if (!Adopt(transform.get(), channel)) return;
    }

    VProperty* visibilityProperty = properties[3];
    std::unique_ptr<VFCurveNode> visibilityNode(
        VFCurveNode::CreateFromName("Visibility", VDataType::Find("Visibility"), 1, 0));
    if (!visibilityNode) {
        Adopt(root, transform);
        return;
    }
    VFCurve* visibilityCurve = VFCurve::Create();
    visibilityNode->FCurveSet(visibilityCurve);
    visibilityCurve->SetDefaultValue(defaults[kVisibilityDefault]);
    visibilityCurve->SetColor(0.75f, 0.0f, 0.0f);
    if (isDefault) AddChannelLink(visibilityProperty, 0, visibilityCurve);

    if (!Adopt(root, transform)) return;
    if (!Adopt(root, visibilityNode)) return;

    // The other animatable properties (user properties made animatable) in property order. A
    // node is made without any: the channels of those added later come with their handles
    // (PropertyAdded), which makes a deferred default take first.
    if (mProperties && !deferred) {
        int count = mProperties->GetPropertyCount();
        for (int i = 0; i < count; ++i) {
            const VPropertyInfo* info = mProperties->GetPropertyInfo(i);
            if (!info || !info->HasFlag(kPropertyAnimatable)) continue;
            VProperty* property = mProperties->GetProperty(i);
            if (!property || property == visibilityProperty) continue;
            const char* name = property->GetName();
            if (std::strcmp(name, "Lcl Translation") == 0 || std::strcmp(name, "Lcl Rotation") == 0 ||
                std::strcmp(name, "Lcl Scaling") == 0 || std::strcmp(name, "Visibility") == 0) {
                continue;
            }
            CreatePropertyChannels(property, takeNode);
        }
    }

    if (mAttribute) mAttribute->AddChannels(takeNode);
}

// ---- Animation interval and current take ----------------------------------------------------------

bool VOxaNode::GetAnimationInterval(VTime& start, VTime& stop) {
    VTime localStart(INT64_MAX);
    VTime localStop(INT64_MIN + 1);
    if (!GetAnimationIntervalRecursive(localStart, localStop)) return false;
    if (localStart.Get() < start.Get()) start = localStart;
    if (localStop.Get() > stop.Get()) stop = localStop;
    return true;
}

bool VOxaNode::GetAnimationIntervalRecursive(VTime& start, VTime& stop) {
    // This node's current take, then each descendant depth first in child order.
    bool found = false;
    std::vector<std::pair<VOxaNode*, int>> stack;
    found = VOxaTakeNodeContainer::GetAnimationInterval(start, stop) || found;
    stack.emplace_back(this, 0);
    while (!stack.empty()) {
        auto& top = stack.back();
        VOxaNode* child = top.first->GetChild(top.second++);
        if (!child) {
            stack.pop_back();
            continue;
        }
        found = child->VOxaTakeNodeContainer::GetAnimationInterval(start, stop) || found;
        stack.emplace_back(child, 0);
    }
    return found;
}

bool VOxaNode::SetCurrentTakeNode(const char* name) {
    // The cached matrices belong to the former take.
    ResetTransformCaches();
    return VOxaTakeNodeContainer::SetCurrentTakeNode(name);
}

bool VOxaNode::SetCurrentTakeNode(int index) {
    ResetTransformCaches();
    return VOxaTakeNodeContainer::SetCurrentTakeNode(index);
}

// ---- Copy -----------------------------------------------------------------------------------------

namespace {

// Gives `node` an attribute of T carrying `from`'s values: `mine` when the node has one of that
// kind, else one made by `create`, which replaces (and destroys) the node's former attribute.
// False when there is nothing to copy from or no attribute could be made.
template <typename T, typename Assign>
bool CopyAttribute(VOxaNode* node, const T* from, T* mine, T* (VOxaSdkManager::*create)(), Assign assign) {
    if (!from) return false;
    if (!mine) {
        VOxaSdkManager* manager = node->GetSdkManager();
        mine = manager ? (manager->*create)() : nullptr;
        if (!mine) return false;
        if (VOxaNodeAttribute* former = node->SetNodeAttribute(mine)) manager->DestroyNodeAttribute(former);
    }
    assign(*mine, *from);
    return true;
}

template <typename T>
bool CopyAttribute(VOxaNode* node, const T* from, T* mine, T* (VOxaSdkManager::*create)()) {
    return CopyAttribute(node, from, mine, create, [](T& to, const T& source) { to = source; });
}

}  // namespace

VOxaNode& VOxaNode::Copy(const VOxaNode& other) {
    oxa_delivery::Scope scope;
    if (&other == this) return *this;
    try {
        CopyParts(other);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
    }
    return *this;
}

void VOxaNode::CopyParts(const VOxaNode& other) {
    // Aim settings; the up-vector target node is not copied.
    if (VOxaNode* target = other.GetTarget()) SetTarget(target);
    SetPostTargetRotation(other.GetPostTargetRotation());
    SetTargetUpVector(other.GetTargetUpVector());

    // Node attribute: one of the other's kind (made through the manager when this node has
    // none of that kind, the former one destroyed), given the other's values. Without an
    // attribute on the other node, or with one of a kind that is not copied, this node's goes.
    bool copied = false;
    switch (other.GetNodeAttributeType()) {
        case VOxaNodeAttribute::eNull:
            copied = CopyAttribute(this, other.GetNull(), GetNull(), &VOxaSdkManager::CreateNull);
            break;
        case VOxaNodeAttribute::eMarker:
            copied = CopyAttribute(this, other.GetMarker(), GetMarker(), &VOxaSdkManager::CreateMarker);
            break;
        case VOxaNodeAttribute::eSkeleton:
            copied = CopyAttribute(this, other.GetSkeleton(), GetSkeleton(), &VOxaSdkManager::CreateSkeleton);
            break;
        case VOxaNodeAttribute::eMesh:
            copied = CopyAttribute(this, other.GetMesh(), GetMesh(), &VOxaSdkManager::CreateMesh);
            break;
        case VOxaNodeAttribute::eNurb:
            copied = CopyAttribute(this, other.GetNurb(), GetNurb(), &VOxaSdkManager::CreateNurb);
            break;
        case VOxaNodeAttribute::ePatch:
            copied = CopyAttribute(this, other.GetPatch(), GetPatch(), &VOxaSdkManager::CreatePatch);
            break;
        case VOxaNodeAttribute::eCamera:
            copied = CopyAttribute(this, other.GetCamera(), GetCamera(), &VOxaSdkManager::CreateCamera);
            break;
        case VOxaNodeAttribute::eLight:
            copied = CopyAttribute(this, other.GetLight(), GetLight(), &VOxaSdkManager::CreateLight);
            break;
        case VOxaNodeAttribute::eCameraSwitcher:
            // A switcher is given the other's camera names; one is made when this node has none.
            copied = CopyAttribute(
                this, other.GetCameraSwitcher(), GetCameraSwitcher(), &VOxaSdkManager::CreateCameraSwitcher,
                [](VOxaCameraSwitcher& to, const VOxaCameraSwitcher& from) { to.CopyCameraNames(from); });
            break;
        default:
            break;
    }
    if (!copied && mAttribute) {
        VOxaNodeAttribute* former = mAttribute;
        SetNodeAttribute(nullptr);
        if (VOxaSdkManager* manager = GetSdkManager()) manager->DestroyNodeAttribute(former);
    }

    SetVisibility(other.GetVisibility());
    SetShadingMode(other.GetShadingMode());
    SetMultiLayer(other.GetMultiLayer());
    SetMultiTake(other.GetMultiTake());

    // Pivot vectors of both sets, through the setters (set 0 keeps its mirror in step).
    for (int set = 0; set < 2; ++set) {
        VOxaPivotSet& from = other.mProperties->GetPivotSet(set);
        SetRotationOffset(set, from.mRotationOffset);
        SetRotationPivot(set, from.mRotationPivot);
        SetScalingOffset(set, from.mScalingOffset);
        SetPreRotation(set, from.mPreRotation);
        SetPostRotation(set, from.mPostRotation);
        SetScalingPivot(set, from.mScalingPivot);
        SetScalingPivotUpdateOffset(set, from.mScalingPivotUpdateOffset);
    }

    // The evaluated transforms were this node's own: nothing cached survives the copy.
    ResetTransformCaches();
    if (mEval) mEval->mStampedTransform.mStamp = -1;

    // The limit records and switches; the limits stay attached to this node.
    if (mLimits && other.mLimits) {
        mLimits->mTranslationLimits = other.mLimits->mTranslationLimits;
        mLimits->mRotationLimits = other.mLimits->mRotationLimits;
        mLimits->mScalingLimits = other.mLimits->mScalingLimits;
        mLimits->SetTranslationLimitsActive(other.mLimits->GetTranslationLimitsActive());
        mLimits->SetRotationLimitsActive(other.mLimits->GetRotationLimitsActive());
        mLimits->SetScalingLimitsActive(other.mLimits->GetScalingLimitsActive());
    }

    SetCullingMode(other.GetCullingMode());
    VOxaTakeNodeContainer::operator=(other);
}

// ---- Character links ------------------------------------------------------------------------------

int VOxaNode::AddCharacterLink(void* owner, int kind, int index, int extra) {
    mCharacterLinks.push_back(VOxaNodeCharacterLink{owner, kind, index, extra});
    return (int)mCharacterLinks.size() - 1;
}

int VOxaNode::RemoveCharacterLink(void* owner, int kind, int index, int extra) {
    int at = FindCharacterLink(owner, kind, index, extra);
    if (at < 0) {
        // A null owner is not searched by Find, but such a record may still be listed.
        if (owner) return -1;
        const VOxaNodeCharacterLink wanted{owner, kind, index, extra};
        for (size_t i = 0; i < mCharacterLinks.size(); ++i) {
            if (mCharacterLinks[i] == wanted) {
                at = (int)i;
                break;
            }
        }
        if (at < 0) return -1;
    }
    mCharacterLinks.erase(mCharacterLinks.begin() + at);
    return at;
}

int VOxaNode::FindCharacterLink(void* owner, int kind, int index, int extra) const {
    if (!owner) return -1;
    const VOxaNodeCharacterLink wanted{owner, kind, index, extra};
    for (size_t i = 0; i < mCharacterLinks.size(); ++i) {
        if (mCharacterLinks[i] == wanted) return (int)i;
    }
    return -1;
}

bool VOxaNode::GetCharacterLink(int index, void** owner, int* kind, int* linkIndex, int* extra) const {
    if (index < 0 || index >= (int)mCharacterLinks.size() || !owner || !kind || !linkIndex || !extra) {
        return false;
    }
    const VOxaNodeCharacterLink& link = mCharacterLinks[index];
    *owner = link.mOwner;
    *kind = link.mKind;
    *linkIndex = link.mIndex;
    *extra = link.mExtra;
    return true;
}

// ---- Marks ----------------------------------------------------------------------------------------

void VOxaNode::SetMarked(int value, bool recursive) {
    mMark = value;
    if (!recursive) return;
    std::vector<VOxaNode*> pending;
    for (int i = 0, n = GetChildCount(); i < n; ++i)
        pending.push_back(GetChild(i));
    while (!pending.empty()) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        if (!node) continue;
        node->mMark = value;
        for (int i = 0, n = node->GetChildCount(); i < n; ++i)
            pending.push_back(node->GetChild(i));
    }
}

bool VOxaNode::IsMarked(bool recursive) const {
    if (mMark != 0) return true;
    if (!recursive) return false;
    // Children in index order, depth first, stopping at the first marked one.
    std::vector<std::pair<const VOxaNode*, int>> stack{{this, 0}};
    while (!stack.empty()) {
        auto& top = stack.back();
        VOxaNode* child = top.first->GetChild(top.second++);
        if (!child) {
            stack.pop_back();
            continue;
        }
        if (child->mMark != 0) return true;
        stack.emplace_back(child, 0);
    }
    return false;
}
