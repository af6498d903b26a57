#ifndef OXA_BASE_VSTRING_PAIR_LIST_H
#define OXA_BASE_VSTRING_PAIR_LIST_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// A list of (string key, value) pairs kept for lookup by key. Add appends and marks the list
// unsorted; Find and GetAt sort it first (by key, without regard to case unless the case flag is
// set; equal keys keep the order they were added in) and then work on the sorted order. Values
// are pointer-sized so that owners can map names to objects.
class OXA_API VStringPairList {
public:
    explicit VStringPairList(int blockSize = 16, bool caseSensitive = false);

    int GetCount() const { return (int)mItems.size(); }
    // Keys compare byte for byte when set, without regard to case when clear (the default).
    // Changing it marks the list unsorted.
    void SetCaseSensitive(bool caseSensitive);
    bool IsCaseSensitive() const { return mCaseSensitive; }

    // Appends a copy of `key` (null is taken as "") with `value`; answers the index it was
    // appended at (the order changes at the next sort).
    int Add(const char* key, intptr_t value);
    // The value of the first entry whose key equals `key` (null as ""), found by bisection
    // after sorting; 0 when absent. `index`, when given, receives the entry's sorted index or -1.
    intptr_t Find(const char* key, int* index = nullptr);
    // The value of entry `index` in sorted order, and its key through `key` when given (valid
    // until the list changes); 0 (and a null key) when the index is out of range.
    intptr_t GetAt(int index, const char** key = nullptr);
    // Frees every key and the storage.
    void Clear();

private:
    struct Item {
        VString key;
        intptr_t value;
    };
    int CompareKeys(const char* a, const char* b) const;
    void Sort();
    int FindSorted(const char* key) const;

    std::vector<Item> mItems;  // in the order they were added
    std::vector<int> mOrder;   // indexes into mItems, sorted by key; covers the items sorted so far
    int mBlockSize;
    bool mCaseSensitive;
};

#endif  // OXA_BASE_VSTRING_PAIR_LIST_H
