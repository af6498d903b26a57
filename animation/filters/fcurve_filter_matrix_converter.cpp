#include "animation/filters/fcurve_filter_matrix_converter.h"

#include <cmath>
#include <cstring>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "animation/filters/fcurve_filter_resample.h"
#include "animation/filters/fcurve_filter_unroll.h"
#include "animation/filters/filter_support.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged",
                                 "Invalid Apply method.  Use "
                                 "VFCurveFilterMatrixConverter::Apply(VFCurveNode&, bool)",
                                 "Missing at least a transform VFCurve.  pCurveNode must possess T(x, y, "
                                 "z), R(x, y, z), S(x, y, z) VFCurves",
                                 "Bad Period"};

constexpr double kIdentityTolerance = 1e-6;

using Matrix = double[4][4];

// The twelve compared entries (3x3 part and translation row) within 1e-6 of
// each other.
bool SameAffine(const double a[4][4], const double b[4][4]) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (!(std::fabs(a[r][c] - b[r][c]) <= kIdentityTolerance)) return false;
        }
    }
    return true;
}

bool IsIdentity(const double m[4][4]) {
    Matrix identity;
    VgeMatrixIdentity(identity);
    return SameAffine(m, identity);
}

// out = a . b (a applied first) for affine matrices; out may alias a or b.
void Then(double out[4][4], const double a[4][4], const double b[4][4]) {
    Matrix r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + (i == 3 ? b[3][j] : 0.0);
        }
        r[i][3] = i == 3 ? 1.0 : 0.0;
    }
    std::memcpy(out, r, sizeof(Matrix));
}

// Multiplies `acc` by m (acc . m) unless the slot is identity.
void ThenSlot(double acc[4][4], const VFCurveFilterMatrixConverter::MatrixSet& set, int slot) {
    if (!set.mIdentity[slot]) Then(acc, acc, set.mMatrix[slot]);
}

void ThenInverseSlot(double acc[4][4], const VFCurveFilterMatrixConverter::MatrixSet& set, int slot) {
    if (set.mIdentity[slot]) return;
    Matrix inverse;
    VgeMatrixInverseOrthogonal(inverse, set.mMatrix[slot]);
    Then(acc, acc, inverse);
}

void Diagonal(double out[4][4], double x, double y, double z) {
    VgeMatrixIdentity(out);
    out[0][0] = x;
    out[1][1] = y;
    out[2][2] = z;
}

// diag(1 / s) with a zero component left at 1, so a degenerate scaling gives
// finite keys.
void InverseDiagonal(double out[4][4], const double s[3]) {
    Diagonal(out, s[0] != 0.0 ? 1.0 / s[0] : 1.0, s[1] != 0.0 ? 1.0 / s[1] : 1.0,
             s[2] != 0.0 ? 1.0 / s[2] : 1.0);
}

// The pure rotation of a matrix: its XYZ Euler angles turned back into a
// matrix.
void PureRotation(double out[4][4], const double m[4][4]) {
    double angles[3];
    VgeMatrixToEulerXYZScaled(angles, m);
    VgeMatrixIdentity(out);
    VgeEulerXYZToMatrix(out, angles[0], angles[1], angles[2]);
}

void StoreMatrix(VFCurveFilterMatrixConverter::MatrixSet& set, int index, const double m[4][4]) {
    if (index < 0 || index >= VFCurveFilterMatrixConverter::eMatrixCount) return;
    std::memcpy(set.mMatrix[index], m, sizeof(Matrix));
    set.mIdentity[index] = IsIdentity(m);
    if (!set.mIdentity[index]) set.mAllIdentity = false;
}

// Key type of `curve` at t: that of the key the time falls on or after; cubic
// auto without keys.
void KeyTypeAt(const VFCurve& curve, VTime t, int* hint, unsigned& interpolation, unsigned& tangent) {
    int i = (int)curve.KeyFind(t, hint);
    interpolation = kCubic;
    tangent = kTangentAuto;
    if (i < 0) return;
    interpolation = curve.KeyGetInterpolation(i);
    tangent = curve.KeyGetTangentMode(i);
    if (tangent != kTangentAuto && tangent != kTangentAutoBreak && tangent != kTangentTCB &&
        tangent != kTangentUser && tangent != kTangentUserBreak) {
        tangent = kTangentAuto;
    }
}

// Rotation order codes: the six Euler orders (even codes 0..10) and the
// spheric form (12).
constexpr int kSphericCode = 12;

