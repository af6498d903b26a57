#include <gtest/gtest.h>

#include "animation/filters/fcurve_filter_key_sync.h"
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
