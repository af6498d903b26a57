#include "scene/voxa_sdk_runtime.h"

#include <gtest/gtest.h>

#include "base/vmemory_pool.h"
#include "objects/vworld.h"

// The library starts the runtime when it is loaded; the test first drops that start so that
// its own starts and stops are the only ones, and gives it back at the end.
TEST(scene_SdkRuntime, CountedStartsAndStops) {
    ASSERT_NE(VWorld::GetGlobal(), nullptr) << "started at load";
    VOxaSdkTerm();
    EXPECT_EQ(VWorld::GetGlobal(), nullptr) << "the last stop clears the world slot";
    EXPECT_EQ(VMemoryReusePool::GetDefaultPool(), nullptr);

    EXPECT_TRUE(VOxaSdkInit());
    VWorld* world = VWorld::GetGlobal();
    ASSERT_NE(world, nullptr);
    EXPECT_NE(VMemoryReusePool::GetDefaultPool(), nullptr);
    EXPECT_TRUE(VOxaSdkInit());
    EXPECT_EQ(VWorld::GetGlobal(), world) << "a second start changes nothing";
    VOxaSdkTerm();
    EXPECT_EQ(VWorld::GetGlobal(), world) << "one start is still running";
    EXPECT_NE(VMemoryReusePool::GetDefaultPool(), nullptr);
    VOxaSdkTerm();
    EXPECT_EQ(VWorld::GetGlobal(), nullptr);
    EXPECT_EQ(VMemoryReusePool::GetDefaultPool(), nullptr);

    // Stops without a start do nothing, and the count does not go below zero: the next start
    // brings everything up again.
    VOxaSdkTerm();
    VOxaSdkTerm();
    EXPECT_TRUE(VOxaSdkInit());
    EXPECT_NE(VWorld::GetGlobal(), nullptr);
    EXPECT_NE(VMemoryReusePool::GetDefaultPool(), nullptr);
}
