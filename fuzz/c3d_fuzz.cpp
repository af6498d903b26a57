// Fuzzes the C3D reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the C3D writer in both data forms.
#include "formats/motion/c3d/voxa_file_vicon.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("c3d");
    return FuzzMotionRead<VOxaReaderVicon>(files, data, size, [](VOxaSdkManager* manager, VOxaScene* scene) {
        // Written back once as floats and once as integers.
        for (int real = 0; real < 2; ++real)
            FuzzMotionWrite<VOxaWriterVicon>(
                manager, scene, files.mOutput, [real](VStreamOptionsMotion* motion) {
                    motion->SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, real);
                });
        std::remove(files.mOutput.c_str());
    });
}
