// The marker reader and writer bases, driven through a scripted marker file.

#include "formats/motion/voxa_motion_base.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

// A marker file whose header, names and frames come from the test.
struct Script {
    int64_t markers = 2;
    int64_t frames = 4;
    double rate = 30.0;
    double scale = 1.0;
    std::vector<std::string> names{"A", "B"};
    std::vector<std::vector<VgeTVector>> points;  // per frame
    bool endOk = true;
    int framesRead = 0;
};

class ScriptFile : public IOxaFileMotionBase {
public:
    explicit ScriptFile(Script* script) : mScript(script) {}
    bool Open(const char*, const char*) override { return true; }
    bool Close() override { return true; }
    bool ReadHeader(int64_t& markerCount, VTime&, int64_t& frameCount, double& frameRate,
                    double& scale) override {
        mNext = 0;
        markerCount = mScript->markers;
        frameCount = mScript->frames;
        frameRate = mScript->rate;
        scale = mScript->scale;
        return true;
    }
    bool ReadMarkerNames(VStringList& names, bool) override {
        for (int i = 0; i < names.GetCount() && i < (int)mScript->names.size(); ++i)
            names.SetStringAt(i, mScript->names[(size_t)i].c_str());
        return true;
    }
    bool ReadFrame(VOxaMarkerFrame& points, int, VTime& time, int& counter, VTime period, bool) override {
        if (mNext >= mScript->points.size()) return false;
        for (const VgeTVector& p : mScript->points[mNext])
            points.Add(p);
        ++mNext;
        ++mScript->framesRead;
        ++counter;
        time += period;
        return true;
    }
    bool ReadEnd() override { return mScript->endOk; }
    bool WriteHeader(int, VTime, int, double, double) override { return true; }
    bool WriteMarkerNames(const VStringList&) override { return true; }
    bool WriteFrame(const VOxaMarkerFrame&, int, VTime, int) override { return true; }
    bool WriteEnd() override { return true; }

private:
    Script* mScript;
    size_t mNext = 0;
};

class ScriptReader : public VOxaReaderMotionBase {
public:
    ScriptReader(VOxaSdkManager* manager, Script* script) : VOxaReaderMotionBase(manager), mScript(script) {
        mReferenceName = "SCR";
    }

protected:
    IOxaFileMotionBase* CreateMotionFile(const char*) override { return new ScriptFile(mScript); }
    void SetDefaultReadOptions(VStreamOptionsMotion* options) override {
        options->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 1);
    }

private:
    Script* mScript;
};

VgeTVector P(double x, double y, double z, double w = 0.0) {
    return VgeTVector(x, y, z, w);
}

class MarkerBase : public Fixture {
protected:
    bool ReadScript(Script& script, const Adjust& adjust = nullptr, int* error = nullptr,
                    const std::string& path = "/nonexistent/take.scr") {
        ScriptReader reader(mManager, &script);
        return ReadWith(reader, path, adjust, error);
    }
};

TEST_F(MarkerBase, marker_FrameCountLoweredToTheFile) {
    Script script;
    for (int j = 0; j < 4; ++j)
        script.points.push_back({P(j, 0, 0), P(0, j, 0)});
    ASSERT_TRUE(ReadScript(script, [](VStreamOptionsMotion& o) { o.SetFrameCount(10); }));
    EXPECT_EQ(script.framesRead, 4);
    VOxaNode* a = Find("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Curve(a, 0)->KeyGetCount(), 4);
    EXPECT_EQ(a->GetParent(), Find("SCR:reference"));

    // A smaller count reads only the first frames; key times come from the options.
    Script again;
    again.names = {"C", "D"};
    again.points = script.points;
    ASSERT_TRUE(ReadScript(again, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetStartTime(VTime::GetOneFrameValue(6) * 5);
    }));
    EXPECT_EQ(again.framesRead, 2);
    VFCurve* x = Curve(Find("C"), 0);
    ASSERT_EQ(x->KeyGetCount(), 2);
    EXPECT_EQ(x->KeyGetTime(1).Get(), VTime::GetOneFrameValue(6).Get() * 6);
    EXPECT_EQ(x->KeyGetInterpolation(0), (unsigned)VFCurveKey::eInterpolationCubic);
    EXPECT_EQ(Curve(Find("C"), 9)->KeyGetInterpolation(0), (unsigned)VFCurveKey::eInterpolationConstant);
}

