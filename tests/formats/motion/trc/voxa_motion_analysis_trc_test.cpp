// TRC files: header, units, names, labels, empty fields, time-code files, writing and round trips.

#include "formats/motion/trc/voxa_motion_analysis_trc.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "formats/motion/c3d/voxa_file_vicon.h"
#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

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
    // The reader's error text for `text` ("" when it reads).
    std::string Refusal(const std::string& text) {
        const std::string path = TempPath("trc_refused.trc");
        WriteFile(path, text);
        VOxaReaderMotionAnalysisTrc reader(mManager);
        return readfailure::Refusal(reader, mScene, path);
    }
    // The names of the marker nodes below the reference node, in order.
    std::string MarkerNames() {
        VOxaNode* reference = Find("TRC:optical");
        std::string names;
        for (int i = 0; reference && i < reference->GetChildCount(); ++i)
            names += std::string(reference->GetChild(i)->GetNameWithoutPrefix()) + ";";
        return names;
    }
};

std::string Type4(double rate, int frames, int startFrame) {
    char values[128];
    std::snprintf(values, sizeof values, "%g\t%g\t%d\t1\tmm\t%g\t%d\t%d\t\n", rate, rate, frames, rate,
                  startFrame, frames);
    return std::string(kType4Header) + values;
}

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
    // Three empty fields: the point is occluded, and before the marker is first seen it holds the
    // first position it has.
    VOxaNode* hip = Find("Hip");
    EXPECT_FLOAT_EQ(Key(hip, 0, 0), 0.1f);
    EXPECT_EQ(Key(hip, 9, 0), 1.0f);
    EXPECT_FLOAT_EQ(Key(hip, 1, 1), 0.2f);
    // The second line has only two groups: the third marker is occluded there and holds its
    // last position.
    VOxaNode* third = Find("*Unnamed_3");
    EXPECT_FLOAT_EQ(Key(third, 0, 0), 5.0f);
    EXPECT_EQ(Key(third, 9, 1), 1.0f);
    EXPECT_FLOAT_EQ(Key(third, 0, 1), 5.0f);
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

// "NaN" in any letter case is a gap, as an empty field is: the point is occluded and the markers
// after it on the line are still read.
TEST_F(Trc, trc_NaNIsAGap) {
    const std::string text = Type3("mm", 2, 4) +
                             "Frame#\tTime\tA\tB\tC\tD\n"
                             "X1\tY1\tZ1\tX2\tY2\tZ2\tX3\tY3\tZ3\tX4\tY4\tZ4\n"
                             "1\t0.00\t10\t20\t30\tNaN\tNaN\tNaN\t40\t50\t60\t70\tnan\t90\n"
                             "2\t0.01\t11\t21\t31\t12\t22\t32\tnAN\t51\t61\t71\t81\tNAN\n";
    ASSERT_TRUE(ReadText("trc_nan.trc", text, [](VStreamOptionsMotion& o) {
        o.SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
    }));
    EXPECT_EQ(MarkerNames(), "A;B;C;D;");  // no "*Unnamed_" points either
    const struct {
        const char* marker;
        int frame;
        float x, y, z, occluded;
    } want[] = {
        {"A", 0, 1.0f, 2.0f, 3.0f, 0.0f}, {"B", 0, 0.0f, 0.0f, 0.0f, 1.0f}, {"C", 0, 4.0f, 5.0f, 6.0f, 0.0f},
        {"D", 0, 7.0f, 0.0f, 9.0f, 1.0f}, {"B", 1, 1.2f, 2.2f, 3.2f, 0.0f}, {"C", 1, 0.0f, 5.1f, 6.1f, 1.0f},
        {"D", 1, 7.1f, 8.1f, 0.0f, 1.0f},
    };
    for (const auto& w : want) {
        SCOPED_TRACE(std::string(w.marker) + " " + std::to_string(w.frame));
        VOxaNode* node = Find(w.marker);
        ASSERT_NE(node, nullptr);
        EXPECT_FLOAT_EQ(Key(node, 0, w.frame), w.x);
        EXPECT_FLOAT_EQ(Key(node, 1, w.frame), w.y);
        EXPECT_FLOAT_EQ(Key(node, 2, w.frame), w.z);
        EXPECT_EQ(Key(node, 9, w.frame), w.occluded);
    }
    // A word that only starts with "nan" is no gap: it ends the line's points as before.
    mScene = mManager->CreateScene();
    const std::string word =
        Type3("mm", 1, 2) + "Frame#\tTime\tA\tB\nX1\tY1\tZ1\tX2\tY2\tZ2\n" + "1\t0.00\tnano\t2\t3\t4\t5\t6\n";
    ASSERT_TRUE(ReadText("trc_nano.trc", word));
    EXPECT_EQ(Key(Find("A"), 9, 0), 1.0f);
    EXPECT_EQ(Key(Find("B"), 9, 0), 1.0f);
}

