// The limits adapter: per-kind switches and vectors over a node's limits and pivot set 0, and the
// limits derived from a node's rest pose.

#include <gtest/gtest.h>

#include <cmath>

#include "attributes/voxa_marker.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_skeleton.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_limits.h"
#include "scene/voxa_sdk_manager.h"

namespace {

class scene_LimitsAdapter : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }

    VOxaSdkManager* mManager = nullptr;
};

// Row-vector 3x3 rotations built here from axis turns (p' = p M; X turns first).
struct R3 {
    double m[3][3];
};

R3 Mul(const R3& a, const R3& b) {
    R3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

R3 Turn(int axis, double degrees) {
    double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    int u = (axis + 1) % 3, v = (axis + 2) % 3;
    R3 r{};
    r.m[axis][axis] = 1.0;
    r.m[u][u] = c;
    r.m[u][v] = s;
    r.m[v][u] = -s;
    r.m[v][v] = c;
    return r;
}

R3 XYZ(const VgeTVector& r) {
    return Mul(Mul(Turn(0, r[0]), Turn(1, r[1])), Turn(2, r[2]));
}

void Apply(double out[3], const double v[3], const R3& m) {
    for (int j = 0; j < 3; ++j)
        out[j] = v[0] * m.m[0][j] + v[1] * m.m[1][j] + v[2] * m.m[2][j];
}

void ExpectVector(const VgeTVector& v, double x, double y, double z, const char* what) {
    EXPECT_NEAR(v[0], x, 1e-9) << what;
    EXPECT_NEAR(v[1], y, 1e-9) << what;
    EXPECT_NEAR(v[2], z, 1e-9) << what;
}

}  // namespace

TEST_F(scene_LimitsAdapter, SwitchesVectorsAndKinds) {
    VOxaNode* node = mManager->CreateNode("Joint");
    VOxaNodeLimits* limits = node->GetLimits();
    VOxaNodeLimitsAdapter adapter(limits);
    EXPECT_EQ(adapter.GetAxisLength(), 1.0);

    // Default of translation: minimum and maximum together; of rotation: the pre-rotation.
    adapter.SetDefault(0, VgeTVector(1, 2, 3, 0));
    adapter.SetMin(0, VgeTVector(-1, -2, -3, 0));
    ExpectVector(adapter.GetMax(0), 1, 2, 3, "max after a new min");
    ExpectVector(adapter.GetDefault(0), -1, -2, -3, "default reads the min");
    adapter.SetDefault(1, VgeTVector(10, 20, 30, 0));
    ExpectVector(node->GetPreRotation(0), 10, 20, 30, "pre-rotation");
    EXPECT_EQ(node->GetNodeProperties()->GetTransformSettings().mRotation.mFlags & 1, 1);

    // Enable sets or clears all six flags, only when the state differs.
    adapter.SetEnable(1, true);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(limits->mRotationLimits.mMinActive[i] && limits->mRotationLimits.mMaxActive[i]) << i;
    limits->mRotationLimits.mMaxActive[2] = false;
    adapter.SetEnable(1, true);
    EXPECT_FALSE(limits->mRotationLimits.mMaxActive[2]);
    adapter.SetEnable(1, false);
    EXPECT_FALSE(adapter.GetEnable(1));

    // A non-automatic rotation sets the limit space, which stays when it becomes automatic.
    adapter.SetAuto(1, false);
    EXPECT_TRUE(node->GetRotationActive());
    EXPECT_TRUE(node->GetUseRotationSpaceForLimitOnly(0));
    adapter.SetAuto(1, true);
    EXPECT_FALSE(node->GetRotationActive());
    EXPECT_TRUE(node->GetUseRotationSpaceForLimitOnly(0));

    // Rotation type and clamp type follow the set-0 rotation order.
    adapter.SetRotationType(false);
    adapter.SetRotationClampType(0);  // stores nothing
    EXPECT_EQ(adapter.GetRotationClampType(), 1);
    EXPECT_EQ(adapter.GetRotationType(), 0);
    adapter.SetRotationType(true);
    EXPECT_EQ(adapter.GetRotationType(), 1);

    // Other kind numbers are ignored and read as neutral.
    for (int kind : {-1, 3, 1 << 30}) {
        adapter.SetMin(kind, VgeTVector(7, 7, 7, 7));
        adapter.SetDefault(kind, VgeTVector(7, 7, 7, 7));
        adapter.SetAuto(kind, false);
        EXPECT_TRUE(adapter.GetAuto(kind));
        EXPECT_FALSE(adapter.GetEnable(kind));
        ExpectVector(adapter.GetMin(kind), 0, 0, 0, "other kind");
    }
    ExpectVector(adapter.GetMax(0), 1, 2, 3, "translation untouched by other kinds");
}

