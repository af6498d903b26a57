// Curve-node evaluation: time warps, children, rotation interpolation, layer composition and the
// candidate bookkeeping.
#include <cmath>
#include <cstring>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/fcurve_node_internal.h"
#include "base/vge_matrix.h"

using namespace fcurve_node_detail;

namespace {

constexpr double kHalfDegree = 0.008726646259971648;  // degrees to half radians
constexpr double kTwiceRadian = 114.59155902616465;   // half radians to degrees
constexpr double kTurn = 0.002777777777777778;        // 1 / 360

void Identity(double m[4][4]) {
    VgeMatrixIdentity(m);
}

void Transpose(double out[4][4], const double m[4][4]) {
    Identity(out);
    VgeMatrixTranspose3(out, m);
}

void QuaternionInverse(double* out, const double* q) {
    double len2 = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    if (!(len2 > 0.0)) {
        VgeQuaternionSet(out, 0.0, 0.0, 0.0, 1.0);
        return;
    }
    VgeQuaternionSet(out, -q[0] / len2, -q[1] / len2, -q[2] / len2, q[3] / len2);
}

double Clamp1(double v) {
    return v > 1.0 ? 1.0 : (v < -1.0 ? -1.0 : v);
}

// A rotation node whose three children are plain leaves, so that its rotation can be
// interpolated from their curves directly.
bool RotationLeaves(const VFCurveNode* node, bool full) {
    for (int i = 0; i < 3; ++i) {
        const VFCurveNode* child = node->VFCurveNode::Get(i);
        if (!child || !child->FCurveGet() || child->VFCurveNode::GetCount() != 0) return false;
        if (full && (child->GetTimeWarp() || child->GetNextLayer())) return false;
    }
    return true;
}

}  // namespace

// ---- Shared helpers -------------------------------------------------------------------------

namespace fcurve_node_detail {

void OrderAxes(int order, int axes[3]) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    int row = (order >= 0 && order <= 11) ? order / 2 : 0;
    axes[0] = kAxes[row][0];
    axes[1] = kAxes[row][1];
    axes[2] = kAxes[row][2];
}

void RotationToMatrix(double out[4][4], const double* xyz, int order) {
    if (order == 12) {
        // The spheric order: the half-angle quaternion below, made into a matrix.
        double cx = std::cos(xyz[0] * kHalfDegree), sx = std::sin(xyz[0] * kHalfDegree);
        double cy = std::cos(xyz[1] * kHalfDegree), sy = std::sin(xyz[1] * kHalfDegree);
        double cz = std::cos(xyz[2] * kHalfDegree), sz = std::sin(xyz[2] * kHalfDegree);
        double q[4] = {sx * cy * cz, cx * sy + sx * sz, cx * sz - sx * sy, cx * cy * cz};
        VgeQuaternionToMatrix(out, q);
    } else if (order >= 1 && order <= 11) {
        int a[3];
        OrderAxes(order, a);
        VgeEulerToMatrix(out, xyz[a[0]], xyz[a[1]], xyz[a[2]], order);
    } else {
        VgeEulerXYZToMatrix(out, xyz[0], xyz[1], xyz[2]);
    }
}

void MatrixToRotation(double* xyz, const double m[4][4], int order) {
    if (order == 12) {
        // Inverse of the spheric construction q ~ (sa cb cc, ca sb + sa sc, ca sc - sa sb, ca cb cc)
        // with a, b, c the half angles: x and w give a; turning (y, z) back by a gives
        // (sb, sc) / k, and k follows from |q| = 1: k^2 = 1 + sb^2 sc^2.
        double q[4];
        VgeMatrixToQuaternion(q, m);
        double len = VgeQuaternionLength(q);
        if (len > 0.0) VgeQuaternionScale(q, q, 1.0 / len);
        if (q[3] < 0.0) VgeQuaternionScale(q, q, -1.0);
        double a = std::atan2(q[0], q[3]);
        double ca = std::cos(a), sa = std::sin(a);
        double u = ca * q[1] - sa * q[2];
        double v = sa * q[1] + ca * q[2];
        double p = 4.0 * u * u * v * v;
        if (p > 1.0) p = 1.0;
        double k = std::sqrt(2.0 / (1.0 + std::sqrt(1.0 - p)));
        xyz[0] = a * kTwiceRadian;
        xyz[1] = std::asin(Clamp1(u * k)) * kTwiceRadian;
        xyz[2] = std::asin(Clamp1(v * k)) * kTwiceRadian;
    } else if (order >= 1 && order <= 11) {
        int a[3];
        OrderAxes(order, a);
        double angles[3];
        VgeMatrixToEuler(angles, m, order);
        xyz[a[0]] = angles[0];
        xyz[a[1]] = angles[1];
        xyz[a[2]] = angles[2];
    } else {
        VgeMatrixToEulerXYZ(xyz, m);
    }
}

static double TurnToward(double angle, double reference) {
    double turns = (reference - angle) * kTurn;
    double whole = std::trunc(turns);
    double fraction = turns - whole;
    if (fraction > 0.5) whole += 1.0;
    if (fraction < -0.5) whole -= 1.0;
    return angle + 360.0 * whole;
}

