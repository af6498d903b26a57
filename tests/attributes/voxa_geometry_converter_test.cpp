#include "attributes/voxa_geometry_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_patch.h"
#include "attributes/voxa_shape.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

std::vector<int> Triangle(VOxaMesh* mesh, int polygon) {
    return {mesh->GetPolygonVertex(polygon, 0), mesh->GetPolygonVertex(polygon, 1),
            mesh->GetPolygonVertex(polygon, 2)};
}

VOxaPatch* MakePatch(VOxaSdkManager& manager, int nu, VOxaPatchType ut, int nv, VOxaPatchType vt, int step) {
    VOxaPatch* patch = manager.CreatePatch();
    patch->InitControlPoints(nu, ut, nv, vt);
    patch->SetStep(step, step);
    VgeTVector* p = patch->GetControlPoints();
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < nu; ++i)
            p[j * nu + i] = VgeTVector(i, j, 0.1 * i * j, 1.0);
    return patch;
}

}  // namespace

TEST(attributes_GeometryConverter, PatchGridTrianglesAndUVs) {
    VOxaSdkManager manager;
    VOxaGeometryConverter* converter = manager.CreateGeometryConverter();
    ASSERT_NE(converter, nullptr);
    VOxaPatch* patch = MakePatch(manager, 4, eBEZIER, 4, eBEZIER, 1);
    // UVs the surface carries are replaced by the cells' own.
    patch->CreateLayer();
    VOxaLayerElementUV* old = new VOxaLayerElementUV();
    old->GetDirectArray().Add(VgeVector2(9, 9));
    old->GetIndexArray().Add(0);
    patch->GetLayer(0)->SetUVs(old);
    VOxaMesh* mesh = converter->TriangulatePatch(patch);
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetControlPointsCount(), 16);
    ASSERT_EQ(mesh->GetPolygonCount(), 18);
    EXPECT_EQ(mesh->GetTextureUVCount(), 36);
    EXPECT_EQ(Triangle(mesh, 0), std::vector<int>({0, 4, 1}));
    EXPECT_EQ(Triangle(mesh, 1), std::vector<int>({1, 4, 5}));
    const VgeVector2* uv = mesh->GetTextureUV();
    auto uvOf = [&](int polygon, int position) { return uv[mesh->GetTextureUVIndex(polygon, position)]; };
    EXPECT_NEAR(uvOf(0, 1)[1], 1.0 / 3, 1e-12);
    EXPECT_NEAR(uvOf(0, 2)[0], 1.0 / 3, 1e-12);
    EXPECT_NEAR(uvOf(0, 0)[0], 0.0, 1e-12);
    // Corner vertices are the corner control points, w = 1.
    EXPECT_NEAR(mesh->GetControlPoints()[15][0], 3.0, 1e-12);
    EXPECT_EQ(mesh->GetControlPoints()[15][3], 1.0);

    // Cubic B-spline closed in u, open in v, step 1: 4 x 2 vertices, one closing row of cells.
    VOxaPatch* ring = MakePatch(manager, 4, eBSPLINE, 4, eBSPLINE, 1);
    ring->SetClosed(true, false);
    VOxaMesh* tube = converter->TriangulatePatch(ring);
    ASSERT_NE(tube, nullptr);
    ASSERT_EQ(tube->GetControlPointsCount(), 8);
    ASSERT_EQ(tube->GetPolygonCount(), 8);
    EXPECT_EQ(Triangle(tube, 6), std::vector<int>({3, 7, 0})) << "the last cell closes on column 0";
    const VgeVector2* tuv = tube->GetTextureUV();
    EXPECT_NEAR(tuv[tube->GetTextureUVIndex(6, 2)][0], 1.0, 1e-12);
    EXPECT_NEAR(tuv[tube->GetTextureUVIndex(6, 0)][0], 0.75, 1e-12);

    EXPECT_EQ(mesh->GetLayer(0)->GetUVs()->GetIndexArray().GetCount(), 54) << "one UV index per corner";
    EXPECT_EQ(converter->TriangulatePatch(MakePatch(manager, 4, eCARDINAL, 4, eBEZIER, 0)), nullptr)
        << "a step of 0 gives no vertices";
    EXPECT_TRUE(manager.DestroyGeometryConverter(converter));
    EXPECT_FALSE(manager.DestroyGeometryConverter(converter));
}

