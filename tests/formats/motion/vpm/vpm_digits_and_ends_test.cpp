// VPM: frame times and values written with every digit they have, the rate read back from the
// frame time, the start the format cannot hold, markers never seen, and files cut short.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/vpm/voxa_puppeteer.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

std::string Segment(const char* name, int frames, int lines) {
    std::string text = std::string("Segment:\t") + name + "\nFrames:\t" + std::to_string(frames) +
                       "\nFrame Time:\t0.04\nXTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n"
                       "INCHES\tINCHES\tINCHES\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n";
    for (int j = 0; j < lines; ++j)
        text += std::to_string(j + 1) + "\t2\t3\t10\t20\t30\t100\t100\t100\n";
    return text;
}

class VpmDigits : public Fixture {
protected:
    bool Read(const std::string& text, std::string& messages) {
        const std::string path = TempPath("ends.vpm");
        WriteFile(path, text);
        VOxaReaderPuppeteer reader(mManager);
        const bool ok = ReadWith(reader, path);
        messages = reader.GetMessageText().Buffer();
        return ok;
    }
    // The value after `key` on the first line that starts with it, and the numbers of the line
    // after the two title lines that follow that header.
    static std::string After(const std::string& text, const std::string& key) {
        const size_t at = text.find(key);
        if (at == std::string::npos) return "";
        const size_t end = text.find('\n', at);
        return text.substr(at + key.size(), end - at - key.size());
    }
    static std::vector<double> FirstFrame(const std::string& text) {
        std::istringstream lines(text);
        std::string line;
        for (int k = 0; k < 6 && std::getline(lines, line); ++k) {
        }
        std::vector<double> out;
        std::istringstream fields(line);
        std::string field;
        while (fields >> field)
            out.push_back(std::strtod(field.c_str(), nullptr));
        return out;
    }
};

TEST_F(VpmDigits, FilesCutShortKeepTheirWholeFrames) {
    FilterSettings filters(0, false);
    std::string messages;
    // The file ends inside the fourth frame line of the second segment.
    ASSERT_TRUE(Read(Segment("Head", 4, 4) + Segment("Hand", 4, 2) + "3\t2\t3\t10", messages));
    VOxaNode* hand = Find("Hand");
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(Curve(hand, 0)->KeyGetCount(), 2);
    EXPECT_FLOAT_EQ(Key(hand, 0, 1), 2 * 2.54f);
    EXPECT_EQ(Curve(Find("Head"), 0)->KeyGetCount(), 4);
    EXPECT_NE(
        messages.find("Segment \"Hand\" gives 4 frames, but the file ends after 2 whole frames; those 2 "
                      "are read."),
        std::string::npos)
        << messages;

    // The first segment, ending at a line end after 3 of its 4 frames.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 4, 3), messages));
    ASSERT_NE(Find("Head"), nullptr);
    EXPECT_EQ(Curve(Find("Head"), 0)->KeyGetCount(), 3);
    EXPECT_NE(messages.find("gives 4 frames, but the file ends after 3 whole frames"), std::string::npos);

    // A later segment cut before its first frame is not read, with a word.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 2, 2) + Segment("Hand", 2, 0) + "1 2", messages));
    EXPECT_NE(Find("Head"), nullptr);
    EXPECT_EQ(Find("Hand"), nullptr);
    EXPECT_NE(
        messages.find("Segment \"Hand\" gives 2 frames, but the file ends before its first whole frame"),
        std::string::npos)
        << messages;

    // A whole file says nothing.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 2, 2) + Segment("Hand", 2, 2), messages));
    EXPECT_EQ(messages, "");
}

TEST_F(VpmDigits, FrameTimesRatesAndValuesReadBackAsWritten) {
    FilterSettings filters(0, false);
    const double big = 12800.0126953125;  // 128 m and a tenth of a millimetre, in centimetres
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {{big, -0.123456789f, 1e-5f, 0}});
    for (double rate : {59.94, 120.0, 23.976, 119.88012}) {
        SCOPED_TRACE(rate);
        const std::string path = TempPath("rate.vpm");
        VOxaWriterPuppeteer writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [rate](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(0, rate);
            o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
        }));
        const std::string text = ReadFile(path);
        std::unique_ptr<VStreamOptionsMotion> asked(VStreamOptionsMotion::Create());
        asked->SetTimeMode(0, rate);
        EXPECT_EQ(std::strtod(After(text, "Frame Time:\t").c_str(), nullptr),
                  (double)asked->GetFramePeriod().Get() / (double)VTime::kOneSecond);
        const std::vector<double> frame = FirstFrame(text);
        ASSERT_EQ(frame.size(), 9u);
        EXPECT_EQ(frame[0], big * 0.3937007874015748);
        EXPECT_EQ(frame[1], (double)-0.123456789f * 0.3937007874015748);
        EXPECT_EQ(frame[2], (double)1e-5f * 0.3937007874015748);

        VOxaReaderPuppeteer reader(mManager);
        ASSERT_TRUE(reader.FileOpen(path.c_str()));
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetFrameRate(), rate);
    }
}

TEST_F(VpmDigits, MarkersNeverSeenAndTheStart) {
    FilterSettings filters(0, false);
    VOxaNode* root = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(root);
    AddMarked(root, "Seen", {{1, 2, 3, 0}, {4, 5, 6, 0}}, {0});
    AddMarked(root, "Hidden", {{0, 0, 0, 0}, {0, 0, 0, 0}}, {0, 1});
    const std::string path = TempPath("unseen.vpm");
    VOxaWriterPuppeteer writer(mManager);
    VTime start;
    start.SetSecondDouble(1.0 / 30.0);
    ASSERT_TRUE(WriteWith(writer, path, [start](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6);
        o.SetStartTime(start);
    }));
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("Segment:\tSeen"), std::string::npos);
    EXPECT_EQ(text.find("Hidden"), std::string::npos);
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("\"Hidden\" is occluded in every frame written; it is left out."),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("VPM files hold no start, so it reads back starting at 0 s"), std::string::npos);
    // The seen marker is written where the take has it at the start, frame 2.
    EXPECT_EQ(FirstFrame(text)[0], 4.0 * 0.3937007874015748);
}

}  // namespace
