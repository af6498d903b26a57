#ifndef OXA_FORMATS_MOTION_VOXA_MOTION_BASE_H
#define OXA_FORMATS_MOTION_VOXA_MOTION_BASE_H

#include <cstdint>
#include <unordered_map>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vplug.h>
#include <oxa/oxa_codec/voxa_reader.h>
#include <oxa/oxa_codec/voxa_writer.h>

class VFCurve;
class VOxaNode;
class VOxaScene;
class VStreamOptions;
class VStreamOptionsMotion;
class VError;
class VgeAMatrix;

// The points of one frame of a marker file: one VgeTVector per marker, in the order of the
// marker names. x, y, z are the position; w is the occlusion flag: 1.0 when the marker has no
// valid data in that frame, 0.0 when it is valid.
using VOxaMarkerFrame = VArrayTemplate<VgeTVector>;

// The interface of every optical marker file (AOA/MCD, TRC, C3D): a header with the marker count,
// start time, frame count, rate and scale, a list of marker names, then one frame of points per
// marker after another. `VOxaReaderMotionBase` and `VOxaWriterMotionBase` drive a file only
// through it.
//
// A file object is made by the concrete reader or writer (CreateMotionFile) and destroyed with
// `Destroy`, which closes it first. Readers open with "r", writers with "w".
class OXA_API IOxaFileMotionBase : public IVObject {
public:
    static constexpr int kInterfaceId = 39402;

    // This interface for id 0 or kInterfaceId, null for any other id.
    void* QueryInterface(int interfaceId) override;
    // Deletes the whole file object; its destructor closes the stream first.
    void Destroy() override;

    virtual bool Open(const char* path, const char* mode) = 0;
    // Opens `file` (made by CreateMotionFile) and hands it over; a file that does not open, or
    // whose opening runs out of memory (thrown on), is destroyed first: null, or the throw.
    static IOxaFileMotionBase* Opened(IOxaFileMotionBase* file, const char* path, const char* mode);
    // Closes the file. For a written file: false when a write failed or the file could not be put
    // in place (the target then keeps its former contents).
    virtual bool Close() = 0;
    // Drops what was written: the target keeps its former contents and a later Close puts
    // nothing in place. The writers call it when a Write fails. The base does nothing.
    virtual void Discard() {}

    // Reads the header from the start of the file (the file rewinds first). The counts are 64-bit
    // so that a huge count from a file is seen as such (the reader refuses it) rather than
    // wrapping. The start time is left as the caller gave it when the file has none; the rate is
    // in frames per second; `scale` multiplies every position read.
    virtual bool ReadHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                            double& scale) = 0;
    // Fills `names`, which holds markerCount empty strings. `actorPrefix` is true when the option
    // "ImportActorPrefix" is 1.
    virtual bool ReadMarkerNames(VStringList& names, bool actorPrefix) = 0;
    // Appends the points of the next frame to `points` (normally one per marker; more is allowed,
    // fewer too), with each point's w set; advances `time` by `period` (or takes the file's time)
    // and increments or sets `frameCounter`.
    virtual bool ReadFrame(VOxaMarkerFrame& points, int markerCount, VTime& time, int& frameCounter,
                           VTime period, bool exactZeroAsOccluded) = 0;
    // Called once after the last frame; true when the file is consistent.
    virtual bool ReadEnd() = 0;

    // The writing operations answer false only when the text could not be written (a full disk).
    // `scale` is 1.0, or -1.0 when the option "ExportC3DRealFormat" is 1.
    virtual bool WriteHeader(int markerCount, VTime startTime, int frameCount, double frameRate,
                             double scale) = 0;
    virtual bool WriteMarkerNames(const VStringList& names) = 0;
    // One frame; `frameNumber` counts from 1.
    virtual bool WriteFrame(const VOxaMarkerFrame& points, int pointCount, VTime time, int frameNumber) = 0;
    virtual bool WriteEnd() = 0;
    // True when the header to be written with `scale` depends on the largest coordinate of the
    // take (a file of scaled integers): the writer then hands it to SetLargestCoordinate, in scene
    // units and over the points written as valid, before WriteHeader. The base: false.
    virtual bool NeedsLargestCoordinate(double /*scale*/) const { return false; }
    virtual void SetLargestCoordinate(double /*largest*/) {}

    // The largest coordinate (scene units) the file writes: a point beyond it is written as a gap,
    // with a warning. The base: VTextFile::kLargestNumber.
    virtual double GetLargestPosition() const;
    // Why the last write operation refused what it was given (a number or rate the file cannot
    // hold), "" when it refused nothing: the writer reports it in place of a full disk.
    virtual const char* GetWriteRefusal() const { return ""; }
    // Lines ("...\n" each) on what the written file changed without refusing (points moved so
    // that the reader does not take them for gaps), "" when nothing; the writer adds them to its
    // message text.
    virtual const char* GetWriteNotes() const { return ""; }

    // What the reader should tell the user about the file it read without failing (frames lost
    // to a file cut short), "" when nothing; the reader adds it to its message text once.
    virtual const char* GetReadWarning() const { return ""; }
    // What made the last read operation fail and where ("line 12: ..." in a text file); "" when
    // the file has nothing to say. The reader appends it to its "File is corrupted" text.
    virtual const char* GetFailure() const { return ""; }
};

