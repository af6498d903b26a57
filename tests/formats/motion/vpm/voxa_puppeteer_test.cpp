// VPM files: segments, units, skipping, duplicates, writing and round trips.

#include "formats/motion/vpm/voxa_puppeteer.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

using namespace markertest;

namespace {

std::string Segment(const char* name, int frames, int lines, double base = 1.0, const char* time = "0.04") {
    std::string text = std::string("Segment:\t") + name + "\nFrames:\t" + std::to_string(frames) +
                       "\nFrame Time:\t" + time +
                       "\nXTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n"
                       "INCHES\tINCHES\tINCHES\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n";
    for (int j = 0; j < lines; ++j)
        text += std::to_string(base + j) + "\t2\t3\t10\t20\t30\t50\t50\t50\n";
    return text;
}

class Vpm : public Fixture {
protected:
    bool ReadText(const std::string& name, const std::string& text, const Adjust& adjust = nullptr,
                  int* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        VOxaReaderPuppeteer reader(mManager);
        return ReadWith(reader, path, adjust, error);
    }
    // The reader's error text for `text` ("" when it reads).
    std::string Refusal(const std::string& text) {
        const std::string path = TempPath("refused.vpm");
        WriteFile(path, text);
        VOxaReaderPuppeteer reader(mManager);
        return readfailure::Refusal(reader, mScene, path);
    }
    VOxaNode* Segment(const char* name) {
        VOxaNode* reference = Find("VPM:reference");
        return reference ? reference->FindChild(name, false) : nullptr;
    }
};

TEST_F(Vpm, vpm_UnitsAndSkipping) {
    FilterSettings filters(0, false);
    ASSERT_TRUE(ReadText("vpm_two.vpm", ::Segment("Head", 10, 10) + ::Segment("Hand", 10, 10, 100.0),
                         [](VStreamOptionsMotion& o) { o.SetFrameCount(5); }));
    VOxaNode* head = Segment("Head");
    VOxaNode* hand = Segment("Hand");
    ASSERT_NE(head, nullptr);
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(Curve(hand, 0)->KeyGetCount(), 5);
    // Inches become centimetres; rotation stays; scaling from the file is dropped.
    EXPECT_FLOAT_EQ(Key(head, 0, 0), 2.54f);
    EXPECT_FLOAT_EQ(Key(head, 1, 0), 5.08f);
    EXPECT_FLOAT_EQ(Key(head, 2, 0), 7.62f);
    EXPECT_EQ(Key(head, 3, 0), 10.0f);
    EXPECT_EQ(Key(head, 4, 0), 20.0f);
    EXPECT_EQ(Key(head, 5, 0), 30.0f);
    EXPECT_EQ(Key(head, 6, 0), 1.0f);
    EXPECT_FLOAT_EQ(Key(hand, 0, 4), 104.0f * 2.54f);
    EXPECT_EQ(Curve(head, 0)->KeyGetTime(1).Get(), VTime::kOneSecond / 25);
}

TEST_F(Vpm, vpm_TheUnitsRowGivesTheLengthUnit) {
    FilterSettings filters(0, false);
    // The translation columns in the units the row names: x = 10 in each, as centimetres.
    const struct {
        const char* units;
        double centimetres;  // of 10 units
        const char* warned;
    } cases[] = {
        {"MM\tMM\tMM", 1.0, nullptr},
        {"CM\tCM\tCM", 10.0, nullptr},
        {"METERS\tMETERS\tMETERS", 1000.0, nullptr},
        {"FEET\tFEET\tFEET", 304.8, nullptr},
        {"inches\tinches\tinches", 25.4, nullptr},
        {"MILLIMETERS\tMILLIMETERS\tMILLIMETERS", 1.0, nullptr},
        {"PIXELS\tPIXELS\tPIXELS", 25.4,
         "Segment \"Head\": the units \"PIXELS\" of translation column 1 (line 5) are no length unit; "
         "they are read as inches."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        const std::string text = std::string("Segment:\tHead\nFrames:\t1\nFrame Time:\t0.04\n") +
                                 "XTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n" + c.units +
                                 "\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n" +
                                 "10\t10\t10\t0\t0\t0\t100\t100\t100\n";
        const std::string path = TempPath("vpm_units.vpm");
        WriteFile(path, text);
        VOxaReaderPuppeteer reader(mManager);
        ASSERT_TRUE(ReadWith(reader, path));
        VOxaNode* head = Segment("Head");
        ASSERT_NE(head, nullptr);
        EXPECT_NEAR(Key(head, 0, 0), c.centimetres, 1e-4 * c.centimetres);
        EXPECT_NEAR(Key(head, 2, 0), c.centimetres, 1e-4 * c.centimetres);
        const std::string messages = reader.GetMessageText().Buffer();
        if (c.warned)
            EXPECT_NE(messages.find(c.warned), std::string::npos) << messages;
        else
            EXPECT_EQ(messages.find("units"), std::string::npos) << messages;
        mScene->Clear();
    }
}

TEST_F(Vpm, vpm_SegmentFailures) {
    FilterSettings filters(0, false);
    int error = -1;
    // The first segment promises 4 frames and the file ends before its first: the read fails and
    // nothing is attached.
    EXPECT_FALSE(ReadText("vpm_cut.vpm", ::Segment("Head", 4, 0), nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);
    // A later segment that fails (the next segment stands where its fourth frame should) ends the
    // list; the earlier ones stay.
    ASSERT_TRUE(ReadText("vpm_later.vpm",
                         ::Segment("Head", 4, 4) + ::Segment("Hand", 4, 3) + ::Segment("Foot", 4, 4)));
    EXPECT_NE(Segment("Head"), nullptr);
    EXPECT_EQ(Segment("Hand"), nullptr);

    const std::string bad[] = {
        ::Segment("Head", 1, 1, 1.0, "0"),                  // frame time 0
        ::Segment("Head", 1, 1, 1.0, "1e-12"),              // a period under one tick
        ::Segment("Head", -1, 1),                           // negative count
        ::Segment("Head", 1, 1) + ::Segment("Head", 1, 1),  // duplicate names
        "Segment:\nFrames:\t1\nFrame Time:\t0.04\n",
        "Frames:\t1\n",
    };
    for (const std::string& text : bad) {
        Messages::Clear();
        EXPECT_FALSE(ReadText("vpm_bad.vpm", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
    EXPECT_EQ(Messages::Title(), "");
    ASSERT_FALSE(ReadText("vpm_dup.vpm", ::Segment("Head", 1, 1) + ::Segment("Head", 1, 1)));
    EXPECT_EQ(Messages::Title(), "Error");
    EXPECT_EQ(Messages::Text(), "Duplicate names found in vpm_dup.vpm:\n    Model::Head");

    // Closing twice: the second close has no file.
    const std::string path = TempPath("vpm_close.vpm");
    WriteFile(path, ::Segment("Head", 1, 1));
    VOxaReaderPuppeteer reader(mManager);
    EXPECT_FALSE(reader.FileClose());
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    reader.GetError().ClearError();
    EXPECT_TRUE(reader.FileClose());
    EXPECT_FALSE(reader.IsFileOpen());
    EXPECT_FALSE(reader.FileClose());
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
}

TEST_F(Vpm, vpm_WriterAndRoundTrip) {
    FilterSettings filters(0, false);
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    // The curves hold 2.54 as the float nearest it, written in inches with every digit.
    AddMarked(group, "Actor:Head", {VgeTVector(2.54, 0, 0, 0), VgeTVector(0, 5.08, 0, 0)});
    AddMarked(group, "Hand", {VgeTVector(0, 0, 0, 0), VgeTVector(0, 0, -2.54, 0)});
    const std::string path = TempPath("vpm_round.vpm");
    VOxaWriterPuppeteer writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(10);
    }));
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.substr(0, text.find("Segment:\tHand")),
              "Segment:\tHead\nFrames:\t2\nFrame Time:\t0.04\n"
              "XTRAN\tYTRAN\tZTRAN\tXROT\tYROT\tZROT\tXSCALE\tYSCALE\tZSCALE\n"
              "INCHES\tINCHES\tINCHES\tDEGREES\tDEGREES\tDEGREES\tPERCENT\tPERCENT\tPERCENT\n"
              "0.9999999849815069\t0\t0\t0\t-0\t0\t100\t100\t100\n"
              "0\t1.9999999699630138\t0\t0\t-0\t0\t100\t100\t100\n");
    ASSERT_TRUE(ReadText("vpm_round2.vpm", text));
    VOxaNode* head = Segment("Head");
    VOxaNode* hand = Segment("Hand");
    ASSERT_NE(head, nullptr);
    ASSERT_NE(hand, nullptr);
    EXPECT_FLOAT_EQ(Key(head, 0, 0), 2.54f);
    EXPECT_FLOAT_EQ(Key(head, 1, 1), 5.08f);
    EXPECT_FLOAT_EQ(Key(hand, 2, 1), -2.54f);
}

TEST_F(Vpm, vpm_RefusalsSayWhere) {
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "the file is empty"},
        {"\t\n", "line 1: the file holds nothing but blank lines"},
        {"Frames: 3\n", "line 1: \"Segment:\" expected"},
        {"Segment:\n", "line 1: a segment without a name"},
        {"Segment: hip\n", "line 1: the file ends in the header of segment \"hip\""},
        {"Segment: hip\nFrames: 3\n", "line 2: the file ends in the header of segment \"hip\""},
        {"Segment: hip\nFrame Time: 3\n", "line 2: \"Frames:\" expected in segment \"hip\""},
        {"Segment: hip\nFrames: three\n", "line 2: \"Frames:\" without a whole number in segment \"hip\""},
        {"Segment: hip\nFrames: 3\nFrames: 3\n", "line 3: \"Frame Time:\" expected in segment \"hip\""},
        {"Segment: hip\nFrames: 3\nFrame Time: soon\n",
         "line 3: \"Frame Time:\" without a number in segment \"hip\""},
        {"Segment: hip\nFrames: -3\nFrame Time: 0.1\n", "line 3: segment \"hip\" has -3 frames"},
        {"Segment: hip\nFrames: 3\nFrame Time: 0\n", "line 3: segment \"hip\" has a frame time of 0 seconds"},
        {"Segment: hip\nFrames: 3\nFrame Time: 1e-12\n",
         "line 3: a frame time of 1e-12 seconds is shorter than the time resolution"},
        {"Segment: hip\nFrames: 3\nFrame Time: 0.1\n", "line 3: the file ends before the column titles"},
        {"Segment: hip\nFrames: 3\nFrame Time: 0.1\nX Y Z\n",
         "line 4: the file ends before the column units"},
        {::Segment("hip", 3, 0), "line 5: the file ends after 0 of the 3 frames of segment \"hip\""},
        {::Segment("hip", 3, 1) + "1 2 3 4 5 6 7 8\n",
         "line 7: nine numbers expected (translation, rotation, scaling)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Refusal(c.text), std::string("File is corrupted: ") + c.why) << c.text;
}

}  // namespace
