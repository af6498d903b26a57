#include "formats/geometry/3ds/voxa_3ds_rotation_keys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/vstring.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

void SetText(VOxaNode* node, const char* text) {
    VOxaNodeProperties* block = node->GetNodeProperties();
    VProperty* property = block->FindProperty(kKeptRotationKeysProperty);
    if (!property) property = block->CreateDynamicProperty(kKeptRotationKeysProperty, eValueString, nullptr);
    ASSERT_NE(dynamic_cast<VPropertyTemplate<VString>*>(property), nullptr);
    dynamic_cast<VPropertyTemplate<VString>*>(property)->SetValue(VString(text));
}

}  // namespace

TEST(rotation_keys3ds, TextThatIsNotWholeKeysGivesNone) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Box");
    std::vector<Ftk::KeyHeader> keys;
    std::vector<float> values;
    EXPECT_FALSE(KeptRotationKeys(node, keys, values));  // no property
    for (const char* text :
         {"", "0 0 1 0 0", "0 0 1 0 0 1 x", "0 1 0.5", "0.5 0 1 0 0 1", "0 32 1 0 0 1", "0 -1 1 0 0 1",
          "3000000000 0 1 0 0 1", "0 0 nan 0 0 1", "0 0 1e999 0 0 1", "0 0 1 0 0 1 junk"}) {
        SetText(node, text);
        EXPECT_FALSE(KeptRotationKeys(node, keys, values)) << '"' << text << '"';
        EXPECT_TRUE(keys.empty() && values.empty()) << text;
    }
}

TEST(rotation_keys3ds, KeysComeBackBitForBit) {
    VOxaSdkManager manager;
    VOxaNode* node = manager.CreateNode("Box");
    std::vector<Ftk::KeyHeader> in(3);
    in[0].mFrame = -5;
    in[1].mFrame = 7;
    in[1].mSplineFlags = 0x1F;
    in[1].mTension = 0.1f;
    in[1].mContinuity = -0.3333333f;
    in[1].mBias = 1e-30f;
    in[1].mEaseTo = 0.25f;
    in[1].mEaseFrom = 3.4e38f;
    in[2].mFrame = 2147483647;
    in[2].mSplineFlags = 0x5;
    in[2].mTension = -1.0f;
    in[2].mContinuity = 9.0f;  // not flagged: not kept
    in[2].mBias = 0.7f;
    const std::vector<float> turns = {3.14159274f, 0.0f,     0.0f,   1.0f, -0.0f, 1e-8f,
                                      -0.57735f,   0.57735f, 1e-40f, 1.0f, 2.0f,  3.0f};
    KeepRotationKeys(node, in.data(), turns.data(), 3);
    std::vector<Ftk::KeyHeader> keys;
    std::vector<float> values;
    ASSERT_TRUE(KeptRotationKeys(node, keys, values));
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(values, turns);
    EXPECT_TRUE(std::signbit(values[4]));
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(keys[k].mFrame, in[k].mFrame) << k;
        EXPECT_EQ(keys[k].mSplineFlags, in[k].mSplineFlags) << k;
    }
    EXPECT_EQ(keys[1].mTension, 0.1f);
    EXPECT_EQ(keys[1].mContinuity, -0.3333333f);
    EXPECT_EQ(keys[1].mBias, 1e-30f);
    EXPECT_EQ(keys[1].mEaseTo, 0.25f);
    EXPECT_EQ(keys[1].mEaseFrom, 3.4e38f);
    EXPECT_EQ(keys[2].mTension, -1.0f);
    EXPECT_EQ(keys[2].mContinuity, 0.0f);
    EXPECT_EQ(keys[2].mBias, 0.7f);
    // Keeping again replaces the keys; keeping none leaves no keys behind.
    KeepRotationKeys(node, &in[1], &turns[4], 1);
    ASSERT_TRUE(KeptRotationKeys(node, keys, values));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].mFrame, 7);
    KeepRotationKeys(node, in.data(), turns.data(), 0);
    EXPECT_FALSE(KeptRotationKeys(node, keys, values));
}
