#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "animation/filters/fcurve_filter_key_reducer.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

CurvePtr Wave(int count, double frequency) {
    std::vector<float> values;
    for (int i = 0; i < count; ++i)
        values.push_back((float)(10.0 * std::sin(i * frequency) + 0.5 * std::sin(i * 7.3)));
    return FrameCurve(values);
}

}  // namespace

TEST(filters_KeyReducer, Refusals) {
    VFCurveFilterKeyReducer filter;
    EXPECT_DOUBLE_EQ(filter.GetPrecision(), 1.0);
    CurvePtr one = FrameCurve({1});
    EXPECT_FALSE(filter.Apply(*one));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_STREQ(filter.GetLastErrorString(), "KeyReducer, No key were changed by filter.");
    CurvePtr curve = FrameCurve({0, 1, 2, 3});
    filter.SetStartTime(Frames(2));
    filter.SetStopTime(Frames(2));
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_STREQ(filter.GetLastErrorString(),
                 "KeyReducer, Invalid Time Span. No key were changed by filter.");
    EXPECT_EQ(curve->KeyGetCount(), 4);
}

TEST(filters_KeyReducer, StraightLineKeepsItsEnds) {
    CurvePtr line = FrameCurve({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, VFCurveKey::eInterpolationLinear);
    VFCurveFilterKeyReducer filter;
    filter.SetPrecision(0.001);
    EXPECT_TRUE(filter.Apply(*line));
    ASSERT_EQ(line->KeyGetCount(), 2);
    EXPECT_EQ(line->KeyGetTime(1), Frames(10));
    EXPECT_NEAR(line->Evaluate(Frames(3.5)), 3.5, 1e-4);
}

TEST(filters_KeyReducer, EveryKeyStaysWithinThePrecision) {
    for (double precision : {0.0, 0.05, 0.5}) {
        CurvePtr curve = Wave(300, 0.05);
        CurvePtr source(curve->Copy());
        VFCurveFilterKeyReducer filter;
        filter.SetPrecision(precision);
        EXPECT_TRUE(filter.Apply(*curve));
        if (precision > 0.0) {
            EXPECT_LT(curve->KeyGetCount(), 300);
        }
        for (int i = 0; i < 300; ++i) {
            VTime t = source->KeyGetTime(i);
            EXPECT_LE(std::fabs(curve->Evaluate(t) - source->KeyGetValue(i)), precision + 1e-5)
                << "precision " << precision << " key " << i;
        }
        // Kept keys are source keys with the source's slopes.
        for (int k = 0; k + 1 < curve->KeyGetCount(); ++k) {
            int i = (int)source->KeyFind(curve->KeyGetTime(k));
            EXPECT_EQ(source->KeyGetTime(i), curve->KeyGetTime(k));
            EXPECT_FLOAT_EQ(curve->KeyGetValue(k), source->KeyGetValue(i));
            if (k > 0) {
                EXPECT_FLOAT_EQ(curve->KeyGetDataFloat(k, 0), source->KeyGetRightDerivative(i));
            }
        }
    }
}

TEST(filters_KeyReducer, SpanAndKeySync) {
    CurvePtr curve = Wave(40, 0.2);
    CurvePtr source(curve->Copy());
    VFCurveFilterKeyReducer filter;
    filter.SetStartTime(Frames(10));
    filter.SetStopTime(Frames(30));
    EXPECT_TRUE(filter.Apply(*curve));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(curve->KeyGetTime(i), Frames(i));
    EXPECT_EQ(curve->KeyGetTime(curve->KeyGetCount() - 1), Frames(39));
    EXPECT_EQ(curve->KeyGetTime(curve->KeyGetCount() - 9), Frames(31));

    // Two reduced children are brought to common key times; one child is left
    // alone.
    NodePtr node(MakeChannel("T", 1));
    node->Get(0)->FCurveReplace(Wave(60, 0.1).release());
    node->Get(1)->FCurveReplace(Wave(60, 0.37).release());
    node->Delete(2);
    VFCurveFilterKeyReducer sync;
    sync.SetKeySync(true);
    EXPECT_TRUE(sync.Apply(*node, true));
    EXPECT_TRUE(sync.GetKeySync());
    ASSERT_EQ(Axis(node.get(), 0)->KeyGetCount(), Axis(node.get(), 1)->KeyGetCount());
    for (int k = 0; k < Axis(node.get(), 0)->KeyGetCount(); ++k) {
        EXPECT_EQ(Axis(node.get(), 0)->KeyGetTime(k), Axis(node.get(), 1)->KeyGetTime(k));
    }
    node->Delete(1);
    node->Get(0)->FCurveReplace(Wave(60, 0.1).release());
    EXPECT_TRUE(sync.Apply(*node, true));
    EXPECT_TRUE(sync.GetKeySync());
}
