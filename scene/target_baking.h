#ifndef OXA_SCENE_TARGET_BAKING_H
#define OXA_SCENE_TARGET_BAKING_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VFCurve;
class VOxaNode;

// Bakes a node's look-at (and optionally up-vector) targeting into the Euler rotation curves of
// its current take, sampling `rate` times per second over the animated span of the node and its
// targets:
// - aim (when the node has a look-at target): X, Y and Z keys that turn the node's X axis onto
//   the target;
// - with `bakeUp`: the roll about the aimed X axis that turns the node's up direction (its Y
//   axis, or `givenNodeUp` with `useGivenUp` and without `keepAim`) towards the up-vector target
//   or `givenTargetUp` (default (0, 1, 0)); no key where the wanted up lies along the look axis.
//   The X angles go into the X curve, which is then unwrapped; with `useGivenUp` the angles go
//   into the take's "Roll" curve instead (unwrapped), and the X curve is emptied with default 0.
//   With `useGivenUp` and no "Roll" curve the up step is skipped;
// - without `keepAim` the Y and Z curves (and, without `useGivenUp`, the X curve) get their
//   earlier keys back over the span of those keys, when they had any.
// Baked keys replace the keys between the first and the last baked key; keys outside stay. Where
// nothing is keyed on the node and its targets, nothing is sampled. False, with nothing changed,
// for a null node, a node without current take or Euler rotation curves, a rate that is not a
// finite positive number, or a span of more than 2^24 samples. A node without look-at target is
// left unchanged (true).
OXA_API bool VFCurveBakeTargets(VOxaNode* node, bool keepAim, bool bakeUp, bool useGivenUp, float rate,
                                const VgeTVector* givenNodeUp, const VgeTVector* givenTargetUp);

// Removes jumps of more than 180 degrees between neighbouring keys: each key in turn is moved by
// one turn (360) towards the key before it (as already corrected), inside one modification
// bracket.
OXA_API void VFCurveUnwrapRotation(VFCurve& curve);

#endif  // OXA_SCENE_TARGET_BAKING_H
