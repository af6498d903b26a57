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
    if (caseSensitive != mCaseSensitive) mOrder.clear();
    mCaseSensitive = caseSensitive;
}

int VStringPairList::CompareKeys(const char* a, const char* b) const {
    if (mCaseSensitive) return std::strcmp(a, b);
    return CompareNoCase(a, b);
}

int VStringPairList::Add(const char* key, intptr_t value) {
    if (!key) key = "";
    if (mItems.size() == mItems.capacity()) mItems.reserve(mItems.size() + mItems.size() / 2 + mBlockSize);
    int index = (int)mItems.size();
    // Appending in key order keeps the list sorted.
    if (mOrder.size() == mItems.size() &&
        (mOrder.empty() || CompareKeys(mItems[mOrder.back()].key, key) <= 0)) {
        mOrder.push_back(index);
    }
    mItems.push_back(Item{VString(key), value});
    return index;
}

// Sorts the indexes of what was added since the last sort and merges them into the sorted ones.
void VStringPairList::Sort() {
    size_t sorted = mOrder.size();
    if (sorted == mItems.size()) return;
    for (size_t i = sorted; i < mItems.size(); ++i)
        mOrder.push_back((int)i);
    // Equal keys keep the order they were added in: the merge takes the sorted part first.
    auto less = [this](int a, int b) { return CompareKeys(mItems[a].key, mItems[b].key) < 0; };
    std::stable_sort(mOrder.begin() + sorted, mOrder.end(), less);
    std::inplace_merge(mOrder.begin(), mOrder.begin() + sorted, mOrder.end(), less);
}

// Position in mOrder of the first sorted item with `key`, -1 when none.
int VStringPairList::FindSorted(const char* key) const {
    auto it = std::lower_bound(mOrder.begin(), mOrder.end(), key, [this](int item, const char* k) {
        return CompareKeys(mItems[item].key, k) < 0;
    });
    if (it == mOrder.end() || CompareKeys(mItems[*it].key, key) != 0) return -1;
    return (int)(it - mOrder.begin());
}

intptr_t VStringPairList::Find(const char* key, int* index) {
    if (!key) key = "";
    // A few unsorted items are searched one by one rather than merged in at once, so that the
    // readers' find-or-add pattern does not merge the whole list after every add. Everything
    // sorted was added before everything unsorted, so a sorted match is the first one.
    size_t tail = mItems.size() - mOrder.size();
    if (index || tail * tail > mItems.size() + 64) Sort();
    int at = FindSorted(key);
    if (at >= 0) {
        if (index) *index = at;
        return mItems[mOrder[at]].value;
    }
    for (size_t i = mOrder.size(); i < mItems.size(); ++i) {
        if (CompareKeys(mItems[i].key, key) == 0) return mItems[i].value;
    }
    if (index) *index = -1;
    return 0;
}

intptr_t VStringPairList::GetAt(int index, const char** key) {
    if (index < 0 || index >= (int)mItems.size()) {
        if (key) *key = nullptr;
        return 0;
    }
    Sort();
    const Item& item = mItems[mOrder[index]];
    if (key) *key = item.key.Buffer();
    return item.value;
}

void VStringPairList::Clear() {
    std::vector<Item>().swap(mItems);
    std::vector<int>().swap(mOrder);
}
