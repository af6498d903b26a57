#include "attributes/voxa_marker.h"

#include <gtest/gtest.h>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

// The names of the marker channels directly under the take's root, as one string ("" when none).
std::string MarkerChannels(VOxaTakeNode* take) {
    std::string names;
    VFCurveNode* root = take->GetVFCurveNode();
    for (int i = 0; i < root->GetCount(); ++i) {
        std::string name = root->Get(i)->GetName();
        if (name == "Occlusion" || name.rfind("IK Reach", 0) == 0) names += (names.empty() ? "" : ",") + name;
    }
    return names;
}

class attributes_Marker : public ::testing::Test {
protected:
    void SetUp() override {
        mMarker = mManager.CreateMarker();
        mNode = mManager.CreateNode("Hip");
        mNode->AddTakeNode("Walk");
        mNode->AddTakeNode("Run");
    }

    VOxaSdkManager mManager;
    VOxaMarker* mMarker = nullptr;
    VOxaNode* mNode = nullptr;
};

TEST_F(attributes_Marker, NewMarkerNamesAndBlock) {
    ASSERT_NE(mMarker, nullptr);
    EXPECT_EQ(mMarker->GetAttributeType(), VOxaNodeAttribute::eMarker);
    EXPECT_EQ(mMarker->GetType(), 0);
    EXPECT_EQ(mMarker->GetLook(), VOxaMarker::eCUBE);
    EXPECT_EQ(mMarker->GetSize(), 100.0);
    EXPECT_EQ(mMarker->GetColor()[0], 1.0);
    EXPECT_EQ(mMarker->GetColor()[1], 0.0);
    EXPECT_FALSE(mMarker->GetShowLabel());
    EXPECT_EQ(mMarker->GetIKPivot()[3], 1.0);

    const char* const typeNames[] = {"Marker",     "Marker",     "OpticalMarker",
                                     "IKEffector", "FKEffector", "Marker"};
    for (int kind = -1; kind <= 4; ++kind) {
        mMarker->SetType(kind);
        EXPECT_STREQ(mMarker->GetTypeName().Buffer(), typeNames[kind + 1]) << "kind " << kind;
        ASSERT_EQ(mMarker->GetTypeFlags().GetCount(), 1);
        EXPECT_STREQ(mMarker->GetTypeFlags()[0], "Marker");
    }

    const char* const names[] = {"Look", "Size", "Color", "ShowLabel", "IKPivot"};
    const int types[] = {eValueEnum, eValueNumber, eValueColor, eValueBool, eValueVector};
    VOxaMarkerProperties* block = mMarker->GetProperties();
    EXPECT_TRUE(block->IsA(VOxaMarkerProperties::ClassId));
    ASSERT_EQ(block->GetPropertyCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(block->GetProperty(i)->GetName(), names[i]);
        EXPECT_EQ(block->GetProperty(i)->GetValueType(), types[i]) << names[i];
    }
    const VPropertyInfo& look = block->GetProperty(0)->GetInfo();
    EXPECT_STREQ(look.GetEnumName(3), "Sphere");
    EXPECT_STREQ(look.GetEnumName(1), "Hard Cross");
    EXPECT_EQ(look.GetEnumName(4), nullptr);
    EXPECT_EQ(look.GetEnumName(-1), nullptr);

    // The pivot keeps x, y, z; its w always reads 1.
    mMarker->SetIKPivot(VgeTVector(1, 2, 3, 9));
    EXPECT_EQ(mMarker->GetIKPivot()[2], 3.0);
    EXPECT_EQ(mMarker->GetIKPivot()[3], 1.0);
}

TEST_F(attributes_Marker, KindsMoveChannelsWhileAttached) {
    mNode->SetNodeAttribute(mMarker);
    EXPECT_EQ(mNode->GetMarker(), mMarker);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(0)), "");

    mMarker->SetType(VOxaMarker::eOPTICAL);
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(t)), "Occlusion") << "take " << t;
    VFCurveNode* occlusion = mNode->GetTakeNode(0)->GetVFCurveNode()->Find(VDataType::Find("Occlusion"));
    ASSERT_NE(occlusion, nullptr);
    EXPECT_EQ(occlusion->GetLayerType(), 0);
    ASSERT_NE(occlusion->FCurveGet(), nullptr);
    EXPECT_EQ(occlusion->FCurveGet()->GetDefaultValue(), 0.0f);
    EXPECT_EQ(occlusion->FCurveGet()->GetColor()[0], 0.75f);

    // The same kind again leaves the very same channel in place.
    mMarker->SetType(VOxaMarker::eOPTICAL);
    EXPECT_EQ(mNode->GetTakeNode(0)->GetVFCurveNode()->Find(VDataType::Find("Occlusion")), occlusion);

    mMarker->SetType(VOxaMarker::eIK_EFFECTOR);
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(t)), "IK Reach Translation,IK Reach Rotation") << t;
    EXPECT_EQ(
        mNode->GetTakeNode(1)->GetVFCurveNode()->Find(VDataType::Find("IK Reach Rotation"))->GetLayerType(),
        1);

    mMarker->SetType(VOxaMarker::eFK_EFFECTOR);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(2)), "");

    // Detached, a kind change waits for the next attach.
    mMarker->SetType(VOxaMarker::eOPTICAL);
    mNode->SetNodeAttribute(nullptr);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(0)), "");
    mMarker->SetType(VOxaMarker::eIK_EFFECTOR);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(0)), "");
    mNode->SetNodeAttribute(mMarker);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(2)), "IK Reach Translation,IK Reach Rotation");
}

