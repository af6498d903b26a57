#ifndef OXA_BASE_VTEXT_LINE_H
#define OXA_BASE_VTEXT_LINE_H

#include <oxa/base/oxa_export.h>

#include <cstdio>

// Reads one line of text from `stream` into `buffer`, NUL-terminated, reading at most size - 1
// bytes. The line ends after '\n', or after '\r' (a '\n' right after it is taken too when room
// is left, otherwise pushed back for the next read), so CR, LF and CRLF files read alike and the
// line end stays in the buffer. A line longer than the buffer comes back in pieces over several
// calls. A NUL byte inside a line is stored like any other byte; `length`, when given, receives
// the count of bytes stored (which then differs from strlen).
// Answers `buffer`, or null when nothing was read because the stream is at its end (or on a null
// stream or buffer, or a size below 2, which leaves no room to make progress).
OXA_API char* ReadTextLine(char* buffer, int size, FILE* stream, int* length = nullptr);

#endif  // OXA_BASE_VTEXT_LINE_H
