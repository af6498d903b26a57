#ifndef OXA_ATTRIBUTES_VOXA_DEFORMER_H
#define OXA_ATTRIBUTES_VOXA_DEFORMER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty_object_list.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaDeformer;
class VOxaLink;
class VOxaSceneContents;

// The property block of a deformer: it keeps the owning deformer and passes value changes of
// its animatable properties to the deformer's take nodes. Skins and clusters derive from it;
// its class id identifies deformers among listed objects.
class OXA_API VOxaDeformerProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaDeformerProperties(VOxaDeformer* owner) : mOwner(owner) {}

    // The deformer.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // "Skin" or "Cluster".
    virtual const char* GetTypeName() const = 0;
    // Forgets the deformer's scene contents when the block leaves their object list, so that
    // the deformer never reaches contents that are gone.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

private:
    VOxaDeformer* mOwner;
};

// The property block of a skin: no declared properties; it keeps the skin's accuracy (50.0).
class OXA_API VOxaSkinDeformerProperties : public VOxaDeformerProperties {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaSkinDeformerProperties(VOxaDeformer* owner) : VOxaDeformerProperties(owner) {}
    const char* GetTypeName() const override { return "Skin"; }
    double GetAccuracy() const { return mAccuracy; }
    void SetAccuracy(double accuracy) { mAccuracy = accuracy; }

private:
    double mAccuracy = 50.0;
};

// The property block of a cluster: the object lists "SrcModel" (the driving node) and
// "SrcModelReference" (the reference, or associate, model). Each lists the source connections
// that are node property blocks.
class OXA_API VOxaClusterDeformerProperties : public VOxaDeformerProperties {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaClusterDeformerProperties(VOxaDeformer* owner);
    const char* GetTypeName() const override { return "Cluster"; }
    VPropertyObjectList* GetSrcModel() const { return mSrcModel; }
    VPropertyObjectList* GetSrcModelReference() const { return mSrcModelReference; }

private:
    VPropertyObjectList* mSrcModel = nullptr;
    VPropertyObjectList* mSrcModelReference = nullptr;
};

// The scene-object form of skinning data, named and animatable like other scene objects: a
// skin (kind 1) stands for a whole skin, a cluster (kind 2) carries the data of one link (link
// mode, user data, control-point indices and weights, and four binding matrices). The manager
// makes it (name prefix "Deformer::" for a skin, "SubDeformer::" for a cluster), lists it and
// destroys it. Its type code is 10.
//
// Take errors go to its error object, whose one message is "Error". The plain accessors store
// and answer values without checks.
class OXA_API VOxaDeformer : public VOxaTakeNodeContainer {
public:
    enum EDeformerType : int { eSkin = 1, eCluster = 2 };

    // `name` is the full name. A `typeName` equal to "cluster" ignoring case makes a cluster,
    // anything else (null included) a skin. Adds the "Default" take (current).
    VOxaDeformer(VOxaSdkManager* manager, const char* name, const char* typeName);
    // Leaves its scene contents, then destroys the property block.
    ~VOxaDeformer() override;

    // The property block drops its connections and properties.
    void Destroying() override;
    int GetTypeCode() const override { return 10; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "Skin" or "Cluster"; the one flag "Deformer".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // 1 skin, 2 cluster; fixed at construction.
    int GetDeformerType() const { return mType; }
    void SetMultiLayer(bool multiLayer) { mMultiLayer = multiLayer; }
    bool GetMultiLayer() const { return mMultiLayer; }
    // A skin's accuracy ("Link_DeformAcuracy"), 50.0 at first.
    void SetAccuracy(double accuracy) { mAccuracy = accuracy; }
    double GetAccuracy() const { return mAccuracy; }
    // A cluster's link mode (the values of VOxaLink::ELinkMode), 0 at first.
    void SetLinkMode(int mode) { mLinkMode = mode; }
    int GetLinkMode() const { return mLinkMode; }
    void SetUserData(const char* id, const char* data);
    VString GetUserDataID() const { return mUserDataID; }
    VString GetUserData() const { return mUserData; }

    // The control-point indices and weights, filled in place by readers. They are parallel
    // only when filled so; users read pairs up to the shorter of the two.
    VArrayTemplate<int>& GetIndexes() { return mIndexes; }
    const VArrayTemplate<int>& GetIndexes() const { return mIndexes; }
    VArrayTemplate<double>& GetWeights() { return mWeights; }
    const VArrayTemplate<double>& GetWeights() const { return mWeights; }

    // The four binding matrices ("Transform", "TransformLink", the associate model's
    // "Transform", "TransformParent"), identity at first.
    void SetTransformMatrix(const VMatrix& matrix) { mTransform = matrix; }
    void SetTransformLinkMatrix(const VMatrix& matrix) { mTransformLink = matrix; }
    void SetTransformAssociateModelMatrix(const VMatrix& matrix) { mTransformAssociate = matrix; }
    void SetTransformParentMatrix(const VMatrix& matrix) { mTransformParent = matrix; }
    const VMatrix& GetTransformMatrix() const { return mTransform; }
    const VMatrix& GetTransformLinkMatrix() const { return mTransformLink; }
    const VMatrix& GetTransformAssociateModelMatrix() const { return mTransformAssociate; }
    const VMatrix& GetTransformParentMatrix() const { return mTransformParent; }
    // Whether "TransformParent" is meaningful (written only then).
    void SetTransformParentSet(bool set) { mTransformParentSet = set; }
    bool IsTransformParentSet() const { return mTransformParentSet; }

    // A cluster takes the link's mode, user data, control points, parent flag and its four
    // transforms as composed matrices; a skin (or a null link) is left unchanged.
    void CopyFromLink(const VOxaLink* link);

    // Moves the property block from the object list of the current contents (error 15 there
    // when it is not listed) to that of `contents` (null: none); nothing when unchanged.
    void SetSceneContents(VOxaSceneContents* contents);
    VOxaSceneContents* GetSceneContents() const { return mSceneContents; }

    // The class id of VOxaDeformerProperties, which identifies deformers among listed objects.
    static int GetClassId() { return VOxaDeformerProperties::ClassInfo.GetId(); }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    friend class VOxaDeformerProperties;

    VOxaSceneContents* mSceneContents = nullptr;
    VOxaDeformerProperties* mProperties = nullptr;
    VError mError;
    bool mMultiLayer = false;
    int mType = eSkin;
    double mAccuracy = 50.0;
    int mLinkMode = 0;
    VString mUserDataID;
    VString mUserData;
    VArrayTemplate<int> mIndexes{256};
    VArrayTemplate<double> mWeights{256};
    VMatrix mTransform;
    VMatrix mTransformLink;
    VMatrix mTransformAssociate;
    VMatrix mTransformParent;
    bool mTransformParentSet = false;
};

#endif  // OXA_ATTRIBUTES_VOXA_DEFORMER_H
