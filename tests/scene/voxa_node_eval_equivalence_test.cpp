// The writers' sampling against the long way of evaluation on random scenes: two copies of a
// scene built from one seed (rotation orders, active rotation, pivots, offsets, pre- and
// post-rotation, inherit types, limits, keyed and layered takes, stored candidates, nodes left on
// the default take), one evaluated with VOxaNode::SetReferenceEvaluation and the recursive hierarchy passes,
// the other through VOxaMotionSampler with held channels and its own records. Every local, global and
// stamped matrix agrees bit for bit at every frame, and after the sampling the nodes hold what the
// nodes' own way leaves on them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "formats/motion/voxa_motion_base.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr int kNodes = 14;
constexpr int kFrames = 45;

VTime FrameTime(int frame) {
    return VTime(VTime::kOneSecond * frame / 30);
}

struct RandomScene {
    VOxaNode* root = nullptr;
    std::vector<VOxaNode*> nodes;  // root first
};

void KeyCurve(VFCurve* curve, std::mt19937& random, double base, double spread) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const int keys = (int)(random() % 7);
    int frame = 0;
    for (int k = 0; k < keys; ++k) {
        frame += 1 + (int)(random() % 12);
        VFCurveKey key;
        key.Set(FrameTime(frame), (float)(base + spread * unit(random)),
                k % 3 == 0 ? VFCurveKey::eInterpolationLinear : VFCurveKey::eInterpolationCubic);
        curve->KeyAdd(FrameTime(frame), key);
    }
}

VgeTVector RandomVector(std::mt19937& random, double spread) {
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    return VgeTVector(spread * unit(random), spread * unit(random), spread * unit(random), 0.0);
}

// The transform settings of one node: each kind present on some nodes only. A plain node has
// no pivots or offsets.
void RandomSettings(VOxaNode* node, std::mt19937& random, bool plain) {
    node->SetRotationOrder(0, (ERotationOrder)(random() % 7));
    if (random() % 2) node->SetRotationActive(true);
    if (random() % 3 == 0) node->SetUseRotationSpaceForLimitOnly(0, true);
    if (plain) {
        if (random() % 2) node->SetPreRotation(0, RandomVector(random, 60.0));
        node->SetTransformInheritType((ETransformInheritType)(random() % 3));
        node->SetLclTranslation(RandomVector(random, 4.0));
        node->SetLclRotation(RandomVector(random, 45.0));
        if (random() % 3 == 0) node->SetLclScaling(VgeTVector(1.25, 0.75, 1.0, 0.0));
        return;
    }
    if (random() % 2) node->SetRotationPivot(0, RandomVector(random, 3.0));
    if (random() % 3 == 0) node->SetScalingPivot(0, RandomVector(random, 2.0));
    if (random() % 3 == 0) node->SetRotationOffset(0, RandomVector(random, 2.0));
    if (random() % 3 == 0) node->SetScalingOffset(0, RandomVector(random, 1.0));
    if (random() % 2) node->SetPreRotation(0, RandomVector(random, 60.0));
    if (random() % 3 == 0) node->SetPostRotation(0, RandomVector(random, 60.0));
    node->SetTransformInheritType((ETransformInheritType)(random() % 3));
    if (random() % 3 == 0) {
        VOxaNodeProperties* p = node->GetNodeProperties();
        p->SetTranslationMax(VgeTVector(1.5, 2.0, 0.5, 0));
        p->SetTranslationMaxX(true);
        p->SetRotationMin(VgeTVector(-20, -30, -10, 0));
        p->SetRotationMinY(true);
        p->SetRotationMinZ(true);
        p->SetScalingMin(VgeTVector(0.9, 0.8, 0.95, 0));
        p->SetScalingMinX(true);
        node->UpdatePivotsFromProperties();
    }
    node->SetLclTranslation(RandomVector(random, 4.0));
    node->SetLclRotation(RandomVector(random, 45.0));
    if (random() % 3 == 0) node->SetLclScaling(VgeTVector(1.25, 0.75, 1.0, 0.0));
}

