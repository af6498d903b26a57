#include "formats/geometry/3ds/voxa_writer_3ds.h"

#include <gtest/gtest.h>

#include <cmath>

#include "attributes/voxa_camera.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_marker.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "formats/geometry/voxa_material_extras.h"
#include "oxa_codec/voxa_io_formats.h"
#include "scene/voxa_take_info.h"
#include "tests/formats/geometry/3ds/voxa_writer_3ds_test_util.h"

using namespace writer3ds;

namespace {

VOxaWriter3DS::Channel Constant(double v) {
    VOxaWriter3DS::Channel c;
    c.mValue = v;
    return c;
}

void ExpectVec(const VgeTVector& v, double x, double y, double z, double tol = 1e-9) {
    EXPECT_NEAR(v[0], x, tol);
    EXPECT_NEAR(v[1], y, tol);
    EXPECT_NEAR(v[2], z, tol);
}

// A textured quad mesh: texture t of the layer, UVs by polygon vertex.
VOxaTexture* AddTexture(VOxaSdkManager& manager, VOxaMesh* mesh, const char* file) {
    VOxaTexture* texture = manager.CreateTexture(file);
    texture->SetFileName(file);
    mesh->AddTexture(texture, 0);
    return texture;
}

}  // namespace

TEST(writer3ds_names, RenamingCutsNumbersAndKeepsEveryNameShortAndUnique) {
    ScratchDir dir("names");
    Rig rig;
    VOxaNode* a = AddNode(rig.manager, rig.Root(), "LongerNameA");
    // A mesh is written under its node's name: the warning says it is renamed too.
    VOxaNode* b = nullptr;
    AddMesh(rig.manager, rig.Root(), "LongerNameB", {{0, 0, 0, 1}, {1, 0, 0, 1}, {0, 1, 0, 1}}, {{0, 1, 2}},
            &b);
    // Names that fit stay, also one that a cut name would have taken.
    VOxaNode* fits = AddNode(rig.manager, rig.Root(), "GeoSphere0");
    VOxaNode* taken = AddNode(rig.manager, rig.Root(), "LongerNa_2");
    // A thousand clashes: the counter would not fit behind seven characters.
    for (int i = 0; i < 1002; ++i)
        AddNode(rig.manager, rig.Root(), "Crowded");
    VOxaNode* colons = AddNode(rig.manager, rig.Root(), "a::b");
    // Controls, C1 controls and marks that turn the text around never reach a name.
    VOxaNode* controls = AddNode(rig.manager, rig.Root(),
                                 "c\t\xC2\x85"
                                 "d\xE2\x80\xAE");
    VOxaMaterial* m1 = rig.manager.CreateMaterial("VeryLongMaterialNameOne");
    VOxaMaterial* m2 = rig.manager.CreateMaterial("VeryLongMaterialNameTwo");
    VOxaMaterial* m3 = rig.manager.CreateMaterial("m\xC2\x9F\n");
    rig.manager.CreateMaterial("SixteenCharsName");
    // Shift-JIS names are cut between characters, a byte pair that reads as a UTF-8 control
    // among them kept.
    AddNode(rig.manager, rig.Root(),
            "\x83|\x83\x8a\x83S\x83\x93\x83\x81\x83"
            "b\x83V\x83\x85");
    AddNode(rig.manager, rig.Root(), "\x95\xc2\x82\xb6\x82\xbd\x90\xfc\x8c`\x8f\xf3");
    const std::string colonsName = colons->GetName();
    ASSERT_TRUE(rig.WriteTo(dir / "n.3ds"));
    // The names are the file's: the caller's scene keeps its own.
    EXPECT_STREQ(controls->GetNameWithoutPrefix(),
                 "c\t\xC2\x85"
                 "d\xE2\x80\xAE");
    EXPECT_STREQ(m3->GetNameWithoutPrefix(), "m\xC2\x9F\n");
    EXPECT_STREQ(a->GetNameWithoutPrefix(), "LongerNameA");
    EXPECT_STREQ(b->GetNameWithoutPrefix(), "LongerNameB");
    EXPECT_STREQ(m1->GetNameWithoutPrefix(), "VeryLongMaterialNameOne");
    EXPECT_EQ(colons->GetName(), colonsName);
    // One warning per changed name, naming both forms; none for names that stay.
    const std::string messages = rig.writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("\"LongerNameA\" is written as \"LongerName\": 3DS"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("\"LongerNameB\" is written as \"LongerNa_3\", its mesh too: 3DS"),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("GeoSphere0"), std::string::npos);
    EXPECT_EQ(messages.find("\"LongerNa_2\" is written"), std::string::npos);
    // Material names hold 16 characters: cut there, numbered on a clash, and warned.
    EXPECT_NE(messages.find("\"VeryLongMaterialNameTwo\" is written as \"VeryLongMateria1\""),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("SixteenCharsName"), std::string::npos) << messages;
    EXPECT_NE(messages.find("is written as \"\\x83|\\x83\\x8a\\x83S\\x83\\x93\\x83\\x81\""),
              std::string::npos)
        << messages;
    EXPECT_NE(messages.find("is written as \"\\x95\\xc2\\x82\\xb6\\x82\\xbd\\x90\\xfc\\x8c`\""),
              std::string::npos)
        << messages;
    // A second write warns again and gives the same file: the first left nothing behind in the scene.
    ASSERT_TRUE(rig.WriteTo(dir / "n2.3ds"));
    EXPECT_NE(std::string(rig.writer.GetMessageText().Buffer())
                  .rfind("\"LongerNameB\" is written as \"LongerNa_3\""),
              messages.find("\"LongerNameB\" is written as \"LongerNa_3\""));
    EXPECT_EQ(ReadBytes(dir / "n.3ds"), ReadBytes(dir / "n2.3ds"));
}

TEST(writer3ds_axes, PositionScalingAndRotationThroughTheQuaternion) {
    ExpectVec(VOxaWriter3DS::ConvertPosition(VgeTVector(1, 2, 3, 0)), 1, -3, 2);
    ExpectVec(VOxaWriter3DS::ConvertScaling(VgeTVector(1, 2, 3, 0)), 1, 3, 2);
    ExpectVec(VOxaWriter3DS::ConvertRotation(VgeTVector(0, 0, 0, 0)), 0, 0, 0);
    // Scene Y (up) is 3DS Z; scene Z is 3DS -Y.
    ExpectVec(VOxaWriter3DS::ConvertRotation(VgeTVector(0, 30, 0, 0)), 0, 0, 30, 1e-6);
    ExpectVec(VOxaWriter3DS::ConvertRotation(VgeTVector(0, 0, 30, 0)), 0, -30, 0, 1e-6);
    ExpectVec(VOxaWriter3DS::ConvertRotation(VgeTVector(40, 0, 0, 0)), 40, 0, 0, 1e-6);
    // A half turn takes the w = 0 branches.
    ExpectVec(VOxaWriter3DS::ConvertRotation(VgeTVector(180, 0, 0, 0)), 180, 0, 0, 1e-6);
}

TEST(writer3ds_tracks, RelativeRotationKeysScaleNearZeroAndClampedAcos) {
    Ftk::Track track;
    VOxaWriter3DS::Channel x = Constant(0), z = Constant(0);
    VFCurve* curve = VFCurve::Create();
    VFCurveKey key;
    key.Set(Frame30(0), 0.0f, VFCurveKey::eInterpolationLinear);
    curve->KeyAdd(Frame30(0), key);
    key.Set(Frame30(1), 90.0f, VFCurveKey::eInterpolationLinear);
    curve->KeyAdd(Frame30(1), key);
    key.Set(Frame30(2), 90.0f, VFCurveKey::eInterpolationLinear);
    curve->KeyAdd(Frame30(2), key);
    VOxaWriter3DS::Channel y;
    y.mCurve = curve;
    VOxaWriter3DS::SampleRotationTrack(track, x, y, z, {0, 3});
    ASSERT_EQ(track.mKeyCount, 3u);
    // At rest: angle 0 about (-1, 0, 0).
    EXPECT_EQ(track.mValues[0], 0.0f);
    EXPECT_EQ(track.mValues[1], -1.0f);
    // Key 1 turns 90 degrees about scene Y, which is 3DS Z; key 2 repeats the orientation.
    EXPECT_NEAR(track.mValues[4], -1.5707963, 1e-5);
    EXPECT_NEAR(track.mValues[5], 0.0, 1e-6);
    EXPECT_NEAR(track.mValues[6], 0.0, 1e-6);
    EXPECT_NEAR(track.mValues[7], 1.0, 1e-6);
    EXPECT_EQ(track.mValues[8], 0.0f);
    EXPECT_EQ(track.mValues[9], -1.0f);
    EXPECT_EQ(track.mKeys[1].mFrame, 1);
    EXPECT_EQ(track.mKeys[1].mSplineFlags, 7);
    delete curve;

    // NaN and huge angles never give NaN.
    VOxaWriter3DS::Channel bad = Constant(std::nan("")), huge = Constant(1e300);
    VOxaWriter3DS::SampleRotationTrack(track, bad, huge, z, {0, 2});
    for (float v : track.mValues)
        EXPECT_TRUE(std::isfinite(v));

    VOxaWriter3DS::Channel zero = Constant(0.0), small = Constant(5e-6), two = Constant(2),
                           three = Constant(3);
    // A scale of (nearly) nothing stays so.
    VOxaWriter3DS::SampleScaleTrack(track, zero, small, zero, {0, 1});
    EXPECT_EQ(track.mValues, (std::vector<float>{0, 0, 5e-6f}));
    VOxaWriter3DS::SampleScaleTrack(track, zero, two, three, {0, 1});
    EXPECT_EQ(track.mValues, (std::vector<float>{0, 3, 2}));
    // Constant channels: one key, however many frames.
    VOxaWriter3DS::SamplePositionTrack(track, zero, two, three, {0, 300});
    EXPECT_EQ(track.mKeyCount, 1u);
}

