#include "attributes/voxa_nurb.h"

#include <gtest/gtest.h>

#include "attributes/voxa_link.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// Knot count the surface's vector must hold, counted independently of the surface.
int ExpectedKnots(int count, int order, int form) {
    int knots = count + order + (form == 2 ? 0 : order - 1);
    return knots < 0 ? 0 : knots;
}

TEST(attributes_Nurb, DefaultsAndKnotCounts) {
    VOxaSdkManager manager;
    VOxaNurb* nurb = manager.CreateNurb();
    ASSERT_NE(nurb, nullptr);
    EXPECT_EQ(nurb->GetAttributeType(), 5);
    EXPECT_STREQ(nurb->GetTypeName().Buffer(), "Nurb");
    EXPECT_EQ(nurb->GetTypeFlags().GetCount(), 0);
    EXPECT_EQ(nurb->GetUOrder(), 0);
    EXPECT_EQ(nurb->GetVOrder(), 0);
    EXPECT_EQ(nurb->GetUCount(), 0);
    EXPECT_EQ(nurb->GetVCount(), 0);
    EXPECT_EQ(nurb->GetUForm(), eOPEN);
    EXPECT_EQ(nurb->GetVForm(), eOPEN);
    EXPECT_EQ(nurb->GetSurfaceMode(), 4);
    EXPECT_FALSE(nurb->GetTransposeUV());
    EXPECT_FALSE(nurb->GetTransposeLinks());
    EXPECT_EQ(nurb->GetUKnotVector(), nullptr);
    EXPECT_EQ(nurb->GetVKnotVector(), nullptr);
    EXPECT_EQ(nurb->GetUMultiplicityVector(), nullptr);

    nurb->SetOrder(4, 4);
    nurb->InitControlPoints(6, eOPEN, 5, ePERIODIC);
    EXPECT_EQ(nurb->GetControlPointsCount(), 30);
    EXPECT_EQ(nurb->GetUKnotCount(), 10);
    EXPECT_EQ(nurb->GetVKnotCount(), 12);
    ASSERT_NE(nurb->GetUKnotVector(), nullptr);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(nurb->GetUKnotVector()[i], 0.0) << "new knots are zero";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(nurb->GetUMultiplicityVector()[i], 1);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(nurb->GetVMultiplicityVector()[i], 1);

    // Every order and form against the independent count; closed counts like periodic.
    for (int form = 0; form < 3; ++form) {
        for (int order = 0; order <= 5; ++order) {
            for (int count = 0; count <= 6; ++count) {
                nurb->SetOrder(order, 1);
                nurb->InitControlPoints(count, static_cast<VOxaNurbForm>(form), 1, eOPEN);
                EXPECT_EQ(nurb->GetUKnotCount(), ExpectedKnots(count, order, form))
                    << "form " << form << " order " << order << " count " << count;
            }
        }
    }

    // Before SetOrder a closed or periodic empty direction has no knots rather than -1.
    VOxaNurb* fresh = manager.CreateNurb();
    fresh->InitControlPoints(0, eCLOSED, 3, ePERIODIC);
    EXPECT_EQ(fresh->GetUKnotCount(), 0);
    EXPECT_EQ(fresh->GetVKnotCount(), 2);
    EXPECT_EQ(fresh->GetUKnotVector(), nullptr);
}

