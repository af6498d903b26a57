// AOA and MCD writers: gaps written as the format's gap ("0 0 0") unless "ExportGapsAsValidData"
// is 1, and seen points at the origin kept apart from gaps.

#include <gtest/gtest.h>

#include <string>

#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class AoaGaps : public Fixture {
protected:
    // The coordinate lines of an AOA text (the lines after the header).
    static std::vector<std::string> Rows(const std::string& text) {
        std::vector<std::string> rows;
        std::istringstream lines(text);
        std::string line;
        std::getline(lines, line);  // the header
        while (std::getline(lines, line))
            rows.push_back(line);
        return rows;
    }
};

TEST_F(AoaGaps, GapsFollowTheSettingInAoaAndMcd) {
    // A TRC (millimetres) of three frames: A is missing in frame 2, B in every frame.
    const std::string trc = std::string("PathFileType\t3\t(X/Y/Z)\tgaps.trc\n") +
                            "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n30\t30\t3\t2\tmm\n" +
                            "Frame#\tTime\tA\t\t\tB\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\n\n" +
                            "1\t0\t10\t20\t30\t\t\t\n" + "2\t0.0333\t\t\t\t\t\t\n" +
                            "3\t0.0667\t40\t50\t60\t\t\t\n";
    const std::string input = TempPath("gaps.trc");
    WriteFile(input, trc);
    VOxaReaderMotionAnalysisTrc reader(mManager);
    ASSERT_TRUE(ReadWith(reader, input));
    Find("A")->SetMarked(1);  // the marker writers write the marked nodes
    Find("B")->SetMarked(1);

    // In centimetres, A is (1, 2, 3) and (4, 5, 6); a gap in AOA is "0 0 0".
    for (bool mcd : {false, true}) {
        for (int setting : {-1, 0, 1}) {
            SCOPED_TRACE(std::string(mcd ? "MCD" : "AOA") + " ExportGapsAsValidData " +
                         std::to_string(setting));
            const std::string path = TempPath(mcd ? "gaps.mcd" : "gaps.aoa");
            VOxaWriterAdaptiveOptics writer(mManager, mcd);
            ASSERT_TRUE(WriteWith(writer, path, [setting](VStreamOptionsMotion& o) {
                o.SetFrameCount(3);
                o.SetTimeMode(6);
                if (setting >= 0) o.SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, setting);
            }));
            const std::vector<std::string> rows = Rows(ReadFile(path));
            ASSERT_EQ(rows.size(), 6u);  // three frames of two markers
            EXPECT_EQ(rows[0], "1 2 3");
            EXPECT_EQ(rows[4], "4 5 6");
            // B is a gap throughout: off, it is the format's gap.
            if (setting != 1) {
                EXPECT_EQ(rows[2], "0 0 0") << "A's gap in frame 2";
                EXPECT_EQ(rows[1], "0 0 0");
                EXPECT_EQ(rows[3], "0 0 0");
                EXPECT_EQ(rows[5], "0 0 0");
            } else {
                EXPECT_EQ(rows[2], "1 2 3") << "A's held position in frame 2";
            }
        }
    }
}

TEST_F(AoaGaps, APointAtTheOriginIsNotReadAsAGap) {
    // A marker that stands at the origin in frame 1 and moves 2 cm along x in frame 2, then to
    // (0, 2, 0) and (0, 0, 2), which are no gaps.
    AddMarked(
        mScene->GetRootNode(), "Root",
        {VgeTVector(0, 0, 0, 0), VgeTVector(2, 0, 0, 0), VgeTVector(0, 2, 0, 0), VgeTVector(0, 0, 2, 0)});
    const std::string path = TempPath("origin.aoa");
    VOxaWriterAdaptiveOptics writer(mManager, false);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(4);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    }));
    const std::vector<std::string> rows = Rows(ReadFile(path));
    ASSERT_EQ(rows.size(), 4u);
    // One step of the sixth significant digit at 0.1: 1e-06, which is not exactly 0, 0, 0.
    EXPECT_EQ(rows[0], "1e-06 0 0");
    EXPECT_EQ(rows[1], "2 0 0");
    EXPECT_EQ(rows[2], "0 2 0");
    EXPECT_EQ(rows[3], "0 0 2");
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("1 seen points lie at exactly 0, 0, 0, which the AOA reader takes for a gap"),
              std::string::npos)
        << messages;

    const std::string localPath = TempPath("origin_local.aoa");
    // Placed from its motion root (the default), the lone marker is the root and stays at the
    // origin in every frame: each frame is a seen point moved off it.
    VOxaWriterAdaptiveOptics local(mManager, false);
    ASSERT_TRUE(WriteWith(local, localPath, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(4);
        o.SetTimeMode(6);
    }));
    EXPECT_EQ(Rows(ReadFile(localPath)), std::vector<std::string>(4, "1e-06 0 0"));

    // Read back, the point is seen in both frames.
    VOxaReaderAdaptiveOptics reader(mManager, false);
    ASSERT_TRUE(ReadWith(reader, path));
    VOxaNode* marker = Find("Marker1");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(Key(marker, 9, 0), 0.0f);
    EXPECT_EQ(Key(marker, 9, 1), 0.0f);
    EXPECT_NEAR(Key(marker, 0, 0), 0.0f, 1e-5);
}

}  // namespace

namespace {

TEST_F(AoaGaps, CoordinatesBeyondAKeyAreGapsWithAWarning) {
    // 1e300 does not fit the single precision of a key: the point is a gap, and the read says so.
    const std::string path = TempPath("huge.aoa");
    WriteFile(path, "frames = 2 markers = 1 Hz = 30\n1 2 3\n1e300 0 0\n");
    VOxaReaderAdaptiveOptics reader(mManager, false);
    ASSERT_TRUE(ReadWith(reader, path));
    VOxaNode* marker = Find("Marker1");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(Key(marker, 9, 1), 1.0f);
    EXPECT_EQ(Key(marker, 0, 1), 1.0f);  // the gap holds the last seen position
    EXPECT_NE(
        std::string(reader.GetMessageText().Buffer())
            .find(
                "1 points have a coordinate beyond +-1e30 or not a number and are read as gaps (the first at "
                "frame 2, marker 1)."),
        std::string::npos)
        << reader.GetMessageText().Buffer();
}

}  // namespace
