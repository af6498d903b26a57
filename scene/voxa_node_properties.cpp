#include "scene/voxa_node_properties.h"

#include <new>
#include <type_traits>
#include <utility>

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

// The member properties of the block in list order (the order of take channels and files),
// split where the two target lists come: X(Name, state flags, enumeration names).
#define OXA_NODE_PROPERTIES_BEFORE_TARGETS(X)                  \
    X(QuaternionInterpolate, 0, nullptr)                       \
    X(RotationOffset, 0, nullptr)                              \
    X(RotationPivot, 0, nullptr)                               \
    X(RotationPivotUpdateOffset, kPropertyNotSaved, nullptr)   \
    X(ScalingOffset, 0, nullptr)                               \
    X(ScalingPivot, 0, nullptr)                                \
    X(ScalingPivotUpdateOffset, kPropertyNotSaved, nullptr)    \
    X(TranslationActive, 0, nullptr)                           \
    X(TranslationMin, 0, nullptr)                              \
    X(TranslationMax, 0, nullptr)                              \
    X(TranslationMinX, 0, nullptr)                             \
    X(TranslationMinY, 0, nullptr)                             \
    X(TranslationMinZ, 0, nullptr)                             \
    X(TranslationMaxX, 0, nullptr)                             \
    X(TranslationMaxY, 0, nullptr)                             \
    X(TranslationMaxZ, 0, nullptr)                             \
    X(RotationOrder, 0, &GetRotationOrderName)                 \
    X(RotationSpaceForLimitOnly, 0, nullptr)                   \
    /* The stiffness values come before "AxisLen" in files. */ \
    X(RotationStiffnessX, 0, nullptr)                          \
    X(RotationStiffnessY, 0, nullptr)                          \
    X(RotationStiffnessZ, 0, nullptr)                          \
    X(AxisLen, 0, nullptr)                                     \
    X(PreRotation, 0, nullptr)                                 \
    X(PostRotation, 0, nullptr)                                \
    X(RotationActive, 0, nullptr)                              \
    X(RotationMin, 0, nullptr)                                 \
    X(RotationMax, 0, nullptr)                                 \
    X(RotationMinX, 0, nullptr)                                \
    X(RotationMinY, 0, nullptr)                                \
    X(RotationMinZ, 0, nullptr)                                \
    X(RotationMaxX, 0, nullptr)                                \
    X(RotationMaxY, 0, nullptr)                                \
    X(RotationMaxZ, 0, nullptr)                                \
    X(InheritType, 0, &GetTransformInheritTypeName)            \
    X(ScalingActive, 0, nullptr)                               \
    X(ScalingMin, 0, nullptr)                                  \
    X(ScalingMax, 0, nullptr)                                  \
    X(ScalingMinX, 0, nullptr)                                 \
    X(ScalingMinY, 0, nullptr)                                 \
    X(ScalingMinZ, 0, nullptr)                                 \
    X(ScalingMaxX, 0, nullptr)                                 \
    X(ScalingMaxY, 0, nullptr)                                 \
    X(ScalingMaxZ, 0, nullptr)                                 \
    X(GeometricTranslation, 0, nullptr)                        \
    X(GeometricRotation, 0, nullptr)                           \
    X(GeometricScaling, 0, nullptr)                            \
    X(MinDampRangeX, 0, nullptr)                               \
    X(MinDampRangeY, 0, nullptr)                               \
    X(MinDampRangeZ, 0, nullptr)                               \
    X(MaxDampRangeX, 0, nullptr)                               \
    X(MaxDampRangeY, 0, nullptr)                               \
    X(MaxDampRangeZ, 0, nullptr)                               \
    X(MinDampStrengthX, 0, nullptr)                            \
    X(MinDampStrengthY, 0, nullptr)                            \
    X(MinDampStrengthZ, 0, nullptr)                            \
    X(MaxDampStrengthX, 0, nullptr)                            \
    X(MaxDampStrengthY, 0, nullptr)                            \
    X(MaxDampStrengthZ, 0, nullptr)                            \
    X(PreferedAngleX, 0, nullptr)                              \
    X(PreferedAngleY, 0, nullptr)                              \
    X(PreferedAngleZ, 0, nullptr)
#define OXA_NODE_PROPERTIES_AFTER_TARGETS(X) \
    X(Show, 0, nullptr)                      \
    X(NegativePercentShapeSupport, 0, nullptr)

