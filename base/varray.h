#ifndef OXA_BASE_VARRAY_H
#define OXA_BASE_VARRAY_H

#include <oxa/base/oxa_export.h>

#include <cassert>
#include <cstddef>
#include <type_traits>

// An untyped growable array of fixed-size items. It grows when full and its storage is only
// given back by Clear (or Resize to a smaller count). Items are moved as raw bytes, so they must
// not own resources or point into themselves.
//
// Growth goes by what the array holds. An array whose block takes more than kSmallBlockBytes
// starts with room for what it is asked to hold and doubles that room while it is below one
// block: a mesh of three vertices does not pay for 256 of them. From one block on (and from the
// start for small blocks) the storage is a whole number of blocks and grows by at least one block
// and at least a quarter of the blocks it has, so that appending n items costs O(n) copies.
class OXA_API VBaseArray {
public:
    // Makes an empty array; a block size below 1 is taken as 1, an item size below 1 as 1.
    VBaseArray(int blockSize, int itemSize);
    // Makes an exact copy: same block size and item size, same items.
    VBaseArray(const VBaseArray& other);
    // Clears this array, takes the other's block size and appends every item of the other.
    // Arrays of different item sizes cannot be assigned: the target is left empty.
    VBaseArray& operator=(const VBaseArray& other);
    VBaseArray(VBaseArray&& other) noexcept;
    VBaseArray& operator=(VBaseArray&& other) noexcept;
    virtual ~VBaseArray();

    // A block of at most this many bytes is allocated whole from the first item on.
    static constexpr int kSmallBlockBytes = 256;

    int GetCount() const { return mCount; }
    // The number of blocks the storage has begun (a storage below one block counts as one).
    int GetBlockCount() const { return (int)(((long long)mCapacity + mBlockSize - 1) / mBlockSize); }
    int GetBlockSize() const { return mBlockSize; }
    int GetItemSize() const { return mItemSize; }
    // Number of items the current storage holds.
    int GetCapacity() const { return mCapacity; }

    // Inserts a copy of `item` (GetItemSize() bytes; null inserts zeroes) at `index`, moving
    // the tail up. An index past the count is clamped to it (appends); a negative one to 0.
    // Answers the index used, or -1 when the storage could not grow (the array is unchanged).
    int InsertAt(int index, const void* item);
    // Appends a copy of `item`; answers its index or -1 as InsertAt.
    int Add(const void* item) { return InsertAt(mCount, item); }
    // Appends n zeroed items; answers the index of the first one, or -1 (array unchanged) for a
    // negative n or when the storage could not grow.
    int AddMultiple(int n);
    // Removes the item at `index`, moving the tail down; the storage is kept. Answers the new
    // count; an index out of range changes nothing.
    int RemoveAt(int index);
    // Frees the storage and sets the count to 0.
    void Clear();
    // Sets the count: growing appends zeroed items, shrinking only lowers the count and keeps
    // the storage. False (array unchanged) for a negative n or when the storage cannot grow.
    bool SetCount(int n);
    // Sets the count with zero-filled new items; the same as SetCount.
    bool Resize(int n) { return SetCount(n); }

    // The item at `index`, or null when the index is out of range.
    void* GetAt(int index) {
        return (index >= 0 && index < mCount) ? mData + (size_t)index * mItemSize : nullptr;
    }
    const void* GetAt(int index) const {
        return (index >= 0 && index < mCount) ? mData + (size_t)index * mItemSize : nullptr;
    }
    // Overwrites the item at `index` with `item`; false when the index is out of range.
    bool SetAt(int index, const void* item);
    // The storage itself (null while nothing is allocated).
    void* GetBaseArray() { return mData; }
    const void* GetBaseArray() const { return mData; }

protected:
    // Makes room for at least n items; false when that is impossible.
    bool Grow(int n);

    int mCount = 0;
    int mCapacity = 0;
    int mBlockSize = 1;
    int mItemSize = 1;
    unsigned char* mData = nullptr;
};

// The typed array over VBaseArray. T is moved as bytes: pointers, numbers and small value types
// (vectors, colours) only. operator[] is unchecked for speed; GetAt is the checked read.
template <typename T>
class OXA_TEMPLATE_API VArrayTemplate : public VBaseArray {
    static_assert(std::is_trivially_destructible<T>::value,
                  "VArrayTemplate holds plain values; keep owning types in other containers");

public:
    explicit VArrayTemplate(int blockSize = 16) : VBaseArray(blockSize, (int)sizeof(T)) {}
    VArrayTemplate(const VArrayTemplate& other) = default;
    VArrayTemplate(VArrayTemplate&& other) noexcept = default;
    // Exact copy: clears this array, takes the other's block size, then appends every item.
    VArrayTemplate& operator=(const VArrayTemplate& other) {
        VBaseArray::operator=(other);
        return *this;
    }
    VArrayTemplate& operator=(VArrayTemplate&& other) noexcept {
        VBaseArray::operator=(static_cast<VBaseArray&&>(other));
        return *this;
    }

    // Appends `item`; answers its index (-1 when the storage could not grow).
    int Add(const T& item) { return VBaseArray::InsertAt(mCount, &item); }
    // Inserts `item` at `index` clamped to [0, count]; answers the index used or -1.
    int InsertAt(int index, const T& item) { return VBaseArray::InsertAt(index, &item); }
    // The item at `index`, or a value-initialised T (0, null) when out of range.
    T GetAt(int index) const {
        const void* p = VBaseArray::GetAt(index);
        return p ? *static_cast<const T*>(p) : T();
    }
    // Overwrites the item at `index`; false when out of range.
    bool SetAt(int index, const T& item) { return VBaseArray::SetAt(index, &item); }
    // The last item, or T() when empty.
    T GetLast() const { return GetAt(mCount - 1); }
    // Index of the first item equal to `item`, -1 when absent.
    int Find(const T& item) const {
        const T* items = GetArray();
        for (int i = 0; i < mCount; ++i) {
            if (items[i] == item) return i;
        }
        return -1;
    }

    // Direct access for loops over many items; valid until the array next grows or is cleared.
    T* GetArray() { return reinterpret_cast<T*>(mData); }
    const T* GetArray() const { return reinterpret_cast<const T*>(mData); }
    T& operator[](int index) {
        assert(index >= 0 && index < mCount);
        return GetArray()[index];
    }
    const T& operator[](int index) const {
        assert(index >= 0 && index < mCount);
        return GetArray()[index];
    }
};

#endif  // OXA_BASE_VARRAY_H
