#ifndef OXA_SCENE_VOXA_TAKE_NODE_H
#define OXA_SCENE_VOXA_TAKE_NODE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>

class VFCurve;
class VFCurveNode;
class VDataType;
class VOxaUserProperty;
class VOxaGeometry;
class VOxaTakeNodeContainer;

// One take of one animatable object: the take's name and the root of its tree of channels.
//
// The tree below the root ("Defaults") holds one child per animated channel, named after the
// property; the three local transform properties sit under "Transform" as "T", "R" and "S".
// A channel of several components carries no curve itself: its children "X", "Y", "Z" (and
// "toto" for a fourth) do.
//
// Lookups never create anything: a missing object, channel, component or curve answers null
// and sets error 0, "Curve not found". The error object keeps only the last error.
//
// A node's default take may be made without its channels (DeferChannels): its owner makes them
// the first time anything asks for the tree, as they would stand had they been made at once.
// Most nodes a file reader makes are animated in a take of their own and never have their
// default take read, so they never pay for it.
class OXA_API VOxaTakeNode {
public:
    enum EError : int { eCurveNotFound = 0, eNotEnoughMemory = 1, eErrorCount };

    // A take named `name` with an empty root "Defaults" (made when first asked for).
    explicit VOxaTakeNode(const char* name);
    // The other's name and a deep copy of its whole channel tree, keys included.
    VOxaTakeNode(const VOxaTakeNode& other);
    VOxaTakeNode& operator=(const VOxaTakeNode&) = delete;
    ~VOxaTakeNode();

    void SetName(const char* name);
    const char* GetName() const { return mName.Buffer(); }
    // The channel tree; null, with error 1 "Not enough memory", when memory runs out making it
    // (or the channels left to the owner).
    VFCurveNode* GetVFCurveNode() const;

    // Leaves the channels to `owner`, which fills them when the tree is first asked for. Only
    // for a fresh take, before anybody has seen its tree.
    void DeferChannels(VOxaTakeNodeContainer* owner);
    // True while the channels are left to the owner.
    bool HasDeferredChannels() const { return mChannelOwner != nullptr; }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

    // Widens (start, stop) with the first and last key times of every curve of the tree; false,
    // with the pair untouched, when no curve has keys.
    bool GetAnimationInterval(VTime& start, VTime& stop) const;

    // The curve reached from the root through `objectName`, then `channelName`, then
    // `componentName` (each optional: null skips the step). Names are matched without regard
    // to case, "/" separates levels, and "T", "R", "S" also match the local transform data
    // types.
    VFCurve* GetVFCurve(const char* objectName, const char* channelName, const char* componentName);
    // The same, but the last step is a depth-first search for a node of `dataType`; with a null
    // data type the node reached by the names is used.
    VFCurve* GetVFCurveByDataType(const char* objectName, const char* channelName, const VDataType* dataType);
    // The same with a data type given by name (null: none); an unknown name fails.
    VFCurve* GetVFCurveByDataType(const char* objectName, const char* channelName, const char* dataTypeName);
    // True when the curve is found and has at least one key.
    bool IsAnimated(const char* objectName, const char* channelName, const char* componentName);
    bool IsAnimatedByDataType(const char* objectName, const char* channelName, const VDataType* dataType);

    // The curve of component `component` of the channel of `userProperty` ("Lcl Translation"
    // is "T", and so on). A channel without children answers its own curve for component 0 only.
    VFCurve* GetPropertyCurve(VOxaUserProperty* userProperty, int component);
    // The curve of shape `shapeIndex`'s channel of `geometry` in this take. Without it (no
    // geometry, no such shape, no channel or no curve) the answer is null with "Curve not found"
    // here and, when there is a geometry, "No shape curve found." on the geometry.
    VFCurve* GetShapeCurve(VOxaGeometry* geometry, int shapeIndex);

