#ifndef OXA_FORMATS_MOTION_BVH_VOXA_FILE_BIOVISION_H
#define OXA_FORMATS_MOTION_BVH_VOXA_FILE_BIOVISION_H

#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/formats/motion/vtext_file.h>

class VFCurve;
class VOxaNode;
class VStreamOptionsMotion;

// One joint of a BVH hierarchy: its place in the tree, its name, offset and channels, the values
// of the frame being read, and the scene node and curves the reader made for it.
struct OXA_API BvhJoint {
    enum EChannel : int {
        eXPOSITION = 0,
        eYPOSITION = 1,
        eZPOSITION = 2,
        eXROTATION = 3,
        eYROTATION = 4,
        eZROTATION = 5,
    };
    // Curves, in the order of mCurves.
    enum ECurve : int { eTX = 0, eTY = 1, eTZ = 2, eRX = 3, eRY = 4, eRZ = 5 };
    static constexpr int kMaxChannels = 6;
    static constexpr int kMaxNameLength = 127;

    BvhJoint* mParent = nullptr;
    std::vector<BvhJoint*> mChildren;  // owned by the file object
    char mName[kMaxNameLength + 1] = {};
    int mChannelCount = 0;
    int mChannels[kMaxChannels] = {};
    bool mEndSite = false;
    bool mNameCut = false;  // the file's name was longer than mName holds
    double mOffset[3] = {0.0, 0.0, 0.0};
    // The frame being read: translation, and rotation as XYZ Euler degrees.
    double mTranslation[3] = {0.0, 0.0, 0.0};
    double mRotation[3] = {0.0, 0.0, 0.0};
    double mPreviousRotation[3] = {0.0, 0.0, 0.0};
    VOxaNode* mNode = nullptr;
    VFCurve* mCurves[6] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

    // True when the joint has all six channels.
    bool HasSixChannels() const { return mChannelCount == 6; }
    // True when one of its channels is a position (its translation is keyed).
    bool HasPositionChannel() const;
    // True when one of its channels is a rotation.
    bool HasRotationChannel() const;

    // The translation and rotation of one frame from the joint's slice of a motion line (one
    // value per channel, in channel order): the translation starts as the offset and each position
    // channel replaces its component; each rotation channel multiplies its turn in front, so the
    // last channel turns a point first. The rotation is stored as XYZ Euler degrees, taken from
    // the matrix without rounding a middle angle near +-90 to the pole.
    void ComputeFrame(const double* values);
    // Sets key `frame` at `time`: the translation on joints with a position channel (the
    // components without one keep the offset); the rotation, made
    // continuous with the previous frame's first (from the second frame on), on joints that
    // have a rotation channel.
    void AddKeys(int frame, VTime time);
};

// The BVH text file: the joint hierarchy, the motion header and one line of channel values per
// frame. Reading parses the hierarchy into joints and the frames into the curves the reader
// attached to them; the writing operations put out the same layout, line by line.
//
// Every read failure answers false; GetFailure then tells what was wrong and on which line.
class OXA_API VOxaFileBiovision : public VTextFile {
public:
    // Nesting deeper than this fails: real skeletons stay far below it, and the tree is walked
    // without recursion anyway.
    static constexpr int kMaxDepth = 1000;
    // More joints than this (end sites counted) fail: each becomes a scene node. Capture sets
    // of a few thousand markers, each a joint with an end site, stay below it; the writer
    // refuses a hierarchy beyond it.
    static constexpr int kMaxJoints = 20000;
    // Key room reserved before any motion line is read; more grows as frames arrive.
    static constexpr int kKeyReserve = 4096;

    // The longest take a file may name, in ticks: its last frame must stay on the time line.
    static constexpr double kMaxTakeTicks = 9.0e18;

    // A rate this close (relative) to a whole number is that number.
    static constexpr double kWholeRateTolerance = 1e-4;

    // The frame rate of a frame time (positive, finite): 1 / frame time, or the whole number
    // within kWholeRateTolerance of it when the frame time has at most eight significant digits
    // (as files give whole rates: 0.0333333 is 30).
    static double RateOfFrameTime(double frameTime);

