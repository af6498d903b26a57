// Splitting polygons into triangles.
#ifndef OXA_BASE_VGE_POLYGON_H
#define OXA_BASE_VGE_POLYGON_H

// Writes 3 x (n - 2) corner positions that split an n-gon into n - 2 triangles, working inwards
// from both ends so that no triangle is a long sliver of a fan: (0, 1, 2), (2, 3, 0),
// (0, 3, n-1), (3, 4, n-1), (n-1, 4, n-2) and so on. Every triangle keeps the winding of the
// polygon. The split looks at positions only: it is exact for convex polygons and makes no
// convexity or planarity test. The caller provides room for 3 x (n - 2) ints; for n < 3 nothing
// is written.
void VgeTriangulatePolygon(int* corners, int n);

#endif  // OXA_BASE_VGE_POLYGON_H
