#include "formats/motion/asf/voxa_reader_acclaim_asf.h"

#include <memory>

#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_file_acclaim_asf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

struct DestroyAsfScene {
    void operator()(VOxaAsfScene* skeleton) const { skeleton->Destroy(); }
};

}  // namespace

VString VOxaAsfReferenceNodeName(const char* skeletonName) {
    VString name(skeletonName && *skeletonName ? skeletonName : "ASF");
    name += ":reference";
    return name;
}

VOxaReader* VOxaCreateReaderAcclaimAsf(VOxaSdkManager* manager) {
    return new VOxaReaderAcclaimAsf(manager);
}

VOxaReaderAcclaimAsf::VOxaReaderAcclaimAsf(VOxaSdkManager* manager) : VOxaTextFileReader(manager) {}

VStreamOptions* VOxaReaderAcclaimAsf::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_DUMMY_NODES, 0);
    options->SetOption(VStreamOptionsMotion::eIMPORT_LIMITS, 0);
    return options;
}

bool VOxaReaderAcclaimAsf::Read(VOxaScene* scene, VStreamOptions* options) {
    VStreamOptionsMotion* motion = options && options->IsA(VStreamOptionsMotion::ClassId)
                                       ? static_cast<VStreamOptionsMotion*>(options)
                                       : nullptr;
    if (!mFile || !motion || !scene || !scene->GetRootNode()) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    // The skeleton goes with the read until the options hold it, whichever way the read ends.
    std::unique_ptr<VOxaAsfScene, DestroyAsfScene> skeleton(VOxaAsfScene::Create());
    motion->Progress("Reading ASF node hierarchy", 0.0f);
    const bool simplify = motion->GetOption(VStreamOptionsMotion::eIMPORT_DUMMY_NODES) != 1;
    const bool limits = motion->GetOption(VStreamOptionsMotion::eIMPORT_LIMITS) == 1;
    const bool ok = mFile->Read(skeleton.get(), simplify);
    mMessageText += mFile->GetWarnings();
    VOxaNode* root = ok ? skeleton->CreateNodes(mManager, "", limits) : nullptr;
    if (!root) {
        Corrupted();
        return false;
    }
    VString report("Duplicate names found in ");
    report += mFileName;
    report += ":";
    if (!CheckDuplicateNodeNames(root, report)) {
        motion->Message("Error", report.Buffer(), "Ok");
        mMessageText += report;
        mMessageText += "\n";
        Corrupted(report.Buffer());
        mManager->DestroyNode(root, true);
        return false;
    }
    VOxaNode* sceneRoot = scene->GetRootNode();
    if (motion->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE) != 1) {
        sceneRoot->AddChild(root);
    } else {
        VOxaNode* reference = mManager->CreateNode(VOxaAsfReferenceNodeName(skeleton->GetName()).Buffer());
        if (reference) {
            sceneRoot->AddChild(reference);
            reference->AddChild(root);
        } else {
            sceneRoot->AddChild(root);
        }
    }
    motion->SetAttachedObject(skeleton.release(), true);
    return true;
}
