#include "formats/geometry/obj/voxa_obj_mtllib.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "attributes/voxa_material.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;
using voxa_obj::MaterialLibraryFiles;

TEST(obj_mtllib, TheLibrariesAreTheLinesTheReaderReads) {
    ScratchDir dir("mtllib_lines");
    const std::string at = dir / "";
    WriteText(dir / "a.mtl", "newmtl a\n");
    WriteText(dir / "b.mtl", "newmtl b\n");
    auto files = [&](const std::string& text) {
        WriteText(dir / "m.obj", text);
        return MaterialLibraryFiles(dir / "m.obj");
    };
    using List = std::vector<std::string>;
    // After a byte-order mark; several names on a line; a name given twice is one file.
    EXPECT_EQ(files("\xEF\xBB\xBFmtllib a.mtl\n"), List{at + "a.mtl"});
    EXPECT_EQ(files("mtllib a.mtl b.mtl\nmtllib a.mtl\n"), (List{at + "a.mtl", at + "b.mtl"}));
    // A line continued with a backslash, blanks after it or not; lines that end in "\r" alone.
    EXPECT_EQ(files("mtllib a.mtl \\\n b.mtl\n"), (List{at + "a.mtl", at + "b.mtl"}));
    EXPECT_EQ(files("mtllib a.mtl\\\n\n"), List{at + "a.mtl"});
    // A backslash against the keyword makes another keyword.
    EXPECT_EQ(files("mtllib\\\na.mtl\n"), List{});
    EXPECT_EQ(files("v 0 0 0\rmtllib b.mtl\r"), List{at + "b.mtl"});
    EXPECT_EQ(files("  \t mtllib\tb.mtl  \n"), List{at + "b.mtl"});
    // Not a library line: another keyword, a comment, the body of a curve or surface.
    EXPECT_EQ(files("mtllibs a.mtl\n# mtllib a.mtl\nusemtl a.mtl\n"), List{});
    EXPECT_EQ(files("curv 0 1 1 2\nmtllib a.mtl\nend\nmtllib b.mtl\n"), List{at + "b.mtl"});
    // A name that is not beside the OBJ file is read from the working directory, as named.
    EXPECT_EQ(files("mtllib elsewhere.mtl\n"), List{"elsewhere.mtl"});
    // UTF-16 text is not read at all; nor is a missing file.
    EXPECT_EQ(files(std::string("\xFF\xFEm\0t\0", 6)), List{});
    EXPECT_EQ(MaterialLibraryFiles(dir / "none.obj"), List{});
}

TEST(obj_mtllib, TheReaderLoadsTheLibrariesListed) {
    ScratchDir dir("mtllib_reader");
    WriteText(dir / "one.mtl", "newmtl red\nKd 1 0 0\n");
    WriteText(dir / "two.mtl", "newmtl blue\nKd 0 0 1\n");
    const std::string faces = "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\nusemtl blue\nf 1 2 3\n";
    for (const std::string& head : {std::string("\xEF\xBB\xBFmtllib one.mtl two.mtl\n"),
                                    std::string("mtllib one.mtl\\\n  two.mtl\n")}) {
        WriteText(dir / "m.obj", head + faces);
        EXPECT_EQ(MaterialLibraryFiles(dir / "m.obj"),
                  (std::vector<std::string>{dir / "one.mtl", dir / "two.mtl"}));
        VOxaSdkManager manager;
        VOxaScene* scene = manager.CreateScene();
        VOxaReaderObj reader(&manager);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        ASSERT_TRUE(reader.FileOpen((dir / "m.obj").c_str()));
        ASSERT_TRUE(reader.Read(scene, options.get()));
        ASSERT_NE(manager.GetMaterial("red", 0), nullptr);
        ASSERT_NE(manager.GetMaterial("blue", 0), nullptr);
        EXPECT_DOUBLE_EQ(manager.GetMaterial("red", 0)->GetDiffuse().mRed, 1.0);
        EXPECT_DOUBLE_EQ(manager.GetMaterial("blue", 0)->GetDiffuse().mBlue, 1.0);
    }
}

TEST(obj_mtllib, ANameWithBlanksIsWholeWhenThatFileExists) {
    ScratchDir dir("mtllib_blanks");
    WriteText(dir / "my lib.mtl", "newmtl red\nKd 1 0 0\n");
    WriteText(dir / "a.mtl", "newmtl a\n");
    WriteText(dir / "b.mtl", "newmtl b\n");
    auto files = [&](const std::string& text) {
        WriteText(dir / "m.obj", text);
        return MaterialLibraryFiles(dir / "m.obj");
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(files("mtllib my lib.mtl\n"), List{dir / "my lib.mtl"});
    EXPECT_EQ(files("mtllib   my lib.mtl  \n"), List{dir / "my lib.mtl"});
    // Blanks that name no file: the words are the libraries, as they always were.
    EXPECT_EQ(files("mtllib a.mtl b.mtl\n"), (List{dir / "a.mtl", dir / "b.mtl"}));
    EXPECT_EQ(files("mtllib my  lib.mtl\n"), (List{"my", "lib.mtl"}));

    // The reader loads the whole name and warns of nothing.
    WriteText(dir / "m.obj", "mtllib my lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n");
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderObj reader(&manager);
    std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
    ASSERT_TRUE(reader.FileOpen((dir / "m.obj").c_str()));
    ASSERT_TRUE(reader.Read(scene, options.get()));
    ASSERT_NE(manager.GetMaterial("red", 0), nullptr);
    EXPECT_DOUBLE_EQ(manager.GetMaterial("red", 0)->GetDiffuse().mRed, 1.0);
    const std::string messages = reader.GetMessageText().Buffer();
    EXPECT_EQ(messages.find("Unable to load material library"), std::string::npos) << messages;
}
