// Curve-node key setting and the tree-wide key operations: keys from values and candidates,
// pasting spans, copying trees, key times and intervals.
#include <climits>
#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_key.h"
#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "base/vge_quaternion.h"

using namespace fcurve_node_detail;

namespace {

// Calls `visit` for every curve of the masked subtree: the node's own curve, then (with
// `withLayers`) the next layer's, then the children whose mask byte is set; a child's own
// children read the mask from the child's byte on.
template <typename Visit>
void ForEachCurve(const VFCurveNode* node, const char* mask, bool withLayers, Visit& visit) {
    if (VFCurve* curve = node->FCurveGet()) visit(curve);
    if (withLayers && node->GetNextLayer()) ForEachCurve(node->GetNextLayer(), mask, true, visit);
    for (int i = 0; i < node->GetCount(); ++i) {
        if (mask && !mask[i]) continue;
        ForEachCurve(node->Get(i), mask ? mask + i : nullptr, false, visit);
    }
}

// The whole-turn count of a difference in degrees, rounding halves away from the whole part
// with the slack of two units in the last place that span pasting uses.
double PasteTurns(double difference) {
    double turns = difference / 360.0;
    double whole = std::trunc(turns);
    double fraction = turns - whole;
    if (fraction > 0.5000000000000002) whole += 1.0;
    if (fraction < -0.5000000000000002) whole -= 1.0;
    return whole;
}

}  // namespace

// ---- Key creation ---------------------------------------------------------------------------

// Adds a default cubic auto key at `time` to every curve of the subtree, one value per curve in
// tree order; answers the position after the values used.
static const double* AddKeys(VFCurveNode* node, VTime time, const double* values) {
    if (VFCurve* curve = node->FCurveGet()) {
        VFCurveKey key;
        key.Set(time, (float)*values++, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 0.0f, 0.0f,
                VFCurveKey::eWeightedNone, kFCurveDefaultWeight, kFCurveDefaultWeight, 0.0f, 0.0f);
        curve->KeyAdd(time, key);
    }
    for (int i = 0; i < node->GetCount(); ++i)
        values = AddKeys(node->Get(i), time, values);
    return values;
}

// Appends a default key to every curve of the subtree without events (bulk loading).
static const double* AppendKeys(VFCurveNode* node, VTime time, const double* values) {
    if (VFCurve* curve = node->FCurveGet()) curve->KeyAppendFast(time, (float)*values++);
    for (int i = 0; i < node->GetCount(); ++i)
        values = AppendKeys(node->Get(i), time, values);
    return values;
}

bool VFCurveNode::KeyAddSet(VTime time, const double* values) {
    if (!values) return false;
    AddKeys(this, time, values);
    return true;
}

bool VFCurveNode::KeySetValues(VTime time, const double* values, bool closest) {
    if (!values) return false;
    double adjusted[3];
    if (closest && !mFCurve && mNodes.GetCount() == 3) {
        GetEulerClosest(adjusted, values, time);
        values = adjusted;
    }
    AppendKeys(this, time, values);
    return true;
}

class VFCurveNodeKeys {
public:
    static bool CandidateKeys(VFCurveNode* node, const char* mask, int* keyIndex, unsigned interpolation,
                              unsigned tangentMode, bool breakTangent, bool setKeyType, double tolerance) {
        bool any = false;
        if (VFCurve* curve = node->mFCurve) {
            if (curve->CandidateKey(keyIndex, interpolation, tangentMode, breakTangent, setKeyType,
                                    VTIME_INFINITE, tolerance)) {
                any = true;
            }
        }
        for (int i = 0; i < node->mNodes.GetCount(); ++i) {
            if (mask && !mask[i]) continue;
            if (CandidateKeys(node->mNodes[i], mask ? mask + i : nullptr, keyIndex, interpolation,
                              tangentMode, breakTangent, setKeyType, tolerance)) {
                any = true;
            }
        }
        return any;
    }

