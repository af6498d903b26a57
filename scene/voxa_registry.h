#ifndef OXA_SCENE_VOXA_REGISTRY_H
#define OXA_SCENE_VOXA_REGISTRY_H

#include <cstring>
#include <string>
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
// through an index of full names that is rebuilt when any object was renamed since it was
// built (VOxaObject::GetRenameStamp).
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
        mNamesBuilt = false;
    }

    // True when `item` is listed.
    bool Contains(const T* item) const { return item && mSlot.Find(item) >= 0; }

    // Takes `item` out; false when it is not listed.
    bool Remove(const T* item) {
        int slot = item ? mSlot.Find(item) : -1;
        if (slot < 0) return false;
        mSlot.Erase(item);
        mItems[slot] = nullptr;
        --mCount;
        ++mHoles;
        mNamesBuilt = false;
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
        mNamesBuilt = false;
    }

    // The `index`-th entry, counted from 0 in list order, whose name (`GetName()`) equals `name`
    // byte for byte; null when there are not that many.
    T* FindByName(const char* name, int index = 0) const {
        if (!name || index < 0) return nullptr;
        BuildNames();
        auto it = mNames.find(name);
        if (it == mNames.end() || index >= (int)it->second.size()) return nullptr;
        return mItems[it->second[index]];
    }

    // The number of entries that bear `name`.
    int CountByName(const char* name) const {
        if (!name) return 0;
        BuildNames();
        auto it = mNames.find(name);
        return it == mNames.end() ? 0 : (int)it->second.size();
    }

    // A copy of the entries in list order (for walks that destroy entries as they go).
    std::vector<T*> Snapshot() const {
        Compact();
        return std::vector<T*>(mItems.begin(), mItems.end());
    }

private:
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
    void BuildNames() const {
        unsigned stamp = VOxaObject::GetRenameStamp();
        if (mNamesBuilt && stamp == mNamesStamp) return;
        Compact();
        mNames.clear();
        for (size_t i = 0; i < mItems.size(); ++i)
            mNames[mItems[i]->GetName()].push_back((int)i);
        mNamesBuilt = true;
        mNamesStamp = stamp;
    }

    mutable std::vector<T*> mItems;  // null entries are holes
    mutable VPointerIndex mSlot;     // item -> position in mItems
    int mCount = 0;
    mutable int mHoles = 0;
    mutable std::unordered_map<std::string, std::vector<int>> mNames;
    mutable bool mNamesBuilt = false;
    mutable unsigned mNamesStamp = 0;
};

#endif  // OXA_SCENE_VOXA_REGISTRY_H
