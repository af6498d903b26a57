#include "oxa_codec/voxa_importer.h"

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

void VOxaImporter::TakeReaderError() {
    mError.SetLastError(mReader->GetError().GetLastErrorID(),
                        mReader->GetError().GetLastErrorString().Buffer());
}

bool VOxaImporter::Initialize(const char* fileName) {
    DropReader();
    mError.ClearError();
    mFileName = fileName ? fileName : "";
    const int format = VOxaFindReaderFormat(VOxaGetFileExtension(mFileName.Buffer()));
    const VOxaReaderFormat* row = VOxaGetReaderFormat(format);
    mReader = row && row->mCreate ? row->mCreate(mManager) : nullptr;
    if (!mReader) {
        mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File format not supported");
        return false;
    }
    if (!mReader->FileOpen(mFileName.Buffer())) {
        TakeReaderError();
        DropReader();
        return false;
    }
    mFormat = format;
    return true;
}

VStreamOptions* VOxaImporter::GetReadOptions() {
    if (!mReader) {
        mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File not opened");
        return nullptr;
    }
    VStreamOptions* options = mReader->GetReadOptions();
    if (!options) TakeReaderError();
    return options;
}

bool VOxaImporter::Import(VOxaScene* scene, VStreamOptions* options) {
    if (!mReader) {
        mError.SetLastError(VOxaReader::eFILE_NOT_OPENED, "File not opened");
        return false;
    }
    VStreamOptions* own = options ? nullptr : mReader->GetReadOptions();
    bool ok = mReader->Read(scene, options ? options : own);
    if (!ok) TakeReaderError();
    mMessageText = mReader->GetMessageText();
    delete own;
    DropReader();
    return ok;
}
