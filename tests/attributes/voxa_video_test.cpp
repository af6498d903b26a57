#include "attributes/voxa_video.h"

#include <gtest/gtest.h>

#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"

TEST(attributes_Video, ShellOfATakeObject) {
    VOxaSdkManager manager;
    VOxaVideo* video = manager.CreateVideo("Film");
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->GetName(), "Video::Film");
    EXPECT_EQ(video->GetTypeCode(), 5);
    EXPECT_STREQ(video->GetNamePrefix(), "Video::");
    video->SetName("Other::Renamed");
    EXPECT_STREQ(video->GetName(), "Video::Renamed");
    EXPECT_STREQ(video->GetTypeName().Buffer(), "Clip");
    EXPECT_EQ(video->GetTypeFlags().GetCount(), 1);
    ASSERT_EQ(video->GetTakeNodeCount(), 1);
    EXPECT_STREQ(video->GetCurrentTakeNodeName(), "Default");

    VOxaPropertyHandler* block = video->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), video);
    EXPECT_STREQ(block->GetClassName(), "VOxaVideoProperties");
    EXPECT_TRUE(block->IsA(VOxaVideo::GetClassId()));
    EXPECT_TRUE(block->IsA(VOxaPropertyHandler::ClassId));

    // Take errors reach the error object.
    EXPECT_EQ(video->AddTakeNode("Default"), nullptr);
    EXPECT_STREQ(video->GetLastErrorString(), "Take node already exists");
    VOxaVideo* other = manager.CreateVideo("Reel");
    EXPECT_EQ(&other->GetError(), &video->GetError()) << "all videos share one error object";
    manager.DestroyVideo(other);

    // A handle made for one of its properties comes from the manager.
    VProperty* weight = block->CreateProperty("Weight", "Number", true);
    video->AddUserProperty(video->CreateUserProperty(weight));
    EXPECT_EQ(manager.GetUserProperty("Weight"), video->GetUserProperty(0));

    // Destroying drops the block's connections before the video goes.
    VPlug user;
    ASSERT_TRUE(user.ConnectSrc(block));
    int handles = manager.GetUserPropertyCount();
    EXPECT_TRUE(manager.DestroyVideo(video));
    EXPECT_EQ(user.GetSrcCount(), 0);
    EXPECT_EQ(manager.GetUserPropertyCount(), handles - 1);
}
