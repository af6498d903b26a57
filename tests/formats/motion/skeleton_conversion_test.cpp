// A skeleton whose bones carry axis angles, as capture skeletons do, moved between BVH, HTR and
// ASF/AMC files: every joint must stay where the ASF/AMC rules put it, at every frame, whichever
// format it came from and went to. The reference positions are computed here from those rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// Parents before children.
const Bone kBones[] = {
    {"spine", "root", {0, 1, 0}, 6.0, {5, 0, 0}},
    {"neck", "spine", {0, 1, 0}, 3.0, {5, 0, 0}},
    {"lhumerus", "spine", {1, 0, 0}, 5.0, {0, 0, -90}},
    {"lradius", "lhumerus", {1, 0, 0}, 4.0, {0, 0, -90}},
    {"rhumerus", "spine", {-1, 0, 0}, 5.0, {0, 0, 90}},
    {"lfemur", "root", {kSin20, -kCos20, 0}, 7.0, {0, 0, 20}},
    {"ltibia", "lfemur", {0, -1, 0}, 7.0, {0, 0, 20}},
    {"rfemur", "root", {-kSin20, -kCos20, 0}, 7.0, {0, 0, -20}},
    {"rtibia", "rfemur", {0, -1, 0}, 7.0, {0, 0, -20}},
};
constexpr int kBoneCount = sizeof kBones / sizeof kBones[0];

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
std::vector<Positions> ReferencePositions() {
    std::vector<Positions> frames(kFrames);
    for (int f = 0; f < kFrames; ++f) {
        std::map<std::string, Mat> world;
        std::map<std::string, Vec> start, end;
        double t[3], r[3];
        RootValues(f, t, r);
        world["root"] = TurnXYZ(r);
        start["root"] = end["root"] = {{t[0], t[1], t[2]}};
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

std::string AsfText() {
    std::ostringstream out;
    out.precision(17);
    out << ":version 1.10\n:name figure\n:units\n  mass 1.0\n  length 1.0\n  angle deg\n"
        << ":documentation\n  axis angles as capture skeletons have them\n"
        << ":root\n  order TX TY TZ RX RY RZ\n  axis XYZ\n  position 0 0 0\n  orientation 0 0 0\n"
        << ":bonedata\n";
    for (int b = 0; b < kBoneCount; ++b) {
        const Bone& bone = kBones[b];
        out << "  begin\n    id " << b + 1 << "\n    name " << bone.name << "\n    direction "
            << bone.direction[0] << " " << bone.direction[1] << " " << bone.direction[2] << "\n    length "
            << bone.length << "\n    axis " << bone.axis[0] << " " << bone.axis[1] << " " << bone.axis[2]
            << " XYZ\n    dof rx ry rz\n    limits (-180.0 180.0)\n      (-180.0 180.0)\n      (-180.0 "
               "180.0)\n"
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

std::string AmcText() {
    std::ostringstream out;
    out.precision(12);
    out << ":FULLY-SPECIFIED\n:DEGREES\n:SAMPLES-PER-SECOND " << kRate << "\n";
    for (int f = 0; f < kFrames; ++f) {
        double t[3], r[3];
        RootValues(f, t, r);
        out << f + 1 << "\nroot " << t[0] << " " << t[1] << " " << t[2] << " " << r[0] << " " << r[1] << " "
            << r[2] << "\n";
        for (int b = 0; b < kBoneCount; ++b) {
            BoneValues(b, f, r);
            out << kBones[b].name << " " << r[0] << " " << r[1] << " " << r[2] << "\n";
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
                // The HTR writer passes over the end sites the BVH reader makes and keeps the
                // bone's length along the segment's own axis instead, which need not point at the
                // end site. (The ASF reader's end nodes are written as segments.)
                ExpectPositions(path, reference, source.first != "bvh" || target != "htr", what);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RotationOffsetSetting, SkeletonConversion, ::testing::Values(nullptr, "No"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param ? "PassOff" : "PassOn");
                         });

}  // namespace
