// Fuzzes the MOV reader: the input is written to a temporary file, read into a scene with the
// reader's own options, and what was read is written back with the MOV writer.
#include "formats/motion/mov/voxa_corvelund_mov.h"
#include "fuzz/motion_fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const VMotionFuzzFiles files("mov");
    return FuzzMotionRoundTrip<VOxaReaderCorvelundMov, VOxaWriterCorvelundMov>(files, data, size);
}
