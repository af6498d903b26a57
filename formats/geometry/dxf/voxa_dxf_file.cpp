#include "formats/geometry/dxf/voxa_dxf_file.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "base/vprintable_text.h"
#include "base/vsafe_output_file.h"
#include "formats/geometry/dxf/voxa_dxf_code_pages.h"
#include "scene/voxa_global_light_settings.h"

namespace {

// The blanks of C's isspace in the C locale.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

enum class ParsedInt { eNone, eValue, eOutOfRange };

// "%d" on [text, text + size), stopping at a zero byte.
ParsedInt ParseInt(const char* text, size_t size, int& value) {
    const char* p = text;
    const char* end = text + size;
    while (p < end && *p && IsBlank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p >= end || *p < '0' || *p > '9') return ParsedInt::eNone;
    // Digits are accumulated as a negative number so that INT_MIN fits.
    long long acc = 0;
    bool overflow = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (!overflow) {
            acc = acc * 10 - (*p - '0');
            if (acc < (long long)INT_MIN) overflow = true;
        }
    }
    if (overflow) return ParsedInt::eOutOfRange;
    if (!negative) {
        if (-acc > (long long)INT_MAX) return ParsedInt::eOutOfRange;
        acc = -acc;
    }
    value = (int)acc;
    return ParsedInt::eValue;
}

// A C locale for the rare number beyond the range of double, which from_chars does not convert.
double StrtodC(const char* text) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    if (cLocale) return strtod_l(text, nullptr, cLocale);
    return std::strtod(text, nullptr);
}

}  // namespace

bool DxfParseInt(const char* text, size_t size, int& value) {
    return ParseInt(text, size, value) == ParsedInt::eValue;
}

bool DxfParseReal(const char* text, size_t size, double& value) {
    const char* p = text;
    const char* end = text + size;
    while (p < end && *p && IsBlank(*p))
        ++p;
    {
        // The common plain decimal ("12.345678", "-0.5"): with at most 19 digits, a mantissa of
        // at most 2^53 and at most 22 decimals, one division by an exact power of ten is the
        // correctly rounded value, as from_chars gives it. Anything else takes the full path.
        static const double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const char* q = p;
        const bool negative = q < end && *q == '-';
        if (q < end && (*q == '-' || *q == '+')) ++q;
        uint64_t mantissa = 0;
        int digits = 0, decimals = 0;
        while (q < end && (unsigned)(*q - '0') < 10u && digits < 19) {
            mantissa = mantissa * 10 + (uint64_t)(*q++ - '0');
            ++digits;
        }
        if (q < end && *q == '.') {
            ++q;
            while (q < end && (unsigned)(*q - '0') < 10u && digits < 19) {
                mantissa = mantissa * 10 + (uint64_t)(*q++ - '0');
                ++digits;
                ++decimals;
            }
        }
        // The number must end here: at the end, a zero byte or a blank.
        if (digits > 0 && (q >= end || *q == '\0' || IsBlank(*q)) && mantissa <= (1ull << 53) &&
            decimals <= 22) {
            // The sign goes on before the division (rounding is symmetric), as a bit rather than
            // a branch that mispredicts on mixed signs.
            double m = (double)mantissa;
            uint64_t bits;
            std::memcpy(&bits, &m, sizeof bits);
            bits |= (uint64_t)negative << 63;
            std::memcpy(&m, &bits, sizeof bits);
            value = m / kPow10[decimals];
            return true;
        }
    }
    // The number ends at the first blank or zero byte (from_chars needs an end).
    const char* stop = p;
    while (stop < end && *stop && !IsBlank(*stop))
        ++stop;
    const char* q = p;
    bool negative = false;
    if (q < stop && (*q == '+' || *q == '-')) {
        negative = *q == '-';
        ++q;
    }
    if (q >= stop || *q == '+' || *q == '-') return false;
    double result = 0.0;
    std::from_chars_result r{q, std::errc::invalid_argument};
    if (stop - q > 2 && q[0] == '0' && (q[1] == 'x' || q[1] == 'X')) {
        r = std::from_chars(q + 2, stop, result, std::chars_format::hex);
        // "0x" without hexadecimal digits reads as the number 0 followed by "x".
        if (r.ec == std::errc::invalid_argument) r = std::from_chars(q, q + 1, result);
    } else {
        r = std::from_chars(q, stop, result);
    }
    if (r.ec == std::errc::invalid_argument) return false;
    if (r.ec == std::errc::result_out_of_range) {
        char copy[kDxfLineSize];
        size_t n = std::min((size_t)(stop - p), sizeof copy - 1);
        std::memcpy(copy, p, n);
        copy[n] = '\0';
        value = StrtodC(copy);
        return true;
    }
    value = negative ? -result : result;
    return true;
}

