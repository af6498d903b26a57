// AOA and MCD files: header search, "=" tokens, frames, writing and round trips.

#include "formats/motion/aoa/voxa_adaptive_optics.h"

#include <gtest/gtest.h>

#include <string>

#include "oxa_codec/voxa_io_formats.h"
#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

using namespace markertest;

namespace {

class Aoa : public Fixture {
protected:
    bool ReadText(const std::string& name, const std::string& text, const Adjust& adjust = nullptr,
                  int* error = nullptr, bool mcd = false) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        VOxaReaderAdaptiveOptics reader(mManager, mcd);
        return ReadWith(reader, path, adjust, error);
    }
};

TEST_F(Aoa, aoa_PreambleHeaderAndOcclusion) {
    ASSERT_TRUE(
        ReadText("aoa_basic.aoa",
                 "free text here\nmore = words\n\nFRAMES = 2 Markers = 1 hz = 60 extra\n1 2 3\n\n0 0 0\n"));
    VOxaNode* marker = Find("Marker1");
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->GetParent(), Find("AOA:optical"));
    EXPECT_EQ(Key(marker, 9, 0), 0.0f);
    EXPECT_EQ(Key(marker, 9, 1), 1.0f);
    // The occluded frame holds the last valid position.
    EXPECT_EQ(Key(marker, 0, 1), 1.0f);
    EXPECT_EQ(Key(marker, 2, 1), 3.0f);
    EXPECT_STREQ(mScene->GetCurrentTakeName(), "aoa_basic");
    VOxaTakeInfo* info = mScene->GetTakeInfo("aoa_basic");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->mLocalTimeSpan.GetStop().Get(), VTime::kOneSecond / 60);

    ASSERT_TRUE(ReadText(
        "aoa_ref.mcd", "frames = 1 markers = 1 Hz = 60\n1 2 3\n",
        [](VStreamOptionsMotion& o) { o.SetOption(VStreamOptionsMotion::eIMPORT_AS_OPTICAL_SEGMENTS, 0); },
        nullptr, true));
    EXPECT_NE(Find("MCD:reference"), nullptr);
    VOxaReaderAdaptiveOptics mcd(mManager, true);
    EXPECT_STREQ(mcd.GetDescription().Buffer(), "Superfluo MCD File Importer");
}

TEST_F(Aoa, aoa_BadHeadersAndFrames) {
    int error = -1;
    // "=" must be a token of its own.
    EXPECT_FALSE(ReadText("aoa_eq.aoa", "frames=2 markers = 1 Hz = 60\n1 2 3\n1 2 3\n", nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    const char* const bad[] = {
        "frames = 2 markers = 1 Hz = 0\n1 2 3\n1 2 3\n",     // rate 0
        "frames = 2 markers = 1 Hz = nan\n1 2 3\n1 2 3\n",   // not a number
        "frames = 2 markers = 1 Hz = inf\n1 2 3\n1 2 3\n",   // no usable period
        "frames = 2 markers = -1 Hz = 30\n1 2 3\n1 2 3\n",   // negative count
        "frames = two markers = 1 Hz = 30\n1 2 3\n1 2 3\n",  // word for a number
        "frames = 2 markers = 2000000000 Hz = 30\n1 2 3\n",  // more markers than bytes
        "frames = 2 markers = 9999999999 Hz = 30\n1 2 3\n",  // beyond any count
        "frames = 2 markers = 1 Hz = 30\n1 2 3\n1 2\n",      // a short line, not the file's end
        "frames = 2 markers = 1 Hz = 30\n1 2",               // cut in the first frame
        "frames = 1 markers = 1 Hz\n1 2 3\n",
        "no header at all\n",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ReadText("aoa_bad.aoa", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);
    // Text after the last frame is ignored; a leading '+' reads as scanf reads it.
    EXPECT_TRUE(ReadText("aoa_tail.aoa", "frames = 1 markers = 1 Hz = +30\n+1 2 3 trailing\nrest of file\n"));
    EXPECT_EQ(Key(Find("Marker1"), 0, 0), 1.0f);
}

TEST_F(Aoa, aoa_RefusalsSayWhere) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "the file is empty"},
        {"\r\n\r\n", "line 2: the file holds nothing but blank lines"},
        {"notes\nframes = 2 markers\n", "line 2: \"=\" expected after \"markers\", but the line ends"},
        {"frames : 2\n", "line 1: \"=\" expected after \"frames\", found \":\""},
        {"frames = 2 markers = x Hz = 60\n",
         "line 1: the marker count after \"markers =\" is not a whole number"},
        {"frames = 2 markers = 1 Hz = 0\n", "line 1: a rate of 0 Hz has no usable frame period"},
        {"frames = -2 markers = 1 Hz = 60\n", "line 1: a frame count of -2"},
        {"frames=2 markers = 1 Hz = 60\n",
         "line 1: no header line \"frames = <count> markers = <count> Hz = <rate>\""},
        {"frames = 900 markers = 2 Hz = 60\n\n", "line 2: the file ends after 0 of 900 frames"},
        {"frames = 2 markers = 2 Hz = 60\n1 2 3\n",
         "line 2: the file ends in frame 1 after 1 of its 2 marker lines"},
        {"frames = 1 markers = 2 Hz = 60\n1 2 3\n4 five 6\n",
         "line 3: frame 1, marker 2: x, y and z expected"},
    };
    for (const auto& c : cases) {
        const std::string path = TempPath("aoa_refused.aoa");
        WriteFile(path, c.text);
        VOxaReaderAdaptiveOptics reader(mManager, false);
        EXPECT_EQ(readfailure::Refusal(reader, mScene, path), std::string("File is corrupted: ") + c.why)
            << c.text;
    }
    // Counts the reader checks against the file itself.
    const std::string path = TempPath("aoa_refused.aoa");
    WriteFile(path, "frames = 1 markers = 5000 Hz = 60\n1 2 3\n");
    VOxaReaderAdaptiveOptics reader(mManager, false);
    EXPECT_EQ(readfailure::Refusal(reader, mScene, path),
              "File is corrupted: the header gives 5000 markers, more than the file's 40 bytes can hold");
}

