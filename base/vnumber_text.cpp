#include "base/vnumber_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

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
    if (out && size > sizeof buffer) {
        // Room for any value: straight into the caller's buffer.
        auto result = std::to_chars(out, out + sizeof buffer, value);
        *result.ptr = 0;
        return (int)(result.ptr - out);
    }
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}

namespace {

// Exact powers of ten in a double: 10^0 to 10^22.
constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                               1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// value x 10^k with one rounding (|k| <= 22: the power is exact).
inline double ScaleByPow10(double value, int k) {
    return k >= 0 ? value * kPow10[k] : value / kPow10[-k];
}

// "00" to "99", two characters each.
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The room FormatGFast needs in its output: the text is at most 20 characters, but digits are
// moved in fixed 16-byte copies, which may write past the end of the text.
constexpr size_t kFastGRoom = 48;

// "%.Pg" of a finite, non-zero `value` for 1 <= P <= 9 without the exact decimal conversion: the
// value is scaled to P digits before the point and rounded in double arithmetic. The scaling is
// one rounding (relative error 2^-53), so the rounded digits are certain unless the scaled value
// lies within that error of a rounding boundary (x.5); then, and for magnitudes the exact powers
// do not reach, the answer is 0 and the caller takes the exact path. Otherwise writes the text
// (not terminated) into `out`, which has kFastGRoom bytes, and answers its length. `Precision` is
// int, or an integral_constant for the common precision, whose digit loops then unroll.
template <class Precision>
inline __attribute__((always_inline)) int FormatGFast(char* out, double value, Precision precisionArgument) {
    const int precision = precisionArgument;
    const bool negative = value < 0.0;
    const double magnitude = negative ? -value : value;
    // Decimal exponent estimate from the binary one (78913 / 2^18 ~ log10(2)), corrected below.
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int binaryExponent = (int)(bits >> 52) - 1023;
    int exponent = (binaryExponent * 78913) >> 18;
    // The estimate is one low for some values: a comparison with the exact power corrects it
    // where the table reaches, so that the scaling below is right at the first try and its
    // branches are predictable.
    if (exponent >= -1 && exponent < 22) exponent += magnitude >= kPow10[exponent + 1];
    const double low = kPow10[precision - 1];
    const double high = kPow10[precision];
    double scaled = 0.0;
    for (int attempt = 0;; ++attempt) {
        const int k = precision - 1 - exponent;
        if (k > 22 || k < -22 || attempt > 2) return 0;
        scaled = ScaleByPow10(magnitude, k);
        if (scaled < low) {
            --exponent;
        } else if (scaled >= high) {
            ++exponent;
        } else {
            break;
        }
    }
    uint64_t digits = (uint64_t)scaled;  // scaled is positive and below 10^9
    const double fraction = scaled - (double)digits;
    // The rounding must not depend on the scaling error.
    const double margin = scaled * 4.5e-16;
    if (std::fabs(fraction - 0.5) <= margin) return 0;
    digits += fraction > 0.5;  // without a branch: the rounding direction is a coin toss
    if ((double)digits >= high) {
        // 9.999995 rounds up to 10.0000: one digit more before the point.
        digits /= 10;
        ++exponent;
    }
    // The P significant digits, then the trailing zeros dropped as %g does.
    char text[32] = {};
    uint32_t rest = (uint32_t)digits;  // below 10^9
    if (precision == 6) {
        // Six digits as three pairs from one product: t / 2^32 approximates rest / 10^4 from
        // above by less than 6.3e-5, and each pair taken from the fraction multiplies that by
        // 100, so the last is still off by less than 1.
        uint64_t t = (uint64_t)rest * 429497u;  // ceil(2^32 / 10^4)
        std::memcpy(text, kDigitPairs + 2 * (t >> 32), 2);
        t = (uint64_t)(uint32_t)t * 100u;
        std::memcpy(text + 2, kDigitPairs + 2 * (t >> 32), 2);
        t = (uint64_t)(uint32_t)t * 100u;
        std::memcpy(text + 4, kDigitPairs + 2 * (t >> 32), 2);
    } else {
        int at = precision;
        for (; at >= 2; at -= 2) {
            const uint32_t pair = rest % 100;
            rest /= 100;
            std::memcpy(text + at - 2, kDigitPairs + 2 * pair, 2);
        }
        if (at == 1) text[0] = (char)('0' + rest);
    }
    int count = precision;
    while (count > 1 && text[count - 1] == '0')
        --count;

    char* p = out;
    *p = '-';  // kept when negative, written over otherwise
    p += negative;
    if (exponent < -4 || exponent >= precision) {
        p[0] = text[0];
        p[1] = '.';
        std::memcpy(p + 2, text + 1, 16);
        p += count > 1 ? count + 1 : 1;
        *p++ = 'e';
        int e = exponent;
        *p++ = e < 0 ? '-' : '+';
        if (e < 0) e = -e;
        if (e >= 100) *p++ = (char)('0' + e / 100);
        *p++ = (char)('0' + e / 10 % 10);
        *p++ = (char)('0' + e % 10);
    } else if (exponent >= 0) {
        // exponent + 1 digits before the point (all present: exponent < precision).
        std::memcpy(p, text, 16);
        p += exponent + 1;
        if (count > exponent + 1) {
            *p++ = '.';
            std::memcpy(p, text + exponent + 1, 16);
            p += count - exponent - 1;
        }
    } else {
        std::memcpy(p, "0.0000", 6);
        p += 1 - exponent;
        std::memcpy(p, text, 16);
        p += count;
    }
    return (int)(p - out);
}

// FormatGFast with the precision of "%g" (6) as a constant.
int FormatGFastAny(char* out, double value, int precision) {
    return precision == 6 ? FormatGFast(out, value, std::integral_constant<int, 6>())
                          : FormatGFast(out, value, precision);
}

// "%.Pg" by the exact conversion, for what FormatGFast does not answer.
__attribute__((noinline)) int FormatDoubleGExact(char* out, size_t size, double value, int precision) {
    char buffer[64];
    if (precision > 40) return std::snprintf(out, size, "%.*g", precision, value);
    // to_chars with a precision converts exactly as printf's %g does in the "C" locale.
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    if (result.ec != std::errc()) return std::snprintf(out, size, "%.*g", precision, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}

// "%.Pf" of a finite `value` for 0 <= P <= 9 and magnitudes below 10^9 without the exact decimal
// conversion: the value is scaled by 10^P and rounded in double arithmetic, which gives the
// digits printf gives unless the scaled value lies within the scaling error of a rounding
// boundary (x.5); then, and outside that range, the answer is 0 and the caller takes the exact
// path. Otherwise writes the text (not terminated) into `out`, which has kFastFixedRoom bytes,
// and answers its length.
constexpr size_t kFastFixedRoom = 32;

int FormatFixedFast(char* out, double value, int decimals) {
    const bool negative = std::signbit(value);
    const double magnitude = negative ? -value : value;
    if (!(magnitude < 1e9)) return 0;  // also NaN
    const double scaled = magnitude * kPow10[decimals];
    uint64_t units = (uint64_t)scaled;  // below 10^18
    const double fraction = scaled - (double)units;
    const double margin = scaled * 4.5e-16;
    if (std::fabs(fraction - 0.5) <= margin) return 0;
    if (fraction > 0.5) ++units;
    // The digits from the last: the decimals, the point, then at least one digit before it.
    char text[kFastFixedRoom];
    char* end = text + sizeof text;
    char* p = end;
    // Two digits at a time from a table, one for an odd count.
    int left = decimals;
    for (; left >= 2; left -= 2) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (units % 100), 2);
        units /= 100;
    }
    if (left == 1) {
        *--p = (char)('0' + units % 10);
        units /= 10;
    }
    if (decimals > 0) *--p = '.';
    while (units >= 10) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (units % 100), 2);
        units /= 100;
    }
    if (units > 0 || p == end || *p == '.') *--p = (char)('0' + units);
    if (negative) *--p = '-';
    const int length = (int)(end - p);
    std::memcpy(out, p, (size_t)length);
    return length;
}

}  // namespace