// The take starts at the first frame line's number, whatever OrigDataStartFrame or the Time column
// say; where they disagree the reader says so once. Written again, each line keeps its frame number.
TEST_F(Trc, trc_TheFrameLinesGiveTheStart) {
    const std::string names = "Frame#\tTime\tA\nX1\tY1\tZ1\n";
    const struct {
        std::string header;
        int firstFrame;  // of the lines, at (firstFrame - 1) / 100 s + late
        double late;     // what the Time column adds
        int startFrame;  // where the take starts
        bool warned, timeWarned;
    } cases[] = {
        {Type4(100, 3, 1), 41, 0, 41, true, false},       // OrigDataStartFrame 1, lines from 0.40 s
        {Type4(100, 3, 101), 101, 0, 101, false, false},  // frames numbered from 101, and the header agrees
        {Type3("mm", 3, 1), 41, 0, 41, false, false},     // no OrigDataStartFrame to disagree with
        {Type4(100, 3, 41), 1, 0, 1, true, false},        // the header says 0.40 s, the lines 0 s
        {Type3("mm", 3, 1), 50, -0.49, 50, false, true},  // lines 50 to 52 at Times 0 to 0.02
        {Type4(100, 3, 1), 50, -0.29, 50, true, true},    // frame 50 at 0.2 s
        {Type4(100, 3, 1), 0, 0.01, 1, true, false},      // numbered from 0, frame 0 at Time 0
        {Type4(100, 3, 0), 1, 0, 1, true, false},         // OrigDataStartFrame 0, lines from 1
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        std::string lines;
        for (int f = c.firstFrame; f < c.firstFrame + 3; ++f) {
            char line[64];
            std::snprintf(line, sizeof line, "%d\t%.3f\t1\t2\t%d\n", f, (f - 1) / 100.0 + c.late, f);
            lines += line;
        }
        const std::string path = TempPath("trc_lines_" + std::to_string(n++) + ".trc");
        WriteFile(path, c.header + names + lines);
        VOxaReaderMotionAnalysisTrc reader(mManager);
        mScene = mManager->CreateScene();
        VTime start(-1);
        ASSERT_TRUE(ReadWith(reader, path, [&](VStreamOptionsMotion& o) { start = o.GetStartTime(); }));
        const int64_t want = (int64_t)(c.startFrame - 1) * VTime::kOneSecond / 100;
        EXPECT_EQ(start.Get(), want);
        VFCurve* x = Curve(Find("A"), 0);
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(x->KeyGetTime(0).Get(), want);
        EXPECT_EQ(x->KeyGetTime(2).Get() - x->KeyGetTime(0).Get(), 2 * VTime::kOneSecond / 100);
        const std::string messages = reader.GetMessageText().Buffer();
        const size_t said = messages.find("OrigDataStartFrame");
        EXPECT_EQ(said != std::string::npos, c.warned) << messages;
        if (said != std::string::npos)
            EXPECT_EQ(messages.find("OrigDataStartFrame", said + 1), std::string::npos);
        const size_t time = messages.find("The Time column disagrees with the frame numbers");
        EXPECT_EQ(time != std::string::npos, c.timeWarned) << messages;
        if (time != std::string::npos)
            EXPECT_NE(messages.find("at DataRate 100: line 6 (frame 50) is at "), std::string::npos)
                << messages;

        // TRC -> TRC: the header's start frame and every line's number stay.
        Find("A")->SetMarked(1);
        Find("TRC:optical")->SetMarked(1);
        const std::string again = TempPath("trc_lines_again.trc");
        VOxaWriterMotionAnalysisTrc writer(mManager);
        ASSERT_TRUE(WriteWith(writer, again, [&](VStreamOptionsMotion& o) {
            o.SetTimeMode(0, 100.0);
            o.SetStartTime(start);
            o.SetFrameCount(3);
        }));
        const std::string text = ReadFile(again);
        char header[64], first[64], last[64];
        std::snprintf(header, sizeof header, "\tmm\t100.00\t%d\t3\t\n", c.startFrame);
        std::snprintf(first, sizeof first, "\n%d\t%.3f\t", c.startFrame, (c.startFrame - 1) / 100.0);
        std::snprintf(last, sizeof last, "\n%d\t%.3f\t", c.startFrame + 2, (c.startFrame + 1) / 100.0);
        EXPECT_NE(text.find(header), std::string::npos) << text;
        EXPECT_NE(text.find(first), std::string::npos) << text;
        EXPECT_NE(text.find(last), std::string::npos) << text;
    }
}