    // Node local transform.
    VFCurve* GetTranslationX();
    VFCurve* GetTranslationY();
    VFCurve* GetTranslationZ();
    VFCurve* GetEulerRotationX();
    VFCurve* GetEulerRotationY();
    VFCurve* GetEulerRotationZ();
    VFCurve* GetScaleX();
    VFCurve* GetScaleY();
    VFCurve* GetScaleZ();
    VFCurve* GetVisibility();
    // Light.
    VFCurve* GetColorR();
    VFCurve* GetColorG();
    VFCurve* GetColorB();
    VFCurve* GetLightIntensity();
    VFCurve* GetLightConeAngle();
    VFCurve* GetLightFog();
    // Camera.
    VFCurve* GetCameraFieldOfView();
    VFCurve* GetCameraFieldOfViewX();
    VFCurve* GetCameraFieldOfViewY();
    VFCurve* GetCameraOpticalCenterX();
    VFCurve* GetCameraOpticalCenterY();
    VFCurve* GetCameraRoll();
    VFCurve* GetCameraTurnTable();
    VFCurve* GetCameraBackgroundColorR();
    VFCurve* GetCameraBackgroundColorG();
    VFCurve* GetCameraBackgroundColorB();
    // Camera switcher.
    VFCurve* GetCameraIndex();
    // Marker.
    VFCurve* GetOcclusion();
    VFCurve* GetIKReachTranslation();
    VFCurve* GetIKReachRotation();
    // Texture.
    VFCurve* GetTextureTranslationX();
    VFCurve* GetTextureTranslationY();
    VFCurve* GetTextureTranslationZ();
    VFCurve* GetTextureRotationX();
    VFCurve* GetTextureRotationY();
    VFCurve* GetTextureRotationZ();
    VFCurve* GetTextureScalingX();
    VFCurve* GetTextureScalingY();
    VFCurve* GetTextureScalingZ();
    VFCurve* GetTextureAlpha();
    // Material colours (components X, Y, Z of the channel).
    VFCurve* GetMaterialEmissiveR();
    VFCurve* GetMaterialEmissiveG();
    VFCurve* GetMaterialEmissiveB();
    VFCurve* GetMaterialAmbientR();
    VFCurve* GetMaterialAmbientG();
    VFCurve* GetMaterialAmbientB();
    VFCurve* GetMaterialDiffuseR();
    VFCurve* GetMaterialDiffuseG();
    VFCurve* GetMaterialDiffuseB();
    VFCurve* GetMaterialSpecularR();
    VFCurve* GetMaterialSpecularG();
    VFCurve* GetMaterialSpecularB();
    VFCurve* GetMaterialOpacity();
    VFCurve* GetMaterialReflectivity();
    VFCurve* GetMaterialShininess();
    // Constraints. `source` is the constrained-from object; its channel names are its initial
    // name without type prefix followed by ".Weight", ".Offset T" or ".Offset R".
    VFCurve* GetConstraintSourceWeight(const class VOxaObject* source);
    VFCurve* GetConstraintTranslationX();
    VFCurve* GetConstraintTranslationY();
    VFCurve* GetConstraintTranslationZ();
    VFCurve* GetConstraintRotationX();
    VFCurve* GetConstraintRotationY();
    VFCurve* GetConstraintRotationZ();
    VFCurve* GetConstraintScalingX();
    VFCurve* GetConstraintScalingY();
    VFCurve* GetConstraintScalingZ();
    VFCurve* GetConstraintSourceOffsetTranslationX(const class VOxaObject* source);
    VFCurve* GetConstraintSourceOffsetTranslationY(const class VOxaObject* source);
    VFCurve* GetConstraintSourceOffsetTranslationZ(const class VOxaObject* source);
    VFCurve* GetConstraintSourceOffsetRotationX(const class VOxaObject* source);
    VFCurve* GetConstraintSourceOffsetRotationY(const class VOxaObject* source);
    VFCurve* GetConstraintSourceOffsetRotationZ(const class VOxaObject* source);
    VFCurve* GetConstraintRotationOffsetX();
    VFCurve* GetConstraintRotationOffsetY();
    VFCurve* GetConstraintRotationOffsetZ();
    VFCurve* GetConstraintWorldUpVectorX();
    VFCurve* GetConstraintWorldUpVectorY();
    VFCurve* GetConstraintWorldUpVectorZ();
    VFCurve* GetConstraintAimVectorX();
    VFCurve* GetConstraintAimVectorY();
    VFCurve* GetConstraintAimVectorZ();
    VFCurve* GetConstraintUpVectorX();
    VFCurve* GetConstraintUpVectorY();
    VFCurve* GetConstraintUpVectorZ();
    VFCurve* GetConstraintWeight();
    VFCurve* GetConstraintTwist();
    VFCurve* GetConstraintPoleVectorX();
    VFCurve* GetConstraintPoleVectorY();
    VFCurve* GetConstraintPoleVectorZ();

    // Rotates the translation channel ("Transform"/"T"/"X", "Y", "Z") by the Euler rotation
    // `rotation` (degrees, XYZ): every key time of any of the three curves gets a key on all
    // three holding the rotated value, and the defaults are rotated. False, nothing changed,
    // when one of the three curves is missing.
    bool RotateTranslation(const VgeTVector& rotation);

private:
    VFCurveNode* Root() const {
        if (mChannelOwner) FillChannels();
        if (!mRoot) MakeRoot();
        return mRoot;
    }
    void FillChannels() const;
    // Makes the empty root "Defaults".
    void MakeRoot() const;

    VString mName;
    // Made when the tree is first asked for: a take that nobody looks at (the default take of
    // most nodes a reader makes) has none.
    mutable VFCurveNode* mRoot = nullptr;
    // The owner that still has to fill the channels, null once it has (or when it never had to).
    mutable VOxaTakeNodeContainer* mChannelOwner = nullptr;
    VError mError;
};

#endif  // OXA_SCENE_VOXA_TAKE_NODE_H