// The file object on its own: each frame read counts one more and moves the time by one period.
TEST_F(Aoa, aoa_FileFramesCountAndAdvance) {
    const std::string path = TempPath("aoa_counter.aoa");
    WriteFile(path, "frames = 2 markers = 2 Hz = 30\n1 2 3\n0 0 0\n4 5 6\n7 8 9\n");
    VOxaFileAdaptiveOptics file;
    ASSERT_TRUE(file.Open(path.c_str(), "r"));
    int64_t markers = -1, frames = -1;
    VTime start(123);
    double rate = 0.0, scale = 0.0;
    ASSERT_TRUE(file.ReadHeader(markers, start, frames, rate, scale));
    EXPECT_EQ(markers, 2);
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(start.Get(), 0);
    EXPECT_EQ(scale, 1.0);
    const VTime period = VTime::GetOneFrameValue(6);
    VTime time(0);
    int counter = 5;
    VOxaMarkerFrame first, second;
    ASSERT_TRUE(file.ReadFrame(first, 2, time, counter, period, true));
    EXPECT_EQ(counter, 6);
    EXPECT_EQ(time.Get(), period.Get());
    ASSERT_EQ(first.GetCount(), 2);
    EXPECT_EQ(first[1][3], 1.0);  // all three exactly 0: occluded
    ASSERT_TRUE(file.ReadFrame(second, 2, time, counter, period, false));
    EXPECT_EQ(counter, 7);
    EXPECT_EQ(time.Get(), period.Get() * 2);
    EXPECT_EQ(second[1][2], 9.0);
    VOxaMarkerFrame none;
    EXPECT_FALSE(file.ReadFrame(none, 2, time, counter, period, true));
    file.Close();
    std::remove(path.c_str());
}

TEST_F(Aoa, aoa_LongLineWithoutNewline) {
    const std::string path = TempPath("aoa_long.aoa");
    {
        std::string text = "frames = 1 markers = 1 Hz = 30\n";
        text.append(50u << 20, '7');
        WriteFile(path, text);
    }
    VOxaReaderAdaptiveOptics reader(mManager, false);
    int error = -1;
    EXPECT_FALSE(ReadWith(reader, path, nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    std::remove(path.c_str());
}

TEST_F(Aoa, aoa_WriterTextAndRoundTrip) {
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {VgeTVector(1, 2, 3, 0), VgeTVector(1.5, 0.125, -7, 0)});
    AddMarked(group, "B", {VgeTVector(1234567, 0, 0, 0), VgeTVector(0.0001, 0, 0, 0)});
    const std::string path = TempPath("aoa_round.aoa");
    VOxaWriterAdaptiveOptics writer(mManager, false);
    EXPECT_STREQ(writer.GetDescription().Buffer(), "Adaptive Optics AOA File Exporter");
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
    }));
    // Every digit of the values held (0.0001 is held as the float nearest it).
    EXPECT_EQ(
        ReadFile(path),
        "frames = 2 markers = 2 Hz = 30\n1 2 3\n1234567 0 0\n1.5 0.125 -7\n9.999999747378752e-05 0 0\n");

    ASSERT_TRUE(ReadText("aoa_round2.aoa", ReadFile(path)));
    VOxaNode* second = Find("Marker2");
    EXPECT_EQ(Key(second, 0, 0), 1234567.0f);
    EXPECT_EQ(Key(Find("Marker1"), 2, 1), -7.0f);
    EXPECT_EQ(Key(second, 9, 1), 0.0f);
}

TEST_F(Aoa, aoa_FormatRows) {
    const int aoa = VOxaFindReaderFormat("AOA");
    const int mcd = VOxaFindWriterFormat(".mcd");
    ASSERT_GE(aoa, 0);
    ASSERT_GE(mcd, 0);
    std::unique_ptr<VOxaReader> reader(VOxaGetReaderFormat(aoa)->mCreate(mManager));
    EXPECT_STREQ(static_cast<VOxaReaderAdaptiveOptics*>(reader.get())->GetReferenceName().Buffer(), "AOA");
    std::unique_ptr<VOxaWriter> writer(VOxaGetWriterFormat(mcd)->mCreate(mManager));
    EXPECT_STREQ(static_cast<VOxaWriterAdaptiveOptics*>(writer.get())->GetDescription().Buffer(),
                 "Superfluo MCD File Exporter");
}

}  // namespace
