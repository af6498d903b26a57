// The polygon mesh: polygons, layer-0 UVs, materials, textures and normals.
#include "attributes/voxa_mesh.h"

#include <climits>
#include <cmath>
#include <new>
#include <vector>

#include "attributes/voxa_mesh_internal.h"
#include "base/vallocation_hook.h"
#include "scene/voxa_node.h"

VOxaMesh* VOxaNode::GetMesh() const {
    VOxaNodeAttribute* attribute = GetNodeAttribute();
    return (attribute != nullptr && attribute->GetAttributeType() == VOxaNodeAttribute::eMesh)
               ? static_cast<VOxaMesh*>(attribute)
               : nullptr;
}

namespace voxa_mesh_detail {

bool ReadNormal(const VOxaLayerElementNormal* element, int item, VgeTVector& normal) {
    if (element == nullptr) return false;
    const VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    switch (element->GetReferenceMode()) {
        case eDIRECT:
            break;
        case eINDEX_TO_DIRECT:
            item = (item >= 0 && item < element->GetIndexArray().GetCount()) ? element->GetIndexArray()[item]
                                                                             : -1;
            break;
        default:
            return false;
    }
    if (item < 0 || item >= normals.GetCount()) return false;
    normal = normals[item];
    return true;
}

}  // namespace voxa_mesh_detail

void VOxaMesh::AccumulateCornerNormals(bool clockwise, VgeTVector* sums) const {
    const int pointCount = mControlPoints.GetCount();
    const VgeTVector* points = mControlPoints.GetArray();
    const int* vertices = mPolygonVertices.data();
    const int vertexCount = (int)mPolygonVertices.size();
    // The points of one polygon, read once: each is a corner and the neighbour of two others.
    // Larger polygons read their points from the array.
    constexpr int kLocal = 16;
    double local[kLocal][3];
    for (const VOxaPolygon& polygon : mPolygons) {
        const int size = polygon.mSize;
        const int first = polygon.mFirst;
        if (size <= 0 || first < 0 || first > vertexCount - size) continue;
        const int* corner = vertices + first;
        const bool gathered = size <= kLocal;
        if (gathered) {
            for (int j = 0; j < size; ++j) {
                const int point = corner[j];
                if ((unsigned)point < (unsigned)pointCount) {
                    local[j][0] = points[point][0];
                    local[j][1] = points[point][1];
                    local[j][2] = points[point][2];
                }
            }
        }
        for (int j = 0; j < size; ++j) {
            const int jp = j == 0 ? size - 1 : j - 1;
            const int jn = j == size - 1 ? 0 : j + 1;
            const int cur = corner[j];
            // A corner whose points lie outside the array adds nothing.
            if ((unsigned)cur >= (unsigned)pointCount || (unsigned)corner[jp] >= (unsigned)pointCount ||
                (unsigned)corner[jn] >= (unsigned)pointCount) {
                continue;
            }
            const double* c = gathered ? local[j] : points[cur].mData;
            const double* a = gathered ? local[jp] : points[corner[jp]].mData;
            const double* b = gathered ? local[jn] : points[corner[jn]].mData;
            const double d1[3] = {a[0] - c[0], a[1] - c[1], a[2] - c[2]};
            const double d2[3] = {b[0] - c[0], b[1] - c[1], b[2] - c[2]};
            const double* u = clockwise ? d1 : d2;
            const double* v = clockwise ? d2 : d1;
            double* sum = sums[cur].mData;
            sum[0] += u[1] * v[2] - u[2] * v[1];
            sum[1] += u[2] * v[0] - u[0] * v[2];
            sum[2] += u[0] * v[1] - u[1] * v[0];
            sum[3] += 1.0;
        }
    }
}

