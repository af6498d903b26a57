#ifndef OXA_SCENE_VOXA_SCENE_INFO_H
#define OXA_SCENE_VOXA_SCENE_INFO_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

class VOxaSdkManager;

// A small square preview picture of a scene or a take, RGB (3 bytes per pixel) or RGBA (4),
// 64 x 64 or 128 x 128 pixels. The manager makes and destroys thumbnails.
//
// The pixel buffer always holds GetSizeInBytes bytes (none for a size other than 64 or 128):
// setting the size makes a fresh zeroed buffer; changing the data format afterwards resizes
// the buffer, keeping its leading bytes. No operation fails.
class OXA_API VOxaThumbnail {
public:
    // Data formats: 0 RGB, any other value RGBA.
    enum EDataFormat : int { eRGB_24 = 0, eRGBA_32 = 1 };
    // Sizes: 64 and 128 pixels square; any other value means no picture.
    enum EImageSize : int { eNOT_SET = 0, e64x64 = 64, e128x128 = 128 };

    // Format RGB, size 0, no buffer.
    VOxaThumbnail() = default;
    VOxaThumbnail(const VOxaThumbnail&) = delete;
    VOxaThumbnail& operator=(const VOxaThumbnail&) = delete;
    ~VOxaThumbnail() = default;

    // The manager that made the thumbnail, null for one made without a manager.
    VOxaSdkManager* GetSdkManager() const { return mManager; }

    int GetDataFormat() const { return mDataFormat; }
    // Stores `format` and resizes the buffer to the new GetSizeInBytes, keeping the leading
    // bytes (new bytes are zero).
    void SetDataFormat(int format);
    int GetSize() const { return mSize; }
    // Stores `size` and replaces the buffer by a zeroed one of GetSizeInBytes bytes (none when
    // that is 0).
    void SetSize(int size);
    // Bytes per pixel x 4096 for size 64, x 16384 for size 128, 0 for any other size.
    int GetSizeInBytes() const;
    // The pixel buffer, null when there is none.
    unsigned char* GetThumbnailImage() { return mImage.empty() ? nullptr : mImage.data(); }
    const unsigned char* GetThumbnailImage() const { return mImage.empty() ? nullptr : mImage.data(); }

private:
    friend class VOxaSdkManager;
    VOxaSdkManager* mManager = nullptr;
    int mDataFormat = eRGB_24;
    int mSize = eNOT_SET;
    std::vector<unsigned char> mImage;
};

// The document metadata of a scene and its thumbnail. The thumbnail is not owned: the manager
// owns it, and nothing here destroys it. The manager makes and destroys scene informations.
class OXA_API VOxaSceneInfo {
public:
    // Six empty strings, no thumbnail.
    VOxaSceneInfo() = default;
    VOxaSceneInfo(const VOxaSceneInfo&) = delete;
    // Copies the six strings and the thumbnail pointer; the thumbnail of another manager is not
    // taken (the current one stays).
    VOxaSceneInfo& operator=(const VOxaSceneInfo& other);
    ~VOxaSceneInfo() = default;

    VOxaThumbnail* GetSceneThumbnail() const { return mSceneThumbnail; }
    // Keeps the pointer only (the former thumbnail is left as it is). A thumbnail of another
    // manager than the information's is refused (false, nothing changes): that manager would
    // destroy it while this one still showed it.
    bool SetSceneThumbnail(VOxaThumbnail* thumbnail);
    // Empties the six strings and forgets the thumbnail without destroying it.
    void Clear();

    VString mTitle{""};
    VString mSubject{""};
    VString mAuthor{""};
    VString mKeywords{""};
    VString mRevision{""};
    VString mComment{""};

private:
    friend class VOxaSdkManager;
    VOxaSdkManager* mManager = nullptr;  // the manager that made the information
    VOxaThumbnail* mSceneThumbnail = nullptr;
};

#endif  // OXA_SCENE_VOXA_SCENE_INFO_H
