#include "attributes/voxa_texture.h"

#include <cstring>
#include <memory>
#include <utility>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_video.h"
#include "objects/vdatatype.h"
#include "objects/vproperty_object_list.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

VOBJECT_IMPLEMENT_CLASS(VOxaTextureProperties, VOxaPropertyHandler);

namespace {

const char* const kTextureErrors[] = {"Take node error"};

const char* const kTextureUse6Names[] = {"Color",     "Spherical Reflection Map", "Sphere Map", "Shadow Map",
                                         "Light Map", "Bump Map (NormalMap)"};
const char* const kBlendModeNames[] = {"Translucent", "Additive", "Modulate", "Modulate2"};
const char* const kUnifiedMappingTypeNames[] = {
    "UV", "Z", "X", "Y", "Spherical", "Cylindrical", "Environment", "Projection", "Box", "Face", "None"};
const char* const kWrapModeNames[] = {"Repeat", "Clamp"};

template <int N>
const char* NameAt(const char* const (&names)[N], int value) {
    return value >= 0 && value < N ? names[value] : nullptr;
}

// "TextureTypeUse" for each ETextureUse value, and back: the mapping is its own inverse.
const int kTextureUseSwap[6] = {0, 3, 4, 1, 2, 5};

int SwapTextureUse(int value) {
    return value >= 0 && value < 6 ? kTextureUseSwap[value] : 0;
}

// The node that owns the block `plug` (or the block whose property `plug` is); null when the owner is missing
// or is not a node.
VOxaNode* OwnerNodeOf(VPlug* plug) {
    if (!plug) return nullptr;
    if (!plug->IsA(VOxaPropertyHandler::ClassId)) {
        plug = plug->GetParentObject();
        if (!plug || !plug->IsA(VOxaPropertyHandler::ClassId)) return nullptr;
    }
    VOxaObject* owner = static_cast<VOxaPropertyHandler*>(plug)->GetOwner();
    if (!owner || owner->GetTypeCode() != 1) return nullptr;
    return static_cast<VOxaNode*>(owner);
}

bool IsTrailingByte(char c) {
    return (c >= '0' && c <= '9') || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r';
}

// The length of `name` without its trailing run of decimal digits and white space.
int StrippedLength(const char* name) {
    int length = (int)strlen(name);
    while (length > 0 && IsTrailingByte(name[length - 1]))
        --length;
    return length;
}

}  // namespace

const char* GetTextureUse6Name(int value) {
    return NameAt(kTextureUse6Names, value);
}
const char* GetTextureBlendModeName(int value) {
    return NameAt(kBlendModeNames, value);
}
const char* GetUnifiedMappingTypeName(int value) {
    return NameAt(kUnifiedMappingTypeNames, value);
}
const char* GetTextureWrapModeName(int value) {
    return NameAt(kWrapModeNames, value);
}

// ---- Property block -----------------------------------------------------------------------------

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_TEXTURE_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaTextureProperties, Name)

