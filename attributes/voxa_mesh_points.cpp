// The mesh's control-point splitting (one point per use) and duplicate-point merging.
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_mesh_internal.h"
#include "attributes/voxa_shape.h"
#include "base/vallocation_hook.h"
#include "objects/vproperty.h"

using namespace voxa_mesh_detail;

namespace {

// The item of a polygon vertex (at position `at`, using control point `point`) in an element
// mapped by control point or by polygon vertex; -1 for the other mappings.
int MappedItem(const VOxaLayerElement* element, int point, int at) {
    switch (element->GetMappingMode()) {
        case eBY_CONTROL_POINT:
            return point;
        case eBY_POLYGON_VERTEX:
            return at;
        default:
            return -1;
    }
}

// The value of mapped item `item` through the element's reference (direct or index-to-direct);
// false, `out` unchanged, when out of range.
template <typename T>
bool ReadItem(const VOxaLayerElementTemplate<T>* element, int item, T& out) {
    if (element == nullptr) return false;
    if (element->GetReferenceMode() == eINDEX_TO_DIRECT) {
        const VArrayTemplate<int>& indices = element->GetIndexArray();
        item = (item >= 0 && item < indices.GetCount()) ? indices[item] : -1;
    } else if (element->GetReferenceMode() != eDIRECT) {
        return false;
    }
    const VArrayTemplate<T>& items = element->GetDirectArray();
    if (item < 0 || item >= items.GetCount()) return false;
    out = items[item];
    return true;
}

// Replaces the element's values by `values`, one per control point, direct.
template <typename T>
void StorePerPoint(VOxaLayerElementTemplate<T>* element, const std::vector<T>& values) {
    VArrayTemplate<T>& items = element->GetDirectArray();
    items.Clear();
    if (!values.empty() && items.SetCount((int)values.size())) {
        for (int i = 0; i < (int)values.size(); ++i)
            items[i] = values[(size_t)i];
    }
    element->GetIndexArray().Clear();
    element->SetMappingMode(eBY_CONTROL_POINT);
    element->SetReferenceMode(eDIRECT);
}

// Grows an array of per-point values to `count`, giving each new index of `copies` (pairs of
// new index and source index) the value at its source.
template <typename T>
void GrowPerPoint(VArrayTemplate<T>& items, int count, const std::vector<std::pair<int, int>>& copies) {
    const int old = items.GetCount();
    if (old < count && !items.SetCount(count)) return;
    for (const auto& copy : copies) {
        if (copy.second < old && copy.first < items.GetCount()) items[copy.first] = items[copy.second];
    }
}

// Keeps, in order, the entries of `items` whose control point survives (entries past the
// control points are dropped).
template <typename T>
void CompactPerPoint(VArrayTemplate<T>& items, const std::vector<char>& survives) {
    const int limit = items.GetCount() < (int)survives.size() ? items.GetCount() : (int)survives.size();
    int kept = 0;
    for (int i = 0; i < limit; ++i) {
        if (survives[(size_t)i]) items[kept++] = items[i];
    }
    items.SetCount(kept);
}

template <typename T>
void CompactElement(VOxaLayerElementTemplate<T>* element, const std::vector<char>& survives) {
    if (element == nullptr || element->GetMappingMode() != eBY_CONTROL_POINT) return;
    if (element->GetReferenceMode() == eDIRECT) {
        CompactPerPoint(element->GetDirectArray(), survives);
    } else {
        CompactPerPoint(element->GetIndexArray(), survives);
    }
}

// Compacts every element mapped by control point of every layer of `container`.
void CompactLayers(VOxaLayerContainer& container, const std::vector<char>& survives) {
    for (int i = 0; i < container.GetLayerCount(); ++i) {
        VOxaLayer* layer = container.GetLayer(i);
        CompactElement(layer->GetNormals(), survives);
        CompactElement(layer->GetMaterials(), survives);
        CompactElement(layer->GetTextures(), survives);
        CompactElement(layer->GetPolygonGroups(), survives);
        // The w values of per-point UVs go with their items when in step with them; others are
        // dropped.
        VOxaLayerElementUV* uvs = layer->GetUVs();
        if (uvs != nullptr && uvs->GetMappingMode() == eBY_CONTROL_POINT &&
            uvs->GetReferenceMode() == eDIRECT) {
            if (uvs->GetWArray().GetCount() == uvs->GetDirectArray().GetCount())
                CompactPerPoint(uvs->GetWArray(), survives);
            else
                uvs->GetWArray().Clear();
        }
        CompactElement(uvs, survives);
        CompactElement(layer->GetVertexColors(), survives);
    }
}

// Empties a link's control points and refills them with `indices` and `weights`, keeping
// everything else of the link (nodes, user data, mode, transforms, parent flag).
void RefillLink(VOxaLink* link, const std::vector<int>& indices, const std::vector<double>& weights) {
    VOxaLink saved;
    saved.CopyFrom(*link);
    link->Init();
    link->SetLink(saved.GetLink());
    link->SetAssociateModel(saved.GetAssociateModel());
    link->SetUserData(saved.GetUserDataID(), saved.GetUserData());
    link->SetLinkMode(saved.GetLinkMode());
    VgeTVector v;
    link->SetTransformT(saved.GetTransformT(v));
    link->SetTransformR(saved.GetTransformR(v));
    link->SetTransformS(saved.GetTransformS(v));
    link->SetTransformLinkT(saved.GetTransformLinkT(v));
    link->SetTransformLinkR(saved.GetTransformLinkR(v));
    link->SetTransformLinkS(saved.GetTransformLinkS(v));
    link->SetTransformAssociateModelT(saved.GetTransformAssociateModelT(v));
    link->SetTransformAssociateModelR(saved.GetTransformAssociateModelR(v));
    link->SetTransformAssociateModelS(saved.GetTransformAssociateModelS(v));
    if (saved.IsTransformParentSet()) {
        link->SetTransformParentT(saved.GetTransformParentT(v));
        link->SetTransformParentR(saved.GetTransformParentR(v));
        link->SetTransformParentS(saved.GetTransformParentS(v));
    }
    for (size_t i = 0; i < indices.size(); ++i)
        link->AddControlPointIndex(indices[i], weights[i]);
}

// --- Cells of the duplicate search ---------------------------------------------------------------

// Points within 1e-6 per axis lie in the same or neighbouring cells of this size.
const double kCellsPerUnit = 5e5;

int64_t CellOf(double value) {
    return vproperty_detail::DoubleToInt64(std::floor(value * kCellsPerUnit));
}

uint64_t HashCell(int64_t x, int64_t y, int64_t z) {
    uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
    h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
    h ^= (uint64_t)z * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
    return h ^ (h >> 29);
}

bool SamePoint(const VgeTVector& a, const VgeTVector& b) {
    return std::fabs(a[0] - b[0]) <= 1e-6 && std::fabs(a[1] - b[1]) <= 1e-6 && std::fabs(a[2] - b[2]) <= 1e-6;
}

// The points of a geometry that may be merged into, bucketed by cell: an open-addressing table
// of cells, each with the chain of its points in the order they were added.
class CellTable {
public:
    explicit CellTable(int pointCount) : mNext((size_t)pointCount, -1) {
        size_t size = 16;
        while (size < (size_t)pointCount * 2)
            size <<= 1;
        mSlots.assign(size, Slot());
    }

