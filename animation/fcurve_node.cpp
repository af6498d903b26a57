// Curve-node trees: construction, children, lookup, curves, copies and the layer chain.
#include "animation/fcurve_node.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node_internal.h"
#include "base/vallocation_hook.h"
#include "objects/vdatatype.h"
#include "objects/vproperty.h"

namespace fcurve_node_detail {

bool NameEqualNoCase(const char* a, const char* b) {
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        int ca = std::toupper((unsigned char)*a);
        int cb = std::toupper((unsigned char)*b);
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

int CompareNoCase(const char* a, const char* b) {
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        int ca = std::toupper((unsigned char)*a);
        int cb = std::toupper((unsigned char)*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

bool HasDataType(const VFCurveNode* node, const char* typeName) {
    const VDataType* type = node->GetDataType();
    return type && std::strcmp(type->GetName(), typeName) == 0;
}

double IdentityComponent(int layerType, int component) {
    if (layerType == eFCURVENODE_LAYER_MULTIPLICATIVE) return 1.0;
    if (layerType == eFCURVENODE_LAYER_QUATERNION && component == 3) return 1.0;
    return 0.0;
}

}  // namespace fcurve_node_detail

using namespace fcurve_node_detail;

// ---- Candidate snapshot records -------------------------------------------------------------

VFCurveNodeCandidateState::~VFCurveNodeCandidateState() {
    for (VFCurveNodeCandidateState*& sub : mSubStates) {
        delete sub;
        sub = nullptr;
    }
    // Layer records form a chain; free it iteratively so that long chains do not recurse.
    VFCurveNodeCandidateState* layer = mLayerState;
    mLayerState = nullptr;
    while (layer) {
        VFCurveNodeCandidateState* next = layer->mLayerState;
        layer->mLayerState = nullptr;
        delete layer;
        layer = next;
    }
}

// ---- Construction ---------------------------------------------------------------------------

void VFCurveNode::InitFields() {
    mObjectLayer = this;
}

VFCurveNode::VFCurveNode(const char* name, const char* userName, const VDataType* dataType, int layerType,
                         int layerID) {
    InitFields();
    mInfo = &mOwnInfo;
    mInfo->mName = name ? name : "";
    mInfo->mUserName = userName ? userName : "";
    mInfo->mDataType = dataType;
    mLayerID = layerID;
    SetLayerType(layerType, nullptr);
}

VFCurveNode::VFCurveNode(VFCurveNode* templateNode) {
    InitFields();
    if (templateNode) {
        mInfo = templateNode->ShareInfo();
        ++mInfo->mRefCount;
        mTemplate = templateNode;
        SetLayerType(templateNode->mLayerType, nullptr);
        mRotationOrder = templateNode->mRotationOrder;
        mQuaternionInterpolation = templateNode->mQuaternionInterpolation;
        mSpecificCandidateMethod = templateNode->mSpecificCandidateMethod;
        mTotalCandidateMethod = templateNode->mTotalCandidateMethod;
        for (int i = 0; i < 4; ++i)
            mCandidateTotalValue[i] = templateNode->mCandidateTotalValue[i];
        mCandidateTotalTime = templateNode->mCandidateTotalTime;
    } else {
        mInfo = &mOwnInfo;
    }
    mLayerID = 0;
}

VFCurveNode* VFCurveNode::Create(const char* name, const char* userName, const char* dataTypeName,
                                 int layerType, int layerID) {
    const VDataType* type = dataTypeName ? VDataType::Find(dataTypeName) : nullptr;
    return oxa_alloc::Counted(new (std::nothrow) VFCurveNode(name, userName, type, layerType, layerID));
}

VFCurveNode* VFCurveNode::CreateFromName(const char* name, const VDataType* dataType, int layerType,
                                         int layerID) {
    const char* userName = name;
    if (dataType && std::strcmp(dataType->GetName(), "TimeWarp") == 0) userName = "";
    return oxa_alloc::Counted(new (std::nothrow) VFCurveNode(name, userName, dataType, layerType, layerID));
}

VFCurveNode* VFCurveNode::CreateFromTemplate(VFCurveNode* templateNode) {
    return oxa_alloc::Counted(new (std::nothrow) VFCurveNode(templateNode));
}

VFCurveNode* VFCurveNode::CreateForDataType(const VDataType* dataType, const char* name) {
    int layerType = eFCURVENODE_LAYER_ADDITIVE;
    if (dataType) {
        const char* n = dataType->GetName();
        if (!std::strcmp(n, "Lcl Rotation") || !std::strcmp(n, "Matrix Rotation")) {
            layerType = eFCURVENODE_LAYER_EULER_ROTATION;
        } else if (!std::strcmp(n, "Scaling") || !std::strcmp(n, "Lcl Scaling") ||
                   !std::strcmp(n, "Matrix Scaling") || !std::strcmp(n, "Scaling UV")) {
            layerType = eFCURVENODE_LAYER_MULTIPLICATIVE;
        }
    }
    VFCurveNode* node = CreateFromName(name, dataType, layerType, 0);
    if (!node || !dataType) return node;
    int components = dataType->GetComponentCount();
    if (components >= 2) {
        static const char* const kNames[3] = {"X", "Y", "Z"};
        for (int i = 0; i < components; ++i) {
            VFCurveNode* child = CreateFromName(i < 3 ? kNames[i] : " ", nullptr, 0, 0);
            if (!child) {
                delete node;
                return nullptr;
            }
            node->Add(child);
        }
    }
    return node;
}

void VFCurveNode::ReleaseInfo() {
    if (mInfo != &mOwnInfo && mInfo && --mInfo->mRefCount <= 0) delete mInfo;
    mInfo = nullptr;
}

VFCurveNodeInfo* VFCurveNode::ShareInfo() {
    if (mInfo == &mOwnInfo) {
        VFCurveNodeInfo* shared = new VFCurveNodeInfo(mOwnInfo);
        shared->mRefCount = 1;
        mInfo = shared;
    }
    return mInfo;
}

VFCurveNode::~VFCurveNode() {
    if (mAliveWhileReplacing) *mAliveWhileReplacing = false;
    mAliveWhileReplacing = nullptr;
    CallbackCall(eFCURVENODE_EVENT_DESTROY);
    // A callback being called (the node is destroyed from inside a delivery) still uses the
    // record: that delivery frees it when it ends.
    if (mCallbacks && mCallbacks->mDelivering > 0)
        mCallbacks->mNodeGone = true;
    else
        delete mCallbacks;
    mCallbacks = nullptr;
    Clear();
    if (mParent) {
        int index = mParent->mNodes.Find(this);
        if (index >= 0) {
            mParent->mNodes.RemoveAt(index);
            mParent->mChildIndex.reset();
        }
        mParent = nullptr;
    }
    ReleaseInfo();
}

bool VFCurveNode::Release(VFCurveNode* node) {
    if (!node) return false;
    if (--node->mReferenceCount < 1) {
        delete node;
        return true;
    }
    return false;
}

// ---- Children -------------------------------------------------------------------------------

void VFCurveNode::Clear() {
    // What goes tells its callbacks, and one of them may destroy this node (or a node holding
    // it): the walk stops there and tells an outer walk of this node in turn.
    bool alive = true;
    bool* outer = mAliveWhileReplacing;
    mAliveWhileReplacing = &alive;
    auto gone = [&] {
        if (alive) return false;
        if (outer) *outer = false;
        return true;
    };
    for (int i = mNodes.GetCount() - 1; i >= 0; --i) {
        if (i >= mNodes.GetCount()) continue;
        if (GetReferenceMode()) {
            Remove(i);
        } else {
            Delete(i);
        }
        if (gone()) return;
    }
    mNodes.Clear();
    mChildIndex.reset();
    // The curve is let go before it is destroyed: its listeners, told of the destruction, must
    // not find it on the node.
    VFCurve* curve = mFCurve;
    mFCurve = nullptr;
    delete curve;
    if (gone()) return;
    VFCurveNode* next = mNextLayer;
    mNextLayer = nullptr;
    Release(next);
    if (gone()) return;
    mObjectLayer = this;
    VFCurveNode* warp = mTimeWarp;
    mTimeWarp = nullptr;
    Release(warp);
    if (gone()) return;
    mAliveWhileReplacing = outer;
}

int VFCurveNode::Add(VFCurveNode* node) {
    if (!node) return -1;
    int index = mNodes.Add(node);
    if (index >= 0 && !GetReferenceMode()) node->SetParent(this);
    if (index >= 0 && mChildIndex) {
        // Once listed the child is this node's: an index without room goes, and is made again
        // by the next lookup by name.
        try {
            mChildIndex->emplace(FoldName(node->GetName(), mChildKey), index);  // keeps a first holder
        } catch (const std::bad_alloc&) {
            mChildIndex.reset();
        }
    }
    return index;
}

int VFCurveNode::Remove(int index) {
    VFCurveNode* child = Get(index);
    if (!child) return mNodes.GetCount();
    if (!GetReferenceMode()) child->SetParent(nullptr);
    mChildIndex.reset();
    return mNodes.RemoveAt(index);
}

int VFCurveNode::Delete(int index) {
    VFCurveNode* child = Get(index);
    if (!child) return mNodes.GetCount();
    int count = Remove(index);
    delete child;
    return count;
}

bool VFCurveNode::IsChild(const VFCurveNode* node, bool recursive) const {
    if (!node) return false;
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        const VFCurveNode* child = mNodes[i];
        if (child == node) return true;
        if (recursive && child->IsChild(node, true)) return true;
    }
    return false;
}

VFCurveNode* VFCurveNode::Find(const VDataType* dataType) const {
    if (!dataType) return nullptr;
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        if (mNodes[i]->GetDataType() == dataType) return mNodes[i];
    }
    return nullptr;
}

int VFCurveNode::Find(const VFCurveNode* node) const {
    if (!node) return -1;
    return mNodes.Find(const_cast<VFCurveNode*>(node));
}

const std::string& VFCurveNode::FoldName(const char* name, std::string& key) {
    key.assign(name ? name : "");
    for (char& c : key)
        c = (char)std::toupper((unsigned char)c);
    return key;
}

int VFCurveNode::Find(const char* name) const {
    const int count = mNodes.GetCount();
    if (count < kChildIndexThreshold) {
        for (int i = 0; i < count; ++i) {
            if (NameEqualNoCase(mNodes[i]->GetName(), name)) return i;
        }
        return -1;
    }
    if (!mChildIndex) {
        mChildIndex.reset(new std::unordered_map<std::string, int>());
        mChildIndex->reserve((size_t)count);
        for (int i = 0; i < count; ++i)
            mChildIndex->emplace(FoldName(mNodes[i]->GetName(), mChildKey), i);
    }
    auto it = mChildIndex->find(FoldName(name, mChildKey));
    return it == mChildIndex->end() ? -1 : it->second;
}

void VFCurveNode::SetParent(VFCurveNode* parent) {
    mParent = parent;
}

VFCurveNode* VFCurveNode::GetParent() const {
    return mParent;
}

int VFCurveNode::AddSorted(VFCurveNode* node) {
    if (!node) return -1;
    const char* name = node->GetName();
    int index = mNodes.GetCount();
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        if (CompareNoCase(mNodes[i]->GetName(), name) >= 0) {
            index = i;
            break;
        }
    }
    index = mNodes.InsertAt(index, node);
    mChildIndex.reset();
    if (index >= 0 && !GetReferenceMode()) node->SetParent(this);
    return index;
}

