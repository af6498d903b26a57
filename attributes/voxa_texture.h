#ifndef OXA_ATTRIBUTES_VOXA_TEXTURE_H
#define OXA_ATTRIBUTES_VOXA_TEXTURE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaTextureProperties;
class VPropertyObjectList;

// The names of the property enumeration values; null for a value without a name.
OXA_API const char* GetTextureUse6Name(int value);
OXA_API const char* GetTextureBlendModeName(int value);
OXA_API const char* GetUnifiedMappingTypeName(int value);
OXA_API const char* GetTextureWrapModeName(int value);

// A named image applied to surfaces, with an animated placement kept per take. The manager makes it (name
// prefix "Texture::") and owns it. Take errors of every texture go to one shared error object, whose one
// message is "Take node error".
//
// Its video is the owner of the first source connection of its property block; file names set on either side
// are passed to the other. Enumeration values are stored as given; the tables that map them never index out
// of range.
class OXA_API VOxaTexture : public VOxaTakeNodeContainer {
public:
    // How the image is projected.
    enum EMappingType : int {
        eNULL = 0,
        ePLANAR = 1,
        eSPHERICAL = 2,
        eCYLINDRICAL = 3,
        eBOX = 4,
        eFACE = 5,
        eUV = 6,
        eENVIRONMENT = 7,
    };
    // The axis of a planar projection.
    enum EPlanarMappingNormal : int { ePLANAR_NORMAL_X = 0, ePLANAR_NORMAL_Y = 1, ePLANAR_NORMAL_Z = 2 };
    // The role of the texture.
    enum ETextureUse : int {
        eSTANDARD = 0,
        eSHADOW_MAP = 1,
        eLIGHT_MAP = 2,
        eSPHERICAL_REFLEXION_MAP = 3,
        eSPHERE_REFLEXION_MAP = 4,
        eBUMP_NORMAL_MAP = 5,
    };
    // Where the transparency comes from.
    enum EAlphaSource : int { eALPHA_NONE = 0, eRGB_INTENSITY = 1, eBLACK = 2 };
    // "TextureTypeUse": 0 "Color", 1 "Spherical Reflection Map", 2 "Sphere Map",
    // 3 "Shadow Map", 4 "Light Map", 5 "Bump Map (NormalMap)".
    enum ETextureUse6 : int {
        eTEXTURE_USE_6_STANDARD = 0,
        eTEXTURE_USE_6_SPHERICAL_REFLEXION_MAP = 1,
        eTEXTURE_USE_6_SPHERE_REFLEXION_MAP = 2,
        eTEXTURE_USE_6_SHADOW_MAP = 3,
        eTEXTURE_USE_6_LIGHT_MAP = 4,
        eTEXTURE_USE_6_BUMP_NORMAL_MAP = 5,
    };
    // "CurrentTextureBlendMode": 0 "Translucent", 1 "Additive", 2 "Modulate", 3
    // "Modulate2".
    enum EBlendMode : int { eTRANSLUCENT = 0, eADDITIVE = 1, eMODULATE = 2, eMODULATE2 = 3 };
    // "CurrentMappingType": 0 "UV", 1 "Z", 2 "X", 3 "Y", 4 "Spherical", 5
    // "Cylindrical", 6 "Environment", 7 "Projection", 8 "Box", 9 "Face", 10
    // "None".
    enum EUnifiedMappingType : int {
        eUMT_UV = 0,
        eUMT_Z = 1,
        eUMT_X = 2,
        eUMT_Y = 3,
        eUMT_SPHERICAL = 4,
        eUMT_CYLINDRICAL = 5,
        eUMT_ENVIRONMENT = 6,
        eUMT_PROJECTION = 7,
        eUMT_BOX = 8,
        eUMT_FACE = 9,
        eUMT_NO_MAPPING = 10,
    };
    // "WrapModeU", "WrapModeV": 0 "Repeat", 1 "Clamp".
    enum EWrapMode : int { eREPEAT = 0, eCLAMP = 1 };

