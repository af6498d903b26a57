#ifndef OXA_FORMATS_MOTION_HTR_VOXA_FILE_HTR_H
#define OXA_FORMATS_MOTION_HTR_VOXA_FILE_HTR_H

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/motion/vtext_file.h>

class VFCurve;
class VOxaNode;
class VStreamOptionsMotion;

// The hierarchical translation-rotation motion file: a text file of bracketed sections that names
// a tree of segments, gives each segment a base position (translation, rotation, bone length) and
// then, segment by segment, one line per frame of translation, rotation and scale:
//
//     [Header]                   one "Key Value" pair per line
//     [SegmentNames&Hierarchy]   "segment parent" per line, parent "GLOBAL" for the root
//     [BasePosition]             "segment Tx Ty Tz Rx Ry Rz BoneLength" in hierarchy order
//     [segment]                  per segment: "frame Tx Ty Tz Rx Ry Rz ScaleFactor" per frame
//     [EndOfFile]
//
// Lines whose first character after blanks is '#' are comments. Translations are kept in scene
// centimetres (file value x calibration factor / "ScaleFactor"), rotations in degrees. A frame's
// translation is an offset from the base translation; its rotation is applied before the base
// rotation.
//
// The reader of voxa_reader_htr.h drives the parsing and key building, the writer of
// voxa_writer_htr.h the section writers. Failures answer false after an error diagnostic (shown
// only with diagnostics on); warnings leave the read going.
class OXA_API VOxaFileMotionAnalysisHtr : public VTextFile {
public:
    // Section states of ReadStructure.
    enum ESection : int {
        eSECTION_NONE = -1,
        eSECTION_HEADER = 0,
        eSECTION_HIERARCHY = 1,
        eSECTION_BASE = 2,
        eSECTION_ANIMATION = 100
    };
    // "CalibrationUnits": millimetres, centimetres, inches, and the other common length units
    // (decimetres, metres, feet, yards, kilometres; words such as "meters" or "inches" too).
    enum ECalibration : int {
        eMM = 0,
        eCM = 1,
        eIN = 2,
        eDM = 3,
        eM = 4,
        eFT = 5,
        eYD = 6,
        eKM = 7,
        eUM = 8
    };
    enum ERotationUnits : int { eDEGREES = 0, eRADIANS = 1 };

    // Longest segment or parent name the writer writes (the reader takes names of any length).
    static constexpr int kMaxNameLength = 255;
    // Most segments a file may declare (as many as the BVH reader takes joints).
    static constexpr int kMaxSegments = 2048;
    // Key slots a segment prepares before any frame line is read; more are added as lines come,
    // so a frame count claimed by the header never sizes an allocation by itself.
    static constexpr int kKeyReserveCap = 1600;
    // The scale factors of frame lines taken as they stand; any other is read as 1 with a warning.
    static constexpr double kMinScaleFactor = 1e-6;
    static constexpr double kMaxScaleFactor = 1e6;

    // One segment: its names, the node built for it, its base transform, the reader's working
    // matrix and the nine curves (translation, rotation, scaling; X, Y, Z each) it fills.
    struct Segment {
        Segment();

        void SetNames(const char* name, const char* parent, VOxaNode* node);
        // Keeps the translation and length and builds the base rotation from the angles (degrees,
        // in X, Y, Z order) for the rotation order code.
        void SetBasePosition(const double translation[3], const double rotation[3], int orderCode,
                             double length);
        // Opens a key-modification bracket on each curve and prepares key slots for up to
        // min(frameCount, kKeyReserveCap) keys.
        void BeginKeys(int frameCount);
        // Sets key `index` of each curve at `time` (cubic, automatic tangents, weights 1/3);
        // missing slots are added as needed. False when a curve is missing or refuses the key.
        bool AddFrameKeys(int index, VTime time, const double translation[3], const double rotation[3],
                          const double scaling[3]);
        // Closes the brackets of BeginKeys.
        void EndKeys();

        std::string mName;
        std::string mParent;
        VOxaNode* mNode = nullptr;
        double mBaseTranslation[4];
        double mBaseRotation[4][4];
        double mBoneLength = 0.0;
        double mSecondMatrix[4][4];
        VFCurve* mCurves[9];
        // The scale factor of each frame read ("SF": the scale of the segment's bone), empty
        // while every one was 1.
        std::vector<float> mScales;

        // Working state of the reader (not part of the file).
        int mParentIndex = -1;
        int mKeySlots = 0;
        bool mKeysOpen = false;
        bool mKeysRead = false;
    };

    // Reads the settings flag "MinimizeRotationOffset" (see GetMinimizeRotationOffset).
    explicit VOxaFileMotionAnalysisHtr(bool diagnostics = false);
    ~VOxaFileMotionAnalysisHtr() override;

