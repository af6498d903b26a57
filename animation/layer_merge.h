// Flattening of animation layers: the layered value of a curve-node tree (its
// base layer composed with its next layers by their layer types) is sampled
// over a span and written as keys into one layer, normally the base layer.
// Trees whose keys are all constant are merged at their key times instead, with
// constant keys.
#ifndef OXA_ANIMATION_LAYER_MERGE_H
#define OXA_ANIMATION_LAYER_MERGE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vtime.h>

class VFCurveNode;

// Merge flags: write the merged curves into the layer whose id is the target id
// (created when missing). The other write-back modes of the format (0x2, 0x4,
// 0x8) are not offered.
enum { eFCURVENODE_MERGE_TO_TARGET_LAYER = 0x10 };

// Reserved for the tuning passes of the merge (key snapping, tangent fixing,
// key reduction); none is offered, so callers pass null.
struct VFCurveNodeMergeOptions;

// out = a combined with b by the layer type of `layerNode` (add for types 0 and
// 1, XYZ Euler rotation product for 2, multiply for 3, quaternion product for
// 4; any other type copies a). The channel count is the node's child count, or
// 1 for a node with a curve and no children. out may be a or b.
OXA_API void ComposeLayerValues(const VFCurveNode* layerNode, double* out, const double* a, const double* b);
OXA_API void AddLayerValues(double* out, const double* a, const double* b, int count);
OXA_API void MultiplyLayerValues(double* out, const double* a, const double* b, int count);
// The XYZ Euler angles (degrees) of the rotation b x a: b applied first, then
// a (the layer b turns inside the accumulated rotation a).
OXA_API void ComposeEulerRotations(double* out, const double* a, const double* b);
// The quaternion product (x, y, z, w) used by quaternion layers.
OXA_API void ComposeQuaternions(double* out, const double* a, const double* b);

// Folds into `accumulator` the values at `time` of `layerNode` and of each
// later layer of its chain, each composed by its own layer type. With a layer
// id list, only the listed layers take part. The caller starts the accumulator
// at the identity values of the chain (GetIdentityValues).
OXA_API void EvaluateLayerChain(VFCurveNode* layerNode, double* accumulator, VTime time,
                                const VArrayTemplate<int>* layerIds = nullptr);

// Merges the layers of `node` into one layer: samples the layered value every
// `period` from start to stop (both included; a time-warped node is read at its
// warped times but keyed at the sample times) and, with
// eFCURVENODE_MERGE_TO_TARGET_LAYER, replaces the curves of layer
// `targetLayerId` by the merged curves (which keep the colours and owner tags
// of the curves they replace). Trees whose keys are all constant are merged at
// their key times (VFCurveNodeMergeConstantLayers). Euler rotations are kept
// continuous unless a reference layer is given. When the span holds no sample,
// the merged curves carry the layered value as their default value, so the node
// evaluates as before. The other layers stay in the chain. False, with nothing
// changed, for a null node, a period <= 0, or a span of more than 2^24 samples
// (over 150 hours at 30 frames per second).
OXA_API bool VFCurveNodeMergeLayers(VFCurveNode* node, const VArrayTemplate<int>* layerIds, int targetLayerId,
                                    unsigned flags, VTime start, VTime stop, VTime period,
                                    VFCurveNode* callbackNode = nullptr,
                                    VFCurveNode* referenceLayer = nullptr, bool useTimeWarp = true,
                                    const VFCurveNodeMergeOptions* options = nullptr);

// Writes into the curves of `destination` (a tree of the shape of `node`)
// constant keys at the key times of `node`'s tree, layers included, between
// start and stop, holding the layered value. Key times closer than 1/120 s to
// the previous one are passed over. A key whose layers disagree on holding
// their value to the next key is standard, followed by a second key 1/120 s
// later.
OXA_API void VFCurveNodeMergeConstantLayers(VFCurveNode* destination, VFCurveNode* node, VTime start,
                                            VTime stop);

#endif  // OXA_ANIMATION_LAYER_MERGE_H