// The reader of every marker file: turns the file into one marker node per marker name (and one
// "*Unnamed_<n>" node per extra point a frame may carry) with keyed translation and occlusion
// curves, all below one reference node under the scene's root node, inside a new take named
// after the file. A concrete reader only sets `mDescription` and `mReferenceName` and supplies
// the file object and its option defaults.
//
// Error ids (VOxaReader): 0 "File is corrupted" (header, names, frames, end, duplicate names, or
// counts the file cannot back), 3 "File not opened", 6 "Stream options not set". A failed read
// leaves the scene as it was.
class OXA_API VOxaReaderMotionBase : public VOxaReader {
public:
    explicit VOxaReaderMotionBase(VOxaSdkManager* manager);
    // Closes a file that is still open.
    ~VOxaReaderMotionBase() override;

    // Closes an open file, then CreateMotionFile. False with error 3 when that fails.
    bool FileOpen(const char* path) override;
    // Without a file: error 3, false.
    bool FileClose() override;
    bool IsFileOpen() override;
    // New options (the caller owns them) with the header's start time, frame count and rate,
    // and the format's defaults; null with error 3 (no file) or 0 (bad header).
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

    const VString& GetDescription() const { return mDescription; }
    const VString& GetReferenceName() const { return mReferenceName; }
    const VString& GetFileName() const { return mFileName; }
    IOxaFileMotionBase* GetMotionFile() const { return mFile; }

protected:
    // Makes the format's file object and opens it with "r"; null (the object destroyed) when the
    // file cannot be opened.
    virtual IOxaFileMotionBase* CreateMotionFile(const char* path) = 0;
    // Sets the format's option defaults on new options.
    virtual void SetDefaultReadOptions(VStreamOptionsMotion* options) = 0;

    IOxaFileMotionBase* mFile = nullptr;
    VString mFileName{""};
    VString mDescription{""};
    VString mReferenceName{""};

private:
    // Error "File is corrupted" with `detail`, or with the file's failure when `detail` is null;
    // false.
    bool Corrupted(const char* detail = nullptr);
    // Adds the file's read warning to the message text, once.
    void NoteReadWarning();
    // ReadHeader with the checks every format shares: a marker count within 0 .. the file's size
    // in bytes, a frame count not below 0, a rate whose period is at least one tick, a finite
    // scale. A failure sets the error "File is corrupted" with what was wrong.
    bool ReadCheckedHeader(int64_t& markerCount, VTime& startTime, int64_t& frameCount, double& frameRate,
                           double& scale);
};

