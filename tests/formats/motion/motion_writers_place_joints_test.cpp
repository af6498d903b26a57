// Joints built in code, with rotation orders, pre-rotations, rotation pivots and a rotation offset,
// keyed in the default take only and prepared for writing as a plain program does: every motion
// file puts every joint and marker, at every frame, where the scene's own evaluation puts it. The
// text formats are read here by their own rules; the others are read back.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_skeleton.h"
#include "formats/motion/voxa_motion_export.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

namespace {

const int kFrames = 31;
const double kPi = 3.14159265358979323846;
const char* const kJoints[] = {"Hips", "Spine", "Head", "Leg"};

using Point = std::array<double, 3>;
using Positions = std::map<std::string, Point>;  // by joint name

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("place_joints_");
    return folder + name;
}

VTime Frame(int f) {
    VTime t;
    t.SetSecondDouble(f / 30.0);
    return t;
}

void Keys(VFCurve* curve, double first, double step) {
    curve->KeyModifyBegin();
    curve->ResizeKeyBuffer(kFrames);
    for (int f = 0; f < kFrames; ++f)
        curve->KeySet(f, Frame(f), (float)(first + step * f + 3.0 * std::sin(f * 0.3)),
                      VFCurveKey::eInterpolationLinear, 0u);
    curve->KeyModifyEnd();
}

VStreamOptionsMotion* Motion(VStreamOptions* options) {
    return options && options->IsA(VStreamOptionsMotion::ClassId)
               ? static_cast<VStreamOptionsMotion*>(options)
               : nullptr;
}

// Hips > Spine > Head, and Leg below Hips, none marked. Hips and Spine turn in order ZYX about
// rotation pivots after pre-rotations, Hips moved by a rotation offset too; the keys are those of
// the default take, which stays current. The truth is the scene's evaluation before any write.
struct Rig {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaNode* nodes[4] = {};
    std::vector<Positions> truth;

    Rig() {
        VOxaNode* hips = nodes[0] = Joint("Hips", scene->GetRootNode());
        VOxaNode* spine = nodes[1] = Joint("Spine", hips);
        nodes[2] = Joint("Head", spine);
        VOxaNode* leg = nodes[3] = Joint("Leg", hips);
        hips->SetLclTranslation(VgeTVector(3, 90, -2, 1));
        spine->SetLclTranslation(VgeTVector(0, 20, 0, 1));
        nodes[2]->SetLclTranslation(VgeTVector(0, 30, 5, 1));
        leg->SetLclTranslation(VgeTVector(10, -40, 0, 1));
        hips->SetRotationOrder(0, eEULER_ZYX);
        hips->SetPreRotation(0, VgeTVector(0, 0, 90, 1));
        hips->SetRotationPivot(0, VgeTVector(1, 2, 0, 1));
        hips->SetRotationOffset(0, VgeTVector(0, 5, 1, 1));
        spine->SetRotationOrder(0, eEULER_ZYX);
        spine->SetPreRotation(0, VgeTVector(30, 0, 10, 1));
        spine->SetRotationPivot(0, VgeTVector(0, 3, 0, 1));
        leg->SetRotationOrder(0, eEULER_ZYX);

        VOxaTakeNode* take = hips->GetDefaultTakeNode();
        Keys(take->GetTranslationX(), 3, 1);
        Keys(take->GetTranslationY(), 90, 0.2);
        Keys(take->GetTranslationZ(), -2, 0.5);
        Keys(take->GetEulerRotationX(), 0, 4);
        Keys(take->GetEulerRotationY(), 10, -2);
        Keys(take->GetEulerRotationZ(), -5, 3);
        take = spine->GetDefaultTakeNode();
        Keys(take->GetEulerRotationX(), -20, 2);
        Keys(take->GetEulerRotationY(), 15, -1);
        Keys(take->GetEulerRotationZ(), 5, 1.5);
        Keys(leg->GetDefaultTakeNode()->GetEulerRotationX(), 30, -3);
        Keys(leg->GetDefaultTakeNode()->GetEulerRotationZ(), 0, 2);

        for (int f = 0; f < kFrames; ++f) {
            Positions positions;
            for (VOxaNode* node : nodes) {
                const VgeAMatrix& m = node->EvaluateGlobalTransform(Frame(f));
                positions[node->GetNameWithoutPrefix()] = {m.mData[3][0], m.mData[3][1], m.mData[3][2]};
            }
            truth.push_back(positions);
        }
    }
    ~Rig() { delete manager; }

