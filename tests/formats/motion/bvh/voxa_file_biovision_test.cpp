// The BVH file: hierarchy and motion parsing, frame computation and the line writers.

#include "formats/motion/bvh/voxa_file_biovision.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/motion/bvh/bvh_test_util.h"

using namespace bvhtest;

namespace {

const char* const kTwoJoints =
    "HIERARCHY\n"
    "ROOT Hips\n"
    "{\n"
    "  OFFSET 1 2 3\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT Chest\n"
    "  {\n"
    "    OFFSET 0 5 0\n"
    "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    End Site\n"
    "    {\n"
    "      OFFSET 0 4 0\n"
    "    }\n"
    "  }\n"
    "}\n"
    "MOTION\n"
    "Frames: 2\n"
    "Frame Time: 0.0333333\n"
    "10 20 30 1 2 3 4 5 6\n"
    "11 21 31 7 8 9 10 11 12\n";

// A file object over a text, with fresh curves on every joint for ReadMotion.
class Parsed {
public:
    explicit Parsed(const std::string& text, const char* name = "file.bvh") {
        mPath = TempPath(name);
        WriteFile(mPath, text);
        mOpened = mFile.Open(mPath.c_str(), "r");
        mOptions.reset(VStreamOptionsMotion::Create());
        // Every frame the file announces.
        mOptions->SetFrameCount(1 << 30);
    }
    ~Parsed() {
        for (VFCurve* curve : mCurves)
            delete curve;
    }
    bool Hierarchy() { return mOpened && mFile.ReadHierarchy(); }
    bool Motion() {
        for (int i = 0; i < mFile.GetJointCount(); ++i) {
            for (VFCurve*& curve : mFile.GetJoint(i)->mCurves) {
                curve = VFCurve::Create();
                mCurves.push_back(curve);
            }
        }
        return mFile.ReadMotion(mOptions.get());
    }
    BvhJoint* Joint(int index) { return mFile.GetJoint(index); }

    VOxaFileBiovision mFile;
    std::unique_ptr<VStreamOptionsMotion> mOptions;
    std::vector<VFCurve*> mCurves;
    std::string mPath;
    bool mOpened = false;
};

std::string WithMotionHeader(const std::string& frames, const std::string& frameTime) {
    return "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n}\nMOTION\nFrames: " + frames +
           "\nFrame Time: " + frameTime + "\n";
}

}  // namespace

TEST(bvh_File, HierarchyJointsChannelsAndEndSites) {
    Parsed parsed(kTwoJoints);
    ASSERT_TRUE(parsed.Hierarchy()) << parsed.mFile.GetFailure();
    ASSERT_EQ(parsed.mFile.GetJointCount(), 3);
    EXPECT_EQ(parsed.mFile.GetChannelTotal(), 9);
    EXPECT_EQ(parsed.mFile.GetFrameCount(), 2);
    EXPECT_DOUBLE_EQ(parsed.mFile.GetFrameTime(), 0.0333333);
    BvhJoint* hips = parsed.Joint(0);
    BvhJoint* chest = parsed.Joint(1);
    BvhJoint* end = parsed.Joint(2);
    EXPECT_STREQ(hips->mName, "Hips");
    EXPECT_EQ(hips->mParent, nullptr);
    EXPECT_EQ(hips->mChannelCount, 6);
    EXPECT_EQ(hips->mChannels[3], BvhJoint::eZROTATION);
    EXPECT_EQ(chest->mParent, hips);
    ASSERT_EQ(chest->mChildren.size(), 1u);
    EXPECT_EQ(chest->mChildren[0], end);
    EXPECT_DOUBLE_EQ(chest->mOffset[1], 5.0);
    // An end site is a joint named "End" without channels.
    EXPECT_STREQ(end->mName, "End");
    EXPECT_TRUE(end->mEndSite);
    EXPECT_EQ(end->mChannelCount, 0);
    EXPECT_DOUBLE_EQ(end->mOffset[1], 4.0);
}

