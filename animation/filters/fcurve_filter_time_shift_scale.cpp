#include "animation/filters/fcurve_filter_time_shift_scale.h"

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {
const char* const kMessages[] = {"No key", "Left unchanged"};
}  // namespace

VFCurveFilterTimeShiftAndScale::VFCurveFilterTimeShiftAndScale()
    : VFCurveFilter("TimeShiftAndScaleFilter", kMessages, 2), mShift(0), mScale(1.0) {}

bool VFCurveFilterTimeShiftAndScale::Apply(VFCurve** curves, int count) {
    return ApplyArrayDefault(curves, count);
}

bool VFCurveFilterTimeShiftAndScale::Apply(VFCurveNode& node, bool recursive) {
    return ApplyNodeDefault(node, recursive);
}

bool VFCurveFilterTimeShiftAndScale::Apply(VFCurve& curve) {
    bool scaling = mScale > 0.0 && mScale != 1.0;
    if (mShift.Get() == 0 && !scaling) {
        mError.SetLastError(1, "TimeShiftAndScaleFilter, No key were changed by filter.");
        return false;
    }
    int count = curve.KeyGetCount();
    if (count == 0) {
        mError.SetLastError(0, "TimeShiftAndScaleFilter, No key to be filtered.");
        return false;
    }
    curve.KeyModifyBegin();
    VTime previous;
    for (int i = 0; i < count; ++i) {
        VTime t = curve.KeyGetTime(i) + mShift;
        if (scaling) {
            t = FromSeconds(Seconds(t) * mScale);
            // A scale below 1 can truncate neighbouring keys onto the same tick.
            if (i > 0 && t <= previous) t = previous + VTime(1);
        }
        curve.KeySetTime(i, t);
        previous = t;
    }
    curve.KeyModifyEnd();
    return true;
}
