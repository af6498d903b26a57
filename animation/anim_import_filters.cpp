#include "animation/anim_import_filters.h"

#include "animation/anim_settings.h"
#include "animation/fcurve_node.h"
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
