#ifndef OXA_ATTRIBUTES_VOXA_GEOMETRY_BASE_H
#define OXA_ATTRIBUTES_VOXA_GEOMETRY_BASE_H

#include <oxa/attributes/voxa_layer.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vge_vector.h>
#include <oxa/scene/voxa_node_attribute.h>

class VOxaMaterial;
class VOxaSceneContents;
class VOxaTexture;

// The root of every geometric attribute: an ordered list of owned layers and a link to the
// scene contents of the scene the geometry is in, with which it registers the materials and
// textures its layers hold. Materials and textures belong to the manager, never to the layers.
//
// No operation reports errors: an invalid index answers null, 0 or -1.
class OXA_API VOxaLayerContainer : public VOxaNodeAttribute {
public:
    explicit VOxaLayerContainer(VOxaSdkManager* manager) : VOxaNodeAttribute(manager) {}
    // Deletes the layers, last first. The contents link is not released here: the geometry
    // releases it when it leaves its node.
    ~VOxaLayerContainer() override;

    // Appends an empty layer; answers its index (-1 when the list could not grow).
    int CreateLayer();
    int GetLayerCount() const { return mLayers.GetCount(); }
    // The layer, or null out of range.
    VOxaLayer* GetLayer(int index) const { return mLayers.GetAt(index); }
    // Number of layers holding an element of kind `type` (1..6); 0 for any other type.
    int GetLayerCountOfType(int type) const;
    // The `index`-th layer among those holding an element of kind `type`, or null.
    VOxaLayer* GetLayerOfType(int index, int type) const;
    // That layer's index in the full list, or -1.
    int GetLayerIndexOfType(int index, int type) const;
    // The rank of `layer` among the layers holding an element of kind `type` (the count of such
    // layers up to and including it, minus one); -1 when `layer` is out of range.
    int GetLayerTypedIndex(int layer, int type) const;

    // Materials of a layer: the direct array for direct and index-to-direct reference; for
    // index reference, the smaller of the distinct indices and the materials connected to the
    // node (0 without node). Null, 0 or -1 when the layer or element is missing.
    int GetMaterialCount(int layer) const;
    VOxaMaterial* GetMaterial(int index, int layer) const;
    // Creates the layers and the material element (unmapped, direct) it needs, registers the
    // material with the scene contents and appends it; answers its index, or -1 when it is
    // there already or the layer cannot be had.
    int AddMaterial(VOxaMaterial* material, int layer);
    // Index in the layer's direct array of the material named "Material::" + `name`; -1 when
    // none (also for a null name).
    int GetMaterialIndex(const char* name, int layer) const;

    // The same for textures; AddTexture answers the index of a texture already present
    // (unchanged), and makes its element with reference index-to-direct.
    int GetTextureCount(int layer) const;
    VOxaTexture* GetTexture(int index, int layer) const;
    int AddTexture(VOxaTexture* texture, int layer);
    int GetTextureIndex(const char* name, int layer) const;

    // For a material or texture that is being destroyed: each entry of the layers' direct arrays
    // that holds it becomes null, so that the indices of the others stay valid.
    void ReleaseMaterial(const VOxaMaterial* material);
    void ReleaseTexture(const VOxaTexture* texture);

    // Replaces the layers by deep copies of the other container's layers.
    void CopyLayers(const VOxaLayerContainer& other);

    // Registers every material and texture of the direct and index-to-direct elements with
    // `contents` (after releasing the current link); nothing when it is the current link.
    void ConnectContents(VOxaSceneContents* contents);
    // Unregisters them from the linked contents and clears the link.
    void DisconnectContents();
    VOxaSceneContents* GetSceneContents() const { return mSceneContents; }
    // Clears the link without unregistering anything, for contents that are going away and
    // drop their lists themselves.
    void ForgetSceneContents() { mSceneContents = nullptr; }

protected:
    // Layer 0, created when there are no layers; null only when memory is exhausted.
    VOxaLayer* GetOrCreateLayer0();
    // The layer at `layer`, creating layers up to it; null for a negative index.
    VOxaLayer* MakeLayer(int layer);
    // Deletes the layers, last first, without touching the contents.
    void DeleteLayers();
    // Deletes the layers after giving back their materials' and textures' uses to the linked
    // contents; the link stays.
    void ClearLayers();
    // Adds (or removes) one use of every material and texture the layers hold to (from) the
    // linked contents, which must be set.
    void RegisterObjects(bool add);

    VOxaSceneContents* mSceneContents = nullptr;
    VArrayTemplate<VOxaLayer*> mLayers{4};
};

// A layer container with control points (x, y, z, w doubles): the base of the meshes,
// patches, NURBS surfaces and shapes.
class OXA_API VOxaGeometryBase : public VOxaLayerContainer {
public:
    explicit VOxaGeometryBase(VOxaSdkManager* manager) : VOxaLayerContainer(manager) {}
    ~VOxaGeometryBase() override = default;

    // Sets the number of control points to `count` (all zero); a negative count gives none.
    void InitControlPoints(int count);
    int GetControlPointsCount() const { return mControlPoints.GetCount(); }
    // The first point (null when there are none); read and write in place.
    VgeTVector* GetControlPoints() { return mControlPoints.GetArray(); }
    const VgeTVector* GetControlPoints() const { return mControlPoints.GetArray(); }
    // Stores `point` and `normal` at `index`, growing the points and layer 0's normals to
    // index + 1 as needed. Without a normal element in layer 0 the point alone is stored (the
    // geometry gets no normals); nothing for a negative index.
    void SetControlPointAt(const VgeTVector& point, const VgeTVector& normal, int index);
    // Makes sure layer 0 holds a normal element, maps it by control point (or by polygon vertex
    // when `count` >= 1 and differs from the control-point count), direct, and sizes it to
    // `count` when given (>= 1), else to the control-point count (values zero).
    void InitNormals(int count = 0);
    // Layer 0's normal array, or null.
    VgeTVector* GetNormals() const;

    // The other geometry's layers (deep copies), then its control points.
    VOxaGeometryBase& operator=(const VOxaGeometryBase& other);

protected:
    // Layer 0's normal element, or null.
    VOxaLayerElementNormal* GetNormalElement() const;

    VArrayTemplate<VgeTVector> mControlPoints{256};
};

#endif  // OXA_ATTRIBUTES_VOXA_GEOMETRY_BASE_H
