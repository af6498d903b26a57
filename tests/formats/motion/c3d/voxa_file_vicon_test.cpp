// C3D files: number conversions, parameter records, the three processor formats and both data
// forms, names, units and axes, time codes, the writer's layout, and round trips.

#include "formats/motion/c3d/voxa_file_vicon.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "formats/motion/trc/voxa_motion_analysis_trc.h"
#include "oxa_codec/voxa_io_formats.h"
#include "tests/formats/motion/aoa/marker_test_util.h"
#include "tests/formats/motion/c3d/c3d_file_builder.h"

using namespace markertest;
using namespace c3dtest;

namespace {

uint16_t Word(const std::string& bytes, size_t offset) {
    return (uint16_t)((uint8_t)bytes[offset] | (uint8_t)bytes[offset + 1] << 8);
}

// A temporary path of this process alone: CTest runs the cases side by side.
std::string OwnPath(const std::string& name) {
    return TempPath("c3d_" + std::to_string(getpid()) + "_" + name);
}

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// Three markers over three frames, in millimetres; the second is invalid in frame 1.
std::vector<std::vector<Point>> SampleFrames() {
    std::vector<std::vector<Point>> frames;
    for (int f = 0; f < 3; ++f) {
        std::vector<Point> frame;
        for (int m = 0; m < 3; ++m) {
            Point p;
            p.x = 100.0 * (m + 1) + f;
            p.y = -50.0 * (m + 1) + 2 * f;
            p.z = 25.0 * (m + 1) - 3 * f;
            p.valid = !(m == 1 && f == 1);
            frame.push_back(p);
        }
        frames.push_back(frame);
    }
    return frames;
}

Builder SampleFile(int processor, bool floating) {
    Builder b;
    b.processor = processor;
    b.floating = floating;
    b.scale = floating ? -1.0f : 0.5f;
    b.analog = 3;
    b.records = {Group("POINT", 1), Ints("USED", {3}), Table("LABELS", {"Hip", "Knee", "Toe"}, 6)};
    b.frames = SampleFrames();
    return b;
}

// The numbers of each TRC frame line (the lines after the blank line that ends the labels).
std::vector<std::vector<double>> TrcRows(const std::string& text) {
    std::vector<std::vector<double>> rows;
    const size_t blank = text.find("\n\n");
    if (blank == std::string::npos) return rows;
    std::istringstream lines(text.substr(blank + 2));
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<double> row;
        std::istringstream fields(line);
        double value;
        while (fields >> value)
            row.push_back(value);
        rows.push_back(row);
    }
    return rows;
}

class c3d_file : public Fixture {
protected:
    bool ReadBytes(const std::string& name, const std::string& bytes, const Adjust& adjust = nullptr,
                   int* error = nullptr) {
        const std::string path = TempPath(name);
        WriteFile(path, bytes);
        VOxaReaderVicon reader(mManager);
        return ReadWith(reader, path, adjust, error);
    }

    // The scene point of a file point (x, y, z) in millimetres with the default axes.
    static void ExpectPoint(VOxaNode* node, int frame, const Point& p, double tolerance = 1e-4) {
        ASSERT_NE(node, nullptr);
        EXPECT_NEAR(Key(node, 0, frame), -p.x * 0.1, tolerance);
        EXPECT_NEAR(Key(node, 1, frame), p.z * 0.1, tolerance);
        EXPECT_NEAR(Key(node, 2, frame), p.y * 0.1, tolerance);
    }

    // The C3D bytes read and written again as TRC at the read take's rate, start and length: the
    // TRC text ("" when either step fails). The read nodes are gone afterwards.
    std::string C3dToTrc(const std::string& name, const std::string& bytes) {
        const std::string path = OwnPath(name + ".c3d");
        WriteFile(path, bytes);
        VOxaReaderVicon reader(mManager);
        VTime start;
        double rate = 0.0;
        int frames = 0;
        const bool read = ReadWith(reader, path, [&](VStreamOptionsMotion& o) {
            start = o.GetStartTime();
            rate = o.GetFrameRate();
            frames = o.GetFrameCount();
        });
        std::remove(path.c_str());
        VOxaNode* reference = Find("C3D:optical");
        if (!read || !reference) return "";
        // As the converter marks them: the reference node is the writing root.
        reference->SetMarked(1);
        for (int i = 0; i < reference->GetChildCount(); ++i)
            reference->GetChild(i)->SetMarked(1);
        const std::string trc = OwnPath(name + ".trc");
        VOxaWriterMotionAnalysisTrc writer(mManager);
        const bool written = WriteWith(writer, trc, [&](VStreamOptionsMotion& o) {
            o.SetTimeMode(0, rate);
            o.SetStartTime(start);
            o.SetFrameCount(frames);
        });
        mManager->DestroyNode(reference, true);
        const std::string text = written ? ReadFile(trc) : "";
        std::remove(trc.c_str());
        return text;
    }

    // The file's names and start time as the reader sees them, through the file object alone.
    static bool Names(const std::string& path, bool keepPrefixes, std::vector<std::string>& out,
                      VOxaFileVicon* file) {
        int64_t markers = 0, frames = 0;
        VTime start;
        double rate = 0, scale = 0;
        if (!file->Open(path.c_str(), "rb") || !file->ReadHeader(markers, start, frames, rate, scale))
            return false;
        VStringList names;
        for (int i = 0; i < markers; ++i)
            names.Add("");
        if (!file->ReadMarkerNames(names, keepPrefixes)) return false;
        out.clear();
        for (int i = 0; i < names.GetCount(); ++i)
            out.push_back(names[i]);
        return true;
    }
};

}  // namespace

TEST(c3d_numbers, FloatConversionsBetweenProcessors) {
    // 1.5 in each format: Intel 00 00 C0 3F, MIPS 3F C0 00 00, DEC C0 40 00 00.
    const uint8_t intel[4] = {0x00, 0x00, 0xC0, 0x3F};
    const uint8_t mips[4] = {0x3F, 0xC0, 0x00, 0x00};
    const uint8_t dec[4] = {0xC0, 0x40, 0x00, 0x00};
    const uint8_t* formats[4] = {nullptr, intel, dec, mips};
    for (int from = 1; from <= 3; ++from) {
        for (int to = 1; to <= 3; ++to) {
            uint8_t bytes[4];
            std::memcpy(bytes, formats[from], 4);
            VViconNumbers::ConvertFloat(bytes, from, to);
            EXPECT_EQ(0, std::memcmp(bytes, formats[to], 4)) << from << " -> " << to;
        }
        EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(formats[from], from), 1.5f);
    }
    // Zero stays zero in every format.
    for (int from = 1; from <= 3; ++from) {
        uint8_t zero[4] = {0, 0, 0, 0};
        VViconNumbers::ConvertFloat(zero, from, from == 1 ? 2 : 1);
        EXPECT_EQ(zero[0] | zero[1] | zero[2] | zero[3], 0);
    }
    // 16-bit integers are swapped only for MIPS.
    const uint8_t word[2] = {0x34, 0x12};
    EXPECT_EQ(VViconNumbers::Load16(word, 1), 0x1234);
    EXPECT_EQ(VViconNumbers::Load16(word, 2), 0x1234);
    EXPECT_EQ(VViconNumbers::Load16(word, 3), 0x3412);

    // The writer's DEC floats: -0 and 0 are four zeros; -1.0 is 80 C0 00 00.
    uint8_t out[4];
    VViconNumbers::StoreDecFloat(-0.0f, out);
    EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0);
    VViconNumbers::StoreDecFloat(-1.0f, out);
    EXPECT_EQ(out[0], 0x80);
    EXPECT_EQ(out[1], 0xC0);
    EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(out, 2), -1.0f);
    // Beyond the DEC range the sign is kept and the magnitude clamped; NaN becomes zero.
    VViconNumbers::StoreDecFloat(-3.0e38f, out);
    EXPECT_LT(VViconNumbers::LoadFloat(out, 2), -1.0e38f);
    VViconNumbers::StoreDecFloat(INFINITY, out);
    EXPECT_GT(VViconNumbers::LoadFloat(out, 2), 1.0e38f);
    VViconNumbers::StoreDecFloat(NAN, out);
    EXPECT_EQ(VViconNumbers::LoadFloat(out, 2), 0.0f);

    // The exact bytes, by IEEE bit pattern: halves swapped and the exponent raised by 2; the
    // largest representable magnitude is the clamp.
    const struct {
        uint32_t bits;
        uint8_t dec[4];
    } kCases[] = {{0x3F800000u, {0x80, 0x40, 0x00, 0x00}}, {0x40490FDBu, {0x49, 0x41, 0xDB, 0x0F}},
                  {0x7EFFFFFFu, {0xFF, 0x7F, 0xFF, 0xFF}}, {0x7F000000u, {0xFF, 0x7F, 0xFF, 0xFF}},
                  {0xFEFFFFFFu, {0xFF, 0xFF, 0xFF, 0xFF}}, {0xFF800001u, {0x00, 0x00, 0x00, 0x00}}};
    for (const auto& c : kCases) {
        float value;
        std::memcpy(&value, &c.bits, 4);
        VViconNumbers::StoreDecFloat(value, out);
        EXPECT_EQ(std::memcmp(out, c.dec, 4), 0) << std::hex << c.bits;
    }
}