// At a middle angle of +-90 only one combination of the outer angles is fixed (their difference
// or their sum, by the order's parity); the other is shared out so both outer angles sit as near
// their references as the rotation allows.
static void BalanceGimbal(double t[3], const double r[3], bool oddParity) {
    double middle = std::fmod(t[1], 360.0);
    if (middle < 0.0) middle += 360.0;
    bool at90 = std::fabs(middle - 90.0) < 1e-6;
    bool at270 = std::fabs(middle - 270.0) < 1e-6;
    if (!at90 && !at270) return;
    double da = r[0] - t[0], dc = r[2] - t[2];
    if (at90 != oddParity) {
        double s = (da + dc) * 0.5;  // the difference of the outer angles is fixed
        t[0] += s;
        t[2] += s;
    } else {
        double h = (da - dc) * 0.5;  // their sum is fixed
        t[0] += h;
        t[2] -= h;
    }
}

bool EulerClosest(double* out, const double* values, const double* reference, int order) {
    int a[3];
    OrderAxes(order, a);
    bool odd = order >= 0 && order <= 11 && (order & 2) != 0;
    double v[3] = {values[a[0]], values[a[1]], values[a[2]]};
    double r[3] = {reference[a[0]], reference[a[1]], reference[a[2]]};
    double plain[3], flipped[3];
    for (int i = 0; i < 3; ++i)
        plain[i] = TurnToward(v[i], r[i]);
    flipped[0] = TurnToward(v[0] + 180.0, r[0]);
    flipped[1] = TurnToward(180.0 - v[1], r[1]);
    flipped[2] = TurnToward(v[2] + 180.0, r[2]);
    BalanceGimbal(plain, r, odd);
    BalanceGimbal(flipped, r, odd);
    double dp = 0.0, df = 0.0;
    for (int i = 0; i < 3; ++i) {
        dp += (plain[i] - r[i]) * (plain[i] - r[i]);
        df += (flipped[i] - r[i]) * (flipped[i] - r[i]);
    }
    const double* best = df <= dp ? flipped : plain;
    double result[3] = {best[0], best[1], best[2]};
    out[a[0]] = result[0];
    out[a[1]] = result[1];
    out[a[2]] = result[2];
    return best == flipped;
}

int TotalValueCount(const VFCurveNode* node, bool* quaternion) {
    *quaternion = false;
    int count = node->VFCurveNode::GetCount();
    if (node->FCurveGet()) return count == 0 ? 1 : -1;
    if (node->GetLayerType() == eFCURVENODE_LAYER_QUATERNION && node->GetLayerID() == 0 && count == 4) {
        *quaternion = true;
        return 4;
    }
    if (count == 0 || count > 4) return -1;
    for (int i = 0; i < count; ++i) {
        if (node->VFCurveNode::Get(i)->GetValueCount() != 1) return -1;
    }
    return count;
}

void QuaternionToEuler(double* xyz, const double* q) {
    double m[4][4];
    Identity(m);
    VgeQuaternionToMatrix(m, q);
    VgeMatrixToEulerXYZ(xyz, m);
}

void EulerToQuaternion(double* q, const double* xyz) {
    double m[4][4];
    Identity(m);
    VgeEulerXYZToMatrix(m, xyz[0], xyz[1], xyz[2]);
    VgeMatrixToQuaternion(q, m);
}

static bool SubtreeCandidatesHold(const VFCurveNode* node, VTime time) {
    if (const VFCurve* curve = node->FCurveGet()) {
        if (curve->CandidateGetTime() != time) return false;
    }
    for (int i = 0; i < node->VFCurveNode::GetCount(); ++i) {
        if (!SubtreeCandidatesHold(node->VFCurveNode::Get(i), time)) return false;
    }
    return true;
}

bool CandidatesHold(const VFCurveNode* node, VTime time) {
    for (const VFCurveNode* layer = node; layer; layer = layer->GetNextLayer()) {
        if (!SubtreeCandidatesHold(layer, time)) return false;
    }
    return true;
}

}  // namespace fcurve_node_detail

VFCurveNodeValueBuffer::VFCurveNodeValueBuffer(int count) : mData(mLocal) {
    if (count > 16) mData = new double[count];
    for (int i = 0; i < (count > 16 ? count : 16); ++i)
        mData[i] = 0.0;
}

VFCurveNodeValueBuffer::~VFCurveNodeValueBuffer() {
    if (mData != mLocal) delete[] mData;
}

// ---- Rotation interpolation -----------------------------------------------------------------

