#include "base/vge_polygon.h"

#include <algorithm>
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

// The reflex and straight corners still on the outline, bucketed by a grid over the polygon's
// bounds, so that the test for a corner inside an ear looks only at the cells the ear's bounds
// cover (or at all of them, when they are fewer than those cells). Each corner is in at most one
// cell's list and in the list of all; lists are linked through the corners, so nothing is
// allocated per corner.
class ReflexGrid {
public:
    // With `cells` 1 every corner shares one cell and a test looks at all of them.
    ReflexGrid(int n, const double* u, const double* v, int cells) : mU(u), mV(v), mCell((size_t)n, -1) {
        mMinU = mMaxU = u[0];
        mMinV = mMaxV = v[0];
        for (int k = 1; k < n; ++k) {
            mMinU = std::min(mMinU, u[k]), mMaxU = std::max(mMaxU, u[k]);
            mMinV = std::min(mMinV, v[k]), mMaxV = std::max(mMaxV, v[k]);
        }
        // Halves, so that the span of values near the largest doubles stays finite.
        const double width = mMaxU * 0.5 - mMinU * 0.5, height = mMaxV * 0.5 - mMinV * 0.5;
        if (cells > 1 && width > 0.0 && height > 0.0) {
            // Cells about as wide as high: the columns and rows follow the bounds' shape.
            const double columns = std::sqrt(cells * (width / height));
            mColumns = (int)std::min<double>(cells, std::max(1.0, columns));
            mRows = std::max(1, std::min(cells, cells / mColumns));
        }
        mScaleU = width > 0.0 ? mColumns / width : 0.0;
        mScaleV = height > 0.0 ? mRows / height : 0.0;
        mHead.assign((size_t)mColumns * (size_t)mRows, -1);
        mNextIn.resize((size_t)n);
        mPrevIn.resize((size_t)n);
        mNextAll.resize((size_t)n);
        mPrevAll.resize((size_t)n);
    }

    int Count() const { return mCount; }
    bool Holds(int k) const { return mCell[(size_t)k] >= 0; }

    void Add(int k) {
        const int cell = Row(mV[k]) * mColumns + Column(mU[k]);
        mCell[(size_t)k] = cell;
        const int head = mHead[(size_t)cell];
        mNextIn[(size_t)k] = head;
        mPrevIn[(size_t)k] = -1;
        if (head >= 0) mPrevIn[(size_t)head] = k;
        mHead[(size_t)cell] = k;
        mNextAll[(size_t)k] = mFirst;
        mPrevAll[(size_t)k] = -1;
        if (mFirst >= 0) mPrevAll[(size_t)mFirst] = k;
        mFirst = k;
        ++mCount;
    }
    void Remove(int k) {
        const int cell = mCell[(size_t)k];
        const int before = mPrevIn[(size_t)k], after = mNextIn[(size_t)k];
        if (before >= 0)
            mNextIn[(size_t)before] = after;
        else
            mHead[(size_t)cell] = after;
        if (after >= 0) mPrevIn[(size_t)after] = before;
        const int earlier = mPrevAll[(size_t)k], later = mNextAll[(size_t)k];
        if (earlier >= 0)
            mNextAll[(size_t)earlier] = later;
        else
            mFirst = later;
        if (later >= 0) mPrevAll[(size_t)later] = earlier;
        mCell[(size_t)k] = -1;
        --mCount;
    }

    // Calls `test` for every corner held that may lie in the box [u0, u1] x [v0, v1], until it
    // answers true; answers whether one did. The box's cells are looked at, or every corner held
    // when they are fewer.
    template <typename Test>
    bool AnyIn(double u0, double u1, double v0, double v1, Test test) const {
        const int c0 = Column(u0), c1 = Column(u1), r0 = Row(v0), r1 = Row(v1);
        const size_t covered = (size_t)(c1 - c0 + 1) * (size_t)(r1 - r0 + 1);
        if (covered > (size_t)mCount) {
            for (int k = mFirst; k >= 0; k = mNextAll[(size_t)k])
                if (test(k)) return true;
            return false;
        }
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c)
                for (int k = mHead[(size_t)r * mColumns + c]; k >= 0; k = mNextIn[(size_t)k])
                    if (test(k)) return true;
        return false;
    }

