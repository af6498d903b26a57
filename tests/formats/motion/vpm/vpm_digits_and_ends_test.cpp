// VPM: frame times and values written with every digit they have, the rate read back from the
// frame time, the start the format cannot hold, markers never seen, and files cut short.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/trc/voxa_motion_analysis_trc.h"
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
    // The data lines of a TRC (those after the two title lines and the blank one), split at tabs.
    static std::vector<std::vector<std::string>> TrcRows(const std::string& text) {
        std::istringstream lines(text);
        std::string line;
        std::vector<std::vector<std::string>> rows;
        for (int k = 0; std::getline(lines, line); ++k) {
            if (k < 6 || line.empty()) continue;
            std::vector<std::string> fields;
            size_t at = 0;
            for (size_t tab; (tab = line.find('\t', at)) != std::string::npos; at = tab + 1)
                fields.push_back(line.substr(at, tab - at));
            fields.push_back(line.substr(at));
            rows.push_back(fields);
        }
        return rows;
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

TEST_F(VpmDigits, FilesCutShortKeepTheirWholeFramesAndLoseTheRestAsGaps) {
    FilterSettings filters(0, false);
    std::string messages;
    // The file ends inside the third frame line of the second segment: Hand has frames 1 and 2,
    // and its frames 3 and 4 are gaps; Head keeps all four.
    ASSERT_TRUE(Read(Segment("Head", 4, 4) + Segment("Hand", 4, 2) + "3\t2\t3\t10", messages));
    VOxaNode* hand = Find("Hand");
    VOxaNode* head = Find("Head");
    ASSERT_NE(hand, nullptr);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Curve(head, 0)->KeyGetCount(), 4);
    EXPECT_EQ(Curve(hand, 0)->KeyGetCount(), 2);
    EXPECT_NE(
        messages.find("Segment \"Hand\" gives 4 frames, but the file ends after 2 whole frames: those 2 "
                      "are read, and the marker is occluded from frame 3 on."),
        std::string::npos)
        << messages;
    const VTime period = VTime::kOneSecond / 25;
    for (int f = 0; f < 4; ++f) {
        SCOPED_TRACE(f);
        const VTime time = period * (int64_t)f;
        EXPECT_EQ(Curve(hand, 9)->Evaluate(time), f < 2 ? 0.0f : 1.0f);
        // In the gap the marker holds its last position, as gaps filled from the last seen one do.
        EXPECT_FLOAT_EQ(Curve(hand, 0)->Evaluate(time), (f < 2 ? f + 1 : 2) * 2.54f);
        EXPECT_EQ(Curve(head, 9)->KeyGetCount(), 0);
    }
    // A writer with gaps writes them as gaps: a TRC (millimetres) has Hand's fields empty from
    // frame 3 on and every other value 25.4 times the file's inches.
    const std::string trc = TempPath("cut.trc");
    head->SetMarked(1);
    hand->SetMarked(1);
    {
        VOxaWriterMotionAnalysisTrc writer(mManager);
        ASSERT_TRUE(WriteWith(writer, trc, [](VStreamOptionsMotion& o) {
            o.SetFrameCount(4);
            o.SetTimeMode(0, 25.0);
            o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
        }));
    }
    const std::vector<std::vector<std::string>> rows = TrcRows(ReadFile(trc));
    ASSERT_EQ(rows.size(), 4u);
    for (int f = 0; f < 4; ++f) {
        SCOPED_TRACE(f);
        ASSERT_GE(rows[(size_t)f].size(), 8u);
        // Frame, time, Head x y z, Hand x y z.
        EXPECT_DOUBLE_EQ(std::strtod(rows[(size_t)f][2].c_str(), nullptr), (f + 1) * 25.4);
        for (int a = 0; a < 3; ++a) {
            const std::string& field = rows[(size_t)f][(size_t)(5 + a)];
            if (f < 2)
                EXPECT_NEAR(std::strtod(field.c_str(), nullptr), (a == 0 ? f + 1 : a + 1) * 25.4, 1e-4);
            else
                EXPECT_EQ(field.find_first_not_of(' '), std::string::npos) << field;
        }
    }

    // The first segment, ending at a line end after 3 of its 4 frames: its fourth frame is a gap
    // and no segment follows.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 4, 3), messages));
    head = Find("Head");
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(Curve(head, 0)->KeyGetCount(), 3);
    EXPECT_EQ(Curve(head, 9)->Evaluate(period * 2), 0.0f);
    EXPECT_EQ(Curve(head, 9)->Evaluate(period * 3), 1.0f);
    EXPECT_NE(
        messages.find("gives 4 frames, but the file ends after 3 whole frames: those 3 are read, and the "
                      "marker is occluded from frame 4 on."),
        std::string::npos)
        << messages;

    // A later segment cut before its first whole frame, or in its header after its name (the
    // file's last line may lack its line end, and its last number be cut short), is a marker
    // occluded in every frame; a writer without gaps leaves it out.
    const struct {
        std::string tail;
        const char* warning;
    } unseen[] = {
        {Segment("Hand", 2, 0) + "1 2",
         "Segment \"Hand\" gives 2 frames, but the file ends before its first whole frame: the marker is "
         "read "
         "as occluded in every frame."},
        {"Segment:\tHand\nFrames:\t2\n",
         "The file ends in the header of segment \"Hand\": the marker is read as occluded in every frame."},
        {"Segment:\tHand\nFrames:\t2\nFrame Time:\t0.0",
         "The file ends in the header of segment \"Hand\": the marker is read as occluded in every frame."},
        {"Segment:\tHand\nFrames:\t2\nFrame Time:\t0.04\nXTRAN",
         "The file ends in the header of segment \"Hand\": the marker is read as occluded in every frame."},
    };
    for (const auto& c : unseen) {
        SCOPED_TRACE(c.tail);
        TearDown();
        SetUp();
        ASSERT_TRUE(Read(Segment("Head", 2, 2) + c.tail, messages));
        EXPECT_NE(Find("Head"), nullptr);
        hand = Find("Hand");
        ASSERT_NE(hand, nullptr);
        EXPECT_EQ(Curve(hand, 0)->KeyGetCount(), 0);
        EXPECT_EQ(Curve(hand, 9)->Evaluate(VTime(0)), 1.0f);
        EXPECT_EQ(Curve(hand, 9)->Evaluate(period), 1.0f);
        EXPECT_NE(messages.find(c.warning), std::string::npos) << messages;
    }
    {
        Find("Head")->SetMarked(1);
        Find("Hand")->SetMarked(1);
        VOxaWriterPuppeteer writer(mManager);
        ASSERT_TRUE(WriteWith(writer, TempPath("again.vpm"), [](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(0, 25.0);
            o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
        }));
        EXPECT_EQ(ReadFile(TempPath("again.vpm")).find("Hand"), std::string::npos);
        EXPECT_NE(std::string(writer.GetMessageText().Buffer()).find("\"Hand\" is occluded in every frame"),
                  std::string::npos);
    }

    // A file that ends inside a segment's name names no marker: the segment is not read, with a
    // word.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 2, 2) + "Segment:\tHa", messages));
    EXPECT_NE(Find("Head"), nullptr);
    EXPECT_EQ(Find("Ha"), nullptr);
    EXPECT_NE(messages.find("The file ends in the header of a segment whose name it does not hold whole"),
              std::string::npos)
        << messages;

    // A whole file says nothing, and neither does one whose next segment is not a segment.
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 2, 2) + Segment("Hand", 2, 2), messages));
    EXPECT_EQ(messages, "");
    TearDown();
    SetUp();
    ASSERT_TRUE(Read(Segment("Head", 2, 2) + "Trailer:\tnotes\n", messages));
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
