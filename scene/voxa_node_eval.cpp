// Node transform evaluation: the local and global matrices of a node for the default values, for
// the current take at a time and for a stamp-driven pass over a hierarchy, and the per-pivot-set
// global matrices at the default values.
//
// Every walk over ancestors or descendants here is iterative, so a chain of any depth evaluates
// without deep recursion; each node of a walk is computed once per time, stamp or refresh.

#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_eval_internal.h"
#include "scene/voxa_node_links_internal.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_take_node.h"

namespace {

// The long way of evaluation (VOxaNode::SetReferenceEvaluation).
std::atomic<bool> sReferenceEvaluation{false};

}  // namespace

namespace voxa_node_eval {

bool Shortcuts() {
    return !sReferenceEvaluation.load(std::memory_order_relaxed);
}

namespace {

// Half a degree in radians: the spheric rotation is built from half angles.
const double kHalfRadiansPerDegree = 0.008726646259971648;

// Axis triples (i, j, k) of the order codes, indexed by code >> 1.
const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

// The flags of a limit's enabled minimum and maximum components.
const int kLimitEnabled = 0x7E;

// Clamps x, y, z to the enabled minimum first and then to the enabled maximum, so that a minimum
// above the maximum yields the maximum. NaN values pass unchanged.
void ApplyLimit(double* v, const VOxaEvaluationLimit& limit) {
    const int flags = limit.mFlags;
    if ((flags & kLimitEnabled) == 0) return;
    for (int i = 0; i < 3; ++i) {
        if ((flags & (0x2 << i)) && limit.mMin[i] > v[i]) v[i] = limit.mMin[i];
        if ((flags & (0x10 << i)) && limit.mMax[i] < v[i]) v[i] = limit.mMax[i];
    }
}

}  // namespace

void ApplyLimits(const VOxaTransformSettings& settings, double* t, double* r, double* s) {
    ApplyLimit(t, settings.mTranslationLimit);
    ApplyLimit(r, settings.mRotationLimit);
    ApplyLimit(s, settings.mScalingLimit);
}

bool HasLimits(const VOxaTransformSettings& settings) {
    return ((settings.mTranslationLimit.mFlags | settings.mRotationLimit.mFlags |
             settings.mScalingLimit.mFlags) &
            kLimitEnabled) != 0;
}

namespace {

// The XYZ rotation matrix of the angles r (degrees) into the 3x3 part of `out`: copied from
// `xyz` when the caller has it already (built from the same angles), else computed.
void XYZRotation(double out[4][4], const double* r, const double (*xyz)[4]) {
    if (xyz)
        VgeRMatrixCopy(out, xyz);
    else
        VgeEulerVectorToMatrix(out, r);
}

}  // namespace

// The XYZ rotation matrix of the angles r that a cache holds already, or null: a valid local
// matrix is that rotation when it was built from exactly these angles (bit for bit) and a
// scaling of exactly 1, by which the rows are multiplied without change.
const double (*CachedXYZ(const VOxaTransformCache& cache, const double* r))[4] {
    if (!cache.mLocalValid || !Shortcuts()) return nullptr;
    const double* s = cache.mLocalScaling;
    if (!(s[0] == 1.0 && s[1] == 1.0 && s[2] == 1.0)) return nullptr;
    if (std::memcmp(cache.mLocalRotation, r, 3 * sizeof(double)) != 0) return nullptr;
    return cache.mLocalMatrix.mData;
}

namespace {

// The rotation evaluator's order codes that EffectiveRotation builds itself (the spheric code 12
// and the Euler codes 1..10); any other code takes the XYZ rotation of the angles.
bool EvaluatorBuildsRotation(int code) {
    return code == 12 || (code > 0 && code <= 10);
}

// The rotation of the angles r (degrees) as the node applies it: through the rotation evaluator
// (order, pre- and post-rotation) when rotation is active and its space is not kept for the
// limits only, else the XYZ rotation of the angles. `xyz` (may be null) is the XYZ matrix of r.
void EffectiveRotation(double out[4][4], const double* r, const VOxaTransformSettings& settings,
                       bool rotationActive, const double (*xyz)[4]) {
    const bool useEvaluator = rotationActive && !settings.mRotationSpaceForLimitOnly;
    if (!useEvaluator) {
        XYZRotation(out, r, xyz);
        return;
    }
    const VOxaRotationEvaluator& evaluator = settings.mRotation;
    const int code = evaluator.mOrderCode;
    if (code == 12) {
        double cx = std::cos(r[0] * kHalfRadiansPerDegree), sx = std::sin(r[0] * kHalfRadiansPerDegree);
        double cy = std::cos(r[1] * kHalfRadiansPerDegree), sy = std::sin(r[1] * kHalfRadiansPerDegree);
        double cz = std::cos(r[2] * kHalfRadiansPerDegree), sz = std::sin(r[2] * kHalfRadiansPerDegree);
        const double q[4] = {sx * cy * cz, cx * sy + sx * sz, cx * sz - sx * sy, cx * cy * cz};
        VgeQuaternionToMatrix(out, q);
    } else if (EvaluatorBuildsRotation(code)) {
        const int* axes = kAxes[code >> 1];
        VgeEulerToMatrix(out, r[axes[0]], r[axes[1]], r[axes[2]], code);
    } else {
        XYZRotation(out, r, xyz);
    }
    if (evaluator.mFlags & 1) VgeMatrixMultRotation(out, evaluator.mPreRotation.mData, out);
    if (evaluator.mFlags & 2) {
        double post[4][4];
        VgeMatrixTranspose3(post, evaluator.mPostRotation.mData);
        VgeMatrixMultRotation(out, out, post);
    }
}

// The translation that the offsets and pivots add to T, for the effective rotation reff and the
// local scaling s.
void PivotTranslation(double* p, const VOxaTransformSettings& settings, const double reff[4][4],
                      const double* s) {
    p[0] = p[1] = p[2] = 0.0;
    const int flags = settings.mPivotFlags;
    if (flags == 0) return;
    if (flags & 8) {
        for (int i = 0; i < 3; ++i)
            p[i] = (1.0 - s[i]) * settings.mScalingPivot[i];
    }
    if (flags & 4) VgeVector3Add(p, p, settings.mScalingOffset);
    if (flags & 2) {
        VgeVector3Subtract(p, p, settings.mRotationPivot);
        VgeMatrixMultVector3(p, reff, p);
        VgeVector3Add(p, p, settings.mRotationPivot);
    } else if (flags & (4 | 8)) {
        VgeMatrixMultVector3(p, reff, p);
    }
    if (flags & 1) VgeVector3Add(p, p, settings.mRotationOffset);
}

void ClearRotationPart(double m[4][4]) {
    for (int r = 0; r < 3; ++r)
        m[r][0] = m[r][1] = m[r][2] = 0.0;
}

}  // namespace

bool ComposeReadsXYZ(const VOxaTransformSettings& settings, bool rotationActive) {
    const bool useEvaluator = rotationActive && !settings.mRotationSpaceForLimitOnly;
    return !useEvaluator || !EvaluatorBuildsRotation(settings.mRotation.mOrderCode);
}

void ComposeGlobal(const VOxaTransformSettings& settings, bool rotationActive, const double* t,
                   const double* r, const double* s, const double (*xyz)[4], const ParentParts* parent,
                   double* tg, double rg[4][4], double sg[4][4], double m[4][4]) {
    double reff[4][4];
    EffectiveRotation(reff, r, settings, rotationActive, xyz);
    double p[3];
    PivotTranslation(p, settings, reff, s);
    VgeVector3Add(p, p, t);

    const int inherit = settings.mInheritType;
    const bool knownInherit = inherit >= 0 && inherit <= 2;
    if (!parent) {
        VgeRMatrixCopy(rg, reff);
        if (knownInherit) {
            ClearRotationPart(sg);
            VgeMatrixSetDiagonal(sg, s);
        }
        VgeVector3Copy(tg, p);
    } else {
        VgeMatrixMultRotation(rg, parent->mRotation, reff);
        if (inherit == 0) {
            const double d[3] = {parent->mScaling[0][0] * s[0], parent->mScaling[1][1] * s[1],
                                 parent->mScaling[2][2] * s[2]};
            ClearRotationPart(sg);
            VgeMatrixSetDiagonal(sg, d);
        } else if (knownInherit) {
            // diag(S), then Reff, then the parent's scaling, then Reff undone.
            double inherited[4][4];
            VgeRMatrixCopy(inherited, parent->mScaling);
            if (inherit == 2) {
                // The parent's own local scaling is taken out again: a zero scale gives
                // infinite factors, which stay doubles.
                const double inverse[3] = {1.0 / parent->mLocalScaling[0], 1.0 / parent->mLocalScaling[1],
                                           1.0 / parent->mLocalScaling[2]};
                VgeMatrixScaleRows(inherited, inherited, inverse);
            }
            double a[4][4];
            VgeMatrixScaleRows(a, reff, s);
            VgeMatrixMultRotation(a, inherited, a);
            VgeRMatrixMultTransposed(sg, reff, a);
        }
        VgeMatrixMultPoint(tg, parent->mMatrix, p);
    }

    if (inherit == 0) {
        const double d[3] = {sg[0][0], sg[1][1], sg[2][2]};
        VgeMatrixScaleRows(m, rg, d);
    } else if (knownInherit) {
        VgeMatrixMultRotation(m, rg, sg);
    } else {
        return;
    }
    VgeMatrixSetTranslation(m, tg[0], tg[1], tg[2]);
}

void ComposeGlobalTranslation(const VOxaTransformSettings& settings, const double* t,
                              const ParentParts* parent, double* tg, double m[4][4]) {
    // The same operations as ComposeGlobal's, in the same order, so that the values agree to the
    // bit: the pivot translation of a node without pivots is zero, to which T is added.
    double p[3] = {0.0, 0.0, 0.0};
    VgeVector3Add(p, p, t);
    if (parent)
        VgeMatrixMultPoint(tg, parent->mMatrix, p);
    else
        VgeVector3Copy(tg, p);
    const int inherit = settings.mInheritType;
    if (inherit >= 0 && inherit <= 2) VgeMatrixSetTranslation(m, tg[0], tg[1], tg[2]);
}

}  // namespace voxa_node_eval