    // `name` is the full name, "Texture::" included. Adds the "Default" take (current), then Reset.
    VOxaTexture(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaTexture() override;

    // Copies the takes, then the file name (passed on to the video), media name, swap UV, alpha source,
    // cropping, mapping type, planar normal, material use, texture use, blend mode, wrap modes, type name, UV
    // scaling and UV translation, and the source folder that goes with the file name. The relative file name
    // is not copied.
    VOxaTexture& operator=(const VOxaTexture& other);

    // The default placement (0, 0, 0), rotation (0, 0, 0), scaling (1, 1, 1), alpha 1; mapping type UV and
    // planar normal X (stored only: "CurrentMappingType" is left alone); no material use, no UV swap, type
    // name "TextureVideoClip", UV scaling (1, 1), UV translation (0, 0), texture use "Color", blend
    // "Additive", wrap "Repeat". File names, media name, alpha source, cropping and mip-mapping are kept.
    void Reset();
    // Every take deleted and "Default" made again, then Reset.
    void ResetAll();

    // The property block drops its connections (to the nodes that use the texture) and its properties.
    void Destroying() override;
    int GetTypeCode() const override { return 2; }
    VOxaPropertyHandler* GetPropertyHandler() const override;
    // A copy of the texture type name; no type flags.
    VString GetTypeName() const override;
    // The curve nodes "Translation", "Rotation", "Scaling" (each with "X", "Y",
    // "Z") and "Alpha", with their default values; on the "Default" take they are linked to the properties.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // --- Names and files ---------------------------------------------------------------------
    // False for a null or empty text (the name is kept); else stores it, passes it to the video when the
    // video's name differs, and answers true.
    bool SetFileName(const char* name);
    bool SetRelativeFileName(const char* name);
    // The stored names, never null (empty when unset).
    const char* GetFileName() const { return mFileName.Buffer(); }
    const char* GetRelativeFileName() const { return mRelativeFileName.Buffer(); }
    // The folder of the file that named the image (an MTL or 3DS file), set by the geometry readers; empty
    // for a texture made in memory. A relative file name is found from this folder, and the geometry writers
    // copy the image only from inside it or from a folder their options allow. Not stored in OXA files and
    // not compared; null is stored as empty.
    void SetSourceFolder(const char* folder) { mSourceFolder = folder ? folder : ""; }
    const char* GetSourceFolder() const { return mSourceFolder.Buffer(); }
    // Null is stored as empty.
    void SetMediaName(const char* name) { mMediaName = name ? name : ""; }
    VString& GetMediaName() { return mMediaName; }
    const VString& GetMediaName() const { return mMediaName; }
    VString& GetTextureTypeName() { return mTextureTypeName; }
    const VString& GetTextureTypeName() const { return mTextureTypeName; }

    // --- Placement in UV space ---------------------------------------------------------------
    void SetUVTranslation(const VgeVector2& value) { mUVTranslation = value; }
    VgeVector2& GetUVTranslation() { return mUVTranslation; }
    const VgeVector2& GetUVTranslation() const { return mUVTranslation; }
    void SetUVScaling(const VgeVector2& value) { mUVScaling = value; }
    VgeVector2& GetUVScaling() { return mUVScaling; }
    const VgeVector2& GetUVScaling() const { return mUVScaling; }

    // --- Mapping, use, blending, wrapping ----------------------------------------------------
    // Stores the type and sets "CurrentMappingType" from it (planar: from the planar normal; values
    // outside 1..7: "None").
    void SetMappingType(int type);
    int GetMappingType() const { return mMappingType; }
    // Stores the normal; while the mapping is planar "CurrentMappingType" follows it (X "X", Y "Y", Z "Z",
    // any other value leaves it).
    void SetPlanarMappingNormal(int normal);
    int GetPlanarMappingNormal() const { return mPlanarMappingNormal; }
    // Sets "TextureTypeUse" from an ETextureUse value (any other value: "Color").
    void SetTextureUse(int use);
    // The ETextureUse value of "TextureTypeUse" (0 for a value without one).
    int GetTextureUse() const;
    // Mode 0 sets "UseMaterial", any other clears it; the getter answers 0 when it is set, 1 otherwise.
    void SetMaterialUse(int mode);
    int GetMaterialUse() const;
    void SetUVSwap(bool swap);
    bool GetUVSwap() const;
    // Stores both wrap properties as given.
    void SetWrapMode(int u, int v);
    int GetWrapModeU() const;
    int GetWrapModeV() const;
    // "CurrentTextureBlendMode", stored as given.
    void SetBlendMode(int mode);
    int GetBlendMode() const;
    void SetAlphaSource(int source) { mAlphaSource = source; }
    int GetAlphaSource() const { return mAlphaSource; }
    // Stores (a, c, b, d); the getters answer the stored order, so a copy passes (GetCropping1, GetCropping3,
    // GetCropping2, GetCropping4).
    void SetCropping(int a, int b, int c, int d);
    int GetCropping1() const { return mCropping[0]; }
    int GetCropping2() const { return mCropping[1]; }
    int GetCropping3() const { return mCropping[2]; }
    int GetCropping4() const { return mCropping[3]; }

    // --- Animated placement and alpha (the "Default" take) -----------------------------------
    // Write x, y, z as the defaults of the "Default" take's curves (single precision) where they exist, then
    // set the property to (x, y, z, 1).
    void SetDefaultT(const VgeTVector& value);
    void SetDefaultR(const VgeTVector& value);
    void SetDefaultS(const VgeTVector& value);
    // Fill x, y, z from the curves' defaults (the property's components for a missing curve); w is left as it
    // was.
    void GetDefaultT(VgeTVector& value) const;
    void GetDefaultR(VgeTVector& value) const;
    void GetDefaultS(VgeTVector& value) const;
    // The "Alpha" curve default (where it exists) and "Texture alpha".
    void SetDefaultAlpha(double alpha);
    // "Texture alpha".
    double GetDefaultAlpha() const;
    // Short forms: translation (u, v, 0), rotation (u, v, w), scale (u, v, 1).
    void SetTranslation(double u, double v);
    double GetTranslationU() const;
    double GetTranslationV() const;
    void SetRotation(double u, double v, double w);
    double GetRotationU() const;
    double GetRotationV() const;
    double GetRotationW() const;
    void SetScale(double u, double v);
    double GetScaleU() const;
    double GetScaleV() const;

    // True when both describe the same texture: full names equal once trailing digits and white space are
    // cut; equal default translation X/Y, rotation, scaling X/Y and alpha; equal cropping, alpha source,
    // mapping type, planar normal, material use, texture use, UV swap, file name, media name, type name, UV
    // scaling and UV translation. Blend, wrap, mip-mapping, pivots and the relative file name are ignored.
    bool IsEqual(const VOxaTexture& other) const;

    // The class id of the property block, which identifies textures among connections.
    static int GetClassId();

    VError& GetError() { return SharedError(); }
    int GetLastErrorID() const { return SharedError().GetLastErrorID(); }
    const char* GetLastErrorString() const { return SharedError().GetLastErrorString().Buffer(); }

private:
    static VError& SharedError();
    // The owner of the first source connection of the block (the video), null when none.
    VOxaObject* GetVideoObject() const;
    // "CurrentMappingType" for a planar mapping with the stored normal (unchanged for others).
    void ApplyPlanarNormal();

    VOxaTextureProperties* mProperties = nullptr;
    int mMappingType = eUV;
    int mPlanarMappingNormal = ePLANAR_NORMAL_X;
    int mAlphaSource = eALPHA_NONE;
    int mCropping[4] = {0, 0, 0, 0};
    VString mFileName;
    VString mRelativeFileName;
    VString mSourceFolder;
    VString mMediaName;
    VString mTextureTypeName;
    VgeVector2 mUVScaling;
    VgeVector2 mUVTranslation;
};

// The property block of a texture. It keeps its owner texture; a change of one of its animatable properties
// is passed to the owner's take nodes.
//
// Properties in list order: "Translation", "Rotation", "Scaling" (vectors),
// "Texture alpha" (number), all four animatable; then the members
// "TextureTypeUse", "CurrentTextureBlendMode", "UseMaterial", "UseMipMap",
// "CurrentMappingType", "UVSwap", "WrapModeU", "WrapModeV",
// "TextureRotationPivot", "TextureScalingPivot" and the source list
// "VideoProperty".
class OXA_API VOxaTextureProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaTextureProperties(VOxaTexture* owner);
    ~VOxaTextureProperties() override;

