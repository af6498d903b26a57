// The BVH writer: hierarchy and end sites, channel layouts, the written rotation order, round
// trips through the reader, and its errors.

#include "formats/motion/bvh/voxa_writer_biovision.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "oxa_codec/voxa_io_formats.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node_properties.h"
#include "tests/formats/motion/bvh/bvh_test_util.h"
#include "tests/support/file_size_limit.h"

using namespace bvhtest;

namespace {

const char* const kChain =
    "HIERARCHY\n"
    "ROOT Hips\n"
    "{\n"
    "  OFFSET 0 0 0\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Yrotation Xrotation\n"
    "  JOINT Spine\n"
    "  {\n"
    "    OFFSET 0.5 10 -0.25\n"
    "    CHANNELS 3 Zrotation Yrotation Xrotation\n"
    "    JOINT Head\n"
    "    {\n"
    "      OFFSET 0 7.5 1\n"
    "      CHANNELS 3 Xrotation Zrotation Yrotation\n"
    "      End Site\n"
    "      {\n"
    "        OFFSET 0 3 0.000001\n"
    "      }\n"
    "    }\n"
    "  }\n"
    "}\n"
    "MOTION\n"
    "Frames: 4\n"
    "Frame Time: 0.0333333\n"
    "1 2 3 10 20 30 5 -6 170 40 50 60\n"
    "1.5 2 3 -175 20 30 5 -6 179 40 50 60\n"
    "2 2 3 175 -20 30 5 -6 -179 40 50 60\n"
    "2.5 2 3 170 20 -30 5 -6 -170 40 50 60\n";

}  // namespace

class bvh_Writer : public Fixture {
protected:
    // Writes the scene (motion root marked by the caller) with options adjusted by `adjust`.
    template <typename Adjust>
    bool WriteScene(VOxaScene* scene, const std::string& path, Adjust adjust, std::string* error = nullptr) {
        VOxaWriterBiovision writer(mManager);
        if (!writer.FileCreate(path.c_str())) {
            if (error) *error = writer.GetError().GetLastErrorString().Buffer();
            return false;
        }
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        motion->SetTimeMode(0, 30.0);
        motion->SetFrameCount(4);
        adjust(motion);
        bool ok = writer.Write(scene, options.get());
        if (error) *error = writer.GetError().GetLastErrorString().Buffer();
        bool closed = writer.FileClose();
        if (error && !closed) *error = writer.GetError().GetLastErrorString().Buffer();
        return ok && closed;
    }
    bool WriteScene(VOxaScene* scene, const std::string& path, std::string* error = nullptr) {
        return WriteScene(
            scene, path, [](VStreamOptionsMotion*) {}, error);
    }

    // A limb node below `parent` with a take "Take" (keys at 0 and 1/30 s on R X when `keyed`).
    VOxaNode* Limb(const char* name, VOxaNode* parent, bool keyed) {
        VOxaNode* node = mManager->CreateNode(name);
        VOxaSkeleton* skeleton = mManager->CreateSkeleton();
        skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
        node->SetNodeAttribute(skeleton);
        if (parent) parent->AddChild(node);
        node->AddTakeNode("Take");
        node->SetCurrentTakeNode("Take");
        if (keyed) {
            VFCurve* rx = node->GetCurrentTakeNode()->GetEulerRotationX();
            rx->KeyAppendFast(VTime(0), 10.0f);
            rx->KeyAppendFast(VTime(VTime::kOneSecond / 30), 20.0f);
        }
        return node;
    }
};

