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
    double c = std::floor(v / kCell);
    if (c < -kCellLimit) c = -kCellLimit;
    if (c > kCellLimit) c = kCellLimit;
    cell = (int64_t)c;
    return true;
}

uint32_t VDxfWeldIndex::Slot(int64_t x, int64_t y, int64_t z) const {
    uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full;
    h ^= (uint64_t)z * 0x165667B19E3779F9ull;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    return (uint32_t)h & mMask;
}

void VDxfWeldIndex::Clear() {
    mBuilt = false;
    mCount = mStored = 0;
    std::vector<int>().swap(mHeads);
    std::vector<int>().swap(mNext);
    mMask = 0;
}

void VDxfWeldIndex::Rehash(const VgeTVector* points, int count) {
    size_t slots = 64;
    while (slots < (size_t)count + 1)
        slots *= 2;
    mHeads.assign(slots, -1);
    mMask = (uint32_t)(slots - 1);
    mStored = 0;
    for (int i = 0; i < count; ++i)
        Insert(points, i);
}

void VDxfWeldIndex::Insert(const VgeTVector* points, int index) {
    const VgeTVector& p = points[index];
    int64_t x, y, z;
    if (!CellOf(p.mData[0], x) || !CellOf(p.mData[1], y) || !CellOf(p.mData[2], z)) return;
    const uint32_t slot = Slot(x, y, z);
    const int head = mHeads[slot];
    // A run of equal points (a polyline's repeated vertex) keeps only its first: that one always
    // wins over the others.
    if (head >= 0 && points[head].mData[0] == p.mData[0] && points[head].mData[1] == p.mData[1] &&
        points[head].mData[2] == p.mData[2])
        return;
    mNext[(size_t)index] = head;
    mHeads[slot] = index;
    ++mStored;
}

void VDxfWeldIndex::Build(const VgeTVector* points, int count) {
    mBuilt = true;
    mCount = count;
    mNext.assign((size_t)count, -1);
    Rehash(points, count);
}

void VDxfWeldIndex::Add(const VgeTVector* points, int index) {
    if (!mBuilt) return;
    mCount = index + 1;
    if (mNext.size() < (size_t)mCount) mNext.resize((size_t)mCount, -1);
    if ((size_t)mStored + 1 > mHeads.size()) {
        Rehash(points, index);
    }
    Insert(points, index);
}

int VDxfWeldIndex::Find(const VgeTVector* points, const VgeTVector& p) const {
    if (!mBuilt || mHeads.empty()) return -1;
    int64_t lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        if (!CellOf(p.mData[a] - kReach, lo[a]) || !CellOf(p.mData[a] + kReach, hi[a])) return -1;
    }
    int best = -1;
    for (int64_t x = lo[0]; x <= hi[0]; ++x) {
        for (int64_t y = lo[1]; y <= hi[1]; ++y) {
            for (int64_t z = lo[2]; z <= hi[2]; ++z) {
                // Chains run from the newest point to the oldest: the last match is the smallest.
                for (int i = mHeads[Slot(x, y, z)]; i >= 0; i = mNext[(size_t)i]) {
                    if ((best < 0 || i < best) && Near(points[i], p)) best = i;
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
    mWeld.Clear();
}
