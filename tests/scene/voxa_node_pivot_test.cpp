// Pivot conversion: offsets onto the translation curves, re-keying that keeps the global motion,
// neutral sets and thresholds, the geometry pivot, and resetting pivot sets.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_mesh.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

const int64_t kFrame = 1539538600;  // 1/30 s

VTime Frame(double f) {
    return VTime((int64_t)(f * (double)kFrame));
}

class scene_NodePivot : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }

    VOxaSdkManager* mManager = nullptr;
};

void Keys(VFCurve* curve, const std::vector<std::pair<double, float>>& keys) {
    curve->KeyClear();
    curve->ResizeKeyBuffer((int)keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        curve->KeySet((int)i, Frame(keys[i].first), keys[i].second, VFCurveKey::eInterpolationLinear, 0u);
}

// Translation, rotation or scaling curve `axis` of the take.
VFCurve* Curve(VOxaTakeNode* take, int channel, int axis) {
    static const char* const kChannels[3] = {"T", "R", "S"};
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    return take->GetVFCurve("Transform", kChannels[channel], kAxes[axis]);
}

// Keys every frame 0..6 on all nine channels, each its own smooth motion.
void Animate(VOxaTakeNode* take, double seed) {
    for (int channel = 0; channel < 3; ++channel) {
        for (int axis = 0; axis < 3; ++axis) {
            std::vector<std::pair<double, float>> keys;
            for (int f = 0; f <= 6; ++f) {
                double s = std::sin(seed + 0.7 * channel + 1.3 * axis + 0.4 * f);
                double value = channel == 0 ? 3.0 * s : channel == 1 ? 60.0 * s + 20.0 * axis : 1.0 + 0.3 * s;
                keys.push_back({(double)f, (float)value});
            }
            Keys(Curve(take, channel, axis), keys);
        }
    }
}

// The global matrices of `nodes` at frames 0..6, with fresh caches.
std::vector<VgeAMatrix> Globals(const std::vector<VOxaNode*>& nodes) {
    std::vector<VgeAMatrix> out;
    for (VOxaNode* node : nodes)
        node->ResetTransformCaches();
    for (int f = 0; f <= 6; ++f)
        for (VOxaNode* node : nodes)
            out.push_back(node->EvaluateGlobalTransform(Frame(f)));
    return out;
}

void ExpectSameGlobals(const std::vector<VgeAMatrix>& before, const std::vector<VgeAMatrix>& after) {
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i)
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(after[i].mData[r][c], before[i].mData[r][c], 2e-4)
                    << "sample " << i << " element " << r << c;
}

std::vector<std::pair<VTime, float>> KeysOf(VFCurve* curve) {
    std::vector<std::pair<VTime, float>> out;
    for (int i = 0; i < curve->KeyGetCount(); ++i)
        out.push_back({curve->KeyGetTime(i), curve->KeyGetValue(i)});
    return out;
}

}  // namespace

TEST_F(scene_NodePivot, RotationOffsetsShiftTranslationOncePerTake) {
    VOxaNode* node = mManager->CreateNode("Arm");
    VOxaTakeNode* second = node->AddTakeNode("Walk");
    node->SetLclTranslation(VgeTVector(5, 6, 7, 1));
    Keys(node->GetDefaultTakeNode()->GetTranslationX(), {{0, 1.0f}, {2, 2.0f}});
    Keys(second->GetTranslationY(), {{0, -1.0f}, {1, 4.0f}, {3, 0.5f}});
    second->GetTranslationZ()->SetDefaultValue(9.0f);
    Keys(second->GetEulerRotationZ(), {{0, 10.0f}, {2.5, 80.0f}});
    ASSERT_TRUE(node->SetCurrentTakeNode(1));
    node->SetRotationOffset(0, VgeTVector(0.5, -2, 3, 1));
    node->SetPivotState(0, 0);
    // Set 1 holds an offset too, but is not active: it counts as zero.
    node->SetRotationOffset(1, VgeTVector(100, 100, 100, 1));

    std::vector<std::pair<VTime, float>> before[2][3];
    float defaults[2][3];
    for (int t = 0; t < 2; ++t)
        for (int c = 0; c < 3; ++c) {
            before[t][c] = KeysOf(Curve(node->GetTakeNode(t), 0, c));
            defaults[t][c] = Curve(node->GetTakeNode(t), 0, c)->GetDefaultValue();
        }
    auto rotation = KeysOf(second->GetEulerRotationZ());

    node->ConvertPivotAnimation(1, 30.0, false);

    const float d[3] = {0.5f, -2.0f, 3.0f};
    for (int t = 0; t < 2; ++t) {
        for (int c = 0; c < 3; ++c) {
            VFCurve* curve = Curve(node->GetTakeNode(t), 0, c);
            auto after = KeysOf(curve);
            ASSERT_EQ(after.size(), before[t][c].size());
            for (size_t i = 0; i < after.size(); ++i) {
                EXPECT_EQ(after[i].first, before[t][c][i].first);
                EXPECT_FLOAT_EQ(after[i].second, before[t][c][i].second + d[c])
                    << "take " << t << " axis " << c;
            }
            EXPECT_FLOAT_EQ(curve->GetDefaultValue(), defaults[t][c] + d[c])
                << "default, take " << t << " axis " << c;
        }
    }
    // The property moves once, whatever the number of takes; the rotation keys are not re-keyed.
    VgeTVector lcl;
    node->GetLclTranslation(lcl);
    EXPECT_EQ(lcl, VgeTVector(5.5, 4, 10, 1));
    EXPECT_EQ(KeysOf(second->GetEulerRotationZ()), rotation);
    EXPECT_EQ(node->GetRotationOffset(0), VgeTVector(0.5, -2, 3, 1));
}

