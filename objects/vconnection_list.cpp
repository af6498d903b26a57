#include "objects/vconnection_list.h"

VConnectionList::Extra& VConnectionList::GetExtra() {
    if (!mExtra) mExtra.reset(new Extra());
    return *mExtra;
}

VPlug* VConnectionList::Get(int index) const {
    if (index < 0 || index >= mLive) return nullptr;
    if (!HasTree()) return mSlots[index];
    return mSlots[TreeFindKth(index)];
}

int VConnectionList::Slot(const VPlug* plug) const {
    if (!plug) return -1;
    if (IsIndexed()) return mExtra->mIndex.Find(plug);
    for (size_t i = 0; i < mSlots.size(); ++i) {
        if (mSlots[i] == plug) return (int)i;
    }
    return -1;
}

int VConnectionList::Find(const VPlug* plug) const {
    int slot = Slot(plug);
    if (slot < 0) return -1;
    return HasTree() ? TreePrefix(slot) - 1 : slot;
}

void VConnectionList::Add(VPlug* plug) {
    const int slot = (int)mSlots.size();
    // Only the slot may fail to be had, and then nothing has changed: a connection is never half
    // made. The tree and the index are only ways to find entries faster.
    mSlots.push_back(plug);
    if (HasTree()) {
        // Fenwick append: node i covers (i - lowbit(i), i].
        int i = slot + 1;
        int low = i - (i & -i);
        const int value = 1 + TreePrefix(slot - 1) - (low > 0 ? TreePrefix(low - 1) : 0);
        try {
            mExtra->mTree.push_back(value);
        } catch (...) {
            mSlots.pop_back();
            throw;
        }
    }
    ++mLive;
    try {
        if (IsIndexed()) {
            mExtra->mIndex.Set(plug, slot);
        } else if ((int)mSlots.size() >= kIndexThreshold) {
            VPointerIndex& index = GetExtra().mIndex;
            for (size_t i = 0; i < mSlots.size(); ++i) {
                if (mSlots[i]) index.Set(mSlots[i], (int)i);
            }
        }
    } catch (...) {
        // Without room for the index the list is searched instead.
        if (mExtra) mExtra->mIndex.Clear();
    }
}

int VConnectionList::Take(const VPlug* plug) {
    int slot = Slot(plug);
    if (slot < 0) return -1;
    const int position = HasTree() ? TreePrefix(slot) - 1 : slot;
    if (IsIndexed()) mExtra->mIndex.Erase(plug);
    --mLive;
    if (mLive == 0) {
        Clear();
        return position;
    }
    if (slot == (int)mSlots.size() - 1) {
        // The last slot goes away entirely; trailing holes follow it.
        mSlots.pop_back();
        while (!mSlots.empty() && !mSlots.back())
            mSlots.pop_back();
        if (HasTree()) {
            std::vector<int>& tree = mExtra->mTree;
            tree.resize(mSlots.size() + 1);
            if (mLive == (int)mSlots.size()) tree.clear();
        }
        return position;
    }
    if (!HasTree()) {
        try {
            BuildTree();
        } catch (...) {
            // Removal never needs memory (a plug being deleted takes itself out of lists): without
            // room for the tree the tail moves up instead of leaving a hole, which the index of
            // positions no longer follows.
            if (mExtra) {
                mExtra->mTree.clear();
                mExtra->mIndex.Clear();
            }
            mSlots.erase(mSlots.begin() + slot);
            return position;
        }
    }
    mSlots[slot] = nullptr;
    TreeAdd(slot, -1);
    int holes = (int)mSlots.size() - mLive;
    if (holes > kIndexThreshold && holes > mLive) Compact();
    return position;
}

void VConnectionList::Clear() {
    mSlots.clear();
    mExtra.reset();
    mLive = 0;
}

std::vector<VPlug*> VConnectionList::Snapshot() const {
    std::vector<VPlug*> out;
    out.reserve(mLive);
    for (VPlug* p : mSlots) {
        if (p) out.push_back(p);
    }
    return out;
}

void VConnectionList::BuildTree() {
    int n = (int)mSlots.size();
    std::vector<int>& tree = GetExtra().mTree;
    tree.assign(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        tree[i] += mSlots[i - 1] ? 1 : 0;
        int parent = i + (i & -i);
        if (parent <= n) tree[parent] += tree[i];
    }
}

void VConnectionList::TreeAdd(int slot, int delta) {
    std::vector<int>& tree = mExtra->mTree;
    int n = (int)tree.size() - 1;
    for (int i = slot + 1; i <= n; i += i & -i)
        tree[i] += delta;
}

int VConnectionList::TreePrefix(int slot) const {
    const std::vector<int>& tree = mExtra->mTree;
    int sum = 0;
    for (int i = slot + 1; i > 0; i -= i & -i)
        sum += tree[i];
    return sum;
}

int VConnectionList::TreeFindKth(int k) const {
    const std::vector<int>& tree = mExtra->mTree;
    int n = (int)tree.size() - 1;
    int step = 1;
    while (step * 2 <= n)
        step *= 2;
    int pos = 0;
    int remaining = k + 1;
    for (; step > 0; step /= 2) {
        if (pos + step <= n && tree[pos + step] < remaining) {
            pos += step;
            remaining -= tree[pos];
        }
    }
    return pos;  // 1-based position pos + 1 holds the entry, i.e. slot pos
}

void VConnectionList::Compact() {
    std::vector<VPlug*> live;
    try {
        live = Snapshot();
    } catch (...) {
        return;  // the holes stay until a later removal finds the room
    }
    mSlots.swap(live);
    mExtra.reset();
    if ((int)mSlots.size() >= kIndexThreshold) {
        try {
            VPointerIndex& index = GetExtra().mIndex;
            index.Reserve(mSlots.size());
            for (size_t i = 0; i < mSlots.size(); ++i)
                index.Set(mSlots[i], (int)i);
        } catch (...) {
            mExtra.reset();
        }
    }
}
