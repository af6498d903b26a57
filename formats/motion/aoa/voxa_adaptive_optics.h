#ifndef OXA_FORMATS_MOTION_AOA_VOXA_ADAPTIVE_OPTICS_H
#define OXA_FORMATS_MOTION_AOA_VOXA_ADAPTIVE_OPTICS_H

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/voxa_motion_base.h>
#include <oxa/formats/motion/vtext_file.h>

// The AOA marker file (and the MCD file, which has the same layout): optional free lines, the
// header line "frames = F markers = M Hz = R" (each word and "=" a token of its own, keywords in
// any case), then F blocks of M lines holding x, y and z of one marker each. Marker names are
// generated ("Marker1" ...); there is no start time and no scale.
class OXA_API VOxaFileAdaptiveOptics : public VTextFile, public IOxaFileMotionBase {
public:
    // `isMcd` names the format in the writer's notes.
    explicit VOxaFileAdaptiveOptics(bool isMcd = false);
    ~VOxaFileAdaptiveOptics() override;

    bool Open(const char* path, const char* mode) override {
        mWholeFrames = -1;
        mReadWarning = "";
        return VTextFile::Open(path, mode);
    }
    bool Close() override { return VTextFile::Close(); }
    void Discard() override { VTextFile::Discard(); }

    bool ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                    double& scale) override;
    bool ReadMarkerNames(VStringList& names, bool actorPrefix) override;
    bool ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time, int& frameCounter, VTime period,
                   bool exactZeroAsOccluded) override;
    bool ReadEnd() override { return true; }

    bool WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                     double scale) override;
    bool WriteMarkerNames(const VStringList&) override { return !WriteFailed(); }
    // A gap (w above 0.5) is written "0 0 0", which the reader takes for a gap; a seen point at
    // exactly 0, 0, 0 is written kOriginStep from it along x, so that it is not read as one.
    bool WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime time, int frameNumber) override;
    // Notes how many seen points were moved off the origin.
    bool WriteEnd() override;
    const char* GetWriteRefusal() const override { return GetUnwritableNumber(); }
    const char* GetWriteNotes() const override { return mNotes.Buffer(); }

    // How far a seen point at the origin is moved along x: a hundredth of a micrometre (in
    // centimetres), far below what a capture resolves.
    static constexpr double kOriginStep = 1.0e-6;

    // The marker count of the last header read (0 before).
    int GetMarkerCount() const { return mMarkerCount; }
    // What made the last read fail, with its line.
    const char* GetFailure() const override { return VTextFile::GetFailure(); }
    // The frames a file cut short loses, "" when it is whole.
    const char* GetReadWarning() const override { return mReadWarning.Buffer(); }

private:
    // Finds the header line from the start of the file and reads its counts and rate.
    bool ReadHeaderLine(int& frames, int& markers, double& rate);
    // The whole frames of `markers` lines each that follow the header, at most `frames`.
    int64_t CountWholeFrames(int frames, int markers);
    // True when the next token of the line equals `word` without regard to case.
    bool ReadWord(const char* word);
    // ReadWord, or a failure naming the word, what it should follow (`after`) and what is there.
    bool ExpectWord(const char* word, const char* after);

    bool mIsMcd = false;
    int mMarkerCount = 0;
    // Seen points written off the origin, and the notes on them and on a dropped start.
    long long mMovedOffOrigin = 0;
    VString mNotes{""};
    VString mStartNote{""};
    // The whole frames the file holds (-1 until counted), and the warning when they are fewer
    // than the header's.
    int64_t mWholeFrames = -1;
    VString mReadWarning{""};
    // The frame count of the header, and the frames read since it.
    int mHeaderFrames = 0;
    int mFramesRead = 0;
};

// Reader of AOA files, or of MCD files when `isMcd`: the marker reader with the reference name
// "AOA" or "MCD" and the defaults "ImportAsOpticalSegments", "ImportExactZeroAsOccluded" and
// "ImportSetOccludedToLastValidPosition" 1.
class OXA_API VOxaReaderAdaptiveOptics : public VOxaReaderMotionBase {
public:
    VOxaReaderAdaptiveOptics(VOxaSdkManager* manager, bool isMcd);

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultReadOptions(VStreamOptionsMotion* options) override;
};

// Writer of AOA files, or of MCD files when `isMcd`; default "ExportFromGlobalPosition" 0.
class OXA_API VOxaWriterAdaptiveOptics : public VOxaWriterMotionBase {
public:
    VOxaWriterAdaptiveOptics(VOxaSdkManager* manager, bool isMcd);

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultWriteOptions(VStreamOptionsMotion* options) override;

private:
    bool mIsMcd;
};

// Factories of the format table.
OXA_API VOxaReader* VOxaCreateAoaReader(VOxaSdkManager* manager);
OXA_API VOxaReader* VOxaCreateMcdReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateAoaWriter(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateMcdWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AOA_VOXA_ADAPTIVE_OPTICS_H
