#ifndef OXA_BASE_VPRINTABLE_TEXT_H
#define OXA_BASE_VPRINTABLE_TEXT_H

#include <oxa/base/oxa_export.h>

#include <string>

// Names read from files may hold any byte. Shown to a user - on a terminal, or in a message text
// whose lines are its warnings - a line break in a name would start a line the program never
// wrote, an escape sequence would drive the terminal, and a mark that turns the direction of the
// text would show the rest of the line backwards.

// The length of the well-formed UTF-8 character that starts at `p` (no overlong forms, no
// surrogates, nothing past U+10FFFF; a C1 control, U+0080 to U+009F, only when `allowC1`), 0 when
// none starts there. `p` points into a NUL-terminated text (a NUL is never a continuation byte).
OXA_API int VUtf8CharLength(const unsigned char* p, bool allowC1);

// The code point of the UTF-8 character of `length` bytes at `p` when it is a mark that turns the
// direction of the text around it (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069),
// else 0.
OXA_API unsigned VDirectionMark(const unsigned char* p, int length);

// `text` (null for none) fit to show as part of one line: control characters (line breaks among
// them, tabs excepted), DEL and bytes that are not part of a well-formed UTF-8 character are
// written as \xNN, marks that turn the direction of the text as \uNNNN; other text stays as it is.
OXA_API std::string VPrintableText(const char* text);

// `text` (null for none) fit to be a name in a file: every control character (C0, DEL, and C1
// written in UTF-8), mark that turns the direction of the text, and line or paragraph separator
// (U+2028, U+2029) becomes '_'; everything else stays as it is, bytes that are no UTF-8 among it
// (a name may be in a legacy code page).
OXA_API std::string VNameText(const char* text);

// `name` fit to be a name in a file whatever its encoding: a UTF-8 name as VNameText makes it; in
// a name that is no UTF-8 (a legacy code page's, Shift-JIS and the like) only the ASCII controls
// become '_', as a byte pair that would read as a UTF-8 control is a character of that page.
OXA_API std::string VLegacyNameText(const std::string& name);

// Whether `text` is well-formed UTF-8 throughout (C1 controls allowed).
OXA_API bool VIsUtf8(const std::string& text);

// The first `limit` bytes of `text` at most, without cutting a character in two: a byte left
// without the rest of its character reads as another character, or as none. A text that reads as
// UTF-8 is cut as UTF-8; another (a name in a double-byte code page) as such a page holds it: a
// byte from 0x81 up begins a character of two when a byte from 0x40 up follows it, except the
// single-byte katakana 0xA1 to 0xDF of a text that reads as Shift-JIS.
OXA_API std::string VCutText(const std::string& text, size_t limit);

#endif  // OXA_BASE_VPRINTABLE_TEXT_H
