// The manager's part for constraints.
#include <new>

#include "base/vallocation_hook.h"
#include "character/voxa_constraint.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_rotation.h"
#include "character/voxa_constraint_scale.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "objects/vobject_list.h"
#include "scene/voxa_make_listed_internal.h"
#include "scene/voxa_sdk_manager.h"

namespace {
// The constraint a list entry stands for: the owner of a constraint block (type code 13 for
// the six constraints, 8 for the character), null for anything else.
VOxaConstraint* ConstraintOfEntry(const VPlug* entry) {
    if (!VObjectList::IsObject(entry)) return nullptr;
    VOxaObject* owner = VObjectList::GetOwnerObject(entry);
    if (!owner || (owner->GetTypeCode() != 13 && owner->GetTypeCode() != 8)) return nullptr;
    return static_cast<VOxaConstraint*>(owner);
}
}  // namespace

VOxaConstraintPosition* VOxaSdkManager::NewConstraintPosition(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintPosition(this, name)) : nullptr;
}
VOxaConstraintRotation* VOxaSdkManager::NewConstraintRotation(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintRotation(this, name)) : nullptr;
}
VOxaConstraintScale* VOxaSdkManager::NewConstraintScale(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintScale(this, name)) : nullptr;
}
VOxaConstraintParent* VOxaSdkManager::NewConstraintParent(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintParent(this, name)) : nullptr;
}
VOxaConstraintSingleChainIK* VOxaSdkManager::NewConstraintSingleChainIK(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintSingleChainIK(this, name)) : nullptr;
}
VOxaConstraintAim* VOxaSdkManager::NewConstraintAim(const char* name) {
    return name ? oxa_alloc::Counted(new (std::nothrow) VOxaConstraintAim(this, name)) : nullptr;
}

VOxaConstraint* VOxaSdkManager::CreateConstraint(const char* name, int type) {
    // Characters are made by the scene; anything else is no constraint.
    if (!name || type < VOxaConstraint::ePosition || type > VOxaConstraint::eAim) return nullptr;
    return MakeObjectListed([&]() -> VOxaConstraint* {
        VString fullName = VOxaMakeObjectName("Constraint::", name);
        switch (type) {
            case VOxaConstraint::ePosition:
                return NewConstraintPosition(fullName.Buffer());
            case VOxaConstraint::eRotation:
                return NewConstraintRotation(fullName.Buffer());
            case VOxaConstraint::eScale:
                return NewConstraintScale(fullName.Buffer());
            case VOxaConstraint::eParent:
                return NewConstraintParent(fullName.Buffer());
            case VOxaConstraint::eSingleChainIK:
                return NewConstraintSingleChainIK(fullName.Buffer());
            default:
                return NewConstraintAim(fullName.Buffer());
        }
    });
}

int VOxaSdkManager::GetConstraintCount() const {
    return mObjects->GetFilteredCount(VOxaConstraintProperty::ClassInfo.GetId());
}

int VOxaSdkManager::GetConstraintCountByType(int type) const {
    // A type without a class (invalid, or not built) has no constraints; a class id of -1
    // must not reach the filter, which would take it for "no filter".
    int classId = VOxaConstraint::GetClassIdOfType(type);
    return classId < 0 ? 0 : mObjects->GetFilteredCount(classId);
}

VOxaConstraint* VOxaSdkManager::GetConstraint(int index, int type) const {
    int classId = VOxaConstraint::GetClassIdOfType(type);
    if (classId < 0 || index < 0 || index >= mObjects->GetFilteredCount(classId)) return nullptr;
    return ConstraintOfEntry(mObjects->GetFiltered(classId, index));
}
