#include "scene/voxa_limits_adapter.h"

#include <cmath>

#include "attributes/voxa_geometry.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_matrix.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_limits.h"

namespace {

// The limits record of a kind, null for any other kind number.
VOxaLimits* KindLimits(VOxaNodeLimits* limits, int kind) {
    if (!limits) return nullptr;
    switch (kind) {
        case 0:
            return &limits->mTranslationLimits;
        case 1:
            return &limits->mRotationLimits;
        case 2:
            return &limits->mScalingLimits;
        default:
            return nullptr;
    }
}

double Length3(const double* v) {
    return std::sqrt(VgeDot3(v, v));
}

// The longest default local translation of one group of children.
struct Longest {
    double mLength = -1.0;
    double mVector[3] = {0.0, 0.0, 0.0};

    // Strictly longer replaces, so the earlier child wins a tie.
    void Offer(const double* t, double length) {
        if (length > mLength) {
            mLength = length;
            VgeVector3Copy(mVector, t);
        }
    }
    bool Positive() const { return mLength > 0.0; }
};

// The direction along which a node's bone runs, in the node's local space: the longest child
// offset among the children that suit the node's own kind, else among all children, else the
// farthest control point of its geometry, else (0, 0, 0, 1).
VgeTVector BoneAxis(VOxaNode* node) {
    Longest all, plain, markers, limbs, roots;
    for (int i = 0; i < node->GetChildCount(); ++i) {
        VOxaNode* child = node->GetChild(i);
        if (!child) continue;
        const VgeAMatrix& local = child->GetDefaultLocalTransform();
        double t[3] = {local.mData[3][0], local.mData[3][1], local.mData[3][2]};
        double length = Length3(t);
        all.Offer(t, length);
        VOxaNodeAttribute* attribute = child->GetNodeAttribute();
        if (!attribute) {
            plain.Offer(t, length);
        } else if (attribute->GetAttributeType() == VOxaNodeAttribute::eMarker) {
            markers.Offer(t, length);
        } else if (VOxaSkeleton* skeleton = child->GetSkeleton()) {
            if (skeleton->GetSkeletonType() != 0) {
                limbs.Offer(t, length);
            } else {
                roots.Offer(t, length);
            }
        }
    }

    const Longest* chosen = nullptr;
    VOxaNodeAttribute* own = node->GetNodeAttribute();
    if (!own) {
        chosen = &plain;
    } else if (own->GetAttributeType() == VOxaNodeAttribute::eMarker) {
        chosen = &markers;
    } else if (VOxaSkeleton* skeleton = node->GetSkeleton()) {
        chosen = skeleton->GetSkeletonType() != 0 ? &limbs : &roots;
    }
    if (!chosen || !chosen->Positive()) chosen = all.Positive() ? &all : nullptr;
    if (chosen) return VgeTVector(chosen->mVector[0], chosen->mVector[1], chosen->mVector[2], 1.0);

    if (VOxaGeometry* geometry = node->GetGeometry()) {
        int count = geometry->GetControlPointsCount();
        const VgeTVector* points = geometry->GetControlPoints();
        if (count > 0 && points) {
            int best = 0;
            double bestLength = points[0].Length();
            for (int i = 1; i < count; ++i) {
                double length = points[i].Length();
                if (length > bestLength) {
                    bestLength = length;
                    best = i;
                }
            }
            return points[best];
        }
    }
    return VgeTVector(0.0, 0.0, 0.0, 1.0);
}

VgeTVector EulerOf(const double m[4][4]) {
    double angles[3];
    VgeMatrixToEulerXYZ(angles, m);
    return VgeTVector(angles[0], angles[1], angles[2], 0.0);
}

}  // namespace

VOxaNodeLimitsAdapter::VOxaNodeLimitsAdapter(VOxaNodeLimits* limits) : mLimits(limits) {}

VOxaNode* VOxaNodeLimitsAdapter::Node() const {
    return mLimits ? mLimits->GetLimitedNode() : nullptr;
}

void VOxaNodeLimitsAdapter::SetAuto(int kind, bool automatic) {
    if (!mLimits) return;
    switch (kind) {
        case 0:
            mLimits->SetTranslationLimitsActive(!automatic);
            break;
        case 1:
            mLimits->SetRotationLimitsActive(!automatic);
            if (!automatic) {
                if (VOxaNode* node = Node()) node->SetUseRotationSpaceForLimitOnly(0, true);
            }
            break;
        case 2:
            mLimits->SetScalingLimitsActive(!automatic);
            break;
        default:
            break;
    }
}

bool VOxaNodeLimitsAdapter::GetAuto(int kind) const {
    if (!mLimits) return true;
    switch (kind) {
        case 0:
            return !mLimits->GetTranslationLimitsActive();
        case 1:
            return !mLimits->GetRotationLimitsActive();
        case 2:
            return !mLimits->GetScalingLimitsActive();
        default:
            return true;
    }
}

void VOxaNodeLimitsAdapter::SetEnable(int kind, bool enable) {
    VOxaLimits* limits = KindLimits(mLimits, kind);
    if (!limits || limits->IsLimitActive() == enable) return;
    limits->SetLimitMinActive(enable, enable, enable);
    limits->SetLimitMaxActive(enable, enable, enable);
}

bool VOxaNodeLimitsAdapter::GetEnable(int kind) const {
    VOxaLimits* limits = KindLimits(mLimits, kind);
    return limits && limits->IsLimitActive();
}

void VOxaNodeLimitsAdapter::SetDefault(int kind, const VgeTVector& value) {
    if (kind == 1) {
        if (VOxaNode* node = Node()) node->SetPreRotation(0, value);
        return;
    }
    if (kind != 0 && kind != 2) return;
    VOxaLimits* limits = KindLimits(mLimits, kind);
    if (!limits) return;
    limits->SetLimitMin(value);
    limits->SetLimitMax(value);
}

