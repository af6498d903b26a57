// Skeleton motion converted by oxa-convert keeps every joint where it is in the world: the root's
// own movement in marker files, and joints whose translation is keyed in skeleton files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/cli_run.h"

namespace {

using oxa_cli::Convert;
using oxa_cli::Folder;
using oxa_cli::ReadFile;
using oxa_cli::Result;
using oxa_cli::WriteText;

using Matrix = std::array<std::array<double, 4>, 4>;
using Point = std::array<double, 3>;

Matrix Identity() {
    Matrix m{};
    for (int k = 0; k < 4; ++k)
        m[k][k] = 1.0;
    return m;
}

Matrix Multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                m[r][c] += a[r][k] * b[k][c];
    return m;
}

// A rotation of `degrees` about axis 0 (X), 1 (Y) or 2 (Z), right-handed, for column vectors.
Matrix Rotation(int axis, double degrees) {
    const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    Matrix m = Identity();
    m[i][i] = c;
    m[i][j] = -s;
    m[j][i] = s;
    m[j][j] = c;
    return m;
}

Matrix Translation(const Point& p) {
    Matrix m = Identity();
    for (int k = 0; k < 3; ++k)
        m[k][3] = p[k];
    return m;
}

// The figure: four joints, every one with six channels (position, then rotation Z, X, Y).
struct Joint {
    const char* name;
    int parent;  // index, -1 for the root
    Point offset;
    Point end;  // the end site's offset, or all zero for a joint with children
};
const Joint kJoints[] = {
    {"Hips", -1, {0, 90, 0}, {0, 0, 0}},
    {"Spine", 0, {0, 15, 0}, {0, 0, 0}},
    {"Head", 1, {0, 40, 0}, {0, 15, 0}},
    {"Leg", 0, {10, -5, 0}, {0, -45, 0}},
};
constexpr int kJointCount = 4;
constexpr double kFigureSize = 150.0;
constexpr double kRate = 30.0;
constexpr int kFrames = 40;

// The six channel values of joint `j` at frame `f`: every value moves, the root travels and turns.
std::array<double, 6> Channels(int j, int f) {
    const double t = f / kRate, k = 1.0 + 0.3 * j;
    const Point& o = kJoints[j].offset;
    if (j == 0)
        return {100 * t + 5 * std::sin(3 * t),
                90 + 10 * std::sin(2 * t),
                -50 * t,
                30 * std::sin(t),
                20 * std::sin(1.3 * t),
                120 * t};
    return {o[0] + 2 * std::sin(2 * k * t), o[1] + 3 * std::cos(3 * k * t) - 3, o[2] + 1.5 * std::sin(k * t),
            10 * j * std::sin(2 * t),       15 * std::cos(k * t) - 15,          25 * std::sin(1.5 * k * t)};
}