    explicit VOxaFileBiovision(bool diagnostics = false);
    ~VOxaFileBiovision() override;

    // Finds the motion header and puts the frame rate (`RateOfFrameTime`) and the frame count
    // into `options`. "ImportCreateReferenceNode" becomes 1 in any case. Fails without a motion
    // header, with a negative frame count, and with a frame time that is 0 or below, below one
    // tick, or so long that the frames reach past the end of the time line.
    bool ScanHeader(VStreamOptionsMotion* options);
    // Reads the joints and the motion header from the start of the file.
    bool ReadHierarchy();
    // Reads the frames that follow the motion header into the curves attached to the joints
    // (at most the options' frame count, which is lowered to the file's), then runs the import
    // filters on them. Keys set before a failure stay. A file that ends before the frames its
    // header names (its last line cut short included) gives the whole frames it holds: the
    // options' frame count is lowered to them, with a warning. Lines beyond the header's count
    // are not read, with a warning.
    bool ReadMotion(VStreamOptionsMotion* options);
    // The warnings of the last ReadHierarchy and ReadMotion, one line each; "" without.
    const char* GetWarnings() const { return mWarnings.Buffer(); }
    void ClearWarnings() { mWarnings = ""; }

    int GetJointCount() const { return (int)mJoints.size(); }
    BvhJoint* GetJoint(int index) const;
    int GetChannelTotal() const { return mChannelTotal; }
    int GetFrameCount() const { return mFrameCount; }
    double GetFrameTime() const { return mFrameTime; }

    // ---- writing ----
    // "HIERARCHY" and "ROOT <name>" for the root (else "JOINT <name>"), "{", the offset (each
    // component below 1e-5 in magnitude as 0) and the channels: three rotations for a non-root
    // joint with `rotationOnly`, else three positions and three rotations. The rotations are
    // Z, X, Y with `zxyOrder`, else Z, Y, X.
    bool WriteJointHeader(const char* name, bool isRoot, const double offset[3], bool rotationOnly,
                          bool zxyOrder, int level);
    bool WriteJointEnd(int level);
    bool WriteEndSite(const double offset[3], int level);
    // The frame time has six significant digits when its rate is a whole number, else the fewest
    // that RateOfFrameTime turns back into the same rate.
    bool WriteMotionHeader(int frameCount, double frameTime);
    // The values of one joint on a motion line: the rotation only for a non-root joint with
    // `rotationOnly`, else the translation and the rotation; the rotation given as X, Y, Z and
    // written in the order of the joint's channels (Z, X, Y).
    bool WriteJointValues(const double translation[3], const double rotation[3], bool isRoot,
                          bool rotationOnly);
    bool WriteFrameEnd();

private:
    void ClearJoints();
    // Reads "Frames:" and "Frame Time:" from the current line on; with options, applies them.
    bool ReadMotionHeader(VStreamOptionsMotion* options);
    // The root block, from its "ROOT" line (current) to its closing "}".
    bool ReadRoot();
    // Names cut to the same bytes as another joint's are told apart with "_2", "_3", ...
    void SeparateCutNames();
    // A "JOINT" or "ROOT" line's name, then "{", "OFFSET" and "CHANNELS" on the next lines.
    bool ReadJointStart(BvhJoint* joint);
    bool ReadOffset(BvhJoint* joint);
    bool ReadChannels(BvhJoint* joint);
    BvhJoint* NewJoint(BvhJoint* parent);
    void Warn(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool WriteOffset(const double offset[3], int level);
    bool WriteNumbers(const double* values, int count);

    VTextFile::Keyword mTopKeywords[3];
    VTextFile::Keyword mRootKeywords[2];
    VTextFile::Keyword mJointKeywords[7];
    VTextFile::Keyword mFramesKeywords[2];
    VTextFile::Keyword mFrameTimeKeywords[2];

    std::vector<std::unique_ptr<BvhJoint>> mJoints;
    int mChannelTotal = 0;
    int mFrameCount = 0;
    double mFrameTime = 0.0;
    // The values of one motion line.
    std::vector<double> mValues;
    VString mWarnings{""};
};

#endif  // OXA_FORMATS_MOTION_BVH_VOXA_FILE_BIOVISION_H
