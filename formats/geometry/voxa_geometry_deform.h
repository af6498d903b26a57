// Deformed vertices for the geometry writers: blend shapes at their default weights and skin
// clusters at the bones' default pose, computed in place over an array of four-double vectors
// indexed like a geometry's control points.
//
// The operations are stateless and read only default values (no time, no take). They never fail:
// they change the array they are given and nothing else. A writer that passes the geometry's own
// control-point array leaves the geometry deformed.
#ifndef OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_DEFORM_H
#define OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_DEFORM_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vge_vector.h>

class VOxaGeometry;
class VOxaNode;

// The matrix of the node's default "Lcl Translation", "Lcl Rotation" (XYZ Euler degrees) and
// "Lcl Scaling", set one after the other on an identity matrix. Pivots, offsets, pre- and
// post-rotation and the inherit type play no part. A null node gives the identity.
OXA_API VgeAMatrix GetNodeLocalMatrix(VOxaNode* node);

// The node's local matrix, then its parent's global matrix, up to and including the root. The
// walk is iterative. A null node gives the identity.
OXA_API VgeAMatrix GetNodeGlobalMatrix(VOxaNode* node);

// points[j] += sum over the shapes i of w_i * (shape_i[j] - input[j]), all four components, where
// w_i is the shape's default channel value and input[j] the unchanged point. `points` holds the
// geometry's control-point count of vectors. Shapes whose point count differs from the geometry's
// are skipped (they cannot be matched one to one). The weights are the channels of `weightsOf`
// when given (the geometry on the node, for a copy that is on none), else of `mesh`.
OXA_API void ApplyShapeDeformation(VOxaGeometry* mesh, VgeTVector* points, VOxaGeometry* weightsOf = nullptr);

// Replaces each point that a link of the geometry influences by its skinned position. Link 0's
// mode (0 normalize, 1 additive, 2 total) governs every link. `meshGlobal` is the matrix the
// calling writer uses for the geometry's node. `points` holds the geometry's control-point count
// of vectors; link indices outside that range are ignored.
OXA_API void ApplySkinDeformation(const VgeAMatrix& meshGlobal, VOxaGeometry* mesh, VgeTVector* points);

// Multiplies all 16 elements by s.
OXA_API void MatrixScale(VgeAMatrix& m, double s);
// Adds s to the four diagonal elements (the fourth included).
OXA_API void MatrixAddToDiagonal(VgeAMatrix& m, double s);
// m += n element by element (all 16).
OXA_API void MatrixAdd(VgeAMatrix& m, const VgeAMatrix& n);

#endif  // OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_DEFORM_H
