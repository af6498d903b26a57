// An array that grows in blocks of fixed size: appending never moves what is stored (no copy of
// the whole array, no two copies alive at once), and blocks already read can be freed while the
// rest is still read, so a reader can hand its faces over to a mesh without holding both whole.
// The blocks are mapped from the system one by one, so a freed block goes back to it at once
// rather than staying in the allocator's heap between blocks still in use. The first block
// starts small, on the heap, and doubles until it has a block's size: an array of a few
// elements (one of many small groups) takes memory and address space for those few only.
#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_CHUNKS_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_CHUNKS_H

#include <oxa/base/oxa_export.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

namespace voxa_obj {

template <typename T, int kShift = 16>
class VChunkedArray {
    static_assert(std::is_trivially_copyable<T>::value, "blocks hold plain values");

public:
    static constexpr size_t kBlock = (size_t)1 << kShift;

    VChunkedArray() = default;
    VChunkedArray(const VChunkedArray&) = delete;
    VChunkedArray& operator=(const VChunkedArray&) = delete;
    ~VChunkedArray() { clear(); }

    size_t size() const { return mSize; }
    bool empty() const { return mSize == 0; }

    // Appends a value (may throw std::bad_alloc, as a vector would).
    void push_back(const T& value) {
        if (mSize < kBlock) {
            if (mSize == mFirstCapacity) GrowFirst();
        } else if ((mSize >> kShift) == mBlocks.size()) {
            mBlocks.reserve(mBlocks.size() + 1);
            mBlocks.push_back(Map());
        }
        mBlocks[mSize >> kShift][mSize & (kBlock - 1)] = value;
        ++mSize;
    }
    // Element i of those stored; its block must not have been freed.
    T& operator[](size_t i) { return mBlocks[i >> kShift][i & (kBlock - 1)]; }
    const T& operator[](size_t i) const { return mBlocks[i >> kShift][i & (kBlock - 1)]; }

    // Drops the elements from `count` on (only shrinks); the blocks left empty are freed.
    void truncate(size_t count) {
        if (count >= mSize) return;
        mSize = count;
        const size_t keep = (count + kBlock - 1) >> kShift;
        for (size_t b = keep; b < mBlocks.size(); ++b)
            Free(b);
        mBlocks.resize(keep);
        if (keep == 0) mFirstCapacity = 0;
    }
    // Frees the blocks that hold only elements below `index`: they must not be read again.
    void ReleaseBefore(size_t index) {
        for (size_t b = mReleased; b < mBlocks.size() && (b + 1) * kBlock <= index; ++b, ++mReleased)
            Free(b);
    }
    void clear() {
        for (size_t b = 0; b < mBlocks.size(); ++b)
            Free(b);
        std::vector<T*>().swap(mBlocks);
        mSize = 0;
        mReleased = 0;
        mFirstCapacity = 0;
    }

private:
    static constexpr size_t kBytes = kBlock * sizeof(T);
    // The first block's first size, in elements: about 256 bytes.
    static constexpr size_t kFirst = sizeof(T) >= 256 || kBlock < 256 / sizeof(T) ? 1 : 256 / sizeof(T);

    // Moves the first block to one of twice its size (a full block is mapped, as the others).
    void GrowFirst() {
        const size_t capacity = mFirstCapacity == 0 ? kFirst : std::min(mFirstCapacity * 2, kBlock);
        T* block = capacity == kBlock ? Map() : static_cast<T*>(::operator new(capacity * sizeof(T)));
        if (mBlocks.empty()) {
            try {
                mBlocks.push_back(block);
            } catch (...) {
                capacity == kBlock ? (void)::munmap(block, kBytes) : ::operator delete(block);
                throw;
            }
        } else {
            std::memcpy(block, mBlocks[0], mSize * sizeof(T));
            Free(0);
            mBlocks[0] = block;
        }
        mFirstCapacity = capacity;
    }
    // Gives block b back: the first block is on the heap until it has a block's size.
    void Free(size_t b) {
        if (b == 0 && mFirstCapacity < kBlock) {
            ::operator delete(mBlocks[0]);
            mBlocks[0] = nullptr;
        } else {
            Unmap(mBlocks[b]);
        }
    }
    static T* Map() {
        void* block = ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    static void Unmap(T*& block) {
        if (block) ::munmap(block, kBytes);
        block = nullptr;
    }

    std::vector<T*> mBlocks;
    size_t mSize = 0;
    size_t mReleased = 0;       // blocks freed from the front
    size_t mFirstCapacity = 0;  // elements the first block holds (kBlock once it is mapped)
};

}  // namespace voxa_obj

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_CHUNKS_H
