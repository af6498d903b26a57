#include "objects/voxa_property_handler.h"

#include "objects/voxa_object.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"

int VOxaPropertyHandler::ClassId = -1;
// Flag word 1 and an empty user value: the identity values its derived blocks share.
VClassInfo VOxaPropertyHandler::ClassInfo(&VOxaPropertyHandler::ClassId, &VObject::ClassInfo,
                                          "VOxaPropertyHandler", 1, "");
[[maybe_unused]] static const int VOxaPropertyHandler_ClassRegistered =
    RegisterClassId(&VOxaPropertyHandler::ClassInfo);

void VOxaPropertyHandler::OwnerPropertyChanged(VProperty* property) {
    VOxaObject* owner = GetOwner();
    if (!owner) return;
    VOxaUserProperty* userProperty = owner->FindUserPropertyByProperty(property);
    if (userProperty) PropertyValueChanged(userProperty);
}

bool VOxaPropertyHandler::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    // A property joining the list is told without another plug; a plug event of the same number
    // (a disconnection done) always names the other end.
    if (event == eObjectPropertyAdding && !other) {
        if (VOxaObject* owner = GetOwner()) owner->MakePendingUserProperties();
    }
    return VObject::ConnectNotify(event, plug, other);
}

VProperty* VOxaPropertyHandler::CreateProperty(const char* name, int valueType, const VDataType* dataType,
                                               bool animatable) {
    if (!name) return nullptr;
    VString unique(name);
    for (int counter = 1; FindProperty(unique.Buffer()); ++counter) {
        unique = name;
        unique += " ";
        unique += counter;
    }
    return MakeProperty(unique.Buffer(), valueType, dataType, animatable);
}

VProperty* VOxaPropertyHandler::MakeProperty(const char* name, int valueType, const VDataType* dataType,
                                             bool animatable) {
    if (valueType == eValueUndefined) valueType = GetValueTypeOfDataType(dataType);
    // Through the virtual creation, so that a block may make its own property classes.
    VProperty* property = CreateDynamicProperty(name, valueType, dataType);
    if (property && animatable) property->GetInfo().SetFlag(kPropertyAnimatable, true);
    return property;
}

VProperty* VOxaPropertyHandler::CreateNewProperty(const char* name, const char* dataTypeName,
                                                  bool animatable) {
    const VDataType* dataType = name ? VDataType::Find(dataTypeName) : nullptr;
    return dataType ? MakeProperty(name, dataType->GetValueType(), dataType, animatable) : nullptr;
}

VProperty* VOxaPropertyHandler::CreateProperty(const char* name, const char* dataTypeName, bool animatable) {
    const VDataType* dataType = VDataType::Find(dataTypeName);
    if (!dataType) return nullptr;
    return CreateProperty(name, dataType->GetValueType(), dataType, animatable);
}

VProperty* VOxaPropertyHandler::CreateProperty(VOxaUserProperty* userProperty) {
    if (!userProperty) return nullptr;
    if (userProperty->IsBound()) return userProperty->GetProperty();
    int valueType = eValueUndefined;
    switch (userProperty->GetType()) {
        case VOxaUserProperty::eBool:
            valueType = eValueBool;
            break;
        case VOxaUserProperty::eReal:
            valueType = eValueNumber;
            break;
        case VOxaUserProperty::eColor:
            valueType = eValueColor;
            break;
        case VOxaUserProperty::eInteger:
            valueType = eValueInteger;
            break;
        case VOxaUserProperty::eVector:
            valueType = eValueVector;
            break;
        case VOxaUserProperty::eEnum:
            valueType = eValueEnum;
            break;
        default:
            return nullptr;
    }
    VProperty* property = CreateProperty(userProperty->GetName(), valueType, nullptr,
                                         userProperty->GetFlag(VOxaUserProperty::eAnimatable));
    if (property) userProperty->Bind(property);
    return property;
}
