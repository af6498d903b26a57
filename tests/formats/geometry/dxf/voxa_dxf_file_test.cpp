#include "formats/geometry/dxf/voxa_dxf_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/vsafe_output_file.h"
#include "formats/geometry/dxf/voxa_dxf_geometry_group.h"
#include "scene/voxa_global_light_settings.h"

namespace {

struct Group {
    int code;
    std::string value;
    bool ok;
};

Group Read(VDxfGroupReader& reader, int code = -7, const char* value = "prev") {
    char buffer[kDxfLineSize];
    std::snprintf(buffer, sizeof buffer, "%s", value);
    bool ok = reader.ReadGroup(code, buffer);
    return {code, buffer, ok};
}

std::string WriteWith(void (*fill)(VDxfGroupWriter&)) {
    std::string path = (std::filesystem::temp_directory_path() / "dxf_file_test_out.dxf").string();
    VSafeOutputFile file;
    EXPECT_TRUE(file.Open(path.c_str(), false));
    {
        VDxfGroupWriter out(file);
        fill(out);
        EXPECT_TRUE(out.Flush());
    }
    EXPECT_TRUE(file.Commit());
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::filesystem::remove(path);
    return text.str();
}

}  // namespace

TEST(dxf_file, LineFormatsMatchTheCFormats) {
    std::string text = WriteWith([](VDxfGroupWriter& out) {
        out.GroupText(0, "SECTION");
        out.GroupInt(8, 5);
        out.GroupInt(62, -12);
        out.GroupText(999, "comment");
        out.Code(62);
        out.IntOneBlank(7);
        out.GroupReal(10, 1.0);
        out.GroupReal(20, -3.0);
        out.GroupReal(30, 2.5);
        out.GroupReal(40, -0.0);
        out.GroupReal(41, 123456789.1234567);
        out.GroupInt(1000, 1);
    });
    EXPECT_EQ(text,
              "  0\nSECTION\n  8\n   5\n 62\n   -12\n999\ncomment\n 62\n 7\n 10\n1\n 20\n-3\n"
              " 30\n2.5\n 40\n-0\n 41\n123456789.1234567\n1000\n   1\n");
    // Every real prints as a text that reads back as the same double, no longer than the shortest
    // "%.*g" that does; a value that is not a number prints as 0.
    const double inf = std::numeric_limits<double>::infinity();
    for (double v : {0.1, 2.5e-7, 1e21, -7.0000005, 0.0000015, 1.2345675, 0.30000000000000004, 5e-324,
                     -1.7976931348623157e308, inf, -inf, std::nan("")}) {
        char expected[400];
        for (int precision = 1; precision <= 17; ++precision) {
            std::snprintf(expected, sizeof expected, "%.*g", precision, v);
            if (std::strtod(expected, nullptr) == v) break;
        }
        if (!std::isfinite(v)) std::snprintf(expected, sizeof expected, "0");
        VSafeOutputFile file;
        std::string path = (std::filesystem::temp_directory_path() / "dxf_file_test_real.dxf").string();
        ASSERT_TRUE(file.Open(path.c_str(), false));
        {
            VDxfGroupWriter out(file);
            out.Real(v);
            ASSERT_TRUE(out.Flush());
        }
        ASSERT_TRUE(file.Commit());
        std::ifstream in(path);
        std::string line;
        std::getline(in, line);
        EXPECT_EQ(std::strtod(line.c_str(), nullptr), std::isfinite(v) ? v : 0.0) << line;
        EXPECT_LE(line.size(), std::strlen(expected)) << line << " against " << expected;
        std::filesystem::remove(path);
    }
}

