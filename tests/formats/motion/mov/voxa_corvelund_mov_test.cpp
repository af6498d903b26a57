// MOV files: object count, padding, the rate estimate, writing and round trips.

#include "formats/motion/mov/voxa_corvelund_mov.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/read_failure_util.h"

using namespace markertest;

namespace {

class Mov : public Fixture {
protected:
    bool ReadText(const std::string& name, const std::string& text, const Adjust& adjust = nullptr,
                  int* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        return ReadWith(reader, path, adjust, error);
    }
    // The reader's error text for `text` ("" when it reads).
    std::string Refusal(const std::string& text) {
        const std::string path = TempPath("refused.mov");
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        return readfailure::Refusal(reader, mScene, path);
    }
    VOxaNode* Object(const char* name) {
        VOxaNode* reference = Find("MOV:reference");
        return reference ? reference->FindChild(name, false) : nullptr;
    }
    double Rate(const std::string& text) {
        const std::string path = TempPath("mov_rate.mov");
        WriteFile(path, text);
        VOxaReaderCorvelundMov reader(mManager);
        reader.FileOpen(path.c_str());
        double first = 0.0;
        return reader.EstimateFrameRate(10, first);
    }
};

TEST_F(Mov, mov_ObjectsAndPadding) {
    FilterSettings filters(0, false);
    // All three groups, lines of 20 numbers: two objects, the last number ignored.
    std::string line = "0";
    for (int k = 1; k < 20; ++k)
        line += " " + std::to_string(k);
    // The second line has three numbers fewer: the last object's last group reads as 0.
    std::string shortLine = "0.04";
    for (int k = 1; k < 16; ++k)
        shortLine += "\t" + std::to_string(k + 100);
    ASSERT_TRUE(ReadText("mov_two.mov", line + "\n\n" + shortLine + "\n"));
    VOxaNode* first = Object("Marker0");
    VOxaNode* second = Object("Marker1");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Object("Marker2"), nullptr);
    EXPECT_EQ(Key(first, 0, 0), 1.0f);
    EXPECT_EQ(Key(first, 3, 0), 4.0f);
    EXPECT_EQ(Key(first, 6, 0), 7.0f);
    EXPECT_EQ(Key(second, 8, 0), 18.0f);
    EXPECT_EQ(Key(second, 0, 1), 110.0f);
    EXPECT_EQ(Key(second, 6, 1), 0.0f);
    EXPECT_EQ(Key(second, 8, 1), 0.0f);

    TearDown();
    SetUp();
    // Rotation only with lines of 7 numbers: two objects with rotation curves only.
    ASSERT_TRUE(ReadText("mov_rot.mov", "0 1 2 3 4 5 6\n1 1 2 3 4 5 6\n", [](VStreamOptionsMotion& o) {
        o.SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
        o.SetOption(VStreamOptionsMotion::eSCALING, 0);
    }));
    VOxaNode* rotated = Find("MOV:reference")->FindChild("Marker1", false);
    EXPECT_EQ(Key(rotated, 5, 1), 6.0f);
    EXPECT_EQ(Curve(rotated, 0)->KeyGetCount(), 0);

    int error = -1;
    EXPECT_FALSE(ReadText(
        "mov_none.mov", "0 1 2 3\n",
        [](VStreamOptionsMotion& o) {
            o.SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
            o.SetOption(VStreamOptionsMotion::eROTATION, -1);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
        },
        &error));
    EXPECT_EQ(error, VOxaReader::eUNIDENTIFIED_ERROR);
}

TEST_F(Mov, mov_RateEstimateAndFrameCount) {
    FilterSettings filters(0, false);
    EXPECT_NEAR(Rate("0\n0.04\n0.08\n0.12\n"), 25.0, 1e-9);
    // Repeated or falling times do not divide by zero and give no rate.
    EXPECT_EQ(Rate("1\n1\n1\n"), 0.0);
    EXPECT_EQ(Rate("3\n2\n1\n"), 0.0);
    // The rate spans the whole column: a repeated time makes the steps shorter.
    EXPECT_EQ(Rate("0\n0.04\n0.04\n0.08\n"), 37.5);

    const std::string path = TempPath("mov_count.mov");
    WriteFile(path, "1.5 1 2 3 0 0 0 1 1 1\n1.54 1 2 3 0 0 0 1 1 1\n1.58 1 2 3 0 0 0 1 1 1\n");
    TearDown();
    SetUp();
    VOxaReaderCorvelundMov reader(mManager);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(motion->GetFrameCount(), 3);
    EXPECT_EQ(motion->GetStartTime().Get(), (int64_t)(1.5 * VTime::kOneSecond));
    EXPECT_NEAR(motion->GetFrameRate(), 25.0, 1e-6);
    motion->SetFrameCount(10);  // more than the file has: only its lines become frames
    ASSERT_TRUE(reader.Read(mScene, options.get()));
    EXPECT_EQ(Curve(Object("Marker0"), 0)->KeyGetCount(), 3);

    // Constant times give the default time mode.
    WriteFile(path, "2 1 2 3\n2 1 2 3\n");
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    options.reset(reader.GetReadOptions());
    EXPECT_EQ(static_cast<VStreamOptionsMotion*>(options.get())->GetTimeMode(), VTime::GetGlobalTimeMode());
}

