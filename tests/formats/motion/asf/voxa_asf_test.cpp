#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>

#include <sys/resource.h>

#include "animation/fcurve.h"
#include "asf_test_support.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_file_acclaim_asf.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "formats/motion/voxa_motion_base.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/formats/motion/read_failure_util.h"
#include "tests/support/file_size_limit.h"

namespace {

constexpr double kCm = 2.54 / 0.45;  // one unit of the sample in centimetres

struct ReadResult {
    bool ok;
    std::string messages;
};

ReadResult ReadAsf(const std::string& text, VOxaAsfScene* scene, bool simplify = true) {
    const std::string path = AsfWriteFile("read.asf", text);
    VOxaFileAcclaimAsf file;
    EXPECT_TRUE(file.Open(path.c_str(), "r"));
    ReadResult r{file.Read(scene, simplify), file.GetMessages().Buffer()};
    return r;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Two texts alike word by word, numbers within a few single-precision steps: a second trip
// through files that keep every digit of a single-precision value may move the last of them, as
// the values pass through single precision in between.
void ExpectSameTextWithinSingle(const std::string& got, const std::string& want) {
    std::istringstream a(got), b(want);
    std::string x, y;
    int words = 0;
    while (true) {
        const bool more = (bool)(a >> x);
        ASSERT_EQ(more, (bool)(b >> y)) << "word " << words;
        if (!more) break;
        ++words;
        char* endX = nullptr;
        char* endY = nullptr;
        const double u = std::strtod(x.c_str(), &endX), v = std::strtod(y.c_str(), &endY);
        if (*endX || *endY || endX == x.c_str() || endY == y.c_str()) {
            EXPECT_EQ(x, y) << "word " << words;
            continue;
        }
        EXPECT_NEAR(u, v, 4 * std::fabs(v) * 1.1920929e-07) << x << " / " << y << ", word " << words;
    }
    EXPECT_EQ(a.eof() && b.eof(), true);
}

void ExpectVector(const double* v, double x, double y, double z, double tolerance = 1e-6) {
    EXPECT_NEAR(v[0], x, tolerance);
    EXPECT_NEAR(v[1], y, tolerance);
    EXPECT_NEAR(v[2], z, tolerance);
}

void ExpectVector(const VgeTVector& v, double x, double y, double z, double tolerance = 1e-6) {
    ExpectVector(v.mData, x, y, z, tolerance);
}

}  // namespace

TEST(asf_tokens, OrderWordsToCodes) {
    // The mixed words keep the table's codes, not their letters.
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("xyz"), 0);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("XYZ"), 0);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("zyx"), 10);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("xzy"), 6);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("yxz"), 2);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("YZX"), 8);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("zxy"), 4);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("xy"), -1);
    EXPECT_EQ(VOxaFileAcclaimAsf::OrderCode("xyzz"), -1);
    EXPECT_EQ(VOxaFileAcclaimAsf::DofCode("TX"), eASF_TX);
    EXPECT_EQ(VOxaFileAcclaimAsf::DofCode("rz"), eASF_RZ);
    EXPECT_EQ(VOxaFileAcclaimAsf::DofCode("Rx"), eASF_RX);
    EXPECT_EQ(VOxaFileAcclaimAsf::DofCode("l"), -1);
}

TEST(asf_tokens, OrderFromDofList) {
    struct Case {
        std::vector<int> dofs;
        int code;
    } cases[] = {
        {{eASF_RX, eASF_RY, eASF_RZ}, 0},
        {{eASF_RZ, eASF_RY, eASF_RX}, 10},
        {{eASF_RY, eASF_RZ, eASF_RX}, 4},
        {{eASF_RZ, eASF_RX, eASF_RY}, 8},
        {{eASF_RX, eASF_RZ, eASF_RY}, 2},
        {{eASF_RY, eASF_RX, eASF_RZ}, 6},
        {{eASF_RX}, 10},
        {{eASF_RY}, 8},
        {{eASF_RZ}, 0},
        {{}, 0},
        {{eASF_TX, eASF_RZ, eASF_TY}, 0},
        {{eASF_RX, eASF_RX}, 10},
    };
    for (const Case& c : cases) {
        AsfBone bone;
        for (int d : c.dofs)
            bone.AddDof(d);
        EXPECT_EQ(bone.GetDofRotationOrder(), c.code) << c.dofs.size();
    }
    // Six dofs at most: a seventh is ignored and nothing after the list is touched.
    AsfBone bone;
    for (int d : {eASF_TX, eASF_TY, eASF_TZ, eASF_RX, eASF_RY, eASF_RZ, eASF_RX})
        bone.AddDof(d);
    EXPECT_EQ(bone.mDofCount, AsfBone::kMaxDofs);
    EXPECT_EQ(bone.mDofs[5], (int)eASF_RZ);
    EXPECT_EQ(bone.mAxisOrder, 0);
}