using namespace voxa_node_eval;

namespace {

// A child of `node` by name (case ignored), else the first match of the general path lookup,
// which also knows the transform channels by their data types. The direct scan comes first
// because it is what a take built by the node holds, and the path lookup searches subtrees.
VFCurveNode* ChildNamed(VFCurveNode* node, const char* name) {
    if (!node) return nullptr;
    if (VFCurveNode* child = node->Get(node->Find(name))) return child;
    return node->FindChild(name);
}

// The "Transform" curve node of a take and its "T", "R" and "S" channels (null when missing).
VFCurveNode* FindChannels(VOxaTakeNode* take, VFCurveNode* channels[3]) {
    VFCurveNode* transform = ChildNamed(take ? take->GetVFCurveNode() : nullptr, "Transform");
    static const char* const kNames[3] = {"T", "R", "S"};
    for (int i = 0; i < 3; ++i)
        channels[i] = transform ? ChildNamed(transform, kNames[i]) : nullptr;
    return transform;
}

// Reads up to three values of one channel of a take, either evaluated at `time` or its curves'
// default values. A missing channel leaves `out` as it is; a channel with fewer than three values
// replaces only those it has.
void ReadChannel(VFCurveNode* channel, bool defaults, VTime time, double* out) {
    if (!channel) return;
    if (!defaults && Shortcuts()) {
        // The common shape first: three plain curves, evaluated without sizing a buffer.
        double three[3];
        if (channel->EvaluatePlainLeaves(three, time, nullptr)) {
            out[0] = three[0];
            out[1] = three[1];
            out[2] = three[2];
            return;
        }
    }
    int count = defaults ? channel->GetCurveCount() : channel->GetValueCount();
    if (count <= 0) return;
    double local[16];
    std::vector<double> heap;
    double* values = local;
    if (count > 16) {
        heap.resize((size_t)count);
        values = heap.data();
    }
    // No shared search hint: the X, Y and Z curves of a channel have their own key counts (after
    // key reduction), so one position handed from curve to curve would miss at every step and
    // turn each lookup into a search. Each curve then starts from its own last position.
    double* end = defaults ? channel->GetDefaultValues(values) : channel->Evaluate(values, time, nullptr);
    int written = (int)(end - values);
    for (int i = 0; i < 3 && i < written; ++i)
        out[i] = values[i];
}

void ReadTRS(VFCurveNode* const channels[3], bool defaults, VTime time, VOxaTransformCache& cache) {
    ReadChannel(channels[0], defaults, time, cache.mLocalTranslation);
    ReadChannel(channels[1], defaults, time, cache.mLocalRotation);
    ReadChannel(channels[2], defaults, time, cache.mLocalScaling);
}

// The held channels at `time`: a direct channel from its curves and constants, any other
// channel evaluated.
void ReadHeldTRS(const VOxaHeldChannels& held, VTime time, VOxaTransformCache& cache) {
    double* const out[3] = {cache.mLocalTranslation, cache.mLocalRotation, cache.mLocalScaling};
    for (int c = 0; c < 3; ++c) {
        if (held.mDirect[c])
            std::memcpy(out[c], held.mConstants + 3 * c, 3 * sizeof(double));
        else
            ReadChannel(held.mChannels[c], false, time, out[c]);
    }
    const int64_t t = time.Get();
    for (int i = 0; i < held.mCurveSlotCount; ++i) {
        const int k = held.mCurveSlots[i];
        const VFCurve* curve = held.mCurves[k];
        const bool inside = t >= held.mFirstTimes[k] && t <= held.mLastTimes[k];
        out[k / 3][k % 3] = inside ? curve->EvaluateInside(time) : curve->Evaluate(time);
    }
}

// Fills the direct reading of the held channels (see VOxaHeldChannels).
void HoldDirect(VOxaHeldChannels& held) {
    for (int c = 0; c < 3; ++c) {
        VFCurveNode* channel = held.mChannels[c];
        VFCurve* curves[3];
        if (!channel || !channel->GetPlainCurves(curves)) continue;
        held.mDirect[c] = true;
        for (int k = 0; k < 3; ++k) {
            VFCurve* curve = curves[k];
            const int keys = curve->KeyGetCount();
            const int at = 3 * c + k;
            held.mCurves[at] = keys > 1 ? curve : nullptr;
            held.mConstants[at] = keys > 1 ? 0.0 : (double)curve->Evaluate(VTime(0));
            if (keys > 1) {
                held.mFirstTimes[at] = curve->KeyGetTime(0).Get();
                held.mLastTimes[at] = curve->KeyGetTime(keys - 1).Get();
                held.mCurveSlots[held.mCurveSlotCount++] = (uint8_t)at;
            }
        }
    }
}

void ReadTRS(VOxaTakeNode* take, bool defaults, VTime time, VOxaTransformCache& cache) {
    VFCurveNode* channels[3];
    if (FindChannels(take, channels)) ReadTRS(channels, defaults, time, cache);
}

// The chain of `node` and its ancestors up to (not including) the first one for which `done`
// holds, topmost first. The parent of entry i is entry i - 1, and the parent of the topmost
// entry is GetTop()'s answer (null at the root). A short chain stays on the stack.
class NodeChain {
public:
    template <typename Done>
    NodeChain(VOxaNode* node, Done done) {
        Push(node);
        for (VOxaNode* n = node->GetParent(); n; n = n->GetParent()) {
            if (done(n)) {
                mStop = n;
                break;
            }
            Push(n);
        }
    }
    int GetCount() const { return mCount; }
    // Topmost first.
    VOxaNode* Get(int index) const {
        int at = mCount - 1 - index;
        return at < kLocal ? mLocal[at] : mMore[(size_t)(at - kLocal)];
    }
    VOxaNode* GetParentOf(int index) const { return index == 0 ? mStop : Get(index - 1); }

private:
    static const int kLocal = 32;
    void Push(VOxaNode* n) {
        if (mCount < kLocal)
            mLocal[mCount] = n;
        else
            mMore.push_back(n);
        ++mCount;
    }
    VOxaNode* mLocal[kLocal];
    std::vector<VOxaNode*> mMore;
    VOxaNode* mStop = nullptr;
    int mCount = 0;
};

// Calls f(node, parent) for `root` (parent null) and every descendant, parents before children,
// children in index order.
template <typename F>
void ForSubtree(VOxaNode* root, F f) {
    f(root, nullptr);
    std::vector<std::pair<VOxaNode*, int>> stack;
    if (root->GetChildCount() > 0) stack.emplace_back(root, 0);
    while (!stack.empty()) {
        auto& top = stack.back();
        VOxaNode* parent = top.first;
        VOxaNode* child = parent->GetChild(top.second++);
        if (!child) {
            stack.pop_back();
            continue;
        }
        f(child, parent);
        if (child->GetChildCount() > 0) stack.emplace_back(child, 0);
    }
}

ParentParts PartsOf(const VOxaTransformCache& cache) {
    return ParentParts{cache.mGlobalMatrix.mData, cache.mGlobalRotation.mData, cache.mGlobalScaling.mData,
                       cache.mLocalScaling};
}

// Builds the stamped local parts from the local values of a cache (degrees for the rotation).
void StoreStampedLocal(VOxaStampedTransform& stamped, const VOxaTransformCache& cache) {
    const double* t = cache.mLocalTranslation;
    const double* r = cache.mLocalRotation;
    const double* s = cache.mLocalScaling;
    VgeVector3Copy(stamped.mLocalTranslation, t);
    VgeVector3Copy(stamped.mLocalRotationAngles, r);
    XYZRotation(stamped.mLocalRotation.mData, r, CachedXYZ(cache, r));
    ClearRotationPart(stamped.mLocalScaling.mData);
    VgeMatrixSetDiagonal(stamped.mLocalScaling.mData, s);
}

bool IsSetActive(VOxaNode* node, int set) {
    int state = 1;
    node->GetPivotState(set, state);
    return state == 0;
}

}  // namespace

