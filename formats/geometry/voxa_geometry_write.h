#ifndef OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
#define OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/vge_matrix.h"
#include "base/vstring.h"
#include "scene/voxa_node.h"

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

// The refusal of the OBJ and DXF writers when a scene holds nothing they write.
constexpr const char* kVOxaNoGeometry = "no geometry to write";

// True when a node of the subtree carries a mesh with at least one polygon, or a NURBS surface or
// patch (the writers turn those into triangles): what the OBJ and DXF writers can write.
bool VOxaHoldsGeometry(VOxaNode* root);

// The matrix that carries a node's mesh points into world space for the geometry writers: built
// of the node's local matrices at the default values with pivot set 0, so rotation pivots,
// rotation offsets and pre- and post-rotations count, and so do the shear of a parent's uneven
// scaling and a mirroring. Null gives the identity.
VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node);
// The matrix that carries normals through `m` (the transpose of the inverse of its 3x3 part, no
// translation), sheared and mirrored matrices included; the identity for a singular `m`.
VgeAMatrix VOxaGeometryNormalMatrix(const VgeAMatrix& m);

// Copies the texture images that written materials name beside the written file, from the places
// the caller allows only: a file named by a hostile model must not end up next to the output.
//
// An image is copied when its real path (links resolved) is a regular file inside the folder of
// the file that named it (the texture's source folder) or below it, or inside one of the folders
// the writer's options allow. A relative name is found from the source folder, or from the working
// directory for a texture made in memory. A file of the image's name already beside the output is
// never overwritten.
class VOxaTextureCopier {
public:
    // Starts a Write: takes the allowed folders of `options` when they are geometry options (none
    // otherwise) and forgets the images reported so far.
    void Begin(const VStreamOptions* options);

    // Copies `path`, named by a file in `sourceFolder` (null or empty for none), beside
    // `outputPath` under its file name. True when a file of that name is there after the call. A
    // missing image or a failed copy appends "Unable to locate texture file ..." or "Error writing
    // texture file ..." to `messages`; an image outside the allowed folders is not copied and
    // appends one line naming it, once per image and Write. A failed copy leaves nothing.
    bool Copy(const char* path, const char* sourceFolder, const char* outputPath, VString& messages);

private:
    std::vector<std::string> mAllowed;         // real paths of the folders the options allow
    std::unordered_set<std::string> mRefused;  // real paths already reported as refused
};

#endif  // OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
