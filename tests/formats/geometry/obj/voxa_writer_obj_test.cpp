#include "formats/geometry/obj/voxa_writer_obj.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <memory>

#include "animation/fcurve.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_shape.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

using namespace objtest;

namespace {

struct WriterRig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaWriterObj writer{&manager};
    std::unique_ptr<VStreamOptions> options{writer.GetWriteOptions()};

    bool WriteTo(const std::string& path) {
        return writer.FileCreate(path.c_str()) && writer.Write(scene, options.get()) && writer.FileClose();
    }
};

TEST(obj_writer, NoMaterialsGiveNoMtllibAndVerticesNumberAcrossMeshes) {
    ScratchDir dir("w1");
    WriterRig rig;
    AddMesh(rig.manager, rig.scene, "first", Triangle(), {{0, 1, 2}});
    AddMesh(rig.manager, rig.scene, "second", Triangle(5), {{0, 1, 2}});
    ASSERT_TRUE(rig.WriteTo(dir / "plain.obj"));
    std::string text = ReadText(dir / "plain.obj");
    EXPECT_EQ(text.find("mtllib"), std::string::npos);
    EXPECT_EQ(text.find("usemtl"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "plain.mtl"));
    const std::string header = "# \n# Corvelund OBJ file\n# Created with Morvane OXA\n# \n";
    EXPECT_EQ(text.compare(0, header.size(), header), 0);
    EXPECT_EQ(Lines(text, "g "), (std::vector<std::string>{"g first", "g second"}));
    EXPECT_EQ(Lines(text, "f "), (std::vector<std::string>{"f 1 2 3", "f 4 5 6"}));
    EXPECT_EQ(Lines(text, "v ")[3], "v 5 0 0");
}

TEST(obj_writer, MaterialNamesRenamingAndMtlRecords) {
    ScratchDir dir("w2");
    WriterRig rig;
    VOxaMaterial* red = rig.manager.CreateMaterial("Red Wood Floor");
    red->SetDiffuse(VOxaColor(1.0, 0.5, 0.25, 1.0));
    red->SetShininess(0.5);
    red->SetOpacity(0.75);
    voxa_obj::KeepTransparency(red, "0.3", 0.6);  // read beside "d 0.6": the opacity changed since
    VOxaMesh* a = AddMesh(rig.manager, rig.scene, "a", Triangle(), {{0, 1, 2}});
    a->AddMaterial(red, 0);
    a->InitMaterialIndices(4);
    VOxaMesh* b = AddMesh(rig.manager, rig.scene, "b", Triangle(), {{0, 1, 2}});
    b->AddMaterial(rig.manager.CreateMaterial("default"), 0);
    b->InitMaterialIndices(4);
    AddMesh(rig.manager, rig.scene, "c", Triangle(), {{0, 1, 2}});  // no material: the default one
    ASSERT_TRUE(rig.WriteTo(dir / "Scene.OBJ"));
    std::string text = ReadText(dir / "Scene.OBJ");
    EXPECT_EQ(Lines(text, "mtllib"), std::vector<std::string>{"mtllib Scene.mtl"});
    // "default" is recorded first, so the scene's material and the default one are both numbered.
    EXPECT_EQ(Lines(text, "usemtl"),
              (std::vector<std::string>{"usemtl Red_Wood_Floor", "usemtl default1", "usemtl default2"}));
    std::string mtl = ReadText(dir / "Scene.mtl");
    EXPECT_FALSE(fs::exists(dir / "scene.mtl"));
    EXPECT_NE(mtl.find("# Corvelund material file\n"), std::string::npos);
    EXPECT_NE(mtl.find("\nnewmtl Red_Wood_Floor\nKa "), std::string::npos);
    EXPECT_NE(mtl.find("Kd 1 0.5 0.25\n"), std::string::npos);
    // "d": opacity; "Tr" stated anew from it, with a warning.
    EXPECT_NE(mtl.find("illum 2\nNs 50\nd 0.75\nTr 0.25\n"), std::string::npos) << mtl;
    EXPECT_NE(rig.writer.GetMessageText().Find("\"Tr 0.3\""), -1) << rig.writer.GetMessageText().Buffer();
    EXPECT_FALSE(rig.manager.GetMaterial("default", 1));  // the writer's own default is gone
}