namespace voxa_mesh_detail {

VgeTVector AverageNormal(const VgeTVector& sum) {
    // w holds the number of corners, so the division leaves it at 1.
    if (sum[3] <= 0.0) return VgeTVector(0.0, 0.0, 0.0, 1.0);
    VgeTVector normal = sum / sum[3];
    const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    if (length != 0.0) {
        normal[0] /= length;
        normal[1] /= length;
        normal[2] /= length;
    }
    return normal;
}

}  // namespace voxa_mesh_detail

using namespace voxa_mesh_detail;

VOxaMesh::VOxaMesh(VOxaSdkManager* manager) : VOxaGeometry(manager) {
    Reset();
}

void VOxaMesh::Reset() {
    std::vector<VOxaPolygon>().swap(mPolygons);
    std::vector<int>().swap(mPolygonVertices);
    mControlPoints.Clear();
    ClearLayers();
}

// --- Layer-0 elements -----------------------------------------------------------------------------

// --- Polygons --------------------------------------------------------------------------------------

namespace {

// True when `element` records one index per polygon.
bool RecordsPerPolygon(const VOxaLayerElement* element) {
    return element->GetMappingMode() == eBY_POLYGON &&
           (element->GetReferenceMode() == eINDEX || element->GetReferenceMode() == eINDEX_TO_DIRECT);
}

// Makes room for `needed` items, at least doubling the storage when it must grow: the arrays
// grow by a quarter on their own, which copies a long run of appends several times over.
void Reserve(VBaseArray& items, int needed) {
    if (needed <= items.GetCapacity()) return;
    const int count = items.GetCount();
    const long long doubled = 2LL * items.GetCapacity();
    const int target = doubled > needed && doubled < 0x40000000LL ? (int)doubled : needed;
    if (items.SetCount(target)) items.SetCount(count);
}

// Appends `value`, growing by doubling; false when the storage could not grow.
template <typename T>
bool Append(VArrayTemplate<T>& items, const T& value) {
    const int count = items.GetCount();
    Reserve(items, count + 1);
    if (!items.SetCount(count + 1)) return false;
    items[count] = value;
    return true;
}

// Sets the last of `count` entries of the index array to `value`, resizing it to `count`.
void StoreLast(VArrayTemplate<int>& indices, int count, int value) {
    if (indices.GetCount() != count) {
        Reserve(indices, count);
        if (!indices.SetCount(count)) return;
    }
    indices[count - 1] = value;
}

}  // namespace

void VOxaMesh::BeginPolygon(int materialIndex, int textureIndex, int group) {
    VOxaPolygon polygon;
    polygon.mFirst = (int)mPolygonVertices.size();
    polygon.mGroup = group;
    mPolygonRefused = true;
    if (mPolygons.size() >= (size_t)INT_MAX) return;
    try {
        mPolygons.push_back(polygon);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return;
    }
    mPolygonRefused = false;
    VOxaLayer* layer = GetOrCreateLayer0();
    if (layer == nullptr) return;
    const int polygonCount = (int)mPolygons.size();

    VOxaLayerElementMaterial* materials = layer->GetMaterials();
    if (materials == nullptr && polygonCount == 1 && materialIndex != -1) {
        materials = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementMaterial());
        if (materials != nullptr) layer->SetMaterials(materials);
    } else if (materials != nullptr && RecordsPerPolygon(materials)) {
        StoreLast(materials->GetIndexArray(), polygonCount, materialIndex);
    }

    VOxaLayerElementTexture* textures = layer->GetTextures();
    if (textures == nullptr && polygonCount == 1 && textureIndex != -1) {
        textures = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementTexture());
        if (textures != nullptr) layer->SetTextures(textures);
    } else if (textures != nullptr && RecordsPerPolygon(textures)) {
        StoreLast(textures->GetIndexArray(), polygonCount, textureIndex);
    }
}

void VOxaMesh::ReservePolygons(int polygons, int vertices) {
    try {
        if (polygons > 0) mPolygons.reserve(mPolygons.size() + (size_t)polygons);
        if (vertices > 0) mPolygonVertices.reserve(mPolygonVertices.size() + (size_t)vertices);
    } catch (const std::bad_alloc&) {
        // Only room asked for, but memory is that short: counted, so that a read says so
        // rather than going on to fail somewhere less clear.
        oxa_alloc::NoteFailure();
    }
}

