#include "oxa_codec/voxa.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::vector<uint8_t> Bytes(const VOxa& oxa) {
    return std::vector<uint8_t>(oxa.GetMemoryData(), oxa.GetMemoryData() + oxa.GetMemorySize());
}

uint64_t Bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, 8);
    return b;
}

uint32_t Bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, 4);
    return b;
}

// Reads everything reachable, the way a careless caller would; used on damaged input, where
// the only expectation is that nothing crashes or hangs.
void ReadAll(VOxa& oxa, int depth = 0) {
    static const char* const kNames[] = {"A", "B", "C", "Key", "Default", "Section", "N"};
    for (const char* name : kNames) {
        for (int k = 0; k < 4 && oxa.FieldReadBegin(name); ++k) {
            while (oxa.FieldReadRemaining() > 0) {
                switch (oxa.FieldReadPeekType()) {
                    case 'C':
                        oxa.FieldReadC();
                        break;
                    case 'L':
                        oxa.FieldReadT();
                        break;
                    case 'S':
                        oxa.FieldReadS();
                        break;
                    default:
                        oxa.FieldReadD();
                        break;
                }
            }
            oxa.FieldReadI();
            if (depth < 8 && oxa.FieldReadBlockBegin()) {
                ReadAll(oxa, depth + 1);
                oxa.FieldReadBlockEnd();
            }
            oxa.FieldReadEnd();
        }
    }
}

void ReadAllSections(VOxa& oxa) {
    for (int s = 0; s < oxa.GetSectionCount(); ++s) {
        if (oxa.SectionReadBegin(s)) {
            ReadAll(oxa);
            oxa.SectionReadEnd();
        }
    }
}

// A small file with fields A (values), B (a block with C and D) and E after it.
std::vector<uint8_t> WriteNeighbours(bool binary) {
    VOxa oxa;
    oxa.MemoryCreate(binary);
    oxa.SectionWriteBegin("Objects", 4000);
    oxa.FieldWriteBegin("A");
    oxa.FieldWriteI(1);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("B");
    oxa.FieldWriteS("b");
    oxa.FieldWriteBlockBegin();
    oxa.FieldWriteBegin("Cx");
    oxa.FieldWriteI(3);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Dx");
    oxa.FieldWriteD(4.5);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBlockEnd();
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("E");
    oxa.FieldWriteI(5);
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    EXPECT_TRUE(oxa.FileClose());
    return Bytes(oxa);
}

size_t Find(const std::vector<uint8_t>& bytes, const char* text) {
    std::string all(bytes.begin(), bytes.end());
    size_t at = all.find(text);
    EXPECT_NE(at, std::string::npos) << text;
    return at;
}

class VOxaForms : public ::testing::TestWithParam<bool> {
protected:
    bool Binary() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(BinaryAndText, VOxaForms, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Binary" : "Text";
                         });

TEST_P(VOxaForms, MisuseAndBadInputFailCleanly) {
    VOxa oxa;
    // Nothing open.
    EXPECT_FALSE(oxa.FileClose());
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_NOT_OPENED);
    EXPECT_FALSE(oxa.FieldReadBegin("A"));
    EXPECT_EQ(oxa.FieldReadI(), 0);

    // A value outside a field, a field outside a section and an unstorable name poison the file.
    for (int misuse = 0; misuse < 4; ++misuse) {
        ASSERT_TRUE(oxa.MemoryCreate(Binary()));
        if (misuse == 0) {
            EXPECT_FALSE(oxa.FieldWriteBegin("A"));
        }
        oxa.SectionWriteBegin("S", 1);
        if (misuse == 1) {
            EXPECT_FALSE(oxa.FieldWriteI(1));
        }
        if (misuse == 2) {
            EXPECT_FALSE(oxa.FieldWriteBegin("bad:name"));
        }
        if (misuse == 3) {
            oxa.FieldWriteBegin("A");  // left open
        } else {
            oxa.SectionWriteEnd();
        }
        EXPECT_FALSE(oxa.FileClose()) << misuse;
        EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eINVALID_OPERATION);
        EXPECT_STREQ(oxa.GetError().GetLastErrorString().Buffer(), "Invalid field operation");
    }

    // Neither form: short, and long enough to hold the text form's first line but another one.
    const char junk[] = "not an oxa file";
    EXPECT_FALSE(oxa.MemoryOpen(junk, sizeof junk));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    const std::string other = "; some other file, but well formed\nSection: \"S\", 1 {\n}\n";
    EXPECT_FALSE(oxa.MemoryOpen(other.data(), other.size()));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    EXPECT_FALSE(oxa.IsOpen());
    EXPECT_FALSE(oxa.MemoryOpen(nullptr, 0));
    // Ending a section that is not open.
    const std::string empty = "; OXA field file\nSection: \"S\", 1 {\n}\n";
    ASSERT_TRUE(oxa.MemoryOpen(empty.data(), empty.size()));
    EXPECT_FALSE(oxa.SectionReadEnd());
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    EXPECT_TRUE(oxa.SectionReadEnd());
    EXPECT_FALSE(oxa.SectionReadEnd());
}

