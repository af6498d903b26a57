// Runs oxa-convert on the shipped samples and on files it writes itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/oxa_version.h"
#include "tests/support/test_files.h"
#include "tests/tools/cli_run.h"

namespace {

using oxa_cli::Convert;
using oxa_cli::Exists;
using oxa_cli::Folder;
using oxa_cli::ReadFile;
using oxa_cli::Result;

std::string Example(const char* name) {
    return std::string(OXA_EXAMPLES_DIR) + "/" + name;
}

// What --info reports: node count, and per node its attribute and total keys.
struct Info {
    int nodes = 0;
    int materials = 0;
    std::map<std::string, int> attributes;  // attribute type -> nodes
    std::map<std::string, int> keys;        // node name without prefix -> keys over all channels
};

Info Describe(const std::string& path) {
    Result r = Convert("--info " + path);
    EXPECT_EQ(r.code, 0) << path << ": " << r.err;
    Info info;
    std::istringstream lines(r.out);
    std::string line, node;
    const std::regex nodeLine(R"(^\s+(?:\w+::)?(\S+) \[([a-z ]+), [A-Za-z ]+\]$)");
    const std::regex keyLine(R"(^\s+.+: .+, (\d+) keys$)");
    const std::regex materialsLine(R"(^materials: (\d+)$)");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, m, nodeLine)) {
            ++info.nodes;
            node = m[1];
            ++info.attributes[m[2]];
        } else if (std::regex_match(line, m, keyLine)) {
            info.keys[node] += std::stoi(m[1]);
        } else if (std::regex_match(line, m, materialsLine)) {
            info.materials = std::stoi(m[1]);
        }
    }
    return info;
}

TEST(cli, ListsTheFormatsOfBothTables) {
    Result r = Convert("--formats");
    ASSERT_EQ(r.code, 0);
    for (const char* ext :
         {"3ds", "obj", "dxf", "bvh", "htr", "asf", "amc", "c3d", "trc", "brd", "mov", "vpm", "aoa", "mcd"})
        EXPECT_NE(r.out.find(std::string("  ") + ext + " "), std::string::npos) << ext;
    EXPECT_NE(r.out.find("write:"), std::string::npos);
}

TEST(cli, UsageErrorsAndUnreadableFiles) {
    EXPECT_EQ(Convert("").code, 2);
    EXPECT_EQ(Convert("--bogus a.bvh b.bvh").code, 2);
    EXPECT_EQ(Convert("--info").code, 2);
    EXPECT_EQ(Convert("--frame-rate abc " + Example("walk.bvh") + " " + Folder() + "x.htr").code, 2);

    // Unknown extensions: a usage error naming the file, and nothing written.
    const std::string unknownOut = Folder() + "walk.xyz";
    Result r = Convert(Example("walk.bvh") + " " + unknownOut);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("walk.xyz"), std::string::npos);
    EXPECT_FALSE(Exists(unknownOut));
    EXPECT_EQ(Convert("--info " + Folder() + "thing.xyz").code, 2);

    // A missing input: exit 1 with the file's name, no output.
    const std::string out = Folder() + "missing.htr";
    r = Convert(Folder() + "missing.bvh " + out);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("missing.bvh"), std::string::npos);
    EXPECT_FALSE(Exists(out));

    // An unreadable input leaves an existing output as it was.
    const std::string garbage = Folder() + "garbage.3ds";
    std::ofstream(garbage) << "this is not a 3DS file";
    const std::string existing = Folder() + "existing.obj";
    std::ofstream(existing) << "keep me\n";
    r = Convert(garbage + " " + existing);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("garbage.3ds"), std::string::npos);
    EXPECT_EQ(ReadFile(existing), "keep me\n");
}

