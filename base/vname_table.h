#ifndef OXA_BASE_VNAME_TABLE_H
#define OXA_BASE_VNAME_TABLE_H

#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// A table of names that are unique without regard to case, each stored with a data value
// chosen by the owner. Lookups go through a hash of the upper-cased name.
class OXA_API VNameTable {
public:
    // `bits`: the table starts with 2^bits hash buckets (clamped to 1..24; the bucket count
    // doubles as the table fills). `growth`: the growth step of the storage, kept for callers
    // that size it; the entries live in fixed chunks that never move.
    VNameTable(int bits = 8, int growth = 64);

    // Stores `name` (null as "") with `data`. When the name clashes, without regard to case, with
    // one already stored, it is numbered first: the name followed by the smallest number from 1
    // up that makes it unique ("Hip" then "Hip1", "Hip2"). Answers the stored name (valid for the
    // table's life).
    const char* AddUnique(const char* name, intptr_t data);
    // The name stored for `data` (the first one when several share it); null when none.
    const char* FindNameByData(intptr_t data) const;
    // True when `name` is stored, without regard to case.
    bool Contains(const char* name) const { return FindEntry(name, UpperHash(name)) >= 0; }

    int GetCount() const { return (int)mEntries.size(); }

private:
    struct Entry {
        VString name;
        intptr_t data;
        unsigned int hash;
        int next;        // next entry of the same bucket, -1 at the end
        int nextNumber;  // the first number to try when this name clashes again
    };
    static unsigned int UpperHash(const char* name);
    int FindEntry(const char* name, unsigned int hash) const;
    void Rehash(int bucketCount);

    std::deque<Entry> mEntries;  // a deque: stored names never move
    std::vector<int> mBuckets;
    std::unordered_map<intptr_t, int> mByData;
};

#endif  // OXA_BASE_VNAME_TABLE_H
