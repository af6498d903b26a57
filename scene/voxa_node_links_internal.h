#ifndef OXA_SCENE_VOXA_NODE_LINKS_INTERNAL_H
#define OXA_SCENE_VOXA_NODE_LINKS_INTERNAL_H

class VOxaNode;

// A node's parent and children read off its connections as they stand, for walks that must not
// need memory (letting go of a subtree, forgetting what it computed): the hierarchy view that
// GetParent, GetChildCount and GetChild use may need memory to be made or brought up to date.
// Each is a walk over the node's connections.

// The parent of `node`, null when none.
VOxaNode* VOxaParentOf(const VOxaNode* node);
// The child of `node` after `child` in child order (the first when `child` is null), null after
// the last.
VOxaNode* VOxaNextChildOf(const VOxaNode* node, const VOxaNode* child);
// The last child of `node` but the `skipped` last ones, null when none is left.
VOxaNode* VOxaLastChildOf(const VOxaNode* node, int skipped);

#endif  // OXA_SCENE_VOXA_NODE_LINKS_INTERNAL_H