TEST(asf_file, PublicSkeletonReads) {
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ReadResult r = ReadAsf(kAsfSample, scene, false);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_STREQ(scene->GetName(), "VICON");
    EXPECT_DOUBLE_EQ(scene->GetLengthUnit(), 0.45);
    // A readable unit is taken without a word.
    EXPECT_EQ(r.messages.find("Can't read length unit"), std::string::npos) << r.messages;
    // "l" is warned about once; the three rotation dofs stay.
    EXPECT_NE(r.messages.find("Unknown degree of freedom (l)"), std::string::npos) << r.messages;
    EXPECT_EQ(r.messages.find("Unknown degree of freedom", r.messages.find("(l)") + 1), std::string::npos);
    AsfBone* root = scene->GetRootBone();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->mDofCount, 6);
    EXPECT_EQ(root->mDofs[0], eASF_TX);
    EXPECT_EQ(root->mDofs[5], eASF_RZ);
    AsfBone* back = scene->FindBone("lowerback");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->mDofCount, 3);
    // Lengths in centimetres from the length unit: a length of 1 is 5.644444 cm.
    AsfBone* foot = scene->FindBone("lfoot");
    ASSERT_NE(foot, nullptr);
    EXPECT_NEAR(foot->mLength, 5.644444, 1e-6);
    // Without simplify the dof-less hip joint stays, between the root and the femur.
    AsfBone* hip = scene->FindBone("lhipjoint");
    ASSERT_NE(hip, nullptr);
    EXPECT_EQ(hip->mParent, root);
    EXPECT_EQ(scene->FindBone("lfemur")->mParent, hip);
    EXPECT_EQ(scene->GetBoneCount(), 6);

    // Default translation: the parent offset turned into the parent frame; default rotation:
    // A x parent A^-1. The tibia's parent points along its own -Y axis.
    AsfBone* tibia = scene->FindBone("ltibia");
    ExpectVector(tibia->mDefaultTranslation, 0.0, -7.1578 * kCm, 0.0, 1e-4);
    ExpectVector(tibia->mDefaultRotation, 0.0, 0.0, 0.0);
    ExpectVector(scene->FindBone("lfemur")->mDefaultRotation, 0.0, 0.0, 20.0);
    ExpectVector(foot->mDefaultRotation, 0.0, 0.0, 90.0);
    ExpectVector(foot->mDefaultTranslation, 0.0, -7.41509 * kCm, 0.0, 1e-4);
    scene->Destroy();
}

TEST(asf_file, CollapseHandsChildrenToTheParent) {
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(kAsfSample, scene, true).ok);
    EXPECT_EQ(scene->FindBone("lhipjoint"), nullptr);
    AsfBone* femur = scene->FindBone("lfemur");
    ASSERT_NE(femur, nullptr);
    EXPECT_EQ(femur->mParent, scene->GetRootBone());
    // It starts where the removed bone ended.
    const double norm = std::sqrt(0.692024 * 0.692024 + 0.652897 * 0.652897 + 0.307979 * 0.307979);
    const double hip = 2.40278 * kCm / norm;
    ExpectVector(femur->mDefaultTranslation, 0.692024 * hip, -0.652897 * hip, 0.307979 * hip, 1e-9);
    ExpectVector(femur->mDefaultRotation, 0.0, 0.0, 20.0);
    // The root's children keep their order, the femur in the hip joint's place.
    ASSERT_EQ(scene->GetRootBone()->mChildren.size(), 2u);
    EXPECT_EQ(scene->GetRootBone()->mChildren[0], femur);
    scene->Destroy();
}