VOxaTextureProperties::VOxaTextureProperties(VOxaTexture* owner) : mOwner(owner) {
    // The animated placement and alpha come first, created by data type.
    VProperty** animated[] = {&mTranslation, &mRotation, &mScaling, &mAlpha};
    const char* const names[] = {"Translation", "Rotation", "Scaling", "Texture alpha"};
    const char* const types[] = {"Vector", "Vector", "Vector", "Number"};
    for (int i = 0; i < 4; ++i) {
        VProperty* property = CreateProperty(names[i], types[i], true);
        if (!property) continue;
        property->SetStateFlag(kPropertyAnimated, true);
        *animated[i] = property;
    }
    if (mScaling) {
        const double one[4] = {1.0, 1.0, 1.0, 1.0};
        mScaling->SetValue(one);
    }
    if (mAlpha) mAlpha->SetDouble(1.0);

    const VgeTVector origin(0.0, 0.0, 0.0, 1.0);
    mTextureRotationPivot.SetStoredValue(origin);
    mTextureScalingPivot.SetStoredValue(origin);

    OXA_DECLARE_TEXTURE_PROPERTY(TextureTypeUse);
    mTextureTypeUse.GetInfo().SetEnumNameCallback(&GetTextureUse6Name);
    OXA_DECLARE_TEXTURE_PROPERTY(CurrentTextureBlendMode);
    mCurrentTextureBlendMode.GetInfo().SetEnumNameCallback(&GetTextureBlendModeName);
    OXA_DECLARE_TEXTURE_PROPERTY(UseMaterial);
    OXA_DECLARE_TEXTURE_PROPERTY(UseMipMap);
    OXA_DECLARE_TEXTURE_PROPERTY(CurrentMappingType);
    mCurrentMappingType.GetInfo().SetEnumNameCallback(&GetUnifiedMappingTypeName);
    OXA_DECLARE_TEXTURE_PROPERTY(UVSwap);
    OXA_DECLARE_TEXTURE_PROPERTY(WrapModeU);
    mWrapModeU.GetInfo().SetEnumNameCallback(&GetTextureWrapModeName);
    OXA_DECLARE_TEXTURE_PROPERTY(WrapModeV);
    mWrapModeV.GetInfo().SetEnumNameCallback(&GetTextureWrapModeName);
    OXA_DECLARE_TEXTURE_PROPERTY(TextureRotationPivot);
    OXA_DECLARE_TEXTURE_PROPERTY(TextureScalingPivot);

    // Carried along: accepts source connections, is never a source itself.
    const int classId = VOxaTextureProperties::ClassId;
    mVideoProperty =
        CreatePropertyObjectList(this, "VideoProperty", kPlugFilteredChild, classId, -1, kPlugAcceptsSrc, 0);
    if (mVideoProperty) mVideoProperty->SetObjectFilter(1, classId);
}

#undef OXA_DECLARE_TEXTURE_PROPERTY

VOxaTextureProperties::~VOxaTextureProperties() = default;

VOxaObject* VOxaTextureProperties::GetOwner() const {
    return mOwner;
}

void VOxaTextureProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (mOwner) mOwner->PropertyValueChanged(userProperty);
}

