#include <gtest/gtest.h>

#include "attributes/voxa_geometry.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_shape.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// A matrix with translation (x, y, z) and uniform scale s, as a pose records it.
VMatrix Expected(double x, double y, double z, double s = 1.0) {
    VMatrix m;
    m[0][0] = m[1][1] = m[2][2] = s;
    m[3][0] = x, m[3][1] = y, m[3][2] = z;
    return m;
}

struct Rig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();

    // A node with a mesh under the root of the scene.
    VOxaNode* AddMeshNode(const char* name) {
        VOxaNode* node = manager.CreateNode(name);
        scene->GetRootNode()->AddChild(node);
        node->SetNodeAttribute(manager.CreateMesh());
        return node;
    }
    VOxaNode* AddBone(const char* name) {
        VOxaNode* node = manager.CreateNode(name);
        scene->GetRootNode()->AddChild(node);
        return node;
    }
    // A link to `bone` bound with Transform = translation t and TransformLink = translation l.
    VOxaLink* Bind(VOxaNode* meshNode, VOxaNode* bone, double t, double l) {
        VOxaLink* link = manager.CreateLink();
        link->SetLink(bone);
        link->SetTransformT(VgeTVector(t, 0, 0, 1));
        link->SetTransformLinkT(VgeTVector(0, l, 0, 1));
        meshNode->GetGeometry()->AddLink(link);
        return link;
    }
};

}  // namespace

TEST(scene_SdkManagerGeometry, GeometryTakesItsLinksAlong) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("M");
    node->SetNodeAttribute(manager.CreateMesh());
    node->GetGeometry()->AddLink(manager.CreateLink());
    node->GetGeometry()->AddShape(manager.CreateShape(), "Smile");
    EXPECT_EQ(manager.GetLinkCount(), 1);
    EXPECT_TRUE(manager.DestroyNode(node, true));
    EXPECT_EQ(manager.GetLinkCount(), 0);
    // What is left goes with the manager (checked by the address sanitizer).
    manager.CreateLink();
    manager.CreateShape();
    manager.CreatePose("P", 0);
    manager.CreateDeformer("D", "Cluster");
}

TEST(scene_SdkManagerGeometry, BindPoseFromLinks) {
    Rig rig;
    VOxaNode* body = rig.AddMeshNode("Body");
    VOxaNode* arm = rig.AddBone("Arm");
    VOxaNode* leg = rig.AddBone("Leg");
    rig.Bind(body, arm, 5, 1);
    rig.Bind(body, leg, 6, 2);
    // A second skin shares the arm at the same binding.
    VOxaNode* hand = rig.AddMeshNode("Hand");
    rig.Bind(hand, arm, 7, 1);
    // A mesh without links is not recorded.
    rig.AddMeshNode("Rock");

    rig.manager.CreateBindPoses(rig.scene);
    ASSERT_EQ(rig.scene->GetPoseCount(), 1);
    VOxaPose* pose = rig.scene->GetPose(0);
    EXPECT_STREQ(pose->GetName(), "Pose::OxaSDKBindPose");
    EXPECT_TRUE(pose->IsBindPose());
    ASSERT_EQ(pose->GetCount(), 4) << "Body, Arm, Leg, Hand";
    EXPECT_STREQ(pose->GetNodeName(0), "Body");
    EXPECT_EQ(pose->GetMatrix(0), Expected(5, 0, 0)) << "the first link's Transform";
    EXPECT_STREQ(pose->GetNodeName(1), "Arm");
    EXPECT_EQ(pose->GetMatrix(1), Expected(0, 1, 0)) << "the link's TransformLink";
    EXPECT_STREQ(pose->GetNodeName(2), "Leg");
    EXPECT_EQ(pose->GetMatrix(2), Expected(0, 2, 0));
    EXPECT_STREQ(pose->GetNodeName(3), "Hand");
    EXPECT_EQ(pose->GetMatrix(3), Expected(7, 0, 0));

    // Running again: the nodes belong to a bind pose not made by that run, so nothing new.
    rig.manager.CreateBindPoses(rig.scene);
    EXPECT_EQ(rig.scene->GetPoseCount(), 1);
    EXPECT_EQ(rig.manager.GetPoseCount(), 1);
}

TEST(scene_SdkManagerGeometry, BindPoseSkipsAndStops) {
    {
        // A node that a bind pose of the scene holds already keeps it.
        Rig rig;
        VOxaNode* body = rig.AddMeshNode("Body");
        rig.Bind(body, rig.AddBone("Arm"), 5, 1);
        VOxaPose* read = rig.manager.CreatePose("FromFile", 1);
        rig.scene->AddPose(read);
        ASSERT_EQ(read->Add("Body", Expected(5, 0, 0), false), 0);
        rig.manager.CreateBindPoses(rig.scene);
        EXPECT_EQ(rig.scene->GetPoseCount(), 1) << "no pose made for a skipped node";
    }
    {
        // Links bound at the identity with disagreeing geometry transforms stop everything.
        Rig rig;
        VOxaNode* body = rig.AddMeshNode("Body");
        rig.Bind(body, rig.AddBone("A"), 1, 0);
        rig.Bind(body, rig.AddBone("B"), 2, 0.4);
        rig.Bind(rig.AddMeshNode("Later"), rig.AddBone("C"), 1, 3);
        rig.manager.CreateBindPoses(rig.scene);
        EXPECT_EQ(rig.scene->GetPoseCount(), 0) << "the later node is not reached either";
    }
    {
        // Within 0.5 the geometry transforms agree: recorded.
        Rig rig;
        VOxaNode* body = rig.AddMeshNode("Body");
        rig.Bind(body, rig.AddBone("A"), 1, 0);
        rig.Bind(body, rig.AddBone("B"), 1.4, 0);
        rig.manager.CreateBindPoses(rig.scene);
        ASSERT_EQ(rig.scene->GetPoseCount(), 1);
        EXPECT_EQ(rig.scene->GetPose(0)->GetCount(), 3);
    }
}

TEST(scene_SdkManagerGeometry, DyingContentsReleaseGeometryAndShapes) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("M");
    scene->GetRootNode()->AddChild(node);
    node->SetNodeAttribute(manager.CreateMesh());
    VOxaGeometry* geometry = node->GetGeometry();
    VOxaShape* shape = manager.CreateShape();
    ASSERT_EQ(geometry->AddShape(shape, "Smile"), 0);
    ASSERT_EQ(geometry->GetSceneContents(), scene->GetContents());
    ASSERT_EQ(shape->GetSceneContents(), scene->GetContents());

    EXPECT_TRUE(manager.DestroyScene(scene, false));
    EXPECT_EQ(geometry->GetSceneContents(), nullptr);
    EXPECT_EQ(shape->GetSceneContents(), nullptr);
    EXPECT_TRUE(manager.DestroyNode(node, true)) << "detaching reaches no dead contents";
}
