// MOV: the rate from the whole time column, frames at the times the file gives, times and values
// written with every digit they have, and markers never seen.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "scene/voxa_take_info.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class MovTimes : public Fixture {
protected:
    // Reads `text` with the reader's own options, translations only unless `allGroups`; the
    // reader's message text goes to `messages`.
    bool Read(const std::string& text, std::string* messages = nullptr, bool allGroups = false) {
        const std::string path = TempPath("times.mov");
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        const bool ok = ReadWith(reader, path, [allGroups](VStreamOptionsMotion& o) {
            if (allGroups) return;
            o.SetOption(VStreamOptionsMotion::eROTATION, 0);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
        });
        if (messages) *messages = reader.GetMessageText().Buffer();
        return ok;
    }
    static VTime Seconds(double seconds) {
        VTime time;
        time.SetSecondDouble(seconds);
        return time;
    }
    // The tab-separated columns of each line, as numbers.
    static std::vector<std::vector<double>> Table(const std::string& text) {
        std::vector<std::vector<double>> rows;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::vector<double> row;
            std::istringstream fields(line);
            std::string field;
            while (fields >> field)
                row.push_back(std::strtod(field.c_str(), nullptr));
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(MovTimes, FramesStandAtTheTimesTheFileGives) {
    FilterSettings filters(0, false);
    // Times that run to 4 s with uneven steps: the take spans 0 to 4 s at the mean rate of the
    // whole column (4 steps in 4 s), and each frame is keyed at its line's time.
    std::string messages;
    ASSERT_TRUE(Read("0 1 2 3\n1 2 2 3\n1.5 3 2 3\n2 4 2 3\n4 5 2 3\n", &messages));
    VOxaNode* object = Find("Marker0");
    ASSERT_NE(object, nullptr);
    VFCurve* x = Curve(object, 0);
    ASSERT_EQ(x->KeyGetCount(), 5);
    const double times[] = {0, 1, 1.5, 2, 4};
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(x->KeyGetTime(j).Get(), (int64_t)(times[j] * VTime::kOneSecond)) << j;
        EXPECT_EQ(x->KeyGetValue(j), (float)(j + 1)) << j;
    }
    VOxaTakeInfo* take = mScene->GetTakeInfo("times");
    ASSERT_NE(take, nullptr);
    EXPECT_EQ(take->mLocalTimeSpan.GetStart().Get(), 0);
    EXPECT_EQ(take->mLocalTimeSpan.GetStop().Get(), 4 * VTime::kOneSecond);
    // The line furthest off is named, with its own offset.
    EXPECT_NE(messages.find("The frame times are uneven (line 4 is 1 s off"), std::string::npos) << messages;
    // Another rate asked for spaces the frames evenly at it.
    TearDown();
    SetUp();
    {
        const std::string path = TempPath("asked.mov");
        WriteFile(path, "0 1 2 3\n1 2 2 3\n1.5 3 2 3\n2 4 2 3\n4 5 2 3\n");
        VOxaReaderCorvelundMov reader(mManager);
        ASSERT_TRUE(ReadWith(reader, path, [](VStreamOptionsMotion& o) {
            o.SetOption(VStreamOptionsMotion::eROTATION, 0);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
            o.SetTimeMode(0, 10.0);
        }));
        EXPECT_EQ(Curve(Find("Marker0"), 0)->KeyGetTime(2).Get(), VTime::kOneSecond / 5);
    }

    // One odd time among even ones: the rate is still that of the whole column (30), the odd
    // line keeps its time, and the warning names it.
    TearDown();
    SetUp();
    std::string text;
    for (int j = 0; j <= 12; ++j) {
        char line[64];
        std::snprintf(line, sizeof line, "%.17g 1 2 3\n", j == 3 ? 0.1024 : j / 30.0);
        text += line;
    }
    ASSERT_TRUE(Read(text, &messages));
    EXPECT_NE(messages.find("line 4"), std::string::npos) << messages;
    x = Curve(Find("Marker0"), 0);
    ASSERT_EQ(x->KeyGetCount(), 13);
    EXPECT_EQ(x->KeyGetTime(3).Get(), Seconds(0.1024).Get());
    EXPECT_EQ(x->KeyGetTime(12).Get(), Seconds(0.4).Get());
    {
        const std::string path = TempPath("odd.mov");
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), 30.0);
    }

    // Even times say nothing.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read("10 1 2 3\n10.04 1 2 3\n10.08 1 2 3\n", &messages));
    EXPECT_EQ(messages, "");
    x = Curve(Find("Marker0"), 0);
    EXPECT_EQ(x->KeyGetTime(0).Get(), 10 * VTime::kOneSecond);
}

TEST_F(MovTimes, RatesTimesAndValuesReadBackAsWritten) {
    FilterSettings filters(0, false);
    const double big = 12800.0126953125;  // 128 m and a tenth of a millimetre, in centimetres
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {{big, -0.123456789f, 1e-5f, 0}});
    for (double rate : {120.0, 59.94, 23.976}) {
        SCOPED_TRACE(rate);
        const std::string path = TempPath("rate.mov");
        VOxaWriterCorvelundMov writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [rate](VStreamOptionsMotion& o) {
            o.SetFrameCount(25);
            o.SetTimeMode(0, rate);
            o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
            o.SetOption(VStreamOptionsMotion::eROTATION, 0);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
        }));
        const std::vector<std::vector<double>> rows = Table(ReadFile(path));
        ASSERT_EQ(rows.size(), 25u);
        std::unique_ptr<VStreamOptionsMotion> asked(VStreamOptionsMotion::Create());
        asked->SetTimeMode(0, rate);
        const int64_t period = asked->GetFramePeriod().Get();
        for (size_t j = 0; j < rows.size(); ++j) {
            ASSERT_EQ(rows[j].size(), 4u);
            EXPECT_EQ(rows[j][0], (double)(period * (int64_t)j) / (double)VTime::kOneSecond) << j;
        }
        EXPECT_EQ(rows[0][1], big);
        EXPECT_EQ(rows[0][2], (double)-0.123456789f);
        EXPECT_EQ(rows[0][3], (double)1e-5f);

        VOxaReaderCorvelundMov reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), rate);
    }
}