// ---- Colour numbers ----------------------------------------------------------------------------

void DxfAciToColor(int n, VOxaColor& color) {
    static const double kFixed[10][3] = {{0, 0, 0},
                                         {1, 0, 0},
                                         {1, 1, 0},
                                         {0, 1, 0},
                                         {0, 1, 1},
                                         {0, 0, 1},
                                         {1, 0, 1},
                                         {1, 1, 1},
                                         {0.502, 0.502, 0.502},
                                         {0.753, 0.753, 0.753}};
    double rgb[3];
    if (n >= 1 && n <= 9) {
        rgb[0] = kFixed[n][0];
        rgb[1] = kFixed[n][1];
        rgb[2] = kFixed[n][2];
    } else if (n >= 10 && n <= 249) {
        static const int kUp[8] = {4, 4, 4, 4, 4, 3, 2, 1};
        static const int kRamp[8] = {0, 1, 2, 3, 4, 4, 4, 4};
        static const double kBrightness[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
        const int base = n < 90 ? 10 : (n < 170 ? 90 : 170);
        const int i = (n - base) / 10;
        int level[3];
        if (n < 90) {
            level[0] = kUp[i], level[1] = kRamp[i], level[2] = 0;
        } else if (n < 170) {
            level[0] = 0, level[1] = kUp[i], level[2] = kRamp[i];
        } else {
            level[0] = kRamp[i], level[1] = 0, level[2] = kUp[i];
        }
        const double factor = kBrightness[(n % 10) / 2];
        for (int c = 0; c < 3; ++c) {
            double channel = (n & 1) ? 0.5 + level[c] * 0.125 : level[c] * 0.25;
            rgb[c] = channel * factor;
        }
    } else if (n >= 250 && n <= 255) {
        rgb[0] = rgb[1] = rgb[2] = (n % 10) * 0.134 + 0.33;
    } else {
        return;
    }
    color.mRed = rgb[0];
    color.mGreen = rgb[1];
    color.mBlue = rgb[2];
}

namespace {

double Unit(double v) {
    if (!(v > 0.0)) return 0.0;  // also NaN
    return v > 1.0 ? 1.0 : v;
}

}  // namespace

int DxfColorToAci(double red, double green, double blue) {
    const double r = Unit(red), g = Unit(green), b = Unit(blue);
    // The palette's fixed colours 1 to 9 and black give their own numbers (the greys 250 to 254
    // fall in their own steps below; white is 7, not 255). Colours are often held in single
    // precision (0.502 reads back as 0.50199997), so they are compared so.
    const float rf = (float)r, gf = (float)g, bf = (float)b;
    for (int number = 1; number <= 9; ++number) {
        VOxaColor palette(0.0, 0.0, 0.0, 1.0);
        DxfAciToColor(number, palette);
        if (rf == (float)palette.mRed && gf == (float)palette.mGreen && bf == (float)palette.mBlue)
            return number;
    }
    if (r == 0.0 && g == 0.0 && b == 0.0) return 250;

    // Channels 0 red, 1 green, 2 blue. The maximum: red when not below the others, else green
    // when not below blue, else blue. Of the other two the earlier is the middle on a tie.
    const double c[3] = {r, g, b};
    int maxC, first, second;
    if (r >= g && r >= b) {
        maxC = 0, first = 1, second = 2;
    } else if (g >= b) {
        maxC = 1, first = 0, second = 2;
    } else {
        maxC = 2, first = 0, second = 1;
    }
    const int midC = c[first] >= c[second] ? first : second;
    const int minC = midC == first ? second : first;
    const double max = c[maxC], mid = c[midC], min = c[minC];

    const double q = min / max;
    if (q > 0.8) {
        const double mean = (r + g + b) / 3.0;
        if (mean < 0.4) return 250;
        if (mean < 0.53) return 251;
        if (mean < 0.66) return 252;
        if (mean < 0.8) return 253;
        if (mean < 0.93) return 254;
        return 255;
    }
    // The hue position h = (mid - min) / (max - min), compared as mid / max against
    // q + f (1 - q) for the bucket limits f.
    const double m = mid / max;
    int bucket;
    if (m > q + 0.875 * (1.0 - q))
        bucket = 0;
    else if (m > q + 0.625 * (1.0 - q))
        bucket = 1;
    else if (m > q + 0.375 * (1.0 - q))
        bucket = 2;
    else if (m > q + 0.125 * (1.0 - q))
        bucket = 3;
    else
        bucket = 4;
    // Rows by (maximum, middle) channel.
    static const int kBase[3][3][5] = {
        // max red: mid green, mid blue
        {{0}, {50, 40, 30, 20, 10}, {210, 220, 230, 240, 10}},
        // max green: mid red, mid blue
        {{50, 60, 70, 80, 90}, {0}, {130, 120, 110, 100, 90}},
        // max blue: mid red, mid green
        {{210, 200, 190, 180, 170}, {130, 140, 150, 160, 170}, {0}},
    };
    int number = kBase[maxC][midC][bucket];
    if (max > 0.85)
        number += 0;
    else if (max > 0.6)
        number += 2;
    else if (max > 0.4)
        number += 4;
    else if (max > 0.2)
        number += 6;
    else
        number += 8;
    if (q > 0.2) number += 1;
    return number;
}

// ---- Names -------------------------------------------------------------------------------------

namespace {

// Decodes one UTF-8 character at [p, end): its code point and length; length 0 when the bytes
// there are no UTF-8 character (overlong forms and surrogates included).
size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t& c) {
    const size_t avail = (size_t)(end - p);
    if (avail == 0) return 0;
    if (p[0] < 0x80) {
        c = p[0];
        return 1;
    }
    size_t n;
    uint32_t min;
    if ((p[0] & 0xE0) == 0xC0) {
        n = 2, min = 0x80, c = p[0] & 0x1Fu;
    } else if ((p[0] & 0xF0) == 0xE0) {
        n = 3, min = 0x800, c = p[0] & 0x0Fu;
    } else if ((p[0] & 0xF8) == 0xF0) {
        n = 4, min = 0x10000, c = p[0] & 0x07u;
    } else {
        return 0;
    }
    if (avail < n) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3Fu);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return n;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | (c >> 6));
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | (c >> 12));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else {
        out += (char)(0xF0 | (c >> 18));
        out += (char)(0x80 | ((c >> 12) & 0x3F));
        out += (char)(0x80 | ((c >> 6) & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

// The value of the four hexadecimal digits of an escape "\U+XXXX" at [p, end), -1 when p holds
// none.
long EscapeAt(const unsigned char* p, const unsigned char* end) {
    if (end - p < 7 || p[0] != '\\' || (p[1] != 'U' && p[1] != 'u') || p[2] != '+') return -1;
    long value = 0;
    for (int i = 3; i < 7; ++i) {
        const unsigned char h = p[i];
        int digit;
        if (h >= '0' && h <= '9')
            digit = h - '0';
        else if (h >= 'a' && h <= 'f')
            digit = h - 'a' + 10;
        else if (h >= 'A' && h <= 'F')
            digit = h - 'A' + 10;
        else
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool ValidUtf8(const unsigned char* p, const unsigned char* end) {
    uint32_t c;
    while (p < end) {
        const size_t n = DecodeUtf8(p, end, c);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

// The pages a "$DWGCODEPAGE" value may name by its last digits ("ANSI_1251"), in the order they
// are tried.
const int kNamedPages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};

}  // namespace

bool DxfNameCharacter(uint32_t c) {
    // C0 and C1 controls and DEL end or break lines and drive terminals; the marks that turn the
    // direction of text show a name other than it is; the line and paragraph separators break
    // lines; U+FFFD stands for a byte that held no character.
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return false;
    if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
        (c >= 0x2066 && c <= 0x2069))
        return false;
    return c != 0x2028 && c != 0x2029 && c != 0xFFFD;
}

int DxfCodePageOf(const char* value) {
    if (!value || !*value) return kDxfNoCodePage;
    const size_t n = std::strlen(value);
    for (int page : kNamedPages) {
        char digits[8];
        const int d = std::snprintf(digits, sizeof digits, "%d", page);
        if ((size_t)d <= n && std::memcmp(value + n - (size_t)d, digits, (size_t)d) == 0) return page;
    }
    // A page of no other name is read as the Western one, as readers of the format do.
    return 1252;
}

void DxfNameToUtf8(const char* name, int page, char* out) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
    const size_t size = strnlen(name, kDxfLineSize - 1);
    const unsigned char* end = p + size;
    // Most names are plain printable ASCII without escapes: copied as they are.
    bool plain = true;
    for (const unsigned char* q = p; q < end && plain; ++q)
        plain = *q >= 0x20 && *q < 0x7F && *q != '\\';
    if (plain) {
        if (out != name) std::memmove(out, name, size);
        out[size] = '\0';
        return;
    }
    if (page == kDxfNoCodePage) page = ValidUtf8(p, end) ? kDxfUtf8 : 1252;
    const VDxfCodePage* table = page == kDxfUtf8 ? nullptr : VDxfCodePage::Get(page);
    if (page != kDxfUtf8 && !table) table = VDxfCodePage::Get(1252);
    std::string text;
    text.reserve(size * 2);
    // Whole characters only: a result too long for a value is cut before the one that does not
    // fit. A character no name may hold, or bytes that hold none, become '_'.
    auto put = [&](uint32_t c) {
        const size_t before = text.size();
        if (c == 0 || !DxfNameCharacter(c))
            text += '_';
        else
            AppendUtf8(text, c);
        if (text.size() > (size_t)kDxfLineSize - 1) {
            text.resize(before);
            return false;
        }
        return true;
    };
    while (p < end) {
        const long escape = EscapeAt(p, end);
        if (escape >= 0) {
            uint32_t c = (uint32_t)escape;
            size_t used = 7;
            if (c >= 0xD800 && c <= 0xDBFF) {
                const long low = EscapeAt(p + 7, end);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + ((uint32_t)low - 0xDC00);
                    used = 14;
                }
            }
            // A surrogate without its other half is no character: the escape stays as text.
            if (c < 0xD800 || c > 0xDFFF) {
                if (!put(c)) break;
                p += used;
                continue;
            }
        }
        uint32_t c = 0;
        size_t used = table ? table->Decode(p, end, c) : DecodeUtf8(p, end, c);
        if (used == 0) used = 1, c = 0;
        if (!put(c)) break;
        p += used;
    }
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = '\0';
}

std::string DxfCleanName(const char* name) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : "");
    const unsigned char* end = p + std::strlen(reinterpret_cast<const char*>(p));
    out.reserve((size_t)(end - p));
    while (p < end) {
        uint32_t c = 0;
        const size_t n = DecodeUtf8(p, end, c);
        if (n == 0 || !DxfNameCharacter(c)) {
            out += '_';
            p += n ? n : 1;
            continue;
        }
        out.append(reinterpret_cast<const char*>(p), n);
        p += n;
    }
    return out;
}

