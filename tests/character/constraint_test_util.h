#ifndef OXA_TESTS_CHARACTER_CONSTRAINT_TEST_UTIL_H
#define OXA_TESTS_CHARACTER_CONSTRAINT_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "objects/voxa_property_handler.h"
#include "scene/voxa_take_node.h"

// Checks shared by the constraint tests: a block's property list against a table, a channel's
// curve, and the four components of a vector.
namespace constraint_test {

struct Row {
    const char* name;
    int valueType;
    const char* dataType;  // null: not checked
    bool animatable;
};

inline void ExpectProperties(const VOxaPropertyHandler* block, const std::vector<Row>& rows) {
    ASSERT_EQ(block->GetPropertyCount(), (int)rows.size());
    for (int i = 0; i < (int)rows.size(); ++i) {
        const VProperty* p = block->GetProperty(i);
        SCOPED_TRACE(std::string("property ") + std::to_string(i) + " " + rows[i].name);
        EXPECT_STREQ(p->GetName(), rows[i].name);
        EXPECT_EQ(p->GetValueType(), rows[i].valueType);
        if (rows[i].dataType) {
            ASSERT_NE(p->GetDataType(), nullptr);
            EXPECT_STREQ(p->GetDataType()->GetName(), rows[i].dataType);
        }
        EXPECT_EQ(p->IsAnimatable(), rows[i].animatable);
        EXPECT_EQ(p->HasStateFlag(kPropertyAnimated), rows[i].animatable);
    }
}

inline VFCurve* Curve(VOxaTakeNode* take, const char* channel, const char* component = nullptr) {
    VFCurveNode* node = take->GetVFCurveNode()->FindChild(channel);
    if (node && component) node = node->FindChild(component);
    return node ? node->FCurveGet() : nullptr;
}

inline void ExpectVector(const VgeTVector& v, double x, double y, double z, double w) {
    EXPECT_DOUBLE_EQ(v[0], x);
    EXPECT_DOUBLE_EQ(v[1], y);
    EXPECT_DOUBLE_EQ(v[2], z);
    EXPECT_DOUBLE_EQ(v[3], w);
}

}  // namespace constraint_test

#endif  // OXA_TESTS_CHARACTER_CONSTRAINT_TEST_UTIL_H