int VFormatDoubleG(char* out, size_t size, double value, int precision) {
    if (precision < 0) precision = 6;
    // The common case first: a finite non-zero value at a small precision, rounded in double
    // arithmetic when that is provably the exact answer.
    if (precision >= 1 && precision <= 9 && std::isfinite(value) && value != 0.0) {
        if (out && size >= kFastGRoom) {
            const int length = FormatGFastAny(out, value, precision);
            if (length > 0) {
                out[length] = 0;
                return length;
            }
        } else {
            char buffer[kFastGRoom];
            const int length = FormatGFastAny(buffer, value, precision);
            if (length > 0) return Finish(out, size, buffer, length);
        }
    }
    return FormatDoubleGExact(out, size, value, precision);
}

namespace {

// True when `text` (of `length` characters) reads back within a quarter of a single-precision
// step of `value` (2^-25 of it): close enough that a reader keeping single-precision values gets
// the same value back even after it scales the number to its own unit (millimetres to
// centimetres), which rounding to the nearest single alone does not promise.
bool ReadsBackAsSingle(const char* text, int length, double value) {
    double back = 0.0;
    if (!VParseDouble(text, text + length, back, false)) return false;
    return std::fabs(back - value) < std::fabs(value) * 0x1p-25;
}

// The fewest significant digits, six to nine, whose "%g" text reads back within a quarter of a
// single-precision step of the finite, non-zero `value`, found without writing or reading text:
// the P digits are rounded as FormatGFast rounds them, and their value, P whole digits times an
// exact power of ten with one rounding, is the double any correct reader makes of the text. 0
// where that is not certain (a scaled value at a rounding boundary, powers the table does not
// reach): the caller then writes and reads the texts.
int SingleDigits(double value) {
    const double magnitude = std::fabs(value);
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    int exponent = (((int)(bits >> 52) - 1023) * 78913) >> 18;
    for (int attempt = 0;; ++attempt) {
        const int k = 5 - exponent;
        if (k > 22 || k < -22 || attempt > 2) return 0;
        const double scaled = ScaleByPow10(magnitude, k);
        if (scaled < 1e5) {
            --exponent;
        } else if (scaled >= 1e6) {
            ++exponent;
        } else {
            break;
        }
    }
    for (int precision = 6; precision <= 8; ++precision) {
        const int k = precision - 1 - exponent;
        if (k > 22 || k < -22) return 0;
        const double scaled = ScaleByPow10(magnitude, k);
        double digits = std::floor(scaled);
        const double fraction = scaled - digits;
        if (std::fabs(fraction - 0.5) <= scaled * 4.5e-16) return 0;
        digits += fraction > 0.5;
        const double back = ScaleByPow10(digits, -k);
        if (std::fabs(back - magnitude) < magnitude * 0x1p-25) return precision;
    }
    return 9;
}

// Rewrites the `length` characters at `out` (room for kVFormatGRoom bytes), the six digits of
// "%g", with more digits until they read back as the same single-precision value; answers the
// new length.
int WidenToSingle(char* out, int length, double value) {
    if (!std::isfinite(value) || value == 0.0) return length;
    const int digits = SingleDigits(value);
    if (digits == 6) return length;
    if (digits > 6) {
        char buffer[kVFormatGRoom];
        const int n = VFormatDoubleG(buffer, sizeof buffer, value, digits);
        if (n <= 0 || n >= (int)sizeof buffer) return length;
        std::memcpy(out, buffer, (size_t)n);
        return n;
    }
    if (ReadsBackAsSingle(out, length, value)) return length;
    // Nine significant digits give back every single-precision value.
    char buffer[kVFormatGRoom];
    for (int precision = 7; precision <= 9; ++precision) {
        const int n = VFormatDoubleG(buffer, sizeof buffer, value, precision);
        if (n <= 0 || n >= (int)sizeof buffer) return length;
        if (precision == 9 || ReadsBackAsSingle(buffer, n, value)) {
            std::memcpy(out, buffer, (size_t)n);
            return n;
        }
    }
    return length;
}

}  // namespace

