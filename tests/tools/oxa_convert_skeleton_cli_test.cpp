// The skeleton formats (BVH, HTR, ASF/AMC) through the command: what a writer writes its reader
// reads, a reader says what it changed or dropped, and every skeleton writer refuses a scene
// without joints alike. Expected values come from the formats' rules, worked out here.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

// A skeleton of a root and one bone "spine", lengths in inches (length unit 1).
const char* kAsf =
    ":version 1.10\n:name S\n:units\n  mass 1.0\n  length 1\n  angle deg\n"
    ":root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n"
    ":bonedata\n  begin\n    id 1\n    name spine\n    direction 0 1 0\n    length 10\n"
    "    axis 0 0 0 XYZ\n    dof rx ry rz\n  end\n:hierarchy\n  begin\n    root spine\n  end\n";

// A BVH of a root and one joint whose frames give the root's x as 10 f.
std::string Bvh(const std::string& frames, const std::string& frameTime, int rows) {
    std::ostringstream text;
    text << "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n"
         << "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "  JOINT Spine\n  {\n    OFFSET 0 15 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
         << "    End Site\n    {\n      OFFSET 0 15 0\n    }\n  }\n}\n"
         << "MOTION\nFrames: " << frames << "\nFrame Time: " << frameTime << "\n";
    for (int f = 0; f < rows; ++f)
        text << 10 * f << " 90 0 0 0 0 0 0 0\n";
    return text.str();
}

// A TRC of the named markers over `frames` frames; marker m at (100 m + f, 20, 10 m) mm.
std::string Trc(const std::vector<std::string>& markers, int frames = 3) {
    std::ostringstream text;
    text << "PathFileType\t4\t(X/Y/Z)\tm.trc\t\n"
         << "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\t"
            "OrigNumFrames\t\n"
         << "30\t30\t" << frames << "\t" << markers.size() << "\tmm\t30\t1\t" << frames
         << "\t\nFrame#\tTime\t";
    for (const std::string& marker : markers)
        text << marker << "\t\t\t";
    text << "\n\t\t";
    for (size_t m = 1; m <= markers.size(); ++m)
        text << "X" << m << "\tY" << m << "\tZ" << m << "\t";
    text << "\n\n";
    for (int f = 0; f < frames; ++f) {
        text << f + 1 << "\t" << f / 30.0;
        for (size_t m = 0; m < markers.size(); ++m)
            text << "\t" << 100.0 * m + f << "\t" << 20 << "\t" << 10.0 * m;
        text << "\n";
    }
    return text.str();
}

// The numbers of the last line of `text`.
std::vector<double> LastLineNumbers(const std::string& text) {
    size_t end = text.find_last_not_of("\n");
    size_t start = text.rfind('\n', end);
    std::istringstream line(text.substr(start + 1, end - start));
    std::vector<double> values;
    for (double v; line >> v;)
        values.push_back(v);
    return values;
}

// Row-vector turn about axis 0, 1 or 2.
struct Mat {
    double m[3][3];
};
Mat Turn(int axis, double degrees) {
    const double c = std::cos(degrees * kPi / 180.0), s = std::sin(degrees * kPi / 180.0);
    Mat out{};
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    out.m[axis][axis] = 1.0;
    out.m[i][i] = c;
    out.m[i][j] = s;
    out.m[j][i] = -s;
    out.m[j][j] = c;
    return out;
}
Mat Mult(const Mat& a, const Mat& b) {
    Mat out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                out.m[r][c] += a.m[r][k] * b.m[k][c];
    return out;
}

// The names on the lines of `text` that begin (after blanks) with `word` and a blank.
std::vector<std::string> NamesAfter(const std::string& text, const std::string& word) {
    std::vector<std::string> names;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t at = line.find_first_not_of(" \t");
        if (at != std::string::npos && line.compare(at, word.size() + 1, word + " ") == 0)
            names.push_back(line.substr(at + word.size() + 1));
    }
    return names;
}

}  // namespace

