// Helpers shared by the curve-node implementation files; not part of the public interface.
#ifndef OXA_ANIMATION_FCURVE_NODE_INTERNAL_H
#define OXA_ANIMATION_FCURVE_NODE_INTERNAL_H

#include "animation/fcurve_node.h"

namespace fcurve_node_detail {

bool NameEqualNoCase(const char* a, const char* b);
int CompareNoCase(const char* a, const char* b);
bool HasDataType(const VFCurveNode* node, const char* typeName);
// The neutral value of component `component` for a layer type.
double IdentityComponent(int layerType, int component);

// The three Euler angles (degrees, children order X, Y, Z) of a rotation node in the node's
// order code: 0 XYZ; 12 the spheric order, built through a half-angle quaternion; 1..11 the
// general orders of the axis table. Other codes are read as 0.
void RotationToMatrix(double out[4][4], const double* xyz, int order);
void MatrixToRotation(double* xyz, const double m[4][4], int order);
// The axes (i, j, k) of an order code, in application order; XYZ for codes outside 0..11.
void OrderAxes(int order, int axes[3]);
// The Euler closeness rule: of the triple and its flipped equivalent (a+180, 180-b, c+180), in
// the order's axis sequence, each moved by whole turns towards `reference`, the nearer one
// (ties to the flipped), with the gimbal-lock balancing at a middle angle of 90 or 270. Answers
// true when the flipped triple was kept. `out` may be `values`.
bool EulerClosest(double* out, const double* values, const double* reference, int order);

// The total candidate layout of a node: how many values it stores, -1 when it stores none
// (its values do not fit the four slots). `quaternion` tells a quaternion base node, which
// stores its composed quaternion and answers three Euler angles.
int TotalValueCount(const VFCurveNode* node, bool* quaternion);
// Three XYZ Euler degrees of a quaternion, and back.
void QuaternionToEuler(double* xyz, const double* q);
void EulerToQuaternion(double* q, const double* xyz);
// True when every curve of the subtree and of the layer chain holds a candidate for `time`:
// nothing was changed since an evaluation at that time stored them.
bool CandidatesHold(const VFCurveNode* node, VTime time);

}  // namespace fcurve_node_detail

// The evaluation walks, shared with the key-setting operations.
class VFCurveNodeEval {
public:
    // Full evaluation of a node (time warp, candidate short cut, children, layer composition).
    static double* Full(VFCurveNode* node, double* values, VTime time, int* hint, bool useCandidates);
    // Full with candidates for the common channel shape, a base node with three plain curve
    // leaves and nothing else (no time warp, curve, layer or quaternion interpolation on the node
    // or its leaves), with the same values and the same candidate bookkeeping, without the
    // general walk. Null, with nothing written, for any other shape.
    static double* PlainLeaves(VFCurveNode* node, double* values, VTime time, int* hint);
    // True for that shape, with the node's leaves and their curves.
    static bool PlainShape(const VFCurveNode* node, VFCurveNode* leaves[3], VFCurve* curves[3]);
    // The values of one layer node alone: its curves (or their candidates), rotation children
    // through the rotation interpolation; no time warp, no composition.
    static double* Layer(VFCurveNode* node, double* values, VTime time, int* hint, bool candidates);
    // `time` mapped through the node's time warp (unchanged without one).
    static VTime Warp(const VFCurveNode* node, VTime time);
    // Stores the curve candidates of layer `layerID` (created when missing); `time` is used as
    // given (already warped).
    static bool SetSpecific(VFCurveNode* node, VTime time, const double* values, int layerID);
    // Stores channel values as the total candidate of a node and, split by child, of its
    // children (a quaternion node stores the quaternion of its three Euler angles). Answers the
    // position after the values used.
    static const double* StoreTotal(VFCurveNode* node, VTime time, const double* values, int specificMethod);
    // Clears the candidate bookkeeping of a subtree.
    static void ClearSubtree(VFCurveNode* node);

    // The candidate bookkeeping of one node itself (not its curve, children or layers), taken
    // and put back as it stands, the origin of a stored total included.
    struct Bookkeeping {
        int mSpecificMethod;
        int mTotalMethod;
        double mTotalValue[4];
        VTime mTotalTime;
        bool mFromEvaluation;
    };
    static Bookkeeping GetBookkeeping(const VFCurveNode* node);
    static void SetBookkeeping(VFCurveNode* node, const Bookkeeping& kept);
};

// A small value buffer on the stack, on the heap beyond 16 values.
class VFCurveNodeValueBuffer {
public:
    explicit VFCurveNodeValueBuffer(int count);
    ~VFCurveNodeValueBuffer();
    VFCurveNodeValueBuffer(const VFCurveNodeValueBuffer&) = delete;
    VFCurveNodeValueBuffer& operator=(const VFCurveNodeValueBuffer&) = delete;
    double* Get() { return mData; }
    double& operator[](int i) { return mData[i]; }

private:
    double mLocal[16];
    double* mData;
};

#endif  // OXA_ANIMATION_FCURVE_NODE_INTERNAL_H
