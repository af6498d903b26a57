#include "character/voxa_constraint_property.h"

#include "character/voxa_constraint.h"

VOBJECT_IMPLEMENT_CLASS(VOxaConstraintProperty, VOxaPropertyHandler);

bool VOxaConstraintProperty::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    if (event == ePlugDisconnectingDst && plug == this) {
        // Every constraint block (the character's included) is owned by a VOxaConstraint.
        VOxaObject* owner = GetOwner();
        if (owner && (owner->GetTypeCode() == 13 || owner->GetTypeCode() == 8))
            static_cast<VOxaConstraint*>(owner)->BlockLeavingList(other);
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}
