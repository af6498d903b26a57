#ifndef OXA_FORMATS_MOTION_TRC_VOXA_MOTION_ANALYSIS_TRC_H
#define OXA_FORMATS_MOTION_TRC_VOXA_MOTION_ANALYSIS_TRC_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/voxa_motion_base.h>
#include <oxa/formats/motion/vtext_file.h>

// The TRC marker file: tab-separated fields (blanks belong to a field, so names may hold blanks).
// Three header lines ("PathFileType" with the type 3 or 4, the keyword line, the value line), a
// line of marker names after "Frame#" and "Time", a line of coordinate labels (X1 Y1 Z1 ...), then
// one line per frame: frame number, time in seconds, and x, y, z per marker, where an empty field
// or "NaN" (any case) is a missing coordinate. The Units word sets the scale to centimetres (a word
// that is no length unit is millimetres, with a warning); the writer writes millimetres.
class OXA_API VOxaFileMotionAnalysisTrc : public VTextFile, public IOxaFileMotionBase {
public:
    // Rewinds and answers whether the file has a significant line (the end flag of a former
    // pass over the whole file is not trusted here).
    bool RewindToFirstLine() { return Rewind() && GetCursor() && *GetCursor(); }
    VOxaFileMotionAnalysisTrc();
    ~VOxaFileMotionAnalysisTrc() override;

    bool Open(const char* path, const char* mode) override { return VTextFile::Open(path, mode); }
    bool Close() override { return VTextFile::Close(); }
    void Discard() override { VTextFile::Discard(); }

    // The start time is that of the first frame line's number, frames counting from 1 at 0 s (a
    // file numbered from 0 whose frame 0 has Time 0 counts from 0). Without frame lines it is, for
    // type 4 files, (OrigDataStartFrame - 1) / rate (a start frame below 1 counts as 1); where the
    // lines and OrigDataStartFrame disagree by more than half a frame, the lines win and
    // `GetWarning` says so.
    bool ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                    double& scale) override;
    // Blanks in a name become "_"; a name holding "Unnamed" becomes "*Unnamed_<number>".
    bool ReadMarkerNames(VStringList& names, bool actorPrefix) override;
    // The time and frame number come from the line; the number of points is the number of
    // complete coordinate groups on the line.
    bool ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time, int& frameCounter, VTime period,
                   bool exactZeroAsOccluded) override;
    bool ReadEnd() override { return true; }

    bool WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                     double scale) override;
    bool WriteMarkerNames(const VStringList& names) override;
    // An occluded point (w above 0.5) is written as three empty fields. Frame numbers go on from
    // the header's OrigDataStartFrame.
    bool WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime time, int frameNumber) override;
    bool WriteEnd() override { return !WriteFailed(); }
    // Positions are written in millimetres: ten times the scene's centimetres.
    const char* GetWriteNotes() const override { return mNotes.Buffer(); }
    double GetLargestPosition() const override { return kLargestHeld / 10.0; }
    const char* GetWriteRefusal() const override {
        return mRefusal.IsEmpty() ? GetUnwritableNumber() : mRefusal.Buffer();
    }

    // The DataRate text of `rate`: with two decimals when they read back as `rate`, else with the
    // fewest decimals that do ("107.527"); false (and "") when no text of at most 17 decimals
    // reads back as it.
    static bool RateText(double rate, char* out, size_t size);
    // The decimals of the Time column at `rate`, from `start` seconds: 3 when every frame time is a
    // whole number of milliseconds, else enough that a time is off by at most a twentieth of a frame
    // (at most 9).
    static int TimeDecimals(double rate, double start);

    // What made the last read fail, with its line.
    const char* GetFailure() const override { return VTextFile::GetFailure(); }
    // The warnings of the last ReadHeader (the frame lines and OrigDataStartFrame disagree; the
    // file ends before its NumFrames), one per line, empty when none.
    const char* GetWarning() const { return mWarning.Buffer(); }
    // Warnings on the frames read so far: coordinates dropped as gaps (numbers beyond +-1e30),
    // frames without a line, frame numbers out of order, a Time column that disagrees with the
    // frame numbers; one per line, empty when none.
    VString GetDroppedWarning() const;

