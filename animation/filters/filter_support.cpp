#include "animation/filters/filter_support.h"

#include "animation/fcurve_node.h"

namespace oxa_filter {

namespace {

void WalkInterpolations(VFCurveNode* node, unsigned mask, bool includeLayers, bool& anyKey, bool& allMatch) {
    if (includeLayers && node->GetNextLayer())
        WalkInterpolations(node->GetNextLayer(), mask, true, anyKey, allMatch);
    for (int i = 0; i < node->GetCount(); ++i)
        WalkInterpolations(node->Get(i), mask, includeLayers, anyKey, allMatch);
    if (VFCurve* curve = node->FCurveGet()) {
        for (int k = 0; k < curve->KeyGetCount(); ++k) {
            anyKey = true;
            if ((curve->KeyGetInterpolation(k) & mask) == 0) allMatch = false;
        }
    }
}

}  // namespace

bool TreeHasOnlyInterpolation(VFCurveNode* node, unsigned mask, bool includeLayers) {
    if (!node) return false;
    bool anyKey = false, allMatch = true;
    WalkInterpolations(node, mask, includeLayers, anyKey, allMatch);
    return anyKey && allMatch;
}

void RemoveMarkedKeys(VFCurve& curve, const std::vector<char>& removed) {
    int count = curve.KeyGetCount();
    int survivors = 0;
    for (int i = 0; i < count; ++i)
        survivors += removed[(size_t)i] ? 0 : 1;
    if (survivors == count) return;

    CurvePtr kept(NewCurveCopy(curve, false));
    kept->ResizeKeyBuffer(survivors);
    kept->KeyModifyBegin();
    int n = 0;
    for (int i = 0; i < count; ++i) {
        if (!removed[(size_t)i]) kept->KeySet(n++, curve.KeyGet(i));
    }
    // Left tangents go back once every neighbour is in place: an automatic side
    // is stored relative to the keys around it.
    n = 0;
    for (int i = 0; i < count; ++i) {
        if (removed[(size_t)i]) continue;
        if (n > 0 && removed[(size_t)i - 1]) kept->KeySetLeftTangentInfo(n, curve.KeyGetLeftTangentInfo(i));
        ++n;
    }
    kept->KeyModifyEnd();
    curve.CopyFrom(kept.get(), true);
}

}  // namespace oxa_filter