TEST(obj_writer, OneMaterialByPolygonSwitchesPerPolygon) {
    ScratchDir dir("w2b");
    WriterRig rig;
    // One material mapped by polygon: the first polygon has none, so its face comes before any
    // "usemtl"; the material is selected at the polygon that names it.
    VOxaMesh* mesh = AddMesh(rig.manager, rig.scene, "m", Triangle(), {});
    mesh->AddMaterial(rig.manager.CreateMaterial("Mat"), 0);
    mesh->InitMaterialIndices(eBY_POLYGON);
    for (int material : {-1, 0, 0}) {
        mesh->BeginPolygon(material, -1, -1);
        for (int v = 0; v < 3; ++v)
            mesh->AddPolygonVertex(v, -1);
        mesh->EndPolygon();
    }
    ASSERT_TRUE(rig.WriteTo(dir / "bypoly.obj"));
    std::string text = ReadText(dir / "bypoly.obj");
    const size_t use = text.find("usemtl Mat\n");
    ASSERT_NE(use, std::string::npos);
    EXPECT_EQ(text.find("usemtl", use + 1), std::string::npos);  // once: the second polygon keeps it
    EXPECT_LT(text.find("f 1 2 3\n"), use);
    EXPECT_EQ(Lines(text.substr(use), "f ").size(), 2u);
}

// The MTL is named after the OBJ as written: "Model.obj" and a later "model.obj" beside it keep
// materials of their own.
TEST(obj_writer, MaterialPathKeepsDirectoryAndFindsObjInAnyCase) {
    EXPECT_STREQ(VOxaWriterObj::MakeMaterialPath("C:\\Data\\Scene.OBJ").Buffer(), "C:\\Data\\Scene.mtl");
    EXPECT_STREQ(VOxaWriterObj::MakeMaterialPath("/Out/Dir.obj/Model.Obj").Buffer(),
                 "/Out/Dir.obj/Model.mtl");
    EXPECT_STREQ(VOxaWriterObj::MakeMaterialPath("/out/Model.txt").Buffer(), "/out/Model.txt.mtl");
    // The name after "mtllib" is one word: blanks in the file name become '_', the folder stays.
    EXPECT_STREQ(VOxaWriterObj::MakeMaterialPath("/my dir/My Scene.obj").Buffer(), "/my dir/My_Scene.mtl");
}

TEST(obj_writer, SameMaterialWithTwoTexturesAndTextureCopy) {
    ScratchDir dir("w3");
    ScratchDir src("w3src");
    WriteText(src / "wood.png", std::string(3000, 'w'));
    WriteText(dir / "stone.png", "already here");
    WriterRig rig;
    VOxaMaterial* mat = rig.manager.CreateMaterial("Mat");
    VOxaTexture* wood = rig.manager.CreateTexture("wood");
    wood->SetFileName("wood.png");
    wood->SetSourceFolder(src.path.c_str());  // as a reader would set it
    VOxaTexture* stone = rig.manager.CreateTexture("stone");
    stone->SetFileName((src / "stone.png").c_str());  // absent at the source, present at the target
    VOxaTexture* missing = rig.manager.CreateTexture("missing");
    missing->SetFileName((src / "missing.png").c_str());
    VOxaTexture* textures[] = {wood, stone, missing};
    for (VOxaTexture* texture : textures) {
        VOxaMesh* mesh =
            AddMesh(rig.manager, rig.scene, texture->GetNameWithoutPrefix(), Triangle(), {{0, 1, 2}});
        mesh->AddMaterial(mat, 0);
        mesh->InitMaterialIndices(4);
        mesh->AddTexture(texture, 0);
        mesh->InitTextureIndices(4);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "tex.obj"));
    EXPECT_EQ(Lines(ReadText(dir / "tex.obj"), "usemtl"),
              (std::vector<std::string>{"usemtl Mat", "usemtl Mat1", "usemtl Mat2"}));
    std::string mtl = ReadText(dir / "tex.mtl");
    EXPECT_EQ(Lines(mtl, "map_Kd"),
              (std::vector<std::string>{"map_Kd wood.png", "map_Kd stone.png", "map_Kd missing.png"}));
    EXPECT_EQ(ReadText(dir / "wood.png"), std::string(3000, 'w'));
    EXPECT_EQ(ReadText(dir / "stone.png"), "already here");
    EXPECT_NE(rig.writer.GetMessageText().Find("Unable to locate texture file \""), -1);
}

