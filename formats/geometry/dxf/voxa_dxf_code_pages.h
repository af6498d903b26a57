// The Windows code pages that DXF files before the UTF-8 versions store their text in: the single-
// byte pages 874 and 1250 to 1258, and the double-byte pages 932 (Japanese), 936 (simplified
// Chinese), 949 (Korean) and 950 (traditional Chinese). Bytes below 0x80 are ASCII in all of them.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_CODE_PAGES_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_CODE_PAGES_H

#include <oxa/base/oxa_export.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace dxfcodepage {
// The tables as they are stored (generated from the code pages): row 0 the bytes 0x80 to 0xFF
// standing alone, then for a double-byte page one row per lead byte 0x81 to 0xFE over the trail
// bytes 0x40 to 0xFE.
struct OXA_API PageRows {
    int number;
    const char* const* rows;
    int rowCount;
};
extern OXA_API const PageRows kPages[];
extern OXA_API const int kPageCount;
}  // namespace dxfcodepage

class OXA_API VDxfCodePage {
public:
    // The page of that number, built on first use; null for a number that is none of the above.
    static const VDxfCodePage* Get(int number);

    int Number() const { return mNumber; }

    // The character that starts at `p` (before `end`): its code point, 0 when the bytes there
    // hold none, and the bytes it takes (1 or 2; 1 for bytes that hold no character).
    size_t Decode(const unsigned char* p, const unsigned char* end, uint32_t& c) const;
    // The bytes of code point `c` in this page into `out`: 1 or 2, 0 when the page has no such
    // character.
    int Encode(uint32_t c, unsigned char out[2]) const;

private:
    static constexpr int kTrails = 0xFF - 0x40;  // trail bytes 0x40 to 0xFE

    explicit VDxfCodePage(const dxfcodepage::PageRows& rows);

    int mNumber = 0;
    uint16_t mSingle[128] = {};     // bytes 0x80 to 0xFF standing alone
    bool mLead[128] = {};           // bytes 0x80 to 0xFF that start a double-byte character
    std::vector<uint16_t> mDouble;  // [lead - 0x81][trail - 0x40]
    // Code point to bytes (a byte, or lead << 8 | trail), sorted by code point.
    std::vector<std::pair<uint32_t, uint16_t>> mReverse;
};

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_CODE_PAGES_H
