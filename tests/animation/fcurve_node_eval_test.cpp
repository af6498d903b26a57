// Curve-node evaluation: time warps, layer composition by type, rotation orders, quaternion
// nodes, rotation interpolation and candidates.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "base/vge_matrix.h"
#include "fcurve_node_test_util.h"

using namespace fcn_test;

namespace {

constexpr double kDeg = 0.017453292519943295;

// Plain reference: the row-vector XYZ rotation (X applied first).
struct Mat3 {
    double m[3][3];
};

Mat3 Axis(int axis, double degrees) {
    double c = std::cos(degrees * kDeg), s = std::sin(degrees * kDeg);
    Mat3 r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
    int a = (axis + 1) % 3, b = (axis + 2) % 3;
    // Row-vector rotation about `axis`: p' = p x R.
    r.m[a][a] = c;
    r.m[a][b] = s;
    r.m[b][a] = -s;
    r.m[b][b] = c;
    return r;
}

Mat3 Mul(const Mat3& a, const Mat3& b) {  // a then b
    Mat3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

// The rotation of angles (x, y, z) applied in the order of `axes`.
Mat3 Euler(const double* xyz, const int* axes) {
    Mat3 r = Axis(axes[0], xyz[axes[0]]);
    r = Mul(r, Axis(axes[1], xyz[axes[1]]));
    return Mul(r, Axis(axes[2], xyz[axes[2]]));
}

Mat3 EulerXYZ(double x, double y, double z) {
    double v[3] = {x, y, z};
    int axes[3] = {0, 1, 2};
    return Euler(v, axes);
}

Mat3 FromLib(const double m[4][4]) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[i][j];
    return r;
}

void ExpectSameRotation(const Mat3& a, const Mat3& b, double tolerance = 1e-9) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(a.m[i][j], b.m[i][j], tolerance) << "element " << i << j;
}

VFCurveNode* ConstantLayered(const char* name, const char* type, int layerType, double base, double layer) {
    VFCurveNode* node = Vector3Node(name, type, layerType, base, base, base);
    node->CreateLayerAt(1);
    double v[3] = {layer, layer, layer};
    node->GetNextLayer()->SetDefaultValues(v);
    return node;
}

}  // namespace

TEST(FCurveNodeEval, TimeWarpRemapsTime) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {10, 100}}));
    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    warp->FCurveSet(LinearCurve({}, 2.0f));
    ASSERT_TRUE(node->SetTimeWarp(warp));
    double v[3];
    for (double t : {-5.0, 0.0, 7.5}) {
        EXPECT_EQ(node->Evaluate(v, Sec(t)) - v, 3);
        EXPECT_NEAR(v[0], 20.0, 1e-4) << t;
    }
    delete node;
}

TEST(FCurveNodeEval, WarpNodesIgnoreTheirOwnCandidates) {
    // The warp is evaluated from its curve: a total proposed on the warp node does not move the
    // time of the node it warps.
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {10, 100}}));
    VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
    warp->FCurveSet(LinearCurve({{0, 2}, {10, 2}}));  // keyed: the proposal stays a candidate
    ASSERT_TRUE(node->SetTimeWarp(warp));
    double proposed = 7.0;
    ASSERT_TRUE(warp->CandidateSet(Sec(5), &proposed));
    double v[3];
    node->Evaluate(v, Sec(5));
    EXPECT_NEAR(v[0], 20.0, 1e-4);
    EXPECT_FALSE(node->CandidateSetSpecific(Sec(5), nullptr));
    delete node;
}

TEST(FCurveNodeEval, LayerCompositionByType) {
    double v[3];
    VFCurveNode* scaling = ConstantLayered("S", "Lcl Scaling", 3, 2.0, 3.0);
    scaling->Evaluate(v, Sec(0));
    EXPECT_DOUBLE_EQ(v[0], 6.0);
    EXPECT_DOUBLE_EQ(v[2], 6.0);
    delete scaling;

    VFCurveNode* translation = ConstantLayered("T", "Lcl Translation", 1, 2.0, 3.0);
    translation->CreateLayerAt(2);
    double third[3] = {10, 20, 30};
    translation->GetLayer(2)->SetDefaultValues(third);
    translation->Evaluate(v, Sec(0));
    EXPECT_DOUBLE_EQ(v[0], 15.0);
    EXPECT_DOUBLE_EQ(v[2], 35.0);
    // One layer alone, and the plain curves of the base.
    EXPECT_EQ(translation->EvaluateLayer(v, Sec(0), nullptr, 2) - v, 3);
    EXPECT_DOUBLE_EQ(v[1], 20.0);
    EXPECT_EQ(translation->EvaluateLayer(v, Sec(0), nullptr, 7) - v, 0);
    delete translation;

    // A single-curve channel composes its own value.
    VFCurveNode single("Intensity", "Intensity", nullptr, 3, 0);
    single.FCurveSet(LinearCurve({}, 4.0f));
    single.CreateLayerAt(1);
    single.GetNextLayer()->FCurveGet()->SetDefaultValue(0.5f);
    EXPECT_EQ(single.Evaluate(v, Sec(0)) - v, 1);
    EXPECT_DOUBLE_EQ(v[0], 2.0);
}