TEST(obj_writer, CornerFormsAndUVNumberingByMode) {
    ScratchDir dir("w4");
    WriterRig rig;
    // Normals, no UVs: vertex//normal.
    VOxaMesh* n = AddMesh(rig.manager, rig.scene, "n", Triangle(), {{0, 1, 2}});
    n->InitNormals(3);
    for (int i = 0; i < 3; ++i)
        n->GetNormals()[i] = VgeTVector(0, 0, 2, 0);
    // UVs by control point: vertex/uv.
    VOxaMesh* cp = AddMesh(rig.manager, rig.scene, "cp", Triangle(2), {{0, 1, 2}});
    cp->InitTextureUVIndices(1);
    for (int i = 0; i < 3; ++i)
        cp->AddTextureUV(VgeVector2(i * 0.25, 1.0));
    // UVs by polygon vertex, two alike (one "vt" line), with an index one past the last UV: that
    // corner gets no UV part.
    VOxaMesh* pv = AddMesh(rig.manager, rig.scene, "pv", Triangle(4), {});
    pv->InitTextureUVIndices(2);
    pv->AddTextureUV(VgeVector2(0.5, 0.5));
    pv->AddTextureUV(VgeVector2(0.5, 0.5));
    pv->BeginPolygon(-1, -1, -1);
    pv->AddPolygonVertex(0, 0);
    pv->AddPolygonVertex(1, 1);
    pv->AddPolygonVertex(2, 2);
    // Neither: vertex alone.
    AddMesh(rig.manager, rig.scene, "bare", Triangle(6), {{2, 1, 0}});
    ASSERT_TRUE(rig.WriteTo(dir / "forms.obj"));
    std::string text = ReadText(dir / "forms.obj");
    EXPECT_EQ(Lines(text, "f "),
              (std::vector<std::string>{"f 1//1 2//1 3//1", "f 4/1 5/2 6/3", "f 7/4 8/4 9", "f 12 11 10"}));
    EXPECT_EQ(Lines(text, "vn "), std::vector<std::string>(1, "vn 0 0 1"));  // each distinct one once
    EXPECT_EQ(Lines(text, "vt ")[3], "vt 0.5 0.5");
    EXPECT_EQ(rig.writer.GetNextUVIndex(), 5);
}

TEST(obj_writer, OneSwappedTextureForAllAndMaterialsByControlPoint) {
    ScratchDir dir("w5b");
    WriterRig rig;
    // One texture for the whole mesh, with u and v swapped: every UV line is swapped.
    VOxaTexture* swapped = rig.manager.CreateTexture("swapped");
    swapped->SetFileName("swapped.png");
    swapped->SetUVSwap(true);
    VOxaMesh* all = AddMesh(rig.manager, rig.scene, "all", Triangle(), {{0, 1, 2}});
    all->AddTexture(swapped, 0);
    all->InitTextureIndices(4);
    all->InitTextureUVIndices(1);
    for (int i = 0; i < 3; ++i)
        all->AddTextureUV(VgeVector2(0.25 * i, 1.0));
    // Materials by control point: a polygon takes the material its first corner's point names.
    VOxaMesh* points = AddMesh(rig.manager, rig.scene, "points", Triangle(), {{0, 1, 2}, {1, 2, 0}});
    points->AddMaterial(rig.manager.CreateMaterial("first"), 0);
    points->AddMaterial(rig.manager.CreateMaterial("second"), 0);
    points->InitMaterialIndices(1);
    ASSERT_TRUE(rig.WriteTo(dir / "mapped.obj"));
    const std::string text = ReadText(dir / "mapped.obj");
    EXPECT_EQ(Lines(text, "vt "), (std::vector<std::string>{"vt 1 0", "vt 1 0.25", "vt 1 0.5"}));
    EXPECT_EQ(Lines(text, "usemtl"),
              (std::vector<std::string>{"usemtl default1", "usemtl first", "usemtl second"}));
}

TEST(obj_writer, TexturesByPolygonNumberUVsPerCornerAndSwap) {
    ScratchDir dir("w5");
    WriterRig rig;
    VOxaTexture* plain = rig.manager.CreateTexture("plain");
    plain->SetFileName("plain.png");
    VOxaTexture* swapped = rig.manager.CreateTexture("swapped");
    swapped->SetFileName("swapped.png");
    swapped->SetUVSwap(true);
    VOxaMesh* mesh = AddMesh(rig.manager, rig.scene, "m", Triangle(), {});
    mesh->AddTexture(plain, 0);
    mesh->AddTexture(swapped, 0);
    mesh->InitTextureIndices(3);
    mesh->InitTextureUVIndices(1);
    mesh->AddTextureUV(VgeVector2(0.1, 0.2));
    mesh->AddTextureUV(VgeVector2(0.3, 0.4));
    mesh->AddTextureUV(VgeVector2(0.5, 0.6));
    for (int t = 0; t < 2; ++t) {
        mesh->BeginPolygon(-1, t, -1);
        for (int v = 0; v < 3; ++v)
            mesh->AddPolygonVertex(v, -1);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "bypoly.obj"));
    std::string text = ReadText(dir / "bypoly.obj");
    std::vector<std::string> vt = Lines(text, "vt ");
    ASSERT_EQ(vt.size(), 6u);
    EXPECT_EQ(vt[0], "vt 0.1 0.2");
    EXPECT_EQ(vt[3], "vt 0.2 0.1");  // the second polygon's texture swaps
    EXPECT_EQ(Lines(text, "f "), (std::vector<std::string>{"f 1/1 2/2 3/3", "f 1/4 2/5 3/6"}));
    // The default material carries each texture: two entries, switched per polygon.
    EXPECT_EQ(Lines(text, "usemtl"), (std::vector<std::string>{"usemtl default1", "usemtl default2"}));
}