// A take "Take1" made current with keys on some curves; the scaling often stays exactly 1.
// Some rotations carry a second layer, some interpolate in quaternions. A still take keys the
// translation only.
void RandomTake(VOxaNode* node, std::mt19937& random, bool still) {
    node->AddTakeNode("Take1");
    node->SetCurrentTakeNode("Take1");
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurve* t[3] = {take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ()};
    VFCurve* r[3] = {take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ()};
    VFCurve* s[3] = {take->GetScaleX(), take->GetScaleY(), take->GetScaleZ()};
    for (int a = 0; a < 3; ++a) {
        KeyCurve(t[a], random, 0.0, 5.0);
        if (still) continue;
        KeyCurve(r[a], random, 0.0, 170.0);
        if (random() % 3 == 0) KeyCurve(s[a], random, 1.0, 0.5);
    }
    // Values stored before the sampling: an evaluation's own (they agree with the curves), a
    // candidate or a total set by hand (they answer instead of the curves).
    if (VFCurveNode* translation = take->GetVFCurveNode()->FindChild("Transform/T")) {
        const VTime at = FrameTime((int)(random() % kFrames));
        double values[3] = {1.0, -2.0, 3.0};
        switch (random() % 6) {
            case 0:
                translation->Evaluate(values, at);
                break;
            case 1:
                t[random() % 3]->CandidateSet(at, 12.5);
                break;
            case 2:
                translation->CandidateSet(at, values);
                break;
            default:
                break;
        }
    }
    VFCurveNode* rotation = take->GetVFCurveNode()->FindChild("Transform/R");
    if (!rotation) return;
    if (random() % 4 == 0) {
        rotation->CreateLayerAt(1);
        if (VFCurveNode* layer = rotation->GetNextLayer()) {
            layer->CreateFCurves();
            for (int a = 0; a < layer->GetCount(); ++a)
                if (VFCurve* curve = layer->Get(a)->FCurveGet()) KeyCurve(curve, random, 0.0, 40.0);
        }
    }
    if (random() % 5 == 0) rotation->SetQuaternionInterpolation(true);
}

// A still scene (`still`) has nodes whose rotation and scaling hold while they move: half of its
// nodes are plain and keep their rotation and scaling, as markers do.
RandomScene Build(VOxaSdkManager* manager, unsigned seed, bool still = false) {
    std::mt19937 random(seed);
    RandomScene scene;
    for (int i = 0; i < kNodes; ++i) {
        VOxaNode* node = manager->CreateNode(("N" + std::to_string(seed) + "_" + std::to_string(i)).c_str());
        if (i > 0) scene.nodes[random() % scene.nodes.size()]->AddChild(node);
        scene.nodes.push_back(node);
        const bool plain = still && random() % 2;
        RandomSettings(node, random, plain);
        // A few nodes keep only the default take.
        if (random() % 4 != 0) RandomTake(node, random, plain);
    }
    scene.root = scene.nodes[0];
    return scene;
}

void ExpectSame(const VgeAMatrix& a, const VgeAMatrix& b, const std::string& what) {
    ASSERT_EQ(std::memcmp(a.mData, b.mData, sizeof a.mData), 0) << what;
}

void ExpectSame(const double* a, const double* b, const std::string& what) {
    ASSERT_EQ(std::memcmp(a, b, 3 * sizeof(double)), 0) << what;
}

// Everything an evaluation leaves on a node: its stamped transform and its take cache.
void ExpectSameState(VOxaNode* a, VOxaNode* b, const std::string& what) {
    const VOxaStampedTransform& x = a->GetStampedTransform();
    const VOxaStampedTransform& y = b->GetStampedTransform();
    EXPECT_EQ(x.mStamp, y.mStamp) << what;
    ExpectSame(x.mLocalTranslation, y.mLocalTranslation, what + " local translation");
    ExpectSame(x.mLocalRotationAngles, y.mLocalRotationAngles, what + " local angles");
    ExpectSame(x.mLocalRotation, y.mLocalRotation, what + " local rotation");
    ExpectSame(x.mLocalScaling, y.mLocalScaling, what + " local scaling");
    ExpectSame(x.mGlobalMatrix, y.mGlobalMatrix, what + " global matrix");
    ExpectSame(x.mGlobalTranslation, y.mGlobalTranslation, what + " global translation");
    ExpectSame(x.mGlobalRotation, y.mGlobalRotation, what + " global rotation");
    ExpectSame(x.mGlobalScaling, y.mGlobalScaling, what + " global scaling");
    const VOxaTransformCache& c = a->GetTakeTransformCache();
    const VOxaTransformCache& d = b->GetTakeTransformCache();
    EXPECT_EQ(c.mLocalValid, d.mLocalValid) << what;
    EXPECT_EQ(c.mGlobalValid, d.mGlobalValid) << what;
    if (c.mLocalValid && d.mLocalValid) {
        EXPECT_EQ(c.mLocalTime, d.mLocalTime) << what;
        ExpectSame(c.mLocalMatrix, d.mLocalMatrix, what + " cached local matrix");
        ExpectSame(c.mLocalTranslation, d.mLocalTranslation, what + " cached translation");
        ExpectSame(c.mLocalRotation, d.mLocalRotation, what + " cached rotation");
        ExpectSame(c.mLocalScaling, d.mLocalScaling, what + " cached scaling");
    }
}

