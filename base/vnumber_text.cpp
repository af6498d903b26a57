#include "base/vnumber_text.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace {

inline bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// True when [p, end) starts with `word` (lower case) without regard to case.
bool StartsWithCaseless(const char* p, const char* end, const char* word) {
    for (; *word; ++word, ++p)
        if (p >= end || Lower(*p) != *word) return false;
    return true;
}

// Copies the formatted characters into `out` the way snprintf does: cut to the room, always
// NUL-terminated, the full length answered.
int Finish(char* out, size_t size, const char* text, int length) {
    if (size) {
        const size_t n = (size_t)length < size - 1 ? (size_t)length : size - 1;
        for (size_t k = 0; k < n; ++k)
            out[k] = text[k];
        out[n] = 0;
    }
    return length;
}

}  // namespace

const char* VParseInt64(const char* text, const char* end, long long& value) {
    if (!text) return nullptr;
    const char* p = text;
    while (p < end && IsCSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end || *p < '0' || *p > '9') return nullptr;
    unsigned long long magnitude = 0;
    auto result = std::from_chars(p, end, magnitude);
    if (result.ec != std::errc()) return nullptr;
    const unsigned long long limit =
        (unsigned long long)std::numeric_limits<long long>::max() + (negative ? 1 : 0);
    if (magnitude > limit) return nullptr;
    value = negative ? (long long)(0 - magnitude) : (long long)magnitude;
    return result.ptr;
}

const char* VParseInt(const char* text, const char* end, int& value) {
    long long wide = 0;
    const char* next = VParseInt64(text, end, wide);
    if (!next || wide < std::numeric_limits<int>::min() || wide > std::numeric_limits<int>::max())
        return nullptr;
    value = (int)wide;
    return next;
}

const char* VParseDouble(const char* text, const char* end, double& value, bool allowSpecial) {
    if (!text) return nullptr;
    const char* p = text;
    while (p < end && IsCSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p >= end) return nullptr;
    double parsed = 0.0;
    const char* next = nullptr;
    const char c = Lower(*p);
    if (c == 'i' || c == 'n') {
        if (!allowSpecial) return nullptr;
        if (StartsWithCaseless(p, end, "infinity")) {
            parsed = std::numeric_limits<double>::infinity();
            next = p + 8;
        } else if (StartsWithCaseless(p, end, "inf")) {
            parsed = std::numeric_limits<double>::infinity();
            next = p + 3;
        } else {
            auto result = std::from_chars(p, end, parsed);  // "nan" and "nan(...)"
            if (result.ec != std::errc()) return nullptr;
            next = result.ptr;
        }
    } else if (c == '0' && p + 1 < end && Lower(p[1]) == 'x') {
        auto result = std::from_chars(p + 2, end, parsed, std::chars_format::hex);
        if (result.ec == std::errc::result_out_of_range) {
            // scanf answers a huge or tiny value; from_chars leaves it to us.
            parsed = std::numeric_limits<double>::infinity();
        } else if (result.ec != std::errc()) {
            // "0x" without hexadecimal digits: scanf takes the "0".
            parsed = 0.0;
            result.ptr = p + 1;
        }
        next = result.ptr;
    } else {
        auto result = std::from_chars(p, end, parsed, std::chars_format::general);
        if (result.ec == std::errc::result_out_of_range) {
            // Overflow gives HUGE_VAL and underflow a value near zero, as strtod does. Find the
            // end of the numeral and decide by the exponent's sign.
            const char* q = p;
            bool sawExponentMinus = false;
            while (q < end && ((*q >= '0' && *q <= '9') || *q == '.'))
                ++q;
            if (q < end && Lower(*q) == 'e') {
                const char* e = q + 1;
                if (e < end && (*e == '+' || *e == '-')) sawExponentMinus = *e++ == '-';
                if (e < end && *e >= '0' && *e <= '9') {
                    while (e < end && *e >= '0' && *e <= '9')
                        ++e;
                    q = e;
                }
            }
            parsed = sawExponentMinus ? 0.0 : std::numeric_limits<double>::infinity();
            next = q;
        } else if (result.ec != std::errc()) {
            return nullptr;
        } else {
            next = result.ptr;
        }
    }
    value = negative ? -parsed : parsed;
    return next;
}

int VFormatInt(char* out, size_t size, long long value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}

int VFormatDoubleG(char* out, size_t size, double value, int precision) {
    // to_chars with a precision converts exactly as printf's %g does in the "C" locale.
    char buffer[64];
    if (precision < 0) precision = 6;
    if (precision > 40) return std::snprintf(out, size, "%.*g", precision, value);
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    if (result.ec != std::errc()) return std::snprintf(out, size, "%.*g", precision, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}

int VFormatDoubleFixed(char* out, size_t size, double value, int decimals) {
    char buffer[400];
    if (decimals < 0) decimals = 6;
    if (decimals > 40) return std::snprintf(out, size, "%.*f", decimals, value);
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return std::snprintf(out, size, "%.*f", decimals, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}