private:
    // The field at the cursor, whatever its length, up to the next tab or line end; separators
    // after it are skipped. False at the end of the line.
    bool ReadField(VString& field);
    // The field at the cursor, the cursor staying; false when the line has ended.
    bool PeekField(VString& field) const;
    // `word` starts the field at the cursor, without regard to case; the cursor moves past the word
    // and the separators after it. Otherwise a failure naming the word, `place` and what is there.
    bool ReadKeywordField(const char* word, const char* place);
    // The next field, reading on at the next significant line when this one has ended.
    bool ReadFieldAcrossLines(VString& field);
    // A frame line found by the scan: where it starts (the position before it), its line number,
    // its place among the frame lines in file order, its frame number when it has one, and the
    // take's frame (from 0) it gives.
    struct FrameLine {
        int64_t offset = 0;
        uint32_t lineBefore = 0;
        uint32_t line = 0;
        uint32_t ordinal = 0;
        int number = 0;
        int64_t index = 0;
        bool afterCr = false;
        bool numbered = false;
    };
    // After the header: reads the names and labels as ReadMarkerNames does, then every frame line,
    // and keeps those the take reads, by frame: each at its frame number counted from the number
    // from which `headerFrames` frames (-1: any number) hold the most lines. Lines that repeat a
    // frame or lie outside those frames are counted. False when there is no frame line, or when
    // the header gives more than kMaxScannedMarkers markers; the read position is then anywhere.
    bool ScanFrameLines(int markerCount, int headerFrames);
    bool SeekToLine(const FrameLine& line);
    static constexpr int kMaxScannedMarkers = 1 << 20;

    // The frame count of the header, and the frames read since it.
    int mHeaderFrames = 0;
    int mFramesRead = 0;
    VString mWarning{""};
    // The number of the first frame written, and the decimals of its Time column.
    int64_t mStartFrame = 1;
    int mTimeDecimals = 3;
    // Why WriteHeader refused the take, "" when it did not.
    VString mRefusal{""};
    double mRate = 1.0;
    // The frame lines the take reads, by frame (scanned once for a marker count); the frame
    // number of the take's first frame; the most coordinate groups a line holds; the lines the
    // scan found, and those it leaves out (repeats and lines outside the header's frames) with the
    // first of each.
    bool mScanned = false;
    int mScannedMarkers = -1;
    std::vector<FrameLine> mLines;
    int64_t mBase = 0;
    int mMostGroups = 0;
    // NumMarkers 0 over frame lines that hold coordinates: their markers are "*Unnamed_<n>".
    bool mNoneNamed = false;
    int64_t mLinesFound = 0;
    long long mRepeats = 0, mOutside = 0;
    VString mFirstRepeat{""}, mFirstOutside{""};
    // Reading: the next line of mLines, the file-order place of the line ReadNextLine gives next,
    // and the start of the take in seconds.
    size_t mNextLine = 0;
    uint32_t mNextOrdinal = 0;
    double mFirstSeconds = 0.0;
    // Frames without a line, and the first; Times that are blank or no number, and the first;
    // the Time column's first disagreement with DataRate.
    long long mMissingFrames = 0;
    int64_t mFirstMissing = 0;
    long long mBadTimes = 0;
    VString mFirstBadTime{""};
    VString mTimeMismatch{""};
    uint32_t mTimeMismatchLine = 0;  // its line
    // Coordinates read as gaps because they lie beyond what the reader keeps, and the first one.
    long long mDroppedValues = 0;
    VString mFirstDropped{""};
    VString mNotes{""};  // what the write changed (a start between frames)
};

// Reader of TRC files: reference name "TRC"; defaults "UnusedSegments",
// "ImportAsOpticalSegments" and "ImportSetOccludedToLastValidPosition" 1; a ".tc" time-code file
// beside the TRC file can give the start time (the dialog callback is asked first).
class OXA_API VOxaReaderMotionAnalysisTrc : public VOxaReaderMotionBase {
public:
    explicit VOxaReaderMotionAnalysisTrc(VOxaSdkManager* manager);

    // The process-wide switch of the time-code file (on at start).
    static void SetTimeCodeEnabled(bool on);
    static bool IsTimeCodeEnabled();

    // As the base's, with the file's warning added to the message text once.
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultReadOptions(VStreamOptionsMotion* options) override;

private:
    void ApplyTimeCodeFile(VStreamOptionsMotion* options);
    void Report();
};

// Writer of TRC files; defaults "UnusedSegments" 1, "ExportGapsAsValidData" and
// "ExportFromGlobalPosition" 0.
class OXA_API VOxaWriterMotionAnalysisTrc : public VOxaWriterMotionBase {
public:
    explicit VOxaWriterMotionAnalysisTrc(VOxaSdkManager* manager);

protected:
    IOxaFileMotionBase* CreateMotionFile(const char* path) override;
    void SetDefaultWriteOptions(VStreamOptionsMotion* options) override;
};

// The time mode of a time-code frame rate (whole part): 24 -> 11, 25 -> 10, 29 -> 8, 30 -> 6,
// 50 -> 4, 60 -> 3, 100 -> 2, 120 -> 1, anything else 0.
OXA_API int VOxaTrcTimeModeFromRate(double rate);

OXA_API VOxaReader* VOxaCreateTrcReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateTrcWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_TRC_VOXA_MOTION_ANALYSIS_TRC_H
