#ifndef OXA_ATTRIBUTES_VOXA_MESH_H
#define OXA_ATTRIBUTES_VOXA_MESH_H

#include <vector>

#include <oxa/attributes/voxa_geometry.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vge_vector.h>

// One polygon of a mesh: its first entry in the polygon-vertex array, its number of vertices
// and a caller-given group number.
struct OXA_API VOxaPolygon {
    int mFirst = 0;
    int mSize = 0;
    int mGroup = 0;
};

// One use of a control point by a polygon vertex, as BuildPointSplitTable records it: the
// polygon-vertex position, the control-point index the use gets, and its normal and UV.
struct OXA_API VOxaPointSplitEntry {
    int mPolygonVertex = 0;
    int mNewIndex = 0;
    VgeTVector mNormal;
    VgeVector2 mUV;
};

// Per control point, the uses of it by polygon vertices in polygon order (filled by
// VOxaMesh::BuildPointSplitTable, read by VOxaMesh::SplitPoints).
class OXA_API VOxaPointSplitTable {
public:
    // Number of control points the table covers.
    int GetPointCount() const { return mPointCount; }
    // Number of uses of `point`; 0 out of range.
    int GetEntryCount(int point) const;
    // The uses of `point` (GetEntryCount of them), or null when it has none.
    const VOxaPointSplitEntry* GetEntries(int point) const;
    // Empties the table.
    void Clear();

private:
    friend class VOxaMesh;
    int mPointCount = 0;
    // Entries of point p: mEntries[mOffsets[p] .. mOffsets[p + 1]).
    VArrayTemplate<int> mOffsets{256};
    VArrayTemplate<VOxaPointSplitEntry> mEntries{1024};
};

// The polygon-mesh attribute (type 4, "Mesh"): polygons as records over one shared array of
// control-point indices; normals, UVs, materials and textures in layer 0, which the polygon
// building operations keep in step with the polygons.
//
// A mesh is built with InitControlPoints (and filling the points), optionally
// InitMaterialIndices / InitTextureIndices (3) and InitTextureUVIndices (2) with AddTextureUV,
// then BeginPolygon, AddPolygonVertex per vertex and EndPolygon per polygon.
//
// No operation reports errors: queries out of range answer -1, 0 or null; setters that find
// their element missing or in another mode do nothing. Indices read from files may point
// anywhere: the computations skip entries out of range.
class OXA_API VOxaMesh : public VOxaGeometry {
public:
    // An empty mesh.
    explicit VOxaMesh(VOxaSdkManager* manager);
    ~VOxaMesh() override = default;

    int GetAttributeType() const override { return eMesh; }
    VString GetTypeName() const override { return VString("Mesh"); }

    // Empties the polygons, the polygon vertices and the control points and deletes the layers.
    void Reset();

    // --- Polygons ----------------------------------------------------------------------------
    // Starts a polygon in group `group`; records the material and texture index per polygon
    // when layer 0's element is mapped by polygon with an index reference. On the first polygon
    // an element missing from layer 0 is created (unmapped) unless its index is -1.
    void BeginPolygon(int materialIndex = -1, int textureIndex = -1, int group = -1);
    // Appends a vertex to the polygon begun last and answers its new size; records the UV index
    // when layer 0's UVs are mapped by polygon vertex through indices (a UV index other than -1
    // makes the UV element when missing). Without a polygon begun: nothing, 0.
    int AddPolygonVertex(int index, int textureUVIndex = -1);
    // Ends the polygon; nothing to do.
    void EndPolygon() {}
    // Makes room for `polygons` more polygons with `vertices` more vertices in all, so that a
    // mesh built to a known size holds no spare room (a hint: nothing changes without memory).
    void ReservePolygons(int polygons, int vertices);
    int GetPolygonCount() const { return (int)mPolygons.size(); }
    // Size and group of a polygon; -1 out of range.
    int GetPolygonSize(int polygon) const;
    int GetPolygonGroup(int polygon) const;
    // The control-point index at `position` of `polygon`; -1 out of range.
    int GetPolygonVertex(int polygon, int position) const;
    // All polygon vertices, polygon after polygon (null when there are none).
    int* GetPolygonVertices() { return mPolygonVertices.empty() ? nullptr : mPolygonVertices.data(); }
    const int* GetPolygonVertices() const {
        return mPolygonVertices.empty() ? nullptr : mPolygonVertices.data();
    }
    int GetPolygonVertexCount() const { return (int)mPolygonVertices.size(); }
    // The control-point indices of one polygon, its size in a row; null out of range or empty.
    const int* GetPolygonVertices(int polygon) const {
        const int at = PolygonVertexPosition(polygon, 0);
        return at >= 0 ? mPolygonVertices.data() + at : nullptr;
    }
    // The normal of that polygon vertex from layer 0, honouring the normal mapping (by control
    // point or by polygon vertex, direct or index-to-direct); `normal` is left unchanged when
    // there is none. Answers whether it was set.
    bool GetPolygonVertexNormal(int polygon, int position, VgeTVector& normal) const;

