// A written file read back gives the same positions, normals, UVs and materials.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/obj/obj_scene_util.h"

using namespace objtest;

namespace {

// Per polygon corner: position, normal and UV, in polygon order.
struct CornerData {
    double p[3], n[3], uv[2];
};

std::vector<CornerData> Corners(VOxaMesh* mesh) {
    std::vector<CornerData> out;
    const VgeVector2* uvs = mesh->GetTextureUV();
    for (int p = 0; p < mesh->GetPolygonCount(); ++p) {
        for (int k = 0; k < mesh->GetPolygonSize(p); ++k) {
            int c = mesh->GetPolygonVertex(p, k);
            CornerData d{};
            for (int i = 0; i < 3; ++i) {
                d.p[i] = mesh->GetControlPoints()[c][i];
                d.n[i] = mesh->GetNormals() ? mesh->GetNormals()[c][i] : 0.0;
            }
            int uv = mesh->GetTextureUVMappingMode() == 1 ? c : mesh->GetTextureUVIndex(p, k);
            if (uvs && uv >= 0) d.uv[0] = uvs[uv][0], d.uv[1] = uvs[uv][1];
            out.push_back(d);
        }
    }
    return out;
}

TEST(obj_roundtrip, PositionsNormalsUVsAndMaterialsSurvive) {
    ScratchDir dir("roundtrip");
    VOxaSdkManager source;
    VOxaScene* scene = source.CreateScene();
    BuildSampleScene(source, scene);
    VOxaWriterObj writer(&source);
    std::unique_ptr<VStreamOptions> wopt(writer.GetWriteOptions());
    const std::string path = dir / "round.obj";
    ASSERT_TRUE(writer.FileCreate(path.c_str()));
    ASSERT_TRUE(writer.Write(scene, wopt.get()));
    ASSERT_TRUE(writer.FileClose());

    VOxaSdkManager target;
    VOxaScene* back = target.CreateScene();
    VOxaReaderObj reader(&target);
    std::unique_ptr<VStreamOptions> ropt(reader.GetReadOptions());
    static_cast<VStreamOptionsObj*>(ropt.get())->SetOptionValue(1, 0);
    ASSERT_TRUE(reader.FileOpen(path.c_str()));
    ASSERT_TRUE(reader.Read(back, ropt.get())) << reader.GetMessageText().Buffer();
    EXPECT_STREQ(reader.GetMessageText().Buffer(), "");

    // Groups come back sorted by name: Box, Fan.
    ASSERT_EQ(back->GetRootNode()->GetChildCount(), 2);
    const char* names[] = {"Box", "Fan"};
    for (int i = 0; i < 2; ++i) {
        VOxaNode* original = source.GetNode(names[i], 0);
        VOxaNode* read = back->GetRootNode()->GetChild(i);
        ASSERT_STREQ(read->GetNameWithoutPrefix(), names[i]);
        std::vector<CornerData> a = Corners(static_cast<VOxaMesh*>(original->GetNodeAttribute()));
        std::vector<CornerData> b = Corners(static_cast<VOxaMesh*>(read->GetNodeAttribute()));
        ASSERT_EQ(a.size(), b.size());
        for (size_t c = 0; c < a.size(); ++c) {
            for (int j = 0; j < 3; ++j) {
                EXPECT_NEAR(a[c].p[j], b[c].p[j], 1e-6) << names[i] << " corner " << c;
                EXPECT_NEAR(a[c].n[j], b[c].n[j], 1e-6) << names[i] << " corner " << c;
            }
            // The box's UVs travel; the fan has none on either side.
            EXPECT_NEAR(a[c].uv[0], b[c].uv[0], 1e-6);
            EXPECT_NEAR(a[c].uv[1], b[c].uv[1], 1e-6);
        }
    }
    VOxaMaterial* red = target.GetMaterial("Red", 0);
    ASSERT_NE(red, nullptr);
    EXPECT_NEAR(red->GetDiffuse().mRed, 0.75, 1e-6);
    EXPECT_NEAR(red->GetDiffuse().mBlue, 0.25, 1e-6);
    EXPECT_NEAR(red->GetAmbient().mRed, 0.5, 1e-6);
    EXPECT_NEAR(red->GetOpacity(), 0.5, 1e-6);
    VOxaMesh* box = static_cast<VOxaMesh*>(back->GetRootNode()->GetChild(0)->GetNodeAttribute());
    EXPECT_EQ(box->GetMaterial(0, 0), red);
}

}  // namespace
