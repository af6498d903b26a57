#ifndef OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H
#define OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/motion/amc/voxa_file_acclaim_amc.h>
#include <oxa/formats/motion/vtext_motion_io.h>

// Reads AMC motion into a new take of the skeleton nodes. The options must carry the skeleton
// of the ASF import (the same options object, passed on after the ASF read).
class OXA_API VOxaReaderAcclaimAmc : public VOxaTextFileReader<VOxaFileAcclaimAmc> {
public:
    explicit VOxaReaderAcclaimAmc(VOxaSdkManager* manager);
    // Motion options as the ASF reader's, with the header's start time, frame count and rate;
    // null (error 0) when the header cannot be read.
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;
};

OXA_API VOxaReader* VOxaCreateReaderAcclaimAmc(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_AMC_VOXA_READER_ACCLAIM_AMC_H
