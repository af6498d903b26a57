// Records of node transform evaluation: the per-time transform cache and the stamped transform
// that a whole-hierarchy pass fills. Matrices are in row-vector form (see base/vge_matrix.h).
#ifndef OXA_SCENE_VOXA_TRANSFORM_H
#define OXA_SCENE_VOXA_TRANSFORM_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveNode;
class VOxaTakeNode;

// One evaluation cache of a node (a node has two: the current take's and the default take's).
// The local TRS are the values after limits (rotation in degrees). Construction and Reset clear
// the valid bytes; the values stay as they are. (Curve lookups start from each curve's own last
// position, so the cache keeps no search hints.)
struct OXA_API VOxaTransformCache {
    VTime mLocalTime;
    VTime mGlobalTime;
    bool mLocalValid = false;
    bool mGlobalValid = false;
    VgeAMatrix mLocalMatrix;
    VgeAMatrix mGlobalMatrix;
    double mGlobalTranslation[3] = {0, 0, 0};
    VgeAMatrix mGlobalRotation;
    VgeAMatrix mGlobalScaling;  // may hold shear
    double mLocalTranslation[3] = {0, 0, 0};
    double mLocalRotation[3] = {0, 0, 0};
    double mLocalScaling[3] = {1, 1, 1};

    // Clears both valid bytes.
    void Reset() { mLocalValid = mGlobalValid = false; }
};

// The "Transform" curve node of one take of a node and its "T", "R" and "S" channels, found once
// by VOxaNode::HoldTakeChannels so that evaluation at many times does not look them up by name
// at each. `mTake` is the take they belong to (null: nothing held); a missing node is null.
//
// A channel of the common shape (three plain curves) whose evaluation gives exactly its curves'
// values is also held as its curves: `mDirect` is set for it, and its three components (T, R, S
// in x, y, z order) are read from `mCurves`, or from `mConstants` for a curve of at most one key,
// whose value is the same at every time. The times of each curve's end keys are kept beside it,
// so that a time between them is evaluated without reading those keys again. Channels of other
// shapes are evaluated.
struct OXA_API VOxaHeldChannels {
    const VOxaTakeNode* mTake = nullptr;
    VFCurveNode* mTransform = nullptr;
    VFCurveNode* mChannels[3] = {nullptr, nullptr, nullptr};
    bool mDirect[3] = {false, false, false};
    VFCurve* mCurves[9] = {};
    int64_t mFirstTimes[9] = {};  // the times of each held curve's first and last keys
    int64_t mLastTimes[9] = {};
    double mConstants[9] = {};
    // The components of the direct channels that have a curve, in order.
    uint8_t mCurveSlots[9] = {};
    int mCurveSlotCount = 0;
};

// The transform of a node in the stamp-driven evaluation: the local parts (filled by
// VOxaNode::UpdateLocalTRS and UpdateLocalTRSFromDefault), the stamp of the last pass, and the
// global parts and matrix of that pass.
//
// The local rotation is kept both as the XYZ matrix of its angles and as the angles themselves,
// and the pass evaluates the angles: a node whose rotation order is not XYZ then gets exactly the
// rotation the per-time evaluation gives it (angles read back from a matrix are only one of the
// triples that build it, and another triple means another rotation in another order). A caller
// that writes the local rotation itself writes the angles too.
struct OXA_API VOxaStampedTransform {
    double mLocalTranslation[3] = {0, 0, 0};
    double mLocalRotationAngles[3] = {0, 0, 0};  // degrees
    VgeAMatrix mLocalRotation;
    VgeAMatrix mLocalScaling;  // diagonal
    int mStamp = -1;
    VgeAMatrix mGlobalMatrix;
    double mGlobalTranslation[3] = {0, 0, 0};
    VgeAMatrix mGlobalRotation;
    VgeAMatrix mGlobalScaling;
};

// The evaluation records of a node, made the first time its transforms are evaluated: a node
// that a reader makes and a writer writes without evaluating it does not carry them.
struct OXA_API VOxaNodeEvalState {
    VOxaTransformCache mTakeCache;
    VOxaTransformCache mDefaultCache;
    VOxaStampedTransform mStampedTransform;
    VOxaHeldChannels mHeldChannels;
};

#endif  // OXA_SCENE_VOXA_TRANSFORM_H
