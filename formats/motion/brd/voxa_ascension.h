#ifndef OXA_FORMATS_MOTION_BRD_VOXA_ASCENSION_H
#define OXA_FORMATS_MOTION_BRD_VOXA_ASCENSION_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/motion/vtext_file.h>
#include <oxa/formats/motion/vtext_motion_io.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/oxa_codec/voxa_writer.h>

// The BRD file of six-degree-of-freedom sensors: one record per line, no header. A record is
// frame number, sensor number, "P" and a position x y z, "Q" and a quaternion x y z w, then the
// time as whole seconds and microseconds within the second.
class OXA_API VOxaFileAscension : public VTextFile {
public:
    // Rewinds and answers whether the file has a significant line (the end flag of a former
    // pass over the whole file is not trusted here).
    bool RewindToFirstLine() { return Rewind() && GetCursor() && *GetCursor(); }
    VOxaFileAscension();

    // Reads the record of the first significant line (`fromStart`) or of the next one. False at
    // the end of the file (NoLine) or for a line that is not a well-formed record.
    bool ReadRecord(int& frame, int& sensor, VgeTVector& position, double quaternion[4], VTime& time,
                    bool fromStart);
    // "%d\t%d\tP\t%g\t%g\t%g\tQ\t%g\t%g\t%g\t%g\t%g\t%g\n"; false once a write failed.
    // True when the last ReadRecord failed because no further line exists.
    bool NoLine() const { return mNoLine; }
    bool WriteRecord(int frame, int sensor, const VgeTVector& position, const double quaternion[4],
                     VTime time);

private:
    bool mNoLine = false;
};

// Euler angles in degrees (XYZ order) of a quaternion x, y, z, w that need not be normalised.
OXA_API VgeTVector VOxaQuaternionToEulerDegrees(const double quaternion[4]);

// Reader of BRD files: one "Marker<sensor>" node per sensor with translation, rotation and
// occlusion curves below the reference node "BRD:reference" (or "BRD:optical"). The file is
// scanned once into per-sensor tracks sorted by frame; a repeated (sensor, frame) record
// replaces the earlier one.
class OXA_API VOxaReaderAscension : public VOxaTextFileReader<VOxaFileAscension> {
public:
    explicit VOxaReaderAscension(VOxaSdkManager* manager);
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    // Scans the file into tracks (once per open file). False for a malformed line, or for a frame
    // span the records cannot back (more than 1,000 frames per record over all sensors), or for a
    // rate whose period is under one tick; GetScanFailure then tells why (and on which line).
    bool Scan();
    const char* GetScanFailure() const { return mScanFailure.Buffer(); }

    // Results of the scan.
    int GetSensorCount() const { return (int)mTracks.size(); }
    VTime GetStartTime() const { return mStartTime; }
    int GetFrameCount() const { return mFrameCount; }
    double GetFrameRate() const { return mFrameRate; }
    int GetFirstFrame() const { return mFirstFrame; }
    int GetLastFrame() const { return mLastFrame; }

private:
    struct Record {
        int mFrame;
        double mPosition[3];
        double mQuaternion[4];
        VTime mTime;
    };
    struct Track {
        int mSensor;
        std::vector<Record> mRecords;  // sorted by frame, one record per frame
    };

    void ClearScan();
    void OnFileClosed() override { ClearScan(); }

    bool mScanned = false;
    std::vector<Track> mTracks;  // sorted by sensor number
    VTime mStartTime;
    int mFrameCount = 0;
    double mFrameRate = 0.0;
    int mFirstFrame = 0;
    VTime mFirstTime;
    int mLastFrame = 0;
    VTime mLastTime;
    VString mScanFailure{""};
    // What the scan found in the record times (frames whose time does not come after the frame
    // before), a line ending in "\n"; "" when nothing.
    VString mTimeWarning{""};
};

// Writer of BRD files: one record per marked node and frame, sensor numbers by the node's place
// in the depth-first walk; with "ExportGapsAsValidData" 0 an occluded node is left out of a frame.
class OXA_API VOxaWriterAscension : public VOxaTextFileWriter<VOxaFileAscension> {
public:
    explicit VOxaWriterAscension(VOxaSdkManager* manager);
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

OXA_API VOxaReader* VOxaCreateBrdReader(VOxaSdkManager* manager);
OXA_API VOxaWriter* VOxaCreateBrdWriter(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_BRD_VOXA_ASCENSION_H