// The value type a member property has: that of its typed getter.
template <auto Getter>
struct NodeValue {
    using Type = std::decay_t<decltype((std::declval<const VOxaNodeProperties&>().*Getter)())>;
};

// The shared description of a member property: literal name, value type, accessors and, for
// an enumeration, its value names.
template <auto Getter, auto Setter>
VPropertyInfo MakeNodeInfo(const char* name, VEnumNameCallback enumNames) {
    using T = typename NodeValue<Getter>::Type;
    VPropertyInfo info = VPropertyTemplate<T>::template MakeMemberInfo<Getter, Setter>(VLiteralName{name});
    if (enumNames) info.SetEnumNameCallback(enumNames);
    return info;
}

// One description and one declaration for each member property, shared by every block.
struct NodeDeclarations {
#define OXA_NODE_DECLARATION(Name, State, EnumNames)                                                    \
    VPropertyInfo Name##Info =                                                                          \
        MakeNodeInfo<&VOxaNodeProperties::Get##Name, &VOxaNodeProperties::Set##Name>(#Name, EnumNames); \
    VDeferredProperty Name{                                                                             \
        &Name##Info,                                                                                    \
        &MakeDeferredPropertyTemplate<typename NodeValue<&VOxaNodeProperties::Get##Name>::Type>, State};
    OXA_NODE_PROPERTIES_BEFORE_TARGETS(OXA_NODE_DECLARATION)
    OXA_NODE_PROPERTIES_AFTER_TARGETS(OXA_NODE_DECLARATION)
#undef OXA_NODE_DECLARATION
};

// The member properties, the two target lists and the four animated ones.
#define OXA_NODE_COUNT(Name, State, EnumNames) +1
constexpr int kNodePropertyCount = 0 OXA_NODE_PROPERTIES_BEFORE_TARGETS(OXA_NODE_COUNT)
                                       OXA_NODE_PROPERTIES_AFTER_TARGETS(OXA_NODE_COUNT) +
                                   6;
#undef OXA_NODE_COUNT

const NodeDeclarations& Declarations() {
    static const NodeDeclarations declarations;
    return declarations;
}

// The descriptions of the animated properties: named by their data type, of its value type,
// animatable. A name without data type has no property.
struct AnimatedDescriptions {
    VPropertyInfo mInfo[4];
    bool mHas[4] = {false, false, false, false};
    AnimatedDescriptions() {
        static const char* const kNames[4] = {"Lcl Translation", "Lcl Rotation", "Lcl Scaling", "Visibility"};
        for (int i = 0; i < 4; ++i) {
            const VDataType* dataType = VDataType::Find(kNames[i]);
            if (!dataType) continue;
            mInfo[i] = VPropertyInfo(VLiteralName{kNames[i]}, dataType->GetValueType());
            mInfo[i].SetDataType(dataType);
            mInfo[i].SetFlag(kPropertyAnimatable, true);
            mHas[i] = true;
        }
    }
};

const AnimatedDescriptions& Animated() {
    static const AnimatedDescriptions descriptions;
    return descriptions;
}

// The descriptions of the look-at and up-vector lists as CreatePropertyObjectList makes them,
// which every block shares instead of a copy of its own (a list copies the description only when
// something in it changes).
struct TargetDescriptions {
    VPropertyInfo mLookAt = Made("LookAtProperty");
    VPropertyInfo mUpVector = Made("UpVectorProperty");

    static VPropertyInfo Made(const char* name) {
        VPropertyObjectList probe;
        probe.Declare(VLiteralName{name}, nullptr);
        probe.GetInfo().SetFlag(kPropertyInfo1 | kPropertyInfo4 | kPropertyInfo8, true);
        return VPropertyInfo(static_cast<const VPropertyObjectList&>(probe).GetInfo());
    }
};

const TargetDescriptions& Targets() {
    static const TargetDescriptions descriptions;
    return descriptions;
}

}  // namespace

