#include "character/voxa_constraint.h"

#include <cstring>
#include <new>

#include "base/vallocation_hook.h"

#include "objects/voxa_same_manager_internal.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "objects/vproperty_object_list.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"

#include "character/voxa_character_properties.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"

namespace {
const char* const kConstraintErrors[] = {"Error", "Not enough memory"};
}

VOxaConstraint::VOxaConstraint(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kConstraintErrors, 2) {}

VOxaConstraint::~VOxaConstraint() {
    // The concrete destructor has destroyed the block already; the contents must not keep a
    // dangling entry, and the block left their list when it was destroyed.
    DestroyPropertyBlock();
    mSceneContents = nullptr;
}

void VOxaConstraint::Destroying() {
    if (mPropertyBlock) mPropertyBlock->Destroying();
}

void VOxaConstraint::DestroyPropertyBlock() {
    if (!mPropertyBlock) return;
    SetSceneContents(nullptr);
    // The default take's curves are linked to properties of the block.
    RemoveAllChannelLinks();
    mPropertyBlock->Destroy();
    mPropertyBlock = nullptr;
}

VString VOxaConstraint::GetTypeName() const {
    return VString("Constraint");
}

VStringList VOxaConstraint::GetTypeFlags() const {
    VStringList flags;
    flags.Add("");
    return flags;
}

void VOxaConstraint::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VOxaPropertyHandler* block = GetPropertyHandler();
    if (!block || !takeNode) return;
    for (int i = 0, n = block->GetPropertyCount(); i < n; ++i) {
        VProperty* property = block->GetProperty(i);
        if (property && property->IsAnimatable()) CreatePropertyChannels(property, takeNode);
    }
}

VOxaUserProperty* VOxaConstraint::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

void VOxaConstraint::SetOffset(VgeTVector) {}

bool VOxaConstraint::IsValidConstraintType(int type) {
    return type >= ePosition && type <= eCharacter;
}

bool VOxaConstraint::SetSceneContents(VOxaSceneContents* contents) {
    if (contents == mSceneContents) return true;
    if (contents && !VOxaSameManager(GetSdkManager(), contents->GetSdkManager())) {
        mError.SetLastErrorID(0);
        return false;
    }
    if (mSceneContents) mSceneContents->RemoveConstraint(this);
    mSceneContents = contents;
    if (mSceneContents) {
        VOxaPropertyHandler* block = GetPropertyHandler();
        if (block && mSceneContents->GetObjectList().Find(block) < 0) mSceneContents->AddConstraint(this);
    }
    return true;
}

void VOxaConstraint::BlockLeavingList(const VPlug* list) {
    if (mSceneContents && list == static_cast<const VPlug*>(&mSceneContents->GetObjectList())) {
        mSceneContents = nullptr;
    }
}

VOxaObject* VOxaConstraint::GetEntryOwner(VObject* entry) {
    if (!entry || !entry->IsA(VOxaPropertyHandler::ClassInfo.GetId())) return nullptr;
    return static_cast<VOxaPropertyHandler*>(entry)->GetOwner();
}

// ---- Helpers of the concrete constraints -----------------------------------------------------

VProperty* VOxaConstraint::FindBlockProperty(const char* name) const {
    VOxaPropertyHandler* block = GetPropertyHandler();
    return block && name ? block->FindProperty(name) : nullptr;
}

void VOxaConstraint::SetAndPublish(VProperty* property, const double* values) {
    VOxaPropertyHandler* block = GetPropertyHandler();
    if (!property || !block || !values) return;
    property->SetValue(values);
    if (VOxaUserProperty* handle = FindUserPropertyByProperty(property)) block->PropertyValueChanged(handle);
}

void VOxaConstraint::SetAndPublish(const char* name, double value) {
    SetAndPublish(FindBlockProperty(name), &value);
}

void VOxaConstraint::SetVectorAndPublish(const char* name, const VgeTVector& value) {
    const double values[4] = {value[0], value[1], value[2], 1.0};
    SetAndPublish(FindBlockProperty(name), values);
}

VgeTVector VOxaConstraint::GetVector(const char* name, const VgeTVector& fallback) const {
    VProperty* property = FindBlockProperty(name);
    double values[4] = {0.0, 0.0, 0.0, 1.0};
    if (!property || property->GetValue(values) < 3) return fallback;
    return VgeTVector(values[0], values[1], values[2], 1.0);
}

double VOxaConstraint::GetDouble(const char* name, double fallback) const {
    VProperty* property = FindBlockProperty(name);
    // A block read from a file may hold a vector under this name: room for four values.
    double values[4] = {fallback, 0.0, 0.0, 0.0};
    if (!property || property->GetValue(values) < 1) return fallback;
    return values[0];
}

VOxaObject* VOxaConstraint::GetListObject(const VPropertyObjectList* list, int index) {
    if (!list || index < 0 || index >= list->GetCount()) return nullptr;
    return GetEntryOwner(list->GetAt(index));
}

bool VOxaConstraint::SetListObject0(VPropertyObjectList* list, VOxaObject* object) {
    VOxaPropertyHandler* block = object ? object->GetPropertyHandler() : nullptr;
    if (!list || !block) return false;
    const unsigned long long failures = oxa_alloc::FailureCount();
    if (list->SetAt(0, block)) return true;
    if (oxa_alloc::FailureCount() != failures) mError.SetLastErrorID(eNotEnoughMemory);
    return false;
}

VProperty* VOxaConstraint::CreateAnimatableProperty(const char* name, const char* dataTypeName) {
    VOxaPropertyHandler* block = GetPropertyHandler();
    if (!block) return nullptr;
    VProperty* property = block->CreateProperty(name, dataTypeName, true);
    if (!property) return nullptr;
    property->SetStateFlag(kPropertyAnimated, true);
    return property;
}

