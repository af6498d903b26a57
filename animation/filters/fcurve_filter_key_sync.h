#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_SYNC_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_SYNC_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Gives several curves keys at the same times: every time at which any of the
// curves has a key inside the span becomes a key time of all of them, without
// changing any curve's shape. At most 19 children of a node take part. The only
// filter whose NeedApply answers something useful: true when the curves are not
// synchronised yet.
class OXA_API VFCurveFilterKeySync : public VFCurveFilter {
public:
    // Name "FCurve Key Synchronizer", span minus infinity .. plus infinity.
    VFCurveFilterKeySync();

    // One curve is always synchronised: error 1, false.
    bool NeedApply(VFCurve& curve) override;
    // True (with error 2) when key counts differ, true (with error 3) when some
    // key time differs from the first curve's; false when the curves are in step
    // or the first has no key.
    bool NeedApply(VFCurve** curves, int count) override;
    // NeedApply on the curves of the node's children (children without a curve
    // left out); a node with 20 children or more: error 4, false. The recursive
    // flag is not used.
    bool NeedApply(VFCurveNode& node, bool recursive) override;

    // Refused: error 1, false.
    bool Apply(VFCurve& curve) override;
    // Inserts, in every curve, a shape-keeping key at each key time of the others
    // inside the span. Fewer than two curves: error 1, false, nothing changed.
    bool Apply(VFCurve** curves, int count) override;
    // Apply on the curves of the node's children, with the same limit as
    // NeedApply.
    bool Apply(VFCurveNode& node, bool recursive) override;

private:
    // Collects the curves of the node's children; false (error 4) when there are
    // too many.
    bool CollectChildCurves(VFCurveNode& node, VFCurve** curves, int& count);
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_SYNC_H
