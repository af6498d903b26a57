#include "scene/voxa_take_info.h"

#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_scene_info.h"

VOxaTakeInfo::VOxaTakeInfo(const VOxaTakeInfo& other)
    : mName(other.mName),
      mFileName(other.mFileName),
      mComments(other.mComments),
      mSelect(other.mSelect),
      mLocalTimeSpan(other.mLocalTimeSpan),
      mReferenceTimeSpan(other.mReferenceTimeSpan),
      mTakeThumbnail(other.mTakeThumbnail) {}

VOxaTakeInfo& VOxaTakeInfo::operator=(const VOxaTakeInfo& other) {
    if (this == &other) return *this;
    mName = other.mName;
    mFileName = other.mFileName;
    mComments = other.mComments;
    mSelect = other.mSelect;
    mLocalTimeSpan = other.mLocalTimeSpan;
    mReferenceTimeSpan = other.mReferenceTimeSpan;
    SetTakeThumbnail(other.mTakeThumbnail);
    return *this;
}

VOxaTakeInfo::~VOxaTakeInfo() = default;

bool VOxaTakeInfo::SetTakeThumbnail(VOxaThumbnail* thumbnail) {
    if (thumbnail && !VOxaSameManager(mManager, thumbnail->GetSdkManager())) return false;
    mTakeThumbnail = thumbnail;
    return true;
}
