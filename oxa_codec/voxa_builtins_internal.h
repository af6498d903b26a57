#ifndef OXA_OXA_CODEC_VOXA_BUILTINS_INTERNAL_H
#define OXA_OXA_CODEC_VOXA_BUILTINS_INTERNAL_H

#include "oxa_codec/voxa_io_formats.h"

// What the library itself registers. The codec's format tables start with the built-in rows when
// they are first used, and the runtime start and the manager's Create register every class record,
// so none of it depends on a static initialiser that a linker taking only the objects a program
// refers to from the static library would drop.

// The reader (writer) rows of the formats built into the library, in index order; `count` gets
// their number. Defined with the formats, the floor that knows them all.
const VOxaReaderFormat* VOxaBuiltinReaderFormats(int* count);
const VOxaWriterFormat* VOxaBuiltinWriterFormats(int* count);

// Registers the record of every object-model class of the library (a record registered already
// keeps its id); answers the number of records. Defined with the formats.
int VOxaRegisterClassRecords();

// Registers every class record and fills the format tables; called by the first runtime start and
// by the manager's Create, and it may be called again. Defined with the runtime, so a program that
// makes a manager also keeps the runtime's start at load and its stop at exit.
void VOxaSdkRegisterBuiltins();

#endif  // OXA_OXA_CODEC_VOXA_BUILTINS_INTERNAL_H
