// What every writer does with a scene its format cannot hold, driven through the format table as a
// program drives it: a refusal with the plain reason and no file, never a success that writes a
// file its reader refuses. Then the names the text writers cannot hold as they stand, written so
// that their readers give them back, and a marker file without labels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_mesh.h"
#include "formats/motion/c3d/voxa_file_vicon.h"
#include "formats/motion/vtext_file.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace {

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("writer_refusals_");
    return folder + name;
}

bool Exists(const std::string& path) {
    return std::ifstream(path).good();
}

// A skeleton of three joints over four frames, and two markers beside it in the marker test.
const char kBvh[] =
    "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n"
    "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
    "  JOINT Spine\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    JOINT Head\n    {\n      OFFSET 0 5 0\n      CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "      End Site\n      {\n        OFFSET 0 3 0\n      }\n    }\n  }\n}\n"
    "MOTION\nFrames: 4\nFrame Time: 0.04\n"
    "0 0 0 0 0 0 0 0 0 0 0 0\n1 0 0 10 0 0 0 0 0 0 0 0\n2 0 0 20 0 0 0 0 0 0 0 0\n"
    "3 0 0 30 0 0 0 0 0 0 0 0\n";
const char kAoa[] = "frames = 3 markers = 2 Hz = 25\n1 2 3\n4 5 6\n1 2 4\n4 5 7\n1 2 5\n4 5 8\n";

// The messages the writers showed, "<title>: <text>" one a line.
std::string gShown;

int KeepShown(const char* title, const char* text, const char*, const char*, const char*, void*) {
    gShown += std::string(title ? title : "") + ": " + (text ? text : "") + "\n";
    return 1;
}

// A manager with one scene, filled by a reader and written by the writers as a program does it.
struct Session {
    Session() : mManager(VOxaSdkManager::Create()), mScene(mManager->CreateScene()) {}
    ~Session() {
        mReadOptions.reset();
        mWriteOptions.reset();
        delete mManager;
    }

    // Reads `text` as a file of `extension` with its reader's own options, kept for writing.
    void Read(const std::string& extension, const std::string& text) {
        const std::string path = TempPath("in." + extension);
        oxa_test::WriteFile(path, text);
        std::unique_ptr<VOxaReader> reader(
            VOxaGetReaderFormat(VOxaFindReaderFormat(extension.c_str()))->mCreate(mManager));
        ASSERT_TRUE(reader->FileOpen(path.c_str()));
        mReadOptions.reset(reader->GetReadOptions());
        ASSERT_NE(mReadOptions, nullptr);
        ASSERT_TRUE(reader->Read(mScene, mReadOptions.get()))
            << reader->GetError().GetLastErrorString().Buffer();
        reader->FileClose();
    }

    struct Outcome {
        bool written = false;
        std::string error;
    };
    // Writes the scene to `path` as a program does: the writer's own options, with the frames of
    // the read take when `frames` (and the skeleton an ASF write left, for AMC).
    Outcome Write(const std::string& path, bool frames, VPlug* skeleton = nullptr) {
        std::unique_ptr<VOxaWriter> writer(
            VOxaGetWriterFormat(VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str())))->mCreate(mManager));
        Outcome outcome;
        if (!writer->FileCreate(path.c_str())) {
            outcome.error = writer->GetError().GetLastErrorString().Buffer();
            return outcome;
        }
        mWriteOptions.reset(writer->GetWriteOptions());
        if (mWriteOptions) mWriteOptions->SetMessageCallback(&KeepShown);
        if (mWriteOptions && mWriteOptions->IsA(VStreamOptionsMotion::ClassId)) {
            auto* motion = static_cast<VStreamOptionsMotion*>(mWriteOptions.get());
            auto* read = static_cast<VStreamOptionsMotion*>(mReadOptions.get());
            if (frames && read) {
                motion->SetTimeMode(0, read->GetFrameRate());
                motion->SetStartTime(read->GetStartTime());
                motion->SetFrameCount(read->GetFrameCount());
            }
            if (skeleton) motion->SetAttachedObject(skeleton, false);
        }
        outcome.written = writer->Write(mScene, mWriteOptions.get());
        if (!outcome.written) outcome.error = writer->GetError().GetLastErrorString().Buffer();
        const bool closed = writer->FileClose();
        outcome.written = outcome.written && closed;
        return outcome;
    }

    VOxaNode* Node(const char* name) { return mScene->GetRootNode()->FindChild(name, true); }

    VOxaSdkManager* mManager = nullptr;
    VOxaScene* mScene = nullptr;
    std::unique_ptr<VStreamOptions> mReadOptions;
    std::unique_ptr<VStreamOptions> mWriteOptions;
};

