#ifndef OXA_ATTRIBUTES_VOXA_LIGHT_H
#define OXA_ATTRIBUTES_VOXA_LIGHT_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/vobject.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_node_attribute.h>

class VOxaLightProperties;

// The node attribute that makes a node a light source. Its settings live in its property block;
// colour, intensity, cone angle and fog are also animated channels that the light keeps in every
// take of its node while it is attached. On the node's take named "Default" (any case) those
// curves are linked to the block's properties, which follow their default values.
//
// Nothing is range-checked and nothing fails: any light type, intensity or angle is stored as
// given (a light type outside 0..2 simply has no name).
class OXA_API VOxaLight : public VOxaNodeAttribute {
public:
    // Point, infinite and spot light.
    enum ELightType : int { ePOINT = 0, eINFINITE = 1, eSPOT = 2 };

    // Point light, white, intensity 100, cone angle 45, fog 50, cast on objects, volumetric
    // light and ground projection drawn, front-facing volumetric light not drawn.
    explicit VOxaLight(VOxaSdkManager* manager);
    // Leaves its node (channels included) when still attached, then destroys the block.
    ~VOxaLight() override;

    // Copies the light type, the gobo file name and the four drawing switches. Colour,
    // intensity, cone angle, fog and the gobo object list stay as they are.
    VOxaLight& operator=(const VOxaLight& other);

    int GetAttributeType() const override { return eLight; }
    // Adds "Color" (components "X", "Y", "Z"), "Intensity", "Cone angle" and "Fog" to the take
    // (found when there already), their defaults taken from the properties; linked to the
    // properties on the "Default" take.
    void AddChannels(VOxaTakeNode* takeNode) override;
    // Deletes those four channels from the take, where present.
    void RemoveChannels(VOxaTakeNode* takeNode) override;
    // Its channels are linked to its properties.
    bool AddsChannelsFromStateOnly() const override { return false; }
    // Appends every property of the block.
    void CollectChannels(VArrayTemplate<VProperty*>& properties) override;
    // "Light", and the one flag "Light".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;

    VOxaLightProperties* GetProperties() const { return mProperties; }

    // Plain values of the block, unchecked.
    void SetLightType(ELightType type);
    ELightType GetLightType() const;
    void SetCastLightOnObject(bool on);
    bool GetCastLightOnObject() const;
    void SetDrawVolumetricLight(bool on);
    bool GetDrawVolumetricLight() const;
    void SetDrawGroundProjection(bool on);
    bool GetDrawGroundProjection() const;
    void SetDrawFrontFacingVolumetricLight(bool on);
    bool GetDrawFrontFacingVolumetricLight() const;

    // Stores the name (null: empty); always true.
    bool SetGoboFileName(const char* name);
    // The gobo file name, null when empty.
    const char* GetGoboFileName() const;

    // Each setter writes the value into the matching curve of the node's default take when the
    // light is attached and that curve exists (single precision), then into the property. The
    // getters answer the curve's default value when attached and the curve exists, else the
    // property. The colour's alpha is not kept.
    void SetDefaultColor(const VOxaColor& color);
    void GetDefaultColor(double& red, double& green, double& blue) const;
    void SetDefaultIntensity(double intensity);
    double GetDefaultIntensity() const;
    void SetDefaultConeAngle(double angle);
    double GetDefaultConeAngle() const;
    void SetDefaultFog(double fog);
    double GetDefaultFog() const;

private:
    VOxaLightProperties* mProperties = nullptr;
    VString mGoboFileName;
};

// The name of a light type: "Point Light", "Infinite Light", "Spot Light"; null for any other
// value.
OXA_API const char* GetLightTypeName(int value);

// The property block of a light, in file order: "LightType", "CastLightOnObject",
// "DrawVolumetricLight", "DrawGroundProjection", "DrawFrontFacingVolumetricLight",
// "GoboProperty" (an object list), then the animated "Color", "Intensity", "Cone angle" and
// "Fog". A new block holds zeros and an empty list; the light sets the defaults.
//
// The stored properties are reached through the virtual accessor pairs below, which store and
// answer the member values without events or checks.
class OXA_API VOxaLightProperties : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaLightProperties();
    ~VOxaLightProperties() override;

    virtual void SetLightType(VOxaLight::ELightType type);
    virtual VOxaLight::ELightType GetLightType() const;
    virtual void SetCastLightOnObject(bool on);
    virtual bool GetCastLightOnObject() const;
    virtual void SetDrawVolumetricLight(bool on);
    virtual bool GetDrawVolumetricLight() const;
    virtual void SetDrawGroundProjection(bool on);
    virtual bool GetDrawGroundProjection() const;
    virtual void SetDrawFrontFacingVolumetricLight(bool on);
    virtual bool GetDrawFrontFacingVolumetricLight() const;

    // The object list and the animated properties (null only when creating them failed).
    VPropertyObjectList* GetGoboProperty() const { return mGobo; }
    VProperty* GetColorProperty() const { return mColor; }
    VProperty* GetIntensityProperty() const { return mIntensity; }
    VProperty* GetConeAngleProperty() const { return mConeAngle; }
    VProperty* GetFogProperty() const { return mFog; }

private:
    VPropertyTemplate<VOxaLight::ELightType> mLightType;
    VPropertyTemplate<bool> mCastLightOnObject;
    VPropertyTemplate<bool> mDrawVolumetricLight;
    VPropertyTemplate<bool> mDrawGroundProjection;
    VPropertyTemplate<bool> mDrawFrontFacingVolumetricLight;
    VPropertyObjectList* mGobo = nullptr;
    VProperty* mColor = nullptr;
    VProperty* mIntensity = nullptr;
    VProperty* mConeAngle = nullptr;
    VProperty* mFog = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_LIGHT_H
