#include "character/voxa_constraint_scale.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintScaleProperties, VOxaConstraintProperty);

VOxaConstraintScale::VOxaConstraintScale(VOxaSdkManager* manager, const char* name)
    : VOxaConstraintOffsetFamily(manager, name, "Scaling") {
    Initialize(new VOxaConstraintScaleProperties(this));
}

VString VOxaConstraintScale::GetTypeName() const {
    return VString("Scale From Scales");
}
