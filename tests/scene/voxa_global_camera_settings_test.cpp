#include "scene/voxa_global_camera_settings.h"

#include <gtest/gtest.h>

#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_camera_switcher.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// The focal length that gives an angle of view of `degrees` over the default film (vertical
// aperture, 0.612 inch).
double FocalFor(double degrees) {
    return 0.612 * 25.4 / (2.0 * std::tan(degrees / 2.0 * 3.14159265358979323846 / 180.0));
}

}  // namespace

TEST(scene_GlobalCameraSettings, ProducerDefaults) {
    VOxaSdkManager manager;
    VOxaGlobalCameraSettings settings(&manager, nullptr);
    EXPECT_STREQ(settings.GetDefaultCamera(), "Producer Perspective");
    EXPECT_EQ(settings.GetDefaultViewingMode(), 0);
    EXPECT_EQ(manager.GetNodeCount(), 7);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 7);

    struct {
        VOxaCamera* camera;
        VOxaNode* node;
        const char* name;
        int projection;
        double nearPlane, farPlane;
        double position[3];
        double up[3];
    } rows[] = {
        {settings.GetProducerPerspectiveCamera(),
         settings.GetProducerPerspectiveNode(),
         "Model::Producer Perspective",
         0,
         10.0,
         4000.0,
         {0, 71.3, 287.5},
         {0, 1, 0}},
        {settings.GetProducerTopCamera(),
         settings.GetProducerTopNode(),
         "Model::Producer Top",
         1,
         1.0,
         30000.0,
         {0, 4000, 0},
         {0, 0, -1}},
        {settings.GetProducerBottomCamera(),
         settings.GetProducerBottomNode(),
         "Model::Producer Bottom",
         1,
         1.0,
         30000.0,
         {0, -4000, 0},
         {0, 0, -1}},
        {settings.GetProducerFrontCamera(),
         settings.GetProducerFrontNode(),
         "Model::Producer Front",
         1,
         1.0,
         30000.0,
         {0, 0, 4000},
         {0, 1, 0}},
        {settings.GetProducerBackCamera(),
         settings.GetProducerBackNode(),
         "Model::Producer Back",
         1,
         1.0,
         30000.0,
         {0, 0, -4000},
         {0, 1, 0}},
        {settings.GetProducerRightCamera(),
         settings.GetProducerRightNode(),
         "Model::Producer Right",
         1,
         1.0,
         30000.0,
         {4000, 0, 0},
         {0, 1, 0}},
        {settings.GetProducerLeftCamera(),
         settings.GetProducerLeftNode(),
         "Model::Producer Left",
         1,
         1.0,
         30000.0,
         {-4000, 0, 0},
         {0, 1, 0}},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_NE(r.camera, nullptr);
        ASSERT_NE(r.node, nullptr);
        EXPECT_STREQ(r.node->GetName(), r.name);
        EXPECT_EQ(r.node->GetCamera(), r.camera);
        EXPECT_FALSE(r.node->GetVisibility());
        EXPECT_EQ(r.camera->GetProjectionType(), r.projection);
        EXPECT_EQ(r.camera->GetNearPlane(), r.nearPlane);
        EXPECT_EQ(r.camera->GetFarPlane(), r.farPlane);
        EXPECT_NEAR(r.camera->GetFocalLength(), FocalFor(40.0), 1e-9);
        VgeTVector position = r.camera->GetPosition();
        VgeTVector up = r.camera->GetUpVector();
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(position[k], r.position[k]) << k;
            EXPECT_EQ(up[k], r.up[k]) << k;
        }
    }

    // Restore brings back what was changed.
    VOxaCamera* top = settings.GetProducerTopCamera();
    top->SetFarPlane(5.0);
    top->SetPosition(VgeTVector(1, 2, 3, 1));
    settings.SetDefaultViewingMode(4);
    settings.RestoreDefaultSettings();
    EXPECT_EQ(top->GetFarPlane(), 30000.0);
    EXPECT_EQ(top->GetPosition()[1], 4000.0);
    EXPECT_EQ(settings.GetDefaultViewingMode(), 0);
}

