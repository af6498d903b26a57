// The plain-channel evaluation against the general curve-node walk: on channels of random shapes
// (plain, rotation, layered, time-warped, quaternion-interpolated, with a curve of their own),
// Evaluate gives the values of the general walk bit for bit and leaves the same candidate totals,
// and EvaluatePlainLeaves answers only for the plain shape.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "fcurve_node_test_util.h"

using namespace fcn_test;

namespace {

enum Shape {
    kPlain,
    kRotation,
    kQuaternionInterpolated,
    kLayered,
    kWarped,
    kOwnCurve,
    kTwoChildren,
    kShapes
};

// Random cubic keys (sometimes none, sometimes one) on each curve of the node's leaves.
void KeyLeaves(VFCurveNode* node, std::mt19937& random) {
    std::uniform_real_distribution<double> value(-90.0, 90.0);
    for (int i = 0; i < node->GetCount(); ++i) {
        VFCurve* curve = node->Get(i)->FCurveGet();
        if (!curve) continue;
        const int keys = (int)(random() % 6);
        double seconds = 0.0;
        for (int k = 0; k < keys; ++k) {
            seconds += 0.1 + (double)(random() % 10) / 20.0;
            VFCurveKey key;
            key.Set(Sec(seconds), (float)value(random),
                    k % 2 ? VFCurveKey::eInterpolationCubic : VFCurveKey::eInterpolationLinear);
            curve->KeyAdd(Sec(seconds), key);
        }
    }
}

// A channel of `shape` with keys drawn from `seed`: two calls with the same arguments build equal
// channels.
VFCurveNode* MakeChannel(Shape shape, unsigned seed) {
    std::mt19937 random(seed);
    const bool rotation = shape == kRotation || shape == kQuaternionInterpolated;
    VFCurveNode* node = rotation ? Vector3Node("R", "Lcl Rotation", eFCURVENODE_LAYER_EULER_ROTATION, 1, 2, 3)
                                 : Vector3Node("T", "Lcl Translation", 1, 4, 5, 6);
    if (shape == kTwoChildren) node->DeleteChild(node->Get(2));
    KeyLeaves(node, random);
    if (shape == kQuaternionInterpolated) node->SetQuaternionInterpolation(true);
    if (shape == kLayered) {
        node->CreateLayerAt(1);
        KeyLeaves(node->GetNextLayer(), random);
    }
    if (shape == kWarped) {
        VFCurveNode* warp = VFCurveNode::CreateFromName("Warp", VDataType::Find("TimeWarp"));
        warp->FCurveSet(LinearCurve({{0, 0}, {10, 5}}));
        node->SetTimeWarp(warp);
    }
    if (shape == kOwnCurve) node->FCurveSet(LinearCurve({{0, 1}, {3, 2}}));
    return node;
}

// The candidate totals of a node and its leaves, as raw bytes (NaN or not).
std::vector<unsigned char> Totals(const VFCurveNode* node) {
    std::vector<unsigned char> bytes;
    auto add = [&bytes](const VFCurveNode* n) {
        double values[4] = {0, 0, 0, 0};
        const double* end = n->CandidateTotalGet(values);
        const size_t count = (size_t)(end - values);
        bytes.push_back((unsigned char)count);
        bytes.insert(bytes.end(), (const unsigned char*)values, (const unsigned char*)(values + count));
    };
    add(node);
    for (int i = 0; i < node->GetCount(); ++i)
        add(node->Get(i));
    return bytes;
}

}  // namespace

TEST(FCurveNodePlainLeaves, SameValuesAndCandidatesAsTheGeneralWalk) {
    std::mt19937 times(5);
    for (unsigned seed = 1; seed <= 40; ++seed) {
        for (int s = 0; s < kShapes; ++s) {
            const Shape shape = (Shape)s;
            VFCurveNode* general = MakeChannel(shape, seed);
            VFCurveNode* fast = MakeChannel(shape, seed);
            // Forward, repeated, backward and out-of-range times, as writers and editors ask.
            for (int step = 0; step < 30; ++step) {
                const double seconds = step < 20 ? 0.15 * step : -1.0 + (double)(times() % 80) / 10.0;
                const VTime time = Sec(seconds);
                for (int again = 0; again < (step % 3 == 0 ? 2 : 1); ++again) {
                    double a[8], b[8];
                    std::memset(a, 0xAB, sizeof a);
                    std::memset(b, 0xAB, sizeof b);
                    const int countA = (int)(VFCurveNodeEval::Full(general, a, time, nullptr, true) - a);
                    const int countB = (int)(fast->Evaluate(b, time) - b);
                    ASSERT_EQ(countA, countB) << "shape " << s << " seed " << seed;
                    ASSERT_EQ(std::memcmp(a, b, sizeof a), 0)
                        << "shape " << s << " seed " << seed << " t " << seconds;
                    ASSERT_EQ(Totals(general), Totals(fast)) << "shape " << s << " seed " << seed;
                }
            }
            delete general;
            delete fast;
        }
    }
}