TEST(bvh_File, EndSiteWithoutBlockAndCaseInsensitiveKeywords) {
    // "End Site" without its block: no offset, and the next line belongs to the parent.
    Parsed parsed(
        "hierarchy\nroot A\n{\noffset 0 0 0\nchannels 3 zROTATION xrotation YRotation\n"
        "end site\njoint B\n{\nOffset 1 0 0\nChannels 0\n}\n}\nmotion\nframes: 1\nframe time: 0.01\n1 2 3\n");
    ASSERT_TRUE(parsed.Hierarchy()) << parsed.mFile.GetFailure();
    ASSERT_EQ(parsed.mFile.GetJointCount(), 3);
    EXPECT_TRUE(parsed.Joint(1)->mEndSite);
    EXPECT_DOUBLE_EQ(parsed.Joint(1)->mOffset[0], 0.0);
    EXPECT_STREQ(parsed.Joint(2)->mName, "B");
    EXPECT_EQ(parsed.Joint(2)->mParent, parsed.Joint(0));
    EXPECT_EQ(parsed.mFile.GetFrameCount(), 1);
}

TEST(bvh_File, JointNamesAreTheRestOfTheLine) {
    // A joint's name is its whole line after the keyword, blanks inside it kept and those around
    // it dropped; a name over 127 bytes is cut before the UTF-8 character the cut would split.
    const auto joint = [](const std::string& name) {
        return "JOINT " + name + "\n{\nOFFSET 0 1 0\nCHANNELS 0\n}\n";
    };
    const std::string accented =
        std::string(126, 'a') + "\xC3\xA9" + "b";  // 129 bytes, the cut at 127 inside
    Parsed parsed("HIERARCHY\nROOT   Upper Spine \t\r\n{\nOFFSET 0 0 0\nCHANNELS 0\n" + joint("Left Arm") +
                  joint(accented) + "}\nMOTION\nFrames: 0\nFrame Time: 0.1\n");
    ASSERT_TRUE(parsed.Hierarchy()) << parsed.mFile.GetFailure();
    ASSERT_EQ(parsed.mFile.GetJointCount(), 3);
    EXPECT_STREQ(parsed.Joint(0)->mName, "Upper Spine");
    EXPECT_STREQ(parsed.Joint(1)->mName, "Left Arm");
    EXPECT_EQ(std::string(parsed.Joint(2)->mName), std::string(126, 'a'));
    EXPECT_EQ(std::string(parsed.mFile.GetWarnings()),
              "BVH: line 11: the joint name \"" + std::string(126, 'a') +
                  "...\" is longer than 127 bytes: " + "it is read as \"" + std::string(126, 'a') + "\"\n");

    // Names that are the same in their first 127 bytes are kept apart: the suffix takes its room
    // from the end of the name. A name read whole keeps its name before a cut one.
    const std::string x(127, 'x');
    Parsed apart("HIERARCHY\nROOT R\n{\nOFFSET 0 0 0\nCHANNELS 0\n" + joint(x + "Left") + joint(x + "Right") +
                 joint(x) + "}\nMOTION\nFrames: 0\nFrame Time: 0.1\n");
    ASSERT_TRUE(apart.Hierarchy()) << apart.mFile.GetFailure();
    ASSERT_EQ(apart.mFile.GetJointCount(), 4);
    EXPECT_EQ(std::string(apart.Joint(1)->mName), x.substr(0, 125) + "_2");
    EXPECT_EQ(std::string(apart.Joint(2)->mName), x.substr(0, 125) + "_3");
    EXPECT_EQ(std::string(apart.Joint(3)->mName), x);
    const std::string warnings = apart.mFile.GetWarnings();
    EXPECT_NE(warnings.find("the cut joint name \"" + x + "\" is also another joint's: it is read as \"" +
                            x.substr(0, 125) + "_3\""),
              std::string::npos)
        << warnings;
}

