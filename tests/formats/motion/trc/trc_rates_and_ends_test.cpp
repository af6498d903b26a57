// TRC (and C3D) rates, files cut short, and values beyond what the formats hold.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "formats/motion/c3d/voxa_file_vicon.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class TrcRates : public Fixture {
protected:
    // A type 3 TRC in millimetres of one marker A over `lines` frame lines at 100 Hz, whose
    // header gives `frames`; frame j holds x = j.
    static std::string Cut(int frames, int lines) {
        std::string text = std::string("PathFileType\t3\t(X/Y/Z)\tcut.trc\n") +
                           "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n100\t100\t" +
                           std::to_string(frames) + "\t1\tmm\nFrame#\tTime\tA\t\t\t\n\t\tX1\tY1\tZ1\n\n";
        for (int j = 0; j < lines; ++j) {
            char line[80];
            std::snprintf(line, sizeof line, "%d\t%.2f\t%d\t0\t0\n", j + 1, j / 100.0, j);
            text += line;
        }
        return text;
    }
    std::string ReadMessages(VOxaReader& reader, const std::string& path, int* frameCount = nullptr) {
        if (!reader.FileOpen(path.c_str())) return "not opened";
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (!options) return reader.GetError().GetLastErrorString().Buffer();
        if (frameCount) *frameCount = static_cast<VStreamOptionsMotion*>(options.get())->GetFrameCount();
        const bool ok = reader.Read(mScene, options.get());
        reader.FileClose();
        return ok ? reader.GetMessageText().Buffer() : reader.GetError().GetLastErrorString().Buffer();
    }
};

TEST_F(TrcRates, RatesAreWrittenWithTheDigitsTheyHave) {
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(1, 2, 3, 0), VgeTVector(2, 2, 3, 0)});
    struct Case {
        double rate;
        const char* text;  // the DataRate as the format's rules give it
        int decimals;      // of the Time column
    };
    // Two decimals where they hold the rate; else the shortest decimal that reads back the same.
    // Time: three decimals for whole milliseconds, else enough that half the last digit is at most
    // a twentieth of a frame: ceil(log10(10 x rate)).
    for (const Case& c : {Case{107.527, "107.527", 4}, Case{0.004, "0.004", 3}, Case{30.0, "30.00", 3},
                          Case{250.0, "250.00", 3}, Case{120.0, "120.00", 4}, Case{29.97, "29.97", 3}}) {
        SCOPED_TRACE(c.text);
        const std::string path = TempPath("rate.trc");
        VOxaWriterMotionAnalysisTrc writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
            o.SetFrameCount(60);
            o.SetTimeMode(0, c.rate);
        }));
        const std::string text = ReadFile(path);
        const std::string rate(c.text);
        EXPECT_NE(text.find("\n" + rate + "\t" + rate + "\t60\t1\tmm\t" + rate + "\t1\t60\t\n"),
                  std::string::npos)
            << text;
        // Frame 50's time, 49 periods in.
        char line[80];
        std::snprintf(line, sizeof line, "\n50\t%.*f\t", c.decimals, 49.0 / c.rate);
        EXPECT_NE(text.find(line), std::string::npos) << line << text.substr(text.find("\n49\t"), 200);

        // Read back, the rate is the take's.
        VOxaReaderMotionAnalysisTrc reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), c.rate);
    }
}

TEST_F(TrcRates, RatesAFileCannotHoldAreRefused) {
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(1, 2, 3, 0), VgeTVector(2, 2, 3, 0)});
    // A C3D reader takes rates above 0.001 and up to a million as they are, others as 30.
    for (double rate : {2.0e6, 1000001.0, 0.0005}) {
        SCOPED_TRACE(rate);
        const std::string path = TempPath("rate.c3d");
        WriteFile(path, "before");
        VOxaWriterVicon writer(mManager);
        int error = -1;
        EXPECT_FALSE(WriteWith(
            writer, path,
            [&](VStreamOptionsMotion& o) {
                o.SetFrameCount(2);
                o.SetTimeMode(0, rate);
            },
            &error));
        // Above a million, the bound of every motion writer; below 0.001, the C3D's own.
        char expected[200];
        if (rate > 1.0e6)
            std::snprintf(
                expected, sizeof expected,
                "at %.10g frames per second the take is faster than the 1000000 frames per second the "
                "motion formats hold: the take cannot be written",
                rate);
        else
            std::snprintf(
                expected, sizeof expected,
                "A C3D file holds frame rates above 0.001 and up to 1000000; the take's rate is %.10g.",
                rate);
        EXPECT_STREQ(writer.GetError().GetLastErrorString().Buffer(), expected);
        EXPECT_EQ(ReadFile(path), "before");
    }
}

