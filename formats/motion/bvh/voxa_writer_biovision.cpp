#include "formats/motion/bvh/voxa_writer_biovision.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/bvh/voxa_file_biovision.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_take_node.h"

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
// The longest file name quoted in the "Cannot open file" text.
constexpr size_t kMaxQuotedName = 1024;
// The rotation order whose angles the channels Zrotation, Xrotation, Yrotation hold: Y turns a
// point first, then X, then Z.
constexpr int kOrderYXZ = 6;

}  // namespace

VOxaWriter* VOxaCreateWriterBiovision(VOxaSdkManager* manager) {
    return new VOxaWriterBiovision(manager);
}

VOxaWriterBiovision::VOxaWriterBiovision(VOxaSdkManager* manager) : VOxaWriter(manager) {}

VOxaWriterBiovision::~VOxaWriterBiovision() {
    // An unclosed file is dropped: the old target stays.
    if (mFile) mFile->Discard();
}

bool VOxaWriterBiovision::Fail(int id, const char* text) {
    if (text) {
        mError.SetLastError(id, text);
    } else {
        mError.SetLastErrorID(id);
    }
    return false;
}

bool VOxaWriterBiovision::FileCreate(const char* path) {
    if (mFile) mFile->Discard();
    mWriteFailed = false;
    mFile = std::make_unique<VOxaFileBiovision>();
    if (!path || !mFile->Open(path, "w")) {
        mFile.reset();
        VString text("Cannot open file \"");
        if (path && std::strlen(path) > kMaxQuotedName) {
            text += VString(path, (int)kMaxQuotedName);
            text += "...";
        } else if (path) {
            text += path;
        }
        text += "\" for writing.";
        return Fail(eFILE_NOT_OPENED, text.Buffer());
    }
    return true;
}

bool VOxaWriterBiovision::FileClose() {
    if (!mFile) return Fail(eFILE_NOT_OPENED);
    bool ok = true;
    if (mWriteFailed) {
        mFile->Discard();
    } else if (!mFile->Close()) {
        ok = Fail(eOUT_OF_DISK_SPACE);
    }
    mFile.reset();
    mWriteFailed = false;
    return ok;
}

bool VOxaWriterBiovision::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaWriterBiovision::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_REQUIRE_SINGLE_ROOT_NODE, 1);
    return options;
}

bool VOxaWriterBiovision::IsEndSiteNode(VOxaNode* node) {
    if (!node || node->GetChildCount() != 0) return false;
    VOxaNode* parent = node->GetParent();
    if (parent && parent->GetChildCount() != 1) return false;
    // The end a skeleton reader puts below a leaf joint (a BVH End Site, the "_End" node of an
    // HTR segment or ASF bone) marks where its parent's bone ends. Any other leaf is a joint of
    // its own (the head of a skeleton built in code), unless its name says it is an end site.
    return VOxaMotionSupport::IsEndNode(node) || std::strstr(node->GetName(), "_EndSite") != nullptr;
}

void VOxaWriterBiovision::CollectNodes(VOxaNode* root) {
    mEntries.clear();
    mLeftOut.clear();
    // Depth first, children in order, without recursion: push children last first.
    struct Pending {
        VOxaNode* node;
        int parent;
        int level;
    };
    std::vector<Pending> pending{{root, -1, 0}};
    while (!pending.empty()) {
        Pending item = pending.back();
        pending.pop_back();
        Entry entry{};
        entry.mNode = item.node;
        entry.mParent = item.parent;
        entry.mLevel = item.level;
        // The root is always a joint: a single marker is a skeleton of one joint.
        entry.mEndSite = item.parent >= 0 && IsEndSiteNode(item.node);
        const std::vector<VOxaNode*> children = VOxaSkeletonSupport::WrittenChildren(item.node, &mLeftOut);
        entry.mLeaf = !entry.mEndSite && children.empty();
        if (entry.mLeaf) {
            // Taken before the pivot conversion, which clears the rotation axis.
            VOxaNodeLimitsAdapter limits(item.node->GetLimits());
            const VgeTVector axis = limits.GetRotationAxis();
            const double length = item.node->GetNodeProperties()->GetAxisLen();
            const double ry = axis[1] * kRadiansPerDegree, rz = axis[2] * kRadiansPerDegree;
            entry.mLeafEnd[0] = length * std::cos(ry) * std::cos(rz);
            entry.mLeafEnd[1] = length * std::cos(ry) * std::sin(rz);
            entry.mLeafEnd[2] = -length * std::sin(ry);
        }
        // The scene may have changed since its last evaluation: sample it afresh.
        item.node->ResetTransformCaches();
        const int index = (int)mEntries.size();
        mEntries.push_back(entry);
        if (entry.mEndSite) continue;
        for (size_t i = children.size(); i-- > 0;)
            pending.push_back({children[i], index, item.level + 1});
    }
}

