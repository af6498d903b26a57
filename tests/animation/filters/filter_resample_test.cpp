#include <gtest/gtest.h>

#include "animation/filters/fcurve_filter_resample.h"
#include "filter_test_util.h"

using namespace filter_test;

TEST(filters_Resample, BadPeriodAndInterval) {
    VFCurveFilterResample filter;
    EXPECT_EQ(filter.GetPeriod(),
              VTime(kFrame));  // one frame at the default 30 fps
    CurvePtr empty(VFCurve::Create());
    EXPECT_FALSE(filter.Apply(*empty));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_STREQ(filter.GetLastErrorString(), "Bad Interval");

    CurvePtr curve = FrameCurve({0, 1, 2});
    filter.SetStartTime(Frames(1));
    filter.SetStopTime(Frames(1));
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    filter.SetPeriod(VTime(0));
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    EXPECT_STREQ(filter.GetLastErrorString(), "Bad Period");
    EXPECT_EQ(curve->KeyGetCount(), 3);
}

TEST(filters_Resample, SamplesTheSpanAndKeepsTheRest) {
    CurvePtr curve = FrameCurve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, VFCurveKey::eInterpolationLinear);
    VFCurveFilterResample filter;
    filter.SetPeriod(Frames(4));
    filter.SetStartTime(Frames(0));
    filter.SetStopTime(Frames(10));
    EXPECT_TRUE(filter.Apply(*curve));
    // Samples at 0, 4, 8 and the end of the span at 10; keys 11 and 12 stay.
    const double expected[6] = {0, 4, 8, 10, 11, 12};
    ASSERT_EQ(curve->KeyGetCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(curve->KeyGetTime(i), Frames(expected[i]));
        EXPECT_NEAR(curve->KeyGetValue(i), expected[i], 1e-5);
    }
    EXPECT_EQ(curve->KeyGetInterpolation(1), (unsigned)VFCurveKey::eInterpolationCubic);

    // With alignment a start of 5 frames samples from 8.
    CurvePtr aligned =
        FrameCurve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, VFCurveKey::eInterpolationLinear);
    filter.SetAlignToPeriod(true);
    filter.SetStartTime(Frames(5));
    filter.SetStopTime(VTIME_INFINITE);
    EXPECT_TRUE(filter.Apply(*aligned));
    ASSERT_EQ(aligned->KeyGetCount(), 10);  // 0..7, then 8 and 12
    EXPECT_EQ(aligned->KeyGetTime(8), Frames(8));
    EXPECT_EQ(aligned->KeyGetTime(9), Frames(12));

    // Keeping key types: linear keys stay linear.
    CurvePtr typed = FrameCurve({0, 1, 2, 3, 4}, VFCurveKey::eInterpolationLinear);
    VFCurveFilterResample keep;
    keep.SetKeepKeyTypes(true);
    keep.SetPeriod(Frames(2));
    EXPECT_TRUE(keep.Apply(*typed));
    ASSERT_EQ(typed->KeyGetCount(), 3);
    EXPECT_EQ(typed->KeyGetInterpolation(1), (unsigned)VFCurveKey::eInterpolationLinear);
}
