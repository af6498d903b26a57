#include "character/voxa_constraint_rotation.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintRotationProperties, VOxaConstraintProperty);

VOxaConstraintRotation::VOxaConstraintRotation(VOxaSdkManager* manager, const char* name)
    : VOxaConstraintOffsetFamily(manager, name, "Rotation") {
    Initialize(new VOxaConstraintRotationProperties(this));
}

VString VOxaConstraintRotation::GetTypeName() const {
    return VString("Rotation From Rotations");
}
