#include "base/vmemory_pool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(VMemoryReusePool, CreateAndDestroyTwice) {
    VMemoryReusePool::DestroyPools();  // nothing to destroy yet
    EXPECT_EQ(VMemoryReusePool::GetDefaultPool(), nullptr);
    EXPECT_TRUE(VMemoryReusePool::CreatePools());
    VMemoryReusePool* pool = VMemoryReusePool::GetDefaultPool();
    ASSERT_NE(pool, nullptr);
    EXPECT_TRUE(VMemoryReusePool::CreatePools());  // again: the same registry
    EXPECT_EQ(VMemoryReusePool::GetDefaultPool(), pool);

    void* block = pool->Allocate(40);
    ASSERT_NE(block, nullptr);
    pool->Free(block);  // kept in the pool when the pools go
    VMemoryReusePool::DestroyPools();
    EXPECT_EQ(VMemoryReusePool::GetDefaultPool(), nullptr);
    VMemoryReusePool::DestroyPools();
    EXPECT_TRUE(VMemoryReusePool::CreatePools());
    VMemoryReusePool::DestroyPools();
}

TEST(VMemoryReusePool, ReusesBlocksOfTheSameSizeClass) {
    VMemoryReusePool pool(0x20000, 2);
    void* a = pool.Allocate(13);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ((uintptr_t)a % alignof(std::max_align_t), 0u);
    std::memset(a, 0xAB, 13);
    pool.Free(a);
    EXPECT_EQ(pool.GetKeptBlockCount(), 1u);
    EXPECT_EQ(pool.Allocate(16), a);  // 13 and 16 share the class of 16 bytes
    EXPECT_EQ(pool.GetKeptBlockCount(), 0u);

    // Blocks smaller than a list link still work when kept and reused.
    void* tiny = pool.Allocate(1);
    pool.Free(tiny);
    void* tiny2 = pool.Allocate(2);
    EXPECT_EQ(tiny2, tiny);
    std::memset(tiny2, 0, 2);

    // Beyond the limit: straight to the heap, never kept.
    void* big = pool.Allocate(0x20001);
    ASSERT_NE(big, nullptr);
    std::memset(big, 1, 0x20001);
    pool.Free(big);
    EXPECT_EQ(pool.GetKeptBlockCount(), 0u);
    pool.Free(nullptr);
    EXPECT_EQ(pool.Allocate(SIZE_MAX), nullptr);

    pool.Free(a);
    pool.Free(tiny2);
    EXPECT_EQ(pool.GetKeptBlockCount(), 2u);
    pool.Empty();
    EXPECT_EQ(pool.GetKeptBlockCount(), 0u);
}
