#include "base/vmemory_pool.h"

#include "base/vallocation_hook.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Each block starts with a header that records its size class (0: a large block from the heap),
// padded so that the caller's part stays aligned for any type.
constexpr size_t kHeaderSize = alignof(std::max_align_t) > sizeof(size_t) ? alignof(std::max_align_t)
                                                                          : sizeof(size_t);

std::mutex gRegistryLock;
std::vector<VMemoryReusePool*>* gRegistry = nullptr;

}  // namespace

VMemoryReusePool::VMemoryReusePool(size_t sizeLimit, int shift)
    : mSizeLimit(sizeLimit), mShift(shift < 0 ? 0 : (shift > 12 ? 12 : shift)) {
    mFreeLists.assign((mSizeLimit >> mShift) + 2, nullptr);
}

VMemoryReusePool::~VMemoryReusePool() {
    Empty();
}

void* VMemoryReusePool::Allocate(size_t size) {
    if (size == 0) size = 1;
    if (size > SIZE_MAX - kHeaderSize - ((size_t)1 << mShift)) return nullptr;
    size_t sizeClass = 0;
    size_t blockSize = size;
    if (size <= mSizeLimit) {
        sizeClass = (size + ((size_t)1 << mShift) - 1) >> mShift;
        blockSize = sizeClass << mShift;
        // A kept block must hold its list link.
        if (blockSize < sizeof(FreeBlock)) blockSize = sizeof(FreeBlock);
        std::lock_guard<std::mutex> lock(mLock);
        FreeBlock* block = mFreeLists[sizeClass];
        if (block) {
            mFreeLists[sizeClass] = block->next;
            --mKeptCount;
            return block;
        }
    }
    unsigned char* raw = static_cast<unsigned char*>(std::malloc(kHeaderSize + blockSize));
    if (!raw) return oxa_alloc::Counted(raw);
    *reinterpret_cast<size_t*>(raw) = sizeClass;
    return raw + kHeaderSize;
}

void VMemoryReusePool::Free(void* block) {
    if (!block) return;
    unsigned char* raw = static_cast<unsigned char*>(block) - kHeaderSize;
    size_t sizeClass = *reinterpret_cast<size_t*>(raw);
    if (sizeClass == 0 || sizeClass >= mFreeLists.size()) {
        std::free(raw);
        return;
    }
    // A kept block holds the list link in its caller's part; the header stays intact.
    FreeBlock* freed = static_cast<FreeBlock*>(block);
    std::lock_guard<std::mutex> lock(mLock);
    freed->next = mFreeLists[sizeClass];
    mFreeLists[sizeClass] = freed;
    ++mKeptCount;
}

void VMemoryReusePool::Empty() {
    std::lock_guard<std::mutex> lock(mLock);
    for (FreeBlock*& head : mFreeLists) {
        while (head) {
            FreeBlock* next = head->next;
            std::free(reinterpret_cast<unsigned char*>(head) - kHeaderSize);
            head = next;
        }
    }
    mKeptCount = 0;
}

size_t VMemoryReusePool::GetKeptBlockCount() const {
    std::lock_guard<std::mutex> lock(mLock);
    return mKeptCount;
}

bool VMemoryReusePool::CreatePools() {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    if (gRegistry) return true;
    gRegistry = new std::vector<VMemoryReusePool*>();
    gRegistry->push_back(new VMemoryReusePool(0x20000, 2));
    return true;
}

void VMemoryReusePool::DestroyPools() {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    if (!gRegistry) return;
    for (VMemoryReusePool* pool : *gRegistry) {
        pool->Empty();
        delete pool;
    }
    delete gRegistry;
    gRegistry = nullptr;
}

VMemoryReusePool* VMemoryReusePool::GetDefaultPool() {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    return gRegistry && !gRegistry->empty() ? (*gRegistry)[0] : nullptr;
}
