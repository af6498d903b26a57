#include "attributes/voxa_geometry_base.h"

#include <gtest/gtest.h>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "objects/vplug.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

TEST(attributes_GeometryBase, LayersByKind) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    EXPECT_EQ(mesh->GetLayer(-1), nullptr);
    EXPECT_EQ(mesh->GetLayer(0), nullptr);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(mesh->CreateLayer(), i);
    EXPECT_EQ(mesh->GetLayer(4), nullptr);
    mesh->GetLayer(0)->SetUVs(new VOxaLayerElementUV());
    mesh->GetLayer(2)->SetUVs(new VOxaLayerElementUV());
    mesh->GetLayer(3)->SetNormals(new VOxaLayerElementNormal());

    EXPECT_EQ(mesh->GetLayerCountOfType(5), 2);
    EXPECT_EQ(mesh->GetLayerCountOfType(1), 1);
    EXPECT_EQ(mesh->GetLayerCountOfType(9), 0);
    EXPECT_EQ(mesh->GetLayerOfType(1, 5), mesh->GetLayer(2));
    EXPECT_EQ(mesh->GetLayerIndexOfType(1, 5), 2);
    EXPECT_EQ(mesh->GetLayerIndexOfType(2, 5), -1);
    EXPECT_EQ(mesh->GetLayerOfType(0, 3), nullptr) << "no texture elements";
    // The typed index: the layer's rank among the layers of that kind.
    EXPECT_EQ(mesh->GetLayerTypedIndex(0, 5), 0);
    EXPECT_EQ(mesh->GetLayerTypedIndex(2, 5), 1);
    EXPECT_EQ(mesh->GetLayerTypedIndex(3, 1), 0);
    EXPECT_EQ(mesh->GetLayerTypedIndex(4, 5), -1);
    EXPECT_EQ(mesh->GetLayerTypedIndex(-1, 5), -1);
}

TEST(attributes_GeometryBase, AddMaterialAndTextureAnswersAndUses) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Box");
    ASSERT_TRUE(scene->GetRootNode()->AddChild(node));
    VOxaSceneContents* contents = node->GetSceneContents();
    ASSERT_NE(contents, nullptr);
    VOxaMesh* mesh = manager.CreateMesh();
    node->SetNodeAttribute(mesh);
    EXPECT_EQ(mesh->GetSceneContents(), contents);

    VOxaTexture* wood = manager.CreateTexture("Wood");
    EXPECT_EQ(mesh->AddTexture(wood, 2), 0);
    ASSERT_EQ(mesh->GetLayerCount(), 3) << "layers 0 to 2 are made";
    EXPECT_EQ(mesh->GetLayer(0)->GetTextures(), nullptr);
    ASSERT_NE(mesh->GetLayer(2)->GetTextures(), nullptr);
    EXPECT_EQ(mesh->GetLayer(2)->GetTextures()->GetReferenceMode(), eINDEX_TO_DIRECT);
    EXPECT_EQ(mesh->AddTexture(wood, 2), 0) << "a texture present answers its index";
    EXPECT_EQ(mesh->GetTextureCount(2), 1);
    EXPECT_EQ(mesh->GetTexture(0, 2), wood);
    EXPECT_EQ(mesh->GetTextureIndex("Wood", 2), 0);
    EXPECT_EQ(mesh->GetTextureIndex("wood", 2), -1);
    EXPECT_EQ(mesh->GetTextureIndex(nullptr, 2), -1);
    EXPECT_EQ(contents->GetTextureCount(), 1);

    VOxaMaterial* red = manager.CreateMaterial("Red");
    VOxaMaterial* blue = manager.CreateMaterial("Blue");
    EXPECT_EQ(mesh->AddMaterial(red, 0), 0);
    EXPECT_EQ(mesh->AddMaterial(red, 0), -1) << "a material present answers -1";
    EXPECT_EQ(mesh->AddMaterial(blue, 0), 1);
    EXPECT_EQ(mesh->AddMaterial(blue, -1), -1);
    EXPECT_EQ(mesh->GetLayer(0)->GetMaterials()->GetReferenceMode(), eDIRECT);
    EXPECT_EQ(mesh->GetMaterialIndex("Blue", 0), 1);
    EXPECT_EQ(mesh->GetMaterial(2, 0), nullptr);
    EXPECT_EQ(contents->GetMaterialCount(), 2);

    // The same texture in a second layer is a second use: leaving the node gives back exactly
    // the uses taken, so nothing stays registered.
    EXPECT_EQ(mesh->AddTexture(wood, 0), 0);
    node->SetNodeAttribute(nullptr);
    EXPECT_EQ(mesh->GetSceneContents(), nullptr);
    EXPECT_EQ(contents->GetTextureCount(), 0);
    EXPECT_EQ(contents->GetMaterialCount(), 0);
    // Attached again: every material and texture counted once per element entry.
    node->SetNodeAttribute(mesh);
    EXPECT_EQ(contents->GetMaterialCount(), 2);
    EXPECT_FALSE(contents->RemoveTexture(wood)) << "two uses: one removal leaves it listed";
}