// The writer of every marker file: samples the marked nodes of a scene at a fixed frame period
// and hands each frame's global positions to the file. Error ids (VOxaWriter): 1 "File not
// opened" (or "Cannot open file ... for writing."), 3 "Out of disk space" (a write failed; the
// target keeps its former contents), 4 "Stream options not set".
class OXA_API VOxaWriterMotionBase : public VOxaWriter {
public:
    explicit VOxaWriterMotionBase(VOxaSdkManager* manager);
    // Closes a file that is still open.
    ~VOxaWriterMotionBase() override;

    // CreateMotionFile; false with error 1 "Cannot open file \"<path>\" for writing." when it fails.
    bool FileCreate(const char* path) override;
    // Closes and destroys the file: the written text is put in place. Without a file error 1;
    // when the text could not be completed, error 3 and false (the target is untouched).
    bool FileClose() override;
    bool IsFileOpen() override;
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

    const VString& GetDescription() const { return mDescription; }
    IOxaFileMotionBase* GetMotionFile() const { return mFile; }

protected:
    // Makes the format's file object and opens it with "w"; null when that fails.
    virtual IOxaFileMotionBase* CreateMotionFile(const char* path) = 0;
    virtual void SetDefaultWriteOptions(VStreamOptionsMotion* options) = 0;

    IOxaFileMotionBase* mFile = nullptr;
    VString mDescription{""};

private:
    // Drops the written text after a failed Write: FileClose then leaves the target as it was.
    void DiscardFile();
    bool mDiscarded = false;
};

// Scene work shared by the motion readers and writers (the marker bases above and the BRD, MOV
// and VPM formats).
struct OXA_API VOxaMotionSupport {
    // Key room made ahead of the data: counts from a file reserve at most this many keys, and the
    // room grows as keys arrive.
    static constexpr int kKeyRoomCap = 1 << 16;
    // Most marker nodes a file may ask for: what a C3D file can hold. Each becomes a node with
    // its curves, so a small file must not ask for more than any capture has.
    static constexpr int kMaxMarkers = 65535;
    // The fastest rate a motion writer writes: the finest time fields of the formats (BRD's)
    // count microseconds.
    static constexpr double kMaxRate = 1.0e6;

    // The options as motion options, null when they are missing or of another kind.
    static VStreamOptionsMotion* AsMotionOptions(VStreamOptions* options);
    // The start of a motion Read: the options as motion options, or null with the reader's error
    // "Stream options not set", or (without a scene or root node) error 7.
    static VStreamOptionsMotion* ReadTarget(VError& error, VStreamOptions* options, VOxaScene* scene);
    // True when option `index` equals 1 (the reset value is -1).
    static bool IsSet(const VStreamOptionsMotion* options, int index);
    // Sets the reader error "File is corrupted", followed by ": " and `detail` when there is one
    // (what was wrong and where, "line 12: ..."); answers false.
    static bool Corrupted(VError& error, const char* detail);

    // The take name of a file: its name without directories and extension.
    static VString TakeName(const char* path);
    // The file's size in bytes, -1 when it cannot be known.
    static int64_t FileSize(const char* path);
    // True for a rate read from a file that makes a usable period: finite, above 0 and at most
    // kMaxRate. A rate measured from rounded times is taken in its fewest digits first.
    static bool IsUsableRate(double framesPerSecond);
    // Why a rate is not usable, to follow "... frames per second, which ": "has no usable frame
    // period" or "is faster than the 1000000 frames per second the motion formats hold"; null
    // for a usable rate.
    static const char* RateProblem(double framesPerSecond);
    // The rate of a file that gives its frame period (or its frame times) rather than its rate:
    // the decimal with the fewest significant digits whose period, as the options make it,
    // equals `period`, so that a take written at 59.94 or 120 frames per second reads back at
    // that rate and not at 59.9400000001. 0 for a period that is not above 0.
    static double RateOfPeriod(VTime period);
    // The decimal with the fewest significant digits within `tolerance` of `rate` (the rate itself
    // when none is): for a rate measured from times rounded in the file.
    static double TidyRate(double rate, double tolerance);

