#include "formats/geometry/dxf/voxa_dxf_shading.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_mesh.h"
#include "base/vallocation_hook.h"
#include "formats/geometry/voxa_edge_runs_internal.h"

namespace {

struct UnionFind {
    std::vector<int> mParent;
    explicit UnionFind(size_t n) : mParent(n) {
        for (size_t i = 0; i < n; ++i)
            mParent[i] = (int)i;
    }
    int Find(int i) {
        while (mParent[(size_t)i] != i)
            i = mParent[(size_t)i] = mParent[(size_t)mParent[(size_t)i]];
        return i;
    }
    void Unite(int a, int b) {
        a = Find(a);
        b = Find(b);
        if (a != b) mParent[(size_t)std::max(a, b)] = std::min(a, b);
    }
};

}  // namespace

void DxfShadingSets(const VgeTVector* points, int pointCount, const DxfShadingFaces& faces,
                    std::vector<int>& sets, std::vector<VgeTVector>& faceNormals) {
    const int faceCount = faces.GetCount();
    const size_t cornerCount = faces.mCorners.size();
    auto inside = [&](int v) { return v >= 0 && v < pointCount; };
    auto masked = [&](int f) { return !faces.mMasked.empty() && faces.mMasked[(size_t)f] != 0; };

    faceNormals.assign((size_t)std::max(faceCount, 0), VgeTVector(0.0, 0.0, 0.0, 0.0));
    for (int f = 0; f < faceCount; ++f) {
        const int first = faces.mStarts[(size_t)f], end = faces.mStarts[(size_t)f + 1];
        double n[3] = {0.0, 0.0, 0.0};
        bool valid = end - first >= 3;
        for (int c = first; c < end && valid; ++c) {
            const int a = faces.mCorners[(size_t)c],
                      b = faces.mCorners[(size_t)(c + 1 < end ? c + 1 : first)];
            valid = inside(a) && inside(b);
            if (!valid) break;
            const VgeTVector& p = points[a];
            const VgeTVector& q = points[b];
            n[0] += (p[1] - q[1]) * (p[2] + q[2]);
            n[1] += (p[2] - q[2]) * (p[0] + q[0]);
            n[2] += (p[0] - q[0]) * (p[1] + q[1]);
        }
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (valid && length > 0.0 && std::isfinite(length))
            faceNormals[(size_t)f] = VgeTVector(n[0] / length, n[1] / length, n[2] / length, 0.0);
    }

    UnionFind sets0(cornerCount);
    std::vector<int> faceOf(cornerCount, 0);
    for (int f = 0; f < faceCount; ++f)
        for (int c = faces.mStarts[(size_t)f]; c < faces.mStarts[(size_t)f + 1]; ++c)
            faceOf[(size_t)c] = f;

    // Faces that carry masks: at each vertex, the corners whose masks share a bit.
    if (!faces.mMasked.empty() && pointCount > 0) {
        std::vector<int> first((size_t)pointCount + 1, 0), order;
        for (size_t c = 0; c < cornerCount; ++c)
            if (masked(faceOf[c]) && inside(faces.mCorners[c])) ++first[(size_t)faces.mCorners[c] + 1];
        for (int v = 0; v < pointCount; ++v)
            first[(size_t)v + 1] += first[(size_t)v];
        order.resize((size_t)first[(size_t)pointCount]);
        std::vector<int> next(first.begin(), first.end() - 1);
        for (size_t c = 0; c < cornerCount; ++c)
            if (masked(faceOf[c]) && inside(faces.mCorners[c]))
                order[(size_t)next[(size_t)faces.mCorners[c]]++] = (int)c;
        for (int v = 0; v < pointCount; ++v) {
            int bitCorner[32];
            std::fill(bitCorner, bitCorner + 32, -1);
            for (int i = first[(size_t)v]; i < first[(size_t)v + 1]; ++i) {
                const int c = order[(size_t)i];
                const uint32_t mask = faces.mMasks[(size_t)faceOf[(size_t)c]];
                for (int b = 0; b < 32; ++b) {
                    if (!(mask & (1u << b))) continue;
                    if (bitCorner[b] < 0)
                        bitCorner[b] = c;
                    else
                        sets0.Unite(c, bitCorner[b]);
                }
            }
        }
    }

    // Other faces: across each edge two faces share, when their normals differ by a small angle.
    struct Edge {
        int mLow, mHigh;
        int mLowCorner, mHighCorner;
    };
    std::vector<Edge> edges;
    for (int f = 0; f < faceCount; ++f) {
        const VgeTVector& n = faceNormals[(size_t)f];
        if (masked(f) || (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0)) continue;
        const int first = faces.mStarts[(size_t)f], end = faces.mStarts[(size_t)f + 1];
        for (int c = first; c < end; ++c) {
            const int d = c + 1 < end ? c + 1 : first;
            const int u = faces.mCorners[(size_t)c], v = faces.mCorners[(size_t)d];
            if (u == v || !inside(u) || !inside(v)) continue;
            edges.push_back(u < v ? Edge{u, v, c, d} : Edge{v, u, d, c});
        }
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& x, const Edge& y) {
        if (x.mLow != y.mLow) return x.mLow < y.mLow;
        if (x.mHigh != y.mHigh) return x.mHigh < y.mHigh;
        return x.mLowCorner < y.mLowCorner;
    });
    const double limit = std::cos(kDxfSmoothingDegrees * 3.14159265358979323846 / 180.0);
    VOxaForEachEdgePair(edges, [&](const Edge& x, const Edge& y) {
        const VgeTVector& a = faceNormals[(size_t)faceOf[(size_t)x.mLowCorner]];
        const VgeTVector& b = faceNormals[(size_t)faceOf[(size_t)y.mLowCorner]];
        if (a[0] * b[0] + a[1] * b[1] + a[2] * b[2] < limit) return;
        sets0.Unite(x.mLowCorner, y.mLowCorner);
        sets0.Unite(x.mHighCorner, y.mHighCorner);
    });

    sets.assign(cornerCount, -1);
    int count = 0;
    for (size_t c = 0; c < cornerCount; ++c) {
        // A set's root is its first corner, numbered before the others.
        const int root = sets0.Find((int)c);
        sets[c] = (size_t)root == c ? count++ : sets[(size_t)root];
    }
}

