// The DXF file in its text form as the DXF reader and writer see it: a sequence of groups, each a
// code line (an integer group code) and a value line (a name, an integer or a real).
//
// Reading (VDxfGroupReader): every line is read with room for 1239 characters including its line
// end; a longer line is read in pieces, each piece counting as one line. The code is the integer
// the code line starts with (blanks skipped); a code line without a number leaves the caller's code
// as it was. The value is the first blank-delimited word of the value line; a value line holding
// only blanks leaves the caller's value as it was. ValueLine gives the whole line for the values
// that may hold blanks (layer names).
// A group read fails when the end of the data is met while reading its code line or its value
// line, so a last value line without line end loses its group. Numbers are parsed as C's "%d" and
// "%lf" parse them in the C locale, whatever the host locale. A UTF-8 byte-order mark before the
// first line is skipped.
//
// Writing (VDxfGroupWriter): code lines right-aligned in three columns, integers after three
// blanks ("   %d"), reals with six decimals ("%lf"), names as they are; every line ends with "\n".
//
// Colour numbers (1 to 255) map to RGB and back through one palette model: hue buckets of ten
// numbers, even numbers full colours and odd ones their pale variants, five brightness steps.
// DXF is Z-up and the scene Y-up: a DXF point (x, y, z) is the scene point (x, z, -y).
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_FILE_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_FILE_H

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VOxaColor;
class VSafeOutputFile;

// Room for one line: 1239 characters and the terminating zero. A value always fits.
constexpr int kDxfLineSize = 1240;

// The code a group gets when its code line holds a number beyond the range of int: no reader
// handles it, so the group is passed over.
constexpr int kDxfOutOfRangeCode = -1;

// Parses what "%d" takes from the start of `text` (at most `size` bytes, stopping at a zero byte):
// blanks, an optional sign, digits. False, `value` unchanged, when there is no number or it does
// not fit an int.
OXA_API bool DxfParseInt(const char* text, size_t size, int& value);
// Parses what "%lf" takes from the start of `text` (blanks, sign, decimal or hexadecimal number,
// "inf", "nan"), in the C locale. A number beyond the range of double gives +-HUGE_VAL as strtod
// does. False, `value` unchanged, when there is no number.
OXA_API bool DxfParseReal(const char* text, size_t size, double& value);
// The same over a zero-terminated value.
inline bool DxfParseInt(const char* text, int& value) {
    return DxfParseInt(text, (size_t)-1 / 2, value);
}
inline bool DxfParseReal(const char* text, double& value) {
    return DxfParseReal(text, (size_t)-1 / 2, value);
}

// Colour number to RGB: numbers 1 to 255 set red, green and blue of `color` (alpha untouched);
// any other number leaves it unchanged.
OXA_API void DxfAciToColor(int number, VOxaColor& color);
// RGB to the nearest colour number of the palette, always 1 to 255. Components are taken within
// [0, 1] (a value outside, or not a number, counts as the nearest bound).
OXA_API int DxfColorToAci(double red, double green, double blue);

// Names (layers, blocks) and their characters. A file of this era holds one byte per character
// in the code page its header names ("$DWGCODEPAGE", such as "ANSI_1252"), and writes a character
// outside it as "\U+XXXX" (hexadecimal; a character beyond U+FFFF as two such escapes, a pair of
// UTF-16 surrogates). The scene keeps names in UTF-8.
enum class DxfCodePage {
    eNone,      // the header names none: UTF-8 when the bytes are valid UTF-8, else Windows-1252
    eAnsi1252,  // Windows-1252
    eOther,     // another code page: bytes other than escapes are kept as they are
};
// The code page a "$DWGCODEPAGE" value names.
OXA_API DxfCodePage DxfCodePageOf(const char* value);
// A name as the file holds it to UTF-8, with its "\U+XXXX" escapes decoded, into `out` (room for
// kDxfLineSize bytes; a longer result is cut before the character that does not fit).
OXA_API void DxfNameToUtf8(const char* name, DxfCodePage page, char* out);
// A UTF-8 name as a Windows-1252 file holds it: characters of that code page as their byte, any
// other as "\U+XXXX" escapes, a byte that is not UTF-8 as "_"; at most `limit` bytes, cut
// before the character that does not fit.
OXA_API std::string DxfNameFromUtf8(const char* name, size_t limit);

