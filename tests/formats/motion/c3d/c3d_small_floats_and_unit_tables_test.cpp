// C3D floats at the ends of their ranges (zero, the IEEE subnormals, DEC's smallest and largest
// values) in every processor format, and POINT:UNITS stored as a table of texts.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "formats/motion/c3d/voxa_file_vicon.h"
#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/c3d/c3d_file_builder.h"

using namespace markertest;
using namespace c3dtest;

namespace {

// A DEC float's value by the format's rule: sign, 8-bit exponent e, 23 fraction bits f in the
// high half (stored first, low byte first) and the low half; (0.5 + f / 2^24) x 2^(e - 128), and
// zero for e = 0.
double DecByRule(const uint8_t b[4]) {
    const uint32_t high = (uint32_t)b[0] | (uint32_t)b[1] << 8;
    const uint32_t low = (uint32_t)b[2] | (uint32_t)b[3] << 8;
    const int e = (int)(high >> 7 & 0xFF);
    if (e == 0) return 0.0;
    const double f = (double)((high & 0x7F) << 16 | low);
    const double value = (0.5 + f / 16777216.0) * std::ldexp(1.0, e - 128);
    return (high & 0x8000) ? -value : value;
}

// The same value as an independent reader takes it: the halves swapped are IEEE bits worth four
// times as much (exponents below 255).
double DecAsSwappedIeee(const uint8_t b[4]) {
    const uint8_t swapped[4] = {b[2], b[3], b[0], b[1]};
    float f;
    std::memcpy(&f, swapped, 4);
    return (double)f / 4.0;
}

float FromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

TEST(c3d_small_floats, DecHoldsEverySingleFromItsSmallestValueExactly) {
    // 1e-38 (an IEEE subnormal) by hand: 0x006CE3EE x 2^-149 = (0.5 + 0x59C7DC / 2^24) x 2^-126,
    // so e = 2 and f = 0x59C7DC: high half 0x0159, low half 0xC7DC.
    uint8_t out[4];
    EXPECT_TRUE(VViconNumbers::StoreDecFloat(1.0e-38f, out));
    const uint8_t expected[4] = {0x59, 0x01, 0xDC, 0xC7};
    EXPECT_EQ(std::memcmp(out, expected, 4), 0);
    EXPECT_TRUE(VViconNumbers::StoreDecFloat(-1.0e-38f, out));
    EXPECT_EQ(out[1], 0x81);
    EXPECT_EQ(VViconNumbers::LoadFloat(out, eVICON_DEC), -1.0e-38f);

    // Every single from 2^-128 up to DEC's largest, either sign, is written and read exactly:
    // the subnormals from 2^-128, the smallest and largest normals, and a spread of patterns.
    std::vector<uint32_t> bits = {0x00200000u, 0x00200001u, 0x00400000u, 0x003FFFFFu,
                                  0x007FFFFFu, 0x00800000u, 0x00000000u, 0x3F800000u,
                                  0x7EFFFFFFu, 0x0036A000u, 0x006CE3EEu};
    for (uint32_t b = 0x00200000u; b < 0x7F000000u; b += 0x00C0FFEEu)
        bits.push_back(b);
    for (uint32_t b : bits) {
        for (uint32_t sign : {0u, 0x80000000u}) {
            const float value = FromBits(b | sign);
            SCOPED_TRACE(testing::Message() << std::hex << (b | sign) << " " << value);
            ASSERT_TRUE(VViconNumbers::StoreDecFloat(value, out));
            EXPECT_EQ(DecByRule(out), (double)value);
            if ((out[1] & 0x7F) != 0x7F) {
                EXPECT_EQ(DecAsSwappedIeee(out), (double)value);
            }
            if (value != 0.0f) EXPECT_EQ(std::signbit(DecByRule(out)), sign != 0);
            EXPECT_EQ(VViconNumbers::LoadFloat(out, eVICON_DEC), value);
            // Through the conversions of every format and back.
            uint8_t bytes[4];
            std::memcpy(bytes, out, 4);
            VViconNumbers::ConvertFloat(bytes, eVICON_DEC, eVICON_INTEL);
            EXPECT_EQ(VViconNumbers::LoadFloat(bytes, eVICON_INTEL), value);
            VViconNumbers::ConvertFloat(bytes, eVICON_INTEL, eVICON_MIPS);
            EXPECT_EQ(VViconNumbers::LoadFloat(bytes, eVICON_MIPS), value);
            VViconNumbers::ConvertFloat(bytes, eVICON_MIPS, eVICON_DEC);
            EXPECT_EQ(std::memcmp(bytes, out, 4), 0);
        }
    }
    // Below 2^-128 DEC holds nothing but zero: such a value is written as zero and said so.
    for (float tiny : {1.0e-39f, -1.0e-39f, FromBits(1), FromBits(0x001FFFFFu)}) {
        EXPECT_FALSE(VViconNumbers::StoreDecFloat(tiny, out)) << tiny;
        EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0) << tiny;
    }
    // Doubles keep DEC's 24 bits down to its smallest value: 5e-39 is written to within half a
    // unit of its last bit (2^-152), not as a single's subnormal.
    EXPECT_TRUE(VViconNumbers::StoreDec(5.0e-39, out));
    EXPECT_LE(std::fabs(DecByRule(out) - 5.0e-39), std::ldexp(1.0, -153));
    EXPECT_EQ(DecByRule(out), DecAsSwappedIeee(out));
}

