#ifndef OXA_FORMATS_MOTION_ASF_VOXA_WRITER_ACCLAIM_ASF_H
#define OXA_FORMATS_MOTION_ASF_VOXA_WRITER_ACCLAIM_ASF_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/formats/motion/asf/vacclaim_file_writer.h>
#include <oxa/formats/motion/asf/voxa_file_acclaim_asf.h>

class VOxaNode;

// Writes the skeleton below the scene's motion root as an ASF file and leaves it attached to the
// options, owned by them, for the AMC writer.
class OXA_API VOxaWriterAcclaimAsf : public VOxaAcclaimFileWriter<VOxaFileAcclaimAsf> {
public:
    explicit VOxaWriterAcclaimAsf(VOxaSdkManager* manager);
    // Motion options: "Translation" 0, "ExportFromGlobalPosition" 0, "ExportRequireSingleRootNode"
    // 1, "ExportFrameRate" 1, "ExportFrameRange" 0.
    VStreamOptions* GetWriteOptions() override;
    bool Write(VOxaScene* scene, VStreamOptions* options) override;
};

// Names below `node` (the node included when `self`) that an ASF or AMC file could not give back:
// longer than 50 characters, holding a separator, starting like a number or with ':' or '#'.
// Each is appended to `report`; false when there is one.
OXA_API bool VOxaCheckAsfNodeNames(VOxaNode* node, bool self, VString& report);

OXA_API VOxaWriter* VOxaCreateWriterAcclaimAsf(VOxaSdkManager* manager);

#endif  // OXA_FORMATS_MOTION_ASF_VOXA_WRITER_ACCLAIM_ASF_H
