#include "attributes/voxa_layer.h"

#include <gtest/gtest.h>

TEST(attributes_Layer, ElementsByKindAndModeNames) {
    VOxaLayer layer;
    for (int type = 0; type <= 7; ++type)
        EXPECT_EQ(layer.GetLayerElement(type), nullptr) << type;
    auto* uvs = new VOxaLayerElementUV();
    auto* colors = new VOxaLayerElementVertexColor();
    layer.SetUVs(uvs);
    layer.SetVertexColors(colors);
    EXPECT_EQ(layer.GetLayerElement(5), uvs);
    EXPECT_EQ(layer.GetLayerElement(6), colors);
    EXPECT_EQ(layer.GetLayerElement(7), nullptr);
    EXPECT_EQ(layer.GetLayerElement(0), nullptr);

    // Only the texture element starts with an index-to-direct reference.
    VOxaLayerElementTexture texture;
    EXPECT_EQ(texture.GetMappingMode(), eNO_MAPPING);
    EXPECT_EQ(texture.GetReferenceMode(), eINDEX_TO_DIRECT);
    EXPECT_EQ(texture.GetBlendMode(), eTRANSLUCENT);
    EXPECT_EQ(texture.GetAlpha(), 1.0);
    EXPECT_EQ(uvs->GetReferenceMode(), eDIRECT);

    EXPECT_STREQ(VOxaGetMappingModeName(2), "ByPolygonVertex");
    EXPECT_STREQ(VOxaGetMappingModeName(1), "ByVertice");
    EXPECT_STREQ(VOxaGetMappingModeName(7), "NoMappingInformation");
    EXPECT_STREQ(VOxaGetMappingModeName(-1), "NoMappingInformation");
    EXPECT_STREQ(VOxaGetReferenceModeName(2), "IndexToDirect");
    EXPECT_STREQ(VOxaGetReferenceModeName(5), "Direct");
    EXPECT_STREQ(VOxaGetBlendModeName(3), "Modulate2");
    EXPECT_STREQ(VOxaGetBlendModeName(9), "Translucent");

    layer.Clear();
    EXPECT_EQ(layer.GetUVs(), nullptr);
    EXPECT_EQ(layer.GetVertexColors(), nullptr);
}

TEST(attributes_Layer, CopyIsDeepButSharesObjects) {
    VOxaLayer source;
    auto* textures = new VOxaLayerElementTexture();
    VOxaTexture* shared = reinterpret_cast<VOxaTexture*>(&source);  // only compared, never used
    textures->GetDirectArray().Add(shared);
    textures->GetIndexArray().Add(0);
    textures->SetBlendMode(3);
    textures->SetAlpha(0.5);
    textures->SetMappingMode(eBY_POLYGON);
    source.SetTextures(textures);
    auto* colors = new VOxaLayerElementVertexColor();
    VOxaColor raw;
    raw.mRed = 1.5;
    raw.mGreen = -0.2;
    raw.mBlue = 0.3;
    raw.mAlpha = 1.0;
    colors->GetDirectArray().Add(raw);
    source.SetVertexColors(colors);

    VOxaLayer copy;
    copy.SetNormals(new VOxaLayerElementNormal());  // cleared by the copy
    copy.CopyFrom(source);
    EXPECT_EQ(copy.GetNormals(), nullptr);
    ASSERT_NE(copy.GetTextures(), nullptr);
    EXPECT_NE(copy.GetTextures(), textures);
    EXPECT_EQ(copy.GetTextures()->GetBlendMode(), 3);
    EXPECT_EQ(copy.GetTextures()->GetAlpha(), 0.5);
    EXPECT_EQ(copy.GetTextures()->GetMappingMode(), eBY_POLYGON);
    EXPECT_EQ(copy.GetTextures()->GetReferenceMode(), eINDEX_TO_DIRECT);
    ASSERT_EQ(copy.GetTextures()->GetDirectArray().GetCount(), 1);
    EXPECT_EQ(copy.GetTextures()->GetDirectArray()[0], shared);
    ASSERT_EQ(copy.GetTextures()->GetIndexArray().GetCount(), 1);

    ASSERT_NE(copy.GetVertexColors(), nullptr);
    const VOxaColor& kept = copy.GetVertexColors()->GetDirectArray()[0];
    EXPECT_EQ(kept.mRed, 1.5) << "vertex colours are copied unclamped";
    EXPECT_EQ(kept.mGreen, -0.2);
    EXPECT_EQ(kept.mBlue, 0.3);

    // The copy owns its elements: changing the source leaves it alone.
    textures->GetDirectArray().Add(nullptr);
    EXPECT_EQ(copy.GetTextures()->GetDirectArray().GetCount(), 1);
}

TEST(attributes_Layer, UVThirdCoordinatesAreCopiedAndCountOnlyInStep) {
    VOxaLayer source;
    auto* uvs = new VOxaLayerElementUV();
    uvs->GetDirectArray().Add(VgeVector2(0.25, 0.5));
    uvs->GetDirectArray().Add(VgeVector2(1.0, 1.0));
    source.SetUVs(uvs);
    double w = 7.0;
    EXPECT_FALSE(uvs->GetW(0, w)) << "no w array: no item has a w";
    uvs->GetWArray().Add(std::nan(""));
    EXPECT_FALSE(uvs->GetW(0, w)) << "one w for two items is out of step";
    uvs->GetWArray().Add(-2.0);
    EXPECT_FALSE(uvs->GetW(0, w)) << "NaN: this item has none";
    EXPECT_FALSE(uvs->GetW(2, w));
    VOxaLayer copy;
    copy.CopyFrom(source);
    ASSERT_NE(copy.GetUVs(), nullptr);
    ASSERT_TRUE(copy.GetUVs()->GetW(1, w));
    EXPECT_EQ(w, -2.0);
}