    // True when both rates are usable and give the same frame period in ticks: a rate written
    // as either reads back as the same take.
    static bool SamePeriod(double rate, double other);

    // The length unit that `text` (`length` bytes, blanks around it passed over) names: "mm",
    // "cm", "dm", "m", "km", "um", "in", "ft", "yd" or one of their words ("MILLIMETERS",
    // "inches", "feet"), in any letter case. Answers its row (0 mm, 1 cm, 2 in, 3 dm, 4 m, 5 ft,
    // 6 yd, 7 km, 8 um) and sets `centimetres` to the scene centimetres of one unit; -1 when it
    // names none.
    static int FindLengthUnit(const char* text, size_t length, double& centimetres);

    // A node named `name` with an optical marker (type 1) attribute; null when either cannot be
    // made.
    static VOxaNode* CreateMarkerNode(VOxaSdkManager* manager, const char* name);
    // The reference node "<prefix>:optical" (with `optical`) or "<prefix>:reference", with an
    // optical-reference attribute.
    static VOxaNode* CreateReferenceNode(VOxaSdkManager* manager, const char* prefix, bool optical);
    // Adds the take `takeName` to the node and makes it current; null when that fails.
    static class VOxaTakeNode* AddCurrentTake(VOxaNode* node, const char* takeName);
    // The take information [start, end] for local and reference spans, the take made current, and
    // a non-zero time mode set on the scene's time settings.
    static void FinishTake(VOxaScene* scene, const char* takeName, VTime start, VTime end, int timeMode);
    // start + period x (n - 1), or start when n is 0.
    static VTime EndTime(VTime start, VTime period, int64_t n);

    // Room for at least `index` + 1 keys: the first room is `expected` keys (at most the cap),
    // later rooms grow by half; `room` tracks the room made.
    static bool EnsureKeyRoom(VFCurve* curve, int64_t index, int64_t& room, int64_t expected);
    // The key settings of every motion reader: cubic interpolation with automatic tangents, or
    // constant interpolation; data 0, weights 1/3, velocities 0, the value in single precision.
    static void SetCubicKey(VFCurve* curve, int index, VTime time, double value);
    static void SetConstantKey(VFCurve* curve, int index, VTime time, double value);
    // The constant key reducer over `curves` when the process-wide setting asks for it.
    static void ReduceConstantKeys(VFCurve** curves, int count);

    // The local translation a skeleton writer gives a joint whose frames carry no translation:
    // `taken`, the translation the joint's current take gives it at the first frame written, where
    // that is not its default translation `rest`, so that the written skeleton puts the joint where
    // the scene's evaluation does; `rest` where the two agree to the single precision of curves (a
    // take that only repeats the defaults), so that the defaults are written exactly.
    static VgeTVector JointTranslation(const VgeTVector& rest, const VgeTVector& taken);
    // True when a translation curve of `node`'s current take holds two different key values: the
    // joint moves in its parent's frame (a rotation pivot converted into the animation moves it
    // as its rotation changes), which a fixed offset cannot say.
    static bool TranslationVaries(VOxaNode* node);

