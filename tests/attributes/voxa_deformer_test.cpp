#include "attributes/voxa_deformer.h"

#include <gtest/gtest.h>

#include "attributes/voxa_link.h"
#include "attributes/voxa_texture.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

TEST(attributes_Deformer, KindsNamesAndDefaults) {
    VOxaSdkManager manager;
    struct {
        const char* typeName;
        int kind;
        const char* fullName;
    } cases[] = {{"Cluster", 2, "SubDeformer::D"},
                 {"cLUSTER", 2, "SubDeformer::D"},
                 {"skin", 1, "Deformer::D"},
                 {"", 1, "Deformer::D"},
                 {"Clusters", 1, "Deformer::D"}};
    for (const auto& c : cases) {
        VOxaDeformer* deformer = manager.CreateDeformer("D", c.typeName);
        ASSERT_NE(deformer, nullptr) << c.typeName;
        EXPECT_EQ(deformer->GetDeformerType(), c.kind) << c.typeName;
        EXPECT_STREQ(deformer->GetName(), c.fullName) << c.typeName;
        EXPECT_STREQ(deformer->GetTypeName().Buffer(), c.kind == 2 ? "Cluster" : "Skin") << c.typeName;
        EXPECT_TRUE(manager.DestroyDeformer(deformer)) << c.typeName;
    }
    EXPECT_EQ(manager.CreateDeformer("D", nullptr), nullptr) << "no type name, no deformer";
    EXPECT_FALSE(manager.DestroyDeformer(nullptr));

    VOxaDeformer* skin = manager.CreateDeformer("Skin", "Skin");
    EXPECT_EQ(skin->GetTypeCode(), 10);
    EXPECT_EQ(skin->GetAccuracy(), 50.0);
    EXPECT_EQ(skin->GetLinkMode(), 0) << "unlike a link, a new deformer has link mode 0";
    EXPECT_EQ(skin->GetTransformParentMatrix(), VMatrix());
    VStringList flags = skin->GetTypeFlags();
    ASSERT_EQ(flags.GetCount(), 1);
    EXPECT_STREQ(flags.GetStringAt(0), "Deformer");
    EXPECT_STREQ(skin->GetTakeNodeName(0), "Default");
    EXPECT_EQ(manager.GetObjectList().Find(skin->GetPropertyHandler()), 0) << "listed by the manager";
    EXPECT_TRUE(manager.DestroyDeformer(skin));
    EXPECT_FALSE(manager.DestroyDeformer(skin));
}

