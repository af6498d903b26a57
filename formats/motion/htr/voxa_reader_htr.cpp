#include "formats/motion/htr/voxa_reader_htr.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "animation/anim_import_filters.h"
#include "animation/fcurve.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vpath.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_motion_names.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

namespace {

enum ELimitKind : int { eTRANSLATION = 0, eROTATION = 1 };

// The limits adapter keeps a bone length only while it lives; the node's "AxisLen" keeps it for
// the skeleton writers (the BVH reader and writer use the same property).
void SetBoneLength(VOxaNode* node, double length) {
    if (node && node->GetNodeProperties()) node->GetNodeProperties()->SetAxisLen(length);
}

// Adds take `name` to `node` and makes it current.
VOxaTakeNode* UseTake(VOxaNode* node, const char* name) {
    VOxaTakeNode* take = node->AddTakeNode(name);
    node->SetCurrentTakeNode(name);
    return take;
}

}  // namespace

VOxaReaderMotionAnalysisHtr::VOxaReaderMotionAnalysisHtr(VOxaSdkManager* manager) : VOxaReader(manager) {}

VOxaReaderMotionAnalysisHtr::~VOxaReaderMotionAnalysisHtr() {
    delete mFile;
    mFile = nullptr;
}

bool VOxaReaderMotionAnalysisHtr::Fail(int id) {
    mError.SetLastErrorID(id);
    return false;
}

bool VOxaReaderMotionAnalysisHtr::Corrupted(const char* detail) {
    return VOxaMotionSupport::Corrupted(mError, detail ? detail : mFile ? mFile->GetFailure() : "");
}

bool VOxaReaderMotionAnalysisHtr::FileOpen(const char* path) {
    if (mFile) FileClose();
    mFile = new VOxaFileMotionAnalysisHtr(false);
    if (!path || !mFile->Open(path, "r")) {
        FileClose();
        return Fail(eFILE_NOT_OPENED);
    }
    mFileName = path;
    return true;
}

bool VOxaReaderMotionAnalysisHtr::FileClose() {
    mFileName = "";
    mSkeletonRoot = nullptr;
    if (!mFile) return Fail(eFILE_NOT_OPENED);
    delete mFile;
    mFile = nullptr;
    return true;
}

bool VOxaReaderMotionAnalysisHtr::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaReaderMotionAnalysisHtr::GetReadOptions() {
    if (!mFile) {
        Fail(eFILE_NOT_OPENED);
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!mFile->ReadHeaderOnly(options)) {
        Corrupted();
        options->Destroy();
        return nullptr;
    }
    return options;
}

bool VOxaReaderMotionAnalysisHtr::Read(VOxaScene* scene, VStreamOptions* base) {
    if (!mFile) return Fail(eFILE_NOT_OPENED);
    if (!base || !base->IsA(VStreamOptionsMotion::ClassInfo.GetId()) || !scene || !mManager)
        return Fail(eSTREAM_OPTIONS_NOT_SET);
    // The joints go below the scene's root: a scene whose root was destroyed takes none.
    if (!scene->GetRootNode()) return Fail(eUNIDENTIFIED_ERROR);
    VStreamOptionsMotion* options = static_cast<VStreamOptionsMotion*>(base);

    options->Progress("Reading HTR nodes", 0.0f);
    const bool structure = mFile->ReadStructure();
    mMessageText += mFile->GetWarnings();
    mFile->ClearWarnings();
    if (!structure) return Corrupted();

    VString takeName = ::GetFileName(mFileName.Buffer(), false);
    VOxaNode* reference = mManager->CreateNode("HTR:reference");
    if (!reference) return Fail(eFILE_CORRUPTED);
    if (!BuildSkeleton(mManager, reference, takeName.Buffer(), options)) return false;

    VString report("Duplicate names found in ");
    report += takeName;
    report += ":";
    if (!CheckDuplicateNamesBelow(reference, report)) {
        options->Message("Error", report.Buffer());
        return Corrupted(report.Buffer());
    }

    VOxaNode* root = scene->GetRootNode();
    VOxaNode* top = reference;
    if (options->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE) != 1) {
        while (reference->GetChildCount() > 0)
            root->AddChild(reference->GetChild(0));
        mManager->DestroyNode(reference);
        top = root;
    } else {
        root->AddChild(reference);
    }

    const bool animation = ReadAnimation(options, top);
    mMessageText += mFile->GetWarnings();
    mFile->ClearWarnings();
    if (!animation) return false;

    VTime start = options->GetStartTime();
    int frames = options->GetFrameCount();
    VTime stop = frames > 0 ? start + options->GetFramePeriod() * (int64_t)(frames - 1) : start;
    VOxaTakeInfo info;
    info.mName = takeName;
    info.mLocalTimeSpan.Set(start, stop);
    info.mReferenceTimeSpan.Set(start, stop);
    scene->SetTakeInfo(info);
    // Nodes that were in the scene before the read lack the take; the new ones are switched.
    scene->SetCurrentTake(takeName.Buffer());

    if (!CreateRestPose(scene, top)) return Fail(eFILE_CORRUPTED);
    return true;
}

