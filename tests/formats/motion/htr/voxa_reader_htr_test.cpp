// The HTR reader: the skeleton, end nodes, rest pose, reference node, frame counts, segments
// that keep the file's turns whatever the settings say, and refused input.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>

#include "animation/fcurve.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/htr/voxa_reader_htr.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/formats/motion/htr/htr_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

namespace {

using htr_test::Header;
using htr_test::SampleFile;
using htr_test::WriteFile;

std::string gMessage;
int OnMessage(const char*, const char* text, const char*, const char*, const char*, void*) {
    gMessage = text;
    return 1;
}

class htr_Reader : public ::testing::Test {
protected:
    void SetUp() override {
        htr_test::UseSettings("No");
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
    }
    void TearDown() override {
        if (mOptions) mOptions->Destroy();
        delete mReader;
        delete mManager;
        htr_test::UseSettings(nullptr);
    }

    // Opens `text` as "<name>.htr" and takes the reader's options.
    bool Open(const std::string& text, const char* name = "walk.htr") {
        if (mOptions) mOptions->Destroy();
        mOptions = nullptr;
        delete mReader;
        mReader = new VOxaReaderMotionAnalysisHtr(mManager);
        if (!mReader->FileOpen(WriteFile(name, text).c_str())) return false;
        mOptions = static_cast<VStreamOptionsMotion*>(mReader->GetReadOptions());
        if (mOptions) mOptions->SetMessageCallback(OnMessage);
        return mOptions != nullptr;
    }
    bool Read(const std::string& text, const char* name = "walk.htr") {
        return Open(text, name) && mReader->Read(mScene, mOptions);
    }
    VOxaNode* Node(const char* name) { return mScene->GetRootNode()->FindChild(name, true); }
    VFCurve* Curve(const char* name, int channel) {
        VOxaNode* node = Node(name);
        VOxaTakeNode* take = node ? node->GetCurrentTakeNode() : nullptr;
        if (!take) return nullptr;
        VFCurve* curves[6] = {take->GetTranslationX(),   take->GetTranslationY(),
                              take->GetTranslationZ(),   take->GetEulerRotationX(),
                              take->GetEulerRotationY(), take->GetEulerRotationZ()};
        return curves[channel];
    }
    // A channel's value at frame `i` (the constant key reducer may have thinned the keys).
    double Value(const char* name, int channel, int i) {
        return Curve(name, channel)
            ->Evaluate(mOptions->GetStartTime() + mOptions->GetFramePeriod() * (int64_t)i);
    }
    // The segment's local matrix at frame `i` composed from its keys as a plain TRS matrix.
    void KeyMatrix(const char* name, int i, double out[4][4]) {
        VgeMatrixIdentity(out);
        VgeEulerXYZToMatrix(out, Value(name, 3, i), Value(name, 4, i), Value(name, 5, i));
        VgeMatrixSetTranslation(out, Value(name, 0, i), Value(name, 1, i), Value(name, 2, i));
    }
    using Matrix = std::array<std::array<double, 4>, 4>;
    // The global matrices at key `i` of the sample's segments, composed from the keys.
    std::map<std::string, Matrix> KeyGlobals(int i) {
        std::map<std::string, Matrix> out;
        const char* names[] = {"Hips", "Spine", "Head", "Leg"};
        const char* parents[] = {nullptr, "Hips", "Spine", "Hips"};
        for (int s = 0; s < 4; ++s) {
            double local[4][4], global[4][4], parent[4][4];
            KeyMatrix(names[s], i, local);
            VgeMatrixIdentity(global);
            VgeMatrixIdentity(parent);
            if (parents[s])
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        parent[r][c] = out[parents[s]][r][c];
            VgeMatrixMultAffine(global, parent, local);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c)
                    out[names[s]][r][c] = global[r][c];
        }
        return out;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
    VOxaReaderMotionAnalysisHtr* mReader = nullptr;
    VStreamOptionsMotion* mOptions = nullptr;
};

TEST_F(htr_Reader, SkeletonUnderTheReferenceNode) {
    ASSERT_TRUE(Read(SampleFile()));
    VOxaNode* root = mScene->GetRootNode();
    ASSERT_EQ(root->GetChildCount(), 1);
    VOxaNode* reference = root->GetChild(0);
    EXPECT_STREQ(reference->GetName(), "Model::HTR:reference");
    ASSERT_EQ(reference->GetChildCount(), 1);
    VOxaNode* hips = reference->GetChild(0);
    EXPECT_STREQ(hips->GetName(), "Model::Hips");
    ASSERT_EQ(hips->GetChildCount(), 2);
    EXPECT_STREQ(hips->GetChild(0)->GetName(), "Model::Spine");
    EXPECT_STREQ(hips->GetChild(1)->GetName(), "Model::Leg");
    ASSERT_NE(hips->GetSkeleton(), nullptr);
    EXPECT_EQ(hips->GetSkeleton()->GetSkeletonType(), VOxaSkeleton::eLIMB_NODE);

    // Base positions in centimetres; the default rotation from the base rotation.
    VgeTVector t, r;
    Node("Spine")->GetLclTranslation(t);
    Node("Spine")->GetLclRotation(r);
    EXPECT_NEAR(t[1], 10.0, 1e-12);
    EXPECT_NEAR(r[0], 10.0, 1e-9);

    // Leaf segments end in "<name>_End" along the bone axis (Y), their bone length away.
    VOxaNode* headEnd = Node("Head_End");
    ASSERT_NE(headEnd, nullptr);
    EXPECT_EQ(headEnd->GetParent(), Node("Head"));
    headEnd->GetLclTranslation(t);
    EXPECT_NEAR(t[0], 0.0, 1e-12);
    EXPECT_NEAR(t[1], 12.0, 1e-12);
    EXPECT_NEAR(t[2], 0.0, 1e-12);
    VOxaNodeLimitsAdapter endLimits(headEnd->GetLimits());
    EXPECT_FALSE(endLimits.GetAuto(0));
    EXPECT_FALSE(endLimits.GetAuto(1));
    EXPECT_TRUE(endLimits.GetEnable(0));
    EXPECT_EQ(headEnd->GetNodeProperties()->GetAxisLen(), 0.0);
    EXPECT_NE(Node("Leg_End"), nullptr);
    EXPECT_EQ(Node("Spine_End"), nullptr);
    EXPECT_EQ(Node("Hips")->GetNodeProperties()->GetAxisLen(), 10.0);

    // Segment limits: the spheric rotation order and the fixed rotation range.
    VOxaNodeLimitsAdapter limits(Node("Spine")->GetLimits());
    EXPECT_EQ(limits.GetRotationType(), 0);
    EXPECT_EQ(limits.GetMin(1)[1], -150.0);
    EXPECT_EQ(limits.GetMax(1)[0], 180.0);
    // The rotation axis: the bone axis (X turned onto Y) in the default global orientation.
    VgeTVector axis = limits.GetRotationAxis();
    // The rotation fills the 3x3 part only; the comparison also reads the translation row.
    double got[4][4] = {}, want[4][4] = {}, turn[4][4] = {};
    VgeEulerXYZToMatrix(got, axis[0], axis[1], axis[2]);
    VgeEulerXYZToMatrix(turn, 0, 0, 90);
    VgeEulerXYZToMatrix(want, 10, 0, 0);  // Hips has no rotation
    VgeMatrixMultRotation(want, want, turn);
    EXPECT_EQ(VgeMatrixCompareAffine(got, want, 1e-9), 0);

    // The rest pose of the node above the skeleton, with each segment's base transform.
    ASSERT_EQ(mScene->GetPoseCount(), 1);
    VOxaPose* pose = mScene->GetPose(0);
    EXPECT_STREQ(pose->GetName(), "Pose::HTR:reference_RESTPOSE");
    EXPECT_TRUE(pose->IsRestPose());
    EXPECT_EQ(pose->GetCount(), 4);
    int leg = pose->Find("Leg");
    ASSERT_GE(leg, 0);
    EXPECT_TRUE(pose->IsLocalMatrix(leg));
    EXPECT_NEAR(pose->GetMatrix(leg)[3][0], 9.0, 1e-12);
    EXPECT_NEAR(pose->GetMatrix(leg)[0][0], -1.0, 1e-12) << "Z 180";

    // The take is named after the file and spans the frames read.
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "htr_walk");
    VOxaTakeInfo* info = mScene->GetTakeInfo("htr_walk");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop(), mOptions->GetFramePeriod() * 2);
    EXPECT_EQ(Curve("Hips", 0)->KeyGetCount(), 3);
}

