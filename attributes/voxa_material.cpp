#include "attributes/voxa_material.h"

#include <memory>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

VOBJECT_IMPLEMENT_CLASS(VOxaMaterialProperties, VOxaPropertyHandler);

namespace {

const char* const kMaterialErrors[] = {"Take node error"};
const char* const kComponents[3] = {"X", "Y", "Z"};

// Channel numbers, in property order.
enum EChannel {
    eEmissive,
    eAmbient,
    eDiffuse,
    eSpecular,
    eOpacity,
    eReflectivity,
    eShininess,
    eChannelCount
};
const char* const kChannelNames[eChannelCount] = {"Emissive", "Ambient",      "Diffuse",  "Specular",
                                                  "Opacity",  "Reflectivity", "Shininess"};
const double kScalarDefaults[eChannelCount] = {0.0, 0.0, 0.0, 0.0, 1.0, 0.3, 6.4};
const double kShininessScale = 128.0;
// Shininess is held up to 10 (1280 on the property's scale): an OBJ "Ns" of up to 1000 is Ns / 100,
// and a 3DS shininess of 100% is 2, so no file's value is cut on the way through the scene.
const double kShininessMax = 10.0;

bool IsColorChannel(int channel) {
    return channel < eOpacity;
}

double Clamp(double value, double high) {
    if (value < 0.0) return 0.0;
    if (value > high) return high;
    return value;  // NaN is kept as given
}

double Clamp01(double value) {
    return Clamp(value, 1.0);
}

// The curve of the root's child `channel`, or of that child's child `component`; null when
// either is missing.
VFCurve* ChannelCurve(const VFCurveNode* root, const char* channel, const char* component = nullptr) {
    VFCurveNode* node = root ? root->Get(root->Find(channel)) : nullptr;
    if (node && component) node = node->Get(node->Find(component));
    return node ? node->FCurveGet() : nullptr;
}

}  // namespace

// ---- Property block -----------------------------------------------------------------------------

VOxaMaterialProperties::VOxaMaterialProperties(VOxaMaterial* owner) : mOwner(owner) {
    VPropertyTemplate<VgeRGBVector>* colors[] = {&mEmissive, &mAmbient, &mDiffuse, &mSpecular};
    for (int i = 0; i < 4; ++i) {
        colors[i]->Declare(kChannelNames[i], this);
        AddProperty(colors[i]);
    }
    VPropertyTemplate<double>* scalars[] = {&mOpacity, &mReflectivity, &mShininess};
    for (int i = 0; i < 3; ++i) {
        scalars[i]->Declare(kChannelNames[eOpacity + i], this);
        AddProperty(scalars[i]);
    }
    mEmissive.SetValue(VgeRGBVector(0.0, 0.0, 0.0));
    mAmbient.SetValue(VgeRGBVector(0.2, 0.2, 0.2));
    mDiffuse.SetValue(VgeRGBVector(0.8, 0.8, 0.8));
    mSpecular.SetValue(VgeRGBVector(0.2, 0.2, 0.2));
    mOpacity.SetValue(kScalarDefaults[eOpacity]);
    mReflectivity.SetValue(kScalarDefaults[eReflectivity]);
    mShininess.SetValue(kScalarDefaults[eShininess]);
}

VOxaObject* VOxaMaterialProperties::GetOwner() const {
    return mOwner;
}

void VOxaMaterialProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

