// Evaluation of function curves: key search, extrapolation, segments, derivatives at keys and the
// per-side tangent accessors.

#include <algorithm>
#include <cmath>

#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "animation/fcurve_internal.h"

using namespace fcurve_detail;

namespace {

// Keys looked at one by one from the hint before the search turns to bisection: sequential
// playback stays at one or two comparisons, random access at a logarithmic cost.
constexpr int kLinearProbes = 4;
// How far ahead of the located key Evaluate fetches keys into the cache.
constexpr int kPrefetchAhead = 6;

typedef VFCurveKey Key;

// The root s in [0, 1] of X(s) = u for the weighted time Bezier with abscissas 0, wR, 1 - wL, 1
// (secant method in single precision, at most 15 steps).
float SolveWeightedParameter(float u, float wR, float wL) {
    auto f = [&](float s) {
        float r = 1.0f - s;
        return 3.0f * wR * s * r * r + 3.0f * (1.0f - wL) * s * s * r + s * s * s - u;
    };
    float f0 = f(0.0f);
    float f1 = f(1.0f);
    float current, previous, fCurrent, fPrevious;
    if (std::fabs(f1) < std::fabs(f0)) {
        current = 1.0f, fCurrent = f1, previous = 0.0f, fPrevious = f0;
    } else {
        current = 0.0f, fCurrent = f0, previous = 1.0f, fPrevious = f1;
    }
    for (int i = 0; i < 15; ++i) {
        float denominator = fCurrent - fPrevious;
        if (denominator == 0.0f) break;  // flat secant: no better point to be had
        float step = (previous - current) * fCurrent / denominator;
        previous = current;
        fPrevious = fCurrent;
        current += step;
        fCurrent = f(current);
        if (std::fabs(step) < 1e-6f || fCurrent == 0.0f) break;
    }
    if (!(current >= 0.0f)) current = 0.0f;
    if (current > 1.0f) current = 1.0f;
    return current;
}

}  // namespace

// ---- Key search ---------------------------------------------------------------------------------------

// Bisection in two levels, first over the blocks by their first key, then inside one block, so that
// most probes stay within one block of contiguous keys. The halving steps are written without
// branches on the comparison (random times would mispredict half of them).
template <bool kInclusive>
static inline bool TimeBefore(int64_t t, int64_t time) {
    return kInclusive ? t <= time : t < time;
}

template <bool kInclusive>
static int LastKeyBeforeIn(VFCurveKey* const* blocks, int64_t time, int lo, int hi) {
    const int perBlock = VFCurve::eKeysPerBlock;
    int base = lo / perBlock;
    int length = hi / perBlock - base + 1;
    while (length > 1) {
        int half = length / 2;
        base = TimeBefore<kInclusive>(blocks[base + half][0].GetTime().Get(), time) ? base + half : base;
        length -= half;
    }
    const VFCurveKey* block = blocks[base];
    int first = std::max(lo, base * perBlock) - base * perBlock;
    int last = std::min(hi, base * perBlock + perBlock - 1) - base * perBlock;
    length = last - first + 1;
    while (length > 1) {
        int half = length / 2;
        first = TimeBefore<kInclusive>(block[first + half].GetTime().Get(), time) ? first + half : first;
        length -= half;
    }
    return base * perBlock + first;
}

int VFCurve::LastKeyBefore(int64_t time, int lo, int hi, bool inclusive) const {
    return inclusive ? LastKeyBeforeIn<true>(mBlocks, time, lo, hi)
                     : LastKeyBeforeIn<false>(mBlocks, time, lo, hi);
}

int VFCurve::KeyLocate(int64_t time, int* hint, double* fraction) const {
    const int n = mKeyCount;
    auto T = [this](int i) { return KeyGetPtr(i)->mTime.Get(); };
    int s = *hint;
    if (s > n - 1) s = n - 1;
    if (s < 0) s = 0;
    int64_t ts = T(s);
    *fraction = 0.0;
    if (time < ts) {
        // The key before the time: the last key not later than it.
        // Sequential playback usually stops at the first key looked at.
        int k = s - 1;
        int64_t tNext = ts, tk = k >= 0 ? T(k) : 0;
        for (int probe = 0; k >= 0 && probe < kLinearProbes && tk > time; ++probe) {
            tNext = tk;
            if (--k >= 0) tk = T(k);
        }
        if (k >= 0 && tk > time) {
            if (T(0) > time) {
                k = -1;
            } else {
                k = LastKeyBefore(time, 0, k, true);
                tk = T(k);
                tNext = T(k + 1);
            }
        }
        if (k < 0) {
            *hint = 0;
            return -1;
        }
        *hint = k;
        double span = TickDelta(tNext, tk);
        if (tk != time && span > 0.0) *fraction = TickDelta(time, tk) / span;
        return k;
    }
    if (time == ts) {
        *hint = s;
        return s;
    }
    // The key after the time: the first key not earlier than it.
    int j = s + 1;
    int64_t tPrev = ts, tj = j < n ? T(j) : 0;
    for (int probe = 0; j < n && probe < kLinearProbes && tj < time; ++probe) {
        tPrev = tj;
        if (++j < n) tj = T(j);
    }
    if (j < n && tj < time) {
        if (T(n - 1) < time) {
            j = n;
        } else {
            j = LastKeyBefore(time, j, n - 1, false) + 1;
            // Keys out of order (left by raw time setters) could end the search past the last key.
            if (j < n) {
                tj = T(j);
                tPrev = T(j - 1);
            }
        }
    }
    if (j >= n) {
        *hint = n;
        return n;
    }
    *hint = j;
    if (tj == time) return j;
    double span = TickDelta(tj, tPrev);
    *fraction = span > 0.0 ? TickDelta(time, tPrev) / span : 0.0;
    return j - 1;
}

