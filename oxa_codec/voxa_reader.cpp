#include "oxa_codec/voxa_reader.h"

namespace {

const char* const kReaderMessages[VOxaReader::eERROR_COUNT] = {
    "File is corrupted",
    "File version is not supported yet",
    "File version is not supported anymore",
    "File not opened",
    "File not created",
    "Wrong password",
    "Stream options not set",
    "Unidentified error",
    "Not enough memory",
};

}  // namespace

VOxaReader::VOxaReader(VOxaSdkManager* manager)
    : mManager(manager), mError(kReaderMessages, eERROR_COUNT), mMessageText("") {}

VOxaReader::~VOxaReader() = default;

bool VOxaReader::FileOpen(const char*) {
    mError.SetLastErrorID(eFILE_NOT_OPENED);
    return false;
}

bool VOxaReader::FileClose() {
    mError.SetLastErrorID(eFILE_NOT_OPENED);
    return false;
}

bool VOxaReader::IsFileOpen() {
    return false;
}

VStreamOptions* VOxaReader::GetReadOptions() {
    return nullptr;
}
