// The 3DS writer's meshes and materials: a scene mesh becomes one triangle-mesh object whose
// vertices are in the node's parent space, and each combination of material and textures that
// its faces use becomes one 3DS material.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_polygon.h"
#include "base/vpath.h"
#include "base/vprintable_text.h"
#include "formats/geometry/3ds/voxa_3ds_scene_values.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "formats/geometry/voxa_edge_runs_internal.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "formats/geometry/voxa_material_extras.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

namespace {

using OwnedMaterial = Ftk::Owned<Ftk::Material, Ftk::ReleaseMaterial>;

// Orders `items` by a small integer key (0 <= key(item) < keyCount) with a counting pass, then
// each run of one key by `less`. A mesh's corners and edges are keyed by their point: the runs
// are short, so this costs a pass over the items where one sort of them all took most of a write.
template <class T, class Key, class Less>
void SortByKeyThen(std::vector<T>& items, size_t keyCount, Key key, Less less) {
    std::vector<uint32_t> first(keyCount + 1, 0);
    for (const T& item : items)
        ++first[(size_t)key(item) + 1];
    for (size_t k = 0; k < keyCount; ++k)
        first[k + 1] += first[k];
    std::vector<T> sorted(items.size());
    std::vector<uint32_t> next(first.begin(), first.end() - 1);
    for (const T& item : items)
        sorted[next[(size_t)key(item)]++] = item;
    for (size_t k = 0; k < keyCount; ++k)
        if (first[k + 1] - first[k] > 1)
            std::sort(sorted.begin() + first[k], sorted.begin() + first[k + 1], less);
    items.swap(sorted);
}

// The element's item for polygon p: the index it names (through the index array, or the item
// itself for a direct element), -1 when there is none.
int ElementItem(const VOxaLayerElement* element, int mapping, int polygon, int firstPoint) {
    if (element == nullptr) return -1;
    const int item = mapping == eALL_SAME ? 0 : (mapping == eBY_POLYGON ? polygon : firstPoint);
    if (item < 0) return -1;
    if (element->GetReferenceMode() == eDIRECT) return item;
    const VArrayTemplate<int>& indices = element->GetIndexArray();
    if (item >= indices.GetCount()) return -1;
    return indices.GetAt(item);
}

float Finite(double value) {
    return std::isfinite(value) ? (float)value : 0.0f;
}

// The specular colour and shine strength that a 3DS reader turns back into the scene's specular
// (colour times strength times 4/3). The file holds the strength in whole percent and the colour
// in whole bytes, so a specular written as its colour with some other strength would change on
// every trip. The strength is the smallest percentage that keeps the colour within 1; the colour
// is chosen in bytes, its largest channel rounded up, so that reading the file and writing it
// again finds the same percentage and the same bytes. A strength above 100% is kept (files hold
// highlights of several hundred percent); only a specular beyond the largest percentage the file
// can hold is scaled down as a whole, so that its hue stays.
void SpecularToFile(const VgeTVector& specular, float colour[3], float& strength) {
    double s[3] = {specular[0], specular[1], specular[2]};
    double top = 0.0;
    for (double& channel : s) {
        channel = std::isfinite(channel) ? std::max(channel, 0.0) : 0.0;
        top = std::max(top, channel);
    }
    constexpr double kMost = 32767.0 / 75.0;
    if (top > kMost) {
        for (double& channel : s)
            channel *= kMost / top;
        top = kMost;
    }
    // The tolerances absorb the float rounding of a value read from a file.
    const int percent = (int)std::ceil(top * 75.0 - 1e-4);
    if (percent <= 0) {
        colour[0] = colour[1] = colour[2] = 0.0f;
        strength = 0.0f;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        const double bytes = s[i] * 75.0 / percent * 255.0;
        const double whole = s[i] == top ? std::ceil(bytes - 1e-3) : std::round(bytes);
        colour[i] = (float)(std::min(std::max(whole, 0.0), 255.0) / 255.0);
    }
    strength = (float)(percent * 0.01);
}

// The highlight colour and strength a 3DS file gave the material, while the scene's specular is
// still their product: a strength of 0 keeps its colour, and neither is refactored. False when
// the material has none or its specular was changed since.
bool KeptSpecular(const VOxaMaterial* material, const VgeTVector& specular, float colour[3],
                  float& strength) {
    double kept[3], level;
    if (!voxa_extras::GetColor(material, voxa_extras::kSpecularColor3ds, kept) ||
        !voxa_extras::GetNumber(material, voxa_extras::kShineStrength3ds, level))
        return false;
    const double k = level * 4.0 / 3.0;
    for (int i = 0; i < 3; ++i) {
        // The scene holds the product as a float.
        if (!std::isfinite(kept[i]) || kept[i] < 0.0 || kept[i] > 1.0 ||
            std::fabs(kept[i] * k - specular[i]) > 1e-6 * std::max(1.0, std::fabs(specular[i])))
            return false;
    }
    if (!std::isfinite(level) || level < 0.0 || level * 100.0 > 32767.0) return false;
    for (int i = 0; i < 3; ++i)
        colour[i] = (float)kept[i];
    strength = (float)level;
    return true;
}

// The self-illumination that a 3DS reader turns back into the emissive colour (diffuse times
// self-illumination): the factor that best carries the diffuse onto the emissive, within [0, 1].
// An average of the emissive channels would shrink on every trip by the diffuse's own average.
// A black diffuse carries nothing: the emissive's average is all there is to write.
float SelfIllumination(const VOxaColor& emissive, const VOxaColor& diffuse) {
    const double e[3] = {emissive.mRed, emissive.mGreen, emissive.mBlue};
    const double d[3] = {diffuse.mRed, diffuse.mGreen, diffuse.mBlue};
    double across = 0.0, squared = 0.0;
    for (int i = 0; i < 3; ++i) {
        across += e[i] * d[i];
        squared += d[i] * d[i];
    }
    const double value = squared > 1e-12 ? across / squared : (e[0] + e[1] + e[2]) / 3.0;
    return std::isfinite(value) ? (float)std::min(std::max(value, 0.0), 1.0) : 0.0f;
}

// A name of at most 12 characters for an image whose name is longer: the stem's first characters
// (at most 8 with the suffix), "~" and `number`, and the extension (cut to three letters when it
// has more), as the texture copier names such images.
std::string ShortMapName(const std::string& name, int number) {
    const size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string extension = name.substr(stem.size());
    const std::string suffix = "~" + std::to_string(number);
    const std::string ending = extension.size() <= 5 ? extension : extension.substr(0, 4);
    const size_t eight = suffix.size() < 8 ? 8 - suffix.size() : 1;
    const size_t used = suffix.size() + ending.size();
    const size_t room = used < 12 ? 12 - used : 1;
    return stem.substr(0, std::min(eight, room)) + suffix + ending;
}

// The flag word of a map: the one a 3DS file gave the texture while its wrap mode still says the
// same (clamped exactly where the word says not tiled), else the wrap mode's own: no tile for a
// clamped texture. Tint bits are left out: their colours are not kept.
uint16_t MapFlagsOf(const VOxaTexture* texture) {
    const bool clamped = texture->GetWrapModeU() != 0;
    double kept;
    if (voxa_extras::GetNumber(texture, voxa_extras::kMapFlags3ds, kept) && kept >= 0.0 && kept <= 65535.0) {
        constexpr uint16_t kTintBits = 0x0080 | 0x0200;
        const uint16_t flags = (uint16_t)((uint16_t)kept & ~kTintBits);
        if (((flags & 0x0010) != 0) == clamped) return flags;
    }
    return clamped ? 0x0010 : 0x0000;
}

// Offsets, scales, rotation, flags and blur of a map from its texture: the inverse of a 3DS
// reader's placement, so that a map read and written again keeps its own values.
void SetMapParameters(Ftk::MaterialMap& map, const VOxaTexture* texture) {
    const double tu = texture->GetTranslationU();
    const double tv = texture->GetTranslationV();
    double su = texture->GetScaleU();
    double sv = texture->GetScaleV();
    const double w = texture->GetRotationW();
    // A zero or broken scale would make every offset infinite; it stands for no scaling.
    if (!std::isfinite(su) || su == 0.0) su = 1.0;
    if (!std::isfinite(sv) || sv == 0.0) sv = 1.0;
    map.mUScale = (float)su;
    map.mVScale = (float)sv;
    Ftk::SetMapFlags(map, MapFlagsOf(texture));
    // A file's map without a flag word keeps none while the texture still repeats as it read.
    double kept = 0.0;
    if (voxa_extras::GetNumber(texture, voxa_extras::kMapFlags3ds, kept) && kept == -1.0 &&
        texture->GetWrapModeU() == 0)
        map.mFlagsStated = 0;
    double blur = 0.0;
    if (voxa_extras::GetNumber(texture, voxa_extras::kMapBlur3ds, blur)) map.mBlur = Finite(blur);
    if (w == 0.0) {
        map.mUOffset = Finite(-(tu / su) - (1.0 - 1.0 / su) * 0.5);
        map.mVOffset = Finite(tv / sv + (1.0 - 1.0 / sv) * 0.5);
        map.mRotation = 0.0f;
        return;
    }
    // The reader turns the scaled offset point by the map's rotation and moves it by a half;
    // here the translation is moved back, turned back, and only then unscaled.
    double m[4][4];
    VgeMatrixIdentity(m);
    VgeEulerXYZToMatrix(m, 0.0, 0.0, -w);
    const double dx = tu - 0.5, dy = tv - 0.5;
    const double x = dx * m[0][0] + dy * m[1][0];
    const double y = dx * m[0][1] + dy * m[1][1];
    map.mUOffset = Finite(-x / su - 0.5);
    map.mVOffset = Finite(y / sv + 0.5);
    map.mRotation = Finite(-w);
}

bool UsableTexture(const VOxaTexture* texture) {
    return texture != nullptr && texture->GetMappingType() == 6 && texture->GetTextureUse() == 0;
}

// The two maps of a face combination: the textures t1 and t2 of layer 0 that are UV-mapped
// standard textures with a file name, the second moving up when the first is not.
void ResolveMaps(VOxaMesh* mesh, int t1, int t2, VOxaTexture*& first, VOxaTexture*& second) {
    const int textureCount = mesh->GetTextureCount(0);
    first = t1 >= 0 && t1 < textureCount ? mesh->GetTexture(t1, 0) : nullptr;
    second = t2 >= 0 && t2 < textureCount ? mesh->GetTexture(t2, 0) : nullptr;
    if (!UsableTexture(second)) second = nullptr;
    if (!UsableTexture(first)) {
        first = second;
        second = nullptr;
    }
    if (second != nullptr && *second->GetFileName() == '\0') second = nullptr;
    if (first != nullptr && *first->GetFileName() == '\0') {
        first = second;
        second = nullptr;
    }
}

// One face's material and textures: texture values equal to the texture count stand for none.
struct FaceKey {
    int mMaterial;
    int mFirst;
    int mSecond;
    bool operator<(const FaceKey& o) const {
        if (mMaterial != o.mMaterial) return mMaterial < o.mMaterial;
        if (mFirst != o.mFirst) return mFirst < o.mFirst;
        return mSecond < o.mSecond;
    }
    bool operator==(const FaceKey& o) const {
        return mMaterial == o.mMaterial && mFirst == o.mFirst && mSecond == o.mSecond;
    }
};

// A written face: its polygon and, per corner, the position in the polygon and the control point.
struct FaceSource {
    int mPolygon;
    int mPosition[3];
    int mPoint[3];
};

// Smoothing masks for faces that have none to keep: faces that share an edge (by position) and,
// at both its ends, a normal are smoothed together; faces that share an edge and not its normals
// share no bit. Readers smooth each point over the faces around it that share a bit, so around
// one point, faces that no chain of smooth edges joins there (faces meeting only at a corner
// across a hard edge) share no bit either. Each edge to smooth gets a bit that none of those
// faces holds, the bit one of them has already where that can be, so that a smooth surface
// keeps one bit; with no bit left the edge stays hard. A face with no edge to smooth gets 0
// (flat). A mesh without normals is one smooth surface (every face 1).
std::vector<uint32_t> MasksFromNormals(const VOxaMesh* mesh, const std::vector<FaceSource>& faces) {
    const size_t count = faces.size();
    std::vector<uint32_t> masks(count, 0u);
    std::vector<VgeTVector> normals(count * 3);
    for (size_t f = 0; f < count; ++f) {
        for (int k = 0; k < 3; ++k) {
            VgeTVector& n = normals[f * 3 + (size_t)k];
            if (!mesh->GetPolygonVertexNormal(faces[f].mPolygon, faces[f].mPosition[k], n)) {
                std::fill(masks.begin(), masks.end(), 1u);
                return masks;
            }
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (length > 0.0 && std::isfinite(length))
                for (int j = 0; j < 3; ++j)
                    n[j] /= length;
        }
    }
    auto same = [](const VgeTVector& x, const VgeTVector& y) {
        for (int j = 0; j < 3; ++j)
            if (!(std::fabs(x[j] - y[j]) <= 1e-4)) return false;
        return true;
    };

    // A mesh shaded flat everywhere (each corner's normal its face's, either way round) and with
    // a hard edge somewhere is faceted as it came: masks of 0, not bits joining its coplanar
    // faces (a flat sheet with no hard edge stays one smooth surface). A face too thin to have a
    // normal does not tell.
    bool flat = true;
    const VgeTVector* positions = mesh->GetControlPoints();
    for (size_t f = 0; f < count && flat; ++f) {
        const VgeTVector& a = positions[faces[f].mPoint[0]];
        const VgeTVector u = positions[faces[f].mPoint[1]] - a, v = positions[faces[f].mPoint[2]] - a;
        VgeTVector n(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0], 0.0);
        const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (!(length > 0.0) || !std::isfinite(length)) continue;
        n = VgeTVector(n[0] / length, n[1] / length, n[2] / length, 0.0);
        const VgeTVector back(-n[0], -n[1], -n[2], 0.0);
        for (int k = 0; k < 3 && flat; ++k) {
            const VgeTVector& corner = normals[f * 3 + (size_t)k];
            flat = same(corner, n) || same(corner, back);
        }
    }