double VFCurve::KeyFind(VTime time, int* lastIndex) const {
    if (mKeyCount == 0) return -1.0;
    double fraction;
    int k = KeyLocate(time.Get(), lastIndex ? lastIndex : &mLastIndex, &fraction);
    if (k < 0) return -0.5;
    if (k >= mKeyCount) return mKeyCount - 0.5;
    return k + fraction;
}

int VFCurve::LocateAll(int64_t time, int* hint, double* fraction) const {
    const int n = mKeyCount;
    *fraction = 0.0;
    const int64_t t0 = KeyGetPtr(0)->mTime.Get();
    const int64_t tN = KeyGetPtr(n - 1)->mTime.Get();
    // Spans and offsets are unsigned: keys at the two ends of the time line are more than the
    // signed range apart. Mapped times fall between the end keys, so wrapping sums land right.
    const uint64_t span = tN > t0 ? (uint64_t)tN - (uint64_t)t0 : 0;
    auto add = [](int64_t t, uint64_t d) { return (int64_t)((uint64_t)t + d); };
    auto sub = [](int64_t t, uint64_t d) { return (int64_t)((uint64_t)t - d); };
    if (time < t0) {
        if (mPreExtrapolation == eExtrapolationConstant) {
            *hint = 0;
            return 0;
        }
        int64_t limit = SaturateTicks((__int128)t0 - (__int128)span * (uint32_t)mPreExtrapolationCount);
        if (time <= limit || span == 0) {
            *hint = 0;
            return 0;
        }
        uint64_t distance = (uint64_t)t0 - (uint64_t)time;
        uint64_t spans = distance / span;
        uint64_t rest = distance % span;
        if (mPreExtrapolation == eExtrapolationRepetition)
            time = sub(tN, rest);
        else if (mPreExtrapolation == eExtrapolationMirrorRepetition)
            time = (spans % 2 == 0) ? add(t0, rest) : sub(tN, rest);
    } else if (time > tN) {
        if (mPostExtrapolation == eExtrapolationConstant) {
            *hint = n - 1;
            return n - 1;
        }
        int64_t limit = SaturateTicks((__int128)tN + (__int128)span * (uint32_t)mPostExtrapolationCount);
        if (time >= limit || span == 0) {
            *hint = n - 1;
            return n - 1;
        }
        uint64_t distance = (uint64_t)time - (uint64_t)tN;
        uint64_t spans = distance / span;
        uint64_t rest = distance % span;
        if (mPostExtrapolation == eExtrapolationRepetition)
            time = add(t0, rest);
        else if (mPostExtrapolation == eExtrapolationMirrorRepetition)
            time = (spans % 2 == 0) ? sub(tN, rest) : add(t0, rest);
    }
    return KeyLocate(time, hint, fraction);
}

double VFCurve::KeyFindAll(VTime time, int* lastIndex) const {
    if (mKeyCount == 0) return -1.0;
    double fraction;
    int k = LocateAll(time.Get(), lastIndex ? lastIndex : &mLastIndex, &fraction);
    if (k < 0) return -0.5;
    if (k >= mKeyCount) return mKeyCount - 0.5;
    return k + fraction;
}

// ---- Values -------------------------------------------------------------------------------------------

