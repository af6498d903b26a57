#include "oxa_codec/voxa_exporter.h"

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

bool VOxaExporter::Initialize(const char* fileName) {
    mError.ClearError();
    mFileName = fileName ? fileName : "";
    if (mFileName.IsEmpty()) {
        mError.SetLastError(VOxaWriter::eFILE_NOT_CREATED, "File not created");
        return false;
    }
    return true;
}

bool VOxaExporter::SetFileFormat(int index) {
    DropWriter();
    mFormat = -1;
    if (!VOxaGetWriterFormat(index)) {
        mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, "Unidentified error");
        return false;
    }
    mFormat = index;
    return true;
}

bool VOxaExporter::MakeWriter() {
    if (mWriter) return true;
    const VOxaWriterFormat* row = VOxaGetWriterFormat(mFormat);
    mWriter = row && row->mCreate ? row->mCreate(mManager) : nullptr;
    if (!mWriter) {
        mError.SetLastError(VOxaWriter::eUNIDENTIFIED_ERROR, "Unidentified error");
        return false;
    }
    return true;
}

VStreamOptions* VOxaExporter::GetWriteOptions() {
    if (!MakeWriter()) return nullptr;
    VStreamOptions* options = mWriter->GetWriteOptions();
    if (!options) TakeWriterError();
    return options;
}

bool VOxaExporter::Export(VOxaScene* scene, VStreamOptions* options) {
    if (!MakeWriter()) return false;
    // Every file the writer makes (an OBJ's MTL file and images too) is put in place only when
    // the whole Write succeeded: a failed Write leaves the files that were there as they were.
    VSafeOutputGroup files;
    if (!mWriter->FileCreate(mFileName.Buffer())) {
        TakeWriterError();
        DropWriter();
        return false;
    }
    VStreamOptions* own = options ? nullptr : mWriter->GetWriteOptions();
    bool ok = mWriter->Write(scene, options ? options : own);
    if (!ok) TakeWriterError();
    if (!mWriter->FileClose() && ok) {
        TakeWriterError();
        ok = false;
    }
    mMessageText = mWriter->GetMessageText();
    delete own;
    DropWriter();
    if (ok && !files.Commit()) {
        mError.SetLastError(VOxaWriter::eFILE_NOT_CREATED, "File not created");
        ok = false;
    }
    return ok;
}
