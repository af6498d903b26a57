#include "base/vprogress.h"

#include "base/vdelivery_internal.h"

bool VProgress::Update(const char* status, float percent) {
    if (status) mStatus = status;
    // NaN fails both tests and becomes 0.
    if (!(percent >= 0.0f)) percent = 0.0f;
    if (percent > 100.0f) percent = 100.0f;
    mPercent = percent;
    if (mCallback) {
        // A callback that throws asks for the operation to stop.
        bool goOn = false;
        if (!oxa_delivery::Call([&] { goOn = mCallback(mUserData, mStatus.Buffer(), mPercent); }) || !goOn)
            mCancelled = true;
    }
    return !mCancelled;
}

void VProgress::Reset() {
    mStatus = "";
    mPercent = 0.0f;
    mCancelled = false;
}