TEST(scene_GlobalCameraSettings, NamesCopiesAndTeardown) {
    EXPECT_TRUE(VOxaGlobalCameraSettings::IsProducerCamera("Producer Front"));
    EXPECT_TRUE(VOxaGlobalCameraSettings::IsProducerCamera("Camera Switcher"));
    EXPECT_FALSE(VOxaGlobalCameraSettings::IsProducerCamera("producer top")) << "exact comparison";
    EXPECT_FALSE(VOxaGlobalCameraSettings::IsProducerCamera("Producer Top "));
    EXPECT_FALSE(VOxaGlobalCameraSettings::IsProducerCamera("Model::Producer Top"));
    EXPECT_FALSE(VOxaGlobalCameraSettings::IsProducerCamera(nullptr));

    VOxaSdkManager manager;
    {
        VOxaGlobalCameraSettings settings(&manager, nullptr);
        VOxaCamera* source = manager.CreateCamera();
        source->SetNearPlane(77.0);
        source->SetFormat(VOxaCamera::ePAL);
        VOxaCamera* right = settings.GetProducerRightCamera();
        settings.CopyProducerCamera("", source);
        settings.CopyProducerCamera("Producer Right", nullptr);
        settings.CopyProducerCamera("producer right", source);
        EXPECT_EQ(right->GetNearPlane(), 1.0) << "empty name, null camera and other names change nothing";
        settings.CopyProducerCamera("Producer Right", source);
        EXPECT_EQ(right->GetNearPlane(), 77.0);
        EXPECT_EQ(right->GetFormat(), VOxaCamera::ePAL);

        VOxaGlobalCameraSettings other(&manager, nullptr);
        other.SetDefaultViewingMode(3);
        other.GetProducerBackCamera()->SetFarPlane(12.0);
        settings = other;
        EXPECT_EQ(settings.GetDefaultViewingMode(), 3);
        EXPECT_EQ(settings.GetProducerBackCamera()->GetFarPlane(), 12.0);
        manager.DestroyNodeAttribute(source);
    }
    EXPECT_EQ(manager.GetNodeCount(), 0) << "the producer nodes go with the settings";
    EXPECT_EQ(manager.GetNodeAttributeCount(), 0) << "and their cameras with them";

    // A camera taken off its node still goes with the settings, on its own.
    {
        VOxaGlobalCameraSettings settings(&manager, nullptr);
        VOxaNode* left = settings.GetProducerLeftNode();
        EXPECT_EQ(left->SetNodeAttribute(nullptr), settings.GetProducerLeftCamera());
        EXPECT_EQ(manager.GetNodeAttributeCount(), 7);
    }
    EXPECT_EQ(manager.GetNodeCount(), 0);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 0) << "the detached camera too";
}

TEST(scene_GlobalCameraSettings, SceneSwitcherAndClear) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* switcherNode = scene->GetCameraSwitcher();
    ASSERT_NE(switcherNode, nullptr);
    VOxaCameraSwitcher* switcher = switcherNode->GetCameraSwitcher();
    ASSERT_NE(switcher, nullptr) << "the scene's switcher node carries a switcher";
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 1);
    VOxaGlobalCameraSettings& settings = scene->GetGlobalCameraSettings();
    ASSERT_NE(settings.GetProducerPerspectiveCamera(), nullptr);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 8) << "the switcher and seven producer cameras";

    ASSERT_TRUE(scene->CreateTake("Walk"));
    ASSERT_NE(switcherNode->GetTakeNode(1)->GetCameraIndex(), nullptr) << "a new take copies the channel";
    switcher->SetDefaultCameraIndex(6);
    settings.GetProducerPerspectiveCamera()->SetNearPlane(99.0);
    settings.SetDefaultViewingMode(2);
    scene->Clear();
    EXPECT_EQ(switcherNode->GetCameraSwitcher(), switcher);
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 0);
    EXPECT_EQ(switcherNode->GetTakeNodeCount(), 1);
    EXPECT_EQ(settings.GetProducerPerspectiveCamera()->GetNearPlane(), 10.0);
    EXPECT_EQ(settings.GetDefaultViewingMode(), 0);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 8) << "clearing keeps the producers";

    EXPECT_TRUE(manager.DestroyScene(scene, true));
    EXPECT_EQ(manager.GetNodeCount(), 0);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 0) << "switcher and producer cameras are gone";
}

// Settings made without a manager have no cameras: copying from or into them copies the
// viewing settings and leaves the cameras alone.
TEST(scene_GlobalCameraSettings, CopiesWithAndWithoutCameras) {
    VOxaSdkManager manager;
    VOxaGlobalCameraSettings withCameras(&manager, nullptr);
    VOxaGlobalCameraSettings without(nullptr, nullptr);
    EXPECT_EQ(without.GetProducerTopCamera(), nullptr);
    withCameras.SetDefaultViewingMode(5);
    without = withCameras;
    EXPECT_EQ(without.GetDefaultViewingMode(), 5);
    EXPECT_EQ(without.GetProducerTopCamera(), nullptr);
    without.SetDefaultViewingMode(1);
    withCameras = without;
    EXPECT_EQ(withCameras.GetDefaultViewingMode(), 1);
    EXPECT_EQ(withCameras.GetProducerTopCamera()->GetFarPlane(), 30000.0);
    without.RestoreDefaultSettings();
    EXPECT_EQ(without.GetDefaultViewingMode(), 0);
}