TEST_P(VOxaForms, EveryValueTypeRoundTrips) {
    const double doubles[] = {0.0,
                              -0.0,
                              1.0 / 3.0,
                              -2.5e-308,
                              4.9406564584124654e-324,
                              std::numeric_limits<double>::max(),
                              std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
    const float floats[] = {0.1f, -3.4028235e38f, 1e-45f, 7.0f};
    const int ints[] = {0, -1, INT_MAX, INT_MIN};
    const int64_t longs[] = {INT64_MAX, INT64_MIN, 46186158000LL};
    const char chars[] = {'C', 'n', ',', '"', ' ', '\\', '\n', '\0', '{', (char)0xE9};
    const char* strings[] = {"", "plain", "with \"quotes\", commas; {braces}", "tab\tnew\nline\\",
                             "\x01\x7f"};

    VOxa oxa;
    ASSERT_TRUE(oxa.MemoryCreate(Binary()));
    ASSERT_TRUE(oxa.SectionWriteBegin("Values", 4000));
    oxa.FieldWriteBegin("All");
    for (double d : doubles)
        oxa.FieldWriteD(d);
    for (float f : floats)
        oxa.FieldWriteF(f);
    for (int i : ints)
        oxa.FieldWriteI(i);
    for (int64_t l : longs)
        oxa.FieldWriteL(l);
    for (char c : chars)
        oxa.FieldWriteC(c);
    for (const char* s : strings)
        oxa.FieldWriteS(s);
    oxa.FieldWriteD(std::nan(""));
    ASSERT_TRUE(oxa.FieldWriteEnd());
    ASSERT_TRUE(oxa.SectionWriteEnd());
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);

    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    EXPECT_EQ(oxa.IsBinary(), Binary());
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("All"));
    const int total = 8 + 4 + 4 + 3 + 10 + 5 + 1;
    EXPECT_EQ(oxa.FieldReadRemaining(), total);
    for (double d : doubles) {
        if (Binary()) {
            EXPECT_EQ(oxa.FieldReadPeekType(), 'D');
        }
        EXPECT_EQ(Bits(oxa.FieldReadD()), Bits(d)) << d;
    }
    for (float f : floats)
        EXPECT_EQ(Bits(oxa.FieldReadF()), Bits(f)) << f;
    for (int i : ints)
        EXPECT_EQ(oxa.FieldReadI(), i);
    for (int64_t l : longs)
        EXPECT_EQ(oxa.FieldReadL(), l);
    for (char c : chars)
        EXPECT_EQ(oxa.FieldReadC(), c) << (int)c;
    for (const char* s : strings)
        EXPECT_STREQ(oxa.FieldReadS(), s);
    EXPECT_TRUE(std::isnan(oxa.FieldReadD()));
    EXPECT_EQ(oxa.FieldReadRemaining(), 0);
    EXPECT_TRUE(oxa.FieldReadEnd());
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), -1);
}

TEST_P(VOxaForms, RandomDoublesReadBackBitExact) {
    std::mt19937_64 random(7);
    std::vector<double> values;
    while (values.size() < 20000) {
        uint64_t bits = random();
        double d;
        std::memcpy(&d, &bits, 8);
        if (!std::isnan(d)) values.push_back(d);
        values.push_back(std::ldexp((double)(random() >> 11), -(int)(random() % 80)));
    }
    VOxa oxa;
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("R", 1);
    oxa.FieldWriteBegin("Key");
    for (double d : values)
        oxa.FieldWriteD(d);
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    ASSERT_EQ(oxa.FieldReadRemaining(), (int)values.size());
    for (size_t k = 0; k < values.size(); ++k)
        ASSERT_EQ(Bits(oxa.FieldReadD()), Bits(values[k])) << k;
}

