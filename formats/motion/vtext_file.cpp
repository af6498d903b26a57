#include "formats/motion/vtext_file.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "base/vnumber_text.h"
#include "base/vprintable_text.h"

namespace {

constexpr size_t kInputBlock = 1 << 16;
constexpr size_t kOutputBlock = 1 << 16;
// The first two enlargements of the line buffer keep their historic size, so a 30,000-character
// line leaves the buffer at 10240 + 2 x 10239 bytes; later ones grow by half, so that one very long
// line costs linear time instead of quadratic.
constexpr uint32_t kGrowStep = 10239;
constexpr uint32_t kMaxBufferSize = 0x7FFFFFF0u;

inline char Lower(char c) {
    return (char)std::tolower((unsigned char)c);
}

}  // namespace

VTextFile::VTextFile(const char* name, const char* separators, const char* commentChars,
                     bool caseSensitiveInf, bool diagnostics)
    : mDiagnostics(diagnostics),
      mCaseSensitiveInf(caseSensitiveInf),
      mSeparators(separators ? separators : ""),
      mDelimiters(mSeparators),
      mCommentChars(commentChars ? commentChars : ""),
      mName(name ? name : "") {
    BuildTable(mSeparatorTable, mSeparators);
    BuildTable(mDelimiterTable, mDelimiters);
    BuildTable(mCommentTable, mCommentChars);
    BuildLeadingSet();
    mBufferSize = kInitialBufferSize;
    mLine = oxa_alloc::Counted((char*)std::malloc(mBufferSize));
    if (!mLine) {
        static char empty[1] = {0};
        mLine = empty;
        mBufferSize = 0;
    }
    mLine[0] = 0;
    mCursor = mLine;
}

VTextFile::~VTextFile() {
    Close();
    if (mBufferSize) std::free(mLine);
    mLine = nullptr;
    mCursor = nullptr;
    mBufferSize = 0;
    std::free(mInput);
    std::free(mOutBuffer);
}

void VTextFile::BuildTable(bool* table, const char* set) {
    std::memset(table, 0, 256 * sizeof(bool));
    for (const char* p = set; p && *p; ++p)
        table[(unsigned char)Lower(*p)] = true;
}

void VTextFile::BuildLeadingSet() {
    // The separator table holds the set's characters in lower case; so does this string, each once.
    size_t n = 0;
    mLeadingSet[0] = 0;
    for (const char* p = mSeparators; *p && n + 1 < sizeof mLeadingSet; ++p) {
        const char c = Lower(*p);
        if (c && !mCommentTable[(unsigned char)c] && !std::memchr(mLeadingSet, c, n)) {
            mLeadingSet[n++] = c;
            mLeadingSet[n] = 0;
        }
    }
}

void VTextFile::EmptyLine() {
    if (mBufferSize) mLine[0] = 0;
    mCursor = mLine;
}

// ---- opening and lines ----

bool VTextFile::Open(const char* path, const char* mode) {
    Close();
    mLineNumber = 0;
    mFailure = "";
    if (!path || !mode) {
        mAtEnd = true;
        return false;
    }
    if (std::strchr(mode, 'w') || std::strchr(mode, 'a')) {
        // Appending would need the old contents in the temporary file; the formats only create.
        mWriteFailed = false;
        mUnwritable = "";
        mSubjectNode = nullptr;
        mSubjectFrame = 0;
        mOutLen = 0;
        if (!mOutBuffer) mOutBuffer = oxa_alloc::Counted((char*)std::malloc(kOutputBlock));
        if (!mOutBuffer || !mOutput.Open(path, std::strchr(mode, 'b') != nullptr)) {
            mAtEnd = true;
            return false;
        }
        mAtEnd = false;
        return true;
    }
    mFile = std::fopen(path, mode);
    if (!mFile) {
        mAtEnd = true;
        return false;
    }
    if (!mInput) mInput = oxa_alloc::Counted((char*)std::malloc(kInputBlock));
    if (!mInput) {
        std::fclose(mFile);
        mFile = nullptr;
        mAtEnd = true;
        return false;
    }
    mAtEnd = false;
    Rewind();
    return true;
}

