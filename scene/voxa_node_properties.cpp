#include "scene/voxa_node_properties.h"

#include "objects/voxa_user_property.h"
#include "scene/voxa_node.h"

VOBJECT_IMPLEMENT_CLASS(VOxaNodeProperties, VOxaPropertyHandler);

namespace {

const char* const kRotationOrderNames[] = {"Euler XYZ", "Euler XZY", "Euler YZX",  "Euler YXZ",
                                           "Euler ZXY", "Euler ZYX", "Spheric XYZ"};
// Values 0 and 1 share their name.
const char* const kInheritTypeNames[] = {"RrSs", "RrSs", "Rrs"};

}  // namespace

const char* GetRotationOrderName(int value) {
    return value >= 0 && value < 7 ? kRotationOrderNames[value] : nullptr;
}

const char* GetTransformInheritTypeName(int value) {
    return value >= 0 && value < 3 ? kInheritTypeNames[value] : nullptr;
}

void VOxaPivotSet::Reset() {
    const VgeTVector zero(0.0, 0.0, 0.0, 1.0);
    mRotationOffset = zero;
    mRotationPivot = zero;
    mRotationPivotUpdateOffset = zero;
    mPreRotation = zero;
    mPostRotation = zero;
    mScalingOffset = zero;
    mScalingPivot = zero;
    mScalingPivotUpdateOffset = zero;
    mGeometricTranslation = zero;
    mGeometricRotation = zero;
    mGeometricScaling.Set(1.0, 1.0, 1.0, 1.0);
    mRotationOrder = eEULER_XYZ;
    mRotationSpaceForLimitOnly = false;
    mPivotMatrixValid = false;
    mPivotState = 1;
}

namespace {
// The member properties declared below, one OXA_DECLARE_NODE_PROPERTY each.
constexpr int kDeclaredPropertyCount = 63;
}  // namespace

// Declares member property m<Name> under "<Name>" with its accessor pair and lists it.
#define OXA_DECLARE_NODE_PROPERTY(Name) OXA_DECLARE_MEMBER_PROPERTY(VOxaNodeProperties, Name)