TEST_F(bvh_Writer, RoundTripKeepsOffsetsEndSitesAndValues) {
    FilterSettings settings(2, true);
    ASSERT_TRUE(ReadText("chain.bvh", kChain));
    VOxaNode* hips = Node("Hips");
    hips->SetMarked(1);
    const std::string path = TempPath("chain_out.bvh");
    std::string error;
    ASSERT_TRUE(WriteScene(mScene, path, &error)) << error;
    const std::string text = ReadFile(path);
    // The writer's layout: root six channels, others three, Z X Y; the end site from its node.
    EXPECT_EQ(text.substr(0, text.find("MOTION")),
              "HIERARCHY\n"
              "ROOT Hips\n"
              "{\n"
              "  OFFSET 0 0 0\n"
              "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
              "  JOINT Spine\n"
              "  {\n"
              "    OFFSET 0.5 10 -0.25\n"
              "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
              "    JOINT Head\n"
              "    {\n"
              "      OFFSET 0 7.5 1\n"
              "      CHANNELS 3 Zrotation Xrotation Yrotation\n"
              "      End Site\n"
              "      {\n"
              "        OFFSET 0 3 0\n"
              "      }\n"
              "    }\n"
              "  }\n"
              "}\n");
    EXPECT_NE(text.find("MOTION\nFrames:\t4\nFrame Time:\t0.0333333\n"), std::string::npos);

    // Read back into a second scene: the same joints, offsets and rotations.
    VOxaScene* first = mScene;
    mScene = mManager->CreateScene();
    ASSERT_TRUE(ReadPath(path, &error)) << error;
    auto nodeIn = [&](VOxaScene* scene, const char* name) {
        return scene->GetRootNode()->FindChild(name, true);
    };
    for (const char* name : {"Hips", "Spine", "Head", "Head_End"}) {
        VOxaNode* a = nodeIn(first, name);
        VOxaNode* b = nodeIn(mScene, name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_NE(b, nullptr) << name;
        VgeTVector ta, tb;
        a->GetLclTranslation(ta);
        b->GetLclTranslation(tb);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(ta[k], tb[k], 1e-6) << name;
        if (std::string(name) == "Head_End") continue;
        for (int f = 0; f < 4; ++f) {
            const VTime time = VTime::kOneSecond / 30 * f;
            const VgeAMatrix& ma = a->EvaluateLocalTransform(time);
            const VgeAMatrix& mb = b->EvaluateLocalTransform(time);
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 3; ++j)
                    EXPECT_NEAR(ma.mData[i][j], mb.mData[i][j], 1e-4) << name << " frame " << f;
        }
    }
    // The file's rotations, in their own channel orders, are what the written ones give.
    const int zyx[3] = {2, 1, 0};
    const double spine[3] = {5, -6, 179};
    VOxaNode* spineNode = nodeIn(mScene, "Spine");
    const VgeAMatrix& m = spineNode->EvaluateLocalTransform(VTime::kOneSecond / 30);
    R3 got = Identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            got.m[i][j] = m.mData[i][j];
    EXPECT_LT(MaxDifference(got, FromChannels(zyx, spine, 3)), 1e-4);
}

// A frame time whose rate is a whole number within 1e-4 (relative) is that rate; any other rate
// (12.5, the 29.97 of video) is kept as 1 / frame time. BVH -> BVH writes the take's own frame
// time, so a take keeps its length.
TEST_F(bvh_Writer, EveryRateKeepsItsFrameTime) {
    const struct {
        const char* frameTime;
        double rate;
    } cases[] = {{"0.08", 12.5}, {"0.0333667", 1.0 / 0.0333667}, {"0.0333333", 30.0}, {"0.0400001", 25.0}};
    const std::string chain = kChain;
    const size_t at = chain.find("0.0333333");
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frameTime);
        mScene = mManager->CreateScene();
        const std::string path = TempPath("rate_" + std::to_string(n++) + ".bvh");
        WriteFile(path, chain.substr(0, at) + c.frameTime + chain.substr(at + 9));
        double rate = 0.0;
        std::string error;
        ASSERT_TRUE(ReadPath(
            path, [&](VStreamOptionsMotion* o) { rate = o->GetFrameRate(); }, &error))
            << error;
        EXPECT_NEAR(rate, c.rate, 1e-9 * c.rate);
        // The fourth frame lies three frame times after the first.
        VOxaNode* hips = mScene->GetRootNode()->FindChild("Hips", true);
        ASSERT_NE(hips, nullptr);
        VFCurve* x = hips->GetCurrentTakeNode()->GetTranslationX();
        ASSERT_EQ(x->KeyGetCount(), 4);
        EXPECT_NEAR((double)(x->KeyGetTime(3) - x->KeyGetTime(0)).Get(), 3.0 * VTime::kOneSecond / c.rate,
                    4.0);

        hips->SetMarked(1);
        const std::string out = TempPath("rate_out.bvh");
        ASSERT_TRUE(WriteScene(
            mScene, out, [&](VStreamOptionsMotion* o) { o->SetTimeMode(0, rate); }, &error))
            << error;
        const std::string text = ReadFile(out);
        char header[64];
        std::snprintf(header, sizeof header, "Frame Time:\t%s\n",
                      c.rate == std::floor(c.rate) ? (c.rate == 30.0 ? "0.0333333" : "0.04") : c.frameTime);
        EXPECT_NE(text.find(header), std::string::npos) << text.substr(text.find("MOTION"), 40);
    }
}

