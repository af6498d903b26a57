#include "base/vtime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace {

// Each named time mode with its rate as a fraction; the frame length is the second divided by
// the rate, truncated to whole ticks.
struct ModeRate {
    int mode;
    int64_t num;
    int64_t den;
};
const ModeRate kModes[] = {{1, 120, 1}, {2, 100, 1},      {3, 60, 1},  {4, 50, 1},
                           {6, 30, 1},  {8, 30000, 1001}, {10, 25, 1}, {11, 24, 1}};

int64_t FrameLength(const ModeRate& m) {
    return 46186158000LL * m.den / m.num;
}

class GlobalModeGuard {
public:
    GlobalModeGuard() : mMode(VTime::GetGlobalTimeMode()), mFormat(VTime::GetGlobalTimeFormat()) {}
    ~GlobalModeGuard() {
        VTime::SetGlobalTimeMode(mMode);
        VTime::SetGlobalTimeFormat(mFormat);
    }

private:
    int mMode, mFormat;
};

}  // namespace

TEST(VTime, SecondsTruncateTowardZero) {
    VTime t;
    t.SetSecondDouble(1.0 / 30.0);
    EXPECT_EQ(t.Get(), 1539538600);
    t.SetSecondDouble(1.0 / 120.0);
    EXPECT_EQ(t.Get(), 384884650);
    t.SetSecondDouble(-1.0 / 30.0);
    EXPECT_EQ(t.Get(), -1539538600);
    // A fraction of a tick goes to 0 from either side, not to -1.
    t.SetSecondDouble(-1e-12);
    EXPECT_EQ(t.Get(), 0);
    t.SetSecondDouble(1e-12);
    EXPECT_EQ(t.Get(), 0);
    t.SetSecondDouble(2.5);
    EXPECT_DOUBLE_EQ(t.GetSecondDouble(), 2.5);

    EXPECT_EQ(VTime(VTime::kOneSecond * 3 / 2).GetSecondCount(), 1);
    EXPECT_EQ(VTime(-VTime::kOneSecond * 3 / 2).GetSecondCount(), -1);
    EXPECT_EQ(VTime(-1).GetSecondCount(), 0);

    // Out of range seconds saturate instead of overflowing the conversion.
    t.SetSecondDouble(1e300);
    EXPECT_EQ(t, VTIME_INFINITE);
    t.SetSecondDouble(-1e300);
    EXPECT_EQ(t, VTIME_MINUS_INFINITE);
}

TEST(VTime, InfinitiesAndWrappingArithmetic) {
    EXPECT_EQ(VTIME_INFINITE.Get(), INT64_MAX);
    EXPECT_EQ(VTIME_MINUS_INFINITE.Get(), INT64_MIN + 1);
    EXPECT_LT(VTIME_MINUS_INFINITE, VTime(0));
    EXPECT_GT(VTIME_INFINITE, VTime(0));

    // No saturation: the sums wrap like 64-bit integers.
    EXPECT_EQ((VTIME_INFINITE + VTime(1)).Get(), INT64_MIN);
    EXPECT_EQ((VTIME_MINUS_INFINITE - VTime(2)).Get(), INT64_MAX);
    EXPECT_EQ((VTIME_INFINITE * 2).Get(), -2);
    EXPECT_EQ((VTime(INT64_MIN) * VTime(-1)).Get(), INT64_MIN);
    EXPECT_EQ((-VTime(INT64_MIN)).Get(), INT64_MIN);

    EXPECT_EQ((VTime(100) * -3).Get(), -300);
    EXPECT_EQ((3 * VTime(100)).Get(), 300);
    int64_t big = 1LL << 40;
    EXPECT_EQ((VTime(2) * big).Get(), 1LL << 41);  // 64-bit factors are not narrowed
    EXPECT_EQ((VTime(6) * VTime(7)).Get(), 42);

    // Division truncates toward zero and is safe at the edges.
    EXPECT_EQ((VTime(-7) / VTime(2)).Get(), -3);
    EXPECT_EQ((VTime(7) / VTime(-2)).Get(), -3);
    EXPECT_EQ((VTime(7) / VTime(0)).Get(), 0);
    EXPECT_EQ((VTime(INT64_MIN) / VTime(-1)).Get(), INT64_MIN);

    VTime t(10);
    t += VTime(5);
    t -= VTime(1);
    t *= 2;
    EXPECT_EQ(t.Get(), 28);
}