// ---- Default and per-time evaluation ------------------------------------------------------------

// Drops the default global parts and pivot-set matrices of a node; true when it held any.
static bool DropDefaultGlobals(VOxaNode* node) {
    bool held = false;
    // A node never evaluated holds no global parts in its caches.
    if (node->HasTransformCaches()) {
        VOxaTransformCache& cache = const_cast<VOxaTransformCache&>(node->GetDefaultTransformCache());
        held = cache.mGlobalValid;
        cache.mGlobalValid = false;
    }
    if (VOxaNodeProperties* properties = node->GetNodeProperties()) {
        // Set 1 not made yet holds no pivot matrix either.
        for (int set = 0; set < 2; ++set) {
            if (VOxaPivotSet* pivots = properties->FindPivotSet(set)) {
                held = held || pivots->mPivotMatrixValid;
                pivots->mPivotMatrixValid = false;
            }
        }
    }
    return held;
}

// Drops the global parts held below `top` (whose own are dropped), down only through the nodes
// that held some, without memory.
static void DropGlobalsBelow(VOxaNode* top) {
    VOxaNode* node = top;
    const VOxaNode* after = nullptr;  // the child of `node` whose subtree is done
    while (node) {
        if (VOxaNode* child = VOxaNextChildOf(node, after)) {
            if (DropDefaultGlobals(child)) {
                node = child;
                after = nullptr;
            } else {
                after = child;
            }
            continue;
        }
        after = node;
        node = node == top ? nullptr : VOxaParentOf(node);
    }
}

