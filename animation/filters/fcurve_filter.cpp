#include "animation/filters/fcurve_filter.h"

#include <cmath>
#include <cstdlib>
#include <memory>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {

const char* const kStatusMessages[] = {"No key", "Multiple interpolation or tangeants types",
                                       "Multiple key count", "Unsynched keys", "Left unchanged"};

constexpr double kCurveEpsilon = 2.220446049250313e-16;

bool Near(double a, double b) {
    return std::fabs(a - b) <= kCurveEpsilon;
}

// Sets slot i of `destination` to a sample of `source` at t that takes the type
// of the source key it falls on (or after); user tangents carry the source's
// slopes at t.
void SetSampleKeepingType(VFCurve& source, VFCurve& destination, int i, VTime t, int* hint) {
    float value = source.Evaluate(t, hint);
    unsigned interpolation = kCubic;
    unsigned tangent = kTangentAuto;
    float d0 = 0.0f, d1 = 0.0f;
    double f = source.KeyFind(t);
    int count = source.KeyGetCount();
    if (f >= 0.0 && f <= (double)(count - 1)) {
        int k = (int)f;
        interpolation = source.KeyGetInterpolation(k);
        tangent = source.KeyGetTangentMode(k);
        if (interpolation == kCubic) {
            if (IsUserTangent(tangent)) {
                d0 = source.EvaluateRightDerivative(t);
                d1 = source.EvaluateLeftDerivative(t);
            } else if (tangent == kTangentTCB) {
                tangent = kTangentAuto;
            }
        }
    }
    SetSampleKey(destination, i, t, value, interpolation, tangent, d0, d1);
}

// The sampling shared by ResampleCurve and ResampleCurveKeepingKeyTypes.
void Resample(VFCurve& source, VFCurve& destination, VTime start, VTime stop, VTime period, bool keepTypes,
              unsigned interpolation, unsigned tangent, bool addLast) {
    int64_t n = SampleCount(start, stop, period);
    if (n < 0 || stop <= start) return;
    bool extra = addLast && ((uint64_t)stop.Get() - (uint64_t)start.Get()) % (uint64_t)period.Get() > 0;
    int total = (int)n + (extra ? 1 : 0);

    destination.KeyClear();
    destination.ResizeKeyBuffer(total);
    destination.KeyModifyBegin();
    int hint = 0;
    for (int i = 0; i < (int)n; ++i) {
        VTime t = start + period * i;
        if (keepTypes) {
            SetSampleKeepingType(source, destination, i, t, &hint);
        } else {
            SetSampleKey(destination, i, t, source.Evaluate(t, &hint), interpolation, tangent);
        }
    }
    if (extra) {
        if (keepTypes) {
            SetSampleKeepingType(source, destination, (int)n, stop, &hint);
        } else {
            SetSampleKey(destination, (int)n, stop, source.Evaluate(stop, &hint), interpolation, tangent);
        }
    }
    destination.KeyModifyEnd();
}

void ReportMixed(bool& reported, unsigned value, unsigned mask, const char* text) {
    if (!reported && value != mask) {
        VFCurveFilter::GetStatusError().SetLastError(1, text);
        reported = true;
    }
}

}  // namespace

VFCurveFilter::VFCurveFilter(const char* name, const char* const* messages, int messageCount)
    : mName(name), mStart(0), mStop(0), mError(messages, messageCount) {}

VFCurveFilter::~VFCurveFilter() = default;

bool VFCurveFilter::NeedApply(VFCurve&) {
    return true;
}

bool VFCurveFilter::NeedApply(VFCurve** curves, int count) {
    bool answer = true;
    for (int i = 0; i < count; ++i)
        answer = NeedApply(*curves[i]) || answer;
    return answer;
}

bool VFCurveFilter::NeedApply(VFCurveNode& node, bool recursive) {
    bool answer = true;
    if (recursive) {
        for (int i = 0; i < node.GetCount(); ++i)
            answer = NeedApply(*node.Get(i), recursive) || answer;
    }
    if (VFCurve* curve = node.FCurveGet()) answer = NeedApply(&curve, 1) || answer;
    return answer;
}

void VFCurveFilter::Reset() {
    mStart = VTIME_MINUS_INFINITE;
    mStop = VTIME_INFINITE;
}

void VFCurveFilter::Progress(VTime, VTime) {}

