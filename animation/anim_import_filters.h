#ifndef OXA_ANIMATION_ANIM_IMPORT_FILTERS_H
#define OXA_ANIMATION_ANIM_IMPORT_FILTERS_H

#include "base/vtime.h"

class VFCurveNode;

// Runs on `node` the rotation filter that the process-wide import settings
// choose (VFCurveGetRotationFilterMode, read once): 1 the gimbal killer, 2 the
// unroll filter, with the span start .. stop, applied recursively; any other
// mode does nothing. Answers the filter's answer (false for a null node or when
// no filter runs).
bool ApplyRotationFilter(VFCurveNode* node, VTime start, VTime stop);

#endif  // OXA_ANIMATION_ANIM_IMPORT_FILTERS_H