TEST_F(Trc, trc_HeaderRules) {
    const std::string path = TempPath("trc_start.trc");
    WriteFile(path, std::string(kType4Header) + "100\t100\t1\t1\tmm\t100\t101\t1\n" +
                        "Frame#\tTime\tA\nX1\tY1\tZ1\n101\t1.0\t1\t2\t3\n");
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
        Type3("mm", -1, 1) + names,
        Type3("mm", 1, -1) + names,
        Type3("mm", 1, 1) + "Frame#\tTime\tA\nX1\tZ1\tY1\n1\t0\t1\t2\t3\n",  // labels out of order
        Type3("mm", 1, 1) + "Frame\tTime\tA\nX1\tY1\tZ1\n1\t0\t1\t2\t3\n",   // no "Frame#"
        Type3("mm", 1, 1) + "Frame#\tTime\tA\nX1\tY1\tZ1\n1\tx\t1\t2\t3\n",  // a word for the time
        std::string("PathFileType\t5\t(X/Y/Z)\n") + "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n" +
            "100\t100\t1\t1\tmm\n" + names,
        std::string("PathFileType\t3\t(X/Y/Z)\n") + "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n" +
            "0\t100\t1\t1\tmm\n" + names,
    };
    for (const std::string& text : bad) {
        EXPECT_FALSE(ReadText("trc_bad.trc", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
    // A word for the start frame, which only describes the capture, is passed over.
    EXPECT_TRUE(
        ReadText("trc_first.trc", std::string(kType4Header) + "100\t100\t1\t1\tmm\t100\tfirst\n" + names));
    // No markers at all is an empty take, not a corrupted file.
    EXPECT_TRUE(ReadText("trc_none.trc", Type3("mm", 1, 0) + "Frame#\tTime\n\n1\t0\n"));
}

TEST_F(Trc, trc_TabsSplitLinesThatHaveThemAndBlanksPadFields) {
    // Tab-separated lines whose fields are padded with blanks ("       NaN" is one field, a field of
    // blanks only is empty), then a line without tabs, split at runs of blanks.
    const std::string text =
        Type3("mm", 3, 3) + "Frame#\tTime\tA\t\t\tB\t\t\tC\t\t\t\n" +
        "\tX1\tY1\tZ1\tX2\tY2\tZ2\tX3\tY3\tZ3\n\n" +
        "  1\t 0.000\t   1.5\t   2.5\t   3.5\t       NaN\t       NaN\t       NaN\t  10\t  20\t  30\n" +
        "2\t0.010\t     4\t     5\t     6\t     7\t   NaN\t     9\t      \t      \t      \n" +
        "3   0.020  7  8  9   11 12 13    14 15 16\n";
    ASSERT_TRUE(ReadText("trc_padded.trc", text));
    EXPECT_EQ(MarkerNames(), "A;B;C;");
    VOxaNode* a = Find("A");
    VOxaNode* b = Find("B");
    VOxaNode* c = Find("C");
    // Millimetres in the file, centimetres in the scene.
    const float expectA[3][3] = {{0.15f, 0.25f, 0.35f}, {0.4f, 0.5f, 0.6f}, {0.7f, 0.8f, 0.9f}};
    for (int f = 0; f < 3; ++f) {
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_FLOAT_EQ(Key(a, axis, f), expectA[f][axis]) << f << " " << axis;
        EXPECT_EQ(Key(a, 9, f), 0.0f) << f;
    }
    // B: a gap of three NaN fields, then one NaN among numbers, then valid.
    EXPECT_EQ(Key(b, 9, 0), 1.0f);
    EXPECT_EQ(Key(b, 9, 1), 1.0f);
    EXPECT_EQ(Key(b, 9, 2), 0.0f);
    EXPECT_FLOAT_EQ(Key(b, 0, 2), 1.1f);
    // C: valid, a gap of blank fields, valid; every value in its own column.
    EXPECT_FLOAT_EQ(Key(c, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(Key(c, 2, 0), 3.0f);
    EXPECT_EQ(Key(c, 9, 0), 0.0f);
    EXPECT_EQ(Key(c, 9, 1), 1.0f);
    EXPECT_FLOAT_EQ(Key(c, 0, 2), 1.4f);
    EXPECT_FLOAT_EQ(Key(c, 2, 2), 1.6f);
}

TEST_F(Trc, trc_LineEndsDoNotChangeWhatTheFileHolds) {
    // A frame line ending in tabs: the carriage return of a CR LF end is not one more empty field.
    const std::string lf = Type3("mm", 2, 1) + "Frame#\tTime\tA\t\t\t\nX1\tY1\tZ1\t\n\n" +
                           "1\t0.000\t1\t2\t3\t\t\t\n2\t0.010\t4\t5\t6\t\t\t\n";
    std::string crlf;
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    // Several carriage returns, and a last line without its newline, end lines just the same.
    const std::string mixed = crlf.substr(0, crlf.size() - 2) + "\r\r";
    for (const std::string& text : {lf, crlf, mixed}) {
        mScene = mManager->CreateScene();  // each text into a scene of its own
        ASSERT_TRUE(ReadText("trc_ends.trc", text));
        EXPECT_EQ(MarkerNames(), "A;");
        EXPECT_FLOAT_EQ(Key(Find("A"), 2, 1), 0.6f);
        EXPECT_EQ(Key(Find("A"), 9, 1), 0.0f);
    }
}

TEST_F(Trc, trc_StartFrameBelowOneIsTheFirstFrame) {
    const std::string names = "Frame#\tTime\tA\nX1\tY1\tZ1\n";
    // Five frame lines from frame `first` (from 1) on, at 250 frames per second.
    auto lines = [](int first) {
        std::string text;
        for (int f = first; f < first + 5; ++f)
            text += std::to_string(f) + "\t" + std::to_string((f - 1) * 0.004) + "\t1\t2\t" +
                    std::to_string(f) + "\n";
        return text;
    };
    const std::string frames = lines(1);
    for (int startFrame : {0, -7, 1, 3}) {
        const std::string path = TempPath("trc_start0.trc");
        WriteFile(path, Type4(250, 5, startFrame) + names + lines(startFrame < 1 ? 1 : startFrame));
        VOxaReaderMotionAnalysisTrc reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        const int64_t first = startFrame < 1 ? 0 : startFrame - 1;
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetStartTime().Get(),
                  first * VTime::kOneSecond / 250)
            << startFrame;
    }

    // Read with its own options, the take converts to C3D at its own rate and comes back whole.
    VTime start(-1);
    double rate = 0.0;
    WriteFile(TempPath("trc_start0.trc"), Type4(250, 5, 0) + names + frames);
    VOxaReaderMotionAnalysisTrc reader(mManager);
    ASSERT_TRUE(ReadWith(reader, TempPath("trc_start0.trc"), [&](VStreamOptionsMotion& o) {
        start = o.GetStartTime();
        rate = o.GetFrameRate();
    }));
    EXPECT_EQ(start.Get(), 0);
    Find("A")->SetMarked(1);  // the marker writers write the marked nodes
    const std::string c3d = TempPath("trc_start0.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, c3d, [&](VStreamOptionsMotion& o) {
        o.SetTimeMode(0, rate);
        o.SetStartTime(start);
        o.SetFrameCount(5);
    })) << writer.GetError().GetLastErrorString().Buffer();
    VOxaReaderVicon back(mManager);
    ASSERT_TRUE(back.FileOpen(c3d.c_str()));
    std::unique_ptr<VStreamOptions> options(back.GetReadOptions());
    ASSERT_NE(options, nullptr) << back.GetError().GetLastErrorString().Buffer();
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    EXPECT_EQ(motion->GetFrameCount(), 5);
    EXPECT_NEAR(motion->GetFrameRate(), 250.0, 1e-3);
}

TEST_F(Trc, trc_RefusalsSayWhere) {
    const std::string names = "Frame#\tTime\tA\tB\nX1\tY1\tZ1\tX2\tY2\tZ2\n";
    const std::string frame = "1\t0\t1\t2\t3\t4\t5\t6\n";
    // A header that promises frames the file does not hold at all.
    EXPECT_EQ(Refusal(Type3("mm", 900, 2) + names),
              "File is corrupted: line 5: the file ends after 0 of 900 frames");
    // NumMarkers twice the names, and labels that are not the names': the names run on over the
    // labels, and the labels over a frame.
    EXPECT_EQ(Refusal(Type3("mm", 1, 4) + "Frame#\tTime\tA\tB\nX1\tY1\tZ1\tX2\tY2\n" + frame),
              "File is corrupted: line 6: coordinate label \"1\" where the X label of marker 1 is expected; "
              "NumMarkers is 4, but the names line (line 4) holds 2 names");
    EXPECT_EQ(Refusal(Type3("mm", 1, 2) + "Frame#\tTime\tA\tB\nX1\tY1\tZ1\tX2\tZ2\tY2\n" + frame),
              "File is corrupted: line 5: coordinate label \"Z2\" where the Y label of marker 2 is expected");
    EXPECT_EQ(Refusal(Type3("mm", 1, 2) + "Frame#\tTime\tA\n"),
              "File is corrupted: line 4: the file ends after 1 of 2 marker names");
    // Blanks inside the fields of the first line are what follows a keyword; blanks around the
    // units are not part of them.
    const std::string blanks = "PathFileType  4\t(X/Y/Z) take.trc\n" +
                               std::string(kType4Header).substr(std::string(kType4Header).find('\n') + 1);
    EXPECT_EQ(Refusal(blanks + "100\t100\t1\t2\tmm\t100\t1\t1\n" + names + frame), "");
    EXPECT_EQ(Refusal(blanks + "100\t100\t1\t2\t mm \t100\t1\t1\n" + names + frame), "");
    EXPECT_EQ(Refusal(blanks + "100\t100\t1\t2\tm m\t100\t1\t1\n" + names + frame), "");
    // Empty, cut short, and wrong header values.
    const std::string line1 = "PathFileType\t3\t(X/Y/Z)\tsample.trc\n";
    const std::string line2 = "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n";
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "the file is empty"},
        {"\n\r\n\n", "line 3: the file holds nothing but blank lines"},
        {line1, "line 1: the file ends after the first header line"},
        {line1 + line2, "line 2: the file ends after the second header line"},
        {line1 + line2 + "100\t100\t1", "line 3: the NumMarkers value \"\" is not a whole number"},
        {line1 + line2 + "100\t100\t1\t2", "line 3: the line ends before the Units value"},
        {Type3("mm", -1, 2), "line 3: NumFrames is -1"},
        {line1 + line2 + "0\t100\t1\t2\tmm\n", "line 3: a DataRate of 0 has no usable frame period"},
        {line1 + line2 + "fast\t100\t1\t2\tmm\n", "line 3: the DataRate value \"fast\" is not a number"},
        {"Path\t3\n", "line 1: \"PathFileType\" expected at the start of the file, found \"Path\""},
        {"PathFileType\t5\t(X/Y/Z)\n", "line 1: path file type 5 (3 or 4 expected)"},
        {"PathFileType\t4\n", "line 1: \"(X/Y/Z)\" expected after the path file type, but the line ends"},
        {line1 + "DataRate\tCameraRate\tNumMarkers\n",
         "line 2: \"NumFrames\" expected next, found \"NumMarkers\""},
        {Type3("mm", 1, 2) + "Time\tFrame#\n",
         "line 4: \"Frame#\" expected at the start of the names line, found \"Time\""},
        {Type3("mm", 1, 2) + names + "1\t0\n", "line 6: frame 1: no time after the frame number"},
        {Type3("mm", 1, 2) + names + "1\t0.1s\t1\t2\t3\n", "line 6: frame 1: no time after the frame number"},
        {Type3("mm", 1, 2) + names + "1 zero 1 2 3\n", "line 6: frame 1: no time after the frame number"},
        {Type3("mm", 1, 2) + names + "one\t0\t1\n",
         "line 6: the line does not start with a frame number and a tab"},
        {Type3("mm", 1, 2) + names + "30000000000\t0\t1\n",
         "line 6: the frame number 30000000000 lies beyond the 32-bit frame numbers (-2147483647 to "
         "2147483647)"},
        {Type3("mm", 1, 2) + names + "7\t0\n", "line 6: frame 7: no time after the frame number"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Refusal(c.text), std::string("File is corrupted: ") + c.why) << c.text;
}