    // Content of one node copied from another of the same shape (no layer chain).
    static void CopyContent(VFCurveNode* target, VFCurveNode* source, bool withKeys) {
        target->mSpecificCandidateMethod = source->mSpecificCandidateMethod;
        target->mTotalCandidateMethod = source->mTotalCandidateMethod;
        for (int i = 0; i < 4; ++i)
            target->mCandidateTotalValue[i] = source->mCandidateTotalValue[i];
        target->mCandidateTotalTime = source->mCandidateTotalTime;
        target->mTotalFromEvaluation = source->mTotalFromEvaluation;
        if (VFCurve* curve = source->mFCurve) {
            if (withKeys) {
                if (!target->mFCurve) target->FCurveSet(VFCurve::Create());
                if (target->mFCurve) target->mFCurve->CopyFrom(curve, true);
            } else {
                VFCurve* moved = source->FCurveSet(nullptr, false);
                target->FCurveSet(moved, true);
            }
        }
        int common = target->GetCount() < source->GetCount() ? target->GetCount() : source->GetCount();
        for (int i = 0; i < common; ++i)
            target->Get(i)->CopyFrom(source->Get(i), withKeys);
        for (int i = common; i < source->GetCount(); ++i) {
            VFCurveNode* child = source->Get(i)->Copy(false, false, false, -1);
            if (!child) continue;
            target->Add(child);
            child->CopyFrom(source->Get(i), withKeys);
        }
    }

    static void CopyChain(VFCurveNode* target, VFCurveNode* source, bool withKeys) {
        for (VFCurveNode* layer = source->mNextLayer; layer; layer = layer->mNextLayer) {
            VFCurveNode* mine = target->GetLayer(layer->mLayerID);
            if (!mine) {
                VFCurveNode* before = target->FindLayerBefore(layer->mLayerID);
                mine = before ? before->CreateLayer(layer->mLayerID, false) : nullptr;
                if (!mine) continue;
                target->mObjectLayer->CallbackCall(eFCURVENODE_EVENT_LAYERS);
            }
            CopyContent(mine, layer, withKeys);
        }
        // Layers the source lacks go.
        VFCurveNode* layer = target->mNextLayer;
        while (layer) {
            VFCurveNode* next = layer->mNextLayer;
            if (!source->GetLayer(layer->mLayerID)) target->RemoveLayer(layer->mLayerID, true);
            layer = next;
        }
    }

    // A copy of one node with curves limited to [start, stop].
    static VFCurveNode* SpanCopy(const VFCurveNode* source, VTime start, VTime stop) {
        VFCurveNode* node = source->Copy(false, false, false, -1);
        if (!node) return nullptr;
        FillSpanCurves(node, source, start, stop);
        return node;
    }

    static void FillSpanCurves(VFCurveNode* target, const VFCurveNode* source, VTime start, VTime stop) {
        if (source->mFCurve) target->mFCurve = source->mFCurve->Copy(start, stop);
        for (int i = 0; i < target->GetCount() && i < source->GetCount(); ++i) {
            FillSpanCurves(target->Get(i), source->Get(i), start, stop);
        }
    }

    static VFCurveNode* CopyTimeSpan(const VFCurveNode* source, VTime start, VTime stop) {
        VFCurveNode* base = SpanCopy(source, start, stop);
        if (!base) return nullptr;
        VFCurveNode* last = base;
        for (const VFCurveNode* layer = source->mNextLayer; layer; layer = layer->mNextLayer) {
            VFCurveNode* copy = SpanCopy(layer, start, stop);
            if (!copy) break;
            copy->mFlags = layer->mFlags;
            Rebase(copy, base);
            last->mNextLayer = copy;
            last = copy;
        }
        return base;
    }

    static void Rebase(VFCurveNode* layer, VFCurveNode* base) {
        layer->mObjectLayer = base;
        for (int i = 0; i < layer->GetCount(); ++i) {
            VFCurveNode* child = layer->Get(i);
            if (VFCurveNode* baseChild = base->Get(i)) {
                Rebase(child, baseChild);
            } else {
                child->mObjectLayer = child;
            }
        }
    }

    static bool RemoveAt(VFCurveNode* node, VTime time) {
        bool removed = false;
        if (VFCurve* curve = node->mFCurve) {
            double x = curve->KeyFind(time);
            if (x >= 0.0 && x == std::floor(x) && curve->KeyGetTime((int)x) == time) {
                removed = curve->KeyRemove((int)x);
            }
        }
        for (int i = 0; i < node->mNodes.GetCount(); ++i) {
            if (RemoveAt(node->mNodes[i], time)) removed = true;
        }
        return removed;
    }
};

bool VFCurveNode::CandidateKey(int* keyIndex, int layerID, const char* mask, int interpolation,
                               int tangentMode, bool breakTangent, bool setKeyType, double tolerance) {
    VFCurveNode* layer = GetLayerFiltered(layerID);
    if (!layer) return false;
    return VFCurveNodeKeys::CandidateKeys(layer, mask, keyIndex, (unsigned)interpolation,
                                          (unsigned)tangentMode, breakTangent, setKeyType, tolerance);
}