// The three angles of a rotation node: component-wise from the curves, or, with quaternion
// interpolation between two keys, a cubic Bezier of the orientations in quaternion space.
static double* RotationInterpolation(VFCurveNode* node, double* out, VTime time, int* hint, bool candidates,
                                     bool full) {
    VFCurve* curves[3] = {node->VFCurveNode::Get(0)->FCurveGet(), node->VFCurveNode::Get(1)->FCurveGet(),
                          node->VFCurveNode::Get(2)->FCurveGet()};
    bool componentWise = !node->GetQuaternionInterpolation();
    if (!componentWise && candidates) {
        for (VFCurve* c : curves) {
            if (c->IsCandidate() && c->CandidateGetTime() == time) componentWise = true;
        }
    }
    double x = -1.0;
    int count = curves[0]->KeyGetCount();
    if (!componentWise) {
        x = count >= 2 ? curves[0]->KeyFind(time, hint) : -1.0;
        componentWise = x < 0.0 || x > count - 1 || x == std::floor(x);
    }
    if (componentWise) {
        for (int i = 0; i < 3; ++i) {
            out = full ? VFCurveNodeEval::Full(node->VFCurveNode::Get(i), out, time, hint, candidates)
                       : VFCurveNodeEval::Layer(node->VFCurveNode::Get(i), out, time, hint, candidates);
        }
        return out;
    }

    int k = (int)std::floor(x);
    VTime t0 = curves[0]->KeyGetTime(k);
    VTime t1 = curves[0]->KeyGetTime(k + 1);
    double dt = (t1 - t0).GetSecondDouble();
    double p[4][3];
    for (int a = 0; a < 3; ++a) {
        VFCurve* c = curves[a];
        p[0][a] = c->Evaluate(t0);
        p[3][a] = c->Evaluate(t1);
        p[1][a] = p[0][a] + c->EvaluateRightDerivative(t0) * dt / 3.0;
        p[2][a] = p[3][a] - c->EvaluateLeftDerivative(t1) * dt / 3.0;
    }
    int order = node->GetRotationOrder();
    double o0[4][4], o0t[4][4], ok[4][4], rel[4][4];
    Identity(o0);
    RotationToMatrix(o0, p[0], order);
    Transpose(o0t, o0);
    double q[4][4];
    VgeQuaternionSet(q[0], 0.0, 0.0, 0.0, 1.0);
    for (int i = 1; i < 4; ++i) {
        Identity(ok);
        RotationToMatrix(ok, p[i], order);
        Identity(rel);
        VgeMatrixMultRotation(rel, ok, o0t);  // o0^T x ok: the orientation relative to the key
        VgeMatrixToQuaternion(q[i], rel);
        double dot =
            q[i][0] * q[i - 1][0] + q[i][1] * q[i - 1][1] + q[i][2] * q[i - 1][2] + q[i][3] * q[i - 1][3];
        if (dot < 0.0) VgeQuaternionScale(q[i], q[i], -1.0);
    }
    double u = (double)(time - t0).Get() / (double)(t1 - t0).Get();
    for (int level = 3; level > 0; --level) {
        for (int i = 0; i < level; ++i) {
            for (int c = 0; c < 4; ++c)
                q[i][c] = (1.0 - u) * q[i][c] + u * q[i + 1][c];
        }
    }
    double mq[4][4], result[4][4];
    Identity(mq);
    VgeQuaternionToMatrix(mq, q[0]);
    Identity(result);
    VgeMatrixMultRotation(result, mq, o0);  // o0 x mq
    double angles[3];
    MatrixToRotation(angles, result, order);
    if (order != 12) {
        // Keep the angles on the branch of the component-wise values, near the keys' own turns.
        double reference[3] = {curves[0]->Evaluate(time), curves[1]->Evaluate(time),
                               curves[2]->Evaluate(time)};
        EulerClosest(angles, angles, reference, order);
    }
    out[0] = angles[0];
    out[1] = angles[1];
    out[2] = angles[2];
    return out + 3;
}

// ---- Evaluation walks -----------------------------------------------------------------------

// The warp node is evaluated plainly (its own hint, no candidates), so warping never leaves
// candidate bookkeeping on it.
VTime VFCurveNodeEval::Warp(const VFCurveNode* node, VTime time) {
    VFCurveNode* warp = node->mTimeWarp;
    if (!warp) return time;
    int hint = 0;
    VFCurveNodeValueBuffer buffer(warp->GetValueCount());
    double* end = Full(warp, buffer.Get(), time, &hint, false);
    if (end == buffer.Get()) return time;
    VTime warped;
    warped.SetSecondDouble(buffer[0]);
    return warped;
}

// Copies a stored total out as channel values: a quaternion node's composed quaternion goes out
// as the three Euler angles a full evaluation gives.
static double* CopyTotalOut(double* values, int count, bool quaternion, const double* total) {
    if (quaternion) {
        QuaternionToEuler(values, total);
        return values + 3;
    }
    for (int i = 0; i < count; ++i)
        values[i] = total[i];
    return values + count;
}

// The rotation of a chain of Euler layers from `layer` on, as a matrix (the higher layers turn
// first), with the sum of their angle triples. False when `layer` is not a plain Euler layer
// (then it is evaluated and composed the general way). Composing whole chains in matrices
// saves an angle extraction and a matrix per layer.
static bool RotationChain(VFCurveNode* layer, int order, VTime time, int* hint, bool candidates,
                          double m[4][4], double sum[3]) {
    if (!layer || layer->GetTimeWarp() || layer->FCurveGet() ||
        layer->GetLayerType() != eFCURVENODE_LAYER_EULER_ROTATION || layer->VFCurveNode::GetCount() != 3 ||
        !RotationLeaves(layer, true)) {
        return false;
    }
    double v[3];
    RotationInterpolation(layer, v, time, hint, candidates, true);
    Identity(m);
    RotationToMatrix(m, v, order);
    for (int i = 0; i < 3; ++i)
        sum[i] = v[i];
    VFCurveNode* next = layer->GetNextLayer();
    if (!next) return true;
    double rest[4][4], restSum[3];
    if (!RotationChain(next, order, time, hint, candidates, rest, restSum)) {
        VFCurveNodeValueBuffer values(next->GetValueCount());
        double* L = values.Get();
        if (VFCurveNodeEval::Full(next, L, time, hint, candidates) - L < 3) return true;
        Identity(rest);
        RotationToMatrix(rest, L, order);
        for (int i = 0; i < 3; ++i)
            restSum[i] = L[i];
    }
    VgeMatrixMultRotation(m, m, rest);  // rest x m: the higher layers first
    for (int i = 0; i < 3; ++i)
        sum[i] += restSum[i];
    return true;
}

