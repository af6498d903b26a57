#include "scene/voxa_node_properties.h"

#include <gtest/gtest.h>

#include <string>

#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

class scene_NodeProperties : public ::testing::Test {
protected:
    void SetUp() override {
        mManager = VOxaSdkManager::Create();
        ASSERT_NE(mManager, nullptr);
        mNode = mManager->CreateNode("Cube");
        ASSERT_NE(mNode, nullptr);
        mBlock = mNode->GetNodeProperties();
    }
    void TearDown() override { delete mManager; }

    VOxaSdkManager* mManager = nullptr;
    VOxaNode* mNode = nullptr;
    VOxaNodeProperties* mBlock = nullptr;
};

const char* const kOrder[69] = {"QuaternionInterpolate",
                                "RotationOffset",
                                "RotationPivot",
                                "RotationPivotUpdateOffset",
                                "ScalingOffset",
                                "ScalingPivot",
                                "ScalingPivotUpdateOffset",
                                "TranslationActive",
                                "TranslationMin",
                                "TranslationMax",
                                "TranslationMinX",
                                "TranslationMinY",
                                "TranslationMinZ",
                                "TranslationMaxX",
                                "TranslationMaxY",
                                "TranslationMaxZ",
                                "RotationOrder",
                                "RotationSpaceForLimitOnly",
                                "RotationStiffnessX",
                                "RotationStiffnessY",
                                "RotationStiffnessZ",
                                "AxisLen",
                                "PreRotation",
                                "PostRotation",
                                "RotationActive",
                                "RotationMin",
                                "RotationMax",
                                "RotationMinX",
                                "RotationMinY",
                                "RotationMinZ",
                                "RotationMaxX",
                                "RotationMaxY",
                                "RotationMaxZ",
                                "InheritType",
                                "ScalingActive",
                                "ScalingMin",
                                "ScalingMax",
                                "ScalingMinX",
                                "ScalingMinY",
                                "ScalingMinZ",
                                "ScalingMaxX",
                                "ScalingMaxY",
                                "ScalingMaxZ",
                                "GeometricTranslation",
                                "GeometricRotation",
                                "GeometricScaling",
                                "MinDampRangeX",
                                "MinDampRangeY",
                                "MinDampRangeZ",
                                "MaxDampRangeX",
                                "MaxDampRangeY",
                                "MaxDampRangeZ",
                                "MinDampStrengthX",
                                "MinDampStrengthY",
                                "MinDampStrengthZ",
                                "MaxDampStrengthX",
                                "MaxDampStrengthY",
                                "MaxDampStrengthZ",
                                "PreferedAngleX",
                                "PreferedAngleY",
                                "PreferedAngleZ",
                                "LookAtProperty",
                                "UpVectorProperty",
                                "Show",
                                "NegativePercentShapeSupport",
                                "Lcl Translation",
                                "Lcl Rotation",
                                "Lcl Scaling",
                                "Visibility"};

TEST_F(scene_NodeProperties, SixtyNinePropertiesInFileOrderWithTheirFlags) {
    ASSERT_EQ(mBlock->GetPropertyCount(), 69);
    for (int i = 0; i < 69; ++i) {
        VProperty* property = mBlock->GetProperty(i);
        ASSERT_NE(property, nullptr) << i;
        EXPECT_STREQ(property->GetName(), kOrder[i]) << "position " << i;
        const bool animated = i >= 65;
        EXPECT_EQ(property->IsAnimatable(), animated) << kOrder[i];
        EXPECT_EQ(property->HasStateFlag(kPropertyAnimated), animated) << kOrder[i];
        const bool notSaved = i == 3 || i == 6;
        EXPECT_EQ(property->HasStateFlag(kPropertyNotSaved), notSaved) << kOrder[i];
    }
    for (const char* name : {"LookAtProperty", "UpVectorProperty"}) {
        VProperty* list = mBlock->FindProperty(name);
        EXPECT_EQ(list->GetValueType(), eValueObjectList) << name;
        EXPECT_TRUE(list->HasStateFlag(kPropertyState1)) << name;
        EXPECT_EQ(list->GetFlags() & (kPlugAcceptsSrc | kPlugIsSrc | kPlugFlag4), kPlugAcceptsSrc) << name;
    }
    EXPECT_EQ(mBlock->GetLookAtProperty()->GetObjectFilterKind(), 1);
    EXPECT_EQ(mBlock->GetLookAtProperty()->GetObjectFilterClassId(), VOxaNodeProperties::ClassId);
    EXPECT_TRUE(mBlock->IsA(VOxaPropertyHandler::ClassId));
    EXPECT_EQ(mBlock->GetTypeCode(), -1);
}