// A restore skips a camera that still holds what the last restore left; every kind of change must
// still bring the full reset back, also one made without any event.
TEST(scene_GlobalCameraSettings, RestoreSeesEveryChange) {
    VOxaSdkManager manager;
    VOxaGlobalCameraSettings settings(&manager, nullptr);
    VOxaCamera* front = settings.GetProducerFrontCamera();
    VOxaCamera* perspective = settings.GetProducerPerspectiveCamera();
    VOxaNode* topNode = settings.GetProducerTopNode();
    // A current take other than the default one follows the reset position.
    ASSERT_NE(topNode->AddTakeNode("Walk"), nullptr);
    ASSERT_TRUE(topNode->SetCurrentTakeNode("Walk"));
    VFCurve* walkX = topNode->GetTakeNode(1)->GetVFCurveNode()->FindChild("T/X")->FCurveGet();
    ASSERT_NE(walkX, nullptr);
    walkX->SetDefaultValue(9.0f);
    settings.RestoreDefaultSettings();
    EXPECT_EQ(walkX->GetDefaultValue(), 0.0f);
    EXPECT_EQ(front->GetAspectWidth(), 320.0);

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // Changes that send no event: a curve of the current take, a stored property, a setting
        // of the camera itself, a zero that differs by its sign only.
        walkX->SetDefaultValue(9.0f);
        front->GetProperties()->SetAspectW(1.0);
        front->SetShowAudio(true);
        perspective->SetPosition(VgeTVector(-0.0, 71.3, 287.5, 1.0));
        ASSERT_TRUE(std::signbit(perspective->GetPosition()[0]));
        settings.RestoreDefaultSettings();
        EXPECT_EQ(walkX->GetDefaultValue(), 0.0f);
        EXPECT_EQ(front->GetAspectWidth(), 320.0);
        EXPECT_FALSE(front->GetShowAudio());
        EXPECT_FALSE(std::signbit(perspective->GetPosition()[0]));
        EXPECT_EQ(perspective->GetPosition()[2], 287.5);
        EXPECT_EQ(settings.GetProducerTopCamera()->GetPosition()[1], 4000.0);
    }
}

// Changes through the generic property interface, on the node, and a camera moved to another
// node, are all undone by the next restore after one that had nothing to do.
TEST(scene_GlobalCameraSettings, RestoreAfterIdleRestoreSeesPropertyAndNodeChanges) {
    VOxaSdkManager manager;
    VOxaGlobalCameraSettings settings(&manager, nullptr);
    settings.RestoreDefaultSettings();  // nothing changed: nothing to do
    VOxaCamera* back = settings.GetProducerBackCamera();
    VOxaNode* backNode = settings.GetProducerBackNode();

    VProperty* fieldOfView = back->GetProperties()->FindProperty("FieldOfView");
    ASSERT_NE(fieldOfView, nullptr);
    ASSERT_TRUE(fieldOfView->SetDouble(12.0));
    VProperty* translation = backNode->GetPropertyHandler()->FindProperty("Lcl Translation");
    ASSERT_NE(translation, nullptr);
    const double moved[4] = {1.0, 2.0, 3.0, 1.0};
    ASSERT_TRUE(translation->SetValue(moved));
    settings.RestoreDefaultSettings();
    EXPECT_EQ(fieldOfView->GetDouble(), 40.0);
    EXPECT_EQ(back->GetPosition()[2], -4000.0);
    EXPECT_EQ(back->GetPosition()[0], 0.0);

    // Each component of the interest position counts.
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        VgeTVector interest(0.0, 0.0, 0.0, 1.0);
        interest[k] = 5.0;
        back->SetInterestPosition(interest);
        settings.RestoreDefaultSettings();
        EXPECT_EQ(back->GetInterestPosition()[k], 0.0);
    }

    // The camera's own texts count too, each by itself.
    back->SetBackgroundFileName("background_one.png");
    settings.RestoreDefaultSettings();
    EXPECT_EQ(back->GetBackgroundFileName(), nullptr);
    back->SetBackgroundFileName("background_one.png");
    settings.RestoreDefaultSettings();
    back->SetBackgroundMediaName("background_one.png");
    settings.RestoreDefaultSettings();
    EXPECT_EQ(back->GetBackgroundMediaName(), nullptr);

    // The camera on a node of its own: the restore places that node.
    VOxaNode* other = manager.CreateNode("Elsewhere");
    other->SetNodeAttribute(back);
    ASSERT_EQ(back->GetNode(), other);
    settings.RestoreDefaultSettings();
    EXPECT_EQ(back->GetPosition()[2], -4000.0);
    VgeTVector otherPosition;
    EXPECT_EQ(other->GetLclTranslation(otherPosition)[2], -4000.0);

    // A take added since the last restore is no change by itself; its curves are.
    VOxaNode* rightNode = settings.GetProducerRightNode();
    ASSERT_NE(rightNode->AddTakeNode("Run"), nullptr);
    settings.RestoreDefaultSettings();
    VFCurve* runX = rightNode->GetTakeNode(1)->GetVFCurveNode()->FindChild("T/X")->FCurveGet();
    ASSERT_NE(runX, nullptr);
    EXPECT_EQ(runX->GetDefaultValue(), 4000.0f);
    ASSERT_TRUE(rightNode->SetCurrentTakeNode("Run"));
    runX->SetDefaultValue(5.0f);
    settings.RestoreDefaultSettings();
    EXPECT_EQ(runX->GetDefaultValue(), 4000.0f);
}