    // What a motion writer refuses before it writes anything, when the scene gives it nothing its
    // format can hold: the skeleton writers without a joint, every marker writer without a marked
    // node, and the AMC and marker writers when the options name no frame.
    static constexpr const char* kNoJoints = "no joints to write";
    static constexpr const char* kNoMarkers = "no markers or joints to write";
    static constexpr const char* kNoFrames = "the take has no frames to write";
    // The refusal of a marker writer with `markerCount` nodes to write over the options' frames
    // (kNoMarkers first, then more than kMaxMarkers nodes, then a rate or frames that reach past
    // the time line, then kNoFrames; a text made up is held until the next call); null when it
    // has both.
    static const char* MarkerRefusal(size_t markerCount, const VStreamOptionsMotion* options);
    // The refusal of a skeleton writer that found no motion root: kNoJoints when no node below
    // the scene's root is a marked joint (IsJoint), else `forked` (the marked nodes lie beyond a
    // fork) followed by where the chain forks and what to do.
    static VString NoRootRefusal(VOxaScene* scene, const char* forked);
    // True for a node a skeleton writer can write as a joint: one without an attribute (a group),
    // or with a skeleton, marker or null attribute. Geometry, cameras and lights are no joints.
    static bool IsJoint(const VOxaNode* node);
    // True when `root` or a node below it is a joint: the skeleton writers (BVH, HTR, ASF)
    // refuse a motion root without one with kNoJoints.
    static bool HasJoints(VOxaNode* root);
    // For each name, whether it repeats a name before it exactly.
    static std::vector<bool> RepeatedNames(const std::vector<VString>& names);
    // Shows a warning through the options' message receiver for each name of `written` that is
    // `original` cut to the `maxBytes` a reader of `format` takes, and for each that was numbered
    // because it repeats a name before it (VTextFile::WritableNames).
    static void WarnCutNames(VStreamOptionsMotion* options, const std::vector<VString>& original,
                             const std::vector<VString>& written, int maxBytes, const char* format);
    // The same warnings as lines ("...\n" each) of one text, "" when no name was cut.
    static VString CutNamesText(const std::vector<VString>& original, const std::vector<VString>& written,
                                int maxBytes, const char* format);
    // For each node of a writer's list, whether its current take marks it seen (occlusion not
    // above 0.5, or below 0.5 when `seenBelowHalf`) in at least one of the `frames` frames from
    // `start` on; a node without an occlusion curve is seen. A marker never seen has no position
    // to write: the writers of formats without gaps leave it out, those with gaps write it as one.
    static std::vector<bool> SeenNodes(const std::vector<VOxaNode*>& nodes, VTime start, VTime period,
                                       int frames, bool seenBelowHalf = false);
    // The warning line on a node a writer leaves out because it is never seen: `what` says what
    // became of it ("left out", "written without records").
    static VString NeverSeenWarning(VOxaNode* node, const char* what);
    // The warning line of a writer whose file (`format`) gives its frames by their times only and
    // holds one frame: one time gives no rate, so the file reads back at the default rate. Empty
    // when the take's rate is that rate anyway.
    static VString OneFrameRateWarning(const VStreamOptionsMotion* options, const char* format);
    // Sets the writer error "File not created" with `text`; false.
    static bool Refuse(VError& error, const char* text);
    // The same, kNoFrames naming the scene's current take (or "the scene's only take").
    static bool Refuse(VError& error, const char* text, const VOxaScene* scene);
    // True for a value a motion writer may put in a file: finite and within
    // +-VTextFile::kLargestNumber. A marker or sensor whose value is not is written as a gap where
    // the format has gaps; elsewhere the file is refused.
    static bool IsWritable(double value);
    static bool IsWritable(const VgeTVector& value);
    // The end of a text motion writer's Write: true when `ok` and every write succeeded. When the
    // file met a number it cannot hold, the text is dropped and the writer error "File not
    // created" names the node and frame (VTextFile::GetUnwritableNumber); when a write failed
    // otherwise, the text is dropped with error "Out of disk space".
    static bool EndTextWrite(class VTextFile& file, VError& error, bool ok);

    // True for an end node as the skeleton readers make them (the BVH "End Site", the "_End"
    // node of a leaf HTR segment or ASF bone): no children, rotation limits active (not
    // automatic) and a bone length ("AxisLen") of 0. It marks where its parent's bone ends and is
    // no joint of its own.
    static bool IsEndNode(VOxaNode* node);

