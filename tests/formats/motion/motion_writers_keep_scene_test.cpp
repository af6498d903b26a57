// Motion writers and the caller's scene: a skeleton with pivots, pre-rotations, a rotation offset,
// orders other than XYZ and animation in two takes, written to every motion format, is the same
// scene afterwards (pivot sets, properties, the very curve objects and their keys, evaluation),
// whether the write succeeds or runs out of memory midway; and the files still hold the motion
// the pivots give.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_skeleton.h"
#include "base/vallocation_hook.h"
#include "objects/vproperty.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace {

const int kFrames = 13;  // at 30 frames per second, the pivot conversion's own rate
const double kPi = 3.14159265358979323846;

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("keep_scene_");
    return folder + name;
}

VTime Frame(int f) {
    VTime t;
    t.SetSecondDouble(f / 30.0);
    return t;
}

void LinearKeys(VFCurve* curve, double first, double step) {
    curve->KeyModifyBegin();
    curve->ResizeKeyBuffer(kFrames);
    for (int f = 0; f < kFrames; ++f)
        curve->KeySet(f, Frame(f), (float)(first + step * f), VFCurveKey::eInterpolationLinear, 0u);
    curve->KeyModifyEnd();
}

// Hips > Spine > Head, every node marked. Hips turns about Z only (so that its motion has a closed
// form) about a rotation pivot, with a pre-rotation and a rotation offset, order ZYX; Spine turns
// about X and Y in order YXZ after a pre-rotation of its own. Both pivot sets carry values. A mesh
// below Hips, not written, has a geometric translation.
struct Rig {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaNode* hips = nullptr;
    VOxaNode* spine = nullptr;
    VOxaNode* head = nullptr;
    VOxaNode* skin = nullptr;

    Rig() {
        hips = Joint("Hips", scene->GetRootNode());
        spine = Joint("Spine", hips);
        head = Joint("Head", spine);
        skin = manager->CreateNode("Skin");
        hips->AddChild(skin);
        VOxaMesh* mesh = manager->CreateMesh();
        skin->SetNodeAttribute(mesh);
        mesh->InitControlPoints(1);
        mesh->GetControlPoints()[0] = VgeTVector(1, 2, 3, 1);
        skin->SetPivotState(0, 0);
        skin->SetGeometricTranslation(0, VgeTVector(0, 0, 4, 1));
        spine->SetLclTranslation(VgeTVector(2, 0, 0, 1));
        head->SetLclTranslation(VgeTVector(0, 3, 0, 1));

        hips->SetRotationOrder(0, eEULER_ZYX);
        hips->SetPreRotation(0, VgeTVector(0, 0, 90, 1));
        hips->SetRotationPivot(0, VgeTVector(1, 0, 0, 1));
        hips->SetRotationOffset(0, VgeTVector(0, 5, 0, 1));
        hips->SetPivotState(1, 0);
        hips->SetRotationPivot(1, VgeTVector(0, 0, 7, 1));
        hips->SetPreRotation(1, VgeTVector(10, 0, 0, 1));
        spine->SetRotationOrder(0, eEULER_YXZ);
        spine->SetPreRotation(0, VgeTVector(30, 0, 0, 1));
        spine->SetPostRotation(1, VgeTVector(0, 5, 0, 1));

        // The "Walk" take is played; the default take's curves, keyed too, drive the properties.
        for (VOxaNode* node : {hips, spine, head})
            node->AddTakeNode("Walk");
        LinearKeys(hips->GetDefaultTakeNode()->GetTranslationY(), 1.0, 0.5);
        VOxaTakeNode* walk = hips->GetTakeNode(1);
        LinearKeys(walk->GetTranslationX(), 0.0, 1.0);
        LinearKeys(walk->GetEulerRotationZ(), 0.0, 10.0);
        LinearKeys(spine->GetTakeNode(1)->GetEulerRotationX(), -20.0, 6.0);
        LinearKeys(spine->GetTakeNode(1)->GetEulerRotationY(), 15.0, -4.0);
        for (VOxaNode* node : {hips, spine, head})
            node->SetCurrentTakeNode(1);
    }
    ~Rig() { delete manager; }