TEST(dxf_file, ReadGroupParsingRules) {
    const std::string data =
        "  0\nSECTION\n"
        "  8\nWall 1\n"             // a value is cut at its first blank; the line is whole
        "  8\n red mat one \t\r\n"  // the line trimmed at both ends
        "  8\nred \n"               // a word and blanks: the line is the word
        "no number\nvalue\n"        // a code line without a number keeps the code
        " 62\n     \n"              // a blank value line keeps the value
        "+70\n  +64\r\n"            // CRLF and a leading '+'
        "99999999999\nbig\n"        // a code beyond int
        "  0\nEOF";                 // the last value line has no line end
    VDxfGroupReader reader;
    reader.OpenMemory(data.data(), data.size());
    Group g = Read(reader);
    EXPECT_TRUE(g.ok);
    EXPECT_EQ(g.code, 0);
    EXPECT_EQ(g.value, "SECTION");
    EXPECT_STREQ(reader.ValueLine("SECTION"), "SECTION");
    g = Read(reader);
    EXPECT_EQ(g.code, 8);
    EXPECT_EQ(g.value, "Wall");
    EXPECT_STREQ(reader.ValueLine(g.value.c_str()), "Wall 1");
    g = Read(reader);
    EXPECT_EQ(g.value, "red");
    EXPECT_STREQ(reader.ValueLine(g.value.c_str()), "red mat one");
    g = Read(reader);
    EXPECT_EQ(g.value, "red");
    EXPECT_STREQ(reader.ValueLine("word"), "word");  // nothing held beyond the word
    g = Read(reader, 8, "Wall");
    EXPECT_EQ(g.code, 8);
    EXPECT_EQ(g.value, "value");
    EXPECT_STREQ(reader.ValueLine("value"), "value");  // a plain line holds nothing either
    g = Read(reader, 8, "value");
    EXPECT_EQ(g.code, 62);
    EXPECT_EQ(g.value, "value");
    EXPECT_STREQ(reader.ValueLine("value"), "value");  // a blank line keeps the value
    g = Read(reader);
    EXPECT_EQ(g.code, 70);
    EXPECT_EQ(g.value, "+64");
    int flags = 0;
    EXPECT_TRUE(DxfParseInt(g.value.c_str(), flags));
    EXPECT_EQ(flags, 64);
    g = Read(reader);
    EXPECT_EQ(g.code, kDxfOutOfRangeCode);
    EXPECT_EQ(g.value, "big");
    g = Read(reader);
    EXPECT_FALSE(g.ok);  // lost with its missing line end
    g = Read(reader);
    EXPECT_FALSE(g.ok);
}

TEST(dxf_file, LinesAreReadWholeUpToTheLongestValue) {
    // A value line of 2049 bytes, with either line end, is one value; the groups after it pair
    // as they should.
    for (const char* end : {"\n", "\r\n"}) {
        const std::string data = "  1\n" + std::string(kDxfMaxLine, 'a') + end + "  2\nname\n";
        VDxfGroupReader reader;
        reader.OpenMemory(data.data(), data.size());
        Group g = Read(reader);
        EXPECT_TRUE(g.ok);
        EXPECT_EQ(g.code, 1);
        EXPECT_EQ(g.value, std::string(kDxfMaxLine, 'a'));
        g = Read(reader);
        EXPECT_EQ(g.code, 2);
        EXPECT_EQ(g.value, "name");
        EXPECT_EQ(reader.LongLine(), -1);
    }
    // A long line holding blanks is held whole for the names that may hold them.
    const std::string words = "w " + std::string(kDxfMaxLine - 2, 'y');
    std::string data = "  1\n" + words + "\n";
    VDxfGroupReader reader;
    reader.OpenMemory(data.data(), data.size());
    Group g = Read(reader);
    EXPECT_EQ(g.value, "w");
    EXPECT_EQ(reader.ValueLine("w"), words);

    // One byte more is refused where it stands, as a value line or a code line, and the reading
    // stops there: no later read, even from an earlier place, takes the rest as groups.
    const std::string longValue = "  1\nok\n  1\n" + std::string(kDxfMaxLine + 1, 'a') + "\n  0\n3DFACE\n";
    reader.OpenMemory(longValue.data(), longValue.size());
    EXPECT_TRUE(Read(reader).ok);
    EXPECT_FALSE(Read(reader).ok);
    EXPECT_EQ(reader.LineAt(reader.LongLine()), 4);
    EXPECT_TRUE(reader.Seek(0));
    EXPECT_FALSE(Read(reader).ok);
    const char* line = nullptr;
    size_t size = 0;
    EXPECT_FALSE(reader.ReadLine(line, size));
    const std::string longCode = std::string(kDxfMaxLine, ' ') + "10\n1.0\n";
    reader.OpenMemory(longCode.data(), longCode.size());
    EXPECT_FALSE(Read(reader).ok);
    EXPECT_EQ(reader.LongLine(), 0);
    // A last line without its line end fails its group, however long.
    const std::string last = "  1\n" + std::string(kDxfMaxLine, 'b');
    reader.OpenMemory(last.data(), last.size());
    EXPECT_FALSE(Read(reader).ok);
    EXPECT_EQ(reader.LongLine(), -1);

    // Also where plenty of plain groups follow the long line.
    std::string many = "  1\n" + std::string(kDxfMaxLine + 1, 'a') + "\n";
    for (int i = 0; i < 2000; ++i)
        many += " 10\n1.0\n";
    reader.OpenMemory(many.data(), many.size());
    EXPECT_FALSE(Read(reader).ok);
    EXPECT_TRUE(reader.Seek((int64_t)many.size() - 8 * 1000));  // room for the one-pass read
    EXPECT_FALSE(Read(reader).ok);

    // From a file, where lines cross the blocks the file is read in.
    const std::string path = (std::filesystem::temp_directory_path() / "dxf_file_test_long.dxf").string();
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 600; ++i)
            out << "  1\n" << std::string(kDxfMaxLine - 4, 'c') << i % 10 << "xyz\r\n";
    }
    ASSERT_TRUE(reader.OpenFile(path.c_str()));
    for (int i = 0; i < 600; ++i) {
        g = Read(reader);
        ASSERT_TRUE(g.ok) << i;
        ASSERT_EQ(g.value.size(), (size_t)kDxfMaxLine) << i;
        ASSERT_EQ(g.value[kDxfMaxLine - 4], '0' + i % 10) << i;
    }
    EXPECT_FALSE(Read(reader).ok);
    EXPECT_EQ(reader.LongLine(), -1);
    reader.Close();
    std::filesystem::remove(path);
}