TEST(bvh_File, ComputeFrameLastChannelTurnsFirst) {
    BvhJoint joint;
    joint.mChannelCount = 5;
    const int channels[5] = {BvhJoint::eYPOSITION, BvhJoint::eZROTATION, BvhJoint::eXROTATION,
                             BvhJoint::eYROTATION, BvhJoint::eXPOSITION};
    for (int c = 0; c < 5; ++c)
        joint.mChannels[c] = channels[c];
    joint.mOffset[0] = 1;
    joint.mOffset[1] = 2;
    joint.mOffset[2] = 3;
    const double values[5] = {7, 10, 20, 30, 8};
    joint.ComputeFrame(values);
    // The translation starts as the offset; position channels replace their component.
    EXPECT_EQ(joint.mTranslation[0], 8);
    EXPECT_EQ(joint.mTranslation[1], 7);
    EXPECT_EQ(joint.mTranslation[2], 3);
    // Z 10, X 20, Y 30: 30 about y first, then 20 about x, then 10 about z.
    R3 expected = Mul(Mul(Turn(1, 30), Turn(0, 20)), Turn(2, 10));
    R3 got = FromXYZ(joint.mRotation[0], joint.mRotation[1], joint.mRotation[2]);
    EXPECT_LT(MaxDifference(got, expected), 1e-12);
    // Not the reverse product.
    R3 reverse = Mul(Mul(Turn(2, 10), Turn(0, 20)), Turn(1, 30));
    EXPECT_GT(MaxDifference(got, reverse), 1e-3);

    // Channels Z Y X are the XYZ order itself: the angles come back as they were.
    const int zyx[3] = {BvhJoint::eZROTATION, BvhJoint::eYROTATION, BvhJoint::eXROTATION};
    joint.mChannelCount = 3;
    for (int c = 0; c < 3; ++c)
        joint.mChannels[c] = zyx[c];
    const double angles[3] = {-40, 25, 60};
    joint.ComputeFrame(angles);
    EXPECT_NEAR(joint.mRotation[0], 60, 1e-9);
    EXPECT_NEAR(joint.mRotation[1], 25, 1e-9);
    EXPECT_NEAR(joint.mRotation[2], -40, 1e-9);
}

TEST(bvh_File, RateRoundingAndItsFallback) {
    struct Case {
        const char* frameTime;
        double rate;
    };
    // Within 1e-4 (relative) of a whole number: that number; otherwise 1 / frame time.
    const Case cases[] = {{"0.0333333", 30},
                          {"0.0416667", 24},
                          {".0083333", 120},
                          {"0.01", 100},
                          {"3", 1.0 / 3.0},
                          {"0.08", 12.5},
                          {"0.0333667", 1 / 0.0333667},
                          {"0.03332", 1 / 0.03332},
                          {"0.0333334", 30},
                          {"0.04166667", 24},
                          // More digits than a whole rate's frame time has: a rate near one.
                          {"0.008334027835652971", 1 / 0.008334027835652971},
                          {"0.0333334444", 1 / 0.0333334444}};
    for (const Case& c : cases) {
        Parsed parsed(WithMotionHeader("4", c.frameTime));
        ASSERT_TRUE(parsed.mFile.ScanHeader(parsed.mOptions.get())) << c.frameTime;
        EXPECT_EQ(parsed.mOptions->GetFrameRate(), c.rate) << c.frameTime;
        EXPECT_EQ(parsed.mOptions->GetFrameCount(), 4);
        EXPECT_EQ(parsed.mOptions->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE), 1);
    }
    // A frame time of 0 or below gives no rate, and one whose frames reach past the end of the
    // time line (2^63 ticks of 1/46186158000 s, about 6.3 years) no take: each is refused,
    // naming the frame time, whatever rate the options had.
    const struct {
        const char* frames;
        const char* frameTime;
        const char* why;
    } refused[] = {{"4", "0", "\"Frame Time:\" of 0 seconds: a frame time must be above 0"},
                   {"4", "-1", "\"Frame Time:\" of -1 seconds: a frame time must be above 0"},
                   {"4", "-0.5", "\"Frame Time:\" of -0.5 seconds: a frame time must be above 0"},
                   {"1", "1e300", "\"Frame Time:\" of 1e+300 seconds: 1 frames of it reach past"},
                   {"4", "inf", "\"Frame Time:\" of inf seconds: 4 frames of it reach past"},
                   {"2", "2e8", "\"Frame Time:\" of 2e+08 seconds: 2 frames of it reach past"}};
    for (const auto& c : refused) {
        Parsed parsed(WithMotionHeader(c.frames, c.frameTime));
        parsed.mOptions->SetTimeMode(0, 50.0);
        EXPECT_FALSE(parsed.mFile.ScanHeader(parsed.mOptions.get())) << c.frameTime;
        EXPECT_NE(std::string(parsed.mFile.GetFailure()).find(c.why), std::string::npos)
            << parsed.mFile.GetFailure();
        EXPECT_FALSE(parsed.Hierarchy()) << c.frameTime;
    }
    // A year per frame, for two frames, still fits.
    Parsed slow(WithMotionHeader("2", "31536000"));
    EXPECT_TRUE(slow.mFile.ScanHeader(slow.mOptions.get())) << slow.mFile.GetFailure();
    // A period below one tick would put every frame at the same time.
    Parsed tiny(WithMotionHeader("4", "1e-12"));
    EXPECT_FALSE(tiny.mFile.ScanHeader(tiny.mOptions.get()));
    EXPECT_NE(std::string(tiny.mFile.GetFailure()).find("frame time"), std::string::npos);
    // A microsecond a frame is the fastest rate the formats hold; less is refused with the reason.
    Parsed fastest(WithMotionHeader("4", "0.000001"));
    EXPECT_TRUE(fastest.mFile.ScanHeader(fastest.mOptions.get())) << fastest.mFile.GetFailure();
    Parsed fast(WithMotionHeader("4", "0.0000001"));
    EXPECT_FALSE(fast.mFile.ScanHeader(fast.mOptions.get()));
    EXPECT_NE(
        std::string(fast.mFile.GetFailure())
            .find("gives 10000000 frames per second, which is faster than the 1000000 frames per second"),
        std::string::npos)
        << fast.mFile.GetFailure();
    // NaN is no frame time.
    Parsed nan(WithMotionHeader("4", "nan"));
    EXPECT_FALSE(nan.mFile.ScanHeader(nan.mOptions.get()));
    // Negative frame counts are read as 0, with a warning.
    Parsed negative(WithMotionHeader("-5", "0.01"));
    ASSERT_TRUE(negative.mFile.ScanHeader(negative.mOptions.get()));
    EXPECT_EQ(negative.mOptions->GetFrameCount(), 0);
    ASSERT_TRUE(negative.Hierarchy());
    EXPECT_EQ(negative.mFile.GetFrameCount(), 0);
    EXPECT_STREQ(negative.mFile.GetWarnings(), "BVH: \"Frames:\" of -5 is read as 0 frames\n");
    // No motion section: ScanHeader fails, but still asks for a reference node.
    Parsed none("HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 0\n}\n");
    EXPECT_FALSE(none.mFile.ScanHeader(none.mOptions.get()));
    EXPECT_EQ(none.mOptions->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE), 1);
}

