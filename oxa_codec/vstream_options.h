#ifndef OXA_OXA_CODEC_VSTREAM_OPTIONS_H
#define OXA_OXA_CODEC_VSTREAM_OPTIONS_H

#include <string>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vplug.h>

// The settings that the importer and exporter hand to a reader or writer, one subclass per
// format family; readers and writers recognise theirs with IsA. Every options object carries
// the callbacks through which a reader or writer reports progress, asks a question or shows a
// message; unset callbacks do nothing.
class OXA_API VStreamOptions : public VPlug {
    VOBJECT_DECLARE_CLASS()
public:
    // Progress: a handle (readers pass 0), a text and a percentage.
    typedef void (*ProgressCallback)(void* handle, const char* text, float percent);
    // A question or a message: title, text and up to three answer labels (unused ones null),
    // then a user value. Answers the label chosen, 1 for the first.
    typedef int (*DialogCallback)(const char* title, const char* text, const char* answer1,
                                  const char* answer2, const char* answer3, void* data);

    VStreamOptions();
    ~VStreamOptions() override;

    // Back to the do-nothing callbacks.
    void ResetCallbacks();
    // A null callback stands for the do-nothing one.
    void SetProgressCallback(ProgressCallback callback);
    void SetDialogCallback(DialogCallback callback);
    void SetMessageCallback(DialogCallback callback);
    ProgressCallback GetProgressCallback() const { return mProgress; }
    DialogCallback GetDialogCallback() const { return mDialog; }
    DialogCallback GetMessageCallback() const { return mMessage; }

    // The readers and writers call the callbacks through these. A callback runs in the middle of
    // a read or write: an exception it throws stops there (as if it had returned, a dialog then
    // answering 0); a scene or object it destroys (DestroyScene, DestroyAllObjects, ...) is
    // destroyed only when the outermost read or write has ended, the read or write going on with
    // it meanwhile; a read or write it starts on the importer or exporter that called it is
    // refused. It may read or write other files with other importers and exporters.

    // Calls the progress callback with handle 0.
    void Progress(const char* text, float percent) const;
    // Asks a question with two answers; answers 1 for the first, 2 for the second (the
    // do-nothing callback, and one that threw, answer 0: no answer).
    int Dialog(const char* title, const char* text, const char* answer1, const char* answer2) const;
    // Shows a message with one button ("Ok" unless said otherwise).
    void Message(const char* title, const char* text, const char* button = "Ok") const;

private:
    ProgressCallback mProgress;
    DialogCallback mDialog;
    DialogCallback mMessage;
};

// One indexed option of the geometry formats: its name and value, and the flag byte, kind word
// and second integer that describe it to a settings panel (readers and writers read only the
// value).
struct OXA_API VStreamOption {
    VString mName;
    int mValue = 0;
    unsigned char mFlag = 0;
    unsigned short mKind = 0;
    int mSecond = 0;
};

// The options of the geometry formats: indexed options 1 to kOptionCount.
class OXA_API VStreamOptionsBase : public VStreamOptions {
    VOBJECT_DECLARE_CLASS()
public:
    static constexpr int kOptionCount = 17;

    // Every option unnamed and 0.
    VStreamOptionsBase();

    // Back to the format's names and defaults (the base: every option unnamed and 0).
    virtual void Reset();

    // The value of option `index` (1 to 17); 0 for any other index.
    int GetOptionValue(int index) const;
    // Sets the value of option `index`; other indexes are ignored.
    void SetOptionValue(int index, int value);
    // The name of option `index`, "" for an unnamed option or another index.
    const char* GetOptionName(int index) const;
    // The whole option record, null for an index outside 1 to 17.
    const VStreamOption* GetOption(int index) const;

    // Folders the geometry writers may copy texture images from, besides the folder of the file
    // that named each texture (which a texture read from a file remembers). An image elsewhere is
    // not copied. Null and empty names are ignored; Reset keeps the list.
    void AddTextureFolder(const char* folder);
    void ClearTextureFolders() { mTextureFolders.clear(); }
    const std::vector<std::string>& GetTextureFolders() const { return mTextureFolders; }

protected:
    // Sets every field of option `index`.
    void SetOption(int index, const char* name, int value, unsigned char flag = 0, unsigned short kind = 0,
                   int second = 0);
    void ClearOptions();

private:
    VStreamOption mOptions[kOptionCount + 1];  // [0] unused
    std::vector<std::string> mTextureFolders;
};

// Options of the 3DS reader and writer.
class OXA_API VStreamOptions3ds : public VStreamOptionsBase {
    VOBJECT_DECLARE_CLASS()
public:
    enum EOption {
        eCREATE_REFERENCE_NODE = 1,
        eMATERIALS = 7,
        eTEXTURE_MAPPING = 8,
        eANIM = 9,
        eGEOMETRIES = 10,
        eLIGHTS = 11,
        eCAMERA = 12,
        eAMBIENT_LIGHT = 13,
        eRESCALE = 14,
        eREDUCE_KEYS = 15,
        eSMOOTH_GROUP = 16,
        eUV_PER_POLYGON = 17,
    };

    // New options with the defaults below (Reset restores them).
    static VStreamOptions3ds* Create();
    VStreamOptions3ds();
    // "Create Reference Node" 0, "Materials" 1, "Texture Mapping" 1, "Anim" 1, "Geometries" 1,
    // "Lights" 1, "Camera" 1, "Ambient Light" 1, "Rescale" 1, "Reduce Keys" 0, "Smooth Group" 1,
    // "UV per polygon" 1; options 2 to 6 unnamed and 0.
    void Reset() override;
};

