// BVH joints with any set of channels (positions alone, one rotation, positions on a child, any
// order), and rotations near the pole of the XYZ angles the reader keeps: read, written and read
// again, judged by joint positions worked out here from the file's text.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "formats/motion/bvh/voxa_file_biovision.h"
#include "formats/motion/bvh/voxa_writer_biovision.h"
#include "tests/formats/motion/bvh/bvh_test_util.h"

using namespace bvhtest;

namespace {

// A BVH text parsed on its own terms: joints (end sites too) with their parent, offset and
// channels, and the motion lines.
struct Text {
    struct Joint {
        int parent = -1;
        double offset[3] = {0, 0, 0};
        std::vector<std::string> channels;
    };
    std::vector<Joint> joints;
    std::vector<std::vector<double>> frames;
};

Text Parse(const std::string& text) {
    Text out;
    std::istringstream in(text);
    std::vector<int> open;
    int pending = -1;
    std::string word;
    while (in >> word && word != "MOTION") {
        if (word == "ROOT" || word == "JOINT" || word == "End") {
            std::string name;
            in >> name;
            out.joints.push_back({});
            out.joints.back().parent = open.empty() ? -1 : open.back();
            pending = (int)out.joints.size() - 1;
        } else if (word == "{") {
            open.push_back(pending);
        } else if (word == "}") {
            open.pop_back();
        } else if (word == "OFFSET") {
            Text::Joint& j = out.joints[(size_t)open.back()];
            in >> j.offset[0] >> j.offset[1] >> j.offset[2];
        } else if (word == "CHANNELS") {
            int n = 0;
            in >> n;
            for (int c = 0; c < n; ++c) {
                in >> word;
                out.joints[(size_t)open.back()].channels.push_back(word);
            }
        }
    }
    std::string line;
    while (std::getline(in, line) && line.find("Frame Time:") == std::string::npos) {
    }
    while (std::getline(in, line)) {
        std::istringstream numbers(line);
        std::vector<double> values;
        for (double v; numbers >> v;)
            values.push_back(v);
        if (!values.empty()) out.frames.push_back(values);
    }
    return out;
}

struct Point {
    double p[3];
};

// Every joint's place in the world at `frame`: a joint stands at its offset, each position channel
// setting its component; its rotation channels turn it, the last one first; a child's place is
// its translation turned by its parent's rotation, from the parent's place.
std::vector<Point> Places(const Text& text, int frame) {
    std::vector<Point> places(text.joints.size());
    std::vector<R3> turns(text.joints.size(), Identity());
    size_t column = 0;
    const std::vector<double>& values = text.frames[(size_t)frame];
    for (size_t k = 0; k < text.joints.size(); ++k) {
        const Text::Joint& joint = text.joints[k];
        double t[3] = {joint.offset[0], joint.offset[1], joint.offset[2]};
        R3 local = Identity();
        for (const std::string& channel : joint.channels) {
            const double v = values[column++];
            const int axis = channel[0] - 'X';
            if (channel.find("position") != std::string::npos)
                t[axis] = v;
            else
                local = Mul(Turn(axis, v), local);
        }
        if (joint.parent < 0) {
            turns[k] = local;
            for (int a = 0; a < 3; ++a)
                places[k].p[a] = t[a];
            continue;
        }
        const R3& up = turns[(size_t)joint.parent];
        turns[k] = Mul(local, up);
        for (int a = 0; a < 3; ++a)
            places[k].p[a] =
                places[(size_t)joint.parent].p[a] + t[0] * up.m[0][a] + t[1] * up.m[1][a] + t[2] * up.m[2][a];
    }
    return places;
}

// A root, a child and a grandchild with an end site; the root's and the child's channels as
// given; frame f's values move every position and turn every rotation differently.
std::string Skeleton(const std::string& rootChannels, const std::string& childChannels, int frames) {
    auto count = [](const std::string& list) {
        std::istringstream words(list);
        int n = 0;
        for (std::string w; words >> w;)
            ++n;
        return n;
    };
    const int rootCount = count(rootChannels), childCount = count(childChannels);
    std::ostringstream out;
    out << "HIERARCHY\nROOT Hips\n{\n  OFFSET 1 2 3\n  CHANNELS " << rootCount << " " << rootChannels
        << "\n  JOINT Spine\n  {\n    OFFSET 0 10 0\n    CHANNELS " << childCount << " " << childChannels
        << "\n    JOINT Head\n    {\n      OFFSET 0 8 1\n      CHANNELS 3 Zrotation Xrotation Yrotation\n"
           "      End Site\n      {\n        OFFSET 0 5 0\n      }\n    }\n  }\n}\n"
        << "MOTION\nFrames: " << frames << "\nFrame Time: 0.0333333\n";
    for (int f = 0; f < frames; ++f) {
        int k = 0;
        for (const std::string* list : {&rootChannels, &childChannels}) {
            std::istringstream words(*list);
            for (std::string w; words >> w; ++k)
                out << (w.find("position") != std::string::npos ? 5.0 + 3.0 * f + k : 7.0 * f + 11.0 * k - 20)
                    << " ";
        }
        out << 4.0 * f << " " << -3.0 * f << " " << 2.0 * f << "\n";
    }
    return out.str();
}

class bvh_Layouts : public Fixture {
protected:
    bool Write(const std::string& path, int frames, std::string* error) {
        VOxaWriterBiovision writer(mManager);
        if (!writer.FileCreate(path.c_str())) return false;
        std::unique_ptr<VStreamOptions> options(writer.GetWriteOptions());
        auto* motion = static_cast<VStreamOptionsMotion*>(options.get());
        motion->SetTimeMode(0, 30.0);
        motion->SetFrameCount(frames);
        const bool ok = writer.Write(mScene, options.get());
        *error = writer.GetError().GetLastErrorString().Buffer();
        return writer.FileClose() && ok;
    }