TEST(FCurveNodeEval, EulerLayersComposeAsRotations) {
    // Layer first, then base: the composed triple turns points like the two rotations in turn.
    for (int order : {0, 4, 10, 12}) {
        VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2, 30, 0, 0);
        node->SetRotationOrder(order);
        node->CreateLayerAt(1);
        double layer[3] = {0, 30, 15};
        node->GetNextLayer()->SetDefaultValues(layer);
        double v[3];
        node->Evaluate(v, Sec(0));
        double base[3] = {30, 0, 0};
        double a[4][4], b[4][4], r[4][4];
        fcurve_node_detail::RotationToMatrix(a, base, order);
        fcurve_node_detail::RotationToMatrix(b, layer, order);
        fcurve_node_detail::RotationToMatrix(r, v, order);
        ExpectSameRotation(FromLib(r), Mul(FromLib(b), FromLib(a)));
        if (order == 0) ExpectSameRotation(FromLib(r), Mul(EulerXYZ(0, 30, 15), EulerXYZ(30, 0, 0)));
        EXPECT_GT(std::fabs(v[1]), 1e-3) << "not a component-wise sum";
        delete node;
    }
}

TEST(FCurveNodeEval, ComposedRotationsStayContinuous) {
    // A base turning past 180 degrees under a small layer keeps turning instead of wrapping.
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 170}, {1, 190}}));
    node->Get(2)->FCurveReplace(LinearCurve({{0, 350}, {1, 370}}));
    node->CreateLayerAt(1);
    double layer[3] = {0, 2, 0};
    node->GetNextLayer()->SetDefaultValues(layer);
    double previous[3];
    node->Evaluate(previous, Sec(0));
    for (int i = 1; i <= 20; ++i) {
        double v[3];
        node->Evaluate(v, Sec(i / 20.0));
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(v[k], previous[k], 2.5) << i << " " << k;
        for (int k = 0; k < 3; ++k)
            previous[k] = v[k];
    }
    EXPECT_NEAR(previous[0], 190.0, 1.0);
    EXPECT_NEAR(previous[2], 370.0, 1.0);
    delete node;
}

TEST(FCurveNodeEval, RotationOrdersRoundTrip) {
    // Every order code the node uses builds the rotation of its axis sequence, and the
    // extraction gives angles that build the same matrix again.
    const double angles[][3] = {{10, 20, 30}, {-170, 80, 45}, {179, -89.9, -179}, {0, 90, 0}, {45, -90, 10}};
    for (int order = 0; order <= 12; order += 2) {
        for (const auto& xyz : angles) {
            double m[4][4], back[3], again[4][4];
            fcurve_node_detail::RotationToMatrix(m, xyz, order);
            if (order < 12) {
                int axes[3];
                fcurve_node_detail::OrderAxes(order, axes);
                // Odd-parity orders turn by the negated angles; compare through the matrix either way.
                if ((order & 2) == 0) ExpectSameRotation(FromLib(m), Euler(xyz, axes));
            }
            fcurve_node_detail::MatrixToRotation(back, m, order);
            fcurve_node_detail::RotationToMatrix(again, back, order);
            ExpectSameRotation(FromLib(again), FromLib(m), 1e-7);
        }
    }
    // Spheric order: zero angles give the identity; half turns about axes across X round-trip.
    double zero[3] = {0, 0, 0}, m[4][4];
    fcurve_node_detail::RotationToMatrix(m, zero, 12);
    ExpectSameRotation(FromLib(m), EulerXYZ(0, 0, 0));
    for (double axisAngle : {0.0, 30.0, 90.0, 135.0}) {
        // 180 degrees about (0, cos a, sin a): first diagonal entry -1.
        double c = std::cos(axisAngle * kDeg), s = std::sin(axisAngle * kDeg);
        double turn[4][4];
        VgeMatrixIdentity(turn);
        double axis[3] = {0, c, s};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                turn[i][j] = 2 * axis[i] * axis[j] - (i == j ? 1.0 : 0.0);
        double back[3], again[4][4];
        fcurve_node_detail::MatrixToRotation(back, turn, 12);
        fcurve_node_detail::RotationToMatrix(again, back, 12);
        ExpectSameRotation(FromLib(again), FromLib(turn), 1e-7);
    }
}