bool VFCurveNode::KeyCandidate(VTime time, int layerID, const char* mask, int interpolation,
                               int tangentMode) {
    bool quaternion = false;
    int count = TotalValueCount(this, &quaternion);
    if (count <= 0) {
        // A compound channel: each child keys its own candidate.
        bool any = false;
        for (int i = 0; i < mNodes.GetCount(); ++i) {
            if (mask && !mask[i]) continue;
            if (mNodes[i]->KeyCandidate(time, layerID, mask ? mask + i : nullptr, interpolation,
                                        tangentMode)) {
                any = true;
            }
        }
        return any;
    }
    int id = GetLayered() ? layerID : 0;
    VTime warped = VFCurveNodeEval::Warp(this, time);
    if (!IsCandidateTotalValid()) {
        VFCurveNodeValueBuffer scratch(GetValueCount());
        Evaluate(scratch.Get(), time);
    }
    if (!IsCandidateTotalValid()) return false;
    double total[4];
    for (int i = 0; i < 4; ++i)
        total[i] = mCandidateTotalValue[i];

    VFCurveNodeValueBuffer specific(GetCurveCount() + 4);
    SolveSpecificFromTotal(specific.Get(), total, warped, id);
    if (mLayerType == eFCURVENODE_LAYER_EULER_ROTATION && mRotationOrder != 12 && !mFCurve &&
        mNodes.GetCount() == 3) {
        if (GetLayer(id)) {
            double current[3];
            if (EvaluateLayer(current, warped, nullptr, id) - current == 3) {
                EulerClosest(specific.Get(), specific.Get(), current, mRotationOrder);
            }
        }
    }
    bool done = VFCurveNodeEval::SetSpecific(this, warped, specific.Get(), id);
    if (done) {
        int index = -1;
        done = CandidateKey(&index, id, mask, interpolation, tangentMode);
    }
    CandidateClear(0, true);
    return done;
}

void VFCurveNode::GetEulerClosest(double* out, const double* values, VTime time) {
    if (mFCurve || mNodes.GetCount() != 3) {
        int count = GetCurveCount();
        for (int i = 0; i < count; ++i)
            out[i] = values[i];
        return;
    }
    double in[3] = {values[0], values[1], values[2]};
    VTime previous = GetPreviousKeyTime(time);
    if (previous == time || mRotationOrder == 12) {
        for (int i = 0; i < 3; ++i)
            out[i] = in[i];
        return;
    }
    double reference[3] = {0.0, 0.0, 0.0};
    EvaluateCurves(reference, previous);
    EulerClosest(out, in, reference, mRotationOrder);
}

double VFCurveNode::AngleNearest(double angle, double reference) {
    double turns = (reference - angle) / 360.0;
    double whole = std::trunc(turns);
    double fraction = turns - whole;
    if (fraction > 0.5) whole += 1.0;
    if (fraction < -0.5) whole -= 1.0;
    return angle + 360.0 * whole;
}

// ---- Pasting and copying --------------------------------------------------------------------

