#include "oxa_codec/voxa_importer.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/vstream_options.h"

VOxaImporter::VOxaImporter(VOxaSdkManager* manager) : mManager(manager), mFileName(""), mMessageText("") {}

VOxaImporter::~VOxaImporter() {
    DropReader();
}

void VOxaImporter::DropReader() {
    if (mReader) {
        if (mReader->IsFileOpen()) mReader->FileClose();
        delete mReader;
        mReader = nullptr;
    }
    mFormat = -1;
}

// A reader that fails without naming why still leaves a reason: its table's text for the id it
// set, or "Unidentified error".
void VOxaImporter::TakeReaderError() {
    const VError& error = mReader->GetError();
    int id = error.GetLastErrorID();
    const char* text = error.GetLastErrorString().Buffer();
    if (!*text) text = error.GetErrorString(id);
    if (id < 0 || !*text) {
        id = VOxaReader::eUNIDENTIFIED_ERROR;
        text = error.GetErrorString(id);
    }
    mError.SetLastError(id, *text ? text : "Unidentified error");
}

// A callback of the read in progress asks this importer for another: refused, the read goes on.
bool VOxaImporter::Refused() {
    if (!mReading) return false;
    mError.SetLastError(VOxaReader::eUNIDENTIFIED_ERROR,
                        "The importer is reading a file: a callback of that read cannot use it");
    return true;
}

bool VOxaImporter::Initialize(const char* fileName) {
    if (Refused()) return false;
    DropReader();
    mError.ClearError();
    // The name and the reader are the first allocations of a read: memory that runs out here is
    // told as such, never thrown to the caller.
    int format = -1;
    const VOxaReaderFormat* row = nullptr;
    const unsigned long long namingFailures = oxa_alloc::FailureCount();
    try {
        mFileName = fileName ? fileName : "";
        // A name the string could not hold has no extension to pick a reader by.
        if (oxa_alloc::FailureCount() != namingFailures) throw std::bad_alloc();
        format = VOxaFindReaderFormat(VOxaGetFileExtension(mFileName.Buffer()));
        row = VOxaGetReaderFormat(format);
        mReader = row && row->mCreate ? row->mCreate(mManager) : nullptr;
    } catch (const std::bad_alloc&) {
        DropReader();
        mError.SetLastError(VOxaReader::eNOT_ENOUGH_MEMORY, "Not enough memory");
        return false;
    }
    if (!mReader) {
        if (row && row->mCreate)
            mError.SetLastError(VOxaReader::eNOT_ENOUGH_MEMORY, "Not enough memory");
        else
            mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File format not supported");
        return false;
    }
    // A directory or an empty file is refused as such before the reader sees it: a reader would
    // only call either corrupted, or open a directory and fail on its first read.
    struct stat info {};
    if (stat(mFileName.Buffer(), &info) == 0) {
        const char* refusal = S_ISDIR(info.st_mode)                        ? "File is a directory"
                              : S_ISREG(info.st_mode) && info.st_size == 0 ? "File is empty"
                                                                           : nullptr;
        if (refusal) {
            mError.SetLastError(
                S_ISDIR(info.st_mode) ? VOxaReader::eFILE_NOT_OPENED : VOxaReader::eFILE_CORRUPTED, refusal);
            DropReader();
            return false;
        }
    }
    bool opened = false;
    const unsigned long long failures = oxa_alloc::FailureCount();
    errno = 0;
    try {
        opened = mReader->FileOpen(mFileName.Buffer());
    } catch (const std::bad_alloc&) {
        mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
    }
    // A reader that could not open the file for want of memory (its own, or the stream's the
    // system could not make), or opened it without what it could not hold (the file's name,
    // which finds its material libraries), tells it as that.
    const bool noMemory = oxa_alloc::FailureCount() != failures || (!opened && errno == ENOMEM);
    if (noMemory) mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
    if (!opened || noMemory) {
        TakeReaderError();
        DropReader();
        return false;
    }
    mFormat = format;
    return true;
}

VStreamOptions* VOxaImporter::GetReadOptions() {
    if (Refused()) return nullptr;
    if (!mReader) {
        mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File not opened");
        return nullptr;
    }
    // A reader without options of its own answers null without an error; a reader that cannot
    // make them (its header is unreadable, say) answers null with its error, which is kept.
    mReader->GetError().ClearError();
    VStreamOptions* options = nullptr;
    try {
        options = mReader->GetReadOptions();
    } catch (const std::bad_alloc&) {
        mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
    }
    if (!options && mReader->GetError().GetLastErrorID() >= 0) TakeReaderError();
    return options;
}

bool VOxaImporter::Import(VOxaScene* scene, VStreamOptions* options) {
    if (Refused()) return false;
    oxa_delivery::Scope scope;
    struct Reading {
        bool& mFlag;
        explicit Reading(bool& flag) : mFlag(flag) { mFlag = true; }
        ~Reading() { mFlag = false; }
    } reading(mReading);
    if (!mReader) {
        mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File not opened");
        return false;
    }
    // Without options the reader's own are used; when the reader cannot make them (its header is
    // unreadable, say) its error stands and the read is not tried, since a read without options
    // would only replace that error with "Stream options not set".
    VStreamOptions* own = nullptr;
    if (!options) {
        mReader->GetError().ClearError();
        try {
            own = mReader->GetReadOptions();
        } catch (const std::bad_alloc&) {
            mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
        }
        if (!own && mReader->GetError().GetLastErrorID() >= 0) {
            TakeReaderError();
            mMessageText = mReader->GetMessageText();
            DropReader();
            return false;
        }
    }
    // Memory that runs out anywhere in the read ends it with that error: nothing is thrown to
    // the caller, and a read that met an allocation failure and went on without what it could
    // not have (or failed for it under another name) is not a success.
    const unsigned long long failures = oxa_alloc::FailureCount();
    bool ok = false;
    try {
        ok = mReader->Read(scene, options ? options : own);
    } catch (const std::bad_alloc&) {
        mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
    }
    if (oxa_alloc::FailureCount() != failures) {
        mReader->GetError().SetLastErrorID(VOxaReader::eNOT_ENOUGH_MEMORY);
        ok = false;
    }
    if (!ok) TakeReaderError();
    mMessageText = mReader->GetMessageText();
    delete own;
    DropReader();
    return ok;
}
