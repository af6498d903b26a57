#ifndef OXA_OXA_CODEC_VOXA_IO_FORMATS_H
#define OXA_OXA_CODEC_VOXA_IO_FORMATS_H

#include <oxa/base/oxa_export.h>

class VOxaSdkManager;
class VOxaReader;
class VOxaWriter;

// A file format the importer reads: the file-name extension that selects it (without the dot,
// matched without regard to case), a description for file dialogs, and the factory of its
// reader (the reader is constructed with the manager and owned by the caller).
struct OXA_API VOxaReaderFormat {
    const char* mExtension;
    const char* mDescription;
    VOxaReader* (*mCreate)(VOxaSdkManager* manager);
};

// A file format the exporter writes, chosen by its index in the table.
struct OXA_API VOxaWriterFormat {
    const char* mExtension;
    const char* mDescription;
    VOxaWriter* (*mCreate)(VOxaSdkManager* manager);
};

// The format tables, in index order. They start with the formats built into the library, in place
// from the first call of any of these functions on, and a program may add formats of its own.

// Appends a format to the reader (writer) table; its index is the table's size before the call.
// The row's strings must live as long as the program (string literals). False, with nothing added,
// for a row without extension, description or factory. Register before any file is read or
// written; the tables are not guarded for other threads.
OXA_API bool VOxaRegisterReaderFormat(const VOxaReaderFormat& format);
OXA_API bool VOxaRegisterWriterFormat(const VOxaWriterFormat& format);

OXA_API int VOxaGetReaderFormatCount();
// The row at `index`, null outside the table.
OXA_API const VOxaReaderFormat* VOxaGetReaderFormat(int index);
// The index of the first reader for `extension` (with or without its dot), -1 when none.
OXA_API int VOxaFindReaderFormat(const char* extension);
OXA_API int VOxaGetWriterFormatCount();
OXA_API const VOxaWriterFormat* VOxaGetWriterFormat(int index);
OXA_API int VOxaFindWriterFormat(const char* extension);

// The extension of a file name: what follows the last dot after the last '/' or '\', "" when
// there is none. Points into `path`.
OXA_API const char* VOxaGetFileExtension(const char* path);

#endif  // OXA_OXA_CODEC_VOXA_IO_FORMATS_H
