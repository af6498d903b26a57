#include "character/voxa_control_set.h"

#include "character/voxa_character.h"
#include "character/voxa_character_name_index.h"
#include "character/voxa_control_set_plug.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"

namespace {

const char* const kEffectorNames[VOxaControlSet::eEffectorCount] = {
    "HipsEffector",
    "LeftAnkleEffector",
    "RightAnkleEffector",
    "LeftWristEffector",
    "RightWristEffector",
    "LeftKneeEffector",
    "RightKneeEffector",
    "LeftElbowEffector",
    "RightElbowEffector",
    "ChestOriginEffector",
    "ChestEndEffector",
    "LeftFootEffector",
    "RightFootEffector",
    "LeftShoulderEffector",
    "RightShoulderEffector",
    "HeadEffector",
    "LeftHipEffector",
    "RightHipEffector",
    "LeftHandEffector",
    "RightHandEffector",
    "LeftHandThumbEffector",
    "LeftHandIndexEffector",
    "LeftHandMiddleEffector",
    "LeftHandRingEffector",
    "LeftHandPinkyEffector",
    "LeftHandExtraFingerEffector",
    "RightHandThumbEffector",
    "RightHandIndexEffector",
    "RightHandMiddleEffector",
    "RightHandRingEffector",
    "RightHandPinkyEffector",
    "RightHandExtraFingerEffector",
    "LeftFootThumbEffector",
    "LeftFootIndexEffector",
    "LeftFootMiddleEffector",
    "LeftFootRingEffector",
    "LeftFootPinkyEffector",
    "LeftFootExtraFingerEffector",
    "RightFootThumbEffector",
    "RightFootIndexEffector",
    "RightFootMiddleEffector",
    "RightFootRingEffector",
    "RightFootPinkyEffector",
    "RightFootExtraFingerEffector",
};

const VCharacterNameIndex& EffectorIndex() {
    static const VCharacterNameIndex index = [] {
        VCharacterNameIndex built;
        for (int i = 0; i < VOxaControlSet::eEffectorCount; ++i)
            built.Add(kEffectorNames[i], i);
        built.Build();
        return built;
    }();
    return index;
}

enum ELinkKind : int { eKindLink = 1, eKindEffector = 2, eKindAuxEffector = 3 };

// The node a plug entry stands for: the owner of a node's property block (type code 1); null
// for anything else connected.
VOxaNode* NodeOfEntry(VObject* entry) {
    if (!entry || !entry->IsA(VOxaPropertyHandler::ClassInfo.GetId())) return nullptr;
    VOxaObject* owner = static_cast<VOxaPropertyHandler*>(entry)->GetOwner();
    if (!owner || owner->GetTypeCode() != 1) return nullptr;
    return static_cast<VOxaNode*>(owner);
}

// Connects `node`'s block to `list`; nothing for null.
void ConnectNode(VPropertyObjectList* list, VOxaNode* node) {
    VOxaPropertyHandler* block = node ? node->GetPropertyHandler() : nullptr;
    if (list && block) list->Add(block);
}

}  // namespace

VOxaControlSet::VOxaControlSet(VOxaCharacter* character) : mCharacter(character) {
    ApplyDefaultEffectorFlags();
}

VOxaControlSet::~VOxaControlSet() {
    Clear();
}

void VOxaControlSet::ApplyDefaultEffectorFlags() {
    for (VOxaEffector& effector : mEffectors) {
        effector.mShow = true;
        effector.mTActive = effector.mRActive = effector.mCandidateTActive = effector.mCandidateRActive =
            false;
    }
    mEffectors[0].mTActive = mEffectors[0].mRActive = true;
    for (int i = 1; i <= 2; ++i) {
        mEffectors[i].mTActive = mEffectors[i].mRActive = true;
        mEffectors[i].mCandidateTActive = mEffectors[i].mCandidateRActive = true;
    }
    for (int i = 3; i <= 4; ++i)
        mEffectors[i].mTActive = mEffectors[i].mCandidateTActive = true;
}

