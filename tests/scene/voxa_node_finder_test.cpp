#include "scene/voxa_node_finder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_key.h"
#include "attributes/voxa_generic_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// Picks the nodes whose name ends in "!".
class BangFinder : public VOxaNodeFinder {
public:
    void Reset() override { VOxaNodeFinder::Reset(); }
    bool CheckNode(VOxaNode* node) override {
        std::string name = node->GetName();
        return !name.empty() && name.back() == '!';
    }
};

class scene_NodeFinder : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }
    VOxaNode* Make(const char* name, VOxaNode* parent = nullptr) {
        VOxaNode* node = mManager->CreateNode(name);
        if (parent) parent->AddChild(node);
        return node;
    }

    VOxaSdkManager* mManager = nullptr;
};

TEST_F(scene_NodeFinder, WalkIsDepthFirstAndAccumulatesUntilReset) {
    VOxaNode* root = Make("Root!");
    VOxaNode* a = Make("A!", root);
    Make("A1", a);
    VOxaNode* a2 = Make("A2!", a);
    VOxaNode* b = Make("B!", root);
    BangFinder finder;
    VArrayTemplate<VOxaNode*>& found = finder.Find(root);
    ASSERT_EQ(found.GetCount(), 4);
    EXPECT_EQ(found[0], root);
    EXPECT_EQ(found[1], a);
    EXPECT_EQ(found[2], a2);
    EXPECT_EQ(found[3], b);
    EXPECT_EQ(finder.GetRootNode(), root);
    finder.Find(a);
    EXPECT_EQ(finder.GetResult().GetCount(), 6) << "a second walk adds to the first";
    finder.Reset();
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
}

TEST_F(scene_NodeFinder, DuplicateNamesInTheSubtree) {
    VOxaNode* root = Make("Root");
    VOxaNode* first = Make("A", root);
    VOxaNode* second = Make("A", first);
    VOxaNode* third = Make("A", root);
    Make("B", root);
    VOxaNodeFinderDuplicateName finder(nullptr);
    EXPECT_TRUE(finder.GetOption(VOxaNodeFinderDuplicateName::eNodeNames));
    EXPECT_FALSE(finder.GetOption(VOxaNodeFinderDuplicateName::eMaterialNames));
    EXPECT_TRUE(finder.GetOption(VOxaNodeFinderDuplicateName::eGenericNodeNames));
    EXPECT_FALSE(finder.GetOption(5));

    finder.Find(root);
    EXPECT_EQ(finder.GetNodes().GetCount(), 5);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 2);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], second) << "the first holder of a name is not reported";
    EXPECT_EQ(finder.GetDuplicateNodes()[1], third);

    // A second walk over the same nodes keeps them once; each clashes with its namesakes only.
    finder.Find(first);
    EXPECT_EQ(finder.GetNodes().GetCount(), 5);
    EXPECT_EQ(finder.GetDuplicateNodes().GetCount(), 4);

    // With the node option off, nodes are collected only.
    VOxaNodeFinderDuplicateName collector(nullptr);
    collector.SetOption(VOxaNodeFinderDuplicateName::eNodeNames, false);
    collector.Find(root);
    EXPECT_EQ(collector.GetNodes().GetCount(), 5);
    EXPECT_EQ(collector.GetDuplicateNodes().GetCount(), 0);

    // A renamed node is seen under its new name.
    third->SetName("C");
    finder.Reset();
    finder.Find(root);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], second);
    EXPECT_FALSE(finder.CheckGenericNodeName("Nothing"));
    EXPECT_FALSE(finder.CheckGenericNodeName(nullptr));
}

