// oxa-convert copies the texture images of OBJ and 3DS conversions from the folders of the files
// that name them, whatever the working directory, and from nowhere else.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_files.h"
#include "tests/tools/cli_run.h"

namespace {

namespace fs = std::filesystem;

using oxa_cli::Count;
using oxa_cli::Result;

// Runs the program from the folder `cwd`.
oxa_cli::Result ConvertIn(const std::string& cwd, const std::string& arguments) {
    return oxa_cli::Convert(arguments, cwd);
}

// An OBJ file of one triangle per material of its MTL file, each material with a diffuse map.
void WriteModel(const std::string& folder, const std::string& stem, const std::vector<std::string>& maps) {
    std::string obj = "mtllib " + stem + ".mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n";
    std::string mtl;
    for (size_t i = 0; i < maps.size(); ++i) {
        const std::string name = "m" + std::to_string(i);
        obj += "usemtl " + name + "\nf 1/1 2/2 3/3\n";
        mtl += "newmtl " + name + "\nKd 1 0 0\nmap_Kd " + maps[i] + "\n";
    }
    oxa_test::WriteFile(folder + "/" + stem + ".obj", obj);
    oxa_test::WriteFile(folder + "/" + stem + ".mtl", mtl);
}

const char kRefused[] = "is outside the folders textures are copied from; not copied.";

}  // namespace

TEST(oxa_convert_textures, ImagesBesideAndBelowTheMaterialFileAreCopiedFromAnyFolder) {
    oxa_test::ScratchDir dir("cli_tex", "found");
    fs::create_directories(dir / "models/tex");
    oxa_test::WriteFile(dir / "models/tex/wood.png", "wood");
    oxa_test::WriteFile(dir / "models/leaf.png", "leaf");
    WriteModel(dir / "models", "a", {"tex/wood.png", "leaf.png"});
    // A material file of the same name in the working folder is not the model's.
    oxa_test::WriteFile(dir / "a.mtl", "newmtl m0\nmap_Kd decoy.png\n");

    // Run from the folder above the model's.
    fs::create_directories(dir / "out_obj");
    Result obj = ConvertIn(dir.path.string(), "models/a.obj out_obj/a.obj");
    ASSERT_EQ(obj.code, 0) << obj.err;
    EXPECT_EQ(obj.err.find("texture"), std::string::npos) << obj.err;
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_obj/wood.png"), "wood");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_obj/leaf.png"), "leaf");
    const std::string mtl = oxa_test::ReadFile(dir / "out_obj/a.mtl");
    EXPECT_NE(mtl.find("map_Kd wood.png\n"), std::string::npos) << mtl;
    EXPECT_NE(mtl.find("map_Kd leaf.png\n"), std::string::npos) << mtl;

    // Run from an unrelated folder, with absolute paths, into 3DS.
    fs::create_directories(dir / "out_3ds");
    Result tds = ConvertIn("/", (dir / "models/a.obj") + " " + (dir / "out_3ds/a.3ds"));
    ASSERT_EQ(tds.code, 0) << tds.err;
    EXPECT_EQ(tds.err.find("texture"), std::string::npos) << tds.err;
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_3ds/wood.png"), "wood");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_3ds/leaf.png"), "leaf");
    // The maps name the copies; the copied file reads back with both.
    const std::string bytes = oxa_test::ReadFile(dir / "out_3ds/a.3ds");
    EXPECT_NE(bytes.find(std::string("wood.png") + '\0'), std::string::npos);
    EXPECT_NE(bytes.find(std::string("leaf.png") + '\0'), std::string::npos);
    EXPECT_EQ(bytes.find("tex/"), std::string::npos);
}

