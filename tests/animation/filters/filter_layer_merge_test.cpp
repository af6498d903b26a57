#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "animation/anim_settings.h"
#include "animation/layer_merge.h"
#include "base/vge_euler.h"
#include "filter_test_util.h"

using namespace filter_test;

namespace {

const VTime kPeriod(1539538600);  // 1/30 s

// Sets the keys of channel c of the layer `id` of `node`.
void SetLayerKeys(VFCurveNode* node, int id, int c, const std::vector<std::pair<VTime, float>>& keys,
                  unsigned interpolation = VFCurveKey::eInterpolationCubic) {
    if (id != 0 && !node->GetLayer(id)) node->CreateLayerAt(id);
    SetKeys(*node->GetLayer(id)->Get(c)->FCurveGet(), keys, interpolation);
}

}  // namespace

TEST(filters_LayerMerge, AdditiveTranslation) {
    NodePtr t(MakeChannel("T", 1));
    SetLayerKeys(t.get(), 0, 0, {{Seconds(0), 0.0f}, {Seconds(1), 30.0f}}, VFCurveKey::eInterpolationLinear);
    SetLayerKeys(t.get(), 1, 0, {{Seconds(0), 10.0f}, {Seconds(1), 10.0f}});
    EXPECT_TRUE(VFCurveNodeMergeLayers(t.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(1), kPeriod));
    VFCurve* x = Axis(t.get(), 0);
    ASSERT_EQ(x->KeyGetCount(), 31);
    for (int i = 0; i <= 30; ++i) {
        EXPECT_EQ(x->KeyGetTime(i), kPeriod * i);
        EXPECT_NEAR(x->KeyGetValue(i), 10.0 + i, 1e-4);
    }
    EXPECT_EQ(Axis(t.get(), 1)->KeyGetCount(), 31);
    EXPECT_NE(t->GetLayer(1), nullptr);  // the other layers stay

    // A shorter period gives proportionally more keys.
    NodePtr fine(MakeChannel("T", 1));
    SetLayerKeys(fine.get(), 0, 0, {{Seconds(0), 0.0f}, {Seconds(1), 30.0f}});
    VTime half = VFCurveGetLayerMergePeriod();
    half.Set(half.Get() / 2);
    EXPECT_TRUE(VFCurveNodeMergeLayers(fine.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(1), half));
    EXPECT_EQ(Axis(fine.get(), 0)->KeyGetCount(), 61);
}

TEST(filters_LayerMerge, MultiplicativeEulerAndQuaternionLayers) {
    NodePtr s(MakeChannel("S", 3));
    SetLayerKeys(s.get(), 0, 0, {{Seconds(0), 1.5f}, {Seconds(0.1), 1.5f}});
    SetLayerKeys(s.get(), 1, 0, {{Seconds(0), 2.0f}});
    EXPECT_TRUE(VFCurveNodeMergeLayers(s.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(0.1), kPeriod));
    EXPECT_NEAR(Axis(s.get(), 0)->KeyGetValue(1), 3.0, 1e-6);
    EXPECT_NEAR(Axis(s.get(), 1)->KeyGetValue(1), 0.0,
                1e-6);  // no keys: default 0 times identity 1

    NodePtr r(MakeChannel("R", 2));
    SetLayerKeys(r.get(), 0, 0, {{Seconds(0), 30.0f}, {Seconds(0.1), 30.0f}});
    SetLayerKeys(r.get(), 1, 1, {{Seconds(0), 30.0f}});
    EXPECT_TRUE(VFCurveNodeMergeLayers(r.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(0.1), kPeriod));
    double merged[3] = {Axis(r.get(), 0)->KeyGetValue(0), Axis(r.get(), 1)->KeyGetValue(0),
                        Axis(r.get(), 2)->KeyGetValue(0)};
    EXPECT_GT(std::fabs(merged[2]), 1.0);  // not simply (30, 30, 0)
    double a[4][4], b[4][4], m[4][4];
    VgeEulerXYZToMatrix(a, 30, 0, 0);
    VgeEulerXYZToMatrix(b, 0, 30, 0);
    VgeEulerXYZToMatrix(m, merged[0], merged[1], merged[2]);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double ab = b[i][0] * a[0][j] + b[i][1] * a[1][j] + b[i][2] * a[2][j];
            EXPECT_NEAR(m[i][j], ab, 1e-5);
        }
    }

    NodePtr q(MakeChannel("Q", 4, true));
    const float half = (float)std::sin(15.0 * M_PI / 180.0), w = (float)std::cos(15.0 * M_PI / 180.0);
    SetLayerKeys(q.get(), 0, 2, {{Seconds(0), half}, {Seconds(0.1), half}});
    SetLayerKeys(q.get(), 0, 3, {{Seconds(0), w}, {Seconds(0.1), w}});
    q->CreateLayerAt(1);  // identity layer
    EXPECT_TRUE(VFCurveNodeMergeLayers(q.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(0.1), kPeriod));
    EXPECT_NEAR(Axis(q.get(), 2)->KeyGetValue(2), half, 1e-6);
    EXPECT_NEAR(Axis(q.get(), 3)->KeyGetValue(2), w, 1e-6);
    EXPECT_NEAR(Axis(q.get(), 0)->KeyGetValue(2), 0.0, 1e-6);

    double product[4];
    const double qa[4] = {0.1, 0.2, 0.3, 0.9}, qb[4] = {-0.4, 0.5, 0.1, 0.7};
    ComposeQuaternions(product, qa, qb);
    EXPECT_NEAR(product[3], 0.7 * 0.9 - (-0.4 * 0.1) - 0.5 * 0.2 - 0.1 * 0.3, 1e-12);
    EXPECT_NEAR(product[0], 0.9 * -0.4 + 0.7 * 0.1 + 0.1 * 0.2 - 0.5 * 0.3, 1e-12);
}