VOxaNodeProperties::VOxaNodeProperties(VOxaNode* owner) : mOwnerNode(owner) {
    // Every member starts at 0, false or (0, 0, 0); the node's initialisation sets its defaults.
    const VgeTVector zero(0.0, 0.0, 0.0, 1.0);
    VPropertyTemplate<VgeTVector>* vectors[] = {
        &mRotationOffset,    &mRotationPivot,   &mRotationPivotUpdateOffset,
        &mScalingOffset,     &mScalingPivot,    &mScalingPivotUpdateOffset,
        &mTranslationMin,    &mTranslationMax,  &mPreRotation,
        &mPostRotation,      &mRotationMin,     &mRotationMax,
        &mScalingMin,        &mScalingMax,      &mGeometricTranslation,
        &mGeometricRotation, &mGeometricScaling};
    for (VPropertyTemplate<VgeTVector>* v : vectors)
        v->SetStoredValue(zero);

    // The declared properties, the two target lists and the four animated ones.
    ReserveProperties(kDeclaredPropertyCount + 6);
    // Declaration order is the order of the property list, of take channels and of files.
    OXA_DECLARE_NODE_PROPERTY(QuaternionInterpolate);
    OXA_DECLARE_NODE_PROPERTY(RotationOffset);
    OXA_DECLARE_NODE_PROPERTY(RotationPivot);
    OXA_DECLARE_NODE_PROPERTY(RotationPivotUpdateOffset);
    mRotationPivotUpdateOffset.SetStateFlag(kPropertyNotSaved, true);
    OXA_DECLARE_NODE_PROPERTY(ScalingOffset);
    OXA_DECLARE_NODE_PROPERTY(ScalingPivot);
    OXA_DECLARE_NODE_PROPERTY(ScalingPivotUpdateOffset);
    mScalingPivotUpdateOffset.SetStateFlag(kPropertyNotSaved, true);
    OXA_DECLARE_NODE_PROPERTY(TranslationActive);
    OXA_DECLARE_NODE_PROPERTY(TranslationMin);
    OXA_DECLARE_NODE_PROPERTY(TranslationMax);
    OXA_DECLARE_NODE_PROPERTY(TranslationMinX);
    OXA_DECLARE_NODE_PROPERTY(TranslationMinY);
    OXA_DECLARE_NODE_PROPERTY(TranslationMinZ);
    OXA_DECLARE_NODE_PROPERTY(TranslationMaxX);
    OXA_DECLARE_NODE_PROPERTY(TranslationMaxY);
    OXA_DECLARE_NODE_PROPERTY(TranslationMaxZ);
    OXA_DECLARE_NODE_PROPERTY(RotationOrder);
    mRotationOrder.SetValueType(eValueEnum);
    mRotationOrder.GetInfo().SetEnumNameCallback(&GetRotationOrderName);
    OXA_DECLARE_NODE_PROPERTY(RotationSpaceForLimitOnly);
    // The stiffness values come before "AxisLen" in files although their members follow
    // "RotationMax".
    OXA_DECLARE_NODE_PROPERTY(RotationStiffnessX);
    OXA_DECLARE_NODE_PROPERTY(RotationStiffnessY);
    OXA_DECLARE_NODE_PROPERTY(RotationStiffnessZ);
    OXA_DECLARE_NODE_PROPERTY(AxisLen);
    OXA_DECLARE_NODE_PROPERTY(PreRotation);
    OXA_DECLARE_NODE_PROPERTY(PostRotation);
    OXA_DECLARE_NODE_PROPERTY(RotationActive);
    OXA_DECLARE_NODE_PROPERTY(RotationMin);
    OXA_DECLARE_NODE_PROPERTY(RotationMax);
    OXA_DECLARE_NODE_PROPERTY(RotationMinX);
    OXA_DECLARE_NODE_PROPERTY(RotationMinY);
    OXA_DECLARE_NODE_PROPERTY(RotationMinZ);
    OXA_DECLARE_NODE_PROPERTY(RotationMaxX);
    OXA_DECLARE_NODE_PROPERTY(RotationMaxY);
    OXA_DECLARE_NODE_PROPERTY(RotationMaxZ);
    OXA_DECLARE_NODE_PROPERTY(InheritType);
    mInheritType.SetValueType(eValueEnum);
    mInheritType.GetInfo().SetEnumNameCallback(&GetTransformInheritTypeName);
    OXA_DECLARE_NODE_PROPERTY(ScalingActive);
    OXA_DECLARE_NODE_PROPERTY(ScalingMin);
    OXA_DECLARE_NODE_PROPERTY(ScalingMax);
    OXA_DECLARE_NODE_PROPERTY(ScalingMinX);
    OXA_DECLARE_NODE_PROPERTY(ScalingMinY);
    OXA_DECLARE_NODE_PROPERTY(ScalingMinZ);
    OXA_DECLARE_NODE_PROPERTY(ScalingMaxX);
    OXA_DECLARE_NODE_PROPERTY(ScalingMaxY);
    OXA_DECLARE_NODE_PROPERTY(ScalingMaxZ);
    OXA_DECLARE_NODE_PROPERTY(GeometricTranslation);
    OXA_DECLARE_NODE_PROPERTY(GeometricRotation);
    OXA_DECLARE_NODE_PROPERTY(GeometricScaling);
    OXA_DECLARE_NODE_PROPERTY(MinDampRangeX);
    OXA_DECLARE_NODE_PROPERTY(MinDampRangeY);
    OXA_DECLARE_NODE_PROPERTY(MinDampRangeZ);
    OXA_DECLARE_NODE_PROPERTY(MaxDampRangeX);
    OXA_DECLARE_NODE_PROPERTY(MaxDampRangeY);
    OXA_DECLARE_NODE_PROPERTY(MaxDampRangeZ);
    OXA_DECLARE_NODE_PROPERTY(MinDampStrengthX);
    OXA_DECLARE_NODE_PROPERTY(MinDampStrengthY);
    OXA_DECLARE_NODE_PROPERTY(MinDampStrengthZ);
    OXA_DECLARE_NODE_PROPERTY(MaxDampStrengthX);
    OXA_DECLARE_NODE_PROPERTY(MaxDampStrengthY);
    OXA_DECLARE_NODE_PROPERTY(MaxDampStrengthZ);
    OXA_DECLARE_NODE_PROPERTY(PreferedAngleX);
    OXA_DECLARE_NODE_PROPERTY(PreferedAngleY);
    OXA_DECLARE_NODE_PROPERTY(PreferedAngleZ);

    // Look-at and up-vector targets: the source connections from other node blocks.
    const int classId = VOxaNodeProperties::ClassId;
    mLookAtProperty =
        CreatePropertyObjectList(this, "LookAtProperty", kPlugFilteredChild, classId, -1, kPlugAcceptsSrc, 0);
    mUpVectorProperty = CreatePropertyObjectList(this, "UpVectorProperty", kPlugFilteredChild, classId, -1,
                                                 kPlugAcceptsSrc, 0);
    for (VPropertyObjectList* list : {mLookAtProperty, mUpVectorProperty}) {
        if (!list) continue;
        list->SetObjectFilter(1, classId);
        list->SetStateFlag(kPropertyState1, true);
    }

    OXA_DECLARE_NODE_PROPERTY(Show);
    mShow.SetStoredValue(true);
    OXA_DECLARE_NODE_PROPERTY(NegativePercentShapeSupport);
    mNegativePercentShapeSupport.SetStoredValue(true);

    // The animated local transform and visibility live in the property list only.
    const char* const animated[] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};
    for (const char* name : animated) {
        // The declared properties bear none of these names.
        VProperty* property = CreateNewProperty(name, name, true);
        if (!property) continue;
        property->SetStateFlag(kPropertyAnimated, true);
        if (name == animated[2]) {
            const double one[4] = {1.0, 1.0, 1.0, 1.0};
            property->SetValue(one);
        } else if (name == animated[3]) {
            property->SetDouble(1.0);
        }
    }
}

