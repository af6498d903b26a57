#include "base/vsafe_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

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

}  // namespace

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
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        std::FILE* stream = ::fdopen(fd, binary ? "wb" : "w");
        if (!stream) {
            const int error = errno;
            ::close(fd);
            ::unlink(name.c_str());
            errno = error;
            return nullptr;
        }
        temporaryPath = name;
        if (tCurrentGroup) tCurrentGroup->mMade.push_back(name);  // removed if the run fails
        return stream;
    }
    errno = EEXIST;
    return nullptr;
}

VSafeOutputFile::~VSafeOutputFile() {
    Abandon();
}

bool VSafeOutputFile::Open(const char* path, bool binary) {
    Abandon();
    if (!path || !*path) return false;
    mStream = VCreateTemporaryFor(path, mTempPath, binary);
    if (!mStream) return false;
    mPath = path;
    mFailed = false;
    return true;
}

bool VSafeOutputFile::Write(const void* data, size_t size) {
    if (!mStream) {
        mFailed = true;
        return false;
    }
    if (size && std::fwrite(data, 1, size, mStream) != size) {
        mFailed = true;
        return false;
    }
    return true;
}

bool VSafeOutputFile::WriteText(const char* text) {
    return Write(text, text ? std::strlen(text) : 0);
}

bool VSafeOutputFile::CheckStream() {
    if (!mStream || std::ferror(mStream)) mFailed = true;
    return !mFailed;
}

bool VSafeOutputFile::Commit() {
    if (!mStream) return false;
    bool ok = !mFailed && !std::ferror(mStream);
    ok = std::fflush(mStream) == 0 && ok;
    ok = std::fclose(mStream) == 0 && ok;
    mStream = nullptr;
    if (ok && tCurrentGroup) {
        tCurrentGroup->Add(mTempPath, mPath);
    } else if (!ok || std::rename(mTempPath.c_str(), mPath.c_str()) != 0) {
        // rename replaces the target in one step, so readers see the old file or the new one.
        ::unlink(mTempPath.c_str());
        ok = false;
    }
    mPath.clear();
    mTempPath.clear();
    mFailed = false;
    return ok;
}

void VSafeOutputFile::Abandon() {
    if (mStream) {
        std::fclose(mStream);
        mStream = nullptr;
        ::unlink(mTempPath.c_str());
    }
    mPath.clear();
    mTempPath.clear();
    mFailed = false;
}

// ---- groups ----

VSafeOutputGroup::VSafeOutputGroup() : mOuter(tCurrentGroup) {
    tCurrentGroup = this;
}

VSafeOutputGroup::~VSafeOutputGroup() {
    Abandon();
    // Groups end in the reverse order of their start; the outer one is current again.
    if (tCurrentGroup == this) tCurrentGroup = mOuter;
}

VSafeOutputGroup* VSafeOutputGroup::Current() {
    return tCurrentGroup;
}

void VSafeOutputGroup::Add(const std::string& temporary, const std::string& target) {
    mEntries.push_back({temporary, target});
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
        ::unlink(entry.temporary.c_str());
    for (const std::string& made : mMade)
        ::unlink(made.c_str());
    mEntries.clear();
    mMade.clear();
}

bool VSafeOutputGroup::Commit() {
    mFailedPath.clear();
    mFailedErrno = 0;
    if (mOuter) {
        for (const Entry& entry : mEntries)
            mOuter->Add(entry.temporary, entry.target);
        mOuter->mMade.insert(mOuter->mMade.end(), mMade.begin(), mMade.end());
        mEntries.clear();
        mMade.clear();
        return true;
    }
    // The temporaries not handed to the group were removed by their files.
    mMade.clear();
    auto fail = [this](const std::string& path, int error) {
        mFailedPath = path;
        mFailedErrno = error;
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
    std::vector<std::string> backups(mEntries.size());
    std::vector<bool> existed(mEntries.size(), false);
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
    size_t done = 0;
    for (; done < mEntries.size(); ++done)
        if (std::rename(mEntries[done].temporary.c_str(), mEntries[done].target.c_str()) != 0) {
            fail(mEntries[done].target, errno);
            break;
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
            ::unlink(mEntries[k].temporary.c_str());
    }
    for (const std::string& backup : backups)
        if (!backup.empty()) ::unlink(backup.c_str());
    mEntries.clear();
    return ok;
}