TEST_P(VOxaForms, TimeRuleFollowsSectionVersion) {
    const int versions[] = {2000, 2001, 4000};
    VTime times[3];
    times[0].Set(VTime::kOneSecond / 30);  // exact in seconds and ticks
    times[1].Set(123456789012345LL);       // not a whole number of anything
    times[2].Set(-VTime::kOneSecond * 7 / 3);

    VOxa oxa;
    oxa.MemoryCreate(Binary());
    for (int version : versions) {
        oxa.SectionWriteBegin("Takes", version);
        oxa.FieldWriteBegin("T");
        for (VTime t : times)
            oxa.FieldWriteT(t);
        oxa.FieldWriteEnd();
        oxa.SectionWriteEnd();
    }
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);
    if (!Binary()) {
        std::string text(bytes.begin(), bytes.end());
        EXPECT_NE(text.find("T: 0.03333333333333333,"), std::string::npos) << text;  // seconds at 2000
        EXPECT_NE(text.find("T: 1539538600,123456789012345,"), std::string::npos) << text;
    }

    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_EQ(oxa.GetSectionCount(), 3);
    for (int s = 0; s < 3; ++s) {
        EXPECT_EQ(oxa.GetSectionVersion(s), versions[s]);
        ASSERT_TRUE(oxa.SectionReadBegin(s));
        EXPECT_EQ(oxa.GetCurrentSection(), s);
        ASSERT_TRUE(oxa.FieldReadBegin("T"));
        for (VTime t : times) {
            if (Binary()) {
                EXPECT_EQ(oxa.FieldReadPeekType(), versions[s] >= 2001 ? 'L' : 'D');
            }
            VTime expected = t;
            if (versions[s] < 2001) expected.SetSecondDouble(t.GetSecondDouble());  // seconds lose ticks
            EXPECT_EQ(oxa.FieldReadT().Get(), expected.Get()) << versions[s];
        }
        oxa.SectionReadEnd();
    }
    EXPECT_EQ(oxa.GetSectionVersion(3), 0);
    EXPECT_EQ(oxa.GetSectionVersion(-1), 0);
    EXPECT_STREQ(oxa.GetSectionName(1), "Takes");
    EXPECT_STREQ(oxa.GetSectionName(9), "");
}

TEST_P(VOxaForms, EachNameKeepsItsOwnCursor) {
    VOxa oxa;
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("S", 4000);
    // Channel and Key occurrences interleaved: C0 K0 C1 K1 C2
    for (int k = 0; k < 3; ++k) {
        oxa.FieldWriteBegin("Channel");
        oxa.FieldWriteI(k);
        oxa.FieldWriteEnd();
        if (k < 2) {
            oxa.FieldWriteBegin("Key");
            oxa.FieldWriteI(100 + k);
            oxa.FieldWriteEnd();
        }
    }
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));

    // Begin without End takes the same occurrence again.
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    EXPECT_EQ(oxa.FieldReadI(), 100);
    oxa.FieldReadEnd();
    // Reading Key first does not move Channel's cursor.
    ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
    EXPECT_EQ(oxa.FieldReadI(), 0);
    oxa.FieldReadEnd();
    ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
    EXPECT_EQ(oxa.FieldReadI(), 1);
    oxa.FieldReadEnd();
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    EXPECT_EQ(oxa.FieldReadI(), 101);
    oxa.FieldReadEnd();
    EXPECT_FALSE(oxa.FieldReadBegin("Key"));
    EXPECT_FALSE(oxa.FieldReadEnd());
    ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
    EXPECT_EQ(oxa.FieldReadI(), 2);
    oxa.FieldReadEnd();
    EXPECT_FALSE(oxa.FieldReadBegin("Channel"));
    EXPECT_FALSE(oxa.FieldReadBegin("channel"));  // names are exact

    // Re-entering the section starts every cursor afresh.
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
    EXPECT_EQ(oxa.FieldReadI(), 0);
}

