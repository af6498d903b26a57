// Pivot conversion: rewriting a hierarchy's animation so that it looks the same under the other
// pivot set, and resetting pivot sets.

#include <cmath>
#include <memory>
#include <unordered_set>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_matrix_converter.h"
#include "attributes/voxa_geometry.h"
#include "base/vge_matrix.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_take_node.h"

namespace {

const double kPivotTolerance = 1e-6;

// Converter slots (see VFCurveFilterMatrixConverter).
enum {
    eSlotPreRotation = 3,
    eSlotPostRotation = 4,
    eSlotScalingOffset = 8,
    eSlotPreRotationCompensation = 9,
    eSlotPostRotationCompensation = 10,
    eSlotRotationPivot = 11,
    eSlotScalingPivot = 12,
};

// Visits `root` and its descendants parent first, children in index order, without recursion
// (a hierarchy may be a chain thousands of nodes deep).
template <typename Visit>
void ForEachInSubtree(VOxaNode* root, Visit visit) {
    std::vector<VOxaNode*> stack;
    stack.push_back(root);
    while (!stack.empty()) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        visit(node);
        for (int i = node->GetChildCount(); i-- > 0;) {
            if (VOxaNode* child = node->GetChild(i)) stack.push_back(child);
        }
    }
}

// The values of one pivot set as the conversion sees them: a set whose pivot state is not 0
// counts as neutral.
struct SetView {
    bool mActive;
    VgeTVector mRotationPivot;
    VgeTVector mScalingPivot;
    VgeTVector mRotationOffset;
    VgeTVector mScalingOffset;
    VgeTVector mPreRotation;
    VgeTVector mPostRotation;
    VgeTVector mGeometricTranslation;
    VgeTVector mGeometricRotation;
    VgeTVector mGeometricScaling;
    int mOrder;
    bool mLimitSpace;

    SetView(VOxaNode* node, int set) {
        VOxaPivotSet& pivots = node->GetNodeProperties()->GetPivotSet(set);
        mActive = pivots.mPivotState == 0;
        VgeTVector zero(0.0, 0.0, 0.0, 0.0);
        mRotationPivot = mActive ? pivots.mRotationPivot : zero;
        mScalingPivot = mActive ? pivots.mScalingPivot : zero;
        mRotationOffset = mActive ? pivots.mRotationOffset : zero;
        mScalingOffset = mActive ? pivots.mScalingOffset : zero;
        mPreRotation = mActive ? pivots.mPreRotation : zero;
        mPostRotation = mActive ? pivots.mPostRotation : zero;
        mGeometricTranslation = mActive ? pivots.mGeometricTranslation : zero;
        mGeometricRotation = mActive ? pivots.mGeometricRotation : zero;
        mGeometricScaling = mActive ? pivots.mGeometricScaling : VgeTVector(1.0, 1.0, 1.0, 1.0);
        mOrder = pivots.mRotationOrder;
        mLimitSpace = pivots.mRotationSpaceForLimitOnly;
    }

    // Whether the set's pre- (or post-) rotation takes part in evaluation.
    bool Qualifies(const VgeTVector& rotation) const {
        return mActive && !mLimitSpace && (rotation[0] != 0.0 || rotation[1] != 0.0 || rotation[2] != 0.0);
    }
};

void TranslationMatrix(double out[4][4], const double* t) {
    VgeMatrixIdentity(out);
    VgeMatrixSetTranslation(out, t[0], t[1], t[2]);
}

void RotationMatrix(double out[4][4], const VgeTVector& degrees) {
    VgeMatrixIdentity(out);
    VgeEulerXYZToMatrix(out, degrees[0], degrees[1], degrees[2]);
}

// Scaling, then the XYZ rotation, then the translation of the set's geometric transform.
void GeometricMatrix(double out[4][4], const SetView& set) {
    VgeMatrixFromTRS(out, set.mGeometricTranslation.mData, set.mGeometricRotation.mData,
                     set.mGeometricScaling.mData);
}

bool AnyBeyond(const double* v, double tolerance) {
    return std::fabs(v[0]) > tolerance || std::fabs(v[1]) > tolerance || std::fabs(v[2]) > tolerance;
}

