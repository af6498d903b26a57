#include "attributes/voxa_video.h"

#include <gtest/gtest.h>

#include <string>

#include "animation/fcurve_node.h"
#include "attributes/voxa_light.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

TEST(attributes_Video, ShellOfATakeObject) {
    VOxaSdkManager manager;
    VOxaVideo* video = manager.CreateVideo("Film");
    ASSERT_NE(video, nullptr);
    EXPECT_STREQ(video->GetName(), "Video::Film");
    EXPECT_EQ(video->GetTypeCode(), 5);
    EXPECT_STREQ(video->GetTypeName().Buffer(), "Clip");
    EXPECT_EQ(video->GetTypeFlags().GetCount(), 1);
    ASSERT_EQ(video->GetTakeNodeCount(), 1);

    VOxaPropertyHandler* block = video->GetPropertyHandler();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->GetOwner(), video);
    EXPECT_TRUE(block->IsA(VOxaVideo::GetClassId()));
    EXPECT_EQ(video->AddTakeNode("Default"), nullptr);
    EXPECT_STREQ(video->GetLastErrorString(), "Take node already exists");
    VOxaVideo* other = manager.CreateVideo("Reel");
    EXPECT_EQ(&other->GetError(), &video->GetError()) << "all videos share one error object";

    VPlug user;
    ASSERT_TRUE(user.ConnectSrc(block));
    EXPECT_TRUE(manager.DestroyVideo(video));
    EXPECT_EQ(user.GetSrcCount(), 0);
}

TEST(attributes_Video, PropertiesDefaultsAndNames) {
    VOxaSdkManager manager;
    VOxaVideo* video = manager.CreateVideo("Film");
    VOxaPropertyHandler* block = video->GetPropertyHandler();
    const char* const names[] = {"FrameRate",   "LastFrame", "Width",     "Height", "Path",
                                 "StartFrame",  "StopFrame", "PlaySpeed", "Offset", "InterlaceMode",
                                 "FreeRunning", "Loop",      "AccessMode"};
    const int types[] = {4, 1, 1, 1, 5, 1, 1, 4, 7, 6, 2, 2, 6};
    ASSERT_EQ(block->GetPropertyCount(), 13);
    for (int i = 0; i < 13; ++i) {
        VProperty* property = block->GetProperty(i);
        EXPECT_STREQ(property->GetName(), names[i]);
        EXPECT_EQ(property->GetValueType(), types[i]) << names[i];
        EXPECT_FALSE(property->IsAnimatable()) << names[i];
    }
    EXPECT_EQ(video->GetDefaultTakeNode()->GetVFCurveNode()->GetCount(), 0);

    EXPECT_DOUBLE_EQ(video->GetPlaySpeed(), 1.0);
    EXPECT_DOUBLE_EQ(video->GetFrameRate(), 0.0);
    EXPECT_EQ(video->GetWidth() + video->GetHeight() + video->GetLastFrame() + video->GetStartFrame() +
                  video->GetStopFrame() + video->GetInterlaceMode() + video->GetAccessMode(),
              0);
    EXPECT_EQ(video->GetOffset().Get(), 0);
    EXPECT_FALSE(video->GetFreeRunning() || video->GetLoop() || video->GetUseMipMap());
    EXPECT_TRUE(video->GetOriginalFormat());
    EXPECT_EQ(video->GetFileName(), nullptr);
    EXPECT_STREQ(video->GetRelativeFileName(), "");
    EXPECT_STREQ(video->GetOriginalFilename(), "");

    // The three names belong to "InterlaceMode", the eight to "AccessMode"; others are unnamed.
    VProperty* interlace = block->FindProperty("InterlaceMode");
    VProperty* access = block->FindProperty("AccessMode");
    EXPECT_STREQ(interlace->GetInfo().GetEnumName(1), "Memory");
    EXPECT_STREQ(interlace->GetInfo().GetEnumName(2), "Disk Async");
    EXPECT_EQ(interlace->GetInfo().GetEnumName(3), nullptr);
    EXPECT_STREQ(access->GetInfo().GetEnumName(1), "Fields");
    EXPECT_STREQ(access->GetInfo().GetEnumName(7), "Full Frame Odd/Even");
    EXPECT_EQ(access->GetInfo().GetEnumName(8), nullptr);
    EXPECT_EQ(access->GetInfo().GetEnumName(-1), nullptr);
    video->SetAccessMode(-7);
    EXPECT_EQ(video->GetAccessMode(), -7) << "values outside the table are stored";
    video->SetInterlaceMode(2147483647);
    EXPECT_EQ(access->GetInt() + 0, -7);
    EXPECT_EQ(video->GetInterlaceMode(), 2147483647);

    // Setters go through the properties.
    video->SetStartFrame(3);
    video->SetPlaySpeed(0.5);
    video->SetLoop(true);
    EXPECT_EQ(block->FindProperty("StartFrame")->GetInt(), 3);
    EXPECT_DOUBLE_EQ(block->FindProperty("PlaySpeed")->GetDouble(), 0.5);
    EXPECT_EQ(block->FindProperty("Loop")->GetInt(), 1);

    // "Path" is the file name; Reset restores the format flags and keeps it.
    EXPECT_FALSE(video->SetFileName(""));
    EXPECT_FALSE(video->SetFileName(nullptr));
    EXPECT_EQ(video->GetFileName(), nullptr);
    std::string longName(5000, 'a');
    longName += ".avi";
    EXPECT_TRUE(video->SetFileName(longName.c_str()));
    EXPECT_EQ(std::string(video->GetFileName()), longName);
    auto* path = static_cast<VPropertyTemplate<VString>*>(block->FindProperty("Path"));
    EXPECT_STREQ(path->GetValue().Buffer(), longName.c_str());
    path->SetValue(VString("short.avi"));
    EXPECT_STREQ(video->GetFileName(), "short.avi");
    video->SetUseMipMap(true);
    video->SetOriginalFormat(false);
    video->SetOriginalFilename("orig.mov");
    video->Reset();
    EXPECT_FALSE(video->GetUseMipMap());
    EXPECT_TRUE(video->GetOriginalFormat());
    EXPECT_STREQ(video->GetOriginalFilename(), "");
    EXPECT_STREQ(video->GetFileName(), "short.avi");
}

