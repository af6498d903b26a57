// Scenes built in code that the motion writers wrote as files their readers refuse, or refused
// without saying why: joint and marker names that repeat, more markers than the readers take, ASF
// trees and bone lengths the ASF reader refuses. What is written is read by the independent
// readers (mocap.py, extra.py) and each named point compared with the scene's own evaluation;
// what is refused says why and leaves the former file as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_skeleton.h"
#include "formats/motion/voxa_motion_export.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/corpus.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

const int kFrames = 6;

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("built_scenes_");
    return folder + name;
}

VTime Frame(int f) {
    VTime t;
    t.SetSecondDouble(f / 30.0);
    return t;
}

void Keys(VFCurve* curve, double first, double step) {
    curve->KeyModifyBegin();
    curve->ResizeKeyBuffer(kFrames);
    for (int f = 0; f < kFrames; ++f)
        curve->KeySet(f, Frame(f), (float)(first + step * f), VFCurveKey::eInterpolationLinear, 0u);
    curve->KeyModifyEnd();
}

// The messages a writer showed, one a line.
std::string gShown;
int KeepShown(const char*, const char* text, const char*, const char*, const char*, void*) {
    gShown += std::string(text ? text : "") + "\n";
    return 1;
}

struct Outcome {
    bool written = false;
    std::string error;
};

struct Rig {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    std::unique_ptr<VStreamOptions> asfOptions;  // they hold the skeleton an AMC write needs
    ~Rig() {
        asfOptions.reset();
        delete manager;
    }

    VOxaNode* Joint(const char* name, VOxaNode* parent, const VgeTVector& at) {
        VOxaNode* node = manager->CreateNode(name);
        node->SetNodeAttribute(manager->CreateSkeleton());
        parent->AddChild(node);
        node->SetLclTranslation(at);
        return node;
    }

    // Writes the scene as VOxaPrepareMotionExport prepares it; an AMC write takes the skeleton the
    // ASF write before it left.
    Outcome Write(const std::string& path) {
        gShown.clear();
        VOxaExporter* exporter = manager->CreateExporter();
        const int format = VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()));
        EXPECT_TRUE(exporter->Initialize(path.c_str()) && exporter->SetFileFormat(format)) << path;
        std::unique_ptr<VStreamOptions> options(exporter->GetWriteOptions());
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        motion->SetMessageCallback(&KeepShown);
        if (asfOptions && path.size() > 4 && path.compare(path.size() - 4, 4, ".amc") == 0)
            motion->SetAttachedObject(
                static_cast<VStreamOptionsMotion*>(asfOptions.get())->GetAttachedObject(), false);
        Outcome outcome;
        VString why;
        if (!VOxaPrepareMotionExport(scene, format, motion, nullptr, &why)) {
            outcome.error = why.Buffer();
        } else {
            outcome.written = exporter->Export(scene, motion);
            if (!outcome.written) outcome.error = exporter->GetError().GetLastErrorString().Buffer();
            // The marker writers give their notes as the exporter's message text.
            gShown += exporter->GetMessageText().Buffer();
        }
        manager->DestroyExporter(exporter);
        if (path.size() > 4 && path.compare(path.size() - 4, 4, ".asf") == 0) asfOptions = std::move(options);
        return outcome;
    }
};

// True when our own reader reads the file with its default options (which refuse names that
// repeat).
bool ReadsBack(const std::string& path) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    std::unique_ptr<VOxaReader> reader(
        VOxaGetReaderFormat(VOxaFindReaderFormat(VOxaGetFileExtension(path.c_str())))->mCreate(manager));
    bool read = reader->FileOpen(path.c_str());
    if (read) {
        std::unique_ptr<VStreamOptions> options(reader->GetReadOptions());
        read = options && reader->Read(manager->CreateScene(), options.get());
        reader->FileClose();
    }
    reader.reset();
    delete manager;
    return read;
}

// ---- the independent readers ----

fs::path Oracles() {
    if (const char* set = std::getenv("OXA_SHARED_DIR")) return fs::path(set) / "tools" / "oracles";
    const fs::path root = fs::path(OXA_TEST_DATA_DIR).parent_path().parent_path();
    for (const fs::path& candidate : {root / ".." / "shared", root / ".." / ".." / "shared"}) {
        std::error_code error;
        if (fs::is_regular_file(candidate / "tools" / "oracles" / "mocap.py", error))
            return candidate / "tools" / "oracles";
    }
    return {};
}

