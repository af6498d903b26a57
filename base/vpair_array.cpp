#include "base/vpair_array.h"

#include <algorithm>

VPairArray::VPairArray(int blockSize) : mBlockSize(blockSize < 1 ? 1 : blockSize) {}

int VPairArray::Add(int key, intptr_t value) {
    if (mItems.size() == mItems.capacity()) mItems.reserve(mItems.size() + mItems.size() / 2 + mBlockSize);
    // Appending in key order keeps the array sorted.
    if (mSortedCount == (int)mItems.size() && (mItems.empty() || mItems.back().key <= key)) ++mSortedCount;
    mItems.push_back(Item{key, value});
    return (int)mItems.size() - 1;
}

// Sorts only the pairs added out of order since the last sort and merges them in.
void VPairArray::Sort() {
    if (mSortedCount == (int)mItems.size()) return;
    auto less = [](const Item& a, const Item& b) { return a.key < b.key; };
    auto middle = mItems.begin() + mSortedCount;
    std::stable_sort(middle, mItems.end(), less);
    std::inplace_merge(mItems.begin(), middle, mItems.end(), less);
    mSortedCount = (int)mItems.size();
}

intptr_t VPairArray::Find(int key, int* index) {
    // A few unsorted pairs are searched one by one rather than merged in at once (see
    // VStringPairList::Find); a sorted match was added first and so is the first one.
    size_t tail = mItems.size() - (size_t)mSortedCount;
    if (index || tail * tail > mItems.size() + 64) Sort();
    auto sortedEnd = mItems.begin() + mSortedCount;
    auto it = std::lower_bound(mItems.begin(), sortedEnd, key,
                               [](const Item& item, int k) { return item.key < k; });
    if (it != sortedEnd && it->key == key) {
        if (index) *index = (int)(it - mItems.begin());
        return it->value;
    }
    for (auto t = sortedEnd; t != mItems.end(); ++t) {
        if (t->key == key) return t->value;
    }
    if (index) *index = -1;
    return 0;
}

intptr_t VPairArray::GetAt(int index, int* key) {
    if (index < 0 || index >= (int)mItems.size()) return 0;
    Sort();
    if (key) *key = mItems[index].key;
    return mItems[index].value;
}

void VPairArray::Clear() {
    std::vector<Item>().swap(mItems);
    mSortedCount = 0;
}