TEST(bvh_File, MotionKeysStopAfterTheAnnouncedFrames) {
    FilterSettings settings(0, false);
    Parsed parsed(std::string(kTwoJoints) + "12 22 32 0 0 0 0 0 0\n");
    ASSERT_TRUE(parsed.Hierarchy());
    parsed.mOptions->SetTimeMode(0, 30.0);
    parsed.mOptions->SetFrameCount(10);  // lowered to the file's 2
    ASSERT_TRUE(parsed.Motion()) << parsed.mFile.GetFailure();
    EXPECT_EQ(parsed.mOptions->GetFrameCount(), 2);
    BvhJoint* hips = parsed.Joint(0);
    BvhJoint* chest = parsed.Joint(1);
    ASSERT_EQ(hips->mCurves[BvhJoint::eTX]->KeyGetCount(), 2);
    EXPECT_EQ(hips->mCurves[BvhJoint::eTX]->KeyGetValue(1), 11.0f);
    EXPECT_EQ(hips->mCurves[BvhJoint::eTZ]->KeyGetValue(1), 31.0f);
    EXPECT_EQ(hips->mCurves[BvhJoint::eTX]->KeyGetTime(1), parsed.mOptions->GetFramePeriod());
    // Three-channel joints key their rotation only; end sites nothing.
    EXPECT_EQ(chest->mCurves[BvhJoint::eTX]->KeyGetCount(), 0);
    ASSERT_EQ(chest->mCurves[BvhJoint::eRX]->KeyGetCount(), 2);
    EXPECT_EQ(parsed.Joint(2)->mCurves[BvhJoint::eRX]->KeyGetCount(), 0);
    const int zxy[3] = {2, 0, 1};
    const double values[3] = {10, 11, 12};
    R3 expected = FromChannels(zxy, values, 3);
    VFCurve* const* c = chest->mCurves;
    R3 got = FromXYZ(c[3]->KeyGetValue(1), c[4]->KeyGetValue(1), c[5]->KeyGetValue(1));
    EXPECT_LT(MaxDifference(got, expected), 1e-5);
}

