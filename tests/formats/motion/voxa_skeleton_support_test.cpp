// The rules the skeleton writers share: which markers were never seen, which frame ranges the
// time line holds, the first frame number of a take, and rates written so that they read back.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_marker.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

class skeleton_support : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
    }
    void TearDown() override { delete mManager; }

    // A node below `parent` whose take keys occlusion with `occluded` (none: no occlusion keys).
    VOxaNode* Marker(VOxaNode* parent, const char* name, const std::vector<float>& occluded) {
        VOxaNode* node = mManager->CreateNode(name);
        VOxaMarker* marker = mManager->CreateMarker();
        marker->SetType(1);
        node->SetNodeAttribute(marker);
        parent->AddChild(node);
        node->AddTakeNode("Take");
        node->SetCurrentTakeNode("Take");
        VFCurve* occlusion = node->GetCurrentTakeNode()->GetOcclusion();
        const VTime frame = VTime::GetOneFrameValue(6);
        for (size_t j = 0; j < occluded.size(); ++j) {
            VFCurveKey key;
            key.Set(frame * (int64_t)j, occluded[j], VFCurveKey::eInterpolationConstant);
            occlusion->KeyAdd(frame * (int64_t)j, key);
        }
        return node;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
};

}  // namespace

TEST_F(skeleton_support, OnlyLeavesOccludedInEveryKeyAreLeftOut) {
    VOxaNode* reference = mManager->CreateNode("TRC:optical");
    mScene->GetRootNode()->AddChild(reference);
    VOxaNode* seen = Marker(reference, "Seen", {0, 0, 0});
    VOxaNode* never = Marker(reference, "Never", {1, 1, 1});
    VOxaNode* once = Marker(reference, "Once", {1, 0.5f, 1});  // one half counts as seen
    VOxaNode* plain = Marker(reference, "Plain", {});          // no occlusion keys at all
    VOxaNode* parent = Marker(reference, "Parent", {1, 1});    // occluded, but a joint above others
    Marker(parent, "Child", {0});
    EXPECT_FALSE(VOxaSkeletonSupport::IsNeverSeen(seen));
    EXPECT_TRUE(VOxaSkeletonSupport::IsNeverSeen(never));
    EXPECT_FALSE(VOxaSkeletonSupport::IsNeverSeen(once));
    EXPECT_FALSE(VOxaSkeletonSupport::IsNeverSeen(plain));
    EXPECT_FALSE(VOxaSkeletonSupport::IsNeverSeen(nullptr));
    // On the default take nothing is known about occlusion.
    never->SetCurrentTakeNode(0);
    EXPECT_FALSE(VOxaSkeletonSupport::IsNeverSeen(never));
    never->SetCurrentTakeNode("Take");

    std::vector<VOxaNode*> leftOut;
    const std::vector<VOxaNode*> written = VOxaSkeletonSupport::WrittenChildren(reference, &leftOut);
    EXPECT_EQ(written, (std::vector<VOxaNode*>{seen, once, plain, parent}));
    EXPECT_EQ(leftOut, (std::vector<VOxaNode*>{never}));

    // The warning names the markers, up to twenty, and counts the rest.
    struct Caught {
        static int Keep(const char*, const char* text, const char*, const char*, const char*, void*) {
            Text() = text;
            return 0;
        }
        static std::string& Text() {
            static std::string text;
            return text;
        }
    };
    VStreamOptionsMotion options;
    options.SetMessageCallback(&Caught::Keep);
    VOxaSkeletonSupport::WarnLeftOut(&options, leftOut, "BVH");
    EXPECT_EQ(Caught::Text(),
              "1 marker is occluded in every frame and left out (BVH holds no gaps): \"Never\"");
    std::vector<VOxaNode*> many(22, never);
    VOxaSkeletonSupport::WarnLeftOut(&options, many, "HTR");
    EXPECT_EQ(Caught::Text().substr(0, 61), "22 markers are occluded in every frame and left out (HTR hold");
    EXPECT_NE(Caught::Text().find("\"Never\" and 2 more"), std::string::npos) << Caught::Text();
    VOxaSkeletonSupport::WarnMarkerEnds(&options, reference, "ASF", true);  // "Child" too
    EXPECT_EQ(Caught::Text().substr(0, 28), "4 markers are written to ASF") << Caught::Text();
    EXPECT_NE(Caught::Text().find("with \"_End\" after it, and the skeleton's root \"TRC:optical\""),
              std::string::npos);
}