// True when the rotation `m`, taken apart into XYZ angles and rebuilt, differs from the identity
// by more than the tolerance in some element.
bool IsTurn(const double m[4][4]) {
    double angles[3], rebuilt[4][4], identity[4][4];
    VgeMatrixToEulerXYZScaled(angles, m);
    VgeMatrixIdentity(rebuilt);
    VgeEulerXYZToMatrix(rebuilt, angles[0], angles[1], angles[2]);
    VgeMatrixIdentity(identity);
    return VgeMatrixCompareAffine(rebuilt, identity, kPivotTolerance) != 0;
}

// The order code evaluation uses for a set: 2 x the rotation order, 0 when the order only
// concerns limits, when the node's rotation settings are off, or when the order is unknown.
int OrderCode(const SetView& set, bool rotationActive) {
    if (set.mLimitSpace || !rotationActive) return 0;
    return (set.mOrder >= eEULER_XYZ && set.mOrder <= eSPHERIC_XYZ) ? 2 * set.mOrder : 0;
}

// Writes a curve's default value without telling its listeners: a default-take curve would
// otherwise write the node's property, which writes the defaults of other takes in turn.
void SetDefaultQuietly(VFCurve* curve, float value) {
    bool enabled = curve->IsCallbackEnabled();
    curve->CallbackEnable(false);
    curve->SetDefaultValue(value);
    curve->CallbackEnable(enabled);
}

// Adds `offset` to every key and to the default of the curve.
void ShiftCurve(VFCurve* curve, double offset) {
    if (!curve || offset == 0.0) return;
    int count = curve->KeyGetCount();
    if (count > 0) {
        curve->KeyModifyBegin();
        for (int i = 0; i < count; ++i)
            curve->KeyIncValue(i, (float)offset);
        curve->KeyModifyEnd();
    }
    SetDefaultQuietly(curve, (float)((double)curve->GetDefaultValue() + offset));
}

void TranslationCurves(VOxaTakeNode* take, VFCurve* curves[3]) {
    curves[0] = take->GetTranslationX();
    curves[1] = take->GetTranslationY();
    curves[2] = take->GetTranslationZ();
}