bool VTextFile::Close() {
    bool ok = false;
    if (mFile) {
        ok = std::fclose(mFile) == 0;
        mFile = nullptr;
    } else if (mOutput.IsOpen()) {
        ok = FlushOutput();
        if (mWriteFailed) mOutput.MarkFailed();
        ok = mOutput.Commit() && ok;
    }
    mInputPos = mInputLen = 0;
    mInputEof = false;
    mAfterCr = false;
    mOutLen = 0;
    mLineNumber = 0;
    mAtEnd = true;
    EmptyLine();
    return ok;
}

void VTextFile::Discard() {
    mOutLen = 0;
    mOutput.Abandon();
    Close();
}

bool VTextFile::Rewind() {
    if (!mFile || std::fseek(mFile, 0, SEEK_SET) != 0) return false;
    std::clearerr(mFile);
    mInputStart = 0;
    mInputPos = mInputLen = 0;
    mInputEof = false;
    mAfterCr = false;
    mAtEnd = false;
    // A UTF-8 byte-order mark (which some editors put first) is no part of the first line.
    if (FillInput() && mInputLen >= 3 && std::memcmp(mInput, "\xEF\xBB\xBF", 3) == 0) mInputPos = 3;
    // Line numbers count from the start of the file again, so that messages say where.
    mLineNumber = 0;
    ReadNextLine();
    return true;
}

bool VTextFile::FillInput() {
    if (mInputEof || !mFile) return false;
    mInputStart += (int64_t)mInputLen;
    mInputLen = std::fread(mInput, 1, kInputBlock, mFile);
    mInputPos = 0;
    if (mInputLen == 0) {
        mInputEof = true;
        return false;
    }
    return true;
}

bool VTextFile::GetLine(char* out, uint32_t room) {
    if (room < 1 || !mFile) return false;
    uint32_t stored = 0;
    bool any = false;
    while (stored + 1 < room) {
        if (mInputPos >= mInputLen && !FillInput()) break;
        // The newline of a CR LF pair whose CR ended the line before.
        if (mAfterCr) {
            mAfterCr = false;
            if (mInput[mInputPos] == '\n') {
                ++mInputPos;
                continue;
            }
        }
        const char* start = mInput + mInputPos;
        size_t available = mInputLen - mInputPos;
        size_t want = room - 1 - stored;
        if (available > want) available = want;
        const char* newline = (const char*)std::memchr(start, '\n', available);
        if (mCrEndsLines) {
            // A carriage return ends the line as a newline does; the newline after it is no line.
            const size_t before = newline ? (size_t)(newline - start) : available;
            if (const char* cr = (const char*)std::memchr(start, '\r', before)) {
                newline = cr;
                mAfterCr = true;
            }
        }
        const size_t take = newline ? (size_t)(newline - start) + 1 : available;
        std::memcpy(out + stored, start, take);
        stored += (uint32_t)take;
        mInputPos += take;
        any = any || take > 0;
        if (newline) break;
    }
    if (!any) return false;
    out[stored] = 0;
    return true;
}

bool VTextFile::ReadRawLine(uint32_t offset) {
    if (!mBufferSize || offset >= mBufferSize) return false;
    if (!GetLine(mLine + offset, mBufferSize - offset)) return false;
    for (;;) {
        const size_t length = std::strlen(mLine);
        mRawLength = length;
        if (length + 1 < mBufferSize ||
            (length && (mLine[length - 1] == '\n' || (mCrEndsLines && mLine[length - 1] == '\r'))))
            return true;
        // The buffer is full without a line end: enlarge it and read on over the old terminator.
        const uint32_t oldSize = mBufferSize;
        const uint32_t oldGrowths = (oldSize - kInitialBufferSize) / kGrowStep;
        uint32_t grow =
            oldGrowths < 2 && (oldSize - kInitialBufferSize) % kGrowStep == 0 ? kGrowStep : oldSize / 2;
        if (oldSize >= kMaxBufferSize) return true;  // keep what fits; the rest reads as a new line
        if (grow > kMaxBufferSize - oldSize) grow = kMaxBufferSize - oldSize;
        // Without room the line is kept cut, the failure counted so that the read says so.
        char* larger = oxa_alloc::Counted((char*)std::realloc(mLine, (size_t)oldSize + grow));
        if (!larger) return true;
        mLine = larger;
        mCursor = mLine;
        mBufferSize = oldSize + grow;
        if (!GetLine(mLine + oldSize - 1, mBufferSize - (oldSize - 1))) return false;
    }
}