TEST_P(VOxaForms, BlocksNestThreeDeepWithTheirOwnCursors) {
    VOxa oxa;
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("Curves", 4004);
    // Channel "T" { Channel "X" { Default 1.5  Channel "deep" { Default 2.5 } }  Channel "Y" { Default 3.5 }
    // }
    oxa.FieldWriteBegin("Channel");
    oxa.FieldWriteS("T");
    oxa.FieldWriteBlockBegin();
    oxa.FieldWriteBegin("Channel");
    oxa.FieldWriteS("X");
    oxa.FieldWriteBlockBegin();
    oxa.FieldWriteBegin("Default");
    oxa.FieldWriteD(1.5);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Channel");
    oxa.FieldWriteS("deep");
    oxa.FieldWriteBlockBegin();
    oxa.FieldWriteBegin("Default");
    oxa.FieldWriteD(2.5);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBlockEnd();
    oxa.FieldWriteEnd();
    oxa.FieldWriteBlockEnd();
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Channel");
    oxa.FieldWriteS("Y");
    oxa.FieldWriteBlockBegin();
    oxa.FieldWriteBegin("Default");
    oxa.FieldWriteD(3.5);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBlockEnd();
    oxa.FieldWriteEnd();
    oxa.FieldWriteBlockEnd();
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);

    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    EXPECT_FALSE(oxa.FieldReadBlockEnd());  // already at the section's list
    ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
    EXPECT_STREQ(oxa.FieldReadS(), "T");
    ASSERT_TRUE(oxa.FieldReadBlockBegin());
    {
        ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
        EXPECT_STREQ(oxa.FieldReadS(), "X");
        ASSERT_TRUE(oxa.FieldReadBlockBegin());
        {
            EXPECT_EQ(oxa.FieldReadIOrDefault("Missing", -4), -4);
            ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
            EXPECT_STREQ(oxa.FieldReadS(), "deep");
            ASSERT_TRUE(oxa.FieldReadBlockBegin());
            ASSERT_TRUE(oxa.FieldReadBegin("Default"));
            EXPECT_EQ(oxa.FieldReadD(), 2.5);
            EXPECT_FALSE(oxa.FieldReadBlockBegin());  // a field without a block
            oxa.FieldReadEnd();
            ASSERT_TRUE(oxa.FieldReadBlockEnd());
            oxa.FieldReadEnd();
            // The outer Default was not touched by the inner one.
            ASSERT_TRUE(oxa.FieldReadBegin("Default"));
            EXPECT_EQ(oxa.FieldReadD(), 1.5);
            oxa.FieldReadEnd();
        }
        ASSERT_TRUE(oxa.FieldReadBlockEnd());
        // Leaving the block makes its field current again.
        EXPECT_EQ(oxa.FieldReadRemaining(), 0);
        oxa.FieldReadEnd();
        ASSERT_TRUE(oxa.FieldReadBegin("Channel"));
        EXPECT_STREQ(oxa.FieldReadS(), "Y");
        ASSERT_TRUE(oxa.FieldReadBlockBegin());
        ASSERT_TRUE(oxa.FieldReadBegin("Default"));
        EXPECT_EQ(oxa.FieldReadD(), 3.5);
        ASSERT_TRUE(oxa.FieldReadBlockEnd());
        oxa.FieldReadEnd();
        EXPECT_FALSE(oxa.FieldReadBegin("Channel"));
    }
    ASSERT_TRUE(oxa.FieldReadBlockEnd());
    oxa.FieldReadEnd();
    EXPECT_FALSE(oxa.FieldReadBegin("Channel"));
}

TEST_P(VOxaForms, DefaultsAndReadsPastTheEnd) {
    VOxa oxa;
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("S", 4000);
    oxa.FieldWriteBegin("Empty");
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Type");
    oxa.FieldWriteC('R');
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Repetition");
    oxa.FieldWriteI(-1);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("UserName");
    oxa.FieldWriteS("Hip");
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("One");
    oxa.FieldWriteD(2.0);
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> bytes = Bytes(oxa);
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));

    EXPECT_EQ(oxa.FieldReadCOrDefault("Type", '0'), 'R');
    EXPECT_EQ(oxa.FieldReadCOrDefault("Type", '0'), '0');  // the only occurrence was consumed
    EXPECT_EQ(oxa.FieldReadIOrDefault("Repetition", 0), -1);
    EXPECT_EQ(oxa.FieldReadIOrDefault("Absent", 42), 42);
    EXPECT_EQ(oxa.FieldReadIOrDefault("Empty", 7), 7);
    EXPECT_STREQ(oxa.FieldReadSOrDefault("UserName", ""), "Hip");
    EXPECT_STREQ(oxa.FieldReadSOrDefault("UserName", "none"), "none");
    EXPECT_EQ(oxa.FieldReadCOrDefault("Absent", 'x'), 'x');

    ASSERT_TRUE(oxa.FieldReadBegin("One"));
    EXPECT_EQ(oxa.FieldReadRemaining(), 1);
    EXPECT_EQ(oxa.FieldReadD(), 2.0);
    EXPECT_EQ(oxa.FieldReadRemaining(), 0);
    EXPECT_EQ(oxa.FieldReadPeekType(), 'S');
    EXPECT_EQ(oxa.FieldReadD(), 0.0);
    EXPECT_EQ(oxa.FieldReadI(), 0);
    EXPECT_EQ(oxa.FieldReadC(), 0);
    EXPECT_STREQ(oxa.FieldReadS(), "");
    EXPECT_EQ(oxa.FieldReadT().Get(), 0);
    EXPECT_EQ(oxa.FieldReadRemaining(), 0);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), -1);  // running out is not an error
}