class Writers : public ::testing::Test, public Session {};

const char* const kSkeletonFormats[] = {"bvh", "htr", "asf", "amc"};
const char* const kMarkerFormats[] = {"trc", "c3d", "aoa", "mcd", "brd", "mov", "vpm"};

TEST_F(Writers, NothingMarkedIsRefusedWithoutAFile) {
    Read("bvh", kBvh);
    // Read as a program reads it: nothing is marked, so there is nothing to write.
    for (const char* format : kSkeletonFormats) {
        const std::string path = TempPath(std::string("unmarked.") + format);
        const Outcome outcome = Write(path, true);
        EXPECT_FALSE(outcome.written) << format;
        EXPECT_EQ(outcome.error, "no joints to write") << format;
        EXPECT_FALSE(Exists(path)) << format;
    }
    for (const char* format : kMarkerFormats) {
        const std::string path = TempPath(std::string("unmarked.") + format);
        oxa_test::WriteFile(path, "old");
        const Outcome outcome = Write(path, true);
        EXPECT_FALSE(outcome.written) << format;
        EXPECT_EQ(outcome.error, "no markers or joints to write") << format;
        EXPECT_EQ(oxa_test::ReadFile(path), "old") << format;
    }
    // Marked joints beyond a fork: the skeleton writers say that they found no single root.
    VOxaNode* hips = Node("Hips");
    hips->SetMarked(1, true);
    mScene->GetRootNode()->AddChild(mManager->CreateNode("Beside"));
    // The refusal says where the chain forks and what to do.
    const std::string forkedAt =
        " A skeleton is written from the first marked node down the chain of only children below the "
        "scene's root, and that chain forks at the scene's root: write a scene that holds the skeleton "
        "alone (its geometry to a geometry format).";
    EXPECT_EQ(Write(TempPath("fork.bvh"), true).error, "Can not find root node." + forkedAt);
    EXPECT_EQ(Write(TempPath("fork.htr"), true).error, "Can not find root node." + forkedAt);
    EXPECT_EQ(Write(TempPath("fork.asf"), true).error, "Scene must have a single root node." + forkedAt);
}

TEST_F(Writers, ATakeWithoutFramesIsRefusedByAmcAndTheMarkerWriters) {
    Read("bvh", kBvh);
    Node("Hips")->SetMarked(1, true);
    for (const char* format : kMarkerFormats) {
        const std::string path = TempPath(std::string("still.") + format);
        const Outcome outcome = Write(path, false);
        EXPECT_FALSE(outcome.written) << format;
        EXPECT_EQ(outcome.error, "the take \"in\" has no frames to write") << format;
        EXPECT_FALSE(Exists(path)) << format;
    }
    // AMC frames are the motion of the skeleton an ASF write builds.
    ASSERT_TRUE(Write(TempPath("still.asf"), false).written);
    VPlug* skeleton = static_cast<VStreamOptionsMotion*>(mWriteOptions.get())->GetAttachedObject();
    ASSERT_NE(skeleton, nullptr);
    std::unique_ptr<VStreamOptions> asfOptions = std::move(mWriteOptions);
    const Outcome amc = Write(TempPath("still.amc"), false, skeleton);
    EXPECT_FALSE(amc.written);
    EXPECT_EQ(amc.error, "the take \"in\" has no frames to write");
    EXPECT_FALSE(Exists(TempPath("still.amc")));
    EXPECT_TRUE(Write(TempPath("moving.amc"), true, skeleton).written);
}