void VOxaNode::DefaultTransformsChanged() {
    // A node never evaluated has nothing to forget.
    if (mEval) mEval->mDefaultCache.Reset();
    // A node whose property block is still being made has no children and nothing computed.
    if (!mProperties) return;
    DropDefaultGlobals(this);
    // A node's global parts are computed after its parent's, so a descendant holds them only
    // below nodes that hold them: the walk stops at the first node without any, and each node
    // is visited at most once per computation of its parts. Only the children that held some
    // wait for their own children to be visited, so a change with nothing computed below (a
    // node being read or built) allocates nothing.
    // The children are read off the connections, and without room to note one the subtree
    // below it is walked there through the parent links: a node being destroyed (a child let
    // go of) needs no memory.
    std::vector<VOxaNode*> pending;
    auto dropChildren = [&pending](VOxaNode* node) {
        const VOxaNodeProperties* block = node->GetNodeProperties();
        for (int i = block ? block->GetSrcCount() : 0; i-- > 0;) {
            VPlug* src = block->GetSrc(i);
            VOxaNode* child = src && src->IsA(VOxaNodeProperties::ClassId)
                                  ? static_cast<VOxaNodeProperties*>(src)->GetOwnerNode()
                                  : nullptr;
            if (!child || !DropDefaultGlobals(child)) continue;
            try {
                pending.push_back(child);
            } catch (const std::bad_alloc&) {
                DropGlobalsBelow(child);
            }
        }
    };
    dropChildren(this);
    while (!pending.empty()) {
        VOxaNode* node = pending.back();
        pending.pop_back();
        dropChildren(node);
    }
}