    VOxaNode* Joint(const char* name, VOxaNode* parent) {
        VOxaNode* node = manager->CreateNode(name);
        node->SetNodeAttribute(manager->CreateSkeleton());
        parent->AddChild(node);
        node->SetRotationActive(true);
        node->SetPivotState(0, 0);
        return node;
    }

    // Writes the scene as VOxaPrepareMotionExport prepares it; `skeleton` is the ASF skeleton an
    // AMC file needs. The options are given back (to be destroyed), null on failure.
    VStreamOptionsMotion* Write(const std::string& path, VPlug* skeleton) {
        VOxaExporter* exporter = manager->CreateExporter();
        const int format = VOxaFindWriterFormat(VOxaGetFileExtension(path.c_str()));
        EXPECT_TRUE(exporter->Initialize(path.c_str()) && exporter->SetFileFormat(format)) << path;
        VStreamOptionsMotion* options = Motion(exporter->GetWriteOptions());
        VString why;
        bool ok = options != nullptr;
        if (ok && skeleton) options->SetAttachedObject(skeleton, false);
        ok = ok && VOxaPrepareMotionExport(scene, format, options, nullptr, &why);
        EXPECT_TRUE(ok) << path << ": " << why.Buffer();
        ok = ok && exporter->Export(scene, options);
        EXPECT_TRUE(ok) << path << ": " << exporter->GetError().GetLastErrorString().Buffer();
        manager->DestroyExporter(exporter);
        if (!ok && options) {
            options->Destroy();
            return nullptr;
        }
        return options;
    }
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The frames of a file, each joint's position in centimetres, against the truth.
void ExpectPlaced(const std::vector<Positions>& truth, const std::vector<Positions>& frames,
                  double tolerance) {
    ASSERT_EQ(frames.size(), truth.size());
    double worst = 0.0;
    std::string where;
    for (size_t f = 0; f < truth.size(); ++f) {
        for (const char* joint : kJoints) {
            auto found = frames[f].find(joint);
            ASSERT_NE(found, frames[f].end()) << joint;
            const Point& a = truth[f].at(joint);
            const Point& b = found->second;
            const double d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                       (a[2] - b[2]) * (a[2] - b[2]));
            if (!(d <= worst)) {
                worst = d;
                where = std::string(joint) + " at frame " + std::to_string(f);
            }
        }
    }
    EXPECT_LE(worst, tolerance) << where;
}

// ---- Column-vector matrices for the forward kinematics of the text formats ----

using Matrix = std::array<std::array<double, 4>, 4>;

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

Matrix Translation(double x, double y, double z) {
    Matrix m = Identity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

// A turn by `degrees` about axis 0 (X), 1 (Y) or 2 (Z).
Matrix Turn(int axis, double degrees) {
    const double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    Matrix m = Identity();
    m[i][i] = c;
    m[i][j] = -s;
    m[j][i] = s;
    m[j][j] = c;
    return m;
}

Point Origin(const Matrix& m) {
    return {m[0][3], m[1][3], m[2][3]};
}

// ---- TRC: a tab-separated table, marker names on the fourth line, points from the sixth ----

std::vector<Positions> ParseTrc(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find_last_not_of("\r") + 1));
    std::vector<Positions> frames;
    EXPECT_GT(lines.size(), 5u);
    if (lines.size() <= 5) return frames;
    EXPECT_NE(lines[2].find("\tmm\t"), std::string::npos) << lines[2];
    std::vector<std::string> names;
    std::istringstream header(lines[3]);
    for (std::string field; std::getline(header, field, '\t');)
        if (!field.empty()) names.push_back(field);
    for (size_t n = 5; n < lines.size(); ++n) {
        std::istringstream row(lines[n]);
        std::vector<double> values;
        for (double v; row >> v;)
            values.push_back(v);
        if (values.empty()) continue;
        Positions positions;
        for (size_t m = 2; m < names.size() && 3 * m - 2 < values.size(); ++m)
            positions[names[m]] = {values[3 * m - 4] / 10.0, values[3 * m - 3] / 10.0,
                                   values[3 * m - 2] / 10.0};
        frames.push_back(positions);
    }
    return frames;
}