// The float of 4 bytes in DEC format: the IEEE bits as two 16-bit words, high word first, with an
// exponent 2 larger.
float DecFloat(const std::string& bytes, size_t at) {
    const auto b = [&](size_t k) { return (uint32_t)(uint8_t)bytes[at + k]; };
    uint32_t u = (b(0) << 16) | (b(1) << 24) | b(2) | (b(3) << 8);
    if (u != 0) u -= 2u << 23;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, separator);)
        fields.push_back(field);
    return fields;
}

TEST_F(Writers, ValuesNoFileCanHoldAreGapsOrRefusals) {
    for (const double bad : {std::nan(""), std::strtod("1e309", nullptr)}) {
        SCOPED_TRACE(bad);
        mScene = mManager->CreateScene();
        Read("bvh", kBvh);
        Node("Hips")->SetMarked(1, true);
        // At the third frame the spine turns by an angle no file can say: the head (and its end)
        // is then nowhere.
        VFCurve* turn = Node("Spine")->GetCurrentTakeNode()->GetEulerRotationZ();
        turn->KeyClear();
        for (int f = 0; f < 4; ++f) {
            const VTime time(f * VTime::kOneSecond / 25);
            VFCurveKey key;
            key.Set(time, f == 2 ? (float)bad : 5.0f * (float)f, VFCurveKey::eInterpolationLinear);
            turn->KeyAdd(time, key);
        }

        // Formats without gaps refuse, naming the node and the frame, and leave no file.
        for (const char* format : {"bvh", "htr", "mov", "vpm"}) {
            const std::string path = TempPath(std::string("bad.") + format);
            const Outcome outcome = Write(path, true);
            EXPECT_FALSE(outcome.written) << format;
            EXPECT_NE(outcome.error.find("\"Spine\" has"), std::string::npos)
                << format << ": " << outcome.error;
            EXPECT_NE(outcome.error.find("frame 3"), std::string::npos) << format << ": " << outcome.error;
            EXPECT_FALSE(Exists(path)) << format;
        }
        ASSERT_TRUE(Write(TempPath("bad.asf"), true).written);
        VPlug* skeleton = static_cast<VStreamOptionsMotion*>(mWriteOptions.get())->GetAttachedObject();
        std::unique_ptr<VStreamOptions> asfOptions = std::move(mWriteOptions);
        const Outcome amc = Write(TempPath("bad.amc"), true, skeleton);
        EXPECT_FALSE(amc.written);
        EXPECT_NE(amc.error.find("\"Spine\" has"), std::string::npos) << amc.error;
        EXPECT_NE(amc.error.find("frame 3"), std::string::npos) << amc.error;
        EXPECT_FALSE(Exists(TempPath("bad.amc")));

        // Formats with gaps write the point as one. The markers are Hips, Spine, Head and
        // Head_End: the head (third) is a gap at the third frame, not at the second.
        for (const char* format : {"trc", "c3d", "aoa", "mcd", "brd"}) {
            const std::string path = TempPath(std::string("gap.") + format);
            ASSERT_TRUE(Write(path, true).written) << format;
            const std::string text = oxa_test::ReadFile(path);
            const std::vector<std::string> lines = Lines(text);
            if (std::string(format) == "trc") {
                // Six header lines, then frame lines of tab-separated fields: frame, time, and x, y,
                // z per marker, those of a gap empty.
                ASSERT_GE(lines.size(), 10u);
                const std::vector<std::string> second = Split(lines[7], '\t'), third = Split(lines[8], '\t');
                ASSERT_GE(third.size(), 11u);
                EXPECT_EQ(third[0], "3");
                for (int k = 8; k <= 10; ++k) {
                    EXPECT_EQ(third[(size_t)k], "") << k;
                    EXPECT_NE(second[(size_t)k], "") << k;
                }
                EXPECT_NE(third[5], "");
            } else if (std::string(format) == "c3d") {
                // Float data from the data block (header word 9) on: 16 bytes per point, the fourth
                // value negative for a gap.
                const size_t data = (size_t)(((uint8_t)text[16] | ((uint8_t)text[17] << 8)) - 1) * 512;
                const size_t frame = 4 * 16;
                EXPECT_LT(DecFloat(text, data + 2 * frame + 2 * 16 + 12), 0.0f);
                EXPECT_GE(DecFloat(text, data + 1 * frame + 2 * 16 + 12), 0.0f);
                EXPECT_GE(DecFloat(text, data + 2 * frame + 0 * 16 + 12), 0.0f);
            } else if (std::string(format) == "brd") {
                // Records of frame (from 0), sensor, ...: none for the head at frame 2.
                EXPECT_EQ(text.find("\n2\t2\tP"), std::string::npos);
                EXPECT_NE(text.find("\n1\t2\tP"), std::string::npos);
                EXPECT_NE(text.find("\n2\t0\tP"), std::string::npos);
            } else {
                // AOA and MCD: a header line, then one line per marker and frame; 0 0 0 is a gap.
                ASSERT_EQ(lines.size(), 17u) << format;
                EXPECT_EQ(lines[1 + 2 * 4 + 2], "0 0 0") << format;
                EXPECT_NE(lines[1 + 1 * 4 + 2], "0 0 0") << format;
            }
            EXPECT_EQ(text.find("nan"), std::string::npos) << format;
            EXPECT_EQ(text.find("inf"), std::string::npos) << format;
        }
    }
}