TEST_F(scene_NodePivot, ReKeyingKeepsTheGlobalMotion) {
    VOxaNode* parent = mManager->CreateNode("Hip");
    VOxaNode* child = mManager->CreateNode("Knee");
    ASSERT_TRUE(parent->AddChild(child));
    Animate(parent->GetDefaultTakeNode(), 0.0);
    Animate(child->GetDefaultTakeNode(), 2.0);
    // Every kind of pivot value on the parent's source set, order "Euler ZYX"; the child has an
    // order and a pre-rotation.
    for (VOxaNode* node : {parent, child}) {
        node->SetRotationActive(true);
        node->SetPivotState(0, 0);
    }
    parent->SetRotationPivot(0, VgeTVector(1, 2, -0.5, 1));
    parent->SetRotationOffset(0, VgeTVector(0.5, 0, -1, 1));
    parent->SetScalingPivot(0, VgeTVector(0, 1, 1.5, 1));
    parent->SetScalingOffset(0, VgeTVector(0.25, -0.5, 0, 1));
    parent->SetPreRotation(0, VgeTVector(10, 20, 30, 1));
    parent->SetPostRotation(0, VgeTVector(5, -15, 25, 1));
    parent->SetRotationOrder(0, eEULER_ZYX);
    child->SetRotationOrder(0, eEULER_YXZ);
    child->SetPreRotation(0, VgeTVector(-30, 0, 45, 1));
    std::vector<VOxaNode*> nodes{parent, child};
    std::vector<VgeAMatrix> before = Globals(nodes);

    parent->ConvertPivotAnimationAt30Fps();
    // Both sets are neutral afterwards; the animation carries the pivots.
    ERotationOrder order;
    parent->GetRotationOrder(0, order);
    EXPECT_EQ(order, eEULER_XYZ);
    EXPECT_EQ(parent->GetPostRotation(0), VgeTVector(0, 0, 0, 1));
    EXPECT_EQ(child->GetPreRotation(0), VgeTVector(0, 0, 0, 1));
    ExpectSameGlobals(before, Globals(nodes));
    // The re-keyed curves of the default take still drive the node's properties.
    parent->GetDefaultTakeNode()->GetEulerRotationY()->SetDefaultValue(12.0f);
    VgeTVector rotation(0, 0, 0, 0);
    parent->GetLclRotation(rotation);
    EXPECT_EQ(rotation[1], 12.0);
    parent->GetDefaultTakeNode()->GetTranslationZ()->SetDefaultValue(-3.0f);
    VgeTVector translation(0, 0, 0, 0);
    parent->GetLclTranslation(translation);
    EXPECT_EQ(translation[2], -3.0);

    // Into a set that is not neutral: evaluated with set 1's values afterwards, the node moves
    // as before.
    VOxaNode* node = mManager->CreateNode("Wrist");
    Animate(node->GetDefaultTakeNode(), 1.0);
    node->SetRotationActive(true);
    node->SetPivotState(0, 0);
    node->SetPivotState(1, 0);
    node->SetPreRotation(0, VgeTVector(10, 20, 30, 1));
    node->SetRotationOrder(0, eEULER_ZYX);
    node->SetPreRotation(1, VgeTVector(-5, 0, 40, 1));
    node->SetPostRotation(1, VgeTVector(0, 30, -10, 1));
    node->SetRotationOrder(1, eEULER_XZY);
    before = Globals({node});
    node->ConvertPivotAnimation(1, 30.0, false);
    node->SetPreRotation(0, node->GetPreRotation(1));
    node->SetPostRotation(0, node->GetPostRotation(1));
    node->SetRotationOrder(0, eEULER_XZY);
    ExpectSameGlobals(before, Globals({node}));
}