void VFCurveNode::DeleteChild(VFCurveNode* node) {
    if (!node) return;
    if (!GetReferenceMode() && node->mParent == this) node->SetParent(nullptr);
    int index = mNodes.Find(node);
    if (index >= 0) {
        mNodes.RemoveAt(index);
        mChildIndex.reset();
    }
    delete node;
}

// One part of a lookup path against one child: its name, or the one-letter names of the local
// transform channels against their data types.
static bool PathPartMatches(const VFCurveNode* child, const char* part, int length) {
    const char* name = child->GetName();
    if ((int)std::strlen(name) == length) {
        bool equal = true;
        for (int i = 0; i < length && equal; ++i) {
            equal = std::toupper((unsigned char)name[i]) == std::toupper((unsigned char)part[i]);
        }
        if (equal) return true;
    }
    if (length == 1) {
        if (part[0] == 'T') return HasDataType(child, "Lcl Translation");
        if (part[0] == 'R') return HasDataType(child, "Lcl Rotation");
        if (part[0] == 'S') return HasDataType(child, "Lcl Scaling");
    }
    return false;
}

static VFCurveNode* FindPathPart(const VFCurveNode* node, const char* part, int length) {
    for (int i = 0; i < node->GetCount(); ++i) {
        VFCurveNode* child = node->Get(i);
        if (PathPartMatches(child, part, length)) return child;
        if (VFCurveNode* hit = FindPathPart(child, part, length)) return hit;
    }
    return nullptr;
}

