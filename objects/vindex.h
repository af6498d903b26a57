#ifndef OXA_OBJECTS_VINDEX_H
#define OXA_OBJECTS_VINDEX_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <cstring>
#include <vector>

// Small open-addressing tables used by the object model to keep lookups constant-time once a
// list grows long (connections of one plug, properties of one object, user properties of one
// scene object). They hold positions into the owner's own array; the owner decides when to
// build, update or drop them. Linear probing with backward-shift deletion, so no tombstones.

// Maps a pointer to a non-negative int.
class OXA_API VPointerIndex {
public:
    bool IsBuilt() const { return !mSlots.empty(); }
    void Clear() {
        mSlots.clear();
        mCount = 0;
    }

    // The value stored for `key`, -1 when absent.
    int Find(const void* key) const {
        if (mSlots.empty() || !key) return -1;
        size_t mask = mSlots.size() - 1;
        for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
            const Slot& s = mSlots[i];
            if (!s.key) return -1;
            if (s.key == key) return s.value;
        }
    }

    // Stores `value` for `key`, replacing an earlier value.
    void Set(const void* key, int value) {
        if (!key) return;
        if ((mCount + 1) * 2 > mSlots.size()) Grow();
        size_t mask = mSlots.size() - 1;
        for (size_t i = Hash(key) & mask;; i = (i + 1) & mask) {
            Slot& s = mSlots[i];
            if (!s.key) {
                s.key = key;
                s.value = value;
                ++mCount;
                return;
            }
            if (s.key == key) {
                s.value = value;
                return;
            }
        }
    }

    // Makes room for `count` entries, so that filling the table up to them rehashes nothing.
    // Reserving on an unbuilt table builds it (empty).
    void Reserve(size_t count) {
        size_t size = mSlots.empty() ? 32 : mSlots.size();
        while (count * 2 > size)
            size *= 2;
        if (size != mSlots.size()) Rehash(size);
    }

    // Stores `value` only when `key` is absent (keeps the first entry of a key).
    void Insert(const void* key, int value) {
        if (Find(key) < 0) Set(key, value);
    }

    void Erase(const void* key) {
        if (mSlots.empty() || !key) return;
        size_t mask = mSlots.size() - 1;
        size_t i = Hash(key) & mask;
        while (mSlots[i].key != key) {
            if (!mSlots[i].key) return;
            i = (i + 1) & mask;
        }
        // Backward-shift: pull later entries of the probe run into the hole.
        size_t hole = i;
        for (size_t j = (i + 1) & mask; mSlots[j].key; j = (j + 1) & mask) {
            size_t home = Hash(mSlots[j].key) & mask;
            bool movable = (hole <= j) ? (home <= hole || home > j) : (home <= hole && home > j);
            if (movable) {
                mSlots[hole] = mSlots[j];
                hole = j;
            }
        }
        mSlots[hole] = Slot();
        --mCount;
    }

private:
    struct Slot {
        const void* key = nullptr;
        int value = 0;
    };
    static size_t Hash(const void* key) {
        uint64_t h = (uint64_t)(uintptr_t)key;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        return (size_t)h;
    }
    void Grow() { Rehash(mSlots.empty() ? 32 : mSlots.size() * 2); }
    void Rehash(size_t size) {
        std::vector<Slot> old;
        old.swap(mSlots);
        mSlots.assign(size, Slot());
        mCount = 0;
        for (const Slot& s : old) {
            if (s.key) Set(s.key, s.value);
        }
    }

    std::vector<Slot> mSlots;
    size_t mCount = 0;
};

// Maps a text to the position of its first holder. The table keeps only hashes and positions;
// `NameAt(position)` of the owner gives the text to compare, so a renamed entry must make the
// owner drop the table.
class OXA_API VNameIndex {
public:
    static uint32_t HashText(const char* text) {
        uint32_t h = 2166136261u;
        for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
            h = (h ^ *p) * 16777619u;
        return h;
    }

    bool IsBuilt() const { return !mSlots.empty(); }
    void Clear() {
        mSlots.clear();
        mCount = 0;
    }

    // The position of `name`, -1 when absent. `nameAt` maps a position to its text.
    template <typename NameAt>
    int Find(const char* name, NameAt nameAt) const {
        if (mSlots.empty()) return -1;
        uint32_t h = HashText(name);
        size_t mask = mSlots.size() - 1;
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const Slot& s = mSlots[i];
            if (s.position < 0) return -1;
            if (s.hash == h && std::strcmp(nameAt(s.position), name) == 0) return s.position;
        }
    }

    // Adds `position` for `name` unless the name is present already (first holder wins).
    template <typename NameAt>
    void Insert(const char* name, int position, NameAt nameAt) {
        if (Find(name, nameAt) >= 0) return;
        if ((mCount + 1) * 2 > mSlots.size()) Grow();
        uint32_t h = HashText(name);
        size_t mask = mSlots.size() - 1;
        size_t i = h & mask;
        while (mSlots[i].position >= 0)
            i = (i + 1) & mask;
        mSlots[i].hash = h;
        mSlots[i].position = position;
        ++mCount;
    }

private:
    struct Slot {
        uint32_t hash = 0;
        int position = -1;
    };
    void Grow() {
        std::vector<Slot> old;
        old.swap(mSlots);
        mSlots.assign(old.empty() ? 64 : old.size() * 2, Slot());
        size_t mask = mSlots.size() - 1;
        for (const Slot& s : old) {
            if (s.position < 0) continue;
            size_t i = s.hash & mask;
            while (mSlots[i].position >= 0)
                i = (i + 1) & mask;
            mSlots[i] = s;
        }
    }

    std::vector<Slot> mSlots;
    size_t mCount = 0;
};

#endif  // OXA_OBJECTS_VINDEX_H
