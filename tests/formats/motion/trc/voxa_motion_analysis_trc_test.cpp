// TRC files: header, units, names, labels, empty fields, time-code files, writing and round trips.

#include "formats/motion/trc/voxa_motion_analysis_trc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

const char* const kType4Header =
    "PathFileType\t4\t(X/Y/Z)\tsample.trc\t\n"
    "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames\t\n";

std::string Type3(const char* units, int frames, int markers) {
    return std::string("PathFileType\t3\t(X/Y/Z)\tsample.trc\n") +
           "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n" + "100\t100\t" + std::to_string(frames) +
           "\t" + std::to_string(markers) + "\t" + units + "\n";
}

// Dialog callback: counts the questions, answers yes, keeps the last text.
struct Dialogs {
    static int& Count() {
        static int count = 0;
        return count;
    }
    static std::string& Last() {
        static std::string text;
        return text;
    }
    static int Answer(const char*, const char* text, const char*, const char*, const char*, void*) {
        ++Count();
        Last() = text ? text : "";
        return 1;
    }
};

class Trc : public Fixture {
protected:
    bool ReadText(const std::string& name, const std::string& text, const Adjust& adjust = nullptr,
                  int* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        VOxaReaderMotionAnalysisTrc reader(mManager);
        return ReadWith(reader, path, adjust, error);
    }
};

TEST_F(Trc, trc_UnitsNamesAndEmptyFields) {
    const std::string text = Type3("mm", 2, 3) +
                             "Frame#\tTime\tLeft Knee\t\t\tHip\t\t\tUnnamed3\t\t\t\n"
                             "\t\tX1\tY1\tZ1\tx2\ty2\tz2\n"
                             "X3\tY3\tZ3\n"  // labels go on over a line break
                             "\n"
                             "1\t0.00\t10\t20\t30\t\t\t\t+50\t60\t70\n"
                             "2\t0.01\t11\t21\t31\t1\t2\t3\r\n";
    ASSERT_TRUE(ReadText("trc_basic.trc", text));
    VOxaNode* knee = Find("Left_Knee");
    ASSERT_NE(knee, nullptr);
    EXPECT_EQ(knee->GetParent(), Find("TRC:optical"));
    EXPECT_NE(Find("*Unnamed_3"), nullptr);
    EXPECT_FLOAT_EQ(Key(knee, 0, 0), 1.0f);  // millimetres to centimetres
    EXPECT_FLOAT_EQ(Key(knee, 2, 1), 3.1f);
    // Three empty fields: the point is (0, 0, 0) and occluded.
    VOxaNode* hip = Find("Hip");
    EXPECT_EQ(Key(hip, 0, 0), 0.0f);
    EXPECT_EQ(Key(hip, 9, 0), 1.0f);
    EXPECT_FLOAT_EQ(Key(hip, 1, 1), 0.2f);
    // The second line has only two groups: the third marker is occluded there and holds its
    // last position.
    VOxaNode* third = Find("*Unnamed_3");
    EXPECT_FLOAT_EQ(Key(third, 0, 0), 5.0f);
    EXPECT_EQ(Key(third, 9, 1), 1.0f);
    EXPECT_EQ(Key(third, 0, 1), 0.0f);
    EXPECT_EQ(Curve(third, 0)->KeyGetTime(1).Get(), VTime::kOneSecond / 100);
}

TEST_F(Trc, trc_ExtraGroupsAndTrailingBlank) {
    // Metres; the writer's blank before the line end completes a final empty group.
    const std::string text = Type3("M", 1, 2) +
                             "Frame#\tTime\tA\t\t\tB\n"
                             "X1\tY1\tZ1\tX2\tY2\tZ2\n"
                             "1\t0.000\t1\t2\t3\t\t\t \n";
    ASSERT_TRUE(ReadText("trc_blank.trc", text));
    EXPECT_EQ(Key(Find("A"), 0, 0), 100.0f);
    EXPECT_EQ(Key(Find("B"), 9, 0), 1.0f);
    const std::string extra = Type3("cm", 1, 1) +
                              "Frame#\tTime\tC\n"
                              "X1\tY1\tZ1\n"
                              "1\t0.000\t1\t2\t3\t4\t5\t6\t7\t8\n";  // a cut last group is dropped
    ASSERT_TRUE(ReadText("trc_extra.trc", extra));
    VOxaNode* unnamed = Find("*Unnamed_2");
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(Key(unnamed, 2, 0), 6.0f);
    EXPECT_EQ(Find("*Unnamed_3"), nullptr);
}