TEST(asf_file, CollapseKeepsALeafWithoutDofs) {
    // A bone without dofs at the end of a chain carries no children to hand on: it is a joint with
    // a name and a place, and stays; the one with children goes.
    std::string text = Replace(kAsfSample, ":hierarchy",
                               "  begin\n    id 6\n    name ltoes\n    direction 0 0 1\n    length 2\n"
                               "    axis 0 0 0 XYZ\n  end\n:hierarchy");
    text = Replace(text, "    ltibia lfoot\n", "    ltibia lfoot\n    lfoot ltoes\n");
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(text, scene, true).ok);
    EXPECT_EQ(scene->FindBone("lhipjoint"), nullptr);
    AsfBone* toes = scene->FindBone("ltoes");
    ASSERT_NE(toes, nullptr);
    EXPECT_EQ(toes->mParent, scene->FindBone("lfoot"));
    // Its node ends in an end node of the shape every skeleton reader gives its ends.
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaNode* root = scene->CreateNodes(manager, "", false);
    ASSERT_NE(root, nullptr);
    VOxaNode* node = root->FindChild("ltoes");
    ASSERT_NE(node, nullptr);
    EXPECT_NEAR(node->GetNodeProperties()->GetAxisLen(), 2.0 * kCm, 1e-9) << "the bone length";
    ASSERT_EQ(node->GetChildCount(), 1);
    EXPECT_STREQ(node->GetChild(0)->GetNameWithoutPrefix(), "ltoes_End");
    EXPECT_TRUE(VOxaMotionSupport::IsEndNode(node->GetChild(0)));
    EXPECT_FALSE(VOxaMotionSupport::IsEndNode(node));
    delete manager;
    scene->Destroy();
}

TEST(asf_file, WarningsAndCase) {
    std::string text = Replace(kAsfSample, ":version 1.10", ":version 1.2");
    text = Replace(text, "     name ltibia", "     NAME ltibia");
    text = Replace(text, "  begin\n     id 4", "  Begin\n     id 4");
    text = Replace(text, "  length 0.45", "  length 0");
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ReadResult r = ReadAsf(text, scene);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_NE(r.messages.find("Bad File format version (1.200000), trying 1.10"), std::string::npos);
    // A length unit of 0 is unreadable: the unit stays 1.
    EXPECT_NE(r.messages.find("Can't read length unit, using 1.000000"), std::string::npos) << r.messages;
    EXPECT_DOUBLE_EQ(scene->GetLengthUnit(), 1.0);
    EXPECT_NE(scene->FindBone("ltibia"), nullptr);
    EXPECT_NEAR(scene->FindBone("lfoot")->mLength, 2.54, 1e-12);
    scene->Destroy();

    // The setter answers whether it took the unit.
    VOxaAsfScene* direct = VOxaAsfScene::Create();
    EXPECT_TRUE(direct->SetLengthUnit(2.0));
    EXPECT_DOUBLE_EQ(direct->GetLengthUnit(), 2.0);
    EXPECT_FALSE(direct->SetLengthUnit(0.0));
    EXPECT_DOUBLE_EQ(direct->GetLengthUnit(), 2.0);
    direct->Destroy();

    for (const char* unit : {"-2", "inf", "nan", "x"}) {
        VOxaAsfScene* s = VOxaAsfScene::Create();
        ReadResult u = ReadAsf(Replace(kAsfSample, "length 0.45", std::string("length ") + unit), s);
        EXPECT_TRUE(u.ok);
        EXPECT_DOUBLE_EQ(s->GetLengthUnit(), 1.0) << unit;
        s->Destroy();
    }
}

TEST(asf_file, RefusedInput) {
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {Replace(kAsfSample, "name lfoot", "name root"), "Forbidden bone name"},
        {Replace(kAsfSample, "axis 0 0 110  XYZ", "axis 0 0 110  XYW"), "Unknown rotation order"},
        {Replace(kAsfSample, "     direction 0 0 1\n", ""), "Bone has no direction"},
        {Replace(kAsfSample, "     length 1\n", ""), "Bone has no length"},
        {Replace(kAsfSample, "     length 1\n", "     length inf\n"), "Can't read bone length"},
        {Replace(kAsfSample, "     length 1\n", "     length 1e300\n"), "Can't read bone length"},
        {Replace(kAsfSample, "ltibia lfoot", "ltibia lfot"), "Unknown child bone name (lfot)"},
        {Replace(kAsfSample, "ltibia lfoot", "ltibai lfoot"), "Unknown parent bone name (ltibai)"},
        {Replace(kAsfSample, "           (-30 30)\n           (-30 30)\n", ""), "Can't read dof limits"},
        {std::string(kAsfSample).substr(0, std::string(kAsfSample).find(":bonedata")),
         "Unexpected end of file"},
        {":version 1.10\n:name x\n", "Missing :root section"},
        {"", "the file is empty"},
    };
    for (const Case& c : cases) {
        VOxaAsfScene* scene = VOxaAsfScene::Create();
        ReadResult r = ReadAsf(c.text, scene);
        EXPECT_FALSE(r.ok) << c.message;
        EXPECT_NE(r.messages.find(c.message), std::string::npos) << c.message << "\n" << r.messages;
        scene->Destroy();
    }
}

