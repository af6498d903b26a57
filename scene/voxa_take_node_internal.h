#ifndef OXA_SCENE_VOXA_TAKE_NODE_INTERNAL_H
#define OXA_SCENE_VOXA_TAKE_NODE_INTERNAL_H

#include <cstring>
#include <memory>

#include "animation/fcurve_node.h"
#include "base/vdelivery_internal.h"

namespace voxa_take_node_detail {

// The channel `channelName` of a take's channel tree: a child of the root of that name (without
// regard to case); "T", "R" and "S" are also found below "Transform" (and by their data types).
// Component nodes deeper in the tree are never answered for a channel name, so a property named
// "X" does not reach a translation component. Null when there is none.
inline VFCurveNode* FindChannel(const VFCurveNode* root, const char* channelName) {
    if (!root || !channelName) return nullptr;
    VFCurveNode* channel = root->Get(root->Find(channelName));
    if (channel) return channel;
    bool transform =
        (channelName[0] == 'T' || channelName[0] == 'R' || channelName[0] == 'S') && channelName[1] == '\0';
    return transform ? root->FindChild(channelName) : nullptr;
}

// Hands `child` to `parent`, which owns it from then on. A child the parent has no room for
// (counted as memory run out by the list that could not grow) stays with the caller, who lets it
// go: false then.
inline bool Adopt(VFCurveNode* parent, std::unique_ptr<VFCurveNode>& child) {
    if (parent->Add(child.get()) < 0) return false;
    child.release();
    return true;
}

// Takes `channel` out of `parent` and destroys it. While a callback runs, the channel is freed
// when the library's work under way ends: that work may still hold its curves.
inline void DeleteChannel(VFCurveNode* parent, VFCurveNode* channel) {
    if (!parent || !channel) return;
    int index = parent->Find(channel);
    if (index >= 0) parent->Remove(index);
    oxa_delivery::DeleteLater(channel);
}

}  // namespace voxa_take_node_detail

#endif  // OXA_SCENE_VOXA_TAKE_NODE_INTERNAL_H
