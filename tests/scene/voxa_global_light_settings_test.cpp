#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "scene/voxa_global_light_settings.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

void ExpectColor(const VOxaColor& c, double r, double g, double b, double a) {
    EXPECT_DOUBLE_EQ(c.mRed, r);
    EXPECT_DOUBLE_EQ(c.mGreen, g);
    EXPECT_DOUBLE_EQ(c.mBlue, b);
    EXPECT_DOUBLE_EQ(c.mAlpha, a);
}

TEST(scene_Color, EverySetterClampsAndNaNBecomesZero) {
    ExpectColor(VOxaColor(), 1, 1, 1, 1);
    ExpectColor(VOxaColor(1.5, -0.2, 0.5, 2), 1, 0, 0.5, 1);
    ExpectColor(VOxaColor(kNaN, 0.25, kNaN, 0.75), 0, 0.25, 0, 0.75);

    VOxaColor c;
    c.Set(-1, kNaN, 3, 0.5);
    ExpectColor(c, 0, 0, 1, 0.5);

    // Written directly, a colour may hold anything; IsValid tells, and copies clamp.
    VOxaColor raw;
    EXPECT_TRUE(raw.IsValid());
    raw.mGreen = 1.0000001;
    EXPECT_FALSE(raw.IsValid());
    raw.mGreen = kNaN;
    EXPECT_FALSE(raw.IsValid()) << "a NaN component is not valid";
    VOxaColor copy(raw);
    ExpectColor(copy, 1, 0, 1, 1);
    VOxaColor assigned(0.1, 0.2, 0.3, 0.4);
    assigned = raw;
    ExpectColor(assigned, 1, 0, 1, 1);
    EXPECT_TRUE(assigned.IsValid());
}

TEST(scene_GlobalLightSettings, DefaultsAndRestore) {
    VOxaGlobalLightSettings s;
    ExpectColor(s.GetAmbientColor(), 0.4, 0.4, 0.4, 0);
    ExpectColor(s.GetFogColor(), 1, 1, 1, 0);
    EXPECT_FALSE(s.GetFogEnable());
    EXPECT_EQ(s.GetFogMode(), 0);
    EXPECT_DOUBLE_EQ(s.GetFogStart(), 0.3);
    EXPECT_DOUBLE_EQ(s.GetFogEnd(), 1000.0);
    EXPECT_DOUBLE_EQ(s.GetFogDensity(), 0.002);
    EXPECT_FALSE(s.GetUseShadow());
    EXPECT_DOUBLE_EQ(s.GetShadowIntensity(), 0.0);
    EXPECT_EQ(s.GetShadowPlaneCount(), 0);

    s.SetFogEnd(50);
    s.SetShadowIntensity(10);
    s.AddShadowPlane(VOxaShadowPlane());
    s.RestoreDefaultSettings();
    EXPECT_DOUBLE_EQ(s.GetFogEnd(), 1000.0);
    EXPECT_DOUBLE_EQ(s.GetShadowIntensity(), 0.0);
    EXPECT_EQ(s.GetShadowPlaneCount(), 0);
}

TEST(scene_GlobalLightSettings, FogRangeStaysOrdered) {
    VOxaGlobalLightSettings s;
    s.SetFogStart(2000);
    EXPECT_DOUBLE_EQ(s.GetFogStart(), 1000.0) << "a start beyond the end takes the end";
    s.SetFogStart(-1);
    EXPECT_DOUBLE_EQ(s.GetFogStart(), 0.0);
    s.SetFogStart(kNaN);
    EXPECT_DOUBLE_EQ(s.GetFogStart(), 0.0);
    s.SetFogStart(0.3);
    s.SetFogEnd(0.1);
    EXPECT_DOUBLE_EQ(s.GetFogEnd(), 0.3) << "an end before the start takes the start";
    s.SetFogEnd(kNaN);
    EXPECT_DOUBLE_EQ(s.GetFogEnd(), 0.3);
    s.SetFogEnd(500);
    s.SetFogStart(20);
    EXPECT_DOUBLE_EQ(s.GetFogStart(), 20.0);
    EXPECT_DOUBLE_EQ(s.GetFogEnd(), 500.0);
}

TEST(scene_GlobalLightSettings, ShadowIntensityAndColoursClamp) {
    VOxaGlobalLightSettings s;
    s.SetShadowIntensity(450);
    EXPECT_DOUBLE_EQ(s.GetShadowIntensity(), 300.0);
    s.SetShadowIntensity(-1);
    EXPECT_DOUBLE_EQ(s.GetShadowIntensity(), 0.0);
    s.SetShadowIntensity(120);
    s.SetShadowIntensity(kNaN);
    EXPECT_DOUBLE_EQ(s.GetShadowIntensity(), 0.0);

    s.SetAmbientColor(VOxaColor(1.5, -0.2, 0.5, 2));
    ExpectColor(s.GetAmbientColor(), 1, 0, 0.5, 1);
    VOxaColor raw;
    raw.mRed = kNaN;
    raw.mBlue = 7;
    s.SetFogColor(raw);
    ExpectColor(s.GetFogColor(), 0, 1, 1, 1);
}

TEST(scene_GlobalLightSettings, ShadowPlanesAndAssignment) {
    VOxaGlobalLightSettings s;
    EXPECT_EQ(s.GetShadowPlane(0), nullptr);
    EXPECT_EQ(s.GetLastErrorID(), 0);
    EXPECT_STREQ(s.GetLastErrorString(), "Index out of range.");

    VOxaShadowPlane plane;
    EXPECT_TRUE(plane.mEnable);
    EXPECT_DOUBLE_EQ(plane.mNormal.GetValue(1), 1.0);
    // Enough planes to grow the list past a block; each one keeps its own values.
    for (int i = 0; i < 40; ++i) {
        plane.mOrigin.SetValue(0, i);
        plane.mEnable = (i % 2) == 0;
        s.AddShadowPlane(plane);
    }
    ASSERT_EQ(s.GetShadowPlaneCount(), 40);
    EXPECT_DOUBLE_EQ(s.GetShadowPlane(39)->mOrigin.GetValue(0), 39.0);
    EXPECT_FALSE(s.GetShadowPlane(39)->mEnable);
    EXPECT_EQ(s.GetShadowPlane(-1), nullptr);
    EXPECT_EQ(s.GetShadowPlane(40), nullptr);

    s.GetShadowPlane(3)->mOrigin.SetValue(2, 9.0);  // in place
    s.SetFogEnd(77);
    s.SetShadowIntensity(12);
    VOxaGlobalLightSettings copy;
    copy = s;
    ASSERT_EQ(copy.GetShadowPlaneCount(), 40);
    EXPECT_DOUBLE_EQ(copy.GetShadowPlane(3)->mOrigin.GetValue(2), 9.0);
    EXPECT_DOUBLE_EQ(copy.GetFogEnd(), 77.0);
    EXPECT_DOUBLE_EQ(copy.GetShadowIntensity(), 12.0);
    copy.GetShadowPlane(0)->mOrigin.SetValue(0, -3.0);
    EXPECT_DOUBLE_EQ(s.GetShadowPlane(0)->mOrigin.GetValue(0), 0.0) << "the planes are copies";

    s.RemoveAllShadowPlanes();
    EXPECT_EQ(s.GetShadowPlaneCount(), 0);
    EXPECT_EQ(copy.GetShadowPlaneCount(), 40);
}

}  // namespace
