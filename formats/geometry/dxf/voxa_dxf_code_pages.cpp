#include "formats/geometry/dxf/voxa_dxf_code_pages.h"

#include <algorithm>
#include <memory>

namespace {

// One slot of a stored row: '$' no character, '!' the code point after the previous slot's,
// else three digits of base 85 (characters '(' to '~' without '?', which could begin trigraphs,
// and the backslash).
int Digit(char c) {
    return c - '(' - (c > '?' ? 1 : 0) - (c > '\\' ? 1 : 0);
}

// Decodes a stored row into `out` (room for `slots` values); slots the row leaves out hold 0.
void DecodeRow(const char* row, uint16_t* out, int slots) {
    int previous = -1;
    for (int i = 0; i < slots && *row; ++i) {
        const char c = *row;
        if (c == '$') {
            out[i] = 0;
            previous = -1;
            ++row;
        } else if (c == '!') {
            out[i] = (uint16_t)(previous + 1);
            previous = out[i];
            ++row;
        } else {
            if (!row[1] || !row[2]) return;
            previous = (Digit(row[0]) * 85 + Digit(row[1])) * 85 + Digit(row[2]);
            out[i] = (uint16_t)previous;
            row += 3;
        }
    }
}

}  // namespace

VDxfCodePage::VDxfCodePage(const dxfcodepage::PageRows& rows) : mNumber(rows.number) {
    DecodeRow(rows.rows[0], mSingle, 128);
    for (int b = 0; b < 128; ++b)
        if (mSingle[b]) mReverse.emplace_back(mSingle[b], (uint16_t)(0x80 + b));
    if (rows.rowCount > 1) {
        mDouble.assign((size_t)(rows.rowCount - 1) * kTrails, 0);
        for (int lead = 0; lead + 1 < rows.rowCount; ++lead) {
            uint16_t* row = &mDouble[(size_t)lead * kTrails];
            DecodeRow(rows.rows[lead + 1], row, kTrails);
            for (int t = 0; t < kTrails; ++t) {
                if (!row[t]) continue;
                mLead[0x81 + lead - 0x80] = true;
                mReverse.emplace_back(row[t], (uint16_t)((0x81 + lead) << 8 | (0x40 + t)));
            }
        }
    }
    // A character some pages hold twice keeps the bytes of its first place.
    std::stable_sort(mReverse.begin(), mReverse.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

const VDxfCodePage* VDxfCodePage::Get(int number) {
    // Built once, on first use, for all pages together (a few hundred kilobytes).
    static const std::vector<std::unique_ptr<VDxfCodePage>> pages = [] {
        std::vector<std::unique_ptr<VDxfCodePage>> all;
        for (int i = 0; i < dxfcodepage::kPageCount; ++i)
            all.emplace_back(new VDxfCodePage(dxfcodepage::kPages[i]));
        return all;
    }();
    for (const auto& page : pages)
        if (page->mNumber == number) return page.get();
    return nullptr;
}

size_t VDxfCodePage::Decode(const unsigned char* p, const unsigned char* end, uint32_t& c) const {
    c = 0;
    if (p >= end) return 0;
    const unsigned char b = *p;
    if (b < 0x80) {
        c = b;
        return 1;
    }
    if (mLead[b - 0x80] && end - p >= 2 && p[1] >= 0x40 && p[1] <= 0xFE) {
        const uint16_t v = mDouble[(size_t)(b - 0x81) * kTrails + (p[1] - 0x40)];
        if (v) {
            c = v;
            return 2;
        }
    }
    c = mSingle[b - 0x80];
    return 1;
}

int VDxfCodePage::Encode(uint32_t c, unsigned char out[2]) const {
    if (c < 0x80) {
        out[0] = (unsigned char)c;
        return 1;
    }
    auto found = std::lower_bound(mReverse.begin(), mReverse.end(), c,
                                  [](const auto& e, uint32_t v) { return e.first < v; });
    if (found == mReverse.end() || found->first != c) return 0;
    if (found->second < 0x100) {
        out[0] = (unsigned char)found->second;
        return 1;
    }
    out[0] = (unsigned char)(found->second >> 8);
    out[1] = (unsigned char)(found->second & 0xFF);
    return 2;
}
