// TRC frame lines placed by their frame numbers, the Time column against DataRate, and headers
// that give more markers than the file names.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class TrcFrames : public Fixture {
protected:
    // A type 3 TRC in millimetres at 100 Hz whose header gives `frames` frames of one marker A;
    // each of `lines` is "number time x".
    static std::string File(int frames, const std::vector<std::string>& lines) {
        std::string text = std::string("PathFileType\t3\t(X/Y/Z)\tf.trc\n") +
                           "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n100\t100\t" +
                           std::to_string(frames) + "\t1\tmm\nFrame#\tTime\tA\t\t\t\n\t\tX1\tY1\tZ1\n\n";
        for (const std::string& line : lines) {
            int number = 0;
            double time = 0, x = 0;
            std::sscanf(line.c_str(), "%d %lf %lf", &number, &time, &x);
            char out[80];
            std::snprintf(out, sizeof out, "%d\t%.3f\t%g\t0\t0\n", number, time, x);
            text += out;
        }
        return text;
    }
    std::string Read(const std::string& text, int* frames) {
        const std::string path = TempPath("frames.trc");
        WriteFile(path, text);
        VOxaReaderMotionAnalysisTrc reader(mManager);
        if (!reader.FileOpen(path.c_str())) return "not opened";
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!options) return reader.GetError().GetLastErrorString().Buffer();
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        *frames = motion->GetFrameCount();
        // Gaps as the file has them, not held at the last position.
        motion->SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
        const bool ok = reader.Read(mScene, options.get());
        reader.FileClose();
        return ok ? reader.GetMessageText().Buffer() : reader.GetError().GetLastErrorString().Buffer();
    }
};

TEST_F(TrcFrames, LinesArePlacedByTheirFrameNumbers) {
    // Frame 4's line is missing: frames 5 and 6 stay at 0.04 and 0.05 s (100 Hz from frame 1 at 0),
    // frame 4 is a gap. x is the frame number in mm, 0.1 cm once read.
    int frames = 0;
    std::string messages = Read(File(6, {"1 0 1", "2 0.01 2", "3 0.02 3", "5 0.04 5", "6 0.05 6"}), &frames);
    EXPECT_EQ(frames, 6);
    EXPECT_NE(messages.find("1 frames have no line (the first is frame 4); they are gaps in every marker."),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("Time column"), std::string::npos) << messages;
    VOxaNode* a = Find("A");
    ASSERT_NE(a, nullptr);
    VFCurve* x = Curve(a, 0);
    VFCurve* gap = Curve(a, 9);
    ASSERT_EQ(x->KeyGetCount(), 6);
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(x->KeyGetTime(j).Get(), VTime::kOneSecond / 100 * j);
        EXPECT_EQ(gap->KeyGetValue(j), j == 3 ? 1.0f : 0.0f);
        if (j != 3) EXPECT_FLOAT_EQ(x->KeyGetValue(j), 0.1f * (j + 1));
    }
    mScene->Clear();

    // Frames numbered from 11 with 13 and 14 missing; the header's 5 frames end at frame 15, so
    // the line of frame 16 is not read.
    messages = Read(File(5, {"11 0.10 11", "12 0.11 12", "15 0.14 15", "16 0.15 16"}), &frames);
    EXPECT_EQ(frames, 5);
    EXPECT_NE(messages.find("2 frames have no line (the first is frame 13)"), std::string::npos) << messages;
    a = Find("A");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(Curve(a, 0)->KeyGetCount(), 5);
    EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(4), 1.5f);
    EXPECT_EQ(Curve(a, 0)->KeyGetTime(4).Get(), VTime::kOneSecond / 100 * 14);
    mScene->Clear();

    // A file cut after a missing line: the header's 8 frames, lines up to frame 5.
    messages = Read(File(8, {"1 0 1", "2 0.01 2", "3 0.02 3", "5 0.04 5"}), &frames);
    EXPECT_EQ(frames, 5);
    EXPECT_NE(
        messages.find("The header gives 8 frames, but the file's frame lines end at its frame 5; those 5 "
                      "are read."),
        std::string::npos)
        << messages;
    mScene->Clear();

    // A repeated frame number: the first line of the frame is read, the repeat is said with its
    // line, and frame 3, which no line gives, is a gap.
    messages = Read(File(4, {"1 0 1", "2 0.01 2", "2 0.02 3", "4 0.03 4"}), &frames);
    EXPECT_EQ(frames, 4);
    EXPECT_NE(
        messages.find("1 frame lines repeat the frame of a line before them and are not read (the first: "
                      "line 9 repeats frame 2 of line 8)."),
        std::string::npos)
        << messages;
    EXPECT_NE(messages.find("1 frames have no line (the first is frame 3)"), std::string::npos) << messages;
    a = Find("A");
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(1), 0.2f);
    EXPECT_EQ(Curve(a, 9)->KeyGetValue(2), 1.0f);
    EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(3), 0.4f);
}

