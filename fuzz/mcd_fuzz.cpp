// Fuzzes the MCD reader: the input is written to a temporary file, read into a scene with the
// reader's own options (reference node "MCD"), and what was read is written back with the MCD
// writer.
#include "formats/motion/aoa/voxa_adaptive_optics.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("mcd");
    return FuzzMotionRoundTrip<VOxaReaderAdaptiveOptics, VOxaWriterAdaptiveOptics>(files, data, size, true);
}
