// The files a run of oxa-convert touches: only those it was asked to write, each put in place
// when every file of the run was written, nothing changed by a run that fails, no input replaced
// by an output, and only regular files read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/corpus.h"
#include "tests/support/test_files.h"
#include "tests/tools/cli_run.h"

namespace fs = std::filesystem;
using oxa_cli::Count;
using oxa_cli::Result;
using oxa_test::ReadFile;
using oxa_test::WriteFile;

namespace {

// Runs the command from `cwd` with `arguments` (shell words), through `prefix` (shell commands
// run before it, e.g. limits) and a time limit: a run that waits on a pipe or device ends.
Result RunIn(const std::string& cwd, const std::string& arguments, const std::string& prefix = "") {
    return oxa_cli::RunIn(cwd, arguments, prefix, "files", 120);
}

const char kBvh[] =
    "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation "
    "Yrotation\n  JOINT Chest\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n    End "
    "Site\n"
    "    {\n      OFFSET 0 10 0\n    }\n  }\n}\nMOTION\nFrames: 3\nFrame Time: 0.033333\n"
    "0 0 0 0 0 0 0 0 0\n1 0 0 10 0 0 5 0 0\n2 0 0 20 0 0 10 0 0\n";

// A one-triangle-per-group OBJ naming the material library `mtl`, each group with its material.
std::string Obj(const std::string& mtl, int groups) {
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nmtllib " + mtl + "\n";
    for (int g = 0; g < groups; ++g)
        text += "g g" + std::to_string(g) + "\nusemtl m" + std::to_string(g) + "\nf 1/1 2/2 3/3\n";
    return text;
}

// The material library of Obj(): material k maps `maps[k]`.
std::string Mtl(const std::vector<std::string>& maps) {
    std::string text;
    for (size_t k = 0; k < maps.size(); ++k)
        text += "newmtl m" + std::to_string(k) + "\nKd 1 0 0\nmap_Kd " + maps[k] + "\n";
    return text;
}

// The names in `folder`.
std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// A file's bytes, or what it is when it is not a regular file.
std::string State(const std::string& path) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) return "link to " + fs::read_symlink(path).string();
    if (fs::is_directory(path, error)) return "folder";
    return ReadFile(path);
}

// Every name in `folder` with what is there.
std::vector<std::pair<std::string, std::string>> Snapshot(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> all;
    for (const std::string& name : Names(folder))
        all.push_back({name, State(folder + "/" + name)});
    return all;
}

}  // namespace

TEST(cli_files, TemporariesNeverTakeANameThatIsThere) {
    oxa_test::ScratchDir dir("cli_files", "tmp");
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "elsewhere");
    fs::create_directories(dir / "run");
    WriteFile(dir / "in/walk.bvh", kBvh);
    WriteFile(dir / "in/scene.obj", Obj("scene.mtl", 1));
    WriteFile(dir / "in/scene.mtl", Mtl({"image.png"}));
    WriteFile(dir / "in/image.png", "image");
    WriteFile(dir / "elsewhere/victim.txt", "victim");
    // A user's own file and links to a file outside the output folder at every name a run that
    // added ".tmp" would have used.
    WriteFile(dir / "out/x.obj.tmp", "mine");
    for (const char* name : {"y.bvh.tmp", "x.mtl.tmp", "image.png.tmp", "keep.amc.tmp", "keep.asf.tmp"})
        fs::create_symlink("../elsewhere/victim.txt", dir / (std::string("out/") + name));
    const auto before = Snapshot(dir / "out");

    for (const char* args :
         {"../in/walk.bvh ../out/y.bvh", "../in/scene.obj ../out/x.obj", "../in/walk.bvh ../out/keep.amc"}) {
        Result r = RunIn(dir / "run", args);
        ASSERT_EQ(r.code, 0) << args << ": " << r.err;
    }
    EXPECT_EQ(ReadFile(dir / "elsewhere/victim.txt"), "victim");
    // What was there is as it was; the outputs are regular files; nothing else is left.
    auto after = Snapshot(dir / "out");
    for (const auto& entry : before)
        EXPECT_NE(std::find(after.begin(), after.end(), entry), after.end()) << entry.first;
    std::set<std::string> added;
    for (const auto& entry : after)
        if (std::find(before.begin(), before.end(), entry) == before.end()) added.insert(entry.first);
    EXPECT_EQ(added, (std::set<std::string>{"y.bvh", "x.obj", "x.mtl", "image.png", "keep.amc", "keep.asf"}));
    for (const std::string& name : added)
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / ("out/" + name)))) << name;
    EXPECT_EQ(ReadFile(dir / "out/image.png"), "image");
    EXPECT_NE(ReadFile(dir / "out/y.bvh").find("ROOT Hips"), std::string::npos);

    // An output that is a link is replaced by the new file; the file it pointed to stays.
    fs::create_symlink("../elsewhere/victim.txt", dir / "out/linked.bvh");
    ASSERT_EQ(RunIn(dir / "run", "../in/walk.bvh ../out/linked.bvh").code, 0);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "out/linked.bvh")));
    EXPECT_EQ(ReadFile(dir / "elsewhere/victim.txt"), "victim");

    // The longest name a folder can hold is a name the run can write.
    const std::string longest = std::string(251, 'n') + ".bvh";
    Result r = RunIn(dir / "run", "../in/walk.bvh ../out/" + longest);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadFile(dir / ("out/" + longest)).find("ROOT Hips"), std::string::npos);
}