int VOxaMesh::AddPolygonVertex(int index, int textureUVIndex) {
    const int polygonCount = (int)mPolygons.size();
    if (polygonCount == 0 || mPolygonRefused) return 0;
    if (mPolygonVertices.size() >= (size_t)INT_MAX) return mPolygons.back().mSize;
    try {
        mPolygonVertices.push_back(index);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return mPolygons.back().mSize;
    }
    if (textureUVIndex != -1) {
        VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
        if (uvs == nullptr) uvs = MakeLayer0Element<VOxaLayerElementUV>();
        if (uvs != nullptr && uvs->GetMappingMode() == eBY_POLYGON_VERTEX &&
            uvs->GetReferenceMode() == eINDEX_TO_DIRECT) {
            StoreLast(uvs->GetIndexArray(), (int)mPolygonVertices.size(), textureUVIndex);
        }
    }
    return ++mPolygons[polygonCount - 1].mSize;
}

int VOxaMesh::GetPolygonSize(int polygon) const {
    return (polygon >= 0 && polygon < (int)mPolygons.size()) ? mPolygons[polygon].mSize : -1;
}

int VOxaMesh::GetPolygonGroup(int polygon) const {
    return (polygon >= 0 && polygon < (int)mPolygons.size()) ? mPolygons[polygon].mGroup : -1;
}

int VOxaMesh::PolygonVertexPosition(int polygon, int position) const {
    if (polygon < 0 || polygon >= (int)mPolygons.size()) return -1;
    const VOxaPolygon& record = mPolygons[polygon];
    if (position < 0 || position >= record.mSize) return -1;
    const int at = record.mFirst + position;
    return (at >= 0 && at < (int)mPolygonVertices.size()) ? at : -1;
}

int VOxaMesh::GetPolygonVertex(int polygon, int position) const {
    const int at = PolygonVertexPosition(polygon, position);
    return at >= 0 ? mPolygonVertices[at] : -1;
}

bool VOxaMesh::GetPolygonVertexNormal(int polygon, int position, VgeTVector& normal) const {
    const VOxaLayerElementNormal* element = Layer0Element<VOxaLayerElementNormal>();
    const int at = PolygonVertexPosition(polygon, position);
    if (element == nullptr || at < 0) return false;
    int item;
    switch (element->GetMappingMode()) {
        case eBY_CONTROL_POINT:
            item = mPolygonVertices[at];
            break;
        case eBY_POLYGON_VERTEX:
            item = at;
            break;
        case eBY_POLYGON:
            item = polygon;
            break;
        case eALL_SAME:
            item = 0;
            break;
        default:
            return false;
    }
    return ReadNormal(element, item, normal);
}

// --- UVs -------------------------------------------------------------------------------------------

void VOxaMesh::InitTextureUV(int count) {
    VOxaLayerElementUV* uvs = MakeLayer0Element<VOxaLayerElementUV>();
    if (uvs == nullptr) return;
    uvs->GetDirectArray().Clear();
    if (count > 0) uvs->GetDirectArray().SetCount(count);
}

void VOxaMesh::AddTextureUV(const VgeVector2& uv) {
    if (VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>()) Append(uvs->GetDirectArray(), uv);
}

VgeVector2* VOxaMesh::GetTextureUV() const {
    VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
    return uvs ? uvs->GetDirectArray().GetArray() : nullptr;
}

int VOxaMesh::GetTextureUVCount() const {
    const VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
    return uvs ? uvs->GetDirectArray().GetCount() : 0;
}

