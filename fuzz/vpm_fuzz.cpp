// Fuzzes the VPM reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the VPM writer.
#include "formats/motion/vpm/voxa_puppeteer.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("vpm");
    return FuzzMotionRoundTrip<VOxaReaderPuppeteer, VOxaWriterPuppeteer>(files, data, size);
}