TEST(attributes_Video, FileNamesFlowToWhatItFeeds) {
    VOxaSdkManager manager;
    VOxaVideo* video = manager.CreateVideo("Film");
    ASSERT_TRUE(video->SetFileName("clip.avi"));
    ASSERT_TRUE(video->SetRelativeFileName("media/clip.avi"));
    VPlug* block = video->GetPropertyHandler();

    // Connecting hands the texture the file names and the video's full name as media name.
    VOxaTexture* wood = manager.CreateTexture("Wood");
    VOxaTexture* stone = manager.CreateTexture("Stone");
    ASSERT_TRUE(wood->GetPropertyHandler()->ConnectSrc(block));
    EXPECT_STREQ(wood->GetFileName(), "clip.avi");
    EXPECT_STREQ(wood->GetRelativeFileName(), "media/clip.avi");
    EXPECT_STREQ(wood->GetMediaName().Buffer(), "Video::Film");

    // Something fed that is not a texture keeps its names: a material's block.
    VOxaMaterial* paint = manager.CreateMaterial("Paint");
    ASSERT_TRUE(paint->GetPropertyHandler()->ConnectSrc(block));
    ASSERT_TRUE(stone->GetPropertyHandler()->ConnectSrc(block));

    // A new name reaches every texture fed, and the video keeps it.
    EXPECT_TRUE(video->SetFileName("take2.avi"));
    EXPECT_STREQ(video->GetFileName(), "take2.avi");
    EXPECT_STREQ(wood->GetFileName(), "take2.avi");
    EXPECT_STREQ(stone->GetFileName(), "take2.avi");
    EXPECT_TRUE(video->SetRelativeFileName("rel/take2.avi"));
    EXPECT_STREQ(stone->GetRelativeFileName(), "rel/take2.avi");
    EXPECT_TRUE(video->SetFileName("take2.avi")) << "the same name answers true";
    EXPECT_FALSE(video->SetFileName("")) << "an empty name changes nothing";
    EXPECT_STREQ(wood->GetFileName(), "take2.avi");
    EXPECT_FALSE(video->SetRelativeFileName(nullptr));
    EXPECT_STREQ(video->GetRelativeFileName(), "rel/take2.avi");

    // A video connected to a light node gives the light its gobo.
    VOxaNode* lamp = manager.CreateNode("Lamp");
    VOxaLight* light = manager.CreateLight();
    lamp->SetNodeAttribute(light);
    ASSERT_TRUE(lamp->GetPropertyHandler()->ConnectSrc(block));
    EXPECT_STREQ(light->GetGoboFileName(), "take2.avi");
    // A node without a light is left alone.
    VOxaNode* plain = manager.CreateNode("Plain");
    EXPECT_TRUE(plain->GetPropertyHandler()->ConnectSrc(block));
}