TEST(cli, GeometryConvertsBetweenEveryPair) {
    const Info source = Describe(Example("scene.3ds"));
    ASSERT_EQ(source.attributes.count("mesh"), 1u);
    const int meshes = source.attributes.at("mesh");
    EXPECT_GE(meshes, 2);
    EXPECT_GT(source.keys.at("Cube"), 0);

    const char* formats[] = {"3ds", "obj", "dxf"};
    for (const char* from : formats) {
        const std::string first = Folder() + "geo_from." + from;
        ASSERT_EQ(Convert(Example("scene.3ds") + " " + first).code, 0) << from;
        for (const char* to : formats) {
            const std::string second = Folder() + "geo_" + from + "_to." + to;
            Result r = Convert(first + " " + second);
            ASSERT_EQ(r.code, 0) << from << " -> " << to << ": " << r.err;
            const Info info = Describe(second);
            // DXF merges a layer's entities; every other pair keeps each mesh.
            if (std::string(from) != "dxf" && std::string(to) != "dxf")
                EXPECT_EQ(info.attributes.count("mesh") ? info.attributes.at("mesh") : 0, meshes)
                    << from << to;
            else
                EXPECT_GE(info.attributes.count("mesh") ? info.attributes.at("mesh") : 0, 1) << from << to;
        }
    }
    // The materials come through 3DS and OBJ, and the points are the cube's and the pyramid's.
    EXPECT_EQ(source.materials, 2);
    EXPECT_EQ(Describe(Folder() + "geo_3ds_to.obj").materials, 2);
    EXPECT_EQ(Describe(Folder() + "geo_obj_to.3ds").materials, 2);
    std::istringstream obj(ReadFile(Folder() + "geo_3ds_to.obj"));
    std::set<std::string> points;
    for (std::string line; std::getline(obj, line);)
        if (line.rfind("v ", 0) == 0) points.insert(line);
    EXPECT_EQ(points.size(), 13u);  // 8 corners and 5 pyramid points, all different

    // Animation survives 3DS to 3DS.
    const Info again = Describe(Folder() + "geo_3ds_to.3ds");
    EXPECT_EQ(again.keys.count("Cube") ? again.keys.at("Cube") : 0, source.keys.at("Cube"));
}

TEST(cli, SkeletonsKeepJointsAndKeys) {
    const Info source = Describe(Example("walk.bvh"));
    const int joints = source.attributes.at("skeleton");
    for (const char* to : {"htr", "bvh", "asf"}) {
        const std::string path = Folder() + "walk_to." + to;
        Result r = Convert(Example("walk.bvh") + " " + path);
        ASSERT_EQ(r.code, 0) << to << ": " << r.err;
        const Info info = Describe(path);
        // End sites come back as joints of their own in some formats, never fewer joints.
        EXPECT_GE(info.attributes.at("skeleton"), joints - 3) << to;
        if (std::string(to) != "asf") {
            EXPECT_GT(info.keys.count("Spine") ? info.keys.at("Spine") : 0, 0) << to;
        }
    }
    // BVH written from an HTR read gives the joints and frames again.
    const std::string back = Folder() + "walk_back.bvh";
    ASSERT_EQ(Convert(Folder() + "walk_to.htr " + back).code, 0);
    const std::string text = ReadFile(back);
    EXPECT_NE(text.find("Frames:\t61"), std::string::npos) << text.substr(0, 200);
}

TEST(cli, MarkersConvertBetweenMarkerFormats) {
    const Info source = Describe(Example("markers.c3d"));
    const int markers = source.attributes.at("marker");
    EXPECT_EQ(markers, 4);
    for (const char* to : {"trc", "c3d", "aoa", "brd", "mov", "vpm", "mcd"}) {
        const std::string path = Folder() + "markers_to." + to;
        Result r = Convert(Example("markers.c3d") + " " + path);
        ASSERT_EQ(r.code, 0) << to << ": " << r.err;
        const Info info = Describe(path);
        EXPECT_EQ(info.attributes.count("marker") ? info.attributes.at("marker") : 0, markers) << to;
        // AOA, MCD, BRD and MOV carry no marker names: their readers number the markers.
        int keys = 0;
        for (const auto& node : info.keys)
            keys += node.second;
        // Every frame of X, Y and Z; the formats with an occlusion column add its curve.
        const int frames = source.keys.at("Head") / 4;
        EXPECT_GE(keys, 3 * frames * markers) << to;
        EXPECT_LE(keys, 4 * frames * markers) << to;
    }
}

