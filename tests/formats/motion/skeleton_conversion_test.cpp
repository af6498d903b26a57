// A skeleton whose bones carry axis angles, as capture skeletons do, moved between BVH, HTR and
// ASF/AMC files: every joint must stay where the ASF/AMC rules put it, at every frame, whichever
// format it came from and went to. The reference positions are computed here from those rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/formats/motion/htr/htr_test_util.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCentimetresPerInch = 2.54;
constexpr int kFrames = 90;
constexpr double kRate = 30.0;

// ---- the reference: 3x3 rotations in row-vector form (a point p turns to p x M) ----

struct Mat {
    double m[3][3];
};
struct Vec {
    double v[3];
};

Mat Multiply(const Mat& a, const Mat& b) {
    Mat out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                out.m[r][c] += a.m[r][k] * b.m[k][c];
    return out;
}

Mat Transpose(const Mat& a) {
    Mat out{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out.m[r][c] = a.m[c][r];
    return out;
}

Vec Apply(const Vec& p, const Mat& a) {
    Vec out{};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            out.v[c] += p.v[k] * a.m[k][c];
    return out;
}

Vec Add(const Vec& a, const Vec& b) {
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2]}};
}

// A turn of `degrees` about axis 0 (x), 1 (y) or 2 (z).
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

// Angles about x, then y, then z: the ASF "axis ... XYZ" and the AMC "rx ry rz" order.
Mat TurnXYZ(const double angles[3]) {
    return Multiply(Multiply(Turn(0, angles[0]), Turn(1, angles[1])), Turn(2, angles[2]));
}

// ---- the skeleton: lengths in inches (ASF length unit 1), angles in degrees ----

struct Bone {
    const char* name;
    const char* parent;
    double direction[3];
    double length;
    double axis[3];
};

const double kSin20 = std::sin(20.0 * kPi / 180.0), kCos20 = std::cos(20.0 * kPi / 180.0);

// Toes whose axis frame is turned about all three axes and that point straight down that frame's
// Y axis: the direction (0, -1, 0) turned by the axis, as capture skeletons have toes and fingers.
const double kToesAxis[3] = {30, 40, 50};
const Vec kToesDown = Apply({{0, -1, 0}}, TurnXYZ(kToesAxis));

// Parents before children.
const Bone kBones[] = {
    {"spine", "root", {0, 1, 0}, 6.0, {5, 0, 0}},
    {"neck", "spine", {0, 1, 0}, 3.0, {5, 0, 0}},
    {"lhumerus", "spine", {1, 0, 0}, 5.0, {0, 0, -90}},
    {"lradius", "lhumerus", {1, 0, 0}, 4.0, {0, 0, -90}},
    {"rhumerus", "spine", {-1, 0, 0}, 5.0, {0, 0, 90}},
    {"lfemur", "root", {kSin20, -kCos20, 0}, 7.0, {0, 0, 20}},
    {"ltibia", "lfemur", {0, -1, 0}, 7.0, {0, 0, 20}},
    {"ltoes", "ltibia", {kToesDown.v[0], kToesDown.v[1], kToesDown.v[2]}, 2.0, {30, 40, 50}},
    {"rfemur", "root", {-kSin20, -kCos20, 0}, 7.0, {0, 0, -20}},
    {"rtibia", "rfemur", {0, -1, 0}, 7.0, {0, 0, -20}},
};
constexpr int kBoneCount = sizeof kBones / sizeof kBones[0];

// A root placed by its position (inches) and turned by its orientation about its axis letters.
struct RootPreset {
    double position[3], orientation[3];
    bool zyx;
} const kNoPreset{};

bool IsLeaf(int b) {
    for (const Bone& other : kBones)
        if (std::string(other.parent) == kBones[b].name) return false;
    return true;
}

// The AMC values of frame f: the root's translation (inches) and rotation, each bone's rotation.
void RootValues(int f, double t[3], double r[3]) {
    const double s = (double)f / (kFrames - 1);
    t[0] = 20.0 * s;
    t[1] = 35.0 + 2.0 * std::sin(2 * kPi * s);
    t[2] = 10.0 * std::sin(kPi * s);
    r[0] = 10.0 * std::sin(2 * kPi * s);
    r[1] = 130.0 * s;  // a turn through 90 degrees
    r[2] = 15.0 * std::sin(kPi * s);
}

void BoneValues(int b, int f, double r[3]) {
    const double s = (double)f / (kFrames - 1);
    r[0] = 30.0 * std::sin(2 * kPi * s + b);
    r[1] = 25.0 * std::sin(4 * kPi * s + 0.5 * b);
    r[2] = 35.0 * std::sin(2 * kPi * s + 1.3 * b);
}

using Positions = std::map<std::string, Vec>;  // joint name -> world position, centimetres

