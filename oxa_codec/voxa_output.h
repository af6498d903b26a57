#ifndef OXA_OXA_CODEC_VOXA_OUTPUT_H
#define OXA_OXA_CODEC_VOXA_OUTPUT_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

// The byte sink of the field-file writer. In memory it keeps every byte; bound to a file it
// keeps at most about one block and hands full blocks to the file, so writing a large file
// neither holds it whole nor copies it while growing. Lengths that are only known later are
// patched in place, in the block or, once handed on, in the file.
//
// A failing file write is remembered (Failed) and later writes are dropped.
class OXA_API VOxaOutput {
public:
    static constexpr size_t kBlockSize = 1 << 20;

    // Memory output when `file` is null; else every byte goes to `file`, which must be empty
    // and open for writing, seekable.
    void Reset(std::FILE* file);

    // Absolute position of the next byte.
    uint64_t Position() const { return mBase + mSize; }
    bool Failed() const { return mFailed; }

    void Append(const char* bytes, size_t count) {
        if (mCapacity - mSize < count) MakeRoom(count);
        if (mCapacity - mSize < count) return;
        std::memcpy(mData.get() + mSize, bytes, count);
        mSize += count;
    }
    void Append(std::string_view text) { Append(text.data(), text.size()); }
    void Append(char c) { Append(&c, 1); }
    // A type letter and a 64-bit little-endian payload, the commonest binary value.
    void AppendTagged64(char tag, uint64_t value) {
        if (mCapacity - mSize < 9) MakeRoom(9);
        if (mCapacity - mSize < 9) return;
        char* out = mData.get() + mSize;
        out[0] = tag;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(out + 1, &value, 8);
#else
        for (int k = 0; k < 8; ++k)
            out[1 + k] = (char)((value >> (8 * k)) & 0xFF);
#endif
        mSize += 9;
    }
    void AppendRepeat(size_t count, char c);
    void AppendU32(uint32_t value);
    void AppendU64(uint64_t value);
    void AppendInt64(int64_t value);
    void AppendFloat(float value);
    void AppendDouble(double value);
    void AppendQuoted(std::string_view text);

    // Replace bytes written earlier at absolute position `pos`.
    void PatchU32(uint64_t pos, uint32_t value);
    void PatchU64(uint64_t pos, uint64_t value);
    void Patch(uint64_t pos, const char* bytes, size_t count);

    // Hands the kept bytes to the file (no effect in memory). False once a write failed.
    bool Flush();

    // Memory output: every byte written so far.
    const char* Data() const {
        return mData ? mData.get() : "";
    }
    size_t Size() const {
        return mSize;
    }
    // Frees the memory.
    void Release();

private:
    void MakeRoom(size_t count);

    std::unique_ptr<char[]> mData;
    size_t mSize = 0;
    size_t mCapacity = 0;
    uint64_t mBase = 0;  // absolute position of mData[0]
    std::FILE* mFile = nullptr;
    bool mFailed = false;
    std::string mScratch;
};

#endif  // OXA_OXA_CODEC_VOXA_OUTPUT_H