TEST_F(Trc, trc_HeaderRules) {
    const std::string path = TempPath("trc_start.trc");
    WriteFile(path, std::string(kType4Header) + "100\t100\t1\t1\tmm\t100\t101\t1\n" +
                        "Frame#\tTime\tA\nX1\tY1\tZ1\n1\t1.0\t1\t2\t3\n");
    VOxaReaderMotionAnalysisTrc reader(mManager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    ASSERT_NE(options, nullptr);
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    EXPECT_EQ(motion->GetStartTime().Get(), VTime::kOneSecond);
    EXPECT_EQ(motion->GetOption(VStreamOptionsMotion::eUNUSED_SEGMENTS), 1);
    EXPECT_DOUBLE_EQ(motion->GetFrameRate(), 100.0);
    reader.FileClose();

    int error = -1;
    const std::string names = "Frame#\tTime\tA\nX1\tY1\tZ1\n1\t0\t1\t2\t3\n";
    const std::string bad[] = {
        Type3("inch", 1, 1) + names,
        Type3("mm", -1, 1) + names,
        Type3("mm", 1, -1) + names,
        Type3("mm", 1, 1) + "Frame#\tTime\tA\nX1\tZ1\tY1\n1\t0\t1\t2\t3\n",  // labels out of order
        Type3("mm", 1, 1) + "Frame\tTime\tA\nX1\tY1\tZ1\n1\t0\t1\t2\t3\n",   // no "Frame#"
        Type3("mm", 2, 1) + names,                                           // a frame is missing
        Type3("mm", 1, 1) + "Frame#\tTime\tA\nX1\tY1\tZ1\n1\tx\t1\t2\t3\n",  // a word for the time
        std::string("PathFileType\t5\t(X/Y/Z)\n") + "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n" +
            "100\t100\t1\t1\tmm\n" + names,
        std::string(kType4Header) + "100\t100\t1\t1\tmm\t100\n" + names,  // type 4 values cut
        std::string("PathFileType\t3\t(X/Y/Z)\n") + "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n" +
            "0\t100\t1\t1\tmm\n" + names,
    };
    for (const std::string& text : bad) {
        EXPECT_FALSE(ReadText("trc_bad.trc", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
}

TEST_F(Trc, trc_TimeCodeFile) {
    const std::string path = TempPath("trc_timecode.trc");
    const std::string tc = TempPath("trc_timecode.tc");
    WriteFile(path, Type3("mm", 1, 1) + "Frame#\tTime\tA\nX1\tY1\tZ1\n1\t0\t1\t2\t3\n");
    std::remove(tc.c_str());
    auto options = [&]() {
        VOxaReaderMotionAnalysisTrc reader(mManager);
        EXPECT_TRUE(reader.FileOpen(path.c_str()));
        // The dialog callback is installed before the defaults are set: through a derived call.
        struct Probe : VOxaReaderMotionAnalysisTrc {
            using VOxaReaderMotionAnalysisTrc::VOxaReaderMotionAnalysisTrc;
            using VOxaReaderMotionAnalysisTrc::SetDefaultReadOptions;
        };
        Probe probe(mManager);
        probe.FileOpen(path.c_str());
        std::unique_ptr<VStreamOptionsMotion> motion(VStreamOptionsMotion::Create());
        motion->SetDialogCallback(&Dialogs::Answer);
        probe.SetDefaultReadOptions(motion.get());
        return motion->GetStartTime();
    };
    Dialogs::Count() = 0;
    EXPECT_EQ(options().Get(), 0);
    EXPECT_EQ(Dialogs::Count(), 0);  // no ".tc" file, no question

    WriteFile(tc, "01:00:00:00\nSMPTE\n30\n");
    VTime hour;
    hour.SetTime(1, 0, 0, 0, 0, 6);
    EXPECT_EQ(options().Get(), hour.Get());
    EXPECT_EQ(Dialogs::Count(), 1);
    EXPECT_EQ(Dialogs::Last(), "Load trc_timecode.tc?");

    WriteFile(tc, "00:00:01:30\nEBU\n25\n");
    EXPECT_EQ(options().Get(), 0);
    EXPECT_EQ(Dialogs::Last(), "trc_timecode.tc is invalid");
    // EBU frames run from 0 to 24 at 25 frames per second, whatever the rate line says.
    WriteFile(tc, "00:00:02:00\nEBU\n30\n");
    VTime ebu;
    ebu.SetTime(0, 0, 2, 0, 0, 10);
    EXPECT_EQ(options().Get(), ebu.Get());
    EXPECT_EQ(Dialogs::Last(), "Load trc_timecode.tc?");
    WriteFile(tc, "00:00:02:24\nEBU\n30\n");
    ebu.SetTime(0, 0, 2, 24, 0, 10);
    EXPECT_EQ(options().Get(), ebu.Get());
    WriteFile(tc, "00:00:01:12\nsystem clock\n60\n");
    VTime clock;
    clock.SetTime(0, 0, 1, 12, 0, 3);
    EXPECT_EQ(options().Get(), clock.Get());
    VOxaReaderMotionAnalysisTrc::SetTimeCodeEnabled(false);
    Dialogs::Count() = 0;
    EXPECT_EQ(options().Get(), 0);
    EXPECT_EQ(Dialogs::Count(), 0);
    VOxaReaderMotionAnalysisTrc::SetTimeCodeEnabled(true);
    std::remove(tc.c_str());
    EXPECT_EQ(VOxaTrcTimeModeFromRate(29.97), 8);
    EXPECT_EQ(VOxaTrcTimeModeFromRate(1e300), 0);
}

TEST_F(Trc, trc_WriterTextAndRoundTrip) {
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "Take:Left Hand",
              {VgeTVector(1.5, -2, 0.00001, 0), VgeTVector(3, 4, 5, 0), VgeTVector(6, 7, 8, 0)}, {1});
    AddMarked(group, "Tail", {VgeTVector(0, 0, 1, 0), VgeTVector(0, 0, 2, 0), VgeTVector(0, 0, 3, 0)}, {2});
    const std::string path = TempPath("trc_round.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(3);
        o.SetTimeMode(6);
        o.SetStartTime(VTime::GetOneFrameValue(6) * 0);
    }));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.substr(0, text.find("Frame#")),
              "PathFileType\t4\t(X/Y/Z)\tMorvane\t\n"
              "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumF"
              "rames\t\n"
              "30.00\t30.00\t3\t2\tmm\t30.00\t1\t3\t\n");
    EXPECT_NE(text.find("Frame#\tTime\tLeft Hand\t\t\tTail\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\t\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("1\t0.000\t15.00000\t-20.00000\t0.00010\t0.00000\t0.00000\t10.00000 \n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("3\t0.067\t60.00000\t70.00000\t80.00000\t\t\t \n"), std::string::npos) << text;

    ASSERT_TRUE(ReadText("trc_round2.trc", text));
    VOxaNode* hand = Find("Left_Hand");
    VOxaNode* tail = Find("TRC:optical")->FindChild("Tail", false);
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(tail, nullptr);
    EXPECT_FLOAT_EQ(Key(hand, 0, 0), 1.5f);
    EXPECT_FLOAT_EQ(Key(hand, 1, 0), -2.0f);
    EXPECT_EQ(Key(hand, 9, 1), 1.0f);
    EXPECT_FLOAT_EQ(Key(hand, 0, 1), 1.5f);  // the occluded frame holds the last position
    EXPECT_FLOAT_EQ(Key(hand, 2, 2), 8.0f);
    EXPECT_EQ(Key(tail, 9, 2), 1.0f);
    EXPECT_FLOAT_EQ(Key(tail, 2, 2), 2.0f);
    EXPECT_EQ(Key(tail, 9, 1), 0.0f);
}

}  // namespace