TEST_F(Mov, mov_BadInput) {
    int error = -1;
    const std::string bad[] = {
        "0 1 two 3\n",                 // a word on the first line
        "",                            // no line
        "0 1e-12 2 3\n1e-12 1 2 3\n",  // a period under one tick
    };
    for (const std::string& text : bad) {
        EXPECT_FALSE(ReadText("mov_bad.mov", text, nullptr, &error)) << text;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED) << text;
    }
    // Short lines cannot ask for more keys than the file backs.
    std::string wide = "0";
    for (int k = 0; k < 9000; ++k)
        wide += " 1";
    wide += "\n";
    for (int k = 0; k < 100; ++k)
        wide += "0\n";
    EXPECT_FALSE(ReadText("mov_wide.mov", wide, nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);

    // Without an open file nothing is read and nothing is attached.
    VOxaReaderCorvelundMov reader(mManager);
    std::unique_ptr<VStreamOptionsMotion> options(VStreamOptionsMotion::Create());
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 1);
    options->SetFrameCount(1);
    EXPECT_FALSE(reader.Read(mScene, options.get()));
    EXPECT_EQ(reader.GetError().GetLastErrorID(), VOxaReader::eFILE_NOT_OPENED);
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);
}

TEST_F(Mov, mov_WriterAndRoundTrip) {
    FilterSettings filters(0, false);
    VOxaNode* group = mManager->CreateNode("Group");
    mScene->GetRootNode()->AddChild(group);
    AddMarked(group, "A", {VgeTVector(1, 2, 3, 0), VgeTVector(4, 5, 6, 0)});
    AddMarked(group, "B", {VgeTVector(0, 0, 0, 0), VgeTVector(0, 0, 0, 0)});
    const std::string path = TempPath("mov_round.mov");
    VOxaWriterCorvelundMov writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(10);
    }));
    // Rotation y is -asin(0), which prints as "-0" as printf prints it.
    EXPECT_EQ(ReadFile(path),
              "0\t1\t2\t3\t0\t-0\t0\t1\t1\t1\t0\t0\t0\t0\t-0\t0\t1\t1\t1\t\n"
              "0.04\t4\t5\t6\t0\t-0\t0\t1\t1\t1\t0\t0\t0\t0\t-0\t0\t1\t1\t1\t\n");
    int error = -1;
    VOxaWriterCorvelundMov none(mManager);
    EXPECT_FALSE(WriteWith(
        none, path,
        [](VStreamOptionsMotion& o) {
            o.SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
            o.SetOption(VStreamOptionsMotion::eROTATION, 0);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
        },
        &error));
    EXPECT_EQ(error, VOxaWriter::eFILE_NOT_CREATED);

    TearDown();
    SetUp();
    ASSERT_TRUE(ReadText("mov_round2.mov", ReadFile(path), nullptr, &error)) << error;
    VOxaNode* object = Object("Marker0");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(Key(object, 2, 1), 6.0f);
    EXPECT_EQ(Key(object, 7, 0), 1.0f);
    EXPECT_EQ(Curve(object, 0)->KeyGetTime(1).Get(), VTime::kOneSecond / 25);
}

TEST_F(Mov, mov_ShortLinesMustBeBackedByTheFile) {
    // Lines shorter than the first are padded with zeros, but every value kept must be backed by
    // the file: n lines of 9 kept values may not pass the file's size plus 65536. With a first
    // line of ten values and 9364 lines "0" (one of them "00"), the file has 18749 bytes and the
    // 9365 lines keep exactly 84285 values, the most it may.
    std::string text = "0 0 0 0 0 0 0 0 0 0\n00\n";
    for (int k = 1; k < 9364; ++k)
        text += "0\n";
    ASSERT_EQ(text.size(), 18749u);
    EXPECT_EQ(Refusal(text), "");
    EXPECT_EQ(
        Refusal(text + "0\n"),
        "File is corrupted: line 9366: 9366 lines of 9 values are more than the file's 18751 bytes can hold");
}

TEST_F(Mov, mov_RefusalsSayWhere) {
    EXPECT_EQ(Refusal(""), "File is corrupted: the file is empty");
    EXPECT_EQ(Refusal("\n \n"), "File is corrupted: line 2: the file holds nothing but blank lines");
    EXPECT_EQ(Refusal("0 1 2 3 x 5\n"),
              "File is corrupted: line 1: value 5 of the first line, \"x\", is not a number");
    EXPECT_EQ(Refusal("\n0.0 1 inf 3\n"),
              "File is corrupted: line 2: value 3 of the first line, \"inf\", is not a number");
    // A CR LF file reads as its LF twin.
    EXPECT_EQ(Refusal("0 1 2 3\r\n0.1 4 5 6\r\n"), "");
}

}  // namespace