TEST_F(TrcFrames, LinesInAnyOrderAreReadAtTheirFrames) {
    // Each case: the header's frame count, the lines as "number time x" (x is the frame number
    // in mm), the frames read, which of them are gaps, and what is said. A frame f from the take's
    // first frame b lies at (f - b) / 100 s and holds x = f mm = f / 10 cm.
    const struct {
        int header;
        std::vector<std::string> lines;
        int first;
        int frames;
        std::vector<int> gaps;
        std::vector<std::string> said;
    } cases[] = {
        {3, {"1 0 1", "3 0.02 3", "2 0.01 2"}, 1, 3, {}, {}},
        {3, {"3 0.02 3", "1 0 1", "2 0.01 2"}, 1, 3, {}, {}},
        {3,
         {"1 0 1", "1000 9.99 1000", "3 0.02 3"},
         1,
         3,
         {2},
         {"1 frame lines lie outside the 3 frames from frame 1 that NumFrames gives and are not read (the "
          "first: "
          "line 8 gives frame 1000).",
          "1 frames have no line (the first is frame 2)"}},
        {5,
         {"1 0 1", "2 0.01 2", "3 0.02 3", "5 0.04 5", "6 0.05 6"},
         1,
         5,
         {4},
         {"1 frame lines lie outside the 5 frames from frame 1 that NumFrames gives and are not read (the "
          "first: "
          "line 11 gives frame 6)."}},
        // One stray number does not move the take: frames 11 to 14 hold the most lines.
        {4,
         {"-7 0 -7", "11 0.10 11", "12 0.11 12", "13 0.12 13", "14 0.13 14"},
         11,
         4,
         {},
         {"line 7 gives frame -7"}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n++);
        int frames = 0;
        const std::string messages = Read(File(c.header, c.lines), &frames);
        EXPECT_EQ(frames, c.frames) << messages;
        for (const std::string& said : c.said)
            EXPECT_NE(messages.find(said), std::string::npos) << messages;
        if (c.said.empty()) EXPECT_EQ(messages, "");
        VOxaNode* a = Find("A");
        ASSERT_NE(a, nullptr) << messages;
        ASSERT_EQ(Curve(a, 0)->KeyGetCount(), c.frames);
        for (int j = 0; j < c.frames; ++j) {
            const int f = c.first + j;
            bool gap = false;
            for (int g : c.gaps)
                gap = gap || g == f;
            EXPECT_EQ(Curve(a, 9)->KeyGetValue(j), gap ? 1.0f : 0.0f) << f;
            EXPECT_EQ(Curve(a, 0)->KeyGetTime(j).Get() - Curve(a, 0)->KeyGetTime(0).Get(),
                      VTime::kOneSecond / 100 * j);
            if (!gap) EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(j), 0.1f * f) << f;
        }
        EXPECT_NEAR(Curve(a, 0)->KeyGetTime(0).GetSecondDouble(), c.first == 11 ? 0.10 : 0.0, 1e-9);
        mScene->Clear();
    }
}

