#include <gtest/gtest.h>

#include <cstring>

#include "objects/vdatatype.h"
#include "objects/vproperty.h"

TEST(objects_DataType, EveryNameFoundWithItsShape) {
    struct Expected {
        const char* name;
        int components;
        int valueType;
    } expected[] = {
        {"Action", 1, eValueBool},
        {"Color", 3, eValueColor},
        {"ColorAndAlpha", 4, eValueColorAndAlpha},
        {"Cone angle", 1, eValueNumber},
        {"FieldOfView", 1, eValueNumber},
        {"Fog", 1, eValueNumber},
        {"IK Reach Rotation", 1, eValueNumber},
        {"IK Reach Translation", 1, eValueNumber},
        {"Intensity", 1, eValueNumber},
        {"Lcl Rotation", 3, eValueVector},
        {"Lcl Scaling", 3, eValueVector},
        {"Lcl Translation", 3, eValueVector},
        {"Matrix Rotation", 3, eValueVector},
        {"Matrix Scaling", 3, eValueVector},
        {"Number", 1, eValueNumber},
        {"Occlusion", 1, eValueNumber},
        {"Real", 1, eValueReal},
        {"Roll", 1, eValueNumber},
        {"Rotation", 3, eValueVector},
        {"Scaling", 3, eValueVector},
        {"Scaling UV", 3, eValueVector},
        {"Shape", 1, eValueNumber},
        {"TimeWarp", 1, eValueNumber},
        {"Translation", 3, eValueVector},
        {"Vector", 3, eValueVector},
        {"Vector4", 4, eValueVector4},
        {"Visibility", 1, eValueNumber},
        {"Weight", 1, eValueNumber},
    };
    ASSERT_EQ(VDataType::GetCount(), (int)(sizeof(expected) / sizeof(expected[0])));
    for (const Expected& e : expected) {
        const VDataType* t = VDataType::Find(e.name);
        ASSERT_NE(t, nullptr) << e.name;
        EXPECT_STREQ(t->GetName(), e.name);
        EXPECT_EQ(t->GetComponentCount(), e.components) << e.name;
        EXPECT_EQ(GetValueTypeOfDataType(t), e.valueType) << e.name;
        EXPECT_EQ(VDataType::Find(e.name), t);  // one instance per name
        EXPECT_GE(t->GetValueSize(), 1);
    }
    // The registry stays sorted, which the lookup relies on.
    for (int i = 1; i < VDataType::GetCount(); ++i) {
        EXPECT_LT(std::strcmp(VDataType::GetAt(i - 1)->GetName(), VDataType::GetAt(i)->GetName()), 0);
    }
}

TEST(objects_DataType, UnknownNamesAliasesAndDefaults) {
    EXPECT_EQ(VDataType::Find(nullptr), nullptr);
    EXPECT_EQ(VDataType::Find(""), nullptr);
    EXPECT_EQ(VDataType::Find("number"), nullptr);  // exact bytes
    EXPECT_EQ(VDataType::Find("Lcl Translation "), nullptr);
    EXPECT_EQ(VDataType::Find("Zzz"), nullptr);
    EXPECT_EQ(VDataType::Find("Trigger"), VDataType::Find("Action"));
    EXPECT_EQ(GetValueTypeOfDataType(nullptr), 0);

    EXPECT_EQ(VDataType::GetDefault(eValueNumber), VDataType::Find("Number"));
    EXPECT_EQ(VDataType::GetDefault(eValueVector4), VDataType::Find("Vector4"));
    EXPECT_EQ(VDataType::GetDefault(eValueVector), VDataType::Find("Vector"));
    EXPECT_EQ(VDataType::GetDefault(eValueColor), VDataType::Find("Color"));
    EXPECT_EQ(VDataType::GetDefault(eValueColorAndAlpha), VDataType::Find("ColorAndAlpha"));
    for (int vt : {0, 1, 2, 3, 5, 6, 7, 8, 9, 16})
        EXPECT_EQ(VDataType::GetDefault(vt), nullptr) << vt;

    EXPECT_EQ(VDataType::Find("Lcl Rotation")->GetBaseType(), VDataType::Find("Vector"));
    EXPECT_EQ(VDataType::Find("Weight")->GetBaseType(), VDataType::Find("Number"));
    EXPECT_EQ(VDataType::Find("Number")->GetBaseType(), nullptr);
}