    void Add(int point, int64_t x, int64_t y, int64_t z) {
        Slot& slot = Find(x, y, z);
        if (slot.mHead < 0) {
            slot.mX = x;
            slot.mY = y;
            slot.mZ = z;
            slot.mHead = point;
        } else {
            mNext[(size_t)slot.mTail] = point;
        }
        slot.mTail = point;
    }

    // The first point of the cell, or -1; then Next.
    int First(int64_t x, int64_t y, int64_t z) { return Find(x, y, z).mHead; }
    int Next(int point) const { return mNext[(size_t)point]; }

private:
    struct Slot {
        int64_t mX = 0, mY = 0, mZ = 0;
        int mHead = -1;
        int mTail = -1;
    };

    // The slot of the cell, or the empty slot where it would go.
    Slot& Find(int64_t x, int64_t y, int64_t z) {
        const size_t mask = mSlots.size() - 1;
        for (size_t i = HashCell(x, y, z) & mask;; i = (i + 1) & mask) {
            Slot& slot = mSlots[i];
            if (slot.mHead < 0 || (slot.mX == x && slot.mY == y && slot.mZ == z)) return slot;
        }
    }

    std::vector<Slot> mSlots;
    std::vector<int> mNext;
};

}  // namespace

// --- Split table ----------------------------------------------------------------------------------

