// Curve-node key setting and tree-wide key operations.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "fcurve_node_test_util.h"

using namespace fcn_test;

namespace {

std::vector<int> LayerIds(const VFCurveNode* node) {
    std::vector<int> ids;
    for (const VFCurveNode* n = node; n; n = n->GetNextLayer())
        ids.push_back(n->GetLayerID());
    return ids;
}

// Two triples stand for the same rotation in the XYZ order.
void ExpectSameRotation(const double* a, const double* b) {
    double ma[4][4], mb[4][4];
    fcurve_node_detail::RotationToMatrix(ma, a, 0);
    fcurve_node_detail::RotationToMatrix(mb, b, 0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(ma[i][j], mb[i][j], 1e-9);
}

VFCurveNode* KeyedRotation(std::initializer_list<std::pair<double, double>> x) {
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
    node->Get(0)->FCurveReplace(LinearCurve(x));
    return node;
}

}  // namespace

TEST(FCurveNodeKeys, KeysFromValues) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    double a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    node->KeyAddSet(Sec(1), a);
    node->KeyAddSet(Sec(0), b);
    node->KeyAddSet(Sec(1), b);  // replaces the key at 1 s
    VFCurve* y = node->Get(1)->FCurveGet();
    ASSERT_EQ(y->KeyGetCount(), 2);
    EXPECT_EQ(y->KeyGetValue(1), 5.0f);
    EXPECT_EQ(y->KeyGetInterpolation(0), (unsigned)VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(y->KeyGetTangentMode(0), (unsigned)VFCurveKey::eTangentAuto);

    node->KeySetValues(Sec(2), a);
    EXPECT_EQ(node->Get(2)->FCurveGet()->KeyGetCount(), 3);
    EXPECT_EQ(node->Get(2)->FCurveGet()->KeyGetValue(2), 3.0f);

    ASSERT_TRUE(node->SetLayerValue(1, Sec(0), a));
    EXPECT_EQ(node->GetNextLayer()->Get(0)->FCurveGet()->KeyGetValue(0), 1.0f);
    delete node;
}

TEST(FCurveNodeKeys, EulerClosestContinuesThePreviousKey) {
    VFCurveNode* node = KeyedRotation({{0, 370}});
    double values[3] = {10, 0, 0}, out[3];
    node->GetEulerClosest(out, values, Sec(1));
    EXPECT_DOUBLE_EQ(out[0], 370.0);
    EXPECT_DOUBLE_EQ(out[1], 0.0);
    // No key before the time: unchanged.
    node->GetEulerClosest(out, values, Sec(0));
    EXPECT_DOUBLE_EQ(out[0], 10.0);
    // Appending with `closest` keys the continued angle.
    node->KeySetValues(Sec(1), values, true);
    EXPECT_FLOAT_EQ(node->Get(0)->FCurveGet()->KeyGetValue(1), 370.0f);
    // The spheric order keeps the values.
    node->SetRotationOrder(12);
    node->GetEulerClosest(out, values, Sec(2));
    EXPECT_DOUBLE_EQ(out[0], 10.0);
    delete node;

    EXPECT_DOUBLE_EQ(VFCurveNode::AngleNearest(10, 370), 370.0);
    EXPECT_DOUBLE_EQ(VFCurveNode::AngleNearest(-170, 170), 190.0);
    EXPECT_DOUBLE_EQ(VFCurveNode::AngleNearest(0, 180), 0.0);  // exactly half a turn stays
}

TEST(FCurveNodeKeys, EulerClosenessRule) {
    // The flipped triple wins when it is nearer; the result is the same rotation.
    double values[3] = {190, 170, 10}, reference[3] = {0, 0, 0}, out[3];
    EXPECT_TRUE(fcurve_node_detail::EulerClosest(out, values, reference, 0));
    ExpectSameRotation(out, values);
    EXPECT_NEAR(out[0], 10.0, 1e-9);
    EXPECT_NEAR(out[1], 10.0, 1e-9);
    EXPECT_NEAR(out[2], -170.0, 1e-9);

    // Gimbal lock at +90: only x - z matters, and both move towards the reference.
    double locked[3] = {30, 90, 10}, near[3] = {0, 90, 0};
    fcurve_node_detail::EulerClosest(out, locked, near, 0);
    ExpectSameRotation(out, locked);
    EXPECT_NEAR(out[0], 10.0, 1e-9);
    EXPECT_NEAR(out[2], -10.0, 1e-9);
    // At -90 (270) their sum is what stays.
    double down[3] = {30, -90, 10}, downRef[3] = {0, -90, 0};
    fcurve_node_detail::EulerClosest(out, down, downRef, 0);
    ExpectSameRotation(out, down);
    EXPECT_NEAR(out[0], 20.0, 1e-9);
    EXPECT_NEAR(out[2], 20.0, 1e-9);

    // Other orders keep the rotation of their own axis sequence.
    for (int order : {2, 4, 6, 8, 10}) {
        double v[3] = {200, 100, -30}, r[3] = {0, 0, 0};
        fcurve_node_detail::EulerClosest(out, v, r, order);
        double mv[4][4], mo[4][4];
        fcurve_node_detail::RotationToMatrix(mv, v, order);
        fcurve_node_detail::RotationToMatrix(mo, out, order);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(mv[i][j], mo[i][j], 1e-9) << order;
        // No farther than the triple moved by whole turns alone, (-160, 100, -30).
        EXPECT_LE(out[0] * out[0] + out[1] * out[1] + out[2] * out[2], 36500.0 + 1e-6) << order;
    }
}

TEST(FCurveNodeKeys, EulerClosestFlipsEachAxis) {
    // Orders whose middle axis is Y (XYZ), Z (XZY) and X (YXZ): the values are the flipped form
    // (a + 180, 180 - b, c + 180, taken in the order's axis sequence) of a triple near the
    // reference, and the rule must find that triple again, component by component.
    const double reference[3] = {20, 30, -40}, delta[3] = {1, -2, 3};
    for (int order : {0, 2, 6}) {
        int axes[3];
        fcurve_node_detail::OrderAxes(order, axes);
        const int first = axes[0], middle = axes[1], last = axes[2];
        double near[3], values[3], out[3];
        for (int i = 0; i < 3; ++i)
            near[i] = reference[i] + delta[i];
        values[first] = near[first] + 180.0;
        values[middle] = 180.0 - near[middle];
        values[last] = near[last] + 180.0 - 360.0;
        EXPECT_TRUE(fcurve_node_detail::EulerClosest(out, values, reference, order)) << "order " << order;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(out[i], near[i], 1e-9) << "order " << order << ", component " << i;
        double mv[4][4], mo[4][4];
        fcurve_node_detail::RotationToMatrix(mv, values, order);
        fcurve_node_detail::RotationToMatrix(mo, out, order);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(mv[i][j], mo[i][j], 1e-9) << "order " << order;
        // Values near the reference already are only moved by whole turns.
        double turned[3] = {near[0] + 360.0, near[1] - 720.0, near[2]};
        EXPECT_FALSE(fcurve_node_detail::EulerClosest(out, turned, reference, order)) << "order " << order;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(out[i], near[i], 1e-9) << "order " << order << ", component " << i;
    }
}

TEST(FCurveNodeKeys, ReplacePastesSpans) {
    // Plain channels paste child by child.
    VFCurveNode* target = Vector3Node("T", "Lcl Translation", 1);
    VFCurveNode* source = Vector3Node("T", "Lcl Translation", 1);
    target->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    source->Get(0)->FCurveReplace(LinearCurve({{0, 50}, {1, 51}, {2, 52}, {3, 53}}));
    EXPECT_TRUE(target->Replace(source, Sec(1), Sec(2)));
    VFCurve* x = target->Get(0)->FCurveGet();
    EXPECT_EQ(x->KeyGetValue(0), 0.0f);
    EXPECT_EQ(x->KeyGetValue(1), 51.0f);
    EXPECT_EQ(x->KeyGetValue(2), 52.0f);
    EXPECT_EQ(x->KeyGetValue(3), 3.0f);
    delete target;
    delete source;

    // Rotations join this tree's angles at the start by whole turns.
    VFCurveNode* rotation = KeyedRotation({{0, 350}, {1, 355}, {2, 360}, {3, 365}});
    VFCurveNode* unrolled = KeyedRotation({{0, -10}, {1, -5}, {2, 0}, {3, 5}});
    EXPECT_TRUE(rotation->Replace(unrolled, Sec(1), Sec(2)));
    VFCurve* rx = rotation->Get(0)->FCurveGet();
    EXPECT_NEAR(rx->KeyGetValue(1), 355.0f, 1e-4);
    EXPECT_NEAR(rx->KeyGetValue(2), 360.0f, 1e-4);
    delete unrolled;

    // A flipped source is pasted flipped back: x + 180, 180 - y (mirrored), z + 180.
    VFCurveNode* flipped = Vector3Node("R", "Lcl Rotation", 2);
    flipped->Get(0)->FCurveReplace(LinearCurve({{0, 180}, {3, 180}}));
    flipped->Get(1)->FCurveReplace(LinearCurve({{0, 170}, {3, 140}}));
    flipped->Get(2)->FCurveReplace(LinearCurve({{0, 180}, {3, 180}}));
    VFCurveNode* straight = Vector3Node("R", "Lcl Rotation", 2);
    straight->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {3, 0}}));
    straight->Get(1)->FCurveReplace(LinearCurve({{0, 10}, {3, 40}}));
    straight->Get(2)->FCurveReplace(LinearCurve({{0, 0}, {3, 0}}));
    EXPECT_TRUE(straight->Replace(flipped, Sec(0), Sec(3)));
    double before[3] = {0, 10, 0}, at[3];
    straight->EvaluateCurves(at, Sec(0));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(at[i], before[i], 1e-3) << i;
    straight->EvaluateCurves(at, Sec(3));
    EXPECT_NEAR(at[1], 40.0, 1e-3);
    delete flipped;
    delete straight;
    delete rotation;
}