TEST_F(scene_NodePivot, NeutralSetsAndThresholds) {
    VOxaNode* node = mManager->CreateNode("Bone");
    VOxaTakeNode* take = node->GetDefaultTakeNode();
    // Keys off the 30 fps grid: any re-keying would move them.
    Keys(take->GetEulerRotationX(), {{0, 10.0f}, {2.5, 170.0f}, {4.25, -170.0f}});
    node->SetRotationActive(true);
    node->SetPivotState(0, 0);
    node->SetPivotState(1, 0);
    auto rotation = KeysOf(take->GetEulerRotationX());

    node->ConvertPivotAnimation(1, 30.0, true);
    EXPECT_EQ(KeysOf(take->GetEulerRotationX()), rotation) << "neutral sets";
    node->SetScalingPivot(0, VgeTVector(5e-7, 5e-7, 5e-7, 1));
    node->ConvertPivotAnimation(1, 30.0, false);
    EXPECT_EQ(KeysOf(take->GetEulerRotationX()), rotation) << "5e-7 scaling pivot";
    // An order counts neither when it concerns the limits only nor while rotation is off.
    node->SetRotationOrder(0, eEULER_YXZ);
    node->SetUseRotationSpaceForLimitOnly(0, true);
    node->ConvertPivotAnimation(1, 30.0, false);
    EXPECT_EQ(KeysOf(take->GetEulerRotationX()), rotation) << "order for limits only";
    node->SetUseRotationSpaceForLimitOnly(0, false);
    node->SetRotationActive(false);
    node->ConvertPivotAnimation(1, 30.0, false);
    EXPECT_EQ(KeysOf(take->GetEulerRotationX()), rotation) << "order while rotation is off";
    // A rate that is not a positive number re-keys nothing (and does not hang).
    node->SetRotationActive(true);
    for (double rate :
         {0.0, -30.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        node->ConvertPivotAnimation(1, rate, false);
        EXPECT_EQ(KeysOf(take->GetEulerRotationX()), rotation) << "rate " << rate;
    }

    // 2e-6 on one axis re-keys on the 30 fps grid, the last key at the end time, unrolled.
    node->SetRotationOrder(0, eEULER_XYZ);
    node->SetScalingPivot(0, VgeTVector(0, 2e-6, 0, 1));
    node->ConvertPivotAnimation(1, 30.0, false);
    VFCurve* x = take->GetEulerRotationX();
    ASSERT_EQ(x->KeyGetCount(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(x->KeyGetTime(i), Frame(i)) << "key " << i;
    EXPECT_EQ(x->KeyGetTime(5), Frame(4.25));
    EXPECT_GT(x->Evaluate(Frame(4)), 180.0f);
}

TEST_F(scene_NodePivot, GeometryPivotAndReset) {
    VOxaNode* root = mManager->CreateNode("Root");
    VOxaNode* leaf = mManager->CreateNode("Leaf");
    ASSERT_TRUE(root->AddChild(leaf));
    VOxaMesh* mesh = mManager->CreateMesh();
    leaf->SetNodeAttribute(mesh);
    mesh->InitControlPoints(2);
    mesh->GetControlPoints()[0] = VgeTVector(1, 0, 0, 1);
    mesh->GetControlPoints()[1] = VgeTVector(0, 2, 0, 1);
    leaf->SetPivotState(0, 0);
    leaf->SetGeometricTranslation(0, VgeTVector(10, 0, 0, 1));
    leaf->SetGeometricRotation(0, VgeTVector(0, 0, 90, 1));
    leaf->SetGeometricScaling(0, VgeTVector(2, 2, 2, 1));
    root->ConvertPivotAnimation(1, 30.0, false);
    // Each point scaled by 2, turned a quarter about Z, moved by 10 along X.
    EXPECT_EQ(mesh->GetControlPoints()[0], VgeTVector(10, 2, 0, 1));
    EXPECT_EQ(mesh->GetControlPoints()[1], VgeTVector(6, 0, 0, 1));

    // A reset reaches every descendant and leaves update offsets and pivot state.
    leaf->SetRotationPivotUpdateOffset(1, VgeTVector(1, 1, 1, 1));
    leaf->SetScalingOffset(1, VgeTVector(4, 5, 6, 1));
    leaf->SetUseRotationSpaceForLimitOnly(1, true);
    leaf->SetPivotState(1, 0);
    root->ResetPivotSet(1);
    int state = -1;
    leaf->GetPivotState(1, state);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(leaf->GetScalingOffset(1), VgeTVector(0, 0, 0, 1));
    EXPECT_FALSE(leaf->GetUseRotationSpaceForLimitOnly(1));
    EXPECT_EQ(leaf->GetRotationPivotUpdateOffset(1), VgeTVector(1, 1, 1, 1));
}
