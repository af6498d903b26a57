#ifndef OXA_FORMATS_MOTION_AMC_VOXA_FILE_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_FILE_ACCLAIM_AMC_H

#include <cstdint>
#include <vector>

#include <oxa/animation/fcurve.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/motion/asf/vacclaim_text_file.h>

class AsfBone;
class VFCurve;
class VOxaAsfScene;
class VStreamOptionsMotion;

// The AMC motion file of an ASF skeleton: header keywords, then frames, each a frame number line
// followed by one line per bone with its dof values in the order of the bone's dof list.
// Translations are in ASF length units; angles in the unit of the AMC's own ":DEGREES" or
// ":RADIANS" line, and without one in that of the ASF's ":units angle" (degrees by default).
class OXA_API VOxaFileAcclaimAmc : public VAcclaimTextFile {
public:
    explicit VOxaFileAcclaimAmc(bool diagnostics = false);

    // Fills `options` with the start time, frame count and frame rate of the header and frames.
    bool ScanHeader(VStreamOptionsMotion* options);
    // Reads the frames into key curves of the skeleton's bones (AsfBone read curves).
    bool ReadFrames(VOxaAsfScene* scene, VStreamOptionsMotion* options);
    // The number of frames the last ReadFrames read.
    long long GetFramesRead() const { return mFramesRead; }

    // Header lines; the rate and range only when present.
    bool WriteHeader(bool ratePresent, double rate, bool rangePresent, long long first, long long last);
    // One frame of the bones bound to nodes (AsfBone::mBoundNode and its curve nodes), at `time`,
    // numbered `frame`. `parentMatrix` (null: none) carries the root's values into the global
    // frame. The bones' scene frames come from VOxaAsfScene; call PrepareWrite first.
    bool WriteFrame(VOxaAsfScene* scene, VTime time, long long frame, const double (*parentMatrix)[4]);
    // Prepares the per-bone constants of WriteFrame (after the bones were bound).
    void PrepareWrite(VOxaAsfScene* scene);
    // The bones WriteFrame writes, depth first from the root, and each one's scale in the frame
    // last written: its own times its ancestors' (1 before the first frame).
    size_t GetWriteBoneCount() const { return mWriteBones.size(); }
    const AsfBone* GetWriteBone(size_t index) const { return mWriteBones[index].bone; }
    VgeTVector GetWrittenScale(size_t index) const;

private:
    // The text at the cursor starts with a number (a frame line).
    bool AtNumber() const;
    bool FrameTime(double frame, VTime start, VTime period, VTime& time);

    // What WriteFrame needs of one bone, prepared once.
    struct WriteBone {
        AsfBone* bone;
        int parent;                // index in the list, -1 for the root
        VFCurveSampler curves[9];  // T, R, S components, without curve when absent
        double defaults[9];        // the values of the components without curve
        double frame[3][3];        // parent A x A^-1
        double offset[3];          // parent offset x A^-1
        int order;                 // rotation order of the dof list
        double scale[3];           // the scaling evaluated in the current frame
        double total[3];           // that scaling times the ancestors'
    };
    std::vector<WriteBone> mWriteBones;
    long long mFramesRead = 0;
    VOxaAsfScene* mWriteScene = nullptr;
};

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_FILE_ACCLAIM_AMC_H