TEST_F(TrcRates, RatesOfTheSamePeriodAreWrittenInTheirFewestDigits) {
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(1, 2, 3, 0), VgeTVector(2, 2, 3, 0)});
    // 1 / (1 / 59.94), as a BVH frame time gives it, has the frame period of 59.94.
    const double rate = 59.93999999999999;
    ASSERT_NE(rate, 59.94);
    const std::string trc = TempPath("period.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    ASSERT_TRUE(WriteWith(writer, trc, [&](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(0, rate);
    }));
    EXPECT_NE(ReadFile(trc).find("\n59.94\t59.94\t2\t1\tmm\t59.94\t1\t2\t\n"), std::string::npos)
        << ReadFile(trc);
    // A C3D rate is a float: 59.94 is stored as 59.939998626708984, and read as the decimal of
    // the fewest digits that is that float.
    const std::string c3d = TempPath("period.c3d");
    VOxaWriterVicon c3dWriter(mManager);
    ASSERT_TRUE(WriteWith(c3dWriter, c3d, [&](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(0, rate);
    }));
    VOxaReaderVicon reader(mManager);
    ASSERT_TRUE(reader.FileOpen(c3d.c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), 59.94);
    reader.FileClose();
}

TEST_F(TrcRates, FilesCutShortReadTheirWholeFrames) {
    // 73 of 900 frames.
    const std::string path = TempPath("cut.trc");
    WriteFile(path, Cut(900, 73));
    VOxaReaderMotionAnalysisTrc reader(mManager);
    int frames = -1;
    const std::string messages = ReadMessages(reader, path, &frames);
    EXPECT_EQ(frames, 73) << "the count the read options give";
    EXPECT_NE(messages.find(
                  "The header gives 900 frames, but the file ends after 73 frame lines; those 73 are read."),
              std::string::npos)
        << messages;
    VOxaNode* a = Find("A");
    ASSERT_NE(a, nullptr);
    VFCurve* x = Curve(a, 0);
    ASSERT_EQ(x->KeyGetCount(), 73);
    EXPECT_EQ(x->KeyGetValue(72), 7.2f);  // 72 mm

    // A whole file says nothing; a file with no frame line at all is refused.
    WriteFile(path, Cut(5, 5));
    VOxaReaderMotionAnalysisTrc whole(mManager);
    EXPECT_EQ(ReadMessages(whole, path), "");
    WriteFile(path, Cut(5, 0));
    VOxaReaderMotionAnalysisTrc empty(mManager);
    EXPECT_EQ(ReadMessages(empty, path), "File is corrupted: line 6: the file ends after 0 of 5 frames");
}

TEST_F(TrcRates, ALastLineCutBetweenItsFieldsIsDropped) {
    // Markers A and B over three frames; the last line as `last` gives it.
    auto file = [](const std::string& last) {
        return std::string("PathFileType\t3\t(X/Y/Z)\tcut.trc\n") +
               "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n100\t100\t3\t2\tmm\n"
               "Frame#\tTime\tA\t\t\tB\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\n\n"
               "1\t0.00\t0\t0\t0\t10\t0\t0\n2\t0.01\t1\t0\t0\t11\t0\t0\n" +
               last;
    };
    const std::string path = TempPath("cut_fields.trc");
    struct Case {
        const char* last;
        int frames;  // the frames read
        bool warned;
    };
    const Case cases[] = {
        {"3\t0.02\t2\t0\t0", 2, true},             // no line end, B's fields missing
        {"3\t0.02\t2\t0\t0\t12", 2, true},         // no line end, B's Y and Z missing
        {"3\t0.02\t2\t0\t0\n", 3, false},          // a whole line that leaves B out: a gap
        {"3\t0.02\t2\t0\t0\t12\t0\t0", 3, false},  // every field there, only the line end missing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.last);
        WriteFile(path, file(c.last));
        VOxaReaderMotionAnalysisTrc reader(mManager);
        int frames = -1;
        const std::string messages = ReadMessages(reader, path, &frames);
        EXPECT_EQ(frames, c.frames);
        const bool warned =
            messages.find(
                "The header gives 3 frames, but the file ends after 2 frame lines; those 2 are read.") !=
            std::string::npos;
        EXPECT_EQ(warned, c.warned) << messages;
        VOxaNode* a = Find("A");
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(Curve(a, 0)->KeyGetCount(), c.frames);
        mScene->Clear();
    }
}