// Axis conversion between DXF (Z-up) and the scene (Y-up); the two are each other's inverse.
inline VgeTVector DxfToScenePoint(double x, double y, double z) {
    return VgeTVector(x, z, -y, 1.0);
}

// Reads groups from a file or from bytes in memory. The file is read through a buffer of its own,
// so a group read allocates nothing; the position can be told and set again (the readers put back
// the group that ended an entity). Reading never fails other than by reaching the end.
class OXA_API VDxfGroupReader {
public:
    VDxfGroupReader();
    ~VDxfGroupReader();
    VDxfGroupReader(const VDxfGroupReader&) = delete;
    VDxfGroupReader& operator=(const VDxfGroupReader&) = delete;

    // Opens the file for reading (closing what was open); false when it cannot be opened.
    bool OpenFile(const char* path);
    // Reads `size` bytes at `data`, which must outlive the reading (closing what was open).
    void OpenMemory(const void* data, size_t size);
    // False when the file could not be closed cleanly; true otherwise (also when nothing was open).
    bool Close();
    bool IsOpen() const { return mOpen; }
    // The size of the data in bytes (a file's size when it was opened).
    int64_t GetSize() const { return mSize; }

    // Reads one group. `code` and `value` (room for kDxfLineSize bytes) are the caller's: they keep
    // what they held when a line holds no number or no word. False at the end of the data.
    bool ReadGroup(int& code, char* value) {
        if (!mFileEnd && mEnd - mPos < kAhead) Fill();
        if (mEnd - mPos >= kAhead && ReadPlainGroup(code, value)) return true;
        return ReadGroupSlow(code, value);
    }
    // The value line of the group just read, trimmed of blanks at both ends, for the names that
    // may hold blanks ("red mat one"); `value` (the word ReadGroup gave) when the line is that
    // word or holds only blanks. Valid until the next read.
    const char* ValueLine(const char* value) const { return mLineHeld ? mLine : value; }
    // Reads one line piece; false when the end of the data was met while reading it.
    bool ReadLine(const char*& text, size_t& size);

    // The number (from 1) of the line that holds byte `position`: 1 + the line ends before it.
    // Counts over the data from its start, for error messages; the read position is kept.
    int64_t LineAt(int64_t position);

    // The position of the next line, and back to a position told before.
    int64_t Tell() const { return mBufferStart + (int64_t)mPos; }
    bool Seek(int64_t position);

private:
    // Bytes the buffer holds after mPos before a group is read, when the file has them: room for
    // two whole line pieces, so the common group is scanned without bound checks per line.
    static constexpr size_t kAhead = 2 * kDxfLineSize;

    // Makes at least kAhead bytes available after mPos when the file has them.
    void Fill();
    // Steps over a UTF-8 byte-order mark at the start, which some editors write: it is no part of
    // the first code line.
    void SkipByteOrderMark();
    // The common group in one pass: a code line of blanks and at most nine digits, and a value
    // line whose word is followed by its line end. False, nothing changed, for anything else,
    // which ReadGroupSlow reads line piece by line piece. Needs kAhead bytes after mPos.
    inline bool ReadPlainGroup(int& code, char* value);
    bool ReadGroupSlow(int& code, char* value);

    std::FILE* mFile = nullptr;
    bool mOpen = false;
    // The bytes mBuffer[0, mEnd) lie at file offset mBufferStart; mPos is the next byte.
    const char* mBuffer = nullptr;
    std::vector<char> mStorage;
    size_t mPos = 0;
    size_t mEnd = 0;
    int64_t mBufferStart = 0;
    int64_t mSize = 0;
    bool mFileEnd = true;  // nothing more to read into the buffer
    // The last value line, when it holds more than its first word.
    bool mLineHeld = false;
    char mLine[kDxfLineSize];
    size_t mChunk = 0;  // bytes to read at the next refill
};

