#include "attributes/voxa_mesh.h"

#include <gtest/gtest.h>

#include <cmath>

#include "attributes/voxa_link.h"
#include "attributes/voxa_shape.h"
#include "scene/voxa_sdk_manager.h"

namespace {

void ExpectVector(const VgeTVector& actual, double x, double y, double z, double w, const char* what) {
    EXPECT_NEAR(actual[0], x, 1e-12) << what;
    EXPECT_NEAR(actual[1], y, 1e-12) << what;
    EXPECT_NEAR(actual[2], z, 1e-12) << what;
    EXPECT_NEAR(actual[3], w, 1e-12) << what;
}

void AddPolygon(VOxaMesh* mesh, std::initializer_list<int> points, int group = 0) {
    mesh->BeginPolygon(-1, -1, group);
    for (int point : points)
        mesh->AddPolygonVertex(point);
    mesh->EndPolygon();
}

}  // namespace

TEST(attributes_Mesh, PolygonRecordsAndLayerIndices) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    EXPECT_EQ(mesh->GetAttributeType(), 4);
    EXPECT_STREQ(mesh->GetTypeName().Buffer(), "Mesh");
    EXPECT_EQ(mesh->AddPolygonVertex(3), 0) << "no polygon begun";
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 0);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), 1);

    // Without InitMaterialIndices: index -1 makes no element, the first polygon's index 0 an
    // empty unmapped one; nothing is recorded.
    mesh->BeginPolygon(-1, -1, 7);
    EXPECT_EQ(mesh->GetLayer(0)->GetMaterials(), nullptr);
    mesh->Reset();
    mesh->BeginPolygon(0, 0, 7);
    ASSERT_NE(mesh->GetLayer(0)->GetMaterials(), nullptr);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), eNO_MAPPING);
    EXPECT_EQ(mesh->GetLayer(0)->GetMaterials()->GetIndexArray().GetCount(), 0);
    EXPECT_EQ(mesh->GetLayer(0)->GetTextures()->GetReferenceMode(), eINDEX_TO_DIRECT);
    EXPECT_EQ(mesh->GetMaterialIndices(), nullptr);
    mesh->Reset();
    EXPECT_EQ(mesh->GetLayerCount(), 0);

    // Per-polygon materials and textures, per-polygon-vertex UV indices.
    mesh->InitMaterialIndices(3);
    mesh->InitTextureIndices(3);
    mesh->InitTextureUVIndices(2);
    const int materials[] = {2, 0, 1};
    for (int p = 0; p < 3; ++p) {
        mesh->BeginPolygon(materials[p], 10 + p, 100 + p);
        for (int v = 0; v < 3 + p; ++v)
            EXPECT_EQ(mesh->AddPolygonVertex(v, 20 + v), v + 1);
        mesh->EndPolygon();
    }
    ASSERT_EQ(mesh->GetPolygonCount(), 3);
    EXPECT_EQ(mesh->GetPolygonVertexCount(), 12);
    EXPECT_EQ(mesh->GetPolygonSize(1), 4);
    EXPECT_EQ(mesh->GetPolygonSize(3), -1);
    EXPECT_EQ(mesh->GetPolygonGroup(2), 102);
    EXPECT_EQ(mesh->GetPolygonGroup(-1), -1);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 3), 3);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 4), -1);
    EXPECT_EQ(mesh->GetPolygonVertex(0, -1), -1);
    VArrayTemplate<int>* indices = mesh->GetMaterialIndices();
    ASSERT_NE(indices, nullptr);
    ASSERT_EQ(indices->GetCount(), 3);
    for (int p = 0; p < 3; ++p)
        EXPECT_EQ((*indices)[p], materials[p]);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), eBY_POLYGON);
    EXPECT_EQ((*mesh->GetTextureIndices())[2], 12);
    EXPECT_EQ(mesh->GetTextureMappingMode(), eBY_POLYGON);
    EXPECT_EQ(mesh->GetTextureUVMappingMode(), eBY_POLYGON_VERTEX);
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 2), 22) << "stored at first + position";
    EXPECT_EQ(mesh->GetTextureUVIndex(1, 4), -1);
    mesh->SetTextureUVIndex(2, 0, 99);
    EXPECT_EQ(mesh->GetTextureUVIndex(2, 0), 99);

    // UVs by control point: the UV index is not stored. A short index array reads -1.
    mesh->InitTextureUVIndices(1);
    mesh->BeginPolygon(0, 0, 0);
    mesh->AddPolygonVertex(0, 5);
    EXPECT_EQ(mesh->GetLayer(0)->GetUVs()->GetIndexArray().GetCount(), 0);
    EXPECT_EQ(mesh->GetTextureUVIndex(3, 0), -1);
    mesh->InitTextureUVIndices(2);
    EXPECT_EQ(mesh->GetTextureUVIndex(0, 0), -1) << "index array emptied";
    mesh->InitTextureUV(2);
    mesh->AddTextureUV(VgeVector2(0.5, 0.25));
    EXPECT_EQ(mesh->GetTextureUVCount(), 3);
    EXPECT_EQ(mesh->GetTextureUV()[2], VgeVector2(0.5, 0.25));

    // The other material modes.
    mesh->InitMaterialIndices(4);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), eALL_SAME);
    EXPECT_EQ(mesh->GetMaterialIndices()->GetCount(), 1);
    mesh->InitMaterialIndices(1);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), eALL_SAME) << "no control points: mapping unchanged";
    mesh->InitControlPoints(5);
    mesh->InitMaterialIndices(1);
    EXPECT_EQ(mesh->GetMaterialMappingMode(), eBY_CONTROL_POINT);
    EXPECT_EQ(mesh->GetMaterialIndices()->GetCount(), 5);
}