TEST(bvh_File, JointsWithoutCurvesAreReadPast) {
    // Only the root has curves: the chest's values are still taken from the line, so the root
    // keeps its own.
    FilterSettings settings(0, false);
    Parsed parsed(kTwoJoints);
    ASSERT_TRUE(parsed.Hierarchy());
    for (VFCurve*& curve : parsed.Joint(0)->mCurves) {
        curve = VFCurve::Create();
        parsed.mCurves.push_back(curve);
    }
    ASSERT_TRUE(parsed.mFile.ReadMotion(parsed.mOptions.get())) << parsed.mFile.GetFailure();
    VFCurve* const* hips = parsed.Joint(0)->mCurves;
    ASSERT_EQ(hips[BvhJoint::eTX]->KeyGetCount(), 2);
    EXPECT_EQ(hips[BvhJoint::eTX]->KeyGetValue(1), 11.0f);
    ASSERT_EQ(hips[BvhJoint::eRX]->KeyGetCount(), 2);
    for (VFCurve* curve : parsed.Joint(1)->mCurves)
        EXPECT_EQ(curve, nullptr);
}

TEST(bvh_File, KeysReadOverOldOnesAreAnnouncedOnce) {
    // Curves that already hold keys at the frame times get them replaced frame by frame; their
    // listeners hear of it once, when the read is done: on the six-channel root and on a
    // rotation-only joint alike.
    FilterSettings settings(0, false);
    Parsed parsed(kTwoJoints);
    ASSERT_TRUE(parsed.Hierarchy());
    const VTime period = parsed.mOptions->GetFramePeriod();
    for (int i = 0; i < 2; ++i) {
        for (VFCurve*& curve : parsed.Joint(i)->mCurves) {
            curve = VFCurve::Create();
            curve->KeyAppendFast(VTime(0), -1.0f);
            curve->KeyAppendFast(period, -1.0f);
            parsed.mCurves.push_back(curve);
        }
    }
    struct Heard {
        int deliveries = 0;
        int events = 0;
    } heard[4];
    auto listen = [](VFCurve*, VFCurveEvent* event, void* data) {
        Heard* h = static_cast<Heard*>(data);
        ++h->deliveries;
        h->events += event->mEventCount;
    };
    VFCurve* watched[4] = {parsed.Joint(0)->mCurves[BvhJoint::eTX], parsed.Joint(0)->mCurves[BvhJoint::eRX],
                           parsed.Joint(1)->mCurves[BvhJoint::eRX], parsed.Joint(1)->mCurves[BvhJoint::eRZ]};
    for (int i = 0; i < 4; ++i)
        watched[i]->CallbackRegister(listen, &heard[i]);
    ASSERT_TRUE(parsed.mFile.ReadMotion(parsed.mOptions.get())) << parsed.mFile.GetFailure();
    EXPECT_EQ(watched[0]->KeyGetValue(1), 11.0f);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(watched[i]->KeyGetCount(), 2) << i;
        EXPECT_NE(watched[i]->KeyGetValue(0), -1.0f) << i;
        EXPECT_EQ(heard[i].deliveries, 1) << i;
        EXPECT_EQ(heard[i].events, 2) << i;
        EXPECT_TRUE(watched[i]->IsNotifyNow()) << i;
    }
    // The curves outlive the counters: they announce their own destruction later.
    for (int i = 0; i < 4; ++i)
        watched[i]->CallbackUnregister(listen, &heard[i]);
}

