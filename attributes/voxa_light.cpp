#include "attributes/voxa_light.h"

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

VOBJECT_IMPLEMENT_CLASS(VOxaLightProperties, VObject);

namespace {

const char* const kLightTypeNames[] = {"Point Light", "Infinite Light", "Spot Light"};
const char* const kComponents[3] = {"X", "Y", "Z"};

bool IsDefaultTake(const VOxaTakeNode* take) {
    return VString(take->GetName()).CompareNoCase("Default") == 0;
}

// The curve of the root's child `channel`, or of that child's child `component` when one is
// given; null when either is missing.
VFCurve* ChannelCurve(const VFCurveNode* root, const char* channel, const char* component = nullptr) {
    VFCurveNode* node = root ? root->Get(root->Find(channel)) : nullptr;
    if (node && component) node = node->Get(node->Find(component));
    return node ? node->FCurveGet() : nullptr;
}

// The root of the default take of the light's node; null while detached.
VFCurveNode* DefaultRoot(const VOxaNodeAttribute* attribute) {
    VOxaNode* node = attribute->GetNode();
    VOxaTakeNode* take = node ? node->GetDefaultTakeNode() : nullptr;
    return take ? take->GetVFCurveNode() : nullptr;
}

double PropertyDouble(const VProperty* property, double fallback) {
    return property ? property->GetDouble() : fallback;
}

}  // namespace

const char* GetLightTypeName(int value) {
    return value >= 0 && value < 3 ? kLightTypeNames[value] : nullptr;
}

// ---- Property block -----------------------------------------------------------------------------

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_LIGHT_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaLightProperties, Name)

VOxaLightProperties::VOxaLightProperties() {
    OXA_DECLARE_LIGHT_PROPERTY(LightType);
    mLightType.GetInfo().SetEnumNameCallback(&GetLightTypeName);
    OXA_DECLARE_LIGHT_PROPERTY(CastLightOnObject);
    OXA_DECLARE_LIGHT_PROPERTY(DrawVolumetricLight);
    OXA_DECLARE_LIGHT_PROPERTY(DrawGroundProjection);
    OXA_DECLARE_LIGHT_PROPERTY(DrawFrontFacingVolumetricLight);

    // The gobo list: source connections filtered by this block's class.
    const int classId = VOxaLightProperties::ClassId;
    mGobo =
        CreatePropertyObjectList(this, "GoboProperty", kPlugFilteredChild, classId, -1, kPlugAcceptsSrc, 0);
    if (mGobo) mGobo->SetObjectFilter(1, classId);

    // The animated properties, each of the data type of its own name.
    VProperty** animated[] = {&mColor, &mIntensity, &mConeAngle, &mFog};
    const char* const names[] = {"Color", "Intensity", "Cone angle", "Fog"};
    for (int i = 0; i < 4; ++i) {
        const VDataType* dataType = VDataType::Find(names[i]);
        if (!dataType) continue;
        VProperty* property = CreateDynamicProperty(names[i], dataType->GetValueType(), dataType);
        if (!property) continue;
        property->GetInfo().SetFlag(kPropertyAnimatable, true);
        property->SetStateFlag(kPropertyAnimated, true);
        *animated[i] = property;
    }
}

#undef OXA_DECLARE_LIGHT_PROPERTY

VOxaLightProperties::~VOxaLightProperties() = default;

void VOxaLightProperties::SetLightType(VOxaLight::ELightType type) {
    mLightType.SetStoredValue(type);
}
VOxaLight::ELightType VOxaLightProperties::GetLightType() const {
    return mLightType.GetStoredValue();
}
void VOxaLightProperties::SetCastLightOnObject(bool on) {
    mCastLightOnObject.SetStoredValue(on);
}
bool VOxaLightProperties::GetCastLightOnObject() const {
    return mCastLightOnObject.GetStoredValue();
}
void VOxaLightProperties::SetDrawVolumetricLight(bool on) {
    mDrawVolumetricLight.SetStoredValue(on);
}
bool VOxaLightProperties::GetDrawVolumetricLight() const {
    return mDrawVolumetricLight.GetStoredValue();
}
void VOxaLightProperties::SetDrawGroundProjection(bool on) {
    mDrawGroundProjection.SetStoredValue(on);
}
bool VOxaLightProperties::GetDrawGroundProjection() const {
    return mDrawGroundProjection.GetStoredValue();
}
void VOxaLightProperties::SetDrawFrontFacingVolumetricLight(bool on) {
    mDrawFrontFacingVolumetricLight.SetStoredValue(on);
}
bool VOxaLightProperties::GetDrawFrontFacingVolumetricLight() const {
    return mDrawFrontFacingVolumetricLight.GetStoredValue();
}

