// 4x4 double matrices in row-vector form: a point p maps to p x M, the translation is row 3, and
// "A then B" is the product A x B. The 3x3 part (rows and columns 0..2) is the rotation part, with
// any scaling folded into its rows. Angles are in degrees.
//
// The free functions work on raw double[4][4] arrays (VMatrix::mData, VgeAMatrix::mData or any
// matrix held in a record) and touch only the elements they name; unless said otherwise an output
// may be the same array as an input. They are inline and allocation-free: transform evaluation
// calls them per node and per time.
#ifndef OXA_BASE_VGE_MATRIX_H
#define OXA_BASE_VGE_MATRIX_H

#include <cmath>
#include <cstring>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_euler.h>
#include <oxa/base/vge_quaternion.h>
#include <oxa/base/vge_vector.h>

// ---------------------------------------------------------------------------------------------
// Free matrix functions

// out = the identity (all 16 elements).
inline void VgeMatrixIdentity(double out[4][4]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = r == c ? 1.0 : 0.0;
}

// out = m, all 16 elements.
inline void VgeMatrixCopy(double out[4][4], const double m[4][4]) {
    if (out != m) std::memcpy(out, m, 16 * sizeof(double));
}

// Copies the 3x3 part and the translation row (columns 0..2 of every row); column 3 of out stays.
inline void VgeMatrixCopyAffine(double out[4][4], const double m[4][4]) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = m[r][c];
}

// Copies the 3x3 part.
inline void VgeRMatrixCopy(double out[4][4], const double m[4][4]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = m[r][c];
}

