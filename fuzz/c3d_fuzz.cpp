// Fuzzes the C3D reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the C3D writer: as floats for inputs
// of odd size, as integers for even ones.
#include "formats/motion/c3d/voxa_file_vicon.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("c3d");
    const int real = (int)(size & 1);
    return FuzzMotionRead<VOxaReaderVicon>(
        files, data, size, [real](VOxaSdkManager* manager, VOxaScene* scene) {
            FuzzMotionWrite<VOxaWriterVicon>(
                manager, scene, files.mOutput, [real](VStreamOptionsMotion* motion) {
                    motion->SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, real);
                });
            std::remove(files.mOutput.c_str());
        });
}