TEST_F(Writers, ALoneMeshIsNoSkeletonAndAMeshWithoutFacesIsNoGeometry) {
    // A mesh of nothing (a DXF polyface none of whose records was read) is no file at all.
    VOxaNode* empty = mManager->CreateNode("Empty");
    empty->SetNodeAttribute(mManager->CreateMesh());
    mScene->GetRootNode()->AddChild(empty);
    for (const char* format : {"3ds", "obj", "dxf"}) {
        const std::string path = TempPath(std::string("empty.") + format);
        EXPECT_EQ(Write(path, false).error, "no geometry to write") << format;
        EXPECT_FALSE(Exists(path)) << format;
    }
    mScene->GetRootNode()->RemoveChild(empty);
    Read("bvh", kBvh);
    // A 3DS file of dummies, cameras or lights is still a file.
    EXPECT_TRUE(Write(TempPath("dummies.3ds"), false).written);
    // The geometry writers: a skeleton has no face.
    for (const char* format : {"obj", "dxf"}) {
        const std::string path = TempPath(std::string("skeleton.") + format);
        const Outcome outcome = Write(path, false);
        EXPECT_FALSE(outcome.written) << format;
        EXPECT_EQ(outcome.error, "no geometry to write") << format;
        EXPECT_FALSE(Exists(path)) << format;
    }
    // A mesh of points without polygons is no geometry either; one triangle is.
    VOxaNode* node = mManager->CreateNode("Cloud");
    VOxaMesh* mesh = mManager->CreateMesh();
    mesh->InitControlPoints(3);
    node->SetNodeAttribute(mesh);
    mScene->GetRootNode()->AddChild(node);
    EXPECT_EQ(Write(TempPath("cloud.obj"), false).error, "no geometry to write");
    // Alone and marked, the mesh would be a BVH End Site without a joint.
    node->SetMarked(1);
    VOxaNode* skeleton = Node("Hips");
    while (skeleton->GetParent() != mScene->GetRootNode())
        skeleton = skeleton->GetParent();
    mScene->GetRootNode()->RemoveChild(skeleton);
    const Outcome bvh = Write(TempPath("mesh.bvh"), true);
    EXPECT_FALSE(bvh.written);
    EXPECT_EQ(bvh.error, "no joints to write");
    EXPECT_FALSE(Exists(TempPath("mesh.bvh")));
    mesh->BeginPolygon();
    for (int k = 0; k < 3; ++k)
        mesh->AddPolygonVertex(k);
    mesh->EndPolygon();
    EXPECT_TRUE(Write(TempPath("triangle.obj"), false).written);
    EXPECT_TRUE(Write(TempPath("triangle.dxf"), false).written);
}

