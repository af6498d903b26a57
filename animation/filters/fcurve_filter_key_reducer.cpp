#include "animation/filters/fcurve_filter_key_reducer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_key_sync.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged"};

constexpr int kProgressDepth = 10;

// One level of the refinement between fitted keys a and b (source key indexes).
struct Frame {
    int a;
    int b;
    int split;
    int stage;
    bool left;
    bool right;
};

}  // namespace

VFCurveFilterKeyReducer::VFCurveFilterKeyReducer() : VFCurveFilter("Bezier Fit/Key Reducer", kMessages, 2) {
    Reset();
}

void VFCurveFilterKeyReducer::Reset() {
    VFCurveFilter::Reset();
    mPrecision = 1.0;
    mKeySync = false;
}

bool VFCurveFilterKeyReducer::Apply(VFCurve** curves, int count) {
    bool keySync = mKeySync;
    mKeySync = false;
    bool answer = ApplyArrayDefault(curves, count);
    if (keySync && count >= 2) {
        VFCurveFilterKeySync sync;
        sync.SetStartTime(mStart);
        sync.SetStopTime(mStop);
        sync.Apply(curves, count);
    }
    mKeySync = keySync;
    return answer;
}

bool VFCurveFilterKeyReducer::Apply(VFCurveNode& node, bool recursive) {
    bool keySync = mKeySync;
    mKeySync = false;
    bool answer = ApplyNodeDefault(node, recursive);
    if (keySync && node.GetCount() > 1) {
        VFCurveFilterKeySync sync;
        sync.SetStartTime(mStart);
        sync.SetStopTime(mStop);
        sync.Apply(node, recursive);
    }
    mKeySync = keySync;
    return answer;
}

bool VFCurveFilterKeyReducer::Apply(VFCurve& curve) {
    int count = curve.KeyGetCount();
    if (count < 2) {
        mError.SetLastError(1, "KeyReducer, No key were changed by filter.");
        return false;
    }
    VTime first = curve.KeyGetTime(0);
    VTime last = curve.KeyGetTime(count - 1);
    VTime start = mStart > first ? mStart : first;
    VTime stop = mStop < last ? mStop : last;
    if (Seconds(stop - start) <= 0.0) {
        mError.SetLastError(1, "KeyReducer, Invalid Time Span. No key were changed by filter.");
        return false;
    }
    CurvePtr reduced(NewCurveCopy(curve, false));
    Fit(curve, *reduced, start, stop);
    CurvePtr whole(NewCurveCopy(curve, true));
    SpliceCurve(*whole, *reduced, curve);
    return true;
}

void VFCurveFilterKeyReducer::Fit(VFCurve& source, VFCurve& reduced, VTime start, VTime stop) {
    int i0 = (int)std::floor(source.KeyFind(start));
    int i1 = (int)std::ceil(source.KeyFind(stop));
    int count = source.KeyGetCount();

    // The fitted curve between two of its keys is one cubic segment that depends
    // only on those two keys: the first key's tangent mode and right slope, the
    // left slope of the second kept in the first (always the source's left slope
    // at the second key), and the second's tangent mode. Each refinement level
    // therefore evaluates a two-key curve instead of inserting into a growing
    // one, and the fitted keys are written once, in time order, at the end.
    std::vector<unsigned> mode((size_t)count, 0);
    std::vector<float> right((size_t)count, 0.0f);
    std::vector<int> chosen;
    mode[(size_t)i0] = kTangentUser;
    right[(size_t)i0] = source.KeyGetRightDerivative(i0);
    mode[(size_t)i1] = kTangentAuto;
    chosen.push_back(i0);
    chosen.push_back(i1);

    VFCurve segment;
    segment.ResizeKeyBuffer(2);
    auto buildSegment = [&](int a, int b) {
        segment.KeySet(0, source.KeyGetTime(a), source.KeyGetValue(a), kCubic, mode[(size_t)a],
                       right[(size_t)a], source.KeyGetLeftDerivative(b));
        float bRight = b == i1 ? 0.0f : right[(size_t)b];
        segment.KeySet(1, source.KeyGetTime(b), source.KeyGetValue(b), kCubic, mode[(size_t)b], bRight, 0.0f);
    };

    double limit = mPrecision * mPrecision;
    mDepth = 0;
    std::vector<Frame> stack;
    stack.push_back({i0, i1, -1, 0, false, false});
    while (!stack.empty()) {
        Frame f = stack.back();
        if (f.stage == 0) {
            double err = 0.0;
            int split = -1;
            if (f.a < f.b) {
                buildSegment(f.a, f.b);
                int hint = 0;
                for (int i = f.a; i < f.b; ++i) {
                    double d =
                        (double)segment.Evaluate(source.KeyGetTime(i), &hint) - (double)source.KeyGetValue(i);
                    if (d * d > err) {
                        err = d * d;
                        split = i;
                    }
                }
            }
            if (!(err > limit)) {
                stack.pop_back();
                continue;
            }
            ++mDepth;
            float r = source.KeyGetRightDerivative(split);
            float l = source.KeyGetLeftDerivative(split);
            mode[(size_t)split] = l == r ? kTangentUser : kTangentUserBreak;
            right[(size_t)split] = r;
            chosen.push_back(split);
            f.split = split;
            f.stage = 1;
            f.left = split - f.a > 1;
            stack.back() = f;
            if (f.left) stack.push_back({f.a, split, -1, 0, false, false});
        } else if (f.stage == 1) {
            if (f.left && mDepth < kProgressDepth)
                Progress(source.KeyGetTime(f.a), source.KeyGetTime(f.split));
            f.stage = 2;
            f.right = f.b - f.split > 1;
            stack.back() = f;
            if (f.right) stack.push_back({f.split, f.b, -1, 0, false, false});
        } else {
            if (f.right && mDepth < kProgressDepth)
                Progress(source.KeyGetTime(f.split), source.KeyGetTime(f.b));
            --mDepth;
            stack.pop_back();
        }
    }

    std::sort(chosen.begin(), chosen.end());
    int n = (int)chosen.size();
    reduced.ResizeKeyBuffer(n);
    reduced.KeyModifyBegin();
    for (int k = 0; k < n; ++k) {
        int s = chosen[(size_t)k];
        if (k + 1 < n) {
            reduced.KeySet(k, source.KeyGetTime(s), source.KeyGetValue(s), kCubic, mode[(size_t)s],
                           right[(size_t)s], source.KeyGetLeftDerivative(chosen[(size_t)k + 1]));
        } else {
            reduced.KeySet(k, source.KeyGetTime(s), source.KeyGetValue(s), kCubic, kTangentAuto, 0.0f, 0.0f);
        }
    }
    reduced.KeyModifyEnd();
}