TEST(c3d_numbers, EncodedPointFormAndValidity) {
    // The sign of the scale picks the form as the reader does: only a negative scale means
    // floats. A zero scale is the integer form, and with no step no coordinate fits: invalid.
    uint8_t out[16];
    const double origin[3] = {0.0, 0.0, 0.0};
    EXPECT_EQ(VViconNumbers::EncodePoint(origin, true, 0.0f, 0.1, out), 8u);
    EXPECT_EQ(out[7], 0x80);
    EXPECT_EQ(VViconNumbers::EncodePoint(origin, true, 0.5f, 0.1, out), 8u);
    EXPECT_EQ(out[7], 0);
    // Exactly three coordinates are written in either form; what follows them in the caller's
    // array (here the w of a marker point) plays no part in the validity.
    const double point[4] = {1.0, 2.0, 3.0, NAN};
    ASSERT_EQ(VViconNumbers::EncodePoint(point, true, 0.5f, 0.1, out), 8u);
    EXPECT_EQ(out[4] | out[5] << 8, 60);
    EXPECT_EQ(out[6], 0);
    EXPECT_EQ(out[7], 0);
    // An integer coordinate is the nearest whole number of steps, on either side of zero.
    const double between[3] = {0.0479, -0.0479, 0.0421};
    ASSERT_EQ(VViconNumbers::EncodePoint(between, true, 0.1f, 0.1, out), 8u);
    EXPECT_EQ((int16_t)(out[0] | out[1] << 8), 5);
    EXPECT_EQ((int16_t)(out[2] | out[3] << 8), -5);
    EXPECT_EQ((int16_t)(out[4] | out[5] << 8), 4);
    ASSERT_EQ(VViconNumbers::EncodePoint(point, true, -1.0f, 0.1, out), 16u);
    EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(out + 8, 2), 30.0f);
    EXPECT_EQ(VViconNumbers::LoadFloat(out + 12, 2), 0.0f);
    const double far[4] = {1.0, 2.0, 1.0e300, 0.0};
    VViconNumbers::EncodePoint(far, true, -1.0f, 0.1, out);
    EXPECT_EQ(VViconNumbers::LoadFloat(out + 12, 2), -1.0f);
}

TEST(c3d_array, DimensionsRowsAndWriting) {
    // Memory order is slowest first: a table of 2 labels of 3 characters.
    const int sizes[2] = {2, 3};
    VViconArray table("abcdef", VViconArray::kChar, 2, sizes);
    EXPECT_EQ(table.GetDimension(0), 2);
    EXPECT_EQ(table.GetDimension(1), 3);
    EXPECT_EQ(table.GetDimension(2), 0);
    VViconArray row;
    ASSERT_TRUE(table.GetRow(row, 1));
    EXPECT_EQ(std::string(row.GetString(), 3), "def");
    EXPECT_FALSE(table.GetRow(row, 2));
    // Written with the fastest dimension first.
    std::vector<uint8_t> out;
    ASSERT_TRUE(table.Write(out));
    EXPECT_EQ(out[0], 0xFF);  // type -1
    EXPECT_EQ(out[1], 2);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(out[3], 2);
    // A scalar has no dimensions in the file.
    const int16_t seven = 7;
    VViconArray scalar(&seven, VViconArray::kInt16, 0, nullptr);
    EXPECT_EQ(scalar.GetFirst<int>(), 7);
    out.clear();
    ASSERT_TRUE(scalar.Write(out));
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1], 0);
    // A parameter's offset counts from its own first byte to the next record.
    out.clear();
    ASSERT_TRUE(VViconParameter("USED", 1, true, "n", &scalar).Write(out));
    EXPECT_EQ((int8_t)out[0], -4);  // locked
    EXPECT_EQ(out[6] | out[7] << 8, (int)out.size() - 6);
    // Dimensions above 255 cannot be written.
    const int wide[1] = {300};
    EXPECT_FALSE(VViconArray(nullptr, VViconArray::kChar, 1, wide).Write(out));
    char text[8] = "xxxxxxx";
    VViconArray view(text, VViconArray::kChar, 1, wide);
    VViconArray::CopyString(view, "ab\001cd", 5);
    EXPECT_EQ(std::string(text), "ab   xx");
}

TEST_F(c3d_file, c3d_SameDataInEveryProcessorAndForm) {
    for (int processor = 1; processor <= 3; ++processor) {
        for (bool floating : {true, false}) {
            SCOPED_TRACE(std::to_string(processor) + (floating ? " float" : " integer"));
            TearDown();
            SetUp();
            const Builder b = SampleFile(processor, floating);
            const std::string name =
                "c3d_sample_" + std::to_string(processor) + (floating ? "f" : "i") + ".c3d";
            ASSERT_TRUE(ReadBytes(name, b.Build()));
            VOxaNode* reference = Find("C3D:optical");
            ASSERT_NE(reference, nullptr);
            EXPECT_EQ(reference->GetChildCount(), 3);
            const char* names[3] = {"Hip", "Knee", "Toe"};
            for (int m = 0; m < 3; ++m) {
                VOxaNode* node = Find(names[m]);
                ASSERT_NE(node, nullptr);
                EXPECT_EQ(node->GetParent(), reference);
                for (int f = 0; f < 3; ++f) {
                    if (m == 1 && f == 1) continue;
                    ExpectPoint(node, f, b.frames[(size_t)f][(size_t)m], floating ? 1e-4 : 0.05);
                    EXPECT_EQ(Key(node, 9, f), 0.0f);
                }
            }
            // The invalid point is occluded and holds the last valid position.
            VOxaNode* knee = Find("Knee");
            EXPECT_EQ(Key(knee, 9, 1), 1.0f);
            EXPECT_EQ(Key(knee, 0, 1), Key(knee, 0, 0));
            // Frame n lies at (n - 1) / rate: first frame 1 starts the take at 0 s.
            EXPECT_EQ(Curve(knee, 0)->KeyGetTime(0).Get(), 0);
            EXPECT_EQ(Curve(knee, 0)->KeyGetTime(1).Get(), VTime::kOneSecond / 100);
        }
    }
}

TEST_F(c3d_file, c3d_ParameterRecords) {
    // A long name is kept to 31 characters and the rest passed; a value that claims more
    // elements than its record holds (255 dimensions of 255) is skipped; a record with offset 0
    // is the last one and its value is read within the bytes before the data.
    Builder b = SampleFile(1, true);
    Record longName = Chars(std::string(40, 'N'), "x");
    Record huge = Chars("UNITS", "m");
    huge.dims.assign(255, 255);
    Record units = Chars("UNITS", "cm");
    b.records = {Group("POINT", 1), longName, huge, Table("LABELS", {"A:Hip", "B:Knee", "Toe"}, 6), units};
    b.records.back().offset = 0;
    const std::string path = TempPath("c3d_records.c3d");
    WriteFile(path, b.Build());
    VOxaFileVicon file;
    std::vector<std::string> names;
    ASSERT_TRUE(Names(path, false, names, &file));
    EXPECT_EQ(names, (std::vector<std::string>{"Hip", "Knee", "Toe"}));
    EXPECT_DOUBLE_EQ(file.GetUnitFactor(), 1.0);  // "cm" read from the last record; "m" skipped
    file.Close();

    // The reader's records directly: the name, the skipped value, the last record.
    VOxaFileVicon raw;
    int64_t markers, frames;
    VTime start;
    double rate, scale;
    ASSERT_TRUE(raw.Open(path.c_str(), "rb"));
    ASSERT_TRUE(raw.ReadHeader(markers, start, frames, rate, scale));
    ASSERT_EQ(raw.Skip(4), 4);
    std::vector<std::string> seen;
    while (auto record = raw.ReadParameter()) {
        seen.push_back(record->GetName());
        if (seen.size() == 2) {
            EXPECT_EQ(std::string(record->GetName()).size(), 31u);
        }
        if (seen.size() == 3) {
            EXPECT_EQ(record->GetValue(), nullptr);
        }
        if (seen.size() == 4) {
            ASSERT_NE(record->GetValue(), nullptr);
            EXPECT_EQ(record->GetValue()->GetDimension(0), 3);  // label count first in memory
            EXPECT_EQ(record->GetValue()->GetDimension(1), 6);
        }
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen.back(), "UNITS");

    // The last record may use the bytes up to the first data block, no further: a value that
    // claims more is skipped even when the data section would hold its bytes.
    Builder last = SampleFile(1, true);
    last.analog = 200;  // 800 bytes of analog values per frame after the section
    Record wide = Chars("UNITS", "cm");
    wide.dims = {255, 4};  // 1020 characters: more than the rest of the single section block
    wide.offset = 0;
    last.records = {Group("POINT", 1), Table("LABELS", {"Hip", "Knee", "Toe"}, 6), wide};
    const std::string lastPath = OwnPath("last_record.c3d");
    const std::string lastBytes = last.Build();
    ASSERT_EQ(Word(lastBytes, 16), 3);  // data from block 3 on
    ASSERT_GT(lastBytes.size(), 3 * 512u);
    WriteFile(lastPath, lastBytes);
    {
        VOxaFileVicon cut;
        ASSERT_TRUE(Names(lastPath, false, names, &cut));
        EXPECT_EQ(names[2], "Toe");
        EXPECT_DOUBLE_EQ(cut.GetUnitFactor(), 0.1) << "the value reaching into the data was read";
    }

    // A parameter without a value is passed over like a group: a "USES_PREFIXES" of type 0
    // keeps no prefixes.
    Builder typeless = SampleFile(1, true);
    Record prefixes;
    prefixes.name = "USES_PREFIXES";
    typeless.records = {Group("POINT", 1), Table("LABELS", {"A:Hip", "B:Knee", "Toe"}, 6), prefixes};
    const std::string typelessPath = OwnPath("typeless.c3d");
    WriteFile(typelessPath, typeless.Build());
    {
        VOxaFileVicon plain;
        ASSERT_TRUE(Names(typelessPath, true, names, &plain));
        EXPECT_EQ(names, (std::vector<std::string>{"Hip", "Knee", "Toe"}));
    }
    typeless.records.back() = Ints("USES_PREFIXES", {1});
    WriteFile(typelessPath, typeless.Build());
    VOxaFileVicon kept;
    ASSERT_TRUE(Names(typelessPath, true, names, &kept));
    EXPECT_EQ(names[0], "A_Hip");
}