// ---- BVH: offsets and channels; position channels give a joint's translation, the rotation
// channels turn in their listed order ----

std::vector<Positions> ParseBvh(const std::string& text) {
    struct Joint {
        std::string name;
        int parent;
        Point offset;
        std::vector<std::string> channels;
    };
    std::vector<Joint> joints;
    std::vector<int> open;  // the joints whose block is open; -1 for an end site
    std::istringstream in(text);
    std::string word;
    while (in >> word && word != "MOTION") {
        if (word == "ROOT" || word == "JOINT") {
            Joint joint{};
            in >> joint.name;
            joint.parent = open.empty() ? -1 : open.back();
            joints.push_back(joint);
            open.push_back((int)joints.size() - 1);
            in >> word;  // {
        } else if (word == "End") {
            in >> word >> word;  // Site {
            open.push_back(-1);
        } else if (word == "OFFSET") {
            Point p{};
            in >> p[0] >> p[1] >> p[2];
            if (!open.empty() && open.back() >= 0) joints[(size_t)open.back()].offset = p;
        } else if (word == "CHANNELS") {
            int count = 0;
            in >> count;
            for (int k = 0; k < count && in >> word; ++k)
                joints[(size_t)open.back()].channels.push_back(word);
        } else if (word == "}") {
            if (!open.empty()) open.pop_back();
        }
    }
    int frameCount = 0;
    in >> word >> frameCount;    // Frames: n
    in >> word >> word >> word;  // Frame Time: t
    std::vector<Positions> frames;
    for (int f = 0; f < frameCount; ++f) {
        std::vector<Matrix> globals;
        Positions positions;
        for (const Joint& joint : joints) {
            Point position = joint.offset;
            Matrix rotation = Identity();
            for (const std::string& channel : joint.channels) {
                double v = 0.0;
                in >> v;
                const int axis = channel[0] - 'X';
                if (channel.find("position") != std::string::npos)
                    position[(size_t)axis] = v;
                else
                    rotation = Multiply(rotation, Turn(axis, v));
            }
            const Matrix local = Multiply(Translation(position[0], position[1], position[2]), rotation);
            globals.push_back(joint.parent >= 0 ? Multiply(globals[(size_t)joint.parent], local) : local);
            positions[joint.name] = Origin(globals.back());
        }
        frames.push_back(positions);
    }
    EXPECT_TRUE(in) << "the BVH frames end early";
    return frames;
}

// ---- HTR: a segment's translation is its base translation plus the frame's (millimetres), its
// rotation the base rotation after the frame's, both Rz Ry Rx of the "ZYX" order ----

