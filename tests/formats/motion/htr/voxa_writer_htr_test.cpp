// The HTR writer: base positions from the rest pose, frame lines, the rate, refused scenes, failed
// writes, and write -> read round trips.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_pose.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/htr/voxa_reader_htr.h"
#include "formats/motion/htr/voxa_writer_htr.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/formats/motion/htr/htr_test_util.h"
#include "tests/support/file_size_limit.h"

namespace {

using htr_test::ReadFile;
using htr_test::TempPath;

std::string gMessage;
int OnMessage(const char* title, const char* text, const char*, const char*, const char*, void*) {
    gMessage = std::string(title) + "|" + text;
    return 1;
}

class htr_Writer : public ::testing::Test {
protected:
    void SetUp() override {
        htr_test::UseSettings("No");
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
    }
    void TearDown() override {
        delete mManager;
        htr_test::UseSettings(nullptr);
    }

    // Reads `text` into `scene` of `manager`; the reader stays for its file's segments.
    VOxaReaderMotionAnalysisHtr* ReadInto(VOxaSdkManager* manager, VOxaScene* scene,
                                          const std::string& path) {
        auto* reader = new VOxaReaderMotionAnalysisHtr(manager);
        EXPECT_TRUE(reader->FileOpen(path.c_str()));
        auto* options = static_cast<VStreamOptionsMotion*>(reader->GetReadOptions());
        EXPECT_NE(options, nullptr);
        if (options) {
            EXPECT_TRUE(reader->Read(scene, options));
            options->Destroy();
        }
        return reader;
    }
    // Writes mScene to `name` with `frames` frames at `rate` frames per second.
    bool WriteScene(const std::string& path, int frames, double rate, int fromGlobal = 0,
                    VOxaWriterMotionAnalysisHtr** keep = nullptr) {
        auto* writer = new VOxaWriterMotionAnalysisHtr(mManager);
        bool ok = writer->FileCreate(path.c_str());
        auto* options = static_cast<VStreamOptionsMotion*>(writer->GetWriteOptions());
        options->SetFrameCount(frames);
        options->SetTimeMode(0, rate);
        options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, fromGlobal);
        options->SetMessageCallback(OnMessage);
        ok = ok && writer->Write(mScene, options);
        options->Destroy();
        mLastError = writer->GetError().GetLastErrorID();
        mLastText = writer->GetError().GetLastErrorString().Buffer();
        if (keep)
            *keep = writer;
        else
            delete writer;
        return ok;
    }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
    int mLastError = -1;
    std::string mLastText;
};

// The rotation of XYZ angles.
void Rotation(double out[4][4], double x, double y, double z) {
    VgeMatrixIdentity(out);
    VgeEulerXYZToMatrix(out, x, y, z);
}