TEST_F(TrcRates, C3dCutShortReadsItsWholeFrames) {
    std::vector<VgeTVector> positions;
    for (int j = 0; j < 900; ++j)
        positions.push_back(VgeTVector(j, 0, 0, 0));
    AddMarked(mScene->GetRootNode(), "A", positions);
    const std::string path = TempPath("cut.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(900);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    }));
    // Header word 9 is the first data block; a frame of one float point is 16 bytes. Cut in the
    // middle of frame 74.
    std::string bytes = ReadFile(path);
    const int dataBlock = (unsigned char)bytes[16] | ((unsigned char)bytes[17] << 8);
    bytes.resize((size_t)(dataBlock - 1) * 512 + 73 * 16 + 5);
    bytes[6] = 0, bytes[8] = (char)(899 & 0xFF), bytes[9] = (char)(899 >> 8);  // frames 0 to 899
    WriteFile(path, bytes);
    VOxaScene* kept = mScene;
    mScene = mManager->CreateScene();
    VOxaReaderVicon reader(mManager);
    int frames = -1;
    const std::string messages = ReadMessages(reader, path, &frames);
    EXPECT_EQ(frames, 73);
    EXPECT_NE(messages.find(
                  "The header gives 900 frames, but the file ends after 73 whole frames; those 73 are read."),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("first frame 0; C3D frames count from 1, so the take is read from frame 1"),
              std::string::npos);
    VFCurve* x = Curve(Find("A"), 0);
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(x->KeyGetCount(), 73);
    EXPECT_EQ(x->KeyGetValue(72), 72.0f);
    mManager->DestroyScene(mScene);
    mScene = kept;
}

TEST_F(TrcRates, ValuesBeyondTheFormatAreGapsWithAWarning) {
    // Writing: 2e29 cm is 2e30 mm, beyond the largest number written: a gap, said so, not a full
    // disk.
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(2e29, 0, 0, 0), VgeTVector(1, 2, 3, 0)});
    // 1e30 mm itself, as a single-precision key holds it (a little over), is written.
    AddMarked(mScene->GetRootNode(), "B", {VgeTVector((float)1e29, 0, 0, 0), VgeTVector(1, 2, 3, 0)});
    const std::string path = TempPath("large.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    }));
    EXPECT_NE(
        std::string(writer.GetMessageText().Buffer())
            .find("\"A\" at frame 1 has a position that is not a finite number or lies beyond +-1e+29; it "
                  "is written as a gap (1 such positions in all)."),
        std::string::npos)
        << writer.GetMessageText().Buffer();
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("\n1\t0.000\t\t\t\t1000000015047466219876688855040.00000\t0.00000\t0.00000 \n"),
              std::string::npos)
        << text;

    // Reading: a coordinate of 1e300 is a gap, said so.
    const std::string read = TempPath("large_read.trc");
    std::string file = Cut(2, 2);
    file.replace(file.rfind("\t0\t0\n"), 5, "\t1e300\t0\n");
    WriteFile(read, file);
    VOxaScene* kept = mScene;
    mScene = mManager->CreateScene();
    VOxaReaderMotionAnalysisTrc reader(mManager);
    const std::string messages = ReadMessages(reader, read);
    EXPECT_NE(
        messages.find(
            "1 coordinates lie beyond +-1e30 and are read as gaps (the first at line 8: frame 2, marker "
            "1: 1e300)."),
        std::string::npos)
        << messages;
    EXPECT_EQ(Key(Find("A"), 9, 1), 1.0f);
    mManager->DestroyScene(mScene);
    mScene = kept;
}

TEST_F(TrcRates, AStartBetweenFramesIsNumberedAlikeAndSaid) {
    // A take from 0.005 s at 100 frames per second: half a frame past frame 1. TRC and C3D give it
    // the same first frame (the nearest, half a frame going up: frame 2) and say so.
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(1, 2, 3, 0), VgeTVector(4, 5, 6, 0)});
    auto options = [](VStreamOptionsMotion& o) {
        o.SetTimeMode(0, 100.0);
        o.SetStartTime(VTime(VTime::kOneSecond / 200));
        o.SetFrameCount(2);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    };
    const char* said = "The take starts at 0.005 s, between two frames at 100 frames per second; ";
    VOxaWriterMotionAnalysisTrc trc(mManager);
    ASSERT_TRUE(WriteWith(trc, TempPath("half.trc"), options));
    EXPECT_NE(std::string(trc.GetMessageText().Buffer())
                  .find(std::string(said) + "TRC frame numbers start it at "
                                            "frame 2, 0.01 s (+0.005 s)."),
              std::string::npos)
        << trc.GetMessageText().Buffer();
    EXPECT_NE(ReadFile(TempPath("half.trc")).find("\n2\t0.005\t"), std::string::npos)
        << ReadFile(TempPath("half.trc"));
    VOxaWriterVicon c3d(mManager);
    ASSERT_TRUE(WriteWith(c3d, TempPath("half.c3d"), options));
    EXPECT_NE(std::string(c3d.GetMessageText().Buffer()).find(said), std::string::npos)
        << c3d.GetMessageText().Buffer();
    const std::string bytes = ReadFile(TempPath("half.c3d"));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ((unsigned char)bytes[6] | (unsigned char)bytes[7] << 8, 2);  // the header's first frame
}

