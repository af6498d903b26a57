#ifndef OXA_FORMATS_MOTION_HTR_VOXA_READER_HTR_H
#define OXA_FORMATS_MOTION_HTR_VOXA_READER_HTR_H

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/htr/voxa_file_htr.h>
#include <oxa/oxa_codec/voxa_reader.h>

class VOxaPose;
class VOxaScene;
class VStreamOptionsMotion;

// Reads an HTR file into a skeleton of nodes with animation curves. Each segment becomes a node
// named as the segment with a limb-node skeleton attribute; each leaf segment gets an end node
// "<segment>_End" along the bone axis. The skeleton hangs below a node "HTR:reference" under the
// scene's root (directly under the root when option 8 "ImportCreateReferenceNode" is not 1); the
// animation goes into a new take named after the file, and a rest pose "<top>_RESTPOSE" records
// each segment's base transform.
//
// A segment's bone length is also kept as its node's "AxisLen" (0 for the end nodes), which is
// where the skeleton writers read a node's bone length back.
class OXA_API VOxaReaderMotionAnalysisHtr : public VOxaReader {
public:
    using Segment = VOxaFileMotionAnalysisHtr::Segment;

    // Deepest segment tree accepted: deeper chains are refused rather than walked.
    static constexpr int kMaxDepth = 1024;

    explicit VOxaReaderMotionAnalysisHtr(VOxaSdkManager* manager);
    ~VOxaReaderMotionAnalysisHtr() override;

    bool FileOpen(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override;
    // New motion options filled from the header (frame count, custom rate, option 8 = 1).
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // The nodes of the segments under `parent`, with defaults, limits, end nodes and the take.
    bool BuildSkeleton(VOxaSdkManager* manager, VOxaNode* parent, const char* takeName,
                       VStreamOptionsMotion* options);
    // The segment's working matrix, rotation axis, bone length, rotation type and limits.
    void SetupSegmentLimits(Segment* segment);
    // The end node's translation along the bone axis and its fixed limits.
    void SetupEndNode(Segment* segment, VOxaNode* endNode);
    // The segment blocks into the curves, then the curve filters. Every segment keeps the
    // orientation the file gives it at every frame, whatever the "MinimizeRotationOffset"
    // setting says: a pass that turned each segment by its rest orientation moved the frames of
    // a file read and written again, and the end markers with them.
    bool ReadAnimation(VStreamOptionsMotion* options, VOxaNode* rootNode);
    // The scale factors of the frames read ("SF", the scale of a segment's bone) as scalings:
    // each segment's node scales alike along its axes so that its whole scale is its own scale
    // factor (its scaling keys hold it divided by its parent's), and a segment whose parent is
    // scaled has its translation keys divided by the parent's factor, which keeps it where the
    // file puts it. Only the end of a bone (a leaf's end node) moves with its scale factor.
    void ApplyScaleFactors(int frameCount);
    // The rest pose "<name of top>_RESTPOSE" with each segment's base transform (local).
    VOxaPose* CreateRestPose(VOxaScene* scene, VOxaNode* top);

    VOxaFileMotionAnalysisHtr* GetFile() const { return mFile; }
    const VString& GetFileName() const { return mFileName; }

private:
    bool Fail(int id);
    // Error "File is corrupted" followed by `detail`, or by what the file says made its read fail
    // (with its line) when `detail` is null; false.
    bool Corrupted(const char* detail = nullptr);

    VOxaFileMotionAnalysisHtr* mFile = nullptr;
    VString mFileName;
    // The root segment's node, set by BuildSkeleton.
    VOxaNode* mSkeletonRoot = nullptr;
};

// The factory of the importer's "htr" row.
OXA_API VOxaReader* VOxaCreateHtrReader(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_HTR_VOXA_READER_HTR_H