TEST(cli, OptionsOfTheCommandLine) {
    // Help is the usage on standard output; incomplete options are usage errors.
    Result r = Convert("--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("usage: oxa-convert"), std::string::npos);
    const std::string out = Folder() + "options.htr";
    EXPECT_EQ(Convert(Example("walk.bvh") + " " + out + " --take").code, 2);
    EXPECT_FALSE(Exists(out));
    EXPECT_EQ(Convert(Example("walk.bvh") + " " + out + " --time-mode -1").code, 2);

    // Valid values are taken: a take by name, a frame rate, a time mode.
    r = Convert(Example("walk.bvh") + " " + out + " --take nosuch");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("nosuch"), std::string::npos);
    EXPECT_EQ(Convert(Example("walk.bvh") + " " + out + " --take walk").code, 0);
    EXPECT_EQ(Convert("--frame-rate 60 " + Example("walk.bvh") + " " + out).code, 0);
    EXPECT_NE(ReadFile(out).find("DataFrameRate 60\n"), std::string::npos);
    EXPECT_EQ(Convert("--time-mode 3 " + Example("walk.bvh") + " " + out).code, 0);  // 60 frames per second
    EXPECT_NE(ReadFile(out).find("DataFrameRate 60\n"), std::string::npos);
    EXPECT_EQ(Convert(Example("walk.bvh") + " " + out).code, 0);
    EXPECT_NE(ReadFile(out).find("DataFrameRate 30\n"), std::string::npos);

    // The take list names each take once.
    r = Convert("--info " + Example("walk.bvh"));
    EXPECT_NE(r.out.find("takes: 2\n  Default: "), std::string::npos) << r.out;
}

TEST(cli, JsonDescribesTheSameScene) {
    Result r = Convert("--info --json " + Example("walk.bvh"));
    ASSERT_EQ(r.code, 0);
    EXPECT_EQ(r.out.front(), '{');
    EXPECT_NE(r.out.find("\"nodes\": ["), std::string::npos);
    EXPECT_NE(r.out.find("\"name\": \"Model::Hips\""), std::string::npos);
    EXPECT_NE(r.out.find("\"keys\": 61"), std::string::npos);
    // Balanced brackets and braces outside strings.
    int depth = 0;
    bool inString = false;
    for (size_t k = 0; k < r.out.size(); ++k) {
        const char c = r.out[k];
        if (inString) {
            if (c == '\\')
                ++k;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            ASSERT_GT(depth, 0);
            --depth;
        }
    }
    EXPECT_EQ(depth, 0);
}