VFCurveNode* VFCurveNode::FindChild(const char* path) const {
    if (!path) return nullptr;
    const VFCurveNode* node = this;
    const char* part = path;
    for (;;) {
        const char* slash = std::strchr(part, '/');
        int length = slash ? (int)(slash - part) : (int)std::strlen(part);
        VFCurveNode* hit = FindPathPart(node, part, length);
        if (!hit) return nullptr;
        if (!slash) return hit;
        node = hit;
        part = slash + 1;
    }
}

VFCurveNode* VFCurveNode::FindRecursive(const VDataType* dataType) const {
    if (!dataType) return nullptr;
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        VFCurveNode* child = mNodes[i];
        if (child->GetDataType() == dataType) return child;
        if (VFCurveNode* hit = child->FindRecursive(dataType)) return hit;
    }
    return nullptr;
}

bool VFCurveNode::GetTRSCurves(VFCurve* translation[3], VFCurve* rotation[3], VFCurve* scaling[3]) const {
    VFCurve** outs[3] = {translation, rotation, scaling};
    for (VFCurve** out : outs) {
        if (out) out[0] = out[1] = out[2] = nullptr;
    }
    static const char* const kShort[3] = {"T", "R", "S"};
    static const char* const kTypes[3] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling"};
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    for (int c = 0; c < 3; ++c) {
        VFCurveNode* channel = FindChild(kShort[c]);
        if (!channel) channel = FindRecursive(VDataType::Find(kTypes[c]));
        if (!channel) return false;
        for (int a = 0; a < 3; ++a) {
            VFCurveNode* axis = channel->Get(channel->Find(kAxes[a]));
            VFCurve* curve = axis ? axis->FCurveGet() : nullptr;
            if (!curve) return false;
            if (outs[c]) outs[c][a] = curve;
        }
    }
    return true;
}