TEST(FCurveNodeKeys, ReplaceScalesQuaternions) {
    VFCurveNode* target = Vector3Node("Q", "Lcl Rotation", 2);
    target->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    VFCurveNode* source = target->Copy(false, false, true);
    for (int i = 0; i < 4; ++i) {
        double v = i == 3 ? 2.0 : 0.0;  // this tree's quaternion has length 2
        target->Get(i)->FCurveReplace(LinearCurve({{0, v}, {1, v}, {2, v}}));
        double s = i == 3 ? 1.0 : 0.0;
        source->Get(i)->FCurveReplace(LinearCurve({{0, s}, {1, s}, {2, s}}));
    }
    EXPECT_TRUE(target->Replace(source, Sec(0), Sec(2)));
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(target->Get(3)->FCurveGet()->KeyGetValue(k), 2.0f, 1e-5) << k;
    delete target;
    delete source;
}

TEST(FCurveNodeKeys, CopyFromMatchesLayersById) {
    VFCurveNode* source = Vector3Node("T", "Lcl Translation", 1, 1, 2, 3);
    source->CreateLayerAt(2);
    source->GetLayer(2)->Get(0)->FCurveReplace(LinearCurve({{0, 7}}));
    VFCurveNode* target = Vector3Node("T", "Lcl Translation", 1);
    target->CreateLayerAt(1);
    target->CopyFrom(source, true);
    EXPECT_EQ(LayerIds(target), (std::vector<int>{0, 2}));
    EXPECT_EQ(target->GetLayer(2)->Get(0)->FCurveGet()->KeyGetValue(0), 7.0f);
    EXPECT_EQ(target->Get(2)->FCurveGet()->GetDefaultValue(), 3.0f);
    EXPECT_EQ(source->GetLayer(2)->Get(0)->FCurveGet()->KeyGetCount(), 1);

    // Without keys the curves move over.
    VFCurveNode* moved = Vector3Node("T", "Lcl Translation", 1);
    VFCurve* original = source->Get(1)->FCurveGet();
    moved->CopyFrom(source, false);
    EXPECT_EQ(moved->Get(1)->FCurveGet(), original);
    EXPECT_EQ(source->Get(1)->FCurveGet(), nullptr);

    // Extra source children are added.
    VFCurveNode empty("T", "T", nullptr, 0, 0);
    empty.CopyFrom(target, true);
    EXPECT_EQ(empty.GetCount(), 3);
    EXPECT_EQ(empty.Get(2)->FCurveGet()->GetDefaultValue(), 3.0f);
    delete source;
    delete target;
    delete moved;
}