const VgeAMatrix& VOxaNode::GetDefaultLocalTransform() {
    VOxaTransformCache& cache = Eval().mDefaultCache;
    if (!cache.mLocalValid) {
        if (mDeferredDefaultsLive) {
            // The defaults the default take's curves will hold, without making them.
            double* const out[3] = {cache.mLocalTranslation, cache.mLocalRotation, cache.mLocalScaling};
            for (int k = 0; k < 9; ++k)
                out[k / 3][k % 3] = mDeferredDefaults[k];
        } else {
            ReadTRS(GetDefaultTakeNode(), true, VTime(), cache);
        }
        ApplyLimits(mProperties->GetTransformSettings(), cache.mLocalTranslation, cache.mLocalRotation,
                    cache.mLocalScaling);
        VgeMatrixFromTRS(cache.mLocalMatrix.mData, cache.mLocalTranslation, cache.mLocalRotation,
                         cache.mLocalScaling);
        cache.mLocalValid = true;
    }
    return cache.mLocalMatrix;
}

const VgeAMatrix& VOxaNode::GetDefaultGlobalTransform() {
    if (Eval().mDefaultCache.mGlobalValid) return Eval().mDefaultCache.mGlobalMatrix;
    NodeChain chain(this, [](VOxaNode* n) { return n->Eval().mDefaultCache.mGlobalValid; });
    for (int i = 0; i < chain.GetCount(); ++i) {
        VOxaNode* node = chain.Get(i);
        VOxaTransformCache& cache = node->Eval().mDefaultCache;
        node->GetDefaultLocalTransform();
        VOxaNode* parent = chain.GetParentOf(i);
        ParentParts parts{};
        if (parent) parts = PartsOf(parent->Eval().mDefaultCache);
        ComposeGlobal(node->mProperties->GetTransformSettings(), node->mProperties->GetRotationActive(),
                      cache.mLocalTranslation, cache.mLocalRotation, cache.mLocalScaling,
                      CachedXYZ(cache, cache.mLocalRotation), parent ? &parts : nullptr,
                      cache.mGlobalTranslation, cache.mGlobalRotation.mData, cache.mGlobalScaling.mData,
                      cache.mGlobalMatrix.mData);
        cache.mGlobalValid = true;
    }
    return Eval().mDefaultCache.mGlobalMatrix;
}

const VgeAMatrix& VOxaNode::EvaluateLocalTransform(VTime time) {
    VOxaTransformCache& cache = Eval().mTakeCache;
    if (cache.mLocalValid && cache.mLocalTime == time) return cache.mLocalMatrix;
    // The rotation and scaling rows of a valid matrix depend on the rotation and scaling alone:
    // when neither changed (markers move in translation only) they stay, and only the
    // translation row is written.
    double before[6];
    const bool reuse = cache.mLocalValid && Shortcuts();
    if (reuse) {
        std::memcpy(before, cache.mLocalRotation, sizeof cache.mLocalRotation);
        std::memcpy(before + 3, cache.mLocalScaling, sizeof cache.mLocalScaling);
    }
    VOxaTakeNode* take = GetCurrentTakeNode();
    if (take && take == Eval().mHeldChannels.mTake && Shortcuts()) {
        if (Eval().mHeldChannels.mTransform) ReadHeldTRS(Eval().mHeldChannels, time, cache);
    } else {
        ReadTRS(take, false, time, cache);
    }
    ApplyLimits(mProperties->GetTransformSettings(), cache.mLocalTranslation, cache.mLocalRotation,
                cache.mLocalScaling);
    if (reuse && std::memcmp(before, cache.mLocalRotation, sizeof cache.mLocalRotation) == 0 &&
        std::memcmp(before + 3, cache.mLocalScaling, sizeof cache.mLocalScaling) == 0) {
        const double* t = cache.mLocalTranslation;
        VgeMatrixSetTranslation(cache.mLocalMatrix.mData, t[0], t[1], t[2]);
    } else {
        VgeMatrixFromTRS(cache.mLocalMatrix.mData, cache.mLocalTranslation, cache.mLocalRotation,
                         cache.mLocalScaling);
    }
    cache.mLocalTime = time;
    cache.mLocalValid = true;
    return cache.mLocalMatrix;
}