// ExpectSameState over every node of two scenes built alike, `what` naming the case.
void ExpectSameStates(const RandomScene& sampled, const RandomScene& reference, const std::string& what) {
    for (int i = 0; i < kNodes; ++i)
        ExpectSameState(sampled.nodes[(size_t)i], reference.nodes[(size_t)i],
                        what + " node " + std::to_string(i));
}

class NodeEvalEquivalence : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override {
        VOxaNode::SetReferenceEvaluation(false);
        delete mManager;
    }
    VOxaSdkManager* mManager = nullptr;
};

}  // namespace

TEST_F(NodeEvalEquivalence, SamplerMatchesTheLongWayOnRandomScenes) {
    for (unsigned seed = 1; seed <= 50; ++seed) {
        const bool still = seed > 25;
        RandomScene reference = Build(mManager, seed, still);
        RandomScene sampled = Build(mManager, seed, still);
        VOxaMotionSampler sampler(sampled.root);
        std::mt19937 order(seed);
        std::vector<int> asked(kNodes);
        for (int i = 0; i < kNodes; ++i)
            asked[(size_t)i] = i;
        for (int frame = 0; frame < kFrames; ++frame) {
            // Frames in order, with a step back now and then.
            const VTime time = FrameTime(frame % 10 == 9 ? frame - 5 : frame);
            std::shuffle(asked.begin(), asked.end(), order);
            const std::string at = "seed " + std::to_string(seed) + " frame " + std::to_string(frame);

            VOxaNode::SetReferenceEvaluation(true);
            VOxaMotionSupport::EvaluateHierarchy(reference.root, time);
            std::vector<VgeAMatrix> stamped(kNodes);
            for (int i : asked)
                stamped[(size_t)i] = VOxaMotionSupport::GlobalMatrix(reference.nodes[(size_t)i]);

            VOxaNode::SetReferenceEvaluation(false);
            sampler.Evaluate(time);
            ASSERT_TRUE(sampler.IsUsingRecords());
            for (int i : asked)
                ExpectSame(sampler.GlobalMatrix(sampled.nodes[(size_t)i]), stamped[(size_t)i],
                           at + " stamped node " + std::to_string(i));

            for (int i : asked) {
                VOxaNode::SetReferenceEvaluation(true);
                const VgeAMatrix local = reference.nodes[(size_t)i]->EvaluateLocalTransform(time);
                const VgeAMatrix global = reference.nodes[(size_t)i]->EvaluateGlobalTransform(time);
                VOxaNode::SetReferenceEvaluation(false);
                ExpectSame(sampled.nodes[(size_t)i]->EvaluateLocalTransform(time), local,
                           at + " local node " + std::to_string(i));
                ExpectSame(sampled.nodes[(size_t)i]->EvaluateGlobalTransform(time), global,
                           at + " global node " + std::to_string(i));
            }
        }
        for (int i = 0; i < kNodes; ++i) {
            VOxaNode::SetReferenceEvaluation(true);
            const VgeAMatrix global = reference.nodes[(size_t)i]->GetDefaultGlobalTransform();
            VOxaNode::SetReferenceEvaluation(false);
            ExpectSame(sampled.nodes[(size_t)i]->GetDefaultGlobalTransform(), global,
                       "seed " + std::to_string(seed) + " default global node " + std::to_string(i));
        }
    }
}