TEST(writer3ds_tracks, FramesFromTheKeyedSpanAtLeastOneAndCapped) {
    Rig rig;
    VOxaNode* node = AddNode(rig.manager, rig.Root(), "n");
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    auto frames = [&](bool animated) {
        const VOxaWriter3DS::Frames f = rig.writer.GetFrames(node, animated);
        return std::make_pair(f.first, f.count);
    };
    EXPECT_EQ(frames(true), std::make_pair(0, 1u));
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    VTime two;
    two.SetSecondDouble(2.0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), two, 1, 1, 1);
    EXPECT_EQ(frames(true), std::make_pair(0, 61u));
    EXPECT_EQ(frames(false), std::make_pair(0, 1u));
    // Within the take's span: frames 30 to 45 of the keys' 0 to 60; a span after the keys holds
    // one frame, its first.
    rig.writer.mSpanFirst = 30;
    rig.writer.mSpanLast = 45;
    EXPECT_EQ(frames(true), std::make_pair(30, 16u));
    rig.writer.mSpanFirst = 100;
    rig.writer.mSpanLast = 200;
    EXPECT_EQ(frames(true), std::make_pair(100, 1u));
    rig.writer.mSpanFirst = 0;
    rig.writer.mSpanLast = INT64_MAX;
    VTime far;
    far.SetSecondDouble(1e9);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), far, 1, 1, 1);
    // The whole span to the last frame a file numbers: the keys say it, no frame is cut.
    EXPECT_EQ(frames(true), std::make_pair(0, 2147483648u));
}

TEST(writer3ds_file, MeshFacesSmoothingVerticesAxesSettingsAndDummies) {
    ScratchDir dir("mesh");
    Rig rig;
    VOxaNode* hips = AddNode(rig.manager, rig.Root(), "Hips");
    VOxaNode* shape = nullptr;
    // A quadrilateral and a pentagon.
    VOxaMesh* mesh = AddMesh(
        rig.manager, hips, "Shape",
        {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(1, 1, 0, 1), VgeTVector(0, 1, 0, 1),
         VgeTVector(2, 0, 0, 1), VgeTVector(2, 1, 0, 1), VgeTVector(2, 2, 0, 1)},
        {{0, 1, 2, 3}, {1, 4, 5, 6, 2}}, &shape);
    // Every normal is (0, 0, 1): the two polygons meet along an edge with the same normals, so
    // they are one smooth surface.
    mesh->InitNormals();
    for (int i = 0; i < 7; ++i)
        mesh->GetNormals()[i] = VgeTVector(0, 0, 1, 0);
    shape->SetLclTranslation(VgeTVector(10, 20, 30, 1));
    shape->SetLclScaling(VgeTVector(2, 2, 2, 1));
    VOxaNode* ref = AddNode(rig.manager, rig.Root(), "Oxa_Root");
    ref->SetLclScaling(VgeTVector(2.54, 2.54, 2.54, 1));
    AddNode(rig.manager, ref, "Under");
    ASSERT_TRUE(rig.WriteTo(dir / "m.3ds"));

    Loaded file(dir / "m.3ds");
    ASSERT_TRUE(file.Ok());
    auto m = file.Mesh("Shape");
    ASSERT_TRUE(m);
    ASSERT_EQ(m->mFaceCount, 5);
    const int expected[5][3] = {{0, 1, 2}, {2, 3, 0}, {1, 4, 5}, {5, 6, 1}, {1, 6, 2}};
    for (int f = 0; f < 5; ++f) {
        EXPECT_EQ(m->mFaces[f].a, expected[f][0]) << f;
        EXPECT_EQ(m->mFaces[f].b, expected[f][1]) << f;
        EXPECT_EQ(m->mFaces[f].c, expected[f][2]) << f;
        EXPECT_EQ(m->mFaces[f].flags, 7);
    }
    ASSERT_EQ(m->mSmoothing.size(), 5u);
    for (int f = 0; f < 5; ++f)
        EXPECT_EQ(m->mSmoothing[f], 1u) << f;
    // Vertex 2 (1, 1, 0) scaled by 2 and moved by (10, 20, 30), then to Z up: (12, -30, 22).
    EXPECT_FLOAT_EQ(m->mVertices[2].x, 12.0f);
    EXPECT_FLOAT_EQ(m->mVertices[2].y, -30.0f);
    EXPECT_FLOAT_EQ(m->mVertices[2].z, 22.0f);
    EXPECT_FLOAT_EQ(m->mLocalAxes[0], 2.0f);
    EXPECT_FLOAT_EQ(m->mLocalAxes[9], 10.0f);
    EXPECT_FLOAT_EQ(m->mLocalAxes[10], -30.0f);
    EXPECT_FLOAT_EQ(m->mLocalAxes[11], 20.0f);
    // No UVs: no mapping coordinates.
    EXPECT_EQ(m->mMappingCount, 0);
    EXPECT_TRUE(m->mMapping.empty());
    EXPECT_EQ(m->mFlag4014, 1);

    Ftk::MeshSettings* settings = nullptr;
    Ftk::GetSettings(file.db, &settings);
    ASSERT_NE(settings, nullptr);
    EXPECT_FLOAT_EQ(settings->mMasterScale, 1.0f);  // 2.54 / 2.54 under rescale
    EXPECT_EQ(settings->mShadowMapSize, 500);
    EXPECT_FLOAT_EQ(settings->mRayTraceBias, 3.0f);
    Ftk::ReleaseSettings(&settings);

    // The null Hips is a dummy; the mesh names it as its parent; the reference root has none
    // and its child has an empty parent without "Create Reference Node".
    auto dummy = file.Motion("$$$DUMMY.Hips");
    ASSERT_TRUE(dummy);
    EXPECT_FLOAT_EQ(dummy->mBoundMax.x, 0.5f);
    auto shapeMotion = file.Motion("Shape");
    ASSERT_TRUE(shapeMotion);
    EXPECT_STREQ(shapeMotion->mParentName, "$$$DUMMY.Hips");
    EXPECT_EQ(shapeMotion->mPosition.mKeyCount, 1u);  // no animation: one key
    EXPECT_FALSE(file.Motion("$$$DUMMY.Oxa_Roo"));
    auto under = file.Motion("$$$DUMMY.Under");
    ASSERT_TRUE(under);
    EXPECT_STREQ(under->mParentName, "");
    EXPECT_FALSE(rig.writer.mAnimationExported);
    EXPECT_EQ(rig.writer.mAnimationStop, VTime::GetOneFrameValue(0) * 100);
}

TEST(writer3ds_file, AveragedNormalsGiveGroupOneAndShortPolygonsAreSkipped) {
    ScratchDir dir("bad");
    {
        // A polygon naming a point the mesh lacks cannot be written whole: the file is refused.
        Rig rig;
        AddMesh(rig.manager, rig.Root(), "Bad", Square(), {{0, 1, 2, 3}, {0, 1, 99}});
        EXPECT_FALSE(rig.WriteTo(dir / "refused.3ds"));
        EXPECT_NE(std::string(rig.writer.GetError().GetLastErrorString().Buffer()).find("control point 99"),
                  std::string::npos);
    }
    Rig rig;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "Bad", Square(), {{0, 1, 2, 3}, {0, 1}});
    mesh->InitNormals();
    for (int i = 0; i < 4; ++i)
        mesh->GetNormals()[i] = VgeTVector(0.5, 0, 0.8, 0);
    // A quadrangle with two corners at one point: the triangle of no area cut from it is in no
    // smoothing group, where a reader would smooth its made-up normal into its neighbour's.
    VOxaMesh* pinched = AddMesh(
        rig.manager, rig.Root(), "Pinched",
        {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(1, 1, 0, 1), VgeTVector(1, 1, 0, 1)},
        {{0, 1, 2, 3}});
    pinched->InitNormals();
    for (int i = 0; i < 4; ++i)
        pinched->GetNormals()[i] = VgeTVector(0, 0, 1, 0);
    AddMesh(rig.manager, rig.Root(), "Empty", {}, {});
    ASSERT_TRUE(rig.WriteTo(dir / "b.3ds"));
    Loaded file(dir / "b.3ds");
    ASSERT_TRUE(file.Ok());
    auto m = file.Mesh("Bad");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->mFaceCount, 2);
    EXPECT_EQ(m->mSmoothing[0], 1u);
    auto p = file.Mesh("Pinched");
    ASSERT_TRUE(p);
    ASSERT_EQ(p->mSmoothing.size(), 2u);
    for (int f = 0; f < 2; ++f) {
        const Ftk::Point3 &a = p->mVertices[p->mFaces[f].a], &b = p->mVertices[p->mFaces[f].b],
                          &c = p->mVertices[p->mFaces[f].c];
        const bool area = (b.x - a.x) * (c.z - a.z) != (b.z - a.z) * (c.x - a.x);  // in the y = 0 plane
        EXPECT_EQ(p->mSmoothing[f], area ? 1u : 0u) << f;
    }
    EXPECT_EQ(file.MeshNames(), (std::vector<std::string>{"Bad", "Pinched"}));
    EXPECT_EQ(rig.writer.mMeshCounter, 2);
}

TEST(writer3ds_file, MeshOverSixteenBitsKeepsThePointsItsFacesUse) {
    ScratchDir dir("big");
    Rig rig;
    std::vector<VgeTVector> points(70000, VgeTVector(0, 0, 0, 1));
    points[69999] = VgeTVector(4, 5, 6, 1);
    AddMesh(rig.manager, rig.Root(), "Huge", points, {{0, 1, 69999}});
    AddMesh(rig.manager, rig.Root(), "Small", Square(), {{0, 1, 2}});
    ASSERT_TRUE(rig.WriteTo(dir / "big.3ds"));
    Loaded file(dir / "big.3ds");
    EXPECT_EQ(file.MeshNames(), (std::vector<std::string>{"Huge", "Small"}));
    auto huge = file.Mesh("Huge");
    ASSERT_TRUE(huge);
    ASSERT_EQ(huge->mVertexCount, 3);
    EXPECT_FLOAT_EQ(huge->mVertices[2].y, -6.0f);
}

