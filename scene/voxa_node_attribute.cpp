#include "scene/voxa_node_attribute.h"

#include "scene/voxa_node.h"

void VOxaNodeAttribute::SetNode(VOxaNode* node) {
    mNode = node;
    if (!node) return;
    int count = node->GetTakeNodeCount();
    for (int i = 0; i < count; ++i)
        AddChannels(node->GetTakeNode(i));
}

void VOxaNodeAttribute::UnsetNode() {
    if (!mNode) return;
    int count = mNode->GetTakeNodeCount();
    for (int i = 0; i < count; ++i)
        RemoveChannels(mNode->GetTakeNode(i));
    mNode = nullptr;
}

void VOxaNodeAttribute::AddChannels(VOxaTakeNode*) {}

void VOxaNodeAttribute::RemoveChannels(VOxaTakeNode*) {}

void VOxaNodeAttribute::CollectChannels(VArrayTemplate<VProperty*>&) {}
