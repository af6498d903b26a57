#include "attributes/voxa_texture.h"

#include <gtest/gtest.h>

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"

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