float VFCurve::EvaluateSegment(int index, double u) const {
    const Key* ki = KeyGetPtr(index);
    const Key* kj = KeyGetPtr(index + 1);
    double vi = ki->mValue;
    double vj = kj->mValue;
    switch (ki->GetInterpolation()) {
        case Key::eInterpolationConstant:
            return ki->GetConstantMode() == Key::eConstantNext ? kj->mValue : ki->mValue;
        case Key::eInterpolationLinear:
            return (float)(vi + (vj - vi) * u);
        case Key::eInterpolationCubic: {
            // Seconds by a multiplication: this is the hot path, and the result differs from the
            // division by at most one unit in the last place.
            const double kSecondsPerTick = 1.0 / (double)VTime::kOneSecond;
            double dt = TickDelta(kj->mTime.Get(), ki->mTime.Get()) * kSecondsPerTick;
            // The two common cases read their slopes without the general rules: user tangents
            // hold them as they are; between two auto keys the three segment slopes around the
            // segment are taken once for both sides.
            const unsigned modeI = ki->GetTangentMode();
            const bool nextCubic = kj->GetInterpolation() == Key::eInterpolationCubic;
            const unsigned modeJ = kj->GetTangentMode();
            double right, left;
            if (IsAutoMode(modeI) && nextCubic && IsAutoMode(modeJ)) {
                double segment = dt != 0.0 ? (vj - vi) / dt : 0.0;
                double before = segment, after = segment;
                if (index > 0) {
                    const Key* kh = KeyGetPtr(index - 1);
                    double d = SecondsBetween(ki->mTime.Get(), kh->mTime.Get());
                    before = d != 0.0 ? (vi - kh->mValue) / d : 0.0;
                }
                if (index + 2 < mKeyCount) {
                    const Key* kk = KeyGetPtr(index + 2);
                    double d = SecondsBetween(kk->mTime.Get(), kj->mTime.Get());
                    after = d != 0.0 ? (kk->mValue - vj) / d : 0.0;
                }
                double r, l;
                AutoValueToRightDerivative(r, ki->mData[0], before, segment);
                AutoValueToLeftDerivative(l, ki->mData[1], segment, after);
                right = (float)r;  // the slopes are floats wherever a key hands them out
                left = (float)l;
            } else {
                right = IsUserMode(modeI) ? (double)ki->mData[0] : (double)KeyGetRightDerivative(index);
                left = (nextCubic && IsUserMode(modeJ) && modeI != Key::eTangentTCB)
                           ? (double)ki->mData[1]
                           : (double)KeyGetLeftDerivative(index + 1);
            }
            double p1, p2, s;
            if ((ki->mFlags & Key::eWeightedAll) == 0) {
                const double third = 1.0 / 3.0;
                p1 = vi + right * dt * third;
                p2 = vj - left * dt * third;
                s = u;
            } else {
                float wR = KeyGetRightWeight(index);
                float wL = KeyGetLeftWeight(index + 1);
                p1 = vi + right * dt * wR;
                p2 = vj - left * dt * wL;
                s = SolveWeightedParameter((float)u, wR, wL);
            }
            // The Bezier of control values vi, p1, p2, vj in power form (a shorter dependency
            // chain than repeated interpolation, same curve).
            double c1 = 3.0 * (p1 - vi);
            double c2 = 3.0 * (p2 - 2.0 * p1 + vi);
            double c3 = vj - vi + 3.0 * (p1 - p2);
            return (float)(vi + s * (c1 + s * (c2 + s * c3)));
        }
        default:
            return 0.0f;
    }
}

float VFCurve::EvaluateIndex(double index) const {
    const int n = mKeyCount;
    if (n == 0) return mDefaultValue;
    if (n == 1) return KeyGetPtr(0)->mValue;
    // Outside the keys (only reached for unknown extrapolation modes) the end key holds.
    if (!(index > 0.0)) return KeyGetPtr(0)->mValue;
    if (index >= n - 1) return KeyGetPtr(n - 1)->mValue;
    double floorIndex = std::floor(index);
    int k = (int)floorIndex;
    if (floorIndex == index) return KeyGetPtr(k)->mValue;
    return EvaluateSegment(k, index - floorIndex);
}

float VFCurve::Evaluate(VTime time, int* lastIndex) const {
    const int n = mKeyCount;
    if (n == 0) return mDefaultValue;
    if (n == 1) return KeyGetPtr(0)->mValue;
    int* hint = lastIndex ? lastIndex : &mLastIndex;
    int64_t t = time.Get();
    const Key* first = KeyGetPtr(0);
    const Key* last = KeyGetPtr(n - 1);
    int64_t t0 = first->mTime.Get();
    int64_t tN = last->mTime.Get();
    if (t < t0 && mPreExtrapolation == eExtrapolationKeepSlope) {
        double slope = KeyGetRightDerivative(0);
        __int128 reach = ((__int128)tN - t0) * (uint32_t)mPreExtrapolationCount;
        if (mPreExtrapolationCount == -1 || (__int128)t >= (__int128)t0 - reach)
            return (float)(first->mValue + SecondsBetween(t, t0) * slope);
        return (float)(first->mValue - (double)reach / (double)VTime::kOneSecond * slope);
    }
    if (t > tN && mPostExtrapolation == eExtrapolationKeepSlope) {
        double slope = KeyGetLeftDerivative(n - 1);
        __int128 reach = ((__int128)tN - t0) * (uint32_t)mPostExtrapolationCount;
        if (mPostExtrapolationCount == -1 || (__int128)t <= (__int128)tN + reach)
            return (float)(last->mValue + SecondsBetween(t, tN) * slope);
        return (float)(last->mValue + (double)reach / (double)VTime::kOneSecond * slope);
    }
    if (t >= t0 && t <= tN) return EvaluateInside(time, hint);
    double fraction;
    const int k = LocateAll(t, hint, &fraction);
    return LocatedValue(k, fraction);
}

inline bool VFCurve::StepForward(int s, const Key* ks, const Key* kj, const Key* ahead, int64_t t,
                                 float* value) const {
    const int64_t ts = ks->mTime.Get();
    if (t <= ts) return false;
    const int64_t tj = kj->mTime.Get();
    if (t > tj) return false;
    if (ahead) {
        __builtin_prefetch(ahead);
    } else if (s + 1 + kPrefetchAhead < mKeyCount) {
        __builtin_prefetch(KeyGetPtr(s + 1 + kPrefetchAhead));
    }
    if (t == tj) {
        *value = kj->mValue;
    } else {
        const double span = TickDelta(tj, ts);
        const double fraction = span > 0.0 ? TickDelta(t, ts) / span : 0.0;
        *value = fraction == 0.0 ? ks->mValue : EvaluateSegment(s, fraction);
    }
    return true;
}

