#include "attributes/voxa_camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_video.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kPi = 3.14159265358979323846;

// The angle of view (degrees) of a lens over a film size in inches.
double AngleOfView(double sizeInches, double focalMillimetres) {
    return 2.0 * std::atan(sizeInches * 25.4 / (2.0 * focalMillimetres)) * 180.0 / kPi;
}

double Property(const VOxaCamera& camera, const char* name) {
    return camera.GetProperties()->FindProperty(name)->GetDouble();
}

class attributes_Camera : public ::testing::Test {
protected:
    VOxaCamera* Attached(const char* name) {
        VOxaNode* node = mManager.CreateNode(name);
        VOxaCamera* camera = mManager.CreateCamera();
        node->SetNodeAttribute(camera);
        return camera;
    }
    // The number of the node's channel links that reach the camera's block.
    static int CameraLinks(VOxaNode* node, const VOxaCamera* camera) {
        int n = 0;
        for (int i = 0; i < node->GetChannelLinkCount(); ++i) {
            VProperty* p = node->GetChannelLink(i)->mProperty;
            if (p && p->GetListObject() == camera->GetProperties()) ++n;
        }
        return n;
    }
    VOxaSdkManager mManager;
};

TEST_F(attributes_Camera, NewCameraHoldsTheResetValues) {
    VOxaCamera* camera = mManager.CreateCamera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(mManager.GetNodeAttributeCount(), 1);
    EXPECT_EQ(camera->GetAttributeType(), 7);
    EXPECT_STREQ(camera->GetTypeName().Buffer(), "Camera");
    ASSERT_EQ(camera->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(camera->GetTypeFlags()[0], "Camera");

    // Every single-valued property after Reset, by name: "name=value;" pairs.
    const std::string defaults =
        "Roll=0;FieldOfView=40;FieldOfViewX=1;FieldOfViewY=1;OpticalCenterX=0;OpticalCenterY=0;TurnTable=0;"
        "DisplayTurnTableIcon=1;Motion Blur Intensity=1;UseMotionBlur=0;UseRealTimeMotionBlur=1;"
        "FocalLength=35;ResolutionMode=0;ApertureMode=2;CameraFormat=0;AspectW=320;AspectH=200;"
        "PixelAspectRatio=1;UseFrameColor=0;ShowName=1;ShowGrid=1;ShowOpticalCenter=0;ShowAzimut=1;"
        "ShowTimeCode=0;NearPlane=10;FarPlane=4000;FilmWidth=0.816;FilmHeight=0.612;"
        "FilmAspectRatio=0.816 / 0.612;FilmSqueezeRatio=1;FilmFormatIndex=4;ViewFrustum=1;"
        "ViewFrustumNearFarPlane=0;ViewFrustumBackPlaneMode=2;BackPlaneDistance=100;BackPlaneDistanceMode=0;"
        "ViewCameraToLookAt=1;LockMode=0;LockInterestNavigation=0;FitImage=0;Crop=0;Center=1;KeepRatio=1;"
        "BackgroundMode=0;BackgroundAlphaTreshold=0.5;ForegroundTransparent=1;DisplaySafeArea=0;"
        "SafeAreaDisplayStyle=1;SafeAreaAspectRatio=1.33333333333333;Use2DMagnifierZoom=0;"
        "2D Magnifier Zoom=100;2D Magnifier X=50;2D Magnifier Y=50;CameraProjectionType=0;"
        "UseRealTimeDOFAndAA=0;UseDepthOfField=0;FocusSource=0;FocusAngle=3.5;FocusDistance=200;"
        "UseAntialiasing=0;AntialiasingIntensity=0.77777;UseAccumulationBuffer=0;FrameSamplingCount=7;";
    for (size_t at = 0, end; (end = defaults.find(';', at)) != std::string::npos; at = end + 1) {
        const std::string pair = defaults.substr(at, end - at);
        const size_t eq = pair.find('=');
        const std::string name = pair.substr(0, eq);
        double expected = pair.compare(eq + 1, std::string::npos, "0.816 / 0.612") == 0
                              ? 0.816 / 0.612
                              : std::stod(pair.substr(eq + 1));
        EXPECT_EQ(Property(*camera, name.c_str()), expected) << name;
    }
    EXPECT_EQ(camera->GetBackgroundColor(), VOxaColor(0.63, 0.63, 0.63, 1.0));
    EXPECT_EQ(camera->GetFrameColor(), VOxaColor(0.3, 0.3, 0.3, 1.0));
    EXPECT_EQ(camera->GetAudioColor(), VOxaColor(0.0, 1.0, 0.0, 1.0));
    EXPECT_TRUE(camera->GetShowInfoOnMoving());
    EXPECT_FALSE(camera->GetDisplaySafeAreaOnRender());
    EXPECT_EQ(camera->GetAntialiasingMethod(), 0);
    EXPECT_EQ(camera->GetFrameSamplingType(), 1);
    EXPECT_EQ(camera->GetBackgroundMediaName(), nullptr) << "an empty name reads as null";
    EXPECT_EQ(camera->GetUpVector()[1], 1.0);
    EXPECT_EQ(camera->GetPosition()[2], 0.0) << "a detached camera has no position";

    // Reset restores everything but "LockInterestNavigation".
    camera->GetProperties()->SetLockInterestNavigation(true);
    camera->SetFormat(VOxaCamera::eHD);
    camera->SetBackgroundMediaName("clip");
    camera->Reset();
    EXPECT_TRUE(camera->GetProperties()->GetLockInterestNavigation());
    EXPECT_EQ(camera->GetAspectWidth(), 320.0);
    EXPECT_EQ(camera->GetBackgroundMediaName(), nullptr);
    EXPECT_TRUE(mManager.DestroyNodeAttribute(camera));
    EXPECT_EQ(mManager.GetNodeAttributeCount(), 0);
}

TEST_F(attributes_Camera, LensConversions) {
    VOxaCamera camera(&mManager);
    // Vertical aperture: the film height.
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), AngleOfView(0.612, 35.0), 1e-12);
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), 25.04, 0.01);
    EXPECT_EQ(Property(camera, "FieldOfView"), 40.0) << "lens and field-of-view property are independent";
    // Any other mode: the film width times the squeeze.
    camera.SetApertureMode(VOxaCamera::eHORIZONTAL);
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), AngleOfView(0.816, 35.0), 1e-12);
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), 32.99, 0.01);
    camera.SetApertureFormat(VOxaCamera::e35MM_ANAMORPHIC);
    EXPECT_EQ(camera.GetFilmSqueezeRatio(), 2.0);
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), AngleOfView(0.864 * 2.0, 35.0), 1e-12);

    // Focal length from an angle, round trip, and the clamps (NaN and infinities included).
    camera.SetApertureMode(VOxaCamera::eVERTICAL);
    camera.SetFocalLengthFromFieldOfView(60.0);
    EXPECT_NEAR(camera.GetFocalLength(), 0.732 * 25.4 / (2.0 * std::tan(30.0 * kPi / 180.0)), 1e-9);
    EXPECT_NEAR(camera.ComputeFieldOfViewFromFocalLength(), 60.0, 1e-9);
    const double at1 = 0.732 * 25.4 / (2.0 * std::tan(0.5 * kPi / 180.0));
    const double at179 = 0.732 * 25.4 / (2.0 * std::tan(89.5 * kPi / 180.0));
    struct {
        double angle;
        double focal;
    } clamps[] = {{0.5, at1}, {-10.0, at1}, {kNaN, at1}, {-kInf, at1}, {180.0, at179}, {kInf, at179}};
    for (auto& c : clamps) {
        camera.SetFocalLengthFromFieldOfView(c.angle);
        EXPECT_NEAR(camera.GetFocalLength(), c.focal, 1e-9) << "angle " << c.angle;
    }
    // The computed angle is clamped too: a zero or NaN focal length stays in [1, 179].
    camera.SetFocalLength(0.0);
    EXPECT_EQ(camera.ComputeFieldOfViewFromFocalLength(), 179.0);
    camera.SetFocalLength(1.0e9);
    EXPECT_EQ(camera.ComputeFieldOfViewFromFocalLength(), 1.0);
    camera.SetFocalLength(kNaN);
    EXPECT_EQ(camera.ComputeFieldOfViewFromFocalLength(), 1.0);
}