    VOxaNode* Joint(const char* name, VOxaNode* parent) {
        VOxaNode* node = manager->CreateNode(name);
        node->SetNodeAttribute(manager->CreateSkeleton());
        parent->AddChild(node);
        node->SetMarked(1);
        node->SetRotationActive(true);
        node->SetPivotState(0, 0);
        return node;
    }
};

// Everything of a node a caller can read that a write might touch, as text: pivot sets, property
// values, every curve of every take (its address, default and keys), and the global matrices at
// some frames.
std::string Describe(VOxaNode* node) {
    std::ostringstream out;
    out.precision(17);
    out << node->GetName() << " mark " << node->IsMarked() << " children " << node->GetChildCount() << "\n";
    if (VOxaMesh* mesh = node->GetMesh())
        for (int i = 0; i < mesh->GetControlPointsCount(); ++i)
            out << "point " << mesh->GetControlPoints()[i][0] << " " << mesh->GetControlPoints()[i][1] << " "
                << mesh->GetControlPoints()[i][2] << "\n";
    for (int set = 0; set < 2; ++set) {
        VgeTVector g;
        ERotationOrder order;
        int state = -1;
        node->GetRotationOrder(set, order);
        node->GetPivotState(set, state);
        out << "set " << set << " order " << order << " state " << state << " limits "
            << node->GetUseRotationSpaceForLimitOnly(set);
        for (const VgeTVector& v :
             {node->GetRotationOffset(set), node->GetRotationPivot(set),
              node->GetRotationPivotUpdateOffset(set), node->GetPreRotation(set), node->GetPostRotation(set),
              node->GetScalingOffset(set), node->GetScalingPivot(set), node->GetScalingPivotUpdateOffset(set),
              node->GetGeometricTranslation(set, g), node->GetGeometricRotation(set, g),
              node->GetGeometricScaling(set, g)})
            out << " (" << v[0] << " " << v[1] << " " << v[2] << ")";
        out << "\n";
    }
    VArrayTemplate<VProperty*> properties;
    node->FillPropertyArray(properties);
    for (int i = 0; i < properties.GetCount(); ++i) {
        double values[4] = {0, 0, 0, 0};
        const int count = properties[i]->GetValue(values);
        out << properties[i]->GetName() << ":";
        for (int k = 0; k < count && k < 4; ++k)
            out << " " << values[k];
        out << "\n";
    }
    for (int t = 0; t < node->GetTakeNodeCount(); ++t) {
        out << "take " << node->GetTakeNodeName(t) << "\n";
        std::vector<std::pair<VFCurveNode*, std::string>> stack{{node->GetTakeNode(t)->GetVFCurveNode(), ""}};
        while (!stack.empty()) {
            auto [curveNode, path] = stack.back();
            stack.pop_back();
            path += std::string("/") + curveNode->GetName();
            if (const VFCurve* curve = curveNode->FCurveGet()) {
                out << path << " @" << (const void*)curve << " default " << curve->GetDefaultValue();
                for (int k = 0; k < curve->KeyGetCount(); ++k)
                    out << " " << curve->KeyGetTime(k).Get() << ":" << curve->KeyGetValue(k);
                out << "\n";
            }
            for (int c = curveNode->GetCount() - 1; c >= 0; --c)
                stack.push_back({curveNode->Get(c), path});
        }
    }
    for (int f : {0, 5, 12}) {
        const VgeAMatrix& m = node->EvaluateGlobalTransform(Frame(f));
        out << "global " << f << ":";
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 3; ++c)
                out << " " << m.mData[r][c];
        out << "\n";
    }
    return out.str();
}

// A node's stamped record: the local parts and global matrix of the last stamped pass, and its
// stamp when asked for.
std::string DescribeStamped(VOxaNode* node, bool stamp = true) {
    std::ostringstream out;
    out.precision(17);
    const VOxaStampedTransform& stamped = node->GetStampedTransform();
    out << "stamped";
    if (stamp) out << " " << stamped.mStamp;
    out << ":";
    for (int k = 0; k < 3; ++k)
        out << " " << stamped.mLocalTranslation[k] << " " << stamped.mLocalRotationAngles[k];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out << " " << stamped.mGlobalMatrix.mData[r][c];
    return out.str() + "\n";
}

