// What the DXF reader gathers for one node before building its mesh: points in scene coordinates
// and a face stream, with an index that finds the first point within 1e-6 of a new one.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_GEOMETRY_GROUP_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_GEOMETRY_GROUP_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

// Finds, among points[0, n), the smallest index of a point whose x, y and z each differ from a
// given point by at most 1e-6 (the equality of VgeTVector), as a scan from index 0 would, but
// through a hash over grid cells: only the cells that can hold such a point are looked at.
// Points with a coordinate that is not finite never match and are never matched, as in the scan.
//
// The table is open-addressed (linear probing): one slot holds a point's index and the low bits
// of its cell's hash, so a probe reads one cache line and looks at the point itself only when
// the tag matches. A point exactly equal to one already stored is not stored: the earlier one
// always wins over it.
class OXA_API VDxfWeldIndex {
public:
    bool IsBuilt() const { return mBuilt; }
    // Indexes points[0, count).
    void Build(const VgeTVector* points, int count);
    // Indexes point `index` (the next one after those indexed).
    void Add(const VgeTVector* points, int index);
    // The smallest matching index, -1 when none.
    int Find(const VgeTVector* points, const VgeTVector& p) const;
    // Starts loading the slot a Find of p will look at first (a hint; changes nothing).
    void Prefetch(const VgeTVector& p) const;
    void Clear();

private:
    struct Entry {
        int32_t mIndex;  // -1: empty
        uint32_t mTag;   // the low 32 bits of the cell's hash (the slot bits among them)
    };
    // Cells are 2^-14 (about 61 tolerances) wide and centred on multiples of 2^-14, so that
    // round values (0.5, 100.0, 0.25) lie well inside one cell and a lookup probes one cell
    // rather than the eight around a cell corner.
    static constexpr double kScale = 16384.0;
    static bool CellOf(double v, int64_t& cell);
    static uint64_t Hash(int64_t x, int64_t y, int64_t z);
    void Insert(const VgeTVector* points, int index);
    void Grow();

    bool mBuilt = false;
    int mCount = 0;             // points indexed (including those left out)
    size_t mStored = 0;         // points in the table
    std::vector<Entry> mTable;  // power-of-two size, at most half full
    size_t mMask = 0;
};

// Points (scene coordinates, w 1.0) and the face stream: item 0 the material flag (1 when some
// face has a colour number above 0), item 1 reserved (0), then per face its size s (2, 3 or 4),
// its colour number and s indices into the points.
struct OXA_API DxfGeometryGroup {
    std::vector<VgeTVector> mPoints;
    std::vector<int> mFaces{0, 0};
    // The smoothing masks of the faces that carry one, in face order (see the reader's face
    // records).
    std::vector<uint32_t> mMasks;
    VDxfWeldIndex mWeld;

    int GetPointCount() const { return (int)mPoints.size(); }
    // Appends a point; answers its index, -1 when the group is full (more than INT_MAX points).
    int AppendPoint(const VgeTVector& p);
    // The first point within 1e-6 of p, -1 when none.
    int FindPoint(const VgeTVector& p);
    // With `weld` the first point within 1e-6 of p, else (or when none) a new point.
    int WeldPoint(const VgeTVector& p, bool weld) {
        int index = weld ? FindPoint(p) : -1;
        return index >= 0 ? index : AppendPoint(p);
    }
    void SetMaterialFlag() { mFaces[0] = 1; }
    bool HasMaterialFlag() const { return mFaces[0] == 1; }
    // Frees everything; the group starts again empty.
    void Release();
};

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_GEOMETRY_GROUP_H
