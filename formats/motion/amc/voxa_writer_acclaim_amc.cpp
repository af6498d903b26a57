#include "formats/motion/amc/voxa_writer_acclaim_amc.h"

#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "animation/fcurve_node.h"
#include "base/vge_matrix.h"
#include "formats/motion/amc/voxa_file_acclaim_amc.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_take_node.h"

namespace {

// Binds the bones to the nodes below `root`: the root bone to `root`, every other bone to the
// node of its name (of its node's name, for a renamed bone) below its parent bone's node (a direct child
// first, then deeper). A bone whose node is missing is skipped and its children are searched below the same
// node.
void BindBones(VOxaAsfScene* skeleton, VOxaNode* root) {
    struct Item {
        AsfBone* bone;
        VOxaNode* below;
    };
    std::vector<Item> stack{{skeleton->GetRootBone(), nullptr}};
    while (!stack.empty()) {
        Item item = stack.back();
        stack.pop_back();
        AsfBone* b = item.bone;
        VOxaNode* node = root;
        if (item.below) {
            // A bone renamed for the files is bound by its node's name.
            const char* name = b->mNodeName.IsEmpty() ? b->mName.Buffer() : b->mNodeName.Buffer();
            node = item.below->FindChild(name, false);
            if (!node) node = item.below->FindChild(name, true);
        }
        b->mBoundNode = node;
        b->mBoundT = b->mBoundR = b->mBoundS = nullptr;
        if (node) {
            VOxaTakeNode* take = node->GetCurrentTakeNode();
            VFCurveNode* transform = take ? take->GetVFCurveNode()->FindChild("Transform") : nullptr;
            if (transform) {
                b->mBoundT = transform->FindChild("T");
                b->mBoundR = transform->FindChild("R");
                b->mBoundS = transform->FindChild("S");
            }
        }
        if (b->mParent) {
            VgeMatrixCopy(b->mParentAxis, b->mParent->mAxis);
            VgeMatrixCopy(b->mParentAxisInverse, b->mParent->mAxisInverse);
        }
        VOxaNode* below = node ? node : item.below;
        for (size_t i = b->mChildren.size(); i-- > 0;)
            stack.push_back({b->mChildren[i], below});
    }
}

}  // namespace

VOxaWriter* VOxaCreateWriterAcclaimAmc(VOxaSdkManager* manager) {
    return new VOxaWriterAcclaimAmc(manager);
}

VOxaWriterAcclaimAmc::VOxaWriterAcclaimAmc(VOxaSdkManager* manager) : VOxaAcclaimFileWriter(manager) {}

VStreamOptions* VOxaWriterAcclaimAmc::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_REQUIRE_SINGLE_ROOT_NODE, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RATE, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE, 0);
    return options;
}

bool VOxaWriterAcclaimAmc::Write(VOxaScene* scene, VStreamOptions* options) {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    VOxaNode* root = FindMotionRootNode(scene);
    if (!root)
        return VOxaMotionSupport::Refuse(
            mError, VOxaMotionSupport::NoRootRefusal(scene, "Scene must have a single root node."));
    VStreamOptionsMotion* motion = options && options->IsA(VStreamOptionsMotion::ClassId)
                                       ? static_cast<VStreamOptionsMotion*>(options)
                                       : nullptr;
    VPlug* attached = motion ? motion->GetAttachedObject() : nullptr;
    VOxaAsfScene* skeleton =
        attached && attached->IsA(VOxaAsfScene::ClassId) ? static_cast<VOxaAsfScene*>(attached) : nullptr;
    if (!skeleton || !skeleton->GetRootBone()) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    // The rate first: one without a usable frame period is why a take has no frames. A file of no
    // frame is a header its reader refuses.
    VString refusal("");
    if (!VOxaSkeletonSupport::FramesFit(motion, refusal))
        return VOxaMotionSupport::Refuse(mError, refusal.Buffer());
    if (motion->GetFrameCount() <= 0)
        return VOxaMotionSupport::Refuse(mError, VOxaMotionSupport::kNoFrames, scene);
    // The bones are sampled with the pivots in the animation; the caller's scene gets its own
    // back when the write ends, whichever way.
    VOxaPivotConversionScope converted(root);
    if (!converted.Converted()) {
        mError.SetLastErrorID(eNOT_ENOUGH_MEMORY);
        return false;
    }
    BindBones(skeleton, root);

    const long long count = motion->GetFrameCount();
    const VTime period = motion->GetFramePeriod();
    const double rate = motion->GetFrameRate();
    VTime time = motion->GetStartTime();
    // Frames count from 1 at time 0: the numbers keep a later start (frame 11 at 0.1 s and 100
    // frames per second), and so does the range, which counts from 0.
    long long number = 1;
    if (!VOxaSkeletonSupport::FrameNumbersFit(time, rate, count, "AMC", number, refusal))
        return VOxaMotionSupport::Refuse(mError, refusal.Buffer());
    const long long first = number - 1;
    VOxaNode* parent = motion->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION) == 1
                           ? root->GetParent()
                           : nullptr;

    mFile->WriteHeader(motion->GetOption(VStreamOptionsMotion::eEXPORT_FRAME_RATE) != 0, rate,
                       motion->GetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE) != 0, first,
                       first + count - 1);
    mFile->PrepareWrite(skeleton);
    // AMC holds no scale: the skeleton's bones have the lengths of the scene's translations, times
    // the whole scale of their joints at the first frame. A joint whose scale differs from that in
    // a later frame changes its bone's length by what the file cannot say.
    const size_t bones = mFile->GetWriteBoneCount();
    std::optional<VOxaScaleChanges> scaleChanges;
    int lastPercent = -1;
    for (long long n = 1; n <= count && !mFile->WriteFailed(); ++n) {
        const int percent = (int)(n * 100 / count);
        if (percent != lastPercent) {
            motion->Progress("Writing AMC animation frames", (float)percent);
            lastPercent = percent;
        }
        const double(*matrix)[4] = parent ? parent->EvaluateGlobalTransform(time).mData : nullptr;
        mFile->WriteFrame(skeleton, time, number + n - 1, matrix);
        time += period;
        if (!scaleChanges) {
            std::vector<VgeTVector> first(bones);
            for (size_t i = 0; i < bones; ++i)
                first[i] = mFile->GetWrittenScale(i);
            scaleChanges.emplace(std::move(first));
        }
        for (size_t i = 0; i < bones; ++i)
            scaleChanges->Note(i, mFile->GetWrittenScale(i));
    }
    if (mFile->WriteFailed()) {
        // A number the file cannot hold is named with its bone and frame.
        if (*mFile->GetUnwritableNumber())
            return VOxaMotionSupport::Refuse(mError, mFile->GetUnwritableNumber());
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    // The joints are named as the scene names them; a bone made up for the file (a "Dummy") has
    // no node to name.
    std::vector<const char*> names(bones, nullptr);
    for (size_t i = 0; i < bones; ++i)
        if (const VOxaNode* node = mFile->GetWriteBone(i)->mBoundNode)
            names[i] = node->GetNameWithoutPrefix();
    if (scaleChanges) scaleChanges->Warn(motion, names, "AMC");
    mWritten = true;
    return true;
}
