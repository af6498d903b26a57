#include "base/vge_matrix.h"

#include <cmath>
#include <cstring>

namespace {

// The 3x3 part of m with each row divided by its length, the lengths negated when m is
// left-handed, so that a mirrored matrix yields a proper rotation. Zero rows stay zero.
void RotationOfRows(double out[4][4], const double m[4][4]) {
    double s[3];
    VgeMatrixToScaling(s, m);
    VgeMatrixIdentity(out);
    for (int r = 0; r < 3; ++r) {
        double f = s[r] != 0.0 ? 1.0 / s[r] : 0.0;
        for (int c = 0; c < 3; ++c)
            out[r][c] = m[r][c] * f;
    }
}

}  // namespace

void VgeMatrixFromTRS(double out[4][4], const double* t, const double* r, const double* s) {
    VgeEulerXYZToMatrix(out, r[0], r[1], r[2]);
    VgeMatrixScaleRows(out, out, s);
    for (int i = 0; i < 3; ++i)
        out[i][3] = 0.0;
    VgeMatrixSetTranslation(out, t[0], t[1], t[2]);
    out[3][3] = 1.0;
}

int VgeMatrixCompareAffine(const double a[4][4], const double b[4][4], double tolerance) {
    if (tolerance == 0.0) {
        int c = std::memcmp(a, b, 12 * sizeof(double));
        if (c == 0) c = std::memcmp(a[3], b[3], 3 * sizeof(double));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            if (!(std::fabs(a[r][c] - b[r][c]) <= tolerance)) return 1;
    return 0;
}

void VgeAMatrix::SetR(const VgeTVector& r) {
    double s[3];
    VgeMatrixToScaling(s, mData);
    double t[3] = {mData[3][0], mData[3][1], mData[3][2]};
    VgeMatrixFromTRS(mData, t, r.mData, s);
}

void VgeAMatrix::SetS(const VgeTVector& s) {
    double r[3];
    VgeMatrixToEulerXYZScaled(r, mData);
    double t[3] = {mData[3][0], mData[3][1], mData[3][2]};
    VgeMatrixFromTRS(mData, t, r, s.mData);
}

void VgeAMatrix::SetQ(const VgeVector4& q) {
    double s[3];
    VgeMatrixToScaling(s, mData);
    VgeQuaternionToMatrix(mData, q.mData);
    VgeMatrixScaleRows(mData, mData, s);
    for (int i = 0; i < 3; ++i)
        mData[i][3] = 0.0;
    mData[3][3] = 1.0;
}

VgeTVector VgeAMatrix::GetR() const {
    VgeTVector out;
    VgeMatrixToEulerXYZScaled(out.mData, mData);
    return out;
}

VgeTVector VgeAMatrix::GetS() const {
    VgeTVector out;
    VgeMatrixToScaling(out.mData, mData);
    return out;
}

VgeVector4 VgeAMatrix::GetQ() const {
    double rot[4][4];
    RotationOfRows(rot, mData);
    VgeVector4 out;
    VgeMatrixToQuaternion(out.mData, rot);
    return out;
}

VgeAMatrix VgeAMatrix::Inverse() const {
    VgeAMatrix out;
    VgeMatrixInverseOrthogonal(out.mData, mData);
    return out;
}

VgeAMatrix VgeAMatrix::Transpose() const {
    VgeAMatrix out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.mData[r][c] = mData[c][r];
    return out;
}

VgeAMatrix VgeAMatrix::operator*(const VgeAMatrix& other) const {
    VgeAMatrix out;
    VgeMatrixMult4(out.mData, mData, other.mData);
    return out;
}