bool VTextFile::ReadNextLine() {
    mSkippedLines = false;
    bool first = true;
    for (;;) {
        if (!ReadRawLine(0)) {
            mAtEnd = true;
            EmptyLine();
            return false;
        }
        if (!first) mSkippedLines = true;
        first = false;
        ++mLineNumber;
        mCursor = mLine;
        // The first character that is no separator, in one call rather than a test per character
        // (lines are often indented deeply); a blank line or a comment line is skipped.
        char* p = mLine + std::strspn(mLine, mLeadingSet);
        const unsigned char c = (unsigned char)*p;
        if (c == 0 || mCommentTable[c]) continue;
        // The line end goes: the newline and the carriage returns before it.
        size_t length = mRawLength;
        mLineEnded = length && (mLine[length - 1] == '\n' || (mCrEndsLines && mLine[length - 1] == '\r'));
        if (length && mLine[length - 1] == '\n') mLine[--length] = 0;
        while (length && mLine[length - 1] == '\r')
            mLine[--length] = 0;
        mCursor = p;
        return true;
    }
}

VTextFile::Position VTextFile::Tell() const {
    Position position;
    if (!mFile) return position;
    position.offset = mInputStart + (int64_t)mInputPos;
    position.line = mLineNumber;
    position.afterCr = mAfterCr;
    return position;
}

bool VTextFile::Seek(const Position& position) {
    if (!mFile || position.offset < 0 || fseeko(mFile, (off_t)position.offset, SEEK_SET) != 0) return false;
    std::clearerr(mFile);
    mInputStart = position.offset;
    mInputPos = mInputLen = 0;
    mInputEof = false;
    mAfterCr = position.afterCr;
    mAtEnd = false;
    mLineNumber = position.line;
    return true;
}

const char* VTextFile::SetSeparators(const char* set) {
    const char* previous = mSeparators;
    mSeparators = set ? set : "";
    BuildTable(mSeparatorTable, mSeparators);
    BuildLeadingSet();
    return previous;
}

const char* VTextFile::SetDelimiters(const char* set) {
    const char* previous = mDelimiters;
    mDelimiters = set ? set : "";
    BuildTable(mDelimiterTable, mDelimiters);
    return previous;
}

bool VTextFile::SetCursor(const char* position) {
    if (!position || !mBufferSize || position < mLine || position > mLine + std::strlen(mLine)) return false;
    mCursor = mLine + (position - mLine);
    return true;
}

// ---- cursor and tokens ----

const char* VTextFile::SkipSeparators(const char* p) const {
    if (!p) return nullptr;
    while (*p && IsSeparator(*p))
        ++p;
    return p;
}

bool VTextFile::IsInSet(const char* set, char c) {
    for (const char* p = set; p && *p; ++p)
        if (Lower(*p) == c) return true;
    return false;
}

const char* VTextFile::MatchPrefix(const char* text, const char* word) {
    if (!text) return nullptr;
    if (!word) return text;
    for (; *word; ++word, ++text) {
        if (!*text || Lower(*text) != Lower(*word)) return nullptr;
    }
    return text;
}

int VTextFile::PeekKeyword(const Keyword* table) const {
    if (!table || !mCursor) return -1;
    for (int k = 0; table[k].word && table[k].word[0]; ++k)
        if (MatchPrefix(mCursor, table[k].word)) return k;
    return -1;
}

int VTextFile::ReadKeyword(Keyword* table) {
    if (!table || !mCursor) return -1;
    for (int k = 0; table[k].word && table[k].word[0]; ++k) {
        if (const char* after = MatchPrefix(mCursor, table[k].word)) {
            mCursor = const_cast<char*>(SkipSeparators(after));
            ++table[k].count;
            return k;
        }
    }
    return -1;
}

void VTextFile::ResetKeywordCounts(Keyword* table) {
    for (int k = 0; table && table[k].word && table[k].word[0]; ++k)
        table[k].count = 0;
}

bool VTextFile::PeekChar(char& c) const {
    if (!mCursor || !*mCursor) return false;
    c = *mCursor;
    return true;
}

