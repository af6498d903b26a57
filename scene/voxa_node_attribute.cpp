#include "scene/voxa_node_attribute.h"

#include <new>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "objects/voxa_same_manager_internal.h"
#include "scene/voxa_node.h"
#include "scene/voxa_take_node.h"

void VOxaNodeAttribute::SetNode(VOxaNode* node) {
    oxa_delivery::Scope scope;
    // Another manager's node would be destroyed by that manager while the attribute named it.
    if (node && !VOxaSameManager(mManager, node->GetSdkManager())) return;
    mNode = node;
    if (!node) return;
    int count = node->GetTakeNodeCount();
    for (int i = 0; i < count; ++i) {
        VOxaTakeNode* take = node->GetTakeNode(i);
        // A take whose channels are not made yet gets the node attribute's when they are.
        if (take && take->HasDeferredChannels() && node->GetNodeAttribute() == this) continue;
        // Channels that cannot be made for want of memory end there, counted: the take keeps
        // those made so far.
        try {
            AddChannels(take);
        } catch (const std::bad_alloc&) {
            oxa_alloc::NoteFailure();
        }
    }
}

void VOxaNodeAttribute::UnsetNode() {
    if (!mNode) return;
    oxa_delivery::Scope scope;
    int count = mNode->GetTakeNodeCount();
    for (int i = 0; i < count; ++i) {
        VOxaTakeNode* take = mNode->GetTakeNode(i);
        // Channels not made yet hold nothing of this attribute.
        if (take && take->HasDeferredChannels()) continue;
        RemoveChannels(take);
    }
    mNode = nullptr;
}

bool VOxaNodeAttribute::AddsChannelsFromStateOnly(const VOxaNodeAttribute* attribute) {
    return !attribute || attribute->AddsChannelsFromStateOnly();
}

void VOxaNodeAttribute::AddChannels(VOxaTakeNode*) {}

void VOxaNodeAttribute::RemoveChannels(VOxaTakeNode*) {}

void VOxaNodeAttribute::CollectChannels(VArrayTemplate<VProperty*>&) {}