TEST(dxf_file, TellAndSeekPutGroupsBack) {
    std::string path = (std::filesystem::temp_directory_path() / "dxf_file_test_seek.dxf").string();
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 150000; ++i)
            out << " 10\n" << i << "\n";
    }
    VDxfGroupReader reader;
    ASSERT_TRUE(reader.OpenFile(path.c_str()));
    // What is appended after the file was opened is not read: the read is of the file it opened.
    std::ofstream(path, std::ios::binary | std::ios::app) << " 10\nlater\n";
    int64_t at5000 = 0;
    for (int i = 0; i < 150000; ++i) {
        if (i == 5000) at5000 = reader.Tell();
        Group g = Read(reader);
        ASSERT_TRUE(g.ok);
        ASSERT_EQ(g.value, std::to_string(i));
    }
    EXPECT_FALSE(Read(reader).ok);
    ASSERT_TRUE(reader.Seek(at5000));
    EXPECT_EQ(Read(reader).value, "5000");
    EXPECT_EQ(Read(reader).value, "5001");
    ASSERT_TRUE(reader.Seek(0));
    EXPECT_EQ(Read(reader).value, "0");
    EXPECT_TRUE(reader.Close());
    std::filesystem::remove(path);
}

TEST(dxf_file, LineNumbersOfPositions) {
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += " 10\n" + std::to_string(i) + "\n";
    VDxfGroupReader memory;
    memory.OpenMemory(text.data(), text.size());
    EXPECT_EQ(memory.LineAt(0), 1);
    EXPECT_EQ(memory.LineAt(3), 1);  // the line end of line 1
    EXPECT_EQ(memory.LineAt(4), 2);
    EXPECT_EQ(memory.LineAt((int64_t)text.size() - 1), 40000);
    EXPECT_EQ(memory.LineAt((int64_t)text.size() + 100), 40001);  // past the end: after the last

    // A file counts the same over several blocks, and the reading goes on where it stood.
    std::string path = (std::filesystem::temp_directory_path() / "dxf_file_test_lines.dxf").string();
    std::ofstream(path, std::ios::binary) << text;
    VDxfGroupReader file;
    ASSERT_TRUE(file.OpenFile(path.c_str()));
    for (int i = 0; i < 15000; ++i)
        ASSERT_TRUE(Read(file).ok);
    const int64_t here = file.Tell();
    EXPECT_EQ(file.LineAt(here), 30001);
    EXPECT_EQ(file.LineAt((int64_t)text.size() - 1), 40000);
    EXPECT_EQ(file.Tell(), here);
    for (int i = 15000; i < 20000; ++i)
        ASSERT_EQ(Read(file).value, std::to_string(i));
    EXPECT_FALSE(Read(file).ok);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.LineAt(5), 1);  // closed
    std::filesystem::remove(path);
}