double* VFCurveNodeEval::Full(VFCurveNode* node, double* values, VTime time, int* hint, bool useCandidates) {
    if (node->mTimeWarp) time = Warp(node, time);

    bool quaternionTotal = false;
    int totalCount = 0;
    bool base = node->mLayerID == 0;
    if (useCandidates && base) {
        totalCount = TotalValueCount(node, &quaternionTotal);
        if (totalCount > 0 && node->mTotalCandidateMethod == VFCurveNode::eTOTAL_STORED &&
            (node->mCandidateTotalTime == time || node->GetCandidateAtAnyTime()) &&
            (!node->mTotalFromEvaluation || CandidatesHold(node, time))) {
            return CopyTotalOut(values, totalCount, quaternionTotal, node->mCandidateTotalValue);
        }
    }

    double* out = values;
    VFCurve* curve = node->mFCurve;
    if (curve) *out++ = useCandidates ? curve->CandidateEvaluate(time, hint) : curve->Evaluate(time, hint);

    int count = node->mNodes.GetCount();
    int type = node->mLayerType;
    bool quaternionBase = type == eFCURVENODE_LAYER_QUATERNION && base && count == 4;
    double q[4] = {0.0, 0.0, 0.0, 1.0};
    double* children = out;
    if (quaternionBase) {
        for (int i = 0; i < 4; ++i) {
            VFCurveNode* child = node->mNodes[i];
            VFCurveNodeValueBuffer buffer(child->GetValueCount());
            double* end = Full(child, buffer.Get(), time, hint, useCandidates);
            q[i] = end > buffer.Get() ? buffer[0] : 0.0;
        }
    } else if (type == eFCURVENODE_LAYER_EULER_ROTATION && count == 3 && RotationLeaves(node, true)) {
        out = RotationInterpolation(node, out, time, hint, useCandidates, true);
    } else {
        for (int i = 0; i < count; ++i)
            out = Full(node->mNodes[i], out, time, hint, useCandidates);
    }

    VFCurveNode* next = node->mNextLayer;
    if (next && !curve && type == eFCURVENODE_LAYER_EULER_ROTATION && out - children == 3) {
        double chain[4][4], sum[3];
        if (RotationChain(next, node->mRotationOrder, time, hint, useCandidates, chain, sum)) {
            double a[4][4], product[4][4];
            Identity(a);
            Identity(product);
            RotationToMatrix(a, children, node->mRotationOrder);
            VgeMatrixMultRotation(product, a, chain);  // chain x a: the layers, then the base
            // The extraction answers angles within one turn; keep them on the branch of the
            // summed angles so that a channel past 180 degrees stays continuous.
            double reference[3] = {children[0] + sum[0], children[1] + sum[1], children[2] + sum[2]};
            MatrixToRotation(children, product, node->mRotationOrder);
            if (node->mRotationOrder != 12) EulerClosest(children, children, reference, node->mRotationOrder);
            next = nullptr;  // composed
        }
    }
    if (next) {
        VFCurveNodeValueBuffer layer(next->GetValueCount());
        double* L = layer.Get();
        int m = (int)(Full(next, L, time, hint, useCandidates) - L);
        int n = (int)(out - children);
        if (curve) {
            if (m >= 1) {
                if (type == eFCURVENODE_LAYER_ADDITIVE_COMPONENT || type == eFCURVENODE_LAYER_ADDITIVE) {
                    values[0] += L[0];
                } else if (type == eFCURVENODE_LAYER_MULTIPLICATIVE) {
                    values[0] *= L[0];
                }
            }
        } else {
            int c = n < m ? n : m;
            switch (type) {
                case eFCURVENODE_LAYER_ADDITIVE_COMPONENT:
                case eFCURVENODE_LAYER_ADDITIVE:
                    for (int i = 0; i < c; ++i)
                        children[i] += L[i];
                    break;
                case eFCURVENODE_LAYER_MULTIPLICATIVE:
                    for (int i = 0; i < c; ++i)
                        children[i] *= L[i];
                    break;
                case eFCURVENODE_LAYER_EULER_ROTATION:
                    if (n == 3 && m >= 3) {
                        double a[4][4], b[4][4], product[4][4];
                        Identity(a);
                        Identity(b);
                        Identity(product);
                        RotationToMatrix(a, children, node->mRotationOrder);
                        RotationToMatrix(b, L, node->mRotationOrder);
                        VgeMatrixMultRotation(product, a, b);  // b x a: the layer, then the base
                        // The extraction answers angles within one turn; keep them on the branch
                        // of the summed angles so that a channel past 180 degrees stays continuous.
                        double reference[3] = {children[0] + L[0], children[1] + L[1], children[2] + L[2]};
                        MatrixToRotation(children, product, node->mRotationOrder);
                        if (node->mRotationOrder != 12) {
                            EulerClosest(children, children, reference, node->mRotationOrder);
                        }
                    }
                    break;
                case eFCURVENODE_LAYER_QUATERNION:
                    if (quaternionBase && m >= 4) {
                        VgeQuaternionProduct(q, q, L);
                    } else if (n == 4 && m >= 4) {
                        VgeQuaternionProduct(children, children, L);
                    }
                    break;
                default:
                    break;
            }
        }
    }

    if (quaternionBase) {
        QuaternionToEuler(out, q);
        out += 3;
    }

    if (useCandidates && base && totalCount > 0) {
        node->mTotalCandidateMethod = VFCurveNode::eTOTAL_STORED;
        node->mCandidateTotalTime = time;
        const double* source = quaternionTotal ? q : values;
        for (int i = 0; i < totalCount; ++i)
            node->mCandidateTotalValue[i] = source[i];
        node->mTotalFromEvaluation = true;
    }
    return out;
}