TEST(FCurveNodePlainLeaves, StoredAndProposedTotalsAnswerAsInTheGeneralWalk) {
    for (unsigned seed = 1; seed <= 10; ++seed) {
        VFCurveNode* general = MakeChannel(kPlain, seed);
        VFCurveNode* fast = MakeChannel(kPlain, seed);
        const double proposed[3] = {11.0, -12.0, 13.5};
        double a[3], b[3];
        // A total proposed for a time answers at that time, at another time the curves do.
        ASSERT_TRUE(general->CandidateSet(Sec(0.5), proposed));
        ASSERT_TRUE(fast->CandidateSet(Sec(0.5), proposed));
        for (double seconds : {0.5, 0.5, 0.7, 0.5}) {
            VFCurveNodeEval::Full(general, a, Sec(seconds), nullptr, true);
            fast->Evaluate(b, Sec(seconds));
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << seed << " " << seconds;
            ASSERT_EQ(Totals(general), Totals(fast)) << seed << " " << seconds;
        }
        // A key changed after an evaluation: the stored total no longer answers.
        for (VFCurveNode* node : {general, fast}) {
            VFCurveKey key;
            key.Set(Sec(0.5), 77.0f, VFCurveKey::eInterpolationLinear);
            node->Get(0)->FCurveGet()->KeyAdd(Sec(0.5), key);
        }
        VFCurveNodeEval::Full(general, a, Sec(0.5), nullptr, true);
        fast->Evaluate(b, Sec(0.5));
        EXPECT_EQ(std::memcmp(a, b, sizeof a), 0) << seed;
        EXPECT_EQ(Totals(general), Totals(fast)) << seed;
        delete general;
        delete fast;
    }
}

TEST(FCurveNodePlainLeaves, AnswersOnlyForThreePlainLeaves) {
    for (int s = 0; s < kShapes; ++s) {
        VFCurveNode* node = MakeChannel((Shape)s, 3);
        double values[4] = {-1, -1, -1, -1};
        double* end = node->EvaluatePlainLeaves(values, Sec(0.25));
        if (s == kPlain || s == kRotation) {
            EXPECT_EQ(end, values + 3) << s;
        } else {
            EXPECT_EQ(end, nullptr) << s;
            for (double v : values)
                EXPECT_EQ(v, -1.0) << s;
        }
        delete node;
    }
    // A leaf with children or without a curve is not plain either.
    VFCurveNode* node = MakeChannel(kPlain, 4);
    node->Get(1)->FCurveSet(nullptr, true);
    double values[3];
    EXPECT_EQ(node->EvaluatePlainLeaves(values, Sec(0)), nullptr);
    delete node;
}

// GetPlainCurves hands out the curves only while evaluation gives exactly their values: stored
// totals and candidates that agree with the curves may stay, any other answer keeps the channel
// on the general evaluation.
TEST(FCurveNodePlainLeaves, PlainCurvesOnlyWhileNothingStoredAnswersOtherwise) {
    auto fresh = [] {
        VFCurveNode* node = MakeChannel(kPlain, 11);
        for (int i = 0; i < 3; ++i) {
            VFCurve* curve = node->Get(i)->FCurveGet();
            VFCurveKey key;
            key.Set(Sec(0.0), 1.0f + (float)i, VFCurveKey::eInterpolationLinear);
            curve->KeyAdd(Sec(0.0), key);
            key.Set(Sec(2.0), 5.0f, VFCurveKey::eInterpolationLinear);
            curve->KeyAdd(Sec(2.0), key);
        }
        return node;
    };
    VFCurve* curves[3] = {};
    VFCurveNode* node = fresh();
    ASSERT_TRUE(node->GetPlainCurves(curves));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(curves[i], node->Get(i)->FCurveGet());

    // An evaluation leaves totals and candidates equal to the curves' values.
    double values[3];
    node->Evaluate(values, Sec(0.5));
    EXPECT_TRUE(node->GetPlainCurves(curves));
    // A candidate set by hand at another value is not.
    node->Get(1)->FCurveGet()->CandidateSet(Sec(0.75), 40.0);
    EXPECT_FALSE(node->GetPlainCurves(curves));
    delete node;

    // Nor is a total set by hand, or an evaluated total that holds at any time.
    node = fresh();
    const double mine[3] = {7.0, 8.0, 9.0};
    node->CandidateSet(Sec(1.0), mine);
    EXPECT_FALSE(node->GetPlainCurves(curves));
    delete node;
    node = fresh();
    node->Evaluate(values, Sec(0.5));
    node->SetCandidateAtAnyTime(true);
    EXPECT_FALSE(node->GetPlainCurves(curves));
    delete node;

    // After a key change the stored values go with it: the curves are handed out again, and
    // evaluation gives their new values.
    node = fresh();
    node->Evaluate(values, Sec(1.0));
    VFCurve* first = node->Get(0)->FCurveGet();
    first->KeySetValue(1, 6.0f);
    ASSERT_TRUE(node->GetPlainCurves(curves));
    node->Evaluate(values, Sec(1.0));
    EXPECT_EQ(values[0], (double)curves[0]->Evaluate(Sec(1.0)));
    delete node;
}