TEST(FCurveNodeEval, QuaternionNodes) {
    VFCurveNode* node = Vector3Node("Q", "Lcl Rotation", 2);
    node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    double identity[4] = {0, 0, 0, 1};
    node->SetDefaultValues(identity);
    double v[4];
    EXPECT_EQ(node->Evaluate(v, Sec(0)) - v, 3);
    EXPECT_NEAR(v[0], 0.0, 1e-12);
    EXPECT_NEAR(v[1], 0.0, 1e-12);
    EXPECT_NEAR(v[2], 0.0, 1e-12);

    // Base: 90 degrees about Z (unnormalised on purpose); layer: 90 degrees about X.
    double base[4] = {0, 0, 2 * std::sin(45 * kDeg), 2 * std::cos(45 * kDeg)};
    node->SetDefaultValues(base);
    node->CreateLayerAt(1);
    double layer[4] = {std::sin(45 * kDeg), 0, 0, std::cos(45 * kDeg)};
    node->GetNextLayer()->SetDefaultValues(layer);
    node->CandidateClear(0, true);
    node->Evaluate(v, Sec(1));
    // The layer turns first, then the base.
    double m[4][4];
    fcurve_node_detail::RotationToMatrix(m, v, 0);
    ExpectSameRotation(FromLib(m), Mul(EulerXYZ(90, 0, 0), EulerXYZ(0, 0, 90)), 1e-9);
    // The stored total answers the same Euler angles, not quaternion components.
    double again[3];
    ASSERT_TRUE(node->IsCandidateTotalValid());
    EXPECT_EQ(node->Evaluate(again, Sec(1)) - again, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(again[i], v[i], 1e-12);
    EXPECT_EQ(node->CandidateTotalGet(again) - again, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(again[i], v[i], 1e-12);
    // A layer alone answers its raw components.
    EXPECT_EQ(node->EvaluateLayer(v, Sec(1), nullptr, 1) - v, 4);
    EXPECT_NEAR(v[3], layer[3], 1e-6);
    delete node;
}

TEST(FCurveNodeEval, EvaluationTotalsFollowCurveChanges) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 10}}));
    double v[3];
    node->Evaluate(v, Sec(0.5));
    EXPECT_TRUE(node->IsCandidateTotalValid());
    EXPECT_DOUBLE_EQ(v[0], 5.0);
    // Same time again: answered from the total.
    node->Evaluate(v, Sec(0.5));
    EXPECT_DOUBLE_EQ(v[0], 5.0);
    // An edit of the keys is seen at the same time.
    node->Get(0)->FCurveGet()->KeySetValue(1, 20.0f);
    node->Evaluate(v, Sec(0.5));
    EXPECT_DOUBLE_EQ(v[0], 10.0);
    // An explicit total answers at its time whatever the curves say, and at any time with flag 0x80.
    double proposed[3] = {7, 8, 9};
    ASSERT_TRUE(node->CandidateSet(Sec(0.25), proposed));
    node->Evaluate(v, Sec(0.25));
    EXPECT_DOUBLE_EQ(v[1], 8.0);
    node->Evaluate(v, Sec(0.75));
    EXPECT_DOUBLE_EQ(v[0], 15.0);
    node->SetCandidateAtAnyTime(true);
    node->CandidateSet(Sec(0.25), proposed);
    node->Evaluate(v, Sec(0.9));
    EXPECT_DOUBLE_EQ(v[2], 9.0);
    delete node;
}

TEST(FCurveNodeEval, QuaternionInterpolationBetweenKeys) {
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 90}}));
    node->Get(1)->FCurveReplace(LinearCurve({{0, 0}, {1, 0}}));
    node->Get(2)->FCurveReplace(LinearCurve({{0, 0}, {1, 0}}));
    double v[3];
    node->SetQuaternionInterpolation(true);
    double previous = -1.0;
    for (int i = 0; i <= 10; ++i) {
        node->Evaluate(v, Sec(i / 10.0));
        EXPECT_NEAR(v[1], 0.0, 1e-9);
        EXPECT_NEAR(v[2], 0.0, 1e-9);
        EXPECT_GT(v[0], previous);
        EXPECT_NEAR(v[0], 9.0 * i, 1.5) << i;  // close to the straight interpolation
        previous = v[0];
    }
    // Across the half turn the result stays on the keys' branch.
    node->Get(0)->FCurveReplace(LinearCurve({{0, 170}, {1, 190}}));
    for (int i = 1; i < 10; ++i) {
        node->Evaluate(v, Sec(i / 10.0));
        EXPECT_NEAR(v[0], 170.0 + 2.0 * i, 0.5) << i;
    }
    // Off: component-wise.
    node->SetQuaternionInterpolation(false);
    node->Evaluate(v, Sec(0.5));
    EXPECT_NEAR(v[0], 180.0, 1e-4);
    delete node;
}