std::string DxfNameFromUtf8(const char* name, int page, size_t limit, int* lost) {
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : "");
    const unsigned char* end = p + std::strlen(reinterpret_cast<const char*>(p));
    const VDxfCodePage* table = page == kDxfUtf8 ? nullptr : VDxfCodePage::Get(page);
    if (page != kDxfUtf8 && !table) table = VDxfCodePage::Get(1252);
    int missing = 0;
    while (p < end) {
        uint32_t c = 0;
        size_t n = DecodeUtf8(p, end, c);
        unsigned char bytes[4];
        int count = 0;
        if (n == 0) {
            n = 1;
        } else if (!DxfNameCharacter(c)) {
        } else if (!table) {
            std::memcpy(bytes, p, n);
            count = (int)n;
        } else {
            count = table->Encode(c, bytes);
        }
        if (count == 0) {
            // A character the page cannot hold, or one no name may hold.
            bytes[0] = '_';
            count = 1;
            ++missing;
        }
        if (out.size() + (size_t)count > limit) break;
        out.append(reinterpret_cast<const char*>(bytes), (size_t)count);
        p += n;
    }
    if (lost) *lost = missing;
    return out;
}

int DxfCodePageFor(const std::vector<std::string>& names) {
    // The Western page first, as the files of this version mostly are; then the others in turn.
    static const int kOrder[] = {1252, 1250, 1251, 1253, 1254, 1255, 1256,
                                 1257, 1258, 874,  932,  936,  949,  950};
    // Plain ASCII names, nearly all, fit every page: the tables are not needed.
    bool ascii = true;
    for (const std::string& name : names)
        for (char c : name)
            ascii = ascii && (unsigned char)c < 0x80;
    if (ascii) return 1252;
    int best = 1252, bestMissing = -1;
    for (int page : kOrder) {
        int missing = 0;
        for (const std::string& name : names) {
            int lost = 0;
            DxfNameFromUtf8(name.c_str(), page, (size_t)-1, &lost);
            missing += lost;
        }
        if (missing == 0) return page;
        if (bestMissing < 0 || missing < bestMissing) best = page, bestMissing = missing;
    }
    return best;
}