    // One number per position: points split for their UVs or normals still meet.
    const VgeTVector* points = mesh->GetControlPoints();
    const int pointCount = mesh->GetControlPointsCount();
    std::vector<int> usedPoints;
    std::vector<int> place((size_t)pointCount, -1);
    for (const FaceSource& face : faces)
        for (int cp : face.mPoint)
            if (place[(size_t)cp] < 0) {
                place[(size_t)cp] = 0;
                usedPoints.push_back(cp);
            }
    auto less = [&](int x, int y) {
        const VgeTVector& p = points[x];
        const VgeTVector& q = points[y];
        if (p[0] != q[0]) return p[0] < q[0];
        if (p[1] != q[1]) return p[1] < q[1];
        return p[2] < q[2];
    };
    std::sort(usedPoints.begin(), usedPoints.end(), less);
    int id = -1;
    for (size_t i = 0; i < usedPoints.size(); ++i) {
        if (i == 0 || less(usedPoints[i - 1], usedPoints[i])) ++id;
        place[(size_t)usedPoints[i]] = id;
    }

    // Edges by their two positions; the faces along one edge follow each other.
    struct Edge {
        int mLow, mHigh;
        uint32_t mFace;
        uint8_t mLowCorner, mHighCorner;
    };
    std::vector<Edge> edges;
    edges.reserve(count * 3);
    for (size_t f = 0; f < count; ++f) {
        for (int k = 0; k < 3; ++k) {
            const int k2 = (k + 1) % 3;
            int u = place[(size_t)faces[f].mPoint[k]], v = place[(size_t)faces[f].mPoint[k2]];
            if (u == v) continue;
            uint8_t cu = (uint8_t)k, cv = (uint8_t)k2;
            if (u > v) {
                std::swap(u, v);
                std::swap(cu, cv);
            }
            edges.push_back(Edge{u, v, (uint32_t)f, cu, cv});
        }
    }
    SortByKeyThen(
        edges, (size_t)id + 1, [](const Edge& e) { return e.mLow; },
        [](const Edge& x, const Edge& y) {
            if (x.mHigh != y.mHigh) return x.mHigh < y.mHigh;
            return x.mFace < y.mFace;
        });
    // The faces around one point that smooth edges join there: one set per corner (face * 3 +
    // corner), a face's corners at one point in one set.
    std::vector<uint32_t> parent(count * 3);
    for (size_t i = 0; i < parent.size(); ++i)
        parent[i] = (uint32_t)i;
    auto find = [&](uint32_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    auto unite = [&](uint32_t i, uint32_t j) {
        i = find(i);
        j = find(j);
        if (i != j) parent[std::max(i, j)] = std::min(i, j);
    };
    for (size_t f = 0; f < count; ++f)
        for (int k = 0; k < 3; ++k)
            for (int j = k + 1; j < 3; ++j)
                if (place[(size_t)faces[f].mPoint[k]] == place[(size_t)faces[f].mPoint[j]])
                    unite((uint32_t)(f * 3 + (size_t)k), (uint32_t)(f * 3 + (size_t)j));
    std::vector<std::pair<uint32_t, uint32_t>> smooth, hard;
    auto judge = [&](const Edge& x, const Edge& y) {
        if (x.mFace == y.mFace) return;
        const bool alike = same(normals[x.mFace * 3 + x.mLowCorner], normals[y.mFace * 3 + y.mLowCorner]) &&
                           same(normals[x.mFace * 3 + x.mHighCorner], normals[y.mFace * 3 + y.mHighCorner]);
        (alike ? smooth : hard).emplace_back(x.mFace, y.mFace);
        if (alike) {
            unite(x.mFace * 3 + x.mLowCorner, y.mFace * 3 + y.mLowCorner);
            unite(x.mFace * 3 + x.mHighCorner, y.mFace * 3 + y.mHighCorner);
        }
    };
    VOxaForEachEdgePair(edges, judge);
    if (flat && !hard.empty()) return masks;

    // Neighbours across each kind of edge, as offsets into one list per kind.
    auto neighbours = [count](const std::vector<std::pair<uint32_t, uint32_t>>& pairs,
                              std::vector<uint32_t>& first, std::vector<uint32_t>& list) {
        first.assign(count + 1, 0);
        for (const auto& pair : pairs) {
            ++first[pair.first + 1];
            ++first[pair.second + 1];
        }
        for (size_t f = 0; f < count; ++f)
            first[f + 1] += first[f];
        list.resize(first[count]);
        std::vector<uint32_t> next(first.begin(), first.end() - 1);
        for (const auto& pair : pairs) {
            list[next[pair.first]++] = pair.second;
            list[next[pair.second]++] = pair.first;
        }
    };
    std::vector<uint32_t> smoothFirst, smoothList, hardFirst, hardList;
    neighbours(smooth, smoothFirst, smoothList);
    neighbours(hard, hardFirst, hardList);

    // Per point, the bits of the faces around it, and per set of joined corners, their faces'
    // bits. A bit at a point belongs to one set only, so the bits of the other sets there are
    // the point's bits less the set's own.
    std::vector<uint32_t> root(count * 3);
    for (size_t i = 0; i < root.size(); ++i)
        root[i] = find((uint32_t)i);
    std::vector<uint32_t> pointBits((size_t)id + 1, 0u), setBits(count * 3, 0u);
    auto others = [&](uint32_t f) {
        uint32_t bits = 0;
        for (int k = 0; k < 3; ++k)
            bits |=
                pointBits[(size_t)place[(size_t)faces[f].mPoint[k]]] & ~setBits[root[f * 3 + (uint32_t)k]];
        return bits;
    };
    auto give = [&](uint32_t f, uint32_t bit) {
        masks[f] |= bit;
        for (int k = 0; k < 3; ++k) {
            pointBits[(size_t)place[(size_t)faces[f].mPoint[k]]] |= bit;
            setBits[root[f * 3 + (uint32_t)k]] |= bit;
        }
    };
    auto join = [&](uint32_t f, uint32_t g) {
        if (masks[f] & masks[g]) return;
        uint32_t forbidden = others(f) | others(g);
        for (uint32_t i = hardFirst[f]; i < hardFirst[f + 1]; ++i)
            forbidden |= masks[hardList[i]];
        for (uint32_t i = hardFirst[g]; i < hardFirst[g + 1]; ++i)
            forbidden |= masks[hardList[i]];
        uint32_t choice = (masks[f] | masks[g]) & ~forbidden;
        if (choice == 0) choice = ~forbidden;
        if (choice == 0) return;  // no bit left: the edge stays hard
        const uint32_t bit = choice & (~choice + 1u);
        give(f, bit);
        give(g, bit);
    };
    // Each smooth surface from one face outwards, so that its bits spread from face to face.
    std::vector<char> seen(count, 0);
    std::vector<uint32_t> queue;
    for (size_t start = 0; start < count; ++start) {
        if (seen[start]) continue;
        seen[start] = 1;
        queue.assign(1, (uint32_t)start);
        for (size_t at = 0; at < queue.size(); ++at) {
            const uint32_t f = queue[at];
            for (uint32_t i = smoothFirst[f]; i < smoothFirst[f + 1]; ++i) {
                const uint32_t g = smoothList[i];
                join(f, g);
                if (!seen[g]) {
                    seen[g] = 1;
                    queue.push_back(g);
                }
            }
        }
    }
    return masks;
}

// How many face corners a reader that smooths by `masks` over the record's shared vertices
// shades more than 30 degrees away from the mesh's normal there (the normals a 3DS file's masks
// give, weighted by face area or not, differ by less; a hard edge smoothed, by more) (either way round: a
// normal that faces away from the winding shades alike). The reader adds the unit normal of each face at the
// vertex that shares a bit with the corner's face, each direction once; a face of mask 0 is
// flat. Corners of a vertex held by very many faces are not judged (0 without normals).
long CornersShadedOtherwise(const VOxaMesh* mesh, const Ftk::Mesh* record,
                            const std::vector<FaceSource>& faces, const std::vector<uint32_t>& masks) {
    const size_t count = faces.size();
    const VgeTVector* points = mesh->GetControlPoints();
    if (points == nullptr || count == 0 || masks.size() != count || record->mFaces.size() < count) return 0;
    std::vector<VgeTVector> unit(count);
    for (size_t f = 0; f < count; ++f) {
        const VgeTVector& a = points[faces[f].mPoint[0]];
        const VgeTVector& b = points[faces[f].mPoint[1]];
        const VgeTVector& c = points[faces[f].mPoint[2]];
        const VgeTVector u = b - a, v = c - a;
        VgeTVector n(u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0], 0.0);
        n.Normalize();
        unit[f] = n;
    }
    // The faces at each written vertex.
    size_t vertices = 0;
    for (size_t f = 0; f < count; ++f) {
        const Ftk::Face& face = record->mFaces[f];
        vertices = std::max(vertices, (size_t)std::max({face.a, face.b, face.c}) + 1);
    }
    std::vector<uint32_t> first(vertices + 1, 0), list(count * 3);
    auto cornerVertex = [&](size_t f, int k) -> size_t {
        const Ftk::Face& face = record->mFaces[f];
        return k == 0 ? face.a : (k == 1 ? face.b : face.c);
    };
    for (size_t f = 0; f < count; ++f)
        for (int k = 0; k < 3; ++k)
            ++first[cornerVertex(f, k) + 1];
    for (size_t v = 0; v < vertices; ++v)
        first[v + 1] += first[v];
    std::vector<uint32_t> next(first.begin(), first.end() - 1);
    for (size_t f = 0; f < count; ++f)
        for (int k = 0; k < 3; ++k)
            list[next[cornerVertex(f, k)]++] = (uint32_t)f;
    constexpr uint32_t kMostFaces = 64;
    const double limit = std::cos(30.0 * 3.14159265358979323846 / 180.0);
    long off = 0;
    std::vector<const VgeTVector*> added;
    for (size_t f = 0; f < count; ++f) {
        for (int k = 0; k < 3; ++k) {
            VgeTVector wanted;
            if (!mesh->GetPolygonVertexNormal(faces[f].mPolygon, faces[f].mPosition[k], wanted)) return 0;
            wanted[3] = 0.0;
            wanted.Normalize();
            VgeTVector shaded = unit[f];
            const size_t v = cornerVertex(f, k);
            if (masks[f] != 0) {
                if (first[v + 1] - first[v] > kMostFaces) continue;
                shaded = VgeTVector(0.0, 0.0, 0.0, 0.0);
                added.clear();
                for (uint32_t i = first[v]; i < first[v + 1]; ++i) {
                    const uint32_t g = list[i];
                    if (!(masks[g] & masks[f])) continue;
                    const VgeTVector& n = unit[g];
                    bool again = false;
                    for (const VgeTVector* seen : added)
                        again = again || std::fabs((*seen)[0] * n[0] + (*seen)[1] * n[1] + (*seen)[2] * n[2] -
                                                   1.0) < 1e-5;
                    if (again) continue;
                    added.push_back(&n);
                    shaded = shaded + n;
                }
                shaded.Normalize();
            }
            const double dot = shaded[0] * wanted[0] + shaded[1] * wanted[1] + shaded[2] * wanted[2];
            if (!(std::fabs(dot) >= limit)) ++off;
        }
    }
    return off;
}

}  // namespace

