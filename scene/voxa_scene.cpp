#include "scene/voxa_scene.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_set>

#include "attributes/voxa_camera_switcher.h"
#include "attributes/voxa_generic_node.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_pose.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "character/voxa_character.h"
#include "character/voxa_character_pose.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "character/voxa_control_set_plug.h"
#include "objects/vobject_list.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_info.h"
#include "scene/voxa_take_node_container.h"

namespace {

const char* const kSceneErrors[VOxaScene::eErrorCount] = {"Take error.", "Not enough memory"};

const char* const kCameraSwitcherName = "Camera Switcher";

// `text` followed by `name` (a null name adds nothing).
VString TakeErrorText(const char* text, const char* name) {
    VString message(text);
    if (name) message += name;
    return message;
}

// The camera switcher is invisible and drawn in shading mode 1.
void ResetCameraSwitcherDisplay(VOxaNode* node) {
    node->SetVisibility(false);
    node->SetShadingMode(1);
}

}  // namespace

VOxaScene::VOxaScene(VOxaSdkManager* manager) : mManager(manager), mError(kSceneErrors, eErrorCount) {
    mContents = new VOxaSceneContents(manager);
    // The destructor does not run for a scene whose constructor threw (memory run out): what was
    // made goes here, as the destructor would let it go.
    try {
        if (mManager) mCameraSwitcher = mManager->CreateNode(kCameraSwitcherName);
        if (mCameraSwitcher) {
            ResetCameraSwitcherDisplay(mCameraSwitcher);
            mCameraSwitcher->SetNodeAttribute(mManager->CreateCameraSwitcher());
        }
        mCameraSettings = new VOxaGlobalCameraSettings(manager, this);
    } catch (...) {
        delete mContents;
        if (mCameraSwitcher) mManager->DestroyNode(mCameraSwitcher, true);
        throw;
    }
}

VOxaScene::~VOxaScene() {
    delete mContents;
    mContents = nullptr;
    if (mManager) {
        if (mCameraSwitcher) mManager->DestroyNode(mCameraSwitcher, true);
        if (mSceneInfo) mManager->DestroySceneInfo(mSceneInfo);
    }
    mCameraSwitcher = nullptr;
    mSceneInfo = nullptr;
    DestroyPlugsAndCharacterPoses();
    mPoses.clear();
    delete mCameraSettings;
    mCameraSettings = nullptr;
    DeleteTakeInfos();
}

// --- Structure ---------------------------------------------------------------------------------

VOxaNode* VOxaScene::GetRootNode() const {
    return mContents->GetRootNode();
}

void VOxaScene::SetCameraSwitcher(VOxaNode* node) {
    oxa_delivery::Scope scope;
    if (node == mCameraSwitcher) return;
    // Another manager's node would outlive neither manager's deletion in this scene.
    if (node && !VOxaSameManager(mManager, node->GetSdkManager())) return;
    if (mCameraSwitcher && mManager) {
        for (VOxaNode* up = node ? node->GetParent() : nullptr; up; up = up->GetParent()) {
            if (up != mCameraSwitcher) continue;
            node->GetParent()->RemoveChild(node);
            break;
        }
        mManager->DestroyNode(mCameraSwitcher, true);
    }
    mCameraSwitcher = node;
}

void VOxaScene::SetSceneInfo(VOxaSceneInfo* sceneInfo) {
    if (sceneInfo && (!mManager || !mManager->mSceneInfos.Contains(sceneInfo))) return;
    mSceneInfo = sceneInfo;
}

// --- Contents ----------------------------------------------------------------------------------

void VOxaScene::FillTextureArray(VArrayTemplate<VOxaTexture*>& textures) const {
    textures.Clear();
    int count = mContents->GetTextureCount();
    for (int i = 0; i < count; ++i)
        textures.Add(mContents->GetTexture(i));
}

void VOxaScene::FillMaterialArray(VArrayTemplate<VOxaMaterial*>& materials) const {
    materials.Clear();
    int count = mContents->GetMaterialCount();
    for (int i = 0; i < count; ++i)
        materials.Add(mContents->GetMaterial(i));
}