void VOxaMesh::InitTextureUVIndices(int mode) {
    VOxaLayerElementUV* uvs = MakeLayer0Element<VOxaLayerElementUV>();
    if (uvs == nullptr) return;
    uvs->GetDirectArray().Clear();
    uvs->GetIndexArray().Clear();
    switch (mode) {
        case 1:
            uvs->SetMappingMode(eBY_CONTROL_POINT);
            uvs->SetReferenceMode(eDIRECT);
            break;
        case 2:
            uvs->SetMappingMode(eBY_POLYGON_VERTEX);
            uvs->SetReferenceMode(eINDEX_TO_DIRECT);
            break;
        case 4:
            uvs->SetMappingMode(eALL_SAME);
            uvs->SetReferenceMode(eDIRECT);
            break;
        default:
            uvs->SetMappingMode(eNO_MAPPING);
            uvs->SetReferenceMode(eDIRECT);
            break;
    }
}

VOxaLayerElementUV* VOxaMesh::IndexedUVs() const {
    VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
    return (uvs != nullptr && uvs->GetMappingMode() == eBY_POLYGON_VERTEX &&
            uvs->GetReferenceMode() == eINDEX_TO_DIRECT)
               ? uvs
               : nullptr;
}

int VOxaMesh::GetTextureUVIndex(int polygon, int position) const {
    const VOxaLayerElementUV* uvs = IndexedUVs();
    const int at = PolygonVertexPosition(polygon, position);
    if (uvs == nullptr || at < 0 || at >= uvs->GetIndexArray().GetCount()) return -1;
    return uvs->GetIndexArray()[at];
}

void VOxaMesh::SetTextureUVIndex(int polygon, int position, int index) {
    VOxaLayerElementUV* uvs = IndexedUVs();
    const int at = PolygonVertexPosition(polygon, position);
    if (uvs == nullptr || at < 0) return;
    VArrayTemplate<int>& indices = uvs->GetIndexArray();
    if (indices.GetCount() < (int)mPolygonVertices.size() && !indices.SetCount((int)mPolygonVertices.size()))
        return;
    indices[at] = index;
}

int VOxaMesh::GetTextureUVMappingMode() const {
    const VOxaLayerElementUV* uvs = Layer0Element<VOxaLayerElementUV>();
    const int mode = uvs ? uvs->GetMappingMode() : eNO_MAPPING;
    return (mode == eBY_CONTROL_POINT || mode == eBY_POLYGON_VERTEX) ? mode : eNO_MAPPING;
}

// --- Materials and textures -----------------------------------------------------------------------

void VOxaMesh::InitMaterialIndices(int mode) {
    VOxaLayerElementMaterial* materials = MakeLayer0Element<VOxaLayerElementMaterial>();
    if (materials == nullptr) return;
    materials->SetReferenceMode(eINDEX_TO_DIRECT);
    VArrayTemplate<int>& indices = materials->GetIndexArray();
    indices.Clear();
    if (mode == 1) {
        if (mControlPoints.GetCount() > 0) {
            materials->SetMappingMode(eBY_CONTROL_POINT);
            indices.SetCount(mControlPoints.GetCount());
        }
    } else if (mode == 3) {
        materials->SetMappingMode(eBY_POLYGON);
    } else {
        materials->SetMappingMode(eALL_SAME);
        indices.Add(0);
    }
}

namespace {

VArrayTemplate<int>* IndicesOf(VOxaLayerElement* element) {
    if (element == nullptr) return nullptr;
    const int reference = element->GetReferenceMode();
    return (reference == eINDEX || reference == eINDEX_TO_DIRECT) ? &element->GetIndexArray() : nullptr;
}

}  // namespace

VArrayTemplate<int>* VOxaMesh::GetMaterialIndices() const {
    return IndicesOf(Layer0Element<VOxaLayerElementMaterial>());
}

int VOxaMesh::GetMaterialMappingMode() const {
    const VOxaLayerElementMaterial* materials = Layer0Element<VOxaLayerElementMaterial>();
    return materials ? materials->GetMappingMode() : eNO_MAPPING;
}