TEST(oxa_convert_textures, ImagesOutsideTheInputFolderAreNotCopied) {
    oxa_test::ScratchDir dir("cli_tex", "hostile");
    fs::create_directories(dir / "models");
    fs::create_directories(dir / "elsewhere");
    oxa_test::WriteFile(dir / "secret.png", "secret");
    fs::create_symlink(dir / "secret.png", dir / "models/link.png");
    const bool hostname = fs::is_regular_file("/etc/hostname");
    WriteModel(dir / "models", "bad", {"/etc/passwd", "../../../../../../../../etc/hostname", "link.png"});

    for (const char* out : {"elsewhere/bad.obj", "elsewhere/bad.3ds"}) {
        Result r = ConvertIn((dir / "elsewhere"), (dir / "models/bad.obj") + " " + (dir / out));
        ASSERT_EQ(r.code, 0) << out << ": " << r.err;
        EXPECT_TRUE(fs::exists(dir / out)) << out;
        EXPECT_EQ(Count(r.err, "passwd\" " + std::string(kRefused)), 1) << out << ": " << r.err;
        if (hostname) {
            EXPECT_EQ(Count(r.err, "hostname\" " + std::string(kRefused)), 1) << out << ": " << r.err;
        }
        EXPECT_EQ(Count(r.err, "link.png\" " + std::string(kRefused)), 1) << out << ": " << r.err;
        EXPECT_EQ(Count(r.err, kRefused), hostname ? 3 : 2) << out << ": " << r.err;
        for (const char* name : {"passwd", "hostname", "link.png", "secret.png"})
            EXPECT_FALSE(fs::exists(dir / (std::string("elsewhere/") + name))) << out << ": " << name;
    }
    // The written materials keep the bare names.
    const std::string mtl = oxa_test::ReadFile(dir / "elsewhere/bad.mtl");
    EXPECT_NE(mtl.find("map_Kd passwd\n"), std::string::npos) << mtl;
    EXPECT_NE(mtl.find("map_Kd hostname\n"), std::string::npos) << mtl;
    EXPECT_NE(mtl.find("map_Kd link.png\n"), std::string::npos) << mtl;
    const std::string bytes = oxa_test::ReadFile(dir / "elsewhere/bad.3ds");
    EXPECT_NE(bytes.find(std::string("passwd") + '\0'), std::string::npos);
    EXPECT_EQ(bytes.find("/etc"), std::string::npos);
}

TEST(oxa_convert_textures, TextureDirAllowsOneSiblingFolder) {
    oxa_test::ScratchDir dir("cli_tex", "sibling");
    fs::create_directories(dir / "models");
    fs::create_directories(dir / "textures");
    fs::create_directories(dir / "other");
    oxa_test::WriteFile(dir / "textures/stone.png", "stone");
    oxa_test::WriteFile(dir / "other/bark.png", "bark");
    WriteModel(dir / "models", "s", {"../textures/stone.png", "../other/bark.png"});

    fs::create_directories(dir / "plain");
    Result without = ConvertIn(dir.path.string(), "models/s.obj plain/s.obj");
    ASSERT_EQ(without.code, 0) << without.err;
    EXPECT_EQ(Count(without.err, kRefused), 2) << without.err;
    // One line points to the option that lets such images in.
    EXPECT_EQ(Count(without.err, "give --texture-dir with a folder"), 1) << without.err;
    EXPECT_FALSE(fs::exists(dir / "plain/stone.png"));

    fs::create_directories(dir / "allowed");
    Result with = ConvertIn(dir.path.string(), "models/s.obj allowed/s.3ds --texture-dir textures");
    ASSERT_EQ(with.code, 0) << with.err;
    EXPECT_EQ(oxa_test::ReadFile(dir / "allowed/stone.png"), "stone");
    EXPECT_FALSE(fs::exists(dir / "allowed/bark.png"));
    EXPECT_EQ(Count(with.err, "bark.png\" " + std::string(kRefused)), 1) << with.err;
    EXPECT_EQ(Count(with.err, kRefused), 1) << with.err;

    // The option names a folder that is there.
    Result missing = ConvertIn(dir.path.string(), "models/s.obj x/s.obj --texture-dir nowhere");
    EXPECT_EQ(missing.code, 2) << missing.err;
    EXPECT_NE(missing.err.find("--texture-dir: nowhere does not exist"), std::string::npos) << missing.err;
}