VOxaMesh* VOxaWriter3DS::WeldPolygonUVs(VOxaMesh* mesh) {
    if (mesh == nullptr || mManager == nullptr) return nullptr;
    VOxaMadeMeshes made(mManager);
    VOxaMesh* out = made.Make();
    if (out == nullptr) return nullptr;
    out->CopyLayers(*mesh);

    const int polygonCount = mesh->GetPolygonCount();
    const int cornerCount = mesh->GetPolygonVertexCount();
    const int pointCount = mesh->GetControlPointsCount();
    const VgeTVector* points = mesh->GetControlPoints();
    const VgeVector2* uvs = mesh->GetTextureUV();
    const int uvCount = uvs ? mesh->GetTextureUVCount() : 0;
    VOxaLayer* layer0 = mesh->GetLayer(0);
    const bool hasNormals = layer0 != nullptr && layer0->GetNormals() != nullptr;

    const bool materialsByPolygon = mesh->GetMaterialMappingMode() == eBY_POLYGON;
    const bool texturesByPolygon = mesh->GetTextureMappingMode() == eBY_POLYGON;
    VArrayTemplate<int>* materialIndices = materialsByPolygon ? mesh->GetMaterialIndices() : nullptr;
    VArrayTemplate<int>* textureIndices = texturesByPolygon ? mesh->GetTextureIndices() : nullptr;
    // Kept per polygon: copy them before the new mesh's elements are reset below.
    std::vector<int> materialOf, textureOf;
    if (materialIndices != nullptr)
        for (int p = 0; p < materialIndices->GetCount(); ++p)
            materialOf.push_back(materialIndices->GetAt(p));
    if (textureIndices != nullptr)
        for (int p = 0; p < textureIndices->GetCount(); ++p)
            textureOf.push_back(textureIndices->GetAt(p));

    // Per corner: its point (-1 for none), its UV (a broken one as 0) and its normal.
    struct Corner {
        int mPoint;
        double mU, mV;
    };
    std::vector<Corner> corners((size_t)cornerCount);
    std::vector<VgeTVector> cornerNormals(hasNormals ? (size_t)cornerCount : 0);
    const int textureCount = mesh->GetTextureCount(0);
    int at = 0;
    for (int p = 0; p < polygonCount; ++p) {
        bool swap = false;
        if (texturesByPolygon) {
            const int texture = p < (int)textureOf.size() ? textureOf[(size_t)p] : 0;
            VOxaTexture* t = texture >= 0 && texture < textureCount ? mesh->GetTexture(texture, 0) : nullptr;
            swap = t != nullptr && t->GetUVSwap();
        }
        const int size = mesh->GetPolygonSize(p);
        for (int k = 0; k < size && at < cornerCount; ++k, ++at) {
            const int cp = mesh->GetPolygonVertex(p, k);
            const int uvIndex = mesh->GetTextureUVIndex(p, k);
            VgeVector2 uv;
            if (uvIndex >= 0 && uvIndex < uvCount) uv = uvs[uvIndex];
            if (swap) uv = VgeVector2(uv[1], uv[0]);
            corners[(size_t)at] =
                Corner{points != nullptr && cp >= 0 && cp < pointCount ? cp : -1,
                       std::isfinite(uv[0]) ? uv[0] : 0.0, std::isfinite(uv[1]) ? uv[1] : 0.0};
            if (hasNormals) mesh->GetPolygonVertexNormal(p, k, cornerNormals[(size_t)at]);
        }
    }

    // Corners of one control point with one UV share a vertex: readers smooth a face with the
    // faces around each of its vertices that share a smoothing bit, so corners split apart would
    // shade faceted. Control points the mesh keeps apart stay apart (faces that share no point
    // do not smooth together), also where they lie at one position. The corners are sorted by
    // key, not compared pair by pair.
    auto less = [&](uint32_t x, uint32_t y) {
        const Corner& a = corners[x];
        const Corner& b = corners[y];
        if (a.mPoint != b.mPoint) return a.mPoint < b.mPoint;
        // UVs as the file holds them.
        if ((float)a.mU != (float)b.mU) return (float)a.mU < (float)b.mU;
        return (float)a.mV < (float)b.mV;
    };
    std::vector<uint32_t> order((size_t)cornerCount);
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = (uint32_t)i;
    // Corners without a point (-1) first, as `less` puts them.
    SortByKeyThen(
        order, (size_t)pointCount + 1, [&](uint32_t c) { return corners[c].mPoint + 1; }, less);
    // Vertices numbered in the order of their first corner.
    std::vector<int> firstOf((size_t)cornerCount, -1), vertexOf((size_t)cornerCount, -1);
    for (size_t i = 0, group = 0; i < order.size(); ++i) {
        if (i == 0 || less(order[i - 1], order[i])) group = i;
        if (corners[order[i]].mPoint >= 0) firstOf[order[i]] = (int)order[group];
    }
    int vertexCount = 0;
    for (size_t c = 0; c < corners.size(); ++c) {
        if (firstOf[c] < 0) continue;
        const size_t first = (size_t)firstOf[c];
        if (vertexOf[first] < 0) vertexOf[first] = vertexCount++;
        vertexOf[c] = vertexOf[first];
    }
    // Control points no corner uses stay, after the others: a file's stored points are kept
    // whole (some hold points no face uses, NaN among them).
    std::vector<int> unusedPoints;
    if (points != nullptr) {
        std::vector<char> usedPoint((size_t)pointCount, 0);
        for (const Corner& corner : corners)
            if (corner.mPoint >= 0) usedPoint[(size_t)corner.mPoint] = 1;
        for (int cp = 0; cp < pointCount; ++cp)
            if (!usedPoint[(size_t)cp]) unusedPoints.push_back(cp);
    }
    const int cornerVertices = vertexCount;
    vertexCount += (int)unusedPoints.size();
    order.clear();
    order.shrink_to_fit();
    firstOf.clear();
    firstOf.shrink_to_fit();

    // Normals stay with the corners (by polygon vertex): the smoothing masks are worked out from them.
    out->InitControlPoints(vertexCount);
    if (hasNormals) {
        out->InitNormals(cornerCount);
        out->SetNormalsMappingMode(eBY_POLYGON_VERTEX);
    }
    out->InitTextureUVIndices(1);
    out->InitTextureUV(vertexCount);
    if (materialsByPolygon) out->InitMaterialIndices(3);
    if (texturesByPolygon) out->InitTextureIndices(3);

    VgeTVector* newPoints = out->GetControlPoints();
    VgeTVector* newNormals = hasNormals ? out->GetNormals() : nullptr;
    if (newNormals != nullptr && out->GetLayer(0)->GetNormals()->GetDirectArray().GetCount() != cornerCount)
        newNormals = nullptr;
    VgeVector2* newUVs = out->GetTextureUV();
    at = 0;
    for (int p = 0; p < polygonCount; ++p) {
        int material = -1, texture = -1;
        if (materialsByPolygon) material = p < (int)materialOf.size() ? materialOf[(size_t)p] : 0;
        if (texturesByPolygon) texture = p < (int)textureOf.size() ? textureOf[(size_t)p] : 0;
        out->BeginPolygon(material, texture, mesh->GetPolygonGroup(p));
        const int size = mesh->GetPolygonSize(p);
        for (int k = 0; k < size && at < cornerCount; ++k, ++at) {
            const Corner& corner = corners[(size_t)at];
            const int v = vertexOf[(size_t)at];
            if (v >= 0) {
                if (newPoints != nullptr) newPoints[v] = points[corner.mPoint];
                if (newUVs != nullptr) newUVs[v] = VgeVector2(corner.mU, corner.mV);
            }
            if (newNormals != nullptr) newNormals[at] = cornerNormals[(size_t)at];
            // A corner without a point keeps none: the polygon makes no face.
            out->AddPolygonVertex(v);
        }
        out->EndPolygon();
    }
    for (size_t i = 0; i < unusedPoints.size(); ++i) {
        if (newPoints != nullptr) newPoints[(size_t)cornerVertices + i] = points[unusedPoints[i]];
        if (newUVs != nullptr) newUVs[(size_t)cornerVertices + i] = VgeVector2(0.0, 0.0);
    }
    return made.Take().front();
}

