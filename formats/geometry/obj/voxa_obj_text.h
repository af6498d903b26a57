// Number text of the OBJ and MTL files: printing in the shortest form that reads back the same
// number (or as C's "%lf" and "%d" do in the "C" locale), and parsing as "%lf" and "%d" do,
// whatever the host locale; and the names the files hold. Inline, so the reader's and writer's loops pay no
// call per number.
#ifndef OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_TEXT_H
#define OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_TEXT_H

#include <oxa/base/oxa_export.h>

#include <cctype>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <oxa/base/vprintable_text.h>

namespace voxa_obj {

// White space as C's isspace sees it in the "C" locale.
inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A name as OBJ and MTL lines hold it: every blank, line break and other control character (C1
// too), and every mark that turns the direction of the text, becomes '_', so that the name is
// one word on one line ("red mat one" is "red_mat_one"). A name that is no UTF-8 (a legacy code
// page's) keeps its bytes but the blanks and ASCII controls.
inline std::string ObjName(std::string_view name) {
    std::string out = VLegacyNameText(std::string(name));
    for (char& c : out)
        if ((unsigned char)c <= 0x20) c = '_';
    return out;
}

// Text of one line as a file name stands in it: line breaks and other control characters, and
// marks that turn the direction of the text, become '_', blanks stay; a text that is no UTF-8
// keeps its bytes but the ASCII controls.
inline std::string ObjLineText(std::string_view text) {
    return VLegacyNameText(std::string(text));
}

// Texts mapped to a number each, for tables that grow with the file (one entry per group,
// name or layer): the texts lie back to back in one block and the table holds positions in
// it, so an entry costs no allocation of its own and the whole table is freed in a few blocks.
// Entries keep the number they were given when added, in the order added.
class OXA_API VTextTable {
public:
    // The entry of `text`, -1 when absent.
    int Find(std::string_view text) const {
        if (mSlots.empty()) return -1;
        const uint32_t hash = Hash(text);
        const size_t mask = mSlots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const int entry = mSlots[i];
            if (entry < 0) return -1;
            if (mEntries[(size_t)entry].mHash == hash && Text(entry) == text) return entry;
        }
    }
    // The entry of `text`, added with `value` when absent; `added` tells which.
    int Insert(std::string_view text, long long value, bool* added = nullptr) {
        const int found = Find(text);
        if (added) *added = found < 0;
        if (found >= 0) return found;
        if ((mEntries.size() + 1) * 2 > mSlots.size()) Rehash(mSlots.empty() ? 16 : mSlots.size() * 2);
        const int entry = (int)mEntries.size();
        mEntries.push_back(Entry{mText.size(), text.size(), Hash(text), value});
        mText.append(text.data(), text.size());
        Place(entry);
        return entry;
    }
    std::string_view Text(int entry) const {
        const Entry& e = mEntries[(size_t)entry];
        return std::string_view(mText.data() + e.mOffset, e.mLength);
    }
    long long& Value(int entry) { return mEntries[(size_t)entry].mValue; }
    long long Value(int entry) const { return mEntries[(size_t)entry].mValue; }
    size_t Size() const { return mEntries.size(); }
    void Clear() {
        std::string().swap(mText);
        std::vector<Entry>().swap(mEntries);
        std::vector<int>().swap(mSlots);
    }

private:
    struct Entry {
        size_t mOffset;
        size_t mLength;
        uint32_t mHash;
        long long mValue;
    };
    static uint32_t Hash(std::string_view text) {
        uint32_t h = 2166136261u;
        for (unsigned char c : text)
            h = (h ^ c) * 16777619u;
        return h ^ (h >> 15);
    }
    void Place(int entry) {
        const size_t mask = mSlots.size() - 1;
        size_t i = mEntries[(size_t)entry].mHash & mask;
        while (mSlots[i] >= 0)
            i = (i + 1) & mask;
        mSlots[i] = entry;
    }
    void Rehash(size_t size) {
        mSlots.assign(size, -1);
        for (size_t e = 0; e < mEntries.size(); ++e)
            Place((int)e);
    }

    std::string mText;
    std::vector<Entry> mEntries;
    std::vector<int> mSlots;  // entry numbers by hash, -1 where empty
};

// Names made distinct: a name met before becomes the name followed by the first number that
// makes it new ("Mat", "Mat1", "Mat2"); with `ignoreCase`, names that differ in case only clash
// too. Each clash costs a lookup or two, not a walk over the names taken.
class OXA_API VNameSet {
public:
    explicit VNameSet(bool ignoreCase) : mIgnoreCase(ignoreCase) {}
    std::string Take(const std::string& name) {
        // Each name taken keeps the last number tried after it, so that the next clash of the
        // same name starts there.
        bool added = false;
        const int entry = mTaken.Insert(Key(name), 0, &added);
        if (added) return name;
        for (;;) {
            std::string candidate = name + std::to_string(++mTaken.Value(entry));
            mTaken.Insert(Key(candidate), 0, &added);
            if (added) return candidate;
        }
    }
    void Clear() { mTaken.Clear(); }

private:
    std::string Key(const std::string& name) const {
        if (!mIgnoreCase) return name;
        std::string key(name);
        for (char& c : key)
            if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        return key;
    }
    bool mIgnoreCase;
    VTextTable mTaken;
};

inline const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

// Appends value as printf("%lf") does: fixed notation, six decimals ("inf", "-nan" and the like
// for the special values, as glibc prints them).
inline void AppendFixed(std::string& out, double value) {
    char buffer[400];  // the largest double is 309 digits before the point
    std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 6);
    out.append(buffer, (size_t)(r.ptr - buffer));
}

