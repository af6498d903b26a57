// What the skeleton writers (BVH, HTR, ASF/AMC) keep of what a take holds: a root's offset,
// markers that were never seen, the start of a take, rates, HTR scale factors and units, and
// values beyond what a file holds. Expected values are worked out here from the formats' rules.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/vtime.h"
#include "tests/tools/cli_run.h"

namespace {

using oxa_cli::Convert;
using oxa_cli::Count;
using oxa_cli::Exists;
using oxa_cli::Folder;
using oxa_cli::ReadFile;
using oxa_cli::Result;
using oxa_cli::WriteText;

constexpr double kPi = 3.14159265358979323846;

std::string Make(const std::string& name, const std::string& text) {
    const std::string path = Folder() + name;
    WriteText(path, text);
    return path;
}

// A TRC at `rate` whose frames are numbered from `first` (time (number - 1) / rate): marker m at
// (100 m + f, 10 f, 5 m) mm in frame f, or a gap where `gap(m, f)` says so.
template <class Gap>
std::string Trc(const std::string& name, double rate, int first, int frames,
                const std::vector<std::string>& markers, Gap gap) {
    std::ostringstream text;
    text << "PathFileType\t4\t(X/Y/Z)\t" << name << "\t\n"
         << "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\t"
            "OrigNumFrames\t\n"
         << rate << "\t" << rate << "\t" << frames << "\t" << markers.size() << "\tmm\t" << rate << "\t"
         << first << "\t" << frames << "\t\nFrame#\tTime\t";
    for (const std::string& marker : markers)
        text << marker << "\t\t\t";
    text << "\n\t\t";
    for (size_t m = 1; m <= markers.size(); ++m)
        text << "X" << m << "\tY" << m << "\tZ" << m << "\t";
    text << "\n\n";
    for (int f = 0; f < frames; ++f) {
        text << first + f << "\t" << (first + f - 1) / rate;
        for (size_t m = 0; m < markers.size(); ++m) {
            if (gap((int)m, f))
                text << "\t\t\t";
            else
                text << "\t" << 100.0 * m + f << "\t" << 10.0 * f << "\t" << 5.0 * m;
        }
        text << "\n";
    }
    return Make(name, text.str());
}

std::string Trc(const std::string& name, double rate, int first, int frames,
                const std::vector<std::string>& markers) {
    return Trc(name, rate, first, frames, markers, [](int, int) { return false; });
}

// The numbers (words that are no number left out) of the line `lines` lines after the first line
// holding `start` in `text`.
std::vector<double> NumbersAfter(const std::string& text, const std::string& start, int lines = 1) {
    size_t at = text.find(start);
    for (int k = 0; k < lines && at != std::string::npos; ++k)
        at = text.find('\n', at) + 1;
    std::vector<double> values;
    if (at == std::string::npos) return values;
    std::istringstream line(text.substr(at, text.find('\n', at) - at));
    std::string word;
    while (line >> word) {
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (end != word.c_str()) values.push_back(value);
    }
    return values;
}

const char* const kRotationOnlyRoot =
    "HIERARCHY\nROOT Hips\n{\n  OFFSET 10 20 30\n  CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "  JOINT Spine\n  {\n    OFFSET 0 5 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
    "    End Site\n    {\n      OFFSET 0 4 0\n    }\n  }\n}\n"
    "MOTION\nFrames: 2\nFrame Time: 0.04\n0 0 0 0 0 0\n90 0 0 0 0 0\n";

}  // namespace

TEST(cli_skeleton_values, ARootWithoutPositionChannelsStaysAtItsOffset) {
    const std::string in = Make("offset.bvh", kRotationOnlyRoot);
    for (const char* format : {"bvh", "htr", "amc", "trc"}) {
        Result r = Convert(in + " " + Folder() + "offset_out." + format);
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
    }
    // BVH: the root's offset, and its position channels hold it in every frame.
    const std::string bvh = ReadFile(Folder() + "offset_out.bvh");
    EXPECT_NE(bvh.find("ROOT Hips\n{\n  OFFSET 10 20 30\n"), std::string::npos) << bvh;
    const std::vector<double> last = NumbersAfter(bvh, "Frame Time:", 2);
    ASSERT_GE(last.size(), 3u);
    EXPECT_EQ(std::vector<double>(last.begin(), last.begin() + 3), (std::vector<double>{10, 20, 30}));
    // HTR: millimetres.
    EXPECT_NE(ReadFile(Folder() + "offset_out.htr").find("[BasePosition]\nHips\t100\t200\t300\t"),
              std::string::npos);
    // AMC: the root's translation in inches (the ASF's root stands at 0 0 0).
    EXPECT_NE(ReadFile(Folder() + "offset_out.asf").find("position 0 0 0"), std::string::npos);
    const std::vector<double> root = NumbersAfter(ReadFile(Folder() + "offset_out.amc"), ":DEGREES", 2);
    ASSERT_GE(root.size(), 3u);
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(root[(size_t)a], 10.0 * (a + 1) / 2.54, 1e-4) << a;
    // TRC: the second frame turns the root 90 degrees about z: the spine's start moves from
    // (10, 25, 30) to (10 - 5, 20, 30) cm.
    // TRC (Hips, Spine, Spine_End): the second frame turns the root 90 degrees about z, so the
    // spine's start moves from (10, 25, 30) to (10 - 5, 20, 30) cm.
    const std::string trc = ReadFile(Folder() + "offset_out.trc");
    const std::vector<double> first = NumbersAfter(trc, "X1\t", 2), second = NumbersAfter(trc, "X1\t", 3);
    ASSERT_EQ(first.size(), 11u);
    ASSERT_EQ(second.size(), 11u);
    const double expected[2][6] = {{100, 200, 300, 100, 250, 300}, {100, 200, 300, 50, 200, 300}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(first[(size_t)(2 + k)], expected[0][k], 1e-3) << k;
        EXPECT_NEAR(second[(size_t)(2 + k)], expected[1][k], 1e-3) << k;
    }
}

TEST(cli_skeleton_values, MarkersNeverSeenAreLeftOutWithAWarning) {
    // Lost is a gap in every frame, C in one: Lost is left out, C keeps its fill.
    const std::string in = Trc("seen.trc", 100, 1, 4, {"A", "Lost", "C"},
                               [](int m, int f) { return m == 1 || (m == 2 && f == 1); });
    for (const auto& [format, kept] : std::vector<std::pair<std::string, std::string>>{
             {"bvh", "JOINT C\n"}, {"htr", "\nC\tTRC:optical\n"}, {"amc", "name C\n"}}) {
        const std::string out = Folder() + "seen_out." + format;
        Result r = Convert(in + " " + out);
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
        EXPECT_EQ(Count(r.err, "1 marker is occluded in every frame and left out"), 1) << r.err;
        EXPECT_NE(r.err.find(": \"Lost\""), std::string::npos) << r.err;
        const std::string text = ReadFile(format == "amc" ? Folder() + "seen_out.asf" : out);
        EXPECT_EQ(text.find("Lost"), std::string::npos) << format;
        EXPECT_NE(text.find(kept), std::string::npos) << format;
    }
    // Every marker unseen: nothing to write.
    const std::string none = Trc("none.trc", 100, 1, 3, {"A", "B"}, [](int, int) { return true; });
    for (const char* format : {"bvh", "htr", "amc"}) {
        Result r = Convert(none + " " + Folder() + "none_out." + format);
        EXPECT_EQ(r.code, 1) << format;
        EXPECT_NE(r.err.find("no joints to write"), std::string::npos) << r.err;
    }
}

TEST(cli_skeleton_values, OneMarkerIsASkeletonOfOneJoint) {
    const std::string in = Trc("one.trc", 100, 1, 3, {"A"});
    const std::string out = Folder() + "one_out.bvh";
    Result r = Convert(in + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bvh = ReadFile(out);
    EXPECT_NE(bvh.find("ROOT A\n{\n  OFFSET 0 0 0\n  CHANNELS 6 "), std::string::npos) << bvh;
    EXPECT_NE(bvh.find("  End Site\n"), std::string::npos) << bvh;
    // Frame 2: (1, 10, 0) mm is (0.1, 1, 0) cm.
    const std::vector<double> values = NumbersAfter(bvh, "Frame Time:", 2);
    ASSERT_EQ(values.size(), 6u);
    EXPECT_NEAR(values[0], 0.1, 1e-9);
    EXPECT_NEAR(values[1], 1.0, 1e-9);
    EXPECT_NEAR(values[2], 0.0, 1e-9);
}

TEST(cli_skeleton_values, TheStartOfATakeIsKeptWhereTheFormatHoldsIt) {
    // Frames 11 to 14 at 100 per second: the take starts at 0.1 s.
    const std::string in = Trc("late.trc", 100, 11, 4, {"A", "B"});
    for (const char* format : {"htr", "amc"}) {
        const std::string out = Folder() + "late_out." + format;
        Result r = Convert(in + " " + out);
        ASSERT_EQ(r.code, 0) << r.err;
        const std::string text = ReadFile(out);
        EXPECT_NE(text.find(std::string(format) == "htr" ? "]\n11\t" : "\n11\nroot "), std::string::npos)
            << text;
        EXPECT_EQ(text.find("\n1\t"), std::string::npos) << text;
        // Read back from its first frame's number.
        Result info = Convert("--info " + out);
        EXPECT_NE(info.out.find("0.1 s to 0.13 s, 100 frames per second, 4 frames"), std::string::npos)
            << info.out;
        // And written again with it.
        const std::string again = Folder() + "late_again." + format;
        ASSERT_EQ(Convert(out + " " + again).code, 0);
        EXPECT_NE(ReadFile(again).find(std::string(format) == "htr" ? "]\n11\t" : "\n11\nroot "),
                  std::string::npos);
    }
    // BVH has no field for it: a warning says the start is dropped.
    Result r = Convert(in + " " + Folder() + "late_out.bvh");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("The take starts at 0.1 s: BVH holds no start time"), std::string::npos) << r.err;
}

TEST(cli_skeleton_values, RatesAreWrittenWithTheDigitsThatReadBack) {
    const std::string in = Make("rate_in.bvh", kRotationOnlyRoot);
    for (const double rate : {23.976023976023978, 119.99, 29.97, 30.0, 1000000.0}) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", rate);
        SCOPED_TRACE(text);
        // AMC: the rate itself.
        ASSERT_EQ(Convert(std::string("--frame-rate ") + text + " " + in + " " + Folder() + "rate.amc").code,
                  0);
        const std::string amc = ReadFile(Folder() + "rate.amc");
        const size_t at = amc.find(":SAMPLES-PER-SECOND ");
        ASSERT_NE(at, std::string::npos);
        // The rate, or one of the same frame period in fewer digits.
        VTime written, wanted;
        written.SetSecondDouble(1.0 / std::strtod(amc.c_str() + at + 20, nullptr));
        wanted.SetSecondDouble(1.0 / rate);
        EXPECT_EQ(written.Get(), wanted.Get()) << amc.substr(at, 40);
        // BVH: a frame time whose inverse is the rate (whole rates with six digits).
        ASSERT_EQ(Convert(std::string("--frame-rate ") + text + " " + in + " " + Folder() + "rate.bvh").code,
                  0);
        const std::string bvh = ReadFile(Folder() + "rate.bvh");
        const size_t time = bvh.find("Frame Time:\t");
        ASSERT_NE(time, std::string::npos);
        const double frameTime = std::strtod(bvh.c_str() + time + 12, nullptr);
        if (rate == std::floor(rate))
            EXPECT_NEAR(1.0 / frameTime, rate, 1e-5 * rate);
        else
            EXPECT_NEAR(1.0 / frameTime, rate, 1e-13 * rate);
    }
    // A rate whose frames lie beyond the time line is refused by every writer, and nothing is
    // written: the marker writers wrote frame times that had stopped at the time line's end.
    const std::string slow = Trc("slow.trc", 1e-9, 1, 3, {"A", "B"});
    for (const char* format : {"bvh", "htr", "amc", "trc", "c3d", "aoa", "mcd", "brd", "mov", "vpm"}) {
        const std::string out = Folder() + "slow_out." + format;
        Result r = Convert(slow + " " + out);
        EXPECT_EQ(r.code, 1) << format << ": " << r.err;
        EXPECT_FALSE(Exists(out)) << format;
    }
    Result r = Convert(slow + " " + Folder() + "slow_out.htr");
    EXPECT_NE(r.err.find("at 1e-09 frames per second a frame lasts longer than the time line holds"),
              std::string::npos)
        << r.err;
}