bool VOxaWriterBiovision::WriteHierarchy(VTime start, VOxaMotionSampler& sampler) {
    // Scales accumulate down the tree: a node's offset takes its ancestors' scalings at the first
    // frame.
    mScales.assign(mEntries.size(), VgeTVector(1.0, 1.0, 1.0, 0.0));
    // The joint names as the file can hold them: a control character would end or split a line,
    // a brace would read as the start or end of a block.
    std::vector<VString> names;
    std::vector<size_t> nameOf(mEntries.size(), 0);
    for (size_t i = 0; i < mEntries.size(); ++i) {
        if (mEntries[i].mEndSite) continue;
        nameOf[i] = names.size();
        names.push_back(VString(mEntries[i].mNode->GetNameWithoutPrefix()));
    }
    const std::vector<VString> original = names;
    // Readers take a name as one word: a blank is written as '_'.
    names = VTextFile::WritableNames(names, VTextFile::kBraces | VTextFile::kBlanks, nullptr,
                                     BvhJoint::kMaxNameLength);
    VOxaMotionSupport::WarnCutNames(mOptions, original, names, BvhJoint::kMaxNameLength, "BVH joint");
    for (size_t n = 0; n < names.size(); ++n) {
        if (original[n].GetLen() > BvhJoint::kMaxNameLength ||
            std::strchr(original[n].Buffer(), ' ') == nullptr)
            continue;
        VString text("Node \"");
        text += original[n];
        text += "\" is written as \"";
        text += names[n];
        text += "\": BVH joint names hold no blanks.";
        mOptions->Message("Warning", text.Buffer(), "Ok");
    }
    std::vector<int> open;  // joints whose block is open, innermost last
    for (size_t i = 0; i < mEntries.size(); ++i) {
        const Entry& entry = mEntries[i];
        while (!open.empty() && open.back() != entry.mParent) {
            mFile->WriteJointEnd(mEntries[(size_t)open.back()].mLevel);
            open.pop_back();
        }
        VOxaNode* node = entry.mNode;
        mFile->SetNumberSubject(node->GetNameWithoutPrefix(), 0);
        const bool isRoot = entry.mParent < 0;
        const VgeAMatrix& matrix =
            isRoot && mGlobalPosition ? node->GetDefaultGlobalTransform() : node->GetDefaultLocalTransform();
        const VgeTVector inherited = isRoot ? VgeTVector(1.0, 1.0, 1.0, 0.0) : mScales[(size_t)entry.mParent];
        // A joint whose frames carry no translation stays where its current take puts it at the
        // first frame: a reader may give a take translations other than the defaults (an HTR
        // segment whose frame was turned, say).
        VgeTVector t = matrix.GetT();
        if (!entry.mPositions && node->GetCurrentTakeNodeIndex() != 0)
            t = VOxaMotionSupport::JointTranslation(t, sampler.LocalMatrix(node, start).GetT());
        // BVH holds no scale: a joint's offsets below it take its whole scale at the first frame,
        // so that a scale that stays the same over the take is kept.
        const VgeTVector s = entry.mEndSite              ? matrix.GetS()
                             : isRoot && mGlobalPosition ? node->EvaluateGlobalTransform(start).GetS()
                                                         : sampler.LocalMatrix(node, start).GetS();
        const double offset[3] = {t[0] * inherited[0], t[1] * inherited[1], t[2] * inherited[2]};
        mScales[i] = VgeTVector(inherited[0] * s[0], inherited[1] * s[1], inherited[2] * s[2], 0.0);
        if (entry.mEndSite) {
            mFile->WriteEndSite(offset, entry.mLevel);
            continue;
        }
        mFile->WriteJointHeader(names[nameOf[i]].Buffer(), isRoot, offset, !entry.mPositions, true,
                                entry.mLevel);
        if (entry.mLeaf) {
            const double end[3] = {entry.mLeafEnd[0] * mScales[i][0], entry.mLeafEnd[1] * mScales[i][1],
                                   entry.mLeafEnd[2] * mScales[i][2]};
            mFile->WriteEndSite(end, entry.mLevel + 1);
        }
        open.push_back((int)i);
        if (mFile->WriteFailed()) return false;
    }
    while (!open.empty()) {
        mFile->WriteJointEnd(mEntries[(size_t)open.back()].mLevel);
        open.pop_back();
    }
    return !mFile->WriteFailed();
}

