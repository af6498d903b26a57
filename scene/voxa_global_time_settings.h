#ifndef OXA_SCENE_VOXA_GLOBAL_TIME_SETTINGS_H
#define OXA_SCENE_VOXA_GLOBAL_TIME_SETTINGS_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>

// A named point of the time line, possibly marking a loop.
struct OXA_API VOxaTimeMarker {
    VString mName{""};
    VTime mTime;
    bool mLoop = false;
};

// The scene-wide time values: the time mode (an index of VTime's frame-rate table), the time
// format, the snap-on-frames mode, the time markers and which marker is the reference.
//
// A stored time mode of 0 and a stored time format of 2 stand for the process-wide defaults of
// VTime; when those are 0 (respectively 2) as well, the getters answer 6 (respectively 1).
// Failures (a marker or reference index out of range) set error 0 "Index out of range." and
// answer null or false, changing nothing.
class OXA_API VOxaGlobalTimeSettings {
public:
    enum EError : int { eIndexOutOfRange = 0, eErrorCount };

    // Settings with the defaults of RestoreDefaultSettings.
    VOxaGlobalTimeSettings();
    VOxaGlobalTimeSettings(const VOxaGlobalTimeSettings&) = delete;
    // Copies the time mode, format and snap value, the markers (as copies) and the reference
    // index (the error state stays).
    VOxaGlobalTimeSettings& operator=(const VOxaGlobalTimeSettings& other);
    ~VOxaGlobalTimeSettings();

    // Time mode 6, time format 1, snap off, no marker, no reference.
    void RestoreDefaultSettings();

    void SetTimeMode(int mode) { mTimeMode = mode; }
    int GetTimeMode() const;
    void SetTimeFormat(int format) { mTimeFormat = format; }
    int GetTimeFormat() const;
    void SetSnapOnFramesMode(int mode) { mSnapOnFrames = mode; }
    int GetSnapOnFramesMode() const { return mSnapOnFrames; }
    // Stored as 1 or 0.
    void SetSnapOnFrames(bool snap) { mSnapOnFrames = snap ? 1 : 0; }
    bool GetSnapOnFrames() const { return mSnapOnFrames != 0; }

    int GetTimeMarkerCount() const { return (int)mTimeMarkers.size(); }
    // The marker in place; out of range: error 0, null.
    VOxaTimeMarker* GetTimeMarker(int index);
    // Appends a copy of `marker`.
    void AddTimeMarker(const VOxaTimeMarker& marker);
    // Deletes every marker and clears the reference index (-1).
    void RemoveAllTimeMarkers();

    // Inside [0, marker count): stores it, true. Else error 0, false.
    bool SetReferenceTimeIndex(int index);
    int GetReferenceTimeIndex() const { return mReferenceTimeIndex; }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    int mTimeMode = 6;
    int mTimeFormat = 1;
    int mSnapOnFrames = 0;
    // Owned; a marker keeps its address while the list grows.
    std::vector<VOxaTimeMarker*> mTimeMarkers;
    int mReferenceTimeIndex = -1;
    VError mError;
};

#endif  // OXA_SCENE_VOXA_GLOBAL_TIME_SETTINGS_H