TEST(attributes_Video, RegistersThroughTheFirstNodeUsingTheTexture) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* first = manager.CreateNode("First");
    VOxaNode* second = manager.CreateNode("Second");
    ASSERT_TRUE(scene->GetRootNode()->AddChild(first));
    ASSERT_TRUE(scene->GetRootNode()->AddChild(second));
    VOxaSceneContents* contents = first->GetSceneContents();
    ASSERT_NE(contents, nullptr);
    const int before = contents->GetVideoCount();

    // A texture no node uses yet: the video is not registered.
    VOxaTexture* wood = manager.CreateTexture("Wood");
    VOxaVideo* video = manager.CreateVideo("Film");
    ASSERT_TRUE(wood->GetPropertyHandler()->ConnectSrc(video->GetPropertyHandler()));
    EXPECT_EQ(contents->GetVideoCount(), before);

    // A texture used by a node in no scene: nothing to register with.
    VOxaNode* loose = manager.CreateNode("Loose");
    VOxaTexture* tile = manager.CreateTexture("Tile");
    ASSERT_TRUE(loose->GetPropertyHandler()->ConnectSrc(tile->GetPropertyHandler()));
    VOxaVideo* still = manager.CreateVideo("Still");
    ASSERT_TRUE(tile->GetPropertyHandler()->ConnectSrc(still->GetPropertyHandler()));
    EXPECT_EQ(contents->GetVideoCount(), before);

    // A texture used by two nodes of the scene: registered once, through the first.
    VOxaTexture* stone = manager.CreateTexture("Stone");
    ASSERT_TRUE(first->GetPropertyHandler()->ConnectSrc(stone->GetPropertyHandler()));
    ASSERT_TRUE(second->GetPropertyHandler()->ConnectSrc(stone->GetPropertyHandler()));
    VOxaVideo* reel = manager.CreateVideo("Reel");
    ASSERT_TRUE(stone->GetPropertyHandler()->ConnectSrc(reel->GetPropertyHandler()));
    EXPECT_EQ(contents->GetVideoCount(), before + 1);
    EXPECT_EQ(contents->GetVideoByName("Video::Reel"), reel);
    VOxaVideo* again = manager.CreateVideo("Reel");
    VOxaTexture* brick = manager.CreateTexture("Brick");
    ASSERT_TRUE(first->GetPropertyHandler()->ConnectSrc(brick->GetPropertyHandler()));
    ASSERT_TRUE(brick->GetPropertyHandler()->ConnectSrc(again->GetPropertyHandler()));
    EXPECT_EQ(contents->GetVideoByName("Video::Reel"), reel) << "a video of that name is there already";

    // When the first user with an owner is not a node, nothing is registered, even though a
    // node uses the texture after it.
    VOxaTexture* glass = manager.CreateTexture("Glass");
    VOxaMaterial* paint = manager.CreateMaterial("Paint");
    ASSERT_TRUE(paint->GetPropertyHandler()->ConnectSrc(glass->GetPropertyHandler()));
    ASSERT_TRUE(first->GetPropertyHandler()->ConnectSrc(glass->GetPropertyHandler()));
    VOxaVideo* clip = manager.CreateVideo("Clip");
    ASSERT_TRUE(glass->GetPropertyHandler()->ConnectSrc(clip->GetPropertyHandler()));
    EXPECT_EQ(contents->GetVideoByName("Video::Clip"), nullptr);
}
