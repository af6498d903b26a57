#include "attributes/voxa_camera_properties.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/vdatatype.h"
#include "objects/vproperty.h"

namespace {

// The block's list as files carry it, comma-separated; an animated property carries its data
// type after a '|'.
const char kList[] =
    "Roll|Roll,FieldOfView|FieldOfView,FieldOfViewX|FieldOfView,FieldOfViewY|FieldOfView,"
    "OpticalCenterX|Real,OpticalCenterY|Real,BackgroundColor|Color,TurnTable|Real,DisplayTurnTableIcon,"
    "Motion Blur Intensity|Real,UseMotionBlur,UseRealTimeMotionBlur,FocalLength,ResolutionMode,ApertureMode,"
    "CameraFormat,AspectW,AspectH,PixelAspectRatio,UseFrameColor,FrameColor,ShowName,ShowGrid,"
    "ShowOpticalCenter,ShowAzimut,ShowTimeCode,NearPlane,FarPlane,FilmWidth,FilmHeight,FilmAspectRatio,"
    "FilmSqueezeRatio,FilmFormatIndex,ViewFrustum,ViewFrustumNearFarPlane,ViewFrustumBackPlaneMode,"
    "BackPlaneDistance,BackPlaneDistanceMode,ViewCameraToLookAt,LockMode,LockInterestNavigation,FitImage,"
    "Crop,"
    "Center,KeepRatio,BackgroundMode,BackgroundAlphaTreshold,ForegroundTransparent,DisplaySafeArea,"
    "SafeAreaDisplayStyle,SafeAreaAspectRatio,Use2DMagnifierZoom,2D Magnifier Zoom|Real,2D Magnifier X|Real,"
    "2D Magnifier Y|Real,CameraProjectionType,UseRealTimeDOFAndAA,UseDepthOfField,FocusSource,FocusAngle,"
    "FocusDistance,UseAntialiasing,AntialiasingIntensity,UseAccumulationBuffer,FrameSamplingCount";

std::vector<std::string> ExpectedList() {
    std::vector<std::string> out;
    std::string text = kList;
    for (size_t at = 0, comma; at <= text.size(); at = comma + 1) {
        comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        out.push_back(text.substr(at, comma - at));
    }
    return out;
}

}  // namespace

TEST(attributes_CameraProperties, ListOrderTypesAndZeroValues) {
    VOxaCameraProperties block;
    EXPECT_STREQ(block.GetClassName(), "VOxaCameraProperties");
    EXPECT_TRUE(block.IsA(VOxaPropertyHandler::ClassId));
    EXPECT_EQ(block.GetOwner(), nullptr) << "a block without camera has no owner";

    const std::vector<std::string> list = ExpectedList();
    const int count = (int)list.size();
    ASSERT_EQ(count, 65);
    ASSERT_EQ(block.GetPropertyCount(), count);
    int animated = 0;
    for (int i = 0; i < count; ++i) {
        VProperty* p = block.GetProperty(i);
        ASSERT_NE(p, nullptr);
        const std::string& entry = list[i];
        const size_t bar = entry.find('|');
        SCOPED_TRACE(entry);
        EXPECT_EQ(p->GetName(), entry.substr(0, bar)) << "position " << i;
        const bool isAnimated = bar != std::string::npos;
        EXPECT_EQ(p->IsAnimatable(), isAnimated);
        EXPECT_EQ(p->HasStateFlag(kPropertyAnimated), isAnimated);
        if (isAnimated) {
            ASSERT_NE(p->GetDataType(), nullptr);
            EXPECT_EQ(p->GetDataType()->GetName(), entry.substr(bar + 1));
            EXPECT_EQ(block.GetAnimatedProperty(animated++), p)
                << "animated properties are reachable in list order";
        }
        // Before any camera Reset every value is zero.
        double values[4] = {-1.0, -1.0, -1.0, -1.0};
        int n = p->GetValue(values);
        ASSERT_GE(n, 1);
        for (int k = 0; k < n && k < 3; ++k)
            EXPECT_EQ(values[k], 0.0) << "component " << k;
    }
    EXPECT_EQ(animated, 12);
    EXPECT_EQ(block.GetAnimatedProperty(-1), nullptr);
    EXPECT_EQ(block.GetAnimatedProperty(VOxaCameraProperties::eAnimatedCount), nullptr);
    EXPECT_DOUBLE_EQ(block.GetFrameColorAlpha(), 1.0);

    // Value types of a few stored ones.
    EXPECT_EQ(block.FindProperty("FrameColor")->GetValueType(), eValueColor);
    EXPECT_EQ(block.FindProperty("FrameSamplingCount")->GetValueType(), eValueInteger);
    EXPECT_EQ(block.FindProperty("CameraFormat")->GetValueType(), eValueEnum);
    EXPECT_EQ(block.FindProperty("LockMode")->GetValueType(), eValueBool);
}