VFCurveNode* VFCurveNode::FindOrCreate(const char* name, bool createFCurve) {
    VFCurveNode* node = Get(Find(name));
    if (!node) {
        node = oxa_alloc::Counted(new (std::nothrow) VFCurveNode(name, name, nullptr, 0, 0));
        if (!node) return nullptr;
        Add(node);
    }
    if (createFCurve && !node->mFCurve) node->FCurveSet(VFCurve::Create());
    return node;
}

void VFCurveNode::CreateFCurves() {
    if (mNodes.GetCount() == 0) {
        if (!mFCurve) FCurveSet(VFCurve::Create());
        return;
    }
    for (int i = 0; i < mNodes.GetCount(); ++i)
        mNodes[i]->CreateFCurves();
}

bool VFCurveNode::FCurveCreated() const {
    if (mNodes.GetCount() == 0) return mFCurve != nullptr;
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        if (!mNodes[i]->FCurveCreated()) return false;
    }
    return true;
}

bool VFCurveNode::IsAnimated(bool recursive) const {
    if (!recursive) return mFCurve && mFCurve->KeyGetCount() > 0;
    return KeyGetCount(true) > 0;
}

// ---- Curve ----------------------------------------------------------------------------------

VFCurve* VFCurveNode::FCurveSet(VFCurve* curve, bool destroyOld) {
    if (curve == mFCurve) return nullptr;
    VFCurve* previous = mFCurve;
    mFCurve = curve;
    if (destroyOld && previous) {
        bool alive = true;
        bool* outer = mAliveWhileReplacing;
        mAliveWhileReplacing = &alive;
        delete previous;
        if (!alive) {
            if (outer) *outer = false;
            return nullptr;
        }
        mAliveWhileReplacing = outer;
        previous = nullptr;
    }
    CallbackCall(eFCURVENODE_EVENT_FCURVE);
    return previous;
}

// ---- Name block -----------------------------------------------------------------------------

