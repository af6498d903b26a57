// Runs oxa-convert on the shipped samples and on files it writes itself.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string Folder() {
    static const std::string folder = [] {
        std::string path = ::testing::TempDir() + "cli_" + std::to_string(getpid());
        mkdir(path.c_str(), 0700);
        return path + "/";
    }();
    return folder;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

Result Convert(const std::string& arguments) {
    const std::string out = Folder() + "stdout.txt", err = Folder() + "stderr.txt";
    const std::string command = std::string(OXA_CONVERT_PATH) + " " + arguments + " >" + out + " 2>" + err;
    Result result;
    const int status = std::system(command.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
}

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
        if (std::string(to) != "asf")
            EXPECT_GT(info.keys.count("Spine") ? info.keys.at("Spine") : 0, 0) << to;
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
    // Help and incomplete options are usage errors; the usage goes to standard error.
    Result r = Convert("--help");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("usage: oxa-convert"), std::string::npos);
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

}  // namespace
