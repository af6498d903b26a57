#include "formats/geometry/voxa_geometry_deform.h"

#include <gtest/gtest.h>

#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_shape.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

VgeTVector V(double x, double y, double z, double w = 1.0) {
    return VgeTVector(x, y, z, w);
}

void ExpectNear(const VgeTVector& a, const VgeTVector& b, int components = 3) {
    for (int i = 0; i < components; ++i)
        EXPECT_NEAR(a[i], b[i], 1e-9) << "component " << i;
}

struct DeformRig {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaNode* node = nullptr;
    VOxaMesh* mesh = nullptr;

    // A mesh node with two control points (1, 0, 0) and (0, 2, 0).
    DeformRig() {
        node = manager.CreateNode("body");
        scene->GetRootNode()->AddChild(node);
        mesh = manager.CreateMesh();
        node->SetNodeAttribute(mesh);
        mesh->InitControlPoints(2);
        mesh->GetControlPoints()[0] = V(1, 0, 0);
        mesh->GetControlPoints()[1] = V(0, 2, 0);
    }
    void AddShape(const char* name, const VgeTVector& p0, const VgeTVector& p1, double weight) {
        VOxaShape* shape = manager.CreateShape();
        shape->InitControlPoints(2);
        shape->GetControlPoints()[0] = p0;
        shape->GetControlPoints()[1] = p1;
        int index = mesh->AddShape(shape, name);
        mesh->SetDefaultShapeChannelValue(index, weight);
    }
    VOxaNode* AddBone(const char* name, const VgeTVector& translation) {
        VOxaNode* bone = manager.CreateNode(name);
        scene->GetRootNode()->AddChild(bone);
        bone->SetLclTranslation(translation);
        return bone;
    }
    // A link bound at the identity (Transform and TransformLink identity) on point 0.
    VOxaLink* Link(VOxaNode* bone, int mode, double weight, int point = 0) {
        VOxaLink* link = manager.CreateLink();
        link->SetLink(bone);
        link->SetLinkMode(mode);
        link->AddControlPointIndex(point, weight);
        mesh->AddLink(link);
        return link;
    }
};