TEST(filters_LayerMerge, TimeWarpKeysAtSampleTimes) {
    NodePtr t(MakeChannel("T", 1));
    SetLayerKeys(t.get(), 0, 0, {{Seconds(0), 0.0f}, {Seconds(2), 60.0f}}, VFCurveKey::eInterpolationLinear);
    VFCurveNode* warp = VFCurveNode::Create("TimeWarp", "", nullptr);
    warp->FCurveSet(
        MakeCurve({{Seconds(0), 0.0f}, {Seconds(1), 2.0f}}, VFCurveKey::eInterpolationLinear).release());
    t->SetTimeWarp(warp);
    EXPECT_TRUE(VFCurveNodeMergeLayers(t.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                       Seconds(1), kPeriod));
    VFCurve* x = Axis(t.get(), 0);
    ASSERT_EQ(x->KeyGetCount(), 31);
    EXPECT_EQ(x->KeyGetTime(30), Seconds(1));
    EXPECT_NEAR(x->KeyGetValue(15), 30.0, 1e-3);
    EXPECT_NEAR(x->KeyGetValue(30), 60.0, 1e-3);
}

TEST(filters_LayerMerge, ConstantTreesMergeAtKeyTimes) {
    NodePtr t(MakeChannel("T", 1));
    SetLayerKeys(t.get(), 0, 0, {{Frames(0), 1.0f}, {Frames(10), 2.0f}}, VFCurveKey::eInterpolationConstant);
    SetLayerKeys(t.get(), 1, 0, {{Frames(0), 0.5f}, {Frames(5), 0.5f}}, VFCurveKey::eInterpolationConstant);
    EXPECT_TRUE(VFCurveNodeMergeLayers(t.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Frames(0),
                                       Frames(10), kPeriod));
    VFCurve* x = Axis(t.get(), 0);
    ASSERT_EQ(x->KeyGetCount(), 3);
    const float expected[3] = {1.5f, 1.5f, 2.5f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(x->KeyGetTime(i), Frames(5 * i));
        EXPECT_FLOAT_EQ(x->KeyGetValue(i), expected[i]);
        EXPECT_EQ(x->KeyGetInterpolation(i), (unsigned)VFCurveKey::eInterpolationConstant);
        EXPECT_EQ(x->KeyGetConstantMode(i), (unsigned)VFCurveKey::eConstantStandard);
    }

    // A next-mode key meeting a standard one becomes standard, followed by a key
    // 1/120 s later.
    NodePtr mixed(MakeChannel("T", 1));
    SetLayerKeys(mixed.get(), 0, 0, {{Frames(0), 1.0f}, {Frames(10), 2.0f}},
                 VFCurveKey::eInterpolationConstant);
    Axis(mixed.get(), 0)->KeySetConstantMode(0, VFCurveKey::eConstantNext);
    SetLayerKeys(mixed.get(), 1, 0, {{Frames(0), 0.5f}}, VFCurveKey::eInterpolationConstant);
    EXPECT_TRUE(VFCurveNodeMergeLayers(mixed.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Frames(0),
                                       Frames(10), kPeriod));
    x = Axis(mixed.get(), 0);
    ASSERT_EQ(x->KeyGetCount(), 3);
    EXPECT_EQ(x->KeyGetConstantMode(0), (unsigned)VFCurveKey::eConstantStandard);
    EXPECT_EQ(x->KeyGetTime(1), VTime(384884650));
    EXPECT_FLOAT_EQ(x->KeyGetValue(1), 2.5f);
    EXPECT_EQ(x->KeyGetTime(2), Frames(10));
}

