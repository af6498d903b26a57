// BRD files: scanning, rate and start, sorting and duplicates, rotations, writing and round trips.

#include "formats/motion/brd/voxa_ascension.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

using namespace markertest;

namespace {

std::string Record(int frame, int sensor, double x, double y, double z, const char* q = "0 0 0 1",
                   int sec = 0, int usec = 0) {
    return std::to_string(frame) + "\t" + std::to_string(sensor) + "\tP\t" + std::to_string(x) + "\t" +
           std::to_string(y) + "\t" + std::to_string(z) + "\tQ\t" + q + "\t" + std::to_string(sec) + "\t" +
           std::to_string(usec) + "\n";
}

class Brd : public Fixture {
protected:
    bool ReadText(const std::string& name, const std::string& text, const Adjust& adjust = nullptr,
                  int* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        VOxaReaderAscension reader(mManager);
        return ReadWith(reader, path, adjust, error);
    }
    // The reader's error text for `text` ("" when it reads).
    std::string Refusal(const std::string& text) {
        const std::string path = TempPath("refused.brd");
        WriteFile(path, text);
        VOxaReaderAscension reader(mManager);
        return readfailure::Refusal(reader, mScene, path);
    }
    VOxaNode* Sensor(const char* name) {
        VOxaNode* reference = Find("BRD:reference");
        return reference ? reference->FindChild(name, false) : nullptr;
    }
};

TEST_F(Brd, brd_RateStartAndGaps) {
    FilterSettings filters(2, false);
    const std::string text =
        Record(10, 1, 1, 2, 3, "0 0 0 1", 0, 0) + Record(11, 2, 4, 5, 6, "0 0 0 1", 0, 50000) + "\n" +
        Record(11, 1, 7, 8, 9, "0 0 0 1", 0, 50000) + Record(12, 1, 1, 1, 1, "0 0 0 1", 0, 100000);
    const std::string path = TempPath("brd_gaps.brd");
    WriteFile(path, text);
    VOxaReaderAscension reader(mManager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    ASSERT_TRUE(reader.Scan());
    EXPECT_EQ(reader.GetFrameCount(), 3);
    EXPECT_DOUBLE_EQ(reader.GetFrameRate(), 20.0);
    // The take starts at the time of its first frame's record.
    EXPECT_EQ(reader.GetStartTime().Get(), 0);
    reader.FileClose();

    ASSERT_TRUE(ReadText("brd_gaps.brd", text));
    VOxaNode* second = Sensor("Marker2");
    ASSERT_NE(second, nullptr);
    ASSERT_NE(Sensor("Marker1"), nullptr);
    EXPECT_EQ(Key(second, 9, 0), 1.0f);
    EXPECT_EQ(Key(second, 9, 1), 0.0f);
    EXPECT_EQ(Key(second, 9, 2), 1.0f);
    EXPECT_EQ(Key(second, 0, 0), 4.0f);  // before its first record: the first position
    EXPECT_EQ(Key(second, 2, 0), 6.0f);
    EXPECT_EQ(Key(second, 0, 2), 4.0f);  // the last valid position is held
    EXPECT_EQ(Key(Sensor("Marker1"), 1, 1), 8.0f);

    // Options asking for more frames than were scanned key the rest as occluded.
    ASSERT_TRUE(ReadText("brd_more.brd", text, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(5);
        o.SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 1);
        o.SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
    }));
    VOxaNode* first = Find("BRD:optical")->FindChild("Marker1", false);
    EXPECT_EQ(Key(first, 9, 4), 1.0f);
    EXPECT_EQ(Key(first, 0, 4), 0.0f);
}

