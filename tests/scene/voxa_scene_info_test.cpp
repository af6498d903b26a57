#include <gtest/gtest.h>

#include <climits>

#include "scene/voxa_scene_info.h"

namespace {

TEST(scene_Thumbnail, BufferSizeFollowsFormatAndSize) {
    VOxaThumbnail t;
    EXPECT_EQ(t.GetDataFormat(), VOxaThumbnail::eRGB_24);
    EXPECT_EQ(t.GetSize(), 0);
    EXPECT_EQ(t.GetSizeInBytes(), 0);
    EXPECT_EQ(t.GetThumbnailImage(), nullptr);

    t.SetSize(64);
    EXPECT_EQ(t.GetSizeInBytes(), 12288);
    ASSERT_NE(t.GetThumbnailImage(), nullptr);

    VOxaThumbnail rgba;
    rgba.SetDataFormat(VOxaThumbnail::eRGBA_32);
    EXPECT_EQ(rgba.GetThumbnailImage(), nullptr) << "no size, no buffer";
    rgba.SetSize(128);
    EXPECT_EQ(rgba.GetSizeInBytes(), 65536);
    rgba.SetSize(64);
    EXPECT_EQ(rgba.GetSizeInBytes(), 16384);
    // Any format other than 0 is RGBA.
    rgba.SetDataFormat(-7);
    EXPECT_EQ(rgba.GetSizeInBytes(), 16384);

    t.SetDataFormat(0);
    t.SetSize(128);
    EXPECT_EQ(t.GetSizeInBytes(), 49152);
}

TEST(scene_Thumbnail, AnyOtherSizeLeavesNoPicture) {
    for (int size : {100, 0, -64, 63, 65, 256, INT_MIN, INT_MAX}) {
        VOxaThumbnail t;
        t.SetSize(64);
        t.SetSize(size);
        EXPECT_EQ(t.GetSize(), size);
        EXPECT_EQ(t.GetSizeInBytes(), 0) << "size " << size;
        EXPECT_EQ(t.GetThumbnailImage(), nullptr) << "size " << size;
    }
}

TEST(scene_Thumbnail, FormatChangeAfterSizeResizesKeepingLeadingBytes) {
    VOxaThumbnail t;
    t.SetSize(64);
    unsigned char* image = t.GetThumbnailImage();
    for (int i = 0; i < t.GetSizeInBytes(); ++i)
        image[i] = (unsigned char)(i * 7);

    t.SetDataFormat(VOxaThumbnail::eRGBA_32);
    ASSERT_EQ(t.GetSizeInBytes(), 16384);
    image = t.GetThumbnailImage();
    ASSERT_NE(image, nullptr);
    for (int i = 0; i < 12288; ++i)
        ASSERT_EQ(image[i], (unsigned char)(i * 7)) << "byte " << i;
    // The whole new size can be written (the sanitizer build checks the bound).
    image[16383] = 0xAB;
    for (int i = 12288; i < 16383; ++i)
        ASSERT_EQ(image[i], 0) << "byte " << i;

    t.SetDataFormat(VOxaThumbnail::eRGB_24);
    ASSERT_EQ(t.GetSizeInBytes(), 12288);
    image = t.GetThumbnailImage();
    image[12287] = 1;
    EXPECT_EQ(image[100], (unsigned char)(700));

    // A new size gives a fresh buffer.
    t.SetSize(64);
    EXPECT_EQ(t.GetThumbnailImage()[100], 0);
}

TEST(scene_SceneInfo, ClearKeepsTheThumbnailAlive) {
    VOxaThumbnail thumbnail;
    thumbnail.SetSize(64);
    VOxaSceneInfo info;
    EXPECT_EQ(info.GetSceneThumbnail(), nullptr);
    EXPECT_STREQ(info.mTitle.Buffer(), "");
    info.mTitle = "Title";
    info.mComment = "none";
    info.SetSceneThumbnail(&thumbnail);

    info.Clear();
    for (const VString* s :
         {&info.mTitle, &info.mSubject, &info.mAuthor, &info.mKeywords, &info.mRevision, &info.mComment})
        EXPECT_STREQ(s->Buffer(), "");
    EXPECT_EQ(info.GetSceneThumbnail(), nullptr);
    EXPECT_EQ(thumbnail.GetSizeInBytes(), 12288);
    EXPECT_NE(thumbnail.GetThumbnailImage(), nullptr);
}

}  // namespace
