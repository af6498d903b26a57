#ifndef OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
#define OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/vindex.h>
#include <oxa/scene/voxa_node.h>

class VError;
class VOxaLayerElementPolygonGroup;
class VOxaMesh;
class VOxaScene;
class VOxaSdkManager;
class VStreamOptions;

// The nodes of a subtree, each before its children, without recursion (file-built trees can be
// deep).
template <typename Visit>
void VOxaWalkPreOrder(VOxaNode* root, Visit visit) {
    if (root == nullptr) return;
    std::vector<std::pair<VOxaNode*, int>> stack;
    visit(root);
    stack.emplace_back(root, 0);
    while (!stack.empty()) {
        VOxaNode* node = stack.back().first;
        int& next = stack.back().second;
        if (next >= node->GetChildCount()) {
            stack.pop_back();
            continue;
        }
        VOxaNode* child = node->GetChild(next++);
        if (child == nullptr) continue;
        visit(child);
        stack.emplace_back(child, 0);
    }
}

// The meshes a geometry writer writes, made without changing the caller's scene: a node's own
// mesh as it stands, or a triangulated copy of its NURBS surface or patch (and of its mesh when
// `triangulateMeshes`), made on first use and destroyed with the set. A copy is not attached to
// the node: the shape weights of its deformation come from the node's own geometry.
class OXA_API VOxaWriteMeshes {
public:
    VOxaWriteMeshes(VOxaSdkManager* manager, bool triangulateMeshes)
        : mManager(manager), mTriangulateMeshes(triangulateMeshes) {}
    VOxaWriteMeshes(const VOxaWriteMeshes&) = delete;
    VOxaWriteMeshes& operator=(const VOxaWriteMeshes&) = delete;
    ~VOxaWriteMeshes();

    // The mesh to write for the node; null when it has no mesh, NURBS surface or patch, or when
    // a copy cannot be made (a surface that cannot be tessellated, memory). A mesh whose copy
    // cannot be made is written as it stands.
    VOxaMesh* Get(VOxaNode* node);
    // Get's mesh as a copy the writer may change (a mesh of the node's own is copied first);
    // null as for Get, or when the copy cannot be made.
    VOxaMesh* GetWritable(VOxaNode* node);
    // Done with the node's mesh: a copy made for it is destroyed now (a later Get makes it again),
    // so that a writer that takes the nodes one at a time holds one copy at a time.
    void Release(VOxaNode* node);
    // For a writer that reads of a mesh only its points, its polygons and the materials of layer
    // 0: a mesh of triangles only, without shapes or links, whose materials (when they go by
    // polygon through indices) have an index for each polygon, is used as it stands even when
    // meshes are triangulated. Its triangulated copy would hold the very same of these.
    void KeepTriangleMeshes() { mKeepTriangleMeshes = true; }

private:
    void AddCopy(VOxaMesh* copy);

    VOxaSdkManager* mManager;
    bool mTriangulateMeshes;
    bool mKeepTriangleMeshes = false;
    // What Get answered (copies among them), by node through mMeshIndex; a released node's
    // entry is left empty.
    std::vector<VOxaMesh*> mMeshes;
    VPointerIndex mMeshIndex;
    // The copies made, through mCopyIndex; a destroyed copy's entry is left empty.
    std::vector<VOxaMesh*> mCopies;
    VPointerIndex mCopyIndex;
};

// Meshes a writer makes in the manager for one step of a write (the parts of a split mesh, a
// welded copy): destroyed with the holder whichever way the step ends, memory that runs out part
// way among them, unless handed on with Take.
class OXA_API VOxaMadeMeshes {
public:
    explicit VOxaMadeMeshes(VOxaSdkManager* manager) : mManager(manager) {}
    VOxaMadeMeshes(const VOxaMadeMeshes&) = delete;
    VOxaMadeMeshes& operator=(const VOxaMadeMeshes&) = delete;
    ~VOxaMadeMeshes();
    // A new mesh, held from now on; null when it cannot be made.
    VOxaMesh* Make();
    // Holds meshes made elsewhere and handed on (a mesh it cannot hold goes at once).
    void Hold(VOxaMesh* mesh);
    void Hold(std::vector<VOxaMesh*>&& meshes);
    const std::vector<VOxaMesh*>& Meshes() const { return mMeshes; }
    std::vector<VOxaMesh*> Take();

private:
    VOxaSdkManager* mManager;
    std::vector<VOxaMesh*> mMeshes;
};

// The refusal of the OBJ and DXF writers when a scene holds nothing they write.
constexpr const char* kVOxaNoGeometry = "no geometry to write";

// True when a node of the subtree carries a mesh with at least one polygon, or a NURBS surface or
// patch (the writers turn those into triangles): what the OBJ and DXF writers can write.
OXA_API bool VOxaHoldsGeometry(VOxaNode* root);

// Checks every mesh of the scene's node tree for what no writer can write whole, as a scene built
// in code may hold it: a polygon naming a control point that does not exist. (Polygons of fewer
// than three corners hold no face and are left out; normals and UVs the layers lack are written
// as absent.) True when every mesh can be written; otherwise false, with `error` set to a message
// naming the mesh, the polygon, the point and `format`.
OXA_API bool VOxaCheckSceneMeshes(VOxaScene* scene, const char* format, VError& error);

// Which of the first `pointCount` control points a polygon of the mesh names (1) and which none
// (0): a writer that cannot hold a point leaves out an unused one and refuses a used one.
OXA_API std::vector<char> VOxaUsedControlPoints(const VOxaMesh* mesh, int pointCount);