TEST(attributes_Nurb, BadInputKeepsArraysConsistent) {
    VOxaSdkManager manager;
    VOxaNurb* nurb = manager.CreateNurb();

    // Negative orders make no negative knot count.
    nurb->SetOrder(-5, -1);
    nurb->InitControlPoints(2, ePERIODIC, 1, eCLOSED);
    EXPECT_EQ(nurb->GetUKnotCount(), 0);
    EXPECT_EQ(nurb->GetVKnotCount(), 0);

    // Orders that would overflow or exhaust memory leave the vector empty.
    nurb->SetOrder(2000000000, 4);
    nurb->InitControlPoints(4, ePERIODIC, 4, eOPEN);
    EXPECT_EQ(nurb->GetUKnotCount(), 0);
    EXPECT_EQ(nurb->GetUKnotVector(), nullptr);
    EXPECT_EQ(nurb->GetVKnotCount(), 8);

    // Orders raised after sizing never report more knots than the vector holds.
    nurb->SetOrder(3, 3);
    nurb->InitControlPoints(4, eOPEN, 4, eOPEN);
    nurb->SetOrder(40, 40);
    EXPECT_EQ(nurb->GetUKnotCount(), 7);
    VOxaNurb* copy = manager.CreateNurb();
    *copy = *nurb;
    EXPECT_EQ(copy->GetUOrder(), 40);
    EXPECT_EQ(copy->GetControlPointsCount(), 16);

    // Bad counts and forms.
    nurb->InitControlPoints(-1, static_cast<VOxaNurbForm>(7), 3, eOPEN);
    EXPECT_EQ(nurb->GetUCount(), 0);
    EXPECT_EQ(nurb->GetVCount(), 0);
    EXPECT_EQ(nurb->GetUForm(), eOPEN);
    EXPECT_EQ(nurb->GetControlPointsCount(), 0);
    EXPECT_EQ(nurb->GetUMultiplicityVector(), nullptr);
}

TEST(attributes_Nurb, CopyKeepsKnotsAndFlags) {
    VOxaSdkManager manager;
    VOxaNurb* nurb = manager.CreateNurb();
    nurb->SetOrder(3, 2);
    nurb->InitControlPoints(4, eCLOSED, 3, eOPEN);
    ASSERT_EQ(nurb->GetUKnotCount(), 9);
    ASSERT_EQ(nurb->GetVKnotCount(), 5);
    for (int i = 0; i < 9; ++i)
        nurb->GetUKnotVector()[i] = 0.1 * i + 1e-13;
    for (int i = 0; i < 5; ++i)
        nurb->GetVKnotVector()[i] = -0.3 * i;
    nurb->GetUMultiplicityVector()[2] = 3;
    nurb->GetVMultiplicityVector()[0] = 2;
    for (int i = 0; i < 12; ++i)
        nurb->GetControlPoints()[i] = VgeTVector(i, 0, 0, 0.5 + i);
    nurb->SetStep(7, 9);
    nurb->SetSurfaceMode(2);
    nurb->SetTransposeUV(true);
    nurb->SetTransposeLinks(true);
    nurb->AddLink(manager.CreateLink());

    VOxaNode* node = manager.CreateNode("Surface");
    node->SetNodeAttribute(nurb);
    EXPECT_EQ(node->GetNurb(), nurb);
    EXPECT_EQ(node->GetPatch(), nullptr);
    VOxaNode* other = manager.CreateNode("Other");
    other->Copy(*node);
    VOxaNurb* copy = other->GetNurb();
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, nurb);
    EXPECT_EQ(copy->GetUOrder(), 3);
    EXPECT_EQ(copy->GetVOrder(), 2);
    EXPECT_EQ(copy->GetUForm(), eCLOSED);
    EXPECT_EQ(copy->GetVForm(), eOPEN);
    EXPECT_EQ(copy->GetUStep(), 7);
    EXPECT_EQ(copy->GetVStep(), 9);
    EXPECT_EQ(copy->GetSurfaceMode(), 2);
    EXPECT_TRUE(copy->GetTransposeUV());
    EXPECT_TRUE(copy->GetTransposeLinks());
    ASSERT_EQ(copy->GetUKnotCount(), 9);
    ASSERT_EQ(copy->GetVKnotCount(), 5);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(copy->GetUKnotVector()[i], nurb->GetUKnotVector()[i]) << i;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(copy->GetVKnotVector()[i], nurb->GetVKnotVector()[i]) << i;
    EXPECT_EQ(copy->GetUMultiplicityVector()[2], 3);
    EXPECT_EQ(copy->GetVMultiplicityVector()[0], 2);
    ASSERT_EQ(copy->GetControlPointsCount(), 12);
    EXPECT_EQ(copy->GetControlPoints()[11][3], 11.5);
    EXPECT_EQ(copy->GetLinkCount(), 1);
}

}  // namespace
