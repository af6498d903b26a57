#ifndef OXA_SCENE_VOXA_NODE_PROPERTIES_H
#define OXA_SCENE_VOXA_NODE_PROPERTIES_H

#include <memory>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vge_vector.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaNode;

// Rotation order of a node: the order in which the Euler angles apply, or the spheric form.
enum ERotationOrder : int {
    eEULER_XYZ = 0,
    eEULER_XZY = 1,
    eEULER_YZX = 2,
    eEULER_YXZ = 3,
    eEULER_ZXY = 4,
    eEULER_ZYX = 5,
    eSPHERIC_XYZ = 6,
};

// How a parent's scaling reaches a child: 0 and 1 "RrSs", 2 "Rrs".
enum ETransformInheritType : int {
    eINHERIT_RrSs = 0,
    eINHERIT_RrSs_ALT = 1,  // also named "RrSs"
    eINHERIT_Rrs = 2,
};

// The names of the enumeration values ("Euler XYZ" ... "Spheric XYZ"; "RrSs", "RrSs", "Rrs");
// null for a value without a name.
OXA_API const char* GetRotationOrderName(int value);
OXA_API const char* GetTransformInheritTypeName(int value);

// One pivot set of a node. Set 0 (source) takes part in evaluation; set 1 (destination) is
// what a pivot conversion aims at. Only x, y, z of the vectors are meaningful.
struct OXA_API VOxaPivotSet {
    VgeTVector mRotationOffset{0, 0, 0, 1};
    VgeTVector mRotationPivot{0, 0, 0, 1};
    VgeTVector mRotationPivotUpdateOffset{0, 0, 0, 1};
    VgeTVector mPreRotation{0, 0, 0, 1};   // degrees
    VgeTVector mPostRotation{0, 0, 0, 1};  // degrees
    VgeTVector mScalingOffset{0, 0, 0, 1};
    VgeTVector mScalingPivot{0, 0, 0, 1};
    VgeTVector mScalingPivotUpdateOffset{0, 0, 0, 1};
    VgeTVector mGeometricTranslation{0, 0, 0, 1};
    VgeTVector mGeometricRotation{0, 0, 0, 1};
    VgeTVector mGeometricScaling{1, 1, 1, 1};
    int mRotationOrder = eEULER_XYZ;
    bool mRotationSpaceForLimitOnly = false;
    VgeAMatrix mPivotGlobalMatrix;
    bool mPivotMatrixValid = false;
    int mPivotState = 1;  // 0 enabled, 1 not enabled

    // Back to the defaults above; the pivot matrix itself is kept.
    void Reset();
};

// The limits of one kind as evaluation reads them: flag bit 0 the kind's active property, bits
// 1..3 minimum X, Y, Z enabled, bits 4..6 maximum X, Y, Z enabled.
struct OXA_API VOxaEvaluationLimit {
    int mFlags = 0;
    VgeTVector mMin{0, 0, 0, 0};
    VgeTVector mMax{0, 0, 0, 0};
};

// Pre- and post-rotation as evaluation reads them: flag bit 0 pre-rotation present, bit 1
// post-rotation present; the matrices are built from the degree triples in XYZ whatever the
// rotation order. The order code is 2 x the rotation order.
struct OXA_API VOxaRotationEvaluator {
    int mFlags = 0;
    VgeAMatrix mPreRotation;
    VgeAMatrix mPostRotation;
    int mOrderCode = 0;
};

// The mirror of pivot set 0, the inherit type and the limits that transform evaluation reads,
// kept in step by the node's setters. Pivot flag bits: 0 rotation offset, 1 rotation pivot,
// 2 scaling offset, 3 scaling pivot non-zero (cleared only when x, y and z are exactly 0).
struct OXA_API VOxaTransformSettings {
    int mPivotFlags = 0;
    int mInheritType = 0;
    double mRotationOffset[3] = {0, 0, 0};
    double mRotationPivot[3] = {0, 0, 0};
    double mScalingOffset[3] = {0, 0, 0};
    double mScalingPivot[3] = {0, 0, 0};
    bool mRotationSpaceForLimitOnly = false;
    VOxaRotationEvaluator mRotation;
    VOxaEvaluationLimit mRotationLimit;
    VOxaEvaluationLimit mTranslationLimit;
    VOxaEvaluationLimit mScalingLimit{0, VgeTVector(1, 1, 1, 0), VgeTVector(1, 1, 1, 0)};
};

