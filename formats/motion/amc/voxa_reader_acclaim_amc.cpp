#include "formats/motion/amc/voxa_reader_acclaim_amc.h"

#include <climits>
#include <string>
#include <unordered_set>

#include "base/vpath.h"
#include "base/vstring_list.h"
#include "formats/motion/amc/voxa_file_acclaim_amc.h"
#include "formats/motion/asf/voxa_asf_scene.h"
#include "formats/motion/asf/voxa_reader_acclaim_asf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"

VOxaReader* VOxaCreateReaderAcclaimAmc(VOxaSdkManager* manager) {
    return new VOxaReaderAcclaimAmc(manager);
}

VOxaReaderAcclaimAmc::VOxaReaderAcclaimAmc(VOxaSdkManager* manager) : VOxaTextFileReader(manager) {}

VStreamOptions* VOxaReaderAcclaimAmc::GetReadOptions() {
    if (!mFile) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return nullptr;
    }
    VStreamOptionsMotion* options = VStreamOptionsMotion::Create();
    options->SetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE, 1);
    options->SetOption(VStreamOptionsMotion::eIMPORT_DUMMY_NODES, 0);
    options->SetOption(VStreamOptionsMotion::eIMPORT_LIMITS, 0);
    if (!mFile->ScanHeader(options)) {
        mMessageText += mFile->GetWarnings();
        Corrupted();
        options->Destroy();
        return nullptr;
    }
    return options;
}

bool VOxaReaderAcclaimAmc::Read(VOxaScene* scene, VStreamOptions* options) {
    VStreamOptionsMotion* motion = options && options->IsA(VStreamOptionsMotion::ClassId)
                                       ? static_cast<VStreamOptionsMotion*>(options)
                                       : nullptr;
    VPlug* attached = motion ? motion->GetAttachedObject() : nullptr;
    VOxaAsfScene* skeleton =
        attached && attached->IsA(VOxaAsfScene::ClassId) ? static_cast<VOxaAsfScene*>(attached) : nullptr;
    if (!mFile || !skeleton || !scene || !scene->GetRootNode()) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    const bool ok = mFile->ReadFrames(skeleton, motion);
    mMessageText += mFile->GetWarnings();
    if (!ok) return Corrupted();

    // The take is named after the file; a name the scene has already gets " 1", " 2" ...
    const VString base = GetFileName(mFileName.Buffer(), false);
    VStringList names;
    scene->FillTakeNameArray(names);
    std::unordered_set<std::string> taken;
    for (int i = 0; i < names.GetCount(); ++i)
        taken.insert(names.GetStringAt(i));
    VString takeName = base;
    for (int k = 1; taken.count(takeName.Buffer()) && k < INT_MAX; ++k) {
        takeName = base;
        takeName += " ";
        takeName += k;
    }

    const bool limits = motion->GetOption(VStreamOptionsMotion::eIMPORT_LIMITS) == 1;
    VOxaNode* parent = scene->GetRootNode();
    if (motion->GetOption(VStreamOptionsMotion::eIMPORT_CREATE_REFERENCE_NODE) == 1) {
        const VString referenceName = VOxaAsfReferenceNodeName(skeleton->GetName());
        VOxaNode* reference = parent->FindChild(referenceName.Buffer(), true);
        if (!reference && mManager) {
            reference = mManager->CreateNode(referenceName.Buffer());
            if (reference) parent->AddChild(reference);
        }
        if (reference) parent = reference;
    }
    // Every node of the scene gets the take, so that it can be made current everywhere.
    scene->CreateTake(takeName.Buffer());
    skeleton->UpdateNodes(parent, mManager, takeName.Buffer(), limits);

    const VTime start = motion->GetStartTime();
    // The frames read: fewer than the options name when the file ends inside a frame. The options
    // tell them from now on.
    long long count = motion->GetFrameCount() > 0 ? motion->GetFrameCount() : mFile->GetFramesRead();
    if (mFile->GetFramesRead() > 0 && mFile->GetFramesRead() < count) count = mFile->GetFramesRead();
    motion->SetFrameCount((int)count);
    VOxaTakeInfo info;
    info.mName = takeName;
    const VTime stop = start + motion->GetFramePeriod() * (count > 0 ? count - 1 : 0);
    info.mLocalTimeSpan.Set(start, stop);
    info.mReferenceTimeSpan.Set(start, stop);
    scene->SetTakeInfo(info);
    scene->SetCurrentTake(takeName.Buffer());
    return true;
}