bool VFCurveNode::Replace(VFCurveNode* source, VTime start, VTime stop, bool useOffsets, bool exactSpan,
                          bool keyOnNoKey) {
    if (!source || source == this) return false;
    if (mFCurve && source->mFCurve) mFCurve->Replace(source->mFCurve, start, stop, exactSpan, keyOnNoKey);
    int count = mNodes.GetCount();
    if (count != source->GetCount()) return mFCurve && source->mFCurve;

    VFCurve* mine[4] = {nullptr, nullptr, nullptr, nullptr};
    VFCurve* theirs[4] = {nullptr, nullptr, nullptr, nullptr};
    bool leaves = count == 3 || count == 4;
    for (int i = 0; i < count && leaves; ++i) {
        mine[i] = mNodes[i]->mFCurve;
        theirs[i] = source->Get(i)->mFCurve;
        leaves = mine[i] && theirs[i] && mNodes[i]->GetCount() == 0 && source->Get(i)->GetCount() == 0;
    }

    if (useOffsets && leaves && count == 3 && mLayerType == eFCURVENODE_LAYER_EULER_ROTATION) {
        // Join the pasted angles to this tree's angles at the span's start: the source triple or its
        // flipped equivalent, moved by whole turns, whichever lies nearer.
        double d[3], s[3];
        for (int i = 0; i < 3; ++i) {
            d[i] = mine[i]->Evaluate(start);
            s[i] = theirs[i]->Evaluate(start);
        }
        int order = mRotationOrder;
        int axes[3];
        OrderAxes(order, axes);
        double offset[3] = {0.0, 0.0, 0.0};
        bool flipped = false;
        if (order != 12) {
            double chosen[3];
            flipped = EulerClosest(chosen, s, d, order);
            for (int p = 0; p < 3; ++p) {
                int a = axes[p];
                if (!flipped) {
                    offset[a] = 360.0 * PasteTurns(chosen[a] - s[a]);
                } else if (p == 1) {
                    // The middle angle is pasted mirrored: offset - value.
                    offset[a] = 180.0 + 360.0 * PasteTurns(chosen[a] - (180.0 - s[a]));
                } else {
                    offset[a] = 180.0 + 360.0 * PasteTurns(chosen[a] - (s[a] + 180.0));
                }
            }
        }
        for (int i = 0; i < 3; ++i) {
            bool mirror = flipped && i == axes[1];
            mine[i]->ReplaceWithOffsets(theirs[i], start, stop, (float)offset[i], 0.0f, mirror, false,
                                        exactSpan, keyOnNoKey);
        }
        return true;
    }

    if (useOffsets && leaves && count == 4 && mLayerType == eFCURVENODE_LAYER_QUATERNION) {
        // Scale the pasted quaternions so that their lengths meet this tree's at both ends.
        auto length = [](VFCurve* const* curves, VTime t) {
            double q[4];
            for (int i = 0; i < 4; ++i)
                q[i] = curves[i]->Evaluate(t);
            return VgeQuaternionLength(q);
        };
        double mineStart = length(mine, start), mineStop = length(mine, stop);
        double theirStart = length(theirs, start), theirStop = length(theirs, stop);
        float startFactor = theirStart > 0.0 ? (float)(mineStart / theirStart) : 1.0f;
        float stopFactor = theirStop > 0.0 ? (float)(mineStop / theirStop) : 1.0f;
        for (int i = 0; i < 4; ++i) {
            mine[i]->ReplaceWithScale(theirs[i], start, stop, startFactor, stopFactor, exactSpan, keyOnNoKey);
        }
        return true;
    }

    for (int i = 0; i < count; ++i) {
        mNodes[i]->Replace(source->Get(i), start, stop, useOffsets, exactSpan, keyOnNoKey);
    }
    return true;
}

void VFCurveNode::CopyFrom(VFCurveNode* source, bool withKeys) {
    if (!source || source == this) return;
    VFCurveNodeKeys::CopyContent(this, source, withKeys);
    VFCurveNodeKeys::CopyChain(this, source, withKeys);
}

VFCurveNode* VFCurveNode::CopyTimeSpan(VTime start, VTime stop) const {
    return VFCurveNodeKeys::CopyTimeSpan(this, start, stop);
}

bool VFCurveNode::KeyRemoveTimeRange(VTime start, VTime stop, bool withLayers) {
    bool removed = false;
    auto visit = [&](VFCurve* curve) {
        if (curve->KeyRemoveTimeRange(start, stop)) removed = true;
    };
    ForEachCurve(this, nullptr, withLayers, visit);
    return removed;
}

bool VFCurveNode::KeyRemoveAt(VTime time) {
    bool removed = false;
    for (VFCurveNode* layer = this; layer; layer = layer->mNextLayer) {
        if (VFCurveNodeKeys::RemoveAt(layer, time)) {
            removed = true;
            VFCurveNodeEval::ClearSubtree(layer);
        }
    }
    return removed;
}

// ---- Key times and intervals ----------------------------------------------------------------

bool VFCurveNode::GetFirstKey(VFCurveKey* keyOut, const char* mask, bool withLayers) const {
    VFCurve* best = nullptr;
    auto visit = [&](VFCurve* curve) {
        if (curve->KeyGetCount() == 0) return;
        if (!best || curve->KeyGetTime(0) < best->KeyGetTime(0)) best = curve;
    };
    ForEachCurve(this, mask, withLayers, visit);
    if (best && keyOut) *keyOut = best->KeyGet(0);
    return best != nullptr;
}

bool VFCurveNode::GetLastKey(VFCurveKey* keyOut, const char* mask, bool withLayers) const {
    VFCurve* best = nullptr;
    auto visit = [&](VFCurve* curve) {
        int n = curve->KeyGetCount();
        if (n == 0) return;
        if (!best || curve->KeyGetTime(n - 1) > best->KeyGetTime(best->KeyGetCount() - 1)) best = curve;
    };
    ForEachCurve(this, mask, withLayers, visit);
    if (best && keyOut) *keyOut = best->KeyGet(best->KeyGetCount() - 1);
    return best != nullptr;
}

VTime VFCurveNode::GetFirstKeyTime(const char* mask, bool withLayers) const {
    VFCurveKey key;
    return GetFirstKey(&key, mask, withLayers) ? key.GetTime() : VTIME_MINUS_INFINITE;
}

