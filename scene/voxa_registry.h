#ifndef OXA_SCENE_VOXA_REGISTRY_H
#define OXA_SCENE_VOXA_REGISTRY_H

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "objects/vindex.h"
#include "objects/voxa_object.h"

// An ordered list of object pointers, as the manager and the scene contents keep them: entries
// stay in the order they were appended, a removal keeps the order of the others, and index
// access follows that order.
//
// Lists of scene objects grow to hundreds of thousands of entries, so membership tests and
// removals are constant-time (a pointer index), a removal leaves a hole that the next index
// access squeezes out (tearing a list down is linear, not quadratic), and name lookups go
// through an index of full names. For scene objects (VOxaObject) the index follows appends
// and removals as they come; a rename of any object (VOxaObject::GetRenameStamp) makes the next
// lookup rebuild it.
template <typename T>
class VOxaRegistry {
public:
    VOxaRegistry() = default;
    VOxaRegistry(const VOxaRegistry&) = delete;
    VOxaRegistry& operator=(const VOxaRegistry&) = delete;

    int GetCount() const { return mCount; }
    bool IsEmpty() const { return mCount == 0; }

    // Appends `item` (null is ignored). The caller makes sure it is not listed already.
    void Append(T* item) {
        if (!item) return;
        mSlot.Set(item, (int)mItems.size());
        mItems.push_back(item);
        ++mCount;
        if constexpr (HasName<T>::value) {
            if (NamesCurrent()) mNames[item->GetName()].push_back(item);
        }
    }

    // True when `item` is listed.
    bool Contains(const T* item) const { return item && mSlot.Find(item) >= 0; }

    // Takes `item` out; false when it is not listed.
    bool Remove(const T* item) {
        int slot = item ? mSlot.Find(item) : -1;
        if (slot < 0) return false;
        if constexpr (HasName<T>::value) {
            if (NamesCurrent()) {
                auto it = mNames.find(item->GetName());
                if (it != mNames.end()) {
                    std::vector<T*>& holders = it->second;
                    holders.erase(std::find(holders.begin(), holders.end(), item));
                    if (holders.empty()) mNames.erase(it);
                }
            }
        }
        mSlot.Erase(item);
        mItems[slot] = nullptr;
        --mCount;
        ++mHoles;
        return true;
    }

    // The entry at `index` in list order, null outside [0, count).
    T* Get(int index) const {
        if (index < 0 || index >= mCount) return nullptr;
        Compact();
        return mItems[index];
    }

    // The position of `item` in list order, -1 when absent.
    int IndexOf(const T* item) const {
        if (!Contains(item)) return -1;
        Compact();
        return mSlot.Find(item);
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
        mNames.clear();
        mNamesStamp = VOxaObject::GetRenameStamp();
    }

    // The `index`-th entry, counted from 0 in list order, whose name (GetName) equals `name`
    // byte for byte; null when there are not that many.
    T* FindByName(const char* name, int index = 0) const {
        if (!name || index < 0) return nullptr;
        if constexpr (!HasName<T>::value) {
            // Entries without a name index: a walk in list order.
            Compact();
            for (T* item : mItems) {
                const char* itemName = item->GetName();
                if (itemName && std::strcmp(itemName, name) == 0 && index-- == 0) return item;
            }
            return nullptr;
        }
        const std::vector<T*>* holders = Holders(name);
        return holders && index < (int)holders->size() ? (*holders)[index] : nullptr;
    }

    // The number of entries that bear `name`.
    int CountByName(const char* name) const {
        static_assert(HasName<T>::value, "only scene objects are counted by name");
        const std::vector<T*>* holders = name ? Holders(name) : nullptr;
        return holders ? (int)holders->size() : 0;
    }

    // A copy of the entries in list order (for walks that destroy entries as they go).
    std::vector<T*> Snapshot() const {
        Compact();
        return std::vector<T*>(mItems.begin(), mItems.end());
    }

private:
    // Scene objects keep a name index; other entries (user-property handles, which come by the
    // million, converters) are only listed.
    template <typename U>
    struct HasName : std::is_base_of<VOxaObject, U> {};

    // True while no name changed since the index was last made whole.
    bool NamesCurrent() const { return mNamesStamp == VOxaObject::GetRenameStamp(); }

    const std::vector<T*>* Holders(const char* name) const {
        if (!NamesCurrent()) {
            // Some object was renamed: make the index again, in list order.
            Compact();
            mNames.clear();
            for (T* item : mItems)
                mNames[item->GetName()].push_back(item);
            mNamesStamp = VOxaObject::GetRenameStamp();
        }
        auto it = mNames.find(name);
        return it == mNames.end() ? nullptr : &it->second;
    }

    void Compact() const {
        if (mHoles == 0) return;
        size_t out = 0;
        for (size_t i = 0; i < mItems.size(); ++i) {
            if (!mItems[i]) continue;
            if (out != i) mSlot.Set(mItems[i], (int)out);
            mItems[out++] = mItems[i];
        }
        mItems.resize(out);
        mHoles = 0;
    }

    mutable std::vector<T*> mItems;  // null entries are holes
    mutable VPointerIndex mSlot;     // item -> position in mItems
    int mCount = 0;
    mutable int mHoles = 0;
    // name -> its holders in list order; valid while mNamesStamp is the current rename stamp.
    mutable std::unordered_map<std::string, std::vector<T*>> mNames;
    mutable unsigned mNamesStamp = VOxaObject::GetRenameStamp();
};

#endif  // OXA_SCENE_VOXA_REGISTRY_H