namespace {

// A chunk of a written file: its tag and the span of its contents (after the 6-byte header).
struct Chunk {
    uint16_t tag = 0;
    size_t begin = 0, end = 0;
};

uint32_t ReadLE(const std::string& bytes, size_t at, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | (uint8_t)bytes[at + (size_t)i];
    return v;
}

// The chunks that follow one another over [begin, end); empty when a length runs past the span.
std::vector<Chunk> Chunks(const std::string& bytes, size_t begin, size_t end) {
    std::vector<Chunk> out;
    while (begin + 6 <= end) {
        const uint32_t length = ReadLE(bytes, begin + 2, 4);
        if (length < 6 || length > end - begin) return {};
        out.push_back(Chunk{(uint16_t)ReadLE(bytes, begin, 2), begin + 6, begin + length});
        begin += length;
    }
    return out;
}

Chunk Child(const std::string& bytes, const Chunk& parent, uint16_t tag, size_t skip = 0) {
    for (const Chunk& c : Chunks(bytes, parent.begin + skip, parent.end))
        if (c.tag == tag) return c;
    return Chunk{};
}

}  // namespace

TEST(writer3ds_file, TriangleWithoutUVsWritesVertexFlagsButNoMappingCoordinates) {
    ScratchDir dir("tri");
    Rig rig;
    AddMesh(rig.manager, rig.Root(), "Tri",
            {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(0, 1, 0, 1)}, {{0, 1, 2}});
    ASSERT_TRUE(rig.WriteTo(dir / "tri.3ds"));
    const std::string bytes = ReadBytes(dir / "tri.3ds");
    // 584 bytes with a mapping chunk of 6 + 2 + 3 * 8 bytes.
    EXPECT_EQ(bytes.size(), 552u);

    const std::vector<Chunk> top = Chunks(bytes, 0, bytes.size());
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].tag, 0x4D4D);
    const Chunk editor = Child(bytes, top[0], 0x3D3D);
    ASSERT_EQ(editor.tag, 0x3D3D);
    const Chunk object = Child(bytes, editor, 0x4000);
    ASSERT_EQ(object.tag, 0x4000);
    ASSERT_EQ(bytes.compare(object.begin, 4, std::string("Tri\0", 4)), 0);
    const Chunk mesh = Child(bytes, object, 0x4100, 4);
    ASSERT_EQ(mesh.tag, 0x4100);
    EXPECT_EQ(Child(bytes, mesh, 0x4140).tag, 0) << "mapping coordinates written for a mesh without UVs";
    const Chunk flags = Child(bytes, mesh, 0x4111);
    ASSERT_EQ(flags.tag, 0x4111);
    EXPECT_EQ(ReadLE(bytes, flags.begin, 2), 3u);
}

TEST(writer3ds_materials, CombinationsNamesDefaultMapsAndMessage) {
    ScratchDir dir("mat");
    Rig rig;
    VOxaNode* node = nullptr;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "Box", Square(), {}, &node);
    VOxaMaterial* red = rig.manager.CreateMaterial("Red");
    red->SetDiffuse(VOxaColor(1, 0, 0, 1));
    red->SetOpacity(0.25);
    VOxaMaterial* blue = rig.manager.CreateMaterial("Blue");
    mesh->AddMaterial(red, 0);
    mesh->AddMaterial(blue, 0);
    mesh->InitMaterialIndices(3);
    VOxaTexture* brick = AddTexture(rig.manager, mesh, "/some/where/brick.bmp");
    brick->SetTranslation(0.25, 0.5);
    brick->SetScale(2, 4);
    VOxaTexture* wall = AddTexture(rig.manager, mesh, "/x/brickwall_dark.bmp");
    wall->SetRotation(0, 0, 90);
    mesh->InitTextureIndices(3);
    // Polygons: (red, brick), (red, wall), (blue, brick), (red, texture 7: out of range),
    // (material 9: out of range).
    const int mats[5] = {0, 0, 1, 0, 9};
    const int texs[5] = {0, 1, 0, 7, 0};
    for (int p = 0; p < 5; ++p) {
        mesh->BeginPolygon(mats[p], texs[p], -1);
        mesh->AddPolygonVertex(0);
        mesh->AddPolygonVertex(1);
        mesh->AddPolygonVertex(2);
        mesh->EndPolygon();
    }
    ASSERT_TRUE(rig.WriteTo(dir / "mat.3ds"));
    Loaded file(dir / "mat.3ds");
    ASSERT_TRUE(file.Ok());
    auto m = file.Mesh("Box");
    ASSERT_TRUE(m);
    ASSERT_EQ(m->mMaterialGroupCount, 4);
    // Each material's first set of maps takes its own name; Red's other sets are generated ones.
    EXPECT_EQ(m->mMaterialGroups[0].mName, std::string("Red"));
    EXPECT_EQ(m->mMaterialGroups[1].mName, std::string("1.Mat0Tex1"));
    EXPECT_EQ(m->mMaterialGroups[2].mName, std::string("Mat1"));
    EXPECT_EQ(m->mMaterialGroups[3].mName, std::string("Blue"));
    EXPECT_EQ(m->mMaterialGroups[2].mFaces, (std::vector<uint16_t>{3}));
    auto tex0 = file.Material("Red");
    ASSERT_TRUE(tex0);
    EXPECT_STREQ(tex0->mMaps[Ftk::kTextureMap1].mFileName, "brick.bmp");
    EXPECT_FLOAT_EQ(tex0->mMaps[Ftk::kTextureMap1].mUScale, 2.0f);
    EXPECT_FLOAT_EQ(tex0->mMaps[Ftk::kTextureMap1].mUOffset, (float)(-0.125 - 0.25));
    EXPECT_FLOAT_EQ(tex0->mMaps[Ftk::kTextureMap1].mVOffset, (float)(0.125 + 0.375));
    EXPECT_FLOAT_EQ(tex0->mDiffuse[0], 1.0f);
    EXPECT_FLOAT_EQ(tex0->mTransparency, 0.75f);
    EXPECT_EQ(tex0->mTwoSided, 1);
    auto tex1 = file.Material("1.Mat0Tex1");
    ASSERT_TRUE(tex1);
    // An image that could not be copied and whose name is too long: a short name of its own.
    EXPECT_STREQ(tex1->mMaps[Ftk::kTextureMap1].mFileName, "brickw~1.bmp");
    // Rotated map: the point (0.5, 0.5) turned by -90 degrees is (0.5, -0.5).
    EXPECT_FLOAT_EQ(tex1->mMaps[Ftk::kTextureMap1].mRotation, -90.0f);
    EXPECT_NEAR(tex1->mMaps[Ftk::kTextureMap1].mUOffset, 0.0, 1e-6);
    EXPECT_NEAR(tex1->mMaps[Ftk::kTextureMap1].mVOffset, 1.0, 1e-6);
    const VString& text = rig.writer.GetMessageText();
    EXPECT_NE(
        text.Find("Texture file \"/x/brickwall_dark.bmp\" is named \"brickw~1.bmp\" in the written file"),
        -1);
    EXPECT_NE(text.Find("Unable to locate texture file \"/some/where/brick.bmp\""), -1);
    EXPECT_NE(text.Find("Material \"Red\" is written also as \"1.Mat0Tex1\" for its faces with the texture "
                        "map \"/x/brickwall_dark.bmp\": a 3DS material holds one set of texture maps."),
              -1)
        << text.Buffer();
    EXPECT_NE(text.Find("Material \"Red\" is written also as \"Mat1\" for its faces without texture map"),
              -1);
    EXPECT_EQ(text.Find("Material \"Blue\""), -1);
}

TEST(writer3ds_materials, RotatedMapOffsetsAndSelfIllumination) {
    ScratchDir dir("rot");
    Rig rig;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "Tile", Square(), {{0, 1, 2}});
    VOxaMaterial* glow = rig.manager.CreateMaterial("Glow");
    glow->SetEmissive(VOxaColor(0.3, 0.6, 0.9, 1));
    glow->SetSpecular(VOxaColor(0.2, 0.4, 0.6, 1));
    mesh->AddMaterial(glow, 0);
    VOxaTexture* tile = AddTexture(rig.manager, mesh, "tile.bmp");
    tile->SetTranslation(0.1, 0.2);
    tile->SetScale(2, 1);
    tile->SetRotation(0, 0, 30);
    mesh->InitMaterialIndices(4);
    mesh->InitTextureIndices(4);
    ASSERT_TRUE(rig.WriteTo(dir / "rot.3ds"));
    EXPECT_EQ(Loaded(dir / "rot.3ds").MaterialNames(), (std::vector<std::string>{"Glow"}));
    Loaded file(dir / "rot.3ds");
    ASSERT_TRUE(file.Ok());
    auto material = file.Material("Glow");
    ASSERT_TRUE(material);
    // A reader places the map at (-2 (u + 0.5), -1 (0.5 - v)) turned by -30 degrees, plus 0.5:
    // the translation less 0.5, (-0.4, -0.3), turned back and then unscaled gives the offsets.
    const double k = std::acos(-1.0) / 180.0, dx = -0.4, dy = -0.3;
    const double x = dx * std::cos(-30 * k) - dy * std::sin(-30 * k);
    const double y = dx * std::sin(-30 * k) + dy * std::cos(-30 * k);
    const Ftk::MaterialMap& map = material->mMaps[Ftk::kTextureMap1];
    EXPECT_FLOAT_EQ(map.mRotation, -30.0f);
    EXPECT_NEAR(map.mUOffset, -x / 2 - 0.5, 1e-6);
    EXPECT_NEAR(map.mVOffset, y / 1 + 0.5, 1e-6);
    // Self-illumination is the factor that best carries the diffuse (0.8 grey) onto the emissive
    // (least squares: 1.44 / 1.92); the specular colour times the shine strength times 4/3 gives
    // the specular back, the colour's largest channel full.
    EXPECT_NEAR(material->mSelfIllumination, 0.75, 0.01);
    EXPECT_NEAR(material->mShineStrength, 0.45, 1e-6);
    EXPECT_FLOAT_EQ(material->mSpecular[2], 1.0f);
    const double specular[3] = {0.2, 0.4, 0.6};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(material->mSpecular[i] * material->mShineStrength * 4.0 / 3.0, specular[i], 0.5 / 255)
            << i;
}

