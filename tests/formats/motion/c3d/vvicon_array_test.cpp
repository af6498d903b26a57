// Element counts of parameter arrays whose dimensions come from a file.
#include <gtest/gtest.h>

#include <algorithm>
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

TEST(c3d_array_counts, WrittenRecordsCarryTheFileFormatsTypeCodes) {
    // Type byte, dimensions (none for a single element), then the elements.
    const float rate = 1.0f;
    const int16_t word = 0x0102;
    const uint8_t byte = 7;
    const int one = 1, two = 2;
    auto written = [](const VViconArray& array, size_t n) {
        std::vector<uint8_t> out;
        EXPECT_TRUE(array.Write(out));
        out.resize(std::min(out.size(), n));
        return out;
    };
    EXPECT_EQ(written(VViconArray(&rate, VViconArray::kFloat, 0, nullptr), 2), (std::vector<uint8_t>{4, 0}));
    EXPECT_EQ(written(VViconArray(&word, VViconArray::kInt16, 0, nullptr), 9),
              (std::vector<uint8_t>{2, 0, 0x02, 0x01}));
    EXPECT_EQ(written(VViconArray(&word, VViconArray::kUInt16, 1, &one), 9),
              (std::vector<uint8_t>{2, 0, 0x02, 0x01}));
    EXPECT_EQ(written(VViconArray(&byte, VViconArray::kUInt8, 0, nullptr), 9),
              (std::vector<uint8_t>{1, 0, 7}));
    EXPECT_EQ(written(VViconArray("ab", VViconArray::kChar, 1, &two), 9),
              (std::vector<uint8_t>{0xFF, 1, 2, 'a', 'b'}));
    // Types the file format has no code for are refused.
    const double wide = 1.0;
    std::vector<uint8_t> out;
    EXPECT_FALSE(VViconArray(&wide, VViconArray::kDouble, 0, nullptr).Write(out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
