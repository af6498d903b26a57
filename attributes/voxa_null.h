#ifndef OXA_ATTRIBUTES_VOXA_NULL_H
#define OXA_ATTRIBUTES_VOXA_NULL_H

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vobject.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_node_attribute.h>

class VOxaNullProperties;

// The node attribute of a null: a node that carries nothing but a display size. It has no
// channels. Nothing fails.
class OXA_API VOxaNull : public VOxaNodeAttribute {
public:
    // Size 100, not marked as set.
    explicit VOxaNull(VOxaSdkManager* manager);
    // Leaves its node when still attached, then destroys the block.
    ~VOxaNull() override;

    // Resets, takes the other's size, then its "size set" mark.
    VOxaNull& operator=(const VOxaNull& other);

    int GetAttributeType() const override { return eNull; }
    // Appends every property of the block.
    void CollectChannels(VArrayTemplate<VProperty*>& properties) override;
    // "Null", and the one flag "Null".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;

    VOxaNullProperties* GetProperties() const { return mProperties; }

    // Stores the size, unchecked, and marks it as set (also when it is unchanged).
    void SetSize(double size);
    double GetSize() const;
    // True once SetSize ran since the last reset.
    bool IsSizeSet() const { return mSizeSet; }
    // 100.
    static double GetDefaultSize() { return 100.0; }

private:
    void Reset();

    VOxaNullProperties* mProperties = nullptr;
    bool mSizeSet = false;
};

// The property block of a null: the one property "Size".
class OXA_API VOxaNullProperties : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaNullProperties();
    ~VOxaNullProperties() override;

    virtual void SetSize(double size);
    virtual double GetSize() const;

private:
    VPropertyTemplate<double> mSize;
};

#endif  // OXA_ATTRIBUTES_VOXA_NULL_H