TEST(FCurveNodeEval, CandidatesSolvedPerLayer) {
    VFCurveNode* node = Vector3Node("T", "Lcl Translation", 1);
    node->Get(0)->FCurveReplace(LinearCurve({{0, 0}, {1, 10}}));
    node->CreateLayerAt(1);
    node->GetNextLayer()->Get(0)->FCurveReplace(LinearCurve({{0, 1}, {1, 1}}));
    double total[3] = {20, 4, 6};
    ASSERT_TRUE(node->CandidateSet(Sec(0.5), total, 1));
    // Y and Z have no key anywhere: layer 1 takes their solved values as defaults right away.
    EXPECT_FLOAT_EQ(node->GetNextLayer()->Get(1)->FCurveGet()->GetDefaultValue(), 4.0f);
    double specific[3];
    VTime when;
    EXPECT_EQ(node->CandidateGet(specific, &when, 1) - specific, 3);
    EXPECT_DOUBLE_EQ(specific[0], 15.0);  // 20 - base 5
    EXPECT_EQ(when, Sec(0.5));
    EXPECT_EQ(node->CandidateGet(specific, &when, 3) - specific, 3);  // no such layer: identity
    EXPECT_DOUBLE_EQ(specific[0], 0.0);

    EXPECT_TRUE(node->KeyCandidate(Sec(0.5), 1));
    EXPECT_FALSE(node->IsCandidateTotalValid());
    VFCurve* layerX = node->GetNextLayer()->Get(0)->FCurveGet();
    EXPECT_EQ(layerX->KeyGetCount(), 3);
    double v[3];
    node->Evaluate(v, Sec(0.5));
    EXPECT_NEAR(v[0], 20.0, 1e-4);
    EXPECT_NEAR(v[1], 4.0, 1e-6);

    // Only base layers keep totals.
    EXPECT_FALSE(node->GetNextLayer()->CandidateSet(Sec(0), total));
    EXPECT_FALSE(node->GetNextLayer()->IsCandidateTotalValid());
    delete node;

    // Four components that are not a quaternion are solved one by one.
    VFCurveNode* colour = VFCurveNode::CreateFromName("Colour");
    for (const char* c : {"R", "G", "B", "A"}) {
        VFCurveNode* child = VFCurveNode::CreateFromName(c);
        child->FCurveSet(LinearCurve({}, 0.25f));
        colour->Add(child);
    }
    colour->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
    colour->CreateLayerAt(1);
    double rgba[4] = {1.0, 0.5, 0.75, 0.25}, parts[4];
    ASSERT_EQ(colour->SolveSpecificFromTotal(parts, rgba, Sec(0), 1) - parts, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_DOUBLE_EQ(parts[i], rgba[i] - 0.25) << i;
    delete colour;

    VFCurveNode* scaling = ConstantLayered("S", "Lcl Scaling", 3, 2.0, 1.0);
    double wanted[3] = {6, 6, 6};
    double solved[3];
    EXPECT_EQ(scaling->SolveSpecificFromTotal(solved, wanted, Sec(0), 1) - solved, 3);
    EXPECT_DOUBLE_EQ(solved[0], 3.0);
    delete scaling;
}

TEST(FCurveNodeEval, RotationCandidatesSolveAndStayContinuous) {
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2, 10, 20, 30);
    node->CreateLayerAt(1);
    node->CreateLayerAt(2);
    double upper[3] = {0, 0, 25};
    node->GetLayer(2)->SetDefaultValues(upper);
    // The layer in the middle currently sits one turn up.
    node->GetLayer(1)->Get(0)->FCurveReplace(LinearCurve({{0, 360}, {2, 360}}));
    double total[3] = {40, -15, 70};
    double solved[3];
    node->SolveSpecificFromTotal(solved, total, Sec(1), 1);
    // Composing the chain with the solved layer gives the total rotation back.
    double m0[4][4], m1[4][4], m2[4][4], mt[4][4];
    double base[3] = {10, 20, 30};
    fcurve_node_detail::RotationToMatrix(m0, base, 0);
    fcurve_node_detail::RotationToMatrix(m1, solved, 0);
    fcurve_node_detail::RotationToMatrix(m2, upper, 0);
    fcurve_node_detail::RotationToMatrix(mt, total, 0);
    ExpectSameRotation(Mul(Mul(FromLib(m2), FromLib(m1)), FromLib(m0)), FromLib(mt), 1e-9);

    ASSERT_TRUE(node->CandidateSet(Sec(1), total));
    ASSERT_TRUE(node->KeyCandidate(Sec(1), 1));
    // The same rotation; the angles follow the layers' own turns.
    double v[3], mv[4][4];
    node->Evaluate(v, Sec(1));
    fcurve_node_detail::RotationToMatrix(mv, v, 0);
    ExpectSameRotation(FromLib(mv), FromLib(mt), 1e-6);
    // The keyed layer value continues the layer's own turn.
    float keyed = node->GetLayer(1)->Get(0)->FCurveGet()->Evaluate(Sec(1));
    EXPECT_GT(keyed, 180.0f);
    delete node;
}