bool VOxaConstraint::AcceptsObject(const VOxaObject* object) {
    if (!object || VOxaSameManager(GetSdkManager(), object->GetSdkManager())) return true;
    mError.SetLastErrorID(0);
    return false;
}

bool VOxaConstraint::AddSourceWithProperty(VPropertyObjectList* list, VOxaObject* object, const char* suffix,
                                           const char* dataTypeName, const double* values,
                                           SourceAdded* added) {
    VOxaPropertyHandler* block = GetPropertyHandler();
    VOxaPropertyHandler* sourceBlock = object ? object->GetPropertyHandler() : nullptr;
    if (!block || !sourceBlock || !list || !suffix || !values || !AcceptsObject(object)) return false;
    // False without failure for a source listed already: its property gets a numbered duplicate.
    const unsigned long long failures = oxa_alloc::FailureCount();
    bool listed = false;
    try {
        listed = list->Add(sourceBlock);
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
    }
    VString name(object->GetNameWithoutPrefix());
    name += suffix;
    VProperty* property = nullptr;
    if (oxa_alloc::FailureCount() != failures ||
        !MakeSourceProperty(name.Buffer(), dataTypeName, values, property)) {
        if (listed) list->Remove(sourceBlock);
        return RanOutOfMemory();
    }
    if (added) *added = {listed, property};
    if (!property) return true;
    // The value goes to the property of the plain name (a re-added source's numbered
    // duplicate keeps its own).
    try {
        SetAndPublish(block->FindProperty(name.Buffer()), values);
    } catch (const std::bad_alloc&) {
        // The source is added with its value; a channel's default may not follow it.
        RanOutOfMemory();
    }
    return true;
}

bool VOxaConstraint::MakeSourceProperty(const char* name, const char* dataTypeName, const double* values,
                                        VProperty*& made) {
    made = nullptr;
    // Memory that runs out, thrown or counted by a part that went on without it, undoes it all.
    const unsigned long long failures = oxa_alloc::FailureCount();
    auto ranOut = [failures] {
        if (oxa_alloc::FailureCount() != failures) throw std::bad_alloc();
    };
    VProperty* property = nullptr;
    VOxaUserProperty* handle = nullptr;
    try {
        property = CreateAnimatableProperty(name, dataTypeName);
        ranOut();
        if (!property) return true;
        // The value is in the property before its channels and handle exist, so every take's
        // new channel starts with it (not only the current and the default take).
        property->SetValue(values);
        // Only the new property is given its channel and handle: walking every earlier
        // property on each addition would make many additions quadratic.
        CreatePropertyChannels(property, GetCurrentTakeNode());
        ranOut();
        if (!FindUserPropertyByProperty(property)) {
            VOxaUserProperty::OwnHandleScope own;
            handle = CreateUserProperty(property);
            ranOut();
            if (handle) {
                AddUserProperty(handle);
                handle->SetChangeListener(GetPropertyHandler());
                ranOut();
            }
        }
    } catch (const std::bad_alloc&) {
        DropSourceProperty(property, handle);
        return false;
    }
    made = property;
    return true;
}

void VOxaConstraint::DropSourceProperty(VProperty* property, VOxaUserProperty* handle) {
    if (!property) return;
    try {
        if (!handle) handle = FindUserPropertyByProperty(property);
        if (handle) {
            // The handle leaves the object, then its manager.
            ForgetUserProperty(handle);
            if (!GetSdkManager() || !GetSdkManager()->DestroyUserProperty(handle)) return;
        }
    } catch (const std::bad_alloc&) {
        // A handle that cannot leave keeps the property it is bound to.
        return;
    }
    DropPropertyChannels(property->GetName(), property);
    GetPropertyHandler()->RemoveProperty(property);
}

bool VOxaConstraint::RanOutOfMemory() {
    oxa_alloc::NoteFailure();
    mError.SetLastErrorID(eNotEnoughMemory);
    return false;
}

VProperty* VOxaConstraint::FindSourceProperty(const VOxaObject* object, const char* suffix) const {
    VOxaPropertyHandler* block = GetPropertyHandler();
    if (!block || !object || !suffix) return nullptr;
    VString name(object->GetNameWithoutPrefix());
    name += suffix;
    if (VProperty* property = block->FindProperty(name.Buffer())) return property;
    // The name the object had at creation, its type prefix taken out once.
    std::string initial(object->GetInitialName());
    const char* prefix = object->GetNamePrefix();
    if (prefix && *prefix) {
        size_t at = initial.find(prefix);
        if (at != std::string::npos) initial.erase(at, std::strlen(prefix));
    }
    initial += suffix;
    return block->FindProperty(initial.c_str());
}

// ---- Class ids of the types ---------------------------------------------------------------------

int VOxaConstraint::GetClassIdOfType(int type) {
    switch (type) {
        case ePosition:
            return VOxaConstraintPositionProperties::ClassInfo.GetId();
        case eRotation:
            return VOxaConstraintRotationProperties::ClassInfo.GetId();
        case eScale:
            return VOxaConstraintScaleProperties::ClassInfo.GetId();
        case eParent:
            return VOxaConstraintParentProperties::ClassInfo.GetId();
        case eSingleChainIK:
            return VOxaConstraintSingleChainIKProperties::ClassInfo.GetId();
        case eAim:
            return VOxaConstraintAimProperties::ClassInfo.GetId();
        case eCharacter:
            return VOxaCharacterProperties::ClassInfo.GetId();
        default:
            return -1;
    }
}