// The ASF/AMC forward kinematics: a bone's world turn is W = A^-1 x M x A x W(parent), with A
// the bone's axis frame and M its motion; it starts where its parent ends, and its end lies
// direction x length turned by W further on. The root has the identity axis and no length.
std::vector<Positions> ReferencePositions(const RootPreset& root = kNoPreset) {
    std::vector<Positions> frames(kFrames);
    for (int f = 0; f < kFrames; ++f) {
        std::map<std::string, Mat> world;
        std::map<std::string, Vec> start, end;
        double t[3], r[3];
        RootValues(f, t, r);
        const double* o = root.orientation;
        const Mat axis =
            root.zyx ? Multiply(Multiply(Turn(2, o[2]), Turn(1, o[1])), Turn(0, o[0])) : TurnXYZ(o);
        world["root"] = Multiply(Multiply(Transpose(axis), TurnXYZ(r)), axis);
        start["root"] = end["root"] =
            Add({{t[0], t[1], t[2]}}, {{root.position[0], root.position[1], root.position[2]}});
        for (int b = 0; b < kBoneCount; ++b) {
            const Bone& bone = kBones[b];
            double values[3];
            BoneValues(b, f, values);
            const Mat axis = TurnXYZ(bone.axis);
            const Mat w =
                Multiply(Multiply(Multiply(Transpose(axis), TurnXYZ(values)), axis), world[bone.parent]);
            world[bone.name] = w;
            start[bone.name] = end[bone.parent];
            const Vec offset{{bone.direction[0] * bone.length, bone.direction[1] * bone.length,
                              bone.direction[2] * bone.length}};
            end[bone.name] = Add(start[bone.name], Apply(offset, w));
        }
        Positions& positions = frames[(size_t)f];
        for (const auto& entry : start)
            positions[entry.first] = entry.second;
        for (int b = 0; b < kBoneCount; ++b)
            if (IsLeaf(b)) positions[std::string(kBones[b].name) + "_End"] = end[kBones[b].name];
        for (auto& entry : positions)
            for (double& x : entry.second.v)
                x *= kCentimetresPerInch;
    }
    return frames;
}

// Angles in degrees, or in radians (":units angle rad").
std::string AsfText(bool radians = false, const RootPreset& root = kNoPreset) {
    const double unit = radians ? kPi / 180.0 : 1.0;
    std::ostringstream out;
    out.precision(17);
    out << ":version 1.10\n:name figure\n:units\n  mass 1.0\n  length 1.0\n  angle "
        << (radians ? "rad" : "deg") << "\n"
        << ":documentation\n  axis angles as capture skeletons have them\n"
        << ":root\n  order TX TY TZ RX RY RZ\n  axis " << (root.zyx ? "ZYX" : "XYZ") << "\n  position "
        << root.position[0] << " " << root.position[1] << " " << root.position[2] << "\n  orientation "
        << root.orientation[0] * unit << " " << root.orientation[1] * unit << " "
        << root.orientation[2] * unit << "\n:bonedata\n";
    for (int b = 0; b < kBoneCount; ++b) {
        const Bone& bone = kBones[b];
        out << "  begin\n    id " << b + 1 << "\n    name " << bone.name << "\n    direction "
            << bone.direction[0] << " " << bone.direction[1] << " " << bone.direction[2] << "\n    length "
            << bone.length << "\n    axis " << bone.axis[0] * unit << " " << bone.axis[1] * unit << " "
            << bone.axis[2] * unit << " XYZ\n    dof rx ry rz\n    limits (" << -180 * unit << " "
            << 180 * unit << ")\n      (" << -180 * unit << " " << 180 * unit << ")\n      (" << -180 * unit
            << " " << 180 * unit << ")\n"
            << "  end\n";
    }
    out << ":hierarchy\n  begin\n";
    std::vector<std::string> parents{"root"};
    for (const Bone& bone : kBones)
        if (std::find(parents.begin(), parents.end(), bone.parent) == parents.end())
            parents.push_back(bone.parent);
    for (const std::string& parent : parents) {
        out << "    " << parent;
        for (const Bone& bone : kBones)
            if (parent == bone.parent) out << " " << bone.name;
        out << "\n";
    }
    out << "  end\n";
    return out.str();
}

// Angles in radians with `radians`, and `unitLine` (":DEGREES", ":RADIANS" or "") in the header.
std::string AmcText(bool radians = false, const char* unitLine = ":DEGREES") {
    const double unit = radians ? kPi / 180.0 : 1.0;
    std::ostringstream out;
    out.precision(12);
    out << ":FULLY-SPECIFIED\n" << unitLine << "\n:SAMPLES-PER-SECOND " << kRate << "\n";
    for (int f = 0; f < kFrames; ++f) {
        double t[3], r[3];
        RootValues(f, t, r);
        out << f + 1 << "\nroot " << t[0] << " " << t[1] << " " << t[2] << " " << r[0] * unit << " "
            << r[1] * unit << " " << r[2] * unit << "\n";
        for (int b = 0; b < kBoneCount; ++b) {
            BoneValues(b, f, r);
            out << kBones[b].name << " " << r[0] * unit << " " << r[1] * unit << " " << r[2] * unit << "\n";
        }
    }
    return out.str();
}

// ---- the toolkit, driven as the conversion program drives it ----

std::string TempPath(const std::string& name) {
    return htr_test::TempPath("skeleton_" + name);
}

std::string Stem(const std::string& path) {
    return path.substr(0, path.size() - std::string(VOxaGetFileExtension(path.c_str())).size());
}

bool IsAmc(const std::string& path) {
    return std::string(VOxaGetFileExtension(path.c_str())) == "amc";
}

VStreamOptionsMotion* AsMotion(VStreamOptions* options) {
    return options && options->IsA(VStreamOptionsMotion::ClassId)
               ? static_cast<VStreamOptionsMotion*>(options)
               : nullptr;
}