// Every point of every frame as the independent readers place it, in scene coordinates and
// centimetres: "name frame x y z" lines.
const char* const kPoints = R"(import sys
sys.path.insert(0, sys.argv[1])
from compare import scene_points
from extra import read_any2
m = read_any2(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
frames, _ = scene_points(m)
cm = (m.unit_mm or 10.0) / 10.0
for f, frame in enumerate(frames):
    for n, p in zip(m.names, frame):
        if p is not None: print(repr(n), f, p[0] * cm, p[1] * cm, p[2] * cm)
)";

using Track = std::vector<VgeTVector>;  // a point's place per frame

class BuiltScenes : public ::testing::Test {
protected:
    void SetUp() override {
        mOracles = Oracles();
        if (mOracles.empty())
            GTEST_SKIP() << "the independent readers (../shared/tools/oracles) are not here";
        if (corpustest::RunProgram({"python3", "-c", "pass"}).status != 0) GTEST_SKIP() << "no python3";
        mScript = TempPath("points.py");
        oxa_test::WriteFile(mScript, kPoints);
    }

    // The points of `path` by the name the file gives them; empty (with a failure) when the
    // readers fail.
    std::map<std::string, Track> Points(const std::string& path, const std::string& skeleton = "") {
        std::vector<std::string> argv{"python3", mScript, mOracles.string(), path};
        if (!skeleton.empty()) argv.push_back(skeleton);
        const corpustest::RunResult r = corpustest::RunProgram(argv, 120);
        std::map<std::string, Track> points;
        EXPECT_EQ(r.status, 0) << path << ": " << r.output.substr(0, 800);
        if (r.status != 0) return points;
        std::istringstream lines(r.output);
        for (std::string line; std::getline(lines, line);) {
            // The name as Python's repr gives it: quoted, no quote inside in these scenes.
            const size_t end = line.find(line[0], 1);
            std::istringstream rest(line.substr(end + 1));
            int frame = 0;
            double x = 0, y = 0, z = 0;
            rest >> frame >> x >> y >> z;
            Track& track = points[line.substr(1, end - 1)];
            track.resize((size_t)frame + 1);
            track[(size_t)frame] = VgeTVector(x, y, z, 0.0);
        }
        return points;
    }

    // `name` is in `points` where `node` is in the scene at every frame.
    static void ExpectTrack(const std::map<std::string, Track>& points, const std::string& name,
                            VOxaNode* node, const std::string& file) {
        const auto found = points.find(name);
        ASSERT_NE(found, points.end()) << file << " has no point " << name;
        ASSERT_EQ(found->second.size(), (size_t)kFrames) << file << ": " << name;
        for (int f = 0; f < kFrames; ++f) {
            const VgeAMatrix& m = node->EvaluateGlobalTransform(Frame(f));
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(found->second[(size_t)f][a], m.mData[3][a], 1e-3)
                    << file << ": " << name << " frame " << f << " axis " << a;
        }
    }

    fs::path mOracles;
    std::string mScript;
};

// Hips > (Spine > Head, Arm, Arm) keyed over six frames, and a second "Hips" below Head: two
// pairs of joints with one name each, each of the pair in its own place.
struct Repeats : Rig {
    VOxaNode *hips, *spine, *head, *arm, *arm2, *hips2;
    Repeats() {
        hips = Joint("Hips", scene->GetRootNode(), VgeTVector(0, 90, 0, 1));
        spine = Joint("Spine", hips, VgeTVector(0, 10, 0, 1));
        head = Joint("Head", spine, VgeTVector(0, 5, 0, 1));
        hips2 = Joint("Hips", head, VgeTVector(0, 3, 1, 1));
        arm = Joint("Arm", hips, VgeTVector(5, 8, 0, 1));
        arm2 = Joint("Arm", hips, VgeTVector(-5, 8, 0, 1));
        Keys(hips->GetDefaultTakeNode()->GetTranslationX(), 0, 2);
        Keys(hips->GetDefaultTakeNode()->GetTranslationY(), 90, 0);
        Keys(hips->GetDefaultTakeNode()->GetTranslationZ(), 0, 0);
        Keys(spine->GetDefaultTakeNode()->GetEulerRotationZ(), 0, 9);
        Keys(arm2->GetDefaultTakeNode()->GetEulerRotationX(), 0, 12);
    }
};