TEST_F(TrcFrames, TimesThatAreNoNumberAreSaidAndTheFramesKept) {
    // Times "nan", "inf" and blank: the frames stay at the rate's places with their values.
    std::string text = File(4, {"1 0 1", "2 0.01 2", "3 0.02 3", "4 0.03 4"});
    text.replace(text.find("2\t0.010"), 7, "2\tnan");
    text.replace(text.find("3\t0.020"), 7, "3\t-INF");
    text.replace(text.find("4\t0.030"), 7, "4\t");
    int frames = 0;
    const std::string messages = Read(text, &frames);
    EXPECT_EQ(frames, 4);
    EXPECT_NE(
        messages.find("3 frame lines have a Time that is blank or no number (the first at line 8: \"nan\"); "
                      "those frames are placed by their numbers."),
        std::string::npos)
        << messages;
    VOxaNode* a = Find("A");
    ASSERT_NE(a, nullptr);
    for (int j = 0; j < 4; ++j) {
        EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(j), 0.1f * (j + 1));
        EXPECT_EQ(Curve(a, 0)->KeyGetTime(j).Get(), VTime::kOneSecond / 100 * j);
    }
    mScene->Clear();
    // The first line's Time is the one left out: the frame numbers still give the start, and the
    // next line's Time is checked against them.
    text = File(2, {"1 0 1", "2 5.01 2"});
    text.replace(text.find("1\t0.000"), 7, "1\tnan");
    const std::string said = Read(text, &frames);
    EXPECT_NE(said.find("(the first at line 7: \"nan\")"), std::string::npos) << said;
    EXPECT_NE(said.find("line 8 (frame 2) is at 5.010 s where its number puts it at 0.01 s"),
              std::string::npos)
        << said;
    a = Find("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Curve(a, 0)->KeyGetTime(0).Get(), 0);
}

TEST_F(TrcFrames, BlankHeaderValuesAreLeftOut) {
    // Blank CameraRate, NumFrames and NumMarkers: the lines give the frames, the names line the
    // markers. Blank Units are millimetres, said so.
    const std::string body =
        "Frame#\tTime\tA\t\t\tB\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\n"
        "1\t0\t1\t2\t3\t4\t5\t6\n2\t0.02\t7\t8\t9\t10\t11\t12\n";
    const std::string head =
        "PathFileType\t4\t(X/Y/Z)\tf.trc\n"
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\t"
        "OrigNumFrames\n";
    int frames = 0;
    std::string messages = Read(head + "50\t\t\t\tcm\t\t\t\n" + body, &frames);
    EXPECT_EQ(frames, 2) << messages;
    EXPECT_EQ(messages, "");
    VOxaNode* b = Find("B");
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(Curve(b, 2)->KeyGetValue(1), 12.0f);  // 12 cm
    mScene->Clear();
    // Counts written as decimals ("2.0") are the whole numbers they are.
    messages = Read(head + "50\t50\t2.0\t2.0\t\t50\t1.0\t2\n" + body, &frames);
    EXPECT_NE(messages.find("The Units value is blank; the positions are read as millimetres."),
              std::string::npos)
        << messages;
    b = Find("B");
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(Curve(b, 2)->KeyGetValue(1), 1.2f);
    mScene->Clear();
    // Two tabs between every value are padding, not blank values.
    messages = Read(head + "  50.0\t\t 50.0\t\t 2\t\t 2\t\t cm\t 50.0\t 1\t 2\n" + body, &frames);
    EXPECT_EQ(messages, "");
    b = Find("B");
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(Curve(b, 2)->KeyGetValue(1), 12.0f);
    mScene->Clear();
    // A blank DataRate is refused by name.
    EXPECT_EQ(Read(head + "\t50\t2\t2\tmm\t50\t1\t2\n" + body, &frames),
              "File is corrupted: line 3: the DataRate value is blank");

    // Units as the other motion readers take them: x = 1 file unit in centimetres; a word that is
    // no unit is millimetres, said so.
    const struct {
        const char* units;
        double centimetres;
    } units[] = {{"in", 2.54},      {"dm", 10.0}, {"km", 100000.0}, {"um", 1e-4},
                 {"meters", 100.0}, {"MM", 0.1},  {"furlong", 0.1}};
    for (const auto& u : units) {
        messages = Read(head + "50\t50\t2\t2\t" + u.units + "\t50\t1\t2\n" + body, &frames);
        b = Find("B");
        ASSERT_NE(b, nullptr) << u.units << " " << messages;
        EXPECT_NEAR(Curve(b, 0)->KeyGetValue(0), 4.0 * u.centimetres, 4e-6 * u.centimetres) << u.units;
        EXPECT_EQ(
            messages.find("is no length unit; the positions are read as millimetres") != std::string::npos,
            u.units == std::string("furlong"))
            << messages;
        mScene->Clear();
    }
}
TEST_F(TrcFrames, TheTimeColumnIsCheckedAgainstTheFrameNumbers) {
    // Times 1/200 s apart under a DataRate of 100: frame 3 is at 0.01 s where 100 Hz puts it at
    // 0.02 s (frame 2's half period is within rounding).
    int frames = 0;
    std::string messages = Read(File(4, {"1 0 1", "2 0.005 2", "3 0.010 3", "4 0.015 4"}), &frames);
    EXPECT_NE(
        messages.find("The Time column disagrees with the frame numbers at DataRate 100: line 9 (frame 3) "
                      "is at 0.010 s where its number puts it at 0.02 s; the frames are placed by their "
                      "numbers."),
        std::string::npos)
        << messages;
    mScene->Clear();
    // Lines out of order: the first line of the file that disagrees is named, its Time as written.
    messages = Read(File(3, {"3 9.123 3", "1 0 1", "2 7.5 2"}), &frames);
    EXPECT_NE(messages.find("line 7 (frame 3) is at 9.123 s where its number puts it at 0.02 s"),
              std::string::npos)
        << messages;
    mScene->Clear();
    // Times rounded to whole milliseconds at 300 Hz are no disagreement.
    std::string text = File(3, {"1 0 1", "2 0.003 2", "3 0.007 3"});
    text.replace(text.find("100\t100"), 7, "300\t300");
    messages = Read(text, &frames);
    EXPECT_EQ(messages, "");
}