// Converts one node (not its children). With a keeper, what is changed is kept first, and the
// geometry is left alone.
void ConvertNode(VOxaNode* node, int destinationSet, double framesPerSecond, bool reduce,
                 VOxaPivotConversionScope* keeper) {
    const SetView a(node, destinationSet == 0 ? 1 : 0);
    const SetView b(node, destinationSet == 0 ? 0 : 1);
    VFCurveFilterMatrixConverter converter;
    bool change = false;
    double m[4][4];

    // Rotation pivot.
    double dRp[3];
    VgeVector3Subtract(dRp, a.mRotationPivot.mData, b.mRotationPivot.mData);
    if (dRp[0] != 0.0 || dRp[1] != 0.0 || dRp[2] != 0.0) {
        TranslationMatrix(m, dRp);
        converter.SetSourceMatrix(eSlotRotationPivot, m);
        change = true;
    }

    // Geometry: its pivot takes the difference of the two geometric transforms.
    VOxaGeometry* geometry = keeper ? nullptr : node->GetGeometry();
    if (geometry) {
        double ga[4][4], gb[4][4], inverseB[4][4], product[4][4];
        GeometricMatrix(ga, a);
        GeometricMatrix(gb, b);
        VgeMatrixInverseOrthogonal(inverseB, gb);
        VgeAMatrix pivot;
        geometry->GetPivot(pivot);
        VgeMatrixIdentity(product);
        VgeMatrixMultAffine(product, pivot.mData, ga);    // G_A, then the pivot
        VgeMatrixMultAffine(product, product, inverseB);  // inverse(G_B) first
        VgeMatrixCopyAffine(pivot.mData, product);
        geometry->SetPivot(pivot);
        geometry->ApplyPivot();
    }

    // Scaling pivot.
    double dSp[3];
    VgeVector3Subtract(dSp, a.mScalingPivot.mData, b.mScalingPivot.mData);
    if (AnyBeyond(dSp, kPivotTolerance)) {
        TranslationMatrix(m, dSp);
        converter.SetSourceMatrix(eSlotScalingPivot, m);
        change = true;
    }

    // Offsets: the rotation offset goes straight onto the translation curves below.
    double dRoff[3], dSoff[3];
    VgeVector3Subtract(dRoff, a.mRotationOffset.mData, b.mRotationOffset.mData);
    VgeVector3Subtract(dSoff, a.mScalingOffset.mData, b.mScalingOffset.mData);
    if (AnyBeyond(dSoff, kPivotTolerance)) {
        TranslationMatrix(m, dSoff);
        converter.SetSourceMatrix(eSlotScalingOffset, m);
        change = true;
    }

    bool rotationActive = node->GetRotationActive();
    double identity[4][4];
    VgeMatrixIdentity(identity);

    // Pre-rotation: what turns B's pre-rotation into A's, applied outside R.
    if (rotationActive && (a.Qualifies(a.mPreRotation) || b.Qualifies(b.mPreRotation))) {
        double pa[4][4], pb[4][4], inverse[4][4], relative[4][4];
        if (a.Qualifies(a.mPreRotation)) {
            RotationMatrix(pa, a.mPreRotation);
        } else {
            VgeMatrixIdentity(pa);
        }
        if (b.Qualifies(b.mPreRotation)) {
            RotationMatrix(pb, b.mPreRotation);
        } else {
            VgeMatrixIdentity(pb);
        }
        VgeMatrixInverseOrthogonal(inverse, pb);
        VgeMatrixIdentity(relative);
        VgeMatrixMultAffine(relative, inverse, pa);  // PA, then inverse(PB)
        if (IsTurn(relative)) {
            converter.SetSourceMatrix(eSlotPreRotation, relative);
            change = true;
        } else {
            converter.SetSourceMatrix(eSlotPreRotationCompensation, pa);
        }
    }

    // Post-rotation: evaluation applies the inverse of the post-rotation before R, so the slot
    // inside R takes QB, then inverse(QA) (the inverse of QA, then inverse(QB)): the keys then
    // carry what A's post-rotation did and B's undoes.
    if (rotationActive && (a.Qualifies(a.mPostRotation) || b.Qualifies(b.mPostRotation))) {
        double qa[4][4], qb[4][4], inverseA[4][4], relative[4][4];
        if (a.Qualifies(a.mPostRotation)) {
            RotationMatrix(qa, a.mPostRotation);
        } else {
            VgeMatrixIdentity(qa);
        }
        if (b.Qualifies(b.mPostRotation)) {
            RotationMatrix(qb, b.mPostRotation);
        } else {
            VgeMatrixIdentity(qb);
        }
        VgeMatrixInverseOrthogonal(inverseA, qa);
        VgeMatrixIdentity(relative);
        VgeMatrixMultAffine(relative, inverseA, qb);  // QB, then inverse(QA)
        if (IsTurn(relative)) {
            converter.SetSourceMatrix(eSlotPostRotation, relative);
            change = true;
        } else {
            converter.SetSourceMatrix(eSlotPostRotationCompensation, inverseA);
        }
    }

    // Converter settings.
    bool rateValid = std::isfinite(framesPerSecond) && framesPerSecond > 0.0;
    if (rateValid) {
        VTime period;
        period.SetSecondDouble(1.0 / framesPerSecond);
        converter.SetResamplingPeriod(period);
    }
    converter.SetLastKeyAtEndTime(true);
    converter.SetApplyUnroll(true);
    converter.SetApplyConstantKeyReducer(reduce);
    converter.SetConvertTranslation(false);
    int sourceOrder = OrderCode(a, rotationActive);
    int destinationOrder = OrderCode(b, rotationActive);
    converter.SetSourceRotationOrder(sourceOrder);
    converter.SetDestinationRotationOrder(destinationOrder);
    if (sourceOrder != destinationOrder) change = true;

    // Every take: the rotation-offset difference onto the translation curves, then the
    // re-keying.
    bool shift = dRoff[0] != 0.0 || dRoff[1] != 0.0 || dRoff[2] != 0.0;
    VgeTVector translation(0.0, 0.0, 0.0, 0.0);
    node->GetLclTranslation(translation);
    if (keeper && (shift || (change && rateValid))) {
        if (!keeper->KeepCurves(node)) return;
        if (shift) keeper->KeepTranslation(node, translation);
    }
    int takeCount = node->GetTakeNodeCount();
    for (int i = 0; i < takeCount; ++i) {
        VOxaTakeNode* take = node->GetTakeNode(i);
        if (!take) continue;
        if (shift) {
            VFCurve* curves[3];
            TranslationCurves(take, curves);
            for (int c = 0; c < 3; ++c)
                ShiftCurve(curves[c], dRoff[c]);
        }
        if (change && rateValid) {
            if (VFCurveNode* root = take->GetVFCurveNode()) converter.Apply(*root, true);
        }
    }
    // The converter puts new curves in place of the old ones, whose property links went with
    // them: link the default take's new curves again.
    if (change && rateValid) node->LinkDefaultTake(false);

    // "Lcl Translation" moves by the offset once. Its write also sets the translation defaults
    // of the current and the default take from it; each take keeps its own shifted defaults.
    if (shift) {
        std::vector<float> defaults;
        defaults.reserve(3 * (size_t)takeCount);
        for (int i = 0; i < takeCount; ++i) {
            VFCurve* curves[3] = {nullptr, nullptr, nullptr};
            if (VOxaTakeNode* take = node->GetTakeNode(i)) TranslationCurves(take, curves);
            for (VFCurve* curve : curves)
                defaults.push_back(curve ? curve->GetDefaultValue() : 0.0f);
        }
        node->SetLclTranslation(VgeTVector(translation[0] + dRoff[0], translation[1] + dRoff[1],
                                           translation[2] + dRoff[2], translation[3]));
        for (int i = 0; i < takeCount; ++i) {
            VFCurve* curves[3] = {nullptr, nullptr, nullptr};
            if (VOxaTakeNode* take = node->GetTakeNode(i)) TranslationCurves(take, curves);
            for (int c = 0; c < 3; ++c) {
                if (curves[c] && curves[c]->GetDefaultValue() != defaults[3 * (size_t)i + c])
                    SetDefaultQuietly(curves[c], defaults[3 * (size_t)i + c]);
            }
        }
    }
}

}  // namespace