TEST_F(attributes_Camera, FormatTableInEveryResolutionMode) {
    struct Row {
        int format;
        double width, height, picture;
    } rows[] = {{1, 720, 486, 1.3333333333}, {2, 640, 480, 1.3333333333},   {3, 570, 486, 1.3333333333},
                {4, 720, 576, 1.3333333333}, {5, 1920, 1080, 1.7777777777}, {6, 640, 480, 1.3333333333},
                {7, 320, 200, 1.3333333333}, {8, 320, 240, 1.3333333333},   {10, 1280, 1024, 1.3333333333}};
    for (const Row& row : rows) {
        for (int mode = 0; mode <= 4; ++mode) {
            SCOPED_TRACE("format " + std::to_string(row.format) + " mode " + std::to_string(mode));
            VOxaCamera camera(&mManager);
            camera.GetProperties()->SetResolutionMode((VOxaCamera::ECameraAspectRatioMode)mode);
            camera.SetFormat((VOxaCamera::ECameraFormat)row.format);
            const double ratio = row.picture / (row.width / row.height);
            EXPECT_EQ(camera.GetFormat(), row.format);
            EXPECT_DOUBLE_EQ(camera.GetPixelAspectRatio(), ratio);
            switch (mode) {
                case 1:
                    EXPECT_EQ(camera.GetAspectMode(), 1);
                    EXPECT_DOUBLE_EQ(camera.GetAspectWidth(), row.width / row.height * ratio);
                    EXPECT_DOUBLE_EQ(camera.GetAspectWidth(), row.picture);
                    EXPECT_EQ(camera.GetAspectHeight(), 1.0);
                    break;
                case 3:
                    EXPECT_EQ(camera.GetAspectMode(), 3);
                    EXPECT_EQ(camera.GetAspectWidth(), row.width);
                    EXPECT_DOUBLE_EQ(camera.GetAspectHeight(), row.height / row.width);
                    break;
                case 4:
                    EXPECT_EQ(camera.GetAspectMode(), 4);
                    EXPECT_DOUBLE_EQ(camera.GetAspectWidth(), row.width / row.height);
                    EXPECT_EQ(camera.GetAspectHeight(), row.height);
                    break;
                default:
                    EXPECT_EQ(camera.GetAspectMode(), 2) << "window size and fixed resolution end fixed";
                    EXPECT_EQ(camera.GetAspectWidth(), row.width);
                    EXPECT_EQ(camera.GetAspectHeight(), row.height);
                    break;
            }
        }
    }
    // Formats without a row make the format custom and change nothing else.
    for (int format : {0, 9, -1, 11, 1 << 30}) {
        VOxaCamera camera(&mManager);
        camera.SetFormat(VOxaCamera::eHD);
        const double w = camera.GetAspectWidth(), ratio = camera.GetPixelAspectRatio();
        camera.SetFormat((VOxaCamera::ECameraFormat)format);
        EXPECT_EQ(camera.GetFormat(), 0) << format;
        EXPECT_EQ(camera.GetAspectWidth(), w) << format;
        EXPECT_EQ(camera.GetPixelAspectRatio(), ratio) << format;
        EXPECT_EQ(camera.GetAspectMode(), 2) << format;
    }
}

