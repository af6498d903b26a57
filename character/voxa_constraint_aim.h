#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_AIM_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_AIM_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/character/voxa_constraint.h>
#include <oxa/character/voxa_constraint_property.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaConstraintAimProperties;

// The aim constraint (type 6, "Aim"): one constrained object turns towards weighted aim-at
// objects, with an aim vector, an up vector, a world-up reference (scene, object, object
// rotation, vector or none), three axis switches and a rotation offset. It stores these settings
// only; nothing computes the resulting orientation.
//
// Per aim-at object N (its name without type prefix) the block holds N.Weight. Getters of
// missing properties answer fallbacks; setters of missing properties do nothing.
class OXA_API VOxaConstraintAim : public VOxaConstraint {
public:
    // The world-up reference: 0 "Scene Up", 1 "Object Up", 2 "Object Rotation Up", 3 "Vector",
    // 4 "None".
    enum EAimConstraintWoldUpType : int {
        eAimAtSceneUp = 0,
        eAimAtObjectUp = 1,
        eAimAtObjectRotationUp = 2,
        eAimAtVector = 3,
        eAimAtNone = 4
    };

    // Builds the block, the "Default" take with its channels and the user-property handles.
    VOxaConstraintAim(VOxaSdkManager* manager, const char* name);
    // Leaves the scene contents and destroys the block.
    ~VOxaConstraintAim() override;

    // "Aim".
    VString GetTypeName() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    int GetConstraintType() const override { return eAim; }
    // Sets "RotationOffset" to (x, y, z, 1); the channels of the current and "Default" takes
    // follow.
    void SetOffset(VgeTVector offset) override;
    // (x, y, z, 1) of "RotationOffset"; (0, 0, 0, 1) when missing.
    VgeTVector GetOffset() const;

    // Switches and the world-up type: setters store the value without notification and without
    // a range check; getters read the property.
    void SetActive(bool value);
    bool GetActive() const;
    void SetLock(bool value);
    bool GetLock() const;
    void SetAffectX(bool value);
    bool GetAffectX() const;
    void SetAffectY(bool value);
    bool GetAffectY() const;
    void SetAffectZ(bool value);
    bool GetAffectZ() const;
    void SetWorldUpType(EAimConstraintWoldUpType value);
    EAimConstraintWoldUpType GetWorldUpType() const;

    // Sets "Weight"; the "Weight" channel of the current and "Default" takes follows.
    void SetWeight(double weight);

    // The vectors are stored without notification: their channels keep their defaults.
    // SetWorldUpVector stores all four components, the other two (x, y, z, 1).
    void SetWorldUpVector(VgeTVector vector);
    void SetUpVector(VgeTVector vector);
    void SetAimVector(VgeTVector vector);
    // (x, y, z, 1) of the stored value; when missing (0, 1, 0, 1) for the up vectors and
    // (1, 0, 0, 1) for the aim vector.
    VgeTVector GetWorldUpVector() const;
    VgeTVector GetUpVector() const;
    VgeTVector GetAimVector() const;

    // Adds an aim-at object with its animatable N.Weight, which every take's channel holds.
    // Nothing for null or an object without block.
    void AddAimAtObject(VOxaObject* object, double weight);
    int GetAimAtObjectCount() const;
    // Null out of range or for an entry that is not a property block.
    VOxaObject* GetAimAtObject(int index) const;
    // N.Weight of `object`; 100 for null or a missing property.
    double GetAimAtObjectWeight(const VOxaObject* object) const;

    // The constrained object (set through the list property itself), null when none.
    VOxaObject* GetConstrainedObject() const;
    // Puts the object's block at position 0 of "World Up Object" (nothing for null or an
    // object without block); the getter answers the first entry's object or null.
    void SetWorldUpObject(VOxaObject* object);
    VOxaObject* GetWorldUpObject() const;

private:
    // Stores `value` in the vector property `name` without events.
    void StoreVector(const char* name, const VgeTVector& value);

    VOxaConstraintAimProperties* mProperties = nullptr;
};

// The name of a world-up type; null outside 0 to 4.
OXA_API const char* GetAimWorldUpTypeName(int value);

// The property block of an aim constraint: "Active", "Lock", the lists "Constrained Object"
// (destination list, maximum 1), "Aim At Object" (source list, no maximum), "World Up Object"
// (source list, maximum 1), "WorldUpType", "AffectX", "AffectY", "AffectZ", then the animatable
// "WorldUpVector" and "UpVector" (0, 1, 0), "AimVector" (1, 0, 0), "RotationOffset" (0, 0, 0),
// "Weight" (100) and the per-object weights.
class OXA_API VOxaConstraintAimProperties : public VOxaConstraintProperty {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintAimProperties(VOxaConstraintAim* owner);
    ~VOxaConstraintAimProperties() override;

    // The constraint.
    VOxaObject* GetOwner() const override;
    // Forwards to the constraint's take nodes.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    VOxaConstraintAim* GetConstraint() const { return mOwner; }

    // The class id registered under "VOxaConstraintAimProperties".
    static int GetClassId() { return ClassInfo.GetId(); }

    // Accessor pairs of the member properties: each setter stores and answers the value.
    VOxaConstraintAim::EAimConstraintWoldUpType SetWorldUpType(
        VOxaConstraintAim::EAimConstraintWoldUpType value);
    VOxaConstraintAim::EAimConstraintWoldUpType GetWorldUpType() const;
    bool SetActive(bool value);
    bool GetActive() const;
    bool SetLock(bool value);
    bool GetLock() const;
    bool SetAffectX(bool value);
    bool GetAffectX() const;
    bool SetAffectY(bool value);
    bool GetAffectY() const;
    bool SetAffectZ(bool value);
    bool GetAffectZ() const;

private:
    friend class VOxaConstraintAim;

    VPropertyObjectList mConstrainedObject;
    VPropertyObjectList mAimAtObjects;
    VPropertyObjectList mWorldUpObject;
    VPropertyTemplate<VOxaConstraintAim::EAimConstraintWoldUpType> mWorldUpType;
    VPropertyTemplate<bool> mActive;
    VPropertyTemplate<bool> mLock;
    VPropertyTemplate<bool> mAffectX;
    VPropertyTemplate<bool> mAffectY;
    VPropertyTemplate<bool> mAffectZ;
    VOxaConstraintAim* mOwner;
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_AIM_H
