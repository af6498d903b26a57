#ifndef OXA_ANIMATION_FCURVE_INTERNAL_H
#define OXA_ANIMATION_FCURVE_INTERNAL_H

// Small helpers shared by the function-curve implementation files.

#include <cstdint>

#include "base/vtime.h"

namespace fcurve_detail {

// a - b in ticks as a double, without the 64-bit overflow of the integer difference.
inline double TickDelta(int64_t a, int64_t b) {
    return a >= b ? (double)((uint64_t)a - (uint64_t)b) : -(double)((uint64_t)b - (uint64_t)a);
}

// a - b in seconds.
inline double SecondsBetween(int64_t a, int64_t b) {
    return TickDelta(a, b) / (double)VTime::kOneSecond;
}

// Clamps a 128-bit tick count to the time line, the infinities included.
inline int64_t SaturateTicks(__int128 ticks) {
    if (ticks > (__int128)INT64_MAX) return INT64_MAX;
    if (ticks < -(__int128)INT64_MAX) return -INT64_MAX;
    return (int64_t)ticks;
}

// Converts a tick count held in a double to a time, saturating at the infinities; NaN gives 0.
inline int64_t TicksFromDouble(double ticks) {
    if (!(ticks == ticks)) return 0;
    if (ticks >= 9.2233720368547758e18) return INT64_MAX;
    if (ticks <= -9.2233720368547758e18) return -INT64_MAX;
    return (int64_t)ticks;
}

inline bool IsAutoMode(unsigned mode) {
    return mode == 0x100 || mode == 0x900;
}
inline bool IsUserMode(unsigned mode) {
    return mode == 0x400 || mode == 0xC00;
}

}  // namespace fcurve_detail

#endif  // OXA_ANIMATION_FCURVE_INTERNAL_H
