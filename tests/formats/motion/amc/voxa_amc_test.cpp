#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <sys/resource.h>

#include "../asf/asf_test_support.h"
#include "animation/anim_settings.h"
#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/amc/voxa_file_acclaim_amc.h"
#include "formats/motion/amc/voxa_reader_acclaim_amc.h"
#include "formats/motion/amc/voxa_writer_acclaim_amc.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_file_acclaim_asf.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "formats/motion/asf/voxa_writer_acclaim_asf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/support/file_size_limit.h"

namespace {

constexpr double kCm = 2.54 / 0.45;

const char* kMotion =
    ":FULLY-SPECIFIED\n"
    ":DEGREES\n"
    ":SAMPLES-PER-SECOND 120\n"
    "1\n"
    "root 1 2 3 10 20 30 99\n"
    "lfemur 10 20 30\n"
    "ltibia 30\n"
    "lfoot 1 90 90\n"
    "lowerback 5 6 7\n"
    "2\n"
    "root 2 2 3 11 20 30\n"
    "lfemur 11 21 31\n"
    "ltibia 31\n"
    "lfoot 2 80 90\n"
    "4\n"
    "root 3 2.5 3 12 21 30\n"
    "lfemur 12 22 32\n"
    "ltibia 32\n"
    "lfoot 3 70 85\n";

// The sample skeleton read into a scene, and an AMC read on top of it.
struct Imported {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    std::unique_ptr<VStreamOptionsMotion> asfOptions;
    std::string messages;
    std::string error;  // the reader's error text after ReadAmc

    explicit Imported(const std::string& asfText = kAsfSample, int referenceNode = 1) {
        const std::string path = AsfWriteFile("skeleton.asf", asfText);
        VOxaReaderAcclaimAsf reader(manager);
        EXPECT_TRUE(reader.FileOpen(path.c_str()));
        asfOptions.reset(static_cast<VStreamOptionsMotion*>(reader.GetReadOptions()));
        asfOptions->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, referenceNode);
        EXPECT_TRUE(reader.Read(scene, asfOptions.get()));
    }
    ~Imported() {
        asfOptions.reset();
        delete manager;
    }
    VOxaAsfScene* Skeleton() const { return static_cast<VOxaAsfScene*>(asfOptions->GetAttachedObject()); }

    // Reads `text` as "<name>.amc" with the options of its header; answers the reader's error id
    // (-1 on success).
    int ReadAmc(const std::string& text, const char* name = "walk", VStreamOptionsMotion** header = nullptr) {
        const std::string path = AsfWriteFile(std::string(name) + ".amc", text);
        VOxaReaderAcclaimAmc reader(manager);
        EXPECT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptionsMotion> options(
            static_cast<VStreamOptionsMotion*>(reader.GetReadOptions()));
        // The messages: the reader's warnings, then the error that stopped it.
        if (!options) {
            error = reader.GetError().GetLastErrorString().Buffer();
            messages = std::string(reader.GetMessageText().Buffer()) + error;
            return reader.GetError().GetLastErrorID();
        }
        options->SetAttachedObject(Skeleton(), false);
        options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE,
                           asfOptions->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE));
        const bool ok = reader.Read(scene, options.get());
        error = ok ? "" : reader.GetError().GetLastErrorString().Buffer();
        messages = std::string(reader.GetMessageText().Buffer()) + error;
        if (header) *header = options.release();
        return ok ? -1 : reader.GetError().GetLastErrorID();
    }
    VOxaNode* Node(const char* name) const { return scene->GetRootNode()->FindChild(name, true); }
};

VFCurve* Curve(VOxaNode* node, const char* path) {
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    VFCurveNode* channel = take ? take->GetVFCurveNode()->FindChild(path) : nullptr;
    return channel ? channel->FCurveGet() : nullptr;
}

// The value of a channel at a time: its curve when it has keys, else the node's default.
double Value(VOxaNode* node, const char* channel, int axis, VTime time) {
    static const char* const kAxes[3] = {"X", "Y", "Z"};
    VFCurve* curve = Curve(node, (std::string("Transform/") + channel + "/" + kAxes[axis]).c_str());
    if (curve && curve->KeyGetCount() > 0) return curve->Evaluate(time);
    VgeTVector v;
    if (channel[0] == 'T')
        node->GetLclTranslation(v);
    else
        node->GetLclRotation(v);
    return v[axis];
}

struct KeepFilters {
    bool reducer = VFCurveGetApplyConstantKeyReducer();
    KeepFilters() { VFCurveSetApplyConstantKeyReducer(false); }
    ~KeepFilters() { VFCurveSetApplyConstantKeyReducer(reducer); }
};

const VTime kPeriod = VTime(46186158000LL / 120);

}  // namespace

