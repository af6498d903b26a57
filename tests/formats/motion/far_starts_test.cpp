// Takes that start far from 0, through every motion writer that keeps a start: the start is kept
// where the file's numbers hold it, and the file is refused with the reason where they do not.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_skeleton.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

namespace {

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("far_starts_");
    return folder + name;
}

VStreamOptionsMotion* Motion(VStreamOptions* options) {
    return static_cast<VStreamOptionsMotion*>(options);
}

// Hips with Head 3 above it, both marked joints, and 10 frames at 30 per second from frame
// `startFrame` (counted from 0 at time 0).
struct Take {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VTime start;
    double rate = 30.0;
    std::string error, messages;

    explicit Take(long long startFrame) {
        VOxaNode* hips = Joint("Hips", scene->GetRootNode());
        Joint("Head", hips)->SetLclTranslation(VgeTVector(0, 3, 0, 1));
        std::unique_ptr<VStreamOptionsMotion> rate(VStreamOptionsMotion::Create());
        rate->SetTimeMode(0, 30.0);
        start = rate->GetFramePeriod() * (int64_t)startFrame;
    }
    ~Take() { delete manager; }
    VOxaNode* Joint(const char* name, VOxaNode* parent) {
        VOxaNode* node = manager->CreateNode(name);
        node->SetNodeAttribute(manager->CreateSkeleton());
        parent->AddChild(node);
        node->SetMarked(1);
        return node;
    }

    // Writes the take with the writer of `path`'s extension (an AMC after its ASF).
    bool Write(const std::string& path) {
        std::vector<VStreamOptions*> kept;
        auto write = [&](const std::string& file, VPlug* skeleton) {
            VOxaExporter* exporter = manager->CreateExporter();
            bool ok = exporter->Initialize(file.c_str()) &&
                      exporter->SetFileFormat(VOxaFindWriterFormat(VOxaGetFileExtension(file.c_str())));
            VStreamOptions* options = exporter->GetWriteOptions();
            kept.push_back(options);
            Motion(options)->SetTimeMode(0, rate);
            Motion(options)->SetStartTime(start);
            Motion(options)->SetFrameCount(10);
            Motion(options)->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE, 1);
            if (skeleton) Motion(options)->SetAttachedObject(skeleton, false);
            ok = ok && exporter->Export(scene, options);
            if (!ok) error = exporter->GetError().GetLastErrorString().Buffer();
            messages += exporter->GetMessageText().Buffer();
            manager->DestroyExporter(exporter);
            return ok;
        };
        const bool amc = VOxaGetFileExtension(path.c_str()) == VString("amc");
        const bool ok = amc ? write(path.substr(0, path.size() - 3) + "asf", nullptr) &&
                                  write(path, Motion(kept.back())->GetAttachedObject())
                            : write(path, nullptr);
        for (VStreamOptions* options : kept)
            options->Destroy();
        return ok;
    }

    // Reads `path` into a scene of its own: the start the read options give, in seconds; NaN
    // when the read fails.
    double ReadStart(const std::string& path) {
        VOxaScene* target = manager->CreateScene();
        VOxaImporter importer(manager);
        double seconds = std::nan("");
        if (importer.Initialize(path.c_str())) {
            VStreamOptions* options = importer.GetReadOptions();
            if (options) {
                const VTime begin = Motion(options)->GetStartTime();
                if (importer.Import(target, options)) seconds = begin.GetSecondDouble();
                options->Destroy();
            }
        }
        manager->DestroyScene(target);
        return seconds;
    }
};

// The whole-number fields of the first line of `text` after the line that starts with `after`
// (and the fields of that line itself when `after` is empty: the first line).
std::vector<std::string> FieldsAfter(const std::string& text, const std::string& after) {
    std::istringstream lines(text);
    std::string line;
    bool found = after.empty();
    while (std::getline(lines, line)) {
        if (!found) {
            found = line.compare(0, after.size(), after) == 0;
            continue;
        }
        std::istringstream in(line);
        std::vector<std::string> fields;
        std::string field;
        while (in >> field)
            fields.push_back(field);
        if (!fields.empty()) return fields;
    }
    return {};
}

}  // namespace