TEST(attributes_Mesh, ComputedNormalsAndWinding) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(6);
    VgeTVector* p = mesh->GetControlPoints();
    p[0] = VgeTVector(0, 0, 0, 1);
    p[1] = VgeTVector(1, 0, 0, 1);
    p[2] = VgeTVector(1, 1, 0, 1);
    p[3] = VgeTVector(0, 1, 0, 1);
    p[4] = VgeTVector(0, 0, 2, 1);
    p[5] = VgeTVector(5, 5, 5, 1);  // used by no polygon
    AddPolygon(mesh, {0, 1, 2, 3});
    AddPolygon(mesh, {0, 4, 1});
    EXPECT_FALSE(mesh->CheckVertexNormalsWinding()) << "no normals";

    // Corners of point 0: (1,0,0)x(0,1,0) = (0,0,1) from the quad and (0,0,2)x(1,0,0) = (0,2,0)
    // from the triangle; the sum (0,2,1) normalised. Point 1 likewise; point 4 only (0,2,0).
    mesh->ComputeVertexNormals(false);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), 1);
    const VgeTVector* n = mesh->GetNormals();
    const double a = 2.0 / std::sqrt(5.0), b = 1.0 / std::sqrt(5.0);
    ExpectVector(n[0], 0, a, b, 1, "point 0");
    ExpectVector(n[1], 0, a, b, 1, "point 1");
    ExpectVector(n[2], 0, 0, 1, 1, "point 2");
    ExpectVector(n[4], 0, 1, 0, 1, "point 4");
    ExpectVector(n[5], 0, 0, 0, 1, "unused point");
    EXPECT_TRUE(mesh->CheckVertexNormalsWinding());

    // By control point: the normal of the vertex's point, not the entry at its position.
    VgeTVector out(9, 9, 9, 9);
    ASSERT_TRUE(mesh->GetPolygonVertexNormal(1, 1, out));
    ExpectVector(out, 0, 1, 0, 1, "triangle vertex 1 (point 4)");
    EXPECT_FALSE(mesh->GetPolygonVertexNormal(1, 3, out));
    // Index-to-direct: through the index array; a short one answers nothing.
    VOxaLayerElementNormal* element = mesh->GetLayer(0)->GetNormals();
    element->SetReferenceMode(eINDEX_TO_DIRECT);
    for (int i : {2, 2, 2, 2, 0})
        element->GetIndexArray().Add(i);
    ASSERT_TRUE(mesh->GetPolygonVertexNormal(1, 1, out));
    ExpectVector(out, 0, a, b, 1, "point 4 through index 0");
    out = VgeTVector(9, 9, 9, 9);
    element->GetIndexArray().RemoveAt(4);
    EXPECT_FALSE(mesh->GetPolygonVertexNormal(1, 1, out)) << "no index for point 4";
    EXPECT_EQ(out[0], 9.0);
    element->SetReferenceMode(eDIRECT);

    // Turned over: no used point matches, though the unused one would compare equal.
    mesh->ComputeVertexNormals(true);
    ExpectVector(mesh->GetNormals()[2], 0, 0, -1, 1, "point 2 turned over");
    EXPECT_FALSE(mesh->CheckVertexNormalsWinding());

    // Vertices pointing outside the points add nothing and break nothing.
    AddPolygon(mesh, {0, 99, -4});
    mesh->ComputeVertexNormals(false);
    ExpectVector(mesh->GetNormals()[0], 0, a, b, 1, "bad polygon skipped");
}

