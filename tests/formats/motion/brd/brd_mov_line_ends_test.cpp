// BRD and MOV lines that end in a carriage return alone; BRD sensors the writer cannot write.

#include <gtest/gtest.h>

#include <string>

#include "formats/motion/brd/voxa_ascension.h"
#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class LineEnds : public Fixture {
protected:
    // `text` with every "\n" replaced by `end`.
    static std::string WithEnds(const std::string& text, const std::string& end) {
        std::string out;
        for (char c : text) {
            if (c == '\n')
                out += end;
            else
                out += c;
        }
        return out;
    }
    VOxaNode* Child(const char* reference, const char* name) {
        VOxaNode* parent = Find(reference);
        return parent ? parent->FindChild(name, false) : nullptr;
    }
};

TEST_F(LineEnds, BrdReadsCarriageReturnsAsLineEnds) {
    FilterSettings filters(0, false);  // every key as read
    // Two sensors over three frames at 10 Hz (times 0, 0.1, 0.2 s).
    const std::string records =
        "1\t1\tP\t1\t2\t3\tQ\t0\t0\t0\t1\t0\t0\n"
        "1\t2\tP\t4\t5\t6\tQ\t0\t0\t0\t1\t0\t0\n"
        "2\t1\tP\t7\t8\t9\tQ\t0\t0\t0\t1\t0\t100000\n"
        "2\t2\tP\t10\t11\t12\tQ\t0\t0\t0\t1\t0\t100000\n"
        "3\t1\tP\t13\t14\t15\tQ\t0\t0\t0\t1\t0\t200000\n";
    for (const char* end : {"\n", "\r", "\r\n", "\r\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(end)));
        VOxaScene* kept = mScene;
        mScene = mManager->CreateScene();
        const std::string path = TempPath("ends.brd");
        WriteFile(path, WithEnds(records, end));
        VOxaReaderAscension reader(mManager);
        ASSERT_TRUE(ReadWith(reader, path));
        VOxaNode* one = Child("BRD:reference", "Marker1");
        VOxaNode* two = Child("BRD:reference", "Marker2");
        ASSERT_NE(one, nullptr);
        ASSERT_NE(two, nullptr);
        EXPECT_EQ(Curve(one, 0)->KeyGetCount(), 3);
        EXPECT_EQ(Key(one, 0, 2), 13.0f);
        EXPECT_EQ(Key(two, 2, 1), 12.0f);
        EXPECT_EQ(Key(two, 9, 2), 1.0f);  // sensor 2 has no record in frame 3
        mManager->DestroyScene(mScene);
        mScene = kept;
    }
}

TEST_F(LineEnds, MovReadsCarriageReturnsAsLineEnds) {
    FilterSettings filters(0, false);
    // Two frames of two objects with translation only: time, then x y z per object.
    const std::string lines = "0\t1\t2\t3\t4\t5\t6\n0.04\t7\t8\t9\t10\t11\t12\n";
    for (const char* end : {"\n", "\r", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(end)));
        VOxaScene* kept = mScene;
        mScene = mManager->CreateScene();
        const std::string path = TempPath("ends.mov");
        WriteFile(path, WithEnds(lines, end));
        VOxaReaderCorvelundMov reader(mManager);
        ASSERT_TRUE(ReadWith(reader, path, [](VStreamOptionsMotion& o) {
            o.SetOption(VStreamOptionsMotion::eROTATION, 0);
            o.SetOption(VStreamOptionsMotion::eSCALING, 0);
            EXPECT_EQ(o.GetFrameCount(), 2);
            EXPECT_NEAR(o.GetFrameRate(), 25.0, 1e-9);
        }));
        VOxaNode* first = Child("MOV:reference", "Marker0");
        VOxaNode* second = Child("MOV:reference", "Marker1");
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(Find("MOV:reference")->GetChildCount(), 2);
        EXPECT_EQ(Key(first, 0, 1), 7.0f);
        EXPECT_EQ(Key(second, 2, 1), 12.0f);
        mManager->DestroyScene(mScene);
        mScene = kept;
    }
}

TEST_F(LineEnds, BrdSensorsWithoutARecordAreNamedOrRefused) {
    // Sensor 0 stands at 2e30 cm in every frame, beyond what the file holds; sensor 1 is fine.
    AddMarked(mScene->GetRootNode(), "Far", {VgeTVector(2e30, 0, 0, 0), VgeTVector(2e30, 0, 0, 0)});
    AddMarked(mScene->GetRootNode(), "Near", {VgeTVector(1, 2, 3, 0), VgeTVector(4, 5, 6, 0)});
    const auto frames = [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
        o.SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 1);
    };
    const std::string path = TempPath("far.brd");
    VOxaWriterAscension writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, frames));
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find(
                  "2 sensor records hold values beyond +-1e30 or not a number (the first \"Far\" at frame "
                  "1); they are left out, as gaps."),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("The BRD file holds no record of \"Far\""), std::string::npos) << messages;
    // Only sensor 1's two records are written.
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.find("\t0\tP\t"), std::string::npos) << text;
    EXPECT_NE(text.find("0\t1\tP\t1\t2\t3\tQ\t"), std::string::npos) << text;

    // With nothing to write, the file is refused and the target stays as it was.
    VOxaScene* kept = mScene;
    mScene = mManager->CreateScene();
    AddMarked(mScene->GetRootNode(), "Far", {VgeTVector(2e30, 0, 0, 0), VgeTVector(2e30, 0, 0, 0)});
    WriteFile(path, "before");
    VOxaWriterAscension refused(mManager);
    EXPECT_FALSE(WriteWith(refused, path, frames));
    EXPECT_NE(std::string(refused.GetError().GetLastErrorString().Buffer())
                  .find("No sensor has a frame the BRD file can hold"),
              std::string::npos);
    EXPECT_EQ(ReadFile(path), "before");
    mManager->DestroyScene(mScene);
    mScene = kept;
}

}  // namespace