TEST(cli_skeleton, OneFrameAmcKeepsItsMotion) {
    // One frame: the root 10 inches up, the spine turned by rx ry rz = 10 20 30 (x acts first).
    Make("pose.asf", kAsf);
    const std::string amc =
        Make("pose.amc", ":FULLY-SPECIFIED\n:DEGREES\n1\nroot 0 10 0 0 0 0\nspine 10 20 30\n");
    const std::string bvh = Folder() + "pose.bvh";
    Result r = Convert(amc + " " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = ReadFile(bvh);
    ASSERT_NE(text.find("Frames:\t1\n"), std::string::npos) << text;
    const std::vector<double> v = LastLineNumbers(text);
    ASSERT_EQ(v.size(), 9u) << text;
    // The root: 10 inches are 25.4 cm, no turn.
    const double root[6] = {0.0, 25.4, 0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(v[k], root[k], 1e-4) << k;
    // The spine's channels Zrotation Xrotation Yrotation: the last acts first on a point, so its
    // turn is Ry x Rx x Rz in row form; the AMC's is Rx(10) x Ry(20) x Rz(30).
    const Mat expected = Mult(Mult(Turn(0, 10), Turn(1, 20)), Turn(2, 30));
    const Mat written = Mult(Mult(Turn(1, v[8]), Turn(0, v[7])), Turn(2, v[6]));
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b)
            EXPECT_NEAR(written.m[a][b], expected.m[a][b], 1e-5) << a << b;
}

TEST(cli_skeleton, LongNamesAreCutApartWithAWarning) {
    // Two joints whose 300-character names differ only at their ends.
    const std::string a = std::string(299, 'j') + "a", b = std::string(299, 'j') + "b";
    const std::string in = Make(
        "long.bvh", "HIERARCHY\nROOT " + a +
                        "\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition "
                        "Zposition Zrotation Xrotation Yrotation\n  JOINT " +
                        b +
                        "\n  {\n    OFFSET 0 15 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
                        "    End Site\n    {\n      OFFSET 0 15 0\n    }\n  }\n}\n"
                        "MOTION\nFrames: 2\nFrame Time: 0.0333333\n0 0 0 0 0 0 0 0 0\n1 0 0 0 0 0 0 0 0\n");
    // Our BVH reader cuts them to 127 bytes (and says so), and keeps the second apart with "_2".
    Result r = Convert(in + " " + Folder() + "long_in.htr");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("is longer than 127 bytes"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("it is read as \"" + std::string(125, 'j') + "_2\""), std::string::npos) << r.err;

    // From an HTR with the whole names: 300 characters are more than either reader takes.
    std::ostringstream htr;
    htr << "[Header]\nFileType htr\nDataType HTRS\nFileVersion 1\nNumSegments 2\nNumFrames 2\n"
        << "DataFrameRate 30\nEulerRotationOrder ZYX\nCalibrationUnits mm\nRotationUnits Degrees\n"
        << "GlobalAxisofGravity Y\nBoneLengthAxis Y\nScaleFactor 1.0\n[SegmentNames&Hierarchy]\n";
    // The HTR reader takes names of 255 bytes: 255-byte names that differ at the end.
    const std::string a255 = a.substr(45), b255 = b.substr(45);
    htr << a255 << "\tGLOBAL\n"
        << b255 << "\t" << a255 << "\n[BasePosition]\n"
        << a255 << "\t0\t0\t0\t0\t0\t0\t100\n"
        << b255 << "\t0\t100\t0\t0\t0\t0\t100\n";
    for (const std::string& name : {a255, b255})
        htr << "[" << name << "]\n1\t0\t0\t0\t0\t0\t0\t1.0\n2\t1\t0\t0\t0\t0\t0\t1.0\n";
    htr << "[EndOfFile]\n";
    const std::string source = Make("long.htr", htr.str());
    // To BVH: cut to 127 bytes apart from each other, with a warning for each; read back.
    const std::string bvh = Folder() + "long_out.bvh";
    r = Convert(source + " " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Count(r.err, "names hold at most 127 bytes"), 2) << r.err;
    std::vector<std::string> joints = NamesAfter(ReadFile(bvh), "ROOT");
    for (const std::string& joint : NamesAfter(ReadFile(bvh), "JOINT"))
        joints.push_back(joint);
    ASSERT_EQ(joints.size(), 2u);
    EXPECT_LE(joints[0].size(), 127u);
    EXPECT_LE(joints[1].size(), 127u);
    EXPECT_NE(joints[0], joints[1]);
    EXPECT_EQ(joints[0], a255.substr(0, 127));
    r = Convert(bvh + " " + Folder() + "long_back.htr");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("longer than"), std::string::npos) << r.err;

    // A 300-byte name to HTR: from a TRC marker of that name, cut to 255 with a warning.
    const std::string trc = Make("long.trc", Trc({a, b}));
    const std::string out = Folder() + "long_out.htr";
    r = Convert(trc + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Count(r.err, "names hold at most 255 bytes"), 2) << r.err;
    const std::string written = ReadFile(out);
    EXPECT_EQ(Count(written, a.substr(0, 255) + "\t"), 2);  // hierarchy and base position
    EXPECT_EQ(written.find(a.substr(0, 256)), std::string::npos);
    r = Convert(out + " " + Folder() + "long_again.bvh");
    EXPECT_EQ(r.code, 0) << r.err;
}