bool VOxaReaderMotionAnalysisHtr::BuildSkeleton(VOxaSdkManager* manager, VOxaNode* parent,
                                                const char* takeName, VStreamOptionsMotion*) {
    const int count = mFile->GetSegmentCount();
    mSkeletonRoot = nullptr;
    if (!manager || !parent || count <= 0) return Fail(eFILE_CORRUPTED);
    // The node above the skeleton carries the take too, so that the whole read switches to it.
    if (!parent->SetCurrentTakeNode(takeName)) UseTake(parent, takeName);

    int rootIndex = -1;
    for (int i = 0; i < count; ++i) {
        Segment* segment = mFile->GetSegment(i);
        int parentIndex =
            segment->mParent == "GLOBAL" ? -1 : mFile->FindSegmentIndex(segment->mParent.c_str());
        segment->mParentIndex = parentIndex;
        if (parentIndex < 0) {
            // One segment only may stand without a parent segment.
            if (rootIndex >= 0) {
                VString why("segments \"");
                why += mFile->GetSegment(rootIndex)->mName.c_str();
                why += "\" and \"";
                why += segment->mName.c_str();
                why += "\" both have no parent segment";
                return Corrupted(why.Buffer());
            }
            rootIndex = i;
        }
    }
    if (rootIndex < 0) return Corrupted("every segment has a parent segment: the hierarchy has no root");

    // Every parent chain must end at the root: a cycle (A under B, B under A) beside the root
    // would otherwise become a loop in the scene graph. Depths are memoised, so this is linear.
    std::vector<int> depth(count, -1);
    std::vector<int> path;
    for (int i = 0; i < count; ++i) {
        int k = i;
        path.clear();
        while (k >= 0 && depth[k] < 0) {
            depth[k] = -2;  // on the current path
            path.push_back(k);
            k = mFile->GetSegment(k)->mParentIndex;
            if (k >= 0 && depth[k] == -2) return Corrupted("the segments' parents form a loop");
        }
        int d = k < 0 ? -1 : depth[k];
        for (int p = (int)path.size() - 1; p >= 0; --p) {
            depth[path[p]] = ++d;
            if (d > kMaxDepth) return Corrupted("segments nested too deep");
        }
    }

    // The nodes only once the hierarchy is known to be sound: a refused file costs no nodes.
    for (int i = 0; i < count; ++i) {
        Segment* segment = mFile->GetSegment(i);
        VOxaNode* node = manager->CreateNode(segment->mName.c_str());
        VOxaSkeleton* skeleton = manager->CreateSkeleton();
        if (!node || !skeleton) return Fail(eFILE_CORRUPTED);
        skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
        SetBoneLength(node, segment->mBoneLength);
        node->SetNodeAttribute(skeleton);
        segment->mNode = node;

        double angles[3];
        VgeMatrixToEulerXYZ(angles, segment->mBaseRotation);
        node->SetLclTranslation(VgeTVector(segment->mBaseTranslation[0], segment->mBaseTranslation[1],
                                           segment->mBaseTranslation[2], 0.0));
        node->SetLclRotation(VgeTVector(angles[0], angles[1], angles[2], 0.0));
        node->SetLclScaling(VgeTVector(1.0, 1.0, 1.0, 0.0));

        VOxaTakeNode* take = UseTake(node, takeName);
        if (!take) return Fail(eFILE_CORRUPTED);
        VFCurve* curves[9] = {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                              take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                              take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
        for (int c = 0; c < 9; ++c)
            segment->mCurves[c] = curves[c];
    }

    for (int i = 0; i < count; ++i) {
        Segment* segment = mFile->GetSegment(i);
        Segment* parentSegment = mFile->GetSegment(segment->mParentIndex);
        (parentSegment ? parentSegment->mNode : parent)->AddChild(segment->mNode);
    }
    mSkeletonRoot = mFile->GetSegment(rootIndex)->mNode;

    // The end node of a leaf segment is named after it, clear of the names of the segments.
    VOxaMadeUpNames madeUp;
    for (int i = 0; i < count; ++i)
        madeUp.Use(mFile->GetSegment(i)->mName.c_str());
    for (int i = 0; i < count; ++i) {
        Segment* segment = mFile->GetSegment(i);
        bool leaf = segment->mNode->GetChildCount() == 0;
        SetupSegmentLimits(segment);
        if (!leaf) continue;
        const VString endName = madeUp.Claim((segment->mName + "_End").c_str());
        VOxaNode* end = manager->CreateNode(endName.Buffer());
        VOxaSkeleton* skeleton = manager->CreateSkeleton();
        if (!end || !skeleton) return Fail(eFILE_CORRUPTED);
        skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
        end->SetNodeAttribute(skeleton);
        segment->mNode->AddChild(end);
        SetupEndNode(segment, end);
        UseTake(end, takeName);
    }
    return true;
}

void VOxaReaderMotionAnalysisHtr::SetupSegmentLimits(Segment* segment) {
    VOxaNode* node = segment ? segment->mNode : nullptr;
    if (!node) return;
    const VgeAMatrix& global = node->GetDefaultGlobalTransform();
    VgeMatrixNormalizeRows(segment->mSecondMatrix, global.mData);

    // The bone axis turned by the node's default global orientation.
    double axisFrame[4][4];
    VgeMatrixIdentity(axisFrame);
    VgeMatrixMultRotation(axisFrame, segment->mSecondMatrix, mFile->GetBoneAxisMatrix());
    double angles[3];
    VgeMatrixToEulerXYZ(angles, axisFrame);

    VOxaNodeLimitsAdapter limits(node->GetLimits());
    limits.SetRotationAxis(VgeTVector(angles[0], angles[1], angles[2], 0.0));
    limits.SetAxisLength(segment->mBoneLength);
    limits.SetRotationType(false);
    limits.SetMin(eROTATION, VgeTVector(-180.0, -150.0, -150.0, 0.0));
    limits.SetMax(eROTATION, VgeTVector(180.0, 150.0, 150.0, 0.0));
}

void VOxaReaderMotionAnalysisHtr::SetupEndNode(Segment* segment, VOxaNode* endNode) {
    if (!segment || !endNode) return;
    double t[3] = {0.0, 0.0, 0.0};
    int axis = mFile->GetBoneLengthAxis();
    if (axis >= 0 && axis < 3) t[axis] = segment->mBoneLength;
    VgeTVector translation(t[0], t[1], t[2], 0.0);
    endNode->SetLclTranslation(translation);

    VOxaNodeLimitsAdapter limits(endNode->GetLimits());
    limits.SetAuto(eTRANSLATION, false);
    limits.SetAuto(eROTATION, false);
    limits.SetEnable(eTRANSLATION, true);
    limits.SetDefault(eTRANSLATION, translation);
    limits.SetAxisLength(0.0);
    SetBoneLength(endNode, 0.0);
}

bool VOxaReaderMotionAnalysisHtr::ReadAnimation(VStreamOptionsMotion* options, VOxaNode*) {
    if (!mFile || !options) return Fail(eFILE_CORRUPTED);
    if (mFile->IsAtEnd()) return Corrupted("the file ends before the animation data");
    int frameCount = options->GetFrameCount();
    if (frameCount > mFile->GetNumFrames()) {
        frameCount = mFile->GetNumFrames();
        options->SetFrameCount(frameCount);
    }
    const VTime start = options->GetStartTime();
    const VTime period = options->GetFramePeriod();
    // A period under one tick would put every key at the same time; the last key's time must
    // not wrap around.
    if (period.Get() <= 0) return Corrupted("the frame rate has no usable frame period");
    if (frameCount > 1) {
        int64_t span = 0, last = 0;
        if (__builtin_mul_overflow(period.Get(), (int64_t)(frameCount - 1), &span) ||
            __builtin_add_overflow(start.Get(), span, &last))
            return Corrupted("the frames reach past the end of the time line");
    }

    const int count = mFile->GetSegmentCount();
    // A block may hold fewer frames than the header names: the frames every block holds are read.
    // `held` says the line read last is the title of the next block.
    bool held = false, cut = false;
    int extra = 0;
    for (int b = 0; b < count; ++b) {
        options->Progress("Reading HTR nodes", count ? 100.0f * (float)b / (float)count : 100.0f);
        if (b > 0 && !held && !mFile->ReadNextLine()) {
            mFile->Fail("the file ends after %d of %d segment blocks", b, count);
            return Corrupted();
        }
        held = false;
        const char* title = mFile->GetCursor();
        Segment* segment = mFile->FindSegmentBlock();
        // Each block names a segment of the hierarchy, once.
        if (!segment || segment->mKeysRead) {
            if (!segment && !*title) return Corrupted();
            mFile->Fail(segment ? "the block of segment \"%.40s\" comes twice"
                                : "\"%.40s\" is not the bracketed name of a segment",
                        segment ? segment->mName.c_str() : title);
            return Corrupted();
        }
        segment->BeginKeys(frameCount);
        VTime time = start;
        for (int i = 0; i < frameCount; ++i, time += period) {
            const bool line = mFile->ReadNextLine();
            const char first = line ? *mFile->GetCursor() : '\0';
            if (line && mFile->ReadFrameLine(segment, i, time)) continue;
            // The block ends here (the next block's title, or the end of the file, follows), or
            // the file's last line is a frame line cut short (it begins with the frame number)
            // while it was written.
            const bool next = line && first == '[';
            const bool ended = !line || ((first >= '0' && first <= '9') && !mFile->ReadNextLine());
            segment->EndKeys();
            // Every segment read so far has its first i frames, which are read; so are the first
            // i of the blocks that follow.
            if (i > 0 && (next || (ended && b == count - 1))) {
                for (int k = 0; k <= b; ++k)
                    for (VFCurve* curve : mFile->GetSegment(k)->mCurves)
                        if (curve && curve->KeyGetCount() > i)
                            curve->KeyRemoveRange(i, curve->KeyGetCount() - 1);
                for (int k = 0; k <= b; ++k)
                    if (mFile->GetSegment(k)->mScales.size() > (size_t)i)
                        mFile->GetSegment(k)->mScales.resize((size_t)i);
                frameCount = i;
                options->SetFrameCount(i);
                segment->mKeysRead = true;
                held = next;
                cut = true;
                mFile->ClearFailure();
                break;
            }
            if (!line)
                mFile->Fail("the file ends after %d of the %d frames of segment \"%.40s\"", i, frameCount,
                            segment->mName.c_str());
            return Corrupted();
        }
        if (segment->mKeysRead) {
            if (!held) break;
            continue;
        }
        // Frames past those read: up to the next block's title.
        int passed = 0;
        while (mFile->ReadNextLine()) {
            if (*mFile->GetCursor() == '[') {
                held = true;
                break;
            }
            ++passed;
        }
        if (passed > mFile->GetNumFrames() - frameCount && extra++ == 0) {
            char text[200];
            std::snprintf(
                text, sizeof text,
                "HTR: the block of segment \"%.60s\" holds %d frame lines, more than the %d its header "
                "names: the lines past them are not read\n",
                segment->mName.c_str(), frameCount + passed, mFile->GetNumFrames());
            mMessageText += text;
        }
        segment->EndKeys();
        segment->mKeysRead = true;
    }
    // A block after the last segment's names a segment again.
    if (held) {
        const Segment* again = mFile->FindSegmentBlock();
        if (again) {
            mFile->Fail("the block of segment \"%.40s\" comes twice", again->mName.c_str());
            return Corrupted();
        }
        mFile->ClearFailure();
    }
    if (cut) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "HTR: the file holds %d of the %d frames its header names: %d frames are read\n",
                      frameCount, mFile->GetNumFrames(), frameCount);
        mMessageText += text;
    }

    ApplyScaleFactors(frameCount);
    for (int c = 0; c < count; ++c) {
        Segment* segment = mFile->GetSegment(c);
        ApplyJointImportFilters(&segment->mCurves[0], &segment->mCurves[3]);
    }
    options->Progress("Reading HTR nodes", 100.0f);
    return true;
}

