#include "character/voxa_character_pose.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "character/voxa_character.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

const char* const kPoseCharacterName = "PoseCharacter";

// Below `root`, the first node (depth first, pre-order, as VOxaNode::FindChild searches) of
// each current full name: one walk instead of one search per looked-up name.
class NodeNameIndex {
public:
    explicit NodeNameIndex(VOxaNode* root) {
        if (!root) return;
        std::vector<std::pair<VOxaNode*, int>> stack{{root, 0}};
        while (!stack.empty()) {
            auto& top = stack.back();
            VOxaNode* child = top.first->GetChild(top.second++);
            if (!child) {
                stack.pop_back();
                continue;
            }
            mNodes.emplace(child->GetName(), child);
            stack.emplace_back(child, 0);
        }
    }
    // The node named as `source` (its current name), null when none or for null.
    VOxaNode* Find(const VOxaNode* source) const {
        if (!source) return nullptr;
        auto it = mNodes.find(VOxaMakeObjectName("Model::", source->GetName()).Buffer());
        return it == mNodes.end() ? nullptr : it->second;
    }

private:
    std::unordered_map<std::string, VOxaNode*> mNodes;  // emplace keeps the first
};

// Clones the children of `source`, recursively, below `destination` (iteratively: a file may
// hold a chain as long as its node count).
void CloneNodeTree(VOxaSdkManager* manager, VOxaNode* source, VOxaNode* destination) {
    if (!manager || !source || !destination) return;
    struct Frame {
        VOxaNode* source;
        VOxaNode* destination;
        int next;
    };
    std::vector<Frame> stack{{source, destination, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        VOxaNode* child = top.source->GetChild(top.next++);
        if (!child) {
            stack.pop_back();
            continue;
        }
        VOxaNode* copy = manager->CreateNode(child->GetName());
        if (!copy) continue;
        copy->Copy(*child);
        top.destination->AddChild(copy);
        stack.push_back({child, copy, 0});
    }
}

// Copies `source` into `destination`, every node reference moved to the node of the same name
// below the destination's root.
void CopyCharacterRemapped(const VOxaCharacter& source, VOxaCharacter& destination,
                           const NodeNameIndex& nodes) {
    destination.SetInput(source.GetInputType(), source.GetInputObject());

    VOxaCharacterLink link;
    for (int id = 0; id < VOxaCharacter::eNodeIdCount; ++id) {
        if (!source.GetCharacterLink(id, &link) || !link.mNode) continue;
        VOxaNode* node = nodes.Find(link.mNode);
        if (!node) continue;
        link.mNode = node;
        destination.SetCharacterLink(id, link, true);
    }

    VOxaCharacterParameterStore& store = *destination.GetParameterStore();
    const VOxaCharacterParameterStore& from = *source.GetParameterStore();
    for (int i = 0; i < VOxaCharacterParameterStore::eParameterCount; ++i) {
        int j = VOxaCharacterParameterStore::FindParameter(VOxaCharacterParameterStore::GetParameterName(i));
        if (j < 0) continue;
        store.SetMode(j, from.GetMode(i));
        store.SetValue(j, from.GetValue(i, 0), 0);
    }

    const VOxaControlSet& set = *source.GetControlSet();
    VOxaControlSet& target = *destination.GetControlSet();
    target.SetType(set.GetType());
    target.SetLockXform(set.GetLockXform());
    target.SetLockPick(set.GetLockPick());
    VOxaControlSetLink controlLink;
    for (int id = 0; id < VOxaControlSet::eNodeIdCount; ++id) {
        if (!set.GetControlSetLink(id, &controlLink)) continue;
        controlLink.mNode = nodes.Find(controlLink.mNode);
        target.SetControlSetLink(id, controlLink);
    }
    VOxaEffector effector;
    for (int id = 0; id < VOxaControlSet::eEffectorCount; ++id) {
        if (set.GetEffector(id, &effector)) {
            if (VOxaNode* node = nodes.Find(effector.mNode))
                target.SetEffector(id, node, effector.mShow, effector.mTActive, effector.mRActive,
                                   effector.mCandidateTActive, effector.mCandidateRActive);
        }
        VOxaNode* aux = nullptr;
        if (set.GetEffectorAux(id, &aux, 1)) {
            if (VOxaNode* node = nodes.Find(aux)) target.SetEffectorAux(id, node, 1);
        }
    }
}

}  // namespace

VOxaCharacterPose::VOxaCharacterPose(VOxaSdkManager* manager, const char* name) : VOxaObject(manager, name) {
    if (manager) mScene = manager->CreateScene();
    // The scene is listed with the manager's scenes, but only the pose destroys it.
    if (mScene) mScene->mOwnerPose = this;
    // The destructor does not run for a pose whose making runs out of memory.
    try {
        Reset();
    } catch (...) {
        ReleaseScene();
        throw;
    }
}

VOxaCharacterPose::~VOxaCharacterPose() {
    ReleaseScene();
}

void VOxaCharacterPose::ReleaseScene() {
    VOxaSdkManager* manager = GetSdkManager();
    if (!mScene || !manager) return;
    // The scene leaves its characters to the manager; these belong to the pose.
    while (mScene->GetCharacterCount() > 0) {
        if (!mScene->DestroyCharacter(0)) break;
    }
    mScene->mOwnerPose = nullptr;
    manager->DestroyScene(mScene, true);
    mScene = nullptr;
}

void VOxaCharacterPose::Reset() {
    if (!mScene) return;
    mScene->Clear();
    mScene->CreateCharacter(kPoseCharacterName);
}

VOxaNode* VOxaCharacterPose::GetRootNode() const {
    return mScene ? mScene->GetRootNode() : nullptr;
}

VOxaCharacter* VOxaCharacterPose::GetCharacter() const {
    return mScene ? mScene->GetCharacter(0) : nullptr;
}

VOxaCharacterPose& VOxaCharacterPose::operator=(const VOxaCharacterPose& other) {
    // A pose cloned into itself would clone its own growing tree without end.
    if (this == &other) return *this;
    VOxaObject::operator=(other);
    CloneNodeTree(GetSdkManager(), other.GetRootNode(), GetRootNode());
    VOxaCharacter* source = other.GetCharacter();
    VOxaCharacter* destination = GetCharacter();
    if (source && destination) CopyCharacterRemapped(*source, *destination, NodeNameIndex(GetRootNode()));
    return *this;
}
