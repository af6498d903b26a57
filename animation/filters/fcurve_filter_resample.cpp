#include "animation/filters/fcurve_filter_resample.h"

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {
const char* const kMessages[] = {"Bad Period", "Bad Interval"};
}  // namespace

VFCurveFilterResample::VFCurveFilterResample() : VFCurveFilter("FCurve Resample", kMessages, 2) {
    Reset();
}

void VFCurveFilterResample::Reset() {
    VFCurveFilter::Reset();
    mAlignToPeriod = false;
    mPeriod.SetTime(0, 0, 0, 1);
    mKeepKeyTypes = false;
}

bool VFCurveFilterResample::Apply(VFCurve** curves, int count) {
    return ApplyArrayDefault(curves, count);
}

bool VFCurveFilterResample::Apply(VFCurveNode& node, bool recursive) {
    return ApplyNodeDefault(node, recursive);
}

bool VFCurveFilterResample::Apply(VFCurve& curve) {
    if (mPeriod.Get() <= 0) {
        mError.SetLastError(0, "Bad Period");
        return false;
    }
    int count = curve.KeyGetCount();
    VTime start = mStart;
    VTime stop = mStop;
    if (IsMinusInfinite(start) && count > 0) start = curve.KeyGetTime(0);
    if (IsInfinite(stop) && count > 0) stop = curve.KeyGetTime(count - 1);
    if (IsMinusInfinite(start) || IsInfinite(stop)) {
        mError.SetLastError(1, "Bad Interval");
        return false;
    }
    if (mAlignToPeriod && start.Get() % mPeriod.Get() != 0) {
        VTime aligned = (start / mPeriod) * mPeriod;
        if (aligned.Get() > 0) start = aligned + mPeriod;
    }
    if (stop <= start || SampleCount(start, stop, mPeriod) < 0) {
        mError.SetLastError(1, "Bad Interval");
        return false;
    }

    CurvePtr whole(NewCurveCopy(curve, true));
    CurvePtr samples(NewCurveCopy(curve, false));
    if (mKeepKeyTypes) {
        ResampleCurveKeepingKeyTypes(*whole, *samples, start, stop, mPeriod, true);
    } else {
        ResampleCurve(*whole, *samples, start, stop, mPeriod, kCubic, kTangentAuto, true);
    }
    SpliceCurve(*whole, *samples, curve);
    return true;
}
