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

TEST(FilterImportSettings, RotationFilterFollowsTheMode) {
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
