#include "attributes/voxa_light.h"

#include <gtest/gtest.h>

#include <cmath>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// The curve `channel` (or its component) directly under the take's root; null when missing.
VFCurve* Curve(VOxaTakeNode* take, const char* channel, const char* component = nullptr) {
    VFCurveNode* root = take->GetVFCurveNode();
    VFCurveNode* node = root->Get(root->Find(channel));
    if (node && component) node = node->Get(node->Find(component));
    return node ? node->FCurveGet() : nullptr;
}

void ExpectColor(const VOxaLight& light, double r, double g, double b, const char* what) {
    double red = -1, green = -1, blue = -1;
    light.GetDefaultColor(red, green, blue);
    EXPECT_DOUBLE_EQ(red, r) << what;
    EXPECT_DOUBLE_EQ(green, g) << what;
    EXPECT_DOUBLE_EQ(blue, b) << what;
}

class attributes_Light : public ::testing::Test {
protected:
    void SetUp() override {
        mLight = mManager.CreateLight();
        mNode = mManager.CreateNode("Lamp");
        mNode->AddTakeNode("Walk");
    }

    VOxaSdkManager mManager;
    VOxaLight* mLight = nullptr;
    VOxaNode* mNode = nullptr;
};

TEST_F(attributes_Light, NewLightAndItsPropertyBlock) {
    ASSERT_NE(mLight, nullptr);
    EXPECT_EQ(mManager.GetNodeAttribute(0), mLight);
    EXPECT_EQ(mLight->GetAttributeType(), VOxaNodeAttribute::eLight);
    EXPECT_STREQ(mLight->GetTypeName().Buffer(), "Light");
    ASSERT_EQ(mLight->GetTypeFlags().GetCount(), 1);
    EXPECT_STREQ(mLight->GetTypeFlags()[0], "Light");

    EXPECT_EQ(mLight->GetLightType(), VOxaLight::ePOINT);
    EXPECT_TRUE(mLight->GetCastLightOnObject());
    EXPECT_TRUE(mLight->GetDrawVolumetricLight());
    EXPECT_TRUE(mLight->GetDrawGroundProjection());
    EXPECT_FALSE(mLight->GetDrawFrontFacingVolumetricLight());
    ExpectColor(*mLight, 1, 1, 1, "new light");
    EXPECT_EQ(mLight->GetDefaultIntensity(), 100.0);
    EXPECT_EQ(mLight->GetDefaultConeAngle(), 45.0);
    EXPECT_EQ(mLight->GetDefaultFog(), 50.0);

    EXPECT_EQ(mLight->GetGoboFileName(), nullptr);
    EXPECT_TRUE(mLight->SetGoboFileName("gobo.tif"));
    EXPECT_STREQ(mLight->GetGoboFileName(), "gobo.tif");
    mLight->SetGoboFileName("");
    EXPECT_EQ(mLight->GetGoboFileName(), nullptr) << "an empty name reads as null";

    // File order, and which properties are animated.
    const char* const names[] = {"LightType",
                                 "CastLightOnObject",
                                 "DrawVolumetricLight",
                                 "DrawGroundProjection",
                                 "DrawFrontFacingVolumetricLight",
                                 "GoboProperty",
                                 "Color",
                                 "Intensity",
                                 "Cone angle",
                                 "Fog"};
    VOxaLightProperties* block = mLight->GetProperties();
    EXPECT_TRUE(block->IsA(VOxaLightProperties::ClassId));
    ASSERT_EQ(block->GetPropertyCount(), 10);
    for (int i = 0; i < 10; ++i) {
        VProperty* property = block->GetProperty(i);
        EXPECT_STREQ(property->GetName(), names[i]);
        EXPECT_EQ(property->IsAnimatable(), i >= 6) << names[i];
        EXPECT_EQ(property->HasStateFlag(kPropertyAnimated), i >= 6) << names[i];
    }
    EXPECT_EQ(block->GetProperty(5)->GetValueType(), eValueObjectList);
    VPropertyObjectList* gobo = block->GetGoboProperty();
    EXPECT_EQ(gobo->GetFlags() & 0x7, 0x1) << "accepts sources, is none";
    EXPECT_EQ(gobo->GetObjectFilterKind(), 1);
    EXPECT_EQ(gobo->GetObjectFilterClassId(), VOxaLightProperties::ClassId);
    EXPECT_EQ(block->GetProperty(6)->GetValueType(), eValueColor);

    // The light type through the property model, names included; any int is kept unnamed.
    VProperty* type = block->GetProperty(0);
    EXPECT_EQ(type->GetValueType(), eValueEnum);
    EXPECT_STREQ(type->GetInfo().GetEnumName(2), "Spot Light");
    EXPECT_STREQ(type->GetInfo().GetEnumName(1), "Infinite Light");
    EXPECT_EQ(type->GetInfo().GetEnumName(3), nullptr);
    EXPECT_EQ(type->GetInfo().GetEnumName(-1), nullptr);
    type->SetInt(2);
    EXPECT_EQ(mLight->GetLightType(), VOxaLight::eSPOT);
    mLight->SetLightType(static_cast<VOxaLight::ELightType>(-7));
    EXPECT_EQ(type->GetInt(), -7);
}