// Options of the OBJ reader and writer: 1 "Create Reference Node" (1), 2 "Force Triangulation"
// (0), 3 "Evaluate Link/Shape deformations" (1), set at construction and by Reset.
class OXA_API VStreamOptionsObj : public VStreamOptionsBase {
    VOBJECT_DECLARE_CLASS()
public:
    enum EOption { eCREATE_REFERENCE_NODE = 1, eFORCE_TRIANGULATION = 2, eEVALUATE_DEFORMATIONS = 3 };

    static VStreamOptionsObj* Create();
    VStreamOptionsObj();
    void Reset() override;
};

// Options of the DXF reader and writer, set at construction and by Reset (value; flag, kind,
// second): 1 "Create Reference Node" 1 (1, 0, 1); 2 "Force Triangulation" 1 (1, 1, 1);
// 3 "Evaluate Link/Shape deformations" 1 (1, 1, 1); 4 "Weld Vertices" 1 (1, 0, 1);
// 5 "Object Derivation" 0 (1, 0, 0); 6 "Layer~Block~Entity" 0 (1, 0, 2).
class OXA_API VStreamOptionsDxf : public VStreamOptionsBase {
    VOBJECT_DECLARE_CLASS()
public:
    enum EOption {
        eCREATE_REFERENCE_NODE = 1,
        eFORCE_TRIANGULATION = 2,
        eEVALUATE_DEFORMATIONS = 3,
        eWELD_VERTICES = 4,
        eOBJECT_DERIVATION = 5,
        eLAYER_BLOCK_ENTITY = 6,
    };
    // How the DXF reader gathers entities into nodes.
    enum EGroupingMode { eBY_LAYER = 0, eBY_ENTITY = 1, eBY_BLOCK = 2 };

    static VStreamOptionsDxf* Create();
    VStreamOptionsDxf();
    void Reset() override;

    // Maps option 6 to the grouping mode (0 by layer, 1 whole section as one block, 2 by entity
    // give modes 0, 2 and 1), stores it and answers it; another option value leaves the stored
    // mode (0 at construction) as it is and answers it.
    int GetLayerBlockEntityMode();

private:
    int mGroupingMode = eBY_LAYER;
};

// Options of every motion-capture reader and writer: 18 indexed options (0 to 17, -1 when not
// set), the start time, the frame count, the time mode or a custom frame rate, and one object
// that the options carry from one step to the next (the ASF skeleton for the AMC step).
class OXA_API VStreamOptionsMotion : public VStreamOptions {
    VOBJECT_DECLARE_CLASS()
public:
    enum EOption {
        eTRANSLATION = 0,
        eROTATION = 1,
        eSCALING = 2,
        eUNUSED_SEGMENTS = 3,
        eIMPORT_AS_OPTICAL_SEGMENTS = 4,
        eIMPORT_EXACT_ZERO_AS_OCCLUDED = 5,
        eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION = 6,
        eIMPORT_ACTOR_PREFIX = 7,
        eIMPORT_CREATE_REFERENCE_NODE = 8,
        eIMPORT_DUMMY_NODES = 9,
        eIMPORT_LIMITS = 10,
        eEXPORT_GAPS_AS_VALID_DATA = 11,
        eEXPORT_C3D_REAL_FORMAT = 12,
        eEXPORT_FROM_GLOBAL_POSITION = 13,
        eEXPORT_REQUIRE_SINGLE_ROOT_NODE = 14,
        eEXPORT_FRAME_RATE = 15,
        eEXPORT_FRAME_RANGE = 16,
        eRENAME_DUPLICATE_NAMES = 17,
        eOPTION_COUNT = 18
    };

    // New options that the caller owns: every option -1, start time 0, frame count 0, the time
    // mode and frame rate of the process-wide default.
    static VStreamOptionsMotion* Create();
    VStreamOptionsMotion();
    // Destroys an owned attached object.
    ~VStreamOptionsMotion() override;

    // Every option back to -1.
    void ResetOptions();
    // Sets option `index` (0 to 17); other indexes are ignored.
    void SetOption(int index, int value);
    // The value of option `index`; -1 for an index outside 0 to 17.
    int GetOption(int index) const;
    // The name of option `index` ("Translation" ... "RenameDuplicateNames"), "" outside 0 to 17.
    static const char* GetOptionName(int index);

    void SetStartTime(VTime start) { mStartTime = start; }
    VTime GetStartTime() const { return mStartTime; }
    // A negative count is stored as 0.
    void SetFrameCount(int count) { mFrameCount = count < 0 ? 0 : count; }
    int GetFrameCount() const { return mFrameCount; }

    // A time mode of the frame-rate table, with its rate. Mode 0 with a rate stores that rate as
    // a custom rate, with the table's mode of that rate (0 when the table has none); mode 0
    // with rate 0 (or a rate that is not a positive finite number) takes the process-wide
    // default mode.
    void SetTimeMode(int timeMode, double frameRate = 0.0);
    int GetTimeMode() const { return mTimeMode; }
    double GetFrameRate() const { return mFrameRate; }
    bool IsCustomFrameRate() const { return mCustomRate; }
    // One frame: of the time mode, or 1 / rate seconds for a custom rate.
    VTime GetFramePeriod() const;

    // Attaches one object; an owned one is destroyed with the options or when another object
    // is attached in its place.
    void SetAttachedObject(VPlug* object, bool owned);
    VPlug* GetAttachedObject() const { return mAttached; }

private:
    void DropAttached();

    int mOptions[eOPTION_COUNT];
    VTime mStartTime;
    int mFrameCount = 0;
    int mTimeMode = 0;
    double mFrameRate = 0.0;
    bool mCustomRate = false;
    VPlug* mAttached = nullptr;
    bool mAttachedOwned = false;
};

#endif  // OXA_OXA_CODEC_VSTREAM_OPTIONS_H