const char* VFCurveNode::GetName() const {
    if (mInfo->mProperty) return mInfo->mProperty->GetName();
    return mInfo->mName.Buffer();
}

const char* VFCurveNode::GetUserName() const {
    return mInfo->mUserName.Buffer();
}

void VFCurveNode::SetUserName(const char* text) {
    mInfo->mUserName = text ? text : "";
}

const VDataType* VFCurveNode::GetDataType() const {
    return mInfo->mDataType;
}

const char* VFCurveNode::GetDataTypeName() const {
    return mInfo->mDataType ? mInfo->mDataType->GetName() : "";
}

VProperty* VFCurveNode::GetProperty() const {
    return mInfo->mProperty;
}

void VFCurveNode::SetProperty(VProperty* property) {
    mInfo->mProperty = property;
}

// ---- Curve settings -------------------------------------------------------------------------

bool VFCurveNode::SetPreExtrapolation(int mode, bool respectLock) {
    if (!mFCurve || (respectLock && IsLocked())) return false;
    mFCurve->SetPreExtrapolation(mode);
    return true;
}

bool VFCurveNode::SetPreExtrapolationCount(int count, bool respectLock) {
    if (!mFCurve || (respectLock && IsLocked())) return false;
    mFCurve->SetPreExtrapolationCount(count);
    return true;
}

bool VFCurveNode::SetPostExtrapolation(int mode, bool respectLock) {
    if (!mFCurve || (respectLock && IsLocked())) return false;
    mFCurve->SetPostExtrapolation(mode);
    return true;
}

bool VFCurveNode::SetPostExtrapolationCount(int count, bool respectLock) {
    if (!mFCurve || (respectLock && IsLocked())) return false;
    mFCurve->SetPostExtrapolationCount(count);
    return true;
}

const float* VFCurveNode::GetColor() const {
    return mFCurve ? mFCurve->GetColor() : nullptr;
}

void VFCurveNode::SetColor(const float* color) {
    if (mFCurve && color) mFCurve->SetColor(color);
}

// ---- Key counts -----------------------------------------------------------------------------

int VFCurveNode::KeyGetCount(bool withLayers) const {
    int count = 0;
    for (const VFCurveNode* node = this; node; node = withLayers ? node->mNextLayer : nullptr) {
        if (node->mFCurve) count += node->mFCurve->KeyGetCount();
        for (int i = 0; i < node->mNodes.GetCount(); ++i)
            count += node->mNodes[i]->KeyGetCount(false);
    }
    return count;
}

int VFCurveNode::KeyGetCountOfChild(int index) const {
    int count = 0;
    for (const VFCurveNode* node = this; node; node = node->mNextLayer) {
        if (const VFCurveNode* child = node->Get(index)) count += child->KeyGetCount(false);
    }
    return count;
}

unsigned int VFCurveNode::GetUpdateIdSum() const {
    unsigned int sum = mFCurve ? mFCurve->GetModificationCount() : 0;
    for (int i = 0; i < mNodes.GetCount(); ++i)
        sum += mNodes[i]->GetUpdateIdSum();
    return sum;
}

unsigned int VFCurveNode::GetUpdateIdSumAll() const {
    unsigned int sum = 0;
    for (const VFCurveNode* node = this; node; node = node->mNextLayer) {
        if (node->mFCurve) sum += node->mFCurve->GetModificationCount() & 0xFFFF;
        for (int i = 0; i < node->mNodes.GetCount(); ++i)
            sum += node->mNodes[i]->GetUpdateIdSumAll();
    }
    return sum;
}

// ---- Copies, templates, references ----------------------------------------------------------

static VFCurve* CopyCurve(const VFCurve* source) {
    std::unique_ptr<VFCurve> curve(VFCurve::Create());
    if (curve) curve->CopyFrom(source, true);
    return curve.release();
}

