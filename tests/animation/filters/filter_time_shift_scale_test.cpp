#include <gtest/gtest.h>

#include "animation/filters/fcurve_filter_time_shift_scale.h"
#include "filter_test_util.h"

using namespace filter_test;

TEST(filters_TimeShiftAndScale, RefusesWhenNothingWouldMove) {
    VFCurveFilterTimeShiftAndScale filter;
    CurvePtr curve = FrameCurve({1, 2});
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_STREQ(filter.GetLastErrorString(), "TimeShiftAndScaleFilter, No key were changed by filter.");
    filter.SetScale(-1.0);
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(curve->KeyGetTime(1), Frames(1));

    filter.SetShift(Frames(1));
    CurvePtr empty(VFCurve::Create());
    EXPECT_FALSE(filter.Apply(*empty));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    filter.Reset();
    EXPECT_EQ(filter.GetShift(), Frames(1));  // Reset keeps shift and scale
}

TEST(filters_TimeShiftAndScale, ShiftsThenScales) {
    VFCurveFilterTimeShiftAndScale filter;
    CurvePtr curve = MakeCurve({{Frames(5), 1.0f}, {Frames(6), 2.0f}});
    filter.SetShift(Frames(10));
    filter.SetScale(2.0);
    EXPECT_TRUE(filter.Apply(*curve));
    EXPECT_EQ(curve->KeyGetTime(0), Frames(30));
    EXPECT_EQ(curve->KeyGetTime(1), Frames(32));

    filter.SetShift(Frames(3));
    filter.SetScale(0.0);
    EXPECT_TRUE(filter.Apply(*curve));
    EXPECT_EQ(curve->KeyGetTime(0), Frames(33));
}

TEST(filters_TimeShiftAndScale, ShrinkingKeepsKeysApart) {
    CurvePtr curve = MakeCurve({{VTime(1), 1.0f}, {VTime(2), 2.0f}, {VTime(3), 3.0f}});
    VFCurveFilterTimeShiftAndScale filter;
    filter.SetScale(0.1);
    EXPECT_TRUE(filter.Apply(*curve));
    EXPECT_LT(curve->KeyGetTime(0), curve->KeyGetTime(1));
    EXPECT_LT(curve->KeyGetTime(1), curve->KeyGetTime(2));
}
