// The time-warp set in use: a process-wide table of (integer id, time-warp curve node) pairs that
// the scene reader owns and installs before it reads a file. Curve-node storage writes and reads
// the "TimeWarpID" field through the two lookups. A plain global without a lock, like the other
// animation settings.
#ifndef OXA_ANIMATION_TIME_WARP_SET_H
#define OXA_ANIMATION_TIME_WARP_SET_H

#include <oxa/base/oxa_export.h>

class VFCurveNode;
class VPairArray;

// Installs `table` (null: none); its values are VFCurveNode pointers. The table stays the
// caller's: uninstall it before destroying it.
OXA_API void VFCurveNodeSetTimeWarpSet(VPairArray* table);
OXA_API VPairArray* VFCurveNodeGetTimeWarpSet();

// The node paired with the first pair of id `id`; null without a table or without such a pair.
OXA_API VFCurveNode* VFCurveNodeFindTimeWarp(int id);

// The id of the first pair holding `node`, written to `id`; false for a null node, without a
// table or when no pair holds it (`id` is then left alone).
OXA_API bool VFCurveNodeFindTimeWarpId(int* id, const VFCurveNode* node);

#endif  // OXA_ANIMATION_TIME_WARP_SET_H