float VFCurve::EvaluateInside(VTime time, int* lastIndex) const {
    const int n = mKeyCount;
    int* hint = lastIndex ? lastIndex : &mLastIndex;
    const int64_t t = time.Get();
    // Sampling forward at a steady rate finds the time at the hinted key or within the segment
    // after it: answered here as KeyLocate would, without its general search.
    const int s = *hint;
    if (s >= 0 && s < n - 1) {
        const Key* ks = KeyGetPtr(s);
        if (t == ks->mTime.Get()) return ks->mValue;
        float value;
        const Key* kj = (s + 1) % eKeysPerBlock != 0 ? ks + 1 : KeyGetPtr(s + 1);
        if (StepForward(s, ks, kj, nullptr, t, &value)) {
            *hint = s + 1;
            return value;
        }
    }
    double fraction;
    const int k = KeyLocate(t, hint, &fraction);
    return LocatedValue(k, fraction);
}

void VFCurve::EvaluateAscending(const int64_t* times, int count, float* out, size_t stride,
                                int* lastIndex) const {
    int* hint = lastIndex ? lastIndex : &mLastIndex;
    const int n = mKeyCount;
    if (n < 2) {
        for (int k = 0; k < count; ++k)
            out[(size_t)k * stride] = Evaluate(VTime(times[k]), hint);
        return;
    }
    // EvaluateInside's step from the hinted key to the next, with the key at the search position
    // (null when that position is not a segment's start) carried from one time to the next, and
    // the number of keys after it in its block, so that the next key is found without the block
    // table while the block lasts. A time the step answers lies at a key or between two, so
    // within the keys: the end keys, far from the walk in memory, are not read.
    int s = *hint;
    const Key* ks = nullptr;
    int after = 0;
    auto hold = [&] {
        ks = s >= 0 && s < n - 1 ? KeyGetPtr(s) : nullptr;
        after = ks ? eKeysPerBlock - 1 - s % eKeysPerBlock : 0;
    };
    hold();
    for (int k = 0; k < count; ++k) {
        const int64_t t = times[k];
        float* value = out + (size_t)k * stride;
        if (ks) {
            if (t == ks->mTime.Get()) {
                *value = ks->mValue;
                continue;
            }
            const Key* kj = after > 0 ? ks + 1 : KeyGetPtr(s + 1);
            if (StepForward(s, ks, kj, after > kPrefetchAhead ? ks + 1 + kPrefetchAhead : nullptr, t, value)) {
                ++s;
                after = after > 0 ? after - 1 : eKeysPerBlock - 1;
                ks = s < n - 1 ? kj : nullptr;
                continue;
            }
        }
        *hint = s;
        *value = Evaluate(VTime(t), hint);
        s = *hint;
        hold();
    }
    *hint = s;
}

float VFCurve::LocatedValue(int k, double fraction) const {
    const int n = mKeyCount;
    // Sampling walks forward through the keys: the keys a few steps ahead are fetched early, so
    // that a pass over many curves at each time does not wait on memory for every curve.
    if (k >= 0 && k + kPrefetchAhead < n) __builtin_prefetch(KeyGetPtr(k + kPrefetchAhead));
    if (k < 0) return KeyGetPtr(0)->mValue;
    if (k >= n - 1) return KeyGetPtr(n - 1)->mValue;
    if (fraction == 0.0) return KeyGetPtr(k)->mValue;
    return EvaluateSegment(k, fraction);
}

// ---- Derivatives at keys ------------------------------------------------------------------------------

// TCB slopes of key `index` with tension, continuity and bias taken from `params`.
float VFCurve::TcbRightSlope(int index, const VFCurveKey* params) const {
    double T = params->mData[0], C = params->mData[1], B = params->mData[2];
    double p, q;
    VFCurveGetKeySlopes(p, q, this, index);
    if (index == 0) return (float)((1.0 - T) * (1.0 - B) * (1.0 - C) * q);
    return (float)((1.0 - T) * 0.5 * ((1.0 + B) * (1.0 + C) * p + (1.0 - B) * (1.0 - C) * q));
}

float VFCurve::TcbLeftSlope(int index, const VFCurveKey* params) const {
    double T = params->mData[0], C = params->mData[1], B = params->mData[2];
    double p, q;
    VFCurveGetKeySlopes(p, q, this, index);
    if (index == mKeyCount - 1) return (float)((1.0 - T) * (1.0 + B) * (1.0 - C) * p);
    return (float)((1.0 - T) * 0.5 * ((1.0 + B) * (1.0 - C) * p + (1.0 - B) * (1.0 + C) * q));
}