bool VOxaWriter3DS::WritesUVs(const VOxaMesh* mesh) const {
    return mTextureMapping && mesh->GetTextureUV() != nullptr && mesh->GetTextureUVCount() > 0;
}

std::vector<VOxaMesh*> VOxaWriter3DS::SplitMesh(VOxaMesh* mesh) {
    std::vector<VOxaMesh*> parts;
    if (mesh == nullptr || mManager == nullptr) return parts;
    // UVs by polygon vertex become points of their own first, as BuildMeshObject would make them.
    if (WritesUVs(mesh) && mesh->GetTextureUVMappingMode() == eBY_POLYGON_VERTEX && mUVPerPolygon) {
        VOxaMadeMeshes welded(mManager);
        welded.Hold(WeldPolygonUVs(mesh));
        if (!welded.Meshes().empty()) *mesh = *welded.Meshes().front();
    }
    const int pointCount = mesh->GetControlPointsCount();
    const int polygonCount = mesh->GetPolygonCount();
    auto faces = [&](int p) {
        const int size = mesh->GetPolygonSize(p);
        if (size < 3) return 0;
        for (int k = 0; k < size; ++k) {
            const int cp = mesh->GetPolygonVertex(p, k);
            if (cp < 0 || cp >= pointCount) return 0;
        }
        return size - 2;
    };
    int64_t total = 0;
    for (int p = 0; p < polygonCount; ++p)
        total += faces(p);
    if (pointCount <= kMaxMeshItems && total <= kMaxMeshItems) return parts;

    // The pieces parts are made of: whole polygons, and the triangles of a polygon too large for
    // one part. mCorner < 0: the whole polygon; else its corner positions start there in
    // `triangleCorners`, three of them.
    struct Piece {
        int mPolygon;
        int64_t mCorner;
    };
    std::vector<Piece> pieces;
    std::vector<int> triangleCorners;
    for (int p = 0; p < polygonCount; ++p) {
        const int count = faces(p);
        if (count == 0) continue;
        const int size = mesh->GetPolygonSize(p);
        if (size <= kMaxMeshItems) {
            pieces.push_back(Piece{p, -1});
            continue;
        }
        const size_t at = triangleCorners.size();
        triangleCorners.resize(at + (size_t)count * 3);
        VgeTriangulatePolygon(triangleCorners.data() + at, size, mesh->GetControlPoints(), pointCount,
                              mesh->GetPolygonVertices(p));
        for (int i = 0; i < count; ++i)
            pieces.push_back(Piece{p, (int64_t)(at + (size_t)i * 3)});
    }
    auto pieceSize = [&](const Piece& piece) {
        return piece.mCorner < 0 ? mesh->GetPolygonSize(piece.mPolygon) : 3;
    };
    auto position = [&](const Piece& piece, int k) {
        return piece.mCorner < 0 ? k : triangleCorners[(size_t)piece.mCorner + (size_t)k];
    };

    // Runs of pieces, in order, each with at most kMaxMeshItems points and faces.
    std::vector<int> owner((size_t)pointCount, -1), local((size_t)pointCount, -1);
    std::vector<size_t> starts;
    int points = 0, faceTotal = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece& piece = pieces[i];
        const int size = pieceSize(piece);
        const int count = size - 2;
        int fresh = 0;
        for (int k = 0; k < size; ++k)
            if (owner[(size_t)mesh->GetPolygonVertex(piece.mPolygon, position(piece, k))] !=
                (int)starts.size() - 1)
                ++fresh;
        if (starts.empty() || points + fresh > kMaxMeshItems || faceTotal + count > kMaxMeshItems) {
            starts.push_back(i);
            points = faceTotal = 0;
            fresh = size;
        }
        for (int k = 0; k < size; ++k)
            owner[(size_t)mesh->GetPolygonVertex(piece.mPolygon, position(piece, k))] =
                (int)starts.size() - 1;
        points += fresh;
        faceTotal += count;
    }
    starts.push_back(pieces.size());

    VOxaLayer* layer0 = mesh->GetLayer(0);
    const VOxaLayerElement* materialElement = layer0 ? layer0->GetMaterials() : nullptr;
    const VOxaLayerElement* textureElement = layer0 ? layer0->GetTextures() : nullptr;
    const int materialMapping = mesh->GetMaterialMappingMode();
    const int textureMapping = mesh->GetTextureMappingMode();
    const int materialCount = mesh->GetMaterialCount(0);
    const int textureCount = mesh->GetTextureCount(0);
    const VgeVector2* uvs = mesh->GetTextureUV();
    const int uvCount = uvs ? mesh->GetTextureUVCount() : 0;
    const int uvMapping = mesh->GetTextureUVMappingMode();
    // Normals by point go with the points; others (by polygon vertex) with the corners.
    const VgeTVector* normals = nullptr;
    bool cornerNormals = false;
    if (VOxaLayerElementNormal* element = layer0 ? layer0->GetNormals() : nullptr) {
        if (element->GetMappingMode() == eBY_CONTROL_POINT) {
            if (element->GetDirectArray().GetCount() >= pointCount)
                normals = element->GetDirectArray().GetArray();
        } else {
            cornerNormals = true;
        }
    }
    const VgeTVector* source = mesh->GetControlPoints();
    const VOxaLayerElementPolygonGroup* keptMasks = VOxaSmoothingMasks(mesh);

    std::fill(owner.begin(), owner.end(), -1);
    VOxaMadeMeshes made(mManager);
    for (size_t part = 0; part + 1 < starts.size(); ++part) {
        std::vector<int> used;
        int corners = 0;
        for (size_t i = starts[part]; i < starts[part + 1]; ++i) {
            const Piece& piece = pieces[i];
            for (int k = 0; k < pieceSize(piece); ++k, ++corners) {
                const int cp = mesh->GetPolygonVertex(piece.mPolygon, position(piece, k));
                if (owner[(size_t)cp] == (int)part) continue;
                owner[(size_t)cp] = (int)part;
                local[(size_t)cp] = (int)used.size();
                used.push_back(cp);
            }
        }
        VOxaMesh* out = made.Make();
        if (out == nullptr) break;
        out->InitControlPoints((int)used.size());
        VgeTVector* target = out->GetControlPoints();
        if (target == nullptr) continue;
        for (size_t i = 0; i < used.size(); ++i)
            target[i] = source[used[i]];
        if (normals != nullptr) {
            out->InitNormals();
            if (VgeTVector* n = out->GetNormals())
                for (size_t i = 0; i < used.size(); ++i)
                    n[i] = normals[used[i]];
        }
        VgeTVector* partCornerNormals = nullptr;
        if (cornerNormals) {
            out->InitNormals(corners);
            out->SetNormalsMappingMode(eBY_POLYGON_VERTEX);
            VOxaLayerElementNormal* element = out->GetLayer(0) ? out->GetLayer(0)->GetNormals() : nullptr;
            if (element != nullptr && element->GetDirectArray().GetCount() == corners)
                partCornerNormals = out->GetNormals();
        }
        if (materialCount > 0) {
            out->InitMaterialIndices(eBY_POLYGON);
            for (int i = 0; i < materialCount; ++i)
                out->AddMaterial(mesh->GetMaterial(i, 0), 0);
        }
        if (textureCount > 0) {
            out->InitTextureIndices(eBY_POLYGON);
            for (int i = 0; i < textureCount; ++i)
                out->AddTexture(mesh->GetTexture(i, 0), 0);
        }
        // UVs keep their mapping: by point, the part's own; by polygon vertex, all of them.
        const bool uvByPoint = uvCount > 0 && uvMapping == eBY_CONTROL_POINT;
        if (uvByPoint) {
            out->InitTextureUVIndices(eBY_CONTROL_POINT);
            out->InitTextureUV((int)used.size());
            if (VgeVector2* copy = out->GetTextureUV())
                for (size_t i = 0; i < used.size(); ++i)
                    if (used[i] < uvCount) copy[i] = uvs[used[i]];
        } else if (uvCount > 0) {
            out->InitTextureUVIndices(eBY_POLYGON_VERTEX);
            out->InitTextureUV(uvCount);
            if (VgeVector2* copy = out->GetTextureUV()) std::copy(uvs, uvs + uvCount, copy);
        }
        VOxaLayerElementPolygonGroup* masks = nullptr;
        if (keptMasks != nullptr && out->GetLayerCount() == 0) out->CreateLayer();
        if (keptMasks != nullptr && out->GetLayerCount() > 0 && out->GetLayer(0) != nullptr) {
            masks = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementPolygonGroup);
            if (masks != nullptr) {
                masks->SetMappingMode(eBY_POLYGON);
                out->GetLayer(0)->SetPolygonGroups(masks);
            }
        }
        int corner = 0;
        for (size_t i = starts[part]; i < starts[part + 1]; ++i) {
            const Piece& piece = pieces[i];
            const int p = piece.mPolygon;
            if (masks != nullptr) masks->GetDirectArray().Add((int)VOxaSmoothingMaskOf(keptMasks, p));
            const int firstPoint = mesh->GetPolygonVertex(p, 0);
            int m = ElementItem(materialElement, materialMapping, p, firstPoint);
            if (materialMapping == eNO_MAPPING && materialElement != nullptr) m = 0;
            if (m < 0 || m >= materialCount) m = -1;
            int t = ElementItem(textureElement, textureMapping, p, firstPoint);
            if (textureMapping == eNO_MAPPING && textureElement != nullptr) t = 0;
            if (t < 0 || t >= textureCount) t = -1;
            // A polygon cut into triangles keeps no face flags of its own.
            out->BeginPolygon(m, t, piece.mCorner < 0 ? mesh->GetPolygonGroup(p) : -1);
            for (int k = 0; k < pieceSize(piece); ++k, ++corner) {
                const int at = position(piece, k);
                const int cp = mesh->GetPolygonVertex(p, at);
                const int uv = uvCount > 0 && !uvByPoint ? mesh->GetTextureUVIndex(p, at) : -1;
                out->AddPolygonVertex(local[(size_t)cp], uv >= 0 && uv < uvCount ? uv : -1);
                if (partCornerNormals != nullptr)
                    mesh->GetPolygonVertexNormal(p, at, partCornerNormals[corner]);
            }
            out->EndPolygon();
        }
    }
    return made.Take();
}