TEST_F(skeleton_support, FramesOnTheTimeLineAndTheFirstFrameNumber) {
    VStreamOptionsMotion options;
    VString refusal("");
    options.SetTimeMode(0, 30.0);
    options.SetFrameCount(1000);
    EXPECT_TRUE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    // A period beyond the time line (2^63 ticks, about 2e8 s).
    options.SetTimeMode(0, 1e-9);
    options.SetFrameCount(1);
    EXPECT_FALSE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    EXPECT_STREQ(refusal.Buffer(),
                 "at 1e-09 frames per second a frame lasts longer than the time line holds: the take cannot "
                 "be written");
    // Periods that fit, but not for every frame, nor from a late start.
    options.SetTimeMode(0, 1e-8);
    options.SetFrameCount(2);
    EXPECT_TRUE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    options.SetFrameCount(3);
    EXPECT_FALSE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    options.SetFrameCount(2);
    VTime late;
    late.SetSecondDouble(1.5e8);
    options.SetStartTime(late);
    EXPECT_FALSE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    options.SetStartTime(VTime(0));
    // A million frames per second at most, the bound of every motion writer; the rate in full.
    options.SetTimeMode(0, 1.0e6);
    EXPECT_TRUE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    options.SetTimeMode(0, 1000001.0);
    EXPECT_FALSE(VOxaSkeletonSupport::FramesFit(&options, refusal));
    EXPECT_STREQ(
        refusal.Buffer(),
        "at 1000001 frames per second the take is faster than the 1000000 frames per second the motion "
        "formats hold: the take cannot be written");
    // A marker writer gives that reason before "no frames" when the rate leaves none.
    options.SetTimeMode(0, 1e-9);
    options.SetFrameCount(0);
    EXPECT_STREQ(VOxaMotionSupport::MarkerRefusal(1, &options),
                 "at 1e-09 frames per second a frame lasts longer than the time line holds: the take cannot "
                 "be written");
    options.SetTimeMode(0, 30.0);
    EXPECT_STREQ(VOxaMotionSupport::MarkerRefusal(1, &options), VOxaMotionSupport::kNoFrames);

    // Frames count from 1 at time 0.
    VTime start;
    EXPECT_EQ(VOxaSkeletonSupport::FirstFrameNumber(start, 100.0), 1);
    start.SetSecondDouble(0.1);
    EXPECT_EQ(VOxaSkeletonSupport::FirstFrameNumber(start, 100.0), 11);
    start.SetSecondDouble(10.0 / 29.97);
    EXPECT_EQ(VOxaSkeletonSupport::FirstFrameNumber(start, 29.97), 11);
    start.SetSecondDouble(-0.02);
    EXPECT_EQ(VOxaSkeletonSupport::FirstFrameNumber(start, 100.0), -1);
    // A number no reader takes as a whole number: 1.
    start.SetSecondDouble(1e8);
    EXPECT_EQ(VOxaSkeletonSupport::FirstFrameNumber(start, 1000.0), 1);
}

TEST_F(skeleton_support, RatesReadBackAsTheSameNumber) {
    char text[40];
    for (const double rate :
         {23.976023976023978, 29.97, 119.99, 59.940059940059939, 1.0 / 3.0, 12.5, 0.001, 999999.99999}) {
        VOxaSkeletonSupport::FormatRate(text, sizeof text, rate);
        // The same number, or one of the same frame period.
        const double back = std::strtod(text, nullptr);
        EXPECT_TRUE(back == rate || VOxaMotionSupport::SamePeriod(back, rate)) << text;
    }
    VOxaSkeletonSupport::FormatRate(text, sizeof text, 29.97);
    EXPECT_STREQ(text, "29.97");
    VOxaSkeletonSupport::FormatRate(text, sizeof text, 1000000.0);
    EXPECT_STREQ(text, "1000000");
    VOxaSkeletonSupport::FormatRate(text, sizeof text, 120.0);
    EXPECT_STREQ(text, "120");
}

