#include "base/vprogress.h"

bool VProgress::Update(const char* status, float percent) {
    if (status) mStatus = status;
    // NaN fails both tests and becomes 0.
    if (!(percent >= 0.0f)) percent = 0.0f;
    if (percent > 100.0f) percent = 100.0f;
    mPercent = percent;
    if (mCallback && !mCallback(mUserData, mStatus.Buffer(), mPercent)) mCancelled = true;
    return !mCancelled;
}

void VProgress::Reset() {
    mStatus = "";
    mPercent = 0.0f;
    mCancelled = false;
}
