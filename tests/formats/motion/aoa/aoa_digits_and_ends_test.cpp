// AOA and MCD: rates and coordinates written with every digit they have, the start the format
// cannot hold, and files that end inside their last frame.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class AoaDigits : public Fixture {
protected:
    // The whitespace-separated numbers of a text line, as a reader of the format parses them.
    static std::vector<double> Numbers(const std::string& line) {
        std::vector<double> out;
        std::istringstream in(line);
        std::string token;
        while (in >> token)
            out.push_back(std::strtod(token.c_str(), nullptr));
        return out;
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }
};

TEST_F(AoaDigits, RateAndCoordinatesReadBackAsWritten) {
    // 1 km and a hundredth of a micrometre apart in centimetres, and a value of many digits: six
    // significant digits would lose both.
    const std::vector<double> values = {100000.0f, 12800.0126953125, -0.123456789f};
    VOxaNode* root = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(root);
    AddMarked(root, "A", {{values[0], values[1], values[2], 0}});
    AddMarked(root, "B", {{values[2], values[0], values[1], 0}});
    VTime start;
    start.SetSecondDouble(0.5);
    for (bool mcd : {false, true}) {
        SCOPED_TRACE(mcd ? "MCD" : "AOA");
        const std::string path = TempPath(mcd ? "digits.mcd" : "digits.aoa");
        VOxaWriterAdaptiveOptics writer(mManager, mcd);
        ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
            o.SetFrameCount(1);
            o.SetTimeMode(0, 119.88012);
            o.SetStartTime(start);
        }));
        const std::vector<std::string> lines = Lines(ReadFile(path));
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "frames = 1 markers = 2 Hz = 119.88012");
        const std::vector<double> a = Numbers(lines[1]), b = Numbers(lines[2]);
        ASSERT_EQ(a.size(), 3u);
        ASSERT_EQ(b.size(), 3u);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(a[(size_t)k], (double)(float)values[(size_t)k]) << k;
            EXPECT_EQ(b[(size_t)k], (double)(float)values[(size_t)(k + 2) % 3]) << k;
        }
        // The header holds no start: the writer says that the take comes back from 0.
        const std::string notes = writer.GetMessageText().Buffer();
        EXPECT_NE(notes.find("starts at 0.5 s"), std::string::npos) << notes;
        EXPECT_NE(notes.find(mcd ? "MCD files hold no start" : "AOA files hold no start"), std::string::npos);

        VOxaReaderAdaptiveOptics reader(mManager, mcd);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), 119.88012);
    }
    // A take from 0 gets no such note.
    VOxaWriterAdaptiveOptics writer(mManager, false);
    ASSERT_TRUE(WriteWith(writer, TempPath("from0.aoa"), [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6);
    }));
    EXPECT_EQ(std::string(writer.GetMessageText().Buffer()).find("hold no start"), std::string::npos);
}

TEST_F(AoaDigits, FilesCutInTheirLastFrameKeepTheirWholeFrames) {
    const std::string header = "frames = 3 markers = 2 Hz = 60\n";
    const std::string twoFrames = "1 2 3\n4 5 6\n7 8 9\n10 11 12\n";
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"a line short", header + twoFrames + "13 14 15\n"},
        {"cut inside a line", header + twoFrames + "13 14 15\n16 17"},
        {"cut after a marker's line without its line end", header + twoFrames + "13 14 15"},
    };
    for (bool mcd : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(mcd ? "MCD " : "AOA ") + c.what);
            TearDown();
            SetUp();
            const std::string path = TempPath(mcd ? "cut.mcd" : "cut.aoa");
            WriteFile(path, c.text);
            VOxaReaderAdaptiveOptics reader(mManager, mcd);
            ASSERT_TRUE(ReadWith(reader, path));
            VOxaNode* second = Find("Marker2");
            ASSERT_NE(second, nullptr);
            ASSERT_EQ(Curve(second, 0)->KeyGetCount(), 2);
            EXPECT_EQ(Key(second, 0, 1), 10.0f);
            EXPECT_EQ(Key(Find("Marker1"), 2, 1), 9.0f);
            const std::string warning = reader.GetMessageText().Buffer();
            EXPECT_NE(warning.find("The header gives 3 frames, but the file ends after 2 whole frames"),
                      std::string::npos)
                << warning;
            // Given once, though the header is read for the options and again for the read.
            EXPECT_EQ(warning.find("The header gives"), warning.rfind("The header gives"));
        }
    }
    // A header that promises far more frames than the file holds reads what it has.
    TearDown();
    SetUp();
    {
        const std::string path = TempPath("lacks.aoa");
        WriteFile(path, "frames = 2000000000 markers = 1 Hz = 30\n1 2 3\n1 2 3\n");
        VOxaReaderAdaptiveOptics reader(mManager, false);
        ASSERT_TRUE(ReadWith(reader, path));
        EXPECT_EQ(Curve(Find("Marker1"), 0)->KeyGetCount(), 2);
        EXPECT_NE(std::string(reader.GetMessageText().Buffer()).find("gives 2000000000 frames"),
                  std::string::npos);
    }
    // A whole file says nothing; one cut in its first frame is still refused.
    {
        const std::string path = TempPath("whole.aoa");
        WriteFile(path, header + twoFrames + "13 14 15\n16 17 18\n");
        VOxaReaderAdaptiveOptics reader(mManager, false);
        ASSERT_TRUE(ReadWith(reader, path));
        EXPECT_STREQ(reader.GetMessageText().Buffer(), "");
    }
    {
        const std::string path = TempPath("first.aoa");
        WriteFile(path, header + "1 2 3\n4 5");
        VOxaReaderAdaptiveOptics reader(mManager, false);
        int error = -1;
        EXPECT_FALSE(ReadWith(reader, path, nullptr, &error));
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    }
}

}  // namespace