// Some nodes asked for at each frame, in random order, as a writer with some marked nodes asks:
// after the sampling each node holds the same stamped transform and take cache as after the
// nodes' own passes over the same frames.
TEST_F(NodeEvalEquivalence, SamplerLeavesTheNodesAsTheNodesWayDoes) {
    for (unsigned seed = 30; seed <= 61; ++seed) {
        const bool still = seed > 45;
        RandomScene reference = Build(mManager, seed, still);
        RandomScene sampled = Build(mManager, seed, still);
        for (VOxaNode* root : {reference.root, sampled.root}) {
            root->ConvertPivotAnimationAt30Fps();
            VOxaMotionSupport::PrepareHierarchy(root);
        }
        std::mt19937 order(seed);
        const int frames = 3 + (int)(order() % 20);
        {
            VOxaMotionSampler sampler(sampled.root);
            for (int frame = 0; frame < frames; ++frame) {
                const VTime time = FrameTime(frame * 2);
                std::vector<int> asked;
                for (int i = 0; i < kNodes; ++i)
                    if (order() % 3 == 0) asked.push_back(i);
                std::shuffle(asked.begin(), asked.end(), order);
                VOxaMotionSupport::EvaluateHierarchy(reference.root, time);
                // Now and then a frame the long way, through the nodes.
                const bool longWay = order() % 5 == 0;
                VOxaNode::SetReferenceEvaluation(longWay);
                sampler.Evaluate(time);
                ASSERT_EQ(sampler.IsUsingRecords(), !longWay);
                for (int i : asked)
                    ExpectSame(sampler.GlobalMatrix(sampled.nodes[(size_t)i]),
                               VOxaMotionSupport::GlobalMatrix(reference.nodes[(size_t)i]),
                               "seed " + std::to_string(seed) + " node " + std::to_string(i));
                VOxaNode::SetReferenceEvaluation(false);
            }
        }
        ExpectSameStates(sampled, reference, "seed " + std::to_string(seed));
    }
}

// A writer's frames at a steady step, long enough to run through several blocks of frames the
// sampler evaluates ahead, with the step changed, a frame asked for twice and a jump forward in
// between: every matrix, global or local, is still the nodes' own.
TEST_F(NodeEvalEquivalence, SamplerFramesAheadFollowTheFramesAskedFor) {
    RandomScene reference = Build(mManager, 77);
    RandomScene sampled = Build(mManager, 77);
    VOxaMotionSampler sampler(sampled.root);
    std::vector<int64_t> ticks;
    int64_t at = 0;
    for (int frame = 0; frame < 150; ++frame) {
        const int64_t step = frame < 70 ? VTime::kOneSecond / 120 : VTime::kOneSecond / 50;
        if (frame == 40) ticks.push_back(at);  // the same frame again
        if (frame == 100) at += 37 * step;     // a jump past the frames ahead
        ticks.push_back(at);
        at += step;
    }
    for (size_t f = 0; f < ticks.size(); ++f) {
        const VTime time(ticks[f]);
        VOxaMotionSupport::EvaluateHierarchy(reference.root, time);
        sampler.Evaluate(time);
        for (int i = 0; i < kNodes; ++i)
            ExpectSame(sampler.GlobalMatrix(sampled.nodes[(size_t)i]),
                       VOxaMotionSupport::GlobalMatrix(reference.nodes[(size_t)i]),
                       "frame " + std::to_string(f) + " node " + std::to_string(i));
        // Local matrices at the same time read the same frame of the block.
        for (int i = 0; i < kNodes; ++i)
            ExpectSame(sampler.LocalMatrix(sampled.nodes[(size_t)i], time),
                       reference.nodes[(size_t)i]->EvaluateLocalTransform(time),
                       "local, frame " + std::to_string(f) + " node " + std::to_string(i));
    }
}

// Local matrices as a writer of joint rotations asks for them: the sampler's agree with each
// node's own evaluation at every frame, and afterwards the nodes hold the same take caches (and
// stamped transforms, which neither way touches).
TEST_F(NodeEvalEquivalence, SamplerLocalMatricesAreTheNodesOwn) {
    for (unsigned seed = 50; seed <= 65; ++seed) {
        RandomScene reference = Build(mManager, seed);
        RandomScene sampled = Build(mManager, seed);
        std::mt19937 order(seed);
        {
            VOxaMotionSampler sampler(sampled.root);
            for (int frame = 0; frame < kFrames; ++frame) {
                const VTime time = FrameTime(frame % 7 == 6 ? frame - 4 : frame);
                const bool longWay = order() % 6 == 0;
                for (int i = 0; i < kNodes; ++i) {
                    if (order() % 4 == 0) continue;
                    const VgeAMatrix expected = reference.nodes[(size_t)i]->EvaluateLocalTransform(time);
                    VOxaNode::SetReferenceEvaluation(longWay);
                    ExpectSame(sampler.LocalMatrix(sampled.nodes[(size_t)i], time), expected,
                               "seed " + std::to_string(seed) + " frame " + std::to_string(frame) + " node " +
                                   std::to_string(i));
                    VOxaNode::SetReferenceEvaluation(false);
                }
            }
        }
        ExpectSameStates(sampled, reference, "seed " + std::to_string(seed));
    }
}

