#include "attributes/voxa_shape.h"

#include "scene/voxa_node.h"

VOxaOpticalReference* VOxaNode::GetOpticalReference() const {
    VOxaNodeAttribute* attribute = GetNodeAttribute();
    return (attribute != nullptr && attribute->GetAttributeType() == VOxaNodeAttribute::eOpticalReference)
               ? static_cast<VOxaOpticalReference*>(attribute)
               : nullptr;
}

VOxaShape& VOxaShape::operator=(const VOxaShape& other) {
    if (&other != this) VOxaGeometryBase::operator=(other);
    return *this;
}

VString VOxaOpticalReference::GetTypeName() const {
    return VString("Optical");
}

VStringList VOxaOpticalReference::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Marker");
    return flags;
}