namespace {

// The point as the file stored it where `v` is that point again up to the rounding of going
// through the mesh's axes (a NaN where the file's point holds one, which the axes spread, either
// zero or a denormal for a zero): reading placed points and placing them again gives 1.8e-15 for
// a stored 0, another NaN's bits, +0 for -0.
Ftk::Point3 FilePointIfSame(const Ftk::Point3& v, const float* file, double reach) {
    const float made[3] = {v.x, v.y, v.z};
    const bool fileNaN = std::isnan(file[0]) || std::isnan(file[1]) || std::isnan(file[2]);
    // A coordinate's rounding through the axes grows with the whole point, not with that
    // coordinate alone: a stored 0 of a turned point comes back as 1e-17.
    double size = 0.0;
    for (int j = 0; j < 3; ++j)
        if (std::isfinite(made[j]) && std::isfinite(file[j]))
            size = std::max({size, std::fabs((double)made[j]), std::fabs((double)file[j])});
    for (int j = 0; j < 3; ++j) {
        const double a = made[j], b = file[j];
        if (std::isnan(a) && fileNaN) continue;
        const double near = 1e-6 * (size + reach) + (double)FLT_MIN;
        if (!(std::fabs(a - b) <= near)) return v;
    }
    return Ftk::Point3{file[0], file[1], file[2]};
}

// Gives the record's vertices the flags of the stored points they are, bit for bit: all of them
// when the file flagged every point (found by their bits), else the first ones while they are
// the file's first points in order. A vertex of another value leaves the record's zeros.
void PutStoredFlags(const std::vector<float>& stored, const std::vector<uint16_t>& flags,
                    const std::vector<Ftk::Point3>& vertices, Ftk::Mesh& record) {
    using Bits = std::array<uint32_t, 3>;
    auto bits = [](const float* p) {
        Bits b;
        std::memcpy(b.data(), p, sizeof b);
        return b;
    };
    const size_t count = stored.size() / 3;
    if (flags.size() < count) {
        for (size_t i = 0; i < flags.size(); ++i)
            if (bits(&vertices[i].x) != bits(&stored[i * 3])) return;
        record.mVertexFlagCount = (uint16_t)flags.size();
        std::copy(flags.begin(), flags.end(), record.mVertexFlags.begin());
        return;
    }
    std::vector<std::pair<Bits, uint16_t>> byPoint(count);
    for (size_t i = 0; i < count; ++i)
        byPoint[i] = {bits(&stored[i * 3]), flags[i]};
    std::stable_sort(byPoint.begin(), byPoint.end(),
                     [](const std::pair<Bits, uint16_t>& x, const std::pair<Bits, uint16_t>& y) {
                         return x.first < y.first;
                     });
    for (size_t i = 0; i < vertices.size() && i < record.mVertexFlags.size(); ++i) {
        const Bits key = bits(&vertices[i].x);
        auto found =
            std::lower_bound(byPoint.begin(), byPoint.end(), key,
                             [](const std::pair<Bits, uint16_t>& x, const Bits& k) { return x.first < k; });
        if (found != byPoint.end() && found->first == key) record.mVertexFlags[i] = found->second;
    }
}

}  // namespace