TEST(attributes_CameraProperties, EnumerationNames) {
    VOxaCameraProperties block;
    auto name = [&](const char* property, int value) -> std::string {
        const char* n = block.FindProperty(property)->GetInfo().GetEnumName(value);
        return n ? n : "<none>";
    };
    EXPECT_EQ(name("ResolutionMode", 4), "Fixed Height Resolution");
    EXPECT_EQ(name("ResolutionMode", 5), "<none>");
    EXPECT_EQ(name("ApertureMode", 0), "Horizontal & Vertical");
    EXPECT_EQ(name("CameraFormat", 8), "320x240");
    EXPECT_EQ(name("CameraFormat", 9), "<none>") << "format 9 has no name";
    EXPECT_EQ(name("CameraFormat", 10), "Full Screen");
    EXPECT_EQ(name("CameraFormat", 11), "<none>");
    EXPECT_EQ(name("CameraFormat", -1), "<none>");
    EXPECT_EQ(name("FilmFormatIndex", 6), "35mm 1.85 Projection");
    EXPECT_EQ(name("FilmFormatIndex", 11), "Imax");
    EXPECT_EQ(name("FilmFormatIndex", 12), "<none>");
    EXPECT_EQ(name("ViewFrustumBackPlaneMode", 2), "When Media");
    EXPECT_EQ(name("BackPlaneDistanceMode", 1), "Relative to Camera");
    EXPECT_EQ(name("BackgroundMode", 2), "Background & Forground");
    EXPECT_EQ(name("SafeAreaDisplayStyle", 1), "Square Safe Area");
    EXPECT_EQ(name("CameraProjectionType", 1), "Orthographic");
    EXPECT_EQ(name("FocusSource", 1), "Specific Distance");
    EXPECT_EQ(name("FocusSource", 2), "<none>");
    EXPECT_EQ(block.FindProperty("LockMode")->GetInfo().GetEnumNameCallback(), nullptr);
}

TEST(attributes_CameraProperties, ValuesByNameAreStoredUnchecked) {
    VOxaCameraProperties block;
    // A reader sets properties by name: no clamp, no cross-property rule, any enumeration value.
    block.FindProperty("NearPlane")->SetDouble(1.0e9);
    block.FindProperty("FarPlane")->SetDouble(-5.0);
    block.FindProperty("CameraFormat")->SetInt(1234);
    block.FindProperty("FrameSamplingCount")->SetDouble(7.9);
    EXPECT_EQ(block.GetNearPlane(), 1.0e9);
    EXPECT_EQ(block.GetFarPlane(), -5.0);
    EXPECT_EQ((int)block.GetCameraFormat(), 1234);
    EXPECT_EQ(block.GetFrameSamplingCount(), 7);

    // Setters answer what they store; the property reads it back.
    EXPECT_EQ(block.SetFocalLength(-3.0), -3.0);
    EXPECT_EQ(block.FindProperty("FocalLength")->GetDouble(), -3.0);
    const double rgb[3] = {0.1, 0.2, 0.3};
    EXPECT_TRUE(block.FindProperty("FrameColor")->SetValue(rgb));
    VgeRGBVector color = block.GetFrameColor();
    EXPECT_EQ(color[0], 0.1);
    EXPECT_EQ(color[2], 0.3);
}