void VOxaControlSet::Clear() {
    mType = 0;
    mLockXform = false;
    mLockPick = false;
    for (int id = 0; id < eNodeIdCount; ++id) {
        if (mLinks[id].mNode) mLinks[id].mNode->RemoveCharacterLink(mCharacter, eKindLink, id, 0);
        mLinks[id].Reset();
    }
    for (int id = 0; id < eEffectorCount; ++id) {
        if (mEffectors[id].mNode) mEffectors[id].mNode->RemoveCharacterLink(mCharacter, eKindEffector, id, 0);
        mEffectors[id].Reset();
        for (int aux = 0; aux < eAuxEffectorCount; ++aux) {
            VOxaNode*& slot = mAuxEffectors[id][aux];
            if (slot) slot->RemoveCharacterLink(mCharacter, eKindAuxEffector, id, aux);
            slot = nullptr;
        }
    }
    ApplyDefaultEffectorFlags();
}

bool VOxaControlSet::AcceptsNode(const VOxaNode* node) const {
    if (!node || !mCharacter || VOxaSameManager(mCharacter->GetSdkManager(), node->GetSdkManager()))
        return true;
    mCharacter->GetError().SetLastErrorID(0);
    return false;
}

bool VOxaControlSet::SetControlSetLink(int nodeId, const VOxaControlSetLink& link) {
    if (!IsNodeId(nodeId) || !AcceptsNode(link.mNode)) return false;
    VOxaControlSetLink& slot = mLinks[nodeId];
    if (slot.mNode) slot.mNode->RemoveCharacterLink(mCharacter, eKindLink, nodeId, 0);
    if (link.IsEmpty()) {
        slot.Reset();
        return true;
    }
    slot.mNode = link.mNode;
    slot.mTemplateName = link.mTemplateName;
    if (slot.mNode) slot.mNode->AddCharacterLink(mCharacter, eKindLink, nodeId, 0);
    return true;
}

bool VOxaControlSet::GetControlSetLink(int nodeId, VOxaControlSetLink* link) const {
    if (!IsNodeId(nodeId) || mLinks[nodeId].IsEmpty()) return false;
    if (link) {
        link->mNode = mLinks[nodeId].mNode;
        link->mTemplateName = mLinks[nodeId].mTemplateName;
    }
    return true;
}

bool VOxaControlSet::SetEffector(int effectorId, VOxaNode* node, bool show, bool tActive, bool rActive,
                                 bool candidateTActive, bool candidateRActive) {
    if (!IsEffectorId(effectorId) || !AcceptsNode(node)) return false;
    VOxaEffector& effector = mEffectors[effectorId];
    if (effector.mNode) effector.mNode->RemoveCharacterLink(mCharacter, eKindEffector, effectorId, 0);
    if (!node) {
        effector.Reset();
        return true;
    }
    effector.mNode = node;
    effector.mShow = show;
    effector.mTActive = tActive;
    effector.mRActive = rActive;
    effector.mCandidateTActive = candidateTActive;
    effector.mCandidateRActive = candidateRActive;
    node->AddCharacterLink(mCharacter, eKindEffector, effectorId, 0);
    return true;
}

bool VOxaControlSet::GetEffector(int effectorId, VOxaEffector* effector) const {
    if (!IsEffectorId(effectorId) || !mEffectors[effectorId].mNode) return false;
    if (effector) *effector = mEffectors[effectorId];
    return true;
}

bool VOxaControlSet::SetEffectorAux(int effectorId, VOxaNode* node, int auxIndex) {
    if (!IsEffectorId(effectorId) || auxIndex < 1 || auxIndex > eAuxEffectorCount || !AcceptsNode(node))
        return false;
    VOxaNode*& slot = mAuxEffectors[effectorId][auxIndex - 1];
    if (slot) slot->RemoveCharacterLink(mCharacter, eKindAuxEffector, effectorId, auxIndex - 1);
    slot = node;
    if (node) node->AddCharacterLink(mCharacter, eKindAuxEffector, effectorId, auxIndex - 1);
    return true;
}