TEST(asf_reader, RefusalsSayWhere) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "the file is empty"},
        {"# only a comment\n\n", "line 2: the file holds nothing but blank and comment lines"},
        {":version 1.10\n:name x\n", "line 2: Missing :root section"},
        {":version 1.10\r\n:root\r\n  order TX TY\r\n", "line 3: Unexpected end of file"},
        {std::string(kAsfSample).substr(0, std::string(kAsfSample).find(":bonedata")) +
             ":bonedata\n  begin\n",
         "line 16: Unexpected end of file"},
        {Replace(kAsfSample, "name lfoot", "name root"), "line 45: Forbidden bone name"},
    };
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    for (const auto& c : cases) {
        VOxaReaderAcclaimAsf reader(manager);
        const std::string error =
            readfailure::Refusal(reader, manager->CreateScene(), AsfWriteFile("refused.asf", c.text));
        EXPECT_EQ(error, std::string("File is corrupted: ") + c.why);
    }
    delete manager;
}

TEST(asf_file, HierarchyEdgeCases) {
    // A missing hierarchy leaves every bone below the root; "root" as a parent is ignored.
    std::string flat = std::string(kAsfSample).substr(0, std::string(kAsfSample).find(":hierarchy"));
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(flat, scene, false).ok);
    EXPECT_EQ(scene->GetRootBone()->mChildren.size(), 5u);
    scene->Destroy();

    // "a b" then "b a": the second line would close a cycle cut off from the root. Refused with a
    // warning; both stay reachable.
    std::string cyclic =
        Replace(kAsfSample, "    ltibia lfoot\n", "    ltibia lfoot\n    lfoot lhipjoint\n    lfoot lfoot\n");
    scene = VOxaAsfScene::Create();
    ReadResult r = ReadAsf(cyclic, scene, false);
    ASSERT_TRUE(r.ok) << r.messages;
    EXPECT_NE(r.messages.find("cannot be the parent of lhipjoint"), std::string::npos) << r.messages;
    EXPECT_EQ(scene->FindBone("lhipjoint")->mParent, scene->GetRootBone());
    EXPECT_EQ(scene->FindBone("lfemur")->mParent, scene->FindBone("lhipjoint"));
    EXPECT_EQ(scene->GetBoneCount(), 6);
    scene->Destroy();

    // The direct form: "x y" then "y x".
    std::string pair =
        Replace(kAsfSample, "    ltibia lfoot\n", "    lowerback lfoot\n    lfoot lowerback\n");
    scene = VOxaAsfScene::Create();
    r = ReadAsf(pair, scene, false);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(scene->FindBone("lfoot")->mParent, scene->FindBone("lowerback"));
    EXPECT_EQ(scene->FindBone("lowerback")->mParent, scene->GetRootBone());
    scene->Destroy();
}

TEST(asf_file, DeepChains) {
    auto chain = [](int n, bool topDown) {
        std::string text = ":root\n order tx ty tz rx ry rz\n axis xyz\n:bonedata\n";
        for (int i = 0; i < n; ++i)
            text += " begin\n name b" + std::to_string(i) +
                    "\n direction 0 1 0\n length 1\n axis 0 0 0 xyz\n dof rx\n end\n";
        text += ":hierarchy\n begin\n";
        if (topDown) {
            for (int i = 0; i + 1 < n; ++i)
                text += " b" + std::to_string(i) + " b" + std::to_string(i + 1) + "\n";
        } else {
            for (int i = n - 1; i > 0; --i)
                text += " b" + std::to_string(i - 1) + " b" + std::to_string(i) + "\n";
        }
        text += " end\n";
        return text;
    };
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(chain(900, true), scene).ok);
    EXPECT_EQ(scene->GetBoneCount(), 901);
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaNode* top = scene->CreateNodes(manager, "", false);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetChildCount(true), 901);  // 900 bones and the last one's end
    delete manager;
    scene->Destroy();
    for (bool topDown : {true, false}) {
        scene = VOxaAsfScene::Create();
        ReadResult r = ReadAsf(chain(3000, topDown), scene);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.messages.find("deeper than 1000 levels"), std::string::npos) << r.messages;
        scene->Destroy();  // the destruction is iterative as well
    }
}

