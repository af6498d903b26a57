#include "scene/voxa_take_node.h"

#include <cstring>
#include <new>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_geometry.h"
#include "base/vallocation_hook.h"
#include "base/vge_matrix.h"
#include "objects/vdatatype.h"
#include "objects/voxa_object.h"
#include "objects/voxa_user_property.h"
#include "scene/voxa_take_node_container.h"

namespace {

const char* const kTakeNodeErrors[VOxaTakeNode::eErrorCount] = {"Curve not found", "Not enough memory"};

// Deletes the reference-mode children of a reference-mode node (they are not deleted with it),
// deepest first and last child first.
void DeleteReferenceChildren(VFCurveNode* node) {
    if (!node || !node->GetReferenceMode()) return;
    for (int i = node->GetCount() - 1; i >= 0; --i) {
        VFCurveNode* child = node->Get(i);
        if (!child || !child->GetReferenceMode()) continue;
        DeleteReferenceChildren(child);
        node->Remove(i);
        delete child;
    }
}

// The name of `source` without its type prefix: the first occurrence of the prefix in the
// initial name is cut out.
VString SourceName(const VOxaObject* source) {
    if (!source) return VString("");
    const char* name = source->GetInitialName();
    const char* prefix = source->GetNamePrefix();
    size_t prefixLength = prefix ? std::strlen(prefix) : 0;
    const char* at = prefixLength ? std::strstr(name, prefix) : nullptr;
    if (!at) return VString(name);
    VString text(name, (int)(at - name));
    text += at + prefixLength;
    return text;
}

}  // namespace

VOxaTakeNode::VOxaTakeNode(const char* name)
    : mName(name ? name : ""), mError(kTakeNodeErrors, eErrorCount) {}

// The channels are copied last: a member that runs out of memory after them would leave them
// to no one.
VOxaTakeNode::VOxaTakeNode(const VOxaTakeNode& other)
    : mName(other.mName), mError(kTakeNodeErrors, eErrorCount) {
    mRoot = other.Root() ? other.Root()->Clone() : nullptr;
}

void VOxaTakeNode::MakeRoot() const {
    mRoot = VFCurveNode::CreateFromName("Defaults", nullptr, 0, 0);
}

VOxaTakeNode::~VOxaTakeNode() {
    DeleteReferenceChildren(mRoot);
    delete mRoot;
    mRoot = nullptr;
}

VFCurveNode* VOxaTakeNode::GetVFCurveNode() const {
    // The tree, or the channels left to the owner, made now: memory that runs out for them is
    // an answer of null with the error set, never thrown.
    try {
        return Root();
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        const_cast<VOxaTakeNode*>(this)->mError.SetLastErrorID(eNotEnoughMemory);
        return nullptr;
    }
}

void VOxaTakeNode::DeferChannels(VOxaTakeNodeContainer* owner) {
    mChannelOwner = owner;
}

void VOxaTakeNode::FillChannels() const {
    // Cleared first: the owner's fill reaches this take through its accessors.
    VOxaTakeNodeContainer* owner = mChannelOwner;
    mChannelOwner = nullptr;
    owner->FillDeferredChannels(const_cast<VOxaTakeNode*>(this));
}

void VOxaTakeNode::SetName(const char* name) {
    mName = name ? name : "";
}

bool VOxaTakeNode::GetAnimationInterval(VTime& start, VTime& stop) const {
    // Channels still to be made would hold their defaults only, no key: nothing to widen with,
    // and no reason to make them.
    if (HasDeferredChannels()) return false;
    VFCurveNode* root = GetVFCurveNode();
    return root && root->GetAnimationInterval(start, stop);
}

// ---- Curve lookup -------------------------------------------------------------------------------

namespace {

// The node reached from `root` through the given names (null names are skipped); null when a
// given name is not found.
VFCurveNode* WalkNames(VFCurveNode* root, const char* objectName, const char* channelName) {
    VFCurveNode* node = root;
    if (node && objectName) node = node->FindChild(objectName);
    if (node && channelName) node = node->FindChild(channelName);
    return node;
}

}  // namespace

VFCurve* VOxaTakeNode::GetVFCurve(const char* objectName, const char* channelName,
                                  const char* componentName) {
    VFCurveNode* root = GetVFCurveNode();
    if (!root) return nullptr;
    VFCurveNode* node = WalkNames(root, objectName, channelName);
    if (node && componentName) node = node->FindChild(componentName);
    VFCurve* curve = node ? node->FCurveGet() : nullptr;
    if (!curve) mError.SetLastErrorID(eCurveNotFound);
    return curve;
}

