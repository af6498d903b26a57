#ifndef OXA_SCENE_VOXA_TAKE_INFO_H
#define OXA_SCENE_VOXA_TAKE_INFO_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>

class VOxaScene;
class VOxaSdkManager;
class VOxaThumbnail;

// What a scene records of one take apart from its animation: the take's name (the key: one
// take information per take name in a scene), the file it came from, comments, whether it is
// selected (writers write only selected takes), its local and reference time spans and an
// optional thumbnail. The thumbnail is shared, never owned: copies point to the same one.
class OXA_API VOxaTakeInfo {
public:
    // Empty strings, selected, zero spans, no thumbnail.
    VOxaTakeInfo() = default;
    // Copy the strings, the selected flag, both spans and the thumbnail pointer.
    VOxaTakeInfo(const VOxaTakeInfo& other);
    VOxaTakeInfo& operator=(const VOxaTakeInfo& other);
    // Releases the strings only; the thumbnail is left as it is.
    ~VOxaTakeInfo();

    VOxaThumbnail* GetTakeThumbnail() const { return mTakeThumbnail; }
    // Keeps the pointer only; the former thumbnail is neither freed nor changed. On a take
    // information a scene holds, a thumbnail of another manager than the scene's is refused
    // (false, nothing changes).
    bool SetTakeThumbnail(VOxaThumbnail* thumbnail);

    VString mName{""};
    VString mFileName{""};
    VString mComments{""};
    bool mSelect = true;
    VTimeSpan mLocalTimeSpan;
    VTimeSpan mReferenceTimeSpan;

private:
    friend class VOxaScene;
    VOxaSdkManager* mManager = nullptr;  // the manager of the scene holding it; not copied
    VOxaThumbnail* mTakeThumbnail = nullptr;
};

#endif  // OXA_SCENE_VOXA_TAKE_INFO_H
