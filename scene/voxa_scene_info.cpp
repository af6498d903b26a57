#include "scene/voxa_scene_info.h"

#include "objects/voxa_same_manager_internal.h"

// --- VOxaThumbnail ---------------------------------------------------------------------------

void VOxaThumbnail::SetDataFormat(int format) {
    mDataFormat = format;
    // The buffer follows the format, so that GetSizeInBytes bytes can always be written.
    mImage.resize((size_t)GetSizeInBytes());
    if (mImage.empty()) mImage.shrink_to_fit();
}

void VOxaThumbnail::SetSize(int size) {
    std::vector<unsigned char>().swap(mImage);
    mSize = size;
    int bytes = GetSizeInBytes();
    if (bytes > 0) mImage.assign((size_t)bytes, 0);
}

int VOxaThumbnail::GetSizeInBytes() const {
    int bytesPerPixel = mDataFormat == eRGB_24 ? 3 : 4;
    if (mSize == e64x64) return bytesPerPixel * 64 * 64;
    if (mSize == e128x128) return bytesPerPixel * 128 * 128;
    return 0;
}

// --- VOxaSceneInfo ---------------------------------------------------------------------------

VOxaSceneInfo& VOxaSceneInfo::operator=(const VOxaSceneInfo& other) {
    if (this == &other) return *this;
    mTitle = other.mTitle;
    mSubject = other.mSubject;
    mAuthor = other.mAuthor;
    mKeywords = other.mKeywords;
    mRevision = other.mRevision;
    mComment = other.mComment;
    SetSceneThumbnail(other.mSceneThumbnail);
    return *this;
}

bool VOxaSceneInfo::SetSceneThumbnail(VOxaThumbnail* thumbnail) {
    if (thumbnail && !VOxaSameManager(mManager, thumbnail->GetSdkManager())) return false;
    mSceneThumbnail = thumbnail;
    return true;
}

void VOxaSceneInfo::Clear() {
    mTitle = "";
    mSubject = "";
    mAuthor = "";
    mKeywords = "";
    mRevision = "";
    mComment = "";
    mSceneThumbnail = nullptr;
}
