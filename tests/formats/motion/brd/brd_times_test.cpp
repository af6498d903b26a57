// BRD: record times as whole seconds and microseconds, the start and rate read back from them,
// values written with every digit they have, and sensors never seen.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/brd/voxa_ascension.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class BrdTimes : public Fixture {
protected:
    // The fields of each record line.
    static std::vector<std::vector<std::string>> Records(const std::string& text) {
        std::vector<std::vector<std::string>> rows;
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line)) {
            std::vector<std::string> row;
            std::istringstream fields(line);
            std::string field;
            while (fields >> field)
                row.push_back(field);
            rows.push_back(row);
        }
        return rows;
    }
    static bool IsWholeNumber(const std::string& field) {
        if (field.empty()) return false;
        for (size_t k = field[0] == '-' ? 1 : 0; k < field.size(); ++k)
            if (field[k] < '0' || field[k] > '9') return false;
        return true;
    }
};

TEST_F(BrdTimes, TimesStartAndRateReadBackAsWritten) {
    FilterSettings filters(0, false);
    const double big = 12800.0126953125;  // 128 m and a tenth of a millimetre, in centimetres
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {{big, -0.123456789f, 1e-5f, 0}});
    for (double rate : {59.94, 120.0, 23.976}) {
        SCOPED_TRACE(rate);
        const std::string path = TempPath("times.brd");
        VTime start;
        start.SetSecondDouble(0.1);
        VOxaWriterAscension writer(mManager);
        const int frames = 150;
        ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
            o.SetFrameCount(frames);
            o.SetTimeMode(0, rate);
            o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
            o.SetStartTime(start);
        }));
        std::unique_ptr<VStreamOptionsMotion> asked(VStreamOptionsMotion::Create());
        asked->SetTimeMode(0, rate);
        const int64_t period = asked->GetFramePeriod().Get();
        const std::vector<std::vector<std::string>> rows = Records(ReadFile(path));
        ASSERT_EQ(rows.size(), (size_t)frames);
        for (int f = 0; f < frames; ++f) {
            const std::vector<std::string>& row = rows[(size_t)f];
            ASSERT_EQ(row.size(), 13u);
            // Whole seconds, then the whole microseconds within the second, rounded.
            ASSERT_TRUE(IsWholeNumber(row[11]) && IsWholeNumber(row[12])) << row[11] << " " << row[12];
            const long long micro = std::atoll(row[12].c_str());
            EXPECT_GE(micro, 0);
            EXPECT_LT(micro, 1000000);
            const double seconds = (double)(start.Get() + period * f) / (double)VTime::kOneSecond;
            EXPECT_NEAR((double)std::atoll(row[11].c_str()) + micro * 1e-6, seconds, 0.5e-6 + 1e-12) << f;
        }
        EXPECT_EQ(std::strtod(rows[0][3].c_str(), nullptr), big);
        EXPECT_EQ(std::strtod(rows[0][4].c_str(), nullptr), (double)-0.123456789f);
        EXPECT_EQ(std::strtod(rows[0][5].c_str(), nullptr), (double)1e-5f);

        VOxaReaderAscension reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        EXPECT_EQ(motion->GetFrameRate(), rate);
        EXPECT_EQ(motion->GetStartTime().Get(), start.Get());
        EXPECT_EQ(motion->GetFrameCount(), frames);
    }
    // A time just short of a whole second rounds up to the second, never to 1000000 microseconds.
    const std::string path = TempPath("second.brd");
    VOxaWriterAscension writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6);
        o.SetStartTime(VTime(VTime::kOneSecond - 1));
    }));
    const std::vector<std::vector<std::string>> rows = Records(ReadFile(path));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][11], "1");
    EXPECT_EQ(rows[0][12], "0");
}

