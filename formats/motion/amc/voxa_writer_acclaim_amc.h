#ifndef OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H

#include "oxa_codec/voxa_writer.h"

class VOxaFileAcclaimAmc;

// Samples the scene's motion root through the skeleton that the ASF writer left on the options
// and writes it as AMC frames.
class VOxaWriterAcclaimAmc : public VOxaWriter {
public:
    explicit VOxaWriterAcclaimAmc(VOxaSdkManager* manager);
    ~VOxaWriterAcclaimAmc() override;

    bool FileCreate(const char* path) override;
    // Puts the written file in place; false (error 3) when a write failed. Without a successful
    // Write the target is left as it was.
    bool FileClose() override;
    bool IsFileOpen() override { return mFile != nullptr; }
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;

private:
    VOxaFileAcclaimAmc* mFile = nullptr;
    bool mWritten = false;
};

VOxaWriter* VOxaCreateWriterAcclaimAmc(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