bool VOxaWriterBiovision::WriteFrame(VTime time, int frame, VOxaMotionSampler& sampler) {
    for (size_t i = 0; i < mEntries.size(); ++i) {
        const Entry& entry = mEntries[i];
        if (entry.mEndSite) continue;
        VOxaNode* node = entry.mNode;
        mFile->SetNumberSubject(node->GetNameWithoutPrefix(), frame);
        const bool isRoot = entry.mParent < 0;
        const VgeAMatrix& matrix =
            isRoot && mGlobalPosition ? node->EvaluateGlobalTransform(time) : sampler.LocalMatrix(node, time);
        const VgeTVector inherited = isRoot ? VgeTVector(1.0, 1.0, 1.0, 0.0) : mScales[(size_t)entry.mParent];
        const VgeTVector t = matrix.GetT();
        // The scaling (as GetS gives it) and the rotation of the matrix, its rows made unit
        // length and turned by a mirroring scaling, in one pass.
        const double det = VgeMatrixDeterminant3(matrix.mData);
        const double angleSign = det < 0.0 ? -1.0 : 1.0;
        const double scaleSign = det >= 0.0 ? 1.0 : -1.0;
        double s[3], rotation[4][4];
        VgeMatrixIdentity(rotation);
        for (int r = 0; r < 3; ++r) {
            const double* row = matrix.mData[r];
            const double len = std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]);
            s[r] = scaleSign * len;
            const double f = len != 0.0 ? angleSign / len : 0.0;
            for (int c = 0; c < 3; ++c)
                rotation[r][c] = row[c] * f;
        }
        const double translation[3] = {t[0] * inherited[0], t[1] * inherited[1], t[2] * inherited[2]};
        mScales[i] = VgeTVector(inherited[0] * s[0], inherited[1] * s[1], inherited[2] * s[2], 0.0);

        // The angles of the written order, taken from the rotation itself: a detour through
        // angles of another order would round a middle angle near +-90 of that order to its pole.
        double yxz[3];
        VgeMatrixToEuler(yxz, rotation, kOrderYXZ);
        const double angles[3] = {yxz[1], yxz[0], yxz[2]};  // about X, Y, Z
        mFile->WriteJointValues(translation, angles, isRoot, !entry.mPositions);
    }
    mFile->WriteFrameEnd();
    return !mFile->WriteFailed();
}

