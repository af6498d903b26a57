#include "animation/layer_merge.h"

#include <cmath>
#include <memory>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"
#include "base/vge_matrix.h"

using namespace oxa_filter;

namespace {

constexpr int64_t kConstantStep = 384884650;  // 1/120 s

int ChannelCount(const VFCurveNode* node) {
    int count = node->GetCount();
    if (count == 0 && node->FCurveGet()) return 1;
    return count;
}

// Room for the values of one layer of the tree (EvaluateLayer writes one per
// curve in tree order).
int ValueRoom(const VFCurveNode* node) {
    int room = node->GetCurveCount();
    int values = node->GetValueCount();
    if (values > room) room = values;
    return room < 4 ? 4 : room;
}

bool Listed(const VArrayTemplate<int>* ids, int id) {
    if (!ids) return true;
    for (int i = 0; i < ids->GetCount(); ++i) {
        if ((*ids)[i] == id) return true;
    }
    return false;
}

// The curve of channel c of a layer node: its own curve for a single-channel
// node, else its child's.
VFCurve* ChannelCurve(VFCurveNode* layer, int c) {
    if (layer->GetCount() == 0) return c == 0 ? layer->FCurveGet() : nullptr;
    VFCurveNode* child = layer->Get(c);
    return child ? child->FCurveGet() : nullptr;
}

struct NodeDeleter {
    void operator()(VFCurveNode* node) const { delete node; }
};
using NodePtr = std::unique_ptr<VFCurveNode, NodeDeleter>;

// The layered value of the chain from `node` at `time`.
void LayeredValue(VFCurveNode* node, double* values, VTime time, const VArrayTemplate<int>* ids) {
    node->GetIdentityValues(values);
    EvaluateLayerChain(node, values, time, ids);
}

}  // namespace

void AddLayerValues(double* out, const double* a, const double* b, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = a[i] + b[i];
}

void MultiplyLayerValues(double* out, const double* a, const double* b, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = a[i] * b[i];
}

void ComposeEulerRotations(double* out, const double* a, const double* b) {
    // Both XYZ Euler degrees. The product b x a in row-vector form turns by b first, then by a:
    // the layer's rotation inside the rotation of the layers below it.
    double ma[4][4], mb[4][4], m[4][4];
    VgeEulerXYZToMatrix(ma, a[0], a[1], a[2]);
    VgeEulerXYZToMatrix(mb, b[0], b[1], b[2]);
    VgeMatrixMultRotation(m, ma, mb);
    VgeMatrixToEulerXYZ(out, m);
}

void ComposeQuaternions(double* out, const double* a, const double* b) {
    double ax = a[0], ay = a[1], az = a[2], aw = a[3];
    double bx = b[0], by = b[1], bz = b[2], bw = b[3];
    out[0] = (aw * bx + bw * ax + bz * ay) - by * az;
    out[1] = az * bx + bw * ay + (by * aw - bz * ax);
    out[2] = bw * az + ((by * ax + bz * aw) - ay * bx);
    out[3] = ((bw * aw - bx * ax) - by * ay) - bz * az;
}

void ComposeLayerValues(const VFCurveNode* layerNode, double* out, const double* a, const double* b) {
    int count = ChannelCount(layerNode);
    switch (layerNode->GetLayerType()) {
        case eFCURVENODE_LAYER_ADDITIVE_COMPONENT:
        case eFCURVENODE_LAYER_ADDITIVE:
            AddLayerValues(out, a, b, count);
            break;
        case eFCURVENODE_LAYER_MULTIPLICATIVE:
            MultiplyLayerValues(out, a, b, count);
            break;
        case eFCURVENODE_LAYER_EULER_ROTATION:
            ComposeEulerRotations(out, a, b);
            break;
        case eFCURVENODE_LAYER_QUATERNION:
            ComposeQuaternions(out, a, b);
            break;
        default:
            if (out != a) {
                for (int i = 0; i < count; ++i)
                    out[i] = a[i];
            }
            break;
    }
}

void EvaluateLayerChain(VFCurveNode* layerNode, double* accumulator, VTime time,
                        const VArrayTemplate<int>* layerIds) {
    if (!layerNode) return;
    std::vector<double> values((size_t)ValueRoom(layerNode), 0.0);
    for (VFCurveNode* layer = layerNode; layer; layer = layer->GetNextLayer()) {
        if (!Listed(layerIds, layer->GetLayerID())) continue;
        layer->EvaluateLayer(values.data(), time, nullptr, layer->GetLayerID());
        ComposeLayerValues(layer, accumulator, accumulator, values.data());
    }
}