TEST_F(attributes_Camera, AspectAndPixelRatioRules) {
    VOxaCamera camera(&mManager);
    struct Case {
        int mode;
        double w, h, expectW, expectH;
    } cases[] = {
        {0, -5.0, 0.0, -5.0, 0.0},  {1, 0.0, 7.0, 0.001, 1.0},   {1, 2.5, 7.0, 2.5, 1.0},
        {2, 0.5, kNaN, 1.0, 1.0},   {2, 640, 480, 640, 480},     {3, kNaN, 0.0, 1.0, 0.001},
        {4, -1.0, 0.5, 0.001, 1.0}, {4, 3.0, 200.0, 3.0, 200.0},
    };
    for (const Case& c : cases) {
        camera.SetFormat(VOxaCamera::eNTSC);
        camera.SetAspect((VOxaCamera::ECameraAspectRatioMode)c.mode, c.w, c.h);
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        EXPECT_EQ(camera.GetAspectWidth(), c.expectW);
        EXPECT_EQ(camera.GetAspectHeight(), c.expectH);
        EXPECT_EQ(camera.GetAspectMode(), c.mode);
        EXPECT_EQ(camera.GetFormat(), 0) << "the format becomes custom";
    }
    // An unknown mode stores no size but is kept, as a reader gave it.
    camera.SetAspect((VOxaCamera::ECameraAspectRatioMode)77, 9.0, 9.0);
    EXPECT_EQ(camera.GetAspectWidth(), 3.0);
    EXPECT_EQ((int)camera.GetAspectMode(), 77);

    // The current pixel ratio changes nothing, not even the format.
    camera.SetFormat(VOxaCamera::eHD);
    camera.SetPixelAspectRatio(camera.GetPixelAspectRatio());
    EXPECT_EQ(camera.GetFormat(), VOxaCamera::eHD);
    struct {
        double in, out;
    } ratios[] = {{0.01, 0.05}, {25.0, 20.0}, {2.0, 2.0}, {kNaN, 0.05}, {kInf, 20.0}, {-kInf, 0.05}};
    for (auto& r : ratios) {
        camera.SetFormat(VOxaCamera::eHD);
        camera.SetPixelAspectRatio(r.in);
        EXPECT_EQ(camera.GetPixelAspectRatio(), r.out) << r.in;
        EXPECT_EQ(camera.GetFormat(), 0) << r.in;
    }
    EXPECT_DOUBLE_EQ(VOxaCamera::ComputePixelAspectRatio(0, 0, 1.5), 1.5) << "0 counts as 1";
    EXPECT_DOUBLE_EQ(VOxaCamera::ComputePixelAspectRatio(4, 0, 2.0), 0.5);
}