float VFCurve::KeyGetRightDerivative(int index) const {
    const int n = mKeyCount;
    if (n <= 1) return 0.0f;
    if (index >= n - 1) return KeyGetLeftDerivative(n - 1);
    const Key* key = KeyGetPtr(index);
    switch (key->GetInterpolation()) {
        case Key::eInterpolationLinear: {
            const Key* next = KeyGetPtr(index + 1);
            double dt = SecondsBetween(next->mTime.Get(), key->mTime.Get());
            return dt != 0.0 ? (float)((next->mValue - (double)key->mValue) / dt) : 0.0f;
        }
        case Key::eInterpolationCubic:
            switch (key->GetTangentMode()) {
                case Key::eTangentUser:
                case Key::eTangentUserBreak:
                    return key->mData[0];
                case Key::eTangentAuto:
                case Key::eTangentAutoBreak: {
                    double d;
                    VFCurveAutoValueToRightDerivative(d, key->mData[0], this, index);
                    return (float)d;
                }
                case Key::eTangentTCB:
                    return TcbRightSlope(index, key);
                default:
                    return 0.0f;
            }
        default:
            return 0.0f;
    }
}

float VFCurve::KeyGetLeftDerivative(int index) const {
    const int n = mKeyCount;
    if (index <= 0) return n >= 2 ? KeyGetRightDerivative(0) : 0.0f;
    const Key* prev = KeyGetPtr(index - 1);
    const Key* key = KeyGetPtr(index);
    const bool isLast = index == n - 1;
    switch (prev->GetInterpolation()) {
        case Key::eInterpolationLinear: {
            double dt = SecondsBetween(key->mTime.Get(), prev->mTime.Get());
            return dt != 0.0 ? (float)((key->mValue - (double)prev->mValue) / dt) : 0.0f;
        }
        case Key::eInterpolationCubic:
            break;
        default:
            return 0.0f;
    }
    unsigned interpolation = key->GetInterpolation();
    if (interpolation == Key::eInterpolationCubic) {
        switch (key->GetTangentMode()) {
            case Key::eTangentUser:
            case Key::eTangentUserBreak:
                if (prev->GetTangentMode() == Key::eTangentTCB) {
                    if (key->GetTangentMode() == Key::eTangentUser) return isLast ? 0.0f : key->mData[0];
                    return TcbLeftSlope(index, prev);
                }
                return prev->mData[1];
            case Key::eTangentAuto:
            case Key::eTangentAutoBreak: {
                double d;
                VFCurveAutoValueToLeftDerivative(d, prev->mData[1], this, index);
                return (float)d;
            }
            case Key::eTangentTCB:
                // The right slope of the last key is its left one: there the TCB left side stays.
                if (VFCurveGetTcbLeftFromRight() && !isLast) return TcbRightSlope(index, key);
                return TcbLeftSlope(index, key);
            default:
                return 0.0f;
        }
    }
    if (interpolation == Key::eInterpolationLinear || interpolation == Key::eInterpolationConstant) {
        switch (prev->GetTangentMode()) {
            case Key::eTangentUser:
            case Key::eTangentUserBreak:
                return prev->mData[1];
            case Key::eTangentAuto:
            case Key::eTangentAutoBreak: {
                double d;
                VFCurveAutoValueToLeftDerivative(d, prev->mData[1], this, index);
                return (float)d;
            }
            case Key::eTangentTCB:
                return isLast ? 0.0f : KeyGetRightDerivative(index);
            default:
                return 0.0f;
        }
    }
    return 0.0f;
}

// Whether slot 1 of key index-1 holds an auto value (as the left derivative reads it).
bool VFCurve::LeftSideIsAuto(int index) const {
    if (index <= 0 || index >= mKeyCount) return false;
    const Key* prev = KeyGetPtr(index - 1);
    if (prev->GetInterpolation() != Key::eInterpolationCubic) return false;
    const Key* key = KeyGetPtr(index);
    unsigned interpolation = key->GetInterpolation();
    if (interpolation == Key::eInterpolationCubic) return IsAutoMode(key->GetTangentMode());
    if (interpolation == Key::eInterpolationLinear || interpolation == Key::eInterpolationConstant)
        return IsAutoMode(prev->GetTangentMode());
    return false;
}

// Whether slot 0 of key index holds an auto value (as the right derivative reads it).
bool VFCurve::RightSideIsAuto(int index) const {
    if (index < 0 || index >= mKeyCount - 1) return false;
    const Key* key = KeyGetPtr(index);
    return key->GetInterpolation() == Key::eInterpolationCubic && IsAutoMode(key->GetTangentMode());
}

float VFCurve::KeyGetLeftAuto(int index) const {
    if (LeftSideIsAuto(index)) return KeyGetPtr(index - 1)->mData[1];
    double b;
    VFCurveLeftDerivativeToAutoValue(b, KeyGetLeftDerivative(index), this, index);
    return (float)b;
}

float VFCurve::KeyGetRightAuto(int index) const {
    if (RightSideIsAuto(index)) return KeyGetPtr(index)->mData[0];
    double b;
    VFCurveRightDerivativeToAutoValue(b, KeyGetRightDerivative(index), this, index);
    return (float)b;
}

// ---- Weights and velocities ---------------------------------------------------------------------------