TEST(attributes_GeometryBase, IndexReferenceCountsConnectedMaterials) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Box");
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->CreateLayer();
    auto* materials = new VOxaLayerElementMaterial();
    materials->SetReferenceMode(eINDEX);
    for (int index : {0, 2, 2, 5})
        materials->GetIndexArray().Add(index);
    mesh->GetLayer(0)->SetMaterials(materials);
    EXPECT_EQ(mesh->GetMaterialCount(0), 0) << "without node nothing is connected";
    EXPECT_EQ(mesh->GetMaterial(0, 0), nullptr);

    node->SetNodeAttribute(mesh);
    VOxaMaterial* connected[3];
    for (int i = 0; i < 3; ++i) {
        connected[i] = manager.CreateMaterial(i == 0 ? "A" : i == 1 ? "B" : "C");
        if (i < 2) {
            ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(connected[i]->GetPropertyHandler()));
        }
    }
    // Some other connected object is not a material.
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(manager.CreateTexture("T")->GetPropertyHandler()));
    EXPECT_EQ(mesh->GetMaterialCount(0), 2) << "3 distinct indices, 2 connected materials";
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(connected[2]->GetPropertyHandler()));
    EXPECT_EQ(mesh->GetMaterialCount(0), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(mesh->GetMaterial(i, 0), connected[i]) << i;
    EXPECT_EQ(mesh->GetMaterial(3, 0), nullptr);
    EXPECT_EQ(mesh->GetMaterial(-1, 0), nullptr);
    EXPECT_EQ(mesh->GetMaterialCount(1), 0);
}

TEST(attributes_GeometryBase, ControlPointsNormalsAndCopy) {
    VOxaSdkManager manager;
    VOxaMesh* mesh = manager.CreateMesh();
    mesh->InitControlPoints(-3);
    EXPECT_EQ(mesh->GetControlPointsCount(), 0);
    EXPECT_EQ(mesh->GetNormals(), nullptr);
    mesh->InitControlPoints(8);
    EXPECT_EQ(mesh->GetControlPointsCount(), 8);

    // Without a normal element SetControlPointAt stores the point alone: no normals are made.
    mesh->SetControlPointAt(VgeTVector(1, 2, 3, 1), VgeTVector(0, 0, 1, 0), 10);
    mesh->SetControlPointAt(VgeTVector(4, 5, 6, 1), VgeTVector(0, 0, 1, 0), 2);
    ASSERT_EQ(mesh->GetControlPointsCount(), 11);
    EXPECT_EQ(mesh->GetControlPoints()[10], VgeTVector(1, 2, 3, 1));
    EXPECT_EQ(mesh->GetControlPoints()[2], VgeTVector(4, 5, 6, 1));
    EXPECT_EQ(mesh->GetControlPoints()[9], VgeTVector(0, 0, 0, 0));
    EXPECT_EQ(mesh->GetNormals(), nullptr);
    mesh->InitControlPoints(8);

    mesh->InitNormals(0);
    ASSERT_NE(mesh->GetNormals(), nullptr);
    VOxaLayerElementNormal* normals = mesh->GetLayer(0)->GetNormals();
    EXPECT_EQ(normals->GetMappingMode(), eBY_CONTROL_POINT);
    EXPECT_EQ(normals->GetDirectArray().GetCount(), 8);
    mesh->InitNormals(24);
    EXPECT_EQ(normals->GetMappingMode(), eBY_POLYGON_VERTEX);
    EXPECT_EQ(normals->GetDirectArray().GetCount(), 24);
    mesh->InitNormals(8);
    EXPECT_EQ(normals->GetMappingMode(), eBY_CONTROL_POINT) << "a count equal to the points maps by point";
    EXPECT_EQ(mesh->GetLayerCount(), 1);

    mesh->InitControlPoints(4);
    mesh->InitNormals();
    mesh->SetControlPointAt(VgeTVector(1, 2, 3, 1), VgeTVector(0, 0, 1, 0), 10);
    EXPECT_EQ(mesh->GetControlPointsCount(), 11);
    EXPECT_EQ(normals->GetDirectArray().GetCount(), 11);
    EXPECT_EQ(mesh->GetControlPoints()[10], VgeTVector(1, 2, 3, 1));
    EXPECT_EQ(mesh->GetNormals()[10], VgeTVector(0, 0, 1, 0));
    EXPECT_EQ(mesh->GetControlPoints()[7], VgeTVector(0, 0, 0, 0));
    mesh->SetControlPointAt(VgeTVector(9, 9, 9, 1), VgeTVector(), -1);
    EXPECT_EQ(mesh->GetControlPointsCount(), 11);

    // The geometry-base copy: deep layers, then the points with their w.
    mesh->GetControlPoints()[2] = VgeTVector(4, 5, 6, 0.5);
    VOxaMesh* copy = manager.CreateMesh();
    static_cast<VOxaGeometryBase&>(*copy) = *mesh;
    ASSERT_EQ(copy->GetControlPointsCount(), 11);
    EXPECT_EQ(copy->GetControlPoints()[2][3], 0.5);
    ASSERT_NE(copy->GetNormals(), nullptr);
    EXPECT_NE(copy->GetNormals(), mesh->GetNormals());
    EXPECT_EQ(copy->GetNormals()[10], VgeTVector(0, 0, 1, 0));
}
