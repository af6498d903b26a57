// Quaternions: four doubles (x, y, z, w), the identity being (0, 0, 0, 1). A unit quaternion for
// the turn by angle t about the unit axis n is (n sin(t/2), cos(t/2)) and turns points the
// right-handed way, as the Euler matrices do. Matrices are 4x4 doubles in row-vector form; only
// their 3x3 part is read or written here.
#ifndef OXA_BASE_VGE_QUATERNION_H
#define OXA_BASE_VGE_QUATERNION_H

#include <oxa/base/oxa_export.h>

// q = (x, y, z, w).
inline void VgeQuaternionSet(double* q, double x, double y, double z, double w) {
    q[0] = x;
    q[1] = y;
    q[2] = z;
    q[3] = w;
}

// The Euclidean length of the four components.
OXA_API double VgeQuaternionLength(const double* q);

// out = q s (all four components); out may be q.
OXA_API void VgeQuaternionScale(double* out, const double* q, double s);

// out = (-x, -y, -z, w), the inverse turn; out may be q.
OXA_API void VgeQuaternionConjugate(double* out, const double* q);

// out = a (x) b, the Hamilton product. Its rotation turns a point by b first, then by a, so
// its matrix is the matrix of b times the matrix of a. out may be a or b.
OXA_API void VgeQuaternionProduct(double* out, const double* a, const double* b);

// The 3x3 part of out becomes the rotation of q, computed with s = 2 / |q|^2 so that an
// unnormalised quaternion gives the rotation of its direction. The zero quaternion gives the
// identity (s = 0).
OXA_API void VgeQuaternionToMatrix(double out[4][4], const double* q);

// The unit quaternion of the rotation in the 3x3 part of m. The branch on w is taken when
// 1 + trace exceeds 1e-10, otherwise the branch of the largest diagonal element; the sign is the
// one that branch gives. A non-rotation gives a quaternion of no particular meaning, never a
// division by zero.
OXA_API void VgeMatrixToQuaternion(double* out, const double m[4][4]);

// The unnormalised quaternion turning direction a onto direction b: xyz = a x b,
// w = |a| |b| + a . b. For nearly opposite directions, where that formula cancels, the same two
// parts are computed from the sum of the unit directions, so the rotation still lands on b to
// rounding. For opposite directions the formula gives zero; the half turn about an axis
// perpendicular to a is returned instead, with the same magnitude scale (|a| |b|). When either
// vector is zero the result is the zero quaternion (the identity once made into a matrix).
OXA_API void VgeQuaternionFromTwoVectors(double* out, const double* a, const double* b);

// The unnormalised quaternion (0, -v.z, v.y, 1 + v.x) turning the X axis onto the unit direction
// v. For v = -X it is the zero quaternion; callers substitute a half turn there.
inline void VgeQuaternionFromXAxis(double* out, const double* v) {
    double x = 0.0, y = -v[2], z = v[1], w = 1.0 + v[0];
    VgeQuaternionSet(out, x, y, z, w);
}

// The XYZ Euler angles in degrees (out[0..2]) of the rotation that turns the direction b - a onto
// the direction c - a. Both directions are normalised first; when they agree within 0.001 in every
// component the result is (0, 0, 0). Opposite directions give a half turn. A zero-length direction
// stays zero and gives (0, 0, 0).
OXA_API void VgeRotationBetweenDirections(const double* a, const double* b, const double* c, double* out);

#endif  // OXA_BASE_VGE_QUATERNION_H