namespace {

// How well legacy page `table` reads `name`: bytes that hold no character, and characters of
// private use (which a table gives to bytes no text of the page's script holds).
void LegacyMisses(const VDxfCodePage& table, const std::string& name, long long& missing, long long& odd) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name.data());
    const unsigned char* end = p + name.size();
    while (p < end) {
        uint32_t c = 0;
        p += table.Decode(p, end, c);
        if (c == 0)
            ++missing;
        else if (c >= 0xE000 && c <= 0xF8FF)
            ++odd;
    }
}

}  // namespace

int DxfLegacyCodePageFor(const std::vector<std::string>& names) {
    static const int kSingleFirst[] = {1252, 1250, 1251, 1253, 1254, 1255, 1256,
                                       1257, 1258, 874,  932,  936,  949,  950};
    static const int kDoubleFirst[] = {932,  936,  949,  950,  1252, 1250, 1251,
                                       1253, 1254, 1255, 1256, 1257, 1258, 874};
    bool pairs = false;
    std::vector<const std::string*> legacy;
    for (const std::string& name : names) {
        if (VIsUtf8(name)) continue;
        legacy.push_back(&name);
        for (size_t i = 0; i + 1 < name.size() && !pairs; ++i)
            pairs = (unsigned char)name[i] >= 0x80 && (unsigned char)name[i + 1] >= 0x80;
    }
    if (legacy.empty()) return 1252;
    int best = 1252;
    long long bestMissing = -1, bestOdd = -1;
    for (int page : pairs ? kDoubleFirst : kSingleFirst) {
        const VDxfCodePage* table = VDxfCodePage::Get(page);
        if (!table) continue;
        long long missing = 0, odd = 0;
        for (const std::string* name : legacy)
            LegacyMisses(*table, *name, missing, odd);
        if (missing == 0 && odd == 0) return page;
        if (bestMissing < 0 || missing < bestMissing || (missing == bestMissing && odd < bestOdd))
            best = page, bestMissing = missing, bestOdd = odd;
    }
    return best;
}

