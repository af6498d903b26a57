#include "formats/motion/htr/voxa_writer_htr.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "animation/fcurve.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_limits.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_take_node.h"

namespace {

// The axis length a node is created with; the skeleton readers set their own.
constexpr double kUnsetAxisLength = 10.0;

// Longest part of a path quoted in the "Cannot open file" text.
constexpr size_t kMaxQuotedPath = 1024;

// Rows divided by their lengths, all three negated when the 3x3 part is mirrored.
void NormalizeRotation(double m[4][4]) {
    const double sign = VgeMatrixIsRightHanded(m) ? 1.0 : -1.0;
    for (int r = 0; r < 3; ++r) {
        double length = std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
        if (length == 0.0) continue;
        double f = sign / length;
        for (int c = 0; c < 3; ++c)
            m[r][c] *= f;
    }
}

// A key value as the working curves of the format hold it (single precision).
inline double AsKey(double value) {
    return (double)(float)value;
}

// True when a limit flag of the node is set: its evaluation then clamps values.
bool HasLimits(VOxaNode* node) {
    const VOxaNodeLimits* limits = node->GetLimits();
    return !limits || limits->mTranslationLimits.IsLimitActive() || limits->mRotationLimits.IsLimitActive() ||
           limits->mScalingLimits.IsLimitActive();
}

// The rotation that turns the Y axis (the bone length axis written) onto the unit vector `d`,
// in row-vector form: (0, 1, 0) x turn = d. The identity, exactly, for d along +Y.
void TurnYOnto(double turn[4][4], const double d[3]) {
    VgeMatrixIdentity(turn);
    if (d[0] == 0.0 && d[2] == 0.0) {
        if (d[1] < 0.0) turn[1][1] = turn[2][2] = -1.0;  // half a turn about X
        return;
    }
    // Rodrigues' rotation about a x d by the angle between them, R = I + [v] + [v]^2 / (1 + c), in
    // column form with v = a x d and c = a . d; the row form is its transpose. It is taken from
    // a = +Y when d leans that way, else from a = -Y after half a turn about X (which takes +Y to
    // -Y): 1 + c then stays at least 1, where near -Y it would vanish and lose the turn.
    const bool flip = d[1] < 0.0;
    const double sign = flip ? -1.0 : 1.0;
    const double v[3] = {sign * d[2], 0.0, -sign * d[0]};
    const double k = 1.0 / (1.0 + sign * d[1]);
    const double cross[3][3] = {{0.0, -v[2], v[1]}, {v[2], 0.0, -v[0]}, {-v[1], v[0], 0.0}};
    double rodrigues[4][4];
    VgeMatrixIdentity(rodrigues);
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) {
            double square = 0.0;
            for (int i = 0; i < 3; ++i)
                square += cross[r][i] * cross[i][col];
            rodrigues[col][r] = (r == col ? 1.0 : 0.0) + cross[r][col] + square * k;
        }
    if (!flip) {
        VgeMatrixCopy(turn, rodrigues);
        return;
    }
    // The half turn first, then the turn from -Y onto d (row vectors).
    double half[4][4];
    VgeMatrixIdentity(half);
    half[1][1] = half[2][2] = -1.0;
    VgeRMatrixMult(turn, half, rodrigues);
}

// One segment of the written hierarchy.
struct WorkNode {
    VOxaNode* node = nullptr;
    int parent = -1;                              // index of the parent's entry, -1 for the root
    double baseTranslation[3] = {0.0, 0.0, 0.0};  // file units
    double baseRotation[4][4];
    double baseAngles[3] = {0.0, 0.0, 0.0};
    double restGlobal[4][4];  // scene units, for base positions given as global matrices
    double length = 0.0;      // file units
    // The turn of the segment's frame that points its bone axis at its end node: the segment
    // is written turned by it, so that the end lies its bone length along the axis.
    double turn[4][4];
    bool turned = false;
    bool scaled = false;  // the node's scaling is not 1 everywhere (IsScaled)
};

// True when the node's scaling is not the unit scaling or its current take animates it.
bool IsScaled(VOxaNode* node) {
    VgeTVector s;
    node->GetLclScaling(s);
    if (s[0] != 1.0 || s[1] != 1.0 || s[2] != 1.0) return true;
    VOxaTakeNode* take = node->GetCurrentTakeNodeIndex() != 0 ? node->GetCurrentTakeNode() : nullptr;
    return take && (take->IsAnimated("Transform", "S", "X") || take->IsAnimated("Transform", "S", "Y") ||
                    take->IsAnimated("Transform", "S", "Z"));
}

