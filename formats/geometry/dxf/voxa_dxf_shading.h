// How the faces of a DXF polyface are shaded. DXF holds no normals: faces that share a vertex are
// smooth there where they meet at a small angle (so a box keeps its edges), and faces that carry a
// smoothing mask in their extended data (which the writer gives a mesh whose shading the angle
// does not tell) are smooth at a vertex they share when their masks share a bit.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_SHADING_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_SHADING_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VOxaMesh;

// Faces that share an edge are smooth across it when their normals differ by at most this.
constexpr double kDxfSmoothingDegrees = 30.0;
// The registered application of the extended data that holds a face record's smoothing mask
// (group 1071).
constexpr char kDxfShadingApp[] = "OXA_SHADING";

// Faces over numbered vertices: face f's corners are mCorners[mStarts[f]] up to
// mCorners[mStarts[f + 1]]; mMasks and mMasked (empty, or one per face) give the faces that carry
// a smoothing mask and their masks.
struct OXA_API DxfShadingFaces {
    std::vector<int> mStarts{0};
    std::vector<int> mCorners;
    std::vector<uint32_t> mMasks;
    std::vector<char> mMasked;
    int GetCount() const { return (int)mStarts.size() - 1; }
};

// Numbers the corners' shading sets (0, 1, ... in the order of their first corner): the corners
// of one set are at one vertex and take one normal. Each face's unit normal (Newell's; zero for a
// face of no area or with a corner outside the points) goes into `faceNormals`.
OXA_API void DxfShadingSets(const VgeTVector* points, int pointCount, const DxfShadingFaces& faces,
                            std::vector<int>& sets, std::vector<VgeTVector>& faceNormals);

// Gives a mesh read from DXF its normals, by polygon vertex, as the sets of its polygons shade
// it: each set's normal is the sum of its faces' normals made unit length. `masks` and `masked`
// (empty, or one per polygon) are the polygons' smoothing masks; when every polygon carries one,
// the masks are also kept as the mesh's smoothing (a polygon-group element), as 3DS holds them.
OXA_API void DxfShadeMesh(VOxaMesh* mesh, const std::vector<uint32_t>& masks,
                          const std::vector<char>& masked);

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_SHADING_H
