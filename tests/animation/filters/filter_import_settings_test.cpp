#include <gtest/gtest.h>

#include "animation/anim_import_filters.h"
#include "animation/anim_settings.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

VFCurveNode* WrappedRotation() {
    VFCurveNode* r = MakeChannel("R", 2);
    SetKeys(*Axis(r, 0), {{Frames(0), 170.0f}, {Frames(1), -170.0f}});
    SetKeys(*Axis(r, 1), {{Frames(0), 0.0f}, {Frames(1), 0.0f}});
    SetKeys(*Axis(r, 2), {{Frames(0), 0.0f}, {Frames(1), 0.0f}});
    return r;
}

}  // namespace

TEST(filters_ImportSettings, RotationFilterFollowsTheMode) {
    ASSERT_EQ(VFCurveGetRotationFilterMode(), 2);
    for (int mode : {0, 3}) {
        VFCurveSetRotationFilterMode(mode);
        NodePtr r(WrappedRotation());
        EXPECT_FALSE(ApplyRotationFilter(r.get(), VTIME_MINUS_INFINITE, VTIME_INFINITE));
        EXPECT_FLOAT_EQ(Axis(r.get(), 0)->KeyGetValue(1), -170.0f);
    }
    VFCurveSetRotationFilterMode(2);
    NodePtr unrolled(WrappedRotation());
    EXPECT_TRUE(ApplyRotationFilter(unrolled.get(), VTIME_MINUS_INFINITE, VTIME_INFINITE));
    EXPECT_EQ(Axis(unrolled.get(), 0)->KeyGetCount(), 2);
    EXPECT_FLOAT_EQ(Axis(unrolled.get(), 0)->KeyGetValue(1), 190.0f);

    VFCurveSetRotationFilterMode(1);
    NodePtr killed(WrappedRotation());
    EXPECT_TRUE(ApplyRotationFilter(killed.get(), VTIME_MINUS_INFINITE, VTIME_INFINITE));
    EXPECT_EQ(Axis(killed.get(), 0)->KeyGetCount(),
              4);  // 170, two keys on the way, 190
    EXPECT_FLOAT_EQ(Axis(killed.get(), 0)->KeyGetValue(3), 190.0f);
    VFCurveSetRotationFilterMode(2);
    EXPECT_FALSE(ApplyRotationFilter(nullptr, VTIME_MINUS_INFINITE, VTIME_INFINITE));
}

TEST(filters_ImportSettings, ConstantKeyReductionFollowsTheSwitch) {
    ASSERT_TRUE(VFCurveGetApplyConstantKeyReducer());
    std::vector<float> still(6, 2.0f);
    for (bool reduce : {true, false}) {
        VFCurveSetApplyConstantKeyReducer(reduce);
        CurvePtr t[3] = {FrameCurve(still), FrameCurve(still), FrameCurve({0, 1, 2, 3, 4, 5})};
        CurvePtr r[3] = {FrameCurve({170, -170, -170, -170, -170, -170}), FrameCurve(still),
                         FrameCurve(still)};
        VFCurve* translation[3] = {t[0].get(), t[1].get(), t[2].get()};
        VFCurve* rotation[3] = {r[0].get(), r[1].get(), r[2].get()};
        ApplyJointImportFilters(translation, rotation);
        EXPECT_EQ(t[0]->KeyGetCount(), reduce ? 0 : 6);
        EXPECT_EQ(t[2]->KeyGetCount(), 6);
        EXPECT_FLOAT_EQ(r[0]->KeyGetValue(1), 190.0f);  // unrolled
        EXPECT_EQ(r[1]->KeyGetCount(), reduce ? 0 : 6);

        NodePtr tree(WrappedRotation());
        ApplyImportFilters(tree.get());
        EXPECT_FLOAT_EQ(Axis(tree.get(), 0)->KeyGetValue(1), 190.0f);
        EXPECT_EQ(Axis(tree.get(), 1)->KeyGetCount(), reduce ? 0 : 2);
    }
    VFCurveSetApplyConstantKeyReducer(true);
}

TEST(filters_ImportSettings, UnreadValuesStartAsSetAndKeepTheirOwn) {
    struct Double {
        double (*get)();
        void (*set)(double);
        double initial;
    } doubles[] = {{VFCurveGetUnreadDouble1, VFCurveSetUnreadDouble1, 240.0},
                   {VFCurveGetUnreadDouble2, VFCurveSetUnreadDouble2, 5e-13},
                   {VFCurveGetUnreadDouble3, VFCurveSetUnreadDouble3, 0.0005},
                   {VFCurveGetUnreadDouble4, VFCurveSetUnreadDouble4, 5e-13},
                   {VFCurveGetUnreadDouble5, VFCurveSetUnreadDouble5, 5e-13}};
    struct Flag {
        bool (*get)();
        void (*set)(bool);
        bool initial;
    } flags[] = {{VFCurveGetUnreadFlag1, VFCurveSetUnreadFlag1, true},
                 {VFCurveGetUnreadFlag2, VFCurveSetUnreadFlag2, true},
                 {VFCurveGetUnreadFlag3, VFCurveSetUnreadFlag3, true},
                 {VFCurveGetUnreadFlag4, VFCurveSetUnreadFlag4, false},
                 {VFCurveGetUnreadFlag5, VFCurveSetUnreadFlag5, false}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(doubles[i].get(), doubles[i].initial) << "double " << i + 1;
        EXPECT_EQ(flags[i].get(), flags[i].initial) << "flag " << i + 1;
    }
    // Each setter reaches its own value only, unchecked, and the readers' settings stay as they were.
    const double threshold = VFCurveGetUnrollQualityThreshold();
    for (int i = 0; i < 5; ++i) {
        doubles[i].set(-1.0 - i);
        flags[i].set(!flags[i].initial);
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(doubles[j].get(), j <= i ? -1.0 - j : doubles[j].initial) << i << " " << j;
            EXPECT_EQ(flags[j].get(), j <= i ? !flags[j].initial : flags[j].initial) << i << " " << j;
        }
    }
    EXPECT_EQ(VFCurveGetUnrollQualityThreshold(), threshold);
    for (int i = 0; i < 5; ++i) {
        doubles[i].set(doubles[i].initial);
        flags[i].set(flags[i].initial);
    }
}
