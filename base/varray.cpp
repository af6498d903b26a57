#include "base/varray.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "base/vallocation_hook.h"

VBaseArray::VBaseArray(int blockSize, int itemSize)
    : mBlockSize(blockSize < 1 ? 1 : blockSize), mItemSize(itemSize < 1 ? 1 : itemSize) {}

VBaseArray::VBaseArray(const VBaseArray& other) : mBlockSize(other.mBlockSize), mItemSize(other.mItemSize) {
    if (other.mCount > 0 && Grow(other.mCount)) {
        std::memcpy(mData, other.mData, (size_t)other.mCount * mItemSize);
        mCount = other.mCount;
    }
}

VBaseArray& VBaseArray::operator=(const VBaseArray& other) {
    if (this == &other) return *this;
    Clear();
    mBlockSize = other.mBlockSize;
    if (other.mItemSize != mItemSize) return *this;
    if (other.mCount > 0 && Grow(other.mCount)) {
        std::memcpy(mData, other.mData, (size_t)other.mCount * mItemSize);
        mCount = other.mCount;
    }
    return *this;
}

VBaseArray::VBaseArray(VBaseArray&& other) noexcept
    : mCount(other.mCount),
      mCapacity(other.mCapacity),
      mBlockSize(other.mBlockSize),
      mItemSize(other.mItemSize),
      mData(other.mData) {
    other.mCount = 0;
    other.mCapacity = 0;
    other.mData = nullptr;
}

VBaseArray& VBaseArray::operator=(VBaseArray&& other) noexcept {
    if (this == &other) return *this;
    if (other.mItemSize != mItemSize) {
        Clear();
        mBlockSize = other.mBlockSize;
        return *this;
    }
    std::free(mData);
    mCount = other.mCount;
    mCapacity = other.mCapacity;
    mBlockSize = other.mBlockSize;
    mData = other.mData;
    other.mCount = 0;
    other.mCapacity = 0;
    other.mData = nullptr;
    return *this;
}

VBaseArray::~VBaseArray() {
    std::free(mData);
}

namespace {

// The capacity, in items, that an array of `capacity` items grows to for room for n items (more
// than it has); -1 when that is beyond an int's count or byte size.
long long CapacityFor(int n, int capacity, int blockSize, int itemSize) {
    const long long blockBytes = (long long)blockSize * itemSize;
    long long items;
    if (blockBytes > VBaseArray::kSmallBlockBytes && n < blockSize) {
        // Below one block of a large block: room for what is asked, at least twice what there is.
        items = 2LL * capacity;
        if (items < n) items = n;
        if (items > blockSize) items = blockSize;
    } else {
        // Whole blocks only: a storage below one block becomes the first block.
        const long long blockCount = (long long)capacity / blockSize;
        const long long needBlocks = ((long long)n + blockSize - 1) / blockSize;
        long long stepBlocks = blockCount / 4;
        if (stepBlocks < 1) stepBlocks = 1;
        long long blocks = blockCount + stepBlocks;
        if (blocks < needBlocks) blocks = needBlocks;
        items = blocks * blockSize;
        // Keep counts and byte sizes within int and a sane allocation size.
        if (items > INT_MAX || items * itemSize > (long long)INT_MAX) {
            items = needBlocks * blockSize;
            if (items > INT_MAX || items * itemSize > (long long)INT_MAX) return -1;
        }
    }
    return items;
}

}  // namespace

bool VBaseArray::Grow(int n) {
    if (n < 0) return false;
    if (n <= mCapacity) return true;
    const long long items = CapacityFor(n, mCapacity, mBlockSize, mItemSize);
    if (items < 0) return false;
    void* p = oxa_alloc::Allowed() ? std::realloc(mData, (size_t)(items * mItemSize)) : nullptr;
    if (!p) {
        oxa_alloc::NoteFailure();
        return false;
    }
    mData = static_cast<unsigned char*>(p);
    mCapacity = (int)items;
    return true;
}

int VBaseArray::InsertAt(int index, const void* item) {
    // An item taken from this array itself (a.Add(a[0])) would move or be freed by the growth
    // and the shift below: insert a copy of it instead.
    const unsigned char* p = static_cast<const unsigned char*>(item);
    if (p && mData && std::less_equal<const unsigned char*>()(mData, p) &&
        std::less<const unsigned char*>()(p, mData + (size_t)GetCapacity() * mItemSize)) {
        unsigned char local[64];
        unsigned char* copy = mItemSize <= (int)sizeof(local)
                                  ? local
                                  : static_cast<unsigned char*>(std::malloc((size_t)mItemSize));
        if (!copy) {
            oxa_alloc::NoteFailure();
            return -1;
        }
        std::memcpy(copy, p, (size_t)mItemSize);
        int at = InsertAt(index, copy);
        if (copy != local) std::free(copy);
        return at;
    }
    if (mCount == INT_MAX || !Grow(mCount + 1)) return -1;
    if (index < 0) index = 0;
    if (index > mCount) index = mCount;
    unsigned char* slot = mData + (size_t)index * mItemSize;
    if (index < mCount) std::memmove(slot + mItemSize, slot, (size_t)(mCount - index) * mItemSize);
    if (item) {
        std::memcpy(slot, item, (size_t)mItemSize);
    } else {
        std::memset(slot, 0, (size_t)mItemSize);
    }
    ++mCount;
    return index;
}

int VBaseArray::AddMultiple(int n) {
    if (n < 0 || n > INT_MAX - mCount) return -1;
    int first = mCount;
    if (!SetCount(mCount + n)) return -1;
    return first;
}

int VBaseArray::RemoveAt(int index) {
    if (index < 0 || index >= mCount) return mCount;
    unsigned char* slot = mData + (size_t)index * mItemSize;
    std::memmove(slot, slot + mItemSize, (size_t)(mCount - index - 1) * mItemSize);
    return --mCount;
}

void VBaseArray::Clear() {
    std::free(mData);
    mData = nullptr;
    mCount = 0;
    mCapacity = 0;
}

bool VBaseArray::SetCount(int n) {
    if (n < 0) return false;
    if (n > mCount && mData == nullptr) {
        // The first storage of an empty array comes zeroed: a large one straight from the
        // system, its pages untouched until written, rather than written over with zeroes here.
        const long long items = CapacityFor(n, mCapacity, mBlockSize, mItemSize);
        if (items < 0) return false;
        void* p = oxa_alloc::Allowed() ? std::calloc((size_t)items, (size_t)mItemSize) : nullptr;
        if (!p) {
            oxa_alloc::NoteFailure();
            return false;
        }
        mData = static_cast<unsigned char*>(p);
        mCapacity = (int)items;
        mCount = n;
        return true;
    }
    if (n > mCount) {
        if (!Grow(n)) return false;
        std::memset(mData + (size_t)mCount * mItemSize, 0, (size_t)(n - mCount) * mItemSize);
    }
    mCount = n;
    return true;
}

bool VBaseArray::SetAt(int index, const void* item) {
    void* slot = GetAt(index);
    if (!slot) return false;
    if (item) {
        std::memcpy(slot, item, (size_t)mItemSize);
    } else {
        std::memset(slot, 0, (size_t)mItemSize);
    }
    return true;
}
