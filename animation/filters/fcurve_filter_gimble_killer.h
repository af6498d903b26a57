#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_GIMBLE_KILLER_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_GIMBLE_KILLER_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Removes the sudden swings of three Euler rotation curves near gimbal lock or
// after a wrap: every key becomes the triple closest to the previous key, and
// where two consecutive keys still differ by a large Euler step (squared
// distance 75 or more) keys are inserted along the shortest rotation between
// them, halving the step until it is small or shorter than 1/1200 s. Written
// keys are cubic with automatic tangents.
class OXA_API VFCurveFilterGimbleKiller : public VFCurveFilter {
public:
    // Name "Gimble Killer", then Reset.
    VFCurveFilterGimbleKiller();

    // Refused: error 2, false.
    bool Apply(VFCurve& curve) override;
    // Exactly three curves X, Y, Z in the XYZ order; any other count: error 2,
    // false.
    bool Apply(VFCurve** curves, int count) override;
    // A rotation node (layer type 2) with three children "X", "Y", "Z" owning
    // curves: error 2 without three children (or curves), error 3 for another
    // layer type, error 0 when X has no key; the node is unchanged on failure.
    // The recursive flag is not used.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; key sync on.
    void Reset() override;

    // Synchronise the key times of the three curves first.
    void SetKeySync(bool keySync) { mKeySync = keySync; }
    bool GetKeySync() const { return mKeySync; }

private:
    bool Kill(VFCurve* curves[3], int order);

    bool mKeySync = true;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_GIMBLE_KILLER_H