TEST(FCurveNodeEval, QuaternionCandidates) {
    VFCurveNode* node = Vector3Node("Q", "Lcl Rotation", 2);
    node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    double identity[4] = {0, 0, 0, 1};
    node->SetDefaultValues(identity);
    node->Get(3)->FCurveReplace(LinearCurve({{0, 1}, {1, 1}}));
    for (int i = 0; i < 3; ++i)
        node->Get(i)->FCurveReplace(LinearCurve({{0, 0}, {1, 0}}));
    node->CreateLayerAt(1);
    double euler[3] = {30, 40, 50};
    ASSERT_TRUE(node->CandidateSet(Sec(0.5), euler));
    double v[3];
    node->Evaluate(v, Sec(0.5));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(v[i], euler[i], 1e-9);
    ASSERT_TRUE(node->KeyCandidate(Sec(0.5), 1));
    EXPECT_EQ(node->GetNextLayer()->Get(3)->FCurveGet()->KeyGetCount(), 1);
    node->Evaluate(v, Sec(0.5));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(v[i], euler[i], 1e-4);
    delete node;
}

namespace {

// ---- Quaternion reference (x, y, z, w), turning points the right-handed way ---------------------

struct Quat {
    double x, y, z, w;
};

Quat QMul(const Quat& a, const Quat& b) {  // b first, then a
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Quat QAxis(int axis, double degrees) {
    double h = degrees * kDeg / 2;
    Quat q{0, 0, 0, std::cos(h)};
    (axis == 0 ? q.x : axis == 1 ? q.y : q.z) = std::sin(h);
    return q;
}

// X turns first, then Y, then Z.
Quat QEulerXYZ(const double* xyz) {
    return QMul(QAxis(2, xyz[2]), QMul(QAxis(1, xyz[1]), QAxis(0, xyz[0])));
}

double QDot(const Quat& a, const Quat& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}

Quat QScale(const Quat& q, double s) {
    return {q.x * s, q.y * s, q.z * s, q.w * s};
}

Quat QLerp(const Quat& a, const Quat& b, double u) {
    return {a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u, a.z + (b.z - a.z) * u, a.w + (b.w - a.w) * u};
}

// The row-vector matrix of q (any length): row i is the image of axis i.
Mat3 QMatrix(const Quat& q) {
    double n = QDot(q, q);
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
        double v[3] = {i == 0 ? 1.0 : 0.0, i == 1 ? 1.0 : 0.0, i == 2 ? 1.0 : 0.0};
        // q v q* / |q|^2 for the pure quaternion v.
        Quat p = QMul(QMul(q, Quat{v[0], v[1], v[2], 0}), Quat{-q.x, -q.y, -q.z, q.w});
        r.m[i][0] = p.x / n;
        r.m[i][1] = p.y / n;
        r.m[i][2] = p.z / n;
    }
    return r;
}

// A curve of two cubic user keys at 0 and 1 s with the given values and slopes.
VFCurve* UserSegment(double v0, double v1, double s0, double s1) {
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(2);
    curve->KeySet(0, Sec(0), (float)v0, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, (float)s0,
                  (float)s1);
    curve->KeySet(1, Sec(1), (float)v1, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, (float)s1,
                  0.0f);
    return curve;
}

}  // namespace