// One scene read from a file (an AMC file with the ASF file of its stem).
class Loaded {
public:
    Loaded() : mManager(VOxaSdkManager::Create()), mScene(mManager->CreateScene()) {}
    ~Loaded() {
        for (VStreamOptions* options : mKept)
            options->Destroy();
        delete mManager;
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;

    bool Read(const std::string& path) {
        VPlug* skeleton = nullptr;
        if (IsAmc(path)) {
            VStreamOptionsMotion* asf = Import(Stem(path) + "asf", nullptr);
            skeleton = asf ? asf->GetAttachedObject() : nullptr;
            if (!skeleton) return false;
        }
        mOptions = Import(path, skeleton);
        return mOptions != nullptr;
    }

    // Writes the scene to `path` (an AMC file with the ASF file of its stem), at the rate and over
    // the frames it was read with, with the option "Translation" set to `translation` (0: the
    // root's translation only).
    bool Write(const std::string& path, int translation = 0) {
        MarkSkeleton();
        mTranslation = translation;
        if (!IsAmc(path)) return Export(path, nullptr, false);
        if (!Export(Stem(path) + "asf", nullptr, true)) return false;
        // The ASF writer leaves the skeleton it built for the AMC writer in its options.
        VStreamOptionsMotion* asf = AsMotion(mKept.back());
        return asf && asf->GetAttachedObject() && Export(path, asf->GetAttachedObject(), false);
    }

    // The world positions of the named joints at every frame read; a joint not found is missing.
    std::vector<Positions> Sample(const Positions& names) {
        std::vector<Positions> frames;
        if (!mOptions) return frames;
        VTime time = mOptions->GetStartTime();
        for (int f = 0; f < mOptions->GetFrameCount(); ++f, time += mOptions->GetFramePeriod()) {
            Positions positions;
            for (const auto& entry : names) {
                VOxaNode* node = mScene->GetRootNode()->FindChild(entry.first.c_str(), true);
                if (!node) continue;
                const VgeAMatrix& global = node->EvaluateGlobalTransform(time);
                positions[entry.first] = {{global.mData[3][0], global.mData[3][1], global.mData[3][2]}};
            }
            frames.push_back(positions);
        }
        return frames;
    }

private:
    VStreamOptionsMotion* Import(const std::string& path, VPlug* skeleton) {
        VOxaImporter* importer = mManager->CreateImporter();
        if (!importer || !importer->Initialize(path.c_str())) {
            ADD_FAILURE() << path << ": "
                          << (importer ? importer->GetError().GetLastErrorString().Buffer() : "");
            return nullptr;
        }
        VStreamOptionsMotion* options = AsMotion(importer->GetReadOptions());
        if (!options) {
            ADD_FAILURE() << path << ": no motion options";
            return nullptr;
        }
        mKept.push_back(options);
        if (skeleton) options->SetAttachedObject(skeleton, false);
        if (!importer->Import(mScene, options)) {
            ADD_FAILURE() << path << ": " << importer->GetError().GetLastErrorString().Buffer();
            return nullptr;
        }
        return options;
    }

    bool Export(const std::string& path, VPlug* skeleton, bool keep) {
        VOxaExporter* exporter = mManager->CreateExporter();
        const int format = VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()));
        if (!exporter || !exporter->Initialize(path.c_str()) || !exporter->SetFileFormat(format)) {
            ADD_FAILURE() << path << ": no writer";
            return false;
        }
        VStreamOptionsMotion* options = AsMotion(exporter->GetWriteOptions());
        if (!options || !mOptions) return false;
        if (mOptions->IsCustomFrameRate())
            options->SetTimeMode(0, mOptions->GetFrameRate());
        else
            options->SetTimeMode(mOptions->GetTimeMode());
        options->SetStartTime(mOptions->GetStartTime());
        options->SetFrameCount(mOptions->GetFrameCount());
        options->SetOption(VStreamOptionsMotion::eTRANSLATION, mTranslation);
        if (skeleton) options->SetAttachedObject(skeleton, false);
        const bool ok = exporter->Export(mScene, options);
        if (!ok) ADD_FAILURE() << path << ": " << exporter->GetError().GetLastErrorString().Buffer();
        if (ok && keep)
            mKept.push_back(options);
        else
            options->Destroy();
        return ok;
    }

    // The writers start from the marked nodes; readers mark none. The skeleton's nodes are marked,
    // the reference node above them is not.
    void MarkSkeleton() {
        std::vector<VOxaNode*> stack{mScene->GetRootNode()};
        while (!stack.empty()) {
            VOxaNode* node = stack.back();
            stack.pop_back();
            if (node != mScene->GetRootNode() && node->GetNodeAttribute()) node->SetMarked(1);
            for (int k = 0; k < node->GetChildCount(); ++k)
                stack.push_back(node->GetChild(k));
        }
    }

    VOxaSdkManager* mManager;
    VOxaScene* mScene;
    VStreamOptionsMotion* mOptions = nullptr;
    std::vector<VStreamOptions*> mKept;
    int mTranslation = 0;
};

// The largest distance between two joints of the first frame.
double FigureSize(const Positions& positions) {
    double size = 0.0;
    for (const auto& a : positions)
        for (const auto& b : positions) {
            double d = 0.0;
            for (int k = 0; k < 3; ++k)
                d += (a.second.v[k] - b.second.v[k]) * (a.second.v[k] - b.second.v[k]);
            size = std::max(size, std::sqrt(d));
        }
    return size;
}

bool IsEndSite(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, "_End") == 0;
}

// Compares the joints of `file`, read by the toolkit, with the reference at every frame: the
// largest distance found, and the joint and frame where it was found, for the failure message.
// End sites are left out when `withEnds` is false.
void ExpectPositions(const std::string& file, const std::vector<Positions>& reference, bool withEnds,
                     const std::string& what) {
    Loaded loaded;
    ASSERT_TRUE(loaded.Read(file)) << what;
    const std::vector<Positions> got = loaded.Sample(reference[0]);
    ASSERT_EQ(got.size(), reference.size()) << what;
    const double tolerance = 1e-4 * FigureSize(reference[0]);
    double worst = 0.0;
    std::string where;
    for (size_t f = 0; f < reference.size(); ++f) {
        for (const auto& entry : reference[f]) {
            if (!withEnds && IsEndSite(entry.first)) continue;
            auto found = got[f].find(entry.first);
            if (found == got[f].end()) {
                ADD_FAILURE() << what << ": no joint " << entry.first;
                return;
            }
            double d = 0.0;
            for (int k = 0; k < 3; ++k)
                d += (found->second.v[k] - entry.second.v[k]) * (found->second.v[k] - entry.second.v[k]);
            if (std::sqrt(d) > worst) {
                worst = std::sqrt(d);
                where = entry.first + " at frame " + std::to_string(f);
            }
        }
    }
    EXPECT_LE(worst, tolerance) << what << ": " << where << " is " << worst << " cm away (figure "
                                << FigureSize(reference[0]) << " cm)";
}

