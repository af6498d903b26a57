#ifndef OXA_ANIMATION_FILTERS_FCURVE_FILTER_MATRIX_CONVERTER_H
#define OXA_ANIMATION_FILTERS_FCURVE_FILTER_MATRIX_CONVERTER_H

#include <oxa/animation/filters/fcurve_filter.h>
#include <oxa/base/oxa_export.h>

// Rewrites the translation, rotation and scaling animation of one transform
// curve node so that the node keeps the same motion when the fixed transforms
// around its animated T, R and S (offsets, pivots, pre- and post-rotations)
// change from a source set to a destination set. The animation is sampled at
// the resampling period; each sample's full transform is composed with the
// source set and taken apart with the destination set, and the parts become the
// new keys. Afterwards the rotation can be unrolled and resampled and constant
// keys removed.
//
// Matrix slots 0..12 (4x4 doubles, row-vector form, "A . B" = A applied first):
//   M = m7 . inv(m12) . m6 . S . m5 . m12 . inv(m11) . m4 . R . m3 . m11 . P .
//   m2 . T . m1 . m0
// where P carries only the translation of m8 . (m4 or m10) . R . (m3 or m9).
// Slots 8 to 12 take part in the composition only. Rotations are Euler angles
// in degrees: the source rotation order turns the R values into R, the
// destination order takes R' apart (both XYZ unless set).
class OXA_API VFCurveFilterMatrixConverter : public VFCurveFilter {
public:
    enum { eMatrixCount = 13 };

    // Name "FCurve Matrix Converter"; every matrix identity; period 0; then
    // Reset.
    VFCurveFilterMatrixConverter();

    // Refused: error 2, false.
    bool Apply(VFCurve& curve) override;
    bool Apply(VFCurve** curves, int count) override;
    // Converts the node's T, R and S curves (see the class comment), then unrolls
    // and resamples "R" and removes constant keys when asked. False with error 1
    // when the two sets are equal (nothing converted), error 3 when one of the
    // nine curves is missing, error 4 ("Bad Period") when the resampling period is
    // not positive (then nothing at all is done) or the span holds more than 2^24
    // periods. The recursive flag is not used.
    bool Apply(VFCurveNode& node, bool recursive) override;
    // Span to the whole time line; every identity flag set (matrix values kept);
    // align, last key at end time, unroll, constant key reducer and convert
    // translation on; both rotation orders XYZ. The period is kept.
    void Reset() override;

    // Rotation order codes, 2 x the node rotation order: 0 "Euler XYZ", 2 XZY,
    // 4 YZX, 6 YXZ, 8 ZXY, 10 ZYX (the first-named axis turns a point first;
    // each angle stays in the curve of its own axis), 12 "Spheric XYZ". The
    // source order reads the R values (keys and defaults), the destination
    // order writes R'. Any other code is stored as 0. Differing orders count as
    // differing sets, so they alone make a conversion.
    void SetSourceRotationOrder(int code);
    int GetSourceRotationOrder() const { return mSourceOrder; }
    void SetDestinationRotationOrder(int code);
    int GetDestinationRotationOrder() const { return mDestinationOrder; }

    // Stores matrix `index` (0..12; others are ignored). Its identity flag is set
    // when the 3x3 part and the translation row are within 1e-6 of the identity;
    // the set's all-identity flag stays set only while every matrix set since
    // Reset was an identity.
    void SetSourceMatrix(int index, const double matrix[4][4]);
    void SetDestinationMatrix(int index, const double matrix[4][4]);
    // Copies matrix `index` out (nothing for an index outside 0..12).
    void GetSourceMatrix(int index, double matrix[4][4]) const;
    void GetDestinationMatrix(int index, double matrix[4][4]) const;

    void SetResamplingPeriod(VTime period) { mPeriod = period; }
    VTime GetResamplingPeriod() const { return mPeriod; }
    void SetAlignToPeriod(bool align) { mAlignToPeriod = align; }
    bool GetAlignToPeriod() const { return mAlignToPeriod; }
    void SetLastKeyAtEndTime(bool last) { mLastKeyAtEndTime = last; }
    bool GetLastKeyAtEndTime() const { return mLastKeyAtEndTime; }
    void SetApplyUnroll(bool apply) { mApplyUnroll = apply; }
    bool GetApplyUnroll() const { return mApplyUnroll; }
    void SetApplyConstantKeyReducer(bool apply) { mApplyConstantKeyReducer = apply; }
    bool GetApplyConstantKeyReducer() const { return mApplyConstantKeyReducer; }
    // Whether the translation curves are replaced too. A conversion that uses
    // slots 8, 11 or 12 turns it on (and it stays on).
    void SetConvertTranslation(bool convert) { mConvertTranslation = convert; }
    bool GetConvertTranslation() const { return mConvertTranslation; }

    // One set of transforms around T, R and S.
    struct MatrixSet {
        double mMatrix[eMatrixCount][4][4];
        bool mIdentity[eMatrixCount];
        bool mAllIdentity;
    };

private:
    bool Convert(VFCurveNode& node);
    // T', R', S' of the transform T, R, S through the source set and back through
    // the inverted destination set `inverted`.
    void ConvertTRS(const double t[3], const double r[3], const double s[3], const MatrixSet& inverted,
                    double tOut[3], double rOut[3], double sOut[3]);

    MatrixSet mSource;
    MatrixSet mDestination;
    VTime mPeriod;
    bool mAlignToPeriod = true;
    bool mLastKeyAtEndTime = true;
    bool mApplyUnroll = true;
    bool mApplyConstantKeyReducer = true;
    bool mConvertTranslation = true;
    int mSourceOrder = 0;
    int mDestinationOrder = 0;
};

#endif  // OXA_ANIMATION_FILTERS_FCURVE_FILTER_MATRIX_CONVERTER_H
