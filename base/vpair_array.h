#ifndef OXA_BASE_VPAIR_ARRAY_H
#define OXA_BASE_VPAIR_ARRAY_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <vector>

// An array of (integer key, value) pairs kept for lookup by key. Add appends and marks the array
// unsorted; Find and GetAt sort it by key first (equal keys keep the order they were added in).
// Values are pointer-sized so that owners can map keys to objects.
class OXA_API VPairArray {
public:
    explicit VPairArray(int blockSize = 16);

    int GetCount() const { return (int)mItems.size(); }

    // Appends the pair; answers the index it was appended at (the order changes at the next sort).
    int Add(int key, intptr_t value);
    // The value of the first pair with `key`, found by bisection after sorting; 0 when absent.
    // `index`, when given, receives the pair's sorted index or -1.
    intptr_t Find(int key, int* index = nullptr);
    // The value of pair `index` in sorted order, and its key through `key` when given; 0 when the
    // index is out of range (the key is then left alone).
    intptr_t GetAt(int index, int* key = nullptr);
    // Frees the storage.
    void Clear();

private:
    struct Item {
        int key;
        intptr_t value;
    };
    void Sort();

    std::vector<Item> mItems;
    int mSortedCount = 0;  // the first mSortedCount items are in order
    int mBlockSize;
};

#endif  // OXA_BASE_VPAIR_ARRAY_H
