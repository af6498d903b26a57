#include "animation/time_warp_set.h"

#include <cstdint>

#include "base/vpair_array.h"

namespace {
VPairArray* gTimeWarpSet = nullptr;
}

void VFCurveNodeSetTimeWarpSet(VPairArray* table) {
    gTimeWarpSet = table;
}

VPairArray* VFCurveNodeGetTimeWarpSet() {
    return gTimeWarpSet;
}

VFCurveNode* VFCurveNodeFindTimeWarp(int id) {
    if (!gTimeWarpSet) return nullptr;
    return reinterpret_cast<VFCurveNode*>(gTimeWarpSet->Find(id));
}

bool VFCurveNodeFindTimeWarpId(int* id, const VFCurveNode* node) {
    if (!node || !gTimeWarpSet) return false;
    for (int i = 0; i < gTimeWarpSet->GetCount(); ++i) {
        int key = 0;
        intptr_t value = gTimeWarpSet->GetAt(i, &key);
        if (value == reinterpret_cast<intptr_t>(node)) {
            if (id) *id = key;
            return true;
        }
    }
    return false;
}