bool VFCurveFilter::ApplyNodeDefault(VFCurveNode& node, bool recursive) {
    bool answer = true;
    if (recursive) {
        for (int i = 0; i < node.GetCount(); ++i)
            answer = Apply(*node.Get(i), recursive) || answer;
    }
    if (VFCurve* curve = node.FCurveGet()) answer = Apply(*curve) || answer;
    return answer;
}

bool VFCurveFilter::ApplyArrayDefault(VFCurve** curves, int count) {
    bool answer = true;
    for (int i = 0; i < count; ++i)
        answer = Apply(*curves[i]) || answer;
    return answer;
}

int VFCurveFilter::GetStartKeyIndex(VFCurve& curve) const {
    int count = curve.KeyGetCount();
    if (count == 0) return -1;
    VTime first = curve.KeyGetTime(0);
    VTime t = mStart > first ? mStart : first;
    int index = (int)curve.KeyFind(t);
    return index > 0 ? index : 0;
}

int VFCurveFilter::GetStopKeyIndex(VFCurve& curve) const {
    int count = curve.KeyGetCount();
    if (count == 0) return -1;
    VTime last = curve.KeyGetTime(count - 1);
    VTime t = mStop < last ? mStop : last;
    int index = (int)curve.KeyFind(t);
    return index < count - 1 ? index : count - 1;
}

bool VFCurveFilter::AreCurvesEqual(VFCurve& a, VFCurve& b) {
    if (!Near(a.GetDefaultValue(), b.GetDefaultValue())) return false;
    int count = a.KeyGetCount();
    if (count != b.KeyGetCount()) return false;
    for (int i = 0; i < count; ++i) {
        if (a.KeyGetTime(i) != b.KeyGetTime(i)) return false;
        if (!Near(a.KeyGetValue(i), b.KeyGetValue(i))) return false;
        unsigned interpolation = a.KeyGetInterpolation(i);
        if (interpolation != (unsigned)b.KeyGetInterpolation(i)) return false;
        if (interpolation != kCubic) continue;
        unsigned tangent = a.KeyGetTangentMode(i);
        if (tangent != (unsigned)b.KeyGetTangentMode(i)) return false;
        if (tangent == kTangentTCB) {
            for (int k = 0; k < 3; ++k) {
                if (!Near(a.KeyGetDataRaw(i, k), b.KeyGetDataRaw(i, k))) return false;
            }
        } else if (IsUserTangent(tangent)) {
            for (int k = 0; k < 2; ++k) {
                if (!Near(a.KeyGetDataFloat(i, k), b.KeyGetDataFloat(i, k))) return false;
            }
        }
    }
    return true;
}

namespace {

// Ors one key attribute over every key into `mask`, reporting once through the status error when
// the keys disagree; false (with its own message) for a curve without keys.
bool CollectKeyAttribute(unsigned& mask, VFCurve& curve, unsigned (VFCurve::*get)(int) const,
                         const char* mixedMessage) {
    int count = curve.KeyGetCount();
    mask = 0;
    if (count == 0) {
        VFCurveFilter::GetStatusError().SetLastError(0, "VFCurveFilter, No key to be filtered.");
        return false;
    }
    bool reported = false;
    mask = (curve.*get)(0);
    for (int i = 1; i < count; ++i) {
        unsigned value = (curve.*get)(i);
        ReportMixed(reported, value, mask, mixedMessage);
        mask |= value;
    }
    return true;
}

}  // namespace

bool VFCurveFilter::HasSingleInterpolation(unsigned& mask, VFCurve& curve) {
    return CollectKeyAttribute(mask, curve, &VFCurve::KeyGetInterpolation,
                               "VFCurveFilter, No single interpolation type.");
}

bool VFCurveFilter::HasSingleTangentMode(unsigned& mask, VFCurve& curve) {
    return CollectKeyAttribute(mask, curve, &VFCurve::KeyGetTangentMode,
                               "VFCurveFilter, No single tangeant mode.");
}

bool VFCurveFilter::GetKeyTypeStatistics(VFCurve& curve, int counters[7]) {
    for (int k = 0; k < 7; ++k)
        counters[k] = 0;
    int count = curve.KeyGetCount();
    for (int i = 0; i < count; ++i) {
        unsigned interpolation = curve.KeyGetInterpolation(i);
        if (interpolation == kConstant) {
            ++counters[0];
        } else if (interpolation == kLinear) {
            ++counters[1];
        } else if (interpolation == kCubic) {
            switch ((unsigned)curve.KeyGetTangentMode(i)) {
                case kTangentAuto:
                    ++counters[2];
                    break;
                case kTangentAutoBreak:
                    ++counters[3];
                    break;
                case kTangentUser:
                    ++counters[4];
                    break;
                case kTangentUserBreak:
                    ++counters[5];
                    break;
                case kTangentTCB:
                    ++counters[6];
                    break;
                default:
                    break;
            }
        }
    }
    return true;
}

