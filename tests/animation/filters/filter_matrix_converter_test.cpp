#include <gtest/gtest.h>

#include <cmath>

#include "animation/filters/fcurve_filter_matrix_converter.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

// A transform node with "T", "R" and "S" channels; translation X runs 0..3 over
// frames 0..3.
VFCurveNode* MakeTransform() {
    VFCurveNode* root = VFCurveNode::Create("Transform", "Transform", nullptr);
    root->Add(MakeChannel("T", 1));
    root->Add(MakeChannel("R", 2));
    root->Add(MakeChannel("S", 3));
    for (int c = 0; c < 3; ++c)
        root->Get(2)->Get(c)->FCurveGet()->SetDefaultValue(1.0f);
    SetKeys(*root->Get(0)->Get(0)->FCurveGet(), {{Frames(0), 0.0f}, {Frames(3), 3.0f}},
            VFCurveKey::eInterpolationLinear);
    return root;
}

VFCurve* Curve(VFCurveNode* root, int channel, int axis) {
    return root->Get(channel)->Get(axis)->FCurveGet();
}

void Translation(double m[4][4], double x, double y, double z) {
    VgeMatrixIdentity(m);
    m[3][0] = x;
    m[3][1] = y;
    m[3][2] = z;
}

}  // namespace

TEST(filters_MatrixConverter, Refusals) {
    VFCurveFilterMatrixConverter filter;
    NodePtr root(MakeTransform());
    CurvePtr curve = FrameCurve({1, 2});
    EXPECT_FALSE(filter.Apply(*curve));
    EXPECT_EQ(filter.GetLastErrorID(), 2);
    EXPECT_STREQ(filter.GetLastErrorString(), "MatrixConverter, invalid apply method.");

    // The period is 0 until set: refused before anything changes.
    double shift[4][4];
    Translation(shift, 10, 0, 0);
    filter.SetSourceMatrix(0, shift);
    SetKeys(*Curve(root.get(), 1, 0), {{Frames(0), 170.0f}, {Frames(1), -170.0f}});
    EXPECT_FALSE(filter.Apply(*root, true));
    EXPECT_EQ(filter.GetLastErrorID(), 4);
    EXPECT_FLOAT_EQ(Curve(root.get(), 1, 0)->KeyGetValue(1), -170.0f);
    EXPECT_FLOAT_EQ(Curve(root.get(), 0, 0)->KeyGetValue(1), 3.0f);

    // A missing curve.
    filter.SetResamplingPeriod(Frames(1));
    NodePtr partial(MakeTransform());
    partial->Get(2)->Delete(1);
    EXPECT_FALSE(filter.Apply(*partial, true));
    EXPECT_EQ(filter.GetLastErrorID(), 3);
}

TEST(filters_MatrixConverter, EqualSetsStillUnrollAndReduce) {
    VFCurveFilterMatrixConverter filter;
    filter.SetResamplingPeriod(Frames(1));
    NodePtr root(MakeTransform());
    SetKeys(*Curve(root.get(), 1, 0), {{Frames(0), 170.0f}, {Frames(1), -170.0f}});
    EXPECT_FALSE(filter.Apply(*root, true));
    EXPECT_EQ(filter.GetLastErrorID(), 1);
    EXPECT_FLOAT_EQ(Curve(root.get(), 1, 0)->KeyGetValue(1), 190.0f);
    // The flat Y curve the unroll gave keys loses them to the constant key
    // reducer; the translation line keeps its keys.
    EXPECT_EQ(Curve(root.get(), 1, 1)->KeyGetCount(), 0);
    EXPECT_EQ(Curve(root.get(), 0, 0)->KeyGetCount(), 2);
}