TEST(obj_writer, NormalCounterStateAndErrors) {
    ScratchDir dir("w6");
    WriterRig rig;
    // A mesh without normals before one with normals: the later faces name their own "vn" lines.
    AddMesh(rig.manager, rig.scene, "plain", Triangle(), {{0, 1, 2}});
    VOxaMesh* n = AddMesh(rig.manager, rig.scene, "normals", Triangle(2), {{0, 1, 2}});
    n->InitNormals(3);
    for (int i = 0; i < 3; ++i)
        n->GetNormals()[i] = VgeTVector(0, 0, 1, 0);
    // Without FileCreate: error 1.
    EXPECT_FALSE(rig.writer.Write(rig.scene, rig.options.get()));
    EXPECT_EQ(rig.writer.GetError().GetLastErrorID(), VOxaWriter::eFILE_NOT_OPENED);
    EXPECT_FALSE(rig.writer.Write(rig.scene, nullptr));
    EXPECT_EQ(rig.writer.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);

    ASSERT_TRUE(rig.writer.FileCreate((dir / "one.obj").c_str()));
    ASSERT_TRUE(rig.writer.Write(rig.scene, rig.options.get()));
    ASSERT_TRUE(rig.writer.Write(rig.scene, rig.options.get()));  // a second Write keeps counting
    EXPECT_EQ(rig.writer.GetNextVertexIndex(), 13);
    ASSERT_TRUE(rig.writer.FileClose());
    EXPECT_EQ(Lines(ReadText(dir / "one.obj"), "f "),
              (std::vector<std::string>{"f 1 2 3", "f 4//1 5//1 6//1", "f 7 8 9", "f 10//2 11//2 12//2"}));
    // A new file starts again from 1.
    ASSERT_TRUE(rig.writer.FileCreate((dir / "two.obj").c_str()));
    EXPECT_EQ(rig.writer.GetNextVertexIndex(), 1);
    EXPECT_EQ(rig.writer.GetNextNormalIndex(), 1);
    ASSERT_TRUE(rig.writer.Write(rig.scene, rig.options.get()));
    ASSERT_TRUE(rig.writer.FileClose());
    EXPECT_EQ(Lines(ReadText(dir / "two.obj"), "f ")[1], "f 4//1 5//1 6//1");
    EXPECT_FALSE(rig.writer.IsFileOpen());
}