// Writes the ASF/AMC source, and from it the BVH and HTR sources through the toolkit.
std::map<std::string, std::string> MakeSources(const std::string& tag) {
    std::map<std::string, std::string> sources;
    const std::string amc = TempPath(tag + "_source.amc");
    htr_test::WriteFile("skeleton_" + tag + "_source.asf", AsfText());
    htr_test::WriteFile("skeleton_" + tag + "_source.amc", AmcText());
    sources["amc"] = amc;
    for (const char* extension : {"bvh", "htr"}) {
        const std::string path = TempPath(tag + "_source." + extension);
        Loaded loaded;
        if (!loaded.Read(amc) || !loaded.Write(path)) return {};
        sources[extension] = path;
    }
    return sources;
}

// Reads `from` once and writes each file of `to` from that reading (use under
// ASSERT_NO_FATAL_FAILURE: a failed read or write ends the test).
void ConvertFile(const std::string& from, std::initializer_list<std::string> to) {
    Loaded loaded;
    ASSERT_TRUE(loaded.Read(from)) << from;
    for (const std::string& path : to)
        ASSERT_TRUE(loaded.Write(path)) << path;
}

class SkeletonConversion : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { htr_test::UseSettings(GetParam()); }
    void TearDown() override { htr_test::UseSettings(nullptr); }
};

// Every source format to every target format, each file read back by the toolkit. The HTR
// reader may turn its segments' frames (the "MinimizeRotationOffset" setting): the positions
// must not depend on it.
TEST_P(SkeletonConversion, EveryJointKeepsItsPlaceBetweenEveryPairOfFormats) {
    const std::string tag = GetParam() ? GetParam() : "default";
    const std::vector<Positions> reference = ReferencePositions();
    ASSERT_EQ(reference[0].size(), (size_t)kBoneCount + 1 + 5) << "root, bones and five end sites";
    const std::map<std::string, std::string> sources = MakeSources(tag);
    ASSERT_EQ(sources.size(), 3u);
    // The HTR source gives the arm its axis angle as base rotation (Tx Ty Tz Rx Ry Rz length).
    std::istringstream htr(htr_test::ReadFile(sources.at("htr")));
    std::string name, line;
    double base[7] = {};
    while (std::getline(htr, line) && line != "[BasePosition]") {
    }
    while (name != "lhumerus" && std::getline(htr, line)) {
        std::istringstream fields(line);
        fields >> name;
        for (double& value : base)
            fields >> value;
    }
    ASSERT_EQ(name, "lhumerus");
    EXPECT_NEAR(std::fabs(base[5]), 90.0, 1e-3) << "the upper arm turns a quarter about Z";
    for (const auto& source : sources) {
        ExpectPositions(source.second, reference, true, source.first + " source");
        // The skeleton writers with and without every joint's translation written.
        for (int translation : {0, 1}) {
            for (const std::string target : {"bvh", "htr", "amc"}) {
                const std::string what =
                    source.first + " -> " + target + (translation ? " with every translation" : "");
                const std::string path =
                    TempPath(tag + "_" + source.first + "_" + std::to_string(translation) + "_to." + target);
                {
                    Loaded loaded;
                    ASSERT_TRUE(loaded.Read(source.second)) << what;
                    ASSERT_TRUE(loaded.Write(path, translation)) << what;
                }
                ExpectPositions(path, reference, true, what);
            }
        }
    }
}

// ---- independent readers of the written files, from each format's rules ----

// A rotation of angles about x, y and z applied in the order of `channels` (the BVH channel
// letters): the last channel turns a point first.
Mat TurnChannels(const std::vector<int>& axes, const std::vector<double>& degrees) {
    Mat out = Turn(0, 0.0);
    for (size_t i = 0; i < axes.size(); ++i)
        out = Multiply(Turn(axes[i], degrees[i]), out);
    return out;
}

// A BVH file: joints with offsets and channels, end sites named "<joint>_End", and the motion.
struct BvhFigure {
    struct Joint {
        std::string name;
        int parent = -1;
        Vec offset{};
        std::vector<int> position;  // channel slots of X, Y, Z position (-1 when absent)
        std::vector<int> rotationAxes;
        std::vector<int> rotationSlots;
        bool endSite = false;
    };
    std::vector<Joint> joints;
    std::vector<std::vector<double>> frames;

    static BvhFigure Parse(const std::string& text) {
        BvhFigure figure;
        std::istringstream in(text);
        std::string word;
        std::vector<int> open;
        int slots = 0;
        while (in >> word && word != "MOTION") {
            if (word == "ROOT" || word == "JOINT" || word == "End") {
                Joint joint;
                in >> joint.name;
                joint.endSite = word == "End";
                joint.parent = open.empty() ? -1 : open.back();
                if (joint.endSite) joint.name = figure.joints[(size_t)joint.parent].name + "_End";
                joint.position = {-1, -1, -1};
                figure.joints.push_back(joint);
            } else if (word == "{") {
                open.push_back((int)figure.joints.size() - 1);
            } else if (word == "}") {
                open.pop_back();
            } else if (word == "OFFSET") {
                for (double& v : figure.joints.back().offset.v)
                    in >> v;
            } else if (word == "CHANNELS") {
                int n = 0;
                in >> n;
                for (int i = 0; i < n; ++i, ++slots) {
                    in >> word;
                    Joint& joint = figure.joints.back();
                    const int axis = word[0] - 'X';
                    if (word.find("position") != std::string::npos) {
                        joint.position[(size_t)axis] = slots;
                    } else {
                        joint.rotationAxes.push_back(axis);
                        joint.rotationSlots.push_back(slots);
                    }
                }
            }
        }
        int count = 0;
        double seconds = 0.0;
        in >> word >> count >> word >> word >> seconds;
        figure.frames.assign((size_t)count, std::vector<double>((size_t)slots));
        for (auto& frame : figure.frames)
            for (double& v : frame)
                in >> v;
        return figure;
    }