Ftk::Mesh* VOxaWriter3DS::BuildMeshObject(VOxaMesh* mesh, const VgeTVector& translation,
                                          const VgeTVector& rotation, const VgeTVector& scaling,
                                          const char* name) {
    if (mesh == nullptr) return nullptr;
    bool textured = mTextureMapping && mesh->GetTextureCount(0) > 0;
    const bool withUVs = WritesUVs(mesh);
    if (withUVs && mesh->GetTextureUVMappingMode() == eBY_POLYGON_VERTEX && mUVPerPolygon) {
        VOxaMadeMeshes welded(mManager);
        welded.Hold(WeldPolygonUVs(mesh));
        if (!welded.Meshes().empty()) *mesh = *welded.Meshes().front();
    }
    const int pointCount = mesh->GetControlPointsCount();
    const int polygonCount = mesh->GetPolygonCount();
    if (pointCount == 0) return nullptr;

    // Polygons under three corners and polygons naming missing control points make no face. A
    // mesh of points and no face (a file's line or point objects) is written so, its points kept.
    int64_t faceCount = 0;
    for (int p = 0; p < polygonCount; ++p) {
        const int size = mesh->GetPolygonSize(p);
        if (size < 3) continue;
        bool valid = true;
        for (int k = 0; k < size && valid; ++k) {
            const int cp = mesh->GetPolygonVertex(p, k);
            valid = cp >= 0 && cp < pointCount;
        }
        if (valid) faceCount += size - 2;
    }
    if (pointCount > kMaxMeshItems || faceCount > kMaxMeshItems) {
        mMessageText += "Mesh \"";
        mMessageText += VPrintableText(name).c_str();
        mMessageText += "\" has more than 65535 control points or faces and is not written.\n";
        return nullptr;
    }
    // Local axes: the local transform (scaling, then rotation) expressed in the file's axes. The
    // matrix is moved between the axes as it stands: going through Euler angles again would snap
    // angles near the gimbal poles, and the keyframer would then place the points elsewhere.
    float axes[12];
    {
        const VgeTVector t = ConvertPosition(translation);
        double m[4][4];
        VgeMatrixIdentity(m);
        VgeEulerXYZToMatrix(m, rotation[0], rotation[1], rotation[2]);
        // Scene axis of each file axis (x, z, y) and its sign: file (x, y, z) = scene (x, -z, y).
        static const int kAxis[3] = {0, 2, 1};
        static const double kSign[3] = {1.0, -1.0, 1.0};
        // The axis change's signs make a zero -0.0: written +0.0, as a file holds a zero.
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                axes[i * 3 + j] =
                    Finite(kSign[i] * kSign[j] * m[kAxis[i]][kAxis[j]] * scaling[kAxis[i]]) + 0.0f;
        for (int j = 0; j < 3; ++j)
            axes[9 + j] = Finite(t[j] * mFileScale) + 0.0f;
    }
    // A mesh a file read stored, unchanged since: its axes as the file held them.
    const Stored3dsMesh* stored = mStoredMesh;
    if (stored != nullptr) std::copy(stored->mAxes, stored->mAxes + 12, axes);
    // Readers take the points of an object with mirrored local axes as mirrored across its x
    // axis: such an object's points are stored mirrored so that they come back as they are.
    const float* a = axes;
    const double determinant = (double)a[0] * (a[4] * a[8] - a[5] * a[7]) -
                               (double)a[1] * (a[3] * a[8] - a[5] * a[6]) +
                               (double)a[2] * (a[3] * a[7] - a[4] * a[6]);
    const double mirror = determinant < 0.0 && (stored == nullptr || stored->mPlaced) ? -1.0 : 1.0;
    // Its points go back through those axes, pivot and all: where the file stored them.
    double pivot[3] = {0.0, 0.0, 0.0};
    if (stored != nullptr) {
        pivot[0] = stored->mPivot[0] * mFileScale;
        pivot[1] = -stored->mPivot[2] * mFileScale;
        pivot[2] = stored->mPivot[1] * mFileScale;
    }
    // Vertices in the parent's space: the unconverted local transform, then the axis change. A
    // point that is not a finite number as a float: a mesh unchanged since a 3DS file gave it
    // keeps it as stored (a few files hold NaN points no face uses); elsewhere one that no polygon
    // uses is written as it is (NaN, or infinite), one that a polygon uses refuses the Write.
    std::vector<Ftk::Point3> vertices((size_t)pointCount);
    int kept = pointCount;
    {
        double m[4][4];
        VgeMatrixIdentity(m);
        VgeEulerXYZToMatrix(m, rotation[0], rotation[1], rotation[2]);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] *= scaling[i];
        const VgeTVector* points = mesh->GetControlPoints();
        std::vector<char> used;
        kept = 0;
        if (mLocalPoints != nullptr) {
            mLocalPoints->clear();
            mLocalPoints->reserve((size_t)pointCount * 3);
        }
        if (stored != nullptr && mLocalPoints != nullptr)
            mLocalPoints->insert(mLocalPoints->end(), axes, axes + 12);
        // The points the file stored, while the mesh holds as many as it read.
        const float* filePoints = mStoredPoints != nullptr && mStoredPoints->size() == (size_t)pointCount * 3
                                      ? mStoredPoints->data()
                                      : nullptr;
        // How far the axes and pivot carry a point: its rounding grows with them.
        double reach = 0.0;
        for (int j = 9; j < 12; ++j)
            reach = std::max(reach, std::fabs((double)axes[j]));
        for (double c : pivot)
            reach = std::max(reach, std::fabs(c));
        for (int i = 0; i < pointCount; ++i) {
            const VgeTVector& p = points[i];
            Ftk::Point3 v;
            if (stored != nullptr) {
                const double f[3] = {mirror * (p[0] * mFileScale + pivot[0]), -p[2] * mFileScale + pivot[1],
                                     p[1] * mFileScale + pivot[2]};
                double q[3] = {f[0], f[1], f[2]};
                if (stored->mPlaced)
                    for (int j = 0; j < 3; ++j)
                        q[j] = f[0] * axes[j] + f[1] * axes[3 + j] + f[2] * axes[6 + j] + axes[9 + j];
                v = Ftk::Point3{(float)q[0], (float)q[1], (float)q[2]};
            } else {
                double q[3];
                for (int j = 0; j < 3; ++j)
                    q[j] = (mirror * p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + translation[j]) *
                           mFileScale;
                v = Ftk::Point3{(float)q[0], (float)-q[2], (float)q[1]};
            }
            const float* file = filePoints != nullptr ? filePoints + (size_t)i * 3 : nullptr;
            if (file != nullptr) v = FilePointIfSame(v, file, reach);
            if (stored == nullptr && file == nullptr &&
                (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))) {
                if (used.empty()) used = VOxaUsedControlPoints(mesh, pointCount);
                if (used[(size_t)i]) {
                    std::string text = "Mesh \"";
                    text += name ? name : "";
                    text += "\": control point " + std::to_string(i) +
                            " is not a finite number and a polygon uses it; 3DS cannot hold it";
                    mError.SetLastError(eUNIDENTIFIED_ERROR, text.c_str());
                    mRefused = true;
                    return nullptr;
                }
            }
            vertices[(size_t)kept++] = v;
            // The points that decide whether instances share an object: a stored object's as
            // written (after its axes), another's in the node's own space.
            if (mLocalPoints != nullptr && stored != nullptr)
                mLocalPoints->insert(mLocalPoints->end(), {(double)v.x, (double)v.y, (double)v.z});
            else if (mLocalPoints != nullptr)
                mLocalPoints->insert(mLocalPoints->end(), {mirror * p[0], p[1], p[2]});
        }
    }
    ++mMeshCounter;

    Ftk::Owned<Ftk::Mesh, Ftk::ReleaseMesh> owned;
    // A mesh without UVs gets no mapping coordinates: made-up (0, 0) ones would read back as UVs.
    const uint32_t arrays = withUVs ? 0xFFFFu : 0xFFFFu & ~(uint32_t)Ftk::kMeshMapping;
    Ftk::InitMesh(owned.Slot(), (uint16_t)kept, (uint16_t)faceCount, arrays);
    if (!owned || Ftk::Stopped()) return nullptr;
    Ftk::Mesh* record = owned.Get();
    Ftk::CopyName(record->mName, sizeof record->mName, name ? name : "");
    std::copy(axes, axes + 12, record->mLocalAxes);
    std::copy(vertices.begin(), vertices.begin() + kept, record->mVertices.begin());
    // The point flags the file gave its points, while those are written where it stored them,
    // bit for bit (the reader may have put them in another order); else 0.
    if (mStoredFlags != nullptr && !mStoredFlags->empty() && mStoredPoints != nullptr &&
        mStoredPoints->size() == (size_t)kept * 3 && mStoredFlags->size() <= record->mVertexFlags.size())
        PutStoredFlags(*mStoredPoints, *mStoredFlags, vertices, *record);
    // Mapping coordinates, one per vertex, whether or not a material shows an image through them.
    if (withUVs) {
        const VgeVector2* uvs = mesh->GetTextureUV();
        const int uvCount = uvs ? mesh->GetTextureUVCount() : 0;
        const int uvMapping = mesh->GetTextureUVMappingMode();
        auto put = [&](int cp, const VgeVector2& uv) {
            if (cp >= 0) record->mMapping[(size_t)cp] = Ftk::TexVert{Finite(uv[0]), Finite(uv[1])};
        };
        if (uvMapping == eBY_CONTROL_POINT) {
            for (int i = 0; i < pointCount && i < uvCount; ++i)
                put(i, uvs[i]);
        } else if (uvMapping == eBY_POLYGON_VERTEX) {
            for (int p = 0; p < polygonCount; ++p) {
                const int size = mesh->GetPolygonSize(p);
                for (int k = 0; k < size; ++k) {
                    const int cp = mesh->GetPolygonVertex(p, k);
                    const int uv = mesh->GetTextureUVIndex(p, k);
                    if (cp >= 0 && cp < pointCount && uv >= 0 && uv < uvCount) put(cp, uvs[uv]);
                }
            }
        }
    }

    // A textured mesh without material gets the grey "Default" one.
    if (mesh->GetMaterialCount(0) == 0 && mesh->GetTextureCount(0) > 0) {
        if (VOxaMaterial* material = GetDefaultMaterial()) {
            mesh->AddMaterial(material, 0);
            if (mesh->GetMaterialMappingMode() != eALL_SAME && mesh->GetMaterialMappingMode() != eBY_POLYGON)
                mesh->InitMaterialIndices(4);
        }
    }
    const int materialCount = mesh->GetMaterialCount(0);
    const int textureCount = mesh->GetTextureCount(0);
    const bool hasMaterials = mMaterials && materialCount > 0;
    VOxaLayer* layer0 = mesh->GetLayer(0);
    VOxaLayer* layer1 = mesh->GetLayerOfType(1, VOxaLayerElement::eTEXTURE);
    const bool twoTextureLayers =
        mesh->GetLayerCountOfType(VOxaLayerElement::eTEXTURE) >= 2 && textureCount >= 2;
    const VOxaLayerElement* materialElement = layer0 ? layer0->GetMaterials() : nullptr;
    const VOxaLayerElement* texture0 = layer0 ? layer0->GetTextures() : nullptr;
    const VOxaLayerElement* texture1 = layer1 ? layer1->GetTextures() : nullptr;
    const int materialMapping = mesh->GetMaterialMappingMode();
    const int textureMapping = mesh->GetTextureMappingMode();

    std::vector<int> corners;
    std::vector<std::pair<FaceKey, uint16_t>> faceKeys;
    if (hasMaterials) faceKeys.reserve((size_t)faceCount);
    std::vector<FaceSource> sources;
    sources.reserve((size_t)faceCount);
    uint32_t face = 0;
    for (int p = 0; p < polygonCount; ++p) {
        const int size = mesh->GetPolygonSize(p);
        if (size < 3) continue;
        bool valid = true;
        for (int k = 0; k < size && valid; ++k) {
            const int cp = mesh->GetPolygonVertex(p, k);
            valid = cp >= 0 && cp < pointCount;
        }
        if (!valid) continue;
        const int firstPoint = mesh->GetPolygonVertex(p, 0);

        int m = ElementItem(materialElement, materialMapping, p, firstPoint);
        // An element without mapping (materials only added) holds one material for all.
        if (materialMapping == eNO_MAPPING && materialElement != nullptr) m = 0;
        if (m < 0 || m >= materialCount) m = -1;
        // An untextured mesh's faces carry no texture.
        int t1 = textureCount, t2 = textureCount;
        if (textured) {
            if (textureMapping == eBY_POLYGON && twoTextureLayers) {
                t1 = ElementItem(texture1, textureMapping, p, firstPoint);
                t2 = ElementItem(texture0, textureMapping, p, firstPoint);
            } else {
                t1 = ElementItem(texture0, textureMapping, p, firstPoint);
                t2 = twoTextureLayers ? ElementItem(texture1, textureMapping, p, firstPoint) : textureCount;
            }
            // Textures only added, without a mapping (a scene built in code), are on every face.
            if (textureMapping == eNO_MAPPING && texture0 != nullptr) t1 = 0;
        }
        const bool valid1 = t1 >= 0 && t1 < textureCount;
        const bool valid2 = t2 >= 0 && t2 < textureCount;
        FaceKey key{m, textureCount, textureCount};
        if (!valid1) {
            if (valid2) key.mFirst = t2;
        } else {
            key.mFirst = t1;
            if (valid2) key.mSecond = t2;
        }

        const int triangles = size - 2;
        corners.resize((size_t)triangles * 3);
        VgeTriangulatePolygon(corners.data(), size, mesh->GetControlPoints(), mesh->GetControlPointsCount(),
                              mesh->GetPolygonVertices(p));
        // A triangle read from a 3DS face keeps its flag word (hidden edges, wrap bits); the
        // triangles of a quadrangle whose edges are marked keep its edges' visibility, with the
        // cut hidden; other faces show all three edges.
        uint16_t flags = 7;
        unsigned hidden = 0;
        const bool quadrangle =
            size == 4 && voxa_extras::HiddenEdgesOfGroup3ds(mesh->GetPolygonGroup(p), 4, hidden);
        if (size != 3 || !voxa_extras::FaceFlagsOfGroup3ds(mesh->GetPolygonGroup(p), flags)) flags = 7;
        for (int i = 0; i < triangles; ++i, ++face) {
            if (quadrangle)
                flags = voxa_extras::CutTriangleFlags3ds(4, hidden, corners.data() + (size_t)i * 3);
            const int a = mesh->GetPolygonVertex(p, corners[(size_t)i * 3]);
            const int b = mesh->GetPolygonVertex(p, corners[(size_t)i * 3 + 1]);
            const int c = mesh->GetPolygonVertex(p, corners[(size_t)i * 3 + 2]);
            record->mFaces[face] = Ftk::Face{(uint16_t)a, (uint16_t)b, (uint16_t)c, flags};
            sources.push_back(
                FaceSource{p,
                           {corners[(size_t)i * 3], corners[(size_t)i * 3 + 1], corners[(size_t)i * 3 + 2]},
                           {a, b, c}});
            if (hasMaterials && m >= 0) faceKeys.emplace_back(key, (uint16_t)face);
        }
    }

    // Smoothing: the masks the mesh keeps (a 3DS or OBJ file's, read back) where they shade the
    // faces as its normals do, else masks worked out from the normals. A reader smooths a corner
    // over the faces at its vertex that share a bit with its face, so masks that the normals
    // contradict (groups numbered as an OBJ file numbers them, faces whose normals were changed
    // since) would shade otherwise.
    std::vector<uint32_t> masks;
    if (const VOxaLayerElementPolygonGroup* kept = VOxaSmoothingMasks(mesh)) {
        masks.reserve(sources.size());
        for (const FaceSource& source : sources)
            masks.push_back(VOxaSmoothingMaskOf(kept, source.mPolygon));
        // A 3DS file's masks shade a few corners otherwise than the normals read from them (a
        // face whose mask bridges two others): they give way only to masks far closer.
        const long keptOff = CornersShadedOtherwise(mesh, record, sources, masks);
        if (keptOff > (long)sources.size() * 3 / 20) {
            std::vector<uint32_t> derived = MasksFromNormals(mesh, sources);
            if (CornersShadedOtherwise(mesh, record, sources, derived) * 2 < keptOff) masks.swap(derived);
        }
    } else {
        masks = MasksFromNormals(mesh, sources);
    }
    // A triangle of no area cut from a larger polygon (a quadrangle with two corners at one point)
    // has no normal: a reader makes one up for it, and the faces it shares a bit with take that in
    // at their shared corners. It goes in no smoothing group. A 3DS face keeps its mask as held.
    for (size_t f = 0; f < masks.size() && f < record->mFaces.size(); ++f) {
        if (masks[f] == 0 || mesh->GetPolygonSize(sources[f].mPolygon) <= 3) continue;
        const Ftk::Face& t = record->mFaces[f];
        if (t.a >= record->mVertices.size() || t.b >= record->mVertices.size() ||
            t.c >= record->mVertices.size())
            continue;
        const Ftk::Point3& a = record->mVertices[t.a];
        const Ftk::Point3& b = record->mVertices[t.b];
        const Ftk::Point3& c = record->mVertices[t.c];
        const double u[3] = {(double)b.x - a.x, (double)b.y - a.y, (double)b.z - a.z};
        const double v[3] = {(double)c.x - a.x, (double)c.y - a.y, (double)c.z - a.z};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        if (n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0) masks[f] = 0;
    }
    if (std::all_of(masks.begin(), masks.end(), [](uint32_t mask) { return mask == 0; }))
        record->mSmoothing.clear();
    else
        std::copy(masks.begin(), masks.begin() + std::min(masks.size(), record->mSmoothing.size()),
                  record->mSmoothing.begin());

    // Face-material lists: one per combination, in ascending order, each face in face order.
    if (hasMaterials && !faceKeys.empty()) {
        std::stable_sort(faceKeys.begin(), faceKeys.end(),
                         [](const std::pair<FaceKey, uint16_t>& x, const std::pair<FaceKey, uint16_t>& y) {
                             return x.first < y.first;
                         });
        std::vector<size_t> starts;
        for (size_t i = 0; i < faceKeys.size(); ++i)
            if (i == 0 || !(faceKeys[i].first == faceKeys[i - 1].first)) starts.push_back(i);
        starts.push_back(faceKeys.size());
        const size_t groups = starts.size() - 1;
        record->mMaterialGroupCount = (uint16_t)groups;
        Ftk::AllocMeshArrays(record, Ftk::kMeshMaterialGroups);
        if (record->mMaterialGroups.size() < groups) {
            record->mMaterialGroupCount = 0;
            record->mMaterialGroups.clear();
        } else {
            for (size_t g = 0; g < groups; ++g) {
                const FaceKey& key = faceKeys[starts[g]].first;
                const size_t count = starts[g + 1] - starts[g];
                Ftk::AllocMaterialGroupFaces(record, (uint16_t)g, (uint16_t)count);
                const std::string materialName = PutMaterial(mesh, key.mMaterial, key.mFirst, key.mSecond);
                record->mMaterialGroups[g].mName = materialName.substr(0, kMaxMaterialNameLength);
            }
            for (size_t g = 0; g < groups; ++g) {
                Ftk::MeshMaterialGroup& group = record->mMaterialGroups[g];
                const size_t count = starts[g + 1] - starts[g];
                group.mFaceCount = (uint16_t)count;
                group.mFaces.resize(count);
                for (size_t i = 0; i < count; ++i)
                    group.mFaces[i] = faceKeys[starts[g] + i].second;
            }
        }
    }
    record->mFlag4014 = 1;
    return owned.Take();
}