bool VTextFile::ReadChar(char& c) {
    if (!PeekChar(c)) return false;
    ++mCursor;
    return true;
}

bool VTextFile::ReadToken(char* buffer, int max) {
    if (!mCursor || !*mCursor || !buffer || max < 0) return false;
    int n = 0;
    while (n < max && mCursor[n] && !mDelimiterTable[(unsigned char)mCursor[n]]) {
        buffer[n] = mCursor[n];
        ++n;
    }
    buffer[n] = 0;
    mCursor = const_cast<char*>(SkipSeparators(mCursor + n));
    return true;
}

bool VTextFile::ReadString(VString& text) {
    char buffer[1024];
    if (!ReadToken(buffer, 1023)) return false;
    text = buffer;
    return true;
}

bool VTextFile::EndsToken(const char* p) const {
    return !*p || IsSeparator(*p) || std::isspace((unsigned char)*p);
}

bool VTextFile::ReadInt(int& value) {
    if (!mCursor || !*mCursor) return false;
    const char* begin = mCursor;
    while (*begin && std::isspace((unsigned char)*begin))
        ++begin;
    const char* end = begin;
    while (!EndsToken(end))
        ++end;
    int parsed = 0;
    if (begin == end || !ParseWholeNumber(begin, end, parsed)) return false;
    value = parsed;
    mCursor = const_cast<char*>(SkipSeparators(end));
    return true;
}

bool VTextFile::ParseWholeNumber(const char* begin, const char* end, int& value) {
    if (!begin || begin > end) return false;
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (begin < end && blank(*begin))
        ++begin;
    while (end > begin && blank(end[-1]))
        --end;
    const char* p = begin;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    const char* digits = p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    if (p == digits) return false;
    const char* wholeEnd = p;
    if (p < end && *p == '.') {
        ++p;
        while (p < end && *p == '0')
            ++p;
    }
    if (p != end) return false;
    int parsed = 0;
    if (VParseInt(begin, wholeEnd, parsed) != wholeEnd) return false;
    value = parsed;
    return true;
}

bool VTextFile::ReadFrameNumber(int& value) {
    if (!mCursor) return false;
    mCursor = const_cast<char*>(SkipSeparators(mCursor));
    if (!*mCursor) return Fail("a frame number is missing");
    if (ReadInt(value)) return true;
    const char* end = mCursor;
    while (!EndsToken(end))
        ++end;
    return Fail("the frame number %.*s is not a whole number", CutLength(mCursor, (int)(end - mCursor), 40),
                mCursor);
}

bool VTextFile::RestOfLineIs(const char* word) const {
    // The word, then nothing but separators ("inf\r" of a CRLF file counts too).
    const char* p = mCursor;
    for (; *word; ++word, ++p) {
        if (!*p) return false;
        if (mCaseSensitiveInf ? *p != *word : Lower(*p) != Lower(*word)) return false;
    }
    return *SkipSeparators(p) == 0;
}

bool VTextFile::ReadDouble(double& value, double scale) {
    if (!mCursor || !*mCursor) return false;
    if (RestOfLineIs("-inf")) {
        value = -HUGE_VAL;
        mCursor = const_cast<char*>(SkipSeparators(mCursor + 4));
        return true;
    }
    if (RestOfLineIs("inf")) {
        value = HUGE_VAL;
        mCursor = const_cast<char*>(SkipSeparators(mCursor + 3));
        return true;
    }
    const char* end = mCursor + std::strlen(mCursor);
    double parsed = 0.0;
    // Infinities elsewhere on the line, and NaN anywhere, are not numbers here.
    const char* next = VParseDouble(mCursor, end, parsed, false);
    if (!next || !EndsToken(next)) return false;
    value = parsed * scale;
    mCursor = const_cast<char*>(SkipSeparators(next));
    return true;
}

bool VTextFile::ReadDoublePair(double out[2], double scale) {
    if (!mCursor || !*mCursor) return false;
    const char* p = mCursor;
    double values[2];
    for (int k = 0; k < 2; ++k) {
        const char* q = p;
        while (*q && std::isspace((unsigned char)*q))
            ++q;
        if (MatchPrefix(q, "-inf")) {
            values[k] = -HUGE_VAL;
            p = q + 4;
        } else if (MatchPrefix(q, "inf")) {
            values[k] = HUGE_VAL;
            p = q + 3;
        } else {
            double parsed = 0.0;
            const char* next = VParseDouble(p, p + std::strlen(p), parsed, false);
            if (!next) return false;
            values[k] = parsed * scale;
            p = next;
        }
        if (!EndsToken(p)) return false;
        p = SkipSeparators(p);
    }
    out[0] = values[0];
    out[1] = values[1];
    mCursor = const_cast<char*>(p);
    return true;
}