    // Every joint's and end site's world position and turn at frame f.
    void Pose(int f, Positions& positions, std::map<std::string, Mat>* turns = nullptr) const {
        std::vector<Mat> world(joints.size());
        std::vector<Vec> place(joints.size());
        const std::vector<double>& values = frames[(size_t)f];
        for (size_t j = 0; j < joints.size(); ++j) {
            const Joint& joint = joints[j];
            Vec offset = joint.offset;
            for (int k = 0; k < 3; ++k)
                if (joint.position[(size_t)k] >= 0) offset.v[k] += values[(size_t)joint.position[(size_t)k]];
            std::vector<double> degrees;
            for (int slot : joint.rotationSlots)
                degrees.push_back(values[(size_t)slot]);
            const Mat local = TurnChannels(joint.rotationAxes, degrees);
            if (joint.parent < 0) {
                world[j] = local;
                place[j] = offset;
            } else {
                world[j] = Multiply(local, world[(size_t)joint.parent]);
                place[j] = Add(place[(size_t)joint.parent], Apply(offset, world[(size_t)joint.parent]));
            }
            positions[joint.name] = place[j];
            if (turns) (*turns)[joint.name] = world[j];
        }
    }
};

// An HTR file as written (EulerRotationOrder ZYX, millimetres, degrees, bone length axis Y): each
// segment's turn is its frame rotation, then its base rotation, then its parent's turn; a leaf
// segment ends its bone length along its Y axis, at "<segment>_End". Positions in centimetres.
struct HtrFigure {
    struct Segment {
        std::string name, parent;
        double base[7] = {};
        std::vector<std::array<double, 6>> frames;
    };
    std::vector<Segment> segments;
    std::map<std::string, std::string> header;

    static HtrFigure Parse(const std::string& text) {
        HtrFigure figure;
        std::istringstream in(text);
        std::string line, section;
        Segment* block = nullptr;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            if (line[0] == '[') {
                section = line;
                block = nullptr;
                for (Segment& s : figure.segments)
                    if ("[" + s.name + "]" == line) block = &s;
                continue;
            }
            if (section == "[Header]") {
                std::string key, value;
                fields >> key >> value;
                figure.header[key] = value;
            } else if (section == "[SegmentNames&Hierarchy]") {
                Segment s;
                fields >> s.name >> s.parent;
                figure.segments.push_back(s);
            } else if (section == "[BasePosition]") {
                std::string name;
                fields >> name;
                for (Segment& s : figure.segments)
                    if (s.name == name)
                        for (double& v : s.base)
                            fields >> v;
            } else if (block) {
                int number = 0;
                std::array<double, 6> values{};
                fields >> number;
                for (double& v : values)
                    fields >> v;
                block->frames.push_back(values);
            }
        }
        return figure;
    }

    bool IsLeaf(const Segment& segment) const {
        for (const Segment& s : segments)
            if (s.parent == segment.name) return false;
        return true;
    }

    void Pose(int f, Positions& positions, std::map<std::string, Mat>* turns = nullptr) const {
        std::map<std::string, Mat> world;
        std::map<std::string, Vec> place;
        for (const Segment& s : segments) {  // parents come first
            const std::array<double, 6>& frame = s.frames.at((size_t)f);
            const double frameAngles[3] = {frame[3], frame[4], frame[5]};
            const Mat local = Multiply(TurnXYZ(frameAngles), TurnXYZ(s.base + 3));
            const Vec t{{(s.base[0] + frame[0]) / 10.0, (s.base[1] + frame[1]) / 10.0,
                         (s.base[2] + frame[2]) / 10.0}};
            if (s.parent == "GLOBAL") {
                world[s.name] = local;
                place[s.name] = t;
            } else {
                world[s.name] = Multiply(local, world.at(s.parent));
                place[s.name] = Add(place.at(s.parent), Apply(t, world.at(s.parent)));
            }
            positions[s.name] = place[s.name];
            if (IsLeaf(s))
                positions[s.name + "_End"] =
                    Add(place[s.name], Apply({{0.0, s.base[6] / 10.0, 0.0}}, world[s.name]));
            if (turns) (*turns)[s.name] = world[s.name];
        }
    }
    int FrameCount() const { return segments.empty() ? 0 : (int)segments[0].frames.size(); }
};

// A TRC file's markers, frame by frame, in centimetres (the file in millimetres).
std::vector<Positions> ReadTrc(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> names;
    std::vector<Positions> frames;
    for (int n = 0; std::getline(in, line); ++n) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (n == 2) EXPECT_EQ(fields.at(4), "mm");
        if (n == 3)
            for (size_t i = 2; i < fields.size(); i += 3)
                names.push_back(fields[i]);
        if (n < 5 || fields.size() < 2 + 3 * names.size()) continue;
        Positions positions;
        for (size_t m = 0; m < names.size(); ++m)
            for (int k = 0; k < 3; ++k)
                positions[names[m]].v[k] = std::stod(fields[2 + 3 * m + (size_t)k]) / 10.0;
        frames.push_back(positions);
    }
    return frames;
}

