// The DXF file in its text form as the DXF reader and writer see it: a sequence of groups, each a
// code line (an integer group code) and a value line (a name, an integer or a real).
//
// Reading (VDxfGroupReader): a line holds at most kDxfMaxLine bytes before its line end ("\n" or
// "\r\n"), the longest string value the format has; a longer line is refused, and the read stops
// there (LongLine tells where), so that a line is never taken as two. The code is the integer the
// code line starts with (blanks skipped); a code line without a number leaves the caller's code
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

// The most bytes a line holds before its line end: 2049, the longest string value of the format.
constexpr int kDxfMaxLine = 2049;
// Room for one line without its line end and the terminating zero. A value always fits.
constexpr int kDxfLineSize = kDxfMaxLine + 1;

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

// Names (layers, blocks) and their characters. Files of version AC1021 and later hold UTF-8; older
// ones hold the code page their header names ("$DWGCODEPAGE", such as "ANSI_1252" or "ANSI_932"),
// and may write a character outside it as "\U+XXXX" (hexadecimal; a character beyond U+FFFF as two
// such escapes, a pair of UTF-16 surrogates). The scene keeps names in UTF-8.
//
// A code page is given by its number (874, 932, 936, 949, 950, 1250 to 1258), kDxfUtf8, or
// kDxfNoCodePage for a file that names none: UTF-8 when its bytes are valid UTF-8, else
// Windows-1252.
constexpr int kDxfNoCodePage = 0;
constexpr int kDxfUtf8 = 65001;
// The code page a "$DWGCODEPAGE" value names by its last digits; 1252 for a value naming none of
// the pages above, kDxfNoCodePage for an empty one.
OXA_API int DxfCodePageOf(const char* value);
// False for the characters no name ever holds: C0 and C1 controls, DEL, the marks that turn the
// direction of text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), the line and
// paragraph separators and U+FFFD.
OXA_API bool DxfNameCharacter(uint32_t c);
// A name as the file holds it to UTF-8, with its "\U+XXXX" escapes decoded, into `out` (room for
// kDxfLineSize bytes; a longer result is cut before the character that does not fit). Bytes that
// hold no character and characters no name holds become "_".
OXA_API void DxfNameToUtf8(const char* name, int page, char* out);
// A UTF-8 name with every character no name holds, and every byte that is no UTF-8, made "_".
OXA_API std::string DxfCleanName(const char* name);
// A UTF-8 name as a file of code page `page` holds it: characters the page cannot hold, characters
// no name holds and bytes that are no UTF-8 become "_", and `lost` (when not null) counts them; at
// most `limit` bytes, cut before the character that does not fit.
OXA_API std::string DxfNameFromUtf8(const char* name, int page, size_t limit, int* lost = nullptr);
// The code page that holds every character of `names` (UTF-8): Windows-1252 when it does, else the
// first of 1250, 1251, 1253 to 1258, 874, 932, 936, 949 and 950 that does; when none does, the one
// that loses the fewest.
OXA_API int DxfCodePageFor(const std::vector<std::string>& names);
// Names that are no UTF-8 hold the bytes of a legacy code page (as 3DS files keep Shift-JIS or
// Windows-1252 names). The page that reads all of `names` (those that are no UTF-8) as
// characters: with two bytes from 0x80 up side by side in a name the double-byte pages 932, 936,
// 949 and 950 are tried first (a single-byte page reads such bytes too, as other letters), else
// the single-byte pages in the order of DxfCodePageFor; the first that leaves no byte without a
// character and needs no private-use character, else the one that leaves the fewest bytes
// without a character.
OXA_API int DxfLegacyCodePageFor(const std::vector<std::string>& names);
// A name in legacy code page `page` as UTF-8: each byte that holds no character there becomes
// "_", and `lost` (when not null) counts them.
OXA_API std::string DxfLegacyNameToUtf8(const char* name, int page, int* lost = nullptr);

// Axis conversion between DXF (Z-up) and the scene (Y-up); the two are each other's inverse.
inline VgeTVector DxfToScenePoint(double x, double y, double z) {
    return VgeTVector(x, z, -y, 1.0);
}

// Reads groups from a file or from bytes in memory. The file is read through a buffer of its own,
// so a group read allocates nothing; the position can be told and set again (the readers put back
// the group that ended an entity). Reading fails only at the end of the data or at a line longer
// than kDxfMaxLine bytes; after such a line every read fails.
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
    // what they held when a line holds no number or no word. False at the end of the data and at
    // a line that is too long.
    bool ReadGroup(int& code, char* value) {
        if (mLongLine >= 0) return false;
        if (!mFileEnd && mEnd - mPos < kAhead) Fill();
        if (mEnd - mPos >= kAhead && ReadPlainGroup(code, value)) return true;
        return ReadGroupSlow(code, value);
    }
    // The value line of the group just read, trimmed of blanks at both ends, for the names that
    // may hold blanks ("red mat one"); `value` (the word ReadGroup gave) when the line is that
    // word or holds only blanks. Valid until the next read.
    const char* ValueLine(const char* value) const { return mLineHeld ? mLine : value; }
    // Reads one line with its line end; false when the end of the data was met while reading it,
    // or the line is longer than kDxfMaxLine bytes.
    bool ReadLine(const char*& text, size_t& size);
    // The position of the first line found longer than kDxfMaxLine bytes; -1 while there is none.
    int64_t LongLine() const { return mLongLine; }

    // The number (from 1) of the line that holds byte `position`: 1 + the line ends before it.
    // Counts over the data from its start, for error messages; the read position is kept.
    int64_t LineAt(int64_t position);

    // The position of the next line, and back to a position told before.
    int64_t Tell() const { return mBufferStart + (int64_t)mPos; }
    bool Seek(int64_t position);

private:
    // Bytes the buffer holds after mPos before a group is read, when the file has them: room for
    // two whole lines with their line ends, so the common group is scanned without bound checks
    // per line.
    static constexpr size_t kAhead = 2 * (kDxfMaxLine + 2);

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
    int64_t mLongLine = -1;
};

inline bool VDxfGroupReader::ReadPlainGroup(int& code, char* value) {
    const char* p = mBuffer + mPos;
    const char* const start = p;
    // Code line: blanks, digits, an optional '\r', '\n'. Nine digits after at most 1200 blanks
    // keep well within a line's bound.
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
