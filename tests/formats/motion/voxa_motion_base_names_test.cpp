// Marker names that meet once the writers cut their prefixes are told apart with "_2", "_3", ...,
// with a warning, in every marker file that carries names (TRC, C3D, VPM).

#include <gtest/gtest.h>

#include <string>

#include "formats/motion/c3d/voxa_file_vicon.h"
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "formats/motion/vpm/voxa_puppeteer.h"
#include "tests/formats/motion/aoa/marker_test_util.h"

using namespace markertest;

namespace {

class MarkerNames : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        // Two actors' LASI markers, a third marker whose name has no prefix, and a lower-case
        // "lasi" of a third actor (names meet without regard to case).
        VOxaNode* group = mManager->CreateNode("Group");
        mScene->GetRootNode()->AddChild(group);
        AddMarked(group, "A:LASI", {VgeTVector(1, 2, 3, 0), VgeTVector(1.5, 2, 3, 0)});
        AddMarked(group, "B:LASI", {VgeTVector(4, 5, 6, 0), VgeTVector(4.5, 5, 6, 0)});
        AddMarked(group, "LASI_2", {VgeTVector(7, 8, 9, 0), VgeTVector(7.5, 8, 9, 0)});
        AddMarked(group, "C:lasi", {VgeTVector(10, 11, 12, 0), VgeTVector(10.5, 11, 12, 0)});
    }
    static void Frames(VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6);
    }
    // The names of the nodes below `reference`, in order, and where each is (its x at frame 0).
    std::string ReadBack(VOxaReader& reader, const std::string& path, const char* reference) {
        VOxaScene* kept = mScene;
        mScene = mManager->CreateScene();
        std::string names;
        if (ReadWith(reader, path)) {
            VOxaNode* parent = Find(reference);
            for (int i = 0; parent && i < parent->GetChildCount(); ++i) {
                VOxaNode* node = parent->GetChild(i);
                char text[64];
                std::snprintf(text, sizeof text, "%s@%.4g;", node->GetNameWithoutPrefix(), Key(node, 0, 0));
                names += text;
            }
        } else {
            names = reader.GetError().GetLastErrorString().Buffer();
        }
        mManager->DestroyScene(mScene);
        mScene = kept;
        return names;
    }
    static void ExpectWarning(const VOxaWriter& writer) {
        const std::string messages = writer.GetMessageText().Buffer();
        EXPECT_NE(
            messages.find("\"A:LASI\" and \"B:LASI\" are both named \"LASI\" once their prefixes are cut; "
                          "\"B:LASI\" is written as \"LASI_3\"."),
            std::string::npos)
            << messages;
        EXPECT_NE(
            messages.find("\"A:LASI\" and \"C:lasi\" are both named \"lasi\" once their prefixes are cut; "
                          "\"C:lasi\" is written as \"lasi_4\"."),
            std::string::npos)
            << messages;
    }
};

// The expected names: the first cut LASI keeps its name, the unprefixed LASI_2 keeps its own, and
// the later ones take the next free suffixes.
const char* const kReadBack = "LASI@1;LASI_3@4;LASI_2@7;lasi_4@10;";

TEST_F(MarkerNames, TrcTellsCutNamesApart) {
    const std::string path = TempPath("names.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, Frames));
    ExpectWarning(writer);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("Frame#\tTime\tLASI\t\t\tLASI_3\t\t\tLASI_2\t\t\tlasi_4\t\t\t\n"), std::string::npos)
        << text;
    VOxaReaderMotionAnalysisTrc reader(mManager);
    EXPECT_EQ(ReadBack(reader, path, "TRC:optical"), kReadBack);
}

TEST_F(MarkerNames, C3dTellsCutNamesApart) {
    const std::string path = TempPath("names.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, Frames));
    ExpectWarning(writer);
    // The LABELS rows as stored: each as long as the longest name plus 1, blank-filled.
    const std::string bytes = ReadFile(path);
    EXPECT_NE(bytes.find("LASI   LASI_3 LASI_2 lasi_4 "), std::string::npos);
    VOxaReaderVicon reader(mManager);
    // The file's x is the scene's -x; the reader turns it back.
    EXPECT_EQ(ReadBack(reader, path, "C3D:optical"), kReadBack);
}

TEST_F(MarkerNames, VpmTellsCutNamesApartAndReadsBack) {
    const std::string path = TempPath("names.vpm");
    VOxaWriterPuppeteer writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, Frames));
    ExpectWarning(writer);
    const std::string text = ReadFile(path);
    for (const char* segment :
         {"Segment:\tLASI\n", "Segment:\tLASI_3\n", "Segment:\tLASI_2\n", "Segment:\tlasi_4\n"})
        EXPECT_NE(text.find(segment), std::string::npos) << segment;
    VOxaReaderPuppeteer reader(mManager);
    EXPECT_EQ(ReadBack(reader, path, "VPM:reference"), kReadBack);
}

TEST_F(MarkerNames, NamesWithoutMeetingKeepQuiet) {
    // Distinct once cut: nothing changes and nothing is said.
    VOxaScene* kept = mScene;
    mScene = mManager->CreateScene();
    AddMarked(mScene->GetRootNode(), "A:LASI", {VgeTVector(1, 2, 3, 0)});
    AddMarked(mScene->GetRootNode(), "B:RASI", {VgeTVector(1, 2, 3, 0)});
    const std::string path = TempPath("quiet.trc");
    VOxaWriterMotionAnalysisTrc writer(mManager);
    EXPECT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6);
    }));
    EXPECT_STREQ(writer.GetMessageText().Buffer(), "");
    EXPECT_NE(ReadFile(path).find("Frame#\tTime\tLASI\t\t\tRASI\t\t\t\n"), std::string::npos);
    // Names a reader takes alike are told apart, naming both.
    AddMarked(mScene->GetRootNode(), "Left Arm", {VgeTVector(1, 2, 3, 0)});
    AddMarked(mScene->GetRootNode(), "Left_Arm", {VgeTVector(1, 2, 3, 0)});
    EXPECT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) { o.SetFrameCount(1); }));
    const std::string said = writer.GetMessageText().Buffer();
    EXPECT_NE(said.find("\"Left Arm\" and \"Left_Arm\" read back as the same name (a reader takes a blank "
                        "for \"_\"); \"Left_Arm\" is renamed \"Left_Arm_2\"."),
              std::string::npos)
        << said;
    mManager->DestroyScene(mScene);
    mScene = kept;
}

}  // namespace