TEST(amc_header, ScanHeader) {
    auto scan = [](const std::string& text, VStreamOptionsMotion& options, std::string* messages = nullptr) {
        const std::string path = AsfWriteFile("scan.amc", text);
        VOxaFileAcclaimAmc file;
        EXPECT_TRUE(file.Open(path.c_str(), "r"));
        const bool ok = file.ScanHeader(&options);
        if (messages) *messages = file.GetMessages().Buffer();
        return ok;
    };
    std::string frames100;
    for (int f = 1; f <= 100; ++f)
        frames100 += std::to_string(f) + "\nroot 0 0 0 0 0 0\n";
    VStreamOptionsMotion options;
    ASSERT_TRUE(scan(":FORMAT FIRSTFRAME-INDEXED\n:SAMPLES-PER-SECOND 120\n" + frames100, options));
    EXPECT_EQ(options.GetFrameCount(), 100);
    EXPECT_DOUBLE_EQ(options.GetFrameRate(), 120.0);
    EXPECT_EQ(options.GetStartTime(), VTime(0));
    // A range limits the count and gives the start.
    VStreamOptionsMotion ranged;
    ASSERT_TRUE(scan(":SAMPLES-PER-SECOND 120\n:FRAME-RANGE 3-52\n" + frames100, ranged));
    EXPECT_EQ(ranged.GetFrameCount(), 50);
    EXPECT_EQ(ranged.GetStartTime(), kPeriod * 3);
    // A range whose last frame is below its first is ignored.
    VStreamOptionsMotion backwards;
    ASSERT_TRUE(scan(":FRAME-RANGE 9-2\n" + frames100, backwards));
    EXPECT_EQ(backwards.GetFrameCount(), 100);
    // A range of 2e9 frames each side is counted in 64 bits.
    VStreamOptionsMotion wide;
    ASSERT_TRUE(scan(":FRAME-RANGE -2000000000-2000000000\n" + frames100, wide));
    EXPECT_EQ(wide.GetFrameCount(), 100);
    // Another format is refused.
    VStreamOptionsMotion other;
    std::string messages;
    EXPECT_FALSE(scan(":FORMAT LASTFRAME-INDEXED\n1\n", other, &messages));
    EXPECT_NE(messages.find("Unsupported DOF line format"), std::string::npos);
    EXPECT_FALSE(scan("root 1 2 3\n", other));
    // A start that overflows the time line is refused.
    EXPECT_FALSE(
        scan(":SAMPLES-PER-SECOND 0.000001\n:FRAME-RANGE 2000000000-2000000001\n1\n", other, &messages));
    EXPECT_NE(messages.find("out of range"), std::string::npos);
}

TEST(amc_reader, KeysFromFrames) {
    KeepFilters keep;
    Imported imported;
    VStreamOptionsMotion* header = nullptr;
    ASSERT_EQ(imported.ReadAmc(kMotion, "walk", &header), -1) << imported.messages;
    std::unique_ptr<VStreamOptionsMotion> owned(header);
    EXPECT_EQ(header->GetFrameCount(), 3);

    // Key times from the frame numbers: frames 1, 2 and 4 at 0, 1 and 3 periods.
    VOxaNode* femur = imported.Node("lfemur");
    VFCurve* rx = Curve(femur, "Transform/R/X");
    ASSERT_NE(rx, nullptr);
    ASSERT_EQ(rx->KeyGetCount(), 3);
    EXPECT_EQ(rx->KeyGetTime(0), VTime(0));
    EXPECT_EQ(rx->KeyGetTime(1), kPeriod);
    EXPECT_EQ(rx->KeyGetTime(2), kPeriod * 3);
    // Rotation dofs in dof order, through A x parent A^-1: rx ry rz of (10, 20, 30) below a frame
    // turned 20 degrees about z is (10, 20, 50).
    EXPECT_NEAR(Value(femur, "R", 0, 0), 10.0, 1e-4);
    EXPECT_NEAR(Value(femur, "R", 1, 0), 20.0, 1e-4);
    EXPECT_NEAR(Value(femur, "R", 2, 0), 50.0, 1e-4);
    EXPECT_NEAR(Value(imported.Node("ltibia"), "R", 0, kPeriod), 31.0, 1e-4);
    // The foot: "tx rz rx" with its frame turned 90 degrees about z from its parent's. z turns
    // first: x goes to y, then x's rotation takes y to z.
    VOxaNode* foot = imported.Node("lfoot");
    double angles[3] = {Value(foot, "R", 0, 0), Value(foot, "R", 1, 0), Value(foot, "R", 2, 0)};
    double m[4][4];
    VgeMatrixIdentity(m);
    VgeEulerXYZToMatrix(m, angles[0], angles[1], angles[2]);
    EXPECT_NEAR(m[0][0], 0.0, 1e-5);
    EXPECT_NEAR(m[0][1], 0.0, 1e-5);
    EXPECT_NEAR(m[0][2], 1.0, 1e-5);
    // Translation through A and the parent's A^-1: tx = 1 turns into +y of the parent's frame.
    EXPECT_NEAR(Value(foot, "T", 0, 0), 0.0, 1e-4);
    EXPECT_NEAR(Value(foot, "T", 1, 0), -7.41509 * kCm + kCm, 1e-4);
    // The root: translation in centimetres; the seventh value is ignored.
    VOxaNode* root = imported.Node("root");
    EXPECT_NEAR(Value(root, "T", 0, 0), 1.0 * kCm, 1e-4);
    EXPECT_NEAR(Value(root, "R", 2, 0), 30.0, 1e-4);
    // A bone given in the first frame only keeps that frame's values for the whole take: its
    // frame is the root's, so rx ry rz of (5, 6, 7) are the XYZ angles themselves.
    VOxaNode* back = imported.Node("lowerback");
    VFCurve* backRx = Curve(back, "Transform/R/X");
    ASSERT_NE(backRx, nullptr);
    EXPECT_EQ(backRx->KeyGetCount(), 1);
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(Value(back, "R", a, kPeriod * 3), 5.0 + a, 1e-4) << a;

    // The take: named after the file, current, with its time span; a second import of the same
    // file gets " 1".
    EXPECT_STREQ(imported.scene->GetCurrentTakeName(), "walk");
    VOxaTakeInfo* info = imported.scene->GetTakeInfo("walk");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop(), kPeriod * 2);
    ASSERT_EQ(imported.ReadAmc(kMotion, "walk"), -1);
    EXPECT_STREQ(imported.scene->GetCurrentTakeName(), "walk 1");
    // The nodes are reused below the reference node: no second skeleton.
    EXPECT_EQ(imported.scene->GetRootNode()->GetChildCount(), 1);
    EXPECT_STREQ(imported.scene->GetRootNode()->GetChild(0)->GetName(), "Model::VICON:reference");
}