    // The writers' root: the motion root of the scene (unless "ExportFromGlobalPosition" is 1),
    // else the scene's root node.
    static VOxaNode* FindWriteRoot(VOxaWriter& writer, VOxaScene* scene, const VStreamOptionsMotion* options);
    // The marked nodes of the subtree that are not optical references, depth first, each node
    // before its children.
    static void CollectMarkedNodes(VOxaNode* root, std::vector<VOxaNode*>& nodes);
    // A node's name after its last ':' (the whole name when there is none).
    static VString NameAfterLastColon(const char* name);
    // The names a marker writer writes for `nodes`: each node's name after its last ':'. Names
    // that had no prefix come first; a cut name that then equals one before it, without regard to
    // case, takes the first of "_2", "_3", ... that keeps it distinct, and `warning` gets a line
    // naming both nodes (it is left as it is when no name had to change). So does a name that
    // repeats the exact name of a node before it (the readers refuse names that repeat). A name
    // left empty is then named "_" (or the first free of "_2", "_3", ...).
    static std::vector<VString> CutMarkerNames(const std::vector<VOxaNode*>& nodes, VString& warning);
    // Prepares the root for sampling, once its pivot animation is converted: the evaluation cache
    // of the subtree is filled from the default transform, the root's global transform becomes the
    // identity and the stamps are reset.
    static void PrepareHierarchy(VOxaNode* root);
    // The local transforms of the subtree at `time`, the identity on the root, stamps 0 on the
    // subtree and 1 on the root: afterwards `GlobalMatrix` brings a node up to date.
    static void EvaluateHierarchy(VOxaNode* root, VTime time);
    static const VgeAMatrix& GlobalMatrix(VOxaNode* node);
};

// The frame-after-frame sampling of a writer's subtree, with the results of
// VOxaMotionSupport::EvaluateHierarchy: the subtree's nodes are listed once and each holds its
// current take's channels (VOxaNode::HoldTakeChannels) for the sampler's life, so a frame costs
// no walk over the hierarchy and no channel lookup by name. The subtree's structure, curve nodes,
// keys and transform settings must not change while the sampler lives (the writers only read the
// scene).
//
// A frame is evaluated in the sampler's own records: per node what its local transform needs
// (the held curves, the constant values, a copy of its transform settings, its parent's place in
// the list) and its local values and global parts, in contiguous arrays, so that a frame reads a
// few cache lines per node instead of the nodes' caches and property blocks. The arithmetic is
// the nodes' own (the same functions in the same order), so every matrix is bit for bit what
// the nodes' stamped evaluation gives. A node whose take is not read through plain held curves
// gets its local values from the node's own evaluation; a subtree with an inherit type outside
// 0..2, or a frame evaluated while VOxaNode::SetReferenceEvaluation is on, takes the nodes' way
// entirely.
//
// The nodes' stamped transforms and take caches are left as that way leaves them: the sampler's
// destructor evaluates the last frame once more through the nodes, with the global parts of the
// nodes the last frame asked for.
class OXA_API VOxaMotionSampler {
public:
    explicit VOxaMotionSampler(VOxaNode* root);
    // Leaves the nodes' evaluated state as the nodes' way leaves it, then releases the held
    // channels.
    ~VOxaMotionSampler();
    VOxaMotionSampler(const VOxaMotionSampler&) = delete;
    VOxaMotionSampler& operator=(const VOxaMotionSampler&) = delete;