TEST_F(scene_NodeFinder, NamesAreComparedWithTheScene) {
    VOxaScene* scene = mManager->CreateScene();
    VOxaNode* root = scene->GetRootNode();
    Make("Arm", root);
    VOxaNode* top = Make("Top");
    VOxaNode* arm = Make("Arm", top);
    VOxaNodeFinderDuplicateName finder(scene->GetContents());
    finder.Find(top);
    ASSERT_EQ(finder.GetDuplicateNodes().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateNodes()[0], arm);

    // The scene's root does not count.
    VOxaNode* rootName = mManager->CreateNode(root->GetName());
    finder.Reset();
    finder.Find(rootName);
    EXPECT_EQ(finder.GetDuplicateNodes().GetCount(), 0);

    // Generic-node names are compared with the scene's generic nodes while option 4 is on.
    VOxaGenericNode* generic = mManager->CreateGenericNode("Gen");
    ASSERT_TRUE(scene->AddGenericNode(generic));
    EXPECT_TRUE(finder.CheckGenericNodeName("Gen"));
    ASSERT_EQ(finder.GetDuplicateGenericNodes().GetCount(), 1);
    EXPECT_EQ(finder.GetDuplicateGenericNodes()[0], generic);
    finder.SetOption(VOxaNodeFinderDuplicateName::eGenericNodeNames, false);
    EXPECT_FALSE(finder.CheckGenericNodeName("Gen"));
    EXPECT_EQ(finder.GetDuplicateGenericNodes().GetCount(), 1);
}

TEST_F(scene_NodeFinder, WideAndDeepSubtreesJoinAndLeaveAScene) {
    // 5,000 nodes with fan-out 10, and a chain 5,000 deep: the walks are neither quadratic
    // nor recursive.
    VOxaScene* scene = mManager->CreateScene();
    VOxaNode* wide = Make("Wide");
    std::vector<VOxaNode*> level{wide};
    int made = 1;
    while (made < 5000) {
        std::vector<VOxaNode*> next;
        for (VOxaNode* parent : level) {
            for (int k = 0; k < 10 && made < 5000; ++k, ++made)
                next.push_back(Make(("W" + std::to_string(made)).c_str(), parent));
        }
        level.swap(next);
    }
    VOxaNode* deep = Make("Deep");
    VOxaNode* tip = deep;
    for (int i = 1; i < 5000; ++i)
        tip = Make(("D" + std::to_string(i)).c_str(), tip);

    VOxaNode* root = scene->GetRootNode();
    ASSERT_TRUE(root->AddChild(wide));
    ASSERT_TRUE(root->AddChild(deep));
    EXPECT_EQ(scene->GetContents()->GetNodeCount(), 10001);
    EXPECT_EQ(level.back()->GetSceneContents(), scene->GetContents());
    EXPECT_EQ(tip->GetSceneContents(), scene->GetContents());
    EXPECT_EQ(root->GetChildCount(true), 10000);
    EXPECT_FALSE(tip->AddChild(deep)) << "the chain's top is the tip's ancestor";
    root->RemoveChild(wide);
    root->RemoveChild(deep);
    EXPECT_EQ(scene->GetContents()->GetNodeCount(), 1);
}

// ---- Bad scale ----------------------------------------------------------------------------------

// An attribute of a chosen type code, enough to make a node a skeleton node.
class TypedAttribute : public VOxaNodeAttribute {
public:
    TypedAttribute(VOxaSdkManager* manager, int type) : VOxaNodeAttribute(manager), mType(type) {}
    int GetAttributeType() const override { return mType; }

private:
    int mType;
};

const VTime kSecond(VTime::kOneSecond);

void AddKey(VFCurve* curve, VTime time, float value,
            unsigned interpolation = VFCurveKey::eInterpolationLinear) {
    VFCurveKey key;
    // Constant keys hold their own value up to the next key.
    unsigned mode = interpolation == VFCurveKey::eInterpolationConstant
                        ? (unsigned)VFCurveKey::eConstantStandard
                        : (unsigned)VFCurveKey::eTangentAuto;
    key.Set(time, value, interpolation, mode);
    ASSERT_GE(curve->KeyAdd(time, key), 0);
}