    // The texture.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // When this block has just been connected as a source of a node's block, the texture is registered with
    // the node's scene contents unless a texture of its full name is there. A destination whose owner is not
    // a node registers nothing.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    // Member properties (the stored values; set without clamp).
    void SetTextureTypeUse(VOxaTexture::ETextureUse6 value) { mTextureTypeUse.SetStoredValue(value); }
    VOxaTexture::ETextureUse6 GetTextureTypeUse() const { return mTextureTypeUse.GetStoredValue(); }
    void SetCurrentTextureBlendMode(VOxaTexture::EBlendMode value) {
        mCurrentTextureBlendMode.SetStoredValue(value);
    }
    VOxaTexture::EBlendMode GetCurrentTextureBlendMode() const {
        return mCurrentTextureBlendMode.GetStoredValue();
    }
    void SetUseMaterial(bool value) { mUseMaterial.SetStoredValue(value); }
    bool GetUseMaterial() const { return mUseMaterial.GetStoredValue(); }
    void SetUseMipMap(bool value) { mUseMipMap.SetStoredValue(value); }
    bool GetUseMipMap() const { return mUseMipMap.GetStoredValue(); }
    void SetCurrentMappingType(VOxaTexture::EUnifiedMappingType value) {
        mCurrentMappingType.SetStoredValue(value);
    }
    VOxaTexture::EUnifiedMappingType GetCurrentMappingType() const {
        return mCurrentMappingType.GetStoredValue();
    }
    void SetUVSwap(bool value) { mUVSwap.SetStoredValue(value); }
    bool GetUVSwap() const { return mUVSwap.GetStoredValue(); }
    void SetWrapModeU(VOxaTexture::EWrapMode value) { mWrapModeU.SetStoredValue(value); }
    VOxaTexture::EWrapMode GetWrapModeU() const { return mWrapModeU.GetStoredValue(); }
    void SetWrapModeV(VOxaTexture::EWrapMode value) { mWrapModeV.SetStoredValue(value); }
    VOxaTexture::EWrapMode GetWrapModeV() const { return mWrapModeV.GetStoredValue(); }
    // The pivots keep x, y, z; they read (x, y, z, 1).
    void SetTextureRotationPivot(const VgeTVector& value);
    VgeTVector GetTextureRotationPivot() const;
    void SetTextureScalingPivot(const VgeTVector& value);
    VgeTVector GetTextureScalingPivot() const;

