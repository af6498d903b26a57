#ifndef OXA_ATTRIBUTES_VOXA_MATERIAL_H
#define OXA_ATTRIBUTES_VOXA_MATERIAL_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaMaterial;
class VOxaTexture;

// The property block of a material: "Emissive", "Ambient", "Diffuse", "Specular" (colours),
// "Opacity", "Reflectivity" and "Shininess" (numbers, shininess 128 for 1.0 and up to 1280), in that
// order. It keeps its owner material; a change of an animatable property is passed to the
// owner's take nodes.
class OXA_API VOxaMaterialProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    // Declares the seven properties (not animatable yet) with their defaults.
    explicit VOxaMaterialProperties(VOxaMaterial* owner);

    // The material.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // After this block was connected as a source of a node's block, registers the material with
    // the node's scene contents unless a material of its name is there. Other owners register
    // nothing.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    VProperty* GetEmissiveProperty() { return &mEmissive; }
    VProperty* GetAmbientProperty() { return &mAmbient; }
    VProperty* GetDiffuseProperty() { return &mDiffuse; }
    VProperty* GetSpecularProperty() { return &mSpecular; }
    VProperty* GetOpacityProperty() { return &mOpacity; }
    VProperty* GetReflectivityProperty() { return &mReflectivity; }
    VProperty* GetShininessProperty() { return &mShininess; }

private:
    VOxaMaterial* mOwner;
    VPropertyTemplate<VgeRGBVector> mEmissive;
    VPropertyTemplate<VgeRGBVector> mAmbient;
    VPropertyTemplate<VgeRGBVector> mDiffuse;
    VPropertyTemplate<VgeRGBVector> mSpecular;
    VPropertyTemplate<double> mOpacity;
    VPropertyTemplate<double> mReflectivity;
    VPropertyTemplate<double> mShininess;
};

// A named description of how a surface reflects light, animatable per take: four colours,
// opacity, reflectivity and shininess, plus the shading model's name. The values of the
// "Default" take are the material's values. The manager makes it (name prefix "Material::") and
// owns it. Take errors go to the material's own error object, whose one message is
// "Take node error". No operation reports a failure.
class OXA_API VOxaMaterial : public VOxaTakeNodeContainer {
public:
    // `name` is the full name, "Material::" included. Adds the "Default" take (current), then
    // Reset.
    VOxaMaterial(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaMaterial() override;

    // The image maps a material can carry besides the colour textures its meshes hold per polygon:
    // each role holds at most one texture. The diffuse colour's own texture stays on the meshes.
    enum EMapRole : int {
        eMAP_SPECULAR = 0,    // specular colour (OBJ "map_Ks", 3DS specular map)
        eMAP_SHININESS = 1,   // specular exponent or glossiness (OBJ "map_Ns", 3DS shininess map)
        eMAP_OPACITY = 2,     // dissolve / opacity (OBJ "map_d", 3DS opacity map)
        eMAP_BUMP = 3,        // bump (OBJ "map_bump"/"bump", 3DS bump map)
        eMAP_EMISSIVE = 4,    // self-illumination (3DS self-illumination map)
        eMAP_REFLECTION = 5,  // reflection (OBJ "refl", 3DS reflection map)
        eMAP_AMBIENT = 6,     // ambient colour (OBJ "map_Ka")
        eMAP_ROLE_COUNT = 7
    };

    // Copies the takes, the shading model and the maps; the multi-layer flag is kept.
    VOxaMaterial& operator=(const VOxaMaterial& other);

    // The property block drops its connections (to the nodes that use the material) and its
    // properties.
    void Destroying() override;
    int GetTypeCode() const override { return 3; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // The seven channels, made from the current property values; on the "Default" take (any
    // case) each curve drives its property.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // Shading model "phong", multi-layer off.
    void Reset();
    // Rebuilds the takes from the current values, then Reset.
    void ResetAll();

    // The class id of the property block, which identifies materials among connections.
    static int GetClassId() { return VOxaMaterialProperties::ClassInfo.GetId(); }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

    // Null is taken as empty.
    void SetShadingModel(const char* model);
    // Never null.
    const char* GetShadingModel() const { return mShadingModel.Buffer(); }
    void SetMultiLayer(bool on) { mMultiLayer = on; }
    bool GetMultiLayer() const { return mMultiLayer; }

    // The texture of a map role, not owned (the manager owns textures, as it does the ones meshes
    // hold); null clears the role. A role out of range is ignored (set) or has no texture (get).
    void SetMap(EMapRole role, VOxaTexture* texture);
    VOxaTexture* GetMap(EMapRole role) const;
    // For a texture that is being destroyed: every role it fills becomes empty.
    void ReleaseTexture(const VOxaTexture* texture);
    // True when any role holds a texture.
    bool HasMaps() const;

    // Default-take values. Colours go to the X, Y, Z curves unclamped (the getters leave the
    // fourth component alone). Opacity and reflectivity are clamped to [0, 1] on set; shininess
    // is given with 1.0 as the usual highlight (an OBJ "Ns" of 100), clamped to [0, 10], and
    // stored times 128. Without the default take or the channel,
    // setters write the property only and getters answer the property.
    void SetDefaultEmissive(const VgeTVector& color);
    void GetDefaultEmissive(VgeTVector& color) const;
    void SetDefaultAmbient(const VgeTVector& color);
    void GetDefaultAmbient(VgeTVector& color) const;
    void SetDefaultDiffuse(const VgeTVector& color);
    void GetDefaultDiffuse(VgeTVector& color) const;
    void SetDefaultSpecular(const VgeTVector& color);
    void GetDefaultSpecular(VgeTVector& color) const;
    void SetDefaultOpacity(double opacity);
    double GetDefaultOpacity() const;
    void SetDefaultShininess(double shininess);
    // Clamped to [0, 10].
    double GetDefaultShininess() const;
    void SetDefaultReflectivity(double reflectivity);
    double GetDefaultReflectivity() const;

    // Colour forms: alpha is ignored on set and 1.0 on get.
    void SetEmissive(VOxaColor color);
    VOxaColor GetEmissive() const;
    void SetAmbient(VOxaColor color);
    VOxaColor GetAmbient() const;
    void SetDiffuse(VOxaColor color);
    VOxaColor GetDiffuse() const;
    void SetSpecular(VOxaColor color);
    VOxaColor GetSpecular() const;
    void SetOpacity(double opacity) { SetDefaultOpacity(opacity); }
    double GetOpacity() const { return GetDefaultOpacity(); }
    void SetShininess(double shininess) { SetDefaultShininess(shininess); }
    double GetShininess() const { return GetDefaultShininess(); }
    void SetReflectivity(double reflectivity) { SetDefaultReflectivity(reflectivity); }
    double GetReflectivity() const { return GetDefaultReflectivity(); }

    // True when the full names are equal exactly, the default colours, opacity, shininess and
    // reflectivity are equal exactly, every map role holds the same texture and the shading models
    // are equal ignoring case.
    bool IsEqual(const VOxaMaterial& other) const;

private:
    void SetDefaultColor(int channel, const VgeTVector& color);
    void GetDefaultColor(int channel, VgeTVector& color) const;
    void SetDefaultScalar(int channel, double value);
    double GetDefaultScalar(int channel) const;

    VError mError;
    VString mShadingModel;
    bool mMultiLayer = false;
    VOxaTexture* mMaps[eMAP_ROLE_COUNT] = {};
    VOxaMaterialProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_MATERIAL_H