TEST_P(VOxaForms, DamagedBlockFailsAndNeighboursStayReadable) {
    std::vector<uint8_t> bytes = WriteNeighbours(Binary());
    size_t at = Find(bytes, "Cx");
    if (Binary()) {
        // The record length of Cx (before its name length) now claims more than the block holds.
        bytes[at - 12 + 5] = 0x7F;
    } else {
        bytes[at + 2] = ' ';  // "Cx 3" is no field line
    }
    VOxa oxa;
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("B"));
    EXPECT_STREQ(oxa.FieldReadS(), "b");
    EXPECT_FALSE(oxa.FieldReadBlockBegin());
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    EXPECT_STREQ(oxa.GetError().GetLastErrorString().Buffer(), "File is corrupted");
    EXPECT_TRUE(oxa.FieldReadEnd());
    EXPECT_EQ(oxa.FieldReadIOrDefault("E", 0), 5);
    EXPECT_EQ(oxa.FieldReadIOrDefault("A", 0), 1);
}

TEST_P(VOxaForms, TruncatedFilesNeverCrash) {
    std::vector<uint8_t> whole = WriteNeighbours(Binary());
    for (size_t size = 0; size < whole.size(); ++size) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + size);
        VOxa oxa;
        if (oxa.MemoryOpen(part.data(), part.size())) {
            ReadAllSections(oxa);
        } else {
            EXPECT_NE(oxa.GetError().GetLastErrorID(), -1) << size;
        }
    }
}

TEST_P(VOxaForms, RunawayNestingIsRefused) {
    VOxa oxa;
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("S", 1);
    int opened = 0;
    for (; opened < VOxa::kMaxBlockDepth + 5; ++opened) {
        if (!oxa.FieldWriteBegin("N")) break;
        if (!oxa.FieldWriteBlockBegin()) break;
    }
    EXPECT_EQ(opened, VOxa::kMaxBlockDepth);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eNESTING_TOO_DEEP);
    EXPECT_FALSE(oxa.FileClose());

    // The deepest nesting the writer makes reads back to the bottom.
    oxa.MemoryCreate(Binary());
    oxa.SectionWriteBegin("S", 1);
    for (int k = 0; k < VOxa::kMaxBlockDepth; ++k) {
        oxa.FieldWriteBegin("N");
        oxa.FieldWriteI(k);
        oxa.FieldWriteBlockBegin();
    }
    for (int k = 0; k < VOxa::kMaxBlockDepth; ++k) {
        oxa.FieldWriteBlockEnd();
        oxa.FieldWriteEnd();
    }
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    std::vector<uint8_t> deep = Bytes(oxa);
    ASSERT_TRUE(oxa.MemoryOpen(deep.data(), deep.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    int reached = 0;
    while (oxa.FieldReadBegin("N") && oxa.FieldReadI() == reached && oxa.FieldReadBlockBegin())
        ++reached;
    EXPECT_EQ(reached, VOxa::kMaxBlockDepth);

    if (Binary()) return;
    // A hand-made text file nested far deeper than any writer makes.
    std::string text = "; OXA field file\nSection: \"S\", 1 {\n";
    for (int k = 0; k < 5000; ++k)
        text += "N: {\n";
    for (int k = 0; k < 5000; ++k)
        text += "}\n";
    text += "}\n";
    EXPECT_FALSE(oxa.MemoryOpen(text.data(), text.size()));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eNESTING_TOO_DEEP);
}

namespace {

// Hand-made binary files, for shapes no writer makes: little-endian numbers, field records
// (length of the rest, name, value count, value bytes, block flag, block) and a file of one
// section "S".
std::string U32(uint32_t v) {
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += (char)((v >> (8 * i)) & 0xFF);
    return out;
}

std::string U64(uint64_t v) {
    return U32((uint32_t)v) + U32((uint32_t)(v >> 32));
}

std::string Record(const std::string& name, const std::string& values, uint32_t count, bool hasBlock,
                   const std::string& block = std::string()) {
    std::string body = U32((uint32_t)name.size()) + name + U32(count) + U64(values.size()) + values;
    body += hasBlock ? '\1' + block : std::string(1, '\0');
    return U64(body.size()) + body;
}

std::string BinaryFile(const std::string& sectionContent) {
    std::string values = "S" + U32(1) + "S" + "I" + U32(1);
    return "OXAFIELD" + U32(1) + U32(0) + Record("Section", values, 2, true, sectionContent);
}

// Fields "N" nested `depth` deep, each holding the next in its block, in either form.
std::string NestedFile(bool binary, int depth) {
    if (binary) {
        std::string block;
        for (int k = 0; k < depth; ++k)
            block = Record("N", "", 0, true, block);
        return BinaryFile(block);
    }
    std::string text = "; OXA field file\nSection: \"S\", 1 {\n";
    for (int k = 0; k < depth; ++k)
        text += "N: {\n";
    for (int k = 0; k < depth; ++k)
        text += "}\n";
    return text + "}\n";
}

}  // namespace

