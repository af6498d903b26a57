// A file-size limit for one scope: while it holds, writes that would grow a file of this process
// past the limit fail with EFBIG (SIGXFSZ is ignored), as on a full disk. The previous limit comes
// back with Lift() or at the end of the scope, so a failed assertion cannot leave it behind.
#ifndef OXA_TESTS_SUPPORT_FILE_SIZE_LIMIT_H
#define OXA_TESTS_SUPPORT_FILE_SIZE_LIMIT_H

#include <sys/resource.h>

#include <csignal>

namespace oxa_test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &mSaved);
        rlimit small = mSaved;
        small.rlim_cur = bytes;
        mHeld = setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() { Lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Puts the previous limit back (once).
    void Lift() {
        if (mHeld) setrlimit(RLIMIT_FSIZE, &mSaved);
        mHeld = false;
    }

private:
    rlimit mSaved{};
    bool mHeld = false;
};

}  // namespace oxa_test

#endif  // OXA_TESTS_SUPPORT_FILE_SIZE_LIMIT_H