TEST_F(TrcRates, TheStartWarningNamesTheLineRead) {
    // A type 4 header's OrigDataStartFrame against its frame lines (line 7 onwards, after a blank
    // line), as written: the warning quotes the header's value and comes only where the two
    // disagree; a refused line brings no warning of what was not read.
    struct Case {
        const char* start;  // OrigDataStartFrame
        const char* lines;  // the frame lines, "\n" ending each
        const char* said;   // in the messages ("" none of OrigDataStartFrame), or the refusal
        bool read;
    };
    const Case cases[] = {
        {"1", "11\t0.1\t1\t2\t3\n12\t0.11\t1\t2\t3\n",
         "The frame lines start at frame 11 (line 7), not at OrigDataStartFrame 1; the take starts at "
         "that frame, 0.1 s.",
         true},
        {"-5", "-5\t-0.06\t1\t2\t3\n-4\t-0.05\t1\t2\t3\n", "", true},
        {"0", "0\t0.01\t1\t2\t3\n1\t0.02\t1\t2\t3\n", "", true},
        {"", "50\t0.49\t1\t2\t3\n51\t0.5\t1\t2\t3\n", "", true},
        {"1", "50.0\t0.49\t1\t2\t3\n51.0\t0.5\t1\t2\t3\n", "frame 50 (line 7), not at OrigDataStartFrame 1",
         true},
        {"1", "1\t0\t1\t2\t3\r2\t0.01\t1\t2\t3\r", "", true},  // lines ended by CR alone
        {"1", "x\t0\t1\t2\t3\n2\t0.01\t1\t2\t3\n2\t0.01\t1\t2\t3\n",
         "line 7: the line does not start with a frame number and a tab", false},
        {"1", "50.5\t0.49\t1\t2\t3\n51\t0.5\t1\t2\t3\n",
         "line 7: the frame number 50.5 is not a whole number", false},
        {"1", "0x10\t0.15\t1\t2\t3\n17\t0.16\t1\t2\t3\n",
         "line 7: the frame number 0x10 is not a whole number", false},
        // The header's value only describes the capture: no whole number is said and passed over,
        // and a 0 that the lines do not start at is said as any other.
        {"\"1\"", "1\t0\t1\t2\t3\n2\t0.01\t1\t2\t3\n",
         "The OrigDataStartFrame value \"1\" (line 3) is not a whole number; it is passed over.", true},
        {"n/a", "1\t0\t1\t2\t3\n2\t0.01\t1\t2\t3\n",
         "The OrigDataStartFrame value \"n/a\" (line 3) is not a whole number; it is passed over.", true},
        {"0", "1\t0\t1\t2\t3\n2\t0.01\t1\t2\t3\n",
         "The frame lines start at frame 1 (line 7), not at OrigDataStartFrame 0; the take starts at that "
         "frame, 0 s.",
         true},
        {"1", "-2147483648\t0\t1\t2\t3\n-2147483647\t0.01\t1\t2\t3\n",
         "the frame number -2147483648 lies beyond the 32-bit frame numbers (-2147483647 to 2147483647)",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("OrigDataStartFrame \"") + c.start + "\", lines " + c.lines);
        const std::string text = std::string("PathFileType\t4\t(X/Y/Z)\tstart.trc\n") +
                                 "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrig"
                                 "DataStartFrame\tOrigNumFrames\n100\t100\t2\t1\tmm\t100\t" +
                                 c.start + "\t2\nFrame#\tTime\tA\t\t\t\n\t\tX1\tY1\tZ1\n\n" + c.lines;
        const std::string path = TempPath("start.trc");
        WriteFile(path, text);
        VOxaReaderMotionAnalysisTrc reader(mManager);
        int frames = 0;
        const std::string messages = ReadMessages(reader, path, &frames);
        const std::string warnings = reader.GetMessageText().Buffer();
        if (*c.said) EXPECT_NE(messages.find(c.said), std::string::npos) << messages;
        if (c.read) {
            EXPECT_EQ(frames, 2) << messages;
            if (!*c.said) EXPECT_EQ(messages.find("OrigDataStartFrame"), std::string::npos) << messages;
        } else {
            EXPECT_EQ(warnings, "");
        }
        mScene->Clear();
    }
}

}  // namespace