TEST_P(VOxaForms, NestingLimitToTheLevel) {
    VOxa oxa;
    // Exactly at the limit: read to the bottom.
    std::string file = NestedFile(Binary(), VOxa::kMaxBlockDepth);
    ASSERT_TRUE(oxa.MemoryOpen(file.data(), file.size())) << oxa.GetError().GetLastErrorString().Buffer();
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    int reached = 0;
    while (oxa.FieldReadBegin("N") && oxa.FieldReadBlockBegin())
        ++reached;
    EXPECT_EQ(reached, VOxa::kMaxBlockDepth);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), -1);

    // One level past it: refused, by the binary reader at that block, by the text reader at once.
    file = NestedFile(Binary(), VOxa::kMaxBlockDepth + 1);
    if (Binary()) {
        ASSERT_TRUE(oxa.MemoryOpen(file.data(), file.size()));
        ASSERT_TRUE(oxa.SectionReadBegin(0));
        reached = 0;
        while (oxa.FieldReadBegin("N") && oxa.FieldReadBlockBegin())
            ++reached;
        EXPECT_EQ(reached, VOxa::kMaxBlockDepth);
    } else {
        EXPECT_FALSE(oxa.MemoryOpen(file.data(), file.size()));
    }
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eNESTING_TOO_DEEP);
}