TEST_F(BuiltScenes, SkeletonFormatsNumberTheLaterOfJointsThatShareAName) {
    Repeats rig;
    for (const char* format : {"bvh", "htr", "asf", "amc"}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath(std::string("repeats.") + format);
        const Outcome outcome = rig.Write(path);
        ASSERT_TRUE(outcome.written) << outcome.error;
        if (std::string(format) == "asf") {
            // The bones the AMC file moves; our reader takes names that repeat for a broken file.
            EXPECT_TRUE(ReadsBack(path));
            EXPECT_NE(gShown.find("Node \"Arm\" is written as \"Arm_2\": two nodes are named \"Arm\""),
                      std::string::npos)
                << gShown;
            continue;
        }
        if (std::string(format) != "amc") {
            EXPECT_TRUE(ReadsBack(path));
            EXPECT_NE(gShown.find("Two nodes are named \"Arm\"; the later one is written as \"Arm_2\"."),
                      std::string::npos)
                << gShown;
        }
        const auto points = Points(path, std::string(format) == "amc" ? TempPath("repeats.asf") : "");
        // The AMC root bone is "root": the second "Hips" keeps its name there.
        const bool amc = std::string(format) == "amc";
        ExpectTrack(points, amc ? "root" : "Hips", rig.hips, path);
        ExpectTrack(points, amc ? "Hips" : "Hips_2", rig.hips2, path);
        ExpectTrack(points, "Arm", rig.arm, path);
        ExpectTrack(points, "Arm_2", rig.arm2, path);
        ExpectTrack(points, "Head", rig.head, path);
    }
}

TEST_F(BuiltScenes, MarkerFormatsNumberTheLaterOfMarkersThatShareAName) {
    Repeats rig;
    // Alike too once a TRC reader reads the blank back as '_'.
    rig.Joint("Left_Arm", rig.hips, VgeTVector(4, 8, 0, 1));
    rig.Joint("Left Arm", rig.hips, VgeTVector(3, 8, 0, 1));
    for (const char* format : {"trc", "c3d", "vpm"}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath(std::string("repeats.") + format);
        const Outcome outcome = rig.Write(path);
        ASSERT_TRUE(outcome.written) << outcome.error;
        EXPECT_TRUE(ReadsBack(path));
        EXPECT_NE(gShown.find("Two nodes are named \"Arm\"; the later one is written as \"Arm_2\"."),
                  std::string::npos)
            << gShown;
        const auto points = Points(path);
        ExpectTrack(points, "Hips", rig.hips, path);
        ExpectTrack(points, "Hips_2", rig.hips2, path);
        ExpectTrack(points, "Arm", rig.arm, path);
        ExpectTrack(points, "Arm_2", rig.arm2, path);
    }
}

// Names alike but for letter case are distinct names: they are written as they are.
TEST_F(BuiltScenes, NamesThatDifferInCaseAreKept) {
    Repeats rig;
    rig.arm2->SetName("arm");
    for (const char* format : {"bvh", "htr", "trc", "c3d"}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath(std::string("case.") + format);
        ASSERT_TRUE(rig.Write(path).written);
        const auto points = Points(path);
        ExpectTrack(points, "Arm", rig.arm, path);
        ExpectTrack(points, "arm", rig.arm2, path);
    }
}

// ---- counts and trees the readers refuse ----

TEST(BuiltSceneLimits, MoreMarkersThanTheReadersTakeAreRefusedWithTheReason) {
    Rig rig;
    VOxaNode* reference = rig.manager->CreateNode("Reference");
    rig.scene->GetRootNode()->AddChild(reference);
    for (int k = 0; k < 65536; ++k) {
        VOxaNode* node = rig.manager->CreateNode(("M" + std::to_string(k)).c_str());
        node->SetNodeAttribute(rig.manager->CreateSkeleton());
        node->SetLclTranslation(VgeTVector(k, 1, 0, 1));
        reference->AddChild(node);
    }
    Keys(reference->GetChild(0)->GetDefaultTakeNode()->GetTranslationX(), 0, 1);
    // The ASF writer first: it marks the fork above the markers as its root.
    for (const char* format : {"asf", "trc", "c3d", "aoa", "mcd", "brd", "mov", "vpm"}) {
        SCOPED_TRACE(format);
        const std::string path = TempPath(std::string("many.") + format);
        oxa_test::WriteFile(path, "old");
        const Outcome outcome = rig.Write(path);
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.error,
                  std::string(format) == "asf"
                      ? "The skeleton needs more than the 65536 bones an ASF file may hold."
                      : "65536 markers or joints to write, more than the 65535 a marker file holds");
        EXPECT_EQ(oxa_test::ReadFile(path), "old");
        // The marker writers write every marked node.
        reference->SetMarked(0);
    }
    // As many as they take are written.
    rig.manager->DestroyNode(reference->GetChild(65535), false);
    const Outcome outcome = rig.Write(TempPath("many_enough.aoa"));
    EXPECT_TRUE(outcome.written) << outcome.error;
    EXPECT_TRUE(ReadsBack(TempPath("many_enough.aoa")));
}