TEST(c3d_small_floats, EveryFormatReadsItsEdgesExactly) {
    // DEC's smallest value 2^-128 (e = 1, f = 0) and its negative; the largest,
    // (1 - 2^-24) x 2^127; a "dirty" zero (e = 0, fraction set) is zero.
    const uint8_t smallest[4] = {0x80, 0x00, 0x00, 0x00};
    const uint8_t negativeSmallest[4] = {0x80, 0x80, 0x00, 0x00};
    const uint8_t largest[4] = {0xFF, 0x7F, 0xFF, 0xFF};
    const uint8_t dirtyZero[4] = {0x12, 0x00, 0x34, 0x56};
    EXPECT_EQ(VViconNumbers::LoadFloat(smallest, eVICON_DEC), (float)std::ldexp(1.0, -128));
    EXPECT_EQ(VViconNumbers::LoadFloat(negativeSmallest, eVICON_DEC), -(float)std::ldexp(1.0, -128));
    EXPECT_EQ(VViconNumbers::LoadFloat(largest, eVICON_DEC), (float)((1.0 - std::ldexp(1.0, -24)) * 0x1p127));
    EXPECT_EQ(VViconNumbers::DecValue(largest), DecByRule(largest));
    EXPECT_EQ(VViconNumbers::LoadFloat(dirtyZero, eVICON_DEC), 0.0f);
    // e = 2: 2^-127 exactly, as a single's subnormal.
    const uint8_t twoExp[4] = {0x00, 0x01, 0x00, 0x00};
    EXPECT_EQ(VViconNumbers::LoadFloat(twoExp, eVICON_DEC), (float)std::ldexp(1.0, -127));

    // IEEE: the smallest normal in MIPS order (00 80 00 00) and a subnormal, in both orders.
    const uint8_t mipsMin[4] = {0x00, 0x80, 0x00, 0x00};
    EXPECT_EQ(VViconNumbers::LoadFloat(mipsMin, eVICON_MIPS), FLT_MIN);
    const uint8_t intelMin[4] = {0x00, 0x00, 0x80, 0x00};
    EXPECT_EQ(VViconNumbers::LoadFloat(intelMin, eVICON_INTEL), FLT_MIN);
    const uint8_t mipsSub[4] = {0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(VViconNumbers::LoadFloat(mipsSub, eVICON_MIPS), FromBits(1));
    uint8_t bytes[4] = {0x00, 0x80, 0x00, 0x00};
    VViconNumbers::ConvertFloat(bytes, eVICON_MIPS, eVICON_INTEL);
    EXPECT_EQ(std::memcmp(bytes, intelMin, 4), 0);
}

namespace {

class C3dEdges : public Fixture {
protected:
    bool ReadBuilt(const std::string& name, const Builder& b) {
        const std::string path = TempPath(name);
        WriteFile(path, b.Build());
        VOxaReaderVicon reader(mManager);
        const bool ok = ReadWith(reader, path);
        mRead = reader.GetMessageText().Buffer();
        return ok;
    }
    std::string mRead;
};

}  // namespace

TEST_F(C3dEdges, UnitsStoredAsATableOfTexts) {
    // POINT:UNITS as a table of two rows "cm" (the way some systems store one unit), a table of
    // one row "mm  ", a table whose second row is blank, rows that disagree, an empty text, and unit
    // words cut short by their cells.
    // The point lies at x = 12 file units; scene x is -x in centimetres.
    const struct {
        Record units;
        double centimetres;
        const char* warned;
    } cases[] = {
        {Table("UNITS", {"cm", "cm"}, 2), 1.0, nullptr},
        {Table("UNITS", {"mm"}, 4), 0.1, nullptr},
        {Table("UNITS", {"m", ""}, 3), 100.0, nullptr},
        {Table("UNITS", {"in", "IN", "in"}, 2), 2.54, nullptr},
        {Table("UNITS", {"mm", "m"}, 2), 0.1,
         "POINT:UNITS holds different units (\"mm\" and \"m\"); the first is used."},
        {Chars("UNITS", ""), 0.1, "POINT:UNITS is empty; the positions are read as millimetres."},
        // A cell too narrow for its word: "meters" stored in four characters, as a public file
        // does; a word that names no unit, and a short text padded in its cell, stay millimetres.
        {Chars("UNITS", "mete"), 100.0, "POINT:UNITS \"mete\" fills its cell; it is read as \"meters\"."},
        {Table("UNITS", {"cent"}, 4), 1.0, "it is read as \"centimeters\"."},
        {Chars("UNITS", "metr"), 100.0, "it is read as \"metres\"."},
        {Chars("UNITS", "pixe"), 0.1, "POINT:UNITS \"pixe\" is no length unit"},
        {Table("UNITS", {"met"}, 6), 0.1, "POINT:UNITS \"met\" is no length unit"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        Builder b;
        b.records = {Group("POINT", 1), Table("LABELS", {"A"}, 4), c.units};
        b.frames = {{Point{12.0, 0.0, 0.0}}};
        ASSERT_TRUE(ReadBuilt("units" + std::to_string(n++) + ".c3d", b));
        VOxaNode* a = Find("A");
        ASSERT_NE(a, nullptr);
        EXPECT_NEAR(Key(a, 0, 0), -12.0 * c.centimetres, 1e-4 * c.centimetres);
        if (c.warned)
            EXPECT_NE(mRead.find(c.warned), std::string::npos) << mRead;
        else
            EXPECT_EQ(mRead.find("UNITS"), std::string::npos) << mRead;
        mScene->Clear();
    }
}

TEST_F(C3dEdges, TinyCoordinatesAreWrittenToDecsLastBit) {
    // Positions in centimetres of 1e-39, 5e-40, -1e-39 (1e-38, 5e-39 and -1e-38 mm, below IEEE's
    // smallest normal), and 1e-40 cm, which is below DEC's smallest value once in millimetres.
    const float cm[4] = {1.0e-39f, 5.0e-40f, -1.0e-39f, 1.0e-40f};
    AddMarked(mScene->GetRootNode(), "A", {VgeTVector(cm[0], cm[1], cm[2], 0.0)});
    AddMarked(mScene->GetRootNode(), "B", {VgeTVector(cm[3], 1.0, 1.0, 0.0)});
    const std::string path = TempPath("tiny.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetTimeMode(0, 30.0);
        o.SetFrameCount(1);
    }));
    EXPECT_NE(std::string(writer.GetMessageText().Buffer())
                  .find("1 coordinates are nearer 0 than 2.939e-39 mm, the smallest DEC float, and are "
                        "written as 0."),
              std::string::npos)
        << writer.GetMessageText().Buffer();

    // The data section by the format's rule: the file point is (-x, z, y) in millimetres.
    const std::string bytes = ReadFile(path);
    const size_t data = ((size_t)((uint8_t)bytes[16] | (uint8_t)bytes[17] << 8) - 1) * 512;
    ASSERT_GE(bytes.size(), data + 32);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data() + data);
    const double mm[3] = {-(double)cm[0] * 10.0, (double)cm[2] * 10.0, (double)cm[1] * 10.0};
    for (int a = 0; a < 3; ++a) {
        SCOPED_TRACE(a);
        const double written = DecByRule(p + 4 * a);
        EXPECT_EQ(written, DecAsSwappedIeee(p + 4 * a));
        // Within half a unit of DEC's 24th bit, and of the same sign.
        EXPECT_LE(std::fabs(written - mm[a]), std::fabs(mm[a]) * std::ldexp(1.0, -24));
    }
    EXPECT_EQ(DecByRule(p + 12), 0.0);  // valid
    EXPECT_EQ(DecByRule(p + 16), 0.0);  // B's x: below DEC's smallest value

    // Read back: the same centimetres to a single's last bit.
    mScene->Clear();
    VOxaReaderVicon reader(mManager);
    ASSERT_TRUE(ReadWith(reader, path));
    VOxaNode* a = Find("A");
    ASSERT_NE(a, nullptr);
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_NEAR(Key(a, axis, 0), cm[axis], 2e-45) << axis;
}
