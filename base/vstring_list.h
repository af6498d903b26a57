#ifndef OXA_BASE_VSTRING_LIST_H
#define OXA_BASE_VSTRING_LIST_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// An ordered list of strings, each with a pointer-sized reference value the owner chooses
// (an index, a flag word or an object pointer). Attributes answer their type flags in one.
class OXA_API VStringList {
public:
    VStringList() = default;

    int GetCount() const { return (int)mItems.size(); }

    // Appends a copy of `text` (null is stored as the invalid string) with `reference`; answers
    // its index.
    int Add(const char* text, intptr_t reference = 0) {
        mItems.push_back(Item{VString(text), reference});
        return (int)mItems.size() - 1;
    }
    // Inserts at `index` clamped to [0, count]; answers the index used.
    int InsertAt(int index, const char* text, intptr_t reference = 0) {
        if (index < 0) index = 0;
        if (index > GetCount()) index = GetCount();
        mItems.insert(mItems.begin() + index, Item{VString(text), reference});
        return index;
    }
    // Removes the item at `index`; an index out of range changes nothing.
    void RemoveAt(int index) {
        if (index >= 0 && index < GetCount()) mItems.erase(mItems.begin() + index);
    }
    void Clear() { mItems.clear(); }

    // The string at `index`, "" when out of range.
    const char* GetStringAt(int index) const { return InRange(index) ? mItems[index].text.Buffer() : ""; }
    const char* operator[](int index) const { return GetStringAt(index); }
    // Replaces the string at `index`; false when out of range.
    bool SetStringAt(int index, const char* text) {
        if (!InRange(index)) return false;
        mItems[index].text = text;
        return true;
    }
    // The reference value at `index`, 0 when out of range.
    intptr_t GetReferenceAt(int index) const { return InRange(index) ? mItems[index].reference : 0; }
    bool SetReferenceAt(int index, intptr_t reference) {
        if (!InRange(index)) return false;
        mItems[index].reference = reference;
        return true;
    }

    // Index of the first string equal to `text` byte for byte, -1 when absent.
    int Find(const char* text) const {
        for (int i = 0; i < GetCount(); ++i) {
            if (mItems[i].text == text) return i;
        }
        return -1;
    }
    // Index of the first string equal to `text` without regard to case, -1 when absent.
    int FindNoCase(const char* text) const {
        for (int i = 0; i < GetCount(); ++i) {
            if (mItems[i].text.CompareNoCase(text) == 0) return i;
        }
        return -1;
    }
    // Index of the first item with `reference`, -1 when absent.
    int FindReference(intptr_t reference) const {
        for (int i = 0; i < GetCount(); ++i) {
            if (mItems[i].reference == reference) return i;
        }
        return -1;
    }

    // Sorts the items by their strings without regard to case; equal strings keep their order.
    void Sort() {
        std::stable_sort(mItems.begin(), mItems.end(),
                         [](const Item& a, const Item& b) { return a.text.CompareNoCase(b.text) < 0; });
    }

private:
    struct Item {
        VString text;
        intptr_t reference;
    };
    bool InRange(int index) const { return index >= 0 && index < GetCount(); }

    std::vector<Item> mItems;
};

#endif  // OXA_BASE_VSTRING_LIST_H