// Appends value in the fewest digits that read back as the same double.
inline void AppendShortest(std::string& out, double value) {
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, (size_t)(r.ptr - buffer));
}

// Appends a value that the scene holds in single precision (a material's colours and factors, a
// texture's placement) in the fewest digits that read back as that float: 0.1f gives "0.1", not
// the seventeen digits of its double. A value that is no float is written as a double.
inline void AppendShortestSingle(std::string& out, double value) {
    if (!(std::fabs(value) <= (double)FLT_MAX) || (double)(float)value != value) {
        AppendShortest(out, value);
        return;
    }
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), (float)value);
    out.append(buffer, (size_t)(r.ptr - buffer));
}

// Appends value as printf("%d") does.
inline void AppendInt(std::string& out, long long value) {
    char buffer[24];
    std::to_chars_result r = std::to_chars(buffer, buffer + sizeof(buffer), value);
    out.append(buffer, (size_t)(r.ptr - buffer));
}

// Parses an int as scanf("%d") does: white space, an optional sign, decimal digits. Answers the
// position after the digits, or null when there is no digit or the value does not fit an int
// (a corner index that large is invalid rather than wrapped).
inline const char* ParseInt(const char* p, const char* end, int& value) {
    p = SkipSpace(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p >= end || *p < '0' || *p > '9') return nullptr;
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > (long long)INT_MAX + 1) {
            // Keep consuming the digits so the caller sees where the word ends, but refuse it.
            while (p < end && *p >= '0' && *p <= '9')
                ++p;
            return nullptr;
        }
        ++p;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return nullptr;
    value = (int)v;
    return p;
}

// Parses a double as scanf("%lf") does: white space, an optional sign, then a decimal number, a
// hexadecimal one ("0x..."), an infinity or a NaN. Answers the position after the number, or
// null (nothing stored).
inline const char* ParseDouble(const char* p, const char* end, double& value) {
    p = SkipSpace(p, end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // from_chars takes neither a sign in front of the digits nor the "0x" prefix.
    if (p < end && *p == '-') return nullptr;
    {
        // Fast path for the common plain decimals ("12.345678"): with at most 19 digits, a
        // mantissa below 2^53 and at most 22 decimals, one division by an exact power of ten
        // gives the correctly rounded value, as from_chars would.
        static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const char* q = p;
        uint64_t mantissa = 0;
        int digits = 0, decimals = 0;
        while (q < end && *q >= '0' && *q <= '9' && digits < 19) {
            mantissa = mantissa * 10 + (uint64_t)(*q++ - '0');
            ++digits;
        }
        if (q < end && *q == '.') {
            ++q;
            while (q < end && *q >= '0' && *q <= '9' && digits < 19) {
                mantissa = mantissa * 10 + (uint64_t)(*q++ - '0');
                ++digits;
                ++decimals;
            }
        }
        const bool stop = q >= end || !((*q >= '0' && *q <= '9') || *q == '.' || *q == 'e' || *q == 'E' ||
                                        *q == 'x' || *q == 'X' || *q == 'p' || *q == 'P');
        if (digits > 0 && stop && mantissa <= (1ull << 53) && decimals <= 22) {
            // The sign goes on before the division (rounding is symmetric), as a bit rather
            // than a branch that mispredicts on mixed signs.
            double m = (double)mantissa;
            uint64_t bits;
            std::memcpy(&bits, &m, sizeof bits);
            bits |= (uint64_t)negative << 63;
            std::memcpy(&m, &bits, sizeof bits);
            value = m / kPow10[decimals];
            return q;
        }
    }
    double v = 0.0;
    std::from_chars_result r;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (std::isxdigit((unsigned char)p[2]) ||
         (p[2] == '.' && end - p > 3 && std::isxdigit((unsigned char)p[3])))) {
        r = std::from_chars(p + 2, end, v, std::chars_format::hex);
    } else {
        r = std::from_chars(p, end, v, std::chars_format::general);
    }
    if (r.ec == std::errc::invalid_argument || r.ptr == p) return nullptr;
    if (r.ec == std::errc::result_out_of_range) {
        // scanf stores the rounded result and goes on: zero for a negative exponent, else an
        // infinity.
        v = HUGE_VAL;
        for (const char* q = p; q + 1 < r.ptr; ++q)
            if ((*q == 'e' || *q == 'E' || *q == 'p' || *q == 'P') && q[1] == '-') v = 0.0;
    }
    value = negative ? -v : v;
    return r.ptr;
}

// The next word of [p, end) (white space separated): sets word and answers the position after
// it, or null when only white space is left.
inline const char* NextWord(const char* p, const char* end, std::string_view& word) {
    p = SkipSpace(p, end);
    if (p >= end) return nullptr;
    const char* start = p;
    while (p < end && !IsSpace(*p))
        ++p;
    word = std::string_view(start, (size_t)(p - start));
    return p;
}

inline std::string_view Trim(std::string_view text) {
    size_t a = 0, b = text.size();
    while (a < b && IsSpace(text[a]))
        ++a;
    while (b > a && IsSpace(text[b - 1]))
        --b;
    return text.substr(a, b - a);
}

inline char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

}  // namespace voxa_obj

#endif  // OXA_FORMATS_GEOMETRY_OBJ_VOXA_OBJ_TEXT_H