TEST(writer3ds_materials, DefaultMaterialNoTextureFacesAndSharedUntexturedMaterial) {
    ScratchDir dir("def");
    Rig rig;
    VOxaMaterial* own = rig.manager.CreateMaterial("Default");  // takes the plain name first
    VOxaMesh* textured = AddMesh(rig.manager, rig.Root(), "T", Square(), {{0, 1, 2}});
    VOxaTexture* texture = AddTexture(rig.manager, textured, "a.bmp");
    (void)texture;
    VOxaMaterial* shared = rig.manager.CreateMaterial("Shared");
    for (const char* name : {"U1", "U2"}) {
        VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), name, Square(), {{0, 1, 2}});
        mesh->AddMaterial(shared, 0);
    }
    rig.options->SetOptionValue(VStreamOptions3ds::eTEXTURE_MAPPING, 0);
    const int materials = rig.manager.GetMaterialCount();
    ASSERT_TRUE(rig.WriteTo(dir / "d.3ds"));
    // The file's mesh gets the grey material; the scene's mesh stays without one, and the
    // program's materials are what they were.
    EXPECT_EQ(textured->GetMaterialCount(0), 0);
    EXPECT_EQ(rig.manager.GetMaterialCount(), materials);
    EXPECT_STREQ(own->GetNameWithoutPrefix(), "Default");
    ASSERT_TRUE(rig.WriteTo(dir / "again.3ds"));
    EXPECT_EQ(rig.manager.GetMaterialCount(), materials);
    Loaded file(dir / "d.3ds");
    auto m = file.Mesh("T");
    ASSERT_TRUE(m);
    ASSERT_EQ(m->mMaterialGroupCount, 1);
    EXPECT_EQ(m->mMaterialGroups[0].mName, std::string("Default1"));
    auto grey = file.Material("Default1");
    ASSERT_TRUE(grey);
    EXPECT_NEAR(grey->mDiffuse[0], 0.588f, 1.0 / 255);  // kept as a byte
    EXPECT_EQ(file.Mesh("U1")->mMaterialGroups[0].mName, std::string("Shared"));
    EXPECT_EQ(file.Mesh("U2")->mMaterialGroups[0].mName, std::string("Shared"));
}

TEST(writer3ds_materials, GeneratedNamesThatDoNotFitGetShortUniqueOnes) {
    Rig rig;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "M", Square(), {{0, 1, 2}});
    rig.manager.CreateMaterial("1.Mat0Tex0");  // another material has the generated name
    mesh->AddMaterial(rig.manager.CreateMaterial("Own"), 0);
    AddTexture(rig.manager, mesh, "t.bmp");
    ScratchDir dir("gen");
    ASSERT_TRUE(rig.writer.FileCreate((dir / "g.3ds").c_str()));
    ASSERT_TRUE(rig.writer.Prepare(rig.options.get()));
    rig.writer.mMeshCounter = 1234567890;
    Ftk::Material* a = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    Ftk::Material* b = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    rig.writer.mMeshCounter = 1;
    Ftk::Material* c = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    ASSERT_TRUE(a && b && c);
    EXPECT_STRNE(a->mName, "");
    EXPECT_STRNE(a->mName, b->mName);
    EXPECT_LE(std::strlen(a->mName), 15u);
    EXPECT_STRNE(c->mName, "1.Mat0Tex0");  // the scene material keeps its name
    // Fifteen characters still fit a material name.
    rig.writer.mMeshCounter = 123456;
    Ftk::Material* d = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    ASSERT_TRUE(d);
    EXPECT_STREQ(d->mName, "123456.Mat0Tex0");
    Ftk::ReleaseMaterial(&d);
    Ftk::ReleaseMaterial(&a);
    Ftk::ReleaseMaterial(&b);
    Ftk::ReleaseMaterial(&c);
    EXPECT_TRUE(rig.writer.Save());
}

TEST(writer3ds_materials, AMaterialReadBackKeepsItsGeneratedNameOnce) {
    Rig rig;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "M", Square(), {{0, 1, 2}});
    mesh->AddMaterial(rig.manager.CreateMaterial("1.Mat0Tex0"), 0);
    AddTexture(rig.manager, mesh, "t.bmp");
    ScratchDir dir("own");
    ASSERT_TRUE(rig.writer.FileCreate((dir / "o.3ds").c_str()));
    ASSERT_TRUE(rig.writer.Prepare(rig.options.get()));
    rig.writer.mMeshCounter = 1;
    // The generated name is the material's own: kept.
    Ftk::Material* textured = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    // The same material untextured, and the textured combination once more: neither may take the
    // name of the first record, whose block they would replace.
    Ftk::Material* plain = rig.writer.BuildMaterial(mesh, 0, 1, 1);
    Ftk::Material* again = rig.writer.BuildMaterial(mesh, 0, 0, 1);
    ASSERT_TRUE(textured && plain && again);
    EXPECT_STREQ(textured->mName, "1.Mat0Tex0");
    EXPECT_STRNE(plain->mName, "1.Mat0Tex0");
    EXPECT_STRNE(plain->mName, "");
    EXPECT_STRNE(again->mName, "1.Mat0Tex0");
    EXPECT_STRNE(again->mName, plain->mName);
    Ftk::ReleaseMaterial(&textured);
    Ftk::ReleaseMaterial(&plain);
    Ftk::ReleaseMaterial(&again);
    EXPECT_TRUE(rig.writer.Save());
}

TEST(writer3ds_materials, SpecularOfNothingAndOfAFullColour) {
    ScratchDir dir("specular");
    Rig rig;
    const double full[3] = {1.0, 0.5, 0.0};
    const double none[3] = {0.0, 0.0, 0.0};
    const double* speculars[2] = {full, none};
    const char* names[2] = {"Full", "None"};
    for (int k = 0; k < 2; ++k) {
        VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), names[k], Square(), {{0, 1, 2}});
        VOxaMaterial* material = rig.manager.CreateMaterial(names[k]);
        material->SetSpecular(VOxaColor(speculars[k][0], speculars[k][1], speculars[k][2], 1));
        mesh->AddMaterial(material, 0);
        mesh->InitMaterialIndices(4);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "specular.3ds"));
    Loaded file(dir / "specular.3ds");
    ASSERT_TRUE(file.Ok());
    auto fullRecord = file.Material("Full");
    auto noneRecord = file.Material("None");
    ASSERT_TRUE(fullRecord && noneRecord);
    // A specular of 1 needs the largest strength, 75 percent, with a full colour.
    EXPECT_FLOAT_EQ(fullRecord->mShineStrength, 0.75f);
    EXPECT_FLOAT_EQ(fullRecord->mSpecular[0], 1.0f);
    EXPECT_NEAR(fullRecord->mSpecular[1], 0.5, 0.6 / 255);  // to the nearest byte
    EXPECT_FLOAT_EQ(fullRecord->mSpecular[2], 0.0f);
    EXPECT_FLOAT_EQ(noneRecord->mShineStrength, 0.0f);
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(noneRecord->mSpecular[i], 0.0f) << i;
}

TEST(writer3ds_materials, MappingCoordinatesByControlPointAndByPolygonVertex) {
    ScratchDir dir("uv");
    Rig rig;
    // UVs by control point: vertex i takes UV i.
    VOxaNode* pointNode = AddNode(rig.manager, rig.Root(), "ByPoint");
    VOxaMesh* byPoint = rig.manager.CreateMesh();
    pointNode->SetNodeAttribute(byPoint);
    byPoint->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        byPoint->GetControlPoints()[i] = Square()[(size_t)i];
    AddTexture(rig.manager, byPoint, "p.bmp");
    byPoint->InitTextureUVIndices(1);
    for (int i = 0; i < 4; ++i)
        byPoint->AddTextureUV(VgeVector2(0.1 * (i + 1), 0.5 + 0.1 * i));
    byPoint->BeginPolygon(-1, 0, -1);
    for (int v : {0, 1, 2, 3})
        byPoint->AddPolygonVertex(v);
    byPoint->EndPolygon();
    // UVs by polygon vertex, kept welded: the last corner naming a point decides its UV.
    VOxaNode* cornerNode = AddNode(rig.manager, rig.Root(), "Corners");
    VOxaMesh* byCorner = rig.manager.CreateMesh();
    cornerNode->SetNodeAttribute(byCorner);
    byCorner->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        byCorner->GetControlPoints()[i] = Square()[(size_t)i];
    AddTexture(rig.manager, byCorner, "c.bmp");
    byCorner->InitTextureUVIndices(2);
    for (int i = 0; i < 5; ++i)
        byCorner->AddTextureUV(VgeVector2(0.25 * i, 1.0 - 0.125 * i));
    const int corners[2][3][2] = {{{0, 0}, {1, 1}, {2, 2}}, {{0, 4}, {2, 2}, {3, 3}}};
    for (const auto& polygon : corners) {
        byCorner->BeginPolygon(-1, 0, -1);
        for (const auto& corner : polygon)
            byCorner->AddPolygonVertex(corner[0], corner[1]);
        byCorner->EndPolygon();
    }
    rig.options->SetOptionValue(VStreamOptions3ds::eUV_PER_POLYGON, 0);
    ASSERT_TRUE(rig.WriteTo(dir / "uv.3ds"));

    Loaded file(dir / "uv.3ds");
    ASSERT_TRUE(file.Ok());
    auto p = file.Mesh("ByPoint");
    ASSERT_TRUE(p);
    ASSERT_EQ(p->mMappingCount, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(p->mMapping[(size_t)i].u, (float)(0.1 * (i + 1))) << i;
        EXPECT_FLOAT_EQ(p->mMapping[(size_t)i].v, (float)(0.5 + 0.1 * i)) << i;
    }
    auto c = file.Mesh("Corners");
    ASSERT_TRUE(c);
    ASSERT_EQ(c->mMappingCount, 4);
    EXPECT_FLOAT_EQ(c->mMapping[0].u, 1.0f);  // UV 4, from the second polygon
    EXPECT_FLOAT_EQ(c->mMapping[0].v, 0.5f);
    EXPECT_FLOAT_EQ(c->mMapping[1].u, 0.25f);
    EXPECT_FLOAT_EQ(c->mMapping[3].u, 0.75f);
    EXPECT_FLOAT_EQ(c->mMapping[3].v, 0.625f);
}