// Keys (x, y, z) at `time` on the scaling curves of `take`.
void KeyScaling(VOxaTakeNode* take, VTime time, double x, double y, double z,
                unsigned interpolation = VFCurveKey::eInterpolationLinear) {
    AddKey(take->GetScaleX(), time, (float)x, interpolation);
    AddKey(take->GetScaleY(), time, (float)y, interpolation);
    AddKey(take->GetScaleZ(), time, (float)z, interpolation);
}

bool Holds(VArrayTemplate<VOxaNode*>& nodes, VOxaNode* node) {
    return nodes.Find(node) >= 0;
}

class scene_NodeFinderBadScale : public scene_NodeFinder {
protected:
    void TearDown() override {
        for (VOxaNode* node : mAttached)
            node->SetNodeAttribute(nullptr);
        scene_NodeFinder::TearDown();
    }
    VOxaNode* MakeSkeleton(const char* name, VOxaNode* parent = nullptr) {
        VOxaNode* node = Make(name, parent);
        node->SetNodeAttribute(&mSkeleton);
        mAttached.push_back(node);
        return node;
    }

    TypedAttribute mSkeleton{nullptr, VOxaNodeAttribute::eSkeleton};
    std::vector<VOxaNode*> mAttached;
};

TEST_F(scene_NodeFinderBadScale, AnimatedScalingOfNullAndSkeletonNodes) {
    // The same keys (1, 1, 1) at 0 s and (1, 1, 2) at 1 s on three nodes.
    VOxaNode* root = Make("Root");
    VOxaNode* parentNull = Make("ParentNull", root);
    Make("Child", parentNull);
    VOxaNode* leafNull = Make("LeafNull", root);
    VOxaNode* bone = MakeSkeleton("Bone", root);
    Make("BoneChild", bone);
    for (VOxaNode* node : {parentNull, leafNull, bone}) {
        KeyScaling(node->GetDefaultTakeNode(), VTime(0), 1, 1, 1);
        KeyScaling(node->GetDefaultTakeNode(), kSecond, 1, 1, 2);
    }

    VOxaNodeFinderBadScale finder;
    EXPECT_EQ(finder.GetSamplingStep().Get(), VTime::kOneSecond / 24);
    VArrayTemplate<VOxaNode*>& result = finder.Find(root);
    ASSERT_EQ(result.GetCount(), 2);
    EXPECT_EQ(result[0], parentNull);
    EXPECT_EQ(result[1], bone);
    EXPECT_TRUE(Holds(finder.GetNonUniformScaleDefaultTake(), parentNull));
    EXPECT_FALSE(Holds(finder.GetNonUniformScaleDefaultTake(), leafNull)) << "a leaf is not reported";
    EXPECT_TRUE(Holds(finder.GetScaleNotOneDefaultTake(), bone)) << "not one is tested first, per value";
    EXPECT_FALSE(Holds(finder.GetNonUniformScaleDefaultTake(), bone));
    EXPECT_EQ(finder.GetScaleNotOneDefaultTake().GetCount(), 1);
    EXPECT_EQ(finder.GetNegativeScaleDefaultTake().GetCount(), 0);
    EXPECT_EQ(finder.GetScaleNotOneCurrentTake().GetCount() +
                  finder.GetNegativeScaleCurrentTake().GetCount() +
                  finder.GetNonUniformScaleCurrentTake().GetCount(),
              0)
        << "the current take is the default take";
    EXPECT_TRUE(finder.GetTestScaleNotOne()) << "the option is restored after each node";

    finder.Find(root);
    EXPECT_EQ(finder.GetResult().GetCount(), 4) << "a second walk adds to the first";
    finder.Reset();
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
    EXPECT_EQ(finder.GetNonUniformScaleDefaultTake().GetCount(), 0);
    EXPECT_EQ(finder.GetScaleNotOneDefaultTake().GetCount(), 0);

    // With the non-uniform test off, the null node passes and the bone is still not one.
    finder.SetTestNonUniformScale(false);
    finder.Find(root);
    ASSERT_EQ(finder.GetResult().GetCount(), 1);
    EXPECT_EQ(finder.GetResult()[0], bone);
}