TEST(VTime, SetTimeAndGetFrameForEveryNamedMode) {
    for (const ModeRate& m : kModes) {
        SCOPED_TRACE(m.mode);
        int64_t frame = FrameLength(m);
        EXPECT_DOUBLE_EQ(VTime::GetFrameRate(m.mode), (double)m.num / (double)m.den);
        EXPECT_EQ(VTime::GetOneFrameValue(m.mode).Get(), frame);

        VTime t;
        t.SetTime(0, 0, 0, 1, 0, m.mode);
        EXPECT_EQ(t.Get(), frame);
        t.SetTime(0, 0, 0, 0, 1, m.mode);
        EXPECT_EQ(t.Get(), frame / 2);
        t.SetTime(1, 2, 3, 4, 0, m.mode);
        int64_t expected = 3723 * VTime::kOneSecond + 4 * frame;
        EXPECT_EQ(t.Get(), expected);
        EXPECT_EQ(t.GetFrame(true, m.mode), expected / frame);
        EXPECT_EQ(t.GetFrame(false, m.mode), 4);

        t.SetTimeResidual(0, 0, 0, 2, 0, 50, m.mode);
        EXPECT_EQ(t.Get(), 2 * frame + frame * 50 / 100);

        // Every frame start maps back to its own frame number.
        for (int f = 0; f < 500; f += 7) {
            VTime ft;
            ft.SetTime(0, 0, 0, f, 0, m.mode);
            EXPECT_EQ(ft.GetFrame(true, m.mode), f);
            EXPECT_EQ(VTime::GetTimeModeFromFrameRate((double)m.num / (double)m.den), m.mode);
        }
    }
    EXPECT_EQ(VTime::GetOneFrameValue(6).Get(), 1539538600);
    EXPECT_EQ(VTime::GetOneFrameValue(8).Get(), 1541078138);  // truncated, not rounded
    EXPECT_EQ(VTime::GetTimeModeFromFrameRate(29.97), 8);
    EXPECT_EQ(VTime::GetTimeModeFromFrameRate(48.0), -1);
}

TEST(VTime, UnknownModesRunAtThirtyAndModeZeroFollowsTheDefault) {
    GlobalModeGuard guard;
    for (int mode : {5, 7, 9, 12, 14, -1, 1000}) {
        SCOPED_TRACE(mode);
        EXPECT_DOUBLE_EQ(VTime::GetFrameRate(mode), 30.0);
        VTime t;
        t.SetTime(0, 0, 0, 1, 0, mode);
        EXPECT_EQ(t.Get(), 1539538600);
    }
    EXPECT_EQ(VTime::GetGlobalTimeMode(), 6);
    EXPECT_EQ(VTime::GetGlobalTimeFormat(), 1);

    VTime::SetGlobalTimeMode(10);
    VTime t;
    t.SetTime(0, 0, 0, 1);
    EXPECT_EQ(t.Get(), 1847446320);
    EXPECT_DOUBLE_EQ(VTime::GetFrameRate(0), 25.0);
    EXPECT_EQ(t.GetFrame(), 1);

    VTime::SetGlobalTimeMode(0);  // a default of 0 is itself unknown to the table
    EXPECT_DOUBLE_EQ(VTime::GetFrameRate(0), 30.0);

    VTime::SetGlobalTimeFormat(3);
    EXPECT_EQ(VTime::GetGlobalTimeFormat(), 3);
}

TEST(VTime, TimeStrings) {
    char text[32];
    std::snprintf(text, sizeof(text), "0:0:0:%d:0", 12);
    VTime t;
    ASSERT_TRUE(t.SetTimeString(text, 6, 2));
    EXPECT_EQ(t.GetFrame(true, 6), 12);
    EXPECT_EQ(t.Get(), 12 * 1539538600LL);

    ASSERT_TRUE(t.SetTimeString("12", 6, 1));
    EXPECT_EQ(t.Get(), 12 * 1539538600LL);
    ASSERT_TRUE(t.SetTimeString("1:00:02:05", 10, 1));
    EXPECT_EQ(t.Get(), 3602 * VTime::kOneSecond + 5 * 1847446320LL);
    ASSERT_TRUE(t.SetTimeString("-2:0", 6, 1));
    EXPECT_EQ(t.Get(), -2 * VTime::kOneSecond);
    ASSERT_TRUE(t.SetTimeString("0:0:0:0:1", 6, 1));
    EXPECT_EQ(t.Get(), 1539538600 / 2);

    t.Set(77);
    for (const char* bad : {"", "abc", "1:", "1::2", "1:2:3:4:5:6", "12x", "99999999999999"}) {
        EXPECT_FALSE(t.SetTimeString(bad, 6, 1)) << bad;
        EXPECT_EQ(t.Get(), 77) << bad;
    }
    EXPECT_FALSE(t.SetTimeString(nullptr, 6, 1));
}

TEST(VTimeSpan, HoldsStartAndStop) {
    VTimeSpan span;
    EXPECT_EQ(span.GetStart(), VTime(0));
    EXPECT_EQ(span.GetStop(), VTime(0));
    span.Set(VTime(10), VTime(25));
    EXPECT_EQ(span.GetDuration(), VTime(15));
    VTimeSpan copy = span;
    EXPECT_EQ(copy, span);
    copy.SetStop(VTIME_INFINITE);
    EXPECT_NE(copy, span);
    EXPECT_EQ(copy.GetStart(), VTime(10));
}
