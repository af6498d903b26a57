#include "attributes/voxa_texture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_video.h"

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(attributes_Texture, ShellOfATakeObject) {
    VOxaSdkManager manager;
    VOxaTexture* texture = manager.CreateTexture("Wood");
    ASSERT_NE(texture, nullptr);
    EXPECT_STREQ(texture->GetName(), "Texture::Wood");
    EXPECT_EQ(texture->GetTypeCode(), 2);
    EXPECT_STREQ(texture->GetNamePrefix(), "Texture::");
    texture->SetName("Other::Renamed");
    EXPECT_STREQ(texture->GetName(), "Texture::Renamed");
    EXPECT_STREQ(texture->GetTypeName().Buffer(), "TextureVideoClip");
    ASSERT_EQ(texture->GetTakeNodeCount(), 1);
    EXPECT_STREQ(texture->GetCurrentTakeNodeName(), "Default");

    VOxaPropertyHandler* block = texture->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), texture);
    EXPECT_STREQ(block->GetClassName(), "VOxaTextureProperties");
    EXPECT_TRUE(block->IsA(VOxaTexture::GetClassId()));
    EXPECT_TRUE(block->IsA(VOxaPropertyHandler::ClassId));

    // Take errors reach the error object.
    EXPECT_EQ(texture->AddTakeNode("Default"), nullptr);
    EXPECT_STREQ(texture->GetLastErrorString(), "Take node already exists");
    VOxaTexture* other = manager.CreateTexture("Stone");
    EXPECT_EQ(&other->GetError(), &texture->GetError()) << "all textures share one error object";
    manager.DestroyTexture(other);

    // A handle made for one of its properties comes from the manager.
    VProperty* weight = block->CreateProperty("Weight", "Number", true);
    texture->AddUserProperty(texture->CreateUserProperty(weight));
    EXPECT_EQ(manager.GetUserProperty("Weight"), texture->GetUserProperty(0));

    // Destroying drops the block's connections before the texture goes.
    VPlug user;
    ASSERT_TRUE(user.ConnectSrc(block));
    int handles = manager.GetUserPropertyCount();
    EXPECT_TRUE(manager.DestroyTexture(texture));
    EXPECT_EQ(user.GetSrcCount(), 0);
    EXPECT_EQ(manager.GetUserPropertyCount(), handles - 1);
}

namespace {

// The default-take curves of a placement channel as a vector (w = 0).
VgeTVector TakeDefaults(VOxaTexture* texture, const char* channel) {
    VOxaTakeNode* take = texture->GetDefaultTakeNode();
    VgeTVector v;
    const char* const components[3] = {"X", "Y", "Z"};
    VFCurveNode* node = take->GetVFCurveNode()->FindChild(channel);
    for (int k = 0; node && k < 3; ++k) {
        int index = node->Find(components[k]);
        VFCurveNode* child = index >= 0 ? node->Get(index) : nullptr;
        v[k] = child && child->FCurveGet() ? child->FCurveGet()->GetDefaultValue() : -999.0;
    }
    return v;
}

double PropertyComponent(VOxaTexture* texture, const char* name, int k) {
    double value[4] = {-1, -1, -1, -1};
    VProperty* property = texture->GetPropertyHandler()->FindProperty(name);
    if (property) property->GetValue(value);
    return value[k];
}

const char* EnumName(VOxaTexture* texture, const char* name) {
    VProperty* property = texture->GetPropertyHandler()->FindProperty(name);
    return property ? property->GetInfo().GetEnumName(property->GetInt()) : "(missing)";
}

}  // namespace