// ---- files the tests make ----

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A BVH of a root and two joints at `rate` frames per second; every channel moves.
std::string MakeBvh(const std::string& name, double rate, int frames) {
    std::ostringstream text;
    text << "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 90 0\n"
         << "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
         << "  JOINT Spine\n  {\n    OFFSET 0 15 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
         << "    JOINT Head\n    {\n      OFFSET 0 40 0\n      CHANNELS 3 Zrotation Xrotation Yrotation\n"
         << "      End Site\n      {\n        OFFSET 0 15 0\n      }\n    }\n  }\n}\n"
         << "MOTION\nFrames:\t" << frames << "\nFrame Time:\t" << 1.0 / rate << "\n";
    for (int f = 0; f < frames; ++f) {
        const double t = f / rate;
        text << 100 * t << " " << 90 + 50 * t << " " << -50 * t << " " << 20 * std::sin(t) << " " << 10 * t
             << " " << 5 << " " << 15 * std::sin(2 * t) << " 3 " << -40 * t << " " << 70 * t << " " << -2
             << " " << 30 * t << "\n";
    }
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// A TRC of `names.size()` markers at `rate` frames per second.
std::string MakeTrc(const std::string& name, double rate, int frames, const std::vector<std::string>& names) {
    std::ostringstream text;
    text << "PathFileType\t4\t(X/Y/Z)\t" << name << "\t\n"
         << "DataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\tOrigDataRate\tOrigDataStartFrame\tOrigNumFra"
            "mes\t\n"
         << rate << "\t" << rate << "\t" << frames << "\t" << names.size() << "\tmm\t" << rate << "\t1\t"
         << frames << "\t\nFrame#\tTime\t";
    for (const std::string& marker : names)
        text << marker << "\t\t\t";
    text << "\n\t\t";
    for (size_t m = 1; m <= names.size(); ++m)
        text << "X" << m << "\tY" << m << "\tZ" << m << "\t";
    text << "\n\n";
    for (int f = 0; f < frames; ++f) {
        text << f + 1 << "\t" << f / rate;
        for (size_t m = 0; m < names.size(); ++m)
            text << "\t" << 100.0 * m + f << "\t" << 50 * std::sin(f / rate) << "\t" << 10.0 * m;
        text << "\n";
    }
    const std::string path = Folder() + name;
    WriteText(path, text.str());
    return path;
}

// A C3D at `rate` frames per second, written by the command from a TRC.
std::string MakeC3d(const std::string& name, double rate, int frames, const std::vector<std::string>& names) {
    const std::string trc = MakeTrc(name + ".trc", rate, frames, names);
    const std::string path = Folder() + name;
    Result r = Convert(trc + " " + path);
    EXPECT_EQ(r.code, 0) << r.err;
    return path;
}

struct TakeLine {
    double rate = 0.0;
    int frames = -1;
};

// The rate and frame count --info gives the take named after the file (or `take`).
TakeLine TakeOf(const std::string& path, const std::string& take, const std::string& extra = "") {
    Result r = Convert("--info " + extra + " " + path);
    EXPECT_EQ(r.code, 0) << path << ": " << r.err;
    std::smatch m;
    const std::regex line("\n  " + take + ": \\S+ s to \\S+ s, ([0-9.]+) frames per second, (\\d+) frames"
                          "( \\(a conversion writes this take\\))?\n");
    TakeLine result;
    if (std::regex_search(r.out, m, line)) {
        result.rate = std::stod(m[1]);
        result.frames = std::stoi(m[2]);
    } else {
        ADD_FAILURE() << path << " has no take " << take << ":\n" << r.out;
    }
    return result;
}

// The numbers of a BVH's MOTION section, frame by frame.
std::vector<std::vector<double>> BvhFrames(const std::string& path) {
    std::istringstream text(ReadFile(path));
    std::string line;
    while (std::getline(text, line) && line.rfind("Frame Time:", 0) != 0) {
    }
    std::vector<std::vector<double>> frames;
    while (std::getline(text, line)) {
        std::istringstream numbers(line);
        std::vector<double> values;
        for (double v; numbers >> v;)
            values.push_back(v);
        if (!values.empty()) frames.push_back(values);
    }
    return frames;
}

std::string Header(const std::string& path, const char* key) {
    const std::string text = ReadFile(path);
    const size_t at = text.find(key);
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

TEST(cli, MotionKeepsItsOwnRateAndFrameCount) {
    const std::string bvh = MakeBvh("rate120.bvh", 120, 241);
    const std::string c3d = MakeC3d("rate100.c3d", 100, 208, {"Head", "Hand", "Foot"});
    EXPECT_EQ(TakeOf(bvh, "rate120").rate, 120);
    EXPECT_EQ(TakeOf(bvh, "rate120").frames, 241);
    EXPECT_EQ(TakeOf(c3d, "rate100").rate, 100);
    EXPECT_EQ(TakeOf(c3d, "rate100").frames, 208);
    for (const auto& [source, rate, frames] :
         {std::tuple<std::string, double, int>{bvh, 120, 241}, {c3d, 100, 208}}) {
        for (const char* to : {"bvh", "htr", "trc", "c3d"}) {
            const std::string stem = "from" + std::to_string((int)rate);
            const std::string out = Folder() + stem + "." + to;
            Result r = Convert(source + " " + out);
            ASSERT_EQ(r.code, 0) << source << " -> " << to << ": " << r.err;
            EXPECT_EQ(r.err.find("resampled"), std::string::npos) << r.err;
            const TakeLine take = TakeOf(out, stem);
            EXPECT_EQ(take.rate, rate) << source << " -> " << to;
            EXPECT_EQ(take.frames, frames) << source << " -> " << to;
        }
    }
    // The headers say so in the formats' own words.
    EXPECT_EQ(Header(Folder() + "from120.bvh", "Frames:"), "Frames:\t241");
    EXPECT_EQ(Header(Folder() + "from100.htr", "NumFrames"), "NumFrames 208");
    EXPECT_EQ(Header(Folder() + "from100.htr", "DataFrameRate"), "DataFrameRate 100");
    // Markers written as a skeleton keep their motion: the joints move as the markers did.
    const auto frames100 = BvhFrames(Folder() + "from100.bvh");
    ASSERT_EQ(frames100.size(), 208u);
    EXPECT_NE(frames100.front(), frames100.back());
}

TEST(cli, FrameRateResamplesTheOutputOnly) {
    const std::string bvh = MakeBvh("resample.bvh", 120, 241);
    const std::string out = Folder() + "resampled.bvh";
    Result r = Convert("--frame-rate 30 " + bvh + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("resampled from 120 to 30 frames per second"), std::string::npos) << r.err;
    EXPECT_EQ(Header(out, "Frames:"), "Frames:\t61");
    const auto source = BvhFrames(bvh), resampled = BvhFrames(out);
    ASSERT_EQ(resampled.size(), 61u);
    // Every fourth source frame, at the same times: the read was not re-timed.
    for (size_t f = 0; f < resampled.size(); f += 20)
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(resampled[f][k], source[4 * f][k], 1e-3) << f << " " << k;
    r = Convert("--time-mode 3 " + bvh + " " + out);  // 60 frames per second
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("from 120 to 60"), std::string::npos) << r.err;
    EXPECT_EQ(Header(out, "Frames:"), "Frames:\t121");
    r = Convert("--time-mode 0 " + bvh + " " + out);  // the default mode, 30 frames per second
    EXPECT_NE(r.err.find("from 120 to 30"), std::string::npos) << r.err;

    // Asking for the file's own rate changes nothing: the first frame stays the first.
    const std::string fast = MakeBvh("fast.bvh", 1000, 50);
    r = Convert("--frame-rate 1000 " + fast + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err.find("resampled"), std::string::npos) << r.err;
    const auto kept = BvhFrames(out), original = BvhFrames(fast);
    ASSERT_EQ(kept.size(), 50u);
    for (size_t f : {0, 1, 49})
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(kept[f][k], original[f][k], 1e-2) << f;
}

TEST(cli, AmcTravelsWithItsSkeleton) {
    const std::string bvh = MakeBvh("dance.bvh", 120, 97);
    const std::string amc = Folder() + "dance.amc", asf = Folder() + "dance.asf";
    Result r = Convert(bvh + " " + amc);
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_TRUE(Exists(asf));
    EXPECT_NE(ReadFile(amc).find(":SAMPLES-PER-SECOND 120"), std::string::npos);

    // Real collections name the two apart: the skeleton is named on the command line.
    const std::string walking = Folder() + "walking.amc", skeleton = Folder() + "skeleton.asf";
    WriteText(walking, ReadFile(amc));
    WriteText(skeleton, ReadFile(asf));
    r = Convert(walking + " " + Folder() + "walking.bvh");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("AMC motion needs its ASF skeleton: give --skeleton FILE.asf"), std::string::npos);
    EXPECT_EQ(Convert("--skeleton " + skeleton + " " + bvh + " " + Folder() + "x.bvh").code, 2);
    EXPECT_EQ(Convert("--skeleton " + bvh + " " + walking + " " + Folder() + "x.bvh").code, 2);
    EXPECT_EQ(TakeOf(walking, "walking", "--skeleton " + skeleton).frames, 97);

    // BVH -> AMC -> BVH gives the joints, frames and values of BVH -> BVH, within what six digits
    // and the readers' key filters keep.
    const std::string direct = Folder() + "dance_direct.bvh";
    ASSERT_EQ(Convert(bvh + " " + direct).code, 0);
    for (const std::string& arguments : {"--skeleton " + skeleton + " " + walking, amc}) {
        const std::string back = Folder() + "dance_back.bvh";
        r = Convert(arguments + " " + back);
        ASSERT_EQ(r.code, 0) << arguments << ": " << r.err;
        // ASF calls its root joint "root"; the other joints keep their names.
        const std::string text = ReadFile(back);
        EXPECT_NE(text.find("JOINT Spine\n"), std::string::npos);
        EXPECT_NE(text.find("JOINT Head\n"), std::string::npos);
        const auto expected = BvhFrames(direct), got = BvhFrames(back);
        ASSERT_EQ(got.size(), expected.size());
        for (size_t f = 0; f < got.size(); ++f) {
            ASSERT_EQ(got[f].size(), expected[f].size());
            for (size_t k = 0; k < got[f].size(); ++k)
                EXPECT_NEAR(got[f][k], expected[f][k], 1e-2 * (1 + std::fabs(expected[f][k])))
                    << f << " " << k;
        }
    }

    // A scene the ASF writer refuses leaves neither file behind.
    const std::string refused = Folder() + "scene.amc";
    r = Convert(Example("scene.3ds") + " " + refused);
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(Exists(refused));
    EXPECT_FALSE(Exists(Folder() + "scene.asf"));
}