int VOxaScene::GetGenericNodeCount() const {
    return mContents->GetGenericNodeCount();
}

VOxaGenericNode* VOxaScene::GetGenericNode(int index) const {
    if (index < 0 || index >= mContents->GetGenericNodeCount()) return nullptr;
    return mContents->GetGenericNode(index);
}

bool VOxaScene::AddGenericNode(VOxaGenericNode* node) {
    if (!node || !VOxaSameManager(mManager, node->GetSdkManager())) return false;
    return node->SetSceneContents(mContents);
}

bool VOxaScene::RemoveGenericNode(VOxaGenericNode* node) {
    // A generic node of another scene stays there.
    if (!node || node->GetSceneContents() != mContents) return false;
    return node->SetSceneContents(nullptr);
}

bool VOxaScene::AddDeformer(VOxaObject* deformer) {
    if (deformer && !VOxaSameManager(mManager, deformer->GetSdkManager())) return false;
    return mContents->AddDeformer(deformer);
}

bool VOxaScene::RemoveDeformer(VOxaObject* deformer) {
    return mContents->RemoveDeformer(deformer);
}

int VOxaScene::GetDeformerCount(int kind) const {
    return mContents->GetDeformerCount(kind);
}

VOxaDeformer* VOxaScene::GetDeformer(int index, int kind) const {
    return mContents->GetDeformer(index, kind);
}

VOxaDeformer* VOxaScene::GetDeformer(const char* name) const {
    return mContents->GetDeformer(name);
}

bool VOxaScene::AddConstraint(VOxaObject* constraint) {
    if (constraint && !VOxaSameManager(mManager, constraint->GetSdkManager())) return false;
    if (!mContents->AddConstraint(constraint)) return false;
    // A constraint keeps the contents that list it, so that it leaves them when it moves or
    // dies; one listed elsewhere already keeps its association.
    int code = constraint->GetTypeCode();
    if (code == 13 || code == 8) {
        auto* listed = static_cast<VOxaConstraint*>(constraint);
        if (!listed->GetSceneContents()) listed->SetSceneContents(mContents);
    }
    return true;
}

int VOxaScene::GetConstraintCount() const {
    return mContents->GetConstraintCount();
}

int VOxaScene::GetConstraintCount(int type) const {
    return mContents->GetConstraintCountByType(type);
}

VOxaConstraint* VOxaScene::GetConstraint(int index) const {
    return mContents->GetConstraint(index);
}

// The class filter of the type guarantees the concrete class.
VOxaConstraintPosition* VOxaScene::GetPositionConstraint(int index) const {
    return static_cast<VOxaConstraintPosition*>(
        mContents->GetConstraintByType(index, VOxaConstraint::ePosition));
}

VOxaConstraintRotation* VOxaScene::GetRotationConstraint(int index) const {
    return static_cast<VOxaConstraintRotation*>(
        mContents->GetConstraintByType(index, VOxaConstraint::eRotation));
}

VOxaConstraintScale* VOxaScene::GetScaleConstraint(int index) const {
    return static_cast<VOxaConstraintScale*>(mContents->GetConstraintByType(index, VOxaConstraint::eScale));
}

VOxaConstraintSingleChainIK* VOxaScene::GetSingleChainIKConstraint(int index) const {
    return static_cast<VOxaConstraintSingleChainIK*>(
        mContents->GetConstraintByType(index, VOxaConstraint::eSingleChainIK));
}

VOxaConstraintAim* VOxaScene::GetAimConstraint(int index) const {
    return static_cast<VOxaConstraintAim*>(mContents->GetConstraintByType(index, VOxaConstraint::eAim));
}

// --- Characters, control-set plugs and character poses ------------------------------------

int VOxaScene::GetCharacterCount() const {
    return mContents->GetConstraintCountByType(VOxaConstraint::eCharacter);
}

VOxaCharacter* VOxaScene::GetCharacter(int index) const {
    // The class filter of type 7 guarantees the class.
    return static_cast<VOxaCharacter*>(mContents->GetConstraintByType(index, VOxaConstraint::eCharacter));
}