std::vector<Positions> ParseHtr(const std::string& text) {
    std::istringstream in(text);
    std::string line, section;
    std::vector<std::string> order;
    std::map<std::string, std::string> parents;
    std::map<std::string, std::array<double, 6>> base;
    std::map<std::string, std::vector<std::array<double, 6>>> frames;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (section == "Header") {
            if (name == "EulerRotationOrder") EXPECT_NE(line.find("ZYX"), std::string::npos) << line;
            if (name == "CalibrationUnits") EXPECT_NE(line.find("mm"), std::string::npos) << line;
            if (name == "RotationUnits") EXPECT_NE(line.find("Degrees"), std::string::npos) << line;
        } else if (section == "SegmentNames&Hierarchy") {
            fields >> parents[name];
            order.push_back(name);
        } else if (section == "BasePosition") {
            std::array<double, 6> values{};
            for (double& v : values)
                fields >> v;
            base[name] = values;
        } else if (section != "EndOfFile") {
            std::array<double, 6> values{};
            double scale = 0.0;
            for (double& v : values)
                fields >> v;
            fields >> scale;
            EXPECT_NEAR(scale, 1.0, 1e-9) << line;
            frames[section].push_back(values);
        }
    }
    auto rotation = [](const double* angles) {
        return Multiply(Multiply(Turn(2, angles[2]), Turn(1, angles[1])), Turn(0, angles[0]));
    };
    std::vector<Positions> out;
    const size_t count = order.empty() ? 0 : frames[order[0]].size();
    for (size_t f = 0; f < count; ++f) {
        std::map<std::string, Matrix> globals;
        Positions positions;
        for (const std::string& name : order) {
            const std::array<double, 6>& b = base[name];
            EXPECT_GT(frames[name].size(), f) << name;
            if (frames[name].size() <= f) return out;
            const std::array<double, 6>& v = frames[name][f];
            Matrix local =
                Multiply(Translation((b[0] + v[0]) / 10.0, (b[1] + v[1]) / 10.0, (b[2] + v[2]) / 10.0),
                         Multiply(rotation(b.data() + 3), rotation(v.data() + 3)));
            auto parent = globals.find(parents[name]);
            globals[name] = parent != globals.end() ? Multiply(parent->second, local) : local;
            positions[name] = Origin(globals[name]);
        }
        out.push_back(positions);
    }
    return out;
}

// ---- Other formats: read back, each joint's global position at each frame read ----

std::vector<Positions> ReadBack(const std::string& path, const std::string& skeletonPath) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    std::vector<VStreamOptions*> kept;
    auto import = [&](const std::string& file, VPlug* skeleton) {
        VOxaImporter* importer = manager->CreateImporter();
        EXPECT_TRUE(importer->Initialize(file.c_str())) << file;
        VStreamOptions* options = importer->GetReadOptions();
        kept.push_back(options);
        if (skeleton && Motion(options)) Motion(options)->SetAttachedObject(skeleton, false);
        const bool ok = importer->Import(scene, options);
        EXPECT_TRUE(ok) << file << ": " << importer->GetError().GetLastErrorString().Buffer();
        manager->DestroyImporter(importer);
        return ok ? Motion(options) : nullptr;
    };
    std::vector<Positions> frames;
    VPlug* skeleton = nullptr;
    if (!skeletonPath.empty()) {
        VStreamOptionsMotion* asf = import(skeletonPath, nullptr);
        skeleton = asf ? asf->GetAttachedObject() : nullptr;
    }
    if (VStreamOptionsMotion* motion =
            (skeletonPath.empty() || skeleton) ? import(path, skeleton) : nullptr) {
        // The joints or markers in file order (the order written), depth first: a file may number
        // its markers, and the ASF root bone is "root". The reference node and the ends a reader
        // adds below leaf bones are none.
        std::vector<VOxaNode*> joints, pending{scene->GetRootNode()};
        while (!pending.empty()) {
            VOxaNode* node = pending.back();
            pending.pop_back();
            const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
            const std::string name = node->GetNameWithoutPrefix();
            if (attribute && attribute->GetAttributeType() != VOxaNodeAttribute::eOpticalReference &&
                name.size() >= 1 && (name.size() < 4 || name.compare(name.size() - 4, 4, "_End") != 0))
                joints.push_back(node);
            for (int c = node->GetChildCount() - 1; c >= 0; --c)
                pending.push_back(node->GetChild(c));
        }
        EXPECT_EQ(joints.size(), 4u) << path;
        VTime time = motion->GetStartTime();
        for (int f = 0; f < motion->GetFrameCount(); ++f, time += motion->GetFramePeriod()) {
            Positions positions;
            for (size_t j = 0; j < joints.size() && j < 4; ++j) {
                const VgeAMatrix& m = joints[j]->EvaluateGlobalTransform(time);
                positions[kJoints[j]] = {m.mData[3][0], m.mData[3][1], m.mData[3][2]};
            }
            frames.push_back(positions);
        }
    }
    for (VStreamOptions* options : kept)
        options->Destroy();
    delete manager;
    return frames;
}

}  // namespace