TEST(cli, ReadersOwnErrorsReachTheUser) {
    const std::string bvh = MakeBvh("whole.bvh", 30, 3);
    const std::string amcSkeleton = Folder() + "errors.asf";
    ASSERT_EQ(Convert(bvh + " " + Folder() + "errors.amc").code, 0);
    const std::string out = Folder() + "errors_out.htr";
    auto expectError = [&](const std::string& input, const std::string& text) {
        Result r = Convert(input + " " + out);
        EXPECT_EQ(r.code, 1) << input;
        EXPECT_NE(r.err.find(text), std::string::npos) << input << ": " << r.err;
        EXPECT_EQ(r.err.find("Stream options not set"), std::string::npos) << input << ": " << r.err;
        EXPECT_FALSE(Exists(out)) << input;
    };
    for (const char* ext : {"trc", "c3d", "bvh", "htr", "amc"}) {
        const std::string empty = Folder() + "empty." + ext;
        WriteText(empty, "");
        const std::string folder = Folder() + "folder." + ext;
        mkdir(folder.c_str(), 0700);
        const std::string other = Folder() + "other." + ext;
        WriteText(other, std::string(ext) == "bvh" ? ReadFile(Example("scene.3ds")) : ReadFile(bvh));
        const std::string skeleton = std::string(ext) == "amc" ? "--skeleton " + amcSkeleton + " " : "";
        expectError(skeleton + empty, "File is empty");
        expectError(skeleton + folder, folder + " is a folder, not a file that can be read");
        expectError(skeleton + other, "File is corrupted");
    }
    const std::string text = ReadFile(bvh);
    const std::string truncated = Folder() + "truncated.bvh";
    WriteText(truncated, text.substr(0, text.find("MOTION")));
    expectError(truncated, "no MOTION section");
    const std::string trc = MakeTrc("truncated.trc", 100, 4, {"A"});
    WriteText(trc, ReadFile(trc).substr(0, 60));
    expectError(trc, "File is corrupted");
}