bool VTextFile::ReadVector3(double out[3], double scale) {
    if (!mCursor || !*mCursor) return false;
    const char* end = mCursor + std::strlen(mCursor);
    const char* p = mCursor;
    double values[3];
    for (int k = 0; k < 3; ++k) {
        p = VParseDouble(p, end, values[k], false);
        if (!p || !EndsToken(p)) return false;
    }
    for (int k = 0; k < 3; ++k)
        out[k] = values[k] * scale;
    mCursor = const_cast<char*>(SkipSeparators(p));
    return true;
}

bool VTextFile::AtLineEnd() const {
    return !mCursor || *SkipSeparators(mCursor) == 0;
}

// ---- diagnostics ----

bool VTextFile::Compose(Callback fn, const char* kind, const char* format, va_list args) const {
    if (!mDiagnostics || !fn) return false;
    char buffer[1024];
    int used = std::snprintf(buffer, sizeof buffer, "%s read %s (line %u): ", mName, kind, mLineNumber);
    if (used < 0) used = 0;
    if ((size_t)used < sizeof buffer)
        std::vsnprintf(buffer + used, sizeof buffer - (size_t)used, format, args);
    // A longer message is cut at the buffer's end. What the callback throws stops there.
    oxa_delivery::Call([&] { fn(buffer); });
    return true;
}

bool VTextFile::PrintDebug(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Compose(mDebugCallback, "debug", format, args);
    va_end(args);
    return false;
}

bool VTextFile::PrintWarning(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Compose(mWarningCallback, "warning", format, args);
    va_end(args);
    return false;
}

bool VTextFile::PrintError(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    Compose(mErrorCallback, "error", format, args);
    va_end(args);
    return true;
}

bool VTextFile::Fail(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) text[0] = 0;
    // A longer message is cut at the buffer's end.
    if (mLineNumber > 0) {
        char where[32];
        std::snprintf(where, sizeof where, "line %u: ", mLineNumber);
        mFailure = where;
        mFailure += text;
    } else {
        mFailure = text;
    }
    PrintError("%s", text);
    return false;
}

bool VTextFile::FailNoText() {
    if (mLineNumber == 0) return Fail("the file is empty");
    return Fail(mCommentChars[0] ? "the file holds nothing but blank and comment lines"
                                 : "the file holds nothing but blank lines");
}

VTextFile::Callback VTextFile::SetDebugCallback(Callback fn) {
    mDebugCallback = fn;
    return fn;
}

VTextFile::Callback VTextFile::SetWarningCallback(Callback fn) {
    mWarningCallback = fn;
    return fn;
}

VTextFile::Callback VTextFile::SetErrorCallback(Callback fn) {
    mErrorCallback = fn;
    return fn;
}

// ---- writing ----

bool VTextFile::FlushOutput() {
    if (!mOutLen) return !mWriteFailed;
    if (!mOutput.Write(mOutBuffer, mOutLen)) mWriteFailed = true;
    mOutLen = 0;
    return !mWriteFailed;
}

bool VTextFile::Write(const char* data, size_t size) {
    if (!mOutput.IsOpen()) {
        mWriteFailed = true;
        return false;
    }
    if (mOutLen + size > kOutputBlock) {
        FlushOutput();
        if (size > kOutputBlock) {
            if (!mOutput.Write(data, size)) mWriteFailed = true;
            return !mWriteFailed;
        }
    }
    std::memcpy(mOutBuffer + mOutLen, data, size);
    mOutLen += size;
    return !mWriteFailed;
}

bool VTextFile::WriteText(const char* text) {
    return Write(text ? text : "", text ? std::strlen(text) : 0);
}

bool VTextFile::WriteChar(char c) {
    return Write(&c, 1);
}