TEST_F(htr_Reader, WithoutReferenceNodeTheSegmentsHangBelowTheRoot) {
    ASSERT_TRUE(Open(SampleFile()));
    mOptions->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 0);
    ASSERT_TRUE(mReader->Read(mScene, mOptions));
    VOxaNode* root = mScene->GetRootNode();
    ASSERT_EQ(root->GetChildCount(), 1);
    EXPECT_STREQ(root->GetChild(0)->GetName(), "Model::Hips");
    EXPECT_EQ(mManager->GetNode("HTR:reference", 0), nullptr) << "the reference node is destroyed";
    ASSERT_EQ(mScene->GetPoseCount(), 1);
    std::string name = mScene->GetPose(0)->GetName();
    EXPECT_EQ(name, std::string("Pose::") + root->GetNameWithoutPrefix() + "_RESTPOSE");
}

TEST_F(htr_Reader, FrameCountLoweredToTheFile) {
    ASSERT_TRUE(Open(SampleFile()));
    EXPECT_EQ(mOptions->GetFrameCount(), 3);
    mOptions->SetFrameCount(1000);
    ASSERT_TRUE(mReader->Read(mScene, mOptions));
    EXPECT_EQ(mOptions->GetFrameCount(), 3);
    EXPECT_EQ(Curve("Head", 3)->KeyGetCount(), 3);

    // Fewer frames than the file: the rest of each block is skipped.
    VOxaScene* other = mManager->CreateScene();
    ASSERT_TRUE(Open(SampleFile(), "short.htr"));
    mOptions->SetFrameCount(2);
    ASSERT_TRUE(mReader->Read(other, mOptions));
    VOxaNode* hips = other->GetRootNode()->FindChild("Hips", true);
    ASSERT_NE(hips, nullptr);
    VFCurve* x = hips->GetCurrentTakeNode()->GetTranslationX();
    ASSERT_EQ(x->KeyGetCount(), 2);
    EXPECT_NEAR(x->KeyGetValue(1), 1.0, 1e-6);
}

