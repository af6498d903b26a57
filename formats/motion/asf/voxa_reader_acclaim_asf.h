#ifndef OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H
#define OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/motion/asf/voxa_file_acclaim_asf.h>
#include <oxa/formats/motion/vtext_motion_io.h>

// Reads an ASF skeleton into skeleton nodes and leaves the skeleton (VOxaAsfScene) attached to
// the options, owned by them, for the AMC reader that animates it.
class OXA_API VOxaReaderAcclaimAsf : public VOxaTextFileReader<VOxaFileAcclaimAsf> {
public:
    explicit VOxaReaderAcclaimAsf(VOxaSdkManager* manager);
    // Motion options: "ImportCreateReferenceNode" 1, "ImportDummyNodes" 0, "ImportLimits" 0.
    VStreamOptions* GetReadOptions() override;
    bool Read(VOxaScene* scene, VStreamOptions* options) override;
};

// The reference node's name of a skeleton: its name (or "ASF") + ":reference".
OXA_API VString VOxaAsfReferenceNodeName(const char* skeletonName);

OXA_API VOxaReader* VOxaCreateReaderAcclaimAsf(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_ASF_VOXA_READER_ACCLAIM_ASF_H