int VFormatDoubleGSingle(char* out, size_t size, double value) {
    char buffer[kVFormatGRoom + 1];
    int length = VFormatDoubleG(buffer, sizeof buffer, value, 6);
    if (length <= 0 || length >= (int)sizeof buffer) return VFormatDoubleG(out, size, value, 6);
    length = WidenToSingle(buffer, length, value);
    buffer[length] = 0;
    return Finish(out, size, buffer, length);
}

char* VFormatDoublesG(char* out, const double* values, int count, char separator, bool single) {
    // At precision 6 FormatGFast writes at most 24 bytes (its 16-byte copies included) and the
    // exact path at most 14, so each value has room where the values before it took less than
    // their share; nine digits take at most 16 ("-1.23456789e-308"), and FormatGFast's copies at
    // nine digits reach at most 27 bytes.
    static_assert(kVFormatGRoom >= 24, "room for FormatGFast's writes at precision 6");
    for (int k = 0; k < count; ++k) {
        const double value = values[k];
        int length = 0;
        const bool plain = std::isfinite(value) && value != 0.0;
        // With `single`, a value that needs more than six digits is written at once with them.
        const int digits = single && plain ? SingleDigits(value) : 6;
        if (digits > 6) {
            length = FormatGFastAny(out, value, digits);
            if (length <= 0) length = FormatDoubleGExact(out, kVFormatGRoom, value, digits);
            out += length;
            *out++ = separator;
            continue;
        }
        if (plain) length = FormatGFast(out, value, std::integral_constant<int, 6>());
        if (length <= 0) length = FormatDoubleGExact(out, kVFormatGRoom, value, 6);
        if (single && digits == 0) length = WidenToSingle(out, length, value);
        out += length;
        *out++ = separator;
    }
    return out;
}

int VFormatDoubleFixed(char* out, size_t size, double value, int decimals) {
    char buffer[400];
    if (decimals < 0) decimals = 6;
    // The common case first: a moderate value at a few decimals, rounded in double arithmetic
    // when that is provably the exact answer.
    if (decimals <= 9) {
        const bool direct = out && size >= kFastFixedRoom;
        const int length = FormatFixedFast(direct ? out : buffer, value, decimals);
        if (length > 0) {
            if (!direct) return Finish(out, size, buffer, length);
            out[length] = 0;
            return length;
        }
    }
    if (decimals > 40) return std::snprintf(out, size, "%.*f", decimals, value);
    if (out && size > 1) {
        // Straight into the caller's buffer when the text fits (it does for all but huge values).
        auto direct = std::to_chars(out, out + size - 1, value, std::chars_format::fixed, decimals);
        if (direct.ec == std::errc()) {
            *direct.ptr = 0;
            return (int)(direct.ptr - out);
        }
    }
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) return std::snprintf(out, size, "%.*f", decimals, value);
    return Finish(out, size, buffer, (int)(result.ptr - buffer));
}