TEST_F(MarkerBase, marker_ExtraAndMissingPoints) {
    Script script;
    script.frames = 3;
    script.points = {
        {P(1, 1, 1), P(2, 2, 2), P(7, 8, 9)}, {P(1, 1, 1)}, {P(1, 1, 1), P(2, 2, 2), P(3, 3, 3), P(4, 4, 4)}};
    ASSERT_TRUE(ReadScript(script));
    VOxaNode* third = Find("*Unnamed_3");
    VOxaNode* fourth = Find("*Unnamed_4");
    ASSERT_NE(third, nullptr);
    ASSERT_NE(fourth, nullptr);
    EXPECT_EQ(Key(third, 0, 0), 7.0f);
    // Frames with fewer points key the missing markers as gaps (occlusion 1), held at the last
    // position seen, or before the first one at that first position.
    EXPECT_EQ(Key(Find("B"), 0, 1), 2.0f);
    EXPECT_EQ(Key(Find("B"), 9, 1), 1.0f);
    EXPECT_EQ(Key(third, 0, 1), 7.0f);
    EXPECT_EQ(Key(fourth, 9, 0), 1.0f);
    EXPECT_EQ(Key(fourth, 0, 0), 4.0f);
    EXPECT_EQ(Key(fourth, 0, 1), 4.0f);
    EXPECT_EQ(Key(fourth, 0, 2), 4.0f);
    EXPECT_EQ(Key(fourth, 9, 2), 0.0f);
}

// Gaps before a marker is first seen hold its first position, in every axis, and a marker never
// seen keeps the file's values; without gap filling the file's values stay.
TEST_F(MarkerBase, marker_LeadingGapsHoldTheFirstPosition) {
    Script script;
    script.markers = 3;
    script.frames = 5;
    script.names = {"Late", "Never", "Early"};
    script.scale = 10.0;
    script.points = {{P(0, 0, 0, 1.0), P(5, 5, 5, 1.0), P(1, 1, 1)},
                     {P(0, 0, 0, 1.0), P(0, 0, 0, 1.0), P(2, 2, 2)},
                     {P(3, -4, 5), P(0, 0, 0, 1.0), P(0, 0, 0, 1.0)},
                     {P(0, 0, 0, 1.0), P(0, 0, 0, 1.0), P(4, 4, 4)},
                     {P(6, 7, 8), P(0, 0, 0, 1.0), P(5, 5, 5)}};
    ASSERT_TRUE(ReadScript(script));
    VOxaNode* late = Find("Late");
    const float first[3] = {30.0f, -40.0f, 50.0f};
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(Key(late, axis, 0), first[axis]) << axis;
        EXPECT_EQ(Key(late, axis, 1), first[axis]) << axis;
        EXPECT_EQ(Key(late, axis, 3), first[axis]) << "a later gap holds the last position";
    }
    EXPECT_EQ(Key(late, 0, 4), 60.0f);
    EXPECT_EQ(Key(late, 9, 0), 1.0f) << "still a gap";
    EXPECT_EQ(Key(late, 9, 2), 0.0f);
    EXPECT_EQ(Key(Find("Never"), 0, 0), 50.0f);
    EXPECT_EQ(Key(Find("Never"), 0, 1), 50.0f);
    EXPECT_EQ(Key(Find("Early"), 0, 2), 20.0f);

    Script plain = script;
    plain.names = {"LateToo", "NeverToo", "EarlyToo"};
    ASSERT_TRUE(ReadScript(plain, [](VStreamOptionsMotion& o) {
        o.SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
    }));
    EXPECT_EQ(Key(Find("LateToo"), 1, 0), 0.0f);
    EXPECT_EQ(Key(Find("LateToo"), 1, 3), 0.0f);
}

TEST_F(MarkerBase, marker_GapsFilledOnlyForExactOcclusion) {
    Script script;
    script.markers = 1;
    script.frames = 6;
    script.names = {"Hip"};
    script.scale = 10.0;
    script.points = {{P(1, 2, 3)},      {P(4, 5, 6)},        {P(0, 0, 0, 1.0)},
                     {P(9, 9, 9, 1.0)}, {P(9, 9, 9, 0.999)}, {P(7, 7, 7)}};
    ASSERT_TRUE(ReadScript(script));
    VOxaNode* hip = Find("Hip");
    // Occluded frames hold the last valid position (scaled like every position).
    EXPECT_EQ(Key(hip, 0, 2), 40.0f);
    EXPECT_EQ(Key(hip, 0, 3), 40.0f);
    EXPECT_EQ(Key(hip, 9, 3), 1.0f);
    // w must be exactly 1.0 to count.
    EXPECT_EQ(Key(hip, 0, 4), 90.0f);
    EXPECT_EQ(Key(hip, 9, 4), 0.999f);

    Script plain = script;
    plain.names = {"Knee"};
    ASSERT_TRUE(ReadScript(plain, [](VStreamOptionsMotion& o) {
        o.SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
    }));
    EXPECT_EQ(Key(Find("Knee"), 0, 2), 0.0f);
}