TEST(asf_nodes, CreateNodesEndsAndLimits) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(kAsfSample, scene).ok);
    VOxaNode* root = scene->CreateNodes(manager, "", true);
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "Model::root");
    ASSERT_NE(root->GetSkeleton(), nullptr);
    EXPECT_EQ(root->GetSkeleton()->GetSkeletonType(), VOxaSkeleton::eLIMB_NODE);
    // Leaves longer than 0 get an end node; the root (with children) does not.
    VOxaNode* foot = root->FindChild("lfoot");
    ASSERT_NE(foot, nullptr);
    VOxaNode* end = foot->FindChild("lfoot_End", false);
    ASSERT_NE(end, nullptr);
    VgeTVector t;
    // The end sits along the bone: direction (0, 0, 1) turned into the foot's frame.
    end->GetLclTranslation(t);
    ExpectVector(t, 0.0, 0.0, kCm, 1e-6);
    EXPECT_NE(root->FindChild("lowerback_End"), nullptr);
    EXPECT_EQ(root->FindChild("root_End"), nullptr);
    EXPECT_EQ(root->FindChild("ltibia_End"), nullptr);
    foot->GetLclRotation(t);
    ExpectVector(t, 0.0, 0.0, 90.0);

    // Limits: the tibia has no translation dof (locked at its default) and one rotation dof
    // (the first rotation dof takes z).
    VOxaNode* tibia = root->FindChild("ltibia");
    VOxaNodeLimitsAdapter limits(tibia->GetLimits());
    EXPECT_FALSE(limits.GetAuto(0));
    EXPECT_TRUE(limits.GetEnable(0));
    ExpectVector(limits.GetMin(0), 0.0, -7.1578 * kCm, 0.0, 1e-4);
    EXPECT_FALSE(limits.GetAuto(1));
    ExpectVector(limits.GetMin(1), 0.0, 0.0, -180.0);
    ExpectVector(limits.GetMax(1), 0.0, 0.0, 180.0);
    // Two rotation dofs: z and y.
    VOxaNodeLimitsAdapter footLimits(foot->GetLimits());
    EXPECT_TRUE(footLimits.GetAuto(0));  // a translation dof: no translation limits
    ExpectVector(footLimits.GetMax(1), 0.0, 180.0, 180.0);
    // Three rotation dofs: no rotation limits.
    VOxaNodeLimitsAdapter femurLimits(root->FindChild("lfemur")->GetLimits());
    EXPECT_TRUE(femurLimits.GetAuto(1));
    delete manager;
    scene->Destroy();
}

TEST(asf_nodes, LimitsOnlyWithTheFlagAndBelowTheRoot) {
    // Without the limits flag no node gets limits, whatever its dofs.
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaAsfScene* scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(kAsfSample, scene).ok);
    VOxaNode* root = scene->CreateNodes(manager, "", false);
    ASSERT_NE(root, nullptr);
    for (const char* name : {"ltibia", "lfoot", "lowerback"}) {
        VOxaNodeLimitsAdapter limits(root->FindChild(name)->GetLimits());
        EXPECT_TRUE(limits.GetAuto(0)) << name;
        EXPECT_TRUE(limits.GetAuto(1)) << name;
    }
    delete manager;
    scene->Destroy();

    // With the flag, the root stays free even when its dof list would lock it (no translation,
    // one rotation); its child, with the same kind of list, is limited.
    std::string text = Replace(kAsfSample, "   order TX TY TZ RX RY RZ\n", "   order RX\n");
    manager = VOxaSdkManager::Create();
    scene = VOxaAsfScene::Create();
    ASSERT_TRUE(ReadAsf(text, scene).ok);
    root = scene->CreateNodes(manager, "", true);
    ASSERT_NE(root, nullptr);
    VOxaNodeLimitsAdapter rootLimits(root->GetLimits());
    EXPECT_TRUE(rootLimits.GetAuto(0));
    EXPECT_TRUE(rootLimits.GetAuto(1));
    VOxaNodeLimitsAdapter tibia(root->FindChild("ltibia")->GetLimits());
    EXPECT_FALSE(tibia.GetAuto(0));
    EXPECT_FALSE(tibia.GetAuto(1));
    delete manager;
    scene->Destroy();
}