VOxaNodeProperties::VOxaNodeProperties(VOxaNode* owner) : mOwnerNode(owner) {
    // Every value starts at 0, false or (0, 0, 0) but "Show" and "NegativePercentShapeSupport"
    // (true); the node's initialisation sets its defaults.
    const NodeDeclarations& d = Declarations();
    ReserveProperties(kNodePropertyCount);
#define OXA_NODE_LIST(Name, State, EnumNames) AddDeferredProperty(&d.Name);
    OXA_NODE_PROPERTIES_BEFORE_TARGETS(OXA_NODE_LIST)

    // Look-at and up-vector targets: the source connections from other node blocks.
    const int classId = VOxaNodeProperties::ClassId;
    mLookAtProperty =
        CreatePropertyObjectList(this, "LookAtProperty", kPlugFilteredChild, classId, -1, kPlugAcceptsSrc, 0);
    mUpVectorProperty = CreatePropertyObjectList(this, "UpVectorProperty", kPlugFilteredChild, classId, -1,
                                                 kPlugAcceptsSrc, 0);
    const TargetDescriptions& targets = Targets();
    for (VPropertyObjectList* list : {mLookAtProperty, mUpVectorProperty}) {
        if (!list) continue;
        // The shared description in place of the list's own copy.
        list->Declare(list == mLookAtProperty ? &targets.mLookAt : &targets.mUpVector, this);
        list->SetObjectFilter(1, classId);
        list->SetStateFlag(kPropertyState1, true);
    }

    OXA_NODE_PROPERTIES_AFTER_TARGETS(OXA_NODE_LIST)
#undef OXA_NODE_LIST

    // The animated local transform and visibility live in the property list only; every block
    // shares their descriptions (the member properties bear none of these names).
    const AnimatedDescriptions& animated = Animated();
    for (int i = 0; i < 4; ++i) {
        VProperty* property = animated.mHas[i] ? CreateSharedProperty(&animated.mInfo[i]) : nullptr;
        if (!property) continue;
        property->SetStateFlag(kPropertyAnimated, true);
        if (i == 2) {
            const double one[4] = {1.0, 1.0, 1.0, 1.0};
            property->SetValue(one);
        } else if (i == 3) {
            property->SetDouble(1.0);
        }
    }
}

VProperty* VOxaNodeProperties::GetQuaternionInterpolateProperty() {
    return GetDeclaredProperty(&Declarations().QuaternionInterpolate);
}

VProperty* VOxaNodeProperties::GetRotationStiffnessProperty(int axis) {
    const NodeDeclarations& d = Declarations();
    return GetDeclaredProperty(axis == 0   ? &d.RotationStiffnessX
                               : axis == 1 ? &d.RotationStiffnessY
                                           : &d.RotationStiffnessZ);
}

VOxaNodeProperties::~VOxaNodeProperties() = default;

VOxaObject* VOxaNodeProperties::GetOwner() const {
    return mOwnerNode;
}

void VOxaNodeProperties::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (!mOwnerNode) return;
    mOwnerNode->TrackDeferredDefaults(userProperty);
    mOwnerNode->VOxaTakeNodeContainer::PropertyValueChanged(userProperty);
}

void VOxaNodeProperties::OwnerPropertyChanged(VProperty* property) {
    if (!mOwnerNode || !mOwnerNode->HasPendingUserProperties()) {
        VOxaPropertyHandler::OwnerPropertyChanged(property);
        return;
    }
    // Every property the block listed when the node left its handles to be made gets one, and a
    // property joining the block makes them first: `property` would have its own.
    VOxaUserProperty standIn(mOwnerNode->GetSdkManager(), property);
    standIn.SetChangeListener(this);
    PropertyValueChanged(&standIn);
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
            // A subtree that cannot join this node's scene for want of memory is in none: the
            // connection is undone (VPlug::ConnectSrc). Leaving needs no memory.
            case ePlugConnectedSrc:
                if (otherNode && !otherNode->SetSceneContents(mOwnerNode->GetSceneContents(), false))
                    throw std::bad_alloc();
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

// Accessors: the member values, without events; each write moves the block's value stamp.
// Vectors keep x, y, z; w reads 1.
#define OXA_NODE_SCALAR_ACCESSORS(Name, Type)        \
    void VOxaNodeProperties::Set##Name(Type value) { \
        m##Name = value;                             \
        NoteValueWritten();                          \
    }                                                \
    Type VOxaNodeProperties::Get##Name() const {     \
        return m##Name;                              \
    }
#define OXA_NODE_VECTOR_ACCESSORS(Name)                             \
    void VOxaNodeProperties::Set##Name(const VgeTVector& value) {   \
        m##Name.mX = value[0];                                      \
        m##Name.mY = value[1];                                      \
        m##Name.mZ = value[2];                                      \
        NoteValueWritten();                                         \
    }                                                               \
    VgeTVector VOxaNodeProperties::Get##Name() const {              \
        return VgeTVector(m##Name.mX, m##Name.mY, m##Name.mZ, 1.0); \
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