bool VOxaControlSet::GetEffectorAux(int effectorId, VOxaNode** node, int auxIndex) const {
    if (!IsEffectorId(effectorId) || auxIndex < 1 || auxIndex > eAuxEffectorCount) return false;
    VOxaNode* slot = mAuxEffectors[effectorId][auxIndex - 1];
    if (!slot) return false;
    if (node) *node = slot;
    return true;
}

const char* VOxaControlSet::GetEffectorNodeName(int effectorId) {
    return IsEffectorId(effectorId) ? kEffectorNames[effectorId] : nullptr;
}

int VOxaControlSet::GetEffectorIdFromName(const char* name) {
    return EffectorIndex().Find(name);
}

void VOxaControlSet::FromPlug(VOxaControlSetPlug* plug) {
    VOxaControlSetPlugProperties* block = plug ? plug->GetProperties() : nullptr;
    if (!block) return;
    Clear();
    mType = block->GetControlSetType();
    mUseAxis = block->GetUseAxis();
    for (int i = 0, n = block->GetLinkPropertyCount(); i < n; ++i) {
        VPropertyObjectList* property = block->GetLinkProperty(i);
        VOxaControlSetLink link;
        link.mNode = property->GetCount() > 0 ? NodeOfEntry(property->GetAt(0)) : nullptr;
        SetControlSetLink(property->GetUserValue(), link);
    }
    for (int i = 0, n = block->GetEffectorPropertyCount(); i < n; ++i) {
        VPropertyObjectList* property = block->GetEffectorProperty(i);
        int effectorId = property->GetUserValue();
        int count = property->GetCount();
        if (count > eAuxEffectorCount + 1) count = eAuxEffectorCount + 1;
        for (int c = 0; c < count; ++c) {
            VOxaNode* node = NodeOfEntry(property->GetAt(c));
            if (c == 0) {
                SetEffector(effectorId, node, true, false, false, false, false);
            } else {
                SetEffectorAux(effectorId, node, c);
            }
        }
    }
}

void VOxaControlSet::ToPlug(VOxaControlSetPlug* plug) const {
    VOxaControlSetPlugProperties* block = plug ? plug->GetProperties() : nullptr;
    if (!block) return;
    block->SetControlSetType((EType)mType);
    block->SetUseAxis(mUseAxis);
    for (int i = 0, n = block->GetLinkPropertyCount(); i < n; ++i) {
        VPropertyObjectList* property = block->GetLinkProperty(i);
        property->Clear();
        int nodeId = property->GetUserValue();
        if (IsNodeId(nodeId)) ConnectNode(property, mLinks[nodeId].mNode);
    }
    for (int i = 0, n = block->GetEffectorPropertyCount(); i < n; ++i) {
        VPropertyObjectList* property = block->GetEffectorProperty(i);
        property->Clear();
        int effectorId = property->GetUserValue();
        if (!IsEffectorId(effectorId)) continue;
        ConnectNode(property, mEffectors[effectorId].mNode);
        for (int aux = 0; aux < eAuxEffectorCount; ++aux)
            ConnectNode(property, mAuxEffectors[effectorId][aux]);
    }
}

void VOxaControlSet::ForgetNode(VOxaNode* node, int kind, int index, int extra) {
    switch (kind) {
        case eKindLink:
            if (IsNodeId(index) && mLinks[index].mNode == node) mLinks[index].mNode = nullptr;
            break;
        case eKindEffector:
            if (IsEffectorId(index) && mEffectors[index].mNode == node) mEffectors[index].Reset();
            break;
        case eKindAuxEffector:
            if (IsEffectorId(index) && extra >= 0 && extra < eAuxEffectorCount &&
                mAuxEffectors[index][extra] == node)
                mAuxEffectors[index][extra] = nullptr;
            break;
        default:
            break;
    }
}
