#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_POSITION_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_POSITION_H

#include <oxa/base/oxa_export.h>
#include <oxa/character/voxa_constraint.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>

class VOxaConstraintOffsetFamily;

// The property block shared by the position, rotation and scale constraints: "Active",
// "Lock", the lists "Constrained Object" (destinations, declared maximum 1) and "Source"
// (sources, no limit), "AffectX/Y/Z", the animatable offset vector (its name given by the
// constraint), the animatable "Weight" (100) and one animatable "<source>.Weight" per added
// source. Each concrete block registers its own class.
class OXA_API VOxaConstraintOffsetProperties : public VOxaConstraintProperty {
public:
    VOxaConstraintOffsetProperties(VOxaConstraintOffsetFamily* owner, const char* offsetName);
    ~VOxaConstraintOffsetProperties() override;

    // The owning constraint.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's take-node PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    VOxaConstraintOffsetFamily* GetConstraint() const { return mOwner; }

    // Stored bool values, without notification.
    virtual void SetAffectX(bool value) { mAffectX.SetStoredValue(value); }
    virtual bool GetAffectX() const { return mAffectX.GetStoredValue(); }
    virtual void SetAffectY(bool value) { mAffectY.SetStoredValue(value); }
    virtual bool GetAffectY() const { return mAffectY.GetStoredValue(); }
    virtual void SetAffectZ(bool value) { mAffectZ.SetStoredValue(value); }
    virtual bool GetAffectZ() const { return mAffectZ.GetStoredValue(); }
    virtual void SetActive(bool value) { mActive.SetStoredValue(value); }
    virtual bool GetActive() const { return mActive.GetStoredValue(); }
    virtual void SetLock(bool value) { mLock.SetStoredValue(value); }
    virtual bool GetLock() const { return mLock.GetStoredValue(); }

    VPropertyObjectList& GetConstrainedObjectList() { return mConstrainedObject; }
    VPropertyObjectList& GetSourceList() { return mSource; }
    VPropertyTemplate<bool>& GetActiveProperty() { return mActive; }
    VPropertyTemplate<bool>& GetLockProperty() { return mLock; }
    VPropertyTemplate<bool>& GetAffectXProperty() { return mAffectX; }
    VPropertyTemplate<bool>& GetAffectYProperty() { return mAffectY; }
    VPropertyTemplate<bool>& GetAffectZProperty() { return mAffectZ; }

private:
    VPropertyObjectList mConstrainedObject;
    VPropertyObjectList mSource;
    VPropertyTemplate<bool> mAffectX;
    VPropertyTemplate<bool> mAffectY;
    VPropertyTemplate<bool> mAffectZ;
    VPropertyTemplate<bool> mActive;
    VPropertyTemplate<bool> mLock;
    VOxaConstraintOffsetFamily* mOwner;
};

// The block of a position constraint.
class OXA_API VOxaConstraintPositionProperties : public VOxaConstraintOffsetProperties {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaConstraintPositionProperties(VOxaConstraintOffsetFamily* owner)
        : VOxaConstraintOffsetProperties(owner, "Translation") {}
};

// What the position, rotation and scale constraints share: one constrained object, weighted
// sources, a global weight, the switches and one offset vector property. A missing property
// makes setters do nothing and getters answer their fallbacks.
class OXA_API VOxaConstraintOffsetFamily : public VOxaConstraint {
public:
    ~VOxaConstraintOffsetFamily() override;

    // The switches: stored without notification; read through the property.
    void SetActive(bool active);
    bool GetActive() const;
    void SetLock(bool lock);
    bool GetLock() const;
    void SetAffectX(bool affect);
    bool GetAffectX() const;
    void SetAffectY(bool affect);
    bool GetAffectY() const;
    void SetAffectZ(bool affect);
    bool GetAffectZ() const;

    // Sets "Weight"; the current and "Default" takes' channel follows.
    void SetWeight(double weight);
    // Sets the offset property to (x, y, z, 1); the channels of the current and "Default"
    // takes follow.
    void SetOffset(VgeTVector offset) override;
    // The offset with w 1; (0, 0, 0, 1) when the property is missing.
    VgeTVector GetOffset() const;

    // Lists `object` as a source and gives it the animatable property "<name>.Weight" of value
    // `weight`, with a channel holding that weight in every take. Nothing for null or an object
    // without property block.
    void AddSource(VOxaObject* object, double weight);
    int GetSourceCount() const;
    // Null unless 0 <= index < GetSourceCount().
    VOxaObject* GetSource(int index) const;
    // The source's weight; 100 for null or an object without weight property.
    double GetSourceWeight(const VOxaObject* object) const;
    // Makes `object` the constrained object (replacing the former one). Nothing for null or
    // an object without property block.
    void SetConstrainedObject(VOxaObject* object);
    // Null when there is none.
    VOxaObject* GetConstrainedObject() const;

protected:
    VOxaConstraintOffsetFamily(VOxaSdkManager* manager, const char* name, const char* offsetName);
    // Creates the block (the concrete class), fills the default take and gives the handles.
    void Initialize(VOxaConstraintOffsetProperties* properties);

    VOxaConstraintOffsetProperties* mProperties = nullptr;
    const char* mOffsetName;
};

// A position constraint (type 1, "Position From Positions"), offset "Translation".
class OXA_API VOxaConstraintPosition : public VOxaConstraintOffsetFamily {
public:
    VOxaConstraintPosition(VOxaSdkManager* manager, const char* name);

    VString GetTypeName() const override;
    int GetConstraintType() const override { return ePosition; }

    // Takes `object` out of the source list; false for null, true otherwise (also for an
    // object that was no source). The weight property and its channels stay.
    bool RemoveSource(VOxaObject* object);
    // The same for the source at `index`; false when there is none.
    bool RemoveSource(int index);

    VOxaConstraintPositionProperties* GetProperties() const {
        return static_cast<VOxaConstraintPositionProperties*>(mProperties);
    }
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_POSITION_H