// The largest distance between the places of the same names; every name of `want` must be in
// `got` (a name missing makes it infinite).
double Farthest(const Positions& got, const Positions& want, std::string& where) {
    double worst = 0.0;
    for (const auto& entry : want) {
        auto found = got.find(entry.first);
        double d = INFINITY;
        if (found != got.end()) {
            d = 0.0;
            for (int k = 0; k < 3; ++k)
                d += (found->second.v[k] - entry.second.v[k]) * (found->second.v[k] - entry.second.v[k]);
            d = std::sqrt(d);
        }
        if (d > worst || (std::isinf(d) && !std::isinf(worst))) {
            worst = d;
            where = entry.first;
        }
    }
    return worst;
}

// The largest angle (degrees) between two turns of the same names.
double WidestTurn(const std::map<std::string, Mat>& a, const std::map<std::string, Mat>& b,
                  std::string& where) {
    double worst = 0.0;
    for (const auto& entry : a) {
        const Mat d = Multiply(entry.second, Transpose(b.at(entry.first)));
        const double c = std::max(-1.0, std::min(1.0, (d.m[0][0] + d.m[1][1] + d.m[2][2] - 1.0) / 2.0));
        const double angle = std::acos(c) * 180.0 / kPi;
        if (angle > worst) {
            worst = angle;
            where = entry.first;
        }
    }
    return worst;
}

std::vector<std::string> Names(const Positions& positions) {
    std::vector<std::string> names;
    for (const auto& entry : positions)
        names.push_back(entry.first);
    return names;
}

// A figure whose leaf joints end where they start (zero End Site offsets), as most captures end
// their heads, hands and feet, and one leg whose end lies off the joint's axes.
const char* const kBvhEnds = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Spine
  {
    OFFSET 0 10 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    JOINT Head
    {
      OFFSET 0 30 2
      CHANNELS 3 Zrotation Xrotation Yrotation
      End Site
      {
        OFFSET 0 0 0
      }
    }
  }
  JOINT LeftLeg
  {
    OFFSET 9 -6 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    JOINT LeftFoot
    {
      OFFSET 0 -42 1
      CHANNELS 3 Zrotation Xrotation Yrotation
      End Site
      {
        OFFSET 0 0 0
      }
    }
  }
  JOINT RightLeg
  {
    OFFSET -9 -6 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    End Site
    {
      OFFSET 4 -40 12
    }
  }
}
MOTION
Frames: 4
Frame Time: 0.0333333
2 90 3 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
4 91 2 20 -15 40 10 5 -20 30 10 -5 15 -25 35 -10 20 5 40 30 -20
6 92 1 45 30 80 -20 15 10 -35 25 60 40 10 -70 5 -30 45 -50 10 60
8 93 0 -30 60 120 35 -40 25 50 -45 -80 -15 70 20 -60 15 -10 25 -75 30
)";

// A head ending in three joints of their own that never move and end where they start, and a
// foot ending in such a joint: they must come back by name and place. The root stays at the
// origin: a TRC holds the markers in the frame of the skeleton's root.
const char* const kBvhEndJoints = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Spine
  {
    OFFSET 0 10 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    JOINT Head
    {
      OFFSET 0 20 1
      CHANNELS 3 Zrotation Xrotation Yrotation
      JOINT HeadTop_End
      {
        OFFSET 0 12 0
        CHANNELS 3 Zrotation Xrotation Yrotation
        End Site
        {
          OFFSET 0 0 0
        }
      }
      JOINT LeftEye
      {
        OFFSET 3 8 4
        CHANNELS 3 Zrotation Xrotation Yrotation
        End Site
        {
          OFFSET 0 0 0
        }
      }
      JOINT RightEye
      {
        OFFSET -3 8 4
        CHANNELS 3 Zrotation Xrotation Yrotation
        End Site
        {
          OFFSET 0 0 0
        }
      }
    }
  }
  JOINT Leg
  {
    OFFSET 8 -5 0
    CHANNELS 3 Zrotation Xrotation Yrotation
    JOINT Toes_L
    {
      OFFSET 0 -40 5
      CHANNELS 3 Zrotation Xrotation Yrotation
      End Site
      {
        OFFSET 0 0 0
      }
    }
  }
}
MOTION
Frames: 3
Frame Time: 0.0333333
0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0
0 0 0 0 0 0 15 -10 5 20 10 -5 0 0 0 0 0 0 0 0 0 30 10 5 0 0 0
0 0 0 0 0 0 30 -20 10 40 20 -10 0 0 0 0 0 0 0 0 0 60 20 10 0 0 0
)";