// The scale of a matrix that scales alike along its axes: the mean length of its rotation rows.
double UniformScale(const double m[4][4]) {
    double sum = 0.0;
    for (int r = 0; r < 3; ++r)
        sum += std::sqrt(m[r][0] * m[r][0] + m[r][1] * m[r][1] + m[r][2] * m[r][2]);
    return sum / 3.0;
}

}  // namespace

VOxaWriterMotionAnalysisHtr::VOxaWriterMotionAnalysisHtr(VOxaSdkManager* manager) : VOxaWriter(manager) {}

VOxaWriterMotionAnalysisHtr::~VOxaWriterMotionAnalysisHtr() {
    if (mFile) FileClose();
}

bool VOxaWriterMotionAnalysisHtr::Fail(int id, const char* text) {
    if (text)
        mError.SetLastError(id, text);
    else
        mError.SetLastErrorID(id);
    return false;
}

bool VOxaWriterMotionAnalysisHtr::FileCreate(const char* path) {
    delete mFile;
    mFile = new VOxaFileMotionAnalysisHtr(false);
    if (!path || !mFile->Open(path, "w")) {
        delete mFile;
        mFile = nullptr;
        VString text("Cannot open file \"");
        if (path && std::strlen(path) > kMaxQuotedPath) {
            text += VString(path, (int)kMaxQuotedPath);
            text += "...";
        } else {
            text += path ? path : "";
        }
        text += "\" for writing.";
        return Fail(eFILE_NOT_OPENED, text.Buffer());
    }
    mSegmentCount = 0;
    mFrameCount = 0;
    return true;
}

bool VOxaWriterMotionAnalysisHtr::FileClose() {
    if (!mFile) return Fail(eFILE_NOT_OPENED);
    delete mFile;
    mFile = nullptr;
    return true;
}

bool VOxaWriterMotionAnalysisHtr::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaWriterMotionAnalysisHtr::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_REQUIRE_SINGLE_ROOT_NODE, 1);
    return options;
}

VOxaPose* VOxaWriterMotionAnalysisHtr::FindRestPose(VOxaScene* scene, const char* name) const {
    if (!scene || !name) return nullptr;
    for (int i = 0; i < scene->GetPoseCount(); ++i) {
        VOxaPose* pose = scene->GetPose(i);
        if (pose && pose->IsRestPose() && std::strcmp(pose->GetNameWithoutPrefix(), name) == 0) return pose;
    }
    return nullptr;
}

double VOxaWriterMotionAnalysisHtr::GetAxisLength(VOxaNode* node) {
    if (!node || !node->GetNodeProperties()) return 1.0;
    return node->GetNodeProperties()->GetAxisLen();
}

bool VOxaWriterMotionAnalysisHtr::IsEndNode(VOxaNode* node) {
    return VOxaMotionSupport::IsEndNode(node);
}

double VOxaWriterMotionAnalysisHtr::GetFileFrameRate(const VStreamOptionsMotion& options) {
    const double rate = options.GetFrameRate();
    if (rate > 0.0 && std::isfinite(rate)) return rate;
    const double seconds = options.GetFramePeriod().GetSecondDouble();
    return seconds > 0.0 ? 1.0 / seconds : 0.0;
}