TEST_F(bvh_Writer, SixChannelsEverywhereWithTranslation) {
    ASSERT_TRUE(ReadText("chain6.bvh", kChain));
    Node("Hips")->SetMarked(1);
    const std::string path = TempPath("chain6_out.bvh");
    ASSERT_TRUE(WriteScene(mScene, path, [](VStreamOptionsMotion* options) {
        options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    }));
    const std::string text = ReadFile(path);
    size_t six = 0, pos = 0;
    while ((pos = text.find("CHANNELS 6 ", pos)) != std::string::npos) {
        ++six;
        ++pos;
    }
    EXPECT_EQ(six, 3u);
    EXPECT_EQ(text.find("CHANNELS 3"), std::string::npos);
    // Every motion line holds 18 values; a joint's translation is its offset.
    const std::string firstLine = text.substr(text.find("Frame Time:"));
    const std::string line = firstLine.substr(
        firstLine.find('\n') + 1, firstLine.find('\n', firstLine.find('\n') + 1) - firstLine.find('\n') - 1);
    std::istringstream values(line);
    std::vector<double> numbers;
    for (double v; values >> v;)
        numbers.push_back(v);
    ASSERT_EQ(numbers.size(), 18u);
    EXPECT_DOUBLE_EQ(numbers[6], 0.5);
    EXPECT_DOUBLE_EQ(numbers[7], 10);
    EXPECT_DOUBLE_EQ(numbers[8], -0.25);
}

TEST_F(bvh_Writer, EndSiteTestAndLeafEndSitesFromTheLimits) {
    VOxaNode* root = mScene->GetRootNode();
    VOxaNode* hips = Limb("Hips", root, true);
    VOxaNode* arm = Limb("Arm", hips, true);
    VOxaNode* hand = Limb("Hand", arm, true);  // animated leaf: a joint with its own end site
    VOxaNode* leg = Limb("Leg", hips, true);
    VOxaNode* toe = Limb("Toe_EndSite", leg, true);  // animated, but named as an end site
    VOxaNode* neck = Limb("Neck", hips, true);
    VOxaNode* still = Limb("Still", neck, false);  // no keys: still a joint of its own
    hand->SetLclTranslation(VgeTVector(0, 4, 0, 0));
    toe->SetLclTranslation(VgeTVector(0, -2, 0, 0));
    still->SetLclTranslation(VgeTVector(1, 1, 0, 0));
    mScene->SetCurrentTake("Take");

    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(hand));
    EXPECT_TRUE(VOxaWriterBiovision::IsEndSiteNode(toe));
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(still));
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(arm));
    // On the default take, or without a limb-node skeleton, a leaf is still a joint: only the
    // end a reader makes (rotation limits active, bone length 0) is an end site.
    hand->SetCurrentTakeNode(0);
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(hand));
    hand->SetCurrentTakeNode("Take");
    hand->GetSkeleton()->SetSkeletonType(VOxaSkeleton::eLIMB);
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(hand));
    hand->GetSkeleton()->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
    {
        VOxaNodeLimitsAdapter end(still->GetLimits());
        end.SetAuto(1, false);
        still->GetNodeProperties()->SetAxisLen(0.0);
        EXPECT_TRUE(VOxaWriterBiovision::IsEndSiteNode(still));
        end.SetAuto(1, true);
        EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(still));
    }
    // A leaf beside a sibling is never an end site.
    VOxaNode* finger = Limb("Finger", arm, false);
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(finger));
    EXPECT_FALSE(VOxaWriterBiovision::IsEndSiteNode(hand));
    mManager->DestroyNode(finger);

    // The hand's end site: axis length along its rotation axis (y 30, z 45 degrees).
    VOxaNodeLimitsAdapter limits(hand->GetLimits());
    limits.SetRotationAxis(VgeTVector(0, 30, 45, 0));
    hand->GetNodeProperties()->SetAxisLen(2.0);
    hips->SetMarked(1);
    const std::string path = TempPath("leaves.bvh");
    std::string error;
    ASSERT_TRUE(WriteScene(mScene, path, &error)) << error;
    const std::string text = ReadFile(path);
    const std::string handBlock = text.substr(text.find("JOINT Hand"));
    EXPECT_EQ(handBlock.substr(0, handBlock.find("  JOINT Leg")),
              "JOINT Hand\n"
              "    {\n"
              "      OFFSET 0 4 0\n"
              "      CHANNELS 3 Zrotation Xrotation Yrotation\n"
              "      End Site\n"
              "      {\n"
              "        OFFSET 1.2247449 1.2247449 -1\n"
              "      }\n"
              "    }\n"
              "  }\n");
    EXPECT_NE(text.find("  JOINT Leg\n  {\n    OFFSET 0 0 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
                        "    End Site\n    {\n      OFFSET 0 -2 0\n    }\n  }\n"),
              std::string::npos)
        << text;
    // The still leaf is a joint with an end site of its own (its bone length is 0).
    EXPECT_NE(text.find("    JOINT Still\n    {\n      OFFSET 1 1 0\n      CHANNELS 3 Zrotation Xrotation "
                        "Yrotation\n      End Site\n      {\n        OFFSET 0 0 0\n      }\n    }\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Toe_EndSite"), std::string::npos);
    // Five joints with values: root six, others three.
    const std::string motion = text.substr(text.find("Frame Time:"));
    const std::string line = motion.substr(motion.find('\n') + 1);
    std::istringstream first(line.substr(0, line.find('\n')));
    std::vector<double> numbers;
    for (double v; first >> v;)
        numbers.push_back(v);
    EXPECT_EQ(numbers.size(), 6u + 3 * 5);
}