// Keys in the default take alone move the markers of every marker format; the skeleton formats
// give the joints the pivots, pre-rotations and rotation offset (a joint whose rotation pivot
// moves its origin gets translation channels), so that every joint lands where the scene puts it.
TEST(MotionWritersPlaceJoints, EveryFormatPutsEachJointWhereTheSceneDoes) {
    const double kText = 2e-3;    // centimetres: text formats hold six or more digits
    const double kBinary = 2e-3;  // single-precision points about a metre from the origin
    // The markers' sampler, in its records and the nodes' own way of evaluation.
    for (bool reference : {false, true}) {
        SCOPED_TRACE(reference ? "trc, the nodes' evaluation" : "trc");
        Rig rig;
        const std::string path = TempPath("rig.trc");
        VOxaNode::SetReferenceEvaluation(reference);
        VStreamOptionsMotion* options = rig.Write(path, nullptr);
        VOxaNode::SetReferenceEvaluation(false);
        ASSERT_NE(options, nullptr);
        options->Destroy();
        ExpectPlaced(rig.truth, ParseTrc(ReadText(path)), kText);
    }
    {
        SCOPED_TRACE("bvh");
        Rig rig;
        const std::string path = TempPath("rig.bvh");
        VStreamOptionsMotion* options = rig.Write(path, nullptr);
        ASSERT_NE(options, nullptr);
        options->Destroy();
        const std::string text = ReadText(path);
        ExpectPlaced(rig.truth, ParseBvh(text), kText);
        // Only the joint a rotation pivot moves carries positions below the root.
        const size_t head = text.find("JOINT Head");
        const size_t leg = text.find("JOINT Leg");
        ASSERT_NE(head, text.npos);
        ASSERT_NE(leg, text.npos);
        EXPECT_NE(text.substr(text.find("JOINT Spine"), head - text.find("JOINT Spine")).find("CHANNELS 6"),
                  text.npos);
        EXPECT_NE(text.substr(head, leg - head).find("CHANNELS 3"), text.npos);
    }
    {
        SCOPED_TRACE("htr");
        Rig rig;
        const std::string path = TempPath("rig.htr");
        VStreamOptionsMotion* options = rig.Write(path, nullptr);
        ASSERT_NE(options, nullptr);
        options->Destroy();
        ExpectPlaced(rig.truth, ParseHtr(ReadText(path)), kText);
    }
    {
        SCOPED_TRACE("asf and amc");
        Rig rig;
        const std::string asf = TempPath("rig.asf"), amc = TempPath("rig.amc");
        VStreamOptionsMotion* skeleton = rig.Write(asf, nullptr);
        ASSERT_NE(skeleton, nullptr);
        VStreamOptionsMotion* options = rig.Write(amc, skeleton->GetAttachedObject());
        if (options) options->Destroy();
        skeleton->Destroy();
        ASSERT_NE(options, nullptr);
        ExpectPlaced(rig.truth, ReadBack(amc, asf), kText);
    }
    for (const char* extension : {"c3d", "aoa", "mcd", "brd", "mov", "vpm"}) {
        SCOPED_TRACE(extension);
        Rig rig;
        const std::string path = TempPath(std::string("rig.") + extension);
        VStreamOptionsMotion* options = rig.Write(path, nullptr);
        ASSERT_NE(options, nullptr);
        options->Destroy();
        ExpectPlaced(rig.truth, ReadBack(path, ""), kBinary);
    }
}