// ---- names ----

TEST(WritableNames, ControlCharactersAndTheFormatsOwnRulesKeepNamesDistinct) {
    const std::vector<VString> names = {"a\nb", "a_b", "A\tB", "#hip", "r asis", "ok"};
    const std::vector<VString> plain = VTextFile::WritableNames(names, VTextFile::kControlOnly);
    // The name kept as it is wins; the changed ones are numbered past it, without regard to case.
    const char* const expected[] = {"a_b_2", "a_b", "A_B_3", "#hip", "r asis", "ok"};
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_STREQ(plain[i].Buffer(), expected[i]) << i;
    const std::vector<VString> htr =
        VTextFile::WritableNames({"#hip", "_hip", "a#b"}, VTextFile::kLeadingHash);
    EXPECT_STREQ(htr[0].Buffer(), "_hip_2");
    EXPECT_STREQ(htr[2].Buffer(), "a#b");
    const std::vector<VString> vpm =
        VTextFile::WritableNames({"r asis", "l asis", "\x7f", ""}, VTextFile::kBlanks);
    EXPECT_STREQ(vpm[0].Buffer(), "r_asis");
    EXPECT_STREQ(vpm[1].Buffer(), "l_asis");
    EXPECT_STREQ(vpm[2].Buffer(), "_");
    EXPECT_STREQ(vpm[3].Buffer(), "__2");
    // Braces anywhere, a leading '[', and reserved words, which a name kept as it is cannot take.
    static const char* const kReserved[] = {"GLOBAL", nullptr};
    const std::vector<VString> safe =
        VTextFile::WritableNames({"a{b}", "[x]", "x[", "Global", "global_2", "a_b_"},
                                 VTextFile::kBraces | VTextFile::kLeadingBracket, kReserved);
    const char* const expectedSafe[] = {"a_b__2", "_x]", "x[", "Global_3", "global_2", "a_b_"};
    for (size_t i = 0; i < safe.size(); ++i)
        EXPECT_STREQ(safe[i].Buffer(), expectedSafe[i]) << i;
    EXPECT_STREQ(VTextFile::WritableNames({"{"}, VTextFile::kControlOnly)[0].Buffer(), "{");
    // C1 controls, the marks that turn text around and line separators go as C0 controls do; a
    // name in a legacy code page (no UTF-8) keeps its bytes.
    const std::vector<VString> wide = VTextFile::WritableNames({"a\xC2\x85"
                                                                "b",
                                                                "c\xE2\x80\xAE"
                                                                "d",
                                                                "e\xE2\x80\xA8"
                                                                "f",
                                                                "\x93\xFA", "\xC3\xA9"},
                                                               VTextFile::kControlOnly);
    const char* const expectedWide[] = {"a_b", "c_d", "e_f", "\x93\xFA", "\xC3\xA9"};
    for (size_t i = 0; i < wide.size(); ++i)
        EXPECT_STREQ(wide[i].Buffer(), expectedWide[i]) << i;
}

