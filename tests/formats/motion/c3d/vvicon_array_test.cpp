// Element counts of parameter arrays whose dimensions come from a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "formats/motion/c3d/vvicon_loader.h"

namespace {

TEST(c3d_array_counts, AZeroDimensionEmptiesTheArrayWhereverItStands) {
    // Eight dimensions of 255 multiply past 64 bits before the 0 is met.
    for (int zeroAt : {0, 4, 8}) {
        int sizes[9];
        for (int& size : sizes)
            size = 255;
        sizes[zeroAt] = 0;
        VViconArray array(nullptr, VViconArray::kInt16, 9, sizes);
        EXPECT_EQ(array.GetElementCount(), 0) << zeroAt;
        VViconArray row;
        if (zeroAt == 0) {
            EXPECT_FALSE(array.GetRow(row, 0));
        } else {
            ASSERT_TRUE(array.GetRow(row, 254));
            EXPECT_EQ(row.GetElementCount(), 0) << zeroAt;
        }
    }
}

TEST(c3d_array_counts, ACountPast64BitsSaturates) {
    // A view over caller data, so nothing is allocated for the nominal count.
    const int16_t data[2] = {1, 2};
    int sizes[9];
    for (int& size : sizes)
        size = 255;
    VViconArray huge(data, VViconArray::kInt16, 9, sizes);
    EXPECT_EQ(huge.GetElementCount(), std::numeric_limits<int64_t>::max());
    const int small[3] = {2, 3, 4};
    VViconArray table(nullptr, VViconArray::kFloat, 3, small);
    EXPECT_EQ(table.GetElementCount(), 24);
    VViconArray row;
    ASSERT_TRUE(table.GetRow(row, 1));
    EXPECT_EQ(row.GetElementCount(), 12);
    EXPECT_EQ(row.GetData() - table.GetData(), 12 * 4);
}

}  // namespace