TEST(deform_shape, WeightsScaleOffsetsTakenFromTheInput) {
    DeformRig rig;
    rig.AddShape("zero", V(9, 9, 9, 9), V(9, 9, 9, 9), 0.0);
    VgeTVector points[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplyShapeDeformation(rig.mesh, points);
    ExpectNear(points[0], V(1, 0, 0), 4);

    DeformRig one;
    one.AddShape("full", V(3, 4, 5, 7), V(1, 1, 1, 1), 1.0);
    VgeTVector full[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplyShapeDeformation(one.mesh, full);
    ExpectNear(full[0], V(3, 4, 5, 7), 4);  // all four components follow the shape

    // Two half shapes: each offset comes from the undeformed point, not the running result.
    DeformRig two;
    two.AddShape("a", V(3, 0, 0), V(0, 2, 0), 0.5);
    two.AddShape("b", V(1, 4, 0), V(0, 2, 0), 0.5);
    VgeTVector half[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplyShapeDeformation(two.mesh, half);
    ExpectNear(half[0], V(2, 2, 0));
    ExpectNear(half[1], V(0, 2, 0));
}

TEST(deform_matrix, GlobalMatrixComposesParentsAndHelpersTouchAllElements) {
    DeformRig rig;
    VOxaNode* parent = rig.AddBone("parent", V(10, 0, 0, 0));
    parent->SetLclRotation(V(0, 0, 90, 0));
    VOxaNode* child = rig.manager.CreateNode("child");
    parent->AddChild(child);
    child->SetLclTranslation(V(1, 0, 0, 0));
    VgeAMatrix g = GetNodeGlobalMatrix(child);
    // The child's local offset turned by the parent's 90 degrees about z, then moved by it.
    ExpectNear(g.MultT(V(0, 0, 0)), V(10, 1, 0));

    VgeAMatrix m;
    MatrixScale(m, 2.0);
    EXPECT_EQ(m[3][3], 2.0);
    MatrixAddToDiagonal(m, 1.0);
    EXPECT_EQ(m[3][3], 3.0);
    EXPECT_EQ(m[0][1], 0.0);
    VgeAMatrix n;
    MatrixAdd(m, n);
    EXPECT_EQ(m[0][0], 4.0);
    EXPECT_EQ(m[3][3], 4.0);
}

TEST(deform_skin, NormalizeTotalAndAdditiveModes) {
    // Bone moved by (0, 10, 0) from its binding pose: the skinned point 0 is (1, 10, 0).
    for (int mode : {0, 1, 2}) {
        DeformRig rig;
        VOxaNode* bone = rig.AddBone("bone", V(0, 10, 0, 0));
        rig.Link(bone, mode, 0.5);
        VgeTVector points[2] = {V(1, 0, 0), V(0, 2, 0)};
        ApplySkinDeformation(VgeAMatrix(), rig.mesh, points);
        if (mode == 0) ExpectNear(points[0], V(1, 10, 0));  // the weight sum cancels the weight
        if (mode == 2) ExpectNear(points[0], V(1, 5, 0));   // halfway
        if (mode == 1) ExpectNear(points[0], V(1, 5, 0));   // 0.5 K + 0.5 I
        ExpectNear(points[1], V(0, 2, 0));                  // named by no link
    }
}

TEST(deform_skin, LinkZeroGovernsZeroWeightsAndNullLinksContributeNothing) {
    DeformRig rig;
    VOxaNode* bone = rig.AddBone("bone", V(0, 10, 0, 0));
    rig.Link(bone, 2, 0.5);      // total governs
    rig.Link(bone, 0, 0.25, 0);  // its own mode is ignored
    rig.Link(bone, 0, 0.0, 1);   // weight 0: point 1 is untouched
    VgeTVector points[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplySkinDeformation(VgeAMatrix(), rig.mesh, points);
    // Total: q = 0.75 K p + 0.25 p = (1, 7.5, 0).
    ExpectNear(points[0], V(1, 7.5, 0));
    ExpectNear(points[1], V(0, 2, 0));

    DeformRig nulls;
    VOxaLink* link = nulls.manager.CreateLink();
    link->SetLinkMode(1);
    link->SetAssociateModel(nulls.AddBone("assoc", V(5, 5, 5, 0)));
    link->AddControlPointIndex(0, 1.0);
    link->AddControlPointIndex(7, 1.0);  // out of range: ignored
    nulls.mesh->AddLink(link);
    VgeTVector still[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplySkinDeformation(VgeAMatrix(), nulls.mesh, still);
    ExpectNear(still[0], V(1, 0, 0));
}

TEST(deform_skin, KComposesBindBoneAndMeshMatrices) {
    DeformRig rig;
    // Mesh bound at x = 3 (Transform), bone bound at x = 1 (TransformLink), bone now at x = 4,
    // mesh now at x = 3: K = T(3) T(-1) T(4) T(-3) = T(3).
    VOxaNode* bone = rig.AddBone("bone", V(4, 0, 0, 0));
    VOxaLink* link = rig.Link(bone, 0, 1.0);
    link->SetTransformT(V(3, 0, 0, 1));
    link->SetTransformLinkT(V(1, 0, 0, 1));
    VgeAMatrix meshGlobal;
    meshGlobal.SetT(V(3, 0, 0, 0));
    VgeTVector points[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplySkinDeformation(meshGlobal, rig.mesh, points);
    ExpectNear(points[0], V(4, 0, 0));

    // At the binding pose (bone global = TransformLink, mesh global = Transform) nothing moves.
    DeformRig still;
    VOxaNode* bound = still.AddBone("bone", V(1, 0, 0, 0));
    VOxaLink* l2 = still.Link(bound, 0, 1.0);
    l2->SetTransformT(V(3, 0, 0, 1));
    l2->SetTransformLinkT(V(1, 0, 0, 1));
    VgeTVector p2[2] = {V(1, 2, 3), V(0, 2, 0)};
    ApplySkinDeformation(meshGlobal, still.mesh, p2);
    ExpectNear(p2[0], V(1, 2, 3));
}

TEST(deform_skin, AdditiveUsesTheAssociateModelPair) {
    DeformRig rig;
    VOxaNode* bone = rig.AddBone("bone", V(0, 10, 0, 0));
    VOxaNode* assoc = rig.AddBone("assoc", V(2, 0, 0, 0));
    VOxaLink* link = rig.Link(bone, 1, 1.0);
    link->SetAssociateModel(assoc);
    link->SetTransformAssociateModelT(V(2, 0, 0, 1));  // B = G: the pair cancels
    link->SetTransformT(V(50, 0, 0, 1));               // ignored in favour of the pair
    VgeTVector points[2] = {V(1, 0, 0), V(0, 2, 0)};
    ApplySkinDeformation(VgeAMatrix(), rig.mesh, points);
    ExpectNear(points[0], V(1, 10, 0));
}

}  // namespace
