#ifndef OXA_FORMATS_MOTION_HTR_VOXA_WRITER_HTR_H
#define OXA_FORMATS_MOTION_HTR_VOXA_WRITER_HTR_H

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/htr/voxa_file_htr.h>
#include <oxa/oxa_codec/voxa_writer.h>

class VOxaNode;
class VOxaPose;
class VOxaScene;

// Writes the skeleton under the scene's motion root (the first marked node down the chain of
// only children from the root) as an HTR file: millimetres, degrees, order ZYX, bone axis Y.
// Each node is a segment, the root's parent "GLOBAL"; end nodes (no children, rotation limits
// active, bone length 0, as the reader makes them) are left out. A segment's base position is its
// matrix in the rest pose "<root>_RESTPOSE" when the pose holds it, else its default transform;
// its frames are offsets from the base translation and rotations applied before the base rotation.
//
// The file is written under a temporary name and put in place when `Write` has written all of it;
// a failed write keeps the old target and answers error 3.
class OXA_API VOxaWriterMotionAnalysisHtr : public VOxaWriter {
public:
    explicit VOxaWriterMotionAnalysisHtr(VOxaSdkManager* manager);
    ~VOxaWriterMotionAnalysisHtr() override;

    bool FileCreate(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override;
    // New motion options with option 13 "ExportFromGlobalPosition" 0 and option 14
    // "ExportRequireSingleRootNode" 1.
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    // The rest pose of `scene` named "Pose::<name>", or null.
    VOxaPose* FindRestPose(VOxaScene* scene, const char* name) const;
    // A node's bone length: its "AxisLen" (1.0 without node properties).
    static double GetAxisLength(VOxaNode* node);
    // No children, rotation limits active and bone length 0.
    static bool IsEndNode(VOxaNode* node);
    // The frame rate the file states: the options' rate, whole or not (0 when they have none).
    static double GetFileFrameRate(const VStreamOptionsMotion& options);

    VOxaFileMotionAnalysisHtr* GetFile() const { return mFile; }
    // File values are scene values divided by it (centimetres to millimetres).
    double GetUnitFactor() const { return mUnitFactor; }

private:
    bool Fail(int id, const char* text = nullptr);

    VOxaFileMotionAnalysisHtr* mFile = nullptr;
    int mSegmentCount = 0;
    int mFrameCount = 0;
    double mUnitFactor = 0.1;
};

// The factory of the exporter's "htr" row.
OXA_API VOxaWriter* VOxaCreateHtrWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_HTR_VOXA_WRITER_HTR_H
