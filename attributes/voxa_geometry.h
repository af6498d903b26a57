#ifndef OXA_ATTRIBUTES_VOXA_GEOMETRY_H
#define OXA_ATTRIBUTES_VOXA_GEOMETRY_H

#include <oxa/attributes/voxa_geometry_base.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vstring.h>

class VFCurve;
class VOxaLink;
class VOxaShape;
class VOxaTakeNode;

// The common base of meshes, patches and NURBS surfaces: control points and layers, plus the
// skinning links, the blend shapes with their names and animated shape channels, and a pivot.
//
// Links and shapes are made and destroyed through the manager; the geometry destroys the ones
// it holds when it is destroyed or assigned. Each shape has, in every take of the owning node,
// a channel (a curve node with one curve) named after the shape, and the node's property block
// a property of that name (data type "Shape").
//
// Failures set the error object (number and text from the table below) and answer null or -1;
// a failed AddShape leaves the geometry unchanged.
class OXA_API VOxaGeometry : public VOxaGeometryBase {
public:
    enum EError : int {
        eParameterOutOfRange = 0,   // "Parameter out of range."
        eParameterIsNull = 1,       // "Parameter is NULL."
        eMaterialNotFound = 2,      // "Material not found."
        eMaterialAlreadyAdded = 3,  // "Material already added."
        eTextureNotFound = 4,       // "Texture not found."
        eTextureAlreadyAdded = 5,   // "Texture already added."
        eShapeAlreadyAdded = 6,     // "Shape already added."
        eShapeNameInvalid = 7,      // "Shape name is invalid."
        eShapeNameAlreadyUsed = 8,  // "Shape name is already used."
        eNoShapeCurveFound = 9,     // "No shape curve found."
        eErrorCount
    };

    // No links or shapes, identity pivot.
    explicit VOxaGeometry(VOxaSdkManager* manager);
    // Destroys every link and shape through the manager.
    ~VOxaGeometry() override;

    // Stores the node, adds the shape channels to its takes, makes sure it has the shape
    // properties, and registers the shapes and the geometry with the node's scene contents.
    void SetNode(VOxaNode* node) override;
    // Unregisters the geometry and the shapes from the scene contents, removes the shape
    // channels from every take and forgets the node.
    void UnsetNode() override;
    // Adds or removes the channel of every shape in one take.
    void AddChannels(VOxaTakeNode* takeNode) override;
    void RemoveChannels(VOxaTakeNode* takeNode) override;
    // Its shape channels come with node properties; without shapes it has no channels at all.
    bool AddsChannelsFromStateOnly() const override { return mShapes.GetCount() == 0; }

    // --- Links -------------------------------------------------------------------------------
    int GetLinkCount() const { return mLinks.GetCount(); }
    // The link, or null with error 0 out of range.
    VOxaLink* GetLink(int index);
    // Appends `link` (no null or duplicate check); answers its index.
    int AddLink(VOxaLink* link);
    // Takes the link out of the list (not destroyed) and answers it; null with error 0 out of
    // range.
    VOxaLink* RemoveLink(int index);
    // Empties the list; the links are not destroyed.
    void ClearLinks();
    // For a link that is being destroyed: every entry that holds it leaves the list.
    void ReleaseLink(const VOxaLink* link);

    // --- Shapes ------------------------------------------------------------------------------
    int GetShapeCount() const { return mShapes.GetCount(); }
    // The shape, or null with error 0 out of range.
    VOxaShape* GetShape(int index);
    // The shape's name, or null with error 0 out of range.
    const char* GetShapeName(int index);
    // Adds `shape` under `name` trimmed of blanks; answers its index. -1 with error 1 for a null
    // shape, 6 for a shape already added, 7 for an empty name, 8 for a name already used
    // (compared exactly).
    int AddShape(VOxaShape* shape, const char* name);
    // Removes the shape channels from every take of the node, unregisters the shapes from the
    // scene contents and empties the list (the shapes are not destroyed).
    void ClearShapes();
    // For a shape that is being destroyed: it leaves the list with its name and its channels.
    void ReleaseShape(const VOxaShape* shape);
    // Moves the registration of the geometry's and its shapes' materials and textures to
    // `contents` (null: to none), as its node moves between scenes.
    void SetSceneContents(VOxaSceneContents* contents);
    // The curve of the shape's channel in `takeNode`; null with error 9 when there is none
    // (also for a null take or an index out of range).
    VFCurve* GetShapeChannel(VOxaTakeNode* takeNode, int shapeIndex);
    // The default value of the shape's channel in the node's default take; 0.0 without node or
    // curve.
    double GetDefaultShapeChannelValue(int shapeIndex);
    // Sets that default value (kept as a float); nothing without node or curve.
    void SetDefaultShapeChannelValue(int shapeIndex, double value);

    // For a geometry that is not a mesh, moves the curves of each shape's channel stored under
    // an older name (the name without " (Shape)", or "Shape %02d (Shape)") into the channel of
    // its current name in `takeNode`. Meshes are left alone.
    void AdoptLegacyShapeChannels(VOxaTakeNode* takeNode);
    // Before writing the older layout: gives every shape its older name and renames its channel
    // in `takeNode` to the older channel name; the names are kept for RestoreShapeChannels.
    void RenameShapeChannels(VOxaTakeNode* takeNode);
    // Undoes RenameShapeChannels in `takeNode`.
    void RestoreShapeChannels(VOxaTakeNode* takeNode);

    // --- Pivot -------------------------------------------------------------------------------
    // Copies the pivot into `matrix` and answers it.
    VgeAMatrix& GetPivot(VgeAMatrix& matrix) const;
    void SetPivot(const VgeAMatrix& matrix);
    void CopyPivot(const VOxaGeometry& other);
    // Transforms the control points by the pivot and rotates layer 0's normals by its rotation
    // part; the pivot stays as it is.
    void ApplyPivot();

    // --- Errors ------------------------------------------------------------------------------
    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

    // The layers and control points, new links and shapes copied from the other's through the
    // manager, and the pivot.
    VOxaGeometry& operator=(const VOxaGeometry& other);

protected:
    // Makes sure the node's property block has the property of the shape name.
    void AddShapeProperty(const char* name);
    // Finds or makes the shape's channel in `takeNode` and colours its curve; answers whether
    // the channel exists afterwards.
    bool AddShapeChannel(VOxaTakeNode* takeNode, int shapeIndex);
    // Deletes the shape's channel from `takeNode` when it is there.
    void RemoveShapeChannel(VOxaTakeNode* takeNode, int shapeIndex);

    VArrayTemplate<VOxaLink*> mLinks{16};
    VArrayTemplate<VOxaShape*> mShapes{16};
    VArrayTemplate<VString*> mShapeNames{16};
    // The names saved by RenameShapeChannels: the current name, the older shape name and the
    // older channel name of each shape.
    VArrayTemplate<VString*> mSavedNames{16};
    VArrayTemplate<VString*> mSavedShapeNames{16};
    VArrayTemplate<VString*> mSavedChannelNames{16};
    VgeAMatrix mPivot;
    VError mError;
};

#endif  // OXA_ATTRIBUTES_VOXA_GEOMETRY_H