TEST(obj_writer, AFailedWriteIsReportedAndLeavesNoFile) {
    ScratchDir dir("w8");
    WriterRig rig;
    std::vector<VgeTVector> points(5000, VgeTVector(1, 2, 3, 1));
    AddMesh(rig.manager, rig.scene, "big", points, {{0, 1, 2}});
    // Files of this process may not grow past 4 KB: the writes fail (EFBIG instead of a signal).
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    ASSERT_TRUE(rig.writer.FileCreate((dir / "full.obj").c_str()));
    const bool written = rig.writer.Write(rig.scene, rig.options.get());
    const bool closed = rig.writer.FileClose();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(rig.writer.GetError().GetLastErrorID(), VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(fs::exists(dir / "full.obj"));
}

TEST(obj_writer, PointsThatAreNotNumbersAreKeptOrRefused) {
    ScratchDir dir("nan");
    const double nan = std::nan(""), inf = HUGE_VAL;
    {
        // Unused points that are not numbers are written as such (an infinity's 0 * inf in x and z
        // among them: they are placed by the node's matrix). A later mesh names the
        // lines of the points it shares with an earlier one.
        WriterRig rig;
        AddMesh(rig.manager, rig.scene, "a",
                {VgeTVector(1, 0, 0, 1), VgeTVector(nan, nan, nan, 1), VgeTVector(2, 0, 0, 1),
                 VgeTVector(0, inf, 0, 1), VgeTVector(3, 0, 0, 1)},
                {{0, 2, 4}});
        AddMesh(rig.manager, rig.scene, "b", Triangle(2.0), {{2, 1, 0}});
        ASSERT_TRUE(rig.WriteTo(dir / "left.obj"));
        const std::string text = ReadText(dir / "left.obj");
        EXPECT_EQ(Lines(text, "v "), (std::vector<std::string>{"v 1 0 0", "v nan nan nan", "v 2 0 0",
                                                               "v nan inf nan", "v 3 0 0", "v 2 1 0"}));
        EXPECT_EQ(Lines(text, "f "), (std::vector<std::string>{"f 1 3 5", "f 6 5 3"}));
        EXPECT_NE(rig.writer.GetMessageText().Find("2 points no face uses are not numbers"), -1)
            << rig.writer.GetMessageText().Buffer();
    }
    {
        // A face on such a point cannot be written: the Write fails naming it, and leaves no file.
        WriterRig rig;
        AddMesh(rig.manager, rig.scene, "ok", Triangle(), {{0, 1, 2}});
        AddMesh(rig.manager, rig.scene, "broken",
                {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(nan, 1, 0, 1)}, {{0, 1, 2}});
        EXPECT_FALSE(rig.WriteTo(dir / "used.obj"));
        const std::string error = rig.writer.GetError().GetLastErrorString().Buffer();
        EXPECT_NE(error.find("\"broken\""), std::string::npos) << error;
        EXPECT_NE(error.find("control point 2"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(dir / "used.obj"));
        EXPECT_FALSE(fs::exists(dir / "used.mtl"));
    }
}

TEST(obj_writer, NamesBecomeOneWordOnOneLineAndStayDistinct) {
    ScratchDir dir("names");
    WriterRig rig;
    // Node names: a line break that would add a "v" line, blanks, and clashes after the change
    // or in case only (readers merge such groups).
    // C1 controls and marks that turn the text around are no part of a name either.
    // Shift-JIS bytes (of a 3DS file) are kept: "\xC2\x82" is no C1 control there.
    const char* nodes[] = {"C\nv ",
                           "my node",
                           "my_node",
                           "Box",
                           "BOX",
                           "n\xC2\x85"
                           "e\xE2\x80\xAE"
                           "l",
                           "\x95\xC2\x82\xB6 x"};
    const char* materials[] = {"a b\tc",
                               "a_b_c",
                               "x\ry",
                               "red mat one",
                               "red mat two",
                               "m\xC2\x9F"
                               "z",
                               "\x82\xC2\x82\xAB"};
    for (int i = 0; i < 7; ++i) {
        VOxaMesh* mesh = AddMesh(rig.manager, rig.scene, nodes[i], Triangle(2 * i), {{0, 1, 2}});
        mesh->AddMaterial(rig.manager.CreateMaterial(materials[i]), 0);
        mesh->InitMaterialIndices(4);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "names.obj"));
    const std::string text = ReadText(dir / "names.obj");
    EXPECT_EQ(Lines(text, "g "), (std::vector<std::string>{"g C_v_", "g my_node", "g my_node1", "g Box",
                                                           "g BOX1", "g n_e_l", "g \x95\xC2\x82\xB6_x"}));
    EXPECT_EQ(Lines(text, "v ").size(), 21u);
    EXPECT_EQ(Lines(text, "usemtl "),
              (std::vector<std::string>{"usemtl a_b_c", "usemtl a_b_c1", "usemtl x_y", "usemtl red_mat_one",
                                        "usemtl red_mat_two", "usemtl m_z", "usemtl \x82\xC2\x82\xAB"}));
    EXPECT_EQ(Lines(ReadText(dir / "names.mtl"), "newmtl ").size(), 7u);

    // File names stay on their line too: a texture's after "map_Kd", the library's after "mtllib".
    WriterRig textured;
    VOxaMesh* mesh = AddMesh(textured.manager, textured.scene, "t", Triangle(), {{0, 1, 2}});
    VOxaTexture* texture = textured.manager.CreateTexture("odd");
    texture->SetFileName("tex\nNs 9.png");
    mesh->AddTexture(texture, 0);
    mesh->InitTextureIndices(4);
    ASSERT_TRUE(textured.WriteTo(dir / "odd.obj"));
    EXPECT_EQ(Lines(ReadText(dir / "odd.mtl"), "map_Kd"), std::vector<std::string>{"map_Kd tex_Ns 9.png"});
    EXPECT_TRUE(Lines(ReadText(dir / "odd.mtl"), "Ns 9").empty());
    EXPECT_STREQ(VOxaWriterObj::MakeMaterialPath("/out/A\nb.obj").Buffer(), "/out/A_b.mtl");
}

TEST(obj_writer, WorldSpaceAndDeformedMeshWithoutNormals) {
    ScratchDir dir("w7");
    WriterRig rig;
    VOxaNode* node = nullptr;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.scene, "moved", Triangle(), {{0, 1, 2}}, &node);
    node->SetLclTranslation(VgeTVector(0, 0, 10, 0));
    VOxaShape* shape = rig.manager.CreateShape();
    shape->InitControlPoints(3);
    for (int i = 0; i < 3; ++i)
        shape->GetControlPoints()[i] = mesh->GetControlPoints()[i] + VgeTVector(0, 2, 0, 0);
    mesh->SetDefaultShapeChannelValue(mesh->AddShape(shape, "up"), 0.5);
    const VgeTVector first = mesh->GetControlPoints()[0];
    ASSERT_TRUE(rig.WriteTo(dir / "deformed.obj"));
    std::string text = ReadText(dir / "deformed.obj");
    EXPECT_EQ(Lines(text, "v ")[0], "v 0 1 10");
    EXPECT_TRUE(Lines(text, "vn").empty());  // deformed without normals: carries none
    EXPECT_EQ(Lines(text, "f ")[0], "f 1 2 3");
    // The deformation works on a copy: the scene's points stay, and a second write is the same.
    EXPECT_EQ(mesh->GetControlPoints()[0][1], first[1]);
    ASSERT_TRUE(rig.WriteTo(dir / "again.obj"));
    EXPECT_EQ(ReadText(dir / "again.obj"), text);
    // A triangulated copy is deformed by the weights of the node's own mesh.
    static_cast<VStreamOptionsObj*>(rig.options.get())
        ->SetOptionValue(VStreamOptionsObj::eFORCE_TRIANGULATION, 1);
    ASSERT_TRUE(rig.WriteTo(dir / "copy.obj"));
    EXPECT_EQ(Lines(ReadText(dir / "copy.obj"), "v ")[0], "v 0 1 10");

    // A node that mirrors: the corners go the other way round, so the face faces its normal.
    WriterRig mirror;
    VOxaNode* flipped = nullptr;
    VOxaMesh* turned = AddMesh(mirror.manager, mirror.scene, "flipped", Triangle(), {{0, 1, 2}}, &flipped);
    flipped->SetLclScaling(VgeTVector(-1, 1, 1, 0));
    turned->InitNormals(3);
    for (int i = 0; i < 3; ++i)
        turned->GetNormals()[i] = VgeTVector(0, 0, 1, 0);
    ASSERT_TRUE(mirror.WriteTo(dir / "mirrored.obj"));
    EXPECT_EQ(Lines(ReadText(dir / "mirrored.obj"), "f "), std::vector<std::string>{"f 3//1 2//1 1//1"});
    EXPECT_EQ(Lines(ReadText(dir / "mirrored.obj"), "vn "), std::vector<std::string>{"vn 0 0 1"});
}

