#include <gtest/gtest.h>

#include "animation/filters/fcurve_filter.h"
#include "animation/filters/fcurve_filter_resample.h"
#include "animation/filters/fcurve_filter_time_shift_scale.h"
#include "filter_test_util.h"

using namespace filter_test;

TEST(filters_Base, SpanAndKeyIndexes) {
    VFCurveFilterResample resample;
    EXPECT_EQ(resample.GetStartTime(), VTIME_MINUS_INFINITE);
    EXPECT_EQ(resample.GetStopTime(), VTIME_INFINITE);
    VFCurveFilterTimeShiftAndScale shift;
    EXPECT_EQ(shift.GetStartTime(), VTime(0));
    EXPECT_EQ(shift.GetStopTime(), VTime(0));
    EXPECT_STREQ(resample.GetName(), "FCurve Resample");

    CurvePtr empty(VFCurve::Create());
    EXPECT_EQ(resample.GetStartKeyIndex(*empty), -1);
    EXPECT_EQ(resample.GetStopKeyIndex(*empty), -1);

    CurvePtr curve = FrameCurve({0, 1, 2, 3, 4});
    EXPECT_EQ(resample.GetStartKeyIndex(*curve), 0);
    EXPECT_EQ(resample.GetStopKeyIndex(*curve), 4);
    resample.SetStartTime(Frames(-10));
    resample.SetStopTime(Frames(100));
    EXPECT_EQ(resample.GetStartKeyIndex(*curve), 0);
    EXPECT_EQ(resample.GetStopKeyIndex(*curve), 4);
    resample.SetStartTime(Frames(2.5));
    resample.SetStopTime(Frames(2.5));
    EXPECT_EQ(resample.GetStartKeyIndex(*curve), 2);
    EXPECT_EQ(resample.GetStopKeyIndex(*curve), 2);
}

TEST(filters_Base, ResampleCurveSamplesEveryPeriod) {
    CurvePtr source = MakeCurve({{Frames(0), 0.0f}, {Frames(10), 10.0f}}, VFCurveKey::eInterpolationLinear);
    CurvePtr destination(VFCurve::Create());
    VFCurveFilter::ResampleCurve(*source, *destination, Frames(0), Frames(10), Frames(3), 8, 0x100, false);
    ASSERT_EQ(destination->KeyGetCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(destination->KeyGetTime(i), Frames(3 * i));
        EXPECT_FLOAT_EQ(destination->KeyGetValue(i), 3.0f * i);
        EXPECT_EQ(destination->KeyGetInterpolation(i), 8u);
        EXPECT_EQ(destination->KeyGetTangentMode(i), 0x100u);
    }
    VFCurveFilter::ResampleCurve(*source, *destination, Frames(0), Frames(10), Frames(3), 8, 0x100, true);
    ASSERT_EQ(destination->KeyGetCount(), 5);
    EXPECT_EQ(destination->KeyGetTime(4), Frames(10));
    EXPECT_FLOAT_EQ(destination->KeyGetValue(4), 10.0f);

    // An empty or inverted span, or a period <= 0, leaves the destination alone.
    VFCurveFilter::ResampleCurve(*source, *destination, Frames(5), Frames(5), Frames(3), 8, 0x100, true);
    VFCurveFilter::ResampleCurve(*source, *destination, Frames(0), Frames(10), VTime(0), 8, 0x100, true);
    EXPECT_EQ(destination->KeyGetCount(), 5);
    // A span far beyond what a curve can hold is refused rather than allocated.
    VFCurveFilter::ResampleCurve(*source, *destination, VTIME_MINUS_INFINITE, VTIME_INFINITE, VTime(1), 8,
                                 0x100, false);
    EXPECT_EQ(destination->KeyGetCount(), 5);
}

TEST(filters_Base, ResampleCurveKeepingKeyTypes) {
    CurvePtr source(VFCurve::Create());
    source->ResizeKeyBuffer(3);
    source->KeySet(0, Frames(0), 0.0f, VFCurveKey::eInterpolationLinear);
    source->KeySet(1, Frames(4), 4.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 30.0f,
                   0.0f);
    source->KeySetTCB(2, Frames(8), 0.0f);
    CurvePtr destination(VFCurve::Create());
    VFCurveFilter::ResampleCurveKeepingKeyTypes(*source, *destination, Frames(0), Frames(9), Frames(2), true);
    ASSERT_EQ(destination->KeyGetCount(),
              6);  // 0, 2, 4, 6, 8 and the end of the span
    EXPECT_EQ(destination->KeyGetInterpolation(1), (unsigned)VFCurveKey::eInterpolationLinear);
    EXPECT_EQ(destination->KeyGetTangentMode(3), (unsigned)VFCurveKey::eTangentUser);
    EXPECT_FLOAT_EQ(destination->KeyGetDataFloat(3, 0), source->EvaluateRightDerivative(Frames(6)));
    EXPECT_FLOAT_EQ(destination->KeyGetDataFloat(3, 1), source->EvaluateLeftDerivative(Frames(6)));
    // A TCB key gives auto tangents; past the last key the default cubic auto
    // applies too.
    EXPECT_EQ(destination->KeyGetTangentMode(4), (unsigned)VFCurveKey::eTangentAuto);
    EXPECT_EQ(destination->KeyGetTangentMode(5), (unsigned)VFCurveKey::eTangentAuto);
    EXPECT_EQ(destination->KeyGetTime(5), Frames(9));
}

