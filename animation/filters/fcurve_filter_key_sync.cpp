#include "animation/filters/fcurve_filter_key_sync.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged", "Multiple key count", "Unsynched keys",
                                 "Too many curves"};

const char* const kNoChange = "KeySyncFilter, No key were changed by filter.";
constexpr int kMaxCurves = 19;

}  // namespace

VFCurveFilterKeySync::VFCurveFilterKeySync() : VFCurveFilter("FCurve Key Synchronizer", kMessages, 5) {
    mStart = VTIME_MINUS_INFINITE;
    mStop = VTIME_INFINITE;
}

bool VFCurveFilterKeySync::NeedApply(VFCurve&) {
    mError.SetLastError(1, kNoChange);
    return false;
}

bool VFCurveFilterKeySync::NeedApply(VFCurve** curves, int count) {
    if (count < 1) return false;
    int keys = curves[0]->KeyGetCount();
    for (int c = 1; c < count; ++c) {
        if (curves[c]->KeyGetCount() != keys) {
            mError.SetLastError(2,
                                "KeySyncFilter, Key count is different in the "
                                "Curves to be filtered.");
            return true;
        }
    }
    if (keys == 0) return false;
    for (int i = 0; i < keys; ++i) {
        VTime t = curves[0]->KeyGetTime(i);
        for (int c = 1; c < count; ++c) {
            if (curves[c]->KeyGetTime(i) != t) {
                mError.SetLastError(3, "KeySyncFilter, keys are not synchronized.");
                return true;
            }
        }
    }
    return false;
}

bool VFCurveFilterKeySync::CollectChildCurves(VFCurveNode& node, VFCurve** curves, int& count) {
    count = 0;
    if (node.GetCount() > kMaxCurves) {
        mError.SetLastError(4, "KeySyncFilter, Curve count is too mush. No support above 20 curves..");
        return false;
    }
    for (int i = 0; i < node.GetCount(); ++i) {
        if (VFCurve* curve = node.Get(i)->FCurveGet()) curves[count++] = curve;
    }
    return true;
}

bool VFCurveFilterKeySync::NeedApply(VFCurveNode& node, bool) {
    VFCurve* curves[kMaxCurves];
    int count = 0;
    if (!CollectChildCurves(node, curves, count)) return false;
    return NeedApply(curves, count);
}

bool VFCurveFilterKeySync::Apply(VFCurve&) {
    mError.SetLastError(1, kNoChange);
    return false;
}

bool VFCurveFilterKeySync::Apply(VFCurveNode& node, bool) {
    VFCurve* curves[kMaxCurves];
    int count = 0;
    if (!CollectChildCurves(node, curves, count)) return false;
    return Apply(curves, count);
}

bool VFCurveFilterKeySync::Apply(VFCurve** curves, int count) {
    if (count < 2) {
        mError.SetLastError(1, kNoChange);
        return false;
    }
    int most = 0;
    for (int c = 0; c < count; ++c)
        most = std::max(most, curves[c]->KeyGetCount());

    // The unchanged shapes, evaluated while keys go in.
    std::vector<VFCurve*> copies((size_t)count, nullptr);
    std::vector<int> hints((size_t)count, 0);
    std::vector<int> copyHints((size_t)count, 0);
    for (int c = 0; c < count; ++c) {
        curves[c]->ResizeKeyBuffer(most);
        curves[c]->KeyModifyBegin();
        copies[(size_t)c] = NewCurveCopy(*curves[c], true);
    }

    // Walks the union of the key times inside the span in increasing order. Each
    // curve keeps its own search hint, so the walk costs one or two key
    // comparisons per key and curve.
    VTime scan = IsMinusInfinite(mStart) ? mStart : mStart - VTime(1);
    while (scan < mStop) {
        bool found = false;
        VTime next = VTIME_INFINITE;
        for (int c = 0; c < count; ++c) {
            VFCurve& curve = *curves[c];
            int keys = curve.KeyGetCount();
            if (keys == 0) continue;
            int idx = 0;
            if (!IsMinusInfinite(scan)) {
                double f = curve.KeyFind(scan, &hints[(size_t)c]);
                idx = std::min((int)std::ceil(f), keys - 1);
                if (idx < 0) idx = 0;
            }
            VTime t = curve.KeyGetTime(idx);
            if (t > scan && (!found || t < next)) {
                next = t;
                found = true;
            }
        }
        if (!found || next > mStop) break;
        for (int c = 0; c < count; ++c) {
            VFCurve& curve = *curves[c];
            int idx = curve.KeyInsert(next, &hints[(size_t)c]);
            curve.KeySetValue(idx, copies[(size_t)c]->Evaluate(next, &copyHints[(size_t)c]));
        }
        if (next == VTIME_INFINITE) break;
        scan = next + VTime(1);
    }

    for (int c = 0; c < count; ++c) {
        curves[c]->KeyModifyEnd();
        DestroyCurve(copies[(size_t)c]);
    }
    return true;
}