// The property block of every node: its 69 named properties in one fixed order (the order in
// which they are listed, linked to take channels and written to files), the two pivot sets and
// the transform-settings mirror.
//
// The typed accessors store and answer the member values directly (no event, no take-channel
// update); a vector setter stores x, y, z only and a vector getter answers w = 1. They are also
// the getter and setter callbacks of the properties, so reads and writes through the property
// model reach the same values.
//
// Parenting is a connection: a child's block is a source of its parent's block. The block moves
// a newly connected child into its node's scene contents, takes a disconnected child out, and
// refuses (error 6 on the owner node) to connect two blocks already in the same scene contents.
class OXA_API VOxaNodeProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaNodeProperties(VOxaNode* owner);
    ~VOxaNodeProperties() override;

    VOxaNode* GetOwnerNode() const { return mOwnerNode; }
    VOxaObject* GetOwner() const override;
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // While the node's handles are still to be made, a change is passed on with a stand-in for
    // the handle that would be bound to `property` (made handles read everything from their
    // property), so that a reader setting the values of each node does not make them all.
    void OwnerPropertyChanged(VProperty* property) override;
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;
    int GetTypeCode() const override { return -1; }

    VPropertyObjectList* GetLookAtProperty() const { return mLookAtProperty; }
    VPropertyObjectList* GetUpVectorProperty() const { return mUpVectorProperty; }

    // Pivot set 0 or 1 (any other index is taken as 1). Set 1 is made with its defaults when
    // first asked for: most nodes never convert their pivots.
    VOxaPivotSet& GetPivotSet(int index) {
        if (index == 0) return mSourcePivots;
        if (!mDestinationPivots) mDestinationPivots.reset(new VOxaPivotSet);
        return *mDestinationPivots;
    }
    // Pivot set `index` when it was made (set 0 always is), else null.
    VOxaPivotSet* FindPivotSet(int index) { return index == 0 ? &mSourcePivots : mDestinationPivots.get(); }
    // Pivot set `index` back to its defaults (VOxaPivotSet::Reset); set 1 when it was never
    // made holds them already.
    void ResetPivotSet(int index) {
        if (index == 0) {
            mSourcePivots.Reset();
        } else if (mDestinationPivots) {
            mDestinationPivots->Reset();
        }
    }
    VOxaTransformSettings& GetTransformSettings() { return mTransformSettings; }

    // Member properties a new node sets through the property (with its events), so that it
    // need not look them up by name: "QuaternionInterpolate" and "RotationStiffnessX", "Y", "Z"
    // (axis 0, 1, 2; any other axis gives Z). The property is made when it was not yet.
    VProperty* GetQuaternionInterpolateProperty();
    VProperty* GetRotationStiffnessProperty(int axis);

    // Typed accessors, in member order.
    void SetQuaternionInterpolate(bool value);
    bool GetQuaternionInterpolate() const;
    void SetRotationOffset(const VgeTVector& value);
    VgeTVector GetRotationOffset() const;
    void SetRotationPivot(const VgeTVector& value);
    VgeTVector GetRotationPivot() const;
    void SetRotationPivotUpdateOffset(const VgeTVector& value);
    VgeTVector GetRotationPivotUpdateOffset() const;
    void SetScalingOffset(const VgeTVector& value);
    VgeTVector GetScalingOffset() const;
    void SetScalingPivot(const VgeTVector& value);
    VgeTVector GetScalingPivot() const;
    void SetScalingPivotUpdateOffset(const VgeTVector& value);
    VgeTVector GetScalingPivotUpdateOffset() const;
    void SetTranslationActive(bool value);
    bool GetTranslationActive() const;
    void SetTranslationMin(const VgeTVector& value);
    VgeTVector GetTranslationMin() const;
    void SetTranslationMax(const VgeTVector& value);
    VgeTVector GetTranslationMax() const;
    void SetTranslationMinX(bool value);
    bool GetTranslationMinX() const;
    void SetTranslationMinY(bool value);
    bool GetTranslationMinY() const;
    void SetTranslationMinZ(bool value);
    bool GetTranslationMinZ() const;
    void SetTranslationMaxX(bool value);
    bool GetTranslationMaxX() const;
    void SetTranslationMaxY(bool value);
    bool GetTranslationMaxY() const;
    void SetTranslationMaxZ(bool value);
    bool GetTranslationMaxZ() const;
    void SetRotationOrder(ERotationOrder value);
    ERotationOrder GetRotationOrder() const;
    void SetRotationSpaceForLimitOnly(bool value);
    bool GetRotationSpaceForLimitOnly() const;
    void SetAxisLen(double value);
    double GetAxisLen() const;
    void SetPreRotation(const VgeTVector& value);
    VgeTVector GetPreRotation() const;
    void SetPostRotation(const VgeTVector& value);
    VgeTVector GetPostRotation() const;
    void SetRotationActive(bool value);
    bool GetRotationActive() const;
    void SetRotationMin(const VgeTVector& value);
    VgeTVector GetRotationMin() const;
    void SetRotationMax(const VgeTVector& value);
    VgeTVector GetRotationMax() const;
    void SetRotationStiffnessX(double value);
    double GetRotationStiffnessX() const;
    void SetRotationStiffnessY(double value);
    double GetRotationStiffnessY() const;
    void SetRotationStiffnessZ(double value);
    double GetRotationStiffnessZ() const;
    void SetRotationMinX(bool value);
    bool GetRotationMinX() const;
    void SetRotationMinY(bool value);
    bool GetRotationMinY() const;
    void SetRotationMinZ(bool value);
    bool GetRotationMinZ() const;
    void SetRotationMaxX(bool value);
    bool GetRotationMaxX() const;
    void SetRotationMaxY(bool value);
    bool GetRotationMaxY() const;
    void SetRotationMaxZ(bool value);
    bool GetRotationMaxZ() const;
    void SetInheritType(ETransformInheritType value);
    ETransformInheritType GetInheritType() const;
    void SetScalingActive(bool value);
    bool GetScalingActive() const;
    void SetScalingMin(const VgeTVector& value);
    VgeTVector GetScalingMin() const;
    void SetScalingMax(const VgeTVector& value);
    VgeTVector GetScalingMax() const;
    void SetScalingMinX(bool value);
    bool GetScalingMinX() const;
    void SetScalingMinY(bool value);
    bool GetScalingMinY() const;
    void SetScalingMinZ(bool value);
    bool GetScalingMinZ() const;
    void SetScalingMaxX(bool value);
    bool GetScalingMaxX() const;
    void SetScalingMaxY(bool value);
    bool GetScalingMaxY() const;
    void SetScalingMaxZ(bool value);
    bool GetScalingMaxZ() const;
    void SetGeometricTranslation(const VgeTVector& value);
    VgeTVector GetGeometricTranslation() const;
    void SetGeometricRotation(const VgeTVector& value);
    VgeTVector GetGeometricRotation() const;
    void SetGeometricScaling(const VgeTVector& value);
    VgeTVector GetGeometricScaling() const;
    void SetMinDampRangeX(double value);
    double GetMinDampRangeX() const;
    void SetMinDampRangeY(double value);
    double GetMinDampRangeY() const;
    void SetMinDampRangeZ(double value);
    double GetMinDampRangeZ() const;
    void SetMaxDampRangeX(double value);
    double GetMaxDampRangeX() const;
    void SetMaxDampRangeY(double value);
    double GetMaxDampRangeY() const;
    void SetMaxDampRangeZ(double value);
    double GetMaxDampRangeZ() const;
    void SetMinDampStrengthX(double value);
    double GetMinDampStrengthX() const;
    void SetMinDampStrengthY(double value);
    double GetMinDampStrengthY() const;
    void SetMinDampStrengthZ(double value);
    double GetMinDampStrengthZ() const;
    void SetMaxDampStrengthX(double value);
    double GetMaxDampStrengthX() const;
    void SetMaxDampStrengthY(double value);
    double GetMaxDampStrengthY() const;
    void SetMaxDampStrengthZ(double value);
    double GetMaxDampStrengthZ() const;
    void SetPreferedAngleX(double value);
    double GetPreferedAngleX() const;
    void SetPreferedAngleY(double value);
    double GetPreferedAngleY() const;
    void SetPreferedAngleZ(double value);
    double GetPreferedAngleZ() const;
    void SetShow(bool value);
    bool GetShow() const;
    void SetNegativePercentShapeSupport(bool value);
    bool GetNegativePercentShapeSupport() const;