TEST(writer3ds_materials, WeldGivesEveryCornerItsPointAndSwapsUV) {
    Rig rig;
    VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), "U", Square(), {});
    VOxaTexture* texture = AddTexture(rig.manager, mesh, "s.bmp");
    texture->SetUVSwap(true);
    mesh->InitTextureIndices(3);
    mesh->InitTextureUVIndices(2);
    mesh->AddTextureUV(VgeVector2(0.1, 0.9));
    mesh->AddTextureUV(VgeVector2(0.2, 0.8));
    mesh->BeginPolygon(-1, 0, -1);
    mesh->AddPolygonVertex(0, 0);
    mesh->AddPolygonVertex(1, 1);
    mesh->AddPolygonVertex(2, 5);  // dangling UV index
    mesh->EndPolygon();
    VOxaMesh* out = rig.writer.WeldPolygonUVs(mesh);
    ASSERT_NE(out, nullptr);
    // The square's fourth point, which no corner uses, stays after the others.
    ASSERT_EQ(out->GetControlPointsCount(), 4);
    EXPECT_DOUBLE_EQ(out->GetControlPoints()[3][1], 1.0);
    EXPECT_DOUBLE_EQ(out->GetControlPoints()[3][0], 0.0);
    EXPECT_EQ(out->GetTextureUVMappingMode(), 1);
    ASSERT_EQ(out->GetTextureUVCount(), 4);
    EXPECT_DOUBLE_EQ(out->GetTextureUV()[0][0], 0.9);
    EXPECT_DOUBLE_EQ(out->GetTextureUV()[1][1], 0.2);
    EXPECT_DOUBLE_EQ(out->GetTextureUV()[2][0], 0.0);
    EXPECT_EQ(out->GetPolygonVertex(0, 2), 2);
    EXPECT_DOUBLE_EQ(out->GetControlPoints()[2][1], 1.0);
}

TEST(writer3ds_lights, OmniSpotCameraBackgroundFieldOfViewAndTargets) {
    ScratchDir dir("light");
    Rig rig;
    VOxaNode* omni = AddNode(rig.manager, rig.Root(), "Omni");
    VOxaLight* omniLight = rig.manager.CreateLight();
    omni->SetNodeAttribute(omniLight);
    omniLight->SetLightType(VOxaLight::ePOINT);
    omniLight->SetDefaultIntensity(50);
    omni->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    VOxaNode* spot = AddNode(rig.manager, rig.Root(), "Spot");
    VOxaLight* spotLight = rig.manager.CreateLight();
    spot->SetNodeAttribute(spotLight);
    spotLight->SetLightType(VOxaLight::eSPOT);
    spotLight->SetDefaultConeAngle(60);
    VOxaNode* sun = AddNode(rig.manager, rig.Root(), "Sun");
    VOxaLight* sunLight = rig.manager.CreateLight();
    sun->SetNodeAttribute(sunLight);
    sunLight->SetLightType(VOxaLight::eINFINITE);
    const char* cameras[2] = {"CamA", "CamB"};
    for (int i = 0; i < 2; ++i) {
        VOxaNode* node = AddNode(rig.manager, rig.Root(), cameras[i]);
        VOxaCamera* camera = rig.manager.CreateCamera();
        node->SetNodeAttribute(camera);
        camera->SetDefaultBackgroundColor(VOxaColor(0.1 * (i + 1), 0.2, 0.3, 1));
        camera->SetApertureMode((decltype(camera->GetApertureMode()))2);
        camera->SetFilmWidth(2.0);
        camera->SetFilmHeight(1.0);
        camera->SetFilmSqueezeRatio(1.0);
        camera->SetDefaultFieldOfView(60);
        node->SetLclRotation(VgeTVector(30, 0, 0, 1));
    }
    ASSERT_TRUE(rig.WriteTo(dir / "l.3ds"));
    Loaded file(dir / "l.3ds");
    ASSERT_TRUE(file.Ok());
    Ftk::Light* light = nullptr;
    Ftk::GetOmniLightByName(file.db, "Omni", &light);
    ASSERT_NE(light, nullptr);
    EXPECT_FLOAT_EQ(light->mMultiplier, 0.5f);
    EXPECT_FLOAT_EQ(light->mPosition.y, -3.0f);
    Ftk::ReleaseLight(&light);
    Ftk::GetSpotlightByName(file.db, "Spot", &light);
    ASSERT_NE(light, nullptr);
    ASSERT_NE(light->mSpot, nullptr);
    // Without a falloff of its own the cone is sharp, as in the keyframer.
    EXPECT_FLOAT_EQ(light->mSpot->mHotspot, 60.0f);
    EXPECT_FLOAT_EQ(light->mSpot->mFalloff, 60.0f);
    Ftk::ReleaseLight(&light);
    EXPECT_EQ(Ftk::CountOmniLights(file.db) + Ftk::CountSpotlights(file.db), 2u);  // no sun
    Ftk::Background* background = nullptr;
    Ftk::GetBackground(file.db, &background);
    ASSERT_NE(background, nullptr);
    EXPECT_NEAR(background->mSolid[0], 0.2f, 1e-6);  // the last camera's
    Ftk::ReleaseBackground(&background);

    Ftk::SpotlightMotion* spotMotion = nullptr;
    Ftk::GetSpotlightMotionByName(file.db, "Spot", &spotMotion);
    ASSERT_NE(spotMotion, nullptr);
    EXPECT_EQ(spotMotion->mRoll.mKeyCount, 1u);
    EXPECT_FLOAT_EQ(spotMotion->mHotspot.mValues[0], 60.0f);
    EXPECT_FLOAT_EQ(spotMotion->mFalloff.mValues[0], 60.0f);
    // No target: 10 units down the light's -Y axis (scene), which is 3DS -Z.
    EXPECT_FLOAT_EQ(spotMotion->mTargetPosition.mValues[2], -10.0f);
    Ftk::ReleaseSpotlightMotion(&spotMotion);

    Ftk::CameraMotion* camMotion = nullptr;
    Ftk::GetCameraMotionByName(file.db, "CamA", &camMotion);
    ASSERT_NE(camMotion, nullptr);
    // Vertical 60 degrees on a 2:1 film: 2 atan(tan(30) 2).
    EXPECT_NEAR(camMotion->mFieldOfView.mValues[0], 2 * std::atan(std::tan(M_PI / 6) * 2) * 180 / M_PI, 1e-3);
    // Rolled 30 degrees about its view axis; target 10 along scene X.
    EXPECT_NEAR(camMotion->mRoll.mValues[0], 30.0, 1e-2);
    EXPECT_NEAR(camMotion->mTargetPosition.mValues[0], 10.0, 1e-5);
    Ftk::ReleaseCameraMotion(&camMotion);
}

TEST(writer3ds_lights, ParentFieldsAndSpotlightPosition) {
    ScratchDir dir("parent");
    Rig rig;
    // A spotlight with a mesh below it, and a marker with a mesh below it.
    VOxaNode* lamp = AddNode(rig.manager, rig.Root(), "Lamp");
    VOxaLight* light = rig.manager.CreateLight();
    lamp->SetNodeAttribute(light);
    light->SetLightType(VOxaLight::eSPOT);
    lamp->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    lamp->SetLclRotation(VgeTVector(20, 0, 0, 1));
    AddMesh(rig.manager, lamp, "Shade", Square(), {{0, 1, 2}});
    VOxaNode* mark = AddNode(rig.manager, rig.Root(), "Mark");
    mark->SetNodeAttribute(rig.manager.CreateMarker());
    AddMesh(rig.manager, mark, "Knob", Square(), {{0, 1, 2}});
    ASSERT_TRUE(rig.WriteTo(dir / "p.3ds"));

    Loaded file(dir / "p.3ds");
    ASSERT_TRUE(file.Ok());
    // A light parent is named as it is; a marker parent is a dummy.
    auto shade = file.Motion("Shade");
    ASSERT_TRUE(shade);
    EXPECT_STREQ(shade->mParentName, "Lamp");
    auto knob = file.Motion("Knob");
    ASSERT_TRUE(knob);
    EXPECT_STREQ(knob->mParentName, "$$$DUMMY.Mark");
    // The spotlight's position key: (1, 2, 3) Z-up.
    Ftk::SpotlightMotion* motion = nullptr;
    Ftk::GetSpotlightMotionByName(file.db, "Lamp", &motion);
    ASSERT_NE(motion, nullptr);
    ASSERT_EQ(motion->mPosition.mValues.size(), 3u);
    EXPECT_FLOAT_EQ(motion->mPosition.mValues[0], 1.0f);
    EXPECT_FLOAT_EQ(motion->mPosition.mValues[1], -3.0f);
    EXPECT_FLOAT_EQ(motion->mPosition.mValues[2], 2.0f);
    Ftk::ReleaseSpotlightMotion(&motion);
}

