#include "scene/target_baking.h"

#include <cmath>
#include <memory>

#include "animation/fcurve.h"
#include "animation/filters/filter_support.h"
#include "base/vge_matrix.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"

namespace {

const double kDegreesPerRadian = 57.29577951308232;

struct CurveDeleter {
    void operator()(VFCurve* curve) const { delete curve; }
};
using CurveOwner = std::unique_ptr<VFCurve, CurveDeleter>;

// A sampled span: `count` samples at start, start + period, ... (0 when nothing is keyed).
struct SampleSpan {
    VTime mStart;
    int64_t mCount = 0;
    bool mTooLong = false;

    VTime At(VTime period, int64_t k) const { return mStart + period * k; }
};

// The span from the earliest to the latest key of the given nodes' current takes (each node
// with its subtree), sampled every `period` up to the stop inclusive.
SampleSpan SpanOf(VOxaNode* const* nodes, int count, VTime period) {
    VTime start(VTime::kInfinite), stop(VTime::kMinusInfinite);
    bool found = false;
    for (int i = 0; i < count; ++i) {
        if (nodes[i] && nodes[i]->GetAnimationInterval(start, stop)) found = true;
    }
    SampleSpan span;
    if (!found || stop < start) return span;
    span.mStart = start;
    int64_t n = oxa_filter::SampleCount(start, stop, period);
    if (n < 0) {
        span.mTooLong = true;
    } else {
        span.mCount = n;
    }
    return span;
}

void CopyRotation(double out[4][4], const VgeAMatrix& m) {
    VgeMatrixIdentity(out);
    VgeRMatrixCopy(out, m.mData);
}

// The XYZ angles of `global` (3x3, possibly scaled) expressed in the parent's space at `time`.
void LocalAngles(double angles[3], const double global[4][4], VOxaNode* parent, VTime time) {
    double local[4][4];
    VgeMatrixIdentity(local);
    VgeRMatrixCopy(local, global);
    if (parent) {
        double inverse[4][4];
        VgeMatrixInverseOrthogonal(inverse, parent->EvaluateGlobalTransform(time).mData);
        VgeMatrixMultRotation(local, inverse, local);  // global, then undo the parent
    }
    VgeMatrixToEulerXYZScaled(angles, local);
}

// The rotation matrix (3x3 of out, identity elsewhere) turning direction `from` onto `to`.
void TurnBetween(double out[4][4], const double* from, const double* to) {
    static const double kOrigin[3] = {0.0, 0.0, 0.0};
    double angles[3];
    VgeRotationBetweenDirections(kOrigin, from, to, angles);
    VgeMatrixIdentity(out);
    VgeEulerXYZToMatrix(out, angles[0], angles[1], angles[2]);
}

void ReplaceWhole(VFCurve* curve, const VFCurve* source) {
    // An empty source would clear the whole time line: nothing baked, nothing replaced.
    if (curve && source && source->KeyGetCount() > 0)
        curve->Replace(source, VTIME_MINUS_INFINITE, VTIME_INFINITE, false, true);
}

}  // namespace