    // --- UVs of layer 0 ----------------------------------------------------------------------
    // Makes layer 0 and its UV element when missing and sets the UV count (values zero).
    void InitTextureUV(int count);
    // Appends a UV; nothing when layer 0 has no UV element.
    void AddTextureUV(const VgeVector2& uv);
    // The UV array or null; the number of UVs or 0.
    VgeVector2* GetTextureUV() const;
    int GetTextureUVCount() const;
    // Makes the UV element when missing and empties it; mode 1: by control point, direct;
    // 2: by polygon vertex, index-to-direct; 4: all same, direct; other: unmapped, direct.
    void InitTextureUVIndices(int mode);
    // The UV index of a polygon vertex when the UVs are mapped by polygon vertex through
    // indices; -1 otherwise or out of range.
    int GetTextureUVIndex(int polygon, int position) const;
    // Stores it under the same conditions (growing the index array to the polygon-vertex count).
    void SetTextureUVIndex(int polygon, int position, int index);
    // The UV mapping when it is 1 or 2, else 0.
    int GetTextureUVMappingMode() const;

    // --- Materials and textures of layer 0 ---------------------------------------------------
    // Makes the material element when missing, index-to-direct, empty index array; mode 1: by
    // control point with one zero per control point (when there are points); 3: by polygon,
    // filled by BeginPolygon; other: all same with one index 0.
    void InitMaterialIndices(int mode);
    // The material index array when the reference is an index one, else null.
    VArrayTemplate<int>* GetMaterialIndices() const;
    // The material mapping, 0 without element.
    int GetMaterialMappingMode() const;
    // As InitMaterialIndices for textures, with modes 3 (by polygon) and other (all same).
    void InitTextureIndices(int mode);
    VArrayTemplate<int>* GetTextureIndices() const;
    // The texture mapping when it is 3 or 4, else 0.
    int GetTextureMappingMode() const;

    // --- Normals of layer 0 ------------------------------------------------------------------
    // The normal mapping when it is 1 or 2, else 1 (also without normals).
    int GetNormalsMappingMode() const;
    // Sets modes 1 and 2 only, and only when the normal element exists.
    void SetNormalsMappingMode(int mode);
    // Averages the corner normals of the polygons into one normal per control point (mapped by
    // control point, direct); `clockwise` turns them over. A point no polygon uses gets
    // (0, 0, 0, 1).
    void ComputeVertexNormals(bool clockwise = false);
    // True when some used control point's stored normal lies within 0.01 of its computed
    // counter-clockwise normal; false without normals or when none does.
    bool CheckVertexNormalsWinding() const;

    // --- Point splitting and merging ---------------------------------------------------------
    // Records, per control point, its uses by polygon vertices with normal and UV and the index
    // each use gets (the first keeps the point, later ones get new points). Nothing when `flag`
    // is non-zero.
    void BuildPointSplitTable(VOxaPointSplitTable& table, int flag);
    // Gives each later use its own control point, following through the links, the shapes,
    // the normals and the UVs.
    void SplitPoints(const VOxaPointSplitTable& table);
    // Maps each control point to the first earlier point equal to it (x, y, z within 1e-6), or
    // to itself; answers whether any duplicate was found. Without `findAll` it stops at the
    // first point already mapped away. Nothing (false) when `flag` is non-zero.
    bool FindDuplicatePoints(VArrayTemplate<int>& map, int flag, bool findAll);
    // Removes the points the map sends elsewhere, compacting the others in order and rewriting
    // the polygon vertices, link indices, shapes and per-point layer data through the map.
    void MergeDuplicatePoints(const VArrayTemplate<int>& map);

    // The geometry copy, then the polygons and polygon vertices.
    VOxaMesh& operator=(const VOxaMesh& other);

private:
    // The position in the polygon-vertex array of that vertex, or -1.
    int PolygonVertexPosition(int polygon, int position) const;
    // Layer 0's element of that class, or null; the Make form creates layer 0 and the element
    // (unmapped, direct; a texture element index-to-direct) when missing.
    template <typename Element>
    Element* Layer0Element() const;
    template <typename Element>
    Element* MakeLayer0Element();
    // Layer 0's UVs when they are mapped by polygon vertex through indices, else null.
    VOxaLayerElementUV* IndexedUVs() const;
    // Adds to `sums` (one zeroed vector per control point) the corner normals of the polygons,
    // w counting the corners; corners with a point out of range add nothing.
    void AccumulateCornerNormals(bool clockwise, VgeTVector* sums) const;
    // Reserves room in the working lists of the point operations for the longest link and the
    // largest shape, so that filling them later needs no memory.
    void ReserveScratch(std::vector<int>& indices, std::vector<double>& weights,
                        std::vector<VgeTVector>& shapePoints) const;

    // Plain vectors: they grow by doubling, so building a large mesh vertex by vertex copies
    // each record about once.
    std::vector<VOxaPolygon> mPolygons;
    std::vector<int> mPolygonVertices;
    // Set when the last BeginPolygon could not add its polygon: the vertices added after it are
    // dropped rather than joined to the polygon before.
    bool mPolygonRefused = false;
};

#endif  // OXA_ATTRIBUTES_VOXA_MESH_H