TEST_F(attributes_Camera, FilmAndApertureRules) {
    VOxaCamera camera(&mManager);
    const double rows[12][3] = {{0, 0, 0},         {0.404, 0.295, 1}, {0.493, 0.292, 1}, {0.864, 0.63, 1},
                                {0.816, 0.612, 1}, {0.98, 0.735, 1},  {0.825, 0.446, 1}, {0.864, 0.732, 2},
                                {2.066, 0.906, 1}, {1.485, 0.991, 1}, {2.08, 1.48, 1},   {2.772, 2.072, 1}};
    for (int i = 1; i <= 11; ++i) {
        camera.SetApertureFormat((VOxaCamera::ECameraApertureFormat)i);
        EXPECT_EQ(camera.GetApertureFormat(), i);
        EXPECT_EQ(camera.GetFilmWidth(), rows[i][0]) << i;
        EXPECT_EQ(camera.GetFilmHeight(), rows[i][1]) << i;
        EXPECT_EQ(camera.GetFilmSqueezeRatio(), rows[i][2]) << i;
        EXPECT_EQ(Property(camera, "FilmAspectRatio"), rows[i][0] / rows[i][1]) << i;
    }
    // Unknown formats make the film custom and keep the size.
    for (int index : {0, 12, -3}) {
        camera.SetApertureFormat((VOxaCamera::ECameraApertureFormat)index);
        EXPECT_EQ(camera.GetApertureFormat(), 0);
        EXPECT_EQ(camera.GetFilmWidth(), 2.772);
    }

    camera.SetApertureFormat(VOxaCamera::e35MM_ACADEMY);
    camera.SetFilmWidth(0.864);
    EXPECT_EQ(camera.GetApertureFormat(), VOxaCamera::e35MM_ACADEMY) << "the current width changes nothing";
    camera.SetFilmWidth(0.0);
    EXPECT_EQ(camera.GetFilmWidth(), 0.0001);
    EXPECT_EQ(camera.GetApertureFormat(), 0);
    EXPECT_EQ(Property(camera, "FilmAspectRatio"), 0.0001 / 0.63);
    for (double bad : {kNaN, kInf, -kInf, -1.0}) {
        camera.SetFilmSqueezeRatio(bad);
        EXPECT_EQ(camera.GetFilmSqueezeRatio(), 0.0001) << bad;
        camera.SetFilmSqueezeRatio(1.0);
    }
}

