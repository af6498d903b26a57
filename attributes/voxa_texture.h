#ifndef OXA_ATTRIBUTES_VOXA_TEXTURE_H
#define OXA_ATTRIBUTES_VOXA_TEXTURE_H

#include "base/verror.h"
#include "objects/voxa_property_handler.h"
#include "scene/voxa_take_node_container.h"

class VOxaTexture;

// The property block of a texture. It keeps its owner texture; a change of one of its animatable
// properties is passed to the owner's take nodes.
class VOxaTextureProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaTextureProperties(VOxaTexture* owner) : mOwner(owner) {}

    // The texture.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

private:
    VOxaTexture* mOwner;
};

// A named image applied to surfaces, with an animated placement kept per take. The manager
// makes it (name prefix "Texture::") and owns it. Take errors of every texture go to one shared
// error object, whose one message is "Take node error".
class VOxaTexture : public VOxaTakeNodeContainer {
public:
    // `name` is the full name, "Texture::" included. Adds the "Default" take (current).
    VOxaTexture(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaTexture() override;

    // The property block drops its connections (to the nodes that use the texture) and its
    // properties.
    void Destroying() override;
    int GetTypeCode() const override { return 2; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "TextureVideoClip"; no type flags.
    VString GetTypeName() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // The class id of the property block, which identifies textures among connections.
    static int GetClassId() { return VOxaTextureProperties::ClassInfo.GetId(); }

    VError& GetError() { return SharedError(); }
    int GetLastErrorID() const { return SharedError().GetLastErrorID(); }
    const char* GetLastErrorString() const { return SharedError().GetLastErrorString().Buffer(); }

private:
    static VError& SharedError();

    VOxaTextureProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_TEXTURE_H