const VgeAMatrix& VOxaNode::EvaluateGlobalTransform(VTime time) {
    if (Eval().mTakeCache.mGlobalValid && Eval().mTakeCache.mGlobalTime == time)
        return Eval().mTakeCache.mGlobalMatrix;
    NodeChain chain(this, [time](VOxaNode* n) {
        return n->Eval().mTakeCache.mGlobalValid && n->Eval().mTakeCache.mGlobalTime == time;
    });
    for (int i = 0; i < chain.GetCount(); ++i) {
        VOxaNode* node = chain.Get(i);
        VOxaTransformCache& cache = node->Eval().mTakeCache;
        node->EvaluateLocalTransform(time);
        const VOxaTransformSettings& settings = node->mProperties->GetTransformSettings();
        VOxaNode* parent = chain.GetParentOf(i);
        ParentParts parts{};
        if (parent) {
            // The parent's global parts are at `time` already; its local scaling, which the
            // "Rrs" inheritance reads, may have been asked for at another time since.
            if (settings.mInheritType == eINHERIT_Rrs) parent->EvaluateLocalTransform(time);
            parts = PartsOf(parent->Eval().mTakeCache);
        }
        ComposeGlobal(node->mProperties->GetTransformSettings(), node->mProperties->GetRotationActive(),
                      cache.mLocalTranslation, cache.mLocalRotation, cache.mLocalScaling,
                      CachedXYZ(cache, cache.mLocalRotation), parent ? &parts : nullptr,
                      cache.mGlobalTranslation, cache.mGlobalRotation.mData, cache.mGlobalScaling.mData,
                      cache.mGlobalMatrix.mData);
        cache.mGlobalTime = time;
        cache.mGlobalValid = true;
    }
    return Eval().mTakeCache.mGlobalMatrix;
}

void VOxaNode::ResetTransformCaches() {
    if (mEval) mEval->mTakeCache.Reset();
    // The descendants' default global parts go too, so that they are never held below a node
    // that does not hold its own.
    DefaultTransformsChanged();
    ReleaseTakeChannels();
}

void VOxaNode::HoldTakeChannels() {
    VOxaTakeNode* take = GetCurrentTakeNode();
    ReleaseTakeChannels();
    if (!take) return;
    VOxaHeldChannels& held = Eval().mHeldChannels;
    held.mTransform = FindChannels(take, held.mChannels);
    held.mTake = take;
    HoldDirect(held);
}

void VOxaNode::ReleaseTakeChannels() {
    if (mEval) mEval->mHeldChannels = VOxaHeldChannels();
}

void VOxaNode::SetReferenceEvaluation(bool on) {
    sReferenceEvaluation.store(on, std::memory_order_relaxed);
}

// ---- Stamp-driven evaluation ----------------------------------------------------------------

void VOxaNode::UpdateLocalTRS(VTime time, bool recursive) {
    auto fill = [time](VOxaNode* node, VOxaNode*) {
        if (node->GetCurrentTakeNode() != node->GetDefaultTakeNode()) {
            node->EvaluateLocalTransform(time);
            StoreStampedLocal(node->Eval().mStampedTransform, node->Eval().mTakeCache);
        } else {
            node->GetDefaultLocalTransform();
            StoreStampedLocal(node->Eval().mStampedTransform, node->Eval().mDefaultCache);
        }
    };
    if (recursive)
        ForSubtree(this, fill);
    else
        fill(this, nullptr);
}

bool voxa_node_eval::KeyedDefaultTake(VOxaNode* node) {
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    if (!take || take != node->GetDefaultTakeNode()) return false;
    for (VFCurve* curve : {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(),
                           take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                           take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()})
        if (curve && curve->KeyGetCount() > 0) return true;
    return false;
}

void voxa_node_eval::UpdateLocalTRSAt(VOxaNode* node, VTime time) {
    node->EvaluateLocalTransform(time);
    StoreStampedLocal(node->GetStampedTransform(), node->GetTakeTransformCache());
}

void VOxaNode::UpdateLocalTRSFromDefault(bool recursive) {
    auto fill = [](VOxaNode* node, VOxaNode*) {
        node->GetDefaultLocalTransform();
        StoreStampedLocal(node->Eval().mStampedTransform, node->Eval().mDefaultCache);
    };
    if (recursive)
        ForSubtree(this, fill);
    else
        fill(this, nullptr);
}

// The stamped global parts of `node` under `parent` (null for a root), whose stamped parts are
// current.
static void ComputeStampedGlobal(VOxaNode* node, VOxaNode* parent) {
    VOxaStampedTransform& st = node->GetStampedTransform();
    const double s[3] = {st.mLocalScaling[0][0], st.mLocalScaling[1][1], st.mLocalScaling[2][2]};
    ParentParts parts{};
    double parentScaling[3];
    if (parent) {
        const VOxaStampedTransform& ps = parent->GetStampedTransform();
        parentScaling[0] = ps.mLocalScaling[0][0];
        parentScaling[1] = ps.mLocalScaling[1][1];
        parentScaling[2] = ps.mLocalScaling[2][2];
        parts = ParentParts{ps.mGlobalMatrix.mData, ps.mGlobalRotation.mData, ps.mGlobalScaling.mData,
                            parentScaling};
    }
    // The XYZ matrix of the angles, when the cache they came from holds it.
    const double(*xyz)[4] = CachedXYZ(node->GetTakeTransformCache(), st.mLocalRotationAngles);
    if (!xyz) xyz = CachedXYZ(node->GetDefaultTransformCache(), st.mLocalRotationAngles);
    ComposeGlobal(node->GetNodeProperties()->GetTransformSettings(),
                  node->GetNodeProperties()->GetRotationActive(), st.mLocalTranslation,
                  st.mLocalRotationAngles, s, xyz, parent ? &parts : nullptr, st.mGlobalTranslation,
                  st.mGlobalRotation.mData, st.mGlobalScaling.mData, st.mGlobalMatrix.mData);
}