// A zero End Site ends its joint's bone at the joint: after HTR its end is where the BVH puts it
// (not a bone length of 100 mm away), an end off the joint's axes too; no end becomes a segment,
// and HTR -> HTR keeps every segment's turn and every end.
TEST_P(SkeletonConversion, BvhEndSitesKeepTheirPlacesThroughHtr) {
    const std::string tag = GetParam() ? GetParam() : "default";
    const BvhFigure bvh = BvhFigure::Parse(kBvhEnds);
    const std::string source = htr_test::WriteFile("skeleton_ends_" + tag + ".bvh", kBvhEnds);
    const std::string once = TempPath("ends_" + tag + "_once.htr"),
                      twice = TempPath("ends_" + tag + "_twice.htr");
    ASSERT_NO_FATAL_FAILURE(ConvertFile(source, {once}));
    ASSERT_NO_FATAL_FAILURE(ConvertFile(once, {twice}));
    const HtrFigure first = HtrFigure::Parse(htr_test::ReadFile(once));
    const HtrFigure second = HtrFigure::Parse(htr_test::ReadFile(twice));
    for (const HtrFigure* htr : {&first, &second}) {
        EXPECT_EQ(htr->header.at("EulerRotationOrder"), "ZYX");
        EXPECT_EQ(htr->header.at("BoneLengthAxis"), "Y");
        ASSERT_EQ(htr->FrameCount(), 4);
        // One segment per joint: the end sites are the leaf segments' bone ends.
        ASSERT_EQ(htr->segments.size(), 6u);
        for (const auto& segment : htr->segments)
            if (segment.name == "Head" || segment.name == "LeftFoot")
                EXPECT_EQ(segment.base[6], 0.0) << segment.name;
    }
    for (int f = 0; f < 4; ++f) {
        Positions want, got, again;
        std::map<std::string, Mat> turns, turnsAgain;
        bvh.Pose(f, want);
        first.Pose(f, got, &turns);
        second.Pose(f, again, &turnsAgain);
        EXPECT_EQ(Names(got), Names(want)) << "frame " << f;
        std::string where;
        EXPECT_LT(Farthest(got, want, where), 1e-3) << "BVH -> HTR: " << where << " at frame " << f;
        EXPECT_LT(Farthest(again, want, where), 1e-3) << "HTR -> HTR: " << where << " at frame " << f;
        EXPECT_LT(WidestTurn(turnsAgain, turns, where), 1e-3) << "HTR -> HTR: " << where << " at frame " << f;
    }
}

// The ASF figure (bones with axis angles) through HTR, and that HTR through HTR again: every
// joint and bone end where the ASF/AMC rules put it, no segment made of an end node, and every
// segment's turn kept from one HTR to the next.
TEST_P(SkeletonConversion, AsfFigureThroughHtrKeepsEndsAndTurns) {
    const std::string tag = GetParam() ? GetParam() : "default";
    const std::vector<Positions> reference = ReferencePositions();
    const std::map<std::string, std::string> sources = MakeSources("turns_" + tag);
    ASSERT_EQ(sources.size(), 3u);
    const std::string again = TempPath("turns_" + tag + "_again.htr");
    ASSERT_NO_FATAL_FAILURE(ConvertFile(sources.at("htr"), {again}));
    const HtrFigure first = HtrFigure::Parse(htr_test::ReadFile(sources.at("htr")));
    const HtrFigure second = HtrFigure::Parse(htr_test::ReadFile(again));
    ASSERT_EQ(first.FrameCount(), kFrames);
    ASSERT_EQ(second.FrameCount(), kFrames);
    const double tolerance = 1e-4 * FigureSize(reference[0]);
    double worst[3] = {0.0, 0.0, 0.0};
    std::string where[3], at[3];
    for (int f = 0; f < kFrames; ++f) {
        Positions got, gotAgain;
        std::map<std::string, Mat> turns, turnsAgain;
        first.Pose(f, got, &turns);
        second.Pose(f, gotAgain, &turnsAgain);
        ASSERT_EQ(Names(got), Names(reference[(size_t)f]))
            << "the joints and the five bone ends, nothing else";
        ASSERT_EQ(Names(gotAgain), Names(reference[(size_t)f]));
        // The farthest joints of each HTR from the reference, and the widest change of turn.
        const double found[3] = {Farthest(got, reference[(size_t)f], where[0]),
                                 Farthest(gotAgain, reference[(size_t)f], where[1]),
                                 WidestTurn(turnsAgain, turns, where[2])};
        for (int k = 0; k < 3; ++k)
            if (found[k] > worst[k]) worst[k] = found[k], at[k] = where[k] + " at frame " + std::to_string(f);
    }
    EXPECT_LE(worst[0], tolerance) << "AMC -> HTR: " << at[0];
    EXPECT_LE(worst[1], tolerance) << "HTR -> HTR: " << at[1];
    EXPECT_LE(worst[2], 1e-2) << "HTR -> HTR turns " << at[2] << " by degrees";
}

// Joints that end where they start and never move, three below one head and one below a leg:
// after ASF/AMC each comes back by its name and at its place, in a TRC and in a BVH written from
// the AMC.
TEST(SkeletonEnds, BvhEndJointsComeBackByNameFromAmc) {
    const std::string tag = "joints";
    const BvhFigure bvh = BvhFigure::Parse(kBvhEndJoints);
    const std::string source = htr_test::WriteFile("skeleton_endjoints_" + tag + ".bvh", kBvhEndJoints);
    const std::string amc = TempPath("endjoints_" + tag + ".amc");
    const std::string trc = TempPath("endjoints_" + tag + ".trc"),
                      back = TempPath("endjoints_" + tag + "_back.bvh");
    ASSERT_NO_FATAL_FAILURE(ConvertFile(source, {amc}));
    ASSERT_NO_FATAL_FAILURE(ConvertFile(amc, {trc, back}));
    const std::vector<Positions> markers = ReadTrc(htr_test::ReadFile(trc));
    const BvhFigure written = BvhFigure::Parse(htr_test::ReadFile(back));
    ASSERT_EQ(markers.size(), 3u);
    ASSERT_EQ(written.frames.size(), 3u);
    for (int f = 0; f < 3; ++f) {
        Positions want, all, got;
        bvh.Pose(f, all);
        written.Pose(f, got);
        // The ASF root takes the name "root".
        for (const char* name : {"Spine", "Head", "HeadTop_End", "LeftEye", "RightEye", "Leg", "Toes_L"})
            want[name] = all[name];
        want["root"] = all["Hips"];
        std::string where;
        EXPECT_LT(Farthest(markers[(size_t)f], want, where), 1e-3)
            << "AMC -> TRC: " << where << " at frame " << f;
        EXPECT_LT(Farthest(got, want, where), 1e-3) << "AMC -> BVH: " << where << " at frame " << f;
    }
    for (const char* name : {"HeadTop_End", "LeftEye", "RightEye", "Toes_L"}) {
        bool joint = false;
        for (const auto& j : written.joints)
            joint = joint || (j.name == name && !j.endSite);
        EXPECT_TRUE(joint) << name << " is a joint of the BVH written from the AMC";
    }
}

