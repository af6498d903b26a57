// Fuzzes the binary form of the field file. Inputs without the binary magic get it in front.
#include "fuzz/oxa_fuzz_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    oxa_fuzz::WalkWithPrefix(data, size, voxa_format::kBinaryMagic, sizeof voxa_format::kBinaryMagic);
    return 0;
}