TEST(cli, MarkersLabelledAlikeAreNumbered) {
    // Two markers labelled alike: the second label is changed in the C3D's own bytes.
    std::string bytes = ReadFile(MakeC3d("alike.c3d", 50, 5, {"MRKA", "MRKB", "MRKC"}));
    const size_t at = bytes.find("MRKB");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 3] = 'A';
    const std::string alike = Folder() + "alike.c3d";
    WriteText(alike, bytes);
    const std::string out = Folder() + "alike.trc";
    Result r = Convert(alike + " " + out);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Warning: Some objects have been renamed due to naming conflicts:"),
              std::string::npos);
    EXPECT_NE(r.err.find("oxa-convert: " + alike + ": MRKA  -->  "), std::string::npos) << r.err;
    EXPECT_EQ(Describe(out).attributes["marker"], 3);

    // The settings file can turn the renaming off: then the clash is an error.
    const std::string settings = Folder() + "no_rename.ini";
    WriteText(settings, "[Import]\nRenameDuplicateNames=0\n");
    r = Convert("--options " + settings + " " + alike + " " + out);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("Duplicate names found"), std::string::npos) << r.err;
}

TEST(cli, WarningsAreCountedAndEscaped) {
    // Lines and points only: each warning once with its count, and a note that nothing was found;
    // the 3DS writer, as the OBJ and DXF writers, writes no empty file.
    std::string lines = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int k = 0; k < 500; ++k)
        lines += "l 1 2\n";
    lines += "p 3\n";
    const std::string obj = Folder() + "lines.obj";
    WriteText(obj, lines);
    Result r = Convert(obj + " " + Folder() + "lines.3ds");
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("lines.3ds: no geometry to write"), std::string::npos) << r.err;
    EXPECT_FALSE(Exists(Folder() + "lines.3ds"));
    EXPECT_NE(r.err.find("Object not supported : l (500 times)\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": Object not supported : p\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no geometry or motion was found"), std::string::npos) << r.err;

    // A binary file under a text format's name: what reaches the terminal is printable, every
    // line carries the prefix.
    const std::string binary = Folder() + "binary.obj";
    // Control bytes, bytes of no UTF-8 character, a code point past U+10FFFF, and one good word.
    const char text[] =
        "\x01\x7f\xff\xfe\x1b[31m\xc3(\x80 x\n\x9b\x02\x03 y\n\xf4\x90\x80\x80 w\ncaf\xc3\xa9 z\n";
    WriteText(binary, std::string(text, sizeof text - 1));
    r = Convert(binary + " " + Folder() + "binary.3ds");
    std::istringstream err(r.err);
    for (std::string line; std::getline(err, line);) {
        EXPECT_EQ(line.rfind("oxa-convert: ", 0), 0u) << line;
        for (unsigned char c : line)
            EXPECT_TRUE(c >= 0x20 && c != 0x7f && c != 0xff && c != 0x9b) << line;
    }
    EXPECT_NE(r.err.find("\\x1b[31m"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\\xf4\\x90\\x80\\x80"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("caf\xc3\xa9"), std::string::npos) << r.err;

    // An OBJ cut short names its reason.
    const std::string cut = Folder() + "cut.obj";
    WriteText(cut, "v 0 0 0\nv 1 0 0\nv 0 1");
    r = Convert(cut + " " + Folder() + "cut.3ds");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cut.obj: File is corrupted"), std::string::npos) << r.err;
}

TEST(cli, InfoCountsMeshesAndTakes) {
    const std::string obj = Folder() + "tetra.obj";
    WriteText(obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4 1\n");
    Result r = Convert("--info " + obj);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("mesh: 4 control points, 4 polygons\n"), std::string::npos) << r.out;
    r = Convert("--info --json " + obj);
    EXPECT_NE(r.out.find("\"controlPoints\": 4, \"polygons\": 4"), std::string::npos) << r.out;

    const std::string bvh = MakeBvh("info.bvh", 120, 25);
    r = Convert("--info --json " + bvh);
    EXPECT_NE(r.out.find("\"name\": \"info\", \"start\": 0, \"stop\": 0.2, \"rate\": 120, \"frames\": 25"),
              std::string::npos)
        << r.out;
    // A take the reader keyed without options: its frames at the scene's rate, both ends counted.
    EXPECT_EQ(TakeOf(Example("scene.3ds"), "default take").frames, 61);
    EXPECT_EQ(TakeOf(Example("scene.3ds"), "Default").frames, 0);
    r = Convert("--info --json " + Example("scene.3ds"));
    EXPECT_NE(r.out.find("\"controlPoints\": 8, \"polygons\": 12"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"parent\": \"Model::RootNode\", \"depth\": 1"), std::string::npos) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\"materials\": \\[\"[^\"]+\", \"[^\"]+\"\\]"))) << r.out;

    // Meshes side by side under one group are markers, each mesh one marker; still ones give a
    // marker file no frame, which is refused.
    const std::string groups = Folder() + "groups.obj";
    WriteText(groups, "v 0 0 0\nv 1 0 0\nv 0 1 0\ng one\nf 1 2 3\ng two\nf 1 3 2\n");
    r = Convert(groups + " " + Folder() + "groups.trc");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("groups.trc: the scene's only take has no frames to write\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("no motion is written"), std::string::npos) << r.err;
}

}  // namespace