VTime VFCurveNode::GetLastKeyTime(const char* mask, bool withLayers) const {
    VFCurveKey key;
    return GetLastKey(&key, mask, withLayers) ? key.GetTime() : VTIME_INFINITE;
}

VTime VFCurveNode::GetPreviousKeyTime(VTime time, const char* mask, bool withLayers) const {
    bool found = false;
    VTime best = time;
    auto visit = [&](VFCurve* curve) {
        int n = curve->KeyGetCount();
        if (n == 0) return;
        // The curve's own search hint keeps sequential queries (sampling loops) cheap.
        double x = curve->KeyFind(time);
        double whole = std::floor(x);
        int index = whole == x ? (int)x - 1 : (int)whole;
        if (index < 0) return;
        if (index > n - 1) index = n - 1;
        VTime t = curve->KeyGetTime(index);
        if (!found || t > best) best = t;
        found = true;
    };
    ForEachCurve(this, mask, withLayers, visit);
    return best;
}

VTime VFCurveNode::GetNextKeyTime(VTime time, const char* mask, bool withLayers) const {
    bool found = false;
    VTime best = time;
    auto visit = [&](VFCurve* curve) {
        int n = curve->KeyGetCount();
        if (n == 0) return;
        // The curve's own search hint keeps sequential queries (sampling loops) cheap.
        double x = curve->KeyFind(time);
        double up = std::ceil(x);
        int index = up == x ? (int)x + 1 : (int)up;
        if (index < 0) index = 0;
        if (index > n - 1) return;
        VTime t = curve->KeyGetTime(index);
        if (!found || t < best) best = t;
        found = true;
    };
    ForEachCurve(this, mask, withLayers, visit);
    return best;
}

void VFCurveNode::GetKeyInterval(VTime& start, VTime& stop) const {
    start = VTIME_INFINITE;
    stop = VTIME_MINUS_INFINITE;
    auto visit = [&](VFCurve* curve) {
        int n = curve->KeyGetCount();
        if (n == 0) return;
        if (curve->KeyGetTime(0) < start) start = curve->KeyGetTime(0);
        if (curve->KeyGetTime(n - 1) > stop) stop = curve->KeyGetTime(n - 1);
    };
    ForEachCurve(this, nullptr, true, visit);
}

bool VFCurveNode::GetAnimationInterval(VTime& start, VTime& stop) const {
    VTime first, last;
    GetKeyInterval(first, last);
    if (first > last) return false;
    if (first < start) start = first;
    if (last > stop) stop = last;
    return true;
}

void VFCurveNode::GetKeyStatistics(int& curveCount, int& keyTotal, int& fewestKeys, int& mostKeys) const {
    curveCount = 0;
    keyTotal = 0;
    fewestKeys = 0x7fffffff;
    mostKeys = INT_MIN;
    auto visit = [&](VFCurve* curve) {
        int n = curve->KeyGetCount();
        ++curveCount;
        keyTotal += n;
        if (n < fewestKeys) fewestKeys = n;
        if (n > mostKeys) mostKeys = n;
    };
    ForEachCurve(this, nullptr, false, visit);
}

int VFCurveNode::KeyFindStatus(VTime time, int* hint, const char* mask, double tolerance, double minValue,
                               double maxValue) const {
    int curves = 0, hits = 0;
    auto visit = [&](VFCurve* curve) {
        ++curves;
        int n = curve->KeyGetCount();
        if (n == 0) return;
        double x = curve->KeyFind(time, hint);
        double nearest = std::floor(x + 0.5);
        bool onKey = tolerance == 0.0 ? x == std::floor(x) : std::fabs(x - nearest) <= tolerance;
        if (!onKey) return;
        int index = (int)(tolerance == 0.0 ? x : nearest);
        if (index < 0 || index > n - 1) return;
        double value = curve->KeyGetValue(index);
        if (value >= minValue && value <= maxValue) ++hits;
    };
    ForEachCurve(this, mask, false, visit);
    if (hits == curves) return 2;
    return hits > 0 ? 1 : 0;
}

static bool CurveHasUniformSampling(const VFCurve* curve, VTime period) {
    if (curve->KeyGetCount() < 2) return false;
    VTime average, smallest, largest;
    if (!curve->KeyIsRegular(average, smallest, largest)) return false;
    return average <= period && curve->HasFlatAutoKey();
}

bool VFCurveNode::HasUniformSampling(VTime period) const {
    if (mFCurve && CurveHasUniformSampling(mFCurve, period)) return true;
    for (int i = 0; i < mNodes.GetCount(); ++i) {
        if (mNodes[i]->HasUniformSampling(period)) return true;
    }
    return false;
}
