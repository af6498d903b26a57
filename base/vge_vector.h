// Vector types of the geometry library: the four-double vector used for positions, directions,
// Euler triples and limits, the two-double texture coordinate, the four-double quaternion holder
// and the RGB colour, plus the small free helpers that work on raw arrays of three doubles.
//
// Every type here is trivially copyable, so arrays of them can be grown and moved bytewise, and
// an all-zero byte pattern is the zero vector.
#ifndef OXA_BASE_VGE_VECTOR_H
#define OXA_BASE_VGE_VECTOR_H

#include <oxa/base/oxa_export.h>

#include <cmath>

// Four doubles (x, y, z, w). The geometric operations (length, normalisation, dot and cross
// products, equality) look at x, y and z only; the arithmetic operators work on all four.
class OXA_API VgeTVector {
public:
    // The zero vector (0, 0, 0, 0).
    VgeTVector() : mData{0.0, 0.0, 0.0, 0.0} {}
    VgeTVector(double x, double y, double z, double w) : mData{x, y, z, w} {}

    void Set(double x, double y, double z, double w) {
        mData[0] = x;
        mData[1] = y;
        mData[2] = z;
        mData[3] = w;
    }

    // Component access; index must be 0..3.
    double GetValue(int index) const { return mData[index]; }
    void SetValue(int index, double value) { mData[index] = value; }
    double& operator[](int index) { return mData[index]; }
    const double& operator[](int index) const { return mData[index]; }

    // Component-wise sum and difference of all four components.
    VgeTVector operator+(const VgeTVector& v) const {
        return VgeTVector(mData[0] + v.mData[0], mData[1] + v.mData[1], mData[2] + v.mData[2],
                          mData[3] + v.mData[3]);
    }
    VgeTVector operator-(const VgeTVector& v) const {
        return VgeTVector(mData[0] - v.mData[0], mData[1] - v.mData[1], mData[2] - v.mData[2],
                          mData[3] - v.mData[3]);
    }
    VgeTVector& operator+=(const VgeTVector& v) {
        for (int i = 0; i < 4; ++i)
            mData[i] += v.mData[i];
        return *this;
    }

    // Scaling of all four components.
    VgeTVector operator*(double s) const {
        return VgeTVector(mData[0] * s, mData[1] * s, mData[2] * s, mData[3] * s);
    }
    VgeTVector& operator*=(double s) {
        for (int i = 0; i < 4; ++i)
            mData[i] *= s;
        return *this;
    }
    // Division multiplies by the reciprocal; dividing by 0 gives infinities or NaNs, as with any
    // floating-point division, so callers keep the divisor non-zero.
    VgeTVector operator/(double s) const { return *this * (1.0 / s); }
    VgeTVector& operator/=(double s) { return *this *= (1.0 / s); }

    // Euclidean length of x, y, z.
    double Length() const {
        return std::sqrt(mData[0] * mData[0] + mData[1] * mData[1] + mData[2] * mData[2]);
    }

    // Divides x, y and z by their length; a zero-length vector is left unchanged, w is never touched.
    void Normalize() {
        double len = Length();
        if (len != 0.0) {
            mData[0] /= len;
            mData[1] /= len;
            mData[2] /= len;
        }
    }

    // this x v on x, y, z; the w of the result is 1.0.
    VgeTVector CrossProduct(const VgeTVector& v) const {
        return VgeTVector(mData[1] * v.mData[2] - mData[2] * v.mData[1],
                          mData[2] * v.mData[0] - mData[0] * v.mData[2],
                          mData[0] * v.mData[1] - mData[1] * v.mData[0], 1.0);
    }

    // Dot product of x, y, z.
    double DotProduct(const VgeTVector& v) const {
        return mData[0] * v.mData[0] + mData[1] * v.mData[1] + mData[2] * v.mData[2];
    }

    // True when x, y and z each differ by at most 1e-6; w is ignored. A NaN component never
    // compares equal.
    bool operator==(const VgeTVector& v) const {
        return std::fabs(mData[0] - v.mData[0]) <= 1e-6 && std::fabs(mData[1] - v.mData[1]) <= 1e-6 &&
               std::fabs(mData[2] - v.mData[2]) <= 1e-6;
    }
    bool operator!=(const VgeTVector& v) const { return !(*this == v); }

    // x, y, z, w; passed as a raw array to the three-double helpers below.
    double mData[4];
};

// Two doubles (u, v): texture coordinates and UV placements.
class OXA_API VgeVector2 {
public:
    VgeVector2() : mData{0.0, 0.0} {}
    VgeVector2(double u, double v) : mData{u, v} {}

    void Set(double u, double v) {
        mData[0] = u;
        mData[1] = v;
    }
    // Component access; index must be 0 or 1.
    void SetAt(int index, double value) { mData[index] = value; }
    double& operator[](int index) { return mData[index]; }
    const double& operator[](int index) const { return mData[index]; }

    // Exact comparison of both components.
    bool operator==(const VgeVector2& o) const { return mData[0] == o.mData[0] && mData[1] == o.mData[1]; }
    bool operator!=(const VgeVector2& o) const { return !(*this == o); }

    double mData[2];
};

// Four doubles used as a quaternion (x, y, z, w); the zero quaternion by default.
class OXA_API VgeVector4 {
public:
    VgeVector4() : mData{0.0, 0.0, 0.0, 0.0} {}

    void Set(double x, double y, double z, double w) {
        mData[0] = x;
        mData[1] = y;
        mData[2] = z;
        mData[3] = w;
    }
    // Component access; index must be 0..3.
    double& operator[](int index) { return mData[index]; }
    const double& operator[](int index) const { return mData[index]; }

    double mData[4];
};

// Three doubles (r, g, b): a colour, black by default.
class OXA_API VgeRGBVector {
public:
    VgeRGBVector() : mData{0.0, 0.0, 0.0} {}
    VgeRGBVector(double r, double g, double b) : mData{r, g, b} {}

    // Component access; index must be 0..2.
    double& operator[](int index) { return mData[index]; }
    const double& operator[](int index) const { return mData[index]; }

    double mData[3];
};

// Helpers on raw arrays of doubles; only the first three elements are read or written. Outputs may
// be the same arrays as the inputs.

// a.x b.x + a.y b.y + a.z b.z.
inline double VgeDot3(const double* a, const double* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// out = a x b.
inline void VgeCrossProduct3(double* out, const double* a, const double* b) {
    double x = a[1] * b[2] - a[2] * b[1];
    double y = a[2] * b[0] - a[0] * b[2];
    double z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

// out = v s.
inline void VgeScaleVector(double* out, const double* v, double s) {
    out[0] = v[0] * s;
    out[1] = v[1] * s;
    out[2] = v[2] * s;
}

// out = a + b.
inline void VgeVector3Add(double* out, const double* a, const double* b) {
    out[0] = a[0] + b[0];
    out[1] = a[1] + b[1];
    out[2] = a[2] + b[2];
}

// The same sum under the name the geometry writers use.
inline void AddVectors3(double* out, const double* a, const double* b) {
    VgeVector3Add(out, a, b);
}

// out = a - b.
inline void VgeVector3Subtract(double* out, const double* a, const double* b) {
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
}

// out = a.
inline void VgeVector3Copy(double* out, const double* a) {
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
}

// out = (1, 1, 1).
inline void VgeVector3One(double* out) {
    out[0] = out[1] = out[2] = 1.0;
}

#endif  // OXA_BASE_VGE_VECTOR_H