TEST_F(htr_Reader, KeysAreBasePlusFrameWithThePassOff) {
    ASSERT_TRUE(Read(SampleFile()));
    // Translation: base + frame, in centimetres.
    EXPECT_NEAR(Value("Hips", 0, 2), 2.0, 1e-5);
    EXPECT_NEAR(Value("Hips", 1, 2), 91.0, 1e-4);
    EXPECT_NEAR(Value("Leg", 0, 1), 9.1, 1e-5);
    // Rotation: the frame rotation, then the base rotation.
    double frame[4][4], base[4][4], want[4][4], got[4][4];
    VgeMatrixIdentity(want);
    VgeEulerXYZToMatrix(frame, 170, 10, -60);
    VgeEulerXYZToMatrix(base, 10, 0, 0);
    VgeMatrixMultRotation(want, base, frame);
    KeyMatrix("Spine", 2, got);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(got[r][c], want[r][c], 1e-5);
}

TEST_F(htr_Reader, EverySegmentKeepsTheFilesPlaceAndOrientationWhateverTheSetting) {
    ASSERT_TRUE(Read(SampleFile(), "off.htr"));
    ASSERT_FALSE(mReader->GetFile()->GetMinimizeRotationOffset());
    std::map<std::string, Matrix> off[3];
    for (int i = 0; i < 3; ++i)
        off[i] = KeyGlobals(i);
    VgeTVector endOff;
    Node("Head_End")->GetLclTranslation(endOff);
    // A static first frame sits at the base positions, turned by the base rotations.
    EXPECT_NEAR(off[0]["Spine"][3][1], 100.0, 1e-4);
    EXPECT_NEAR(off[0]["Head"][3][1], 25.0 * std::cos(10 * M_PI / 180) + 100.0, 1e-4);
    EXPECT_NEAR(off[0]["Head"][3][2], 25.0 * std::sin(10 * M_PI / 180), 1e-4);
    double spine[4][4];
    VgeEulerXYZToMatrix(spine, 10, 0, 0);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(off[0]["Spine"][r][c], spine[r][c], 1e-6);

    // The same file with the setting on, into a fresh scene: the same places and orientations.
    // (Turning each segment by its rest orientation moved the frames of a file written again.)
    htr_test::UseSettings("yes");
    delete mReader;
    mReader = nullptr;
    delete mManager;
    mManager = VOxaSdkManager::Create();
    mScene = mManager->CreateScene();
    ASSERT_TRUE(Read(SampleFile(), "on.htr"));
    ASSERT_TRUE(mReader->GetFile()->GetMinimizeRotationOffset());
    for (int i = 0; i < 3; ++i) {
        auto on = KeyGlobals(i);
        for (const auto& entry : off[i])
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(on[entry.first][r][c], entry.second[r][c], 1e-4)
                        << entry.first << " frame " << i;
    }
    VgeTVector endOn;
    Node("Head_End")->GetLclTranslation(endOn);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(endOn[k], endOff[k]);
}

