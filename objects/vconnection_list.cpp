#include "objects/vconnection_list.h"

VPlug* VConnectionList::Get(int index) const {
    if (index < 0 || index >= mLive) return nullptr;
    if (mTree.empty()) return mSlots[index];
    return mSlots[TreeFindKth(index)];
}

int VConnectionList::Slot(const VPlug* plug) const {
    if (!plug) return -1;
    if (mIndex.IsBuilt()) return mIndex.Find(plug);
    for (size_t i = 0; i < mSlots.size(); ++i) {
        if (mSlots[i] == plug) return (int)i;
    }
    return -1;
}

int VConnectionList::Find(const VPlug* plug) const {
    int slot = Slot(plug);
    if (slot < 0) return -1;
    return mTree.empty() ? slot : TreePrefix(slot) - 1;
}

void VConnectionList::Add(VPlug* plug) {
    int slot = (int)mSlots.size();
    mSlots.push_back(plug);
    ++mLive;
    if (!mTree.empty()) {
        // Fenwick append: node i covers (i - lowbit(i), i].
        int i = slot + 1;
        int low = i - (i & -i);
        mTree.push_back(1 + TreePrefix(slot - 1) - (low > 0 ? TreePrefix(low - 1) : 0));
    }
    if (mIndex.IsBuilt()) {
        mIndex.Set(plug, slot);
    } else if ((int)mSlots.size() >= kIndexThreshold) {
        for (size_t i = 0; i < mSlots.size(); ++i) {
            if (mSlots[i]) mIndex.Set(mSlots[i], (int)i);
        }
    }
}

int VConnectionList::Take(const VPlug* plug) {
    int slot = Slot(plug);
    if (slot < 0) return -1;
    const int position = mTree.empty() ? slot : TreePrefix(slot) - 1;
    if (mIndex.IsBuilt()) mIndex.Erase(plug);
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
        if (!mTree.empty()) {
            mTree.resize(mSlots.size() + 1);
            if (mLive == (int)mSlots.size()) mTree.clear();
        }
        return position;
    }
    if (mTree.empty()) BuildTree();
    mSlots[slot] = nullptr;
    TreeAdd(slot, -1);
    int holes = (int)mSlots.size() - mLive;
    if (holes > kIndexThreshold && holes > mLive) Compact();
    return position;
}

void VConnectionList::Clear() {
    mSlots.clear();
    mTree.clear();
    mIndex.Clear();
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
    mTree.assign(n + 1, 0);
    for (int i = 1; i <= n; ++i) {
        mTree[i] += mSlots[i - 1] ? 1 : 0;
        int parent = i + (i & -i);
        if (parent <= n) mTree[parent] += mTree[i];
    }
}

void VConnectionList::TreeAdd(int slot, int delta) {
    int n = (int)mTree.size() - 1;
    for (int i = slot + 1; i <= n; i += i & -i)
        mTree[i] += delta;
}

int VConnectionList::TreePrefix(int slot) const {
    int sum = 0;
    for (int i = slot + 1; i > 0; i -= i & -i)
        sum += mTree[i];
    return sum;
}

int VConnectionList::TreeFindKth(int k) const {
    int n = (int)mTree.size() - 1;
    int step = 1;
    while (step * 2 <= n)
        step *= 2;
    int pos = 0;
    int remaining = k + 1;
    for (; step > 0; step /= 2) {
        if (pos + step <= n && mTree[pos + step] < remaining) {
            pos += step;
            remaining -= mTree[pos];
        }
    }
    return pos;  // 1-based position pos + 1 holds the entry, i.e. slot pos
}

void VConnectionList::Compact() {
    std::vector<VPlug*> live = Snapshot();
    mSlots.swap(live);
    mTree.clear();
    mIndex.Clear();
    if ((int)mSlots.size() >= kIndexThreshold) {
        mIndex.Reserve(mSlots.size());
        for (size_t i = 0; i < mSlots.size(); ++i)
            mIndex.Set(mSlots[i], (int)i);
    }
}