void VFCurveFilter::SetKeyTypesRecursive(unsigned interpolation, unsigned tangentMode, VFCurveNode& node) {
    for (int i = 0; i < node.GetCount(); ++i)
        SetKeyTypesRecursive(interpolation, tangentMode, *node.Get(i));
    VFCurve* curve = node.FCurveGet();
    if (!curve) return;
    curve->KeyModifyBegin();
    for (int i = 0; i < curve->KeyGetCount(); ++i) {
        curve->KeySetInterpolation(i, interpolation);
        curve->KeySetTangentMode(i, tangentMode);
    }
    curve->KeyModifyEnd();
}

void VFCurveFilter::ConvertKeyTypes(VFCurve& source, VFCurve& destination, unsigned interpolation,
                                    unsigned tangentMode, VTime period) {
    destination.CopyFrom(&source, true);
    int count = source.KeyGetCount();
    if (count == 0) return;
    destination.KeyModifyBegin();
    // Samples the segment from key i with the wanted type, every period up to the
    // next key.
    auto sampleSegment = [&](int i) {
        VTime t = source.KeyGetTime(i);
        VTime end = i + 1 < count ? source.KeyGetTime(i + 1) : t;
        // Times t, t + period, ... before the next key (one key for the last); a
        // period that would give more samples than a curve should hold gives just
        // the key's own.
        int64_t n = end > t ? SampleCount(t, end - VTime(1), period) : 1;
        if (n < 1) n = 1;
        for (int64_t k = 0; k < n; ++k) {
            VTime at = t + period * k;
            VFCurveKey key;
            key.Set(at, source.Evaluate(at), interpolation, tangentMode, 0.0f, 0.0f, 0, kDefaultWeight,
                    kDefaultWeight, 0.0f, 0.0f);
            destination.KeyAdd(at, key);
        }
    };
    for (int i = 0; i < count; ++i) {
        unsigned keyInterpolation = source.KeyGetInterpolation(i);
        unsigned keyTangent = source.KeyGetTangentMode(i);
        if (keyInterpolation != interpolation) {
            sampleSegment(i);
        } else if (interpolation == kCubic && keyTangent != tangentMode) {
            bool toUser = tangentMode == kTangentUser &&
                          (keyTangent == kTangentAuto || keyTangent == kTangentAutoBreak);
            bool toUserBreak =
                tangentMode == kTangentUserBreak &&
                (keyTangent == kTangentAuto || keyTangent == kTangentAutoBreak || keyTangent == kTangentUser);
            if (toUser || toUserBreak) {
                bool last = i + 1 >= count;
                float right = last ? 0.0f : source.KeyGetRightDerivative(i);
                float nextLeft = last ? 0.0f : source.KeyGetLeftDerivative(i + 1);
                VFCurveKey key;
                VTime t = source.KeyGetTime(i);
                key.Set(t, source.KeyGetValue(i), kCubic, tangentMode, right, nextLeft, 0, kDefaultWeight,
                        kDefaultWeight, 0.0f, 0.0f);
                destination.KeyAdd(t, key);
            } else {
                sampleSegment(i);
            }
        } else {
            destination.KeyAdd(source.KeyGetTime(i), &source, i);
        }
    }
    destination.KeyModifyEnd();
}

void VFCurveFilter::ResampleCurve(VFCurve& source, VFCurve& destination, VTime start, VTime stop,
                                  VTime period, unsigned interpolation, unsigned tangentMode,
                                  bool addLastKey) {
    Resample(source, destination, start, stop, period, false, interpolation, tangentMode, addLastKey);
}

void VFCurveFilter::ResampleCurveKeepingKeyTypes(VFCurve& source, VFCurve& destination, VTime start,
                                                 VTime stop, VTime period, bool addLastKey) {
    Resample(source, destination, start, stop, period, true, kCubic, kTangentAuto, addLastKey);
}

