#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/filters/fcurve_filter_unroll.h"
#include "animation/filters/filter_rotation.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

void SetTriples(VFCurveNode* node, const std::vector<std::array<float, 3>>& triples) {
    for (int c = 0; c < 3; ++c) {
        std::vector<float> values;
        for (const auto& t : triples)
            values.push_back(t[(size_t)c]);
        SetKeys(*Axis(node, c), {});
        CurvePtr curve = FrameCurve(values);
        Axis(node, c)->CopyFrom(curve.get(), true);
    }
}

double MaxRotationDifference(const double a[3], const double b[3], int order) {
    double ma[4][4], mb[4][4];
    oxa_filter::RotationFromTriple(ma, a, order);
    oxa_filter::RotationFromTriple(mb, b, order);
    double worst = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::fabs(ma[r][c] - mb[r][c]));
    }
    return worst;
}

}  // namespace

TEST(filters_Unroll, Refusals) {
    VFCurveFilterUnroll filter;
    CurvePtr curve = FrameCurve({1, 2});
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "Unroll Filter, Works only on rotation CurveNodes.");
    VFCurve* two[2] = {curve.get(), curve.get()};
    EXPECT_FALSE(filter.Apply(two, 2));
    EXPECT_EQ(filter.GetLastErrorID(), 2);

    NodePtr translation(MakeChannel("T", 1));
    SetTriples(translation.get(), {{170, 0, 0}, {-170, 0, 0}});
    EXPECT_FALSE(filter.Apply(*translation, true));
    EXPECT_EQ(filter.GetLastErrorID(), 2);

    NodePtr rotation(MakeChannel("R", 2));
    EXPECT_FALSE(filter.Apply(*rotation, true));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    SetTriples(rotation.get(), {{170, 0, 0}, {-170, 0, 0}});
    delete rotation->Get(1)->FCurveSet(nullptr);
    EXPECT_FALSE(filter.Apply(*rotation, true));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(1), -170.0f);
}

TEST(filters_Unroll, WrapsBecomeContinuous) {
    NodePtr rotation(MakeChannel("R", 2));
    SetTriples(rotation.get(), {{170, 0, 0}, {-170, 0, 0}, {-150, 0, 0}});
    VFCurveFilterUnroll filter;
    EXPECT_TRUE(filter.Apply(*rotation, true));
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(0), 170.0f);
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(1), 190.0f);
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(2), 210.0f);

    // A span starting at key 0 measures the first key against (0, 0, 0).
    SetTriples(rotation.get(), {{350, 0, 0}, {355, 0, 0}});
    EXPECT_TRUE(filter.Apply(*rotation, true));
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(0), -10.0f);
    EXPECT_FLOAT_EQ(Axis(rotation.get(), 0)->KeyGetValue(1), -5.0f);

    // Three curves on their own are unrolled in the XYZ order.
    CurvePtr x = FrameCurve({10, 200}), y = FrameCurve({0, 0}), z = FrameCurve({0, 0});
    VFCurve* xyz[3] = {x.get(), y.get(), z.get()};
    EXPECT_TRUE(filter.Apply(xyz, 3));
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), -160.0f);
    x->KeySetValue(1, 560.0f);
    EXPECT_TRUE(filter.Apply(xyz, 3));
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), -160.0f);
}

TEST(filters_Unroll, KeepsOrientationsInEveryOrder) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> angle(-180.0, 180.0);
    for (int order = 0; order <= 10; order += 2) {
        NodePtr rotation(MakeChannel("R", 2));
        rotation->SetRotationOrder(order);
        std::vector<std::array<float, 3>> triples;
        for (int i = 0; i < 30; ++i)
            triples.push_back({(float)angle(random), (float)angle(random), (float)angle(random)});
        SetTriples(rotation.get(), triples);
        VFCurveFilterUnroll filter;
        EXPECT_TRUE(filter.Apply(*rotation, true));
        for (int i = 0; i < 30; ++i) {
            double before[3] = {triples[(size_t)i][0], triples[(size_t)i][1], triples[(size_t)i][2]};
            double after[3];
            for (int c = 0; c < 3; ++c)
                after[c] = Axis(rotation.get(), c)->KeyGetValue(i);
            EXPECT_LT(MaxRotationDifference(before, after, order), 1e-4) << "order " << order << " key " << i;
        }
    }
}

TEST(filters_Unroll, EulerClosestAtGimbalLockKeepsTheRotation) {
    const double references[2][3] = {{40, 10, -30}, {-100, 200, 50}};
    for (int order = 0; order <= 10; order += 2) {
        static const int kMiddle[6] = {1, 2, 2, 0, 0, 1};
        for (double pole : {90.0, 270.0, -90.0}) {
            for (const auto& reference : references) {
                double in[3] = {25.0, 25.0, 70.0};
                in[kMiddle[order / 2]] = pole;
                double out[3];
                oxa_filter::EulerClosest(out, in, reference, order);
                EXPECT_LT(MaxRotationDifference(in, out, order), 1e-9)
                    << "order " << order << " pole " << pole;
            }
        }
    }
    double same[3] = {10, 20, 30}, out[3];
    oxa_filter::EulerClosest(out, same, same, 12);
    EXPECT_EQ(out[0], 10.0);
}

TEST(filters_Unroll, QualityMeasureAndSettings) {
    double a[3] = {10, 20, 30};
    EXPECT_DOUBLE_EQ(oxa_filter::UnrollQuality(a, a), 100.0);
    double x10[3] = {10, 0, 0}, zero[3] = {0, 0, 0};
    EXPECT_NEAR(oxa_filter::UnrollQuality(x10, zero), 1.0, 1e-6);
    double locked[3] = {0, 90, 0}, turned[3] = {10, 90, 10};
    EXPECT_LT(oxa_filter::UnrollQuality(turned, locked), 1e-6);

    VFCurveSetUnrollQualityThreshold(0.5);
    VFCurveSetUnrollQualityCheck(true);
    VFCurveFilterUnroll filter;
    EXPECT_DOUBLE_EQ(filter.GetQualityThreshold(), 0.5);
    EXPECT_TRUE(filter.GetQualityCheck());
    VFCurveSetUnrollQualityThreshold(0.25);
    VFCurveSetUnrollQualityCheck(false);
    filter.Reset();
    EXPECT_DOUBLE_EQ(filter.GetQualityThreshold(), 0.25);
    EXPECT_FALSE(filter.GetQualityCheck());
}
