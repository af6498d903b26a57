// Small helpers shared by the curve filters: key-type constants, time
// conversions, and the default sample key the filters write. Not part of the
// public interface.
#ifndef OXA_ANIMATION_FILTERS_FILTER_SUPPORT_H
#define OXA_ANIMATION_FILTERS_FILTER_SUPPORT_H

#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

#include <oxa/animation/fcurve.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>

namespace oxa_filter {

constexpr unsigned kConstant = 0x2;
constexpr unsigned kLinear = 0x4;
constexpr unsigned kCubic = 0x8;
constexpr unsigned kInterpolationMask = 0xE;

constexpr unsigned kTangentAuto = 0x100;
constexpr unsigned kTangentTCB = 0x200;
constexpr unsigned kTangentUser = 0x400;
constexpr unsigned kTangentAutoBreak = 0x900;
constexpr unsigned kTangentUserBreak = 0xC00;

constexpr float kDefaultWeight = 0.33333334f;

inline double Seconds(VTime t) {
    return t.GetSecondDouble();
}
inline VTime FromSeconds(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}
inline bool IsMinusInfinite(VTime t) {
    return t.Get() == VTime::kMinusInfinite;
}
inline bool IsInfinite(VTime t) {
    return t.Get() == VTime::kInfinite;
}

// The most samples one resampling writes into a curve: over 150 hours at 30
// frames per second. Spans come from key times read from files; a wild one must
// not size an allocation.
constexpr int64_t kMaxSamples = 1 << 24;

// The number of samples start, start + period, ... <= stop, or -1 when the span
// is empty, the period is not positive, or there would be more than kMaxSamples
// (the difference is taken without wrapping, so even infinite ends give a count
// instead of garbage).
inline int64_t SampleCount(VTime start, VTime stop, VTime period) {
    if (stop.Get() < start.Get() || period.Get() <= 0) return -1;
    uint64_t span = (uint64_t)stop.Get() - (uint64_t)start.Get();
    uint64_t n = span / (uint64_t)period.Get() + 1;
    if (n > (uint64_t)kMaxSamples) return -1;
    return (int64_t)n;
}

inline bool IsUserTangent(unsigned tangent) {
    return tangent == kTangentUser || tangent == kTangentUserBreak;
}

// Writes slot i of the curve as a key with the given type and slopes,
// unweighted, weights 1/3, no velocity: the key every filter writes. The slot
// must be allocated (ResizeKeyBuffer).
inline void SetSampleKey(VFCurve& curve, int i, VTime time, float value, unsigned interpolation,
                         unsigned tangentMode, float data0 = 0.0f, float data1 = 0.0f) {
    curve.KeySet(i, time, value, interpolation, tangentMode, data0, data1, 0, kDefaultWeight, kDefaultWeight,
                 0.0f, 0.0f);
}

// A new curve with the attributes of `source` (default value, extrapolation,
// colour, owner tag) and, with `withKeys`, its keys. The caller destroys it
// with DestroyCurve. A copy whose keys find no room throws std::bad_alloc and
// is not left behind.
inline VFCurve* NewCurveCopy(VFCurve& source, bool withKeys) {
    std::unique_ptr<VFCurve> curve(VFCurve::Create());
    if (curve) curve->CopyFrom(&source, withKeys);
    return curve.release();
}

inline void DestroyCurve(VFCurve* curve) {
    delete curve;
}

// Owns a temporary curve for the length of a scope.
struct OXA_API CurveDeleter {
    void operator()(VFCurve* curve) const { DestroyCurve(curve); }
};
using CurvePtr = std::unique_ptr<VFCurve, CurveDeleter>;

// Adds, at each of the increasing `times` where the curve has no key, a key that keeps the
// curve's shape, exactly as KeyInsert would one time after the other, but in one pass over the
// curve: each insertion works on a copy of the four keys around it.
OXA_API void InsertKeysAt(VFCurve& curve, const std::vector<VTime>& times);

// Removes every key whose flag is set, in one pass over the curve. The key
// after each removed run keeps the left tangent it had, as a removal of the run
// alone would leave it.
OXA_API void RemoveMarkedKeys(VFCurve& curve, const std::vector<char>& removed);

}  // namespace oxa_filter

#endif  // OXA_ANIMATION_FILTERS_FILTER_SUPPORT_H