TEST_F(htr_Reader, TheReadLeavesNodesThatWereThereBefore) {
    // Without the reference node the skeleton joins the root's children; the nodes that were
    // there before are not taken for segments or end nodes.
    htr_test::UseSettings(nullptr);
    VOxaNode* prop = mManager->CreateNode("Prop");
    VOxaNode* lamp = mManager->CreateNode("Lamp");
    mScene->GetRootNode()->AddChild(prop);
    mScene->GetRootNode()->AddChild(lamp);
    VOxaNode* bulb = mManager->CreateNode("Bulb");
    lamp->AddChild(bulb);
    prop->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    ASSERT_TRUE(Open(SampleFile()));
    mOptions->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 0);
    ASSERT_TRUE(mReader->Read(mScene, mOptions));
    ASSERT_TRUE(mReader->GetFile()->GetMinimizeRotationOffset());
    VgeTVector t;
    prop->GetLclTranslation(t);
    EXPECT_EQ(t[2], 3.0);
    VOxaNodeLimitsAdapter limits(prop->GetLimits());
    EXPECT_TRUE(limits.GetAuto(0)) << "not taken for an end node";
    EXPECT_EQ(Node("Hips")->GetParent(), mScene->GetRootNode());
}

TEST_F(htr_Reader, RefusedHierarchies) {
    const std::string twoRoots = Header(2, 1) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB GLOBAL\n" +
                                 "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n[A]\n1 0 0 0 0 0 0 1\n" +
                                 "[B]\n1 0 0 0 0 0 0 1\n";
    EXPECT_FALSE(Read(twoRoots));
    EXPECT_EQ(mReader->GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);

    // A parent cycle beside a valid root.
    const std::string cycle = Header(3, 1) + "[SegmentNames&Hierarchy]\nR GLOBAL\nA B\nB A\n" +
                              "[BasePosition]\nR 0 0 0 0 0 0 1\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n" +
                              "[R]\n1 0 0 0 0 0 0 1\n[A]\n1 0 0 0 0 0 0 1\n[B]\n1 0 0 0 0 0 0 1\n";
    EXPECT_FALSE(Read(cycle));
    EXPECT_EQ(mReader->GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    const std::string self = Header(2, 0) + "[SegmentNames&Hierarchy]\nR GLOBAL\nA A\n" +
                             "[BasePosition]\nR 0 0 0 0 0 0 1\nA 0 0 0 0 0 0 1\n[R]\n[A]\n";
    EXPECT_FALSE(Read(self));
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);

    // No root at all.
    const std::string none = Header(2, 0) + "[SegmentNames&Hierarchy]\nA B\nB A\n" +
                             "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n[A]\n[B]\n";
    EXPECT_FALSE(Read(none));

    // A chain deeper than the cap is refused rather than walked.
    const int depth = VOxaReaderMotionAnalysisHtr::kMaxDepth + 5;
    std::string deep = Header(depth, 0) + "[SegmentNames&Hierarchy]\nS0 GLOBAL\n";
    std::string base = "[BasePosition]\nS0 0 0 0 0 0 0 1\n";
    for (int i = 1; i < depth; ++i) {
        deep += "S" + std::to_string(i) + " S" + std::to_string(i - 1) + "\n";
        base += "S" + std::to_string(i) + " 0 1 0 0 0 0 1\n";
    }
    const int nodesBefore = mManager->GetNodeCount();
    EXPECT_FALSE(Read(deep + base + "[S0]\n"));
    EXPECT_NE(mReader->GetError().GetLastErrorString().Find("nested too deep"), -1)
        << mReader->GetError().GetLastErrorString().Buffer();
    // Refused before the segments' nodes are made: at most the reference node was.
    EXPECT_LE(mManager->GetNodeCount() - nodesBefore, 1);
    // A chain whose deepest segment lies exactly at the cap is read.
    const int most = VOxaReaderMotionAnalysisHtr::kMaxDepth + 1;
    std::string chain = Header(most, 0) + "[SegmentNames&Hierarchy]\nS0 GLOBAL\n";
    std::string chainBase = "[BasePosition]\nS0 0 0 0 0 0 0 1\n";
    std::string blocks = "[S0]\n";
    for (int i = 1; i < most; ++i) {
        chain += "S" + std::to_string(i) + " S" + std::to_string(i - 1) + "\n";
        chainBase += "S" + std::to_string(i) + " 0 1 0 0 0 0 1\n";
        blocks += "[S" + std::to_string(i) + "]\n";
    }
    EXPECT_TRUE(Read(chain + chainBase + blocks)) << mReader->GetError().GetLastErrorString().Buffer();

    // Duplicate names reach the options' message receiver.
    const std::string twice = Header(3, 0) + "[SegmentNames&Hierarchy]\nR GLOBAL\nA R\nA R\n" +
                              "[BasePosition]\nR 0 0 0 0 0 0 1\nA 0 0 0 0 0 0 1\nA 0 0 0 0 0 0 1\n[R]\n";
    gMessage.clear();
    EXPECT_FALSE(Read(twice, "twice.htr"));
    // The end nodes the reader makes are named clear of each other: the file's own names clash.
    EXPECT_EQ(gMessage, "Duplicate names found in htr_twice:\n    Model::A");
}