TEST_F(scene_NodeProperties, DefaultsOfANewNode) {
    EXPECT_EQ(mBlock->GetAxisLen(), 10.0);
    EXPECT_TRUE(mBlock->GetShow());
    EXPECT_TRUE(mBlock->GetNegativePercentShapeSupport());
    VgeTVector scaling = mBlock->GetGeometricScaling();
    EXPECT_EQ(scaling[0] + scaling[1] + scaling[2], 3.0);
    EXPECT_EQ(mBlock->GetRotationOrder(), eEULER_XYZ);
    EXPECT_FALSE(mBlock->GetRotationActive());
    double lcl[4] = {0, 0, 0, 0};
    mBlock->FindProperty("Lcl Scaling")->GetValue(lcl);
    EXPECT_EQ(lcl[0] + lcl[1] + lcl[2], 3.0);
    EXPECT_EQ(mBlock->FindProperty("Lcl Translation")->GetDataType(), VDataType::Find("Lcl Translation"));
    EXPECT_EQ(mBlock->FindProperty("Visibility")->GetDouble(), 1.0);
    EXPECT_EQ(mBlock->GetPivotSet(0).mPivotState, 1);
    EXPECT_EQ(mBlock->GetPivotSet(1).mPivotState, 1);

    // A block made without its node's initialisation holds zeros.
    VOxaNodeProperties* bare = new VOxaNodeProperties(nullptr);
    EXPECT_EQ(bare->GetAxisLen(), 0.0);
    EXPECT_EQ(bare->GetGeometricScaling()[0], 0.0);
    EXPECT_EQ(bare->GetPropertyCount(), 69);
    bare->Destroy();
}

// The destination pivot set is made when first asked for; until then it reads as its defaults,
// and changes of the source set or of the transform defaults do not make it.
TEST_F(scene_NodeProperties, DestinationPivotSetMadeWhenAskedFor) {
    EXPECT_NE(mBlock->FindPivotSet(0), nullptr);
    EXPECT_EQ(mBlock->FindPivotSet(1), nullptr);
    mNode->SetRotationOffset(0, VgeTVector(1.0, 2.0, 3.0, 1.0));
    mNode->SetLclTranslation(VgeTVector(4.0, 5.0, 6.0, 1.0));
    mNode->SetPivotState(0, 0);
    EXPECT_EQ(mBlock->FindPivotSet(1), nullptr);
    mBlock->ResetPivotSet(1);
    EXPECT_EQ(mBlock->FindPivotSet(1), nullptr);

    // First asked for: the defaults, then values of its own.
    VgeTVector& offset = mNode->GetRotationOffset(1);
    ASSERT_NE(mBlock->FindPivotSet(1), nullptr);
    EXPECT_EQ(mBlock->FindPivotSet(1), &mBlock->GetPivotSet(1));
    EXPECT_EQ(mBlock->GetPivotSet(7).mPivotState, 1);  // any index but 0 is set 1
    EXPECT_EQ(offset[0] + offset[1] + offset[2], 0.0);
    VgeTVector scaling;
    EXPECT_EQ(mNode->GetGeometricScaling(1, scaling)[0], 1.0);
    mNode->SetRotationOffset(1, VgeTVector(7.0, 8.0, 9.0, 1.0));
    EXPECT_EQ(mNode->GetRotationOffset(1)[1], 8.0);
    EXPECT_EQ(mNode->GetRotationOffset(0)[1], 2.0);
    mBlock->ResetPivotSet(1);
    EXPECT_EQ(mNode->GetRotationOffset(1)[1], 0.0);
    EXPECT_EQ(mNode->GetRotationOffset(0)[1], 2.0);
    mNode->ResetPivotSet(0);  // the node's reset of the source set leaves set 1 alone
    EXPECT_EQ(mNode->GetRotationOffset(0)[1], 0.0);
    mNode->SetRotationOffset(1, VgeTVector(7.0, 8.0, 9.0, 1.0));
    mNode->ResetPivotSet(0);
    EXPECT_EQ(mNode->GetRotationOffset(1)[1], 8.0);
}

