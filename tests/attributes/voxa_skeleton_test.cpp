#include "attributes/voxa_skeleton.h"

#include <gtest/gtest.h>

#include <limits>

#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

std::string Flags(const VOxaSkeleton& skeleton) {
    VStringList flags = skeleton.GetTypeFlags();
    std::string text;
    for (int i = 0; i < flags.GetCount(); ++i)
        text += (i ? "," : "") + std::string(flags[i]);
    return text;
}

bool ColorSaved(VOxaSkeleton& skeleton) {
    return !skeleton.GetProperties()->GetColorProperty()->HasStateFlag(kPropertyNotSaved);
}

TEST(attributes_Skeleton, NewSkeletonAndItsBlock) {
    VOxaSdkManager manager;
    VOxaSkeleton* skeleton = manager.CreateSkeleton();
    ASSERT_NE(skeleton, nullptr);
    EXPECT_EQ(skeleton->GetAttributeType(), VOxaNodeAttribute::eSkeleton);
    EXPECT_EQ(skeleton->GetSkeletonType(), 0);
    EXPECT_EQ(skeleton->GetSize(), 100.0);
    EXPECT_EQ(skeleton->GetLimbLength(), 1.0);
    EXPECT_EQ(skeleton->GetColor(), VOxaColor(0.8, 0.8, 0.8, 1.0));
    EXPECT_FALSE(skeleton->IsSkeletonTypeSet() || skeleton->IsSizeSet() || skeleton->IsLimbLengthSet() ||
                 skeleton->IsColorSet());
    EXPECT_FALSE(ColorSaved(*skeleton)) << "a root's colour is not written";

    const char* const names[] = {"Size", "LimbLength", "Color"};
    VOxaSkeletonProperties* block = skeleton->GetProperties();
    EXPECT_TRUE(block->IsA(VOxaSkeletonProperties::ClassId));
    ASSERT_EQ(block->GetPropertyCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_STREQ(block->GetProperty(i)->GetName(), names[i]);
    EXPECT_TRUE(block->GetProperty(1)->HasStateFlag(kPropertyState1));
    EXPECT_EQ(block->GetProperty(2)->GetValueType(), eValueColor);

    VOxaNode* node = manager.CreateNode("Hips");
    node->SetNodeAttribute(skeleton);
    EXPECT_EQ(node->GetSkeleton(), skeleton);
    EXPECT_EQ(node->GetNull(), nullptr);
    EXPECT_EQ(node->GetMultiTake(), 1);
    EXPECT_STREQ(node->GetTypeName().Buffer(), "Root");
}

TEST(attributes_Skeleton, TypesNamesFlagsAndGuardedSetters) {
    VOxaSdkManager manager;
    VOxaSkeleton& s = *manager.CreateSkeleton();
    const struct {
        int mType;
        const char* mName;
        const char* mFlags;
        bool mColorSaved;
    } cases[] = {{0, "Root", "Null,Skeleton,Root", false},
                 {1, "Limb", "Skeleton", true},
                 {2, "LimbNode", "Skeleton", true},
                 {3, "Root", "Null,Skeleton,Root", false},
                 {7, "", "", false},
                 {-1, "", "", false}};
    for (const auto& c : cases) {
        s.SetSkeletonType(c.mType);
        EXPECT_STREQ(s.GetTypeName().Buffer(), c.mName) << "type " << c.mType;
        EXPECT_EQ(Flags(s), c.mFlags) << "type " << c.mType;
        EXPECT_EQ(ColorSaved(s), c.mColorSaved) << "type " << c.mType;
    }
    EXPECT_TRUE(s.IsSkeletonTypeSet());

    // Limb length: limbs only.
    s.Reset();
    EXPECT_FALSE(s.SetLimbLength(5.0));
    s.SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
    EXPECT_FALSE(s.SetLimbLength(5.0));
    EXPECT_EQ(s.GetLimbLength(), 1.0);
    EXPECT_FALSE(s.IsLimbLengthSet());
    s.SetSkeletonType(VOxaSkeleton::eLIMB);
    EXPECT_TRUE(s.SetLimbLength(5.0));
    EXPECT_EQ(s.GetLimbLength(), 5.0);
    EXPECT_TRUE(s.IsLimbLengthSet());

    // Colour: limbs and limb nodes only; read back clamped with alpha 1.
    s.SetSkeletonType(VOxaSkeleton::eROOT);
    EXPECT_FALSE(s.SetColor(VOxaColor(0, 0, 1, 0.5)));
    EXPECT_FALSE(s.IsColorSet());
    s.SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
    EXPECT_TRUE(s.SetColor(VOxaColor(0, 0, 1, 0.5)));
    EXPECT_EQ(s.GetColor(), VOxaColor(0, 0, 1, 1));
    const double stored[4] = {2.0, -1.0, std::numeric_limits<double>::quiet_NaN(), 0.0};
    s.GetProperties()->GetColorProperty()->SetValue(stored);
    EXPECT_EQ(s.GetColor(), VOxaColor(1, 0, 0, 1)) << "out-of-range components are clamped on reading";

    // Size: any type, and any value is stored.
    s.SetSkeletonType(42);
    s.SetSize(-3.0);
    EXPECT_EQ(s.GetSize(), -3.0);
    EXPECT_TRUE(s.IsSizeSet());
}

TEST(attributes_Skeleton, AssignmentKeepsTheSourceRecords) {
    VOxaSdkManager manager;
    VOxaSkeleton& copy = *manager.CreateSkeleton();

    // A limb whose values went in through the setters carries every record.
    VOxaSkeleton limb(&manager);
    limb.SetSkeletonType(VOxaSkeleton::eLIMB);
    limb.SetLimbLength(7.0);
    limb.SetColor(VOxaColor(0.1, 0.2, 0.3, 1.0));
    limb.SetSize(12.0);
    copy = limb;
    EXPECT_EQ(copy.GetSkeletonType(), VOxaSkeleton::eLIMB);
    EXPECT_EQ(copy.GetLimbLength(), 7.0);
    EXPECT_EQ(copy.GetSize(), 12.0);
    EXPECT_EQ(copy.GetColor(), VOxaColor(0.1, 0.2, 0.3, 1.0));
    EXPECT_TRUE(copy.IsLimbLengthSet() && copy.IsColorSet() && copy.IsSizeSet() && copy.IsSkeletonTypeSet());

    // A limb whose values were written into the block directly, records clear: the copy runs the
    // setters but ends with the source's clear records.
    VOxaSkeleton quiet(&manager);
    quiet.SetSkeletonType(VOxaSkeleton::eLIMB);
    quiet.GetProperties()->SetLimbLength(9.0);
    quiet.GetProperties()->SetSize(4.0);
    copy = quiet;
    EXPECT_EQ(copy.GetLimbLength(), 9.0);
    EXPECT_EQ(copy.GetSize(), 4.0);
    EXPECT_EQ(copy.GetColor(), VOxaColor(0.8, 0.8, 0.8, 1.0)) << "the colour was reset";
    EXPECT_TRUE(copy.IsSkeletonTypeSet());
    EXPECT_FALSE(copy.IsLimbLengthSet() || copy.IsSizeSet() || copy.IsColorSet());
    EXPECT_TRUE(ColorSaved(copy));

    // A root source: limb length and colour are not taken.
    VOxaSkeleton root(&manager);
    root.GetProperties()->SetLimbLength(3.0);
    copy = root;
    EXPECT_EQ(copy.GetLimbLength(), 1.0);
    EXPECT_FALSE(copy.IsSkeletonTypeSet() || copy.IsSizeSet() || copy.IsLimbLengthSet() || copy.IsColorSet());
    EXPECT_FALSE(ColorSaved(copy));
}

}  // namespace