TEST(asf_reader, ReferenceNodeDuplicatesAndRows) {
    const std::string path = AsfWriteFile("walk.asf", kAsfSample);
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaReaderAcclaimAsf reader(manager);
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    EXPECT_FALSE(reader.Read(scene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    VStreamOptionsMotion* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE), 1);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eIMPORT_DUMMY_NODES), 0);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eIMPORT_LIMITS), 0);
    ASSERT_TRUE(reader.Read(scene, options));
    VOxaNode* reference = scene->GetRootNode()->GetChild(0);
    ASSERT_NE(reference, nullptr);
    EXPECT_STREQ(reference->GetName(), "Model::VICON:reference");
    EXPECT_STREQ(reference->GetChild(0)->GetName(), "Model::root");
    ASSERT_NE(options->GetAttachedObject(), nullptr);
    EXPECT_TRUE(options->GetAttachedObject()->IsA(VOxaAsfScene::ClassId));
    EXPECT_STREQ(VOxaAsfScene::ClassInfo.GetName(), "VOxaAsfScene");
    EXPECT_NE(reader.GetMessageText().Find("Unknown degree of freedom (l)"), -1);
    EXPECT_TRUE(reader.FileClose());
    EXPECT_FALSE(reader.FileClose());
    options->Destroy();

    // Duplicate bone names fail with error 0 after the message.
    const std::string dup = AsfWriteFile(
        "dup.asf",
        Replace(Replace(kAsfSample, "name lowerback", "name ltibia"), "root lhipjoint lowerback", "root"));
    ASSERT_TRUE(reader.FileOpen(dup.c_str()));
    options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
    static std::string shown;
    options->SetMessageCallback(
        [](const char*, const char* text, const char*, const char*, const char*, void*) {
            shown = text;
            return 1;
        });
    EXPECT_FALSE(reader.Read(scene, options));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_CORRUPTED);
    EXPECT_NE(shown.find("Duplicate names found in"), std::string::npos);
    EXPECT_NE(shown.find("ltibia"), std::string::npos);
    options->Destroy();
    reader.FileClose();

    // The format rows.
    const int asfRow = VOxaFindReaderFormat("ASF");
    ASSERT_GE(asfRow, 0);
    VOxaReader* made = VOxaGetReaderFormat(asfRow)->mCreate(manager);
    EXPECT_NE(dynamic_cast<VOxaReaderAcclaimAsf*>(made), nullptr);
    delete made;
    EXPECT_GE(VOxaFindWriterFormat("asf"), 0);
    delete manager;
}

namespace {

// A marked chain: hips (translated) -> spine -> head, and hips -> leg, leg -> foot (two children
// at different places, so the hips get dummies).
struct ExportScene {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaNode* hips = nullptr;

    ExportScene() {
        hips = Add(scene->GetRootNode(), "hips", VgeTVector(0, 90, 0, 0), VgeTVector(0, 0, 0, 0));
        VOxaNode* spine = Add(hips, "spine", VgeTVector(0, 10, 0, 0), VgeTVector(10, 0, 0, 0));
        Add(spine, "head", VgeTVector(0, 20, 5, 0), VgeTVector(0, 30, 0, 0));
        VOxaNode* leg = Add(hips, "leg", VgeTVector(8, -5, 0, 0), VgeTVector(0, 0, -15, 0));
        Add(leg, "foot", VgeTVector(0, -40, 0, 0), VgeTVector(0, 0, 0, 0));
        hips->SetMarked(1, true);
    }
    ~ExportScene() { delete manager; }

    VOxaNode* Add(VOxaNode* parent, const char* name, const VgeTVector& t, const VgeTVector& r) {
        VOxaNode* n = manager->CreateNode(name);
        n->SetLclTranslation(t);
        n->SetLclRotation(r);
        parent->AddChild(n);
        return n;
    }
};

}  // namespace

