#ifndef OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H

#include "formats/motion/amc/voxa_file_acclaim_amc.h"
#include "formats/motion/asf/vacclaim_file_writer.h"

// Samples the scene's motion root through the skeleton that the ASF writer left on the options
// and writes it as AMC frames.
class VOxaWriterAcclaimAmc : public VOxaAcclaimFileWriter<VOxaFileAcclaimAmc> {
public:
    explicit VOxaWriterAcclaimAmc(VOxaSdkManager* manager);
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

VOxaWriter* VOxaCreateWriterAcclaimAmc(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