int VOxaPointSplitTable::GetEntryCount(int point) const {
    if (point < 0 || point >= mPointCount || mOffsets.GetCount() != mPointCount + 1) return 0;
    return mOffsets[point + 1] - mOffsets[point];
}

const VOxaPointSplitEntry* VOxaPointSplitTable::GetEntries(int point) const {
    return GetEntryCount(point) > 0 ? mEntries.GetArray() + mOffsets[point] : nullptr;
}

void VOxaPointSplitTable::Clear() {
    mPointCount = 0;
    mOffsets.Clear();
    mEntries.Clear();
}

void VOxaMesh::BuildPointSplitTable(VOxaPointSplitTable& table, int flag) {
    if (flag != 0) return;
    table.Clear();
    const int pointCount = mControlPoints.GetCount();
    const int vertexCount = (int)mPolygonVertices.size();
    const int* vertices = mPolygonVertices.data();
    if (!table.mOffsets.SetCount(pointCount + 1)) return;
    table.mPointCount = pointCount;
    int* offsets = table.mOffsets.GetArray();

    try {
        // The polygon vertices in polygon order that use a control point in range.
        std::vector<int> uses;
        uses.reserve((size_t)vertexCount);
        for (int p = 0; p < (int)mPolygons.size(); ++p) {
            const VOxaPolygon& polygon = mPolygons[p];
            if (polygon.mSize <= 0 || polygon.mFirst < 0 || polygon.mFirst > vertexCount - polygon.mSize)
                continue;
            for (int at = polygon.mFirst; at < polygon.mFirst + polygon.mSize; ++at) {
                if ((unsigned)vertices[at] < (unsigned)pointCount) {
                    uses.push_back(at);
                    ++offsets[vertices[at] + 1];
                }
            }
        }
        for (int i = 0; i < pointCount; ++i)
            offsets[i + 1] += offsets[i];
        if (!table.mEntries.SetCount((int)uses.size())) {
            table.Clear();
            return;
        }

        const VOxaLayerElementNormal* normals = GetNormalElement();
        const VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
        VOxaPointSplitEntry* entries = table.mEntries.GetArray();
        std::vector<int> cursor(offsets, offsets + pointCount);
        for (const int at : uses) {
            const int point = vertices[at];
            VOxaPointSplitEntry entry;
            entry.mPolygonVertex = at;
            if (normals != nullptr) ReadItem(normals, MappedItem(normals, point, at), entry.mNormal);
            if (uvs != nullptr) ReadItem(uvs, MappedItem(uvs, point, at), entry.mUV);
            entries[cursor[(size_t)point]++] = entry;
        }
        // The first use keeps its point; the later ones take new points after the existing ones.
        int next = pointCount;
        for (int point = 0; point < pointCount; ++point) {
            for (int k = offsets[point]; k < offsets[point + 1]; ++k) {
                entries[k].mNewIndex = k == offsets[point] ? point : next++;
            }
        }
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        table.Clear();
    }
}