// The matrix that carries a node's mesh points into world space for the geometry writers: built
// of the node's local matrices with pivot set 0, so rotation pivots, rotation offsets and pre- and
// post-rotations count, and so do the shear of a parent's uneven scaling and a mirroring. The
// local values are those the current take plays at `start` (see VOxaGeometryTakeStart) for a
// node that the current take animates, the default values for the others. Null gives the
// identity.
OXA_API VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node, VTime start = VTime());
// The start of the scene's current take (its local span), where the geometry writers place the
// meshes; 0 without a take.
OXA_API VTime VOxaGeometryTakeStart(VOxaScene* scene);

// The world positions of a mesh's control points, through `m`, as a geometry writer writes them.
// A position that is not a finite number cannot be written: a point that no polygon uses is left
// out, and then `numbers` holds each point's number among those written (-1 for one left out;
// empty when every point is written). A point that a polygon uses makes the answer false, with
// `message` naming the mesh, the point and `format`. `deformed`, when given, holds the positions
// to use in place of the mesh's own (one per control point). With `keepUnused`, the format can
// hold such a point as long as no polygon uses it: none is left out.
OXA_API bool VOxaGeometryWorldPoints(VOxaNode* node, const VOxaMesh* mesh, const VgeAMatrix& m,
                                     const char* format, std::vector<VgeTVector>& world,
                                     std::vector<int>& numbers, std::string& message,
                                     const VgeTVector* deformed = nullptr, bool keepUnused = false);
// The warning of a writer that wrote `count` (> 0) points that no face uses and that are not
// numbers as they stand ("nan"), for the file format `format` ("DXF"): kept rather than dropped,
// though a reader that takes only numbers refuses the file.
OXA_API std::string VOxaNotNumberPointsWarning(long long count, const char* format);
// The matrix that carries normals through `m` (the transpose of the inverse of its 3x3 part, no
// translation), sheared and mirrored matrices included; the identity for a singular `m`.
OXA_API VgeAMatrix VOxaGeometryNormalMatrix(const VgeAMatrix& m);

// The smoothing a mesh keeps for its polygons (a 3DS file's masks, an OBJ file's groups): a
// polygon-group element of layer 0 with one value per polygon, or one for all. Faces whose values
// share a bit smooth together where they share a vertex. Null when the mesh keeps none that fits
// its polygons.
OXA_API const VOxaLayerElementPolygonGroup* VOxaSmoothingMasks(const VOxaMesh* mesh);
// The value of `polygon` in such an element; 0 where it holds none.
OXA_API uint32_t VOxaSmoothingMaskOf(const VOxaLayerElementPolygonGroup* element, int polygon);

// The file a texture's image name points to: '\\' and '/' both separate folders, only a leading
// '/' makes the name absolute, and a relative name counts from `sourceFolder` (the folder of the
// file that named it; the working directory when null or empty). When no file has the exact name,
// a file of that folder whose name differs only in letter case is taken. Empty for a name with a
// drive ("C:\\", "C:/"), which belongs to another system.
OXA_API std::string VOxaTextureFilePath(const char* name, const char* sourceFolder);

// Copies the texture images that written materials name beside the written file, from the places
// the caller allows only: a file named by a hostile model must not end up next to the output.
//
// An image (found by VOxaTextureFilePath) is copied when its real path (links resolved) is a
// regular file inside the folder of the file that named it (the texture's source folder) or below
// it, or inside one of the folders the writer's options allow.
//
// In the output's folder each image takes its own file name, unless a different image of this
// Write took that name already, or a different file (or a link, or a folder) is there: then it
// takes "name_2.ext", "name_3.ext"... A file there with the image's very bytes is kept and used.
// A file already in the output's folder is never overwritten or followed.
class OXA_API VOxaTextureCopier {
public:
    // Starts a Write: takes the allowed folders of `options` when they are geometry options (none
    // otherwise) and forgets the images reported and named so far.
    void Begin(const VStreamOptions* options);

    // Copies `path`, named by a file in `sourceFolder` (null or empty for none), beside
    // `outputPath`. True when the image is there after the call; `givenName` (when not null)
    // receives the file name the image has in the output's folder (the bare name of `path` when
    // it was not copied), for the written file to name. A missing image or a failed copy appends
    // "Unable to locate texture file ..." or "Error writing texture file ..." to `messages`; an
    // image outside the allowed folders is not copied and appends one line naming it, once per
    // image and Write; an image that had to take another name than its own because of a file
    // already there appends one line saying so. A failed copy leaves nothing.
    bool Copy(const char* path, const char* sourceFolder, const char* outputPath, VString& messages,
              VString* givenName = nullptr);

    // Keeps `name` in the output's folder from the images until the next Begin: the writer's own
    // files (the output itself is kept by Copy) are not images.
    void Reserve(const char* name) { mTaken.insert(name ? name : ""); }

    // Names in the output's folder of at most `limit` bytes (0: no limit): an image whose name is
    // longer takes a short one of its own ("stem~1.ext"), and Copy says so in `messages`.
    void SetNameLimit(size_t limit) { mNameLimit = limit; }

private:
    std::vector<std::string> mAllowed;                    // real paths of the folders the options allow
    std::unordered_set<std::string> mRefused;             // images already reported as refused
    std::unordered_set<std::string> mTaken;               // names given in the output's folder
    std::unordered_map<std::string, std::string> mGiven;  // real path of an image -> its name
    size_t mNameLimit = 0;
};

#endif  // OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