TEST_F(scene_LimitsAdapter, DefaultsFromTheRestPose) {
    VOxaNode* parent = mManager->CreateNode("Shoulder");
    VOxaNode* node = mManager->CreateNode("Elbow");
    VOxaNode* plain = mManager->CreateNode("Wrist");
    VOxaNode* marker = mManager->CreateNode("Marker");
    ASSERT_TRUE(parent->AddChild(node));
    ASSERT_TRUE(node->AddChild(marker));
    ASSERT_TRUE(node->AddChild(plain));
    marker->SetNodeAttribute(mManager->CreateMarker());
    const VgeTVector parentRotation(0, 0, 30, 1), nodeRotation(20, 0, 0, 1);
    parent->SetLclRotation(parentRotation);
    parent->SetLclTranslation(VgeTVector(1, 1, 1, 1));
    node->SetLclTranslation(VgeTVector(3, 0, 0, 1));
    node->SetLclRotation(nodeRotation);
    node->SetLclScaling(VgeTVector(2, 1, 0.5, 1));
    plain->SetLclTranslation(VgeTVector(0, 4, 0, 1));
    // Longer, but a node without attribute takes its longest child without attribute.
    marker->SetLclTranslation(VgeTVector(0, 0, 10, 1));

    VOxaNodeLimitsAdapter adapter(node->GetLimits());
    node->GetLimits()->SetScalingLimitsActive(true);  // scaling is not automatic: kept
    adapter.SetMin(2, VgeTVector(9, 9, 9, 0));
    adapter.SetDefaultsFromNode(node);

    ExpectVector(adapter.GetMin(0), 3, 0, 0, "translation min");
    ExpectVector(adapter.GetMax(0), 3, 0, 0, "translation max");
    ExpectVector(adapter.GetMin(2), 9, 9, 9, "scaling kept");
    EXPECT_NEAR(adapter.GetAxisLength(), 4.0, 1e-9);
    EXPECT_EQ(adapter.GetRotationType(), 1);

    // The frame: X along the bone (the child offset turned into global orientation), Z normal
    // to the bone and the offset from the parent. Its angles are given relative to the parent's
    // orientation (default) and to the node's own (axis).
    R3 parentGlobal = XYZ(parentRotation);
    R3 nodeGlobal = Mul(XYZ(nodeRotation), parentGlobal);
    const double bone[3] = {0, 1, 0};
    double a[3];
    Apply(a, bone, nodeGlobal);
    double d[3];
    const double offset[3] = {3, 0, 0};
    Apply(d, offset, parentGlobal);
    R3 fromDefault = Mul(XYZ(adapter.GetDefault(1)), parentGlobal);
    R3 fromAxis = Mul(XYZ(adapter.GetRotationAxis()), nodeGlobal);
    for (const R3* frame : {&fromDefault, &fromAxis}) {
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(frame->m[0][j], a[j], 1e-9) << "X along the bone, " << j;
        double zDotD = 0, zDotA = 0;
        for (int j = 0; j < 3; ++j) {
            zDotD += frame->m[2][j] * d[j];
            zDotA += frame->m[2][j] * a[j];
        }
        EXPECT_NEAR(zDotD, 0.0, 1e-9);
        EXPECT_NEAR(zDotA, 0.0, 1e-9);
    }

    // A marker node takes its longest marker child; all kinds active: nothing changes.
    VOxaNodeLimitsAdapter second(node->GetLimits());
    node->SetNodeAttribute(mManager->CreateMarker());
    node->GetLimits()->SetTranslationLimitsActive(false);
    second.SetDefaultsFromNode(node);
    EXPECT_NEAR(second.GetAxisLength(), 10.0, 1e-9);
    node->GetLimits()->SetTranslationLimitsActive(true);
    node->GetLimits()->SetRotationLimitsActive(true);
    second.SetMin(0, VgeTVector(5, 5, 5, 0));
    second.SetDefaultsFromNode(node);
    ExpectVector(second.GetMin(0), 5, 5, 5, "all active");
    // Without parent nothing changes either.
    node->GetLimits()->SetTranslationLimitsActive(false);
    VOxaNodeLimitsAdapter top(parent->GetLimits());
    top.SetMin(0, VgeTVector(6, 6, 6, 0));
    top.SetDefaultsFromNode(parent);
    ExpectVector(top.GetMin(0), 6, 6, 6, "no parent");
    top.SetDefaultsFromNode(nullptr);
}