TEST(cli_skeleton, ManyMarkersToBvhReadBack) {
    // 1,100 markers: 1,100 joints, each with its end site, below one root.
    std::vector<std::string> markers;
    for (int m = 0; m < 1100; ++m)
        markers.push_back("M" + std::to_string(m));
    const std::string trc = Make("many.trc", Trc(markers, 2));
    const std::string bvh = Folder() + "many.bvh";
    Result r = Convert(trc + " " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string text = ReadFile(bvh);
    EXPECT_EQ(Count(text, "JOINT M"), 1100);
    EXPECT_EQ(Count(text, "End Site"), 1100);
    r = Convert(bvh + " " + Folder() + "many_back.bvh");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Count(ReadFile(Folder() + "many_back.bvh"), "JOINT M"), 1100);
}

TEST(cli_skeleton, AmcWithoutRateSaysWhichAndTakesTheInputRate) {
    Make("norate.asf", kAsf);
    const std::string amc =
        Make("norate.amc",
             ":FULLY-SPECIFIED\n:DEGREES\n1\nroot 0 10 0 0 0 0\nspine 10 0 0\n2\nroot 0 11 0 0 0 0\n"
             "spine 20 0 0\n3\nroot 0 12 0 0 0 0\nspine 30 0 0\n");
    Result r = Convert(amc + " " + Folder() + "norate.bvh");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("the file names no frame rate (:SAMPLES-PER-SECOND): its frames are read at 30 "
                         "frames per second"),
              std::string::npos)
        << r.err;
    EXPECT_NE(ReadFile(Folder() + "norate.bvh").find("Frame Time:\t0.0333333\n"), std::string::npos);

    // --input-rate gives the file its rate: three frames at 120 per second.
    r = Convert(amc + " " + Folder() + "norate120.bvh --input-rate 120");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("its frames are read at 120 frames per second"), std::string::npos) << r.err;
    const std::string text = ReadFile(Folder() + "norate120.bvh");
    EXPECT_NE(text.find("Frames:\t3\nFrame Time:\t0.00833333\n"), std::string::npos) << text;
    r = Convert("--info " + amc + " --input-rate 120");
    EXPECT_NE(r.out.find("0 s to 0.0166667 s, 120 frames per second, 3 frames"), std::string::npos) << r.out;

    // A file that names its rate keeps it, with a note.
    const std::string rated = Make("rated.amc", ":SAMPLES-PER-SECOND 60\n" + ReadFile(amc));
    Make("rated.asf", kAsf);
    r = Convert(rated + " " + Folder() + "rated.bvh --input-rate 120");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("the file names its own rate (60 frames per second): --input-rate is not used"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("names no frame rate"), std::string::npos) << r.err;
    EXPECT_NE(ReadFile(Folder() + "rated.bvh").find("Frame Time:\t0.0166667\n"), std::string::npos);

    // The option is listed, and refuses what is no rate.
    r = Convert("--help");
    EXPECT_NE(r.out.find("--input-rate R"), std::string::npos);
    r = Convert(amc + " " + Folder() + "x.bvh --input-rate 0");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("--input-rate 0 is out of range"), std::string::npos) << r.err;
}

TEST(cli_skeleton, FramesOtherThanTheHeaderNamesAreCountedAndSaid) {
    // Three rows under "Frames: 2": two are read, with a warning; --info gives 2.
    const std::string extra = Make("extra.bvh", Bvh("2", "0.0333333", 3));
    Result r = Convert(extra + " " + Folder() + "extra_out.bvh");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("the file holds 3 frame lines, more than the 2 its header names"), std::string::npos)
        << r.err;
    EXPECT_NE(ReadFile(Folder() + "extra_out.bvh").find("Frames:\t2\n"), std::string::npos);
    r = Convert("--info " + extra);
    EXPECT_NE(r.out.find(", 2 frames"), std::string::npos) << r.out;

    // Three rows under "Frames: 5": the three are read, with both counts; --info gives 3.
    const std::string few = Make("few.bvh", Bvh("5", "0.0333333", 3));
    r = Convert(few + " " + Folder() + "few_out.bvh");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("the file holds 3 of the 5 frames its header names"), std::string::npos) << r.err;
    const std::string out = ReadFile(Folder() + "few_out.bvh");
    EXPECT_NE(out.find("Frames:\t3\n"), std::string::npos) << out;
    // The last frame written is the file's third: the root at x = 20.
    EXPECT_NEAR(LastLineNumbers(out)[0], 20.0, 1e-4);
    r = Convert("--info " + few);
    EXPECT_NE(r.out.find(", 3 frames"), std::string::npos) << r.out;

    // An AMC whose last frame is cut: --info gives the frames read.
    Make("cut.asf", kAsf);
    const std::string cut =
        Make("cut.amc",
             ":FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND 30\n1\nroot 0 10 0 0 0 0\nspine 1 0 0\n"
             "2\nroot 0 11 0 0 0 0\nspine 2 0 0\n3\nroot 0 12 0 0 0 0\n");
    r = Convert("--info " + cut);
    EXPECT_NE(r.err.find("the frame is dropped"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(", 2 frames"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(", 3 frames"), std::string::npos) << r.out;
}

TEST(cli_skeleton, FrameTimesThatGiveNoTakeAreRefused) {
    const struct {
        const char* frameTime;
        const char* why;
    } cases[] = {
        {"1e300", "\"Frame Time:\" of 1e+300 seconds: 3 frames of it reach past the end of the time line"},
        {"0", "\"Frame Time:\" of 0 seconds: a frame time must be above 0"},
        {"-1", "\"Frame Time:\" of -1 seconds: a frame time must be above 0"},
    };
    for (const auto& c : cases) {
        const std::string in = Make("time.bvh", Bvh("3", c.frameTime, 3));
        const std::string out = Folder() + "time_out.htr";
        Result r = Convert(in + " " + out);
        EXPECT_EQ(r.code, 1) << c.frameTime;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("_End"), std::string::npos) << r.err;
        EXPECT_FALSE(Exists(out)) << c.frameTime;
    }
}