TEST_F(MovTimes, MarkersNeverSeenAreLeftOut) {
    FilterSettings filters(0, false);
    VOxaNode* root = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(root);
    AddMarked(root, "Seen", {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}}, {1});
    AddMarked(root, "Hidden", {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}}, {0, 1, 2});
    const std::string path = TempPath("unseen.mov");
    VOxaWriterCorvelundMov writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(3);
        o.SetTimeMode(6);
    }));
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("\"Hidden\" is occluded in every frame written; it is left out."),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("\"Seen\""), std::string::npos);
    // One object of three groups: the time and nine values a line. The seen marker keeps its
    // values where it is occluded.
    const std::vector<std::vector<double>> rows = Table(ReadFile(path));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].size(), 10u);
    EXPECT_EQ(rows[1][1], 4.0);

    TearDown();
    SetUp();
    ASSERT_TRUE(Read(ReadFile(path), nullptr, true));
    EXPECT_NE(Find("Marker0"), nullptr);
    EXPECT_EQ(Find("Marker1"), nullptr);

    // With every marker occluded throughout there is nothing to write.
    TearDown();
    SetUp();
    AddMarked(mScene->GetRootNode(), "Hidden", {{0, 0, 0, 0}}, {0});
    VOxaWriterCorvelundMov none(mManager);
    int error = -1;
    EXPECT_FALSE(WriteWith(
        none, TempPath("none.mov"),
        [](VStreamOptionsMotion& o) {
            o.SetFrameCount(1);
            o.SetTimeMode(6);
        },
        &error));
    EXPECT_EQ(error, VOxaWriter::eFILE_NOT_CREATED);
    EXPECT_NE(std::string(none.GetError().GetLastErrorString().Buffer()).find("occluded in every frame"),
              std::string::npos);
}

TEST_F(MovTimes, TimesThatDoNotRiseAndRatesAtTheEdges) {
    FilterSettings filters(0, false);
    // Line 4 (after a blank line) repeats line 2's time: the warning names both lines.
    std::string messages;
    ASSERT_TRUE(Read("0 1 2 3\n0.1 1 2 3\n\n0.1 1 2 3\n0.3 1 2 3\n", &messages));
    EXPECT_NE(messages.find("line 4 gives 0.1 s, the same as line 2's 0.1 s (1 lines"), std::string::npos)
        << messages;
    // Times that run back from the first line give no rate: the frames are one default period
    // apart, and the warning says so.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read("1 1 2 3\n0.5 1 2 3\n0.25 1 2 3\n", &messages));
    EXPECT_NE(messages.find("line 2 gives 0.5 s, before line 1's 1 s (2 lines"), std::string::npos)
        << messages;
    EXPECT_EQ(Curve(Find("Marker0"), 0)->KeyGetTime(1).Get(),
              VTime::kOneSecond + VTime::GetOneFrameValue(0).Get());
    // Every line at one time.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read("2 1 2 3\n2 1 2 3\n", &messages));
    EXPECT_NE(messages.find("line 2 gives 2 s, the same as line 1's 2 s"), std::string::npos) << messages;

    // Times a microsecond apart are the fastest rate the formats hold; a tenth of that is refused
    // with the reason.
    for (double step : {1e-6, 1e-7}) {
        TearDown();
        SetUp();
        std::string text;
        for (int j = 0; j < 4; ++j) {
            char line[64];
            std::snprintf(line, sizeof line, "%.17g 1 2 3\n", j * step);
            text += line;
        }
        const std::string path = TempPath("fast.mov");
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (step == 1e-6) {
            ASSERT_NE(options, nullptr);
            EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), 1e6);
        } else {
            EXPECT_EQ(options, nullptr);
            EXPECT_NE(std::string(reader.GetError().GetLastErrorString().Buffer())
                          .find("frames per second, which is faster than the 1000000"),
                      std::string::npos)
                << reader.GetError().GetLastErrorString().Buffer();
        }
    }
}

TEST_F(MovTimes, OneFrameTakesWarnOfTheirRate) {
    FilterSettings filters(0, false);
    AddMarked(mScene->GetRootNode(), "A", {{1, 2, 3, 0}});
    // One line holds one time: a rate needs two. At the default rate there is nothing to say.
    for (double rate : {50.0, VTime::GetFrameRate(0)}) {
        const std::string path = TempPath("one.mov");
        VOxaWriterCorvelundMov writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [rate](VStreamOptionsMotion& o) {
            o.SetFrameCount(1);
            o.SetTimeMode(0, rate);
        }));
        ASSERT_EQ(Table(ReadFile(path)).size(), 1u);
        const std::string messages = writer.GetMessageText().Buffer();
        if (rate == 50.0) {
            char expected[200];
            std::snprintf(expected, sizeof expected,
                          "the take's 50 frames per second is not kept, and the file reads back at %g",
                          VTime::GetFrameRate(0));
            EXPECT_NE(messages.find("The MOV file holds one frame"), std::string::npos) << messages;
            EXPECT_NE(messages.find(expected), std::string::npos) << messages;
        } else {
            EXPECT_EQ(messages.find("one frame"), std::string::npos) << messages;
        }
    }
}

}  // namespace