double* VFCurveNodeEval::Layer(VFCurveNode* node, double* values, VTime time, int* hint, bool candidates) {
    double* out = values;
    if (VFCurve* curve = node->mFCurve) {
        *out++ = candidates ? curve->CandidateEvaluate(time, hint) : curve->Evaluate(time, hint);
    }
    int count = node->mNodes.GetCount();
    if (node->mLayerType == eFCURVENODE_LAYER_EULER_ROTATION && count == 3 && RotationLeaves(node, false)) {
        return RotationInterpolation(node, out, time, hint, candidates, false);
    }
    for (int i = 0; i < count; ++i)
        out = Layer(node->mNodes[i], out, time, hint, candidates);
    return out;
}

bool VFCurveNodeEval::PlainShape(const VFCurveNode* node, VFCurveNode* leaves[3], VFCurve* curves[3]) {
    if (node->mTimeWarp || node->mFCurve || node->mNextLayer || node->mLayerID != 0 ||
        node->mNodes.GetCount() != 3 || node->mLayerType == eFCURVENODE_LAYER_QUATERNION ||
        (node->mLayerType == eFCURVENODE_LAYER_EULER_ROTATION && node->mQuaternionInterpolation)) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        VFCurveNode* leaf = node->mNodes[i];
        if (!leaf || !leaf->mFCurve || leaf->mNodes.GetCount() != 0 || leaf->mTimeWarp || leaf->mNextLayer ||
            leaf->mLayerID != 0) {
            return false;
        }
        leaves[i] = leaf;
        curves[i] = leaf->mFCurve;
    }
    return true;
}

double* VFCurveNodeEval::PlainLeaves(VFCurveNode* node, double* values, VTime time, int* hint) {
    VFCurveNode* leaves[3];
    VFCurve* curves[3];
    if (!PlainShape(node, leaves, curves)) return nullptr;
    // Full's candidate short cut: a stored total answers for `time` when it was stored at that
    // time (or the node takes candidates at any time) and, when an evaluation stored it, every
    // curve below still holds its candidate for that time.
    auto storedHolds = [time](const VFCurveNode* n, VFCurve* const* c, int count) {
        if (n->mTotalCandidateMethod != VFCurveNode::eTOTAL_STORED) return false;
        if (n->mCandidateTotalTime != time && !n->GetCandidateAtAnyTime()) return false;
        if (!n->mTotalFromEvaluation) return true;
        for (int i = 0; i < count; ++i)
            if (c[i]->CandidateGetTime() != time) return false;
        return true;
    };
    if (storedHolds(node, curves, 3)) {
        for (int i = 0; i < 3; ++i)
            values[i] = node->mCandidateTotalValue[i];
        return values + 3;
    }
    for (int i = 0; i < 3; ++i) {
        VFCurveNode* leaf = leaves[i];
        if (storedHolds(leaf, &curves[i], 1)) {
            values[i] = leaf->mCandidateTotalValue[0];
            continue;
        }
        values[i] = curves[i]->CandidateEvaluate(time, hint);
        leaf->mTotalCandidateMethod = VFCurveNode::eTOTAL_STORED;
        leaf->mCandidateTotalTime = time;
        leaf->mCandidateTotalValue[0] = values[i];
        leaf->mTotalFromEvaluation = true;
    }
    node->mTotalCandidateMethod = VFCurveNode::eTOTAL_STORED;
    node->mCandidateTotalTime = time;
    for (int i = 0; i < 3; ++i)
        node->mCandidateTotalValue[i] = values[i];
    node->mTotalFromEvaluation = true;
    return values + 3;
}

// ---- Public evaluation ----------------------------------------------------------------------

double* VFCurveNode::EvaluatePlainLeaves(double* values, VTime time, int* lastIndex) {
    return VFCurveNodeEval::PlainLeaves(this, values, time, lastIndex);
}