void VOxaMesh::SplitPoints(const VOxaPointSplitTable& table) {
    const int pointCount = mControlPoints.GetCount();
    const int vertexCount = (int)mPolygonVertices.size();
    if (table.GetPointCount() != pointCount || pointCount == 0) return;
    // Everything that needs memory is had before the first change, so that running out of it
    // leaves the mesh as it was.
    try {
        // The uses that get a point of their own, checked against this mesh (the table may be
        // stale).
        const int limit = pointCount + table.mEntries.GetCount();
        std::vector<std::pair<int, int>> copies;  // (new point, point it was split from)
        std::vector<int> copyAt;                  // the polygon vertex of each copy
        int newCount = pointCount;
        for (int point = 0; point < pointCount; ++point) {
            const VOxaPointSplitEntry* entries = table.GetEntries(point);
            for (int k = 1, n = table.GetEntryCount(point); k < n; ++k) {
                const VOxaPointSplitEntry& entry = entries[k];
                if (entry.mNewIndex < pointCount || entry.mNewIndex >= limit || entry.mPolygonVertex < 0 ||
                    entry.mPolygonVertex >= vertexCount) {
                    continue;
                }
                copies.emplace_back(entry.mNewIndex, point);
                copyAt.push_back(entry.mPolygonVertex);
                if (entry.mNewIndex >= newCount) newCount = entry.mNewIndex + 1;
            }
        }

        // Normals and UVs of layer 0 become one per control point: each use's own value.
        VOxaLayerElementNormal* normals = GetNormalElement();
        VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
        std::vector<VgeTVector> pointNormals(normals ? (size_t)newCount : 0);
        std::vector<VgeVector2> pointUVs(uvs ? (size_t)newCount : 0);
        for (int point = 0; point < pointCount; ++point) {
            if (normals != nullptr && normals->GetMappingMode() == eBY_CONTROL_POINT) {
                ReadItem(normals, point, pointNormals[(size_t)point]);
            }
            if (uvs != nullptr && uvs->GetMappingMode() == eBY_CONTROL_POINT) {
                ReadItem(uvs, point, pointUVs[(size_t)point]);
            }
            const VOxaPointSplitEntry* entries = table.GetEntries(point);
            for (int k = 0, n = table.GetEntryCount(point); k < n; ++k) {
                const int target = k == 0 ? point : entries[k].mNewIndex;
                if (target < 0 || target >= newCount) continue;
                if (normals != nullptr) pointNormals[(size_t)target] = entries[k].mNormal;
                if (uvs != nullptr) pointUVs[(size_t)target] = entries[k].mUV;
            }
        }
        std::vector<int> indices;
        std::vector<double> weights;
        std::vector<VgeTVector> shapePoints;
        ReserveScratch(indices, weights, shapePoints);

        if (!mControlPoints.SetCount(newCount)) return;
        if (normals != nullptr) StorePerPoint(normals, pointNormals);
        if (uvs != nullptr) {
            // The UVs are rebuilt per point from their (u, v) values; the w values are not
            // carried, so none is left out of step with its item.
            StorePerPoint(uvs, pointUVs);
            uvs->GetWArray().Clear();
        }

        // The new points copy the points they were split from; their uses move to them.
        for (size_t c = 0; c < copies.size(); ++c) {
            mControlPoints[copies[c].first] = mControlPoints[copies[c].second];
            mPolygonVertices[(size_t)copyAt[c]] = copies[c].first;
        }

        // Links: each (index, weight) pair gains one pair per new point split from its index.
        for (int l = 0; l < mLinks.GetCount(); ++l) {
            VOxaLink* link = mLinks[l];
            if (link == nullptr) continue;
            const int pairCount = link->GetControlPointIndicesCount();
            indices.assign(link->GetControlPointIndices(), link->GetControlPointIndices() + pairCount);
            weights.assign(link->GetControlPointWeights(), link->GetControlPointWeights() + pairCount);
            for (int i = 0; i < pairCount; ++i) {
                const int point = indices[(size_t)i];
                if (point < 0 || point >= pointCount) continue;
                const VOxaPointSplitEntry* entries = table.GetEntries(point);
                for (int k = 1, n = table.GetEntryCount(point); k < n; ++k) {
                    const int target = entries[k].mNewIndex;
                    if (target >= pointCount && target < limit)
                        link->AddControlPointIndex(target, weights[(size_t)i]);
                }
            }
        }

        // Shapes: the same count, the new points copying theirs (as far as the shape has them).
        for (int s = 0; s < mShapes.GetCount(); ++s) {
            VOxaShape* shape = mShapes[s];
            if (shape == nullptr) continue;
            const int shapeCount = shape->GetControlPointsCount();
            shapePoints.assign(shape->GetControlPoints(), shape->GetControlPoints() + shapeCount);
            shape->InitControlPoints(newCount);
            VgeTVector* out = shape->GetControlPoints();
            if (out == nullptr) continue;
            for (int i = 0; i < shapeCount && i < newCount; ++i)
                out[i] = shapePoints[(size_t)i];
            for (const auto& copy : copies) {
                if (copy.second < shapeCount) out[copy.first] = shapePoints[(size_t)copy.second];
            }
            VOxaLayer* layer = shape->GetLayer(0);
            if (layer == nullptr) continue;
            if (VOxaLayerElementNormal* shapeNormals = layer->GetNormals()) {
                GrowPerPoint(shapeNormals->GetDirectArray(), newCount, copies);
            }
            if (VOxaLayerElementUV* shapeUVs = layer->GetUVs()) {
                shapeUVs->SetMappingMode(eNO_MAPPING);
                shapeUVs->SetReferenceMode(eDIRECT);
                shapeUVs->GetIndexArray().Clear();
                // w values in step with their items grow with them; others are dropped.
                VArrayTemplate<double>& ws = shapeUVs->GetWArray();
                if (ws.GetCount() == shapeUVs->GetDirectArray().GetCount())
                    GrowPerPoint(ws, newCount, copies);
                else
                    ws.Clear();
                GrowPerPoint(shapeUVs->GetDirectArray(), newCount, copies);
            }
        }
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        // Not enough memory for the working lists: nothing was changed.
    }
}

