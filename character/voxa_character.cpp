#include "character/voxa_character.h"

#include <new>
#include <unordered_set>

#include "base/vallocation_hook.h"

#include "character/voxa_control_set_plug.h"
#include "objects/vproperty_object_list.h"
#include "scene/voxa_node.h"

namespace {

const char* const kCharacterErrors[] = {"internal error"};

enum ELinkKind : int { eKindCharacterLink = 0 };

// The characters alive now: a node being destroyed tells the owners of its character links,
// and only a live character may be told (a link's owner is an untyped pointer).
std::unordered_set<const void*>& LiveCharacters() {
    static std::unordered_set<const void*> live;
    return live;
}

// The object-list property `name` of `block`; null when missing or of another kind.
VPropertyObjectList* FindList(VOxaPropertyHandler* block, const char* name) {
    VProperty* property = block ? block->FindProperty(name) : nullptr;
    if (!property || !property->IsA(VPropertyObjectList::ClassInfo.GetId())) return nullptr;
    return static_cast<VPropertyObjectList*>(property);
}

}  // namespace

VOxaCharacter::VOxaCharacter(VOxaSdkManager* manager, const char* name)
    : VOxaConstraint(manager, name), mCharacterError(kCharacterErrors, 1) {
    LiveCharacters().insert(this);
    VOxaNode::SetCharacterLinkReleaser(&VOxaCharacter::ReleaseNodeLink);
    // The destructor does not run for a character whose making runs out of memory: what was
    // made goes here, the block first as there.
    try {
        mControlSet = new VOxaControlSet(this);
        mParameterStore = new VOxaCharacterParameterStore();
        mProperties = new VOxaCharacterProperties(this);
        AdoptPropertyBlock(mProperties);
        AddDefaultTakeNode();
        mProperties->SetName(GetName());
    } catch (...) {
        DestroyPropertyBlock();
        delete mControlSet;
        delete mParameterStore;
        LiveCharacters().erase(this);
        throw;
    }
}

VOxaCharacter::~VOxaCharacter() {
    // The block's connections go first: the link properties' notifications still find the
    // slots.
    DestroyPropertyBlock();
    mProperties = nullptr;
    ClearLinks();
    delete mControlSet;
    mControlSet = nullptr;
    delete mParameterStore;
    mParameterStore = nullptr;
    LiveCharacters().erase(this);
}

VString VOxaCharacter::GetTypeName() const {
    return VString("Character");
}

VStringList VOxaCharacter::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Character");
    return flags;
}

// ---- Links --------------------------------------------------------------------------------------

bool VOxaCharacter::GetCharacterLink(int nodeId, VOxaCharacterLink* link) const {
    if (!IsNodeId(nodeId) || mLinks[nodeId].IsEmpty()) return false;
    if (link) *link = mLinks[nodeId];
    return true;
}

bool VOxaCharacter::SetCharacterLink(int nodeId, const VOxaCharacterLink& link, bool updateProperty) {
    if (!IsNodeId(nodeId) || !AcceptsObject(link.mNode)) return false;
    VOxaCharacterLink& slot = mLinks[nodeId];
    // The new node records the link before the former one forgets it, so that memory that
    // runs out for the record changes nothing.
    try {
        if (link.mNode) link.mNode->AddCharacterLink(this, eKindCharacterLink, nodeId, 0);
    } catch (const std::bad_alloc&) {
        return RanOutOfMemory();
    }
    const VOxaCharacterLink former = slot;
    if (former.mNode) former.mNode->RemoveCharacterLink(this, eKindCharacterLink, nodeId, 0);
    slot = link;
    VOxaPropertyHandler* block = slot.mNode ? slot.mNode->GetPropertyHandler() : nullptr;
    if (updateProperty && slot.mProperty) {
        // The connection's notification sets the slot again, to the same node.
        if (block) {
            const unsigned long long failures = oxa_alloc::FailureCount();
            if (!slot.mProperty->SetAt(0, block) && oxa_alloc::FailureCount() != failures) {
                // The property kept the former node: so does the slot (its record is back
                // where the new node's was).
                if (slot.mNode) slot.mNode->RemoveCharacterLink(this, eKindCharacterLink, nodeId, 0);
                if (former.mNode) former.mNode->AddCharacterLink(this, eKindCharacterLink, nodeId, 0);
                slot = former;
                return RanOutOfMemory();
            }
        } else {
            slot.mProperty->Clear();
        }
    }
    return true;
}

void VOxaCharacter::ClearLinks() {
    SetInitialName("");
    for (int id = 0; id < eNodeIdCount; ++id) {
        if (mLinks[id].mNode) mLinks[id].mNode->RemoveCharacterLink(this, eKindCharacterLink, id, 0);
        mLinks[id].Reset();
    }
    if (mControlSet) mControlSet->Clear();
}

