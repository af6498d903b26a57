#include "formats/geometry/voxa_geometry_deform.h"

#include <cstring>
#include <new>
#include <vector>

#include "attributes/voxa_geometry.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_shape.h"
#include "base/vallocation_hook.h"
#include "scene/voxa_node.h"

VgeAMatrix GetNodeLocalMatrix(VOxaNode* node) {
    VgeAMatrix m;
    if (node == nullptr) return m;
    VgeTVector t, r, s;
    node->GetLclTranslation(t);
    node->GetLclRotation(r);
    node->GetLclScaling(s);
    // Each setter decomposes, replaces one component and recomposes, so the order matters only
    // for what a degenerate scaling would drop.
    m.SetT(t);
    m.SetR(r);
    m.SetS(s);
    return m;
}

VgeAMatrix GetNodeGlobalMatrix(VOxaNode* node) {
    VgeAMatrix global = GetNodeLocalMatrix(node);
    if (node == nullptr) return global;
    // The hierarchy cannot be cyclic (AddChild refuses ancestors), so walking up ends at a root.
    for (VOxaNode* parent = node->GetParent(); parent != nullptr; parent = parent->GetParent())
        global = GetNodeLocalMatrix(parent) * global;  // global, then the parent's local matrix
    return global;
}

void MatrixScale(VgeAMatrix& m, double s) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.mData[r][c] *= s;
}

void MatrixAddToDiagonal(VgeAMatrix& m, double s) {
    for (int i = 0; i < 4; ++i)
        m.mData[i][i] += s;
}

void MatrixAdd(VgeAMatrix& m, const VgeAMatrix& n) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m.mData[r][c] += n.mData[r][c];
}

void ApplyShapeDeformation(VOxaGeometry* mesh, VgeTVector* points, VOxaGeometry* weightsOf) {
    if (mesh == nullptr || points == nullptr) return;
    const int count = mesh->GetControlPointsCount();
    const int shapeCount = mesh->GetShapeCount();
    if (count <= 0 || shapeCount <= 0) return;

    std::vector<VgeTVector> result;
    try {
        result.assign(points, points + count);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return;  // nothing changed rather than a partial deformation
    }
    for (int i = 0; i < shapeCount; ++i) {
        VOxaShape* shape = mesh->GetShape(i);
        if (shape == nullptr || shape->GetControlPointsCount() != count) continue;
        const VgeTVector* target = shape->GetControlPoints();
        const double w = (weightsOf ? weightsOf : mesh)->GetDefaultShapeChannelValue(i);
        if (target == nullptr || w == 0.0) continue;
        // Offsets are taken from the unchanged input, not from the running result.
        for (int j = 0; j < count; ++j)
            result[j] += (target[j] - points[j]) * w;
    }
    std::memcpy(static_cast<void*>(points), result.data(), sizeof(VgeTVector) * (size_t)count);
}

namespace {

// A plain 4x4 block: VgeAMatrix's copy operations reset or keep column 3, while the skin sums
// work on all 16 elements.
struct VSkinMatrix {
    double m[4][4];
};

}  // namespace

void ApplySkinDeformation(const VgeAMatrix& meshGlobal, VOxaGeometry* mesh, VgeTVector* points) {
    if (mesh == nullptr || points == nullptr) return;
    const int count = mesh->GetControlPointsCount();
    const int linkCount = mesh->GetLinkCount();
    if (count <= 0 || linkCount <= 0) return;
    VOxaLink* first = mesh->GetLink(0);
    if (first == nullptr) return;
    const int mode = first->GetLinkMode();
    const bool additive = mode == VOxaLink::eAdditive;

    std::vector<VSkinMatrix> matrices;
    std::vector<double> sums;
    try {
        matrices.resize((size_t)count);
        sums.assign((size_t)count, 0.0);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return;
    }
    for (VSkinMatrix& m : matrices) {
        if (additive)
            VgeMatrixIdentity(m.m);
        else
            std::memset(m.m, 0, sizeof(m.m));
    }

    for (int k = 0; k < linkCount; ++k) {
        VOxaLink* link = mesh->GetLink(k);
        if (link == nullptr || link->GetLink() == nullptr) continue;

        VgeAMatrix b, g;
        if (additive && link->GetAssociateModel() != nullptr) {
            link->GetTransformAssociateModelMatrix(b);
            g = GetNodeGlobalMatrix(link->GetAssociateModel());
        } else {
            link->GetTransformMatrix(b);
            g = meshGlobal;
        }
        VgeAMatrix boneGlobal = GetNodeGlobalMatrix(link->GetLink());
        VgeAMatrix boneBind;
        link->GetTransformLinkMatrix(boneBind);

        // K = B then inverse(BoneBind) then BoneGlobal then inverse(G), composed once per link.
        VgeAMatrix m1 = boneBind.Inverse() * b;
        VgeAMatrix m2 = boneGlobal.Inverse() * g;
        VgeAMatrix k1 = m2.Inverse() * m1;

        const int n = link->GetControlPointIndicesCount();
        const int* indices = link->GetControlPointIndices();
        const double* weights = link->GetControlPointWeights();
        if (indices == nullptr || weights == nullptr) continue;
        for (int j = 0; j < n; ++j) {
            const int idx = indices[j];
            const double w = weights[j];
            if (w == 0.0 || idx < 0 || idx >= count) continue;
            VgeAMatrix t;
            std::memcpy(t.mData, k1.mData, sizeof(t.mData));
            MatrixScale(t, w);
            VSkinMatrix& acc = matrices[(size_t)idx];
            if (additive) {
                MatrixAddToDiagonal(t, 1.0 - w);
                // The new link's blend is applied after those already accumulated.
                VgeMatrixMult4(acc.m, t.mData, acc.m);
                sums[(size_t)idx] = 1.0;
            } else {
                for (int r = 0; r < 4; ++r)
                    for (int c = 0; c < 4; ++c)
                        acc.m[r][c] += t.mData[r][c];
                sums[(size_t)idx] += w;
            }
        }
    }

    for (int i = 0; i < count; ++i) {
        const double sum = sums[(size_t)i];
        if (sum == 0.0) continue;
        const VgeTVector p = points[i];
        VgeTVector q;  // w stays 0, as a point carried through an affine matrix
        VgeMatrixMultPoint(q.mData, matrices[(size_t)i].m, p.mData);
        if (mode == VOxaLink::eNormalize)
            q /= sum;
        else if (mode == VOxaLink::eTotal1)
            q += p * (1.0 - sum);
        points[i] = q;
    }
}