TEST_F(bvh_Writer, AStillLeafJointBuiltInCodeStaysAJoint) {
    // Hips > Spine > Head, none of them keyed: Head is a joint with an end site of its own, not
    // the end site of Spine, and reads back as Head.
    VOxaNode* hips = Limb("Hips", mScene->GetRootNode(), false);
    VOxaNode* spine = Limb("Spine", hips, false);
    VOxaNode* head = Limb("Head", spine, false);
    spine->SetLclTranslation(VgeTVector(0, 10, 0, 0));
    head->SetLclTranslation(VgeTVector(0, 8, 1, 0));
    hips->SetMarked(1);
    const std::string path = TempPath("leaf.bvh");
    std::string error;
    ASSERT_TRUE(WriteScene(mScene, path, &error)) << error;
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("    JOINT Head\n    {\n      OFFSET 0 8 1\n      CHANNELS 3 Zrotation Xrotation "
                        "Yrotation\n      End Site\n"),
              std::string::npos)
        << text;
    VOxaFileBiovision file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    ASSERT_TRUE(file.ReadHierarchy()) << file.GetFailure();
    ASSERT_EQ(file.GetJointCount(), 4);
    EXPECT_STREQ(file.GetJoint(2)->mName, "Head");
    EXPECT_TRUE(file.GetJoint(3)->mEndSite);
}

TEST_F(bvh_Writer, RotationsAreWrittenInTheYXZOrderWithItsSingularCase) {
    VOxaNode* root = mScene->GetRootNode();
    VOxaNode* hips = Limb("Hips", root, false);
    VOxaNode* joint = Limb("Joint", hips, false);
    Limb("Tip", joint, false);  // a joint too: three values more
    struct Case {
        double z, x, y;  // the written channel values
        bool singular;
    };
    // Rotations made from Z X Y channel values; X = +-90 is the singular case of that order.
    const Case cases[] = {
        {10, 20, 30, false}, {-100, 45, 170, false}, {0, 90, 25, true}, {0, -90, -60, true}};
    const int zxy[3] = {2, 0, 1};
    for (const Case& c : cases) {
        const double values[3] = {c.z, c.x, c.y};
        R3 m = FromChannels(zxy, values, 3);
        double xyz[3];
        VgeMatrixToEulerXYZ(xyz, m.m);
        joint->SetLclRotation(VgeTVector(xyz[0], xyz[1], xyz[2], 0));
        hips->SetMarked(1);
        const std::string path = TempPath("yxz.bvh");
        ASSERT_TRUE(
            WriteScene(mScene, path, [](VStreamOptionsMotion* options) { options->SetFrameCount(1); }));
        const std::string text = ReadFile(path);
        std::istringstream line(text.substr(text.find('\n', text.find("Frame Time:")) + 1));
        std::vector<double> numbers;
        for (double v; line >> v;)
            numbers.push_back(v);
        ASSERT_EQ(numbers.size(), 12u);
        const double written[3] = {numbers[6], numbers[7], numbers[8]};
        EXPECT_LT(MaxDifference(FromChannels(zxy, written, 3), m), 1e-5) << c.z << " " << c.x << " " << c.y;
        if (c.singular) {
            EXPECT_NEAR(std::fabs(written[1]), 90, 1e-3);
            EXPECT_EQ(written[0], 0.0) << "Z is 0 at the singular case";
        } else {
            EXPECT_NEAR(written[0], c.z, 1e-3);
            EXPECT_NEAR(written[1], c.x, 1e-3);
            EXPECT_NEAR(written[2], c.y, 1e-3);
        }
    }
}