TEST(filters_Base, ResampleCurveInPlace) {
    CurvePtr curve = MakeCurve({{Frames(0), 0.0f}, {Frames(10), 10.0f}, {Frames(20), 0.0f}},
                               VFCurveKey::eInterpolationLinear);
    VFCurveFilter::ResampleCurveInPlace(*curve, Frames(2), Frames(0), Frames(10), false);
    ASSERT_EQ(curve->KeyGetCount(), 7);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(curve->KeyGetTime(i), Frames(2 * i));
        EXPECT_NEAR(curve->KeyGetValue(i), 2.0f * i, 1e-5);
    }
    EXPECT_EQ(curve->KeyGetTime(6), Frames(20));

    // Alignment moves a start of 5 frames to 8 at a period of 4, but leaves a
    // start inside the first period where it is.
    CurvePtr aligned =
        FrameCurve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, VFCurveKey::eInterpolationLinear);
    VFCurveFilter::ResampleCurveInPlace(*aligned, Frames(4), Frames(5), Frames(12), true);
    EXPECT_EQ(aligned->KeyGetCount(), 8 + 2);  // 0..7, then 8 and 12
    EXPECT_EQ(aligned->KeyGetTime(8), Frames(8));
    EXPECT_EQ(aligned->KeyGetTime(9), Frames(12));
    CurvePtr unaligned = FrameCurve({0, 1, 2, 3, 4, 5, 6}, VFCurveKey::eInterpolationLinear);
    VFCurveFilter::ResampleCurveInPlace(*unaligned, Frames(4), Frames(1), Frames(6), true);
    ASSERT_EQ(unaligned->KeyGetCount(),
              3);  // 0, then 1 and 5; key 6 went with the span
    EXPECT_EQ(unaligned->KeyGetTime(1), Frames(1));
    EXPECT_EQ(unaligned->KeyGetTime(2), Frames(5));
}

TEST(filters_Base, SpliceCurve) {
    CurvePtr base = FrameCurve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    CurvePtr span = MakeCurve({{Frames(2.5), 100.0f}, {Frames(3.5), 101.0f}, {Frames(4.5), 102.0f}});
    CurvePtr out(VFCurve::Create());
    VFCurveFilter::SpliceCurve(*base, *span, *out);
    // Base keys 0..2, the three span keys, base keys 5..10.
    ASSERT_EQ(out->KeyGetCount(), 12);
    EXPECT_EQ(out->KeyGetTime(2), Frames(2));
    EXPECT_EQ(out->KeyGetTime(3), Frames(2.5));
    EXPECT_FLOAT_EQ(out->KeyGetValue(5), 102.0f);
    EXPECT_EQ(out->KeyGetTime(6), Frames(5));
    EXPECT_EQ(out->KeyGetTime(11), Frames(10));

    CurvePtr covering = MakeCurve({{Frames(-1), 7.0f}, {Frames(11), 8.0f}});
    VFCurveFilter::SpliceCurve(*base, *covering, *out);
    EXPECT_TRUE(VFCurveFilter::AreCurvesEqual(*out, *covering));

    // With user tangents on the base the seams carry the base's slopes.
    CurvePtr user(VFCurve::Create());
    user->ResizeKeyBuffer(3);
    for (int i = 0; i < 3; ++i) {
        user->KeySet(i, Frames(10 * i), (float)(i * i), VFCurveKey::eInterpolationCubic,
                     VFCurveKey::eTangentUser, (float)(6 * i + 3), (float)(6 * i + 6));
    }
    CurvePtr middle = MakeCurve({{Frames(4), 50.0f}, {Frames(16), 60.0f}});
    VFCurveFilter::SpliceCurve(*user, *middle, *out);
    ASSERT_EQ(out->KeyGetCount(), 4);
    EXPECT_FLOAT_EQ(out->KeyGetDataFloat(0, 1), user->EvaluateRightDerivative(Frames(4)));
    EXPECT_EQ(out->KeyGetTangentMode(2), (unsigned)VFCurveKey::eTangentUserBreak);
    EXPECT_FLOAT_EQ(out->KeyGetDataFloat(2, 0), user->EvaluateLeftDerivative(Frames(16)));
    EXPECT_FLOAT_EQ(out->KeyGetDataFloat(2, 1), user->KeyGetDataFloat(1, 1));
}