void VOxaNode::UpdateGlobalTransform(int stamp, bool recursive) {
    auto update = [stamp](VOxaNode* self, VOxaNode* knownParent) {
        if (self->Eval().mStampedTransform.mStamp == stamp) return;
        // Inside a walk the parent was brought up to date just before its children.
        if (knownParent && knownParent->Eval().mStampedTransform.mStamp == stamp) {
            self->Eval().mStampedTransform.mStamp = stamp;
            ComputeStampedGlobal(self, knownParent);
            return;
        }
        NodeChain chain(self, [stamp](VOxaNode* n) { return n->Eval().mStampedTransform.mStamp == stamp; });
        for (int i = 0; i < chain.GetCount(); ++i) {
            VOxaNode* node = chain.Get(i);
            node->Eval().mStampedTransform.mStamp = stamp;
            ComputeStampedGlobal(node, chain.GetParentOf(i));
        }
    };
    if (recursive)
        ForSubtree(this, update);
    else
        update(this, nullptr);
}

void VOxaNode::UpdateGlobalTransformBelow(int stamp, VOxaNode* parent) {
    if (Eval().mStampedTransform.mStamp == stamp) return;
    Eval().mStampedTransform.mStamp = stamp;
    ComputeStampedGlobal(this, parent);
}

void VOxaNode::SetEvaluationStamp(int stamp, bool recursive) {
    if (recursive)
        ForSubtree(this,
                   [stamp](VOxaNode* node, VOxaNode*) { node->Eval().mStampedTransform.mStamp = stamp; });
    else
        Eval().mStampedTransform.mStamp = stamp;
}

void VOxaNode::SetGlobalTransform(const VgeAMatrix& matrix) {
    VOxaStampedTransform& st = Eval().mStampedTransform;
    st.mGlobalMatrix = matrix;
    if (mProperties->GetTransformSettings().mInheritType != eINHERIT_RrSs) return;
    // Translation, signed row lengths (all negative for a mirrored matrix) and the rows divided
    // by them. A zero row gives a zero rotation row rather than a division by zero.
    const double(*m)[4] = matrix.mData;
    VgeMatrixGetTranslation(st.mGlobalTranslation, m);
    double factors[3];
    VgeMatrixToScaling(factors, m);
    for (int r = 0; r < 3; ++r) {
        const double f = factors[r] != 0.0 ? 1.0 / factors[r] : 0.0;
        for (int c = 0; c < 3; ++c)
            st.mGlobalRotation.mData[r][c] = m[r][c] * f;
    }
    ClearRotationPart(st.mGlobalScaling.mData);
    VgeMatrixSetDiagonal(st.mGlobalScaling.mData, factors);
}

// ---- Pivot-set global matrices --------------------------------------------------------------

// The pivot-set global matrix of `node` from its local values t, r (degrees) and s under
// `parent` (null for none), whose set matrix is `parentGlobal`.
static void ComposePivotSetMatrix(VOxaNode* node, VOxaNode* parent, int set, VgeTVector t,
                                  const VgeTVector& r, const VgeTVector& s, const VgeAMatrix* parentGlobal,
                                  VgeAMatrix& out) {
    VOxaPivotSet& pivots = node->GetNodeProperties()->GetPivotSet(set);
    const bool active = IsSetActive(node, set);
    if (active) VgeVector3Add(t.mData, t.mData, pivots.mRotationPivot.mData);
    if (parent && IsSetActive(parent, set)) {
        // The parent's rotation pivot, turned back by the parent's post-rotation.
        VOxaPivotSet& parentPivots = parent->GetNodeProperties()->GetPivotSet(set);
        double post[4][4];
        VgeEulerVectorToMatrix(post, parentPivots.mPostRotation.mData);
        VgeMatrixTranspose3(post, post);
        double shift[3];
        VgeMatrixMultVector3(shift, post, parentPivots.mRotationPivot.mData);
        VgeVector3Subtract(t.mData, t.mData, shift);
    }
    double pre[4][4], post[4][4];
    VgeMatrixIdentity(pre);
    VgeMatrixIdentity(post);
    if (active) {
        VgeVector3Add(t.mData, t.mData, pivots.mRotationOffset.mData);
        VgeEulerVectorToMatrix(pre, pivots.mPreRotation.mData);
        VgeEulerVectorToMatrix(post, pivots.mPostRotation.mData);
    }
    // S, then post-rotation, then R, then pre-rotation, then the translation.
    double m[4][4];
    VgeMatrixIdentity(m);
    VgeMatrixScaleRows(m, post, s.mData);
    double rotation[4][4];
    VgeEulerVectorToMatrix(rotation, r.mData);
    VgeMatrixMultRotation(m, rotation, m);
    VgeMatrixMultRotation(m, pre, m);
    VgeMatrixSetTranslation(m, t[0], t[1], t[2]);
    if (parentGlobal) VgeMatrixMultAffine(m, parentGlobal->mData, m);
    out.SetIdentity();
    VgeMatrixCopyAffine(out.mData, m);
}