void VOxaNode::ConvertPivotAnimation(int destinationSet, double framesPerSecond,
                                     bool applyConstantKeyReducer) {
    ForEachInSubtree(this, [&](VOxaNode* node) {
        ConvertNode(node, destinationSet, framesPerSecond, applyConstantKeyReducer, nullptr);
    });
}

void VOxaNode::ConvertPivotAnimationAt30Fps() {
    ResetPivotSet(1);
    ConvertPivotAnimation(1, 30.0, false);
    ResetPivotSet(0);
}

void VOxaNode::ResetPivotSet(int set) {
    const VgeTVector zero(0.0, 0.0, 0.0, 0.0);
    ForEachInSubtree(this, [&](VOxaNode* node) {
        node->SetRotationOrder(set, eEULER_XYZ);
        node->SetPreRotation(set, zero);
        node->SetPostRotation(set, zero);
        node->SetRotationPivot(set, zero);
        node->SetScalingPivot(set, zero);
        node->SetRotationOffset(set, zero);
        node->SetScalingOffset(set, zero);
        node->SetGeometricTranslation(set, zero);
        node->SetGeometricRotation(set, zero);
        node->SetGeometricScaling(set, VgeTVector(1.0, 1.0, 1.0, 1.0));
        node->SetUseRotationSpaceForLimitOnly(set, false);
    });
}

// ---- Conversion for the length of a write -------------------------------------------------------

namespace {

// `channel` and every node below it (children, not layers), each before its children.
void CollectChannelNodes(VFCurveNode* channel, std::vector<VFCurveNode*>& nodes) {
    if (!channel) return;
    std::vector<VFCurveNode*> stack{channel};
    while (!stack.empty()) {
        VFCurveNode* node = stack.back();
        stack.pop_back();
        nodes.push_back(node);
        for (int i = node->GetCount() - 1; i >= 0; --i)
            if (VFCurveNode* child = node->Get(i)) stack.push_back(child);
    }
}

}  // namespace