// A file declares how many segments it has; each becomes a joint node with its curves, so a
// count past what the reader takes is refused from the header, before anything is built.
TEST_F(htr_Reader, SegmentCountIsBounded) {
    const int most = VOxaFileMotionAnalysisHtr::kMaxSegments;
    ASSERT_EQ(most, 2048) << "as many segments as the BVH reader takes joints";
    auto flat = [](int segments) {
        std::string text = Header(segments, 0) + "[SegmentNames&Hierarchy]\nS0 GLOBAL\n";
        std::string base = "[BasePosition]\nS0 0 0 0 0 0 0 1\n";
        std::string blocks = "[S0]\n";
        for (int i = 1; i < segments; ++i) {
            text += "S" + std::to_string(i) + " S0\n";
            base += "S" + std::to_string(i) + " 0 1 0 0 0 0 1\n";
            blocks += "[S" + std::to_string(i) + "]\n";
        }
        return text + base + blocks;
    };
    const int nodesBefore = mManager->GetNodeCount();
    EXPECT_FALSE(Read(flat(most + 1)));
    EXPECT_NE(mReader->GetError().GetLastErrorString().Find("2049 segments: more than 2048"), -1)
        << mReader->GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(mManager->GetNodeCount(), nodesBefore);
    // A count far past the bound in a tiny file is refused the same way.
    EXPECT_FALSE(Read(Header(100000, 1) + "[SegmentNames&Hierarchy]\nS0 GLOBAL\n"));
    EXPECT_NE(mReader->GetError().GetLastErrorString().Find("more than 2048"), -1);
    EXPECT_EQ(mManager->GetNodeCount(), nodesBefore);

    ASSERT_TRUE(Read(flat(most))) << mReader->GetError().GetLastErrorString().Buffer();
    EXPECT_NE(Node("S2047"), nullptr);
}