int ValidOrderCode(int code) {
    return (code >= 0 && code <= kSphericCode && code % 2 == 0) ? code : 0;
}

// The axes (i, j, k) of an even Euler code, first-applied first.
const int kOrderAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};

constexpr double kHalfRadiansPerDegree = 0.008726646259971648;
constexpr double kDegreesPerHalfRadian = 114.59155902616465;

// The 3x3 part of out becomes the rotation of the angles r (degrees, one per
// axis) in the order `code`; the rest of out is the identity.
void RotationFromAngles(double out[4][4], const double r[3], int code) {
    VgeMatrixIdentity(out);
    if (code == 0) {
        VgeEulerXYZToMatrix(out, r[0], r[1], r[2]);
    } else if (code == kSphericCode) {
        // The spheric form: a quaternion built from the half angles.
        double cx = std::cos(r[0] * kHalfRadiansPerDegree), sx = std::sin(r[0] * kHalfRadiansPerDegree);
        double cy = std::cos(r[1] * kHalfRadiansPerDegree), sy = std::sin(r[1] * kHalfRadiansPerDegree);
        double cz = std::cos(r[2] * kHalfRadiansPerDegree), sz = std::sin(r[2] * kHalfRadiansPerDegree);
        double q[4] = {sx * cy * cz, cx * sy + sx * sz, cx * sz - sx * sy, cx * cy * cz};
        VgeQuaternionToMatrix(out, q);
    } else {
        const int* axes = kOrderAxes[code / 2];
        VgeEulerToMatrix(out, r[axes[0]], r[axes[1]], r[axes[2]], code);
    }
}

// The angles (degrees, one per axis) of the rotation in the 3x3 part of m in
// the order `code`: the inverse of RotationFromAngles.
void AnglesFromRotation(double out[3], const double m[4][4], int code) {
    if (code == 0) {
        VgeMatrixToEulerXYZ(out, m);
    } else if (code == kSphericCode) {
        // With q = k (sx cy cz, cx sy + sx sz, cx sz - sx sy, cx cy cz) over the
        // half angles: x from the ratio of the first and last components; then
        // A = k sy and B = k sz by turning (Y, Z) back by x, P = k cy cz, and
        // k^2 the larger root of K^2 - (A^2 + B^2 + P^2) K + A^2 B^2 = 0, which
        // keeps |sy|, |sz| <= 1 with cy, cz >= 0.
        double q[4];
        VgeMatrixToQuaternion(q, m);
        if (q[3] < 0.0) {
            for (double& c : q)
                c = -c;
        }
        double hx = std::atan2(q[0], q[3]);
        double cx = std::cos(hx), sx = std::sin(hx);
        double a = cx * q[1] - sx * q[2];
        double b = sx * q[1] + cx * q[2];
        double p2 = q[0] * q[0] + q[3] * q[3];
        double sum = a * a + b * b + p2;
        double root = std::sqrt(((a - b) * (a - b) + p2) * ((a + b) * (a + b) + p2));
        double k = std::sqrt(0.5 * (sum + root));
        double sy = k > 0.0 ? a / k : 0.0;
        double sz = k > 0.0 ? b / k : 0.0;
        sy = sy > 1.0 ? 1.0 : (sy < -1.0 ? -1.0 : sy);
        sz = sz > 1.0 ? 1.0 : (sz < -1.0 ? -1.0 : sz);
        out[0] = hx * kDegreesPerHalfRadian;
        out[1] = std::asin(sy) * kDegreesPerHalfRadian;
        out[2] = std::asin(sz) * kDegreesPerHalfRadian;
    } else {
        const int* axes = kOrderAxes[code / 2];
        double a[3];
        VgeMatrixToEuler(a, m, code);
        out[axes[0]] = a[0];
        out[axes[1]] = a[1];
        out[axes[2]] = a[2];
    }
}

// The child of `channel` named `axis`, with its curve.
VFCurve* AxisCurve(VFCurveNode* channel, const char* axis) {
    if (!channel) return nullptr;
    int index = channel->Find(axis);
    return index >= 0 ? channel->Get(index)->FCurveGet() : nullptr;
}

}  // namespace

VFCurveFilterMatrixConverter::VFCurveFilterMatrixConverter()
    : VFCurveFilter("FCurve Matrix Converter", kMessages, 5), mPeriod(0) {
    for (int i = 0; i < eMatrixCount; ++i) {
        VgeMatrixIdentity(mSource.mMatrix[i]);
        VgeMatrixIdentity(mDestination.mMatrix[i]);
    }
    Reset();
}