TEST(dxf_file, NumbersParseAsCDoesWhateverTheLocale) {
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may be absent; the C locale is then kept
    double v = 0;
    EXPECT_TRUE(DxfParseReal("  1.5", v));
    EXPECT_EQ(v, 1.5);
    EXPECT_TRUE(DxfParseReal("+2.25e2xyz", v));
    EXPECT_EQ(v, 225.0);
    EXPECT_TRUE(DxfParseReal("-.5", v));
    EXPECT_EQ(v, -0.5);
    EXPECT_TRUE(DxfParseReal("0x1p3", v));
    EXPECT_EQ(v, 8.0);
    // More digits than the quick path takes: the value strtod gives.
    for (const char* text :
         {"1234567890123456789012345", "0.1234567890123456789012345", "98765432109876543210.5"}) {
        EXPECT_TRUE(DxfParseReal(text, v));
        EXPECT_EQ(v, std::strtod(text, nullptr)) << text;
    }
    EXPECT_TRUE(DxfParseReal("1e999", v));
    EXPECT_TRUE(std::isinf(v));
    v = 7;
    EXPECT_FALSE(DxfParseReal("abc", v));
    EXPECT_FALSE(DxfParseReal("--1", v));
    EXPECT_FALSE(DxfParseReal("", v));
    EXPECT_EQ(v, 7);
    int i = 3;
    EXPECT_FALSE(DxfParseInt("2147483648", i));
    EXPECT_FALSE(DxfParseInt("x1", i));
    EXPECT_EQ(i, 3);
    EXPECT_TRUE(DxfParseInt("-2147483648", i));
    EXPECT_EQ(i, INT32_MIN);
    EXPECT_TRUE(DxfParseInt(" 12abc", i));
    EXPECT_EQ(i, 12);
    std::setlocale(LC_NUMERIC, "C");
}

TEST(dxf_file, ColourNumberToRgb) {
    auto rgb = [](int n) {
        VOxaColor c(0.2, 0.2, 0.2, 0.5);
        DxfAciToColor(n, c);
        return c;
    };
    auto expect = [&](int n, double r, double g, double b) {
        VOxaColor c = rgb(n);
        EXPECT_NEAR(c.mRed, r, 1e-12) << n;
        EXPECT_NEAR(c.mGreen, g, 1e-12) << n;
        EXPECT_NEAR(c.mBlue, b, 1e-12) << n;
        EXPECT_EQ(c.mAlpha, 0.5) << n;
    };
    expect(1, 1, 0, 0);
    expect(8, 0.502, 0.502, 0.502);
    expect(9, 0.753, 0.753, 0.753);
    expect(10, 1, 0, 0);
    expect(11, 1, 0.5, 0.5);  // pale
    expect(12, 0.65, 0, 0);   // brightness step 1
    expect(18, 0.15, 0, 0);   // step 4
    expect(19, 0.15, 0.075, 0.075);
    expect(20, 1, 0.25, 0);
    expect(50, 1, 1, 0);
    expect(130, 0, 1, 1);
    expect(240, 1, 0, 0.25);
    expect(249, 0.15, 0.075, 0.09375);  // the last of the buckets: levels (4, 0, 1), pale, step 4
    expect(250, 0.33, 0.33, 0.33);
    expect(255, 1, 1, 1);
    expect(0, 0.2, 0.2, 0.2);  // outside the palette: unchanged
    expect(256, 0.2, 0.2, 0.2);
    expect(-3, 0.2, 0.2, 0.2);
}

