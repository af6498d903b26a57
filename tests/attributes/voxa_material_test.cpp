#include "attributes/voxa_material.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(attributes_Material, ShellOfATakeObject) {
    VOxaSdkManager manager;
    VOxaMaterial* material = manager.CreateMaterial("Skin");
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->GetName(), "Material::Skin");
    EXPECT_EQ(material->GetTypeCode(), 3);
    EXPECT_STREQ(material->GetNamePrefix(), "Material::");
    material->SetName("Other::Renamed");
    EXPECT_STREQ(material->GetName(), "Material::Renamed");
    ASSERT_EQ(material->GetTakeNodeCount(), 1);
    EXPECT_STREQ(material->GetCurrentTakeNodeName(), "Default");

    VOxaPropertyHandler* block = material->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), material);
    EXPECT_STREQ(block->GetClassName(), "VOxaMaterialProperties");
    EXPECT_TRUE(block->IsA(VOxaMaterial::GetClassId()));
    EXPECT_TRUE(block->IsA(VOxaPropertyHandler::ClassId));

    // Take errors reach the error object.
    EXPECT_EQ(material->AddTakeNode("Default"), nullptr);
    EXPECT_STREQ(material->GetLastErrorString(), "Take node already exists");

    // Animatable properties of the block get channels in a take built afresh, linked on
    // "Default": a property change reaches the curve.
    VProperty* weight = block->CreateProperty("Weight", "Number", true);
    ASSERT_NE(weight, nullptr);
    material->ResetTakeNodes();
    VFCurveNode* channel = material->GetDefaultTakeNode()->GetVFCurveNode()->FindChild("Weight");
    ASSERT_NE(channel, nullptr);
    ASSERT_NE(channel->FCurveGet(), nullptr);
    VOxaUserProperty* handle = material->CreateUserProperty(weight);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(manager.GetUserProperty("Weight"), handle) << "handles are made through the manager";
    handle->SetFlag(VOxaUserProperty::eAnimatable, true);
    material->AddUserProperty(handle);
    weight->SetDouble(0.5);
    EXPECT_FLOAT_EQ(channel->FCurveGet()->GetDefaultValue(), 0.5f);

    // Destroying drops the block's connections before the material goes.
    VPlug user;
    ASSERT_TRUE(user.ConnectSrc(block));
    int handles = manager.GetUserPropertyCount();
    EXPECT_TRUE(manager.DestroyMaterial(material));
    EXPECT_EQ(user.GetSrcCount(), 0);
    EXPECT_EQ(manager.GetUserPropertyCount(), handles - 1);
}