TEST(oxa_convert_textures, ImageNamesAreFoundAsTheirFilesAndKeepApart) {
    oxa_test::ScratchDir dir("cli_tex", "names");
    for (const char* folder : {"models/sub", "models/sub1", "models/sub2", "run", "out_obj", "out_3ds"})
        fs::create_directories(dir / folder);
    oxa_test::WriteFile(dir / "models/sub/a:b.png", "colon");
    oxa_test::WriteFile(dir / "models/sub/back.png", "back");
    oxa_test::WriteFile(dir / "models/upper.png", "upper");
    oxa_test::WriteFile(dir / "models/sub1/same.png", "same one");
    oxa_test::WriteFile(dir / "models/sub2/same.png", "same two");
    oxa_test::WriteFile(dir / "models/kept.png", "kept");
    oxa_test::WriteFile(dir / "models/other.png", "ours");
    // Images named as the files the run writes.
    oxa_test::WriteFile(dir / "models/sub/n.obj", "image obj");
    oxa_test::WriteFile(dir / "models/sub/n.3ds", "image 3ds");
    oxa_test::WriteFile(dir / "models/sub/n.mtl", "image mtl");
    WriteModel(dir / "models", "n",
               {"sub/a:b.png", ".\\sub\\back.png", "UPPER.PNG", "sub1/same.png", "sub2/same.png", "kept.png",
                "other.png", "C:\\models\\kept.png", "sub/n.obj", "sub/n.3ds", "sub/n.mtl"});
    // Already in the output folders: the same bytes (kept as they are) and other bytes (never
    // overwritten).
    for (const char* out : {"out_obj", "out_3ds"}) {
        oxa_test::WriteFile(dir / (std::string(out) + "/kept.png"), "kept");
        oxa_test::WriteFile(dir / (std::string(out) + "/other.png"), "theirs");
    }

    Result obj = ConvertIn(dir / "run", "../models/n.obj ../out_obj/n.obj");
    ASSERT_EQ(obj.code, 0) << obj.err;
    Result tds = ConvertIn(dir / "run", "../models/n.obj ../out_3ds/n.3ds");
    ASSERT_EQ(tds.code, 0) << tds.err;
    EXPECT_FALSE(fs::exists(dir / "run/a:b.png"));
    const std::string mtl = oxa_test::ReadFile(dir / "out_obj/n.mtl");
    const std::string bytes = oxa_test::ReadFile(dir / "out_3ds/n.3ds");
    for (const char* out : {"out_obj/", "out_3ds/"}) {
        const std::string folder = dir / out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "a:b.png"), "colon") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "back.png"), "back") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "upper.png"), "upper") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "same.png"), "same one") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "same_2.png"), "same two") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "kept.png"), "kept") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "other.png"), "theirs") << out;
        EXPECT_EQ(oxa_test::ReadFile(folder + "other_2.png"), "ours") << out;
        EXPECT_FALSE(fs::exists(folder + "kept_2.png")) << out;
    }
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_obj/n_2.obj"), "image obj");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_obj/n.3ds"), "image 3ds");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_obj/n_2.mtl"), "image mtl");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_3ds/n.obj"), "image obj");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_3ds/n_2.3ds"), "image 3ds");
    EXPECT_EQ(oxa_test::ReadFile(dir / "out_3ds/n.mtl"), "image mtl");
    EXPECT_NE(mtl.find("map_Kd n_2.mtl\n"), std::string::npos) << mtl;
    // Each material names the file its image has.
    for (const char* name :
         {"a:b.png", "back.png", "upper.png", "same.png", "same_2.png", "kept.png", "other_2.png"}) {
        EXPECT_NE(mtl.find("map_Kd " + std::string(name) + "\n"), std::string::npos) << name << "\n" << mtl;
        EXPECT_NE(bytes.find(std::string(name) + '\0'), std::string::npos) << name;
    }
    // The image that had to take another name is said once per run; a drive name is refused.
    for (const Result* r : {&obj, &tds}) {
        EXPECT_EQ(Count(r->err, "copied as \"other_2.png\""), 1) << r->err;
        EXPECT_EQ(Count(r->err, "copied as"), 1) << r->err;
        EXPECT_EQ(Count(r->err, "C:\\models\\kept.png\" " + std::string(kRefused)), 1) << r->err;
    }
}
