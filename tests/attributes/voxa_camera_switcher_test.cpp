#include "attributes/voxa_camera_switcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(attributes_CameraSwitcher, IndexChannelInEveryTake) {
    VOxaSdkManager manager;
    VOxaCameraSwitcher* switcher = manager.CreateCameraSwitcher();
    ASSERT_NE(switcher, nullptr);
    EXPECT_EQ(manager.GetNodeAttributeCount(), 1);
    EXPECT_EQ(switcher->GetAttributeType(), 8);
    EXPECT_STREQ(switcher->GetTypeName().Buffer(), "");
    EXPECT_EQ(switcher->GetTypeFlags().GetCount(), 0);

    // Detached: nothing to read or write.
    switcher->SetDefaultCameraIndex(5);
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 0);

    VOxaNode* node = manager.CreateNode("Camera Switcher");
    ASSERT_NE(node->AddTakeNode("Walk"), nullptr);
    int links = node->GetChannelLinkCount();
    node->SetNodeAttribute(switcher);
    EXPECT_EQ(node->GetCameraSwitcher(), switcher);
    EXPECT_EQ(node->GetCamera(), nullptr);
    EXPECT_EQ(node->GetChannelLinkCount(), links) << "the index is linked to no property";
    for (int t = 0; t < 2; ++t) {
        VFCurve* curve = node->GetTakeNode(t)->GetCameraIndex();
        ASSERT_NE(curve, nullptr) << t;
        EXPECT_EQ(curve->GetDefaultValue(), 1.0f) << t;
    }
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 1);
    VArrayTemplate<VProperty*> properties;
    switcher->CollectChannels(properties);
    EXPECT_EQ(properties.GetCount(), 0);

    // Set and read back; truncation toward zero; saturation for values beyond int.
    switcher->SetDefaultCameraIndex(3);
    EXPECT_EQ(node->GetDefaultTakeNode()->GetCameraIndex()->GetDefaultValue(), 3.0f);
    EXPECT_EQ(node->GetTakeNode(1)->GetCameraIndex()->GetDefaultValue(), 1.0f) << "only the default take";
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 3);
    VFCurve* curve = node->GetDefaultTakeNode()->GetCameraIndex();
    struct {
        float value;
        int index;
    } cases[] = {{2.9f, 2},
                 {-2.9f, -2},
                 {std::numeric_limits<float>::quiet_NaN(), 0},
                 {1.0e20f, std::numeric_limits<int>::max()},
                 {-1.0e20f, std::numeric_limits<int>::min()},
                 {std::numeric_limits<float>::infinity(), std::numeric_limits<int>::max()}};
    for (auto& c : cases) {
        curve->SetDefaultValue(c.value);
        EXPECT_EQ(switcher->GetDefaultCameraIndex(), c.index) << c.value;
    }

    // A channel removed by someone else is not recreated.
    VFCurveNode* root = node->GetDefaultTakeNode()->GetVFCurveNode();
    root->Delete(root->Find("Camera Index"));
    switcher->SetDefaultCameraIndex(4);
    EXPECT_EQ(root->Find("Camera Index"), -1);
    EXPECT_EQ(switcher->GetDefaultCameraIndex(), 0);

    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(node->GetTakeNode(1)->GetVFCurveNode()->Find("Camera Index"), -1) << "detaching removes it";
    EXPECT_TRUE(manager.DestroyNodeAttribute(switcher));
    EXPECT_EQ(manager.GetNodeAttributeCount(), 0);
}

TEST(attributes_CameraSwitcher, CameraNames) {
    VOxaSdkManager manager;
    VOxaCameraSwitcher a(&manager);
    VOxaCameraSwitcher b(&manager);
    a.AddCameraName("Cam1");
    a.AddCameraName("Cam2");
    const std::string longName(10000, 'n');
    b.AddCameraName(longName.c_str());
    a.CopyCameraNames(b);
    ASSERT_EQ(a.GetCameraNameCount(), 3);
    EXPECT_STREQ(a.GetCameraName(0), "Cam1");
    EXPECT_STREQ(a.GetCameraName(1), "Cam2");
    EXPECT_EQ(a.GetCameraName(2), longName);
    EXPECT_NE(a.GetCameraName(2), b.GetCameraName(0)) << "names are copies";
    EXPECT_EQ(a.GetCameraName(3), nullptr);
    EXPECT_EQ(a.GetCameraName(-1), nullptr);
    a.CopyCameraNames(a);
    ASSERT_EQ(a.GetCameraNameCount(), 6);
    EXPECT_STREQ(a.GetCameraName(3), "Cam1");
    a.AddCameraName(nullptr);
    EXPECT_STREQ(a.GetCameraName(6), "");
}
