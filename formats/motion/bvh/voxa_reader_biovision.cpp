#include "formats/motion/bvh/voxa_reader_biovision.h"

#include <cmath>

#include "attributes/voxa_skeleton.h"
#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "base/vge_quaternion.h"
#include "base/vpath.h"
#include "formats/motion/bvh/voxa_file_biovision.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_motion_names.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_limits_adapter.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node.h"

VOxaReader* VOxaCreateReaderBiovision(VOxaSdkManager* manager) {
    return new VOxaReaderBiovision(manager);
}

VOxaReaderBiovision::VOxaReaderBiovision(VOxaSdkManager* manager) : VOxaReader(manager) {}

VOxaReaderBiovision::~VOxaReaderBiovision() {
    if (mFile) mFile->Close();
}

bool VOxaReaderBiovision::FileOpen(const char* path) {
    if (mFile) FileClose();
    mFile = std::make_unique<VOxaFileBiovision>();
    if (!path || !mFile->Open(path, "r")) {
        mFile.reset();
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFileName = path;
    return true;
}

bool VOxaReaderBiovision::FileClose() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFile->Close();
    mFile.reset();
    mFileName = "";
    return true;
}

bool VOxaReaderBiovision::IsFileOpen() {
    return mFile != nullptr;
}

bool VOxaReaderBiovision::Corrupted(const char* detail) {
    return VOxaMotionSupport::Corrupted(mError, detail);
}

VStreamOptions* VOxaReaderBiovision::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    if (!options) return nullptr;
    if (!mFile->ScanHeader(options)) {
        Corrupted(mFile->GetFailure());
        delete options;
        return nullptr;
    }
    return options;
}

namespace {

// The XYZ Euler angles (degrees) of the turn that brings the X axis onto the unit direction `d`.
VgeTVector AimX(const double d[3]) {
    double q[4];
    VgeQuaternionFromXAxis(q, d);
    // Straight back along -X the quaternion vanishes: a half turn about Z instead.
    if (std::fabs(q[3]) < 1e-9) VgeQuaternionSet(q, 0.0, 0.0, 1.0, 0.0);
    double m[4][4];
    VgeMatrixIdentity(m);
    VgeQuaternionToMatrix(m, q);
    // The angles of this very turn: an aim a few hundredths of a degree off the Z axis keeps them.
    double angles[3];
    VgeMatrixToEuler(angles, m, 0);
    return VgeTVector(angles[0], angles[1], angles[2], 0.0);
}

}  // namespace