    // Reads `text`, writes it, reads the written file again, and checks that every joint and end
    // site stands where the file's own values put it, in every frame of both files.
    void Trip(const std::string& name, const std::string& text, int frames, double tolerance) {
        SCOPED_TRACE(name);
        delete mManager;
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
        std::string error;
        ASSERT_TRUE(ReadText(name + ".bvh", text, &error)) << error;
        Node("Hips")->SetMarked(1);
        const std::string path = TempPath(name + "_out.bvh");
        ASSERT_TRUE(Write(path, frames, &error)) << error;
        const std::string written = ReadFile(path);
        const Text a = Parse(text), b = Parse(written);
        ASSERT_EQ(a.joints.size(), b.joints.size());
        ASSERT_EQ((int)b.frames.size(), frames);
        for (int f = 0; f < frames; ++f) {
            const std::vector<Point> pa = Places(a, f), pb = Places(b, f);
            for (size_t k = 0; k < pa.size(); ++k)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(pa[k].p[c], pb[k].p[c], tolerance)
                        << "frame " << f << " joint " << k << " axis " << c;
        }
        // The written file reads back with the same places.
        delete mManager;
        mManager = VOxaSdkManager::Create();
        mScene = mManager->CreateScene();
        ASSERT_TRUE(ReadPath(path, &error)) << error;
        Node("Hips")->SetMarked(1);
        const std::string again = TempPath(name + "_again.bvh");
        ASSERT_TRUE(Write(again, frames, &error)) << error;
        const Text c = Parse(ReadFile(again));
        for (int f = 0; f < frames; ++f) {
            const std::vector<Point> pa = Places(a, f), pc = Places(c, f);
            for (size_t k = 0; k < pa.size(); ++k)
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_NEAR(pa[k].p[axis], pc[k].p[axis], tolerance) << "second trip, frame " << f;
        }
    }
};

}  // namespace

TEST_F(bvh_Layouts, EveryChannelSetKeepsItsValues) {
    FilterSettings settings(2, false);
    const std::string rotations = "Zrotation Xrotation Yrotation";
    struct Case {
        const char* name;
        std::string root, child;
    };
    const Case cases[] = {
        {"root_positions_only", "Xposition Yposition Zposition", rotations},
        {"root_positions_one_rotation", "Xposition Yposition Zposition Yrotation", rotations},
        {"root_one_position", "Yposition", rotations},
        {"root_positions_last", "Yrotation Zposition Xrotation Xposition Zrotation Yposition", rotations},
        {"child_positions_only", "Xposition Yposition Zposition " + rotations,
         "Xposition Yposition Zposition"},
        {"child_position_and_rotation", "Xposition Yposition Zposition " + rotations, "Zposition Xrotation"},
        {"child_six", "Xposition Yposition Zposition " + rotations,
         "Yrotation Xposition Zrotation Yposition Zposition Xrotation"},
    };
    for (const Case& c : cases)
        Trip(c.name, Skeleton(c.root, c.child, 5), 5, 2e-4);
}