TEST(attributes_GeometryConverter, LinksAndShapesFollowTheVertices) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    for (int mode = 0; mode < 3; ++mode) {
        VOxaPatch* patch = MakePatch(manager, 4, eBSPLINE, 4, eBSPLINE, 2);
        VOxaLink* link = manager.CreateLink();
        link->SetLinkMode(mode);
        link->AddControlPointIndex(0, 1.0);
        patch->AddLink(link);
        VOxaLink* second = manager.CreateLink();
        second->AddControlPointIndex(0, 3.0);
        second->AddControlPointIndex(5, 1.0);
        patch->AddLink(second);
        for (const char* name : {"Smile", "Frown"}) {
            VOxaShape* shape = manager.CreateShape();
            shape->InitControlPoints(16);
            patch->AddShape(shape, name);
        }
        VOxaMesh* mesh = converter.TriangulatePatch(patch);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(mesh->GetLinkCount(), 2);
        ASSERT_EQ(mesh->GetShapeCount(), 2);
        EXPECT_STREQ(mesh->GetShapeName(1), "Frown");
        EXPECT_EQ(mesh->GetShape(0)->GetControlPointsCount(), mesh->GetControlPointsCount());
        EXPECT_EQ(mesh->GetLink(0)->GetLinkMode(), mode == 0 ? 2 : mode);
        EXPECT_EQ(mesh->GetLink(1)->GetLinkMode(), mode == 0 ? 2 : mode) << "the first link's mode";
        // B-spline 4 x 4 open: one segment, 3 x 3 vertices; point 0's share of vertex 0 is 1/36.
        VOxaLink* moved = mesh->GetLink(0);
        ASSERT_GE(moved->GetControlPointIndicesCount(), 1);
        EXPECT_EQ(moved->GetControlPointIndices()[0], 0) << "increasing vertex order";
        for (int i = 1; i < moved->GetControlPointIndicesCount(); ++i)
            EXPECT_LT(moved->GetControlPointIndices()[i - 1], moved->GetControlPointIndices()[i]);
        // With mode 0 the link weights are normalised per control point: point 0 gives 1/4 to
        // the first link (1 / (1 + 3)).
        const double share = 1.0 / 36;
        EXPECT_NEAR(moved->GetControlPointWeights()[0], mode == 0 ? share * 0.25 : share, 1e-12);
    }
    // Without links the mesh has none.
    VOxaMesh* plain = converter.TriangulatePatch(MakePatch(manager, 4, eLINEAR, 4, eLINEAR, 1));
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->GetLinkCount(), 0);
}

TEST(attributes_GeometryConverter, NurbsTessellationAndRefusals) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaNurb* nurb = manager.CreateNurb();
    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(4, eOPEN, 4, eOPEN);
    nurb->SetStep(2, 2);
    const double knots[] = {0, 0, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 8; ++i)
        nurb->GetUKnotVector()[i] = nurb->GetVKnotVector()[i] = knots[i];
    for (int i = 0; i < 16; ++i)
        nurb->GetControlPoints()[i] = VgeTVector(i % 4, i / 4, 0, i == 5 ? 3.0 : 1.0);
    VOxaMesh* mesh = converter.TriangulateNurb(nurb);
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->GetControlPointsCount(), 9);
    EXPECT_EQ(mesh->GetPolygonCount(), 8);
    // The last sample stays just inside the span (spacing 1 / (step + 1e-8)).
    EXPECT_NEAR(mesh->GetControlPoints()[8][0], 3.0, 1e-7);
    nurb->SetOrder(5, 4);
    EXPECT_EQ(converter.TriangulateNurb(nurb), nullptr) << "order 5";
    nurb->SetOrder(4, 4);
    nurb->SetStep(1 << 20, 1 << 20);
    EXPECT_EQ(converter.TriangulateNurb(nurb), nullptr) << "more vertices than int indices address";
}

