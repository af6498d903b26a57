#include "formats/geometry/3ds/ftk_spline.h"

#include <algorithm>
#include <cmath>

namespace Ftk {

SplineTangent SplineTangentAt(const SplineKey* keys, size_t count, size_t k) {
    SplineTangent t;
    if (k == 0 || k + 1 >= count) return t;
    const double T = keys[k].tension, C = keys[k].continuity, B = keys[k].bias;
    const double before = (double)keys[k].frame - keys[k - 1].frame;
    const double after = (double)keys[k + 1].frame - keys[k].frame;
    // Keys at one frame (no spacing around the key) bound segments no frame falls in.
    if (!(before + after != 0.0)) return t;
    const double c = std::fabs(C);
    double in = 2.0 * before / (before + after), out = 2.0 * after / (before + after);
    in += c - c * in;
    out += c - c * out;
    t.in[0] = 0.5 * (1.0 - T) * (1.0 - C) * (1.0 + B) * in;
    t.in[1] = 0.5 * (1.0 - T) * (1.0 + C) * (1.0 - B) * in;
    t.out[0] = 0.5 * (1.0 - T) * (1.0 + C) * (1.0 + B) * out;
    t.out[1] = 0.5 * (1.0 - T) * (1.0 - C) * (1.0 - B) * out;
    return t;
}

void SplineSlopes(const SplineKey* keys, const float* values, size_t count, int width, int a, size_t k,
                  double& arriving, double& leaving) {
    const SplineTangent t = SplineTangentAt(keys, count, k);
    const double g1 = k > 0 ? (double)values[k * width + a] - values[(k - 1) * width + a] : 0.0;
    const double g3 = k + 1 < count ? (double)values[(k + 1) * width + a] - values[k * width + a] : 0.0;
    // Per segment to per frame.
    arriving = k > 0 ? (t.in[0] * g1 + t.in[1] * g3) / ((double)keys[k].frame - keys[k - 1].frame) : 0.0;
    leaving =
        k + 1 < count ? (t.out[0] * g1 + t.out[1] * g3) / ((double)keys[k + 1].frame - keys[k].frame) : 0.0;
}

namespace {

// The segment that holds `frame`: the last key at or before it (0 before the first key).
size_t SegmentOf(const SplineKey* keys, size_t count, double frame) {
    const SplineKey* end = keys + count;
    const SplineKey* after =
        std::upper_bound(keys, end, frame, [](double f, const SplineKey& key) { return f < key.frame; });
    return after == keys ? 0 : (size_t)(after - keys) - 1;
}

}  // namespace

void EvaluateSpline(const SplineKey* keys, const float* values, size_t count, int width, double frame,
                    double* out) {
    const size_t k = SegmentOf(keys, count, frame);
    if (k + 1 >= count || frame <= keys[k].frame) {
        for (int a = 0; a < width; ++a)
            out[a] = values[k * width + a];
        return;
    }
    const double span = (double)keys[k + 1].frame - keys[k].frame;
    const double u = (frame - keys[k].frame) / span, u2 = u * u, u3 = u2 * u;
    for (int a = 0; a < width; ++a) {
        double unused, leaving, arriving;
        SplineSlopes(keys, values, count, width, a, k, unused, leaving);
        SplineSlopes(keys, values, count, width, a, k + 1, arriving, unused);
        out[a] = (2 * u3 - 3 * u2 + 1) * values[k * width + a] + (u3 - 2 * u2 + u) * leaving * span +
                 (3 * u2 - 2 * u3) * values[(k + 1) * width + a] + (u3 - u2) * arriving * span;
    }
}

namespace {

Quat Multiply(const Quat& a, const Quat& b) {
    Quat r;
    r.x = a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y;
    r.y = a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x;
    r.z = a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w;
    r.w = a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z;
    return r;
}

// exp of the pure quaternion g: the turn by 2|g| about g's direction.
Quat Exp(const std::array<double, 3>& g) {
    const double half = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    Quat q;
    if (!(half > 1e-15)) return q;
    const double s = std::sin(half) / half;
    q.x = g[0] * s;
    q.y = g[1] * s;
    q.z = g[2] * s;
    q.w = std::cos(half);
    return q;
}

// The log of a unit quaternion, of the shorter of the two turns it stands for.
std::array<double, 3> ShortLog(Quat q) {
    if (q.w < 0.0) q = Quat{-q.x, -q.y, -q.z, -q.w};
    const double length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z);
    if (!(length > 1e-15)) return {0.0, 0.0, 0.0};
    const double half = std::atan2(length, q.w) / length;
    return {q.x * half, q.y * half, q.z * half};
}

// Spherical interpolation from a to b along the arc between them as they are (no sign flip, so
// that an arc of more than 90 degrees, a turn of more than 180, keeps its way round).
Quat Slerp(const Quat& a, const Quat& b, double u) {
    const double dot = std::max(-1.0, std::min(1.0, a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w));
    const double angle = std::acos(dot);
    const double s = std::sin(angle);
    double ka = 1.0 - u, kb = u;
    if (s > 1e-9) {
        ka = std::sin((1.0 - u) * angle) / s;
        kb = std::sin(u * angle) / s;
    }
    return Quat{ka * a.x + kb * b.x, ka * a.y + kb * b.y, ka * a.z + kb * b.z, ka * a.w + kb * b.w};
}

}  // namespace