void VFCurveFilterMatrixConverter::Reset() {
    VFCurveFilter::Reset();
    for (int i = 0; i < eMatrixCount; ++i) {
        mSource.mIdentity[i] = true;
        mDestination.mIdentity[i] = true;
    }
    mSource.mAllIdentity = true;
    mDestination.mAllIdentity = true;
    mAlignToPeriod = true;
    mLastKeyAtEndTime = true;
    mApplyUnroll = true;
    mApplyConstantKeyReducer = true;
    mConvertTranslation = true;
    mSourceOrder = 0;
    mDestinationOrder = 0;
}

void VFCurveFilterMatrixConverter::SetSourceRotationOrder(int code) {
    mSourceOrder = ValidOrderCode(code);
}

void VFCurveFilterMatrixConverter::SetDestinationRotationOrder(int code) {
    mDestinationOrder = ValidOrderCode(code);
}

void VFCurveFilterMatrixConverter::SetSourceMatrix(int index, const double matrix[4][4]) {
    StoreMatrix(mSource, index, matrix);
}

void VFCurveFilterMatrixConverter::SetDestinationMatrix(int index, const double matrix[4][4]) {
    StoreMatrix(mDestination, index, matrix);
}

void VFCurveFilterMatrixConverter::GetSourceMatrix(int index, double matrix[4][4]) const {
    if (index >= 0 && index < eMatrixCount) std::memcpy(matrix, mSource.mMatrix[index], sizeof(Matrix));
}

void VFCurveFilterMatrixConverter::GetDestinationMatrix(int index, double matrix[4][4]) const {
    if (index >= 0 && index < eMatrixCount) std::memcpy(matrix, mDestination.mMatrix[index], sizeof(Matrix));
}

bool VFCurveFilterMatrixConverter::Apply(VFCurve&) {
    mError.SetLastError(2, "MatrixConverter, invalid apply method.");
    return false;
}

bool VFCurveFilterMatrixConverter::Apply(VFCurve**, int) {
    mError.SetLastError(2, "MatrixConverter, invalid apply method.");
    return false;
}

bool VFCurveFilterMatrixConverter::Apply(VFCurveNode& node, bool) {
    // Without a positive period the sampling below could not advance.
    if (mPeriod.Get() <= 0) {
        mError.SetLastError(4, "MatrixConverter, Invalid resampling period.");
        return false;
    }
    bool equal = mSourceOrder == mDestinationOrder;
    for (int i = 0; i < eMatrixCount && equal; ++i) {
        equal = SameAffine(mSource.mMatrix[i], mDestination.mMatrix[i]);
    }
    bool answer = false;
    if (equal) {
        mError.SetLastError(1, "MatrixConverter, No key were changed by filter.");
    } else {
        // The destination set takes part through its inverses.
        MatrixSet inverted = mDestination;
        for (int i = 0; i < eMatrixCount; ++i) {
            if (!inverted.mIdentity[i])
                VgeMatrixInverseOrthogonal(inverted.mMatrix[i], mDestination.mMatrix[i]);
        }
        std::swap(inverted, mDestination);
        answer = Convert(node);
        std::swap(inverted, mDestination);
    }

    if (mApplyUnroll) {
        if (VFCurveNode* rotation = node.FindChild("R")) {
            VFCurveFilterUnroll unroll;
            unroll.Apply(*rotation, true);
            VFCurveFilterResample resample;
            resample.SetKeepKeyTypes(true);
            resample.SetPeriod(mPeriod);
            resample.SetAlignToPeriod(mAlignToPeriod);
            resample.Apply(*rotation, true);
        }
    }
    if (mApplyConstantKeyReducer) {
        VFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(node, true);
    }
    return answer;
}

