#include "attributes/voxa_material.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_texture.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// The three components of a colour property.
void PropertyColor(VOxaMaterial* material, const char* name, double out[3]) {
    double value[4] = {-1.0, -1.0, -1.0, -1.0};
    VProperty* property = material->GetPropertyHandler()->FindProperty(name);
    ASSERT_NE(property, nullptr) << name;
    property->GetValue(value);
    for (int k = 0; k < 3; ++k)
        out[k] = value[k];
}

double PropertyNumber(VOxaMaterial* material, const char* name) {
    VProperty* property = material->GetPropertyHandler()->FindProperty(name);
    return property ? property->GetDouble() : -1.0;
}

}  // namespace

TEST(attributes_Material, ShellOfATakeObject) {
    VOxaSdkManager manager;
    VOxaMaterial* material = manager.CreateMaterial("Skin");
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->GetName(), "Material::Skin");
    EXPECT_EQ(material->GetTypeCode(), 3);
    material->SetName("Other::Renamed");
    EXPECT_STREQ(material->GetName(), "Material::Renamed");

    VOxaPropertyHandler* block = material->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), material);
    EXPECT_TRUE(block->IsA(VOxaMaterial::GetClassId()));
    EXPECT_EQ(material->AddTakeNode("Default"), nullptr);
    EXPECT_STREQ(material->GetLastErrorString(), "Take node already exists");

    // Destroying drops the block's connections before the material goes.
    VPlug user;
    ASSERT_TRUE(user.ConnectSrc(block));
    EXPECT_TRUE(manager.DestroyMaterial(material));
    EXPECT_EQ(user.GetSrcCount(), 0);
}

TEST(attributes_Material, DefaultsInPropertiesAndCurves) {
    VOxaSdkManager manager;
    VOxaMaterial* material = manager.CreateMaterial("Paint");
    EXPECT_STREQ(material->GetShadingModel(), "phong");
    EXPECT_FALSE(material->GetMultiLayer());

    const char* const names[] = {"Emissive", "Ambient",      "Diffuse",  "Specular",
                                 "Opacity",  "Reflectivity", "Shininess"};
    VOxaPropertyHandler* block = material->GetPropertyHandler();
    ASSERT_EQ(block->GetPropertyCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(block->GetProperty(i)->GetName(), names[i]);
        EXPECT_TRUE(block->GetProperty(i)->IsAnimatable()) << names[i];
    }

    const double colors[4] = {0.0, 0.2, 0.8, 0.2};
    VFCurveNode* root = material->GetDefaultTakeNode()->GetVFCurveNode();
    for (int i = 0; i < 4; ++i) {
        double value[3];
        PropertyColor(material, names[i], value);
        for (int k = 0; k < 3; ++k) {
            EXPECT_DOUBLE_EQ(value[k], colors[i]) << names[i] << k;
            VFCurveNode* component = root->FindChild((std::string(names[i]) + "/" + "XYZ"[k]).c_str());
            ASSERT_TRUE(component && component->FCurveGet()) << names[i] << k;
            EXPECT_FLOAT_EQ(component->FCurveGet()->GetDefaultValue(), (float)colors[i]);
        }
    }
    EXPECT_FLOAT_EQ(material->GetDefaultTakeNode()->GetMaterialOpacity()->GetDefaultValue(), 1.0f);
    EXPECT_FLOAT_EQ(material->GetDefaultTakeNode()->GetMaterialReflectivity()->GetDefaultValue(), 0.3f);
    EXPECT_FLOAT_EQ(material->GetDefaultTakeNode()->GetMaterialShininess()->GetDefaultValue(), 6.4f);
    EXPECT_DOUBLE_EQ(PropertyNumber(material, "Shininess"), 6.4);
    EXPECT_NEAR(material->GetShininess(), 6.4 / 128.0, 1e-7);
    EXPECT_DOUBLE_EQ(material->GetDiffuse().mRed, (double)0.8f);
    EXPECT_DOUBLE_EQ(material->GetDiffuse().mAlpha, 1.0);
    // Each component comes back from its own place.
    material->SetSpecular(VOxaColor(0.25, 0.5, 0.75, 1.0));
    VOxaColor specular = material->GetSpecular();
    EXPECT_FLOAT_EQ((float)specular.mRed, 0.25f);
    EXPECT_FLOAT_EQ((float)specular.mGreen, 0.5f);
    EXPECT_FLOAT_EQ((float)specular.mBlue, 0.75f);
    EXPECT_DOUBLE_EQ(specular.mAlpha, 1.0);
}