TEST(attributes_Mesh, SplitAndMergeRoundTrip) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(6);
    VgeTVector* p = mesh->GetControlPoints();
    for (int i = 0; i < 6; ++i)
        p[i] = VgeTVector(i % 3, i / 3, 0, 1);
    // Two quads sharing the edge 1-4, each with its own normals per polygon vertex.
    AddPolygon(mesh, {0, 1, 4, 3});
    AddPolygon(mesh, {1, 2, 5, 4});
    mesh->InitNormals(8);
    for (int at = 0; at < 8; ++at)
        mesh->GetNormals()[at] = VgeTVector(0, at < 4 ? 1 : -1, at, 1);
    VOxaLink* link = manager.CreateLink();
    link->SetUserData("id", "data");
    link->AddControlPointIndex(1, 0.5);
    link->AddControlPointIndex(5, 0.25);
    mesh->AddLink(link);
    VOxaShape* shape = manager.CreateShape();
    shape->InitControlPoints(6);
    for (int i = 0; i < 6; ++i)
        shape->GetControlPoints()[i] = VgeTVector(i, 10, 0, 1);
    mesh->AddShape(shape, "Bend");

    VOxaPointSplitTable table;
    mesh->BuildPointSplitTable(table, 1);
    EXPECT_EQ(table.GetPointCount(), 0) << "a non-zero flag does nothing";
    mesh->BuildPointSplitTable(table, 0);
    ASSERT_EQ(table.GetEntryCount(1), 2);
    EXPECT_EQ(table.GetEntryCount(0), 1);
    EXPECT_EQ(table.GetEntries(1)[0].mNewIndex, 1);
    EXPECT_EQ(table.GetEntries(1)[1].mPolygonVertex, 4);
    mesh->SplitPoints(table);

    ASSERT_EQ(mesh->GetControlPointsCount(), 8);
    EXPECT_EQ(mesh->GetNormalsMappingMode(), 1);
    for (int at = 0; at < 8; ++at) {
        const int point = mesh->GetPolygonVertices()[at];
        EXPECT_EQ(mesh->GetNormals()[point], VgeTVector(0, at < 4 ? 1 : -1, at, 1)) << "vertex " << at;
    }
    EXPECT_EQ(mesh->GetControlPoints()[mesh->GetPolygonVertex(1, 0)], VgeTVector(1, 0, 0, 1));
    ASSERT_EQ(link->GetControlPointIndicesCount(), 3);
    EXPECT_EQ(link->GetControlPointWeights()[2], 0.5);
    ASSERT_EQ(shape->GetControlPointsCount(), 8);
    EXPECT_EQ(shape->GetControlPoints()[mesh->GetPolygonVertex(1, 0)], VgeTVector(1, 10, 0, 1));

    VArrayTemplate<int> map;
    EXPECT_FALSE(mesh->FindDuplicatePoints(map, 1, true));
    ASSERT_TRUE(mesh->FindDuplicatePoints(map, 0, true));
    ASSERT_EQ(map.GetCount(), 8);
    EXPECT_EQ(map[6], 1);
    EXPECT_EQ(map[7], 4);
    mesh->MergeDuplicatePoints(map);

    ASSERT_EQ(mesh->GetControlPointsCount(), 6);
    const int expected[] = {0, 1, 4, 3, 1, 2, 5, 4};
    for (int at = 0; at < 8; ++at)
        EXPECT_EQ(mesh->GetPolygonVertices()[at], expected[at]) << at;
    EXPECT_EQ(mesh->GetNormalsMappingMode(), 2);
    for (int at = 0; at < 8; ++at) {
        VgeTVector normal;
        ASSERT_TRUE(mesh->GetPolygonVertexNormal(at / 4, at % 4, normal));
        EXPECT_EQ(normal, VgeTVector(0, at < 4 ? 1 : -1, at, 1)) << "normals survive the round trip, " << at;
    }
    ASSERT_EQ(link->GetControlPointIndicesCount(), 2) << "the split pair merges back into one";
    EXPECT_EQ(link->GetControlPointIndices()[1], 5);
    EXPECT_STREQ(link->GetUserDataByID("id").Buffer(), "data");
    ASSERT_EQ(shape->GetControlPointsCount(), 6);
    EXPECT_EQ(shape->GetControlPoints()[5], VgeTVector(5, 10, 0, 1));
}

