#include "base/vsafe_output_file.h"
#include "base/vallocation_hook.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// The folder part of `path` with its final '/', empty for a bare name.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A fresh name in `folder`: ".oxa", 12 letters and digits, ".tmp". The letters mix the process,
// the clock and a counter, so that two runs, or two files of one run, do not pick one name.
std::string UniqueName(const std::string& folder) {
    static uint64_t counter = 0;
    uint64_t x = (uint64_t)getpid() << 32;
    x ^= (uint64_t)std::chrono::steady_clock::now().time_since_epoch().count();
    x += ++counter * 0x9E3779B97F4A7C15ull;
    // splitmix64 finaliser
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = folder + ".oxa";
    for (int k = 0; k < 12; ++k, x /= 36)
        name += kLetters[x % 36];
    return name + ".tmp";
}

constexpr int kNameTries = 100;

thread_local VSafeOutputGroup* tCurrentGroup = nullptr;

// ---- the register of temporaries ----
//
// A signal handler may walk it at any moment, so it holds plain C strings behind atomic pointers,
// in blocks that are linked once and never freed; changes are made under a lock by ordinary
// code. A path taken off while the handler runs is not freed: the process is ending anyway.

struct RegisterBlock {
    static constexpr int kSlots = 64;
    std::atomic<char*> slots[kSlots] = {};
    std::atomic<RegisterBlock*> next{nullptr};
};

RegisterBlock gFirstBlock;
std::atomic<bool> gRemoving{false};

std::mutex& RegisterLock() {
    static std::mutex lock;
    return lock;
}

// Puts `path` on the register; false when there was no memory for it.
bool Remember(const std::string& path) {
    char* copy = static_cast<char*>(std::malloc(path.size() + 1));
    if (!copy) return false;
    std::memcpy(copy, path.c_str(), path.size() + 1);
    std::lock_guard<std::mutex> hold(RegisterLock());
    for (RegisterBlock* block = &gFirstBlock;; block = block->next.load()) {
        for (std::atomic<char*>& slot : block->slots)
            if (!slot.load()) {
                slot.store(copy);
                return true;
            }
        if (!block->next.load()) {
            RegisterBlock* added = new (std::nothrow) RegisterBlock;
            if (!added) {
                std::free(copy);
                return false;
            }
            block->next.store(added);
        }
    }
}

// Holds off, on the calling thread, every signal that may come from outside the process while a
// temporary is made and put on the register: a signal that stopped the process between the two
// would leave a file its handler does not know of. Held signals arrive when the hold ends, with
// the file on the register. A fault's own signals are never held.
class HoldSignals {
public:
    HoldSignals() {
        sigset_t all;
        sigfillset(&all);
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT})
            sigdelset(&all, sig);
        mHeld = pthread_sigmask(SIG_BLOCK, &all, &mBefore) == 0;
    }
    ~HoldSignals() {
        if (mHeld) pthread_sigmask(SIG_SETMASK, &mBefore, nullptr);
    }
    HoldSignals(const HoldSignals&) = delete;
    HoldSignals& operator=(const HoldSignals&) = delete;

private:
    sigset_t mBefore;
    bool mHeld = false;
};

// Creates the file `name` exclusively, never through a link, and notes it on the register with
// signals held; -1 (errno set) when it cannot be created or noted (it is then removed again).
int CreateNoted(const std::string& name) {
    HoldSignals hold;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (!Remember(name)) {
        ::close(fd);
        ::unlink(name.c_str());
        oxa_alloc::NoteFailure();
        errno = ENOMEM;
        return -1;
    }
    return fd;
}

// The error number that says why a write to the file `fd` failed: `error` when it is one a write
// gives, else what the file and its device show (the size limit reached, no space left); 0 when
// nothing tells.
int WriteFailureReason(int fd, int error) {
    switch (error) {
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
        case EIO:
        case EROFS:
        case EACCES:
        case EPERM:
            return error;
        default:
            break;
    }
    struct stat info {};
    struct rlimit limit {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY && (rlim_t)info.st_size >= limit.rlim_cur)
        return EFBIG;
    struct statvfs device {};
    if (fd >= 0 && ::fstatvfs(fd, &device) == 0 && device.f_bavail == 0) return ENOSPC;
    return 0;
}

}  // namespace

void VForgetTemporary(const std::string& temporaryPath) {
    std::lock_guard<std::mutex> hold(RegisterLock());
    for (RegisterBlock* block = &gFirstBlock; block; block = block->next.load())
        for (std::atomic<char*>& slot : block->slots) {
            char* path = slot.load();
            if (!path || temporaryPath != path) continue;
            slot.store(nullptr);
            if (!gRemoving.load()) std::free(path);
            return;
        }
}

void VRemoveTemporaries() {
    gRemoving.store(true);
    for (RegisterBlock* block = &gFirstBlock; block; block = block->next.load())
        for (std::atomic<char*>& slot : block->slots)
            if (const char* path = slot.load()) ::unlink(path);
    // Paths taken off from now on may be freed again: nothing reads them any more.
    gRemoving.store(false);
}