bool VFCurveNode::GetPlainCurves(VFCurve* curves[3]) const {
    VFCurveNode* leaves[3];
    if (!VFCurveNodeEval::PlainShape(this, leaves, curves)) return false;
    // Stored values answer instead of the curves at their times: they may stay only when they
    // are what the curves give at those times. The comparison is bit for bit, each curve searched
    // with a position of its own so that its last position stays as it is.
    auto plainAt = [&](int curve, VTime time, double value) {
        int hint = 0;
        const double plain = curves[curve]->Evaluate(time, &hint);
        return std::memcmp(&plain, &value, sizeof value) == 0;
    };
    for (int i = 0; i < 3; ++i)
        if (curves[i]->IsCandidate() && !plainAt(i, curves[i]->CandidateGetTime(), curves[i]->CandidateGet()))
            return false;
    const VFCurveNode* holders[4] = {this, leaves[0], leaves[1], leaves[2]};
    for (int h = 0; h < 4; ++h) {
        const VFCurveNode* n = holders[h];
        if (n->mTotalCandidateMethod != eTOTAL_STORED) continue;
        // A total stored by hand, or one that answers at any time, is not the curves' value.
        if (!n->mTotalFromEvaluation || n->GetCandidateAtAnyTime()) return false;
        for (int i = h == 0 ? 0 : h - 1; i < (h == 0 ? 3 : h); ++i)
            if (!plainAt(i, n->mCandidateTotalTime, n->mCandidateTotalValue[h == 0 ? i : 0])) return false;
    }
    return true;
}

double* VFCurveNode::Evaluate(double* values, VTime time, int* lastIndex) {
    // Most channels are three plain curves: their evaluation skips the general walk.
    if (double* end = VFCurveNodeEval::PlainLeaves(this, values, time, lastIndex)) return end;
    return VFCurveNodeEval::Full(this, values, time, lastIndex, true);
}

double* VFCurveNode::EvaluateLayer(double* values, VTime time, int* lastIndex, int layerID) {
    VFCurveNode* layer = GetLayerFiltered(layerID);
    return layer ? VFCurveNodeEval::Layer(layer, values, time, lastIndex, false) : values;
}

double* VFCurveNode::CandidateEvaluateLayer(double* values, VTime time, int* lastIndex, int layerID) {
    VFCurveNode* layer = GetLayerFiltered(layerID);
    return layer ? VFCurveNodeEval::Layer(layer, values, time, lastIndex, true) : values;
}

double* VFCurveNode::EvaluateCurves(double* values, VTime time, int* lastIndex) const {
    if (mFCurve) *values++ = mFCurve->Evaluate(time, lastIndex);
    for (int i = 0; i < mNodes.GetCount(); ++i)
        values = mNodes[i]->EvaluateCurves(values, time, lastIndex);
    return values;
}

double* VFCurveNode::GetDefaultValues(double* values) const {
    if (mFCurve) *values++ = mFCurve->GetDefaultValue();
    for (int i = 0; i < mNodes.GetCount(); ++i)
        values = mNodes[i]->GetDefaultValues(values);
    return values;
}

const double* VFCurveNode::SetDefaultValues(const double* values) {
    if (mFCurve) mFCurve->SetDefaultValue((float)*values++);
    for (int i = 0; i < mNodes.GetCount(); ++i)
        values = mNodes[i]->SetDefaultValues(values);
    return values;
}

double* VFCurveNode::GetIdentityValues(double* values) const {
    int count = mNodes.GetCount();
    if (count == 0) {
        if (mFCurve) *values++ = IdentityComponent(mLayerType, 0);
        return values;
    }
    for (int i = 0; i < count; ++i)
        *values++ = IdentityComponent(mLayerType, i);
    return values;
}

int VFCurveNode::GetValueCount() const {
    int count = mFCurve ? 1 : 0;
    if (mLayerType == eFCURVENODE_LAYER_QUATERNION && mLayerID == 0 && mNodes.GetCount() == 4)
        return count + 3;
    for (int i = 0; i < mNodes.GetCount(); ++i)
        count += mNodes[i]->GetValueCount();
    return count;
}

int VFCurveNode::GetCurveCount() const {
    int count = mFCurve ? 1 : 0;
    for (int i = 0; i < mNodes.GetCount(); ++i)
        count += mNodes[i]->GetCurveCount();
    return count;
}

// ---- Candidates -----------------------------------------------------------------------------

double* VFCurveNode::CandidateTotalGet(double* values, int layerID) const {
    (void)layerID;  // only the base layer holds a total
    if (!IsCandidateTotalValid()) return values;
    bool quaternion = false;
    int count = TotalValueCount(this, &quaternion);
    if (count <= 0) return values;
    return CopyTotalOut(values, count, quaternion, mCandidateTotalValue);
}

double* VFCurveNode::CandidateSpecificGet(double* values, VTime* time) const {
    if (mFCurve) {
        *values++ = mFCurve->CandidateGet();
        if (time) *time = mFCurve->CandidateGetTime();
    }
    for (int i = 0; i < mNodes.GetCount(); ++i)
        values = mNodes[i]->CandidateSpecificGet(values, time);
    return values;
}

double* VFCurveNode::CandidateGet(double* values, VTime* time, int layerID) {
    int id = GetLayered() ? layerID : 0;
    VFCurveNode* target = GetLayer(id);
    if (mLayerID == 0 && mSpecificCandidateMethod == eCANDIDATE_TOTAL_PENDING && IsCandidateTotalValid()) {
        if (target) {
            ComputeSpecificCandidate(id);
        } else if (!mNextLayer) {
            if (time) *time = mCandidateTotalTime;
            return SolveSpecificFromTotal(values, mCandidateTotalValue, mCandidateTotalTime, id);
        }
    }
    if (target) return target->CandidateSpecificGet(values, time);
    return GetIdentityValues(values);
}

