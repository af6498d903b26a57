// Small builders shared by the curve filter tests.
#ifndef OXA_TESTS_ANIMATION_FILTERS_FILTER_TEST_UTIL_H
#define OXA_TESTS_ANIMATION_FILTERS_FILTER_TEST_UTIL_H

#include <memory>
#include <utility>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "base/vtime.h"

namespace filter_test {

constexpr int64_t kFrame = 1539538600;  // 1/30 s

inline VTime Frames(double frames) {
    return VTime((int64_t)(frames * (double)kFrame));
}
inline VTime Seconds(double seconds) {
    VTime t;
    t.SetSecondDouble(seconds);
    return t;
}

struct CurveDeleter {
    void operator()(VFCurve* c) const { delete c; }
};
using CurvePtr = std::unique_ptr<VFCurve, CurveDeleter>;
struct NodeDeleter {
    void operator()(VFCurveNode* n) const { delete n; }
};
using NodePtr = std::unique_ptr<VFCurveNode, NodeDeleter>;

// Fills `curve` with keys (time, value) of one interpolation (cubic keys get
// auto tangents).
inline void SetKeys(VFCurve& curve, const std::vector<std::pair<VTime, float>>& keys,
                    unsigned interpolation = VFCurveKey::eInterpolationCubic) {
    curve.KeyClear();
    curve.ResizeKeyBuffer((int)keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        // Constant keys hold their own value (the auto bit would read as "hold the next").
        unsigned tangent = interpolation == VFCurveKey::eInterpolationCubic ? VFCurveKey::eTangentAuto : 0u;
        curve.KeySet((int)i, keys[i].first, keys[i].second, interpolation, tangent);
    }
}

inline CurvePtr MakeCurve(const std::vector<std::pair<VTime, float>>& keys,
                          unsigned interpolation = VFCurveKey::eInterpolationCubic) {
    CurvePtr curve(VFCurve::Create());
    SetKeys(*curve, keys, interpolation);
    return curve;
}

// A curve with keys at frames 0, 1, ... holding `values`.
inline CurvePtr FrameCurve(const std::vector<float>& values,
                           unsigned interpolation = VFCurveKey::eInterpolationCubic) {
    std::vector<std::pair<VTime, float>> keys;
    for (size_t i = 0; i < values.size(); ++i)
        keys.push_back({Frames((double)i), values[i]});
    return MakeCurve(keys, interpolation);
}

// A node `name` of `layerType` with children X, Y, Z (and W when `four`), each
// with an empty curve.
inline VFCurveNode* MakeChannel(const char* name, int layerType, bool four = false) {
    VFCurveNode* node = VFCurveNode::Create(name, name, nullptr, 0, 0);
    const char* axes[4] = {"X", "Y", "Z", "W"};
    for (int c = 0; c < (four ? 4 : 3); ++c) {
        VFCurveNode* child = VFCurveNode::CreateFromName(axes[c]);
        child->FCurveSet(VFCurve::Create());
        node->Add(child);
    }
    node->SetLayerType(layerType);
    return node;
}

inline VFCurve* Axis(VFCurveNode* node, int c) {
    return node->Get(c)->FCurveGet();
}

}  // namespace filter_test

#endif  // OXA_TESTS_ANIMATION_FILTERS_FILTER_TEST_UTIL_H