TEST_F(attributes_Marker, DefaultChannelValuesNeedTheKindAndTheChannel) {
    // Detached: nothing to read or write.
    mMarker->SetType(VOxaMarker::eOPTICAL);
    mMarker->SetDefaultOcclusion(0.5);
    EXPECT_EQ(mMarker->GetDefaultOcclusion(), 0.0);

    mNode->SetNodeAttribute(mMarker);
    mMarker->SetDefaultOcclusion(0.3);
    EXPECT_EQ(mMarker->GetDefaultOcclusion(), (double)0.3f);
    EXPECT_EQ(mNode->GetTakeNode(1)->GetOcclusion()->GetDefaultValue(), 0.0f) << "default take only";
    mMarker->SetDefaultIKReachRotation(5.0);
    EXPECT_EQ(mMarker->GetDefaultIKReachRotation(), 0.0) << "an optical marker has no IK reach";

    mMarker->SetType(VOxaMarker::eIK_EFFECTOR);
    EXPECT_EQ(mMarker->GetDefaultOcclusion(), 0.0);
    mMarker->SetDefaultIKReachTranslation(40.0);
    mMarker->SetDefaultIKReachRotation(60.0);
    EXPECT_EQ(mMarker->GetDefaultIKReachTranslation(), 40.0);
    EXPECT_EQ(mMarker->GetDefaultIKReachRotation(), 60.0);

    // The channel gone from the default take: 0.0, and nothing is written or created.
    VFCurveNode* root = mNode->GetTakeNode(0)->GetVFCurveNode();
    root->DeleteChild(root->Find(VDataType::Find("IK Reach Rotation")));
    mMarker->SetDefaultIKReachRotation(1.0);
    EXPECT_EQ(mMarker->GetDefaultIKReachRotation(), 0.0);
    EXPECT_EQ(root->Find(VDataType::Find("IK Reach Rotation")), nullptr);
    mNode->SetNodeAttribute(nullptr);
}

TEST_F(attributes_Marker, NodeFlagsFollowTheKindAtAttachment) {
    const struct {
        int mKind;
        bool mMultiLayer;
        int mMultiTake;
    } cases[] = {{0, false, 1}, {1, false, 0}, {2, true, 1}, {3, true, 1}, {-4, false, 1}, {77, false, 1}};
    for (const auto& c : cases) {
        mMarker->SetType(c.mKind);
        mNode->SetNodeAttribute(mMarker);
        EXPECT_EQ(mNode->GetMultiLayer(), c.mMultiLayer) << "kind " << c.mKind;
        EXPECT_EQ(mNode->GetMultiTake(), c.mMultiTake) << "kind " << c.mKind;
        mNode->SetNodeAttribute(nullptr);
        EXPECT_FALSE(mNode->GetMultiLayer());
        EXPECT_EQ(mNode->GetMultiTake(), 1);
    }
}

TEST_F(attributes_Marker, AssignmentSkipsThePivotAndMovesNoChannel) {
    VOxaMarker* source = mManager.CreateMarker();
    source->SetType(VOxaMarker::eOPTICAL);
    source->SetLook(VOxaMarker::eSPHERE);
    source->SetSize(3.5);
    source->SetColor(0.1, 0.2, 0.3);
    source->SetShowLabel(true);
    source->SetIKPivot(VgeTVector(4, 5, 6, 1));

    mNode->SetNodeAttribute(mMarker);
    *mMarker = *source;
    EXPECT_EQ(mMarker->GetType(), VOxaMarker::eOPTICAL);
    EXPECT_EQ(mMarker->GetLook(), VOxaMarker::eSPHERE);
    EXPECT_EQ(mMarker->GetSize(), 3.5);
    EXPECT_EQ(mMarker->GetColor()[2], 0.3);
    EXPECT_TRUE(mMarker->GetShowLabel());
    EXPECT_EQ(mMarker->GetIKPivot()[0], 0.0) << "the pivot is not copied";
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(0)), "") << "the kind is stored without re-attaching";

    // Detaching removes whatever marker channel is there; destroying through the manager works
    // on an attached marker.
    mMarker->SetType(VOxaMarker::eIK_EFFECTOR);
    EXPECT_TRUE(mManager.DestroyNodeAttribute(mMarker));
    EXPECT_EQ(mNode->GetNodeAttribute(), nullptr);
    EXPECT_EQ(MarkerChannels(mNode->GetTakeNode(1)), "");
}

}  // namespace