private:
    int Column(double u) const { return Clamp((u * 0.5 - mMinU * 0.5) * mScaleU, mColumns); }
    int Row(double v) const { return Clamp((v * 0.5 - mMinV * 0.5) * mScaleV, mRows); }
    // The cell of a place along one axis; a place beyond the bounds takes the nearest cell. The
    // map from place to cell only grows, so a corner inside a box is in a cell the box covers.
    static int Clamp(double at, int count) {
        if (!(at > 0.0)) return 0;
        return at >= count ? count - 1 : (int)at;
    }

    const double* mU;
    const double* mV;
    double mMinU, mMaxU, mMinV, mMaxV;
    int mColumns = 1, mRows = 1;
    double mScaleU = 0.0, mScaleV = 0.0;
    int mCount = 0;
    int mFirst = -1;  // of the list of every corner held
    std::vector<int> mHead, mNextIn, mPrevIn, mNextAll, mPrevAll, mCell;
};

// Outlines of this many corners or more are cut in an order of their own (see ClipEars); fewer
// are cut with every test looking at all reflex corners (one cell).
constexpr int kLargeOutline = 256;

// A corner's entry in a heap: the key it was pushed with and the count of its changes then (an
// entry whose corner has changed since, or is cut, is stale). The heap's top is the largest key,
// the lowest corner among equal keys.
struct HeapEntry {
    double key;
    int corner;
    int stamp;
    bool operator<(const HeapEntry& e) const { return key < e.key || (key == e.key && corner > e.corner); }
};