TEST(amc_reader, OneSkeletonServesManyReads) {
    // A read leaves the skeleton as it found it, a failed one too: a third read with the same
    // skeleton, after a read that failed with keys on its bones, keys exactly as the first, in a
    // fresh scene whose nodes the AMC reader makes itself or in the first scene reusing them.
    KeepFilters keep;
    Imported first;
    ASSERT_EQ(first.ReadAmc(kMotion, "walk"), -1) << first.messages;
    EXPECT_EQ(first.ReadAmc("1\nltibia 1\n2\nltibia 2\n3\nlknee 3\n", "bad"), VOxaReader::eFILE_CORRUPTED);
    ASSERT_EQ(first.ReadAmc(kMotion, "again"), -1) << first.messages;

    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* fresh = manager->CreateScene();
    {
        VOxaReaderAcclaimAmc reader(manager);
        ASSERT_TRUE(reader.FileOpen(AsfWriteFile("walk.amc", kMotion).c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(options);
        static_cast<VStreamOptionsMotion*>(options.get())->SetAttachedObject(first.Skeleton(), false);
        ASSERT_TRUE(reader.Read(fresh, options.get())) << reader.GetMessageText().Buffer();
    }
    int compared = 0;
    for (const char* bone : {"root", "lfemur", "ltibia", "lfoot"}) {
        VOxaNode* node = first.Node(bone);
        VOxaNode* other = fresh->GetRootNode()->FindChild(bone, true);
        ASSERT_TRUE(node && other) << bone;
        for (const char* path : {"Transform/T/X", "Transform/T/Y", "Transform/T/Z", "Transform/R/X",
                                 "Transform/R/Y", "Transform/R/Z"}) {
            node->SetCurrentTakeNode("walk");
            VFCurve* expected = Curve(node, path);
            node->SetCurrentTakeNode("again");
            for (VFCurve* curve : {Curve(node, path), Curve(other, path)}) {
                ASSERT_EQ(!expected, !curve) << bone << " " << path;
                if (!expected) continue;
                ASSERT_EQ(curve->KeyGetCount(), expected->KeyGetCount()) << bone << " " << path;
                for (int k = 0; k < curve->KeyGetCount(); ++k) {
                    EXPECT_EQ(curve->KeyGetTime(k), expected->KeyGetTime(k)) << bone << " " << path;
                    EXPECT_EQ(curve->KeyGetValue(k), expected->KeyGetValue(k)) << bone << " " << path;
                }
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 10);
    delete manager;
}

TEST(amc_reader, OneFrameKeepsEveryValue) {
    // A file of a single frame is a pose: every bone keeps the values of that frame, as keys that
    // hold for the whole take.
    KeepFilters keep;
    Imported imported;
    ASSERT_EQ(imported.ReadAmc(":FULLY-SPECIFIED\n:DEGREES\n1\n"
                               "root 0 10 0 10 20 30\nlfemur 10 20 30\nltibia 30\n"
                               "lfoot 1 90 90\nlowerback 5 6 7\n",
                               "pose"),
              -1)
        << imported.messages;
    VOxaNode* root = imported.Node("root");
    // The root's frame is the scene's: its values are the translation (in centimetres, 2.54 per
    // inch over the length unit 0.45) and the XYZ angles as written.
    const double rootT[3] = {0.0, 10.0 * kCm, 0.0}, rootR[3] = {10.0, 20.0, 30.0};
    for (int a = 0; a < 3; ++a) {
        EXPECT_NEAR(Value(root, "T", a, 0), rootT[a], 1e-4) << a;
        EXPECT_NEAR(Value(root, "R", a, 0), rootR[a], 1e-4) << a;
        EXPECT_NEAR(Value(imported.Node("lowerback"), "R", a, 0), 5.0 + a, 1e-4) << a;
    }
    // lfemur's frame is turned 20 degrees about z from its parent's: (10, 20, 30) reads (10, 20, 50).
    const double femurR[3] = {10.0, 20.0, 50.0};
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(Value(imported.Node("lfemur"), "R", a, 0), femurR[a], 1e-4) << a;
    EXPECT_NEAR(Value(imported.Node("ltibia"), "R", 0, 0), 30.0, 1e-4);
    for (const char* bone : {"root", "lfemur", "ltibia", "lfoot", "lowerback"}) {
        VFCurve* rx = Curve(imported.Node(bone), "Transform/R/X");
        ASSERT_NE(rx, nullptr) << bone;
        EXPECT_EQ(rx->KeyGetCount(), 1) << bone;
    }
    EXPECT_EQ(imported.scene->GetTakeInfo("pose")->mLocalTimeSpan.GetStop(), VTime(0));
}

TEST(amc_reader, AMissingRateIsSaidWithoutALine) {
    // Whatever the number of frames, a file without ":SAMPLES-PER-SECOND" is read at the default
    // 30 frames per second, and says so about the file, not about the last line read.
    KeepFilters keep;
    const std::string said =
        "AMC read warning: the file names no frame rate (:SAMPLES-PER-SECOND): its frames are read at 30 "
        "frames per second";
    for (const char* text : {"1\nltibia 1\n", "1\nltibia 1\n2\nltibia 2\n# end\n\n"}) {
        Imported imported;
        ASSERT_EQ(imported.ReadAmc(text, "rate"), -1) << imported.messages;
        EXPECT_NE(imported.messages.find(said), std::string::npos) << text << imported.messages;
        EXPECT_EQ(imported.messages.find("(line"), std::string::npos) << text << imported.messages;
    }
    Imported named;
    ASSERT_EQ(named.ReadAmc(":SAMPLES-PER-SECOND 30\n1\nltibia 1\n", "rate"), -1) << named.messages;
    EXPECT_EQ(named.messages.find("names no frame rate"), std::string::npos) << named.messages;
}

TEST(amc_reader, TwoFramesAreEnoughForCurves) {
    KeepFilters keep;
    Imported imported;
    // The second frame given whole: a fully specified file that ends inside a frame drops it.
    const std::string twoFrames =
        std::string(kMotion).substr(0, std::string(kMotion).find("4\n")) + "lowerback 5 6 7\n";
    ASSERT_EQ(imported.ReadAmc(twoFrames), -1) << imported.messages;
    VOxaNode* root = imported.Node("root");
    for (const char* path : {"Transform/T/X", "Transform/T/Y", "Transform/T/Z", "Transform/R/X",
                             "Transform/R/Y", "Transform/R/Z"}) {
        VFCurve* curve = Curve(root, path);
        ASSERT_NE(curve, nullptr) << path;
        ASSERT_EQ(curve->KeyGetCount(), 2) << path;
    }
    EXPECT_NEAR(Curve(root, "Transform/T/X")->KeyGetValue(1), 2.0 * kCm, 1e-4);
    VFCurve* femur = Curve(imported.Node("lfemur"), "Transform/R/X");
    ASSERT_NE(femur, nullptr);
    EXPECT_EQ(femur->KeyGetCount(), 2);
    EXPECT_NEAR(femur->KeyGetValue(1), 11.0, 1e-4);
}

TEST(amc_reader, AFullySpecifiedFrameTheFileEndsInsideIsDropped) {
    KeepFilters keep;
    // Two whole frames of the five bones with dofs, then a third cut after two bones, or inside
    // the line of its last bone.
    const std::string whole =
        ":FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND 120\n"
        "1\nroot 1 2 3 10 20 30\nlfemur 10 20 30\nltibia 30\nlfoot 1 90 90\nlowerback 5 6 7\n"
        "2\nroot 2 2 3 11 20 30\nlfemur 11 21 31\nltibia 31\nlfoot 2 80 90\nlowerback 6 6 7\n";
    const struct {
        std::string third;
        const char* warning;
    } cases[] = {
        {"3\nroot 3 2 3 12 20 30\nlfemur 12 22 32\n", "the file ends after 2 of the 5 bones of frame 3"},
        {"3\nroot 3 2 3 12 20 30\nlfemur 12 22 32\nltibia 32\nlfoot 3 70 85\nlowerback 7 6",
         "the file ends after 4 of the 5 bones of frame 3"},
        {"3\n", "the file ends after 0 of the 5 bones of frame 3"},
    };
    for (const auto& c : cases) {
        Imported imported;
        ASSERT_EQ(imported.ReadAmc(whole + c.third, "cut"), -1) << imported.error;
        EXPECT_NE(imported.messages.find(c.warning), std::string::npos) << imported.messages;
        EXPECT_NE(imported.messages.find("the frame is dropped"), std::string::npos) << imported.messages;
        // The keys and the take are those of frames 1 and 2.
        for (const char* bone : {"root", "lfemur", "lowerback"}) {
            VFCurve* rx = Curve(imported.Node(bone), "Transform/R/X");
            ASSERT_NE(rx, nullptr) << bone;
            EXPECT_EQ(rx->KeyGetCount(), 2) << bone << c.third;
        }
        EXPECT_EQ(imported.scene->GetTakeInfo("cut")->mLocalTimeSpan.GetStop(), kPeriod);
    }
    // Whole, or without the header that promises every bone in every frame, the third frame stays.
    for (const std::string& text :
         {whole + "3\nroot 3 2 3 12 20 30\nlfemur 12 22 32\nltibia 32\nlfoot 3 70 85\nlowerback 7 6 7\n",
          whole.substr(std::strlen(":FULLY-SPECIFIED\n")) + "3\nroot 3 2 3 12 20 30\nlfemur 12 22 32\n"}) {
        Imported imported;
        ASSERT_EQ(imported.ReadAmc(text, "kept"), -1) << imported.error;
        EXPECT_EQ(imported.messages.find("dropped"), std::string::npos) << imported.messages;
        EXPECT_EQ(Curve(imported.Node("lfemur"), "Transform/R/X")->KeyGetCount(), 3);
        EXPECT_EQ(imported.scene->GetTakeInfo("kept")->mLocalTimeSpan.GetStop(), kPeriod * 2);
    }
}

TEST(amc_reader, FewerFramesThanTheRangeNamesAreSaid) {
    // A range of 1-5 over a file of two frames: the two are read, with both counts; a range
    // that the frames fill, or a read asked for fewer, says nothing.
    KeepFilters keep;
    const std::string frames = "1\nltibia 1\n2\nltibia 2\n";
    const struct {
        std::string text;
        bool warned;
    } cases[] = {
        {":FRAME-RANGE 1-5\n" + frames, true}, {":FRAME-RANGE 1-2\n" + frames, false}, {frames, false}};
    for (const auto& c : cases) {
        Imported imported;
        VStreamOptionsMotion* header = nullptr;
        ASSERT_EQ(imported.ReadAmc(c.text, "range", &header), -1) << imported.messages;
        std::unique_ptr<VStreamOptionsMotion> owned(header);
        EXPECT_EQ(header->GetFrameCount(), 2) << c.text;
        EXPECT_EQ(imported.messages.find(
                      "the file holds 2 of the 5 frames its :FRAME-RANGE names: 2 frames are read") !=
                      std::string::npos,
                  c.warned)
            << c.text << imported.messages;
        EXPECT_EQ(Curve(imported.Node("ltibia"), "Transform/R/X")->KeyGetCount(), 2);
    }
}

TEST(amc_reader, ValuesUpToTheMagnitudeBound) {
    // With one ASF length unit per inch and degrees, file values map 1:1 and the bound is
    // 1e30 itself: a value of that magnitude is read, the next double above it is refused.
    KeepFilters keep;
    std::string asf = kAsfSample;
    asf.replace(asf.find("length 0.45"), 11, "length 2.54");
    for (const char* value : {"1e30", "-1e30"}) {
        Imported imported(asf);
        EXPECT_EQ(imported.ReadAmc(std::string("1\nltibia ") + value + "\n"), -1)
            << value << imported.messages;
    }
    char above[64];
    std::snprintf(above, sizeof above, "%.17g", std::nextafter(1e30, 2e30));
    Imported imported(asf);
    EXPECT_EQ(imported.ReadAmc(std::string("1\nltibia ") + above + "\n"), VOxaReader::eFILE_CORRUPTED)
        << above;
    // The value is named with its bone and frame, once.
    EXPECT_EQ(imported.messages,
              "File is corrupted: line 2: value 1 of bone ltibia at frame 1 lies beyond "
              "+-1e+30 (" +
                  std::string(above) + ")")
        << imported.messages;
}

TEST(amc_reader, RefusedInput) {
    KeepFilters keep;
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"1\nroot 0 0 0 0 0 0\nlknee 1\n", "Unknown bone name (lknee)"},
        {"1\nroot 0 0 0 0 0 0\nroot 1 1 1 1 1 1\n", "Unknown bone name (root)"},
        {"1\nltibia 1\nltibia 2\n", "Bone given twice in one frame (ltibia)"},
        {"2\nltibia 1\n1\nltibia 2\n", "Frame numbers must increase (1)"},
        {"1\nltibia 1\n1.5\nltibia 2\n", "The frame number 1.5 is not a whole number"},
        {"1\nltibia 1\n1e18\nltibia 2\n", "The frame number 1e18 is not a whole number"},
        {"1\nltibia 1\n0x2\nltibia 2\n", "The frame number 0x2 is not a whole number"},
        {"1\nltibia 1e300\n", "value 1 of bone ltibia at frame 1 lies beyond"},
        // Text that is not a finite number is refused, in a file of one frame as of many.
        {"1\nroot 0 0 nan 0 0 0\n", "value 3 of bone root is not a finite number (nan)"},
        {"1\nltibia inf\n", "value 1 of bone ltibia is not a finite number (inf)"},
        {"1\nltibia 1\n2\nlfemur 1 -Infinity 2\n",
         "value 2 of bone lfemur is not a finite number (-Infinity)"},
        {"1\nlfoot 1 abc 2\n", "value 2 of bone lfoot is not a finite number (abc)"},
        {":SAMPLES-PER-SECOND 120\n", "Unexpected end of file"},
    };
    for (const Case& c : cases) {
        Imported imported;
        EXPECT_EQ(imported.ReadAmc(c.text), VOxaReader::eFILE_CORRUPTED) << c.message;
        EXPECT_NE(imported.messages.find(c.message), std::string::npos) << c.message << "\n"
                                                                        << imported.messages;
    }
    // A line that is neither a keyword nor a frame number: the header scan refuses it.
    Imported imported;
    EXPECT_EQ(imported.ReadAmc("bogus\n"), VOxaReader::eFILE_CORRUPTED);

    // Without a skeleton on the options: "Stream options not set".
    VOxaReaderAcclaimAmc reader(imported.manager);
    ASSERT_TRUE(reader.FileOpen(AsfWriteFile("plain.amc", kMotion).c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    EXPECT_FALSE(reader.Read(imported.scene, options.get()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_STREQ(reader.GetError().GetLastErrorString().Buffer(), "Stream options not set");
}

TEST(amc_reader, RefusalsSayWhere) {
    KeepFilters keep;
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {":FULLY-SPECIFIED\n:DEGREES\n", "line 2: Unexpected end of file"},
        {"# made by hand\n:FORMAT OTHER\n1\n", "line 2: Unsupported DOF line format"},
        {":DEGREES\nbogus\n", "line 2: Frame number expected"},
        {":DEGREES\r\n1\r\nroot 0 0 0 0 0 0\r\nlknee 1\r\n", "line 4: Unknown bone name (lknee)"},
        {":DEGREES\n1\nroot 0 0 0 0 0 0\nltibia nan\n",
         "line 4: value 1 of bone ltibia is not a finite number (nan)"},
    };
    for (const auto& c : cases) {
        Imported imported;
        EXPECT_EQ(imported.ReadAmc(c.text), VOxaReader::eFILE_CORRUPTED) << c.text;
        EXPECT_EQ(imported.error, std::string("File is corrupted: ") + c.why) << c.text;
    }
    // A file without frames holds no motion, which is not an error.
    Imported imported;
    EXPECT_EQ(imported.ReadAmc(""), -1) << imported.error;
}

TEST(amc_writer, WriteFrameInvertsApplyFrame) {
    // Every dof order on a bone whose frame differs from its parent's: the values read, applied
    // and written back come out as they went in.
    const char* orders[] = {"rx ry rz", "rz ry rx", "ry rz rx", "rz rx ry",
                            "rx rz ry", "ry rx rz", "ry",       "rz rx"};
    for (const char* order : orders) {
        std::string text = kAsfSample;
        const std::string from = "    dof tx rz rx\n";
        text.replace(text.find(from), from.size(), std::string("    dof tx ty tz ") + order + "\n");
        VOxaAsfScene* scene = VOxaAsfScene::Create();
        {
            const std::string path = AsfWriteFile("invert.asf", text);
            VOxaFileAcclaimAsf file;
            ASSERT_TRUE(file.Open(path.c_str(), "r"));
            ASSERT_TRUE(file.Read(scene, true));
        }
        AsfBone* foot = scene->FindBone("lfoot");
        foot->CreateReadCurves();
        const double values[6] = {1.5, -2.0, 0.5, 25.0, -40.0, 15.0};
        foot->ApplyFrame(values, VTime(0), kCm, 1.0);
        // Bind the bone to curve nodes holding the keys it made.
        VFCurveNode* t = VFCurveNode::CreateFromName("T");
        VFCurveNode* r = VFCurveNode::CreateFromName("R");
        static const char* const kAxes[3] = {"X", "Y", "Z"};
        for (int a = 0; a < 3; ++a) {
            t->FindOrCreate(kAxes[a], false)->FCurveSet(foot->GetReadTranslation(a));
            r->FindOrCreate(kAxes[a], false)->FCurveSet(foot->GetReadRotation(a));
        }
        foot->ReleaseReadCurves();  // the curve nodes own them now
        foot->mBoundT = t;
        foot->mBoundR = r;
        const std::string path = AsfTestPath("invert.amc");
        VOxaFileAcclaimAmc file;
        ASSERT_TRUE(file.Open(path.c_str(), "w"));
        ASSERT_TRUE(file.WriteFrame(scene, VTime(0), 1, nullptr));
        ASSERT_TRUE(file.Close());
        const std::string written = AsfReadFile(path);
        const size_t at = written.find("lfoot  ");
        ASSERT_NE(at, std::string::npos) << written;
        double back[6];
        int n = std::sscanf(written.c_str() + at + 7, "%lf %lf %lf %lf %lf %lf", &back[0], &back[1], &back[2],
                            &back[3], &back[4], &back[5]);
        ASSERT_EQ(n, foot->mDofCount) << order;
        for (int i = 0; i < n; ++i)
            EXPECT_NEAR(back[i], values[i], 1e-3) << order << " dof " << i;
        delete t;
        delete r;
        scene->Destroy();
    }
}

TEST(amc_writer, RoundTripThroughTheScene) {
    KeepFilters keep;
    Imported first(kAsfSample, 0);
    ASSERT_EQ(first.ReadAmc(kMotion, "walk"), -1) << first.messages;
    VOxaNode* root = first.Node("root");
    root->SetMarked(1);

    // ASF then AMC out, with translation dofs on every bone.
    const std::string asfPath = AsfTestPath("out.asf");
    const std::string amcPath = AsfWriteFile("out.amc", "old");
    VOxaWriterAcclaimAsf asfWriter(first.manager);
    ASSERT_TRUE(asfWriter.FileCreate(asfPath.c_str()));
    std::unique_ptr<VStreamOptionsMotion> options(
        static_cast<VStreamOptionsMotion*>(asfWriter.GetWriteOptions()));
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    ASSERT_TRUE(asfWriter.Write(first.scene, options.get()))
        << asfWriter.GetError().GetLastErrorID() << asfWriter.GetError().GetLastErrorString().Buffer();
    ASSERT_TRUE(asfWriter.FileClose());

    VOxaWriterAcclaimAmc amcWriter(first.manager);
    std::unique_ptr<VStreamOptions> bare(amcWriter.GetWriteOptions());
    ASSERT_TRUE(amcWriter.FileCreate(amcPath.c_str()));
    EXPECT_FALSE(amcWriter.Write(first.scene, bare.get()));
    EXPECT_EQ(amcWriter.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);
    options->SetTimeMode(0, 120.0);
    options->SetFrameCount(4);
    options->SetStartTime(VTime(0));
    options->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE, 1);
    ASSERT_TRUE(amcWriter.Write(first.scene, options.get()));
    ASSERT_TRUE(amcWriter.FileClose());
    const std::string text = AsfReadFile(amcPath);
    EXPECT_EQ(
        text.rfind(":SAMPLES-PER-SECOND 120\n:FRAME-RANGE 0-3\n:FULLY-SPECIFIED\n:DEGREES\n1\nroot  ", 0), 0u)
        << text.substr(0, 200);
    EXPECT_NE(text.find("\n4\nroot  "), std::string::npos);

    // Both read back into a fresh scene: every node moves as before.
    Imported second(AsfReadFile(asfPath), 0);
    ASSERT_EQ(second.ReadAmc(text, "again"), -1) << second.messages;
    for (const char* name : {"root", "lfemur", "ltibia", "lfoot", "lowerback"}) {
        VOxaNode* a = first.Node(name);
        VOxaNode* b = second.Node(name);
        ASSERT_NE(b, nullptr) << name;
        for (int frame = 0; frame < 4; ++frame) {
            const VTime time = kPeriod * frame;
            for (int axis = 0; axis < 3; ++axis) {
                EXPECT_NEAR(Value(b, "T", axis, time), Value(a, "T", axis, time), 2e-3)
                    << name << frame << axis;
                EXPECT_NEAR(Value(b, "R", axis, time), Value(a, "R", axis, time), 2e-3)
                    << name << frame << axis;
            }
        }
    }
}

TEST(amc_writer, ValuesItsReaderWouldRefuseAreRefused) {
    // The ASF writer's length unit is 1 (inches): a file value v is read as v x 2.54 cm, which the
    // reader takes up to 1e30 - so the writer writes at most 1e30 / 2.54 inches. A root 1.9e30 cm
    // away at frame 2 (7.5e29 inches in the file) is refused, naming the node and the frame, and
    // the target stays; 9.9e29 cm (3.9e29 inches) is written and reads back.
    KeepFilters keep;
    for (const double centimetres : {1.9e30, 9.9e29}) {
        Imported first(kAsfSample, 0);
        ASSERT_EQ(first.ReadAmc(kMotion, "walk"), -1) << first.messages;
        VOxaNode* root = first.Node("root");
        root->SetMarked(1);
        Curve(root, "Transform/T/X")->KeySetValue(1, (float)centimetres);
        const std::string asfPath = AsfTestPath("far.asf");
        const std::string amcPath = AsfWriteFile("far.amc", "old");
        VOxaWriterAcclaimAsf asfWriter(first.manager);
        ASSERT_TRUE(asfWriter.FileCreate(asfPath.c_str()));
        std::unique_ptr<VStreamOptionsMotion> options(
            static_cast<VStreamOptionsMotion*>(asfWriter.GetWriteOptions()));
        ASSERT_TRUE(asfWriter.Write(first.scene, options.get()));
        ASSERT_TRUE(asfWriter.FileClose());
        options->SetTimeMode(0, 120.0);
        options->SetFrameCount(3);
        options->SetStartTime(VTime(0));
        VOxaWriterAcclaimAmc amcWriter(first.manager);
        ASSERT_TRUE(amcWriter.FileCreate(amcPath.c_str()));
        const bool written = amcWriter.Write(first.scene, options.get());
        amcWriter.FileClose();
        if (centimetres > 1e30) {
            EXPECT_FALSE(written);
            const std::string error = amcWriter.GetError().GetLastErrorString().Buffer();
            EXPECT_NE(error.find("\"root\" has a value beyond +-3.937e+29 at frame 2"), std::string::npos)
                << error;
            EXPECT_EQ(AsfReadFile(amcPath), "old");
            continue;
        }
        ASSERT_TRUE(written) << amcWriter.GetError().GetLastErrorString().Buffer();
        Imported second(AsfReadFile(asfPath), 0);
        ASSERT_EQ(second.ReadAmc(AsfReadFile(amcPath), "far"), -1) << second.messages;
        EXPECT_NEAR(Value(second.Node("root"), "T", 0, kPeriod) / centimetres, 1.0, 1e-5);
    }
}

TEST(amc_writer, FailedWriteKeepsTheTarget) {
    KeepFilters keep;
    Imported imported(kAsfSample, 0);
    ASSERT_EQ(imported.ReadAmc(kMotion, "walk"), -1);
    imported.Node("root")->SetMarked(1);
    VOxaWriterAcclaimAsf asfWriter(imported.manager);
    ASSERT_TRUE(asfWriter.FileCreate(AsfTestPath("full.asf").c_str()));
    std::unique_ptr<VStreamOptionsMotion> options(
        static_cast<VStreamOptionsMotion*>(asfWriter.GetWriteOptions()));
    ASSERT_TRUE(asfWriter.Write(imported.scene, options.get()));
    ASSERT_TRUE(asfWriter.FileClose());
    options->SetFrameCount(2000);
    const std::string path = AsfWriteFile("full.amc", "old");
    VOxaWriterAcclaimAmc writer(imported.manager);
    oxa_test::FileSizeLimit limit(4096);
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    const bool wrote = writer.Write(imported.scene, options.get());
    const bool closed = writer.FileClose();
    limit.Lift();
    EXPECT_FALSE(wrote && closed);
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_EQ(AsfReadFile(path), "old");
}

TEST(amc_reader, AFrameThatLeavesOutABoneIsSaid) {
    // ltibia is given in frames 1 and 4 only, lfemur from frame 2 on: each is said once, with
    // the first frame it lacks; ltibia keeps only the keys of the frames that give it.
    KeepFilters keep;
    Imported imported;
    ASSERT_EQ(imported.ReadAmc(":FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND 30\n"
                               "1\nroot 0 0 0 0 0 0\nltibia 10\n"
                               "2\nroot 0 0 0 0 0 0\nlfemur 1 2 3\n"
                               "3\nroot 0 0 0 0 0 0\nlfemur 1 2 3\n"
                               "4\nroot 0 0 0 0 0 0\nlfemur 1 2 3\nltibia 40\n",
                               "gaps"),
              -1)
        << imported.messages;
    const std::string tibia =
        "bone ltibia has no line in frame 2: its values there are interpolated from the "
        "frames around it";
    const size_t at = imported.messages.find(tibia);
    EXPECT_NE(at, std::string::npos) << imported.messages;
    EXPECT_EQ(imported.messages.find(tibia, at + 1), std::string::npos) << imported.messages;
    EXPECT_NE(imported.messages.find("bone lfemur has no line before frame 2"), std::string::npos)
        << imported.messages;
    EXPECT_EQ(imported.messages.find("bone lfoot"), std::string::npos) << imported.messages;
    VFCurve* rx = Curve(imported.Node("ltibia"), "Transform/R/X");
    ASSERT_NE(rx, nullptr);
    EXPECT_EQ(rx->KeyGetCount(), 2);
}

TEST(amc_reader, FramesWithoutBoneLinesAreSaid) {
    // Frames that give no bone at all leave the whole skeleton in its rest pose: said once.
    {
        KeepFilters keep;
        Imported imported;
        ASSERT_EQ(imported.ReadAmc(":FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND 30\n1\n2\n3\n", "empty"),
                  -1)
            << imported.messages;
        EXPECT_NE(
            imported.messages.find("the file's 3 frames give no bone lines: every bone keeps its rest pose"),
            std::string::npos)
            << imported.messages;
    }
    // Frames that give the root only leave the other bones in their rest pose: counted, with the
    // first of them.
    {
        KeepFilters keep;
        Imported imported;
        ASSERT_EQ(imported.ReadAmc(":DEGREES\n:SAMPLES-PER-SECOND 30\n1\nroot 0 0 0 0 0 0\n", "root"), -1)
            << imported.messages;
        EXPECT_NE(
            imported.messages.find("bones with degrees of freedom have no line in any frame (the first is "),
            std::string::npos)
            << imported.messages;
        EXPECT_EQ(imported.messages.find("give no bone lines"), std::string::npos) << imported.messages;
    }
}