void VOxaMesh::InitTextureIndices(int mode) {
    VOxaLayerElementTexture* textures = MakeLayer0Element<VOxaLayerElementTexture>();
    if (textures == nullptr) return;
    textures->SetReferenceMode(eINDEX_TO_DIRECT);
    VArrayTemplate<int>& indices = textures->GetIndexArray();
    indices.Clear();
    if (mode == 3) {
        textures->SetMappingMode(eBY_POLYGON);
    } else {
        textures->SetMappingMode(eALL_SAME);
        indices.Add(0);
    }
}

VArrayTemplate<int>* VOxaMesh::GetTextureIndices() const {
    return IndicesOf(Layer0Element<VOxaLayerElementTexture>());
}

int VOxaMesh::GetTextureMappingMode() const {
    const VOxaLayerElementTexture* textures = Layer0Element<VOxaLayerElementTexture>();
    const int mode = textures ? textures->GetMappingMode() : eNO_MAPPING;
    return (mode == eBY_POLYGON || mode == eALL_SAME) ? mode : eNO_MAPPING;
}

// --- Normals ----------------------------------------------------------------------------------------

int VOxaMesh::GetNormalsMappingMode() const {
    const VOxaLayerElementNormal* normals = Layer0Element<VOxaLayerElementNormal>();
    const int mode = normals ? normals->GetMappingMode() : eBY_CONTROL_POINT;
    return (mode == eBY_CONTROL_POINT || mode == eBY_POLYGON_VERTEX) ? mode : eBY_CONTROL_POINT;
}

void VOxaMesh::SetNormalsMappingMode(int mode) {
    VOxaLayerElementNormal* normals = Layer0Element<VOxaLayerElementNormal>();
    if (normals != nullptr && (mode == eBY_CONTROL_POINT || mode == eBY_POLYGON_VERTEX))
        normals->SetMappingMode(mode);
}

void VOxaMesh::ComputeVertexNormals(bool clockwise) {
    InitNormals();
    VOxaLayerElementNormal* element = GetNormalElement();
    if (element == nullptr) return;
    VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    if (normals.GetCount() != mControlPoints.GetCount()) return;
    // The new normals start at zero: the corner sums gather in place, then become averages.
    VgeTVector* out = normals.GetArray();
    AccumulateCornerNormals(clockwise, out);
    for (int i = 0, n = normals.GetCount(); i < n; ++i)
        out[i] = AverageNormal(out[i]);
}

bool VOxaMesh::CheckVertexNormalsWinding() const {
    const VOxaLayerElementNormal* element = GetNormalElement();
    if (element == nullptr || element->GetDirectArray().GetCount() == 0) return false;
    std::vector<VgeTVector> sums;
    try {
        sums.resize((size_t)mControlPoints.GetCount());
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return false;
    }
    AccumulateCornerNormals(false, sums.data());
    const VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    const int count = normals.GetCount() < (int)sums.size() ? normals.GetCount() : (int)sums.size();
    for (int i = 0; i < count; ++i) {
        // A point no polygon uses has no computed normal to compare with.
        if (sums[(size_t)i][3] <= 0.0) continue;
        const VgeTVector computed = AverageNormal(sums[(size_t)i]);
        const VgeTVector& stored = normals[i];
        const double dx = stored[0] - computed[0];
        const double dy = stored[1] - computed[1];
        const double dz = stored[2] - computed[2];
        if (std::sqrt(dx * dx + dy * dy + dz * dz) < 0.01) return true;
    }
    return false;
}

// --- Copy ---------------------------------------------------------------------------------------------

VOxaMesh& VOxaMesh::operator=(const VOxaMesh& other) {
    if (&other == this) return *this;
    VOxaGeometry::operator=(other);
    try {
        mPolygons = other.mPolygons;
        mPolygonVertices = other.mPolygonVertices;
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        // Out of memory: no polygons rather than half of them.
        mPolygons.clear();
        mPolygonVertices.clear();
    }
    return *this;
}