TEST(attributes_GeometryConverter, TriangulateMeshRefillsIndices) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(9);
    mesh->InitMaterialIndices(eBY_POLYGON);
    mesh->InitTextureUVIndices(eBY_POLYGON_VERTEX);
    for (int i = 0; i < 12; ++i)
        mesh->AddTextureUV(VgeVector2(i, 0));
    int uv = 0;
    mesh->BeginPolygon(4);
    for (int v : {0, 1, 2, 3})
        mesh->AddPolygonVertex(v, uv++);
    mesh->BeginPolygon(7);
    for (int v : {8, 7})
        mesh->AddPolygonVertex(v, uv++);
    mesh->BeginPolygon(5);
    for (int v : {4, 5, 6, 7, 8})
        mesh->AddPolygonVertex(v, uv++);
    VOxaMesh* tri = converter.TriangulateMesh(mesh);
    ASSERT_NE(tri, nullptr);
    ASSERT_EQ(tri->GetPolygonCount(), 5) << "2 + none for the line + 3";
    EXPECT_EQ(Triangle(tri, 0), std::vector<int>({0, 1, 2}));
    EXPECT_EQ(Triangle(tri, 1), std::vector<int>({2, 3, 0}));
    EXPECT_EQ(Triangle(tri, 4), std::vector<int>({4, 7, 8})) << "(0, 3, 4) of the pentagon";
    const VArrayTemplate<int>& uvIndex = tri->GetLayer(0)->GetUVs()->GetIndexArray();
    ASSERT_EQ(uvIndex.GetCount(), 15);
    const int expected[] = {0, 1, 2, 2, 3, 0, 6, 7, 8, 8, 9, 6, 6, 9, 10};
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(uvIndex[i], expected[i]) << "uv index " << i;
    VArrayTemplate<int>* materials = tri->GetMaterialIndices();
    ASSERT_EQ(materials->GetCount(), 5);
    EXPECT_EQ((*materials)[1], 4);
    EXPECT_EQ((*materials)[2], 5);
    EXPECT_EQ(tri->GetControlPointsCount(), 9);
}

TEST(attributes_GeometryConverter, PatchToNurbAndFlip) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaNurb* nurb = converter.ConvertPatchToNurb(MakePatch(manager, 4, eBEZIER, 4, eBEZIER, 3));
    ASSERT_NE(nurb, nullptr);
    ASSERT_EQ(nurb->GetUKnotCount(), 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(nurb->GetUKnotVector()[i], i < 4 ? 0.0 : 1.0);
    EXPECT_EQ(nurb->GetUStep(), 3);
    VOxaNurb* seven = converter.ConvertPatchToNurb(MakePatch(manager, 7, eBEZIER, 4, eLINEAR, 1));
    ASSERT_NE(seven, nullptr);
    const double bez[] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2};
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(seven->GetUKnotVector()[i], bez[i]) << i;
    const double lin[] = {0, 0, 1, 2, 3, 3};
    ASSERT_EQ(seven->GetVKnotCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(seven->GetVKnotVector()[i], lin[i]) << i;
    EXPECT_EQ(converter.ConvertPatchToNurb(MakePatch(manager, 4, eCARDINAL, 4, eBEZIER, 1)), nullptr);
    // A B-spline basis gives uniform knots 0, 1, 2, ...
    VOxaNurb* uniform = converter.ConvertPatchToNurb(MakePatch(manager, 6, eBSPLINE, 4, eBEZIER, 1));
    ASSERT_NE(uniform, nullptr);
    ASSERT_GT(uniform->GetUKnotCount(), 6);
    for (int i = 0; i < uniform->GetUKnotCount(); ++i)
        EXPECT_EQ(uniform->GetUKnotVector()[i], (double)i) << i;

    VOxaNurb* small = manager.CreateNurb();
    small->SetOrder(2, 2);
    small->InitControlPoints(3, eOPEN, 2, eOPEN);
    for (int i = 0; i < 6; ++i)
        small->GetControlPoints()[i] = VgeTVector(i, 0, 0, 1);
    VOxaLink* link = manager.CreateLink();
    link->AddControlPointIndex(5, 1.0);
    link->AddControlPointIndex(1, 1.0);
    link->AddControlPointIndex(6, 1.0);
    small->AddLink(link);
    VOxaNurb* flipped = converter.FlipNurb(small, true, true);
    ASSERT_NE(flipped, nullptr);
    EXPECT_EQ(flipped->GetUCount(), 2);
    EXPECT_EQ(flipped->GetVCount(), 3);
    EXPECT_EQ(flipped->GetControlPoints()[2 * 2 + 1][0], 5.0) << "old (u 2, v 1) at (u 1, v 2)";
    EXPECT_EQ(flipped->GetLink(0)->GetControlPointIndices()[0], 5);
    EXPECT_EQ(flipped->GetLink(0)->GetControlPointIndices()[1], 2);
    EXPECT_EQ(flipped->GetLink(0)->GetControlPointIndices()[2], 6) << "outside the grid: kept";
    EXPECT_EQ(converter.FlipNurb(nullptr, true, true), nullptr);
}

