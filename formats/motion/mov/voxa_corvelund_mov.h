#ifndef OXA_FORMATS_MOTION_MOV_VOXA_CORVELUND_MOV_H
#define OXA_FORMATS_MOTION_MOV_VOXA_CORVELUND_MOV_H

#include <cstdint>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/vtext_file.h>
#include <oxa/formats/motion/vtext_motion_io.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/oxa_codec/voxa_writer.h>

// The MOV file: a table of numbers, one line per frame: the time in seconds, then per object the
// translation, rotation (degrees) and scaling triples that the options "Translation", "Rotation"
// and "Scaling" name. The first line fixes the number of values per line.
class OXA_API VOxaFileCorvelundMov : public VTextFile {
public:
    // Rewinds and answers whether the file has a significant line (the end flag of a former
    // pass over the whole file is not trusted here).
    bool RewindToFirstLine() { return Rewind() && GetCursor() && *GetCursor(); }
    VOxaFileCorvelundMov();

    // 1 plus the number of further significant lines (the file rewinds first).
    bool CountLines(int64_t& count);
    // The number of numbers on the first line; true only when the line holds nothing else.
    bool CountValues(int& count);
    // Up to `count` numbers of the first (`fromStart`) or next significant line; a number that
    // fails and every later slot become 0. False when there is no line.
    bool ReadValues(double* values, int count, bool fromStart);
    // After ReadValues: the slot (from 0) of the first text on the line that is no number ("nan",
    // a word), -1 when the line held only numbers (or ended early); and that text.
    int GetBadValue() const { return mBadValue; }
    const char* GetBadText() const { return mBadText; }

private:
    int mBadValue = -1;
    char mBadText[41] = {0};
};

// Reader of MOV files: objects "Marker0", "Marker1" ... with keyed transform curves below
// "MOV:reference" (or "MOV:optical"). The frame rate is estimated from the first ten times.
class OXA_API VOxaReaderCorvelundMov : public VOxaTextFileReader<VOxaFileCorvelundMov> {
public:
    explicit VOxaReaderCorvelundMov(VOxaSdkManager* manager);
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // The rate estimated from the time column of the first (at most ten) lines; 0 when the times
    // never rise. Only steps where the time rises count, so repeated times cannot divide by zero.
    // The first line's time goes to `firstTime` (0 when there is no line).
    double EstimateFrameRate(int64_t lineCount, double& firstTime);
};

// Writer of MOV files: one line per frame, the groups chosen by the options.
class OXA_API VOxaWriterCorvelundMov : public VOxaTextFileWriter<VOxaFileCorvelundMov> {
public:
    explicit VOxaWriterCorvelundMov(VOxaSdkManager* manager);
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

OXA_API VOxaReader* VOxaCreateMovReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateMovWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_MOV_VOXA_CORVELUND_MOV_H
