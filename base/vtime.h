#ifndef OXA_BASE_VTIME_H
#define OXA_BASE_VTIME_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <type_traits>

// A point or a length on the time line: a signed 64-bit count of ticks, 46,186,158,000 per
// second (a common multiple of every frame rate of the table, so most frames are whole ticks).
// The largest value stands for plus infinity (the end of the time line, an unset time) and the
// smallest value plus one for minus infinity. Arithmetic wraps like 64-bit integers: no
// saturation and no overflow check; the infinities are plain values to it.
class OXA_API VTime {
public:
    static constexpr int64_t kOneSecond = 46186158000LL;
    static constexpr int64_t kInfinite = INT64_MAX;
    static constexpr int64_t kMinusInfinite = -INT64_MAX;

    // Time modes, the indexes of the frame-rate table. 0 stands for the process-wide default
    // mode; numbers the table does not know run at 30 frames per second.
    enum ETimeMode {
        eDEFAULT_MODE = 0,
        eFRAMES120 = 1,
        eFRAMES100 = 2,
        eFRAMES60 = 3,
        eFRAMES50 = 4,
        eFRAMES30 = 6,
        eNTSC_DROP_FRAME = 8,  // 29.97 drop frame
        ePAL = 10,             // 25
        eFRAMES24 = 11,
    };

    constexpr VTime(int64_t ticks = 0) : mTime(ticks) {}

    void Set(int64_t ticks) { mTime = ticks; }
    int64_t Get() const { return mTime; }

    // Ticks / 46,186,158,000.0.
    double GetSecondDouble() const { return (double)mTime / (double)kOneSecond; }
    // Ticks = seconds x 46,186,158,000, truncated toward zero (1/30 s is 1,539,538,600 ticks).
    // Seconds beyond the 64-bit range give the infinity of their sign; NaN gives 0.
    void SetSecondDouble(double seconds);
    // The count of whole seconds, truncated toward zero.
    int64_t GetSecondCount() const { return mTime / kOneSecond; }

    // Sets the time to hours:minutes:seconds plus `frames` frames and `fields` fields (half
    // frames) of `timeMode` (0: the process-wide default mode).
    void SetTime(int hours, int minutes, int seconds, int frames = 0, int fields = 0, int timeMode = 0);
    // As SetTime, plus `residual` hundredths of a frame.
    void SetTimeResidual(int hours, int minutes, int seconds, int frames, int fields, int residual,
                         int timeMode = 0);
    // Reads a time text of colon-separated integers: "frames" alone, or "seconds:frames",
    // "minutes:seconds:frames", "hours:minutes:seconds:frames", "hours:minutes:seconds:frames:fields"
    // (';' is taken as ':'; a leading '-' negates). Every time format reads these texts; the format
    // argument (0 or 2: the process-wide default format) is accepted for symmetry with the writers.
    // Answers false and leaves the time unchanged for a null or malformed text.
    bool SetTimeString(const char* text, int timeMode = 0, int timeFormat = 0);

    // The frame number in `timeMode` (0: the default mode): cumulative, the ticks divided by the
    // mode's frame length (truncated toward zero); otherwise the frame within its second.
    int64_t GetFrame(bool cumulative = true, int timeMode = 0) const;

    // Frames per second of `timeMode` (0: the default mode; 30.0 for a mode the table lacks).
    static double GetFrameRate(int timeMode);
    // The length of one frame of `timeMode` in ticks (0: the default mode).
    static VTime GetOneFrameValue(int timeMode);
    // The time mode of the table whose rate equals `frameRate` within 0.001 (so 29.97 finds the
    // drop-frame mode), -1 when none does.
    static int GetTimeModeFromFrameRate(double frameRate);

    // The process-wide default time mode (6 at start) and time format (1 at start), read by the
    // scene time settings as their fallbacks. Not locked: set them before sharing the process.
    static void SetGlobalTimeMode(int timeMode);
    static int GetGlobalTimeMode();
    static void SetGlobalTimeFormat(int timeFormat);
    static int GetGlobalTimeFormat();