int VOxaScene::CreateCharacter(const char* name) {
    VOxaCharacter* character = mManager ? mManager->CreateCharacter(name) : nullptr;
    if (!character) return -1;
    // One the scene could not list (its memory ran out) is not kept.
    if (!AddConstraint(character)) {
        mManager->DestroyObject(character);
        return -1;
    }
    return GetCharacterCount() - 1;
}

bool VOxaScene::DestroyCharacter(int index) {
    oxa_delivery::Scope scope;
    VOxaCharacter* character = GetCharacter(index);
    if (!character) return false;
    mContents->RemoveConstraint(character);
    // The manager owns the character; its destructor lets the block drop every connection.
    if (mManager && mManager->DestroyObject(character)) return true;
    return false;
}

VOxaControlSetPlug* VOxaScene::GetControlSetPlug(int index) const {
    return (index >= 0 && index < GetControlSetPlugCount()) ? mControlSetPlugs[index] : nullptr;
}

int VOxaScene::CreateControlSetPlug(const char* name) {
    // Memory that runs out in the making or for the entry leaves nothing: -1.
    VOxaControlSetPlug* plug = nullptr;
    try {
        plug = mManager ? mManager->NewControlSetPlug(VOxaMakeObjectName("ControlSetPlug::", name).Buffer())
                        : nullptr;
        if (!plug) return -1;
        mControlSetPlugs.push_back(plug);
    } catch (const std::bad_alloc&) {
        if (plug) plug->Destroying();
        delete plug;
        oxa_alloc::NoteFailure();
        return -1;
    }
    return GetControlSetPlugCount() - 1;
}

bool VOxaScene::DestroyControlSetPlug(int index) {
    VOxaControlSetPlug* plug = GetControlSetPlug(index);
    if (!plug) return false;
    mControlSetPlugs.erase(mControlSetPlugs.begin() + index);
    plug->Destroying();
    delete plug;
    return true;
}

VOxaCharacterPose* VOxaScene::GetCharacterPose(int index) const {
    return (index >= 0 && index < GetCharacterPoseCount()) ? mCharacterPoses[index] : nullptr;
}

int VOxaScene::CreateCharacterPose(const char* name) {
    VOxaCharacterPose* pose = nullptr;
    const unsigned long long failures = oxa_alloc::FailureCount();
    try {
        pose = mManager ? mManager->NewCharacterPose(VOxaMakeObjectName("Pose::", name).Buffer()) : nullptr;
        if (!pose) return -1;
        // A pose without its scene or character is no pose.
        if (oxa_alloc::FailureCount() != failures) throw std::bad_alloc();
        mCharacterPoses.push_back(pose);
    } catch (const std::bad_alloc&) {
        if (pose) pose->Destroying();
        delete pose;
        oxa_alloc::NoteFailure();
        return -1;
    }
    return GetCharacterPoseCount() - 1;
}

bool VOxaScene::DestroyCharacterPose(int index) {
    oxa_delivery::Scope scope;
    VOxaCharacterPose* pose = GetCharacterPose(index);
    if (!pose) return false;
    mCharacterPoses.erase(mCharacterPoses.begin() + index);
    pose->Destroying();
    delete pose;
    return true;
}

void VOxaScene::DestroyPlugsAndCharacterPoses() {
    // Taken out of the lists first, so that nothing reaches a half-destroyed entry.
    std::vector<VOxaControlSetPlug*> plugs;
    plugs.swap(mControlSetPlugs);
    for (VOxaControlSetPlug* plug : plugs) {
        plug->Destroying();
        delete plug;
    }
    std::vector<VOxaCharacterPose*> poses;
    poses.swap(mCharacterPoses);
    for (VOxaCharacterPose* pose : poses) {
        pose->Destroying();
        delete pose;
    }
}

// --- Poses -------------------------------------------------------------------------------------

VOxaPose* VOxaScene::GetPose(int index) const {
    return (index >= 0 && index < GetPoseCount()) ? mPoses[index] : nullptr;
}

bool VOxaScene::AddPose(VOxaPose* pose) {
    if (!pose || !VOxaSameManager(mManager, pose->GetSdkManager()) ||
        std::find(mPoses.begin(), mPoses.end(), pose) != mPoses.end())
        return false;
    mPoses.push_back(pose);
    return true;
}