TEST_F(bvh_Writer, GlobalPositionMovesOnlyTheRoot) {
    // The skeleton hangs below a rig node moved by (100, 20, 0). With "ExportFromGlobalPosition"
    // 1 the root is written where it is in the scene; its child stays local. With 0, local.
    VOxaNode* rig = mManager->CreateNode("Rig");
    rig->SetLclTranslation(VgeTVector(100, 20, 0, 0));
    mScene->GetRootNode()->AddChild(rig);
    VOxaNode* hips = Limb("Hips", rig, false);
    VOxaNode* joint = Limb("Joint", hips, false);
    Limb("Tip", joint, false);
    hips->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    joint->SetLclTranslation(VgeTVector(0, 5, 0, 0));
    hips->SetMarked(1);
    for (int global : {1, 0}) {
        const std::string path = TempPath("global.bvh");
        ASSERT_TRUE(WriteScene(mScene, path, [global](VStreamOptionsMotion* options) {
            options->SetFrameCount(1);
            options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, global);
        }));
        const std::string text = ReadFile(path);
        const char* rootOffset =
            global ? "ROOT Hips\n{\n  OFFSET 101 22 3\n" : "ROOT Hips\n{\n  OFFSET 1 2 3\n";
        EXPECT_NE(text.find(rootOffset), std::string::npos) << global << "\n" << text;
        EXPECT_NE(text.find("  JOINT Joint\n  {\n    OFFSET 0 5 0\n"), std::string::npos) << global;
        std::istringstream line(text.substr(text.find('\n', text.find("Frame Time:")) + 1));
        std::vector<double> numbers;
        for (double v; line >> v;)
            numbers.push_back(v);
        ASSERT_EQ(numbers.size(), 12u);
        EXPECT_DOUBLE_EQ(numbers[0], global ? 101.0 : 1.0);
        EXPECT_DOUBLE_EQ(numbers[1], global ? 22.0 : 2.0);
        EXPECT_DOUBLE_EQ(numbers[2], 3.0);
    }
}

TEST_F(bvh_Writer, JointsWithoutTranslationChannelsSitWhereTheirTakePutsThem) {
    // The scene's evaluation reads the current take: a joint whose take holds a translation
    // other than its default (an HTR segment in a turned frame, say) is written at the take's
    // translation at the first frame; the root and, with "Translation" 1, every joint keep their
    // default offsets, the channels carrying the rest.
    VOxaNode* hips = Limb("Hips", mScene->GetRootNode(), true);
    VOxaNode* joint = Limb("Joint", hips, true);
    VOxaNode* still = Limb("Still", hips, true);
    Limb("Tip", joint, false);
    Limb("StillTip", still, false);
    hips->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    joint->SetLclTranslation(VgeTVector(0, 5, 0, 0));
    still->SetLclTranslation(VgeTVector(0.1, 0, 0, 0));  // the take repeats it in single precision
    VFCurve* hipsX = hips->GetCurrentTakeNode()->GetTranslationX();
    hipsX->KeyAppendFast(VTime(0), 7.0f);
    hipsX->KeyAppendFast(VTime(VTime::kOneSecond / 30), 8.0f);
    VFCurve* jointX = joint->GetCurrentTakeNode()->GetTranslationX();
    // Keys that hold one value: a translation that changes from frame to frame takes channels.
    jointX->KeyAppendFast(VTime(0), 4.0f);
    jointX->KeyAppendFast(VTime(VTime::kOneSecond / 30), 4.0f);
    joint->GetCurrentTakeNode()->GetTranslationY()->SetDefaultValue(-5.0f);
    hips->SetMarked(1);
    for (int translation : {0, 1}) {
        const std::string path = TempPath("taken.bvh");
        ASSERT_TRUE(WriteScene(mScene, path, [translation](VStreamOptionsMotion* options) {
            options->SetOption(VStreamOptionsMotion::eTRANSLATION, translation);
        }));
        const std::string text = ReadFile(path);
        EXPECT_NE(text.find("ROOT Hips\n{\n  OFFSET 1 2 3\n"), std::string::npos) << text;
        const char* offset = translation ? "  JOINT Joint\n  {\n    OFFSET 0 5 0\n"
                                         : "  JOINT Joint\n  {\n    OFFSET 4 -5 0\n";
        EXPECT_NE(text.find(offset), std::string::npos) << translation << "\n" << text;
        EXPECT_NE(text.find("  JOINT Still\n  {\n    OFFSET 0.1 0 0\n"), std::string::npos) << text;
        std::istringstream line(text.substr(text.find('\n', text.find("Frame Time:")) + 1));
        double x = 0.0;
        line >> x;
        EXPECT_DOUBLE_EQ(x, 7.0) << "the root's channels";
    }
}