TEST_F(TrcFrames, NamesFewerThanNumMarkersAreTheMarkers) {
    // NumMarkers 4 with two names, two markers' labels and frames: the two markers, and a warning
    // giving both counts.
    const std::string text =
        "PathFileType\t4\t(X/Y/Z)\tgait.trc\n"
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames"
        "\n"
        "50\t50\t2\t4\tmm\t50\t1\t2\n"
        "Frame#\tTime\tA\t\t\tB\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\n\n"
        "1\t0.00\t1\t2\t3\t4\t5\t6\n2\t0.02\t7\t8\t9\t10\t11\t12\n";
    int frames = 0;
    std::string messages = Read(text, &frames);
    EXPECT_EQ(frames, 2);
    EXPECT_NE(
        messages.find("NumMarkers is 4, but the names line (line 4) holds 2 names and the labels line 6 "
                      "coordinates; those 2 markers are read."),
        std::string::npos)
        << messages;
    VOxaNode* b = Find("B");
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(Curve(b, 2)->KeyGetValue(1), 1.2f);  // 12 mm
    EXPECT_EQ(Find("*Unnamed_3"), nullptr);
    mScene->Clear();

    // NumMarkers 3, two names and four markers' coordinates on the lines: the warning counts the
    // four read, the two named and *Unnamed_3 and *Unnamed_4.
    std::string four = text;
    four.replace(four.find("50\t50\t2\t4"), 9, "50\t50\t2\t3");
    four.replace(four.find("1\t0.00\t1\t2\t3\t4\t5\t6\n"), 19,
                 "1\t0.00\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\n");
    messages = Read(four, &frames);
    EXPECT_NE(
        messages.find("NumMarkers is 3, but the names line (line 4) holds 2 names and the labels line 6 "
                      "coordinates; the frame lines hold 4 markers' coordinates: the 2 named and 2 more, "
                      "*Unnamed_3 to *Unnamed_4, are read."),
        std::string::npos)
        << messages;
    ASSERT_NE(Find("*Unnamed_4"), nullptr);
    EXPECT_FLOAT_EQ(Curve(Find("*Unnamed_4"), 0)->KeyGetValue(0), 1.0f);  // 10 mm
    mScene->Clear();

    // NumMarkers 0 over lines that hold two markers: both are read, unnamed, and said.
    std::string none = text;
    none.replace(none.find("50\t50\t2\t4"), 9, "50\t50\t2\t0");
    messages = Read(none, &frames);
    EXPECT_NE(messages.find("NumMarkers is 0, but the frame lines hold 2 markers' coordinates: *Unnamed_1 to "
                            "*Unnamed_2 are read."),
              std::string::npos)
        << messages;
    ASSERT_NE(Find("*Unnamed_2"), nullptr);
    EXPECT_FLOAT_EQ(Curve(Find("*Unnamed_2"), 2)->KeyGetValue(1), 1.2f);  // 12 mm
    EXPECT_EQ(Find("A"), nullptr);
}

}  // namespace