TEST_F(Writers, SkeletonNamesWithLineBreaksAndALeadingHashReadBack) {
    Read("bvh", kBvh);
    Node("Hips")->SetName("#Hips");
    Node("Spine")->SetName("Spine\nMOTION");
    Node("#Hips")->SetMarked(1, true);
    for (const char* format : {"htr", "bvh"}) {
        const std::string path = TempPath(std::string("names.") + format);
        ASSERT_TRUE(Write(path, true).written) << format;
        Session again;
        again.Read(format, oxa_test::ReadFile(path));
        // HTR takes a leading '#' for a comment; BVH reads it as part of the name.
        EXPECT_NE(again.Node(std::strcmp(format, "htr") == 0 ? "_Hips" : "#Hips"), nullptr) << format;
        EXPECT_NE(again.Node("Spine_MOTION"), nullptr) << format;
        EXPECT_NE(again.Node("Head"), nullptr) << format;
    }
    // ASF and AMC refuse such names before writing, any control character among them.
    Node("#Hips")->SetName("Hips");
    Node("Spine\nMOTION")->SetName("Spine\x01");
    EXPECT_FALSE(Write(TempPath("names.asf"), true).written);
    EXPECT_FALSE(Exists(TempPath("names.asf")));
    Node("Spine\x01")->SetName("Spine");
    EXPECT_TRUE(Write(TempPath("names.asf"), true).written);
}

// Lines of `text` that begin with `start` after blanks.
int CountLines(const std::string& text, const std::string& start) {
    int count = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const size_t first = text.find_first_not_of(' ', at);
        if (first < end && text.compare(first, start.size(), start) == 0) ++count;
        at = end + 1;
    }
    return count;
}

TEST_F(Writers, MarkersNamedLikeEndNodesReadBackFromEverySkeletonFormat) {
    Read("aoa", kAoa);
    // A leaf "Head" whose end the readers would name "Head_End", beside a marker of that name.
    Node("Marker1")->SetName("Head");
    Node("Marker2")->SetName("Head_End");
    mScene->GetRootNode()->GetChild(0)->SetMarked(1, true);
    const std::string asf = TempPath("ends.asf");
    ASSERT_TRUE(Write(asf, true).written);
    std::unique_ptr<VStreamOptions> asfOptions = std::move(mWriteOptions);
    VPlug* skeleton = static_cast<VStreamOptionsMotion*>(asfOptions.get())->GetAttachedObject();
    ASSERT_TRUE(Write(TempPath("ends.amc"), true, skeleton).written);
    ASSERT_TRUE(Write(TempPath("ends.bvh"), true).written);
    ASSERT_TRUE(Write(TempPath("ends.htr"), true).written);

    // Both names are written as they are; each leaf ends in an end site of its own.
    const std::string bvh = oxa_test::ReadFile(TempPath("ends.bvh"));
    EXPECT_EQ(CountLines(bvh, "JOINT Head\n"), 1);
    EXPECT_EQ(CountLines(bvh, "JOINT Head_End\n"), 1);
    EXPECT_EQ(CountLines(bvh, "End Site"), 2);
    const std::string htr = oxa_test::ReadFile(TempPath("ends.htr"));
    EXPECT_EQ(CountLines(htr, "Head\t"), 2);  // hierarchy and base position
    EXPECT_EQ(CountLines(htr, "Head_End\t"), 2);
    EXPECT_EQ(CountLines(oxa_test::ReadFile(asf), "name Head\n"), 1);
    EXPECT_EQ(CountLines(oxa_test::ReadFile(asf), "name Head_End\n"), 1);
    const std::string amc = oxa_test::ReadFile(TempPath("ends.amc"));
    EXPECT_EQ(CountLines(amc, "Head "), 3);
    EXPECT_EQ(CountLines(amc, "Head_End "), 3);

    // Read back, the end of "Head" is "Head_End_2": "Head_End" stays the file's joint.
    for (const char* format : {"bvh", "htr", "asf"}) {
        Session again;
        again.Read(format, oxa_test::ReadFile(TempPath(std::string("ends.") + format)));
        VOxaNode* head = again.Node("Head");
        VOxaNode* marker = again.Node("Head_End");
        VOxaNode* end = again.Node("Head_End_2");
        ASSERT_TRUE(head && marker && end) << format;
        EXPECT_EQ(end->GetParent(), head) << format;
        EXPECT_EQ(head->GetChildCount(), 1) << format;
        ASSERT_NE(again.Node("Head_End_End"), nullptr) << format;
        EXPECT_EQ(again.Node("Head_End_End")->GetParent(), marker) << format;
        if (std::strcmp(format, "asf") != 0) continue;
        // The motion reads onto those nodes.
        std::unique_ptr<VOxaReader> reader(
            VOxaGetReaderFormat(VOxaFindReaderFormat("amc"))->mCreate(again.mManager));
        ASSERT_TRUE(reader->FileOpen(TempPath("ends.amc").c_str()));
        std::unique_ptr<VStreamOptions> options(reader->GetReadOptions());
        ASSERT_NE(options, nullptr);
        static_cast<VStreamOptionsMotion*>(options.get())
            ->SetAttachedObject(
                static_cast<VStreamOptionsMotion*>(again.mReadOptions.get())->GetAttachedObject(), false);
        EXPECT_TRUE(reader->Read(again.mScene, options.get()))
            << reader->GetError().GetLastErrorString().Buffer();
    }
}