std::string DxfLegacyNameToUtf8(const char* name, int page, int* lost) {
    const VDxfCodePage* table = VDxfCodePage::Get(page);
    if (!table) table = VDxfCodePage::Get(1252);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(name ? name : "");
    const unsigned char* end = p + std::strlen(reinterpret_cast<const char*>(p));
    std::string out;
    out.reserve((size_t)(end - p) * 2);
    int missing = 0;
    while (p < end) {
        uint32_t c = 0;
        p += table->Decode(p, end, c);
        if (c == 0) {
            out += '_';
            ++missing;
        } else {
            AppendUtf8(out, c);
        }
    }
    if (lost) *lost = missing;
    return out;
}

// ---- Reading ----------------------------------------------------------------------------------

namespace {

constexpr size_t kLongest = kDxfMaxLine + 2;  // the longest line with its line end
constexpr size_t kKeep = 2 * kLongest + 64;   // bytes kept before the position: one group
constexpr size_t kMinChunk = 4096;            // first read after a seek (blocks are read by seeking)
constexpr size_t kMaxChunk = 1 << 20;

}  // namespace

VDxfGroupReader::VDxfGroupReader() = default;

VDxfGroupReader::~VDxfGroupReader() {
    Close();
}

bool VDxfGroupReader::OpenFile(const char* path) {
    Close();
    if (!path || !*path) return false;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    int64_t size = 0;
    if (fseeko(file, 0, SEEK_END) == 0) size = (int64_t)ftello(file);
    if (size < 0 || fseeko(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return false;
    }
    mFile = file;
    mOpen = true;
    mSize = size;
    // Room for the whole of a small file (a block at least): a buffer of the largest chunk, zeroed
    // at every open, cost more than reading a small file.
    mStorage.resize(kKeep + (size_t)std::clamp<int64_t>(size, (int64_t)kMinChunk, (int64_t)kMaxChunk) +
                    kAhead);
    mBuffer = mStorage.data();
    mPos = mEnd = 0;
    mBufferStart = 0;
    mFileEnd = false;
    mChunk = kMaxChunk;
    SkipByteOrderMark();
    return true;
}

void VDxfGroupReader::OpenMemory(const void* data, size_t size) {
    Close();
    mOpen = true;
    mBuffer = static_cast<const char*>(data);
    if (!mBuffer) size = 0;
    mPos = 0;
    mEnd = size;
    mSize = (int64_t)size;
    mBufferStart = 0;
    mFileEnd = true;
    SkipByteOrderMark();
}

void VDxfGroupReader::SkipByteOrderMark() {
    if (mFile) Fill();
    if (mEnd - mPos >= 3 && std::memcmp(mBuffer + mPos, "\xEF\xBB\xBF", 3) == 0) mPos += 3;
}

bool VDxfGroupReader::Close() {
    bool ok = true;
    if (mFile) ok = std::fclose(mFile) == 0;
    mFile = nullptr;
    mOpen = false;
    mBuffer = nullptr;
    std::vector<char>().swap(mStorage);
    mPos = mEnd = 0;
    mBufferStart = 0;
    mSize = 0;
    mFileEnd = true;
    mLongLine = -1;
    return ok;
}

void VDxfGroupReader::Fill() {
    if (mFileEnd || mEnd - mPos >= kAhead) return;
    char* storage = mStorage.data();
    const size_t keepFrom = mPos > kKeep ? mPos - kKeep : 0;
    if (keepFrom > 0) {
        std::memmove(storage, storage + keepFrom, mEnd - keepFrom);
        mBufferStart += (int64_t)keepFrom;
        mPos -= keepFrom;
        mEnd -= keepFrom;
    }
    while (mEnd - mPos < kAhead && !mFileEnd) {
        // The file is read as it was when opened: what another program appends meanwhile is not
        // read, so every position read can be sought again and the read is of one whole file.
        const int64_t left = mSize - (mBufferStart + (int64_t)mEnd);
        if (left <= 0) {
            mFileEnd = true;
            break;
        }
        const size_t want =
            (size_t)std::min<int64_t>((int64_t)std::min(mStorage.size() - mEnd, mChunk), left);
        const size_t got = std::fread(storage + mEnd, 1, want, mFile);
        mEnd += got;
        if (got < want) mFileEnd = true;
        mChunk = std::min(mChunk * 2, kMaxChunk);
    }
}

bool VDxfGroupReader::ReadLine(const char*& text, size_t& size) {
    if (mLongLine >= 0) return false;
    Fill();
    const size_t avail = std::min(mEnd - mPos, kLongest);
    const char* p = mBuffer + mPos;
    text = p;
    const void* newline = avail ? std::memchr(p, '\n', avail) : nullptr;
    if (newline) {
        size = (size_t)(static_cast<const char*>(newline) - p) + 1;
        const size_t content = size - 1 - (size >= 2 && p[size - 2] == '\r' ? 1 : 0);
        if (content <= (size_t)kDxfMaxLine) {
            mPos += size;
            return true;
        }
    } else if (avail < kLongest) {
        // The data ends inside this line.
        size = avail;
        mPos += avail;
        return false;
    }
    // Longer than any value of the format: taking it in pieces would pair the codes and values
    // after it wrongly, so the reading stops here.
    mLongLine = Tell();
    size = 0;
    return false;
}

bool VDxfGroupReader::ReadGroupSlow(int& code, char* value) {
    const char* text;
    size_t size;
    if (!ReadLine(text, size)) return false;
    int parsed = 0;
    switch (ParseInt(text, size, parsed)) {
        case ParsedInt::eValue:
            code = parsed;
            break;
        case ParsedInt::eOutOfRange:
            code = kDxfOutOfRangeCode;
            break;
        case ParsedInt::eNone:
            break;
    }
    mLineHeld = false;
    if (!ReadLine(text, size)) return false;
    const char* p = text;
    const char* end = text + size;
    while (p < end && *p && IsBlank(*p))
        ++p;
    if (p < end && *p) {
        const char* start = p;
        while (p < end && *p && !IsBlank(*p))
            ++p;
        const size_t n = (size_t)(p - start);  // at most kDxfMaxLine
        std::memcpy(value, start, n);
        value[n] = '\0';
        // The whole line, when more than the word: up to a zero byte, without the blanks and
        // the line end after its last word.
        const char* last = p;
        while (p < end && *p) {
            if (!IsBlank(*p)) last = p + 1;
            ++p;
        }
        if (last > start + n) {
            std::memcpy(mLine, start, (size_t)(last - start));
            mLine[last - start] = '\0';
            mLineHeld = true;
        }
    }
    return true;
}

int64_t VDxfGroupReader::LineAt(int64_t position) {
    if (!mOpen || position <= 0) return 1;
    if (position > mSize) position = mSize;
    auto count = [](const char* p, size_t n) {
        int64_t lines = 0;
        for (const char* end = p + n; (p = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p))));
             ++p)
            ++lines;
        return lines;
    };
    if (!mFile) return 1 + count(mBuffer, (size_t)position);
    // A file: read from its start in blocks of its own, then put the stream back.
    const off_t here = ftello(mFile);
    int64_t lines = 0;
    if (here >= 0 && fseeko(mFile, 0, SEEK_SET) == 0) {
        std::vector<char> block(1 << 16);
        int64_t left = position;
        while (left > 0) {
            const size_t got =
                std::fread(block.data(), 1, (size_t)std::min<int64_t>(left, (int64_t)block.size()), mFile);
            if (got == 0) break;
            lines += count(block.data(), got);
            left -= (int64_t)got;
        }
        fseeko(mFile, here, SEEK_SET);
    }
    return 1 + lines;
}