bool VOxaWriterBiovision::Write(VOxaScene* scene, VStreamOptions* options) {
    if (!mFile) return Fail(eFILE_NOT_OPENED);
    VOxaNode* root = FindMotionRootNode(scene);
    if (!root) {
        mWriteFailed = true;
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::NoRootRefusal(scene, "Can not find root node."));
    }
    if (!options || !options->IsA(VStreamOptionsMotion::ClassId)) return Fail(eSTREAM_OPTIONS_NOT_SET);
    // A tree of geometry (a lone mesh, say) is no skeleton.
    if (!VOxaMotionSupport::HasJoints(root)) {
        mWriteFailed = true;
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::kNoJoints);
    }
    VStreamOptionsMotion* motion = static_cast<VStreamOptionsMotion*>(options);
    VString refusal("");
    if (!VOxaSkeletonSupport::FramesFit(motion, refusal)) {
        mWriteFailed = true;
        return Fail(eFILE_NOT_CREATED, refusal.Buffer());
    }
    mOptions = motion;
    mRoot = root;
    mRotationOnly = motion->GetOption(VStreamOptionsMotion::eTRANSLATION) != 1;
    mGlobalPosition = motion->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION) == 1;

    CollectNodes(root);
    // Every entry is a joint or an end site of the file, and a leaf joint adds its end site:
    // the reader takes no more than its limit.
    size_t joints = 0;
    for (const Entry& entry : mEntries)
        joints += entry.mLeaf ? 2 : 1;
    char text[400];
    text[0] = 0;
    if (joints > (size_t)VOxaFileBiovision::kMaxJoints) {
        std::snprintf(text, sizeof text, "%zu joints and end sites are more than the %d a BVH file may hold",
                      joints, VOxaFileBiovision::kMaxJoints);
    } else {
        // The reader takes joints nested up to its depth (the root on the first level); an end
        // site below the deepest joint is still read.
        for (const Entry& entry : mEntries) {
            if (entry.mEndSite || entry.mLevel < VOxaFileBiovision::kMaxDepth) continue;
            std::snprintf(
                text, sizeof text,
                "joint \"%.200s\" is nested %d levels deep: a BVH file may nest joints %d levels deep",
                entry.mNode->GetNameWithoutPrefix(), entry.mLevel + 1, VOxaFileBiovision::kMaxDepth);
            break;
        }
    }
    if (text[0]) {
        mEntries.clear();
        mOptions = nullptr;
        mRoot = nullptr;
        mWriteFailed = true;
        return Fail(eFILE_NOT_CREATED, text);
    }
    VOxaSkeletonSupport::WarnLeftOut(motion, mLeftOut, "BVH");
    VOxaSkeletonSupport::WarnMarkerEnds(motion, root, "BVH", false);
    // Markers hang below a reference node: when none was ever seen, nothing is left to write.
    if (mEntries.size() == 1 && !mLeftOut.empty() && !VOxaMotionSupport::IsJoint(root)) {
        mEntries.clear();
        mLeftOut.clear();
        mOptions = nullptr;
        mRoot = nullptr;
        mWriteFailed = true;
        return Fail(eFILE_NOT_CREATED, VOxaMotionSupport::kNoJoints);
    }
    mLeftOut.clear();
    // The file has no field for a start: its frames read back from 0.
    if (motion->GetStartTime().Get() != 0 && motion->GetFrameCount() > 0) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "The take starts at %g s: BVH holds no start time, so its frames are read back "
                      "from 0 s.",
                      motion->GetStartTime().GetSecondDouble());
        motion->Message("Warning", text, "Ok");
    }
    // The joints are sampled with their pivots in their animation; the caller's scene gets its
    // own back when the write ends, whichever way.
    VOxaPivotConversionScope converted(root);
    if (!converted.Converted()) {
        mEntries.clear();
        mOptions = nullptr;
        mRoot = nullptr;
        mWriteFailed = true;
        return Fail(eNOT_ENOUGH_MEMORY);
    }
    // A joint moved by its animation after the conversion (a rotation pivot turns with the
    // joint) gets position channels, as every joint does when translation is asked for.
    for (Entry& entry : mEntries)
        entry.mPositions = entry.mParent < 0 || !mRotationOnly ||
                           (!entry.mEndSite && VOxaMotionSupport::TranslationVaries(entry.mNode));
    // Every frame evaluates each joint: their channels are found once, and the joints read
    // through them are evaluated in the sampler's records.
    VOxaMotionSampler sampler(root);

    VTime time = motion->GetStartTime();
    bool ok = WriteHierarchy(time, sampler);
    const int frames = motion->GetFrameCount();
    const VTime period = motion->GetFramePeriod();
    // A custom rate's own frame time, not the period's whole ticks.
    const double frameTime =
        motion->IsCustomFrameRate() ? 1.0 / motion->GetFrameRate() : period.GetSecondDouble();
    ok = ok && mFile->WriteMotionHeader(frames, frameTime);
    // BVH holds no scale: offsets and end sites take the scales of the first frame. A joint whose
    // scale differs in a later frame moves its children's bones by what the file cannot say.
    VOxaScaleChanges scaleChanges(mScales);
    for (int i = 0; ok && i < frames; ++i) {
        motion->Progress("Writing BVH nodes", (float)(100LL * i / frames));
        ok = WriteFrame(time, i + 1, sampler);
        time = time + period;
        for (size_t k = 0; k < mScales.size(); ++k)
            if (!mEntries[k].mEndSite) scaleChanges.Note(k, mScales[k]);
    }
    if (ok) {
        std::vector<const char*> names(mEntries.size(), nullptr);
        for (size_t k = 0; k < mEntries.size(); ++k)
            if (!mEntries[k].mEndSite) names[k] = mEntries[k].mNode->GetNameWithoutPrefix();
        scaleChanges.Warn(motion, names, "BVH");
    }
    mEntries.clear();
    mScales.clear();
    mOptions = nullptr;
    mRoot = nullptr;
    if (!ok) {
        mWriteFailed = true;
        // A number the file cannot hold is named with its joint and frame.
        if (*mFile->GetUnwritableNumber()) return Fail(eFILE_NOT_CREATED, mFile->GetUnwritableNumber());
        return Fail(eOUT_OF_DISK_SPACE);
    }
    return true;
}
