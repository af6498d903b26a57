// Euler-triple helpers shared by the rotation filters (unroll, gimbal killer).
// Triples are the values of the X, Y and Z curves in degrees; `order` is a
// node's rotation order code (2 x the rotation order, 0 Euler XYZ ... 10 Euler
// ZYX, 12 spheric). Not part of the public interface.
#ifndef OXA_ANIMATION_FILTERS_FILTER_ROTATION_H
#define OXA_ANIMATION_FILTERS_FILTER_ROTATION_H

#include <oxa/base/oxa_export.h>

namespace oxa_filter {

constexpr int kSphericOrder = 12;

// The 3x3 part of `out` becomes the rotation of the triple in that order, as
// curve-node evaluation builds it (the rest is left alone).
OXA_API void RotationFromTriple(double out[4][4], const double triple[3], int order);
// The triple of the rotation in the 3x3 part of `m`, in that order.
OXA_API void TripleFromRotation(double triple[3], const double m[4][4], int order);

// `angle` moved by whole turns of 360 towards `reference`.
OXA_API double AngleNearest(double angle, double reference);

// Of the two Euler triples equivalent to `in` (a, b, c) and (a + 180, 180 - b,
// c + 180), in the order's axis sequence, each moved by whole turns towards
// `reference`, the one nearer to `reference` (ties to the flipped one). At
// gimbal lock (middle angle 90 or 270) the two free angles share their distance
// to the reference. The spheric order gives `in` unchanged.
OXA_API void EulerClosest(double out[3], const double in[3], const double reference[3], int order);

// How much of a step from triple `previous` to triple `next` is real rotation:
// the squared rotation angle between the two XYZ orientations over the squared
// Euler distance (100 when the triples are equal). Small values mean a large
// Euler step for a small rotation.
OXA_API double UnrollQuality(const double next[3], const double previous[3]);

// out = a x b on the 3x3 parts (apply a, then b); out may not alias a or b.
OXA_API void RotationProduct(double out[4][4], const double a[4][4], const double b[4][4]);

}  // namespace oxa_filter

#endif  // OXA_ANIMATION_FILTERS_FILTER_ROTATION_H
