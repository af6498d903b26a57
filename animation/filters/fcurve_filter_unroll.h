#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_UNROLL_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_UNROLL_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Makes the three Euler angle curves of a rotation continuous: after giving
// them keys at common times, each key's triple is replaced by the equivalent
// triple (in the node's rotation order) closest to the previous key's, so that
// interpolation does not spin the long way round after a wrap at +-180 degrees.
// Keys in the span are rewritten; the curves keep their key times.
class OXA_API VFCurveFilterUnroll : public VFCurveFilter {
public:
    // Name "Unroll Filter", then Reset.
    VFCurveFilterUnroll();

    // Refused: works only on rotations (error 2), false.
    bool Apply(VFCurve& curve) override;
    // Exactly three curves X, Y, Z (any other count, or a null curve: error 2,
    // false), unrolled in the XYZ order.
    bool Apply(VFCurve** curves, int count) override;
    // A rotation node (layer type 2) with three children that own curves;
    // otherwise error 2. A tree without keys: error 0. The node is unchanged on
    // failure. The recursive flag is not used.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; threshold and check from the process-wide
    // import settings.
    void Reset() override;

    // With the check on, a step whose rotation is small compared with its Euler
    // distance (a quality measure below the threshold) does not become the
    // reference for the next key.
    void SetQualityThreshold(double threshold) { mQualityThreshold = threshold; }
    double GetQualityThreshold() const { return mQualityThreshold; }
    void SetQualityCheck(bool check) { mQualityCheck = check; }
    bool GetQualityCheck() const { return mQualityCheck; }

    // The rewrite in place of curves keyed at common times (on by default) can be turned off so
    // that tests compare it with the general path through copies.
    static void SetInPlaceEnabled(bool enabled) { gUnrollInPlaceEnabled = enabled; }

private:
    bool Unroll(VFCurve* curves[3], int order);
    bool UnrollInPlace(VFCurve* curves[3], int order, VTime start, VTime stop);

    static bool gUnrollInPlaceEnabled;

    double mQualityThreshold = 0.25;
    bool mQualityCheck = false;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_UNROLL_H