TEST_F(attributes_Light, ChannelsInEveryTakeLinkedOnlyOnTheDefaultTake) {
    EXPECT_EQ(mNode->SetNodeAttribute(mLight), nullptr);
    EXPECT_EQ(mNode->GetLight(), mLight);
    EXPECT_EQ(mNode->GetMultiTake(), 0);

    struct Expected {
        const char* mChannel;
        const char* mComponent;
        float mDefault;
        float mColor[3];
    } const expected[] = {{"Color", "X", 1.0f, {1, 0, 0}},
                          {"Color", "Y", 1.0f, {0, 1, 0}},
                          {"Color", "Z", 1.0f, {0, 0, 1}},
                          {"Intensity", nullptr, 100.0f, {0.97f, 0.91f, 0.11f}},
                          {"Cone angle", nullptr, 45.0f, {0.82f, 0.1f, 0.71f}},
                          {"Fog", nullptr, 50.0f, {0.82f, 0.38f, 0.1f}}};
    for (int t = 0; t < 2; ++t) {
        for (const Expected& e : expected) {
            VFCurve* curve = Curve(mNode->GetTakeNode(t), e.mChannel, e.mComponent);
            ASSERT_NE(curve, nullptr) << "take " << t << " " << e.mChannel;
            EXPECT_EQ(curve->GetDefaultValue(), e.mDefault) << e.mChannel;
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(curve->GetColor()[k], e.mColor[k]) << e.mChannel << " colour " << k;
        }
    }

    // The default take's curves drive the properties; the other take's do not.
    VOxaLightProperties* block = mLight->GetProperties();
    Curve(mNode->GetTakeNode(1), "Intensity")->SetDefaultValue(7.0f);
    EXPECT_EQ(block->GetIntensityProperty()->GetDouble(), 100.0);
    Curve(mNode->GetTakeNode(0), "Intensity")->SetDefaultValue(7.0f);
    EXPECT_EQ(block->GetIntensityProperty()->GetDouble(), 7.0);
    Curve(mNode->GetTakeNode(0), "Color", "Y")->SetDefaultValue(0.5f);
    double rgb[4] = {0, 0, 0, 0};
    block->GetColorProperty()->GetValue(rgb);
    EXPECT_EQ(rgb[1], 0.5);

    // A take named "DEFAULT" is linked too.
    VOxaTakeNode upper("DEFAULT");
    mLight->AddChannels(&upper);
    Curve(&upper, "Fog")->SetDefaultValue(3.0f);
    EXPECT_EQ(block->GetFogProperty()->GetDouble(), 3.0);
    mLight->RemoveChannels(&upper);
    EXPECT_EQ(upper.GetVFCurveNode()->GetCount(), 0);

    // The node lists the light's properties after its own.
    VArrayTemplate<VProperty*> properties;
    mNode->FillPropertyArray(properties);
    ASSERT_GE(properties.GetCount(), 10);
    EXPECT_EQ(properties[properties.GetCount() - 10], block->GetProperty(0));
    EXPECT_EQ(properties[properties.GetCount() - 1], block->GetFogProperty());

    // Detaching removes every channel and keeps the values.
    EXPECT_EQ(mNode->SetNodeAttribute(nullptr), mLight);
    for (int t = 0; t < 2; ++t) {
        for (const char* name : {"Color", "Intensity", "Cone angle", "Fog"})
            EXPECT_LT(mNode->GetTakeNode(t)->GetVFCurveNode()->Find(name), 0) << name;
    }
    EXPECT_EQ(mLight->GetDefaultIntensity(), 7.0);
    EXPECT_EQ(mLight->GetDefaultFog(), 3.0);
}