TEST_F(htr_Reader, LongSegmentNamesAreReadWhole) {
    // The keys of "Spine" in the sample as it stands.
    ASSERT_TRUE(Read(SampleFile()));
    double want[3][6];
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 6; ++c)
            want[i][c] = Value("Spine", c, i);

    // The sample with "Spine" renamed to a name of 300 bytes in every section.
    const std::string longName = "Spine" + std::string(295, 'x');
    std::string text = SampleFile();
    for (size_t at = text.find("Spine"); at != std::string::npos;
         at = text.find("Spine", at + longName.size()))
        text.replace(at, 5, longName);
    mScene = mManager->CreateScene();
    ASSERT_TRUE(Read(text)) << mReader->GetError().GetLastErrorString().Buffer();
    VOxaNode* spine = Node(longName.c_str());
    ASSERT_NE(spine, nullptr);
    ASSERT_NE(Node("Head"), nullptr);
    EXPECT_EQ(Node("Head")->GetParent(), spine);
    EXPECT_EQ(spine->GetParent(), Node("Hips"));
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(Value(longName.c_str(), c, i), want[i][c]) << "frame " << i << " channel " << c;
}

TEST_F(htr_Reader, RefusedAnimation) {
    const std::string head = Header(2, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n" +
                             "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n";
    const std::string a = "[A]\n1 0 0 0 0 0 0 1\n2 0 0 0 0 0 0 1\n";
    const std::string b = "[B]\n1 0 0 0 0 0 0 1\n2 0 0 0 0 0 0 1\n";
    EXPECT_TRUE(Read(head + b + a)) << "blocks in any order";
    // A block naming no segment, a block given twice, a truncated block, NaN, no animation.
    for (const std::string& text : {head + a + "[C]\n1 0 0 0 0 0 0 1\n2 0 0 0 0 0 0 1\n", head + a + a,
                                    head + "[A]\n1 0 0 0 0 0 0 1\n", head + a + "[B]\n1 0 0 0 0 0 0 1\n[A]\n",
                                    head + a + "[B]\n1 0 0 0 nan 0 0 1\n2 0 0 0 0 0 0 1\n", head}) {
        EXPECT_FALSE(Read(text)) << text;
        EXPECT_EQ(mReader->GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    }

    // Two billion frames claimed, two given: the two are read, and said so.
    EXPECT_TRUE(Read(Header(2, 2000000000) + head.substr(Header(2, 2).size()) + a + b));
    EXPECT_NE(std::string(mReader->GetMessageText().Buffer())
                  .find("HTR: the file holds 2 of the 2000000000 frames its header names: 2 frames are read"),
              std::string::npos)
        << mReader->GetMessageText().Buffer();

    // A custom rate whose period is under one tick, and a span that would wrap.
    ASSERT_TRUE(Open(head + a + b));
    mOptions->SetTimeMode(0, 1e11);
    EXPECT_FALSE(mReader->Read(mScene, mOptions));
    ASSERT_TRUE(Open(head + a + b));
    mOptions->SetStartTime(VTime(INT64_MAX - 10));
    EXPECT_FALSE(mReader->Read(mScene, mOptions));
}

TEST_F(htr_Reader, AFileCutInsideItsLastBlockGivesTheWholeFrames) {
    // Blocks come segment by segment: a file cut in its last block holds every segment's first
    // frames. Those are read, with a warning that gives both counts.
    const std::string head = Header(2, 3) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n" +
                             "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 10 0 0 0 0 1\n";
    const std::string a = "[A]\n1 10 0 0 0 0 0 1\n2 20 0 0 0 0 0 1\n3 30 0 0 0 0 0 1\n";
    for (const std::string& b : {std::string("[B]\n1 1 0 0 0 0 0 1\n2 2 0 0 0 0 0 1\n"),
                                 std::string("[B]\n1 1 0 0 0 0 0 1\n2 2 0 0 0 0 0 1\n3 3 0 0")}) {
        ASSERT_TRUE(Read(head + a + b)) << b << mReader->GetError().GetLastErrorString().Buffer();
        EXPECT_EQ(mOptions->GetFrameCount(), 2);
        EXPECT_NE(std::string(mReader->GetMessageText().Buffer())
                      .find("HTR: the file holds 2 of the 3 frames its header names: 2 frames are read"),
                  std::string::npos)
            << mReader->GetMessageText().Buffer();
        // Millimetres to centimetres: A at x = 1 and 2 cm, B at its base plus 0.1 and 0.2 cm.
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(Value("A", 0, i), 1.0 * (i + 1), 1e-5) << i;
            EXPECT_NEAR(Value("B", 0, i), 0.1 * (i + 1), 1e-5) << i;
        }
        EXPECT_LE(Curve("A", 0)->KeyGetCount(), 2);
        const VOxaTakeInfo* info = mScene->GetTakeInfo("htr_walk");
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->mLocalTimeSpan.GetStop(), mOptions->GetFramePeriod());
        mScene = mManager->CreateScene();
    }
}

