// Splitting polygons into triangles.
#ifndef OXA_BASE_VGE_POLYGON_H
#define OXA_BASE_VGE_POLYGON_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

// Writes 3 x (n - 2) corner positions that split an n-gon into n - 2 triangles, working inwards
// from both ends so that no triangle is a long sliver of a fan: (0, 1, 2), (2, 3, 0),
// (0, 3, n-1), (3, 4, n-1), (n-1, 4, n-2) and so on. Every triangle keeps the winding of the
// polygon. The split looks at positions only: it is exact for convex polygons and makes no
// convexity or planarity test. The caller provides room for 3 x (n - 2) ints; for n < 3 nothing
// is written.
OXA_API void VgeTriangulatePolygon(int* corners, int n);

// The same split for a polygon whose corner k lies at points[cornerPoints[k]], looked at along
// its normal (Newell's, so a polygon that is not quite flat counts as its mean plane): a polygon
// that turns one way at every corner (convex) is split as above, and so is one that gives no
// plane (all corners on a line) or names a point outside [0, pointCount) or not finite. Any
// other polygon, which that split would fold over itself, is cut by ear clipping: its triangles
// cover it exactly and all face its way. A polygon that crosses itself, where no ear is left,
// has its most convex corner cut off anyway, so every call ends with n - 2 triangles. An outline
// of 256 corners or more cuts its shortest ears first and finds the corners inside an ear
// through a grid: close to n log n when its corners spread over its bounds, at most n squared
// (as a smaller one) when its cuts must fan out from one corner along many corners in a line.
// The split depends only on the corners, so equal input gives equal triangles.
OXA_API void VgeTriangulatePolygon(int* corners, int n, const VgeTVector* points, int pointCount,
                                   const int* cornerPoints);

// The ear-clipping half of the above alone: true, with the triangles written, for a polygon that
// is cut so; false, nothing written, for one that the convex split suits (a caller with its own
// split for those keeps it).
OXA_API bool VgeTriangulateConcavePolygon(int* corners, int n, const VgeTVector* points, int pointCount,
                                          const int* cornerPoints);

#endif  // OXA_BASE_VGE_POLYGON_H