void VOxaCharacter::ReleaseNodeLink(void* owner, VOxaNode* node, int kind, int index, int extra) {
    if (!owner || !LiveCharacters().count(owner)) return;
    auto* character = static_cast<VOxaCharacter*>(owner);
    if (kind == eKindCharacterLink) {
        if (IsNodeId(index) && character->mLinks[index].mNode == node)
            character->mLinks[index].mNode = nullptr;
    } else if (character->mControlSet) {
        character->mControlSet->ForgetNode(node, kind, index, extra);
    }
}

// ---- Input ----------------------------------------------------------------------------------------

void VOxaCharacter::SetInput(int inputType, VOxaObject* object) {
    if (!object || !AcceptsObject(object)) return;
    int code = object->GetTypeCode();
    bool matches = (inputType == eInputActor && code == 6) || (inputType == eInputCharacter && code == 8) ||
                   (inputType == eInputControlSet && code == 12);
    VOxaPropertyHandler* block = object->GetPropertyHandler();
    if (!matches || !block) return;
    VPropertyObjectList* lists[2] = {FindList(mProperties, "SourceObject"), nullptr};
    if (inputType == eInputCharacter) lists[1] = FindList(mProperties, "Character");
    if (inputType == eInputControlSet) lists[1] = FindList(mProperties, "ControlSet");
    // The object joins every list before the former entries leave, so that memory that runs
    // out for a connection leaves every list as it was.
    bool added[2] = {false, false};
    const unsigned long long failures = oxa_alloc::FailureCount();
    try {
        for (int i = 0; i < 2; ++i)
            added[i] = lists[i] && lists[i]->Add(block);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
    }
    if (oxa_alloc::FailureCount() != failures) {
        for (int i = 0; i < 2; ++i)
            if (added[i]) lists[i]->Remove(block);
        RanOutOfMemory();
        return;
    }
    for (VPropertyObjectList* list : lists) {
        for (int k = list ? list->GetSrcCount() : 0; k-- > 0;) {
            if (k < list->GetSrcCount() && list->GetSrc(k) != block) list->DisconnectSrc(list->GetSrc(k));
        }
    }
}

VOxaObject* VOxaCharacter::GetInputObject() const {
    VPropertyObjectList* list = FindList(mProperties, "SourceObject");
    if (!list) return nullptr;
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        VObject* entry = list->GetAt(i);
        if (entry && entry->IsA(VOxaPropertyHandler::ClassInfo.GetId()))
            return static_cast<VOxaPropertyHandler*>(entry)->GetOwner();
    }
    return nullptr;
}

int VOxaCharacter::GetInputType() const {
    VOxaObject* object = GetInputObject();
    switch (object ? object->GetTypeCode() : -1) {
        case 6:
            return eInputActor;
        case 8:
            return eInputCharacter;
        case 12:
            return eInputControlSet;
        default:
            return eInputNone;
    }
}

// ---- Assignment -------------------------------------------------------------------------------------

void VOxaCharacter::CopyParameters(const VOxaCharacterParameterStore& source) {
    for (int i = 0; i < VOxaCharacterParameterStore::eParameterCount; ++i) {
        int j = VOxaCharacterParameterStore::FindParameter(VOxaCharacterParameterStore::GetParameterName(i));
        if (j < 0) continue;
        mParameterStore->SetMode(j, source.GetMode(i));
        mParameterStore->SetValue(j, source.GetValue(i, 0), 0);
        if (VOxaCharacterParameterStore::GetParameterComponentFlag(i) == 1) {
            mParameterStore->SetValue(j, source.GetValue(i, 1), 1);
            mParameterStore->SetValue(j, source.GetValue(i, 2), 2);
        }
    }
}

VOxaCharacter& VOxaCharacter::operator=(const VOxaCharacter& other) {
    if (this == &other) return *this;
    VOxaObject::operator=(other);
    SetInput(other.GetInputType(), other.GetInputObject());
    VOxaCharacterLink link;
    for (int id = 0; id < eNodeIdCount; ++id) {
        if (other.GetCharacterLink(id, &link)) SetCharacterLink(id, link, true);
    }
    CopyParameters(*other.mParameterStore);

    const VOxaControlSet& source = *other.mControlSet;
    mControlSet->SetType(source.GetType());
    VOxaControlSetLink controlLink;
    for (int id = 0; id < VOxaControlSet::eNodeIdCount; ++id) {
        if (source.GetControlSetLink(id, &controlLink)) mControlSet->SetControlSetLink(id, controlLink);
    }
    VOxaEffector effector;
    for (int id = 0; id < VOxaControlSet::eEffectorCount; ++id) {
        if (source.GetEffector(id, &effector))
            mControlSet->SetEffector(id, effector.mNode, effector.mShow, effector.mTActive, effector.mRActive,
                                     effector.mCandidateTActive, effector.mCandidateRActive);
        VOxaNode* aux = nullptr;
        if (source.GetEffectorAux(id, &aux, 1)) mControlSet->SetEffectorAux(id, aux, 1);
    }
    return *this;
}
