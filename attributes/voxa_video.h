#ifndef OXA_ATTRIBUTES_VOXA_VIDEO_H
#define OXA_ATTRIBUTES_VOXA_VIDEO_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaVideo;

// The name of an "InterlaceMode" value: 0 "Disk", 1 "Memory", 2 "Disk Async"; null otherwise.
OXA_API const char* GetVideoInterlaceModeName(int value);
// The name of an "AccessMode" value: 0 "None", 1 "Fields", 2 "Half Frame Even", 3 "Half Frame
// Odd", 4 "Full Frame Even", 5 "Full Frame Odd", 6 "Full Frame Even/Odd", 7 "Full Frame
// Odd/Even"; null otherwise.
OXA_API const char* GetVideoAccessModeName(int value);

// The property block of a video. It holds all of the video's state: the properties
// "FrameRate", "LastFrame", "Width", "Height", "Path", "StartFrame", "StopFrame", "PlaySpeed",
// "Offset", "InterlaceMode", "FreeRunning", "Loop" and "AccessMode" (in that order, none
// animatable), and the file-name fields. It keeps its owner video.
class OXA_API VOxaVideoProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    // Declares the thirteen properties with their defaults ("PlaySpeed" 1, the rest 0, no path).
    explicit VOxaVideoProperties(VOxaVideo* owner);

    // The video.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // After this block was connected as a source of another block D: a texture owning D takes
    // the video's file names and its full name as media name; a light node owning D takes the
    // file name as gobo file name. Then the first destination of D that has an owner registers
    // the video with its scene contents when that owner is a node and no video of the name is
    // registered there.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    // The file name behind "Path": null until one is set (an empty one reads as none). SetPath
    // stores a copy (null clears it).
    const char* GetPath() const { return mPath.IsEmpty() ? nullptr : mPath.Buffer(); }
    void SetPath(const char* path);

    VPropertyTemplate<double> mFrameRate;
    VPropertyTemplate<int> mLastFrame;
    VPropertyTemplate<int> mWidth;
    VPropertyTemplate<int> mHeight;
    VPropertyTemplate<VString> mPathProperty;
    VPropertyTemplate<int> mStartFrame;
    VPropertyTemplate<int> mStopFrame;
    VPropertyTemplate<double> mPlaySpeed;
    VPropertyTemplate<VTime> mOffset;
    VPropertyTemplate<EGenericEnum> mInterlaceMode;
    VPropertyTemplate<bool> mFreeRunning;
    VPropertyTemplate<bool> mLoop;
    VPropertyTemplate<EGenericEnum> mAccessMode;

    VString mRelativeFileName;
    VString mOriginalFileName;
    bool mUseMipMap = false;
    bool mOriginalFormat = true;

private:
    VOxaVideo* mOwner;
    VString mPath;
};

// A media clip (an image, or the frames of a clip) that textures show and that a light can
// project as a gobo. It feeds them through plug connections in which its property block is the
// source; a new file name is passed on to every texture it feeds. The manager makes it (name
// prefix "Video::") and owns it. Take errors of every video go to one shared error object,
// whose one message is "Error".
class OXA_API VOxaVideo : public VOxaTakeNodeContainer {
public:
    // `name` is the full name, "Video::" included. Adds the "Default" take (current), then Reset.
    VOxaVideo(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaVideo() override;

    // The property block drops its connections (to what the video feeds) and its properties.
    void Destroying() override;
    int GetTypeCode() const override { return 5; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "Clip", and the one flag "Clip".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    // The channels of every animatable property of the block (none of its own).
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // Use mip-map off, original format on, original file name empty.
    void Reset();
    // Rebuilds the takes, then Reset.
    void ResetAll();

    // The class id of the property block, which identifies videos among connections.
    static int GetClassId() { return VOxaVideoProperties::ClassInfo.GetId(); }

    VError& GetError() { return SharedError(); }
    int GetLastErrorID() const { return SharedError().GetLastErrorID(); }
    const char* GetLastErrorString() const { return SharedError().GetLastErrorString().Buffer(); }

    // Stores the name as "Path" and passes it to every texture the video feeds. False, nothing
    // changed, for a null or empty name; true without passing anything on when it is the name
    // already.
    bool SetFileName(const char* name);
    // The "Path" text; null while no file name was ever set.
    const char* GetFileName() const;
    // The same for the relative file name, which is never null.
    bool SetRelativeFileName(const char* name);
    const char* GetRelativeFileName() const;

    void SetUseMipMap(bool on);
    bool GetUseMipMap() const;
    void SetOriginalFormat(bool on);
    bool GetOriginalFormat() const;
    // Null is taken as empty; never null.
    void SetOriginalFilename(const char* name);
    const char* GetOriginalFilename() const;

    // Property values. Setters go through the properties, which send their change events.
    double GetFrameRate() const;
    int GetLastFrame() const;
    int GetWidth() const;
    int GetHeight() const;
    void SetStartFrame(int frame);
    int GetStartFrame() const;
    void SetStopFrame(int frame);
    int GetStopFrame() const;
    void SetPlaySpeed(double speed);
    double GetPlaySpeed() const;
    void SetOffset(const VTime& offset);
    VTime GetOffset() const;
    void SetFreeRunning(bool on);
    bool GetFreeRunning() const;
    void SetLoop(bool on);
    bool GetLoop() const;
    // Any value is stored; only those of the name tables have names.
    void SetInterlaceMode(int mode);
    int GetInterlaceMode() const;
    void SetAccessMode(int mode);
    int GetAccessMode() const;

private:
    static VError& SharedError();

    VOxaVideoProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_VIDEO_H