// Stores `values` (channel values) as the total candidate of `node` and, split by child, of its
// children. A quaternion node turns its three Euler angles into the quaternion it stores and
// hands the four components to its children.
const double* VFCurveNodeEval::StoreTotal(VFCurveNode* node, VTime time, const double* values, int method) {
    bool quaternion = false;
    int count = TotalValueCount(node, &quaternion);
    double q[4];
    const double* total = values;
    if (quaternion) {
        EulerToQuaternion(q, values);
        total = q;
    }
    if (count > 0) {
        node->mTotalCandidateMethod = VFCurveNode::eTOTAL_STORED;
        node->mSpecificCandidateMethod = method;
        node->mCandidateTotalTime = time;
        for (int i = 0; i < 4; ++i)
            node->mCandidateTotalValue[i] = i < count ? total[i] : 0.0;
        node->mTotalFromEvaluation = false;
    }
    const double* next = values + (quaternion ? 3 : 0);
    if (node->FCurveGet() && !quaternion) ++next;
    if (quaternion) {
        for (int i = 0; i < 4; ++i)
            StoreTotal(node->Get(i), time, &q[i], method);
        return next;
    }
    for (int i = 0; i < node->GetCount(); ++i)
        next = StoreTotal(node->Get(i), time, next, method);
    return next;
}

bool VFCurveNode::CandidateSet(VTime time, const double* values, int layerID) {
    if (mLayerID != 0 || !values) return false;
    time = VFCurveNodeEval::Warp(this, time);
    int id = GetLayered() ? layerID : 0;

    bool quaternion = false;
    int count = TotalValueCount(this, &quaternion);
    double q[4];
    const double* total = values;
    if (quaternion) {
        EulerToQuaternion(q, values);
        total = q;
    }

    // Components that have no key in any layer take their value as a default right away.
    if (count > 0) {
        unsigned keyless = 0;
        if (mFCurve) {
            int keys = 0;
            for (const VFCurveNode* layer = this; layer; layer = layer->mNextLayer) {
                if (layer->mFCurve) keys += layer->mFCurve->KeyGetCount();
            }
            if (keys == 0) keyless = 1;
        } else {
            for (int i = 0; i < mNodes.GetCount(); ++i) {
                if (KeyGetCountOfChild(i) == 0) keyless |= 1u << i;
            }
        }
        if (keyless) {
            double specific[4] = {0.0, 0.0, 0.0, 0.0};
            SolveSpecificFromTotal(specific, total, time, id);
            VFCurveNode* layer = GetLayer(id);
            if (!layer) {
                CreateLayerAt(id);
                layer = GetLayer(id);
            }
            if (layer) {
                for (int i = 0; i < 4; ++i) {
                    if (!(keyless & (1u << i))) continue;
                    VFCurveNode* component = layer->mFCurve ? layer : layer->Get(i);
                    VFCurve* curve = component ? component->mFCurve : nullptr;
                    if (!curve) continue;
                    curve->SetDefaultValue((float)specific[i]);
                    curve->CandidateClear();
                }
            }
        }
    }
    VFCurveNodeEval::StoreTotal(this, time, values, eCANDIDATE_TOTAL_PENDING);
    return true;
}

bool VFCurveNodeEval::SetSpecific(VFCurveNode* node, VTime time, const double* values, int layerID) {
    int id = node->GetLayered() ? layerID : 0;
    VFCurveNode* layer = node->GetLayer(id);
    bool created = false;
    if (!layer) {
        VFCurveNode* before = node->FindLayerBefore(id);
        layer = before ? before->CreateLayer(id, false) : nullptr;
        if (!layer) return false;
        created = true;
    }
    struct Walk {
        static const double* Store(VFCurveNode* n, VTime t, const double* v) {
            if (VFCurve* curve = n->FCurveGet()) {
                double value = *v++;
                if (curve->KeyGetCount() == 0) curve->SetDefaultValue((float)value);
                curve->CandidateSet(t, value);
            }
            for (int i = 0; i < n->GetCount(); ++i)
                v = Store(n->Get(i), t, v);
            return v;
        }
    };
    Walk::Store(layer, time, values);
    if (created) node->mObjectLayer->CallbackCall(eFCURVENODE_EVENT_LAYERS);
    return true;
}

bool VFCurveNode::CandidateSetSpecific(VTime time, const double* values, int layerID) {
    if (!values) return false;
    return VFCurveNodeEval::SetSpecific(this, VFCurveNodeEval::Warp(this, time), values, layerID);
}

void VFCurveNodeEval::ClearSubtree(VFCurveNode* node) {
    if (node->mFCurve) node->mFCurve->CandidateClear();
    node->mCandidateTotalTime = VTime::kInfinite;
    node->mTotalCandidateMethod = VFCurveNode::eTOTAL_NONE;
    node->mSpecificCandidateMethod = VFCurveNode::eCANDIDATE_NONE;
    node->mTotalFromEvaluation = false;
    for (int i = 0; i < node->mNodes.GetCount(); ++i)
        ClearSubtree(node->mNodes[i]);
}

VFCurveNodeEval::Bookkeeping VFCurveNodeEval::GetBookkeeping(const VFCurveNode* node) {
    Bookkeeping kept;
    kept.mSpecificMethod = node->mSpecificCandidateMethod;
    kept.mTotalMethod = node->mTotalCandidateMethod;
    for (int i = 0; i < 4; ++i)
        kept.mTotalValue[i] = node->mCandidateTotalValue[i];
    kept.mTotalTime = node->mCandidateTotalTime;
    kept.mFromEvaluation = node->mTotalFromEvaluation;
    return kept;
}