TEST_F(c3d_file, c3d_NamesUnitsAndAxes) {
    Builder b = SampleFile(1, true);
    b.records = {Group("POINT", 1),       Table("LABELS", {"Bob:Hip", "Bob:Left:Knee"}, 16),
                 Chars("UNITS", "M"),     Chars("X_SCREEN", "-Y"),
                 Chars("Y_SCREEN", "+X"), Ints("USES_PREFIXES", {1})};
    const std::string path = TempPath("c3d_axes.c3d");
    WriteFile(path, b.Build());
    {
        VOxaFileVicon file;
        std::vector<std::string> names;
        ASSERT_TRUE(Names(path, true, names, &file));
        // Prefixes kept: every ':' becomes '_'; the third marker has no label.
        EXPECT_EQ(names, (std::vector<std::string>{"Bob_Hip", "Bob_Left_Knee", "0002"}));
        EXPECT_DOUBLE_EQ(file.GetUnitFactor(), 100.0);
        // Right -Y and up +X: scene X is +Y, scene Y is +X and scene Z is Y x X = -Z, so the
        // file's X goes to scene Y, its Y to scene X and its Z, negated, to scene Z.
        const int* map = file.GetAxisMap();
        EXPECT_EQ(map[0], 2);
        EXPECT_EQ(map[1], 1);
        EXPECT_EQ(map[2], -3);
    }
    {
        VOxaFileVicon file;
        std::vector<std::string> names;
        ASSERT_TRUE(Names(path, false, names, &file));
        EXPECT_EQ(names, (std::vector<std::string>{"Hip", "Left_Knee", "0002"}));
    }
    // Through the reader: file (x, y, z) in metres is the scene point (y, x, -z) x 100.
    ASSERT_TRUE(ReadBytes("c3d_axes.c3d", b.Build()));
    VOxaNode* hip = Find("Bob_Hip");
    ASSERT_NE(hip, nullptr);
    const Point& p = b.frames[0][0];
    EXPECT_NEAR(Key(hip, 0, 0), p.y * 100.0, 1e-2);
    EXPECT_NEAR(Key(hip, 1, 0), p.x * 100.0, 1e-2);
    EXPECT_NEAR(Key(hip, 2, 0), -p.z * 100.0, 1e-2);

    // Every length unit, by its symbol or word in any case, is centimetres as it says; a text
    // that names none is read as millimetres and warned with its text. Parameters of the wrong
    // type are not used.
    const struct {
        const char* units;
        double factor;
        const char* warned;
    } cases[] = {
        {"mm", 0.1, nullptr},
        {"cm", 1.0, nullptr},
        {"m", 100.0, nullptr},
        {"in", 2.54, nullptr},
        {"FT", 30.48, nullptr},
        {"dm", 10.0, nullptr},
        {"km", 100000.0, nullptr},
        {"yd", 91.44, nullptr},
        {"um", 1.0e-4, nullptr},
        {"METERS", 100.0, nullptr},
        {"Feet", 30.48, nullptr},
        {"MM  ", 0.1, nullptr},
        {"millimetres", 0.1, nullptr},
        {"q", 0.1, "POINT:UNITS \"q\" is no length unit"},
        {"  ", 0.1, "POINT:UNITS \"\" is no length unit"},
        {"mmm", 0.1, "POINT:UNITS \"mmm\" is no length unit; the positions are read as millimetres."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        Builder u = SampleFile(2, false);
        u.records.push_back(Chars("UNITS", c.units));
        u.records.push_back(Ints("X_SCREEN", {88}));  // not text: ignored
        const std::string upath = TempPath("c3d_units.c3d");
        WriteFile(upath, u.Build());
        VOxaFileVicon file;
        std::vector<std::string> names;
        ASSERT_TRUE(Names(upath, false, names, &file));
        EXPECT_NEAR(file.GetUnitFactor(), c.factor, 1e-12 * c.factor) << c.units;
        EXPECT_EQ(file.GetAxisMap()[0], -1);
        if (c.warned)
            EXPECT_NE(std::string(file.GetWarning()).find(c.warned), std::string::npos) << file.GetWarning();
        else
            EXPECT_EQ(std::string(file.GetWarning()).find("UNITS"), std::string::npos) << file.GetWarning();
    }
    // LABELS of another group than POINT are not names.
    Builder g = SampleFile(3, true);
    g.records = {Group("POINT", 2), Table("LABELS", {"A", "B", "C"}, 2, 1)};
    WriteFile(path, g.Build());
    VOxaFileVicon file;
    std::vector<std::string> names;
    ASSERT_TRUE(Names(path, false, names, &file));
    EXPECT_EQ(names[0], "0000");
}

// Only the point group's "UNITS" scales positions, once: analog channels and force plates carry
// units of their own ("mV", "m"), and a group may be declared after its parameters.
TEST_F(c3d_file, c3d_UnitsOfThePointGroupOnly) {
    const struct {
        const char* what;
        std::vector<Record> records;
        int pointGroup;
        double file;   // the marker's X in the file's unit
        double scene;  // the same in centimetres
    } cases[] = {
        {"mm beside mV",
         {Group("POINT", 1), Group("ANALOG", 2), Chars("UNITS", "mm", 1), Table("UNITS", {"mV", "mV"}, 2, 2)},
         1,
         20.0,
         2.0},
        {"m beside a force plate's m, point group declared last",
         {Chars("UNITS", "m", 3), Group("FORCE_PLATFORM", 2), Chars("UNITS", "m", 2),
          Chars("X_SCREEN", "-Y", 2), Group("POINT", 3)},
         3,
         0.5,
         50.0},
        {"no point unit beside mV",
         {Group("POINT", 1), Group("ANALOG", 2), Chars("UNITS", "mV", 2)},
         1,
         20.0,
         2.0},
        {"a repeated point unit",
         {Group("POINT", 1), Chars("UNITS", "cm", 1), Chars("UNITS", "m", 1)},
         1,
         2.0,
         2.0},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Builder b;
        b.floating = true;
        b.scale = -1.0f;
        b.analog = 2;
        b.records = c.records;
        b.records.push_back(Table("LABELS", {"Hip"}, 4, c.pointGroup));
        Point p;
        p.x = c.file;
        p.y = -c.file;
        p.z = 2 * c.file;
        b.frames = {{p}, {p}};
        const std::string name = "c3d_units_" + std::to_string(n++) + ".c3d";
        ASSERT_TRUE(ReadBytes(name, b.Build()));
        VOxaNode* hip = Find("Hip");
        ASSERT_NE(hip, nullptr);
        // The default axes: file X to scene -X, file Z to scene Y, file Y to scene Z.
        EXPECT_NEAR(Key(hip, 0, 1), -c.scene, 1e-5);
        EXPECT_NEAR(Key(hip, 1, 1), 2 * c.scene, 1e-5);
        EXPECT_NEAR(Key(hip, 2, 1), -c.scene, 1e-5);

        // Written as TRC, the positions stand in millimetres.
        VOxaWriterMotionAnalysisTrc writer(mManager);
        const std::string trc = OwnPath("units_" + std::to_string(n) + ".trc");
        // As the converter marks them: the reference node is the writing root.
        hip->SetMarked(1);
        Find("C3D:optical")->SetMarked(1);
        ASSERT_TRUE(WriteWith(writer, trc, [&](VStreamOptionsMotion& o) {
            o.SetTimeMode(0, 100.0);
            o.SetStartTime(Curve(hip, 0)->KeyGetTime(0));
            o.SetFrameCount(2);
        }));
        char row[128];
        std::snprintf(row, sizeof row, "\t%.5f\t%.5f\t%.5f", -c.scene * 10, 2 * c.scene * 10, -c.scene * 10);
        EXPECT_NE(ReadFile(trc).find(row), std::string::npos) << ReadFile(trc);
        std::remove(trc.c_str());
        TearDown();
        SetUp();
    }
}

// Other screen axes place integer and floating-point data alike, and a file object read again
// starts from the default map.
TEST_F(c3d_file, c3d_ScreenAxesAlikeForBothDataForms) {
    std::vector<std::vector<float>> read[2];
    for (int floating = 0; floating < 2; ++floating) {
        Builder b = SampleFile(1, floating == 1);
        b.records.push_back(Chars("X_SCREEN", "+Y"));
        b.records.push_back(Chars("Y_SCREEN", "-Z"));
        ASSERT_TRUE(ReadBytes("c3d_screen_" + std::to_string(floating) + ".c3d", b.Build()));
        for (const char* name : {"Hip", "Knee", "Toe"})
            for (int channel = 0; channel < 3; ++channel)
                read[floating].push_back({Key(Find(name), channel, 0), Key(Find(name), channel, 2)});
        TearDown();
        SetUp();
    }
    ASSERT_EQ(read[0].size(), read[1].size());
    for (size_t i = 0; i < read[0].size(); ++i) {
        EXPECT_NEAR(read[0][i][0], read[1][i][0], 0.05) << i;
        EXPECT_NEAR(read[0][i][1], read[1][i][1], 0.05) << i;
    }

    // Right -Y with the usual up +Z: scene (y, z, x), so the file's X goes to scene Z.
    Builder turned = SampleFile(1, true);
    turned.records.push_back(Chars("X_SCREEN", "-Y"));
    const std::string path = OwnPath("turned.c3d");
    WriteFile(path, turned.Build());
    VOxaFileVicon file;
    std::vector<std::string> names;
    ASSERT_TRUE(Names(path, false, names, &file));
    EXPECT_EQ(std::vector<int>(file.GetAxisMap(), file.GetAxisMap() + 3), (std::vector<int>{3, 1, 2}));
    file.Close();
    WriteFile(path, SampleFile(1, true).Build());
    ASSERT_TRUE(Names(path, false, names, &file));
    EXPECT_EQ(std::vector<int>(file.GetAxisMap(), file.GetAxisMap() + 3), (std::vector<int>{-1, 3, 2}));
    std::remove(path.c_str());
}

// Screen axes name the lab axes that point right (X_SCREEN) and up (Y_SCREEN). Read, the scene's Y
// is the up axis, its X the right axis negated and its Z their cross product: a rotation of the
// lab, never a mirror image. Three markers on the lab's X, Y and Z axes must come out of C3D ->
// TRC as a right-handed frame with the up axis on Y.
TEST_F(c3d_file, c3d_ScreenAxesGiveARotation) {
    struct Vec {
        double v[3];
    };
    auto axis = [](const char* text) {
        Vec a{{0, 0, 0}};
        a.v[text[1] - 'X'] = text[0] == '-' ? -1.0 : 1.0;
        return a;
    };
    auto cross = [](const Vec& a, const Vec& b) {
        return Vec{{a.v[1] * b.v[2] - a.v[2] * b.v[1], a.v[2] * b.v[0] - a.v[0] * b.v[2],
                    a.v[0] * b.v[1] - a.v[1] * b.v[0]}};
    };
    auto dot = [](const Vec& a, const Vec& b) { return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2]; };
    const double lengths[3] = {100.0, 200.0, 300.0};  // unlike lengths tell the axes apart
    const char* const screens[][2] = {{"+X", "+Z"}, {"+Y", "+Z"}, {"+X", "+Y"}, {"-Y", "+Z"}, {"+Z", "+Y"}};
    int n = 0;
    for (const auto& screen : screens) {
        for (bool floating : {true, false}) {
            SCOPED_TRACE(std::string(screen[0]) + "/" + screen[1] + (floating ? " float" : " integer"));
            Builder b = SampleFile(1, floating);
            b.analog = 0;
            b.records = {Group("POINT", 1), Table("LABELS", {"LabX", "LabY", "LabZ"}, 4),
                         Chars("X_SCREEN", screen[0]), Chars("Y_SCREEN", screen[1])};
            std::vector<Point> frame(3);
            for (int m = 0; m < 3; ++m)
                (&frame[(size_t)m].x)[m] = lengths[m];
            b.frames = {frame};
            const std::vector<std::vector<double>> rows =
                TrcRows(C3dToTrc("c3d_screen_" + std::to_string(n++), b.Build()));
            ASSERT_EQ(rows.size(), 1u);
            ASSERT_EQ(rows[0].size(), 2u + 9u);
            // The scene's axes in lab coordinates.
            const Vec right = axis(screen[0]), up = axis(screen[1]);
            const Vec sceneX{{-right.v[0], -right.v[1], -right.v[2]}};
            const Vec sceneZ = cross(sceneX, up);
            Vec got[3];
            for (int m = 0; m < 3; ++m) {
                Vec lab{{0, 0, 0}};
                lab.v[m] = lengths[m];
                for (int c = 0; c < 3; ++c)
                    got[m].v[c] = rows[0][2 + 3 * (size_t)m + (size_t)c];
                EXPECT_NEAR(got[m].v[0], dot(lab, sceneX), 0.3) << m;
                EXPECT_NEAR(got[m].v[1], dot(lab, up), 0.3) << m;
                EXPECT_NEAR(got[m].v[2], dot(lab, sceneZ), 0.3) << m;
            }
            // Right-handed: (X x Y) . Z of the three positions has the sign of the lab's.
            EXPECT_GT(dot(cross(got[0], got[1]), got[2]), 0.0);
            // The marker on the up axis stands straight up.
            const int vertical = screen[1][1] - 'X';
            EXPECT_NEAR(got[vertical].v[1], lengths[vertical], 0.3);
        }
    }

    // Both screen axes along one lab axis name no frame: the up axis is kept, and the positions
    // still form a right-handed frame, not a mirror image or a flattened one.
    for (const char* right : {"+Z", "-Z", "+X"}) {
        SCOPED_TRACE(right);
        Builder b = SampleFile(1, true);
        b.analog = 0;
        const char* up = right[1] == 'X' ? "-X" : "+Z";
        b.records = {Group("POINT", 1), Table("LABELS", {"LabX", "LabY", "LabZ"}, 4),
                     Chars("X_SCREEN", right), Chars("Y_SCREEN", up)};
        std::vector<Point> frame(3);
        for (int m = 0; m < 3; ++m)
            (&frame[(size_t)m].x)[m] = lengths[m];
        b.frames = {frame};
        const std::vector<std::vector<double>> rows =
            TrcRows(C3dToTrc("c3d_screen_same_" + std::to_string(n++), b.Build()));
        ASSERT_EQ(rows.size(), 1u);
        ASSERT_EQ(rows[0].size(), 2u + 9u);
        Vec got[3];
        for (int m = 0; m < 3; ++m)
            for (int c = 0; c < 3; ++c)
                got[m].v[c] = rows[0][2 + 3 * (size_t)m + (size_t)c];
        EXPECT_NEAR(dot(cross(got[0], got[1]), got[2]), lengths[0] * lengths[1] * lengths[2], 1.0);
        const int vertical = up[1] - 'X';
        EXPECT_NEAR(got[vertical].v[1], up[0] == '-' ? -lengths[vertical] : lengths[vertical], 0.3);
    }
}

