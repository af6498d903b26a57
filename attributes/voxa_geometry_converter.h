#ifndef OXA_ATTRIBUTES_VOXA_GEOMETRY_CONVERTER_H
#define OXA_ATTRIBUTES_VOXA_GEOMETRY_CONVERTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>

class VOXASurfaceEvaluator;
class VOXAWeightTable;
class VOxaGeometry;
class VOxaGeometryBase;
class VOxaLayerContainer;
class VOxaLink;
class VOxaMesh;
class VOxaNode;
class VOxaNurb;
class VOxaPatch;
class VOxaSdkManager;

// Rewrites node attributes into other geometry kinds: triangulates meshes, patches and NURBS
// surfaces (in place on a node, keeping layers, shapes, shape animation and links), converts
// patches to NURBS surfaces, exchanges the u and v directions of a NURBS surface and splits a
// mesh per polygon vertex. Every object it makes comes from the manager and belongs to it.
// Failures answer false or null and leave the inputs unchanged.
class OXA_API VOxaGeometryConverter {
public:
    explicit VOxaGeometryConverter(VOxaSdkManager* manager) : mManager(manager) {}
    VOxaGeometryConverter(const VOxaGeometryConverter&) = delete;
    VOxaGeometryConverter& operator=(const VOxaGeometryConverter&) = delete;
    ~VOxaGeometryConverter() = default;

    // Replaces the node's mesh, patch or NURBS surface by a triangle mesh, carrying the shape
    // animation of every take node over; the old attribute is destroyed. False (nothing
    // changed) for a node without such an attribute or one that cannot be tessellated.
    bool TriangulateInPlace(VOxaNode* node);
    // A new mesh of triangles with the source's control points and layers; null for null.
    VOxaMesh* TriangulateMesh(VOxaMesh* mesh);
    // A new tessellated triangle mesh; null for null or a surface that cannot be tessellated
    // (bad counts, orders outside 1..4 for NURBS, missing knots, more vertices than an int
    // index can address).
    VOxaMesh* TriangulatePatch(VOxaPatch* patch);
    VOxaMesh* TriangulateNurb(VOxaNurb* nurb);
    // A new NURBS surface equal to the patch; null for null or bases other than Bezier,
    // B-spline and linear.
    VOxaNurb* ConvertPatchToNurb(VOxaPatch* patch);
    // Replaces the node's patch by ConvertPatchToNurb's result; false when impossible.
    bool ConvertPatchToNurbInPlace(VOxaNode* node);
    // A new copy of `nurb`, with u and v exchanged when `swapUV` and link indices remapped to
    // the transposed grid when `remapLinks`; null for null.
    VOxaNurb* FlipNurb(VOxaNurb* nurb, bool swapUV, bool remapLinks);
    // Gives every polygon vertex its own control point; false (nothing changed) when the normals
    // of the mesh or its shapes are not one per polygon vertex.
    bool SplitMeshPerPolygonVertex(VOxaMesh* mesh);

    // Tessellation helpers (used by the operations above).
    void TessellateShapes(VOxaGeometry* surface, VOxaMesh* mesh, VOXASurfaceEvaluator* evaluator, int uCount,
                          int vCount);
    void TransferLinks(VOxaGeometry* surface, VOxaMesh* mesh, VOXAWeightTable* table);
    // Moves `oldLinks` (over `sourceCount` points) onto `destinationCount` points through
    // `table` (sources x destinations), appending the new links to `output`.
    void TransferLinkWeights(VArrayTemplate<VOxaLink*>& oldLinks, int sourceCount,
                             VArrayTemplate<VOxaLink*>& output, int destinationCount, VOXAWeightTable* table);
    // Two triangles and four UVs per cell of the vertex grid; false when the grid is too large
    // for int indices (nothing added then).
    bool BuildSurfaceGrid(VOxaMesh* mesh, VOXASurfaceEvaluator* evaluator, int uCount, int vCount,
                          bool reverseWinding);
    VOxaMesh* CreateMeshFrom(VOxaGeometry* geometry);
    void ResetControlPointW(VOxaGeometryBase* geometry);
    void ResetNormalW(VOxaGeometryBase* geometry);

private:
    VOxaMesh* TriangulateSurface(VOxaGeometry* surface, VOXASurfaceEvaluator* evaluator, int uCount,
                                 int vCount, bool uClosed, bool vClosed);
    bool ReplaceAttribute(VOxaNode* node, VOxaGeometry* old, VOxaGeometry* replacement);

    VOxaSdkManager* mManager;
};

#endif  // OXA_ATTRIBUTES_VOXA_GEOMETRY_CONVERTER_H
