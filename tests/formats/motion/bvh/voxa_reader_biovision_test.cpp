// The BVH reader: nodes, names, limits, takes, reference nodes and errors.

#include "formats/motion/bvh/voxa_reader_biovision.h"

#include <gtest/gtest.h>

#include <string>

#include "attributes/voxa_skeleton.h"
#include "oxa_codec/voxa_io_formats.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_take_info.h"
#include "tests/formats/motion/bvh/bvh_test_util.h"

using namespace bvhtest;

namespace {

const char* const kArm =
    "HIERARCHY\n"
    "ROOT Hips\n"
    "{\n"
    "  OFFSET 5 6 7\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT Arm\n"
    "  {\n"
    "    OFFSET 0 5 0\n"
    "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    JOINT Hand\n"
    "    {\n"
    "      OFFSET 0 0 -3\n"
    "      CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "      End Site\n"
    "      {\n"
    "        OFFSET -2 0 0\n"
    "      }\n"
    "    }\n"
    "  }\n"
    "  JOINT Leg\n"
    "  {\n"
    "    OFFSET 0 -5 0\n"
    "    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "  }\n"
    "}\n"
    "MOTION\n"
    "Frames: 3\n"
    "Frame Time: 0.04\n"
    "1 2 3 10 20 30 1 2 3 4 5 6 7 8 9\n"
    "1 2 3 10 20 30 1 2 3 4 5 6 7 8 9\n"
    "4 5 6 10 20 30 1 2 3 4 5 6 7 8 9\n";

// The direction the X axis takes under the XYZ angles.
void XAxisOf(const VgeTVector& angles, double out[3]) {
    R3 m = FromXYZ(angles[0], angles[1], angles[2]);
    for (int j = 0; j < 3; ++j)
        out[j] = m.m[0][j];
}

}  // namespace

class bvh_Reader : public Fixture {};

TEST_F(bvh_Reader, NodesNamesAndTake) {
    FilterSettings settings(2, true);
    std::string error;
    ASSERT_TRUE(ReadText("arm_take.bvh", kArm, &error)) << error;
    VOxaNode* reference = Node("BVH:reference");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->GetParent(), mScene->GetRootNode());
    VOxaNode* hips = Node("Hips");
    ASSERT_NE(hips, nullptr);
    EXPECT_EQ(hips->GetParent(), reference);
    ASSERT_NE(hips->GetSkeleton(), nullptr);
    EXPECT_EQ(hips->GetSkeleton()->GetSkeletonType(), VOxaSkeleton::eLIMB_NODE);
    // Every joint stands at its offset, the root too (its position channels replace it).
    VgeTVector t;
    hips->GetLclTranslation(t);
    EXPECT_EQ(t[0], 5.0);
    EXPECT_EQ(t[2], 7.0);
    Node("Hand")->GetLclTranslation(t);
    EXPECT_EQ(t[2], -3.0);
    // End sites are named after their joint.
    VOxaNode* end = Node("Hand_End");
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end->GetParent(), Node("Hand"));
    end->GetLclTranslation(t);
    EXPECT_EQ(t[0], -2.0);
    EXPECT_EQ(Node("Leg")->GetChildCount(), 0);

    // One take named after the file, current on the scene, spanning the frames at 25 per second.
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "arm_take");
    EXPECT_STREQ(hips->GetCurrentTakeNodeName(), "arm_take");
    VOxaTakeInfo* info = mScene->GetTakeInfo("arm_take");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStart(), VTime(0));
    EXPECT_NEAR(info->mLocalTimeSpan.GetStop().GetSecondDouble(), 0.08, 1e-9);
    EXPECT_EQ(info->mReferenceTimeSpan.GetStop(), info->mLocalTimeSpan.GetStop());
    // The translation changes at frame 2 only; its keys stay after the constant key reducer.
    VFCurve* tx = Curve(hips, "T", 0);
    ASSERT_NE(tx, nullptr);
    ASSERT_GE(tx->KeyGetCount(), 2);
    EXPECT_EQ(tx->KeyGetValue(tx->KeyGetCount() - 1), 4.0f);
    // The hand's rotation: Z 4, X 5, Y 6.
    const int zxy[3] = {2, 0, 1};
    const double values[3] = {4, 5, 6};
    VOxaNode* hand = Node("Hand");
    int hint = 0;
    double angles[3];
    for (int a = 0; a < 3; ++a)
        angles[a] = Curve(hand, "R", a)->Evaluate(VTime(0), &hint);
    EXPECT_LT(MaxDifference(FromXYZ(angles[0], angles[1], angles[2]), FromChannels(zxy, values, 3)), 1e-5);
}