TEST_F(htr_Writer, RoundTripGivesBackSkeletonBaseAndKeys) {
    std::string first = htr_test::WriteFile("trip.htr", htr_test::SampleFile());
    VOxaReaderMotionAnalysisHtr* reader = ReadInto(mManager, mScene, first);
    mScene->GetRootNode()->FindChild("Hips", true)->SetMarked(1);
    std::string second = TempPath("trip_out.htr");
    ASSERT_TRUE(WriteScene(second, 3, 30.0));

    std::string text = ReadFile(second);
    EXPECT_EQ(text.rfind("[Header]\nFileType HTR\nDataType HTRS\nFileVersion 1\nNumSegments 4\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("NumFrames 3\nDataFrameRate 30\n"), std::string::npos);
    EXPECT_NE(text.find("[SegmentNames&Hierarchy]\nHips\tGLOBAL\nSpine\tHips\nHead\tSpine\nLeg\tHips\n"),
              std::string::npos)
        << "end nodes are left out";
    EXPECT_EQ(text.find("_End"), std::string::npos);
    EXPECT_NE(text.find("[Head]\n1\t"), std::string::npos) << "frames numbered from 1";
    EXPECT_NE(text.find("\n3\t"), std::string::npos);
    EXPECT_EQ(text.find("\n4\t"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 17), "\t1.0\n[EndOfFile]\n");

    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaReaderMotionAnalysisHtr* again = ReadInto(manager, scene, second);
    VOxaFileMotionAnalysisHtr* a = reader->GetFile();
    VOxaFileMotionAnalysisHtr* b = again->GetFile();
    ASSERT_EQ(b->GetSegmentCount(), a->GetSegmentCount());
    for (int s = 0; s < a->GetSegmentCount(); ++s) {
        const auto* x = a->GetSegment(s);
        const auto* y = b->GetSegment(s);
        EXPECT_EQ(y->mName, x->mName);
        EXPECT_EQ(y->mParent, x->mParent);
        EXPECT_NEAR(y->mBoneLength, x->mBoneLength, 1e-4);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(y->mBaseTranslation[k], x->mBaseTranslation[k], 1e-4) << x->mName;
        EXPECT_EQ(VgeMatrixCompareAffine(y->mBaseRotation, x->mBaseRotation, 1e-5), 0) << x->mName;
        // The keys, compared as the matrices they make (Euler triples may differ).
        for (int f = 0; f < 3; ++f) {
            VTime time = VStreamOptionsMotion().GetStartTime();
            VStreamOptionsMotion rate;
            rate.SetTimeMode(0, 30.0);
            time = rate.GetFramePeriod() * (int64_t)f;
            double mx[4][4], my[4][4];
            float vx[6], vy[6];
            for (int c = 0; c < 6; ++c) {
                vx[c] = x->mCurves[c]->Evaluate(time);
                vy[c] = y->mCurves[c]->Evaluate(time);
            }
            Rotation(mx, vx[3], vx[4], vx[5]);
            Rotation(my, vy[3], vy[4], vy[5]);
            EXPECT_EQ(VgeMatrixCompareAffine(mx, my, 2e-5), 0) << x->mName << " frame " << f;
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(vy[c], vx[c], 1e-4) << x->mName << " frame " << f;
        }
    }
    delete again;
    delete manager;
    delete reader;
}

TEST_F(htr_Writer, LeafBonesReachTheirEndNodes) {
    // Three leaves ending in end nodes (as the skeleton readers make them): one straight down,
    // one off every axis of its turned joint, one at the joint itself.
    VOxaNode* root = mManager->CreateNode("Root");
    mScene->GetRootNode()->AddChild(root);
    root->SetMarked(1);
    struct Leaf {
        const char* name;
        VgeTVector translation, rotation, end;
    } leaves[] = {
        {"Arm", VgeTVector(10, 0, 0, 0), VgeTVector(0, 0, 30, 0), VgeTVector(0, -5, 0, 0)},
        {"Leg", VgeTVector(0, -10, 0, 0), VgeTVector(10, -20, 0, 0), VgeTVector(3, 0, 4, 0)},
        {"Neck", VgeTVector(0, 12, 0, 0), VgeTVector(0, 0, 0, 0), VgeTVector(0, 0, 0, 0)},
    };
    for (const Leaf& leaf : leaves) {
        VOxaNode* node = mManager->CreateNode(leaf.name);
        node->SetLclTranslation(leaf.translation);
        node->SetLclRotation(leaf.rotation);
        root->AddChild(node);
        VOxaNode* end = mManager->CreateNode((std::string(leaf.name) + "_End").c_str());
        end->SetLclTranslation(leaf.end);
        VOxaNodeLimitsAdapter(end->GetLimits()).SetAuto(1, false);
        end->GetNodeProperties()->SetAxisLen(0.0);
        node->AddChild(end);
    }
    const std::string path = TempPath("leaf_ends.htr");
    ASSERT_TRUE(WriteScene(path, 1, 30.0));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("_End"), std::string::npos) << "no end node is a segment";
    // Each leaf's end, from the file's rules: the segment turns by its frame rotation, then its
    // base rotation (both XYZ angles, order "ZYX"); the end lies the bone length along its Y axis.
    for (const Leaf& leaf : leaves) {
        double base[7], frame[7];
        const std::string name = std::string("\n") + leaf.name + "\t";
        const size_t at = text.find(name, text.find("[BasePosition]"));
        const size_t frameAt = text.find("[" + std::string(leaf.name) + "]\n1\t");
        ASSERT_NE(at, std::string::npos) << leaf.name;
        ASSERT_NE(frameAt, std::string::npos) << leaf.name;
        ASSERT_EQ(std::sscanf(text.c_str() + at + name.size(), "%lf %lf %lf %lf %lf %lf %lf", &base[0],
                              &base[1], &base[2], &base[3], &base[4], &base[5], &base[6]),
                  7);
        ASSERT_EQ(std::sscanf(text.c_str() + frameAt + std::strlen(leaf.name) + 5, "%lf %lf %lf %lf %lf %lf",
                              &frame[0], &frame[1], &frame[2], &frame[3], &frame[4], &frame[5]),
                  6);
        const double length =
            std::sqrt(leaf.end[0] * leaf.end[0] + leaf.end[1] * leaf.end[1] + leaf.end[2] * leaf.end[2]);
        EXPECT_NEAR(base[6], length * 10.0, 1e-3) << leaf.name << ": the bone length in millimetres";
        double b[4][4], f[4][4], turn[4][4], y[3] = {0.0, base[6] / 10.0, 0.0};
        Rotation(b, base[3], base[4], base[5]);
        Rotation(f, frame[3], frame[4], frame[5]);
        VgeMatrixIdentity(turn);
        VgeMatrixMultRotation(turn, b, f);  // the frame rotation, then the base rotation
        VgeMatrixMultVector3(y, turn, y);
        // The scene's end, in the root's frame (the root stays in place).
        const VgeAMatrix& end =
            root->FindChild((std::string(leaf.name) + "_End").c_str())->GetDefaultGlobalTransform();
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR((base[k] + frame[k]) / 10.0 + y[k], end.mData[3][k], 1e-4)
                << leaf.name << " axis " << k;
    }
}

TEST_F(htr_Writer, BasePositionsFromTheRestPose) {
    VOxaNode* root = mManager->CreateNode("Root");
    VOxaNode* child = mManager->CreateNode("Child");
    mScene->GetRootNode()->AddChild(root);
    root->AddChild(child);
    root->SetMarked(1);
    child->SetLclTranslation(VgeTVector(5, 5, 5, 0));
    VOxaPose* pose = mManager->CreatePose("Root_RESTPOSE", 0);
    VMatrix rest;
    const double t[3] = {1, 2, 3}, r[3] = {0, 0, 90}, s[3] = {1, 1, 1};
    VgeMatrixFromTRS(rest.mData, t, r, s);
    ASSERT_GE(pose->Add("Child", rest, true), 0);
    mScene->AddPose(pose);

    std::string path = TempPath("rest.htr");
    ASSERT_TRUE(WriteScene(path, 1, 25.0));
    std::string text = ReadFile(path);
    // The base position is the pose's (millimetres); the bone length of a leaf no reader gave one
    // is the node's default "AxisLen", 10 cm, and the root's reaches its child's base position.
    EXPECT_NE(text.find("\nChild\t10\t20\t30\t0\t0\t90\t100\n"), std::string::npos) << text;
    double rootLength = 0.0;
    const char* rootLine = "[BasePosition]\nRoot\t0\t0\t0\t0\t0\t0\t";
    ASSERT_NE(text.find(rootLine), std::string::npos) << text;
    ASSERT_EQ(std::sscanf(text.c_str() + text.find(rootLine) + std::strlen(rootLine), "%lf", &rootLength), 1);
    EXPECT_NEAR(rootLength, std::sqrt(10.0 * 10.0 + 20.0 * 20.0 + 30.0 * 30.0), 1e-4);
    // The frame: the default translation minus the base, the default rotation relative to the base.
    EXPECT_NE(text.find("[Child]\n1\t40\t30\t20\t0\t0\t-90\t1.0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DataFrameRate 25\n"), std::string::npos);

    // Without the pose, the default transform is the base and the frames are zero.
    mScene->RemovePose(pose);
    ASSERT_TRUE(WriteScene(path, 1, 25.0));
    text = ReadFile(path);
    EXPECT_NE(text.find("Child\t50\t50\t50\t0\t0\t0\t100\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[Child]\n1\t0\t0\t0\t0\t0\t0\t1.0\n"), std::string::npos) << text;

    // From global positions, a plain hierarchy writes the same file.
    std::string global = TempPath("rest_global.htr");
    ASSERT_TRUE(WriteScene(global, 1, 25.0, 1));
    EXPECT_EQ(ReadFile(global), text);
}

// The rate the file states: a whole rate as an integer, any other with its decimals, and a file
// read back has the rate it states and a take of (frames - 1) / rate seconds.
TEST_F(htr_Writer, FrameRatesKeepTheirDecimals) {
    std::string source = htr_test::WriteFile("rates.htr", htr_test::SampleFile());
    delete ReadInto(mManager, mScene, source);
    mScene->GetRootNode()->FindChild("Hips", true)->SetMarked(1);
    const int frames = 80;
    struct Case {
        double rate;
        const char* line;
        double back;  // the rate read back: the written one
    } cases[] = {{12.5, "DataFrameRate 12.5\n", 12.5},
                 {29.97, "DataFrameRate 29.97\n", 29.97},
                 {30.0, "DataFrameRate 30\n", 30.0},
                 {120.0, "DataFrameRate 120\n", 120.0},
                 {0.5, "DataFrameRate 0.5\n", 0.5},
                 {107.527, "DataFrameRate 107.527\n", 107.527},
                 // 1 / (1 / 59.94), as a BVH frame time gives it: the same frame period as 59.94.
                 {59.93999999999999, "DataFrameRate 59.94\n", 59.94}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string path = TempPath("rate.htr");
        ASSERT_TRUE(WriteScene(path, frames, c.rate));
        const std::string text = ReadFile(path);
        EXPECT_NE(text.find(std::string("\nNumFrames 80\n") + c.line), std::string::npos)
            << text.substr(0, 200);

        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        VOxaReaderMotionAnalysisHtr reader(manager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        auto* options = static_cast<VStreamOptionsMotion*>(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(options->GetFrameRate(), c.back);
        EXPECT_TRUE(reader.Read(scene, options));
        options->Destroy();
        VOxaTakeInfo* info = scene->GetTakeInfo(scene->GetCurrentTakeName());
        ASSERT_NE(info, nullptr);
        EXPECT_NEAR(info->mLocalTimeSpan.GetDuration().GetSecondDouble(), (frames - 1) / c.rate, 1e-6);
        delete manager;
    }
    // The frame rate of a time mode: 29.97 drop frame keeps all the digits of 30000 / 1001.
    VStreamOptionsMotion options;
    options.SetTimeMode(8);
    EXPECT_DOUBLE_EQ(VOxaWriterMotionAnalysisHtr::GetFileFrameRate(options), 30000.0 / 1001.0);
    char text[40];
    VOxaFileMotionAnalysisHtr::FormatFrameRate(text, sizeof text, 30000.0 / 1001.0);
    // Written with the digits that give its frame period.
    VTime written, exact;
    written.SetSecondDouble(1.0 / std::strtod(text, nullptr));
    exact.SetSecondDouble(1001.0 / 30000.0);
    EXPECT_EQ(written.Get(), exact.Get()) << text;
    options.SetTimeMode(0, 25.0);
    EXPECT_EQ(VOxaWriterMotionAnalysisHtr::GetFileFrameRate(options), 25.0);
}

TEST_F(htr_Writer, RefusedScenesAndFiles) {
    VOxaWriterMotionAnalysisHtr writer(mManager);
    EXPECT_FALSE(writer.Write(mScene, nullptr));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_FALSE(writer.FileClose());
    EXPECT_FALSE(writer.IsFileOpen());

    // No marked root.
    VOxaNode* root = mManager->CreateNode("Root");
    mScene->GetRootNode()->AddChild(root);
    EXPECT_FALSE(WriteScene(TempPath("none.htr"), 1, 30.0));
    EXPECT_EQ(mLastError, VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_EQ(mLastText, "no joints to write");

    // Missing options.
    root->SetMarked(1);
    ASSERT_TRUE(writer.FileCreate(TempPath("opts.htr").c_str()));
    EXPECT_TRUE(writer.IsFileOpen());
    EXPECT_FALSE(writer.Write(mScene, nullptr));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_TRUE(writer.FileClose());

    // Blanks in names.
    VOxaNode* arm = mManager->CreateNode("Left Arm");
    root->AddChild(arm);
    gMessage.clear();
    EXPECT_FALSE(WriteScene(TempPath("blank.htr"), 1, 30.0));
    EXPECT_EQ(mLastError, VOxaWriter::eUNIDENTIFIED_ERROR);
    EXPECT_EQ(mLastText, "Spaces are not allowed in HTR node names:\n    Model::Left Arm");
    EXPECT_EQ(gMessage, "Error|Spaces are not allowed in HTR node names:\n    Model::Left Arm");
    // A long name is listed by its first 128 bytes and its length.
    arm->SetName((std::string("Long Arm") + std::string(392, 'x')).c_str());
    EXPECT_FALSE(WriteScene(TempPath("blank.htr"), 1, 30.0));
    const std::string full = arm->GetName();
    EXPECT_EQ(mLastText, "Spaces are not allowed in HTR node names:\n    " + full.substr(0, 128) + "... (" +
                             std::to_string(full.size()) + " bytes)");
    arm->SetName("Left Arm");

    // A folder that does not exist; a very long path is cut in the text.
    EXPECT_FALSE(writer.FileCreate(TempPath("no/such/dir.htr").c_str()));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_EQ(std::string(writer.GetError().GetLastErrorString().Buffer()),
              "Cannot open file \"" + TempPath("no/such/dir.htr") + "\" for writing.");
    std::string longPath = TempPath("no/") + std::string(5000, 'x');
    EXPECT_FALSE(writer.FileCreate(longPath.c_str()));
    EXPECT_LT(writer.GetError().GetLastErrorString().GetLen(), 1100);

    // The exporter finds the writer by extension.
    int row = VOxaFindWriterFormat("htr");
    ASSERT_GE(row, 0);
    VOxaWriter* made = VOxaGetWriterFormat(row)->mCreate(mManager);
    EXPECT_NE(dynamic_cast<VOxaWriterMotionAnalysisHtr*>(made), nullptr);
    delete made;
}

TEST_F(htr_Writer, NoMoreSegmentsThanTheReaderTakes) {
    VOxaNode* root = mManager->CreateNode("Root");
    mScene->GetRootNode()->AddChild(root);
    root->SetMarked(1);
    // The root and 2047 children: 2048 segments, the most a file may hold.
    for (int i = 0; i < VOxaFileMotionAnalysisHtr::kMaxSegments - 1; ++i)
        root->AddChild(mManager->CreateNode(("m" + std::to_string(i)).c_str()));
    const std::string fits = TempPath("most.htr");
    ASSERT_TRUE(WriteScene(fits, 1, 30.0)) << mLastText;
    EXPECT_NE(ReadFile(fits).find("NumSegments 2048\n"), std::string::npos);
    VOxaSdkManager* other = VOxaSdkManager::Create();
    delete ReadInto(other, other->CreateScene(), fits);
    delete other;

    // One more is refused before anything is written: the target keeps what it held.
    root->AddChild(mManager->CreateNode("one_more"));
    const std::string path = htr_test::WriteFile("toomany.htr", "old contents\n");
    gMessage.clear();
    EXPECT_FALSE(WriteScene(path, 1, 30.0));
    EXPECT_EQ(mLastError, VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_EQ(mLastText, "2049 segments to write: an HTR file holds at most 2048.");
    EXPECT_EQ(gMessage, "Error|" + mLastText);
    EXPECT_EQ(ReadFile(path), "old contents\n");
    const std::string fresh = TempPath("toomany_new.htr");
    EXPECT_FALSE(WriteScene(fresh, 1, 30.0));
    EXPECT_NE(access(fresh.c_str(), F_OK), 0);
}

TEST_F(htr_Writer, CommentAndSectionMarksInNamesAreWrittenAsUnderscores) {
    VOxaNode* root = mManager->CreateNode("Root");
    mScene->GetRootNode()->AddChild(root);
    root->SetMarked(1);
    // "a_b" is kept as it is: the changed "a#b" gives way to it.
    for (const char* name : {"a_b", "a#b", "x]y", "[Header]", "p[q"})
        root->AddChild(mManager->CreateNode(name));
    std::vector<std::string> warnings;
    gMessage.clear();
    const std::string path = TempPath("marks.htr");
    auto* writer = new VOxaWriterMotionAnalysisHtr(mManager);
    ASSERT_TRUE(writer->FileCreate(path.c_str()));
    auto* options = static_cast<VStreamOptionsMotion*>(writer->GetWriteOptions());
    options->SetFrameCount(1);
    options->SetTimeMode(0, 30.0);
    static std::vector<std::string>* sink = nullptr;
    sink = &warnings;
    options->SetMessageCallback(
        [](const char* title, const char* text, const char*, const char*, const char*, void*) {
            sink->push_back(std::string(title) + "|" + text);
            return 1;
        });
    EXPECT_TRUE(writer->Write(mScene, options));
    options->Destroy();
    delete writer;

    const std::string text = ReadFile(path);
    for (const char* line : {"a_b\tRoot\n", "a_b_2\tRoot\n", "x_y\tRoot\n", "_Header_\tRoot\n", "p_q\tRoot\n",
                             "\n[a_b_2]\n", "\n[x_y]\n", "\n[_Header_]\n", "\n[p_q]\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " missing in\n" << text;
    // No '#' anywhere, and the only brackets are those of the section titles.
    EXPECT_EQ(text.find('#'), std::string::npos);
    size_t at = 0;
    while ((at = text.find('[', at)) != std::string::npos) {
        const size_t end = text.find('\n', at);
        EXPECT_EQ(text[end - 1], ']') << text.substr(at, end - at);
        EXPECT_EQ(text.substr(at + 1, end - at - 2).find_first_of("[]"), std::string::npos)
            << text.substr(at, end - at);
        at = end;
    }
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[0].rfind("Warning|Node \"a#b\" is written as \"a_b_2\": ", 0), 0u) << warnings[0];
    EXPECT_EQ(warnings[2].rfind("Warning|Node \"[Header]\" is written as \"_Header_\": ", 0), 0u)
        << warnings[2];

    // Read back, each segment under its written name.
    VOxaSdkManager* other = VOxaSdkManager::Create();
    VOxaScene* scene = other->CreateScene();
    delete ReadInto(other, scene, path);
    for (const char* name : {"a_b", "a_b_2", "x_y", "_Header_", "p_q"})
        EXPECT_NE(scene->GetRootNode()->FindChild(name, true), nullptr) << name;
    delete other;
}

TEST_F(htr_Writer, FailedWriteKeepsTheOldTarget) {
    VOxaNode* root = mManager->CreateNode("Root");
    mScene->GetRootNode()->AddChild(root);
    root->SetMarked(1);
    std::string path = htr_test::WriteFile("full.htr", "old contents\n");
    oxa_test::FileSizeLimit limit(4096);
    bool ok = WriteScene(path, 200000, 30.0);
    limit.Lift();
    EXPECT_FALSE(ok);
    EXPECT_EQ(mLastError, VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_EQ(ReadFile(path), "old contents\n");
    // With room, the same write succeeds and replaces it.
    ASSERT_TRUE(WriteScene(path, 2, 30.0));
    EXPECT_EQ(ReadFile(path).compare(0, 9, "[Header]\n"), 0);
}

}  // namespace

// A chain built in code, whose bone lengths were never set: each segment's bone reaches its only
// child, 200 and 300 mm; the leaf keeps its own axis length, and one set by the program stays.
TEST_F(htr_Writer, BoneLengthsOfARigBuiltInCodeReachTheChild) {
    const char* names[] = {"Hip", "Knee", "Ankle", "Toe"};
    const VgeTVector offsets[] = {VgeTVector(0, 0, 0, 0), VgeTVector(0, -20, 0, 0), VgeTVector(0, -18, 24, 0),
                                  VgeTVector(7, 0, 0, 0)};
    VOxaNode* parent = mScene->GetRootNode();
    for (int i = 0; i < 4; ++i) {
        VOxaNode* node = mManager->CreateNode(names[i]);
        node->SetLclTranslation(offsets[i]);
        node->SetMarked(1);
        parent->AddChild(node);
        parent = node;
    }
    mScene->GetRootNode()->FindChild("Ankle", true)->GetNodeProperties()->SetAxisLen(4.0);
    const std::string path = TempPath("rig_lengths.htr");
    ASSERT_TRUE(WriteScene(path, 1, 30.0));
    const std::string text = ReadFile(path);
    const double expected[] = {200.0, 300.0, 40.0, 100.0};
    for (int i = 0; i < 4; ++i) {
        const std::string name = std::string("\n") + names[i] + "\t";
        const size_t at = text.find(name, text.find("[BasePosition]"));
        ASSERT_NE(at, std::string::npos) << names[i];
        double base[7];
        ASSERT_EQ(std::sscanf(text.c_str() + at + name.size(), "%lf %lf %lf %lf %lf %lf %lf", &base[0],
                              &base[1], &base[2], &base[3], &base[4], &base[5], &base[6]),
                  7);
        EXPECT_NEAR(base[6], expected[i], 1e-3) << names[i];
    }
}