TEST_F(Writers, ReservedAcclaimNamesAreRenamedWithAWarning) {
    Read("aoa", kAoa);
    Node("Marker1")->SetName("root");
    Node("Marker2")->SetName("root_2");
    mScene->GetRootNode()->GetChild(0)->SetMarked(1, true);
    gShown.clear();
    const std::string asf = TempPath("reserved.asf");
    ASSERT_TRUE(Write(asf, true).written);
    std::unique_ptr<VStreamOptions> asfOptions = std::move(mWriteOptions);
    VPlug* skeleton = static_cast<VStreamOptionsMotion*>(asfOptions.get())->GetAttachedObject();
    ASSERT_TRUE(Write(TempPath("reserved.amc"), true, skeleton).written);
    // "root" names the root bone alone: the marker takes the first free suffix, and says so once.
    EXPECT_NE(
        gShown.find("Warning: Node \"root\" is written as \"root_3\": ASF and AMC files reserve the name "
                    "\"root\".\n"),
        std::string::npos);
    EXPECT_EQ(CountLines(gShown, "Warning: Node \"root\""), 1);
    const std::string text = oxa_test::ReadFile(asf);
    EXPECT_EQ(CountLines(text, "name root_3\n"), 1);
    EXPECT_EQ(CountLines(text, "name root_2\n"), 1);
    EXPECT_EQ(CountLines(text, "name root\n"), 0);
    // Each frame: the root bone, then the two markers with their own values.
    const std::string amc = oxa_test::ReadFile(TempPath("reserved.amc"));
    EXPECT_EQ(CountLines(amc, "root "), 3);
    EXPECT_EQ(CountLines(amc, "root_3 "), 3);
    EXPECT_EQ(CountLines(amc, "root_2 "), 3);

    // The words of the hierarchy section, without regard to case.
    Node("root")->SetName("End");
    Node("root_2")->SetName("begin");
    gShown.clear();
    ASSERT_TRUE(Write(asf, true).written);
    EXPECT_NE(gShown.find("\"End\" is written as \"End_2\""), std::string::npos) << gShown;
    EXPECT_NE(gShown.find("\"begin\" is written as \"begin_2\""), std::string::npos) << gShown;
    Session again;
    again.Read("asf", oxa_test::ReadFile(asf));
    EXPECT_NE(again.Node("End_2"), nullptr);
    EXPECT_NE(again.Node("begin_2"), nullptr);
}