std::FILE* VCreateTemporaryFor(const std::string& target, std::string& temporaryPath, bool binary) {
    temporaryPath.clear();
    if (target.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    const std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < kNameTries; ++attempt) {
        const std::string name = UniqueName(folder);
        // O_EXCL: a file or link already at the name is never opened, followed or changed.
        const int fd = CreateNoted(name);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        // A file put in place of another keeps its owner where the process may give it (as root),
        // and its permissions.
        struct stat old {};
        if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
                // Not allowed: the file becomes the process's own, as any file it makes.
            }
            ::fchmod(fd, old.st_mode & 0777);
        }
        std::FILE* stream = ::fdopen(fd, binary ? "wb" : "w");
        if (!stream) {
            const int error = errno;
            if (error == ENOMEM) oxa_alloc::NoteFailure();
            ::close(fd);
            ::unlink(name.c_str());
            VForgetTemporary(name);
            errno = error;
            return nullptr;
        }
        // Without room to note the temporary it goes at once (counted as memory run out): no
        // file is left behind that nobody knows of.
        try {
            temporaryPath = name;
            if (tCurrentGroup) tCurrentGroup->mMade.push_back(name);  // removed if the run fails
        } catch (const std::bad_alloc&) {
            std::fclose(stream);
            ::unlink(name.c_str());
            VForgetTemporary(name);
            temporaryPath.clear();
            oxa_alloc::NoteFailure();
            errno = ENOMEM;
            return nullptr;
        }
        return stream;
    }
    errno = EEXIST;
    return nullptr;
}

namespace {

// Removes a temporary file of the safe-output code.
void RemoveTemporary(const std::string& path) {
    ::unlink(path.c_str());
    VForgetTemporary(path);
}

}  // namespace

VSafeOutputFile::~VSafeOutputFile() {
    Abandon();
}

bool VSafeOutputFile::Open(const char* path, bool binary) {
    Abandon();
    if (!path || !*path) return false;
    mStream = VCreateTemporaryFor(path, mTempPath, binary);
    if (!mStream) {
        if (tCurrentGroup) tCurrentGroup->NoteWriteFailure(path, errno);
        return false;
    }
    mPath = path;
    mFailed = false;
    mErrno = 0;
    return true;
}

void VSafeOutputFile::NoteFailure(int error) {
    mFailed = true;
    if (mErrno) return;
    mErrno = WriteFailureReason(mStream ? ::fileno(mStream) : -1, error);
    if (tCurrentGroup && !mPath.empty()) tCurrentGroup->NoteWriteFailure(mPath, mErrno);
}

bool VSafeOutputFile::Write(const void* data, size_t size) {
    if (!mStream) {
        mFailed = true;
        return false;
    }
    if (size && std::fwrite(data, 1, size, mStream) != size) {
        NoteFailure(errno);
        return false;
    }
    return true;
}

bool VSafeOutputFile::WriteText(const char* text) {
    return Write(text, text ? std::strlen(text) : 0);
}

bool VSafeOutputFile::CheckStream() {
    if (!mStream || std::ferror(mStream)) NoteFailure(errno);
    return !mFailed;
}

void VSafeOutputFile::RemoveOwnTemporary() {
    RemoveTemporary(mTempPath);
    // The groups it was made under need not remove the name again (by then another file may
    // have it).
    for (VSafeOutputGroup* group = tCurrentGroup; group; group = group->mOuter) {
        auto& made = group->mMade;
        made.erase(std::remove(made.begin(), made.end(), mTempPath), made.end());
    }
}

bool VSafeOutputFile::Commit() {
    if (!mStream) return false;
    if (mFailed || std::ferror(mStream)) NoteFailure(errno);
    if (std::fflush(mStream) != 0) NoteFailure(errno);
    const bool closed = std::fclose(mStream) == 0;
    const int closeErrno = errno;
    mStream = nullptr;
    if (!closed) NoteFailure(closeErrno);
    bool ok = !mFailed;
    if (ok && tCurrentGroup) {
        // A group without room for the file's entry cannot put it in place: the file is given
        // up, counted as memory run out.
        try {
            tCurrentGroup->Add(mTempPath, mPath);
        } catch (const std::bad_alloc&) {
            oxa_alloc::NoteFailure();
            RemoveOwnTemporary();
            ok = false;
        }
    } else if (ok && std::rename(mTempPath.c_str(), mPath.c_str()) == 0) {
        // rename replaces the target in one step, so readers see the old file or the new one.
        VForgetTemporary(mTempPath);
    } else {
        RemoveOwnTemporary();
        ok = false;
    }
    mPath.clear();
    mTempPath.clear();
    mFailed = false;
    mErrno = 0;
    return ok;
}

void VSafeOutputFile::Abandon() {
    if (mStream) {
        // A writer that saw its stream fail gives up the file: the reason is kept for the run.
        if (std::ferror(mStream)) NoteFailure(errno);
        std::fclose(mStream);
        mStream = nullptr;
        RemoveOwnTemporary();
    }
    mPath.clear();
    mTempPath.clear();
    mFailed = false;
    mErrno = 0;
}

