#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_SCALE_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_SCALE_H

#include <oxa/base/oxa_export.h>
#include <oxa/character/voxa_constraint_position.h>

// The block of a scale constraint (offset property "Scaling").
class OXA_API VOxaConstraintScaleProperties : public VOxaConstraintOffsetProperties {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintScaleProperties(VOxaConstraintOffsetFamily* owner)
        : VOxaConstraintOffsetProperties(owner, "Scaling") {}
};

// A scale constraint (type 3, "Scale From Scales"), offset "Scaling". It has no RemoveSource.
class OXA_API VOxaConstraintScale : public VOxaConstraintOffsetFamily {
public:
    VOxaConstraintScale(VOxaSdkManager* manager, const char* name);

    VString GetTypeName() const override;
    int GetConstraintType() const override { return eScale; }

    VOxaConstraintScaleProperties* GetProperties() const {
        return static_cast<VOxaConstraintScaleProperties*>(mProperties);
    }
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_SCALE_H