TEST_F(attributes_Light, DefaultValuesReachOnlyTheDefaultTakeAndWhatExists) {
    // Detached: the properties only.
    mLight->SetDefaultIntensity(250.5);
    mLight->SetDefaultColor(VOxaColor(0.25, 0.5, 0.75, 0.1));
    EXPECT_EQ(mLight->GetDefaultIntensity(), 250.5);
    ExpectColor(*mLight, 0.25, 0.5, 0.75, "detached");

    // Values held before attaching survive it, in the curves' precision.
    mNode->SetNodeAttribute(mLight);
    EXPECT_EQ(mLight->GetDefaultIntensity(), 250.5);
    EXPECT_EQ(Curve(mNode->GetTakeNode(1), "Intensity")->GetDefaultValue(), 250.5f);
    ExpectColor(*mLight, 0.25, 0.5, 0.75, "attached");

    mLight->SetDefaultConeAngle(30.1);
    EXPECT_EQ(Curve(mNode->GetTakeNode(0), "Cone angle")->GetDefaultValue(), 30.1f);
    EXPECT_EQ(Curve(mNode->GetTakeNode(1), "Cone angle")->GetDefaultValue(), 45.0f) << "other takes stay";
    EXPECT_EQ(mLight->GetDefaultConeAngle(), (double)30.1f) << "read from the curve";
    EXPECT_EQ(mLight->GetProperties()->GetConeAngleProperty()->GetDouble(), 30.1);

    // A missing channel: the getter answers the property, the setter writes the property only.
    VFCurveNode* root = mNode->GetTakeNode(0)->GetVFCurveNode();
    root->Delete(root->Find("Fog"));
    root->Delete(root->Find("Color"));
    mLight->SetDefaultFog(12.25);
    EXPECT_EQ(mLight->GetDefaultFog(), 12.25);
    EXPECT_LT(root->Find("Fog"), 0) << "nothing is created";
    mLight->SetDefaultColor(VOxaColor(0, 1, 0, 1));
    ExpectColor(*mLight, 0, 1, 0, "no colour channel");
    mNode->SetNodeAttribute(nullptr);
}

TEST_F(attributes_Light, AssignmentAndDestruction) {
    VOxaLight* other = mManager.CreateLight();
    other->SetLightType(VOxaLight::eINFINITE);
    other->SetCastLightOnObject(false);
    other->SetDrawVolumetricLight(false);
    other->SetDrawGroundProjection(false);
    other->SetDrawFrontFacingVolumetricLight(true);
    other->SetGoboFileName("spot.png");
    other->SetDefaultIntensity(5.0);
    other->SetDefaultColor(VOxaColor(0, 0, 0, 1));
    other->SetDefaultConeAngle(10.0);
    other->SetDefaultFog(1.0);

    *mLight = *other;
    EXPECT_EQ(mLight->GetLightType(), VOxaLight::eINFINITE);
    EXPECT_FALSE(mLight->GetCastLightOnObject());
    EXPECT_FALSE(mLight->GetDrawVolumetricLight());
    EXPECT_FALSE(mLight->GetDrawGroundProjection());
    EXPECT_TRUE(mLight->GetDrawFrontFacingVolumetricLight());
    EXPECT_STREQ(mLight->GetGoboFileName(), "spot.png");
    EXPECT_EQ(mLight->GetDefaultIntensity(), 100.0) << "not copied";
    ExpectColor(*mLight, 1, 1, 1, "not copied");
    EXPECT_EQ(mLight->GetDefaultConeAngle(), 45.0);
    EXPECT_EQ(mLight->GetDefaultFog(), 50.0);

    // Destroying an attached light through the manager takes its channels off the node first.
    mNode->SetNodeAttribute(other);
    EXPECT_TRUE(mManager.DestroyNodeAttribute(other));
    EXPECT_EQ(mNode->GetNodeAttribute(), nullptr);
    EXPECT_LT(mNode->GetTakeNode(0)->GetVFCurveNode()->Find("Intensity"), 0);
    EXPECT_FALSE(mManager.DestroyNodeAttribute(other));
}

}  // namespace
