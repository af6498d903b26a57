#include "formats/motion/asf/voxa_writer_acclaim_asf.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "base/vge_matrix.h"
#include "base/vlisted_name_internal.h"
#include "base/vnumber_text.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_file_acclaim_asf.h"
#include "formats/motion/voxa_motion_base.h"
#include "formats/motion/voxa_skeleton_support.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_pivot_internal.h"
#include "scene/voxa_scene.h"

namespace {

struct DestroyAsfScene {
    void operator()(VOxaAsfScene* skeleton) const { skeleton->Destroy(); }
};

// The name goes into the message cut to this length, so that a long path cannot make it grow
// without bound.
constexpr int kMaxPathInMessage = 256;

}  // namespace

VString VOxaAsfCannotOpenText(const char* path) {
    char text[kMaxPathInMessage + 64];
    std::snprintf(text, sizeof text, "Cannot open file \"%.*s\" for writing.", kMaxPathInMessage,
                  path ? path : "");
    return VString(text);
}

bool VOxaCheckAsfNodeNames(VOxaNode* node, bool self, VString& report) {
    if (!node) return true;
    bool clean = true;
    std::vector<VOxaNode*> pending;
    if (self) {
        pending.push_back(node);
    } else {
        for (int i = node->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(node->GetChild(i));
    }
    while (!pending.empty()) {
        VOxaNode* current = pending.back();
        pending.pop_back();
        const char* name = current->GetNameWithoutPrefix();
        const size_t length = std::strlen(name);
        double number;
        // Names that the reader would cut, split, take for a frame number, a keyword or a comment;
        // a control character would break the line.
        bool control = false;
        for (size_t k = 0; k < length && !control; ++k)
            control = (unsigned char)name[k] < 32 || name[k] == 127;
        // A name that begins with a number is written with a leading "_", which has to fit too.
        const bool numeric = VParseDouble(name, name + length, number, false) != nullptr;
        const bool bad = length == 0 || length + (numeric ? 1 : 0) > (size_t)AsfBone::kMaxNameLength ||
                         control || std::strpbrk(name, ",()") != nullptr || name[0] == ':' || name[0] == '#';
        if (bad) {
            report += "\n    ";
            report += VListedName(name);
            clean = false;
        }
        for (int i = current->GetChildCount() - 1; i >= 0; --i)
            pending.push_back(current->GetChild(i));
    }
    return clean;
}

VOxaWriter* VOxaCreateWriterAcclaimAsf(VOxaSdkManager* manager) {
    return new VOxaWriterAcclaimAsf(manager);
}

VOxaWriterAcclaimAsf::VOxaWriterAcclaimAsf(VOxaSdkManager* manager) : VOxaAcclaimFileWriter(manager) {}

VStreamOptions* VOxaWriterAcclaimAsf::GetWriteOptions() {
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    options->SetOption(VStreamOptionsMotion::eTRANSLATION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION, 0);
    options->SetOption(VStreamOptionsMotion::eEXPORT_REQUIRE_SINGLE_ROOT_NODE, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RATE, 1);
    options->SetOption(VStreamOptionsMotion::eEXPORT_FRAME_RANGE, 0);
    return options;
}

bool VOxaWriterAcclaimAsf::Write(VOxaScene* scene, VStreamOptions* options) {
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
    if (!motion) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    // A tree of geometry (a lone mesh, say) is no skeleton.
    if (!VOxaMotionSupport::HasJoints(root))
        return VOxaMotionSupport::Refuse(mError, VOxaMotionSupport::kNoJoints);
    VString report("Spaces are not allowed in ASF node names:");
    if (!CheckSpaceInNodeNameRecursive(root, report)) {
        motion->Message("Error", report.Buffer(), "OK");
        mError.SetLastError(eUNIDENTIFIED_ERROR, report.Buffer());
        return false;
    }
    // Names the files could not give back (cut, split, or read as a frame number) are refused too.
    char rule[256];
    std::snprintf(
        rule, sizeof rule,
        "Names that cannot be written to ASF and AMC files (a name must not be empty, be longer "
        "than %d characters (a name that begins with a number: %d), hold a control character (a tab "
        "or line break), comma or parenthesis, or begin with \":\" or \"#\"):",
        AsfBone::kMaxNameLength, AsfBone::kMaxNameLength - 1);
    VString names(rule);
    if (!VOxaCheckAsfNodeNames(root, false, names)) {
        motion->Message("Error", names.Buffer(), "Ok");
        mError.SetLastError(eUNIDENTIFIED_ERROR, names.Buffer());
        return false;
    }
    // The bones are built from the joints with their pivots in their animation, as the AMC writer
    // samples them; the caller's scene gets its own back when the write ends, whichever way.
    VOxaPivotConversionScope converted(root);
    if (!converted.Converted()) {
        mError.SetLastErrorID(eNOT_ENOUGH_MEMORY);
        return false;
    }
    // The skeleton goes with the write until the options hold it, whichever way the write ends.
    std::unique_ptr<VOxaAsfScene, DestroyAsfScene> skeleton(VOxaAsfScene::Create());
    const bool translation = motion->GetOption(VStreamOptionsMotion::eTRANSLATION) == 1;
    VgeTVector scale(1.0, 1.0, 1.0, 0.0);
    if (motion->GetOption(VStreamOptionsMotion::eEXPORT_FROM_GLOBAL_POSITION) == 1 && root->GetParent())
        scale = root->GetParent()->EvaluateGlobalTransform(motion->GetStartTime()).GetS();
    std::vector<std::pair<VString, VString>> renamed;
    std::vector<VOxaNode*> leftOut;
    VString refusal;
    if (!skeleton->BuildFromNode(root, translation, scale, motion->GetStartTime(), &renamed, &leftOut,
                                 &refusal)) {
        return VOxaMotionSupport::Refuse(mError, refusal.Buffer());
    }
    // Markers hang below a reference node: when none was ever seen, nothing is left to write.
    if (!leftOut.empty() && skeleton->GetRootBone()->mChildren.empty() && !VOxaMotionSupport::IsJoint(root)) {
        return VOxaMotionSupport::Refuse(mError, VOxaMotionSupport::kNoJoints);
    }
    VOxaSkeletonSupport::WarnLeftOut(motion, leftOut, "AMC");
    VOxaSkeletonSupport::WarnMarkerEnds(motion, root, "ASF",
                                        !(VString(root->GetNameWithoutPrefix()) == "root"));
    // Names the files reserve ("root" for the root bone, the words of the hierarchy section), and
    // names an AMC reader would take for frame numbers.
    for (const auto& names : renamed) {
        VString text("Node \"");
        text += names.first;
        text += "\" is written as \"";
        text += names.second;
        double number;
        VString word(names.first);
        for (int k = 0; k < word.GetLen(); ++k)
            word[k] = (char)std::tolower((unsigned char)word[k]);
        if (VParseDouble(names.first.Buffer(), names.first.Buffer() + names.first.GetLen(), number, false)) {
            text += "\": an AMC file reads a name that begins with a number as a frame number.";
        } else if (!(word == "root") && !(word == "begin") && !(word == "end")) {
            text += "\": two nodes are named \"";
            text += names.first;
            text += "\", and a reader takes each name for one bone.";
        } else {
            text += "\": ASF and AMC files reserve the name \"";
            text += names.first;
            text += "\".";
        }
        motion->Message("Warning", text.Buffer(), "Ok");
    }
    motion->Progress("Writing ASF node hierarchy", 0.0f);
    const bool written = mFile->Write(skeleton.get());
    motion->SetAttachedObject(skeleton.release(), true);
    if (!written) {
        // A number the file cannot hold is named with its bone.
        if (*mFile->GetUnwritableNumber())
            return VOxaMotionSupport::Refuse(mError, mFile->GetUnwritableNumber());
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    mWritten = true;
    return true;
}
