#include "formats/geometry/dxf/voxa_dxf_geometry_group.h"

#include <climits>
#include <cmath>

namespace {

// Tolerance bounds widened by a little more than the rounding of the subtraction in the
// comparison, so that no point the comparison accepts lies outside the cells looked at.
constexpr double kReach = 1e-6 * (1.0 + 1e-9);
constexpr double kCellLimit = 4611686018427387904.0;  // 2^62: huge values share the last cell

inline bool Near(const VgeTVector& a, const VgeTVector& b) {
    return a == b;
}

}  // namespace

bool VDxfWeldIndex::CellOf(double v, int64_t& cell) {
    if (!std::isfinite(v)) return false;
    // Rounding is monotonic, so the cells of p - reach and p + reach bound the cells of every
    // value in between.
    double c = std::floor(v * kScale + 0.5);
    if (c < -kCellLimit) c = -kCellLimit;
    if (c > kCellLimit) c = kCellLimit;
    cell = (int64_t)c;
    return true;
}

uint64_t VDxfWeldIndex::Hash(int64_t x, int64_t y, int64_t z) {
    uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full;
    h ^= (uint64_t)z * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return h;
}

void VDxfWeldIndex::Clear() {
    mBuilt = false;
    mCount = 0;
    mStored = 0;
    std::vector<Entry>().swap(mTable);
    mMask = 0;
}

void VDxfWeldIndex::Grow() {
    std::vector<Entry> old;
    old.swap(mTable);
    const size_t slots = old.empty() ? 64 : old.size() * 2;
    mTable.assign(slots, Entry{-1, 0});
    mMask = slots - 1;
    // The entries are distinct already; the tag holds the low hash bits, so each moves to its new
    // slot without its point being read again.
    for (const Entry& e : old) {
        if (e.mIndex < 0) continue;
        size_t slot = (size_t)e.mTag & mMask;
        while (mTable[slot].mIndex >= 0)
            slot = (slot + 1) & mMask;
        mTable[slot] = e;
    }
}

void VDxfWeldIndex::Prefetch(const VgeTVector& p) const {
    int64_t x, y, z;
    if (mTable.empty() || !CellOf(p.mData[0], x) || !CellOf(p.mData[1], y) || !CellOf(p.mData[2], z)) return;
    __builtin_prefetch(&mTable[(size_t)Hash(x, y, z) & mMask]);
}

void VDxfWeldIndex::Insert(const VgeTVector* points, int index) {
    const VgeTVector& p = points[index];
    int64_t x, y, z;
    if (!CellOf(p.mData[0], x) || !CellOf(p.mData[1], y) || !CellOf(p.mData[2], z)) return;
    if ((mStored + 1) * 2 > mTable.size()) Grow();
    const uint64_t h = Hash(x, y, z);
    const uint32_t tag = (uint32_t)h;
    size_t slot = (size_t)h & mMask;
    for (; mTable[slot].mIndex >= 0; slot = (slot + 1) & mMask) {
        const Entry& e = mTable[slot];
        if (e.mTag != tag) continue;
        const VgeTVector& q = points[e.mIndex];
        // An equal point stored before always wins over this one: it is left out.
        if (q.mData[0] == p.mData[0] && q.mData[1] == p.mData[1] && q.mData[2] == p.mData[2]) return;
    }
    mTable[slot] = Entry{index, tag};
    ++mStored;
}

void VDxfWeldIndex::Build(const VgeTVector* points, int count) {
    mBuilt = true;
    mCount = count;
    mStored = 0;
    size_t slots = 64;
    while (slots < 2 * ((size_t)count + 1))
        slots *= 2;
    mTable.assign(slots, Entry{-1, 0});
    mMask = slots - 1;
    for (int i = 0; i < count; ++i)
        Insert(points, i);
}

void VDxfWeldIndex::Add(const VgeTVector* points, int index) {
    if (!mBuilt) return;
    mCount = index + 1;
    Insert(points, index);
}

int VDxfWeldIndex::Find(const VgeTVector* points, const VgeTVector& p) const {
    if (!mBuilt || mTable.empty()) return -1;
    int64_t lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        if (!CellOf(p.mData[a] - kReach, lo[a]) || !CellOf(p.mData[a] + kReach, hi[a])) return -1;
    }
    int best = -1;
    const Entry* table = mTable.data();
    for (int64_t x = lo[0]; x <= hi[0]; ++x) {
        for (int64_t y = lo[1]; y <= hi[1]; ++y) {
            for (int64_t z = lo[2]; z <= hi[2]; ++z) {
                const uint64_t h = Hash(x, y, z);
                const uint32_t tag = (uint32_t)h;
                // Every point of the cell lies in the run of filled slots from its hash on.
                for (size_t slot = (size_t)h & mMask; table[slot].mIndex >= 0; slot = (slot + 1) & mMask) {
                    const Entry& e = table[slot];
                    if (e.mTag == tag && (best < 0 || e.mIndex < best) && Near(points[e.mIndex], p))
                        best = e.mIndex;
                }
            }
        }
    }
    return best;
}

int DxfGeometryGroup::AppendPoint(const VgeTVector& p) {
    if (mPoints.size() >= (size_t)INT_MAX) return -1;
    mPoints.push_back(p);
    const int index = (int)mPoints.size() - 1;
    if (mWeld.IsBuilt()) mWeld.Add(mPoints.data(), index);
    return index;
}

int DxfGeometryGroup::FindPoint(const VgeTVector& p) {
    if (!mWeld.IsBuilt()) mWeld.Build(mPoints.data(), (int)mPoints.size());
    return mWeld.Find(mPoints.data(), p);
}

void DxfGeometryGroup::Release() {
    std::vector<VgeTVector>().swap(mPoints);
    std::vector<int>{0, 0}.swap(mFaces);
    std::vector<uint32_t>().swap(mMasks);
    mWeld.Clear();
}