    // The property objects, for the texture's operations (the animated ones may be null only when their data
    // type is missing).
    VProperty* GetTranslationProperty() const { return mTranslation; }
    VProperty* GetRotationProperty() const { return mRotation; }
    VProperty* GetScalingProperty() const { return mScaling; }
    VProperty* GetAlphaProperty() const { return mAlpha; }
    VPropertyTemplate<VOxaTexture::ETextureUse6>& TextureTypeUse() { return mTextureTypeUse; }
    VPropertyTemplate<VOxaTexture::EBlendMode>& CurrentTextureBlendMode() { return mCurrentTextureBlendMode; }
    VPropertyTemplate<bool>& UseMaterial() { return mUseMaterial; }
    VPropertyTemplate<bool>& UseMipMap() { return mUseMipMap; }
    VPropertyTemplate<VOxaTexture::EUnifiedMappingType>& CurrentMappingType() { return mCurrentMappingType; }
    VPropertyTemplate<bool>& UVSwap() { return mUVSwap; }
    VPropertyTemplate<VOxaTexture::EWrapMode>& WrapModeU() { return mWrapModeU; }
    VPropertyTemplate<VOxaTexture::EWrapMode>& WrapModeV() { return mWrapModeV; }
    VPropertyTemplate<VgeTVector>& TextureRotationPivot() { return mTextureRotationPivot; }
    VPropertyTemplate<VgeTVector>& TextureScalingPivot() { return mTextureScalingPivot; }
    VPropertyObjectList* GetVideoProperty() const { return mVideoProperty; }

private:
    VOxaTexture* mOwner;
    VProperty* mTranslation = nullptr;
    VProperty* mRotation = nullptr;
    VProperty* mScaling = nullptr;
    VProperty* mAlpha = nullptr;
    VPropertyTemplate<VOxaTexture::ETextureUse6> mTextureTypeUse;
    VPropertyTemplate<VOxaTexture::EBlendMode> mCurrentTextureBlendMode;
    VPropertyTemplate<bool> mUseMaterial;
    VPropertyTemplate<bool> mUseMipMap;
    VPropertyTemplate<VOxaTexture::EUnifiedMappingType> mCurrentMappingType;
    VPropertyTemplate<bool> mUVSwap;
    VPropertyTemplate<VOxaTexture::EWrapMode> mWrapModeU;
    VPropertyTemplate<VOxaTexture::EWrapMode> mWrapModeV;
    VPropertyTemplate<VgeTVector> mTextureRotationPivot;
    VPropertyTemplate<VgeTVector> mTextureScalingPivot;
    VPropertyObjectList* mVideoProperty = nullptr;
};

inline VOxaPropertyHandler* VOxaTexture::GetPropertyHandler() const {
    return mProperties;
}

inline int VOxaTexture::GetClassId() {
    return VOxaTextureProperties::ClassInfo.GetId();
}

#endif  // OXA_ATTRIBUTES_VOXA_TEXTURE_H