// The records are left aside where they cannot stand in for the nodes: an inherit type outside
// 0..2 keeps parts of a node's global transform from one evaluation to the next, and the long way
// of evaluation is asked for by its switch. The matrices are the nodes' either way.
TEST_F(NodeEvalEquivalence, SamplerTakesTheNodesWayWhereRecordsCannotStandIn) {
    RandomScene reference = Build(mManager, 7);
    RandomScene sampled = Build(mManager, 7);
    for (RandomScene* scene : {&reference, &sampled})
        scene->nodes[3]->GetNodeProperties()->GetTransformSettings().mInheritType = 3;
    {
        VOxaMotionSampler sampler(sampled.root);
        for (int frame = 0; frame < 6; ++frame) {
            const VTime time = FrameTime(frame);
            VOxaMotionSupport::EvaluateHierarchy(reference.root, time);
            sampler.Evaluate(time);
            EXPECT_FALSE(sampler.IsUsingRecords());
            for (int i = kNodes - 1; i >= 0; --i)
                ExpectSame(sampler.GlobalMatrix(sampled.nodes[(size_t)i]),
                           VOxaMotionSupport::GlobalMatrix(reference.nodes[(size_t)i]),
                           "inherit 3, node " + std::to_string(i));
        }
    }
    ExpectSameStates(sampled, reference, "inherit 3,");

    RandomScene plain = Build(mManager, 8);
    VOxaMotionSampler sampler(plain.root);
    sampler.Evaluate(FrameTime(2));
    EXPECT_TRUE(sampler.IsUsingRecords());
    VOxaNode::SetReferenceEvaluation(true);
    sampler.Evaluate(FrameTime(3));
    EXPECT_FALSE(sampler.IsUsingRecords());
    VOxaNode::SetReferenceEvaluation(false);
    sampler.Evaluate(FrameTime(4));
    EXPECT_TRUE(sampler.IsUsingRecords());
    // A node outside the subtree is brought up to date through the node.
    VOxaNode* outside = mManager->CreateNode("Outside");
    outside->SetLclTranslation(VgeTVector(1.0, 2.0, 3.0, 0.0));
    outside->UpdateLocalTRSFromDefault();
    EXPECT_EQ(sampler.GlobalMatrix(outside)[3][1], 2.0);
}

TEST_F(NodeEvalEquivalence, HeldChannelsFollowTheCurrentTakeAndEndWithIt) {
    RandomScene scene = Build(mManager, 99);
    VOxaNode* node = nullptr;
    for (VOxaNode* n : scene.nodes)
        if (n->GetCurrentTakeNodeIndex() > 0) node = n;
    ASSERT_NE(node, nullptr);
    node->HoldTakeChannels();
    EXPECT_TRUE(node->IsHoldingTakeChannels());
    const VgeAMatrix onTake = node->EvaluateLocalTransform(FrameTime(7));

    // Back on the default take the held channels of "Take1" are not read: the default values
    // are, exactly as for a node that holds nothing.
    node->SetCurrentTakeNode(0);
    EXPECT_FALSE(node->IsHoldingTakeChannels());
    const VgeAMatrix onDefault = node->EvaluateLocalTransform(FrameTime(7));
    VOxaNode::SetReferenceEvaluation(true);
    node->ResetTransformCaches();
    const VgeAMatrix longWay = node->EvaluateLocalTransform(FrameTime(7));
    VOxaNode::SetReferenceEvaluation(false);
    ExpectSame(onDefault, longWay, "default take");

    // Held again on "Take1": the same matrix as before.
    node->SetCurrentTakeNode("Take1");
    node->HoldTakeChannels();
    EXPECT_TRUE(node->IsHoldingTakeChannels());
    ExpectSame(node->EvaluateLocalTransform(FrameTime(7)), onTake, "take again");
    node->ReleaseTakeChannels();
    EXPECT_FALSE(node->IsHoldingTakeChannels());

    // The sampler holds every node of its subtree while it lives.
    {
        VOxaMotionSampler sampler(scene.root);
        for (VOxaNode* n : scene.nodes)
            EXPECT_EQ(n->IsHoldingTakeChannels(), n->GetCurrentTakeNode() != nullptr) << n->GetName();
    }
    for (VOxaNode* n : scene.nodes)
        EXPECT_FALSE(n->IsHoldingTakeChannels()) << n->GetName();
}
