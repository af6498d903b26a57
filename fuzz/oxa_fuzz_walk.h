#ifndef OXA_FUZZ_OXA_FUZZ_WALK_H
#define OXA_FUZZ_OXA_FUZZ_WALK_H

// Shared by the field-file fuzz targets: open the bytes and read everything reachable through
// the names the seeds use, every way a caller might.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "oxa_codec/voxa.h"

namespace oxa_fuzz {

inline void WalkList(VOxa& oxa, int depth) {
    static const char* const kNames[] = {"A", "B", "Channel", "Default", "Key", "KeyCount", "Type", "T"};
    for (const char* name : kNames) {
        for (int occurrence = 0; occurrence < 8 && oxa.FieldReadBegin(name); ++occurrence) {
            int reads = 0;
            while (oxa.FieldReadRemaining() > 0 && reads++ < 4096) {
                switch (oxa.FieldReadPeekType()) {
                    case 'C':
                        oxa.FieldReadC();
                        break;
                    case 'I':
                        oxa.FieldReadI();
                        break;
                    case 'L':
                        oxa.FieldReadT();
                        break;
                    case 'F':
                        oxa.FieldReadF();
                        break;
                    case 'D':
                        oxa.FieldReadD();
                        break;
                    default:
                        oxa.FieldReadS();
                        oxa.FieldReadL();
                        break;
                }
            }
            oxa.FieldReadD();  // past the end
            if (oxa.FieldReadBlockBegin()) {
                if (depth < 64) WalkList(oxa, depth + 1);
                oxa.FieldReadBlockEnd();
            }
            oxa.FieldReadEnd();
        }
        oxa.FieldReadIOrDefault(name, 0);
        oxa.FieldReadSOrDefault(name, "");
    }
}

inline void Walk(const uint8_t* data, size_t size) {
    VOxa oxa;
    if (!oxa.MemoryOpen(data, size)) return;
    oxa.IsVersion5Layout();
    for (int s = 0; s < oxa.GetSectionCount() && s < 16; ++s) {
        oxa.GetSectionName(s);
        oxa.GetSectionVersion(s);
        if (oxa.SectionReadBegin(s)) {
            WalkList(oxa, 0);
            oxa.SectionReadEnd();
        }
    }
    oxa.FileClose();
}

// Puts `prefix` in front of inputs that lack it, so that each target spends its time in its
// own form.
inline void WalkWithPrefix(const uint8_t* data, size_t size, const char* prefix, size_t prefixSize) {
    if (size >= prefixSize && std::equal(prefix, prefix + prefixSize, (const char*)data)) {
        Walk(data, size);
        return;
    }
    std::vector<uint8_t> bytes(prefix, prefix + prefixSize);
    bytes.insert(bytes.end(), data, data + size);
    Walk(bytes.data(), bytes.size());
}

}  // namespace oxa_fuzz

#endif  // OXA_FUZZ_OXA_FUZZ_WALK_H