TEST_F(MarkerBase, marker_DuplicateNames) {
    Script script;
    script.names = {"Hip", "Hip"};
    script.frames = 1;
    script.points = {{P(1, 1, 1), P(2, 2, 2)}};
    const int before = mScene->GetRootNode()->GetChildCount(true);
    const int nodesBefore = mManager->GetNodeCount();
    int error = -1;
    EXPECT_FALSE(ReadScript(script, nullptr, &error, "/tmp/dir/two.scr"));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    EXPECT_EQ(Messages::Title(), "Error");
    EXPECT_EQ(Messages::Text().rfind("Duplicate names found in two.scr:", 0), 0u) << Messages::Text();
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(true), before);
    EXPECT_EQ(mManager->GetNodeCount(), nodesBefore);

    ASSERT_TRUE(ReadScript(script, [](VStreamOptionsMotion& o) {
        o.SetOption(VStreamOptionsMotion::eRENAME_DUPLICATE_NAMES, 1);
    }));
    EXPECT_NE(Find("Hip"), nullptr);
    EXPECT_NE(Find("Hip1"), nullptr);
    EXPECT_EQ(Messages::Title(), "Warning");
    EXPECT_EQ(Messages::Text(),
              "Some objects have been renamed due to naming conflicts:\nHip  -->  Hip1\n\n\n");
}

TEST_F(MarkerBase, marker_CountsAndRatesTheFileCannotBack) {
    const std::string path = TempPath("marker_small.scr");
    WriteFile(path, "0123456789");
    Script script;
    script.markers = 11;  // above the file's 10 bytes
    int error = -1;
    EXPECT_FALSE(ReadScript(script, nullptr, &error, path));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    script.markers = -1;
    EXPECT_FALSE(ReadScript(script, nullptr, &error, path));
    script.markers = 2;
    script.rate = 1.0e11;  // a period under one tick
    EXPECT_FALSE(ReadScript(script, nullptr, &error, path));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    // Rates up to 1000000 frames per second are held; faster ones are refused, saying so.
    EXPECT_TRUE(VOxaMotionSupport::IsUsableRate(1.0e6));
    EXPECT_FALSE(VOxaMotionSupport::IsUsableRate(1000001.0));
    EXPECT_STREQ(VOxaMotionSupport::RateProblem(1000001.0),
                 "is faster than the 1000000 frames per second the motion formats hold");
    EXPECT_EQ(VOxaMotionSupport::RateProblem(1.0e6), nullptr);
    EXPECT_STREQ(VOxaMotionSupport::RateProblem(0.0), "has no usable frame period");
    EXPECT_STREQ(VOxaMotionSupport::RateProblem(std::nan("")), "has no usable frame period");
    script.rate = 1.001e6;
    EXPECT_FALSE(ReadScript(script, nullptr, &error, path));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);

    // No markers: success, nothing added.
    Script empty;
    empty.markers = 0;
    const int before = mScene->GetRootNode()->GetChildCount(true);
    EXPECT_TRUE(ReadScript(empty));
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(true), before);

    // Frames that carry far fewer points than markers would ask for keys the file cannot back.
    Script sparse;
    sparse.markers = 10;
    sparse.frames = 100000;
    sparse.names.clear();
    for (int i = 0; i < 10; ++i)
        sparse.names.push_back("M" + std::to_string(i));
    sparse.points.assign(100000, {});
    EXPECT_FALSE(ReadScript(sparse, nullptr, &error, path));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
}