TEST(filters_Base, AreCurvesEqual) {
    CurvePtr a = FrameCurve({1, 2, 3});
    CurvePtr b = FrameCurve({1, 2, 3});
    EXPECT_TRUE(VFCurveFilter::AreCurvesEqual(*a, *b));
    b->KeySetTime(2, b->KeyGetTime(2) + VTime(1));
    EXPECT_FALSE(VFCurveFilter::AreCurvesEqual(*a, *b));
    CurvePtr c = FrameCurve({1, 2, 3.5f});
    EXPECT_FALSE(VFCurveFilter::AreCurvesEqual(*a, *c));
    CurvePtr d = FrameCurve({1, 2, 3}, VFCurveKey::eInterpolationLinear);
    EXPECT_FALSE(VFCurveFilter::AreCurvesEqual(*a, *d));
    d->SetDefaultValue(1.0f);
    CurvePtr e = FrameCurve({1, 2, 3}, VFCurveKey::eInterpolationLinear);
    EXPECT_FALSE(VFCurveFilter::AreCurvesEqual(*d, *e));
}

TEST(filters_Base, InspectionUtilitiesReportThroughStatusError) {
    unsigned mask = 0;
    CurvePtr empty(VFCurve::Create());
    EXPECT_FALSE(VFCurveFilter::HasSingleInterpolation(mask, *empty));
    EXPECT_EQ(VFCurveFilter::GetStatusErrorID(), 0);
    EXPECT_STREQ(VFCurveFilter::GetStatusErrorString(), "VFCurveFilter, No key to be filtered.");

    CurvePtr mixed(VFCurve::Create());
    mixed->ResizeKeyBuffer(4);
    mixed->KeySet(0, Frames(0), 0.0f, VFCurveKey::eInterpolationConstant, 0);
    mixed->KeySet(1, Frames(1), 0.0f, VFCurveKey::eInterpolationLinear, 0);
    mixed->KeySet(2, Frames(2), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak);
    mixed->KeySetTCB(3, Frames(3), 0.0f);
    EXPECT_TRUE(VFCurveFilter::HasSingleInterpolation(mask, *mixed));
    EXPECT_EQ(mask, 2u | 4u | 8u);
    EXPECT_EQ(VFCurveFilter::GetStatusErrorID(), 1);
    EXPECT_STREQ(VFCurveFilter::GetStatusErrorString(), "VFCurveFilter, No single interpolation type.");

    int counters[7];
    EXPECT_TRUE(VFCurveFilter::GetKeyTypeStatistics(*mixed, counters));
    int expected[7] = {1, 1, 0, 0, 0, 1, 1};
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(counters[k], expected[k]) << "counter " << k;

    CurvePtr curve = MakeCurve({{Frames(10), 0.0f}, {Frames(20), 1.0f}});
    EXPECT_EQ(VFCurveFilter::GetStartGap(*curve, Frames(4)), Frames(6));
    EXPECT_EQ(VFCurveFilter::GetStartGap(*curve, Frames(12)), VTime(0));
    EXPECT_EQ(VFCurveFilter::GetStopGap(*curve, Frames(25)), VTime(0) - Frames(5));
    EXPECT_EQ(VFCurveFilter::GetStopGap(*curve, Frames(15)), VTime(0));
}

TEST(filters_Base, ConvertKeyTypesSamplesOtherSegments) {
    CurvePtr source = MakeCurve({{Frames(0), 0.0f}, {Frames(4), 8.0f}}, VFCurveKey::eInterpolationLinear);
    CurvePtr destination(VFCurve::Create());
    VFCurveFilter::ConvertKeyTypes(*source, *destination, VFCurveKey::eInterpolationCubic,
                                   VFCurveKey::eTangentAuto, Frames(1));
    ASSERT_EQ(destination->KeyGetCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(destination->KeyGetTime(i), Frames(i));
        EXPECT_FLOAT_EQ(destination->KeyGetValue(i), 2.0f * i);
        EXPECT_EQ(destination->KeyGetInterpolation(i), (unsigned)VFCurveKey::eInterpolationCubic);
    }

    // Auto keys asked as user keys keep their slopes instead of being sampled.
    CurvePtr smooth = FrameCurve({0, 3, 1});
    VFCurveFilter::ConvertKeyTypes(*smooth, *destination, VFCurveKey::eInterpolationCubic,
                                   VFCurveKey::eTangentUser, Frames(1));
    ASSERT_EQ(destination->KeyGetCount(), 3);
    EXPECT_EQ(destination->KeyGetTangentMode(1), (unsigned)VFCurveKey::eTangentUser);
    EXPECT_FLOAT_EQ(destination->KeyGetDataFloat(1, 0), smooth->KeyGetRightDerivative(1));
}
