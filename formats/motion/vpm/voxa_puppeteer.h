#ifndef OXA_FORMATS_MOTION_VPM_VOXA_PUPPETEER_H
#define OXA_FORMATS_MOTION_VPM_VOXA_PUPPETEER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/formats/motion/vtext_file.h>
#include <oxa/formats/motion/vtext_motion_io.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/oxa_codec/voxa_writer.h>

// The VPM file: segments one after the other. Each has the header lines "Segment:" name,
// "Frames:" count and "Frame Time:" seconds, two lines of column titles and units, then one line
// of nine numbers per frame: translation in the units line's length units (inches by default),
// rotation in degrees, scaling in percent. Reading converts the lengths to centimetres and drops
// the scaling (every frame reads as 1, 1, 1).
class OXA_API VOxaFilePuppeteer : public VTextFile {
public:
    // Rewinds and answers whether the file has a significant line (the end flag of a former
    // pass over the whole file is not trusted here).
    bool RewindToFirstLine() { return Rewind() && GetCursor() && *GetCursor(); }
    VOxaFilePuppeteer();

    // The three header lines, from the start of the file or from the next significant line. True
    // only when all are there, the name is not empty, the count is not below 0 and the frame time
    // is above 0.
    bool ReadSegmentHeader(VString& name, int& frameCount, double& frameTime, bool fromStart);
    // Passes the title line and reads the units of the translation columns; true when both lines
    // exist. A column whose unit is no length unit is read in inches and noted in GetUnitWarning.
    bool SkipColumnHeader();
    // Why the last SkipColumnHeader read a translation column in inches, "" when every column
    // named its length unit.
    const VString& GetUnitWarning() const { return mUnitWarning; }
    // Whether the last ReadSegmentHeader or SkipColumnHeader failed because the file ends inside
    // the header, and whether the segment's name was whole by then.
    enum CutHeader { eNOT_CUT, eCUT_BEFORE_NAME, eCUT_AFTER_NAME };
    CutHeader GetHeaderCut() const { return mHeaderCut; }
    bool ReadFrame(VgeTVector& translation, VgeTVector& rotation, VgeTVector& scaling);

    bool WriteSegmentHeader(const char* name, int frameCount, double frameTime);
    bool WriteColumnHeader();
    // Translation in centimetres (written in inches) and scaling as a factor (written in percent).
    bool WriteFrame(const VgeTVector& translation, const VgeTVector& rotation, const VgeTVector& scaling);

private:
    Keyword mKeywords[4] = {{"Segment:", 0}, {"Frames:", 0}, {"Frame Time:", 0}, {"", 0}};
    CutHeader mHeaderCut = eNOT_CUT;
    double mTranslationCentimetres[3] = {2.54, 2.54, 2.54};
    VString mUnitWarning{""};
};

// Reader of VPM files: one node per segment below "VPM:reference" (or "VPM:optical"). A later
// segment that cannot be read ends the list; the first must read. A file cut short keeps the
// whole frames of the segment it ends in, and the frames it lost are gaps of that marker (its
// occlusion is 1 from the first lost frame on), with a warning; a later segment cut in its header
// after its name is a marker occluded in every frame.
class OXA_API VOxaReaderPuppeteer : public VOxaTextFileReader<VOxaFilePuppeteer> {
public:
    explicit VOxaReaderPuppeteer(VOxaSdkManager* manager);
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

private:
    // Reads one segment into a new node below `reference`; false (no node left) when it fails.
    bool ReadSegment(VOxaNode* reference, const char* takeName, class VStreamOptionsMotion* options,
                     bool fromStart);
    // Keys `occlusion` of a segment whose frames from `lost` on the file lost: 0 before them, 1
    // from them on. False when the marker has no occlusion curve.
    static bool KeyLostFrames(class VFCurve* occlusion, VTime start, VTime period, int lost);
    // The file ended inside the last segment read: no segment follows.
    bool mCut = false;
    // A segment's units were warned of.
    bool mUnitWarned = false;
};

// Writer of VPM files: the marked nodes are sampled into a buffer, then written one segment per
// node.
class OXA_API VOxaWriterPuppeteer : public VOxaTextFileWriter<VOxaFilePuppeteer> {
public:
    explicit VOxaWriterPuppeteer(VOxaSdkManager* manager);
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

OXA_API VOxaReader* VOxaCreateVpmReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateVpmWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_VPM_VOXA_PUPPETEER_H
