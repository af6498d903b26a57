#include <gtest/gtest.h>

#include "scene/voxa_scene_info.h"
#include "scene/voxa_take_info.h"

namespace {

TEST(scene_TakeInfo, CopiesShareTheThumbnail) {
    VOxaThumbnail thumbnail;
    thumbnail.SetSize(128);
    VOxaTakeInfo info;
    EXPECT_TRUE(info.mSelect) << "a new take information is selected";
    EXPECT_EQ(info.mLocalTimeSpan, VTimeSpan());
    info.mName = "Take 001";
    info.mFileName = "walk.oxa";
    info.mComments = "first";
    info.mSelect = false;
    info.mLocalTimeSpan.Set(VTime(10), VTime(20));
    info.mReferenceTimeSpan.Set(VTime(-5), VTime(50));
    info.SetTakeThumbnail(&thumbnail);

    auto* copy = new VOxaTakeInfo(info);
    EXPECT_STREQ(copy->mName.Buffer(), "Take 001");
    EXPECT_STREQ(copy->mFileName.Buffer(), "walk.oxa");
    EXPECT_STREQ(copy->mComments.Buffer(), "first");
    EXPECT_FALSE(copy->mSelect);
    EXPECT_EQ(copy->mLocalTimeSpan, VTimeSpan(VTime(10), VTime(20)));
    EXPECT_EQ(copy->mReferenceTimeSpan, VTimeSpan(VTime(-5), VTime(50)));
    EXPECT_EQ(copy->GetTakeThumbnail(), &thumbnail);
    delete copy;
    EXPECT_EQ(thumbnail.GetSizeInBytes(), 49152) << "deleting a copy leaves the thumbnail";
    ASSERT_NE(thumbnail.GetThumbnailImage(), nullptr);

    VOxaTakeInfo assigned;
    assigned = info;
    EXPECT_EQ(assigned.GetTakeThumbnail(), &thumbnail);
    EXPECT_FALSE(assigned.mSelect);
    assigned.SetTakeThumbnail(nullptr);
    EXPECT_EQ(info.GetTakeThumbnail(), &thumbnail);
}

}  // namespace
