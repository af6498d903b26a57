#include "oxa_codec/voxa_writer.h"

namespace {

const char* const kWriterMessages[VOxaWriter::eERROR_COUNT] = {
    "File is corrupted",      "File not opened",    "File not created",  "Out of disk space",
    "Stream options not set", "Unidentified error", "Not enough memory",
};

}  // namespace

VOxaWriter::VOxaWriter(VOxaSdkManager* manager)
    : mManager(manager), mError(kWriterMessages, eERROR_COUNT), mMessageText("") {}

VOxaWriter::~VOxaWriter() = default;

bool VOxaWriter::FileCreate(const char*) {
    mError.SetLastErrorID(eFILE_NOT_CREATED);
    return false;
}

bool VOxaWriter::FileClose() {
    mError.SetLastErrorID(eFILE_NOT_OPENED);
    return false;
}

bool VOxaWriter::IsFileOpen() {
    return false;
}

VStreamOptions* VOxaWriter::GetWriteOptions() {
    return nullptr;
}