TEST(attributes_Texture, PropertiesAndDefaults) {
    VOxaSdkManager manager;
    VOxaTexture* texture = manager.CreateTexture("Wood");
    VOxaPropertyHandler* block = texture->GetPropertyHandler();
    const char* const order[] = {"Translation",
                                 "Rotation",
                                 "Scaling",
                                 "Texture alpha",
                                 "TextureTypeUse",
                                 "CurrentTextureBlendMode",
                                 "UseMaterial",
                                 "UseMipMap",
                                 "CurrentMappingType",
                                 "UVSwap",
                                 "WrapModeU",
                                 "WrapModeV",
                                 "TextureRotationPivot",
                                 "TextureScalingPivot",
                                 "VideoProperty"};
    ASSERT_EQ(block->GetPropertyCount(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_STREQ(block->GetProperty(i)->GetName(), order[i]) << "property " << i;
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(block->GetProperty(i)->IsAnimatable()) << order[i];
        EXPECT_TRUE(block->GetProperty(i)->HasStateFlag(kPropertyAnimated)) << order[i];
    }
    EXPECT_EQ(block->GetProperty(14)->GetValueType(), eValueObjectList);

    EXPECT_EQ(texture->GetMappingType(), VOxaTexture::eUV);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "UV");
    EXPECT_STREQ(EnumName(texture, "CurrentTextureBlendMode"), "Additive");
    EXPECT_STREQ(EnumName(texture, "WrapModeU"), "Repeat");
    EXPECT_STREQ(EnumName(texture, "WrapModeV"), "Repeat");
    EXPECT_STREQ(EnumName(texture, "TextureTypeUse"), "Color");
    EXPECT_EQ(texture->GetUVScaling()[0], 1.0);
    EXPECT_EQ(texture->GetUVScaling()[1], 1.0);
    EXPECT_EQ(texture->GetUVTranslation()[0], 0.0);
    EXPECT_EQ(PropertyComponent(texture, "TextureRotationPivot", 3), 1.0);

    // Channels of the default take and the properties agree.
    const char* const channels[] = {"Translation", "Rotation", "Scaling"};
    const double expected[] = {0.0, 0.0, 1.0};
    for (int c = 0; c < 3; ++c) {
        VgeTVector v = TakeDefaults(texture, channels[c]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(v[k], expected[c]) << channels[c] << " curve " << k;
            EXPECT_EQ(PropertyComponent(texture, channels[c], k), expected[c])
                << channels[c] << " property " << k;
        }
    }
    VFCurve* alpha = texture->GetDefaultTakeNode()->GetTextureAlpha();
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->GetDefaultValue(), 1.0f);
    EXPECT_EQ(texture->GetDefaultAlpha(), 1.0);
    // The default take's curves drive the properties.
    alpha->SetDefaultValue(0.25f);
    EXPECT_EQ(texture->GetDefaultAlpha(), 0.25);
    texture->GetDefaultTakeNode()->GetTextureRotationY()->SetDefaultValue(45.0f);
    EXPECT_EQ(PropertyComponent(texture, "Rotation", 1), 45.0);

    // A later take is a copy with the same four channels.
    VOxaTakeNode* take = texture->AddTakeNode("Walk");
    ASSERT_NE(take, nullptr);
    EXPECT_NE(take->GetTextureScalingZ(), nullptr);
    EXPECT_NE(take->GetTextureAlpha(), nullptr);

    // Enumeration values of any int are stored and never named out of range.
    texture->SetBlendMode(INT_MIN);
    EXPECT_EQ(texture->GetBlendMode(), INT_MIN);
    EXPECT_EQ(EnumName(texture, "CurrentTextureBlendMode"), nullptr);
    texture->SetWrapMode(1, 99);
    EXPECT_STREQ(EnumName(texture, "WrapModeU"), "Clamp");
    EXPECT_EQ(EnumName(texture, "WrapModeV"), nullptr);
    EXPECT_EQ(texture->GetWrapModeV(), 99);

    // Material use: mode 0 sets the flag, anything else clears it.
    texture->SetMaterialUse(0);
    EXPECT_EQ(texture->GetMaterialUse(), 0);
    texture->SetMaterialUse(-7);
    EXPECT_EQ(texture->GetMaterialUse(), 1);
}

TEST(attributes_Texture, MappingTypeAndPlanarNormal) {
    VOxaSdkManager manager;
    VOxaTexture* texture = manager.CreateTexture("Wood");
    const int unified[8] = {10, -1, 4, 5, 8, 9, 0, 6};  // -1: planar, by normal
    for (int t = 0; t < 8; ++t) {
        if (t == 1) continue;
        texture->SetMappingType(t);
        EXPECT_EQ(texture->GetPropertyHandler()->FindProperty("CurrentMappingType")->GetInt(), unified[t])
            << t;
    }
    for (int t : {8, 100, -1, INT_MAX, INT_MIN}) {
        texture->SetMappingType(6);
        texture->SetMappingType(t);
        EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "None") << t;
        EXPECT_EQ(texture->GetMappingType(), t);
    }

    // Planar: the normal decides; a normal without a name leaves the property.
    texture->SetPlanarMappingNormal(VOxaTexture::ePLANAR_NORMAL_Z);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "None") << "not planar: only the normal is stored";
    EXPECT_EQ(texture->GetPlanarMappingNormal(), 2);
    texture->SetMappingType(VOxaTexture::ePLANAR);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "Z");
    texture->SetPlanarMappingNormal(VOxaTexture::ePLANAR_NORMAL_X);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "X");
    texture->SetPlanarMappingNormal(VOxaTexture::ePLANAR_NORMAL_Y);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "Y");
    texture->SetPlanarMappingNormal(7);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "Y");
    EXPECT_EQ(texture->GetPlanarMappingNormal(), 7);

    // Reset restores the stored type, not the property.
    texture->SetMappingType(VOxaTexture::eSPHERICAL);
    texture->SetBlendMode(VOxaTexture::eMODULATE);
    texture->ResetAll();
    EXPECT_EQ(texture->GetMappingType(), VOxaTexture::eUV);
    EXPECT_EQ(texture->GetPlanarMappingNormal(), 0);
    EXPECT_STREQ(EnumName(texture, "CurrentMappingType"), "Spherical");
    EXPECT_EQ(texture->GetBlendMode(), VOxaTexture::eADDITIVE);
    EXPECT_EQ(texture->GetTakeNodeCount(), 1);
}

