#ifndef OXA_OBJECTS_VCONNECTION_LIST_H
#define OXA_OBJECTS_VCONNECTION_LIST_H

#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vindex.h>

class VPlug;

// The ordered connections of one side of a plug (its sources or its destinations).
//
// Order is connection order and must survive removals from the middle, while a plug may carry
// 100,000 connections. Removal leaves a hole instead of moving the tail; a Fenwick tree over
// the slots (kept only while holes exist) turns a position into a slot in O(log n), and the
// holes are squeezed out once they outnumber the live entries. A pointer index, kept once the
// list is long, makes membership tests and removal constant-time. The tree and the index live in
// a block of their own, made only for a list that needs one of them: most plugs carry one or two
// connections, and every connected plug has two lists.
class OXA_API VConnectionList {
public:
    VConnectionList() = default;
    VConnectionList(const VConnectionList&) = delete;
    VConnectionList& operator=(const VConnectionList&) = delete;

    int GetCount() const { return mLive; }
    // The plug at `index` in connection order, null when out of range.
    VPlug* Get(int index) const;
    // The position of `plug`, -1 when absent.
    int Find(const VPlug* plug) const;
    bool Contains(const VPlug* plug) const { return Slot(plug) >= 0; }
    // Appends `plug` (the caller has made sure it is absent).
    void Add(VPlug* plug);
    // Removes `plug` and answers the position it had, -1 when it was absent.
    int Take(const VPlug* plug);
    void Clear();
    // The live entries in order.
    std::vector<VPlug*> Snapshot() const;

private:
    static constexpr int kIndexThreshold = 16;

    int Slot(const VPlug* plug) const;
    void BuildTree();
    void TreeAdd(int slot, int delta);
    int TreePrefix(int slot) const;  // live entries in slots [0, slot]
    int TreeFindKth(int k) const;    // slot of the k-th (0-based) live entry
    void Compact();
    bool HasTree() const { return mExtra && !mExtra->mTree.empty(); }
    bool IsIndexed() const { return mExtra && mExtra->mIndex.IsBuilt(); }
    // The block of the tree and the index, made when first needed.
    struct Extra {
        std::vector<int> mTree;  // 1-based Fenwick tree of live flags; empty while no hole
        VPointerIndex mIndex;    // plug -> slot, built once the list is long
    };
    Extra& GetExtra();

    std::vector<VPlug*> mSlots;  // null = hole
    std::unique_ptr<Extra> mExtra;
    int mLive = 0;
};

#endif  // OXA_OBJECTS_VCONNECTION_LIST_H