VFCurve* VOxaTakeNode::GetVFCurveByDataType(const char* objectName, const char* channelName,
                                            const VDataType* dataType) {
    VFCurveNode* root = GetVFCurveNode();
    if (!root) return nullptr;
    VFCurveNode* node = WalkNames(root, objectName, channelName);
    if (node && dataType) node = node->FindRecursive(dataType);
    VFCurve* curve = node ? node->FCurveGet() : nullptr;
    if (!curve) mError.SetLastErrorID(eCurveNotFound);
    return curve;
}

VFCurve* VOxaTakeNode::GetVFCurveByDataType(const char* objectName, const char* channelName,
                                            const char* dataTypeName) {
    const VDataType* dataType = nullptr;
    if (dataTypeName) {
        dataType = VDataType::Find(dataTypeName);
        if (!dataType) {
            mError.SetLastErrorID(eCurveNotFound);
            return nullptr;
        }
    }
    return GetVFCurveByDataType(objectName, channelName, dataType);
}

bool VOxaTakeNode::IsAnimated(const char* objectName, const char* channelName, const char* componentName) {
    VFCurve* curve = GetVFCurve(objectName, channelName, componentName);
    return curve && curve->KeyGetCount() > 0;
}

bool VOxaTakeNode::IsAnimatedByDataType(const char* objectName, const char* channelName,
                                        const VDataType* dataType) {
    VFCurve* curve = GetVFCurveByDataType(objectName, channelName, dataType);
    return curve && curve->KeyGetCount() > 0;
}

VFCurve* VOxaTakeNode::GetPropertyCurve(VOxaUserProperty* userProperty, int component) {
    VFCurveNode* channel = nullptr;
    VFCurveNode* root = GetVFCurveNode();
    if (!root) return nullptr;
    if (userProperty)
        channel = root->FindChild(VOxaTakeNodeContainer::GetChannelName(userProperty->GetName()));
    VFCurve* curve = nullptr;
    if (channel) {
        if (channel->GetCount() > 0) {
            VFCurveNode* child = (component >= 0) ? channel->Get(component) : nullptr;
            curve = child ? child->FCurveGet() : nullptr;
        } else if (component == 0) {
            curve = channel->FCurveGet();
        }
    }
    if (!curve) mError.SetLastErrorID(eCurveNotFound);
    return curve;
}

VFCurve* VOxaTakeNode::GetShapeCurve(VOxaGeometry* geometry, int shapeIndex) {
    VFCurve* curve = geometry ? geometry->GetShapeChannel(this, shapeIndex) : nullptr;
    if (!curve) mError.SetLastErrorID(eCurveNotFound);
    return curve;
}

// ---- Named accessors ----------------------------------------------------------------------------

VFCurve* VOxaTakeNode::GetTranslationX() {
    return GetVFCurve("Transform", "T", "X");
}
VFCurve* VOxaTakeNode::GetTranslationY() {
    return GetVFCurve("Transform", "T", "Y");
}
VFCurve* VOxaTakeNode::GetTranslationZ() {
    return GetVFCurve("Transform", "T", "Z");
}
VFCurve* VOxaTakeNode::GetEulerRotationX() {
    return GetVFCurve("Transform", "R", "X");
}
VFCurve* VOxaTakeNode::GetEulerRotationY() {
    return GetVFCurve("Transform", "R", "Y");
}
VFCurve* VOxaTakeNode::GetEulerRotationZ() {
    return GetVFCurve("Transform", "R", "Z");
}
VFCurve* VOxaTakeNode::GetScaleX() {
    return GetVFCurve("Transform", "S", "X");
}
VFCurve* VOxaTakeNode::GetScaleY() {
    return GetVFCurve("Transform", "S", "Y");
}
VFCurve* VOxaTakeNode::GetScaleZ() {
    return GetVFCurve("Transform", "S", "Z");
}
VFCurve* VOxaTakeNode::GetVisibility() {
    return GetVFCurveByDataType(nullptr, nullptr, "Visibility");
}

VFCurve* VOxaTakeNode::GetColorR() {
    return GetVFCurve(nullptr, "Color", "X");
}
VFCurve* VOxaTakeNode::GetColorG() {
    return GetVFCurve(nullptr, "Color", "Y");
}
VFCurve* VOxaTakeNode::GetColorB() {
    return GetVFCurve(nullptr, "Color", "Z");
}
VFCurve* VOxaTakeNode::GetLightIntensity() {
    return GetVFCurve(nullptr, nullptr, "Intensity");
}
VFCurve* VOxaTakeNode::GetLightConeAngle() {
    return GetVFCurve(nullptr, nullptr, "Cone angle");
}
VFCurve* VOxaTakeNode::GetLightFog() {
    return GetVFCurve(nullptr, nullptr, "Fog");
}

