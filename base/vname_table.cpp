#include "base/vname_table.h"

#include <cctype>

VNameTable::VNameTable(int bits, int /*growth*/) {
    if (bits < 1) bits = 1;
    if (bits > 24) bits = 24;
    mBuckets.assign((size_t)1 << bits, -1);
}

unsigned int VNameTable::UpperHash(const char* name) {
    unsigned int h = 2166136261u;
    if (!name) return h;
    for (; *name; ++name) {
        h ^= (unsigned int)std::toupper((unsigned char)*name);
        h *= 16777619u;
    }
    return h;
}

int VNameTable::FindEntry(const char* name, unsigned int hash) const {
    if (!name) name = "";
    for (int i = mBuckets[hash & (mBuckets.size() - 1)]; i >= 0; i = mEntries[i].next) {
        if (mEntries[i].hash == hash && mEntries[i].name.CompareNoCase(name) == 0) return i;
    }
    return -1;
}

void VNameTable::Rehash(int bucketCount) {
    mBuckets.assign((size_t)bucketCount, -1);
    for (int i = 0; i < (int)mEntries.size(); ++i) {
        int& head = mBuckets[mEntries[i].hash & (mBuckets.size() - 1)];
        mEntries[i].next = head;
        head = i;
    }
}

const char* VNameTable::AddUnique(const char* name, intptr_t data) {
    if (!name) name = "";
    VString stored(name);
    unsigned int hash = UpperHash(name);
    int clash = FindEntry(name, hash);
    if (clash >= 0) {
        // Numbering resumes where the last clash with this name stopped, so many duplicates of
        // one name cost linear time in all.
        int number = mEntries[clash].nextNumber;
        for (;; ++number) {
            stored = name;
            stored += number;
            hash = UpperHash(stored);
            if (FindEntry(stored, hash) < 0) break;
        }
        mEntries[clash].nextNumber = number + 1;
    }
    if (mEntries.size() + 1 > mBuckets.size() * 2 && mBuckets.size() < ((size_t)1 << 24)) {
        Rehash((int)mBuckets.size() * 2);
    }
    int index = (int)mEntries.size();
    int& head = mBuckets[hash & (mBuckets.size() - 1)];
    mEntries.push_back(Entry{stored, data, hash, head, 1});
    head = index;
    mByData.emplace(data, index);
    return mEntries[index].name.Buffer();
}

const char* VNameTable::FindNameByData(intptr_t data) const {
    auto it = mByData.find(data);
    return it == mByData.end() ? nullptr : mEntries[it->second].name.Buffer();
}