TEST_F(MarkerBase, marker_ReadFailuresLeaveTheScene) {
    Script script;
    script.points = {{P(1, 1, 1), P(2, 2, 2)}};  // 4 frames promised, 1 given
    int error = -1;
    EXPECT_FALSE(ReadScript(script, nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    script.points.assign(4, {P(1, 1, 1), P(2, 2, 2)});
    script.endOk = false;
    EXPECT_FALSE(ReadScript(script, nullptr, &error));
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);

    ScriptReader reader(mManager, &script);
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_FALSE(reader.Read(mScene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    ASSERT_TRUE(reader.FileOpen("x.scr"));
    EXPECT_TRUE(reader.IsFileOpen());
    EXPECT_FALSE(reader.Read(mScene, nullptr));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eSTREAM_OPTIONS_NOT_SET);
    EXPECT_TRUE(reader.FileClose());
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_FALSE(reader.FileClose());
}

// The scene takes the options' time mode; a custom rate (mode 0) leaves the scene's own mode.
TEST_F(MarkerBase, marker_SceneTimeModeFromTheOptions) {
    Script script;
    script.points.assign(4, {P(1, 1, 1), P(2, 2, 2)});
    mScene->GetGlobalTimeSettings().SetTimeMode(3);
    ASSERT_TRUE(ReadScript(script, [](VStreamOptionsMotion& o) { o.SetTimeMode(0, 37.0); }));
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 3);
    Script again = script;
    again.names = {"C", "D"};
    ASSERT_TRUE(ReadScript(again, [](VStreamOptionsMotion& o) { o.SetTimeMode(10); }));
    EXPECT_EQ(mScene->GetGlobalTimeSettings().GetTimeMode(), 10);
    VOxaTakeInfo* info = mScene->GetTakeInfo("take");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop().Get(), VTime::GetOneFrameValue(10).Get() * 3);
}

// ---- writer ----

TEST_F(MarkerBase, marker_WriterNamesGapsAndEmptyScenes) {
    const std::string path = TempPath("marker_writer.aoa");
    {
        VOxaWriterAdaptiveOptics writer(mManager, false);
        ASSERT_FALSE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(6);
        }));
        EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), "no markers or joints to write");
    }
    // No marked node: no file.
    EXPECT_FALSE(std::ifstream(path).good());

    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "Actor:Head", {P(1, 2, 3), P(4, 5, 6)}, {1});
    VOxaNode* foot = AddMarked(group, "Foot", {P(0.5, 0, 0), P(0.25, 0, 0)});
    // Occlusion hides a point only above one half.
    Curve(foot, 9)->KeySetValue(1, 0.5f);
    const std::string trc = TempPath("marker_writer.trc");
    VOxaWriterMotionAnalysisTrc* writer = new VOxaWriterMotionAnalysisTrc(mManager);
    ASSERT_TRUE(WriteWith(*writer, trc, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
    }));
    delete writer;
    const std::string text = ReadFile(trc);
    // Names after the last ':'; the occluded frame gives empty fields.
    EXPECT_NE(text.find("Frame#\tTime\tHead\t\t\tFoot\t\t\t\n"), std::string::npos) << text;
    EXPECT_NE(text.find("1\t0.000\t10.00000\t20.00000\t30.00000\t5.00000\t0.00000\t0.00000 \n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("2\t0.033\t\t\t\t2.50000\t0.00000\t0.00000 \n"), std::string::npos) << text;

    // Gaps as valid data: every point is written.
    VOxaWriterMotionAnalysisTrc valid(mManager);
    ASSERT_TRUE(WriteWith(valid, trc, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 1);
    }));
    EXPECT_NE(ReadFile(trc).find("2\t0.033\t40.00000\t50.00000\t60.00000\t"), std::string::npos);
}

TEST_F(MarkerBase, marker_WriterGapsOverALongTake) {
    // Occlusion is read for many frames at a time: gaps next to and across those runs, a marker
    // that is never hidden and one whose occlusion curve ends early must land on their frames.
    const int frames = 75;
    std::vector<VgeTVector> positions;
    for (int j = 0; j < frames; ++j)
        positions.push_back(P(j + 1, 0, 0));
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", positions, {0, 30, 31, 32, 33, 63, 64, 74});
    AddMarked(group, "B", positions);
    VOxaNode* c =
        AddMarked(group, "C", std::vector<VgeTVector>(positions.begin(), positions.begin() + 40), {39});
    const std::string trc = TempPath("marker_long.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    ASSERT_TRUE(WriteWith(writer, trc, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(75);
        o.SetTimeMode(6);
    }));
    const std::string text = ReadFile(trc);
    // C's last key (hidden) holds past its end.
    ASSERT_EQ(Curve(c, 9)->KeyGetCount(), 40);
    for (int j = 0; j < frames; ++j) {
        const bool hiddenA = j == 0 || (j >= 30 && j <= 33) || j == 63 || j == 64 || j == 74;
        const bool hiddenC = j >= 39;
        char x[32];
        std::snprintf(x, sizeof x, "%.5f", 10.0 * (j + 1));
        const std::string a = hiddenA ? "\t\t\t" : std::string("\t") + x + "\t0.00000\t0.00000";
        const std::string b = std::string("\t") + x + "\t0.00000\t0.00000";
        const std::string cc = hiddenC ? "\t\t\t" : b;
        const std::string line = "\n" + std::to_string(j + 1) + "\t";
        const size_t at = text.find(line);
        ASSERT_NE(at, std::string::npos) << j;
        const size_t tab = text.find('\t', at + line.size());
        EXPECT_EQ(text.substr(tab, a.size() + b.size() + cc.size()), a + b + cc) << "frame " << j + 1;
    }
}