TEST_F(bvh_Writer, Errors) {
    VOxaWriterBiovision writer(mManager);
    EXPECT_FALSE(writer.Write(mScene, nullptr));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_FALSE(writer.FileClose());
    // The name in the message is bounded.
    const std::string longName = TempPath("no/such/folder/") + std::string(5000, 'a') + ".bvh";
    EXPECT_FALSE(writer.FileCreate(longName.c_str()));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    const std::string text = writer.GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(text.rfind("Cannot open file \"", 0), 0u);
    EXPECT_LT(text.size(), 1100u);
    EXPECT_NE(text.find("...\" for writing."), std::string::npos);

    const std::string path = TempPath("errors.bvh");
    WriteFile(path, "old");
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eTRANSLATION), 0);
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION), 0);
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eEXPORT_REQUIRE_SINGLE_ROOT_NODE), 1);
    // No marked node.
    VOxaNode* hips = Limb("Hips", mScene->GetRootNode(), false);
    EXPECT_FALSE(writer.Write(mScene, options.get()));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), "no joints to write");
    hips->SetMarked(1);
    EXPECT_FALSE(writer.Write(mScene, nullptr));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);
    // Frames the time line cannot hold: refused, the old file stays.
    motion->SetTimeMode(0, 1e-9);
    motion->SetFrameCount(2);
    EXPECT_FALSE(writer.Write(mScene, options.get()));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(),
                 "at 1e-09 frames per second a frame lasts longer than the time line holds: the take "
                 "cannot be written");
    motion->SetTimeMode(0, 1e-8);
    EXPECT_TRUE(writer.Write(mScene, options.get()));  // two frames 1e8 s apart fit
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    motion->SetFrameCount(3);
    EXPECT_FALSE(writer.Write(mScene, options.get()));
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(),
                 "at 1e-08 frames per second the take's 3 frames reach past the end of the time line: the "
                 "take cannot be written");
    EXPECT_TRUE(writer.FileClose());
    EXPECT_EQ(ReadFile(path), "old");
    motion->SetTimeMode(0, 30.0);
    motion->SetFrameCount(0);

    // Through the format table.
    const int row = VOxaFindWriterFormat("bvh");
    ASSERT_GE(row, 0);
    std::unique_ptr<VOxaWriter> made(VOxaGetWriterFormat(row)->mCreate(mManager));
    EXPECT_NE(dynamic_cast<VOxaWriterBiovision*>(made.get()), nullptr);
}

TEST_F(bvh_Writer, NestingDeeperThanAReaderTakesIsRefused) {
    // A chain of 1,000 joints one below the other, the last keyed (a joint, with its end site
    // added): written, and read back.
    VOxaNode* last = mScene->GetRootNode();
    for (int i = 0; i < VOxaFileBiovision::kMaxDepth; ++i)
        last = Limb(("J" + std::to_string(i)).c_str(), last, i == VOxaFileBiovision::kMaxDepth - 1);
    Node("J0")->SetMarked(1);
    const std::string deep = TempPath("deep.bvh");
    std::string error;
    ASSERT_TRUE(WriteScene(mScene, deep, &error)) << error;
    {
        VOxaFileBiovision file;
        ASSERT_TRUE(file.Open(deep.c_str(), "r"));
        ASSERT_TRUE(file.ReadHierarchy()) << file.GetFailure();
        EXPECT_EQ(file.GetJointCount(), VOxaFileBiovision::kMaxDepth + 1);
    }
    // One level more: refused before anything is written, naming the joint; no file is left.
    Limb("J1000", last, true);
    const std::string deeper = TempPath("deeper.bvh");
    EXPECT_FALSE(WriteScene(mScene, deeper, &error));
    EXPECT_EQ(error,
              "joint \"J1000\" is nested 1001 levels deep: a BVH file may nest joints 1000 levels deep");
    EXPECT_NE(access(deeper.c_str(), F_OK), 0);
}

