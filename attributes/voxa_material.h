#ifndef OXA_ATTRIBUTES_VOXA_MATERIAL_H
#define OXA_ATTRIBUTES_VOXA_MATERIAL_H

#include "base/verror.h"
#include "objects/voxa_property_handler.h"
#include "scene/voxa_take_node_container.h"

class VOxaMaterial;

// The property block of a material. It keeps its owner material; a change of one of its animatable
// properties is passed to the owner's take nodes.
class VOxaMaterialProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaMaterialProperties(VOxaMaterial* owner) : mOwner(owner) {}

    // The material.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

private:
    VOxaMaterial* mOwner;
};

// A named description of how a surface reflects light, animatable per take. The manager makes
// it (name prefix "Material::") and owns it. Take errors go to the material's own error object,
// whose one message is "Take node error".
class VOxaMaterial : public VOxaTakeNodeContainer {
public:
    // `name` is the full name, "Material::" included. Adds the "Default" take (current).
    VOxaMaterial(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaMaterial() override;

    // The property block drops its connections (to the nodes that use the material) and its
    // properties.
    void Destroying() override;
    int GetTypeCode() const override { return 3; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // The class id of the property block, which identifies materials among connections.
    static int GetClassId() { return VOxaMaterialProperties::ClassInfo.GetId(); }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    VError mError;
    VOxaMaterialProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_MATERIAL_H
