#include "base/vstring_pair_list.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        int ca = std::toupper((unsigned char)*a);
        int cb = std::toupper((unsigned char)*b);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

}  // namespace

VStringPairList::VStringPairList(int blockSize, bool caseSensitive)
    : mBlockSize(blockSize < 1 ? 1 : blockSize), mCaseSensitive(caseSensitive) {}

void VStringPairList::SetCaseSensitive(bool caseSensitive) {
    if (caseSensitive != mCaseSensitive) mSortedCount = 0;
    mCaseSensitive = caseSensitive;
}

int VStringPairList::CompareKeys(const char* a, const char* b) const {
    if (mCaseSensitive) return std::strcmp(a, b);
    return CompareNoCase(a, b);
}

int VStringPairList::Add(const char* key, intptr_t value) {
    if (mItems.size() == mItems.capacity()) mItems.reserve(mItems.size() + mItems.size() / 2 + mBlockSize);
    if (!key) key = "";
    // Appending in key order keeps the list sorted.
    if (mSortedCount == (int)mItems.size() && (mItems.empty() || CompareKeys(mItems.back().key, key) <= 0)) {
        ++mSortedCount;
    }
    mItems.push_back(Item{VString(key), value});
    return (int)mItems.size() - 1;
}

// Sorts only what was added since the last sort and merges it into the sorted part, so a run of
// Add/Find pairs costs linear time per pair rather than a full sort each time.
void VStringPairList::Sort() {
    if (mSortedCount == (int)mItems.size()) return;
    auto less = [this](const Item& a, const Item& b) { return CompareKeys(a.key, b.key) < 0; };
    auto middle = mItems.begin() + mSortedCount;
    std::stable_sort(middle, mItems.end(), less);
    std::inplace_merge(mItems.begin(), middle, mItems.end(), less);
    mSortedCount = (int)mItems.size();
}

intptr_t VStringPairList::Find(const char* key, int* index) {
    if (!key) key = "";
    Sort();
    auto it = std::lower_bound(mItems.begin(), mItems.end(), key, [this](const Item& item, const char* k) {
        return CompareKeys(item.key, k) < 0;
    });
    if (it == mItems.end() || CompareKeys(it->key, key) != 0) {
        if (index) *index = -1;
        return 0;
    }
    if (index) *index = (int)(it - mItems.begin());
    return it->value;
}

intptr_t VStringPairList::GetAt(int index, const char** key) {
    if (index < 0 || index >= (int)mItems.size()) {
        if (key) *key = nullptr;
        return 0;
    }
    Sort();
    if (key) *key = mItems[index].key.Buffer();
    return mItems[index].value;
}

void VStringPairList::Clear() {
    std::vector<Item>().swap(mItems);
    mSortedCount = 0;
}
