#include "oxa_codec/voxa_io_formats.h"

#include <cstring>

namespace {

// The readers, in the order of their indexes. Each format adds its row here, for example
//     {"obj", "Alias Wavefront OBJ (*.obj)", &CreateObjReader},
// A row with a null extension ends the table.
const VOxaReaderFormat kReaderFormats[] = {
    {nullptr, nullptr, nullptr},
};

// The writers, in the order of their indexes (the exporter's format index).
const VOxaWriterFormat kWriterFormats[] = {
    {nullptr, nullptr, nullptr},
};

template <typename Row, size_t N>
int CountRows(const Row (&table)[N]) {
    int count = 0;
    while ((size_t)count < N && table[count].mExtension)
        ++count;
    return count;
}

bool SameExtension(const char* a, const char* b) {
    if (*a == '.') ++a;
    if (*b == '.') ++b;
    for (;; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? (char)(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? (char)(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
        if (!ca) return true;
    }
}

template <typename Row, size_t N>
int FindRow(const Row (&table)[N], const char* extension) {
    if (!extension || !*extension) return -1;
    const int count = CountRows(table);
    for (int k = 0; k < count; ++k)
        if (SameExtension(table[k].mExtension, extension)) return k;
    return -1;
}

}  // namespace

int VOxaGetReaderFormatCount() {
    return CountRows(kReaderFormats);
}

const VOxaReaderFormat* VOxaGetReaderFormat(int index) {
    return index >= 0 && index < VOxaGetReaderFormatCount() ? &kReaderFormats[index] : nullptr;
}

int VOxaFindReaderFormat(const char* extension) {
    return FindRow(kReaderFormats, extension);
}

int VOxaGetWriterFormatCount() {
    return CountRows(kWriterFormats);
}

const VOxaWriterFormat* VOxaGetWriterFormat(int index) {
    return index >= 0 && index < VOxaGetWriterFormatCount() ? &kWriterFormats[index] : nullptr;
}

int VOxaFindWriterFormat(const char* extension) {
    return FindRow(kWriterFormats, extension);
}

const char* VOxaGetFileExtension(const char* path) {
    if (!path) return "";
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : "";
}