VgeTVector VOxaNodeLimitsAdapter::GetDefault(int kind) const {
    if (kind == 1) {
        VOxaNode* node = Node();
        return node ? node->GetPreRotation(0) : VgeTVector();
    }
    if (kind != 0 && kind != 2) return VgeTVector();
    VOxaLimits* limits = KindLimits(mLimits, kind);
    return limits ? limits->GetLimitMin() : VgeTVector();
}

void VOxaNodeLimitsAdapter::SetMin(int kind, const VgeTVector& value) {
    if (VOxaLimits* limits = KindLimits(mLimits, kind)) limits->SetLimitMin(value);
}

void VOxaNodeLimitsAdapter::SetMax(int kind, const VgeTVector& value) {
    if (VOxaLimits* limits = KindLimits(mLimits, kind)) limits->SetLimitMax(value);
}

VgeTVector VOxaNodeLimitsAdapter::GetMin(int kind) const {
    VOxaLimits* limits = KindLimits(mLimits, kind);
    return limits ? limits->GetLimitMin() : VgeTVector();
}

VgeTVector VOxaNodeLimitsAdapter::GetMax(int kind) const {
    VOxaLimits* limits = KindLimits(mLimits, kind);
    return limits ? limits->GetLimitMax() : VgeTVector();
}

void VOxaNodeLimitsAdapter::SetRotationType(bool euler) {
    if (VOxaNode* node = Node()) node->SetRotationOrder(0, euler ? eEULER_XYZ : eSPHERIC_XYZ);
}

int VOxaNodeLimitsAdapter::GetRotationType() const {
    return GetRotationClampType() == 1 ? 0 : 1;
}

void VOxaNodeLimitsAdapter::SetRotationClampType(int) {}

int VOxaNodeLimitsAdapter::GetRotationClampType() const {
    VOxaNode* node = Node();
    if (!node) return 0;
    ERotationOrder order;
    node->GetRotationOrder(0, order);
    return order == eSPHERIC_XYZ ? 1 : 0;
}

void VOxaNodeLimitsAdapter::SetRotationAxis(const VgeTVector& axis) {
    if (VOxaNode* node = Node()) node->SetPostRotation(0, axis);
}

VgeTVector VOxaNodeLimitsAdapter::GetRotationAxis() const {
    VOxaNode* node = Node();
    return node ? node->GetPostRotation(0) : VgeTVector();
}

void VOxaNodeLimitsAdapter::SetDefaultsFromNode(VOxaNode* node) {
    bool translationAuto = GetAuto(0);
    bool rotationAuto = GetAuto(1);
    bool scalingAuto = GetAuto(2);
    if (!node || !node->GetParent() || !(translationAuto || rotationAuto || scalingAuto)) return;

    VgeAMatrix parentGlobal = node->GetParent()->GetDefaultGlobalTransform();
    VgeAMatrix global = node->GetDefaultGlobalTransform();
    VgeAMatrix local = node->GetDefaultLocalTransform();
    const double(&P)[4][4] = parentGlobal.mData;
    const double(&G)[4][4] = global.mData;
    const double(&L)[4][4] = local.mData;

    if (translationAuto) {
        VgeTVector t(L[3][0], L[3][1], L[3][2], 0.0);
        SetMin(0, t);
        SetMax(0, t);
    }

    if (rotationAuto) {
        VgeTVector axis = BoneAxis(node);
        double axisLength = axis.Length();
        double d[3];
        VgeVector3Subtract(d, G[3], P[3]);
        double distance = Length3(d);

        double gn[4][4], pn[4][4], frame[4][4];
        VgeMatrixNormalizeRows(gn, G);
        VgeMatrixNormalizeRows(pn, P);
        VgeMatrixIdentity(frame);
        VgeRMatrixCopy(frame, gn);
        if (axisLength > 0.0) {
            // The bone axis turned from the node's local space into global orientation.
            double a[3];
            VgeScaleVector(a, axis.mData, 1.0 / axisLength);
            VgeMatrixMultVector3(a, gn, a);
            double c[3] = {0.0, 0.0, 0.0};
            double cLength = 0.0;
            if (distance > 0.0) {
                double u[3];
                VgeScaleVector(u, d, 1.0 / distance);
                VgeCrossProduct3(c, u, a);
                cLength = Length3(c);
            }
            if (cLength > 0.0) {
                VgeVector3Copy(frame[0], a);
                VgeScaleVector(frame[2], c, 1.0 / cLength);
                VgeCrossProduct3(frame[1], frame[2], frame[0]);
            } else {
                // No plane through the bone and the parent offset: turn the node's X axis onto
                // the bone axis by the shortest rotation.
                double q[4], turn[4][4];
                VgeQuaternionFromTwoVectors(q, gn[0], a);
                VgeMatrixIdentity(turn);
                VgeQuaternionToMatrix(turn, q);
                VgeMatrixMultRotation(frame, turn, gn);
            }
        }
        double relative[4][4];
        VgeMatrixIdentity(relative);
        VgeRMatrixMultTransposed(relative, pn, frame);
        SetDefault(1, EulerOf(relative));
        VgeMatrixIdentity(relative);
        VgeRMatrixMultTransposed(relative, gn, frame);
        SetRotationAxis(EulerOf(relative));
        SetAxisLength(axisLength);
        SetRotationType(distance > 0.0);
    }

    if (scalingAuto) {
        double s[3];
        VgeMatrixToScaling(s, L);
        VgeTVector scaling(s[0], s[1], s[2], 0.0);
        SetMin(2, scaling);
        SetMax(2, scaling);
    }
}