bool VOxaReaderBiovision::CreateNodes(VOxaNode* reference, const char* takeName) {
    // An end site is named after its joint, clear of the names the file gives its joints.
    VOxaMadeUpNames madeUp;
    for (int i = 0; i < mFile->GetJointCount(); ++i) {
        const BvhJoint* joint = mFile->GetJoint(i);
        if (!(joint->mEndSite && joint->mParent)) madeUp.Use(joint->mName);
    }
    for (int i = 0; i < mFile->GetJointCount(); ++i) {
        BvhJoint* joint = mFile->GetJoint(i);
        VString name(joint->mName);
        if (joint->mEndSite && joint->mParent) {
            VString wanted(joint->mParent->mName);
            wanted += "_End";
            name = madeUp.Claim(wanted.Buffer());
        }
        VOxaNode* node = mManager->CreateNode(name.Buffer());
        if (!node) return false;
        joint->mNode = node;
        if (VOxaSkeleton* skeleton = mManager->CreateSkeleton()) {
            skeleton->SetSkeletonType(VOxaSkeleton::eLIMB_NODE);
            node->SetNodeAttribute(skeleton);
        }
        VOxaNode* parent = joint->mParent ? joint->mParent->mNode : reference;
        if (!parent || !parent->AddChild(node)) return false;

        // Every joint stands at its offset, the root too: a root without position channels
        // stays there in every frame (its position channels, where it has them, replace it).
        const VgeTVector translation(joint->mOffset[0], joint->mOffset[1], joint->mOffset[2], 0.0);
        node->SetLclTranslation(translation);
        node->SetLclRotation(VgeTVector(0.0, 0.0, 0.0, 0.0));
        node->AddTakeNode(takeName);
        node->SetCurrentTakeNode(takeName);
        if (VOxaTakeNode* take = node->GetCurrentTakeNode()) {
            joint->mCurves[BvhJoint::eTX] = take->GetTranslationX();
            joint->mCurves[BvhJoint::eTY] = take->GetTranslationY();
            joint->mCurves[BvhJoint::eTZ] = take->GetTranslationZ();
            joint->mCurves[BvhJoint::eRX] = take->GetEulerRotationX();
            joint->mCurves[BvhJoint::eRY] = take->GetEulerRotationY();
            joint->mCurves[BvhJoint::eRZ] = take->GetEulerRotationZ();
        }

        // The bone, in limits that the writer reads back.
        VOxaNodeLimitsAdapter limits(node->GetLimits());
        if (joint->mParent) {
            limits.SetAuto(0, false);
            limits.SetDefault(0, translation);
        }
        if (joint->mEndSite) {
            limits.SetAuto(1, false);
            limits.SetAxisLength(0.0);
            node->GetNodeProperties()->SetAxisLen(0.0);
        } else if (joint->mChildren.size() == 1) {
            const double* offset = joint->mChildren[0]->mOffset;
            const double length =
                std::sqrt(offset[0] * offset[0] + offset[1] * offset[1] + offset[2] * offset[2]);
            if (length > 0.0) {
                const double direction[3] = {offset[0] / length, offset[1] / length, offset[2] / length};
                const VgeTVector aim = AimX(direction);
                limits.SetAuto(1, false);
                limits.SetDefault(1, aim);
                limits.SetRotationAxis(aim);
                limits.SetAxisLength(length);
                node->GetNodeProperties()->SetAxisLen(length);
                limits.SetRotationType(false);
                limits.SetMin(1, VgeTVector(-180.0, -150.0, -150.0, 0.0));
                limits.SetMax(1, VgeTVector(180.0, 150.0, 150.0, 0.0));
            }
        }
    }
    return true;
}

bool VOxaReaderBiovision::Read(VOxaScene* scene, VStreamOptions* options) {
    if (!mFile || !options || !options->IsA(VStreamOptionsMotion::ClassId)) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!scene || !mManager || !scene->GetRootNode()) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    VStreamOptionsMotion* motion = static_cast<VStreamOptionsMotion*>(options);
    const bool hierarchy = mFile->ReadHierarchy();
    mMessageText += mFile->GetWarnings();
    mFile->ClearWarnings();
    if (!hierarchy) return Corrupted(mFile->GetFailure());

    VOxaNode* reference = mManager->CreateNode("BVH:reference");
    if (!reference) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    const VString takeName = GetFileName(mFileName.Buffer(), false);
    if (!CreateNodes(reference, takeName.Buffer())) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }

    VString report("Duplicate names found in ");
    report += GetFileName(mFileName.Buffer(), true);
    report += ":";
    if (!CheckDuplicateNamesBelow(reference, report)) {
        mMessageText += report;
        mMessageText += "\n";
        return Corrupted(report.Buffer());
    }

    VOxaNode* root = scene->GetRootNode();
    if (motion->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE) != 1) {
        while (reference->GetChildCount() > 0)
            root->AddChild(reference->GetChild(0));
        // Nothing hangs below it any more: it would only linger in the manager.
        mManager->DestroyNode(reference);
    } else {
        root->AddChild(reference);
    }

    const bool read = mFile->ReadMotion(motion);
    mMessageText += mFile->GetWarnings();
    if (!read) return Corrupted(mFile->GetFailure());

    VOxaTakeInfo info;
    info.mName = takeName;
    const VTime start = motion->GetStartTime();
    const int frames = motion->GetFrameCount();
    const VTime stop = frames > 0 ? start + motion->GetFramePeriod() * (int64_t)(frames - 1) : start;
    info.mLocalTimeSpan.Set(start, stop);
    info.mReferenceTimeSpan.Set(start, stop);
    scene->SetTakeInfo(info);
    scene->SetCurrentTake(takeName.Buffer());
    return true;
}