TEST(cli_files, AFailedRunKeepsEveryFile) {
    oxa_test::ScratchDir dir("cli_files", "failed");
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "run");
    WriteFile(dir / "in/walk.bvh", kBvh);
    const std::string examples = std::string(OXA_EXAMPLES_DIR) + "/";
    auto expectKept = [&](const std::string& args, const std::string& why) {
        const auto before = Snapshot(dir / "out");
        Result r = RunIn(dir / "run", args);
        EXPECT_EQ(r.code, 1) << args << ": " << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(Snapshot(dir / "out"), before) << args;
    };
    // A motion writer that finds nothing to write.
    WriteFile(dir / "out/good.bvh", kBvh);
    expectKept(examples + "scene.3ds ../out/good.bvh", "good.bvh");
    // The HTR writer refuses names with spaces (a C3D label may hold one).
    WriteFile(dir / "in/spaced.trc",
              "PathFileType\t4\t(X/Y/Z)\tspaced.trc\t\nDataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\t"
              "OrigDataRate\tOrigDataStartFrame\tOrigNumFrames\t\n30\t30\t2\t2\tmm\t30\t1\t2\t\n"
              "Frame#\tTime\tMRKB\t\t\tC\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\t\n\n"
              "1\t0\t1\t2\t3\t4\t5\t6\n2\t0.0333\t1\t2\t3\t4\t5\t6\n");
    ASSERT_EQ(RunIn(dir / "run", "../in/spaced.trc ../in/spaced.c3d").code, 0);
    std::string c3d = ReadFile(dir / "in/spaced.c3d");
    ASSERT_NE(c3d.find("MRKB"), std::string::npos);
    c3d.replace(c3d.find("MRKB"), 4, "MR B");
    WriteFile(dir / "in/spaced.c3d", c3d);
    WriteFile(dir / "out/good.htr", "old htr");
    expectKept("../in/spaced.c3d ../out/good.htr", "Spaces are not allowed");
    // AMC motion whose ASF cannot be put in place (a folder has its name): the old AMC stays.
    WriteFile(dir / "out/keep.amc", "old amc");
    fs::create_directories(dir / "out/keep.asf");
    expectKept("../in/walk.bvh ../out/keep.amc", "keep.asf is a folder");
    // OBJ output that is a folder: no MTL file or image beside it.
    WriteFile(dir / "in/scene.obj", Obj("scene.mtl", 1));
    WriteFile(dir / "in/scene.mtl", Mtl({"image.png"}));
    WriteFile(dir / "in/image.png", "image");
    fs::create_directories(dir / "out/dd.obj");
    expectKept("../in/scene.obj ../out/dd.obj", "dd.obj is a folder");
    // A full disk: every file of an OBJ run was there before and stays as it was.
    WriteFile(dir / "in/big.obj", Obj("big.mtl", 400));
    std::vector<std::string> maps(400, "image.png");
    WriteFile(dir / "in/big.mtl", Mtl(maps));
    WriteFile(dir / "out/big.obj", "old obj");
    WriteFile(dir / "out/big.mtl", "old mtl");
    const auto before = Snapshot(dir / "out");
    Result r = RunIn(dir / "run", "../in/big.obj ../out/big.obj", "trap '' XFSZ; ulimit -f 8; ");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(Snapshot(dir / "out"), before);
    // The same run with room writes all three.
    ASSERT_EQ(RunIn(dir / "run", "../in/big.obj ../out/big.obj").code, 0);
    EXPECT_EQ(ReadFile(dir / "out/image.png"), "image");
    EXPECT_EQ(Count(ReadFile(dir / "out/big.mtl"), "newmtl"), 400);
}