TEST(asf_writer, RoundTripGivesTheSkeletonBack) {
    ExportScene source;
    const std::string path = AsfTestPath("export.asf");
    VOxaWriterAcclaimAsf writer(source.manager);
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    VStreamOptionsMotion* options = static_cast<VStreamOptionsMotion*>(writer.GetWriteOptions());
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eEXPORT_FRAME_RATE), 1);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE), 0);
    EXPECT_EQ(options->GetOption(VStreamOptionsMotion::eTRANSLATION), 0);
    ASSERT_TRUE(writer.Write(source.scene, options));
    ASSERT_TRUE(writer.FileClose());
    VOxaAsfScene* built = static_cast<VOxaAsfScene*>(options->GetAttachedObject());
    ASSERT_NE(built, nullptr);
    // The hips' two children start at different places: each gets a dummy bone. The leaves are
    // joints with names: they stay, as bones of length 0 at their parents' ends.
    ASSERT_NE(built->FindBone("spineDummy"), nullptr);
    ASSERT_NE(built->FindBone("legDummy"), nullptr);
    EXPECT_EQ(built->FindBone("spine")->mParent, built->FindBone("spineDummy"));
    for (const char* leaf : {"head", "foot"}) {
        ASSERT_NE(built->FindBone(leaf), nullptr) << leaf;
        EXPECT_EQ(built->FindBone(leaf)->mLength, 0.0) << leaf;
    }
    const std::string text = AsfReadFile(path);
    EXPECT_NE(text.find("  axis xyz\n  order  tx ty tz rx ry rz\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    dof rx ry rz\n"), std::string::npos);
    EXPECT_NE(text.find("  ASF file generated by Morvane\n"), std::string::npos);

    // Read back into a scene: the nodes come back with their local frames.
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaReaderAcclaimAsf reader(manager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    VStreamOptionsMotion* readOptions = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
    readOptions->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 0);
    ASSERT_TRUE(reader.Read(scene, readOptions)) << reader.GetMessageText().Buffer();
    VOxaNode* root = scene->GetRootNode()->FindChild("root", false);
    ASSERT_NE(root, nullptr);
    // Every joint comes back by name, the leaves too.
    for (const char* name : {"spine", "leg", "head", "foot"}) {
        VOxaNode* original = source.hips->FindChild(name);
        VOxaNode* copy = root->FindChild(name);
        ASSERT_NE(copy, nullptr) << name;
        // The dummies are collapsed again: the parents match.
        EXPECT_STREQ(
            copy->GetParent()->GetNameWithoutPrefix(),
            original->GetParent() == source.hips ? "root" : original->GetParent()->GetNameWithoutPrefix());
        // A leaf ends in an end node where it starts.
        if (original->GetChildCount() == 0) {
            ASSERT_EQ(copy->GetChildCount(), 1) << name;
            VgeTVector t;
            copy->GetChild(0)->GetLclTranslation(t);
            ExpectVector(t, 0.0, 0.0, 0.0, 0.0);
        }
        VgeTVector a, b;
        original->GetLclTranslation(a);
        copy->GetLclTranslation(b);
        ExpectVector(b, a[0], a[1], a[2], 1e-3);
        original->GetLclRotation(a);
        copy->GetLclRotation(b);
        ExpectVector(b, a[0], a[1], a[2], 1e-3);
    }
    // And written again, the file is the same.
    const std::string again = AsfTestPath("again.asf");
    VOxaWriterAcclaimAsf writer2(manager);
    root->SetMarked(1);
    ASSERT_TRUE(writer2.FileCreate(again.c_str()));
    VStreamOptions* options2 = writer2.GetWriteOptions();
    scene->GetRootNode()->RemoveChild(root);
    VOxaScene* scene2 = manager->CreateScene();
    VOxaNode* top = manager->CreateNode("top");
    scene2->GetRootNode()->AddChild(top);
    // The read skeleton hangs below its own root node; export that node's children.
    while (root->GetChildCount() > 0)
        top->AddChild(root->GetChild(0));
    top->SetMarked(1);
    ASSERT_TRUE(writer2.Write(scene2, options2));
    ASSERT_TRUE(writer2.FileClose());
    ExpectSameTextWithinSingle(AsfReadFile(again), text);
    options2->Destroy();
    readOptions->Destroy();
    options->Destroy();
    delete manager;
}

TEST(asf_writer, BonesWithoutTranslationDofsStartWhereTheirTakePutsThem) {
    // hips -> knee -> foot, each with a take. The foot's take keys a translation other than its
    // default; the knee's take only repeats its default in single precision.
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaNode* nodes[3] = {};
    const char* names[3] = {"hips", "knee", "foot"};
    const double defaults[3] = {0.0, -10.1, -8.0};
    for (int i = 0; i < 3; ++i) {
        nodes[i] = manager->CreateNode(names[i]);
        if (i > 0) nodes[i - 1]->AddChild(nodes[i]);
        nodes[i]->AddTakeNode("Take");
        nodes[i]->SetCurrentTakeNode("Take");
        nodes[i]->SetLclTranslation(VgeTVector(0.0, defaults[i], 0.0, 0.0));
    }
    VFCurve* footY = nodes[2]->GetCurrentTakeNode()->GetTranslationY();
    footY->KeyAppendFast(VTime(VTime::kOneSecond), -12.0f);
    footY->KeyAppendFast(VTime(2 * VTime::kOneSecond), -20.0f);
    for (bool translation : {false, true}) {
        VOxaAsfScene* skeleton = VOxaAsfScene::Create();
        ASSERT_TRUE(skeleton->BuildFromNode(nodes[0], translation, VgeTVector(1.0, 1.0, 1.0, 0.0),
                                            VTime(VTime::kOneSecond)));
        // The knee's bone runs to the foot: from the take's first frame without translation
        // dofs; from the default with them, the AMC translations being relative to it.
        AsfBone* knee = skeleton->FindBone("knee");
        ASSERT_NE(knee, nullptr);
        EXPECT_NEAR(knee->mLength, translation ? 8.0 : 12.0, 1e-12) << translation;
        ExpectVector(knee->mDirection, 0.0, -1.0, 0.0);
        // The root's bone runs to the knee, whose default is kept exactly.
        AsfBone* dummy = skeleton->FindBone("kneeDummy");
        ASSERT_NE(dummy, nullptr);
        EXPECT_EQ(dummy->mLength, 10.1);
        skeleton->Destroy();
    }
    delete manager;
}