TEST_F(Brd, brd_OrderDuplicatesAndRotations) {
    FilterSettings filters(0, false);
    // Reverse order; the last record of a repeated frame wins.
    std::string text;
    for (int f = 3000; f >= 1; --f)
        text += Record(f, 5, f, 0, 0, "0 0 0 1", f / 100, (f % 100) * 10000);
    text += Record(2, 5, -1, -1, -1, "0 0.7071068 0 0.7071068", 0, 20000);
    ASSERT_TRUE(ReadText("brd_order.brd", text));
    VOxaNode* sensor = Sensor("Marker5");
    ASSERT_NE(sensor, nullptr);
    ASSERT_EQ(Curve(sensor, 0)->KeyGetCount(), 3000);
    EXPECT_EQ(Key(sensor, 0, 0), 1.0f);
    EXPECT_EQ(Key(sensor, 0, 1), -1.0f);
    EXPECT_EQ(Key(sensor, 0, 2999), 3000.0f);
    EXPECT_NEAR(Key(sensor, 4, 1), 90.0f, 1e-3);
    EXPECT_EQ(Key(sensor, 3, 0), 0.0f);

    const double identity[4] = {0, 0, 0, 1};
    VgeTVector angles = VOxaQuaternionToEulerDegrees(identity);
    EXPECT_EQ(angles[0], 0.0);
    EXPECT_EQ(angles[1], 0.0);
    const double zero[4] = {0, 0, 0, 0};
    angles = VOxaQuaternionToEulerDegrees(zero);
    EXPECT_EQ(angles[2], 0.0);
    // A quarter turn about Y after 30 degrees about X: the pole branch keeps the X angle.
    const double s15 = std::sin(M_PI / 12), c15 = std::cos(M_PI / 12), h = std::sqrt(0.5);
    const double pole[4] = {h * s15, h * c15, -h * s15, h * c15};
    angles = VOxaQuaternionToEulerDegrees(pole);
    EXPECT_NEAR(angles[0], 30.0, 1e-6);
    EXPECT_NEAR(angles[1], 90.0, 1e-6);
    EXPECT_EQ(angles[2], 0.0);
}

TEST_F(Brd, brd_ScanEdgesAndBadInput) {
    const std::string same = Record(1, 1, 0, 0, 0, "0 0 0 1", 3, 0) + Record(4, 1, 0, 0, 0, "0 0 0 1", 3, 0);
    const std::string path = TempPath("brd_same.brd");
    WriteFile(path, same);
    VOxaReaderAscension reader(mManager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    ASSERT_TRUE(reader.Scan());
    EXPECT_DOUBLE_EQ(reader.GetFrameRate(), VTime::GetFrameRate(0));
    EXPECT_EQ(reader.GetFrameCount(), 4);
    reader.FileClose();

    // The first and last frames keep the time of the record that first reached them: a later
    // record of another sensor at the same last frame does not move it.
    const std::string shared =
        Record(0, 1, 0, 0, 0, "0 0 0 1", 0, 0) + Record(10, 1, 0, 0, 0, "0 0 0 1", 1, 0) +
        Record(10, 2, 0, 0, 0, "0 0 0 1", 0, 500000) + Record(0, 2, 0, 0, 0, "0 0 0 1", 0, 250000);
    const std::string sharedPath = TempPath("brd_shared.brd");
    WriteFile(sharedPath, shared);
    ASSERT_TRUE(reader.FileOpen(sharedPath.c_str()));
    ASSERT_TRUE(reader.Scan());
    EXPECT_EQ(reader.GetFrameCount(), 11);
    EXPECT_DOUBLE_EQ(reader.GetFrameRate(), 10.0);
    reader.FileClose();

    // An empty file: one frame, a reference node without sensors.
    ASSERT_TRUE(ReadText("brd_empty.brd", "\n\n"));
    VOxaNode* reference = Find("BRD:reference");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(reference->GetChildCount(), 0);

    int error = -1;
    const std::string bad[] = {
        Record(1, 1, 0, 0, 0) + "2\t1\tP\t0\t0\t0\tQ\t0\t0\t0\t1\t0\n",  // cut before the microseconds
        Record(1, 1, 0, 0, 0) + "2\t1\tX\t0\t0\t0\tQ\t0\t0\t0\t1\t0\t0\n",
        Record(1, 1, 0, 0, 0) + "2\t1\tP\t0\t0\t0\tR\t0\t0\t0\t1\t0\t0\n",  // no "Q"
        Record(1, 1, 0, 0, 0) + "2\t1\tP\t0\t0\t0\n",                       // cut after the position
        Record(1, 1, 0, 0, 0) + "2\t1\tP\t0\t0\t0\tQ\t0\tzero\t0\t1\t0\t0\n",
        Record(1, 1, 0, 0, 0) + "2\t1\tP\t0\t0\t0\tQ\t0\tnan\t0\t1\t0\t0\n",
        Record(0, 1, 0, 0, 0) + Record(1000000, 1, 0, 0, 0),  // a span no record backs
        Record(0, 1, 0, 0, 0) + Record(5000, 2, 0, 0, 0) + Record(2000, 3, 0, 0, 0),  // nor over sensors
        Record(0, 1, 0, 0, 0) + "1999\t1\tP 0 0 0 Q 0 0 0 1 0.0000000001 0\n",  // a period under one tick
        "2000000000\t1\tP 0 0 0 Q 0 0 0 1 0 0\n-2000000000\t1\tP 0 0 0 Q 0 0 0 1 0 0\n",
    };
    for (const std::string& text : bad) {
        EXPECT_FALSE(ReadText("brd_bad.brd", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
}

TEST_F(Brd, brd_WriterAndRoundTrip) {
    FilterSettings filters(0, false);
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {VgeTVector(1, 2, 3, 0), VgeTVector(4, 5, 6, 0)}, {1});
    AddMarked(group, "B", {VgeTVector(-1, 0.5, 0, 0), VgeTVector(0, 0, 0.25, 0)});
    const std::string path = TempPath("brd_round.brd");
    {
        VOxaWriterAscension writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(6);
        }));
    }
    // Gaps as valid data by default: every sensor in every frame.
    EXPECT_EQ(ReadFile(path),
              "0\t0\tP\t1\t2\t3\tQ\t0\t0\t0\t1\t0\t0\n"
              "0\t1\tP\t-1\t0.5\t0\tQ\t0\t0\t0\t1\t0\t0\n"
              "1\t0\tP\t4\t5\t6\tQ\t0\t0\t0\t1\t0\t33333\n"
              "1\t1\tP\t0\t0\t0.25\tQ\t0\t0\t0\t1\t0\t33333\n");
    {
        VOxaWriterAscension writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(6);
            o.SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 0);
        }));
    }
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("1\t0\tP"), std::string::npos) << text;
    ASSERT_TRUE(ReadText("brd_round2.brd", text));
    VOxaNode* a = Sensor("Marker0");
    VOxaNode* b = Sensor("Marker1");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Key(a, 9, 1), 1.0f);
    EXPECT_EQ(Key(a, 2, 1), 3.0f);
    EXPECT_EQ(Key(b, 2, 1), 0.25f);
    EXPECT_EQ(Key(b, 0, 0), -1.0f);
}