TEST(writer3ds_lights, LightsAndCamerasBelowADummySitInTheWorldInTheMeshSection) {
    ScratchDir dir("world");
    Rig rig;
    VOxaNode* arm = AddNode(rig.manager, rig.Root(), "Arm");
    arm->SetLclTranslation(VgeTVector(100, 0, 0, 0));
    arm->SetLclRotation(VgeTVector(0, 90, 0, 0));
    // A spot without a target node, looking down its -Y axis from (0, 10, 0) in the arm's space.
    VOxaNode* lamp = AddNode(rig.manager, arm, "Lamp");
    VOxaLight* light = rig.manager.CreateLight();
    light->SetLightType(VOxaLight::eSPOT);
    lamp->SetNodeAttribute(light);
    lamp->SetLclTranslation(VgeTVector(0, 10, 0, 0));
    VOxaNode* bulb = AddNode(rig.manager, arm, "Bulb");
    bulb->SetNodeAttribute(rig.manager.CreateLight());
    bulb->SetLclTranslation(VgeTVector(5, 0, 0, 0));
    VOxaNode* eye = AddNode(rig.manager, arm, "Eye");
    VOxaCamera* camera = rig.manager.CreateCamera();
    eye->SetNodeAttribute(camera);
    camera->SetRoll(-25);
    eye->SetLclTranslation(VgeTVector(0, 0, 5, 0));
    ASSERT_TRUE(rig.WriteTo(dir / "w.3ds"));

    Loaded file(dir / "w.3ds");
    ASSERT_TRUE(file.Ok());
    auto expect = [](const Ftk::Point3& p, float x, float y, float z, const char* what) {
        EXPECT_NEAR(p.x, x, 1e-4) << what;
        EXPECT_NEAR(p.y, y, 1e-4) << what;
        EXPECT_NEAR(p.z, z, 1e-4) << what;
    };
    // The arm turns local x into world -z (Y-up), that is file y 1: (5, 0, 0) lands at
    // (100, 0, -5) Y-up, (100, 5, 0) in the file.
    Ftk::Light* record = nullptr;
    Ftk::GetOmniLightByName(file.db, "Bulb", &record);
    ASSERT_NE(record, nullptr);
    expect(record->mPosition, 100, 5, 0, "omni");
    Ftk::ReleaseLight(&record);
    Ftk::GetSpotlightByName(file.db, "Lamp", &record);
    ASSERT_NE(record, nullptr);
    ASSERT_NE(record->mSpot, nullptr);
    expect(record->mPosition, 100, 0, 10, "spot");
    expect(record->mSpot->mTarget, 100, 0, 0, "spot target");
    Ftk::ReleaseLight(&record);
    // The keyframer's target is in the arm's space, so it hangs below the arm too.
    Ftk::SpotlightMotion* motion = nullptr;
    Ftk::GetSpotlightMotionByName(file.db, "Lamp", &motion);
    ASSERT_NE(motion, nullptr);
    EXPECT_STREQ(motion->mTargetParentName, "$$$DUMMY.Arm");
    Ftk::ReleaseSpotlightMotion(&motion);
    // (0, 0, 5) in the arm's space is (105, 0, 0) Y-up.
    Ftk::Camera* eyeRecord = nullptr;
    Ftk::GetCameraByName(file.db, "Eye", &eyeRecord);
    ASSERT_NE(eyeRecord, nullptr);
    expect(eyeRecord->mPosition, 105, 0, 0, "camera");
    EXPECT_NEAR(eyeRecord->mRoll, -25, 1e-3);
    Ftk::ReleaseCamera(&eyeRecord);
}

TEST(writer3ds_lights, ZeroFilmHeightLeavesTheAngleAndTargetsUseTheirOwnFrameCount) {
    ScratchDir dir("cam");
    Rig rig;
    VOxaNode* node = AddNode(rig.manager, rig.Root(), "Cam");
    VOxaCamera* camera = rig.manager.CreateCamera();
    node->SetNodeAttribute(camera);
    VOxaNode* target = AddNode(rig.manager, rig.Root(), "Aim");
    node->SetTarget(target);
    VOxaTakeNode* take = target->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(4), 4, 0, 0);
    rig.options->SetOptionValue(VStreamOptions3ds::eANIM, 0);
    ASSERT_TRUE(rig.writer.FileCreate((dir / "c.3ds").c_str()));
    ASSERT_TRUE(rig.writer.Prepare(rig.options.get()));
    Ftk::CameraMotion* motion = rig.writer.MakeCameraMotion(node);
    ASSERT_NE(motion, nullptr);
    EXPECT_EQ(motion->mPosition.mKeyCount, 1u);
    EXPECT_EQ(motion->mTargetPosition.mKeyCount, 1u);
    // The target's parent is the target node's own parent, here the camera's.
    EXPECT_STREQ(motion->mTargetParentName, motion->mParentName);
    Ftk::ReleaseCameraMotion(&motion);
    EXPECT_TRUE(rig.writer.Save());
}

TEST(writer3ds_lights, TargetsTravelInTheTargetTrackAndRecordsAgreeWithFrameZero) {
    ScratchDir dir("targets");
    Rig rig;
    VOxaNode* group = AddNode(rig.manager, rig.Root(), "Group");
    VOxaNode* cam = AddNode(rig.manager, rig.Root(), "Cam");
    VOxaCamera* camera = rig.manager.CreateCamera();
    cam->SetNodeAttribute(camera);
    camera->SetFilmWidth(2.0);
    camera->SetFilmHeight(1.0);
    camera->SetFilmSqueezeRatio(1.0);
    VFCurve* fov = cam->GetCurrentTakeNode()->GetCameraFieldOfView();
    for (int frame : {0, 10}) {
        VFCurveKey key;
        key.Set(Frame30(frame), frame == 0 ? 40.0f : 60.0f, VFCurveKey::eInterpolationLinear);
        fov->KeyAdd(Frame30(frame), key);
    }
    VOxaNode* aim = AddNode(rig.manager, group, "Aim");
    aim->SetNodeAttribute(rig.manager.CreateMarker());
    aim->SetLclTranslation(VgeTVector(5, 6, 7, 0));
    cam->SetTarget(aim);
    VOxaNode* spot = AddNode(rig.manager, rig.Root(), "Spot");
    VOxaLight* light = rig.manager.CreateLight();
    light->SetLightType(VOxaLight::eSPOT);
    spot->SetNodeAttribute(light);
    VOxaNode* bulb = AddNode(rig.manager, rig.Root(), "Bulb");
    bulb->SetLclTranslation(VgeTVector(0, 10, 0, 0));
    spot->SetTarget(bulb);
    // A mesh as target keeps its own object.
    VOxaNode* lamp = AddNode(rig.manager, rig.Root(), "Lamp");
    VOxaLight* lampLight = rig.manager.CreateLight();
    lampLight->SetLightType(VOxaLight::eSPOT);
    lamp->SetNodeAttribute(lampLight);
    VOxaNode* ball = nullptr;
    AddMesh(rig.manager, rig.Root(), "Ball", Square(), {{0, 1, 2}}, &ball);
    lamp->SetTarget(ball);
    ASSERT_TRUE(rig.WriteTo(dir / "t.3ds"));

    // The scene's own curve keeps its angles.
    ASSERT_EQ(fov->KeyGetCount(), 2);
    EXPECT_FLOAT_EQ(fov->KeyGetValue(0), 40.0f);
    EXPECT_FLOAT_EQ(fov->KeyGetValue(1), 60.0f);

    Loaded file(dir / "t.3ds");
    ASSERT_TRUE(file.Ok());
    EXPECT_TRUE(file.Motion("$$$DUMMY.Group"));
    EXPECT_FALSE(file.Motion("$$$DUMMY.Aim"));
    EXPECT_FALSE(file.Motion("$$$DUMMY.Bulb"));
    EXPECT_TRUE(file.Motion("Ball"));
    Ftk::CameraMotion* camMotion = nullptr;
    Ftk::GetCameraMotionByName(file.db, "Cam", &camMotion);
    ASSERT_NE(camMotion, nullptr);
    EXPECT_STREQ(camMotion->mTargetParentName, "$$$DUMMY.Group");
    const float horizontal40 = (float)(2 * std::atan(std::tan(M_PI / 9) * 2) * 180 / M_PI);
    // The curve's two keys, each turned to the horizontal angle.
    ASSERT_EQ(camMotion->mFieldOfView.mValues.size(), 2u);
    EXPECT_NEAR(camMotion->mFieldOfView.mValues[0], horizontal40, 1e-3);
    EXPECT_NEAR(camMotion->mFieldOfView.mValues[1], 2 * std::atan(std::tan(M_PI / 6) * 2) * 180 / M_PI, 1e-3);
    Ftk::ReleaseCameraMotion(&camMotion);
    Ftk::Camera* record = nullptr;
    Ftk::GetCameraByName(file.db, "Cam", &record);
    ASSERT_NE(record, nullptr);
    EXPECT_FLOAT_EQ(record->mTarget.x, 5.0f);
    EXPECT_FLOAT_EQ(record->mTarget.y, -7.0f);
    EXPECT_FLOAT_EQ(record->mTarget.z, 6.0f);
    EXPECT_NEAR(record->mFieldOfView, horizontal40, 1e-2);
    Ftk::ReleaseCamera(&record);
    Ftk::Light* spotRecord = nullptr;
    Ftk::GetSpotlightByName(file.db, "Spot", &spotRecord);
    ASSERT_NE(spotRecord, nullptr);
    ASSERT_NE(spotRecord->mSpot, nullptr);
    EXPECT_FLOAT_EQ(spotRecord->mSpot->mTarget.x, 0.0f);
    EXPECT_FLOAT_EQ(spotRecord->mSpot->mTarget.y, 0.0f);
    EXPECT_FLOAT_EQ(spotRecord->mSpot->mTarget.z, 10.0f);
    Ftk::ReleaseLight(&spotRecord);
    Ftk::SpotlightMotion* spotMotion = nullptr;
    Ftk::GetSpotlightMotionByName(file.db, "Spot", &spotMotion);
    ASSERT_NE(spotMotion, nullptr);
    EXPECT_STREQ(spotMotion->mTargetParentName, "");
    Ftk::ReleaseSpotlightMotion(&spotMotion);

    // Without cameras and lights nothing carries the targets: they stay dummies.
    Rig without;
    VOxaNode* c = AddNode(without.manager, without.Root(), "Cam");
    c->SetNodeAttribute(without.manager.CreateCamera());
    VOxaNode* s = AddNode(without.manager, without.Root(), "Spot");
    VOxaLight* l = without.manager.CreateLight();
    l->SetLightType(VOxaLight::eSPOT);
    s->SetNodeAttribute(l);
    VOxaNode* p = AddNode(without.manager, without.Root(), "Point");
    p->SetNodeAttribute(without.manager.CreateLight());
    c->SetTarget(AddNode(without.manager, without.Root(), "CamAim"));
    s->SetTarget(AddNode(without.manager, without.Root(), "SpotAim"));
    p->SetTarget(AddNode(without.manager, without.Root(), "PtAim"));
    without.options->SetOptionValue(VStreamOptions3ds::eCAMERA, 0);
    without.options->SetOptionValue(VStreamOptions3ds::eLIGHTS, 0);
    ASSERT_TRUE(without.WriteTo(dir / "w.3ds"));
    Loaded bare(dir / "w.3ds");
    EXPECT_TRUE(bare.Motion("$$$DUMMY.CamAim"));
    EXPECT_TRUE(bare.Motion("$$$DUMMY.SpotAim"));
    without.options->SetOptionValue(VStreamOptions3ds::eCAMERA, 1);
    without.options->SetOptionValue(VStreamOptions3ds::eLIGHTS, 1);
    ASSERT_TRUE(without.WriteTo(dir / "w2.3ds"));
    Loaded full(dir / "w2.3ds");
    EXPECT_FALSE(full.Motion("$$$DUMMY.CamAim"));
    EXPECT_FALSE(full.Motion("$$$DUMMY.SpotAim"));
    // A point light has no target track: its target stays a dummy.
    EXPECT_TRUE(full.Motion("$$$DUMMY.PtAim"));
}

