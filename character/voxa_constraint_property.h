#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_PROPERTY_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_PROPERTY_H

#include <oxa/base/oxa_export.h>
#include <oxa/objects/voxa_property_handler.h>

// The common base of the property blocks of every constraint and of the character. It adds
// no property; its class identity lets the scene find constraints among the property blocks
// connected to it (derived blocks pass the filter). Every derived block answers GetOwner with
// its constraint and forwards PropertyValueChanged to it.
class OXA_API VOxaConstraintProperty : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaConstraintProperty() = default;

    // When the block leaves its constraint's scene contents' object list (the constraint moves
    // or the contents are torn down), the constraint forgets the contents.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    // The class id registered under "VOxaConstraintProperty".
    static int GetConstraintPropertyClassId() { return ClassInfo.GetId(); }
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_PROPERTY_H