private:
    // x, y, z of a vector property (w reads 1).
    struct Vector3 {
        double mX = 0.0, mY = 0.0, mZ = 0.0;
    };

    // The values of the member properties. The properties themselves are made when first asked
    // for (AddDeferredProperty); their accessors are the typed ones below, so both reach these.
    bool mQuaternionInterpolate = false;
    bool mTranslationActive = false;
    bool mTranslationMinX = false;
    bool mTranslationMinY = false;
    bool mTranslationMinZ = false;
    bool mTranslationMaxX = false;
    bool mTranslationMaxY = false;
    bool mTranslationMaxZ = false;
    bool mRotationSpaceForLimitOnly = false;
    bool mRotationActive = false;
    bool mRotationMinX = false;
    bool mRotationMinY = false;
    bool mRotationMinZ = false;
    bool mRotationMaxX = false;
    bool mRotationMaxY = false;
    bool mRotationMaxZ = false;
    bool mScalingActive = false;
    bool mScalingMinX = false;
    bool mScalingMinY = false;
    bool mScalingMinZ = false;
    bool mScalingMaxX = false;
    bool mScalingMaxY = false;
    bool mScalingMaxZ = false;
    bool mShow = true;
    bool mNegativePercentShapeSupport = true;
    ERotationOrder mRotationOrder = eEULER_XYZ;
    ETransformInheritType mInheritType = eINHERIT_RrSs;
    double mAxisLen = 0.0;
    double mRotationStiffnessX = 0.0;
    double mRotationStiffnessY = 0.0;
    double mRotationStiffnessZ = 0.0;
    double mMinDampRangeX = 0.0;
    double mMinDampRangeY = 0.0;
    double mMinDampRangeZ = 0.0;
    double mMaxDampRangeX = 0.0;
    double mMaxDampRangeY = 0.0;
    double mMaxDampRangeZ = 0.0;
    double mMinDampStrengthX = 0.0;
    double mMinDampStrengthY = 0.0;
    double mMinDampStrengthZ = 0.0;
    double mMaxDampStrengthX = 0.0;
    double mMaxDampStrengthY = 0.0;
    double mMaxDampStrengthZ = 0.0;
    double mPreferedAngleX = 0.0;
    double mPreferedAngleY = 0.0;
    double mPreferedAngleZ = 0.0;
    Vector3 mRotationOffset;
    Vector3 mRotationPivot;
    Vector3 mRotationPivotUpdateOffset;
    Vector3 mScalingOffset;
    Vector3 mScalingPivot;
    Vector3 mScalingPivotUpdateOffset;
    Vector3 mTranslationMin;
    Vector3 mTranslationMax;
    Vector3 mPreRotation;
    Vector3 mPostRotation;
    Vector3 mRotationMin;
    Vector3 mRotationMax;
    Vector3 mScalingMin;
    Vector3 mScalingMax;
    Vector3 mGeometricTranslation;
    Vector3 mGeometricRotation;
    Vector3 mGeometricScaling;
    VPropertyObjectList* mLookAtProperty = nullptr;
    VPropertyObjectList* mUpVectorProperty = nullptr;
    VOxaPivotSet mSourcePivots;
    std::unique_ptr<VOxaPivotSet> mDestinationPivots;
    VOxaNode* mOwnerNode;
    VOxaTransformSettings mTransformSettings;
};

#endif  // OXA_SCENE_VOXA_NODE_PROPERTIES_H