TEST_F(htr_Reader, BlocksShorterThanTheHeaderGiveTheFramesTheyHold) {
    // NumFrames 5, every block whole with 3 frames (the next title or [EndOfFile] after them),
    // or the second block shorter still: the frames every block holds are read, with a warning
    // that gives both counts.
    const std::string head = Header(2, 5) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n" +
                             "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 10 0 0 0 0 1\n";
    const std::string a = "[A]\n1 10 0 0 0 0 0 1\n2 20 0 0 0 0 0 1\n3 30 0 0 0 0 0 1\n";
    const std::string b3 = "[B]\n1 1 0 0 0 0 0 1\n2 2 0 0 0 0 0 1\n3 3 0 0 0 0 0 1\n";
    const std::string b2 = "[B]\n1 1 0 0 0 0 0 1\n2 2 0 0 0 0 0 1\n";
    const struct {
        std::string text;
        int frames;
    } cases[] = {
        {head + a + b3 + "[EndOfFile]\n", 3}, {head + b3 + a, 3}, {head + a + b2 + "[EndOfFile]\n", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text)) << mReader->GetError().GetLastErrorString().Buffer();
        EXPECT_EQ(mOptions->GetFrameCount(), c.frames);
        const std::string want = "HTR: the file holds " + std::to_string(c.frames) +
                                 " of the 5 frames its header names: " + std::to_string(c.frames) +
                                 " frames are read";
        EXPECT_NE(std::string(mReader->GetMessageText().Buffer()).find(want), std::string::npos)
            << mReader->GetMessageText().Buffer();
        ASSERT_EQ(Curve("A", 0)->KeyGetCount(), c.frames);
        ASSERT_EQ(Curve("B", 0)->KeyGetCount(), c.frames);
        // Millimetres to centimetres: A at x = 1, 2, 3 cm; B at its base plus 0.1, 0.2, 0.3 cm.
        for (int i = 0; i < c.frames; ++i) {
            EXPECT_NEAR(Value("A", 0, i), 1.0 * (i + 1), 1e-5) << i;
            EXPECT_NEAR(Value("B", 0, i), 0.1 * (i + 1), 1e-5) << i;
        }
        mScene = mManager->CreateScene();
    }
    // A block with more lines than NumFrames: those past it are passed over, and said so.
    const std::string two = Header(2, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n" +
                            "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 10 0 0 0 0 1\n";
    ASSERT_TRUE(Read(two + a + b2)) << mReader->GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(Curve("A", 0)->KeyGetCount(), 2);
    EXPECT_NE(
        std::string(mReader->GetMessageText().Buffer())
            .find("HTR: the block of segment \"A\" holds 3 frame lines, more than the 2 its header names"),
        std::string::npos)
        << mReader->GetMessageText().Buffer();
}