inline bool VDxfGroupReader::ReadPlainGroup(int& code, char* value) {
    const char* p = mBuffer + mPos;
    const char* const start = p;
    // Code line: blanks, digits, an optional '\r', '\n'. Lines of a piece at most (kDxfLineSize
    // - 1 bytes): nine digits after at most 1200 blanks keep well within it.
    int n = 0;
    while (*p == ' ' && p - start < 1200)
        ++p;
    int parsed = 0;
    while ((unsigned)(*p - '0') < 10u && n < 9) {
        parsed = parsed * 10 + (*p - '0');
        ++p, ++n;
    }
    if (n == 0) return false;
    if (*p == '\r') ++p;
    if (*p != '\n') return false;
    ++p;
    // Value line: blanks other than line ends, the word, its line end.
    const char* line = p;
    while ((*p == ' ' || *p == '\t') && p - line < 1200)
        ++p;
    const char* word = p;
    while (*p > ' ' && p - line < 1200)
        ++p;
    // Word characters above ' ' are never blanks; anything else ends the fast scan unless it is
    // the line end right after a non-empty word.
    const char* wordEnd = p;
    if (wordEnd == word) return false;
    if (*p == '\r') ++p;
    if (*p != '\n') return false;
    const size_t size = (size_t)(wordEnd - word);
    // Short words (nearly all) move as one 16-byte block: the buffer holds kAhead bytes after
    // mPos and `value` room for kDxfLineSize, so reading and writing past the word stay inside.
    if (size < 16)
        std::memcpy(value, word, 16);
    else
        std::memcpy(value, word, size);
    value[size] = '\0';
    code = parsed;
    mLineHeld = false;
    mPos = (size_t)(p + 1 - mBuffer);
    return true;
}

// Writes groups through a block buffer into a safe output file. Failures of the underlying file are
// remembered by the file (see VSafeOutputFile); Flush reports them.
class OXA_API VDxfGroupWriter {
public:
    explicit VDxfGroupWriter(VSafeOutputFile& file);
    ~VDxfGroupWriter();

    // Code line "%3d".
    void Code(int code) {
        if ((unsigned)code >= 1000u) return CodeWide(code);
        Reserve(4);
        // Codes of three digits at most: right-aligned in three columns.
        char* out = mBuffer.data() + mUsed;
        out[0] = code >= 100 ? (char)('0' + code / 100) : ' ';
        out[1] = code >= 10 ? (char)('0' + code / 10 % 10) : ' ';
        out[2] = (char)('0' + code % 10);
        out[3] = '\n';
        mUsed += 4;
    }
    // Value lines: "   %d", " %d" (one blank), "%lf", and a name or keyword as it is.
    void Int(int value) {
        Reserve(20);
        char* out = mBuffer.data() + mUsed;
        out[0] = out[1] = out[2] = ' ';
        char* end = std::to_chars(out + 3, out + 19, value).ptr;
        *end++ = '\n';
        mUsed = (size_t)(end - mBuffer.data());
    }
    void IntOneBlank(int value);
    void Real(double value);
    // Inline, so that the length of a keyword literal is known when compiling.
    void Text(const char* text) { Text(text, text ? std::strlen(text) : 0); }
    void Text(const char* text, size_t n) {
        Reserve(n + 1);
        char* out = mBuffer.data() + mUsed;
        if (n) std::memcpy(out, text, n);
        out[n] = '\n';
        mUsed += n + 1;
    }
    // A group with each value form.
    void GroupInt(int code, int value) {
        Code(code);
        Int(value);
    }
    void GroupReal(int code, double value) {
        Code(code);
        Real(value);
    }
    void GroupText(int code, const char* text) {
        Code(code);
        Text(text);
    }
    void GroupText(int code, const char* text, size_t n) {
        Code(code);
        Text(text, n);
    }

    // Hands the buffered bytes to the file and flushes it; false when any write failed so far.
    bool Flush();

private:
    void Reserve(size_t bytes) {
        if (mUsed + bytes > mBuffer.size()) Grow(bytes);
    }
    // Drains the buffer and makes room for `bytes`.
    void Grow(size_t bytes);
    void CodeWide(int code);
    void Drain();

    VSafeOutputFile& mFile;
    std::vector<char> mBuffer;
    size_t mUsed = 0;
};

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_FILE_H
