#include "formats/motion/asf/vacclaim_text_file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// Each kept message is cut to this many bytes; a file cannot make the message text grow without
// bound either (see kMaxMessages).
constexpr int kMessageBytes = 512;
constexpr int kMaxMessages = 200;

}  // namespace

VAcclaimTextFile::VAcclaimTextFile(const char* name, bool diagnostics)
    : VTextFile(name, kSeparators, "#", true, diagnostics) {}

bool VAcclaimTextFile::Restart() {
    if (!Rewind()) return false;
    mAtEnd = !(mCursor && *mCursor);
    return true;
}

int VAcclaimTextFile::MatchKeyword(const Keyword* table) {
    const int k = PeekKeyword(table);
    if (k >= 0) SetCursor(SkipSeparators(MatchPrefix(mCursor, table[k].word)));
    return k;
}

int VAcclaimTextFile::FindWord(const Keyword* table, const char* token) {
    for (int k = 0; table[k].word && table[k].word[0]; ++k) {
        const char* a = table[k].word;
        const char* b = token;
        while (*a && *b && Lower(*a) == Lower(*b)) {
            ++a;
            ++b;
        }
        if (!*a && !*b) return k;
    }
    return -1;
}

void VAcclaimTextFile::Record(const char* kind, bool withLine, const char* format, va_list args) {
    if (mMessageCount >= kMaxMessages) return;
    ++mMessageCount;
    char buffer[kMessageBytes];
    int used = withLine
                   ? std::snprintf(buffer, sizeof buffer, "%s read %s (line %u): ", mName, kind, mLineNumber)
                   : std::snprintf(buffer, sizeof buffer, "%s read %s: ", mName, kind);
    if (used < 0) used = 0;
    if ((size_t)used < sizeof buffer)
        std::vsnprintf(buffer + used, sizeof buffer - (size_t)used, format, args);
    const bool newline = buffer[0] && buffer[std::strlen(buffer) - 1] == '\n';
    mMessages += buffer;
    if (!newline) mMessages += "\n";
    if (std::strcmp(kind, "warning") == 0) {
        mWarnings += buffer;
        if (!newline) mWarnings += "\n";
    }
}

void VAcclaimTextFile::WarningAt(bool withLine, const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    Record("warning", withLine, format, args);
    if (mDiagnostics && mWarningCallback) {
        char text[kMessageBytes];
        std::vsnprintf(text, sizeof text, format, copy);
        PrintWarning("%s", text);
    }
    va_end(copy);
}

void VAcclaimTextFile::Warning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WarningAt(true, format, args);
    va_end(args);
}

void VAcclaimTextFile::FileWarning(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WarningAt(false, format, args);
    va_end(args);
}

bool VAcclaimTextFile::Error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    Record("error", true, format, args);
    va_end(args);
    // The failure the reader reports, with its line (which also reaches the error receiver).
    char text[kMessageBytes];
    std::vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    size_t length = std::strlen(text);
    while (length && text[length - 1] == '\n')
        text[--length] = 0;
    return Fail("%s", text);
}