void VFCurveNodeMergeConstantLayers(VFCurveNode* destination, VFCurveNode* node, VTime start, VTime stop) {
    if (!destination || !node) return;
    const VTime step(kConstantStep);
    int channels = ChannelCount(node);
    std::vector<double> values((size_t)ValueRoom(node), 0.0);
    std::vector<double> later(values.size(), 0.0);

    VTime t = node->GetNextKeyTime(start - VTime(1), nullptr, true);
    if (t == start - VTime(1)) return;
    while (t <= stop) {
        LayeredValue(node, values.data(), t, nullptr);
        bool laterDone = false;
        for (int c = 0; c < channels; ++c) {
            VFCurve* target = ChannelCurve(destination, c);
            if (!target) continue;
            bool anyNext = false, anyStandard = false, allHaveKey = true;
            for (VFCurveNode* layer = node; layer; layer = layer->GetNextLayer()) {
                VFCurve* curve = ChannelCurve(layer, c);
                if (!curve) continue;
                double f = curve->KeyFind(t);
                if (f >= 0.0 && f == std::floor(f)) {
                    if (curve->KeyGetInterpolation((int)f) == kConstant &&
                        curve->KeyGetConstantMode((int)f) == VFCurveKey::eConstantNext) {
                        anyNext = true;
                    } else {
                        anyStandard = true;
                    }
                } else {
                    allHaveKey = false;
                }
            }
            // Next only when every layer holds to its next key here; a next-mode key
            // that meets a standard key or a layer without a key here is followed by
            // a second key, which picks up the value held afterwards.
            bool next = anyNext && allHaveKey && !anyStandard;
            bool second = anyNext && !next;
            VFCurveKey key;
            key.Set(t, (float)values[(size_t)c], kConstant, 0);
            key.SetConstantMode(next ? VFCurveKey::eConstantNext : VFCurveKey::eConstantStandard);
            target->KeyAdd(t, key);
            if (second) {
                if (!laterDone) {
                    LayeredValue(node, later.data(), t + step, nullptr);
                    laterDone = true;
                }
                VFCurveKey held;
                held.Set(t + step, (float)later[(size_t)c], kConstant, 0);
                target->KeyAdd(t + step, held);
            }
        }
        VTime after = t + step;
        VTime next = node->GetNextKeyTime(after, nullptr, true);
        if (next == after) break;
        t = next;
    }
}

bool VFCurveNodeMergeLayers(VFCurveNode* node, const VArrayTemplate<int>* layerIds, int targetLayerId,
                            unsigned flags, VTime start, VTime stop, VTime period, VFCurveNode*,
                            VFCurveNode* referenceLayer, bool useTimeWarp, const VFCurveNodeMergeOptions*) {
    if (!node || period.Get() <= 0) return false;
    int64_t samples = stop < start ? 0 : SampleCount(start, stop, period);
    if (samples < 0) return false;

    int channels = ChannelCount(node);
    bool single = node->GetCount() == 0;
    NodePtr result(node->Copy(false, false, false, -1));
    if (!result) return false;
    result->CreateFCurves();

    std::vector<double> values((size_t)ValueRoom(node), 0.0);
    if (!layerIds && VFCurveNodeHasOnlyInterpolation(node, kConstant, true)) {
        VFCurveNodeMergeConstantLayers(result.get(), node, start, stop);
    } else if (samples > 0) {
        VFCurveNode* warp = useTimeWarp ? node->GetTimeWarp() : nullptr;
        bool closest = !referenceLayer && result->GetLayerType() == eFCURVENODE_LAYER_EULER_ROTATION;
        for (int c = 0; c < channels; ++c) {
            if (VFCurve* curve = ChannelCurve(result.get(), c)) curve->ResizeKeyBuffer((int)samples);
        }
        std::vector<double> warped((size_t)ValueRoom(warp ? warp : node), 0.0);
        for (int64_t i = 0; i < samples; ++i) {
            VTime t = start + period * i;
            VTime at = t;
            if (warp) {
                warp->EvaluateCurves(warped.data(), t);
                at = FromSeconds(warped[0]);
            }
            LayeredValue(node, values.data(), at, layerIds);
            if (single) {
                result->FCurveGet()->KeyAppendFast(t, (float)values[0]);
            } else {
                result->KeySetValues(t, values.data(), closest);
            }
        }
    } else {
        // No sample: the merged curves hold the layered value, so the node
        // evaluates as before.
        LayeredValue(node, values.data(), VTime(0), layerIds);
        for (int c = 0; c < channels; ++c) {
            if (VFCurve* curve = ChannelCurve(result.get(), c))
                curve->SetDefaultValue((float)values[(size_t)c]);
        }
    }

    if (flags & eFCURVENODE_MERGE_TO_TARGET_LAYER) {
        VFCurveNode* target = node->GetLayer(targetLayerId);
        if (!target) {
            node->CreateLayerAt(targetLayerId);
            target = node->GetLayer(targetLayerId);
        }
        if (target) {
            for (int c = 0; c < channels; ++c) {
                VFCurveNode* from = single ? result.get() : result->Get(c);
                VFCurveNode* to = single ? target : target->Get(c);
                if (!from || !to || !from->FCurveGet()) continue;
                VFCurve* merged = from->FCurveSet(nullptr, false);
                if (VFCurve* old = to->FCurveGet()) {
                    merged->SetColor(old->GetColor());
                    merged->SetOwnerTag(old->GetOwnerTag());
                }
                to->FCurveReplace(merged);
            }
        }
    }
    return true;
}