RotationPath::RotationPath(const SplineKey* keys, const float* values, size_t count)
    : mKeys(keys, keys + count), mOrientation(count), mTurn(count) {
    std::vector<std::array<double, 3>> shortTurn(count);
    Quat orientation;
    for (size_t k = 0; k < count; ++k) {
        const float* v = values + k * 4;
        const double length = std::sqrt((double)v[1] * v[1] + (double)v[2] * v[2] + (double)v[3] * v[3]);
        // A key without an axis (or without a finite angle) does not turn.
        const double half =
            std::isfinite(length) && length > 0.0 && std::isfinite(v[0]) ? 0.5 * v[0] / length : 0.0;
        mTurn[k] = {v[1] * half, v[2] * half, v[3] * half};
        const Quat turn = Exp(mTurn[k]);
        shortTurn[k] = ShortLog(turn);
        const Quat next = Multiply(orientation, turn);
        const double norm = std::sqrt(next.x * next.x + next.y * next.y + next.z * next.z + next.w * next.w);
        if (norm > 0.0 && std::isfinite(norm))
            orientation = Quat{next.x / norm, next.y / norm, next.z / norm, next.w / norm};
        mOrientation[k] = orientation;
    }
    mOut = mOrientation;
    mIn = mOrientation;
    for (size_t k = 1; k + 1 < count; ++k) {
        const SplineTangent t = SplineTangentAt(keys, count, k);
        std::array<double, 3> toOut, toIn;
        for (int a = 0; a < 3; ++a) {
            const double g1 = shortTurn[k][a], g3 = shortTurn[k + 1][a];
            toOut[a] = 0.5 * (t.out[0] * g1 + t.out[1] * g3 - g3);
            toIn[a] = 0.5 * (g1 - t.in[0] * g1 - t.in[1] * g3);
        }
        mOut[k] = Multiply(mOrientation[k], Exp(toOut));
        mIn[k] = Multiply(mOrientation[k], Exp(toIn));
    }
}

Quat RotationPath::Between(size_t k, double u) const {
    const std::array<double, 3>& g = mTurn[k + 1];
    const Quat along = Multiply(mOrientation[k], Exp({g[0] * u, g[1] * u, g[2] * u}));
    const Quat inner = Slerp(mOut[k], mIn[k + 1], u);
    return Slerp(along, inner, 2.0 * u * (1.0 - u));
}

Quat RotationPath::At(double frame) const {
    const size_t count = mKeys.size();
    const size_t k = SegmentOf(mKeys.data(), count, frame);
    if (k + 1 >= count || frame <= mKeys[k].frame) return mOrientation[k];
    return Between(k, (frame - mKeys[k].frame) / ((double)mKeys[k + 1].frame - mKeys[k].frame));
}

}  // namespace Ftk