TEST(FCurveNodeEval, QuaternionInterpolationMatchesAReferenceBeyondAHalfTurn) {
    // The orientation between two keys is the cubic Bezier, in quaternion space, of the four
    // control orientations the X, Y and Z curves give, taken relative to the first key and each on
    // the hemisphere of the one before. The segments below turn well past 180 degrees.
    struct Segment {
        double from[3], to[3], startSlope[3], endSlope[3];
    };
    const Segment segments[] = {
        {{10, -20, 30}, {250, 100, -200}, {240, 120, -230}, {240, 120, -230}},
        {{0, 5, -10}, {200, 40, 170}, {900, 35, 180}, {900, 35, 180}},
        {{-30, 60, 15}, {330, -80, 200}, {100, -300, 500}, {600, 50, -100}},
    };
    int flips = 0;
    for (const Segment& s : segments) {
        VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
        for (int a = 0; a < 3; ++a)
            node->Get(a)->FCurveReplace(UserSegment(s.from[a], s.to[a], s.startSlope[a], s.endSlope[a]));
        node->SetQuaternionInterpolation(true);
        // The control orientations (slopes in degrees per second over a one-second segment).
        double p[4][3];
        for (int a = 0; a < 3; ++a) {
            p[0][a] = (float)s.from[a];
            p[3][a] = (float)s.to[a];
            p[1][a] = p[0][a] + (double)(float)s.startSlope[a] / 3;
            p[2][a] = p[3][a] - (double)(float)s.endSlope[a] / 3;
        }
        const Quat first = QEulerXYZ(p[0]);
        const Quat firstInverse{-first.x, -first.y, -first.z, first.w};
        Quat q[4];
        q[0] = {0, 0, 0, 1};
        for (int i = 1; i < 4; ++i) {
            q[i] = QMul(QEulerXYZ(p[i]), firstInverse);
            if (QDot(q[i], q[i - 1]) < 0) {
                q[i] = QScale(q[i], -1);
                ++flips;
            }
        }
        for (int k = 1; k < 40; ++k) {
            double u = k / 40.0;
            VTime t = Sec(u);
            u = (double)t.Get() / (double)VTime::kOneSecond;
            Quat b[4] = {q[0], q[1], q[2], q[3]};
            for (int level = 3; level > 0; --level)
                for (int i = 0; i < level; ++i)
                    b[i] = QLerp(b[i], b[i + 1], u);
            Mat3 expected = QMatrix(QMul(b[0], first));
            double v[3];
            node->Evaluate(v, t);
            SCOPED_TRACE("segment to " + std::to_string(s.to[0]) + " at " + std::to_string(u));
            ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), expected, 1e-9);
        }
        delete node;
    }
    EXPECT_GT(flips, 0) << "no control orientation needed the other hemisphere";
}

TEST(FCurveNodeEval, EulerBaseOverALayerThatIsNoEulerChain) {
    // A time-warped Euler layer, or a layer of another type, is evaluated on its own and then
    // composed by the base's Euler rule: the layer turns first, then the base.
    const double base[3] = {30, 0, 0}, layer[3] = {0, 30, 15};
    for (int variant = 0; variant < 2; ++variant) {
        VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2, base[0], base[1], base[2]);
        node->CreateLayerAt(1);
        VFCurveNode* upper = node->GetNextLayer();
        upper->SetDefaultValues(layer);
        if (variant == 0) {
            // The warp is counted by the layer and goes with it.
            VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
            warp->FCurveSet(LinearCurve({}, 0.5f));
            ASSERT_TRUE(upper->SetTimeWarp(warp));
        } else {
            upper->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
        }
        double v[3];
        ASSERT_EQ(node->Evaluate(v, Sec(2)) - v, 3);
        SCOPED_TRACE(variant == 0 ? "time-warped layer" : "additive layer");
        ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), Mul(EulerXYZ(0, 30, 15), EulerXYZ(30, 0, 0)));
        // A base past half a turn: the angles stay on the branch of the summed angles.
        double turned[3] = {200, 0, 0};
        node->SetDefaultValues(turned);
        node->CandidateClear(0, true);
        node->Evaluate(v, Sec(2));
        ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), Mul(EulerXYZ(0, 30, 15), EulerXYZ(200, 0, 0)));
        EXPECT_NEAR(v[0], 200.0, 20.0);
        delete node;
    }
}

TEST(FCurveNodeEval, QuaternionNodesNormaliseUnequalComponents) {
    // An unnormalised quaternion with four different components stands for its direction.
    const Quat base{0.25, -0.5, 0.625, 1.25};  // exact in the curves' single precision
    VFCurveNode* node = Vector3Node("Q", "Lcl Rotation", 2);
    node->SetLayerType(eFCURVENODE_LAYER_QUATERNION);
    double components[4] = {base.x, base.y, base.z, base.w};
    node->SetDefaultValues(components);
    double v[3];
    ASSERT_EQ(node->Evaluate(v, Sec(0)) - v, 3);
    ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), QMatrix(base));

    // A layer solved for a wanted total over that base: the base's inverse must divide by its
    // squared length, component by component.
    for (int i = 0; i < 4; ++i)
        node->Get(i)->FCurveReplace(LinearCurve({{0, components[i]}, {1, components[i]}}));
    node->CreateLayerAt(1);
    double euler[3] = {30, 40, 50};
    ASSERT_TRUE(node->CandidateSet(Sec(0.5), euler));
    ASSERT_TRUE(node->KeyCandidate(Sec(0.5), 1));
    node->CandidateClear(0, true);
    node->Evaluate(v, Sec(0.5));
    ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), EulerXYZ(30, 40, 50), 1e-5);
    delete node;
}

