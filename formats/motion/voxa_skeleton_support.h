#ifndef OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H
#define OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>

class VOxaNode;
class VStreamOptionsMotion;

// Rules the skeleton writers (BVH, HTR, ASF with AMC) share about what a scene hands them: which
// nodes have nothing to write, which frame ranges a file can hold, and what a format cannot keep.
struct OXA_API VOxaSkeletonSupport {
    // True for a node whose current take marks it occluded in every key of its occlusion curve
    // (a marker that no frame of the capture saw). Formats without gaps would write such a node
    // at a position nothing measured; the skeleton writers leave it out.
    static bool IsNeverSeen(VOxaNode* node);
    // The children of `node` a skeleton writer writes, in order: never-seen leaves are appended
    // to `leftOut` instead (when it is not null).
    static std::vector<VOxaNode*> WrittenChildren(VOxaNode* node, std::vector<VOxaNode*>* leftOut);
    // One warning through the options' message receiver naming the nodes left out as never seen.
    static void WarnLeftOut(VStreamOptionsMotion* options, const std::vector<VOxaNode*>& leftOut,
                            const char* format);

    // Checks that the options' frames lie on the time line: a frame period above 0 and short
    // enough that start + period x (count - 1) stays within it. False with `refusal` naming the
    // rate when they do not.
    static bool FramesFit(const VStreamOptionsMotion* options, VString& refusal);

    // The first frame number a writer whose frames count from 1 at time 0 gives the first frame
    // of a take starting at `start`: 1 + start x rate, rounded. 1 when that is no whole number the
    // file can hold.
    static long long FirstFrameNumber(VTime start, double rate);
    // The frame rate of the options as a file writes it: the custom rate, else the rate of the
    // time mode.
    static double FrameRate(const VStreamOptionsMotion* options);
    // Writes `rate` (above 0 and finite) with the fewest significant digits that read back as the
    // same double, a whole rate as a whole number.
    static void FormatRate(char* out, size_t size, double rate);
};

#endif  // OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H