TEST(attributes_Mesh, MergeCompactsAroundAnEarlyDuplicate) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(5);
    VgeTVector* p = mesh->GetControlPoints();
    p[0] = VgeTVector(0, 0, 0, 1);
    p[1] = VgeTVector(0, 0, 5e-7, 1);  // equal to point 0 within 1e-6
    p[2] = VgeTVector(1, 0, 0, 1);
    p[3] = VgeTVector(0, 1, 0, 1);
    p[4] = VgeTVector(1, 0, 0, 1);  // equal to point 2
    AddPolygon(mesh, {1, 2, 3});
    AddPolygon(mesh, {0, 4, 3});
    auto* colors = new VOxaLayerElementVertexColor();
    colors->SetMappingMode(eBY_CONTROL_POINT);
    for (int i = 0; i < 5; ++i)
        colors->GetDirectArray().Add(VOxaColor(0.1 * i, 0, 0, 1));
    mesh->GetLayer(0)->SetVertexColors(colors);
    VOxaLink* link = manager.CreateLink();
    link->AddControlPointIndex(3, 1.0);
    mesh->AddLink(link);

    // Without findAll only the points before the first duplicate are merged into.
    VArrayTemplate<int> map;
    ASSERT_TRUE(mesh->FindDuplicatePoints(map, 0, false));
    EXPECT_EQ(map[1], 0);
    EXPECT_EQ(map[4], 4);
    ASSERT_TRUE(mesh->FindDuplicatePoints(map, 0, true));
    EXPECT_EQ(map[4], 2);

    mesh->MergeDuplicatePoints(map);
    ASSERT_EQ(mesh->GetControlPointsCount(), 3);
    EXPECT_EQ(mesh->GetControlPoints()[2], VgeTVector(0, 1, 0, 1)) << "point 3 moved down to 2";
    const int expected[] = {0, 1, 2, 0, 1, 2};
    for (int at = 0; at < 6; ++at)
        EXPECT_EQ(mesh->GetPolygonVertices()[at], expected[at]) << at;
    ASSERT_EQ(colors->GetDirectArray().GetCount(), 3);
    EXPECT_DOUBLE_EQ(colors->GetDirectArray()[2].mRed, 0.3);
    ASSERT_EQ(link->GetControlPointIndicesCount(), 1);
    EXPECT_EQ(link->GetControlPointIndices()[0], 2);

    // A map of the wrong length or with odd entries keeps the points it cannot place.
    map.Clear();
    map.Add(0);
    map.Add(7);
    mesh->MergeDuplicatePoints(map);
    EXPECT_EQ(mesh->GetControlPointsCount(), 3);
}

TEST(attributes_Mesh, CopyTakesPolygons) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(3);
    mesh->InitMaterialIndices(3);
    mesh->BeginPolygon(1, -1, 4);
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygonVertex(i);
    VOxaMesh* copy = manager.CreateMesh();
    AddPolygon(copy, {0, 0, 0, 0, 0});
    *copy = *mesh;
    ASSERT_EQ(copy->GetPolygonCount(), 1);
    EXPECT_EQ(copy->GetPolygonSize(0), 3);
    EXPECT_EQ(copy->GetPolygonGroup(0), 4);
    EXPECT_EQ(copy->GetPolygonVertex(0, 2), 2);
    EXPECT_EQ((*copy->GetMaterialIndices())[0], 1);
    EXPECT_EQ(copy->GetControlPointsCount(), 3);
}
