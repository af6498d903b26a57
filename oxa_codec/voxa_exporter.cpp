#include "oxa_codec/voxa_exporter.h"

#include <new>
#include <string>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "base/vsafe_output_file.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"

VOxaExporter::VOxaExporter(VOxaSdkManager* manager) : mManager(manager), mFileName(""), mMessageText("") {}

VOxaExporter::~VOxaExporter() {
    DropWriter();
}

void VOxaExporter::DropWriter() {
    if (mWriter) {
        if (mWriter->IsFileOpen()) mWriter->FileClose();
        delete mWriter;
        mWriter = nullptr;
    }
}

void VOxaExporter::TakeWriterError() {
    mError.SetLastError(mWriter->GetError().GetLastErrorID(),
                        mWriter->GetError().GetLastErrorString().Buffer());
}

// A callback of the write in progress asks this exporter for another: refused, the write goes on.
bool VOxaExporter::Refused() {
    if (!mWriting) return false;
    mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR,
                        "The exporter is writing a file: a callback of that write cannot use it");
    return true;
}

bool VOxaExporter::Initialize(const char* fileName) {
    if (Refused()) return false;
    mError.ClearError();
    const unsigned long long failures = oxa_alloc::FailureCount();
    mFileName = fileName ? fileName : "";
    // A name the string could not hold is memory run out, not a file that cannot be created.
    if (oxa_alloc::FailureCount() != failures) {
        mError.SetLastError(VOxaWriter::eNOT_ENOUGH_MEMORY, "Not enough memory");
        return false;
    }
    if (mFileName.IsEmpty()) {
        mError.SetLastError(VOxaWriter::eFILE_NOT_CREATED, "File not created");
        return false;
    }
    // Unless a format was chosen, the writer is the one the file name's extension names, as the
    // importer picks its reader; an unknown extension leaves it unchosen (Export then says so).
    if (!mFormatChosen) {
        const int format = VOxaFindWriterFormat(VOxaGetFileExtension(mFileName.Buffer()));
        if (format != mFormat) DropWriter();
        mFormat = format;
    }
    return true;
}

bool VOxaExporter::SetFileFormat(int index) {
    if (Refused()) return false;
    DropWriter();
    mFormat = -1;
    mFormatChosen = false;
    if (!VOxaGetWriterFormat(index)) {
        const std::string text = "No writer format of index " + std::to_string(index) + " (there are " +
                                 std::to_string(VOxaGetWriterFormatCount()) + ")";
        mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, text.c_str());
        return false;
    }
    mFormat = index;
    mFormatChosen = true;
    return true;
}

bool VOxaExporter::MakeWriter() {
    if (mWriter) return true;
    const VOxaWriterFormat* row = VOxaGetWriterFormat(mFormat);
    if (!row || !row->mCreate) {
        std::string text = "No file format chosen";
        if (mFileName.IsEmpty())
            text += " and no file named";
        else
            text += std::string(": no writer for the extension of \"") + mFileName.Buffer() + "\"";
        mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, text.c_str());
        return false;
    }
    mWriter = row->mCreate(mManager);
    if (!mWriter) {
        mError.SetLastError(VOxaWriter::eNOT_ENOUGH_MEMORY, "Not enough memory");
        return false;
    }
    return true;
}

VStreamOptions* VOxaExporter::GetWriteOptions() {
    if (Refused() || !MakeWriter()) return nullptr;
    VStreamOptions* options = nullptr;
    try {
        options = mWriter->GetWriteOptions();
    } catch (const std::bad_alloc&) {
        mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
    }
    if (!options) TakeWriterError();
    return options;
}

bool VOxaExporter::Export(VOxaScene* scene, VStreamOptions* options) {
    if (Refused()) return false;
    oxa_delivery::Scope scope;
    struct Writing {
        bool& mFlag;
        explicit Writing(bool& flag) : mFlag(flag) { mFlag = true; }
        ~Writing() { mFlag = false; }
    } writing(mWriting);
    if (!MakeWriter()) return false;
    if (scene == nullptr) {
        mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, "No scene to write (null)");
        return false;
    }
    // Every file the writer makes (an OBJ's MTL file and images too) is put in place only when
    // the whole Write succeeded: a failed Write leaves the files that were there as they were.
    VSafeOutputGroup files;
    const unsigned long long failures = oxa_alloc::FailureCount();
    bool created = false;
    try {
        created = mWriter->FileCreate(mFileName.Buffer());
    } catch (const std::bad_alloc&) {
        mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
    }
    if (!created && oxa_alloc::FailureCount() != failures)
        mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
    if (!created) {
        TakeWriterError();
        DropWriter();
        return false;
    }
    // Memory that runs out anywhere in the write ends it with that error, and the file is not
    // put in place: nothing is thrown to the caller, and a write that met an allocation failure
    // and went on without what it could not have is not a success.
    VStreamOptions* own = nullptr;
    bool ok = false;
    try {
        own = options ? nullptr : mWriter->GetWriteOptions();
        ok = mWriter->Write(scene, options ? options : own);
    } catch (const std::bad_alloc&) {
        mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
    }
    if (!ok) TakeWriterError();
    bool closed = false;
    try {
        closed = mWriter->FileClose();
    } catch (const std::bad_alloc&) {
        if (ok) mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
    }
    if (!closed && ok) {
        TakeWriterError();
        ok = false;
    }
    if (oxa_alloc::FailureCount() != failures) {
        mWriter->GetError().SetLastErrorID(VOxaWriter::eNOT_ENOUGH_MEMORY);
        TakeWriterError();
        ok = false;
    }
    mMessageText = mWriter->GetMessageText();
    delete own;
    DropWriter();
    if (ok && !files.Commit()) {
        if (oxa_alloc::FailureCount() != failures)
            mError.SetLastError(VOxaWriter::eNOT_ENOUGH_MEMORY, "Not enough memory");
        else
            mError.SetLastError(VOxaWriter::eFILE_NOT_CREATED, "File not created");
        ok = false;
    }
    return ok;
}
