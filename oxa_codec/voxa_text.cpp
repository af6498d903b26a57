// The text form of the field file: brace matching, list indexing and value tokens.

#include "oxa_codec/voxa_format.h"

#include <cstdint>

namespace voxa_format {

namespace {

inline bool IsLineBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
inline bool IsDelimiter(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '"' || c == '{' || c == '}' ||
           c == ';' || c == ':';
}

inline void SkipLineBlanks(const char* text, uint64_t& pos, uint64_t end) {
    while (pos < end && IsLineBlank(text[pos]))
        ++pos;
}

inline void SkipToLineEnd(const char* text, uint64_t& pos, uint64_t end) {
    while (pos < end && text[pos] != '\n')
        ++pos;
}

// Blanks, line breaks and comments.
inline void SkipSpace(const char* text, uint64_t& pos, uint64_t end) {
    while (pos < end) {
        char c = text[pos];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++pos;
        } else if (c == ';') {
            SkipToLineEnd(text, pos, end);
        } else {
            break;
        }
    }
}

// `pos` is just past an opening quote. Moves `pos` to the closing quote and answers true, or
// stops at the end of the line (a string never spans lines) and answers false.
inline bool ScanString(const char* text, uint64_t& pos, uint64_t end) {
    while (pos < end) {
        char c = text[pos];
        if (c == '"') return true;
        if (c == '\n') return false;
        if (c == '\\' && pos + 1 < end && text[pos + 1] != '\n') ++pos;
        ++pos;
    }
    return false;
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

TextBraceTable::EResult TextBraceTable::Build(const char* text, uint64_t begin, uint64_t end, int maxDepth) {
    Clear();
    if (end > UINT32_MAX) return eUNBALANCED;
    std::vector<uint32_t> stack;
    uint64_t pos = begin;
    while (pos < end) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            if (ScanString(text, pos, end)) ++pos;
        } else if (c == ';') {
            SkipToLineEnd(text, pos, end);
        } else if (c == '{') {
            if ((int)stack.size() >= maxDepth) {
                Clear();
                return eTOO_DEEP;
            }
            stack.push_back((uint32_t)mOpen.size());
            mOpen.push_back((uint32_t)pos);
            mClose.push_back(0);
            ++pos;
        } else if (c == '}') {
            if (stack.empty()) {
                Clear();
                return eUNBALANCED;
            }
            mClose[stack.back()] = (uint32_t)pos;
            stack.pop_back();
            ++pos;
        } else {
            ++pos;
        }
    }
    if (!stack.empty()) {
        Clear();
        return eUNBALANCED;
    }
    return eOK;
}

bool TextBraceTable::FindClose(uint64_t open, uint64_t& close) const {
    size_t lo = 0, hi = mOpen.size();
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (mOpen[mid] < open) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == mOpen.size() || mOpen[lo] != open) return false;
    close = mClose[lo];
    return true;
}

void TextBraceTable::Clear() {
    mOpen.clear();
    mClose.clear();
}

bool IndexTextList(const char* text, uint64_t begin, uint64_t end, const TextBraceTable& braces,
                   std::vector<FieldEntry>& out) {
    out.clear();
    uint64_t pos = begin;
    for (;;) {
        SkipSpace(text, pos, end);
        if (pos >= end) break;

        FieldEntry entry;
        const uint64_t nameBegin = pos;
        while (pos < end && text[pos] != ':') {
            char c = text[pos];
            if (c == '\n' || c == '{' || c == '}' || c == '"' || c == ',' || c == ';') return false;
            ++pos;
        }
        if (pos >= end) return false;
        uint64_t nameEnd = pos;
        while (nameEnd > nameBegin && IsLineBlank(text[nameEnd - 1]))
            --nameEnd;
        if (nameEnd == nameBegin) return false;
        entry.name = std::string_view(text + nameBegin, nameEnd - nameBegin);
        ++pos;  // the colon

        entry.valuesBegin = pos;
        uint32_t count = 0;
        SkipLineBlanks(text, pos, end);
        if (pos < end && text[pos] != '\n' && text[pos] != '{' && text[pos] != ';') {
            for (;;) {
                if (text[pos] == '"') {
                    ++pos;
                    if (!ScanString(text, pos, end)) return false;
                    ++pos;
                } else {
                    const uint64_t tokenBegin = pos;
                    while (pos < end && !IsDelimiter(text[pos]))
                        ++pos;
                    if (pos == tokenBegin) return false;
                }
                if (count == UINT32_MAX) return false;
                ++count;
                SkipLineBlanks(text, pos, end);
                if (pos < end && text[pos] == ',') {
                    ++pos;
                    SkipSpace(text, pos, end);
                    if (pos >= end || text[pos] == '{' || text[pos] == '}') return false;
                    continue;
                }
                break;
            }
        }
        entry.valuesEnd = pos;
        entry.valueCount = count;

        SkipLineBlanks(text, pos, end);
        if (pos < end && text[pos] == '{') {
            uint64_t close = 0;
            if (!braces.FindClose(pos, close) || close >= end) return false;
            entry.hasBlock = true;
            entry.blockBegin = pos + 1;
            entry.blockEnd = close;
            pos = close + 1;
            SkipLineBlanks(text, pos, end);
        }
        if (pos < end && text[pos] != '\n' && text[pos] != ';') return false;
        out.push_back(entry);
    }
    return true;
}

bool NextTextToken(const char* text, uint64_t& pos, uint64_t end, std::string_view& token, bool& quoted) {
    while (pos < end) {
        char c = text[pos];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            ++pos;
        } else if (c == ';') {
            SkipToLineEnd(text, pos, end);
        } else {
            break;
        }
    }
    if (pos >= end) return false;
    if (text[pos] == '"') {
        const uint64_t tokenBegin = ++pos;
        bool closed = ScanString(text, pos, end);
        token = std::string_view(text + tokenBegin, pos - tokenBegin);
        if (closed) ++pos;
        quoted = true;
        return true;
    }
    const uint64_t tokenBegin = pos;
    while (pos < end && !IsDelimiter(text[pos]))
        ++pos;
    if (pos == tokenBegin) return false;
    token = std::string_view(text + tokenBegin, pos - tokenBegin);
    quoted = false;
    return true;
}

void UnescapeText(std::string_view token, std::string& out) {
    out.clear();
    for (size_t k = 0; k < token.size(); ++k) {
        char c = token[k];
        if (c != '\\' || k + 1 >= token.size()) {
            out.push_back(c);
            continue;
        }
        char e = token[++k];
        switch (e) {
            case 'n':
                out.push_back('\n');
                break;
            case 'r':
                out.push_back('\r');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'x': {
                int hi = k + 1 < token.size() ? HexDigit(token[k + 1]) : -1;
                int lo = k + 2 < token.size() ? HexDigit(token[k + 2]) : -1;
                if (hi < 0 || lo < 0) {
                    out.push_back('x');
                } else {
                    out.push_back((char)(hi * 16 + lo));
                    k += 2;
                }
                break;
            }
            default:  // \" \\ and anything unknown stand for themselves
                out.push_back(e);
                break;
        }
    }
}

void AppendQuoted(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('"');
    for (char c : text) {
        unsigned char u = (unsigned char)c;
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char esc[4] = {'\\', 'x', kHex[u >> 4], kHex[u & 15]};
                    out.append(esc, 4);
                } else {
                    out.push_back(c);
                }
                break;
        }
    }
    out.push_back('"');
}

bool IsBareChar(char c) {
    unsigned char u = (unsigned char)c;
    return u > 0x20 && u != 0x7F && !IsDelimiter(c);
}

}  // namespace voxa_format
