#include "animation/filters/filter_rotation.h"

#include <cmath>

#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "base/vge_euler.h"

namespace oxa_filter {

// The conversions and the closeness rule are those of curve-node evaluation, so that a triple
// the filters write means the rotation the node evaluates to.

void RotationFromTriple(double out[4][4], const double triple[3], int order) {
    fcurve_node_detail::RotationToMatrix(out, triple, order);
}

void TripleFromRotation(double triple[3], const double m[4][4], int order) {
    fcurve_node_detail::MatrixToRotation(triple, m, order);
}

double AngleNearest(double angle, double reference) {
    return VFCurveNode::AngleNearest(angle, reference);
}

void EulerClosest(double out[3], const double in[3], const double reference[3], int order) {
    if (order == kSphericOrder) {
        for (int a = 0; a < 3; ++a)
            out[a] = in[a];
        return;
    }
    fcurve_node_detail::EulerClosest(out, in, reference, order);
}

double UnrollQuality(const double next[3], const double previous[3]) {
    double d2 = 0.0;
    for (int a = 0; a < 3; ++a)
        d2 += (next[a] - previous[a]) * (next[a] - previous[a]);
    if (d2 <= 2.220446049250313e-16) return 100.0;
    double ra[4][4], rb[4][4];
    VgeEulerXYZToMatrix(ra, next[0], next[1], next[2]);
    VgeEulerXYZToMatrix(rb, previous[0], previous[1], previous[2]);
    // Trace of Rb x transpose(Ra): the cosine of the angle between the two
    // orientations.
    double trace = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int k = 0; k < 3; ++k)
            trace += rb[i][k] * ra[i][k];
    }
    double quarter = (trace + 1.0) / 4.0;
    double w = quarter > 1e-10 ? std::sqrt(quarter) : 0.0;
    if (w > 1.0) w = 1.0;
    double angle = std::acos(w) * 114.59155902616465;  // twice the degrees per radian
    return angle * angle / d2;
}

void RotationProduct(double out[4][4], const double a[4][4], const double b[4][4]) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
        }
    }
}

}  // namespace oxa_filter
