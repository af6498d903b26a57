#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_ROTATION_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_ROTATION_H

#include <oxa/base/oxa_export.h>
#include <oxa/character/voxa_constraint_position.h>

// The block of a rotation constraint (offset property "Rotation").
class OXA_API VOxaConstraintRotationProperties : public VOxaConstraintOffsetProperties {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintRotationProperties(VOxaConstraintOffsetFamily* owner)
        : VOxaConstraintOffsetProperties(owner, "Rotation") {}
};

// A rotation constraint (type 2, "Rotation From Rotations"), offset "Rotation". It has no RemoveSource.
class OXA_API VOxaConstraintRotation : public VOxaConstraintOffsetFamily {
public:
    VOxaConstraintRotation(VOxaSdkManager* manager, const char* name);

    VString GetTypeName() const override;
    int GetConstraintType() const override { return eRotation; }

    VOxaConstraintRotationProperties* GetProperties() const {
        return static_cast<VOxaConstraintRotationProperties*>(mProperties);
    }
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_ROTATION_H