TEST(filters_MatrixConverter, OuterTranslationMovesTheKeys) {
    VFCurveFilterMatrixConverter filter;
    filter.SetResamplingPeriod(Frames(1));
    filter.SetApplyUnroll(false);
    filter.SetApplyConstantKeyReducer(false);
    double shift[4][4];
    Translation(shift, 10, 0, 0);
    filter.SetSourceMatrix(0, shift);
    NodePtr root(MakeTransform());
    EXPECT_TRUE(filter.Apply(*root, true));
    VFCurve* x = Curve(root.get(), 0, 0);
    ASSERT_EQ(x->KeyGetCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(x->KeyGetTime(i), Frames(i));
        EXPECT_NEAR(x->KeyGetValue(i), 10.0 + i, 1e-5);
        EXPECT_EQ(x->KeyGetInterpolation(i), (unsigned)VFCurveKey::eInterpolationLinear);
    }
    EXPECT_NEAR(Curve(root.get(), 2, 0)->KeyGetValue(2), 1.0, 1e-6);
    EXPECT_NEAR(Curve(root.get(), 1, 2)->KeyGetValue(2), 0.0, 1e-6);

    // The same offset in the destination set takes it away again.
    VFCurveFilterMatrixConverter back;
    back.SetResamplingPeriod(Frames(1));
    back.SetApplyUnroll(false);
    back.SetApplyConstantKeyReducer(false);
    back.SetDestinationMatrix(0, shift);
    EXPECT_TRUE(back.Apply(*root, true));
    x = Curve(root.get(), 0, 0);  // the converted curves replace the old ones
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(x->KeyGetValue(i), (double)i, 1e-5);
}

TEST(filters_MatrixConverter, ScalingAndRotationSlots) {
    VFCurveFilterMatrixConverter filter;
    filter.SetResamplingPeriod(Frames(1));
    filter.SetApplyUnroll(false);
    filter.SetApplyConstantKeyReducer(false);
    double scaling[4][4];
    VgeMatrixIdentity(scaling);
    scaling[0][0] = scaling[1][1] = scaling[2][2] = 2.0;
    filter.SetSourceMatrix(2, scaling);
    double pre[4][4];
    VgeMatrixIdentity(pre);
    VgeEulerXYZToMatrix(pre, 0, 0, 90);
    filter.SetSourceMatrix(3, pre);
    NodePtr root(MakeTransform());
    EXPECT_TRUE(filter.Apply(*root, true));
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(Curve(root.get(), 2, c)->KeyGetValue(1), 2.0, 1e-5);
    EXPECT_NEAR(Curve(root.get(), 1, 2)->KeyGetValue(1), 90.0, 1e-4);
    EXPECT_NEAR(Curve(root.get(), 0, 0)->KeyGetValue(1), 1.0, 1e-5);
}

TEST(filters_MatrixConverter, DefaultsOnlyAndLastKey) {
    VFCurveFilterMatrixConverter filter;
    filter.SetResamplingPeriod(Frames(1));
    filter.SetApplyUnroll(false);
    filter.SetApplyConstantKeyReducer(false);
    double shift[4][4];
    Translation(shift, 10, 0, 0);
    filter.SetSourceMatrix(0, shift);

    NodePtr still(MakeTransform());
    SetKeys(*Curve(still.get(), 0, 0), {});
    Curve(still.get(), 0, 0)->SetDefaultValue(1.0f);
    EXPECT_TRUE(filter.Apply(*still, true));
    EXPECT_EQ(Curve(still.get(), 0, 0)->KeyGetCount(), 0);
    EXPECT_FLOAT_EQ(Curve(still.get(), 0, 0)->GetDefaultValue(), 11.0f);

    // Keys at 0 and 1.5 frames: samples at 0 and 1, then the last key at 1.5 or,
    // with the last key at end time off, at the next sample time.
    NodePtr root(MakeTransform());
    SetKeys(*Curve(root.get(), 0, 0), {{Frames(0), 0.0f}, {Frames(1.5), 3.0f}});
    EXPECT_TRUE(filter.Apply(*root, true));
    ASSERT_EQ(Curve(root.get(), 0, 0)->KeyGetCount(), 3);
    EXPECT_EQ(Curve(root.get(), 0, 0)->KeyGetTime(2), Frames(1.5));
    NodePtr late(MakeTransform());
    SetKeys(*Curve(late.get(), 0, 0), {{Frames(0), 0.0f}, {Frames(1.5), 3.0f}});
    filter.SetLastKeyAtEndTime(false);
    EXPECT_TRUE(filter.Apply(*late, true));
    ASSERT_EQ(Curve(late.get(), 0, 0)->KeyGetCount(), 3);
    EXPECT_EQ(Curve(late.get(), 0, 0)->KeyGetTime(2), Frames(2));
}