namespace {

// A 3DS chunk: its tag, its length with the six bytes of its header, then its data.
std::string Chunk(uint16_t tag, const std::string& data) {
    std::string chunk(6, '\0');
    const uint32_t length = (uint32_t)(data.size() + 6);
    chunk[0] = (char)(tag & 0xff);
    chunk[1] = (char)(tag >> 8);
    for (int k = 0; k < 4; ++k)
        chunk[2 + k] = (char)((length >> (8 * k)) & 0xff);
    return chunk + data;
}

std::string U16(uint16_t value) {
    return std::string{(char)(value & 0xff), (char)(value >> 8)};
}

std::string F32(float value) {
    std::string bytes(4, '\0');
    std::memcpy(&bytes[0], &value, 4);  // the test runs on a little-endian machine, as 3DS is
    return bytes;
}

// A 3DS file of one textured triangle named `node` whose material "mat" has the texture map `map`.
std::string TriangleWithMap(const std::string& node, const std::string& map) {
    std::string points = U16(3);
    for (float v : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f})
        points += F32(v);
    const std::string group = Chunk(0x4130, std::string("mat", 4) + U16(1) + U16(0));
    const std::string faces = Chunk(0x4120, U16(1) + U16(0) + U16(1) + U16(2) + U16(7) + group);
    std::string uvs = U16(3);
    for (float v : {0.f, 0.f, 1.f, 0.f, 0.f, 1.f})
        uvs += F32(v);
    const std::string mesh = Chunk(0x4100, Chunk(0x4110, points) + Chunk(0x4140, uvs) + faces);
    const std::string material =
        Chunk(0xafff, Chunk(0xa000, std::string("mat", 4)) + Chunk(0xa200, Chunk(0xa300, map + '\0')));
    return Chunk(0x4d4d, Chunk(0x0002, std::string("\x03\0\0\0", 4)) +
                             Chunk(0x3d3d, material + Chunk(0x4000, node + '\0' + mesh)));
}

}  // namespace