bool VDxfGroupReader::Seek(int64_t position) {
    if (!mOpen || position < 0) return false;
    if (position >= mBufferStart && position <= mBufferStart + (int64_t)mEnd) {
        mPos = (size_t)(position - mBufferStart);
        return true;
    }
    if (!mFile || position > mSize || fseeko(mFile, (off_t)position, SEEK_SET) != 0) {
        // Nothing more is read, rather than going on from where the reading stood.
        mPos = mEnd = 0;
        mFileEnd = true;
        return false;
    }
    mBufferStart = position;
    mPos = mEnd = 0;
    mFileEnd = false;
    mChunk = kMinChunk;
    return true;
}

// ---- Writing ----------------------------------------------------------------------------------

namespace {

constexpr size_t kWriteBlock = 1 << 16;
constexpr size_t kNumberRoom = 40;  // the shortest round-trip text of a double is at most 24 bytes

}  // namespace

VDxfGroupWriter::VDxfGroupWriter(VSafeOutputFile& file) : mFile(file), mBuffer(kWriteBlock) {}

VDxfGroupWriter::~VDxfGroupWriter() {
    Drain();
}

void VDxfGroupWriter::Drain() {
    if (mUsed && mFile.IsOpen()) mFile.Write(mBuffer.data(), mUsed);
    mUsed = 0;
}