// Ear clipping over the projected corners. Each corner's ear state is kept and recomputed only
// for the two neighbours of a corner cut off: cutting an ear makes no other corner an ear or not
// (of a simple polygon, a triangle that holds a corner holds a reflex one, and cutting turns no
// corner reflex).
//
// An outline of fewer than kLargeOutline corners cuts the first ear along the outline from the
// last cut, and tests each ear against all reflex corners left: n squared in all. A larger one
// cuts the ear whose new edge is shortest first (through a heap), so that its triangles stay
// small rather than fanning out from one corner across the outline, and tests an ear only
// against the reflex corners in the grid cells near it: close to n log n for outlines whose
// corners spread over their bounds.
void ClipEars(int* out, int n, const double* u, const double* v) {
    const bool large = n >= kLargeOutline;
    std::vector<int> links(2 * (size_t)n);
    // Bit 0: the corner is reflex or straight (it may lie in or on another corner's ear, which
    // must then not be cut: a straight corner on the ear's far side would be left on a line of
    // its own); bit 1: an ear; bit 2: cut off.
    std::vector<char> flags((size_t)n);
    int* prev = links.data();
    int* next = prev + n;
    for (int k = 0; k < n; ++k) {
        prev[k] = (k + n - 1) % n;
        next[k] = (k + 1) % n;
    }
    auto reflex = [&](int b) { return !(Turn(u, v, prev[b], b, next[b]) > 0.0); };
    int reflexCount = 0;
    for (int k = 0; k < n; ++k) {
        flags[(size_t)k] = reflex(k) ? 1 : 0;
        reflexCount += flags[(size_t)k];
    }
    ReflexGrid grid(n, u, v, large ? std::max(1, reflexCount / 2) : 1);
    for (int k = 0; k < n; ++k)
        if (flags[(size_t)k] & 1) grid.Add(k);
    auto isEar = [&](int b) {
        const int a = prev[b], c = next[b];
        if (!(Turn(u, v, a, b, c) > 0.0)) return false;
        if (grid.Count() == 0) return true;
        return !grid.AnyIn(std::min({u[a], u[b], u[c]}), std::max({u[a], u[b], u[c]}),
                           std::min({v[a], v[b], v[c]}), std::max({v[a], v[b], v[c]}), [&](int p) {
                               if (p == a || p == b || p == c) return false;
                               // A corner at the place of a triangle corner (a polygon that touches itself
                               // there) does not block it.
                               if ((u[p] == u[a] && v[p] == v[a]) || (u[p] == u[b] && v[p] == v[b]) ||
                                   (u[p] == u[c] && v[p] == v[c]))
                                   return false;
                               return Side(u, v, a, b, p) >= 0.0 && Side(u, v, b, c, p) >= 0.0 &&
                                      Side(u, v, c, a, p) >= 0.0;
                           });
    };
    // Large outlines: the ears by the length of the edge cutting them would make (shortest on
    // top), and, from the first time no ear is left, the corners by their turn (largest on top).
    std::vector<HeapEntry> ears, turns;
    std::vector<int> stamps(large ? (size_t)n : 0);
    auto pushEar = [&](int b) {
        const int a = prev[b], c = next[b];
        const double du = u[c] - u[a], dv = v[c] - v[a];
        ears.push_back({-(du * du + dv * dv), b, stamps[(size_t)b]});
        std::push_heap(ears.begin(), ears.end());
    };
    // Drops the stale entries on top; true when one is left.
    auto top = [&](std::vector<HeapEntry>& heap, int need) {
        while (!heap.empty()) {
            const HeapEntry& e = heap.front();
            const char f = flags[(size_t)e.corner];
            if (!(f & 4) && (f & need) == need && e.stamp == stamps[(size_t)e.corner]) return true;
            std::pop_heap(heap.begin(), heap.end());
            heap.pop_back();
        }
        return false;
    };
    for (int k = 0; k < n; ++k) {
        if (!isEar(k)) continue;
        flags[(size_t)k] |= 2;
        if (large) pushEar(k);
    }

    int left = n;
    int at = 0;
    while (left > 3) {
        int ear = -1;
        if (large) {
            if (top(ears, 2)) ear = ears.front().corner;
        } else {
            int b = at;
            for (int step = 0; step < left; ++step, b = next[b]) {
                if (flags[(size_t)b] & 2) {
                    ear = b;
                    break;
                }
            }
        }
        if (ear < 0 && !large) {
            // No ear (the outline crosses itself or lies on a line): the corner that turns
            // left the most is cut off, so that the walk always ends.
            double best = 0.0;
            int b = at;
            ear = at;
            for (int step = 0; step < left; ++step, b = next[b]) {
                const double turn = Turn(u, v, prev[b], b, next[b]);
                if (turn > best) {
                    best = turn;
                    ear = b;
                }
            }
        } else if (ear < 0) {
            if (turns.empty()) {
                int b = at;
                for (int step = 0; step < left; ++step, b = next[b])
                    turns.push_back({Turn(u, v, prev[b], b, next[b]), b, stamps[(size_t)b]});
                std::make_heap(turns.begin(), turns.end());
            }
            ear = top(turns, 0) && turns.front().key > 0.0 ? turns.front().corner : at;
        }
        const int a = prev[ear], c = next[ear];
        *out++ = a;
        *out++ = ear;
        *out++ = c;
        next[a] = c;
        prev[c] = a;
        --left;
        flags[(size_t)ear] = 4;
        if (grid.Holds(ear)) grid.Remove(ear);
        for (int x : {a, c}) {
            flags[(size_t)x] = reflex(x) ? 1 : 0;
            if (flags[(size_t)x] & 1) {
                if (!grid.Holds(x)) grid.Add(x);
            } else if (grid.Holds(x)) {
                grid.Remove(x);
            }
        }
        for (int x : {a, c}) {
            if (left > 3 && isEar(x)) flags[(size_t)x] |= 2;
            if (!large) continue;
            ++stamps[(size_t)x];
            if (flags[(size_t)x] & 2) pushEar(x);
            if (!turns.empty()) {
                turns.push_back({Turn(u, v, prev[x], x, next[x]), x, stamps[(size_t)x]});
                std::push_heap(turns.begin(), turns.end());
            }
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
