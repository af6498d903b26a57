#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_SINGLE_CHAIN_IK_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_SINGLE_CHAIN_IK_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/character/voxa_constraint.h>
#include <oxa/character/voxa_constraint_property.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaConstraintSingleChainIKProperties;

// The single-chain IK constraint (type 5, "Single Chain IK"): a joint chain from a first to an
// end joint whose end reaches an effector, with a solver choice, a pole vector given as a
// vector or by weighted pole objects, and a twist. The settings are stored and exchanged only;
// nothing solves the chain.
//
// Per pole object N (its name without type prefix) the block holds N.Weight. Getters of
// missing properties answer fallbacks (weight 100, twist 0, pole vector (0, 0, 0, 1)); setters
// of missing properties do nothing.
class OXA_API VOxaConstraintSingleChainIK : public VOxaConstraint {
public:
    // Solver of the chain: 0 "ikRPSolver", 1 "ikSCSolver".
    enum ESolverType : int { eRotatePlane = 0, eSingleChain = 1 };
    // How the pole vector is given: 0 "Vector", 1 "Object".
    enum EPoleVectorType : int { ePoleVectorTypeVector = 0, ePoleVectorTypeObject = 1 };
    // When the translation and scaling animation is evaluated: 0 "Never", 1 "Auto", 2 "Always".
    enum EEvalTS : int { eNever = 0, eAutoDetect = 1, eAlways = 2 };

    // Builds the block, the "Default" take with its channels and the user-property handles.
    VOxaConstraintSingleChainIK(VOxaSdkManager* manager, const char* name);
    // Leaves the scene contents and destroys the block.
    ~VOxaConstraintSingleChainIK() override;

    // "Single Chain IK".
    VString GetTypeName() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    int GetConstraintType() const override { return eSingleChainIK; }

    // Switches and enumerations: setters store the value without notification and without a
    // range check; getters read the property.
    void SetActive(bool value);
    bool GetActive() const;
    void SetLock(bool value);
    bool GetLock() const;
    void SetSolverType(ESolverType value);
    ESolverType GetSolverType() const;
    void SetPoleVectorType(EPoleVectorType value);
    EPoleVectorType GetPoleVectorType() const;
    void SetEvaluateTSAnim(EEvalTS value);
    EEvalTS GetEvaluateTSAnim() const;

    // "Weight", "Twist" and "PoleVector" (set to (x, y, z, 1)): the channels of the current and
    // "Default" takes follow.
    void SetWeight(double weight);
    double GetWeight() const;  // 100 when missing
    void SetTwist(double twist);
    double GetTwist() const;  // 0 when missing
    void SetPoleVector(VgeTVector pole);
    VgeTVector GetPoleVector() const;  // (x, y, z, 1); (0, 0, 0, 1) when missing

    // The joints and the effector: the setter puts the object's block at position 0 of its list
    // (nothing for null or an object without block); the getter answers the first entry's
    // object or null.
    void SetFirstJoint(VOxaObject* object);
    VOxaObject* GetFirstJoint() const;
    void SetEndJoint(VOxaObject* object);
    VOxaObject* GetEndJoint() const;
    void SetEffector(VOxaObject* object);
    VOxaObject* GetEffector() const;

    // Adds a pole object with its animatable N.Weight, which every take's channel holds.
    // Nothing for null or an object without block.
    void AddPoleVectorObject(VOxaObject* object, double weight);
    int GetPoleVectorObjectCount() const;
    // Null out of range or for an entry that is not a property block.
    VOxaObject* GetPoleVectorObject(int index) const;
    // N.Weight of `object`; 100 for null or a missing property.
    double GetPoleVectorObjectWeight(const VOxaObject* object) const;

private:
    VOxaConstraintSingleChainIKProperties* mProperties = nullptr;
};

// The names of the enumeration values; null for a value without a name.
OXA_API const char* GetSolverTypeName(int value);
OXA_API const char* GetPoleVectorTypeName(int value);
OXA_API const char* GetEvaluateTSAnimName(int value);

// The property block of a single-chain IK constraint: "Active", "Lock", the lists
// "First Joint", "End Joint" (destination lists, maximum 1), "Effector" (source list,
// maximum 1), "Pole Vector Object" (source list, no maximum), the enumerations "SolverType"
// (1), "PoleVectorType" (0), "EvaluateTSAnim" (0), then the animatable "PoleVector",
// "Twist", "Weight" and the per-pole-object weights.
class OXA_API VOxaConstraintSingleChainIKProperties : public VOxaConstraintProperty {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintSingleChainIKProperties(VOxaConstraintSingleChainIK* owner);
    ~VOxaConstraintSingleChainIKProperties() override;

    // The constraint.
    VOxaObject* GetOwner() const override;
    // Forwards to the constraint's take nodes.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    VOxaConstraintSingleChainIK* GetConstraint() const { return mOwner; }

    // The class id registered under "VOxaConstraintSingleChainIKProperties".
    static int GetClassId() { return ClassInfo.GetId(); }

    // Accessor pairs of the member properties: each setter stores and answers the value.
    VOxaConstraintSingleChainIK::ESolverType SetSolverType(VOxaConstraintSingleChainIK::ESolverType value);
    VOxaConstraintSingleChainIK::ESolverType GetSolverType() const;
    VOxaConstraintSingleChainIK::EPoleVectorType SetPoleVectorType(
        VOxaConstraintSingleChainIK::EPoleVectorType value);
    VOxaConstraintSingleChainIK::EPoleVectorType GetPoleVectorType() const;
    VOxaConstraintSingleChainIK::EEvalTS SetEvaluateTSAnim(VOxaConstraintSingleChainIK::EEvalTS value);
    VOxaConstraintSingleChainIK::EEvalTS GetEvaluateTSAnim() const;
    bool SetActive(bool value);
    bool GetActive() const;
    bool SetLock(bool value);
    bool GetLock() const;

private:
    friend class VOxaConstraintSingleChainIK;

    VPropertyObjectList mFirstJoint;
    VPropertyObjectList mEndJoint;
    VPropertyObjectList mEffector;
    VPropertyObjectList mPoleVectorObject;
    VPropertyTemplate<VOxaConstraintSingleChainIK::ESolverType> mSolverType;
    VPropertyTemplate<VOxaConstraintSingleChainIK::EPoleVectorType> mPoleVectorType;
    VPropertyTemplate<VOxaConstraintSingleChainIK::EEvalTS> mEvaluateTSAnim;
    VPropertyTemplate<bool> mActive;
    VPropertyTemplate<bool> mLock;
    VOxaConstraintSingleChainIK* mOwner;
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_SINGLE_CHAIN_IK_H