TEST_F(scene_LimitsAdapter, BoneAxisFallbacks) {
    VOxaNode* parent = mManager->CreateNode("Pelvis");
    VOxaNode* node = mManager->CreateNode("Spine");
    ASSERT_TRUE(parent->AddChild(node));
    parent->SetLclRotation(VgeTVector(0, 45, 0, 1));
    node->SetLclTranslation(VgeTVector(0, 2, 0, 1));
    node->SetLclRotation(VgeTVector(10, 0, 0, 1));
    node->SetLclScaling(VgeTVector(-1, 1, 1, 1));

    // A limb takes its longest limb child, not the longer root child.
    VOxaSkeleton* skeleton = mManager->CreateSkeleton();
    skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
    node->SetNodeAttribute(skeleton);
    VOxaNode* limb = mManager->CreateNode("Limb");
    VOxaNode* root = mManager->CreateNode("Root");
    for (VOxaNode* child : {root, limb})
        ASSERT_TRUE(node->AddChild(child));
    VOxaSkeleton* limbAttribute = mManager->CreateSkeleton();
    limbAttribute->SetSkeletonType(VOxaSkeleton::eLIMB);
    limb->SetNodeAttribute(limbAttribute);
    root->SetNodeAttribute(mManager->CreateSkeleton());
    limb->SetLclTranslation(VgeTVector(0, 0, 3, 1));
    root->SetLclTranslation(VgeTVector(8, 0, 0, 1));

    VOxaNodeLimitsAdapter adapter(node->GetLimits());
    adapter.SetDefaultsFromNode(node);
    EXPECT_NEAR(adapter.GetAxisLength(), 3.0, 1e-9);
    // A mirrored local scaling comes out all negative.
    ExpectVector(adapter.GetMin(2), -1, -1, -1, "mirrored scaling");

    // Without children away from the node and without geometry: no bone, the frame is the
    // node's own orientation.
    VOxaNode* lone = mManager->CreateNode("Lone");
    ASSERT_TRUE(parent->AddChild(lone));
    lone->SetLclRotation(VgeTVector(0, 0, 60, 1));
    VOxaNodeLimitsAdapter loneAdapter(lone->GetLimits());
    loneAdapter.SetDefaultsFromNode(lone);
    EXPECT_EQ(loneAdapter.GetAxisLength(), 0.0);
    ExpectVector(loneAdapter.GetDefault(1), 0, 0, 60, "own orientation relative to the parent");
    ExpectVector(loneAdapter.GetRotationAxis(), 0, 0, 0, "no axis");
    EXPECT_EQ(loneAdapter.GetRotationType(), 0);  // on the parent's origin: spheric

    // A mesh gives its farthest control point (the first of equal ones).
    VOxaNode* shape = mManager->CreateNode("Shape");
    ASSERT_TRUE(parent->AddChild(shape));
    VOxaMesh* mesh = mManager->CreateMesh();
    shape->SetNodeAttribute(mesh);
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[0] = VgeTVector(1, 0, 0, 1);
    mesh->GetControlPoints()[1] = VgeTVector(0, 0, 5, 1);
    mesh->GetControlPoints()[2] = VgeTVector(0, -5, 0, 1);
    VOxaNodeLimitsAdapter meshAdapter(shape->GetLimits());
    meshAdapter.SetDefaultsFromNode(shape);
    EXPECT_NEAR(meshAdapter.GetAxisLength(), 5.0, 1e-9);
    // On the parent's origin: the node's X axis turned onto the first farthest point (local
    // +Z, in global orientation the parent's Z axis) by the shortest rotation.
    R3 pelvis = XYZ(VgeTVector(0, 45, 0, 1));
    R3 frame = Mul(XYZ(meshAdapter.GetDefault(1)), pelvis);
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(frame.m[0][j], pelvis.m[2][j], 1e-9) << j;
    // The shortest rotation keeps the axis normal to both (the parent's Y axis here) in place.
    for (int j = 0; j < 3; ++j)
        EXPECT_NEAR(frame.m[1][j], pelvis.m[1][j], 1e-9) << j;
}
