#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "animation/filters/fcurve_filter_gimble_killer.h"
#include "animation/filters/filter_rotation.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

void SetAxisKeys(VFCurveNode* node, int c, const std::vector<std::pair<VTime, float>>& keys) {
    SetKeys(*Axis(node, c), keys);
}

}  // namespace

TEST(filters_GimbleKiller, Refusals) {
    VFCurveFilterGimbleKiller filter;
    CurvePtr curve = FrameCurve({1, 2});
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "Not 3 curve");
    VFCurve* two[2] = {curve.get(), curve.get()};
    EXPECT_FALSE(filter.Apply(two, 2));
    EXPECT_STREQ(filter.GetLastErrorString(), "Need 3 VFCurve to apply a gimble killer filter.");

    NodePtr translation(MakeChannel("T", 1));
    EXPECT_FALSE(filter.Apply(*translation, true));
    EXPECT_EQ(filter.GetLastErrorID(), 3);
    NodePtr small(MakeChannel("R", 2));
    small->Delete(2);
    EXPECT_FALSE(filter.Apply(*small, true));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    NodePtr rotation(MakeChannel("R", 2));
    EXPECT_FALSE(filter.Apply(*rotation, true));
    EXPECT_EQ(filter.GetLastErrorID(), 0);
    EXPECT_TRUE(filter.GetKeySync());
}

TEST(filters_GimbleKiller, InsertsKeysAlongLargeSteps) {
    NodePtr rotation(MakeChannel("R", 2));
    for (int c = 0; c < 3; ++c)
        SetAxisKeys(rotation.get(), c, {{Seconds(0), 0.0f}, {Seconds(1), c == 2 ? 20.0f : 0.0f}});
    VFCurveFilterGimbleKiller filter;
    EXPECT_TRUE(filter.Apply(*rotation, true));
    VFCurve* z = Axis(rotation.get(), 2);
    ASSERT_EQ(z->KeyGetCount(), 4);
    EXPECT_EQ(z->KeyGetTime(1), Seconds(0.25));
    EXPECT_EQ(z->KeyGetTime(2), Seconds(0.625));
    EXPECT_NEAR(z->KeyGetValue(1), 5.0, 0.1);
    EXPECT_NEAR(z->KeyGetValue(2), 12.5, 0.1);
    EXPECT_FLOAT_EQ(z->KeyGetValue(3), 20.0f);
    EXPECT_EQ(Axis(rotation.get(), 0)->KeyGetCount(), 4);

    // Keys closer than 1/1200 s never get keys between them.
    for (int c = 0; c < 3; ++c)
        SetAxisKeys(rotation.get(), c, {{Seconds(0), 0.0f}, {Seconds(1.0 / 2400), c == 2 ? 90.0f : 0.0f}});
    EXPECT_TRUE(filter.Apply(*rotation, true));
    EXPECT_EQ(Axis(rotation.get(), 2)->KeyGetCount(), 2);
}

TEST(filters_GimbleKiller, UnsynchronisedCurvesFollowX) {
    CurvePtr x = MakeCurve({{Seconds(0), 0.0f}, {Seconds(1), 1.0f}});
    CurvePtr y = MakeCurve({{Seconds(0), 0.0f}, {Seconds(0.5), 2.0f}, {Seconds(1), 1.0f}});
    CurvePtr z = MakeCurve({{Seconds(0), 0.0f}, {Seconds(1), 1.0f}});
    VFCurveFilterGimbleKiller filter;
    filter.SetKeySync(false);
    VFCurve* xyz[3] = {x.get(), y.get(), z.get()};
    EXPECT_TRUE(filter.Apply(xyz, 3));
    EXPECT_EQ(x->KeyGetCount(), 2);
    ASSERT_EQ(y->KeyGetCount(), 2);
    EXPECT_EQ(y->KeyGetTime(1), Seconds(1));
    EXPECT_FLOAT_EQ(y->KeyGetValue(1), 1.0f);
}

TEST(filters_GimbleKiller, StepsStaySmallAndKeyOrientationsStay) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> angle(-180.0, 180.0);
    for (int order : {0, 4, 10, 12}) {
        NodePtr rotation(MakeChannel("R", 2));
        rotation->SetRotationOrder(order);
        std::vector<std::array<double, 3>> triples;
        for (int c = 0; c < 3; ++c) {
            std::vector<std::pair<VTime, float>> keys;
            for (int i = 0; i < 12; ++i) {
                if (c == 0) triples.push_back({angle(random), angle(random), angle(random)});
                keys.push_back({Frames(i), (float)triples[(size_t)i][(size_t)c]});
            }
            SetAxisKeys(rotation.get(), c, keys);
        }
        VFCurveFilterGimbleKiller filter;
        EXPECT_TRUE(filter.Apply(*rotation, true));
        VFCurve* x = Axis(rotation.get(), 0);
        int count = x->KeyGetCount();
        EXPECT_GT(count, 12);
        int next = 0;
        for (int k = 0; k < count; ++k) {
            double triple[3];
            for (int c = 0; c < 3; ++c)
                triple[c] = Axis(rotation.get(), c)->KeyGetValue(k);
            if (k > 0) {
                double d2 = 0.0;
                for (int c = 0; c < 3; ++c) {
                    double d = triple[c] - Axis(rotation.get(), c)->KeyGetValue(k - 1);
                    d2 += d * d;
                }
                double dt = (x->KeyGetTime(k) - x->KeyGetTime(k - 1)).GetSecondDouble();
                EXPECT_TRUE(d2 < 75.0 + 1e-3 || dt < 1.0 / 1200 + 1e-9) << "order " << order << " key " << k;
            }
            if (next < 12 && x->KeyGetTime(k) == Frames(next)) {
                double original[3] = {triples[(size_t)next][0], triples[(size_t)next][1],
                                      triples[(size_t)next][2]};
                double a[4][4], b[4][4];
                oxa_filter::RotationFromTriple(a, original, order);
                oxa_filter::RotationFromTriple(b, triple, order);
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c)
                        EXPECT_NEAR(a[r][c], b[r][c], 1e-4) << order << " " << next;
                }
                ++next;
            }
        }
        EXPECT_EQ(next, 12);
    }
}