    // From the top of the file up to the first section after "[Header]": applies the header lines
    // ("NumFrames" becomes the options' frame count, "DataFrameRate" their custom rate), then sets
    // option 8 "ImportCreateReferenceNode" to 1 and the options' start from the number of the first
    // segment's first frame (frames count from 1 at time 0). False when the file ends first or a
    // header line fails.
    bool ReadHeaderOnly(VStreamOptionsMotion* options);
    // Reads header, hierarchy and base positions from the top of the file and stops on the first
    // line of the animation data.
    bool ReadStructure();
    // One line of each section; `options` (may be null) receives "NumFrames" and "DataFrameRate".
    bool ReadHeaderLine(VStreamOptionsMotion* options);
    bool ReadHierarchyLine();
    bool ReadBasePositionLine();
    // The segment whose bracketed name is the token at the cursor, or null.
    Segment* FindSegmentBlock();
    // One frame line into the keys of `segment` at `index` and `time`.
    bool ReadFrameLine(Segment* segment, int index, VTime time);

    // The first segment named `name` (byte for byte), or null.
    Segment* FindSegment(const char* name) const;
    int FindSegmentIndex(const char* name) const;
    Segment* FindSegmentByNode(const VOxaNode* node) const;
    int GetSegmentCount() const { return (int)mSegments.size(); }
    Segment* GetSegment(int index) const {
        return index >= 0 && index < (int)mSegments.size() ? mSegments[index].get() : nullptr;
    }

    // ---- writing (each writes the line of the file layout) ----
    // A whole frame rate is written as an integer, any other with the decimals that read back as
    // the same number ("12.5", "29.97").
    bool WriteHeader(int segmentCount, int frameCount, double frameRate);
    static void FormatFrameRate(char* out, size_t size, double rate);
    bool WriteHierarchyTitle();
    // A null parent writes "GLOBAL".
    bool WriteHierarchyLine(const char* name, const char* parent);
    bool WriteBasePositionTitle();
    bool WriteBasePositionLine(const char* name, const double translation[3], const double rotation[3],
                               double length);
    bool WriteSegmentTitle(const char* name);
    // The scale factor is written "1.0" when it is 1.
    bool WriteFrameLine(long long frame, const double translation[3], const double rotation[3],
                        double scale = 1.0);
    bool WriteEndOfFile();

    // ---- header values ----
    int GetFileType() const { return mFileType; }
    int GetDataType() const { return mDataType; }
    int GetFileVersion() const { return mFileVersion; }
    int GetNumSegments() const { return mNumSegments; }
    int GetNumFrames() const { return mNumFrames; }
    double GetFrameRate() const { return mFrameRate; }
    int GetRotationOrderKeyword() const { return mRotationOrderKeyword; }
    int GetCalibrationUnits() const { return mCalibrationUnits; }
    int GetRotationUnits() const { return mRotationUnits; }
    int GetGravityAxis() const { return mGravityAxis; }
    int GetBoneLengthAxis() const { return mBoneLengthAxis; }
    double GetScaleFactor() const { return mScaleFactor; }
    int GetRotationOrderCode() const { return mRotationOrderCode; }
    double GetCalibrationFactor() const { return mCalibrationFactor; }
    double GetRotationFactor() const { return mRotationFactor; }
    // Calibration factor / "ScaleFactor": scene centimetres per file unit of length.
    double GetTranslationFactor() const { return mCalibrationFactor / mScaleFactor; }
    const double (*GetBoneAxisMatrix() const)[4] { return mBoneAxisMatrix; }
    int GetSectionState() const { return mSectionState; }
    // The warnings of the last header read a user should see (an unknown unit), one line each.
    const char* GetWarnings() const { return mWarnings.Buffer(); }
    void ClearWarnings() { mWarnings = ""; }
    // True unless the settings file "@Application.txt" gives "MinimizeRotationOffset" of section
    // "MotionImportHTR" a value other than "Yes" (compared without regard to case).
    bool GetMinimizeRotationOffset() const { return mMinimizeRotationOffset; }

    // The rotation matrix (3x3 part of out) of angles in degrees given in X, Y, Z order, for a
    // rotation order code of the 12-row axis table: each angle turns about its own axis.
    static void EulerToMatrix(double out[4][4], const double angles[3], int orderCode);

private:
    void ResetHeader();
    // The options' start from the first frame line of the first segment block (0 when there is
    // none to read).
    void ReadStart(VStreamOptionsMotion* options);
    bool ReadNameToken(std::string& name);
    Segment* AddSegment(const char* name, const char* parent);
    void ClearSegments();

    int mFileType = 0;
    int mDataType = 0;
    int mFileVersion = 1;
    int mNumSegments = 0;
    int mNumFrames = 0;
    double mFrameRate = 60.0;
    int mRotationOrderKeyword = 0;
    int mCalibrationUnits = eMM;
    int mRotationUnits = eDEGREES;
    int mGravityAxis = 1;
    int mBoneLengthAxis = 1;
    double mScaleFactor = 1.0;
    int mRotationOrderCode = 0;
    double mCalibrationFactor = 0.1;
    double mRotationFactor = 1.0;
    double mBoneAxisMatrix[4][4];
    int mSectionState = eSECTION_NONE;
    std::vector<std::unique_ptr<Segment>> mSegments;
    // First segment of each name, so that lookups stay constant-time for large hierarchies.
    std::unordered_map<std::string, int> mSegmentIndex;
    int mSegmentCursor = 0;
    bool mMinimizeRotationOffset = true;
    VString mWarnings{""};
    bool mBadScaleSeen = false;
};

#endif  // OXA_FORMATS_MOTION_HTR_VOXA_FILE_HTR_H