TEST(VOxaBinary, DoubleCutShortAtTheEndOfAField) {
    // "Cut" holds one double of which only seven bytes are inside the field; the byte after them
    // is the field's block flag. The value is refused, nothing past the field is read, and the
    // next field is whole.
    const std::string bytesOfOneAndAHalf("\0\0\0\0\0\0\xF8\x3F", 8);
    const std::string cut = "D" + bytesOfOneAndAHalf.substr(0, 7);
    std::string file = BinaryFile(Record("Cut", cut, 1, false) + Record("Next", "I" + U32(9), 1, false) +
                                  Record("Whole", "D" + bytesOfOneAndAHalf, 1, false));
    VOxa oxa;
    ASSERT_TRUE(oxa.MemoryOpen(file.data(), file.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Cut"));
    EXPECT_EQ(oxa.FieldReadRemaining(), 1);
    EXPECT_EQ(oxa.FieldReadD(), 0.0);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    EXPECT_STREQ(oxa.GetError().GetLastErrorString().Buffer(), "File is corrupted");
    EXPECT_EQ(oxa.FieldReadRemaining(), 0);
    EXPECT_EQ(oxa.FieldReadD(), 0.0);
    EXPECT_TRUE(oxa.FieldReadEnd());
    EXPECT_EQ(oxa.FieldReadIOrDefault("Next", 0), 9);
    ASSERT_TRUE(oxa.FieldReadBegin("Whole"));
    EXPECT_EQ(oxa.FieldReadD(), 1.5);
    // The same cut value read through the other typed reads.
    ASSERT_TRUE(oxa.MemoryOpen(file.data(), file.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Cut"));
    EXPECT_EQ(oxa.FieldReadI(), 0);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
}

TEST(VOxaBinary, DamagedSectionIsNotEntered) {
    // The section's one field claims more bytes than the section holds.
    std::string field = Record("A", "I" + U32(1), 1, false);
    field[5] = 0x7F;
    std::string file = BinaryFile(field);
    VOxa oxa;
    ASSERT_TRUE(oxa.MemoryOpen(file.data(), file.size()));
    ASSERT_EQ(oxa.GetSectionCount(), 1);
    EXPECT_FALSE(oxa.SectionReadBegin(0));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    EXPECT_EQ(oxa.GetCurrentSection(), -1);
    EXPECT_FALSE(oxa.FieldReadBegin("A"));
    EXPECT_FALSE(oxa.SectionReadEnd());
}

TEST(VOxaBinary, LyingCountsAndUnknownTypesAreCaught) {
    VOxa oxa;
    oxa.MemoryCreate(true);
    oxa.SectionWriteBegin("S", 1);
    oxa.FieldWriteBegin("Key");
    oxa.FieldWriteD(1.0);
    oxa.FieldWriteD(2.0);
    oxa.FieldWriteEnd();
    oxa.FieldWriteBegin("Next");
    oxa.FieldWriteI(9);
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    const std::vector<uint8_t> good = Bytes(oxa);
    const size_t name = Find(good, "Key");
    const size_t count = name + 3;

    // A value count larger than the values hold: the extra reads fail without reading beyond.
    std::vector<uint8_t> bytes = good;
    bytes[count] = 9;
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    EXPECT_EQ(oxa.FieldReadRemaining(), 9);
    EXPECT_EQ(oxa.FieldReadD(), 1.0);
    EXPECT_EQ(oxa.FieldReadD(), 2.0);
    EXPECT_EQ(oxa.FieldReadD(), 0.0);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);
    EXPECT_EQ(oxa.FieldReadRemaining(), 0);
    oxa.FieldReadEnd();
    EXPECT_EQ(oxa.FieldReadIOrDefault("Next", 0), 9);

    // An impossible count breaks the list.
    bytes = good;
    bytes[count + 3] = 0x40;
    EXPECT_FALSE(oxa.MemoryOpen(bytes.data(), bytes.size()) && oxa.SectionReadBegin(0));

    // An unknown type letter.
    bytes = good;
    bytes[count + 12] = 'Q';
    ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    EXPECT_EQ(oxa.FieldReadPeekType(), 'Q');
    EXPECT_EQ(oxa.FieldReadD(), 0.0);
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_CORRUPTED);

    // A newer format version.
    bytes = good;
    bytes[8] = 2;
    EXPECT_FALSE(oxa.MemoryOpen(bytes.data(), bytes.size()));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_VERSION_NOT_SUPPORTED_YET);
}

TEST(VOxaText, HandWrittenFilesAreRead) {
    const std::string text =
        "; OXA field file\r\n"
        "; a comment\n"
        "FormatVersion: 1\n"
        "Version5Layout: 1\n"
        "Section: \"Takes\", 2001 {\n"
        "  Key: +1, 2.5e1,\n"
        "       ; values go on after a comma\n"
        "       \"x\\x41\"   ; trailing comment\n"
        "  Type: C\n"
        "}\n";
    VOxa oxa;
    ASSERT_TRUE(oxa.MemoryOpen(text.data(), text.size())) << oxa.GetError().GetLastErrorString().Buffer();
    EXPECT_FALSE(oxa.IsBinary());
    EXPECT_TRUE(oxa.IsVersion5Layout());
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    ASSERT_TRUE(oxa.FieldReadBegin("Key"));
    EXPECT_EQ(oxa.FieldReadRemaining(), 3);
    EXPECT_EQ(oxa.FieldReadI(), 1);
    EXPECT_EQ(oxa.FieldReadI(), 25);  // a real read as an integer
    EXPECT_STREQ(oxa.FieldReadS(), "xA");
    oxa.FieldReadEnd();
    EXPECT_EQ(oxa.FieldReadCOrDefault("Type", '0'), 'C');

    const char* const broken[] = {
        "; OXA field file\nSection: \"S\", 1 {\n}\n}\n",       // unbalanced
        "; OXA field file\nSection: \"S\", 1 {\n",             // unclosed
        "; OXA field file\nSection: S, 1 {\n}\n",              // name not quoted
        "; OXA field file\nFormatVersion: 2\n",                // newer version
        "; OXA field file\nSection: \"S\", 1 {\n A: 1,\n}\n",  // a comma with nothing after it
    };
    for (const char* file : broken) {
        EXPECT_FALSE(oxa.MemoryOpen(file, std::strlen(file)) && oxa.SectionReadBegin(0)) << file;
    }
}

TEST_P(VOxaForms, Version5FlagIsKept) {
    for (bool flag : {false, true}) {
        VOxa oxa;
        oxa.MemoryCreate(Binary());
        oxa.SetVersion5Layout(flag);
        EXPECT_EQ(oxa.IsVersion5Layout(), flag);
        ASSERT_TRUE(oxa.FileClose());
        std::vector<uint8_t> bytes = Bytes(oxa);
        ASSERT_TRUE(oxa.MemoryOpen(bytes.data(), bytes.size()));
        EXPECT_EQ(oxa.IsVersion5Layout(), flag);
        EXPECT_EQ(oxa.GetSectionCount(), 0);
    }
}

class VOxaFiles : public ::testing::Test {
protected:
    void SetUp() override {
        // CTest runs the tests of this suite in parallel, and other runs of the suite may share the
        // temporary folder: each test of each run gets a file of its own.
        mPath = ::testing::TempDir() + "voxa_files_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".oxa";
        std::remove(mPath.c_str());
        std::remove((mPath + ".tmp").c_str());
    }
    void TearDown() override { std::remove(mPath.c_str()); }
    std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return in ? all.str() : std::string("<missing>");
    }
    bool Exists(const std::string& path) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f) std::fclose(f);
        return f != nullptr;
    }
    std::string mPath;
};