TEST_F(scene_NodeProperties, EnumerationNamesIncludingRepeatsAndGaps) {
    VProperty* order = mBlock->FindProperty("RotationOrder");
    EXPECT_EQ(order->GetValueType(), eValueEnum);
    const char* const orders[7] = {"Euler XYZ", "Euler XZY", "Euler YZX",  "Euler YXZ",
                                   "Euler ZXY", "Euler ZYX", "Spheric XYZ"};
    for (int i = 0; i < 7; ++i)
        EXPECT_STREQ(order->GetInfo().GetEnumName(i), orders[i]) << i;
    EXPECT_EQ(order->GetInfo().GetEnumName(7), nullptr);
    EXPECT_EQ(order->GetInfo().GetEnumName(-1), nullptr);

    VProperty* inherit = mBlock->FindProperty("InheritType");
    EXPECT_EQ(inherit->GetValueType(), eValueEnum);
    EXPECT_STREQ(inherit->GetInfo().GetEnumName(0), "RrSs");
    EXPECT_STREQ(inherit->GetInfo().GetEnumName(1), "RrSs");
    EXPECT_STREQ(inherit->GetInfo().GetEnumName(2), "Rrs");
    EXPECT_EQ(inherit->GetInfo().GetEnumName(3), nullptr);
}

TEST_F(scene_NodeProperties, PropertyModelAndAccessorsShareTheValues) {
    // A vector written with w = 5 through the property model reads back with w = 1.
    VProperty* offset = mBlock->FindProperty("RotationOffset");
    const double in[4] = {1.0, 2.0, 3.0, 5.0};
    ASSERT_TRUE(offset->SetValue(in));
    VgeTVector stored = mBlock->GetRotationOffset();
    EXPECT_EQ(stored[0], 1.0);
    EXPECT_EQ(stored[2], 3.0);
    EXPECT_EQ(stored[3], 1.0);
    double out[4] = {0, 0, 0, 0};
    offset->GetValue(out);
    EXPECT_EQ(out[3], 1.0);

    // Setters write the member; the property reads it.
    mBlock->SetRotationOrder(eEULER_ZYX);
    EXPECT_EQ(mBlock->FindProperty("RotationOrder")->GetInt(), 5);
    mBlock->FindProperty("AxisLen")->SetDouble(4.5);
    EXPECT_EQ(mBlock->GetAxisLen(), 4.5);
    mBlock->SetPreferedAngleY(30.0);
    EXPECT_EQ(mBlock->FindProperty("PreferedAngleY")->GetDouble(), 30.0);
}

}  // namespace

namespace {

TEST_F(scene_NodeProperties, MemberPropertiesMadeLateReadWhatWasSetBefore) {
    // Values the node's construction and the accessors wrote before any property was asked for.
    const uint64_t stamp = mBlock->GetValueStamp();
    mBlock->SetScalingMax(VgeTVector(2.0, 3.0, 4.0, 9.0));
    EXPECT_GT(mBlock->GetValueStamp(), stamp) << "an accessor write moves the stamp";
    double out[4] = {0, 0, 0, 0};
    ASSERT_EQ(mBlock->FindProperty("ScalingMax")->GetValue(out), 4);
    EXPECT_EQ(out[1], 3.0);
    EXPECT_EQ(out[3], 1.0);
    EXPECT_EQ(mBlock->FindProperty("AxisLen")->GetDouble(), 10.0);
    EXPECT_EQ(mBlock->FindProperty("GeometricScaling")->GetValue(out), 4);
    EXPECT_EQ(out[0] + out[1] + out[2], 3.0);
    EXPECT_TRUE(mBlock->FindProperty("RotationPivotUpdateOffset")->HasStateFlag(kPropertyNotSaved));
    EXPECT_FALSE(mBlock->FindProperty("RotationPivot")->HasStateFlag(kPropertyNotSaved));

    // The properties a node sets by pointer are the listed ones.
    VProperty* quaternion = mBlock->GetQuaternionInterpolateProperty();
    EXPECT_EQ(quaternion, mBlock->GetProperty(0));
    EXPECT_EQ(mBlock->GetRotationStiffnessProperty(1), mBlock->FindProperty("RotationStiffnessY"));
    EXPECT_EQ(mBlock->GetRotationStiffnessProperty(9), mBlock->FindProperty("RotationStiffnessZ"));
    ASSERT_TRUE(quaternion->SetInt(1));
    EXPECT_TRUE(mBlock->GetQuaternionInterpolate());
}

}  // namespace