TEST(cli, NamesFromFilesCannotForgeLinesOrTurnTheText) {
    // A map name with a line break and a line of its own after it; a node name with a right-to-left
    // override that would show the rest of the line backwards.
    const std::string file = Folder() + "forged.3ds";
    WriteText(file, TriangleWithMap("box\xe2\x80\xae"
                                    "evil_long_name",
                                    "a.png\n"
                                    "newmtl X"));
    for (const char* out : {"forged.obj", "forged_out.3ds"}) {
        Result r = Convert(file + " " + Folder() + out);
        EXPECT_EQ(r.code, 0) << out << ": " << r.err;
        std::istringstream err(r.err);
        for (std::string line; std::getline(err, line);) {
            EXPECT_EQ(line.rfind("oxa-convert: ", 0), 0u) << out << ": " << line;
            EXPECT_EQ(line.find("oxa-convert: " + std::string(Folder()) + out + ": newmtl"),
                      std::string::npos)
                << line;
        }
        EXPECT_EQ(r.err.find("\xe2\x80\xae"), std::string::npos) << out << ": " << r.err;
    }
    Result r = Convert(file + " " + Folder() + "forged.obj");
    EXPECT_NE(r.err.find("a.png\\x0anewmtl X"), std::string::npos) << r.err;
    r = Convert(file + " " + Folder() + "forged_out.3ds");
    EXPECT_NE(r.err.find("box\\u202eevil_long_name"), std::string::npos) << r.err;

    r = Convert("--info " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("\xe2\x80\xae"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("box\\u202eevil_long_name ["), std::string::npos) << r.out;
    // JSON keeps the character, written as its escape.
    r = Convert("--info --json " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("\xe2\x80\xae"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Model::box\\u202eevil_long_name\""), std::string::npos) << r.out;
}

TEST(cli, ControlCharactersAndLineSeparatorsInNamesAreEscapedInJsonAndMessages) {
    // C1 controls (NEL, CSI) a terminal may act on, and a line separator.
    const std::string file = Folder() + "c1.3ds";
    WriteText(file, TriangleWithMap("a\xc2\x85" "b\xc2\x9b" "c\xe2\x80\xa8" "d", "m\xe2\x80\xa8" "x.png"));
    Result r = Convert("--info --json " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* raw : {"\xc2\x85", "\xc2\x9b", "\xe2\x80\xa8"})
        EXPECT_EQ(r.out.find(raw), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"Model::a\\u0085b\\u009bc\\u2028d\""), std::string::npos) << r.out;
    r = Convert("--info " + file);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("\xe2\x80\xa8"), std::string::npos) << r.out;
    // The missing map is named in a warning.
    r = Convert(file + " " + Folder() + "c1.obj");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("m\\u2028x.png"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\xe2\x80\xa8"), std::string::npos) << r.err;
}

TEST(cli, TheTakeAConversionWritesIsMarkedAndAnEmptyOneWarned) {
    // walk.bvh holds the empty Default take and its motion, "walk", which is current.
    const std::string bvh = Example("walk.bvh");
    Result r = Convert("--info " + bvh);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("  Default: 0 s to 0 s, 30 frames per second, 0 frames\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("61 frames (a conversion writes this take)\n"), std::string::npos) << r.out;
    r = Convert("--info --take Default " + bvh);
    EXPECT_NE(r.out.find("0 frames (a conversion writes this take)\n"), std::string::npos) << r.out;
    r = Convert("--info --json " + bvh);
    EXPECT_NE(r.out.find("\"frames\": 0, \"converted\": false}"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"frames\": 61, \"converted\": true}"), std::string::npos) << r.out;

    // Writing the empty take is done, with a warning; the motion take is written without one.
    const std::string out = Folder() + "empty_take.htr";
    r = Convert(bvh + " " + out + " --take Default");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "oxa-convert: " + out + ": the take \"Default\" has no frames: no motion is written\n");
    for (const std::string& args : {bvh + " " + out, bvh + " " + out + " --take walk"}) {
        r = Convert(args);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err.find("no frames"), std::string::npos) << r.err;
    }
}

TEST(cli, VersionInTheGnuForm) {
    const std::string expected = std::string("oxa-convert (OXA scene toolkit) ") + OXA_VERSION_STRING + "\n";
    EXPECT_TRUE(std::regex_match(
        expected, std::regex("oxa-convert \\(OXA scene toolkit\\) [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << expected;
    // Alone, or among other words: the version is the answer, and nothing is read or written.
    for (const char* args : {"--version", "--info --version nothing.bvh", "a.bvh --version b.trc"}) {
        Result r = Convert(args);
        EXPECT_EQ(r.code, 0) << args << ": " << r.err;
        EXPECT_EQ(r.out, expected) << args;
        EXPECT_EQ(r.err, "") << args;
    }
    EXPECT_NE(Convert("--help").out.find("--version"), std::string::npos);
    // Every option is checked first: a line with a mistake in it is no request for the version.
    for (const char* args : {"--bogus --version", "--version --frame-rate abc", "--version --take"}) {
        Result r = Convert(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(r.out, "") << args;
    }
}