TEST(attributes_Texture, TextureUseCroppingAndPlacement) {
    VOxaSdkManager manager;
    VOxaTexture* texture = manager.CreateTexture("Wood");
    // API use -> stored property value, and back.
    const int property[6] = {0, 3, 4, 1, 2, 5};
    const char* const names[6] = {
        "Color", "Shadow Map", "Light Map", "Spherical Reflection Map", "Sphere Map", "Bump Map (NormalMap)"};
    for (int u = 0; u < 6; ++u) {
        texture->SetTextureUse(u);
        EXPECT_EQ(texture->GetPropertyHandler()->FindProperty("TextureTypeUse")->GetInt(), property[u]) << u;
        EXPECT_STREQ(EnumName(texture, "TextureTypeUse"), names[u]) << u;
        EXPECT_EQ(texture->GetTextureUse(), u) << u;
    }
    for (int u : {6, 9, -1, INT_MIN}) {
        texture->SetTextureUse(u);
        EXPECT_EQ(texture->GetTextureUse(), 0) << u;
    }
    texture->GetPropertyHandler()->FindProperty("TextureTypeUse")->SetInt(1000);
    EXPECT_EQ(texture->GetTextureUse(), 0) << "a stored value without a use";

    // Pivots keep each axis where it was given; w reads 1.
    VOxaTextureProperties* block = static_cast<VOxaTextureProperties*>(texture->GetPropertyHandler());
    block->SetTextureRotationPivot(VgeTVector(1.0, 2.0, 3.0, 7.0));
    VgeTVector pivot = block->GetTextureRotationPivot();
    EXPECT_EQ(pivot[0], 1.0);
    EXPECT_EQ(pivot[1], 2.0);
    EXPECT_EQ(pivot[2], 3.0);
    EXPECT_EQ(pivot[3], 1.0);
    // Building the channels again over a take that has them adds nothing.
    VFCurveNode* defaults = texture->GetDefaultTakeNode()->GetVFCurveNode();
    int children = defaults->GetCount();
    texture->CreateTakeNodeChannels(texture->GetDefaultTakeNode());
    EXPECT_EQ(defaults->GetCount(), children);

    texture->SetCropping(1, 2, 3, 4);
    EXPECT_EQ(texture->GetCropping1(), 1);
    EXPECT_EQ(texture->GetCropping2(), 3);
    EXPECT_EQ(texture->GetCropping3(), 2);
    EXPECT_EQ(texture->GetCropping4(), 4);

    texture->SetTranslation(0.5, 0.25);
    texture->SetRotation(10, 20, 30);
    texture->SetScale(2, 3);
    const double t[3] = {0.5, 0.25, 0}, r[3] = {10, 20, 30}, s[3] = {2, 3, 1};
    VgeTVector curves[3] = {TakeDefaults(texture, "Translation"), TakeDefaults(texture, "Rotation"),
                            TakeDefaults(texture, "Scaling")};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(curves[0][k], t[k]);
        EXPECT_EQ(curves[1][k], r[k]);
        EXPECT_EQ(curves[2][k], s[k]);
        EXPECT_EQ(PropertyComponent(texture, "Translation", k), t[k]);
        EXPECT_EQ(PropertyComponent(texture, "Rotation", k), r[k]);
        EXPECT_EQ(PropertyComponent(texture, "Scaling", k), s[k]);
    }
    EXPECT_EQ(texture->GetTranslationU(), 0.5);
    EXPECT_EQ(texture->GetTranslationV(), 0.25);
    EXPECT_EQ(texture->GetRotationW(), 30);
    EXPECT_EQ(texture->GetScaleV(), 3);
    // Curves are single precision; the alpha property keeps the double.
    texture->SetDefaultAlpha(0.1);
    EXPECT_EQ(texture->GetDefaultTakeNode()->GetTextureAlpha()->GetDefaultValue(), 0.1f);
    EXPECT_EQ(texture->GetDefaultAlpha(), 0.1);
    // The getter leaves w alone.
    VgeTVector kept(7, 7, 7, 42);
    texture->GetDefaultS(kept);
    EXPECT_EQ(kept[3], 42);

    // Without the channels the property answers and is written alone.
    VFCurveNode* root = texture->GetDefaultTakeNode()->GetVFCurveNode();
    root->Delete(root->Find("Translation"));
    texture->SetTranslation(4, 5);
    EXPECT_EQ(texture->GetTranslationU(), 4);
    EXPECT_EQ(PropertyComponent(texture, "Translation", 1), 5);
}