TEST_F(bvh_Reader, LimitsCarryTheBone) {
    ASSERT_TRUE(ReadText("arm_limits.bvh", kArm));
    // A joint below the root: translation limits active, holding the offset.
    VOxaNode* arm = Node("Arm");
    VOxaNodeLimitsAdapter armLimits(arm->GetLimits());
    EXPECT_FALSE(armLimits.GetAuto(0));
    EXPECT_EQ(armLimits.GetDefault(0)[1], 5.0);
    EXPECT_EQ(armLimits.GetMax(0)[1], 5.0);
    // Its one child lies 3 along -Z: X aims there, spheric, with the bone's length.
    EXPECT_FALSE(armLimits.GetAuto(1));
    EXPECT_EQ(armLimits.GetRotationType(), 0);
    EXPECT_EQ(armLimits.GetRotationClampType(), 1);
    double x[3];
    XAxisOf(armLimits.GetRotationAxis(), x);
    EXPECT_NEAR(x[0], 0, 1e-9);
    EXPECT_NEAR(x[1], 0, 1e-9);
    EXPECT_NEAR(x[2], -1, 1e-9);
    XAxisOf(armLimits.GetDefault(1), x);
    EXPECT_NEAR(x[2], -1, 1e-9);
    EXPECT_DOUBLE_EQ(arm->GetNodeProperties()->GetAxisLen(), 3.0);
    const VgeTVector min = armLimits.GetMin(1), max = armLimits.GetMax(1);
    EXPECT_EQ(min[0], -180.0);
    EXPECT_EQ(min[1], -150.0);
    EXPECT_EQ(min[2], -150.0);
    EXPECT_EQ(max[0], 180.0);
    EXPECT_EQ(max[1], 150.0);
    EXPECT_EQ(max[2], 150.0);
    // Straight back along -X: a half turn about Z.
    VOxaNodeLimitsAdapter handLimits(Node("Hand")->GetLimits());
    XAxisOf(handLimits.GetRotationAxis(), x);
    EXPECT_NEAR(x[0], -1, 1e-9);
    EXPECT_DOUBLE_EQ(Node("Hand")->GetNodeProperties()->GetAxisLen(), 2.0);
    // End site: rotation limits active, no bone.
    VOxaNode* end = Node("Hand_End");
    VOxaNodeLimitsAdapter endLimits(end->GetLimits());
    EXPECT_FALSE(endLimits.GetAuto(1));
    EXPECT_EQ(end->GetNodeProperties()->GetAxisLen(), 0.0);
    // The root has no parent joint and two children: no limits.
    VOxaNodeLimitsAdapter hipsLimits(Node("Hips")->GetLimits());
    EXPECT_TRUE(hipsLimits.GetAuto(0));
    EXPECT_TRUE(hipsLimits.GetAuto(1));
    // The limits do not change what the node evaluates to.
    const VgeAMatrix& local = arm->EvaluateLocalTransform(VTime(0));
    const int zxy[3] = {2, 0, 1};
    const double values[3] = {1, 2, 3};
    R3 expected = FromChannels(zxy, values, 3);
    R3 got = Identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            got.m[i][j] = local.mData[i][j];
    EXPECT_LT(MaxDifference(got, expected), 1e-5);
    EXPECT_NEAR(local.mData[3][1], 5.0, 1e-9);
}

TEST_F(bvh_Reader, BoneLengthAndAimFromTheWholeChildOffset) {
    // The neck's only child sits at (0, 4, 3): a bone of length 5 aimed along (0, 0.8, 0.6).
    ASSERT_TRUE(ReadText("neck.bvh",
                         "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n"
                         "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
                         "  JOINT Neck\n  {\n    OFFSET 0 1 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
                         "    End Site\n    {\n      OFFSET 0 4 3\n    }\n  }\n}\n"
                         "MOTION\nFrames: 1\nFrame Time: 0.04\n0 0 0 0 0 0 0 0 0\n"));
    VOxaNode* neck = Node("Neck");
    ASSERT_NE(neck, nullptr);
    EXPECT_DOUBLE_EQ(neck->GetNodeProperties()->GetAxisLen(), 5.0);
    VOxaNodeLimitsAdapter limits(neck->GetLimits());
    EXPECT_FALSE(limits.GetAuto(1));
    double x[3];
    XAxisOf(limits.GetRotationAxis(), x);
    EXPECT_NEAR(x[0], 0.0, 1e-9);
    EXPECT_NEAR(x[1], 0.8, 1e-9);
    EXPECT_NEAR(x[2], 0.6, 1e-9);
}

TEST_F(bvh_Reader, TwoReadsMakeTwoReferenceNodes) {
    const std::string path = TempPath("twice.bvh");
    WriteFile(path, kArm);
    ASSERT_TRUE(ReadPath(path));
    ASSERT_TRUE(ReadPath(path));
    VOxaNode* root = mScene->GetRootNode();
    int references = 0;
    for (int i = 0; i < root->GetChildCount(); ++i)
        references += std::string(root->GetChild(i)->GetName()) == "Model::BVH:reference";
    EXPECT_EQ(references, 2);
}

