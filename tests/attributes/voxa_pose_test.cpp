#include "attributes/voxa_pose.h"

#include <gtest/gtest.h>

#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

VMatrix Translation(double x) {
    VMatrix m;
    m[3][0] = x;
    return m;
}

}  // namespace

TEST(attributes_Pose, AddToleranceAndQueries) {
    VOxaSdkManager manager;
    VOxaPose* pose = manager.CreatePose("Bind", 1);
    ASSERT_NE(pose, nullptr);
    EXPECT_STREQ(pose->GetName(), "Pose::Bind");
    EXPECT_STREQ(pose->GetTypeName().Buffer(), "BindPose");
    EXPECT_EQ(pose->GetTakeNodeCount(), 0) << "a pose has no Default take";

    VMatrix m = Translation(1.0);
    EXPECT_EQ(pose->Add("A", m, false), 0);
    EXPECT_EQ(pose->Add("A", m, true), 0) << "the same matrix again";
    VMatrix close = m;
    close[2][1] += 1e-7;
    EXPECT_EQ(pose->Add("A", close, false), 0) << "within 1e-6";
    VMatrix far = m;
    far[2][1] += 1e-3;
    EXPECT_EQ(pose->Add("A", far, false), -1);
    EXPECT_EQ(pose->Add("a", far, true), 1) << "names compare with case";
    EXPECT_EQ(pose->Add(nullptr, m, false), -1);
    EXPECT_EQ(pose->GetCount(), 2);
    EXPECT_TRUE(pose->IsLocalMatrix(1));

    // Out of range: neutral answers.
    EXPECT_EQ(pose->GetMatrix(5), VMatrix());
    EXPECT_STREQ(pose->GetNodeName(-1), "");
    EXPECT_FALSE(pose->IsLocalMatrix(2));
    pose->Remove(7);
    EXPECT_EQ(pose->GetCount(), 2);

    pose->SetNodeName(0, "");
    pose->SetNodeName(0, nullptr);
    EXPECT_STREQ(pose->GetNodeName(0), "A");
    pose->SetNodeName(0, "B");
    EXPECT_EQ(pose->Find("B"), 0);
    EXPECT_EQ(pose->Find("A"), -1);
    pose->Remove(0);
    EXPECT_EQ(pose->Find("a"), 0) << "indices follow a removal";
    EXPECT_STREQ(pose->GetNodeName(0), "a");

    EXPECT_EQ(manager.GetPose("Pose::Bind"), pose);
    EXPECT_EQ(manager.GetPose("Bind"), nullptr);
}

TEST(attributes_Pose, BindPosesAgreeAcrossScenes) {
    VOxaSdkManager manager;
    VOxaScene* s1 = manager.CreateScene();
    VOxaScene* s2 = manager.CreateScene();
    VOxaPose* bind1 = manager.CreatePose("B1", 1);
    VOxaPose* bind2 = manager.CreatePose("B2", 1);
    VOxaPose* rest1 = manager.CreatePose("R1", 0);
    VOxaPose* rest2 = manager.CreatePose("R2", 0);
    EXPECT_STREQ(rest1->GetTypeName().Buffer(), "RestPose");
    s1->AddPose(bind1);
    s1->AddPose(rest1);
    s2->AddPose(rest2);
    s2->AddPose(bind2);

    EXPECT_EQ(bind1->Add("A", Translation(1), false), 0);
    EXPECT_EQ(bind2->Add("A", Translation(2), false), -1) << "another scene's bind pose holds A";
    EXPECT_EQ(bind2->Add("A", Translation(1), false), 0) << "the same matrix is fine";
    EXPECT_EQ(rest1->Add("A", Translation(3), false), 0) << "rest poses are not checked";
    EXPECT_EQ(rest2->Add("A", Translation(4), false), 0);

    VArrayTemplate<VOxaPose*> poses;
    VArrayTemplate<int> indices;
    EXPECT_TRUE(VOxaPose::GetBindPosesContaining(&manager, "A", poses, indices));
    ASSERT_EQ(poses.GetCount(), 2) << "rest poses skipped";
    EXPECT_EQ(poses[0], bind1);
    EXPECT_EQ(poses[1], bind2);
    EXPECT_EQ(indices[1], 0);
    poses.Clear();
    indices.Clear();
    EXPECT_TRUE(VOxaPose::GetPosesContaining(&manager, "A", poses, indices));
    ASSERT_EQ(poses.GetCount(), 4);
    EXPECT_EQ(poses[1], rest1) << "scene order, then pose order";
    EXPECT_EQ(poses[2], rest2);
    EXPECT_FALSE(VOxaPose::GetBindPosesContaining(&manager, "Z", poses, indices));

    // A destroyed pose leaves the scenes that list it.
    EXPECT_TRUE(manager.DestroyPose(bind1));
    EXPECT_EQ(s1->GetPoseCount(), 1);
    EXPECT_EQ(s1->GetPose(0), rest1);
    EXPECT_EQ(bind2->Add("A", Translation(9), false), -1) << "its own entry still disagrees";
}
