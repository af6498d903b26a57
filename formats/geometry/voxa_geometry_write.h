#ifndef OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
#define OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H

#include <utility>
#include <vector>

#include "base/vge_matrix.h"
#include "base/vstring.h"
#include "scene/voxa_node.h"

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

// The matrix that carries a node's mesh points into world space for the geometry writers: built
// from the node's global translation, rotation and scaling at the default values with pivot set
// 0, so rotation pivots, rotation offsets and pre- and post-rotations count and a shear of the
// global matrix is dropped. Null gives the identity.
VgeAMatrix VOxaGeometryWorldMatrix(VOxaNode* node);

// Copies the texture file `source` beside the written file `outputPath` (same file name, in the
// output's folder) unless a file of that name is there already. Only a regular file is copied;
// the copy goes through a temporary name, so a failed copy leaves nothing. On failure a line
// "Unable to locate texture file ..." or "Error writing texture file ..." is appended to
// `messages` and the answer is false.
bool VOxaCopyTextureBeside(const char* source, const char* outputPath, VString& messages);

#endif  // OXA_FORMATS_GEOMETRY_VOXA_GEOMETRY_WRITE_H
