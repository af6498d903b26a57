#ifndef OXA_SCENE_VOXA_REGISTRY_H
#define OXA_SCENE_VOXA_REGISTRY_H

#include <oxa/base/oxa_export.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include <oxa/objects/vindex.h>
#include <oxa/objects/voxa_object.h>

// An ordered list of object pointers, as the manager and the scene contents keep them: entries
// stay in the order they were appended, a removal keeps the order of the others, and index
// access follows that order.
//
// Lists of scene objects grow to hundreds of thousands of entries, so membership tests and
// removals are constant-time, a removal leaves a hole that the next index access squeezes out
// (tearing a list down is linear, not quadratic), and name lookups go through an index of full
// names.
//
// Entries mostly leave in runs of what joined together (the property handles of one node, the
// nodes of one subtree), newest first. A removal therefore looks right after the previous
// removal and among the newest entries before it turns to a pointer index. That index is made
// only when an entry is not found there; appends keep it up to date, removals leave their
// entries in it (a found position is checked against the list), and it is dropped when holes
// are squeezed out or its left-over entries outnumber the live ones. A list torn down the usual
// way thus never pays for hashing, and one torn down in another order pays one lookup per run.
//
// For scene objects (VOxaObject) the name index follows appends and removals as they come; a
// rename of any object (VOxaObject::GetRenameStamp) makes the next lookup rebuild it.
template <typename T>
class OXA_TEMPLATE_API VOxaRegistry {
public:
    VOxaRegistry() = default;
    VOxaRegistry(const VOxaRegistry&) = delete;
    VOxaRegistry& operator=(const VOxaRegistry&) = delete;

    int GetCount() const { return mCount; }
    bool IsEmpty() const { return mCount == 0; }

    // Appends `item` (null is ignored). The caller makes sure it is not listed already.
    // Only the entry itself may fail to be had (std::bad_alloc), and then nothing has changed;
    // the indexes are only ways to find entries faster, made again when there is room.
    void Append(T* item) {
        if (!item) return;
        mItems.push_back(item);
        ++mCount;
        try {
            if (mSlot.IsBuilt()) mSlot.Set(item, (int)mItems.size() - 1);
        } catch (const std::bad_alloc&) {
            mSlot.Clear();
        }
        if constexpr (HasName<T>::value) {
            try {
                if (NamesCurrent()) AddName(item);
            } catch (const std::bad_alloc&) {
                DropNames();
            }
        }
    }

    // True when `item` is listed.
    bool Contains(const T* item) const { return item && Locate(item) >= 0; }

    // Takes `item` out; false when it is not listed.
    bool Remove(const T* item) {
        int slot = item ? Locate(item) : -1;
        if (slot < 0) return false;
        if constexpr (HasName<T>::value) {
            if (NamesCurrent()) RemoveName(item);
        }
        // The index keeps the entry; it is checked against the list when found.
        if (mSlot.IsBuilt() && ++mStale > (size_t)mCount + kHolesKept) mSlot.Clear();
        mItems[slot] = nullptr;
        --mCount;
        ++mHoles;
        mNext = (size_t)slot + 1;
        // Holes at the end go at once: the newest entries stay last, where removals look first.
        while (!mItems.empty() && !mItems.back()) {
            mItems.pop_back();
            --mHoles;
        }
        if (mFront > mItems.size()) mFront = mItems.size();
        // Holes go once they are half the list, so a list that objects keep joining and leaving
        // without being read (the user-property handles of nodes made and destroyed) stays within
        // twice its count instead of growing with every object it ever held.
        if (mHoles > kHolesKept && (size_t)mHoles * 2 > mItems.size()) Compact();
        return true;
    }

    // The entries held, holes included (at most twice the count plus a few).
    size_t GetStorageSize() const { return mItems.size(); }

    // The entry at `index` in list order, null outside [0, count).
    T* Get(int index) const {
        if (index < 0 || index >= mCount) return nullptr;
        Compact();
        return mItems[index];
    }

    // The position of `item` in list order, -1 when absent.
    int IndexOf(const T* item) const {
        if (!item) return -1;
        Compact();
        return Locate(item);
    }

    // The first entry, the last entry (null when empty).
    T* First() const { return Get(0); }
    T* Last() const { return Get(mCount - 1); }