bool VOxaScene::RemovePose(VOxaPose* pose) {
    auto it = std::find(mPoses.begin(), mPoses.end(), pose);
    if (!pose || it == mPoses.end()) return false;
    mPoses.erase(it);
    return true;
}

bool VOxaScene::RemovePose(int index) {
    if (index < 0 || index >= GetPoseCount()) return false;
    mPoses.erase(mPoses.begin() + index);
    return true;
}

// --- Takes -------------------------------------------------------------------------------------

template <typename Visit>
void VOxaScene::ForEachTakeContainer(bool all, Visit visit) const {
    if (mCameraSwitcher) visit(static_cast<VOxaTakeNodeContainer*>(mCameraSwitcher));
    int count = mContents->GetNodeCount();
    for (int i = 0; i < count; ++i)
        visit(mContents->GetNode(i));
    count = mContents->GetTextureCount();
    for (int i = 0; i < count; ++i)
        visit(mContents->GetTexture(i));
    count = mContents->GetMaterialCount();
    for (int i = 0; i < count; ++i)
        visit(mContents->GetMaterial(i));
    if (!all) return;
    count = mContents->GetGenericNodeCount();
    for (int i = 0; i < count; ++i)
        visit(mContents->GetGenericNode(i));
    // Constraints, characters and deformers, through their property handlers.
    const VObjectList& objects = mContents->GetObjectList();
    count = objects.GetCount();
    for (int i = 0; i < count; ++i) {
        VOxaObject* owner = VObjectList::GetOwnerObject(objects.Get(i));
        if (auto* container = dynamic_cast<VOxaTakeNodeContainer*>(owner)) visit(container);
    }
}

bool VOxaScene::CreateTake(const char* name) {
    oxa_delivery::Scope scope;
    bool all = true;
    const unsigned long long failures = oxa_alloc::FailureCount();
    ForEachTakeContainer(false, [&](VOxaTakeNodeContainer* container) {
        if (!container->AddTakeNode(name)) all = false;
    });
    // A take that could not be made for want of memory is not said to be there already.
    if (!all)
        mError.SetLastError(eTakeError, oxa_alloc::FailureCount() != failures
                                            ? VString("Not enough memory")
                                            : TakeErrorText("At least one node, texture or material already "
                                                            "has a take called ",
                                                            name));
    return all;
}

bool VOxaScene::RemoveTake(const char* name) {
    oxa_delivery::Scope scope;
    bool all = true;
    ForEachTakeContainer(false, [&](VOxaTakeNodeContainer* container) {
        if (!container->RemoveTakeNode(name)) all = false;
    });
    if (!all)
        mError.SetLastError(eTakeError,
                            TakeErrorText("Not all nodes, textures and materials have a take called ", name));
    return all;
}

bool VOxaScene::SetCurrentTake(const char* name) {
    oxa_delivery::Scope scope;
    mCurrentTakeName = name ? name : "";
    bool all = true;
    ForEachTakeContainer(true, [&](VOxaTakeNodeContainer* container) {
        if (!container->SetCurrentTakeNode(name)) all = false;
    });
    if (!all) mError.SetLastError(eTakeError, TakeErrorText("Not all nodes have a take node called ", name));
    return all;
}

void VOxaScene::FillTakeNameArray(VStringList& names) const {
    names.Clear();
    // Objects share their take names: a set of the names seen keeps the walk linear.
    std::unordered_set<std::string> seen;
    ForEachTakeContainer(true, [&](VOxaTakeNodeContainer* container) {
        int count = container->GetTakeNodeCount();
        for (int i = 0; i < count; ++i) {
            const char* takeName = container->GetTakeNodeName(i);
            if (takeName && seen.insert(takeName).second) names.Add(takeName);
        }
    });
}

bool VOxaScene::IsTakeNameKnown(const char* name) const {
    if (!name) return false;
    bool known = false;
    ForEachTakeContainer(true, [&](VOxaTakeNodeContainer* container) {
        if (known) return;
        int count = container->GetTakeNodeCount();
        for (int i = 0; i < count && !known; ++i) {
            const char* takeName = container->GetTakeNodeName(i);
            known = takeName && std::strcmp(takeName, name) == 0;
        }
    });
    return known;
}