TEST(writer3ds_names, DummyNodesAreWrittenAsDummiesWithTheirInstanceNames) {
    ScratchDir dir("dummies");
    Rig rig;
    VOxaNode* hips = AddNode(rig.manager, rig.Root(), "$$$DUMMY.Hips");
    VOxaNode* leg = AddNode(rig.manager, hips, "$$$DUMMY.LeftUpLeg");
    AddMesh(rig.manager, leg, "Toe", Square(), {{0, 1, 2}});
    VOxaNode* plain = AddNode(rig.manager, rig.Root(), "Hips");
    VOxaNode* mesh = nullptr;
    AddMesh(rig.manager, rig.Root(), "$$$DUMMY.Mesh", Square(), {{0, 1, 2}}, &mesh);
    ASSERT_TRUE(rig.WriteTo(dir / "d.3ds"));
    EXPECT_STREQ(hips->GetNameWithoutPrefix(), "$$$DUMMY.Hips");
    EXPECT_STREQ(leg->GetNameWithoutPrefix(), "$$$DUMMY.LeftUpLeg");
    // The plain node's instance name would clash with the dummy's: it is numbered in the file
    // (see below); a mesh is an object of its own, its name cut like any other. The scene keeps
    // its names.
    EXPECT_STREQ(plain->GetNameWithoutPrefix(), "Hips");
    EXPECT_STREQ(mesh->GetNameWithoutPrefix(), "$$$DUMMY.Mesh");
    const std::string messages = rig.writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("\"$$$DUMMY.Mesh\" is written as \"$$$DUMMY.M\""), std::string::npos) << messages;

    Loaded file(dir / "d.3ds");
    ASSERT_TRUE(file.Ok());
    auto legMotion = file.Motion("$$$DUMMY.LeftUpLeg");
    ASSERT_TRUE(legMotion);
    EXPECT_STREQ(legMotion->mName, "$$$DUMMY");
    EXPECT_STREQ(legMotion->mInstanceName, "LeftUpLeg");
    EXPECT_STREQ(legMotion->mParentName, "$$$DUMMY.Hips");
    auto toe = file.Motion("Toe");
    ASSERT_TRUE(toe);
    EXPECT_STREQ(toe->mParentName, "$$$DUMMY.LeftUpLeg");
    EXPECT_TRUE(file.Motion("$$$DUMMY.Hips_2"));
}

TEST(writer3ds_file, KeyframerRangeIsTheTakeSpanAndItsLength) {
    ScratchDir dir("range");
    Rig rig;
    VOxaNode* node = nullptr;
    AddMesh(rig.manager, rig.Root(), "Box", Square(), {{0, 1, 2}}, &node);
    ASSERT_TRUE(rig.scene->CreateTake("walk"));
    ASSERT_TRUE(rig.scene->SetCurrentTake("walk"));
    auto range = [&](const char* name) {
        EXPECT_TRUE(rig.WriteTo(dir / name));
        Loaded file(dir / name);
        Ftk::KeyframerSettings* settings = nullptr;
        Ftk::InitKeyframerSettings(&settings);
        Ftk::GetKeyframerSettings(file.db, settings);
        std::vector<int> out = {settings->mAnimationLength, settings->mSegmentInUse ? 1 : 0,
                                settings->mSegmentFirst, settings->mSegmentLast};
        Ftk::ReleaseKeyframerSettings(&settings);
        return out;
    };
    auto setSpan = [&](int first, int last) {
        VOxaTakeInfo info;
        info.mName = rig.scene->GetCurrentTakeName();
        info.mLocalTimeSpan.Set(Frame30(first), Frame30(last));
        info.mReferenceTimeSpan.Set(Frame30(first), Frame30(last));
        ASSERT_TRUE(rig.scene->SetTakeInfo(info));
    };
    // A still scene without a span: 100 frames.
    EXPECT_EQ(range("still.3ds"), (std::vector<int>{100, 1, 0, 100}));
    setSpan(5, 300);
    EXPECT_EQ(range("still_span.3ds"), (std::vector<int>{300, 1, 5, 300}));
    VOxaTakeNode* take = node->GetCurrentTakeNode();
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), VTime(0), 0, 0, 0);
    Key3(take->GetTranslationX(), take->GetTranslationY(), take->GetTranslationZ(), Frame30(20), 1, 2, 3);
    // Keys outside the span change neither the segment nor the length.
    EXPECT_EQ(range("span.3ds"), (std::vector<int>{300, 1, 5, 300}));
    setSpan(2, 10);
    EXPECT_EQ(range("short.3ds"), (std::vector<int>{10, 1, 2, 10}));
    // A one-frame span stays one frame.
    setSpan(10, 10);
    EXPECT_EQ(range("one.3ds"), (std::vector<int>{10, 1, 10, 10}));
}

TEST(writer3ds_faults, FailedWriteKeepsTheTargetAndStaleErrorsAreCleared) {
    ScratchDir dir("fail");
    const std::string target = dir / "keep.3ds";
    WriteBytes(target, "old");
    {
        Rig rig;
        AddMesh(rig.manager, rig.Root(), "M", Square(), {{0, 1, 2}});
        ASSERT_TRUE(rig.writer.FileCreate(target.c_str()));
        Ftk::PushError(Ftk::ERR_INVALID_DATA);  // a fault in the middle of the write
        EXPECT_FALSE(rig.writer.Write(rig.scene, rig.options.get()));
        EXPECT_EQ(rig.writer.GetDatabase(), nullptr);
        EXPECT_EQ(rig.writer.GetSettings(), nullptr);
    }
    EXPECT_EQ(ReadBytes(target), "old");
    for (auto& entry : fs::directory_iterator(dir.path))
        EXPECT_EQ(entry.path().filename(), "keep.3ds");
    // A stale error from an earlier toolkit user does not fail the next file.
    Ftk::PushError(Ftk::ERR_INVALID_DATA);
    Rig rig;
    AddMesh(rig.manager, rig.Root(), "M", Square(), {{0, 1, 2}});
    EXPECT_TRUE(rig.WriteTo(target));
    EXPECT_NE(ReadBytes(target), "old");
    // A directory that does not exist.
    Rig other;
    EXPECT_FALSE(other.WriteTo(dir / "missing/sub/x.3ds"));
}

TEST(writer3ds_faults, TextureCopyNeverOverwritesAndReportsWriteErrors) {
    ScratchDir dir("copy");
    fs::create_directories(dir.path / "src");
    fs::create_directories(dir.path / "out");
    WriteBytes(dir / "src/a.bmp", std::string(3000, 'a'));
    WriteBytes(dir / "out/b.bmp", "mine");
    WriteBytes(dir / "src/b.bmp", "theirs");
    Rig rig;
    ASSERT_TRUE(rig.writer.FileCreate((dir / "out/x.3ds").c_str()));
    const std::string src = dir / "src";
    EXPECT_TRUE(rig.writer.CopyTextureFile((dir / "src/a.bmp").c_str(), src.c_str()));
    EXPECT_EQ(ReadBytes(dir / "out/a.bmp"), std::string(3000, 'a'));
    EXPECT_TRUE(rig.writer.CopyTextureFile((dir / "src/a.bmp").c_str(), src.c_str()));
    EXPECT_TRUE(rig.writer.CopyTextureFile((dir / "src/b.bmp").c_str(), src.c_str()));
    EXPECT_EQ(ReadBytes(dir / "out/b.bmp"), "mine");
    EXPECT_FALSE(rig.writer.CopyTextureFile((dir / "src/none.bmp").c_str()));
    EXPECT_NE(rig.writer.GetMessageText().Find("Unable to locate texture file"), -1);
    // A destination that cannot be written: the output folder is gone.
    Rig gone;
    ASSERT_TRUE(gone.writer.FileCreate((dir / "nowhere/x.3ds").c_str()));
    EXPECT_FALSE(gone.writer.CopyTextureFile("a.bmp", src.c_str()));
    EXPECT_NE(gone.writer.GetMessageText().Find("Error writing texture file \""), -1);
}

