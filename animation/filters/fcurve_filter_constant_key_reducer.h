#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_CONSTANT_KEY_REDUCER_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_CONSTANT_KEY_REDUCER_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Removes keys that lie on a flat stretch of a curve: a key goes when it and
// its neighbours, two on each side inside the span, all stay within the value
// tolerance of the key that starts the stretch and none of them is a cubic key
// with other than plain automatic tangents. A curve that is flat everywhere
// loses every key and keeps as its default a value within the tolerance of
// every key's (or keeps its first key).
//
// The tolerance follows what a node animates, recognised by the node's or its
// parent's name: rotation ("R", "Lcl Rotation"), scaling ("S", "Lcl Scaling"),
// translation ("T", "Lcl Translation") or other. A value or derivative
// tolerance still at its default 0.009 takes the kind's tolerance; on scaling
// nodes only a tolerance set to exactly 0.004 does.
class OXA_API VFCurveFilterConstantKeyReducer : public VFCurveFilter {
public:
    // Name "Constant Key Reducer", then Reset.
    VFCurveFilterConstantKeyReducer();

    // Removes the flat keys of the span. A curve without keys: error 0, false.
    bool Apply(VFCurve& curve) override;
    // Apply on every curve in order; true.
    bool Apply(VFCurve** curves, int count) override;
    // Applies to the tree with the tolerances of each node's kind. A tree whose
    // keys are all constant-interpolation keys answers false, unchanged and
    // without an error.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; tolerances 0.009 (scaling 0.004), both flags
    // off.
    void Reset() override;

    double GetDerivativeTolerance() const { return mDerivativeTolerance; }
    void SetDerivativeTolerance(double value) { mDerivativeTolerance = value; }
    double GetValueTolerance() const { return mValueTolerance; }
    void SetValueTolerance(double value) { mValueTolerance = value; }
    double GetTranslationTolerance() const { return mTranslationTolerance; }
    void SetTranslationTolerance(double value) { mTranslationTolerance = value; }
    double GetRotationTolerance() const { return mRotationTolerance; }
    void SetRotationTolerance(double value) { mRotationTolerance = value; }
    double GetScalingTolerance() const { return mScalingTolerance; }
    void SetScalingTolerance(double value) { mScalingTolerance = value; }
    double GetOtherTolerance() const { return mOtherTolerance; }
    void SetOtherTolerance(double value) { mOtherTolerance = value; }
    // Kept for callers; the reduction does not consult it.
    bool GetFirstFlag() const { return mFirstFlag; }
    void SetFirstFlag(bool value) { mFirstFlag = value; }
    // When a whole curve is flat, keep its first key in the span instead of
    // clearing the curve.
    bool GetKeepOneKey() const { return mKeepOneKey; }
    void SetKeepOneKey(bool value) { mKeepOneKey = value; }

private:
    double mDerivativeTolerance = 0.009;
    double mValueTolerance = 0.009;
    double mTranslationTolerance = 0.009;
    double mRotationTolerance = 0.009;
    double mScalingTolerance = 0.004;
    double mOtherTolerance = 0.009;
    bool mFirstFlag = false;
    bool mKeepOneKey = false;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_CONSTANT_KEY_REDUCER_H