    // EvaluateHierarchy(root, time): the local transforms at `time`, the identity on the root.
    // VOxaMotionSampler::GlobalMatrix then brings a node up to date.
    void Evaluate(VTime time);
    // After Evaluate: VOxaMotionSupport::GlobalMatrix(node), with the parents known from the list.
    // The matrix stays valid until the next Evaluate.
    const VgeAMatrix& GlobalMatrix(VOxaNode* node);
    // node->EvaluateLocalTransform(time), the local matrix of the current take, for a writer
    // that reads local matrices instead of global ones (no Evaluate needed): a node read through
    // plain held curves is evaluated in its record, any other node by the node itself. The
    // matrix stays valid until the next call for the same node. The destructor leaves each
    // node's take cache as the node's own evaluation at the last time asked for leaves it.
    const VgeAMatrix& LocalMatrix(VOxaNode* node, VTime time);
    // True when the last Evaluate went through the records (for tests).
    bool IsUsingRecords() const { return mRecordFrame; }

private:
    struct Record;
    struct Slot;

    // The list index of `node`, -1 when it is not in the subtree.
    int IndexOf(VOxaNode* node);
    void BuildRecords();
    void EvaluateRecords(VTime time);
    // The local values of a record of held curves at `time`; `block` (may be null) holds every
    // held curve's value at `time`.
    void ReadHeld(Record& record, VTime time, const float* block);
    // Every held curve's value at `time` (in the order of mSlots) from the block of frames ahead,
    // null when `time` does not follow the previous frame at a step that was foreseen or can be
    // foreseen.
    const float* BlockValues(VTime time);
    // BlockValues(time), once per time: a later ask at the time of the previous one reads the
    // same block frame (or null again).
    const float* FrameValues(VTime time);
    const float* Block(size_t at) const;
    // The value of a held curve at `time`, as the node reads it.
    static float SlotValue(Slot& slot, VTime time);
    const VgeAMatrix& RecordGlobal(int index);
    // The global parts of `record` from its parent's, which are of this frame.
    void ComposeRecordGlobal(Record& record);
    // The global parts the records computed (those of each record's last computation) into the
    // nodes' stamped transforms.
    void StoreRecordGlobals();
    // The nodes' way: EvaluateHierarchy through each node, and a node's global matrix from its
    // stamped parts.
    void EvaluateNodes(VTime time);
    // Node `index`'s local parts at `time` into its stamped transform (a keyed default take read
    // at the time, as the stamp-driven evaluation does not).
    void UpdateNodeLocal(size_t index, VTime time);
    const VgeAMatrix& NodeGlobal(int index);

    VOxaNode* mRoot;
    std::vector<VOxaNode*> mNodes;  // the subtree, each node before its children
    std::vector<int> mParents;      // the index of each node's parent, -1 for the root
    // Per node: its current take is the default take and holds keys. The stamp-driven
    // evaluation reads a default take's default values; such a node is evaluated at the time.
    std::vector<char> mKeyedDefault;
    std::unordered_map<const VOxaNode*, int> mIndex;
    std::vector<int> mChain;
    int mLast = -1;  // the list index of the node GlobalMatrix was last asked for

    std::vector<Record> mRecords;  // one per node, empty when the subtree takes the nodes' way
    std::vector<Slot> mSlots;      // the held curves of the records, record after record
    // The held curves' values at the times of a block of frames ahead, frame after frame: the
    // frames a writer asks for at a steady step.
    static constexpr int kBlockFrames = 32;
    std::vector<float> mBlock;
    std::vector<int64_t> mBlockTimes;
    size_t mBlockAt = 0;    // the frame of the block the last Evaluate read
    int64_t mPrevious = 0;  // the time of the previous frame, and the step to it
    int64_t mStep = 0;
    bool mHasPrevious = false;
    unsigned mFrame = 0;         // counts the evaluated frames: a record's global parts are current
                                 // when its stamp equals it
    bool mRecordFrame = false;   // the last Evaluate filled the records
    double mRootParts[35] = {};  // the root record's global rotation, scaling and local scaling
    bool mRootPartsSeen = false;
    VTime mTime;  // of the last Evaluate
};

#endif  // OXA_FORMATS_MOTION_VOXA_MOTION_BASE_H
