#ifndef OXA_BASE_VPROGRESS_H
#define OXA_BASE_VPROGRESS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

// Progress and cancel reporting shared by the readers and writers. A long operation reports its
// status text and percentage through Update; the owner (a host panel, a command line) receives
// them through an optional callback, which can ask for the operation to stop. Once cancelled, a
// progress object stays cancelled until Reset.
class OXA_API VProgress {
public:
    // Receives each update; answers false to ask for the operation to stop. One that throws asks
    // for it to stop too (nothing it throws goes further); the objects it destroys through the
    // SDK manager go when the outermost library operation has ended.
    typedef bool (*Callback)(void* userData, const char* status, float percent);

    VProgress() = default;

    void SetCallback(Callback callback, void* userData) {
        mCallback = callback;
        mUserData = userData;
    }

    // Records the status text (null keeps the former one) and the percentage (clamped to
    // 0..100), passes them to the callback, and answers false when the operation should stop
    // (cancelled now or earlier).
    bool Update(const char* status, float percent);
    // Asks the operation to stop.
    void Cancel() { mCancelled = true; }
    bool IsCancelled() const { return mCancelled; }
    // Back to 0 percent, empty status, not cancelled; the callback stays.
    void Reset();

    float GetPercent() const { return mPercent; }
    const VString& GetStatus() const { return mStatus; }

private:
    Callback mCallback = nullptr;
    void* mUserData = nullptr;
    VString mStatus{""};
    float mPercent = 0.0f;
    bool mCancelled = false;
};

#endif  // OXA_BASE_VPROGRESS_H