VFCurve* VOxaTakeNode::GetCameraFieldOfView() {
    return GetVFCurve(nullptr, nullptr, "FieldOfView");
}
VFCurve* VOxaTakeNode::GetCameraFieldOfViewX() {
    return GetVFCurve(nullptr, nullptr, "FieldOfViewX");
}
VFCurve* VOxaTakeNode::GetCameraFieldOfViewY() {
    return GetVFCurve(nullptr, nullptr, "FieldOfViewY");
}
VFCurve* VOxaTakeNode::GetCameraOpticalCenterX() {
    return GetVFCurve(nullptr, nullptr, "OpticalCenterX");
}
VFCurve* VOxaTakeNode::GetCameraOpticalCenterY() {
    return GetVFCurve(nullptr, nullptr, "OpticalCenterY");
}
VFCurve* VOxaTakeNode::GetCameraRoll() {
    return GetVFCurve(nullptr, nullptr, "Roll");
}
VFCurve* VOxaTakeNode::GetCameraTurnTable() {
    return GetVFCurve(nullptr, nullptr, "TurnTable");
}
VFCurve* VOxaTakeNode::GetCameraBackgroundColorR() {
    return GetVFCurve(nullptr, "BackgroundColor", "X");
}
VFCurve* VOxaTakeNode::GetCameraBackgroundColorG() {
    return GetVFCurve(nullptr, "BackgroundColor", "Y");
}
VFCurve* VOxaTakeNode::GetCameraBackgroundColorB() {
    return GetVFCurve(nullptr, "BackgroundColor", "Z");
}
VFCurve* VOxaTakeNode::GetCameraIndex() {
    return GetVFCurve(nullptr, nullptr, "Camera Index");
}

VFCurve* VOxaTakeNode::GetOcclusion() {
    return GetVFCurveByDataType(nullptr, nullptr, "Occlusion");
}
VFCurve* VOxaTakeNode::GetIKReachTranslation() {
    return GetVFCurveByDataType(nullptr, nullptr, "IK Reach Translation");
}
VFCurve* VOxaTakeNode::GetIKReachRotation() {
    return GetVFCurveByDataType(nullptr, nullptr, "IK Reach Rotation");
}

VFCurve* VOxaTakeNode::GetTextureTranslationX() {
    return GetVFCurve(nullptr, "Translation", "X");
}
VFCurve* VOxaTakeNode::GetTextureTranslationY() {
    return GetVFCurve(nullptr, "Translation", "Y");
}
VFCurve* VOxaTakeNode::GetTextureTranslationZ() {
    return GetVFCurve(nullptr, "Translation", "Z");
}
VFCurve* VOxaTakeNode::GetTextureRotationX() {
    return GetVFCurve(nullptr, "Rotation", "X");
}
VFCurve* VOxaTakeNode::GetTextureRotationY() {
    return GetVFCurve(nullptr, "Rotation", "Y");
}
VFCurve* VOxaTakeNode::GetTextureRotationZ() {
    return GetVFCurve(nullptr, "Rotation", "Z");
}
VFCurve* VOxaTakeNode::GetTextureScalingX() {
    return GetVFCurve(nullptr, "Scaling", "X");
}
VFCurve* VOxaTakeNode::GetTextureScalingY() {
    return GetVFCurve(nullptr, "Scaling", "Y");
}
VFCurve* VOxaTakeNode::GetTextureScalingZ() {
    return GetVFCurve(nullptr, "Scaling", "Z");
}
VFCurve* VOxaTakeNode::GetTextureAlpha() {
    return GetVFCurve(nullptr, nullptr, "Alpha");
}