namespace {
bool HasWeightableTangent(const VFCurveKey* key) {
    return key->GetInterpolation() == VFCurveKey::eInterpolationCubic &&
           (key->GetTangentMode() &
            (VFCurveKey::eTangentAuto | VFCurveKey::eTangentUser | VFCurveKey::eTangentBreak));
}
}  // namespace

bool VFCurve::KeyIsLeftWeighted(int index) const {
    return index >= 1 && index < mKeyCount && (KeyGetPtr(index - 1)->mFlags & Key::eWeightedNextLeft);
}

bool VFCurve::KeyIsRightWeighted(int index) const {
    if (index < 0 || index >= mKeyCount - 1) return false;
    const Key* key = KeyGetPtr(index);
    return HasWeightableTangent(key) && (key->mFlags & Key::eWeightedRight);
}

float VFCurve::KeyGetLeftWeight(int index) const {
    return KeyIsLeftWeighted(index) ? KeyGetPtr(index - 1)->GetDataFloat(3) : kFCurveDefaultWeight;
}

float VFCurve::KeyGetRightWeight(int index) const {
    return KeyIsRightWeighted(index) ? KeyGetPtr(index)->GetDataFloat(2) : kFCurveDefaultWeight;
}

void VFCurve::KeySetLeftWeight(int index, float weight) {
    if (index < 1 || index >= mKeyCount) return;
    Key* prev = KeyGetPtr(index - 1);
    if (prev->GetInterpolation() != Key::eInterpolationCubic) return;
    KeyModifyBegin();
    prev->mFlags |= Key::eWeightedNextLeft;
    prev->SetDataFloat(3, weight);
    KeyChanged(eEventKeyOther, index - 1);
    KeyModifyEnd();
}

void VFCurve::KeySetRightWeight(int index, float weight) {
    if (index < 0 || index >= mKeyCount - 1) return;
    Key* key = KeyGetPtr(index);
    if (key->GetInterpolation() != Key::eInterpolationCubic) return;
    KeyModifyBegin();
    key->mFlags |= Key::eWeightedRight;
    key->SetDataFloat(2, weight);
    KeyChanged(eEventKeyOther, index);
    KeyModifyEnd();
}

void VFCurve::KeySetLeftWeighted(int index, bool weighted) {
    if (index < 1 || index >= mKeyCount) return;
    KeyGetPtr(index - 1)->SetTangentWeightMode(weighted ? Key::eWeightedNextLeft : 0u,
                                               Key::eWeightedNextLeft);
    KeyChanged(eEventKeyOther, index - 1);
}

void VFCurve::KeySetRightWeighted(int index, bool weighted) {
    if (index < 0 || index >= mKeyCount) return;
    KeyGetPtr(index)->SetTangentWeightMode(weighted ? Key::eWeightedRight : 0u, Key::eWeightedRight);
    KeyChanged(eEventKeyOther, index);
}

bool VFCurve::KeyIsLeftVelocity(int index) const {
    return index >= 1 && index < mKeyCount && (KeyGetPtr(index - 1)->mFlags & Key::eVelocityNextLeft);
}

bool VFCurve::KeyIsRightVelocity(int index) const {
    if (index < 0 || index >= mKeyCount - 1) return false;
    const Key* key = KeyGetPtr(index);
    return HasWeightableTangent(key) && (key->mFlags & Key::eVelocityRight);
}

float VFCurve::KeyGetLeftVelocity(int index) const {
    return KeyIsLeftVelocity(index) ? KeyGetPtr(index - 1)->GetDataFloat(5) : 0.0f;
}

float VFCurve::KeyGetRightVelocity(int index) const {
    return KeyIsRightVelocity(index) ? KeyGetPtr(index)->GetDataFloat(4) : 0.0f;
}

void VFCurve::KeySetLeftVelocity(int index, float velocity) {
    if (index < 1 || index >= mKeyCount) return;
    Key* prev = KeyGetPtr(index - 1);
    if (prev->GetInterpolation() != Key::eInterpolationCubic) return;
    KeyModifyBegin();
    prev->mFlags |= Key::eVelocityNextLeft;
    prev->SetDataFloat(5, velocity);
    KeyChanged(eEventKeyOther, index - 1);
    KeyModifyEnd();
}

void VFCurve::KeySetRightVelocity(int index, float velocity) {
    if (index < 0 || index >= mKeyCount - 1) return;
    Key* key = KeyGetPtr(index);
    if (key->GetInterpolation() != Key::eInterpolationCubic) return;
    KeyModifyBegin();
    key->mFlags |= Key::eVelocityRight;
    key->SetDataFloat(4, velocity);
    KeyChanged(eEventKeyOther, index);
    KeyModifyEnd();
}

void VFCurve::KeySetLeftVelocityFlag(int index, bool on) {
    if (index < 1 || index >= mKeyCount) return;
    KeyGetPtr(index - 1)->SetTangentVelocityMode(on ? Key::eVelocityNextLeft : 0u, Key::eVelocityNextLeft);
    KeyChanged(eEventKeyOther, index - 1);
}

