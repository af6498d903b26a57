#ifndef OXA_FORMATS_MOTION_C3D_VOXA_FILE_VICON_H
#define OXA_FORMATS_MOTION_C3D_VOXA_FILE_VICON_H

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/c3d/vvicon_loader.h>
#include <oxa/formats/motion/voxa_motion_base.h>

class VStreamOptionsMotion;

// The C3D marker file as the marker bases drive it. Reading: `ReadHeader` (header block,
// processor type, start time, frame count, rate), `ReadTimeCode` ("TIMECODES" into the start
// time), `ReadMarkerNames` (labels, units, screen axes, prefixes) and one `ReadFrame` per frame.
// Writing: `WriteHeader`, `WriteMarkerNames`, one `WriteFrame` per frame and `WriteEnd`, which
// sets the header's parameter and data blocks. Written files declare DEC (85), hold DEC floats
// and Intel integers, millimetres, and the axes (-x, z, y) of the scene.
class OXA_API VOxaFileVicon : public VViconLoaderBase, public IOxaFileMotionBase {
public:
    // Frame numbers and counts live in 16-bit fields.
    static constexpr int kMaxWord = 0xFFFF;
    // The rows of one LABELS parameter (its dimensions are bytes); more markers are named by
    // LABELS2, LABELS3, ...
    static constexpr int kMaxLabels = 255;
    // The bytes of one label (a dimension is a byte).
    static constexpr int kMaxLabelBytes = 255;
    // The parameter section's block count is one byte.
    static constexpr int kMaxParameterBlocks = 255;
    // The usual scale of integer data: 0.1449 mm per unit.
    static constexpr float kIntegerScale = 0.14490029f;

    VOxaFileVicon() = default;
    ~VOxaFileVicon() override;

    // "rb" or "r" reads; "wb" or "w" writes to a temporary file put in place by Close.
    bool Open(const char* path, const char* mode) override;
    bool Close() override;
    void Discard() override;

    bool ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                    double& scale) override;
    bool ReadMarkerNames(VStringList& names, bool keepPrefixes) override;
    bool ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time, int& frameIndex, VTime step,
                   bool exactZeroAsOccluded) override;
    bool ReadEnd() override { return true; }

    // Refuses (false, with `GetRefusal`) marker counts and frame numbers beyond 16 bits; and
    // WriteMarkerNames names that take the parameter section past 255 blocks.
    bool WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                     double scale) override;
    bool WriteMarkerNames(const VStringList& names) override;
    bool WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime time, int frameNumber) override;
    bool WriteEnd() override;
    // Integer data (a `scale` not below 0) takes a scale that holds the largest coordinate.
    const char* GetWriteNotes() const override { return mNotes.Buffer(); }
    bool NeedsLargestCoordinate(double scale) const override { return scale >= 0.0; }
    // The integer scale for coordinates up to `largest` (scene units): the usual 0.14490029 when
    // that holds them, else the smallest float that does (noted in GetWriteWarning), at most
    // the largest scale a reader takes (below 1000): points beyond that are written as gaps.
    void SetLargestCoordinate(double largest) override;
    // What the writer changed without refusing (the integer scale), empty when nothing.
    const VString& GetWriteWarning() const { return mWriteWarning; }

    // "LABELS" (one row per marker, as long as the longest name plus 1) and "DESCRIPTIONS"
    // (`descriptionWidth` blanks per marker) of group 1, 255 rows each; the markers past them go
    // to "LABELS2" and "DESCRIPTIONS2", then "LABELS3", ... Names past 254 characters do not fit
    // the one-byte dimensions and are cut.
    bool WriteLabels(const std::vector<VString>& names, int descriptionWidth = 32);
    // Adds the time of a "TIMECODES" parameter (at least four 16-bit integers: hours, minutes,
    // seconds, frames in the default time mode) to the options' start time. The read position is
    // kept.
    void ReadTimeCode(VStreamOptionsMotion* options);

    // Why WriteHeader refused the file (empty when it did not).
    const VString& GetRefusal() const { return mRefusal; }
    // Why the last ReadHeader or ReadFrame failed, with where: "byte N: ..." for the header,
    // "frame N: ..." for the data (empty when nothing failed since the last ReadHeader).
    const char* GetFailure() const override { return mFailure.Buffer(); }
    // True when the last ReadHeader failed on a file without 3D points (analog channels only).
    bool HoldsNoPoints() const { return mNoPoints; }
    // What a trial without points holds instead ("no 3D points; analog channels are not read").
    const char* GetNoPointsText() const { return mNoPointsText.Buffer(); }
    // A warning of the last ReadHeader (a frame rate read as 30), empty when none.
    const char* GetWarning() const { return mWarning.Buffer(); }
    // The first frame and frame count ReadHeader gave: the header's, or for a trial longer than
    // the header's 16-bit frame numbers, the parameters'.
    int64_t GetTrialFirstFrame() const { return mTrialFirst; }
    int64_t GetTrialFrameCount() const { return mTrialFrames; }
    // The scene axis (from 1) of the file's X, Y and Z, negative where the value is negated (the
    // usual screen axes give (-1, 3, 2)); the unit factor.
    const int* GetAxisMap() const { return mAxisMap; }
    double GetUnitFactor() const { return mUnitFactor; }