void VOxaWriter3DS::NameMap(Ftk::MaterialMap& map, const VOxaTexture* texture, const VString& givenName) {
    // The name the image has beside the output; an image that could not be copied there and
    // whose name is too long gets a short one of its own, and the user is told to put it there.
    std::string mapName = givenName.Buffer();
    if (mapName.size() > 12) {
        const std::string full = texture->GetFileName();
        auto known = mUncopiedMapNames.find(full);
        if (known != mUncopiedMapNames.end()) {
            mapName = known->second;
        } else {
            const std::string wanted = mapName;
            for (int n = 1; n < 1000000; ++n) {
                mapName = ShortMapName(wanted, n);
                if (mMapNames.count(mapName) == 0) break;
            }
            mUncopiedMapNames.emplace(full, mapName);
            mTextureCopier.Reserve(mapName.c_str());
            mMessageText += "Texture file \"";
            mMessageText += VPrintableText(full.c_str()).c_str();
            mMessageText += "\" is named \"";
            mMessageText += VPrintableText(mapName.c_str()).c_str();
            mMessageText +=
                "\" in the written file (a map name has at most 12 characters): put the image "
                "beside the file under that name.\n";
        }
    }
    mMapNames.insert(mapName);
    Ftk::CopyName(map.mFileName, 13, mapName.c_str());
}

void VOxaWriter3DS::NoteMapOptions(const VOxaMaterial* material, const VOxaTexture* texture) {
    // The options of an MTL map line that no field of a 3DS map holds ("-mm 0 1", "-cc on").
    const std::string options = voxa_obj::GetMapOptions(texture);
    if (material != nullptr && !options.empty())
        mUnheld.Note(material->GetNameWithoutPrefix(), "its map options \"" + options + "\"");
}

std::string VOxaWriter3DS::PutMaterial(VOxaMesh* mesh, int m, int t1, int t2) {
    if (mesh == nullptr) return std::string();
    VOxaMaterial* material = mesh->GetMaterial(m, 0);
    VOxaTexture *first = nullptr, *second = nullptr;
    ResolveMaps(mesh, t1, t2, first, second);
    // The record holds nothing of the mesh: the material with the same maps is the same record.
    const auto key =
        std::make_tuple((const VOxaMaterial*)material, (const VOxaTexture*)first, (const VOxaTexture*)second);
    if (material != nullptr) {
        auto found = mRecords.find(key);
        if (found != mRecords.end()) return found->second;
    }
    OwnedMaterial record(BuildMaterial(mesh, m, t1, t2));
    if (!record) return std::string();
    char name[sizeof record->mName];
    Ftk::CopyName(name, sizeof name, record->mName);
    Ftk::WriteMaterial(mDatabase, record.Get());
    record.Reset();
    if (material != nullptr) mRecords.emplace(key, name);
    return name;
}

namespace {

// The values a 3DS file gave the material that the scene has no field for.
void KeptMaterialValues(const VOxaMaterial* material, Ftk::Material& record) {
    double value = 0.0;
    if (voxa_extras::GetNumber(material, voxa_extras::kShading3ds, value) && value >= -32768.0 &&
        value <= 32767.0)
        record.mShading = (int32_t)value;
    if (voxa_extras::GetNumber(material, voxa_extras::kReflectionBlur3ds, value))
        record.mReflectionBlur = Finite(value);
    if (voxa_extras::GetNumber(material, voxa_extras::kWireSize3ds, value)) record.mWireSize = Finite(value);
    if (voxa_extras::GetNumber(material, voxa_extras::kMaterialFlags3ds, value) && value >= 0.0 &&
        value < 128.0) {
        uint8_t* flags[] = {&record.mUseReflectionBlur, &record.mSelfIlluminated, &record.mWire,
                            &record.mFlagA08E,          &record.mFlagA088,        &record.mFlagA08C,
                            &record.mFlagA082};
        for (size_t i = 0; i < sizeof flags / sizeof flags[0]; ++i)
            *flags[i] = ((int)value >> i) & 1;
    }
    double reflection[3];
    if (voxa_extras::GetVector(material, voxa_extras::kAutoReflection3ds, reflection) &&
        reflection[0] >= 0.0 && reflection[0] <= 65535.0 && reflection[1] >= 0.0 &&
        reflection[1] <= 4294967295.0 && reflection[2] >= 0.0 && reflection[2] <= 4294967295.0) {
        const uint16_t flags = (uint16_t)reflection[0];
        record.mAutoReflectionInUse = 1;
        record.mAutoReflectionFlags = flags;
        record.mAutoReflectionFirstFrameOnly = (flags & 0x0009) == 0x0009;
        record.mAutoReflectionFlatMirror = (flags & 0x0011) == 0x0011;
        record.mAutoReflectionMapSize = (uint32_t)reflection[1];
        record.mAutoReflectionFrameStep = (uint32_t)reflection[2];
    }
}

}  // namespace

void VOxaWriter3DS::PutUnusedMaterials(VOxaScene* scene) {
    VOxaSceneContents* contents = scene ? scene->GetContents() : nullptr;
    if (contents == nullptr || !mMaterials) return;
    std::set<const VOxaMaterial*> written;
    for (const auto& record : mRecords)
        written.insert(std::get<0>(record.first));
    for (int i = 0, n = contents->GetMaterialCount(); i < n; ++i) {
        VOxaMaterial* material = contents->GetMaterial(i);
        if (material == nullptr || material == mDefaultMaterial || !written.insert(material).second) continue;
        OwnedMaterial record(BuildMaterial(nullptr, 0, 0, 0, material));
        if (record) Ftk::WriteMaterial(mDatabase, record.Get());
    }
}