// Frames count from 1: frame n lies at (n - 1) / rate, a stored first frame 0 reads as frame 1,
// and the writer writes the frame that starts the take as start x rate + 1.
TEST_F(c3d_file, c3d_FramesCountFromOne) {
    const struct {
        int first;           // the header's first frame
        const char* header;  // the TRC values line from OrigDataRate on
        const char* line;    // the TRC's first frame line up to its points
    } cases[] = {
        {1, "100.00\t1\t2\t", "1\t0.000\t"},
        {0, "100.00\t1\t2\t", "1\t0.000\t"},
        {41, "100.00\t41\t2\t", "41\t0.400\t"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        Builder b = SampleFile(1, true);
        b.frames.resize(2);
        b.firstFrame = c.first;
        const std::string trc = C3dToTrc("c3d_first_" + std::to_string(n++), b.Build());
        EXPECT_NE(trc.find(std::string("\tmm\t") + c.header + "\n"), std::string::npos) << trc;
        EXPECT_NE(trc.find(std::string("\n") + c.line), std::string::npos) << trc;
    }

    // C3D -> C3D keeps the first frame: frame 41 starts at 0.4 s and is written as frame 41.
    Builder b = SampleFile(1, true);
    b.firstFrame = 41;
    ASSERT_TRUE(ReadBytes("c3d_first_again.c3d", b.Build()));
    VOxaNode* reference = Find("C3D:optical");
    ASSERT_NE(reference, nullptr);
    reference->SetMarked(1);
    for (int i = 0; i < reference->GetChildCount(); ++i)
        reference->GetChild(i)->SetMarked(1);
    const VTime start = Curve(Find("Hip"), 0)->KeyGetTime(0);
    EXPECT_EQ(start.Get(), VTime::kOneSecond * 40 / 100);
    const std::string path = OwnPath("first_again.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
        o.SetTimeMode(0, 100.0);
        o.SetStartTime(start);
        o.SetFrameCount(3);
    }));
    const std::string bytes = ReadFile(path);
    EXPECT_EQ(Word(bytes, 6), 41);
    EXPECT_EQ(Word(bytes, 8), 43);
    std::remove(path.c_str());
}

TEST_F(c3d_file, c3d_TimeCodes) {
    Builder b = SampleFile(1, true);
    ASSERT_TRUE(ReadBytes("c3d_plain.c3d", b.Build()));
    const VTime plain = Curve(Find("Hip"), 0)->KeyGetTime(0);
    TearDown();
    SetUp();
    b.records.push_back(Ints("TIMECODES", {1, 0, 0, 0}, 2));
    ASSERT_TRUE(ReadBytes("c3d_timecode.c3d", b.Build()));
    // One hour later, and the names (read after ReadHeader ran again) are still found.
    EXPECT_EQ(Curve(Find("Hip"), 0)->KeyGetTime(0).Get(), plain.Get() + 3600 * VTime::kOneSecond);
    TearDown();
    SetUp();
    // Every element counts: 0 h 2 min 3 s.
    b.records.back() = Ints("TIMECODES", {0, 2, 3, 0}, 2);
    ASSERT_TRUE(ReadBytes("c3d_timecode_ms.c3d", b.Build()));
    EXPECT_EQ(Curve(Find("Hip"), 0)->KeyGetTime(0).Get(), plain.Get() + 123 * VTime::kOneSecond);
    TearDown();
    SetUp();
    // Fewer than four integers, or floats, are ignored.
    b.records.back() = Ints("TIMECODES", {1, 0, 0}, 2);
    b.records.push_back(Float("TIMECODES", 1.0, 2));
    ASSERT_TRUE(ReadBytes("c3d_timecode_short.c3d", b.Build()));
    EXPECT_EQ(Curve(Find("Hip"), 0)->KeyGetTime(0).Get(), plain.Get());
}

TEST_F(c3d_file, c3d_HeaderRules) {
    // A header scale of 0 is read as 0.1449 (integer data); a rate of 0 as 30.
    Builder b = SampleFile(1, false);
    b.scale = 0.0f;
    b.rate = 0.0f;
    b.firstFrame = 2;
    b.frames = {{{1000.0, 0.0, 0.0, true}}};
    std::string bytes = b.Build();
    // The builder divided by 0: write the integer 100 by hand.
    const size_t data = bytes.size() - 8 - 6;
    bytes[data] = 100;
    bytes[data + 1] = 0;
    ASSERT_TRUE(ReadBytes("c3d_scale0.c3d", bytes));
    VOxaNode* hip = Find("Hip");
    EXPECT_NEAR(Key(hip, 0, 0), -100 * 0.1449f * 0.1, 1e-5);
    EXPECT_EQ(Curve(hip, 0)->KeyGetTime(0).Get(), VTime::kOneSecond / 30);  // frame 2 at 30 per second

    // The parameter section may start at another block: the processor byte is found there.
    Builder moved = SampleFile(3, true);
    moved.parameterBlock = 4;
    moved.events = 300;  // at most 18 are read
    const std::string path = TempPath("c3d_moved.c3d");
    WriteFile(path, moved.Build());
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_EQ(VViconLoaderBase::GetProcessorType(f), 3);
    std::fclose(f);
    VOxaFileVicon file;
    std::vector<std::string> names;
    ASSERT_TRUE(Names(path, false, names, &file));
    EXPECT_EQ(file.GetEventCount(), 18);
    EXPECT_EQ(names[2], "Toe");

    // Corrupt headers: no 0x50 mark, no points, block numbers below 1, cut files.
    int error = -1;
    Builder bad = SampleFile(1, true);
    bad.word1 = 0x4002;
    EXPECT_FALSE(ReadBytes("c3d_bad.c3d", bad.Build(), nullptr, &error));
    EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    bad = SampleFile(1, true);
    bad.word1 = 0x5000;
    EXPECT_FALSE(ReadBytes("c3d_bad.c3d", bad.Build()));
    std::string zeroData = SampleFile(1, true).Build();  // header word 9: data block 0
    zeroData[16] = 0;
    zeroData[17] = 0;
    EXPECT_FALSE(ReadBytes("c3d_bad.c3d", zeroData));
    bad = SampleFile(1, true);
    bad.pointCount = 0;
    EXPECT_FALSE(ReadBytes("c3d_bad.c3d", bad.Build()));
    const std::string whole = SampleFile(2, true).Build();
    // A file cut before its first frame is refused; one cut in its last frame (points or analog
    // values) is read without that frame.
    for (size_t cut : {size_t(0), size_t(100), size_t(514), size_t(1024)}) {
        EXPECT_FALSE(ReadBytes("c3d_cut.c3d", whole.substr(0, cut), nullptr, &error)) << cut;
        EXPECT_EQ(error, VOxaReader::eFILE_CORRUPTED);
    }
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 1);  // only the first read's reference
    EXPECT_TRUE(ReadBytes("c3d_cut.c3d", whole.substr(0, whole.size() - 12 - 1)));
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 2);
}