#undef OXA_DECLARE_NODE_PROPERTY

VOxaNodeProperties::~VOxaNodeProperties() = default;

VOxaObject* VOxaNodeProperties::GetOwner() const {
    return mOwnerNode;
}

void VOxaNodeProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (!mOwnerNode) return;
    mOwnerNode->TrackDeferredDefaults(userProperty);
    mOwnerNode->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

namespace {

// The node whose block `plug` is, null for any other plug.
VOxaNode* OwnerNodeOf(VPlug* plug) {
    if (!plug || !plug->IsA(VOxaNodeProperties::ClassId)) return nullptr;
    return static_cast<VOxaNodeProperties*>(plug)->GetOwnerNode();
}

}  // namespace

bool VOxaNodeProperties::ConnectNotify(int event, VPlug* plug, VPlug* other) {
    // A changed value (the "Lcl" values, pivots, order, limits...) or a changed parent moves the
    // default transforms.
    if (event == ePropertyValueChanged && mOwnerNode) mOwnerNode->DefaultTransformsChanged();
    if ((event == ePlugConnectedSrc || event == ePlugDisconnectedSrc) && plug == this)
        if (VOxaNode* child = OwnerNodeOf(other)) child->DefaultTransformsChanged();
    if (plug == this && mOwnerNode) {
        VOxaNode* otherNode = OwnerNodeOf(other);
        switch (event) {
            case ePlugAcceptSrc: {
                VOxaSceneContents* mine = mOwnerNode->GetSceneContents();
                VOxaSceneContents* theirs = otherNode ? otherNode->GetSceneContents() : nullptr;
                bool refuse = mine && mine == theirs;
                // A new child must not be this node or one of its ancestors. Only a node with
                // children can be an ancestor, so adding a leaf costs no walk.
                if (!refuse && otherNode && otherNode->GetChildCount() > 0) {
                    for (VOxaNode* n = mOwnerNode; n; n = n->GetParent()) {
                        if (n == otherNode) {
                            refuse = true;
                            break;
                        }
                    }
                }
                if (refuse) {
                    mOwnerNode->GetError().SetLastErrorID(VOxaNode::eCyclicGraph);
                    return false;
                }
                break;
            }
            case ePlugConnectedSrc:
                if (otherNode) otherNode->SetSceneContents(mOwnerNode->GetSceneContents(), false);
                break;
            case ePlugDisconnectedSrc:
                if (otherNode) otherNode->SetSceneContents(nullptr, false);
                break;
            default:
                break;
        }
    }
    return VOxaPropertyHandler::ConnectNotify(event, plug, other);
}

// Accessors: the stored member values, without events. Vectors keep x, y, z; w reads 1.
#define OXA_NODE_SCALAR_ACCESSORS(Name, Type)        \
    void VOxaNodeProperties::Set##Name(Type value) { \
        m##Name.SetStoredValue(value);               \
    }                                                \
    Type VOxaNodeProperties::Get##Name() const {     \
        return m##Name.GetStoredValue();             \
    }
#define OXA_NODE_VECTOR_ACCESSORS(Name)                           \
    void VOxaNodeProperties::Set##Name(const VgeTVector& value) { \
        VgeTVector stored = m##Name.GetStoredValue();             \
        stored.Set(value[0], value[1], value[2], stored[3]);      \
        m##Name.SetStoredValue(stored);                           \
    }                                                             \
    VgeTVector VOxaNodeProperties::Get##Name() const {            \
        VgeTVector stored = m##Name.GetStoredValue();             \
        return VgeTVector(stored[0], stored[1], stored[2], 1.0);  \
    }

