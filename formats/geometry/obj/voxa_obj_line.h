// Physical lines of a text file read in large blocks: a line ends at "\n", "\r\n" or "\r", and
// may be of any length. The last line is answered even without a line end.
#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_LINE_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_LINE_H

#include <oxa/base/oxa_export.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace voxa_obj {

class OXA_API VLineSource {
public:
    // Blocks of `blockSize` bytes, fewer when the file is known to be smaller.
    explicit VLineSource(std::FILE* file, size_t blockSize = 1 << 20) : mFile(file) {
        long here = file ? std::ftell(file) : -1;
        if (here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
            long size = std::ftell(file);
            std::fseek(file, here, SEEK_SET);
            if (size >= here && (size_t)(size - here) + 1 < blockSize)
                blockSize = std::max<size_t>((size_t)(size - here) + 1, 256);
        }
        mBlock.resize(blockSize);
    }

    // The next line without its end; the view stays valid until the next call. False at the end.
    bool Next(std::string_view& line) {
        mCarry.clear();
        bool carrying = false;
        for (;;) {
            if (mPos >= mLen && !Fill()) {
                if (!carrying) return false;
                line = mCarry;
                ++mLineNumber;
                return true;
            }
            if (mSkipLF) {
                mSkipLF = false;
                if (mBlock[mPos] == '\n' && ++mPos >= mLen) continue;
            }
            const char* start = mBlock.data() + mPos;
            const char* end = mBlock.data() + mLen;
            // memchr scans in wide steps; a lone '\r' also ends a line.
            const char* nl = static_cast<const char*>(std::memchr(start, '\n', (size_t)(end - start)));
            const char* limit = nl ? nl : end;
            const char* cr = static_cast<const char*>(std::memchr(start, '\r', (size_t)(limit - start)));
            const char* p = cr ? cr : limit;
            if (p < end) {
                mSkipLF = *p == '\r';
                mPos = (size_t)(p - mBlock.data()) + 1;
                if (!carrying) {
                    line = std::string_view(start, (size_t)(p - start));
                } else {
                    mCarry.append(start, (size_t)(p - start));
                    line = mCarry;
                }
                ++mLineNumber;
                return true;
            }
            // The line goes on in the next block.
            mCarry.append(start, (size_t)(end - start));
            carrying = true;
            mPos = mLen;
        }
    }

    // The first bytes of the file without consuming them (for a byte-order mark); fewer when the
    // file is shorter.
    std::string_view Peek(size_t count) {
        if (mPos >= mLen) Fill();
        return std::string_view(mBlock.data() + mPos, std::min(count, mLen - mPos));
    }
    void Skip(size_t count) { mPos = std::min(mLen, mPos + count); }
    bool Failed() const { return mFailed; }
    // The number of the line Next answered last, counting from 1; 0 before the first.
    long long LineNumber() const { return mLineNumber; }

private:
    bool Fill() {
        if (mFile == nullptr || mEnd) return false;
        mPos = 0;
        mLen = std::fread(mBlock.data(), 1, mBlock.size(), mFile);
        if (mLen == 0) {
            mEnd = true;
            mFailed = std::ferror(mFile) != 0;
            return false;
        }
        return true;
    }

    std::FILE* mFile;
    std::vector<char> mBlock;
    size_t mPos = 0;
    size_t mLen = 0;
    bool mEnd = false;
    bool mFailed = false;
    bool mSkipLF = false;  // the last line ended in '\r': a '\n' right after belongs to it
    long long mLineNumber = 0;
    std::string mCarry;
};

}  // namespace voxa_obj

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_LINE_H