    friend VTime operator+(VTime a, VTime b) {
        return VTime((int64_t)((uint64_t)a.mTime + (uint64_t)b.mTime));
    }
    friend VTime operator-(VTime a, VTime b) {
        return VTime((int64_t)((uint64_t)a.mTime - (uint64_t)b.mTime));
    }
    VTime operator-() const { return VTime((int64_t)(0 - (uint64_t)mTime)); }
    // The 64-bit product of the tick count and an integer factor, wrapping. Any integer type is
    // taken whole, so a 64-bit factor is never narrowed on the way.
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
    friend VTime operator*(VTime a, I factor) {
        return VTime((int64_t)((uint64_t)a.mTime * (uint64_t)(int64_t)factor));
    }
    template <typename I, typename = std::enable_if_t<std::is_integral<I>::value>>
    friend VTime operator*(I factor, VTime a) {
        return a * factor;
    }
    // The 64-bit product of two tick counts, wrapping.
    friend VTime operator*(VTime a, VTime b) {
        return VTime((int64_t)((uint64_t)a.mTime * (uint64_t)b.mTime));
    }
    // The quotient of the tick counts, truncated toward zero: a whole count of spans. A zero
    // divisor answers 0; the smallest value divided by -1 wraps to itself.
    friend VTime operator/(VTime a, VTime b) {
        if (b.mTime == 0) return VTime(0);
        if (b.mTime == -1) return -a;
        return VTime(a.mTime / b.mTime);
    }
    VTime& operator+=(VTime other) { return *this = *this + other; }
    VTime& operator-=(VTime other) { return *this = *this - other; }
    VTime& operator*=(int64_t factor) { return *this = *this * factor; }

    friend bool operator==(VTime a, VTime b) { return a.mTime == b.mTime; }
    friend bool operator!=(VTime a, VTime b) { return a.mTime != b.mTime; }
    friend bool operator<(VTime a, VTime b) { return a.mTime < b.mTime; }
    friend bool operator<=(VTime a, VTime b) { return a.mTime <= b.mTime; }
    friend bool operator>(VTime a, VTime b) { return a.mTime > b.mTime; }
    friend bool operator>=(VTime a, VTime b) { return a.mTime >= b.mTime; }

private:
    int64_t mTime;
};

// Scaling by a fraction goes through seconds or ticks explicitly; without this, a double would
// silently become a tick count before the multiplication.
template <typename F, typename = std::enable_if_t<std::is_floating_point<F>::value>, typename = void>
VTime operator*(VTime a, F factor) = delete;

inline constexpr VTime VTIME_INFINITE(VTime::kInfinite);
inline constexpr VTime VTIME_MINUS_INFINITE(VTime::kMinusInfinite);
inline constexpr VTime VTIME_ZERO(0);

// A span of the time line from a start to a stop time; zero at construction.
class OXA_API VTimeSpan {
public:
    constexpr VTimeSpan() = default;
    constexpr VTimeSpan(VTime start, VTime stop) : mStart(start), mStop(stop) {}

    void Set(VTime start, VTime stop) {
        mStart = start;
        mStop = stop;
    }
    void SetStart(VTime start) { mStart = start; }
    void SetStop(VTime stop) { mStop = stop; }
    VTime GetStart() const { return mStart; }
    VTime GetStop() const { return mStop; }
    // Stop minus start (wrapping like every time difference).
    VTime GetDuration() const { return mStop - mStart; }

    friend bool operator==(const VTimeSpan& a, const VTimeSpan& b) {
        return a.mStart == b.mStart && a.mStop == b.mStop;
    }
    friend bool operator!=(const VTimeSpan& a, const VTimeSpan& b) { return !(a == b); }

private:
    VTime mStart;
    VTime mStop;
};

#endif  // OXA_BASE_VTIME_H
