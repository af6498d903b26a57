#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_PARENT_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_PARENT_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/character/voxa_constraint.h>
#include <oxa/character/voxa_constraint_property.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaConstraintParentProperties;

// The parent-child constraint (type 4, "Parent-Child"): one child follows any number of
// parents, each with its own animatable weight and translation and rotation offsets, and nine
// switches say which of the child's transform channels it affects. It stores these settings
// only; nothing evaluates them.
//
// Per parent N (its name without type prefix) the block holds N.Weight ("Number"),
// N.Offset T and N.Offset R (both "Translation"). Setters find them under the parent's current
// name; getters also fall back to the name it had at creation. A missing property makes a
// setter do nothing and a getter answer its fallback (weight 100, offsets (0, 0, 0, 1)).
class OXA_API VOxaConstraintParent : public VOxaConstraint {
public:
    // Builds the block, the "Default" take with its channels and the user-property handles.
    VOxaConstraintParent(VOxaSdkManager* manager, const char* name);
    // Leaves the scene contents and destroys the block.
    ~VOxaConstraintParent() override;

    // "Parent-Child".
    VString GetTypeName() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    int GetConstraintType() const override { return eParent; }

    // Switches: setters store the value without notification, getters read the property.
    void SetActive(bool value);
    bool GetActive() const;
    void SetLock(bool value);
    bool GetLock() const;
    void SetAffectTranslationX(bool value);
    bool GetAffectTranslationX() const;
    void SetAffectTranslationY(bool value);
    bool GetAffectTranslationY() const;
    void SetAffectTranslationZ(bool value);
    bool GetAffectTranslationZ() const;
    void SetAffectRotationX(bool value);
    bool GetAffectRotationX() const;
    void SetAffectRotationY(bool value);
    bool GetAffectRotationY() const;
    void SetAffectRotationZ(bool value);
    bool GetAffectRotationZ() const;

    // Sets "Weight"; the "Weight" channel of the current and "Default" takes follows.
    void SetWeight(double weight);

    // Adds `object` as a parent: its block joins "Source (Parent)", N.Weight, N.Offset T and
    // N.Offset R are created with their channels in every take, every take's weight channel
    // holds `weight`, and both offsets are (0, 0, 0). Nothing for null or an object without
    // block. Adding an object again creates numbered duplicates of the three properties.
    void AddSource(VOxaObject* object, double weight);
    int GetSourceCount() const;
    // The parent at `index`; null out of range or for an entry that is not a property block.
    VOxaObject* GetSource(int index) const;
    // N.Weight of `object`; 100 for null or a missing property.
    double GetSourceWeight(const VOxaObject* object) const;

    // Set N.Offset T (respectively N.Offset R) to (x, y, z, 1); the channels of the current
    // and "Default" takes follow. Nothing for null or a missing property.
    void SetTranslationOffset(VOxaObject* object, VgeTVector offset);
    virtual void SetRotationOffset(VOxaObject* object, VgeTVector offset);
    // (x, y, z, 1) of N.Offset T (respectively N.Offset R); (0, 0, 0, 1) for null or a missing
    // property.
    VgeTVector GetTranslationOffset(const VOxaObject* object) const;
    VgeTVector GetRotationOffset(const VOxaObject* object) const;

    // The child (first entry of "Constrained object (Child)"), null when none. The child is
    // set through the list property itself.
    VOxaObject* GetConstrainedObject() const;

private:
    VgeTVector GetOffsetProperty(const VOxaObject* object, const char* suffix) const;
    void SetOffsetProperty(VOxaObject* object, const char* suffix, const VgeTVector& offset);

    VOxaConstraintParentProperties* mProperties = nullptr;
};

// The property block of a parent constraint: "Active", "Lock", the lists
// "Constrained object (Child)" (destination list, maximum 1) and "Source (Parent)" (source
// list, no maximum), the nine "Affect" switches, then the animatable "Weight" (100) and the
// per-parent properties.
class OXA_API VOxaConstraintParentProperties : public VOxaConstraintProperty {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintParentProperties(VOxaConstraintParent* owner);
    ~VOxaConstraintParentProperties() override;

    // The constraint.
    VOxaObject* GetOwner() const override;
    // Forwards to the constraint's take nodes.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    VOxaConstraintParent* GetConstraint() const { return mOwner; }

    // The class id registered under "VOxaConstraintParentProperties".
    static int GetClassId() { return ClassInfo.GetId(); }

    // Accessor pairs of the member properties: each setter stores and answers the value.
    bool SetAffectTranslationX(bool value);
    bool GetAffectTranslationX() const;
    bool SetAffectTranslationY(bool value);
    bool GetAffectTranslationY() const;
    bool SetAffectTranslationZ(bool value);
    bool GetAffectTranslationZ() const;
    bool SetAffectRotationX(bool value);
    bool GetAffectRotationX() const;
    bool SetAffectRotationY(bool value);
    bool GetAffectRotationY() const;
    bool SetAffectRotationZ(bool value);
    bool GetAffectRotationZ() const;
    bool SetAffectScalingX(bool value);
    bool GetAffectScalingX() const;
    bool SetAffectScalingY(bool value);
    bool GetAffectScalingY() const;
    bool SetAffectScalingZ(bool value);
    bool GetAffectScalingZ() const;
    bool SetActive(bool value);
    bool GetActive() const;
    bool SetLock(bool value);
    bool GetLock() const;

private:
    friend class VOxaConstraintParent;

    VPropertyObjectList mChild;
    VPropertyObjectList mParents;
    VPropertyTemplate<bool> mAffectTranslationX;
    VPropertyTemplate<bool> mAffectTranslationY;
    VPropertyTemplate<bool> mAffectTranslationZ;
    VPropertyTemplate<bool> mAffectRotationX;
    VPropertyTemplate<bool> mAffectRotationY;
    VPropertyTemplate<bool> mAffectRotationZ;
    VPropertyTemplate<bool> mAffectScalingX;
    VPropertyTemplate<bool> mAffectScalingY;
    VPropertyTemplate<bool> mAffectScalingZ;
    VPropertyTemplate<bool> mActive;
    VPropertyTemplate<bool> mLock;
    VOxaConstraintParent* mOwner;
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_PARENT_H