TEST(FCurveNodeKeys, SpansAndRemoval) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}));
    node->CreateLayerAt(1);
    node->GetNextLayer()->SetFlag(VFCurveNode::eFLAG_USER_2, true);
    node->GetNextLayer()->Get(0)->FCurveReplace(LinearCurve({{1, 5}, {2, 5}}));

    VFCurveNode* copy = node->CopyTimeSpan(VTIME_MINUS_INFINITE, VTIME_INFINITE);
    EXPECT_EQ(copy->Get(0)->FCurveGet()->KeyGetCount(), 5);
    ASSERT_NE(copy->GetNextLayer(), nullptr);
    EXPECT_TRUE(copy->GetNextLayer()->GetFlag(VFCurveNode::eFLAG_USER_2));
    EXPECT_EQ(copy->GetNextLayer()->Get(0)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_EQ(copy->GetNextLayer()->GetObjectLayer(), copy);
    delete copy;

    EXPECT_TRUE(node->KeyRemoveTimeRange(Sec(1), Sec(4)));
    EXPECT_EQ(node->Get(0)->FCurveGet()->KeyGetCount(), 3);  // 0, 1, 4 stay
    EXPECT_EQ(node->GetNextLayer()->Get(0)->FCurveGet()->KeyGetCount(), 2);

    double total[3] = {9, 9, 9};
    node->CandidateSet(Sec(1), total);
    EXPECT_TRUE(node->KeyRemoveAt(Sec(1)));
    EXPECT_FALSE(node->IsCandidateTotalValid());
    EXPECT_EQ(node->Get(0)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_EQ(node->GetNextLayer()->Get(0)->FCurveGet()->KeyGetCount(), 1);
    EXPECT_FALSE(node->KeyRemoveAt(Sec(1.5)));
    delete node;
}

TEST(FCurveNodeKeys, KeyTimesAndIntervals) {
    VFCurveNode* empty = Vector3Node("T", "Lcl Translation", 1);
    EXPECT_EQ(empty->GetFirstKeyTime(), VTIME_MINUS_INFINITE);
    EXPECT_EQ(empty->GetLastKeyTime(), VTIME_INFINITE);
    VTime start = Sec(5), stop = Sec(6);
    EXPECT_FALSE(empty->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Sec(5));
    EXPECT_EQ(stop, Sec(6));
    empty->GetKeyInterval(start, stop);
    EXPECT_EQ(start, VTIME_INFINITE);
    EXPECT_EQ(stop, VTIME_MINUS_INFINITE);
    EXPECT_EQ(empty->GetNextKeyTime(Sec(1)), Sec(1));
    delete empty;

    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{1, 0}, {3, 0}}));
    node->Get(2)->FCurveReplace(LinearCurve({{2, 0}, {4, 0}}));
    node->CreateLayerAt(1);
    node->GetNextLayer()->Get(1)->FCurveReplace(LinearCurve({{0, 0}, {6, 0}}));
    const char onlyX[3] = {1, 0, 0};
    EXPECT_EQ(node->GetFirstKeyTime(), Sec(1));
    EXPECT_EQ(node->GetFirstKeyTime(nullptr, true), Sec(0));
    EXPECT_EQ(node->GetLastKeyTime(onlyX), Sec(3));
    EXPECT_EQ(node->GetLastKeyTime(nullptr, true), Sec(6));
    VFCurveKey key;
    ASSERT_TRUE(node->GetLastKey(&key));
    EXPECT_EQ(key.GetTime(), Sec(4));
    EXPECT_EQ(node->GetPreviousKeyTime(Sec(3)), Sec(2));
    EXPECT_EQ(node->GetPreviousKeyTime(Sec(3.5)), Sec(3));
    EXPECT_EQ(node->GetNextKeyTime(Sec(2)), Sec(3));
    EXPECT_EQ(node->GetNextKeyTime(Sec(4)), Sec(4));  // none after: the time itself
    EXPECT_EQ(node->GetNextKeyTime(Sec(4), nullptr, true), Sec(6));
    start = Sec(2);
    stop = Sec(2);
    EXPECT_TRUE(node->GetAnimationInterval(start, stop));
    EXPECT_EQ(start, Sec(0));
    EXPECT_EQ(stop, Sec(6));

    // Every curve, some, or none has a key at the time.
    EXPECT_EQ(node->KeyFindStatus(Sec(1), nullptr, onlyX, 0.0, -1e9, 1e9), 2);
    EXPECT_EQ(node->KeyFindStatus(Sec(2), nullptr, nullptr, 0.0, -1e9, 1e9), 1);
    EXPECT_EQ(node->KeyFindStatus(Sec(2.5), nullptr, nullptr, 0.0, -1e9, 1e9), 0);
    EXPECT_EQ(node->KeyFindStatus(Sec(2.9), nullptr, onlyX, 0.1, -1e9, 1e9), 2);
    EXPECT_EQ(node->KeyFindStatus(Sec(1), nullptr, onlyX, 0.0, 1.0, 2.0), 0);
    delete node;
}