TEST_F(c3d_file, c3d_WriterLayout) {
    VOxaNode* root = mScene->GetRootNode();
    AddMarked(root, "Actor:Hip", {{10, 20, 30, 0}, {11, 21, 31, 0}, {12, 22, 32, 0}}, {1});
    AddMarked(root, "Knee", {{-5, 6, -7, 0}, {-5, 6, -7, 0}, {-5, 6, -7, 0}});
    const std::string path = TempPath("c3d_written.c3d");
    auto frames3 = [](VStreamOptionsMotion& o) {
        o.SetFrameCount(3);
        o.SetTimeMode(6, 0);
    };
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, frames3));
    const std::string bytes = ReadFile(path);
    ASSERT_GE(bytes.size(), 1024u);
    EXPECT_EQ(Word(bytes, 0), 0x5002);  // parameter block 2
    EXPECT_EQ(Word(bytes, 2), 2);       // markers
    EXPECT_EQ(Word(bytes, 6), 1);       // first frame: start 0 s is frame 1
    EXPECT_EQ(Word(bytes, 8), 3);       // last frame
    EXPECT_EQ(VViconNumbers::LoadFloat((const uint8_t*)bytes.data() + 12, 2), -1.0f);
    EXPECT_EQ(VViconNumbers::LoadFloat((const uint8_t*)bytes.data() + 20, 2), 30.0f);
    EXPECT_EQ(Word(bytes, 298), 12345);
    const int dataBlock = Word(bytes, 16);
    EXPECT_EQ(bytes[512 + 3], 85);             // DEC
    EXPECT_EQ(bytes[512 + 2], dataBlock - 2);  // the real block count
    EXPECT_EQ((size_t)(dataBlock - 1) * 512 + 3 * 2 * 16, bytes.size());
    // "DATA_START" names the same block; "UNITS" is "mm  ", the screens "+X" and "+Z".
    EXPECT_NE(bytes.find("UNITS"), std::string::npos);
    EXPECT_NE(bytes.find("mm  "), std::string::npos);
    EXPECT_NE(bytes.find("+X"), std::string::npos);
    EXPECT_NE(bytes.find("+Z"), std::string::npos);
    const size_t dataStart = bytes.find("DATA_START");
    ASSERT_NE(dataStart, std::string::npos);
    EXPECT_EQ(Word(bytes, dataStart + 10 + 2 + 2), dataBlock);
    // The first point: scene (10, 20, 30) cm is file (-100, 300, 200) mm as DEC floats.
    const uint8_t* point = (const uint8_t*)bytes.data() + (dataBlock - 1) * 512;
    EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(point, 2), -100.0f);
    EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(point + 4, 2), 300.0f);
    EXPECT_FLOAT_EQ(VViconNumbers::LoadFloat(point + 8, 2), 200.0f);
    EXPECT_EQ(VViconNumbers::LoadFloat(point + 12, 2), 0.0f);
    EXPECT_EQ(VViconNumbers::LoadFloat(point + 32 + 12, 2), -1.0f);  // frame 2: occluded

    // Integer data: the scale 0.14490029 and 16-bit coordinates.
    ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
        frames3(o);
        o.SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, 0);
    }));
    const std::string ints = ReadFile(path);
    uint8_t scale[4];
    std::memcpy(scale, ints.data() + 12, 4);
    VViconNumbers::ConvertFloat(scale, 2, 1);
    float value;
    std::memcpy(&value, scale, 4);
    EXPECT_EQ(Bits(value), 0x3E1460BEu);
    const size_t first = (size_t)(Word(ints, 16) - 1) * 512;
    EXPECT_EQ((int16_t)Word(ints, first), (int16_t)(-100.0 / (0.14490029f * 1.0)));
    EXPECT_EQ((uint8_t)ints[first + 7], 0);
    EXPECT_EQ((uint8_t)ints[first + 8 + 8 + 7], 0x80);  // frame 2, first marker: invalid

    // The first frame is the rounded start x rate + 1: 1.5 s at 30 frames per second is frame 46.
    ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
        frames3(o);
        o.SetStartTime(VTime(VTime::kOneSecond * 3 / 2));
    }));
    const std::string later = ReadFile(path);
    EXPECT_EQ(Word(later, 6), 46);
    EXPECT_EQ(Word(later, 8), 48);
}

TEST_F(c3d_file, c3d_RoundTrips) {
    VOxaNode* root = mScene->GetRootNode();
    AddMarked(root, "Actor:Hip", {{10.25, 20.5, -30.125, 0}, {11, 21, 31, 0}, {-12, 22, 32.75, 0}}, {1});
    AddMarked(root, "Knee", {{-5, 6, -7, 0}, {400, -6, 7, 0}, {-5, 6, -7, 0}});
    for (bool floating : {true, false}) {
        SCOPED_TRACE(floating ? "float" : "integer");
        const std::string path = TempPath(floating ? "c3d_round_f.c3d" : "c3d_round_i.c3d");
        VOxaWriterVicon writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, [&](VStreamOptionsMotion& o) {
            o.SetFrameCount(3);
            o.SetTimeMode(6, 0);
            o.SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, floating ? 1 : 0);
        }));
        VOxaScene* scene = mManager->CreateScene();
        VOxaReaderVicon reader(mManager);
        std::swap(scene, mScene);
        ASSERT_TRUE(ReadWith(reader, path, [](VStreamOptionsMotion& o) {
            o.SetOption(VStreamOptionsMotion::eIMPORT_SET_OCCLUDED_TO_LAST_VALID_POSITION, 0);
        }));
        const double tolerance = floating ? 1e-5 : 0.0145;
        VOxaNode* hip = Find("Hip");  // the actor prefix goes: no "USES_PREFIXES" written
        VOxaNode* knee = Find("Knee");
        ASSERT_NE(hip, nullptr);
        ASSERT_NE(knee, nullptr);
        const double want[3][3] = {{10.25, 20.5, -30.125}, {11, 21, 31}, {-12, 22, 32.75}};
        for (int f = 0; f < 3; ++f)
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(Key(hip, a, f), want[f][a], tolerance) << f << " " << a;
        EXPECT_EQ(Key(hip, 9, 1), 1.0f);
        EXPECT_EQ(Key(hip, 9, 0), 0.0f);
        EXPECT_NEAR(Key(knee, 0, 1), 400.0, floating ? 1e-4 : 0.0145);
        // Written as frame 1, the first frame reads back at 0 s.
        EXPECT_EQ(Curve(knee, 0)->KeyGetTime(0).Get(), 0);
        EXPECT_EQ(Curve(knee, 0)->KeyGetTime(2).Get(), VTime::GetOneFrameValue(6).Get() * 2);
        std::swap(scene, mScene);
    }
}

TEST_F(c3d_file, c3d_WriterLimitsAndFailures) {
    VOxaNode* root = mScene->GetRootNode();
    // 500 km is beyond 16 bits of integer data at any scale a reader takes: clamped and
    // written invalid.
    AddMarked(root, "Far", {{5e7, 0, 0, 0}, {1, 2, 3, 0}});
    AddMarked(root, "Near", {{1, 2, 3, 0}, {1, 2, 3, 0}});
    const std::string path = TempPath("c3d_limits.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6, 0);
        o.SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, 0);
    }));
    std::string bytes = ReadFile(path);
    const size_t data = (size_t)(Word(bytes, 16) - 1) * 512;
    EXPECT_EQ((int16_t)Word(bytes, data), -32768);
    EXPECT_EQ((uint8_t)bytes[data + 7], 0x80);
    EXPECT_EQ((uint8_t)bytes[data + 16 + 7], 0);
    const std::string good = bytes;

    // Frame numbers beyond 65535 are refused with error 5 and a reason; the target is kept.
    int error = -1;
    EXPECT_FALSE(WriteWith(
        writer, path,
        [](VStreamOptionsMotion& o) {
            o.SetFrameCount(2);
            o.SetTimeMode(6, 0);
            o.SetStartTime(VTime(3000 * VTime::kOneSecond));  // frame 90000
        },
        &error));
    EXPECT_EQ(error, VOxaWriter::eUNIDENTIFIED_ERROR);
    EXPECT_NE(std::string(writer.GetError().GetLastErrorString().Buffer()).find("65535"), std::string::npos);
    EXPECT_EQ(ReadFile(path), good);

    // A failed write keeps the old target: error 3.
    {
        FileSizeLimit limit(good.size() + 600);
        std::vector<VgeTVector> many(3000, VgeTVector(1, 2, 3, 0));
        AddMarked(root, "More", many);
        EXPECT_FALSE(WriteWith(
            writer, path,
            [](VStreamOptionsMotion& o) {
                o.SetFrameCount(3000);
                o.SetTimeMode(6, 0);
            },
            &error));
    }
    EXPECT_EQ(error, VOxaWriter::eOUT_OF_DISK_SPACE);
    EXPECT_EQ(ReadFile(path), good);
}