// out = b x a for affine matrices: 3x3 part b.R x a.R, translation b.T x a.R + a.T, so that
// p x out = (p x b) x a (b then a). Column 3 of out stays.
inline void VgeMatrixMultAffine(double out[4][4], const double a[4][4], const double b[4][4]) {
    double t[4][3];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = b[r][0] * a[0][c] + b[r][1] * a[1][c] + b[r][2] * a[2][c] + (r == 3 ? a[3][c] : 0.0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

// The 3x3 part of out = the 3x3 part of b x a (b then a).
inline void VgeMatrixMultRotation(double out[4][4], const double a[4][4], const double b[4][4]) {
    double t[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = b[r][0] * a[0][c] + b[r][1] * a[1][c] + b[r][2] * a[2][c];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

// The same product as VgeMatrixMultRotation (b x a on the 3x3 parts), under the name the
// transform evaluation uses.
inline void VgeRMatrixMultPlain(double out[4][4], const double a[4][4], const double b[4][4]) {
    VgeMatrixMultRotation(out, a, b);
}

// The 3x3 part of out = the 3x3 part of a x b (a then b). Note the operand order differs from
// VgeMatrixMultRotation.
inline void VgeRMatrixMult(double out[4][4], const double a[4][4], const double b[4][4]) {
    VgeMatrixMultRotation(out, b, a);
}

// out = b x a over all 16 elements (b then a).
inline void VgeMatrixMult4(double out[4][4], const double a[4][4], const double b[4][4]) {
    double t[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t[r][c] = b[r][0] * a[0][c] + b[r][1] * a[1][c] + b[r][2] * a[2][c] + b[r][3] * a[3][c];
    // Row by row rather than one memcpy of the whole block: `out` arrives as a pointer to its first
    // row, and g++ 12 then takes a 128-byte memcpy through it for a write past a 32-byte row.
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out[r][c] = t[r][c];
}

// The inverse of an affine matrix whose three rotation rows are orthogonal (rotation with
// per-row scaling, no shear): the transpose of the 3x3 part with each original row divided by its
// squared length, and the translation -t x the new 3x3 part. A zero-length row has no inverse; it
// contributes a zero column instead of a division by zero. Column 3 of out becomes (0, 0, 0, 1).
inline void VgeMatrixInverseOrthogonal(double out[4][4], const double m[4][4]) {
    double inv[3][3];
    for (int r = 0; r < 3; ++r) {
        double len2 = m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2];
        double f = len2 != 0.0 ? 1.0 / len2 : 0.0;
        for (int c = 0; c < 3; ++c)
            inv[c][r] = m[r][c] * f;
    }
    double t[3];
    for (int c = 0; c < 3; ++c)
        t[c] = -(m[3][0] * inv[0][c] + m[3][1] * inv[1][c] + m[3][2] * inv[2][c]);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            out[r][c] = inv[r][c];
        out[r][3] = 0.0;
    }
    for (int c = 0; c < 3; ++c)
        out[3][c] = t[c];
    out[3][3] = 1.0;
}

// out = b x the inverse of a (b, then undo a), for an affine a whose rotation rows are orthogonal
// (see VgeMatrixInverseOrthogonal). Column 3 of out stays.
inline void VgeMatrixMultInverse(double out[4][4], const double a[4][4], const double b[4][4]) {
    double inv[4][4];
    VgeMatrixInverseOrthogonal(inv, a);
    VgeMatrixMultAffine(out, inv, b);
}

// Transposes the 3x3 part.
inline void VgeMatrixTranspose3(double out[4][4], const double m[4][4]) {
    double t[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = m[c][r];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

// out = a copy of m (all 16 elements) with each rotation row divided by its length; a zero-length
// row stays zero.
inline void VgeMatrixNormalizeRows(double out[4][4], const double m[4][4]) {
    VgeMatrixCopy(out, m);
    for (int r = 0; r < 3; ++r) {
        double len = std::sqrt(out[r][0] * out[r][0] + out[r][1] * out[r][1] + out[r][2] * out[r][2]);
        if (len != 0.0) {
            out[r][0] /= len;
            out[r][1] /= len;
            out[r][2] /= len;
        }
    }
}

// Row r of the 3x3 part of out = v[r] x row r of m, for r = 0..2.
inline void VgeMatrixScaleRows(double out[4][4], const double m[4][4], const double* v) {
    for (int r = 0; r < 3; ++r) {
        double s = v[r];
        out[r][0] = m[r][0] * s;
        out[r][1] = m[r][1] * s;
        out[r][2] = m[r][2] * s;
    }
}

// Writes the three diagonal elements of the 3x3 part from v[0..2].
inline void VgeMatrixSetDiagonal(double out[4][4], const double* v) {
    out[0][0] = v[0];
    out[1][1] = v[1];
    out[2][2] = v[2];
}

// Writes the translation row (columns 0..2 of row 3).
inline void VgeMatrixSetTranslation(double out[4][4], double x, double y, double z) {
    out[3][0] = x;
    out[3][1] = y;
    out[3][2] = z;
}

// out[0..2] = the translation row.
inline void VgeMatrixGetTranslation(double* out, const double m[4][4]) {
    out[0] = m[3][0];
    out[1] = m[3][1];
    out[2] = m[3][2];
}

// out[0..2] = p x the 3x3 part + row 3: the point p carried through m.
inline void VgeMatrixMultPoint(double* out, const double m[4][4], const double* p) {
    double x = p[0] * m[0][0] + p[1] * m[1][0] + p[2] * m[2][0] + m[3][0];
    double y = p[0] * m[0][1] + p[1] * m[1][1] + p[2] * m[2][1] + m[3][1];
    double z = p[0] * m[0][2] + p[1] * m[1][2] + p[2] * m[2][2] + m[3][2];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// out[0..2] = v x the 3x3 part: the direction v turned by m, without translation.
inline void VgeMatrixMultVector3(double* out, const double m[4][4], const double* v) {
    double x = v[0] * m[0][0] + v[1] * m[1][0] + v[2] * m[2][0];
    double y = v[0] * m[0][1] + v[1] * m[1][1] + v[2] * m[2][1];
    double z = v[0] * m[0][2] + v[1] * m[1][2] + v[2] * m[2][2];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// (row0 x row1) . row2: the determinant of the 3x3 part.
inline double VgeMatrixDeterminant3(const double m[4][4]) {
    return (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * m[2][0] +
           (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * m[2][1] +
           (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * m[2][2];
}

// True when the 3x3 part is right-handed: (row0 x row1) . row2 >= 0 (a singular matrix counts as
// right-handed, a NaN one does not).
inline bool VgeMatrixIsRightHanded(const double m[4][4]) {
    return VgeMatrixDeterminant3(m) >= 0.0;
}

// out[0..2] = the lengths of the three rotation rows, all three negated when the 3x3 part is
// left-handed.
inline void VgeMatrixToScaling(double* out, const double m[4][4]) {
    double sign = VgeMatrixIsRightHanded(m) ? 1.0 : -1.0;
    for (int r = 0; r < 3; ++r)
        out[r] = sign * std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
}

// out = the affine matrix of translation t, XYZ rotation r (degrees) and scaling s, each read from
// elements 0..2: rows 0..2 are the XYZ rotation rows scaled by s[0], s[1], s[2] (scaling, then
// rotation, then translation), row 3 is t, column 3 is (0, 0, 0, 1).
OXA_API void VgeMatrixFromTRS(double out[4][4], const double* t, const double* r, const double* s);

// Compares the 3x3 parts and translation rows of two matrices. With tolerance 0.0: a byte-wise
// comparison of rows 0..2 (all four columns) and then of the three translation elements, answering
// -1, 0 or 1 as a memory comparison does. With any other tolerance: 0 when each of the twelve
// elements (columns 0..2 of every row) differs by at most the tolerance, 1 otherwise (a NaN
// element never matches).
OXA_API int VgeMatrixCompareAffine(const double a[4][4], const double b[4][4], double tolerance);

// ---------------------------------------------------------------------------------------------
// Matrix classes

// A plain 4x4 double matrix, the identity when constructed.
class OXA_API VMatrix {
public:
    VMatrix() { VgeMatrixIdentity(mData); }

    // Row access: m[row][column], row and column 0..3.
    double* operator[](int row) { return mData[row]; }
    const double* operator[](int row) const { return mData[row]; }

    // Equal when each of the 16 elements differs by at most 1e-6 (a NaN element never matches).
    bool operator==(const VMatrix& o) const {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (!(std::fabs(mData[r][c] - o.mData[r][c]) <= 1e-6)) return false;
        return true;
    }
    bool operator!=(const VMatrix& o) const { return !(*this == o); }

    double mData[4][4];
};

// An affine 4x4 double matrix: the 3x3 part holds rotation times per-row scaling, row 3 the
// translation, column 3 is (0, 0, 0, 1). Identity when constructed. Its decomposition is into a
// translation T, XYZ Euler angles R in degrees and per-axis scaling S with
// matrix = scaling, then rotation, then translation; a mirrored matrix decomposes into all-negative
// scaling factors and a proper rotation. Decomposing drops any shear.
class OXA_API VgeAMatrix {
public:
    VgeAMatrix() { VgeMatrixIdentity(mData); }

    // The matrix of translation t, XYZ rotation r (degrees) and scaling s (each x, y, z).
    VgeAMatrix(const VgeTVector& t, const VgeTVector& r, const VgeTVector& s) { SetTRS(t, r, s); }

    // Copies the 3x3 part and the translation row; column 3 becomes (0, 0, 0, 1).
    VgeAMatrix(const VgeAMatrix& o) {
        VgeMatrixIdentity(mData);
        VgeMatrixCopyAffine(mData, o.mData);
    }
    // Copies the 3x3 part and the translation row; column 3 of this matrix stays.
    VgeAMatrix& operator=(const VgeAMatrix& o) {
        VgeMatrixCopyAffine(mData, o.mData);
        return *this;
    }

    // The 16 doubles, row after row.
    operator const double*() const { return &mData[0][0]; }
    // Without these, the pointer conversion above would let a == b compile as an address
    // comparison; compare with VgeMatrixCompareAffine instead.
    bool operator==(const VgeAMatrix&) const = delete;
    bool operator!=(const VgeAMatrix&) const = delete;

    // Row access: m[row][column], row and column 0..3.
    double* operator[](int row) { return mData[row]; }
    const double* operator[](int row) const { return mData[row]; }

    void SetIdentity() { VgeMatrixIdentity(mData); }

    // Composes the matrix from translation t, XYZ rotation r (degrees) and scaling s.
    void SetTRS(const VgeTVector& t, const VgeTVector& r, const VgeTVector& s) {
        VgeMatrixFromTRS(mData, t.mData, r.mData, s.mData);
    }

    // Replaces the translation row, keeping the rest.
    void SetT(const VgeTVector& t) { VgeMatrixSetTranslation(mData, t[0], t[1], t[2]); }
    // Replace the rotation (XYZ Euler degrees, or a unit quaternion x, y, z, w) or the scaling:
    // the matrix is decomposed, the one component replaced and the matrix recomposed, so
    // translation and the other component are kept.
    void SetR(const VgeTVector& r);
    void SetS(const VgeTVector& s);
    void SetQ(const VgeVector4& q);

    // The translation row, w = 0.
    VgeTVector GetT() const { return VgeTVector(mData[3][0], mData[3][1], mData[3][2], 0.0); }
    // The XYZ Euler angles in degrees of the normalised rotation rows (see
    // VgeMatrixToEulerXYZScaled), w = 0.
    VgeTVector GetR() const;
    // The length of each rotation row, all negated when the 3x3 part is left-handed, w = 0.
    VgeTVector GetS() const;
    // The rotation of the normalised rows as a unit quaternion (x, y, z, w).
    VgeVector4 GetQ() const;

    // The inverse for a matrix whose rotation rows are orthogonal (no shear); see
    // VgeMatrixInverseOrthogonal. This matrix is unchanged.
    VgeAMatrix Inverse() const;
    // The full 4x4 transpose. The transpose of an inverse is the matrix that carries normals:
    // its translation moves into column 3, which MultT does not read. This matrix is unchanged.
    VgeAMatrix Transpose() const;
    // other then this: the row-vector product other x this over all 16 elements.
    VgeAMatrix operator*(const VgeAMatrix& other) const;

    // The point p carried through the matrix: p.x row 0 + p.y row 1 + p.z row 2 + row 3, w = 0.
    VgeTVector MultT(const VgeTVector& p) const {
        VgeTVector out;
        VgeMatrixMultPoint(out.mData, mData, p.mData);
        return out;
    }

    double mData[4][4];
};

// ---------------------------------------------------------------------------------------------
// Product with a transposed rotation

// The 3x3 part of out = the 3x3 part of b x transpose(a): b, then the inverse of the rotation a.
// out may be a or b. The other elements of out stay.
inline void VgeRMatrixMultTransposed(double out[4][4], const double a[4][4], const double b[4][4]) {
    double t[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = b[r][0] * a[c][0] + b[r][1] * a[c][1] + b[r][2] * a[c][2];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

// VgeRMatrixMultTransposed with each sum formed in extended precision before rounding.
inline void VgeRMatrixMultTransposedExtended(double out[4][4], const double a[4][4], const double b[4][4]) {
    double t[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            t[r][c] = (double)((long double)b[r][0] * a[c][0] + (long double)b[r][1] * a[c][1] +
                               (long double)b[r][2] * a[c][2]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[r][c] = t[r][c];
}

#endif  // OXA_BASE_VGE_MATRIX_H
