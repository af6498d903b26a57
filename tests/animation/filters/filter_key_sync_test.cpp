#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "animation/filters/fcurve_filter_key_sync.h"
#include "animation/filters/filter_support.h"
#include "filter_test_util.h"

using namespace filter_test;

TEST(filters_KeySync, RefusalsAndNeedApply) {
    VFCurveFilterKeySync sync;
    CurvePtr a = FrameCurve({0, 1, 2});
    CurvePtr b = FrameCurve({5, 6, 7});
    CurvePtr c = FrameCurve({1, 1, 1});
    EXPECT_FALSE(sync.Apply(*a));
    EXPECT_EQ(sync.GetLastErrorID(), 1);
    VFCurve* one[1] = {a.get()};
    EXPECT_FALSE(sync.Apply(one, 1));
    EXPECT_EQ(sync.GetLastErrorID(), 1);
    EXPECT_STREQ(sync.GetLastErrorString(), "KeySyncFilter, No key were changed by filter.");

    VFCurve* three[3] = {a.get(), b.get(), c.get()};
    EXPECT_FALSE(sync.NeedApply(three, 3));
    c->KeySetTime(1, c->KeyGetTime(1) + VTime(1));
    EXPECT_TRUE(sync.NeedApply(three, 3));
    EXPECT_EQ(sync.GetLastErrorID(), 3);
    c->KeyRemove(2);
    EXPECT_TRUE(sync.NeedApply(three, 3));
    EXPECT_EQ(sync.GetLastErrorID(), 2);

    NodePtr wide(VFCurveNode::Create("wide", "wide", nullptr));
    for (int i = 0; i < 20; ++i) {
        VFCurveNode* child = VFCurveNode::CreateFromName("c");
        child->FCurveSet(FrameCurve({(float)i}).release());
        wide->Add(child);
    }
    EXPECT_FALSE(sync.Apply(*wide, false));
    EXPECT_EQ(sync.GetLastErrorID(), 4);
    wide->Delete(19);
    EXPECT_TRUE(sync.Apply(*wide, false));
}

TEST(filters_KeySync, MergesKeyTimesWithoutChangingShapes) {
    CurvePtr a = MakeCurve({{Frames(0), 0.0f}, {Frames(10), 4.0f}});
    CurvePtr b = MakeCurve({{Frames(5), 2.0f}, {Frames(7), -1.0f}}, VFCurveKey::eInterpolationLinear);
    CurvePtr a0(a->Copy());
    CurvePtr b0(b->Copy());
    VFCurveFilterKeySync sync;
    VFCurve* both[2] = {a.get(), b.get()};
    EXPECT_TRUE(sync.Apply(both, 2));
    ASSERT_EQ(a->KeyGetCount(), 4);
    ASSERT_EQ(b->KeyGetCount(), 4);
    const double frames[4] = {0, 5, 7, 10};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a->KeyGetTime(i), Frames(frames[i]));
        EXPECT_EQ(b->KeyGetTime(i), Frames(frames[i]));
    }
    for (double f = -2; f <= 12; f += 0.25) {
        EXPECT_NEAR(a->Evaluate(Frames(f)), a0->Evaluate(Frames(f)), 1e-4) << f;
        EXPECT_NEAR(b->Evaluate(Frames(f)), b0->Evaluate(Frames(f)), 1e-4) << f;
    }
    EXPECT_FALSE(sync.NeedApply(both, 2));
}

TEST(filters_KeySync, SpanLimitsTheKeyTimesTaken) {
    CurvePtr a = MakeCurve({{Frames(0), 0.0f}, {Frames(10), 4.0f}});
    CurvePtr b = MakeCurve({{Frames(5), 2.0f}, {Frames(20), 3.0f}});
    VFCurveFilterKeySync sync;
    sync.SetStartTime(Frames(3));
    sync.SetStopTime(Frames(7));
    VFCurve* both[2] = {a.get(), b.get()};
    EXPECT_TRUE(sync.Apply(both, 2));
    EXPECT_EQ(a->KeyGetCount(), 3);  // 0, 5, 10
    EXPECT_EQ(a->KeyGetTime(1), Frames(5));
    EXPECT_EQ(b->KeyGetCount(), 2);  // 5 and 20: 0 and 10 lie outside the span
}

TEST(filters_KeySync, BatchedInsertionMatchesKeyInsert) {
    std::mt19937 random(3);
    const unsigned tangents[5] = {VFCurveKey::eTangentAuto, VFCurveKey::eTangentAutoBreak,
                                  VFCurveKey::eTangentUser, VFCurveKey::eTangentUserBreak,
                                  VFCurveKey::eTangentTCB};
    for (int round = 0; round < 100; ++round) {
        int count = 4 + (int)(random() % 30);
        CurvePtr curve(VFCurve::Create());
        curve->ResizeKeyBuffer(count);
        for (int i = 0; i < count; ++i) {
            VTime t = Frames(2 * i);
            float v = (float)(random() % 100) * 0.1f;
            switch (random() % 6) {
                case 0:
                    curve->KeySet(i, t, v, VFCurveKey::eInterpolationConstant, 0);
                    break;
                case 1:
                    curve->KeySet(i, t, v, VFCurveKey::eInterpolationLinear);
                    break;
                case 2:
                    curve->KeySetTCB(i, t, v, 0.2f, -0.3f, 0.1f);
                    break;
                default: {
                    unsigned tangent = tangents[random() % 5];
                    if (tangent == VFCurveKey::eTangentTCB) tangent = VFCurveKey::eTangentAuto;
                    float d0 = (float)(random() % 7) - 3.0f, d1 = (float)(random() % 7) - 3.0f;
                    unsigned weights = random() % 3 == 0 ? (unsigned)VFCurveKey::eWeightedAll : 0u;
                    curve->KeySet(i, t, v, VFCurveKey::eInterpolationCubic, tangent, d0, d1, weights, 0.2f,
                                  0.4f);
                    break;
                }
            }
        }
        curve->SetPostExtrapolation(1 + (int)(random() % 4));
        curve->SetPostExtrapolationCount(2);
        std::vector<VTime> times;
        for (int f = -3; f < 2 * count + 3; ++f) {
            if (random() % 3 == 0) times.push_back(Frames(f));
        }
        CurvePtr plain(curve->Copy());
        for (VTime t : times)
            plain->KeyInsert(t);
        oxa_filter::InsertKeysAt(*curve, times);
        ASSERT_EQ(curve->KeyGetCount(), plain->KeyGetCount()) << "round " << round;
        for (int i = 0; i < curve->KeyGetCount(); ++i) {
            const VFCurveKey* a = curve->KeyGetPtr(i);
            const VFCurveKey* b = plain->KeyGetPtr(i);
            ASSERT_EQ(a->GetTime(), b->GetTime()) << round << " " << i;
            EXPECT_EQ(a->GetValue(), b->GetValue()) << round << " " << i;
            EXPECT_EQ(a->GetFlags(), b->GetFlags()) << round << " " << i;
            for (int d = 0; d < 4; ++d)
                EXPECT_EQ(a->GetDataPtr()[d], b->GetDataPtr()[d]) << round << " " << i;
        }
    }
}