void VOxaReaderMotionAnalysisHtr::ApplyScaleFactors(int frameCount) {
    const int count = mFile->GetSegmentCount();
    auto factor = [](const Segment* segment, int frame) {
        return frame < (int)segment->mScales.size() ? (double)segment->mScales[(size_t)frame] : 1.0;
    };
    for (int i = 0; i < count; ++i) {
        Segment* segment = mFile->GetSegment(i);
        const Segment* parent = mFile->GetSegment(segment->mParentIndex);
        const bool parentScaled = parent && !parent->mScales.empty();
        if (segment->mScales.empty() && !parentScaled) continue;
        for (VFCurve* curve : segment->mCurves)
            if (curve) curve->KeyModifyBegin();
        for (int f = 0; f < frameCount; ++f) {
            const double parentFactor = parentScaled ? factor(parent, f) : 1.0;
            const float scale = (float)(factor(segment, f) / parentFactor);
            for (int c = 0; c < 9; ++c) {
                VFCurve* curve = segment->mCurves[c];
                if (!curve || f >= curve->KeyGetCount()) continue;
                if (c >= 6)
                    curve->KeySetValue(f, scale);
                else if (c < 3 && parentScaled)
                    curve->KeySetValue(f, (float)(curve->KeyGetValue(f) / parentFactor));
            }
        }
        for (VFCurve* curve : segment->mCurves)
            if (curve) curve->KeyModifyEnd();
    }
}

VOxaPose* VOxaReaderMotionAnalysisHtr::CreateRestPose(VOxaScene* scene, VOxaNode* top) {
    if (!scene || !top || !mManager) return nullptr;
    VString name(top->GetNameWithoutPrefix());
    name += "_RESTPOSE";
    VOxaPose* pose = mManager->CreatePose(name.Buffer(), 0);
    if (!pose) return nullptr;
    const double unit[3] = {1.0, 1.0, 1.0};
    for (int i = 0; i < mFile->GetSegmentCount(); ++i) {
        Segment* segment = mFile->GetSegment(i);
        if (!segment->mNode) return nullptr;
        double angles[3];
        VgeMatrixToEulerXYZ(angles, segment->mBaseRotation);
        VMatrix matrix;
        VgeMatrixFromTRS(matrix.mData, segment->mBaseTranslation, angles, unit);
        if (pose->Add(segment->mNode->GetNameWithoutPrefix(), matrix, true) < 0) return nullptr;
    }
    scene->AddPose(pose);
    return pose;
}

VOxaReader* VOxaCreateHtrReader(VOxaSdkManager* manager) {
    return new VOxaReaderMotionAnalysisHtr(manager);
}