TEST(attributes_GeometryConverter, InPlaceKeepsShapeAnimationOfEveryTake) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaNode* node = manager.CreateNode("Surface");
    ASSERT_NE(node->AddTakeNode("Take 001"), nullptr);
    VOxaPatch* patch = MakePatch(manager, 4, eBSPLINE, 4, eBSPLINE, 1);
    VOxaShape* shape = manager.CreateShape();
    shape->InitControlPoints(16);
    patch->AddShape(shape, "Blink");
    node->SetNodeAttribute(patch);
    for (int t = 0; t < 2; ++t) {
        VFCurve* curve = patch->GetShapeChannel(node->GetTakeNode(t), 0);
        ASSERT_NE(curve, nullptr);
        curve->KeyAdd(VTime(100 * (t + 1)));
        curve->KeySetValue(0, 10.0f + t);
    }
    ASSERT_TRUE(converter.TriangulateInPlace(node));
    VOxaMesh* mesh = node->GetMesh();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetShapeCount(), 1);
    for (int t = 0; t < 2; ++t) {
        VFCurve* curve = mesh->GetShapeChannel(node->GetTakeNode(t), 0);
        ASSERT_NE(curve, nullptr);
        ASSERT_EQ(curve->KeyGetCount(), 1) << "take " << t;
        EXPECT_EQ(curve->KeyGetValue(0), 10.0f + t) << "take " << t;
    }
    // A mesh node triangulates again; a camera node does not.
    EXPECT_TRUE(converter.TriangulateInPlace(node));
    VOxaNode* eye = manager.CreateNode("Eye");
    eye->SetNodeAttribute(manager.CreateCamera());
    EXPECT_FALSE(converter.TriangulateInPlace(eye));
    EXPECT_EQ(eye->GetNodeAttributeType(), 7);

    VOxaNode* other = manager.CreateNode("Other");
    other->SetNodeAttribute(MakePatch(manager, 4, eBEZIER, 4, eLINEAR, 1));
    EXPECT_TRUE(converter.ConvertPatchToNurbInPlace(other));
    EXPECT_NE(other->GetNurb(), nullptr);
    EXPECT_FALSE(converter.ConvertPatchToNurbInPlace(other));
}

TEST(attributes_GeometryConverter, SplitMeshPerPolygonVertex) {
    VOxaSdkManager manager;
    VOxaGeometryConverter converter(&manager);
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        mesh->GetControlPoints()[i] = VgeTVector(i, 0, 0, 1);
    for (std::initializer_list<int> tri :
         {std::initializer_list<int>{0, 1, 2}, std::initializer_list<int>{2, 1, 3}}) {
        mesh->BeginPolygon();
        for (int v : tri)
            mesh->AddPolygonVertex(v);
    }
    VOxaLink* link = manager.CreateLink();
    link->AddControlPointIndex(1, 0.5);
    mesh->AddLink(link);
    EXPECT_FALSE(converter.SplitMeshPerPolygonVertex(mesh)) << "no normals per polygon vertex";
    mesh->InitNormals(6);
    ASSERT_TRUE(converter.SplitMeshPerPolygonVertex(mesh));
    ASSERT_EQ(mesh->GetControlPointsCount(), 6);
    EXPECT_EQ(mesh->GetControlPoints()[3][0], 2.0);
    EXPECT_EQ(mesh->GetPolygonVertex(1, 2), 5);
    ASSERT_EQ(mesh->GetLinkCount(), 1);
    VOxaLink* moved = mesh->GetLink(0);
    ASSERT_EQ(moved->GetControlPointIndicesCount(), 2);
    EXPECT_EQ(moved->GetControlPointIndices()[0], 1);
    EXPECT_EQ(moved->GetControlPointIndices()[1], 4);
}
