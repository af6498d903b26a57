// Small builders shared by the curve-node tests.
#ifndef OXA_TESTS_ANIMATION_FCURVE_NODE_TEST_UTIL_H
#define OXA_TESTS_ANIMATION_FCURVE_NODE_TEST_UTIL_H

#include <initializer_list>
#include <utility>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"

namespace fcn_test {

inline VTime Sec(double seconds) {
    return VTime((int64_t)(seconds * (double)VTime::kOneSecond));
}

// A curve with linear keys at (seconds, value) pairs.
inline VFCurve* LinearCurve(std::initializer_list<std::pair<double, double>> keys,
                            float defaultValue = 0.0f) {
    VFCurve* curve = VFCurve::Create();
    curve->SetDefaultValue(defaultValue);
    for (const auto& k : keys) {
        VFCurveKey key;
        key.Set(Sec(k.first), (float)k.second, VFCurveKey::eInterpolationLinear);
        curve->KeyAdd(Sec(k.first), key);
    }
    return curve;
}

// A node "name" with children X, Y, Z (each with a curve holding `defaults`), of layer type `type`.
inline VFCurveNode* Vector3Node(const char* name, const char* dataType, int type, double dx = 0,
                                double dy = 0, double dz = 0) {
    VFCurveNode* node = VFCurveNode::CreateForDataType(VDataType::Find(dataType), name);
    node->SetLayerType(type);
    node->CreateFCurves();
    double d[3] = {dx, dy, dz};
    node->SetDefaultValues(d);
    return node;
}

}  // namespace fcn_test

#endif  // OXA_TESTS_ANIMATION_FCURVE_NODE_TEST_UTIL_H
