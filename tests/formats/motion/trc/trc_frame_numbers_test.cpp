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
    std::string messages =
        Read(File(6, {"1 0 1", "2 0.01 2", "3 0.02 3", "5 0.04 5", "6 0.05 6"}), &frames);
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
    EXPECT_NE(messages.find("The header gives 8 frames, but the file's frame lines end at its frame 5; those 5 "
                            "are read."),
              std::string::npos)
        << messages;
    mScene->Clear();

    // A number that goes back is read as the next frame, and said so.
    messages = Read(File(4, {"1 0 1", "2 0.01 2", "2 0.02 3", "4 0.03 4"}), &frames);
    EXPECT_EQ(frames, 4);
    EXPECT_NE(messages.find("1 frame lines do not follow the frame numbers before them (the first at line 9)"),
              std::string::npos)
        << messages;
    a = Find("A");
    ASSERT_NE(a, nullptr);
    EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(2), 0.3f);
    EXPECT_FLOAT_EQ(Curve(a, 0)->KeyGetValue(3), 0.4f);
}

TEST_F(TrcFrames, TheTimeColumnIsCheckedAgainstDataRate) {
    // Times 1/200 s apart under a DataRate of 100: frame 3 is at 0.01 s where 100 Hz puts it at
    // 0.02 s (frame 2's half period is within rounding).
    int frames = 0;
    std::string messages = Read(File(4, {"1 0 1", "2 0.005 2", "3 0.010 3", "4 0.015 4"}), &frames);
    EXPECT_NE(messages.find("The Time column disagrees with DataRate 100: frame 3 (line 9) is at 0.01 s where "
                            "the rate puts it at 0.02 s; the frames are placed by DataRate."),
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
        "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFrames\n"
        "50\t50\t2\t4\tmm\t50\t1\t2\n"
        "Frame#\tTime\tA\t\t\tB\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\n\n"
        "1\t0.00\t1\t2\t3\t4\t5\t6\n2\t0.02\t7\t8\t9\t10\t11\t12\n";
    int frames = 0;
    const std::string messages = Read(text, &frames);
    EXPECT_EQ(frames, 2);
    EXPECT_NE(messages.find("NumMarkers is 4, but the names line (line 4) holds 2 names and the labels line 6 "
                            "coordinates; those 2 markers are read."),
              std::string::npos)
        << messages;
    VOxaNode* b = Find("B");
    ASSERT_NE(b, nullptr);
    EXPECT_FLOAT_EQ(Curve(b, 2)->KeyGetValue(1), 1.2f);  // 12 mm
    EXPECT_EQ(Find("*Unnamed_3"), nullptr);
}

}  // namespace