// Totals are stored for nodes of one to four plain values: a node of four channels keeps its
// total as a node of three does (answered again at its time, an explicit total answered at its
// time); one of five channels keeps none.
TEST(FCurveNodeEval, TotalsOfFourChannelsAreStoredAndOfFiveAreNot) {
    VFCurveNode* four = VFCurveNode::CreateForDataType(VDataType::Find("Vector4"), "V");
    ASSERT_NE(four, nullptr);
    four->CreateFCurves();
    ASSERT_EQ(four->GetCount(), 4);
    for (int i = 0; i < 4; ++i)
        four->Get(i)->FCurveReplace(LinearCurve({{0, 0}, {1, 10.0 * (i + 1)}}));
    double v[5] = {0, 0, 0, 0, 0};
    four->Evaluate(v, Sec(0.5));
    EXPECT_TRUE(four->IsCandidateTotalValid());
    EXPECT_DOUBLE_EQ(v[3], 20.0);
    const double proposed[4] = {1, 2, 3, 4};
    ASSERT_TRUE(four->CandidateSet(Sec(0.25), proposed));
    four->Evaluate(v, Sec(0.25));
    EXPECT_DOUBLE_EQ(v[3], 4.0) << "the explicit total at its time";
    four->Evaluate(v, Sec(0.75));
    EXPECT_DOUBLE_EQ(v[3], 30.0);
    delete four;

    VFCurveNode* five = VFCurveNode::CreateFromName("Five");
    for (int i = 0; i < 5; ++i) {
        VFCurveNode* leaf = VFCurveNode::CreateFromName(std::string(1, (char)('A' + i)).c_str());
        leaf->FCurveReplace(LinearCurve({{0, 0}, {1, 1}}));
        five->Add(leaf);
    }
    five->Evaluate(v, Sec(0.5));
    EXPECT_DOUBLE_EQ(v[4], 0.5);
    EXPECT_FALSE(five->IsCandidateTotalValid());
    delete five;
}

namespace {

// A curve of two cubic user keys at t0 and t1 seconds with the given values and slopes.
VFCurve* UserSegmentAt(double t0, double t1, double v0, double v1, double s0, double s1) {
    VFCurve* curve = VFCurve::Create();
    curve->ResizeKeyBuffer(2);
    curve->KeySet(0, Sec(t0), (float)v0, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, (float)s0,
                  (float)s1);
    curve->KeySet(1, Sec(t1), (float)v1, VFCurveKey::eInterpolationCubic, VFCurveKey::eTangentUser, (float)s1,
                  0.0f);
    return curve;
}

}  // namespace

TEST(FCurveNodeEval, QuaternionInterpolationOfASegmentAwayFromTimeZero) {
    // The same Bezier in quaternion space for a segment from 2 s to 3.5 s: the parameter runs
    // over the segment's own span, and the slopes scale with its length.
    const double t0 = 2.0, t1 = 3.5, dt = t1 - t0;
    const double from[3] = {10, -20, 30}, to[3] = {80, 40, -50}, start[3] = {60, 30, -40},
                 end[3] = {20, 50, -70};
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2);
    for (int a = 0; a < 3; ++a)
        node->Get(a)->FCurveReplace(UserSegmentAt(t0, t1, from[a], to[a], start[a], end[a]));
    node->SetQuaternionInterpolation(true);
    double p[4][3];
    for (int a = 0; a < 3; ++a) {
        p[0][a] = (float)from[a];
        p[3][a] = (float)to[a];
        p[1][a] = p[0][a] + (double)(float)start[a] * dt / 3;
        p[2][a] = p[3][a] - (double)(float)end[a] * dt / 3;
    }
    const Quat first = QEulerXYZ(p[0]);
    const Quat firstInverse{-first.x, -first.y, -first.z, first.w};
    Quat q[4];
    q[0] = {0, 0, 0, 1};
    for (int i = 1; i < 4; ++i) {
        q[i] = QMul(QEulerXYZ(p[i]), firstInverse);
        if (QDot(q[i], q[i - 1]) < 0) q[i] = QScale(q[i], -1);
    }
    for (int k = 1; k < 10; ++k) {
        const VTime t = Sec(t0 + dt * k / 10.0);
        const double u = (double)(t.Get() - Sec(t0).Get()) / (double)(Sec(t1).Get() - Sec(t0).Get());
        Quat b[4] = {q[0], q[1], q[2], q[3]};
        for (int level = 3; level > 0; --level)
            for (int i = 0; i < level; ++i)
                b[i] = QLerp(b[i], b[i + 1], u);
        double v[3];
        node->Evaluate(v, t);
        SCOPED_TRACE("u " + std::to_string(u));
        ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), QMatrix(QMul(b[0], first)), 1e-9);
    }
    delete node;
}

