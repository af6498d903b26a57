#include "base/vtime.h"

#include <cmath>
#include <cstdlib>

namespace {

// The frame-rate table, indexed by time mode, as a rational number of frames per second.
// Modes missing from the table (0 after resolving the default, 5, 7, 9 and anything past 11)
// run at 30 frames per second. "29.97 drop frame" is exactly 30000/1001 frames per second; its
// frame length, like every other, is truncated to whole ticks (1,541,078,138).
struct FrameRate {
    int64_t num;
    int64_t den;
};

constexpr FrameRate kRates[] = {
    {0, 1},         // 0: default mode (resolved before lookup)
    {120, 1},       // 1
    {100, 1},       // 2
    {60, 1},        // 3
    {50, 1},        // 4
    {0, 1},         // 5: not in the table
    {30, 1},        // 6
    {0, 1},         // 7: not in the table
    {30000, 1001},  // 8: 29.97 drop frame
    {0, 1},         // 9: not in the table
    {25, 1},        // 10
    {24, 1},        // 11
};
constexpr int kRateCount = (int)(sizeof(kRates) / sizeof(kRates[0]));

int gGlobalTimeMode = VTime::eFRAMES30;
int gGlobalTimeFormat = 1;

FrameRate RateOf(int timeMode) {
    if (timeMode == 0) timeMode = gGlobalTimeMode;
    if (timeMode > 0 && timeMode < kRateCount && kRates[timeMode].num) return kRates[timeMode];
    return {30, 1};
}

int64_t FrameTicks(int timeMode) {
    FrameRate r = RateOf(timeMode);
    return VTime::kOneSecond * r.den / r.num;
}

uint64_t Wrap(int64_t v) {
    return (uint64_t)v;
}

}  // namespace

void VTime::SetSecondDouble(double seconds) {
    double ticks = seconds * (double)kOneSecond;
    if (std::isnan(ticks)) {
        mTime = 0;
    } else if (ticks >= 9223372036854775807.0) {
        mTime = kInfinite;
    } else if (ticks <= -9223372036854775807.0) {
        mTime = kMinusInfinite;
    } else {
        mTime = (int64_t)ticks;  // conversion truncates toward zero
    }
}

void VTime::SetTime(int hours, int minutes, int seconds, int frames, int fields, int timeMode) {
    SetTimeResidual(hours, minutes, seconds, frames, fields, 0, timeMode);
}

void VTime::SetTimeResidual(int hours, int minutes, int seconds, int frames, int fields, int residual,
                            int timeMode) {
    int64_t frame = FrameTicks(timeMode);
    int64_t wholeSeconds = (int64_t)hours * 3600 + (int64_t)minutes * 60 + seconds;
    uint64_t t = Wrap(wholeSeconds) * Wrap(kOneSecond);
    t += Wrap(frames) * Wrap(frame);
    t += Wrap(fields) * Wrap(frame / 2);
    t += Wrap((int64_t)residual * frame / 100);
    mTime = (int64_t)t;
}

bool VTime::SetTimeString(const char* text, int timeMode, int /*timeFormat*/) {
    if (!text) return false;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    long long parts[5] = {0, 0, 0, 0, 0};
    int count = 0;
    for (;;) {
        if (*p < '0' || *p > '9') return false;
        long long v = 0;
        while (*p >= '0' && *p <= '9') {
            if (v > 100000000LL) return false;
            v = v * 10 + (*p - '0');
            ++p;
        }
        if (count == 5) return false;
        parts[count++] = v;
        if (*p == ':' || *p == ';') {
            ++p;
            continue;
        }
        break;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    if (*p) return false;

    // Right-align fewer than four fields so that the last one is the frame count.
    long long h = 0, m = 0, s = 0, f = 0, fields = 0;
    switch (count) {
        case 1:
            f = parts[0];
            break;
        case 2:
            s = parts[0];
            f = parts[1];
            break;
        case 3:
            m = parts[0];
            s = parts[1];
            f = parts[2];
            break;
        case 4:
            h = parts[0];
            m = parts[1];
            s = parts[2];
            f = parts[3];
            break;
        default:
            h = parts[0];
            m = parts[1];
            s = parts[2];
            f = parts[3];
            fields = parts[4];
            break;
    }
    int64_t frame = FrameTicks(timeMode);
    uint64_t t = Wrap(h * 3600 + m * 60 + s) * Wrap(kOneSecond) + Wrap(f) * Wrap(frame) +
                 Wrap(fields) * Wrap(frame / 2);
    mTime = (int64_t)(negative ? 0 - t : t);
    return true;
}

int64_t VTime::GetFrame(bool cumulative, int timeMode) const {
    int64_t frame = FrameTicks(timeMode);
    if (cumulative) return mTime / frame;
    return (mTime % kOneSecond) / frame;
}

double VTime::GetFrameRate(int timeMode) {
    FrameRate r = RateOf(timeMode);
    return (double)r.num / (double)r.den;
}

VTime VTime::GetOneFrameValue(int timeMode) {
    return VTime(FrameTicks(timeMode));
}

int VTime::GetTimeModeFromFrameRate(double frameRate) {
    for (int mode = 1; mode < kRateCount; ++mode) {
        if (!kRates[mode].num) continue;
        double rate = (double)kRates[mode].num / (double)kRates[mode].den;
        if (std::fabs(rate - frameRate) <= 1e-3) return mode;
    }
    return -1;
}

void VTime::SetGlobalTimeMode(int timeMode) {
    gGlobalTimeMode = timeMode;
}
int VTime::GetGlobalTimeMode() {
    return gGlobalTimeMode;
}
void VTime::SetGlobalTimeFormat(int timeFormat) {
    gGlobalTimeFormat = timeFormat;
}
int VTime::GetGlobalTimeFormat() {
    return gGlobalTimeFormat;
}