TEST_F(bvh_Reader, WithoutReferenceNodeTheRootJointGoesUnderTheSceneRoot) {
    const std::string path = TempPath("noref.bvh");
    WriteFile(path, kArm);
    ASSERT_TRUE(ReadPath(path, [](VStreamOptionsMotion* options) {
        options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 0);
    }));
    EXPECT_EQ(Node("Hips")->GetParent(), mScene->GetRootNode());
    EXPECT_EQ(mManager->GetNode("BVH:reference", 0), nullptr);
}

TEST_F(bvh_Reader, ReadOptionsFromTheHeader) {
    const std::string path = TempPath("options.bvh");
    WriteFile(path, kArm);
    VOxaReaderBiovision reader(mManager);
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_FALSE(reader.Read(mScene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_FALSE(reader.FileOpen(TempPath("missing/none.bvh").c_str()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    ASSERT_NE(options, nullptr);
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    EXPECT_EQ(motion->GetFrameRate(), 25.0);
    EXPECT_EQ(motion->GetFrameCount(), 3);
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE), 1);
    // Options of another family are not taken.
    std::unique_ptr<VStreamOptionsObj> other(VStreamOptionsObj::Create());
    EXPECT_FALSE(reader.Read(mScene, other.get()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_TRUE(reader.FileClose());
    EXPECT_FALSE(reader.FileClose());

    // Through the format table.
    const int row = VOxaFindReaderFormat("BVH");
    ASSERT_GE(row, 0);
    std::unique_ptr<VOxaReader> made(VOxaGetReaderFormat(row)->mCreate(mManager));
    EXPECT_NE(dynamic_cast<VOxaReaderBiovision*>(made.get()), nullptr);
}

TEST_F(bvh_Reader, ErrorsSayWhatAndWhere) {
    std::string error;
    const std::string bad =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 1 Wrotation\n}\nMOTION\nFrames: 1\n"
        "Frame Time: 0.1\n1\n";
    EXPECT_FALSE(ReadText("bad_channel.bvh", bad, &error));
    EXPECT_EQ(error, "File is corrupted: line 5: unknown channel \"Wrotation\" in joint \"A\"");
    // A short motion line: the nodes stay, with the keys read before it.
    const std::string shortLine =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 2 Xrotation Yrotation\n}\n"
        "MOTION\nFrames: 3\nFrame Time: 0.1\n1 2\n3\n4 5\n";
    EXPECT_FALSE(ReadText("short_line.bvh", shortLine, &error));
    EXPECT_NE(error.find("line 11: frame 2: value 2 of 2"), std::string::npos) << error;
    ASSERT_NE(Node("A"), nullptr);
    // Duplicate names fail the read.
    const std::string twice =
        "HIERARCHY\nROOT A\n{\nOFFSET 0 0 0\nCHANNELS 0\nJOINT B\n{\nOFFSET 0 1 0\n"
        "CHANNELS 0\n}\nJOINT B\n{\nOFFSET 0 2 0\nCHANNELS 0\n}\n}\nMOTION\nFrames: 0\n"
        "Frame Time: 0.1\n";
    EXPECT_FALSE(ReadText("twice_b.bvh", twice, &error));
    EXPECT_NE(error.find("Duplicate names found in twice_b.bvh:\n    Model::B"), std::string::npos) << error;
    // A joint named as the reader's own holding node (a scene read with it, written again) is no
    // duplicate of it.
    EXPECT_TRUE(ReadText("own_name.bvh",
                         "HIERARCHY\nROOT BVH:reference\n{\nOFFSET 0 0 0\nCHANNELS 0\n}\n"
                         "MOTION\nFrames: 0\nFrame Time: 0.1\n",
                         &error))
        << error;
    EXPECT_NE(Node("BVH:reference"), nullptr);
}

TEST_F(bvh_Reader, NamesWithBlanksAndLongNamesMakeTheirNodes) {
    // Two names that share their first 127 bytes become two nodes, not a duplicate.
    const std::string x(127, 'x');
    const std::string text = "HIERARCHY\nROOT Upper Spine\n{\nOFFSET 0 0 0\nCHANNELS 0\nJOINT " + x +
                             "1\n{\nOFFSET 0 1 0\nCHANNELS 0\n}\nJOINT " + x +
                             "2\n{\nOFFSET 0 2 0\nCHANNELS 0\n}\n}\nMOTION\nFrames: 0\nFrame Time: 0.1\n";
    std::string error;
    ASSERT_TRUE(ReadText("long_names.bvh", text, &error)) << error;
    ASSERT_NE(Node("Upper Spine"), nullptr);
    ASSERT_NE(Node(x.c_str()), nullptr);
    ASSERT_NE(Node((x.substr(0, 125) + "_2").c_str()), nullptr);
    EXPECT_EQ(Node((x.substr(0, 125) + "_2").c_str())->GetParent(), Node("Upper Spine"));
}