// A figure 128 m from the origin, each value at single precision's last digits: every skeleton
// file keeps every digit the scene holds, so each joint stays within a few single-precision steps
// (0.001 cm at 128 m) of the BVH source, where six digits of "%g" would put it 0.08 mm off.
const char* const kBvhFar = R"(HIERARCHY
ROOT Hips
{
  OFFSET 0 0 0
  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation
  JOINT Spine
  {
    OFFSET 0.123456791 12.3456793 -1.00000012
    CHANNELS 3 Zrotation Xrotation Yrotation
    End Site
    {
      OFFSET 0 10.0000038 0
    }
  }
}
MOTION
Frames: 2
Frame Time: 0.0333333
12800.0078 -6400.00391 3200.00195 33.3333321 -12.3456793 77.7777786 1.00000048 2.00000095 -3.00000143
12900.0156 -6300.0078 3100.0039 43.3333359 -22.3456802 67.7777863 11.0000095 12.0000019 -13.0000029
)";

TEST(SkeletonDigits, AFigureFarFromTheOriginKeepsItsPlaceInEveryFormat) {
    const BvhFigure source = BvhFigure::Parse(kBvhFar);
    const std::string path = htr_test::WriteFile("skeleton_far.bvh", kBvhFar);
    const std::string bvh = TempPath("far_again.bvh"), htr = TempPath("far.htr"), amc = TempPath("far.amc"),
                      fromAmc = TempPath("far_from_amc.bvh");
    ASSERT_NO_FATAL_FAILURE(ConvertFile(path, {bvh, htr, amc}));
    ASSERT_NO_FATAL_FAILURE(ConvertFile(amc, {fromAmc}));
    const BvhFigure again = BvhFigure::Parse(htr_test::ReadFile(bvh));
    const BvhFigure throughAmc = BvhFigure::Parse(htr_test::ReadFile(fromAmc));
    const HtrFigure segments = HtrFigure::Parse(htr_test::ReadFile(htr));
    ASSERT_EQ(again.frames.size(), 2u);
    ASSERT_EQ(throughAmc.frames.size(), 2u);
    ASSERT_EQ(segments.FrameCount(), 2);
    const double tolerance = 2e-3;  // cm
    for (int f = 0; f < 2; ++f) {
        Positions all, bvhGot, amcGot, htrGot;
        source.Pose(f, all);
        ASSERT_GT(all["Hips"].v[0], 12800.0);
        // The joints, and the end of the spine's bone.
        const Positions want = {{"Hips", all["Hips"]}, {"Spine", all["Spine"]}};
        const Positions wantAmc = {{"root", all["Hips"]}, {"Spine", all["Spine"]}};
        again.Pose(f, bvhGot);
        throughAmc.Pose(f, amcGot);
        segments.Pose(f, htrGot);
        std::string where;
        EXPECT_LT(Farthest(bvhGot, all, where), tolerance) << "BVH: " << where << " at frame " << f;
        EXPECT_LT(Farthest(amcGot, wantAmc, where), tolerance) << "AMC: " << where << " at frame " << f;
        EXPECT_LT(Farthest(htrGot, want, where), tolerance) << "HTR: " << where << " at frame " << f;
    }
}

// The same figure with its angles in degrees and in radians: ":units angle rad" turns the bones'
// axis angles and the AMC values, and an AMC line ":DEGREES" or ":RADIANS" decides for its values.
TEST(SkeletonUnits, RadiansAndDegreesGiveTheSameFigure) {
    const std::string tag = "units";
    struct Case {
        const char* name;
        bool asfRadians, amcRadians;
        const char* unitLine;
        RootPreset root;  // the whole skeleton placed and turned, also through every writer
    } cases[] = {
        {"deg", false, false, ":DEGREES", kNoPreset},
        {"rad", true, true, "", kNoPreset},
        {"rad_amc_degrees", true, false, ":DEGREES", kNoPreset},
        {"deg_amc_radians", false, true, ":RADIANS", kNoPreset},
        {"root_placed", false, false, ":DEGREES", {{1, 2, 3}, {10, 20, 30}, false}},
        {"root_zyx", true, true, "", {{-4, 5, 6}, {10, 20, 30}, true}},
    };
    for (const Case& c : cases) {
        const std::vector<Positions> reference = ReferencePositions(c.root);
        const std::string stem = "skeleton_units_" + tag + "_" + c.name, out = TempPath(c.name);
        htr_test::WriteFile(stem + ".asf", AsfText(c.asfRadians, c.root));
        const std::string amc = htr_test::WriteFile(stem + ".amc", AmcText(c.amcRadians, c.unitLine));
        ExpectPositions(amc, reference, true, c.name);
        ASSERT_NO_FATAL_FAILURE(ConvertFile(amc, {out + ".bvh", out + ".htr", out + ".amc"}));
        for (const char* extension : {".bvh", ".htr", ".amc"})
            ExpectPositions(out + extension, reference, true, c.name + std::string(extension));
    }
}

INSTANTIATE_TEST_SUITE_P(RotationOffsetSetting, SkeletonConversion, ::testing::Values(nullptr, "No"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param ? "PassOff" : "PassOn");
                         });

}  // namespace