VFCurveNode* VFCurveNode::CopyNode(bool fromTemplate, bool withCurves, bool withEmptyCurves,
                                   int layerID) const {
    VFCurveNode* self = const_cast<VFCurveNode*>(this);
    VFCurveNode* node;
    if (fromTemplate) {
        node = oxa_alloc::Counted(new (std::nothrow) VFCurveNode(self));
        if (!node) return nullptr;
    } else {
        int id = layerID == -1 ? mLayerID : layerID;
        node = oxa_alloc::Counted(new (std::nothrow)
                                      VFCurveNode(GetName(), GetUserName(), GetDataType(), 0, id));
        if (!node) return nullptr;
        node->mLayerType = mLayerType;  // the children are copied below, not made by the type
        node->mAccessLock = mAccessLock;
        node->mQuaternionInterpolation = mQuaternionInterpolation;
        node->mRotationOrder = mRotationOrder;
        node->SetFlag(eFLAG_SELECTED, GetSelected());
        if (id != 0) node->mObjectLayer = mObjectLayer;
    }
    // Held until whole: a curve or a child that runs out of memory takes the copy made so far.
    std::unique_ptr<VFCurveNode> held(node);
    if (mFCurve) {
        if (withCurves) {
            node->mFCurve = CopyCurve(mFCurve);
        } else if (withEmptyCurves) {
            node->mFCurve = VFCurve::Create();
        }
    }
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        std::unique_ptr<VFCurveNode> child(
            mNodes[i]->CopyNode(fromTemplate, withCurves, withEmptyCurves, layerID));
        if (!child || held->Add(child.get()) < 0) return nullptr;
        child.release();
    }
    return held.release();
}

VFCurveNode* VFCurveNode::Copy(bool fromTemplate, bool withCurves, bool withEmptyCurves, int layerID) const {
    return CopyNode(fromTemplate, withCurves, withEmptyCurves, layerID);
}

// Points the object layers of a copied layer (and of its children, index by index) at the
// matching nodes of the copied base.
static void RebaseObjectLayers(VFCurveNode* layer, VFCurveNode* base) {
    layer->SetObjectLayer(base);
    for (int i = 0; i < layer->GetCount(); ++i) {
        VFCurveNode* child = layer->Get(i);
        VFCurveNode* baseChild = base->Get(i);
        if (baseChild) {
            RebaseObjectLayers(child, baseChild);
        } else {
            child->SetObjectLayer(child);
        }
    }
}

void VFCurveNode::CopyLayerChainTo(VFCurveNode* target, bool withCurves) const {
    VFCurveNode* last = target;
    for (const VFCurveNode* layer = mNextLayer; layer; layer = layer->mNextLayer) {
        VFCurveNode* copy = layer->CopyNode(false, withCurves, !withCurves, -1);
        if (!copy) return;
        copy->mFlags = layer->mFlags;
        RebaseObjectLayers(copy, target);
        last->mNextLayer = copy;
        last = copy;
    }
}

VFCurveNode* VFCurveNode::Clone(bool fromTemplate) const {
    VFCurveNode* copy = Copy(fromTemplate, true, false, -1);
    // The layer chain is part of the channel's animation: a clone that dropped it would lose keys.
    if (copy) CopyLayerChainTo(copy, true);
    return copy;
}

void VFCurveNode::SetTemplate(VFCurveNode* templateNode, bool recursive) {
    if (!templateNode || templateNode == this) return;
    if (templateNode != mTemplate) {
        if (templateNode->mInfo != mInfo) {
            VFCurveNodeInfo* shared = templateNode->ShareInfo();
            ++shared->mRefCount;
            ReleaseInfo();
            mInfo = shared;
        }
        mTemplate = templateNode;
    }
    if (!recursive) return;
    int count = mNodes.GetCount() < templateNode->GetCount() ? mNodes.GetCount() : templateNode->GetCount();
    for (int i = 0; i < count; ++i)
        mNodes[i]->SetTemplate(templateNode->Get(i), true);
}

void VFCurveNode::SetReference(VFCurveNode* node, bool recursive) {
    mReference = node == this ? nullptr : node;
    if (!recursive || !node) return;
    int count = mNodes.GetCount() < node->GetCount() ? mNodes.GetCount() : node->GetCount();
    for (int i = 0; i < count; ++i)
        mNodes[i]->SetReference(node->Get(i), true);
}

VFCurveNode* VFCurveNode::GetReferenceRoot() const {
    // Links may form a loop; a second pointer moving at half speed detects it.
    const VFCurveNode* node = this;
    const VFCurveNode* slow = this;
    bool advance = false;
    while (node->mReference) {
        node = node->mReference;
        if (advance) slow = slow->mReference;
        advance = !advance;
        if (node == slow) break;
    }
    return const_cast<VFCurveNode*>(node);
}