TEST_F(c3d_file, c3d_RefusedAndUnplacedWritesReportFailure) {
    // A refused header: Close reports the failure and the old target stays.
    const std::string path = OwnPath("refused.c3d");
    WriteFile(path, "old");
    {
        VOxaFileVicon file;
        ASSERT_TRUE(file.Open(path.c_str(), "wb"));
        EXPECT_FALSE(file.WriteHeader(VOxaFileVicon::kMaxWord + 1, VTime(0), 1, 30.0, -1.0));
        EXPECT_NE(std::string(file.GetRefusal().Buffer()).find("65535"), std::string::npos);
        EXPECT_FALSE(file.WriteMarkerNames(VStringList()));
        EXPECT_FALSE(file.Close());
    }
    EXPECT_EQ(ReadFile(path), "old");

    // A word patch that was never written has no place in the file: storing it fails and the
    // write is marked failed.
    VOxaFileVicon file;
    ASSERT_TRUE(file.Open(path.c_str(), "wb"));
    VViconWordPatch unplaced;
    EXPECT_FALSE(file.WritePatch(unplaced, 7));
    EXPECT_EQ(unplaced.mValue, 7);
    EXPECT_TRUE(file.WriteFailed());
    file.Discard();
    EXPECT_EQ(ReadFile(path), "old");
}

// A parameter of a C3D file, found by the format's rules: records from the first parameter block
// (header byte 0) on, each a name length, a group id, the name, the offset of the next record, and
// for a parameter its type, dimensions (fastest first) and elements.
struct Parameter {
    int group = 0;
    std::vector<int> dims;
    std::string data;
};

std::map<std::string, Parameter> Parameters(const std::string& bytes) {
    std::map<std::string, Parameter> out;
    size_t at = (size_t)((uint8_t)bytes[0] - 1) * 512 + 4;
    while (at + 2 <= bytes.size()) {
        const int length = std::abs((int8_t)bytes[at]);
        const int id = (int8_t)bytes[at + 1];
        if (length == 0 || id == 0) break;
        const std::string name = bytes.substr(at + 2, (size_t)length);
        const size_t offset = at + 2 + (size_t)length;
        const uint16_t next = Word(bytes, offset);
        if (id > 0) {
            Parameter& p = out[name];
            p.group = id;
            const int type = (int8_t)bytes[offset + 2];
            const int count = (uint8_t)bytes[offset + 3];
            size_t size = (size_t)std::abs(type);
            for (int d = 0; d < count; ++d) {
                p.dims.push_back((uint8_t)bytes[offset + 4 + (size_t)d]);
                size *= (size_t)p.dims.back();
            }
            p.data = bytes.substr(offset + 4 + (size_t)count, size);
        }
        if (next == 0) break;
        at = offset + next;
    }
    return out;
}

TEST_F(c3d_file, c3d_NamesEmptyAfterTheirPrefixAreWrittenAsUnderscore) {
    VOxaNode* root = mScene->GetRootNode();
    for (const char* name : {"A:", "B:", "c"})
        AddMarked(root, name, {{1, 2, 3, 0}});
    const std::string path = TempPath("c3d_empty_names.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6, 0);
    }));
    // Three rows as wide as "_2" plus one blank: "_", then "_2" for the second one alike.
    std::map<std::string, Parameter> parameters = Parameters(ReadFile(path));
    EXPECT_EQ(parameters["LABELS"].dims, (std::vector<int>{3, 3}));
    EXPECT_EQ(parameters["LABELS"].data, "_  _2 c  ");
}

TEST_F(c3d_file, c3d_MarkersPast255AreNamedByLabels2) {
    VOxaNode* root = mScene->GetRootNode();
    for (int m = 0; m < 300; ++m)
        AddMarked(root, ("M" + std::to_string(m)).c_str(), {{(double)m, 0, 0, 0}});
    const std::string path = TempPath("c3d_many.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6, 0);
    }));
    // 255 rows per parameter (its dimensions are bytes), the rest in LABELS2 and DESCRIPTIONS2,
    // rows as wide as the longest name plus one.
    std::map<std::string, Parameter> parameters = Parameters(ReadFile(path));
    EXPECT_EQ(parameters["LABELS"].dims, (std::vector<int>{5, 255}));
    EXPECT_EQ(parameters["LABELS2"].dims, (std::vector<int>{5, 45}));
    EXPECT_EQ(parameters["DESCRIPTIONS"].dims, (std::vector<int>{32, 255}));
    EXPECT_EQ(parameters["DESCRIPTIONS2"].dims, (std::vector<int>{32, 45}));
    EXPECT_EQ(parameters["LABELS2"].group, parameters["LABELS"].group);
    EXPECT_EQ(parameters["LABELS"].data.substr(254 * 5, 5), "M254 ");
    EXPECT_EQ(parameters["LABELS2"].data.substr(0, 5), "M255 ");
    EXPECT_EQ(parameters["LABELS2"].data.substr(44 * 5, 5), "M299 ");
    EXPECT_EQ(parameters.count("LABELS3"), 0u);
    VOxaFileVicon file;
    std::vector<std::string> names;
    ASSERT_TRUE(Names(path, false, names, &file));
    ASSERT_EQ(names.size(), 300u);
    EXPECT_EQ(names[254], "M254");
    EXPECT_EQ(names[255], "M255");
    EXPECT_EQ(names[299], "M299");

    // A file made by hand: LABELS2 before LABELS, and a third part for the last marker. Labels
    // a part lacks are numbered.
    Builder b;
    std::vector<std::string> first, second;
    for (int m = 0; m < 255; ++m)
        first.push_back("A" + std::to_string(m));
    second = {"B0", "B1"};
    b.records = {Group("POINT", 1), Table("LABELS2", second, 4), Table("LABELS", first, 5),
                 Table("LABELS4", {"D0"}, 4), Table("LABELS3", {"C0"}, 4)};
    b.frames.assign(1, std::vector<Point>(260));
    const std::string built = TempPath("c3d_labels2.c3d");
    WriteFile(built, b.Build());
    VOxaFileVicon handMade;
    ASSERT_TRUE(Names(built, false, names, &handMade));
    ASSERT_EQ(names.size(), 260u);
    EXPECT_EQ(names[0], "A0");
    EXPECT_EQ(names[254], "A254");
    EXPECT_EQ(names[255], "B0");
    EXPECT_EQ(names[256], "B1");
    EXPECT_EQ(names[257], "C0");
    EXPECT_EQ(names[258], "D0");
    EXPECT_EQ(names[259], "0259");
}

TEST_F(c3d_file, c3d_NegativeResidualsAreGaps) {
    // Float data: the fourth value of a point is its residual; any value below 0 marks the point
    // invalid, also one that a cut to a whole number would make 0.
    Builder b;
    b.records = {Group("POINT", 1), Table("LABELS", {"M"}, 2)};
    b.frames.assign(4, std::vector<Point>(1));
    for (int f = 0; f < 4; ++f)
        b.frames[(size_t)f][0].x = 100.0 * (f + 1);
    std::string bytes = b.Build();
    const size_t data = (size_t)(Word(bytes, 16) - 1) * 512;
    const float residuals[4] = {0.5f, -0.0816f, -0.0f, -3.0f};
    for (int f = 0; f < 4; ++f)
        std::memcpy(&bytes[data + (size_t)f * 16 + 12], &residuals[f], 4);
    ASSERT_TRUE(ReadBytes("c3d_residuals.c3d", bytes));
    VOxaNode* m = Find("M");
    EXPECT_EQ(Key(m, 9, 0), 0.0f);
    EXPECT_EQ(Key(m, 9, 1), 1.0f);
    EXPECT_EQ(Key(m, 9, 2), 0.0f);  // -0 is not below 0
    EXPECT_EQ(Key(m, 9, 3), 1.0f);
    // The gap holds the last valid position, never the invalid point's own.
    EXPECT_FLOAT_EQ(Key(m, 0, 1), -10.0f);
    EXPECT_FLOAT_EQ(Key(m, 0, 2), -30.0f);
}

// The float of 4 bytes in DEC format: the IEEE bits as two 16-bit words, high word first, with an
// exponent 2 larger.
float DecFloat(const std::string& bytes, size_t at) {
    const auto b = [&](size_t k) { return (uint32_t)(uint8_t)bytes[at + k]; };
    uint32_t u = (b(0) << 16) | (b(1) << 24) | b(2) | (b(3) << 8);
    if (u != 0) u -= 2u << 23;
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

TEST_F(c3d_file, c3d_IntegerScaleHoldsTheLargestCoordinate) {
    VOxaNode* root = mScene->GetRootNode();
    AddMarked(root, "Near", {{100, 20, 30, 0}, {110, 20, 30, 0}});
    const std::string path = TempPath("c3d_scale.c3d");
    auto integer = [](VStreamOptionsMotion& o) {
        o.SetFrameCount(2);
        o.SetTimeMode(6, 0);
        o.SetOption(VStreamOptionsMotion::eEXPORT_C3D_REAL_FORMAT, 0);
    };
    {
        VOxaWriterVicon writer(mManager);
        ASSERT_TRUE(WriteWith(writer, path, integer));
        EXPECT_EQ(writer.GetMessageText(), VString(""));
        EXPECT_FLOAT_EQ(DecFloat(ReadFile(path), 12), 0.14490029f);  // enough: kept
    }
    // A marker 10 m out: beyond 0.1449 mm x 32767.
    AddMarked(root, "Far", {{-1000, 0, 0, 0}, {1000, 0, 0, 0}});
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, integer));
    EXPECT_NE(std::string(writer.GetMessageText().Buffer()).find("scale"), std::string::npos);
    const std::string bytes = ReadFile(path);
    const float scale = DecFloat(bytes, 12);
    EXPECT_GE(scale * 32767.0, 10000.0);
    EXPECT_LT(scale, 0.3052f * 1.001f);  // about the smallest that holds 10 m
    // The SCALE parameter says the same.
    std::map<std::string, Parameter> parameters = Parameters(bytes);
    ASSERT_EQ(parameters["SCALE"].data.size(), 4u);
    EXPECT_EQ(DecFloat(parameters["SCALE"].data, 0), scale);
    // Points (-x, z, y) in units of the scale, millimetres: Near then Far, frame after frame.
    const size_t data = (size_t)(Word(bytes, 16) - 1) * 512;
    const double far[2] = {-10000.0, 10000.0};
    for (int f = 0; f < 2; ++f) {
        const size_t at = data + (size_t)f * 16;
        EXPECT_EQ((int16_t)Word(bytes, at), (int16_t)std::round(-(1000.0 + 100.0 * f) / scale));
        EXPECT_EQ((int16_t)Word(bytes, at + 2), (int16_t)std::round(300.0 / scale));
        EXPECT_EQ((int16_t)Word(bytes, at + 8), (int16_t)std::round(-far[f] / scale));
        EXPECT_EQ((uint8_t)bytes[at + 15], 0);  // valid
    }
    // Read back, within one step of the scale.
    mScene = mManager->CreateScene();
    VOxaReaderVicon reader(mManager);
    ASSERT_TRUE(ReadWith(reader, path));
    EXPECT_NEAR(Key(Find("Far"), 0, 1), 1000.0, scale * 0.1);
}