Ftk::Material* VOxaWriter3DS::BuildMaterial(VOxaMesh* mesh, int m, int t1, int t2, VOxaMaterial* unused) {
    if (mesh == nullptr && unused == nullptr) return nullptr;
    VOxaMaterial* material = mesh ? mesh->GetMaterial(m, 0) : unused;
    VOxaTexture *first = nullptr, *second = nullptr;
    if (mesh != nullptr) ResolveMaps(mesh, t1, t2, first, second);
    // Each map names the file its image has beside the output.
    VString givenNames[2];
    if (first != nullptr) CopyTextureFile(first->GetFileName(), first->GetSourceFolder(), &givenNames[0]);
    if (second != nullptr) CopyTextureFile(second->GetFileName(), second->GetSourceFolder(), &givenNames[1]);

    OwnedMaterial record;
    Ftk::InitMaterial(record.Slot());
    if (!record) return nullptr;
    if (material != nullptr) {
        const VOxaColor ambient = material->GetAmbient();
        const VOxaColor diffuse = material->GetDiffuse();
        const VOxaColor specular = material->GetSpecular();
        const VOxaColor emissive = material->GetEmissive();
        const VOxaColor* colors[3] = {&ambient, &diffuse, &specular};
        float* fields[3] = {record->mAmbient, record->mDiffuse, record->mSpecular};
        for (int i = 0; i < 3; ++i) {
            fields[i][0] = (float)colors[i]->mRed;
            fields[i][1] = (float)colors[i]->mGreen;
            fields[i][2] = (float)colors[i]->mBlue;
        }
        // Unclamped: a highlight above 1 in one channel keeps its hue.
        VgeTVector strongSpecular;
        material->GetDefaultSpecular(strongSpecular);
        if (!KeptSpecular(material, strongSpecular, record->mSpecular, record->mShineStrength))
            SpecularToFile(strongSpecular, record->mSpecular, record->mShineStrength);
        const std::string own = material->GetNameWithoutPrefix();
        // A 3DS reader takes twice the file's shininess; the file holds at most 100%.
        record->mShininess = std::min(Finite(material->GetShininess() * 0.5), 1.0f);
        if (material->GetShininess() * 0.5 > 1.0 + 1e-6)
            mUnheld.Note(own, "its shininess above 100% (an OBJ Ns above 200)");
        // A file's material keeps the form of its shininess: none while it is still 0, or a
        // fraction alone.
        double form = 1.0;
        if (voxa_extras::GetNumber(material, voxa_extras::kShininessForm3ds, form)) {
            if (form == 0.0 && material->GetShininess() == 0.0) record->mShininessStated = 0;
            if (form == 2.0) record->mShininessStated = 2;
        }
        // A file's material without an ambient or specular colour keeps none while that colour
        // is still black.
        double none = 0.0;
        auto black = [](const float* c) { return c[0] == 0.0f && c[1] == 0.0f && c[2] == 0.0f; };
        if (voxa_extras::GetNumber(material, voxa_extras::kNoAmbient3ds, none) && none == 1.0 &&
            black(record->mAmbient))
            record->mAmbientStated = 0;
        if (voxa_extras::GetNumber(material, voxa_extras::kNoSpecular3ds, none) && none == 1.0 &&
            black(record->mSpecular))
            record->mSpecularStated = 0;
        double floats = 0.0;
        if (voxa_extras::GetNumber(material, voxa_extras::kColorFloats3ds, floats) && floats > 0.0 &&
            floats < 64.0)
            for (int i = 0; i < 3; ++i)
                record->mColorFloats[i] = (uint8_t)(((int)floats >> (2 * i)) & 3);
        const float* written[3] = {record->mAmbient, record->mDiffuse, record->mSpecular};
        for (int c = 0; c < 3; ++c) {
            double plain[3], paired[3];
            if (!voxa_extras::GetColor(material, voxa_extras::kPlainColors3ds[c], plain) ||
                !voxa_extras::GetColor(material, voxa_extras::kPairedColors3ds[c], paired))
                continue;
            bool same = true;
            for (int i = 0; i < 3; ++i)
                same = same && written[c][i] == (float)paired[i];
            if (!same) continue;
            record->mPlainColorsApart |= (uint8_t)(1u << c);
            for (int i = 0; i < 3; ++i)
                record->mPlainColors[c][i] = (float)plain[i];
        }
        record->mTransparency = Finite(1.0 - material->GetOpacity());
        record->mSelfIllumination = SelfIllumination(emissive, diffuse);
        // The glow is the diffuse colour times the self-illumination: another hue is lost.
        VgeTVector glow;
        material->GetDefaultEmissive(glow);
        const double carried[3] = {diffuse.mRed, diffuse.mGreen, diffuse.mBlue};
        for (int i = 0; i < 3; ++i)
            if (std::fabs(carried[i] * record->mSelfIllumination - glow[i]) > 0.5 / 255.0)
                mUnheld.Note(own, "its glow colour apart from the diffuse colour (an OBJ Ke)");
        if (material->GetMap(VOxaMaterial::eMAP_AMBIENT) != nullptr)
            mUnheld.Note(own, "its ambient map (an OBJ map_Ka)");
        // The MTL statements an OBJ reader kept (a refraction index, a filter colour, physically
        // based values); the plain illumination models are the file's own shading.
        std::string kept;
        for (size_t i = 0; i < voxa_obj::kKeptStatementCount; ++i) {
            const char* keyword = voxa_obj::kKeptStatements[i];
            if (!voxa_obj::GetKeptStatement(material, keyword, kept)) continue;
            if (i == 0 && (kept.empty() || kept == "0" || kept == "1" || kept == "2")) continue;
            mUnheld.Note(own, std::string("its OBJ \"") + keyword + "\" statement");
        }
        // As the 3DS file it came from says; drawn from both sides when no such file says.
        double twoSided = 1.0;
        voxa_extras::GetNumber(material, voxa_extras::kTwoSided3ds, twoSided);
        record->mTwoSided = twoSided != 0.0 ? 1 : 0;
        // Transparency values a 3DS file gave the material.
        double value = 0.0;
        record->mFlagA083 =
            voxa_extras::GetNumber(material, voxa_extras::kAdditive3ds, value) && value != 0.0;
        if (voxa_extras::GetNumber(material, voxa_extras::kFalloff3ds, value))
            record->mTransparencyFalloff = Finite(value);
        record->mUseFalloff =
            voxa_extras::GetNumber(material, voxa_extras::kUseFalloff3ds, value) && value != 0.0;
        KeptMaterialValues(material, *record);
    }

    // A 3DS material holds one set of maps: the material's first record takes its own name, a
    // record of it with other maps (or none) a generated one, and the user is told which.
    std::string name;
    const std::string own = material ? std::string(material->GetNameWithoutPrefix()) : std::string();
    if (!own.empty() && own.size() <= kMaxMaterialNameLength && mRecordNames.count(own) == 0) {
        name = own;
    } else if (first == nullptr) {
        name = UniqueMaterialName(std::string());
    } else {
        std::string wanted = std::to_string(mMeshCounter) + ".Mat" + std::to_string(m);
        if (second == nullptr)
            wanted += "Tex" + std::to_string(t1);
        else
            wanted += "T" + std::to_string(t1) + "T" + std::to_string(t2);
        name = UniqueMaterialName(wanted);
    }
    // The grey material the writer made is no name of the user's.
    if (!own.empty() && name != own && material != mDefaultMaterial) {
        mMessageText += "Material \"";
        mMessageText += VPrintableText(own.c_str()).c_str();
        mMessageText += "\" is written also as \"";
        mMessageText += VPrintableText(name.c_str()).c_str();
        mMessageText += "\" for its faces ";
        if (first == nullptr) {
            mMessageText += "without texture map";
        } else {
            mMessageText += "with the texture map \"";
            mMessageText += VPrintableText(first->GetFileName()).c_str();
            if (second != nullptr) {
                mMessageText += "\" and \"";
                mMessageText += VPrintableText(second->GetFileName()).c_str();
            }
            mMessageText += "\"";
        }
        mMessageText += ": a 3DS material holds one set of texture maps.\n";
    }
    mRecordNames.insert(name);
    Ftk::CopyName(record->mName, kMaxMaterialNameLength + 1, name.c_str());

    VOxaTexture* maps[2] = {first, second};
    const int slots[2] = {Ftk::kTextureMap1, Ftk::kTextureMap2};
    for (int i = 0; i < 2; ++i) {
        VOxaTexture* texture = maps[i];
        if (texture == nullptr) continue;
        Ftk::MaterialMap& map = record->mMaps[slots[i]];
        NameMap(map, texture, givenNames[i]);
        if (i == 0) {
            map.mStrength = Finite(texture->GetDefaultAlpha());
        } else {
            double alpha = texture->GetDefaultAlpha();
            if (texture->GetBlendMode() == 1) alpha *= 0.5;
            map.mStrength = Finite(alpha);
        }
        SetMapParameters(map, texture);
        NoteMapOptions(material, texture);
    }

    // The material's other maps, each with its image beside the output.
    static const std::pair<VOxaMaterial::EMapRole, int> kRoleSlots[] = {
        {VOxaMaterial::eMAP_OPACITY, Ftk::kOpacityMap},
        {VOxaMaterial::eMAP_BUMP, Ftk::kBumpMap},
        {VOxaMaterial::eMAP_SPECULAR, Ftk::kSpecularMap},
        {VOxaMaterial::eMAP_SHININESS, Ftk::kShininessMap},
        {VOxaMaterial::eMAP_EMISSIVE, Ftk::kSelfIllumMap},
        {VOxaMaterial::eMAP_REFLECTION, Ftk::kReflectionMap},
    };
    if (material != nullptr && mTextureMapping) {
        for (const auto& roleSlot : kRoleSlots) {
            VOxaTexture* texture = material->GetMap(roleSlot.first);
            if (texture == nullptr || *texture->GetFileName() == '\0') continue;
            VString given;
            CopyTextureFile(texture->GetFileName(), texture->GetSourceFolder(), &given);
            Ftk::MaterialMap& map = record->mMaps[roleSlot.second];
            NameMap(map, texture, given);
            map.mStrength = Finite(texture->GetDefaultAlpha());
            double amount = 0.0;
            if (roleSlot.second == Ftk::kBumpMap &&
                voxa_extras::GetNumber(texture, voxa_extras::kBumpAmount3ds, amount) && amount >= 0.0 &&
                amount <= 32767.0)
                map.mBumpAmount = (int32_t)amount;
            SetMapParameters(map, texture);
            NoteMapOptions(material, texture);
        }
    }
    return record.Take();
}