void VFCurveFilter::ResampleCurveInPlace(VFCurve& curve, VTime period, VTime start, VTime stop, bool align) {
    if (start > stop || period.Get() <= 0) return;
    int count = curve.KeyGetCount();
    if (IsMinusInfinite(start)) start = count > 0 ? curve.KeyGetTime(0) : VTime(0);
    if (IsInfinite(stop)) stop = count > 0 ? curve.KeyGetTime(count - 1) : start;
    if (align && start.Get() % period.Get() != 0) {
        VTime q = start / period;
        VTime aligned = q * period;
        if (aligned.Get() > 0) start = aligned + period;
    }
    int64_t n = SampleCount(start, stop, period);
    if (n < 0) return;
    CurvePtr samples(VFCurve::Create());
    samples->ResizeKeyBuffer((int)n);
    samples->KeyModifyBegin();
    int hint = 0;
    for (int i = 0; i < (int)n; ++i) {
        VTime t = start + period * i;
        SetSampleKey(*samples, i, t, curve.Evaluate(t, &hint), kCubic, kTangentAuto);
    }
    samples->KeyModifyEnd();
    curve.Replace(samples.get(), start, stop, true, true);
}

void VFCurveFilter::SpliceCurve(VFCurve& base, VFCurve& span, VFCurve& destination) {
    int baseCount = base.KeyGetCount();
    int spanCount = span.KeyGetCount();
    if (baseCount == 0) {
        if (spanCount > 0) destination.CopyFrom(&span, true);
        return;
    }
    if (spanCount == 0) {
        destination.CopyFrom(&base, true);
        return;
    }
    VTime spanFirst = span.KeyGetTime(0);
    VTime spanLast = span.KeyGetTime(spanCount - 1);
    if (spanFirst <= base.KeyGetTime(0) && spanLast >= base.KeyGetTime(baseCount - 1)) {
        destination.CopyFrom(&span, true);
        return;
    }
    int a = (int)std::ceil(base.KeyFind(spanFirst));
    int b = (int)std::floor(base.KeyFind(spanLast));
    int total = a + spanCount + (baseCount - 1 - b);

    destination.KeyClear();
    destination.ResizeKeyBuffer(total);
    destination.KeyModifyBegin();
    int n = 0;
    for (int i = 0; i < a; ++i)
        destination.KeySet(n++, base.KeyGet(i));
    for (int i = 0; i < spanCount; ++i)
        destination.KeySet(n++, span.KeyGet(i));
    for (int i = b + 1; i < baseCount; ++i)
        destination.KeySet(n++, base.KeyGet(i));

    // Seam before the span: the key before it keeps pointing into the base's
    // slope at the seam.
    if (a - 1 >= 0 && a < baseCount && base.KeyGetInterpolation(a - 1) == kCubic &&
        IsUserTangent(base.KeyGetTangentMode(a - 1))) {
        destination.KeySetDataFloat(a - 1, 1, base.EvaluateRightDerivative(spanFirst));
    }
    // Seam after the span: the last span key leaves with the base's slope.
    if (b >= 0 && b < baseCount - 1 && base.KeyGetInterpolation(b) == kCubic &&
        IsUserTangent(base.KeyGetTangentMode(b))) {
        int last = a + spanCount - 1;
        destination.KeySetInterpolation(last, kCubic);
        destination.KeySetTangentMode(last, kTangentUserBreak);
        destination.KeySetDataFloat(last, 0, base.EvaluateLeftDerivative(spanLast));
        destination.KeySetDataFloat(last, 1, base.KeyGetDataFloat(b, 1));
    }
    destination.KeyModifyEnd();
}

VTime VFCurveFilter::GetStartGap(VFCurve& curve, VTime time) {
    if (curve.KeyGetCount() == 0) return VTime(0);
    VTime first = curve.KeyGetTime(0);
    return first > time ? first - time : VTime(0);
}

VTime VFCurveFilter::GetStopGap(VFCurve& curve, VTime time) {
    int count = curve.KeyGetCount();
    if (count == 0) return VTime(0);
    VTime last = curve.KeyGetTime(count - 1);
    return last < time ? last - time : VTime(0);
}

VError& VFCurveFilter::GetStatusError() {
    static VError status(kStatusMessages, 5);
    return status;
}

int VFCurveFilter::GetStatusErrorID() {
    return GetStatusError().GetLastErrorID();
}

const char* VFCurveFilter::GetStatusErrorString() {
    return GetStatusError().GetLastErrorString().Buffer();
}