TEST(bvh_File, ContinuityBeforeTheFilters) {
    // A joint turning about X past 180 degrees: decomposed angles would jump to -179.
    FilterSettings settings(0, false);
    std::string text =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Yrotation Xrotation\n}\nMOTION\n"
        "Frames: 4\nFrame Time: 0.1\n0 0 170\n0 0 179\n0 0 181\n0 0 200\n";
    Parsed parsed(text);
    ASSERT_TRUE(parsed.Hierarchy());
    ASSERT_TRUE(parsed.Motion());
    VFCurve* x = parsed.Joint(0)->mCurves[BvhJoint::eRX];
    ASSERT_EQ(x->KeyGetCount(), 4);
    EXPECT_NEAR(x->KeyGetValue(2), 181.0f, 1e-3);
    EXPECT_NEAR(x->KeyGetValue(3), 200.0f, 1e-3);

    // A rotation whose middle angle goes past 90: the equivalent set (x + 180, 180 - y, z + 180)
    // stays nearest the previous frame.
    Parsed pole(
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 3 Zrotation Yrotation Xrotation\n}\nMOTION\n"
        "Frames: 3\nFrame Time: 0.1\n0 80 0\n0 89 0\n0 95 0\n");
    ASSERT_TRUE(pole.Hierarchy());
    ASSERT_TRUE(pole.Motion());
    VFCurve* const* r = pole.Joint(0)->mCurves;
    EXPECT_NEAR(r[BvhJoint::eRY]->KeyGetValue(2), 95.0f, 1e-3);
    EXPECT_NEAR(r[BvhJoint::eRX]->KeyGetValue(2), 0.0f, 1e-3);
    EXPECT_NEAR(r[BvhJoint::eRZ]->KeyGetValue(2), 0.0f, 1e-3);
}

TEST(bvh_File, MalformedHierarchiesFail) {
    const std::string head = "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\n";
    const std::string tail = "}\nMOTION\nFrames: 0\nFrame Time: 0.1\n";
    struct Case {
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {head + "CHANNELS -1\n" + tail, "channels"},
        {head + "CHANNELS 7 Xrotation Xrotation Xrotation Xrotation Xrotation Xrotation Xrotation\n" + tail,
         "channels"},
        {head + "CHANNELS 2000000000\n" + tail, "channels"},
        {head + "CHANNELS 1 Wrotation\n" + tail, "unknown channel"},
        {head + "CHANNELS 2 Xrotation\n" + tail, "channel names"},
        {head + "CHANNELS 0\nJOINT B\n{\nOFFSET 0 0\n", "OFFSET"},
        {head + "CHANNELS 0\nJOINT B\n{\nOFFSET nan 0 0\nCHANNELS 0\n}\n" + tail, "OFFSET"},
        {head + "CHANNELS 0\nJOINT B\n{\n", "OFFSET"},
        {head + "CHANNELS 0\nJOINT\n", "name"},
        {head + "CHANNELS 0\nEnd Site\n{\nOFFSET 0 0 1\n", "end site"},
        {head + "CHANNELS 0\nBONE C\n" + tail, "expected"},
        {head + "CHANNELS 0\n}\n", "before the MOTION"},
        {"HIERARCHY\nJOINT A\n", "ROOT"},
        {"MOTION\nFrame Time: 0.1\n", "Frames:"},
        {"MOTION\nFrames: x\nFrame Time: 0.1\n", "whole number"},
        {"", "before the MOTION"},
    };
    for (const Case& c : cases) {
        Parsed parsed(c.text);
        EXPECT_FALSE(parsed.Hierarchy()) << c.text;
        EXPECT_NE(std::string(parsed.mFile.GetFailure()).find(c.why), std::string::npos)
            << parsed.mFile.GetFailure() << "\n"
            << c.text;
    }
}

TEST(bvh_File, NestingIsCapped) {
    auto chain = [](int depth) {
        std::string text = "HIERARCHY\nROOT J0\n{\nOFFSET 0 0 0\nCHANNELS 0\n";
        for (int i = 1; i < depth; ++i)
            text += "JOINT J" + std::to_string(i) + "\n{\nOFFSET 0 1 0\nCHANNELS 0\n";
        for (int i = 0; i < depth; ++i)
            text += "}\n";
        return text + "MOTION\nFrames: 0\nFrame Time: 0.1\n";
    };
    Parsed deepest(chain(VOxaFileBiovision::kMaxDepth));
    EXPECT_TRUE(deepest.Hierarchy()) << deepest.mFile.GetFailure();
    EXPECT_EQ(deepest.mFile.GetJointCount(), VOxaFileBiovision::kMaxDepth);
    Parsed tooDeep(chain(VOxaFileBiovision::kMaxDepth + 1));
    EXPECT_FALSE(tooDeep.Hierarchy());
    EXPECT_NE(std::string(tooDeep.mFile.GetFailure()).find("deeper"), std::string::npos);

    // So is the number of joints.
    auto flat = [](int joints) {
        std::string text = "HIERARCHY\nROOT J0\n{\nOFFSET 0 0 0\nCHANNELS 0\n";
        for (int i = 1; i < joints; ++i)
            text += "JOINT J" + std::to_string(i) + "\n{\nOFFSET 0 1 0\nCHANNELS 0\n}\n";
        return text + "}\nMOTION\nFrames: 0\nFrame Time: 0.1\n";
    };
    Parsed most(flat(VOxaFileBiovision::kMaxJoints));
    EXPECT_TRUE(most.Hierarchy()) << most.mFile.GetFailure();
    Parsed tooMany(flat(VOxaFileBiovision::kMaxJoints + 1));
    EXPECT_FALSE(tooMany.Hierarchy());
    EXPECT_NE(std::string(tooMany.mFile.GetFailure()).find("more than 20000 joints"), std::string::npos);
}