char* VTextFile::OutputRoom(size_t size) {
    if (!mOutput.IsOpen() || size > kOutputBlock) return nullptr;
    if (mOutLen + size > kOutputBlock) FlushOutput();
    return mOutBuffer + mOutLen;
}

// The number writers format straight into the output buffer when it has room for the longest
// text (and its terminating NUL), else through a buffer of that size.
bool VTextFile::WriteInt(long long value) {
    char buffer[32];
    if (char* out = OutputRoom(sizeof buffer)) {
        mOutLen += (size_t)VFormatInt(out, sizeof buffer, value);
        return !mWriteFailed;
    }
    const int n = VFormatInt(buffer, sizeof buffer, value);
    return Write(buffer, (size_t)n);
}

bool VTextFile::RefuseNumber(double value) {
    if (mUnwritable.IsEmpty()) {
        char text[400];
        char beyond[64];
        if (mLargest == kLargestNumber)
            std::snprintf(beyond, sizeof beyond, "a value beyond +-1e30");
        else
            std::snprintf(beyond, sizeof beyond, "a value beyond +-%g", mLargest);
        const char* what = std::isnan(value)   ? "a value that is not a number"
                           : std::isinf(value) ? "an infinite value"
                                               : beyond;
        if (mSubjectNode && mSubjectFrame > 0)
            std::snprintf(text, sizeof text, "\"%.200s\" has %s at frame %lld (%g); the file is not written.",
                          mSubjectNode, what, mSubjectFrame, value);
        else if (mSubjectNode)
            std::snprintf(text, sizeof text, "\"%.200s\" has %s (%g); the file is not written.", mSubjectNode,
                          what, value);
        else
            std::snprintf(text, sizeof text, "The scene has %s (%g); the file is not written.", what, value);
        mUnwritable = text;
    }
    mWriteFailed = true;
    return false;
}

bool VTextFile::WriteG(double value, int precision) {
    if (!Writable(value)) return RefuseNumber(value);
    char buffer[64];
    char* out = OutputRoom(sizeof buffer);
    int n = precision == kSingleDigits ? VFormatDoubleGSingle(out ? out : buffer, sizeof buffer, value)
                                       : VFormatDoubleG(out ? out : buffer, sizeof buffer, value, precision);
    if (n >= (int)sizeof buffer) n = (int)sizeof buffer - 1;
    if (!out) return Write(buffer, (size_t)n);
    mOutLen += (size_t)n;
    return !mWriteFailed;
}

bool VTextFile::WriteGs(const double* values, int count, char separator) {
    for (int k = 0; k < count; ++k)
        if (!Writable(values[k])) return RefuseNumber(values[k]);
    // A frame's numbers go in one run when the buffer has room for the longest text of each.
    if (count > 0 && (size_t)count <= kOutputBlock / kVFormatGRoom) {
        if (char* out = OutputRoom((size_t)count * kVFormatGRoom)) {
            mOutLen += (size_t)(VFormatDoublesG(out, values, count, separator, true) - out);
            return !mWriteFailed;
        }
    }
    for (int k = 0; k < count; ++k) {
        WriteG(values[k]);
        WriteChar(separator);
    }
    return !mWriteFailed;
}

bool VTextFile::WriteFixed(double value, int decimals) {
    if (!Writable(value)) return RefuseNumber(value);
    char buffer[400];
    char* out = OutputRoom(sizeof buffer);
    int n = VFormatDoubleFixed(out ? out : buffer, sizeof buffer, value, decimals);
    if (n >= (int)sizeof buffer) n = (int)sizeof buffer - 1;
    if (!out) return Write(buffer, (size_t)n);
    mOutLen += (size_t)n;
    return !mWriteFailed;
}

bool VTextFile::WriteShortest(double value) {
    if (!Writable(value)) return RefuseNumber(value);
    char buffer[32];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Write(buffer, (size_t)(result.ptr - buffer));
}

namespace {

bool FormatInto(VTextFile& file, const char* format, va_list args) {
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0) return false;
    if ((size_t)n < sizeof small) return file.Write(small, (size_t)n);
    char* large = oxa_alloc::Counted((char*)std::malloc((size_t)n + 1));
    if (!large) return false;
    std::vsnprintf(large, (size_t)n + 1, format, args);
    const bool ok = file.Write(large, (size_t)n);
    std::free(large);
    return ok;
}

}  // namespace

