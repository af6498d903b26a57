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
    for (int c = 0; c < count; ++c) {
        curves[c]->ResizeKeyBuffer(most);
        curves[c]->KeyModifyBegin();
        copies[(size_t)c] = NewCurveCopy(*curves[c], true);
    }

    // Every key time inside the span, of any curve, in increasing order.
    std::vector<VTime> times;
    for (int c = 0; c < count; ++c) {
        const VFCurve& curve = *curves[c];
        int keys = curve.KeyGetCount();
        std::vector<VTime> merged;
        merged.reserve(times.size() + (size_t)keys);
        size_t a = 0;
        for (int k = 0; k < keys; ++k) {
            VTime t = curve.KeyGetTime(k);
            if (t < mStart || t > mStop) continue;
            while (a < times.size() && times[a] < t)
                merged.push_back(times[a++]);
            if (a < times.size() && times[a] == t) ++a;
            merged.push_back(t);
        }
        while (a < times.size())
            merged.push_back(times[a++]);
        times.swap(merged);
    }

    // Each curve gets shape-keeping keys at those times, valued from its unchanged copy.
    for (int c = 0; c < count; ++c) {
        VFCurve& curve = *curves[c];
        InsertKeysAt(curve, times);
        int hint = 0, copyHint = 0;
        for (VTime t : times) {
            int idx = (int)curve.KeyFind(t, &hint);
            curve.KeySetValue(idx, copies[(size_t)c]->Evaluate(t, &copyHint));
        }
    }

    for (int c = 0; c < count; ++c) {
        curves[c]->KeyModifyEnd();
        DestroyCurve(copies[(size_t)c]);
    }
    return true;
}