void VFCurveNodeEval::SetBookkeeping(VFCurveNode* node, const Bookkeeping& kept) {
    node->mSpecificCandidateMethod = kept.mSpecificMethod;
    node->mTotalCandidateMethod = kept.mTotalMethod;
    for (int i = 0; i < 4; ++i)
        node->mCandidateTotalValue[i] = kept.mTotalValue[i];
    node->mCandidateTotalTime = kept.mTotalTime;
    node->mTotalFromEvaluation = kept.mFromEvaluation;
}

void VFCurveNode::CandidateClear(int layerID, bool withLayers) {
    VFCurveNode* layer = GetLayerFiltered(layerID);
    for (; layer; layer = withLayers ? layer->mNextLayer : nullptr)
        VFCurveNodeEval::ClearSubtree(layer);
}

bool VFCurveNode::ComputeSpecificCandidate(int layerID) {
    if (mLayerID != 0 || !IsCandidateTotalValid() || mSpecificCandidateMethod != eCANDIDATE_TOTAL_PENDING) {
        return false;
    }
    VFCurveNodeValueBuffer specific(GetCurveCount() + 4);
    SolveSpecificFromTotal(specific.Get(), mCandidateTotalValue, mCandidateTotalTime, layerID);
    // The total time was warped when it was stored.
    VFCurveNodeEval::SetSpecific(this, mCandidateTotalTime, specific.Get(), layerID);
    mSpecificCandidateMethod = eCANDIDATE_SPECIFIC_DONE;
    mTotalCandidateMethod = eTOTAL_STORED;
    return true;
}

double* VFCurveNode::SolveSpecificFromTotal(double* values, const double* total, VTime time, int layerID) {
    int id = GetLayered() ? layerID : 0;
    int count = GetCurveCount();
    int type = mLayerType;
    bool rotation = type == eFCURVENODE_LAYER_EULER_ROTATION && !mFCurve && mNodes.GetCount() == 3;
    bool quaternion = type == eFCURVENODE_LAYER_QUATERNION && !mFCurve && mNodes.GetCount() == 4;

    VFCurveNodeValueBuffer layerValues(count + 4);
    if (quaternion) {
        double below[4] = {0.0, 0.0, 0.0, 1.0}, above[4] = {0.0, 0.0, 0.0, 1.0};
        for (VFCurveNode* layer = this; layer; layer = layer->mNextLayer) {
            if (layer->mLayerID == id) continue;
            double* v = layerValues.Get();
            if (VFCurveNodeEval::Layer(layer, v, time, nullptr, false) - v < 4) continue;
            if (layer->mLayerID < id) {
                VgeQuaternionProduct(below, below, v);
            } else {
                VgeQuaternionProduct(above, above, v);
            }
        }
        double inverse[4], result[4];
        QuaternionInverse(inverse, below);
        VgeQuaternionProduct(result, inverse, total);
        QuaternionInverse(inverse, above);
        VgeQuaternionProduct(result, result, inverse);
        for (int i = 0; i < 4; ++i)
            values[i] = result[i];
        return values + 4;
    }
    if (rotation) {
        double below[4][4], above[4][4], m[4][4];
        Identity(below);
        Identity(above);
        for (VFCurveNode* layer = this; layer; layer = layer->mNextLayer) {
            if (layer->mLayerID == id) continue;
            double* v = layerValues.Get();
            if (VFCurveNodeEval::Layer(layer, v, time, nullptr, false) - v < 3) continue;
            Identity(m);
            RotationToMatrix(m, v, mRotationOrder);
            // Higher layers turn first: the chain composes as M_n x ... x M_1 x M_0.
            if (layer->mLayerID < id) {
                VgeMatrixMultRotation(below, below, m);
            } else {
                VgeMatrixMultRotation(above, above, m);
            }
        }
        double t[4][4], belowT[4][4], aboveT[4][4], tmp[4][4], result[4][4];
        Identity(t);
        RotationToMatrix(t, total, mRotationOrder);
        Transpose(belowT, below);
        Transpose(aboveT, above);
        Identity(tmp);
        VgeMatrixMultRotation(tmp, belowT, t);  // t x below^T
        Identity(result);
        VgeMatrixMultRotation(result, tmp, aboveT);  // above^T x t x below^T
        MatrixToRotation(values, result, mRotationOrder);
        return values + 3;
    }
    bool multiply = type == eFCURVENODE_LAYER_MULTIPLICATIVE;
    VFCurveNodeValueBuffer others(count + 4);
    for (int i = 0; i < count; ++i)
        others[i] = multiply ? 1.0 : 0.0;
    for (VFCurveNode* layer = this; layer; layer = layer->mNextLayer) {
        if (layer->mLayerID == id) continue;
        double* v = layerValues.Get();
        int m = (int)(VFCurveNodeEval::Layer(layer, v, time, nullptr, false) - v);
        for (int i = 0; i < count && i < m; ++i) {
            if (multiply) {
                others[i] *= v[i];
            } else {
                others[i] += v[i];
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        if (multiply) {
            // A zero product leaves any value possible; the layer stays neutral then.
            values[i] = others[i] != 0.0 ? total[i] / others[i] : 1.0;
        } else {
            values[i] = total[i] - others[i];
        }
    }
    return values + count;
}