TEST(cli_skeleton_values, HtrScaleFactorsAndUnits) {
    // Three segments in a chain, in metres; B and C scale their bones in frames 2 and 3.
    const std::string in =
        Make("scaled.htr",
             "[Header]\nFileType htr\nDataType HTRS\nFileVersion 1\nNumSegments 3\nNumFrames 3\n"
             "DataFrameRate 30\nEulerRotationOrder ZYX\nCalibrationUnits m\nRotationUnits Degrees\n"
             "GlobalAxisofGravity Y\nBoneLengthAxis Y\nScaleFactor 1.0\n"
             "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\nC B\n"
             "[BasePosition]\nA 0 0 0 0 0 0 0.5\nB 0 0.5 0 0 0 0 0.4\nC 0 0.4 0 0 0 0 0.3\n"
             "[A]\n1 0 0 0 0 0 0 1.0\n2 0.1 0 0 0 0 10 1.0\n3 0.2 0 0 0 0 20 1.0\n"
             "[B]\n1 0 0 0 0 0 0 1.0\n2 0 0 0 10 0 0 2.0\n3 0 0 0 20 0 0 1.5\n"
             "[C]\n1 0 0 0 0 0 0 1.0\n2 0 0 0 0 0 30 0.5\n3 0 0 0 0 0 40 3.0\n[EndOfFile]\n");
    // HTR again: the scale factor of every frame is kept.
    Result r = Convert(in + " " + Folder() + "scaled_out.htr");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string htr = ReadFile(Folder() + "scaled_out.htr");
    for (const auto& [segment, factors] : std::vector<std::pair<std::string, std::vector<double>>>{
             {"[A]", {1, 1, 1}}, {"[B]", {1, 2, 1.5}}, {"[C]", {1, 0.5, 3}}}) {
        for (int f = 0; f < 3; ++f) {
            const std::vector<double> line = NumbersAfter(htr, segment, f + 1);
            ASSERT_EQ(line.size(), 8u) << segment;
            EXPECT_NEAR(line[7], factors[(size_t)f], 1e-6) << segment << " frame " << f + 1;
            // A scaled segment keeps its turn: B about x, C about z by 10 and 30 degrees a frame.
            if (segment != "[A]")
                EXPECT_NEAR(line[segment == "[B]" ? 4 : 6],
                            (segment == "[B]" ? 10.0 : (f == 1 ? 30.0 : 40.0)) * (f > 0 ? 1 : 0) *
                                (segment == "[B]" ? f : 1),
                            1e-3)
                    << segment << " frame " << f + 1;
        }
    }
    // TRC: forward kinematics of the file, in millimetres. A segment turns by its base and frame
    // rotation (here about one axis each) and stands at its parent's place plus its parent's turn
    // of its translation; a scale factor scales the bone alone, so only the end of the last
    // segment (C_End, at its length times its factor along Y) moves with one.
    ASSERT_EQ(Convert(in + " " + Folder() + "scaled_out.trc").code, 0);
    // BVH holds no scale: the conversion says the changing factors are not kept.
    const Result toBvh = Convert(in + " " + Folder() + "scaled_out.bvh");
    EXPECT_EQ(toBvh.code, 0) << toBvh.err;
    EXPECT_NE(
        toBvh.err.find("The scale of 2 joints (\"B\", \"C\") changes over the take; BVH holds no scale"),
        std::string::npos)
        << toBvh.err;
    // Nor does AMC: the joints are named once, not once a frame.
    const Result toAmc = Convert(in + " " + Folder() + "scaled_out.amc");
    EXPECT_EQ(toAmc.code, 0) << toAmc.err;
    const size_t said = toAmc.err.find(
        "The scale of 2 joints (\"B\", \"C\") changes over the take; AMC holds no "
        "scale, so their bones keep their lengths in the skeleton written.");
    EXPECT_NE(said, std::string::npos) << toAmc.err;
    EXPECT_EQ(said, toAmc.err.rfind("The scale of")) << toAmc.err;
    // A factor of 1 in every frame (the last number of each frame line) loses nothing and says
    // nothing.
    std::istringstream lines(ReadFile(in));
    std::string unscaled, line;
    while (std::getline(lines, line)) {
        if (!line.empty() && std::isdigit((unsigned char)line[0]))
            line = line.substr(0, line.rfind(' ')) + " 1.0";
        unscaled += line + "\n";
    }
    const std::string plain = Make("unscaled.htr", unscaled);
    for (const char* format : {"amc", "bvh"}) {
        const Result r = Convert(plain + " " + Folder() + "unscaled_out." + format);
        EXPECT_EQ(r.code, 0) << format << ": " << r.err;
        EXPECT_EQ(r.err.find("scale"), std::string::npos) << format << ": " << r.err;
    }
    const std::string trc = ReadFile(Folder() + "scaled_out.trc");
    struct M {
        double m[3][3];
    };
    auto turn = [](int axis, double degrees) {
        const double c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180);
        M r{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
        const int i = (axis + 1) % 3, j = (axis + 2) % 3;
        r.m[i][i] = c;
        r.m[i][j] = -s;
        r.m[j][i] = s;
        r.m[j][j] = c;
        return r;
    };
    auto mul = [](const M& a, const M& b) {
        M r{};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                for (int k = 0; k < 3; ++k)
                    r.m[i][j] += a.m[i][k] * b.m[k][j];
        return r;
    };
    auto apply = [](const M& a, const double v[3], double out[3]) {
        for (int i = 0; i < 3; ++i)
            out[i] = a.m[i][0] * v[0] + a.m[i][1] * v[1] + a.m[i][2] * v[2];
    };
    const double aRz[3] = {0, 10, 20}, aTx[3] = {0, 0.1, 0.2}, bRx[3] = {0, 10, 20}, cRz[3] = {0, 30, 40};
    const double cScale[3] = {1, 0.5, 3};
    for (int f = 0; f < 3; ++f) {
        const M ra = turn(2, aRz[f]);
        const M rb = mul(ra, turn(0, bRx[f]));
        const M rc = mul(rb, turn(2, cRz[f]));
        const double pa[3] = {aTx[f], 0, 0};
        double pb[3], pc[3], pe[3], d[3];
        const double tb[3] = {0, 0.5, 0}, tc[3] = {0, 0.4, 0}, te[3] = {0, 0.3 * cScale[f], 0};
        apply(ra, tb, d);
        for (int k = 0; k < 3; ++k)
            pb[k] = pa[k] + d[k];
        apply(rb, tc, d);
        for (int k = 0; k < 3; ++k)
            pc[k] = pb[k] + d[k];
        apply(rc, te, d);
        for (int k = 0; k < 3; ++k)
            pe[k] = pc[k] + d[k];
        // The frame's line: number, time, then A, B, C, C_End.
        const std::vector<double> line = NumbersAfter(trc, "X1\t", f + 2);
        ASSERT_EQ(line.size(), 14u) << f;
        const double* expected[4] = {pa, pb, pc, pe};
        for (int p = 0; p < 4; ++p)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(line[(size_t)(2 + 3 * p + k)], 1000.0 * expected[p][k], 1e-3)
                    << "frame " << f + 1 << " point " << p << " axis " << k;
    }
}