TEST_F(attributes_Camera, NearAndFarPlanes) {
    VOxaCamera camera(&mManager);
    camera.SetNearPlane(5000.0);
    EXPECT_EQ(camera.GetNearPlane(), 5000.0);
    EXPECT_EQ(camera.GetFarPlane(), 5000.0) << "the far plane follows a farther near plane";
    camera.Reset();
    camera.SetFarPlane(5.0);
    EXPECT_EQ(camera.GetFarPlane(), 5.0);
    EXPECT_EQ(camera.GetNearPlane(), 5.0) << "the near plane follows a nearer far plane";
    camera.Reset();
    camera.SetNearPlane(0.0);
    EXPECT_EQ(camera.GetNearPlane(), 0.001);
    camera.SetFarPlane(1.0e9);
    EXPECT_EQ(camera.GetFarPlane(), 600000.0);
    EXPECT_EQ(camera.GetNearPlane(), 0.001);

    // Any value, a file's NaN included, ends inside [0.001, 600000] with near <= far.
    const double values[] = {kNaN, kInf, -kInf, -1.0, 0.5, 7.0, 1.0e12};
    for (double n : values) {
        for (double f : values) {
            camera.Reset();
            camera.SetNearPlane(n);
            camera.SetFarPlane(f);
            double nearPlane = camera.GetNearPlane(), farPlane = camera.GetFarPlane();
            EXPECT_TRUE(nearPlane >= 0.001 && nearPlane <= farPlane && farPlane <= 600000.0)
                << "near " << n << " far " << f << " gave " << nearPlane << ", " << farPlane;
        }
    }
    // A stored far plane that is NaN (set by name) is repaired by the next near plane.
    camera.GetProperties()->SetFarPlane(kNaN);
    camera.SetNearPlane(3.0);
    EXPECT_EQ(camera.GetFarPlane(), 3.0);
}

TEST_F(attributes_Camera, ChannelsInEveryTakeLinkedOnlyOnDefault) {
    VOxaNode* node = mManager.CreateNode("Cam");
    ASSERT_NE(node->AddTakeNode("Walk"), nullptr);
    node->GetTakeNode(0)->SetName("dEfAuLt");  // the default take is found in any case
    VOxaCamera* camera = mManager.CreateCamera();
    const VOxaColor held(0.2, 0.4, 0.6, 1.0);
    camera->SetBackgroundColor(held);
    node->SetNodeAttribute(camera);
    EXPECT_EQ(node->GetCamera(), camera);
    EXPECT_EQ(node->GetCameraSwitcher(), nullptr);
    EXPECT_EQ(camera->GetProperties()->GetOwner(), node);

    for (int t = 0; t < 2; ++t) {
        VOxaTakeNode* take = node->GetTakeNode(t);
        SCOPED_TRACE(take->GetName());
        ASSERT_NE(take->GetCameraFieldOfView(), nullptr);
        EXPECT_FLOAT_EQ(take->GetCameraFieldOfView()->GetDefaultValue(), 25.115f);
        EXPECT_FLOAT_EQ(take->GetCameraFieldOfViewX()->GetDefaultValue(), 40.0f);
        EXPECT_FLOAT_EQ(take->GetCameraFieldOfViewY()->GetDefaultValue(), 40.0f);
        EXPECT_EQ(take->GetCameraOpticalCenterX()->GetDefaultValue(), 0.0f);
        EXPECT_EQ(take->GetCameraRoll()->GetDefaultValue(), 0.0f);
        EXPECT_EQ(take->GetCameraTurnTable()->GetDefaultValue(), 0.0f);
        // Background colour curves take the colour held before attaching.
        EXPECT_FLOAT_EQ(take->GetCameraBackgroundColorR()->GetDefaultValue(), 0.2f);
        EXPECT_FLOAT_EQ(take->GetCameraBackgroundColorG()->GetDefaultValue(), 0.4f);
        EXPECT_FLOAT_EQ(take->GetCameraBackgroundColorB()->GetDefaultValue(), 0.6f);
        EXPECT_FLOAT_EQ(take->GetCameraRoll()->GetColor()[2], 0.4f);
        EXPECT_EQ(take->GetVFCurveNode()->Find("Motion Blur Intensity"), -1);
    }
    EXPECT_EQ(CameraLinks(node, camera), 10)
        << "seven channels and three colour components, default take only";
    // The properties followed the curves of the default take, except the colour kept exactly.
    EXPECT_FLOAT_EQ((float)Property(*camera, "FieldOfView"), 25.115f);
    EXPECT_EQ(Property(*camera, "FieldOfViewX"), 40.0);
    EXPECT_EQ(camera->GetBackgroundColor(), held);

    // A linked curve drives its property; the other take's curve does not.
    node->GetTakeNode(0)->GetCameraFieldOfViewX()->SetDefaultValue(12.5f);
    EXPECT_EQ(Property(*camera, "FieldOfViewX"), 12.5);
    node->GetTakeNode(1)->GetCameraFieldOfViewX()->SetDefaultValue(99.0f);
    EXPECT_EQ(Property(*camera, "FieldOfViewX"), 12.5);

    // Collected properties follow the node's own.
    VArrayTemplate<VProperty*> all;
    node->FillPropertyArray(all);
    ASSERT_GE(all.GetCount(), 65);
    EXPECT_STREQ(all[all.GetCount() - 65]->GetName(), "Roll");
    EXPECT_STREQ(all[all.GetCount() - 1]->GetName(), "FrameSamplingCount");

    // Detaching removes the channels from every take, and the links with them.
    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(camera->GetNode(), nullptr);
    EXPECT_EQ(CameraLinks(node, camera), 0);
    for (int t = 0; t < 2; ++t) {
        VFCurveNode* root = node->GetTakeNode(t)->GetVFCurveNode();
        for (const char* name : {"FieldOfView", "FieldOfViewX", "FieldOfViewY", "OpticalCenterX",
                                 "OpticalCenterY", "Roll", "TurnTable", "BackgroundColor"})
            EXPECT_EQ(root->Find(name), -1) << name;
        EXPECT_GE(root->Find("Transform"), 0) << "the node's own channels stay";
    }
    EXPECT_EQ(camera->GetProperties()->GetOwner(), nullptr);
    node->GetTakeNode(0)->SetName("Default");
    mManager.DestroyNodeAttribute(camera);
}

