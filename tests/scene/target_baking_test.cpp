// Baking look-at and up-vector targeting into rotation keys, and the rotation unwrap.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "scene/target_baking.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

const int64_t kFrame = 1539538600;  // 1/30 s

VTime Frame(double f) {
    return VTime((int64_t)(f * (double)kFrame));
}

void Keys(VFCurve* curve, const std::vector<std::pair<double, float>>& keys) {
    ASSERT_NE(curve, nullptr);
    curve->KeyClear();
    curve->ResizeKeyBuffer((int)keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        curve->KeySet((int)i, Frame(keys[i].first), keys[i].second, VFCurveKey::eInterpolationLinear, 0u);
}

std::vector<float> Values(VFCurve* curve) {
    std::vector<float> out;
    for (int i = 0; i < curve->KeyGetCount(); ++i)
        out.push_back(curve->KeyGetValue(i));
    return out;
}

void Unit(double v[3]) {
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i)
        v[i] /= l;
}

class animation_TargetBaking : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }

    // A target that circles the origin in the XY plane at radius 10, through the back (-X),
    // over frames 0..8.
    VOxaNode* CirclingTarget(const char* name) {
        VOxaNode* target = mManager->CreateNode(name);
        std::vector<std::pair<double, float>> x, y;
        for (int f = 0; f <= 8; ++f) {
            double a = (f * 40.0 + 10.0) * M_PI / 180.0;
            x.push_back({(double)f, (float)(10.0 * std::cos(a))});
            y.push_back({(double)f, (float)(10.0 * std::sin(a))});
        }
        Keys(target->GetDefaultTakeNode()->GetTranslationX(), x);
        Keys(target->GetDefaultTakeNode()->GetTranslationY(), y);
        target->GetDefaultTakeNode()->GetTranslationZ()->SetDefaultValue(3.0f);
        return target;
    }

    // The angle in degrees between the node's global X axis and the direction to the target.
    static double AimError(VOxaNode* node, VOxaNode* target, VTime t) {
        node->ResetTransformCaches();
        target->ResetTransformCaches();
        if (node->GetParent()) node->GetParent()->ResetTransformCaches();
        VgeAMatrix g = node->EvaluateGlobalTransform(t);
        const VgeAMatrix& q = target->EvaluateGlobalTransform(t);
        double x[3] = {g.mData[0][0], g.mData[0][1], g.mData[0][2]};
        double d[3] = {q.mData[3][0] - g.mData[3][0], q.mData[3][1] - g.mData[3][1],
                       q.mData[3][2] - g.mData[3][2]};
        Unit(x);
        Unit(d);
        double c = x[0] * d[0] + x[1] * d[1] + x[2] * d[2];
        return std::acos(std::min(1.0, c)) * 180.0 / M_PI;
    }

    VOxaSdkManager* mManager = nullptr;
};

}  // namespace

TEST(animation_TargetBakingUnwrap, SingleTurnTowardsThePreviousKey) {
    VFCurve curve;
    Keys(&curve, {{0, 170.0f}, {1, -170.0f}, {2, 170.0f}, {3, -170.0f}});
    VFCurveUnwrapRotation(curve);
    EXPECT_EQ(Values(&curve), (std::vector<float>{170.0f, 190.0f, 170.0f, 190.0f}));
    Keys(&curve, {{0, -170.0f}, {1, 170.0f}, {2, 100.0f}});
    VFCurveUnwrapRotation(curve);
    EXPECT_EQ(Values(&curve), (std::vector<float>{-170.0f, -190.0f, -260.0f}));
    // One turn only, however far the jump; exactly 180 stays.
    Keys(&curve, {{0, 0.0f}, {1, 900.0f}, {2, 720.0f}, {3, 540.0f}});
    VFCurveUnwrapRotation(curve);
    EXPECT_EQ(Values(&curve), (std::vector<float>{0.0f, 540.0f, 720.0f, 540.0f}));
    EXPECT_EQ(curve.KeyGetTime(1), Frame(1));
}