TEST_F(BrdTimes, SensorsNeverSeenGetNoRecord) {
    FilterSettings filters(0, false);
    VOxaNode* root = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(root);
    AddMarked(root, "Seen", {{1, 2, 3, 0}, {4, 5, 6, 0}}, {1});
    AddMarked(root, "Hidden", {{0, 0, 0, 0}, {0, 0, 0, 0}}, {0, 1});
    AddMarked(root, "Later", {{7, 8, 9, 0}, {7, 8, 9, 0}});
    const std::string path = TempPath("unseen.brd");
    VOxaWriterAscension writer(mManager);
    // Gaps are written as valid data by default: the seen sensor keeps its record where it is
    // occluded, the one never seen gets none.
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
    }));
    // The sensors keep their places in the numbers: 0 and 2, the unseen 1 left out; read back and
    // written again, they keep them.
    auto sensorNumbers = [&](const std::string& file) {
        std::string numbers;
        for (const std::vector<std::string>& row : Records(ReadFile(file)))
            numbers += row[1] + " ";
        return numbers;
    };
    EXPECT_EQ(sensorNumbers(path), "0 2 0 2 ");
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("\"Hidden\""), std::string::npos) << messages;
    EXPECT_EQ(messages.find("\"Seen\""), std::string::npos) << messages;
    mScene = mManager->CreateScene();
    VOxaReaderAscension reader(mManager);
    ASSERT_TRUE(ReadWith(reader, path));
    std::vector<VOxaNode*> nodes{mScene->GetRootNode()};
    for (size_t i = 0; i < nodes.size(); ++i) {
        for (int c = 0; c < nodes[i]->GetChildCount(); ++c)
            nodes.push_back(nodes[i]->GetChild(c));
        if (i > 0) nodes[i]->SetMarked(1, true);
    }
    VOxaWriterAscension again(mManager);
    const std::string second = TempPath("again.brd");
    ASSERT_TRUE(WriteWith(again, second, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    })) << again.GetError().GetLastErrorString().Buffer();
    EXPECT_EQ(sensorNumbers(second), "0 2 0 2 ");
}

TEST_F(BrdTimes, RatesAtTheEdges) {
    FilterSettings filters(0, false);
    // Records a microsecond apart are the fastest rate the formats hold; a tenth of a
    // microsecond apart is refused with the reason.
    for (double micro : {1.0, 0.1}) {
        TearDown();
        SetUp();
        const std::string path = TempPath("fast.brd");
        std::string text;
        for (int f = 0; f < 3; ++f) {
            char line[96];
            std::snprintf(line, sizeof line, "%d\t0\tP\t1\t2\t3\tQ\t0\t0\t0\t1\t0\t%g\n", f, f * micro);
            text += line;
        }
        WriteFile(path, text);
        VOxaReaderAscension reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        if (micro == 1.0) {
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

    // One frame of records holds one time, and a rate needs two: the writer says what the file
    // reads back at. At the default rate there is nothing to say.
    for (double rate : {50.0, VTime::GetFrameRate(0)}) {
        TearDown();
        SetUp();
        AddMarked(mScene->GetRootNode(), "A", {{1, 2, 3, 0}});
        AddMarked(mScene->GetRootNode(), "B", {{4, 5, 6, 0}});
        const std::string path = TempPath("one.brd");
        VOxaWriterAscension writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [rate](VStreamOptionsMotion& o) {
            o.SetFrameCount(1);
            o.SetTimeMode(0, rate);
        }));
        const std::vector<std::vector<std::string>> rows = Records(ReadFile(path));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0][0], rows[1][0]);  // both records of one frame
        const std::string messages = writer.GetMessageText().Buffer();
        if (rate == 50.0) {
            char expected[200];
            std::snprintf(expected, sizeof expected,
                          "the take's 50 frames per second is not kept, and the file reads back at %g",
                          VTime::GetFrameRate(0));
            EXPECT_NE(messages.find("The BRD file holds one frame"), std::string::npos) << messages;
            EXPECT_NE(messages.find(expected), std::string::npos) << messages;
        } else {
            EXPECT_EQ(messages.find("one frame"), std::string::npos) << messages;
        }
    }
    // Three frames whose later two are gaps: the records hold one frame, and so no rate.
    TearDown();
    SetUp();
    AddMarked(mScene->GetRootNode(), "A", {{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 2, 3, 0}}, {1, 2});
    VOxaWriterAscension writer(mManager);
    ASSERT_TRUE(WriteWith(writer, TempPath("gaps.brd"), [](VStreamOptionsMotion& o) {
        o.SetFrameCount(3);
        o.SetTimeMode(0, 50.0);
        o.SetOption(VStreamOptionsMotion::eEXPORT_GAPS_AS_VALID_DATA, 0);
    }));
    EXPECT_EQ(Records(ReadFile(TempPath("gaps.brd"))).size(), 1u);
    EXPECT_NE(std::string(writer.GetMessageText().Buffer()).find("The BRD file holds one frame"),
              std::string::npos);
}

}  // namespace