VFCurve* VOxaTakeNode::GetMaterialEmissiveR() {
    return GetVFCurve(nullptr, "Emissive", "X");
}
VFCurve* VOxaTakeNode::GetMaterialEmissiveG() {
    return GetVFCurve(nullptr, "Emissive", "Y");
}
VFCurve* VOxaTakeNode::GetMaterialEmissiveB() {
    return GetVFCurve(nullptr, "Emissive", "Z");
}
VFCurve* VOxaTakeNode::GetMaterialAmbientR() {
    return GetVFCurve(nullptr, "Ambient", "X");
}
VFCurve* VOxaTakeNode::GetMaterialAmbientG() {
    return GetVFCurve(nullptr, "Ambient", "Y");
}
VFCurve* VOxaTakeNode::GetMaterialAmbientB() {
    return GetVFCurve(nullptr, "Ambient", "Z");
}
VFCurve* VOxaTakeNode::GetMaterialDiffuseR() {
    return GetVFCurve(nullptr, "Diffuse", "X");
}
VFCurve* VOxaTakeNode::GetMaterialDiffuseG() {
    return GetVFCurve(nullptr, "Diffuse", "Y");
}
VFCurve* VOxaTakeNode::GetMaterialDiffuseB() {
    return GetVFCurve(nullptr, "Diffuse", "Z");
}
VFCurve* VOxaTakeNode::GetMaterialSpecularR() {
    return GetVFCurve(nullptr, "Specular", "X");
}
VFCurve* VOxaTakeNode::GetMaterialSpecularG() {
    return GetVFCurve(nullptr, "Specular", "Y");
}
VFCurve* VOxaTakeNode::GetMaterialSpecularB() {
    return GetVFCurve(nullptr, "Specular", "Z");
}
VFCurve* VOxaTakeNode::GetMaterialOpacity() {
    return GetVFCurve(nullptr, nullptr, "Opacity");
}
VFCurve* VOxaTakeNode::GetMaterialReflectivity() {
    return GetVFCurve(nullptr, nullptr, "Reflectivity");
}
VFCurve* VOxaTakeNode::GetMaterialShininess() {
    return GetVFCurve(nullptr, nullptr, "Shininess");
}

