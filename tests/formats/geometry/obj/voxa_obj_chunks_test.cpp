#include "formats/geometry/obj/voxa_obj_chunks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

// The process's address space now, in KB (0 when /proc is not readable).
long AddressSpaceKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, 7, "VmSize:") == 0) return std::atol(line.c_str() + 7);
    return 0;
}

struct Corner {
    int mVertex, mUV, mNormal;
};

}  // namespace

// Many arrays of a few elements (the groups of a file of many small groups) take address space
// for what they hold, not a block of 65,536 elements each.
TEST(ObjChunks, SmallArraysTakeLittleAddressSpace) {
    using Array = voxa_obj::VChunkedArray<Corner>;
    std::vector<std::unique_ptr<Array>> arrays;
    const long before = AddressSpaceKb();
    if (before == 0) GTEST_SKIP() << "no /proc/self/status";
    for (int a = 0; a < 2000; ++a) {
        arrays.push_back(std::make_unique<Array>());
        for (int i = 0; i < 3; ++i)
            arrays.back()->push_back(Corner{a, i, -1});
    }
    // 2,000 blocks of 65,536 corners would be 1.5 GB.
    EXPECT_LT(AddressSpaceKb() - before, 64 * 1024);
    for (int a = 0; a < 2000; a += 499)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ((*arrays[(size_t)a])[(size_t)i].mVertex + (*arrays[(size_t)a])[(size_t)i].mUV, a + i);
}

// Values survive the first block's growth into a mapped block and the blocks after it; truncate,
// release and clear leave an array that takes values again.
TEST(ObjChunks, ValuesThroughGrowthTruncateReleaseAndClear) {
    voxa_obj::VChunkedArray<int, 8> array;  // blocks of 256
    for (int i = 0; i < 1000; ++i)
        array.push_back(i * 3);
    ASSERT_EQ(array.size(), 1000u);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(array[(size_t)i], i * 3) << i;

    array.truncate(100);  // back inside the first block
    for (int i = 100; i < 600; ++i)
        array.push_back(-i);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(array[(size_t)i], i < 100 ? i * 3 : -i) << i;

    array.truncate(0);  // no block left: the first starts small again
    EXPECT_TRUE(array.empty());
    for (int i = 0; i < 300; ++i)
        array.push_back(i + 7);
    array.ReleaseBefore(260);  // frees the first block only
    for (int i = 256; i < 300; ++i)
        ASSERT_EQ(array[(size_t)i], i + 7) << i;

    array.clear();
    for (int i = 0; i < 5; ++i)
        array.push_back(i);
    EXPECT_EQ(array.size(), 5u);
    EXPECT_EQ(array[4], 4);
}