TEST(cli_files, AnOutputThatIsAnInputIsRefused) {
    oxa_test::ScratchDir dir("cli_files", "inputs");
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "run");
    auto expectRefused = [&](const std::string& args, const std::vector<std::string>& named) {
        const auto before = Snapshot(dir / "in");
        Result r = RunIn(dir / "run", args);
        EXPECT_EQ(r.code, 2) << args << ": " << r.err;
        for (const std::string& name : named)
            EXPECT_NE(r.err.find(name), std::string::npos) << args << ": " << name << " in " << r.err;
        EXPECT_EQ(Snapshot(dir / "in"), before) << args;
    };
    // The MTL file beside OUT would be the input's library.
    WriteFile(dir / "in/scene.obj", Obj("shared.mtl", 1));
    WriteFile(dir / "in/shared.mtl", Mtl({"none.png"}) + "newmtl other\nKd 0 1 0\n");
    expectRefused("../in/scene.obj ../in/shared.obj",
                  {"shared.mtl (the MTL file written beside OUT)", "shared.mtl (the input's MTL library)"});
    // The MTL name is the OBJ name as written: House.obj gets House.mtl, beside house.obj's own
    // house.mtl, which stays as it was.
    WriteFile(dir / "in/house.obj", Obj("house.mtl", 1));
    WriteFile(dir / "in/house.mtl", Mtl({"none.png"}));
    ASSERT_EQ(RunIn(dir / "run", "../in/house.obj ../in/House.obj").code, 0);
    EXPECT_EQ(ReadFile(dir / "in/house.mtl"), Mtl({"none.png"}));
    EXPECT_NE(ReadFile(dir / "in/House.obj").find("mtllib House.mtl\n"), std::string::npos);
    fs::remove(dir / "in/House.obj");
    fs::remove(dir / "in/House.mtl");
    // The first ".obj" of the name becomes ".mtl": the MTL file would be IN.
    WriteFile(dir / "in/m.mtl.obj", Obj("none.mtl", 1));
    expectRefused("../in/m.mtl.obj ../in/m.obj.obj", {"IN and OUT are the same file", "m.mtl.obj"});
    // The ASF written beside an AMC output would be the --skeleton read.
    WriteFile(dir / "in/walk.bvh", kBvh);
    ASSERT_EQ(RunIn(dir / "run", "../in/walk.bvh ../in/walk.amc").code, 0);
    fs::rename(dir / "in/walk.asf", dir / "in/skel.asf");
    expectRefused("--skeleton ../in/skel.asf ../in/walk.amc ../in/skel.amc",
                  {"skel.asf (OUT's ASF skeleton is written beside it)", "(the ASF skeleton of IN)"});
    // A texture image the run copies would be the MTL file written.
    WriteFile(dir / "in/tex.obj", Obj("tex.mtl", 1));
    WriteFile(dir / "in/tex.mtl", Mtl({"copy.mtl"}));
    WriteFile(dir / "in/copy.mtl", "not a material file");
    expectRefused("../in/tex.obj ../in/copy.obj", {"copy.mtl (a texture image it copies)"});
    // Another name of the output is fine.
    Result r = RunIn(dir / "run", "../in/scene.obj ../in/other.obj");
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(cli_files, OnlyRegularFilesAreRead) {
    oxa_test::ScratchDir dir("cli_files", "regular");
    fs::create_directories(dir / "run");
    WriteFile(dir / "walk.bvh", kBvh);
    ASSERT_EQ(mkfifo((dir / "pipe.bvh").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "pipe.ini").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir / "zero.obj");
    for (const std::string& args :
         {"../pipe.bvh ../out.bvh", "../zero.obj ../out.bvh", "--options ../pipe.ini ../walk.bvh ../out.bvh",
          "--options /dev/null ../walk.bvh ../out.bvh"}) {
        Result r = RunIn(dir / "run", args);
        EXPECT_EQ(r.code, 1) << args << ": " << r.err;
        EXPECT_NE(r.err.find("not a file that can be read"), std::string::npos) << args << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.bvh")) << args;
    }
}

