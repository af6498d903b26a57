#include "attributes/voxa_marker.h"

#include <memory>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "base/vdelivery_internal.h"
#include "objects/vdatatype.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

VOBJECT_IMPLEMENT_CLASS(VOxaMarkerProperties, VObject);

namespace {

const char* const kLookNames[] = {"Cube", "Hard Cross", "Light Cross", "Sphere"};

const char* const kOcclusion = "Occlusion";
const char* const kIKReachTranslation = "IK Reach Translation";
const char* const kIKReachRotation = "IK Reach Rotation";

// Adds a channel `name` of its own data type to `root` with a new curve (default 0, dark red),
// unless the root has a channel of that data type already.
void AddMarkerChannel(VFCurveNode* root, const char* name, int layerType) {
    const VDataType* dataType = VDataType::Find(name);
    if (dataType && root->Find(dataType)) return;
    std::unique_ptr<VFCurveNode> channel(VFCurveNode::CreateFromName(name, dataType, layerType, 0));
    if (!channel) return;
    VFCurve* curve = VFCurve::Create();
    if (curve) {
        curve->SetDefaultValue(0.0f);
        curve->SetColor(0.75f, 0.0f, 0.0f);
        channel->FCurveSet(curve);
    }
    voxa_take_node_detail::Adopt(root, channel);
}

}  // namespace

const char* GetMarkerLookName(int value) {
    return value >= 0 && value < 4 ? kLookNames[value] : nullptr;
}

// ---- Property block -----------------------------------------------------------------------------

#define OXA_DECLARE_MARKER_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaMarkerProperties, Name)

VOxaMarkerProperties::VOxaMarkerProperties() {
    OXA_DECLARE_MARKER_PROPERTY(Look);
    mLook.GetInfo().SetEnumNameCallback(&GetMarkerLookName);
    OXA_DECLARE_MARKER_PROPERTY(Size);
    OXA_DECLARE_MARKER_PROPERTY(Color);
    OXA_DECLARE_MARKER_PROPERTY(ShowLabel);
    OXA_DECLARE_MARKER_PROPERTY(IKPivot);
}

#undef OXA_DECLARE_MARKER_PROPERTY

VOxaMarkerProperties::~VOxaMarkerProperties() = default;

void VOxaMarkerProperties::SetLook(VOxaMarker::ELook look) {
    mLook.SetStoredValue(look);
}
VOxaMarker::ELook VOxaMarkerProperties::GetLook() const {
    return mLook.GetStoredValue();
}
void VOxaMarkerProperties::SetSize(double size) {
    mSize.SetStoredValue(size);
}
double VOxaMarkerProperties::GetSize() const {
    return mSize.GetStoredValue();
}
void VOxaMarkerProperties::SetColor(const VgeRGBVector& color) {
    mColor.SetStoredValue(color);
}
VgeRGBVector VOxaMarkerProperties::GetColor() const {
    return mColor.GetStoredValue();
}
void VOxaMarkerProperties::SetShowLabel(bool on) {
    mShowLabel.SetStoredValue(on);
}
bool VOxaMarkerProperties::GetShowLabel() const {
    return mShowLabel.GetStoredValue();
}
void VOxaMarkerProperties::SetIKPivot(const VgeTVector& pivot) {
    VgeTVector stored = mIKPivot.GetStoredValue();
    stored.Set(pivot[0], pivot[1], pivot[2], stored[3]);
    mIKPivot.SetStoredValue(stored);
}
VgeTVector VOxaMarkerProperties::GetIKPivot() const {
    VgeTVector stored = mIKPivot.GetStoredValue();
    return VgeTVector(stored[0], stored[1], stored[2], 1.0);
}

// ---- Marker -------------------------------------------------------------------------------------