// ---- Light --------------------------------------------------------------------------------------

VOxaLight::VOxaLight(VOxaSdkManager* manager) : VOxaNodeAttribute(manager), mGoboFileName("") {
    mProperties = new VOxaLightProperties();
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        SetCastLightOnObject(true);
        SetLightType(ePOINT);
        SetDefaultColor(VOxaColor(1.0, 1.0, 1.0, 1.0));
        SetDefaultIntensity(100.0);
        SetDefaultConeAngle(45.0);
        SetDefaultFog(50.0);
        SetDrawGroundProjection(true);
        SetDrawVolumetricLight(true);
        SetDrawFrontFacingVolumetricLight(false);
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaLight::~VOxaLight() {
    // The node's channels are linked to the block's properties: they go first.
    if (VOxaNode* node = GetNode()) node->SetNodeAttribute(nullptr);
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

VOxaLight& VOxaLight::operator=(const VOxaLight& other) {
    if (&other == this) return *this;
    SetLightType(other.GetLightType());
    SetCastLightOnObject(other.GetCastLightOnObject());
    mGoboFileName = other.mGoboFileName;
    SetDrawGroundProjection(other.GetDrawGroundProjection());
    SetDrawVolumetricLight(other.GetDrawVolumetricLight());
    SetDrawFrontFacingVolumetricLight(other.GetDrawFrontFacingVolumetricLight());
    return *this;
}

void VOxaLight::AddChannels(VOxaTakeNode* takeNode) {
    VOxaNodeAttribute::AddChannels(takeNode);
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    if (!root || !mProperties) return;
    // Only the default take's curves drive the properties.
    VOxaNode* container = IsDefaultTake(takeNode) ? GetNode() : nullptr;

    // The curves start from the values the properties hold now, so that a light set up before
    // it was attached keeps its values (the linked properties follow the curves' defaults).
    double color[4] = {1.0, 1.0, 1.0, 1.0};
    if (VProperty* property = mProperties->GetColorProperty()) property->GetValue(color);
    static const float kComponentColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    if (VFCurveNode* colorNode = root->FindOrCreate("Color", false)) {
        for (int k = 0; k < 3; ++k) {
            VFCurveNode* component = colorNode->FindOrCreate(kComponents[k], true);
            VFCurve* curve = component ? component->FCurveGet() : nullptr;
            if (!curve) continue;
            if (container) container->AddChannelLink(mProperties->GetColorProperty(), k, curve);
            curve->SetDefaultValue((float)color[k]);
            curve->SetColor(kComponentColors[k]);
        }
    }

    struct Scalar {
        const char* mName;
        VProperty* mProperty;
        double mFallback;
        float mColor[3];
    };
    const Scalar scalars[3] = {
        {"Intensity", mProperties->GetIntensityProperty(), 100.0, {0.97f, 0.91f, 0.11f}},
        {"Cone angle", mProperties->GetConeAngleProperty(), 45.0, {0.82f, 0.1f, 0.71f}},
        {"Fog", mProperties->GetFogProperty(), 50.0, {0.82f, 0.38f, 0.1f}},
    };
    for (const Scalar& s : scalars) {
        VFCurveNode* channel = root->FindOrCreate(s.mName, true);
        VFCurve* curve = channel ? channel->FCurveGet() : nullptr;
        if (!curve) continue;
        double value = PropertyDouble(s.mProperty, s.mFallback);
        if (container) container->AddChannelLink(s.mProperty, 0, curve);
        curve->SetDefaultValue((float)value);
        curve->SetColor(s.mColor);
    }
}

void VOxaLight::RemoveChannels(VOxaTakeNode* takeNode) {
    if (VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr) {
        // Deleting a channel destroys its curves, whose destroy events drop their links.
        for (const char* name : {"Color", "Intensity", "Cone angle", "Fog"}) {
            int index = root->Find(name);
            if (index >= 0) voxa_take_node_detail::DeleteChannel(root, root->Get(index));
        }
    }
    VOxaNodeAttribute::RemoveChannels(takeNode);
}

void VOxaLight::CollectChannels(VArrayTemplate<VProperty*>& properties) {
    if (!mProperties) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i)
        properties.Add(mProperties->GetProperty(i));
}

VString VOxaLight::GetTypeName() const {
    return VString("Light");
}

VStringList VOxaLight::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Light");
    return flags;
}