// Every marker becomes a node with its curves: a file may not ask for more of them than a C3D
// file can hold, whether its header counts them or a frame line brings them.
TEST_F(Trc, trc_MarkerCountIsBounded) {
    auto oneFrame = [](int markers, int points) {
        std::string text = Type3("mm", 1, markers) + "Frame#\tTime";
        for (int i = 0; i < markers; ++i)
            text += "\tm" + std::to_string(i) + "\t\t";
        text += "\n\t";
        for (int i = 1; i <= markers; ++i)
            text += "\tX" + std::to_string(i) + "\tY" + std::to_string(i) + "\tZ" + std::to_string(i);
        text += "\n1\t0";
        for (int i = 0; i < points; ++i)
            text += "\t1\t2\t3";
        return text + "\n";
    };
    const int nodesBefore = mManager->GetNodeCount();
    EXPECT_EQ(Refusal(oneFrame(100000, 100000)),
              "File is corrupted: the header gives 100000 markers, more than 65535");
    EXPECT_EQ(Refusal(oneFrame(2, 70000)),
              "File is corrupted: frame 1: 70000 points, more than 65535 markers");
    EXPECT_EQ(mManager->GetNodeCount(), nodesBefore);
    EXPECT_EQ(Refusal(oneFrame(3, 3)), "");
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
    // A UTF-8 byte-order mark before the first line is skipped.
    WriteFile(tc,
              "\xEF\xBB\xBF"
              "01:00:00:00\nSMPTE\n30\n");
    EXPECT_EQ(options().Get(), hour.Get());
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
    const int modes[][2] = {{24, 11}, {25, 10}, {29, 8},  {30, 6}, {50, 4},
                            {60, 3},  {100, 2}, {120, 1}, {48, 0}};
    for (const auto& m : modes)
        EXPECT_EQ(VOxaTrcTimeModeFromRate(m[0] + 0.5), m[1]) << m[0];
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
