#ifndef OXA_BASE_VMEMORY_POOL_H
#define OXA_BASE_VMEMORY_POOL_H

#include <oxa/base/oxa_export.h>

#include <cstddef>
#include <mutex>
#include <vector>

// A pool that keeps freed memory blocks for reuse. Requests up to the size limit are rounded up
// to a size class (a multiple of 2^shift bytes) and served from that class's list of freed
// blocks when it has one; larger requests go straight to the C heap. Every operation takes the
// pool's lock, so threads may share a pool.
//
// The process keeps a registry of pools: CreatePools makes it with one default pool, DestroyPools
// empties and destroys every pool and then the registry. Blocks must go back to the pool they
// came from, and before that pool is destroyed.
class OXA_API VMemoryReusePool {
public:
    // A pool for blocks of up to `sizeLimit` bytes in size classes of 2^`shift` bytes (shift is
    // clamped to 0..12).
    VMemoryReusePool(size_t sizeLimit, int shift);
    // Gives every kept block back to the heap.
    ~VMemoryReusePool();
    VMemoryReusePool(const VMemoryReusePool&) = delete;
    VMemoryReusePool& operator=(const VMemoryReusePool&) = delete;

    // A block of at least `size` bytes (0 is taken as 1), aligned for any type; null when the
    // heap has no memory left.
    void* Allocate(size_t size);
    // Gives a block from Allocate back for reuse; null is ignored.
    void Free(void* block);
    // Gives every kept block back to the heap.
    void Empty();
    // Number of freed blocks kept for reuse.
    size_t GetKeptBlockCount() const;

    // Makes the registry and registers the default pool (size limit 0x20000, shift 2); answers
    // true. Calling it again while the registry exists changes nothing.
    static bool CreatePools();
    // Empties and destroys every registered pool, then the registry; does nothing when there is
    // no registry, so it may be called any number of times.
    static void DestroyPools();
    // The default pool, null while the registry does not exist.
    static VMemoryReusePool* GetDefaultPool();

private:
    struct FreeBlock {
        FreeBlock* next;
    };

    size_t mSizeLimit;
    int mShift;
    std::vector<FreeBlock*> mFreeLists;  // one list head per size class
    size_t mKeptCount = 0;
    mutable std::mutex mLock;
};

#endif  // OXA_BASE_VMEMORY_POOL_H