// --- Take informations -------------------------------------------------------------------------

bool VOxaScene::SetTakeInfo(const VOxaTakeInfo& takeInfo) {
    if (!IsTakeNameKnown(takeInfo.mName.Buffer())) return false;
    // Another manager's thumbnail would be destroyed by that manager while this scene showed it.
    VOxaThumbnail* thumbnail = takeInfo.GetTakeThumbnail();
    if (thumbnail && !VOxaSameManager(mManager, thumbnail->GetSdkManager())) return false;
    if (VOxaTakeInfo* existing = GetTakeInfo(takeInfo.mName.Buffer())) {
        *existing = takeInfo;
        return true;
    }
    std::unique_ptr<VOxaTakeInfo> held(new VOxaTakeInfo(takeInfo));
    held->mManager = mManager;
    mTakeInfos.push_back(held.get());
    held.release();
    return true;
}

VOxaTakeInfo* VOxaScene::GetTakeInfo(const char* name) const {
    if (!name) return nullptr;
    for (VOxaTakeInfo* info : mTakeInfos) {
        if (std::strcmp(info->mName.Buffer(), name) == 0) return info;
    }
    return nullptr;
}

void VOxaScene::DeleteTakeInfos() {
    while (!mTakeInfos.empty()) {
        delete mTakeInfos.back();
        mTakeInfos.pop_back();
    }
}

// --- Objects the manager destroys ---------------------------------------------------------------

void VOxaScene::ReleaseNode(const VOxaNode* node) {
    if (node && node == mCameraSwitcher) mCameraSwitcher = nullptr;
    if (mCameraSettings) mCameraSettings->ReleaseNode(node);
}

void VOxaScene::ReleaseNodeAttribute(const VOxaNodeAttribute* attribute) {
    if (mCameraSettings) mCameraSettings->ReleaseNodeAttribute(attribute);
}

// --- Clear -------------------------------------------------------------------------------------

void VOxaScene::Clear() {
    oxa_delivery::Scope scope;
    try {
        ClearAll();
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        mError.SetLastErrorID(eNotEnoughMemory);
    }
}

void VOxaScene::ClearAll() {
    if (VOxaNode* root = mContents->GetRootNode()) {
        while (root->GetChildCount() > 0) {
            VOxaNode* child = root->GetChild(root->GetChildCount() - 1);
            root->RemoveChild(child);
            if (mManager) mManager->DestroyNode(child, true);
        }
        for (int i = root->GetTakeNodeCount() - 1; i >= 1; --i)
            root->RemoveTakeNode(i);
    }
    if (mCameraSwitcher) {
        mCameraSwitcher->SetName(kCameraSwitcherName);
        ResetCameraSwitcherDisplay(mCameraSwitcher);
        if (VOxaCameraSwitcher* switcher = mCameraSwitcher->GetCameraSwitcher())
            switcher->SetDefaultCameraIndex(0);
        for (int i = mCameraSwitcher->GetTakeNodeCount() - 1; i >= 1; --i)
            mCameraSwitcher->RemoveTakeNode(i);
    }
    if (mSceneInfo && mManager) mManager->DestroySceneInfo(mSceneInfo);
    mSceneInfo = nullptr;
    DestroyPlugsAndCharacterPoses();
    mPoses.clear();
    while (mContents->GetGenericNodeCount() > 0) {
        VOxaGenericNode* node = mContents->GetGenericNode(0);
        node->SetSceneContents(nullptr);
        // A node added more than once is still counted: let it go entirely, so the loop ends.
        while (mContents->RemoveGenericNode(node) == false &&
               mContents->GetLastErrorID() == VOxaSceneContents::eGenericNodeInUse) {
        }
        if (mManager) mManager->DestroyGenericNode(node);
    }
    mLightSettings.RestoreDefaultSettings();
    mCameraSettings->RestoreDefaultSettings();
    mTimeSettings.RestoreDefaultSettings();
    mSystemUnit = 0.0;
    mCurrentTakeName = "";
    DeleteTakeInfos();
}