void VOxaNode::UpdatePivotSetGlobalMatrices(int set) {
    set = set == 0 ? 0 : 1;
    VOxaNode* top = GetParent();
    ForSubtree(this, [set, top](VOxaNode* node, VOxaNode* parent) {
        if (!parent) parent = top;
        VgeTVector t(0, 0, 0, 0), r(0, 0, 0, 0), s(1, 1, 1, 0);
        node->GetLclTranslation(t);
        node->GetLclRotation(r);
        node->GetLclScaling(s);
        VOxaPivotSet& pivots = node->mProperties->GetPivotSet(set);
        const VgeAMatrix* parentGlobal =
            parent ? &parent->mProperties->GetPivotSet(set).mPivotGlobalMatrix : nullptr;
        ComposePivotSetMatrix(node, parent, set, t, r, s, parentGlobal, pivots.mPivotGlobalMatrix);
        pivots.mPivotMatrixValid = true;
    });
}

// Whether a channel of a take moves: a curve of it has a key (a channel of another shape than
// three plain curves counts as moving).
static bool ChannelHasKeys(VFCurveNode* channel) {
    if (!channel) return false;
    VFCurve* curves[3];
    if (!channel->GetPlainCurves(curves)) return true;
    return curves[0]->KeyGetCount() > 0 || curves[1]->KeyGetCount() > 0 || curves[2]->KeyGetCount() > 0;
}

VgeAMatrix VOxaNode::GetPivotGlobalMatrixAt(int set, VTime time) {
    set = set == 0 ? 0 : 1;
    // The chain from the node up to the root, and per node the channels of its current take
    // that have keys (null for the others); a chain without any is at its default values.
    struct Link {
        VOxaNode* node;
        VFCurveNode* moving[3];
    };
    // The moving channels of `n`; false when none.
    auto moving = [](VOxaNode* n, Link& link) {
        bool any = false;
        VOxaTakeNode* take = n->GetCurrentTakeNode();
        VFCurveNode* channels[3];
        if (take && take != n->GetDefaultTakeNode() && FindChannels(take, channels)) {
            for (int c = 0; c < 3; ++c) {
                if (ChannelHasKeys(channels[c])) {
                    link.moving[c] = channels[c];
                    any = true;
                }
            }
        }
        return any;
    };
    // A chain that nothing moves (the usual case for a writer) is answered without the list.
    bool animated = false;
    for (VOxaNode* n = this; n && !animated; n = n->GetParent()) {
        Link link{n, {nullptr, nullptr, nullptr}};
        animated = moving(n, link);
    }
    if (!animated) return GetPivotGlobalMatrix(set);
    std::vector<Link> chain;
    for (VOxaNode* n = this; n; n = n->GetParent()) {
        Link link{n, {nullptr, nullptr, nullptr}};
        moving(n, link);
        chain.push_back(link);
    }
    VgeAMatrix global;
    for (size_t i = chain.size(); i-- > 0;) {
        VOxaNode* node = chain[i].node;
        VOxaNode* parent = i + 1 < chain.size() ? chain[i + 1].node : nullptr;
        // The default values, with those of the moving channels at `time`.
        VgeTVector values[3] = {VgeTVector(0, 0, 0, 0), VgeTVector(0, 0, 0, 0), VgeTVector(1, 1, 1, 0)};
        node->GetLclTranslation(values[0]);
        node->GetLclRotation(values[1]);
        node->GetLclScaling(values[2]);
        for (int c = 0; c < 3; ++c)
            ReadChannel(chain[i].moving[c], false, time, values[c].mData);
        const VgeAMatrix above = global;
        ComposePivotSetMatrix(node, parent, set, values[0], values[1], values[2], parent ? &above : nullptr,
                              global);
    }
    return global;
}

const VgeAMatrix& VOxaNode::GetPivotGlobalMatrix(int set, bool refresh) {
    VOxaPivotSet& pivots = mProperties->GetPivotSet(set);
    if (!pivots.mPivotMatrixValid || refresh) {
        VOxaNode* top = this;
        for (VOxaNode* n = GetParent(); n; n = n->GetParent())
            top = n;
        top->UpdatePivotSetGlobalMatrices(set);
    }
    return pivots.mPivotGlobalMatrix;
}

VgeTVector& VOxaNode::GetPivotGlobalTranslation(VgeTVector& out, int set, bool refresh) {
    const VgeAMatrix& m = GetPivotGlobalMatrix(set, refresh);
    out = VgeTVector(m[3][0], m[3][1], m[3][2], 0.0);
    return out;
}

VgeTVector& VOxaNode::GetPivotGlobalScaling(VgeTVector& out, int set, bool refresh) {
    const VgeAMatrix& m = GetPivotGlobalMatrix(set, refresh);
    double s[3];
    VgeMatrixToScaling(s, m.mData);
    out = VgeTVector(s[0], s[1], s[2], 0.0);
    return out;
}

VgeTVector& VOxaNode::GetPivotGlobalRotation(VgeTVector& out, int set, bool refresh) {
    const VgeAMatrix& m = GetPivotGlobalMatrix(set, refresh);
    double r[3];
    VgeMatrixToEulerXYZScaled(r, m.mData);
    out = VgeTVector(r[0], r[1], r[2], 0.0);
    return out;
}
