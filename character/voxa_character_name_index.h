#ifndef OXA_CHARACTER_VOXA_CHARACTER_NAME_INDEX_H
#define OXA_CHARACTER_VOXA_CHARACTER_NAME_INDEX_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <cstring>
#include <vector>

// A fixed name -> value index over a static table of names: open addressing on an FNV-1a hash,
// built once, exact (case-sensitive) comparison. The names must outlive the index; the first
// of equal names wins.
class OXA_API VCharacterNameIndex {
public:
    VCharacterNameIndex() = default;

    void Add(const char* name, int value) {
        if (!name) return;
        mItems.push_back({name, value, Hash(name)});
    }
    // Lays out the table; call once after the last Add.
    void Build() {
        size_t size = 16;
        while (size < mItems.size() * 3)
            size *= 2;
        mSlots.assign(size, -1);
        mMask = size - 1;
        for (int i = 0; i < (int)mItems.size(); ++i) {
            size_t at = mItems[i].mHash & mMask;
            bool duplicate = false;
            while (mSlots[at] >= 0) {
                const Item& other = mItems[mSlots[at]];
                if (other.mHash == mItems[i].mHash && std::strcmp(other.mName, mItems[i].mName) == 0) {
                    duplicate = true;
                    break;
                }
                at = (at + 1) & mMask;
            }
            if (!duplicate) mSlots[at] = i;
        }
    }
    // The value of `name`, `missing` when it is not listed (or null).
    int Find(const char* name, int missing = -1) const {
        if (!name || mSlots.empty()) return missing;
        uint32_t hash = Hash(name);
        for (size_t at = hash & mMask;; at = (at + 1) & mMask) {
            int slot = mSlots[at];
            if (slot < 0) return missing;
            const Item& item = mItems[slot];
            if (item.mHash == hash && std::strcmp(item.mName, name) == 0) return item.mValue;
        }
    }

private:
    struct Item {
        const char* mName;
        int mValue;
        uint32_t mHash;
    };
    static uint32_t Hash(const char* text) {
        uint32_t hash = 2166136261u;
        for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
            hash ^= *p;
            hash *= 16777619u;
        }
        return hash;
    }

    std::vector<Item> mItems;
    std::vector<int> mSlots;
    size_t mMask = 0;
};

#endif  // OXA_CHARACTER_VOXA_CHARACTER_NAME_INDEX_H