void VFCurveFilterMatrixConverter::ConvertTRS(const double t[3], const double r[3], const double s[3],
                                              const MatrixSet& d, double tOut[3], double rOut[3],
                                              double sOut[3]) {
    const MatrixSet& m = mSource;
    Matrix rotation, scaling, translation;
    RotationFromAngles(rotation, r, mSourceOrder);
    Diagonal(scaling, s[0], s[1], s[2]);
    VgeMatrixIdentity(translation);
    translation[3][0] = t[0];
    translation[3][1] = t[1];
    translation[3][2] = t[2];

    // Composition with the source set, innermost (applied first) to outermost.
    Matrix acc;
    VgeMatrixIdentity(acc);
    ThenSlot(acc, m, 7);
    ThenInverseSlot(acc, m, 12);
    ThenSlot(acc, m, 6);
    Then(acc, acc, scaling);
    ThenSlot(acc, m, 5);
    ThenSlot(acc, m, 12);
    ThenInverseSlot(acc, m, 11);
    ThenSlot(acc, m, 4);
    Then(acc, acc, rotation);
    ThenSlot(acc, m, 3);
    ThenSlot(acc, m, 11);
    if (!m.mIdentity[8]) {
        // Compensation: only the translation of m8 . x4 . R . x3 is applied.
        Matrix compensation;
        std::memcpy(compensation, m.mMatrix[8], sizeof(Matrix));
        int inner = !m.mIdentity[4] ? 4 : (!m.mIdentity[10] ? 10 : -1);
        int outer = !m.mIdentity[3] ? 3 : (!m.mIdentity[9] ? 9 : -1);
        if (inner >= 0) Then(compensation, compensation, m.mMatrix[inner]);
        Then(compensation, compensation, rotation);
        if (outer >= 0) Then(compensation, compensation, m.mMatrix[outer]);
        Matrix p;
        VgeMatrixIdentity(p);
        p[3][0] = compensation[3][0];
        p[3][1] = compensation[3][1];
        p[3][2] = compensation[3][2];
        Then(acc, acc, p);
    }
    if (!m.mIdentity[8] || !m.mIdentity[11] || !m.mIdentity[12]) mConvertTranslation = true;
    ThenSlot(acc, m, 2);
    Then(acc, acc, translation);
    ThenSlot(acc, m, 1);
    ThenSlot(acc, m, 0);

    // Decomposition with the (inverted) destination set.
    Matrix inverseScaling;
    if (mDestination.mAllIdentity) {
        VgeMatrixToScaling(sOut, acc);
        InverseDiagonal(inverseScaling, sOut);
        Matrix unscaled;
        Then(unscaled, inverseScaling, acc);
        AnglesFromRotation(rOut, unscaled, mDestinationOrder);
        for (int c = 0; c < 3; ++c)
            tOut[c] = acc[3][c];
        return;
    }
    Matrix l;
    VgeMatrixIdentity(l);
    ThenSlot(l, d, 6);
    ThenSlot(l, d, 7);
    Then(l, l, acc);
    ThenSlot(l, d, 1);
    ThenSlot(l, d, 0);

    double factor[3] = {1.0, 1.0, 1.0};
    for (int slot : {5, 4, 3, 2}) {
        if (d.mIdentity[slot]) continue;
        double part[3];
        VgeMatrixToScaling(part, d.mMatrix[slot]);
        for (int c = 0; c < 3; ++c)
            factor[c] *= part[c];
    }
    double lengths[3];
    VgeMatrixToScaling(lengths, l);
    for (int c = 0; c < 3; ++c)
        sOut[c] = factor[c] != 0.0 ? lengths[c] / factor[c] : lengths[c];

    Matrix l1;
    VgeMatrixIdentity(l1);
    ThenSlot(l1, d, 4);
    ThenSlot(l1, d, 5);
    InverseDiagonal(inverseScaling, sOut);
    Then(l1, l1, inverseScaling);
    Then(l1, l1, l);

    Matrix q, qt, pure, ro;
    if (!d.mIdentity[2]) {
        PureRotation(q, d.mMatrix[2]);
    } else if (!d.mIdentity[3]) {
        PureRotation(q, d.mMatrix[3]);
    } else {
        VgeMatrixIdentity(q);
    }
    VgeMatrixIdentity(qt);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            qt[i][j] = q[j][i];
    }
    PureRotation(pure, l1);
    pure[3][0] = pure[3][1] = pure[3][2] = 0.0;
    Then(ro, pure, qt);
    AnglesFromRotation(rOut, ro, mDestinationOrder);
    if (mDestinationOrder == 0) {
        PureRotation(ro, ro);
    } else {
        RotationFromAngles(ro, rOut, mDestinationOrder);
    }

    Matrix l2, inverseRo;
    VgeMatrixIdentity(l2);
    ThenSlot(l2, d, 2);
    ThenSlot(l2, d, 3);
    VgeMatrixInverseOrthogonal(inverseRo, ro);
    Then(l2, l2, inverseRo);
    Then(l2, l2, l1);
    for (int c = 0; c < 3; ++c)
        tOut[c] = l2[3][c];
}