bool VOxaWriterMotionAnalysisHtr::Write(VOxaScene* scene, VStreamOptions* base) {
    if (!mFile || !mFile->IsOpen()) return Fail(eFILE_NOT_OPENED);
    VOxaNode* root = FindMotionRootNode(scene);
    if (!root) {
        mFile->Discard();
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::NoRootRefusal(scene, "Can not find root node."));
    }
    if (!base || !base->IsA(VStreamOptionsMotion::ClassInfo.GetId())) return Fail(eSTREAM_OPTIONS_NOT_SET);
    VStreamOptionsMotion* options = static_cast<VStreamOptionsMotion*>(base);
    // A tree of geometry (a lone mesh, say) is no skeleton.
    if (!VOxaMotionSupport::HasJoints(root)) {
        mFile->Discard();
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::kNoJoints);
    }

    VString names("");
    if (!CheckSpaceInNodeNameRecursive(root, names)) {
        VString text("Spaces are not allowed in HTR node names:");
        text += names;
        options->Message("Error", text.Buffer());
        return Fail(eUNIDENTIFIED_ERROR, text.Buffer());
    }
    const bool fromGlobal = options->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION) == 1;

    // The hierarchy depth first from the root, each node before its children; end nodes are
    // passed over.
    std::vector<WorkNode> work;
    std::vector<VOxaNode*> leftOut;  // markers never seen
    {
        std::vector<std::pair<VOxaNode*, int>> pending{{root, -1}};
        while (!pending.empty()) {
            VOxaNode* node = pending.back().first;
            int parent = pending.back().second;
            pending.pop_back();
            if (node != root && IsEndNode(node)) continue;
            work.emplace_back();
            work.back().node = node;
            work.back().parent = parent;
            int self = (int)work.size() - 1;
            const std::vector<VOxaNode*> children = VOxaSkeletonSupport::WrittenChildren(node, &leftOut);
            for (size_t c = children.size(); c-- > 0;)
                pending.emplace_back(children[c], self);
        }
    }
    // Markers hang below a reference node: when none was ever seen, nothing is left to write.
    if (work.size() == 1 && !leftOut.empty() && !VOxaMotionSupport::IsJoint(root)) {
        mFile->Discard();
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::kNoJoints);
    }

    // The reader takes at most kMaxSegments segments: a larger hierarchy would make a file that
    // cannot be read back.
    if (work.size() > (size_t)VOxaFileMotionAnalysisHtr::kMaxSegments) {
        VString text;
        text += (int)work.size();
        text += " segments to write: an HTR file holds at most ";
        text += VOxaFileMotionAnalysisHtr::kMaxSegments;
        text += ".";
        mFile->Discard();
        options->Message("Error", text.Buffer());
        return Fail(eFILE_NOT_CREATED, text.Buffer());
    }

    VString refusal("");
    if (!VOxaSkeletonSupport::FramesFit(options, refusal)) {
        mFile->Discard();
        return Fail(eFILE_NOT_CREATED, refusal.Buffer());
    }
    VOxaSkeletonSupport::WarnLeftOut(options, leftOut, "HTR");
    VOxaSkeletonSupport::WarnMarkerEnds(options, root, "HTR", false);

    // Written from the local transforms, the segments are sampled with their pivots in their
    // animation (a segment's base position and frames are plain translations and rotations); the
    // caller's scene gets its own back when the write ends, whichever way. The global transforms
    // hold the pivots already.
    VOxaPivotConversionScope converted(fromGlobal ? nullptr : root);
    if (!converted.Converted()) {
        mFile->Discard();
        return Fail(eNOT_ENOUGH_MEMORY);
    }
    options->Progress("Converting HTR nodes", 0.0f);
    VString poseName(root->GetNameWithoutPrefix());
    poseName += "_RESTPOSE";
    VOxaPose* pose = FindRestPose(scene, poseName.Buffer());
    bool anyScaled = false;
    for (WorkNode& w : work) {
        double matrix[4][4];
        VgeMatrixIdentity(matrix);
        bool local = !fromGlobal;
        int entry = pose ? pose->Find(w.node->GetNameWithoutPrefix()) : -1;
        if (entry >= 0) {
            VgeMatrixCopyAffine(matrix, pose->GetMatrix(entry).mData);
            local = pose->IsLocalMatrix(entry);
        } else if (fromGlobal) {
            VgeMatrixCopyAffine(matrix, w.node->GetDefaultGlobalTransform().mData);
        } else {
            VgeMatrixCopyAffine(matrix, w.node->GetDefaultLocalTransform().mData);
        }
        const WorkNode* parent = w.parent >= 0 ? &work[w.parent] : nullptr;
        double relative[4][4];
        VgeMatrixIdentity(relative);
        VgeMatrixIdentity(w.restGlobal);
        if (local) {
            VgeMatrixCopyAffine(relative, matrix);
            if (parent)
                VgeMatrixMultAffine(w.restGlobal, parent->restGlobal, matrix);
            else
                VgeMatrixCopyAffine(w.restGlobal, matrix);
        } else {
            VgeMatrixCopyAffine(w.restGlobal, matrix);
            if (parent)
                VgeMatrixMultInverse(relative, parent->restGlobal, matrix);
            else
                VgeMatrixCopyAffine(relative, matrix);
        }
        for (int k = 0; k < 3; ++k)
            w.baseTranslation[k] = relative[3][k] / mUnitFactor;
        VgeMatrixIdentity(w.baseRotation);
        VgeRMatrixCopy(w.baseRotation, relative);
        NormalizeRotation(w.baseRotation);
        VgeMatrixToEulerXYZ(w.baseAngles, w.baseRotation);
        w.length = GetAxisLength(w.node) / mUnitFactor;
        // A segment whose bone ends in an end node: the bone reaches that end, as far and in
        // the direction the scene puts it.
        VgeMatrixIdentity(w.turn);
        VOxaNode* end = w.node->GetChildCount() == 1 ? w.node->GetChild(0) : nullptr;
        if (end && IsEndNode(end)) {
            VgeTVector e;
            end->GetLclTranslation(e);
            const double length = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
            w.length = length / mUnitFactor;
            if (length > 0.0 && std::isfinite(length)) {
                const double d[3] = {e[0] / length, e[1] / length, e[2] / length};
                TurnYOnto(w.turn, d);
                w.turned = !(d[0] == 0.0 && d[1] == 1.0 && d[2] == 0.0);
            }
        }
        w.scaled = IsScaled(w.node);
        anyScaled = anyScaled || w.scaled;
        if (w.turned) {
            double base[4][4];
            VgeMatrixCopy(base, w.baseRotation);
            VgeRMatrixMult(w.baseRotation, w.turn, base);
            VgeMatrixToEulerXYZ(w.baseAngles, w.baseRotation);
        }
    }
    // A rig built in code never set its bone lengths (its nodes keep the axis length they were
    // created with): the bone of a segment whose only child is a segment ends where that child's
    // base position starts.
    std::vector<int> childSegments(work.size(), 0);
    for (const WorkNode& w : work)
        if (w.parent >= 0) ++childSegments[(size_t)w.parent];
    for (const WorkNode& w : work) {
        if (w.parent < 0 || childSegments[(size_t)w.parent] != 1) continue;
        WorkNode& parent = work[(size_t)w.parent];
        if (parent.node->GetChildCount() != 1 || GetAxisLength(parent.node) != kUnsetAxisLength) continue;
        const double* t = w.baseTranslation;
        const double length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        if (std::isfinite(length)) parent.length = length;
    }

    const int frameCount = options->GetFrameCount();
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    const double rate = GetFileFrameRate(*options);
    if (!(rate > 0.0) || !(period.Get() > 0)) return Fail(eSTREAM_OPTIONS_NOT_SET);
    // Frames count from 1 at time 0: a take that starts later keeps its start in the numbers.
    long long firstNumber = 1;
    if (!VOxaSkeletonSupport::FrameNumbersFit(start, rate, frameCount, "HTR", firstNumber, refusal)) {
        mFile->Discard();
        return Fail(eFILE_NOT_CREATED, refusal.Buffer());
    }
    mSegmentCount = (int)work.size();
    mFrameCount = frameCount;

    // The segment names as the file can hold them: a control character would end or split a line,
    // a '#' would start a comment, a '[' or ']' would make a segment's block title end early or a
    // line read as a section title, and "GLOBAL" names the parent of the root segment.
    std::vector<VString> written;
    written.reserve(work.size());
    for (const WorkNode& w : work)
        written.push_back(VString(w.node->GetNameWithoutPrefix()));
    static const char* const kReserved[] = {"GLOBAL", nullptr};
    const std::vector<VString> original = written;
    // Longer names would be read cut, and the base positions would not match their segments.
    const int maxBytes = VOxaFileMotionAnalysisHtr::kMaxNameLength;
    written = VTextFile::WritableNames(written, VTextFile::kSectionMarks, kReserved, maxBytes);
    VOxaMotionSupport::WarnCutNames(options, original, written, maxBytes, "HTR segment");
    const std::vector<bool> repeated = VOxaMotionSupport::RepeatedNames(original);
    for (size_t s = 0; s < written.size(); ++s) {
        if (original[s].GetLen() > maxBytes || written[s] == original[s] || repeated[s]) continue;
        VString text("Node \"");
        text += original[s];
        text += "\" is written as \"";
        text += written[s];
        text +=
            "\": HTR segment names cannot hold control characters, '#', '[' or ']', nor be empty or "
            "\"GLOBAL\".";
        options->Message("Warning", text.Buffer(), "Ok");
    }

    VOxaFileMotionAnalysisHtr& file = *mFile;
    file.WriteHeader(mSegmentCount, frameCount, rate);
    file.WriteHierarchyTitle();
    for (size_t s = 0; s < work.size(); ++s)
        file.WriteHierarchyLine(written[s].Buffer(),
                                work[s].parent >= 0 ? written[(size_t)work[s].parent].Buffer() : nullptr);
    file.WriteBasePositionTitle();
    for (size_t s = 0; s < work.size(); ++s) {
        file.SetNumberSubject(work[s].node->GetNameWithoutPrefix(), 0);
        file.WriteBasePositionLine(written[s].Buffer(), work[s].baseTranslation, work[s].baseAngles,
                                   work[s].length);
    }

    // Segment by segment, each frame's local transform relative to the base position.
    for (int s = 0; s < (int)work.size(); ++s) {
        const WorkNode& w = work[s];
        options->Progress("Writing HTR nodes", 50.0f + 50.0f * (float)s / (float)work.size());
        file.WriteSegmentTitle(written[(size_t)s].Buffer());
        VOxaNode* parentNode = w.parent >= 0 ? work[w.parent].node : nullptr;
        double baseInverse[4][4];
        VgeMatrixIdentity(baseInverse);
        VgeMatrixTranspose3(baseInverse, w.baseRotation);
        // Without limits the local transform is the plain TRS of the current take's curves.
        VFCurve* curves[9] = {};
        VFCurveSampler samplers[9];
        bool fast = !fromGlobal && !HasLimits(w.node);
        if (fast) {
            VOxaTakeNode* take = w.node->GetCurrentTakeNode();
            if (take) {
                VFCurve* found[9] = {
                    take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                    take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                    take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
                for (int c = 0; c < 9; ++c)
                    fast = fast && (curves[c] = found[c]) != nullptr;
            } else {
                fast = false;
            }
        }
        if (fast)
            for (int c = 0; c < 9; ++c)
                samplers[c].Reset(curves[c]);
        VTime time = start;
        for (int f = 0; f < frameCount && !file.WriteFailed(); ++f, time += period) {
            file.SetNumberSubject(w.node->GetNameWithoutPrefix(), f + 1);
            // The scale of the parent's bone and of this one ("SF"): a segment's translation is
            // given unscaled in its parent's frame, and its scale factor is its whole scale.
            double parentScale = 1.0, scale = 1.0;
            double local[4][4];
            VgeMatrixIdentity(local);
            if (fromGlobal) {
                const VgeAMatrix& global = w.node->EvaluateGlobalTransform(time);
                if (anyScaled) scale = UniformScale(global.mData);
                if (parentNode) {
                    const VgeAMatrix& parentGlobal = parentNode->EvaluateGlobalTransform(time);
                    if (anyScaled) parentScale = UniformScale(parentGlobal.mData);
                    VgeMatrixMultInverse(local, parentGlobal.mData, global.mData);
                } else {
                    VgeMatrixCopyAffine(local, global.mData);
                }
            } else if (fast) {
                // The node's own local evaluation without limits, each curve with its own hint.
                double trs[9];
                for (int c = 0; c < 9; ++c)
                    trs[c] = samplers[c].Evaluate(time);
                VgeMatrixFromTRS(local, trs, trs + 3, trs + 6);
            } else {
                VgeMatrixCopyAffine(local, w.node->EvaluateLocalTransform(time).mData);
            }
            if (anyScaled && !fromGlobal) {
                for (int a = w.parent; a >= 0; a = work[a].parent)
                    if (work[a].scaled)
                        parentScale *= UniformScale(work[a].node->EvaluateLocalTransform(time).mData);
                scale = parentScale * (w.scaled ? UniformScale(local) : 1.0);
            }
            double translation[3], angles[3], rotation[4][4];
            for (int k = 0; k < 3; ++k)
                translation[k] = AsKey(local[3][k] * parentScale / mUnitFactor - w.baseTranslation[k]);
            NormalizeRotation(local);
            if (w.turned) {
                double plain[4][4];
                VgeMatrixCopy(plain, local);
                VgeRMatrixMult(local, w.turn, plain);
            }
            // local = relative x base, so relative = local x base^-1.
            VgeMatrixIdentity(rotation);
            VgeMatrixMultRotation(rotation, baseInverse, local);
            VgeMatrixToEulerXYZ(angles, rotation);
            for (int k = 0; k < 3; ++k)
                angles[k] = AsKey(angles[k]);
            file.WriteFrameLine(firstNumber + f, translation, angles, AsKey(scale));
        }
        if (file.WriteFailed()) break;
    }
    file.WriteEndOfFile();
    options->Progress("Writing HTR nodes", 100.0f);

    if (file.WriteFailed()) {
        // A number the file cannot hold is named with its segment and frame.
        const VString unwritable(file.GetUnwritableNumber());
        file.Discard();
        if (!unwritable.IsEmpty()) return Fail(eFILE_NOT_CREATED, unwritable.Buffer());
        return Fail(eOUT_OF_DISK_SPACE);
    }
    // Puts the file in place; a failed flush or rename keeps the old target.
    if (!file.Close()) return Fail(eOUT_OF_DISK_SPACE);
    return true;
}

VOxaWriter* VOxaCreateHtrWriter(VOxaSdkManager* manager) {
    return new VOxaWriterMotionAnalysisHtr(manager);
}