TEST(obj_writer, MeshesArePlacedWhereTheTakePlaysThemAtItsStart) {
    ScratchDir dir("start");
    WriterRig rig;
    VOxaNode* node = nullptr;
    AddMesh(rig.manager, rig.scene, "turned", Triangle(), {{0, 1, 2}}, &node);
    VOxaNode* still = nullptr;
    AddMesh(rig.manager, rig.scene, "still", Triangle(), {{0, 1, 2}}, &still);
    node->SetLclTranslation(VgeTVector(0, 0, 5, 0));  // not animated: the default counts
    still->SetLclRotation(VgeTVector(0, 90, 0, 0));
    ASSERT_TRUE(rig.scene->CreateTake("turn"));
    ASSERT_TRUE(rig.scene->SetCurrentTake("turn"));
    // The rotation track starts at frame 10 (90 degrees about Y) and ends at frame 20 (180).
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    const VTime frame = VTime::GetOneFrameValue(6);
    for (auto [at, angle] : {std::pair<int, float>{10, 90.0f}, {20, 180.0f}}) {
        VFCurveKey key;
        key.Set(frame * at, angle, VFCurveKey::eInterpolationLinear);
        take->GetEulerRotationY()->KeyAdd(frame * at, key);
    }
    auto span = [&](int first) {
        VOxaTakeInfo info;
        info.mName = "turn";
        info.mLocalTimeSpan.Set(frame * first, frame * 20);
        info.mReferenceTimeSpan = info.mLocalTimeSpan;
        ASSERT_TRUE(rig.scene->SetTakeInfo(info));
    };
    // From frame 0 the take holds the first key: +X turned 90 degrees about Y is -Z, then moved
    // by 5 along Z.
    span(0);
    ASSERT_TRUE(rig.WriteTo(dir / "start.obj"));
    std::vector<std::string> v = Lines(ReadText(dir / "start.obj"), "v ");
    ASSERT_EQ(v.size(), 6u);
    ExpectNumbers(v[1], {0, 0, 4});
    ExpectNumbers(v[2], {0, 1, 5});
    ExpectNumbers(v[4], {0, 0, -1});  // a node the take leaves alone: its defaults
    // A take that starts at frame 15 plays it halfway, at 135 degrees.
    span(15);
    ASSERT_TRUE(rig.WriteTo(dir / "half.obj"));
    v = Lines(ReadText(dir / "half.obj"), "v ");
    ASSERT_EQ(v.size(), 6u);
    ExpectNumbers(v[1], {-std::sqrt(0.5), 0, 5 - std::sqrt(0.5)});
}

