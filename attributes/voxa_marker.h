#ifndef OXA_ATTRIBUTES_VOXA_MARKER_H
#define OXA_ATTRIBUTES_VOXA_MARKER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/objects/vobject.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_node_attribute.h>

class VFCurve;
class VOxaMarkerProperties;

// The node attribute of a marker: a point drawn with a simple look. Its kind decides which
// animated channels it keeps in every take of its node: an optical marker has "Occlusion", an
// IK effector "IK Reach Translation" and "IK Reach Rotation"; standard markers and FK effectors
// have none. Changing the kind while attached moves the channels at once.
//
// Kinds and looks may be any int (as read from files): a kind outside 0..3 behaves as a
// standard marker, a look outside 0..3 has no name. Nothing fails.
class OXA_API VOxaMarker : public VOxaNodeAttribute {
public:
    enum EType : int { eSTANDARD = 0, eOPTICAL = 1, eIK_EFFECTOR = 2, eFK_EFFECTOR = 3 };
    enum ELook : int { eCUBE = 0, eHARD_CROSS = 1, eLIGHT_CROSS = 2, eSPHERE = 3 };

    // A standard marker: cube look, size 100, red, no label, IK pivot (0, 0, 0).
    explicit VOxaMarker(VOxaSdkManager* manager);
    // Leaves its node (channels included) when still attached, then destroys the block.
    ~VOxaMarker() override;

    // Copies the kind (without moving channels), look, size, colour and label switch; the IK
    // pivot stays.
    VOxaMarker& operator=(const VOxaMarker& other);

    int GetAttributeType() const override { return eMarker; }
    // Adds the channels of the kind to the take (none when they are there already).
    void AddChannels(VOxaTakeNode* takeNode) override;
    // Deletes every marker channel of any kind from the take.
    void RemoveChannels(VOxaTakeNode* takeNode) override;
    // Appends every property of the block.
    void CollectChannels(VArrayTemplate<VProperty*>& properties) override;
    // "OpticalMarker", "IKEffector", "FKEffector" for kinds 1, 2, 3, else "Marker"; the one flag
    // "Marker".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;

    VOxaMarkerProperties* GetProperties() const { return mProperties; }

    // Stores a new kind; while attached the node's takes then lose the old kind's channels and
    // get the new kind's. The same kind changes nothing.
    void SetType(int kind);
    int GetType() const { return mMarkerType; }

    // Plain values of the block, unchecked.
    void SetLook(ELook look);
    ELook GetLook() const;
    void SetSize(double size);
    double GetSize() const;
    void SetShowLabel(bool on);
    bool GetShowLabel() const;
    void SetColor(double red, double green, double blue);
    void SetColor(const VgeRGBVector& color);
    VgeRGBVector GetColor() const;
    // Stores x, y, z; the answer has w = 1.
    void SetIKPivot(const VgeTVector& pivot);
    VgeTVector GetIKPivot() const;

    // The default values of the kind's curves in the node's default take. A getter answers 0.0
    // and a setter does nothing unless the marker is of the curve's kind, attached, and the
    // curve exists.
    double GetDefaultOcclusion() const;
    void SetDefaultOcclusion(double value);
    double GetDefaultIKReachTranslation() const;
    void SetDefaultIKReachTranslation(double value);
    double GetDefaultIKReachRotation() const;
    void SetDefaultIKReachRotation(double value);

private:
    void Reset();
    // The curve of data type `dataTypeName` in the default take when the kind is `kind`.
    VFCurve* DefaultCurve(int kind, const char* dataTypeName) const;

    // Sets the kind without moving any channel.
    void StoreKindWithoutChannels(int kind);

    int mMarkerType = eSTANDARD;
    VOxaMarkerProperties* mProperties = nullptr;
};

// The name of a look: "Cube", "Hard Cross", "Light Cross", "Sphere"; null for any other value.
OXA_API const char* GetMarkerLookName(int value);

// The property block of a marker, in file order: "Look", "Size", "Color", "ShowLabel",
// "IKPivot". The accessor pairs store and answer the member values without events or checks.
class OXA_API VOxaMarkerProperties : public VObject {
    VOBJECT_DECLARE_CLASS()
public:
    VOxaMarkerProperties();
    ~VOxaMarkerProperties() override;

    virtual void SetLook(VOxaMarker::ELook look);
    virtual VOxaMarker::ELook GetLook() const;
    virtual void SetSize(double size);
    virtual double GetSize() const;
    virtual void SetColor(const VgeRGBVector& color);
    virtual VgeRGBVector GetColor() const;
    virtual void SetShowLabel(bool on);
    virtual bool GetShowLabel() const;
    // x, y, z only; w reads 1.
    virtual void SetIKPivot(const VgeTVector& pivot);
    virtual VgeTVector GetIKPivot() const;

private:
    VPropertyTemplate<VOxaMarker::ELook> mLook;
    VPropertyTemplate<double> mSize;
    VPropertyTemplate<VgeRGBVector> mColor;
    VPropertyTemplate<bool> mShowLabel;
    VPropertyTemplate<VgeTVector> mIKPivot;
};

#endif  // OXA_ATTRIBUTES_VOXA_MARKER_H