TEST(attributes_Deformer, CopyFromLinkAndSourceModels) {
    VOxaSdkManager manager;
    VOxaLink link;
    link.SetLinkMode(2);
    link.SetUserData("id", "data");
    link.AddControlPointIndex(3, 0.25);
    link.AddControlPointIndex(9, 0.75);
    link.SetTransformT(VgeTVector(1, 2, 3, 1));
    link.SetTransformLinkR(VgeTVector(0, 0, 90, 1));
    link.SetTransformParentS(VgeTVector(2, 2, 2, 1));

    VOxaDeformer* skin = manager.CreateDeformer("S", "Skin");
    skin->CopyFromLink(&link);
    EXPECT_EQ(skin->GetLinkMode(), 0) << "a skin is left unchanged";
    EXPECT_EQ(skin->GetIndexes().GetCount(), 0);

    VOxaDeformer* cluster = manager.CreateDeformer("C", "Cluster");
    cluster->GetIndexes().Add(42);
    cluster->CopyFromLink(&link);
    EXPECT_EQ(cluster->GetLinkMode(), 2);
    EXPECT_STREQ(cluster->GetUserData().Buffer(), "data");
    ASSERT_EQ(cluster->GetIndexes().GetCount(), 2) << "the old indices are replaced";
    EXPECT_EQ(cluster->GetIndexes()[0], 3);
    EXPECT_EQ(cluster->GetIndexes()[1], 9);
    EXPECT_EQ(cluster->GetWeights()[0], 0.25);
    EXPECT_EQ(cluster->GetWeights()[1], 0.75);
    EXPECT_TRUE(cluster->IsTransformParentSet());
    VMatrix expected;
    expected[3][0] = 1, expected[3][1] = 2, expected[3][2] = 3;
    EXPECT_EQ(cluster->GetTransformMatrix(), expected);
    VMatrix rotation;  // 90 degrees about Z: x goes to y, y to -x
    rotation[0][0] = 0, rotation[0][1] = 1, rotation[1][0] = -1, rotation[1][1] = 0;
    EXPECT_EQ(cluster->GetTransformLinkMatrix(), rotation);
    VMatrix scale;
    scale[0][0] = scale[1][1] = scale[2][2] = 2;
    EXPECT_EQ(cluster->GetTransformParentMatrix(), scale);

    // The source-model lists show node blocks only.
    auto* block = static_cast<VOxaClusterDeformerProperties*>(cluster->GetPropertyHandler());
    ASSERT_EQ(block->GetPropertyCount(), 2);
    EXPECT_EQ(block->GetProperty(0), block->GetSrcModel());
    EXPECT_STREQ(block->GetProperty(1)->GetName(), "SrcModelReference");
    VOxaNode* bone = manager.CreateNode("Bone");
    VOxaTexture* texture = manager.CreateTexture("T");
    EXPECT_TRUE(block->GetSrcModel()->Add(bone->GetPropertyHandler()));
    block->GetSrcModel()->Add(texture->GetPropertyHandler());
    ASSERT_EQ(block->GetSrcModel()->GetCount(), 1);
    EXPECT_EQ(block->GetSrcModel()->GetAt(0), bone->GetPropertyHandler());
}

TEST(attributes_Deformer, SceneContentsAndKindFilter) {
    VOxaSdkManager manager;
    VOxaSceneContents a(&manager), b(&manager);
    VOxaDeformer* skin = manager.CreateDeformer("S", "Skin");
    VOxaDeformer* c1 = manager.CreateDeformer("C1", "Cluster");
    VOxaDeformer* c2 = manager.CreateDeformer("C2", "Cluster");
    for (VOxaDeformer* d : {c1, skin, c2})
        d->SetSceneContents(&a);
    c1->SetSceneContents(&a);
    EXPECT_EQ(a.GetObjectList().GetCount(), 3) << "listed once";
    EXPECT_EQ(a.GetDeformerCount(0), 3);
    EXPECT_EQ(a.GetDeformerCount(1), 1);
    EXPECT_EQ(a.GetDeformerCount(2), 2);
    EXPECT_EQ(a.GetDeformerCount(3), 0);
    EXPECT_EQ(a.GetDeformer(1, 0), skin);
    EXPECT_EQ(a.GetDeformer(0, 1), skin);
    EXPECT_EQ(a.GetDeformer(1, 2), c2);
    EXPECT_EQ(a.GetDeformer(2, 2), nullptr);
    EXPECT_EQ(a.GetDeformer("SubDeformer::C2"), c2);
    EXPECT_EQ(a.GetDeformer("C2"), nullptr);

    c1->SetSceneContents(&b);
    EXPECT_EQ(b.GetDeformer(0, 2), c1);
    EXPECT_FALSE(a.RemoveDeformer(c1));
    EXPECT_EQ(a.GetLastErrorID(), VOxaSceneContents::eDeformerNotFound);
    EXPECT_TRUE(manager.DestroyDeformer(c2));
    EXPECT_EQ(a.GetDeformerCount(0), 1) << "a destroyed deformer leaves its contents";

    // Contents that die are forgotten, so the next move reaches no freed contents.
    {
        VOxaSceneContents gone(&manager);
        c1->SetSceneContents(&gone);
    }
    EXPECT_EQ(c1->GetSceneContents(), nullptr);
    c1->SetSceneContents(&b);
    EXPECT_EQ(b.GetDeformerCount(2), 1);
}