TEST(attributes_Texture, FileNamesAndVideo) {
    VOxaSdkManager manager;
    VOxaTexture* texture = manager.CreateTexture("Wood");
    EXPECT_STREQ(texture->GetFileName(), "");
    EXPECT_FALSE(texture->SetFileName(""));
    EXPECT_FALSE(texture->SetFileName(nullptr));
    EXPECT_TRUE(texture->SetFileName("a.png"));
    EXPECT_FALSE(texture->SetFileName(""));
    EXPECT_STREQ(texture->GetFileName(), "a.png");
    std::string longName(100000, 'x');
    EXPECT_TRUE(texture->SetFileName(longName.c_str()));
    EXPECT_EQ(texture->GetFileName(), longName);
    EXPECT_TRUE(texture->SetFileName(texture->GetFileName())) << "its own buffer";
    EXPECT_EQ(texture->GetFileName(), longName);

    // One video feeding two textures: names flow both ways.
    VOxaTexture* other = manager.CreateTexture("Stone");
    VOxaVideo* video = manager.CreateVideo("clip");
    ASSERT_TRUE(texture->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler()));
    ASSERT_TRUE(other->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler()));
    EXPECT_TRUE(texture->SetFileName("/maps/wood.png"));
    EXPECT_STREQ(video->GetFileName(), "/maps/wood.png");
    EXPECT_STREQ(other->GetFileName(), "/maps/wood.png");
    EXPECT_TRUE(video->SetFileName("/maps/oak.png"));
    EXPECT_STREQ(texture->GetFileName(), "/maps/oak.png");
    EXPECT_STREQ(other->GetFileName(), "/maps/oak.png");
    EXPECT_TRUE(other->SetRelativeFileName("maps/oak.png"));
    EXPECT_STREQ(video->GetRelativeFileName(), "maps/oak.png");
    EXPECT_STREQ(texture->GetRelativeFileName(), "maps/oak.png");

    // A copy takes the file name (and through it its own video's), not the relative name.
    VOxaTexture* copy = manager.CreateTexture("Copy");
    copy->SetRelativeFileName("keep.png");
    *copy = *texture;
    EXPECT_STREQ(copy->GetFileName(), "/maps/oak.png");
    EXPECT_STREQ(copy->GetRelativeFileName(), "keep.png");
    VOxaTexture* blank = manager.CreateTexture("Blank");
    *copy = *blank;
    EXPECT_STREQ(copy->GetFileName(), "") << "an empty file name is copied too";
    EXPECT_STREQ(video->GetFileName(), "/maps/oak.png");

    // Connection to a material (not a node) registers nothing and reaches nothing.
    VOxaMaterial* material = manager.CreateMaterial("Mat");
    EXPECT_TRUE(material->GetPropertyHandler()->ConnectSrc(texture->GetPropertyHandler()));
}

