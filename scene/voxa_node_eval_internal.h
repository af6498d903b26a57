// The pieces of node transform evaluation (scene/voxa_node_eval.cpp) that a sampler of a whole
// hierarchy at many times reuses, so that it computes exactly what the nodes' own evaluation
// computes, with the same operations in the same order.
#ifndef OXA_SCENE_VOXA_NODE_EVAL_INTERNAL_H
#define OXA_SCENE_VOXA_NODE_EVAL_INTERNAL_H

#include "base/vtime.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_transform.h"

class VOxaNode;

namespace voxa_node_eval {

// The parent's global parts that a child's global computation reads.
struct ParentParts {
    const double (*mMatrix)[4];
    const double (*mRotation)[4];
    const double (*mScaling)[4];
    const double* mLocalScaling;
};

// False while VOxaNode::SetReferenceEvaluation is on: every shortcut then gives way to the long
// way of evaluation.
bool Shortcuts();

// Clamps the local translation t, rotation r and scaling s to the enabled limits.
void ApplyLimits(const VOxaTransformSettings& settings, double* t, double* r, double* s);
// False when ApplyLimits changes nothing whatever the values: no limit is enabled.
bool HasLimits(const VOxaTransformSettings& settings);

// The XYZ rotation matrix of the angles r that a cache holds already, or null (see the .cpp).
const double (*CachedXYZ(const VOxaTransformCache& cache, const double* r))[4];

// True when ComposeGlobal reads the XYZ matrix it is handed for a node of these settings: when it
// does not, the matrix need not be built.
bool ComposeReadsXYZ(const VOxaTransformSettings& settings, bool rotationActive);

// The global translation tg, rotation rg, scaling sg and matrix m of a node from its local values
// (after limits), its transform settings and "RotationActive" property, and its parent's global
// parts (null for a root). An inherit type outside 0..2 leaves the scaling and the matrix as they
// were. `xyz` (may be null) is the XYZ matrix of r.
void ComposeGlobal(const VOxaTransformSettings& settings, bool rotationActive, const double* t,
                   const double* r, const double* s, const double (*xyz)[4], const ParentParts* parent,
                   double* tg, double rg[4][4], double sg[4][4], double m[4][4]);

// What ComposeGlobal writes that depends on the local translation alone: tg and the translation
// row of m. Valid for a node without offsets or pivots (mPivotFlags of 0) whose rg, sg and the
// rest of m are those ComposeGlobal gave for the same rotation, scaling and parent parts.
void ComposeGlobalTranslation(const VOxaTransformSettings& settings, const double* t,
                              const ParentParts* parent, double* tg, double m[4][4]);

// True when `node`'s current take is its default take and some curve of the "T", "R" or "S"
// channels of that take holds keys: its local values then change with time, which
// VOxaNode::UpdateLocalTRS, reading the default values, does not show.
bool KeyedDefaultTake(VOxaNode* node);
// The stamped local parts of `node` from VOxaNode::EvaluateLocalTransform at `time`, whichever
// take is current.
void UpdateLocalTRSAt(VOxaNode* node, VTime time);

}  // namespace voxa_node_eval

#endif  // OXA_SCENE_VOXA_NODE_EVAL_INTERNAL_H
