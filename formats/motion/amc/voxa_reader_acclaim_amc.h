#ifndef OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H

#include "base/vstring.h"
#include "oxa_codec/voxa_reader.h"

class VOxaFileAcclaimAmc;

// Reads AMC motion into a new take of the skeleton nodes. The options must carry the skeleton
// of the ASF import (the same options object, passed on after the ASF read).
class VOxaReaderAcclaimAmc : public VOxaReader {
public:
    explicit VOxaReaderAcclaimAmc(VOxaSdkManager* manager);
    ~VOxaReaderAcclaimAmc() override;

    bool FileOpen(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    // Motion options as the ASF reader's, with the header's start time, frame count and rate;
    // null (error 0) when the header cannot be read.
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

private:
    VOxaFileAcclaimAmc* mFile = nullptr;
    VString mFileName{""};
};

VOxaReader* VOxaCreateReaderAcclaimAmc(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H