TEST_F(bvh_Writer, FailedWriteKeepsTheOldTarget) {
    ASSERT_TRUE(ReadText("big.bvh", kChain));
    Node("Hips")->SetMarked(1);
    const std::string path = TempPath("full.bvh");
    WriteFile(path, "old");
    oxa_test::FileSizeLimit limit(4096);
    std::string error;
    // 200,000 frames are far beyond 4 kB: the writes fail as on a full disk.
    const bool ok = WriteScene(
        mScene, path, [](VStreamOptionsMotion* options) { options->SetFrameCount(200000); }, &error);
    limit.Lift();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, "Out of disk space");
    EXPECT_EQ(ReadFile(path), "old");
}

// A marker that is a gap in the first frames of a TRC take, written to BVH (which has no gaps):
// those frames hold the marker's first seen position, never the origin, and the later gap holds
// the last one. The positions are the file's millimetres in the scene's centimetres.
TEST_F(bvh_Writer, LeadingGapOfAMarkerHoldsItsFirstPosition) {
    const std::string trc =
        "PathFileType\t4\t(X/Y/Z)\tgap.trc\t\n"
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames"
        "\t\n"
        "30\t30\t5\t2\tmm\t30\t1\t5\t\n"
        "Frame#\tTime\tLate\t\t\tAlways\t\t\t\n"
        "\t\tX1\tY1\tZ1\tX2\tY2\tZ2\t\n"
        "\n"
        "1\t0.0\t\t\t\t10\t20\t30\t\n"
        "2\t0.033333\t\t\t\t11\t21\t31\t\n"
        "3\t0.066667\t120\t-40\t250\t12\t22\t32\t\n"
        "4\t0.1\t\t\t\t13\t23\t33\t\n"
        "5\t0.133333\t150\t-70\t280\t14\t24\t34\t\n";
    const std::string source = TempPath("leading_gap.trc");
    WriteFile(source, trc);
    {
        VOxaReaderMotionAnalysisTrc reader(mManager);
        ASSERT_TRUE(reader.FileOpen(source.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        ASSERT_TRUE(reader.Read(mScene, options.get())) << reader.GetError().GetLastErrorString().Buffer();
    }
    VOxaNode* reference = mScene->GetRootNode()->GetChild(0);
    ASSERT_NE(reference, nullptr);
    reference->SetMarked(1);
    const std::string path = TempPath("leading_gap.bvh");
    ASSERT_TRUE(WriteScene(mScene, path, [](VStreamOptionsMotion* o) {
        o->SetFrameCount(5);
        o->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    }));

    // The motion lines: the reference's six channels, then six per marker in file order, each
    // starting with its X, Y and Z position.
    std::vector<std::vector<double>> lines;
    {
        std::istringstream in(ReadFile(path));
        std::string line;
        while (std::getline(in, line) && line.rfind("Frame Time:", 0) != 0) {
        }
        while (std::getline(in, line)) {
            std::istringstream numbers(line);
            std::vector<double> values;
            for (double v; numbers >> v;)
                values.push_back(v);
            if (!values.empty()) lines.push_back(values);
        }
    }
    ASSERT_EQ(lines.size(), 5u);
    const double late[5][3] = {{12, -4, 25}, {12, -4, 25}, {12, -4, 25}, {12, -4, 25}, {15, -7, 28}};
    for (size_t f = 0; f < 5; ++f) {
        ASSERT_EQ(lines[f].size(), 18u) << "frame " << f;
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(lines[f][6 + (size_t)k], late[f][k], 1e-4) << "Late, frame " << f << ", axis " << k;
            EXPECT_NEAR(lines[f][12 + (size_t)k], (10.0 + 10.0 * k + (double)f) / 10.0, 1e-4)
                << "Always, frame " << f << ", axis " << k;
        }
    }
}
