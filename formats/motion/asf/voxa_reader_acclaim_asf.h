#ifndef OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H
#define OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H

#include "base/vstring.h"
#include "oxa_codec/voxa_reader.h"

class VOxaFileAcclaimAsf;

// Reads an ASF skeleton into skeleton nodes and leaves the skeleton (VOxaAsfScene) attached to
// the options, owned by them, for the AMC reader that animates it.
class VOxaReaderAcclaimAsf : public VOxaReader {
public:
    explicit VOxaReaderAcclaimAsf(VOxaSdkManager* manager);
    ~VOxaReaderAcclaimAsf() override;

    bool FileOpen(const char* path) override;
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    // Motion options: "ImportCreateReferenceNode" 1, "ImportDummyNodes" 0, "ImportLimits" 0.
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;

private:
    VOxaFileAcclaimAsf* mFile = nullptr;
    VString mFileName{""};
};

// The reference node's name of a skeleton: its name (or "ASF") + ":reference".
VString VOxaAsfReferenceNodeName(const char* skeletonName);

VOxaReader* VOxaCreateReaderAcclaimAsf(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H
