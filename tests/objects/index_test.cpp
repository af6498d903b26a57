#include <gtest/gtest.h>

#include <vector>

#include "objects/vindex.h"

namespace {

// Reserving room keeps every entry findable with its value, whether the table was built, empty
// or unbuilt, and entries added after it (up to and past the reserved count) are found too.
TEST(pointer_index, ReserveKeepsEntriesAndTakesMore) {
    std::vector<int> keys(300);
    VPointerIndex index;
    index.Reserve(5);
    EXPECT_EQ(index.Find(&keys[0]), -1);
    for (int i = 0; i < 40; ++i)
        index.Set(&keys[i], i);
    index.Reserve(200);
    index.Reserve(10);  // smaller than the table: nothing lost
    for (int i = 0; i < 40; ++i)
        ASSERT_EQ(index.Find(&keys[i]), i) << i;
    for (int i = 40; i < 300; ++i)
        index.Set(&keys[i], i);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(index.Find(&keys[i]), i) << i;
    index.Insert(&keys[7], 99);  // first entry wins
    EXPECT_EQ(index.Find(&keys[7]), 7);
    index.Erase(&keys[7]);
    EXPECT_EQ(index.Find(&keys[7]), -1);
    EXPECT_EQ(index.Find(&keys[8]), 8);
}

}  // namespace