TEST_F(animation_TargetBaking, AimFollowsATargetThroughTheBack) {
    VOxaNode* node = mManager->CreateNode("Camera");
    VOxaNode* target = CirclingTarget("Interest");
    node->SetTarget(target);
    node->SetLclTranslation(VgeTVector(0, 0, -1, 1));
    ASSERT_TRUE(VFCurveBakeTargets(node, true, false, false, 30.0f, nullptr, nullptr));

    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* z = take->GetEulerRotationZ();
    // One key per 1/30 s from the first to the last key of node and target, both ends included.
    ASSERT_EQ(z->KeyGetCount(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(z->KeyGetTime(i), Frame(i));
    for (int f = 0; f <= 8; ++f)
        EXPECT_LT(AimError(node, target, Frame(f)), 0.1) << "frame " << f;
}

TEST_F(animation_TargetBaking, AimInTheParentsSpace) {
    VOxaNode* parent = mManager->CreateNode("Rig");
    VOxaNode* node = mManager->CreateNode("Head");
    ASSERT_TRUE(parent->AddChild(node));
    parent->SetLclTranslation(VgeTVector(2, -1, 0, 1));
    Keys(parent->GetDefaultTakeNode()->GetEulerRotationZ(), {{0, 0.0f}, {8, 120.0f}});
    parent->SetLclRotation(VgeTVector(30, 0, 0, 1));
    node->SetLclTranslation(VgeTVector(0, 1, 0, 1));
    VOxaNode* target = CirclingTarget("Ball");
    node->SetTarget(target);
    ASSERT_TRUE(VFCurveBakeTargets(node, true, false, false, 30.0f, nullptr, nullptr));
    for (int f = 0; f <= 8; ++f)
        EXPECT_LT(AimError(node, target, Frame(f)), 0.1) << "frame " << f;
}

TEST_F(animation_TargetBaking, RollTowardsTheUpTarget) {
    VOxaNode* node = mManager->CreateNode("Eye");
    VOxaNode* target = CirclingTarget("Look");
    VOxaNode* up = mManager->CreateNode("Up");
    Keys(up->GetDefaultTakeNode()->GetTranslationZ(), {{0, 10.0f}, {8, 4.0f}});
    Keys(up->GetDefaultTakeNode()->GetTranslationX(), {{0, 3.0f}, {8, -6.0f}});
    node->SetTarget(target);
    node->SetTargetUp(up);
    ASSERT_TRUE(VFCurveBakeTargets(node, true, true, false, 30.0f, nullptr, nullptr));

    for (int f = 0; f <= 8; ++f) {
        EXPECT_LT(AimError(node, target, Frame(f)), 0.1) << "frame " << f;
        // The Y axis lies in the plane of the look axis and the wanted up, on the up side.
        VgeAMatrix g = node->EvaluateGlobalTransform(Frame(f));
        const VgeAMatrix& u = up->EvaluateGlobalTransform(Frame(f));
        double x[3] = {g.mData[0][0], g.mData[0][1], g.mData[0][2]};
        double y[3] = {g.mData[1][0], g.mData[1][1], g.mData[1][2]};
        double w[3] = {u.mData[3][0] - g.mData[3][0], u.mData[3][1] - g.mData[3][1],
                       u.mData[3][2] - g.mData[3][2]};
        Unit(x);
        double along = w[0] * x[0] + w[1] * x[1] + w[2] * x[2];
        for (int i = 0; i < 3; ++i)
            w[i] -= along * x[i];
        Unit(w);
        Unit(y);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(y[i], w[i], 2e-3) << "frame " << f << " component " << i;
    }

    // An up target turning once around the look axis: the roll keys run on past half a turn
    // instead of jumping back.
    VOxaNode* spin = mManager->CreateNode("Spin");
    VOxaNode* ahead = mManager->CreateNode("Ahead");
    VOxaNode* around = mManager->CreateNode("Around");
    ahead->SetLclTranslation(VgeTVector(10, 0, 0, 1));
    std::vector<std::pair<double, float>> y, z;
    for (int f = 0; f <= 10; ++f) {
        double a = f * 35.0 * M_PI / 180.0;
        y.push_back({(double)f, (float)(5.0 * std::cos(a))});
        z.push_back({(double)f, (float)(5.0 * std::sin(a))});
    }
    Keys(around->GetDefaultTakeNode()->GetTranslationY(), y);
    Keys(around->GetDefaultTakeNode()->GetTranslationZ(), z);
    spin->SetTarget(ahead);
    spin->SetTargetUp(around);
    ASSERT_TRUE(VFCurveBakeTargets(spin, true, true, false, 30.0f, nullptr, nullptr));
    VFCurve* rx = spin->GetCurrentTakeNode()->GetEulerRotationX();
    ASSERT_EQ(rx->KeyGetCount(), 11);
    for (int i = 0; i < 11; ++i)
        EXPECT_NEAR(rx->KeyGetValue(i), 35.0 * i, 0.05) << i;
}

TEST_F(animation_TargetBaking, GivenUpVectorsGoToTheRoll) {
    VOxaNode* node = mManager->CreateNode("Lens");
    VOxaNode* target = mManager->CreateNode("Subject");
    Keys(target->GetDefaultTakeNode()->GetTranslationX(), {{0, 10.0f}, {4, 20.0f}});
    node->SetTarget(target);
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* roll = take->GetVFCurveNode()->FindOrCreate("Roll", true)->FCurveGet();
    ASSERT_EQ(take->GetCameraRoll(), roll);
    Keys(take->GetEulerRotationY(), {{0, 5.0f}, {4, 15.0f}});
    Keys(take->GetEulerRotationX(), {{0, 1.0f}, {4, 2.0f}});

    // The node's up (0, 1, 0) rolled onto the wanted (0, 0, 1): a quarter turn about X.
    VgeTVector nodeUp(0, 1, 0, 1), targetUp(0, 0, 1, 1);
    ASSERT_TRUE(VFCurveBakeTargets(node, false, true, true, 30.0f, &nodeUp, &targetUp));
    ASSERT_EQ(roll->KeyGetCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(roll->KeyGetValue(i), 90.0f, 0.1f) << i;
    EXPECT_EQ(take->GetEulerRotationX()->KeyGetCount(), 0);
    EXPECT_EQ(take->GetEulerRotationX()->GetDefaultValue(), 0.0f);
    // Without keep aim, the Y curve gets its own keys back.
    EXPECT_EQ(Values(take->GetEulerRotationY()), (std::vector<float>{5.0f, 15.0f}));

    // A wanted up along the look axis defines no roll: no key is written.
    Keys(roll, {{0, 7.0f}});
    VgeTVector along(1, 0, 0, 1);
    ASSERT_TRUE(VFCurveBakeTargets(node, true, true, true, 30.0f, &nodeUp, &along));
    EXPECT_EQ(Values(roll), (std::vector<float>{7.0f}));
}

TEST_F(animation_TargetBaking, RefusalsAndNothingToBake) {
    VOxaNode* node = mManager->CreateNode("Prop");
    VFCurve* rx = node->GetCurrentTakeNode()->GetEulerRotationX();
    Keys(rx, {{0, 10.0f}, {3, 20.0f}});

    // No look-at target: nothing changes.
    EXPECT_TRUE(VFCurveBakeTargets(node, true, true, false, 30.0f, nullptr, nullptr));
    EXPECT_EQ(Values(rx), (std::vector<float>{10.0f, 20.0f}));

    VOxaNode* target = mManager->CreateNode("Far");
    node->SetTarget(target);
    for (float rate : {0.0f, -30.0f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(), 1e30f}) {
        EXPECT_FALSE(VFCurveBakeTargets(node, true, true, false, rate, nullptr, nullptr)) << rate;
        EXPECT_EQ(Values(rx), (std::vector<float>{10.0f, 20.0f})) << rate;
    }
    EXPECT_FALSE(VFCurveBakeTargets(nullptr, true, true, false, 30.0f, nullptr, nullptr));

    // A span of more than 2^24 samples is refused before anything changes.
    Keys(target->GetDefaultTakeNode()->GetTranslationY(), {{0, 0.0f}, {30.0 * 1e6, 1.0f}});
    EXPECT_FALSE(VFCurveBakeTargets(node, true, true, false, 30.0f, nullptr, nullptr));
    EXPECT_EQ(Values(rx), (std::vector<float>{10.0f, 20.0f}));
    EXPECT_EQ(node->GetCurrentTakeNode()->GetEulerRotationY()->KeyGetCount(), 0);

    // Nothing keyed on node or target: nothing sampled, nothing changed.
    VOxaNode* still = mManager->CreateNode("Still");
    VOxaNode* stillTarget = mManager->CreateNode("StillTarget");
    stillTarget->SetLclTranslation(VgeTVector(0, 5, 0, 1));
    still->SetTarget(stillTarget);
    EXPECT_TRUE(VFCurveBakeTargets(still, true, true, false, 30.0f, nullptr, nullptr));
    for (VFCurve* curve :
         {still->GetCurrentTakeNode()->GetEulerRotationX(), still->GetCurrentTakeNode()->GetEulerRotationY(),
          still->GetCurrentTakeNode()->GetEulerRotationZ()})
        EXPECT_EQ(curve->KeyGetCount(), 0);
}