TEST(dxf_file, RgbToColourNumber) {
    // Exact colours before anything else.
    EXPECT_EQ(DxfColorToAci(1, 0, 0), 1);
    EXPECT_EQ(DxfColorToAci(1, 1, 1), 7);
    EXPECT_EQ(DxfColorToAci(0.502, 0.502, 0.502), 8);
    EXPECT_EQ(DxfColorToAci(0, 0, 0), 250);
    // Greys by their mean.
    EXPECT_EQ(DxfColorToAci(0.5, 0.5, 0.5), 251);
    EXPECT_EQ(DxfColorToAci(0.39, 0.39, 0.39), 250);
    EXPECT_EQ(DxfColorToAci(0.6, 0.6, 0.6), 252);
    EXPECT_EQ(DxfColorToAci(0.7, 0.7, 0.7), 253);
    EXPECT_EQ(DxfColorToAci(0.9, 0.9, 0.9), 254);
    EXPECT_EQ(DxfColorToAci(0.95, 0.95, 0.95), 255);
    // A mean on a limit belongs to the brighter step.
    EXPECT_EQ(DxfColorToAci(0.53, 0.53, 0.53), 252);
    EXPECT_EQ(DxfColorToAci(0.66, 0.66, 0.66), 253);
    EXPECT_EQ(DxfColorToAci(0.93, 0.93, 0.93), 255);
    // The other exact colours.
    EXPECT_EQ(DxfColorToAci(1, 1, 0), 2);
    EXPECT_EQ(DxfColorToAci(0, 1, 0), 3);
    EXPECT_EQ(DxfColorToAci(0, 1, 1), 4);
    EXPECT_EQ(DxfColorToAci(0, 0, 1), 5);
    EXPECT_EQ(DxfColorToAci(1, 0, 1), 6);
    EXPECT_EQ(DxfColorToAci(0.753, 0.753, 0.753), 9);
    // Hue buckets, ties and brightness.
    EXPECT_EQ(DxfColorToAci(1, 0.5, 0), 30);
    EXPECT_EQ(DxfColorToAci(0.4, 0.2, 0.2), 17);  // green is the middle on its tie with blue
    EXPECT_EQ(DxfColorToAci(0.65, 0, 0), 12);
    EXPECT_EQ(DxfColorToAci(0.5, 0.5, 0), 54);  // red is the maximum on its tie with green
    EXPECT_EQ(DxfColorToAci(0, 0.5, 0.5), 134);
    EXPECT_EQ(DxfColorToAci(0.3, 0, 0.3), 216);
    EXPECT_EQ(DxfColorToAci(0.1, 0, 0), 18);
    EXPECT_EQ(DxfColorToAci(1, 0, 0.9), 210);
    EXPECT_EQ(DxfColorToAci(1, 0, 0.1), 10);
    EXPECT_EQ(DxfColorToAci(0.1, 1, 0.1), 90);
    EXPECT_EQ(DxfColorToAci(0.3, 1, 0.3), 91);
    EXPECT_EQ(DxfColorToAci(1, 0.94, 0.16), 50);  // hue 56°, nearer 60° than 45°, though blue is above 0
    EXPECT_EQ(DxfColorToAci(1, 0.75, 0), 40);     // hue 45°
    // Round trips of the examples.
    VOxaColor c;
    DxfAciToColor(255, c);
    EXPECT_EQ(DxfColorToAci(c.mRed, c.mGreen, c.mBlue), 7);
    DxfAciToColor(12, c);
    EXPECT_EQ(DxfColorToAci(c.mRed, c.mGreen, c.mBlue), 12);
    // Colours held in single precision keep the fixed and grey numbers: 8 stays 8 (not 251), 9
    // stays 9 (not 253), 7 stays 7, and each grey of 250 to 254 stays.
    for (int n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 250, 251, 252, 253, 254}) {
        DxfAciToColor(n, c);
        EXPECT_EQ(DxfColorToAci((float)c.mRed, (float)c.mGreen, (float)c.mBlue), n) << n;
    }
    // Only within single precision: a colour a little further off is not the fixed one.
    EXPECT_EQ(DxfColorToAci(0.5021, 0.5021, 0.5021), 251);
    EXPECT_EQ(DxfColorToAci(0.999, 0, 0), 10);
    // Every number maps to a palette number; out-of-range input stays within it.
    for (int n = 1; n <= 255; ++n) {
        DxfAciToColor(n, c);
        int back = DxfColorToAci(c.mRed, c.mGreen, c.mBlue);
        EXPECT_GE(back, 1);
        EXPECT_LE(back, 255);
    }
    EXPECT_EQ(DxfColorToAci(NAN, 2.0, -1.0), 3);
}

TEST(dxf_file, AxesSwapBothWays) {
    VgeTVector p = DxfToScenePoint(1, 2, 3);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], 3);
    EXPECT_EQ(p[2], -2);
    EXPECT_EQ(p[3], 1);
}

// The weld index answers what a scan over every earlier point answers: the smallest index within
// the tolerance. Points cluster at and just beyond the tolerance, on cell boundaries and far out.
TEST(dxf_weld, IndexAgreesWithAScanOverEveryPoint) {
    std::mt19937 random(7);
    const double cell = 1.0 / 16384.0;
    const double offsets[] = {0.0, 0.9e-6, 1e-6, 1.1e-6, -0.9e-6, -1.1e-6, 0.5 * cell, -0.5 * cell, 3e-7};
    std::vector<double> bases = {0.0, 100.0, -2.5, cell * 0.5, -cell * 1.5, 1e9, 123.456789};
    std::uniform_int_distribution<size_t> pickBase(0, bases.size() - 1);
    std::uniform_int_distribution<size_t> pickOffset(0, sizeof offsets / sizeof offsets[0] - 1);
    auto coordinate = [&] { return bases[pickBase(random)] + offsets[pickOffset(random)]; };

    std::vector<VgeTVector> points;
    VDxfWeldIndex index;
    index.Build(points.data(), 0);
    for (int k = 0; k < 4000; ++k) {
        const VgeTVector p(coordinate(), coordinate(), coordinate(), 1.0);
        int expected = -1;
        for (size_t i = 0; i < points.size() && expected < 0; ++i)
            if (points[i] == p) expected = (int)i;
        ASSERT_EQ(index.Find(points.data(), p), expected) << k;
        points.push_back(p);
        index.Add(points.data(), (int)points.size() - 1);
    }
}