TEST_F(Writers, NamesReadAsStructureAreWrittenSafe) {
    Read("bvh", kBvh);
    Node("Hips")->SetMarked(1, true);
    // BVH: braces open and close blocks.
    Node("Spine")->SetName("{");
    Node("Head")->SetName("}");
    const std::string bvhPath = TempPath("braces.bvh");
    ASSERT_TRUE(Write(bvhPath, true).written);
    const std::string bvh = oxa_test::ReadFile(bvhPath);
    EXPECT_EQ(CountLines(bvh, "JOINT _\n"), 1);
    EXPECT_EQ(CountLines(bvh, "JOINT __2\n"), 1);
    EXPECT_EQ(bvh.find("JOINT {"), std::string::npos);
    EXPECT_EQ(bvh.find("JOINT }"), std::string::npos);
    {
        Session again;
        again.Read("bvh", bvh);
        ASSERT_NE(again.Node("__2"), nullptr);
        EXPECT_EQ(again.Node("__2")->GetParent(), again.Node("_"));
    }
    // HTR: a '[' or ']' ends or starts a section title, "GLOBAL" is the root segment's parent.
    Node("{")->SetName("[Header]");
    Node("}")->SetName("global");
    const std::string htrPath = TempPath("sections.htr");
    ASSERT_TRUE(Write(htrPath, true).written);
    const std::string htr = oxa_test::ReadFile(htrPath);
    EXPECT_NE(htr.find("\n_Header_\tHips\n"), std::string::npos) << htr;
    EXPECT_NE(htr.find("\nglobal_2\t_Header_\n"), std::string::npos) << htr;
    EXPECT_NE(htr.find("\n[global_2]\n"), std::string::npos) << htr;
    Session again;
    again.Read("htr", htr);
    ASSERT_NE(again.Node("global_2"), nullptr);
    EXPECT_EQ(again.Node("global_2")->GetParent(), again.Node("_Header_"));
    EXPECT_EQ(again.Node("_Header_")->GetParent(), again.Node("Hips"));
}

TEST_F(Writers, VpmSegmentNamesWithBlanksReadBackDistinct) {
    Read("aoa", kAoa);
    Node("Marker1")->SetName("r asis");
    Node("Marker2")->SetName("r_asis");
    Node("r asis")->SetMarked(1);
    Node("r_asis")->SetMarked(1);
    const std::string path = TempPath("blanks.vpm");
    ASSERT_TRUE(Write(path, true).written);
    Session again;
    again.Read("vpm", oxa_test::ReadFile(path));
    EXPECT_NE(again.Node("r_asis_2"), nullptr);
    EXPECT_NE(again.Node("r_asis"), nullptr);
}

TEST_F(Writers, TrcMarkerNamesWithoutTextOrWithATabReadBack) {
    Read("aoa", kAoa);
    Node("Marker1")->SetName("Actor:");
    Node("Marker2")->SetName("Tab\tName");
    Node("Actor:")->SetMarked(1);
    Node("Tab\tName")->SetMarked(1);
    const std::string path = TempPath("names.trc");
    ASSERT_TRUE(Write(path, true).written);
    Session again;
    again.Read("trc", oxa_test::ReadFile(path));
    EXPECT_NE(again.Node("_"), nullptr);
    EXPECT_NE(again.Node("Tab_Name"), nullptr);
}

TEST(C3dLabels, AFileWithoutLabelsWritesItsParameters) {
    const std::string path = TempPath("nolabels.c3d");
    VOxaFileVicon file;
    ASSERT_TRUE(file.Open(path.c_str(), "wb"));
    ASSERT_TRUE(file.WriteHeader(0, VTime(0), 1, 30.0, -1.0));
    EXPECT_TRUE(file.WriteMarkerNames(VStringList()));
    EXPECT_TRUE(file.WriteEnd());
    EXPECT_TRUE(file.Close());
}

}  // namespace
