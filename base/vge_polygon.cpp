#include "base/vge_polygon.h"

#include <cmath>
#include <vector>

void VgeTriangulatePolygon(int* corners, int n) {
    if (n < 3) return;
    const int total = n - 2;
    int* out = corners;
    out[0] = 0;
    out[1] = 1;
    out[2] = 2;
    out += 3;
    int done = 1;
    int low = 3, high = n - 1, prevLow = 2, prevHigh = 0;
    while (low <= high && done < total) {
        out[0] = prevLow;
        out[1] = low;
        out[2] = prevHigh;
        out += 3;
        if (++done == total) break;
        out[0] = prevHigh;
        out[1] = low;
        out[2] = high;
        out += 3;
        ++done;
        prevLow = low;
        prevHigh = high;
        ++low;
        --high;
    }
}

namespace {

// A polygon's corners in the plane it is looked at in, turning counter-clockwise overall.
struct PlaneCorners {
    static constexpr int kFixed = 64;
    double fixedU[kFixed], fixedV[kFixed];
    std::vector<double> heap;
    double* u = fixedU;
    double* v = fixedV;

    explicit PlaneCorners(int n) {
        if (n > kFixed) {
            heap.resize(2 * (size_t)n);
            u = heap.data();
            v = u + n;
        }
    }
};

// (b - a) x (c - b): positive where the outline turns left at b.
inline double Turn(const double* u, const double* v, int a, int b, int c) {
    return (u[b] - u[a]) * (v[c] - v[b]) - (v[b] - v[a]) * (u[c] - u[b]);
}

// (b - a) x (p - a): positive when p lies left of the line from a to b.
inline double Side(const double* u, const double* v, int a, int b, int p) {
    return (u[b] - u[a]) * (v[p] - v[a]) - (v[b] - v[a]) * (u[p] - u[a]);
}

// Projects the corners onto the plane across the largest component of the polygon's Newell
// normal, oriented so that the outline runs counter-clockwise. False when a corner names no
// point or is not finite, or the polygon gives no plane.
bool Project(PlaneCorners& plane, int n, const VgeTVector* points, int pointCount, const int* cornerPoints) {
    if (points == nullptr || cornerPoints == nullptr) return false;
    double normal[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < n; ++k) {
        const int a = cornerPoints[k], b = cornerPoints[(k + 1) % n];
        if (a < 0 || a >= pointCount || b < 0 || b >= pointCount) return false;
        const VgeTVector& p = points[a];
        const VgeTVector& q = points[b];
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    int drop = 0;
    for (int axis = 1; axis < 3; ++axis)
        if (std::fabs(normal[axis]) > std::fabs(normal[drop])) drop = axis;
    if (!(std::fabs(normal[drop]) > 0.0) || !std::isfinite(normal[drop])) return false;
    // Across axis `drop` the plane's axes follow in turn, so that a normal along +drop sees the
    // outline counter-clockwise; a normal along -drop mirrors the first axis.
    const int first = (drop + 1) % 3, second = (drop + 2) % 3;
    const double mirror = normal[drop] > 0.0 ? 1.0 : -1.0;
    for (int k = 0; k < n; ++k) {
        const VgeTVector& p = points[cornerPoints[k]];
        plane.u[k] = mirror * p[first];
        plane.v[k] = p[second];
        if (!std::isfinite(plane.u[k]) || !std::isfinite(plane.v[k])) return false;
    }
    return true;
}

// True when the outline turns right at some corner by more than rounding: the convex split
// would fold there.
bool HasReflexCorner(const double* u, const double* v, int n) {
    for (int b = 0; b < n; ++b) {
        const int a = (b + n - 1) % n, c = (b + 1) % n;
        const double turn = Turn(u, v, a, b, c);
        if (turn >= 0.0) continue;
        const double in = (u[b] - u[a]) * (u[b] - u[a]) + (v[b] - v[a]) * (v[b] - v[a]);
        const double out = (u[c] - u[b]) * (u[c] - u[b]) + (v[c] - v[b]) * (v[c] - v[b]);
        // A turn whose sine is below 1e-10 is a straight corner that rounding bent.
        if (turn * turn > 1e-20 * in * out) return true;
    }
    return false;
}

// Ear clipping over the projected corners. Each corner's ear state is kept and recomputed only
// for the two neighbours of a corner cut off: cutting an ear makes no other corner an ear or not
// (of a simple polygon, a triangle that holds a corner holds a reflex one, and cutting turns no
// corner reflex). So each cut costs a walk to the next ear and two tests, each a walk over the
// corners left: n squared in all.
void ClipEars(int* out, int n, const double* u, const double* v) {
    std::vector<int> links(2 * (size_t)n);
    // Bit 0: the corner is reflex or straight (it may lie in or on another corner's ear, which
    // must then not be cut: a straight corner on the ear's far side would be left on a line of
    // its own); bit 1: an ear.
    std::vector<char> flags((size_t)n);
    int* prev = links.data();
    int* next = prev + n;
    for (int k = 0; k < n; ++k) {
        prev[k] = (k + n - 1) % n;
        next[k] = (k + 1) % n;
    }
    auto reflex = [&](int b) { return !(Turn(u, v, prev[b], b, next[b]) > 0.0); };
    auto isEar = [&](int b) {
        const int a = prev[b], c = next[b];
        if (!(Turn(u, v, a, b, c) > 0.0)) return false;
        for (int p = next[c]; p != a; p = next[p]) {
            if (!(flags[(size_t)p] & 1)) continue;
            // A corner at the place of a triangle corner (a polygon that touches itself there)
            // does not block it.
            if ((u[p] == u[a] && v[p] == v[a]) || (u[p] == u[b] && v[p] == v[b]) ||
                (u[p] == u[c] && v[p] == v[c]))
                continue;
            if (Side(u, v, a, b, p) >= 0.0 && Side(u, v, b, c, p) >= 0.0 && Side(u, v, c, a, p) >= 0.0)
                return false;
        }
        return true;
    };
    for (int k = 0; k < n; ++k)
        flags[(size_t)k] = reflex(k) ? 1 : 0;
    for (int k = 0; k < n; ++k)
        if (isEar(k)) flags[(size_t)k] |= 2;

    int left = n;
    int at = 0;
    while (left > 3) {
        int ear = -1;
        int b = at;
        for (int step = 0; step < left; ++step, b = next[b]) {
            if (flags[(size_t)b] & 2) {
                ear = b;
                break;
            }
        }
        if (ear < 0) {
            // No ear (the outline crosses itself or lies on a line): the corner that turns
            // left the most is cut off, so that the walk always ends.
            double best = 0.0;
            b = at;
            ear = at;
            for (int step = 0; step < left; ++step, b = next[b]) {
                const double turn = Turn(u, v, prev[b], b, next[b]);
                if (turn > best) {
                    best = turn;
                    ear = b;
                }
            }
        }
        const int a = prev[ear], c = next[ear];
        *out++ = a;
        *out++ = ear;
        *out++ = c;
        next[a] = c;
        prev[c] = a;
        --left;
        for (int x : {a, c}) {
            flags[(size_t)x] = reflex(x) ? 1 : 0;
            if (left > 3 && isEar(x)) flags[(size_t)x] |= 2;
        }
        at = c;
    }
    *out++ = prev[at];
    *out++ = at;
    *out++ = next[at];
}

}  // namespace

bool VgeTriangulateConcavePolygon(int* corners, int n, const VgeTVector* points, int pointCount,
                                  const int* cornerPoints) {
    if (n < 4) return false;  // a triangle is its own split
    PlaneCorners plane(n);
    if (!Project(plane, n, points, pointCount, cornerPoints)) return false;
    if (!HasReflexCorner(plane.u, plane.v, n)) return false;
    ClipEars(corners, n, plane.u, plane.v);
    return true;
}

void VgeTriangulatePolygon(int* corners, int n, const VgeTVector* points, int pointCount,
                           const int* cornerPoints) {
    if (!VgeTriangulateConcavePolygon(corners, n, points, pointCount, cornerPoints))
        VgeTriangulatePolygon(corners, n);
}
