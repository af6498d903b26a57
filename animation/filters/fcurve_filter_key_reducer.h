#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_REDUCER_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_REDUCER_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Rebuilds a densely keyed curve inside the span with as few of its own keys as
// keep it within a precision: starting from the span's two end keys it adds,
// recursively, the source key where the rebuilt curve is farthest from the
// source, until no source key is farther than the precision. Added keys keep
// the source key's time, value and slopes (user tangents, broken when the two
// slopes differ). Keys outside the span stay. Optionally the reduced curves of
// an array or a node are synchronised afterwards.
class OXA_API VFCurveFilterKeyReducer : public VFCurveFilter {
public:
    // Name "Bezier Fit/Key Reducer", then Reset.
    VFCurveFilterKeyReducer();

    // Reduces the span. Fewer than two keys, or a span of zero length: error 1,
    // false, unchanged.
    bool Apply(VFCurve& curve) override;
    // Apply on every curve, then (key sync on, two curves or more) synchronises
    // them; true.
    bool Apply(VFCurve** curves, int count) override;
    // Apply on the tree, then (key sync on, two children or more) synchronises
    // the children; true.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; precision 1.0; key sync off.
    void Reset() override;

    // The largest distance allowed between a source key's value and the rebuilt
    // curve.
    void SetPrecision(double precision) { mPrecision = precision; }
    double GetPrecision() const { return mPrecision; }
    void SetKeySync(bool keySync) { mKeySync = keySync; }
    bool GetKeySync() const { return mKeySync; }

private:
    // Fills `reduced` with the fitted keys of `source` between start and stop.
    void Fit(VFCurve& source, VFCurve& reduced, VTime start, VTime stop);

    double mPrecision = 1.0;
    bool mKeySync = false;
    int mDepth = 0;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_KEY_REDUCER_H