std::string Describe(const Rig& rig) {
    // A stamped pass as a caller runs it, with a stamp of its own, at the last frame: the time a
    // writer evaluates last, so that the caller's evaluation there meets nothing the writer left.
    static int stamp = 100;
    rig.hips->UpdateLocalTRS(Frame(kFrames - 1), true);
    rig.hips->UpdateGlobalTransform(++stamp, true);
    std::string text;
    for (VOxaNode* node : {rig.hips, rig.spine, rig.head, rig.skin})
        text += Describe(node) + DescribeStamped(node, false);
    return text;
}

std::string DescribeStamped(const Rig& rig) {
    return DescribeStamped(rig.hips) + DescribeStamped(rig.spine) + DescribeStamped(rig.head);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

VStreamOptionsMotion* Motion(VStreamOptions* options) {
    return static_cast<VStreamOptionsMotion*>(options);
}

// Writes the rig to `path` with the writer its extension picks, 13 frames at 30 per second; the
// marker writers place each marker where it is in the world. An AMC file is written after its
// ASF file, whose skeleton it needs.
bool Write(Rig& rig, const std::string& path, std::string* error) {
    const std::string extension = VOxaGetFileExtension(path.c_str());
    std::vector<VStreamOptions*> kept;
    auto write = [&](const std::string& file, VPlug* skeleton) {
        VOxaExporter* exporter = rig.manager->CreateExporter();
        const bool made = exporter->Initialize(file.c_str()) &&
                          exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(file.c_str())));
        EXPECT_TRUE(made) << file;
        VStreamOptions* options = exporter->GetWriteOptions();
        kept.push_back(options);
        VStreamOptionsMotion* motion = Motion(options);
        motion->SetTimeMode(0, 30.0);
        motion->SetStartTime(VTime(0));
        motion->SetFrameCount(kFrames);
        motion->SetOption(
            VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION,
            extension == "bvh" || extension == "htr" || extension == "asf" || extension == "amc" ? 0 : 1);
        if (skeleton) motion->SetAttachedObject(skeleton, false);
        const bool ok = made && exporter->Export(rig.scene, options);
        if (!ok && error) *error = exporter->GetError().GetLastErrorString().Buffer();
        rig.manager->DestroyExporter(exporter);
        return ok;
    };
    bool ok;
    if (extension == "amc") {
        ok = write(path.substr(0, path.size() - 3) + "asf", nullptr) &&
             write(path, Motion(kept.back())->GetAttachedObject());
    } else {
        ok = write(path, nullptr);
    }
    for (VStreamOptions* options : kept)
        options->Destroy();
    return ok;
}

const char* const kExtensions[] = {"bvh", "htr", "asf", "amc", "trc", "c3d",
                                   "aoa", "mcd", "brd", "mov", "vpm"};
// The writers that sample the motion with the pivots in the animation.
const char* const kConverting[] = {"bvh", "htr", "asf", "amc", "trc", "c3d", "aoa", "mcd"};

// The world position of Hips and Spine at frame f from the rules of evaluation: Hips turns by
// Rz(10 f), then its pre-rotation Rz(90), about its rotation pivot (1, 0, 0), and moves by its
// translation (f, 0, 0) and its rotation offset (0, 5, 0); Spine sits 2 along Hips' turned X axis.
void ExpectedPositions(int f, double hips[3], double spine[3]) {
    const double angle = (10.0 * f + 90.0) * kPi / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    hips[0] = f + 1.0 - c;
    hips[1] = 5.0 - s;
    hips[2] = 0.0;
    spine[0] = hips[0] + 2.0 * c;
    spine[1] = hips[1] + 2.0 * s;
    spine[2] = 0.0;
}

std::vector<std::vector<double>> NumberRows(const std::string& text, size_t skipLines) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    for (size_t n = 0; std::getline(in, line); ++n) {
        if (n < skipLines) continue;
        std::istringstream fields(line);
        std::vector<double> row;
        double value;
        while (fields >> value)
            row.push_back(value);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

}  // namespace