TEST_F(scene_NodeFinderBadScale, DefaultValuesToleranceAndSign) {
    VOxaNode* root = Make("Root");
    VOxaNode* bone = MakeSkeleton("Bone", root);
    Make("BoneChild", bone);
    VOxaNode* null = Make("Null", root);
    Make("NullChild", null);
    VOxaNode* mirrored = Make("Mirrored", root);
    const double almostOne = 1.0000001;
    bone->SetLclScaling(VgeTVector(almostOne, almostOne, almostOne, 0));
    null->SetLclScaling(VgeTVector(almostOne, almostOne, almostOne, 0));
    mirrored->SetLclScaling(VgeTVector(-1, -1, -1, 0));

    VOxaNodeFinderBadScale finder;
    EXPECT_DOUBLE_EQ(finder.GetTolerance(), std::ldexp(1.0, -52));
    finder.Find(root);
    EXPECT_TRUE(Holds(finder.GetScaleNotOneDefaultTake(), bone));
    EXPECT_FALSE(Holds(finder.GetResult(), null)) << "a uniform scaling near one on a null node is fine";
    EXPECT_TRUE(Holds(finder.GetNegativeScaleDefaultTake(), mirrored)) << "negative counts without children";
    EXPECT_EQ(finder.GetResult().GetCount(), 2);

    // The importer's settings: a looser tolerance, only the non-uniform test.
    finder.Reset();
    finder.SetTolerance(1e-6);
    finder.SetTestScaleNotOne(false);
    finder.SetTestNegativeScale(false);
    finder.Find(root);
    EXPECT_EQ(finder.GetResult().GetCount(), 0);

    // A NaN scaling is reported as non-uniform rather than passed.
    VOxaNode* broken = Make("Broken", root);
    Make("BrokenChild", broken);
    broken->GetDefaultTakeNode()->GetScaleY()->SetDefaultValue(std::numeric_limits<float>::quiet_NaN());
    finder.Reset();
    finder.Find(root);
    ASSERT_EQ(finder.GetResult().GetCount(), 1);
    EXPECT_TRUE(Holds(finder.GetNonUniformScaleDefaultTake(), broken));
}

TEST_F(scene_NodeFinderBadScale, CurrentTakeIsTestedSeparately) {
    VOxaNode* root = Make("Root");
    VOxaNode* a = Make("A", root);
    Make("AChild", a);
    VOxaNode* b = Make("B", root);
    Make("BChild", b);
    for (VOxaNode* node : {a, b}) {
        ASSERT_NE(node->AddTakeNode("Take 1"), nullptr);
        ASSERT_TRUE(node->SetCurrentTakeNode(1));
    }
    // A is non-uniform in the current take only, B negative in the default take only.
    KeyScaling(a->GetCurrentTakeNode(), VTime(0), 1, 2, 1);
    KeyScaling(a->GetCurrentTakeNode(), kSecond, 1, 2, 1);
    KeyScaling(b->GetDefaultTakeNode(), VTime(0), 1, 1, 1);
    KeyScaling(b->GetDefaultTakeNode(), kSecond, 1, -1, 1);

    VOxaNodeFinderBadScale finder;
    finder.Find(root);
    EXPECT_TRUE(Holds(finder.GetNonUniformScaleCurrentTake(), a));
    EXPECT_FALSE(Holds(finder.GetNonUniformScaleDefaultTake(), a));
    EXPECT_TRUE(Holds(finder.GetNegativeScaleDefaultTake(), b));
    EXPECT_FALSE(Holds(finder.GetNegativeScaleCurrentTake(), b));
    ASSERT_EQ(finder.GetResult().GetCount(), 2);
    EXPECT_EQ(finder.GetResult()[0], a);
    EXPECT_EQ(finder.GetResult()[1], b);

    // Both takes bad: one entry in the result array, one in each take's array.
    KeyScaling(b->GetCurrentTakeNode(), VTime(0), -1, -1, -1);
    finder.Reset();
    finder.Find(b);
    EXPECT_EQ(finder.GetResult().GetCount(), 1);
    EXPECT_TRUE(Holds(finder.GetNegativeScaleDefaultTake(), b));
    EXPECT_TRUE(Holds(finder.GetNegativeScaleCurrentTake(), b));
    EXPECT_EQ(b->GetLastErrorID(), -1) << "the walk leaves the node's error alone";
}

