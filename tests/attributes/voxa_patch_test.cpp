#include "attributes/voxa_patch.h"

#include <gtest/gtest.h>

#include "attributes/voxa_link.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_shape.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

TEST(attributes_Patch, DefaultsGridAndBadCounts) {
    VOxaSdkManager manager;
    VOxaPatch* patch = manager.CreatePatch();
    ASSERT_NE(patch, nullptr);
    EXPECT_EQ(patch->GetAttributeType(), 6);
    EXPECT_STREQ(patch->GetTypeName().Buffer(), "Patch");
    EXPECT_EQ(patch->GetTypeFlags().GetCount(), 0);
    EXPECT_EQ(patch->GetUType(), eLINEAR);
    EXPECT_EQ(patch->GetVType(), eLINEAR);
    EXPECT_EQ(patch->GetUCount(), 0);
    EXPECT_EQ(patch->GetVCount(), 0);
    EXPECT_EQ(patch->GetUStep(), 0);
    EXPECT_EQ(patch->GetVStep(), 0);
    EXPECT_FALSE(patch->GetUClosed() || patch->GetVClosed());
    EXPECT_FALSE(patch->GetUCappedFirst() || patch->GetUCappedSecond());
    EXPECT_FALSE(patch->GetVCappedFirst() || patch->GetVCappedSecond());
    EXPECT_EQ(patch->GetSurfaceMode(), 4);

    patch->InitControlPoints(4, eBEZIER, 3, eBSPLINE);
    EXPECT_EQ(patch->GetControlPointsCount(), 12);
    EXPECT_EQ(patch->GetUType(), eBEZIER);
    EXPECT_EQ(patch->GetVType(), eBSPLINE);
    EXPECT_EQ(patch->GetUCount(), 4);
    EXPECT_EQ(patch->GetVCount(), 3);

    // Counts from a file: negative or a grid too large to count leave no grid, so counts and
    // points always agree; an unknown type value is linear.
    patch->InitControlPoints(-2, eBEZIER, 3, static_cast<VOxaPatchType>(9));
    EXPECT_EQ(patch->GetControlPointsCount(), 0);
    EXPECT_EQ(patch->GetUCount(), 0);
    EXPECT_EQ(patch->GetVCount(), 0);
    EXPECT_EQ(patch->GetVType(), eLINEAR);
    patch->InitControlPoints(70000, eBEZIER, 70000, eBEZIER);
    EXPECT_EQ(patch->GetControlPointsCount(), 0);
    EXPECT_EQ(patch->GetUCount() * 1LL * patch->GetVCount(), 0);
}

TEST(attributes_Patch, CopyKeepsSurfaceAndGeometry) {
    VOxaSdkManager manager;
    VOxaPatch* patch = manager.CreatePatch();
    patch->InitControlPoints(4, eBEZIER, 3, eBSPLINE);
    for (int i = 0; i < 12; ++i)
        patch->GetControlPoints()[i] = VgeTVector(i, 2.0 * i, -i, 1.0);
    patch->SetStep(8, 5);
    patch->SetClosed(false, true);
    patch->SetUCapped(true, false);
    patch->SetVCapped(false, true);
    patch->SetSurfaceMode(1);
    patch->AddLink(manager.CreateLink());
    VOxaShape* shape = manager.CreateShape();
    ASSERT_GE(patch->AddShape(shape, "Bulge"), 0);

    VOxaNode* node = manager.CreateNode("Surface");
    node->SetNodeAttribute(patch);
    EXPECT_EQ(node->GetPatch(), patch);
    EXPECT_EQ(node->GetNurb(), nullptr);
    EXPECT_EQ(node->GetMesh(), nullptr);

    // The node copy makes a patch for a node that carries something else, and assigns it.
    VOxaNode* other = manager.CreateNode("Other");
    other->SetNodeAttribute(manager.CreateMesh());
    other->Copy(*node);
    VOxaPatch* copy = other->GetPatch();
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, patch);
    EXPECT_EQ(copy->GetUType(), eBEZIER);
    EXPECT_EQ(copy->GetVType(), eBSPLINE);
    EXPECT_EQ(copy->GetUCount(), 4);
    EXPECT_EQ(copy->GetVCount(), 3);
    EXPECT_EQ(copy->GetUStep(), 8);
    EXPECT_EQ(copy->GetVStep(), 5);
    EXPECT_FALSE(copy->GetUClosed());
    EXPECT_TRUE(copy->GetVClosed());
    EXPECT_TRUE(copy->GetUCappedFirst());
    EXPECT_FALSE(copy->GetUCappedSecond());
    EXPECT_FALSE(copy->GetVCappedFirst());
    EXPECT_TRUE(copy->GetVCappedSecond());
    EXPECT_EQ(copy->GetSurfaceMode(), 1);
    ASSERT_EQ(copy->GetControlPointsCount(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(copy->GetControlPoints()[i][0], i) << "point " << i;
        EXPECT_EQ(copy->GetControlPoints()[i][1], 2.0 * i) << "point " << i;
    }
    EXPECT_EQ(copy->GetLinkCount(), 1);
    ASSERT_EQ(copy->GetShapeCount(), 1);
    EXPECT_STREQ(copy->GetShapeName(0), "Bulge");
}

}  // namespace
