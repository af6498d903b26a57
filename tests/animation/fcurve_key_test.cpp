#include <gtest/gtest.h>

#include "animation/fcurve_key.h"

namespace {

TEST(FCurveKey, FixedPointSlotsClampAndSaturate) {
    VFCurveKey key;
    key.SetInterpolation(VFCurveKey::eInterpolationCubic);
    key.SetDataFloat(2, 1.5f);  // weights stop at 0.99
    EXPECT_EQ(key.GetDataFloat(2), 9899 * 0.00010001f);
    key.SetDataFloat(3, 0.0f);  // ... and start at 0.00010001, held as 1
    EXPECT_EQ(key.GetDataFloat(3), 1 * 0.00010001f);
    key.SetDataFloat(4, -0.5f);
    EXPECT_EQ(key.GetDataFloat(4), -4999 * 0.00010001f);
    // Velocities beyond the 16-bit field saturate instead of wrapping.
    key.SetDataFloat(5, 10.0f);
    EXPECT_EQ(key.GetDataFloat(5), 32767 * 0.00010001f);
    key.SetDataFloat(4, -10.0f);
    EXPECT_EQ(key.GetDataFloat(4), -32768 * 0.00010001f);
    // The slots are independent of each other and of data 0 and 1.
    key.SetDataFloat(0, 12.5f);
    key.SetDataFloat(1, -3.25f);
    EXPECT_EQ(key.GetDataFloat(0), 12.5f);
    EXPECT_EQ(key.GetDataFloat(1), -3.25f);
    EXPECT_EQ(key.GetDataFloat(2), 9899 * 0.00010001f);
    EXPECT_EQ(key.GetDataFloat(3), 1 * 0.00010001f);
    // One third reads back through the fixed point.
    key.SetDataFloat(2, kFCurveDefaultWeight);
    EXPECT_EQ(key.GetDataFloat(2), 3333 * 0.00010001f);
}

TEST(FCurveKey, FixedPointValuesStoreAgainUnchanged) {
    // A value read from a slot (and so from a file) goes back into the same integer.
    VFCurveKey key;
    for (int k = -32768; k <= 32767; ++k) {
        key.SetDataFloat(4, (float)k * 0.00010001f);
        float once = key.GetDataFloat(4);
        ASSERT_EQ(once, (float)k * 0.00010001f) << k;
        key.SetDataFloat(4, once);
        ASSERT_EQ(key.GetDataFloat(4), once) << k;
    }
}

TEST(FCurveKey, BecomingCubicResetsWeightsAndVelocities) {
    VFCurveKey key;
    key.Set(VTime(10), 2.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 1.0f, 2.0f,
            VFCurveKey::eWeightedAll, 0.5f, 0.25f, 0.1f, 0.2f);
    key.SetTangentVelocityMode(VFCurveKey::eVelocityAll);
    // Cubic to cubic keeps everything.
    key.SetInterpolation(VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(key.GetTangentWeightMode(), VFCurveKey::eWeightedAll);
    EXPECT_NEAR(key.GetDataFloat(2), 0.5f, 1e-4);
    // Cubic to linear keeps the data too.
    key.SetInterpolation(VFCurveKey::eInterpolationLinear);
    EXPECT_EQ(key.GetTangentWeightMode(), VFCurveKey::eWeightedAll);
    EXPECT_NEAR(key.GetDataFloat(3), 0.25f, 1e-4);
    EXPECT_EQ(key.GetDataFloat(0), 1.0f);
    // Linear to cubic resets weights, velocities and both modes.
    key.SetInterpolation(VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(key.GetTangentWeightMode(), 0u);
    EXPECT_EQ(key.GetTangentVelocityMode(), 0u);
    EXPECT_EQ(key.GetDataFloat(2), 3333 * 0.00010001f);
    EXPECT_EQ(key.GetDataFloat(3), 3333 * 0.00010001f);
    EXPECT_EQ(key.GetDataFloat(4), 0.0f);
    EXPECT_EQ(key.GetDataFloat(5), 0.0f);
    EXPECT_EQ(key.GetDataFloat(0), 1.0f);  // slopes are not touched
}

TEST(FCurveKey, FlagGroups) {
    VFCurveKey key;
    EXPECT_EQ(key.GetFlags(), 0u);
    key.SetEditState(0x300000);
    key.SetSelected(true);
    EXPECT_TRUE(key.GetSelected());
    key.SetTangentWeightMode(0x3000000);
    key.SetTangentWeightMode(0, VFCurveKey::eWeightedRight);  // only the masked bit changes
    EXPECT_EQ(key.GetTangentWeightMode(), VFCurveKey::eWeightedNextLeft);
    key.SetTangentVelocityMode(0x30000000, VFCurveKey::eVelocityNextLeft);
    EXPECT_EQ(key.GetTangentVelocityMode(), VFCurveKey::eVelocityNextLeft);
    EXPECT_EQ(key.GetFlags() & 0x70000u, 0x10000u);
    key.SetSelected(false);
    EXPECT_EQ(key.GetFlags() & 0x70000u, 0u);
    EXPECT_EQ(key.GetEditState(), 0x300000u);
    // Set() clears the edit state.
    key.Set(VTime(1), 1.0f);
    EXPECT_EQ(key.GetEditState(), 0u);
    key.SetMarked(true);
    key.SetBreak(true);
    EXPECT_TRUE(key.GetMarked());
    EXPECT_EQ(key.GetTangentMode(), VFCurveKey::eTangentAutoBreak);
    key.SetBreak(false);
    EXPECT_EQ(key.GetTangentMode(), VFCurveKey::eTangentAuto);
    // The constant-mode bit is the auto bit.
    key.SetInterpolation(VFCurveKey::eInterpolationConstant);
    EXPECT_EQ(key.GetConstantMode(), VFCurveKey::eConstantNext);
}

TEST(FCurveKey, TcbAndDerivativeScaling) {
    VFCurveKey key;
    key.SetTCB(VTime(5), 3.0f, 0.25f, -0.5f, 0.75f);
    EXPECT_EQ(key.GetInterpolation(), VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(key.GetTangentMode(), VFCurveKey::eTangentTCB);
    EXPECT_EQ(key.GetDataRaw(0), 0.25f);
    EXPECT_EQ(key.GetDataRaw(1), -0.5f);
    EXPECT_EQ(key.GetDataRaw(2), 0.75f);
    EXPECT_EQ(key.GetTime(), VTime(5));

    // A weighted cubic key made TCB drops its weights: the bias now fills their storage.
    VFCurveKey weighted;
    weighted.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, 0.0f, 0.0f,
                 VFCurveKey::eWeightedAll, 0.5f, 0.5f);
    weighted.SetTCB(VTime(0), 0.0f, 0.0f, 0.0f, 0.3f);
    EXPECT_EQ(weighted.GetTangentWeightMode(), 0u);
    EXPECT_EQ(weighted.GetDataRaw(2), 0.3f);

    VFCurveKey automatic;
    automatic.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentAuto, 30.0f, 40.0f);
    automatic.MultDerivative(2.0f);
    EXPECT_EQ(automatic.GetDataFloat(0), 30.0f);
    VFCurveKey user;
    user.Set(VTime(0), 0.0f, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUserBreak, 3.0f, -4.0f);
    user.MultDerivative(2.0f);
    EXPECT_EQ(user.GetDataFloat(0), 6.0f);
    EXPECT_EQ(user.GetDataFloat(1), -8.0f);
    user.IncValue(1.5f);
    user.MultValue(2.0f);
    user.IncTime(VTime(7));
    EXPECT_EQ(user.GetValue(), 3.0f);
    EXPECT_EQ(user.GetTime(), VTime(7));
}

}  // namespace