bool VFCurveBakeTargets(VOxaNode* node, bool keepAim, bool bakeUp, bool useGivenUp, float rate,
                        const VgeTVector* givenNodeUp, const VgeTVector* givenTargetUp) {
    // A rate that is not positive would never advance the sampling.
    if (!node || !std::isfinite(rate) || !(rate > 0.0f)) return false;
    VTime period;
    period.SetSecondDouble(1.0 / (double)rate);
    if (period.Get() <= 0) return false;

    VOxaTakeNode* take = node->GetCurrentTakeNode();
    if (!take) return false;
    VFCurve* rotation[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
    if (!rotation[0] || !rotation[1] || !rotation[2]) return false;

    VOxaNode* target = node->GetTarget();
    VOxaNode* upTarget = node->GetTargetUp();
    VFCurve* roll = useGivenUp ? take->GetCameraRoll() : nullptr;
    // With a given up the roll has nowhere to go but the "Roll" curve.
    bool doUp = bakeUp && target && (!useGivenUp || roll);

    // Both spans are known before anything changes: the up span lies within the union of the
    // aim span, the node's span and the up target's span.
    VOxaNode* aimNodes[2] = {node, target};
    SampleSpan aimSpan;
    if (target) aimSpan = SpanOf(aimNodes, 2, period);
    if (doUp) {
        VOxaNode* all[3] = {node, target, upTarget};
        if (SpanOf(all, 3, period).mTooLong) return false;
    }
    if (aimSpan.mTooLong) return false;

    // Backups of the rotation curves as they were.
    CurveOwner backup[3];
    for (int c = 0; c < 3; ++c) {
        backup[c].reset(VFCurve::Create());
        backup[c]->CopyFrom(rotation[c], true);
    }

    VOxaNode* parent = node->GetParent();
    if (target && aimSpan.mCount > 0) {
        CurveOwner baked[3];
        for (auto& curve : baked) {
            curve.reset(VFCurve::Create());
            curve->ResizeKeyBuffer((int)aimSpan.mCount);
        }
        for (int64_t k = 0; k < aimSpan.mCount; ++k) {
            VTime t = aimSpan.At(period, k);
            VgeAMatrix global = node->EvaluateGlobalTransform(t);
            const VgeAMatrix& aimAt = target->EvaluateGlobalTransform(t);
            double toTarget[3], turn[4][4], aimed[4][4], angles[3];
            VgeVector3Subtract(toTarget, aimAt.mData[3], global.mData[3]);
            TurnBetween(turn, global.mData[0], toTarget);
            CopyRotation(aimed, global);
            VgeMatrixMultRotation(aimed, turn, aimed);  // the node's orientation, then the turn
            LocalAngles(angles, aimed, parent, t);
            for (int c = 0; c < 3; ++c)
                baked[c]->KeyAppendFast(t, (float)angles[c]);
        }
        for (int c = 0; c < 3; ++c)
            ReplaceWhole(rotation[c], baked[c].get());
        // The cached matrices were computed from the curves as they were.
        node->ResetTransformCaches();
    }

    if (doUp) {
        VOxaNode* upNodes[2] = {node, upTarget};
        SampleSpan upSpan = SpanOf(upNodes, upTarget ? 2 : 1, period);
        if (upSpan.mTooLong) upSpan.mCount = 0;
        CurveOwner rolled(VFCurve::Create());
        rolled->ResizeKeyBuffer((int)upSpan.mCount);
        const double kDefaultUp[3] = {0.0, 1.0, 0.0};
        for (int64_t k = 0; k < upSpan.mCount; ++k) {
            VTime t = upSpan.At(period, k);
            VgeAMatrix global = node->EvaluateGlobalTransform(t);
            double up[3], wanted[3], look[3];
            if (useGivenUp && !keepAim) {
                VgeVector3Copy(up, givenNodeUp ? givenNodeUp->mData : kDefaultUp);
            } else {
                VgeVector3Copy(up, global.mData[1]);
            }
            if (upTarget) {
                VgeVector3Subtract(wanted, upTarget->EvaluateGlobalTransform(t).mData[3], global.mData[3]);
            } else {
                VgeVector3Copy(wanted, givenTargetUp ? givenTargetUp->mData : kDefaultUp);
            }
            VgeVector3Copy(look, global.mData[0]);
            double lookLength = std::sqrt(VgeDot3(look, look));
            if (lookLength > 0.0) VgeScaleVector(look, look, 1.0 / lookLength);

            // Both ups projected on the plane normal to the look axis.
            double part[3];
            VgeScaleVector(part, look, VgeDot3(up, look));
            VgeVector3Subtract(up, up, part);
            VgeScaleVector(part, look, VgeDot3(wanted, look));
            VgeVector3Subtract(wanted, wanted, part);
            if (std::fabs(wanted[0]) <= 1e-6 && std::fabs(wanted[1]) <= 1e-6 && std::fabs(wanted[2]) <= 1e-6)
                continue;  // the wanted up lies along the look axis: no roll defined here

            double value;
            if (useGivenUp && !keepAim) {
                // The given node up stands for the node at no roll: the roll is the turn about
                // the look axis from it to the wanted up.
                double normal[3];
                VgeCrossProduct3(normal, up, wanted);
                value = std::atan2(VgeDot3(normal, look), VgeDot3(up, wanted)) * kDegreesPerRadian;
            } else {
                // The node's own up turned into the plane of the wanted up: the X angle of the
                // rolled orientation in the parent's space.
                double turn[4][4], turned[4][4], angles[3];
                TurnBetween(turn, up, wanted);
                CopyRotation(turned, global);
                VgeMatrixMultRotation(turned, turn, turned);
                LocalAngles(angles, turned, parent, t);
                value = angles[0];
            }
            rolled->KeyAppendFast(t, (float)value);
        }
        if (!useGivenUp) {
            ReplaceWhole(rotation[0], rolled.get());
            VFCurveUnwrapRotation(*rotation[0]);
        } else {
            ReplaceWhole(roll, rolled.get());
            rotation[0]->KeyClear();
            rotation[0]->SetDefaultValue(0.0f);
            VFCurveUnwrapRotation(*roll);
        }
        node->ResetTransformCaches();
    }

    if (!keepAim) {
        ReplaceWhole(rotation[1], backup[1].get());
        ReplaceWhole(rotation[2], backup[2].get());
        if (!useGivenUp) ReplaceWhole(rotation[0], backup[0].get());
        node->ResetTransformCaches();
    }
    return true;
}

void VFCurveUnwrapRotation(VFCurve& curve) {
    int count = curve.KeyGetCount();
    if (count < 2) return;
    curve.KeyModifyBegin();
    float previous = curve.KeyGetValue(0);
    for (int i = 1; i < count; ++i) {
        float value = curve.KeyGetValue(i);
        if (std::fabs((double)value - (double)previous) > 180.0) {
            // One turn towards the key before, however far it lies.
            value = value > previous ? value - 360.0f : value + 360.0f;
            curve.KeySetValue(i, value);
        }
        previous = value;
    }
    curve.KeyModifyEnd();
}