TEST(BuiltSceneLimits, AsfRefusalsSayWhy) {
    // A chain as deep as the reader nests is written and reads back; one joint more is refused.
    for (const int joints : {1000, 1001}) {
        Rig rig;
        VOxaNode* node = rig.scene->GetRootNode();
        for (int k = 0; k < joints; ++k)
            node = rig.Joint(("J" + std::to_string(k)).c_str(), node, VgeTVector(0, 1, 0, 1));
        const std::string path = TempPath("deep" + std::to_string(joints) + ".asf");
        const Outcome outcome = rig.Write(path);
        if (joints == 1000) {
            EXPECT_TRUE(outcome.written) << outcome.error;
            EXPECT_TRUE(ReadsBack(path));
            continue;
        }
        EXPECT_FALSE(outcome.written);
        EXPECT_EQ(outcome.error, "The skeleton is deeper than the 1000 bones an ASF file may nest.");
        EXPECT_FALSE(fs::exists(path));
    }
    // Names the files cannot hold: the error object says which, not "Unidentified error".
    Repeats rig;
    rig.arm2->SetName("Left Arm");
    Outcome outcome = rig.Write(TempPath("blank.asf"));
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error.rfind("Spaces are not allowed in ASF node names:\n    ", 0), 0u) << outcome.error;
    EXPECT_NE(outcome.error.find("Left Arm"), std::string::npos) << outcome.error;
    rig.arm2->SetName("a,b");
    outcome = rig.Write(TempPath("comma.asf"));
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.error.rfind("Names that cannot be written to ASF and AMC files", 0), 0u)
        << outcome.error;
    EXPECT_NE(outcome.error.find("\n    a,b"), std::string::npos) << outcome.error;
    EXPECT_FALSE(fs::exists(TempPath("blank.asf")));
    EXPECT_FALSE(fs::exists(TempPath("comma.asf")));
}

// The ASF reader turns a bone length into centimetres and refuses one beyond 1e30: a length the
// writer would put just inside the file's own bound reads back beyond it.
TEST_F(BuiltScenes, AsfBoneLengthsThatWouldReadBackTooLargeAreRefused) {
    Rig rig;
    VOxaNode* hips = rig.Joint("Hips", rig.scene->GetRootNode(), VgeTVector(0, 0, 0, 1));
    VOxaNode* spine = rig.Joint("Spine", hips, VgeTVector(0, 1e30, 0, 1));
    Keys(hips->GetDefaultTakeNode()->GetTranslationX(), 0, 1);
    oxa_test::WriteFile(TempPath("long.asf"), "old");
    const Outcome outcome = rig.Write(TempPath("long.asf"));
    EXPECT_FALSE(outcome.written);
    EXPECT_NE(outcome.error.find("has a value beyond +-3.937e+29"), std::string::npos) << outcome.error;
    EXPECT_EQ(oxa_test::ReadFile(TempPath("long.asf")), "old");

    // A little shorter, it is written and read back where the scene has it.
    spine->SetLclTranslation(VgeTVector(0, 9.9e29, 0, 1));
    ASSERT_TRUE(rig.Write(TempPath("long.asf")).written);
    EXPECT_TRUE(ReadsBack(TempPath("long.asf")));
    ASSERT_TRUE(rig.Write(TempPath("long.amc")).written);
    const auto points = Points(TempPath("long.amc"), TempPath("long.asf"));
    const auto found = points.find("Spine");
    ASSERT_NE(found, points.end());
    EXPECT_NEAR(found->second[0][1] / 9.9e29, 1.0, 1e-6);
}

}  // namespace
