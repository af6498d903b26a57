// Frame counts and long segments of 3DS files on the command line: --info counts every frame of
// a segment, one frame or billions, a segment far past its keys is cut to them, and a file whose
// motion cannot be written in proportion fails with the reason, not as a usage error.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/geometry/3ds/ftk.h"
#include "tests/formats/geometry/3ds/ftk_scene_file_test_util.h"
#include "tests/tools/cli_run.h"

namespace {

using oxa_cli::Convert;
using oxa_cli::Folder;
using oxa_cli::Result;

// A file of one dummy node "Ball" with position keys at `first` and `last`, segment `first` to
// `last`.
std::string MakeFile(const std::string& name, int32_t first, int32_t last) {
    const std::string path = Folder() + name;
    EXPECT_TRUE(ftkscene::WriteSceneFile(path, [&](Ftk::Database* db) {
        Ftk::KeyframerSettings settings;
        settings.mAnimationLength = last;
        settings.mSegmentInUse = 1;
        settings.mSegmentFirst = first;
        settings.mSegmentLast = last;
        Ftk::PutKeyframerSettings(db, &settings);
        Ftk::ObjectMotion* motion = nullptr;
        Ftk::InitObjectMotion(&motion, 0, 0, 0, 0, 0);
        std::strcpy(motion->mName, "$$$DUMMY");
        std::strcpy(motion->mInstanceName, "Ball");
        Ftk::KeyHeader a, b;
        a.mFrame = first;
        b.mFrame = last;
        motion->mPosition.mKeyCount = first == last ? 1 : 2;
        motion->mPosition.mKeys =
            first == last ? std::vector<Ftk::KeyHeader>{a} : std::vector<Ftk::KeyHeader>{a, b};
        motion->mPosition.mValues = {0, 0, 0, 100, 0, 0};
        motion->mPosition.mValues.resize(motion->mPosition.mKeyCount * 3);
        Ftk::PutObjectMotion(db, motion);
        Ftk::ReleaseObjectMotion(&motion);
    })) << path;
    return path;
}

TEST(OxaConvertFramesCli, InfoCountsEveryFrame) {
    struct Case {
        int32_t first, last;
        const char* frames;
    };
    for (const Case& c :
         {Case{5, 5, " 1 frames"}, Case{0, 99, " 100 frames"}, Case{0, 999999999, " 1000000000 frames"},
          Case{0, 2147483647, " 2147483648 frames"}}) {
        const std::string path = MakeFile("span" + std::to_string(c.last) + ".3ds", c.first, c.last);
        const Result r = Convert("--info " + path);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(c.frames), std::string::npos) << c.first << ".." << c.last << ":\n" << r.out;
    }
}

TEST(OxaConvertFramesCli, LongSegmentToMotionIsNoUsageError) {
    const std::string path = MakeFile("long.3ds", 0, 2147483647);
    const Result r = Convert(path + " " + Folder() + "long.bvh");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("frames"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("usage"), std::string::npos) << r.err;
}

// A segment that runs far past the keys is cut to them, with a warning (and --info notes it);
// a take that would still be written far out of proportion to the input is refused with its frame
// count, the old file kept.
TEST(OxaConvertFramesCli, OutputStaysInProportionToTheInput) {
    // The sample scene with one byte changed: its keyframer segment, which ended with its keys at
    // frame 60, ends at frame 536,870,972.
    std::string sample = oxa_cli::ReadFile(std::string(OXA_EXAMPLES_DIR) + "/scene.3ds");
    const size_t segment = sample.find(std::string("\x08\xb0\x0e\0\0\0", 6));
    ASSERT_NE(segment, std::string::npos);
    sample[segment + 13] = 0x20;
    const std::string patched = Folder() + "far.3ds";
    oxa_cli::WriteText(patched, sample);
    struct Case {
        std::string path;
        int code;
        const char* said;
        bool noted;
    };
    for (const Case& c : {Case{patched, 0, "runs 536870912 frames past its last key", true},
                          Case{MakeFile("keys200000.3ds", 0, 200000), 1,
                               "would be written as 200001 frames, more than 100000", false}}) {
        for (const char* extension : {".trc", ".brd"}) {
            const std::string out = Folder() + "far" + std::to_string(c.code) + extension;
            oxa_cli::WriteText(out, "old");
            // Under a file-size limit: a run that wrote the whole span would fill the disk.
            const Result r = oxa_cli::RunIn(Folder(), c.path + " " + out, "ulimit -f 1024; ", "far", 0);
            EXPECT_EQ(r.code, c.code) << extension << ": " << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << extension << ": " << r.err;
            const std::string written = oxa_cli::ReadFile(out);
            if (c.code == 0)
                EXPECT_TRUE(written != "old" && written.size() < 100000)
                    << extension << ": " << written.size();
            else
                EXPECT_EQ(written, "old") << extension;
        }
        const Result info = Convert("--info " + c.path);
        EXPECT_EQ(info.out.find("past its last key") != std::string::npos, c.noted) << info.out;
    }
}

}  // namespace