VOxaPivotConversionScope::VOxaPivotConversionScope(VOxaNode* root) {
    if (!root) return;
    try {
        ForEachInSubtree(root, [this](VOxaNode* node) {
            VOxaNodeProperties* properties = node->GetNodeProperties();
            mNodes.push_back(
                KeptNode{node,
                         {properties->GetPivotSet(0), properties->GetPivotSet(1)},
                         properties->GetTransformSettings(),
                         node->HasTransformCaches() ? node->GetStampedTransform() : VOxaStampedTransform()});
        });
        root->ResetPivotSet(1);
        ForEachInSubtree(root, [this](VOxaNode* node) {
            if (!mFailed) ConvertNode(node, 1, 30.0, false, this);
        });
        root->ResetPivotSet(0);
    } catch (...) {
        Restore();
        throw;
    }
    // Animation converted in part is no animation to write.
    if (mFailed) Restore();
}

VOxaPivotConversionScope::~VOxaPivotConversionScope() {
    Restore();
}

bool VOxaPivotConversionScope::KeepCurves(VOxaNode* node) {
    std::vector<VFCurveNode*> nodes;
    std::unordered_set<const VFCurveNode*> kept;
    for (int t = 0, count = node->GetTakeNodeCount(); t < count; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
        if (!root) continue;
        // What the re-keying reads, replaces and unrolls, found as it finds them, and the
        // translation curves the rotation offset moves, found as the take's accessors find them.
        nodes.clear();
        for (const char* channel : {"T", "R", "S"})
            CollectChannelNodes(root->FindChild(channel), nodes);
        VFCurveNode* transform = root->FindChild("Transform");
        if (VFCurveNode* translation = transform ? transform->FindChild("T") : nullptr) {
            for (const char* axis : {"X", "Y", "Z"})
                if (VFCurveNode* holder = translation->FindChild(axis)) nodes.push_back(holder);
        }
        for (VFCurveNode* channelNode : nodes) {
            if (!kept.insert(channelNode).second) continue;
            VFCurve* original = channelNode->FCurveGet();
            std::unique_ptr<VFCurve> copy;
            if (original) {
                // The room first: the copy of the keys then needs no allocation that could fail.
                copy.reset(VFCurve::Create());
                if (!copy || !copy->ResizeKeyBuffer(original->KeyGetCount())) {
                    mFailed = true;
                    return false;
                }
                copy->CopyFrom(original, true);
            }
            mChannelNodes.push_back(
                KeptChannelNode{channelNode, original, VFCurveNodeEval::GetBookkeeping(channelNode)});
            if (original) channelNode->FCurveSet(copy.release());
        }
    }
    return true;
}

void VOxaPivotConversionScope::KeepTranslation(VOxaNode* node, const VgeTVector& value) {
    mTranslations.push_back(KeptTranslation{node, value});
}

void VOxaPivotConversionScope::Restore() {
    // The property first, while the converted curves it writes its default into are in place.
    for (auto it = mTranslations.rbegin(); it != mTranslations.rend(); ++it)
        it->mNode->SetLclTranslation(it->mValue);
    mTranslations.clear();
    // Each original back in its place (the converted curve goes, and its property links with
    // it), and the totals evaluation stored on the channels as they were before: a total of the
    // converted curves must not answer for the originals.
    for (auto it = mChannelNodes.rbegin(); it != mChannelNodes.rend(); ++it) {
        if (it->mOriginal) it->mNode->FCurveSet(it->mOriginal, true);
        VFCurveNodeEval::SetBookkeeping(it->mNode, it->mBookkeeping);
    }
    mChannelNodes.clear();
    for (KeptNode& kept : mNodes) {
        VOxaNodeProperties* properties = kept.mNode->GetNodeProperties();
        properties->GetPivotSet(0) = kept.mSets[0];
        properties->GetPivotSet(1) = kept.mSets[1];
        properties->GetTransformSettings() = kept.mSettings;
        kept.mNode->ResetTransformCaches();
        // A node that had no evaluation records before has none to give back (making them here
        // would need memory in a destructor).
        if (kept.mNode->HasTransformCaches()) kept.mNode->GetStampedTransform() = kept.mStamped;
    }
    mNodes.clear();
}