TEST(bvh_File, BadMotionLinesFailAndKeepTheKeysRead) {
    FilterSettings settings(0, false);
    const std::string head =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 3 Xrotation Yrotation Zrotation\n}\n";
    struct Case {
        const char* motion;
        int keys;
        const char* why;
    };
    const Case cases[] = {
        {"Frames: 3\nFrame Time: 0.1\n1 2 3\n1 2\n1 2 3\n", 1, "value 3 of 3"},
        {"Frames: 3\nFrame Time: 0.1\n1 2 3\n1 nan 3\n", 1, "value 2"},
        {"Frames: 3\nFrame Time: 0.1\n1 2 inf\n", 0, "value 3"},
        {"Frames: 3\nFrame Time: 0.1\n1 2 1e999\n", 0, "value 3"},
        {"Frames: 3\nFrame Time: 0.1\n1 2 3\nx 2 3\n", 1, "value 1"},
        {"Frames: 3\nFrame Time: 0.1\n1 2 3\n1.0.5 2 3\n", 1, "value 1 of 3"},  // no value's rest is the next
    };
    for (const Case& c : cases) {
        Parsed parsed(head + "MOTION\n" + c.motion);
        ASSERT_TRUE(parsed.Hierarchy()) << c.motion;
        parsed.mOptions->SetFrameCount(3);
        EXPECT_FALSE(parsed.Motion()) << c.motion;
        EXPECT_EQ(parsed.Joint(0)->mCurves[BvhJoint::eRX]->KeyGetCount(), c.keys) << c.motion;
        EXPECT_NE(std::string(parsed.mFile.GetFailure()).find(c.why), std::string::npos)
            << parsed.mFile.GetFailure();
    }
}

TEST(bvh_File, FramesFewerOrMoreThanTheHeaderNames) {
    // The whole frames a file holds are read, with a warning that gives both counts; a last line
    // cut short is no whole frame. Lines beyond the header's count are not read, with a warning.
    FilterSettings settings(0, false);
    const std::string head =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 2 Xrotation Xposition\n}\nMOTION\n";
    const struct {
        const char* motion;
        int frames;
        const char* warning;
    } cases[] = {
        {"Frames: 3\nFrame Time: 0.1\n1 0\n", 1,
         "BVH: the file holds 1 of the 3 frames its header names: 1 frames are read\n"},
        {"Frames: 3\nFrame Time: 0.1\n1 0\n2 0\n3\n", 2,
         "BVH: the file holds 2 of the 3 frames its header names: 2 frames are read\n"},
        {"Frames: 2\nFrame Time: 0.1\n1 0\n2 0\n3 0\n\n", 2,
         "BVH: the file holds 3 frame lines, more than the 2 its header names: the lines after frame 2 are "
         "not read\n"},
        // Blank lines between the rows are no rows.
        {"Frames: 2\nFrame Time: 0.1\n1 0\n2 0\n3 0\n\n4 0\n5 0\n", 2,
         "BVH: the file holds 5 frame lines, more than the 2 its header names: the lines after frame 2 are "
         "not read\n"},
        {"Frames: 2\nFrame Time: 0.1\n1 0\n2 0\n\n", 2, ""},
    };
    for (const auto& c : cases) {
        Parsed parsed(head + c.motion);
        ASSERT_TRUE(parsed.mFile.ScanHeader(parsed.mOptions.get()));
        ASSERT_TRUE(parsed.Hierarchy()) << c.motion;
        ASSERT_TRUE(parsed.Motion()) << c.motion << parsed.mFile.GetFailure();
        EXPECT_EQ(parsed.mOptions->GetFrameCount(), c.frames) << c.motion;
        VFCurve* rx = parsed.Joint(0)->mCurves[BvhJoint::eRX];
        ASSERT_EQ(rx->KeyGetCount(), c.frames) << c.motion;
        // Frame k turns about x alone, by k + 1 degrees.
        for (int k = 0; k < c.frames; ++k)
            EXPECT_NEAR(rx->KeyGetValue(k), k + 1.0, 1e-5) << c.motion;
        EXPECT_STREQ(parsed.mFile.GetWarnings(), c.warning) << c.motion;
    }
}