private:
    // Sets the failure "<where> <n>: <text>"; answers false.
    bool Fail(const char* where, int64_t n, const char* format, ...) __attribute__((format(printf, 4, 5)));
    // The trial's first frame and length from the parameters, for trials whose frame numbers do
    // not fit the header's 16-bit words: TRIAL:ACTUAL_START_FIELD and ACTUAL_END_FIELD (each two
    // 16-bit words, low word first), else POINT:FRAMES stored as a float. False when the
    // parameters give no length beyond 65535 frames. The read position is kept.
    bool ReadLongTrial(int64_t& first, int64_t& count);
    // The id of the "POINT" group record, 1 when the section declares none; notes the id of the
    // "EVENT" group (0 when none). Leaves the stream anywhere in the parameter section.
    int FindPointGroup();
    // Whether the parameter section declares a group named `name`.
    bool HasGroup(const char* name);
    int mEventGroupId = 0;

    VString mFailure{""};
    VString mWarning{""};
    int64_t mTrialFirst = 0;
    int64_t mTrialFrames = 0;
    bool mRefused = false;
    bool mNoPoints = false;
    VString mNoPointsText{""};
    VString mRefusal{""};
    VString mWriteWarning{""};
    // Float coordinates written as 0 because DEC cannot hold their magnitude.
    int64_t mFlushed = 0;
    // The integer scale WriteHeader writes.
    float mIntegerScale = kIntegerScale;
    std::vector<uint8_t> mFrameBytes;
    std::vector<uint32_t> mFrameWords;
    VString mNotes{""};  // what the write changed (a start between frames)
};

// Reader of C3D files: reference name "C3D"; defaults "UnusedSegments",
// "ImportAsOpticalSegments", "ImportSetOccludedToLastValidPosition" and "ImportActorPrefix" 1,
// and the file's "TIMECODES" added to the start time.
//
// A corrupted file says where it went wrong: "File is corrupted: byte N: ..." for the header,
// "File is corrupted: frame N: ..." for the data; a file without points is refused saying what it
// holds instead ("the file holds no 3D points; analog channels are not read", "...; its rotations
// (group ROTATION) are not read"). A frame rate the header
// cannot give is read as 30 with a warning in the message text.
class OXA_API VOxaReaderVicon : public VOxaReaderMotionBase {
public:
    explicit VOxaReaderVicon(VOxaSdkManager* manager);
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultReadOptions(VStreamOptionsMotion* options) override;

private:
    // After the base's step: the file's warning in the message text. A corrupted file's detail
    // reaches the error through the base, which asks the file for its failure.
    void Report();
};

// Writer of C3D files; defaults "UnusedSegments" 1, "ExportGapsAsValidData" 0,
// "ExportC3DRealFormat" 1 (floating-point data) and "ExportFromGlobalPosition" 0. A scene whose
// marker count or frame numbers do not fit 16 bits is refused with error 5 and a text saying why.
class OXA_API VOxaWriterVicon : public VOxaWriterMotionBase {
public:
    explicit VOxaWriterVicon(VOxaSdkManager* manager);
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultWriteOptions(VStreamOptionsMotion* options) override;
};

OXA_API VOxaReader* VOxaCreateC3dReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateC3dWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_C3D_VOXA_FILE_VICON_H