TEST(c3d_formats, RowsInTheFormatTables) {
    const int reader = VOxaFindReaderFormat("C3D");
    const int writer = VOxaFindWriterFormat("c3d");
    ASSERT_GE(reader, 0);
    ASSERT_GE(writer, 0);
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    std::unique_ptr<VOxaReader> r(VOxaGetReaderFormat(reader)->mCreate(manager));
    std::unique_ptr<VOxaWriter> w(VOxaGetWriterFormat(writer)->mCreate(manager));
    EXPECT_EQ(static_cast<VOxaReaderVicon*>(r.get())->GetDescription(), VString("Vicon C3D File Importer"));
    EXPECT_EQ(static_cast<VOxaWriterVicon*>(w.get())->GetDescription(), VString("Vicon C3D File Exporter"));
    r.reset();
    w.reset();
    delete manager;
}

// Writes the fuzzing seeds (every processor, both data forms) into $C3D_SEED_DIR when it is set.
namespace {

// One marker "M" over `count` frames of integer data (scale 1: one unit per millimetre), whose x
// is the frame index modulo 30000.
Builder LongTrial(int count) {
    Builder b;
    b.floating = false;
    b.scale = 1.0f;
    b.records = {Group("POINT", 1), Group("TRIAL", 2), Ints("USED", {1}), Table("LABELS", {"M"}, 2)};
    b.frames.assign((size_t)count, std::vector<Point>(1));
    for (int f = 0; f < count; ++f)
        b.frames[(size_t)f][0].x = f % 30000;
    return b;
}

// Two 16-bit words, low word first, of a 32-bit frame number.
std::vector<double> Field(int64_t frame) {
    return {(double)(frame & 0xFFFF), (double)(frame >> 16)};
}

}  // namespace

class c3d_reader : public c3d_file {
protected:
    // Reads the bytes; "" when the read succeeds, else the reader's error text.
    std::string ReadError(const std::string& bytes, std::string* messages = nullptr) {
        const std::string path = OwnPath("reader.c3d");
        WriteFile(path, bytes);
        VOxaReaderVicon reader(mManager);
        const bool ok = ReadWith(reader, path);
        if (messages) *messages = reader.GetMessageText().Buffer();
        return ok ? "" : reader.GetError().GetLastErrorString().Buffer();
    }
};

TEST_F(c3d_reader, RatesOfAThousandAndMoreAreKept) {
    for (float rate : {1000.0f, 2000.0f, 1.0e6f}) {
        SCOPED_TRACE(rate);
        Builder b = SampleFile(1, true);
        b.rate = rate;
        std::string messages;
        ASSERT_EQ(ReadError(b.Build(), &messages), "");
        EXPECT_EQ(messages, "The file's analog data (3 values per frame) are not read.\n");
        VFCurve* curve = Curve(Find("Toe"), 0);
        ASSERT_NE(curve, nullptr);
        // Frame 1 (the first) starts the take at 0 s; frames follow at that period.
        const int64_t period = (int64_t)((double)VTime::kOneSecond / rate);
        EXPECT_EQ(curve->KeyGetTime(0).Get(), 0);
        EXPECT_NEAR((double)(curve->KeyGetTime(2).Get() - curve->KeyGetTime(0).Get()), 2.0 * period, 2.0);
        mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);
    }
    // Rates outside (0.001, 1000000] are read as 30, with a warning.
    for (float rate : {1.5e6f, 0.001f, -5.0f, std::nanf("")}) {
        SCOPED_TRACE(rate);
        Builder b = SampleFile(1, true);
        b.rate = rate;
        std::string messages;
        ASSERT_EQ(ReadError(b.Build(), &messages), "");
        EXPECT_NE(messages.find("is read as 30"), std::string::npos) << messages;
        VFCurve* curve = Curve(Find("Toe"), 0);
        ASSERT_NE(curve, nullptr);
        EXPECT_EQ(curve->KeyGetTime(1).Get() - curve->KeyGetTime(0).Get(), VTime::kOneSecond / 30);
        mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);
    }
}

TEST_F(c3d_reader, TrialsLongerThanTheHeaderCounts) {
    const int frames = 70000;
    // The trial's frames 1 to 70000 in TRIAL:ACTUAL_START_FIELD and ACTUAL_END_FIELD; the
    // header's last frame wrapped to 4464.
    Builder b = LongTrial(frames);
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 2));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(frames), 2));
    const std::string trial = b.Build();
    ASSERT_EQ(ReadError(trial), "");
    VFCurve* x = Curve(Find("M"), 0);
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(x->KeyGetCount(), frames);
    EXPECT_NEAR(x->KeyGetValue(frames - 1), -(double)((frames - 1) % 30000) * 0.1, 1e-4);
    EXPECT_NEAR(x->KeyGetValue(65536), -(double)(65536 % 30000) * 0.1, 1e-4);
    // Frame 1 at 100 frames per second: the take runs from 0 s to 699.99 s.
    EXPECT_EQ(x->KeyGetTime(0).Get(), 0);
    EXPECT_NEAR(x->KeyGetTime(frames - 1).GetSecondDouble(), 699.99, 1e-6);
    mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);

    // POINT:FRAMES as a float, the header's last frame at its 16-bit end; the first frame is
    // the header's.
    b = LongTrial(frames);
    b.lastFrame = 65535;
    b.firstFrame = 0;
    b.records.push_back(Float("FRAMES", frames, 1));
    ASSERT_EQ(ReadError(b.Build()), "");
    x = Curve(Find("M"), 0);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->KeyGetCount(), frames);
    EXPECT_EQ(x->KeyGetTime(0).Get(), 0);
    mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);

    // The parameters count only in their own groups: a FRAMES float of the TRIAL group and
    // start and end fields of the POINT group give no length, and the data beyond the header's
    // count refuses the file, naming the length.
    b = LongTrial(frames);
    b.lastFrame = 65535;
    b.records.push_back(Float("FRAMES", frames, 2));
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 1));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(frames), 1));
    b.analog = 1;  // each frame 10 bytes: its point and one analog value
    EXPECT_EQ(ReadError(b.Build()),
              "File is corrupted: frame 65536: the data holds 70000 frames, more than the header's 16-bit "
              "frame numbers count, and no TRIAL or POINT parameter gives the trial's length");
    // Short trials keep the header's count whatever the parameters say, and a block of padding
    // after the last frame is no longer trial.
    b = LongTrial(65535);
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 2));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(40), 2));
    b.records.push_back(Float("FRAMES", 40, 1));
    std::string padded = b.Build();
    padded.append(512, '\0');
    ASSERT_EQ(ReadError(padded), "");
    EXPECT_EQ(Curve(Find("M"), 0)->KeyGetCount(), 65535);
    mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);
    padded.append(8, '\0');
    EXPECT_NE(ReadError(padded).find("frame 65536: the data holds 65600 frames"), std::string::npos);

    // A trial with analog values after each frame, longer than the read buffer: the points
    // between the analog values are read in their place throughout.
    b = LongTrial(100000);
    b.analog = 2;
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 2));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(100000), 2));
    ASSERT_EQ(ReadError(b.Build()), "");
    x = Curve(Find("M"), 0);
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(x->KeyGetCount(), 100000);
    for (int f : {0, 29999, 30000, 87381, 87382, 99999})
        EXPECT_NEAR(x->KeyGetValue(f), -(double)(f % 30000) * 0.1, 1e-4) << f;
    mManager->DestroyNode(mScene->GetRootNode()->GetChild(0), true);

    // Parameters that promise more frames than the data holds: the frames it holds are read.
    b = LongTrial(66000);
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 2));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(frames), 2));
    EXPECT_EQ(ReadError(b.Build()), "");
    x = Curve(Find("M"), 0);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->KeyGetCount(), 66000);
}

TEST_F(c3d_reader, CorruptedFilesSayWhere) {
    // A header that counts 1,149 frames over data that holds none.
    Builder b = SampleFile(1, true);
    b.frames.resize(1);
    b.lastFrame = 1149;
    const std::string built = b.Build();
    EXPECT_EQ(ReadError(built.substr(0, built.size() - 16)),
              "File is corrupted: frame 1: the file ends after 0 of 1149 frames");
    // Analog-only trials (force plates) have no 3D points.
    b = SampleFile(1, true);
    b.pointCount = 0;
    EXPECT_EQ(ReadError(b.Build()), "the file holds no 3D points; analog channels are not read");
    // A trial of rotations only holds no analog channel either.
    b = SampleFile(1, true);
    b.pointCount = 0;
    b.analog = 0;
    b.records.push_back(Group("ROTATION", 5));
    EXPECT_EQ(ReadError(b.Build()),
              "the file holds no 3D points; its rotations (group ROTATION) are not read");
    b.records.pop_back();
    EXPECT_EQ(ReadError(b.Build()), "the file holds no 3D points");
    // An empty file, a header cut short, a header without its mark.
    const std::string whole = SampleFile(1, true).Build();
    EXPECT_EQ(ReadError(""), "File is corrupted: byte 0: the file is empty");
    EXPECT_EQ(ReadError(whole.substr(0, 1)),
              "File is corrupted: byte 1: the file ends inside the header block");
    EXPECT_EQ(ReadError(whole.substr(0, 300)),
              "File is corrupted: byte 300: the file ends inside the header block");
    std::string unmarked = whole;
    unmarked[1] = 0x40;
    EXPECT_EQ(ReadError(unmarked), "File is corrupted: byte 1: 0x40 where a C3D header has 0x50");
    b = SampleFile(1, true);
    b.events = 5;
    EXPECT_EQ(ReadError(b.Build().substr(0, 400)),
              "File is corrupted: byte 400: the file ends inside the header block");
    // Block numbers below 1, more points than bytes, a last frame before the first.
    std::string zero = whole;
    zero[0] = 0;
    EXPECT_EQ(ReadError(zero), "File is corrupted: byte 0: the parameter section starts at block 0");
    zero = whole;
    zero[16] = zero[17] = 0;
    EXPECT_EQ(ReadError(zero), "File is corrupted: byte 16: the data section starts at block 0");
    b = SampleFile(1, true);
    b.pointCount = 60000;
    EXPECT_NE(ReadError(b.Build()).find("File is corrupted: byte 2: 60000 3D points in a file of "),
              std::string::npos);
    b = SampleFile(1, true);
    b.firstFrame = 10;
    b.lastFrame = 5;
    EXPECT_EQ(ReadError(b.Build()),
              "File is corrupted: byte 8: the last frame 5 comes before the first frame 10");
    // Through the read options alone the header's refusal says the same.
    WriteFile(OwnPath("options.c3d"), "");
    VOxaReaderVicon reader(mManager);
    ASSERT_TRUE(reader.FileOpen(OwnPath("options.c3d").c_str()));
    EXPECT_EQ(reader.GetReadOptions(), nullptr);
    EXPECT_STREQ(reader.GetError().GetLastErrorString().Buffer(),
                 "File is corrupted: byte 0: the file is empty");
    EXPECT_EQ(mScene->GetRootNode()->GetChildCount(), 0);
}