TEST(FCurveNodeEval, OrderAxesAndTheirAnglesFollowTheOrderTable) {
    // Order codes name the axis triple applied first to last: 0 x y z, 2 x z y, 4 y z x, 6 y x z,
    // 8 z x y, 10 z y x; the odd code of each pair has the same axes; any other code is x y z.
    const int expected[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    for (int order = -1; order <= 13; ++order) {
        int axes[3];
        fcurve_node_detail::OrderAxes(order, axes);
        const int* want = order >= 0 && order <= 11 ? expected[order / 2] : expected[0];
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(axes[i], want[i]) << "order " << order << " position " << i;
    }
    // The angles taken from a rotation come back on their own axes: about X, Y and Z, whatever
    // order turns them.
    const double xyz[3] = {25, -35, 50};
    for (int order = 2; order <= 10; order += 2) {
        const Mat3 m = Euler(xyz, expected[order / 2]);
        double lib[4][4];
        VgeMatrixIdentity(lib);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                lib[i][j] = m.m[i][j];
        double back[3] = {-999, -999, -999};
        fcurve_node_detail::MatrixToRotation(back, lib, order);
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(back[a], xyz[a], 1e-9) << "order " << order << " axis " << a;
    }
}

TEST(FCurveNodeEval, SphericOrderTwistsAboutXThenSwings) {
    // The spheric angles turn about X by x, then swing the X axis by the quaternion
    // (0, sin y/2, sin z/2, cos y/2 cos z/2), normalised.
    const double cases[][3] = {{30, 40, 0}, {-50, 20, 35}, {70, -60, 10}, {0, 45, -45}};
    for (const auto& xyz : cases) {
        const double hy = xyz[1] * kDeg / 2, hz = xyz[2] * kDeg / 2;
        const Quat swing{0, std::sin(hy), std::sin(hz), std::cos(hy) * std::cos(hz)};
        double m[4][4];
        VgeMatrixIdentity(m);
        fcurve_node_detail::RotationToMatrix(m, xyz, 12);
        SCOPED_TRACE(std::to_string(xyz[0]) + " " + std::to_string(xyz[1]) + " " + std::to_string(xyz[2]));
        ExpectSameRotation(FromLib(m), QMatrix(QMul(swing, QAxis(0, xyz[0]))), 1e-12);
    }
}

TEST(FCurveNodeEval, EulerClosestSetsEveryAngle) {
    // The nearest equivalent of each triple, on its own axes, for every order: a triple already
    // near the reference comes back as it is, one whole turns away comes back turned.
    const double values[3] = {10, 20, 30};
    for (int order = 0; order <= 10; order += 2) {
        double out[3] = {-1, -1, -1};
        const double near[3] = {12, 18, 33};
        EXPECT_FALSE(fcurve_node_detail::EulerClosest(out, values, near, order));
        for (int a = 0; a < 3; ++a)
            EXPECT_DOUBLE_EQ(out[a], values[a]) << "order " << order << " axis " << a;
        const double far[3] = {370, 740, -330};
        fcurve_node_detail::EulerClosest(out, values, far, order);
        EXPECT_DOUBLE_EQ(out[0], 370) << "order " << order;
        EXPECT_DOUBLE_EQ(out[1], 740) << "order " << order;
        EXPECT_DOUBLE_EQ(out[2], -330) << "order " << order;
    }
}

TEST(FCurveNodeEval, AnAdditiveLayerOverAnEulerBaseAddsItsOwnLayers) {
    // Base Euler (30, 0, 0); layer 1 additive (0, 30, 0) with layer 2 (0, 0, 40) above it: the
    // additive layer adds its layer's angles, and the sum (0, 30, 40) turns before the base.
    VFCurveNode* node = Vector3Node("R", "Lcl Rotation", 2, 30, 0, 0);
    node->CreateLayerAt(1);
    node->CreateLayerAt(2);
    VFCurveNode* first = node->GetNextLayer();
    ASSERT_NE(first, nullptr);
    VFCurveNode* second = first->GetNextLayer();
    ASSERT_NE(second, nullptr);
    first->SetLayerType(eFCURVENODE_LAYER_ADDITIVE);
    const double one[3] = {0, 30, 0}, two[3] = {0, 0, 40};
    first->SetDefaultValues(one);
    second->SetDefaultValues(two);
    double v[3];
    ASSERT_EQ(node->Evaluate(v, Sec(1)) - v, 3);
    ExpectSameRotation(EulerXYZ(v[0], v[1], v[2]), Mul(EulerXYZ(0, 30, 40), EulerXYZ(30, 0, 0)));
    delete node;
}
