#ifndef OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H
#define OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
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
    // One warning when the skeleton below `root` holds markers: each is written as a joint whose
    // end site a reader gives back as a node of its own ("<marker>_End"; ASF ends each at the
    // marker), and a skeleton whose root is renamed (`rootRenamed`) gives it back as "root".
    static void WarnMarkerEnds(VStreamOptionsMotion* options, VOxaNode* root, const char* format,
                               bool rootRenamed);

    // Checks that the options' frames lie on the time line: a frame period above 0 and short
    // enough that start + period x (count - 1) stays within it. False with `refusal` naming the
    // rate when they do not.
    static bool FramesFit(const VStreamOptionsMotion* options, VString& refusal);

    // The first frame number a writer whose frames count from 1 at time 0 gives the first frame
    // of a take starting at `start`: 1 + start x rate, rounded. 1 when that is no whole number the
    // file can hold.
    static long long FirstFrameNumber(VTime start, double rate);
    // 1 + start x rate, rounded with half a frame going up (before 0 as after: -0.5 gives frame 1):
    // the number every writer whose frames count from 1 at time 0 gives a take's first frame (a
    // double: it may be no number a file holds).
    static double StartFrame(VTime start, double rate);
    // A line ("...\n") saying that a take starting between two frames is numbered from the
    // nearest one, and where that puts it; "" when the start falls on a frame.
    static VString BetweenFramesNote(VTime start, double rate, const char* format);
    // The numbers a file whose frames count from 1 at time 0 gives `count` frames from `start`:
    // `first` = FirstFrameNumber, and true when first - 1 and first + count - 1 are 32-bit numbers
    // (what the readers of such files take). Otherwise false with `refusal` saying that the
    // `format` file cannot keep the take's start.
    static bool FrameNumbersFit(VTime start, double rate, long long count, const char* format,
                                long long& first, VString& refusal);
    // The frame rate of the options as a file writes it: the custom rate, else the rate of the
    // time mode.
    static double FrameRate(const VStreamOptionsMotion* options);
    // Writes `rate` (above 0 and finite) with the fewest significant digits that read back as the
    // same double, a whole rate as a whole number.
    static void FormatRate(char* out, size_t size, double rate);
};

// The joints whose scale, in a frame a skeleton writer writes, is not the scale their bones are
// written with. BVH and AMC hold no scale: such a joint's bone keeps the length of the skeleton
// written, and the writer says so once, after its frames, naming the joints.
class OXA_API VOxaScaleChanges {
public:
    // `reference` holds each joint's scale (its own times its ancestors') as the skeleton written
    // has it.
    explicit VOxaScaleChanges(std::vector<VgeTVector> reference);
    // Joint `joint`'s scale (its own times its ancestors') in a frame written.
    void Note(size_t joint, const VgeTVector& scale);
    bool Changed(size_t joint) const { return joint < mChanged.size() && mChanged[joint]; }
    // The warning naming the joints whose scale changed (`names[k]` names joint k; a joint
    // without name, an end site, is not named), "" when none did. The first 20 are named, the
    // rest counted.
    VString Text(const std::vector<const char*>& names, const char* format) const;
    // Shows Text through the options' message receiver when it is not empty.
    void Warn(VStreamOptionsMotion* options, const std::vector<const char*>& names, const char* format) const;

private:
    std::vector<VgeTVector> mReference;
    std::vector<char> mChanged;
};

#endif  // OXA_FORMATS_MOTION_VOXA_SKELETON_SUPPORT_H