// ---- Rotation settings ----------------------------------------------------------------------

void VFCurveNode::SetQuaternionInterpolation(bool flag) {
    for (VFCurveNode* node = this; node; node = node->mNextLayer)
        node->mQuaternionInterpolation = flag;
    mObjectLayer->CandidateClear(mObjectLayer->mLayerID, true);
    mObjectLayer->CallbackCall(eFCURVENODE_EVENT_LAYERS);
}

void VFCurveNode::SetRotationOrder(int order) {
    for (VFCurveNode* node = this; node; node = node->mNextLayer)
        node->mRotationOrder = order;
}

// ---- Time warp ------------------------------------------------------------------------------

// True when evaluating `from` can reach `target`: through children, next layers and time warps.
static bool EvaluationReaches(const VFCurveNode* from, const VFCurveNode* target) {
    std::unordered_set<const VFCurveNode*> seen;
    std::vector<const VFCurveNode*> stack{from};
    while (!stack.empty()) {
        const VFCurveNode* node = stack.back();
        stack.pop_back();
        if (!node || !seen.insert(node).second) continue;
        if (node == target) return true;
        stack.push_back(node->GetNextLayer());
        stack.push_back(node->GetTimeWarp());
        for (int i = 0; i < node->GetCount(); ++i)
            stack.push_back(node->Get(i));
    }
    return false;
}

bool VFCurveNode::SetTimeWarp(VFCurveNode* node) {
    if (node == mTimeWarp) return true;
    if (node && EvaluationReaches(node, this)) return false;
    VFCurveNode* old = mTimeWarp;
    mTimeWarp = node;
    if (node) node->IncReferenceCount();
    Release(old);
    CallbackCall(eFCURVENODE_EVENT_TIME_WARP);
    return true;
}

// ---- Layers ---------------------------------------------------------------------------------

void VFCurveNode::SetLayerType(int type, VFCurveNode* objectLayer) {
    if (type == mLayerType) return;
    int count = mNodes.GetCount();
    int expected = type == eFCURVENODE_LAYER_EULER_ROTATION ? 3
                   : type == eFCURVENODE_LAYER_QUATERNION   ? 4
                                                            : count;
    if (expected != count) {
        if (count == 3 && type == eFCURVENODE_LAYER_QUATERNION) {
            VFCurveNode* w = oxa_alloc::Counted(
                new (std::nothrow) VFCurveNode("W", "W", VDataType::Find("Number"), 0, mLayerID));
            if (w) {
                w->FCurveSet(VFCurve::Create());
                if (objectLayer) w->mObjectLayer = objectLayer;
                Add(w);
            }
        } else if (count == 4 && type == eFCURVENODE_LAYER_EULER_ROTATION &&
                   mLayerType == eFCURVENODE_LAYER_QUATERNION) {
            Delete(3);
        }
    }
    mLayerType = type;
}

void VFCurveNode::SetNextLayer(VFCurveNode* node, bool destroyOld) {
    if (node == mNextLayer) return;
    // A link back into this node's own chain would make the chain endless.
    for (const VFCurveNode* n = node; n; n = n->mNextLayer) {
        if (n == this) return;
    }
    VFCurveNode* old = mNextLayer;
    mNextLayer = node;
    if (destroyOld) delete old;
    mObjectLayer->CallbackCall(eFCURVENODE_EVENT_LAYERS);
}

VFCurveNode* VFCurveNode::GetLayer(int id) const {
    const VFCurveNode* node = this;
    while (node && node->mLayerID < id)
        node = node->mNextLayer;
    return node && node->mLayerID == id ? const_cast<VFCurveNode*>(node) : nullptr;
}

VFCurveNode* VFCurveNode::GetLayerFiltered(int id) const {
    return GetLayer(GetLayered() ? id : 0);
}

VFCurveNode* VFCurveNode::FindLayerBefore(int id) const {
    const VFCurveNode* before = nullptr;
    for (const VFCurveNode* node = this; node && node->mLayerID < id; node = node->mNextLayer)
        before = node;
    return const_cast<VFCurveNode*>(before);
}