TEST(obj_writer, ForcedTriangulationSplitsQuadsOnlyWhenSet) {
    ScratchDir dir("tri");
    for (int force : {0, 1, 2}) {
        WriterRig rig;
        AddMesh(
            rig.manager, rig.scene, "quad",
            {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(1, 1, 0, 1), VgeTVector(0, 1, 0, 1)},
            {{0, 1, 2, 3}});
        static_cast<VStreamOptionsObj*>(rig.options.get())
            ->SetOptionValue(VStreamOptionsObj::eFORCE_TRIANGULATION, force);
        VOxaNode* node = rig.scene->GetRootNode()->GetChild(0);
        VOxaMesh* mesh = node->GetMesh();
        const std::string path = dir / ("quad" + std::to_string(force) + ".obj");
        ASSERT_TRUE(rig.WriteTo(path));
        // Only the value 1 counts as set.
        EXPECT_EQ(Lines(ReadText(path), "f ").size(), force == 1 ? 2u : 1u) << force;
        // A triangulated copy is written: the scene keeps its quad.
        EXPECT_EQ(node->GetMesh(), mesh);
        EXPECT_EQ(mesh->GetPolygonSize(0), 4);
    }
}

TEST(obj_writer, FormatTableHasTheObjRows) {
    int reader = VOxaFindReaderFormat("OBJ");
    int writer = VOxaFindWriterFormat(".obj");
    ASSERT_GE(reader, 0);
    ASSERT_GE(writer, 0);
    VOxaSdkManager manager;
    std::unique_ptr<VOxaWriter> made(VOxaGetWriterFormat(writer)->mCreate(&manager));
    EXPECT_NE(dynamic_cast<VOxaWriterObj*>(made.get()), nullptr);
}

}  // namespace

TEST(obj_writer, AFaceWithAreaNeverGetsAZeroNormal) {
    // Per-point normals summed over a face and its back (one smoothing group) are zero; a
    // polygon vertex normal of nothing is zero too. Each face then names its own normal.
    ScratchDir dir("zero_normals");
    WriterRig rig;
    const std::vector<VgeTVector> points = {VgeTVector(0, 0, 0, 1), VgeTVector(2, 0, 0, 1),
                                            VgeTVector(0, 0, 3, 1), VgeTVector(5, 5, 5, 1)};
    VOxaMesh* sheet = AddMesh(rig.manager, rig.scene, "sheet", points, {{0, 1, 2}, {0, 2, 1}, {3, 3, 3}});
    sheet->InitNormals(4);
    sheet->GetNormals()[3] = VgeTVector(0, 1, 0, 0);  // a good normal stays
    ASSERT_TRUE(rig.WriteTo(dir / "zero.obj"));
    const std::string text = ReadText(dir / "zero.obj");
    std::vector<std::vector<double>> vn;
    for (const std::string& line : Lines(text, "vn ")) {
        std::istringstream in(line.substr(3));
        double x, y, z;
        in >> x >> y >> z;
        vn.push_back({x, y, z});
    }
    // The face normals from the points: (p1 - p0) x (p2 - p0), made unit length.
    const std::vector<std::vector<double>> expected = {{0, -1, 0}, {0, 1, 0}};
    const std::vector<std::string> faces = Lines(text, "f ");
    ASSERT_EQ(faces.size(), 3u);
    for (size_t f = 0; f < 2; ++f) {
        std::istringstream in(faces[f].substr(2));
        std::string corner;
        int corners = 0;
        while (in >> corner) {
            const int normal = std::stoi(corner.substr(corner.rfind('/') + 1));
            ASSERT_TRUE(normal >= 1 && normal <= (int)vn.size()) << faces[f];
            EXPECT_EQ(vn[(size_t)normal - 1], expected[f]) << faces[f];
            ++corners;
        }
        EXPECT_EQ(corners, 3);
    }
    // A face without area keeps the normal of its point, the only one written of the four.
    EXPECT_EQ(faces[2], "f 4//1 4//1 4//1");
    EXPECT_EQ(vn[0], (std::vector<double>{0, 1, 0}));
    for (const std::vector<double>& v : vn)
        EXPECT_GT(v[0] * v[0] + v[1] * v[1] + v[2] * v[2], 0.5);
}

