#ifndef OXA_ATTRIBUTES_VOXA_SKELETON_H
#define OXA_ATTRIBUTES_VOXA_SKELETON_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/objects/vobject.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_global_light_settings.h>
#include <oxa/scene/voxa_node_attribute.h>

class VOxaSkeletonProperties;

// The node attribute of a skeleton bone: a root, a limb (with a length) or a limb node (a
// joint). It keeps a type, a display size, a limb length and a colour, and remembers which of
// them were set since the last Reset. It has no channels.
//
// The type may be any int: 3 behaves as a root; any other value outside 0..2 has no name and no
// flags. A root's colour is not written to files (its "Color" property is marked not saved).
// The setters that refuse (limb length of a non-limb, colour of a root) answer false and change
// nothing.
class OXA_API VOxaSkeleton : public VOxaNodeAttribute {
public:
    enum EType : int { eROOT = 0, eLIMB = 1, eLIMB_NODE = 2 };

    // A root after Reset.
    explicit VOxaSkeleton(VOxaSdkManager* manager);
    // Leaves its node when still attached, then destroys the block.
    ~VOxaSkeleton() override;

    // Resets, sets the other's type and size, its limb length (limbs) and colour (limbs and limb
    // nodes) through the setters, then takes the other's four "set" records.
    VOxaSkeleton& operator=(const VOxaSkeleton& other);

    int GetAttributeType() const override { return eSkeleton; }
    // Appends every property of the block.
    void CollectChannels(VArrayTemplate<VProperty*>& properties) override;
    // "Root" (types 0 and 3), "Limb", "LimbNode"; empty for any other type.
    VString GetTypeName() const override;
    // "Null", "Skeleton", "Root" for types 0 and 3; "Skeleton" for 1 and 2; else none.
    VStringList GetTypeFlags() const override;

    VOxaSkeletonProperties* GetProperties() const { return mProperties; }

    // Root, size 100, limb length 1, colour (0.8, 0.8, 0.8); nothing marked as set.
    void Reset();

    // Stores the type and marks it set; the colour is saved to files only for limbs and limb
    // nodes.
    void SetSkeletonType(int type);
    int GetSkeletonType() const { return mSkeletonType; }
    bool IsSkeletonTypeSet() const { return mTypeSet; }
    static int GetSkeletonTypeDefaultValue() { return eROOT; }

    // Limbs only: stores the length, marks it set and answers true; false otherwise.
    bool SetLimbLength(double length);
    double GetLimbLength() const;
    bool IsLimbLengthSet() const { return mLimbLengthSet; }
    static double GetLimbLengthDefaultValue() { return 1.0; }

    // Any type: stores the size, unchecked, and marks it set.
    void SetSize(double size);
    double GetSize() const;
    bool IsSizeSet() const { return mSizeSet; }
    static double GetSizeDefaultValue() { return 100.0; }

    // Limbs and limb nodes only: stores red, green and blue, marks the colour set and answers
    // true; false otherwise.
    bool SetColor(const VOxaColor& color);
    // The stored colour, each component clamped into [0, 1], alpha 1.
    VOxaColor GetColor() const;
    bool IsColorSet() const { return mColorSet; }
    static VOxaColor GetColorDefaultValue() { return VOxaColor(0.8, 0.8, 0.8, 1.0); }

private:
    // Marks "Color" not saved unless the type is a limb or a limb node.
    void UpdateColorSaving();

    VOxaSkeletonProperties* mProperties = nullptr;
    int mSkeletonType = eROOT;
    bool mLimbLengthSet = false;
    bool mSizeSet = false;
    bool mColorSet = false;
    bool mTypeSet = false;
};

// The property block of a skeleton, in file order: "Size", "LimbLength", "Color". A new block
// holds zeros; the skeleton's Reset sets the defaults. The accessor pairs store and answer the
// member values without events or checks.
class OXA_API VOxaSkeletonProperties : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaSkeletonProperties();
    ~VOxaSkeletonProperties() override;

    virtual void SetSize(double size);
    virtual double GetSize() const;
    virtual void SetLimbLength(double length);
    virtual double GetLimbLength() const;
    virtual void SetColor(const VgeRGBVector& color);
    virtual VgeRGBVector GetColor() const;

    VProperty* GetColorProperty() { return &mColor; }

private:
    VPropertyTemplate<double> mSize;
    VPropertyTemplate<double> mLimbLength;
    VPropertyTemplate<VgeRGBVector> mColor;
};

#endif  // OXA_ATTRIBUTES_VOXA_SKELETON_H
