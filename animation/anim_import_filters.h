#ifndef OXA_ANIMATION_ANIM_IMPORT_FILTERS_H
#define OXA_ANIMATION_ANIM_IMPORT_FILTERS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveNode;

// Runs on `node` the rotation filter that the process-wide import settings
// choose (VFCurveGetRotationFilterMode, read once): 1 the gimbal killer, 2 the
// unroll filter, with the span start .. stop, applied recursively; any other
// mode does nothing. Answers the filter's answer (false for a null node or when
// no filter runs).
OXA_API bool ApplyRotationFilter(VFCurveNode* node, VTime start, VTime stop);

// The tidying of a curve-node tree after a read (layers merged or a time warp baked): the rotation
// filter over the whole time line, then, when the import settings ask for it
// (VFCurveGetApplyConstantKeyReducer), the constant key reducer on the tree.
OXA_API void ApplyImportFilters(VFCurveNode* node);

// The tidying of one joint of a motion capture after its curves are filled: with the constant key
// reducer setting on, constant keys go from the three translation curves; the rotation filter of
// the settings runs on the three rotation curves (XYZ order); then, with the setting on, constant
// keys go from the rotation curves. A null array (or curve) leaves that part out.
OXA_API void ApplyJointImportFilters(VFCurve* translation[3], VFCurve* rotation[3]);

#endif  // OXA_ANIMATION_ANIM_IMPORT_FILTERS_H
