#include "oxa_codec/voxa_output.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <new>

#include "base/vallocation_hook.h"
#include "oxa_codec/voxa_format.h"

void VOxaOutput::Reset(std::FILE* file) {
    mSize = 0;
    mBase = 0;
    mFile = file;
    mFailed = false;
}

void VOxaOutput::Release() {
    mData.reset();
    mSize = 0;
    mCapacity = 0;
    mBase = 0;
    mFile = nullptr;
}

void VOxaOutput::MakeRoom(size_t count) {
    if (mFailed) return;
    if (mFile && mSize > 0) {
        Flush();
        if (mFailed || mCapacity - mSize >= count) return;
    }
    size_t wanted = std::max(mSize + count, mFile ? kBlockSize : std::max<size_t>(mCapacity * 2, 4096));
    std::unique_ptr<char[]> larger(oxa_alloc::Counted(new (std::nothrow) char[wanted]));
    if (!larger) {
        mFailed = true;
        return;
    }
    if (mSize) std::memcpy(larger.get(), mData.get(), mSize);
    mData.swap(larger);
    mCapacity = wanted;
}

bool VOxaOutput::Flush() {
    if (!mFile || mFailed) return !mFailed;
    if (mSize && std::fwrite(mData.get(), 1, mSize, mFile) != mSize) mFailed = true;
    mBase += mSize;
    mSize = 0;
    return !mFailed;
}

void VOxaOutput::AppendRepeat(size_t count, char c) {
    char run[16];
    std::memset(run, c, sizeof run);
    while (count > 0) {
        size_t n = std::min(count, sizeof run);
        Append(run, n);
        count -= n;
    }
}

void VOxaOutput::AppendU32(uint32_t value) {
    char b[4];
    for (int k = 0; k < 4; ++k)
        b[k] = (char)((value >> (8 * k)) & 0xFF);
    Append(b, 4);
}

void VOxaOutput::AppendU64(uint64_t value) {
    char b[8];
    for (int k = 0; k < 8; ++k)
        b[k] = (char)((value >> (8 * k)) & 0xFF);
    Append(b, 8);
}

void VOxaOutput::AppendInt64(int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Append(buffer, (size_t)(result.ptr - buffer));
}

void VOxaOutput::AppendFloat(float value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Append(buffer, (size_t)(result.ptr - buffer));
}

void VOxaOutput::AppendDouble(double value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    Append(buffer, (size_t)(result.ptr - buffer));
}

void VOxaOutput::AppendQuoted(std::string_view text) {
    mScratch.clear();
    voxa_format::AppendQuoted(mScratch, text);
    Append(mScratch);
}

void VOxaOutput::PatchU32(uint64_t pos, uint32_t value) {
    char b[4];
    for (int k = 0; k < 4; ++k)
        b[k] = (char)((value >> (8 * k)) & 0xFF);
    Patch(pos, b, 4);
}

void VOxaOutput::PatchU64(uint64_t pos, uint64_t value) {
    char b[8];
    for (int k = 0; k < 8; ++k)
        b[k] = (char)((value >> (8 * k)) & 0xFF);
    Patch(pos, b, 8);
}

void VOxaOutput::Patch(uint64_t pos, const char* bytes, size_t count) {
    if (mFailed) return;
    // The part at or after mBase is still in the block.
    while (count > 0 && pos + count > mBase) {
        --count;
        uint64_t at = pos + count;
        if (at - mBase < mSize) mData[at - mBase] = bytes[count];
    }
    if (count == 0) return;
    // The rest was handed to the file already: write it there and come back to the end.
    if (!mFile || pos > (uint64_t)LONG_MAX || std::fseek(mFile, (long)pos, SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, count, mFile) != count || std::fseek(mFile, 0, SEEK_END) != 0)
        mFailed = true;
}