VOxaMarker::VOxaMarker(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {
    mProperties = new VOxaMarkerProperties();
    // The destructor does not run for an object whose constructor threw (memory run out).
    try {
        Reset();
    } catch (...) {
        mProperties->Destroy();
        throw;
    }
}

VOxaMarker::~VOxaMarker() {
    if (VOxaNode* node = GetNode()) node->SetNodeAttribute(nullptr);
    if (mProperties) mProperties->Destroy();
    mProperties = nullptr;
}

void VOxaMarker::StoreKindWithoutChannels(int kind) {
    // The node's takes keep the channels of the former kind. A default take whose channels are
    // still to be made would get the new kind's: it is made for the former kind first.
    VOxaNode* node = GetNode();
    if (node && kind != mMarkerType) node->MakeDeferredDefaultChannels();
    mMarkerType = kind;
}

void VOxaMarker::Reset() {
    StoreKindWithoutChannels(eSTANDARD);
    SetLook(eCUBE);
    SetSize(100.0);
    SetColor(1.0, 0.0, 0.0);
    SetShowLabel(false);
    SetIKPivot(VgeTVector(0.0, 0.0, 0.0, 1.0));
}

VOxaMarker& VOxaMarker::operator=(const VOxaMarker& other) {
    if (&other == this) return *this;
    StoreKindWithoutChannels(other.mMarkerType);
    SetLook(other.GetLook());
    SetSize(other.GetSize());
    SetColor(other.GetColor());
    SetShowLabel(other.GetShowLabel());
    return *this;
}

void VOxaMarker::AddChannels(VOxaTakeNode* takeNode) {
    VOxaNodeAttribute::AddChannels(takeNode);
    VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr;
    if (!root) return;
    if (mMarkerType == eOPTICAL) {
        AddMarkerChannel(root, kOcclusion, 0);
    } else if (mMarkerType == eIK_EFFECTOR) {
        AddMarkerChannel(root, kIKReachTranslation, 1);
        AddMarkerChannel(root, kIKReachRotation, 1);
    }
}

void VOxaMarker::RemoveChannels(VOxaTakeNode* takeNode) {
    // Every kind's channels, whatever the kind is now: SetType stores the new kind before the
    // old kind's channels are removed.
    if (VFCurveNode* root = takeNode ? takeNode->GetVFCurveNode() : nullptr) {
        for (const char* name : {kOcclusion, kIKReachTranslation, kIKReachRotation}) {
            const VDataType* dataType = VDataType::Find(name);
            if (!dataType) continue;
            if (VFCurveNode* channel = root->Find(dataType))
                voxa_take_node_detail::DeleteChannel(root, channel);
        }
    }
    VOxaNodeAttribute::RemoveChannels(takeNode);
}

void VOxaMarker::CollectChannels(VArrayTemplate<VProperty*>& properties) {
    if (!mProperties) return;
    for (int i = 0, n = mProperties->GetPropertyCount(); i < n; ++i)
        properties.Add(mProperties->GetProperty(i));
}

VString VOxaMarker::GetTypeName() const {
    switch (mMarkerType) {
        case eOPTICAL:
            return VString("OpticalMarker");
        case eIK_EFFECTOR:
            return VString("IKEffector");
        case eFK_EFFECTOR:
            return VString("FKEffector");
        default:
            return VString("Marker");
    }
}

VStringList VOxaMarker::GetTypeFlags() const {
    VStringList flags;
    flags.Add("Marker");
    return flags;
}

void VOxaMarker::SetType(int kind) {
    oxa_delivery::Scope scope;
    if (kind == mMarkerType) return;
    mMarkerType = kind;
    if (VOxaNode* node = GetNode()) {
        UnsetNode();
        SetNode(node);
    }
}

void VOxaMarker::SetLook(ELook look) {
    mProperties->SetLook(look);
}
VOxaMarker::ELook VOxaMarker::GetLook() const {
    return mProperties->GetLook();
}
void VOxaMarker::SetSize(double size) {
    mProperties->SetSize(size);
}
double VOxaMarker::GetSize() const {
    return mProperties->GetSize();
}
void VOxaMarker::SetShowLabel(bool on) {
    mProperties->SetShowLabel(on);
}
bool VOxaMarker::GetShowLabel() const {
    return mProperties->GetShowLabel();
}
void VOxaMarker::SetColor(double red, double green, double blue) {
    mProperties->SetColor(VgeRGBVector(red, green, blue));
}
void VOxaMarker::SetColor(const VgeRGBVector& color) {
    mProperties->SetColor(color);
}
VgeRGBVector VOxaMarker::GetColor() const {
    return mProperties->GetColor();
}
void VOxaMarker::SetIKPivot(const VgeTVector& pivot) {
    mProperties->SetIKPivot(pivot);
}
VgeTVector VOxaMarker::GetIKPivot() const {
    return mProperties->GetIKPivot();
}

VFCurve* VOxaMarker::DefaultCurve(int kind, const char* dataTypeName) const {
    if (mMarkerType != kind) return nullptr;
    VOxaNode* node = GetNode();
    VOxaTakeNode* take = node ? node->GetDefaultTakeNode() : nullptr;
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    const VDataType* dataType = VDataType::Find(dataTypeName);
    VFCurveNode* channel = root && dataType ? root->Find(dataType) : nullptr;
    return channel ? channel->FCurveGet() : nullptr;
}

double VOxaMarker::GetDefaultOcclusion() const {
    VFCurve* curve = DefaultCurve(eOPTICAL, kOcclusion);
    return curve ? curve->GetDefaultValue() : 0.0;
}
void VOxaMarker::SetDefaultOcclusion(double value) {
    if (VFCurve* curve = DefaultCurve(eOPTICAL, kOcclusion)) curve->SetDefaultValue((float)value);
}
double VOxaMarker::GetDefaultIKReachTranslation() const {
    VFCurve* curve = DefaultCurve(eIK_EFFECTOR, kIKReachTranslation);
    return curve ? curve->GetDefaultValue() : 0.0;
}
void VOxaMarker::SetDefaultIKReachTranslation(double value) {
    if (VFCurve* curve = DefaultCurve(eIK_EFFECTOR, kIKReachTranslation))
        curve->SetDefaultValue((float)value);
}
double VOxaMarker::GetDefaultIKReachRotation() const {
    VFCurve* curve = DefaultCurve(eIK_EFFECTOR, kIKReachRotation);
    return curve ? curve->GetDefaultValue() : 0.0;
}
void VOxaMarker::SetDefaultIKReachRotation(double value) {
    if (VFCurve* curve = DefaultCurve(eIK_EFFECTOR, kIKReachRotation)) curve->SetDefaultValue((float)value);
}

// ---- Node -----------------------------------------------------------------------------------------

VOxaMarker* VOxaNode::GetMarker() const {
    return GetNodeAttributeType() == VOxaNodeAttribute::eMarker ? dynamic_cast<VOxaMarker*>(mAttribute)
                                                                : nullptr;
}