TEST_F(bvh_Layouts, PositionChannelsKeyTheirComponentsAndTheOffsetTheRest) {
    FilterSettings settings(0, false);
    // The root has Y only, the child Z and a rotation: the other components stay at the offsets
    // (1, 2, 3) and (0, 10, 0) in every key.
    ASSERT_TRUE(ReadText("partial.bvh", Skeleton("Yposition", "Zposition Xrotation", 3)));
    VOxaNode* hips = Node("Hips");
    VOxaNode* spine = Node("Spine");
    ASSERT_NE(hips, nullptr);
    ASSERT_NE(spine, nullptr);
    for (int f = 0; f < 3; ++f) {
        const float hipsExpected[3] = {1.0f, (float)(5.0 + 3.0 * f + 0), 3.0f};
        const float spineExpected[3] = {0.0f, 10.0f, (float)(5.0 + 3.0 * f + 1)};
        for (int a = 0; a < 3; ++a) {
            VFCurve* h = Curve(hips, "T", a);
            VFCurve* s = Curve(spine, "T", a);
            ASSERT_TRUE(h && s);
            ASSERT_EQ(h->KeyGetCount(), 3) << a;
            ASSERT_EQ(s->KeyGetCount(), 3) << a;
            EXPECT_EQ(h->KeyGetValue(f), hipsExpected[a]) << "frame " << f << " axis " << a;
            EXPECT_EQ(s->KeyGetValue(f), spineExpected[a]) << "frame " << f << " axis " << a;
        }
        // The child's one rotation: about X by its value.
        EXPECT_NEAR(Curve(spine, "R", 0)->KeyGetValue(f), 7.0 * f + 11.0 * 2 - 20, 1e-5);
    }
}

// Where the middle XYZ angle lies a few hundredths of a degree from +-90 the angles stay those of
// the very orientation: nothing is rounded to the pole.
TEST_F(bvh_Layouts, RotationsNearThePoleKeepTheirOrientation) {
    FilterSettings settings(2, false);
    // Z X Y channel values whose XYZ angles lie near the pole (X near 0, Y near -90).
    const double near[][3] = {
        {12.5, -0.008296, -90.0786}, {0, 0.03, 89.95}, {-40, 0.001, -89.999}, {170, -0.02, 90.04}};
    const int zxy[3] = {2, 0, 1};
    for (const auto& values : near) {
        BvhJoint joint;
        joint.mChannelCount = 3;
        joint.mChannels[0] = BvhJoint::eZROTATION;
        joint.mChannels[1] = BvhJoint::eXROTATION;
        joint.mChannels[2] = BvhJoint::eYROTATION;
        joint.ComputeFrame(values);
        const R3 got = FromXYZ(joint.mRotation[0], joint.mRotation[1], joint.mRotation[2]);
        EXPECT_LT(MaxDifference(got, FromChannels(zxy, values, 3)), 1e-12) << values[1] << " " << values[2];
    }
    // An exact pole still has one answer for the same orientation.
    for (const double y : {90.0, -90.0}) {
        BvhJoint joint;
        joint.mChannelCount = 3;
        joint.mChannels[0] = BvhJoint::eZROTATION;
        joint.mChannels[1] = BvhJoint::eXROTATION;
        joint.mChannels[2] = BvhJoint::eYROTATION;
        const double values[3] = {25, 0, y};
        joint.ComputeFrame(values);
        EXPECT_TRUE(std::isfinite(joint.mRotation[0]) && std::isfinite(joint.mRotation[2]));
        const R3 got = FromXYZ(joint.mRotation[0], joint.mRotation[1], joint.mRotation[2]);
        EXPECT_LT(MaxDifference(got, FromChannels(zxy, values, 3)), 1e-9) << y;
    }

    // Through the reader and the writer: the written values are the read ones, and a bone aimed a
    // few hundredths of a degree off the Z axis keeps its end site.
    const std::string text =
        "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n  CHANNELS 6 Xposition Yposition Zposition Zrotation "
        "Xrotation Yrotation\n  JOINT Arm\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation "
        "Yrotation\n"
        "    End Site\n    {\n      OFFSET 0.0157 0 30\n    }\n  }\n}\nMOTION\nFrames: 2\nFrame Time: "
        "0.0333333\n"
        "0 0 0 0 0 0 12.5 -0.008296 -90.0786\n"
        "0 0 0 0 0 0 -3 0.01 89.96\n";
    ASSERT_TRUE(ReadText("pole.bvh", text));
    Node("Hips")->SetMarked(1);
    const std::string path = TempPath("pole_out.bvh");
    std::string error;
    ASSERT_TRUE(Write(path, 2, &error)) << error;
    const Text written = Parse(ReadFile(path));
    ASSERT_EQ(written.frames.size(), 2u);
    const double expected[2][3] = {{12.5, -0.008296, -90.0786}, {-3, 0.01, 89.96}};
    for (int f = 0; f < 2; ++f)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(written.frames[(size_t)f][6 + (size_t)k], expected[f][k], 2e-4) << "frame " << f;
    // Without its end-site node the arm's end is made from the bone the reader kept in its limits.
    mManager->DestroyNode(Node("Arm_End"));
    ASSERT_TRUE(Write(path, 2, &error)) << error;
    const Text leaf = Parse(ReadFile(path));
    ASSERT_EQ(leaf.joints.size(), 3u);
    EXPECT_NEAR(leaf.joints[2].offset[0], 0.0157, 1e-5);
    EXPECT_NEAR(leaf.joints[2].offset[1], 0.0, 1e-5);
    EXPECT_NEAR(leaf.joints[2].offset[2], 30.0, 1e-5);
}
