#ifndef OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H

#include <oxa/base/oxa_export.h>
#include <oxa/formats/motion/amc/voxa_file_acclaim_amc.h>
#include <oxa/formats/motion/asf/vacclaim_file_writer.h>

// Samples the scene's motion root through the skeleton that the ASF writer left on the options
// and writes it as AMC frames.
class OXA_API VOxaWriterAcclaimAmc : public VOxaAcclaimFileWriter<VOxaFileAcclaimAmc> {
public:
    explicit VOxaWriterAcclaimAmc(VOxaSdkManager* manager);
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

OXA_API VOxaWriter* VOxaCreateWriterAcclaimAmc(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_WRITER_ACCLAIM_AMC_H
