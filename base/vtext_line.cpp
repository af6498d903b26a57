#include "base/vtext_line.h"

char* ReadTextLine(char* buffer, int size, FILE* stream, int* length) {
    if (length) *length = 0;
    if (!buffer || !stream || size < 2) {
        if (buffer && size > 0) buffer[0] = '\0';
        return nullptr;
    }
    // One lock for the whole line instead of one per byte.
    flockfile(stream);
    int n = 0;
    while (n < size - 1) {
        int c = getc_unlocked(stream);
        if (c == EOF) break;
        buffer[n++] = (char)c;
        if (c == '\n') break;
        if (c == '\r') {
            int next = getc_unlocked(stream);
            if (next == '\n' && n < size - 1) {
                buffer[n++] = '\n';
            } else if (next != EOF) {
                std::ungetc(next, stream);
            }
            break;
        }
    }
    funlockfile(stream);
    buffer[n] = '\0';
    if (length) *length = n;
    return n == 0 ? nullptr : buffer;
}