TEST(asf_writer, Refusals) {
    ExportScene source;
    VOxaWriterAcclaimAsf writer(source.manager);
    VStreamOptions* options = writer.GetWriteOptions();
    EXPECT_FALSE(writer.Write(source.scene, options));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_FALSE(writer.FileCreate("/nonexistent-dir/x.asf"));
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(),
                 "Cannot open file \"/nonexistent-dir/x.asf\" for writing.");
    const std::string longPath = "/nonexistent-dir/" + std::string(5000, 'a');
    EXPECT_FALSE(writer.FileCreate(longPath.c_str()));
    EXPECT_LT(writer.GetError().GetLastErrorString().GetLen(), 400);

    const std::string path = AsfWriteFile("refused.asf", "old");
    static std::string shown;
    options->SetMessageCallback(
        [](const char*, const char* text, const char*, const char*, const char*, void*) {
            shown = text;
            return 1;
        });
    // Blanks.
    source.hips->FindChild("head")->SetName("big head");
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    EXPECT_FALSE(writer.Write(source.scene, options));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eUNIDENTIFIED_ERROR);
    EXPECT_NE(shown.find("Spaces are not allowed in ASF node names:"), std::string::npos);
    EXPECT_NE(shown.find("big head"), std::string::npos);
    source.hips->FindChild("big head")->SetName("head");
    // Names that would not read back.
    // A name that begins with a number is written with a leading "_", which must fit the 50
    // characters a reader takes.
    const std::string longNumber = "1" + std::string(49, 'x');
    for (const char* bad : {longNumber.c_str(), "a,b", "(x)", ":key"}) {
        source.hips->FindChild("foot")->SetName(bad);
        source.hips->GetChild(0)->GetChild(0)->SetName("head");
        EXPECT_FALSE(writer.Write(source.scene, options)) << bad;
        EXPECT_NE(shown.find(bad), std::string::npos) << bad;
        source.hips->FindChild(bad)->SetName("foot");
    }
    writer.FileClose();
    EXPECT_EQ(AsfReadFile(path), "old");  // nothing was written: the target is whole

    // No marked root.
    source.hips->SetMarked(0, true);
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    EXPECT_FALSE(writer.Write(source.scene, options));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), "no joints to write");
    options->Destroy();
}

TEST(asf_writer, FailedWriteKeepsTheTarget) {
    ExportScene source;
    // Many bones, so that the file passes the size limit below.
    VOxaNode* parent = source.hips->FindChild("head");
    for (int i = 0; i < 400; ++i)
        parent =
            source.Add(parent, ("bone" + std::to_string(i)).c_str(), VgeTVector(0, 1, 0, 0), VgeTVector());
    source.hips->SetMarked(1, true);
    const std::string path = AsfWriteFile("full.asf", "old");
    VOxaWriterAcclaimAsf writer(source.manager);
    VStreamOptions* options = writer.GetWriteOptions();
    oxa_test::FileSizeLimit limit(4096);
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    const bool wrote = writer.Write(source.scene, options);
    const bool closed = writer.FileClose();
    limit.Lift();
    EXPECT_FALSE(wrote && closed);
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_EQ(AsfReadFile(path), "old");
    options->Destroy();
}

TEST(asf_writer, LongNamesAreListedCut) {
    // A name longer than an ASF bone name may be is refused and listed by its first 128 bytes
    // and its length; a short one whole.
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaNode* root = manager->CreateNode("Root");
    const std::string longName = "Arm" + std::string(397, 'y');
    VOxaNode* arm = manager->CreateNode(longName.c_str());
    VOxaNode* hand = manager->CreateNode("Hand(1)");
    root->AddChild(arm);
    root->AddChild(hand);
    VString report("");
    EXPECT_FALSE(VOxaCheckAsfNodeNames(root, false, report));
    const std::string listed = report.Buffer();
    const std::string full = arm->GetNameWithoutPrefix();
    EXPECT_EQ(listed, "\n    " + full.substr(0, 128) + "... (" + std::to_string(full.size()) +
                          " bytes)\n    Hand(1)");
    delete manager;
}
