#ifndef OXA_ATTRIBUTES_VOXA_LAYER_H
#define OXA_ATTRIBUTES_VOXA_LAYER_H

#include <cmath>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vge_vector.h>
#include <oxa/scene/voxa_global_light_settings.h>

class VOxaMaterial;
class VOxaTexture;

// How the values of a layer element map onto the geometry.
enum VOxaMappingMode : int {
    eNO_MAPPING = 0,         // "NoMappingInformation"
    eBY_CONTROL_POINT = 1,   // "ByVertice": one value per control point
    eBY_POLYGON_VERTEX = 2,  // "ByPolygonVertex": one value per entry of the polygon-vertex array
    eBY_POLYGON = 3,         // "ByPolygon": one value per polygon
    eALL_SAME = 4,           // "AllSame": one value for the whole geometry
};

// How the values of a layer element are found.
enum VOxaReferenceMode : int {
    eDIRECT = 0,           // "Direct": the direct array holds one value per mapped item
    eINDEX = 1,            // "Index": indices into something outside the element
    eINDEX_TO_DIRECT = 2,  // "IndexToDirect": indices into the direct array
};

// How a texture element's textures are blended.
enum VOxaBlendMode : int {
    eTRANSLUCENT = 0,  // "Translucent"
    eADD = 1,          // "Add"
    eMODULATE = 2,     // "Modulate"
    eMODULATE2 = 3,    // "Modulate2"
    eMAX_BLEND = 4,    // "MaxBlend"
};

// The written names of the modes; a value outside its table gives the name of the first entry
// ("NoMappingInformation", "Direct", "Translucent").
OXA_API const char* VOxaGetMappingModeName(int mode);
OXA_API const char* VOxaGetReferenceModeName(int mode);
OXA_API const char* VOxaGetBlendModeName(int mode);

// What every layer element holds besides its arrays: the mapping and reference modes. The
// modes are stored as given (a value read from a file may be out of range; users check).
class OXA_API VOxaLayerElement {
public:
    // Element kinds, the type numbers of GetLayerElement and the by-kind queries.
    enum EType : int {
        eNORMAL = 1,
        eMATERIAL = 2,
        eTEXTURE = 3,
        ePOLYGON_GROUP = 4,
        eUV = 5,
        eVERTEX_COLOR = 6,
    };

    VOxaLayerElement() = default;
    VOxaLayerElement(const VOxaLayerElement&) = delete;
    VOxaLayerElement& operator=(const VOxaLayerElement&) = delete;
    virtual ~VOxaLayerElement() = default;

    int GetMappingMode() const { return mMappingMode; }
    void SetMappingMode(int mode) { mMappingMode = mode; }
    int GetReferenceMode() const { return mReferenceMode; }
    void SetReferenceMode(int mode) { mReferenceMode = mode; }

    // The index array (int, growth block 16): filled and read in place by the users.
    VArrayTemplate<int>& GetIndexArray() { return mIndexArray; }
    const VArrayTemplate<int>& GetIndexArray() const { return mIndexArray; }

protected:
    int mMappingMode = eNO_MAPPING;
    int mReferenceMode = eDIRECT;
    VArrayTemplate<int> mIndexArray{16};
};

// A layer element over a direct array of T (growth block 16).
template <typename T>
class OXA_TEMPLATE_API VOxaLayerElementTemplate : public VOxaLayerElement {
public:
    VArrayTemplate<T>& GetDirectArray() { return mDirectArray; }
    const VArrayTemplate<T>& GetDirectArray() const { return mDirectArray; }

    // Takes the other element's modes, then every direct item and every index in order (items
    // are copied as they are: colours are not clamped).
    void CopyElement(const VOxaLayerElementTemplate& other) {
        mMappingMode = other.mMappingMode;
        mReferenceMode = other.mReferenceMode;
        mDirectArray = other.mDirectArray;
        mIndexArray = other.mIndexArray;
    }

protected:
    VArrayTemplate<T> mDirectArray{16};
};

