#ifndef OXA_OXA_CODEC_VOXA_FORMAT_H
#define OXA_OXA_CODEC_VOXA_FORMAT_H

#include <oxa/base/oxa_export.h>

// Byte layouts of the two forms of the field file, shared by VOxa and its tests. Nothing here
// keeps state beyond its arguments.
//
// Binary form, all integers little-endian:
//   header   "OXAFIELD", u32 format version (1), u32 flags (bit 0: version-5 layout)
//   list     a run of records filling its byte range exactly; the file's top list runs from the
//            end of the header to the end of the file and holds one "Section" record per section
//            (values: S name, I version; block: the section's fields)
//   record   u64 length of the rest of the record, u32 name length, name bytes, u32 value count,
//            u64 byte length of the values, the values, u8 block flag (0 or 1); with the flag 1
//            the rest of the record is the block, a nested list
//   value    a type letter and its payload: 'C' 1 byte, 'I' i32, 'L' i64, 'F' f32, 'D' f64,
//            'S' u32 length and that many bytes
//
// Text form: a first line beginning with "; OXA field file", then a list of lines
//   Name: value, value, ... {
//       nested fields
//   }
// where the values and the block are optional, long value runs continue on the next line after
// a comma, strings are double-quoted with backslash escapes, and ';' starts a comment that runs
// to the end of the line. The top list holds "FormatVersion", "Version5Layout" and the
// "Section" fields (values: the name, the version; block: the section's fields).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace voxa_format {

constexpr char kBinaryMagic[8] = {'O', 'X', 'A', 'F', 'I', 'E', 'L', 'D'};
constexpr uint64_t kBinaryHeaderSize = 16;
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kFlagVersion5Layout = 1;
constexpr char kTextMagic[] = "; OXA field file";
constexpr const char* kSectionFieldName = "Section";

// One occurrence of a field in an indexed list: where its name, values and block lie in the
// file's bytes. Offsets are from the start of the file.
struct OXA_API FieldEntry {
    std::string_view name;
    uint64_t valuesBegin = 0;
    uint64_t valuesEnd = 0;
    uint32_t valueCount = 0;
    bool hasBlock = false;
    uint64_t blockBegin = 0;
    uint64_t blockEnd = 0;
};

// A name can be stored in both forms: 1 to 1024 bytes, no control byte, none of : { } " , ;
// and no blank at either end.
OXA_API bool IsValidFieldName(std::string_view name);

// Conversions that never overflow: NaN gives 0, values beyond the range the nearest bound.
OXA_API int64_t DoubleToInt64(double value);
OXA_API int Int64ToInt(int64_t value);
OXA_API float DoubleToFloat(double value);
// A whole decimal number, or failing that a decimal real truncated; false when the text is
// neither (the output is then 0).
OXA_API bool ParseInt64(std::string_view text, int64_t& out);
// A decimal real (integers included); false and 0 when the text is not one.
OXA_API bool ParseDouble(std::string_view text, double& out);
OXA_API bool ParseFloat(std::string_view text, float& out);
// Shortest texts that read back to the same value.
OXA_API void AppendInt64(std::string& out, int64_t value);
OXA_API void AppendDouble(std::string& out, double value);
OXA_API void AppendFloat(std::string& out, float value);

// ---- binary form ----

inline void PutU8(std::string& out, uint8_t v) {
    out.push_back((char)v);
}
OXA_API void PutU32(std::string& out, uint32_t v);
OXA_API void PutU64(std::string& out, uint64_t v);
OXA_API void PatchU32(std::string& out, size_t pos, uint32_t v);
OXA_API void PatchU64(std::string& out, size_t pos, uint64_t v);
inline uint32_t GetU32(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
#else
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
#endif
}
inline uint64_t GetU64(const uint8_t* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
#else
    return (uint64_t)GetU32(p) | ((uint64_t)GetU32(p + 4) << 32);
#endif
}

// Indexes the records of the list data[begin, end) into `out` (cleared first). False when a
// record does not fit its list, a length or count is impossible, or a block flag is not 0/1;
// `out` is then unusable.
OXA_API bool IndexBinaryList(const uint8_t* data, uint64_t begin, uint64_t end, std::vector<FieldEntry>& out);

// One decoded binary value. `i` holds C, I and L values, `d` F and D values, `s` the bytes of
// an S value (pointing into the file).
struct OXA_API BinaryValue {
    char type = 0;
    int64_t i = 0;
    double d = 0.0;
    float f = 0.0f;
    std::string_view s;
};

// Decodes the value at data[pos, end) and sets `next` past it. False when the type letter is
// unknown or the payload runs past `end`.
OXA_API bool DecodeBinaryValue(const uint8_t* data, uint64_t pos, uint64_t end, BinaryValue& value,
                               uint64_t& next);

// ---- text form ----

// The matching closing brace of every opening brace of a text, found in one pass so that lists
// skip their blocks without rescanning them.
class OXA_API TextBraceTable {
public:
    enum EResult { eOK, eUNBALANCED, eTOO_DEEP };
    // Scans text[begin, end); strings and comments are skipped (a string also ends at the end of
    // its line, so one broken string cannot swallow the rest of the file). `maxDepth` bounds the
    // nesting. On failure the table is empty.
    EResult Build(const char* text, uint64_t begin, uint64_t end, int maxDepth);
    // The offset of the brace closing the one at `open`; false when `open` holds no known brace.
    bool FindClose(uint64_t open, uint64_t& close) const;
    void Clear();

private:
    std::vector<uint32_t> mOpen;   // ascending offsets of opening braces
    std::vector<uint32_t> mClose;  // matching closing offsets, same index
};

// Indexes the fields of text[begin, end) into `out` (cleared first). False on a line that is
// not a field, a broken string, a missing value after a comma, or stray text after the values.
OXA_API bool IndexTextList(const char* text, uint64_t begin, uint64_t end, const TextBraceTable& braces,
                           std::vector<FieldEntry>& out);

// The next value token at or after `pos` in a value run ending at `end`; skips blanks, line
// breaks, comments and one comma. Sets `quoted` for a string (the token then excludes the
// quotes and still holds its escapes) and moves `pos` past the token. False when none is left.
OXA_API bool NextTextToken(const char* text, uint64_t& pos, uint64_t end, std::string_view& token,
                           bool& quoted);

// Resolves the escapes of a quoted token into `out`.
OXA_API void UnescapeText(std::string_view token, std::string& out);
// Appends `text` double-quoted, with ", \ and control bytes escaped.
OXA_API void AppendQuoted(std::string& out, std::string_view text);
// Whether a character value can be written unquoted.
OXA_API bool IsBareChar(char c);

}  // namespace voxa_format

#endif  // OXA_OXA_CODEC_VOXA_FORMAT_H
