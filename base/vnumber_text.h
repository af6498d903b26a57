#ifndef OXA_BASE_VNUMBER_TEXT_H
#define OXA_BASE_VNUMBER_TEXT_H

#include <oxa/base/oxa_export.h>

#include <cstddef>

// Numbers to and from text the way C's printf and scanf treat them in the "C" locale, whatever
// locale the host process runs in, and without their per-call overhead. Text formats that must
// stay byte-identical to files written with "%d", "%g" or "%.5f" use these.

// Parses an integer as scanf's "%d" does: leading white space (" \t\n\v\f\r") is skipped, then an
// optional '+' or '-' and decimal digits. Answers the position after the last digit and stores the
// value, or null when no digit follows or the value does not fit an int (nothing is stored then).
// Reads no further than `end`.
OXA_API const char* VParseInt(const char* text, const char* end, int& value);
// The same for 64-bit integers.
OXA_API const char* VParseInt64(const char* text, const char* end, long long& value);

// Parses a floating-point number as scanf's "%lf" does: leading white space, an optional sign,
// then a decimal or hexadecimal ("0x") number. The infinities and NaN are accepted only when
// `allowSpecial` is true. Answers the position after the number, or null (nothing stored).
OXA_API const char* VParseDouble(const char* text, const char* end, double& value, bool allowSpecial = true);

// Formatters. Each writes into `out` (room for `size` bytes), NUL-terminates, and answers the
// number of characters written without the NUL, exactly as snprintf with the named format in the
// "C" locale would. 32 bytes hold any "%d" or "%g"; "%.Nf" of large values needs up to 330 + N.
OXA_API int VFormatInt(char* out, size_t size, long long value);                      // "%d" / "%lld"
OXA_API int VFormatDoubleG(char* out, size_t size, double value, int precision = 6);  // "%.Ng"
OXA_API int VFormatDoubleFixed(char* out, size_t size, double value, int decimals);   // "%.Nf"

// "%g" at the fewest significant digits, from six up to nine, whose text reads back within a
// quarter of a single-precision step of `value`: the six digits of "%g" wherever they suffice, and
// every digit a reader that keeps its values in single precision needs to get the value back
// exactly, also after scaling it to a unit of its own.
OXA_API int VFormatDoubleGSingle(char* out, size_t size, double value);

// The room VFormatDoublesG needs for each value.
constexpr size_t kVFormatGRoom = 32;
// Writes each of `count` values as "%g" followed by `separator` into `out`, which has room for
// count * kVFormatGRoom bytes, and answers the end of the text (not terminated). With `single`,
// each value is written as VFormatDoubleGSingle writes it.
OXA_API char* VFormatDoublesG(char* out, const double* values, int count, char separator,
                              bool single = false);

#endif  // OXA_BASE_VNUMBER_TEXT_H