void VFCurve::KeySetRightVelocityFlag(int index, bool on) {
    if (index < 0 || index >= mKeyCount) return;
    KeyGetPtr(index)->SetTangentVelocityMode(on ? Key::eVelocityRight : 0u, Key::eVelocityRight);
    KeyChanged(eEventKeyOther, index);
}

// ---- Derivative setters ---------------------------------------------------------------------------

void VFCurve::KeySetRightBezierTangent(int index, float value) {
    if (index < 0 || index >= mKeyCount - 1) return;
    const Key* key = KeyGetPtr(index);
    double dt = SecondsBetween(KeyGetPtr(index + 1)->mTime.Get(), key->mTime.Get());
    if (dt == 0.0) return;
    KeySetRightDerivative(index, (float)(3.0 * ((double)value - key->mValue) / dt));
}

void VFCurve::KeySetLeftBezierTangent(int index, float value) {
    if (index < 1 || index >= mKeyCount) return;
    const Key* key = KeyGetPtr(index);
    double dt = SecondsBetween(key->mTime.Get(), KeyGetPtr(index - 1)->mTime.Get());
    if (dt == 0.0) return;
    KeySetLeftDerivative(index, (float)(3.0 * ((double)key->mValue - value) / dt));
}

float VFCurve::KeyGetRightBezierTangent(int index) const {
    if (mKeyCount == 0) return 0.0f;
    const Key* key = KeyGetPtr(index);
    if (index >= mKeyCount - 1 || key->GetInterpolation() == Key::eInterpolationConstant) return key->mValue;
    double dt = SecondsBetween(KeyGetPtr(index + 1)->mTime.Get(), key->mTime.Get());
    return (float)(key->mValue + (double)KeyGetRightDerivative(index) * dt / 3.0);
}

float VFCurve::KeyGetLeftBezierTangent(int index) const {
    if (mKeyCount == 0) return 0.0f;
    if (index <= 0 || mKeyCount == 1) return KeyGetPtr(0)->mValue;
    const Key* key = KeyGetPtr(index);
    const Key* prev = KeyGetPtr(index - 1);
    if (prev->GetInterpolation() == Key::eInterpolationConstant) return key->mValue;
    double dt = SecondsBetween(key->mTime.Get(), prev->mTime.Get());
    return (float)(key->mValue - (double)KeyGetLeftDerivative(index) * dt / 3.0);
}

