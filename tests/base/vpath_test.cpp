#include "base/vpath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/platform.h"

namespace {

std::string MakeTempDir() {
    char templ[] = "/tmp/oxa_path_XXXXXX";
    const char* dir = mkdtemp(templ);
    return dir ? dir : "";
}

}  // namespace

TEST(Path, FileAndDirectoryNamesWithBothSeparators) {
    EXPECT_EQ(GetFileName("C:\\scenes/takes\\walk.bvh"), "walk.bvh");
    EXPECT_EQ(GetFileName("a\\b/walk.cycle.bvh", false), "walk.cycle");
    EXPECT_EQ(GetFileName("dir.d/file", false), "file");
    EXPECT_EQ(GetFileName("plain.txt", true), "plain.txt");
    EXPECT_EQ(GetFileName("dir/", true), "");
    EXPECT_EQ(GetFileName(nullptr), "");
    EXPECT_EQ(GetFileName(".hidden", false), ".hidden");

    EXPECT_EQ(GetDirectoryName("a/b\\c.txt"), "a/b");
    EXPECT_EQ(GetDirectoryName("a\\b/c.txt"), "a\\b");
    EXPECT_EQ(GetDirectoryName("c.txt"), "");
    EXPECT_EQ(GetDirectoryName("/c.txt"), "");
    EXPECT_EQ(GetDirectoryName(nullptr), "");

    EXPECT_EQ(ChangeFileExtension("a.b/scene.oxa", ".tmp"), "a.b/scene.tmp");
    EXPECT_EQ(ChangeFileExtension("a.b\\scene", ".tmp"), "a.b\\scene.tmp");
    EXPECT_EQ(ChangeFileExtension("scene.old.oxa", nullptr), "scene.old");
}

TEST(Path, AbsoluteAndRelative) {
    EXPECT_FALSE(IsRelativePath("C:\\x"));
    EXPECT_FALSE(IsRelativePath("\\\\server\\share"));
    EXPECT_FALSE(IsRelativePath("/usr/share"));
    EXPECT_FALSE(IsRelativePath("file:name"));
    EXPECT_TRUE(IsRelativePath("\\single"));
    EXPECT_TRUE(IsRelativePath("dir/file"));
    EXPECT_TRUE(IsRelativePath(""));
    EXPECT_TRUE(IsRelativePath(nullptr));
}

TEST(Path, FullPathsAreJoinedAndCleaned) {
    EXPECT_EQ(GetFullPath("/data/obj", "cube.mtl"), "/data/obj/cube.mtl");
    EXPECT_EQ(GetFullPath("/data/obj/", "cube.mtl"), "/data/obj/cube.mtl");
    EXPECT_EQ(GetFullPath("C:\\data\\obj\\", "tex\\wood.tif"), "C:\\data\\obj\\tex\\wood.tif");
    EXPECT_EQ(GetFullPath("C:\\data\\obj", "..\\wood.tif"), "C:\\data\\wood.tif");
    EXPECT_EQ(GetFullPath("/data/obj", "./a//b/../c.txt"), "/data/obj/a/c.txt");
    EXPECT_EQ(GetFullPath("/data/obj", "/abs/x.txt"), "/abs/x.txt");
    EXPECT_EQ(GetFullPath("/base", "D:\\x\\..\\y.txt"), "D:\\y.txt");
    EXPECT_EQ(GetFullPath("/base", "\\\\srv\\share\\.\\f"), "\\\\srv\\share\\f");
    EXPECT_EQ(GetFullPath("", "a/./b"), "a/b");
    EXPECT_EQ(GetFullPath(nullptr, "a"), "a");
    EXPECT_EQ(CleanPath("/../../x"), "/x");  // no climbing above the root
    EXPECT_EQ(CleanPath("../../x"), "../../x");
    EXPECT_EQ(CleanPath("a/.."), ".");
    EXPECT_EQ(CleanPath("a/b/"), "a/b/");
}

TEST(Path, RelativeToTheCurrentDirectory) {
    VString cwd = VPlatformGetCurrentDirectory();
    ASSERT_FALSE(cwd.IsEmpty());
    EXPECT_EQ(GetRelativeFilePath(cwd + "/sub/file.txt"), "sub/file.txt");
    EXPECT_EQ(GetRelativeFilePath(cwd), ".");
    VString parent = GetDirectoryName(cwd);
    if (!parent.IsEmpty()) {
        EXPECT_EQ(GetRelativeFilePath(parent + "/other.txt"), "../other.txt");
    }
    EXPECT_EQ(GetRelativeFilePath("already/./relative"), "already/relative");
    EXPECT_EQ(GetRelativeFilePath("Q:\\elsewhere\\f"), "Q:\\elsewhere\\f");
}

TEST(Path, FilesAndDirectories) {
    std::string dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_FALSE(FileExists(nullptr));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.c_str()));  // a directory is not a file
    std::string file = dir + "/x/y\\z/f.txt";
    EXPECT_FALSE(FileExists(file.c_str()));

    // Both separators make directories on the way (on Linux '\' is a separator here too).
    ASSERT_TRUE(CreateDirectoryPath(file.c_str()));
    EXPECT_TRUE(VPlatformDirectoryExists((dir + "/x/y/z").c_str()));
    ASSERT_TRUE(CreateDirectoryPath(file.c_str()));  // existing: still true
    FILE* f = std::fopen((dir + "/x/y/z/f.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(FileExists((dir + "/x/y/z/f.txt").c_str()));
    EXPECT_TRUE(FileExists((dir + "\\x\\y/z\\f.txt").c_str()));
    EXPECT_TRUE(CreateDirectoryPath("no_directory_part.txt"));

    // A file in the way makes the creation fail.
    EXPECT_FALSE(CreateDirectoryPath((dir + "/x/y/z/f.txt/inner/g.txt").c_str()));

    // Very long paths are handled without overruns.
    std::string longPath(20000, 'a');
    for (size_t i = 50; i < longPath.size(); i += 50)
        longPath[i] = (i / 50) % 2 ? '/' : '\\';
    EXPECT_EQ(GetFileName(longPath.c_str()).GetLen(), 49);
    EXPECT_EQ(GetFullPath(longPath.c_str(), longPath.c_str()).GetLen(), 40001);
    EXPECT_FALSE(FileExists(longPath.c_str()));

    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}