TEST(cli_skeleton, NumericLabelsAreRenamedForAsfAndAmc) {
    // Unlabelled points carry numbers as names: an AMC reader would take such a line for a frame.
    const std::string c3d = Folder() + "numbers.c3d";
    Result r = Convert(Make("numbers.trc", Trc({"0000", "0001", "2x"})) + " " + c3d);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string amc = Folder() + "numbers.amc", asf = Folder() + "numbers.asf";
    r = Convert(c3d + " " + amc);
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* name : {"0000", "0001", "2x"})
        EXPECT_NE(r.err.find("Node \"" + std::string(name) + "\" is written as \"_" + name +
                             "\": an AMC file reads a name that begins with a number as a frame number."),
                  std::string::npos)
            << r.err;
    const std::string skeleton = ReadFile(asf), motion = ReadFile(amc);
    for (const char* name : {"_0000", "_0001", "_2x"}) {
        EXPECT_EQ(Count(skeleton, std::string("name ") + name + "\n"), 1) << name;
        EXPECT_EQ(Count(motion, std::string("\n") + name + " "), 3) << name;
    }
    // Every line of a frame is a bone line: the frame number lines are 1, 2 and 3 alone.
    int frameLines = 0;
    std::istringstream lines(motion);
    for (std::string line; std::getline(lines, line);)
        frameLines += !line.empty() && (line[0] >= '0' && line[0] <= '9') ? 1 : 0;
    EXPECT_EQ(frameLines, 3);
    // Each marker's line holds its place in inches (the ASF length unit is 1; the root stays at
    // the origin): marker m of frame f at (100 m + f, 20, 10 m) mm.
    const char* const names[3] = {"_0000", "_0001", "_2x"};
    for (int f = 0; f < 3; ++f)
        for (int m = 0; m < 3; ++m) {
            const std::string head = "\n" + std::to_string(f + 1) + "\n";
            const size_t frame = motion.find(head);
            ASSERT_NE(frame, std::string::npos) << f;
            const size_t at = motion.find(std::string("\n") + names[m] + " ", frame + 1);
            ASSERT_NE(at, std::string::npos) << f << names[m];
            std::istringstream line(motion.substr(at + 2 + std::string(names[m]).size()));
            double t[3] = {};
            line >> t[0] >> t[1] >> t[2];
            const double mm[3] = {100.0 * m + f, 20.0, 10.0 * m};
            for (int a = 0; a < 3; ++a)
                EXPECT_NEAR(t[a], mm[a] / 25.4, 1e-5) << f << names[m] << a;
        }
    // The pair reads back.
    r = Convert(amc + " " + Folder() + "numbers_back.trc");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadFile(Folder() + "numbers_back.trc").find("_0001"), std::string::npos);
}

TEST(cli_skeleton, SkeletonWritersRefuseAMeshAlike) {
    const std::string mesh = Make("mesh.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    for (const char* format : {"bvh", "htr", "asf", "amc"}) {
        const std::string out = Folder() + "mesh_out." + format;
        Result r = Convert(mesh + " " + out);
        EXPECT_EQ(r.code, 1) << format;
        // An AMC output is written with its ASF, which meets the scene first.
        const std::string refused = std::string(format) == "amc" ? "asf" : format;
        EXPECT_NE(r.err.find("mesh_out." + refused + ": no joints to write"), std::string::npos)
            << format << ": " << r.err;
        EXPECT_FALSE(Exists(out)) << format;
        EXPECT_FALSE(Exists(Folder() + "mesh_out.asf")) << format;
    }
    // A file that was there stays as it was.
    const std::string kept = Make("kept.htr", "old");
    EXPECT_EQ(Convert(mesh + " " + kept).code, 1);
    EXPECT_EQ(ReadFile(kept), "old");
}