TEST_F(VOxaFiles, WritesGoThroughATemporaryName) {
    {
        std::ofstream old(mPath, std::ios::binary);
        old << "old contents";
    }
    VOxa oxa;
    ASSERT_TRUE(oxa.FileCreate(mPath.c_str(), false));
    oxa.SectionWriteBegin("S", 4000);
    oxa.FieldWriteBegin("A");
    oxa.FieldWriteI(1);
    oxa.FieldWriteEnd();
    // Until FileClose the target keeps its old bytes; the new ones sit in a temporary file of a
    // fresh name, never "<name>.tmp" (a name a user's own file may have).
    EXPECT_EQ(Contents(mPath), "old contents");
    EXPECT_FALSE(Exists(mPath + ".tmp"));
    // A write left unbalanced fails at close and the old file survives.
    EXPECT_FALSE(oxa.FileClose());
    EXPECT_EQ(Contents(mPath), "old contents");
    EXPECT_FALSE(Exists(mPath + ".tmp"));

    // Dropping the object mid-write leaves the old file as well.
    {
        VOxa dropped;
        ASSERT_TRUE(dropped.FileCreate(mPath.c_str(), true));
        dropped.SectionWriteBegin("S", 4000);
    }
    EXPECT_EQ(Contents(mPath), "old contents");
    EXPECT_FALSE(Exists(mPath + ".tmp"));

    ASSERT_TRUE(oxa.FileCreate(mPath.c_str(), true));
    oxa.SetVersion5Layout(true);
    oxa.SectionWriteBegin("S", 4000);
    oxa.FieldWriteBegin("A");
    oxa.FieldWriteS("new");
    oxa.FieldWriteEnd();
    oxa.SectionWriteEnd();
    ASSERT_TRUE(oxa.FileClose());
    EXPECT_FALSE(Exists(mPath + ".tmp"));

    ASSERT_TRUE(oxa.FileOpen(mPath.c_str()));
    EXPECT_TRUE(oxa.IsBinary());
    EXPECT_TRUE(oxa.IsVersion5Layout());
    ASSERT_TRUE(oxa.SectionReadBegin(0));
    EXPECT_STREQ(oxa.FieldReadSOrDefault("A", ""), "new");
    EXPECT_TRUE(oxa.FileClose());

    EXPECT_FALSE(oxa.FileCreate((::testing::TempDir() + "no/such/dir/x.oxa").c_str(), true));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_NOT_CREATED);
    EXPECT_FALSE(oxa.FileOpen((::testing::TempDir() + "no/such/file.oxa").c_str()));
    EXPECT_EQ(oxa.GetError().GetLastErrorID(), VOxa::eFILE_NOT_OPENED);
}

TEST_F(VOxaFiles, LargeFilesPatchLengthsAlreadyOnDisk) {
    // More than one output block: the section's and the outer field's lengths, and the header
    // flag, are patched after their bytes went to the disk.
    const int count = 300000;
    for (bool binary : {true, false}) {
        VOxa oxa;
        ASSERT_TRUE(oxa.FileCreate(mPath.c_str(), binary));
        oxa.SectionWriteBegin("Big", 4000);
        oxa.FieldWriteBegin("Outer");
        oxa.FieldWriteBlockBegin();
        oxa.FieldWriteBegin("Key");
        for (int k = 0; k < count; ++k)
            oxa.FieldWriteD(k * 0.125);
        oxa.FieldWriteEnd();
        oxa.FieldWriteBlockEnd();
        oxa.FieldWriteEnd();
        oxa.FieldWriteBegin("After");
        oxa.FieldWriteI(77);
        oxa.FieldWriteEnd();
        oxa.SectionWriteEnd();
        oxa.SetVersion5Layout(true);
        ASSERT_TRUE(oxa.FileClose());

        ASSERT_TRUE(oxa.FileOpen(mPath.c_str()));
        EXPECT_TRUE(oxa.IsVersion5Layout());
        ASSERT_TRUE(oxa.SectionReadBegin(0));
        ASSERT_TRUE(oxa.FieldReadBegin("Outer"));
        ASSERT_TRUE(oxa.FieldReadBlockBegin());
        ASSERT_TRUE(oxa.FieldReadBegin("Key"));
        ASSERT_EQ(oxa.FieldReadRemaining(), count);
        bool same = true;
        for (int k = 0; k < count; ++k)
            same = same && oxa.FieldReadD() == k * 0.125;
        EXPECT_TRUE(same) << binary;
        oxa.FieldReadEnd();
        oxa.FieldReadBlockEnd();
        oxa.FieldReadEnd();
        EXPECT_EQ(oxa.FieldReadIOrDefault("After", 0), 77) << binary;
    }
}

}  // namespace