TEST(writer3ds_options, WriterRowOptionsAndReferenceNodeDummies) {
    VOxaSdkManager manager;
    bool found = false;
    for (int i = 0; i < VOxaGetWriterFormatCount(); ++i)
        if (std::string(VOxaGetWriterFormat(i)->mExtension) == "3ds") found = true;
    EXPECT_TRUE(found);

    ScratchDir dir("ref");
    Rig rig;
    rig.Root()->SetName("RootNode");
    VOxaNode* ref = AddNode(rig.manager, rig.Root(), "Oxa_Root");
    AddNode(rig.manager, ref, "Child");
    rig.options->SetOptionValue(VStreamOptions3ds::eCREATE_REFERENCE_NODE, 1);
    rig.options->SetOptionValue(VStreamOptions3ds::eRESCALE, 0);
    ASSERT_TRUE(rig.WriteTo(dir / "r.3ds"));
    Loaded file(dir / "r.3ds");
    EXPECT_TRUE(file.Motion("$$$DUMMY.RootNode"));
    auto child = file.Motion("$$$DUMMY.Child");
    ASSERT_TRUE(child);
    EXPECT_STREQ(child->mParentName, "$$$DUMMY.RootNode");
    Ftk::MeshSettings* settings = nullptr;
    Ftk::GetSettings(file.db, &settings);
    EXPECT_FLOAT_EQ(settings->mMasterScale, 1.0f);
    Ftk::ReleaseSettings(&settings);

    // Foreign options: error 4 and the export goes on (of a dummy: a scene of nothing is none).
    Rig foreign;
    AddNode(foreign.manager, foreign.Root(), "Dummy");
    VStreamOptionsObj obj;
    EXPECT_TRUE(foreign.writer.FileCreate((dir / "f.3ds").c_str()));
    EXPECT_TRUE(foreign.writer.Write(foreign.scene, &obj));
    EXPECT_EQ(foreign.writer.GetError().GetLastErrorID(), VOxaWriter::eSTREAM_OPTIONS_NOT_SET);
}

TEST(writer3ds_materials, KeptFileValuesAreUsedOnlyWhileTheSceneStillAgrees) {
    // Materials as a 3DS reader leaves them: the highlight colour and strength beside their
    // product, the two-sided flag, and a map's flag word and blur.
    ScratchDir dir("kept");
    Rig rig;
    struct Case {
        const char* name;
        double colour, level, specular;  // grey colour, strength, scene specular (grey)
        double twoSided;                 // < 0: none kept
    };
    const Case cases[] = {
        {"Kept", 0.5, 0.3, 0.5 * 0.3 * 4.0 / 3.0, 0.0},       // as read: kept whole, one-sided
        {"Changed", 0.5, 0.3, 0.6, 1.0},                      // specular changed since: refactored
        {"Huge", 0.5, 400.0, 0.5 * 400.0 * 4.0 / 3.0, -1.0},  // beyond the file: refactored
        {"Dark", 1.0, 0.0, 0.0, -1.0},                        // strength 0 keeps its colour
    };
    const std::vector<VgeTVector> points = Square();
    float z = 0.0f;
    for (const Case& c : cases) {
        std::vector<VgeTVector> moved = points;
        for (VgeTVector& p : moved)
            p[2] = (z += 1.0f);
        VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), c.name, moved, {{0, 1, 2}});
        VOxaMaterial* material = rig.manager.CreateMaterial(c.name);
        material->SetDefaultSpecular(VgeTVector(c.specular, c.specular, c.specular, 0.0));
        const double colour[3] = {c.colour, c.colour, c.colour};
        voxa_extras::SetColor(material, voxa_extras::kSpecularColor3ds, colour);
        voxa_extras::SetNumber(material, voxa_extras::kShineStrength3ds, c.level);
        if (c.twoSided >= 0.0) voxa_extras::SetNumber(material, voxa_extras::kTwoSided3ds, c.twoSided);
        mesh->AddMaterial(material, 0);
        mesh->InitMaterialIndices(4);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "kept.3ds"));
    Loaded file(dir / "kept.3ds");
    ASSERT_TRUE(file.Ok());
    auto kept = file.Material("Kept");
    ASSERT_TRUE(kept);
    EXPECT_FLOAT_EQ(kept->mSpecular[0], 128.0f / 255.0f);  // 0.5 to the nearest byte
    EXPECT_FLOAT_EQ(kept->mShineStrength, 0.3f);
    EXPECT_EQ(kept->mTwoSided, 0);
    auto changed = file.Material("Changed");
    ASSERT_TRUE(changed);
    EXPECT_NEAR(changed->mSpecular[0] * changed->mShineStrength * 4.0 / 3.0, 0.6, 0.5 / 255);
    EXPECT_NE(changed->mShineStrength, 0.3f);
    EXPECT_EQ(changed->mTwoSided, 1);
    auto huge = file.Material("Huge");
    ASSERT_TRUE(huge);
    EXPECT_GT(huge->mShineStrength, 0.0f);
    EXPECT_LE(huge->mShineStrength * 100.0f, 32767.0f);
    EXPECT_EQ(huge->mTwoSided, 1) << "no 3DS file said otherwise";
    auto dark = file.Material("Dark");
    ASSERT_TRUE(dark);
    EXPECT_FLOAT_EQ(dark->mSpecular[0], 1.0f);
    EXPECT_FLOAT_EQ(dark->mShineStrength, 0.0f);
}

TEST(writer3ds_materials, MapFlagsFollowTheWrapMode) {
    ScratchDir dir("flags");
    Rig rig;
    // Kept flags (mirror, no tile) while the texture is still clamped; flags of a tiled file map
    // on a texture since clamped give way to the wrap mode: no tile alone.
    const struct {
        const char* image;
        double flags;  // < 0: none kept
        int wrap;
        uint16_t expected;
    } cases[] = {
        {"a.bmp", 0x0012, 1, 0x0012}, {"b.bmp", 0x0002, 1, 0x0010}, {"c.bmp", -1, 1, 0x0010},
        {"d.bmp", -1, 0, 0x0000},     {"e.bmp", 0x00C2, 0, 0x0042},  // tints are not kept
    };
    int z = 0;
    for (const auto& c : cases) {
        std::vector<VgeTVector> moved = Square();
        for (VgeTVector& p : moved)
            p[2] = ++z;
        VOxaMesh* mesh = AddMesh(rig.manager, rig.Root(), c.image, moved, {{0, 1, 2}});
        VOxaTexture* texture = AddTexture(rig.manager, mesh, c.image);
        texture->SetWrapMode(c.wrap, c.wrap);
        if (c.flags >= 0.0) voxa_extras::SetNumber(texture, voxa_extras::kMapFlags3ds, c.flags);
        voxa_extras::SetNumber(texture, voxa_extras::kMapBlur3ds, 0.25);
        mesh->InitTextureIndices(4);
    }
    ASSERT_TRUE(rig.WriteTo(dir / "flags.3ds"));
    Loaded file(dir / "flags.3ds");
    ASSERT_TRUE(file.Ok());
    for (int i = 0; i < 5; ++i) {
        // The grey material's first record has its name; each other image needs another record.
        const std::string name = i == 0 ? std::string("Default") : std::to_string(i + 1) + ".Mat0Tex0";
        auto material = file.Material(name.c_str());
        ASSERT_TRUE(material) << name;
        const Ftk::MaterialMap& map = material->mMaps[Ftk::kTextureMap1];
        EXPECT_EQ(Ftk::MapFlags(map), cases[i].expected) << cases[i].image;
        EXPECT_FLOAT_EQ(map.mBlur, 0.25f) << cases[i].image;
    }
}

TEST(writer3ds_file, NodesPastTheSixteenBitNumbersAreLeftOutOfTheKeyframerNotNumberedTwice) {
    ScratchDir dir("many_nodes");
    Rig rig;
    // 65,540 dummies below the root: the keyframer numbers nodes 0 to 65,534 (65,535 is "none").
    constexpr int kNodes = 65540;
    for (int i = 0; i < kNodes; ++i)
        AddNode(rig.manager, rig.Root(), ("D" + std::to_string(i)).c_str());
    ASSERT_TRUE(rig.WriteTo(dir / "many.3ds"));
    const std::string bytes = ReadBytes(dir / "many.3ds");
    ASSERT_GE(bytes.size(), 6u);
    const Chunk keyframer = Child(bytes, Chunk{0x4D4D, 6, bytes.size()}, 0xB000);
    ASSERT_NE(keyframer.end, 0u);
    std::vector<bool> seen(65536, false);
    int nodes = 0, repeated = 0;
    for (const Chunk& node : Chunks(bytes, keyframer.begin, keyframer.end)) {
        if (node.tag != 0xB002) continue;
        const Chunk id = Child(bytes, node, 0xB030);
        ASSERT_NE(id.end, 0u) << nodes;
        const uint32_t value = ReadLE(bytes, id.begin, 2);
        EXPECT_LT(value, 65535u) << nodes;
        repeated += seen[value] ? 1 : 0;
        seen[value] = true;
        ++nodes;
    }
    EXPECT_EQ(nodes, 65535);
    EXPECT_EQ(repeated, 0);
    const std::string message = rig.writer.GetMessageText().Buffer();
    EXPECT_NE(message.find("5 objects are written without a keyframer node"), std::string::npos) << message;
}

// Writing reads nodes made without animation without making their channels (each would cost
// the node some kilobytes), and still writes their transform.
TEST(writer3ds_file, NodesWithoutCurvesAreWrittenWithoutMakingChannels) {
    ScratchDir dir("channels");
    Rig rig;
    VOxaNode* shape = nullptr;
    AddMesh(rig.manager, rig.Root(), "Tri",
            {VgeTVector(0, 0, 0, 1), VgeTVector(1, 0, 0, 1), VgeTVector(0, 1, 0, 1)}, {{0, 1, 2}}, &shape);
    VOxaNode* empty = AddNode(rig.manager, rig.Root(), "Empty");
    shape->SetLclTranslation(VgeTVector(1, 2, 3, 1));
    for (VOxaNode* node : {shape, empty})
        ASSERT_TRUE(node->GetCurrentTakeNode() && node->GetCurrentTakeNode()->HasDeferredChannels());
    ASSERT_TRUE(rig.WriteTo(dir / "c.3ds"));
    for (VOxaNode* node : {shape, empty})
        EXPECT_TRUE(node->GetCurrentTakeNode()->HasDeferredChannels()) << node->GetName();
    Loaded file(dir / "c.3ds");
    ASSERT_TRUE(file.Ok());
    auto record = file.Mesh("Tri");
    ASSERT_NE(record, nullptr);
    // Points in the parent's space, Z up: the translation (1, 2, 3) is (1, -3, 2).
    EXPECT_FLOAT_EQ(record->mVertices[0].x, 1.0f);
    EXPECT_FLOAT_EQ(record->mVertices[0].y, -3.0f);
    EXPECT_FLOAT_EQ(record->mVertices[0].z, 2.0f);
}