void VFCurveNode::CreateLayerAt(int id) {
    if (!GetLayered() || id == mLayerID) return;
    VFCurveNode* before = FindLayerBefore(id);
    if (!before) return;
    if (before->mNextLayer && before->mNextLayer->mLayerID == id) return;
    if (before->CreateLayer(id, false)) mObjectLayer->CallbackCall(eFCURVENODE_EVENT_LAYERS);
}

// Gives each curve of a new layer the identity of the layer type and the colour of the curve it
// was copied from.
static void InitLayerCurves(VFCurveNode* layer, const VFCurveNode* source, int layerType, int component) {
    if (VFCurve* curve = layer->FCurveGet()) {
        curve->SetDefaultValue((float)IdentityComponent(layerType, component));
        if (source->FCurveGet()) curve->SetColor(source->FCurveGet()->GetColor());
    }
    for (int i = 0; i < layer->GetCount() && i < source->GetCount(); ++i) {
        InitLayerCurves(layer->Get(i), source->Get(i), layerType, i);
    }
}

VFCurveNode* VFCurveNode::CreateLayer(int id, bool atEnd) {
    if (!GetLayered()) return nullptr;
    VFCurveNode* layer = Copy(false, false, true, id);
    if (!layer) return nullptr;
    InitLayerCurves(layer, this, mLayerType, 0);
    VFCurveNode* after = this;
    if (atEnd) {
        while (after->mNextLayer)
            after = after->mNextLayer;
    }
    layer->mNextLayer = after->mNextLayer;
    after->mNextLayer = layer;
    return layer;
}

static void ResetObjectLayers(VFCurveNode* node) {
    node->SetObjectLayer(node);
    for (int i = 0; i < node->GetCount(); ++i)
        ResetObjectLayers(node->Get(i));
}

VFCurveNode* VFCurveNode::RemoveLayer(int id, bool destroy) {
    VFCurveNode* before = nullptr;
    VFCurveNode* layer = this;
    while (layer && layer->mLayerID < id) {
        before = layer;
        layer = layer->mNextLayer;
    }
    if (!layer || layer->mLayerID != id || !before) return nullptr;
    before->mNextLayer = layer->mNextLayer;
    layer->mNextLayer = nullptr;
    ResetObjectLayers(layer);
    if (destroy) {
        delete layer;
        return nullptr;
    }
    return layer;
}

VFCurveNode* VFCurveNode::GetLayerOrCreate(int id, bool create) {
    int filtered = GetLayered() ? id : 0;
    VFCurveNode* layer = GetLayer(filtered);
    if (!layer && create) {
        CreateLayerAt(filtered);
        layer = GetLayer(filtered);
    }
    return layer;
}

bool VFCurveNode::SetLayerValue(int id, VTime time, const double* values) {
    VFCurveNode* layer = GetLayerOrCreate(id, true);
    return layer && values && layer->KeyAddSet(time, values);
}

// ---- Flags and selection --------------------------------------------------------------------

void VFCurveNode::SetFlag(unsigned int bit, bool on) {
    if (on) {
        mFlags |= bit;
    } else {
        mFlags &= ~bit;
    }
}

void VFCurveNode::SetLayered(bool on) {
    SetFlag(eFLAG_LAYERED, on);
    for (int i = 0; i < mNodes.GetCount(); ++i)
        mNodes[i]->SetLayered(on);
}

static void SetSelectedFlags(VFCurveNode* node, bool selected, bool recursive) {
    node->SetFlag(VFCurveNode::eFLAG_SELECTED, selected);
    if (!recursive) return;
    for (int i = 0; i < node->GetCount(); ++i)
        SetSelectedFlags(node->Get(i), selected, true);
}

void VFCurveNode::SetSelected(bool selected, bool recursive, bool withLayers, int childIndex) {
    if (withLayers && mNextLayer) mNextLayer->SetSelected(selected, recursive, true, childIndex);
    if (childIndex == -1) {
        SetSelectedFlags(this, selected, recursive);
        CallbackCall(eFCURVENODE_EVENT_SELECTION);
    } else if (VFCurveNode* child = Get(childIndex)) {
        child->SetSelected(selected, recursive, false, -1);
    }
}
