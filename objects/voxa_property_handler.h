#ifndef OXA_OBJECTS_VOXA_PROPERTY_HANDLER_H
#define OXA_OBJECTS_VOXA_PROPERTY_HANDLER_H

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vobject.h>

class VOxaObject;
class VOxaUserProperty;

// The base of every property block: the object-model object that declares and owns the
// properties of one scene object (its owner). A block declares its stored properties as
// members with getter and setter, and creates its animated ones by data type.
//
// When one of its properties changes value, OwnerPropertyChanged finds the owner's user
// property bound to it and passes that to PropertyValueChanged, which every block implements
// (usually by forwarding to the owner's take-node container).
class OXA_API VOxaPropertyHandler : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaPropertyHandler() = default;

    // The scene object whose properties these are.
    virtual VOxaObject* GetOwner() const = 0;
    // The value of the property bound to `userProperty` has changed.
    virtual void PropertyValueChanged(VOxaUserProperty* userProperty) = 0;

    // Looks up the owner's user property bound to `property` and, when there is one, calls
    // PropertyValueChanged with it.
    void OwnerPropertyChanged(VProperty* property) override;
    // Before a property joins the block, the owner's handles still to be made are made: they
    // are those of the properties the block held when the owner left them to be made.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    // Creates a property of `valueType` with `dataType` (null: none of its own) through the
    // object's CreateDynamicProperty; a value type of 0 takes the data type's. A name that a property
    // of the block bears already gets a numbered variant ("Name 1", "Name 2", ...): the existing
    // property is never answered. With `animatable` the property gets info flag 0x2. Null
    // (nothing created) for a null name or a value type without property class.
    VProperty* CreateProperty(const char* name, int valueType, const VDataType* dataType,
                              bool animatable = false);
    // The same by data-type name: the type's value type and the type itself. Null (nothing
    // created) when no data type bears that name.
    VProperty* CreateProperty(const char* name, const char* dataTypeName, bool animatable = false);
    // Creates the property an unbound user-property record describes (its name and type;
    // animatable when the record is) and binds the record to it. A bound handle gets nothing
    // new: its property is answered. Null for null or a record of unknown type.
    VProperty* CreateProperty(VOxaUserProperty* userProperty);

protected:
    // CreateProperty by data-type name for a name no property of the block bears (a block
    // declaring its own fixed set): the same property, without looking for the name first.
    VProperty* CreateNewProperty(const char* name, const char* dataTypeName, bool animatable);

private:
    // The property itself, under `name` as it stands; an undefined value type is the data type's.
    VProperty* MakeProperty(const char* name, int valueType, const VDataType* dataType, bool animatable);
};

#endif  // OXA_OBJECTS_VOXA_PROPERTY_HANDLER_H