bool VTextFile::WriteFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool ok = FormatInto(*this, format, args);
    va_end(args);
    if (!ok) mWriteFailed = true;
    return ok && !mWriteFailed;
}

bool VTextFile::WriteIndented(int level, const char* format, ...) {
    for (int k = 0; k < level; ++k)
        Write("  ", 2);
    va_list args;
    va_start(args, format);
    const bool ok = FormatInto(*this, format, args);
    va_end(args);
    if (!ok) mWriteFailed = true;
    return ok && !mWriteFailed;
}

// ---- names ----

namespace {

std::string LowerKey(const char* text) {
    std::string key(text ? text : "");
    for (char& c : key)
        c = (char)std::tolower((unsigned char)c);
    return key;
}

}  // namespace

int VTextFile::CutLength(const char* text, int length, int maxBytes) {
    if (length <= maxBytes) return length;
    if (maxBytes <= 0) return 0;
    int cut = maxBytes;
    // A byte 10xxxxxx continues a character: the cut goes before the character's first byte.
    while (cut > 0 && ((unsigned char)text[cut] & 0xC0) == 0x80)
        --cut;
    return cut;
}

std::vector<VString> VTextFile::WritableNames(const std::vector<VString>& names, unsigned rules,
                                              const char* const* reserved, int maxBytes) {
    std::vector<VString> out;
    out.reserve(names.size());
    std::vector<bool> changed(names.size(), false);
    // The reserved words stay free: a name that equals one takes a suffix.
    std::unordered_set<std::string> words;
    for (const char* const* word = reserved; word && *word; ++word)
        words.insert(LowerKey(*word));
    std::unordered_set<std::string> taken(words);
    std::unordered_set<std::string> kept;
    for (size_t i = 0; i < names.size(); ++i) {
        VString name(names[i]);
        // An empty name would leave its field or token out.
        if (name.IsEmpty()) {
            name = "_";
            changed[i] = true;
        }
        // C1 controls and the marks that turn the direction of text go as C0 controls do.
        const std::string clean = VNameText(name.Buffer());
        if (clean != name.Buffer()) {
            name = VString(clean.c_str());
            changed[i] = true;
        }
        for (int k = 0; k < name.GetLen(); ++k) {
            const unsigned char c = (unsigned char)name[k];
            if (c < 32 || c == 127 || (c == ' ' && (rules & kBlanks)) ||
                (k == 0 && c == '#' && (rules & kLeadingHash)) ||
                ((c == '{' || c == '}') && (rules & kBraces)) ||
                (k == 0 && c == '[' && (rules & kLeadingBracket)) ||
                ((c == '#' || c == '[' || c == ']') && (rules & kSectionMarks))) {
                name[k] = '_';
                changed[i] = true;
            }
        }
        if (maxBytes > 0 && name.GetLen() > maxBytes) {
            name = VString(name.Buffer(), CutLength(name.Buffer(), name.GetLen(), maxBytes));
            changed[i] = true;
        }
        if (!changed[i] && words.count(LowerKey(name.Buffer()))) changed[i] = true;
        // The first of names that repeat keeps its name; the later ones are numbered.
        if (!changed[i] && !kept.emplace(name.Buffer()).second) changed[i] = true;
        // The names kept as they are come first: a changed name gives way to them.
        if (!changed[i]) taken.insert(LowerKey(name.Buffer()));
        out.push_back(name);
    }
    for (size_t i = 0; i < out.size(); ++i) {
        if (!changed[i]) continue;
        std::string key = LowerKey(out[i].Buffer());
        if (taken.count(key)) {
            const VString base = out[i];
            for (int n = 2;; ++n) {
                VString suffix("_");
                suffix += n;
                // The suffix fits the room by cutting the name before it.
                VString numbered = maxBytes > 0 && base.GetLen() + suffix.GetLen() > maxBytes
                                       ? VString(base.Buffer(), CutLength(base.Buffer(), base.GetLen(),
                                                                          maxBytes - suffix.GetLen()))
                                       : base;
                numbered += suffix;
                key = LowerKey(numbered.Buffer());
                if (!taken.count(key)) {
                    out[i] = numbered;
                    break;
                }
            }
        }
        taken.insert(key);
    }
    return out;
}