bool VOxaMaterialProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    // Only a node's block counts as a user: any other owner registers nothing.
    if (event == ePlugConnectedDst && plug == this && mOwner && other &&
        other->IsA(VOxaPropertyHandler::ClassId)) {
        VOxaObject* owner = static_cast<VOxaPropertyHandler*>(other)->GetOwner();
        if (owner && owner->GetTypeCode() == 1) {
            VOxaSceneContents* contents = static_cast<VOxaNode*>(owner)->GetSceneContents();
            if (contents && !contents->GetMaterialByName(mOwner->GetName())) contents->AddMaterial(mOwner);
        }
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

// ---- Material -----------------------------------------------------------------------------------

VOxaMaterial::VOxaMaterial(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &mError), mError(kMaterialErrors, 1), mShadingModel("phong") {
    mProperties = new VOxaMaterialProperties(this);
    BuildOrRelease(mProperties, [this] {
        AddDefaultTakeNode();
        Reset();
    });
}

VOxaMaterial::~VOxaMaterial() {
    // The default take's links point at the block's properties: drop them first.
    RemoveAllChannelLinks();
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

VOxaMaterial& VOxaMaterial::operator=(const VOxaMaterial& other) {
    if (this == &other) return *this;
    VOxaTakeNodeContainer::operator=(other);
    mShadingModel = other.mShadingModel;
    for (int r = 0; r < eMAP_ROLE_COUNT; ++r)
        mMaps[r] = other.mMaps[r];
    return *this;
}

void VOxaMaterial::Destroying() {
    if (mProperties) mProperties->Destroying();
}

void VOxaMaterial::Reset() {
    mShadingModel = "phong";
    mMultiLayer = false;
}

void VOxaMaterial::ResetAll() {
    ResetTakeNodes();
    Reset();
}

void VOxaMaterial::SetMap(EMapRole role, VOxaTexture* texture) {
    if (role >= 0 && role < eMAP_ROLE_COUNT) mMaps[role] = texture;
}

VOxaTexture* VOxaMaterial::GetMap(EMapRole role) const {
    return role >= 0 && role < eMAP_ROLE_COUNT ? mMaps[role] : nullptr;
}

void VOxaMaterial::ReleaseTexture(const VOxaTexture* texture) {
    for (VOxaTexture*& map : mMaps) {
        if (texture != nullptr && map == texture) map = nullptr;
    }
}

bool VOxaMaterial::HasMaps() const {
    for (VOxaTexture* map : mMaps)
        if (map != nullptr) return true;
    return false;
}

void VOxaMaterial::SetShadingModel(const char* model) {
    mShadingModel = model ? model : "";
}

void VOxaMaterial::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    if (!root || !mProperties) return;
    const bool isDefault = VString(takeNode->GetName()).CompareNoCase("Default") == 0;
    static const float kComponentColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    static const float kScalarColor[3] = {0.75f, 0.0f, 0.0f};
    const VDataType* colorType = VDataType::Find("Color");
    const VDataType* numberType = VDataType::Find("Number");

    for (int channel = 0; channel < eChannelCount; ++channel) {
        const char* name = kChannelNames[channel];
        VProperty* property = mProperties->FindProperty(name);
        double value[4] = {0.0, 0.0, 0.0, 0.0};
        if (property) {
            property->GetValue(value);
            property->GetInfo().SetFlag(kPropertyAnimatable, true);
            property->SetStateFlag(kPropertyAnimated, true);
        } else {
            value[0] = kScalarDefaults[channel];
        }
        const bool color = IsColorChannel(channel);
        std::unique_ptr<VFCurveNode> node(
            VFCurveNode::CreateFromName(name, color ? colorType : numberType, 1));
        if (!node) continue;
        if (color) {
            for (int k = 0; k < 3; ++k) {
                std::unique_ptr<VFCurveNode> child(VFCurveNode::CreateFromName(kComponents[k], nullptr, 0));
                if (!child) continue;
                VFCurve* curve = VFCurve::Create();
                child->FCurveSet(curve);
                curve->SetDefaultValue((float)value[k]);
                curve->SetColor(kComponentColors[k]);
                if (isDefault) AddChannelLink(property, k, curve);
                voxa_take_node_detail::Adopt(node.get(), child);
            }
        } else {
            VFCurve* curve = VFCurve::Create();
            curve->SetDefaultValue((float)value[0]);
            curve->SetColor(kScalarColor);
            node->FCurveSet(curve);
            if (isDefault) AddChannelLink(property, 0, curve);
        }
        voxa_take_node_detail::Adopt(root, node);
    }
}

VOxaUserProperty* VOxaMaterial::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

// ---- Default-take values --------------------------------------------------------------------------

namespace {

VProperty* ChannelProperty(VOxaMaterialProperties* block, int channel) {
    return block ? block->FindProperty(kChannelNames[channel]) : nullptr;
}

const VFCurveNode* DefaultRoot(const VOxaTakeNodeContainer* container) {
    VOxaTakeNode* take = container->GetDefaultTakeNode();
    return take ? take->GetVFCurveNode() : nullptr;
}

}  // namespace

void VOxaMaterial::SetDefaultColor(int channel, const VgeTVector& color) {
    const VFCurveNode* root = DefaultRoot(this);
    VProperty* property = ChannelProperty(mProperties, channel);
    double value[4] = {0.0, 0.0, 0.0, 0.0};
    if (property) property->GetValue(value);
    bool propertyFollows = true;
    for (int k = 0; k < 3; ++k) {
        VFCurve* curve = ChannelCurve(root, kChannelNames[channel], kComponents[k]);
        // A linked curve carries its value to the property; a missing one leaves it to us.
        if (curve) {
            curve->SetDefaultValue((float)color.mData[k]);
        } else {
            propertyFollows = false;
        }
        value[k] = color.mData[k];
    }
    if (!propertyFollows && property) property->SetValue(value);
}

void VOxaMaterial::GetDefaultColor(int channel, VgeTVector& color) const {
    const VFCurveNode* root = DefaultRoot(this);
    double value[4] = {0.0, 0.0, 0.0, 0.0};
    if (VProperty* property = ChannelProperty(mProperties, channel)) property->GetValue(value);
    for (int k = 0; k < 3; ++k) {
        VFCurve* curve = ChannelCurve(root, kChannelNames[channel], kComponents[k]);
        color.mData[k] = curve ? curve->GetDefaultValue() : value[k];
    }
}

void VOxaMaterial::SetDefaultScalar(int channel, double value) {
    if (VFCurve* curve = ChannelCurve(DefaultRoot(this), kChannelNames[channel])) {
        curve->SetDefaultValue((float)value);
    } else if (VProperty* property = ChannelProperty(mProperties, channel)) {
        property->SetDouble(value);
    }
}

double VOxaMaterial::GetDefaultScalar(int channel) const {
    if (VFCurve* curve = ChannelCurve(DefaultRoot(this), kChannelNames[channel]))
        return curve->GetDefaultValue();
    VProperty* property = ChannelProperty(mProperties, channel);
    return property ? property->GetDouble() : 0.0;
}

void VOxaMaterial::SetDefaultEmissive(const VgeTVector& color) {
    SetDefaultColor(eEmissive, color);
}
void VOxaMaterial::GetDefaultEmissive(VgeTVector& color) const {
    GetDefaultColor(eEmissive, color);
}
void VOxaMaterial::SetDefaultAmbient(const VgeTVector& color) {
    SetDefaultColor(eAmbient, color);
}
void VOxaMaterial::GetDefaultAmbient(VgeTVector& color) const {
    GetDefaultColor(eAmbient, color);
}
void VOxaMaterial::SetDefaultDiffuse(const VgeTVector& color) {
    SetDefaultColor(eDiffuse, color);
}
void VOxaMaterial::GetDefaultDiffuse(VgeTVector& color) const {
    GetDefaultColor(eDiffuse, color);
}
void VOxaMaterial::SetDefaultSpecular(const VgeTVector& color) {
    SetDefaultColor(eSpecular, color);
}
void VOxaMaterial::GetDefaultSpecular(VgeTVector& color) const {
    GetDefaultColor(eSpecular, color);
}

void VOxaMaterial::SetDefaultOpacity(double opacity) {
    SetDefaultScalar(eOpacity, Clamp01(opacity));
}
double VOxaMaterial::GetDefaultOpacity() const {
    return GetDefaultScalar(eOpacity);
}
void VOxaMaterial::SetDefaultShininess(double shininess) {
    SetDefaultScalar(eShininess, Clamp(shininess, kShininessMax) * kShininessScale);
}
double VOxaMaterial::GetDefaultShininess() const {
    return Clamp(GetDefaultScalar(eShininess) * (1.0 / kShininessScale), kShininessMax);
}
void VOxaMaterial::SetDefaultReflectivity(double reflectivity) {
    SetDefaultScalar(eReflectivity, Clamp01(reflectivity));
}
double VOxaMaterial::GetDefaultReflectivity() const {
    return GetDefaultScalar(eReflectivity);
}

// ---- Colour forms -------------------------------------------------------------------------------

namespace {

VgeTVector ToVector(const VOxaColor& color) {
    return VgeTVector(color.mRed, color.mGreen, color.mBlue, 0.0);
}

VOxaColor ToColor(const VgeTVector& v) {
    return VOxaColor(v.mData[0], v.mData[1], v.mData[2], 1.0);
}

}  // namespace

void VOxaMaterial::SetEmissive(VOxaColor color) {
    SetDefaultEmissive(ToVector(color));
}
VOxaColor VOxaMaterial::GetEmissive() const {
    VgeTVector v;
    GetDefaultEmissive(v);
    return ToColor(v);
}
void VOxaMaterial::SetAmbient(VOxaColor color) {
    SetDefaultAmbient(ToVector(color));
}
VOxaColor VOxaMaterial::GetAmbient() const {
    VgeTVector v;
    GetDefaultAmbient(v);
    return ToColor(v);
}
void VOxaMaterial::SetDiffuse(VOxaColor color) {
    SetDefaultDiffuse(ToVector(color));
}
VOxaColor VOxaMaterial::GetDiffuse() const {
    VgeTVector v;
    GetDefaultDiffuse(v);
    return ToColor(v);
}
void VOxaMaterial::SetSpecular(VOxaColor color) {
    SetDefaultSpecular(ToVector(color));
}
VOxaColor VOxaMaterial::GetSpecular() const {
    VgeTVector v;
    GetDefaultSpecular(v);
    return ToColor(v);
}

// ---- Comparison ---------------------------------------------------------------------------------

bool VOxaMaterial::IsEqual(const VOxaMaterial& other) const {
    if (VString(GetName()).Compare(other.GetName()) != 0) return false;
    for (int channel : {eAmbient, eDiffuse, eSpecular, eEmissive}) {
        VgeTVector a, b;
        GetDefaultColor(channel, a);
        other.GetDefaultColor(channel, b);
        for (int k = 0; k < 3; ++k) {
            if (a.mData[k] != b.mData[k]) return false;
        }
    }
    if (GetDefaultOpacity() != other.GetDefaultOpacity()) return false;
    if (GetDefaultShininess() != other.GetDefaultShininess()) return false;
    if (GetDefaultReflectivity() != other.GetDefaultReflectivity()) return false;
    for (int r = 0; r < eMAP_ROLE_COUNT; ++r)
        if (mMaps[r] != other.mMaps[r]) return false;
    return mShadingModel.CompareNoCase(other.mShadingModel.Buffer()) == 0;
}