bool VOxaTextureProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    if (event == ePlugConnectedDst && plug == this && mOwner) {
        VOxaNode* node = OwnerNodeOf(other);
        VOxaSceneContents* contents = node ? node->GetSceneContents() : nullptr;
        if (contents && !contents->GetTextureByName(mOwner->GetName())) contents->AddTexture(mOwner);
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

void VOxaTextureProperties::SetTextureRotationPivot(const VgeTVector& value) {
    mTextureRotationPivot.SetStoredValue(VgeTVector(value[0], value[1], value[2], 1.0));
}
VgeTVector VOxaTextureProperties::GetTextureRotationPivot() const {
    const VgeTVector stored = mTextureRotationPivot.GetStoredValue();
    return VgeTVector(stored[0], stored[1], stored[2], 1.0);
}
void VOxaTextureProperties::SetTextureScalingPivot(const VgeTVector& value) {
    mTextureScalingPivot.SetStoredValue(VgeTVector(value[0], value[1], value[2], 1.0));
}
VgeTVector VOxaTextureProperties::GetTextureScalingPivot() const {
    const VgeTVector stored = mTextureScalingPivot.GetStoredValue();
    return VgeTVector(stored[0], stored[1], stored[2], 1.0);
}

// ---- Texture ------------------------------------------------------------------------------------

// One error object for all textures, built on first use and kept until exit.
VError& VOxaTexture::SharedError() {
    static VError error(kTextureErrors, 1);
    return error;
}

VOxaTexture::VOxaTexture(VOxaSdkManager* manager, const char* name)
    : VOxaTakeNodeContainer(manager, name, &SharedError()),
      mFileName(""),
      mRelativeFileName(""),
      mMediaName(""),
      mTextureTypeName("TextureVideoClip"),
      mUVScaling(1.0, 1.0) {
    mProperties = new VOxaTextureProperties(this);
    BuildOrRelease(mProperties, [this] {
        AddDefaultTakeNode();
        Reset();
    });
}

VOxaTexture::~VOxaTexture() {
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

VOxaTexture& VOxaTexture::operator=(const VOxaTexture& other) {
    if (this == &other) return *this;
    VOxaTakeNodeContainer::operator=(other);
    // The copied takes are linked by property name, which "Texture alpha" does not share with its channel
    // "Alpha": link it here and take the other's exact value.
    VOxaTakeNode* take = GetDefaultTakeNode();
    VFCurve* alpha = take ? take->GetTextureAlpha() : nullptr;
    if (alpha && mProperties) AddChannelLink(mProperties->GetAlphaProperty(), 0, alpha);
    SetDefaultAlpha(other.GetDefaultAlpha());
    // An empty name is copied too (SetFileName would keep the old one, and the copy would not describe the
    // same texture).
    if (!SetFileName(other.GetFileName())) mFileName = "";
    mSourceFolder = other.mSourceFolder;
    SetMediaName(other.mMediaName.Buffer());
    SetUVSwap(other.GetUVSwap());
    SetAlphaSource(other.mAlphaSource);
    SetCropping(other.GetCropping1(), other.GetCropping3(), other.GetCropping2(), other.GetCropping4());
    SetMappingType(other.mMappingType);
    SetPlanarMappingNormal(other.mPlanarMappingNormal);
    SetMaterialUse(other.GetMaterialUse());
    SetTextureUse(other.GetTextureUse());
    SetBlendMode(other.GetBlendMode());
    SetWrapMode(other.GetWrapModeU(), other.GetWrapModeV());
    mTextureTypeName = other.mTextureTypeName;
    mUVScaling = other.mUVScaling;
    mUVTranslation = other.mUVTranslation;
    return *this;
}

void VOxaTexture::Reset() {
    SetDefaultT(VgeTVector(0.0, 0.0, 0.0, 1.0));
    SetDefaultR(VgeTVector(0.0, 0.0, 0.0, 1.0));
    SetDefaultS(VgeTVector(1.0, 1.0, 1.0, 1.0));
    SetDefaultAlpha(1.0);
    mMappingType = eUV;
    mPlanarMappingNormal = ePLANAR_NORMAL_X;
    SetMaterialUse(1);
    SetUVSwap(false);
    mTextureTypeName = "TextureVideoClip";
    mUVScaling.Set(1.0, 1.0);
    mUVTranslation.Set(0.0, 0.0);
    SetTextureUse(eSTANDARD);
    SetBlendMode(eADDITIVE);
    SetWrapMode(eREPEAT, eREPEAT);
}

void VOxaTexture::ResetAll() {
    ResetTakeNodes();
    Reset();
}

void VOxaTexture::Destroying() {
    if (mProperties) mProperties->Destroying();
}

VString VOxaTexture::GetTypeName() const {
    return mTextureTypeName;
}

void VOxaTexture::CreateTakeNodeChannels(VOxaTakeNode* takeNode) {
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    if (!root || !mProperties) return;
    const bool isDefault = VString(takeNode->GetName()).CompareNoCase("Default") == 0;
    static const float kColors[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.0f, 0.0f, 1.0f}};
    static const char* const kComponents[3] = {"X", "Y", "Z"};
    struct Channel {
        const char* mName;
        int mLayerType;
        double mFallback;
        VProperty* mProperty;
    };
    const Channel channels[3] = {{"Translation", 1, 0.0, mProperties->GetTranslationProperty()},
                                 {"Rotation", 2, 0.0, mProperties->GetRotationProperty()},
                                 {"Scaling", 3, 1.0, mProperties->GetScalingProperty()}};
    for (const Channel& c : channels) {
        if (root->Find(c.mName) >= 0) continue;
        double value[4] = {c.mFallback, c.mFallback, c.mFallback, 1.0};
        if (c.mProperty) c.mProperty->GetValue(value);
        // What is being made goes when memory runs out (thrown) before the tree holds it.
        std::unique_ptr<VFCurveNode> channel(
            VFCurveNode::CreateFromName(c.mName, VDataType::Find(c.mName), c.mLayerType, 0));
        if (!channel) continue;
        for (int k = 0; k < 3; ++k) {
            std::unique_ptr<VFCurveNode> component(
                VFCurveNode::CreateFromName(kComponents[k], nullptr, 0, 0));
            if (!component) continue;
            VFCurve* curve = VFCurve::Create();
            component->FCurveSet(curve);
            curve->SetDefaultValue((float)value[k]);
            curve->SetColor(kColors[k]);
            if (isDefault) AddChannelLink(c.mProperty, k, curve);
            voxa_take_node_detail::Adopt(channel.get(), component);
        }
        voxa_take_node_detail::Adopt(root, channel);
    }

    if (root->Find("Alpha") >= 0) return;
    VProperty* alphaProperty = mProperties->GetAlphaProperty();
    std::unique_ptr<VFCurveNode> alpha(VFCurveNode::CreateFromName("Alpha", VDataType::Find("Number"), 1, 0));
    if (!alpha) return;
    VFCurve* curve = VFCurve::Create();
    alpha->FCurveSet(curve);
    curve->SetDefaultValue((float)(alphaProperty ? alphaProperty->GetDouble() : 1.0));
    curve->SetColor(0.75f, 0.0f, 0.0f);
    if (isDefault) AddChannelLink(alphaProperty, 0, curve);
    voxa_take_node_detail::Adopt(root, alpha);
}

VOxaUserProperty* VOxaTexture::CreateUserProperty(VProperty* property) {
    VOxaSdkManager* manager = GetSdkManager();
    return manager ? manager->CreateUserProperty(property) : nullptr;
}

// ---- Names and files ----------------------------------------------------------------------------

VOxaObject* VOxaTexture::GetVideoObject() const {
    if (!mProperties || mProperties->GetSrcCount() < 1) return nullptr;
    VPlug* source = mProperties->GetSrc(0);
    if (!source || !source->IsA(VOxaPropertyHandler::ClassId)) return nullptr;
    return static_cast<VOxaPropertyHandler*>(source)->GetOwner();
}

bool VOxaTexture::SetFileName(const char* name) {
    if (!name || !*name) return false;
    VString copy(name);  // `name` may be this texture's own buffer
    mFileName = std::move(copy);
    // The video passes the name on to every texture it feeds, this one included; there the names are equal
    // and the exchange stops.
    VOxaObject* owner = GetVideoObject();
    if (owner && owner->GetTypeCode() == 5) {
        VOxaVideo* video = static_cast<VOxaVideo*>(owner);
        const char* current = video->GetFileName();
        if (!current || strcmp(current, mFileName.Buffer()) != 0) video->SetFileName(mFileName.Buffer());
    }
    return true;
}

bool VOxaTexture::SetRelativeFileName(const char* name) {
    if (!name || !*name) return false;
    VString copy(name);
    mRelativeFileName = std::move(copy);
    VOxaObject* owner = GetVideoObject();
    if (owner && owner->GetTypeCode() == 5) {
        VOxaVideo* video = static_cast<VOxaVideo*>(owner);
        const char* current = video->GetRelativeFileName();
        if (!current || strcmp(current, mRelativeFileName.Buffer()) != 0)
            video->SetRelativeFileName(mRelativeFileName.Buffer());
    }
    return true;
}

// ---- Mapping, use, blending, wrapping -----------------------------------------------------------

void VOxaTexture::ApplyPlanarNormal() {
    if (!mProperties) return;
    switch (mPlanarMappingNormal) {
        case ePLANAR_NORMAL_X:
            mProperties->CurrentMappingType().SetValue(eUMT_X);
            break;
        case ePLANAR_NORMAL_Y:
            mProperties->CurrentMappingType().SetValue(eUMT_Y);
            break;
        case ePLANAR_NORMAL_Z:
            mProperties->CurrentMappingType().SetValue(eUMT_Z);
            break;
        default:
            break;
    }
}

void VOxaTexture::SetMappingType(int type) {
    mMappingType = type;
    if (!mProperties) return;
    EUnifiedMappingType unified = eUMT_NO_MAPPING;
    switch (type) {
        case ePLANAR:
            ApplyPlanarNormal();
            return;
        case eSPHERICAL:
            unified = eUMT_SPHERICAL;
            break;
        case eCYLINDRICAL:
            unified = eUMT_CYLINDRICAL;
            break;
        case eBOX:
            unified = eUMT_BOX;
            break;
        case eFACE:
            unified = eUMT_FACE;
            break;
        case eUV:
            unified = eUMT_UV;
            break;
        case eENVIRONMENT:
            unified = eUMT_ENVIRONMENT;
            break;
        default:
            break;
    }
    mProperties->CurrentMappingType().SetValue(unified);
}

void VOxaTexture::SetPlanarMappingNormal(int normal) {
    mPlanarMappingNormal = normal;
    if (mMappingType == ePLANAR) ApplyPlanarNormal();
}

void VOxaTexture::SetTextureUse(int use) {
    if (mProperties) mProperties->TextureTypeUse().SetValue((ETextureUse6)SwapTextureUse(use));
}

int VOxaTexture::GetTextureUse() const {
    return mProperties ? SwapTextureUse(mProperties->TextureTypeUse().GetValue()) : eSTANDARD;
}

void VOxaTexture::SetMaterialUse(int mode) {
    if (mProperties) mProperties->UseMaterial().SetValue(mode == 0);
}

int VOxaTexture::GetMaterialUse() const {
    return mProperties && mProperties->UseMaterial().GetValue() ? 0 : 1;
}

void VOxaTexture::SetUVSwap(bool swap) {
    if (mProperties) mProperties->UVSwap().SetValue(swap);
}

bool VOxaTexture::GetUVSwap() const {
    return mProperties && mProperties->UVSwap().GetValue();
}

void VOxaTexture::SetWrapMode(int u, int v) {
    if (!mProperties) return;
    mProperties->WrapModeU().SetValue((EWrapMode)u);
    mProperties->WrapModeV().SetValue((EWrapMode)v);
}

int VOxaTexture::GetWrapModeU() const {
    return mProperties ? (int)mProperties->WrapModeU().GetValue() : eREPEAT;
}

int VOxaTexture::GetWrapModeV() const {
    return mProperties ? (int)mProperties->WrapModeV().GetValue() : eREPEAT;
}

void VOxaTexture::SetBlendMode(int mode) {
    if (mProperties) mProperties->CurrentTextureBlendMode().SetValue((EBlendMode)mode);
}

int VOxaTexture::GetBlendMode() const {
    return mProperties ? (int)mProperties->CurrentTextureBlendMode().GetValue() : eADDITIVE;
}

void VOxaTexture::SetCropping(int a, int b, int c, int d) {
    mCropping[0] = a;
    mCropping[1] = c;
    mCropping[2] = b;
    mCropping[3] = d;
}

// ---- Animated placement and alpha ---------------------------------------------------------------

namespace {

// The "X", "Y", "Z" curves of a placement channel of `take` (0 translation, 1 rotation, 2 scaling); missing
// ones are null.
void PlacementCurves(VOxaTakeNode* take, int kind, VFCurve* curves[3]) {
    curves[0] = curves[1] = curves[2] = nullptr;
    if (!take) return;
    switch (kind) {
        case 0:
            curves[0] = take->GetTextureTranslationX();
            curves[1] = take->GetTextureTranslationY();
            curves[2] = take->GetTextureTranslationZ();
            break;
        case 1:
            curves[0] = take->GetTextureRotationX();
            curves[1] = take->GetTextureRotationY();
            curves[2] = take->GetTextureRotationZ();
            break;
        default:
            curves[0] = take->GetTextureScalingX();
            curves[1] = take->GetTextureScalingY();
            curves[2] = take->GetTextureScalingZ();
            break;
    }
}

void SetPlacement(VOxaTakeNode* take, int kind, VProperty* property, const VgeTVector& value) {
    VFCurve* curves[3];
    PlacementCurves(take, kind, curves);
    for (int k = 0; k < 3; ++k) {
        if (curves[k]) curves[k]->SetDefaultValue((float)value[k]);
    }
    if (property) {
        const double stored[4] = {value[0], value[1], value[2], 1.0};
        property->SetValue(stored);
    }
}

void GetPlacement(VOxaTakeNode* take, int kind, const VProperty* property, VgeTVector& value) {
    VFCurve* curves[3];
    PlacementCurves(take, kind, curves);
    double stored[4] = {0.0, 0.0, 0.0, 1.0};
    if (property) property->GetValue(stored);
    for (int k = 0; k < 3; ++k)
        value[k] = curves[k] ? (double)curves[k]->GetDefaultValue() : stored[k];
}

}  // namespace

void VOxaTexture::SetDefaultT(const VgeTVector& value) {
    SetPlacement(GetDefaultTakeNode(), 0, mProperties ? mProperties->GetTranslationProperty() : nullptr,
                 value);
}
void VOxaTexture::SetDefaultR(const VgeTVector& value) {
    SetPlacement(GetDefaultTakeNode(), 1, mProperties ? mProperties->GetRotationProperty() : nullptr, value);
}
void VOxaTexture::SetDefaultS(const VgeTVector& value) {
    SetPlacement(GetDefaultTakeNode(), 2, mProperties ? mProperties->GetScalingProperty() : nullptr, value);
}
void VOxaTexture::GetDefaultT(VgeTVector& value) const {
    GetPlacement(GetDefaultTakeNode(), 0, mProperties ? mProperties->GetTranslationProperty() : nullptr,
                 value);
}
void VOxaTexture::GetDefaultR(VgeTVector& value) const {
    GetPlacement(GetDefaultTakeNode(), 1, mProperties ? mProperties->GetRotationProperty() : nullptr, value);
}
void VOxaTexture::GetDefaultS(VgeTVector& value) const {
    GetPlacement(GetDefaultTakeNode(), 2, mProperties ? mProperties->GetScalingProperty() : nullptr, value);
}

void VOxaTexture::SetDefaultAlpha(double alpha) {
    VOxaTakeNode* take = GetDefaultTakeNode();
    VFCurve* curve = take ? take->GetTextureAlpha() : nullptr;
    if (curve) curve->SetDefaultValue((float)alpha);
    VProperty* property = mProperties ? mProperties->GetAlphaProperty() : nullptr;
    if (property) property->SetDouble(alpha);
}

double VOxaTexture::GetDefaultAlpha() const {
    VProperty* property = mProperties ? mProperties->GetAlphaProperty() : nullptr;
    return property ? property->GetDouble() : 0.0;
}

void VOxaTexture::SetTranslation(double u, double v) {
    SetDefaultT(VgeTVector(u, v, 0.0, 1.0));
}
double VOxaTexture::GetTranslationU() const {
    VgeTVector t;
    GetDefaultT(t);
    return t[0];
}
double VOxaTexture::GetTranslationV() const {
    VgeTVector t;
    GetDefaultT(t);
    return t[1];
}
void VOxaTexture::SetRotation(double u, double v, double w) {
    SetDefaultR(VgeTVector(u, v, w, 1.0));
}
double VOxaTexture::GetRotationU() const {
    VgeTVector r;
    GetDefaultR(r);
    return r[0];
}
double VOxaTexture::GetRotationV() const {
    VgeTVector r;
    GetDefaultR(r);
    return r[1];
}
double VOxaTexture::GetRotationW() const {
    VgeTVector r;
    GetDefaultR(r);
    return r[2];
}
void VOxaTexture::SetScale(double u, double v) {
    SetDefaultS(VgeTVector(u, v, 1.0, 1.0));
}
double VOxaTexture::GetScaleU() const {
    VgeTVector s;
    GetDefaultS(s);
    return s[0];
}
double VOxaTexture::GetScaleV() const {
    VgeTVector s;
    GetDefaultS(s);
    return s[1];
}

// ---- Comparison ---------------------------------------------------------------------------------

bool VOxaTexture::IsEqual(const VOxaTexture& other) const {
    // Names: "Wood 2" and "Wood" are the same texture.
    const char* name = GetName();
    const char* otherName = other.GetName();
    const int length = StrippedLength(name);
    if (length != StrippedLength(otherName) || memcmp(name, otherName, (size_t)length) != 0) return false;

    VgeTVector a, b;
    GetDefaultT(a);
    other.GetDefaultT(b);
    if (a[0] != b[0] || a[1] != b[1]) return false;
    GetDefaultR(a);
    other.GetDefaultR(b);
    if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) return false;
    GetDefaultS(a);
    other.GetDefaultS(b);
    if (a[0] != b[0] || a[1] != b[1]) return false;
    if (GetDefaultAlpha() != other.GetDefaultAlpha()) return false;

    for (int i = 0; i < 4; ++i) {
        if (mCropping[i] != other.mCropping[i]) return false;
    }
    if (mAlphaSource != other.mAlphaSource || mMappingType != other.mMappingType ||
        mPlanarMappingNormal != other.mPlanarMappingNormal)
        return false;

    if (GetMaterialUse() != other.GetMaterialUse() || GetUVSwap() != other.GetUVSwap()) return false;
    const int use = mProperties ? (int)mProperties->TextureTypeUse().GetValue() : 0;
    const int otherUse = other.mProperties ? (int)other.mProperties->TextureTypeUse().GetValue() : 0;
    if (use != otherUse) return false;

    if (!(mFileName == other.mFileName) || !(mMediaName == other.mMediaName) ||
        !(mTextureTypeName == other.mTextureTypeName))
        return false;

    return mUVScaling[0] == other.mUVScaling[0] && mUVScaling[1] == other.mUVScaling[1] &&
           mUVTranslation[0] == other.mUVTranslation[0] && mUVTranslation[1] == other.mUVTranslation[1];
}