TEST(FCurveNodeKeys, CandidateKeysFollowTheMask) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    for (int i = 0; i < 3; ++i)
        node->Get(i)->FCurveReplace(LinearCurve({{0, 0}, {2, 2}}));
    double values[3] = {5, 5, 5};
    ASSERT_TRUE(node->CandidateSetSpecific(Sec(1), values));
    const char mask[3] = {1, 0, 1};
    int index = -1;
    EXPECT_TRUE(node->CandidateKey(&index, 0, mask));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(node->Get(0)->FCurveGet()->KeyGetCount(), 3);
    EXPECT_EQ(node->Get(1)->FCurveGet()->KeyGetCount(), 2);
    EXPECT_EQ(node->Get(2)->FCurveGet()->KeyGetValue(1), 5.0f);
    EXPECT_FALSE(node->CandidateKey(&index, 4));  // no such layer

    // A candidate on a missing layer creates it.
    EXPECT_TRUE(node->CandidateSetSpecific(Sec(1), values, 2));
    EXPECT_EQ(LayerIds(node), (std::vector<int>{0, 2}));
    EXPECT_EQ(node->GetLayer(2)->Get(1)->FCurveGet()->GetDefaultValue(), 5.0f);
    node->CandidateClear(0, true);
    EXPECT_FALSE(node->GetLayer(2)->Get(1)->FCurveGet()->IsCandidate());
    delete node;
}

TEST(FCurveNodeKeys, UniformSampling) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    VFCurve* curve = VFCurve::Create();
    for (int i = 0; i < 10; ++i)
        curve->KeyAppendFast(Sec(i / 30.0), 0.0f);
    node->Get(2)->FCurveReplace(curve);
    EXPECT_TRUE(node->HasUniformSampling(Sec(1 / 30.0 + 1e-6)));
    EXPECT_FALSE(node->HasUniformSampling(Sec(1 / 60.0)));
    node->Get(1)->FCurveReplace(LinearCurve({{0, 0}, {1, 0}, {3, 0}}));
    EXPECT_TRUE(node->HasUniformSampling(Sec(0.5)));
    delete node;
}