void VFCurve::KeySetRightDerivative(int index, float derivative) {
    if (index < 0 || index >= mKeyCount - 1) return;
    Key* key = KeyGetPtr(index);
    if (key->GetInterpolation() != Key::eInterpolationCubic) return;
    unsigned mode = key->GetTangentMode();
    if (IsUserMode(mode)) {
        key->mData[0] = derivative;
    } else if (IsAutoMode(mode)) {
        double b;
        VFCurveRightDerivativeToAutoValue(b, derivative, this, index);
        key->mData[0] = (float)b;
    } else {
        return;
    }
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeySetRightAuto(int index, float autoValue) {
    if (index < 0 || index >= mKeyCount - 1) return;
    Key* key = KeyGetPtr(index);
    if (key->GetInterpolation() != Key::eInterpolationCubic) return;
    unsigned mode = key->GetTangentMode();
    if (IsAutoMode(mode)) {
        key->mData[0] = autoValue;
    } else if (IsUserMode(mode)) {
        double d;
        VFCurveAutoValueToRightDerivative(d, autoValue, this, index);
        key->mData[0] = (float)d;
    } else {
        return;
    }
    KeyChanged(eEventKeyOther, index);
}

namespace {
// How slot 1 of key index-1 takes a left-side value: 0 not at all, 1 as a slope, 2 as an auto
// value. The choice is the one KeyGetLeftDerivative reads the slot by, the last key included, so
// that a derivative set reads back and shapes the segment.
enum { eSlotNone, eSlotSlope, eSlotAuto };
int LeftSlotKind(const VFCurveKey* prev, const VFCurveKey* key) {
    unsigned interpolation = prev->GetInterpolation();
    if (interpolation == VFCurveKey::eInterpolationConstant ||
        interpolation == VFCurveKey::eInterpolationLinear)
        return eSlotSlope;
    if (interpolation != VFCurveKey::eInterpolationCubic) return eSlotNone;
    bool keyCubic = key->GetInterpolation() == VFCurveKey::eInterpolationCubic;
    bool keyUserBit = (key->GetTangentMode() & VFCurveKey::eTangentUser) != 0;
    unsigned mode = prev->GetTangentMode();
    if (IsAutoMode(mode)) return (keyCubic && keyUserBit) ? eSlotSlope : eSlotAuto;
    if (IsUserMode(mode)) return (keyCubic && !keyUserBit) ? eSlotAuto : eSlotSlope;
    return eSlotNone;
}
}  // namespace

void VFCurve::KeySetLeftDerivative(int index, float derivative) {
    if (index < 1 || index >= mKeyCount) return;
    KeyModifyBegin();
    Key* prev = KeyGetPtr(index - 1);
    Key* key = KeyGetPtr(index);
    int kind = LeftSlotKind(prev, key);
    if (kind == eSlotSlope) {
        prev->mData[1] = derivative;
    } else if (kind == eSlotAuto) {
        double b;
        VFCurveLeftDerivativeToAutoValue(b, derivative, this, index);
        prev->mData[1] = (float)b;
    }
    if (kind != eSlotNone) KeyChanged(eEventKeyOther, index - 1);
    if (key->GetInterpolation() == Key::eInterpolationCubic && key->GetTangentMode() == Key::eTangentUser)
        KeySetRightDerivative(index, derivative);
    KeyModifyEnd();
}

void VFCurve::KeySetLeftAuto(int index, float autoValue) {
    if (index < 1 || index >= mKeyCount) return;
    KeyModifyBegin();
    Key* prev = KeyGetPtr(index - 1);
    Key* key = KeyGetPtr(index);
    int kind = LeftSlotKind(prev, key);
    double slope;
    VFCurveAutoValueToLeftDerivative(slope, autoValue, this, index);
    if (kind == eSlotSlope)
        prev->mData[1] = (float)slope;
    else if (kind == eSlotAuto)
        prev->mData[1] = autoValue;
    if (kind != eSlotNone) KeyChanged(eEventKeyOther, index - 1);
    if (key->GetInterpolation() == Key::eInterpolationCubic && key->GetTangentMode() == Key::eTangentUser)
        KeySetRightDerivative(index, (float)slope);
    KeyModifyEnd();
}

void VFCurve::KeyIncRightDerivative(int index, float delta) {
    if (index < 0 || index >= mKeyCount - 1) return;
    Key* key = KeyGetPtr(index);
    if (key->GetInterpolation() != Key::eInterpolationCubic || !IsUserMode(key->GetTangentMode())) return;
    key->mData[0] += delta;
    KeyChanged(eEventKeyOther, index);
}

void VFCurve::KeyIncLeftDerivative(int index, float delta) {
    if (index < 1 || index >= mKeyCount) return;
    Key* prev = KeyGetPtr(index - 1);
    if (prev->GetInterpolation() != Key::eInterpolationCubic || !IsUserMode(prev->GetTangentMode())) return;
    prev->mData[1] += delta;
    KeyChanged(eEventKeyOther, index - 1);
}

void VFCurve::KeyMultTangents(int index, float factor) {
    if (index < 0 || index >= mKeyCount) return;
    if ((KeyGetPtr(index)->GetTangentMode() & (Key::eTangentUser | Key::eTangentBreak)) == 0) return;
    KeyModifyBegin();
    float left = KeyGetLeftDerivative(index);
    float right = KeyGetRightDerivative(index);
    KeySetLeftDerivative(index, left * factor);
    KeySetRightDerivative(index, right * factor);
    KeyModifyEnd();
}

// ---- Tangent information ------------------------------------------------------------------------------

VFCurveTangentInfo VFCurve::KeyGetLeftTangentInfo(int index) const {
    VFCurveTangentInfo info;
    info.mDerivative = KeyGetLeftDerivative(index);
    info.mWeight = KeyGetLeftWeight(index);
    info.mWeighted = KeyIsLeftWeighted(index);
    info.mVelocity = KeyGetLeftVelocity(index);
    info.mHasVelocity = KeyIsLeftVelocity(index);
    info.mAuto = KeyGetLeftAuto(index);
    return info;
}

VFCurveTangentInfo VFCurve::KeyGetRightTangentInfo(int index) const {
    VFCurveTangentInfo info;
    info.mDerivative = KeyGetRightDerivative(index);
    info.mWeight = KeyGetRightWeight(index);
    info.mWeighted = KeyIsRightWeighted(index);
    info.mVelocity = KeyGetRightVelocity(index);
    info.mHasVelocity = KeyIsRightVelocity(index);
    info.mAuto = KeyGetRightAuto(index);
    return info;
}

void VFCurve::KeySetLeftTangentInfo(int index, const VFCurveTangentInfo& info) {
    // The first key has no left side.
    if (index < 1 || index >= mKeyCount) return;
    KeyModifyBegin();
    if (LeftSideIsAuto(index))
        KeySetLeftAuto(index, info.mAuto);
    else
        KeySetLeftDerivative(index, info.mDerivative);
    if (info.mWeighted)
        KeySetLeftWeight(index, info.mWeight);
    else
        KeySetLeftWeighted(index, false);
    if (info.mHasVelocity)
        KeySetLeftVelocity(index, info.mVelocity);
    else
        KeySetLeftVelocityFlag(index, false);
    KeyModifyEnd();
}

void VFCurve::KeySetRightTangentInfo(int index, const VFCurveTangentInfo& info) {
    if (index < 0 || index >= mKeyCount) return;
    KeyModifyBegin();
    if (RightSideIsAuto(index))
        KeySetRightAuto(index, info.mAuto);
    else
        KeySetRightDerivative(index, info.mDerivative);
    if (info.mWeighted)
        KeySetRightWeight(index, info.mWeight);
    else
        KeySetRightWeighted(index, false);
    if (info.mHasVelocity)
        KeySetRightVelocity(index, info.mVelocity);
    else
        KeySetRightVelocityFlag(index, false);
    KeyModifyEnd();
}