void VOxaMesh::ReserveScratch(std::vector<int>& indices, std::vector<double>& weights,
                              std::vector<VgeTVector>& shapePoints) const {
    int pairs = 0, points = 0;
    for (int l = 0; l < mLinks.GetCount(); ++l) {
        if (mLinks[l] != nullptr && mLinks[l]->GetControlPointIndicesCount() > pairs) {
            pairs = mLinks[l]->GetControlPointIndicesCount();
        }
    }
    for (int s = 0; s < mShapes.GetCount(); ++s) {
        if (mShapes[s] != nullptr && mShapes[s]->GetControlPointsCount() > points) {
            points = mShapes[s]->GetControlPointsCount();
        }
    }
    indices.reserve((size_t)pairs);
    weights.reserve((size_t)pairs);
    shapePoints.reserve((size_t)points);
}

// --- Duplicate points -----------------------------------------------------------------------------

bool VOxaMesh::FindDuplicatePoints(VArrayTemplate<int>& map, int flag, bool findAll) {
    if (flag != 0) return false;
    const int pointCount = mControlPoints.GetCount();
    map.Clear();
    if (pointCount == 0) return false;
    std::unique_ptr<CellTable> cells;
    try {
        cells.reset(new CellTable(pointCount));
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return false;
    }
    if (!map.SetCount(pointCount)) return false;
    int* target = map.GetArray();
    const VgeTVector* points = mControlPoints.GetArray();

    // One pass in point order: a point goes to the first earlier point it equals that has not
    // gone elsewhere itself. Without findAll only the points before the first duplicate can be
    // merged into, as a search that stops at the first point already mapped away would find.
    bool found = false;
    for (int j = 0; j < pointCount; ++j) {
        target[j] = j;
        const VgeTVector& p = points[j];
        if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) continue;
        const int64_t cx = CellOf(p[0]), cy = CellOf(p[1]), cz = CellOf(p[2]);
        int best = -1;
        for (int dx = -1; dx <= 1; ++dx) {
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dz = -1; dz <= 1; ++dz) {
                    // Saturated cells hold the far-away points; their neighbours are themselves.
                    if ((cx == INT64_MAX && dx > 0) || (cx == INT64_MIN && dx < 0) ||
                        (cy == INT64_MAX && dy > 0) || (cy == INT64_MIN && dy < 0) ||
                        (cz == INT64_MAX && dz > 0) || (cz == INT64_MIN && dz < 0)) {
                        continue;
                    }
                    for (int i = cells->First(cx + dx, cy + dy, cz + dz); i >= 0; i = cells->Next(i)) {
                        if (best >= 0 && i >= best) break;
                        if (SamePoint(points[i], p)) {
                            best = i;
                            break;
                        }
                    }
                }
            }
        }
        if (best >= 0) {
            target[j] = best;
            found = true;
        } else if (findAll || !found) {
            cells->Add(j, cx, cy, cz);
        }
    }
    return found;
}