    // Empties the list (the objects are not touched).
    void Clear() {
        mItems.clear();
        mSlot.Clear();
        mCount = 0;
        mHoles = 0;
        mNext = 0;
        mFront = 0;
        ClearNames();
        mNamesStamp = VOxaObject::GetRenameStamp();
    }

    // Lets the name index go, for a list about to be emptied one entry at a time: removals then
    // look up no names, and a name lookup meanwhile makes the index again from what is left.
    void DropNames() const {
        ClearNames();
        mNamesStamp = VOxaObject::GetRenameStamp() - 1u;
    }

    // The `index`-th entry, counted from 0 in list order, whose name (GetName) equals `name`
    // byte for byte; null when there are not that many.
    T* FindByName(const char* name, int index = 0) const {
        if (!name || index < 0) return nullptr;
        bool walk = !HasName<T>::value;
        const Entry* entry = nullptr;
        if constexpr (HasName<T>::value) {
            try {
                entry = FindEntry(name);
            } catch (const std::bad_alloc&) {
                DropNames();  // no room for the index: made again by a later lookup
                walk = true;
            }
        }
        if (walk) {
            // Entries without a name index: a walk in list order.
            Compact();
            for (T* item : mItems) {
                const char* itemName = item->GetName();
                if (itemName && std::strcmp(itemName, name) == 0 && index-- == 0) return item;
            }
            return nullptr;
        }
        if (!entry) return nullptr;
        if (index == 0) return entry->mFirst;
        if (entry->mMore < 0) return nullptr;
        const MoreHolders& more = mMore[entry->mMore];
        return index - 1 < more.Size() ? more.At(index - 1) : nullptr;
    }

    // The number of entries that bear `name`.
    int CountByName(const char* name) const {
        static_assert(HasName<T>::value, "only scene objects are counted by name");
        const Entry* entry = name ? FindEntry(name) : nullptr;
        if (!entry) return 0;
        return 1 + (entry->mMore < 0 ? 0 : mMore[entry->mMore].Size());
    }

    // Empties the list and hands over its entries in list order, without a copy.
    std::vector<T*> Take() {
        Compact();
        std::vector<T*> items;
        items.swap(mItems);
        Clear();
        return items;
    }

    // A copy of the entries in list order (for walks that destroy entries as they go).
    std::vector<T*> Snapshot() const {
        Compact();
        return mItems;
    }

private:
    // Scene objects keep a name index; other entries (user-property handles, which come by the
    // million, converters) are only listed.
    template <typename U>
    struct HasName : std::is_base_of<VOxaObject, U> {};

    // True while no name changed since the index was last made whole.
    bool NamesCurrent() const { return mNamesStamp == VOxaObject::GetRenameStamp(); }

    // The name index: an open-addressing table of (hash, entry) slots over entries that keep the
    // first holder, any further holders and a copy of the name in one character arena. Lookups
    // touch only these few contiguous blocks, not objects scattered over the heap.
    struct Slot {
        uint32_t mHash;
        int32_t mEntry;  // kEmpty, kRemoved, or an index into mEntries
    };
    // The holders of a name after its first, in list order. Objects of one name mostly leave
    // in the order they came or in reverse, so both ends are cheap.
    struct MoreHolders {
        std::vector<T*> mItems;
        size_t mHead = 0;  // mItems[0, mHead) have left

        int Size() const { return (int)(mItems.size() - mHead); }
        T* At(int k) const { return mItems[mHead + (size_t)k]; }
        T* PopFront() {
            T* item = mItems[mHead++];
            if (mHead * 2 > mItems.size()) {
                mItems.erase(mItems.begin(), mItems.begin() + (std::ptrdiff_t)mHead);
                mHead = 0;
            }
            return item;
        }
        void Erase(const T* item) {
            for (size_t i = mItems.size(); i-- > mHead;) {
                if (mItems[i] == item) {
                    mItems.erase(mItems.begin() + (std::ptrdiff_t)i);
                    return;
                }
            }
        }
    };
    struct Entry {
        T* mFirst;
        uint32_t mHash;
        uint32_t mKeyOffset;
        uint32_t mKeyLength;
        int32_t mMore;  // index into mMore, -1 when the name has one holder
    };
    static constexpr int kHolesKept = 32;
    // How many entries a removal looks through, before the end and before the last removal,
    // before it makes the pointer index.
    static constexpr size_t kScanned = 512;
    static constexpr int32_t kEmpty = -1;
    static constexpr int32_t kRemoved = -2;

