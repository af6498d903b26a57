// Fuzzes reading function curves ("Default", "KeyVer", "KeyCount", "Key", the extrapolation
// blocks and "Color") from a field file in either form, then evaluates and walks what was read.
#include <cstddef>
#include <cstdint>

#include "animation/fcurve.h"
#include "oxa_codec/voxa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VOxa file;
    if (!file.MemoryOpen(data, size)) return 0;
    for (int section = 0; section < file.GetSectionCount() && section < 4; ++section) {
        if (!file.SectionReadBegin(section)) continue;
        for (int curveIndex = 0; curveIndex < 16; ++curveIndex) {
            VFCurve* curve = VFCurve::CreateFromOxa(&file);
            if (!curve) break;
            int hint = 0;
            for (int64_t t : {-INT64_MAX, (int64_t)-1000000000000, (int64_t)0, (int64_t)123456789, INT64_MAX})
                curve->Evaluate(VTime(t), &hint);
            curve->KeyGetCountAll();
            for (int i = 0; i + 1 < curve->KeyGetCount() && i < 8; ++i) {
                VTime t1, t2;
                curve->FindSegmentExtremaTimes(i, t1, t2);
            }
            delete curve;
        }
    }
    return 0;
}