void VOxaMesh::MergeDuplicatePoints(const VArrayTemplate<int>& map) {
    const int pointCount = mControlPoints.GetCount();
    // Everything that needs memory is had before the first change, so that running out of it
    // leaves the mesh as it was.
    try {
        // Each point's index after the merge. A point mapped to an earlier one takes that one's;
        // any other entry (itself, later, out of range, missing) keeps the point.
        std::vector<int> newIndex((size_t)pointCount);
        std::vector<char> survives((size_t)pointCount, 0);
        int kept = 0;
        for (int i = 0; i < pointCount; ++i) {
            const int to = i < map.GetCount() ? map[i] : i;
            if (to >= 0 && to < i) {
                newIndex[(size_t)i] = newIndex[(size_t)to];
            } else {
                newIndex[(size_t)i] = kept++;
                survives[(size_t)i] = 1;
            }
        }
        if (kept == pointCount) return;

        // Normals per control point become normals per polygon vertex, so that the merged
        // points keep the normals of their uses.
        VOxaLayerElementNormal* normals = GetNormalElement();
        const bool expandNormals = normals != nullptr && normals->GetMappingMode() == eBY_CONTROL_POINT;
        std::vector<VgeTVector> perVertex(expandNormals ? mPolygonVertices.size() : 0);
        for (size_t at = 0; at < perVertex.size(); ++at)
            ReadItem(normals, mPolygonVertices[at], perVertex[at]);
        std::vector<int> seenBy((size_t)kept, -1);
        std::vector<int> indices;
        std::vector<double> weights;
        std::vector<VgeTVector> shapePoints;
        ReserveScratch(indices, weights, shapePoints);

        if (expandNormals) {
            StorePerPoint(normals, perVertex);
            normals->SetMappingMode(eBY_POLYGON_VERTEX);
        }
        for (int& point : mPolygonVertices) {
            if (point >= 0 && point < pointCount) point = newIndex[(size_t)point];
        }
        CompactPerPoint(mControlPoints, survives);
        CompactLayers(*this, survives);

        // Links: the pairs move to the new indices; of the pairs that land on one point, the
        // first stays.
        for (int l = 0; l < mLinks.GetCount(); ++l) {
            VOxaLink* link = mLinks[l];
            if (link == nullptr) continue;
            const int pairCount = link->GetControlPointIndicesCount();
            const int* oldIndices = link->GetControlPointIndices();
            const double* oldWeights = link->GetControlPointWeights();
            indices.clear();
            weights.clear();
            for (int i = 0; i < pairCount; ++i) {
                const int point = oldIndices[i];
                if (point < 0 || point >= pointCount) continue;
                const int to = newIndex[(size_t)point];
                if (seenBy[(size_t)to] == l) continue;
                seenBy[(size_t)to] = l;
                indices.push_back(to);
                weights.push_back(oldWeights[i]);
            }
            RefillLink(link, indices, weights);
        }

        // Shapes keep the points (and per-point layer data) of the surviving points.
        for (int s = 0; s < mShapes.GetCount(); ++s) {
            VOxaShape* shape = mShapes[s];
            if (shape == nullptr) continue;
            const int shapeCount = shape->GetControlPointsCount();
            shapePoints.assign(shape->GetControlPoints(), shape->GetControlPoints() + shapeCount);
            shape->InitControlPoints(kept);
            VgeTVector* out = shape->GetControlPoints();
            for (int i = 0; out != nullptr && i < shapeCount && i < pointCount; ++i) {
                if (survives[(size_t)i]) out[newIndex[(size_t)i]] = shapePoints[(size_t)i];
            }
            CompactLayers(*shape, survives);
        }
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        // Not enough memory for the working lists: nothing was changed.
    }
}
