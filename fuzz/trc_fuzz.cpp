// Fuzzes the TRC reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the TRC writer.
#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("trc");
    return FuzzMotionRoundTrip<VOxaReaderMotionAnalysisTrc, VOxaWriterMotionAnalysisTrc>(files, data, size);
}