TEST_F(htr_Reader, RefusalsSayWhere) {
    // Header() puts a comment on line 1 and "[Header]" on line 2; its keys follow one a line.
    const std::string head = Header(2, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\n" +
                             "[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n";
    const std::string a = "[A]\n1 0 0 0 0 0 0 1\n2 0 0 0 0 0 0 1\n";
    // "1.0" is frame 1, and its values stay in their columns.
    ASSERT_TRUE(Read(head + a + "[B]\n1.0 10 20 30 0 0 0 1\n2.0 0 0 0 0 0 0 1\n"));
    EXPECT_NEAR(Value("B", 0, 0), 1.0, 1e-6);  // 10 mm
    EXPECT_NEAR(Value("B", 2, 0), 3.0, 1e-6);
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "the file is empty"},
        {"# nothing\n\n", "line 2: the file holds nothing but blank and comment lines"},
        {"[Header]\nFileType htr\nNumSegments 2\n", "line 3: Unexpected end of file in the [Header] section"},
        {"words\n", "line 1: Unexpected end of file: no [Header] section"},
        {"[Header]\nFileType bvh\n[SegmentNames&Hierarchy]\n", "line 2: Unknown file type (bvh)"},
        {Header(2, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\n",
         "line 10: Unexpected end of file in the [SegmentNames&Hierarchy] section after 1 of 2 segments"},
        {Header(2, 2) + "[SegmentNames&Hierarchy]\nA GLOBAL\n[BasePosition]\n",
         "line 11: Bad segment count: NumSegments is 2, the hierarchy lists 1"},
        {head.substr(0, head.size() - 16),
         "line 13: Unexpected end of file in the [BasePosition] section after 1 of 2 segments"},
        {head, "the file ends before the animation data"},
        {head + a + "[C]\n1 0 0 0 0 0 0 1\n", "line 18: \"[C]\" is not the bracketed name of a segment"},
        {head + a + a, "line 18: the block of segment \"A\" comes twice"},
        {head + "[A]\n1 0 0 0 0 0 0 1\n", "line 16: the file ends after 1 of the 2 frames of segment \"A\""},
        {head + a + "[B]\n1 0 0 0 nan 0 0 1\n", "line 19: Can't read frame rotation"},
        {head + a + "[B]\n1.5 0 0 0 0 0 0 1\n", "line 19: the frame number 1.5 is not a whole number"},
        {head + a + "[B]\n0x1 0 0 0 0 0 0 1\n", "line 19: the frame number 0x1 is not a whole number"},
        {head + a, "line 17: the file ends after 1 of 2 segment blocks"},
        {Header(2, 1) + "[SegmentNames&Hierarchy]\nA GLOBAL\nB GLOBAL\n[BasePosition]\nA 0 0 0 0 0 0 1\n" +
             "B 0 0 0 0 0 0 1\n[A]\n1 0 0 0 0 0 0 1\n[B]\n1 0 0 0 0 0 0 1\n",
         "segments \"A\" and \"B\" both have no parent segment"},
        {Header(2, 0) +
             "[SegmentNames&Hierarchy]\nA B\nB A\n[BasePosition]\nA 0 0 0 0 0 0 1\nB 0 0 0 0 0 0 1\n",
         "every segment has a parent segment: the hierarchy has no root"},
    };
    for (const auto& c : cases) {
        VOxaReaderMotionAnalysisHtr reader(mManager);
        EXPECT_EQ(readfailure::Refusal(reader, mScene, WriteFile("refused.htr", c.text)),
                  std::string("File is corrupted: ") + c.why)
            << c.text;
    }
}

TEST_F(htr_Reader, RestPoseNeedsASceneAndATopNode) {
    ASSERT_TRUE(Read(SampleFile()));
    ASSERT_EQ(mScene->GetPoseCount(), 1);
    VOxaNode* reference = mScene->GetRootNode()->GetChild(0);
    // Either one missing gives no pose and leaves the scene as it is.
    EXPECT_EQ(mReader->CreateRestPose(mScene, nullptr), nullptr);
    EXPECT_EQ(mReader->CreateRestPose(nullptr, reference), nullptr);
    EXPECT_EQ(mScene->GetPoseCount(), 1);
}

TEST_F(htr_Reader, FileAndOptionErrors) {
    VOxaReaderMotionAnalysisHtr reader(mManager);
    EXPECT_FALSE(reader.Read(mScene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_FALSE(reader.FileClose());
    EXPECT_FALSE(reader.FileOpen(htr_test::TempPath("missing/none.htr").c_str()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_FALSE(reader.IsFileOpen());
    ASSERT_TRUE(reader.FileOpen(WriteFile("opts.htr", SampleFile()).c_str()));
    EXPECT_TRUE(reader.IsFileOpen());
    EXPECT_FALSE(reader.Read(mScene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_TRUE(reader.FileClose());

    // A broken header gives no options.
    ASSERT_TRUE(
        reader.FileOpen(WriteFile("bad.htr", "[Header]\nFileType xyz\n[SegmentNames&Hierarchy]\n").c_str()));
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);

    // The importer finds the reader by extension.
    int row = VOxaFindReaderFormat("HTR");
    ASSERT_GE(row, 0);
    VOxaReader* made = VOxaGetReaderFormat(row)->mCreate(mManager);
    EXPECT_NE(dynamic_cast<VOxaReaderMotionAnalysisHtr*>(made), nullptr);
    delete made;
}

}  // namespace