TEST(attributes_Texture, RegistersWithTheNodesScene) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = manager.CreateNode("Box");
    scene->GetRootNode()->AddChild(node);
    VOxaSceneContents* contents = scene->GetContents();
    ASSERT_EQ(node->GetSceneContents(), contents);
    const int before = contents->GetTextureCount();

    VOxaTexture* texture = manager.CreateTexture("Wood");
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(texture->GetPropertyHandler()));
    EXPECT_EQ(contents->GetTextureCount(), before + 1);
    EXPECT_EQ(contents->GetTextureByName("Texture::Wood"), texture);
    VOxaTexture* twin = manager.CreateTexture("Wood");
    ASSERT_TRUE(node->GetPropertyHandler()->ConnectSrc(twin->GetPropertyHandler()));
    EXPECT_EQ(contents->GetTextureCount(), before + 1) << "a texture of that name is there already";

    // A node in no scene, or a destination that is not a node, registers nothing.
    VOxaNode* loose = manager.CreateNode("Loose");
    VOxaTexture* third = manager.CreateTexture("Third");
    EXPECT_TRUE(loose->GetPropertyHandler()->ConnectSrc(third->GetPropertyHandler()));
    VOxaMaterial* material = manager.CreateMaterial("Mat");
    EXPECT_TRUE(material->GetPropertyHandler()->ConnectSrc(third->GetPropertyHandler()));
    EXPECT_EQ(contents->GetTextureByName("Texture::Third"), nullptr);
    EXPECT_EQ(contents->GetTextureCount(), before + 1);
}

TEST(attributes_Texture, IsEqualRules) {
    VOxaSdkManager manager;
    VOxaTexture* a = manager.CreateTexture("Wood");
    VOxaTexture* b = manager.CreateTexture("Wood 12");
    EXPECT_TRUE(a->IsEqual(*b)) << "trailing digits and blanks are cut";
    EXPECT_TRUE(manager.CreateTexture("Wood\t7 ")->IsEqual(*a));
    EXPECT_FALSE(manager.CreateTexture("wood")->IsEqual(*a)) << "case counts";
    EXPECT_FALSE(manager.CreateTexture("Woods")->IsEqual(*a));
    EXPECT_TRUE(manager.CreateTexture("12")->IsEqual(*manager.CreateTexture("3 4")))
        << "both cut to the prefix";

    // Ignored: relative file name, blend, wrap, mip-mapping, translation Z, scaling Z, pivots.
    b->SetRelativeFileName("x.png");
    b->SetBlendMode(VOxaTexture::eMODULATE2);
    b->SetWrapMode(1, 1);
    b->GetPropertyHandler()->FindProperty("UseMipMap")->SetInt(1);
    b->SetDefaultT(VgeTVector(0, 0, 5, 1));
    b->SetDefaultS(VgeTVector(1, 1, 5, 1));
    const double pivot[4] = {1, 2, 3, 1};
    b->GetPropertyHandler()->FindProperty("TextureScalingPivot")->SetValue(pivot);
    EXPECT_TRUE(a->IsEqual(*b));
    EXPECT_TRUE(b->IsEqual(*a));

    // Each compared field on its own breaks equality.
    using Change = void (*)(VOxaTexture*);
    const Change changes[] = {
        [](VOxaTexture* t) { t->SetTranslation(0.5, 0); },
        [](VOxaTexture* t) { t->SetTranslation(0, 0.5); },
        [](VOxaTexture* t) { t->SetRotation(0, 0, 1); },
        [](VOxaTexture* t) { t->SetScale(1, 2); },
        [](VOxaTexture* t) { t->SetDefaultAlpha(0.5); },
        [](VOxaTexture* t) { t->SetCropping(0, 0, 0, 1); },
        [](VOxaTexture* t) { t->SetAlphaSource(VOxaTexture::eBLACK); },
        [](VOxaTexture* t) { t->SetMappingType(VOxaTexture::eBOX); },
        [](VOxaTexture* t) { t->SetPlanarMappingNormal(1); },
        [](VOxaTexture* t) { t->SetMaterialUse(0); },
        [](VOxaTexture* t) { t->SetTextureUse(VOxaTexture::eBUMP_NORMAL_MAP); },
        [](VOxaTexture* t) { t->SetUVSwap(true); },
        [](VOxaTexture* t) { t->SetFileName("f.png"); },
        [](VOxaTexture* t) { t->SetMediaName("Video::clip"); },
        [](VOxaTexture* t) { t->GetTextureTypeName() = "Other"; },
        [](VOxaTexture* t) { t->SetUVScaling(VgeVector2(1, 2)); },
        [](VOxaTexture* t) { t->SetUVTranslation(VgeVector2(0.5, 0)); },
    };
    int i = 0;
    for (Change change : changes) {
        VOxaTexture* t = manager.CreateTexture("Wood");
        VOxaTexture* u = manager.CreateTexture("Wood");
        ASSERT_TRUE(t->IsEqual(*u));
        change(t);
        EXPECT_FALSE(t->IsEqual(*u)) << "change " << i;
        EXPECT_FALSE(u->IsEqual(*t)) << "change " << i;
        // A copy is equal again.
        *u = *t;
        EXPECT_TRUE(u->IsEqual(*t)) << "copy after change " << i;
        ++i;
    }
}
