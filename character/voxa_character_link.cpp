#include "character/voxa_character_link.h"

VOxaCharacterLink::VOxaCharacterLink() : mTemplateName("") {
    Reset();
}

VOxaCharacterLink::VOxaCharacterLink(const VOxaCharacterLink& other) : mTemplateName("") {
    CopyValues(other);
}

VOxaCharacterLink& VOxaCharacterLink::operator=(const VOxaCharacterLink& other) {
    if (this != &other) CopyValues(other);
    return *this;
}

void VOxaCharacterLink::CopyValues(const VOxaCharacterLink& other) {
    mNode = other.mNode;
    mTemplateName = other.mTemplateName;
    mOffsetT = other.mOffsetT;
    mOffsetR = other.mOffsetR;
    mOffsetS = other.mOffsetS;
    mParentROffset = other.mParentROffset;
    mHasRotSpace = other.mHasRotSpace;
    mRLimits = other.mRLimits;
    mPreRotation = other.mPreRotation;
    mPostRotation = other.mPostRotation;
    mRotOrder = other.mRotOrder;
    mAxisLen = other.mAxisLen;
}

void VOxaCharacterLink::Reset() {
    const VgeTVector zero(0.0, 0.0, 0.0, 1.0);
    mNode = nullptr;
    mTemplateName = "";
    mOffsetT = zero;
    mOffsetR = zero;
    mOffsetS = VgeTVector(1.0, 1.0, 1.0, 1.0);
    mParentROffset = zero;
    mHasRotSpace = false;
    // A reset record has no limit switched on; records read from files keep their flags.
    mRLimits.SetLimitMinActive(false, false, false);
    mRLimits.SetLimitMaxActive(false, false, false);
    mRLimits.SetLimitMin(zero);
    mRLimits.SetLimitMax(zero);
    mPreRotation = zero;
    mPostRotation = zero;
    mRotOrder = 0;
    mAxisLen = 1.0;
    mProperty = nullptr;
}
