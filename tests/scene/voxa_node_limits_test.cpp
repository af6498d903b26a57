#include "scene/voxa_node_limits.h"

#include <gtest/gtest.h>

#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

TEST(scene_NodeLimits, PerAxisFlagsAndValues) {
    VOxaLimits limits;
    EXPECT_FALSE(limits.IsLimitActive());
    limits.SetLimitMaxActive(false, false, true);
    EXPECT_TRUE(limits.IsLimitActive()) << "the maximum Z flag alone makes the limits active";
    bool x = true, y = true, z = false;
    limits.GetLimitMaxActive(x, y, z);
    EXPECT_FALSE(x);
    EXPECT_FALSE(y);
    EXPECT_TRUE(z);
    limits.SetLimitMin(VgeTVector(-1, -2, -3, 7));
    EXPECT_EQ(limits.GetLimitMin()[3], 7.0) << "all four components are kept";
}

TEST(scene_NodeLimits, RotationSwitchWritesTheNodesProperty) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaNode* node = manager->CreateNode("Joint");
    VOxaNodeLimits* limits = node->GetLimits();
    ASSERT_NE(limits, nullptr);
    EXPECT_EQ(limits->GetLimitedNode(), node);

    limits->SetRotationLimitsActive(true);
    EXPECT_TRUE(node->GetRotationActive());
    limits->SetTranslationLimitsActive(true);
    EXPECT_FALSE(node->GetNodeProperties()->GetTranslationActive()) << "only rotation reaches the property";

    node->SetRotationActive(false);
    EXPECT_FALSE(limits->GetRotationLimitsActive()) << "the node's setter goes through the limits";
    EXPECT_FALSE(node->GetRotationActive());

    VOxaNodeLimits detached(nullptr);
    detached.SetRotationLimitsActive(true);
    EXPECT_TRUE(detached.GetRotationLimitsActive());
    EXPECT_FALSE(node->GetRotationActive());
    delete manager;
}

}  // namespace