void VOxaLight::SetLightType(ELightType type) {
    mProperties->SetLightType(type);
}
VOxaLight::ELightType VOxaLight::GetLightType() const {
    return mProperties->GetLightType();
}
void VOxaLight::SetCastLightOnObject(bool on) {
    mProperties->SetCastLightOnObject(on);
}
bool VOxaLight::GetCastLightOnObject() const {
    return mProperties->GetCastLightOnObject();
}
void VOxaLight::SetDrawVolumetricLight(bool on) {
    mProperties->SetDrawVolumetricLight(on);
}
bool VOxaLight::GetDrawVolumetricLight() const {
    return mProperties->GetDrawVolumetricLight();
}
void VOxaLight::SetDrawGroundProjection(bool on) {
    mProperties->SetDrawGroundProjection(on);
}
bool VOxaLight::GetDrawGroundProjection() const {
    return mProperties->GetDrawGroundProjection();
}
void VOxaLight::SetDrawFrontFacingVolumetricLight(bool on) {
    mProperties->SetDrawFrontFacingVolumetricLight(on);
}
bool VOxaLight::GetDrawFrontFacingVolumetricLight() const {
    return mProperties->GetDrawFrontFacingVolumetricLight();
}

bool VOxaLight::SetGoboFileName(const char* name) {
    mGoboFileName = name ? name : "";
    return true;
}

const char* VOxaLight::GetGoboFileName() const {
    return mGoboFileName.IsEmpty() ? nullptr : mGoboFileName.Buffer();
}

void VOxaLight::SetDefaultColor(const VOxaColor& color) {
    const double rgb[4] = {color.mRed, color.mGreen, color.mBlue, 1.0};
    if (VFCurveNode* root = DefaultRoot(this)) {
        for (int k = 0; k < 3; ++k) {
            if (VFCurve* curve = ChannelCurve(root, "Color", kComponents[k]))
                curve->SetDefaultValue((float)rgb[k]);
        }
    }
    if (VProperty* property = mProperties->GetColorProperty()) property->SetValue(rgb);
}

void VOxaLight::GetDefaultColor(double& red, double& green, double& blue) const {
    double rgb[4] = {0.0, 0.0, 0.0, 0.0};
    if (VProperty* property = mProperties->GetColorProperty()) property->GetValue(rgb);
    if (VFCurveNode* root = DefaultRoot(this)) {
        for (int k = 0; k < 3; ++k) {
            if (VFCurve* curve = ChannelCurve(root, "Color", kComponents[k]))
                rgb[k] = curve->GetDefaultValue();
        }
    }
    red = rgb[0];
    green = rgb[1];
    blue = rgb[2];
}

namespace {

// The default of curve `name` of the attribute's default take where it exists; then `property`.
void SetDefaultScalar(const VOxaNodeAttribute* attribute, const char* name, VProperty* property,
                      double value) {
    if (VFCurve* curve = ChannelCurve(DefaultRoot(attribute), name)) curve->SetDefaultValue((float)value);
    if (property) property->SetDouble(value);
}

double GetDefaultScalar(const VOxaNodeAttribute* attribute, const char* name, const VProperty* property) {
    if (VFCurve* curve = ChannelCurve(DefaultRoot(attribute), name)) return curve->GetDefaultValue();
    return PropertyDouble(property, 0.0);
}

}  // namespace

void VOxaLight::SetDefaultIntensity(double intensity) {
    SetDefaultScalar(this, "Intensity", mProperties->GetIntensityProperty(), intensity);
}
double VOxaLight::GetDefaultIntensity() const {
    return GetDefaultScalar(this, "Intensity", mProperties->GetIntensityProperty());
}
void VOxaLight::SetDefaultConeAngle(double angle) {
    SetDefaultScalar(this, "Cone angle", mProperties->GetConeAngleProperty(), angle);
}
double VOxaLight::GetDefaultConeAngle() const {
    return GetDefaultScalar(this, "Cone angle", mProperties->GetConeAngleProperty());
}
void VOxaLight::SetDefaultFog(double fog) {
    SetDefaultScalar(this, "Fog", mProperties->GetFogProperty(), fog);
}
double VOxaLight::GetDefaultFog() const {
    return GetDefaultScalar(this, "Fog", mProperties->GetFogProperty());
}

// ---- Node -----------------------------------------------------------------------------------------

VOxaLight* VOxaNode::GetLight() const {
    return GetNodeAttributeType() == VOxaNodeAttribute::eLight ? dynamic_cast<VOxaLight*>(mAttribute)
                                                               : nullptr;
}
