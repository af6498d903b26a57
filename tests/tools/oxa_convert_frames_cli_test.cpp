// Frame counts and long segments of 3DS files on the command line: --info counts every frame of
// a segment, one frame or billions, and a file whose motion cannot be written in proportion
// fails with the reason, not as a usage error.
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

}  // namespace