TEST(far_starts, StartsAreKeptWhereTheFrameNumbersHoldThem) {
    // Frames count from 1 at time 0, so frame f from 0 is numbered f + 1: a take from frame 2e9
    // (66666666.67 s) is numbered from 2000000001, within 32 bits; one from frame -2e9 from
    // -1999999999.
    for (long long startFrame : {2000000000LL, -2000000000LL}) {
        const std::string number = std::to_string(startFrame + 1);
        for (const char* extension : {"trc", "htr", "amc", "brd", "mov"}) {
            SCOPED_TRACE(std::string(extension) + " " + number);
            Take take(startFrame);
            const std::string path = TempPath(std::string("kept.") + extension);
            ASSERT_TRUE(take.Write(path)) << take.error;
            const std::string text = oxa_test::ReadFile(path);
            const std::string e = extension;
            if (e == "trc") {
                // OrigDataStartFrame, the seventh value of the third line, and the first line's number.
                EXPECT_EQ(FieldsAfter(text, "DataRate").at(6), number);
                EXPECT_EQ(FieldsAfter(text, "\t\tX1").at(0), number);
            } else if (e == "htr") {
                EXPECT_EQ(FieldsAfter(text, "[Hips]").at(0), number);
            } else if (e == "amc") {
                // The range counts from 0; frames from 1.
                EXPECT_EQ(FieldsAfter(text, ":SAMPLES").at(1),
                          std::to_string(startFrame) + "-" + std::to_string(startFrame + 9));
                EXPECT_EQ(FieldsAfter(text, ":DEGREES").at(0), number);
            } else {
                // Times in seconds: BRD's whole seconds and microseconds, MOV's first column.
                const std::vector<std::string> fields = FieldsAfter(text, "");
                const double seconds =
                    e == "brd" ? std::atof(fields.at(11).c_str()) + std::atof(fields.at(12).c_str()) * 1e-6
                               : std::atof(fields.at(0).c_str());
                EXPECT_NEAR(seconds, take.start.GetSecondDouble(), 1e-6);
            }
            // Our readers take the start back (TRC's Time column to its thousandths).
            if (e != "amc") EXPECT_NEAR(take.ReadStart(path), take.start.GetSecondDouble(), 1e-3);
        }
    }
}

TEST(far_starts, StartsBeyondTheFrameNumbersAreRefused) {
    // Frames 2147483641 to 2147483650 pass the largest 32-bit number, and frame 5e9 lies far
    // beyond it: TRC, HTR and AMC refuse with the reason and the file in place keeps its text.
    for (long long startFrame : {2147483640LL, 5000000000LL, -2147483650LL}) {
        for (const char* extension : {"trc", "htr", "amc", "c3d"}) {
            SCOPED_TRACE(std::string(extension) + " " + std::to_string(startFrame));
            Take take(startFrame);
            const std::string path = TempPath(std::string("refused.") + extension);
            oxa_test::WriteFile(path, "old");
            EXPECT_FALSE(take.Write(path));
            EXPECT_NE(take.error.find("frame numbers run from"), std::string::npos) << take.error;
            EXPECT_NE(take.error.find(std::to_string(startFrame + 1)), std::string::npos) << take.error;
            EXPECT_EQ(oxa_test::ReadFile(path), "old");
        }
    }
}

TEST(far_starts, HalfAFrameBeforeZeroGoesUp) {
    // A take from -0.005 s at 100 frames per second lies half a frame before frame 1 (0 s).
    for (const auto& c : std::map<std::string, const char*>{
             {"trc", "\t\tX1"}, {"htr", "[Hips]"}, {"amc", ":DEGREES"}, {"c3d", ""}}) {
        Take take(0);
        take.rate = 100.0;
        take.start = VTime(-VTime::kOneSecond / 200);
        EXPECT_TRUE(take.Write(TempPath("half." + c.first))) << take.error;
        const std::string text = oxa_test::ReadFile(TempPath("half." + c.first));
        EXPECT_EQ(*c.second ? FieldsAfter(text, c.second).at(0) : std::to_string(text.at(6)), "1") << c.first;
    }
}
