#include "scene/voxa_take_info.h"

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
    mTakeThumbnail = other.mTakeThumbnail;
    return *this;
}

VOxaTakeInfo::~VOxaTakeInfo() = default;