TEST_F(Brd, brd_RefusalsSayWhere) {
    const std::string first = Record(1, 1, 0, 0, 0);
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {first + "2\t1\tP\t0\t0\t0\tQ\t0\t0\t0\t1\t0\n",
         "line 2: the time (seconds and microseconds) is missing after the quaternion"},
        {first + "\n2\t1\tX\t0\t0\t0\n", "line 3: \"P\" expected after the sensor number"},
        {first + "2\t1\tP\t0\t0\t0\tR\n", "line 2: \"Q\" expected after the position"},
        {first + "2\t1\tP\t0\t0\n", "line 2: three position numbers expected after \"P\""},
        {first + "2\t1\tP\t0\t0\t0\tQ\t0\tzero\n", "line 2: four quaternion numbers expected after \"Q\""},
        {first + "2\n", "line 2: the sensor number is missing after frame 2"},
        {"frame 1\n", "line 1: a record starts with its frame number"},
        {first + "2.5\t1\tP\t0\t0\t0\tQ\t0\t0\t0\t1\t0\t0\n",
         "line 2: the frame number 2.5 is not a whole number"},
        {Record(0, 1, 0, 0, 0) + Record(1000000, 1, 0, 0, 0),
         "frames 0 to 1000000 of 1 sensors are more than 2 records can back"},
        {Record(0, 1, 0, 0, 0) + "1999\t1\tP 0 0 0 Q 0 0 0 1 0.0000000001 0\n",
         "the record times give 2e+13 frames per second, which is faster than the 1000000 frames "
         "per second the motion formats hold"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Refusal(c.text), std::string("File is corrupted: ") + c.why) << c.text;
    // An empty file holds no records, which is not an error.
    EXPECT_EQ(Refusal(""), "");
    EXPECT_EQ(Refusal("\r\n"), "");
}

}  // namespace