void DxfShadeMesh(VOxaMesh* mesh, const std::vector<uint32_t>& masks, const std::vector<char>& masked) {
    if (mesh == nullptr) return;
    const int polygons = mesh->GetPolygonCount();
    if (polygons <= 0) return;
    DxfShadingFaces faces;
    faces.mStarts.reserve((size_t)polygons + 1);
    const int* vertices = mesh->GetPolygonVertices();
    const int cornerCount = mesh->GetPolygonVertexCount();
    faces.mCorners.assign(vertices, vertices + cornerCount);
    for (int p = 0; p < polygons; ++p)
        faces.mStarts.push_back(faces.mStarts.back() + mesh->GetPolygonSize(p));
    const bool anyMask = masked.size() == (size_t)polygons &&
                         std::any_of(masked.begin(), masked.end(), [](char m) { return m != 0; });
    if (anyMask) {
        faces.mMasks = masks;
        faces.mMasked = masked;
    }
    std::vector<int> sets;
    std::vector<VgeTVector> faceNormals;
    DxfShadingSets(mesh->GetControlPoints(), mesh->GetControlPointsCount(), faces, sets, faceNormals);
    // Corners of faces of no area (a LINE's, a point's) share one normal of no direction; a mesh
    // of nothing else (lines) gets none.
    auto none = [&](int p) {
        const VgeTVector& n = faceNormals[(size_t)p];
        return n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0;
    };
    int setCount = 0, flat = -1;
    for (int p = 0; p < polygons; ++p) {
        if (!none(p)) continue;
        if (flat < 0) flat = (int)sets.size();
        for (int c = faces.mStarts[(size_t)p]; c < faces.mStarts[(size_t)p + 1]; ++c)
            sets[(size_t)c] = flat;
    }
    if (flat >= 0) {
        // Numbered again, the shared one among them.
        std::vector<int> number(sets.size() + 1, -1);
        for (int& s : sets) {
            if (number[(size_t)s] < 0) number[(size_t)s] = setCount++;
            s = number[(size_t)s];
        }
        if (setCount == 1) return;
    } else {
        for (int s : sets)
            setCount = std::max(setCount, s + 1);
    }
    std::vector<VgeTVector> sums((size_t)setCount, VgeTVector(0.0, 0.0, 0.0, 0.0));
    for (int p = 0; p < polygons; ++p)
        for (int c = faces.mStarts[(size_t)p]; c < faces.mStarts[(size_t)p + 1]; ++c)
            for (int j = 0; j < 3; ++j)
                sums[(size_t)sets[(size_t)c]].mData[j] += faceNormals[(size_t)p][j];
    for (VgeTVector& n : sums) {
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0.0 && std::isfinite(length))
            n = VgeTVector(n[0] / length, n[1] / length, n[2] / length, 0.0);
        else
            n = VgeTVector(0.0, 0.0, 0.0, 0.0);
    }

    // One normal per set; each corner names its set's.
    mesh->InitNormals();
    VOxaLayer* layer0 = mesh->GetLayerCount() > 0 ? mesh->GetLayer(0) : nullptr;
    VOxaLayerElementNormal* element = layer0 ? layer0->GetNormals() : nullptr;
    if (element == nullptr) return;
    element->SetMappingMode(eBY_POLYGON_VERTEX);
    element->SetReferenceMode(eINDEX_TO_DIRECT);
    if (!element->GetDirectArray().SetCount(setCount) || !element->GetIndexArray().SetCount(cornerCount)) {
        // Without room for them the mesh keeps no normals.
        layer0->SetNormals(nullptr);
        delete element;
        return;
    }
    std::copy(sums.begin(), sums.end(), element->GetDirectArray().GetArray());
    std::copy(sets.begin(), sets.end(), element->GetIndexArray().GetArray());

    // Masks on every polygon are the mesh's smoothing, as a 3DS file gives it.
    if (!anyMask || std::find(masked.begin(), masked.end(), 0) != masked.end()) return;
    VOxaLayerElementPolygonGroup* groups = layer0->GetPolygonGroups();
    if (groups == nullptr) {
        groups = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementPolygonGroup);
        if (groups == nullptr) return;
        layer0->SetPolygonGroups(groups);
    }
    groups->SetMappingMode(eBY_POLYGON);
    groups->SetReferenceMode(eDIRECT);
    groups->GetIndexArray().Clear();
    if (!groups->GetDirectArray().SetCount(polygons)) return;
    int* out = groups->GetDirectArray().GetArray();
    for (int p = 0; p < polygons; ++p)
        out[p] = (int)masks[(size_t)p];
}