std::string MakeFigure(const std::string& name) {
    std::ostringstream text;
    text.precision(10);
    text << "HIERARCHY\n";
    const char* channels = "CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n";
    // Hips { Spine { Head { End } } Leg { End } }
    auto open = [&](int j, const std::string& pad) {
        text << pad << (j == 0 ? "ROOT " : "JOINT ") << kJoints[j].name << "\n"
             << pad << "{\n"
             << pad << "  OFFSET " << kJoints[j].offset[0] << " " << kJoints[j].offset[1] << " "
             << kJoints[j].offset[2] << "\n"
             << pad << "  " << channels;
    };
    auto endSite = [&](int j, const std::string& pad) {
        const Point& e = kJoints[j].end;
        text << pad << "End Site\n"
             << pad << "{\n"
             << pad << "  OFFSET " << e[0] << " " << e[1] << " " << e[2] << "\n"
             << pad << "}\n";
    };
    open(0, "");
    open(1, "  ");
    open(2, "    ");
    endSite(2, "      ");
    text << "    }\n  }\n";
    open(3, "  ");
    endSite(3, "    ");
    text << "  }\n}\n";
    text << "MOTION\nFrames: " << kFrames << "\nFrame Time: " << 1.0 / kRate << "\n";
    for (int f = 0; f < kFrames; ++f) {
        for (int j = 0; j < kJointCount; ++j)
            for (double v : Channels(j, f))
                text << v << " ";
        text << "\n";
    }
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// The world position of every joint at frame `f` by the BVH rules: a position channel replaces
// that component of the joint's OFFSET, rotations apply in channel order (Z, X, Y: the Y rotation
// acts on a point first), each joint in its parent's frame.
std::array<Point, kJointCount> WorldPositions(int f) {
    std::array<Matrix, kJointCount> global;
    std::array<Point, kJointCount> world;
    for (int j = 0; j < kJointCount; ++j) {
        const auto c = Channels(j, f);
        Matrix local = Translation({c[0], c[1], c[2]});
        local = Multiply(local, Rotation(2, c[3]));
        local = Multiply(local, Rotation(0, c[4]));
        local = Multiply(local, Rotation(1, c[5]));
        global[j] = kJoints[j].parent < 0 ? local : Multiply(global[kJoints[j].parent], local);
        world[j] = {global[j][0][3], global[j][1][3], global[j][2][3]};
    }
    return world;
}

// The markers of a TRC file in centimetres: per marker name, one point per frame.
std::map<std::string, std::vector<Point>> ReadTrc(const std::string& path) {
    std::istringstream text(ReadFile(path));
    std::string line;
    std::vector<std::string> lines;
    for (int k = 0; k < 5 && std::getline(text, line); ++k)
        lines.push_back(line);
    std::map<std::string, std::vector<Point>> markers;
    if (lines.size() < 5) {
        ADD_FAILURE() << path << " has no TRC header";
        return markers;
    }
    auto fields = [](const std::string& row) {
        std::vector<std::string> out;
        std::string field;
        std::istringstream in(row);
        while (std::getline(in, field, '\t'))
            out.push_back(field);
        return out;
    };
    const std::vector<std::string> values = fields(lines[2]);
    const std::string units = values.size() > 4 ? values[4] : "";
    const double toCm = units == "mm" ? 0.1 : units == "m" ? 100.0 : 1.0;
    std::vector<std::string> names;
    for (const std::string& name : fields(lines[3]))
        if (!name.empty() && name != "Frame#" && name != "Time") names.push_back(name);
    while (std::getline(text, line)) {
        std::istringstream numbers(line);
        std::vector<double> row;
        for (double v; numbers >> v;)
            row.push_back(v);
        if (row.size() < 2 + 3 * names.size()) continue;
        for (size_t m = 0; m < names.size(); ++m)
            markers[names[m]].push_back(
                {row[2 + 3 * m] * toCm, row[3 + 3 * m] * toCm, row[4 + 3 * m] * toCm});
    }
    return markers;
}

// Every joint's marker in `trc` is where the BVH rules put the joint, frame by frame.
void ExpectJointsInPlace(const std::string& trc, const std::string& route) {
    const auto markers = ReadTrc(trc);
    for (int j = 0; j < kJointCount; ++j) {
        // ASF calls its root joint "root".
        auto found = markers.find(kJoints[j].name);
        if (found == markers.end() && j == 0) found = markers.find("root");
        ASSERT_NE(found, markers.end()) << route << ": no marker " << kJoints[j].name;
        ASSERT_EQ(found->second.size(), (size_t)kFrames) << route;
        double worst = 0.0;
        int worstFrame = 0;
        for (int f = 0; f < kFrames; ++f) {
            const Point expected = WorldPositions(f)[j];
            for (int k = 0; k < 3; ++k) {
                const double miss = std::fabs(found->second[f][k] - expected[k]);
                if (miss > worst) {
                    worst = miss;
                    worstFrame = f;
                }
            }
        }
        EXPECT_LE(worst, 1e-4 * kFigureSize)
            << route << ": " << kJoints[j].name << " is off by " << worst << " at frame " << worstFrame;
    }
}

TEST(cli, SkeletonMotionKeepsEveryJointInTheWorld) {
    const std::string bvh = MakeFigure("figure.bvh");
    // The reference itself: the root travels and turns, and the joints move against it.
    const auto first = WorldPositions(0), last = WorldPositions(kFrames - 1);
    EXPECT_GT(std::fabs(last[0][0] - first[0][0]), 50.0);

    const std::string direct = Folder() + "figure_direct.trc";
    Result r = Convert(bvh + " " + direct);
    ASSERT_EQ(r.code, 0) << r.err;
    ExpectJointsInPlace(direct, "bvh -> trc");

    for (const char* format : {"trc", "c3d", "bvh", "htr", "amc"}) {
        const std::string middle = Folder() + "figure_via." + format;
        r = Convert(bvh + " " + middle);
        ASSERT_EQ(r.code, 0) << format << ": " << r.err;
        const std::string back = Folder() + "figure_via_" + format + ".trc";
        r = Convert(middle + " " + back);
        ASSERT_EQ(r.code, 0) << format << " -> trc: " << r.err;
        ExpectJointsInPlace(back, std::string("bvh -> ") + format + " -> trc");
    }
    // The skeleton writers keep the joints' translation channels.
    EXPECT_NE(ReadFile(Folder() + "figure_via.bvh").find("JOINT Spine\n  {\n    OFFSET"), std::string::npos);
    const std::string written = ReadFile(Folder() + "figure_via.bvh");
    const size_t spine = written.find("JOINT Spine");
    ASSERT_NE(spine, std::string::npos);
    EXPECT_NE(written.find("CHANNELS 6", spine), std::string::npos) << written.substr(0, 400);
    EXPECT_NE(ReadFile(Folder() + "figure_via.asf").find("tx ty tz"), std::string::npos);

    // The settings file can still ask for positions relative to the motion root: the root stays
    // at the origin then.
    const std::string settings = Folder() + "relative.ini";
    WriteText(settings, "[Export]\nExportFromGlobalPosition=0\n");
    const std::string relative = Folder() + "figure_relative.trc";
    r = Convert("--options " + settings + " " + bvh + " " + relative);
    ASSERT_EQ(r.code, 0) << r.err;
    const auto hips = ReadTrc(relative)["Hips"];
    ASSERT_EQ(hips.size(), (size_t)kFrames);
    EXPECT_EQ(hips.back(), (Point{0, 0, 0}));
}

// A figure whose joints only rotate keeps three channels below the root, as before.
TEST(cli, JointsThatOnlyRotateKeepThreeChannels) {
    std::ostringstream text;
    text << "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 90 0\n"
         << "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "  JOINT Spine\n  {\n    OFFSET 0 15 0\n"
         << "    CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "    End Site\n    {\n      OFFSET 0 15 0\n    }\n  }\n}\n"
         << "MOTION\nFrames: 3\nFrame Time: 0.0333333\n";
    for (int f = 0; f < 3; ++f)
        text << 10 * f << " 90 0 " << 5 * f << " 0 0 0 15 0 0 " << 7 * f << " 0\n";
    const std::string bvh = Folder() + "rotating.bvh";
    WriteText(bvh, text.str());
    const std::string out = Folder() + "rotating_out.bvh";
    Result r = Convert(bvh + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string written = ReadFile(out);
    const size_t spine = written.find("JOINT Spine");
    ASSERT_NE(spine, std::string::npos) << written;
    EXPECT_NE(written.find("CHANNELS 3", spine), std::string::npos) << written;
}

// Marker files converted to marker files keep their values: the reference node is at the origin,
// so the marker writers' world positions are the positions read.
TEST(cli, MarkerToMarkerKeepsItsValues) {
    std::ostringstream text;
    text << "PathFileType\t4\t(X/Y/Z)\tlab.trc\t\n"
         << "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFra"
            "mes\t\n"
         << "60\t60\t5\t2\tmm\t60\t1\t5\t\nFrame#"
            "\tTime\tLHEE\t\t\tRTOE\t\t\t\n\t\tX1\tY1\tZ1\tX2\tY2\tZ2\t\n\n";
    for (int f = 0; f < 5; ++f)
        text << f + 1 << "\t" << f / 60.0 << "\t" << 10.5 * f << "\t" << 900 - f << "\t" << 3.25 << "\t"
             << -40 << "\t" << 12.125 * f << "\t" << 77 << "\n";
    const std::string trc = Folder() + "lab.trc";
    WriteText(trc, text.str());
    const std::string settings = Folder() + "local.ini";
    WriteText(settings, "[Export]\nExportFromGlobalPosition=0\n");
    for (const char* format : {"trc", "c3d"}) {
        const std::string global = Folder() + "lab_global." + format;
        const std::string local = Folder() + "lab_local." + format;
        ASSERT_EQ(Convert(trc + " " + global).code, 0) << format;
        ASSERT_EQ(Convert("--options " + settings + " " + trc + " " + local).code, 0) << format;
        EXPECT_EQ(ReadFile(global), ReadFile(local)) << format;
    }
    // The bytes the command wrote before marker writers placed markers in the world (positions
    // are held in single precision).
    const std::string expected =
        "1\t0.000\t0.00000\t900.00000\t3.25000\t-40.00000\t0.00000\t77.00000 \n"
        "2\t0.017\t10.50000\t899.00002\t3.25000\t-40.00000\t12.12500\t77.00000 \n"
        "3\t0.033\t21.00000\t898.00003\t3.25000\t-40.00000\t24.25000\t77.00000 \n"
        "4\t0.050\t31.50000\t896.99997\t3.25000\t-40.00000\t36.37500\t77.00000 \n"
        "5\t0.067\t42.00000\t895.99998\t3.25000\t-40.00000\t48.50000\t77.00000 \n";
    const std::string written = ReadFile(Folder() + "lab_global.trc");
    EXPECT_NE(written.find(expected), std::string::npos) << written;
}

}  // namespace
