#include "base/vprintable_text.h"

#include "base/vlisted_name_internal.h"

#include <cstdio>
#include <cstring>

int VUtf8CharLength(const unsigned char* p, bool allowC1) {
    const unsigned char c = p[0];
    int length = 0;
    if (c >= 0xc2 && c <= 0xdf)
        length = 2;
    else if (c >= 0xe0 && c <= 0xef)
        length = 3;
    else if (c >= 0xf0 && c <= 0xf4)
        length = 4;
    for (int k = 1; k < length; ++k)
        if ((p[k] & 0xc0) != 0x80) return 0;
    if (!length) return 0;
    const unsigned char next = p[1];
    if ((!allowC1 && c == 0xc2 && next < 0xa0) || (c == 0xe0 && next < 0xa0) || (c == 0xed && next > 0x9f) ||
        (c == 0xf0 && next < 0x90) || (c == 0xf4 && next > 0x8f))
        return 0;
    return length;
}

unsigned VDirectionMark(const unsigned char* p, int length) {
    if (length == 2 && p[0] == 0xd8 && p[1] == 0x9c) return 0x061c;
    if (length != 3 || p[0] != 0xe2) return 0;
    const unsigned code = 0x2000u | ((p[1] & 0x3fu) << 6) | (p[2] & 0x3fu);
    const bool mark = code == 0x200e || code == 0x200f || (code >= 0x202a && code <= 0x202e) ||
                      (code >= 0x2066 && code <= 0x2069);
    return mark ? code : 0;
}

std::string VPrintableText(const char* text) {
    std::string out;
    const unsigned char* p = (const unsigned char*)(text ? text : "");
    char code[12];  // "\\u" and four digits; room for the eight a 32-bit value could print
    while (*p) {
        const unsigned char c = *p;
        if (c == '\t' || (c >= 0x20 && c < 0x7f)) {
            out += (char)c;
            ++p;
            continue;
        }
        // C1 controls drive a terminal as C0 controls do.
        const int length = VUtf8CharLength(p, false);
        if (!length) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
            ++p;
            continue;
        }
        // A line or paragraph separator starts a new line on a terminal or in a log viewer.
        const bool separator = length == 3 && c == 0xe2 && p[1] == 0x80 && (p[2] == 0xa8 || p[2] == 0xa9);
        if (const unsigned mark = separator ? 0x2000u | (p[2] & 0x3fu) : VDirectionMark(p, length)) {
            std::snprintf(code, sizeof code, "\\u%04x", mark);
            out += code;
        } else {
            out.append((const char*)p, (size_t)length);
        }
        p += length;
    }
    return out;
}

std::string VNameText(const char* text) {
    std::string out;
    const unsigned char* p = (const unsigned char*)(text ? text : "");
    while (*p) {
        const unsigned char c = *p;
        if (c < 0x20 || c == 0x7f) {
            out += '_';
            ++p;
            continue;
        }
        if (c < 0x80) {
            out += (char)c;
            ++p;
            continue;
        }
        const int length = VUtf8CharLength(p, true);
        if (!length) {
            out += (char)c;
            ++p;
            continue;
        }
        const bool c1 = c == 0xc2 && p[1] < 0xa0;
        const bool separator = length == 3 && c == 0xe2 && p[1] == 0x80 && (p[2] == 0xa8 || p[2] == 0xa9);
        if (c1 || separator || VDirectionMark(p, length))
            out += '_';
        else
            out.append((const char*)p, (size_t)length);
        p += length;
    }
    return out;
}

bool VIsUtf8(const std::string& text) {
    const unsigned char* p = (const unsigned char*)text.c_str();
    for (size_t at = 0; at < text.size();) {
        const int length = p[at] < 0x80 ? 1 : VUtf8CharLength(p + at, true);
        if (length <= 0) return false;
        at += (size_t)length;
    }
    return true;
}

std::string VLegacyNameText(const std::string& name) {
    if (VIsUtf8(name)) return VNameText(name.c_str());
    std::string out = name;
    for (char& c : out)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = '_';
    return out;
}

std::string VCutText(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    const unsigned char* p = (const unsigned char*)text.c_str();
    size_t end = 0;
    if (VIsUtf8(text)) {
        for (end = limit; end > 0 && (p[end] & 0xC0) == 0x80;)
            --end;
        return text.substr(0, end);
    }
    auto lead = [&](size_t i) { return (p[i] >= 0x81 && p[i] <= 0x9F) || (p[i] >= 0xE0 && p[i] <= 0xFC); };
    bool shiftJis = true;
    for (size_t i = 0; i < text.size() && shiftJis; ++i) {
        if (lead(i)) {
            shiftJis = p[i + 1] >= 0x40 && p[i + 1] <= 0xFC && p[i + 1] != 0x7F;
            ++i;
        } else {
            shiftJis = p[i] < 0x80 || (p[i] >= 0xA1 && p[i] <= 0xDF);
        }
    }
    for (size_t at = 0; at < text.size();) {
        const bool pair = shiftJis ? lead(at) : p[at] >= 0x81 && p[at + 1] >= 0x40;
        at += pair && at + 1 < text.size() ? 2 : 1;
        if (at > limit) break;
        end = at;
    }
    return text.substr(0, end);
}

VString VListedName(const char* name) {
    const size_t length = std::strlen(name);
    constexpr size_t kKept = 128;
    if (length <= kKept) return VString(name);
    size_t cut = kKept;
    while (cut > 0 && ((unsigned char)name[cut] & 0xC0) == 0x80)
        --cut;
    VString text(name, (int)cut);
    char tail[48];
    std::snprintf(tail, sizeof tail, "... (%zu bytes)", length);
    text += tail;
    return text;
}