TEST(skeleton_scale_changes, JointsWhoseScaleLeavesTheSkeletonsAreNamedOnce) {
    const VgeTVector one(1.0, 1.0, 1.0, 0.0);
    // Joint 0 keeps its scale to within single precision, joint 1 changes in y alone, joint 2 is
    // an end site (no name), joint 3 keeps a reference of 2 and changes later.
    VOxaScaleChanges changes({one, one, one, VgeTVector(2.0, 2.0, 2.0, 0.0)});
    const std::vector<const char*> names = {"Hips", "Spine", nullptr, "Head"};
    for (size_t k = 0; k < 4; ++k)
        changes.Note(k, k == 3 ? VgeTVector(2.0, 2.0, 2.0, 0.0) : one);
    changes.Note(0, VgeTVector(1.0 + 1e-7, 1.0, 1.0 - 1e-7, 0.0));
    EXPECT_EQ(changes.Text(names, "BVH"), VString(""));
    changes.Note(1, VgeTVector(1.0, 1.5, 1.0, 0.0));
    changes.Note(1, one);  // back again: it changed all the same
    changes.Note(2, VgeTVector(3.0, 3.0, 3.0, 0.0));
    EXPECT_FALSE(changes.Changed(0));
    EXPECT_TRUE(changes.Changed(1));
    EXPECT_TRUE(changes.Changed(2));
    EXPECT_STREQ(
        changes.Text(names, "AMC").Buffer(),
        "The scale of joint \"Spine\" changes over the take; AMC holds no scale, so its bone keeps its "
        "length in the skeleton written.");
    changes.Note(3, VgeTVector(2.0, 2.0, 2.00001, 0.0));
    EXPECT_STREQ(
        changes.Text(names, "BVH").Buffer(),
        "The scale of 2 joints (\"Spine\", \"Head\") changes over the take; BVH holds no scale, so their "
        "bones keep their lengths in the skeleton written.");

    // Many joints: the first 20 named, the rest counted.
    std::vector<std::string> many(23);
    std::vector<const char*> manyNames;
    for (size_t k = 0; k < many.size(); ++k) {
        many[k] = "J" + std::to_string(k + 1);
        manyNames.push_back(many[k].c_str());
    }
    VOxaScaleChanges all(std::vector<VgeTVector>(many.size(), one));
    for (size_t k = 0; k < many.size(); ++k)
        all.Note(k, VgeTVector(0.5, 0.5, 0.5, 0.0));
    const std::string text = all.Text(manyNames, "BVH").Buffer();
    EXPECT_EQ(text.find("The scale of 23 joints (\"J1\", \"J2\","), 0u) << text;
    EXPECT_NE(text.find("\"J20\" and 3 more) changes over the take"), std::string::npos) << text;
    EXPECT_EQ(text.find("J21"), std::string::npos) << text;
}

TEST(motion_units, EveryLetterOfAUnitWordCounts) {
    double cm = 0;
    const struct {
        const char* text;
        int row;
        double centimetres;
    } cases[] = {{" MM ", 0, 0.1}, {"Centimeters", 1, 1.0}, {"feet", 5, 30.48}, {"um", 8, 1.0e-4},
                 // Words that share a first letter or a beginning with a unit are none.
                 {"mx", -1, 0}, {"dx", -1, 0}, {"inchez", -1, 0}, {"feex", -1, 0}, {"", -1, 0}};
    for (const auto& c : cases) {
        cm = 0;
        EXPECT_EQ(VOxaMotionSupport::FindLengthUnit(c.text, std::strlen(c.text), cm), c.row) << c.text;
        if (c.row >= 0) EXPECT_DOUBLE_EQ(cm, c.centimetres) << c.text;
    }
}
