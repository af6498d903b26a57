// BRD record times that repeat or go back, and MOV lines with a text that is no number: read at
// the rate, and said with the line.

#include <gtest/gtest.h>

#include <string>

#include "formats/motion/brd/voxa_ascension.h"
#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class TimesSaid : public Fixture {
protected:
    // Reads `text` as a file named `name` with `reader`; the message text ("" when none), or
    // "failed: " and the error.
    template <class Reader>
    std::string Read(const std::string& name, const std::string& text) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        Reader reader(mManager);
        if (!ReadWith(reader, path))
            return "failed: " + std::string(reader.GetError().GetLastErrorString().Buffer());
        return reader.GetMessageText().Buffer();
    }
    // A BRD record of sensor 1 at `frame`, x = `x`, at `seconds` and `micro`.
    static std::string Record(int frame, double x, int seconds, int micro) {
        return std::to_string(frame) + " 1 P " + std::to_string(x) + " 0 0 Q 0 0 0 1 " +
               std::to_string(seconds) + " " + std::to_string(micro) + "\n";
    }
};

}  // namespace

TEST_F(TimesSaid, BrdTimesThatRepeatOrGoBackAreSaid) {
    // All at 0: frame 2 is the first that does not come after the frame before it. The frames
    // keep their places by number, at the default rate.
    std::string messages =
        Read<VOxaReaderAscension>("zero.brd", Record(1, 1, 0, 0) + Record(2, 2, 0, 0) + Record(3, 3, 0, 0));
    EXPECT_NE(
        messages.find("The record times do not rise from frame to frame: frame 2 (line 2) gives 0 s, the "
                      "same as frame 1 (line 1) at 0 s (2 frames in all do not come after the frame "
                      "before them)"),
        std::string::npos)
        << messages;
    VOxaNode* marker = Find("Marker1");
    ASSERT_NE(marker, nullptr);
    ASSERT_EQ(Curve(marker, 0)->KeyGetCount(), 3);
    EXPECT_FLOAT_EQ(Key(marker, 0, 2), 3.0f);
    mScene->Clear();

    // Frame 3's time goes back before frame 2's; the records are given out of frame order, and
    // the line named is the record's own.
    messages = Read<VOxaReaderAscension>(
        "back.brd", Record(1, 1, 1, 0) + Record(3, 3, 1, 50000) + Record(2, 2, 1, 100000));
    EXPECT_NE(messages.find("frame 3 (line 2) gives 1.05 s, before frame 2 (line 3) at 1.1 s (1 frames"),
              std::string::npos)
        << messages;
    mScene->Clear();

    // Times that rise say nothing.
    messages = Read<VOxaReaderAscension>(
        "rising.brd", Record(1, 1, 1, 0) + Record(2, 2, 1, 10000) + Record(3, 3, 1, 20000));
    EXPECT_EQ(messages, "");
}

TEST_F(TimesSaid, MovTextThatIsNoNumberIsSaidWithItsLine) {
    // Ten numbers a line: a time and one object's translation, rotation and scaling. Line 3's time
    // is "nan": the frame lies a period (0.04 s at the 25 frames per second of the other lines)
    // after line 2's, and its values are kept.
    const std::string text =
        "0 1 2 3 0 0 0 1 1 1\n"
        "0.04 4 5 6 0 0 0 1 1 1\n"
        "nan 7 8 9 0 0 0 1 1 1\n"
        "0.12 10 11 12 0 0 0 1 1 1\n";
    std::string messages = Read<VOxaReaderCorvelundMov>("nan.mov", text);
    EXPECT_NE(
        messages.find("Line 3's time \"nan\" is not a number (1 lines hold a text that is no number); its "
                      "frame is read 0.04 s after the frame before it."),
        std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("the same as"), std::string::npos) << messages;
    VOxaNode* marker = Find("Marker0");
    ASSERT_NE(marker, nullptr);
    VFCurve* x = Curve(marker, 0);
    ASSERT_EQ(x->KeyGetCount(), 4);
    EXPECT_EQ(x->KeyGetTime(2).Get(), VTime::kOneSecond * 8 / 100);
    EXPECT_FLOAT_EQ(x->KeyGetValue(2), 7.0f);
    EXPECT_FLOAT_EQ(Key(marker, 2, 2), 9.0f);
    mScene->Clear();

    // A value that is no number is 0 in its place, and the values after it keep theirs.
    messages = Read<VOxaReaderCorvelundMov>("word.mov", "0 1 2 3 0 0 0 1 1 1\n0.04 4 NaN 6 0 0 0 1 1 1\n");
    EXPECT_NE(
        messages.find("Line 2's value 3 \"NaN\" is not a number (1 lines hold a text that is no number); "
                      "it is read as 0."),
        std::string::npos)
        << messages;
    marker = Find("Marker0");
    ASSERT_NE(marker, nullptr);
    EXPECT_FLOAT_EQ(Key(marker, 1, 1), 0.0f);
    EXPECT_FLOAT_EQ(Key(marker, 2, 1), 6.0f);
    mScene->Clear();
    // A line whose time and a value are no numbers is named by its time, the first of them.
    messages = Read<VOxaReaderCorvelundMov>("both.mov",
                                            "0 1 2 3 0 0 0 1 1 1\n0.04 4 5 6 0 0 0 1 1 1\n"
                                            "inf 7 x 9 0 0 0 1 1 1\n0.12 10 11 12 0 0 0 1 1 1\n");
    EXPECT_NE(messages.find("Line 3's time \"inf\" is not a number"), std::string::npos) << messages;
    marker = Find("Marker0");
    ASSERT_NE(marker, nullptr);
    EXPECT_FLOAT_EQ(Key(marker, 1, 2), 0.0f);
    EXPECT_FLOAT_EQ(Key(marker, 2, 2), 9.0f);
}