TEST(filters_LayerMerge, KeylessNodesKeepTheirValueAndBadPeriodsAreRefused) {
    NodePtr s(MakeChannel("S", 3));
    for (int c = 0; c < 3; ++c)
        Axis(s.get(), c)->SetDefaultValue(1.0f);
    s->CreateLayerAt(1);
    VTime start = VTIME_INFINITE, stop = VTIME_MINUS_INFINITE;
    EXPECT_FALSE(s->GetAnimationInterval(start, stop));
    EXPECT_TRUE(
        VFCurveNodeMergeLayers(s.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, start, stop, kPeriod));
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(Axis(s.get(), c)->KeyGetCount(), 0);
        EXPECT_FLOAT_EQ(Axis(s.get(), c)->GetDefaultValue(), 1.0f);
    }

    NodePtr t(MakeChannel("T", 1));
    SetLayerKeys(t.get(), 0, 0, {{Seconds(0), 0.0f}, {Seconds(1), 30.0f}});
    EXPECT_FALSE(VFCurveNodeMergeLayers(t.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                        Seconds(1), VTime(0)));
    // A span from file data that would need billions of samples is refused, not allocated.
    EXPECT_FALSE(VFCurveNodeMergeLayers(t.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER, Seconds(0),
                                        VTime(4000000000000000000LL), kPeriod));
    EXPECT_EQ(Axis(t.get(), 0)->KeyGetCount(), 2);
}

TEST(filters_LayerMerge, MergedCurvesEvaluateAsTheLayeredNode) {
    struct Case {
        const char* name;
        int type;
    };
    for (Case kind : {Case{"T", 1}, Case{"S", 3}, Case{"R", 2}}) {
        NodePtr node(MakeChannel(kind.name, kind.type));
        for (int c = 0; c < 3; ++c) {
            SetLayerKeys(node.get(), 0, c,
                         {{Seconds(0), 10.0f * c + 5}, {Seconds(0.5), 40.0f - c}, {Seconds(1), 1.5f}});
            SetLayerKeys(node.get(), 1, c, {{Seconds(0.2), 2.0f + c}, {Seconds(0.8), -20.0f}});
            SetLayerKeys(node.get(), 2, c, {{Seconds(0), 0.5f * c}, {Seconds(1), 25.0f}});
        }
        std::vector<std::array<double, 4>> before;
        for (int i = 0; i <= 30; ++i) {
            std::array<double, 4> v{};
            node->Evaluate(v.data(), kPeriod * i);
            before.push_back(v);
        }
        EXPECT_TRUE(VFCurveNodeMergeLayers(node.get(), nullptr, 0, eFCURVENODE_MERGE_TO_TARGET_LAYER,
                                           Seconds(0), Seconds(1), kPeriod));
        for (int i = 0; i <= 30; ++i) {
            double merged[3] = {Axis(node.get(), 0)->KeyGetValue(i), Axis(node.get(), 1)->KeyGetValue(i),
                                Axis(node.get(), 2)->KeyGetValue(i)};
            if (kind.type == 2) {
                double a[4][4], b[4][4];
                VgeEulerXYZToMatrix(a, merged[0], merged[1], merged[2]);
                VgeEulerXYZToMatrix(b, before[(size_t)i][0], before[(size_t)i][1], before[(size_t)i][2]);
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c)
                        EXPECT_NEAR(a[r][c], b[r][c], 1e-5) << kind.name << " " << i;
                }
            } else {
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(merged[c], before[(size_t)i][(size_t)c], 1e-3) << kind.name << " " << i;
            }
        }
    }
}