TEST(bvh_File, HugeFrameCountsReserveOnlyWhatArrives) {
    FilterSettings settings(0, false);
    Parsed parsed(
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 1 Xrotation\n}\nMOTION\nFrames: 2000000000\n"
        "Frame Time: 0.01\n1\n2\n");
    ASSERT_TRUE(parsed.mFile.ScanHeader(parsed.mOptions.get()));
    EXPECT_EQ(parsed.mOptions->GetFrameCount(), 2000000000);
    ASSERT_TRUE(parsed.Hierarchy());
    const int64_t before = VFCurve::GetKeyMemoryTotal();
    EXPECT_TRUE(parsed.Motion());
    EXPECT_EQ(parsed.Joint(0)->mCurves[BvhJoint::eRX]->KeyGetCount(), 2);
    // Three curves, each with at most the reserve's room.
    EXPECT_LT(VFCurve::GetKeyMemoryTotal() - before, 3 * 2 * VOxaFileBiovision::kKeyReserve * 40);
}

TEST(bvh_File, WritersLayTheTextOut) {
    const std::string path = TempPath("lines.bvh");
    VOxaFileBiovision file;
    ASSERT_TRUE(file.Open(path.c_str(), "w"));
    const double rootOffset[3] = {0.000001, -2.5, 1e-6};
    const double offset[3] = {1, 2, 3};
    const double endOffset[3] = {0, 4, -0.00001};
    EXPECT_TRUE(file.WriteJointHeader("Hips", true, rootOffset, true, true, 0));
    EXPECT_TRUE(file.WriteJointHeader("Chest", false, offset, true, true, 1));
    EXPECT_TRUE(file.WriteEndSite(endOffset, 2));
    EXPECT_TRUE(file.WriteJointEnd(1));
    EXPECT_TRUE(file.WriteJointHeader("Arm", false, offset, false, false, 1));
    EXPECT_TRUE(file.WriteJointEnd(1));
    EXPECT_TRUE(file.WriteJointEnd(0));
    EXPECT_TRUE(file.WriteMotionHeader(2, 1.0 / 30.0));
    const double t[3] = {1.5, 1e-7, 123456789};
    const double r[3] = {10, 20, 30};  // X, Y, Z
    EXPECT_TRUE(file.WriteJointValues(t, r, true, true));
    EXPECT_TRUE(file.WriteJointValues(t, r, false, true));
    EXPECT_TRUE(file.WriteJointValues(t, r, false, false));
    EXPECT_TRUE(file.WriteFrameEnd());
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path),
              "HIERARCHY\n"
              "ROOT Hips\n"
              "{\n"
              "  OFFSET 0 -2.5 0\n"
              "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
              "  JOINT Chest\n"
              "  {\n"
              "    OFFSET 1 2 3\n"
              "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
              "    End Site\n"
              "    {\n"
              "      OFFSET 0 4 -1e-05\n"
              "    }\n"
              "  }\n"
              "  JOINT Arm\n"
              "  {\n"
              "    OFFSET 1 2 3\n"
              "    CHANNELS 6 Xposition Yposition Zposition Zrotation Yrotation Xrotation\n"
              "  }\n"
              "}\n"
              "MOTION\n"
              "Frames:\t2\n"
              "Frame Time:\t0.0333333\n"
              "1.5 1e-07 1.2345679e+08 30 10 20 30 10 20 1.5 1e-07 1.2345679e+08 30 10 20 \n");
}