TEST(obj_writer, NormalsByCornerWriteEachDistinctNormalOnce) {
    // A flat-shaded cube keeps its normals by corner (24 corners, 8 points): its six face
    // normals are each written once, and the corners of a face all name their face's normal. One
    // corner of the top face leans: a seventh normal. A second mesh whose corners share the top
    // face's normal names that line.
    ScratchDir dir("distinct_normals");
    WriterRig rig;
    const std::vector<VgeTVector> points = {
        VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(1, 1, 0, 1), VgeTVector(0, 1, 0, 1),
        VgeTVector(0, 0, 1, 1), VgeTVector(1, 0, 1, 1), VgeTVector(1, 1, 1, 1), VgeTVector(0, 1, 1, 1)};
    const std::vector<std::vector<int>> faces = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                                 {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};
    const std::vector<std::vector<double>> faceNormal = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0},
                                                         {0, 1, 0},  {1, 0, 0}, {-1, 0, 0}};
    VOxaMesh* cube = AddMesh(rig.manager, rig.scene, "cube", points, faces);
    cube->InitNormals(24);
    ASSERT_EQ(cube->GetLayer(0)->GetNormals()->GetMappingMode(), eBY_POLYGON_VERTEX);
    for (int f = 0; f < 6; ++f)
        for (int k = 0; k < 4; ++k)
            cube->GetNormals()[f * 4 + k] =
                VgeTVector(faceNormal[(size_t)f][0], faceNormal[(size_t)f][1], faceNormal[(size_t)f][2], 0);
    cube->GetNormals()[4 + 2] = VgeTVector(0, 3, 4, 0);  // the top face's third corner: (0, 0.6, 0.8)
    VOxaMesh* other = AddMesh(rig.manager, rig.scene, "other", Triangle(5), {{0, 1, 2}});
    other->InitNormals(4);  // a count other than the points': by corner, the fourth unused
    ASSERT_EQ(other->GetLayer(0)->GetNormals()->GetMappingMode(), eBY_POLYGON_VERTEX);
    for (int k = 0; k < 4; ++k)
        other->GetNormals()[k] = VgeTVector(0, 0, 2, 0);
    ASSERT_TRUE(rig.WriteTo(dir / "cube.obj"));
    const std::string text = ReadText(dir / "cube.obj");

    std::vector<std::vector<double>> vn;
    for (const std::string& line : Lines(text, "vn ")) {
        std::istringstream in(line.substr(3));
        double x, y, z;
        in >> x >> y >> z;
        vn.push_back({x, y, z});
    }
    ASSERT_EQ(vn.size(), 7u) << text;  // 6 faces + the leaning corner
    const std::vector<std::string> written = Lines(text, "f ");
    ASSERT_EQ(written.size(), 7u);
    for (size_t f = 0; f < written.size(); ++f) {
        std::istringstream in(written[f].substr(2));
        std::string corner;
        int k = 0;
        while (in >> corner) {
            const int normal = std::stoi(corner.substr(corner.rfind('/') + 1));
            ASSERT_TRUE(normal >= 1 && normal <= (int)vn.size()) << written[f];
            std::vector<double> expected = f < 6 ? faceNormal[f] : std::vector<double>{0, 0, 1};
            if (f == 1 && k == 2) expected = {0, 0.6, 0.8};
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(vn[(size_t)normal - 1][(size_t)c], expected[(size_t)c], 1e-12) << written[f];
            // The second mesh's normal is the cube's top face's.
            if (f == 6) EXPECT_EQ(normal, 2) << written[f];
            ++k;
        }
        EXPECT_EQ(k, f < 6 ? 4 : 3) << written[f];
    }
}