TEST_F(MarkerBase, marker_WriterFailures) {
    VOxaWriterAdaptiveOptics writer(mManager, false);
    std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
    EXPECT_FALSE(writer.Write(mScene, options.get()));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_FALSE(writer.FileCreate("/nonexistent-dir/x.aoa"));
    EXPECT_EQ(std::string(writer.GetError().GetLastErrorString().Buffer()),
              "Cannot open file \"/nonexistent-dir/x.aoa\" for writing.");
    // The message is cut, not overrun, for a very long path.
    std::string longPath = "/nonexistent-dir/" + std::string(3000, 'a');
    EXPECT_FALSE(writer.FileCreate(longPath.c_str()));
    EXPECT_EQ(writer.GetError().GetLastErrorString().GetLen(), 1023);
    const std::string path = TempPath("marker_opts.aoa");
    WriteFile(path, "old");
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    EXPECT_FALSE(writer.Write(mScene, nullptr));
    EXPECT_EQ(writer.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);
    // A failed Write puts nothing in place.
    EXPECT_TRUE(writer.FileClose());
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_FALSE(writer.FileClose());
}

TEST_F(MarkerBase, marker_FullDiskKeepsTheTarget) {
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {P(1, 2, 3), P(4, 5, 6)});
    AddMarked(group, "B", {P(1, 2, 3), P(4, 5, 6)});
    const std::string path = TempPath("marker_full.aoa");
    WriteFile(path, "old");
    int error = -1;
    {
        FileSizeLimit limit(4096);
        VOxaWriterAdaptiveOptics writer(mManager, false);
        EXPECT_FALSE(WriteWith(
            writer, path, [](VStreamOptionsMotion& o) { o.SetFrameCount(20000); }, &error));
    }
    EXPECT_EQ(error, VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_EQ(ReadFile(path), "old");
}

}  // namespace

TEST(MotionSupport, JointTranslationKeepsTheDefaultOnlyWhereTheTakeRepeatsIt) {
    const VgeTVector rest(0.1, -10.1, 1e-3, 0.0);
    // The take holds the default in single precision: the default is kept exactly.
    const VgeTVector single((float)0.1, (float)-10.1, (float)1e-3, 0.0);
    VgeTVector got = VOxaMotionSupport::JointTranslation(rest, single);
    EXPECT_EQ(got[0], 0.1);
    EXPECT_EQ(got[1], -10.1);
    EXPECT_EQ(got[2], 1e-3);
    // A take that puts the joint elsewhere, even by little more than single precision, wins.
    const VgeTVector moved(0.1, -10.1 * (1.0 + 4e-6), 1e-3, 0.0);
    got = VOxaMotionSupport::JointTranslation(rest, moved);
    EXPECT_EQ(got[1], moved[1]);
    got = VOxaMotionSupport::JointTranslation(rest, VgeTVector(-10.1, 0.1, 0.0, 0.0));
    EXPECT_EQ(got[0], -10.1);
    EXPECT_EQ(got[1], 0.1);
    // From the origin, any move counts; a take that is not a number is taken as it is.
    got = VOxaMotionSupport::JointTranslation(VgeTVector(), VgeTVector(0.0, 0.0, 1e-30, 0.0));
    EXPECT_EQ(got[2], 1e-30);
    got = VOxaMotionSupport::JointTranslation(rest, VgeTVector(std::nan(""), -10.1, 1e-3, 0.0));
    EXPECT_TRUE(std::isnan(got[0]));
}