    // The slot holding `name` (with hash `hash`), or -1.
    int64_t FindSlot(const char* name, size_t length, uint32_t hash) const {
        if (mSlots.empty()) return -1;
        size_t mask = mSlots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = mSlots[i];
            if (slot.mEntry == kEmpty) return -1;
            if (slot.mEntry >= 0 && slot.mHash == hash) {
                const Entry& e = mEntries[slot.mEntry];
                if (e.mKeyLength == length && std::memcmp(mArena.data() + e.mKeyOffset, name, length) == 0)
                    return (int64_t)i;
            }
        }
    }
    void AddName(T* item) const {
        const char* name = item->GetName();
        size_t length = std::strlen(name);
        uint32_t hash = VNameIndex::HashText(name);
        int64_t found = FindSlot(name, length, hash);
        if (found >= 0) {
            Entry& e = mEntries[mSlots[found].mEntry];
            if (e.mMore < 0) {
                e.mMore = (int32_t)mMore.size();
                mMore.emplace_back();
            }
            mMore[e.mMore].mItems.push_back(item);
            return;
        }
        // A name that leaves keeps its entry until the next rehash, and a name that comes back
        // reuses its slot without causing one: the dead entries are dropped once they are half.
        if ((mUsedSlots + 1) * 4 > mSlots.size() * 3 ||
            (mDeadEntries > (size_t)kHolesKept && mDeadEntries * 2 > mEntries.size()))
            Rehash();
        mEntries.push_back(Entry{item, hash, (uint32_t)mArena.size(), (uint32_t)length, -1});
        mArena.append(name, length);
        size_t mask = mSlots.size() - 1;
        size_t i = hash & mask;
        while (mSlots[i].mEntry >= 0)
            i = (i + 1) & mask;
        if (mSlots[i].mEntry == kEmpty) ++mUsedSlots;
        mSlots[i] = Slot{hash, (int32_t)mEntries.size() - 1};
    }
    void RemoveName(const T* item) const {
        const char* name = item->GetName();
        int64_t found = FindSlot(name, std::strlen(name), VNameIndex::HashText(name));
        if (found < 0) return;
        Entry& e = mEntries[mSlots[found].mEntry];
        MoreHolders* more = e.mMore >= 0 ? &mMore[e.mMore] : nullptr;
        if (e.mFirst != item) {
            if (more) more->Erase(item);
        } else if (more && more->Size() > 0) {
            e.mFirst = more->PopFront();
        } else {
            // The entry and its arena bytes stay until the next rehash.
            mSlots[found].mEntry = kRemoved;
            ++mDeadEntries;
        }
    }
    // A table of twice the live names, made again from the live entries.
    void Rehash() const {
        std::vector<Entry> entries;
        std::vector<MoreHolders> more;
        std::string arena;
        entries.reserve(mEntries.size());
        for (const Slot& slot : mSlots) {
            if (slot.mEntry < 0) continue;
            Entry e = mEntries[slot.mEntry];
            uint32_t offset = (uint32_t)arena.size();
            arena.append(mArena.data() + e.mKeyOffset, e.mKeyLength);
            e.mKeyOffset = offset;
            if (e.mMore >= 0) {
                more.push_back(std::move(mMore[e.mMore]));
                e.mMore = (int32_t)more.size() - 1;
            }
            entries.push_back(e);
        }
        size_t capacity = 64;
        while (capacity < entries.size() * 2 + 2)
            capacity *= 2;
        mSlots.assign(capacity, Slot{0, kEmpty});
        size_t mask = capacity - 1;
        for (size_t k = 0; k < entries.size(); ++k) {
            const Entry& e = entries[k];
            size_t i = e.mHash & mask;
            while (mSlots[i].mEntry != kEmpty)
                i = (i + 1) & mask;
            mSlots[i] = Slot{e.mHash, (int32_t)k};
        }
        mUsedSlots = entries.size();
        mDeadEntries = 0;
        mEntries.swap(entries);
        mMore.swap(more);
        mArena.swap(arena);
    }
    void ClearNames() const {
        mSlots.clear();
        mEntries.clear();
        mMore.clear();
        mArena.clear();
        mUsedSlots = 0;
        mDeadEntries = 0;
    }
    const Entry* FindEntry(const char* name) const {
        if (!NamesCurrent()) {
            // Some object was renamed: make the index again, in list order.
            Compact();
            ClearNames();
            for (T* item : mItems)
                AddName(item);
            mNamesStamp = VOxaObject::GetRenameStamp();
        }
        int64_t found = FindSlot(name, std::strlen(name), VNameIndex::HashText(name));
        return found < 0 ? nullptr : &mEntries[mSlots[found].mEntry];
    }

    // The position of `item` in mItems, -1 when it is not listed. Compares pointers only, so
    // an object already deleted can be asked about. Without the pointer index it looks right
    // after the last removal, among the newest entries and among those just before the last
    // removal (the run that joined before the one leaving); only an entry found in none of
    // these makes the index.
    int Locate(const T* item) const {
        const size_t size = mItems.size();
        if (mNext < size && mItems[mNext] == item) return (int)mNext;
        if (mSlot.IsBuilt()) return Indexed(item);
        int slot = ScanBefore(item, size);
        if (slot < 0 && mNext > 0 && mNext < size) slot = ScanBefore(item, mNext - 1);
        if (slot >= 0 || size <= kScanned) return slot;
        // The oldest entries are the other usual end: a scene torn down from its root, which was
        // made first, leaves from the front.
        slot = ScanFront(item);
        if (slot >= 0) return slot;
        try {
            mSlot.Reserve((size_t)mCount);
            for (size_t i = 0; i < size; ++i) {
                if (mItems[i]) mSlot.Set(mItems[i], (int)i);
            }
        } catch (const std::bad_alloc&) {
            // A removal must not need memory (a manager being deleted lets go of everything):
            // without room for the index the whole list is looked through.
            mSlot.Clear();
            for (size_t i = 0; i < size; ++i) {
                if (mItems[i] == item) return (int)i;
            }
            return -1;
        }
        mStale = 0;
        return Indexed(item);
    }
    // The position the pointer index gives for `item`, when the list still holds it there (the
    // index keeps the entries of removed objects, and their slots may hold others since).
    int Indexed(const T* item) const {
        const int slot = mSlot.Find(item);
        return slot >= 0 && (size_t)slot < mItems.size() && mItems[(size_t)slot] == item ? slot : -1;
    }
    // The position of `item` among the kScanned entries before `end`, -1 when not there.
    int ScanBefore(const T* item, size_t end) const {
        const size_t stop = end > kScanned ? end - kScanned : 0;
        for (size_t i = end; i-- > stop;) {
            if (mItems[i] == item) return (int)i;
        }
        return -1;
    }

    // The position of `item` among the kScanned entries from the first live one, -1 when not
    // there. Every slot before mFront is a hole, so that the walk to the first live entry is paid
    // once for each hole.
    int ScanFront(const T* item) const {
        const size_t size = mItems.size();
        while (mFront < size && !mItems[mFront])
            ++mFront;
        const size_t stop = size - mFront > kScanned ? mFront + kScanned : size;
        for (size_t i = mFront; i < stop; ++i) {
            if (mItems[i] == item) return (int)i;
        }
        return -1;
    }

    // Squeezes the holes out. The pointer index goes with them; the next entry a removal does
    // not find among the newest makes it again.
    void Compact() const {
        if (mHoles == 0) return;
        size_t out = 0;
        for (size_t i = 0; i < mItems.size(); ++i) {
            if (mItems[i]) mItems[out++] = mItems[i];
        }
        mItems.resize(out);
        mHoles = 0;
        mFront = 0;
        mSlot.Clear();
    }

    mutable std::vector<T*> mItems;  // null entries are holes
    mutable VPointerIndex mSlot;     // item -> position in mItems, when made
    mutable size_t mNext = 0;        // the slot after the last removal
    mutable size_t mFront = 0;       // every slot before it is a hole
    mutable size_t mStale = 0;       // removals since the pointer index was made
    int mCount = 0;
    mutable int mHoles = 0;
    // The name index; valid while mNamesStamp is the current rename stamp.
    mutable std::vector<Slot> mSlots;
    mutable std::vector<Entry> mEntries;
    mutable std::vector<MoreHolders> mMore;
    mutable std::string mArena;
    mutable size_t mUsedSlots = 0;    // slots not empty (live or removed)
    mutable size_t mDeadEntries = 0;  // entries (with their arena bytes) of names that left
    mutable unsigned mNamesStamp = VOxaObject::GetRenameStamp();
};

#endif  // OXA_SCENE_VOXA_REGISTRY_H
