// Fuzzes the text form of the field file. Inputs without the text magic get it in front.
#include <cstring>

#include "fuzz/oxa_fuzz_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    oxa_fuzz::WalkWithPrefix(data, size, voxa_format::kTextMagic, std::strlen(voxa_format::kTextMagic));
    return 0;
}