// Normals (x, y, z, w).
class OXA_API VOxaLayerElementNormal : public VOxaLayerElementTemplate<VgeTVector> {};
// Materials (not owned).
class OXA_API VOxaLayerElementMaterial : public VOxaLayerElementTemplate<VOxaMaterial*> {};
// Polygon group numbers.
class OXA_API VOxaLayerElementPolygonGroup : public VOxaLayerElementTemplate<int> {};
// Texture coordinates (u, v), and a third coordinate (w) for the items that were given one.
class OXA_API VOxaLayerElementUV : public VOxaLayerElementTemplate<VgeVector2> {
public:
    // The w of each direct item, in step with the direct array; empty unless some item has a w
    // (an item without one holds NaN). Users that reorder the direct array reorder it alike or
    // empty it; it counts only while it has as many items as the direct array.
    VArrayTemplate<double>& GetWArray() { return mWArray; }
    const VArrayTemplate<double>& GetWArray() const { return mWArray; }
    // Whether direct item `index` has a w, and then its value in `w`.
    bool GetW(int index, double& w) const {
        if (mWArray.GetCount() != mDirectArray.GetCount() || index < 0 || index >= mWArray.GetCount())
            return false;
        w = mWArray[index];
        return !std::isnan(w);
    }

    // As the base copy, with the w values.
    void CopyElement(const VOxaLayerElementUV& other) {
        VOxaLayerElementTemplate<VgeVector2>::CopyElement(other);
        mWArray = other.mWArray;
    }

private:
    VArrayTemplate<double> mWArray{16};
};
// Vertex colours, kept as given (no clamping).
class OXA_API VOxaLayerElementVertexColor : public VOxaLayerElementTemplate<VOxaColor> {};

// Textures (not owned), with a blend mode and an alpha. Made with reference index-to-direct,
// blend mode translucent and alpha 1.0.
class OXA_API VOxaLayerElementTexture : public VOxaLayerElementTemplate<VOxaTexture*> {
public:
    VOxaLayerElementTexture() { mReferenceMode = eINDEX_TO_DIRECT; }

    int GetBlendMode() const { return mBlendMode; }
    void SetBlendMode(int mode) { mBlendMode = mode; }
    double GetAlpha() const { return mAlpha; }
    void SetAlpha(double alpha) { mAlpha = alpha; }

private:
    int mBlendMode = eTRANSLUCENT;
    double mAlpha = 1.0;
};

// The per-surface data of a geometry beside its control points: at most one element of each
// kind, owned by the layer.
class OXA_API VOxaLayer {
public:
    VOxaLayer() = default;
    VOxaLayer(const VOxaLayer&) = delete;
    VOxaLayer& operator=(const VOxaLayer&) = delete;
    // Deletes the elements.
    virtual ~VOxaLayer();

    // The element of that kind, or null.
    VOxaLayerElementNormal* GetNormals() const { return mNormals; }
    VOxaLayerElementMaterial* GetMaterials() const { return mMaterials; }
    VOxaLayerElementTexture* GetTextures() const { return mTextures; }
    VOxaLayerElementPolygonGroup* GetPolygonGroups() const { return mPolygonGroups; }
    VOxaLayerElementUV* GetUVs() const { return mUVs; }
    VOxaLayerElementVertexColor* GetVertexColors() const { return mVertexColors; }

    // Store the element, which the layer then owns. The element already there is not deleted:
    // set an element only where none is.
    void SetNormals(VOxaLayerElementNormal* element) { mNormals = element; }
    void SetMaterials(VOxaLayerElementMaterial* element) { mMaterials = element; }
    void SetTextures(VOxaLayerElementTexture* element) { mTextures = element; }
    void SetPolygonGroups(VOxaLayerElementPolygonGroup* element) { mPolygonGroups = element; }
    void SetUVs(VOxaLayerElementUV* element) { mUVs = element; }
    void SetVertexColors(VOxaLayerElementVertexColor* element) { mVertexColors = element; }

    // The element of kind `type` (VOxaLayerElement::EType, 1..6); null for any other type.
    VOxaLayerElement* GetLayerElement(int type) const;

    // Deletes every element and clears the six pointers.
    void Clear();
    // Clears this layer, then gives it a deep copy of every element of `other` (material and
    // texture pointers are shared, not copied).
    void CopyFrom(const VOxaLayer& other);

private:
    VOxaLayerElementNormal* mNormals = nullptr;
    VOxaLayerElementMaterial* mMaterials = nullptr;
    VOxaLayerElementTexture* mTextures = nullptr;
    VOxaLayerElementPolygonGroup* mPolygonGroups = nullptr;
    VOxaLayerElementUV* mUVs = nullptr;
    VOxaLayerElementVertexColor* mVertexColors = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_LAYER_H
