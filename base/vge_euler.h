// Conversions between rotation matrices and Euler angles in degrees.
//
// Matrices are 4x4 doubles in row-vector form (p' = p x M); only the 3x3 rotation part is read or
// written here, the other elements are left as they are. The angle about the first-applied axis
// turns a point first: for the XYZ order the matrix is Rx x Ry x Rz.
//
// The general conversions work on an order code 0..11 that indexes this axis table (i, j, k):
//   0, 1 (X, Y, Z)   2, 3 (X, Z, Y)   4, 5 (Y, Z, X)   6, 7 (Y, X, Z)   8, 9 (Z, X, Y)   10, 11 (Z, Y, X)
// i.e. code = 4 x first axis + 2 x parity + repetition. Bit 1 marks the odd-parity orders, whose
// angles are negated inside the construction so that every order rotates the right-handed way.
// Bit 0 selects the repeated-axis form: the rotations are about i, then j, then i again. The node
// evaluation only uses the even codes; the motion-capture formats use others.
#ifndef OXA_BASE_VGE_EULER_H
#define OXA_BASE_VGE_EULER_H

#include <oxa/base/oxa_export.h>

// The 3x3 part of out becomes the XYZ rotation of the angles x, y, z (degrees), X applied first:
// row 0 (cy cz, cy sz, -sy), row 1 (sx sy cz - cx sz, sx sy sz + cx cz, sx cy),
// row 2 (cx sy cz + sx sz, cx sy sz - sx cz, cx cy).
OXA_API void VgeEulerXYZToMatrix(double out[4][4], double x, double y, double z);

// VgeEulerXYZToMatrix with the angles read from angles[0..2].
OXA_API void VgeEulerVectorToMatrix(double out[4][4], const double* angles);

// The XYZ angles in degrees of the rotation in the 3x3 part of m (the inverse of
// VgeEulerXYZToMatrix), written to out[0..2]. Within 1e-6 of the poles (m[0][2] >= 0.999999 or
// <= -0.999999) the middle angle is -90 or 90, the third angle 0 and the first carries the whole
// remaining turn. A NaN input gives NaN angles.
OXA_API void VgeMatrixToEulerXYZ(double* out, const double m[4][4]);

// VgeMatrixToEulerXYZ for a matrix that may carry scaling: each row is first divided by its
// length, the three lengths negated when the 3x3 part is left-handed, so that a mirrored matrix
// yields the angles of its rotation. A zero-length row stays zero.
OXA_API void VgeMatrixToEulerXYZScaled(double* out, const double m[4][4]);
// VgeMatrixToEulerXYZScaled into `angles` and VgeMatrixToScaling into `scaling` (three values
// each) of the same matrix, the same values in one pass.
OXA_API void VgeMatrixToEulerXYZAndScaling(double* angles, double* scaling, const double m[4][4]);

// The 3x3 part of out becomes the rotation of the angles a0, a1, a2 (degrees) about the axes i, j
// and k of the order code (i, j, i for the repeated-axis codes), in axis order: a0 is the angle
// about the first-applied axis. Codes outside 0..11 are read as 0 (XYZ).
OXA_API void VgeEulerToMatrix(double out[4][4], double a0, double a1, double a2, int orderCode);

// VgeEulerToMatrix with the angles read from angles[0..2].
OXA_API void VgeRMatrixFromEuler(double out[4][4], const double* angles, int orderCode);

// The angles in degrees, in axis order (first-applied axis first), of the rotation in the 3x3
// part of m for the order code; the inverse of VgeEulerToMatrix. When the cosine of the middle
// angle (the sine for the repeated-axis codes) is at most 1.6e-9 the matrix counts as singular:
// the third angle is then 0 and the first carries the whole remaining turn. Codes outside 0..11
// are read as 0.
OXA_API void VgeMatrixToEuler(double* out, const double m[4][4], int orderCode);

#endif  // OXA_BASE_VGE_EULER_H