void VDxfGroupWriter::Grow(size_t bytes) {
    if (mUsed + bytes <= mBuffer.size()) return;
    Drain();
    if (bytes > mBuffer.size()) mBuffer.resize(bytes);
}

void VDxfGroupWriter::CodeWide(int code) {
    Reserve(16);
    char* out = mBuffer.data() + mUsed;
    char digits[16];
    char* end = std::to_chars(digits, digits + sizeof digits, code).ptr;
    size_t n = (size_t)(end - digits);
    size_t pad = n < 3 ? 3 - n : 0;
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, digits, n);
    out[pad + n] = '\n';
    mUsed += pad + n + 1;
}

void VDxfGroupWriter::IntOneBlank(int value) {
    Reserve(20);
    char* out = mBuffer.data() + mUsed;
    out[0] = ' ';
    char* end = std::to_chars(out + 1, out + 19, value).ptr;
    *end++ = '\n';
    mUsed = (size_t)(end - mBuffer.data());
}

void VDxfGroupWriter::Real(double value) {
    Reserve(kNumberRoom);
    char* out = mBuffer.data() + mUsed;
    // The shortest text that reads back as the same double ("0.1", "1.2e-06", "-3"), so small
    // models keep their shape. Text like "inf" or "nan" is not a DXF number: such a value
    // (the writer refuses them earlier) is written as 0.
    if (!std::isfinite(value)) value = 0.0;
    char* end = std::to_chars(out, out + kNumberRoom - 1, value).ptr;
    *end++ = '\n';
    mUsed = (size_t)(end - mBuffer.data());
}

bool VDxfGroupWriter::Flush() {
    Drain();
    if (!mFile.IsOpen()) return false;
    if (std::fflush(mFile.Stream()) != 0) mFile.MarkFailed();
    mFile.CheckStream();
    return !mFile.Failed();
}
