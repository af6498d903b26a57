// Fuzzes the BRD reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the BRD writer.
#include "formats/motion/brd/voxa_ascension.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("brd");
    return FuzzMotionRoundTrip<VOxaReaderAscension, VOxaWriterAscension>(files, data, size);
}