TEST_F(scene_NodeFinderBadScale, SamplesEveryTwentyFourthOfASecondThroughTheLastKey) {
    VOxaNodeFinderBadScale finder;
    VOxaNode* node = Make("Node");
    VFCurve* x = node->GetDefaultTakeNode()->GetScaleX();
    const VTime step = finder.GetSamplingStep();

    // Constant keys: negative only at the last key, which the sampling reaches.
    AddKey(x, VTime(0), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, kSecond, -1, VFCurveKey::eInterpolationConstant);
    finder.Find(node);
    EXPECT_TRUE(Holds(finder.GetNegativeScaleDefaultTake(), node)) << "the last key time is sampled";

    // Negative only between two samples: 0, step, 2 step, ... never see it.
    x->KeyClear();
    AddKey(x, VTime(0), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step.Get() / 2), -1, VFCurveKey::eInterpolationConstant);
    AddKey(x, step, 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, kSecond, 1, VFCurveKey::eInterpolationConstant);
    finder.Reset();
    finder.Find(node);
    EXPECT_EQ(finder.GetResult().GetCount(), 0);

    // The range starts at the earliest first key of the three curves: a Y key half a step
    // before the X keys moves every sample onto the short negative stretch of X.
    x->KeyClear();
    AddKey(x, VTime(0), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step.Get() / 2), -1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step.Get() / 2 + 1), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, kSecond, 1, VFCurveKey::eInterpolationConstant);
    finder.Reset();
    finder.Find(node);
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
    AddKey(node->GetDefaultTakeNode()->GetScaleY(), VTime(-step.Get() / 2), 1,
           VFCurveKey::eInterpolationConstant);
    finder.Find(node);
    EXPECT_TRUE(Holds(finder.GetNegativeScaleDefaultTake(), node));
}

TEST_F(scene_NodeFinderBadScale, AWildKeyRangeIsSampledAtMostTwoToTheTwentyFourTimes) {
    VOxaNodeFinderBadScale finder;
    VOxaNode* node = Make("Node");
    VFCurve* x = node->GetDefaultTakeNode()->GetScaleX();
    const int64_t step = finder.GetSamplingStep().Get();
    // Negative from sample 2^24 on: beyond the cap, so never seen.
    AddKey(x, VTime(0), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step * (int64_t(1) << 24)), -1, VFCurveKey::eInterpolationConstant);
    finder.Find(node);
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
    // One sample earlier it is the last sample taken.
    x->KeyClear();
    AddKey(x, VTime(0), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step * ((int64_t(1) << 24) - 1)), -1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(step * (int64_t(1) << 25)), 1, VFCurveKey::eInterpolationConstant);
    finder.Find(node);
    EXPECT_EQ(finder.GetResult().GetCount(), 1);

    // The whole time line: ends, without overflow.
    x->KeyClear();
    AddKey(x, VTime(VTime::kMinusInfinite), 1, VFCurveKey::eInterpolationConstant);
    AddKey(x, VTime(VTime::kInfinite), 1, VFCurveKey::eInterpolationConstant);
    finder.Reset();
    finder.Find(node);
    EXPECT_EQ(finder.GetResult().GetCount(), 0);
}

}  // namespace