OXA_NODE_SCALAR_ACCESSORS(QuaternionInterpolate, bool)
OXA_NODE_VECTOR_ACCESSORS(RotationOffset)
OXA_NODE_VECTOR_ACCESSORS(RotationPivot)
OXA_NODE_VECTOR_ACCESSORS(RotationPivotUpdateOffset)
OXA_NODE_VECTOR_ACCESSORS(ScalingOffset)
OXA_NODE_VECTOR_ACCESSORS(ScalingPivot)
OXA_NODE_VECTOR_ACCESSORS(ScalingPivotUpdateOffset)
OXA_NODE_SCALAR_ACCESSORS(TranslationActive, bool)
OXA_NODE_VECTOR_ACCESSORS(TranslationMin)
OXA_NODE_VECTOR_ACCESSORS(TranslationMax)
OXA_NODE_SCALAR_ACCESSORS(TranslationMinX, bool)
OXA_NODE_SCALAR_ACCESSORS(TranslationMinY, bool)
OXA_NODE_SCALAR_ACCESSORS(TranslationMinZ, bool)
OXA_NODE_SCALAR_ACCESSORS(TranslationMaxX, bool)
OXA_NODE_SCALAR_ACCESSORS(TranslationMaxY, bool)
OXA_NODE_SCALAR_ACCESSORS(TranslationMaxZ, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationOrder, ERotationOrder)
OXA_NODE_SCALAR_ACCESSORS(RotationSpaceForLimitOnly, bool)
OXA_NODE_SCALAR_ACCESSORS(AxisLen, double)
OXA_NODE_VECTOR_ACCESSORS(PreRotation)
OXA_NODE_VECTOR_ACCESSORS(PostRotation)
OXA_NODE_SCALAR_ACCESSORS(RotationActive, bool)
OXA_NODE_VECTOR_ACCESSORS(RotationMin)
OXA_NODE_VECTOR_ACCESSORS(RotationMax)
OXA_NODE_SCALAR_ACCESSORS(RotationStiffnessX, double)
OXA_NODE_SCALAR_ACCESSORS(RotationStiffnessY, double)
OXA_NODE_SCALAR_ACCESSORS(RotationStiffnessZ, double)
OXA_NODE_SCALAR_ACCESSORS(RotationMinX, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationMinY, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationMinZ, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationMaxX, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationMaxY, bool)
OXA_NODE_SCALAR_ACCESSORS(RotationMaxZ, bool)
OXA_NODE_SCALAR_ACCESSORS(InheritType, ETransformInheritType)
OXA_NODE_SCALAR_ACCESSORS(ScalingActive, bool)
OXA_NODE_VECTOR_ACCESSORS(ScalingMin)
OXA_NODE_VECTOR_ACCESSORS(ScalingMax)
OXA_NODE_SCALAR_ACCESSORS(ScalingMinX, bool)
OXA_NODE_SCALAR_ACCESSORS(ScalingMinY, bool)
OXA_NODE_SCALAR_ACCESSORS(ScalingMinZ, bool)
OXA_NODE_SCALAR_ACCESSORS(ScalingMaxX, bool)
OXA_NODE_SCALAR_ACCESSORS(ScalingMaxY, bool)
OXA_NODE_SCALAR_ACCESSORS(ScalingMaxZ, bool)
OXA_NODE_VECTOR_ACCESSORS(GeometricTranslation)
OXA_NODE_VECTOR_ACCESSORS(GeometricRotation)
OXA_NODE_VECTOR_ACCESSORS(GeometricScaling)
OXA_NODE_SCALAR_ACCESSORS(MinDampRangeX, double)
OXA_NODE_SCALAR_ACCESSORS(MinDampRangeY, double)
OXA_NODE_SCALAR_ACCESSORS(MinDampRangeZ, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampRangeX, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampRangeY, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampRangeZ, double)
OXA_NODE_SCALAR_ACCESSORS(MinDampStrengthX, double)
OXA_NODE_SCALAR_ACCESSORS(MinDampStrengthY, double)
OXA_NODE_SCALAR_ACCESSORS(MinDampStrengthZ, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampStrengthX, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampStrengthY, double)
OXA_NODE_SCALAR_ACCESSORS(MaxDampStrengthZ, double)
OXA_NODE_SCALAR_ACCESSORS(PreferedAngleX, double)
OXA_NODE_SCALAR_ACCESSORS(PreferedAngleY, double)
OXA_NODE_SCALAR_ACCESSORS(PreferedAngleZ, double)
OXA_NODE_SCALAR_ACCESSORS(Show, bool)
OXA_NODE_SCALAR_ACCESSORS(NegativePercentShapeSupport, bool)

#undef OXA_NODE_SCALAR_ACCESSORS
#undef OXA_NODE_VECTOR_ACCESSORS