TEST(MotionWritersKeepScene, EveryMotionWriterLeavesTheSceneAsItWas) {
    for (const char* extension : kExtensions) {
        SCOPED_TRACE(extension);
        Rig rig;
        const std::string before = Describe(rig);
        const std::string stamped = DescribeStamped(rig);
        VFCurve* held = rig.spine->GetTakeNode(1)->GetEulerRotationX();
        std::string error;
        ASSERT_TRUE(Write(rig, TempPath(std::string("rig.") + extension), &error)) << error;
        // The pass the caller ran last is still there after a writer converted the pivots (the
        // other writers leave a stamped pass of their own, of the same scene).
        if (std::find(std::begin(kConverting), std::end(kConverting), std::string(extension)) !=
            std::end(kConverting))
            EXPECT_EQ(DescribeStamped(rig), stamped);
        EXPECT_EQ(Describe(rig), before);
        // A curve the caller held is still the spine's, with its keys.
        const bool same = rig.spine->GetTakeNode(1)->GetEulerRotationX() == held;
        EXPECT_TRUE(same);
        if (same) EXPECT_EQ(held->KeyGetCount(), kFrames);
    }
}

// The writers that convert pivots, each run out of memory at every point in turn.
TEST(MotionWritersKeepScene, AWriteThatRunsOutOfMemoryLeavesTheSceneAsItWas) {
    for (const char* extension : kConverting) {
        SCOPED_TRACE(extension);
        int failed = 0;
        for (long long allowed = 0;; allowed += allowed < 64 ? 1 : allowed / 4) {
            Rig rig;
            const std::string before = Describe(rig);
            const unsigned long long failures = oxa_alloc::FailureCount();
            oxa_alloc::Fail(allowed);
            const bool ok = Write(rig, TempPath(std::string("short.") + extension), nullptr);
            oxa_alloc::Fail(-1);
            EXPECT_EQ(Describe(rig), before) << "with " << allowed << " allocations";
            if (oxa_alloc::FailureCount() == failures) {
                EXPECT_TRUE(ok);
                break;
            }
            EXPECT_FALSE(ok);
            ++failed;
        }
        EXPECT_GT(failed, 0);
    }
}

// The files hold the motion the pivots give: the marker positions of a TRC file and the root
// channels of a BVH file against the closed form.
TEST(MotionWritersKeepScene, FilesHoldTheMotionThePivotsGive) {
    Rig rig;
    std::string error;
    const std::string trc = TempPath("values.trc");
    ASSERT_TRUE(Write(rig, trc, &error)) << error;
    // Frame#, Time, then X, Y, Z of Hips, Spine and Head, after five header lines, in
    // millimetres: the scene's unit is the centimetre.
    const std::string table = ReadText(trc);
    ASSERT_NE(table.find("\tmm\t"), std::string::npos) << table.substr(0, 300);
    const auto rows = NumberRows(table, 5);
    ASSERT_EQ(rows.size(), (size_t)kFrames);
    for (int f = 0; f < kFrames; ++f) {
        double hips[3], spine[3];
        ExpectedPositions(f, hips, spine);
        ASSERT_EQ(rows[f].size(), 11u) << "frame " << f;
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(rows[f][2 + a], 10.0 * hips[a], 1e-2) << "Hips, frame " << f << " axis " << a;
            EXPECT_NEAR(rows[f][5 + a], 10.0 * spine[a], 1e-2) << "Spine, frame " << f << " axis " << a;
        }
    }

    const std::string bvh = TempPath("values.bvh");
    ASSERT_TRUE(Write(rig, bvh, &error)) << error;
    const std::string text = ReadText(bvh);
    const size_t motion = text.find("Frame Time:");
    ASSERT_NE(motion, std::string::npos) << text;
    const auto frames = NumberRows(text.substr(motion), 1);
    ASSERT_EQ(frames.size(), (size_t)kFrames);
    for (int f = 0; f < kFrames; ++f) {
        double hips[3], spine[3];
        ExpectedPositions(f, hips, spine);
        // Xposition Yposition Zposition Zrotation Xrotation Yrotation of the root.
        ASSERT_GE(frames[f].size(), 6u);
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(frames[f][a], hips[a], 1e-3) << "frame " << f << " axis " << a;
        const double angle = (10.0 * f + 90.0) * kPi / 180.0, written = frames[f][3] * kPi / 180.0;
        EXPECT_NEAR(std::cos(written), std::cos(angle), 1e-5) << "frame " << f;
        EXPECT_NEAR(std::sin(written), std::sin(angle), 1e-5) << "frame " << f;
        EXPECT_NEAR(frames[f][4], 0.0, 1e-3);
        EXPECT_NEAR(frames[f][5], 0.0, 1e-3);
    }
}