TEST_F(attributes_Camera, DefaultValuesReachOnlyWhatExists) {
    // Detached: the properties alone.
    VOxaCamera* camera = mManager.CreateCamera();
    camera->SetDefaultFieldOfView(33.3);
    camera->SetDefaultRoll(12.0);
    camera->SetDefaultOpticalCenterY(-2.0);
    EXPECT_EQ(camera->GetDefaultFieldOfView(), 33.3);
    EXPECT_EQ(camera->GetRoll(), 12.0);
    EXPECT_EQ(camera->GetDefaultOpticalCenterY(), -2.0);
    camera->SetPosition(VgeTVector(1.0, 2.0, 3.0, 1.0));  // no node: nothing

    // Attached: curve and property; the property keeps the double given.
    VOxaNode* node = mManager.CreateNode("Cam");
    node->SetNodeAttribute(camera);
    VOxaTakeNode* take = node->GetDefaultTakeNode();
    camera->SetDefaultFieldOfView(33.3);
    EXPECT_EQ(take->GetCameraFieldOfView()->GetDefaultValue(), 33.3f);
    EXPECT_EQ(Property(*camera, "FieldOfView"), 33.3);
    EXPECT_EQ(camera->GetDefaultFieldOfView(), (double)33.3f) << "the default take's curve is read";
    camera->SetTurnTable(7.0);
    EXPECT_EQ(take->GetCameraTurnTable()->GetDefaultValue(), 7.0f);
    EXPECT_EQ(camera->GetTurnTable(), 7.0);
    camera->SetDefaultBackgroundColor(VOxaColor(1.0, 0.5, 0.25, 0.0));
    EXPECT_EQ(take->GetCameraBackgroundColorG()->GetDefaultValue(), 0.5f);
    VOxaColor c = camera->GetDefaultBackgroundColor();
    EXPECT_EQ(c.mBlue, 0.25);
    EXPECT_EQ(c.mAlpha, 1.0);
    camera->SetPosition(VgeTVector(1.0, 2.0, 3.0, 1.0));
    EXPECT_EQ(camera->GetPosition()[1], 2.0);

    // A channel deleted by someone else: the getter falls back to the property, the setter
    // writes the property only (no crash, no new curve).
    VFCurveNode* root = take->GetVFCurveNode();
    root->Delete(root->Find("FieldOfViewY"));
    root->Delete(root->Find("BackgroundColor"));
    camera->SetDefaultFieldOfViewY(8.0);
    EXPECT_EQ(root->Find("FieldOfViewY"), -1);
    EXPECT_EQ(camera->GetDefaultFieldOfViewY(), 8.0);
    camera->SetDefaultBackgroundColor(VOxaColor(0.1, 0.2, 0.3, 1.0));
    EXPECT_EQ(camera->GetDefaultBackgroundColor().mGreen, 0.2);
    EXPECT_EQ(root->Find("BackgroundColor"), -1);

    mManager.DestroyNode(node, true);
    EXPECT_EQ(mManager.GetNodeAttributeCount(), 0) << "the camera went with its node";
}

