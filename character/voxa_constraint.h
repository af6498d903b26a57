#ifndef OXA_CHARACTER_VOXA_CONSTRAINT_H
#define OXA_CHARACTER_VOXA_CONSTRAINT_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>
#include <oxa/character/voxa_constraint_property.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaSceneContents;
class VPropertyObjectList;

// The abstract base of the six constraints and of the character: a named, animatable scene
// object (type code 13, names prefixed "Constraint::") whose settings live in a separate
// property block derived from VOxaConstraintProperty, which the concrete class creates and
// owns. Lists hold the constrained and driving objects as connections of their property
// blocks. Nothing evaluates a constraint.
//
// Take errors go to the constraint's error object: "Error" (0), and "Not enough memory"
// (eNotEnoughMemory) for a change that memory ran out for and that was not made.
class OXA_API VOxaConstraint : public VOxaTakeNodeContainer {
public:
    // Constraint type numbers.
    enum EType : int {
        eUnidentified = 0,
        ePosition = 1,
        eRotation = 2,
        eScale = 3,
        eParent = 4,
        eSingleChainIK = 5,
        eAim = 6,
        eCharacter = 7
    };
    enum EError : int { eError = 0, eNotEnoughMemory = 1 };

    // Only concrete constructors call it.
    VOxaConstraint(VOxaSdkManager* manager, const char* name);
    // Leaves its scene contents and destroys the property block if a concrete destructor has
    // not done so.
    ~VOxaConstraint() override;

    int GetTypeCode() const override { return 13; }
    // The block drops its connections and properties.
    void Destroying() override;
    // The property block adopted from the concrete class (null before).
    VOxaPropertyHandler* GetPropertyHandler() const override { return mPropertyBlock; }
    // "Constraint" in the base.
    VString GetTypeName() const override;
    // One item: the empty string.
    VStringList GetTypeFlags() const override;
    // Nothing in the base; concrete: the channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // The manager's CreateUserProperty (null without a manager).
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;
    // The type number (1 to 7).
    virtual int GetConstraintType() const = 0;
    // Nothing in the base; position, rotation, scale and aim store it (w ignored).
    virtual void SetOffset(VgeTVector offset);

    // True for 1 to 7.
    static bool IsValidConstraintType(int type);
    // The class id of the property-block class of `type` (1 to 7), -1 for any other type.
    static int GetClassIdOfType(int type);

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

    // Moves the property block from the current contents' object list (if any) to that of
    // `contents` (null: none). Nothing when `contents` is the current one. False, with the error
    // set and nothing changed, for contents of another manager; true otherwise.
    bool SetSceneContents(VOxaSceneContents* contents);
    VOxaSceneContents* GetSceneContents() const { return mSceneContents; }
    // For the property block's ConnectNotify: the block is leaving the plug `list` as its
    // source; when that is the associated contents' object list, the association is dropped
    // (so contents torn down first leave no dangling pointer).
    void BlockLeavingList(const VPlug* list);

    // The scene object a list entry stands for: the owner of a property block, null for
    // anything else (null included).
    static VOxaObject* GetEntryOwner(VObject* entry);

protected:
    // The concrete constructor hands over the block it made: the constraint owns it from then
    // on, answers it as its property handler and forwards Destroying to it.
    void AdoptPropertyBlock(VOxaConstraintProperty* block) { mPropertyBlock = block; }
    // Leaves the scene contents, then destroys the block (its Destroying, then deletion).
    // Concrete destructors call it first, while their own parts are still whole, since the
    // block's disconnection notifications may reach them.
    void DestroyPropertyBlock();

    // Helpers of the concrete constraints. All answer null/false or do nothing when the
    // block or the property is missing.

    // The property `name` of the block.
    VProperty* FindBlockProperty(const char* name) const;
    // Sets `property` to `values` (as many as its type takes) and passes its handle, when there
    // is one, to the block's PropertyValueChanged: the current and "Default" channels follow.
    void SetAndPublish(VProperty* property, const double* values);
    void SetAndPublish(const char* name, double value);
    // Sets a vector property to (x, y, z, 1) and publishes it.
    void SetVectorAndPublish(const char* name, const VgeTVector& value);
    // The value of a vector property with w forced to 1; `fallback` when it is missing.
    VgeTVector GetVector(const char* name, const VgeTVector& fallback) const;
    // The value of a number property; `fallback` when it is missing.
    double GetDouble(const char* name, double fallback) const;

    // The entry `index` of `list` as a scene object; null out of range or for a non-block.
    static VOxaObject* GetListObject(const VPropertyObjectList* list, int index);
    // Places `object`'s block at position 0 of `list`; false for null or an object without block,
    // and with the error set, the former entry kept, when memory runs out.
    bool SetListObject0(VPropertyObjectList* list, VOxaObject* object);
    // False, with the error set, for an object of another manager than the constraint's: that
    // manager would destroy it while this constraint still listed it.
    bool AcceptsObject(const VOxaObject* object);

    // Adds `object`'s block to the source list `list` and creates the animatable per-object
    // property "<name without prefix><suffix>" of `dataTypeName`, its channel in every take and
    // its handle; then sets it to `values` in every take's channel and in the property. False
    // (nothing done) for null, an object without block or one of another manager (error set),
    // and when memory runs out on the way (error eNotEnoughMemory).
    // `added`, when given, tells what was made: whether the entry was (not for a source listed
    // already) and the property.
    struct SourceAdded {
        bool mListed;
        VProperty* mProperty;
    };
    bool AddSourceWithProperty(VPropertyObjectList* list, VOxaObject* object, const char* suffix,
                               const char* dataTypeName, const double* values, SourceAdded* added = nullptr);
    // The animatable property `name` with `values`, its channel in every take and its handle, in
    // `made` (null when none could be made for want of a name or type). False, with nothing
    // made, when memory runs out.
    bool MakeSourceProperty(const char* name, const char* dataTypeName, const double* values,
                            VProperty*& made);
    // Takes a property MakeSourceProperty made out again, with its handle (`handle`, or the one
    // bound to it), channels and links; one whose handle cannot leave stays.
    void DropSourceProperty(VProperty* property, VOxaUserProperty* handle = nullptr);
    // Counts memory run out and sets the error to eNotEnoughMemory; false.
    bool RanOutOfMemory();
    // Creates an animatable property and gives it its channel in the current take (no handle).
    VProperty* CreateAnimatableProperty(const char* name, const char* dataTypeName);
    // The per-object property "<name><suffix>": first under the object's current name without
    // prefix, then under its initial name with the first occurrence of its prefix removed.
    VProperty* FindSourceProperty(const VOxaObject* object, const char* suffix) const;

private:
    VError mError;
    VOxaSceneContents* mSceneContents = nullptr;
    VOxaConstraintProperty* mPropertyBlock = nullptr;
};

#endif  // OXA_CHARACTER_VOXA_CONSTRAINT_H
