#include "animation/anim_import_filters.h"

#include "animation/anim_settings.h"
#include "animation/fcurve_node.h"
#include "animation/filters/fcurve_filter_constant_key_reducer.h"
#include "animation/filters/fcurve_filter_gimble_killer.h"
#include "animation/filters/fcurve_filter_unroll.h"

bool ApplyRotationFilter(VFCurveNode* node, VTime start, VTime stop) {
    int mode = VFCurveGetRotationFilterMode();
    if (!node) return false;
    if (mode == 1) {
        VFCurveFilterGimbleKiller filter;
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        return filter.Apply(*node, true);
    }
    if (mode == 2) {
        VFCurveFilterUnroll filter;
        filter.SetStartTime(start);
        filter.SetStopTime(stop);
        return filter.Apply(*node, true);
    }
    return false;
}

void ApplyImportFilters(VFCurveNode* node) {
    if (!node) return;
    ApplyRotationFilter(node, VTIME_MINUS_INFINITE, VTIME_INFINITE);
    if (VFCurveGetApplyConstantKeyReducer()) {
        VFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(*node, true);
    }
}

void ApplyJointImportFilters(VFCurve* translation[3], VFCurve* rotation[3]) {
    auto complete = [](VFCurve* curves[3]) { return curves && curves[0] && curves[1] && curves[2]; };
    bool reduce = VFCurveGetApplyConstantKeyReducer();
    if (reduce && complete(translation)) {
        VFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(translation, 3);
    }
    if (!complete(rotation)) return;
    int mode = VFCurveGetRotationFilterMode();
    if (mode == 1) {
        VFCurveFilterGimbleKiller filter;
        filter.Apply(rotation, 3);
    } else if (mode == 2) {
        VFCurveFilterUnroll filter;
        filter.Apply(rotation, 3);
    }
    if (reduce) {
        VFCurveFilterConstantKeyReducer reducer;
        reducer.Apply(rotation, 3);
    }
}