TEST(cli_skeleton_values, AnAmcValueBeyondTheBoundIsNamedOnce) {
    const std::string in = Make("bound.bvh", kRotationOnlyRoot);
    ASSERT_EQ(Convert(in + " " + Folder() + "bound.amc").code, 0);
    std::string amc = ReadFile(Folder() + "bound.amc");
    const size_t at = amc.find("\n2\nroot ");
    ASSERT_NE(at, std::string::npos) << amc;
    amc.replace(at + 8, amc.find(' ', at + 9) - (at + 8), "1e31");
    WriteText(Folder() + "bound.amc", amc);
    Result r = Convert(Folder() + "bound.amc " + Folder() + "bound_out.bvh");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(Count(r.err, "1e31"), 1) << r.err;
    EXPECT_NE(r.err.find("value 1 of bone root at frame 2 lies beyond"), std::string::npos) << r.err;
}

namespace {

// The points of a TRC by name: per frame, x y z of each point named in the names line.
std::vector<std::vector<std::pair<std::string, std::vector<double>>>> TrcPoints(const std::string& trc) {
    std::istringstream lines(trc);
    std::string line;
    std::vector<std::string> names;
    std::vector<std::vector<std::pair<std::string, std::vector<double>>>> frames;
    for (int n = 0; std::getline(lines, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (n == 3) {
            for (size_t k = 2; k < fields.size(); ++k)
                if (!fields[k].empty()) names.push_back(fields[k]);
        } else if (n > 4 && fields.size() >= 2 + 3 * names.size()) {
            frames.emplace_back();
            for (size_t p = 0; p < names.size(); ++p) {
                std::vector<double> xyz;
                for (size_t a = 0; a < 3; ++a)
                    xyz.push_back(std::strtod(fields[2 + 3 * p + a].c_str(), nullptr));
                frames.back().emplace_back(names[p], xyz);
            }
        }
    }
    return frames;
}

}  // namespace

TEST(cli_skeleton_values, AConstantHtrScaleFactorKeepsEveryJointInPlace) {
    // A chain A > B > C in centimetres, turning over three frames, whose scale factors stay the
    // same in every frame: on the middle segment, on the root, on every segment.
    const double length[3] = {50, 40, 30};
    const double angle[3][3] = {{0, 30, 60}, {0, 20, -35}, {0, 40, 10}};  // A about z, B about x, C about z
    const int axis[3] = {2, 0, 2};
    const char* const names[3] = {"A", "B", "C"};
    for (const std::vector<double>& sf : std::vector<std::vector<double>>{{1, 2, 1}, {2, 1, 1}, {2, 2, 2}}) {
        std::ostringstream text;
        text << "[Header]\nFileType htr\nDataType HTRS\nFileVersion 1\nNumSegments 3\nNumFrames 3\n"
                "DataFrameRate 30\nEulerRotationOrder ZYX\nCalibrationUnits cm\nRotationUnits Degrees\n"
                "GlobalAxisofGravity Y\nBoneLengthAxis Y\nScaleFactor 1.0\n"
                "[SegmentNames&Hierarchy]\nA GLOBAL\nB A\nC B\n[BasePosition]\n"
                "A 0 0 0 0 0 0 50\nB 0 50 0 0 0 0 40\nC 0 40 0 0 0 0 30\n";
        for (int s = 0; s < 3; ++s) {
            text << "[" << names[s] << "]\n";
            for (int f = 0; f < 3; ++f) {
                double r[3] = {0, 0, 0};
                r[axis[s]] = angle[s][f];
                text << f + 1 << " 0 0 0 " << r[0] << " " << r[1] << " " << r[2] << " " << sf[(size_t)s]
                     << "\n";
            }
        }
        text << "[EndOfFile]\n";
        const std::string tag =
            std::to_string((int)sf[0]) + std::to_string((int)sf[1]) + std::to_string((int)sf[2]);
        const std::string in = Make("constant" + tag + ".htr", text.str());
        SCOPED_TRACE("scale factors " + tag);

        // The HTR forward kinematics: a segment stands at its parent's place plus its parent's turn
        // of its base translation (the factor scales no child's place), and only the end of the
        // last segment lies at its length times its factor along Y. In millimetres.
        std::vector<std::vector<std::vector<double>>> expected(3);
        for (int f = 0; f < 3; ++f) {
            double place[3] = {0, 0, 0}, turn[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
            for (int s = 0; s <= 3; ++s) {
                if (s > 0) {
                    const double along = s < 3 ? length[s - 1] : length[2] * sf[2];
                    for (int k = 0; k < 3; ++k)
                        place[k] += turn[k][1] * along;
                }
                expected[(size_t)f].push_back({10 * place[0], 10 * place[1], 10 * place[2]});
                if (s == 3) break;
                const double c = std::cos(angle[s][f] * kPi / 180), n = std::sin(angle[s][f] * kPi / 180);
                const int i = (axis[s] + 1) % 3, j = (axis[s] + 2) % 3;
                double next[3][3];
                for (int k = 0; k < 3; ++k) {
                    next[k][axis[s]] = turn[k][axis[s]];
                    next[k][i] = turn[k][i] * c + turn[k][j] * n;
                    next[k][j] = -turn[k][i] * n + turn[k][j] * c;
                }
                std::memcpy(turn, next, sizeof turn);
            }
        }
        // Each writer, then its file as a TRC: the joints and the chain's end where the HTR puts
        // them. BVH and AMC say nothing of a scale that does not change. With translations on
        // every joint, those of a frame take the scale too.
        const std::string translations = Make("translations.ini", "[Export]\nTranslation=1\n");
        for (const std::string run : {"trc", "bvh", "amc", "htr", "bvh+t", "amc+t"}) {
            SCOPED_TRACE(run);
            const std::string format = run.substr(0, 3);
            const std::string out = Folder() + "constant" + tag + "_out" + run.substr(3) + "." + format;
            const Result written =
                Convert(in + " " + out + (run.size() > 3 ? " --options " + translations : std::string()));
            ASSERT_EQ(written.code, 0) << written.err;
            EXPECT_EQ(written.err.find("scale"), std::string::npos) << written.err;
            std::string trc = out;
            if (format != "trc") {
                trc = out + ".trc";
                ASSERT_EQ(Convert(out + " " + trc).code, 0);
            }
            const auto frames = TrcPoints(ReadFile(trc));
            ASSERT_EQ(frames.size(), 3u);
            for (int f = 0; f < 3; ++f) {
                const auto& points = frames[(size_t)f];
                ASSERT_GE(points.size(), 4u);
                for (int p = 0; p < 4; ++p) {
                    // The joints by name (AMC's root bone stands for A), the end as the last point.
                    size_t at = points.size() - 1;
                    for (size_t k = 0; p < 3 && k < points.size(); ++k)
                        if (points[k].first == names[p] || (p == 0 && points[k].first == "root")) at = k;
                    for (int k = 0; k < 3; ++k)
                        EXPECT_NEAR(points[at].second[(size_t)k], expected[(size_t)f][(size_t)p][(size_t)k],
                                    1e-2)
                            << "frame " << f + 1 << " point " << p << " (" << points[at].first << ") axis "
                            << k;
                }
            }
        }
    }
}