VFCurve* VOxaTakeNode::GetConstraintSourceWeight(const VOxaObject* source) {
    VString name = SourceName(source);
    name += ".Weight";
    return GetVFCurve(nullptr, nullptr, name.Buffer());
}
VFCurve* VOxaTakeNode::GetConstraintTranslationX() {
    return GetVFCurve(nullptr, "Translation", "X");
}
VFCurve* VOxaTakeNode::GetConstraintTranslationY() {
    return GetVFCurve(nullptr, "Translation", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintTranslationZ() {
    return GetVFCurve(nullptr, "Translation", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintRotationX() {
    return GetVFCurve(nullptr, "Rotation", "X");
}
VFCurve* VOxaTakeNode::GetConstraintRotationY() {
    return GetVFCurve(nullptr, "Rotation", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintRotationZ() {
    return GetVFCurve(nullptr, "Rotation", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintScalingX() {
    return GetVFCurve(nullptr, "Scaling", "X");
}
VFCurve* VOxaTakeNode::GetConstraintScalingY() {
    return GetVFCurve(nullptr, "Scaling", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintScalingZ() {
    return GetVFCurve(nullptr, "Scaling", "Z");
}

namespace {
VString SourceChannel(const VOxaObject* source, const char* suffix) {
    VString name = SourceName(source);
    name += suffix;
    return name;
}
}  // namespace

VFCurve* VOxaTakeNode::GetConstraintSourceOffsetTranslationX(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset T").Buffer(), "X");
}
VFCurve* VOxaTakeNode::GetConstraintSourceOffsetTranslationY(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset T").Buffer(), "Y");
}
VFCurve* VOxaTakeNode::GetConstraintSourceOffsetTranslationZ(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset T").Buffer(), "Z");
}
VFCurve* VOxaTakeNode::GetConstraintSourceOffsetRotationX(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset R").Buffer(), "X");
}
VFCurve* VOxaTakeNode::GetConstraintSourceOffsetRotationY(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset R").Buffer(), "Y");
}
VFCurve* VOxaTakeNode::GetConstraintSourceOffsetRotationZ(const VOxaObject* source) {
    return GetVFCurve(nullptr, SourceChannel(source, ".Offset R").Buffer(), "Z");
}
VFCurve* VOxaTakeNode::GetConstraintRotationOffsetX() {
    return GetVFCurve(nullptr, "RotationOffset", "X");
}
VFCurve* VOxaTakeNode::GetConstraintRotationOffsetY() {
    return GetVFCurve(nullptr, "RotationOffset", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintRotationOffsetZ() {
    return GetVFCurve(nullptr, "RotationOffset", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintWorldUpVectorX() {
    return GetVFCurve(nullptr, "WorldUpVector", "X");
}
VFCurve* VOxaTakeNode::GetConstraintWorldUpVectorY() {
    return GetVFCurve(nullptr, "WorldUpVector", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintWorldUpVectorZ() {
    return GetVFCurve(nullptr, "WorldUpVector", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintAimVectorX() {
    return GetVFCurve(nullptr, "AimVector", "X");
}
VFCurve* VOxaTakeNode::GetConstraintAimVectorY() {
    return GetVFCurve(nullptr, "AimVector", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintAimVectorZ() {
    return GetVFCurve(nullptr, "AimVector", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintUpVectorX() {
    return GetVFCurve(nullptr, "UpVector", "X");
}
VFCurve* VOxaTakeNode::GetConstraintUpVectorY() {
    return GetVFCurve(nullptr, "UpVector", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintUpVectorZ() {
    return GetVFCurve(nullptr, "UpVector", "Z");
}
VFCurve* VOxaTakeNode::GetConstraintWeight() {
    return GetVFCurve(nullptr, nullptr, "Weight");
}
VFCurve* VOxaTakeNode::GetConstraintTwist() {
    return GetVFCurve(nullptr, nullptr, "Twist");
}
VFCurve* VOxaTakeNode::GetConstraintPoleVectorX() {
    return GetVFCurve(nullptr, "PoleVector", "X");
}
VFCurve* VOxaTakeNode::GetConstraintPoleVectorY() {
    return GetVFCurve(nullptr, "PoleVector", "Y");
}
VFCurve* VOxaTakeNode::GetConstraintPoleVectorZ() {
    return GetVFCurve(nullptr, "PoleVector", "Z");
}

// ---- Rotation of the translation channel --------------------------------------------------------

bool VOxaTakeNode::RotateTranslation(const VgeTVector& rotation) {
    VFCurve* curves[3] = {GetTranslationX(), GetTranslationY(), GetTranslationZ()};
    if (!curves[0] || !curves[1] || !curves[2]) return false;
    int counts[3];
    int total = 0;
    for (int c = 0; c < 3; ++c) {
        counts[c] = curves[c]->KeyGetCount();
        total += counts[c];
    }

    VgeAMatrix matrix;
    matrix.SetR(rotation);
    const VgeTVector rotatedDefaults = matrix.MultT(VgeTVector(
        curves[0]->GetDefaultValue(), curves[1]->GetDefaultValue(), curves[2]->GetDefaultValue(), 0.0));

    // The rotated keys, one block per curve: every key time of any of the three curves, once.
    VFCurve rotated[3];
    for (int c = 0; c < 3; ++c)
        rotated[c].KeyModifyBegin(total);
    int index[3] = {0, 0, 0};
    int hints[3] = {0, 0, 0};
    int written = 0;
    for (;;) {
        VTime candidate[3];
        VTime t(VTime::kInfinite);
        bool any = false;
        for (int c = 0; c < 3; ++c) {
            candidate[c] = index[c] < counts[c] ? curves[c]->KeyGetTime(index[c]) : VTime(VTime::kInfinite);
            if (index[c] < counts[c]) {
                if (!any || candidate[c] < t) t = candidate[c];
                any = true;
            }
        }
        if (!any) break;
        for (int c = 0; c < 3; ++c) {
            if (index[c] < counts[c] && candidate[c] == t) ++index[c];
        }
        double z = curves[2]->Evaluate(t, &hints[2]);
        double y = curves[1]->Evaluate(t, &hints[1]);
        double x = curves[0]->Evaluate(t, &hints[0]);
        VgeTVector value = matrix.MultT(VgeTVector(x, y, z, 0.0));
        for (int c = 0; c < 3; ++c) {
            rotated[c].KeySet(written, t, (float)value[c], VFCurveKey::eInterpolationCubic,
                              VFCurveKey::eTangentAuto, 0.0f, 0.0f, VFCurveKey::eWeightedNone,
                              kFCurveDefaultWeight, kFCurveDefaultWeight, 0.0f, 0.0f);
        }
        ++written;
    }
    for (int c = 0; c < 3; ++c)
        rotated[c].KeyModifyEnd(written);

    for (int c = 0; c < 3; ++c) {
        VFCurve* curve = curves[c];
        // The copy brings the working curve's settings along: give it the curve's own first.
        rotated[c].SetColor(curve->GetColor());
        rotated[c].SetPreExtrapolation(curve->GetPreExtrapolation());
        rotated[c].SetPreExtrapolationCount(curve->GetPreExtrapolationCount());
        rotated[c].SetPostExtrapolation(curve->GetPostExtrapolation());
        rotated[c].SetPostExtrapolationCount(curve->GetPostExtrapolationCount());
        rotated[c].SetOwnerTag(curve->GetOwnerTag());
        rotated[c].SetDefaultValue((float)rotatedDefaults[c]);

        curve->KeyModifyBegin();
        curve->KeyRemoveTimeRange(VTIME_MINUS_INFINITE, VTIME_INFINITE);
        curve->CopyFrom(&rotated[c]);
        curve->SetDefaultValue((float)rotatedDefaults[c]);
        curve->KeyModifyEnd();
    }
    return true;
}
