#include "oxa_codec/voxa_io_formats.h"

#include <cstring>
#include <new>
#include <vector>

#include "oxa_codec/voxa_builtins_internal.h"

namespace {

// The tables, made on first use with the library's own formats first, so that registrations from
// any static initialiser find them constructed and the built-in formats keep their indexes.
template <typename Row>
std::vector<Row> BuiltinRows(const Row* (*rows)(int*)) {
    int count = 0;
    const Row* first = rows(&count);
    return std::vector<Row>(first, first + count);
}

std::vector<VOxaReaderFormat>& ReaderFormats() {
    static std::vector<VOxaReaderFormat> formats = BuiltinRows(&VOxaBuiltinReaderFormats);
    return formats;
}

std::vector<VOxaWriterFormat>& WriterFormats() {
    static std::vector<VOxaWriterFormat> formats = BuiltinRows(&VOxaBuiltinWriterFormats);
    return formats;
}

template <typename Row>
bool AddRow(std::vector<Row>& table, const Row& row) {
    if (!row.mExtension || !*row.mExtension || !row.mDescription || !row.mCreate) return false;
    try {
        table.push_back(row);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
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

template <typename Row>
const Row* RowAt(const std::vector<Row>& table, int index) {
    return index >= 0 && (size_t)index < table.size() ? &table[(size_t)index] : nullptr;
}

template <typename Row>
int FindRow(const std::vector<Row>& table, const char* extension) {
    if (!extension || !*extension) return -1;
    for (size_t k = 0; k < table.size(); ++k)
        if (SameExtension(table[k].mExtension, extension)) return (int)k;
    return -1;
}

}  // namespace

bool VOxaRegisterReaderFormat(const VOxaReaderFormat& format) {
    return AddRow(ReaderFormats(), format);
}

bool VOxaRegisterWriterFormat(const VOxaWriterFormat& format) {
    return AddRow(WriterFormats(), format);
}

int VOxaGetReaderFormatCount() {
    return (int)ReaderFormats().size();
}

const VOxaReaderFormat* VOxaGetReaderFormat(int index) {
    return RowAt(ReaderFormats(), index);
}

int VOxaFindReaderFormat(const char* extension) {
    return FindRow(ReaderFormats(), extension);
}

int VOxaGetWriterFormatCount() {
    return (int)WriterFormats().size();
}

const VOxaWriterFormat* VOxaGetWriterFormat(int index) {
    return RowAt(WriterFormats(), index);
}

int VOxaFindWriterFormat(const char* extension) {
    return FindRow(WriterFormats(), extension);
}

const char* VOxaGetFileExtension(const char* path) {
    if (!path) return "";
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    return dot ? dot + 1 : "";
}