TEST(attributes_Material, ClampsAndShininessScale) {
    VOxaSdkManager manager;
    VOxaMaterial* material = manager.CreateMaterial("Paint");
    VFCurve* shininess = material->GetDefaultTakeNode()->GetMaterialShininess();
    ASSERT_NE(shininess, nullptr);

    material->SetShininess(0.5);
    EXPECT_FLOAT_EQ(shininess->GetDefaultValue(), 64.0f);
    EXPECT_DOUBLE_EQ(PropertyNumber(material, "Shininess"), 64.0) << "the property follows the curve";
    // Up to 10, so that an OBJ "Ns 1000" and a 3DS shininess of 100% (2) are held as they are.
    material->SetShininess(2.0);
    EXPECT_FLOAT_EQ(shininess->GetDefaultValue(), 256.0f);
    material->SetShininess(12.0);
    EXPECT_FLOAT_EQ(shininess->GetDefaultValue(), 1280.0f);
    shininess->SetDefaultValue(200.0f);
    EXPECT_DOUBLE_EQ(material->GetShininess(), 1.5625);
    shininess->SetDefaultValue(2000.0f);
    EXPECT_DOUBLE_EQ(material->GetShininess(), 10.0);
    shininess->SetDefaultValue(-5.0f);
    EXPECT_DOUBLE_EQ(material->GetShininess(), 0.0);

    material->SetOpacity(-0.2);
    EXPECT_DOUBLE_EQ(material->GetOpacity(), 0.0);
    EXPECT_DOUBLE_EQ(PropertyNumber(material, "Opacity"), 0.0);
    material->SetReflectivity(1.5);
    EXPECT_DOUBLE_EQ(material->GetReflectivity(), 1.0);
    // Clamped on the way in only: a curve set directly reads back as it is.
    material->GetDefaultTakeNode()->GetMaterialOpacity()->SetDefaultValue(3.0f);
    EXPECT_DOUBLE_EQ(material->GetDefaultOpacity(), 3.0);

    // Colours are stored unclamped; the colour form clamps and answers alpha 1.
    material->SetDefaultDiffuse(VgeTVector(2.0, 3.0, 4.0, 0.0));
    VgeTVector diffuse(0.0, 0.0, 0.0, 7.0);
    material->GetDefaultDiffuse(diffuse);
    EXPECT_DOUBLE_EQ(diffuse.mData[0], 2.0);
    EXPECT_DOUBLE_EQ(diffuse.mData[2], 4.0);
    EXPECT_DOUBLE_EQ(diffuse.mData[3], 7.0) << "the fourth component is left alone";
    double property[3];
    PropertyColor(material, "Diffuse", property);
    EXPECT_DOUBLE_EQ(property[1], 3.0);
    material->SetSpecular(VOxaColor(0.5, 0.25, 0.125, 0.0));
    VOxaColor specular = material->GetSpecular();
    EXPECT_DOUBLE_EQ(specular.mGreen, 0.25);
    EXPECT_DOUBLE_EQ(specular.mAlpha, 1.0);

    // Without its channel the value lives in the property alone.
    VFCurveNode* root = material->GetDefaultTakeNode()->GetVFCurveNode();
    root->Delete(root->Find("Reflectivity"));
    material->SetReflectivity(0.75);
    EXPECT_DOUBLE_EQ(PropertyNumber(material, "Reflectivity"), 0.75);
    EXPECT_DOUBLE_EQ(material->GetReflectivity(), 0.75);
    material->SetOpacity(std::nan(""));
    EXPECT_TRUE(std::isnan(material->GetOpacity())) << "NaN is stored as given, not converted";
}

TEST(attributes_Material, ChannelsFromCurrentValuesAndCopies) {
    VOxaSdkManager manager;
    VOxaMaterial* material = manager.CreateMaterial("Paint");
    material->SetAmbient(VOxaColor(0.5, 0.5, 0.5, 1.0));
    material->SetShininess(0.25);
    material->SetShadingModel("lambert");
    material->SetMultiLayer(true);
    ASSERT_NE(material->AddTakeNode("Walk"), nullptr);

    // A rebuilt default take starts from the current properties, not the table defaults.
    material->ResetAll();
    EXPECT_EQ(material->GetTakeNodeCount(), 1);
    EXPECT_STREQ(material->GetShadingModel(), "phong");
    EXPECT_FALSE(material->GetMultiLayer());
    EXPECT_FLOAT_EQ(material->GetDefaultTakeNode()->GetMaterialAmbientG()->GetDefaultValue(), 0.5f);
    EXPECT_FLOAT_EQ(material->GetDefaultTakeNode()->GetMaterialShininess()->GetDefaultValue(), 32.0f);

    // Only the default take drives the properties.
    VOxaTakeNode* walk = material->AddTakeNode("Walk");
    ASSERT_NE(walk, nullptr);
    walk->GetMaterialOpacity()->SetDefaultValue(0.5f);
    EXPECT_DOUBLE_EQ(PropertyNumber(material, "Opacity"), 1.0);

    VOxaMaterial* copy = manager.CreateMaterial("Copy");
    copy->SetMultiLayer(true);
    material->SetShadingModel("blinn");
    material->SetMultiLayer(false);
    *copy = *material;
    EXPECT_STREQ(copy->GetShadingModel(), "blinn");
    EXPECT_TRUE(copy->GetMultiLayer()) << "assignment leaves the multi-layer flag";
    EXPECT_EQ(copy->GetTakeNodeCount(), 2);
    EXPECT_DOUBLE_EQ(copy->GetShininess(), 0.25);
}

