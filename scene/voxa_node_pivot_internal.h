// Pivot conversion for the length of a write (scene/voxa_node_pivot.cpp): the motion writers
// sample a hierarchy whose pivots live in its animation, and give the caller's scene back as it
// was.
#ifndef OXA_SCENE_VOXA_NODE_PIVOT_INTERNAL_H
#define OXA_SCENE_VOXA_NODE_PIVOT_INTERNAL_H

#include <vector>

#include "animation/fcurve_node_internal.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_transform.h"

class VFCurve;
class VFCurveNode;
class VOxaNode;

// Converts the pivot animation of `root` and its descendants as
// VOxaNode::ConvertPivotAnimationAt30Fps does, for as long as the object lives; on destruction
// the subtree is as it was before, whichever way the writer leaves.
//
// What the conversion changes is kept first and put back: both pivot sets and the evaluation
// settings of every node, "Lcl Translation" of a node whose rotation offset moved it, and the
// curves of the "T", "R" and "S" channels of every take of a node whose animation is shifted or
// re-keyed. Those curves are converted as copies: the originals, the very objects a caller may
// hold, wait aside with their property links and candidates and go back in place, and the
// channels get back the totals evaluation stored on them. Geometry is left alone: a motion file
// holds none. Evaluation caches are emptied and the stamped transforms restored, so that the
// next evaluation reads the scene as it was.
//
// When a copy of a curve cannot be had, the subtree is put back at once and Converted answers
// false: the caller has no converted animation to write. An exception thrown while converting
// puts everything back before it leaves the constructor. Whatever samples the converted subtree
// (a VOxaMotionSampler, channels held by VOxaNode::HoldTakeChannels) must end before this object
// does.
class VOxaPivotConversionScope {
public:
    // A null root converts nothing.
    explicit VOxaPivotConversionScope(VOxaNode* root);
    ~VOxaPivotConversionScope();
    VOxaPivotConversionScope(const VOxaPivotConversionScope&) = delete;
    VOxaPivotConversionScope& operator=(const VOxaPivotConversionScope&) = delete;

    // False when memory ran out: the subtree is as it was, unconverted.
    bool Converted() const { return !mFailed; }

    // Called by the conversion before it changes anything of `node`'s takes: puts a copy in place
    // of each curve of the "T", "R" and "S" channels of every take, keeping the original and the
    // channels' candidate bookkeeping. False when a copy cannot be had; the conversion then
    // stops.
    bool KeepCurves(VOxaNode* node);
    // Called by the conversion before it writes `node`'s "Lcl Translation", which holds `value`.
    void KeepTranslation(VOxaNode* node, const VgeTVector& value);

private:
    struct KeptNode {
        VOxaNode* mNode;
        VOxaPivotSet mSets[2];
        VOxaTransformSettings mSettings;
        VOxaStampedTransform mStamped;
    };
    // A node of a converted channel: its candidate bookkeeping (evaluation stores totals on the
    // node) and the original of the curve it holds (null for none).
    struct KeptChannelNode {
        VFCurveNode* mNode;
        VFCurve* mOriginal;
        VFCurveNodeEval::Bookkeeping mBookkeeping;
    };
    struct KeptTranslation {
        VOxaNode* mNode;
        VgeTVector mValue;
    };

    void Restore();

    std::vector<KeptNode> mNodes;
    std::vector<KeptChannelNode> mChannelNodes;
    std::vector<KeptTranslation> mTranslations;
    bool mFailed = false;
};

#endif  // OXA_SCENE_VOXA_NODE_PIVOT_INTERNAL_H