TEST_F(c3d_reader, WrittenUnitsAreMillimetresInFourCharacters) {
    AddMarked(mScene->GetRootNode(), "Knee", {{1, 2, 3, 0}});
    const std::string path = OwnPath("units.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6, 0);
    }));
    const std::string bytes = ReadFile(path);
    const size_t at = bytes.find("UNITS");
    ASSERT_NE(at, std::string::npos);
    // Offset, then type -1 (characters), one dimension of 4, "mm  ", no description.
    EXPECT_EQ(bytes.substr(at + 7, 8), std::string("\xff\x01\x04mm  \x00", 8));
}

TEST(c3d_numbers, UnknownProcessorsAndEmptyViewsChangeNothing) {
    // A processor code outside 1 to 3 on either side leaves the bytes as they were.
    for (int from : {0, 1, 2, 3, 4}) {
        for (int to : {0, 4}) {
            uint8_t bytes[4] = {0x12, 0x34, 0x56, 0x78};
            VViconNumbers::ConvertFloat(bytes, from, to);
            EXPECT_EQ(std::string((const char*)bytes, 4), "\x12\x34\x56\x78") << from << " " << to;
            VViconNumbers::ConvertFloat(bytes, to, from == 0 ? 1 : from);
            EXPECT_EQ(std::string((const char*)bytes, 4), "\x12\x34\x56\x78") << to << " " << from;
        }
    }
    // Copying text into a value without data writes nothing.
    VViconArray empty;
    VViconArray::CopyString(empty, "abc", 3);
    EXPECT_EQ(empty.GetElementCount(), 1);
}

TEST(c3d_seeds, WriteWhenAsked) {
    const char* dir = std::getenv("C3D_SEED_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "C3D_SEED_DIR not set";
    const char* processors[4] = {"", "intel", "dec", "mips"};
    for (int processor = 1; processor <= 3; ++processor) {
        for (bool floating : {true, false}) {
            Builder b = SampleFile(processor, floating);
            b.analog = processor == 2 ? 2 : 0;
            b.records.push_back(Chars("UNITS", "mm"));
            b.records.push_back(Chars("X_SCREEN", "+X"));
            b.records.push_back(Chars("Y_SCREEN", "+Z"));
            b.records.push_back(Ints("TIMECODES", {0, 0, 1, 0}, 2));
            WriteFile(
                std::string(dir) + "/" + processors[processor] + (floating ? "_float" : "_int") + ".c3d",
                b.Build());
        }
    }
    // A trial whose parameters give a length beyond the header's 16 bits, over a few frames.
    Builder b = LongTrial(40);
    b.records.push_back(Ints("ACTUAL_START_FIELD", Field(1), 2));
    b.records.push_back(Ints("ACTUAL_END_FIELD", Field(70000), 2));
    b.records.push_back(Float("FRAMES", 70000, 1));
    WriteFile(std::string(dir) + "/long_trial.c3d", b.Build());
    // Events in the header and the EVENT group, with analog values after each frame.
    Builder events = SampleFile(1, true);
    events.events = 2;
    events.records.push_back(Group("EVENT", 3));
    events.records.push_back(Ints("USED", {2}, 3));
    WriteFile(std::string(dir) + "/events.c3d", events.Build());
}

TEST_F(c3d_file, c3d_LongLabelsCutAlikeAreKeptApart) {
    // Two names of 300 bytes that share their first 255, and one of 254 two-byte characters (508
    // bytes) that must be cut at a whole character.
    const std::string shared(255, 'a');
    std::string wide;
    for (int k = 0; k < 254; ++k)
        wide += "\xc3\xa9";
    VOxaNode* root = mScene->GetRootNode();
    AddMarked(root, (shared + std::string(45, 'b')).c_str(), {{1, 2, 3, 0}});
    AddMarked(root, (shared + std::string(45, 'c')).c_str(), {{4, 5, 6, 0}});
    AddMarked(root, wide.c_str(), {{7, 8, 9, 0}});
    AddMarked(root, "short", {{7, 8, 9, 0}});
    const std::string path = TempPath("c3d_long_labels.c3d");
    VOxaWriterVicon writer(mManager);
    ASSERT_TRUE(WriteWith(writer, path, [](VStreamOptionsMotion& o) {
        o.SetFrameCount(1);
        o.SetTimeMode(6, 0);
    }));
    // Rows of 255 bytes: the first name cut, the second cut and numbered within the 255, the
    // third cut back to 127 whole characters, each padded with blanks.
    std::map<std::string, Parameter> parameters = Parameters(ReadFile(path));
    ASSERT_EQ(parameters["LABELS"].dims, (std::vector<int>{255, 4}));
    const std::string& rows = parameters["LABELS"].data;
    ASSERT_EQ(rows.size(), 4u * 255u);
    EXPECT_EQ(rows.substr(0, 255), shared);
    EXPECT_EQ(rows.substr(255, 255), std::string(253, 'a') + "_2");
    EXPECT_EQ(rows.substr(510, 255), wide.substr(0, 254) + " ");
    EXPECT_EQ(rows.substr(765, 5), "short");
    const std::string messages = writer.GetMessageText().Buffer();
    EXPECT_NE(messages.find("is written as \"" + std::string(253, 'a') +
                            "_2\": C3D label names hold at most 255 "
                            "bytes."),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("\"short\""), std::string::npos);

    // Read back, the four markers are four nodes.
    TearDown();
    SetUp();
    ASSERT_TRUE(ReadBytes("c3d_long_back.c3d", ReadFile(path)));
    EXPECT_NE(Find(shared.c_str()), nullptr);
    EXPECT_NE(Find((std::string(253, 'a') + "_2").c_str()), nullptr);
}

TEST_F(c3d_reader, EventsAndAnalogDataAreNotReadWithAWord) {
    Builder b = SampleFile(1, true);
    b.analog = 0;
    std::string messages;
    ASSERT_EQ(ReadError(b.Build(), &messages), "");
    EXPECT_EQ(messages, "");

    // Two events in the EVENT group, analog values after each frame.
    b.analog = 3;
    b.records.push_back(Group("EVENT", 3));
    b.records.push_back(Ints("USED", {2}, 3));
    ASSERT_EQ(ReadError(b.Build(), &messages), "");
    EXPECT_NE(messages.find("The file's 2 events are not read."), std::string::npos) << messages;
    EXPECT_NE(messages.find("The file's analog data (3 values per frame) are not read."), std::string::npos)
        << messages;

    // Without USED, the columns of TIMES count them; events of the header count too.
    b = SampleFile(1, true);
    b.analog = 0;
    b.records.push_back(Group("EVENT", 3));
    Record times;
    times.name = "TIMES";
    times.group = 3;
    times.type = 4;
    times.dims = {2, 5};
    times.numbers.assign(10, 0.5);
    b.records.push_back(times);
    ASSERT_EQ(ReadError(b.Build(), &messages), "");
    EXPECT_NE(messages.find("The file's 5 events are not read."), std::string::npos) << messages;
    EXPECT_EQ(messages.find("analog"), std::string::npos);
    b = SampleFile(1, true);
    b.analog = 0;
    b.events = 1;
    ASSERT_EQ(ReadError(b.Build(), &messages), "");
    EXPECT_NE(messages.find("The file's event is not read."), std::string::npos) << messages;

    // Points the point group lists as angles or moments (read as markers all the same), their
    // descriptions, and groups this reader does not read.
    b = SampleFile(1, true);
    b.analog = 0;
    b.records.push_back(Table("ANGLES", {"Knee"}, 6));
    b.records.push_back(Table("MOMENTS", {"Hip", "Toe"}, 6));
    b.records.push_back(Table("DESCRIPTIONS", {"pelvis", "", ""}, 6));
    b.records.push_back(Group("FORCE_PLATFORM", 4));
    b.records.push_back(Ints("USED", {0}, 4));
    b.records.push_back(Group("SUBJECTS", 5));
    ASSERT_EQ(ReadError(b.Build(), &messages), "");
    for (const char* said :
         {"POINT:ANGLES lists 1 point (Knee); it is read as a marker, its values as a position in the file's "
          "point unit.",
          "POINT:MOMENTS lists 2 points (Hip, Toe); they are read as markers, their values as positions in "
          "the "
          "file's point unit.",
          "The point descriptions of POINT:DESCRIPTIONS are not read.",
          "The file's groups FORCE_PLATFORM, SUBJECTS are not read."})
        EXPECT_NE(messages.find(said), std::string::npos) << messages;
    EXPECT_NE(Find("Knee"), nullptr);
}