TEST_F(attributes_Camera, AssignmentLeavesTheListedValuesAlone) {
    VOxaCamera source(&mManager);
    VOxaCamera target(&mManager);
    VOxaCameraProperties& s = *source.GetProperties();
    source.SetFormat(VOxaCamera::eHD);
    source.SetFarPlane(90.0);
    source.SetApertureFormat(VOxaCamera::eIMAX);
    source.SetRoll(15.0);
    source.SetBackgroundMediaName("clip");
    source.SetBackgroundColor(VOxaColor(0.1, 0.2, 0.3, 1.0));
    source.SetFrameColor(VOxaColor(0.9, 0.8, 0.7, 0.5));
    source.SetAntialiasingMethod(3);
    // Values that are not copied.
    source.SetDefaultFieldOfView(70.0);
    source.SetDefaultOpticalCenterX(4.0);
    s.FindProperty("Motion Blur Intensity")->SetDouble(0.5);
    s.FindProperty("2D Magnifier X")->SetDouble(1.0);
    s.SetViewCameraToLookAt(false);
    s.SetLockInterestNavigation(true);
    s.SetDisplayTurnTableIcon(false);
    s.SetShowOpticalCenter(true);
    s.SetSafeAreaAspectRatio(2.0);
    s.SetFilmAspectRatio(123.0);

    target = source;
    const VOxaCameraProperties& t = *target.GetProperties();
    EXPECT_EQ(target.GetFormat(), VOxaCamera::eHD);
    EXPECT_EQ(target.GetPixelAspectRatio(), source.GetPixelAspectRatio());
    EXPECT_EQ(target.GetFarPlane(), 90.0);
    EXPECT_EQ(target.GetFilmWidth(), 2.772);
    EXPECT_EQ(target.GetRoll(), 15.0);
    EXPECT_STREQ(target.GetBackgroundMediaName(), "clip");
    EXPECT_EQ(target.GetBackgroundColor(), VOxaColor(0.1, 0.2, 0.3, 1.0));
    EXPECT_EQ(target.GetFrameColor(), VOxaColor(0.9, 0.8, 0.7, 0.5));
    EXPECT_EQ(target.GetAntialiasingMethod(), 3);

    EXPECT_EQ(Property(target, "FieldOfView"), 40.0);
    EXPECT_EQ(Property(target, "OpticalCenterX"), 0.0);
    EXPECT_EQ(Property(target, "Motion Blur Intensity"), 1.0);
    EXPECT_EQ(Property(target, "2D Magnifier X"), 50.0);
    EXPECT_TRUE(t.GetViewCameraToLookAt());
    EXPECT_FALSE(t.GetLockInterestNavigation());
    EXPECT_TRUE(t.GetDisplayTurnTableIcon());
    EXPECT_FALSE(t.GetShowOpticalCenter());
    EXPECT_EQ(t.GetSafeAreaAspectRatio(), 1.33333333333333);
    EXPECT_EQ(t.GetFilmAspectRatio(), 0.816 / 0.612);
}

TEST_F(attributes_Camera, BackgroundVideo) {
    VOxaCamera* camera = Attached("Cam");
    // The video's block becomes a source of the node's block, once.
    VOxaNode* node = camera->GetNode();
    VOxaVideo* video = mManager.CreateVideo("clip");
    VPlug* destination = node->GetPropertyHandler();
    int sources = destination->GetSrcCount();
    camera->ConnectBackgroundVideo(video);
    camera->ConnectBackgroundVideo(video);
    EXPECT_EQ(destination->GetSrcCount(), sources + 1);
    EXPECT_TRUE(destination->IsConnectedSrc(video->GetPropertyHandler()));
    camera->ConnectBackgroundVideo(nullptr);
    EXPECT_EQ(destination->GetSrcCount(), sources + 1);
}

}  // namespace
