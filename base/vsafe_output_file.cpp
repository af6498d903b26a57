#include "base/vsafe_output_file.h"

#include <cstring>

VSafeOutputFile::~VSafeOutputFile() {
    Abandon();
}

bool VSafeOutputFile::Open(const char* path, bool binary) {
    Abandon();
    if (!path || !*path) return false;
    mPath = path;
    mTempPath = mPath + ".tmp";
    mFailed = false;
    mStream = std::fopen(mTempPath.c_str(), binary ? "wb" : "w");
    if (!mStream) {
        mPath.clear();
        mTempPath.clear();
        return false;
    }
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
    // rename replaces the target in one step, so readers see the old file or the new one.
    if (!ok || std::rename(mTempPath.c_str(), mPath.c_str()) != 0) {
        std::remove(mTempPath.c_str());
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
        std::remove(mTempPath.c_str());
    }
    mPath.clear();
    mTempPath.clear();
    mFailed = false;
}