bool VFCurveFilterMatrixConverter::Convert(VFCurveNode& node) {
    VFCurveNode* channels[3] = {node.FindChild("T"), node.FindChild("R"), node.FindChild("S")};
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    VFCurve* source[9];
    for (int k = 0; k < 9; ++k) {
        source[k] = AxisCurve(channels[k / 3], kAxes[k % 3]);
        if (!source[k]) {
            mError.SetLastError(3, "MatrixConverter, Missing curve.");
            return false;
        }
    }

    // Each channel gives three values (a quaternion rotation gives three angles).
    for (VFCurveNode* channel : channels) {
        if (channel->GetValueCount() > 4) {
            mError.SetLastError(3, "MatrixConverter, Missing curve.");
            return false;
        }
    }

    CurvePtr created[9];
    for (int k = 0; k < 9; ++k)
        created[k].reset(NewCurveCopy(*source[k], false));

    // Default values go through the same conversion.
    double t[3], r[3], s[3], to[3], ro[3], so[3];
    for (int c = 0; c < 3; ++c) {
        t[c] = source[c]->GetDefaultValue();
        r[c] = source[3 + c]->GetDefaultValue();
        s[c] = source[6 + c]->GetDefaultValue();
    }
    ConvertTRS(t, r, s, mDestination, to, ro, so);
    for (int c = 0; c < 3; ++c) {
        created[c]->SetDefaultValue((float)to[c]);
        created[3 + c]->SetDefaultValue((float)ro[c]);
        created[6 + c]->SetDefaultValue((float)so[c]);
    }

    bool anyKeys = false;
    VTime stop = VTIME_MINUS_INFINITE;
    for (VFCurve* curve : source) {
        int count = curve->KeyGetCount();
        if (count == 0) continue;
        anyKeys = true;
        VTime last = curve->KeyGetTime(count - 1);
        if (last > stop) stop = last;
    }
    if (anyKeys) {
        if (mStop < stop) stop = mStop;
        VTime start = stop;
        for (VFCurve* curve : source) {
            if (curve->KeyGetCount() > 0 && curve->KeyGetTime(0) < start) start = curve->KeyGetTime(0);
        }
        if (mStart > start) start = mStart;
        if (mAlignToPeriod) start = (start / mPeriod) * mPeriod;
        VTime eps = FromSeconds(Seconds(mPeriod) * 0.025);

        int64_t planned = SampleCount(start, stop, mPeriod);
        if (stop >= start && planned < 0) {
            mError.SetLastError(4, "MatrixConverter, Invalid resampling period.");
            return false;
        }
        int reserve = (int)(planned > 0 ? planned : 0) + 2;
        for (auto& curve : created) {
            curve->ResizeKeyBuffer(reserve);
            curve->KeyModifyBegin();
        }

        int hints[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
        int k = 0;
        auto sample = [&](VTime time) {
            double values[3][4];
            channels[0]->Evaluate(values[0], time);
            channels[1]->Evaluate(values[1], time);
            channels[2]->Evaluate(values[2], time);
            ConvertTRS(values[0], values[1], values[2], mDestination, to, ro, so);
            const double* converted[3] = {to, ro, so};
            if (k >= reserve) {
                reserve = k + 64;
                for (auto& curve : created)
                    curve->ResizeKeyBuffer(reserve);
            }
            for (int c = 0; c < 9; ++c) {
                unsigned interpolation, tangent;
                KeyTypeAt(*source[c], time, &hints[c], interpolation, tangent);
                SetSampleKey(*created[c], k, time, (float)converted[c / 3][c % 3], interpolation, tangent);
            }
            ++k;
        };
        VTime time = start;
        while (time < stop - eps) {
            sample(time);
            time = start + mPeriod * k;
        }
        sample(mLastKeyAtEndTime ? stop : time);
        for (auto& curve : created)
            curve->KeyModifyEnd();
    }

    for (int k = 3; k < 9; ++k)
        channels[k / 3]->Get(channels[k / 3]->Find(kAxes[k % 3]))->FCurveReplace(created[k].release());
    if (mConvertTranslation) {
        for (int k = 0; k < 3; ++k)
            channels[0]->Get(channels[0]->Find(kAxes[k]))->FCurveReplace(created[k].release());
    }
    return true;
}
