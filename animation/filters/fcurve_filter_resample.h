#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_RESAMPLE_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_RESAMPLE_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Replaces the keys of a curve inside the span by keys at a regular period (and
// one at the end of the span when it is not a whole number of periods), keeping
// the curve's shape; keys outside the span stay. Samples are cubic auto keys,
// or keep the type of the key they fall on.
class OXA_API VFCurveFilterResample : public VFCurveFilter {
public:
    // Name "FCurve Resample", then Reset.
    VFCurveFilterResample();

    // Resamples the span. Period <= 0: error 0 ("Bad Period"); an infinite end
    // left after taking the key times, an empty span, or one of more than 2^24
    // periods: error 1 ("Bad Interval"). Unchanged on failure.
    bool Apply(VFCurve& curve) override;
    // Apply on every curve in order; true.
    bool Apply(VFCurve** curves, int count) override;
    // Apply on every child (when recursive) and the node's own curve; true.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; no alignment, a period of one frame of the
    // default time mode, key types not kept.
    void Reset() override;

    // With alignment, a start that is not a multiple of the period moves to the
    // next multiple (only when that multiple is past the first period).
    virtual void SetAlignToPeriod(bool align) { mAlignToPeriod = align; }
    virtual bool GetAlignToPeriod() const { return mAlignToPeriod; }
    virtual VTime GetPeriod() const { return mPeriod; }
    virtual void SetPeriod(VTime period) { mPeriod = period; }
    void SetKeepKeyTypes(bool keep) { mKeepKeyTypes = keep; }
    bool GetKeepKeyTypes() const { return mKeepKeyTypes; }

private:
    bool mAlignToPeriod = false;
    VTime mPeriod;
    bool mKeepKeyTypes = false;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_RESAMPLE_H
