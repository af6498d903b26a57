#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_TIME_SHIFT_SCALE_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_TIME_SHIFT_SCALE_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Moves every key of a curve in time by a fixed shift and, with a positive
// scale other than 1, stretches the shifted times: a key at k ends at (k +
// shift) x scale. The span is not consulted. Unlike the other filters its span
// stays 0 .. 0 until set, and Reset leaves shift and scale.
class OXA_API VFCurveFilterTimeShiftAndScale : public VFCurveFilter {
public:
    // Name "TimeShiftAndScaleFilter"; shift 0, scale 1.
    VFCurveFilterTimeShiftAndScale();

    // Moves the keys. Shift 0 with a scale of 1 or <= 0: error 1, false; a curve
    // without keys: error 0, false. A scale <= 0 is ignored (only the shift
    // applies). Keys that scaling would bring onto the same tick are kept one
    // tick apart, so the key order survives.
    bool Apply(VFCurve& curve) override;
    // Apply on every curve in order; true.
    bool Apply(VFCurve** curves, int count) override;
    // Apply on every child (when recursive) and the node's own curve; true.
    bool Apply(VFCurveNode& node, bool recursive) override;

    virtual VTime GetShift() const { return mShift; }
    virtual void SetShift(VTime shift) { mShift = shift; }
    virtual double GetScale() const { return mScale; }
    virtual void SetScale(double scale) { mScale = scale; }

private:
    VTime mShift;
    double mScale = 1.0;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_TIME_SHIFT_SCALE_H