// ---- groups ----

VSafeOutputGroup::VSafeOutputGroup() : mOuter(tCurrentGroup) {
    tCurrentGroup = this;
}

VSafeOutputGroup::~VSafeOutputGroup() {
    Abandon();
    // Why a file of a nested group failed is the run's reason too.
    if (mOuter && !mWriteFailedPath.empty()) mOuter->NoteWriteFailure(mWriteFailedPath, mWriteFailedErrno);
    // Groups end in the reverse order of their start; the outer one is current again.
    if (tCurrentGroup == this) tCurrentGroup = mOuter;
}

VSafeOutputGroup* VSafeOutputGroup::Current() {
    return tCurrentGroup;
}

void VSafeOutputGroup::Add(const std::string& temporary, const std::string& target) {
    mEntries.push_back({temporary, target});
}

void VSafeOutputGroup::NoteWriteFailure(const std::string& target, int error) {
    if (!mWriteFailedPath.empty()) return;
    mWriteFailedPath = target;
    mWriteFailedErrno = error;
}

std::vector<std::string> VSafeOutputGroup::Targets() const {
    std::vector<std::string> targets;
    for (const Entry& entry : mEntries)
        targets.push_back(entry.target);
    return targets;
}

void VSafeOutputGroup::Abandon() {
    // Every temporary file made meanwhile goes, also one still open (its writer was stopped by an
    // allocation failure, say) or one given up already.
    for (const Entry& entry : mEntries)
        RemoveTemporary(entry.temporary);
    for (const std::string& made : mMade)
        RemoveTemporary(made);
    mEntries.clear();
    mMade.clear();
}

bool VSafeOutputGroup::Commit() {
    mFailedPath.clear();
    mFailedErrno = 0;
    // Memory that runs out before the first rename gives every file up (counted as that): the
    // files that were there stay as they were.
    if (mOuter) {
        try {
            for (const Entry& entry : mEntries)
                mOuter->Add(entry.temporary, entry.target);
            if (!mWriteFailedPath.empty()) mOuter->NoteWriteFailure(mWriteFailedPath, mWriteFailedErrno);
            mOuter->mMade.insert(mOuter->mMade.end(), mMade.begin(), mMade.end());
        } catch (const std::bad_alloc&) {
            oxa_alloc::NoteFailure();
            Abandon();
            return false;
        }
        mEntries.clear();
        mMade.clear();
        return true;
    }
    // The temporaries not handed to the group were removed by their files.
    mMade.clear();
    auto fail = [this](const std::string& path, int error) {
        mFailedErrno = error;
        try {
            mFailedPath = path;
        } catch (const std::bad_alloc&) {
            mFailedPath.clear();  // the reason stays without the name
        }
    };
    // A folder at a target cannot be replaced: found before anything changes.
    for (const Entry& entry : mEntries) {
        struct stat info {};
        if (::lstat(entry.target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            fail(entry.target, EISDIR);
            Abandon();
            return false;
        }
    }
    // Each file (or link) already at a target keeps a second name until every rename is done, so
    // that a failure halfway can give it back.
    std::vector<std::string> backups;
    std::vector<bool> existed;
    try {
        backups.resize(mEntries.size());
        existed.assign(mEntries.size(), false);
        for (size_t k = 0; k < mEntries.size(); ++k) {
            struct stat info {};
            if (::lstat(mEntries[k].target.c_str(), &info) != 0) continue;
            existed[k] = true;
            const std::string folder = FolderOf(mEntries[k].target);
            for (int attempt = 0; attempt < kNameTries; ++attempt) {
                std::string name = UniqueName(folder);
                if (::link(mEntries[k].target.c_str(), name.c_str()) == 0) {
                    backups[k] = std::move(name);
                    break;
                }
                if (errno != EEXIST) break;
            }
        }
    } catch (const std::bad_alloc&) {
        for (const std::string& backup : backups)
            if (!backup.empty()) ::unlink(backup.c_str());
        oxa_alloc::NoteFailure();
        Abandon();
        return false;
    }
    size_t done = 0;
    for (; done < mEntries.size(); ++done) {
        if (std::rename(mEntries[done].temporary.c_str(), mEntries[done].target.c_str()) != 0) {
            fail(mEntries[done].target, errno);
            break;
        }
        VForgetTemporary(mEntries[done].temporary);
    }
    const bool ok = done == mEntries.size();
    if (!ok) {
        for (size_t k = done; k-- > 0;) {
            if (!backups[k].empty()) {
                if (std::rename(backups[k].c_str(), mEntries[k].target.c_str()) == 0) backups[k].clear();
            } else if (!existed[k]) {
                ::unlink(mEntries[k].target.c_str());
            }
        }
        for (size_t k = done; k < mEntries.size(); ++k)
            RemoveTemporary(mEntries[k].temporary);
    }
    for (const std::string& backup : backups)
        if (!backup.empty()) ::unlink(backup.c_str());
    mEntries.clear();
    return ok;
}
