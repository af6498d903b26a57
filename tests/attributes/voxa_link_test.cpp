#include "attributes/voxa_link.h"

#include <gtest/gtest.h>

#include "attributes/voxa_deformer.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

void ExpectVector(const VgeTVector& v, double x, double y, double z, double w, const char* what) {
    const double want[4] = {x, y, z, w};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(v[i], want[i], 1e-9) << what << " component " << i;
}

void ExpectMatrix(const double a[4][4], const double b[4][4], const char* what) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], 1e-9) << what << " element " << r << "," << c;
}

}  // namespace

TEST(attributes_Link, DefaultsFlagsAndControlPoints) {
    VOxaLink link;
    VgeTVector v;
    EXPECT_EQ(link.GetLinkMode(), 1) << "after Init a link is additive";
    ExpectVector(link.GetTransformT(v), 0, 0, 0, 1, "T");
    ExpectVector(link.GetTransformLinkR(v), 0, 0, 0, 1, "link R");
    ExpectVector(link.GetTransformParentS(v), 1, 1, 1, 1, "parent S");

    link.SetTransformLinkT(VgeTVector(1, 2, 3, 0));
    EXPECT_FALSE(link.IsTransformParentSet()) << "only the parent setters mark it";
    link.SetTransformParentT(VgeTVector(1, 2, 3, 0));
    EXPECT_TRUE(link.IsTransformParentSet());

    link.AddControlPointIndex(-1, 0.5);
    link.AddControlPointIndex(7, 0.25);
    ASSERT_EQ(link.GetControlPointIndicesCount(), 1) << "a negative index is ignored";
    EXPECT_EQ(link.GetControlPointIndices()[0], 7);
    EXPECT_EQ(link.GetControlPointWeights()[0], 0.25);

    VOxaSdkManager manager;
    VOxaNode* bone = manager.CreateNode("Bone");
    link.SetLink(bone);
    link.SetLink(nullptr);
    EXPECT_EQ(link.GetLink(), bone) << "a null node is ignored";
    EXPECT_STREQ(link.GetLinkName().Buffer(), "Model::Bone");
    link.SetAssociateModel(bone);
    bone->SetName("Renamed");
    EXPECT_STREQ(link.GetAssociateModelName().Buffer(), "Model::Renamed") << "refreshed from the node";
    link.SetUserData("Skin_ID", "payload");
    EXPECT_STREQ(link.GetUserDataByID("SKIN_id").Buffer(), "payload") << "IDs compare ignoring case";
    EXPECT_STREQ(link.GetUserDataByID("Skin").Buffer(), "");
}

TEST(attributes_Link, MatrixRoundTrip) {
    VOxaLink link;
    VgeTVector v;
    VgeAMatrix back;
    // Translation (1, 2, 3), no rotation, uniform scale 2.
    VgeAMatrix m;
    m[0][0] = m[1][1] = m[2][2] = 2.0;
    m[3][0] = 1, m[3][1] = 2, m[3][2] = 3;
    link.SetTransformMatrix(m);
    ExpectVector(link.GetTransformT(v), 1, 2, 3, 0, "T has w 0");
    ExpectVector(link.GetTransformR(v), 0, 0, 0, 0, "R");
    ExpectVector(link.GetTransformS(v), 2, 2, 2, 0, "S has w 0");
    ExpectMatrix(link.GetTransformMatrix(back).mData, m.mData, "composed again");
    EXPECT_FALSE(link.IsTransformParentSet());

    // 90 degrees about Z with scales (1, 2, 3): row i is the scaled image of axis i.
    VgeAMatrix r;
    r[0][0] = 0, r[0][1] = 1;
    r[1][0] = -2, r[1][1] = 0;
    r[2][2] = 3;
    r[3][0] = -4, r[3][1] = 5, r[3][2] = 6;
    link.SetTransformParentMatrix(r);
    EXPECT_TRUE(link.IsTransformParentSet());
    ExpectVector(link.GetTransformParentR(v), 0, 0, 90, 0, "parent R");
    ExpectVector(link.GetTransformParentS(v), 1, 2, 3, 0, "parent S");
    ExpectMatrix(link.GetTransformParentMatrix(back).mData, r.mData, "parent composed again");

    // A mirror survives as negative scales.
    VgeAMatrix mirror;
    mirror[0][0] = -1;
    link.SetTransformLinkMatrix(mirror);
    EXPECT_LT(link.GetTransformLinkS(v)[0], 0.0);
    ExpectMatrix(link.GetTransformLinkMatrix(back).mData, mirror.mData, "mirror composed again");
}

TEST(attributes_Link, CopyFromDeformer) {
    VOxaSdkManager manager;
    // File data: three indices (one negative) and two weights.
    VOxaDeformer* cluster = manager.CreateDeformer("C", "cluster");
    cluster->SetLinkMode(2);
    for (int i : {4, -2, 8})
        cluster->GetIndexes().Add(i);
    for (double w : {0.1, 0.2})
        cluster->GetWeights().Add(w);
    VMatrix t;
    t[3][0] = 5;
    cluster->SetTransformMatrix(t);

    VOxaLink link;
    link.AddControlPointIndex(1, 1.0);
    link.CopyFromDeformer(cluster);
    EXPECT_EQ(link.GetLinkMode(), 2);
    ASSERT_EQ(link.GetControlPointIndicesCount(), 1) << "pairs up to the shorter array, negatives dropped";
    EXPECT_EQ(link.GetControlPointIndices()[0], 4);
    EXPECT_EQ(link.GetControlPointWeights()[0], 0.1);
    EXPECT_FALSE(link.IsTransformParentSet()) << "the deformer's flag, not the matrix setter's";
    VgeTVector v;
    ExpectVector(link.GetTransformT(v), 5, 0, 0, 0, "T from the cluster's matrix");

    link.CopyFromDeformer(manager.CreateDeformer("S", "Skin"));
    EXPECT_EQ(link.GetLinkMode(), 1) << "a skin leaves the link initialised";
    EXPECT_EQ(link.GetControlPointIndicesCount(), 0);
}