TEST(attributes_Material, IsEqual) {
    VOxaSdkManager manager;
    VOxaMaterial* a = manager.CreateMaterial("Wood");
    VOxaMaterial* b = manager.CreateMaterial("Wood");
    VOxaMaterial* numbered = manager.CreateMaterial("Wood 2");
    ASSERT_STREQ(a->GetName(), b->GetName());
    b->SetShadingModel("Phong");
    b->SetMultiLayer(true);
    EXPECT_TRUE(a->IsEqual(*b)) << "shading model ignores case, multi-layer is not compared";
    EXPECT_FALSE(a->IsEqual(*numbered)) << "names compare exactly";

    b->SetDiffuse(VOxaColor(0.8, 0.8, 0.7, 1.0));
    EXPECT_FALSE(a->IsEqual(*b));
    b->SetDiffuse(VOxaColor(0.8, 0.8, 0.8, 1.0));
    EXPECT_TRUE(a->IsEqual(*b));
    b->SetShininess(0.5);
    EXPECT_FALSE(a->IsEqual(*b));
    b->SetShininess(6.4 / 128.0);
    b->SetShadingModel("lambert");
    EXPECT_FALSE(a->IsEqual(*b));
}

TEST(attributes_Material, MapsByRoleCopiedAndCompared) {
    VOxaSdkManager manager;
    VOxaMaterial* a = manager.CreateMaterial("Wood");
    VOxaMaterial* b = manager.CreateMaterial("Wood");
    VOxaTexture* bump = manager.CreateTexture("grain");
    VOxaTexture* gloss = manager.CreateTexture("gloss");
    EXPECT_FALSE(a->HasMaps());
    a->SetMap(VOxaMaterial::eMAP_BUMP, bump);
    a->SetMap(VOxaMaterial::eMAP_SPECULAR, gloss);
    a->SetMap(VOxaMaterial::eMAP_ROLE_COUNT, gloss);  // out of range: ignored
    EXPECT_TRUE(a->HasMaps());
    EXPECT_EQ(a->GetMap(VOxaMaterial::eMAP_BUMP), bump);
    EXPECT_EQ(a->GetMap(VOxaMaterial::eMAP_SPECULAR), gloss);
    EXPECT_EQ(a->GetMap(VOxaMaterial::eMAP_OPACITY), nullptr);
    EXPECT_EQ(a->GetMap(VOxaMaterial::eMAP_ROLE_COUNT), nullptr);
    EXPECT_FALSE(a->IsEqual(*b)) << "a material with a bump map is not one without";

    *b = *a;
    EXPECT_EQ(b->GetMap(VOxaMaterial::eMAP_BUMP), bump) << "assignment copies the maps";
    EXPECT_TRUE(a->IsEqual(*b));
    b->SetMap(VOxaMaterial::eMAP_BUMP, nullptr);
    EXPECT_FALSE(a->IsEqual(*b));
    b->SetMap(VOxaMaterial::eMAP_SPECULAR, nullptr);
    EXPECT_FALSE(b->HasMaps());
}

TEST(attributes_Material, RegistersWithTheSceneOfAUsingNode) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* first = manager.CreateNode("First");
    VOxaNode* second = manager.CreateNode("Second");
    ASSERT_TRUE(scene->GetRootNode()->AddChild(first));
    ASSERT_TRUE(scene->GetRootNode()->AddChild(second));
    VOxaSceneContents* contents = first->GetSceneContents();
    ASSERT_NE(contents, nullptr);
    int before = contents->GetMaterialCount();

    VOxaMaterial* material = manager.CreateMaterial("Paint");
    ASSERT_TRUE(first->GetPropertyHandler()->ConnectSrc(material->GetPropertyHandler()));
    ASSERT_TRUE(second->GetPropertyHandler()->ConnectSrc(material->GetPropertyHandler()));
    EXPECT_EQ(contents->GetMaterialCount(), before + 1);
    EXPECT_EQ(contents->GetMaterialByName("Material::Paint"), material);

    // A block of something that is not a node registers nothing, and is not taken for a node.
    VOxaMaterial* other = manager.CreateMaterial("Other");
    VOxaMaterial* holder = manager.CreateMaterial("Holder");
    ASSERT_TRUE(holder->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    EXPECT_EQ(contents->GetMaterialByName("Material::Other"), nullptr);

    // A node outside any scene registers nothing either.
    VOxaNode* loose = manager.CreateNode("Loose");
    ASSERT_TRUE(loose->GetPropertyHandler()->ConnectSrc(other->GetPropertyHandler()));
    EXPECT_EQ(contents->GetMaterialCount(), before + 1);
}