TEST(cli_files, PlainWordsForMissingFilesAndFolders) {
    oxa_test::ScratchDir dir("cli_files", "words");
    fs::create_directories(dir / "run");
    fs::create_directories(dir / "folder.bvh");
    WriteFile(dir / "walk.bvh", kBvh);
    WriteFile(dir / "file", "");
    WriteFile(dir / "walk.amc", "");
    struct Case {
        std::string args;
        int code;
        std::string words;
    };
    for (const Case& c : std::vector<Case>{
             {"../walk.bvh ../folder.bvh", 1, "../folder.bvh is a folder"},
             {"../walk.bvh ../folder.bvh/../nowhere/x.htr", 1,
              "the folder ../folder.bvh/../nowhere does not exist"},
             {"../walk.bvh ../nowhere/x.obj", 1, "the folder ../nowhere does not exist"},
             {"../walk.bvh ../file/x.3ds", 1, "../file is not a folder"},
             {"../missing.bvh ../x.bvh", 1, "../missing.bvh does not exist"},
             {"--skeleton ../none.asf ../walk.amc ../x.bvh", 1, "../none.asf does not exist"},
             {"--texture-dir ../file ../walk.bvh ../x.obj", 2, "--texture-dir: ../file is not a folder"}}) {
        Result r = RunIn(dir / "run", c.args);
        EXPECT_EQ(r.code, c.code) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << c.args << ": " << r.err;
        EXPECT_FALSE(fs::exists(dir / "nowhere")) << c.args;
    }
}

TEST(cli_files, RealModelsComeOutWithTheirImages) {
    // Debian's model collection: an OBJ naming its images with '\', a 3DS naming its image in
    // another letter case than the file's.
    const fs::path spider = "/usr/share/assimp/models/OBJ/spider.obj";
    const fs::path cube = "/usr/share/assimp/models/3DS/cube_with_diffuse_texture.3DS";
    if (!fs::exists(spider) || !fs::exists(cube)) GTEST_SKIP() << "the model collection is not installed";
    oxa_test::ScratchDir dir("cli_files", "real");
    fs::create_directories(dir / "obj");
    fs::create_directories(dir / "tds");
    Result r = RunIn(dir.path.string(), spider.string() + " obj/spider.obj");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string mtl = ReadFile(dir / "obj/spider.mtl");
    for (const char* image : {"drkwood2.jpg", "SpiderTex.jpg", "engineflare1.jpg", "wal67ar_small.jpg"}) {
        EXPECT_EQ(ReadFile(dir / (std::string("obj/") + image)),
                  ReadFile((spider.parent_path() / image).string()))
            << image;
        EXPECT_NE(mtl.find(std::string("map_Kd ") + image + "\n"), std::string::npos) << image << mtl;
    }
    r = RunIn(dir.path.string(), cube.string() + " tds/cube.3ds");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFile(dir / "tds/test.png"), ReadFile((cube.parent_path() / "test.png").string()));
    EXPECT_NE(ReadFile(dir / "tds/cube.3ds").find(std::string("test.png") + '\0'), std::string::npos);
}

TEST(cli_files, NotEnoughMemoryEndsTheRunAndChangesNothing) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address-sanitized program ends on an allocation failure instead of throwing";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "an address-sanitized program ends on an allocation failure instead of throwing";
#endif
#endif
    oxa_test::ScratchDir dir("cli_files", "memory");
    fs::create_directories(dir / "out");
    // Many groups of one triangle each: far more memory than the file's size.
    std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int g = 0; g < 100000; ++g)
        obj += "g g" + std::to_string(g) + "\nf 1 2 3\n";
    WriteFile(dir / "many.obj", obj);
    WriteFile(dir / "out/many.3ds", "old");
    Result r = RunIn(dir.path.string(), "many.obj out/many.3ds", "ulimit -v 200000; ");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_TRUE(r.err.find("not enough memory to read many.obj") != std::string::npos ||
                r.err.find("not enough memory to write out/many.3ds") != std::string::npos)
        << r.err;
    EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"many.3ds"}));
    EXPECT_EQ(ReadFile(dir / "out/many.3ds"), "old");
    // Descriptors that run out between an OBJ and its MTL file: neither is written. (A sanitizer
    // needs descriptors of its own too.)
    WriteFile(dir / "one.obj", "mtllib one.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl m\nf 1 2 3\n");
    WriteFile(dir / "one.mtl", "newmtl m\nKd 1 0 0\n");
    const std::string out = dir / "one_out.txt", err = dir / "one_err.txt";
    r = oxa_cli::RunCollecting(
        "cd '" + dir.path.string() + "' && exec 3<&- 4<&- 5<&- 6<&- 7<&- 8<&- 9<&- && exec " +
            "prlimit --nofile=4 " + OXA_CONVERT_PATH + " one.obj out/one.obj >" + out + " 2>" + err,
        out, err);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("out/one.mtl: could not be written"), std::string::npos) << r.err;
    EXPECT_EQ(Names(dir / "out"), (std::set<std::string>{"many.3ds"}));
}
